// The main dialog's switches end to end: the dialog on its loop in real time, its serial port on
// a pseudo-terminal, and pre-sim's units in another process behind it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ProgramProcess.h"
#include "RealTimeLoop.h"
#include "ScriptedShell.h"
#include "TestEnvironment.h"
#include "app/MicDlg.h"
#include "link/SerialPort.h"
#include "winport/Profile.h"
#include "winport/Window.h"

TEST(CommandsOverPtyThreads, PhantOnRack2Channel3ReachesUnit2)
{
    PreSimProcess sim({"--units", "3"});
    ASSERT_FALSE(sim.Pty().empty());
    TestEnvironment env;
    PointSerialPortsNowhere(env.Root());
    ::setenv("WINPORT_COM1", sim.Pty().c_str(), 1);
    winport::SetProfileName("micUlvo.ini");
    winport::WriteProfileInt("Settings", "Auto Restore", 0);
    winport::WriteProfileInt("Settings", "Communication Port", 1);

    ScriptedShell shell;
    CMicDlg dlg(nullptr, &shell);
    ASSERT_TRUE(dlg.Create());
    ASSERT_EQ(1, dlg.OpenPortNumber()) << "the dialog opens its own port";
    dlg.m_Link.SetHalfDuplex(false);  // a pseudo-terminal does not echo

    ASSERT_TRUE(RunLoopUntil([&] { return dlg.m_RackSetup.GetRackFlag(2) != FALSE; }, 10000)) << "unit 2 never answered";
    dlg.OnChannelButton(1112 + 2);  // "Rack3"
    ASSERT_EQ(2, dlg.m_RackSetup.GetCurrentRack());
    dlg.OnChannelButton(1131 + 3);  // "Dir4": the mic input, which has Phant
    ASSERT_TRUE(RunLoopUntil([&] { return dlg.IsRingEmpty() != FALSE; }, 5000));
    sim.Send("state 2");
    EXPECT_EQ("state 2 mic=03 03 03 03 line=03 03 03 03 path=03 03 03 23 micline=7F 7F 7F 7F", sim.WaitFor("state 2", 2000));

    dlg.OnChannelButton(1000 + 3);  // "Phant4"
    EXPECT_TRUE(dlg.IsSwitchShown(2, 3, CMicDlg::kSwitchPhant));
    sim.Send("state 2");
    // Unit 2 gets 0x11 for channel 3: gain step 3 with Phant, no mic line, checksum; it answers.
    std::string frame, state;
    for (int i = 0; i < 300 && state.empty(); ++i) {
        RunLoopFor(10);
        for (const std::string& l : sim.Drain(3)) {
            if (frame.empty() && l.find(" 2 83 11 03 43 7F 45 -> 44") != std::string::npos) frame = l;
            if (l.rfind("state 2 ", 0) == 0 && !frame.empty()) state = l;
            if (l.rfind("state 2 ", 0) == 0 && frame.empty()) sim.Send("state 2");  // asked too early
        }
    }
    EXPECT_FALSE(frame.empty()) << "no Phant frame for unit 2";
    EXPECT_EQ("state 2 mic=03 03 03 43 line=03 03 03 03 path=03 03 03 23 micline=7F 7F 7F 7F", state);
    for (const std::string& l : sim.History()) EXPECT_NE(0u, l.rfind("violation", 0)) << l;
    ::unsetenv("WINPORT_COM1");
}
