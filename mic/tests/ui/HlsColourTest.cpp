#include <gtest/gtest.h>

#include "ui/HlsColour.h"

TEST(HlsColour, ConversionsRoundAsTheButtonsExpect)
{
    struct Row { COLORREF c; int h, l, s; };
    const Row rows[] = {
        {RGB(240, 240, 240), 0, 225, 0},    // lightness truncated (225.88)
        {RGB(255, 0, 0), 0, 120, 240},
        {RGB(0, 255, 0), 80, 120, 240},
        {RGB(0, 0, 255), 160, 120, 240},
        {RGB(255, 255, 255), 0, 240, 0},
        {RGB(8, 126, 50), 94, 63, 211},     // the OK button's face
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << r.c);
        const HLSColour hls = RGBToHLS(r.c);
        EXPECT_EQ(hls.hue, r.h);
        EXPECT_EQ(hls.lightness, r.l);
        EXPECT_EQ(hls.saturation, r.s);
    }
    EXPECT_EQ(HLSToRGB(0, 120, 240), RGB(255, 0, 0));
    EXPECT_EQ(HLSToRGB(80, 120, 240), RGB(0, 255, 0));
    EXPECT_EQ(HLSToRGB(0, 240, 0), RGB(255, 255, 255));
}

TEST(HlsColour, LightenAndDarkenClamp)
{
    EXPECT_EQ(LightenColour(RGB(240, 240, 240), 0), RGB(239, 239, 239));
    EXPECT_EQ(LightenColour(RGB(240, 240, 240), 20), RGB(255, 255, 255));  // capped at 240
    EXPECT_EQ(DarkenColour(RGB(240, 240, 240), -11), RGB(250, 250, 250));  // a negative amount lightens
    EXPECT_EQ(DarkenColour(RGB(10, 10, 10), 100), RGB(0, 0, 0));
    EXPECT_EQ(DarkenColour(RGB(128, 128, 128), 4), RGB(123, 123, 123));
    EXPECT_EQ(LightenColour(RGB(128, 128, 128), -500), RGB(0, 0, 0));
}
