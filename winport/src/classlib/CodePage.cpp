#include "winport/CodePage.h"

#include <cstring>
#include <cwchar>

namespace {

// Bytes 0x80 to 0x9F of Windows-1252; the five bytes the code page leaves undefined map to the
// control character of the same number, as Windows converts them.
const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

wchar_t wideOf(unsigned char b)
{
    return (b >= 0x80 && b < 0xA0) ? static_cast<wchar_t>(kHigh[b - 0x80]) : static_cast<wchar_t>(b);
}

// The byte for a wide character, or -1 when the code page has none.
int byteOf(wchar_t w)
{
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) return static_cast<int>(w);
    for (int i = 0; i < 32; ++i) {
        if (static_cast<wchar_t>(kHigh[i]) == w) return 0x80 + i;
    }
    return -1;
}

bool supported(UINT codePage) { return codePage == CP_ACP || codePage == 1252; }

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR multiByte, int cbMultiByte, LPWSTR wideChar,
                        int cchWideChar)
{
    if (!supported(codePage) || !multiByte || cbMultiByte == 0 || cchWideChar < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = cbMultiByte < 0 ? std::strlen(multiByte) + 1 : static_cast<size_t>(cbMultiByte);
    if (cchWideChar == 0) return static_cast<int>(n);
    if (!wideChar || n > static_cast<size_t>(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (size_t i = 0; i < n; ++i) wideChar[i] = wideOf(static_cast<unsigned char>(multiByte[i]));
    return static_cast<int>(n);
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wideChar, int cchWideChar, LPSTR multiByte,
                        int cbMultiByte, LPCSTR defaultChar, LPBOOL usedDefault)
{
    if (!supported(codePage) || !wideChar || cchWideChar == 0 || cbMultiByte < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = cchWideChar < 0 ? std::wcslen(wideChar) + 1 : static_cast<size_t>(cchWideChar);
    if (usedDefault) *usedDefault = FALSE;
    if (cbMultiByte == 0) return static_cast<int>(n);
    if (!multiByte || n > static_cast<size_t>(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    char fallback = (defaultChar && *defaultChar) ? *defaultChar : '?';
    for (size_t i = 0; i < n; ++i) {
        int b = byteOf(wideChar[i]);
        if (b < 0) {
            multiByte[i] = fallback;
            if (usedDefault) *usedDefault = TRUE;
        } else {
            multiByte[i] = static_cast<char>(b);
        }
    }
    return static_cast<int>(n);
}

namespace winport {

std::wstring WideFromCp1252(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    for (char c : text) out.push_back(wideOf(static_cast<unsigned char>(c)));
    return out;
}

std::string Cp1252FromWide(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t w : text) {
        int b = byteOf(w);
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return out;
}

}  // namespace winport
