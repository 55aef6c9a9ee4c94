// The compound-file format engine: reads the header, allocation tables and directory of a file
// on a descriptor, serves stream data, and writes changes without touching the sectors that the
// last commit uses (copy on write), so that the header write of a commit switches the file
// from its old content to its new content at once.
//
// Every length, count and sector number read from the file is untrusted: chains are followed
// with a bound (a chain longer than its table is a cycle), every sector number is checked
// against the file, and nothing is allocated beyond what the file's real size allows.
//
// Not thread-safe: the storage objects serialise calls with their own lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "winport/WinTypes.h"

namespace winport::cfb {

constexpr uint32_t kFreeSect = 0xFFFFFFFFu;
constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
constexpr uint32_t kFatSect = 0xFFFFFFFDu;
constexpr uint32_t kDifSect = 0xFFFFFFFCu;
constexpr uint32_t kMaxRegSect = 0xFFFFFFFAu;
constexpr uint32_t kNoStream = 0xFFFFFFFFu;
constexpr uint32_t kMiniStreamCutoff = 4096;
constexpr uint32_t kMiniSectorSize = 64;
constexpr uint32_t kHeaderBytes = 512;
constexpr uint32_t kEntryBytes = 128;
constexpr size_t kMaxNameLength = 31;
/// Largest stream of a version 3 file (its readers take only the low half of the size field).
constexpr uint64_t kMaxStreamSizeV3 = 0x80000000ull;

enum EntryType : uint8_t { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };

struct DirEntry {
    std::u16string name;
    uint8_t type = kUnused;
    GUID clsid{};
    uint32_t stateBits = 0;
    uint64_t createdTime = 0;
    uint64_t modifiedTime = 0;
    uint32_t start = kEndOfChain;
    uint64_t size = 0;
    uint32_t parent = kNoStream;
    /// Storages: the children, ordered by CompareNames.
    std::vector<uint32_t> children;
    /// Streams (and the root's mini-stream container): its sectors, once chainLoaded.
    std::vector<uint32_t> chain;
    bool chainLoaded = false;
    /// A chain found damaged when the file was opened (for reading): the element never opens.
    bool damaged = false;
    /// Bumped when the element is destroyed or replaced; open objects hold the value they saw.
    uint32_t generation = 0;
    int openCount = 0;
};

/// The order of element names in a storage: shorter names first, then by upper-cased code units.
int CompareNames(const std::u16string& a, const std::u16string& b);
char16_t UpperCaseUnit(char16_t c);

class CompoundFile {
public:
    ~CompoundFile();
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    /// Reads an existing file. S_OK, STG_E_FILEALREADYEXISTS (not a compound file),
    /// STG_E_INVALIDHEADER, STG_E_DOCFILECORRUPT or STG_E_READFAULT. Every chain is checked at
    /// once: a writable file must be sound throughout, so that a write can never land in a sector
    /// another element uses; in a file opened for reading, damaged elements fail to open.
    static HRESULT Load(int fd, bool writable, std::unique_ptr<CompoundFile>& out);
    /// An empty version 3 file on fd (a root storage only), written by the first Commit.
    static std::unique_ptr<CompoundFile> CreateEmpty(int fd);

    bool Writable() const { return m_writable; }
    bool Broken() const { return m_broken; }
    bool Dirty() const { return m_dirty; }
    uint16_t MajorVersion() const { return m_major; }
    /// The length of the file as the last commit (or the open) left it.
    uint64_t CommittedLength() const { return m_committedLength; }

    size_t EntryCount() const { return m_entries.size(); }
    DirEntry& Entry(uint32_t index) { return m_entries[index]; }
    const DirEntry& Entry(uint32_t index) const { return m_entries[index]; }

    /// The child of a storage with this name (compared without regard to case), or kNoStream.
    uint32_t FindChild(uint32_t storage, const std::u16string& name) const;
    /// Adds an empty stream or storage below a storage (the name must be free).
    HRESULT AddChild(uint32_t storage, const std::u16string& name, uint8_t type, uint32_t& index);
    /// Removes an element and everything below it, freeing its sectors.
    HRESULT Destroy(uint32_t index);

    /// Follows a stream's chain once, so that its size is known to be backed by the file.
    HRESULT CheckStream(uint32_t index) { return ensureChain(index); }
    /// Reads up to count bytes of a stream from offset (fewer at its end).
    HRESULT Read(uint32_t index, uint64_t offset, void* buffer, size_t count, size_t& done);
    /// Writes count bytes at offset, growing the stream (a gap reads as zeros).
    HRESULT Write(uint32_t index, uint64_t offset, const void* buffer, size_t count);
    HRESULT SetSize(uint32_t index, uint64_t size);

    /// Writes the directory and allocation tables to free sectors, then the header.
    HRESULT Commit();
    /// Gives back the space that uncommitted changes took at the end of the file.
    void DropUncommitted();

private:
    explicit CompoundFile(int fd) : m_fd(fd) {}

    uint32_t sectorSize() const { return 1u << m_shift; }
    uint64_t sectorOffset(uint32_t sector) const { return (uint64_t(sector) + 1) << m_shift; }
    bool isMini(const DirEntry& e) const { return e.type == kStream && e.size < kMiniStreamCutoff; }
    uint64_t maxStreamSize() const;

    HRESULT readAt(uint64_t offset, void* buffer, size_t count) const;
    HRESULT writeAt(uint64_t offset, const void* buffer, size_t count);
    HRESULT readSectors(const std::vector<uint32_t>& sectors, uint8_t* out) const;
    HRESULT writeSectors(const std::vector<uint32_t>& sectors, const uint8_t* data);

    HRESULT loadHeaderAndTables(uint64_t fileSize);
    HRESULT loadDirectory();
    bool checkChains();
    HRESULT checkOwnership(bool strict);
    void resetAllocationState();
    void settleAllocationState();

    HRESULT ensureChain(uint32_t index);
    HRESULT allocSector(uint32_t& sector);
    void freeSector(uint32_t sector);
    HRESULT allocMini(uint32_t& mini);
    void freeMini(uint32_t mini);
    HRESULT resizeChain(uint32_t index, uint64_t units, bool mini);
    HRESULT setSizeNoFill(uint32_t index, uint64_t size);
    HRESULT readRegular(uint32_t index, uint64_t offset, uint8_t* buffer, size_t count);
    HRESULT writeRegular(uint32_t index, uint64_t offset, const uint8_t* buffer, size_t count);
    HRESULT readMini(uint32_t index, uint64_t offset, uint8_t* buffer, size_t count);
    HRESULT writeMini(uint32_t index, uint64_t offset, const uint8_t* buffer, size_t count);
    HRESULT copyOnWrite(uint32_t index, size_t position, bool keepData);
    HRESULT fail(HRESULT hr);

    using SectorTest = std::function<bool(size_t k)>;
    HRESULT placeTable(std::vector<uint32_t>& sectors, size_t count, uint32_t mark, const SectorTest& unchanged,
                       std::vector<uint32_t>& touched, const std::vector<size_t>* only);
    /// A sector of the committed content: never written until the next commit.
    bool pinned(uint32_t sector) const;
    void setFat(uint32_t sector, uint32_t value);
    void setLink(bool mini, uint32_t unit, uint32_t next);
    HRESULT writeNewSectors(const std::vector<uint32_t>& sectors, const uint8_t* data);

    void destroyTree(uint32_t index);
    std::vector<uint8_t> serialiseDirectory(size_t& count);
    uint32_t buildTree(std::vector<uint32_t>& left, std::vector<uint32_t>& right,
                       std::vector<uint8_t>& colour, const std::vector<uint32_t>& sorted, size_t lo,
                       size_t hi, int depth, int redDepth);

    int m_fd;
    bool m_writable = false;
    bool m_dirty = false;
    bool m_broken = false;
    /// Every chain was found sound when the file was opened (and writes keep them so).
    bool m_chainsChecked = false;
    uint32_t m_shift = 9;
    uint16_t m_major = 3;
    uint16_t m_minor = 0x3E;
    GUID m_clsid{};
    uint64_t m_committedLength = 0;

    std::vector<uint32_t> m_fat;
    std::vector<uint32_t> m_miniFat;
    std::vector<DirEntry> m_entries;
    std::vector<uint32_t> m_freeSectors;
    /// The sectors of the committed content freed since the last commit.
    std::vector<uint32_t> m_freedPinned;
    std::vector<uint32_t> m_freeMini;
    /// Scratch of the chain walks: all false between walks.
    std::vector<bool> m_seen;
    // The committed file's own tables, freed at the next commit.
    std::vector<uint32_t> m_fatSectors;
    std::vector<uint32_t> m_difatSectors;
    std::vector<uint32_t> m_dirSectors;
    std::vector<uint32_t> m_miniFatSectors;
    // What the committed tables hold (files open for writing only): a commit writes only the
    // sectors whose bytes change. The allocation table's sectors are kept as they were from
    // their first change on (null: unchanged since the commit, as m_fat holds them).
    std::vector<std::unique_ptr<uint32_t[]>> m_committedFat;
    std::vector<uint8_t> m_committedDifat;
    std::vector<uint8_t> m_committedDir;
    std::vector<uint8_t> m_committedMiniFat;
};

}  // namespace winport::cfb
