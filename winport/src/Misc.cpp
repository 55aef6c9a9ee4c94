#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "winport/CString.h"
#include "winport/Trace.h"
#include "winport/WinTypes.h"

namespace {
thread_local DWORD t_lastError = 0;
const bool g_traceOn = std::getenv("WINPORT_TRACE") != nullptr;
}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

void WinportTrace(const char* format, ...)
{
    if (!g_traceOn) return;
    va_list args;
    va_start(args, format);
    std::string s = WinportFormatV(format, args);
    va_end(args);
    std::fputs(s.c_str(), stderr);
}
