// CColourButton: the program's owner-drawn text button: a flat coloured face with a dark
// outline, rounded corners and a soft bevel worked out from the face colour, a centred caption
// with an "&" mnemonic, a blue focus rectangle, an amber frame while the mouse rests on it,
// and an optional blink. A click reaches the owner as commandClicked(id).
#pragma once

#include <QFont>

#include "mic_ui/OwnerDrawButton.h"

#include "winport/CRect.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"
#include "winport_ui/Canvas.h"

/// Everything the painting of a colour button depends on.
struct ColourButtonLook {
    CRect rect;          // client rectangle, from (0, 0)
    CString text;
    COLORREF textColour = 0;
    COLORREF faceColour = 0;
    UINT itemState = 0;  // ODS_ bits: focus, disabled
    bool pressed = false;
    bool hover = false;
    bool blinkLit = false;
    bool bevel = true;
    QFont font;
};

/// Paints the button into dc, which holds the erased background.
void PaintColourButton(CDC& dc, const ColourButtonLook& look);
/// The body: outline, edges, corners and bevel.
void DrawColourButtonBody(CDC& dc, const CRect& client, COLORREF face, bool bevel);
void DrawColourButtonHotFrame(CDC& dc, const CRect& client);
/// Whether the blink shows its lit phase `elapsedMs` after the shared base time.
bool BlinkPhaseLit(qint64 elapsedMs, bool fast);

class CColourButton : public OwnerDrawButton {
    Q_OBJECT
public:
    CColourButton(int id, const QString& text, QWidget* parent = nullptr);
    ~CColourButton() override;

    void SetColours(COLORREF text, COLORREF face, BOOL style);
    void SetBlink(BOOL on, BOOL fast);
    void SetArialFont(BOOL on) { m_bArial = on; }
    void SetFontHeight(int height) { m_nFontHeight = height; }
    void SetBold(bool bold) { m_bBold = bold; }
    /// Bold flag, and font height: `height` when above 0; otherwise, with `scale`, a height and
    /// width that follow the button's screen; without it both 0 (the dialog's font).
    void SetFontSize(int height, BOOL bold, BOOL scale);
    int GetFontHeight() const { return m_nFontHeight; }
    int GetFontWidth() const { return m_nFontWidth; }
    void SetBevel(bool bevel) { m_bBevel = bevel; update(); }

    COLORREF GetTextColour() const { return m_crText; }
    COLORREF GetFaceColour() const { return m_crFace; }
    bool IsBlinkLit() const { return m_bBlinkPhase; }

    /// The look as it would be painted now.
    ColourButtonLook Look() const;
    /// Called by the shared blink clock with the time since its base.
    void BlinkTick(qint64 elapsedMs);

protected:
    bool PaintTo(QImage& image) const override;

private:
    QFont CaptionFont() const;

    int m_nFontHeight = 0;
    int m_nFontWidth = 0;
    bool m_bBold = false;
    COLORREF m_crText;
    COLORREF m_crFace;
    BOOL m_bStyle = TRUE;
    BOOL m_bArial = FALSE;
    bool m_bFastBlink = false;
    bool m_bBlink = false;
    bool m_bBlinkPhase = false;
    bool m_bBevel = true;
};

/// The one clock that drives every blinking colour button: it runs only while at least one
/// button blinks, and all buttons blink in step from one base time.
class BlinkClock {
public:
    static void Add(CColourButton* button);
    static void Remove(CColourButton* button);
    static bool IsRunning();
    /// Drives every blinking button as if `elapsedMs` had passed since the base (tests).
    static void TickAt(qint64 elapsedMs);
};
