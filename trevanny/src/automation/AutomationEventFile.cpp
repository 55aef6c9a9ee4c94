// The automation event file: CAutomationEventArray::Save and Load.
//
// "AutomationData" records, 20 bytes, little-endian:
//   wide (path modes 1 and 2):  0 u32 0x00010000, 4 i32 time, 8 u32 flags, 12 u16 path,
//                               14 u8 process, 15 u8 control, 16 u16 old value, 18 u16 value
//   narrow (mode 0, and files without "Path Mode"): as wide but 12 u8 path, 13 u8 process,
//                               14 u8 control, 15 u8 0
// "Path Mode": i32, the path mode of the console that saved the file.
#include <cstring>
#include <vector>

#include "EventFileStreams.h"
#include "trevanny/AutxFile.h"

namespace {

const char kDataStream[] = "AutomationData";
const char kPathModeStream[] = "Path Mode";
constexpr size_t kRecordSize = 20;
// The word that begins every record; readers do not check it.
constexpr uint32_t kRecordMark = 0x00010000;

// The path mode of a file, from its "Path Mode" stream or an indexed file's header.
struct FilePathMode {
    enum Kind { None, Known, Unreadable } kind = None;
    int mode = 0;
};

// Known modes of the console, normalised as the console configuration treats them.
int consolePathMode(const CConsoleConfig& config)
{
    const int mode = config.GetMaxPathsMode();
    return mode >= 0 && mode <= 2 ? mode : 0;
}

// A console in mode 2 takes files of mode 1; otherwise the modes must be equal.
bool consoleTakes(int consoleMode, int fileMode)
{
    return consoleMode == fileMode || (consoleMode == 2 && fileMode == 1);
}

// Records first to first + count - 1 of the events, into out.
void buildRecords(const CAutomationEventArray& events, bool wide, size_t first, size_t count, BYTE* out)
{
    BYTE* r = out;
    const CAutomationEvent* e = events.GetData() + first;
    for (size_t i = 0; i < count; ++i, ++e, r += kRecordSize) {
        const uint64_t head = kRecordMark | uint64_t{static_cast<uint32_t>(e->m_Time)} << 32;
        const uint64_t middle = e->m_Flags | uint64_t{e->GetProcessNumber()} << (wide ? 48 : 40) |
                                uint64_t{e->GetControlNumber()} << (wide ? 56 : 48) |
                                (wide ? uint64_t{static_cast<uint16_t>(e->m_Path)} : uint64_t{static_cast<BYTE>(e->m_Path)}) << 32;
        const uint32_t tail = e->m_OldValue | uint32_t{static_cast<uint16_t>(e->GetValue())} << 16;
        std::memcpy(r, &head, 8);
        std::memcpy(r + 8, &middle, 8);
        std::memcpy(r + 16, &tail, 4);
    }
}

// Turns count records into events, straight into their places in out.
void takeRecords(CAutomationEvent* out, bool wide, const BYTE* records, size_t count)
{
    CAutomationEvent* e = out;
    const BYTE* r = records;
    for (size_t i = 0; i < count; ++i, ++e, r += kRecordSize) {
        int32_t time;
        uint16_t path;
        uint16_t oldValue;
        int16_t value;
        std::memcpy(&time, r + 4, 4);
        std::memcpy(&oldValue, r + 16, 2);
        std::memcpy(&value, r + 18, 2);
        if (wide) std::memcpy(&path, r + 12, 2);
        else path = r[12];
        // The reserved byte is written too: the storage is new and nothing else sets it.
        const CAutomationEvent event(time, path, r[wide ? 14 : 13], r[wide ? 15 : 14], value, r[8], oldValue);
        std::memcpy(static_cast<void*>(e), &event, sizeof event);
    }
}

FilePathMode readPathMode(AutomationStorage& storage)
{
    FilePathMode found;
    BYTE bytes[4];
    const int64_t got = storage.ReadStreamHead(kPathModeStream, bytes, sizeof bytes);
    if (got < 0) return found;
    if (got < 4) {
        found.kind = FilePathMode::Unreadable;
        found.mode = -1;
        return found;
    }
    std::memcpy(&found.mode, bytes, 4);
    found.kind = found.mode >= 0 && found.mode <= 2 ? FilePathMode::Known : FilePathMode::Unreadable;
    return found;
}

}  // namespace

bool WriteEventStreams(AutomationStorage& storage, const CAutomationEventArray& events)
{
    const int mode = consolePathMode(CConsoleConfig());
    const bool wide = mode != 0;
    if (!storage.WriteRecords(kDataStream, kRecordSize, static_cast<size_t>(events.GetSize()),
                              [&events, wide](size_t first, size_t count, BYTE* out) { buildRecords(events, wide, first, count, out); }))
        return false;
    // "Path Mode" is written only beside the records it describes.
    const int32_t stored = mode;
    storage.WriteStream(kPathModeStream, &stored, sizeof stored);
    return true;
}

BOOL ReadEventRecords(AutomationStorage& storage, CArray<CAutomationEvent, const CAutomationEvent&>& loaded, int& pathMode)
{
    pathMode = 0;
    const FilePathMode file = readPathMode(storage);
    if (storage.SawDamage()) return FALSE;
    bool wide = false;
    if (file.kind != FilePathMode::None) {
        pathMode = file.mode;
        if (file.kind == FilePathMode::Unreadable) return FALSE;
        wide = file.mode != 0;
        if (wide && !consoleTakes(consolePathMode(CConsoleConfig()), file.mode)) return FALSE;
    }
    CArray<CAutomationEvent, const CAutomationEvent&> events;
    if (!LoadAutomationBlocks(
            storage, kDataStream, kRecordSize, [&events](size_t count) { events.SetSizeUninitialised(static_cast<INT_PTR>(count)); },
            [&events, wide](const BYTE* records, size_t first, size_t count) {
                takeRecords(events.GetData() + first, wide, records, count);
            },
            [] {}))
        return FALSE;
    loaded.SwapElements(events);
    return TRUE;
}

BOOL ReadEventStreams(AutomationStorage& storage, CAutomationEventArray& events, int& pathMode)
{
    // The events are made in new storage, which takes the place of the array's only when the
    // whole stream was read.
    CArray<CAutomationEvent, const CAutomationEvent&> loaded;
    if (!ReadEventRecords(storage, loaded, pathMode)) return FALSE;
    events.SwapElements(loaded);
    return TRUE;
}

int CAutomationEventArray::Save(const CString& path)
{
    AutomationStorage storage;
    if (!storage.OpenForWriting(path)) return FALSE;
    const bool written = WriteEventStreams(storage, *this);
    storage.WriteVersionStreams();
    return written ? TRUE : FALSE;
}

int CAutomationEventArray::Load(const CString& path, int& pathMode)
{
    pathMode = 0;
    if (IsAutxFile(path)) {
        // An indexed file: its header tells the path mode; its events are read by the indexed
        // file's own readers, not here.
        CAutxFile autx;
        if (autx.OpenForReading(path) && autx.IsHeaderValid()) pathMode = static_cast<int>(autx.m_dwHeaderValue6);
        return FALSE;
    }
    AutomationStorage storage;
    if (!storage.OpenForReading(path)) return FALSE;
    return ReadEventStreams(storage, *this, pathMode);
}

int CAutomationEventArray::Load(const CString& path)
{
    int pathMode = 0;
    return Load(path, pathMode);
}
