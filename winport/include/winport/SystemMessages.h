// The texts of system error codes (FormatMessageA from the system's table), in English, for the
// codes that file operations give, and the local memory they are handed out in.
#pragma once

#include <cstdarg>

#include "winport/WinTypes.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(primary, sub) ((static_cast<WORD>(sub) << 10) | static_cast<WORD>(primary))

typedef HANDLE HLOCAL;

/// The system's text for `messageId`, ended by "\r\n" as the system's texts are. Only
/// FORMAT_MESSAGE_FROM_SYSTEM is served (with or without FORMAT_MESSAGE_IGNORE_INSERTS). With
/// FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is taken as a char** that receives a new block (the
/// caller frees it with LocalFree; at least `size` bytes); otherwise the text goes into `buffer`
/// of `size` bytes. Returns the text's length without its zero, or 0 with the last error set:
/// ERROR_MR_MID_NOT_FOUND for a code without a text, ERROR_INSUFFICIENT_BUFFER, or
/// ERROR_INVALID_PARAMETER for any other source. Safe from any thread.
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     va_list* arguments);
/// Frees a block that FormatMessageA allocated; NULL on success (and for NULL).
HLOCAL LocalFree(HLOCAL memory);
