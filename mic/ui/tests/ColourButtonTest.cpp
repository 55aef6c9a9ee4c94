#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "mic_ui/ColourButton.h"
#include "ui/HlsColour.h"

namespace {

const COLORREF kOkFace = 0x327e08, kWhite = RGB(255, 255, 255);

ColourButtonLook OkLook()
{
    ColourButtonLook look;
    look.rect = CRect(0, 0, 80, 24);
    look.text = "OK";
    look.textColour = kWhite;
    look.faceColour = kOkFace;
    look.font = DialogFont();
    return look;
}

QImage Paint(const ColourButtonLook& look)
{
    QImage image(look.rect.Width(), look.rect.Height(), QImage::Format_RGB32);
    image.fill(ToQColor(GetSysColor(COLOR_BTNFACE)));
    CDC dc(image);
    PaintColourButton(dc, look);
    return image;
}

COLORREF At(const QImage& img, int x, int y) { return FromQColor(QColor(img.pixel(x, y))); }

int Count(const QImage& img, COLORREF c)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += At(img, x, y) == c;
    return n;
}

}  // namespace

TEST(ColourButtonPaint, BodyOutlineEdgesCornersAndBevel)
{
    const QImage img = Paint(OkLook());
    const COLORREF menu = GetSysColor(COLOR_MENU), p0 = LightenColour(menu, 0);
    struct Probe { int x, y; COLORREF expected; const char* what; };
    const Probe probes[] = {
        {1, 12, RGB(0, 60, 116), "outline"},
        {10, 0, DarkenColour(menu, 20), "top edge"},
        {0, 10, DarkenColour(menu, 20), "left edge"},
        {10, 23, p0, "bottom edge"},
        {79, 10, p0, "right edge"},
        {1, 1, p0, "corner 1,1"},
        {2, 1, RGB(122, 149, 168), "corner 2,1"},
        {1, 3, RGB(37, 87, 131), "corner 1,3"},
        {2, 2, RGB(85, 125, 162), "corner 2,2"},
        {2, 3, LightenColour(kOkFace, 20), "corner 2,3"},
        {77, 22, RGB(122, 149, 168), "bottom-right corner 2,1"},
        {10, 2, DarkenColour(kOkFace, -11), "top bevel 1"},
        {10, 4, DarkenColour(kOkFace, -3), "top bevel 3"},
        {10, 18, DarkenColour(kOkFace, 4), "bottom bevel 1"},
        {74, 10, DarkenColour(kOkFace, 4), "right bevel 1"},
        {20, 8, kOkFace, "face"},
    };
    for (const Probe& p : probes) EXPECT_EQ(At(img, p.x, p.y), p.expected) << p.what;
    EXPECT_EQ(At(img, 0, 0), GetSysColor(COLOR_BTNFACE)) << "the outer corner stays erased";
    EXPECT_GT(Count(img, kWhite), 5) << "caption";
}

TEST(ColourButtonPaint, FocusHotFrameDisabledAndBlink)
{
    ColourButtonLook look = OkLook();
    look.itemState = ODS_FOCUS;
    QImage img = Paint(look);
    EXPECT_EQ(At(img, 40, 3), RGB(105, 130, 230));
    EXPECT_EQ(At(img, 3, 12), RGB(105, 130, 230));
    EXPECT_EQ(At(img, 76, 20), RGB(105, 130, 230));

    look.hover = true;
    img = Paint(look);
    EXPECT_EQ(At(img, 10, 3), RGB(253, 240, 207));  // A along the top
    EXPECT_EQ(At(img, 77, 10), RGB(252, 202, 105));  // G down the right
    EXPECT_EQ(At(img, 10, 21), RGB(229, 151, 0));    // Y along the bottom
    EXPECT_EQ(At(img, 10, 2), RGB(253, 216, 137));   // B above
    EXPECT_EQ(At(img, 2, 10), RGB(252, 210, 122));   // E, outer left

    look = OkLook();
    look.itemState = ODS_DISABLED;
    img = Paint(look);
    EXPECT_GT(Count(img, RGB(128, 128, 128)), 5);
    EXPECT_EQ(Count(img, kWhite), 0);

    look = OkLook();
    look.blinkLit = true;
    img = Paint(look);
    EXPECT_EQ(Count(img, kOkFace), 0) << "no body in the lit phase";
    EXPECT_GT(Count(img, RGB(0, 0, 0)), 5);
}

TEST(ColourButtonPaint, MnemonicIsUnderlined)
{
    ColourButtonLook look = OkLook();
    look.text = "E&xit";
    const QImage withMark = Paint(look);
    look.text = "Exit";
    const QImage plain = Paint(look);
    // The only difference: one row of caption pixels under the x.
    int rows = 0, lastRow = -1;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (At(withMark, x, y) == kWhite && At(plain, x, y) != kWhite && y != lastRow) {
                ++rows;
                lastRow = y;
            }
    EXPECT_EQ(rows, 1);
    EXPECT_GT(Count(withMark, kWhite), Count(plain, kWhite));
}

TEST(ColourButtonPaint, BlinkPhases)
{
    struct Row { qint64 t; bool fast, lit; };
    const Row rows[] = {{0, true, false}, {300, true, false}, {301, true, true}, {599, true, true}, {600, true, false},
                        {500, false, false}, {501, false, true}, {999, false, true}, {1000, false, false}};
    for (const Row& r : rows) EXPECT_EQ(BlinkPhaseLit(r.t, r.fast), r.lit) << r.t << (r.fast ? " fast" : "");
}

TEST(ColourButtonWidget, ClicksWithItsIdOnlyWhenReleasedInside)
{
    CColourButton button(1129, "&Load Preset");
    button.resize(80, 24);
    button.show();
    QSignalSpy spy(&button, &CColourButton::commandClicked);

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(button.IsPressed());
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(12, 10));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1129);

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(300, 10));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_FALSE(button.IsPressed());

    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));  // no press before it
    EXPECT_EQ(spy.count(), 1);

    button.setFocus();
    QTest::keyClick(&button, Qt::Key_Space);
    EXPECT_EQ(spy.count(), 2);
}

TEST(ColourButtonWidget, ColoursBeforeShowingAndOneBlinkClock)
{
    CColourButton button(2, "E&xit");
    button.SetColours(kWhite, 0x502814, FALSE);
    button.resize(80, 24);
    EXPECT_EQ(FromQColor(QColor(button.Render().pixel(20, 8))), 0x502814u);

    EXPECT_FALSE(BlinkClock::IsRunning());
    {
        CColourButton other(3, "Help");
        button.SetBlink(TRUE, TRUE);
        other.SetBlink(TRUE, FALSE);
        EXPECT_TRUE(BlinkClock::IsRunning());
        BlinkClock::TickAt(400);
        EXPECT_TRUE(button.IsBlinkLit());
        EXPECT_FALSE(other.IsBlinkLit());
        BlinkClock::TickAt(700);
        EXPECT_FALSE(button.IsBlinkLit());
        EXPECT_TRUE(other.IsBlinkLit());
    }
    button.SetBlink(FALSE, FALSE);
    EXPECT_FALSE(BlinkClock::IsRunning());
}
