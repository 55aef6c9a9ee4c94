#include "app/Shell.h"

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
