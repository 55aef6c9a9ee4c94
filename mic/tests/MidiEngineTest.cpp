#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "MidiRecorder.h"
#include "RealTimeLoop.h"
#include "base/MicMessages.h"
#include "midi/MicMidiControl.h"
#include "winport/MidiBackend.h"
#include "winport/Window.h"

using winport::midi::LoopbackBackend;

namespace {

using Recorder = MidiRecorder;

MidiEvent received(int port, BYTE status, BYTE data1, BYTE value)
{
    const BYTE bytes[3] = {status, data1, value};
    MidiEvent e = MakeMidiEvent(port, bytes);
    e.type = kMidiEventReceived;
    return e;
}

// Closing a handler from a test.
class ClosableControl : public CMicMidiControl {
public:
    using CMidiHandler::Teardown;
};

// The two words of a monitor or control message hold the event's four fields, and a port's
// Open or Close line is told apart from any message.
TEST(MidiEngineTest, MessageWordsCarryTheEvent)
{
    const MidiEvent sent = received(5, 0xB7, 0x0A, 0x7F);
    WPARAM first;
    LPARAM second;
    PackMidiEvent(sent, first, second);
    EXPECT_EQ(first, 0x00B70005u);
    EXPECT_EQ(second, 0x007F000A);
    const MidiEvent back = UnpackMidiEvent(first, second);
    EXPECT_EQ(back.port, 5);
    EXPECT_EQ(back.status, 0xB7);
    EXPECT_EQ(back.data1, 0x0A);
    EXPECT_EQ(back.value, 0x7F);
    EXPECT_FALSE(IsMidiPortLine(first));
    EXPECT_EQ(PackMidiPortLine(2), 0xFFFF0002u);
    EXPECT_TRUE(IsMidiPortLine(PackMidiPortLine(2)));
    EXPECT_EQ(UnpackMidiEvent(PackMidiPortLine(2), 0).port, 2);
}

TEST(MidiEngineTest, QueuesKeepTheNewest9999AndRefuseAfterClosing)
{
    ClosableControl engine;
    int dropped = 0;
    for (int i = 0; i < 10001; ++i) dropped += engine.PutOneInputOn(received(0, 0xB0, i & 0x7F, (i >> 7) & 0x7F));
    EXPECT_EQ(dropped, 2);
    EXPECT_EQ(engine.GetInputQueueSize(), 9999u);
    MidiEvent first;
    ASSERT_TRUE(engine.PopOneInOff(first));
    EXPECT_EQ(first.data1, 2);  // events 0 and 1 are gone
    EXPECT_EQ(engine.PutOneOutputOn(received(0, 0xB0, 1, 1)), 0);
    EXPECT_EQ(engine.GetOutputQueueSize(), 1u);

    // SendOut: a device index outside 0..31 and a type other than 10 are refused.
    const BYTE bytes[3] = {0xB3, 0x64, 0x7F};
    engine.SendOut(10, 32, 1, bytes);
    engine.SendOut(10, -1, 1, bytes);
    engine.SendOut(12, 3, 1, bytes);
    EXPECT_EQ(engine.GetOutputQueueSize(), 1u);
    engine.SendOut(10, 3, 1, bytes);
    ASSERT_EQ(engine.GetOutputQueueSize(), 2u);
    MidiEvent out;
    engine.PopOneOutOff(out);
    engine.PopOneOutOff(out);
    EXPECT_EQ(out.type, kMidiEventToSend);
    EXPECT_EQ(out.port, 3);
    EXPECT_EQ(out.status, 0xB3);
    EXPECT_EQ(out.value, 0x7F);
    EXPECT_EQ(out.rest[0], 0xFF);

    engine.Teardown();
    EXPECT_EQ(engine.PutOneInputOn(received(0, 0xB0, 1, 1)), 0);
    EXPECT_EQ(engine.PutOneOutputOn(received(0, 0xB0, 1, 1)), 0);
    EXPECT_EQ(engine.GetOutputQueueSize(), 0u);
    EXPECT_EQ(engine.GetInputQueueSize(), 9998u);
}

TEST(MidiEngineTest, HandleEventTakesOnlyControllersAsControls)
{
    Recorder r;
    struct Row {
        int port;
        BYTE status, data1, value;
        BOOL answer;          // queued for output
        BYTE answerValue;
        bool control;         // posted as WM_MIDI_CONTROL
        WPARAM w;
        LPARAM l;
        DWORD mask;
    };
    const Row rows[] = {
        {2, 0xB3, 0x49, 0x40, FALSE, 0, true, 0x00B30002, 0x00400049, 0},      // gain, sub-channel 4
        {0, 0xB5, 0x0A, 0x00, TRUE, 0x7F, false, 0, 0, 1u << 5},              // heartbeat: answered, counted
        {0, 0xB5, 0x0A, 0x7F, FALSE, 0, false, 0, 0, 0},                      // an answer is not answered
        {0, 0x92, 0x49, 0x40, FALSE, 0, false, 0, 0, 0},                      // a note is no control
        {0, 0xB0, 0x0D, 0x10, FALSE, 0, false, 0, 0, 0},                      // a status message
        {1, 0xB1, 0x1C, 0x7F, FALSE, 0, true, 0x00B10001, 0x007F001C, 0},      // highlight
        {1, 0xB1, 0x17, 0x7F, FALSE, 0, false, 0, 0, 0},                      // unknown code 7
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << int(row.status) << " " << int(row.data1) << " " << int(row.value));
        CMicMidiControl engine;
        engine.SetNotifyWindow(r.Window());
        r.posted.clear();
        MidiEvent e = received(row.port, row.status, row.data1, row.value);
        EXPECT_EQ(engine.HandleEvent(e), row.answer);
        if (row.answer) {
            EXPECT_EQ(e.type, kMidiEventToSend);
            EXPECT_EQ(e.value, row.answerValue);
            EXPECT_EQ(e.status, row.status);
            EXPECT_EQ(e.data1, row.data1);
        }
        EXPECT_EQ(engine.GetHeartbeatMask(), row.mask);
        RunLoopUntil([] { return false; }, 0);
        auto controls = r.Of(WM_MIDI_CONTROL);
        ASSERT_EQ(controls.size(), row.control ? 1u : 0u);
        if (row.control) {
            EXPECT_EQ(controls[0].w, row.w);
            EXPECT_EQ(controls[0].l, row.l);
        }
        // Every controller message is shown; nothing else is.
        EXPECT_EQ(r.Of(WM_MIDI_IN_SHOWN).size(), (row.status & 0xF0) == 0xB0 ? 1u : 0u);
    }
    CMicMidiControl engine;
    MidiEvent other = received(0, 0xB3, 0x49, 0x40);
    other.type = 10;
    EXPECT_FALSE(engine.HandleEvent(other));
}

// An engine on loopback devices: controls reach the window, heartbeats are answered on the
// port's output, the monitor sees the port number; teardown with traffic both ways is clean
// and nothing is posted after it.
TEST(MidiEngineThreads, ControlsHeartbeatsAndTeardownUnderTraffic)
{
    auto loop = std::make_shared<LoopbackBackend>();
    for (int i = 0; i < 3; ++i) {
        loop->AddInput("host " + std::to_string(i) + " out");
        loop->AddOutput("host " + std::to_string(i) + " in");
    }
    winport::midi::SetBackend(loop);
    Recorder r;
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        r.posted.clear();
        auto engine = std::make_unique<CMicMidiControl>();
        engine->SetNotifyWindow(r.Window());
        engine->SetMessageType(12);
        engine->SetPorts(/*port=*/5, /*inDevice=*/2, /*outDevice=*/2);
        ASSERT_TRUE(engine->OpenPorts());
        ASSERT_TRUE(engine->StartServicing());
        if (round == 0) {
            ASSERT_TRUE(loop->WaitSent("host 2 in", 2, 5000));  // the announcement
            loop->InjectShort("host 2 out", 0xB3, 0x49, 0x40);
            loop->InjectShort("host 2 out", 0xB7, 0x0A, 0x00);
            ASSERT_TRUE(loop->WaitSent("host 2 in", 3, 5000));
            EXPECT_EQ(loop->Sent("host 2 in")[2], (std::vector<BYTE>{0xB7, 0x0A, 0x7F}));
            EXPECT_EQ(engine->GetHeartbeatMask(), 1u << 7);
            ASSERT_TRUE(RunLoopUntil([&] { return !r.Of(WM_MIDI_CONTROL).empty() && !r.Of(WM_MIDI_OUT_SHOWN).empty(); }, 5000));
            EXPECT_EQ(r.Of(WM_MIDI_CONTROL)[0].w, 0x00B30005u);
            EXPECT_EQ(r.Of(WM_MIDI_OUT_SHOWN)[0].w, 0x00B70005u);  // the port, not the device
            EXPECT_EQ(r.Of(WM_MIDI_IN_SHOWN)[0].w, 0xFFFF0005u);   // "Open"
        } else if (round % 2 == 1) {
            // A bounded burst each way: the window's queue (which this thread does not empty
            // meanwhile) keeps room for every line, the last "Close" included.
            std::thread sender([&] {
                const BYTE bytes[3] = {0xB2, 0x24, 0x7F};
                for (int i = 0; i < 3000; ++i) engine->SendOut(10, 2, 1, bytes);
            });
            for (int i = 0; i < 300; ++i) loop->InjectShort("host 2 out", 0xB0 | (i % 16), 0x0A, 0);
            sender.join();
        }
        engine.reset();  // right after the start in the even rounds
        EXPECT_FALSE(loop->IsOpen("host 2 in"));
        EXPECT_FALSE(loop->IsOpen("host 2 out"));
        RunLoopUntil([] { return false; }, 0);
        ASSERT_FALSE(r.posted.empty());
        EXPECT_EQ(r.posted.back().message, WM_MIDI_OUT_SHOWN);  // "Close" is the last word
        EXPECT_EQ(r.posted.back().w, 0xFFFF0005u);
    }
    winport::midi::SetBackend(nullptr);
}

}  // namespace
