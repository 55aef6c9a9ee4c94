// The user-interface thread's loop in real time, for tests against other processes.
#pragma once

#include <chrono>
#include <cstddef>
#include <poll.h>
#include <thread>

#include "winport/MessageLoop.h"

/// Runs this thread's loop until done() holds, at most timeoutMs; the last value of done().
template <class Condition>
bool RunLoopUntil(Condition done, int timeoutMs)
{
    auto& loop = winport::MessageLoop::Current();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        loop.RunUntilIdle();
        if (done()) return true;
        int64_t next = loop.MillisecondsToNextTimer();
        int wait = next < 0 || next > 5 ? 5 : static_cast<int>(next);
        pollfd p{loop.WaitDescriptor(), POLLIN, 0};
        ::poll(&p, 1, wait);
    }
    loop.RunUntilIdle();
    return done();
}

/// Runs this thread's loop for ms milliseconds.
inline void RunLoopFor(int ms)
{
    RunLoopUntil([] { return false; }, ms);
}

/// Runs this thread's loop until done() holds, for at most ten seconds (a peer process or
/// thread on a busy machine); the last value of done().
template <class Condition>
bool PumpUntil(Condition done)
{
    return RunLoopUntil(done, 10000);
}

/// Waits, without dispatching, until n messages wait in this thread's queue (at most ten
/// seconds).
inline bool WaitPending(size_t n)
{
    for (int i = 0; i < 2000; ++i) {
        if (winport::MessageLoop::Current().PendingCount() >= n) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}
