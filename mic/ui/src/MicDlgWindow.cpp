#include "mic_ui/MicDlgWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

#include "app/DebugDlg.h"
#include "mic_ui/DialogUnits.h"
#include "mic_ui/EnBitmap.h"
#include "mic_ui/EntryBox.h"
#include "mic_ui/PictureStore.h"
#include "mic_ui/SmallDialogs.h"
#include "ui/DisplayLayout.h"
#include "winport/Window.h"
#include "winport_ui/Canvas.h"
#include "winport_ui/QtMessageBox.h"

namespace P = MainDialogPictures;
using DialogUnits::Rect;

bool SwitchRow::IsOn(const ChannelSnapshot& ch) const
{
    switch (code) {
    case CMicDlg::kSwitchPhant: return ch.phant;
    case CMicDlg::kSwitchPad: return ch.pad;
    case CMicDlg::kSwitchLowz: return ch.lowz;
    case CMicDlg::kSwitchPhase: return ch.phase;
    case CMicDlg::kSwitchIns: return ch.ins;
    case CMicDlg::kSwitchDir: return ch.dir;
    default: return false;
    }
}


namespace {

constexpr int kButtonClicked = 0;  // BN_CLICKED

// The template, in dialog units: 496 x 354, four channel strips of 124 across.
constexpr int kWidthDu = 496;
constexpr int kHeightDu = 354;
constexpr int kStripDu = 124;
constexpr int kSwitchTopDu = 60;
constexpr int kSwitchRowDu = 18;
constexpr int kRackRowDu = 196;
constexpr int kStatusRowDu = 228;
constexpr int kButtonRowDu = 318;

QString Ansi(const char* text) { return winport::QStringFromAnsi(text); }

}  // namespace

MicDlgWindow::MicDlgWindow(CMicDlg& dlg, QWidget* parent) : QWidget(parent), m_dlg(dlg)
{
    build();
    Refresh();
}

MicDlgWindow::~MicDlgWindow() { EntryBox::SilenceAll(this); }

QLabel* MicDlgWindow::addPicture(int id, int xDu, int yDu, int wDu, int hDu)
{
    auto* label = new QLabel(this);
    label->setObjectName(QString::number(id));
    label->setGeometry(Rect(xDu, yDu, wDu, hDu));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_controls[id] = label;
    return label;
}

QLabel* MicDlgWindow::addText(int id, const char* text, int xDu, int yDu, int wDu, int hDu)
{
    auto* label = new QLabel(Ansi(text), this);
    if (id) {
        label->setObjectName(QString::number(id));
        m_controls[id] = label;
    }
    label->setGeometry(Rect(xDu, yDu, wDu, hDu));
    label->setTextFormat(Qt::PlainText);
    return label;
}

CBlackBmpButton* MicDlgWindow::addBitmapButton(int id, int xDu, int yDu, int wDu, int hDu)
{
    auto* button = new CBlackBmpButton(id, this);
    // The dialog's switches and rack buttons are flat and do not shift when pressed.
    button->SetDrawBorder(FALSE);
    button->SetPressedOffset(FALSE);
    button->setObjectName(QString::number(id));
    button->setGeometry(Rect(xDu, yDu, wDu, hDu));
    connect(button, &OwnerDrawButton::commandClicked, this, [this](int clicked) { command(clicked); });
    m_controls[id] = button;
    return button;
}

CColourButton* MicDlgWindow::addColourButton(int id, const char* text, int xDu, int yDu, int wDu, int hDu)
{
    auto* button = new CColourButton(id, Ansi(text), this);
    button->setObjectName(QString::number(id));
    button->setGeometry(Rect(xDu, yDu, wDu, hDu));
    connect(button, &OwnerDrawButton::commandClicked, this, [this](int clicked) { command(clicked); });
    m_controls[id] = button;
    return button;
}

QComboBox* MicDlgWindow::addEntryBox(int id, const QStringList& items, const QRect& rect,
                                     std::function<void(int)> selected, std::function<void(const char*)> typed,
                                     std::function<void()> left)
{
    auto* box = new EntryBox(id, items, this);
    box->setGeometry(rect);
    box->chosen = [this, selected](int item) {
        selected(item);
        Refresh();
    };
    box->typed = [this, typed](const char* text) {
        typed(text);
        Refresh();
    };
    box->left = [this, left] {
        left();
        Refresh();
    };
    m_controls[id] = box;
    return box;
}

QCheckBox* MicDlgWindow::addCheckBox(int id, const char* text, int xDu, int yDu, int wDu, int hDu)
{
    auto* box = new QCheckBox(Ansi(text), this);
    box->setObjectName(QString::number(id));
    box->setGeometry(Rect(xDu, yDu, wDu, hDu));
    m_controls[id] = box;
    return box;
}

void MicDlgWindow::build()
{
    ApplyDialogLook(this, kWidthDu, kHeightDu);
    const bool serverMode = m_dlg.m_bUseWithCantle != 0;

    for (int c = 0; c < 4; ++c) {
        const int x0 = 5 + kStripDu * c;
        addPicture(kIdDigit + c, x0 + 2, 6, 11, 15);
        m_label[c] = addText(0, "", x0 + 16, 9, 70, 9);
        addPicture(kIdReadout + c, x0 + 2, 27, 27, 10);
        addPicture(kIdGainLabel + c, x0 + 32, 27, 27, 10);

        m_gain[c] = addEntryBox(kIdGain + c, EntryBox::GainItems(), Rect(x0 + 2, 40, 40, 14),
                                [this, c](int item) { m_dlg.OnGainSelected(c, item); },
                                [this, c](const char* text) { m_dlg.OnGainDigit(c, text); },
                                [this, c] { m_dlg.OnGainEntryDone(c); });
        m_gain[c]->setMaxVisibleItems(CMicDlg::kGainItems);

        int row = 0;
        for (const SwitchRow& s : kSwitchRows) {
            const int y = kSwitchTopDu + kSwitchRowDu * row++;
            addText(0, s.caption, x0 + 2, y + 4, 26, 9);
            addBitmapButton(s.firstId + c, x0 + 30, y, 30, 15);
        }

        auto* bar = new QWidget(this);
        bar->setObjectName(QString("level%1").arg(c));
        bar->setAutoFillBackground(true);
        QPalette barPal = bar->palette();
        barPal.setColor(QPalette::Window, QColor(0, 225, 0));
        bar->setPalette(barPal);
        bar->setGeometry(kLevelLeft[c], kLevelTop, kLevelWidth, 0);
        bar->hide();
        m_levelBar[c] = bar;

        if (serverMode) {
            QStringList lines{"Off"};
            for (int n = 1; n <= 99; ++n) lines << QString::number(n);
            // In the strip, between the switches and the level bar; the list drops 78 pixels.
            m_micLine[c] = addEntryBox(kIdMicLine + c, lines, QRect(DialogUnits::X(x0 + 61) - 1, 200, 44, 22),
                                       [this, c](int line) { m_dlg.OnMicLineSelected(c, line); },
                                       [this, c](const char* text) { m_dlg.OnMicLineDigit(c, text); },
                                       [this] { m_dlg.OnMicLineEntryDone(); });
        }
    }

    // Racks: the rack on show, then the sixteen rack buttons with their numbers.
    addText(0, "Rack", 8, kRackRowDu - 12, 30, 9);
    addPicture(kIdRackNumber, 8, kRackRowDu, 22, 15);
    for (int r = 0; r < 16; ++r) {
        const int x = 48 + 27 * r;
        QLabel* number = addText(0, QString::number(r + 1).toLatin1().constData(), x, kRackRowDu - 10, 20, 9);
        number->setAlignment(Qt::AlignHCenter);
        addBitmapButton(kIdRack + r, x, kRackRowDu, 20, 14);
    }

    // Link status, MIDI slot panels and the meters' check box.
    addText(0, "Link", 8, kStatusRowDu - 11, 30, 9);
    addPicture(kIdLinkPicture, 8, kStatusRowDu, 33, 10);
    addText(0, "MIDI", 48, kStatusRowDu - 11, 30, 9);
    for (int k = 0; k < 3; ++k) {
        auto* panel = new QWidget(this);  // drawn by the window's painting
        const int id = k == 0 ? kIdSlot0 : k == 1 ? kIdSlot1 : kIdSlot2;
        panel->setObjectName(QString::number(id));
        panel->setGeometry(Rect(48 + 60 * k, kStatusRowDu, 56, 12));
        panel->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_controls[id] = panel;
    }
    QCheckBox* meters = addCheckBox(kIdMeters, "Enable Meters", 240, kStatusRowDu + 1, 80, 10);
    connect(meters, &QCheckBox::clicked, this, [this](bool on) { m_dlg.m_bEnableMeters = on ? TRUE : FALSE; });

    if (serverMode) {
        const struct {
            int id;
            const char* caption;
        } boxes[] = {{kIdRackOption, "Number Mic Lines"}, {kIdPopupOnSel, "Popup On Select"}, {kIdPopupControls, "Popup Controls"}};
        int y = kStatusRowDu + 20;
        for (const auto& b : boxes) {
            QCheckBox* box = addCheckBox(b.id, b.caption, 330, y, 110, 10);
            // Each click changes the option in the core, which the box then shows.
            connect(box, &QCheckBox::clicked, this, [this, id = b.id] { command(id); });
            y += 13;
        }
    }

    QLabel* emblem = addPicture(kIdEmblem, 464, kRackRowDu + 30, 22, 20);
    emblem->setPixmap(ProgramIcon().pixmap(32, 32));

    addColourButton(kIdLoadPreset, "&Load Preset", 8, kButtonRowDu, 88, 24);
    addColourButton(kIdStorePreset, "&Store Preset", 104, kButtonRowDu, 88, 24);
    addColourButton(kIdSetup, "S&etup", 200, kButtonRowDu, 88, 24);
    addColourButton(kIdMiniView, "&Mini View", 296, kButtonRowDu, 88, 24);
    addColourButton(kIdExit, "E&xit", 400, kButtonRowDu, 88, 24);
    applyButtonColours();
}

void MicDlgWindow::applyButtonColours()
{
    CDisplayLayout layout(m_dlg.GetSafeHwnd());
    for (int id : {kIdLoadPreset, kIdStorePreset, kIdSetup, kIdMiniView, kIdExit}) {
        const int kind = id == kIdExit ? enButtonExit : enButtonOK;
        m_buttonColours[id] = {layout.GetButtonTextColour(kind), layout.GetButtonBackColour(kind)};
        if (auto* b = ControlAs<CColourButton>(id)) b->SetColours(m_buttonColours[id].first, m_buttonColours[id].second, TRUE);
    }
}

QWidget* MicDlgWindow::Control(int id) const
{
    auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

UINT MicDlgWindow::PictureOf(int id) const
{
    auto it = m_pictures.find(id);
    return it == m_pictures.end() ? 0 : it->second;
}

void MicDlgWindow::setPicture(int id, UINT picture)
{
    auto* label = ControlAs<QLabel>(id);
    if (!label || PictureOf(id) == picture) return;
    m_pictures[id] = picture;
    if (picture == 0) {
        label->clear();
        return;
    }
    label->setPixmap(PictureStore::Pixmap(picture));
}

void MicDlgWindow::setButtonPicture(int id, UINT picture)
{
    if (auto* button = ControlAs<CBmpButton>(id)) {
        button->SetBitmap(picture);
        m_pictures[id] = picture;
    }
}

void MicDlgWindow::showGainBox(int channel, int item)
{
    QComboBox* box = m_gain[static_cast<size_t>(channel)];
    // A digit the operator typed stays in the box until the entry is complete.
    if (box->lineEdit()->hasFocus() && m_dlg.m_TypedGain.IsHolding()) return;
    if (box->currentIndex() != item || box->currentText() != box->itemText(item)) box->setCurrentIndex(item);
}

void MicDlgWindow::Refresh()
{
    if (m_bRefreshing) return;
    m_bRefreshing = true;
    const MicDlgSnapshot shot = m_dlg.Snapshot();
    const QString title = Ansi(shot.title.c_str());
    if (windowTitle() != title) setWindowTitle(title);
    setPicture(kIdRackNumber, static_cast<UINT>(shot.rackPicture));
    switch (shot.linkPicture) {
    case LinkPicture::Busy: setPicture(kIdLinkPicture, P::kLinkBusy); break;
    case LinkPicture::Linked: setPicture(kIdLinkPicture, P::kLinkLinked); break;
    default: setPicture(kIdLinkPicture, P::kLinkNoUnit); break;
    }
    for (int r = 0; r < 16; ++r) setButtonPicture(kIdRack + r, static_cast<UINT>(shot.rackButtons[r]));
    for (int c = 0; c < 4; ++c) {
        const ChannelSnapshot& ch = shot.channels[c];
        for (const SwitchRow& row : kSwitchRows) {
            const bool on = row.IsOn(ch);
            const UINT picture = row.code == CMicDlg::kSwitchDir ? (on ? P::kDirMic : P::kDirLine)
                                                                 : (on ? P::kSwitchOn : P::kSwitchOff);
            setButtonPicture(row.firstId + c, picture);
        }
        showGainBox(c, ch.gainItem);
        setPicture(kIdReadout + c, ch.readout < 0 ? P::kBlankReadout : P::Readout(ch.readout));
        setPicture(kIdGainLabel + c, ch.gainLabel < 0 ? 0 : P::GainLabel(ch.gainLabel, ch.gainLabelMicSet));
        setPicture(kIdDigit + c, P::Digit(ch.digit, ch.digitMicLineSet));
        const QString label = Ansi(ch.label.c_str());
        if (m_label[c]->text() != label) m_label[c]->setText(label);
        if (QComboBox* line = m_micLine[static_cast<size_t>(c)]) {
            // A line typed shows at once; a second digit typed follows it.
            if (line->currentIndex() != ch.micLine || line->currentText() != line->itemText(ch.micLine))
                line->setCurrentIndex(ch.micLine);
        }
        const int height = std::max(0, shot.levelHeights[c]);
        m_levelBar[c]->setGeometry(kLevelLeft[c], kLevelTop, kLevelWidth, height);
        m_levelBar[c]->setVisible(height > 0);
    }
    const std::pair<int, const ButtonSnapshot*> buttons[] = {
        {kIdSetup, &shot.setup}, {kIdMiniView, &shot.miniView}, {kIdLoadPreset, &shot.loadPreset},
        {kIdStorePreset, &shot.storePreset}, {kIdExit, &shot.exit}};
    for (const auto& [id, state] : buttons) {
        if (auto* b = ControlAs<CColourButton>(id)) {
            const QString text = Ansi(state->text.c_str());
            if (b->windowTitle() != text) {
                b->setWindowTitle(text);  // the caption the button draws
                b->update();
            }
            b->setEnabled(state->enabled);
            // Grey while the window it opens is being prepared, else the colours of its kind.
            const auto& [textColour, faceColour] = m_buttonColours[id];
            const COLORREF face = state->grey ? RGB(200, 200, 200) : faceColour;
            if (b->GetFaceColour() != face) b->SetColours(textColour, face, TRUE);
        }
    }
    if (auto* box = ControlAs<QCheckBox>(kIdMeters)) box->setChecked(m_dlg.m_bEnableMeters != 0);
    if (auto* box = ControlAs<QCheckBox>(kIdRackOption)) box->setChecked(shot.rackOption);
    if (auto* box = ControlAs<QCheckBox>(kIdPopupOnSel)) box->setChecked(shot.popupOnSel);
    if (auto* box = ControlAs<QCheckBox>(kIdPopupControls)) box->setChecked(shot.popupControls);
    update();  // the MIDI slot panels
    m_bRefreshing = false;
}

void MicDlgWindow::TitleChanged(const char* title) { setWindowTitle(Ansi(title)); }
void MicDlgWindow::RackChanged(int) { Refresh(); }
void MicDlgWindow::LinkChanged() { Refresh(); }

void MicDlgWindow::RestoreAndRaise()
{
    showNormal();
    BringToFront();
}

void MicDlgWindow::BringToFront()
{
    raise();
    activateWindow();
}

void MicDlgWindow::Closed() { hide(); }

void MicDlgWindow::ShowWindow(bool visible)
{
    if (!visible) {
        hide();
        return;
    }
    showNormal();
    BringToFront();
}

void MicDlgWindow::command(int id)
{
    m_dlg.OnCommand(id, kButtonClicked);
    Refresh();
}

QRect MicDlgWindow::SlotPanelRect(int slot) const
{
    const int id = slot == 0 ? kIdSlot0 : slot == 1 ? kIdSlot1 : kIdSlot2;
    return Control(id)->geometry();
}

QRect MicDlgWindow::LevelBarRect(int channel) const
{
    QWidget* bar = m_levelBar[static_cast<size_t>(channel)];
    return bar->isVisible() ? bar->geometry() : QRect();
}

QImage MicDlgWindow::PaintBackground() const
{
    QImage image(size(), QImage::Format_RGB32);
    CDC dc(image);
    const CRect client(0, 0, width(), height());
    dc.FillSolidRect(client, kDialogBackground);
    const int rack = m_dlg.m_RackSetup.GetCurrentRack();
    for (int k = 0; k < CRackSetup::kSlots; ++k) {
        const QRect q = SlotPanelRect(k);
        CRect panel(q.left(), q.top(), q.right() + 1, q.bottom() + 1);
        if (m_dlg.m_RackSetup.GetMidiSlot(rack, k) < 0) {
            dc.FillSolidRect(panel, RGB(0, 0, 0));
            continue;
        }
        int unit = 0, half = 0;
        m_dlg.m_RackSetup.GetMidiSlotParts(rack, k, unit, half);
        const bool unitColour = m_dlg.m_bUnitColour != 0;  // switched by MIDI control events
        dc.FillSolidRect(panel, unitColour && unit >= 0 && unit < 9 ? kPairColours[unit] : kPanelTied);
        CString text;
        text.Format("PRE %d%c", unit + 1, half == 0 ? 'a' : 'b');
        CRect textRect(panel.left, panel.top + 3, panel.right, panel.bottom);
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(RGB(0, 0, 0));
        dc.DrawText(text, textRect, DT_CENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    return image;
}

void MicDlgWindow::paintEvent(QPaintEvent*)
{
    // Through a picture of the whole client area, so that nothing flickers.
    QPainter painter(this);
    painter.drawImage(0, 0, PaintBackground());
}

void MicDlgWindow::closeEvent(QCloseEvent* event)
{
    // The window stays until the dialog's core has ended; the close box is the dialog's
    // Cancel, which is "E&xit" and asks the operator.
    event->ignore();
    PostMessageA(m_dlg.GetSafeHwnd(), WM_COMMAND, kIdExit, 0);
}

void MicDlgWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        command(kIdExit);
        return;
    }
    QWidget::keyPressEvent(event);
}

void MicDlgWindow::contextMenuEvent(QContextMenuEvent* event)
{
    // On a MIDI slot panel the dialog may offer its slot menu instead.
    for (int k = 0; k < CRackSetup::kSlots; ++k)
        if (SlotPanelRect(k).contains(event->pos()) && m_dlg.OnSlotRButtonDown(k)) return;
    m_dlg.ShowWindowMenu();
}

