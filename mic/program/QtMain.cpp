// The mic program with its window: Qt's event loop drives the platform's message loop, the
// main dialog's core runs on it, and its window, dialogs and tray icon are Qt's.
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <utility>
#include <unistd.h>

#include "app/MicApp.h"
#include "app/MicDlg.h"
#include "base/ProgramConstants.h"
#include "mic_ui/MicDlgWindow.h"
#include "mic_ui/QtShell.h"
#include "mic_ui/SmallDialogs.h"
#include "ui/DialogPlacement.h"
#include "winport/Clock.h"
#include "winport/MidiBackend.h"
#include "winport/Screens.h"
#include "winport/Window.h"
#include "winport_ui/QtMessageBox.h"
#include "winport_ui/QtMessagePump.h"
#include "winport_ui/QtScreenService.h"

namespace {

/// The server's close request: save and end without asking.
constexpr UINT kCloseRequest = WM_APP + 1;

/// The main dialog's position is kept under this window name.
const CString kPlacementName = CString(kProgramControlName) + "-MainDlg";

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    // Ends what waits on the server at start-up, so that the close below can run.
    winport::RequestProgramClose();
    const char byte = 1;
    ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    (void)n;
}

/// SIGTERM and SIGINT end the program the way the server's close request does, so that the
/// settings and the auto-restore file are saved.
void closeOnSignals(QObject* owner, const HWND& dialog)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [&dialog] {
        char buffer[16];
        while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        if (dialog) PostMessageA(dialog, kCloseRequest, 0, 0);
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

/// The window, which also reports on standard output what scripts watch for: "running" once
/// the dialog runs, its title, and each wake-up by a second start.
class ProgramWindow : public MicDlgWindow {
public:
    using MicDlgWindow::MicDlgWindow;
    void TitleChanged(const char* title) override
    {
        MicDlgWindow::TitleChanged(title);
        std::printf("title %s\n", title);
        std::fflush(stdout);
    }
    void RestoreAndRaise() override
    {
        MicDlgWindow::RestoreAndRaise();
        std::printf("wake-up\n");
        std::fflush(stdout);
    }
};

/// Every message box the program shows is also reported on standard output ("box <caption>:
/// <text>"), for the scripts that watch the program: the boxes of the platform's hook, and
/// those the dialogs ask of the shell.
void reportBox(const char* caption, const char* text)
{
    std::printf("box %s: %s\n", caption ? caption : "", text ? text : "");
    std::fflush(stdout);
}

void reportMessageBoxes()
{
    auto shown = std::make_shared<winport::MessageBoxHook>();
    *shown = winport::SetMessageBoxHook([shown](HWND owner, const char* text, const char* caption, UINT type) {
        reportBox(caption, text);
        return (*shown)(owner, text, caption, type);
    });
}

class ProgramShell : public QtShell {
public:
    void MessageBox(HWND owner, const char* text, const char* caption, UINT type, MessageDone done) override
    {
        reportBox(caption, text);
        QtShell::MessageBox(owner, text, caption, type, std::move(done));
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);  // takes Qt's own options off the command line
    QApplication::setApplicationName("mic");
    QApplication::setWindowIcon(ProgramIcon());
    QApplication::setQuitOnLastWindowClosed(false);
    winport::InstallQtMessageBoxHook();
    reportMessageBoxes();
    auto screens = winport::QtScreenService::Install();
    RegisterProgramMessages();

    HWND dialogWindow = nullptr;
    closeOnSignals(&qapp, dialogWindow);
    winport::midi::BackendScope midi;  // MIDI's clients go before main returns

    CMicApp app([&](CMicApp& self) {
        ProgramShell shell;
        CMicDlg dlg(&self, &shell);
        winport::QtMessagePump pump;
        ProgramWindow window(dlg);
        shell.SetOwner(&window);
        shell.SetDialog(&dlg);
        dlg.SetView(&window);
        // The window takes its place before the dialog starts, so that what the dialog asks at
        // start appears over it.
        DialogPlacement placement(screens->HandleOf(&window), kPlacementName);
        placement.Restore();
        window.show();
        if (!dlg.Create()) return;
        dialogWindow = dlg.GetSafeHwnd();
        screens->Attach(dialogWindow, &window);
        window.Refresh();
        std::printf("running\n");
        std::fflush(stdout);
        pump.RunUntilQuit();
        placement.Save();
        screens->Detach(dialogWindow);
        dialogWindow = nullptr;
        dlg.SetView(nullptr);
    });
    app.InitInstance(CMicApp::CommandLineOf(argc, argv));
    return 0;
}
