#include "quenby/IOConfigFile.h"

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "quenby/AnsiToWide.h"
#include "trevanny/SharedConstants.h"
#include "winport/COleStreamFile.h"

namespace {

constexpr DWORD kReadMode = STGM_READ | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kWriteMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
// Records are read this many at a time.
constexpr size_t kRecordsPerRead = 256;

// The root storage, released when it goes out of scope.
struct Root {
    IStorage* storage = nullptr;
    ~Root()
    {
        if (storage) storage->Release();
    }
};

std::unique_ptr<wchar_t[]> widePath(const CString& path)
{
    wchar_t* wide = nullptr;
    AnsiToWide(path, &wide);
    return std::unique_ptr<wchar_t[]>(wide);
}

// Opens a stream for reading: false when the file holds no stream of the name. A stream that is
// there but cannot be opened (a damaged chain, a size beyond the file) throws CFileException.
bool openStream(IStorage* storage, const char* name, COleStreamFile& stream)
{
    CFileException error;
    if (stream.OpenStream(storage, name, kReadMode, &error)) return true;
    if (error.m_lOsError == STG_E_FILENOTFOUND) return false;
    AfxThrowFileException(error.m_cause, error.m_lOsError, name);
}

// A stream that gave fewer bytes than it holds was not read whole.
void throwWhenShort(const COleStreamFile& stream, uint64_t got, const char* name)
{
    if (got < stream.GetLength()) AfxThrowFileException(CFileException::endOfFile, STG_E_READFAULT, name);
}

// The first four bytes of a stream as an int32; false when the stream is missing. A stream
// shorter than four bytes gives false, or a file exception when throwWhenTooShort is set.
bool readInt(IStorage* storage, const char* name, int& out, bool throwWhenTooShort)
{
    COleStreamFile stream;
    if (!openStream(storage, name, stream)) return false;
    int32_t value = 0;
    const UINT got = stream.Read(&value, sizeof value);
    if (got != sizeof value) {
        throwWhenShort(stream, got, name);
        if (throwWhenTooShort) AfxThrowFileException(CFileException::genericException, -1, name);
        return false;
    }
    out = value;
    return true;
}

// Every whole record of a stream, passed to `take` one at a time; a trailing part is ignored.
template <class Take>
void readRecords(IStorage* storage, const char* name, size_t recordSize, Take take)
{
    COleStreamFile stream;
    if (!openStream(storage, name, stream)) return;
    std::vector<uint8_t> buffer(recordSize * kRecordsPerRead);
    uint64_t total = 0;
    for (;;) {
        const UINT got = stream.Read(buffer.data(), static_cast<UINT>(buffer.size()));
        total += got;
        for (size_t at = 0; at + recordSize <= got; at += recordSize) take(buffer.data() + at);
        if (got < buffer.size()) break;
    }
    throwWhenShort(stream, total, name);
}

void writeBytes(IStorage* storage, const char* name, const void* data, size_t size)
{
    COleStreamFile stream;
    CFileException error;
    if (!stream.CreateStream(storage, name, kWriteMode | STGM_CREATE, &error))
        AfxThrowFileException(error.m_cause, error.m_lOsError, name);
    if (size) stream.Write(data, static_cast<UINT>(size));
    stream.Close();
}

template <class Map, class Encode>
std::vector<uint8_t> encodeAll(const Map& map, Encode encode)
{
    std::vector<uint8_t> bytes(kIOConfigRecordSize * map.size());
    uint8_t* at = bytes.data();
    for (const auto& [key, value] : map) {
        encode(at, key, value);
        at += kIOConfigRecordSize;
    }
    return bytes;
}

}  // namespace

void CIOConfigFile::LoadStreams(IStorage* storage, const CString& fileName)
{
    m_nVersion = 0;
    readInt(storage, kIOConfigVersion, m_nVersion, /*throwWhenShort=*/true);
    const size_t recordSize = IOConfigRecordSize(m_nVersion);
    if (recordSize == 0) AfxThrowFileException(CFileException::genericException, -1, fileName);

    const int version = m_nVersion;
    for (int input : {1, 0}) {
        IOPortMap& ports = GetPorts(input);
        readRecords(storage, input ? kIOConfigInput : kIOConfigOutput, recordSize, [&](const uint8_t* record) {
            IOPortSettings settings;
            const IOPortKey key = DecodeIOPortRecord(record, version, settings);
            ports[key] = settings;
        });
        IOConverterMap& converters = GetConverters(input);
        readRecords(storage, input ? kIOConfigSrcIn : kIOConfigSrcOut, recordSize, [&](const uint8_t* record) {
            IOConverterSettings settings;
            const IOPortKey key = DecodeIOConverterRecord(record, version, settings);
            converters[key] = settings;
        });
    }
    readInt(storage, kIOConfigInputDelayUnits, m_nInputDelayUnits, false);
    readInt(storage, kIOConfigOutputDelayUnits, m_nOutputDelayUnits, false);
}

void CIOConfigFile::ClearMaps()
{
    m_mapInputs.clear();
    m_mapOutputs.clear();
    m_mapInputSRC.clear();
    m_mapOutputSRC.clear();
}

int CIOConfigFile::Load(const CString& fileName)
{
    ClearMaps();
    Root root;
    auto wide = widePath(fileName);
    if (FAILED(StgOpenStorage(wide.get(), nullptr, kReadMode, nullptr, 0, &root.storage))) {
        root.storage = nullptr;
        return 0;
    }
    // Read into a configuration of its own, taken over only when every stream that is there
    // was read whole: a stream that fails loads nothing at all (the maps stay empty, and the
    // version and delay units as they were).
    CIOConfigFile loaded;
    loaded.m_nInputDelayUnits = m_nInputDelayUnits;
    loaded.m_nOutputDelayUnits = m_nOutputDelayUnits;
    loaded.LoadStreams(root.storage, fileName);
    std::swap(m_mapInputs, loaded.m_mapInputs);
    std::swap(m_mapOutputs, loaded.m_mapOutputs);
    std::swap(m_mapInputSRC, loaded.m_mapInputSRC);
    std::swap(m_mapOutputSRC, loaded.m_mapOutputSRC);
    m_nVersion = loaded.m_nVersion;
    m_nInputDelayUnits = loaded.m_nInputDelayUnits;
    m_nOutputDelayUnits = loaded.m_nOutputDelayUnits;
    return 1;
}

void CIOConfigFile::Save(const CString& fileName)
{
    // Everything is encoded before the file is touched.
    const std::vector<uint8_t> streams[4] = {
        encodeAll(m_mapInputs, EncodeIOPortRecord), encodeAll(m_mapOutputs, EncodeIOPortRecord),
        encodeAll(m_mapInputSRC, EncodeIOConverterRecord), encodeAll(m_mapOutputSRC, EncodeIOConverterRecord)};
    const char* names[4] = {kIOConfigInput, kIOConfigOutput, kIOConfigSrcIn, kIOConfigSrcOut};

    Root root;
    auto wide = widePath(fileName);
    const HRESULT hr = StgIsStorageFile(wide.get()) == S_OK
                           ? StgOpenStorage(wide.get(), nullptr, kWriteMode, nullptr, 0, &root.storage)
                           : StgCreateDocfile(wide.get(), kWriteMode | STGM_CREATE, 0, &root.storage);
    if (FAILED(hr)) {
        root.storage = nullptr;
        AfxThrowFileException(COleStreamFile::CauseFromResult(hr), hr, fileName);
    }
    // A failed write leaves the storage unable to commit, so the file keeps its last content.
    const int32_t version = kCurrentVersion;
    writeBytes(root.storage, kIOConfigVersion, &version, sizeof version);
    for (int i = 0; i < 4; ++i) writeBytes(root.storage, names[i], streams[i].data(), streams[i].size());
    const int32_t units[2] = {m_nInputDelayUnits, m_nOutputDelayUnits};
    writeBytes(root.storage, kIOConfigInputDelayUnits, &units[0], sizeof units[0]);
    writeBytes(root.storage, kIOConfigOutputDelayUnits, &units[1], sizeof units[1]);
    const HRESULT committed = root.storage->Commit(STGC_DEFAULT);
    if (FAILED(committed)) AfxThrowFileException(COleStreamFile::CauseFromResult(committed), committed, fileName);
}
