#include "mic_ui/MinimisedWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMenu>

#include "mic_ui/DialogUnits.h"
#include "mic_ui/EntryBox.h"
#include "mic_ui/MicDlgWindow.h"
#include "mic_ui/PictureStore.h"
#include "ui/DisplayLayout.h"
#include "winport_ui/QtMessageBox.h"

namespace {

namespace P = MainDialogPictures;

constexpr int kStripDu = 53;
constexpr int kSwitchTopDu = 40;
constexpr int kSwitchRowDu = 13;
constexpr int kBottomRowDu = 126;

// The switches' ids are the main window's.
static_assert(CMinimised::kIdPhantFirst == MicDlgWindow::kIdPhant && CMinimised::kIdPadFirst == MicDlgWindow::kIdPad &&
              CMinimised::kIdLowzFirst == MicDlgWindow::kIdLowz && CMinimised::kIdPhaseFirst == MicDlgWindow::kIdPhase &&
              CMinimised::kIdInsFirst == MicDlgWindow::kIdIns && CMinimised::kIdDirFirst == MicDlgWindow::kIdDir);

// The readouts and digits of each channel.
constexpr int kIdReadoutFirst = 1285;
constexpr int kIdLabelFirst = 1265;

}  // namespace

CMinimisedWindow::CMinimisedWindow(CMicDlg& owner, Shell* shell, QWidget* parent)
    : SmallDialog(574, "Remote Mic Control", 217, 151, parent), m_pCore(std::make_unique<CMinimised>(&owner, shell))
{
    for (int c = 0; c < 4; ++c) {
        const int x0 = 4 + kStripDu * c;
        AddStatic(kIdLabelFirst + c, "", x0 + 2, 4, 11, 15)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        AddStatic(kIdReadoutFirst + c, "", x0 + 16, 7, 27, 10)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        auto* box = new EntryBox(CMinimised::kIdGainFirst + c, EntryBox::GainItems(), this);
        box->setGeometry(DialogUnits::Rect(x0 + 2, 21, 38, 14));
        box->setMaxVisibleItems(CMicDlg::kGainItems);
        box->chosen = [this, c](int item) { m_pCore->OnGainSelected(c, item); };
        box->typed = [this, c](const char* text) { m_pCore->OnGainDigit(c, text); };
        box->left = [this, c] { m_pCore->OnGainEntryDone(c); };
        m_gain[c] = box;

        int row = 0;
        for (const SwitchRow& s : kSwitchRows) {
            const int y = kSwitchTopDu + kSwitchRowDu * row++;
            AddStatic(-1, s.caption, x0 + 2, y + 3, 22, 9);
            auto* button = new CBlackBmpButton(s.firstId + c, this);
            button->setObjectName(QString::number(s.firstId + c));
            button->setGeometry(DialogUnits::Rect(x0 + 27, y, 24, 12));
            // Flat, and not shifted when pressed, as the main window's switches.
            button->SetDrawBorder(FALSE);
            button->SetPressedOffset(FALSE);
            connect(button, &OwnerDrawButton::commandClicked, this, [this](int id) { command(id); });
        }
    }

    CDisplayLayout layout(nullptr);
    auto addButton = [&](int id, const char* text, int x, int w, int kind) {
        auto* button = new CColourButton(id, winport::QStringFromAnsi(text), this);
        button->setObjectName(QString::number(id));
        button->setGeometry(DialogUnits::Rect(x, kBottomRowDu, w, 14));
        button->SetColours(layout.GetButtonTextColour(kind), layout.GetButtonBackColour(kind), TRUE);
        connect(button, &OwnerDrawButton::commandClicked, this, [this](int clicked) { command(clicked); });
    };
    addButton(CMinimised::kIdPrevRack, "<<", 4, 26, enButtonCancel);
    AddStatic(CMinimised::kIdRackNumber, "", 33, kBottomRowDu - 1, 22, 15)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    addButton(CMinimised::kIdNextRack, ">>", 57, 26, enButtonCancel);
    AddStatic(CMinimised::kIdRackState, "", 90, kBottomRowDu + 2, 33, 10)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    addButton(CMinimised::kIdMaximise, "&Maximise", 150, 62, enButtonOK);

    setWindowFlag(Qt::WindowStaysOnTopHint, m_pCore->IsTopmost());
    m_pCore->SetView(this);
}

CMinimisedWindow::~CMinimisedWindow()
{
    EntryBox::SilenceAll(this);
    m_pCore->SetView(nullptr);
}

UINT CMinimisedWindow::PictureOf(int id) const
{
    auto it = m_pictures.find(id);
    return it == m_pictures.end() ? 0 : it->second;
}

void CMinimisedWindow::setPicture(int id, UINT picture)
{
    if (PictureOf(id) == picture) return;
    m_pictures[id] = picture;
    QWidget* w = Control(id);
    if (auto* button = qobject_cast<CBmpButton*>(w)) {
        button->SetBitmap(picture);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        if (PictureStore::Has(picture))
            label->setPixmap(PictureStore::Pixmap(picture));
        else
            label->clear();
    }
}

void CMinimisedWindow::Changed()
{
    const int rack = m_pCore->GetRack();
    setPicture(CMinimised::kIdRackNumber, P::RackNumber(rack));
    setPicture(CMinimised::kIdRackState, static_cast<UINT>(m_pCore->GetStatePicture()));
    for (int c = 0; c < 4; ++c) {
        const ChannelSnapshot ch = m_pCore->GetChannel(c);
        // Every switch, Dir too, shows the mini view's own on and off pictures.
        for (const SwitchRow& row : kSwitchRows)
            setPicture(row.firstId + c, row.IsOn(ch) ? CMinimised::kSwitchOnPicture : CMinimised::kSwitchOffPicture);
        setPicture(kIdReadoutFirst + c, ch.readout < 0 ? P::kBlankReadout : P::Readout(ch.readout));
        setPicture(kIdLabelFirst + c, P::Digit(ch.digit, ch.digitMicLineSet));
        QComboBox* box = m_gain[c];
        if (!box->lineEdit()->hasFocus() && box->currentIndex() != ch.gainItem) box->setCurrentIndex(ch.gainItem);
    }
    const ButtonSnapshot& maximise = m_pCore->GetMaximiseButton();
    if (auto* button = qobject_cast<CColourButton*>(Control(CMinimised::kIdMaximise))) {
        const QString text = winport::QStringFromAnsi(maximise.text.c_str());
        if (button->windowTitle() != text) {
            button->setWindowTitle(text);  // the caption the button draws
            button->update();
        }
        button->setEnabled(maximise.enabled);
    }
}

void CMinimisedWindow::command(int id)
{
    for (const SwitchRow& s : kSwitchRows)
        if (const int channel = s.ChannelOf(id); channel >= 0) {
            m_pCore->OnSwitch(channel, s.code);
            return;
        }
    switch (id) {
    case CMinimised::kIdPrevRack: m_pCore->OnPrevRack(); break;
    case CMinimised::kIdNextRack: m_pCore->OnNextRack(); break;
    case CMinimised::kIdMaximise: m_pCore->OnMaximise(CPoint(frameGeometry().x(), frameGeometry().y())); break;
    default: break;
    }
}

void CMinimisedWindow::EndDialog(int result)
{
    m_bEnding = true;
    done(result);
}

void CMinimisedWindow::reject()
{
    if (m_bEnding) {
        QDialog::reject();
        return;
    }
    m_pCore->OnClose();
}

void CMinimisedWindow::closeEvent(QCloseEvent* event)
{
    if (m_bEnding) {
        event->accept();
        return;
    }
    event->ignore();  // the core decides
    m_pCore->OnClose();
}

void CMinimisedWindow::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* about = menu.addAction("&About mic...");
    if (menu.exec(event->globalPos()) == about) m_pCore->OnAbout();
}

