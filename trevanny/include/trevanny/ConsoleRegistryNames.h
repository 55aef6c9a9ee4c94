// The console settings of the library: the console type, fader and strip counts and option
// flags, read once per process from the "Main" key of this machine's HKEY_LOCAL_MACHINE.
// Console types 1 and 6 form the small-console family.
#pragma once

#include "trevanny/ConsoleValues.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

/// The key of the console settings and its 21 value names; constructing one makes sure that the
/// settings are loaded. Every static member is safe from any thread.
class CConsoleRegistryNames {
public:
    static constexpr int kNameCount = 22;

    CConsoleRegistryNames();
    virtual ~CConsoleRegistryNames();

    /// Position 0 is the key, 1 to 21 the value names; any other position gives an empty name.
    const CString& GetName(int position) const;
    const CString& GetKey() const { return m_strNames[0]; }

    /// Reads the settings the first time it is called in the process; later calls do nothing.
    /// A thread that calls it while another thread reads waits until the values are there.
    static void LoadConsoleSettings();
    /// One setting (loaded first when needed): the console type 3, "CutABPath" 128,
    /// "LiveDetectTQ" 1, "CantlePlus" 1 and every other setting 0 when the registry has none.
    static int GetSetting(enConsoleValue which);
    static int GetConsoleType() { return GetSetting(enConsoleType); }
    /// TRUE on console types 1 and 6.
    static BOOL IsSmallConsole();
    /// TRUE when the console type is 3.
    static BOOL IsKLBConsole();
    /// The number of mix-minus groups. The console software keeps no value for it under the
    /// settings key, so there are none.
    static int GetNumMixMinusGroups() { return 0; }
    /// The display name of a console type ("New Console" for any type it does not know).
    static CString GetConsoleTypeName(int type);
    /// Writes every setting that the load reads back, as DWORDs under the same key and names, to
    /// this machine's HKEY_LOCAL_MACHINE. TRUE when all were written.
    static BOOL SaveConsoleSettings();
    /// Forgets the loaded settings so that the next use reads the registry again. For tests
    /// only: no other thread may use the settings meanwhile.
    static void ResetConsoleSettingsForTesting();

private:
    CString m_strNames[kNameCount];
};

/// Control processes per path: 5 on console types 1 and 6, else 36.
int GetCtrlProcessCount();
/// Route processes per path: 1 on console types 1 and 6, else 48.
int GetRteProcessCount();
