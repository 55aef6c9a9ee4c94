#include "mic_ui/MyCheckListBox.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "winport/Window.h"

namespace {

constexpr int kCheckBoxSize = 13;

void DrawCheckBox(CDC& dc, const CRect& line, int check, bool enabled)
{
    const int top = line.top + std::max(0, (line.Height() - kCheckBoxSize) / 2);
    CRect box(line.left + 1, top, line.left + 1 + kCheckBoxSize, top + kCheckBoxSize);
    dc.FillSolidRect(&box, enabled ? GetSysColor(COLOR_WINDOW) : GetSysColor(COLOR_BTNFACE));
    dc.FrameRect(&box, CBrush(GetSysColor(COLOR_BTNSHADOW)));
    if (!check) return;
    const COLORREF tick = enabled ? GetSysColor(COLOR_WINDOWTEXT) : GetSysColor(COLOR_GRAYTEXT);
    // A tick three pixels thick: down from (3, 5) to (5, 7), then up to (9, 3).
    for (int row = 0; row < 3; ++row) {
        for (int i = 0; i <= 2; ++i) dc.SetPixel(box.left + 3 + i, box.top + 5 + i + row, tick);
        for (int i = 1; i <= 4; ++i) dc.SetPixel(box.left + 5 + i, box.top + 7 - i + row, tick);
    }
}

} // namespace

void PaintCheckListItem(CDC& dc, const CRect& rect, const CString& text, const CheckListItemLook& look)
{
    if (look.fill) dc.FillSolidRect(&rect, look.fillColour);
    const COLORREF oldText = dc.SetTextColor(look.textColour);
    const COLORREF oldBack = dc.SetBkColor(look.backColour);
    if (look.explicitStops) {
        // The rectangle grown by a pixel on each side, in the background colour,
        // under the text.
        dc.SetBkMode(OPAQUE);
        const CPen oldPen = dc.SelectObject(CPen(PS_NULL, 0, 0));
        const CBrush oldBrush = dc.SelectObject(CBrush(look.backColour));
        dc.Rectangle(rect.left - 1, rect.top - 1, rect.right + 1, rect.bottom + 1);
        dc.SelectObject(oldPen);
        dc.SelectObject(oldBrush);
    }

    const QFontMetrics metrics(dc.GetFont());
    const int y = rect.top + std::max(0, (rect.Height() - metrics.height()) / 2);
    const QStringList runs = QString::fromLatin1(text.c_str()).split('\t');
    QPainter painter(&dc.Image());
    painter.setFont(dc.GetFont());
    painter.setClipRect(QRect(rect.left, rect.top, rect.Width(), rect.Height()));
    if (runs.size() == 1)
        painter.fillRect(QRect(rect.left, rect.top, rect.Width(), rect.Height()), ToQColor(look.backColour));
    int x = rect.left;
    for (qsizetype i = 0; i < runs.size(); ++i) {
        int start = x;
        if (i > 0) {
            // The next stop beyond the text so far; past the last stop a tab is a
            // space.
            start = x + metrics.horizontalAdvance(' ');
            for (int stop : look.tabStops)
                if (rect.left + stop > x) {
                    start = rect.left + stop;
                    break;
                }
        }
        const int end = start + metrics.horizontalAdvance(runs[i]);
        painter.fillRect(QRect(x, y, end - x, metrics.height()), ToQColor(look.backColour));
        painter.setPen(ToQColor(look.textColour));
        painter.drawText(start, y + metrics.ascent(), runs[i]);
        x = end;
    }
    painter.end();
    dc.SetTextColor(oldText);
    dc.SetBkColor(oldBack);
}

CMyCheckListBox::CMyCheckListBox(int id, QWidget* parent)
    : QWidget(parent), m_nId(id), m_pScroll(new QScrollBar(Qt::Vertical, this))
{
    setObjectName(QString::number(id));
    setFont(DialogFont());
    setFocusPolicy(Qt::StrongFocus); // a tab stop
    m_state.SetItemHeight(std::max(QFontMetrics(font()).height() + 2, kCheckBoxSize + 2));
    winport::WindowOptions options;
    options.reachable = false;
    m_hWnd = winport::CreateMessageWindow(
        "CheckListBox", [this](HWND, UINT msg, WPARAM, LPARAM) { return OnWindowMessage(msg); }, options);
    m_pScroll->hide();
    connect(m_pScroll, &QScrollBar::valueChanged, this, [this](int value) {
        m_state.SetTopIndex(value);
        update();
    });
}

CMyCheckListBox::~CMyCheckListBox()
{
    if (m_hWnd) DestroyWindow(m_hWnd);
}

LRESULT CMyCheckListBox::OnWindowMessage(UINT msg)
{
    if (msg == WM_TIMER) {
        Post(m_state.Tick());
        update();
    }
    return 0;
}

void CMyCheckListBox::Post(const std::vector<CheckListChange>& changes) const
{
    if (!m_hParent) return;
    for (const CheckListChange& change : changes)
        PostMessageA(m_hParent, WM_CHECKLIST_CHANGED, static_cast<WPARAM>(change.item), change.state);
}

int CMyCheckListBox::AddString(const CString& text)
{
    const int index = m_state.AddString(text);
    SyncScrollBar();
    update();
    return index;
}

int CMyCheckListBox::InsertString(int index, const CString& text)
{
    const int result = m_state.InsertString(index, text);
    SyncScrollBar();
    update();
    return result;
}

int CMyCheckListBox::DeleteString(int index)
{
    const int result = m_state.DeleteString(index);
    SyncScrollBar();
    update();
    return result;
}

void CMyCheckListBox::ResetContent()
{
    if (m_state.IsDragging()) KillTimer(m_hWnd, CheckListState::kDragTimerId);
    m_state.ResetContent();
    SyncScrollBar();
    update();
}

void CMyCheckListBox::SetItemColour(int index, COLORREF colour)
{
    m_state.SetItemColour(index, colour);
    update();
}

void CMyCheckListBox::SetColourByCheck(BOOL on)
{
    if (m_state.SetColourByCheck(on != FALSE)) update();
}

BOOL CMyCheckListBox::SetTabStops(int count, const int* positions)
{
    const BOOL result = m_state.SetTabStops(count, positions);
    update();
    return result;
}

void CMyCheckListBox::SetCheckAll(int state)
{
    m_state.SetCheckAll(state);
    update();
}

void CMyCheckListBox::SetCheck(int index, int state)
{
    m_state.SetCheck(index, state);
    update();
}

BOOL CMyCheckListBox::Enable(int index, BOOL enabled)
{
    const BOOL result = m_state.Enable(index, enabled);
    update();
    return result;
}

int CMyCheckListBox::SetCurSel(int index)
{
    const int result = m_state.SetCurSel(index);
    update();
    return result;
}

void CMyCheckListBox::SetTopIndex(int index)
{
    m_state.SetTopIndex(index);
    SyncScrollBar();
    update();
}

void CMyCheckListBox::SetItemHeight(int height)
{
    m_state.SetItemHeight(height);
    SyncScrollBar();
    update();
}

int CMyCheckListBox::VisibleRows() const
{
    return m_state.GetItemHeight() > 0 ? std::max(1, height() / m_state.GetItemHeight()) : 1;
}

void CMyCheckListBox::SyncScrollBar()
{
    const int hidden = std::max(0, m_state.GetCount() - VisibleRows());
    m_pScroll->setVisible(hidden > 0);
    m_pScroll->setGeometry(width() - m_pScroll->sizeHint().width(), 0, m_pScroll->sizeHint().width(), height());
    m_pScroll->setRange(0, hidden);
    m_pScroll->setPageStep(VisibleRows());
    if (m_state.GetTopIndex() > hidden) m_state.SetTopIndex(hidden);
    m_pScroll->setValue(m_state.GetTopIndex());
}

CRect CMyCheckListBox::ItemTextRect(int index) const
{
    const int h = m_state.GetItemHeight();
    const int right = width() - (m_pScroll->isVisibleTo(this) ? m_pScroll->width() : 0);
    const int top = (index - m_state.GetTopIndex()) * h;
    return CRect(kCheckBoxArea, top, right, top + h);
}

QImage CMyCheckListBox::Render() const
{
    QImage image(size(), QImage::Format_RGB32);
    image.fill(ToQColor(GetSysColor(COLOR_WINDOW)));
    CDC dc(image);
    dc.SelectObject(font());
    const int h = m_state.GetItemHeight();
    if (h <= 0) return image;
    for (int i = m_state.GetTopIndex(); i < m_state.GetCount(); ++i) {
        const CRect text = ItemTextRect(i);
        if (text.top >= height()) break;
        const bool enabled = isEnabled() && m_state.IsEnabled(i);
        DrawCheckBox(dc, CRect(0, text.top, kCheckBoxArea, text.bottom), m_state.GetCheck(i), enabled);
        const bool selected = i == m_state.GetCurSel();
        PaintCheckListItem(dc, text, m_state.GetText(i), m_state.Look(i, text.Width(), selected, isEnabled()));
        if (selected && hasFocus()) dc.DrawFocusRect(&text);
    }
    return image;
}

void CMyCheckListBox::paintEvent(QPaintEvent*)
{
    QPainter(this).drawImage(0, 0, Render());
}

void CMyCheckListBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    Post(m_state.ButtonDown(at.y(), at.x() < kCheckBoxArea));
    if (m_state.IsDragging()) SetTimer(m_hWnd, CheckListState::kDragTimerId, CheckListState::kDragTimerMs, nullptr);
    update();
}

void CMyCheckListBox::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_state.IsDragging()) return;
    m_state.DragTo(event->position().toPoint().y());
    update();
}

void CMyCheckListBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    m_state.ButtonUp();
    KillTimer(m_hWnd, CheckListState::kDragTimerId);
    update();
}

void CMyCheckListBox::keyPressEvent(QKeyEvent* event)
{
    const int last = m_state.GetCount() - 1;
    const int current = m_state.GetCurSel();
    switch (event->key()) {
    case Qt::Key_Space: Post(m_state.ToggleSelected()); break;
    case Qt::Key_Up:
        if (last >= 0) m_state.SetCurSel(std::max(0, current - 1));
        break;
    case Qt::Key_Down:
        if (last >= 0) m_state.SetCurSel(std::min(last, current + 1));
        break;
    default: QWidget::keyPressEvent(event); return;
    }
    // Keep the selection in view.
    const int sel = m_state.GetCurSel();
    if (sel >= 0 && sel < m_state.GetTopIndex()) SetTopIndex(sel);
    if (sel >= m_state.GetTopIndex() + VisibleRows()) SetTopIndex(sel - VisibleRows() + 1);
    update();
}

void CMyCheckListBox::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps && m_pScroll->isVisible()) m_pScroll->setValue(m_pScroll->value() - steps);
}

void CMyCheckListBox::resizeEvent(QResizeEvent*)
{
    SyncScrollBar();
}

void CMyCheckListBox::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) update();
    QWidget::changeEvent(event);
}
