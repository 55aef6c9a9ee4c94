#include "quenby/IODefinitionsKIVObject.h"

#include <algorithm>
#include <cstring>

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"
#include "winport/Hooks.h"

namespace {
bool ValidType(int system, int rackType)
{
    return system >= 0 && system < CIODefinitionsKIVObject::kSystems && rackType >= 0 &&
           rackType < CIODefinitionsKIVObject::kRackTypes;
}
bool ValidSlot(int system, int rackType, int slot)
{
    return ValidType(system, rackType) && slot >= 0 && slot < CIODefinitionsKIVObject::kSlots;
}
}  // namespace

CIODefinitionsKIVObject::CIODefinitionsKIVObject(int enabled) : CGenericKIVObject(enabled) {}

void CIODefinitionsKIVObject::IODefAttach() { SendAttachBlock(KivBlock(AttachToIODefinitions, 16).Take(), /*readNow=*/1); }

void CIODefinitionsKIVObject::Save()
{
    KivBlock block(SaveIODefinitionsCommand, kSaveBlockSize);
    block.PutBytes(16, m_nInputs, sizeof(m_nInputs));
    block.PutBytes(336, m_nOutputs, sizeof(m_nOutputs));
    block.PutBytes(656, m_nConverters, sizeof(m_nConverters));
    block.PutBytes(720, m_nRackKinds, sizeof(m_nRackKinds));
    block.PutBytes(784, m_szRackNames, sizeof(m_szRackNames));
    for (int s = 0; s < kSystems; ++s) {
        for (int t = 0; t < kRackTypes; ++t) {
            // A rack type without a date sends no date: 0, 0, 0.
            const CTime& date = m_RackDates[s][t];
            const size_t at = 2832 + 12 * static_cast<size_t>(s * kRackTypes + t);
            if (date.GetTime() == 0) continue;
            block.Put32(at, date.GetYear());
            block.Put32(at + 4, date.GetMonth());
            block.Put32(at + 8, date.GetDay());
        }
    }
    block.PutBytes(3648, m_nIOSTypeEnables, kEnableCount);
    block.PutBytes(3696, m_nChannel55Enables, kEnableCount);
    block.Put32(3744, m_nTQInputs);
    block.Put32(3748, m_nTQOutputs);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

int CIODefinitionsKIVObject::GetTypeOfRack(int system, int rack) const
{
    if (system < 0 || system >= kSystems || rack < 0 || rack >= kRacks) return -1;
    return m_nRackTypes[system][rack];
}

int CIODefinitionsKIVObject::GetInput(int system, int rackType, int slot) const
{
    return ValidSlot(system, rackType, slot) ? m_nInputs[system][rackType][slot] : 0;
}

int CIODefinitionsKIVObject::GetOutput(int system, int rackType, int slot) const
{
    return ValidSlot(system, rackType, slot) ? m_nOutputs[system][rackType][slot] : 0;
}

BYTE* CIODefinitionsKIVObject::GetInputs(int system, int rackType)
{
    return ValidType(system, rackType) ? m_nInputs[system][rackType] : nullptr;
}

BYTE* CIODefinitionsKIVObject::GetOutputs(int system, int rackType)
{
    return ValidType(system, rackType) ? m_nOutputs[system][rackType] : nullptr;
}

int CIODefinitionsKIVObject::GetSRC(int system, int rackType) const
{
    return ValidType(system, rackType) ? m_nConverters[system][rackType] : 0;
}

int CIODefinitionsKIVObject::GetRackType(int system, int rackType) const
{
    return ValidType(system, rackType) ? m_nRackKinds[system][rackType] : 0;
}

CString CIODefinitionsKIVObject::GetRackName(int system, int rackType) const
{
    return ValidType(system, rackType) ? CString(m_szRackNames[system][rackType]) : CString();
}

CTime CIODefinitionsKIVObject::GetRackDate(int system, int rackType) const
{
    return ValidType(system, rackType) ? m_RackDates[system][rackType] : CTime();
}

void CIODefinitionsKIVObject::SetIOSTypeEnables(const BYTE* enables)
{
    if (enables) std::memcpy(m_nIOSTypeEnables, enables, kEnableCount);
}

void CIODefinitionsKIVObject::SetChannel55Enables(const BYTE* enables)
{
    if (enables) std::memcpy(m_nChannel55Enables, enables, kEnableCount);
}

void CIODefinitionsKIVObject::SetInput(int system, int rackType, int slot, int n) { SetChannels(m_nInputs, system, rackType, slot, n); }

void CIODefinitionsKIVObject::SetOutput(int system, int rackType, int slot, int n) { SetChannels(m_nOutputs, system, rackType, slot, n); }

void CIODefinitionsKIVObject::SetChannels(BYTE (&table)[kSystems][kRackTypes][kSlots], int system, int rackType, int slot, int n)
{
    if (!ValidSlot(system, rackType, slot) || n < 0) return;
    BYTE& stored = table[system][rackType][slot];
    if (stored == n) return;
    const int step = (slot == 2 || slot == 3) ? 8 : 4;
    const int rounded = n - n % step;
    int total = 0;
    for (int s = 0; s < kSlots; ++s) total += std::max(m_nInputs[system][rackType][s], m_nOutputs[system][rackType][s]);
    total -= std::max(m_nInputs[system][rackType][slot], m_nOutputs[system][rackType][slot]);
    if (rounded > kMaxRackChannels - total) {  // (no sum that could overflow for a huge n)
        MessageBoxA(nullptr, "Too Many Inputs And Outputs !\n(Total Must Be Less Than 56) !", "IO Designer", MB_ICONSTOP);
        return;
    }
    stored = static_cast<BYTE>(rounded);
}

void CIODefinitionsKIVObject::SetSRC(int system, int rackType, int value)
{
    if (ValidType(system, rackType)) m_nConverters[system][rackType] = static_cast<BYTE>(std::clamp(value, 0, 14));
}

void CIODefinitionsKIVObject::SetRackType(int system, int rackType, int kind)
{
    if (!ValidType(system, rackType) || kind < 0 || kind > 255 || kind == m_nRackKinds[system][rackType]) return;
    m_nRackKinds[system][rackType] = static_cast<BYTE>(kind);
    std::memset(m_nInputs[system][rackType], 0, kSlots);
    std::memset(m_nOutputs[system][rackType], 0, kSlots);
    m_nConverters[system][rackType] = 0;
}

void CIODefinitionsKIVObject::SetRackName(int system, int rackType, const CString& name)
{
    if (!ValidType(system, rackType)) return;
    char* field = m_szRackNames[system][rackType];
    std::memset(field, 0, sizeof(m_szRackNames[0][0]));
    std::strncpy(field, name.c_str(), kRackNameLength);
}

void CIODefinitionsKIVObject::SetRackDate(int system, int rackType, CTime date)
{
    if (ValidType(system, rackType)) m_RackDates[system][rackType] = date;
}
