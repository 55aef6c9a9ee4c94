// Message boxes and process exit go through hooks, so that a program shows its own message box
// (the mic program installs a Qt one) and tests record the boxes and turn an exit into an
// exception instead of ending the test process.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "winport/WinTypes.h"

// Buttons.
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_TYPEMASK 0x0000000Fu
// Icons.
#define MB_ICONHAND 0x00000010u
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0u
// Default button.
#define MB_DEFBUTTON1 0x00000000u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u
#define MB_DEFMASK 0x00000F00u
// Modality and placement.
#define MB_APPLMODAL 0x00000000u
#define MB_SYSTEMMODAL 0x00001000u
#define MB_TASKMODAL 0x00002000u
#define MB_SETFOREGROUND 0x00010000u
#define MB_TOPMOST 0x00040000u

// Answers.
#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

namespace winport {

/// A message box: (owner window, text, caption, MB_* type) to the answer (IDOK ...).
using MessageBoxHook = std::function<int(HWND owner, const char* text, const char* caption, UINT type)>;
/// A process exit: (exit code). A hook that returns lets the exit go on as usual; a test's hook
/// throws (ExitRequested) so that the caller's stack unwinds into the test.
using ExitHook = std::function<void(int exitCode)>;

/// Installs the hook (an empty function restores the default) and returns the previous one.
/// Without a hook a message box is written to standard error and answered with its default
/// button (the one MB_DEFBUTTONn names) as if the operator had pressed Enter.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
ExitHook SetExitHook(ExitHook hook);

/// The answer a box of this type gets from its default button.
int DefaultMessageBoxAnswer(UINT type);

/// What a test's exit hook throws.
class ExitRequested : public std::runtime_error {
public:
    explicit ExitRequested(int code) : std::runtime_error("process exit " + std::to_string(code)), m_code(code) {}
    int Code() const { return m_code; }

private:
    int m_code;
};

/// Ends the process at once (standard streams flushed, this program's window endpoints removed,
/// no destructors run), after the exit hook. Stands for ExitProcess and for _exit.
[[noreturn]] void ImmediateExit(int exitCode);

}  // namespace winport

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
/// The class library's message box: the caption is the program's name.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
[[noreturn]] void ExitProcess(UINT exitCode);
