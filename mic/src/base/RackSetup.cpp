#include "base/RackSetup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "winport/Paths.h"
#include "winport/ReplacementFile.h"

namespace {

// Offsets of the tables in a setup file.
constexpr size_t kMicLineOffset = 0;
constexpr size_t kStatusOffset = 256;
constexpr size_t kLineStatusOffset = 512;
constexpr size_t kModeOffset = 768;
constexpr size_t kOptionOffset = 1024;
constexpr size_t kLabelOffset = 1040;
constexpr size_t kFlagOffset = 1872;
constexpr size_t kPreMappingOffset = 1940;
constexpr size_t kChannelMappingOffset = 2012;
constexpr size_t kMidiSlotOffset = 2084;
constexpr size_t kFileValueOffset = 2276;

int32_t readInt(const BYTE* p)
{
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

void writeInt(BYTE* p, int32_t v)
{
    uint32_t u = static_cast<uint32_t>(v);
    p[0] = static_cast<BYTE>(u);
    p[1] = static_cast<BYTE>(u >> 8);
    p[2] = static_cast<BYTE>(u >> 16);
    p[3] = static_cast<BYTE>(u >> 24);
}

// Reads count int32 from image + offset into values.
void readInts(const BYTE* image, size_t offset, int* values, size_t count)
{
    for (size_t i = 0; i < count; ++i) values[i] = readInt(image + offset + 4 * i);
}

void writeInts(BYTE* image, size_t offset, const int* values, size_t count)
{
    for (size_t i = 0; i < count; ++i) writeInt(image + offset + 4 * i, values[i]);
}

int validMicLine(int micLine) { return (micLine >= 0 && micLine <= CRackSetup::kMaxMicLine) ? micLine : 0; }

// Reads the first limit bytes of a file and measures it; FALSE when it cannot be opened or
// read. The file is opened for reading only, so that a read-only file loads.
bool readFile(const char* path, std::vector<BYTE>& bytes, size_t limit, ULONGLONG& length)
{
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary)) return false;
    try {
        length = file.GetLength();
        bytes.resize(static_cast<size_t>(std::min<ULONGLONG>(length, limit)));
        UINT got = bytes.empty() ? 0 : file.Read(bytes.data(), static_cast<UINT>(bytes.size()));
        bytes.resize(got);
        return true;
    } catch (CException* e) {
        e->Delete();
        std::fprintf(stderr, "Read error\n");
        return false;
    }
}

}  // namespace

CRackSetup::CRackSetup()
{
    std::fill(&m_nMidiSlot[0][0], &m_nMidiSlot[0][0] + kRacks * kSlots, -1);
    std::memset(m_bRackResponding, 0, sizeof m_bRackResponding);
    std::memset(m_nChannelEntry, 0, sizeof m_nChannelEntry);
    std::memset(m_nChannelMode, 0, sizeof m_nChannelMode);
    std::fill(&m_nChannelStatus[0][0], &m_nChannelStatus[0][0] + kRacks * kChannels, 3);
    std::fill(&m_nLineStatus[0][0], &m_nLineStatus[0][0] + kRacks * kChannels, 3);
    std::memset(m_nMicLine, 0, sizeof m_nMicLine);
    std::memset(m_szLabel, 0, sizeof m_szLabel);
    std::memset(m_byChannelFlag, 0, sizeof m_byChannelFlag);
    m_nCurrentRack = 0;
    std::memset(m_byRackOption, 0, sizeof m_byRackOption);
    m_bPopupOnSel = 0;
    m_bPopupControls = 0;
    std::fill(&m_PreMapping[0][0], &m_PreMapping[0][0] + kMappings * 2, -1);
    std::fill(&m_ChannelMapping[0][0], &m_ChannelMapping[0][0] + kMappings * 2, -1);
    std::memset(m_nRackFileValue, 0, sizeof m_nRackFileValue);
}

CRackSetup::CRackSetup(const CRackSetup& other)
{
    std::memset(m_nRackFileValue, 0, sizeof m_nRackFileValue);
    copyFrom(other);
}

CRackSetup& CRackSetup::operator=(const CRackSetup& other)
{
    if (this != &other) copyFrom(other);
    return *this;
}

void CRackSetup::copyFrom(const CRackSetup& other)
{
    std::memcpy(m_nMidiSlot, other.m_nMidiSlot, sizeof m_nMidiSlot);
    std::memcpy(m_bRackResponding, other.m_bRackResponding, sizeof m_bRackResponding);
    std::memcpy(m_nChannelEntry, other.m_nChannelEntry, sizeof m_nChannelEntry);
    std::memcpy(m_nChannelMode, other.m_nChannelMode, sizeof m_nChannelMode);
    std::memcpy(m_nChannelStatus, other.m_nChannelStatus, sizeof m_nChannelStatus);
    std::memcpy(m_nLineStatus, other.m_nLineStatus, sizeof m_nLineStatus);
    std::memcpy(m_nMicLine, other.m_nMicLine, sizeof m_nMicLine);
    std::memcpy(m_szLabel, other.m_szLabel, sizeof m_szLabel);
    std::memcpy(m_byChannelFlag, other.m_byChannelFlag, sizeof m_byChannelFlag);
    m_nCurrentRack = other.m_nCurrentRack;
    std::memcpy(m_byRackOption, other.m_byRackOption, sizeof m_byRackOption);
    m_bPopupOnSel = other.m_bPopupOnSel;
    m_bPopupControls = other.m_bPopupControls;
    std::memcpy(m_PreMapping, other.m_PreMapping, sizeof m_PreMapping);
    std::memcpy(m_ChannelMapping, other.m_ChannelMapping, sizeof m_ChannelMapping);
}

void CRackSetup::SetRackFlag(int rack, BOOL responding)
{
    if (validRack(rack)) m_bRackResponding[rack] = responding ? 1 : 0;
}
BOOL CRackSetup::GetRackFlag(int rack) const { return validRack(rack) ? m_bRackResponding[rack] : FALSE; }

void CRackSetup::SetChannelStatus(int rack, int channel, int status)
{
    if (validChannel(rack, channel)) m_nChannelStatus[rack][channel] = status;
}
int CRackSetup::GetChannelStatus(int rack, int channel) const
{
    return validChannel(rack, channel) ? m_nChannelStatus[rack][channel] : 3;
}

void CRackSetup::SetLineStatus(int rack, int channel, int status)
{
    if (validChannel(rack, channel)) m_nLineStatus[rack][channel] = status;
}
int CRackSetup::GetLineStatus(int rack, int channel) const
{
    return validChannel(rack, channel) ? m_nLineStatus[rack][channel] : 3;
}

void CRackSetup::SetChannelMicLine(int rack, int channel, int micLine)
{
    if (validChannel(rack, channel)) m_nMicLine[rack][channel] = micLine;
}
int CRackSetup::GetChannelMicLine(int rack, int channel) const
{
    return validChannel(rack, channel) ? m_nMicLine[rack][channel] : 0;
}

void CRackSetup::SetChannelMode(int rack, int channel, int mode)
{
    if (validChannel(rack, channel)) m_nChannelMode[rack][channel] = mode;
}
int CRackSetup::GetChannelMode(int rack, int channel) const
{
    return validChannel(rack, channel) ? m_nChannelMode[rack][channel] : 0;
}

void CRackSetup::SetChannelEntry(int rack, int channel, int entry)
{
    if (validChannel(rack, channel)) m_nChannelEntry[rack][channel] = entry;
}
int CRackSetup::GetChannelEntry(int rack, int index) const
{
    // Only the rack's own four entries: indices 4 to 11 would belong to the racks after it.
    return validChannel(rack, index) ? m_nChannelEntry[rack][index] : 0;
}
BOOL CRackSetup::HasChannelEntries(int rack, int group) const
{
    for (int k = 0; k < 4; ++k) {
        if (GetChannelEntry(rack, 4 * group + k) > 0) return TRUE;
    }
    return FALSE;
}

void CRackSetup::SetLabel(int rack, int channel, const char* text)
{
    if (!validChannel(rack, channel)) return;
    char* label = m_szLabel[rack][channel];
    std::memset(label, 0, kLabelSize);
    if (text) std::strncpy(label, text, kLabelSize - 1);
}
const char* CRackSetup::GetLabel(int rack, int channel) const
{
    return validChannel(rack, channel) ? m_szLabel[rack][channel] : "";
}

void CRackSetup::SetChannelFlag(int rack, int channel, BYTE flag)
{
    if (validChannel(rack, channel)) m_byChannelFlag[rack][channel] = flag;
}
BYTE CRackSetup::GetChannelFlag(int rack, int channel) const
{
    return validChannel(rack, channel) ? m_byChannelFlag[rack][channel] : 0;
}

void CRackSetup::SetCurrentRack(int rack)
{
    if (validRack(rack)) m_nCurrentRack = rack;
}

void CRackSetup::SetRackOption(int rack, BOOL option)
{
    if (validRack(rack)) m_byRackOption[rack] = option ? 1 : 0;
}
BOOL CRackSetup::GetRackOption(int rack) const { return validRack(rack) ? m_byRackOption[rack] : FALSE; }

void CRackSetup::ResetRack(int rack)
{
    if (!validRack(rack)) return;
    for (int c = 0; c < kChannels; ++c) {
        m_nChannelStatus[rack][c] = 3;
        m_nLineStatus[rack][c] = 3;
        m_nMicLine[rack][c] = 0;
        m_nChannelMode[rack][c] = 0;
    }
    m_byRackOption[rack] = 0;
}

namespace {

// Stores (a, b) in slot index of a mapping table; a pair with both parts set first leaves every
// other slot, so that it stands in one slot at most.
void storeMapping(int table[][2], int index, int a, int b)
{
    if (index < 0 || index >= CRackSetup::kMappings) return;
    if (a != -1 && b != -1) {
        for (int i = 0; i < CRackSetup::kMappings; ++i) {
            if (table[i][0] == a && table[i][1] == b) table[i][0] = table[i][1] = -1;
        }
    }
    table[index][0] = a;
    table[index][1] = b;
}

int readMapping(const int table[][2], int index, int part)
{
    if (index < 0 || index >= CRackSetup::kMappings || part < 0 || part > 1) return -1;
    return table[index][part];
}

}  // namespace

void CRackSetup::SetPreMapping(int index, int port, int channel) { storeMapping(m_PreMapping, index, port, channel); }
int CRackSetup::GetPreMapping(int index, int part) const { return readMapping(m_PreMapping, index, part); }
void CRackSetup::SetChannelMapping(int index, int port, int channel)
{
    storeMapping(m_ChannelMapping, index, port, channel);
}
int CRackSetup::GetChannelMapping(int index, int part) const { return readMapping(m_ChannelMapping, index, part); }

BOOL CRackSetup::IsMappingSet(int index) const
{
    if (index < 0 || index >= kMappings) return FALSE;
    const int* in = m_PreMapping[index];
    const int* out = m_ChannelMapping[index];
    return (in[0] != -1 && in[1] != -1 && out[0] != -1 && out[1] != -1) ? TRUE : FALSE;
}

int CRackSetup::CountMappings() const
{
    int count = 0;
    for (int i = 0; i < kMappings; ++i) count += IsMappingSet(i) ? 1 : 0;
    return count;
}

void CRackSetup::ClearMappings()
{
    std::fill(&m_PreMapping[0][0], &m_PreMapping[0][0] + kMappings * 2, -1);
    std::fill(&m_ChannelMapping[0][0], &m_ChannelMapping[0][0] + kMappings * 2, -1);
}

void CRackSetup::ClearMidiSlot(int rack, int slot, int value)
{
    if (!validRack(rack) || slot < 0 || slot >= kSlots) return;
    for (auto& row : m_nMidiSlot) {
        for (int& v : row) {
            if (v == value) v = -1;
        }
    }
    m_nMidiSlot[rack][slot] = value;
}

int CRackSetup::GetMidiSlot(int rack, int slot) const
{
    return (validRack(rack) && slot >= 0 && slot < kSlots) ? m_nMidiSlot[rack][slot] : -1;
}

void CRackSetup::GetMidiSlotParts(int rack, int slot, int& unit, int& half) const
{
    int value = GetMidiSlot(rack, slot);
    if (value < 0) {
        unit = 0;
        half = -1;
        return;
    }
    unit = value / 2;
    half = value % 2;
}

int CRackSetup::GetRackFileValue(int rack) const { return validRack(rack) ? m_nRackFileValue[rack] : 0; }

void CRackSetup::sanitiseMappings()
{
    for (auto* table : {m_PreMapping, m_ChannelMapping}) {
        for (int i = 0; i < kMappings; ++i) {
            if (table[i][0] < -1 || table[i][0] > kMaxMidiPort) table[i][0] = -1;
            if (table[i][1] < -1 || table[i][1] > kMaxMidiChannel) table[i][1] = -1;
            if (table[i][0] == -1 || table[i][1] == -1) continue;
            // A pair that an earlier slot holds already is dropped.
            for (int j = 0; j < i; ++j) {
                if (table[j][0] == table[i][0] && table[j][1] == table[i][1]) {
                    table[i][0] = table[i][1] = -1;
                    break;
                }
            }
        }
    }
}

void CRackSetup::sanitiseSlots()
{
    int* slots = &m_nMidiSlot[0][0];
    for (int i = 0; i < kRacks * kSlots; ++i) {
        if (slots[i] < -1 || slots[i] > kMaxSlotValue) slots[i] = -1;
        if (slots[i] == -1) continue;
        for (int j = 0; j < i; ++j) {
            if (slots[j] == slots[i]) {
                slots[i] = -1;
                break;
            }
        }
    }
}

namespace {

// The version of a file of the given length whose first `available` bytes are at image.
int versionOf(const BYTE* image, size_t available, ULONGLONG length)
{
    if (length == static_cast<ULONGLONG>(CRackSetup::kTablesSize)) return 0;
    // Too short for the version word: unreadable.
    if (available < static_cast<size_t>(CRackSetup::kSavedSize)) return -1;
    return readInt(image + CRackSetup::kVersionOffset);
}

}  // namespace

int CRackSetup::ImageVersion(const BYTE* image, size_t size) { return versionOf(image, size, size); }

int CRackSetup::GetSetupFileVersion(const char* path)
{
    std::vector<BYTE> bytes;
    ULONGLONG length = 0;
    if (!readFile(path, bytes, kSavedSize, length)) return -1;
    return versionOf(bytes.data(), bytes.size(), length);
}

BOOL CRackSetup::LoadImage(int version, const BYTE* image, size_t size, int rack)
{
    if (version < 0 || !image || size < static_cast<size_t>(kTablesSize)) return FALSE;
    if (rack != -1 && !validRack(rack)) return FALSE;

    auto loadRack = [&](int r) {
        readInts(image, kMicLineOffset + 16 * r, m_nMicLine[r], kChannels);
        readInts(image, kStatusOffset + 16 * r, m_nChannelStatus[r], kChannels);
        readInts(image, kLineStatusOffset + 16 * r, m_nLineStatus[r], kChannels);
        readInts(image, kModeOffset + 16 * r, m_nChannelMode[r], kChannels);
        m_byRackOption[r] = image[kOptionOffset + r];
        std::memcpy(m_szLabel[r], image + kLabelOffset + 52 * r, 52);
        std::memcpy(m_byChannelFlag[r], image + kFlagOffset + 4 * r, 4);
        for (int c = 0; c < kChannels; ++c) {
            m_nMicLine[r][c] = validMicLine(m_nMicLine[r][c]);
            m_szLabel[r][c][kLabelSize - 1] = 0;
        }
    };

    if (rack != -1) {
        loadRack(rack);
        m_nRackFileValue[rack] = 0;
        return TRUE;
    }
    for (int r = 0; r < kRacks; ++r) loadRack(r);
    if (version == 0) {
        std::fill(&m_nMidiSlot[0][0], &m_nMidiSlot[0][0] + kRacks * kSlots, -1);
        ClearMappings();
        std::memset(m_nRackFileValue, 0, sizeof m_nRackFileValue);
        return TRUE;
    }
    // The extension: each table only when the file holds all of it.
    if (size >= kPreMappingOffset + sizeof m_PreMapping) {
        readInts(image, kPreMappingOffset, &m_PreMapping[0][0], kMappings * 2);
    }
    if (size >= kChannelMappingOffset + sizeof m_ChannelMapping) {
        readInts(image, kChannelMappingOffset, &m_ChannelMapping[0][0], kMappings * 2);
    }
    if (size >= kMidiSlotOffset + sizeof m_nMidiSlot) {
        readInts(image, kMidiSlotOffset, &m_nMidiSlot[0][0], kRacks * kSlots);
    }
    if (size >= kFileValueOffset + sizeof m_nRackFileValue) {
        readInts(image, kFileValueOffset, m_nRackFileValue, kRacks);
    }
    sanitiseMappings();
    sanitiseSlots();
    return TRUE;
}

BOOL CRackSetup::LoadSetupFile(int version, const char* path, int rack)
{
    std::vector<BYTE> bytes;
    ULONGLONG length = 0;
    if (!readFile(path, bytes, kExtendedSize, length)) return FALSE;
    return LoadImage(version, bytes.data(), bytes.size(), rack);
}

void CRackSetup::WriteImage(BYTE* image) const
{
    writeInts(image, kMicLineOffset, &m_nMicLine[0][0], kRacks * kChannels);
    writeInts(image, kStatusOffset, &m_nChannelStatus[0][0], kRacks * kChannels);
    writeInts(image, kLineStatusOffset, &m_nLineStatus[0][0], kRacks * kChannels);
    writeInts(image, kModeOffset, &m_nChannelMode[0][0], kRacks * kChannels);
    std::memcpy(image + kOptionOffset, m_byRackOption, kRacks);
    std::memcpy(image + kLabelOffset, m_szLabel, sizeof m_szLabel);
    std::memcpy(image + kFlagOffset, m_byChannelFlag, sizeof m_byChannelFlag);
    writeInt(image + kVersionOffset, kFileVersion);
}

BOOL CRackSetup::HasMidiExtension() const
{
    for (int i = 0; i < kMappings; ++i) {
        for (int part = 0; part < 2; ++part) {
            if (m_PreMapping[i][part] != -1 || m_ChannelMapping[i][part] != -1) return TRUE;
        }
    }
    for (int rack = 0; rack < kRacks; ++rack) {
        if (m_nRackFileValue[rack] != 0) return TRUE;
        for (int slot = 0; slot < kSlots; ++slot) {
            if (m_nMidiSlot[rack][slot] != -1) return TRUE;
        }
    }
    return FALSE;
}

void CRackSetup::WriteExtension(BYTE* image) const
{
    writeInts(image, kPreMappingOffset, &m_PreMapping[0][0], kMappings * 2);
    writeInts(image, kChannelMappingOffset, &m_ChannelMapping[0][0], kMappings * 2);
    writeInts(image, kMidiSlotOffset, &m_nMidiSlot[0][0], kRacks * kSlots);
    writeInts(image, kFileValueOffset, &m_nRackFileValue[0], kRacks);
}

BOOL CRackSetup::SaveSetupFile(const char* path) const
{
    if (!path || !*path) return FALSE;
    // The MIDI assignment (pairs, slots) and the file values are kept whenever one is set; a
    // setup without them is the plain 1940-byte file.
    BYTE image[kExtendedSize];
    WriteImage(image);
    const bool extended = HasMidiExtension() != FALSE;
    if (extended) WriteExtension(image);
    const UINT size = extended ? kExtendedSize : kSavedSize;
    // A file that may not be written is left alone, as an in-place write would be refused.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return FALSE;
    std::string host = winport::HostPath(path);
    winport::EnsureParentDir(host);
    return winport::ReplaceFileWith(host, image, size) ? TRUE : FALSE;
}
