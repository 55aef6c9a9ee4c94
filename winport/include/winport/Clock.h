// The clock that every timer, sleep and tick count of the system reads. Programs use the real
// clock; tests install a ManualClock and run in virtual time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "winport/WinTypes.h"

namespace winport {

class Clock {
public:
    virtual ~Clock() = default;
    /// Milliseconds since an arbitrary origin; never goes backwards.
    virtual uint64_t nowMs() = 0;
    /// Blocks the calling thread for ms milliseconds of this clock's time.
    virtual void sleepMs(uint32_t ms) = 0;
};

/// Monotonic real time.
class SystemClock : public Clock {
public:
    uint64_t nowMs() override;
    void sleepMs(uint32_t ms) override;
};

/// Virtual time for tests: time moves only by Advance or by a sleep, which advances the clock
/// at once by the time slept (and records it), so that code that sleeps runs without delay.
/// Safe from any thread.
class ManualClock : public Clock {
public:
    explicit ManualClock(uint64_t startMs = 1000) : m_now(startMs) {}
    uint64_t nowMs() override { return m_now.load(); }
    void sleepMs(uint32_t ms) override;
    void Advance(uint64_t ms);
    void SetNow(uint64_t ms);
    /// The sleeps taken so far, in order.
    std::vector<uint32_t> Sleeps() const;
    void ClearSleeps();
    /// Called after every change of time (from the thread that changed it).
    void SetOnAdvance(std::function<void(uint64_t)> hook);

private:
    std::atomic<uint64_t> m_now;
    mutable std::mutex m_mutex;
    std::vector<uint32_t> m_sleeps;
    std::function<void(uint64_t)> m_onAdvance;
};

/// The process-wide clock (the system clock unless a test installed another).
Clock& CurrentClock();
/// Installs a clock (nullptr restores the system clock). The caller keeps ownership.
void SetClock(Clock* clock);

/// Asks the program to close: the waits below end at once, now and from then on. Safe in a
/// signal handler and from any thread.
void RequestProgramClose();
bool ProgramCloseRequested();
/// A descriptor that polls readable from the close request on (-1 when none could be made),
/// for waits that run on an event loop of their own.
int ProgramCloseDescriptor();
/// Sleeps ms milliseconds of the current clock, unless a close is requested before or during
/// the sleep: then returns true at once. A WM_CLOSE that waits in the calling thread's loop
/// (another program's request to close one of its windows) is a close request too; it stays
/// in the queue for the window.
bool SleepUnlessCloseRequested(uint32_t ms);
/// Forgets a close request (tests).
void ResetProgramCloseRequest();

/// Installs a clock for the lifetime of a scope.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock) { SetClock(&clock); }
    ~ScopedClock() { SetClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
};

}  // namespace winport

void Sleep(DWORD ms);
DWORD GetTickCount();
DWORD timeGetTime();
UINT timeBeginPeriod(UINT period);
UINT timeEndPeriod(UINT period);
void GetLocalTime(SYSTEMTIME* st);
void GetSystemTime(SYSTEMTIME* st);

namespace winport {
/// The calendar time that GetLocalTime and GetSystemTime read, in milliseconds since 1970
/// (UTC). The system's unless a test installed a source; nullptr restores it.
using WallClockSource = int64_t (*)();
void SetWallClockSource(WallClockSource source);
}  // namespace winport
/// The time as 100-nanosecond intervals since 1 January 1601 (UTC when st is). FALSE, with *ft
/// untouched, for a field out of its range (year 1601 to 30827, month 1 to 12, a day the month
/// has, hour below 24, minute and second below 60, milliseconds below 1000).
BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft);
