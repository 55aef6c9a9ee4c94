#include <gtest/gtest.h>

#include <QBuffer>
#include <cmath>
#include <fstream>

#include "TestEnvironment.h"
#include "mic_ui/EnBitmap.h"

namespace {

std::vector<BYTE> Encode(const QImage& img, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format);
    return std::vector<BYTE>(bytes.begin(), bytes.end());
}

QImage Sample()
{
    QImage img(5, 5, QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) img.setPixel(x, y, qRgb(40 * x, 40 * y, 100));
    return img;
}

}  // namespace

TEST(EnBitmap, FileTypeByExtension)
{
    struct Row { const char* path; int type; };
    const Row rows[] = {{"c:\\pics\\a.bmp", FT_BMP}, {"picture.bmp.gif", FT_BMP}, {".BMP", FT_UNKNOWN},
                        {"x.Ico", FT_ICO},         {"y.JPEG", FT_JPG},          {"y.jpg", FT_JPG},
                        {"z.gif", FT_GIF},         {"notes.txt", FT_UNKNOWN},   {"", FT_UNKNOWN}};
    for (const Row& r : rows) EXPECT_EQ(CEnBitmap::GetFileType(r.path), r.type) << r.path;
}

TEST(EnBitmap, LoadsEachFormatFromMemory)
{
    const QImage sample = Sample();
    // The smallest GIF: one red pixel.
    const std::vector<BYTE> gif = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00,
                                   0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0x00,
                                   0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02,
                                   0x44, 0x01, 0x00, 0x3B};
    struct Row { const char* what; std::vector<BYTE> bytes; int w; };
    const Row rows[] = {{"bmp", winport::WriteBitmapFile(CEnBitmap::ToPixels(sample)), 5},
                        {"jpg", Encode(sample, "JPG"), 5},
                        {"ico", Encode(sample, "ICO"), 5},
                        {"gif", gif, 1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        CEnBitmap bitmap;
        ASSERT_TRUE(bitmap.LoadImageFromMemory(r.bytes.data(), r.bytes.size()));
        EXPECT_EQ(bitmap.GetSize().cx, r.w);
        EXPECT_FALSE(bitmap.LoadImageFromMemory(r.bytes.data(), r.bytes.size()));  // holds one already
    }
    CEnBitmap bmp;
    ASSERT_TRUE(bmp.LoadImageFromMemory(rows[0].bytes.data(), rows[0].bytes.size()));
    EXPECT_EQ(bmp.GetTopLeftColour(), RGB(0, 0, 100));
    CEnBitmap gifBitmap;
    ASSERT_TRUE(gifBitmap.LoadImageFromMemory(gif.data(), gif.size()));
    EXPECT_EQ(gifBitmap.GetTopLeftColour(), RGB(255, 0, 0));

    const BYTE garbage[] = {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    CEnBitmap bad;
    EXPECT_FALSE(bad.LoadImageFromMemory(garbage, sizeof(garbage)));
    EXPECT_FALSE(bad.LoadImageFromMemory(garbage + 2, sizeof(garbage) - 2));
    EXPECT_FALSE(bad.HasBitmap());
}

TEST(EnBitmap, LoadsFilesAndResizes)
{
    TestEnvironment env;
    const std::vector<BYTE> bytes = winport::WriteBitmapFile(CEnBitmap::ToPixels(Sample()));
    std::ofstream(env.Path("pic.bmp"), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    CEnBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadImage(env.Path("pic.bmp").c_str()));
    CEnBitmap missing;
    EXPECT_FALSE(missing.LoadImage(env.Path("none.bmp").c_str()));
    EXPECT_FALSE(missing.LoadImage(env.Path("pic.txt").c_str()));

    const QImage before = bitmap.Image();
    for (double f : {0.0, -2.0, std::nan(""), 1e12}) {
        EXPECT_FALSE(bitmap.ResizeImage(f)) << f;
        EXPECT_EQ(bitmap.Image(), before);
    }
    ASSERT_TRUE(bitmap.ResizeImage(0.5));
    EXPECT_EQ(bitmap.GetSize().cx, 3);
    ASSERT_TRUE(bitmap.ResizeImage(2.0));
    EXPECT_EQ(bitmap.GetSize().cy, 6);

    CEnBitmap fromStore;
    ASSERT_TRUE(fromStore.LoadImage(584u));
    EXPECT_FALSE(CEnBitmap().LoadImage(12345u));
}
