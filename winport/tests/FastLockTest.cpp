#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

#include "winport/FastLock.h"

namespace {

// True when another thread can take the section at this moment.
bool freeForOthers(CFastCriticalSection& cs)
{
    bool got = false;
    std::thread probe([&] {
        got = cs.TryLock();
        if (got) cs.Unlock();
    });
    probe.join();
    return got;
}

TEST(FastLockTest, NestedGuardsLockTwiceAndUnlockTwice)
{
    CFastCriticalSection cs;
    {
        CFastSingleLock outer(&cs, TRUE);
        {
            CFastSingleLock inner(&cs, TRUE);
            EXPECT_TRUE(cs.IsHeldByCurrentThread());
        }
        EXPECT_TRUE(cs.IsHeldByCurrentThread());
    }
    EXPECT_FALSE(cs.IsHeldByCurrentThread());
    EXPECT_TRUE(freeForOthers(cs));
}

TEST(FastLockTest, ExceptionLeavingGuardedBlockReleases)
{
    CFastCriticalSection cs;
    try {
        CFastSingleLock lock(&cs, TRUE);
        throw std::runtime_error("leave");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(cs.IsHeldByCurrentThread());
    EXPECT_TRUE(freeForOthers(cs));
}

TEST(FastLockTest, GuardWithoutLockReleasesNothing)
{
    CFastCriticalSection cs;
    cs.Lock();  // held outside any guard
    {
        CFastSingleLock lock(&cs, FALSE);
        EXPECT_FALSE(lock.IsLocked());
    }
    EXPECT_TRUE(cs.IsHeldByCurrentThread());
    {
        CFastSingleLock lock(&cs, TRUE);
        lock.Unlock();
        lock.Unlock();  // a second unlock of the guard does nothing
    }
    EXPECT_TRUE(cs.IsHeldByCurrentThread());
    cs.Unlock();
    EXPECT_FALSE(cs.IsHeldByCurrentThread());
}

TEST(FastLockThreads, SurplusUnlockFromAnotherThreadKeepsOwnersLock)
{
    CFastCriticalSection cs;
    cs.Lock();
    std::thread other([&] { cs.Unlock(); });
    other.join();
    EXPECT_TRUE(cs.IsHeldByCurrentThread());
    EXPECT_FALSE(freeForOthers(cs));
    cs.Unlock();
}

TEST(FastLockThreads, TwoThreadsCountUnderTheLock)
{
    CFastCriticalSection cs;
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            CFastSingleLock lock(&cs, TRUE);
            ++counter;
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}

}  // namespace
