// The main dialog's link in real time over a pseudo-terminal, against pre-sim in another
// process: units found, lost and found again, meter levels after the ACK, the half-duplex echo,
// and never two messages in flight. Waits are bounded; what is asserted is the order of
// events and counts, not times.
#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <sstream>

#include "ProgramProcess.h"
#include "RealTimeLoop.h"
#include "ScriptedShell.h"
#include "TestEnvironment.h"
#include "app/MicDlg.h"
#include "winport/Profile.h"
#include "winport/Window.h"

namespace {

class LinkPtyThreads : public ::testing::Test {
protected:
    void Start(const std::vector<std::string>& simArgs, int port = 3, bool meters = false)
    {
        PointSerialPortsNowhere(env.Root());
        sim = std::make_unique<PreSimProcess>(simArgs);
        ASSERT_FALSE(sim->Pty().empty());
        ::setenv(("WINPORT_COM" + std::to_string(port)).c_str(), sim->Pty().c_str(), 1);
        winport::SetProfileName("micUlvo.ini");
        winport::WriteProfileInt("Settings", "Communication Port", port);
        winport::WriteProfileInt("Settings", "Auto Restore", 0);
        dlg = std::make_unique<CMicDlg>(nullptr, &shell);
        dlg->m_bEnableMeters = meters ? TRUE : FALSE;
        ASSERT_TRUE(dlg->Create());
        ASSERT_EQ(port, dlg->OpenPortNumber());
    }

    void TearDown() override
    {
        if (sim) {
            EXPECT_EQ(0, Violations()) << "a frame started while a reply was on the line";
        }
        dlg.reset();
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    template <class Condition>
    bool RunUntil(Condition done, int timeoutMs)
    {
        return RunLoopUntil(done, timeoutMs);
    }
    void RunFor(int ms) { RunLoopFor(ms); }

    bool Responding(int unit) const { return dlg->m_RackSetup.GetRackFlag(unit) != 0; }

    // The frames pre-sim has logged so far ("<unit> <bytes>" each, bytes in upper-case hex).
    std::vector<std::string> Frames()
    {
        for (const std::string& line : sim->Drain(20)) {
            if (line.rfind("frame ", 0) != 0) continue;
            std::istringstream in(line.substr(6));
            std::string ms, rest;
            in >> ms;
            std::getline(in, rest);
            frames.push_back(rest.substr(1, rest.find(" ->") - 1));
        }
        return frames;
    }
    int Count(const std::string& framePrefix)
    {
        int n = 0;
        for (const std::string& f : Frames()) n += f.rfind(framePrefix, 0) == 0 ? 1 : 0;
        return n;
    }
    int Violations()
    {
        sim->Send("stats");
        std::string line = sim->WaitFor("stats ", 3000);
        size_t at = line.find("violations=");
        return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + 11);
    }

    TestEnvironment env;
    ScriptedShell shell;
    std::unique_ptr<PreSimProcess> sim;
    std::unique_ptr<CMicDlg> dlg;
    std::vector<std::string> frames;
};

}  // namespace

TEST_F(LinkPtyThreads, TwoUnitsFoundOneDroppedAndRevived)
{
    Start({"--units", "2"});
    ASSERT_TRUE(RunUntil([&] { return Responding(0) && Responding(1); }, 15000));
    EXPECT_EQ(2, dlg->RespondingUnits());
    // Each found unit got its settings: per channel 0x11, 0x41 and 0x13.
    ASSERT_TRUE(RunUntil([&] { return dlg->IsRingEmpty(); }, 5000));
    RunFor(300);
    for (const char* unit : {"0 81", "1 82"}) {
        for (const char* command : {" 11 ", " 41 ", " 13 "}) {
            EXPECT_GE(Count(std::string(unit) + command), 4) << unit << command;
        }
    }
    EXPECT_EQ(0, Count("2 ") - Count("2 83 01")) << "an absent unit is only polled";

    ASSERT_TRUE(sim->Command("drop 1"));
    ASSERT_TRUE(RunUntil([&] { return !Responding(1); }, 10000));
    EXPECT_TRUE(Responding(0));
    EXPECT_EQ(1, dlg->RespondingUnits());

    Frames();
    size_t before = frames.size();
    ASSERT_TRUE(sim->Command("revive 1"));
    ASSERT_TRUE(RunUntil([&] { return Responding(1); }, 15000));
    ASSERT_TRUE(RunUntil([&] { return dlg->IsRingEmpty(); }, 5000));
    RunFor(300);
    Frames();
    int restored = 0;
    for (size_t i = before; i < frames.size(); ++i) restored += frames[i].rfind("1 82 13 ", 0) == 0 ? 1 : 0;
    EXPECT_GE(restored, 4) << "the revived unit gets its settings again";
}

TEST_F(LinkPtyThreads, LevelsAfterFiveAndAfterSixBytes)
{
    Start({"--units", "1", "--levels", "0:10,63,126,100", "--level-bytes", "5"}, 3, /*meters=*/true);
    ASSERT_TRUE(RunUntil([&] { return Responding(0) && dlg->m_nLevelHeight[1] == 63 * 142 / 126; }, 15000));
    EXPECT_EQ(142, dlg->m_nLevelHeight[2]);
    EXPECT_EQ(100 * 142 / 126, dlg->m_nLevelHeight[3]);
    EXPECT_GE(Count("0 81 02"), 5);

    ASSERT_TRUE(sim->Command("level-bytes 6"));
    ASSERT_TRUE(sim->Command("levels 0 10 126 63 20"));
    ASSERT_TRUE(RunUntil([&] { return dlg->m_nLevelHeight[1] == 142; }, 5000));
    EXPECT_EQ(63 * 142 / 126, dlg->m_nLevelHeight[2]);
    EXPECT_EQ(20 * 142 / 126, dlg->m_nLevelHeight[3]);
    EXPECT_TRUE(Responding(0)) << "no poll failed on the way";
}

TEST_F(LinkPtyThreads, HalfDuplexEchoIsNeverTakenForAReply)
{
    Start({"--units", "2", "--echo"}, /*port=*/1);
    EXPECT_TRUE(dlg->m_Link.IsHalfDuplex());
    ASSERT_TRUE(RunUntil([&] { return Responding(0) && Responding(1); }, 15000));
    ASSERT_TRUE(RunUntil([&] { return dlg->IsRingEmpty(); }, 5000));
    // A message whose echo holds an ACK byte, to a unit that has gone silent.
    ASSERT_TRUE(sim->Command("fault 1 silent"));
    dlg->m_RackSetup.SetLineStatus(1, 0, 0x04);
    dlg->m_RackSetup.SetChannelStatus(1, 0, 0x40 | 0x03);
    dlg->SendChannelCommand(1, 0);
    ASSERT_TRUE(RunUntil([&] { return Count("1 82 11 00 44 7F") >= 3; }, 5000));
    RunFor(800);
    EXPECT_EQ(3, Count("1 82 11 00 44 7F")) << "three sendings, none acknowledged by its own echo";
    for (int u = 2; u < 16; ++u) EXPECT_FALSE(Responding(u)) << u;
}
