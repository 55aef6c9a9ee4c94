// The MIDI ports on a real JACK server (dummy driver) against midi-sim in another process.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "MidiPortLink.h"
#include "MidiRecorder.h"
#include "MidiSim.h"
#include "ScriptedShell.h"
#include "TestEnvironment.h"
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

}  // namespace
