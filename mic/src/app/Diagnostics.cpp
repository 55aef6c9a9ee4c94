#include "app/Diagnostics.h"

#include <cstdio>

#include "base/ConsoleInfo.h"
#include "base/MicMessages.h"
#include "winport/Hooks.h"
#include "winport/Paths.h"
#include "winport/Window.h"

namespace {

// The options as the last dialog of this run left them; a new dialog starts from them.
struct OptionCopies {
    BOOL debugFile = FALSE;
    BYTE integrate = 0;
    BYTE autoLoad = 0;
    BYTE autoRestore = 0;
    BYTE miniOnTop = 0;
};
OptionCopies g_copies;

constexpr const char* kWindowClass = "CDiagnostics";
constexpr const char* kK7Only = "This option is only available on K7 Series Consoles";
constexpr const char* kServerProgram = "c:\\cantle\\KIVServer.exe";
constexpr int kRacks = 16;
// Communication ports that the list offers, as the port scan of the main dialog tries them.
constexpr int kFirstPort = 1;
constexpr int kLastPort = 255;

BOOL LowByte(int on) { return (on & 0xFF) ? TRUE : FALSE; }

}  // namespace

void CDiagnostics::ResetOptionCopies() { g_copies = OptionCopies(); }

CDiagnostics::CDiagnostics(HWND owner, Shell* shell)
    : m_hOwner(owner),
      m_pShell(shell),
      m_bDebugFile(g_copies.debugFile),
      m_bUseWithCantle(FALSE),
      m_bAutoLoad(g_copies.autoLoad),
      m_bAutoRestore(g_copies.autoRestore),
      m_bMiniOnTop(g_copies.miniOnTop)
{
    for (bool& enabled : m_bTestEnabled) enabled = true;
}

CDiagnostics::~CDiagnostics()
{
    if (m_hWnd) DestroyWindow(m_hWnd);
}

void CDiagnostics::SetRackVersion(int rack, const CString& text)
{
    if (rack >= 0 && rack < kRacks) m_strVersion[rack] = text;
}

void CDiagnostics::SetCommPort(int port) { m_nCommPort = port; }

void CDiagnostics::SetUseWithCantle(int on)
{
    m_bUseWithCantle = LowByte(on);
    g_copies.integrate = static_cast<BYTE>(m_bUseWithCantle);
}

void CDiagnostics::SetDebugFile(int on) { m_bDebugFile = LowByte(on); }

void CDiagnostics::SetMiniAlwaysOnTop(int on) { m_bMiniOnTop = LowByte(on); }

void CDiagnostics::SetAutoLoadRestore(int autoLoad, int autoRestore)
{
    m_bAutoLoad = LowByte(autoLoad);
    m_bAutoRestore = LowByte(autoRestore);
    g_copies.autoLoad = static_cast<BYTE>(m_bAutoLoad);
    g_copies.autoRestore = static_cast<BYTE>(m_bAutoRestore);
}

void CDiagnostics::Preset(const SetupDialogPreset& preset)
{
    SetCommPort(preset.commPort);
    SetUseWithCantle(preset.useWithCantle);
    SetDebugFile(preset.debugFile);
    SetMiniAlwaysOnTop(preset.miniAlwaysOnTop);
    SetAutoLoadRestore(preset.autoLoad, preset.autoRestore);
    for (int r = 0; r < kRacks; ++r) SetRackVersion(r, preset.versions[r]);
    if (preset.midiRunning) SetMidiRunning(preset.midiRunning);
    if (preset.portAvailable) SetPortProbe(preset.portAvailable);
}

BOOL CDiagnostics::OnInitDialog()
{
    if (!m_hWnd) {
        m_hWnd = winport::CreateMessageWindow(kWindowClass, [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
            return WindowProc(message, wParam, lParam);
        }, {m_hOwner, false});
        if (!m_hWnd) return FALSE;
    }
    m_ports.clear();
    m_ports.push_back({"Disabled", -1});
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (!m_portProbe || !m_portProbe(port)) continue;
        char text[16];
        std::snprintf(text, sizeof(text), "COM%d", port);
        m_ports.push_back({text, port});
    }
    m_nSelectedPort = 0;
    for (size_t i = 0; i < m_ports.size(); ++i)
        if (m_ports[i].port == m_nCommPort) {
            m_nSelectedPort = static_cast<int>(i);
            break;
        }
    RefreshMidiButtons();
    CConsoleInfo info;  // the console settings, loaded once per run
    return TRUE;
}

LRESULT CDiagnostics::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == kMidiTimer) {
            KillTimer(m_hWnd, kMidiTimer);
            RefreshMidiButtons();
        }
        return 0;
    case WM_ENABLE_RACK_TEST:
        if (wParam < static_cast<WPARAM>(kRacks)) {
            m_bTestEnabled[wParam] = lParam == 0;
            Changed();
        }
        return 0;
    default: return DefWindowProcA(m_hWnd, message, wParam, lParam);
    }
}

void CDiagnostics::PostSetting(int value, int command)
{
    PostMessageA(m_hOwner, WM_SETTINGS_COMMAND, static_cast<WPARAM>(static_cast<INT_PTR>(value)),
                 static_cast<LPARAM>(command));
}

void CDiagnostics::Changed()
{
    if (m_pView) m_pView->Changed();
}

void CDiagnostics::RefreshMidiButtons()
{
    const bool running = m_midiRunning && m_midiRunning();
    if (running != m_bMidiButtonsShown) {
        m_bMidiButtonsShown = running;
        Changed();
    }
    if (m_hWnd) SetTimer(m_hWnd, kMidiTimer, kMidiTimerMs, nullptr);
}

void CDiagnostics::OnTest(int rack)
{
    if (rack < 0 || rack >= kRacks || !m_bTestEnabled[rack]) return;
    if (m_strVersion[rack].Left(15) == "Version Unknown") return;
    PostSetting(rack, kTestUnit);
}

void CDiagnostics::OnResetAll() { PostSetting(-1, kResetRacks); }

void CDiagnostics::OnResetCurrent() { PostSetting(0, kResetRacks); }

void CDiagnostics::OnDebugFile(BOOL checked)
{
    m_bDebugFile = checked ? TRUE : FALSE;
    g_copies.debugFile = m_bDebugFile;
    PostSetting(m_bDebugFile, kDebugFile);
}

void CDiagnostics::OnPortSelected(int index)
{
    if (index < 0 || index >= static_cast<int>(m_ports.size())) return;
    m_nSelectedPort = index;
    m_nCommPort = m_ports[static_cast<size_t>(index)].port;
    PostSetting(m_nCommPort, kCommPort);
}

void CDiagnostics::OnIntegrate(BOOL checked)
{
    CConsoleInfo info;
    if (!m_bUseWithCantle && !CConsoleInfo::IsK7Series()) {
        // Only a console of the K7 series works with the server.
        m_bUseWithCantle = FALSE;
        g_copies.integrate = 0;
        Changed();
        if (m_pShell) m_pShell->MessageBox(m_hWnd, kK7Only, "Remote Mic Control", MB_OK, {});
        return;
    }
    m_bUseWithCantle = checked ? TRUE : FALSE;
    if (m_bUseWithCantle && GetFileAttributesA(kServerProgram) == INVALID_FILE_ATTRIBUTES) m_bUseWithCantle = FALSE;
    g_copies.integrate = static_cast<BYTE>(m_bUseWithCantle);
    Changed();
    PostSetting(m_bUseWithCantle, kUseWithCantle);
}

// Auto load and auto restore: at most one of them is on.
void CDiagnostics::SetStartupOption(BOOL checked, bool autoLoad)
{
    BOOL& mine = autoLoad ? m_bAutoLoad : m_bAutoRestore;
    BOOL& other = autoLoad ? m_bAutoRestore : m_bAutoLoad;
    BYTE& myCopy = autoLoad ? g_copies.autoLoad : g_copies.autoRestore;
    BYTE& otherCopy = autoLoad ? g_copies.autoRestore : g_copies.autoLoad;
    mine = checked ? TRUE : FALSE;
    myCopy = static_cast<BYTE>(mine);
    if (mine) {
        other = FALSE;
        otherCopy = 0;
    }
    Changed();
    PostSetting(mine, autoLoad ? kAutoLoad : kAutoRestore);
}

void CDiagnostics::OnAutoLoad(BOOL checked) { SetStartupOption(checked, true); }

void CDiagnostics::OnAutoRestore(BOOL checked) { SetStartupOption(checked, false); }

void CDiagnostics::OnMiniOnTop(BOOL checked)
{
    m_bMiniOnTop = checked ? TRUE : FALSE;
    g_copies.miniOnTop = static_cast<BYTE>(m_bMiniOnTop);
    PostSetting(m_bMiniOnTop, kMiniAlwaysOnTop);
}

void CDiagnostics::RunMidiDialog(MidiDialog which, bool refreshAfter)
{
    if (m_bMidiDialogOpen) return;
    m_bMidiDialogOpen = true;
    auto done = [this, refreshAfter] {
        m_bMidiDialogOpen = false;
        if (refreshAfter) RefreshMidiButtons();
    };
    if (m_pShell)
        m_pShell->RunMidiDialog(m_hWnd, which, done);
    else
        done();
}

void CDiagnostics::OnMidiRackSetup() { RunMidiDialog(MidiDialog::RackSetup, false); }

void CDiagnostics::OnMidiPreSetup() { RunMidiDialog(MidiDialog::PreSetup, false); }

void CDiagnostics::OnMidiPortSetup() { RunMidiDialog(MidiDialog::PortSelection, true); }

void CDiagnostics::OnExit()
{
    if (m_hWnd) KillTimer(m_hWnd, kMidiTimer);
    if (m_pView) m_pView->EndDialog(IDOK);
}

const CString& CDiagnostics::GetVersion(int rack) const
{
    static const CString none;
    return (rack >= 0 && rack < kRacks) ? m_strVersion[rack] : none;
}

BOOL CDiagnostics::GetCheck(int id) const
{
    switch (id) {
    case kIdDebugFile: return m_bDebugFile;
    case kIdIntegrate: return m_bUseWithCantle;
    case kIdAutoLoad: return m_bAutoLoad;
    case kIdAutoRestore: return m_bAutoRestore;
    case kIdMiniOnTop: return m_bMiniOnTop;
    default: return FALSE;
    }
}

bool CDiagnostics::IsTestEnabled(int rack) const { return rack >= 0 && rack < kRacks && m_bTestEnabled[rack]; }
