#include "trevanny/ConsoleRegistryNames.h"

namespace {
constinit CConsoleValueStore g_consoleSettings(kLibraryConsoleValueReads);
}  // namespace

CConsoleRegistryNames::CConsoleRegistryNames()
{
    for (int i = 0; i < kNameCount; ++i) m_strNames[i] = kConsoleValueNames[i].name;
    LoadConsoleSettings();
}

CConsoleRegistryNames::~CConsoleRegistryNames() = default;

const CString& CConsoleRegistryNames::GetName(int position) const
{
    static const CString empty;
    return (position >= 0 && position < kNameCount) ? m_strNames[position] : empty;
}

void CConsoleRegistryNames::LoadConsoleSettings() { g_consoleSettings.Load(); }

int CConsoleRegistryNames::GetSetting(enConsoleValue which)
{
    return which < kNameCount ? g_consoleSettings.Get(which) : 0;
}

BOOL CConsoleRegistryNames::IsSmallConsole()
{
    const int type = GetConsoleType();
    return type == 1 || type == 6;
}

BOOL CConsoleRegistryNames::IsKLBConsole() { return GetConsoleType() == 3; }

CString CConsoleRegistryNames::GetConsoleTypeName(int type)
{
    switch (type) {
    case 0: return "Sorel Series";
    case 1: return "Hesk Series";
    case 2: return "Quarn Music";
    case 3:
        if (GetSetting(enKLB2)) return "KLB2";
        if (GetSetting(enKLBSabrel)) return "KLB Sabrel";
        return "KLB Series";
    case 4: return "Quarn Live";
    case 5: return "Quarn Post";
    case 6: return "K7X";
    case 7: return GetSetting(enK7D) ? "K7D" : "QVR";
    default: return "New Console";
    }
}

BOOL CConsoleRegistryNames::SaveConsoleSettings() { return g_consoleSettings.Save(); }

void CConsoleRegistryNames::ResetConsoleSettingsForTesting() { g_consoleSettings.ResetForTesting(); }

// Both load the settings first, through IsSmallConsole.
int GetCtrlProcessCount()
{
    return CConsoleRegistryNames::IsSmallConsole() ? 5 : 36;
}

int GetRteProcessCount()
{
    return CConsoleRegistryNames::IsSmallConsole() ? 1 : 48;
}
