// The main dialog's window over its core, offscreen: input reaches the core, the core's state
// is what the window shows, and the units on the other end of the line (the unit model, in
// virtual time) get what the operator did.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "../../tests/FakeSerialPorts.h"
#include "../../tests/ScriptedShell.h"
#include "RecordingTray.h"
#include "TestEnvironment.h"
#include "app/MicDlg.h"
#include "app/MidiSetup.h"
#include "base/MicMessages.h"
#include "base/ProgramConstants.h"
#include "link/SerialPort.h"
#include "mic_ui/MicDlgWindow.h"
#include "mic_ui/MidiPortSelectionWindow.h"
#include "mic_ui/QtShell.h"
#include "mic_ui/SmallDialogs.h"
#include "midi/MidiPortConfig.h"
#include "midi/MidiPortManager.h"
#include "presim/UnitBus.h"
#include "winport/Clock.h"
#include "winport/MidiBackend.h"
#include "winport/Profile.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace P = MainDialogPictures;

namespace {

QRgb Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }
QRgb Rgb(int r, int g, int b) { return static_cast<QRgb>((r << 16) | (g << 8) | b); }

class MicDlgWindowTest : public ::testing::Test {
protected:
    /// The dialog with its window over units on port 3 (no port at all with plugged false).
    void Start(int units, Shell& withShell, bool plugged = true)
    {
        winport::SetProfileName("micUlvo.ini");
        winport::WriteProfileInt("Settings", "Auto Restore", 0);
        winport::WriteProfileInt("Settings", "Communication Port", 3);
        if (plugged) ports.Plug(3);
        bus = std::make_unique<presim::UnitBus>(units);
        dlg = std::make_unique<CMicDlg>(nullptr, &withShell);
        dlg->SetSerialPorts(ports.Factory(), ports.Availability());
        dlg->m_Link.SetHalfDuplex(false);
        if (serverMode.useWithCantle) {
            // The server-mode controls, without a server to attach to.
            dlg->SetServerLink(nullptr);
            dlg->SetServerMode(serverMode);
        }
        dlg->SetPortWriter([this](const BYTE* m, int n) {
            bus->Receive(m, static_cast<size_t>(n), static_cast<double>(clock.nowMs()));
            dlg->m_Link.Sent();
        });
        window = std::make_unique<MicDlgWindow>(*dlg);
        qtShell.SetOwner(window.get());
        dlg->SetView(window.get());
        window->show();
        ASSERT_TRUE(dlg->Create());
        window->Refresh();
    }
    void Start(int units) { Start(units, shell); }

    void TearDown() override
    {
        if (dlg) dlg->SetView(nullptr);
    }

    // The line and the loop for ms milliseconds of virtual time.
    void Run(uint64_t ms)
    {
        auto& loop = winport::MessageLoop::Current();
        for (uint64_t i = 0; i < ms; ++i) {
            loop.AdvanceBy(1);
            for (uint8_t b : bus->TakeDue(static_cast<double>(clock.nowMs()))) {
                const PreLink::Event e = dlg->m_Link.Receive(b);
                if (e.delivered) PostMessageA(dlg->GetSafeHwnd(), WM_PRE_REPLY, 1, static_cast<LPARAM>(e.transaction));
            }
            loop.RunUntilIdle();
        }
    }

    bool RunUntil(const std::function<bool()>& done, uint64_t limitMs = 20000)
    {
        for (uint64_t t = 0; t < limitMs; t += 10) {
            if (done()) return true;
            Run(10);
        }
        return done();
    }

    void Click(int id)
    {
        QWidget* control = window->Control(id);
        ASSERT_NE(control, nullptr) << id;
        QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
    }

    ServerModeDecision serverMode{};
    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    FakeSerialPorts ports;
    ScriptedShell shell;
    RecordingTray tray;  // outlives the shell, which removes its icon
    QtShell qtShell;
    std::unique_ptr<presim::UnitBus> bus;
    std::unique_ptr<CMicDlg> dlg;
    std::unique_ptr<MicDlgWindow> window;
};

}  // namespace

namespace {

/// The visible dialogs of a kind.
template <typename T>
std::vector<T*> Visible()
{
    std::vector<T*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<T*>(w); d && d->isVisible()) found.push_back(d);
    return found;
}

}  // namespace

TEST_F(MicDlgWindowTest, ClickingSwitchesReachesTheCoreTheUnitAndTheWindow)
{
    Start(3);
    ASSERT_TRUE(RunUntil([&] { return dlg->m_RackSetup.GetRackFlag(0) != 0; }));
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdLinkPicture), P::kLinkLinked);
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdRack), 145u);

    // Channel 1 starts on its line input: Phant is not there, and a click changes nothing.
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdDir), P::kDirLine);
    Click(MicDlgWindow::kIdPhant);
    EXPECT_FALSE(dlg->IsSwitchShown(0, 0, CMicDlg::kSwitchPhant));
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdPhant), P::kSwitchOff);

    Click(MicDlgWindow::kIdDir);
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdDir), P::kDirMic);
    Click(MicDlgWindow::kIdPhant);
    EXPECT_TRUE(dlg->IsSwitchShown(0, 0, CMicDlg::kSwitchPhant));
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdPhant), P::kSwitchOn);
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdPhant + 1), P::kSwitchOff);  // only that channel

    // The unit gets the channel's mic-input switch byte with phantom power on.
    ASSERT_TRUE(RunUntil([&] { return (bus->unit(0).micSwitch[0] & 0x40) != 0; }));
    EXPECT_EQ(bus->Violations(), 0);
}

TEST_F(MicDlgWindowTest, SelectingARackRedrawsItsChannels)
{
    Start(0);
    // Rack 2 holds a channel on its mic input with Phase on, a label and a gain.
    dlg->m_RackSetup.SetChannelMode(1, 2, 1);
    dlg->m_RackSetup.SetLineStatus(1, 2, 0x10 | 7);
    dlg->m_RackSetup.SetLabel(1, 2, "Vocal");
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdRackNumber), P::RackNumber(0));
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdPhase + 2), P::kSwitchOff);

    Click(MicDlgWindow::kIdRack + 1);
    EXPECT_EQ(dlg->m_RackSetup.GetCurrentRack(), 1);
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdRackNumber), P::RackNumber(1));
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdPhase + 2), P::kSwitchOn);
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdDir + 2), P::kDirMic);
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdPhase + 1), P::kSwitchOff);
    EXPECT_EQ(window->ControlAs<QComboBox>(MicDlgWindow::kIdGain + 2)->currentIndex(), dlg->GainItem(1, 2));
    const auto labels = window->findChildren<QLabel*>();
    EXPECT_EQ(std::count_if(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "Vocal"; }), 1);
    // No unit answers: the rack on show and the others keep their silent pictures, the read-outs are blank.
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdRack + 1), P::kRackOnShow);
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdRack), P::kRackOther);
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdReadout + 2), P::kBlankReadout);
}

TEST_F(MicDlgWindowTest, GainChosenFromTheListReachesTheCore)
{
    Start(1);
    ASSERT_TRUE(RunUntil([&] { return dlg->m_RackSetup.GetRackFlag(0) != 0; }));
    Click(MicDlgWindow::kIdDir + 3);  // mic input: items 4 to 14
    auto* box = window->ControlAs<QComboBox>(MicDlgWindow::kIdGain + 3);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->count(), 15);
    EXPECT_EQ(box->itemText(14), "70");
    box->activated(9);  // what a choice from the list signals
    EXPECT_EQ(dlg->GainItem(0, 3), 9);
    EXPECT_EQ(box->currentIndex(), 9);
    EXPECT_EQ(window->PictureOf(MicDlgWindow::kIdReadout + 3), P::Readout(9));
    box->activated(2);  // below the mic input's range: refused, the box goes back
    EXPECT_EQ(dlg->GainItem(0, 3), 9);
    EXPECT_EQ(box->currentIndex(), 9);
}

// Typing in a box: the character typed counts wherever the caret stood in the box's text, and
// leaving the box ends the entry, so that a digit held in one box never joins one typed in the
// next.
TEST_F(MicDlgWindowTest, TypedDigitsCountWhereverTheCaretStandsAndLeavingABoxEndsItsEntry)
{
    serverMode = {1, 0};
    Start(1);
    ASSERT_TRUE(RunUntil([&] { return dlg->m_RackSetup.GetRackFlag(0) != 0; }));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    // A click at the left of the box's text, then a key.
    auto clickAtStart = [&](int id) {
        auto* box = window->ControlAs<QComboBox>(id);
        ASSERT_NE(box, nullptr) << id;
        QTest::mouseClick(box->lineEdit(), Qt::LeftButton, {}, QPoint(2, box->lineEdit()->height() / 2));
        EXPECT_TRUE(box->hasFocus()) << id;
    };
    auto typeAtStart = [&](int id, char key) {
        clickAtStart(id);
        QTest::keyClick(QApplication::focusWidget(), key);
    };

    typeAtStart(MicDlgWindow::kIdMicLine + 0, '5');
    typeAtStart(MicDlgWindow::kIdMicLine + 1, '6');
    typeAtStart(MicDlgWindow::kIdMicLine + 2, '9');
    typeAtStart(MicDlgWindow::kIdMicLine + 3, '1');
    typeAtStart(MicDlgWindow::kIdMicLine + 3, '2');  // a second digit in the same box
    window->setFocus();
    const int lines[] = {5, 6, 9, 12};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(lines[c], dlg->m_RackSetup.GetChannelMicLine(0, c)) << c;
        EXPECT_EQ(QString::number(lines[c]), window->ControlAs<QComboBox>(MicDlgWindow::kIdMicLine + c)->currentText()) << c;
    }

    // A single digit left alone in a gain box: "4" gives "40" on the mic input.
    Click(MicDlgWindow::kIdDir + 2);
    typeAtStart(MicDlgWindow::kIdGain + 2, '4');
    clickAtStart(MicDlgWindow::kIdGain + 1);
    EXPECT_EQ(8, dlg->GainItem(0, 2));
    EXPECT_EQ("40", window->ControlAs<QComboBox>(MicDlgWindow::kIdGain + 2)->currentText());
}

TEST_F(MicDlgWindowTest, MidiSlotPanelsAndLevelBarsArePaintedFromTheRack)
{
    Start(0);
    dlg->m_RackSetup.ClearMidiSlot(0, 1, 2 * 2 + 1);  // slot 1: unit 3, channels 5 to 8
    dlg->m_nLevelHeight[2] = 71;
    window->Refresh();
    const QImage image = window->PaintBackground();
    EXPECT_EQ(Pixel(image, 2, 2), Rgb(29, 68, 107));
    const QRect untied = window->SlotPanelRect(0), tied = window->SlotPanelRect(1);
    EXPECT_EQ(Pixel(image, untied.left() + 1, untied.bottom() - 1), Rgb(0, 0, 0));
    EXPECT_EQ(Pixel(image, tied.left() + 1, tied.top() + 1), Rgb(0, 168, 107));
    // "PRE 3b" centred, starting 3 pixels below the top: ink inside, none in the top rows.
    int ink = 0, inkTop = 0;
    for (int y = tied.top(); y <= tied.bottom(); ++y)
        for (int x = tied.left(); x <= tied.right(); ++x)
            if (Pixel(image, x, y) == Rgb(0, 0, 0)) (y < tied.top() + 3 ? inkTop : ink)++;
    EXPECT_GT(ink, 10);
    EXPECT_EQ(inkTop, 0);
    EXPECT_EQ(window->LevelBarRect(2), QRect(515, 34, 10, 71));
    EXPECT_EQ(window->LevelBarRect(1), QRect());
}

TEST_F(MicDlgWindowTest, TheTemplateLaysOutEveryControlInsideWithoutOverlap)
{
    Start(0);
    EXPECT_EQ(window->size(), QSize(744, 575));  // 496 x 354 dialog units
    // Outside server mode the server's controls do not exist; in server mode they do, and
    // find room too.
    for (int id : {1037, 1050, 1051, 1076, 1079}) EXPECT_EQ(window->Control(id), nullptr) << id;
    HeadlessShell headless;
    CMicDlg serverDlg(nullptr, &headless);
    serverDlg.SetServerMode({1, 1});
    MicDlgWindow serverWindow(serverDlg);
    for (int id : {1037, 1050, 1051, 1076, 1079}) EXPECT_NE(serverWindow.Control(id), nullptr) << id;

    for (MicDlgWindow* w : {window.get(), &serverWindow}) {
        std::vector<std::pair<int, QRect>> rects;
        for (int id = 0; id < 1500; ++id)
            if (QWidget* c = w->Control(id)) rects.emplace_back(id, c->geometry());
        EXPECT_GT(rects.size(), 60u);
        for (int c = 0; c < 4; ++c) rects.emplace_back(-1 - c, QRect(MicDlgWindow::kLevelLeft[c], 34, 10, 142));
        for (size_t i = 0; i < rects.size(); ++i) {
            EXPECT_TRUE(w->rect().contains(rects[i].second)) << rects[i].first;
            for (size_t j = i + 1; j < rects.size(); ++j)
                EXPECT_FALSE(rects[i].second.intersects(rects[j].second)) << rects[i].first << " " << rects[j].first;
        }
    }
}


TEST_F(MicDlgWindowTest, ThePortErrorDialogAppearsOnceWhenNoPortOpens)
{
    Start(0, qtShell, false);
    ASSERT_EQ(Visible<CPortError>().size(), 1u);
    CPortError* dialog = Visible<CPortError>().front();
    EXPECT_EQ(dialog->parentWidget(), window.get());
    EXPECT_TRUE(dialog->isModal());
    // The link goes on trying the ports in the background; the dialog is not shown again.
    Run(5000);
    EXPECT_EQ(Visible<CPortError>().size(), 1u);
    QTest::mouseClick(dialog->Control(IDOK), Qt::LeftButton);
    EXPECT_TRUE(Visible<CPortError>().empty());
    Run(3000);
    EXPECT_TRUE(Visible<CPortError>().empty());
    EXPECT_FALSE(dlg->IsEnded());
}

TEST_F(MicDlgWindowTest, ExitAsksAndEscapeInTheQuestionKeepsTheProgramRunning)
{
    Start(0, qtShell);
    QTest::keyClick(window.get(), Qt::Key_Escape);  // the dialog's Escape is Exit
    ASSERT_EQ(Visible<CConfirmClose>().size(), 1u);
    QTest::keyClick(Visible<CConfirmClose>().front(), Qt::Key_Escape);  // "&No"
    EXPECT_TRUE(Visible<CConfirmClose>().empty());
    EXPECT_FALSE(dlg->IsEnded());
    EXPECT_TRUE(window->isVisible());

    QCloseEvent closeBox;  // the window manager's close box is Exit too
    QApplication::sendEvent(window.get(), &closeBox);
    EXPECT_FALSE(closeBox.isAccepted());
    winport::MessageLoop::Current().RunUntilIdle();
    ASSERT_EQ(Visible<CConfirmClose>().size(), 1u);
    QTest::mouseClick(Visible<CConfirmClose>().front()->Control(IDOK), Qt::LeftButton);  // "&Yes"
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(winport::MessageLoop::Current().QuitPending());
    MSG quit{};
    winport::MessageLoop::Current().Peek(&quit, nullptr, 0, 0, PM_REMOVE);  // leave no quit behind
}

TEST_F(MicDlgWindowTest, TheTrayIconFollowsMidiAndItsClicksReachTheDialog)
{
    qtShell.SetTrayBackend(&tray);
    Start(0, qtShell);
    ASSERT_NE(qtShell.Tray(), nullptr);
    ASSERT_FALSE(tray.calls.empty());
    const NotifyIconData added = tray.calls.front().second;
    EXPECT_EQ(tray.calls.front().first, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(added.hWnd, dlg->GetSafeHwnd());
    EXPECT_EQ(added.uID, 128u);
    EXPECT_STREQ(added.szTip, "Midi Control");
    EXPECT_EQ(qtShell.Tray()->GetIconCount(), 3);
    EXPECT_EQ(qtShell.Tray()->GetShownFrame(), 0);
    dlg->SetMidiRunning(TRUE);
    EXPECT_EQ(qtShell.Tray()->GetShownFrame(), 1);
    PostMessageA(dlg->GetSafeHwnd(), WM_MIDI_OUT_SHOWN, 0x00B00000, 0x007F0005);  // a message sent
    winport::MessageLoop::Current().RunUntilIdle();
    EXPECT_EQ(qtShell.Tray()->GetShownFrame(), 2);
    dlg->SetMidiRunning(FALSE);
    EXPECT_EQ(qtShell.Tray()->GetShownFrame(), 0);

    // Clicks on the icon reach the dialog: a double click hides the window and shows it again,
    // a right click opens the tray's menu, whose "Exit" asks as the Exit button does.
    auto clickTray = [&](UINT mouse) {
        tray.Click(mouse);
        winport::MessageLoop::Current().RunUntilIdle();
    };
    clickTray(WM_LBUTTONDBLCLK);
    EXPECT_FALSE(window->isVisible());
    clickTray(WM_LBUTTONDBLCLK);
    EXPECT_TRUE(window->isVisible());
    clickTray(WM_RBUTTONUP);
    QMenu* menu = qtShell.OpenMenu();
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text();
    EXPECT_EQ(texts, (QStringList{"&Start MIDI", "Show MIDI Messages", "Exit"}));
    menu->actions().last()->trigger();
    menu->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Visible<CConfirmClose>().size(), 1u);
    QTest::keyClick(Visible<CConfirmClose>().front(), Qt::Key_Escape);
    EXPECT_FALSE(dlg->IsEnded());
}

// Qt's offscreen platform has no notification area: the window's menu offers the tray's
// commands beside the about box.
TEST_F(MicDlgWindowTest, WithoutANotificationAreaTheWindowsMenuOffersTheTraysCommands)
{
    Start(0, qtShell);
    qtShell.SetDialog(dlg.get());
    ASSERT_FALSE(qtShell.TrayIconShown());
    // Opens the window's menu and chooses the item with the text given.
    auto choose = [&](const QString& text) {
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(700, 500), window->mapToGlobal(QPoint(700, 500)));
        QApplication::sendEvent(window.get(), &rightClick);
        QMenu* menu = qtShell.OpenMenu();
        ASSERT_NE(menu, nullptr);
        QStringList texts;
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) texts << a->text();
        EXPECT_EQ(texts, (QStringList{"&About mic...", "&Start MIDI", "Show MIDI Messages", "Exit"}));
        for (QAction* a : menu->actions())
            if (a->text() == text) a->trigger();
        menu->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        winport::MessageLoop::Current().RunUntilIdle();
    };
    choose("Show MIDI Messages");
    ASSERT_NE(qtShell.MidiMonitor(), nullptr);
    EXPECT_TRUE(qtShell.MidiMonitor()->isVisible());
    EXPECT_TRUE(dlg->m_bMidiMonitorOpen);

    choose("&About mic...");
    ASSERT_EQ(Visible<CAboutDlg>().size(), 1u);
    QTest::mouseClick(Visible<CAboutDlg>().front()->Control(IDOK), Qt::LeftButton);
    EXPECT_TRUE(Visible<CAboutDlg>().empty());
}

// Where each menu stands against the pointer: a menu of a click in the window (the MIDI slot
// panel's, the window's own) with its top-left corner there, the tray's with its bottom-right.
TEST_F(MicDlgWindowTest, EachMenuStandsWithItsCornerAtThePointer)
{
    qtShell.SetTrayBackend(&tray);
    Start(0, qtShell);
    dlg->m_RackSetup.SetPreMapping(0, 0, 0);
    dlg->m_RackSetup.SetChannelMapping(0, 0, 0);
    dlg->SetMidiRunning(TRUE);
    dlg->m_RackSetup.SetRackFlag(dlg->m_RackSetup.GetCurrentRack(), TRUE);
    auto rightClickAt = [&](QPoint at) {
        QCursor::setPos(window->mapToGlobal(at));
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, window->mapToGlobal(at));
        QApplication::sendEvent(window.get(), &event);
    };
    struct Case {
        const char* menu;
        std::function<void()> open;
        bool bottomRight;
    };
    const Case cases[] = {
        {"slot", [&] { rightClickAt(window->SlotPanelRect(1).center()); }, false},
        {"window", [&] { rightClickAt(QPoint(300, 150)); }, false},
        {"tray", [&] {
             QCursor::setPos(window->mapToGlobal(QPoint(400, 300)));
             tray.Click(WM_RBUTTONUP);
             winport::MessageLoop::Current().RunUntilIdle();
         }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.menu);
        c.open();
        QMenu* menu = qtShell.OpenMenu();
        ASSERT_NE(menu, nullptr);
        const QPoint pointer = QCursor::pos();
        const QSize size = menu->size();
        EXPECT_EQ(menu->geometry().topLeft() - pointer,
                  c.bottomRight ? QPoint(-size.width(), -size.height()) : QPoint(0, 0));
        menu->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(MicDlgWindowTest, ARightClickOnAMidiSlotPanelOffersTheSlotMenuWhileMidiRunsAndTheRackResponds)
{
    Start(0);
    dlg->m_RackSetup.SetPreMapping(0, 0, 0);
    dlg->m_RackSetup.SetChannelMapping(0, 0, 0);
    dlg->m_RackSetup.SetPreMapping(1, 0, 5);
    dlg->m_RackSetup.SetChannelMapping(1, 0, 5);
    const int rack = dlg->m_RackSetup.GetCurrentRack();
    auto rightClick = [&](int slot) {
        const QPoint at = window->SlotPanelRect(slot).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, window->mapToGlobal(at));
        QApplication::sendEvent(window.get(), &event);
        winport::MessageLoop::Current().RunUntilIdle();
    };
    struct Case {
        bool midi, responds, slotMenu;
    };
    for (const Case c : {Case{false, true, false}, Case{true, false, false}, Case{true, true, true}}) {
        SCOPED_TRACE(testing::Message() << c.midi << c.responds);
        shell.menus.clear();
        dlg->SetMidiRunning(c.midi ? TRUE : FALSE);
        dlg->m_RackSetup.SetRackFlag(rack, c.responds ? TRUE : FALSE);
        shell.menuAnswers = {CMidiSetup::kCmdFirstUnit + 3};  // "PRE 2", "B (5-8)"
        rightClick(1);
        // Without the slot menu, the window's own menu.
        ASSERT_EQ(shell.menus.size(), 1u);
        EXPECT_EQ(shell.menus.back().front().id != kSysCommandAbout, c.slotMenu);
    }
    ASSERT_EQ(shell.menus.back().size(), 3u);
    EXPECT_EQ(shell.menus.back()[1].text, "PRE 2");
    EXPECT_EQ(shell.menus.back()[2].id, CMidiSetup::kCmdClear);
    EXPECT_EQ(dlg->m_RackSetup.GetMidiSlot(rack, 1), 3);
    const QRect tied = window->SlotPanelRect(1);
    EXPECT_EQ(Pixel(window->PaintBackground(), tied.left() + 1, tied.top() + 1), Rgb(0, 168, 107));

    // The value moves: slot 0 takes it, slot 1 is emptied; "Clear" empties.
    shell.menuAnswers = {CMidiSetup::kCmdFirstUnit + 3};
    rightClick(0);
    EXPECT_EQ(dlg->m_RackSetup.GetMidiSlot(rack, 0), 3);
    EXPECT_EQ(dlg->m_RackSetup.GetMidiSlot(rack, 1), -1);
    shell.menuAnswers = {CMidiSetup::kCmdClear};
    rightClick(0);
    EXPECT_EQ(dlg->m_RackSetup.GetMidiSlot(rack, 0), -1);
}

TEST_F(MicDlgWindowTest, SwitchAndRackButtonsAreFlatWithAHotEdgeUnderThePointer)
{
    Start(1);
    for (int id : {MicDlgWindow::kIdPhant + 1, MicDlgWindow::kIdRack + 2}) {
        SCOPED_TRACE(id);
        auto* button = window->ControlAs<CBmpButton>(id);
        ASSERT_NE(button, nullptr);
        const QImage idle = button->Render();
        const int w = idle.width(), h = idle.height();
        // No raised edge: the outline is the picture's, not the edge's light and dark lines.
        button->SetDrawBorder(TRUE);
        const QImage raised = button->Render();
        button->SetDrawBorder(FALSE);
        for (QPoint p : {QPoint(0, 0), QPoint(w - 1, h - 1)}) EXPECT_NE(idle.pixel(p), raised.pixel(p)) << p.x() << "," << p.y();

        // Pressed: the picture stays where it is.
        const QPointF centre(w / 2.0, h / 2.0);
        QMouseEvent move(QEvent::MouseMove, centre, button->mapToGlobal(centre), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(button, &move);
        QMouseEvent press(QEvent::MouseButtonPress, centre, button->mapToGlobal(centre), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(button, &press);
        ASSERT_TRUE(button->IsPressed());
        QImage pressed = button->Render();
        // The pointer over the button makes it hot: the flat style's raised edge shows.
        EXPECT_TRUE(button->IsHot());
        for (int y = 2; y < h - 2; ++y)  // inside the two lines of the edge
            for (int x = 2; x < w - 2; ++x) ASSERT_EQ(pressed.pixel(x, y), idle.pixel(x, y)) << x << "," << y;
        EXPECT_EQ(pressed.pixel(0, 0), raised.pixel(0, 0)) << "the hot edge";
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(-5, -5), button->mapToGlobal(QPointF(-5, -5)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(button, &release);
        EXPECT_FALSE(button->IsHot());
        EXPECT_EQ(button->Render().pixel(0, 0), idle.pixel(0, 0));
    }
}

// The Qt shell opens the port selection dialog on the main dialog's MIDI ports; Start and Stop in
// it switch the dialog's MIDI-running flag and its tray picture.
TEST_F(MicDlgWindowTest, ThePortDialogStartsAndStopsTheMainDialogsMidi)
{
    auto loop = std::make_shared<winport::midi::LoopbackBackend>();
    loop->AddInput("surface out");
    loop->AddOutput("surface in");
    winport::midi::SetBackend(loop);
    struct BackendGone {
        ~BackendGone() { winport::midi::SetBackend(nullptr); }
    } backendGone;
    const CString key = CMidiPortConfig::KeyOf(0);
    CCurrentUserRegistryObject reg;
    reg.SetInt(key, "MidiIn", 0);
    reg.SetInt(key, "MidiOut", 0);
    reg.SetString(key, "MidiInStr", "surface out");
    reg.SetString(key, "MidiOutStr", "surface in");
    reg.SetBool(key, "Active", 1);

    qtShell.SetTrayBackend(&tray);
    Start(0, qtShell);
    dlg->SetMidiPorts(std::make_unique<CMidiPortManager>(shell, dlg->GetSafeHwnd()));
    qtShell.SetDialog(dlg.get());
    bool done = false;
    qtShell.RunMidiDialog(dlg->GetSafeHwnd(), MidiDialog::PortSelection, [&] { done = true; });
    auto* ports = window->findChild<CMidiPortSelectionWindow*>();
    ASSERT_NE(ports, nullptr);
    EXPECT_TRUE(ports->isVisible());
    ASSERT_EQ(ports->PortList()->GetCount(), 1);
    EXPECT_EQ(ports->PortList()->GetCheck(0), 1);

    QWidget* start = ports->Button(CMidiPortSelection::kIdStart);
    QTest::mouseClick(start, Qt::LeftButton, {}, start->rect().center());
    EXPECT_TRUE(dlg->m_bMidiRunning);
    EXPECT_EQ(qtShell.Tray()->GetShownFrame(), 1);
    EXPECT_TRUE(loop->WaitSent("surface in", 2, 10000));  // the port's announcement
    QTest::mouseClick(start, Qt::LeftButton, {}, start->rect().center());
    EXPECT_FALSE(dlg->m_bMidiRunning);
    EXPECT_EQ(qtShell.Tray()->GetShownFrame(), 0);

    QWidget* ok = ports->Button(CMidiPortSelection::kIdOk);
    QTest::mouseClick(ok, Qt::LeftButton, {}, ok->rect().center());
    EXPECT_TRUE(done);
    EXPECT_EQ(qtShell.OpenDialogs(), 0);
}
