#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <poll.h>
#include <thread>
#include <vector>

#include "TestEnvironment.h"
#include "winport/Clock.h"
#include "winport/Window.h"

using winport::MessageLoop;

namespace {

struct Received {
    HWND hwnd;
    UINT msg;
    WPARAM w;
    LPARAM l;
    uint64_t at;
    bool operator==(const Received& o) const { return hwnd == o.hwnd && msg == o.msg && w == o.w && l == o.l; }
};

class MessageLoopTest : public ::testing::Test {
protected:
    HWND MakeWindow(const char* cls = "Recorder", winport::WindowOptions options = {})
    {
        HWND h = winport::CreateMessageWindow(
            cls,
            [this](HWND hwnd, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
                if (msg == WM_CREATE || msg == WM_DESTROY) return 0;
                received.push_back({hwnd, msg, w, l, clock.nowMs()});
                if (onMessage) return onMessage(hwnd, msg, w, l);
                return 0;
            },
            options);
        created.push_back(h);
        return h;
    }
    void TearDown() override
    {
        for (HWND h : created) DestroyWindow(h);
        MessageLoop::Current().RunUntilIdle();
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    std::vector<uint64_t> TimesOf(UINT msg, WPARAM id) const
    {
        std::vector<uint64_t> out;
        for (const auto& r : received) {
            if (r.msg == msg && r.w == id) out.push_back(r.at);
        }
        return out;
    }

    TestEnvironment env;
    winport::ManualClock clock{1000};
    winport::ScopedClock scoped{clock};
    std::vector<Received> received;
    std::vector<HWND> created;
    std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> onMessage;
};

TEST_F(MessageLoopTest, PostedMessagesArriveInOrderIncludingThosePostedByHandlers)
{
    HWND a = MakeWindow();
    HWND b = MakeWindow();
    onMessage = [&](HWND hwnd, UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg == WM_USER + 1 && w == 2) PostMessageA(b, WM_APP + 9, 0, 0);
        return 0;
    };
    ASSERT_TRUE(PostMessageA(a, WM_USER + 1, 1, 10));
    ASSERT_TRUE(PostMessageA(b, WM_USER + 1, 2, 20));
    ASSERT_TRUE(PostMessageA(a, WM_USER + 1, 3, 30));
    EXPECT_EQ(MessageLoop::Current().PendingCount(), 3u);
    EXPECT_EQ(MessageLoop::Current().RunUntilIdle(), 4u);
    std::vector<Received> expected = {{a, WM_USER + 1, 1, 10, 0},
                                      {b, WM_USER + 1, 2, 20, 0},
                                      {a, WM_USER + 1, 3, 30, 0},
                                      {b, WM_APP + 9, 0, 0, 0}};
    EXPECT_EQ(received, expected);
}

TEST_F(MessageLoopTest, PeekFiltersByWindowAndRangeAndCanLeaveTheMessage)
{
    HWND a = MakeWindow();
    HWND b = MakeWindow();
    PostMessageA(a, WM_USER, 1, 0);
    PostMessageA(b, WM_APP, 2, 0);
    PostMessageA(nullptr, WM_USER + 5, 3, 0);  // thread message
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, 2u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 1, WM_USER + 10, PM_REMOVE));
    EXPECT_EQ(m.hwnd, nullptr);
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_USER + 1, WM_USER + 10, PM_REMOVE));
    EXPECT_EQ(MessageLoop::Current().PendingCount(), 2u);
}

TEST_F(MessageLoopTest, TimerFiresPeriodicallyInVirtualTimeUntilKilled)
{
    HWND w = MakeWindow();
    ASSERT_EQ(SetTimer(w, 1, 100, nullptr), 1u);
    EXPECT_EQ(MessageLoop::Current().NextTimerDue(), 1100u);
    ASSERT_TRUE(MessageLoop::Current().AdvanceBy(350));
    EXPECT_EQ(TimesOf(WM_TIMER, 1), (std::vector<uint64_t>{1100, 1200, 1300}));
    EXPECT_EQ(clock.nowMs(), 1350u);
    EXPECT_EQ(MessageLoop::Current().MillisecondsToNextTimer(), 50);
    ASSERT_TRUE(KillTimer(w, 1));
    EXPECT_FALSE(KillTimer(w, 1));
    MessageLoop::Current().AdvanceBy(1000);
    EXPECT_EQ(TimesOf(WM_TIMER, 1).size(), 3u);
    EXPECT_EQ(MessageLoop::Current().MillisecondsToNextTimer(), -1);
}

TEST_F(MessageLoopTest, SettingATimerAgainRestartsItWithTheNewPeriod)
{
    HWND w = MakeWindow();
    SetTimer(w, 7, 100, nullptr);
    MessageLoop::Current().AdvanceBy(150);  // ticks at 1100
    SetTimer(w, 7, 200, nullptr);           // at 1150: next at 1350, not 1200
    MessageLoop::Current().AdvanceTo(1800);
    EXPECT_EQ(TimesOf(WM_TIMER, 7), (std::vector<uint64_t>{1100, 1350, 1550, 1750}));
}

TEST_F(MessageLoopTest, TimersOfOneWindowAreKeptApartByIdAndPeriodsBelowTheMinimumAreRaised)
{
    HWND w = MakeWindow();
    SetTimer(w, 1, 0, nullptr);
    SetTimer(w, 2, 25, nullptr);
    MessageLoop::Current().AdvanceBy(50);
    EXPECT_EQ(TimesOf(WM_TIMER, 1), (std::vector<uint64_t>{1010, 1020, 1030, 1040, 1050}));
    EXPECT_EQ(TimesOf(WM_TIMER, 2), (std::vector<uint64_t>{1025, 1050}));
    EXPECT_EQ(SetTimer(UlongToHwnd(0x7FFFFFF0), 1, 10, nullptr), 0u);  // no such window
}

TEST_F(MessageLoopTest, PostedMessagesComeBeforeATimerThatIsDue)
{
    HWND w = MakeWindow();
    SetTimer(w, 1, 10, nullptr);
    clock.Advance(10);
    PostMessageA(w, WM_USER, 0, 0);
    MessageLoop::Current().RunUntilIdle();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].msg, static_cast<UINT>(WM_USER));
    EXPECT_EQ(received[1].msg, static_cast<UINT>(WM_TIMER));
}

std::vector<UINT_PTR> g_procTicks;
void RecordTick(HWND, UINT, UINT_PTR id, DWORD) { g_procTicks.push_back(id); }

TEST_F(MessageLoopTest, ThreadTimerWithProcedureGetsItsOwnIdAndCallsTheProcedure)
{
    g_procTicks.clear();
    UINT_PTR a = SetTimer(nullptr, 0, 100, RecordTick);
    UINT_PTR b = SetTimer(nullptr, 0, 100, RecordTick);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(SetTimer(nullptr, a, 300, RecordTick), a);  // an existing thread timer keeps its id
    MessageLoop::Current().AdvanceBy(300);
    EXPECT_EQ(g_procTicks, (std::vector<UINT_PTR>{b, b, a, b}));  // at 1300 both, oldest first
    KillTimer(nullptr, a);
    KillTimer(nullptr, b);
}

TEST_F(MessageLoopTest, QuitEndsTheLoopAfterTheMessagesAlreadyPosted)
{
    HWND w = MakeWindow();
    PostMessageA(w, WM_USER, 1, 0);
    PostQuitMessage(5);
    PostMessageA(w, WM_USER, 2, 0);
    EXPECT_EQ(MessageLoop::Current().RunUntilIdle(), 2u);
    EXPECT_TRUE(MessageLoop::Current().QuitPending());
    EXPECT_EQ(MessageLoop::Current().Run(), 5);
    EXPECT_FALSE(MessageLoop::Current().QuitPending());
    EXPECT_EQ(received.size(), 2u);

    // A handler that quits ends Run as well, and a posted WM_QUIT counts as a quit.
    onMessage = [](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_USER + 1) PostQuitMessage(9);
        return 0;
    };
    PostMessageA(w, WM_USER + 1, 0, 0);
    EXPECT_EQ(MessageLoop::Current().Run(), 9);
    PostMessageA(nullptr, WM_QUIT, 3, 0);
    MSG m;
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(m.wParam, 3u);
}

TEST_F(MessageLoopTest, SendCallsTheHandlerDirectlyAndReturnsItsResult)
{
    HWND w = MakeWindow();
    onMessage = [](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT { return msg == WM_USER ? w * 10 + l : 0; };
    EXPECT_EQ(SendMessageA(w, WM_USER, 4, 2), 42);
    EXPECT_EQ(received.size(), 1u);
    EXPECT_EQ(MessageLoop::Current().PendingCount(), 0u);
}

TEST_F(MessageLoopTest, DestroyedWindowGetsWmDestroyLosesItsTimersAndRefusesPosts)
{
    std::vector<UINT> lifecycle;
    HWND w = winport::CreateMessageWindow("Life", [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        lifecycle.push_back(msg);
        return 0;
    });
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(IsWindow(w));
    SetTimer(w, 1, 10, nullptr);
    PostMessageA(w, WM_USER, 0, 0);
    ASSERT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(IsWindow(w));
    MessageLoop::Current().AdvanceBy(100);
    EXPECT_EQ(lifecycle, (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
    EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(DestroyWindow(w));

    // WM_CLOSE through the default handling destroys the window, once, also when the handler
    // destroys it again on WM_DESTROY.
    int destroys = 0;
    HWND d = winport::CreateMessageWindow("Plain", [&](HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg == WM_DESTROY) {
            ++destroys;
            EXPECT_FALSE(DestroyWindow(hwnd));
        }
        return DefWindowProcA(hwnd, msg, wp, lp);
    });
    PostMessageA(d, WM_CLOSE, 0, 0);
    MessageLoop::Current().RunUntilIdle();
    EXPECT_FALSE(IsWindow(d));
    EXPECT_EQ(destroys, 1);
}

// Handles start again in each runtime folder, so a window made later may get the handle of a
// destroyed one: it receives nothing that was posted to the destroyed window.
TEST_F(MessageLoopTest, MessagesNotYetTakenGoWithTheirDestroyedWindow)
{
    HWND old = MakeWindow();
    HWND other = MakeWindow();
    ASSERT_TRUE(PostMessageA(old, WM_APP + 17, 1, 2));
    ASSERT_TRUE(PostMessageA(other, WM_APP + 18, 3, 4));
    ASSERT_TRUE(PostMessageA(old, WM_APP + 19, 5, 6));
    ASSERT_TRUE(DestroyWindow(old));
    EXPECT_EQ(MessageLoop::Current().PendingCount(), 1u);

    TestEnvironment nextFolder;
    HWND reused = MakeWindow();
    ASSERT_EQ(reused, old);
    ASSERT_TRUE(PostMessageA(reused, WM_APP + 20, 7, 8));
    MessageLoop::Current().RunUntilIdle();
    EXPECT_EQ(received, (std::vector<Received>{{other, WM_APP + 18, 3, 4, 0}, {reused, WM_APP + 20, 7, 8, 0}}));
}

TEST_F(MessageLoopTest, HandlerRefusingCreationGivesNoWindow)
{
    HWND w = winport::CreateMessageWindow("Refuse", [](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        return msg == WM_CREATE ? -1 : 0;
    });
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(FindWindowA("Refuse", nullptr), nullptr);
    EXPECT_EQ(winport::CreateMessageWindow("", nullptr), nullptr);
}

TEST_F(MessageLoopTest, FullQueueRefusesThePost)
{
    HWND w = MakeWindow();
    for (unsigned i = 0; i < WINPORT_QUEUE_LIMIT; ++i) ASSERT_TRUE(PostMessageA(w, WM_USER, i, 0));
    EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_QUOTA));
    EXPECT_EQ(MessageLoop::Current().RunUntilIdle(), WINPORT_QUEUE_LIMIT);
    EXPECT_TRUE(PostMessageA(w, WM_USER, 0, 0));
}

TEST_F(MessageLoopTest, FindWindowFindsTheNewestTopLevelWindowOfAClassIgnoringCase)
{
    HWND first = MakeWindow("CantleStatusWindow");
    HWND second = MakeWindow("CantleStatusWindow");
    MakeWindow("CantleStatusWindow", {second, true});  // a child is never found
    EXPECT_EQ(FindWindowA("cantlestatuswindow", nullptr), second);
    DestroyWindow(second);
    EXPECT_EQ(FindWindowA("CantleStatusWindow", nullptr), first);
    EXPECT_EQ(FindWindowA("CantleStatusWindow", "title"), nullptr);
    EXPECT_EQ(FindWindowA("NoSuchClass", nullptr), nullptr);
    EXPECT_STREQ(winport::WindowClassName(first), "CantleStatusWindow");
}

TEST_F(MessageLoopTest, BroadcastReachesEveryTopLevelWindowButNotChildren)
{
    HWND a = MakeWindow("A");
    HWND b = MakeWindow("B", {nullptr, false});
    HWND child = MakeWindow("C", {a, true});
    EXPECT_TRUE(PostMessageA(HWND_BROADCAST, WM_APP + 3, 1, 2));
    MessageLoop::Current().RunUntilIdle();
    std::vector<HWND> got;
    for (const auto& r : received) got.push_back(r.hwnd);
    EXPECT_EQ(got.size(), 2u);
    EXPECT_NE(std::find(got.begin(), got.end(), a), got.end());
    EXPECT_NE(std::find(got.begin(), got.end(), b), got.end());
    EXPECT_EQ(std::find(got.begin(), got.end(), child), got.end());
}

TEST_F(MessageLoopTest, HandlesAreUniqueThirtyTwoBitValues)
{
    HWND a = MakeWindow();
    HWND b = MakeWindow();
    EXPECT_NE(a, b);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) >> 32, 0u);
    EXPECT_GE(HandleToUlong(a), 0x10000u);
}

TEST(RegisteredMessages, SameNameSameNumberIgnoringCaseAndInvalidNamesGetNone)
{
    TestEnvironment env;
    UINT a = RegisterWindowMessageA("Automation Event Notication");
    UINT b = RegisterWindowMessageA("Automation Needs Status");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_NE(a, b);
    EXPECT_EQ(RegisterWindowMessageA("AUTOMATION EVENT NOTICATION"), a);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    EXPECT_EQ(RegisterWindowMessageA(nullptr), 0u);
    EXPECT_EQ(RegisterWindowMessageA("two\nlines"), 0u);
    EXPECT_EQ(RegisterWindowMessageA(std::string(256, 'x').c_str()), 0u);
    EXPECT_NE(RegisterWindowMessageA(std::string(255, 'x').c_str()), 0u);
}

// Threaded cases: run under ThreadSanitizer.

TEST(MessageLoopThreads, PostsFromManyThreadsAllArriveInEachThreadsOrder)
{
    TestEnvironment env;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;
    std::vector<int> lastSeen(kThreads, -1);
    int total = 0;
    bool ordered = true;
    HWND w = winport::CreateMessageWindow("Sink", [&](HWND, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg != WM_USER) return 0;
        if (static_cast<int>(lp) != lastSeen[wp] + 1) ordered = false;
        lastSeen[wp] = static_cast<int>(lp);
        if (++total == kThreads * kPerThread) PostQuitMessage(0);
        return 0;
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([w, t] {
            for (int i = 0; i < kPerThread;) {
                if (PostMessageA(w, WM_USER, t, i)) ++i;
                else std::this_thread::yield();  // queue full: the loop is behind
            }
        });
    }
    EXPECT_EQ(MessageLoop::Current().Run(), 0);
    for (auto& t : threads) t.join();
    EXPECT_EQ(total, kThreads * kPerThread);
    EXPECT_TRUE(ordered);
    DestroyWindow(w);
}

TEST(MessageLoopThreads, WaitDescriptorSignalsAPostFromAnotherThread)
{
    TestEnvironment env;
    MessageLoop& loop = MessageLoop::Current();
    loop.RunUntilIdle();
    pollfd p{loop.WaitDescriptor(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0);
    DWORD tid = GetCurrentThreadId();
    std::thread poster([tid] { PostThreadMessageA(tid, WM_APP + 1, 0, 0); });
    EXPECT_EQ(::poll(&p, 1, 5000), 1);
    poster.join();
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_APP + 1));
    loop.RunUntilIdle();
    EXPECT_EQ(::poll(&p, 1, 0), 0);
}

TEST(MessageLoopThreads, SendFromAnotherThreadIsRefusedAndPostingReachesTheOwner)
{
    TestEnvironment env;
    std::atomic<int> calls{0};
    HWND w = winport::CreateMessageWindow("Owner", [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == WM_USER) ++calls;
        return 1;
    });
    std::atomic<LRESULT> sendResult{-5};
    std::atomic<DWORD> error{0};
    std::atomic<BOOL> destroyed{TRUE};
    std::thread other([&] {
        sendResult = SendMessageA(w, WM_USER, 0, 0);
        error = GetLastError();
        destroyed = DestroyWindow(w);
        PostMessageA(w, WM_USER, 0, 0);
    });
    other.join();
    EXPECT_EQ(sendResult.load(), 0);
    EXPECT_EQ(error.load(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(destroyed.load());
    EXPECT_EQ(calls.load(), 0);
    MessageLoop::Current().RunUntilIdle();
    EXPECT_EQ(calls.load(), 1);
    DestroyWindow(w);
}

TEST(MessageLoopThreads, WindowsOfAThreadThatEndsAreGone)
{
    TestEnvironment env;
    HWND w = nullptr;
    std::thread t([&] { w = winport::CreateMessageWindow("Transient", nullptr); });
    t.join();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(PostMessageA(w, WM_USER, 0, 0));
}

// Tests run one after another on one thread: a test can end the thread's loop, as the thread's
// end would, and leave nothing of it to the next.
TEST(MessageLoopThreads, AnEndedLoopLeavesTheThreadWithoutOne)
{
    TestEnvironment env;
    std::thread([] {
        HWND w = winport::CreateMessageWindow("Ended", nullptr);
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(PostMessageA(w, WM_USER, 1, 0));
        ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER, 2, 0));
        PostQuitMessage(3);
        ASSERT_EQ(1u, SetTimer(nullptr, 0, 10, nullptr));

        MessageLoop::EndCurrentForTesting();
        EXPECT_FALSE(IsWindow(w));
        EXPECT_FALSE(PostThreadMessageA(GetCurrentThreadId(), WM_USER, 4, 0)) << "the thread runs no loop";

        MessageLoop& loop = MessageLoop::Current();  // a new one
        EXPECT_FALSE(loop.QuitPending());
        EXPECT_EQ(0u, loop.PendingCount());
        EXPECT_FALSE(loop.NextTimerDue().has_value());
        EXPECT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER, 5, 0));
        MSG m{};
        ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
        EXPECT_EQ(5u, m.wParam);
        MessageLoop::EndCurrentForTesting();
        MessageLoop::EndCurrentForTesting();  // a thread without a loop: nothing to end
    }).join();
}

}  // namespace
