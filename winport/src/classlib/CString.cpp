#include "winport/CString.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <locale.h>

namespace {

bool isWinSpace(unsigned char c)
{
    // The class library trims with isspace in the C locale.
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

locale_t cLocale()
{
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

}  // namespace

int WinportCompareNoCase(const char* a, const char* b)
{
    if (!a) a = "";
    if (!b) b = "";
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(asciiLower(*a));
        unsigned char cb = static_cast<unsigned char>(asciiLower(*b));
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

std::string WinportFormatV(const char* format, va_list args)
{
    if (!format) return {};
    locale_t previous = uselocale(cLocale());
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    std::string out;
    if (n < 0) {
        out.clear();
    } else if (static_cast<size_t>(n) < sizeof small) {
        out.assign(small, static_cast<size_t>(n));
    } else {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<size_t>(n));
    }
    uselocale(previous);
    return out;
}

std::string WinportFormat(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string s = WinportFormatV(format, args);
    va_end(args);
    return s;
}

CString::CString(const char* text, int length)
{
    if (text && length > 0) m_s.assign(text, static_cast<size_t>(length));
}

CString::CString(char ch, int repeat)
{
    if (repeat > 0) m_s.assign(static_cast<size_t>(repeat), ch);
}

CString& CString::operator=(const char* text)
{
    m_s = text ? text : "";
    return *this;
}

CString& CString::operator=(char ch)
{
    m_s.assign(1, ch);
    return *this;
}

char CString::GetAt(int index) const
{
    if (index < 0 || index >= GetLength()) return 0;
    return m_s[static_cast<size_t>(index)];
}

void CString::SetAt(int index, char ch)
{
    if (index >= 0 && index < GetLength()) m_s[static_cast<size_t>(index)] = ch;
}

int CString::Compare(const char* text) const
{
    int r = std::strcmp(m_s.c_str(), text ? text : "");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const char* text) const { return WinportCompareNoCase(m_s.c_str(), text); }

CString CString::Mid(int first) const { return Mid(first, GetLength() - std::max(first, 0)); }

CString CString::Mid(int first, int count) const
{
    // Out-of-range arguments are clipped, as the class library does.
    if (first < 0) first = 0;
    if (count < 0) count = 0;
    if (first > GetLength()) first = GetLength();
    if (count > GetLength() - first) count = GetLength() - first;
    return CString(m_s.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const
{
    if (count < 0) count = 0;
    if (count > GetLength()) count = GetLength();
    return CString(m_s.substr(0, static_cast<size_t>(count)));
}

CString CString::Right(int count) const
{
    if (count < 0) count = 0;
    if (count > GetLength()) count = GetLength();
    return CString(m_s.substr(m_s.size() - static_cast<size_t>(count)));
}

CString CString::SpanIncluding(const char* set) const
{
    size_t n = std::strspn(m_s.c_str(), set ? set : "");
    return Left(static_cast<int>(n));
}

CString CString::SpanExcluding(const char* set) const
{
    size_t n = std::strcspn(m_s.c_str(), set ? set : "");
    return Left(static_cast<int>(n));
}

void CString::MakeUpper() { std::transform(m_s.begin(), m_s.end(), m_s.begin(), asciiUpper); }
void CString::MakeLower() { std::transform(m_s.begin(), m_s.end(), m_s.begin(), asciiLower); }
void CString::MakeReverse() { std::reverse(m_s.begin(), m_s.end()); }

void CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_s.size() && isWinSpace(static_cast<unsigned char>(m_s[i]))) ++i;
    m_s.erase(0, i);
}

void CString::TrimLeft(char target)
{
    size_t i = 0;
    while (i < m_s.size() && m_s[i] == target) ++i;
    m_s.erase(0, i);
}

void CString::TrimLeft(const char* targets)
{
    if (!targets) return;
    size_t i = 0;
    while (i < m_s.size() && m_s[i] != 0 && std::strchr(targets, m_s[i])) ++i;
    m_s.erase(0, i);
}

void CString::TrimRight()
{
    size_t n = m_s.size();
    while (n > 0 && isWinSpace(static_cast<unsigned char>(m_s[n - 1]))) --n;
    m_s.resize(n);
}

void CString::TrimRight(char target)
{
    size_t n = m_s.size();
    while (n > 0 && m_s[n - 1] == target) --n;
    m_s.resize(n);
}

void CString::TrimRight(const char* targets)
{
    if (!targets) return;
    size_t n = m_s.size();
    while (n > 0 && m_s[n - 1] != 0 && std::strchr(targets, m_s[n - 1])) --n;
    m_s.resize(n);
}

int CString::Replace(char oldCh, char newCh)
{
    int count = 0;
    if (oldCh == newCh) return 0;
    for (char& c : m_s) {
        if (c == oldCh) {
            c = newCh;
            ++count;
        }
    }
    return count;
}

int CString::Replace(const char* oldText, const char* newText)
{
    if (!oldText || !*oldText) return 0;
    const std::string from(oldText);
    const std::string to(newText ? newText : "");
    int count = 0;
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t hit = m_s.find(from, pos);
        if (hit == std::string::npos) break;
        out.append(m_s, pos, hit - pos);
        out += to;
        pos = hit + from.size();
        ++count;
    }
    if (count == 0) return 0;
    out.append(m_s, pos, std::string::npos);
    m_s.swap(out);
    return count;
}

int CString::Remove(char ch)
{
    size_t before = m_s.size();
    m_s.erase(std::remove(m_s.begin(), m_s.end(), ch), m_s.end());
    return static_cast<int>(before - m_s.size());
}

int CString::Insert(int index, char ch)
{
    if (index < 0) index = 0;
    if (index > GetLength()) index = GetLength();
    m_s.insert(static_cast<size_t>(index), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const char* text)
{
    if (index < 0) index = 0;
    if (index > GetLength()) index = GetLength();
    if (text) m_s.insert(static_cast<size_t>(index), text);
    return GetLength();
}

int CString::Delete(int index, int count)
{
    if (index < 0) index = 0;
    if (count > 0 && index < GetLength()) {
        m_s.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    }
    return GetLength();
}

int CString::Find(char ch, int start) const
{
    if (start < 0 || start >= GetLength()) return -1;
    size_t hit = m_s.find(ch, static_cast<size_t>(start));
    return hit == std::string::npos ? -1 : static_cast<int>(hit);
}

int CString::Find(const char* text, int start) const
{
    if (!text || start < 0 || start > GetLength()) return -1;
    // strstr semantics: the search stops at an embedded zero, as on the class library.
    const char* base = m_s.c_str();
    const char* hit = std::strstr(base + start, text);
    return hit ? static_cast<int>(hit - base) : -1;
}

int CString::ReverseFind(char ch) const
{
    size_t hit = m_s.rfind(ch);
    return hit == std::string::npos ? -1 : static_cast<int>(hit);
}

int CString::FindOneOf(const char* set) const
{
    if (!set) return -1;
    size_t hit = m_s.find_first_of(set);
    return hit == std::string::npos ? -1 : static_cast<int>(hit);
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    m_s = WinportFormatV(format, args);
    va_end(args);
}

void CString::FormatV(const char* format, va_list args) { m_s = WinportFormatV(format, args); }

char* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength()) m_s.resize(static_cast<size_t>(minLength), '\0');
    return m_s.data();
}

char* CString::GetBufferSetLength(int length)
{
    m_s.resize(static_cast<size_t>(std::max(length, 0)), '\0');
    return m_s.data();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0) {
        newLength = static_cast<int>(strnlen(m_s.c_str(), m_s.size()));
    }
    if (newLength > GetLength()) newLength = GetLength();
    m_s.resize(static_cast<size_t>(newLength));
}
