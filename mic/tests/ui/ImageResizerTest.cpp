#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include "ui/ImageProcessors.h"

using winport::PixelBuffer;

namespace {

// A picture whose red channel names the column and green the row.
PixelBuffer Grid(int w, int h)
{
    PixelBuffer p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.At(x, y) = RGBX{7, BYTE(10 * y), BYTE(10 * x), 99};
    return p;
}

PixelBuffer Resize(const PixelBuffer& src, double factor, COLORREF background, BOOL* ok = nullptr)
{
    CImageResizer resizer(factor);
    PixelBuffer out;
    BOOL r = ProcessPixelChain(src, {&resizer}, background, out);
    if (ok) *ok = r;
    return out;
}

}  // namespace

TEST(ImageResizer, DestinationSizesAndWeighting)
{
    struct Row { double f; int w, h, dw, dh; BOOL weighting; };
    const Row rows[] = {{0.5, 5, 5, 3, 3, FALSE}, {2.0, 3, 1, 6, 2, TRUE}, {1.0, 7, 4, 7, 4, FALSE},
                        {1.5, 3, 3, 5, 5, TRUE},  {0.1, 4, 4, 1, 1, FALSE}, {0.0, 4, 4, 0, 0, FALSE}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.f);
        CImageResizer resizer(r.f);
        EXPECT_EQ(resizer.CalcDestSize(CSize(r.w, r.h)), CSize(r.dw, r.dh));
        EXPECT_EQ(resizer.IsWeightingEnabled(), r.weighting);
    }
}

TEST(ImageResizer, IdentityAtOne)
{
    const PixelBuffer src = Grid(7, 4);
    BOOL ok = FALSE;
    EXPECT_EQ(Resize(src, 1.0, RGB(255, 255, 255), &ok), src);
    EXPECT_TRUE(ok);
}

TEST(ImageResizer, ShrinkAveragesColumnRanges)
{
    // 5 x 5 at 0.5: ranges 0..2, 3..4, then nothing, which keeps the background.
    const PixelBuffer out = Resize(Grid(5, 5), 0.5, RGB(1, 2, 3));
    ASSERT_EQ(out.Width(), 3);
    ASSERT_EQ(out.Height(), 3);
    EXPECT_EQ(out.At(0, 0).btRed, 10);   // mean of 0, 10, 20
    EXPECT_EQ(out.At(1, 0).btRed, 35);   // mean of 30, 40
    EXPECT_EQ(out.At(1, 1).btGreen, 35);
    EXPECT_EQ(out.At(0, 1).btBlue, 7);
    EXPECT_EQ(out.At(0, 0).btUnused, 0);  // the background's reserved byte
    const RGBX bg{3, 2, 1, 0};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::memcmp(&out.At(2, i), &bg, 4), 0);
        EXPECT_EQ(std::memcmp(&out.At(i, 2), &bg, 4), 0);
    }
}

TEST(ImageResizer, EnlargeSamplesHalfSteps)
{
    // Width 3 at 2.0: columns sample 0.0, 0.5, 1.0, 1.5, 2.0, 2.5; the last against the
    // clamped right neighbour. One row: the vertical half of the mean is the pixel itself.
    const PixelBuffer out = Resize(Grid(3, 1), 2.0, RGB(255, 255, 255));
    ASSERT_EQ(out.Width(), 6);
    const int expected[6] = {0, 2, 10, 12, 20, 20};  // (A(1-fx) + B fx + A) / 2, truncated
    for (int x = 0; x < 6; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(out.At(x, 0).btRed, expected[x]);
        EXPECT_EQ(out.At(x, 0).btUnused, 0);
    }
}

TEST(ImageResizer, RefusedFactorsLeaveThePictureAlone)
{
    const PixelBuffer src = Grid(5, 5);
    for (double f : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e9}) {
        SCOPED_TRACE(f);
        PixelBuffer out = Grid(2, 2);
        CImageResizer resizer(f);
        EXPECT_FALSE(ProcessPixelChain(src, {&resizer}, 0, out));
        EXPECT_EQ(out, Grid(2, 2));
        RGBX dest[25] = {};
        RGBX copy[25];
        std::memcpy(copy, src.Data(), sizeof(copy));
        if (!(f > 0) || !std::isfinite(f)) {
            EXPECT_FALSE(resizer.ProcessPixels(copy, CSize(5, 5), dest, CSize(5, 5)));
        }
    }
}

TEST(ImageResizer, ChainFillsTheBackgroundByItsColour)
{
    struct Row { COLORREF bg; RGBX fill; };
    const Row rows[] = {{CLR_INVALID, {255, 255, 255, 255}}, {RGB(255, 255, 255), {255, 255, 255, 255}},
                        {0, {0, 0, 0, 0}}, {RGB(10, 20, 30), {30, 20, 10, 0}}};
    for (const Row& r : rows) {
        const PixelBuffer out = Resize(Grid(5, 5), 0.5, r.bg);
        EXPECT_EQ(std::memcmp(&out.At(2, 2), &r.fill, 4), 0) << std::hex << r.bg;
    }
    // Two steps: the second works on the first's result.
    CImageResizer up(2.0), down(0.5);
    PixelBuffer out;
    ASSERT_TRUE(ProcessPixelChain(Grid(4, 4), {&up, &down}, 0, out));
    EXPECT_EQ(out.Width(), 4);
    EXPECT_EQ(out.At(0, 0).btRed, 4);  // (0 + 2 + 10) / 3 from the enlarged columns 0 to 2
}

// Every factor and size, on heap arrays of exactly the size given, so that the address
// sanitizer sees any read past the source or write past the destination.
TEST(ImageResizer, NeverReadsOrWritesOutsideTheArrays)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> side(1, 40);
    std::uniform_real_distribution<double> factor(0.01, 6.0);
    for (int i = 0; i < 400; ++i) {
        const CSize src(side(rng), side(rng));
        const double f = (i % 7 == 0) ? 1.0 / (1 + i % 5) : factor(rng);
        CImageResizer resizer(f);
        const CSize dst = resizer.CalcDestSize(src);
        ASSERT_GT(dst.cx, 0);
        auto in = std::make_unique<RGBX[]>(static_cast<size_t>(src.cx) * src.cy);
        auto out = std::make_unique<RGBX[]>(static_cast<size_t>(dst.cx) * dst.cy);
        ASSERT_TRUE(resizer.ProcessPixels(in.get(), src, out.get(), dst)) << f;
    }
    // Sampling points on and beyond every edge stay inside a 1 x 1 picture.
    const RGBX one{1, 2, 3, 4};
    for (double x : {-5.0, -0.5, 0.0, 0.5, 1.0, 3.0, 1e300, std::nan("")})
        EXPECT_EQ(C32BitImageProcessor::SamplePixel(&one, 1, 1, x, x).btRed, 3) << x;
}
