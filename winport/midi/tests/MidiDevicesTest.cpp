#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "MidiInputAssembler.h"
#include "winport/Events.h"
#include "winport/Midi.h"
#include "winport/MidiBackend.h"

using namespace winport::midi;

namespace {

TEST(MidiDeviceList, NamesAreCleanedCutDistinctAndSorted)
{
    const std::string own = "winport-42";
    DeviceList list = MakeDeviceList(
        {
            "Midi Through:Midi Through Port-0 14:0",
            "winport-42:out 130:0",  // the program's own port
            "winport-42-01:in",      // a second client of the program (JACK renames it)
            "midi-sim:out",
            "A very long synthesiser name indeed:port one",
            "A very long synthesiser name indeed:port two",
        },
        own);
    std::vector<std::string> expected = {
        "A very long synthesiser name i",  // 31 characters with its terminator
        "A very long synthesiser name #2",
        "Midi Through:Midi Through Port-0",
        "midi-sim:out",
    };
    expected[0] = std::string("A very long synthesiser name indeed:port one").substr(0, 31);
    expected[2] = std::string("Midi Through:Midi Through Port-0").substr(0, 31);
    ASSERT_EQ(list.names, expected);
    EXPECT_EQ(list.ports[0], "A very long synthesiser name indeed:port one");
    EXPECT_EQ(list.ports[2], "Midi Through:Midi Through Port-0 14:0");
    for (const auto& n : list.names) EXPECT_LE(n.size(), 31u);
}

// Records what the callback is told; each call checks that it does not overlap another.
struct Recorder {
    struct Call {
        UINT message;
        DWORD_PTR param1;
        std::vector<BYTE> data;  // a buffer's bytes
    };
    std::mutex mutex;
    std::vector<Call> calls;
    std::atomic<bool> inCall{false};
    std::atomic<int> overlaps{0};
    HANDLE arrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::function<void(HMIDIIN, UINT, DWORD_PTR)> also;

    ~Recorder() { CloseHandle(arrived); }

    static void Proc(HMIDIIN h, UINT message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR)
    {
        auto* self = reinterpret_cast<Recorder*>(instance);
        if (self->inCall.exchange(true)) ++self->overlaps;
        Call c{message, p1, {}};
        if (message == MIM_LONGDATA || message == MIM_LONGERROR) {
            auto* hdr = reinterpret_cast<MIDIHDR*>(p1);
            c.data.assign(hdr->lpData, hdr->lpData + hdr->dwBytesRecorded);
        }
        {
            std::lock_guard lock(self->mutex);
            self->calls.push_back(c);
        }
        if (self->also) self->also(h, message, p1);
        self->inCall = false;
        SetEvent(self->arrived);
    }
    // Waits until n calls were recorded.
    bool waitFor(size_t n)
    {
        for (int i = 0; i < 200; ++i) {
            {
                std::lock_guard lock(mutex);
                if (calls.size() >= n) return true;
            }
            WaitForSingleObject(arrived, 50);
        }
        return false;
    }
    std::vector<Call> take()
    {
        std::lock_guard lock(mutex);
        return calls;
    }
};

class MidiDevicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_loop = std::make_shared<LoopbackBackend>();
        m_loop->AddInput("surface out");
        m_loop->AddOutput("surface in");
        SetBackend(m_loop);
        ASSERT_EQ(midiInGetNumDevs(), 1u);
        ASSERT_EQ(midiOutGetNumDevs(), 1u);
    }
    void TearDown() override { SetBackend(nullptr); }

    HMIDIIN openInput(Recorder& r)
    {
        HMIDIIN h = nullptr;
        EXPECT_EQ(midiInOpen(&h, 0, reinterpret_cast<DWORD_PTR>(&Recorder::Proc), reinterpret_cast<DWORD_PTR>(&r),
                             CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        return h;
    }

    std::shared_ptr<LoopbackBackend> m_loop;
};

TEST_F(MidiDevicesTest, CapsNameTheDevicesAndRefuseIndicesPastThem)
{
    MIDIINCAPSA in{};
    MIDIOUTCAPSA out{};
    EXPECT_EQ(midiInGetDevCapsA(0, &in, sizeof in), MMSYSERR_NOERROR);
    EXPECT_STREQ(in.szPname, "surface out");
    EXPECT_EQ(midiOutGetDevCapsA(0, &out, sizeof out), MMSYSERR_NOERROR);
    EXPECT_STREQ(out.szPname, "surface in");
    EXPECT_EQ(midiInGetDevCapsA(1, &in, sizeof in), MMSYSERR_BADDEVICEID);
    HMIDIIN h = nullptr;
    EXPECT_EQ(midiInOpen(&h, 6, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(h, nullptr);
    char text[128];
    EXPECT_EQ(midiOutGetErrorTextA(MIDIERR_STILLPLAYING, text, sizeof text), MMSYSERR_NOERROR);
    EXPECT_STRNE(text, "");
}

TEST_F(MidiDevicesTest, StreamBecomesShortMessagesBuffersAndErrors)
{
    Recorder r;
    HMIDIIN h = openInput(r);
    char buffer[8];
    MIDIHDR hdr{};
    hdr.lpData = buffer;
    hdr.dwBufferLength = sizeof buffer;
    EXPECT_EQ(midiInAddBuffer(h, &hdr, sizeof hdr), MIDIERR_UNPREPARED);
    ASSERT_EQ(midiInPrepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInUnprepareHeader(h, &hdr, sizeof hdr), MIDIERR_STILLPLAYING);

    m_loop->InjectShort("surface out", 0xB0, 1, 2);  // before the start: not delivered
    ASSERT_TRUE(m_loop->WaitDelivered(5000));
    ASSERT_EQ(midiInStart(h), MMSYSERR_NOERROR);
    m_loop->Inject("surface out", {0xB3, 0x49, 0x40, 0x4A, 0x41});        // running status
    m_loop->Inject("surface out", {0xC2, 0x05, 0xF8, 0x06});              // program changes around a clock
    m_loop->Inject("surface out", {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xF7}); // 11 bytes into 8-byte buffer
    m_loop->Inject("surface out", {0x22});                                // stray data byte
    ASSERT_TRUE(r.waitFor(7));  // open, 2 short, 2 program + clock, 1 full buffer
    auto calls = r.take();
    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(calls[0].message, MIM_OPEN);
    EXPECT_EQ(calls[1].param1, 0x4049B3u);
    EXPECT_EQ(calls[2].param1, 0x414AB3u);
    EXPECT_EQ(calls[3].param1, 0x05C2u);
    EXPECT_EQ(calls[4].param1, 0xF8u);
    EXPECT_EQ(calls[5].param1, 0x06C2u);
    EXPECT_EQ(calls[6].message, MIM_LONGDATA);
    EXPECT_EQ(calls[6].data, (std::vector<BYTE>{0xF0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(hdr.dwFlags & MHDR_DONE);
    // The rest of the message found no buffer; the stray byte is an error.
    ASSERT_TRUE(r.waitFor(8));
    EXPECT_EQ(r.take()[7].message, MIM_ERROR);
    EXPECT_EQ(r.take()[7].param1, 0x22u);

    // A message broken off by a status byte gives its buffer back as an error.
    ASSERT_EQ(midiInAddBuffer(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);
    m_loop->Inject("surface out", {0xF0, 0x41, 0x10, 0x90, 0x3C, 0x7F});
    ASSERT_TRUE(r.waitFor(10));
    calls = r.take();
    EXPECT_EQ(calls[8].message, MIM_LONGERROR);
    EXPECT_EQ(calls[8].data, (std::vector<BYTE>{0xF0, 0x41, 0x10}));
    EXPECT_EQ(calls[9].param1, 0x7F3C90u);

    ASSERT_EQ(midiInClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(r.take().back().message, MIM_CLOSE);
    EXPECT_EQ(r.overlaps.load(), 0);
    EXPECT_FALSE(m_loop->IsOpen("surface out"));
}

TEST_F(MidiDevicesTest, ResetGivesBuffersBackBeforeItReturnsAndCloseWaitsForThem)
{
    Recorder r;
    HMIDIIN h = openInput(r);
    char buffer[16];
    MIDIHDR hdr{};
    hdr.lpData = buffer;
    hdr.dwBufferLength = sizeof buffer;
    midiInPrepareHeader(h, &hdr, sizeof hdr);
    midiInAddBuffer(h, &hdr, sizeof hdr);
    midiInStart(h);
    EXPECT_EQ(midiInClose(h), MIDIERR_STILLPLAYING);  // a buffer is still queued
    ASSERT_EQ(midiInReset(h), MMSYSERR_NOERROR);
    auto calls = r.take();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].message, MIM_LONGDATA);
    EXPECT_TRUE(calls[1].data.empty());
    EXPECT_EQ(midiInUnprepareHeader(h, &hdr, sizeof hdr), MMSYSERR_NOERROR);

    // Scripted: the device reports still playing twice.
    m_loop->ReportStillPlaying("surface out", 2);
    EXPECT_EQ(midiInClose(h), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiInClose(h), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiInClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiInClose(h), MMSYSERR_INVALHANDLE);
}

TEST_F(MidiDevicesTest, AResetFromTheCallbackGivesTheBufferBackAfterItReturns)
{
    Recorder r;
    std::atomic<bool> nested{false};
    r.also = [&](HMIDIIN dev, UINT message, DWORD_PTR) {
        if (message == MIM_LONGERROR) {
            midiInReset(dev);
            nested = r.overlaps.load() > 0;
        }
    };
    HMIDIIN h = openInput(r);
    char buffer[16];
    MIDIHDR hdr{};
    hdr.lpData = buffer;
    hdr.dwBufferLength = sizeof buffer;
    char spare[16];
    MIDIHDR hdr2{};
    hdr2.lpData = spare;
    hdr2.dwBufferLength = sizeof spare;
    midiInPrepareHeader(h, &hdr, sizeof hdr);
    midiInPrepareHeader(h, &hdr2, sizeof hdr2);
    midiInAddBuffer(h, &hdr, sizeof hdr);
    midiInAddBuffer(h, &hdr2, sizeof hdr2);
    midiInStart(h);
    m_loop->Inject("surface out", {0xF0, 0x01, 0xB0, 0x01, 0x02});
    // Open, the error, the control change parsed with it, then the spare buffer that the reset
    // gave back, after the callback returned.
    ASSERT_TRUE(r.waitFor(4));
    auto calls = r.take();
    EXPECT_EQ(calls[1].message, MIM_LONGERROR);
    EXPECT_EQ(calls[2].message, MIM_DATA);
    EXPECT_EQ(calls[3].message, MIM_LONGDATA);
    EXPECT_EQ(calls[3].param1, reinterpret_cast<DWORD_PTR>(&hdr2));
    EXPECT_FALSE(nested.load());
    EXPECT_EQ(r.overlaps.load(), 0);
    EXPECT_EQ(midiInClose(h), MMSYSERR_NOERROR);
}

TEST_F(MidiDevicesTest, OutputSendsWholeMessagesAndResetSilencesSoundingNotes)
{
    HMIDIOUT h = nullptr;
    EXPECT_EQ(midiOutOpen(&h, 0, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALFLAG);
    m_loop->FailNextOpen("surface in", MMSYSERR_ALLOCATED);
    EXPECT_EQ(midiOutOpen(&h, 0, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    ASSERT_EQ(midiOutOpen(&h, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    struct Case {
        DWORD msg;
        MMRESULT result;
        std::vector<BYTE> sent;
    };
    const Case cases[] = {
        {0x007F0090, MMSYSERR_NOERROR, {0x90, 0x00, 0x7F}},
        {0x00477F2F, MMSYSERR_NOERROR, {0x90, 0x2F, 0x7F}},  // running status: note 0x2F on
        {0x000005C3, MMSYSERR_NOERROR, {0xC3, 0x05}},
        {0x000000F8, MMSYSERR_NOERROR, {0xF8}},
        {0x000000F0, MMSYSERR_INVALPARAM, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.msg);
        m_loop->ClearSent("surface in");
        EXPECT_EQ(midiOutShortMsg(h, c.msg), c.result);
        auto sent = m_loop->Sent("surface in");
        if (c.sent.empty()) {
            EXPECT_TRUE(sent.empty());
        } else {
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(sent[0], c.sent);
        }
    }
    m_loop->FailSends("surface in", 1, MIDIERR_NODEVICE);
    EXPECT_EQ(midiOutShortMsg(h, 0x000000B0 | 0x10 << 8), MIDIERR_NODEVICE);
    m_loop->ClearSent("surface in");
    ASSERT_EQ(midiOutReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(m_loop->Sent("surface in"), (std::vector<std::vector<BYTE>>{{0x80, 0x00, 0x00}, {0x80, 0x2F, 0x00}}));
    m_loop->ReportStillPlaying("surface in", 1);
    MIDIHDR never{};
    EXPECT_EQ(midiOutUnprepareHeader(h, &never, sizeof never), MIDIERR_STILLPLAYING);
    EXPECT_EQ(midiOutUnprepareHeader(h, &never, sizeof never), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(h, 0x90), MMSYSERR_INVALHANDLE);
}

// Close while the peer floods the device: the callback never runs after midiInClose returns.
TEST(MidiDevicesThreads, NoCallbackAfterCloseUnderTraffic)
{
    auto loop = std::make_shared<LoopbackBackend>();
    loop->AddInput("flood");
    SetBackend(loop);
    for (int round = 0; round < 20; ++round) {
        std::atomic<bool> closed{false};
        std::atomic<int> late{0};
        struct Context {
            std::atomic<bool>* closed;
            std::atomic<int>* late;
        } ctx{&closed, &late};
        MIDIINPROC proc = [](HMIDIIN, UINT, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
            auto* c = reinterpret_cast<Context*>(instance);
            if (c->closed->load()) ++*c->late;
        };
        HMIDIIN h = nullptr;
        ASSERT_EQ(midiInOpen(&h, 0, reinterpret_cast<DWORD_PTR>(proc), reinterpret_cast<DWORD_PTR>(&ctx), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        midiInStart(h);
        for (int i = 0; i < 200; ++i) loop->InjectShort("flood", 0xB0, i & 0x7F, 0);
        if (round % 2) loop->WaitDelivered(5000);
        ASSERT_EQ(midiInClose(h), MMSYSERR_NOERROR);
        closed = true;
        loop->WaitDelivered(5000);
        EXPECT_EQ(late.load(), 0);
    }
    SetBackend(nullptr);
}

}  // namespace
