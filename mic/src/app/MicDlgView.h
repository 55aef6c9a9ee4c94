// What the main dialog's view is told, and the picture of what its window shows. The core
// computes the picture from its state (CMicDlg::Snapshot); a Qt view draws it, tests read it.
#pragma once

#include "winport/CString.h"

/// The link's status picture (control 1190, and its copy in the mini view).
enum class LinkPicture { NoUnit, Busy, Linked };

/// Rack-button bitmaps: selected and responding, selected, responding, neither.
enum : int {
    kRackSelectedResponding = 145,
    kRackSelected = 146,
    kRackResponding = 147,
    kRackIdle = 149,
};

struct ChannelSnapshot {
    // Switch buttons as shown (the mic input shows Phant, Pad, Lowz, Phase and Ins; the line
    // input only Phase and Ins).
    bool phant = false, phase = false, pad = false, dir = false, lowz = false, ins = false;
    /// Position in the gain box ("00", "05" ... "70").
    int gainItem = 0;
    /// Gain read-out: the gain value shown (0 to 14, as the gain box), -1 blank.
    int readout = -1;
    /// Gain label: the gain step shown (3 to 12), -1 blank; from the mic-input set or the
    /// line-input set.
    int gainLabel = -1;
    bool gainLabelMicSet = false;
    /// Channel-number picture: a digit from the first set (channel number) or the second (the
    /// last digit of the mic line).
    int digit = 0;
    bool digitMicLineSet = false;
    CString label;
    /// Server mode: the mic-line box (0 "Off", else the line).
    int micLine = 0;
};

struct ButtonSnapshot {
    CString text;
    bool enabled = true;
    /// Grey (red, green and blue 200) while its window is being prepared; else the colours of
    /// its kind.
    bool grey = false;
};

struct MicDlgSnapshot {
    CString title;
    int currentRack = 0;
    /// The rack-number picture: 247 + rack.
    int rackPicture = 247;
    int rackButtons[16] = {};
    LinkPicture linkPicture = LinkPicture::NoUnit;
    ChannelSnapshot channels[4];
    /// Meter bar heights (0 to 142 pixels).
    int levelHeights[4] = {};
    ButtonSnapshot setup, miniView, loadPreset, storePreset, exit;
    /// The server-mode controls exist (check boxes 1037, 1050, 1051; the mic-line boxes).
    bool serverControls = false;
    bool rackOption = false, popupOnSel = false, popupControls = false;
    /// The tray icon animates while MIDI runs.
    bool midiRunning = false;
};

/// What the view is told; the default does nothing. Called on the user-interface thread.
class CMicDlgView {
public:
    virtual ~CMicDlgView() = default;
    virtual void TitleChanged(const char* title) { (void)title; }
    /// A rack's settings changed or another rack is on show: draw it again.
    virtual void RackChanged(int rack) { (void)rack; }
    /// The window is to be restored from minimised and brought to the front.
    virtual void RestoreAndRaise() {}
    /// The window is to be brought to the front (before the port-error dialog).
    virtual void BringToFront() {}
    /// The link's status picture or a rack button changed.
    virtual void LinkChanged() {}
    /// The dialog has ended: the window and the mini view go.
    virtual void Closed() {}
    /// The window is hidden (the mini view stands in for it, or the tray hid it), or shown
    /// restored.
    virtual void ShowWindow(bool visible) { (void)visible; }
};
