// The main dialog's secondary windows in virtual time against the unit model: "Setup" with its
// version sweep, test mode and read-back, the mini view, the tray's clicks and menu, the pop-up
// options and the end of the window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UnitLineFixture.h"
#include "app/DebugDlg.h"
#include "base/MicMessages.h"
#include "base/ProgramConstants.h"
#include "link/PreProtocol.h"

namespace {

class WindowRecorder : public CMicDlgView {
public:
    void ShowWindow(bool visible) override { shown.push_back(visible); }
    void BringToFront() override { ++raised; }
    std::vector<bool> shown;
    int raised = 0;
};

// MIDI that starts when asked (unless told to refuse) and records what it is sent.
class ScriptedMidi : public StoppedMidiPorts {
public:
    BOOL StartMidiPortsThread() override
    {
        if (refuseStart) return FALSE;
        SetRunning(true);
        return TRUE;
    }
    bool refuseStart = false;
};

class Windows : public UnitLineFixture {
protected:
    void Start(int units)
    {
        auto m = std::make_unique<ScriptedMidi>();
        midi = m.get();
        UnitLineFixture::Start(units, false, std::move(m));
        dlg->SetView(&view);
    }

    std::vector<std::pair<UINT, std::string>> lastMenu() const
    {
        std::vector<std::pair<UINT, std::string>> out;
        if (shell.menus.empty()) return out;
        for (const MenuItem& item : shell.menus.back()) out.emplace_back(item.id, item.text.c_str());
        return out;
    }

    WindowRecorder view;
    ScriptedMidi* midi = nullptr;
};

using Menu = std::vector<std::pair<UINT, std::string>>;

}  // namespace

// ---- Setup --------------------------------------------------------------------------------------

TEST_F(Windows, SetupIsRefusedWhileMessagesWaitOrTheLinkIsBusy)
{
    Start(1);
    ASSERT_TRUE(RunUntilResponding(0));
    Settle();
    dlg->SendLineCommand(0, 2);
    dlg->OnCommand(kIdSetup, 0);
    EXPECT_EQ(CString("S&etup"), dlg->Snapshot().setup.text);
    Drain();
    dlg->m_bBusy = TRUE;
    dlg->OnCommand(kIdSetup, 0);
    dlg->m_bBusy = FALSE;
    Run(3000);
    EXPECT_EQ(0, Count(0, 0x10)) << "no version request";
    EXPECT_TRUE(shell.setupDialogs.empty());
    EXPECT_TRUE(dlg->Snapshot().setup.enabled);
}

TEST_F(Windows, SetupSweepsOpensTheDialogInTestModeAndReadsTheRackBack)
{
    Start(2);
    ASSERT_TRUE(RunUntilResponding(1));
    dlg->SelectRack(1);
    Settle();
    // Pressed while the answer to a poll with levels is on the line.
    dlg->m_bEnableMeters = TRUE;
    for (int t = 0; t < 200 && Count(1, 0x02) == 0; ++t) Run(1);
    Run(3);
    dlg->OnCommand(kIdSetup, 0);
    ButtonSnapshot waiting = dlg->Snapshot().setup;
    EXPECT_EQ(CString("Wait..."), waiting.text);
    EXPECT_FALSE(waiting.enabled);
    EXPECT_TRUE(waiting.grey);
    for (int t = 0; t < 5000 && shell.setupDialogs.empty(); t += 10) Run(10);
    ASSERT_EQ(1u, shell.setupDialogs.size());
    const SetupDialogPreset& preset = shell.setupDialogs[0];
    EXPECT_EQ(UnitLineFixture::kPort, preset.commPort);
    EXPECT_EQ(CString("Open"), preset.setupButtonText);
    EXPECT_FALSE(preset.autoRestore);
    EXPECT_TRUE(preset.miniAlwaysOnTop);
    EXPECT_EQ(CString(bus->unit(0).version.c_str()), preset.versions[0]);
    EXPECT_EQ(CString(bus->unit(1).version.c_str()), preset.versions[1]);
    EXPECT_EQ(CString("Version Unknown"), preset.versions[2]);
    EXPECT_EQ(1, dlg->m_nTestMode);
    // The sweep began after the poll in flight was answered: nothing but the version came back.
    EXPECT_EQ(1, Count(0, 0x10));
    EXPECT_EQ(1, Count(1, 0x10));
    EXPECT_EQ(0, bus->Violations());

    // While it is open the link only asks for versions, and builders queue nothing but resets.
    bus->ClearFrames();
    dlg->ToggleDir(0);
    EXPECT_EQ(0, dlg->RingCount());
    dlg->SendResetMessages(0);
    Run(2000);
    EXPECT_GE(Count(1, 0x10), 1);
    EXPECT_EQ(0, Count(1, 0x01) + Count(1, 0x41));
    // A test changed the unit meanwhile.
    bus->unit(1).micSwitch[2] = 0x40 | 0x06;
    bus->unit(1).pathByte[2] = 0x03 | 0x20;

    shell.closeSetup();
    EXPECT_EQ(0, dlg->m_nTestMode);
    EXPECT_EQ(CString("S&etup"), dlg->Snapshot().setup.text);
    EXPECT_TRUE(dlg->Snapshot().setup.enabled);
    EXPECT_FALSE(dlg->Snapshot().setup.grey);
    EXPECT_TRUE(dlg->m_bBusy) << "the resets still wait";
    EXPECT_EQ(LinkPicture::Busy, dlg->m_eLinkPicture);
    bus->ClearFrames();
    Drain();
    EXPECT_EQ(12, Count(0, 0x11) + Count(0, 0x41) + Count(0, 0x13));
    EXPECT_EQ(1, Count(1, 0x14)) << "the rack on show is read back";
    EXPECT_EQ(1, dlg->m_RackSetup.GetChannelMode(1, 2));
    EXPECT_EQ(0x06, dlg->m_RackSetup.GetLineStatus(1, 2) & 0x0F);
    EXPECT_TRUE(dlg->IsSwitchShown(1, 2, CMicDlg::kSwitchPhant));
    EXPECT_FALSE(dlg->m_bBusy);
    EXPECT_EQ(LinkPicture::Linked, dlg->m_eLinkPicture);
    EXPECT_EQ(0, bus->Violations());
}

TEST_F(Windows, SetupWithoutAPortOpensAtOnceAndThePortIsSoughtAgainAfter)
{
    Start(1);
    ports.Unplug(UnitLineFixture::kPort);
    ASSERT_TRUE(WaitLinkFailed(dlg->m_Link));
    Run(1500);
    ASSERT_EQ(0, dlg->OpenPortNumber());
    dlg->OnSetup();
    Run(1);
    ASSERT_EQ(1u, shell.setupDialogs.size());
    for (const CString& version : shell.setupDialogs[0].versions) EXPECT_EQ(CString("Version Unknown"), version);
    ports.Plug(UnitLineFixture::kPort);
    Run(3000);
    EXPECT_EQ(0, dlg->OpenPortNumber()) << "not while the set-up dialog is open";
    shell.closeSetup();
    Run(3000);
    EXPECT_EQ(UnitLineFixture::kPort, dlg->OpenPortNumber());
}

// A switch clicked after the dialog closed, while the read-back waits in the ring or is on the
// line: the reply is older than the click, and the screen ends as the unit does.
class ReadBack : public Windows, public ::testing::WithParamInterface<bool> {};

TEST_P(ReadBack, ASwitchClickedBeforeTheReplyWinsOnScreenAsInTheUnit)
{
    const bool requestOnTheLine = GetParam();
    Start(1);
    ASSERT_TRUE(RunUntilResponding(0));
    if (!dlg->m_RackSetup.GetChannelMode(0, 0)) dlg->ToggleDir(0);
    Settle();
    dlg->OnCommand(kIdSetup, 0);
    for (int t = 0; t < 5000 && shell.setupDialogs.empty(); t += 10) Run(10);
    ASSERT_EQ(1u, shell.setupDialogs.size());
    // Meanwhile channel 2 was switched at the unit: mic input, Ins on.
    bus->unit(0).pathByte[1] = 0x03 | 0x20 | 0x40;
    bus->ClearFrames();
    shell.closeSetup();
    if (requestOnTheLine) {
        for (int t = 0; t < 2000 && Count(0, 0x14) == 0; ++t) Run(1);
        ASSERT_EQ(1, Count(0, 0x14));
        ASSERT_EQ(0, dlg->RingCount());
    }
    const bool phantBefore = dlg->IsSwitchShown(0, 0, CMicDlg::kSwitchPhant) != FALSE;
    dlg->ToggleSwitchAndSend(0, CMicDlg::kSwitchPhant);
    ASSERT_GE(dlg->RingCount(), 1) << "the click was taken";
    Drain();
    ASSERT_EQ(1, Count(0, 0x14));
    const presim::Unit& unit = bus->unit(0);
    EXPECT_NE(phantBefore, dlg->IsSwitchShown(0, 0, CMicDlg::kSwitchPhant) != FALSE) << "the click shows";
    EXPECT_NE(phantBefore, (unit.micSwitch[0] & 0x40) != 0) << "and the unit has it";
    EXPECT_TRUE(dlg->IsSwitchShown(0, 1, CMicDlg::kSwitchIns)) << "the unit's own change is read back";
    for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(c);
        const int status = dlg->m_RackSetup.GetChannelStatus(0, c), line = dlg->m_RackSetup.GetLineStatus(0, c);
        EXPECT_EQ(unit.micSwitch[c], pre::MicSwitchByte(status, line));
        EXPECT_EQ(unit.lineSwitch[c], pre::LineSwitchByte(status, line));
        EXPECT_EQ(unit.pathByte[c], pre::PathByte(dlg->m_RackSetup.GetChannelMode(0, c), line));
    }
    EXPECT_EQ(0, bus->Violations());
}

INSTANTIATE_TEST_SUITE_P(Windows, ReadBack, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "RequestOnTheLine" : "RequestQueued"; });

// ---- Mini view ----------------------------------------------------------------------------------

TEST_F(Windows, MiniViewStandsInForTheWindow)
{
    Start(1);
    ASSERT_TRUE(RunUntilResponding(0));
    Settle();
    dlg->SendLineCommand(0, 1);
    dlg->OnCommand(kIdMiniView, 0);
    EXPECT_EQ(0, shell.miniViews) << "refused while messages wait";
    Drain();

    dlg->OnCommand(kIdMiniView, 0);
    ASSERT_EQ(1, shell.miniViews);
    ButtonSnapshot b = dlg->Snapshot().miniView;
    EXPECT_EQ(CString("Minimised"), b.text);
    EXPECT_FALSE(b.enabled);
    EXPECT_EQ(std::vector<bool>({false}), view.shown);
    // The tray's double click hides and shows the mini view, not the window.
    dlg->OnTrayNotify(WM_LBUTTONDBLCLK);
    dlg->OnTrayNotify(WM_LBUTTONDBLCLK);
    EXPECT_EQ(std::vector<bool>({false, true}), shell.miniViewShown);
    // The mini view queued a change and closed before it went out.
    dlg->ToggleSwitchAndSend(1, CMicDlg::kSwitchPhase);
    shell.closeMiniView();
    EXPECT_EQ(std::vector<bool>({false, true}), view.shown);
    b = dlg->Snapshot().miniView;
    EXPECT_EQ(CString("&Mini View"), b.text);
    EXPECT_TRUE(b.enabled);
    EXPECT_FALSE(b.grey);
    EXPECT_TRUE(dlg->m_bBusy);
    EXPECT_EQ(LinkPicture::Busy, dlg->m_eLinkPicture);
    EXPECT_EQ(145, dlg->m_nRackBitmap[0]);
    EXPECT_FALSE(dlg->m_bMiniViewShown);
}

// ---- Tray ---------------------------------------------------------------------------------------

TEST_F(Windows, TrayMenuTextsAndIds)
{
    Start(1);
    const Menu stopped = {{501, "&Start MIDI"}, {503, "Show MIDI Messages"}, {1, "Exit"}};
    const Menu running = {{502, "&Stop MIDI"}, {504, "Broadcast Current Setup"}, {503, "Show MIDI Messages"}, {1, "Exit"}};

    // A right click: the menu, and the window in front of it.
    PostMessageA(dlg->GetSafeHwnd(), g_msgTaskIconNotify, 128, WM_RBUTTONUP);
    Run(1);
    EXPECT_EQ(stopped, lastMenu());
    EXPECT_EQ(1, view.raised);

    shell.menuAnswers = {501};
    dlg->OnTrayNotify(WM_CONTEXTMENU);
    EXPECT_TRUE(dlg->m_bMidiRunning);
    EXPECT_EQ(kTrayMidiIn, shell.trayImage);
    dlg->OnTrayNotify(WM_RBUTTONDBLCLK);
    EXPECT_EQ(running, lastMenu());

    // Messages waiting, or the set-up dialog open: no MIDI monitor.
    dlg->SendLineCommand(0, 0);
    dlg->OnTrayNotify(WM_RBUTTONUP);
    EXPECT_EQ(Menu({{502, "&Stop MIDI"}, {504, "Broadcast Current Setup"}, {1, "Exit"}}), lastMenu());

    shell.menuAnswers = {502};
    midi->SetRefuseStop(true);
    Drain();
    dlg->OnTrayNotify(WM_RBUTTONUP);
    EXPECT_TRUE(dlg->m_bMidiRunning) << "MIDI refused to stop";
    midi->SetRefuseStop(false);
    shell.menuAnswers = {502};
    dlg->OnTrayNotify(WM_RBUTTONUP);
    EXPECT_FALSE(dlg->m_bMidiRunning);
    EXPECT_EQ(kTrayIdle, shell.trayImage);
    midi->refuseStart = true;
    shell.menuAnswers = {501};
    dlg->OnTrayNotify(WM_RBUTTONUP);
    EXPECT_FALSE(dlg->m_bMidiRunning);
    EXPECT_EQ(stopped, lastMenu());

    size_t menus = shell.menus.size();
    dlg->OnTrayNotify(WM_LBUTTONDOWN);
    dlg->OnTrayNotify(WM_MOUSEMOVE);
    EXPECT_EQ(menus, shell.menus.size()) << "other mouse messages do nothing";
}

TEST_F(Windows, WithoutATrayIconTheWindowsMenuOffersTheTraysItems)
{
    Start(1);
    const std::pair<UINT, std::string> about{kSysCommandAbout, "&About mic..."};
    shell.trayShown = true;
    dlg->ShowWindowMenu();
    EXPECT_EQ(Menu({about}), lastMenu());
    dlg->OnTrayNotify(WM_RBUTTONUP);
    EXPECT_EQ(std::vector<MenuCorner>({MenuCorner::TopLeft, MenuCorner::BottomRight}), shell.menuCorners);

    // No notification area: the tray's items, under the tray's conditions, after the about box.
    shell.trayShown = false;
    dlg->ShowWindowMenu();
    EXPECT_EQ(Menu({about, {0, ""}, {501, "&Start MIDI"}, {503, "Show MIDI Messages"}, {1, "Exit"}}), lastMenu());
    dlg->SendLineCommand(0, 0);
    dlg->ShowWindowMenu();
    EXPECT_EQ(Menu({about, {0, ""}, {501, "&Start MIDI"}, {1, "Exit"}}), lastMenu());
    Drain();
    shell.menuAnswers = {503};
    dlg->ShowWindowMenu();
    EXPECT_EQ(1, shell.monitorOpened);
    shell.menuAnswers = {501};
    dlg->ShowWindowMenu();
    EXPECT_TRUE(dlg->m_bMidiRunning);
    dlg->ShowWindowMenu();
    EXPECT_EQ(Menu({about, {0, ""}, {502, "&Stop MIDI"}, {504, "Broadcast Current Setup"}, {503, "Show MIDI Messages"}, {1, "Exit"}}),
              lastMenu());
}

TEST_F(Windows, TrayCommands)
{
    Start(1);
    // "Show MIDI Messages"; the set-up dialog closes the monitor.
    shell.menuAnswers = {503};
    dlg->OnTrayNotify(WM_RBUTTONUP);
    EXPECT_EQ(1, shell.monitorOpened);
    EXPECT_TRUE(dlg->m_bMidiMonitorOpen);

    // The engine's notifications: lines in the monitor, in the colour of the input pair; a
    // message flashes the tray icon (image 1 in, 2 out), a port's Open or Close line does not.
    dlg->m_RackSetup.SetPreMapping(2, 1, 7);
    struct Shown {
        UINT message;
        WPARAM first;
        LPARAM second;
        const char* line;
        COLORREF colour;
        int image;
    };
    const Shown shown[] = {
        {WM_MIDI_IN_SHOWN, 0x00B30000, 0x00400049, "IN \t1\t179\t73\t64\n", kNoPairColour, kTrayMidiIn},
        {WM_MIDI_OUT_SHOWN, 0x00B70001, 0x007F000A, "OUT \t2\t183\t10\t127\n", kPairColours[2], kTrayMidiOut},
        {WM_MIDI_IN_SHOWN, 0xFFFF0001, 0, "Open\t2\n", kNoPairColour, kTrayMidiOut},
    };
    for (const Shown& row : shown) {
        SCOPED_TRACE(row.line);
        PostMessageA(dlg->GetSafeHwnd(), row.message, row.first, static_cast<LPARAM>(row.second));
        Run(1);
        ASSERT_FALSE(dlg->GetMidiMonitor().Lines().empty());
        EXPECT_EQ(dlg->GetMidiMonitor().Lines().back().text, CString(row.line));
        EXPECT_EQ(dlg->GetMidiMonitor().Lines().back().colour, row.colour);
        EXPECT_EQ(shell.trayImage, row.image);
    }
    dlg->RunSetupDialog();
    EXPECT_EQ(1, shell.monitorClosed);
    EXPECT_FALSE(dlg->m_bMidiMonitorOpen);
    shell.closeSetup();

    // "Broadcast Current Setup": the channels of the racks whose unit answers.
    dlg->m_RackSetup.SetChannelMapping(0, 0, 1);
    dlg->m_RackSetup.ClearMidiSlot(4, 0, 0);
    shell.menuAnswers = {501, 504};
    dlg->OnTrayNotify(WM_RBUTTONUP);
    dlg->m_RackSetup.SetRackFlag(4, TRUE);
    dlg->OnTrayNotify(WM_RBUTTONUP);
    ASSERT_EQ(16u, midi->ToPorts().size());
    for (const auto& m : midi->ToPorts()) EXPECT_EQ(m.bytes[0], 0xB1);

    // "Exit" asks as the Exit button does.
    shell.dialogAnswers = {IDCANCEL};
    shell.menuAnswers = {1};
    dlg->OnTrayNotify(WM_RBUTTONUP);
    EXPECT_EQ(1, shell.Count(ShellDialog::ConfirmClose));
    EXPECT_FALSE(dlg->IsEnded());

    // Left clicks: the double click hides and shows the window, a click raises a shown one.
    view.raised = 0;
    dlg->OnTrayNotify(WM_LBUTTONDBLCLK);
    dlg->OnTrayNotify(WM_LBUTTONUP);
    EXPECT_EQ(0, view.raised);
    dlg->OnTrayNotify(WM_LBUTTONDBLCLK);
    dlg->OnTrayNotify(WM_LBUTTONUP);
    EXPECT_EQ(1, view.raised);
    EXPECT_EQ(std::vector<bool>({false, true}), view.shown);
}

// ---- Pop-up options and the window's end --------------------------------------------------------

TEST_F(Windows, PopupOptionsAreWrittenToTheProfile)
{
    Start(1);
    dlg->OnCommand(kIdPopupOnSel, 0);
    EXPECT_TRUE(dlg->m_RackSetup.GetPopupOnSel()) << "outside server mode the box does not exist";
    dlg->m_bUseWithCantle = 1;
    dlg->m_bReadoutOpen = TRUE;
    dlg->m_bReadoutReady = TRUE;
    dlg->m_nHeldRack = 0;
    dlg->m_nHeldChannel = 2;
    dlg->OnCommand(kIdPopupOnSel, 0);
    dlg->OnCommand(kIdPopupControls, 0);
    EXPECT_FALSE(dlg->m_RackSetup.GetPopupOnSel());
    EXPECT_FALSE(dlg->m_RackSetup.GetPopupControls());
    EXPECT_EQ(0, winport::GetProfileInt("Settings", "PopupOnSel", 1));
    EXPECT_EQ(0, winport::GetProfileInt("Settings", "PopupControls", 1));
    EXPECT_EQ(-1, dlg->m_nHeldRack);
    EXPECT_FALSE(dlg->m_bReadoutOpen);
    dlg->OnCommand(kIdPopupOnSel, 0);
    EXPECT_EQ(1, winport::GetProfileInt("Settings", "PopupOnSel", 0));
}

TEST_F(Windows, TheWindowsEndClosesTheMonitorAndTheWindow)
{
    Start(1);
    shell.menuAnswers = {503};
    dlg->OnTrayNotify(WM_RBUTTONUP);
    HWND hwnd = dlg->GetSafeHwnd();
    dlg->DestroyWindow();
    EXPECT_EQ(1, shell.monitorClosed);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(nullptr, dlg->GetSafeHwnd());
    EXPECT_FALSE(dlg->HasMicLine());
    EXPECT_FALSE(dlg->HasClientMonitor());
}
