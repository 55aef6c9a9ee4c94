#include <clocale>
#include <gtest/gtest.h>

#include "winport/CString.h"

namespace {

struct StringCase {
    const char* name;
    CString (*op)();
    const char* expected;
};

const StringCase kCases[] = {
    {"Mid inside", [] { return CString("abcdef").Mid(2, 3); }, "cde"},
    {"Mid past end clipped", [] { return CString("abc").Mid(2, 10); }, "c"},
    {"Mid start past end", [] { return CString("abc").Mid(5); }, ""},
    {"Mid negative start", [] { return CString("abc").Mid(-2, 2); }, "ab"},
    {"Mid of empty", [] { return CString().Mid(0, 3); }, ""},
    {"Left too long", [] { return CString("abc").Left(10); }, "abc"},
    {"Left negative", [] { return CString("abc").Left(-1); }, ""},
    {"Right", [] { return CString("abcdef").Right(2); }, "ef"},
    {"Right too long", [] { return CString("ab").Right(5); }, "ab"},
    {"MakeUpper ASCII only", [] { CString s("ab\xe9z"); s.MakeUpper(); return s; }, "AB\xe9Z"},
    {"TrimLeft blanks", [] { CString s(" \t x "); s.TrimLeft(); return s; }, "x "},
    {"TrimRight blanks", [] { CString s(" x \r\n"); s.TrimRight(); return s; }, " x"},
    {"TrimRight char", [] { CString s("x00"); s.TrimRight('0'); return s; }, "x"},
    {"Replace text", [] { CString s("a.b.c"); s.Replace(".", "::"); return s; }, "a::b::c"},
    {"Replace empty target", [] { CString s("abc"); s.Replace("", "x"); return s; }, "abc"},
    {"Remove", [] { CString s("a-b-c"); s.Remove('-'); return s; }, "abc"},
    {"Insert past end", [] { CString s("ab"); s.Insert(9, "c"); return s; }, "abc"},
    {"Delete", [] { CString s("abcdef"); s.Delete(1, 2); return s; }, "adef"},
    {"Format ints", [] { CString s; s.Format("%d %s %08x", -5, "x", 0xBEEFu); return s; }, "-5 x 0000beef"},
    {"Format float", [] { CString s; s.Format("%.2f", 1.5); return s; }, "1.50"},
    {"SpanIncluding", [] { return CString("123abc").SpanIncluding("0123456789"); }, "123"},
    {"SpanExcluding", [] { return CString("ab;cd").SpanExcluding(";"); }, "ab"},
    {"GetBuffer ReleaseBuffer", [] {
         CString s;
         char* p = s.GetBuffer(10);
         std::strcpy(p, "hey");
         s.ReleaseBuffer();
         return s;
     }, "hey"},
    {"ReleaseBuffer length", [] {
         CString s("abcdef");
         s.GetBuffer(0);
         s.ReleaseBuffer(2);
         return s;
     }, "ab"},
};

TEST(CStringTest, OperationsTable)
{
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        CString got = c.op();
        EXPECT_STREQ(got, c.expected);
        EXPECT_EQ(got.GetLength(), static_cast<int>(std::strlen(c.expected)));
    }
}

TEST(CStringTest, FindAndCompare)
{
    CString s("hello world");
    EXPECT_EQ(s.Find('o'), 4);
    EXPECT_EQ(s.Find('o', 5), 7);
    EXPECT_EQ(s.Find('z'), -1);
    EXPECT_EQ(s.Find("world"), 6);
    EXPECT_EQ(s.Find("x"), -1);
    EXPECT_EQ(s.Find('o', 50), -1);
    EXPECT_EQ(s.ReverseFind('o'), 7);
    EXPECT_EQ(s.FindOneOf("wd"), 6);
    EXPECT_EQ(CString().Find('a'), -1);

    EXPECT_EQ(CString("SOFTWARE\\VOKDWEN").CompareNoCase("Software\\VokDwen"), 0);
    EXPECT_LT(CString("abc").CompareNoCase("ABD"), 0);
    EXPECT_GT(CString("b").Compare("a"), 0);
    // Bytes above 0x7F sort after ASCII, as unsigned characters.
    EXPECT_GT(CString("\xe9").Compare("z"), 0);
    EXPECT_TRUE(CString("a") + "b" + 'c' == "abc");
}

TEST(CStringTest, FormatUsesCLocaleWhateverTheProcessLocale)
{
    const char* chosen = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (!chosen) chosen = std::setlocale(LC_NUMERIC, "fr_FR.UTF-8");
    CString s;
    s.Format("%.1f", 2.5);
    EXPECT_STREQ(s, "2.5");
    std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
