// The mic program without a screen: the application's start-up, the single-instance check and
// the main dialog's core on the platform's message loop. It prints what a window would show.
#include <cstdio>

#include "app/MicApp.h"
#include "app/MicDlg.h"
#include "base/Shell.h"
#include "winport/MidiBackend.h"

namespace {

class ConsoleView : public CMicDlgView {
public:
    void TitleChanged(const char* title) override { std::printf("title %s\n", title); std::fflush(stdout); }
    void RestoreAndRaise() override { std::printf("wake-up\n"); std::fflush(stdout); }
};

}  // namespace

int main(int argc, char** argv)
{
    winport::midi::BackendScope midi;  // MIDI's clients go before main returns
    CMicApp app([](CMicApp& self) {
        HeadlessShell shell;
        ConsoleView view;
        CMicDlg dlg(&self, &shell);
        dlg.SetView(&view);
        std::printf("running\n");
        std::fflush(stdout);
        dlg.DoModal();
    });
    app.InitInstance(CMicApp::CommandLineOf(argc, argv));
    return 0;
}
