#include "quenby/KivClientKit.h"

#include <cstring>

#include "winport/ServerFrames.h"

// ---- the block builder ----

KivBlock::KivBlock(int command, int64_t size, HWND window)
{
    if (size < kKIVBareCommandSize || static_cast<uint64_t>(size) > MaxSize()) return;
    m_hBlock = KIVAllocCommandBlock(command, static_cast<int>(size), window);
    if (!m_hBlock) return;
    m_pBytes = static_cast<uint8_t*>(GlobalLock(m_hBlock));
    if (!m_pBytes) {
        GlobalFree(m_hBlock);
        m_hBlock = nullptr;
        return;
    }
    m_nSize = static_cast<size_t>(size);
}

KivBlock::~KivBlock()
{
    if (!m_hBlock) return;
    GlobalUnlock(m_hBlock);
    GlobalFree(m_hBlock);
}

size_t KivBlock::MaxSize() { return winport::frames::kMaxBlockBytes; }

bool KivBlock::Fits(size_t offset, size_t count)
{
    if (m_pBytes && offset <= m_nSize && count <= m_nSize - offset) return true;
    m_bRefused = true;
    return false;
}

bool KivBlock::PutBytes(size_t offset, const void* data, size_t count)
{
    if (!Fits(offset, count)) return false;
    if (count) std::memcpy(m_pBytes + offset, data, count);
    return true;
}

bool KivBlock::Put8(size_t offset, uint8_t value) { return PutBytes(offset, &value, sizeof value); }
bool KivBlock::Put16(size_t offset, uint16_t value) { return PutBytes(offset, &value, sizeof value); }
bool KivBlock::Put32(size_t offset, int32_t value) { return PutBytes(offset, &value, sizeof value); }

bool KivBlock::CutName(size_t offset, size_t width, const char* name, bool zeroRest)
{
    if (width == 0) m_bRefused = true;  // no room even for the zero
    if (width == 0 || !Fits(offset, width)) return false;
    size_t n = name ? strnlen(name, width - 1) : 0;
    if (n) std::memcpy(m_pBytes + offset, name, n);
    if (zeroRest) std::memset(m_pBytes + offset + n, 0, width - n);
    return true;
}

bool KivBlock::PlainName(size_t offset, size_t width, const char* name) { return CutName(offset, width, name, true); }

bool KivBlock::BoundedName(size_t offset, size_t n, const char* name)
{
    if (!Fits(offset, n)) return false;
    size_t len = name ? strnlen(name, n) : 0;
    if (len) std::memcpy(m_pBytes + offset, name, len);
    std::memset(m_pBytes + offset + len, 0, n - len);
    return true;
}

bool KivBlock::LengthName(size_t offset, size_t width, const char* name) { return CutName(offset, width, name, false); }

HGLOBAL KivBlock::Take()
{
    HGLOBAL block = m_hBlock;
    if (!block) return nullptr;
    GlobalUnlock(block);
    m_hBlock = nullptr;
    m_pBytes = nullptr;
    if (m_bRefused) {
        GlobalFree(block);
        return nullptr;
    }
    return block;
}

HGLOBAL KivNameBlock(int command, int64_t size, size_t offset, size_t width, const char* name, HWND window)
{
    KivBlock block(command, size, window);
    block.PlainName(offset, width, name);
    return block.Take();
}

// ---- the reply reader ----

KivReplyReader::KivReplyReader(const _CommsStructure* reply)
    : m_pBytes(reinterpret_cast<const uint8_t*>(reply)),
      m_nSize(reply && reply->nSize >= kKIVBareCommandSize ? static_cast<size_t>(reply->nSize) : 0)
{
    if (!reply) m_pBytes = nullptr;
}

bool KivReplyReader::GetBytes(size_t offset, void* out, size_t count) const
{
    if (!m_pBytes || !Has(offset, count)) return false;
    if (count) std::memcpy(out, m_pBytes + offset, count);
    return true;
}

uint8_t KivReplyReader::Get8(size_t offset, uint8_t fallback) const
{
    uint8_t v;
    return GetBytes(offset, &v, sizeof v) ? v : fallback;
}

uint16_t KivReplyReader::Get16(size_t offset, uint16_t fallback) const
{
    uint16_t v;
    return GetBytes(offset, &v, sizeof v) ? v : fallback;
}

int32_t KivReplyReader::Get32(size_t offset, int32_t fallback) const
{
    int32_t v;
    return GetBytes(offset, &v, sizeof v) ? v : fallback;
}

CString KivReplyReader::GetString(size_t offset, size_t width) const
{
    if (!m_pBytes || offset >= m_nSize) return CString();
    if (width > m_nSize - offset) width = m_nSize - offset;
    const char* text = reinterpret_cast<const char*>(m_pBytes + offset);
    return CString(text, static_cast<int>(strnlen(text, width)));
}

// ---- path numbering and labels ----

namespace {

// Paths are numbered kind by kind in this order.
const int kKindOrder[kKivPathKindCount] = {0, 7, 1, 2, 3, 8, 4, 5, 6, 9, 10, 11, 12, 13};

int countOf(const int* counts, int countSize, int kind)
{
    return counts && kind >= 0 && kind < countSize ? counts[kind] : 0;
}

}  // namespace

int KivKindOffset(const int* counts, int countSize, int kind)
{
    if (kind < 0 || kind >= kKivPathKindCount) return 0;
    int offset = 0;
    for (int k : kKindOrder) {
        if (k == kind) break;
        offset += countOf(counts, countSize, k);
    }
    return offset;
}

int KivKindOfPath(const int* counts, int countSize, int path)
{
    for (int kind = 0; kind < kKivPathKindCount; ++kind) {
        int offset = KivKindOffset(counts, countSize, kind);
        if (offset <= path && path < offset + countOf(counts, countSize, kind)) return kind;
    }
    return -1;
}

CString KivDefaultLabel(int kind, int number, const KivLabelFormats& below10, const KivLabelFormats& from10,
                        int mixMinusGroups, int consoleType)
{
    CString label;
    if (kind == 14) {
        label.Format("S %-2d", number);
        return label;
    }
    if (kind < 0 || kind >= kKivPathKindCount) return label;
    // The formats are at most 9 characters of a 10-byte field; one without an end is not used.
    const char* format = number >= 10 ? from10[kind] : below10[kind];
    if (!memchr(format, 0, sizeof below10[kind])) return label;
    int shown = number;
    switch (kind) {
    case 1:
        if (mixMinusGroups > 0 && number - 1 < mixMinusGroups) return "MM";
        if (consoleType == 4) shown = number - mixMinusGroups;
        break;
    case 2:
        if (number == 1) return "MAIN";
        break;
    case 5:
        return "TBK ";
    default:
        break;
    }
    label.Format(format, shown);
    return label;
}
