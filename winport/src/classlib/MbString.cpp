#include "winport/MbString.h"

unsigned char* _mbsnbcpy(unsigned char* dest, const unsigned char* src, size_t count)
{
    size_t i = 0;
    for (; i < count && src[i]; ++i) dest[i] = src[i];
    for (; i < count; ++i) dest[i] = 0;
    return dest;
}
