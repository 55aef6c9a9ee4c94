// The set-up and test dialog's settings commands (WM_SETTINGS_COMMAND): a unit test, a version
// request, the reset of the selected rack or of all racks, the debug trace, the communication
// port, and the options "Use With Cantle", "Auto Load", "Auto Restore" and "Mini Always On Top".
#include "app/MicDlg.h"
#include "base/MicMessages.h"
#include "winport/Clock.h"
#include "winport/RegistryObject.h"

namespace {


// After a unit test the dialog waits so that the unit has played its test through.
constexpr DWORD kUnitTestPauseMs = 500;
// Every rack (sub-command 2).
constexpr INT_PTR kAllRacks = -1;
// Port numbers: -1 disabled, else COM1 to COM255.
constexpr INT_PTR kNoPort = -1;
constexpr INT_PTR kHighestPort = 255;

bool validUnit(INT_PTR unit) { return unit >= 0 && unit < pre::kUnits; }

}  // namespace

LRESULT CMicDlg::OnSettingsCommand(WPARAM wParam, LPARAM lParam)
{
    const INT_PTR value = static_cast<INT_PTR>(wParam);
    switch (lParam) {
    case kTestUnit:
        if (!validUnit(value)) break;
        TestRack(static_cast<int>(value));
        Sleep(kUnitTestPauseMs);
        break;
    case kVersionRequest:
        if (validUnit(value)) SendVersionRequest(static_cast<int>(value));
        break;
    case kResetRacks:
        resetRacks(value);
        break;
    case kDebugFile:
        m_bDebugFile = value != 0;
        SetDebugTrace(m_bDebugFile);
        if (m_bDebugFile && !m_pDebugFile) m_pShell->MessageBox(m_hWnd, "Debug File Error!!", kTitle, MB_OK, {});
        break;
    case kCommPort:
        if (value < kNoPort || value > kHighestPort) break;
        m_nCommPort = static_cast<int>(value);
        ReopenSerialPort();
        break;
    case kUseWithCantle: {
        // Read when the program starts.
        CCurrentUserRegistryObject registry;
        registry.SetBool(kServerModeKey, kServerModeValue, value == 1);
        break;
    }
    case kAutoLoad:
        m_bAutoLoad = value == 1;
        if (m_bAutoLoad) m_bAutoRestore = 0;
        break;
    case kAutoRestore:
        m_bAutoRestore = value == 1;
        if (m_bAutoRestore) m_bAutoLoad = 0;
        break;
    case kMiniAlwaysOnTop:
        m_bMiniAlwaysOnTop = value != 0;
        break;
    default:
        break;
    }
    return 0;
}

void CMicDlg::resetRacks(INT_PTR value)
{
    const int current = m_RackSetup.GetCurrentRack();
    if (value == kAllRacks) {
        for (auto& list : m_ChannelMaps) list.RemoveAll();
        for (int unit = 0; unit < pre::kUnits; ++unit) {
            m_RackSetup.ResetRack(unit);
            if (m_RackSetup.GetRackFlag(unit)) SendResetMessages(unit);
        }
    } else {
        for (int c = 0; c < CRackSetup::kChannels; ++c) {
            const int line = m_RackSetup.GetChannelMicLine(current, c);
            if (line > 0) RemoveMapping(line - 1, current, c);
        }
        m_RackSetup.ResetRack(current);
        if (m_RackSetup.GetRackFlag(current)) SendResetMessages(current);
    }
    ShowRack(current);
}
