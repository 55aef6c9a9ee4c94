// The operator's side of the program's questions: message boxes and file dialogs. A dialog
// core never waits for the operator: it asks through the shell and goes on when the answer
// comes back (at once or later, on the user-interface thread). The program's Qt shell shows
// real dialogs; tests answer from a script; the headless program uses the platform's message
// box hook and cancels file dialogs.
#pragma once

#include <functional>

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
    /// The tray icon of the window with its tip; its picture animates while animate is set.
    /// Clicks on it reach the window as "MsgTaskIconNotify".
    virtual void TrayIcon(HWND owner, const char* tip, bool animate)
    {
        (void)owner;
        (void)tip;
        (void)animate;
    }
};

/// Message boxes through the platform's hook (MessageBoxA), file dialogs cancelled: for
/// programs and tests without a screen.
class HeadlessShell : public Shell {
public:
    void MessageBox(HWND owner, const char* text, const char* caption, UINT type, MessageDone done) override;
    void FileDialog(HWND owner, const FileDialogRequest& request, FileDone done) override;
};
