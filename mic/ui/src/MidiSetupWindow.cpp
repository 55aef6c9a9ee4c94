#include "mic_ui/MidiSetupWindow.h"

#include <QMouseEvent>
#include <QPainter>

#include "mic_ui/ColourButton.h"
#include "mic_ui/DialogUnits.h"
#include "mic_ui/PictureStore.h"
#include "ui/DisplayLayout.h"
#include "winport_ui/Canvas.h"
#include "winport_ui/QtMessageBox.h"

namespace {

// Rows of the sixteen racks, in dialog units; the rack's picture sits in the part of its row
// right of the three slots.
constexpr int kRowLeftDu = 7;
constexpr int kRowTopDu = 7;
constexpr int kRowWidthDu = 272;
constexpr int kRowPitchDu = 14;
constexpr int kRowHeightDu = 13;
constexpr COLORREF kRowLight = RGB(237, 252, 253);
constexpr COLORREF kRowShadow = RGB(160, 160, 160);
constexpr COLORREF kCellText = RGB(255, 255, 255);

CRect ToCRect(const QRect& r) { return CRect(r.left(), r.top(), r.right() + 1, r.bottom() + 1); }

}  // namespace

QRect CMidiSetupWindow::RowRect(int rack)
{
    return DialogUnits::Rect(kRowLeftDu, kRowTopDu + rack * kRowPitchDu, kRowWidthDu, kRowHeightDu);
}

QRect CMidiSetupWindow::CellRect(int rack, int slot)
{
    // The slot borders of the core's hit test, 19/70 of the row each, with a margin.
    const QRect row = RowRect(rack);
    const int left = row.left() + slot * row.width() * 19 / 70;
    const int right = row.left() + (slot + 1) * row.width() * 19 / 70;
    return QRect(QPoint(left + 3, row.top() + 2), QPoint(right - 3, row.bottom() - 2));
}

CMidiSetupWindow::CMidiSetupWindow(CRackSetup* setup, HWND owner, Shell* shell, QWidget* parent)
    : SmallDialog(552, "MIDI controls", 286, 258, parent), m_core(setup, owner, shell)
{
    for (int rack = 0; rack < CRackSetup::kRacks; ++rack) {
        const QRect row = RowRect(rack);
        m_core.SetRowFrame(rack, ToCRect(row));
        auto* frame = new QWidget(this);
        frame->setObjectName(QString::number(CMidiSetup::kIdRowFirst + rack));
        frame->setGeometry(row);
        frame->setAttribute(Qt::WA_TransparentForMouseEvents);
        const int pictureLeft = row.left() + row.width() * 57 / 70 + 4;
        m_pPicture[rack] = new QLabel(this);
        m_pPicture[rack]->setObjectName(QString::number(CMidiSetup::kIdPicture[rack]));
        m_pPicture[rack]->setGeometry(pictureLeft, row.top() + 1, row.right() - 3 - pictureLeft, row.height() - 2);
        m_pPicture[rack]->setAlignment(Qt::AlignCenter);
        m_pPicture[rack]->setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    CDisplayLayout layout(nullptr);
    auto addButton = [&](int id, const char* text, int xDu, int kind) {
        auto* button = new CColourButton(id, winport::QStringFromAnsi(text), this);
        button->setObjectName(QString::number(id));
        button->setGeometry(DialogUnits::Rect(xDu, 237, 60, 14));
        button->SetColours(layout.GetButtonTextColour(kind), layout.GetButtonBackColour(kind), FALSE);
        connect(button, &OwnerDrawButton::commandClicked, this, [this](int clicked) {
            if (clicked == CMidiSetup::kIdDefault) m_core.OnDefault();
            else m_core.OnOK();
        });
        return button;
    };
    addButton(CMidiSetup::kIdDefault, "&Default", 7, enButtonCancel);
    addButton(CMidiSetup::kIdOk, "&OK", 219, enButtonExit)->setFocus();

    m_core.SetView(this);
    Changed();
}

CMidiSetupWindow::~CMidiSetupWindow() { m_core.SetView(nullptr); }

void CMidiSetupWindow::Changed()
{
    for (int rack = 0; rack < CRackSetup::kRacks; ++rack) {
        const UINT picture = m_core.GetRackPicture(rack);
        m_pPicture[rack]->setPixmap(picture ? PictureStore::Pixmap(picture) : QPixmap());
    }
    update();
}

QImage CMidiSetupWindow::Paint() const
{
    QImage image(size(), QImage::Format_RGB32);
    CDC dc(image);
    dc.FillSolidRect(CRect(0, 0, width(), height()), CMidiSetup::kBackground);
    QFont font = DialogFont();
    font.setPixelSize(9);
    dc.SelectObject(font);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(kCellText);
    for (int rack = 0; rack < CRackSetup::kRacks; ++rack) {
        const CRect row = ToCRect(RowRect(rack));
        dc.SelectObject(CPen(PS_SOLID, 1, kRowLight));
        dc.MoveTo(row.left, row.bottom - 1);
        dc.LineTo(row.left, row.top);
        dc.LineTo(row.right - 1, row.top);
        dc.SelectObject(CPen(PS_SOLID, 1, kRowShadow));
        dc.LineTo(row.right - 1, row.bottom - 1);
        dc.LineTo(row.left, row.bottom - 1);
        for (int slot = 0; slot < CRackSetup::kSlots; ++slot) {
            const CMidiSetup::Cell cell = m_core.GetCell(rack, slot);
            const CRect r = ToCRect(CellRect(rack, slot));
            dc.FillSolidRect(r, cell.fill);
            if (cell.empty) continue;
            CRect top(r.left, r.top, r.right, r.top + r.Height() / 2);
            CRect bottom(r.left, top.bottom, r.right, r.bottom);
            dc.DrawText(cell.top, top, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            dc.DrawText(cell.bottom, bottom, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
    }
    return image;
}

void CMidiSetupWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, Paint());
}

void CMidiSetupWindow::ShowCursor()
{
    setCursor(m_core.GetCursor() == DialogCursor::Hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void CMidiSetupWindow::mousePressEvent(QMouseEvent* event)
{
    const CPoint at(event->position().toPoint().x(), event->position().toPoint().y());
    if (event->button() == Qt::LeftButton) m_core.OnLButtonDown(at);
    else if (event->button() == Qt::RightButton) m_core.OnRButtonDown(at);
    ShowCursor();
}

void CMidiSetupWindow::mouseMoveEvent(QMouseEvent* event)
{
    m_core.OnMouseMove(CPoint(event->position().toPoint().x(), event->position().toPoint().y()));
    ShowCursor();
}

void CMidiSetupWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    m_core.OnLButtonUp(CPoint(event->position().toPoint().x(), event->position().toPoint().y()));
    ShowCursor();
}
