// CDiagnostics: the "Setup / Test" dialog's core. It shows the units' version texts, the
// communication port and the start-up options, and posts every choice to the main dialog as a
// settings command (WM_SETTINGS_COMMAND: the value in wParam, the sub-command in lParam); the
// main dialog does the work. The three MIDI buttons open their dialogs through the shell; the
// two that need MIDI show only while it runs (checked every second on timer 101).
//
// The view draws the state below and forwards the operator's input to the On... handlers.
// User-interface thread only.
#pragma once

#include <functional>
#include <vector>

#include "base/Shell.h"
#include "winport/CString.h"
#include "winport/MessageLoop.h"
#include "winport/WinTypes.h"

class CDiagnosticsView {
public:
    virtual ~CDiagnosticsView() = default;
    /// Something shown changed.
    virtual void Changed() = 0;
    /// The dialog ends with this result.
    virtual void EndDialog(int result) = 0;
};

class CDiagnostics {
public:
    // Control ids.
    static constexpr int kIdExit = 1;
    static constexpr int kIdCommPort = 1036;
    static constexpr int kIdVersionFirst = 1144;  // to 1159
    static constexpr int kIdTestFirst = 1160;     // to 1175
    static constexpr int kIdResetAll = 1176;
    static constexpr int kIdResetCurrent = 1177;
    static constexpr int kIdDebugFile = 1191;
    static constexpr int kIdIntegrate = 1208;
    static constexpr int kIdAutoLoad = 1209;
    static constexpr int kIdAutoRestore = 1210;
    static constexpr int kIdMidiRackSetup = 1319;
    static constexpr int kIdMidiPreSetup = 1347;
    static constexpr int kIdMidiPortSetup = 1348;
    static constexpr int kIdMiniOnTop = 1446;
    static constexpr UINT kMidiTimer = 101;
    static constexpr UINT kMidiTimerMs = 1000;

    struct PortItem {
        CString text;
        int port;  // -1: "Disabled"
    };

    /// owner: the main dialog's window, which receives the settings commands.
    CDiagnostics(HWND owner, Shell* shell);
    ~CDiagnostics();
    CDiagnostics(const CDiagnostics&) = delete;
    CDiagnostics& operator=(const CDiagnostics&) = delete;

    // Set before the dialog opens.
    void SetRackVersion(int rack, const CString& text);
    void SetCommPort(int port);
    void SetUseWithCantle(int on);
    void SetDebugFile(int on);
    void SetMiniAlwaysOnTop(int on);
    void SetAutoLoadRestore(int autoLoad, int autoRestore);
    /// All of the above, and how to ask whether MIDI runs and whether a port is present.
    void Preset(const SetupDialogPreset& preset);
    void SetMidiRunning(std::function<BOOL()> running) { m_midiRunning = std::move(running); }
    void SetPortProbe(std::function<BOOL(int port)> probe) { m_portProbe = std::move(probe); }
    void SetView(CDiagnosticsView* view) { m_pView = view; }

    /// Makes the dialog's window, fills the port list and starts timer 101. FALSE when the
    /// window could not be made.
    BOOL OnInitDialog();
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The operator's input.
    void OnTest(int rack);
    void OnResetAll();
    void OnResetCurrent();
    void OnDebugFile(BOOL checked);
    void OnPortSelected(int index);
    void OnIntegrate(BOOL checked);
    void OnAutoLoad(BOOL checked);
    void OnAutoRestore(BOOL checked);
    void OnMiniOnTop(BOOL checked);
    void OnMidiRackSetup();
    void OnMidiPreSetup();
    void OnMidiPortSetup();
    void OnExit();

    // What the view shows.
    const CString& GetVersion(int rack) const;
    const std::vector<PortItem>& GetPorts() const { return m_ports; }
    int GetSelectedPortIndex() const { return m_nSelectedPort; }
    int GetCommPort() const { return m_nCommPort; }
    BOOL GetCheck(int id) const;
    bool IsTestEnabled(int rack) const;
    bool AreMidiButtonsShown() const { return m_bMidiButtonsShown; }
    /// A MIDI dialog opened from here is open.
    bool IsMidiDialogOpen() const { return m_bMidiDialogOpen; }

    /// Forgets the process-wide copies of the options (as a new start of the program).
    static void ResetOptionCopies();

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    void PostSetting(int value, int command);
    void SetStartupOption(BOOL checked, bool autoLoad);
    void RefreshMidiButtons();
    void RunMidiDialog(MidiDialog which, bool refreshAfter);
    void Changed();

    HWND m_hOwner;
    Shell* m_pShell;
    CDiagnosticsView* m_pView = nullptr;
    HWND m_hWnd = nullptr;
    std::function<BOOL()> m_midiRunning;
    std::function<BOOL(int)> m_portProbe;

    CString m_strVersion[16];
    BOOL m_bDebugFile;
    BOOL m_bUseWithCantle;
    BOOL m_bAutoLoad;
    BOOL m_bAutoRestore;
    BOOL m_bMiniOnTop;
    int m_nCommPort = -1;
    std::vector<PortItem> m_ports;
    int m_nSelectedPort = 0;
    bool m_bTestEnabled[16];
    bool m_bMidiButtonsShown = false;
    bool m_bMidiDialogOpen = false;
};
