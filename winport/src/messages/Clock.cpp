#include "winport/Clock.h"

#include "messages/WindowInternal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>

namespace winport {

namespace {
SystemClock g_systemClock;
std::atomic<Clock*> g_clock{&g_systemClock};
// Made when the library loads, so that a signal handler never has to make it.
std::atomic<bool> g_closeRequested{false};
const int g_closeEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}  // namespace

void RequestProgramClose()
{
    g_closeRequested.store(true);
    if (g_closeEvent >= 0) {
        const uint64_t one = 1;
        ssize_t n = ::write(g_closeEvent, &one, sizeof one);
        (void)n;
    }
}

bool ProgramCloseRequested() { return g_closeRequested.load(); }

int ProgramCloseDescriptor() { return g_closeEvent; }

void ResetProgramCloseRequest()
{
    g_closeRequested.store(false);
    uint64_t count = 0;
    if (g_closeEvent >= 0) {
        ssize_t n = ::read(g_closeEvent, &count, sizeof count);
        (void)n;
    }
}

namespace {

/// A WM_CLOSE waiting for a window of this thread is a request to close the program.
bool closeRequestedOrWaiting()
{
    if (ProgramCloseRequested()) return true;
    if (!detail::CloseMessageWaiting()) return false;
    RequestProgramClose();
    return true;
}

}  // namespace

bool SleepUnlessCloseRequested(uint32_t ms)
{
    if (closeRequestedOrWaiting()) return true;
    if (&CurrentClock() != &g_systemClock || g_closeEvent < 0) {
        // Virtual time passes at once; a close requested meanwhile still counts.
        CurrentClock().sleepMs(ms);
        return closeRequestedOrWaiting();
    }
    // The thread's loop is watched until its first message: a WM_CLOSE ends the sleep; any
    // other message is left for the loop, which is then watched no more in this sleep. A
    // wake-up with no message behind it is cleared, and the loop watched on.
    int loop = detail::CurrentLoopDescriptor();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) return closeRequestedOrWaiting();
        pollfd p[2] = {{g_closeEvent, POLLIN, 0}, {loop, POLLIN, 0}};
        const int n = ::poll(p, loop >= 0 ? 2 : 1, static_cast<int>(left));
        if (n < 0 && errno != EINTR) return closeRequestedOrWaiting();
        if (p[0].revents || ProgramCloseRequested()) return true;
        if (loop >= 0 && p[1].revents) {
            const bool stale = detail::ClearStaleLoopWakeUp();
            if (closeRequestedOrWaiting()) return true;
            if (!stale) loop = -1;
        }
    }
}

uint64_t SystemClock::nowMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void SystemClock::sleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void ManualClock::sleepMs(uint32_t ms)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sleeps.push_back(ms);
    }
    Advance(ms);
}

void ManualClock::Advance(uint64_t ms)
{
    uint64_t now = m_now.fetch_add(ms) + ms;
    std::function<void(uint64_t)> hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        hook = m_onAdvance;
    }
    if (hook) hook(now);
}

void ManualClock::SetNow(uint64_t ms)
{
    m_now.store(ms);
    std::function<void(uint64_t)> hook;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        hook = m_onAdvance;
    }
    if (hook) hook(ms);
}

std::vector<uint32_t> ManualClock::Sleeps() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sleeps;
}

void ManualClock::ClearSleeps()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sleeps.clear();
}

void ManualClock::SetOnAdvance(std::function<void(uint64_t)> hook)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_onAdvance = std::move(hook);
}

Clock& CurrentClock() { return *g_clock.load(); }

void SetClock(Clock* clock) { g_clock.store(clock ? clock : &g_systemClock); }

}  // namespace winport

void Sleep(DWORD ms) { winport::CurrentClock().sleepMs(ms); }
DWORD GetTickCount() { return static_cast<DWORD>(winport::CurrentClock().nowMs()); }
DWORD timeGetTime() { return static_cast<DWORD>(winport::CurrentClock().nowMs()); }
UINT timeBeginPeriod(UINT) { return 0; }
UINT timeEndPeriod(UINT) { return 0; }

namespace {
std::atomic<winport::WallClockSource> g_wallClock{nullptr};

void fillSystemTime(SYSTEMTIME* st, bool local)
{
    if (!st) return;
    winport::WallClockSource source = g_wallClock.load();
    const int64_t nowMs = source ? source()
                                 : std::chrono::duration_cast<std::chrono::milliseconds>(
                                       std::chrono::system_clock::now().time_since_epoch())
                                       .count();
    std::time_t t = static_cast<std::time_t>(nowMs / 1000);
    int ms = static_cast<int>(nowMs % 1000);
    std::tm tm{};
    if (local) localtime_r(&t, &tm);
    else gmtime_r(&t, &tm);
    st->wYear = static_cast<WORD>(tm.tm_year + 1900);
    st->wMonth = static_cast<WORD>(tm.tm_mon + 1);
    st->wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    st->wDay = static_cast<WORD>(tm.tm_mday);
    st->wHour = static_cast<WORD>(tm.tm_hour);
    st->wMinute = static_cast<WORD>(tm.tm_min);
    st->wSecond = static_cast<WORD>(tm.tm_sec);
    st->wMilliseconds = static_cast<WORD>(ms);
}
}  // namespace

void winport::SetWallClockSource(WallClockSource source) { g_wallClock.store(source); }

void GetLocalTime(SYSTEMTIME* st) { fillSystemTime(st, true); }
void GetSystemTime(SYSTEMTIME* st) { fillSystemTime(st, false); }

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft)
{
    if (!st || !ft) return FALSE;
    const int y = st->wYear, m = st->wMonth, d = st->wDay;
    if (y < 1601 || y > 30827 || m < 1 || m > 12 || d < 1 || st->wHour > 23 || st->wMinute > 59 ||
        st->wSecond > 59 || st->wMilliseconds > 999)
        return FALSE;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return FALSE;
    // Days since 1 January 1601 (a proleptic Gregorian calendar, as the system counts).
    const int64_t years = y - 1601;
    int64_t days = years * 365 + years / 4 - years / 100 + years / 400;
    for (int i = 1; i < m; ++i) days += kDays[i - 1] + (i == 2 && leap ? 1 : 0);
    days += d - 1;
    const int64_t ms = ((days * 24 + st->wHour) * 60 + st->wMinute) * 60000 + st->wSecond * 1000 + st->wMilliseconds;
    const uint64_t ticks = static_cast<uint64_t>(ms) * 10000;
    ft->dwLowDateTime = static_cast<DWORD>(ticks);
    ft->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}
