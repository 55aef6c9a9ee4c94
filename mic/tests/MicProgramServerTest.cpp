// The mic program in a process of its own, in server mode against the server simulator: a
// close request (SIGTERM) while the server answers busy or booting at start-up closes it with
// its settings saved; a server killed under it brings the error box, the event-log entry and
// exit code -1; a record the server pushes a second after start reaches the unit, and the
// auto-restore file does not take its place when the unit comes back.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "KivServerFixture.h"
#include "ServerModeFixture.h"
#include "app/MicDlg.h"
#include "app/ServerLink.h"
#include "base/RackSetup.h"
#include "winport/Paths.h"
#include "winport/Profile.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {

using Clock = std::chrono::steady_clock;

int elapsedMs(Clock::time_point since)
{
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

class MicProgramServer : public KivServerTest {
protected:
    void SetUp() override
    {
        // Server mode; no serial port unless a test gives one.
        ASSERT_TRUE(MakeServerModeMachine());
        const std::string nowhere = env.Path("no-such-port");
        for (int n = 1; n <= 255; ++n) ::setenv(("WINPORT_COM" + std::to_string(n)).c_str(), nowhere.c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        profile = winport::ProfilePath("micUlvo.ini");
    }

    bool StartMic()
    {
        mic = std::make_unique<ChildProcess>();
        return mic->Start({std::string(CONSOLE_BINARY_DIR) + "/mic/mic"});
    }

    /// The next line of mic's output that starts with prefix (others are skipped).
    bool MicSays(const std::string& prefix, int timeoutMs, std::string* said = nullptr)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string line;
        for (;;) {
            const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            if (left <= 0 || !mic->ReadLine(line, left)) return false;
            if (line.rfind(prefix, 0) == 0) {
                if (said) *said = line;
                return true;
            }
        }
    }

    /// Waits (bounded) until the server's record holds a line with every one of the words.
    bool ServerRecorded(const std::vector<std::string>& words, size_t count = 1)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(15);
        while (Clock::now() < deadline) {
            size_t found = 0;
            for (const std::string& r : sim->Records("")) {
                bool all = true;
                for (const std::string& w : words) all = all && r.find(w) != std::string::npos;
                found += all ? 1 : 0;
            }
            if (found >= count) return true;
            ::usleep(10000);
        }
        return false;
    }

    bool SettingsSaved()
    {
        return GetPrivateProfileIntA("Settings", "Auto Restore", -5, profile.c_str()) == 1 &&
               static_cast<int>(GetPrivateProfileIntA("Settings", "Communication Port", -5, profile.c_str())) == -1 &&
               std::filesystem::exists(winport::HostPath(CMicDlg::GetRestoreFilePath()));
    }

    std::string profile;
    std::unique_ptr<ChildProcess> mic;
};

}  // namespace

// The server answers every subscription busy, or booting, for ever: the program waits on it
// before its window runs. A SIGTERM, or a WM_CLOSE from another program (this test), ends the
// wait and closes the program as the server's close request does, settings and auto-restore
// file saved, within two seconds.
TEST_F(MicProgramServer, ACloseRequestEndsTheWaitOnABusyOrBootingServer)
{
    struct Case {
        const char* script;
        bool byMessage;
    };
    for (const Case& c : {Case{"busy 1000000 dadvise", false}, Case{"bootcount 1000000", false},
                          Case{"busy 1000000 dadvise", true}}) {
        SCOPED_TRACE(std::string(c.script) + (c.byMessage ? ", WM_CLOSE" : ", SIGTERM"));
        std::filesystem::remove(env.Path("record.txt"));
        KivServerSim& server = StartServer();
        ASSERT_EQ("ok", server.Control(c.script));
        std::filesystem::remove(profile);
        std::filesystem::remove(winport::HostPath(CMicDlg::GetRestoreFilePath()));
        ASSERT_TRUE(StartMic());
        // The mic line's attach has come: its subscription is what waits now.
        ASSERT_TRUE(ServerRecorded({"block ", "cmd=276"}));
        EXPECT_NE(std::string::npos, server.Control("status").find("advised=0"));
        EXPECT_EQ(-1, mic->Wait(0)) << "still waiting on the server";
        const auto asked = Clock::now();
        if (c.byMessage) {
            HWND window = FindWindowA(CMicDlg::kWindowClass, nullptr);
            ASSERT_NE(nullptr, window);
            ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
        } else {
            mic->Signal(SIGTERM);
        }
        EXPECT_EQ(0, mic->Wait(2000));
        EXPECT_LT(elapsedMs(asked), 2000);
        EXPECT_TRUE(SettingsSaved());
        EXPECT_EQ("", log->receive(100)) << "no event-log error";
        sim.reset();
    }
}

// The server is killed under a running program: the box "KIVServer is no longer responding !"
// is asked for within a second; once it is answered (here by a close request, which answers
// every box) the event-log error follows and the program ends with exit code -1.
TEST_F(MicProgramServer, ServerKilledBringsTheBoxTheEventLogErrorAndExitMinusOne)
{
    KivServerSim& server = StartServer();
    ASSERT_TRUE(StartMic());
    ASSERT_TRUE(MicSays("running", 20000));
    ASSERT_TRUE(ServerRecorded({"advise object=", " kind="}, 2)) << "the mic line and the client monitor subscribed";

    const auto killed = Clock::now();
    server.Kill();
    std::string box;
    ASSERT_TRUE(MicSays("box ", 5000, &box));
    EXPECT_LT(elapsedMs(killed), 1000);
    EXPECT_EQ("box Severe Error: KIVServer is no longer responding !", box);

    const auto answered = Clock::now();
    mic->Signal(SIGTERM);
    const std::string entry = log->receive(2000);
    EXPECT_NE(std::string::npos, entry.find("KIVSERVER stopped responding after attaching to")) << entry;
    EXPECT_EQ(255, mic->Wait(2000)) << "exit code -1";
    EXPECT_LT(elapsedMs(answered), 1000);
    EXPECT_FALSE(MicSays("box ", 200)) << "one box, however many objects heard it";
}

// A record pushed a second after the mic line attached, while the unit is still coming up:
// it reaches the unit, and when the unit comes back the auto-restore file (which has these
// channels at their defaults) does not take the server's values away, on the unit or in the
// restore file the program saves at its close.
TEST_F(MicProgramServer, ARecordPushedAfterStartReachesTheUnitAndTheRestoreFileDoesNotOverwriteIt)
{
    ChildProcess units;
    const std::string link = env.Path("com1");
    ASSERT_TRUE(units.Start({std::string(CONSOLE_BINARY_DIR) + "/tools/pre-sim/pre-sim", "--commands", "--units", "1", "--link", link},
                            /*withInput=*/true));
    std::string line;
    ASSERT_TRUE(units.ReadLine(line, 5000) && line.rfind("pty ", 0) == 0) << line;
    ::setenv("WINPORT_COM1", link.c_str(), 1);
    winport::SetProfileName("micUlvo.ini");
    winport::WriteProfileInt("Settings", "Communication Port", 1);

    // Rack 1: channel 1 on its mic input follows mic line 1, channel 2 on its line input
    // follows mic line 2; all switches off, gain step 3.
    CRackSetup restore;
    restore.SetChannelMode(0, 0, 1);
    restore.SetChannelMicLine(0, 0, 1);
    restore.SetChannelMode(0, 1, 0);
    restore.SetChannelMicLine(0, 1, 2);
    ASSERT_TRUE(restore.SaveSetupFile(CMicDlg::GetRestoreFilePath()));

    // Line 1: Phant and Pad on; line 2: gain step 10; every other line at rest.
    std::string body;
    for (int i = 0; i < 120; ++i) body += i == 0 ? "00010300" : i == 1 ? "01000a00" : "01000300";
    KivServerSim& server = StartServer();
    ASSERT_EQ("ok", server.Control("on 276 push 496 " + body + " after 1000"));
    ASSERT_TRUE(StartMic());
    ASSERT_TRUE(MicSays("running", 20000));

    // The unit's messages as pre-sim reports them: the last switch byte of channel 1's mic
    // input and of channel 2's line input.
    int micSwitch = -1, lineSwitch = -1;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while ((micSwitch < 0 || (micSwitch & 0x50) != 0x50 || lineSwitch < 0 || (lineSwitch & 0x0F) != 0x0A) &&
           Clock::now() < deadline) {
        if (!units.ReadLine(line, 1000)) continue;
        std::istringstream in(line);
        std::string word, ms, arrow;
        int unit = -1;
        unsigned address = 0, command = 0, channel = 0, data = 0;
        if (!(in >> word >> ms >> unit >> std::hex >> address >> command >> channel >> data) || word != "frame") continue;
        if (unit != 0) continue;
        if (command == 0x11 && channel == 0) micSwitch = static_cast<int>(data);
        if (command == 0x41 && channel == 1) lineSwitch = static_cast<int>(data);
    }
    EXPECT_EQ(0x50, micSwitch & 0x50) << "Phant and Pad of line 1 reached the unit";
    EXPECT_EQ(0x0A, lineSwitch & 0x0F) << "the gain of line 2 reached the unit";
    EXPECT_TRUE(ServerRecorded({"push ", "size=496"}));

    mic->Signal(SIGTERM);
    ASSERT_EQ(0, mic->Wait(5000));
    units.Send("state 0");
    std::string state;
    while (units.ReadLine(line, 5000)) {
        if (line.rfind("state 0 ", 0) == 0) {
            state = line;
            break;
        }
    }
    unsigned mic0 = 0, line1 = 0;
    const size_t micAt = state.find("mic="), lineAt = state.find("line=");
    ASSERT_TRUE(micAt != std::string::npos && lineAt != std::string::npos) << state;
    std::sscanf(state.c_str() + micAt, "mic=%x", &mic0);
    std::sscanf(state.c_str() + lineAt, "line=%*x %x", &line1);
    EXPECT_EQ(0x50u, mic0 & 0x50) << state;
    EXPECT_EQ(0x0Au, line1 & 0x0F) << state;

    CRackSetup saved;
    const int version = CRackSetup::GetSetupFileVersion(CMicDlg::GetRestoreFilePath());
    ASSERT_TRUE(saved.LoadSetupFile(version, CMicDlg::GetRestoreFilePath(), -1));
    EXPECT_EQ(0x50, saved.GetChannelStatus(0, 0) & 0x50);
    EXPECT_EQ(10, saved.GetChannelStatus(0, 1) & 0x0F);
}
