#include "mic_ui/PreSetupWindow.h"

#include <QMouseEvent>
#include <QPainter>

#include "mic_ui/DialogUnits.h"
#include "mic_ui/PictureStore.h"
#include "ui/DisplayLayout.h"
#include "winport_ui/Canvas.h"
#include "winport_ui/QtMessageBox.h"

namespace {

// The rows, in dialog units: label picture, number picture, input cell, output cell.
constexpr int kRowTopDu = 10;
constexpr int kRowPitchDu = 24;
constexpr int kRowHeightDu = 20;
constexpr int kLabelLeftDu = 10;
constexpr int kLabelWidthDu = 44;
constexpr int kNumberLeftDu = 56;
constexpr int kNumberWidthDu = 14;
constexpr int kCellLeftDu[2] = {76, 146};
constexpr int kCellWidthDu = 64;

CRect ToCRect(const QRect& r) { return CRect(r.left(), r.top(), r.right() + 1, r.bottom() + 1); }
CPoint PointOf(const QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    return CPoint(p.x(), p.y());
}

}  // namespace

QRect CPRESetupWindow::FrameRect(int row, int cell)
{
    const int top = kRowTopDu + row * kRowPitchDu;
    if (cell == CPRESetup::kLabel) return DialogUnits::Rect(kLabelLeftDu, top, kLabelWidthDu, kRowHeightDu);
    return DialogUnits::Rect(kCellLeftDu[cell == CPRESetup::kOutput ? 1 : 0], top, kCellWidthDu, kRowHeightDu);
}

CPRESetupWindow::CPRESetupWindow(CRackSetup* setup, std::shared_ptr<PreDetection> detection, HWND owner,
                                 Shell* shell, QWidget* parent)
    : SmallDialog(567, "PRE MIDI Port Setup", 400, 268, parent),
      m_pDetection(std::move(detection)),
      m_pCore(std::make_unique<CPRESetup>(setup, m_pDetection.get(), owner, shell))
{
    using P = CPRESetup;
    auto addPicture = [this](int id, const QRect& at, UINT picture) {
        auto* label = new QLabel(this);
        if (id) label->setObjectName(QString::number(id));
        label->setGeometry(at);
        label->setAlignment(Qt::AlignCenter);
        label->setPixmap(PictureStore::Pixmap(picture));
        // The dialog takes the mouse: a drag starts on a row's label.
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
    };
    for (int row = 0; row < P::kRows; ++row) {
        addPicture(P::kIdRowLabel[row], FrameRect(row, P::kLabel), P::kRowLabelPicture);
        addPicture(0, DialogUnits::Rect(kNumberLeftDu, kRowTopDu + row * kRowPitchDu, kNumberWidthDu, kRowHeightDu),
                   P::kRowNumberPictureFirst + static_cast<UINT>(row));
        for (int cell : {P::kLabel, P::kInput, P::kOutput}) m_pCore->SetFrame(row, cell, ToCRect(FrameRect(row, cell)));
    }
    m_pResult = AddStatic(P::kIdResult, "", 222, 10, 170, 60);
    m_pResult->setWordWrap(true);
    m_pResult->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    CDisplayLayout layout(nullptr);
    auto addButton = [&](int id, const char* text, int xDu, int yDu, int kind) {
        auto* button = new CColourButton(id, winport::QStringFromAnsi(text), this);
        button->setObjectName(QString::number(id));
        button->setGeometry(DialogUnits::Rect(xDu, yDu, 80, 14));
        button->SetColours(layout.GetButtonTextColour(kind), layout.GetButtonBackColour(kind), FALSE);
        connect(button, &OwnerDrawButton::commandClicked, this, [this](int clicked) {
            switch (clicked) {
            case CPRESetup::kIdAutoDetect: m_pCore->OnAutoDetect(); break;
            case CPRESetup::kIdReset: m_pCore->OnReset(); break;
            case CPRESetup::kIdExit: m_pCore->OnExit(); break;
            default: break;
            }
        });
        return button;
    };
    addButton(P::kIdReset, "&Reset", 222, 98, enButtonOK)->hide();
    addButton(P::kIdAutoDetect, "Auto-&Detect", 222, 80, enButtonCancel);
    m_pExit = addButton(P::kIdExit, "E&xit", 312, 244, enButtonExit);
    m_pExit->setFocus();

    m_pCore->SetView(this);
    m_pCore->OnInitDialog();
    Changed();
}

CPRESetupWindow::~CPRESetupWindow() { m_pCore->SetView(nullptr); }

void CPRESetupWindow::Changed()
{
    m_pResult->setText(winport::QStringFromAnsi(m_pCore->GetResultText().c_str()));
    m_pExit->setEnabled(m_pCore->IsExitEnabled());
    update();
}

void CPRESetupWindow::EndDialog(int result) { done(result); }

// The core ends the dialog through EndDialog when it may; a refusal leaves it open.
void CPRESetupWindow::reject() { m_pCore->OnCancel(); }

QImage CPRESetupWindow::Paint() const
{
    QImage image(size(), QImage::Format_RGB32);
    CDC dc(image);
    dc.FillSolidRect(CRect(0, 0, width(), height()), CPRESetup::kBackground);
    dc.SelectObject(CPen(PS_SOLID, 1, CPRESetup::kFrame));
    dc.SelectObject(CBrush(CPRESetup::kBackground));
    dc.SelectObject(DialogFont());
    dc.SetTextColor(CPRESetup::kText);
    dc.SetBkMode(TRANSPARENT);
    for (int row = 0; row < CPRESetup::kRows; ++row) {
        for (int cell : {CPRESetup::kInput, CPRESetup::kOutput}) {
            const CPRESetup::CellView view = m_pCore->GetCell(row, cell);
            const CRect frame = ToCRect(FrameRect(row, cell));
            dc.Rectangle(frame);
            CRect inside(frame.left + 1, frame.top + 1, frame.right - 1, frame.bottom - 1);
            dc.FillSolidRect(inside, view.fill);
            CRect line(frame.left, frame.top + view.textTop, frame.right, frame.bottom);
            const int height = dc.DrawText(view.first, line, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
            if (view.second.IsEmpty()) continue;
            line.top += height;
            dc.DrawText(view.second, line, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
    }
    return image;
}

void CPRESetupWindow::paintEvent(QPaintEvent*)
{
    // Through a picture of the whole client area, so that nothing flickers.
    QPainter painter(this);
    painter.drawImage(0, 0, Paint());
}

void CPRESetupWindow::ShowCursor()
{
    setCursor(m_pCore->GetCursor() == DialogCursor::Hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void CPRESetupWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) m_pCore->OnLButtonDown(PointOf(event));
    ShowCursor();
}

void CPRESetupWindow::mouseMoveEvent(QMouseEvent* event)
{
    m_pCore->OnMouseMove(PointOf(event));
    ShowCursor();
}

void CPRESetupWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    m_pCore->OnLButtonUp(PointOf(event));
    ShowCursor();
}
