// The MIDI ports on a real JACK server (dummy driver) against midi-sim in another process.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "FakeSerialPorts.h"
#include "MidiPortLink.h"
#include "MidiRecorder.h"
#include "MidiSim.h"
#include "ScriptedShell.h"
#include "RealTimeLoop.h"
#include "TestEnvironment.h"
#include "app/MicDlg.h"
#include "app/MidiPortSelection.h"
#include "midi/MidiInPort.h"
#include "midi/MidiOutPort.h"
#include "midi/MidiPortManager.h"
#include "winport/Clock.h"
#include "winport/MidiBackend.h"

// JACK's lock-free ring buffers (between a client's thread and its process thread) live in
// libjack, which ThreadSanitizer does not see into: their copies are not races.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:jack_ringbuffer_\nrace:libjack.so\nthread:libjack.so\n";
}

namespace {

TEST(MidiJackThreads, PortsAgainstMidiSim)
{
    MidiSimOnJack midi;
    ASSERT_EQ(midi.Failure(), "");
    MidiSim& sim = midi.Sim();
    const int inDevice = midi.InDevice();
    const int outDevice = midi.OutDevice();
    CMidiOutPort out(outDevice);
    CMidiInPort in(&out, inDevice);
    ASSERT_EQ(out.Open(outDevice), MMSYSERR_NOERROR);
    ASSERT_EQ(in.Open(inDevice), MMSYSERR_NOERROR);
    EXPECT_EQ(sim.NextReceived(), "B0 0F 1B");
    EXPECT_EQ(sim.NextReceived(), "B0 2F 47");

    // The fourth ping is answered, once.
    ASSERT_TRUE(sim.Process().Send("ping 4"));
    EXPECT_EQ(sim.NextReceived(), "90 00 7F");
    for (int i = 0; i < 10000 && in.GetPingAnswerCount() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(in.GetPingAnswerCount(), 1);
    EXPECT_EQ(out.GetPingCount(), 3);

    // Controller messages reach the ring in order.
    constexpr int kCount = 64;
    for (int i = 0; i < kCount; ++i) ASSERT_TRUE(sim.Process().Send("cc " + std::to_string(i % 16) + " " + std::to_string(i) + " 100"));
    NamedEventHandle received(inDevice, enRecievedChange);
    std::vector<MidiShortMessage> got;
    for (int idle = 0; got.size() < kCount && idle < 100;) {
        MidiShortMessage m;
        if (in.ReadShortMessage(m)) got.push_back(m);
        else if (!CNamedEvent::WaitOne(received.Get(), 100)) ++idle;
    }
    ASSERT_EQ(got.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(got[i].status, 0xB0 | (i % 16));
        EXPECT_EQ(got[i].data1, i);
        EXPECT_EQ(got[i].data2, 100);
    }
    EXPECT_EQ(in.GetDroppedCount(), 0u);
}

// A reset sends a note-off for every sounding note, more than one period carries; the close
// right after it lets them all reach midi-sim before the port leaves the server.
TEST(MidiJackThreads, WhatIsSentBeforeACloseReachesThePeer)
{
    MidiSimOnJack midi;
    ASSERT_EQ(midi.Failure(), "");
    MidiSim& sim = midi.Sim();
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, static_cast<UINT>(midi.OutDevice()), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    for (DWORD note = 0; note < 128; ++note) ASSERT_EQ(midiOutShortMsg(out, 0x7F0090u | note << 8), MMSYSERR_NOERROR);
    ASSERT_TRUE(sim.Receives("90 7F 7F"));

    ASSERT_EQ(midiOutReset(out), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    std::vector<std::string> want, got;
    char text[16];
    for (int note = 0; note < 128; ++note) {
        std::snprintf(text, sizeof text, "80 %02X 00", note);
        want.push_back(text);
    }
    for (std::string m; got.size() < want.size() && !(m = sim.NextReceived()).empty();) got.push_back(m);
    EXPECT_EQ(got, want);
}

// The manager starts a port linked to midi-sim's devices; midi-sim beats as two units (MIDI
// channels 3 and 7): the heartbeats come back answered, and one detection pass (virtual clock)
// lists both.
TEST(MidiJackThreads, ManagerAnswersAndDetectsMidiSimUnits)
{
    TestEnvironment env;
    MidiSimOnJack midi({"--heartbeat", "3", "--heartbeat", "7", "--period", "200"});
    ASSERT_EQ(midi.Failure(), "");
    MidiSim& sim = midi.Sim();
    LinkMidiPort(4, midi.InDevice(), sim.Out(), midi.OutDevice(), sim.In());

    winport::ManualClock clock(1000);
    winport::ScopedClock scoped(clock);
    ScriptedShell shell;
    MidiRecorder recorder;
    CMidiPortManager manager(shell, recorder.Window());
    ASSERT_TRUE(manager.StartMidiPortsThread());
    const uint64_t start = clock.nowMs();
    ASSERT_NE(manager.GetEngine(4), nullptr);
    bool answered3 = false, answered7 = false;
    for (int i = 0; i < 40 && !(answered3 && answered7); ++i) {
        const std::string got = sim.NextReceived();
        ASSERT_FALSE(got.empty()) << "midi-sim heard nothing more";
        answered3 = answered3 || got == "B3 0A 7F";
        answered7 = answered7 || got == "B7 0A 7F";
    }
    EXPECT_TRUE(answered3 && answered7);

    clock.SetNow(start + CMidiPortManager::kDetectPeriodMs);
    ASSERT_TRUE(manager.WaitForDetectionLook(manager.NudgeDetection(), 10000));
    EXPECT_EQ(manager.DetectionPasses(), 1u);
    ASSERT_EQ(manager.GetDetectedCount(), 2);
    int port = -1, channel = -1;
    manager.GetDetectedPre(0, port, channel);
    EXPECT_EQ(port, 4);
    EXPECT_EQ(channel, 3);
    manager.GetDetectedPre(1, port, channel);
    EXPECT_EQ(port, 4);
    EXPECT_EQ(channel, 7);
    EXPECT_TRUE(manager.StopMidiPorts());
}

// The JACK server is killed while MIDI runs. The dialog hears of it on its own thread: MIDI stops
// as "&Stop MIDI" stops it (the ports closed, the flag, the tray picture and the port dialog
// follow) and the operator is told once. "&Start MIDI" with no server is refused as with no
// ports; once the server is back, it starts MIDI again and the controls flow. What talks to the
// server that died is never called again (the sanitizers' run of this test shows it).
TEST(MidiJackThreads, ServerKilledWhileMidiRunsStopsMidiAndStartWorksAgainOnceAServerAnswers)
{
    TestEnvironment env;
    JackServer server;
    ASSERT_TRUE(server.Start()) << "jackd with the dummy driver did not come up";
    std::optional<MidiSim> sim(std::in_place, server);
    ASSERT_TRUE(sim->Ready()) << sim->ReadyLine();
    JackBackendScope jack;
    ASSERT_NE(jack.backend, nullptr);
    const int inDevice = FindMidiDevice(true, sim->Out().c_str()), outDevice = FindMidiDevice(false, sim->In().c_str());
    ASSERT_GE(inDevice, 0);
    ASSERT_GE(outDevice, 0);
    LinkMidiPort(0, inDevice, sim->Out(), outDevice, sim->In());

    winport::ManualClock clock(1000);
    winport::ScopedClock scoped(clock);
    FakeSerialPorts ports;
    ports.Plug(1);
    ScriptedShell shell;
    CMicDlg dlg(nullptr, &shell);
    dlg.SetSerialPorts(ports.Factory(), ports.Availability());
    ASSERT_TRUE(dlg.Create());
    CMidiPortSelection selection(dlg.GetMidiPorts(), {});
    ASSERT_TRUE(selection.OnInitDialog());
    auto boxesSaying = [&](const char* text) {
        return std::count_if(shell.boxes.begin(), shell.boxes.end(), [&](const ScriptedShell::Box& b) { return b.text == text; });
    };
    auto controlsFlow = [&] {
        EXPECT_TRUE(sim->Receives("B0 2F 47")) << "the output port did not announce itself";
        EXPECT_TRUE(sim->Process().Send("heartbeat 5"));
        EXPECT_TRUE(sim->Receives("B5 0A 7F")) << "the heartbeat was not answered";
    };

    dlg.OnTrayCommand(CMicDlg::kTrayStartMidi);
    ASSERT_TRUE(dlg.m_bMidiRunning);
    controlsFlow();

    server.Kill();
    ASSERT_TRUE(RunLoopUntil([&] { return boxesSaying(CMicDlg::kMidiSystemLost) > 0; }, 30000)) << "the loss was not told";
    EXPECT_FALSE(dlg.m_bMidiRunning);
    EXPECT_FALSE(dlg.GetMidiPorts().IsRunning());
    EXPECT_EQ(shell.trayImage, kTrayIdle);
    selection.OnTimer();
    EXPECT_STREQ(selection.GetStartText(), "&Start MIDI");
    EXPECT_EQ(shell.boxes.back().type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    sim.reset();  // midi-sim ended with its server

    dlg.OnTrayCommand(CMicDlg::kTrayStartMidi);
    EXPECT_FALSE(dlg.m_bMidiRunning);
    EXPECT_EQ(boxesSaying("There are no MIDI Ports to start!"), 1);

    ASSERT_TRUE(server.Start()) << "jackd did not come up again";
    sim.emplace(server);
    ASSERT_TRUE(sim->Ready()) << sim->ReadyLine();
    dlg.OnTrayCommand(CMicDlg::kTrayStartMidi);
    ASSERT_TRUE(dlg.m_bMidiRunning);
    EXPECT_EQ(shell.trayImage, kTrayMidiIn);
    controlsFlow();
    dlg.OnTrayCommand(CMicDlg::kTrayStopMidi);
    EXPECT_FALSE(dlg.m_bMidiRunning);
    winport::MessageLoop::Current().RunUntilIdle();
    EXPECT_EQ(boxesSaying(CMicDlg::kMidiSystemLost), 1);
}

}  // namespace
