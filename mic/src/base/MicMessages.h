// Every window message number of the program: the main dialog's from its serial port, its
// settings dialog, the server's receptacles, MIDI and its own deferred work, and those of its
// secondary dialogs and controls.
#pragma once

#include "winport/MessageLoop.h"

/// Posted to the main window (wParam 0, lParam 0) when the server asks mic to shut down.
constexpr UINT WM_CLOSE_REQUEST = WM_APP + 1;
/// Sent to the owner of the serial port for each complete reply: wParam port number, lParam
/// transaction number.
constexpr UINT WM_PRE_REPLY = WM_USER + 10;

/// The set-up and test dialog's settings commands: the value in wParam, the sub-command in lParam.
constexpr UINT WM_SETTINGS_COMMAND = WM_USER + 11;
enum SettingsCommand : int {
    kTestUnit = 0,         // rack 0 to 15
    kVersionRequest = 1,   // rack 0 to 15 (not sent by the dialog)
    kResetRacks = 2,       // -1 every rack, 0 the current rack
    kDebugFile = 3,        // 1 on, 0 off
    kCommPort = 4,         // port, -1 disabled
    kUseWithCantle = 5,    // 1 on, 0 off, for the next start
    kAutoLoad = 6,
    kAutoRestore = 7,
    kMiniAlwaysOnTop = 8,
};
/// Lines of the MIDI message monitor.
constexpr UINT WM_MIDI_IN_SHOWN = WM_APP + 3;
constexpr UINT WM_MIDI_OUT_SHOWN = WM_APP + 4;
/// The MIDI message monitor has gone.
constexpr UINT WM_MIDI_MONITOR_GONE = WM_APP + 5;
/// A MIDI control event.
constexpr UINT WM_MIDI_CONTROL = WM_APP + 6;

// The dialog's own, posted to itself so that what asks the operator runs after the link step.
/// The version sweep is done: the set-up and test dialog opens.
constexpr UINT WM_SWEEP_DONE = WM_APP + 40;
/// A unit that came back gets its settings from a file that needs the operator (wParam unit).
constexpr UINT WM_RESTORE_UNIT = WM_APP + 41;
/// The MIDI system behind the running ports has gone (posted by the MIDI port manager).
constexpr UINT WM_MIDI_SYSTEM_LOST = WM_APP + 42;

/// Posted to a check list's parent for every item whose check the operator set:
/// wParam = item, lParam = its check state (0 unchecked, 1 checked).
constexpr UINT WM_CHECKLIST_CHANGED = WM_APP + 2;
/// To the diagnostics dialog: wParam the rack, lParam 0 to enable its Test button, anything
/// else to disable it.
constexpr UINT WM_ENABLE_RACK_TEST = WM_USER + 14;

/// The control ids of the dialog's buttons that the core handles itself.
constexpr int kIdExit = 2;  // IDCANCEL: "E&xit", Escape, the tray menu's "Exit"
constexpr int kIdMiniView = 3;
constexpr int kIdLoadPreset = 1129;
constexpr int kIdStorePreset = 1130;
constexpr int kIdSetup = 1143;
/// The check boxes of server mode: the rack's automatic numbering, "PopupOnSel", "PopupControls".
constexpr int kIdRackOption = 1037;
constexpr int kIdPopupOnSel = 1050;
constexpr int kIdPopupControls = 1051;
/// The system menu's "&About mic..." command.
constexpr UINT kSysCommandAbout = 0x10;
