// The main dialog's construction, initialisation, message and timer tables, and its two ways
// of closing.
#include "app/MicDlg.h"


#include "app/InstanceChecker.h"
#include "app/MicApp.h"
#include "app/MicLineInterface.h"
#include "base/ProgramConstants.h"
#include "midi/MidiPortManager.h"
#include "winport/Clock.h"
#include "winport/Hooks.h"
#include "winport/Window.h"

namespace {
KivServerLink g_serverLink;
}  // namespace

CMicDlg::CMicDlg(CMicApp* app, Shell* shell)
    : m_pApp(app), m_pShell(shell), m_pServerLink(&g_serverLink), m_portAvailable(&CSerialPort::IsPortAvailable)
{
    ResetRing();
    SetServerMode(DecideServerMode());
}

CMicDlg::~CMicDlg()
{
    SetDebugTrace(FALSE);
    m_SerialPort.ClosePort();
    if (m_hWnd) DestroyWindow();
}

void CMicDlg::SetServerMode(ServerModeDecision decision)
{
    m_bUseWithCantle = decision.useWithCantle;
    m_bCantlePresent = decision.cantlePresent;
}

void CMicDlg::SetMidiPorts(std::unique_ptr<MidiPorts> ports) { m_pMidiPortManager = std::move(ports); }

BOOL CMicDlg::Create()
{
    HWND hwnd = winport::CreateMessageWindow(kWindowClass, [this](HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_CREATE) m_hWnd = h;
        return WindowProc(message, wParam, lParam);
    });
    if (!hwnd) return FALSE;
    m_hWnd = hwnd;
    return OnInitDialog();
}

INT_PTR CMicDlg::DoModal()
{
    if (!Create()) return -1;
    if (!m_bEnded) winport::MessageLoop::Current().Run();
    DestroyWindow();
    m_SerialPort.ClosePort();
    return m_nModalResult;
}

void CMicDlg::EndDialog(int result)
{
    m_nModalResult = result;
    if (m_bEnded) return;
    m_bEnded = true;
    m_pView->Closed();
    PostQuitMessage(result);
}

void CMicDlg::SetWindowText(const char* title)
{
    m_strTitle = title;
    m_pView->TitleChanged(title);
}

BOOL CMicDlg::OnInitDialog()
{
    // 1-3: the secondary windows closed; the tray icon with its first image.
    m_bMiniViewShown = FALSE;
    m_bMidiMonitorOpen = FALSE;
    m_pShell->TrayIcon(m_hWnd, kTrayTip, kTrayIdle);
    // 4: the server's close requests reach this window from now on.
    if (m_bUseWithCantle && !m_pClientMonitor && m_pServerLink) {
        m_pClientMonitor = m_pServerLink->CreateClientMonitor(m_hWnd, kClientName);
    }
    // 5: MIDI stopped until the operator starts it.
    if (!m_pMidiPortManager) m_pMidiPortManager = std::make_unique<CMidiPortManager>(*m_pShell, m_hWnd);
    m_pMidiPortManager->Reset();
    SetMidiRunning(FALSE);
    // 7: the link out of test mode, and the port.
    m_nTestMode = 0;
    OpenSerialPort();
    // 11: the pop-up options; the rack option box unticked.
    ReadPopupSettings();
    m_bRackOptionTicked = FALSE;
    // 12.
    timeBeginPeriod(1);
    // 13: no mic-line mappings, an empty ring, the link at rest, poll rack 0.
    for (auto& list : m_ChannelMaps) list.RemoveAll();
    ResetRing();
    if (m_Link.Peek().inProgress != kLinkFailed) m_Link.Reset();
    m_nLinkUnit = 0;
    // 14: a second copy of the program finds this window.
    if (m_pApp && m_pApp->GetInstanceChecker()) m_pApp->GetInstanceChecker()->TrackFirstInstanceWindow(m_hWnd);
    // 15.
    m_pView->RackChanged(m_RackSetup.GetCurrentRack());
    // 16.
    LoadStartupSetup(-1);
    // 17: no levels yet; the first poll starts the link, which steps itself from then on.
    for (auto& unit : m_fLevels) {
        for (float& level : unit) level = 0;
    }
    SendPoll(m_nLinkUnit);
    m_bUnitColour = FALSE;
    return TRUE;
}

void CMicDlg::SetMidiRunning(BOOL running)
{
    m_bMidiRunning = running;
    m_pShell->TrayIcon(m_hWnd, kTrayTip, running ? kTrayMidiIn : kTrayIdle);
}

void CMicDlg::OnCloseRequest()
{
    SaveSettings();
    SaveRestoreSnapshot();
    EndDialog(IDOK);
}

void CMicDlg::OnExit()
{
    if (m_nTestMode != 0 || m_bEnded) return;
    m_pShell->RunDialog(m_hWnd, ShellDialog::ConfirmClose, [this](int answer) {
        if (answer == IDOK && m_nTestMode == 0 && !m_bEnded) closeConfirmed();
    });
}

void CMicDlg::closeConfirmed()
{
    // MIDI first: when it refuses to stop, the dialog stays open with its link running.
    if (m_pMidiPortManager->IsRunning()) {
        if (!m_pMidiPortManager->StopMidiPorts()) return;
        SetMidiRunning(FALSE);
    }
    if (m_hWnd) {
        KillTimer(m_hWnd, 1);
        KillTimer(m_hWnd, 2);
        KillTimer(m_hWnd, 3);
    }
    SetDebugTrace(FALSE);
    SaveSettings();
    SaveRestoreSnapshot();
    EndDialog(IDOK);
    m_bMiniViewShown = FALSE;
}

void CMicDlg::OnTimer(UINT_PTR id)
{
    if (m_nTestMode == 1) {
        m_nLinkUnit = (m_nLinkUnit + 1) % pre::kUnits;
        SendTestVersionRequest(m_nLinkUnit);
        return;
    }
    if (m_Link.Peek().inProgress == kLinkFailed) {
        retrySerialPort();
        return;
    }
    switch (id) {
    case 1:
        ServiceSerialLink();
        ApplyHeldMidiControls();
        break;
    case 2:
        m_bReadoutsBlank = TRUE;
        if (m_hWnd) KillTimer(m_hWnd, 2);
        m_pView->RackChanged(m_RackSetup.GetCurrentRack());
        break;
    case 3:
        OnReadoutTimer();
        break;
    case 4:
        if (m_hWnd) KillTimer(m_hWnd, 4);
        m_bMicLineNumbering = FALSE;
        break;
    default:
        break;
    }
}

LRESULT CMicDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == InstanceCheckerWakeUpMessage()) {
        m_pView->RestoreAndRaise();
        return 0;
    }
    if (message >= 0xC000 && message == g_msgTaskIconNotify) {  // registered messages only
        OnTrayNotify(static_cast<UINT>(lParam));
        return 0;
    }
    if (message >= 0xC000 && message == g_msgButtonFromCantle) return ApplyMicLineData(wParam, lParam);
    switch (message) {
    case WM_CREATE:
        if (m_bUseWithCantle && !m_pMicLine && m_pServerLink) m_pMicLine = m_pServerLink->CreateMicLine(m_hWnd);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == kSysCommandAbout) {
            m_pShell->RunDialog(m_hWnd, ShellDialog::About, {});
            return 0;
        }
        return DefWindowProcA(m_hWnd, message, wParam, lParam);
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(m_hIcon);
    case WM_MOVE:
        m_ptWindow.x = static_cast<short>(LOWORD(lParam));
        m_ptWindow.y = static_cast<short>(HIWORD(lParam));
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_USER + 2:
    case WM_USER + 12:
    case WM_USER + 13:
        return 0;  // nothing sends these
    case WM_PRE_REPLY:
        return OnPreReply(wParam, lParam);
    case WM_SETTINGS_COMMAND:
        return OnSettingsCommand(wParam, lParam);
    case WM_CLOSE_REQUEST:
    case WM_CLOSE:  // another program's request to end: as the server's, without asking
        OnCloseRequest();
        return 0;
    case WM_MIDI_CONTROL:
        return OnMidiControlEvent(wParam, lParam);
    case WM_MIDI_IN_SHOWN:
    case WM_MIDI_OUT_SHOWN:
        OnMidiShown(message, wParam, lParam);
        return 0;
    case WM_MIDI_MONITOR_GONE:
        m_bMidiMonitorOpen = FALSE;
        return 0;
    case WM_SWEEP_DONE:
        RunSetupDialog();
        return 0;
    case WM_RESTORE_UNIT:
        LoadStartupSetup(static_cast<int>(wParam));
        return 0;
    case WM_MIDI_SYSTEM_LOST:
        OnMidiSystemLost();
        return 0;
    default:
        return DefWindowProcA(m_hWnd, message, wParam, lParam);
    }
}
