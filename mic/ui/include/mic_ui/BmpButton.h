// CBmpButton: an owner-drawn push button that shows one picture, centred, on a solid
// background, with an optional 3-D edge, a press shift, a focus mark and a grey hover frame.
// CBlackBmpButton is the same on black with the mask colour (red 192, green 192, blue 0).
// A button paints nothing until it has been given a picture.
#pragma once

#include <QImage>

#include "mic_ui/OwnerDrawButton.h"

#include "winport/CRect.h"
#include "winport/WinTypes.h"
#include "winport_ui/Canvas.h"

/// Everything the painting of a bitmap button depends on.
struct BmpButtonLook {
    UINT bitmapId = 0;
    CRect item;          // the item rectangle
    CRect client;        // the client rectangle
    UINT itemState = 0;  // ODS_ bits
    bool border = true;
    bool pressedOffset = true;
    bool hover = false;
    /// Flat style: the pointer is over the button (a raised edge shows around it).
    bool hot = false;
    bool hoverFrame = true;
    bool focusMark = true;
    bool enabled = true;
    QImage picture;
    COLORREF mask = 0xC0C0C0;
    COLORREF background = 0;
};

/// Paints the button; FALSE (and nothing drawn) when it has no picture.
BOOL PaintBmpButton(CDC& dc, const BmpButtonLook& look);

class CBmpButton : public OwnerDrawButton {
    Q_OBJECT
public:
    explicit CBmpButton(int id, QWidget* parent = nullptr);
    ~CBmpButton() override;

    void SetBitmap(UINT nBitmapId, BOOL bScale = FALSE);
    void SetDrawBorder(BOOL on) { m_bBorder = on; update(); }
    void SetPressedOffset(BOOL on) { m_bPressedOffset = on; update(); }

    UINT GetBitmapId() const { return m_nBitmapId; }
    bool IsHot() const { return m_bHot; }
    SIZE GetImageSize() const { return SIZE{m_nImageWidth, m_nImageHeight}; }
    /// How often a picture was loaded (for checks that a repeated id changes nothing).
    int GetLoadCount() const { return m_nLoads; }

    BmpButtonLook Look() const;

protected:
    CBmpButton(int id, COLORREF mask, COLORREF background, QWidget* parent);
    bool PaintTo(QImage& image) const override;
    QColor EraseColour() const override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void setHot(bool hot);

    UINT m_nBitmapId = 0;
    bool m_bBorder = true;
    bool m_bPressedOffset = true;
    bool m_bScale = false;
    bool m_bFocusMark = true;
    QImage m_picture;
    COLORREF m_crMask;
    COLORREF m_crBackground;
    int m_nImageWidth = 0;
    int m_nImageHeight = 0;
    bool m_bHoverFrame = true;
    bool m_bHot = false;
    int m_nLoads = 0;
};

class CBlackBmpButton : public CBmpButton {
    Q_OBJECT
public:
    explicit CBlackBmpButton(int id, QWidget* parent = nullptr);
};
