// The main dialog's secondary windows (the set-up and test dialog after the version sweep, the
// mini view), the tray icon's clicks and menu, the pop-up options of server mode, and the end
// of the window.
#include "app/MicApp.h"
#include "app/MicDlg.h"
#include "base/ProgramConstants.h"
#include "winport/Profile.h"
#include "winport/Window.h"

namespace {

constexpr const char* kSetupText = "S&etup";
constexpr const char* kMiniViewText = "&Mini View";
constexpr const char* kWaitText = "Wait...";

}  // namespace

void CMicDlg::showBusy()
{
    m_bBusy = TRUE;
    m_eLinkPicture = LinkPicture::Busy;
    m_pView->LinkChanged();
}

// ---- Setup --------------------------------------------------------------------------------------

void CMicDlg::OnSetup()
{
    if (!IsRingEmpty() || m_bBusy || m_nTestMode == 1 || m_bSetupDialogOpen || m_bSweepPending ||
        !m_SetupButton.enabled) {
        return;
    }
    m_SetupButton = {kWaitText, false, true};
    m_pView->LinkChanged();
    if (m_Link.Peek().inProgress == kLinkFailed) {
        // No port: no unit can say its version, and the operator may want to choose a port.
        for (CString& version : m_strVersion) version = "Version Unknown";
        if (m_hWnd) PostMessageA(m_hWnd, WM_SWEEP_DONE, 0, 0);
        else RunSetupDialog();
        return;
    }
    // The sweep starts when the message in flight has been judged (ServiceSerialLink), so that
    // its reply is never taken for a version.
    m_bSweepPending = TRUE;
}

void CMicDlg::RunSetupDialog()
{
    if (m_bSetupDialogOpen) return;
    if (m_bMidiMonitorOpen) {
        m_pShell->CloseMidiMonitor();
        m_bMidiMonitorOpen = FALSE;
    }
    m_bSetupDialogOpen = TRUE;
    SetTestMode(1);
    SetupDialogPreset preset;
    preset.commPort = m_nCommPort;
    preset.setupButtonText = "Open";
    preset.useWithCantle = m_bUseWithCantle ? TRUE : FALSE;
    preset.debugFile = m_bDebugFile ? TRUE : FALSE;
    preset.miniAlwaysOnTop = m_bMiniAlwaysOnTop ? TRUE : FALSE;
    preset.autoLoad = m_bAutoLoad ? TRUE : FALSE;
    preset.autoRestore = m_bAutoRestore ? TRUE : FALSE;
    for (int u = 0; u < pre::kUnits; ++u) preset.versions[u] = m_strVersion[u];
    preset.midiRunning = [this]() -> BOOL { return m_pMidiPortManager && m_pMidiPortManager->IsRunning(); };
    preset.portAvailable = m_portAvailable;
    m_pShell->RunSetupDialog(m_hWnd, preset, [this] { setupDialogClosed(); });
}

void CMicDlg::setupDialogClosed()
{
    if (!m_bSetupDialogOpen) return;
    m_bSetupDialogOpen = FALSE;
    // Reset messages queued meanwhile go out now; the busy picture shows until they have.
    if (!IsRingEmpty()) showBusy();
    m_SetupButton = {kSetupText, true, false};
    SetTestMode(0);
    // The units may have changed while they were tested: read the rack on show back.
    int rack = m_RackSetup.GetCurrentRack();
    if (m_RackSetup.GetRackFlag(rack)) SendCommand14(rack);
    m_nLinkUnit = 0;
    m_nRetry = 0;
    m_pView->LinkChanged();
    m_pView->RackChanged(rack);
    // Controls that came meanwhile, after the read-back: its reply shows them over the unit's data.
    ApplyHeldMidiControls();
}

// ---- Mini view ----------------------------------------------------------------------------------

void CMicDlg::OnMiniView()
{
    if (!IsRingEmpty() || m_bBusy || m_bMiniViewShown || !m_MiniViewButton.enabled) return;
    m_MiniViewButton = {"Minimised", false, true};
    m_bMainWindowVisible = FALSE;
    m_pView->ShowWindow(false);
    m_bMiniViewShown = TRUE;
    m_bMiniViewVisible = TRUE;
    m_pShell->RunMiniView(m_hWnd, [this] { miniViewClosed(); });
}

void CMicDlg::miniViewClosed()
{
    if (!m_bMiniViewShown) return;
    if (!IsRingEmpty()) showBusy();
    m_bMiniViewShown = FALSE;
    m_bMiniViewVisible = FALSE;
    m_bMainWindowVisible = TRUE;
    m_pView->ShowWindow(true);
    m_MiniViewButton = {kMiniViewText, true, false};
    for (int u = 0; u < pre::kUnits; ++u) showRackButton(u);
    ShowRack(m_RackSetup.GetCurrentRack());
}

// ---- Tray ---------------------------------------------------------------------------------------

void CMicDlg::OnTrayNotify(UINT mouseMessage)
{
    switch (mouseMessage) {
    case WM_LBUTTONDBLCLK:
        if (m_bMiniViewShown) {
            m_bMiniViewVisible = !m_bMiniViewVisible;
            m_pShell->ShowMiniView(m_bMiniViewVisible != FALSE);
        } else {
            m_bMainWindowVisible = !m_bMainWindowVisible;
            m_pView->ShowWindow(m_bMainWindowVisible != FALSE);
        }
        return;
    case WM_LBUTTONUP:
        if (m_bMainWindowVisible) m_pView->BringToFront();
        return;
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
    case WM_CONTEXTMENU:
        ShowTrayMenu();
        return;
    default:
        return;
    }
}

std::vector<MenuItem> CMicDlg::TrayMenu() const
{
    std::vector<MenuItem> items;
    if (m_bMidiRunning) {
        items.push_back({kTrayStopMidi, "&Stop MIDI"});
        items.push_back({kTrayBroadcastSetup, "Broadcast Current Setup"});
    } else {
        items.push_back({kTrayStartMidi, "&Start MIDI"});
    }
    if (IsRingEmpty() && !m_bBusy && m_nTestMode != 1) items.push_back({kTrayShowMidiMessages, "Show MIDI Messages"});
    items.push_back({kTrayExit, "Exit"});
    return items;
}

void CMicDlg::ShowTrayMenu()
{
    m_pView->BringToFront();
    m_pShell->TrackPopupMenu(m_hWnd, TrayMenu(), MenuCorner::BottomRight, [this](UINT id) { OnTrayCommand(id); });
}

std::vector<MenuItem> CMicDlg::WindowMenu() const
{
    std::vector<MenuItem> items{{kSysCommandAbout, "&About mic..."}};
    if (m_pShell->TrayIconShown()) return items;
    // Without a notification area the tray's commands are reached here.
    items.push_back({0, ""});
    for (MenuItem& item : TrayMenu()) items.push_back(std::move(item));
    return items;
}

void CMicDlg::ShowWindowMenu()
{
    m_pShell->TrackPopupMenu(m_hWnd, WindowMenu(), MenuCorner::TopLeft, [this](UINT id) { OnWindowMenuCommand(id); });
}

void CMicDlg::OnWindowMenuCommand(UINT id)
{
    if (id == kSysCommandAbout) {
        // As the window menu's command of the platform: through the window's messages.
        if (m_hWnd) PostMessageA(m_hWnd, WM_SYSCOMMAND, kSysCommandAbout, 0);
        return;
    }
    OnTrayCommand(id);
}

void CMicDlg::OnTrayCommand(UINT id)
{
    switch (id) {
    case kTrayExit:
        OnExit();
        return;
    case kTrayStartMidi:
        if (m_pMidiPortManager->StartMidiPortsThread()) SetMidiRunning(!m_bMidiRunning);
        m_pView->RackChanged(m_RackSetup.GetCurrentRack());
        return;
    case kTrayStopMidi:
        if (m_pMidiPortManager->StopMidiPorts()) SetMidiRunning(!m_bMidiRunning);
        m_pView->RackChanged(m_RackSetup.GetCurrentRack());
        return;
    case kTrayShowMidiMessages:
        if (!m_bMidiMonitorOpen) m_MidiMonitor.Clear();
        m_bMidiMonitorOpen = TRUE;
        m_pShell->OpenMidiMonitor(m_hWnd);
        return;
    case kTrayBroadcastSetup:
        BroadcastSetup(TRUE);
        return;
    default:
        return;
    }
}

void CMicDlg::OnMidiSystemLost()
{
    if (!m_pMidiPortManager->IsRunning()) return;
    OnTrayCommand(kTrayStopMidi);
    if (!m_pMidiPortManager->IsRunning()) m_pShell->MessageBox(m_hWnd, kMidiSystemLost, kTitle, MB_OK | MB_ICONEXCLAMATION, {});
}

// ---- Pop-up options of server mode ------------------------------------------------------------

void CMicDlg::OnPopupOnSelClicked(BOOL ticked)
{
    if (!m_bUseWithCantle) return;
    m_RackSetup.SetPopupOnSel(ticked);
    winport::WriteProfileInt(kSettingsSection, "PopupOnSel", ticked ? 1 : 0);
    // A read-out held by a selection at the console goes with the option.
    if (!ticked) DropReadout();
    m_pView->RackChanged(m_RackSetup.GetCurrentRack());
}

void CMicDlg::OnPopupControlsClicked(BOOL ticked)
{
    if (!m_bUseWithCantle) return;
    m_RackSetup.SetPopupControls(ticked);
    winport::WriteProfileInt(kSettingsSection, "PopupControls", ticked ? 1 : 0);
    m_pView->RackChanged(m_RackSetup.GetCurrentRack());
}

// ---- The window's end ---------------------------------------------------------------------------

void CMicDlg::DestroyWindow()
{
    m_pMicLine.reset();
    m_pClientMonitor.reset();
    if (m_bMidiMonitorOpen) {
        m_pShell->CloseMidiMonitor();
        m_bMidiMonitorOpen = FALSE;
    }
    if (m_hWnd) ::DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
}
