#include "winport/TextConversion.h"

#include <cwchar>

namespace {

// Characters of the bytes 0x80 to 0x9F in Windows-1252; the other bytes are their own code point.
constexpr wchar_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool knownCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_WINDOWS_1252; }

wchar_t wideFromByte(unsigned char b)
{
    return (b >= 0x80 && b <= 0x9F) ? kHighControls[b - 0x80] : static_cast<wchar_t>(b);
}

// The byte of a wide character, or -1 when Windows-1252 has none.
int byteFromWide(wchar_t w)
{
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) return static_cast<int>(w);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] == w) return 0x80 + i;
    return -1;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, LPCSTR src, int srcLength, LPWSTR dst, int dstLength)
{
    if (!knownCodePage(codePage) || src == nullptr || srcLength == 0 || srcLength < -1 || dstLength < 0 ||
        (dstLength > 0 && dst == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t count = srcLength == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLength);
    if (count > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (dstLength == 0) return static_cast<int>(count);
    if (count > static_cast<size_t>(dstLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < count; ++i) dst[i] = wideFromByte(static_cast<unsigned char>(src[i]));
    return static_cast<int>(count);
}

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWSTR src, int srcLength, LPSTR dst, int dstLength,
                        LPCSTR defaultChar, LPBOOL usedDefault)
{
    if (!knownCodePage(codePage) || src == nullptr || srcLength == 0 || srcLength < -1 || dstLength < 0 ||
        (dstLength > 0 && dst == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t count = srcLength == -1 ? std::wcslen(src) + 1 : static_cast<size_t>(srcLength);
    if (count > 0x7FFFFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (usedDefault) *usedDefault = FALSE;
    if (dstLength == 0) return static_cast<int>(count);
    if (count > static_cast<size_t>(dstLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const char fallback = defaultChar ? defaultChar[0] : '?';
    for (size_t i = 0; i < count; ++i) {
        const int b = byteFromWide(src[i]);
        if (b < 0) {
            dst[i] = fallback;
            if (usedDefault) *usedDefault = TRUE;
        } else {
            dst[i] = static_cast<char>(b);
        }
    }
    return static_cast<int>(count);
}
