#include <gtest/gtest.h>

#include "winport_ui/Canvas.h"

namespace {

const COLORREF kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255);

QImage Blank(int w = 12, int h = 10)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

}  // namespace

TEST(Canvas, LinesLeaveOutTheirEndPoint)
{
    QImage img = Blank();
    CDC dc(img);
    dc.SelectObject(CPen(PS_SOLID, 1, kRed));
    dc.MoveTo(2, 2);
    dc.LineTo(6, 2);
    for (int x = 2; x < 6; ++x) EXPECT_EQ(dc.GetPixel(x, 2), kRed) << x;
    EXPECT_EQ(dc.GetPixel(6, 2), kWhite);
    EXPECT_EQ(dc.GetPixel(1, 2), kWhite);

    dc.MoveTo(0, 4);
    dc.LineTo(3, 7);  // diagonal
    EXPECT_EQ(dc.GetPixel(0, 4), kRed);
    EXPECT_EQ(dc.GetPixel(2, 6), kRed);
    EXPECT_EQ(dc.GetPixel(3, 7), kWhite);
    dc.LineTo(3, 4);  // on from the last end, upward
    EXPECT_EQ(dc.GetPixel(3, 7), kRed);
    EXPECT_EQ(dc.GetPixel(3, 4), kWhite);
}

TEST(Canvas, RectangleFrameAndPixels)
{
    QImage img = Blank();
    CDC dc(img);
    dc.SelectObject(CPen(PS_SOLID, 1, kRed));
    dc.SelectObject(CBrush(kBlue));
    dc.Rectangle(1, 1, 5, 4);
    EXPECT_EQ(dc.GetPixel(1, 1), kRed);
    EXPECT_EQ(dc.GetPixel(4, 3), kRed);
    EXPECT_EQ(dc.GetPixel(2, 2), kBlue);
    EXPECT_EQ(dc.GetPixel(5, 2), kWhite);  // right edge left out
    EXPECT_EQ(dc.GetPixel(2, 4), kWhite);  // bottom edge left out

    dc.SelectStockObject(NULL_PEN);
    dc.Rectangle(6, 5, 10, 9);  // without a pen one pixel smaller each way
    EXPECT_EQ(dc.GetPixel(6, 5), kBlue);
    EXPECT_EQ(dc.GetPixel(8, 7), kBlue);
    EXPECT_EQ(dc.GetPixel(9, 7), kWhite);
    EXPECT_EQ(dc.GetPixel(8, 8), kWhite);

    QImage frame = Blank();
    CDC fdc(frame);
    const CRect r(2, 2, 6, 5);
    fdc.FrameRect(r, CBrush(kRed));
    EXPECT_EQ(fdc.GetPixel(2, 2), kRed);
    EXPECT_EQ(fdc.GetPixel(5, 4), kRed);
    EXPECT_EQ(fdc.GetPixel(3, 3), kWhite);
    EXPECT_EQ(fdc.SetPixel(20, 20, kRed), CLR_INVALID);
    EXPECT_EQ(fdc.GetPixel(-1, 0), CLR_INVALID);
}

TEST(Canvas, FocusRectangleInvertsEveryOtherPixelAndUndoes)
{
    QImage img = Blank();
    const QImage before = img;
    CDC dc(img);
    const CRect r(1, 1, 7, 5);
    dc.DrawFocusRect(r);
    EXPECT_EQ(dc.GetPixel(1, 1), RGB(0, 0, 0));
    EXPECT_EQ(dc.GetPixel(2, 1), kWhite);
    EXPECT_EQ(dc.GetPixel(3, 1), RGB(0, 0, 0));
    EXPECT_EQ(dc.GetPixel(3, 3), kWhite);  // inside untouched
    dc.DrawFocusRect(r);
    EXPECT_EQ(img, before);
}

TEST(Canvas, EdgesUseTheSystemColours)
{
    QImage img = Blank();
    CDC dc(img);
    CRect r(0, 0, 8, 6);
    dc.DrawEdge(r, EDGE_RAISED, BF_RECT);
    EXPECT_EQ(dc.GetPixel(0, 2), GetSysColor(COLOR_3DLIGHT));
    EXPECT_EQ(dc.GetPixel(7, 2), GetSysColor(COLOR_3DDKSHADOW));
    EXPECT_EQ(dc.GetPixel(1, 2), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(dc.GetPixel(6, 2), GetSysColor(COLOR_BTNSHADOW));
    dc.DrawEdge(r, EDGE_SUNKEN, BF_RECT);
    EXPECT_EQ(dc.GetPixel(0, 2), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(dc.GetPixel(1, 2), GetSysColor(COLOR_3DDKSHADOW));
}

TEST(Canvas, TextCellsAndMnemonics)
{
    QImage img = Blank(60, 20);
    CDC dc(img);
    CRect calcPlain(0, 0, 0, 0), calcMark(0, 0, 0, 0);
    dc.DrawText("Exit", calcPlain, DT_CALCRECT);
    dc.DrawText("E&xit", calcMark, DT_CALCRECT);
    EXPECT_GT(calcPlain.Width(), 10);
    EXPECT_GT(calcPlain.Height(), 8);
    EXPECT_EQ(calcMark.Size(), calcPlain.Size());

    dc.SetBkColor(kBlue);
    dc.SetTextColor(kWhite);
    CRect cell = calcPlain;
    cell.OffsetRect(2, 2);
    dc.DrawText("Exit", cell, 0);
    int blue = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool inCell = cell.PtInRect(CPoint(x, y));
            if (!inCell) {
                ASSERT_EQ(dc.GetPixel(x, y), kWhite) << x << "," << y;
            }
            blue += dc.GetPixel(x, y) == kBlue;
        }
    EXPECT_GT(blue, cell.Width() * cell.Height() / 2);  // opaque: the cell takes the background

    QImage clear = Blank(60, 20);
    CDC tdc(clear);
    tdc.SetBkColor(kBlue);
    tdc.SetBkMode(TRANSPARENT);
    tdc.DrawText("Exit", cell, 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x) {
            ASSERT_NE(tdc.GetPixel(x, y), kBlue);
        }
}
