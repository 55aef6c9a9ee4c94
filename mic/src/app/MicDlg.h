// CMicDlg: the main dialog's core, headless. It owns the rack setup record, the profile
// settings, the setup files, the transmit ring and the unit link, and runs every handler on
// the user-interface thread. What the operator sees is drawn by a view from this state; what
// the operator is asked goes through the Shell.
//
// The core is split by concept:
//   MicDlg.cpp                 construction, initialisation, the message and timer tables, closing
//   MicDlgView.h               what the view is told, and the picture of the window
//   MicDlgPort.cpp             opening and reopening the serial port
//   MicDlgSetup.cpp            setup files and profile settings
//   MicDlgLink.cpp             transmit ring, message builders and the link step
//   MicDlgCommands.cpp         the controls' commands
//   MicDlgSwitches.cpp         channel switches, rack buttons and what a channel shows
//   MicDlgGain.cpp             the gain boxes
//   MicDlgMidi.cpp             switches and gain out as control changes, controls in from MIDI
//   MicDlgSnapshot.cpp         what the window shows
//   MicDlgWindows.cpp          the secondary windows, the tray icon, server mode's pop-up options
//   MicDlgMicLines.cpp         server mode's mic lines and automatic numbering
//   MicDlgServerData.cpp       the server's mic-line data and the enlarged read-out
//   MicDlgSettingsCommand.cpp  the set-up and test dialog's settings commands
#pragma once

#include <deque>
#include <utility>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/DebugDlg.h"
#include "app/MicDlgView.h"
#include "app/ServerLink.h"
#include "app/TypedGain.h"
#include "base/MicMessages.h"
#include "base/MidiPorts.h"
#include "base/RackSetup.h"
#include "base/Shell.h"
#include "link/PreLink.h"
#include "link/PreProtocol.h"
#include "link/SerialPort.h"
#include "winport/Afx.h"

class CMicApp;

/// A (rack, channel) pair tied to a mic line of server mode.
struct ChannelMapping {
    int nRack;
    int nChannel;
};

class CMicDlg {
public:
    static constexpr int kRingEntries = 1024;
    static constexpr int kRingEntrySize = 40;
    /// Mic lines of server mode (and channel-map lists).
    static constexpr int kChannelMaps = 256;
    /// The window class of the main dialog.
    static constexpr const char* kWindowClass = "RemoteMicControl";
    static constexpr const char* kTitle = "Remote Mic Control";
    static constexpr const char* kSetupFilter = "Mic pre-amp files (*.mic)|*.mic|";
    static constexpr const char* kRestoreFileName = "\\RestoreSnapshotUlvo.mic";

    /// Timer 1's period while the port is lost and being opened again.
    static constexpr UINT kPortRetryMs = 1000;
    /// The program icon (icon resource 128).
    static constexpr int kIconId = 128;
    static constexpr const char* kTrayTip = "Midi Control";
    /// The client name under which the client monitor attaches.
    static constexpr const char* kClientName = "mic";

    /// Makes the server-mode decision. The shell answers the operator's questions.
    CMicDlg(CMicApp* app, Shell* shell);
    virtual ~CMicDlg();
    CMicDlg(const CMicDlg&) = delete;
    CMicDlg& operator=(const CMicDlg&) = delete;

    // Window and life cycle (MicDlg.cpp).
    /// Creates the window and initialises the dialog.
    BOOL Create();
    /// Create, then run the user-interface thread's loop until the dialog ends; the result of
    /// EndDialog.
    INT_PTR DoModal();
    void EndDialog(int result);
    BOOL OnInitDialog();
    /// The close request of the server: save and end, no question.
    void OnCloseRequest();
    /// "E&xit" (and Escape, the window's close box, the tray menu's "Exit"): asks the operator,
    /// stops MIDI, saves and ends. Nothing while the link is in test mode.
    void OnExit();
    /// A control's command (WM_COMMAND: control id, notification code).
    BOOL OnCommand(int id, int code);
    /// What the window shows now.
    MicDlgSnapshot Snapshot() const;
    /// What a channel strip shows of one channel (the main window's and the mini view's).
    ChannelSnapshot ChannelState(int rack, int channel) const;
    BOOL IsEnded() const { return m_bEnded ? TRUE : FALSE; }
    int GetModalResult() const { return m_nModalResult; }

    // Collaborators, given before Create (the defaults serve the program).
    /// The serial ports: how a port is opened, and which ports exist.
    void SetSerialPorts(CSerialPort::DeviceFactory factory, std::function<BOOL(int port)> available);
    /// MIDI control (default: MIDI that never runs).
    void SetMidiPorts(std::unique_ptr<MidiPorts> ports);
    MidiPorts& GetMidiPorts() { return *m_pMidiPortManager; }
    /// Where the server-mode objects come from (not owned; default: none can be made).
    void SetServerLink(ServerLink* link) { m_pServerLink = link; }
    /// Server mode as the constructor decided it; tests may set it before Create.
    void SetServerMode(ServerModeDecision decision);
    BOOL HasMicLine() const { return m_pMicLine != nullptr; }
    BOOL HasClientMonitor() const { return m_pClientMonitor != nullptr; }

    // Serial port (MicDlgPort.cpp).
    /// Reads the settings, opens "Communication Port" (1 to 4, else 1) or the first port of
    /// 1 to 255 that opens, and starts its monitor. On failure: port-error dialog (once per
    /// outage) and the link retries on timer 1.
    BOOL OpenSerialPort();
    /// Opens m_nCommPort again after the operator changed it.
    BOOL ReopenSerialPort();
    /// The port open now (0 when none).
    int OpenPortNumber() const;
    /// MIDI (MicDlgMidi.cpp): the four control changes of every channel as shown (or only of
    /// the racks whose unit answers).
    void BroadcastSetup(BOOL activeOnly);
    /// A right click on MIDI slot panel `slot` (0 to 2): while MIDI runs and the rack on show
    /// responds, the channel setup's slot menu; a choice sets that slot of that rack. FALSE
    /// (no menu) otherwise.
    BOOL OnSlotRButtonDown(int slot);
    /// One control change for a rack's channel, out of the port its first MIDI slot's output
    /// pair names; nothing for a rack without a slot or a pair without port or channel.
    void SendMidiControlChange(int rack, int channel, int code, int value);
    /// The MIDI value of a gain step: 7 below 0, 23 from 10, else round((g + 4) * 5 / 3).
    static int GainToMidiValue(int step);
    /// The gain step of a MIDI value: 0 below 7, 10 from 23, else round(v * 3 / 5) - 4.
    static int MidiValueToGain(int value);
    /// "MidiIn" of a MIDI port's key (-1 when none).
    static int GetPortMidiInDevice(int port);
    /// The rack and channel a control from a port addresses: the input pair holding (port, MIDI
    /// channel), then the rack whose first slot is 2 x pair + (a >> 2), channel a & 3 (a: data1's
    /// high nibble). FALSE (-1, -1) when none.
    BOOL FindMidiTarget(int port, int status, int data1, int& rack, int& channel) const;
    /// WM_MIDI_CONTROL: applied now, or held (in order) while nothing may be queued or the link
    /// is in the set-up dialog's test mode (where a change would reach the record, not the unit).
    LRESULT OnMidiControlEvent(WPARAM first, LPARAM second);
    /// Applies the held controls once the link takes changes again.
    void ApplyHeldMidiControls();
    /// WM_MIDI_IN_SHOWN, WM_MIDI_OUT_SHOWN: a line of the MIDI message monitor while it is open.
    void OnMidiShown(UINT message, WPARAM first, LPARAM second);
    /// The monitor's log.
    CDebugDlg& GetMidiMonitor() { return m_MidiMonitor; }
    void SetMidiRunning(BOOL running);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    HWND GetSafeHwnd() const { return m_hWnd; }
    void SetView(CMicDlgView* view) { m_pView = view ? view : &m_nullView; }
    CMicDlgView* GetView() const { return m_pView; }
    const CString& GetTitle() const { return m_strTitle; }
    void SetWindowText(const char* title);

    // Setup files and profile settings (MicDlgSetup.cpp).
    /// Loads a setup file into the record: every rack (rack -1) or one. setTitle 1 shows the
    /// file's name in the title.
    void LoadSetup(const char* path, int setTitle, int rack);
    /// The setup loaded at start, or for a rack whose unit starts answering (rack -1: all).
    void LoadStartupSetup(int rack);
    /// "&Load Preset": asks for a file and loads it, then sends it to the answering units.
    void OnLoadPreset();
    /// "&Store Preset": asks for a file name and saves the setup.
    void OnStorePreset();
    /// Saves the record; with setTitle 1 the title shows the file's name. The caller's path is
    /// kept as given.
    BOOL SaveSetupFile(const char* path, int setTitle);
    /// Saves the auto-restore file when auto-restore is on.
    void SaveRestoreSnapshot();
    /// The auto-restore file in the Windows directory.
    static CString GetRestoreFilePath();
    /// Reads "Console Type", "Auto Load", "Auto Restore", "Mini Always On Top", "FileName" and
    /// "Communication Port"; TRUE when the port was in the profile.
    BOOL ReadSettings();
    /// Writes "Auto Load", "Auto Restore", "Mini Always On Top", "FileName" and
    /// "Communication Port", in that order.
    void SaveSettings();
    /// Reads "PopupControls" and "PopupOnSel" into the record.
    void ReadPopupSettings();

    // Transmit ring and builders (MicDlgLink.cpp).
    void ResetRing();
    BOOL IsRingFull() const;
    BOOL IsRingEmpty() const { return m_nSendIndex == m_nWriteIndex; }
    /// Messages waiting in the ring.
    int RingCount() const;
    /// The entry a builder writes next.
    BYTE* RingWriteEntry() { return m_TxRing[m_nWriteIndex]; }
    /// Takes the entry just built into the ring; a full ring gives up its newest message.
    void CommitTxMessage();
    void SendChannelCommand(int unit, int channel);
    void SendLineCommand(int unit, int channel);
    /// The path message of a channel of the given unit.
    void SendCommand13(int unit, int channel);
    void SendCommand14(int unit);
    /// The reset set of a unit: per channel 0x11 and 0x41 with switch byte 3 and 0x13 with 0.
    void SendResetMessages(int unit);

    // The unit link (MicDlgLink.cpp).
    /// One step of the link: judge the reply or its absence, then send the next message.
    void ServiceSerialLink();
    /// A timer tick (timer 1 steps the link).
    void OnTimer(UINT_PTR id);
    /// A reply handed over by the port; a reply of a closed transaction is ignored.
    LRESULT OnPreReply(WPARAM port, LPARAM transaction);
    void SendPoll(int unit);
    void SendVersionRequest(int unit);
    void SendTestVersionRequest(int unit);
    void SendTestChannelCommand(int unit, int channel);
    void SendTestLineCommand(int unit, int channel);
    /// Counts an answer (or its absence) for a unit; levels from a poll with levels.
    void UpdateUnitResponse(int unit, BOOL failed, const PreLinkSnapshot* reply = nullptr);
    /// Flips every channel's phase of a rack's unit and back, written straight to the port.
    void TestRack(int rack);
    void EndSerialTransaction();
    /// Enters or leaves test mode; leaving ends the open transaction.
    void SetTestMode(int mode);
    /// Starts or stops the trace file "MicDebug.txt" (or the file given).
    void SetDebugTrace(BOOL on, const char* path = "MicDebug.txt");
    /// Where messages go: the serial port in the program, a unit model in tests. The writer
    /// must call m_Link.Sent() once the bytes are on the line.
    void SetPortWriter(std::function<void(const BYTE* message, int length)> writer) { m_portWriter = std::move(writer); }
    int RespondingUnits() const;

    // ---- The controls' commands ------------------------------------------------------------
    // Channel switches and racks (MicDlgSwitches.cpp), gain entry (MicDlgGain.cpp), mic lines
    // of server mode (MicDlgMicLines.cpp), the secondary windows and the tray
    // (MicDlgWindows.cpp).

    /// Switch codes of the channel buttons (Dir only names the button on show).
    enum : int {
        kSwitchPhant = 1,
        kSwitchPad = 2,
        kSwitchPhase = 3,
        kSwitchDir = 4,
        kSwitchIns = 5,
        kSwitchLowz = 6,
    };
    /// Items of a gain box: "00", "05" ... "70".
    static constexpr int kGainItems = TypedGainEntry::kItems;
    /// Period of timer 4: the mark of an automatic numbering of mic lines.
    static constexpr UINT kNumberingMarkMs = 2000;

    /// Commands that would queue messages are refused while a reply is being received or the
    /// ring is full.
    BOOL IsQueueingRefused() const;
    /// Toggles a switch (Phant, Pad, Phase, Ins, Lowz) of a rack's channel and queues the
    /// channel's message when the unit responds. A switch that the channel's input does not
    /// have (Phant, Pad and Lowz of the line input), and every switch but Phase of a channel
    /// that follows a mic line, changes nothing. FALSE when nothing changed.
    BOOL ToggleSwitch(int rack, int channel, int code);
    /// A switch button of the selected rack: the toggle, then the new state of Phant, Pad or
    /// Phase to MIDI. A refused toggle sends nothing anywhere.
    void ToggleSwitchAndSend(int channel, int code);
    /// Dir: the channel of the selected rack changes between its mic and line input.
    void ToggleDir(int channel);
    /// A rack button: selects the rack unless it is on show already.
    void OnRackButton(int rack);
    /// Puts a rack on show with its rack buttons and status picture, and queues its settings
    /// when its unit responds; the next poll of a responding unit goes to it.
    void SelectRack(int rack);
    /// Makes a rack the one on show.
    void ShowRack(int rack);
    /// A click (or double click) on a switch, Dir or rack button; FALSE for any other control.
    BOOL OnChannelButton(int id);

    // What a channel of a rack shows, from the rack setup record.
    /// A switch button (kSwitchDir for Dir): on or off. Switches the input lacks show off.
    BOOL IsSwitchShown(int rack, int channel, int code) const;
    /// The gain box's item: the active input's gain.
    int GainItem(int rack, int channel) const;
    /// The gain read-out's value (0 to 14, as the gain box), -1 blank (the unit does not respond).
    int GainReadout(int rack, int channel) const;
    /// The gain label's step (3 and up), -1 blank; micSet: from the mic-input pictures.
    int GainLabel(int rack, int channel, BOOL& micSet) const;
    /// The channel-number picture's digit; micLineSet: the digit of the mic line.
    int ChannelDigit(int rack, int channel, BOOL& micLineSet) const;

    /// The gain box's list: an item chosen (-1, nothing chosen, is ignored).
    void OnGainSelected(int channel, int item);
    /// The gain box's text as edited: its last character is the digit typed.
    void OnGainDigit(int channel, const char* text);
    /// The gain box lost the focus: a digit held alone selects its item.
    void OnGainEntryDone(int channel);
    /// A gain item accepted for a channel of the selected rack: stored, sent, and to MIDI.
    void OnGainChanged(int channel, int item);
    /// Stores a gain item of the channel's input (mic input 4 to 14, line input 0 to 4; others
    /// store nothing) and queues the channel's message when the unit responds.
    void SetGain(int rack, int channel, int item);

    /// The mic-line box's list: a line chosen (0 "Off", 1 to 99).
    void OnMicLineSelected(int channel, int line) { SetMicLine(channel, line, FALSE); }
    /// The mic-line box's text as edited: its last character is the digit typed.
    void OnMicLineDigit(int channel, const char* text);
    /// The mic-line box lost the focus.
    void OnMicLineEntryDone() { m_nTypedMicLine = -1; }
    /// Assigns a mic line to a channel of the selected rack (server mode).
    void SetMicLine(int channel, int line, BOOL typed);
    /// Check box 1037 clicked (server mode).
    void OnRackOptionClicked(BOOL ticked);
    /// Numbers the selected rack's mic lines from its first channel's when the rack option is
    /// ticked.
    void AutoNumberMicLines();
    /// The mapping list of a mic line (index = line - 1): adds the pair unless it is there.
    void AddMapping(int lineIndex, int rack, int channel);
    /// Removes the pair from the list (a trace line when it is not there).
    void RemoveMapping(int lineIndex, int rack, int channel);

    /// Check box 1037: the selected rack numbers its mic lines.
    // Secondary windows, the tray and the window's end (MicDlgWindows.cpp).
    /// Commands of the tray's menu.
    enum : UINT {
        kTrayExit = 1,
        kTrayStartMidi = 501,
        kTrayStopMidi = 502,
        kTrayShowMidiMessages = 503,
        kTrayBroadcastSetup = 504,
    };
    /// "S&etup": the version sweep, then the set-up and test dialog. Refused while messages
    /// wait, while the busy flag is set and while the dialog is open.
    void OnSetup();
    /// The sweep is done: the set-up and test dialog runs, the link in test mode 1; when it
    /// closes the selected rack's settings are read back.
    void RunSetupDialog();
    /// "&Mini View": the mini view stands in for the window until it closes. Refused while
    /// messages wait and while the busy flag is set.
    void OnMiniView();
    /// A mouse message from the tray icon.
    void OnTrayNotify(UINT mouseMessage);
    /// The tray's menu as it stands now.
    std::vector<MenuItem> TrayMenu() const;
    void ShowTrayMenu();
    void OnTrayCommand(UINT id);
    /// The window's own menu: "&About mic...", and, when the tray icon does not show (no
    /// notification area), the tray menu's items as the tray would offer them now.
    std::vector<MenuItem> WindowMenu() const;
    /// A right click on the window: its menu at the pointer.
    void ShowWindowMenu();
    void OnWindowMenuCommand(UINT id);
    /// What the operator is told when the MIDI system goes while MIDI runs.
    static constexpr const char* kMidiSystemLost = "MIDI control has stopped!\nThe MIDI system is no longer available.";
    /// WM_MIDI_SYSTEM_LOST: MIDI that runs stops as "&Stop MIDI" stops it, and the operator is
    /// told once. Nothing when MIDI was stopped meanwhile.
    void OnMidiSystemLost();
    /// Check boxes 1050 ("PopupOnSel") and 1051 ("PopupControls") of server mode.
    void OnPopupOnSelClicked(BOOL ticked);
    void OnPopupControlsClicked(BOOL ticked);
    /// The window's end: the server objects go first (nothing of theirs can reach the window
    /// any more), then the secondary windows, then the window.
    void DestroyWindow();

    BOOL m_bMainWindowVisible = TRUE;
    BOOL m_bMiniViewVisible = FALSE;
    BOOL m_bSetupDialogOpen = FALSE;
    /// "Setup" was pressed: the sweep starts once the message in flight is judged.
    BOOL m_bSweepPending = FALSE;

    BOOL m_bRackOptionTicked = FALSE;
    /// Set for 2000 ms (timer 4) after an automatic numbering.
    BOOL m_bMicLineNumbering = FALSE;
    TypedGainEntry m_TypedGain;
    /// The mic line typed so far, -1 when none.
    int m_nTypedMicLine = -1;
    // ---- end of the controls' commands -------------------------------------------------------

    // ---- The server's mic-line data and the settings commands --------------------------------
    // (MicDlgServerData.cpp, MicDlgSettingsCommand.cpp)

    /// Timer 3's period: how long the enlarged read-out stays after a change.
    static constexpr UINT kReadoutMs = 2500;
    /// Both arguments of ApplyMicLineData after the operator changed mic-line assignments.
    static constexpr int kQuietApply = 255;

    /// "ButtonFromCantle": the server's newest mic-line record onto every channel assigned to
    /// one of its lines (Phant, Pad, gain, and the console's selection for the read-out), sent
    /// to the responding units. Called with (255, 255) after the operator changed mic-line
    /// assignments: then without read-out. A record that comes while the read-out is coming up
    /// is applied once it is ready. Result 0.
    LRESULT ApplyMicLineData(WPARAM wParam, LPARAM lParam);
    /// Brings up the enlarged read-out of a channel that the server changed (select: of the
    /// line selected at the console, held while it stays selected).
    void ShowChangedChannel(int rack, int channel, BOOL select);
    /// Timer 3: the read-out goes unless it is held; the window that was in front comes back.
    void OnReadoutTimer();
    /// "PopupOnSel" cleared: the hold is dropped and the read-out closed.
    void DropReadout();
    /// WM_SETTINGS_COMMAND from the set-up and test dialog: value in wParam, sub-command 0 to 8
    /// in lParam; other sub-commands, and values outside a sub-command's range, are ignored.
    /// Result 0.
    LRESULT OnSettingsCommand(WPARAM wParam, LPARAM lParam);
    /// The low and high 16 bits of wParam (a, b) and of lParam (c, d).
    static void UnpackWords(WPARAM wParam, LPARAM lParam, int& a, int& b, int& c, int& d);

    /// The enlarged read-out: it is up (or coming up), and it is drawn and ready.
    BOOL m_bReadoutOpen = FALSE;
    BOOL m_bReadoutReady = FALSE;
    /// The channel whose line is selected at the console, (-1, -1) when none: the read-out
    /// stays up for it.
    int m_nHeldRack = -1;
    int m_nHeldChannel = -1;
    /// The mic line the read-out was last brought up for, -1 when none.
    int m_nReadoutLine = -1;
    ReadoutChannels m_ReadoutChannels;
    /// The debug trace as the operator set it (the file may have failed to open).
    BOOL m_bDebugFile = FALSE;

private:
    /// The pair names a channel that still follows mic line `line`.
    bool mappingHolds(const ChannelMapping& pair, int line) const;
    ReadoutChannel readoutRecord(int rack, int channel) const;
    /// The first channel assigned to the nearest line in use below (step -1) or above (+1).
    ReadoutChannel nearestReadoutRecord(int line, int step) const;
    void bringReadoutUp(int line);
    void readoutEvent(bool ready);
    void applyDeferred();
    void closeReadout();
    void resetRacks(INT_PTR value);

    /// A record to apply once the read-out is ready: 0 none, 1 without read-out, 2 with.
    int m_nDeferredApply = 0;
    bool m_bApplyingMicLines = false;

public:

    PreLink m_Link;
    int m_nAnswerCount[pre::kUnits] = {};
    int m_nLinkUnit = 0;
    int m_nSweepCursor = 0;
    int m_nRoundRobin = 0;
    /// Resends of the message in flight (and tries of the version sweep).
    int m_nRetry = 0;
    /// "Enable Meters": polls ask for levels.
    BOOL m_bEnableMeters = FALSE;
    float m_fLevels[pre::kUnits][4] = {};
    int m_nLevelHeight[4] = {};
    CString m_strVersion[pre::kUnits];
    LinkPicture m_eLinkPicture = LinkPicture::NoUnit;
    /// Bitmaps of the rack buttons: 145 selected and responding, 146 selected, 147 responding,
    /// 149 neither.
    int m_nRackBitmap[pre::kUnits] = {};
    /// The period timer 1 was last set to.
    UINT m_nTimerPeriod = 0;

    // State (read by views and tests).
    CRackSetup m_RackSetup;
    CArray<ChannelMapping, ChannelMapping> m_ChannelMaps[kChannelMaps];
    int m_nConsoleType = 0;
    int m_nCommPort = 0;
    BYTE m_bAutoLoad = 0;
    BYTE m_bAutoRestore = 1;
    BYTE m_bMiniAlwaysOnTop = 1;
    BYTE m_bCantlePresent = 0;
    BYTE m_bUseWithCantle = 0;
    CString m_strFileName;
    /// Set while the ring still holds messages that a closing window queued.
    BOOL m_bBusy = FALSE;
    /// 0 normal, 1 set-up and test dialog open, 2 unit test running.
    int m_nTestMode = 0;

protected:
    /// The message in flight, apart from the ring, so that nothing built meanwhile changes
    /// what is resent or judged.
    struct InFlight {
        BYTE message[pre::kMaxMessage + 1] = {};
        int length = 0;
        int unit = -1;
        BYTE command = 0;
        /// For a data request: apply the answer (it followed an ACK with data) or only check it.
        bool applyData = false;
        bool resend = false;
    };

    CMicApp* m_pApp;
    Shell* m_pShell;
    CMicDlgView m_nullView;
    CMicDlgView* m_pView = &m_nullView;
    HWND m_hWnd = nullptr;
    HICON m_hIcon = reinterpret_cast<HICON>(static_cast<uintptr_t>(kIconId));
    CString m_strTitle = kTitle;
    int m_nModalResult = 0;
    bool m_bEnded = false;

    BYTE m_TxRing[kRingEntries][kRingEntrySize];
    int m_nWriteIndex = 0;
    int m_nSendIndex = 0;
    InFlight m_InFlight;
    std::function<void(const BYTE*, int)> m_portWriter;
    FILE* m_pDebugFile = nullptr;

public:
    /// The serial port (after m_Link, which it reports to).
    CSerialPort m_SerialPort{m_Link};

    // Secondary windows, read-outs and options (shown by the view).
    BOOL m_bMiniViewShown = FALSE;
    BOOL m_bMidiMonitorOpen = FALSE;
    BOOL m_bMidiRunning = FALSE;
    /// Timer 2's work: the gain read-outs are blank.
    BOOL m_bReadoutsBlank = FALSE;
    /// MIDI slot panels in their units' colours.
    BOOL m_bUnitColour = FALSE;
    /// Controls from MIDI that wait for the link (at most as many as an engine's queue holds).
    static constexpr size_t kHeldMidiControls = 9999;
    std::deque<std::pair<WPARAM, LPARAM>> m_HeldMidiControls;
    LRESULT applyMidiControl(WPARAM first, LPARAM second);
    bool midiControlsWait() const;
    CDebugDlg m_MidiMonitor;
    ButtonSnapshot m_SetupButton{"S&etup", true};
    ButtonSnapshot m_MiniViewButton{"&Mini View", true};
    /// The window's position on the screen (WM_MOVE).
    POINT m_ptWindow = {0, 0};

protected:
    std::unique_ptr<MidiPorts> m_pMidiPortManager;
    ServerLink* m_pServerLink = nullptr;
    std::unique_ptr<ServerObject> m_pMicLine;
    std::unique_ptr<ServerObject> m_pClientMonitor;
    std::function<BOOL(int)> m_portAvailable;
    /// The port-error dialog was requested for the present outage.
    bool m_bPortErrorShown = false;
    /// The port that was open last (0: none yet).
    int m_nLastOpenPort = 0;

private:
    /// Opens COM<port> for the link; why (when given) receives what failed.
    bool tryOpenPort(int port, std::string* why = nullptr);
    void portOpened();
    /// No port is open: the link retries, and the operator is told once (the port asked for,
    /// and what failed, also on standard error).
    void portOutage(int port, const std::string& why);
    void reportPortFailure(int port, const std::string& why) const;
    void retrySerialPort();
    void closeConfirmed();
    void setupDialogClosed();
    void miniViewClosed();
    void showBusy();
    void runLoadPreset();
    void commitEntry(bool applyData);
    void sendFromRing();
    void sendInFlight();
    void writeMessage(const BYTE* message, int length, int inProgress, int state, int pending, UINT timerMs);
    void handleVersionReply(const PreLinkSnapshot& reply);
    void handleDataReply(const PreLinkSnapshot& reply);
    void resendLastMessage();
    void restoreUnit(int unit);
    /// The setup file that start-up and a unit that starts answering load (setTitle: 1 for the
    /// last setup file), or empty.
    CString startupSetupFile(int& setTitle);
    void showRackButton(int rack);
    void moveMicLine(int rack, int channel, int line);
    void sendChannelSettings(int rack, int channel);
    void trace(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void traceBytes(const char* prefix, const BYTE* bytes, int count);
    CString displayName(const char* path) const;
};
