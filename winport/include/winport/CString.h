// CString: the class library's byte string. Text bytes are Windows-1252; no terminator is
// stored in the length, and a terminating zero always follows the characters.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "winport/WinTypes.h"

class CString {
public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString(const char* text) : m_s(text ? text : "") {}
    CString(const char* text, int length);
    CString(char ch, int repeat = 1);
    CString(std::string_view text) : m_s(text) {}
    explicit CString(const std::string& text) : m_s(text) {}
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char* text);
    CString& operator=(char ch);

    int GetLength() const { return static_cast<int>(m_s.size()); }
    BOOL IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    char GetAt(int index) const;
    void SetAt(int index, char ch);
    char operator[](int index) const { return GetAt(index); }
    operator const char*() const { return m_s.c_str(); }
    const char* c_str() const { return m_s.c_str(); }
    const std::string& str() const { return m_s; }

    CString& operator+=(const CString& text) { m_s += text.m_s; return *this; }
    CString& operator+=(const char* text) { if (text) m_s += text; return *this; }
    CString& operator+=(char ch) { m_s += ch; return *this; }

    /// Ordinal comparison of the bytes as unsigned characters (strcmp order).
    int Compare(const char* text) const;
    /// Case-insensitive comparison (ASCII letters folded), as _stricmp.
    int CompareNoCase(const char* text) const;
    int Collate(const char* text) const { return Compare(text); }

    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;
    CString SpanIncluding(const char* set) const;
    CString SpanExcluding(const char* set) const;

    void MakeUpper();
    void MakeLower();
    void MakeReverse();

    void TrimLeft();
    void TrimLeft(char target);
    void TrimLeft(const char* targets);
    void TrimRight();
    void TrimRight(char target);
    void TrimRight(const char* targets);
    void Trim() { TrimRight(); TrimLeft(); }

    int Replace(char oldCh, char newCh);
    int Replace(const char* oldText, const char* newText);
    int Remove(char ch);
    int Insert(int index, char ch);
    int Insert(int index, const char* text);
    int Delete(int index, int count = 1);

    int Find(char ch) const { return Find(ch, 0); }
    int Find(char ch, int start) const;
    int Find(const char* text) const { return Find(text, 0); }
    int Find(const char* text, int start) const;
    int ReverseFind(char ch) const;
    int FindOneOf(const char* set) const;

    /// printf-style formatting, numbers always in the C locale.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* format, va_list args);

    /// A writable buffer of at least minLength characters (plus a terminator).
    char* GetBuffer(int minLength = 0);
    char* GetBufferSetLength(int length);
    /// Ends a GetBuffer: the length becomes newLength, or the length of the zero-terminated text.
    void ReleaseBuffer(int newLength = -1);

    friend CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
    friend CString operator+(const char* a, const CString& b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, char b) { CString r(a); r += b; return r; }
    friend CString operator+(char a, const CString& b) { CString r(a); r += b; return r; }

    friend bool operator==(const CString& a, const CString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
    friend bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const CString& b) { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
    friend bool operator<(const CString& a, const char* b) { return a.Compare(b) < 0; }
    friend bool operator>(const CString& a, const CString& b) { return a.Compare(b) > 0; }
    friend bool operator<=(const CString& a, const CString& b) { return a.Compare(b) <= 0; }
    friend bool operator>=(const CString& a, const CString& b) { return a.Compare(b) >= 0; }

private:
    std::string m_s;
};

/// Case-insensitive comparison of two zero-terminated byte strings (ASCII letters folded).
int WinportCompareNoCase(const char* a, const char* b);
/// printf-style formatting into a std::string in the C locale, whatever the process locale.
std::string WinportFormatV(const char* format, va_list args);
std::string WinportFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
