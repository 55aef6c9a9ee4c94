#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "ConsoleTypeFixture.h"
#include "trevanny/EventFilter.h"

namespace {

using Pairs = std::vector<std::pair<int, int>>;

Pairs pairsOf(const CEventFilter& f)
{
    Pairs out;
    for (INT_PTR i = 0; i < f.GetPairList().GetSize(); ++i) {
        WORD e = f.GetPairList()[i];
        out.push_back({e & 0xFF, e >> 8});
    }
    return out;
}

Pairs processControls(int process, std::initializer_list<int> controls)
{
    Pairs out;
    for (int c : controls) out.push_back({process, c});
    return out;
}

class EventFilterTest : public ConsoleTypeFixture {};

TEST_F(EventFilterTest, NewFilterPassesEverything)
{
    CEventFilter f;
    EXPECT_EQ(f.m_nStartTime, -1);
    EXPECT_EQ(f.m_nEndTime, -1);
    EXPECT_EQ(f.m_nNewStartTime, -1);
    EXPECT_EQ(f.m_nFirstProcess, 0);
    EXPECT_EQ(f.m_nEndProcess, 0);
    for (int p : {-1, 0, 35, 255, 256, 70000})
        for (int c : {-1, 0, 8, 255, 300}) EXPECT_TRUE(f.IsProcControlInFilter(p, c)) << p << " " << c;
    useConsoleType(3);
    f.TranslateFilter({0});
    EXPECT_TRUE(f.GetPairList().IsEmpty());
    EXPECT_TRUE(f.IsProcControlInFilter(7, 7));
}

TEST_F(EventFilterTest, InputsAndOutputsOnTheLargeConsoleInTableOrder)
{
    useConsoleType(3);
    CEventFilter f;
    f.TranslateFilter({enFilterInputsOutputs});
    Pairs expected;
    for (int c = 0; c < 9; ++c) expected.push_back({0, c});
    for (int p = 15; p <= 18; ++p)
        for (int c = 0; c < 7; ++c) expected.push_back({p, c});
    for (int c = 0; c < 9; ++c) expected.push_back({21, c});
    EXPECT_EQ(pairsOf(f), expected);
    EXPECT_EQ(expected.size(), 46u);
    EXPECT_TRUE(f.IsProcControlInFilter(17, 6));
    EXPECT_FALSE(f.IsProcControlInFilter(17, 7));
    EXPECT_FALSE(f.IsProcControlInFilter(14, 0));
}

TEST_F(EventFilterTest, SmallConsoleFadersTakePrecedenceOverMutesAndKeepDuplicates)
{
    useConsoleType(1);
    CEventFilter f;
    f.TranslateFilter({enFilterFaders | enFilterMutes});
    Pairs expected = processControls(0, {0, 1, 2, 2});
    expected.push_back({2, 4});
    expected.push_back({1, 2});
    EXPECT_EQ(pairsOf(f), expected);

    f.TranslateFilter({enFilterMutes | enFilterFaderLevels});
    expected = processControls(0, {0, 1, 2});
    expected.push_back({2, 4});
    expected.push_back({1, 2});
    EXPECT_EQ(pairsOf(f), expected);
}

TEST_F(EventFilterTest, PairCountsPerCategoryAndConsoleType)
{
    struct Case {
        int type;
        DWORD bits;
        int first, end;  // the process range
        int count;
    };
    const Case cases[] = {
        {3, 0x1, 0, 0, 46},     {2, 0x2, 0, 0, 4},      {4, 0x4, 0, 0, 1},     {5, 0x8, 0, 0, 64},
        {7, 0x20, 0, 0, 48},    {3, 0x40, 0, 0, 10},    {3, 0x80, 0, 0, 6},    {3, 0x400, 0, 0, 8},
        {3, 0x800, 0, 0, 2},    {3, 0x1000, 0, 0, 1},   {3, 0x4000, 0, 0, 108},
        {3, 0x2000, 0, 0, 0},   {3, 0x2000, 24, 28, 16}, {3, 0x100, 24, 28, 4}, {3, 0x200, 24, 28, 4},
        {3, 0x2300, 24, 28, 16}, {3, 0x300, 24, 28, 8},  {3, 0x2000, 28, 24, 0},
        {3, 0xFF0C0010, 0, 0, 0}, {3, 0xFFFFFFFF, 0, 0, 298},
        {1, 0x2, 0, 0, 6},      {1, 0x4, 0, 0, 3},      {1, 0x8000, 0, 0, 2},  {1, 0x8006, 0, 0, 6},
        {1, 0x8, 0, 0, 1},      {1, 0x100000, 0, 0, 1}, {1, 0x10000, 0, 0, 3}, {1, 0x20000, 0, 0, 2},
        {1, 0xE00000, 0, 0, 0}, {6, 0x200000, 0, 0, 1}, {6, 0x400000, 0, 0, 7}, {6, 0x800000, 0, 0, 4},
        {1, 0xFFFFFFFF, 0, 0, 13}, {6, 0xFFFFFFFF, 0, 0, 25}, {1, 0x1, 0, 0, 0},   {6, 0x4000, 0, 0, 0},
        // A range wider than a byte stops after 256 processes; a range across 255 wraps.
        {3, 0x2000, 0, 1000000000, 1024}, {3, 0x100, 250, 260, 10}, {3, 0x100, -2147483647, 2147483647, 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " bits " << std::hex << c.bits);
        useConsoleType(c.type);
        CEventFilter f;
        f.m_nFirstProcess = c.first;
        f.m_nEndProcess = c.end;
        f.TranslateFilter({c.bits});
        EXPECT_EQ(f.GetPairList().GetSize(), c.count);
    }
}

TEST_F(EventFilterTest, RangeProcessesAreTakenAsBytes)
{
    useConsoleType(3);
    CEventFilter f;
    f.m_nFirstProcess = 254;
    f.m_nEndProcess = 258;
    f.TranslateFilter({enFilterRangeControl3});
    EXPECT_EQ(pairsOf(f), (Pairs{{254, 3}, {255, 3}, {0, 3}, {1, 3}}));
}

TEST_F(EventFilterTest, ConsoleTypeOutsideTheKnownOnesSelectsNothing)
{
    useConsoleType(9);
    CEventFilter f;
    f.TranslateFilter({0xFFFFFFFF});
    EXPECT_TRUE(f.GetPairList().IsEmpty());
}

TEST_F(EventFilterTest, MembershipMapAgreesWithTheLinearRule)
{
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        CEventFilter f;
        std::vector<WORD> list;
        const int n = static_cast<int>(random() % 60);
        for (int i = 0; i < n; ++i) {
            // Mostly small numbers, so that hits are common, with the odd one up to 255.
            BYTE p = static_cast<BYTE>(random() % 4 == 0 ? random() % 256 : random() % 40);
            BYTE c = static_cast<BYTE>(random() % 4 == 0 ? random() % 256 : random() % 10);
            f.AddPair(p, c);
            list.push_back(static_cast<WORD>(p | c << 8));
        }
        if (round % 10 == 9) {
            f.RemoveAllPairs();
            list.clear();
        }
        for (int q = 0; q < 400; ++q) {
            int p = static_cast<int>(random() % 300) - 2;
            int c = static_cast<int>(random() % 300) - 2;
            if (q % 2 == 0 && !list.empty()) {
                WORD e = list[random() % list.size()];
                p = e & 0xFF;
                c = e >> 8;
            }
            bool linear = list.empty();
            for (WORD e : list) linear = linear || ((e & 0xFF) == p && (e >> 8) == c);
            ASSERT_EQ(f.IsProcControlInFilter(p, c) != 0, linear) << "round " << round << " (" << p << ", " << c << ")";
        }
    }
}

TEST_F(EventFilterTest, ClearKeepsTheProcessRangeAndCopiesTranslateAlike)
{
    useConsoleType(3);
    CEventFilter f;
    f.m_nStartTime = 10;
    f.m_nEndTime = 20;
    f.m_nNewStartTime = 30;
    f.m_ChannelList.Add(4);
    f.m_DestChannelList.Add(5);
    f.m_nFirstProcess = 30;
    f.m_nEndProcess = 33;
    f.TranslateFilter({enFilterRangeControls0To3 | enFilterMutes});

    CEventFilter copy(f);
    EXPECT_EQ(pairsOf(copy), pairsOf(f));
    EXPECT_EQ(copy.m_nNewStartTime, 30);
    EXPECT_EQ(copy.m_ChannelList.GetSize(), 1);
    EXPECT_EQ(copy.m_DestChannelList.GetSize(), 1);
    EXPECT_TRUE(copy.IsProcControlInFilter(31, 2));
    EXPECT_FALSE(copy.IsProcControlInFilter(31, 4));
    copy.TranslateFilter({enFilterRangeControl0});
    f.TranslateFilter({enFilterRangeControl0});
    EXPECT_EQ(pairsOf(copy), (Pairs{{30, 0}, {31, 0}, {32, 0}}));
    EXPECT_EQ(pairsOf(copy), pairsOf(f));

    f.Clear();
    EXPECT_EQ(f.m_nStartTime, -1);
    EXPECT_EQ(f.m_nEndTime, -1);
    EXPECT_EQ(f.m_nNewStartTime, -1);
    EXPECT_TRUE(f.m_ChannelList.IsEmpty());
    EXPECT_TRUE(f.m_DestChannelList.IsEmpty());
    EXPECT_TRUE(f.GetPairList().IsEmpty());
    EXPECT_TRUE(f.IsProcControlInFilter(31, 4));
    EXPECT_EQ(f.m_nFirstProcess, 30);
    EXPECT_EQ(f.m_nEndProcess, 33);
    EXPECT_FALSE(copy.IsProcControlInFilter(31, 4));  // the copy has its own lists
}

TEST_F(EventFilterTest, MatchTestsPathsInConstantTimeForAnyList)
{
    CEventFilter f;
    EventFilterMatch all(f);
    EXPECT_TRUE(all.PathPasses(0));
    EXPECT_TRUE(all.PathPasses(0xFFFFFFFF));

    for (int wide : {0, 1}) {
        CEventFilter g;
        for (int p : {7, 3, 1999}) g.m_ChannelList.Add(p);
        g.m_ChannelList.Add(wide ? 2000000000 : -1);  // -1 stands for path 0xFFFFFFFF
        g.AddPair(14, 0);
        EventFilterMatch m(g);
        for (DWORD p : {3u, 7u, 1999u}) EXPECT_TRUE(m.PathPasses(p)) << p;
        for (DWORD p : {0u, 2u, 4u, 2000u, 70000u}) EXPECT_FALSE(m.PathPasses(p)) << p;
        EXPECT_EQ(m.PathPasses(0xFFFFFFFF), wide == 0);
        EXPECT_EQ(m.PathPasses(2000000000), wide == 1);
        EXPECT_TRUE(m.Passes(CAutomationEvent(0, 7, 14, 0, 0)));
        EXPECT_FALSE(m.Passes(CAutomationEvent(0, 7, 14, 1, 0)));
        EXPECT_FALSE(m.Passes(CAutomationEvent(0, 8, 14, 0, 0)));
    }
}

}  // namespace
