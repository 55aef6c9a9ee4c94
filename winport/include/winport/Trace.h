// The printf-style trace that the system calls throughout. It writes to standard error when
// WINPORT_TRACE is set in the environment, and costs a flag test otherwise.
#pragma once

void WinportTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
#define TRACE WinportTrace
#define TRACE0(s) WinportTrace("%s", s)
