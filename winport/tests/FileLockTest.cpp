// The exclusive file lock and the wake-up descriptor: the two small services that the instance
// lock, the temporary edit list and the serial monitor stand on.
#include <gtest/gtest.h>

#include <poll.h>

#include "TestEnvironment.h"
#include "winport/FileLock.h"
#include "winport/WakeDescriptor.h"

namespace {

using winport::FileLock;

TEST(FileLockTest, OneHolderAtATimeAndTheFileStays)
{
    TestEnvironment env;
    const std::string path = env.Path("list.lock");
    FileLock first, second;
    EXPECT_EQ(first.TryLock(path), FileLock::Result::Taken);
    EXPECT_TRUE(first.IsHeld());
    // A second holder, even in the same process, finds it taken and does not wait.
    EXPECT_EQ(second.TryLock(path), FileLock::Result::HeldElsewhere);
    EXPECT_FALSE(second.IsHeld());
    first.Release();
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(second.TryLock(path), FileLock::Result::Taken);
    // A file that cannot be made is a failure, not a lock held elsewhere.
    EXPECT_EQ(first.TryLock(env.Path("missing/list.lock")), FileLock::Result::Failed);
}

bool readable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

TEST(FileLockTest, WakeDescriptorSignalsFoldIntoOneWakeUp)
{
    winport::WakeDescriptor wake;
    ASSERT_GE(wake.Descriptor(), 0);
    EXPECT_FALSE(readable(wake.Descriptor()));
    wake.Signal();
    wake.Signal();
    EXPECT_TRUE(readable(wake.Descriptor()));
    wake.Drain();
    EXPECT_FALSE(readable(wake.Descriptor()));
    wake.Drain();  // nothing to take: returns at once
    EXPECT_FALSE(readable(wake.Descriptor()));
}

}  // namespace
