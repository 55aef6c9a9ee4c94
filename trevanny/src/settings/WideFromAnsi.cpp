#include "trevanny/WideFromAnsi.h"

#include <cstring>

#include "winport/CodePage.h"

void WideFromAnsi(const char* text, wchar_t** out)
{
    if (out == nullptr) return;
    if (text == nullptr) text = "";
    // Every byte of the code page is one wide character, so the length is the byte length.
    const int length = static_cast<int>(std::strlen(text));
    wchar_t* block = new wchar_t[static_cast<size_t>(length) + 1];
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text, length, block, length);
    block[length] = 0;
    *out = block;
}
