// CDC: a small drawing surface with the drawing rules of the Windows device context, over a
// QImage. Lines leave out their end point; Rectangle leaves out the right and bottom edges
// (and with the null pen one pixel more on each); FrameRect, DrawEdge, DrawFocusRect and
// SetPixel touch single pixels exactly; DrawText understands "&" mnemonics and fills the text
// cells with the background colour in opaque mode. Pens are 1 pixel wide.
//
// Owner-drawn controls paint through it onto an image that the widget then shows, so what
// they draw can be checked pixel by pixel without a window.
#pragma once

#include <QFont>
#include <QImage>

#include "winport/CRect.h"
#include "winport/CString.h"
#include "winport/SysColours.h"
#include "winport/WinTypes.h"

// Pen styles and stock objects.
#define PS_SOLID 0
#define PS_NULL 5
#define NULL_BRUSH 5
#define BLACK_PEN 7
#define NULL_PEN 8

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

// DrawEdge.
#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)

// DrawText.
#define DT_LEFT 0x0000
#define DT_CENTER 0x0001
#define DT_VCENTER 0x0004
#define DT_SINGLELINE 0x0020
#define DT_CALCRECT 0x0400
#define DT_NOPREFIX 0x0800

// Owner-draw item states.
#define ODS_SELECTED 0x0001
#define ODS_GRAYED 0x0002
#define ODS_DISABLED 0x0004
#define ODS_CHECKED 0x0008
#define ODS_FOCUS 0x0010
#define ODS_DEFAULT 0x0020

class CPen {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF colour) : m_style(style), m_colour(colour) { (void)width; }
    bool IsNull() const { return m_style == PS_NULL; }
    COLORREF Colour() const { return m_colour; }

private:
    int m_style = PS_NULL;
    COLORREF m_colour = 0;
};

class CBrush {
public:
    CBrush() = default;  // the null brush
    explicit CBrush(COLORREF colour) : m_solid(true), m_colour(colour) {}
    bool IsNull() const { return !m_solid; }
    COLORREF Colour() const { return m_colour; }

private:
    bool m_solid = false;
    COLORREF m_colour = 0;
};

/// The dialogs' font (8 point sans serif, 11 pixels high, drawn without smoothing).
QFont DialogFont();

class CDC {
public:
    /// Draws into `image` (32-bit RGB); the image must outlive the object.
    explicit CDC(QImage& image);

    CPen SelectObject(const CPen& pen);
    CBrush SelectObject(const CBrush& brush);
    QFont SelectObject(const QFont& font);
    /// NULL_PEN, BLACK_PEN or NULL_BRUSH; the pen or brush selected before is returned through
    /// the matching overload's result type, so callers keep it themselves.
    void SelectStockObject(int object);
    const CPen& GetPen() const { return m_pen; }
    const CBrush& GetBrush() const { return m_brush; }
    const QFont& GetFont() const { return m_font; }

    COLORREF SetTextColor(COLORREF colour);
    COLORREF SetBkColor(COLORREF colour);
    int SetBkMode(int mode);

    COLORREF SetPixel(int x, int y, COLORREF colour);
    COLORREF GetPixel(int x, int y) const;
    CPoint MoveTo(int x, int y);
    /// Draws from the current position to (x, y), leaving out (x, y); it becomes the current
    /// position.
    BOOL LineTo(int x, int y);
    /// Outline with the pen (left/top in, right/bottom out), inside with the brush.
    BOOL Rectangle(int l, int t, int r, int b);
    BOOL Rectangle(LPCRECT rect) { return Rectangle(rect->left, rect->top, rect->right, rect->bottom); }
    void FillSolidRect(LPCRECT rect, COLORREF colour);
    void FrameRect(LPCRECT rect, const CBrush& brush);
    BOOL DrawEdge(LPRECT rect, UINT edge, UINT flags);
    /// Inverts every other pixel of the rectangle's border, starting at its top-left corner.
    void DrawFocusRect(LPCRECT rect);
    /// Returns the text's height; with DT_CALCRECT only sets rect's right and bottom.
    int DrawText(const CString& text, LPRECT rect, UINT format);

    /// Draws a picture with every pixel of the mask colour left out.
    void DrawTransparent(const QImage& picture, int x, int y, COLORREF mask);
    /// Draws a picture as a disabled one: its dark pixels as an embossed shape in the
    /// highlight and shadow colours, everything else left out.
    void DrawDisabled(const QImage& picture, int x, int y, COLORREF mask);

    QImage& Image() { return m_image; }

private:
    void plot(int x, int y, COLORREF colour);
    void fill(int l, int t, int r, int b, COLORREF colour);  // right and bottom excluded

    QImage& m_image;
    CPen m_pen{PS_SOLID, 1, 0};
    CBrush m_brush{RGB(255, 255, 255)};
    QFont m_font;
    COLORREF m_textColour = 0;
    COLORREF m_bkColour = RGB(255, 255, 255);
    int m_bkMode = OPAQUE;
    CPoint m_pos;
};

/// Windows colour to Qt colour and back.
QColor ToQColor(COLORREF colour);
COLORREF FromQColor(const QColor& colour);
