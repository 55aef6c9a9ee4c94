#include "mic_ui/DiagnosticsWindow.h"

#include <cstdio>

#include "mic_ui/DialogUnits.h"
#include "ui/DisplayLayout.h"
#include "winport_ui/QtMessageBox.h"

namespace {

// The MIDI buttons' own colours: white on dark sea green.
constexpr COLORREF kMidiText = 0xFFFFFF;
constexpr COLORREF kMidiFace = 0x8FBC8F;
// Rows of the sixteen racks.
constexpr int kRowTop = 7;
constexpr int kRowHeight = 12;

}  // namespace

CDiagnosticsWindow::CDiagnosticsWindow(HWND owner, Shell* shell, const SetupDialogPreset& preset, QWidget* parent)
    : SmallDialog(202, "Setup / Test", 322, 260, parent), m_pCore(std::make_unique<CDiagnostics>(owner, shell))
{
    using D = CDiagnostics;
    for (int r = 0; r < 16; ++r) {
        char label[32];
        std::snprintf(label, sizeof(label), r < 9 ? "Rack #%d  Version :" : "Rack #%d Version :", r + 1);
        const int y = kRowTop + r * kRowHeight;
        AddStatic(-1, label, 7, y + 1, 72, 8);
        m_pVersion[r] = AddStatic(D::kIdVersionFirst + r, "____________________", 80, y + 1, 86, 8);
        m_pTest[r] = new QPushButton("Test", this);
        m_pTest[r]->setObjectName(QString::number(D::kIdTestFirst + r));
        m_pTest[r]->setGeometry(DialogUnits::Rect(168, y, 32, 11));
        m_pTest[r]->setFlat(true);
        m_pTest[r]->setAutoDefault(false);
        connect(m_pTest[r], &QPushButton::clicked, this, [this, r] { m_pCore->OnTest(r); });
    }

    CDisplayLayout layout(nullptr);
    auto kind = [&](int k) { return std::pair(layout.GetButtonTextColour(k), layout.GetButtonBackColour(k)); };
    auto [cancelText, cancelFace] = kind(enButtonCancel);
    auto [okText, okFace] = kind(enButtonOK);
    auto [exitText, exitFace] = kind(enButtonExit);
    AddColourButton(D::kIdResetCurrent, "Reset &Current Rack", 210, 7, cancelText, cancelFace);
    AddColourButton(D::kIdResetAll, "Reset &All Racks", 210, 25, cancelText, cancelFace);
    AddColourButton(D::kIdMidiPortSetup, "&MIDI Port Setup", 210, 43, okText, okFace);
    m_pMidiPre = AddColourButton(D::kIdMidiPreSetup, "MIDI &PRE setup", 210, 61, kMidiText, kMidiFace);
    m_pMidiRack = AddColourButton(D::kIdMidiRackSetup, "MIDI &Rack Setup", 210, 79, kMidiText, kMidiFace);

    AddStatic(-1, "Communication Port", 210, 101, 105, 8);
    m_pPorts = new QComboBox(this);
    m_pPorts->setObjectName(QString::number(D::kIdCommPort));
    m_pPorts->setGeometry(DialogUnits::Rect(210, 111, 105, 14));
    connect(m_pPorts, qOverload<int>(&QComboBox::activated), this, [this](int index) { m_pCore->OnPortSelected(index); });

    AddCheck(D::kIdDebugFile, "Create Debug File (\"MicDebug.txt\")", 7, 205, 200);
    AddCheck(D::kIdAutoLoad, "Auto Load Last Setup File on Startup", 7, 217, 200);
    AddCheck(D::kIdAutoRestore, "Auto Restore Previous Setup on Startup", 7, 229, 200);
    AddCheck(D::kIdMiniOnTop, "Mini View Always On Top", 7, 241, 200);
    AddCheck(D::kIdIntegrate, "Integrate with Cantle (Changing this requires a program restart)", 7, 193, 300)->hide();

    // The check boxes show the dialog's colours where a theme would paint over them.
    RemoveThemes({D::kIdMiniOnTop, D::kIdDebugFile, D::kIdAutoLoad, D::kIdAutoRestore, D::kIdIntegrate});

    CColourButton* exit = AddColourButton(D::kIdExit, "E&xit", 260, 239, exitText, exitFace);
    exit->setFocus();

    m_pCore->Preset(preset);
    m_pCore->SetView(this);
    m_pCore->OnInitDialog();
    for (const auto& item : m_pCore->GetPorts()) m_pPorts->addItem(winport::QStringFromAnsi(item.text.c_str()));
    Changed();
}

CDiagnosticsWindow::~CDiagnosticsWindow() { m_pCore->SetView(nullptr); }

QCheckBox* CDiagnosticsWindow::AddCheck(int id, const char* text, int x, int y, int w)
{
    auto* box = new QCheckBox(winport::QStringFromAnsi(text), this);
    box->setObjectName(QString::number(id));
    box->setGeometry(DialogUnits::Rect(x, y, w, 10));
    QPalette pal = box->palette();
    pal.setColor(QPalette::WindowText, palette().color(QPalette::WindowText));
    box->setPalette(pal);
    connect(box, &QCheckBox::clicked, this, [this, id](bool checked) {
        const BOOL on = checked ? TRUE : FALSE;
        switch (id) {
        case CDiagnostics::kIdDebugFile: m_pCore->OnDebugFile(on); break;
        case CDiagnostics::kIdAutoLoad: m_pCore->OnAutoLoad(on); break;
        case CDiagnostics::kIdAutoRestore: m_pCore->OnAutoRestore(on); break;
        case CDiagnostics::kIdMiniOnTop: m_pCore->OnMiniOnTop(on); break;
        case CDiagnostics::kIdIntegrate: m_pCore->OnIntegrate(on); break;
        default: break;
        }
        Changed();
    });
    return box;
}

CColourButton* CDiagnosticsWindow::AddColourButton(int id, const char* text, int x, int y, COLORREF textColour,
                                                   COLORREF face)
{
    auto* button = new CColourButton(id, winport::QStringFromAnsi(text), this);
    button->setObjectName(QString::number(id));
    button->setGeometry(DialogUnits::Rect(x, y, id == CDiagnostics::kIdExit ? 55 : 105, 14));
    button->SetColours(textColour, face, FALSE);
    connect(button, &OwnerDrawButton::commandClicked, this, [this](int clicked) {
        switch (clicked) {
        case CDiagnostics::kIdResetCurrent: m_pCore->OnResetCurrent(); break;
        case CDiagnostics::kIdResetAll: m_pCore->OnResetAll(); break;
        case CDiagnostics::kIdMidiPortSetup: m_pCore->OnMidiPortSetup(); break;
        case CDiagnostics::kIdMidiPreSetup: m_pCore->OnMidiPreSetup(); break;
        case CDiagnostics::kIdMidiRackSetup: m_pCore->OnMidiRackSetup(); break;
        case CDiagnostics::kIdExit: m_pCore->OnExit(); break;
        default: break;
        }
    });
    return button;
}

void CDiagnosticsWindow::Changed()
{
    for (int r = 0; r < 16; ++r) {
        m_pVersion[r]->setText(winport::QStringFromAnsi(m_pCore->GetVersion(r).c_str()));
        m_pTest[r]->setEnabled(m_pCore->IsTestEnabled(r));
    }
    for (int id : {CDiagnostics::kIdDebugFile, CDiagnostics::kIdAutoLoad, CDiagnostics::kIdAutoRestore,
                   CDiagnostics::kIdMiniOnTop, CDiagnostics::kIdIntegrate})
        if (auto* box = findChild<QCheckBox*>(QString::number(id))) box->setChecked(m_pCore->GetCheck(id) != FALSE);
    if (m_pPorts->currentIndex() != m_pCore->GetSelectedPortIndex()) m_pPorts->setCurrentIndex(m_pCore->GetSelectedPortIndex());
    const bool midi = m_pCore->AreMidiButtonsShown();
    m_pMidiPre->setVisible(midi);
    m_pMidiRack->setVisible(midi);
}
