// MIDI end to end in one process: the main dialog with the program's own port manager on a JACK
// server (dummy driver), midi-sim as the workstation and two MIDI units, pre-sim's units behind
// the dialog's serial port on a pseudo-terminal. Rack 1 is tied to pair 1 (port 1, MIDI channel
// 1) by the setup file the dialog loads at start, written by hand. Every wait is for the event
// itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <poll.h>
#include <string>
#include <vector>

#include "MidiPortLink.h"
#include "MidiSetupFile.h"
#include "MidiSim.h"
#include "ProgramProcess.h"
#include "RealTimeLoop.h"
#include "ScriptedShell.h"
#include "TestEnvironment.h"
#include "app/MicDlg.h"
#include "midi/MidiPortManager.h"
#include "winport/Clock.h"
#include "winport/MessageLoop.h"
#include "winport/Profile.h"
#include "winport/Window.h"

namespace {

// Real time that the test can move on at once: the port manager's detection pass, due 15.1 s
// after MIDI starts, comes when the test asks for it.
class JumpingClock : public winport::Clock {
public:
    uint64_t nowMs() override { return m_real.nowMs() + m_jumped.load(); }
    void sleepMs(uint32_t ms) override { m_real.sleepMs(ms); }
    void Jump(uint64_t ms) { m_jumped += ms; }

private:
    winport::SystemClock m_real;
    std::atomic<uint64_t> m_jumped{0};
};

// Runs the dialog's loop until pre-sim reports a frame holding `bytes` (as it prints them);
// the milliseconds it took, -1 when none came within the time. `applied`, when given, gets the
// milliseconds until it first held.
double runUntilFrame(PreSimProcess& units, const std::string& bytes, int timeoutMs, const std::function<bool()>& applied = {},
                     double* appliedMs = nullptr)
{
    auto& loop = winport::MessageLoop::Current();
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    auto since = [&] { return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count(); };
    while (std::chrono::steady_clock::now() < deadline) {
        loop.RunUntilIdle();
        if (applied && appliedMs && *appliedMs < 0 && applied()) *appliedMs = since();
        for (const std::string& line : units.Drain(0)) {
            if (line.rfind("frame ", 0) == 0 && line.find(" " + bytes + " ->") != std::string::npos) return since();
        }
        const int64_t next = loop.MillisecondsToNextTimer();
        pollfd waits[2] = {{loop.WaitDescriptor(), POLLIN, 0}, {units.OutputDescriptor(), POLLIN, 0}};
        ::poll(waits, 2, next < 0 || next > 50 ? 50 : static_cast<int>(next));
    }
    return -1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

TEST(MidiEndToEndThreads, MidiSimAndPreSimThroughTheDialog)
{
    TestEnvironment env;
    PreSimProcess units({"--units", "2"});
    ASSERT_FALSE(units.Pty().empty());
    PointSerialPortsNowhere(env.Root());
    ::setenv("WINPORT_COM1", units.Pty().c_str(), 1);
    // midi-sim beats as two units, on MIDI channels 3 and 7.
    MidiSimOnJack midi({"--heartbeat", "3", "--heartbeat", "7", "--period", "200"});
    ASSERT_EQ(midi.Failure(), "");
    MidiSim& sim = midi.Sim();
    LinkMidiPort(0, midi.InDevice(), sim.Out(), midi.OutDevice(), sim.In());

    const std::string setup = env.Path("studio.mic");
    ASSERT_EQ(WriteMidiSetup(setup), 2340u);
    winport::SetProfileName("micUlvo.ini");
    winport::WriteProfileInt("Settings", "Communication Port", 1);
    winport::WriteProfileInt("Settings", "Auto Restore", 0);
    winport::WriteProfileInt("Settings", "Auto Load", 1);
    winport::WriteProfileString("Settings", "FileName", setup.c_str());

    JumpingClock clock;
    winport::ScopedClock scoped(clock);
    ScriptedShell shell;
    CMicDlg dlg(nullptr, &shell);
    // MIDI stops before the backend and the servers go, also when the test stops early.
    struct StopMidi {
        CMicDlg& dlg;
        ~StopMidi()
        {
            if (dlg.m_bMidiRunning) dlg.OnTrayCommand(CMicDlg::kTrayStopMidi);
        }
    } stopMidi{dlg};
    ASSERT_TRUE(dlg.Create());
    ASSERT_EQ(1, dlg.OpenPortNumber());
    dlg.m_Link.SetHalfDuplex(false);  // a pseudo-terminal does not echo
    ASSERT_EQ(dlg.m_RackSetup.GetMidiSlot(0, 0), 0) << "the setup file's extension was not loaded";
    ASSERT_EQ(dlg.m_RackSetup.GetChannelMode(0, 0), 1);
    ASSERT_TRUE(RunLoopUntil([&] { return dlg.m_RackSetup.GetRackFlag(0) != FALSE && dlg.IsRingEmpty(); }, 20000))
        << "unit 0 never answered";

    // "&Start MIDI" from the tray's menu: the port announces itself.
    shell.menuAnswers = {CMicDlg::kTrayStartMidi};
    dlg.OnTrayNotify(WM_RBUTTONUP);
    ASSERT_TRUE(dlg.m_bMidiRunning);
    EXPECT_TRUE(sim.Receives("B0 0F 1B"));
    EXPECT_TRUE(sim.Receives("B0 2F 47"));

    // Phant of rack 1, channel 1 from midi-sim reaches unit 0 as its channel frame (mic input,
    // gain step 0, Phant on, no mic line). The same road is timed, Phant off and on again.
    ASSERT_TRUE(sim.Process().Send("cc 0 4 127"));
    ASSERT_GE(runUntilFrame(units, "81 11 00 43 7F 42", 20000), 0) << "no Phant frame for unit 0";
    EXPECT_TRUE(dlg.IsSwitchShown(0, 0, CMicDlg::kSwitchPhant));
    // The controls come at every point of the link's cycle (a poll of an absent unit waits for
    // timer 1).
    std::vector<double> toDialog, toFrame;
    for (int i = 0; i < 20; ++i) {
        RunLoopFor(i * 13 % 67);
        const bool on = i % 2 == 1;
        ASSERT_TRUE(sim.Process().Send(on ? "cc 0 4 127" : "cc 0 4 0"));
        double applied = -1;
        const double ms = runUntilFrame(
            units, on ? "81 11 00 43 7F 42" : "81 11 00 03 7F 02", 20000,
            [&] { return (dlg.IsSwitchShown(0, 0, CMicDlg::kSwitchPhant) != FALSE) == on; }, &applied);
        ASSERT_GE(ms, 0) << "no frame for control " << i;
        toDialog.push_back(applied);
        toFrame.push_back(ms);
    }
    std::printf("midi-sim's control change: applied by the dialog after %.1f ms (median; max %.1f), on the pty after "
                "%.1f ms (median; max %.1f); timer 1: 60 ms after a poll, 200 ms after a command\n",
                median(toDialog), *std::max_element(toDialog.begin(), toDialog.end()), median(toFrame),
                *std::max_element(toFrame.begin(), toFrame.end()));
    ::testing::Test::RecordProperty("control_to_dialog_median_us", static_cast<int>(median(toDialog) * 1000));
    ::testing::Test::RecordProperty("control_to_frame_median_us", static_cast<int>(median(toFrame) * 1000));

    // A Phase click on rack 1, channel 1 reaches midi-sim.
    dlg.ToggleSwitchAndSend(0, CMicDlg::kSwitchPhase);
    EXPECT_TRUE(sim.Receives("B0 05 7F"));
    // The fourth ping and a heartbeat are answered.
    ASSERT_TRUE(sim.Process().Send("ping 4"));
    EXPECT_TRUE(sim.Receives("90 00 7F"));
    ASSERT_TRUE(sim.Process().Send("heartbeat 0"));
    EXPECT_TRUE(sim.Receives("B0 0A 7F"));

    // One detection pass: midi-sim's two units are in the list.
    auto* manager = dynamic_cast<CMidiPortManager*>(&dlg.GetMidiPorts());
    ASSERT_NE(manager, nullptr);
    EXPECT_TRUE(sim.Receives("B3 0A 7F"));
    EXPECT_TRUE(sim.Receives("B7 0A 7F"));
    const uint64_t passes = manager->DetectionPasses();
    clock.Jump(CMidiPortManager::kDetectPeriodMs);
    ASSERT_TRUE(manager->WaitForDetectionLook(manager->NudgeDetection(), 10000));
    EXPECT_GE(manager->DetectionPasses(), passes + 1);
    std::vector<std::pair<int, int>> listed;
    for (int i = 0; i < manager->GetDetectedCount(); ++i) {
        int port = -1, channel = -1;
        manager->GetDetectedPre(i, port, channel);
        listed.emplace_back(port, channel);
    }
    EXPECT_NE(std::find(listed.begin(), listed.end(), std::make_pair(0, 3)), listed.end());
    EXPECT_NE(std::find(listed.begin(), listed.end(), std::make_pair(0, 7)), listed.end());

    dlg.OnTrayCommand(CMicDlg::kTrayStopMidi);
    EXPECT_FALSE(dlg.m_bMidiRunning);
    for (const std::string& l : units.History()) EXPECT_NE(0u, l.rfind("violation", 0)) << l;
    ::unsetenv("WINPORT_COM1");
}
