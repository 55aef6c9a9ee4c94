#include "trevanny/ConsoleConfig.h"

#include <algorithm>

#include "trevanny/ConsoleRegistryNames.h"
#include "trevanny/SharedConstants.h"
#include "winport/RegistryObject.h"

namespace {
// Engines per path-capacity mode 0, 1 and 2.
constexpr int kEnginesPerMode[] = {1, 1, 4};
// The hardware marker's character at this index is 'T' on multi-engine hardware.
constexpr int kMarkerEngineIndex = 20;
}  // namespace

CConsoleConfig::CConsoleConfig() { Read(); }

CConsoleConfig::~CConsoleConfig() = default;

void CConsoleConfig::Read()
{
    CConsoleRegistryNames names;  // loads the console settings once per process
    if (CConsoleRegistryNames::GetConsoleType() == 3) {
        m_nMaxPathsMode = 2;
        return;
    }
    CLocalMachineRegistryObject registry(CString{});
    registry.GetInt("SOFTWARE\\Vok Dwen Cantle\\Main", "Max Paths Mode", m_nMaxPathsMode, 0);
}

int CConsoleConfig::GetMaxPathCount() const
{
    switch (m_nMaxPathsMode) {
    case 1: return 500;
    case 2: return kConsolePaths;
    default: return 256;
    }
}

int CConsoleConfig::ProcessSection(int process, int mode)
{
    if (process < 19) return 0;
    if (process < 35) return 1;
    return mode;
}

BOOL CConsoleConfig::IsMultiEngineMode(int mode)
{
    return mode >= 0 && mode < static_cast<int>(std::size(kEnginesPerMode)) && kEnginesPerMode[mode] > 1;
}

int CConsoleConfig::ReadHardwareEngineCount(int mode)
{
    CString marker;
    CLocalMachineRegistryObject machine(CString{});
    machine.GetString("SOFTWARE\\VOKDWEN\\KIVSERVER\\Configuration", "", marker, "value");
    if (marker.GetLength() <= kMarkerEngineIndex || marker[kMarkerEngineIndex] != 'T') return 0;
    if (!IsMultiEngineMode(mode)) return 0;
    int engines = 1;
    CCurrentUserRegistryObject user;
    user.GetInt("Software\\VokSettings\\KIVSERVER\\CardType", "USP", engines, 1);
    return engines;
}

int CConsoleConfig::EngineCount(int mode)
{
    if (!IsMultiEngineMode(mode)) return 1;
    // No marker, or a stored count of 0 or less: the console still has its one engine.
    return std::clamp(ReadHardwareEngineCount(mode), 1, kMaxEngines);
}
