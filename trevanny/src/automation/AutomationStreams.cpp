#include "trevanny/AutomationStreams.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>

#include <zlib.h>

#include "GuardedFileOperation.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/WideFromAnsi.h"
#include "winport/COleStreamFile.h"
#include "winport/Clock.h"

namespace {

constexpr size_t kFileVersionSize = 40;
// Deflate never packs more than 1032 bytes into one: a length beyond that ratio is a lie.
constexpr uint64_t kMaxInflateRatio = 1032;
// Inflated output grows in steps of at least this much, so that a false length costs no more
// memory than the data really inflates to.
constexpr size_t kInflateStep = size_t{1} << 20;
// Records are made and written, and read and taken over, a block of about this size at a time.
constexpr size_t kWriteBlock = size_t{1} << 20;
constexpr size_t kReadBlock = size_t{1} << 20;

// The path as the storage functions take it.
std::unique_ptr<wchar_t[]> widePath(const CString& path)
{
    wchar_t* wide = nullptr;
    WideFromAnsi(path, &wide);
    return std::unique_ptr<wchar_t[]>(wide);
}

void put32(BYTE* p, int32_t v) { std::memcpy(p, &v, 4); }

// Inflates the zlib data into exactly `expected` bytes (at least 1). False when the data is
// damaged, ends early, or holds more.
bool inflateExactly(const BYTE* in, size_t inSize, size_t expected, AutomationBytes& out)
{
    if (inSize > 0xFFFFFFFFu) return false;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<BYTE*>(in);
    z.avail_in = static_cast<uInt>(inSize);
    out.clear();
    size_t made = 0;
    BYTE spare;
    bool ok = false;
    for (;;) {
        if (made < expected && made == out.size())
            out.resize(std::min(expected, std::max(out.size() * 2, out.size() + kInflateStep)));
        // Once the length is reached, one spare byte shows data that holds more.
        const bool full = made == expected;
        z.next_out = full ? &spare : out.data() + made;
        z.avail_out = full ? 1 : static_cast<uInt>(std::min<size_t>(out.size() - made, 1u << 30));
        const uInt room = z.avail_out;
        const int rc = inflate(&z, Z_NO_FLUSH);
        const size_t produced = room - z.avail_out;
        if (full && produced > 0) break;
        made += produced;
        if (rc == Z_STREAM_END) {
            ok = made == expected;
            break;
        }
        // Z_BUF_ERROR: no progress possible, the data ends before its end mark.
        if (rc != Z_OK) break;
    }
    inflateEnd(&z);
    return ok;
}

}  // namespace

AutomationStorage::~AutomationStorage()
{
    if (m_storage) m_storage->Release();
}

bool AutomationStorage::OpenForWriting(const CString& path)
{
    if (m_storage) return false;
    auto wide = widePath(path);
    const HRESULT probe = StgIsStorageFile(wide.get());
    const HRESULT hr = probe == STG_E_FILENOTFOUND ? StgCreateDocfile(wide.get(), kAutomationCreateMode, 0, &m_storage)
                                                   : StgOpenStorage(wide.get(), nullptr, kAutomationWriteMode, nullptr, 0, &m_storage);
    if (FAILED(hr)) m_storage = nullptr;
    return m_storage != nullptr;
}

bool AutomationStorage::Create(const CString& path)
{
    if (m_storage) return false;
    auto wide = widePath(path);
    if (FAILED(StgCreateDocfile(wide.get(), kAutomationCreateMode, 0, &m_storage))) m_storage = nullptr;
    return m_storage != nullptr;
}

bool AutomationStorage::Commit() { return m_storage && SUCCEEDED(m_storage->Commit(STGC_DEFAULT)); }

bool AutomationStorage::OpenForReading(const CString& path)
{
    if (m_storage) return false;
    auto wide = widePath(path);
    if (FAILED(StgOpenStorage(wide.get(), nullptr, kAutomationReadMode, nullptr, 0, &m_storage))) m_storage = nullptr;
    return m_storage != nullptr;
}

bool AutomationStorage::WriteStream(const char* name, const void* data, size_t size)
{
    COleStreamFile stream;
    if (!stream.CreateStream(m_storage, name, kAutomationCreateMode)) return false;
    return guarded([&] {
        const BYTE* p = static_cast<const BYTE*>(data);
        // One write for every stream of a realistic size.
        for (size_t left = size; left > 0;) {
            const UINT chunk = static_cast<UINT>(std::min<size_t>(left, 1u << 30));
            stream.Write(p, chunk);
            p += chunk;
            left -= chunk;
        }
        stream.Close();
        return true;
    });
}

bool AutomationStorage::WriteRecords(const char* name, size_t recordSize, size_t count, const AutomationRecordProducer& produce)
{
    COleStreamFile stream;
    if (recordSize == 0 || !stream.CreateStream(m_storage, name, kAutomationCreateMode)) return false;
    const size_t perBlock = std::max<size_t>(1, kWriteBlock / recordSize);
    std::vector<BYTE> block(std::min(count, perBlock) * recordSize);
    return guarded([&] {
        for (size_t first = 0; first < count;) {
            const size_t n = std::min(perBlock, count - first);
            produce(first, n, block.data());
            stream.Write(block.data(), static_cast<UINT>(n * recordSize));
            first += n;
        }
        stream.Close();
        return true;
    });
}

AutomationStorage::ReadResult AutomationStorage::openForReading(COleStreamFile& stream, const char* name)
{
    CFileException error;
    if (stream.OpenStream(m_storage, name, kAutomationReadMode, &error)) return Read;
    // Only a name the file does not hold is a missing stream; one that is there but cannot be
    // opened (a damaged chain, a size its sectors do not back) is damage.
    if (error.m_lOsError == STG_E_FILENOTFOUND) return Missing;
    m_damaged = true;
    return Damaged;
}

int64_t AutomationStorage::ReadStreamHead(const char* name, void* buffer, size_t capacity)
{
    COleStreamFile stream;
    if (openForReading(stream, name) != Read) return -1;
    int64_t got = -1;
    if (!guarded([&] {
            got = stream.Read(buffer, static_cast<UINT>(std::min<size_t>(capacity, 1u << 30)));
            return true;
        })) {
        m_damaged = true;
        return -1;
    }
    return got;
}

void AutomationStorage::WriteVersionStreams()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    BYTE version[kFileVersionSize] = {1, 4, 0, 0};
    const int32_t fields[9] = {local.tm_sec,  local.tm_min,  local.tm_hour, local.tm_mday, local.tm_mon,
                               local.tm_year, local.tm_wday, local.tm_yday, local.tm_isdst};
    for (int i = 0; i < 9; ++i) put32(version + 4 + 4 * i, fields[i]);
    WriteStream(AUTOMATION_FILE_VERSION_STREAM, version, sizeof version);

    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(local.tm_year + 1900);
    st.wMonth = static_cast<WORD>(local.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(local.tm_wday);
    st.wDay = static_cast<WORD>(local.tm_mday);
    st.wHour = static_cast<WORD>(local.tm_hour);
    st.wMinute = static_cast<WORD>(local.tm_min);
    st.wSecond = static_cast<WORD>(local.tm_sec);
    st.wMilliseconds = 0;
    WriteStream(AUTOMATION_TIME_AND_DATE_STREAM, &st, sizeof st);
}

AutomationFileVersion AutomationStorage::ReadFileVersion()
{
    BYTE head[kFileVersionSize] = {};
    AutomationFileVersion version;
    const int64_t got = ReadStreamHead(AUTOMATION_FILE_VERSION_STREAM, head, sizeof head);
    if (got >= 2) {
        version.major = head[0];
        version.minor = head[1];
    } else if (got == 1) {
        version.major = head[0];
    }
    return version;
}

AutomationStorage::ReadResult AutomationStorage::ReadDataStream(const char* name, const AutomationFileVersion& version,
                                                                size_t elementSize, AutomationBytes& bytes, size_t& count)
{
    bytes.clear();
    count = 0;
    const ReadResult result = ReadDataBlocks(
        name, version, elementSize,
        [&](size_t n) {
            bytes.resize(n * elementSize);
            count = n;
        },
        [&](const BYTE* block, size_t first, size_t n) { std::memcpy(bytes.data() + first * elementSize, block, n * elementSize); });
    if (result != Read) {
        bytes.clear();
        count = 0;
    }
    return result;
}

AutomationStorage::ReadResult AutomationStorage::ReadDataBlocks(
    const char* name, const AutomationFileVersion& version, size_t elementSize, const std::function<void(size_t count)>& room,
    const std::function<void(const BYTE* bytes, size_t first, size_t count)>& take)
{
    COleStreamFile stream;
    const ReadResult opened = openForReading(stream, name);
    if (opened != Read) return opened;
    const size_t perBlock = std::max<size_t>(1, kReadBlock / elementSize);
    const bool ok = guarded([&] {
        const uint64_t length = stream.GetLength();
        if (!version.IsCompressed()) {
            const size_t count = static_cast<size_t>(length / elementSize);
            if (count == 0) {
                room(0);
                return true;
            }
            PostAutomationNotification(kAutomationLoadNotification, 50);
            room(count);
            AutomationBytes block(std::min(count, perBlock) * elementSize);
            for (size_t first = 0; first < count;) {
                const size_t n = std::min(perBlock, count - first);
                const UINT bytes = static_cast<UINT>(n * elementSize);
                if (stream.Read(block.data(), bytes) != bytes) return false;
                take(block.data(), first, n);
                first += n;
            }
            return true;
        }
        if (length == 0) {
            room(0);
            return true;
        }
        BYTE head[4];
        if (length < 4 || stream.Read(head, 4) != 4) return false;
        uint32_t declared;
        std::memcpy(&declared, head, 4);
        const size_t count = declared / elementSize;
        if (count == 0) {
            room(0);
            return true;
        }
        const uint64_t packedSize = length - 4;
        if (declared > packedSize * kMaxInflateRatio) return false;
        AutomationBytes packed(static_cast<size_t>(packedSize));
        if (stream.Read(packed.data(), static_cast<UINT>(packed.size())) != packed.size()) return false;
        AutomationBytes inflated;
        if (!inflateExactly(packed.data(), packed.size(), declared, inflated)) return false;
        room(count);
        for (size_t first = 0; first < count; first += perBlock)
            take(inflated.data() + first * elementSize, first, std::min(perBlock, count - first));
        return true;
    });
    if (ok) return Read;
    m_damaged = true;
    return Damaged;
}

void AutomationLoadProgress::Block(size_t first, size_t count) const
{
    if (m_step == 0) return;
    // The multiples of the step in [first, first + count).
    for (size_t i = (first + m_step - 1) / m_step * m_step; i < first + count; i += m_step) post(i);
}

void AutomationLoadProgress::post(size_t index) const
{
    PostAutomationNotification(kAutomationLoadNotification,
                               AutomationProgressArgument(static_cast<int64_t>(index), static_cast<int64_t>(m_count)));
}

namespace {

BOOL saveWith(const CString& path, const std::function<bool(AutomationStorage&)>& writeData,
              const std::function<void(AutomationStorage&)>& afterData)
{
    AutomationStorage storage;
    if (!storage.OpenForWriting(path)) return FALSE;
    const bool written = writeData(storage);
    if (written && afterData) afterData(storage);
    storage.WriteVersionStreams();
    return written ? TRUE : FALSE;
}

}  // namespace

BOOL SaveAutomationStream(const CString& path, const char* streamName, const void* data, size_t size,
                          const std::function<void(AutomationStorage&)>& afterData)
{
    return saveWith(
        path, [&](AutomationStorage& storage) { return storage.WriteStream(streamName, data, size); }, afterData);
}

BOOL SaveAutomationRecords(const CString& path, const char* streamName, size_t recordSize, size_t count,
                           const AutomationRecordProducer& produce, const std::function<void(AutomationStorage&)>& afterData)
{
    return saveWith(
        path, [&](AutomationStorage& storage) { return storage.WriteRecords(streamName, recordSize, count, produce); },
        afterData);
}

BOOL LoadAutomationBlocks(AutomationStorage& storage, const char* streamName, size_t elementSize,
                          const std::function<void(size_t count)>& room,
                          const std::function<void(const BYTE* bytes, size_t first, size_t count)>& take,
                          const std::function<void()>& done)
{
    PostAutomationNotification(kAutomationLoadNotification, 0);
    const AutomationFileVersion version = storage.ReadFileVersion();
    std::optional<AutomationLoadProgress> progress;
    const AutomationStorage::ReadResult result = storage.ReadDataBlocks(
        streamName, version, elementSize,
        [&](size_t count) {
            room(count);
            progress.emplace(count);
        },
        [&](const BYTE* bytes, size_t first, size_t count) {
            take(bytes, first, count);
            progress->Block(first, count);
        });
    if (result != AutomationStorage::Read) return FALSE;
    done();
    return TRUE;
}

BOOL LoadAutomationData(AutomationStorage& storage, const char* streamName, size_t elementSize,
                        const std::function<void(const BYTE* bytes, size_t count)>& take)
{
    PostAutomationNotification(kAutomationLoadNotification, 0);
    const AutomationFileVersion version = storage.ReadFileVersion();
    AutomationBytes bytes;
    size_t count = 0;
    if (storage.ReadDataStream(streamName, version, elementSize, bytes, count) != AutomationStorage::Read) return FALSE;
    take(bytes.data(), count);
    return TRUE;
}

BOOL LoadAutomationStream(const CString& path, const char* streamName, size_t elementSize,
                          const std::function<void(const BYTE* bytes, size_t count)>& take)
{
    AutomationStorage storage;
    if (!storage.OpenForReading(path)) return FALSE;
    return LoadAutomationData(storage, streamName, elementSize, take);
}

BOOL SaveDWordStream(const CString& path, const CString& stream, const CDWordArray& a) { return SaveArrayStream(path, stream, a); }
BOOL SaveWordStream(const CString& path, const CString& stream, const CWordArray& a) { return SaveArrayStream(path, stream, a); }
BOOL LoadDWordStream(const CString& path, const CString& stream, CDWordArray& a) { return LoadArrayStream(path, stream, a); }
BOOL LoadWordStream(const CString& path, const CString& stream, CWordArray& a) { return LoadArrayStream(path, stream, a); }
