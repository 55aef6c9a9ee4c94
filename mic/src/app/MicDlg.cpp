#include "app/MicDlg.h"

#include "app/InstanceChecker.h"
#include "app/MicApp.h"
#include "link/SerialPort.h"
#include "winport/Window.h"

/// The server's close request.
constexpr UINT WM_CLOSE_REQUEST = WM_APP + 1;

CMicDlg::CMicDlg(CMicApp* app, Shell* shell) : m_pApp(app), m_pShell(shell)
{
    ResetRing();
    // Server mode stays off until the server link exists in this program.
    m_bUseWithCantle = 0;
    m_bCantlePresent = 0;
}

CMicDlg::~CMicDlg()
{
    SetDebugTrace(FALSE);
    if (m_hWnd) DestroyWindow(m_hWnd);
}

BOOL CMicDlg::Create()
{
    m_hWnd = winport::CreateMessageWindow(kWindowClass, [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
        return WindowProc(message, wParam, lParam);
    });
    if (!m_hWnd) return FALSE;
    return OnInitDialog();
}

INT_PTR CMicDlg::DoModal()
{
    if (!Create()) return -1;
    if (!m_bEnded) winport::MessageLoop::Current().Run();
    DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    return m_nModalResult;
}

void CMicDlg::EndDialog(int result)
{
    m_nModalResult = result;
    if (m_bEnded) return;
    m_bEnded = true;
    PostQuitMessage(result);
}

void CMicDlg::SetWindowText(const char* title)
{
    m_strTitle = title;
    m_pView->TitleChanged(title);
}

BOOL CMicDlg::OnInitDialog()
{
    m_nTestMode = 0;
    ReadSettings();
    ReadPopupSettings();
    timeBeginPeriod(1);
    for (auto& list : m_ChannelMaps) list.RemoveAll();
    ResetRing();
    if (m_pApp && m_pApp->GetInstanceChecker()) m_pApp->GetInstanceChecker()->TrackFirstInstanceWindow(m_hWnd);
    m_pView->RackChanged(m_RackSetup.GetCurrentRack());
    LoadStartupSetup(-1);
    // The first poll starts the link; from then on it steps itself.
    m_nLinkUnit = 0;
    SendPoll(m_nLinkUnit);
    return TRUE;
}

void CMicDlg::OnCloseRequest()
{
    SaveSettings();
    SaveRestoreSnapshot();
    EndDialog(IDOK);
}

LRESULT CMicDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == InstanceCheckerWakeUpMessage()) {
        m_pView->RestoreAndRaise();
        return 0;
    }
    switch (message) {
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_PRE_REPLY:
        return OnPreReply(wParam, lParam);
    case WM_APP + 40:  // the version sweep is done
        m_pView->SetupDialogRequested();
        return 0;
    case WM_APP + 41:  // a returning unit's settings, from a file that needs the operator
        LoadStartupSetup(static_cast<int>(wParam));
        return 0;
    case WM_CLOSE:
    case WM_CLOSE_REQUEST:
        OnCloseRequest();
        return 0;
    default:
        return DefWindowProcA(m_hWnd, message, wParam, lParam);
    }
}
