// The mic-line receptacle against the server simulator: records kept whole, one
// "ButtonFromCantle" for any number of records that come before the dialog takes one, short
// blocks ignored.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "HexText.h"
#include "KivServerFixture.h"
#include "RealTimeLoop.h"
#include "app/MicLineInterface.h"
#include "winport/Window.h"

namespace {

// A record whose every byte is `fill`, as the simulator's hex body.
std::string recordHex(int fill)
{
    return HexRun(std::string(MicLineRecord::kSize, static_cast<char>(fill)));
}

std::string pushRecord(int fill) { return "push 276 496 " + recordHex(fill); }

bool recordIs(const MicLineRecord& r, int fill)
{
    for (BYTE b : r.bytes)
        if (b != fill) return false;
    return true;
}

class MicLineInterfaceTest : public KivServerTest {};

class MicLineInterfaceThreads : public MicLineInterfaceTest {};

}  // namespace

TEST_F(MicLineInterfaceTest, RecordsBeforeTheDialogTakesOneAreAnnouncedOnce)
{
    KivServerSim& server = StartServer();
    int announced = 0;
    MicLineRecord taken;
    CMicLineInterface* micLine = nullptr;
    HWND window = winport::CreateMessageWindow("MicTestMain", [&](HWND, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg == g_msgButtonFromCantle && wp == 0 && lp == 0) {
            ++announced;
            EXPECT_TRUE(micLine->TakeRecord(taken));
        }
        return 0;
    });
    CMicLineInterface object(window);
    micLine = &object;
    EXPECT_FALSE(object.TakeRecord(taken)) << "nothing has come yet";
    object.MLAttach();
    EXPECT_NE(std::string::npos, server.Records("block").at(0).find("head=14010000000000001000000000000000"));

    // Two records delivered before the loop runs the dialog's handler: one message, the newer
    // record. The deliveries wait in this thread's queue, as the dialog's would.
    ASSERT_EQ("ok 1", server.Control(pushRecord(0x11)));
    ASSERT_EQ("ok 1", server.Control(pushRecord(0x22)));
    ASSERT_TRUE(WaitPending(2));
    ASSERT_TRUE(PumpUntil([&] { return announced >= 1; }));
    winport::MessageLoop::Current().RunUntilIdle();
    EXPECT_EQ(1, announced);
    EXPECT_TRUE(recordIs(taken, 0x22));

    // Taking it re-arms the announcement; a short block changes nothing and announces nothing,
    // and a block longer than the record keeps only the record.
    ASSERT_EQ("ok 1", server.Control("push 276 495 " + recordHex(0x33).substr(0, 2 * 479)));
    ASSERT_EQ("ok 1", server.Control("push 276 600 " + recordHex(0x44)));
    ASSERT_TRUE(PumpUntil([&] { return announced >= 2; }));
    winport::MessageLoop::Current().RunUntilIdle();
    EXPECT_EQ(2, announced);
    EXPECT_TRUE(recordIs(taken, 0x44));
    DestroyWindow(window);
}

// The simulator's records reach the object on the process's callback thread (its own thread
// has no loop) while the dialog's thread takes them: every record taken is one record whole,
// messages never outnumber records, and the last record is taken in the end.
TEST_F(MicLineInterfaceThreads, RecordsTakenWhileTheyArriveOnAnotherThread)
{
    KivServerSim& server = StartServer();
    std::atomic<CMicLineInterface*> micLine{nullptr};
    std::atomic<bool> done{false};
    MicLineRecord taken;
    int announced = 0, torn = 0, lastFill = -1;
    HWND window = winport::CreateMessageWindow("MicTestMain", [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg != g_msgButtonFromCantle) return 0;
        ++announced;
        if (micLine.load()->TakeRecord(taken)) {
            lastFill = taken.bytes[0];
            if (!recordIs(taken, lastFill)) ++torn;
        }
        return 0;
    });
    std::thread owner([&] {
        CMicLineInterface object(window);
        object.MLAttach();
        micLine = &object;
        while (!done) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    while (!micLine) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The owner ends however the test does (a failed assertion returns from here).
    struct Join {
        std::atomic<bool>& done;
        std::thread& owner;
        ~Join()
        {
            done = true;
            if (owner.joinable()) owner.join();
        }
    } join{done, owner};

    constexpr int kRecords = 40;
    for (int i = 1; i <= kRecords; ++i) {
        ASSERT_EQ("ok 1", server.Control(pushRecord(i)));
        winport::MessageLoop::Current().RunUntilIdle();
    }
    EXPECT_TRUE(PumpUntil([&] { return lastFill == kRecords; }));
    done = true;
    owner.join();
    EXPECT_EQ(0, torn);
    EXPECT_GE(announced, 1);
    EXPECT_LE(announced, kRecords);
    DestroyWindow(window);
}
