#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "midi/MidiInPort.h"
#include "midi/MidiOutPort.h"
#include "winport/Clock.h"
#include "winport/MidiBackend.h"

using winport::midi::LoopbackBackend;
using Bytes = std::vector<BYTE>;
using Messages = std::vector<Bytes>;

namespace {

// Waits (at most 10 s) until the condition holds, looking every millisecond.
template <typename F>
bool eventually(F condition)
{
    for (int i = 0; i < 10000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

const Bytes kAnnounce1 = {0xB0, 0x0F, 0x1B};
const Bytes kAnnounce2 = {0xB0, 0x2F, 0x47};
const Bytes kPingAnswer = {0x90, 0x00, 0x7F};

// Four input and four output loopback devices; device 0 of each is the surface.
class MidiPortsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_loop = std::make_shared<LoopbackBackend>();
        for (int i = 0; i < 4; ++i) {
            m_loop->AddInput("surface " + std::to_string(i) + " out");
            m_loop->AddOutput("surface " + std::to_string(i) + " in");
        }
        winport::midi::SetBackend(m_loop);
    }
    void TearDown() override { winport::midi::SetBackend(nullptr); }

    // Reads n short messages from the port's ring, waiting for each on the port's event.
    std::vector<MidiShortMessage> readMessages(CMidiInPort& port, size_t n)
    {
        NamedEventHandle received(port.GetDevice(), enRecievedChange);
        std::vector<MidiShortMessage> got;
        for (int idle = 0; got.size() < n && idle < 100;) {
            MidiShortMessage m;
            if (port.ReadShortMessage(m)) {
                got.push_back(m);
                idle = 0;
            } else if (!CNamedEvent::WaitOne(received.Get(), 100)) {
                ++idle;
            }
        }
        return got;
    }

    std::shared_ptr<LoopbackBackend> m_loop;
    const std::string in0 = "surface 0 out";
    const std::string out0 = "surface 0 in";
};

TEST_F(MidiPortsTest, PingsFromTheFourthOnAreAnsweredOnceEach)
{
    CMidiOutPort out(0);
    CMidiInPort in(&out, 0);
    ASSERT_EQ(out.Open(0), MMSYSERR_NOERROR);
    ASSERT_EQ(in.Open(0), MMSYSERR_NOERROR);
    ASSERT_TRUE(m_loop->WaitSent(out0, 2, 5000));
    m_loop->ClearSent(out0);
    struct Row {
        int ping;
        int answersSoFar;
    };
    const Row rows[] = {{1, 0}, {2, 0}, {3, 0}, {4, 1}, {5, 2}, {6, 3}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.ping);
        m_loop->InjectShort(in0, 0x90, 0x00, 0x00);
        // The count of pings stops at three; from then on the answers are counted.
        ASSERT_TRUE(eventually([&] {
            return out.GetPingCount() == std::min(r.ping, 3) && in.GetPingAnswerCount() == r.answersSoFar;
        }));
        if (r.answersSoFar > 0) {
            ASSERT_TRUE(m_loop->WaitSent(out0, r.answersSoFar, 5000));
        }
        MidiShortMessage m;
        EXPECT_FALSE(in.ReadShortMessage(m));  // the ping never reaches the ring
    }
    // A later ping's answer goes ahead of what was queued in the same wake-up.
    const BYTE change[3] = {0xB2, 0x14, 0x7F};
    {
        CFastSingleLock hold(&out.GetQueueLock(), TRUE);
        out.Queue(1, change);
        m_loop->InjectShort(in0, 0x90, 0x00, 0x00);
        ASSERT_TRUE(eventually([&] { return in.GetPingAnswerCount() == 4; }));
    }
    ASSERT_TRUE(m_loop->WaitSent(out0, 5, 5000));
    EXPECT_EQ(m_loop->Sent(out0), (Messages{kPingAnswer, kPingAnswer, kPingAnswer, kPingAnswer, {0xB2, 0x14, 0x7F}}));
}

TEST_F(MidiPortsTest, EveryOpenAndReopenAnnouncesThePort)
{
    winport::ManualClock clock;  // the 10 ms between the two messages in virtual time
    winport::ScopedClock scoped(clock);
    CMidiOutPort out(0);
    ASSERT_EQ(out.Open(0), MMSYSERR_NOERROR);
    ASSERT_TRUE(m_loop->WaitSent(out0, 2, 5000));
    EXPECT_EQ(m_loop->Sent(out0), (Messages{kAnnounce1, kAnnounce2}));
    EXPECT_EQ(clock.Sleeps(), std::vector<uint32_t>{10});
    ASSERT_EQ(out.Open(0), MMSYSERR_NOERROR);  // reopen: closed first, announced again
    ASSERT_TRUE(m_loop->WaitSent(out0, 4, 5000));
    EXPECT_EQ(m_loop->Sent(out0), (Messages{kAnnounce1, kAnnounce2, kAnnounce1, kAnnounce2}));
    ASSERT_EQ(out.Open(2), MMSYSERR_NOERROR);  // another device: the first one is closed
    ASSERT_TRUE(m_loop->WaitSent("surface 2 in", 2, 5000));
    EXPECT_FALSE(m_loop->IsOpen(out0));
    out.Close();
    EXPECT_FALSE(out.IsOpen());
    EXPECT_FALSE(m_loop->IsOpen("surface 2 in"));
}

TEST_F(MidiPortsTest, DevicesPastTheCountOrTheTableStayClosed)
{
    CMidiOutPort out(6);
    CMidiInPort in(&out, 6);
    EXPECT_NE(out.Open(6), MMSYSERR_NOERROR);
    EXPECT_EQ(in.Open(6), MMSYSERR_ERROR);
    EXPECT_FALSE(out.IsOpen());
    EXPECT_FALSE(in.IsOpen());
    // A device index of 32 has no place in the callback table.
    CMidiInPort beyond(nullptr, 32);
    EXPECT_EQ(beyond.Open(0), MMSYSERR_ERROR);
    EXPECT_FALSE(beyond.IsOpen());
    EXPECT_EQ(CMidiInPort::GetCallbackEntry(32), nullptr);
    EXPECT_EQ(CMidiInPort::GetCallbackEntry(6), &in);
    // A failed open keeps its result and leaves the port closed.
    m_loop->FailNextOpen(in0, MMSYSERR_ALLOCATED);
    CMidiInPort refused(nullptr, 0);
    EXPECT_EQ(refused.Open(0), MMSYSERR_ALLOCATED);
    EXPECT_EQ(refused.GetLastResult(), MMSYSERR_ALLOCATED);
    EXPECT_FALSE(refused.IsOpen());
}

TEST_F(MidiPortsTest, SystemExclusiveBlocksFillTheRecordRing)
{
    CMidiInPort in(nullptr, 0);
    ASSERT_EQ(in.Open(0), MMSYSERR_NOERROR);
    Bytes block(48);
    block[0] = 0xF0;
    for (int i = 1; i < 47; ++i) block[i] = static_cast<BYTE>(i);
    block[47] = 0xF7;
    m_loop->Inject(in0, {0xF0, 0x7E});  // a block begun: in system exclusive until its end
    m_loop->Inject(in0, Bytes(block.begin() + 1, block.end()));
    ASSERT_TRUE(m_loop->WaitDelivered(5000));
    eventually([&] { return in.GetSysexCount() >= 1; });
    ASSERT_EQ(in.GetSysexCount(), 1);
    auto r0 = in.GetSysexRecord(0);
    EXPECT_EQ(r0.used, 1u);
    EXPECT_EQ(r0.length, 20u);
    EXPECT_EQ(Bytes(r0.data, r0.data + 20), (Bytes{0xF0, 0x7E, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    EXPECT_FALSE(in.IsInSysex());

    for (int k = 1; k <= 40; ++k) m_loop->Inject(in0, {0xF0, static_cast<BYTE>(k), 0xF7});
    ASSERT_TRUE(m_loop->WaitDelivered(5000));
    eventually([&] { return in.GetSysexCount() >= 41; });
    ASSERT_EQ(in.GetSysexCount(), 41);
    EXPECT_EQ(in.GetSysexWriteIndex(), 1);
    auto overwritten = in.GetSysexRecord(0);
    EXPECT_EQ(overwritten.length, 3u);
    EXPECT_EQ(Bytes(overwritten.data, overwritten.data + 3), (Bytes{0xF0, 40, 0xF7}));

    // An empty block (a buffer given back by a reset) records nothing and reads no last byte.
    // (On a port of its own, whose device is quiet, so that only this thread touches the buffer.)
    CMidiInPort quiet(nullptr, 1);
    ASSERT_EQ(quiet.Open(1), MMSYSERR_NOERROR);
    MIDIHDR* header = quiet.GetReceiveHeader();
    header->dwBytesRecorded = 0;
    quiet.ProcessMidiInput(nullptr, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), 0);
    EXPECT_EQ(quiet.GetSysexCount(), 0);
    EXPECT_FALSE(quiet.IsInSysex());
    // A broken-off block is not kept; the port hears on.
    m_loop->Inject(in0, {0xF0, 0x01, 0x02, 0xB1, 0x10, 0x20});
    auto got = readMessages(in, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].status, 0xB1);
    EXPECT_EQ(in.GetSysexCount(), 41);
    EXPECT_FALSE(in.IsInSysex());
    m_loop->Inject(in0, {0xF0, 0x05, 0xF7});
    ASSERT_TRUE(m_loop->WaitDelivered(5000));
    eventually([&] { return in.GetSysexCount() >= 42; });
    EXPECT_EQ(in.GetSysexCount(), 42);
}

TEST_F(MidiPortsTest, ABurstOfControllersArrivesWholeAndInOrder)
{
    CMidiOutPort out(0);
    CMidiInPort in(&out, 0);
    ASSERT_EQ(in.Open(0), MMSYSERR_NOERROR);
    constexpr int kBurst = 1000;
    for (int i = 0; i < kBurst; ++i) m_loop->InjectShort(in0, static_cast<BYTE>(0xB0 | (i % 16)), i & 0x7F, (i >> 7) & 0x7F);
    m_loop->InjectShort(in0, 0x91, 0x3C, 0x40);  // note-on 0x91 passes the port; 0x90 does not
    m_loop->InjectShort(in0, 0x90, 0x3C, 0x40);
    m_loop->InjectShort(in0, 0x80, 0x3C, 0x00);
    auto got = readMessages(in, kBurst + 2);
    ASSERT_EQ(got.size(), static_cast<size_t>(kBurst + 2));
    for (int i = 0; i < kBurst; ++i) {
        ASSERT_EQ(got[i].status, 0xB0 | (i % 16)) << i;
        ASSERT_EQ(got[i].data1, i & 0x7F) << i;
        ASSERT_EQ(got[i].data2, (i >> 7) & 0x7F) << i;
    }
    EXPECT_EQ(got[kBurst].status, 0x91);
    EXPECT_EQ(got[kBurst + 1].status, 0x80);
    EXPECT_EQ(in.GetDroppedCount(), 0u);
}

TEST_F(MidiPortsTest, AFullRingDropsTheNewestAndCountsIt)
{
    CMidiInPort in(nullptr, 0);
    ASSERT_EQ(in.Open(0), MMSYSERR_NOERROR);
    const int total = CMidiInPort::kRingSize + 5;
    for (int i = 0; i < total; ++i) m_loop->InjectShort(in0, 0xB0, i & 0x7F, 0);
    ASSERT_TRUE(m_loop->WaitDelivered(5000));
    eventually([&] { return in.GetDroppedCount() >= 5; });
    EXPECT_EQ(in.GetDroppedCount(), 5u);
    auto got = readMessages(in, CMidiInPort::kRingSize);
    ASSERT_EQ(got.size(), static_cast<size_t>(CMidiInPort::kRingSize));
    EXPECT_EQ(got.back().data1, (CMidiInPort::kRingSize - 1) & 0x7F);
}

TEST_F(MidiPortsTest, ClosingWaitsABoundedTimeForADeviceStillPlaying)
{
    winport::ManualClock clock;
    winport::ScopedClock scoped(clock);
    CMidiOutPort out(0);
    CMidiInPort in(&out, 0);
    ASSERT_EQ(out.Open(0), MMSYSERR_NOERROR);
    ASSERT_EQ(in.Open(0), MMSYSERR_NOERROR);
    clock.ClearSleeps();
    m_loop->ReportStillPlaying(in0, 3);
    in.Close();
    EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{100, 100, 100}));
    EXPECT_FALSE(in.IsOpen());
    // A device that never stops is given up after ten seconds and the port is closed.
    m_loop->ReportStillPlaying(out0, 1000000);
    clock.ClearSleeps();
    out.Close();
    EXPECT_FALSE(out.IsOpen());
    uint32_t slept = 0;
    for (uint32_t s : clock.Sleeps()) slept += s;
    EXPECT_GE(slept, CMidiOutPort::kStillPlayingLimitMs);
    EXPECT_LE(slept, 2 * CMidiOutPort::kStillPlayingLimitMs + 20);
    m_loop->ReportStillPlaying(out0, 0);
}

// Ports closed while messages flow both ways, and closed right after they open: nothing
// reaches a closed port, and every thread ends.
TEST(MidiPortsThreads, CloseWithTrafficBothWaysAndRightAfterOpen)
{
    auto loop = std::make_shared<LoopbackBackend>();
    loop->AddInput("host out");
    loop->AddOutput("host in");
    winport::midi::SetBackend(loop);
    for (int round = 0; round < 10; ++round) {
        auto out = std::make_unique<CMidiOutPort>(0);
        auto in = std::make_unique<CMidiInPort>(out.get(), 0);
        ASSERT_EQ(out->Open(0), MMSYSERR_NOERROR);
        ASSERT_EQ(in->Open(0), MMSYSERR_NOERROR);
        if (round % 2 == 0) {
            std::atomic<bool> stop{false};
            std::thread sender([&] {
                const BYTE change[3] = {0xB1, 0x24, 0x7F};
                while (!stop) out->Queue(1, change);
            });
            for (int i = 0; i < 300; ++i) {
                loop->InjectShort("host out", 0xB0, i & 0x7F, 1);
                if (i % 50 == 0) loop->InjectShort("host out", 0x90, 0, 0);
            }
            MidiShortMessage m;
            for (int i = 0; i < 100; ++i) in->ReadShortMessage(m);
            in->Close();
            stop = true;
            sender.join();
        } else {
            in->Close();  // right after open
        }
        unsigned dropped = in->GetDroppedCount();
        int count = 0;
        MidiShortMessage m;
        while (in->ReadShortMessage(m)) ++count;
        loop->InjectShort("host out", 0xB0, 1, 1);
        loop->WaitDelivered(5000);
        EXPECT_FALSE(in->ReadShortMessage(m));  // nothing after Close
        EXPECT_EQ(in->GetDroppedCount(), dropped);
        in.reset();
        out.reset();
        EXPECT_FALSE(loop->IsOpen("host in"));
        EXPECT_FALSE(loop->IsOpen("host out"));
    }
    winport::midi::SetBackend(nullptr);
}

}  // namespace
