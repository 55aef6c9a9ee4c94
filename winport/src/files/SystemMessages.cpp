#include "winport/SystemMessages.h"

#include <cstdlib>
#include <cstring>

namespace {

struct SystemText {
    DWORD code;
    const char* text;
};

// The system's English texts of the codes that file, folder and storage operations give.
const SystemText kTexts[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {15, "The system cannot find the drive specified."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33, "The process cannot access the file because another process has locked a portion of the file."},
    {38, "Reached the end of the file."},
    {39, "The disk is full."},
    {50, "The request is not supported."},
    {80, "The file exists."},
    {82, "The directory or file cannot be created."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {145, "The directory is not empty."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
};

const char* textOf(DWORD code)
{
    for (const SystemText& t : kTexts)
        if (t.code == code) return t.text;
    return nullptr;
}

}  // namespace

DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, LPSTR buffer, DWORD size, va_list*)
{
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = textOf(messageId);
    if (!text) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const size_t length = std::strlen(text) + 2;  // with "\r\n"
    char* out = buffer;
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        out = static_cast<char*>(std::malloc(length + 1 > size ? length + 1 : size));
        if (!out) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        *reinterpret_cast<char**>(buffer) = out;
    } else if (size < length + 1) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(out, text, length - 2);
    std::memcpy(out + length - 2, "\r\n", 3);
    return static_cast<DWORD>(length);
}

HLOCAL LocalFree(HLOCAL memory)
{
    std::free(memory);
    return NULL;
}
