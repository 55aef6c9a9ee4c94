#include <gtest/gtest.h>

#include "winport/Clock.h"
#include "winport/GlobalMemory.h"

namespace {

TEST(GlobalMemoryTest, ZeroFilledBlockLifecycle)
{
    HGLOBAL h = GlobalAlloc(0x2042, 64);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalSize(h), 64u);
    auto* p = static_cast<BYTE*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_EQ(GlobalFree(h), nullptr);
    // A freed or foreign handle is refused, not followed.
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GlobalSize(h), 0u);
    EXPECT_EQ(GlobalFree(h), h);
}

TEST(ClockTest, ManualClockDrivesSleepAndTicks)
{
    winport::ManualClock clock(5000);
    winport::ScopedClock scoped(clock);
    EXPECT_EQ(GetTickCount(), 5000u);
    Sleep(100);
    Sleep(110);
    EXPECT_EQ(GetTickCount(), 5210u);
    EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{100, 110}));
}

}  // namespace
