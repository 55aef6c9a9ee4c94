// The conventions of every automation stream kept in a compound (structured-storage) file, and
// the writer and reader that all of them share.
//
// - Writing opens the file with StgIsStorageFile first: a missing file is created
//   (StgCreateDocfile, 0x1012), an existing one opened (StgOpenStorage, 0x12). Streams are
//   created with 0x1012, so a stream of the same name is replaced and every other stream stays.
//   Reading opens with 0x10 (read, share exclusive) and never writes.
// - Each writer writes its data stream, then "File Version" and "Time And Date", and releases
//   the file; everything one writer wrote becomes the file's content at once.
// - "File Version", 40 bytes: u8 major 1, u8 minor 4, 2 bytes 0, then the local time of writing
//   as nine i32: tm_sec, tm_min, tm_hour, tm_mday, tm_mon (0-11), tm_year (since 1900),
//   tm_wday, tm_yday, tm_isdst. A missing or empty stream reads as version 1.0.
// - "Time And Date", 16 bytes: the same time as a SYSTEMTIME.
// - A data stream holds its elements raw (little-endian, nothing before or after). Files of
//   version 1.1 and 1.2 hold it compressed: u32 uncompressed length L, then zlib data of L bytes.
//   A length that the data cannot hold (more than zlib's largest ratio allows) or data that does
//   not inflate to exactly L bytes makes the read fail.
// - A read posts notification 15 (0 when the file is open, 50 before plain data is read, then
//   the percentage at each count / 30 elements). A failed read leaves the caller's array as it
//   was; a data stream with no whole element reads as an empty array.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "winport/CString.h"
#include "winport/Collections.h"
#include "winport/Storage.h"

class COleStreamFile;

#define AUTOMATION_FILE_VERSION_STREAM "File Version"
#define AUTOMATION_TIME_AND_DATE_STREAM "Time And Date"

/// A byte buffer whose new bytes are left as they are (a read fills them at once).
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept
    {
    }
    template <class U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using AutomationBytes = std::vector<BYTE, UninitialisedAllocator<BYTE>>;

/// Fills `out` with the records first to first + count - 1 of a stream being written.
using AutomationRecordProducer = std::function<void(size_t first, size_t count, BYTE* out)>;

/// Storage modes of the conventions.
constexpr DWORD kAutomationCreateMode = STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE;  // 0x1012
constexpr DWORD kAutomationWriteMode = STGM_SHARE_EXCLUSIVE | STGM_READWRITE;                 // 0x12
constexpr DWORD kAutomationReadMode = STGM_SHARE_EXCLUSIVE | STGM_READ;                       // 0x10

/// The notification code of loading.
constexpr WPARAM kAutomationLoadNotification = 15;

struct AutomationFileVersion {
    BYTE major = 1;
    BYTE minor = 0;
    /// Versions 1.1 and 1.2 hold their data streams compressed.
    bool IsCompressed() const { return major == 1 && (minor == 1 || minor == 2); }
};

/// An open compound file. Destroying it releases the file, which makes every change the file's
/// content. One object serves one thread.
class AutomationStorage {
public:
    AutomationStorage() = default;
    ~AutomationStorage();
    AutomationStorage(const AutomationStorage&) = delete;
    AutomationStorage& operator=(const AutomationStorage&) = delete;

    /// Opens or creates the file for writing. False when it cannot (an existing file that is not
    /// a compound file is never written).
    bool OpenForWriting(const CString& path);
    /// Creates the file anew (an existing file of the name is replaced when the new one is
    /// committed or released). False when it cannot.
    bool Create(const CString& path);
    /// Makes everything written so far the file's content. False when that fails; the file then
    /// keeps what it held before.
    bool Commit();
    /// Opens the file for reading. False when it is missing, not a compound file, or open
    /// elsewhere.
    bool OpenForReading(const CString& path);
    IStorage* Get() const { return m_storage; }

    /// Creates (or replaces) a stream and writes `size` bytes. False when it cannot.
    bool WriteStream(const char* name, const void* data, size_t size);
    /// Creates (or replaces) a stream of count records, made by `produce` a block at a time into
    /// one buffer of about a megabyte (no copy of the whole stream is ever held).
    bool WriteRecords(const char* name, size_t recordSize, size_t count, const AutomationRecordProducer& produce);
    /// Reads up to `capacity` bytes from the start of a stream: the number read, or -1 when the
    /// stream is missing or unreadable (damage is noted, see SawDamage).
    int64_t ReadStreamHead(const char* name, void* buffer, size_t capacity);
    /// Writes "File Version" (1.4) and "Time And Date" with the local time; failures are ignored.
    void WriteVersionStreams();
    AutomationFileVersion ReadFileVersion();

    /// Missing: the file holds no stream of the name. Damaged: it holds one that cannot be read
    /// whole (a damaged chain, a short read, a size beyond the file, data that does not inflate).
    enum ReadResult { Read, Missing, Damaged };
    /// True once any read on this file met a stream that is there but cannot be read whole.
    bool SawDamage() const { return m_damaged; }
    /// Reads the data stream as whole elements of elementSize bytes into `bytes` (the partial
    /// element at the end of a plain stream is left out); count receives their number.
    ReadResult ReadDataStream(const char* name, const AutomationFileVersion& version, size_t elementSize,
                              AutomationBytes& bytes, size_t& count);
    /// The same a block at a time: room(count) is told the number of whole elements first, then
    /// take(bytes, first, n) receives elements first to first + n - 1, in order, in blocks of
    /// about a megabyte (a plain stream is read through one buffer of that size, reused).
    ReadResult ReadDataBlocks(const char* name, const AutomationFileVersion& version, size_t elementSize,
                              const std::function<void(size_t count)>& room,
                              const std::function<void(const BYTE* bytes, size_t first, size_t count)>& take);

private:
    ReadResult openForReading(COleStreamFile& stream, const char* name);

    IStorage* m_storage = nullptr;
    bool m_damaged = false;
};

/// Posts the load progress (15) while `count` elements are taken over: at each index that is a
/// multiple of count / 30, index x 100 / count.
class AutomationLoadProgress {
public:
    explicit AutomationLoadProgress(size_t count) : m_count(count), m_step(count / 30) {}
    void At(size_t index) const
    {
        if (m_step != 0 && index % m_step == 0) post(index);
    }
    /// The posts of elements first to first + count - 1, taken over in one piece.
    void Block(size_t first, size_t count) const;
    /// The posts of a copy made in one piece.
    void All() const { Block(0, m_count); }

private:
    void post(size_t index) const;
    size_t m_count;
    size_t m_step;
};

/// The shared writer: opens the file for writing (FALSE, nothing written, when it cannot),
/// writes the data stream, calls afterData (when given) only when the data stream was written,
/// writes the version streams and releases the file. TRUE when the data stream was written.
BOOL SaveAutomationStream(const CString& path, const char* streamName, const void* data, size_t size,
                          const std::function<void(AutomationStorage&)>& afterData = {});
/// The same with a stream of records made by `produce`.
BOOL SaveAutomationRecords(const CString& path, const char* streamName, size_t recordSize, size_t count,
                           const AutomationRecordProducer& produce,
                           const std::function<void(AutomationStorage&)>& afterData = {});

/// The shared reader on an open file: posts 15 with 0, reads the version and the data stream a
/// block at a time (AutomationStorage::ReadDataBlocks) with the progress of each block, and
/// calls done() only when the stream was read whole. FALSE when the data stream is missing or
/// damaged (done is not called, and the caller drops what it took).
BOOL LoadAutomationBlocks(AutomationStorage& storage, const char* streamName, size_t elementSize,
                          const std::function<void(size_t count)>& room,
                          const std::function<void(const BYTE* bytes, size_t first, size_t count)>& take,
                          const std::function<void()>& done);
/// The same with the stream read whole: take(bytes, count) is called only when it was read.
BOOL LoadAutomationData(AutomationStorage& storage, const char* streamName, size_t elementSize,
                        const std::function<void(const BYTE* bytes, size_t count)>& take);
/// Opens the file for reading (FALSE when it cannot), then as LoadAutomationData.
BOOL LoadAutomationStream(const CString& path, const char* streamName, size_t elementSize,
                          const std::function<void(const BYTE* bytes, size_t count)>& take);

/// Plain array streams: the elements raw, in array order.
template <class T, class ARG>
BOOL SaveArrayStream(const CString& path, const CString& stream, const CArray<T, ARG>& a)
{
    return SaveAutomationStream(path, stream, a.GetData(), sizeof(T) * static_cast<size_t>(a.GetSize()));
}
/// Takes the elements read by the shared reader into an array.
template <class T, class ARG>
std::function<void(const BYTE*, size_t)> TakeArrayElements(CArray<T, ARG>& a)
{
    return [&a](const BYTE* bytes, size_t count) {
        a.SetSize(static_cast<INT_PTR>(count));
        if (count) std::memcpy(static_cast<void*>(a.GetData()), bytes, count * sizeof(T));
        AutomationLoadProgress(count).All();
    };
}
template <class T, class ARG>
BOOL LoadArrayStream(const CString& path, const CString& stream, CArray<T, ARG>& a)
{
    return LoadAutomationStream(path, stream, sizeof(T), TakeArrayElements(a));
}
/// The same on a file already open.
template <class T, class ARG>
BOOL LoadArrayData(AutomationStorage& storage, const CString& stream, CArray<T, ARG>& a)
{
    return LoadAutomationData(storage, stream, sizeof(T), TakeArrayElements(a));
}
/// Writes a plain array stream on a file already open.
template <class T, class ARG>
bool WriteArrayData(AutomationStorage& storage, const CString& stream, const CArray<T, ARG>& a)
{
    return storage.WriteStream(stream, a.GetData(), sizeof(T) * static_cast<size_t>(a.GetSize()));
}

BOOL SaveDWordStream(const CString& path, const CString& stream, const CDWordArray& a);
BOOL SaveWordStream(const CString& path, const CString& stream, const CWordArray& a);
BOOL LoadDWordStream(const CString& path, const CString& stream, CDWordArray& a);
BOOL LoadWordStream(const CString& path, const CString& stream, CWordArray& a);
