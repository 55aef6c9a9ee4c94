#include "quenby/GPIConfigKIVObject.h"

#include <cstring>

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"
#include "trevanny/SharedConstants.h"

namespace {
// Where a field (1 to 16) lies in the 30-byte path record, and its width. Bytes 1, 3 and 5 are
// not used.
struct FieldPlace {
    size_t offset;
    size_t width;
};
bool PlaceOf(int field, FieldPlace& place)
{
    static const FieldPlace kFirstSix[6] = {{0, 1}, {2, 2}, {4, 1}, {6, 2}, {8, 1}, {9, 1}};
    if (field < 1 || field > 16) return false;
    place = field <= 6 ? kFirstSix[field - 1] : FieldPlace{10 + 2 * static_cast<size_t>(field - 7), 2};
    return true;
}

// The name fields of the save and load blocks run to the next field their command writes.
constexpr size_t kNameOffset = 22;
constexpr size_t kSaveNameWidth = 424 - kNameOffset;
constexpr size_t kLoadNameWidth = 528 - kNameOffset;
}  // namespace

CGPIConfigKIVObject::CGPIConfigKIVObject(int enabled) : CGenericKIVObject(enabled) {}

void CGPIConfigKIVObject::GPIConfigAttach() { SendAttachBlock(KivBlock(AttachToGPIConfig, 16).Take(), /*readNow=*/1); }

void CGPIConfigKIVObject::SaveConfig(const CString& name, HWND window)
{
    const size_t paths = m_aPaths.size();
    KivBlock block(SaveGPIConfigCommand, kBlockSize + kPathRecordSize * static_cast<int64_t>(paths), window);
    block.PlainName(kNameOffset, kSaveNameWidth, name.c_str());
    // Both status tables as 16-bit values, little-endian as the block is.
    for (int i = 0; i < kRelayCount; ++i) block.Put16(424 + 2 * static_cast<size_t>(i), static_cast<uint16_t>(m_nRelayStatus[i]));
    for (int i = 0; i < kOptoCount; ++i) block.Put16(462 + 2 * static_cast<size_t>(i), static_cast<uint16_t>(m_nOptoStatus[i]));
    block.Put32(516, static_cast<int32_t>(paths));
    if (paths > 0) block.PutBytes(542, m_aPaths.data(), kPathRecordSize * paths);
    SendAttachBlock(block.Take(), /*readNow=*/0);
}

void CGPIConfigKIVObject::LoadConfig(const CString& name, int a, int b, int c, HWND window)
{
    KivBlock block(LoadGPIConfigCommand, kBlockSize, window);
    block.PlainName(kNameOffset, kLoadNameWidth, name.c_str());
    block.Put32(528, b);
    block.Put32(532, a);
    block.Put32(536, c);
    SendCommandBlock(block.Take());
}

short CGPIConfigKIVObject::GetPathValue(int path, int field) const
{
    FieldPlace place;
    if (path < 0 || path >= GetNumPaths() || !PlaceOf(field, place)) return 0;
    const BYTE* at = m_aPaths[static_cast<size_t>(path)].bytes + place.offset;
    return place.width == 1 ? static_cast<short>(at[0]) : static_cast<short>(at[0] | at[1] << 8);
}

short CGPIConfigKIVObject::GetStatusOpto(int i) const { return (i >= 0 && i < kOptoCount) ? m_nOptoStatus[i] : 0; }

short CGPIConfigKIVObject::GetStatusRelay(int i) const { return (i >= 0 && i < kRelayCount) ? m_nRelayStatus[i] : 0; }

void CGPIConfigKIVObject::SetPathValue(int path, int field, short value)
{
    FieldPlace place;
    if (path < 0 || path >= kConsolePaths || !PlaceOf(field, place)) return;
    if (static_cast<size_t>(path) >= m_aPaths.size()) m_aPaths.resize(static_cast<size_t>(path) + 1, PathRecord{});
    BYTE* at = m_aPaths[static_cast<size_t>(path)].bytes + place.offset;
    at[0] = static_cast<BYTE>(value & 0xFF);
    if (place.width == 2) at[1] = static_cast<BYTE>((value >> 8) & 0xFF);
}

void CGPIConfigKIVObject::SetStatusOpto(int i, short value)
{
    if (i >= 0 && i < kOptoCount) m_nOptoStatus[i] = value;
}

void CGPIConfigKIVObject::SetStatusRelay(int i, short value)
{
    if (i >= 0 && i < kRelayCount) m_nRelayStatus[i] = value;
}

void CGPIConfigKIVObject::ClearAll()
{
    for (PathRecord& record : m_aPaths) std::memset(record.bytes, 0, kPathRecordSize);
    std::memset(m_nRelayStatus, 0, sizeof(m_nRelayStatus));
    std::memset(m_nOptoStatus, 0, sizeof(m_nOptoStatus));
    m_strCurrent.Empty();
}
