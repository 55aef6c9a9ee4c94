// The main dialog's core on the message loop in virtual time: the serial port's opening, scan,
// loss and return; the two ways of closing; the start-up load and the first poll; server mode;
// the MIDI broadcast; what the window shows.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "FakeSerialPorts.h"
#include "ScriptedShell.h"
#include "TestEnvironment.h"
#include "app/MicDlg.h"
#include "base/ConsoleInfo.h"
#include "winport/Clock.h"
#include "winport/Profile.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {

class Recorder : public CMicDlgView {
public:
    void BringToFront() override { ++raised; }
    void TitleChanged(const char* title) override { this->title = title; }
    int raised = 0;
    std::string title;
};

// Objects on the server that only note their making.
class RecordingServerLink : public ServerLink {
public:
    std::unique_ptr<ServerObject> CreateMicLine(HWND owner) override
    {
        micLineOwner = owner;
        return std::make_unique<ServerObject>();
    }
    std::unique_ptr<ServerObject> CreateClientMonitor(HWND owner, const char* clientName) override
    {
        monitorOwner = owner;
        this->clientName = clientName;
        return std::make_unique<ServerObject>();
    }
    HWND micLineOwner = nullptr;
    HWND monitorOwner = nullptr;
    std::string clientName;
};

class MicDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        winport::SetProfileName("micUlvo.ini");
        CConsoleInfo::ResetForTesting();
    }
    void TearDown() override
    {
        dlg.reset();
        CConsoleInfo::ResetForTesting();
        // A closed dialog leaves its quit message: the next test's loop starts empty.
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    void Setting(const char* key, int value) { winport::WriteProfileInt("Settings", key, value); }
    int SavedSetting(const char* key) { return static_cast<int>(winport::GetProfileInt("Settings", key, -99)); }

    // A dialog on the fake ports, its first frames recorded.
    void Make(std::unique_ptr<StoppedMidiPorts> midi = nullptr)
    {
        dlg = std::make_unique<CMicDlg>(nullptr, &shell);
        dlg->SetView(&view);
        dlg->SetSerialPorts(ports.Factory(), ports.Availability());
        midiPorts = midi ? midi.get() : nullptr;
        if (midi) dlg->SetMidiPorts(std::move(midi));
    }
    void Start(std::unique_ptr<StoppedMidiPorts> midi = nullptr)
    {
        Make(std::move(midi));
        ASSERT_TRUE(dlg->Create());
    }
    void Run(uint64_t ms) { winport::MessageLoop::Current().AdvanceBy(ms); }
    void Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        ASSERT_TRUE(PostMessageA(dlg->GetSafeHwnd(), message, wParam, lParam));
        winport::MessageLoop::Current().RunUntilIdle();
    }

    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    FakeSerialPorts ports;
    ScriptedShell shell;
    Recorder view;
    StoppedMidiPorts* midiPorts = nullptr;
    std::unique_ptr<CMicDlg> dlg;
};

}  // namespace

TEST_F(MicDlgTest, PortOutsideOneToFourTriesPortOneThenTheScan)
{
    Setting("Communication Port", 7);
    ports.Plug(6);
    Start();
    EXPECT_EQ((std::vector<int>{1, 1, 2, 3, 4, 5, 6}), ports.Asked());
    EXPECT_EQ(6, dlg->m_nCommPort);
    EXPECT_EQ(6, dlg->OpenPortNumber());
    EXPECT_FALSE(dlg->m_Link.IsHalfDuplex());
    EXPECT_EQ(0, shell.Count(ShellDialog::PortError));
    // Replies of the open port count, whatever its number; others are refused.
    uint32_t t = dlg->m_Link.Peek().transaction;
    EXPECT_EQ(-1, dlg->WindowProc(WM_PRE_REPLY, 1, static_cast<LPARAM>(t)));
    EXPECT_EQ(0, dlg->WindowProc(WM_PRE_REPLY, 6, static_cast<LPARAM>(t)));
    dlg->SaveSettings();
    EXPECT_EQ(6, SavedSetting("Communication Port"));
}

TEST_F(MicDlgTest, ProfilePortOpensFirstAndPortsOneAndTwoAreHalfDuplex)
{
    Setting("Communication Port", 2);
    ports.Plug(1);
    ports.Plug(2);
    Start();
    EXPECT_EQ((std::vector<int>{2}), ports.Opened());
    EXPECT_TRUE(dlg->m_Link.IsHalfDuplex());
}

TEST_F(MicDlgTest, NoPortAtAllOneDialogAndMinusOneSaved)
{
    Start();
    EXPECT_EQ(255u + 1u, ports.Asked().size());
    EXPECT_EQ(1, shell.Count(ShellDialog::PortError));
    EXPECT_EQ(1, view.raised) << "brought to the front before the dialog";
    EXPECT_EQ(-1, dlg->m_nCommPort);
    Run(10000);  // retried in the background, without a dialog each time
    EXPECT_EQ(1, shell.Count(ShellDialog::PortError));
    EXPECT_GE(ports.Asked().size(), 5u * 256u);
    dlg->SaveSettings();
    EXPECT_EQ(-1, SavedSetting("Communication Port"));
}

TEST_F(MicDlgTest, ProfilePortKeptWhenNothingOpens)
{
    Setting("Communication Port", 3);
    Start();
    EXPECT_EQ(1, shell.Count(ShellDialog::PortError));
    dlg->SaveSettings();
    EXPECT_EQ(3, SavedSetting("Communication Port"));
}

TEST_F(MicDlgTest, LostPortIsRetriedAndReopensWithOneDialogPerOutage)
{
    Setting("Communication Port", 3);
    ports.Plug(3);
    ports.Plug(4);
    Start();
    ASSERT_EQ(3, dlg->OpenPortNumber());
    for (int outage = 1; outage <= 2; ++outage) {
        SCOPED_TRACE(outage);
        ports.Unplug(3);
        ASSERT_TRUE(WaitLinkFailed(dlg->m_Link));
        Run(8000);
        EXPECT_EQ(outage, shell.Count(ShellDialog::PortError));
        EXPECT_EQ(0, dlg->OpenPortNumber()) << "the lost port is waited for, not another";
        ports.Plug(3);
        Run(CMicDlg::kPortRetryMs + 10);
        EXPECT_EQ(3, dlg->OpenPortNumber());
        PreLinkSnapshot s = dlg->m_Link.Peek();
        EXPECT_EQ(kLinkAwaiting, s.inProgress) << "the link polls again";
        EXPECT_EQ(1, s.pendingCommand);
    }
}

TEST_F(MicDlgTest, ReopenAfterTheOperatorChangedThePort)
{
    ports.Plug(1);
    ports.Plug(4);
    Start();
    ASSERT_EQ(1, dlg->OpenPortNumber());
    dlg->m_nCommPort = 4;
    EXPECT_TRUE(dlg->ReopenSerialPort());
    EXPECT_EQ(4, dlg->OpenPortNumber());
    EXPECT_FALSE(dlg->m_Link.IsHalfDuplex());
    dlg->m_nCommPort = 2;  // not there: only closed
    EXPECT_FALSE(dlg->ReopenSerialPort());
    EXPECT_EQ(0, dlg->OpenPortNumber());
    EXPECT_EQ(0, shell.Count(ShellDialog::PortError));
}

TEST_F(MicDlgTest, FirstPollAfterInitialisation)
{
    for (BOOL meters : {FALSE, TRUE}) {
        SCOPED_TRACE(meters);
        ports.Plug(3);
        Setting("Communication Port", 3);
        std::vector<std::vector<BYTE>> frames;
        Make();
        dlg->m_bEnableMeters = meters;
        dlg->SetPortWriter([&](const BYTE* m, int n) {
            frames.emplace_back(m, m + n);
            dlg->m_Link.Sent();
        });
        ASSERT_TRUE(dlg->Create());
        ASSERT_EQ(1u, frames.size());
        EXPECT_EQ((std::vector<BYTE>{0x81, static_cast<BYTE>(meters ? 0x02 : 0x01)}), frames[0]);
        Run(60);
        ASSERT_EQ(2u, frames.size()) << "timer 1 steps on every 60 ms";
        EXPECT_EQ(0x82, frames[1][0]);
        dlg.reset();
    }
}

TEST_F(MicDlgTest, StartupLoadChoice)
{
    CRackSetup good;
    good.SetChannelStatus(0, 0, 0x47);
    std::string goodPath = env.Path("good.mic");
    ASSERT_TRUE(good.SaveSetupFile(goodPath.c_str()));
    struct Case {
        int autoLoad;
        const char* fileName;
        int autoRestore;
        int restoreFile;  // 0 none, 1 a good one, 2 one that is not a setup file
        const char* box;  // nullptr: none
        const char* title;
        int status;
    } cases[] = {
        {1, "good.mic", 0, false, nullptr, "Remote Mic Control   (good.mic)", 0x47},
        {1, "good.mic", 1, true, nullptr, "Remote Mic Control   (good.mic)", 0x47},
        {1, "missing.mic", 0, false, "Failed to load last Setup file. Please select a Setup file.", nullptr, 3},
        {1, "", 1, true, nullptr, "Remote Mic Control", 0x46},
        {0, "good.mic", 1, false, nullptr, nullptr, 3},
        {0, "good.mic", 1, true, nullptr, "Remote Mic Control", 0x46},
        {0, "good.mic", 1, 2, "Failed to load auto restore file. Please select a Setup file.", nullptr, 3},
        {0, "good.mic", 0, true, nullptr, nullptr, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fileName) + " load " + std::to_string(c.autoLoad) + " restore " +
                     std::to_string(c.autoRestore));
        std::filesystem::remove(winport::HostPath(CMicDlg::GetRestoreFilePath()));
        if (c.restoreFile == 2) {
            std::ofstream(winport::HostPath(CMicDlg::GetRestoreFilePath())) << "x";
        } else if (c.restoreFile) {
            CRackSetup restore;
            restore.SetChannelStatus(0, 0, 0x46);
            ASSERT_TRUE(restore.SaveSetupFile(CMicDlg::GetRestoreFilePath()));
        }
        Setting("Auto Load", c.autoLoad);
        Setting("Auto Restore", c.autoRestore);
        winport::WriteProfileString("Settings", "FileName", *c.fileName ? env.Path(c.fileName).c_str() : "");
        shell.boxes.clear();
        shell.requests.clear();
        view.title.clear();
        Start();
        if (c.box) {
            ASSERT_EQ(1u, shell.boxes.size());
            EXPECT_EQ(c.box, shell.boxes[0].text);
            EXPECT_EQ(1u, shell.requests.size()) << "the operator is asked for a file";
        } else {
            EXPECT_TRUE(shell.boxes.empty());
        }
        EXPECT_EQ(c.title ? c.title : "", view.title);
        EXPECT_EQ(c.status, dlg->m_RackSetup.GetChannelStatus(0, 0));
        dlg.reset();
    }
}

TEST_F(MicDlgTest, ExitAsksAndSavesAndRefusesDuringALinkTest)
{
    Setting("Communication Port", 3);
    ports.Plug(3);
    Start();
    dlg->SetTestMode(1);
    Post(WM_COMMAND, kIdExit);
    EXPECT_EQ(0, shell.Count(ShellDialog::ConfirmClose)) << "nothing while a link test runs";
    dlg->SetTestMode(0);

    shell.dialogAnswers = {IDCANCEL};
    Post(WM_COMMAND, kIdExit);
    EXPECT_EQ(1, shell.Count(ShellDialog::ConfirmClose));
    EXPECT_FALSE(dlg->IsEnded());

    Post(WM_COMMAND, kIdExit);
    EXPECT_EQ(2, shell.Count(ShellDialog::ConfirmClose));
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(IDOK, dlg->GetModalResult());
    EXPECT_EQ(3, SavedSetting("Communication Port"));
    EXPECT_TRUE(std::filesystem::exists(winport::HostPath(CMicDlg::GetRestoreFilePath())));
}

TEST_F(MicDlgTest, ExitWithMidiRefusingToStopKeepsTheLinkRunning)
{
    Setting("Communication Port", 3);
    ports.Plug(3);
    auto midi = std::make_unique<StoppedMidiPorts>();
    midi->SetRunning(true);
    midi->SetRefuseStop(true);
    Start(std::move(midi));
    dlg->SetMidiRunning(TRUE);
    Post(WM_COMMAND, kIdExit);
    EXPECT_EQ(1, shell.Count(ShellDialog::ConfirmClose));
    EXPECT_FALSE(dlg->IsEnded());
    EXPECT_TRUE(dlg->m_bMidiRunning);
    EXPECT_EQ(-99, SavedSetting("Auto Restore")) << "nothing saved";
    uint32_t before = dlg->m_Link.Peek().transaction;
    Run(600);
    EXPECT_GE(dlg->m_Link.Peek().transaction, before + 9) << "timer 1 still steps the link";

    midiPorts->SetRefuseStop(false);
    Post(WM_COMMAND, kIdExit);
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_FALSE(midiPorts->IsRunning());
    EXPECT_EQ(kTrayIdle, shell.trayImage);
}

TEST_F(MicDlgTest, CloseRequestSavesAndClosesWithoutAsking)
{
    Setting("Communication Port", 3);
    ports.Plug(3);
    Start();
    dlg->m_RackSetup.SetChannelStatus(4, 1, 0x4A);
    Post(WM_CLOSE_REQUEST);
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(IDOK, dlg->GetModalResult());
    EXPECT_TRUE(shell.dialogs.empty());
    EXPECT_EQ(3, SavedSetting("Communication Port"));
    CRackSetup saved;
    ASSERT_TRUE(saved.LoadSetupFile(1, CMicDlg::GetRestoreFilePath(), -1));
    EXPECT_EQ(0x4A, saved.GetChannelStatus(4, 1));
}

TEST_F(MicDlgTest, ServerModeDecision)
{
    const char kMain[] = "Software\\Vok Dwen Cantle\\Main";
    struct Case {
        int consoleType;
        int registry;  // -1: no value
        int profile;   // -1: no value
        bool file;
        bool on;
    } cases[] = {
        {6, 1, -1, true, true},   {6, 1, -1, false, false}, {3, 1, -1, true, false}, {6, 0, 1, true, false},
        {6, -1, 1, true, true},   {6, -1, 0, true, false},  {6, -1, -1, true, false}, {6, 2, -1, true, false},
    };
    std::string program = winport::HostPath(kServerProgramFile);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.consoleType) + " " + std::to_string(c.registry) + " " +
                     std::to_string(c.profile) + " " + std::to_string(c.file));
        CConsoleInfo::ResetForTesting();
        CLocalMachineRegistryObject machine(CString{});
        ASSERT_TRUE(machine.SetInt(kMain, "CantleConsoleType", c.consoleType));
        CCurrentUserRegistryObject user;
        user.DeleteValue(kServerModeKey, kServerModeValue);
        if (c.registry != -1) {
            ASSERT_TRUE(user.SetInt(kServerModeKey, kServerModeValue, c.registry));
        }
        winport::WriteProfileString("Settings", kServerModeValue, nullptr);
        if (c.profile != -1) Setting(kServerModeValue, c.profile);
        std::filesystem::remove(program);
        if (c.file) {
            ASSERT_TRUE(winport::EnsureParentDir(program));
            std::ofstream(program) << "x";
        }
        ServerModeDecision d = DecideServerMode();
        EXPECT_EQ(c.on, d.useWithCantle != 0);
        EXPECT_EQ(c.on, d.cantlePresent != 0);
    }
}

TEST_F(MicDlgTest, ServerModeAttachesBothObjectsAndObeysTheCloseRequest)
{
    Setting("Communication Port", 3);
    ports.Plug(3);
    RecordingServerLink link;
    Make();
    dlg->SetServerMode({1, 1});
    dlg->SetServerLink(&link);
    ASSERT_TRUE(dlg->Create());
    EXPECT_TRUE(dlg->HasMicLine());
    EXPECT_TRUE(dlg->HasClientMonitor());
    EXPECT_EQ(dlg->GetSafeHwnd(), link.micLineOwner);
    EXPECT_EQ(dlg->GetSafeHwnd(), link.monitorOwner);
    EXPECT_EQ("mic", link.clientName);
    EXPECT_TRUE(dlg->Snapshot().serverControls);
    // The client monitor's request code 1.
    Post(WM_CLOSE_REQUEST);
    EXPECT_TRUE(dlg->IsEnded());
    EXPECT_EQ(3, SavedSetting("Communication Port"));
}

TEST_F(MicDlgTest, OutsideServerModeNoServerObjects)
{
    RecordingServerLink link;
    Make();
    dlg->SetServerLink(&link);
    ASSERT_TRUE(dlg->Create());
    EXPECT_FALSE(dlg->HasMicLine());
    EXPECT_FALSE(dlg->HasClientMonitor());
    EXPECT_FALSE(dlg->Snapshot().serverControls);
}

TEST_F(MicDlgTest, BroadcastSetupSendsWhatTheChannelsShow)
{
    auto midi = std::make_unique<StoppedMidiPorts>();
    midi->SetRunning(true);
    Start(std::move(midi));
    // Rack 2 tied to pair 4, part A (port 1, MIDI channel 6); no other rack is tied.
    dlg->m_RackSetup.SetChannelMapping(4, 1, 6);
    dlg->m_RackSetup.ClearMidiSlot(2, 0, 8);
    // Channel 4 on the mic input with Phant and Pad, gain item 9; the rest as reset.
    dlg->m_RackSetup.SetChannelMode(2, 3, 1);
    dlg->m_RackSetup.SetChannelStatus(2, 3, 0x40 | 0x10 | 3);
    dlg->m_RackSetup.SetLineStatus(2, 3, 9 - 1);
    ASSERT_TRUE(dlg->IsSwitchShown(2, 3, CMicDlg::kSwitchPhant));
    ASSERT_EQ(dlg->GainItem(2, 3), 9);
    dlg->BroadcastSetup(FALSE);
    ASSERT_EQ(4u * 4u, midiPorts->ToPorts().size());
    std::vector<std::vector<BYTE>> channel4;
    for (const auto& m : midiPorts->ToPorts()) {
        EXPECT_EQ(m.port, 1);
        if ((m.bytes[1] >> 4) == 3) channel4.push_back(m.bytes);
    }
    const std::vector<std::vector<BYTE>> expected = {
        {0xB6, 0x34, 127}, {0xB6, 0x35, 0}, {0xB6, 0x32, 127}, {0xB6, 0x39, static_cast<BYTE>(CMicDlg::GainToMidiValue(9))}};
    EXPECT_EQ(expected, channel4);

    // Only the racks whose unit answers.
    midiPorts->Reset();
    dlg->BroadcastSetup(TRUE);
    EXPECT_TRUE(midiPorts->ToPorts().empty());
    dlg->m_RackSetup.SetRackFlag(2, TRUE);
    dlg->BroadcastSetup(TRUE);
    EXPECT_EQ(16u, midiPorts->ToPorts().size());

    // A preset loaded while MIDI runs is broadcast.
    CRackSetup preset;
    preset.SetChannelMapping(4, 1, 6);
    preset.ClearMidiSlot(2, 0, 8);
    std::string path = env.Path("preset.mic");
    ASSERT_TRUE(preset.SaveSetupFile(path.c_str()));
    midiPorts->Reset();
    shell.paths = {path};
    dlg->OnLoadPreset();
    EXPECT_FALSE(midiPorts->ToPorts().empty());
}

TEST_F(MicDlgTest, SnapshotShowsTheRackOnShow)
{
    ports.Plug(1);
    Start();
    CRackSetup& r = dlg->m_RackSetup;
    r.SetCurrentRack(5);
    r.SetRackFlag(5, TRUE);
    r.SetRackFlag(9, TRUE);
    r.SetChannelMode(5, 0, 1);                // mic input
    r.SetChannelStatus(5, 0, 0x40 | 0x10 | 3);  // Phant, Pad
    r.SetLineStatus(5, 0, 0x80 | 0x10 | 9);   // Ins, Phase, mic gain step 6
    r.SetChannelStatus(5, 1, 0x40 | 0x20 | 7);  // line input: Phant is not shown there
    r.SetLineStatus(5, 1, 0x20);
    r.SetChannelMicLine(5, 2, 23);
    r.SetLabel(5, 3, "Vocal");
    MicDlgSnapshot s = dlg->Snapshot();
    EXPECT_EQ(252, s.rackPicture);
    EXPECT_EQ(kRackSelectedResponding, s.rackButtons[5]);
    EXPECT_EQ(kRackResponding, s.rackButtons[9]);
    EXPECT_EQ(kRackIdle, s.rackButtons[0]);
    const ChannelSnapshot& mic = s.channels[0];
    EXPECT_TRUE(mic.dir && mic.phant && mic.pad && mic.phase && mic.ins && !mic.lowz);
    EXPECT_EQ(10, mic.gainItem);
    EXPECT_EQ(10, mic.readout);
    EXPECT_TRUE(mic.gainLabelMicSet);
    EXPECT_EQ(9, mic.gainLabel);
    const ChannelSnapshot& line = s.channels[1];
    EXPECT_TRUE(!line.dir && !line.phant && !line.pad && line.phase && line.ins);
    EXPECT_EQ(4, line.gainItem);
    EXPECT_EQ(4, line.readout);
    EXPECT_EQ(7, line.gainLabel);
    EXPECT_EQ(3, s.channels[2].digit) << "a unit responds and the channel has no entry: its number";
    EXPECT_FALSE(s.channels[2].digitMicLineSet);
    EXPECT_EQ(CString("Vocal"), s.channels[3].label);
    EXPECT_EQ(CString("S&etup"), s.setup.text);
    r.SetRackFlag(5, FALSE);
    r.SetRackFlag(9, FALSE);
    s = dlg->Snapshot();
    EXPECT_EQ(kRackSelected, s.rackButtons[5]);
    EXPECT_EQ(-1, s.channels[0].readout) << "blank when the rack does not respond";
    EXPECT_EQ(3, s.channels[2].digit) << "no unit responds: the mic line's last digit";
    EXPECT_TRUE(s.channels[2].digitMicLineSet);
}

TEST_F(MicDlgTest, MessagesWithoutSenderAndTheTimers)
{
    ports.Plug(1);
    Start();
    for (UINT m : {WM_USER + 2, WM_USER + 12, WM_USER + 13}) EXPECT_EQ(0, dlg->WindowProc(m, 1, 2));
    EXPECT_EQ(CMicDlg::kIconId, static_cast<int>(dlg->WindowProc(WM_QUERYDRAGICON, 0, 0)));
    dlg->WindowProc(WM_SYSCOMMAND, kSysCommandAbout | 0x3, 0);
    EXPECT_EQ(1, shell.Count(ShellDialog::About));
    EXPECT_EQ("Midi Control", shell.trayTip);
    dlg->m_bMidiMonitorOpen = TRUE;
    EXPECT_EQ(0, dlg->WindowProc(WM_MIDI_MONITOR_GONE, 0, 0));
    EXPECT_FALSE(dlg->m_bMidiMonitorOpen);
    // Timers 3 and 4.
    dlg->m_bReadoutOpen = TRUE;
    dlg->m_bReadoutReady = TRUE;
    dlg->m_bMicLineNumbering = TRUE;
    SetTimer(dlg->GetSafeHwnd(), 3, 2500, nullptr);
    SetTimer(dlg->GetSafeHwnd(), 4, 2000, nullptr);
    Run(2000);
    EXPECT_FALSE(dlg->m_bMicLineNumbering);
    EXPECT_TRUE(dlg->m_bReadoutOpen);
    Run(500);
    EXPECT_FALSE(dlg->m_bReadoutOpen);
}
