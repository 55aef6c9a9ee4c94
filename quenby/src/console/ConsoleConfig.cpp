#include "quenby/ConsoleConfig.h"

#include <climits>

#include "trevanny/ConsoleRegistryNames.h"
#include "winport/RegistryObject.h"

namespace quenby {

namespace {

const char kMainKey[] = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Main";
const char kMaxPathsModeValue[] = "Max Paths Mode";
const char kCardTypeKey[] = "Software\\VokSettings\\KIVSERVER\\CardType";
const char kMezzanineKey[] = "SOFTWARE\\VOKDWEN\\Hardware\\Mezzanine";

CString xspSlotName(int engine, int slot)
{
    CString name;
    if (engine == 0)
        name.Format("XSP %d", slot);
    else
        name.Format("Engine %d XSP %d", engine, slot);
    return name;
}

CString engineValueName(const char* format, int engine)
{
    CString name;
    name.Format(format, engine);
    return name;
}

int saturate(long long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v); }

// Reads the four per-engine values `format` (engine 0 to 3) of the card-type key of this machine.
void readPerEngine(const char* format, int out[CConsoleConfig::kMaxEngines])
{
    CLocalMachineRegistryObject registry(CString{});
    for (int e = 0; e < CConsoleConfig::kMaxEngines; ++e) {
        out[e] = 0;
        registry.GetInt(kCardTypeKey, engineValueName(format, e), out[e], 0);
    }
}

BOOL writePerEngine(const char* format, const int values[CConsoleConfig::kMaxEngines])
{
    CLocalMachineRegistryObject registry(CString{});
    BOOL all = TRUE;
    for (int e = 0; e < CConsoleConfig::kMaxEngines; ++e)
        if (!registry.SetInt(kCardTypeKey, engineValueName(format, e), values[e])) all = FALSE;
    return all;
}

}  // namespace

CConsoleConfig::CConsoleConfig() { ReadMaxPathsMode(); }

CConsoleConfig::~CConsoleConfig() = default;

void CConsoleConfig::ReadMaxPathsMode()
{
    if (CConsoleRegistryNames::GetConsoleType() == 3) {
        m_nMaxPathsMode = 2;
        return;
    }
    CLocalMachineRegistryObject registry(CString{});
    registry.GetInt(kMainKey, kMaxPathsModeValue, m_nMaxPathsMode, 0);
}

BOOL CConsoleConfig::WriteMaxPathsMode()
{
    const int mode = CConsoleRegistryNames::GetConsoleType() == 3 ? 1 : m_nMaxPathsMode;
    CLocalMachineRegistryObject registry(CString{});
    return registry.SetInt(kMainKey, kMaxPathsModeValue, mode);
}

int CConsoleConfig::GetMaxPaths() const
{
    switch (m_nMaxPathsMode) {
    case 0:
        return 256;
    case 1:
        return IsCardType1() ? 256 : 500;
    case 2:
        if (IsMultiEngineHardware()) return GetEngineCount() * 500;
        return IsCardType1() ? 256 : 500;
    default:
        return 256;
    }
}

int CConsoleConfig::GetChannelCapacity() const
{
    switch (CConsoleRegistryNames::GetConsoleType()) {
    case 0:
        return 128;
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
        switch (m_nMaxPathsMode) {
        case 0:
            return 192;
        case 1:
            return IsCardType1() ? 192 : 448;
        case 2:
            if (IsMultiEngineHardware()) return 1800;
            return IsCardType1() ? 192 : 448;
        default:
            return 192;
        }
    default:
        return 96;
    }
}

int CConsoleConfig::GetProcessCount() { return GetCtrlProcessCount(); }

int CConsoleConfig::GetExtendedProcessCount() { return GetRteProcessCount(); }

BOOL CConsoleConfig::SetHardwareEngineCount(int engines)
{
    CCurrentUserRegistryObject registry;
    return registry.SetInt(kCardTypeKey, "USP", engines);
}

int CConsoleConfig::GetCardType() const
{
    int type = 2;
    CCurrentUserRegistryObject registry;
    registry.GetInt(kCardTypeKey, "Type", type, 2);
    return type;
}

int CConsoleConfig::ReadXSPSlots(int counts[kMaxEngines][kXSPSlots])
{
    m_bXSPSlotsRead = TRUE;
    CCurrentUserRegistryObject registry;
    long long total = 0;
    for (int e = 0; e < kMaxEngines; ++e) {
        long long sum = 0;
        for (int s = 0; s < kXSPSlots; ++s) {
            counts[e][s] = 0;
            registry.GetInt(kMezzanineKey, xspSlotName(e, s), counts[e][s], 0);
            sum += counts[e][s];
        }
        m_nXSPCards[e] = saturate(sum);
        total += sum;
    }
    return saturate(total);
}

BOOL CConsoleConfig::WriteXSPSlots(const int counts[kMaxEngines][kXSPSlots])
{
    CCurrentUserRegistryObject registry;
    BOOL all = TRUE;
    for (int e = 0; e < kMaxEngines; ++e)
        for (int s = 0; s < kXSPSlots; ++s)
            if (!registry.SetInt(kMezzanineKey, xspSlotName(e, s), counts[e][s])) all = FALSE;
    return all;
}

void CConsoleConfig::ReadQMCounts() { readPerEngine("QMCount Engine %d", m_nQMCount); }

BOOL CConsoleConfig::WriteQMCounts(const int counts[kMaxEngines])
{
    for (int e = 0; e < kMaxEngines; ++e) m_nQMCount[e] = counts[e];
    return writePerEngine("QMCount Engine %d", m_nQMCount);
}

void CConsoleConfig::ReadXSPCounts() { readPerEngine("XSPCount Engine %d", m_nXSPCount); }

BOOL CConsoleConfig::WriteXSPCounts(const int counts[kMaxEngines])
{
    for (int e = 0; e < kMaxEngines; ++e) m_nXSPCount[e] = counts[e];
    return writePerEngine("XSPCount Engine %d", m_nXSPCount);
}

}  // namespace quenby
