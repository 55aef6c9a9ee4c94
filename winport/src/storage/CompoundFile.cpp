#include "storage/CompoundFile.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "winport/Storage.h"

static_assert(std::endian::native == std::endian::little,
              "the allocation tables are copied as they lie in the file");

namespace winport::cfb {

namespace {

const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr size_t kHeaderFatEntries = 109;
constexpr uint64_t kToEnd = UINT64_MAX;

uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }
uint64_t get64(const uint8_t* p) { return uint64_t(get32(p)) | (uint64_t(get32(p + 4)) << 32); }
void put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void put32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }
void put64(uint8_t* p, uint64_t v) { put32(p, uint32_t(v)); put32(p + 4, uint32_t(v >> 32)); }

/// Follows a chain through an allocation table. want is the number of sectors the element
/// needs (kToEnd: up to the end-of-chain mark). Every link must be a sector of the table or the
/// end mark, and no sector may come twice: a chain that runs back into itself is a loop, even
/// when the element's size would cut it before it repeats. seen is all false, sized as the
/// table, and is left so. A chain already known to be sound (checked) is followed without
/// seen.
HRESULT buildChain(const std::vector<uint32_t>& table, uint32_t start, uint64_t want,
                   std::vector<uint32_t>& out, std::vector<bool>& seen, bool checked = false)
{
    out.clear();
    if (want == 0) return S_OK;
    if (!checked && seen.size() < table.size()) seen.resize(table.size(), false);
    out.reserve(static_cast<size_t>(std::min<uint64_t>(want == kToEnd ? 64 : want, table.size())));
    HRESULT hr = S_OK;
    for (uint32_t cur = start;;) {
        if (cur >= table.size() || (!checked && seen[cur])) {
            hr = STG_E_DOCFILECORRUPT;
            break;
        }
        if (!checked) seen[cur] = true;
        out.push_back(cur);
        const uint32_t next = table[cur];
        if (next != kEndOfChain && next > kMaxRegSect) {
            hr = STG_E_DOCFILECORRUPT;
            break;
        }
        if (out.size() == want) break;
        if (next == kEndOfChain) {
            if (want != kToEnd) hr = STG_E_DOCFILECORRUPT;
            break;
        }
        cur = next;
    }
    if (!checked) {
        for (uint32_t s : out) seen[s] = false;
    }
    return hr;
}

uint64_t unitsFor(uint64_t bytes, uint64_t unit) { return bytes / unit + (bytes % unit != 0); }

/// Cuts count bytes of an element from offset into runs of consecutive units of its chain and
/// calls fn(first unit of the run, offset in it, bytes) for each.
template <class Fn>
HRESULT forEachRun(const std::vector<uint32_t>& chain, uint64_t unit, uint64_t offset, size_t count, Fn&& fn)
{
    while (count > 0) {
        const size_t i = static_cast<size_t>(offset / unit);
        const size_t within = static_cast<size_t>(offset % unit);
        if (i >= chain.size()) return STG_E_DOCFILECORRUPT;
        uint64_t run = unit - within;
        for (size_t j = i; run < count && j + 1 < chain.size() && chain[j + 1] == chain[j] + 1; ++j) run += unit;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(run, count));
        HRESULT hr = fn(chain[i], within, take);
        if (FAILED(hr)) return hr;
        offset += take;
        count -= take;
    }
    return S_OK;
}

}  // namespace

char16_t UpperCaseUnit(char16_t c)
{
    if (c < 0x61) return c;
    if (c <= 0x7A) return char16_t(c - 0x20);
    if (c < 0xE0) return c;
    if (c <= 0xFE) return c == 0xF7 ? c : char16_t(c - 0x20);
    if (c == 0xFF) return 0x178;
    if (c < 0x180) {
        // Latin Extended-A: capital and small letters in pairs.
        if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return char16_t(c & ~1u);
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1u) ? c : char16_t(c - 1);
        return c;
    }
    if (c == 0x192) return 0x191;
    if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? char16_t(0x3A3) : char16_t(c - 0x20);
    if (c >= 0x430 && c <= 0x44F) return char16_t(c - 0x20);
    if (c >= 0x450 && c <= 0x45F) return char16_t(c - 0x50);
    return c;
}

int CompareNames(const std::u16string& a, const std::u16string& b)
{
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = UpperCaseUnit(a[i]);
        char16_t y = UpperCaseUnit(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

CompoundFile::~CompoundFile() = default;

uint64_t CompoundFile::maxStreamSize() const
{
    return m_major == 3 ? kMaxStreamSizeV3 : (uint64_t(kMaxRegSect) << m_shift);
}

HRESULT CompoundFile::fail(HRESULT hr)
{
    m_broken = true;
    return hr;
}

// ---- raw I/O -------------------------------------------------------------------------------

HRESULT CompoundFile::readAt(uint64_t offset, void* buffer, size_t count) const
{
    auto* p = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        ssize_t n = ::pread(m_fd, p, count, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return STG_E_READFAULT;
        }
        if (n == 0) {
            // A last sector that the file holds only in part reads as zeros after its end.
            std::memset(p, 0, count);
            return S_OK;
        }
        p += n;
        offset += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
    return S_OK;
}

HRESULT CompoundFile::writeAt(uint64_t offset, const void* buffer, size_t count)
{
    const auto* p = static_cast<const uint8_t*>(buffer);
    while (count > 0) {
        ssize_t n = ::pwrite(m_fd, p, count, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == ENOSPC || errno == EDQUOT || errno == EFBIG ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT;
        }
        p += n;
        offset += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
    return S_OK;
}

// Reads whole sectors into consecutive memory, one call per run of consecutive sectors.
HRESULT CompoundFile::readSectors(const std::vector<uint32_t>& sectors, uint8_t* out) const
{
    const size_t ss = sectorSize();
    for (size_t i = 0; i < sectors.size();) {
        size_t j = i + 1;
        while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1) ++j;
        HRESULT hr = readAt(sectorOffset(sectors[i]), out + i * ss, (j - i) * ss);
        if (FAILED(hr)) return hr;
        i = j;
    }
    return S_OK;
}

HRESULT CompoundFile::writeSectors(const std::vector<uint32_t>& sectors, const uint8_t* data)
{
    const size_t ss = sectorSize();
    for (size_t i = 0; i < sectors.size();) {
        size_t j = i + 1;
        while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1) ++j;
        HRESULT hr = writeAt(sectorOffset(sectors[i]), data + i * ss, (j - i) * ss);
        if (FAILED(hr)) return hr;
        i = j;
    }
    return S_OK;
}

// ---- loading -------------------------------------------------------------------------------

HRESULT CompoundFile::Load(int fd, bool writable, std::unique_ptr<CompoundFile>& out)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) return STG_E_READFAULT;
    std::unique_ptr<CompoundFile> cf(new CompoundFile(fd));
    cf->m_writable = writable;
    HRESULT hr = cf->loadHeaderAndTables(static_cast<uint64_t>(st.st_size));
    if (SUCCEEDED(hr)) hr = cf->loadDirectory();
    if (SUCCEEDED(hr)) hr = cf->checkChains() ? S_OK : cf->checkOwnership(writable);
    if (FAILED(hr)) return hr;
    cf->m_committedLength = static_cast<uint64_t>(st.st_size);
    // Only writes allocate.
    if (writable) cf->resetAllocationState();
    out = std::move(cf);
    return S_OK;
}

std::unique_ptr<CompoundFile> CompoundFile::CreateEmpty(int fd)
{
    std::unique_ptr<CompoundFile> cf(new CompoundFile(fd));
    cf->m_writable = true;
    cf->m_dirty = true;
    DirEntry root;
    root.name = u"Root Entry";
    root.type = kRoot;
    root.chainLoaded = true;
    cf->m_entries.push_back(std::move(root));
    return cf;
}

HRESULT CompoundFile::loadHeaderAndTables(uint64_t fileSize)
{
    uint8_t h[kHeaderBytes] = {};
    size_t have = static_cast<size_t>(std::min<uint64_t>(fileSize, kHeaderBytes));
    if (have < sizeof kSignature) return STG_E_FILEALREADYEXISTS;
    HRESULT hr = readAt(0, h, have);
    if (FAILED(hr)) return hr;
    if (std::memcmp(h, kSignature, sizeof kSignature) != 0) return STG_E_FILEALREADYEXISTS;
    if (have < kHeaderBytes) return STG_E_INVALIDHEADER;

    m_minor = get16(h + 24);
    m_major = get16(h + 26);
    uint16_t shift = get16(h + 30);
    if (get16(h + 28) != 0xFFFE) return STG_E_INVALIDHEADER;
    if (!((m_major == 3 && shift == 9) || (m_major == 4 && shift == 12))) return STG_E_INVALIDHEADER;
    if (get16(h + 32) != 6 || get32(h + 56) != kMiniStreamCutoff) return STG_E_INVALIDHEADER;
    m_shift = shift;
    std::memcpy(&m_clsid, h + 8, sizeof m_clsid);

    const uint32_t ss = sectorSize();
    const size_t perSector = ss / 4;
    uint64_t sectorCount = fileSize > ss ? unitsFor(fileSize - ss, ss) : 0;
    sectorCount = std::min<uint64_t>(sectorCount, uint64_t(kMaxRegSect) + 1);
    const uint32_t fatCount = get32(h + 44);
    const uint32_t firstDir = get32(h + 48);
    const uint32_t firstMiniFat = get32(h + 60);
    const uint32_t firstDifat = get32(h + 68);
    if (fatCount > sectorCount) return STG_E_DOCFILECORRUPT;

    // The allocation table's own sectors: 109 in the header, the rest in the DIFAT chain.
    for (size_t i = 0; i < std::min<size_t>(fatCount, kHeaderFatEntries); ++i) {
        uint32_t s = get32(h + 76 + 4 * i);
        if (s >= sectorCount) return STG_E_DOCFILECORRUPT;
        m_fatSectors.push_back(s);
    }
    std::vector<bool> seen(static_cast<size_t>(sectorCount), false);
    std::vector<uint8_t> sector(ss);
    uint32_t next = firstDifat;
    while (m_fatSectors.size() < fatCount) {
        if (next >= sectorCount || seen[next]) return STG_E_DOCFILECORRUPT;
        seen[next] = true;
        m_difatSectors.push_back(next);
        hr = readAt(sectorOffset(next), sector.data(), ss);
        if (FAILED(hr)) return hr;
        if (m_writable) m_committedDifat.insert(m_committedDifat.end(), sector.begin(), sector.end());
        for (size_t j = 0; j + 1 < perSector && m_fatSectors.size() < fatCount; ++j) {
            uint32_t s = get32(sector.data() + 4 * j);
            if (s >= sectorCount) return STG_E_DOCFILECORRUPT;
            m_fatSectors.push_back(s);
        }
        next = get32(sector.data() + ss - 4);
    }

    m_fat.reserve(std::max<size_t>(m_fatSectors.size() * perSector, static_cast<size_t>(sectorCount)));
    m_fat.resize(m_fatSectors.size() * perSector);
    hr = readSectors(m_fatSectors, reinterpret_cast<uint8_t*>(m_fat.data()));
    if (FAILED(hr)) return hr;
    // Entries for sectors past the end of the file are of no use; sectors the table does not
    // cover are free.
    m_fat.resize(static_cast<size_t>(sectorCount), kFreeSect);
    // The table as the file's length leaves it (past the end, every sector is free) is the
    // committed one.
    if (m_writable) m_committedFat.resize(unitsFor(m_fat.size(), perSector));

    if (FAILED(buildChain(m_fat, firstDir, kToEnd, m_dirSectors, m_seen))) return STG_E_DOCFILECORRUPT;
    if (firstMiniFat <= kMaxRegSect) {
        if (FAILED(buildChain(m_fat, firstMiniFat, kToEnd, m_miniFatSectors, m_seen))) return STG_E_DOCFILECORRUPT;
        m_miniFat.resize(m_miniFatSectors.size() * perSector);
        hr = readSectors(m_miniFatSectors, reinterpret_cast<uint8_t*>(m_miniFat.data()));
        if (FAILED(hr)) return hr;
        if (m_writable) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(m_miniFat.data());
            m_committedMiniFat.assign(bytes, bytes + m_miniFat.size() * 4);
        }
    }
    return S_OK;
}

HRESULT CompoundFile::loadDirectory()
{
    const uint32_t ss = sectorSize();
    const size_t count = m_dirSectors.size() * (ss / kEntryBytes);
    std::vector<uint8_t> raw(m_dirSectors.size() * ss);
    HRESULT hr = readSectors(m_dirSectors, raw.data());
    if (FAILED(hr)) return hr;

    m_entries.assign(count, DirEntry{});
    std::vector<uint32_t> left(count), right(count), child(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = raw.data() + i * kEntryBytes;
        DirEntry& e = m_entries[i];
        size_t units = std::min<size_t>(get16(p + 64), 64) / 2;
        if (units > 0) --units;  // the terminator
        for (size_t k = 0; k < units; ++k) {
            char16_t c = get16(p + 2 * k);
            if (c == 0) break;
            e.name.push_back(c);
        }
        e.type = p[66];
        left[i] = get32(p + 68);
        right[i] = get32(p + 72);
        child[i] = get32(p + 76);
        std::memcpy(&e.clsid, p + 80, sizeof e.clsid);
        e.stateBits = get32(p + 96);
        e.createdTime = get64(p + 100);
        e.modifiedTime = get64(p + 108);
        e.start = get32(p + 116);
        e.size = get64(p + 120);
        // Version 3 writers may leave garbage in the upper half of the size.
        if (m_major == 3) e.size &= 0xFFFFFFFFull;
    }
    if (count == 0 || m_entries[0].type != kRoot) return STG_E_DOCFILECORRUPT;

    // Walk every storage's sibling tree once; an entry met twice is a loop.
    std::vector<bool> reached(count, false);
    reached[0] = true;
    std::vector<uint32_t> storages{0};
    std::vector<uint32_t> todo;
    while (!storages.empty()) {
        uint32_t storage = storages.back();
        storages.pop_back();
        DirEntry& parent = m_entries[storage];
        todo.clear();
        if (child[storage] != kNoStream) todo.push_back(child[storage]);
        while (!todo.empty()) {
            uint32_t i = todo.back();
            todo.pop_back();
            if (i >= count || reached[i]) return STG_E_DOCFILECORRUPT;
            reached[i] = true;
            DirEntry& e = m_entries[i];
            if (e.type != kStream && e.type != kStorage) return STG_E_DOCFILECORRUPT;
            e.parent = storage;
            parent.children.push_back(i);
            if (e.type == kStorage) storages.push_back(i);
            if (left[i] != kNoStream) todo.push_back(left[i]);
            if (right[i] != kNoStream) todo.push_back(right[i]);
        }
        std::sort(parent.children.begin(), parent.children.end(), [this](uint32_t a, uint32_t b) {
            return CompareNames(m_entries[a].name, m_entries[b].name) < 0;
        });
    }
    // Entries outside the tree are unreachable: treat them as free slots.
    for (size_t i = 1; i < count; ++i) {
        if (!reached[i]) m_entries[i] = DirEntry{};
    }
    if (m_writable) m_committedDir = std::move(raw);
    return S_OK;
}

// The whole file in one pass: every chain is followed once up to its element's size, with one
// bit per sector (and mini sector) for the owner it already has, so that a loop or a sector
// that two owners share shows at once. True when the file is sound throughout; the chains are
// then known good and are not checked again when they are loaded. A damaged file is left to
// checkOwnership, which finds out which elements the damage is in.
bool CompoundFile::checkChains()
{
    std::vector<uint64_t> owned((m_fat.size() + 63) / 64, 0);
    std::vector<uint64_t> miniOwned((m_miniFat.size() + 63) / 64, 0);
    // Takes units [first, end) for one owner; false when one of them has an owner already.
    auto take = [](std::vector<uint64_t>& bits, uint64_t first, uint64_t end) {
        for (uint64_t i = first; i < end;) {
            const uint64_t within = i % 64;
            const uint64_t n = std::min<uint64_t>(64 - within, end - i);
            const uint64_t mask = (n == 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1) << within;
            uint64_t& word = bits[i / 64];
            if (word & mask) return false;
            word |= mask;
            i += n;
        }
        return true;
    };
    for (const auto* list : {&m_fatSectors, &m_difatSectors, &m_dirSectors, &m_miniFatSectors}) {
        for (uint32_t s : *list) {
            if (!take(owned, s, uint64_t{s} + 1)) return false;
        }
    }
    // The root first: the mini streams live in its chain.
    uint64_t miniCapacity = 0;
    for (uint32_t i = 0; i < m_entries.size(); ++i) {
        const DirEntry& e = m_entries[i];
        if (e.type != kStream && e.type != kRoot) continue;
        if (e.size > maxStreamSize()) return false;
        const bool mini = isMini(e);
        const std::vector<uint32_t>& table = mini ? m_miniFat : m_fat;
        std::vector<uint64_t>& bits = mini ? miniOwned : owned;
        const uint64_t want = unitsFor(e.size, mini ? kMiniSectorSize : sectorSize());
        const uint64_t limit = mini ? std::min<uint64_t>(table.size(), miniCapacity) : table.size();
        uint32_t cur = e.start;
        for (uint64_t k = 0; k < want;) {
            if (cur >= limit) return false;
            // A run of consecutive units, each linked to the next, is taken in one go.
            const uint64_t stop = std::min(limit, cur + (want - k));
            uint64_t end = uint64_t{cur} + 1;
            while (end < stop && table[end - 1] == end) ++end;
            if (!take(bits, cur, end)) return false;
            k += end - cur;
            const uint32_t next = table[end - 1];
            if (next != kEndOfChain && next > kMaxRegSect) return false;
            if (k < want && next == kEndOfChain) return false;
            cur = next;
        }
        if (i == 0) miniCapacity = want * (sectorSize() / kMiniSectorSize);
    }
    m_chainsChecked = true;
    return true;
}

// Every chain of the file is followed once and every sector may have one owner only: a write
// through one owner would change the other, and a read would show another element's data. The
// tables themselves must be sound, or nothing opens. A file opened for writing must be sound
// throughout; in a file opened for reading, an element whose chain is damaged (a loop, a sector
// past the end, a sector another owner uses) is marked so and fails to open, and every other
// element stays readable.
HRESULT CompoundFile::checkOwnership(bool strict)
{
    constexpr uint32_t kNobody = 0, kTables = UINT32_MAX;
    std::vector<uint32_t> owner(m_fat.size(), kNobody);
    for (const auto* list : {&m_fatSectors, &m_difatSectors, &m_dirSectors, &m_miniFatSectors}) {
        for (uint32_t s : *list) {
            if (owner[s] != kNobody) return STG_E_DOCFILECORRUPT;
            owner[s] = kTables;
        }
    }
    auto damage = [this](uint32_t i) {
        DirEntry& e = m_entries[i];
        e.damaged = true;
        e.chain.clear();
        e.chain.shrink_to_fit();
        e.chainLoaded = false;
    };
    // The root first: the mini streams live in its chain.
    std::vector<uint32_t> miniOwner(m_miniFat.size(), kNobody);
    for (uint32_t i = 0; i < m_entries.size(); ++i) {
        const DirEntry& e = m_entries[i];
        if (e.type != kStream && e.type != kRoot) continue;
        if (FAILED(ensureChain(i))) {
            if (strict) return STG_E_DOCFILECORRUPT;
            damage(i);
            continue;
        }
        const bool mini = isMini(e);
        std::vector<uint32_t>& owners = mini ? miniOwner : owner;
        for (uint32_t s : e.chain) {
            const uint32_t other = owners[s];
            if (other == kNobody) {
                owners[s] = i + 1;
                continue;
            }
            if (strict) return STG_E_DOCFILECORRUPT;
            if (other != kTables) damage(other - 1);
            damage(i);
            break;
        }
    }
    if (m_entries[0].damaged) {
        // No mini stream can be read without its container.
        for (uint32_t i = 1; i < m_entries.size(); ++i) {
            if (isMini(m_entries[i]) && !m_entries[i].chain.empty()) damage(i);
        }
    }
    return S_OK;
}

void CompoundFile::resetAllocationState()
{
    // The committed tables' own sectors are the committed content's even where the table that
    // the file holds does not say so.
    for (const auto* list : {&m_fatSectors, &m_difatSectors, &m_dirSectors, &m_miniFatSectors}) {
        for (uint32_t s : *list) {
            if (m_fat[s] == kFreeSect) m_fat[s] = kFatSect;
        }
    }
    m_freeSectors.clear();
    m_freedPinned.clear();
    for (const uint32_t* fat = m_fat.data(), *end = fat + m_fat.size(), *at = fat; (at = std::find(at, end, kFreeSect)) != end; ++at) {
        const uint32_t sector = static_cast<uint32_t>(at - fat);
        if (!pinned(sector)) m_freeSectors.push_back(sector);
    }
    // Highest first, so that allocation takes the lowest free sector.
    std::reverse(m_freeSectors.begin(), m_freeSectors.end());
    m_freeMini.clear();
    for (size_t i = m_miniFat.size(); i-- > 0;) {
        if (m_miniFat[i] == kFreeSect) m_freeMini.push_back(static_cast<uint32_t>(i));
    }
}

HRESULT CompoundFile::ensureChain(uint32_t index)
{
    DirEntry& e = m_entries[index];
    if (e.chainLoaded) return S_OK;
    if (e.damaged) return STG_E_DOCFILECORRUPT;
    if (e.type != kStream && e.type != kRoot) {
        e.chainLoaded = true;
        return S_OK;
    }
    if (e.size > maxStreamSize()) return STG_E_DOCFILECORRUPT;
    const bool mini = isMini(e);
    const uint64_t want = unitsFor(e.size, mini ? kMiniSectorSize : sectorSize());
    if (FAILED(buildChain(mini ? m_miniFat : m_fat, e.start, want, e.chain, m_seen, m_chainsChecked))) {
        e.chain.clear();
        return STG_E_DOCFILECORRUPT;
    }
    if (mini && !e.chain.empty()) {
        HRESULT hr = ensureChain(0);
        if (FAILED(hr)) return hr;
        DirEntry& root = m_entries[0];
        const uint64_t capacity = uint64_t(root.chain.size()) * (sectorSize() / kMiniSectorSize);
        for (uint32_t m : e.chain) {
            if (m >= capacity) {
                e.chain.clear();
                return STG_E_DOCFILECORRUPT;
            }
        }
    }
    e.chainLoaded = true;
    return S_OK;
}

// ---- allocation ----------------------------------------------------------------------------

HRESULT CompoundFile::allocSector(uint32_t& sector)
{
    if (!m_freeSectors.empty()) {
        sector = m_freeSectors.back();
        m_freeSectors.pop_back();
    } else {
        if (m_fat.size() >= kMaxRegSect) return STG_E_MEDIUMFULL;
        sector = static_cast<uint32_t>(m_fat.size());
        m_fat.push_back(kFreeSect);
    }
    setFat(sector, kEndOfChain);
    return S_OK;
}

void CompoundFile::freeSector(uint32_t sector)
{
    setFat(sector, kFreeSect);
    // A sector of the committed content stays untouched until the next commit.
    if (!pinned(sector)) m_freeSectors.push_back(sector);
    else m_freedPinned.push_back(sector);
}

// Every change of the allocation table goes through here: the first change of one of the
// committed table's sectors keeps what it held, for the commit to compare and for pinned().
void CompoundFile::setFat(uint32_t sector, uint32_t value)
{
    const size_t perSector = sectorSize() / 4;
    const size_t k = sector / perSector;
    if (k < m_committedFat.size() && !m_committedFat[k]) {
        auto was = std::make_unique<uint32_t[]>(perSector);
        const size_t first = k * perSector;
        for (size_t j = 0; j < perSector; ++j) was[j] = first + j < m_fat.size() ? m_fat[first + j] : kFreeSect;
        m_committedFat[k] = std::move(was);
    }
    m_fat[sector] = value;
}

void CompoundFile::setLink(bool mini, uint32_t unit, uint32_t next)
{
    if (mini) m_miniFat[unit] = next;
    else setFat(unit, next);
}

bool CompoundFile::pinned(uint32_t sector) const
{
    const size_t perSector = sectorSize() / 4;
    const size_t k = sector / perSector;
    if (k >= m_committedFat.size()) return false;
    const uint32_t* was = m_committedFat[k].get();
    const uint32_t entry = was ? was[sector % perSector] : sector < m_fat.size() ? m_fat[sector] : kFreeSect;
    return entry != kFreeSect;
}

// After a commit: the sectors of the old content that the new one gave up are free. Sectors
// past the file's new end are dropped.
void CompoundFile::settleAllocationState()
{
    const size_t n = m_fat.size();
    for (uint32_t s : m_freedPinned) {
        if (s < n && m_fat[s] == kFreeSect && !pinned(s)) m_freeSectors.push_back(s);
    }
    m_freedPinned.clear();
    m_freeSectors.erase(std::remove_if(m_freeSectors.begin(), m_freeSectors.end(), [n](uint32_t s) { return s >= n; }),
                        m_freeSectors.end());
    // Highest first, so that allocation takes the lowest free sector.
    std::sort(m_freeSectors.begin(), m_freeSectors.end(), std::greater<uint32_t>());
}

HRESULT CompoundFile::allocMini(uint32_t& mini)
{
    if (!m_freeMini.empty()) {
        mini = m_freeMini.back();
        m_freeMini.pop_back();
    } else {
        if (m_miniFat.size() >= kMaxRegSect) return STG_E_MEDIUMFULL;
        mini = static_cast<uint32_t>(m_miniFat.size());
        m_miniFat.push_back(kFreeSect);
    }
    const uint64_t need = (uint64_t(mini) + 1) * kMiniSectorSize;
    if (m_entries[0].size < need) {
        HRESULT hr = setSizeNoFill(0, need);
        if (FAILED(hr)) {
            m_freeMini.push_back(mini);
            return hr;
        }
    }
    m_miniFat[mini] = kEndOfChain;
    return S_OK;
}

void CompoundFile::freeMini(uint32_t mini)
{
    // Mini sectors may be taken again at once: their container is copied on write.
    m_miniFat[mini] = kFreeSect;
    m_freeMini.push_back(mini);
}

HRESULT CompoundFile::resizeChain(uint32_t index, uint64_t units, bool mini)
{
    DirEntry& e = m_entries[index];
    while (e.chain.size() > units) {
        uint32_t s = e.chain.back();
        e.chain.pop_back();
        if (mini) freeMini(s);
        else freeSector(s);
    }
    if (e.chain.empty()) e.start = kEndOfChain;
    else setLink(mini, e.chain.back(), kEndOfChain);
    while (e.chain.size() < units) {
        uint32_t s = 0;
        HRESULT hr = mini ? allocMini(s) : allocSector(s);
        if (FAILED(hr)) return hr;
        if (e.chain.empty()) e.start = s;
        else setLink(mini, e.chain.back(), s);
        e.chain.push_back(s);
    }
    return S_OK;
}

HRESULT CompoundFile::setSizeNoFill(uint32_t index, uint64_t size)
{
    HRESULT hr = ensureChain(index);
    if (FAILED(hr)) return hr;
    if (size > maxStreamSize()) return STG_E_MEDIUMFULL;
    const bool wasMini = isMini(m_entries[index]);
    const bool willMini = m_entries[index].type == kStream && size < kMiniStreamCutoff;
    const uint64_t unit = willMini ? kMiniSectorSize : sectorSize();
    m_dirty = true;
    if (wasMini == willMini) {
        hr = resizeChain(index, unitsFor(size, unit), willMini);
        if (FAILED(hr)) return fail(hr);
        m_entries[index].size = size;
        return S_OK;
    }
    // Across the cut-off the data moves between the mini stream and whole sectors.
    std::vector<uint8_t> keep(static_cast<size_t>(std::min(m_entries[index].size, size)));
    if (!keep.empty()) {
        hr = wasMini ? readMini(index, 0, keep.data(), keep.size()) : readRegular(index, 0, keep.data(), keep.size());
        if (FAILED(hr)) return fail(hr);
    }
    hr = resizeChain(index, 0, wasMini);
    if (FAILED(hr)) return fail(hr);
    m_entries[index].size = size;
    hr = resizeChain(index, unitsFor(size, unit), willMini);
    if (FAILED(hr)) return fail(hr);
    if (!keep.empty()) {
        hr = willMini ? writeMini(index, 0, keep.data(), keep.size()) : writeRegular(index, 0, keep.data(), keep.size());
        if (FAILED(hr)) return fail(hr);
    }
    return S_OK;
}

// ---- data ----------------------------------------------------------------------------------

HRESULT CompoundFile::readRegular(uint32_t index, uint64_t offset, uint8_t* buffer, size_t count)
{
    return forEachRun(m_entries[index].chain, sectorSize(), offset, count, [&](uint32_t sector, size_t within, size_t take) {
        HRESULT hr = readAt(sectorOffset(sector) + within, buffer, take);
        buffer += take;
        return hr;
    });
}

HRESULT CompoundFile::readMini(uint32_t index, uint64_t offset, uint8_t* buffer, size_t count)
{
    HRESULT hr = ensureChain(0);
    if (FAILED(hr)) return hr;
    return forEachRun(m_entries[index].chain, kMiniSectorSize, offset, count, [&](uint32_t mini, size_t within, size_t take) {
        HRESULT r = readRegular(0, uint64_t(mini) * kMiniSectorSize + within, buffer, take);
        buffer += take;
        return r;
    });
}

// Moves one sector of a chain to a fresh sector, so that the committed content keeps the old.
HRESULT CompoundFile::copyOnWrite(uint32_t index, size_t position, bool keepData)
{
    const uint32_t old = m_entries[index].chain[position];
    uint32_t fresh = 0;
    HRESULT hr = allocSector(fresh);
    if (FAILED(hr)) return hr;
    if (keepData) {
        std::vector<uint8_t> data(sectorSize());
        hr = readAt(sectorOffset(old), data.data(), data.size());
        if (SUCCEEDED(hr)) hr = writeAt(sectorOffset(fresh), data.data(), data.size());
        if (FAILED(hr)) return hr;
    }
    DirEntry& e = m_entries[index];
    setFat(fresh, m_fat[old]);
    if (position == 0) e.start = fresh;
    else setFat(e.chain[position - 1], fresh);
    freeSector(old);  // pinned: not taken again before the commit
    e.chain[position] = fresh;
    return S_OK;
}

HRESULT CompoundFile::writeRegular(uint32_t index, uint64_t offset, const uint8_t* buffer, size_t count)
{
    if (count == 0) return S_OK;
    const uint32_t ss = sectorSize();
    const size_t first = static_cast<size_t>(offset >> m_shift);
    const size_t last = static_cast<size_t>((offset + count - 1) >> m_shift);
    if (last >= m_entries[index].chain.size()) return STG_E_DOCFILECORRUPT;
    for (size_t i = first; i <= last; ++i) {
        if (!pinned(m_entries[index].chain[i])) continue;
        const bool partial = (i == first && (offset & (ss - 1)) != 0) ||
                             (i == last && ((offset + count) & (ss - 1)) != 0);
        HRESULT hr = copyOnWrite(index, i, partial);
        if (FAILED(hr)) return hr;
    }
    return forEachRun(m_entries[index].chain, ss, offset, count, [&](uint32_t sector, size_t within, size_t take) {
        HRESULT hr = writeAt(sectorOffset(sector) + within, buffer, take);
        buffer += take;
        return hr;
    });
}

HRESULT CompoundFile::writeMini(uint32_t index, uint64_t offset, const uint8_t* buffer, size_t count)
{
    HRESULT hr = ensureChain(0);
    if (FAILED(hr)) return hr;
    // The container's sectors may move (copy on write); this element's chain does not.
    return forEachRun(m_entries[index].chain, kMiniSectorSize, offset, count, [&](uint32_t mini, size_t within, size_t take) {
        HRESULT r = writeRegular(0, uint64_t(mini) * kMiniSectorSize + within, buffer, take);
        buffer += take;
        return r;
    });
}

HRESULT CompoundFile::Read(uint32_t index, uint64_t offset, void* buffer, size_t count, size_t& done)
{
    done = 0;
    DirEntry& e = m_entries[index];
    if (offset >= e.size || count == 0) return S_OK;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, e.size - offset));
    HRESULT hr = ensureChain(index);
    if (FAILED(hr)) return hr;
    auto* p = static_cast<uint8_t*>(buffer);
    hr = isMini(m_entries[index]) ? readMini(index, offset, p, n) : readRegular(index, offset, p, n);
    if (FAILED(hr)) return hr;
    done = n;
    return S_OK;
}

HRESULT CompoundFile::Write(uint32_t index, uint64_t offset, const void* buffer, size_t count)
{
    if (!m_writable) return STG_E_ACCESSDENIED;
    if (m_broken) return STG_E_WRITEFAULT;
    if (count == 0) return S_OK;
    if (offset > maxStreamSize() || count > maxStreamSize() - offset) return STG_E_MEDIUMFULL;
    const uint64_t oldSize = m_entries[index].size;
    const uint64_t end = offset + count;
    HRESULT hr = S_OK;
    if (end > oldSize) {
        hr = setSizeNoFill(index, end);
        if (FAILED(hr)) return hr;
        // A gap between the old end and the new data reads as zeros.
        static const uint8_t kZeros[4096] = {};
        for (uint64_t at = oldSize; at < offset;) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof kZeros, offset - at));
            hr = isMini(m_entries[index]) ? writeMini(index, at, kZeros, n) : writeRegular(index, at, kZeros, n);
            if (FAILED(hr)) return fail(hr);
            at += n;
        }
    }
    m_dirty = true;
    const auto* p = static_cast<const uint8_t*>(buffer);
    hr = isMini(m_entries[index]) ? writeMini(index, offset, p, count) : writeRegular(index, offset, p, count);
    return FAILED(hr) ? fail(hr) : S_OK;
}

HRESULT CompoundFile::SetSize(uint32_t index, uint64_t size)
{
    if (!m_writable) return STG_E_ACCESSDENIED;
    if (m_broken) return STG_E_WRITEFAULT;
    const uint64_t oldSize = m_entries[index].size;
    if (size == oldSize) return S_OK;
    if (size > oldSize) {
        // Growing is a write of zeros at the new end: the same path fills the gap.
        static const uint8_t kZero = 0;
        return Write(index, size - 1, &kZero, 1);
    }
    return setSizeNoFill(index, size);
}

// ---- elements ------------------------------------------------------------------------------

uint32_t CompoundFile::FindChild(uint32_t storage, const std::u16string& name) const
{
    const std::vector<uint32_t>& children = m_entries[storage].children;
    auto it = std::lower_bound(children.begin(), children.end(), name, [this](uint32_t i, const std::u16string& n) {
        return CompareNames(m_entries[i].name, n) < 0;
    });
    if (it != children.end() && CompareNames(m_entries[*it].name, name) == 0) return *it;
    return kNoStream;
}

HRESULT CompoundFile::AddChild(uint32_t storage, const std::u16string& name, uint8_t type, uint32_t& index)
{
    if (!m_writable) return STG_E_ACCESSDENIED;
    if (m_broken) return STG_E_WRITEFAULT;
    index = kNoStream;
    for (uint32_t i = 1; i < m_entries.size(); ++i) {
        if (m_entries[i].type == kUnused) {
            index = i;
            break;
        }
    }
    if (index == kNoStream) {
        if (m_entries.size() >= kMaxRegSect) return STG_E_MEDIUMFULL;
        index = static_cast<uint32_t>(m_entries.size());
        m_entries.emplace_back();
    }
    DirEntry& e = m_entries[index];
    const uint32_t generation = e.generation;
    e = DirEntry{};
    e.generation = generation;
    e.name = name;
    e.type = type;
    e.parent = storage;
    e.chainLoaded = true;
    std::vector<uint32_t>& children = m_entries[storage].children;
    auto it = std::lower_bound(children.begin(), children.end(), name, [this](uint32_t i, const std::u16string& n) {
        return CompareNames(m_entries[i].name, n) < 0;
    });
    children.insert(it, index);
    m_dirty = true;
    return S_OK;
}

void CompoundFile::destroyTree(uint32_t index)
{
    DirEntry& e = m_entries[index];
    std::vector<uint32_t> children = std::move(e.children);
    for (uint32_t c : children) destroyTree(c);
    DirEntry& self = m_entries[index];
    if ((self.type == kStream) && SUCCEEDED(ensureChain(index))) {
        // Giving sectors back never allocates, so it cannot fail.
        resizeChain(index, 0, isMini(self));
    }
    const uint32_t generation = self.generation + 1;
    self = DirEntry{};
    self.generation = generation;
}

HRESULT CompoundFile::Destroy(uint32_t index)
{
    if (!m_writable) return STG_E_ACCESSDENIED;
    if (m_broken) return STG_E_WRITEFAULT;
    if (index == 0 || index >= m_entries.size() || m_entries[index].type == kUnused) return STG_E_INVALIDPARAMETER;
    std::vector<uint32_t>& siblings = m_entries[m_entries[index].parent].children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), index), siblings.end());
    destroyTree(index);
    m_dirty = true;
    return S_OK;
}

// ---- commit --------------------------------------------------------------------------------

// A balanced tree over the sorted children. Coloured as a red-black tree: when the last level
// is not full, its nodes are red and all others black, so every path has the same black count.
uint32_t CompoundFile::buildTree(std::vector<uint32_t>& left, std::vector<uint32_t>& right,
                                 std::vector<uint8_t>& colour, const std::vector<uint32_t>& sorted,
                                 size_t lo, size_t hi, int depth, int redDepth)
{
    if (lo >= hi) return kNoStream;
    const size_t mid = lo + (hi - lo) / 2;
    const uint32_t node = sorted[mid];
    left[node] = buildTree(left, right, colour, sorted, lo, mid, depth + 1, redDepth);
    right[node] = buildTree(left, right, colour, sorted, mid + 1, hi, depth + 1, redDepth);
    colour[node] = depth == redDepth ? 0 : 1;
    return node;
}

std::vector<uint8_t> CompoundFile::serialiseDirectory(size_t& count)
{
    const size_t perSector = sectorSize() / kEntryBytes;
    size_t used = 1;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].type != kUnused) used = i + 1;
    }
    count = unitsFor(used, perSector) * perSector;
    std::vector<uint32_t> left(count, kNoStream), right(count, kNoStream), child(count, kNoStream);
    std::vector<uint8_t> colour(count, 1);
    for (size_t i = 0; i < used; ++i) {
        const DirEntry& e = m_entries[i];
        if ((e.type != kStorage && e.type != kRoot) || e.children.empty()) continue;
        const size_t n = e.children.size();
        const int levels = std::bit_width(n);
        const bool full = ((n + 1) & n) == 0;
        child[i] = buildTree(left, right, colour, e.children, 0, n, 0, full ? -1 : levels - 1);
    }
    std::vector<uint8_t> out(count * kEntryBytes, 0);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* p = out.data() + i * kEntryBytes;
        put32(p + 68, left[i]);
        put32(p + 72, right[i]);
        put32(p + 76, child[i]);
        if (i >= used || m_entries[i].type == kUnused) continue;
        const DirEntry& e = m_entries[i];
        const size_t units = std::min(e.name.size(), kMaxNameLength);
        for (size_t k = 0; k < units; ++k) put16(p + 2 * k, e.name[k]);
        put16(p + 64, static_cast<uint16_t>((units + 1) * 2));
        p[66] = e.type;
        p[67] = i == 0 ? 1 : colour[i];
        std::memcpy(p + 80, &e.clsid, sizeof e.clsid);
        put32(p + 96, e.stateBits);
        put64(p + 100, e.createdTime);
        put64(p + 108, e.modifiedTime);
        if (e.type == kStorage) {
            put32(p + 116, 0);
            put64(p + 120, 0);
        } else {
            put32(p + 116, e.size == 0 ? kEndOfChain : e.start);
            put64(p + 120, e.size);
        }
    }
    return out;
}

// One pass over the sectors of one of the file's own tables: the list grows to `count` (with
// free sectors, marked `mark` in the allocation table) or gives back its tail, and every sector
// of the committed content whose new bytes differ from the bytes it holds (unchanged(k) is
// false) moves to a free sector. A committed sector that is given up stays untouched until the
// header is written; one that is kept holds the new bytes already. touched receives the sectors
// whose entries in the allocation table changed.
HRESULT CompoundFile::placeTable(std::vector<uint32_t>& sectors, size_t count, uint32_t mark, const SectorTest& unchanged,
                                 std::vector<uint32_t>& touched, const std::vector<size_t>* only)
{
    while (sectors.size() > count) {
        freeSector(sectors.back());
        touched.push_back(sectors.back());
        sectors.pop_back();
    }
    const size_t checks = only ? only->size() : sectors.size();
    for (size_t c = 0; c < checks; ++c) {
        const size_t k = only ? (*only)[c] : c;
        // Only a committed sector is pinned, and only at its committed place in the list.
        if (k >= sectors.size() || !pinned(sectors[k]) || unchanged(k)) continue;
        freeSector(sectors[k]);
        touched.push_back(sectors[k]);
        HRESULT hr = allocSector(sectors[k]);
        if (FAILED(hr)) return hr;
        setFat(sectors[k], mark);
        touched.push_back(sectors[k]);
    }
    while (sectors.size() < count) {
        uint32_t s = 0;
        HRESULT hr = allocSector(s);
        if (FAILED(hr)) return hr;
        setFat(s, mark);
        sectors.push_back(s);
        touched.push_back(s);
    }
    return S_OK;
}

// Writes the sectors of a table that are not the committed file's (those that are hold these
// bytes already), one call per run of consecutive sectors.
HRESULT CompoundFile::writeNewSectors(const std::vector<uint32_t>& sectors, const uint8_t* data)
{
    const size_t ss = sectorSize();
    for (size_t i = 0; i < sectors.size();) {
        if (pinned(sectors[i])) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1 && !pinned(sectors[j])) ++j;
        HRESULT hr = writeAt(sectorOffset(sectors[i]), data + i * ss, (j - i) * ss);
        if (FAILED(hr)) return hr;
        i = j;
    }
    return S_OK;
}

HRESULT CompoundFile::Commit()
{
    if (!m_writable) return S_OK;
    if (m_broken) return STG_E_WRITEFAULT;
    if (!m_dirty) return S_OK;
    const uint32_t ss = sectorSize();
    const size_t perSector = ss / 4;

    // The mini stream ends after its last used mini sector.
    size_t miniUsed = m_miniFat.size();
    while (miniUsed > 0 && m_miniFat[miniUsed - 1] == kFreeSect) --miniUsed;
    m_miniFat.resize(miniUsed);
    m_freeMini.erase(std::remove_if(m_freeMini.begin(), m_freeMini.end(), [miniUsed](uint32_t m) { return m >= miniUsed; }),
                     m_freeMini.end());
    HRESULT hr = setSizeNoFill(0, uint64_t(miniUsed) * kMiniSectorSize);
    if (FAILED(hr)) return fail(hr);

    // Only the sectors of the tables that change are written, each to a free sector: the
    // committed file stays whole until the header says otherwise.
    size_t entryCount = 0;
    std::vector<uint8_t> directory = serialiseDirectory(entryCount);
    std::vector<uint8_t> miniFatBytes(unitsFor(miniUsed * 4, ss) * ss, 0xFF);
    if (miniUsed > 0) std::memcpy(miniFatBytes.data(), m_miniFat.data(), miniUsed * 4);
    // Sector k of a table is unchanged when its new bytes are those the committed file holds there.
    auto sameAs = [ss](const std::vector<uint8_t>& committed, const uint8_t* now) {
        return [&committed, now, ss](size_t k) {
            return (k + 1) * ss <= committed.size() && std::memcmp(now + k * ss, committed.data() + k * ss, ss) == 0;
        };
    };
    // The chains of the directory and the mini allocation table run through the allocation table.
    auto link = [this](const std::vector<uint32_t>& sectors) {
        for (size_t k = 0; k < sectors.size(); ++k) setFat(sectors[k], k + 1 < sectors.size() ? sectors[k + 1] : kEndOfChain);
    };
    std::vector<uint32_t> dirSectors = m_dirSectors, miniFatSectors = m_miniFatSectors;
    std::vector<uint32_t> touched;
    hr = placeTable(dirSectors, directory.size() / ss, kEndOfChain, sameAs(m_committedDir, directory.data()), touched, nullptr);
    if (SUCCEEDED(hr))
        hr = placeTable(miniFatSectors, miniFatBytes.size() / ss, kEndOfChain, sameAs(m_committedMiniFat, miniFatBytes.data()),
                        touched, nullptr);
    if (FAILED(hr)) return fail(hr);
    link(dirSectors);
    link(miniFatSectors);

    // The allocation table and the DIFAT describe their own places: each placement may change
    // them again, until a pass moves nothing. Each committed sector moves once at most.
    std::vector<uint32_t> fatSectors = m_fatSectors, difatSectors = m_difatSectors;
    for (uint32_t f : fatSectors) setFat(f, kFatSect);
    for (uint32_t d : difatSectors) setFat(d, kDifSect);
    std::vector<uint8_t> difatBytes;
    auto makeDifat = [&] {
        difatBytes.assign(difatSectors.size() * ss, 0xFF);
        for (size_t k = 0; k < difatSectors.size(); ++k) {
            uint8_t* p = difatBytes.data() + k * ss;
            for (size_t j = 0; j + 1 < perSector; ++j) {
                const size_t f = kHeaderFatEntries + k * (perSector - 1) + j;
                if (f < fatSectors.size()) put32(p + 4 * j, fatSectors[f]);
            }
            put32(p + ss - 4, k + 1 < difatSectors.size() ? difatSectors[k + 1] : kEndOfChain);
        }
    };
    auto fatUnchanged = [this, perSector](size_t k) {
        if (k >= m_committedFat.size()) return false;
        const uint32_t* was = m_committedFat[k].get();
        if (!was) return true;  // never changed since the last commit
        const size_t first = k * perSector;
        const size_t n = first < m_fat.size() ? std::min(perSector, m_fat.size() - first) : 0;
        if (n > 0 && std::memcmp(m_fat.data() + first, was, n * 4) != 0) return false;
        // Entries past the table's end are free.
        return std::all_of(was + n, was + perSector, [](uint32_t v) { return v == kFreeSect; });
    };
    // The first pass looks at every sector of the table; later ones only at those whose entries
    // the last pass changed.
    std::vector<size_t> recheck;
    const std::vector<size_t>* only = nullptr;
    for (bool moved = true; moved;) {
        // The table covers its own sectors and those of the DIFAT.
        const size_t needFat = unitsFor(m_fat.size(), perSector);
        const size_t needDifat = needFat > kHeaderFatEntries ? unitsFor(needFat - kHeaderFatEntries, perSector - 1) : 0;
        const size_t fatCount = fatSectors.size(), difatCount = difatSectors.size();
        touched.clear();
        hr = placeTable(fatSectors, needFat, kFatSect, fatUnchanged, touched, only);
        if (SUCCEEDED(hr)) {
            makeDifat();
            hr = placeTable(difatSectors, needDifat, kDifSect, sameAs(m_committedDifat, difatBytes.data()), touched, nullptr);
        }
        if (FAILED(hr)) return fail(hr);
        moved = !touched.empty() || fatSectors.size() != fatCount || difatSectors.size() != difatCount;
        recheck.clear();
        for (uint32_t t : touched) recheck.push_back(t / perSector);
        std::sort(recheck.begin(), recheck.end());
        recheck.erase(std::unique(recheck.begin(), recheck.end()), recheck.end());
        only = &recheck;
    }
    makeDifat();

    // Nothing is allocated from here on: the table is written as it stands, its last sector
    // filled with free entries.
    const size_t tableEntries = m_fat.size();
    m_fat.resize(fatSectors.size() * perSector, kFreeSect);
    const auto* fatBytes = reinterpret_cast<const uint8_t*>(m_fat.data());

    hr = writeNewSectors(dirSectors, directory.data());
    if (SUCCEEDED(hr)) hr = writeNewSectors(miniFatSectors, miniFatBytes.data());
    if (SUCCEEDED(hr)) hr = writeNewSectors(fatSectors, fatBytes);
    if (SUCCEEDED(hr)) hr = writeNewSectors(difatSectors, difatBytes.data());
    if (FAILED(hr)) return fail(hr);

    // Sectors that an element owns but never wrote must still be in the file.
    size_t lastUsed = tableEntries;
    while (lastUsed > 0 && m_fat[lastUsed - 1] == kFreeSect) --lastUsed;
    const uint64_t length = sectorOffset(static_cast<uint32_t>(lastUsed));
    struct stat st;
    if (::fstat(m_fd, &st) != 0) return fail(STG_E_WRITEFAULT);
    if (static_cast<uint64_t>(st.st_size) < length && ::ftruncate(m_fd, static_cast<off_t>(length)) != 0)
        return fail(STG_E_MEDIUMFULL);
    if (::fdatasync(m_fd) != 0) return fail(STG_E_WRITEFAULT);

    uint8_t h[kHeaderBytes] = {};
    std::memcpy(h, kSignature, sizeof kSignature);
    std::memcpy(h + 8, &m_clsid, sizeof m_clsid);
    put16(h + 24, 0x3E);
    put16(h + 26, m_major);
    put16(h + 28, 0xFFFE);
    put16(h + 30, static_cast<uint16_t>(m_shift));
    put16(h + 32, 6);
    put32(h + 40, m_major == 4 ? static_cast<uint32_t>(dirSectors.size()) : 0);
    put32(h + 44, static_cast<uint32_t>(fatSectors.size()));
    put32(h + 48, dirSectors.front());
    put32(h + 56, kMiniStreamCutoff);
    put32(h + 60, miniFatSectors.empty() ? kEndOfChain : miniFatSectors.front());
    put32(h + 64, static_cast<uint32_t>(miniFatSectors.size()));
    put32(h + 68, difatSectors.empty() ? kEndOfChain : difatSectors.front());
    put32(h + 72, static_cast<uint32_t>(difatSectors.size()));
    for (size_t i = 0; i < kHeaderFatEntries; ++i)
        put32(h + 76 + 4 * i, i < fatSectors.size() ? fatSectors[i] : kFreeSect);
    // From here on either content may be the one in force: both fit in the longer length.
    m_committedLength = std::max(m_committedLength, length);
    hr = writeAt(0, h, sizeof h);
    if (FAILED(hr)) return fail(hr);
    if (::fdatasync(m_fd) != 0) return fail(STG_E_WRITEFAULT);

    // The new content is in force: what lies past its last sector is no longer used.
    if (static_cast<uint64_t>(st.st_size) > length) {
        if (::ftruncate(m_fd, static_cast<off_t>(length)) != 0) { /* only space is lost */ }
    }
    m_committedLength = length;
    m_committedFat.clear();
    m_committedFat.resize(fatSectors.size());
    m_fat.resize(lastUsed);
    m_fatSectors = std::move(fatSectors);
    m_difatSectors = std::move(difatSectors);
    m_dirSectors = std::move(dirSectors);
    m_miniFatSectors = std::move(miniFatSectors);
    m_committedDifat = std::move(difatBytes);
    m_committedDir = std::move(directory);
    m_committedMiniFat = std::move(miniFatBytes);
    settleAllocationState();
    m_dirty = false;
    return S_OK;
}

void CompoundFile::DropUncommitted()
{
    if (!m_writable) return;
    struct stat st;
    if (::fstat(m_fd, &st) == 0 && static_cast<uint64_t>(st.st_size) > m_committedLength) {
        if (::ftruncate(m_fd, static_cast<off_t>(m_committedLength)) != 0) { /* only space is lost */ }
    }
}

}  // namespace winport::cfb
