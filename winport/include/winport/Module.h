// Dynamic libraries by name. A few system libraries that the code loads by name are built into
// this layer ("shlwapi.dll"); any other name is loaded with the host's loader: the name as
// given, then, for "name.dll", "libname.so" (found on the usual library path).
#pragma once

#include "winport/WinTypes.h"

/// A procedure address; callers cast it to the procedure's type (void (*)(void) converts to
/// any function pointer type without a warning).
typedef void (*FARPROC)(void);

HMODULE LoadLibraryA(LPCSTR lpLibFileName);
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL FreeLibrary(HMODULE hLibModule);
