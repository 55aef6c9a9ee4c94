// The MIDI ports on a real JACK server (dummy driver) against midi-sim in another process.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "JackServer.h"
#include "PeerProcess.h"
#include "midi/MidiInPort.h"
#include "midi/MidiOutPort.h"
#include "winport/MidiBackend.h"

// JACK's lock-free ring buffers (between a client's thread and its process thread) live in
// libjack, which ThreadSanitizer does not see into: their copies are not races.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:jack_ringbuffer_\nrace:libjack.so\nthread:libjack.so\n";
}

namespace {


// The next line of midi-sim's that reports a received message, as its hex bytes.
std::string nextReceived(PeerProcess& sim)
{
    for (int i = 0; i < 50; ++i) {
        auto line = sim.Line(10000);
        if (!line) return "";
        if (line->rfind("in ", 0) == 0) return line->substr(line->find(' ', 3) + 1);
    }
    return "";
}

TEST(MidiJackThreads, PortsAgainstMidiSim)
{
    JackServer server;
    ASSERT_TRUE(server.Start()) << "jackd with the dummy driver did not come up";
    PeerProcess sim(CONSOLE_BINARY_DIR "/tools/midi-sim/midi-sim", {"--server", server.Name()});
    auto ready = sim.Line(15000);
    ASSERT_TRUE(ready && ready->rfind("ready midi-sim:in midi-sim:out", 0) == 0) << (ready ? *ready : "no answer");

    auto jack = winport::midi::CreateJackBackend();
    ASSERT_NE(jack, nullptr);
    winport::midi::SetBackend(jack);
    const int inDevice = FindMidiDevice(true, "midi-sim:out");
    const int outDevice = FindMidiDevice(false, "midi-sim:in");
    ASSERT_GE(inDevice, 0);
    ASSERT_GE(outDevice, 0);
    {
        CMidiOutPort out(outDevice);
        CMidiInPort in(&out, inDevice);
        ASSERT_EQ(out.Open(outDevice), MMSYSERR_NOERROR);
        ASSERT_EQ(in.Open(inDevice), MMSYSERR_NOERROR);
        EXPECT_EQ(nextReceived(sim), "B0 0F 1B");
        EXPECT_EQ(nextReceived(sim), "B0 2F 47");

        // The fourth ping is answered, once.
        ASSERT_TRUE(sim.Send("ping 4"));
        EXPECT_EQ(nextReceived(sim), "90 00 7F");
        for (int i = 0; i < 10000 && in.GetPingAnswerCount() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(in.GetPingAnswerCount(), 1);
        EXPECT_EQ(out.GetPingCount(), 3);

        // Controller messages reach the ring in order.
        constexpr int kCount = 64;
        for (int i = 0; i < kCount; ++i) ASSERT_TRUE(sim.Send("cc " + std::to_string(i % 16) + " " + std::to_string(i) + " 100"));
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
    winport::midi::SetBackend(nullptr);
    jack.reset();
    sim.Send("quit");
    EXPECT_TRUE(sim.Wait(10000));
    server.Stop();
}

}  // namespace
