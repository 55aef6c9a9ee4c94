#include "winport/Hooks.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <unistd.h>

#include "messages/WindowInternal.h"
#include "winport/Paths.h"

namespace winport {

namespace {

struct Hooks {
    std::mutex mutex;
    MessageBoxHook messageBox;
    ExitHook exit;
};

Hooks& hooks()
{
    static auto* h = new Hooks;
    return *h;
}

std::string programName()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string name(path);
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name = name.substr(0, dot);
    return name;
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard<std::mutex> lock(hooks().mutex);
    std::swap(hooks().messageBox, hook);
    return hook;
}

ExitHook SetExitHook(ExitHook hook)
{
    std::lock_guard<std::mutex> lock(hooks().mutex);
    std::swap(hooks().exit, hook);
    return hook;
}

int DefaultMessageBoxAnswer(UINT type)
{
    static const int kButtons[][3] = {
        {IDOK, IDOK, IDOK},               // MB_OK
        {IDOK, IDCANCEL, IDCANCEL},       // MB_OKCANCEL
        {IDABORT, IDRETRY, IDIGNORE},     // MB_ABORTRETRYIGNORE
        {IDYES, IDNO, IDCANCEL},          // MB_YESNOCANCEL
        {IDYES, IDNO, IDNO},              // MB_YESNO
        {IDRETRY, IDCANCEL, IDCANCEL},    // MB_RETRYCANCEL
    };
    UINT buttons = type & MB_TYPEMASK;
    if (buttons > MB_RETRYCANCEL) buttons = MB_OK;
    UINT def = (type & MB_DEFMASK) >> 8;
    if (def > 2) def = 0;
    return kButtons[buttons][def];
}

void ImmediateExit(int exitCode)
{
    ExitHook hook;
    {
        std::lock_guard<std::mutex> lock(hooks().mutex);
        hook = hooks().exit;
    }
    if (hook) hook(exitCode);
    std::fflush(nullptr);
    detail::RemoveOwnEndpoints();
    ::_exit(exitCode);
}

}  // namespace winport

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    winport::MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> lock(winport::hooks().mutex);
        hook = winport::hooks().messageBox;
    }
    if (!text) text = "";
    if (!caption) caption = "Error";
    if (hook) return hook(owner, text, caption, type);
    std::fprintf(stderr, "%s: %s\n", caption, text);
    return winport::DefaultMessageBoxAnswer(type);
}

int AfxMessageBox(LPCSTR text, UINT type, UINT)
{
    static const std::string name = winport::programName();
    return MessageBoxA(nullptr, text, name.c_str(), type);
}

void ExitProcess(UINT exitCode) { winport::ImmediateExit(static_cast<int>(exitCode)); }
