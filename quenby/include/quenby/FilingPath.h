// A path of the server's filing areas, parsed as a Windows path: its drive, folder, file name
// and extension, the machine of a network path, and the user and up to four levels of a user's
// automation-pass area ("...\users\<user>\automation passes\<level 1>\...\").
#pragma once

#include "winport/CString.h"
#include "winport/Collections.h"

class CFilingPath {
public:
    CFilingPath() = default;
    /// Parses the text; an empty text leaves every field empty and the path not valid.
    explicit CFilingPath(const CString& text);

    /// 1 when the path lies in a user's automation-pass area.
    BYTE IsValid() const { return m_byValid; }
    const CString& GetFullPath() const { return m_strFullPath; }
    /// "C:" or empty.
    const CString& GetDrive() const { return m_strDrive; }
    /// With its leading and trailing backslash.
    const CString& GetDirectory() const { return m_strDirectory; }
    const CString& GetFileName() const { return m_strFileName; }
    /// With its dot.
    const CString& GetExtension() const { return m_strExtension; }
    const CString& GetMachine() const { return m_strMachine; }
    const CString& GetUser() const { return m_strUser; }
    /// Pass levels 1 to 4; empty for any other level.
    CString GetPassLevel(int level) const;

    /// The folder names of the directory in order (empty names skipped); their number.
    int SplitDirectory(CStringArray& out) const;
    /// As SplitDirectory, but keeps a name only while the folder made of the names kept so far
    /// and this one exists below the root of drive C:; the first that does not ends the list.
    /// The process's current directory is not changed.
    int SplitExistingDirectory(CStringArray& out) const;
    /// The extension without its dot, empty when there is none.
    CString GetExtensionWithoutDot() const;
    CString GetDriveAndDirectory() const { return m_strDrive + m_strDirectory; }

private:
    BYTE m_byValid = 0;
    CString m_strFullPath, m_strDrive, m_strDirectory, m_strFileName, m_strExtension;
    CString m_strMachine, m_strUser;
    CString m_strPassLevel[4];
};
