#include "quenby/AutomationKIVObjects.h"

#include <algorithm>

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"
#include "trevanny/SharedConstants.h"

namespace {
constexpr int kBare = kKIVBareCommandSize;

// The number of entries of a list that a block sends: at most its room, 0 for a negative size.
template <class Size>
int Sent(Size count, int room)
{
    return count <= 0 ? 0 : static_cast<int>(std::min<int64_t>(static_cast<int64_t>(count), room));
}
}  // namespace

PackedAutomationEvent PackedAutomationEvent::From(const CAutomationEvent& event)
{
    PackedAutomationEvent packed{};
    packed.nMarker = kMarker;
    packed.nTime = static_cast<int32_t>(event.GetTime());
    packed.byFlags = event.GetFlags();
    packed.dwPath = event.GetPath();
    packed.byProcess = event.GetProcessNumber();
    packed.byControl = event.GetControlNumber();
    packed.nValue = event.GetValue();
    packed.wLast = event.GetOldValue();
    return packed;
}

// ---- advanced automation ----

void CAdvancedAutoKIVObject::AdvancedAutoAttach()
{
    SendAttachBlock(KivBlock(AttachToAdvancedAutomation, kBare).Take(), /*readNow=*/1);
}

void CAdvancedAutoKIVObject::SendAdvancedAutoCmd()
{
    KivBlock block(AdvancedAutomationCommand, 52);
    block.PutBytes(16, m_anParameters, sizeof m_anParameters);
    SendCommandBlock(block.Take());
}

// ---- automation data ----

namespace {
constexpr size_t kEventCountOffset = 8124, kEventsOffset = 8136, kIndexesOffset = 8028;
}

void CAutomationDataKIVObject::ADAttach(AutomationEventFilterStructure filter, int channel)
{
    KivBlock block(AttachToAutomationData, kBlockSize);
    block.Put32(16, static_cast<int32_t>(filter.m_dwCategories));
    block.Put32(20, channel != -1 ? 1 : 0);
    block.Put32(24, channel);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CAutomationDataKIVObject::ADAttach(AutomationEventFilterStructure filter, const CArray<int, int>& channels)
{
    const int n = Sent(channels.GetSize(), kMaxChannels);
    KivBlock block(AttachToAutomationData, kBlockSize);
    block.Put32(16, static_cast<int32_t>(filter.m_dwCategories));
    block.Put32(20, n);
    for (int i = 0; i < n; ++i) block.Put32(24 + 4 * static_cast<size_t>(i), channels[i]);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CAutomationDataKIVObject::AddAutoEvents(const CAutomationEventArray& events, HWND window)
{
    const int n = Sent(events.GetSize(), kMaxEvents);
    KivBlock block(AddAutomationEvent, kBlockSize, window);
    block.Put32(kEventCountOffset, n);
    for (int i = 0; i < n; ++i) {
        const PackedAutomationEvent packed = PackedAutomationEvent::From(events[i]);
        block.PutBytes(kEventsOffset + sizeof packed * static_cast<size_t>(i), &packed, sizeof packed);
    }
    SendCommandBlock(block.Take());
}

void CAutomationDataKIVObject::DeleteAutoEvent(const CArray<int, int>& indexes)
{
    const int n = Sent(indexes.GetSize(), kMaxEvents);
    KivBlock block(DeleteAutomationEvent, kBlockSize);
    block.Put32(kEventCountOffset, n);
    for (int i = 0; i < n; ++i) block.Put32(kIndexesOffset + 4 * static_cast<size_t>(i), indexes[i]);
    SendCommandBlock(block.Take());
}

void CAutomationDataKIVObject::ModifyAutoEvents(const CArray<int, int>& indexes, CAutomationEventArray& events)
{
    const int n = Sent(std::min<INT_PTR>(indexes.GetSize(), events.GetSize()), kMaxEvents);
    KivBlock block(ChangeAutomationEvent, kBlockSize);
    block.Put32(kEventCountOffset, n);
    for (int i = 0; i < n; ++i) {
        const PackedAutomationEvent packed = PackedAutomationEvent::From(events[i]);
        block.PutBytes(kEventsOffset + sizeof packed * static_cast<size_t>(i), &packed, sizeof packed);
        block.Put32(kIndexesOffset + 4 * static_cast<size_t>(i), indexes[i]);
    }
    SendCommandBlock(block.Take());
}

void CAutomationDataKIVObject::GotoEvent(DWORD time, int value, HWND window)
{
    KivBlock block(FindAutomationEventCommand, kBlockSize, window);
    block.Put32(8024, static_cast<int32_t>(time));
    block.Put32(kEventCountOffset, value);
    SendCommandBlock(block.Take());
}

void CAutomationDataKIVObject::BrowseAutomationData(int first, int second, HWND window)
{
    KivBlock block(BrowseAutomationDataCommand, kBlockSize, window);
    block.Put32(8116, first);
    block.Put32(kEventCountOffset, second);
    SendCommandBlock(block.Take());
}

void CAutomationDataKIVObject::CreateNewPass(HWND window) { SendCommandBlock(KivBlock(NewPassAfterChangesCommand, kBare, window).Take()); }

void CAutomationDataKIVObject::Rollback(HWND window) { SendCommandBlock(KivBlock(RollbackAfterChangesCommand, kBare, window).Take()); }

// ---- single control ----

void CAutomationKIVObject::SetPPC(int a, int b, int c, HWND window)
{
    m_anControl[0] = a, m_anControl[1] = b, m_anControl[2] = c;
    KivBlock block(AttachToControl, 32, window);
    block.PutBytes(16, m_anControl, sizeof m_anControl);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CAutomationKIVObject::SetValue(short value, HWND window)
{
    KivBlock block(SetControlValue, 32, window);
    block.PutBytes(16, m_anControl, sizeof m_anControl);
    block.Put32(28, value);
    SendCommandBlock(block.Take());
}

void CAutomationKIVObject::GetPPC(int& a, int& b, int& c, HWND) const
{
    a = m_anControl[0], b = m_anControl[1], c = m_anControl[2];
}

// ---- current pass ----

void CCurrentPassKIVObject::CPAttach() { SendAttachBlock(KivBlock(AttachToCurrentPass, kBare).Take(), /*readNow=*/1); }

void CCurrentPassKIVObject::SetOffset(int value, DWORD offset, HWND window)
{
    KivBlock block(SetOffCommand, 24, window);
    block.Put32(16, value);
    block.Put32(20, static_cast<int32_t>(offset));
    SendCommandBlock(block.Take());
}

void CCurrentPassKIVObject::Undo(const char* name, BYTE value, HWND window)
{
    constexpr int size = 30336;
    KivBlock block(UndoAutomationCommand, size, window);
    block.Put32(16, value);
    block.PlainName(573, size - 573, name);
    SendCommandBlock(block.Take());
}

// ---- gangs ----

CGangDataKIVObject::CGangDataKIVObject()
    : CGenericKIVObject(1), m_aGangTable(static_cast<size_t>(kConsolePaths) * kConsolePaths, int16_t{-1})
{
}

void CGangDataKIVObject::GDAttach() { SendAttachBlock(KivBlock(AttachToGangData, kBare).Take(), /*readNow=*/1); }

short CGangDataKIVObject::GetGangEntry(int i, int j) const
{
    if (i < 0 || i >= kConsolePaths || j < 0 || j >= kConsolePaths) return -1;
    return m_aGangTable[static_cast<size_t>(i) * kConsolePaths + static_cast<size_t>(j)];
}

void CGangDataKIVObject::SetGangEntry(int i, int j, short gang)
{
    if (i < 0 || i >= kConsolePaths || j < 0 || j >= kConsolePaths) return;
    m_aGangTable[static_cast<size_t>(i) * kConsolePaths + static_cast<size_t>(j)] = gang;
}

void CGangDataKIVObject::Clear(int gang)
{
    KivBlock block(ClearGangCommand, 34);
    block.Put32(16, 1);
    block.Put32(24, 1);
    block.Put16(32, static_cast<uint16_t>(gang));
    SendCommandBlock(block.Take());
}

void CGangDataKIVObject::Coalesce(int gang, int a, int b)
{
    KivBlock block(ClearGangCommand, 34);
    block.Put32(16, 1);
    block.Put32(20, a);
    block.Put32(24, b);
    block.Put32(28, 1);
    block.Put16(32, static_cast<uint16_t>(gang));
    SendCommandBlock(block.Take());
}

int CGangDataKIVObject::GetNumberOfGangs() const
{
    int n = 0;
    for (int i = 0; i < kConsolePaths; ++i) {
        const short gang = GetGangEntry(i, i);
        if (gang >= 0 && gang < kConsolePaths) ++n;
    }
    return n;
}

void CGangDataKIVObject::SendAllGangs(bool coalesce, int a, int b)
{
    // The count includes the channels of kind 12, whose gangs are not listed.
    const int n = GetNumberOfGangs();
    KivBlock block(ClearGangCommand, 32 + 2 * static_cast<int64_t>(n));
    block.Put32(16, n);
    if (coalesce) {
        block.Put32(20, a);
        block.Put32(28, 1);
    }
    block.Put32(24, coalesce ? b : 1);
    size_t at = 32;
    for (int i = 0; i < kConsolePaths; ++i) {
        const short gang = GetGangEntry(i, i);
        if (gang < 0 || gang >= kConsolePaths || GetPathType(i) == kSkippedPathType) continue;
        block.Put16(at, static_cast<uint16_t>(gang));
        at += 2;
    }
    SendCommandBlock(block.Take());
}

void CGangDataKIVObject::ClearAll() { SendAllGangs(false, 0, 0); }

void CGangDataKIVObject::CoalesceAll(int a, int b) { SendAllGangs(true, a, b); }

int CGangDataKIVObject::GetOffset(int type) const
{
    return KivKindOffset(m_aPathMap.GetData(), static_cast<int>(m_aPathMap.GetSize()), type);
}

int CGangDataKIVObject::GetPathType(int channel) const
{
    return KivKindOfPath(m_aPathMap.GetData(), static_cast<int>(m_aPathMap.GetSize()), channel);
}

// ---- glide times ----

void CGlideTimesKIVObject::GTAttach() { SendAttachBlock(KivBlock(AttachToGlideTimes, kBare).Take(), /*readNow=*/1); }

void CGlideTimesKIVObject::DoSetGlides(const int* a, const int* b, HWND window)
{
    if (!a || !b) return;
    KivBlock block(SetGlideTimesCommand, 40, window);
    block.PutBytes(16, a, 3 * sizeof(int32_t));
    block.PutBytes(28, b, 3 * sizeof(int32_t));
    SendCommandBlock(block.Take());
}

// ---- multiple controls ----

void CMultipleAutomationKIVObject::MACAttach(CArray<StructPPPC, StructPPPC>& controls, int value)
{
    const int n = Sent(controls.GetSize(), kMaxAttachControls);
    KivBlock block(AttachToMultipleControls, kBlockSize + 12 * static_cast<int64_t>(n));
    if (n > 0) block.PutBytes(16, controls.GetData(), sizeof(StructPPPC) * static_cast<size_t>(n));
    block.Put32(220, n);
    block.Put32(224, value);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CMultipleAutomationKIVObject::MACAttach(int value)
{
    CArray<StructPPPC, StructPPPC> none;
    MACAttach(none, value);
}

void CMultipleAutomationKIVObject::SetControls(CString text)
{
    SendCommandBlock(KivNameBlock(SetMultipleControlsCommand, kBlockSize, 16, kBlockSize - 16, text.c_str()));
}

void CMultipleAutomationKIVObject::SetControls(CArray<StructPPPC, StructPPPC>& controls)
{
    const size_t n = static_cast<size_t>(controls.GetSize());
    KivBlock block(SetMultipleControlsCommand, kBlockSize + 12 * static_cast<int64_t>(n));
    block.Put8(16, 0);
    block.Put32(220, static_cast<int32_t>(n));
    if (n > 0) block.PutBytes(228, controls.GetData(), sizeof(StructPPPC) * n);
    SendCommandBlock(block.Take());
}

// ---- safety net and touch sense ----

void CSafetyNetKIVObject::SNAttach() { SendAttachBlock(KivBlock(AttachToSafetyNetControl, kBare).Take(), /*readNow=*/1); }

void CSafetyNetKIVObject::SetSafetyNet(DWORD a, DWORD b, int, HWND window)
{
    KivBlock block(SetSafetyNetCommand, 36, window);
    block.Put32(28, static_cast<int32_t>(a));
    block.Put32(32, static_cast<int32_t>(b));
    SendCommandBlock(block.Take());
}

void CTouchSenseKIVObject::TSAttach(int value)
{
    KivBlock block(AttachToTouchSense, 28);
    block.Put32(24, value);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

// ---- trim ----

namespace {
constexpr size_t kTrimCountOffset = 32, kTrimPathsOffset = 36;
}

void CTrimControlKIVObject::TCAttach() { SendAttachBlock(KivBlock(AttachToTrim, kBare).Take(), /*readNow=*/1); }

void CTrimControlKIVObject::DoTrim(short a, short b, CArray<int, int>& paths, DWORD from, DWORD to, int c, int d, HWND window,
                                   int e)
{
    const int n = Sent(paths.GetSize(), kConsolePaths);
    KivBlock block(TrimFaderCommand, kTrimBlockSize, window);
    block.Put16(8496, static_cast<uint16_t>(a));
    block.Put16(8482, static_cast<uint16_t>(b));
    block.Put32(16, static_cast<int32_t>(from));
    block.Put32(20, static_cast<int32_t>(to));
    block.Put32(8052, c);
    block.Put32(8056, d);
    block.Put32(kTrimCountOffset, n);
    for (int i = 0; i < n; ++i) block.Put32(kTrimPathsOffset + 4 * static_cast<size_t>(i), paths[i]);
    block.Put32(8500, e);
    SendCommandBlock(block.Take());
}

void CTrimControlKIVObject::SetTimes(DWORD from, DWORD to, int c, int d, HWND window)
{
    KivBlock block(TrimFaderCommand, kTrimBlockSize, window);
    block.Put32(16, static_cast<int32_t>(from));
    block.Put32(20, static_cast<int32_t>(to));
    block.Put32(8052, c);
    block.Put32(8056, d);
    block.Put32(kTrimCountOffset, 1);
    block.Put32(kTrimPathsOffset, -1);
    block.Put16(8482, 0);
    SendCommandBlock(block.Take());
}

void CTrimControlKIVObject::ShowWindow(bool first, bool second)
{
    KivBlock block(OpenTrimCommand, kPathsBlockSize);
    block.Put8(16, first ? 1 : 0);
    block.Put8(17, second ? 1 : 0);
    SendCommandBlock(block.Take());
}

void CTrimControlKIVObject::SelectedPaths(short row, CArray<int, int>& paths, CArray<bool, bool>& selected)
{
    if (row != 0 && row != 1) return;
    const int n = Sent(paths.GetSize(), kConsolePaths);
    KivBlock block(SetTrimPathCommand, kPathsBlockSize);
    block.Put32(20, n);
    // The row is 16 bits: path 0 of row 0 follows at 26.
    block.Put16(24, static_cast<uint16_t>(row));
    for (int i = 0; i < n; ++i) {
        block.Put16(26 + 4000 * static_cast<size_t>(row) + 2 * static_cast<size_t>(i), static_cast<uint16_t>(paths[i]));
        const bool on = i < selected.GetSize() && selected[i];
        block.Put32(8028 + 8000 * static_cast<size_t>(row) + 4 * static_cast<size_t>(i), on ? 1 : 0);
    }
    SendCommandBlock(block.Take());
}
