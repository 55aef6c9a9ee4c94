#include "winport/Trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "winport/CString.h"

namespace {
const bool g_traceOn = std::getenv("WINPORT_TRACE") != nullptr;
}  // namespace

void WinportTrace(const char* format, ...)
{
    if (!g_traceOn) return;
    va_list args;
    va_start(args, format);
    std::string s = WinportFormatV(format, args);
    va_end(args);
    std::fputs(s.c_str(), stderr);
}
