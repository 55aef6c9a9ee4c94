#include "EventConsole.h"

#include "trevanny/ConsoleRegistryNames.h"
#include "winport/RegistryObject.h"

int CurrentConsoleType() { return CConsoleRegistryNames::GetConsoleType(); }

int ReadSampleRatePreference()
{
    int rate = 48000;
    CCurrentUserRegistryObject registry;
    registry.GetInt("Software\\VokSettings\\KIVSERVER\\PrefereceArea\\", "SampleRatePref", rate, 48000);
    return rate;
}
