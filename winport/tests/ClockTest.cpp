#include <gtest/gtest.h>

#include <thread>

#include <chrono>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "winport/Clock.h"
#include "winport/MessageLoop.h"
#include "winport/Window.h"

namespace {

uint64_t Ticks(const FILETIME& ft) { return (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime; }

TEST(SystemTimeToFileTime, CountsHundredNanosecondsSince1601AndRefusesImpossibleDates)
{
    struct Case {
        SYSTEMTIME st;
        BOOL ok;
        uint64_t ticks;
    } cases[] = {
        {{1601, 1, 1, 1, 0, 0, 0, 0}, TRUE, 0},
        {{1970, 1, 4, 1, 0, 0, 0, 0}, TRUE, 116444736000000000ull},  // the Unix epoch (day of week not read)
        {{2024, 2, 4, 29, 12, 0, 0, 500}, TRUE, 133536816005000000ull},
        {{1900, 2, 0, 29, 0, 0, 0, 0}, FALSE, 0},  // not a leap year
        {{2000, 2, 0, 29, 0, 0, 0, 0}, TRUE, 125962560000000000ull},
        {{1600, 12, 0, 31, 0, 0, 0, 0}, FALSE, 0},
        {{2024, 13, 0, 1, 0, 0, 0, 0}, FALSE, 0},
        {{2024, 4, 0, 31, 0, 0, 0, 0}, FALSE, 0},
        {{2024, 4, 0, 30, 24, 0, 0, 0}, FALSE, 0},
        {{2024, 4, 0, 30, 23, 59, 59, 1000}, FALSE, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.st.wYear << "-" << c.st.wMonth << "-" << c.st.wDay);
        FILETIME ft{7, 7};
        EXPECT_EQ(SystemTimeToFileTime(&c.st, &ft), c.ok);
        EXPECT_EQ(Ticks(ft), c.ok ? c.ticks : (uint64_t{7} << 32 | 7));
    }
}

// A close request ends a long real sleep at once, from another thread, and every later one.
TEST(ClockThreads, CloseRequestEndsSleeps)
{
    const auto started = std::chrono::steady_clock::now();
    std::thread requester([] { winport::RequestProgramClose(); });
    EXPECT_TRUE(winport::SleepUnlessCloseRequested(60000));
    requester.join();
    EXPECT_TRUE(winport::SleepUnlessCloseRequested(60000));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    winport::ResetProgramCloseRequest();
    EXPECT_FALSE(winport::ProgramCloseRequested());
    EXPECT_FALSE(winport::SleepUnlessCloseRequested(1));
}

// A WM_CLOSE posted to a window of the sleeping thread ends its sleep at once and stays for
// the window; the sleep counts as a close request from then on.
TEST(ClockThreads, WindowCloseMessageEndsSleeps)
{
    int closes = 0;
    HWND window = winport::CreateMessageWindow("SleepingProgram", [&](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        closes += message == WM_CLOSE;
        return 0;
    });
    ASSERT_NE(nullptr, window);
    const auto started = std::chrono::steady_clock::now();
    std::thread poster([window] { PostMessageA(window, WM_CLOSE, 0, 0); });
    EXPECT_TRUE(winport::SleepUnlessCloseRequested(60000));
    poster.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(winport::ProgramCloseRequested());
    winport::MessageLoop::Current().RunUntilIdle();
    EXPECT_EQ(1, closes);
    winport::ResetProgramCloseRequest();
    DestroyWindow(window);
}

// A message the thread's loop has already taken leaves its wake-up behind (as the last message
// a loop runs does); a WM_CLOSE posted later still ends the sleep at once.
TEST(ClockThreads, AWakeUpLeftByATakenMessageDoesNotHideALaterClose)
{
    HWND window = winport::CreateMessageWindow("SleepingProgram", [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    ASSERT_NE(nullptr, window);
    winport::MessageLoop& loop = winport::MessageLoop::Current();
    loop.RunUntilIdle();
    ASSERT_TRUE(PostMessageA(window, WM_USER, 0, 0));
    MSG taken;
    ASSERT_TRUE(loop.Peek(&taken, nullptr, 0, 0, PM_REMOVE));
    const auto started = std::chrono::steady_clock::now();
    std::thread poster([window] { PostMessageA(window, WM_CLOSE, 0, 0); });
    EXPECT_TRUE(winport::SleepUnlessCloseRequested(60000));
    poster.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    loop.RunUntilIdle();
    winport::ResetProgramCloseRequest();
    DestroyWindow(window);
}

}  // namespace

namespace {
int64_t fixedWallClock() { return 1793869650123;  /* 2026-11-05 09:07:30.123 UTC */ }
}  // namespace

TEST(WallClock, AnInstalledSourceIsTheDateAndTimeOfBothReadings)
{
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    ::setenv("TZ", "CET-1", 1);  // one hour east of UTC, no daylight saving
    ::tzset();
    winport::SetWallClockSource(&fixedWallClock);
    SYSTEMTIME local{}, utc{};
    GetLocalTime(&local);
    GetSystemTime(&utc);
    winport::SetWallClockSource(nullptr);
    if (oldTz) ::setenv("TZ", savedTz.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ((std::vector<int>{2026, 11, 5, 9, 7, 30, 123}),
              (std::vector<int>{utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond, utc.wMilliseconds}));
    EXPECT_EQ(10, local.wHour);
    EXPECT_EQ(4, local.wDayOfWeek);  // a Thursday
    SYSTEMTIME now{};
    GetSystemTime(&now);
    EXPECT_GE(now.wYear, 2024);  // the system's time again
}
