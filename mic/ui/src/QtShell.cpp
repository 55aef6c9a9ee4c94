#include "mic_ui/QtShell.h"

#include "app/MicDlg.h"
#include "mic_ui/DiagnosticsWindow.h"
#include "mic_ui/MidiMonitorWindow.h"
#include "mic_ui/MidiPortSelectionWindow.h"
#include "mic_ui/MidiSetupWindow.h"
#include "mic_ui/MinimisedWindow.h"
#include "mic_ui/PreSetupWindow.h"
#include "midi/MidiPortManager.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QTimer>
#include <memory>

#include "mic_ui/SmallDialogs.h"
#include "winport/Paths.h"
#include "winport_ui/QtMessageBox.h"

QStringList NameFiltersOf(const CString& filter)
{
    const QStringList parts = winport::QStringFromAnsi(filter.c_str()).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString patterns = QString(parts[i + 1]).replace(';', ' ').trimmed();
        if (description.isEmpty() || patterns.isEmpty()) continue;
        // Qt takes the patterns from the parentheses of the text.
        if (description.endsWith("(" + patterns + ")"))
            filters << description;
        else
            filters << description + " (" + patterns + ")";
    }
    return filters;
}

void QtShell::Open(QDialog* dialog, MessageDone done)
{
    ++m_nOpen;
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->setWindowModality(m_owner ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(dialog, &QDialog::finished, dialog, [this, dialog, done](int result) {
            --m_nOpen;
        dialog->deleteLater();
        if (done) done(result);
    });
    dialog->open();
    dialog->raise();
    dialog->activateWindow();
}

void QtShell::MessageBox(HWND, const char* text, const char* caption, UINT type, MessageDone done)
{
    QMessageBox* box = winport::CreateMessageBox(m_owner, text, caption, type);
    ++m_nOpen;
    box->setWindowModality(m_owner ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(box, &QDialog::finished, box, [this, box, type, done](int) {
        --m_nOpen;
        const int answer = winport::MessageBoxAnswer(*box, type);
        box->deleteLater();
        if (done) done(answer);
    });
    box->open();
}

void QtShell::FileDialog(HWND, const FileDialogRequest& request, FileDone done)
{
    auto* dialog = new QFileDialog(m_owner);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog->setFileMode(request.open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, (request.flags & kOfnOverwritePrompt) == 0);
    if (!request.defaultExtension.IsEmpty()) dialog->setDefaultSuffix(winport::QStringFromAnsi(request.defaultExtension.c_str()));
    const QStringList filters = NameFiltersOf(request.filter);
    if (!filters.isEmpty()) dialog->setNameFilters(filters);
    if (!request.fileName.IsEmpty()) {
        // A path of the system names its folder below the data root.
        const QFileInfo initial(QFile::decodeName(winport::HostPath(request.fileName.c_str()).c_str()));
        if (initial.isAbsolute() && initial.dir().exists()) dialog->setDirectory(initial.dir());
        dialog->selectFile(initial.fileName());
    }
    ++m_nOpen;
    dialog->setWindowModality(m_owner ? Qt::WindowModal : Qt::ApplicationModal);
    QObject::connect(dialog, &QDialog::finished, dialog, [this, dialog, done](int result) {
            --m_nOpen;
        const QStringList chosen = dialog->selectedFiles();
        dialog->deleteLater();
        if (!done) return;
        if (result != QDialog::Accepted || chosen.isEmpty())
            done(false, CString());
        else
            done(true, CString(QFile::encodeName(chosen.first()).constData()));
    });
    dialog->open();
}

void QtShell::RunDialog(HWND, ShellDialog dialog, MessageDone done)
{
    QDialog* d = nullptr;
    switch (dialog) {
    case ShellDialog::ConfirmClose: d = new CConfirmClose(m_owner); break;
    case ShellDialog::PortError: d = new CPortError(m_owner); break;
    case ShellDialog::About: d = new CAboutDlg(m_owner); break;
    }
    Open(d, std::move(done));
}

void QtShell::RunSetupDialog(HWND owner, const SetupDialogPreset& preset, std::function<void()> done)
{
    auto* dialog = new CDiagnosticsWindow(owner, this, preset, m_owner);
    Open(dialog, [this, done](int) {
        // The main window shows what the dialog's commands changed at once.
        if (m_owner) m_owner->repaint();
        if (done) done();
    });
}

void QtShell::RunMidiDialog(HWND owner, MidiDialog which, std::function<void()> done)
{
    // Over the set-up and test dialog that asks for it.
    QWidget* parent = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : m_owner.data();
    QDialog* dialog = nullptr;
    if (m_pDialog) {
        CRackSetup* setup = &m_pDialog->m_RackSetup;
        switch (which) {
        case MidiDialog::RackSetup: dialog = new CMidiSetupWindow(setup, owner, this, parent); break;
        case MidiDialog::PreSetup:
            if (auto* manager = dynamic_cast<CMidiPortManager*>(&m_pDialog->GetMidiPorts()))
                dialog = new CPRESetupWindow(setup, std::make_shared<PortManagerDetection>(*manager), owner, this, parent);
            break;
        case MidiDialog::PortSelection: {
            CMicDlg* main = m_pDialog;
            dialog = new CMidiPortSelectionWindow(
                main->GetMidiPorts(), [main](bool running) { main->SetMidiRunning(running ? TRUE : FALSE); }, parent);
            break;
        }
        }
    }
    if (!dialog) {
        if (done) done();
        return;
    }
    Open(dialog, [this, done](int) {
        // The main window's slot panels show what the dialog changed.
        if (m_owner) m_owner->repaint();
        if (done) done();
    });
}

void QtShell::RunMiniView(HWND, std::function<void()> done)
{
    if (!m_pDialog || m_mini) {
        if (done) done();
        return;
    }
    auto* mini = new CMinimisedWindow(*m_pDialog, this);
    m_mini = mini;
    // It opens where the main window stands, then where it last was in this run.
    const QPoint mainCorner = m_owner ? m_owner->frameGeometry().topLeft() : QPoint(0, 0);
    mini->Core().OnInitDialog(CPoint(mainCorner.x(), mainCorner.y()));
    const CPoint at = mini->Core().InitialPosition();
    mini->move(at.x, at.y);
    QObject::connect(mini, &QDialog::finished, mini, [mini, done](int) {
        mini->deleteLater();
        if (done) done();
    });
    mini->show();
    mini->raise();
    mini->activateWindow();
}

void QtShell::ShowMiniView(bool show)
{
    if (m_mini) m_mini->setVisible(show);
}

QtShell::~QtShell()
{
    delete m_readout.data();  // it draws the shell's read-out core
    if (m_pTray) m_pTray->RemoveIcon();
}

void QtShell::TrayIcon(HWND owner, const char* tip, int image)
{
    constexpr UINT kIconId = 128;
    constexpr UINT kAnimationStrip = 572;
    if (!m_pTray) {
        m_pTray = std::make_unique<CTrayIcon>(m_pTrayBackend);
        m_bTrayShown = m_pTray->Create(owner, ProgramIcon(), kIconId, tip) != FALSE;
        m_pTray->SetIconList(kAnimationStrip);
    } else if (m_pTray->GetTooltip() != tip) {
        m_pTray->SetTooltip(tip);
    }
    m_pTray->SetIconFromList(image);
}

void QtShell::TrackPopupMenu(HWND, const std::vector<MenuItem>& items, MenuCorner corner, std::function<void(UINT id)> done)
{
    auto* menu = new QMenu(m_owner);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The choice comes before the menu goes; done is called once, when it goes.
    auto chosen = std::make_shared<UINT>(0);
    std::function<void(QMenu*, const std::vector<MenuItem>&)> fill = [&fill, chosen](QMenu* into, const std::vector<MenuItem>& list) {
        for (const MenuItem& item : list) {
            const QString text = winport::QStringFromAnsi(item.text.c_str());
            if (item.text.IsEmpty()) {
                into->addSeparator();
                continue;
            }
            if (!item.subItems.empty()) {
                fill(into->addMenu(text), item.subItems);
                continue;
            }
            into->addAction(text)->setData(item.id);
        }
        QObject::connect(into, &QMenu::triggered, into, [chosen](QAction* action) { *chosen = action->data().toUInt(); });
    };
    fill(menu, items);
    m_menu = menu;
    QObject::connect(menu, &QObject::destroyed, [chosen, done] {
        if (done) done(*chosen);
    });
    const QPoint pointer = QCursor::pos();
    const QSize size = menu->sizeHint();
    menu->popup(corner == MenuCorner::BottomRight ? pointer - QPoint(size.width(), size.height()) : pointer);
}


void QtShell::SetReadoutChannels(HWND, const ReadoutChannels& records, bool changedOnly)
{
    m_BigControls2.ShowChannel(records[0], records[1], records[2], changedOnly ? TRUE : FALSE);
}

bool QtShell::ShowReadout(HWND, ReadoutEvent event)
{
    if (!m_readout) {
        auto* window = new CBigControls2Window(m_BigControls2, m_owner);
        m_readout = window;
        Open(window, [this, window, event](int) {
            if (m_readout == window) m_readout = nullptr;       // a new one may come up at once
            if (!window->EndedByCore() && event) event(false);  // the operator closed it
        });
    } else {
        m_readout->raise();
        m_readout->activateWindow();
    }
    // Ready once it is up (the dialog ignores this when it went meanwhile).
    QTimer::singleShot(0, m_readout.data(), [event] {
        if (event) event(true);
    });
    return true;
}

void QtShell::CloseReadout(HWND) { m_BigControls2.ClearChannels(); }

void QtShell::RaiseForReadout(HWND)
{
    // Later raises find the main window in front: the first window stays remembered.
    if (!m_bFrontRemembered) {
        m_front = QApplication::activeWindow();
        m_bOtherProgramInFront = m_front.isNull();
        m_bFrontRemembered = true;
    }
    if (!m_owner) return;
    m_owner->raise();
    m_owner->activateWindow();
    // A read-out that is up stays over its window (without a window manager nothing else
    // keeps it there).
    if (m_readout) {
        m_readout->raise();
        m_readout->activateWindow();
    }
}

void QtShell::RestoreFrontWindow(HWND)
{
    if (!m_bFrontRemembered) return;
    m_bFrontRemembered = false;
    QWidget* front = m_front;
    m_front = nullptr;
    if (m_bOtherProgramInFront) {
        if (m_owner) m_owner->lower();
    } else if (front && front != m_owner) {  // a window of ours that has gone stays gone
        front->raise();
        front->activateWindow();
    }
}

void QtShell::WaitCursor(bool on)
{
    if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
    else QApplication::restoreOverrideCursor();
}

void QtShell::OpenMidiMonitor(HWND owner)
{
    if (m_monitor) {
        m_monitor->show();
        m_monitor->raise();
        m_monitor->activateWindow();
        return;
    }
    if (!m_pDialog) return;
    m_monitor = new MidiMonitorWindow(m_pDialog->GetMidiMonitor(), owner, m_owner);
    m_monitor->show();
}

void QtShell::CloseMidiMonitor()
{
    if (m_monitor) m_monitor->close();
}
