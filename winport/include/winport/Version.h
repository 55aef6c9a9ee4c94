// GetVersionExA: the system version that the programs were written against. This layer reports
// Windows 5.1 (build 2600), so version checks take their "5 or later" branches.
#pragma once

#include "winport/WinTypes.h"

#define VER_PLATFORM_WIN32_NT 2

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
typedef OSVERSIONINFOA* LPOSVERSIONINFOA;

/// FALSE when the structure's size field is not set to its size.
BOOL GetVersionExA(LPOSVERSIONINFOA info);
