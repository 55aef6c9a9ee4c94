#include "mic_ui/BigControls2Window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "mic_ui/PictureStore.h"
#include "winport/MessageLoop.h"
#include "winport_ui/Canvas.h"
#include "winport_ui/QtMessageBox.h"
#include "winport_ui/QtScreenService.h"

namespace {

namespace P = ReadoutPictures;

// The layout, in pixels: three rows of 56, the changed channel's in the middle.
constexpr int kMargin = 8;
constexpr int kRowHeight = 56;
constexpr int kWidth = 760;
constexpr int kHeight = 2 * kMargin + CBigControls2::kRecords * kRowHeight;
constexpr int kDigitLeft = kMargin, kDigitWidth = 32, kDigitHeight = 48, kDigitStep = 34;
constexpr int kLabelLeft = 114, kLabelWidth = 180;
constexpr int kGainLeft = 300, kGainWidth = 144, kGainHeight = 40;
constexpr int kSwitchLeft = 452, kSwitchWidth = 72, kSwitchHeight = 32, kSwitchStep = 76;
// Control ids: 20 to a row.
constexpr int kFirstId = 1000;
constexpr int kIdsPerRow = 20;

}  // namespace

CBigControls2Window::CBigControls2Window(CBigControls2& core, QWidget* parent)
    : SmallDialog(CBigControls2::kTemplateId, "", kWidth * 2 / 3, kHeight * 8 / 13, parent), m_core(core)
{
    setFixedSize(kWidth, kHeight);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(CBigControls2::kBackground));
    setPalette(pal);
    LOGFONT lf{};
    m_core.GetFont().GetLogFont(&lf);
    const QFont big = winport::FontOfDescription(lf);

    for (int r = 0; r < CBigControls2::kRecords; ++r) {
        const int top = kMargin + kRowHeight * r;
        const int id = kFirstId + kIdsPerRow * r;
        Row& row = m_rows[static_cast<size_t>(r)];
        for (int d = 0; d < kDigits; ++d)
            row.digits[static_cast<size_t>(d)] =
                addPicture(id + d, QRect(kDigitLeft + kDigitStep * d, top + 4, kDigitWidth, kDigitHeight));
        row.label = addPicture(id + kDigits, QRect(kLabelLeft, top, kLabelWidth, kRowHeight));
        row.label->setFont(big);
        row.label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        row.label->setTextFormat(Qt::PlainText);
        row.gain = addPicture(id + kDigits + 1, QRect(kGainLeft, top + 8, kGainWidth, kGainHeight));
        QLabel** switches[] = {&row.phant, &row.pad, &row.input, &row.phase};
        for (int k = 0; k < 4; ++k)
            *switches[k] = addPicture(id + kDigits + 2 + k,
                                      QRect(kSwitchLeft + kSwitchStep * k, top + 12, kSwitchWidth, kSwitchHeight));
        DrawFields(r, CBigControls2::kAllFields);
    }
    // What the operator presses is taken before any control of the read-out sees it.
    qApp->installEventFilter(this);
    m_core.SetView(this);
}

CBigControls2Window::~CBigControls2Window() { detach(); }

void CBigControls2Window::detach()
{
    qApp->removeEventFilter(this);
    if (m_core.GetView() == this) m_core.SetView(nullptr);
}

void CBigControls2Window::done(int result)
{
    detach();
    SmallDialog::done(result);
}

QLabel* CBigControls2Window::addPicture(int id, const QRect& rect)
{
    auto* label = new QLabel(this);
    label->setObjectName(QString::number(id));
    label->setGeometry(rect);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

void CBigControls2Window::setPicture(QLabel* label, UINT picture)
{
    auto it = m_pictures.find(label);
    if ((it == m_pictures.end() ? 0 : it->second) == picture) return;
    m_pictures[label] = picture;
    if (picture && PictureStore::Has(picture))
        label->setPixmap(PictureStore::Pixmap(picture));
    else
        label->clear();
}

void CBigControls2Window::DrawFields(int record, unsigned fields)
{
    if (record < 0 || record >= CBigControls2::kRecords) return;
    const ReadoutChannel& ch = m_core.GetChannel(record);
    Row& row = m_rows[static_cast<size_t>(record)];
    // An empty record shows nothing.
    const bool shown = ch.nMicLine > 0;
    if (fields & (CBigControls2::kFieldMicLine | CBigControls2::kFieldEntry)) {
        // The line's number right-aligned in the digits.
        const QString number = shown ? QString::number(ch.nMicLine).right(kDigits) : QString();
        for (int d = 0; d < kDigits; ++d) {
            const int at = d - (kDigits - static_cast<int>(number.size()));
            setPicture(row.digits[static_cast<size_t>(d)],
                       at < 0 ? 0 : P::Digit(number[at].digitValue(), record, ch.nEntry));
        }
    }
    if (fields & CBigControls2::kFieldLabel) row.label->setText(shown ? winport::QStringFromAnsi(ch.strLabel.c_str()) : QString());
    if (fields & CBigControls2::kFieldGain) setPicture(row.gain, shown ? P::GainStep(CBigControls2::GainStep(ch.nGain)) : 0);
    if (fields & CBigControls2::kFieldPhant) setPicture(row.phant, !shown ? 0 : ch.bPhant ? P::kPhantOn : P::kPhantOff);
    if (fields & CBigControls2::kFieldPad) setPicture(row.pad, !shown ? 0 : ch.bPad ? P::kPadOn : P::kPadOff);
    if (fields & CBigControls2::kFieldMicInput) setPicture(row.input, !shown ? 0 : ch.bMicInput ? P::kMicInput : P::kLineInput);
    if (fields & CBigControls2::kFieldPhase) setPicture(row.phase, !shown ? 0 : ch.bPhase ? P::kPhaseOn : P::kPhaseOff);
}

void CBigControls2Window::EndDialog(int result)
{
    m_bEndedByCore = true;
    done(result);
}

QLabel* CBigControls2Window::control(int record, unsigned field, int slot) const
{
    if (record < 0 || record >= CBigControls2::kRecords) return nullptr;
    const Row& row = m_rows[static_cast<size_t>(record)];
    switch (field) {
    case CBigControls2::kFieldMicLine:
    case CBigControls2::kFieldEntry: return slot >= 0 && slot < kDigits ? row.digits[static_cast<size_t>(slot)] : nullptr;
    case CBigControls2::kFieldLabel: return row.label;
    case CBigControls2::kFieldGain: return row.gain;
    case CBigControls2::kFieldPhant: return row.phant;
    case CBigControls2::kFieldPad: return row.pad;
    case CBigControls2::kFieldMicInput: return row.input;
    case CBigControls2::kFieldPhase: return row.phase;
    default: return nullptr;
    }
}

QRect CBigControls2Window::FieldRect(int record, unsigned field) const
{
    QRect rect;
    for (int slot = 0; slot < kDigits; ++slot) rect |= ControlRect(record, field, slot);
    return rect;
}

QRect CBigControls2Window::ControlRect(int record, unsigned field, int slot) const
{
    QLabel* label = control(record, field, slot);
    return label ? label->geometry() : QRect();
}

UINT CBigControls2Window::PictureOf(int record, unsigned field, int slot) const
{
    auto it = m_pictures.find(control(record, field, slot));
    return it == m_pictures.end() ? 0 : it->second;
}

QString CBigControls2Window::LabelText(int record) const
{
    QLabel* label = control(record, CBigControls2::kFieldLabel, 0);
    return label ? label->text() : QString();
}

bool CBigControls2Window::eventFilter(QObject* watched, QEvent* event)
{
    UINT message = 0;
    if (event->type() == QEvent::KeyPress)
        message = WM_KEYDOWN;
    else if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        message = WM_LBUTTONDOWN;
    if (message && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if ((widget == this || isAncestorOf(widget)) && m_core.PreTranslateMessage(message)) return true;
    }
    return SmallDialog::eventFilter(watched, event);
}
