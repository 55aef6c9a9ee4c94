#include "mic_ui/ColourButton.h"

#include <QElapsedTimer>
#include <QTimer>
#include <set>

#include "ui/DisplayLayout.h"
#include "ui/HlsColour.h"
#include "winport_ui/QtScreenService.h"

namespace {

const COLORREF kOutline = RGB(0, 60, 116);
const COLORREF kFocus = RGB(105, 130, 230);
const COLORREF kDisabledText = RGB(128, 128, 128);

}  // namespace

bool BlinkPhaseLit(qint64 elapsedMs, bool fast)
{
    const qint64 period = fast ? 600 : 1000;
    const qint64 phase = ((elapsedMs % period) + period) % period;
    return phase > period / 2;
}

void DrawColourButtonBody(CDC& dc, const CRect& q, COLORREF face, bool bevel)
{
    const COLORREF menu = GetSysColor(COLOR_MENU);
    const CPen oldPen = dc.SelectObject(CPen(PS_SOLID, 1, kOutline));
    const CBrush oldBrush = dc.SelectObject(CBrush(face));
    CRect r = q;
    r.DeflateRect(1, 1);
    dc.Rectangle(r);

    dc.SelectObject(CPen(PS_SOLID, 1, DarkenColour(menu, 20)));
    dc.MoveTo(q.left + 1, q.top);
    dc.LineTo(q.right - 1, q.top);
    dc.MoveTo(q.left, q.top + 1);
    dc.LineTo(q.left, q.bottom - 1);

    const COLORREF p0 = LightenColour(menu, 0);
    dc.SelectObject(CPen(PS_SOLID, 1, p0));
    dc.MoveTo(q.left + 1, q.bottom - 1);
    dc.LineTo(q.right - 1, q.bottom - 1);
    dc.MoveTo(q.right - 1, q.top + 1);
    dc.LineTo(q.right - 1, q.bottom - 1);

    // Rounded corners: (i, j) counted inward from each corner point.
    struct Dot { int i, j; COLORREF colour; };
    const COLORREF light = LightenColour(face, 20);
    const Dot dots[8] = {{1, 1, p0}, {2, 1, RGB(122, 149, 168)}, {1, 2, RGB(122, 149, 168)},
                         {3, 1, RGB(37, 87, 131)}, {1, 3, RGB(37, 87, 131)}, {2, 2, RGB(85, 125, 162)},
                         {3, 2, light}, {2, 3, light}};
    const CPoint corners[4] = {{q.left, q.top}, {q.right - 1, q.top}, {q.left, q.bottom - 1}, {q.right - 1, q.bottom - 1}};
    for (int c = 0; c < 4; ++c) {
        const int sx = (c % 2 == 0) ? 1 : -1, sy = (c < 2) ? 1 : -1;
        for (const Dot& d : dots) dc.SetPixel(corners[c].x + sx * d.i, corners[c].y + sy * d.j, d.colour);
    }

    if (bevel) {
        for (int i = 1; i <= 3; ++i) {
            dc.SelectObject(CPen(PS_SOLID, 1, DarkenColour(face, 4 * i - 15)));
            dc.MoveTo(r.left + 2, r.top + i);
            dc.LineTo(r.right - 2 - i, r.top + i);
        }
        for (int i = 1; i <= 4; ++i) {
            dc.SelectObject(CPen(PS_SOLID, 1, DarkenColour(face, 4 * i)));
            dc.MoveTo(r.left + 2, r.bottom + i - 6);
            dc.LineTo(r.right - 2, r.bottom + i - 6);
        }
        for (int i = 1; i <= 4; ++i) {
            dc.SelectObject(CPen(PS_SOLID, 1, DarkenColour(face, 4 * i)));
            dc.MoveTo(r.right + i - 6, r.top + 4);
            dc.LineTo(r.right + i - 6, r.bottom - 4);
        }
    }
    dc.SelectObject(oldPen);
    dc.SelectObject(oldBrush);
}

void DrawColourButtonHotFrame(CDC& dc, const CRect& client)
{
    CRect f = client;
    f.DeflateRect(3, 3, 2, 2);
    const CPen a(PS_SOLID, 1, RGB(253, 240, 207)), b(PS_SOLID, 1, RGB(253, 216, 137)),
        y(PS_SOLID, 1, RGB(229, 151, 0)), d(PS_SOLID, 1, RGB(248, 179, 48)), e(PS_SOLID, 1, RGB(252, 210, 122)),
        g(PS_SOLID, 1, RGB(252, 202, 105));
    const CPen old = dc.SelectObject(a);
    dc.MoveTo(f.left, f.top);
    dc.LineTo(f.right - 1, f.top);
    dc.SelectObject(g);
    dc.LineTo(f.right - 1, f.bottom - 1);
    dc.SelectObject(y);
    dc.MoveTo(f.right - 2, f.bottom - 1);
    dc.LineTo(f.left, f.bottom - 1);
    dc.SelectObject(e);
    dc.LineTo(f.left, f.top);
    dc.SelectObject(b);
    dc.MoveTo(f.left, f.top - 1);
    dc.LineTo(f.right - 2, f.top - 1);
    dc.SelectObject(g);
    dc.LineTo(f.right - 2, f.bottom - 2);
    dc.SelectObject(d);
    dc.LineTo(f.left - 1, f.bottom - 2);
    dc.SelectObject(e);
    dc.LineTo(f.left - 1, f.top - 1);
    dc.SelectObject(old);
}

void PaintColourButton(CDC& dc, const ColourButtonLook& look)
{
    const QFont oldFont = dc.SelectObject(look.font);
    CRect calc(0, 0, 0, 0);
    dc.DrawText(look.text, calc, DT_CALCRECT);
    const int p = look.pressed ? 1 : 0;
    CRect textRect;
    textRect.left = p + (look.rect.Width() - calc.Width()) / 2;
    textRect.top = p + (look.rect.Height() - calc.Height()) / 2;
    textRect.right = textRect.left + calc.Width();
    textRect.bottom = textRect.top + calc.Height();

    if (look.blinkLit) {
        dc.SetBkColor(RGB(255, 255, 255));
        dc.SetTextColor(RGB(0, 0, 0));
    } else {
        dc.SetBkColor(look.faceColour);
        dc.SetTextColor(look.textColour);
    }
    if (look.itemState & ODS_DISABLED) dc.SetTextColor(kDisabledText);
    if (!look.blinkLit) DrawColourButtonBody(dc, look.rect, look.faceColour, look.bevel);

    if (look.itemState & ODS_FOCUS) {
        dc.SelectStockObject(NULL_BRUSH);
        const CPen old = dc.SelectObject(CPen(PS_SOLID, 1, kFocus));
        CRect focus = look.rect;
        focus.DeflateRect(3, 3);
        dc.Rectangle(focus);
        dc.SelectObject(old);
    }
    if (look.hover) DrawColourButtonHotFrame(dc, look.rect);
    dc.DrawText(look.text, textRect, 0);
    dc.SelectObject(oldFont);
}

// ---------------------------------------------------------------------------------------------

namespace {

struct BlinkState {
    std::set<CColourButton*> buttons;
    QTimer* timer = nullptr;
    QElapsedTimer base;
};

BlinkState& Blink()
{
    static BlinkState state;
    return state;
}

}  // namespace

void BlinkClock::Add(CColourButton* button)
{
    BlinkState& s = Blink();
    s.buttons.insert(button);
    if (!s.timer) {
        s.timer = new QTimer();
        s.timer->setInterval(10);
        QObject::connect(s.timer, &QTimer::timeout, [] {
            BlinkState& st = Blink();
            if (!st.base.isValid()) st.base.start();  // the first tick sets the shared base
            TickAt(st.base.elapsed());
        });
    }
    if (!s.timer->isActive()) s.timer->start();
}

void BlinkClock::Remove(CColourButton* button)
{
    BlinkState& s = Blink();
    s.buttons.erase(button);
    if (s.buttons.empty() && s.timer) s.timer->stop();
}

bool BlinkClock::IsRunning() { return Blink().timer && Blink().timer->isActive(); }

void BlinkClock::TickAt(qint64 elapsedMs)
{
    const std::set<CColourButton*> buttons = Blink().buttons;
    for (CColourButton* b : buttons) b->BlinkTick(elapsedMs);
}

// ---------------------------------------------------------------------------------------------

CColourButton::CColourButton(int id, const QString& text, QWidget* parent)
    : OwnerDrawButton(id, parent), m_crText(GetSysColor(COLOR_BTNTEXT)), m_crFace(GetSysColor(COLOR_BTNFACE))
{
    setWindowTitle(text);
    SetBlink(FALSE, FALSE);
}

CColourButton::~CColourButton() { BlinkClock::Remove(this); }

void CColourButton::SetColours(COLORREF text, COLORREF face, BOOL style)
{
    m_crText = text;
    m_crFace = face;
    m_bStyle = style;
    update();
}

void CColourButton::SetBlink(BOOL on, BOOL fast)
{
    m_bBlink = on;
    m_bFastBlink = fast;
    m_bBlinkPhase = false;
    if (on)
        BlinkClock::Add(this);
    else
        BlinkClock::Remove(this);
    update();
}

void CColourButton::BlinkTick(qint64 elapsedMs)
{
    if (!m_bBlink) return;
    const bool lit = BlinkPhaseLit(elapsedMs, m_bFastBlink);
    if (lit != m_bBlinkPhase) {
        m_bBlinkPhase = lit;
        update();
    }
}

void CColourButton::SetFontSize(int height, BOOL bold, BOOL scale)
{
    m_bBold = bold;
    HWND self = nullptr;
    if (auto screens = std::dynamic_pointer_cast<winport::QtScreenService>(winport::GetScreenService()))
        self = screens->HandleOf(this);
    CDisplayLayout::ColourButtonFontSize(self, height, scale, m_nFontHeight, m_nFontWidth);
    update();
}

QFont CColourButton::CaptionFont() const
{
    QFont font;
    if (m_bArial) {
        font = QFont("DejaVu Sans");  // the sans serif face that stands for Arial here
        font.setPixelSize(std::max(1, static_cast<int>(m_nFontHeight * 1.3)));
        font.setBold(m_bBold);
    } else {
        font = parentWidget() ? parentWidget()->font() : DialogFont();  // the dialog's font
        if (m_nFontHeight > 0) font.setPixelSize(m_nFontHeight);
        if (m_bBold) font.setWeight(QFont::Bold);
        font.setStyleStrategy(QFont::NoAntialias);
    }
    return font;
}

ColourButtonLook CColourButton::Look() const
{
    ColourButtonLook look;
    look.rect = CRect(0, 0, width(), height());
    look.text = CString(windowTitle().toLatin1().constData());
    look.textColour = m_crText;
    look.faceColour = m_crFace;
    look.itemState = (hasFocus() ? ODS_FOCUS : 0) | (isEnabled() ? 0 : ODS_DISABLED);
    look.pressed = m_bPressed;
    look.hover = m_bHover;
    look.blinkLit = m_bBlink && m_bBlinkPhase;
    look.bevel = m_bBevel;
    look.font = CaptionFont();
    return look;
}

bool CColourButton::PaintTo(QImage& image) const
{
    CDC dc(image);
    PaintColourButton(dc, Look());
    return true;
}
