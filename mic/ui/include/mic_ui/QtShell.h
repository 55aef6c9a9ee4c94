// The program's shell on Qt: message boxes, file dialogs and the small dialogs, shown
// window-modal over the main window without a nested event loop. The answer reaches the core
// through its callback once the operator has chosen, on the user-interface thread.
#pragma once

#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "base/Shell.h"
#include "mic_ui/BigControls2Window.h"
#include "mic_ui/TrayIcon.h"

#include <QDialog>
class CMicDlg;

/// The Qt name filters of a file dialog filter of the platform's form
/// ("Text (*.x)|*.x|All (*.*)|*.*|").
QStringList NameFiltersOf(const CString& filter);

class QtShell : public Shell {
public:
    explicit QtShell(QWidget* owner = nullptr) : m_owner(owner) {}
    ~QtShell() override;

    /// The window the dialogs belong to.
    void SetOwner(QWidget* owner) { m_owner = owner; }

    void MessageBox(HWND owner, const char* text, const char* caption, UINT type, MessageDone done) override;
    void FileDialog(HWND owner, const FileDialogRequest& request, FileDone done) override;
    /// The about box, the exit confirmation and the port-error dialog.
    void RunDialog(HWND owner, ShellDialog dialog, MessageDone done) override;
    /// The main dialog whose mini view the shell shows (not owned).
    void SetDialog(CMicDlg* dlg) { m_pDialog = dlg; }
    /// The mini view in place of the hidden main window; done when it has closed.
    void RunMiniView(HWND owner, std::function<void()> done) override;
    void ShowMiniView(bool show) override;
    /// The MIDI message monitor (modeless) on the dialog's log; the open one comes forward.
    void OpenMidiMonitor(HWND owner) override;
    void CloseMidiMonitor() override;
    /// The monitor open now (null when none is).
    QDialog* MidiMonitor() const { return m_monitor; }
    /// Qt's override cursor: the wait cursor over every window of the program.
    void WaitCursor(bool on) override;
    /// The mini view open now (null when none is).
    QDialog* MiniView() const { return m_mini; }
    /// The set-up and test dialog, window-modal; done when it has closed.
    void RunSetupDialog(HWND owner, const SetupDialogPreset& preset, std::function<void()> done) override;
    /// The MIDI set-up dialogs on the main dialog's record and MIDI ports, window-modal over the
    /// dialog open now; done when it has closed. A dialog without a window here ends at once.
    void RunMidiDialog(HWND owner, MidiDialog which, std::function<void()> done) override;
    /// The tray icon (icon 128 with the animation strip 572), showing the image asked for.
    void TrayIcon(HWND owner, const char* tip, int image) override;
    /// A pop-up menu with the corner asked for at the pointer; it does not wait: done gets the
    /// chosen id when the menu closes (0 when nothing was chosen).
    void TrackPopupMenu(HWND owner, const std::vector<MenuItem>& items, MenuCorner corner,
                        std::function<void(UINT id)> done) override;
    /// Whether the tray icon was added to a notification area.
    bool TrayIconShown() const override { return m_bTrayShown; }
    /// The enlarged read-out's records (drawn at once while it is up).
    void SetReadoutChannels(HWND owner, const ReadoutChannels& records, bool changedOnly) override;
    /// Opens the read-out window-modal over the main window, or brings it forward; ready once
    /// it is shown. The operator closing it is its going by itself.
    bool ShowReadout(HWND owner, ReadoutEvent event) override;
    /// Empties the read-out's records and ends it.
    void CloseReadout(HWND owner) override;
    /// The read-out's core, and its window while it is up (null otherwise).
    CBigControls2& Readout() { return m_BigControls2; }
    CBigControls2Window* ReadoutWindow() const { return m_readout; }
    /// Remembers the active window of the program (none when another program has the focus),
    /// unless one is remembered already, and raises the main window.
    void RaiseForReadout(HWND owner) override;
    /// Activates the remembered window again; when another program had the focus, the main
    /// window goes back behind it.
    void RestoreFrontWindow(HWND owner) override;
    /// The menu open now (null when none is).
    QMenu* OpenMenu() const { return m_menu; }
    /// The tray icon, once asked for (null before).
    CTrayIcon* Tray() const { return m_pTray.get(); }
    /// Where the tray icon shows (default: the desktop's notification area through Qt). Not
    /// owned; it outlives the shell.
    void SetTrayBackend(TrayBackend* backend) { m_pTrayBackend = backend; }

    /// Shows a dialog window-modal and hands its result to done when it ends; the dialog is
    /// deleted afterwards.
    void Open(QDialog* dialog, MessageDone done);

    /// The dialogs open now (tests, and the closing of the program).
    int OpenDialogs() const { return m_nOpen; }

private:
    QPointer<QWidget> m_owner;
    QPointer<QMenu> m_menu;
    QPointer<QWidget> m_front;
    bool m_bFrontRemembered = false;
    bool m_bOtherProgramInFront = false;
    QPointer<QDialog> m_mini;
    QPointer<QDialog> m_monitor;
    CMicDlg* m_pDialog = nullptr;
    int m_nOpen = 0;
    TrayBackend* m_pTrayBackend = nullptr;
    std::unique_ptr<CTrayIcon> m_pTray;
    CBigControls2 m_BigControls2;
    QPointer<CBigControls2Window> m_readout;
    bool m_bTrayShown = false;
};
