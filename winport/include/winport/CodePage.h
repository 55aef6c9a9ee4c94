// Text conversion between the system's byte strings (Windows-1252, the ANSI code page) and wide
// strings, as MultiByteToWideChar and WideCharToMultiByte do it.
#pragma once

#include <string>
#include <string_view>

#include "winport/WinTypes.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001

/// Converts bytes of the ANSI code page (Windows-1252; CP_ACP or 1252) into wide characters.
/// cbMultiByte -1 converts up to and with the terminator. cchWideChar 0 asks for the length.
/// Returns the number of wide characters, or 0 (GetLastError: ERROR_INSUFFICIENT_BUFFER,
/// ERROR_INVALID_PARAMETER).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                        LPWSTR wideChar, int cchWideChar);
/// The reverse; characters the code page lacks become defaultChar (or '?') and set *usedDefault.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                        LPSTR multiByte, int cbMultiByte, LPCSTR defaultChar, LPBOOL usedDefault);

namespace winport {

/// Windows-1252 bytes as wide text.
std::wstring WideFromCp1252(std::string_view text);
/// Wide text as Windows-1252 bytes; characters outside the code page become '?'.
std::string Cp1252FromWide(std::wstring_view text);

}  // namespace winport
