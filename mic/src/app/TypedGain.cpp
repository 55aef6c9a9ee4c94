#include "app/TypedGain.h"

TypedGainEntry::Result TypedGainEntry::Typed(char c, int& item)
{
    if (c < '0' || c > '9') {
        Clear();
        return kInvalid;
    }
    int digit = c - '0';
    if (m_held < 0) {
        if (digit > kHighestDigit) return kInvalid;
        m_held = digit;
        return kHeld;
    }
    int tens = 10 * m_held;
    int number;
    if ((digit == 0 || digit == 5) && m_held < kHighestDigit) {
        number = tens + digit;
    } else {
        number = tens + ((tens < 10 * kHighestDigit && digit > 5) ? 5 : 0);
    }
    Clear();
    item = number / 5;
    return kItem;
}

bool TypedGainEntry::Leave(int& item)
{
    bool held = m_held >= 0;
    if (held) item = 2 * m_held;
    Clear();
    return held;
}
