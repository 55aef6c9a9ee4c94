#include "base/Shell.h"

#include "winport/Hooks.h"

void HeadlessShell::MessageBox(HWND owner, const char* text, const char* caption, UINT type, MessageDone done)
{
    int answer = ::MessageBoxA(owner, text, caption, type);
    if (done) done(answer);
}

void HeadlessShell::FileDialog(HWND, const FileDialogRequest&, FileDone done)
{
    if (done) done(false, CString());
}

void Shell::RunDialog(HWND owner, ShellDialog dialog, MessageDone done)
{
    switch (dialog) {
    case ShellDialog::ConfirmClose:
        MessageBox(owner, "Do you want to Close the Application ?", "Please Confirm Action", MB_YESNO | MB_ICONQUESTION,
                   [done](int answer) {
                       if (done) done(answer == IDYES || answer == IDOK ? IDOK : IDCANCEL);
                   });
        return;
    case ShellDialog::PortError:
        MessageBox(owner,
                   "Unable to open communication port !\nCheck the following :-\n"
                   "1.   Is there another device using the port (e.g. mouse) ?\n"
                   "2.   Are both ports enabled in the system bios ?",
                   "Port Error", MB_OK | MB_ICONEXCLAMATION, [done](int) {
                       if (done) done(IDOK);
                   });
        return;
    case ShellDialog::About:
        MessageBox(owner, "Version 2.0", "Remote Mic Controller", MB_OK, [done](int) {
            if (done) done(IDOK);
        });
        return;
    }
}
