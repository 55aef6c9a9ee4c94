#include "quenby/AnsiToWide.h"

#include "trevanny/WideFromAnsi.h"

void AnsiToWide(const char* text, wchar_t** out) { WideFromAnsi(text, out); }
