// Profile files (".ini"): sections of "key=value" lines. Section and key names compare
// case-insensitively and keep their case; the order of sections and keys is kept; values are
// taken as they stand after trimming blanks (no quoting, no escapes).
//
// A file name without a folder lives in the profile folder: WINPORT_PROFILE_DIR, else the
// Windows directory below the data root (<WINPORT_DATA_ROOT>/c/WINDOWS). Other names are
// Windows paths (see winport/Paths.h). A write replaces the file through a temporary file, so a
// failed write leaves the previous file whole. Safe from any thread.
#pragma once

#include <string>

#include "winport/CString.h"
#include "winport/WinTypes.h"

/// Copies the value of key in section (or `lpDefault` when missing) into the buffer and returns
/// the number of characters copied, without the terminator; a value cut to the buffer returns
/// nSize - 1. A null section lists the section names, a null key the section's key names, each
/// zero-terminated with one more zero at the end (a cut list returns nSize - 2).
DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                               DWORD nSize, LPCSTR lpFileName);
/// The value as a number (decimal, optional sign, or "0x" hex; text after the digits is
/// ignored; a value that is no number gives 0), or nDefault when the key is missing.
UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName);
/// Writes a value; a null string deletes the key, a null key deletes the section.
BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName);

namespace winport {

/// The profile folder (see above).
std::string ProfileDir();
/// The host path of a profile file name.
std::string ProfilePath(const char* fileName);

// The application profile of the class library: one profile file per program, named by the
// program (the executable's name with ".ini" until SetProfileName is called).
void SetProfileName(const char* fileName);
CString GetProfileName();
UINT GetProfileInt(const char* section, const char* entry, int nDefault);
BOOL WriteProfileInt(const char* section, const char* entry, int nValue);
CString GetProfileString(const char* section, const char* entry, const char* lpszDefault = nullptr);
/// A null value deletes the entry; a null entry deletes the section.
BOOL WriteProfileString(const char* section, const char* entry, const char* lpszValue);

}  // namespace winport
