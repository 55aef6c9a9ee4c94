#include "mic_ui/BmpButton.h"

#include <QMouseEvent>

#include "mic_ui/EnBitmap.h"
#include "winport/Screens.h"

BOOL PaintBmpButton(CDC& dc, const BmpButtonLook& look)
{
    if (look.bitmapId == 0 || look.picture.isNull()) return FALSE;
    CRect r = look.item;
    const CBrush oldBrush = dc.SelectObject(CBrush(look.background));
    const CPen oldPen = dc.GetPen();
    if (!look.border) dc.SelectStockObject(NULL_PEN);
    dc.Rectangle(r);
    if ((look.itemState & ODS_DEFAULT) && look.border) {
        dc.Rectangle(r);
        r.DeflateRect(1, 1);
    }
    if (look.hover && look.hoverFrame) {
        CRect frame = r;
        frame.DeflateRect(4, 4);
        dc.FrameRect(frame, CBrush(RGB(127, 127, 127)));
    }
    if ((look.itemState & ODS_FOCUS) && look.focusMark) {
        if (look.border) {
            CRect focus = r;
            focus.DeflateRect(4, 4);
            dc.DrawFocusRect(focus);
        } else {
            dc.SelectStockObject(BLACK_PEN);
            dc.MoveTo(r.right - 2, r.top + r.Height() / 2);
            dc.LineTo(r.right - 2, r.bottom - 2);
            dc.LineTo(r.left + r.Width() / 2, r.bottom - 2);
        }
    }
    if (look.border) dc.DrawEdge(r, (look.itemState & ODS_SELECTED) ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);

    int x = (look.client.Width() - look.picture.width()) / 2;
    int y = (look.client.Height() - look.picture.height()) / 2;
    if ((look.itemState & ODS_SELECTED) && look.pressedOffset) {
        x += 2;
        y += 2;
    }
    if (look.enabled)
        dc.DrawTransparent(look.picture, x, y, look.mask);
    else
        dc.DrawDisabled(look.picture, x, y, look.mask);
    // The flat style's hot edge lies over everything else.
    CRect client = look.client;
    if (!look.border && look.hot) dc.DrawEdge(client, EDGE_RAISED, BF_RECT);
    dc.SelectObject(oldBrush);
    dc.SelectObject(oldPen);
    return TRUE;
}

CBmpButton::CBmpButton(int id, QWidget* parent) : CBmpButton(id, 0xC0C0C0, GetSysColor(COLOR_BTNFACE), parent) {}

CBmpButton::CBmpButton(int id, COLORREF mask, COLORREF background, QWidget* parent)
    : OwnerDrawButton(id, parent), m_crMask(mask), m_crBackground(background)
{
}

CBmpButton::~CBmpButton() = default;

CBlackBmpButton::CBlackBmpButton(int id, QWidget* parent) : CBmpButton(id, 0x0000C0C0, 0, parent) {}

void CBmpButton::SetBitmap(UINT nBitmapId, BOOL bScale)
{
    if (nBitmapId == m_nBitmapId) return;
    m_nBitmapId = nBitmapId;
    m_bScale = bScale;
    m_bFocusMark = true;

    CEnBitmap bitmap(RGB(255, 255, 255));
    bitmap.LoadImage(nBitmapId);
    if (bScale && bitmap.HasBitmap()) {
        double cx = GetSystemMetrics(SM_CXFULLSCREEN), cy = GetSystemMetrics(SM_CYFULLSCREEN);
        if (cy > 0) {
            if (cx / cy > 2.0) cx /= 2;
            bitmap.ResizeImage(cx / 640.0);  // a refused factor leaves the picture as it is
        }
    }
    ++m_nLoads;
    m_picture = bitmap.Image();
    m_nImageWidth = m_picture.width();
    m_nImageHeight = m_picture.height();
    if (isVisible()) repaint();
}

BmpButtonLook CBmpButton::Look() const
{
    BmpButtonLook look;
    look.bitmapId = m_nBitmapId;
    look.item = CRect(0, 0, width(), height());
    look.client = look.item;
    look.itemState = (m_bPressed ? ODS_SELECTED : 0) | (hasFocus() ? ODS_FOCUS : 0) | (isEnabled() ? 0 : ODS_DISABLED);
    look.border = m_bBorder;
    look.pressedOffset = m_bPressedOffset;
    look.hover = m_bHover;
    look.hot = m_bHot;
    look.hoverFrame = m_bHoverFrame;
    look.focusMark = m_bFocusMark;
    look.enabled = isEnabled();
    look.picture = m_picture;
    look.mask = m_crMask;
    look.background = m_crBackground;
    return look;
}

bool CBmpButton::PaintTo(QImage& image) const
{
    if (m_nBitmapId == 0) return false;  // nothing at all, not even the background
    CDC dc(image);
    return PaintBmpButton(dc, Look());
}

QColor CBmpButton::EraseColour() const
{
    return parentWidget() ? parentWidget()->palette().color(QPalette::Window) : OwnerDrawButton::EraseColour();
}

void CBmpButton::setHot(bool hot)
{
    if (hot == m_bHot) return;
    m_bHot = hot;
    update();
}

void CBmpButton::mouseMoveEvent(QMouseEvent* e)
{
    OwnerDrawButton::mouseMoveEvent(e);
    // Flat style: hot while the pointer is over the button.
    if (!m_bBorder) setHot(rect().contains(e->position().toPoint()));
}

void CBmpButton::mouseReleaseEvent(QMouseEvent* e)
{
    OwnerDrawButton::mouseReleaseEvent(e);
    setHot(false);  // until the pointer moves again
}

void CBmpButton::leaveEvent(QEvent* e)
{
    OwnerDrawButton::leaveEvent(e);
    setHot(false);
}
