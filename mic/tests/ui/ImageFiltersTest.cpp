#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "ui/ImageProcessors.h"

using winport::PixelBuffer;

namespace {

// Pictures drawn as text: each letter is a grey pixel of its own code, '.' the white background.
PixelBuffer Picture(const std::vector<std::string>& rows)
{
    PixelBuffer p(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (int y = 0; y < p.Height(); ++y)
        for (int x = 0; x < p.Width(); ++x) {
            const BYTE c = static_cast<BYTE>(rows[y][x]);
            p.At(x, y) = RGBX{c, c, c, 5};
        }
    return p;
}

std::vector<std::string> Text(const PixelBuffer& p)
{
    std::vector<std::string> rows;
    for (int y = 0; y < p.Height(); ++y) {
        std::string row;
        for (int x = 0; x < p.Width(); ++x) {
            const RGBX& px = p.At(x, y);
            if (px.btRed == 255 && px.btGreen == 255 && px.btBlue == 255)
                row += '.';
            else if (px.btRed == px.btGreen && px.btGreen == px.btBlue && px.btRed >= 'a' && px.btRed <= 'z')
                row += static_cast<char>(px.btRed);
            else
                row += '?';
        }
        rows.push_back(row);
    }
    return rows;
}

PixelBuffer Apply(const PixelBuffer& src, C32BitImageProcessor& processor, BOOL* ok = nullptr)
{
    PixelBuffer out;
    const BOOL r = ProcessPixelChain(src, {&processor}, RGB(255, 255, 255), out);
    if (ok) *ok = r;
    return out;
}

PixelBuffer Solid(int w, int h, RGBX value)
{
    PixelBuffer p(w, h);
    p.Fill(value);
    return p;
}

// A 3 x 3 picture of one grey level in the centre, another on the edges and a third in the corners.
PixelBuffer Ring(BYTE centre, BYTE edge, BYTE corner)
{
    PixelBuffer p(3, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const bool isCentre = x == 1 && y == 1, isEdge = (x == 1) != (y == 1);
            const BYTE v = isCentre ? centre : isEdge ? edge : corner;
            p.At(x, y) = RGBX{v, v, v, 0};
        }
    return p;
}

using Rows = std::vector<std::string>;

}  // namespace

TEST(ImageFilters, RotationsByQuarterTurns)
{
    const Rows wide = {"abcd", "efgh"};
    struct Row { const char* name; Rows src; int degrees; Rows expected; };
    const Row rows[] = {
        {"90", wide, 90, {"....", ".ea.", ".fb.", ".gc.", ".hd.", "...."}},
        {"180", wide, 180, {"......", "......", ".hgfe.", ".dcba."}},
        {"270", wide, 270, {"....", "....", "dh..", "cg..", "bf..", "ae.."}},
        {"-90 as 270", wide, -90, {"....", "....", "dh..", "cg..", "bf..", "ae.."}},
        {"360 copies", wide, 360, wide},
        {"0 copies", wide, 0, wide},
        {"1 x 1", {"a"}, 90, {".a", ".."}},
        {"1 x 3", {"a", "b", "c"}, 90, {".cba", "...."}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        for (BOOL weighting : {FALSE, TRUE}) {
            CImageRotator rotator(r.degrees, weighting);
            EXPECT_EQ(Text(Apply(Picture(r.src), rotator)), r.expected);
        }
    }
}

TEST(ImageFilters, RadiansTurnWholeTurnsIntoNoTurn)
{
    const PixelBuffer src = Picture({"abc", "def"});
    for (double radians : {0.0, 2 * 3.14159265358979323846, -4 * 3.14159265358979323846}) {
        SCOPED_TRACE(radians);
        CImageRotator rotator(radians);
        EXPECT_EQ(rotator.CalcDestSize(CSize(3, 2)), CSize(3, 2));
        EXPECT_EQ(Apply(src, rotator), src);
    }
    CImageRotator half(3.14159265358979323846);
    EXPECT_EQ(Text(Apply(src, half)), (Rows{"....", "....", ".fed", ".cba"}));
}

TEST(ImageFilters, ShearSizesAndOffsets)
{
    const Rows square = {"ab", "cd"};
    struct Row { const char* name; Rows src; int sx, sy; Rows expected; };
    const Row rows[] = {
        {"right", square, 2, 0, {"..ab", ".cd."}},
        {"left", square, -2, 0, {"ab..", ".cd."}},
        {"down", square, 0, 2, {"a.", "cb", ".d", ".."}},
        {"up", square, 0, -2, {"..", ".b", "ad", "c."}},
        {"none", square, 0, 0, square},
        {"1 x 1", {"a"}, 1, 0, {".a"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CImageShearer shearer(r.sx, r.sy);
        EXPECT_EQ(Text(Apply(Picture(r.src), shearer)), r.expected);
    }
}

TEST(ImageFilters, SizesBeyondAnyPictureAreRefused)
{
    const PixelBuffer src = Picture({"ab", "cd"});
    PixelBuffer out = Picture({"x"});
    CImageShearer shearer(INT_MIN, INT_MIN);
    EXPECT_FALSE(ProcessPixelChain(src, {&shearer}, RGB(255, 255, 255), out));
    EXPECT_EQ(Text(out), (Rows{"x"}));  // untouched

    // A long strip turned upright needs a side of 2 x 8192 + 2.
    CImageRotator rotator(90);
    const PixelBuffer strip(PixelBuffer::kMaxSide, 2);
    EXPECT_GT(rotator.CalcDestSize(CSize(PixelBuffer::kMaxSide, 2)).cy, PixelBuffer::kMaxSide);
    EXPECT_FALSE(ProcessPixelChain(strip, {&rotator}, RGB(255, 255, 255), out));
    EXPECT_EQ(Text(out), (Rows{"x"}));
}

TEST(ImageFilters, GreysOfThePrimaries)
{
    struct Row { RGBX in; BYTE grey; };
    const Row rows[] = {{{0, 0, 255, 9}, 76}, {{0, 255, 0, 9}, 153}, {{255, 0, 0, 9}, 25}, {{255, 255, 255, 9}, 255},
                        {{0, 0, 0, 9}, 0}};
    for (const Row& r : rows) {
        CImageGrayer grayer;
        const PixelBuffer out = Apply(Solid(1, 3, r.in), grayer);
        ASSERT_EQ(out.Width(), 1);
        for (int y = 0; y < 3; ++y) {
            const RGBX& p = out.At(0, y);
            EXPECT_EQ(p.btRed, r.grey);
            EXPECT_EQ(p.btGreen, r.grey);
            EXPECT_EQ(p.btBlue, r.grey);
            EXPECT_EQ(p.btUnused, 0);
        }
    }
}

TEST(ImageFilters, ShaderAmountsStayWithinTheChannel)
{
    const RGBX pixel{0, 200, 100, 9};  // blue 0, green 200, red 100
    const COLORREF colour = RGB(200, 0, 255);
    struct Row { int amount; bool grey; BYTE red, green, blue; };
    const Row rows[] = {
        {-50, false, 50, 255, 0},   // away from the colour: green overshoots up, blue down
        {0, false, 100, 200, 0},
        {100, false, 200, 0, 255},
        {150, false, 250, 0, 255},  // beyond the colour: green below 0, blue above 255
        {40, true, 100, 100, 100},  // grey: the mean of the three
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.amount);
        CImageShader shader(r.amount, r.grey, colour);
        const PixelBuffer out = Apply(Solid(1, 1, pixel), shader);
        const RGBX& p = out.At(0, 0);
        EXPECT_EQ(p.btRed, r.red);
        EXPECT_EQ(p.btGreen, r.green);
        EXPECT_EQ(p.btBlue, r.blue);
    }
}

TEST(ImageFilters, BlurAmounts)
{
    const PixelBuffer dot = Ring(100, 0, 0);
    struct Row { int amount; BYTE centre, edge, corner; };
    const Row rows[] = {
        {-1, 100, 0, 0},  // as 0: a copy
        {0, 100, 0, 0},
        {5, 78, 2, 3},    // centre weight 30: 3000 / 38, 100 / 35, 100 / 33
        {10, 38, 10, 12}, // centre weight 5: 500 / 13, 100 / 10, 100 / 8
        {11, 38, 10, 12}, // as 10
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.amount);
        CImageBlurrer blurrer(r.amount);
        const PixelBuffer out = Apply(dot, blurrer);
        EXPECT_EQ(out.At(1, 1).btRed, r.centre);
        EXPECT_EQ(out.At(1, 0).btGreen, r.edge);
        EXPECT_EQ(out.At(0, 0).btBlue, r.corner);
    }
    // A column: the middle has two neighbours, the ends one.
    PixelBuffer column = Solid(1, 3, RGBX{0, 0, 0, 0});
    column.At(0, 1) = RGBX{100, 100, 100, 0};
    CImageBlurrer strong(10);
    const PixelBuffer out = Apply(column, strong);
    EXPECT_EQ(out.At(0, 0).btRed, 16);  // 100 / 6
    EXPECT_EQ(out.At(0, 1).btRed, 71);  // 500 / 7
    CImageBlurrer onePixel(10);
    EXPECT_EQ(Apply(Solid(1, 1, RGBX{40, 50, 60, 0}), onePixel).At(0, 0).btRed, 60);
}

TEST(ImageFilters, SharpenAmountsKeepTheBorder)
{
    const PixelBuffer ring = Ring(100, 50, 0);
    struct Row { int amount; BYTE centre; };
    const Row rows[] = {
        {-1, 100},  // as 0: a copy
        {0, 100},
        {5, 151},   // 200 - 4 x 50 x 26/108
        {10, 175},  // 200 - 4 x 50 / 8
        {11, 175},  // as 10
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.amount);
        CImageSharpener sharpener(r.amount);
        const PixelBuffer out = Apply(ring, sharpener);
        EXPECT_EQ(out.At(1, 1).btRed, r.centre);
        EXPECT_EQ(out.At(1, 0).btRed, 50);
        EXPECT_EQ(out.At(2, 2).btRed, 0);
    }
    // Below 0 and above 255 are held at the ends.
    CImageSharpener strong(10);
    EXPECT_EQ(Apply(Ring(0, 255, 255), strong).At(1, 1).btRed, 0);
    EXPECT_EQ(Apply(Ring(255, 0, 0), strong).At(1, 1).btRed, 255);
    // A picture that is all border is copied.
    const PixelBuffer column = Picture({"a", "b", "c"});
    EXPECT_EQ(Apply(column, strong), column);
}

TEST(ImageFilters, FlipsAndNegation)
{
    const Rows src = {"abc", "def"};
    struct Row { BOOL h, v; Rows expected; };
    const Row rows[] = {{TRUE, FALSE, {"cba", "fed"}}, {FALSE, TRUE, {"def", "abc"}},
                        {TRUE, TRUE, {"fed", "cba"}}, {FALSE, FALSE, src}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.h << r.v);
        CImageFlipper flipper(r.h, r.v);
        EXPECT_EQ(Text(Apply(Picture(src), flipper)), r.expected);
    }
    CImageFlipper flipper(TRUE, TRUE);
    EXPECT_EQ(Text(Apply(Picture({"a", "b", "c"}), flipper)), (Rows{"c", "b", "a"}));

    CImageNegator negator;
    const PixelBuffer out = Apply(Solid(1, 2, RGBX{0, 100, 255, 7}), negator);
    const RGBX& p = out.At(0, 1);
    EXPECT_EQ(p.btBlue, 255);
    EXPECT_EQ(p.btGreen, 155);
    EXPECT_EQ(p.btRed, 0);
    EXPECT_EQ(p.btUnused, 255);  // the white background's fill
}

TEST(ImageFilters, ColourReplacement)
{
    PixelBuffer src = Solid(2, 1, RGBX{0, 0, 255, 7});  // red
    src.At(1, 0) = RGBX{255, 0, 0, 7};                  // blue
    CColorReplacer same(RGB(255, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(Apply(src, same), src);

    CColorReplacer redToGreen(RGB(255, 0, 0), RGB(0, 255, 0));
    const PixelBuffer out = Apply(src, redToGreen);
    EXPECT_EQ(ColourFromRgbx(out.At(0, 0)), RGB(0, 255, 0));
    EXPECT_EQ(out.At(0, 0).btUnused, 0);
    EXPECT_EQ(out.At(1, 0).btBlue, 255);
    EXPECT_EQ(out.At(1, 0).btUnused, 7);  // copied whole
}
