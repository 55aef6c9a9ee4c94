#include <gtest/gtest.h>

#include <string>

#include "winport/TextConversion.h"

namespace {

std::wstring toWide(const char* text, int length = -1)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    EXPECT_EQ(n, MultiByteToWideChar(CP_ACP, 0, text, length, out.data(), n));
    return out;
}

TEST(TextConversionTest, Windows1252CharactersBecomeTheirUnicodeCharacters)
{
    // Euro, the undefined 0x81, curly quotes, trade mark, y diaeresis, then Latin-1 letters.
    const char text[] = "\x80\x81\x93\x94\x99\x9F\xA0\xE9\xFF";
    const std::wstring expected = {0x20AC, 0x0081, 0x201C, 0x201D, 0x2122, 0x0178, 0x00A0, 0x00E9, 0x00FF, 0};
    EXPECT_EQ(expected, toWide(text));
}

TEST(TextConversionTest, LengthsCountTheTerminatorOnlyWhenAsked)
{
    EXPECT_EQ(1, MultiByteToWideChar(CP_ACP, 0, "", -1, nullptr, 0));
    EXPECT_EQ(4, MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0));
    EXPECT_EQ(3, MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 0));
    wchar_t small[2];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_ACP, 0, "abc", -1, small, 2));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(TextConversionTest, InvalidArgumentsAndOtherCodePagesAreRefused)
{
    wchar_t out[8];
    struct Case { UINT codePage; const char* src; int length; };
    for (const Case& c : {Case{65001, "a", -1}, Case{CP_ACP, nullptr, -1}, Case{CP_ACP, "a", 0},
                          Case{CP_ACP, "a", -2}}) {
        SetLastError(0);
        EXPECT_EQ(0, MultiByteToWideChar(c.codePage, 0, c.src, c.length, out, 8));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
}

TEST(TextConversionTest, RoundTripOfEveryByteAndDefaultForOtherCharacters)
{
    char all[256];
    for (int i = 0; i < 255; ++i) all[i] = static_cast<char>(i + 1);
    all[255] = 0;
    const std::wstring wide = toWide(all);
    char back[256];
    BOOL usedDefault = TRUE;
    ASSERT_EQ(256, WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, back, 256, nullptr, &usedDefault));
    EXPECT_EQ(0, std::memcmp(all, back, 256));
    EXPECT_FALSE(usedDefault);

    const wchar_t other[] = {L'a', 0x4E2D, L'b', 0};
    char out[4];
    ASSERT_EQ(4, WideCharToMultiByte(CP_ACP, 0, other, -1, out, 4, nullptr, &usedDefault));
    EXPECT_STREQ("a?b", out);
    EXPECT_TRUE(usedDefault);
}

}  // namespace
