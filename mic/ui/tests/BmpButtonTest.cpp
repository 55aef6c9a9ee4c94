#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "FakeScreens.h"
#include "mic_ui/BmpButton.h"
#include "mic_ui/PictureStore.h"

namespace {

const COLORREF kErase = RGB(29, 68, 107);
const COLORREF kMask = 0x0000C0C0;

// A 10 x 6 picture: mask colour all round, a red block inside with one dark pixel.
QImage TestPicture()
{
    QImage img(10, 6, QImage::Format_RGB32);
    img.fill(ToQColor(kMask));
    for (int y = 1; y < 5; ++y)
        for (int x = 1; x < 9; ++x) img.setPixel(x, y, qRgb(255, 0, 0));
    img.setPixel(4, 3, qRgb(0, 0, 0));
    return img;
}

BmpButtonLook FlatLook()
{
    BmpButtonLook look;
    look.bitmapId = 584;
    look.item = look.client = CRect(0, 0, 30, 20);
    look.border = false;
    look.pressedOffset = true;
    look.picture = TestPicture();
    look.mask = kMask;
    look.background = 0;
    return look;
}

QImage Paint(const BmpButtonLook& look)
{
    QImage img(look.item.Width(), look.item.Height(), QImage::Format_RGB32);
    img.fill(ToQColor(kErase));
    CDC dc(img);
    PaintBmpButton(dc, look);
    return img;
}

COLORREF At(const QImage& img, int x, int y) { return FromQColor(QColor(img.pixel(x, y))); }

}  // namespace

TEST(BmpButtonPaint, FlatFaceCentredPictureAndPressShift)
{
    BmpButtonLook look = FlatLook();
    QImage img = Paint(look);
    EXPECT_EQ(At(img, 0, 0), 0u);             // black face
    EXPECT_EQ(At(img, 29, 10), kErase);       // no pen: the right column stays erased
    EXPECT_EQ(At(img, 10, 19), kErase);       // and the bottom row
    EXPECT_EQ(At(img, 10, 7), 0u);            // the mask colour is transparent
    EXPECT_EQ(At(img, 11, 8), RGB(255, 0, 0));  // picture at ((30 - 10) / 2, (20 - 6) / 2)
    EXPECT_EQ(At(img, 14, 10), 0u);

    look.itemState = ODS_SELECTED;
    img = Paint(look);
    EXPECT_EQ(At(img, 11, 8), 0u);
    EXPECT_EQ(At(img, 13, 10), RGB(255, 0, 0));  // moved 2 right and 2 down
    look.pressedOffset = false;
    EXPECT_EQ(At(Paint(look), 11, 8), RGB(255, 0, 0));
}

TEST(BmpButtonPaint, FocusMarkHoverFrameAndEdges)
{
    BmpButtonLook look = FlatLook();
    look.itemState = ODS_FOCUS;
    look.hover = true;
    QImage img = Paint(look);
    EXPECT_EQ(At(img, 28, 12), 0u);    // corner line down the right, from half height
    EXPECT_EQ(At(img, 28, 5), 0u);     // (black face there too)
    EXPECT_EQ(At(img, 4, 4), RGB(127, 127, 127));   // hover frame, 4 in
    EXPECT_EQ(At(img, 25, 15), RGB(127, 127, 127));

    look.border = true;
    look.hover = false;
    look.itemState = 0;
    img = Paint(look);
    EXPECT_EQ(At(img, 0, 5), GetSysColor(COLOR_3DLIGHT));     // raised edge
    EXPECT_EQ(At(img, 29, 5), GetSysColor(COLOR_3DDKSHADOW));
    look.itemState = ODS_SELECTED;
    img = Paint(look);
    EXPECT_EQ(At(img, 0, 5), GetSysColor(COLOR_BTNSHADOW));   // sunken edge
}

TEST(BmpButtonPaint, NoPictureNoPaintAndDisabledIsGreyed)
{
    BmpButtonLook look = FlatLook();
    look.bitmapId = 0;
    const QImage nothing = Paint(look);
    for (int y = 0; y < nothing.height(); ++y)
        for (int x = 0; x < nothing.width(); ++x) ASSERT_EQ(At(nothing, x, y), kErase);

    look = FlatLook();
    look.enabled = false;
    const QImage grey = Paint(look);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x) {
            const COLORREF c = At(grey, x, y);
            ASSERT_TRUE(c == 0 || c == kErase || c == GetSysColor(COLOR_BTNSHADOW) || c == GetSysColor(COLOR_BTNHIGHLIGHT))
                << x << "," << y;
        }
    EXPECT_EQ(At(grey, 11, 8), GetSysColor(COLOR_BTNSHADOW));
}

TEST(BmpButtonWidget, SetBitmapLoadsOnceAndClicks)
{
    CBlackBmpButton button(1000);
    button.resize(48, 26);
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    EXPECT_EQ(button.GetLoadCount(), 0);
    const QImage blank = button.Render(ToQColor(kErase));
    EXPECT_EQ(At(blank, 24, 13), kErase);

    button.SetBitmap(585);
    EXPECT_EQ(button.GetLoadCount(), 1);
    EXPECT_EQ(button.GetImageSize().cx, 40);
    const int paints = button.GetPaintCount();
    EXPECT_GE(paints, 1);  // painted at once
    button.SetBitmap(585);
    EXPECT_EQ(button.GetLoadCount(), 1);
    EXPECT_EQ(button.GetPaintCount(), paints);
    button.SetBitmap(584);
    EXPECT_EQ(button.GetLoadCount(), 2);
    EXPECT_GT(button.GetPaintCount(), paints);

    // The mask-coloured corners of the picture show the black face.
    EXPECT_EQ(At(button.Render(ToQColor(kErase)), 4, 3), 0u);

    QSignalSpy spy(&button, &CBmpButton::commandClicked);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(120, 10));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1000);
    QTest::keyClick(&button, Qt::Key_Space);
    EXPECT_EQ(spy.count(), 2);

    // Disabled: the picture's ink turns to the shadow colour, its amber face is gone.
    const QImage enabled = button.Render(ToQColor(kErase));
    EXPECT_EQ(At(enabled, 10, 8), RGB(255, 176, 0));
    button.setEnabled(false);
    const QImage disabled = button.Render(ToQColor(kErase));
    EXPECT_EQ(At(disabled, 10, 8), GetSysColor(COLOR_BTNSHADOW));
    for (int y = 0; y < disabled.height(); ++y)
        for (int x = 0; x < disabled.width(); ++x) ASSERT_NE(At(disabled, x, y), RGB(255, 176, 0));
}

TEST(PictureStore, PicturesTheDialogsUse)
{
    for (UINT id : {134u, 135u, 145u, 146u, 147u, 149u, 214u, 216u, 217u, 247u, 262u, 572u, 584u, 585u, 626u, 640u, 641u, 642u})
        EXPECT_TRUE(PictureStore::Has(id)) << id;
    EXPECT_FALSE(PictureStore::Has(1));
    EXPECT_TRUE(PictureStore::Bytes(99999).empty());
}

TEST(BmpButtonWidget, ScaledPictureFollowsTheFullScreenWidth)
{
    // The full-screen client area is the primary's work area less a caption (19 pixels).
    struct Row { LONG width, height; LONG pictureWidth; };
    const Row rows[] = {
        {1280, 640 + 19, 80},  // width / height exactly 2.0: not halved, factor 2.0
        {1287, 640 + 19, 41},  // above 2.0: halved, factor 643.5 / 640
        {640, 480 + 19, 40},   // factor 1.0
    };
    for (const Row& r : rows) {
        auto screens = FakeScreens::Install();
        FakeScreens::Guard guard;
        screens->AddMonitor(RECT{0, 0, r.width, r.height}, true);
        CBlackBmpButton button(1000);
        button.SetBitmap(585, TRUE);
        EXPECT_EQ(button.GetImageSize().cx, r.pictureWidth) << r.width;
    }
}
