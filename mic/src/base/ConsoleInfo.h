// Which console the program runs with: the console type and the configuration values of the
// console's "Main" key of this machine's HKEY_LOCAL_MACHINE, read once per run.
#pragma once

#include "trevanny/ConsoleValues.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

/// Constructing one makes sure that the values are loaded. The values are process-wide and
/// safe to read from any thread.
class CConsoleInfo {
public:
    /// The key and the 23 value names.
    static constexpr int kNameCount = enConsoleValueCount;

    CConsoleInfo();
    virtual ~CConsoleInfo();

    /// Position 0 is the key, 1 to 23 the value names; any other position gives an empty name.
    const CString& GetName(int position) const;

    /// One value; "NewMCS" is never read and gives 0, as does a position outside the table.
    static int GetValue(enConsoleValue which);
    /// TRUE when the console type is 6.
    static BOOL IsK7Series();
    /// TRUE when the console type is not 8.
    static BOOL IsConsoleTypeNot8();
    /// Writes the 22 values that the load reads back to the key, in reading order. TRUE when all
    /// were written.
    static BOOL Save();
    /// Forgets the loaded values so that the next use reads the registry again. For tests only.
    static void ResetForTesting();

private:
    CString m_strNames[kNameCount];
};
