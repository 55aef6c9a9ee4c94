#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "winport/Events.h"

namespace {

// Closes the handles of a test, and checks that none is left open.
class EventsTest : public ::testing::Test {
protected:
    void SetUp() override { m_before = winport::OpenWaitHandleCount(); }
    void TearDown() override { EXPECT_EQ(winport::OpenWaitHandleCount(), m_before); }
    int m_before = 0;
};

TEST_F(EventsTest, ResetKindsAndInitialState)
{
    struct Case {
        BOOL manual, initial;
        DWORD firstWait, secondWait;
    };
    const Case cases[] = {
        {FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},   // auto reset: one wait takes it
        {TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},   // manual: stays until reset
        {TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "manual " << c.manual << " initial " << c.initial);
        HANDLE e = CreateEventA(nullptr, c.manual, c.initial, nullptr);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(WaitForSingleObject(e, 0), c.firstWait);
        EXPECT_EQ(WaitForSingleObject(e, 0), c.secondWait);
        // Setting twice is still one signal.
        EXPECT_TRUE(SetEvent(e));
        EXPECT_TRUE(SetEvent(e));
        EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(e, 0), c.manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
        EXPECT_TRUE(ResetEvent(e));
        EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
        EXPECT_TRUE(CloseHandle(e));
    }
}

TEST_F(EventsTest, NameReachesTheSameEventWhileAHandleIsOpen)
{
    HANDLE a = CreateEventA(nullptr, FALSE, FALSE, "m_eTransmit3");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    HANDLE b = CreateEventA(nullptr, TRUE, TRUE, "m_eTransmit3");  // kind and state of the first stay
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_NE(a, b);
    HANDLE other = CreateEventA(nullptr, FALSE, FALSE, "m_eTransmit4");
    HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, "m_eTransmit3");
    ASSERT_NE(opened, nullptr);

    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
    SetEvent(b);
    EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);  // auto reset, taken through the other handle

    // Closing one handle keeps the event; closing the last one ends it and frees the name.
    SetEvent(a);
    CloseHandle(a);
    CloseHandle(opened);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
    CloseHandle(b);
    EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "m_eTransmit3"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HANDLE fresh = CreateEventA(nullptr, FALSE, FALSE, "m_eTransmit3");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT);
    CloseHandle(fresh);
    CloseHandle(other);
}

TEST_F(EventsTest, WaitForAnyGivesTheLowestSignalledIndexAndTakesOnlyIt)
{
    HANDLE e[3] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr),
                   CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, 0), WAIT_TIMEOUT);
    SetEvent(e[2]);
    SetEvent(e[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, e, FALSE, 0), WAIT_OBJECT_0 + 2);  // manual stays set
    for (HANDLE h : e) CloseHandle(h);
}

TEST_F(EventsTest, WaitForAllTakesAutoResetEventsOnlyWhenAllAreSignalled)
{
    HANDLE e[2] = {CreateEventA(nullptr, FALSE, TRUE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(2, e, TRUE, 20), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(e[0], 0), WAIT_OBJECT_0);  // still set after the failed wait
    SetEvent(e[0]);
    SetEvent(e[1]);
    EXPECT_EQ(WaitForMultipleObjects(2, e, TRUE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, e, FALSE, 0), WAIT_TIMEOUT);
    for (HANDLE h : e) CloseHandle(h);
}

TEST_F(EventsTest, ADescriptorWaitsBesideAnEventWithoutBeingRead)
{
    int sv[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    HANDLE abort = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE readable = winport::CreateDescriptorHandle(sv[0]);
    HANDLE both[2] = {readable, abort};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_TIMEOUT);
    ASSERT_EQ(::write(sv[1], "x", 1), 1);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);  // the byte is still there
    char c;
    ASSERT_EQ(::read(sv[0], &c, 1), 1);
    SetEvent(abort);
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0 + 1);
    // The event's own descriptor is pollable by others too.
    EXPECT_GE(winport::EventDescriptor(abort), 0);
    EXPECT_EQ(winport::EventDescriptor(readable), -1);
    // A peer that hangs up ends the wait.
    ::close(sv[1]);
    EXPECT_EQ(WaitForSingleObject(readable, 0), WAIT_OBJECT_0);
    CloseHandle(readable);
    CloseHandle(abort);
    ::close(sv[0]);
}

TEST_F(EventsTest, BadHandlesAndCountsFail)
{
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE stale = e;
    CloseHandle(e);
    struct Case {
        DWORD count;
        HANDLE handle;
        DWORD error;
    };
    const Case cases[] = {
        {1, stale, ERROR_INVALID_HANDLE},
        {1, nullptr, ERROR_INVALID_HANDLE},
        {1, INVALID_HANDLE_VALUE, ERROR_INVALID_HANDLE},
        {0, nullptr, ERROR_INVALID_PARAMETER},
        {MAXIMUM_WAIT_OBJECTS + 1, nullptr, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        std::vector<HANDLE> handles(std::max<DWORD>(c.count, 1), c.handle);
        EXPECT_EQ(WaitForMultipleObjects(c.count, handles.data(), FALSE, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(c.error));
    }
    EXPECT_FALSE(SetEvent(stale));
    EXPECT_FALSE(ResetEvent(stale));
    EXPECT_FALSE(CloseHandle(stale));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // Waiting for all needs each object once.
    HANDLE f = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    HANDLE twice[2] = {f, f};
    EXPECT_EQ(WaitForMultipleObjects(2, twice, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForMultipleObjects(2, twice, FALSE, 0), WAIT_OBJECT_0);
    CloseHandle(f);
}

TEST_F(EventsTest, ATimedWaitLastsItsTime)
{
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(e, 30), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    CloseHandle(e);
}

// Two threads hand a turn back and forth through two auto-reset events met by name: every
// signal wakes the other side exactly once, none is lost or doubled.
TEST(EventsThreads, PingPongByNameLosesNoSignal)
{
    constexpr int kRounds = 2000;
    std::atomic<int> seen{0};
    std::thread other([&] {
        HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, "EventsThreadsPing");
        HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, "EventsThreadsPong");
        for (int i = 0; i < kRounds; ++i) {
            if (WaitForSingleObject(ping, 10000) != WAIT_OBJECT_0) break;
            seen.fetch_add(1);
            SetEvent(pong);
        }
        CloseHandle(ping);
        CloseHandle(pong);
    });
    HANDLE ping = CreateEventA(nullptr, FALSE, FALSE, "EventsThreadsPing");
    HANDLE pong = CreateEventA(nullptr, FALSE, FALSE, "EventsThreadsPong");
    int answered = 0;
    for (int i = 0; i < kRounds; ++i) {
        SetEvent(ping);
        if (WaitForSingleObject(pong, 10000) != WAIT_OBJECT_0) break;
        ++answered;
        EXPECT_EQ(seen.load(), answered);
    }
    other.join();
    EXPECT_EQ(answered, kRounds);
    EXPECT_EQ(WaitForSingleObject(pong, 0), WAIT_TIMEOUT);
    CloseHandle(ping);
    CloseHandle(pong);
}

// Many waiters on one auto-reset event: each signal releases exactly one of them.
TEST(EventsThreads, EachSignalOfAnAutoResetEventReleasesOneWaiter)
{
    constexpr int kWaiters = 4;
    constexpr int kSignals = 400;
    HANDLE e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE taken = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < kWaiters; ++i) {
        waiters.emplace_back([&] {
            HANDLE both[2] = {done, e};
            while (WaitForMultipleObjects(2, both, FALSE, 10000) == WAIT_OBJECT_0 + 1) {
                woken.fetch_add(1);
                SetEvent(taken);
            }
        });
    }
    for (int i = 0; i < kSignals; ++i) {
        SetEvent(e);
        ASSERT_EQ(WaitForSingleObject(taken, 10000), WAIT_OBJECT_0);
    }
    SetEvent(done);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken.load(), kSignals);
    CloseHandle(e);
    CloseHandle(done);
    CloseHandle(taken);
}

}  // namespace
