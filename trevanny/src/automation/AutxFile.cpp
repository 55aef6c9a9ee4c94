#include "trevanny/AutxFile.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include <zlib.h>

#include "GuardedFileOperation.h"
#include "winport/Clock.h"
#include "winport/RegistryObject.h"

namespace {

constexpr char kMagic[8] = {'A', 'U', 'T', 'X', 'F', 'I', 'L', 'E'};
constexpr BYTE kFiller = 0xBB;
constexpr uint32_t kChunkHeaderSize = 12;
constexpr int kCompressionLevel = 1;
constexpr uint32_t kMaxOffset = 0xFFFFFFFFu;
// Deflate never packs more than 1032 bytes into one; an entry claiming more than that for the
// bytes left in the file cannot be read whole.
constexpr uint64_t kMaxInflateRatio = 1032;

constexpr UINT kOpenFlags = CFile::modeReadWrite | CFile::modeCreate | CFile::modeNoTruncate |
                            CFile::shareExclusive | CFile::typeBinary;

const char* const kServerKey = "SOFTWARE\\VOKDWEN\\KIVSERVER";
const char* const kCompressedValue = "CompressedAuto";

uint32_t get32(const BYTE* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void put32(BYTE* p, uint32_t v)
{
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
    p[2] = static_cast<BYTE>(v >> 16);
    p[3] = static_cast<BYTE>(v >> 24);
}

}  // namespace

CAutxFile::CAutxFile()
{
    resetDirectory();
    int compressed = 1;
    CLocalMachineRegistryObject registry{CString()};
    registry.GetInt(kServerKey, kCompressedValue, compressed, 1);
    m_bCompress = compressed != 0;
}

CAutxFile::~CAutxFile()
{
    Close();
}

void CAutxFile::resetDirectory()
{
    for (auto& entry : m_directory) entry = {-1, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
}

bool CAutxFile::Open(const char* path)
{
    // The file system's own compression is left to the file system: nothing to ask for here.
    return openWith(path, kOpenFlags, /*readOnly=*/false);
}

bool CAutxFile::OpenForReading(const char* path)
{
    return openWith(path, CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary, /*readOnly=*/true);
}

bool CAutxFile::openWith(const char* path, UINT flags, bool readOnly)
{
    Close();
    resetDirectory();
    m_bHeaderValid = false;
    m_bDirty = false;
    auto file = std::make_unique<CFile>();
    if (!path || !file->Open(path, flags)) return false;
    m_file = std::move(file);
    m_bReadOnly = readOnly;
    guarded([this] {
        readHeader();
        return true;
    });
    return true;
}

bool CAutxFile::Close()
{
    if (!m_file) return false;
    if (m_bReadOnly) {
        m_file->Abort();
        m_file.reset();
        m_bHeaderValid = false;
        m_bReadOnly = false;
        return true;
    }
    bool ok = guarded([this] {
        // A file that was only read is never modified, whatever its header; a new, empty file
        // gets a header so that it is an (empty) indexed file.
        if (m_bDirty || (!m_bHeaderValid && m_file->GetLength() == 0)) writeHeader();
        m_file->Close();
        return true;
    });
    if (!ok) m_file->Abort();
    m_file.reset();
    m_bHeaderValid = false;
    m_bDirty = false;
    return ok;
}

void CAutxFile::readHeader()
{
    BYTE header[kHeaderSize];
    std::memset(header, 0xFF, sizeof header);
    m_file->SeekToBegin();
    if (m_file->Read(header, kHeaderSize) < kHeaderSize) return;
    if (std::memcmp(header, kMagic, sizeof kMagic) != 0) return;
    uint32_t version = get32(header + 8);
    uint32_t countAt = version == 1 ? 32 : 36;
    uint32_t count = get32(header + countAt);
    if (count > kMaxEntries) return;  // not a directory this file class wrote
    m_dwVersion = version;
    m_dwHeaderValue2 = get32(header + 12);
    m_dwHeaderValue1 = get32(header + 16);
    m_dwHeaderValue3 = get32(header + 20);
    m_dwHeaderValue4 = get32(header + 24);
    m_dwHeaderValue5 = get32(header + 28);
    m_dwHeaderValue6 = version == 1 ? 1 : get32(header + 32);
    const BYTE* entry = header + countAt + 4;
    for (uint32_t i = 0; i < count; ++i, entry += sizeof(AutxDirectoryEntry)) {
        m_directory[i] = {static_cast<int32_t>(get32(entry)), get32(entry + 4), get32(entry + 8), get32(entry + 12)};
    }
    m_bHeaderValid = true;
}

void CAutxFile::writeHeader()
{
    ULONGLONG position = std::max<ULONGLONG>(m_file->GetPosition(), kHeaderSize);
    // Blocks take the first free slot and are never removed, so the used slots lead; the count
    // runs to the last used slot so that no block is ever dropped from the directory.
    uint32_t count = 0;
    for (int i = 0; i < kMaxEntries; ++i) {
        if (m_directory[i].id >= 0) count = static_cast<uint32_t>(i) + 1;
    }
    BYTE header[kHeaderSize];
    std::memset(header, kFiller, sizeof header);
    std::memcpy(header, kMagic, sizeof kMagic);
    put32(header + 8, 2);
    put32(header + 12, m_dwHeaderValue2);
    put32(header + 16, m_dwHeaderValue1);
    put32(header + 20, m_dwHeaderValue3);
    put32(header + 24, m_dwHeaderValue4);
    put32(header + 28, m_dwHeaderValue5);
    put32(header + 32, m_dwHeaderValue6);
    put32(header + 36, count);
    BYTE* out = header + 40;
    for (uint32_t i = 0; i < count; ++i, out += sizeof(AutxDirectoryEntry)) {
        const AutxDirectoryEntry& e = m_directory[i];
        put32(out, static_cast<uint32_t>(e.id));
        put32(out + 4, e.offset);
        put32(out + 8, e.size);
        put32(out + 12, e.chunks);
    }
    m_file->SeekToBegin();
    m_file->Write(header, kHeaderSize);
    m_bHeaderValid = true;
    m_dwVersion = 2;
    m_file->Seek(static_cast<LONGLONG>(position), CFile::begin);
}

int CAutxFile::FindEntry(int id) const
{
    for (int i = 0; i < kMaxEntries; ++i) {
        if (m_directory[i].id == id) return i;
    }
    for (int i = 0; i < kMaxEntries; ++i) {
        if (m_directory[i].id < 0) return i;
    }
    return -1;
}

bool CAutxFile::AddEntry(int id, const void* data, unsigned size)
{
    if (!m_file || m_bReadOnly || id < 0 || (size != 0 && data == nullptr)) return false;
    int slot = FindEntry(id);
    if (slot < 0) return false;
    ULONGLONG offset = 0;
    bool ok = guarded([&] {
        if (!m_bHeaderValid) {
            // Only a new, empty file is made into an indexed file; anything else is left alone.
            if (m_file->GetLength() != 0) return false;
            writeHeader();
        }
        offset = m_file->SeekToEnd();
        if (offset > kMaxOffset) return false;
        uint32_t chunks = 0;
        writeBlock(static_cast<const BYTE*>(data), size, chunks);
        m_directory[slot] = {id, static_cast<uint32_t>(offset), size, chunks};
        m_bDirty = true;
        return true;
    });
    if (!ok && offset != 0) {
        // Cut a partly written block off again; the file ends where it ended before.
        guarded([&] {
            m_file->SetLength(offset);
            return true;
        });
    }
    return ok;
}

bool CAutxFile::addArray(int id, const void* data, INT_PTR count, size_t elementSize)
{
    uint64_t bytes = static_cast<uint64_t>(count) * elementSize;
    if (count < 0 || bytes > 0xFFFFFFFFu) return false;
    return AddEntry(id, data, static_cast<unsigned>(bytes));
}

void CAutxFile::writeBlock(const BYTE* data, uint32_t size, uint32_t& chunks)
{
    chunks = 0;
    if (m_bCompress && size > kCompressAbove) {
        ULONGLONG start = m_file->GetPosition();
        // One buffer per block: the chunk header, then room for the packed chunk.
        std::vector<BYTE> work(kChunkHeaderSize + kPackedChunkMax);
        uint32_t done = 0;
        uint32_t number = 0;
        bool packed = true;
        while (done < size) {
            uint32_t length = std::min(size - done, kChunkSize);
            uLongf packedLength = length * 110 / 100 + 12;
            ++number;
            if (compress2(work.data() + kChunkHeaderSize, &packedLength, data + done, length, kCompressionLevel) != Z_OK) {
                packed = false;
                break;
            }
            Sleep(kChunkPauseMs);
            put32(work.data(), number);
            put32(work.data() + 4, length);
            put32(work.data() + 8, static_cast<uint32_t>(packedLength));
            m_file->Write(work.data(), static_cast<UINT>(kChunkHeaderSize + packedLength));
            done += length;
            ++chunks;
        }
        if (packed) return;
        // zlib could not pack a chunk (it only fails for want of memory): store the block plain.
        m_file->SetLength(start);
        m_file->Seek(static_cast<LONGLONG>(start), CFile::begin);
        chunks = 0;
    }
    m_file->Write(data, size);
}

bool CAutxFile::ReadEntry(int id, void* buffer, unsigned capacity)
{
    if (!m_file || id < 0) return false;
    int slot = FindEntry(id);
    if (slot < 0 || m_directory[slot].id != id) return false;
    const AutxDirectoryEntry entry = m_directory[slot];
    if (capacity != 0 && buffer == nullptr) return false;
    BYTE* out = static_cast<BYTE*>(buffer);
    return guarded([&] {
        m_file->Seek(entry.offset, CFile::begin);
        if (entry.chunks != 0) return readChunks(entry, out, capacity);
        uint32_t want = std::min<uint32_t>(capacity, entry.size);
        if (m_file->Read(out, want) != want) return false;
        return want == entry.size;
    });
}

bool CAutxFile::readChunks(const AutxDirectoryEntry& entry, BYTE* buffer, uint32_t capacity)
{
    const uint32_t room = std::min(capacity, entry.size);
    std::vector<BYTE> packed(kPackedChunkMax);
    uint32_t done = 0;
    for (uint32_t i = 0; i < entry.chunks; ++i) {
        BYTE header[kChunkHeaderSize];
        if (m_file->Read(header, kChunkHeaderSize) != kChunkHeaderSize) return false;
        uint32_t length = get32(header + 4);
        uint32_t packedLength = get32(header + 8);
        if (length > kChunkSize || packedLength > kPackedChunkMax) return false;
        if (m_file->Read(packed.data(), packedLength) != packedLength) return false;
        uLongf made = length;
        if (length <= room - done) {
            if (uncompress(buffer + done, &made, packed.data(), packedLength) != Z_OK || made != length) return false;
            done += length;
            continue;
        }
        // The chunk runs past the room: fill what is left of it (an entry of size 0 has none,
        // and may have no buffer at all) and stop.
        if (done == room) return false;
        std::vector<BYTE> whole(length);
        if (uncompress(whole.data(), &made, packed.data(), packedLength) == Z_OK && made == length) {
            std::memcpy(buffer + done, whole.data(), room - done);
        }
        return false;
    }
    return done == entry.size;
}

bool CAutxFile::plausibleBlockSize(int id, uint32_t& size)
{
    if (!m_file || id < 0) return false;
    int slot = FindEntry(id);
    if (slot < 0 || m_directory[slot].id != id) return false;
    const AutxDirectoryEntry& entry = m_directory[slot];
    return guarded([&] {
        ULONGLONG length = m_file->GetLength();
        if (entry.offset > length) return false;
        uint64_t left = length - entry.offset;
        if (entry.chunks == 0) {
            if (entry.size > left) return false;
        } else {
            if (static_cast<uint64_t>(entry.chunks) * kChunkHeaderSize > left) return false;
            if (entry.size > static_cast<uint64_t>(entry.chunks) * kChunkSize) return false;
            if (entry.size > left * kMaxInflateRatio) return false;
        }
        size = entry.size;
        return true;
    });
}

bool IsAutxFile(const char* path)
{
    if (!path) return false;
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareExclusive | CFile::typeBinary)) return false;
    char head[sizeof kMagic];
    bool read = guarded([&] { return file.Read(head, sizeof head) == sizeof head; });
    file.Abort();
    if (!read) return false;
    for (size_t i = 0; i < sizeof kMagic; ++i) {
        char c = head[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kMagic[i]) return false;
    }
    return true;
}
