#include "mic_ui/MidiMonitorWindow.h"

#include <QLabel>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include "base/MicMessages.h"
#include "winport/Window.h"
#include "winport_ui/QtScreenService.h"

MidiMonitorWindow::MidiMonitorWindow(CDebugDlg& log, HWND owner, QWidget* parent)
    : QDialog(parent), m_log(log), m_hOwner(owner)
{
    setWindowTitle("MIDI Messages");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel("Type\tPort\tMessage", this);
    m_pEdit = new QTextEdit(this);
    m_pEdit->setReadOnly(true);
    m_pEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_pEdit->setTabStopDistance(48);
    layout->addWidget(heading);
    layout->addWidget(m_pEdit);
    resize(288, 300);  // 192 x 182 dialog units
    connect(&m_timer, &QTimer::timeout, this, &MidiMonitorWindow::Refresh);
    m_timer.start(100);
    Refresh();
    if (auto screens = std::dynamic_pointer_cast<winport::QtScreenService>(winport::GetScreenService())) {
        m_hSelf = screens->HandleOf(this);
        m_placement = std::make_unique<DialogPlacement>(m_hSelf, CDebugDlg::kPlacementName);
        m_placement->Restore();
    }
}

MidiMonitorWindow::~MidiMonitorWindow()
{
    if (m_placement) {
        m_placement->Save();
        if (auto screens = std::dynamic_pointer_cast<winport::QtScreenService>(winport::GetScreenService())) screens->Detach(m_hSelf);
    }
    if (m_hOwner) PostMessageA(m_hOwner, WM_MIDI_MONITOR_GONE, 0, 0);
}

void MidiMonitorWindow::Refresh()
{
    size_t fresh = m_log.Added() - m_nShown;
    if (fresh == 0) return;
    const auto& lines = m_log.Lines();
    if (m_nLines + fresh != lines.size()) {
        // The log was emptied meanwhile: the window starts again with what it holds.
        m_pEdit->clear();
        m_nLines = 0;
        fresh = lines.size();
    }
    QTextCursor cursor(m_pEdit->document());
    cursor.movePosition(QTextCursor::End);
    for (size_t i = lines.size() - fresh; i < lines.size(); ++i) {
        QTextCharFormat format;
        const COLORREF c = lines[i].colour;
        format.setForeground(QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
        cursor.insertText(QString::fromLatin1(static_cast<const char*>(lines[i].text)), format);
    }
    m_nLines += fresh;
    m_nShown = m_log.Added();
    m_pEdit->verticalScrollBar()->setValue(m_pEdit->verticalScrollBar()->maximum());
}
