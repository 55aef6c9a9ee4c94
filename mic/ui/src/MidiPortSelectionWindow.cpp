#include "mic_ui/MidiPortSelectionWindow.h"

#include <QApplication>
#include <QSignalBlocker>

#include "mic_ui/DialogUnits.h"
#include "ui/DisplayLayout.h"
#include "winport_ui/QtMessageBox.h"

namespace {

using D = CMidiPortSelection;
constexpr int kIdIntro = 1384;
constexpr int kIdActiveGroup = 1386;
constexpr int kIdCreateGroup = 1392;
constexpr int kIdInGroup = 1393;
constexpr int kIdOutGroup = 1394;
constexpr int kIdInLabel = 1395;
constexpr int kIdOutLabel = 1396;

QGroupBox* AddGroup(QWidget* dialog, int id, const char* text, int x, int y, int w, int h)
{
    auto* group = new QGroupBox(winport::QStringFromAnsi(text), dialog);
    group->setObjectName(QString::number(id));
    group->setGeometry(DialogUnits::Rect(x, y, w, h));
    group->lower();  // under the controls it frames
    return group;
}

}  // namespace

CMidiPortSelectionWindow::CMidiPortSelectionWindow(MidiPorts& ports, std::function<void(bool)> runningChanged, QWidget* parent)
    : SmallDialog(569, "MIDI Port Selection", 323, 262, parent),
      m_pCore(std::make_unique<CMidiPortSelection>(ports, std::move(runningChanged)))
{
    AddStatic(kIdIntro, "Select the MIDI Ports you want the Mic Pre(s) to connect to.", 7, 7, 309, 8);
    AddGroup(this, kIdCreateGroup, "Create Midi Port", 7, 19, 309, 117);
    AddGroup(this, kIdInGroup, "MIDI In", 14, 29, 143, 68);
    AddGroup(this, kIdOutGroup, "MIDI Out", 166, 29, 143, 68);
    m_pIn = AddDeviceList(D::kIdInList, 20, 40, true);
    m_pOut = AddDeviceList(D::kIdOutList, 172, 40, false);
    AddStatic(kIdInLabel, "MIDI In selected :-", 14, 101, 80, 8);
    m_pInName = AddStatic(D::kIdInName, "in", 95, 101, 62, 8);
    AddStatic(kIdOutLabel, "MIDI Out selected :-", 166, 101, 80, 8);
    m_pOutName = AddStatic(D::kIdOutName, "out", 247, 101, 62, 8);

    AddGroup(this, kIdActiveGroup, "Set Active Ports", 7, 139, 309, 94);
    m_pPorts = new CMyCheckListBox(D::kIdPortList, this);
    m_pPorts->setGeometry(DialogUnits::Rect(14, 150, 295, 77));

    CDisplayLayout layout(nullptr);
    for (int scheme : {0, 1}) {
        m_crStartText[scheme] = layout.GetButtonTextColour(scheme);
        m_crStartFace[scheme] = layout.GetButtonBackColour(scheme);
    }
    AddColourButton(D::kIdLink, "&Link Ports", 122, 116, 79)->SetColours(layout.GetButtonTextColour(enButtonOK),
                                                                       layout.GetButtonBackColour(enButtonOK), FALSE);
    AddColourButton(D::kIdRemove, "&Remove", 7, 240, 70)->SetColours(layout.GetButtonTextColour(enButtonCancel),
                                                                    layout.GetButtonBackColour(enButtonCancel), FALSE);
    AddColourButton(D::kIdStart, "&Start MIDI", 126, 240, 70);
    CColourButton* ok = AddColourButton(D::kIdOk, "&OK", 246, 240, 70);
    ok->SetColours(layout.GetButtonTextColour(enButtonExit), layout.GetButtonBackColour(enButtonExit), FALSE);
    RemoveThemes({kIdInGroup, kIdOutGroup, kIdActiveGroup, kIdCreateGroup});

    m_pCore->SetView(this);
    m_pCore->OnInitDialog();
    m_pPorts->SetParentWindow(m_pCore->GetSafeHwnd());
    for (auto [list, devices] : {std::pair(m_pIn, &m_pCore->InDevices()), std::pair(m_pOut, &m_pCore->OutDevices())}) {
        const QSignalBlocker quiet(list);
        for (const auto& device : *devices) list->addItem(winport::QStringFromAnsi(device.name.c_str()));
    }
    Changed();
    ok->setFocus();
}

CMidiPortSelectionWindow::~CMidiPortSelectionWindow()
{
    m_pPorts->SetParentWindow(nullptr);
    m_pCore->SetView(nullptr);
}

QListWidget* CMidiPortSelectionWindow::AddDeviceList(int id, int x, int y, bool input)
{
    auto* list = new QListWidget(this);
    list->setObjectName(QString::number(id));
    list->setGeometry(DialogUnits::Rect(x, y, 131, 52));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setPalette(QApplication::palette(list));  // the framework's list colours on the coloured dialog
    connect(list, &QListWidget::currentRowChanged, this, [this, input](int row) {
        if (input)
            m_pCore->OnSelChangeMidiIn(row);
        else
            m_pCore->OnSelChangeMidiOut(row);
    });
    return list;
}

CColourButton* CMidiPortSelectionWindow::AddColourButton(int id, const char* text, int x, int y, int w)
{
    auto* button = new CColourButton(id, winport::QStringFromAnsi(text), this);
    button->setObjectName(QString::number(id));
    button->setGeometry(DialogUnits::Rect(x, y, w, 14));
    connect(button, &OwnerDrawButton::commandClicked, this, [this](int clicked) {
        switch (clicked) {
        case D::kIdLink: m_pCore->OnLinkPorts(); break;
        case D::kIdRemove:
            m_pCore->SelectPortLine(m_pPorts->GetCurSel());
            m_pCore->OnRemove();
            m_pPorts->SetCurSel(m_pCore->GetSelectedPortLine());
            break;
        case D::kIdStart: m_pCore->OnStartMidi(); break;
        case D::kIdOk: m_pCore->OnOK(); break;
        default: break;
        }
    });
    return button;
}

void CMidiPortSelectionWindow::SyncPortLines()
{
    const auto& lines = m_pCore->PortLines();
    auto listed = [&](int port) {
        for (const auto& line : lines)
            if (line.port == port) return true;
        return false;
    };
    for (int i = m_pPorts->GetCount() - 1; i >= 0; --i)
        if (!listed(static_cast<int>(m_pPorts->GetItemData(i)))) m_pPorts->DeleteString(i);
    // Lines are only ever removed or added at the end, so the ones left are the core's first.
    for (size_t i = static_cast<size_t>(m_pPorts->GetCount()); i < lines.size(); ++i) {
        const int index = m_pPorts->AddString(lines[i].text);
        m_pPorts->SetItemData(index, static_cast<DWORD_PTR>(lines[i].port));
        m_pPorts->SetCheck(index, lines[i].check);
    }
}

void CMidiPortSelectionWindow::Changed()
{
    SyncPortLines();
    m_pInName->setText(winport::QStringFromAnsi(m_pCore->GetInText().c_str()));
    m_pOutName->setText(winport::QStringFromAnsi(m_pCore->GetOutText().c_str()));
    m_pIn->setEnabled(m_pCore->AreListsEnabled());
    m_pOut->setEnabled(m_pCore->AreListsEnabled());
    Button(D::kIdLink)->setEnabled(m_pCore->IsLinkEnabled());
    Button(D::kIdRemove)->setEnabled(m_pCore->IsRemoveEnabled());
    CColourButton* start = Button(D::kIdStart);
    const int scheme = m_pCore->GetStartScheme() == 1 ? 1 : 0;
    start->setWindowTitle(winport::QStringFromAnsi(m_pCore->GetStartText()));
    start->SetColours(m_crStartText[scheme], m_crStartFace[scheme], FALSE);
}
