// The MIDI message monitor's window, "MIDI Messages": a read-only log of the lines of the main
// dialog's monitor (CDebugDlg), each in its colour, the newest kept in view. Modeless; it opens
// where it last stood ("MicPreControl-DebugDlg", while the program keeps places on the screens)
// and keeps its place when it goes, then posts WM_MIDI_MONITOR_GONE to the main dialog's window.
#pragma once

#include <QDialog>
#include <QTextEdit>
#include <QTimer>
#include <memory>

#include "app/DebugDlg.h"
#include "ui/DialogPlacement.h"
#include "winport/WinTypes.h"

class MidiMonitorWindow : public QDialog {
    Q_OBJECT

public:
    /// Shows the log's lines; owner gets WM_MIDI_MONITOR_GONE when the window goes.
    MidiMonitorWindow(CDebugDlg& log, HWND owner, QWidget* parent = nullptr);
    ~MidiMonitorWindow() override;

    QTextEdit* Log() const { return m_pEdit; }
    /// Shows the lines added since the last look (the window looks every 100 ms).
    void Refresh();

private:
    CDebugDlg& m_log;
    HWND m_hOwner;
    QTextEdit* m_pEdit = nullptr;
    QTimer m_timer;
    HWND m_hSelf = nullptr;                       // the window's handle on the screens
    std::unique_ptr<DialogPlacement> m_placement;  // none without the program's screens
    size_t m_nShown = 0;  // lines of the log shown (its Added count)
    size_t m_nLines = 0;  // lines in the window
};
