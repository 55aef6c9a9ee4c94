// The set-up and test dialog's core in virtual time: what each control posts to the main
// dialog, the port list, the start-up options, the Test buttons, the server-link box and the
// MIDI buttons.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <utility>
#include <vector>

#include "ScriptedShell.h"
#include "TestEnvironment.h"
#include "app/Diagnostics.h"
#include "base/ConsoleInfo.h"
#include "base/MicMessages.h"
#include "ui/ThemeHelper.h"
#include "winport/Clock.h"
#include "winport/Paths.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {

const char* const kMain = "Software\\Vok Dwen Cantle\\Main";

class DiagnosticsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CDiagnostics::ResetOptionCopies();
        CConsoleInfo::ResetForTesting();
        owner = winport::CreateMessageWindow("MainDialogStandIn", [this](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_SETTINGS_COMMAND) posted.emplace_back(static_cast<int>(static_cast<INT_PTR>(w)), static_cast<int>(l));
            return 0;
        }, {nullptr, false});
    }
    void TearDown() override
    {
        dlg.reset();
        DestroyWindow(owner);
        CConsoleInfo::ResetForTesting();
        CDiagnostics::ResetOptionCopies();
    }

    // A dialog with ports COM2 and COM5 present, open.
    void Open(SetupDialogPreset preset = {}, std::set<int> present = {2, 5})
    {
        if (!preset.portAvailable)
            preset.portAvailable = [this, present](int port) -> BOOL {
                probed.push_back(port);
                return present.count(port) ? TRUE : FALSE;
            };
        preset.midiRunning = [this]() -> BOOL { return midiRunning; };
        dlg = std::make_unique<CDiagnostics>(owner, &shell);
        dlg->Preset(preset);
        ASSERT_TRUE(dlg->OnInitDialog());
    }
    std::vector<std::pair<int, int>> Take()
    {
        winport::MessageLoop::Current().RunUntilIdle();
        return std::exchange(posted, {});
    }
    void Run(uint64_t ms) { winport::MessageLoop::Current().AdvanceBy(ms); }

    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    ScriptedShell shell;
    HWND owner = nullptr;
    std::unique_ptr<CDiagnostics> dlg;
    std::vector<std::pair<int, int>> posted;  // (value, sub-command)
    std::vector<int> probed;
    bool midiRunning = false;
};

using Posts = std::vector<std::pair<int, int>>;

}  // namespace

TEST_F(DiagnosticsTest, EveryControlPostsItsSettingsCommand)
{
    SetupDialogPreset preset;
    preset.versions[3] = "V2.01     ";
    Open(preset);
    struct Row { const char* name; std::function<void()> act; Posts expected; };
    const Row rows[] = {
        {"Test rack 4", [&] { dlg->OnTest(3); }, {{3, 0}}},
        {"Reset All Racks", [&] { dlg->OnResetAll(); }, {{-1, 2}}},
        {"Reset Current Rack", [&] { dlg->OnResetCurrent(); }, {{0, 2}}},
        {"debug file on", [&] { dlg->OnDebugFile(TRUE); }, {{1, 3}}},
        {"debug file off", [&] { dlg->OnDebugFile(FALSE); }, {{0, 3}}},
        {"COM5", [&] { dlg->OnPortSelected(2); }, {{5, 4}}},
        {"Disabled", [&] { dlg->OnPortSelected(0); }, {{-1, 4}}},
        {"no such item", [&] { dlg->OnPortSelected(3); }, {}},
        {"auto load on", [&] { dlg->OnAutoLoad(TRUE); }, {{1, 6}}},
        {"auto restore on", [&] { dlg->OnAutoRestore(TRUE); }, {{1, 7}}},
        {"auto restore off", [&] { dlg->OnAutoRestore(FALSE); }, {{0, 7}}},
        {"mini view on top", [&] { dlg->OnMiniOnTop(TRUE); }, {{1, 8}}},
        {"mini view not on top", [&] { dlg->OnMiniOnTop(FALSE); }, {{0, 8}}},
        {"MIDI dialogs post nothing", [&] { dlg->OnMidiRackSetup(); shell.closeMidiDialog(); }, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        r.act();
        EXPECT_EQ(Take(), r.expected);
    }
}

TEST_F(DiagnosticsTest, PortListFromTheProbe)
{
    struct Row { const char* name; std::set<int> present; int preset; std::vector<std::string> items; int selected; };
    const Row rows[] = {
        {"no port", {}, 1, {"Disabled"}, 0},
        {"preset present", {2, 5, 255}, 5, {"Disabled", "COM2", "COM5", "COM255"}, 2},
        {"preset absent", {2, 5}, 7, {"Disabled", "COM2", "COM5"}, 0},
        {"disabled", {2}, -1, {"Disabled", "COM2"}, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        probed.clear();
        SetupDialogPreset preset;
        preset.commPort = r.preset;
        Open(preset, r.present);
        std::vector<std::string> items;
        for (const auto& item : dlg->GetPorts()) items.push_back(item.text.c_str());
        EXPECT_EQ(items, r.items);
        EXPECT_EQ(dlg->GetSelectedPortIndex(), r.selected);
        ASSERT_EQ(probed.size(), 255u);  // ports 1 to 255, the ones the main dialog can open
        EXPECT_EQ(probed.front(), 1);
        EXPECT_EQ(probed.back(), 255);
    }
}

TEST_F(DiagnosticsTest, AutoLoadAndAutoRestoreExcludeEachOther)
{
    SetupDialogPreset preset;
    preset.autoRestore = TRUE;
    Open(preset);
    EXPECT_TRUE(dlg->GetCheck(CDiagnostics::kIdAutoRestore));
    dlg->OnAutoLoad(TRUE);
    EXPECT_TRUE(dlg->GetCheck(CDiagnostics::kIdAutoLoad));
    EXPECT_FALSE(dlg->GetCheck(CDiagnostics::kIdAutoRestore));
    dlg->OnAutoRestore(TRUE);
    EXPECT_FALSE(dlg->GetCheck(CDiagnostics::kIdAutoLoad));
    EXPECT_TRUE(dlg->GetCheck(CDiagnostics::kIdAutoRestore));
    dlg->OnAutoRestore(FALSE);
    EXPECT_FALSE(dlg->GetCheck(CDiagnostics::kIdAutoLoad));
    EXPECT_FALSE(dlg->GetCheck(CDiagnostics::kIdAutoRestore));
    EXPECT_EQ(Take(), (Posts{{1, 6}, {1, 7}, {0, 7}}));

    // The next dialog of the run starts from the options as this one left them.
    CDiagnostics next(owner, &shell);
    EXPECT_FALSE(next.GetCheck(CDiagnostics::kIdAutoLoad));
    EXPECT_FALSE(next.GetCheck(CDiagnostics::kIdIntegrate));
}

TEST_F(DiagnosticsTest, TestButtonsAndUnknownVersions)
{
    SetupDialogPreset preset;
    preset.versions[0] = "";  // no text yet: still tested
    preset.versions[1] = "Version Unknown";
    preset.versions[2] = "Version Unknown!";  // the prefix is enough
    preset.versions[3] = "V1";
    Open(preset);
    for (int rack = 0; rack < 4; ++rack) dlg->OnTest(rack);
    EXPECT_EQ(Take(), (Posts{{0, 0}, {3, 0}}));

    PostMessageA(dlg->GetSafeHwnd(), WM_ENABLE_RACK_TEST, 3, 1);
    Take();
    EXPECT_FALSE(dlg->IsTestEnabled(3));
    dlg->OnTest(3);
    EXPECT_EQ(Take(), Posts{});
    PostMessageA(dlg->GetSafeHwnd(), WM_ENABLE_RACK_TEST, 3, 0);
    Take();
    dlg->OnTest(3);
    EXPECT_EQ(Take(), (Posts{{3, 0}}));
    EXPECT_EQ(dlg->GetVersion(16), CString());
}

TEST_F(DiagnosticsTest, IntegrateNeedsAK7ConsoleAndTheServerProgram)
{
    Open();
    dlg->OnIntegrate(TRUE);  // console type 3 by default
    EXPECT_EQ(Take(), Posts{});
    EXPECT_FALSE(dlg->GetCheck(CDiagnostics::kIdIntegrate));
    ASSERT_EQ(shell.boxes.size(), 1u);
    EXPECT_EQ(shell.boxes[0].text, "This option is only available on K7 Series Consoles");

    CConsoleInfo::ResetForTesting();
    CLocalMachineRegistryObject registry(CString{});
    ASSERT_TRUE(registry.SetInt(kMain, "CantleConsoleType", 6));
    dlg->OnIntegrate(TRUE);  // no server program: left off
    EXPECT_EQ(Take(), (Posts{{0, 5}}));
    EXPECT_FALSE(dlg->GetCheck(CDiagnostics::kIdIntegrate));

    const std::string program = winport::HostPath("c:\\cantle\\KIVServer.exe");
    std::filesystem::create_directories(std::filesystem::path(program).parent_path());
    std::ofstream(program) << "server";
    dlg->OnIntegrate(TRUE);
    EXPECT_EQ(Take(), (Posts{{1, 5}}));
    EXPECT_TRUE(dlg->GetCheck(CDiagnostics::kIdIntegrate));
    dlg->OnIntegrate(FALSE);
    EXPECT_EQ(Take(), (Posts{{0, 5}}));
    EXPECT_EQ(shell.boxes.size(), 1u);
}

TEST_F(DiagnosticsTest, MidiButtonsFollowTheMidiState)
{
    Open();
    EXPECT_FALSE(dlg->AreMidiButtonsShown());
    midiRunning = true;  // started elsewhere: shown within a second
    Run(999);
    EXPECT_FALSE(dlg->AreMidiButtonsShown());
    Run(1);
    EXPECT_TRUE(dlg->AreMidiButtonsShown());
    midiRunning = false;
    Run(1000);
    EXPECT_FALSE(dlg->AreMidiButtonsShown());

    // Started from the port dialog: shown at once when it returns.
    Run(500);
    dlg->OnMidiPortSetup();
    ASSERT_EQ(shell.midiDialogs, std::vector<MidiDialog>{MidiDialog::PortSelection});
    EXPECT_TRUE(dlg->IsMidiDialogOpen());
    midiRunning = true;
    shell.closeMidiDialog();
    EXPECT_TRUE(dlg->AreMidiButtonsShown());
    EXPECT_FALSE(dlg->IsMidiDialogOpen());

    dlg->OnMidiPreSetup();
    shell.closeMidiDialog();
    dlg->OnMidiRackSetup();
    shell.closeMidiDialog();
    EXPECT_EQ(shell.midiDialogs,
              (std::vector<MidiDialog>{MidiDialog::PortSelection, MidiDialog::PreSetup, MidiDialog::RackSetup}));
}

TEST(ThemeHelper, WithoutTheThemeLibraryItIsInactive)
{
    CThemeHelper helper;
    EXPECT_FALSE(helper.IsActive());
    helper.RemoveWindowTheme(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)));  // does nothing
    helper.RemoveWindowTheme(nullptr);
}
