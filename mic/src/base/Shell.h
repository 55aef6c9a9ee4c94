// The operator's side of the program's questions: message boxes and file dialogs. A dialog
// core never waits for the operator: it asks through the shell and goes on when the answer
// comes back (at once or later, on the user-interface thread). The program's Qt shell shows
// real dialogs; tests answer from a script; the headless program uses the platform's message
// box hook and cancels file dialogs.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "winport/CString.h"
#include "winport/WinTypes.h"

/// A file-open or file-save dialog.
struct FileDialogRequest {
    bool open = true;
    CString defaultExtension;  // without the dot
    CString fileName;          // initial file name or path
    CString filter;            // "Text (*.x)|*.x|"
    DWORD flags = 0;           // OFN_* flags
};

// File dialog flags.
constexpr DWORD kOfnOverwritePrompt = 0x00000002;
constexpr DWORD kOfnHideReadOnly = 0x00000004;

/// The small dialogs a core asks for.
enum class ShellDialog {
    ConfirmClose,  // "Please Confirm Action": IDOK to close, IDCANCEL to stay
    PortError,     // "Port Error": no communication port could be opened
    About,         // "Remote Mic Controller"
};

/// The tray icon's images: MIDI stopped; MIDI running or a message arrived; a message sent.
constexpr int kTrayIdle = 0;
constexpr int kTrayMidiIn = 1;
constexpr int kTrayMidiOut = 2;

/// What the set-up and test dialog shows when it opens.
struct SetupDialogPreset {
    int commPort = -1;              // -1: "Disabled"
    CString setupButtonText;        // the text of the main dialog's "Setup" button meanwhile
    BOOL useWithCantle = FALSE;     // the server-link check box
    BOOL debugFile = FALSE;
    BOOL miniAlwaysOnTop = FALSE;
    BOOL autoLoad = FALSE;
    BOOL autoRestore = FALSE;
    CString versions[16];           // the units' version texts
    std::function<BOOL()> midiRunning;              // whether MIDI runs now
    std::function<BOOL(int port)> portAvailable;    // whether a communication port is present
};

/// The MIDI set-up dialogs that the set-up and test dialog opens.
enum class MidiDialog {
    PortSelection,  // "&MIDI Port Setup"
    RackSetup,      // "MIDI &Rack Setup"
    PreSetup,       // "MIDI &PRE setup"
};

/// One item of a pop-up menu; an item with sub-items opens a sub-menu (its id is not chosen);
/// an item without text is a separator.
struct MenuItem {
    UINT id;
    CString text;
    std::vector<MenuItem> subItems = {};
};

/// The corner of a pop-up menu that stands at the pointer: the top left for a menu of a click
/// in a window, the bottom right for the tray icon's menu (right- and bottom-aligned).
enum class MenuCorner { TopLeft, BottomRight };

/// One channel of the enlarged read-out of channels that the server changed; mic line 0 is an
/// empty record.
struct ReadoutChannel {
    int nMicLine = 0;
    /// The channel's entry count.
    int nEntry = 0;
    /// The gain as shown: step x 5 + 5 (step 3 to 13).
    int nGain = 20;
    CString strLabel;
    bool bPhant = false;
    bool bPad = false;
    bool bMicInput = false;
    /// Phase of the line input.
    bool bPhase = false;
    bool operator==(const ReadoutChannel&) const = default;
};
/// The read-out's records: the channel of the nearest lower mic line in use, the changed
/// channel, the channel of the nearest higher mic line in use.
using ReadoutChannels = std::array<ReadoutChannel, 3>;

class Shell {
public:
    using MessageDone = std::function<void(int answer)>;
    using FileDone = std::function<void(bool ok, const CString& path)>;

    virtual ~Shell() = default;
    /// A message box (MB_* type); done gets the answer (IDOK ...). done may be empty.
    virtual void MessageBox(HWND owner, const char* text, const char* caption, UINT type, MessageDone done) = 0;
    /// A file dialog; done gets the chosen path, or FALSE when the operator cancelled.
    virtual void FileDialog(HWND owner, const FileDialogRequest& request, FileDone done) = 0;
    /// A small dialog; done gets IDOK or IDCANCEL. The default shows the dialog's texts in a
    /// message box.
    virtual void RunDialog(HWND owner, ShellDialog dialog, MessageDone done);
    /// The tray icon of the window with its tip, showing image `image` of its strip (kTrayIdle,
    /// kTrayMidiIn, kTrayMidiOut). Clicks on it reach the window as "MsgTaskIconNotify".
    virtual void TrayIcon(HWND owner, const char* tip, int image)
    {
        (void)owner;
        (void)tip;
        (void)image;
    }

    // Secondary windows. A modal one reports its end through done; the defaults have no
    // windows and end at once.
    /// The set-up and test dialog, modal; its controls send WM_SETTINGS_COMMAND to the owner.
    virtual void RunSetupDialog(HWND owner, const SetupDialogPreset& preset, std::function<void()> done)
    {
        (void)owner;
        (void)preset;
        if (done) done();
    }
    /// A MIDI set-up dialog, modal over owner.
    virtual void RunMidiDialog(HWND owner, MidiDialog which, std::function<void()> done)
    {
        (void)owner;
        (void)which;
        if (done) done();
    }
    /// The mini view, modal, as the program's main window while the owner is hidden.
    virtual void RunMiniView(HWND owner, std::function<void()> done)
    {
        (void)owner;
        if (done) done();
    }
    /// The wait cursor over the program's windows while on is set (calls nest).
    virtual void WaitCursor(bool on) { (void)on; }
    /// Hides the open mini view, or shows it restored.
    virtual void ShowMiniView(bool show) { (void)show; }
    /// Opens the MIDI message monitor (modeless), or brings it to the front when it is open.
    virtual void OpenMidiMonitor(HWND owner) { (void)owner; }
    virtual void CloseMidiMonitor() {}
    /// A pop-up menu with the given corner at the pointer; done gets the chosen item's id, 0
    /// when none was chosen.
    virtual void TrackPopupMenu(HWND owner, const std::vector<MenuItem>& items, MenuCorner corner,
                                std::function<void(UINT id)> done)
    {
        (void)owner;
        (void)items;
        (void)corner;
        if (done) done(0);
    }
    /// Whether the tray icon shows in a notification area, where its menu can be reached.
    virtual bool TrayIconShown() const { return false; }

    // The enlarged read-out of channels that the server changed. The defaults: the program has
    // no read-out.
    /// What comes up is told by `event`: true once the read-out is drawn and ready, false
    /// when it has gone by itself.
    using ReadoutEvent = std::function<void(bool ready)>;
    /// The read-out's records; changedOnly: it shows the same channel already, only what
    /// changed needs drawing.
    virtual void SetReadoutChannels(HWND owner, const ReadoutChannels& records, bool changedOnly)
    {
        (void)owner;
        (void)records;
        (void)changedOnly;
    }
    /// Brings the read-out up, or shows it again; FALSE (and no event) when there is none.
    virtual bool ShowReadout(HWND owner, ReadoutEvent event)
    {
        (void)owner;
        (void)event;
        return false;
    }
    /// Ends the read-out.
    virtual void CloseReadout(HWND owner) { (void)owner; }
    /// Remembers the window in front, unless one is remembered already (the first stays until
    /// it is brought back), and brings owner to the front.
    virtual void RaiseForReadout(HWND owner) { (void)owner; }
    /// Brings the remembered window back to the front and forgets it; nothing when none is
    /// remembered.
    virtual void RestoreFrontWindow(HWND owner) { (void)owner; }
};

/// Message boxes through the platform's hook (MessageBoxA), file dialogs cancelled: for
/// programs and tests without a screen.
class HeadlessShell : public Shell {
public:
    void MessageBox(HWND owner, const char* text, const char* caption, UINT type, MessageDone done) override;
    void FileDialog(HWND owner, const FileDialogRequest& request, FileDone done) override;
};
