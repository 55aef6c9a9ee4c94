#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "winport/PixelBuffer.h"

using winport::PixelBuffer;

namespace {

void Put16(std::vector<BYTE>& v, uint32_t x) { v.insert(v.end(), {BYTE(x), BYTE(x >> 8)}); }
void Put32(std::vector<BYTE>& v, uint32_t x) { Put16(v, x & 0xffff); Put16(v, x >> 16); }

// A bitmap file with a 40-byte header, laid out by hand.
std::vector<BYTE> File(int32_t w, int32_t h, int bits, const std::vector<BYTE>& pixels,
                       const std::vector<BYTE>& extra = {}, uint32_t compression = 0)
{
    std::vector<BYTE> f = {'B', 'M'};
    const uint32_t offset = 14 + 40 + static_cast<uint32_t>(extra.size());
    Put32(f, offset + static_cast<uint32_t>(pixels.size()));
    Put32(f, 0);
    Put32(f, offset);
    Put32(f, 40);
    Put32(f, static_cast<uint32_t>(w));
    Put32(f, static_cast<uint32_t>(h));
    Put16(f, 1);
    Put16(f, static_cast<uint32_t>(bits));
    Put32(f, compression);
    Put32(f, static_cast<uint32_t>(pixels.size()));
    Put32(f, 2835);
    Put32(f, 2835);
    Put32(f, 0);
    Put32(f, 0);
    f.insert(f.end(), extra.begin(), extra.end());
    f.insert(f.end(), pixels.begin(), pixels.end());
    return f;
}

}  // namespace

TEST(BitmapFile, ReadsTheCommonLayouts)
{
    PixelBuffer p;
    // 24 bits, bottom-up: the first row in the file is the bottom row; rows pad to 4 bytes.
    ASSERT_TRUE(winport::ReadBitmapFile(
        File(1, 2, 24, {0x00, 0x00, 0xFF, 0, 0xFF, 0x00, 0x00, 0}).data(), 54 + 8, p));
    EXPECT_EQ(p.GetPixel(0, 1), RGB(255, 0, 0));
    EXPECT_EQ(p.GetPixel(0, 0), RGB(0, 0, 255));

    // 8 bits with a palette, top-down (negative height).
    const std::vector<BYTE> palette = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0x00, 0x80, 0x00, 0};
    auto f = File(3, -1, 8, {2, 1, 0, 0}, palette);
    ASSERT_TRUE(winport::ReadBitmapFile(f.data(), f.size(), p));
    EXPECT_EQ(p.GetPixel(0, 0), RGB(0, 128, 0));
    EXPECT_EQ(p.GetPixel(1, 0), RGB(255, 255, 255));
    EXPECT_EQ(p.GetPixel(2, 0), RGB(0, 0, 0));

    // 1 bit: the high bit is the leftmost pixel.
    f = File(9, 1, 1, {0x80, 0x80, 0, 0}, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0});
    ASSERT_TRUE(winport::ReadBitmapFile(f.data(), f.size(), p));
    EXPECT_EQ(p.GetPixel(0, 0), RGB(255, 255, 255));
    EXPECT_EQ(p.GetPixel(1, 0), RGB(0, 0, 0));
    EXPECT_EQ(p.GetPixel(8, 0), RGB(255, 255, 255));

    // 16 bits with 5-6-5 bit fields after the header.
    std::vector<BYTE> masks;
    Put32(masks, 0xF800);
    Put32(masks, 0x07E0);
    Put32(masks, 0x001F);
    f = File(2, 1, 16, {0x1F, 0x00, 0xE0, 0x07}, masks, 3);
    ASSERT_TRUE(winport::ReadBitmapFile(f.data(), f.size(), p));
    EXPECT_EQ(p.GetPixel(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(p.GetPixel(1, 0), RGB(0, 255, 0));
    EXPECT_EQ(p.At(1, 0).btUnused, 0);
}

TEST(BitmapFile, RefusesWhatDoesNotHold)
{
    const auto good = File(2, 2, 24, std::vector<BYTE>(16, 0x11));
    struct Row { const char* what; std::vector<BYTE> bytes; };
    std::vector<Row> rows = {
        {"truncated pixels", std::vector<BYTE>(good.begin(), good.end() - 1)},
        {"no header", std::vector<BYTE>(good.begin(), good.begin() + 20)},
        {"huge sides", File(100000, 100000, 24, std::vector<BYTE>(16, 0))},
        {"zero width", File(0, 2, 24, std::vector<BYTE>(16, 0))},
        {"run-length", File(2, 2, 8, std::vector<BYTE>(16, 0), std::vector<BYTE>(1024, 0), 1)},
        {"odd bit count", File(2, 2, 7, std::vector<BYTE>(16, 0))},
        {"palette past the end", File(2, 2, 8, {})},
        {"not a bitmap", std::vector<BYTE>(64, 'x')},
    };
    auto offsetPastEnd = good;
    offsetPastEnd[10] = 0xFF;
    offsetPastEnd[11] = 0xFF;
    rows.push_back({"pixel offset past the end", offsetPastEnd});
    auto infoTooLarge = good;
    infoTooLarge[14] = 0xFF;
    infoTooLarge[15] = 0xFF;
    rows.push_back({"header larger than the file", infoTooLarge});
    for (const Row& r : rows) {
        PixelBuffer p(1, 1);
        p.At(0, 0) = RGBX{1, 2, 3, 4};
        EXPECT_FALSE(winport::ReadBitmapFile(r.bytes.data(), r.bytes.size(), p)) << r.what;
        EXPECT_EQ(p.Width(), 1) << r.what;
        EXPECT_EQ(p.At(0, 0).btUnused, 4) << r.what;
    }
}

TEST(BitmapFile, WrittenFileReadsBack)
{
    PixelBuffer p(3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) p.At(x, y) = RGBX{BYTE(x), BYTE(y), 200, 0};
    const std::vector<BYTE> file = winport::WriteBitmapFile(p);
    ASSERT_EQ(file.size(), 54u + 3 * 2 * 4);
    PixelBuffer back;
    ASSERT_TRUE(winport::ReadBitmapFile(file.data(), file.size(), back));
    EXPECT_EQ(back, p);
}

TEST(PixelBuffer, FillReachesEveryPixel)
{
    for (int w : {1, 2, 3, 7, 64, 65})
        for (int h : {1, 2, 5, 33}) {
            PixelBuffer p(w, h);
            p.Fill(RGBX{9, 8, 7, 6});
            for (size_t i = 0; i < p.Count(); ++i) ASSERT_EQ(std::memcmp(&p.Data()[i], "\x09\x08\x07\x06", 4), 0) << w << "x" << h;
        }
    EXPECT_TRUE(PixelBuffer(-1, 5).Empty());
    EXPECT_TRUE(PixelBuffer(PixelBuffer::kMaxSide + 1, 1).Empty());
}
