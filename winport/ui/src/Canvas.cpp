#include "winport_ui/Canvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstdlib>

QColor ToQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
COLORREF FromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

QFont DialogFont()
{
    QFont font("DejaVu Sans");
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

CDC::CDC(QImage& image) : m_image(image), m_font(DialogFont()) {}

CPen CDC::SelectObject(const CPen& pen) { return std::exchange(m_pen, pen); }
CBrush CDC::SelectObject(const CBrush& brush) { return std::exchange(m_brush, brush); }
QFont CDC::SelectObject(const QFont& font) { return std::exchange(m_font, font); }

void CDC::SelectStockObject(int object)
{
    switch (object) {
    case NULL_PEN: m_pen = CPen(); break;
    case BLACK_PEN: m_pen = CPen(PS_SOLID, 1, 0); break;
    case NULL_BRUSH: m_brush = CBrush(); break;
    default: break;
    }
}

COLORREF CDC::SetTextColor(COLORREF c) { return std::exchange(m_textColour, c); }
COLORREF CDC::SetBkColor(COLORREF c) { return std::exchange(m_bkColour, c); }
int CDC::SetBkMode(int mode) { return std::exchange(m_bkMode, mode); }

void CDC::plot(int x, int y, COLORREF colour)
{
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height()) return;
    m_image.setPixel(x, y, qRgb(GetRValue(colour), GetGValue(colour), GetBValue(colour)));
}

void CDC::fill(int l, int t, int r, int b, COLORREF colour)
{
    l = std::max(l, 0);
    t = std::max(t, 0);
    r = std::min(r, m_image.width());
    b = std::min(b, m_image.height());
    const QRgb v = qRgb(GetRValue(colour), GetGValue(colour), GetBValue(colour));
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x) m_image.setPixel(x, y, v);
}

COLORREF CDC::SetPixel(int x, int y, COLORREF colour)
{
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height()) return CLR_INVALID;
    plot(x, y, colour);
    return colour & 0xffffff;
}

COLORREF CDC::GetPixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height()) return CLR_INVALID;
    return FromQColor(QColor(m_image.pixel(x, y)));
}

CPoint CDC::MoveTo(int x, int y) { return std::exchange(m_pos, CPoint(x, y)); }

BOOL CDC::LineTo(int x1, int y1)
{
    int x = m_pos.x, y = m_pos.y;
    m_pos = CPoint(x1, y1);
    if (m_pen.IsNull()) return TRUE;
    const int dx = std::abs(x1 - x), dy = -std::abs(y1 - y);
    const int sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
    int err = dx + dy;
    while (x != x1 || y != y1) {  // the end point is left out
        plot(x, y, m_pen.Colour());
        const int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x += sx; }
        if (e2 <= dx) { err += dx; y += sy; }
    }
    return TRUE;
}

BOOL CDC::Rectangle(int l, int t, int r, int b)
{
    if (m_pen.IsNull()) {
        // Without a pen the figure is one pixel smaller in width and height.
        if (!m_brush.IsNull()) fill(l, t, r - 1, b - 1, m_brush.Colour());
        return TRUE;
    }
    if (!m_brush.IsNull()) fill(l + 1, t + 1, r - 1, b - 1, m_brush.Colour());
    const COLORREF c = m_pen.Colour();
    fill(l, t, r, t + 1, c);
    fill(l, b - 1, r, b, c);
    fill(l, t, l + 1, b, c);
    fill(r - 1, t, r, b, c);
    return TRUE;
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF colour) { fill(rect->left, rect->top, rect->right, rect->bottom, colour); }

void CDC::FrameRect(LPCRECT rect, const CBrush& brush)
{
    if (brush.IsNull() || rect->right <= rect->left || rect->bottom <= rect->top) return;
    const COLORREF c = brush.Colour();
    fill(rect->left, rect->top, rect->right, rect->top + 1, c);
    fill(rect->left, rect->bottom - 1, rect->right, rect->bottom, c);
    fill(rect->left, rect->top, rect->left + 1, rect->bottom, c);
    fill(rect->right - 1, rect->top, rect->right, rect->bottom, c);
}

BOOL CDC::DrawEdge(LPRECT rect, UINT edge, UINT flags)
{
    // Outer ring then inner ring: (top-left colour, bottom-right colour).
    COLORREF rings[2][2];
    if (edge & BDR_SUNKENOUTER) {
        rings[0][0] = GetSysColor(COLOR_BTNSHADOW);
        rings[0][1] = GetSysColor(COLOR_BTNHIGHLIGHT);
    } else {
        rings[0][0] = GetSysColor(COLOR_3DLIGHT);
        rings[0][1] = GetSysColor(COLOR_3DDKSHADOW);
    }
    if (edge & BDR_SUNKENINNER) {
        rings[1][0] = GetSysColor(COLOR_3DDKSHADOW);
        rings[1][1] = GetSysColor(COLOR_3DLIGHT);
    } else {
        rings[1][0] = GetSysColor(COLOR_BTNHIGHLIGHT);
        rings[1][1] = GetSysColor(COLOR_BTNSHADOW);
    }
    CRect r(*rect);
    for (int i = 0; i < 2; ++i) {
        if (r.IsRectEmpty()) break;
        if (flags & BF_TOP) fill(r.left, r.top, r.right - 1, r.top + 1, rings[i][0]);
        if (flags & BF_LEFT) fill(r.left, r.top, r.left + 1, r.bottom - 1, rings[i][0]);
        if (flags & BF_BOTTOM) fill(r.left, r.bottom - 1, r.right, r.bottom, rings[i][1]);
        if (flags & BF_RIGHT) fill(r.right - 1, r.top, r.right, r.bottom, rings[i][1]);
        r.DeflateRect(1, 1);
    }
    return TRUE;
}

void CDC::DrawFocusRect(LPCRECT rect)
{
    const CRect r(*rect);
    if (r.IsRectEmpty()) return;
    auto invert = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height()) return;
        m_image.setPixel(x, y, m_image.pixel(x, y) ^ 0x00ffffff);
    };
    int n = 0;
    // Clockwise round the border, every other pixel.
    for (int x = r.left; x < r.right; ++x, ++n) if (n % 2 == 0) invert(x, r.top);
    for (int y = r.top + 1; y < r.bottom; ++y, ++n) if (n % 2 == 0) invert(r.right - 1, y);
    for (int x = r.right - 2; x >= r.left && r.bottom - 1 > r.top; --x, ++n) if (n % 2 == 0) invert(x, r.bottom - 1);
    for (int y = r.bottom - 2; y > r.top && r.right - 1 > r.left; --y, ++n) if (n % 2 == 0) invert(r.left, y);
}

int CDC::DrawText(const CString& text, LPRECT rect, UINT format)
{
    const QString s = QString::fromLatin1(text.c_str());
    const int flags = ((format & DT_NOPREFIX) ? 0 : Qt::TextShowMnemonic) |
                      ((format & DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft) |
                      ((format & DT_VCENTER) && (format & DT_SINGLELINE) ? Qt::AlignVCenter : Qt::AlignTop) |
                      ((format & DT_SINGLELINE) ? Qt::TextSingleLine : 0);
    const QFontMetrics metrics(m_font);
    const QRect area(rect->left, rect->top, std::max(0, int(rect->right - rect->left)),
                     std::max(0, int(rect->bottom - rect->top)));
    const QRect needed = metrics.boundingRect(QRect(rect->left, rect->top, 0, 0), flags & ~(Qt::AlignHCenter | Qt::AlignVCenter), s);
    if (format & DT_CALCRECT) {
        rect->right = rect->left + needed.width();
        rect->bottom = rect->top + needed.height();
        return needed.height();
    }
    QPainter painter(&m_image);
    painter.setFont(m_font);
    const QRect cell = metrics.boundingRect(area, flags, s).intersected(area);
    if (m_bkMode == OPAQUE) painter.fillRect(cell, ToQColor(m_bkColour));
    painter.setPen(ToQColor(m_textColour));
    painter.setClipRect(area);
    painter.drawText(area, flags, s);
    return needed.height();
}

void CDC::DrawTransparent(const QImage& picture, int x, int y, COLORREF mask)
{
    const QRgb key = qRgb(GetRValue(mask), GetGValue(mask), GetBValue(mask)) & 0x00ffffff;
    for (int py = 0; py < picture.height(); ++py)
        for (int px = 0; px < picture.width(); ++px) {
            const QRgb v = picture.pixel(px, py) & 0x00ffffff;
            if (v != key) plot(x + px, y + py, RGB(qRed(v), qGreen(v), qBlue(v)));
        }
}

void CDC::DrawDisabled(const QImage& picture, int x, int y, COLORREF mask)
{
    const QRgb key = qRgb(GetRValue(mask), GetGValue(mask), GetBValue(mask)) & 0x00ffffff;
    auto ink = [&](int px, int py) {
        const QRgb v = picture.pixel(px, py) & 0x00ffffff;
        return v != key && qGray(v) < 192;
    };
    for (int pass = 0; pass < 2; ++pass) {
        const int off = pass == 0 ? 1 : 0;
        const COLORREF c = GetSysColor(pass == 0 ? COLOR_BTNHIGHLIGHT : COLOR_BTNSHADOW);
        for (int py = 0; py < picture.height(); ++py)
            for (int px = 0; px < picture.width(); ++px)
                if (ink(px, py)) plot(x + px + off, y + py + off, c);
    }
}
