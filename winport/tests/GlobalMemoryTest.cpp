#include <gtest/gtest.h>

#include <unistd.h>

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

// Reserved pages: zero-filled and writable to their end; a block of a large page or more
// starts on a large-page boundary and takes whole large pages.
TEST(GlobalMemoryTest, ReservedPagesAreFreshAndAlignedToTheirPageSize)
{
    constexpr size_t kLargePage = size_t{2} << 20;
    struct Case {
        size_t bytes;
        size_t align;
    };
    for (const Case c : {Case{100, static_cast<size_t>(sysconf(_SC_PAGESIZE))}, Case{kLargePage, kLargePage}, Case{kLargePage + 1, kLargePage}}) {
        SCOPED_TRACE(c.bytes);
        size_t mapped = 0;
        auto* block = static_cast<unsigned char*>(winport::ReservePages(c.bytes, mapped));
        ASSERT_NE(block, nullptr);
        EXPECT_GE(mapped, c.bytes);
        EXPECT_EQ(mapped % c.align, 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % c.align, 0u);
        EXPECT_EQ(block[0], 0);
        EXPECT_EQ(block[mapped - 1], 0);
        block[mapped - 1] = 7;
        winport::FreeReservedPages(block, mapped);
    }
}

}  // namespace
