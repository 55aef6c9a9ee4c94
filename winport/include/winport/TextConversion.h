// Conversion between the system's byte text (the ANSI code page, Windows-1252) and wide text.
#pragma once

#include "winport/WinTypes.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_WINDOWS_1252 1252

/// Byte text to wide text. The code page is CP_ACP or 1252 (both Windows-1252; every byte has a
/// character, the five bytes that the code page leaves open map to the control characters of
/// the same number). A source length of -1 converts up to and including the terminating zero.
/// With a destination size of 0 the result is the number of wide characters needed; otherwise
/// the number written, or 0 with ERROR_INSUFFICIENT_BUFFER when they do not fit. Invalid
/// arguments or another code page give 0 with ERROR_INVALID_PARAMETER.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLength, LPWSTR dst, int dstLength);

/// Wide text to byte text in the same code page; a character that it cannot hold becomes the
/// default character ('?' when none is given) and sets *usedDefault. Sizes and errors as above.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcLength, LPSTR dst, int dstLength,
                        LPCSTR defaultChar, LPBOOL usedDefault);
