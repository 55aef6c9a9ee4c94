#include "winport/Version.h"

#include <cstring>

BOOL GetVersionExA(LPOSVERSIONINFOA info)
{
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    return TRUE;
}
