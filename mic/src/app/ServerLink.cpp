#include "app/ServerLink.h"

#include "app/ConsoleInfo.h"
#include "app/MicApp.h"
#include "winport/Paths.h"
#include "winport/Profile.h"
#include "winport/RegistryObject.h"

ServerModeDecision DecideServerMode()
{
    ServerModeDecision d;
    CConsoleInfo info;
    if (!CConsoleInfo::IsK7Series()) return d;
    CCurrentUserRegistryObject registry;
    int value = -1;
    registry.GetInt(kServerModeKey, kServerModeValue, value, -1);
    if (value == -1) value = static_cast<int>(winport::GetProfileInt(kSettingsSection, kServerModeValue, -1));
    if (value != 1) return d;
    DWORD attributes = GetFileAttributesA(kServerProgramFile);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return d;
    d.useWithCantle = 1;
    d.cantlePresent = 1;
    return d;
}
