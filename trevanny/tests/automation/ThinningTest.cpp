// Thinning of an event array on its own filter: the burst rule by strength, the fader rule,
// what the filter, the times and the console type let through, the notifications, and the
// small tests the rules are made of.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "EventArrayFixture.h"

namespace {

constexpr int kFirstRouteProcess = 40;

class ThinningTest : public EventArrayFixture {
protected:
    void SetUp() override
    {
        EventArrayFixture::SetUp();
        usePathMode(3, 2);
    }
    // A burst of nine events on the pan of path 1 (process 1, control 1), one time unit apart
    // from `first`: steps of 10 but for the step of 5 into the fourth.
    static void burst(CAutomationEventArray& a, long first = 1)
    {
        const short values[] = {0, 10, 20, 25, 35, 45, 55, 65, 75};
        for (int k = 0; k < 9; ++k) a.Add(Ev(first + k, 1, 1, 1, values[k]));
    }
    static void onPath1(CAutomationEventArray& a)
    {
        a.m_Filter.Clear();
        a.m_Filter.m_ChannelList.Add(1);
    }
    CPathMap sections{"PathMap"};
};

}  // namespace

TEST_F(ThinningTest, StrengthPicksTheBurstWindowAndDuplicatesAreMergedFirst)
{
    struct Row {
        int strength;
        int returned;
        std::vector<long> pan;  // the pan times that stay
    };
    const Row rows[] = {
        {0, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9}},  // no burst window; the duplicate merged
        {1, 2, {1, 2, 3, 5, 6, 7, 8, 9}},     // window 8: the step of 5 goes
        {6, 4, {1, 3, 4, 6, 7, 9}},           // window 3: three times, each the first smallest step
        {7, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9}},  // outside the table: only the merge
        {-1, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "strength " << r.strength);
        CAutomationEventArray a;
        burst(a);
        // Two events of one control at one time on an unlisted path: the second value stays.
        a.InsertAt(3, Ev(3, 5, 14, 0, 111));
        a.InsertAt(4, Ev(3, 5, 14, 0, 222));
        onPath1(a);
        EXPECT_EQ(a.ThinAutoData(kFirstRouteProcess, sections, r.strength, 0), r.returned);
        std::vector<long> pan;
        int duplicates = 0;
        for (INT_PTR i = 0; i < a.GetSize(); ++i) {
            if (a[i].GetPath() == 1) pan.push_back(a[i].GetTime());
            if (a[i].GetPath() == 5) {
                ++duplicates;
                EXPECT_EQ(a[i].GetValue(), 222);
            }
        }
        EXPECT_EQ(pan, r.pan);
        EXPECT_EQ(duplicates, 1);
    }
    CAutomationEventArray empty;
    EXPECT_EQ(empty.ThinAutoData(kFirstRouteProcess, sections, 1, 3), 0);
    EXPECT_EQ(empty.GetSize(), 0);
}

TEST_F(ThinningTest, FaderRunKeepsItsFirstEventWhileTheNextStayWithinTheThreshold)
{
    for (int threshold : {3, 0}) {
        SCOPED_TRACE(testing::Message() << "threshold " << threshold);
        CAutomationEventArray a;
        for (int k = 0; k < 10; ++k) a.Add(Ev(k + 1, 1, 14, 0, static_cast<short>(k)));  // fader level, rising by 1
        onPath1(a);
        const int removed = a.ThinAutoData(kFirstRouteProcess, sections, 0, threshold);
        if (threshold == 0) {
            EXPECT_EQ(removed, 0);
            EXPECT_EQ(a.GetSize(), 10);
            continue;
        }
        EXPECT_EQ(removed, 6);
        EXPECT_EQ(times(a), (std::vector<long>{1, 5, 9, 10}));
        // Old values follow what stays: the first from the fader's default.
        EXPECT_EQ(oldValues(a), (std::vector<WORD>{static_cast<WORD>(-8192), 0, 4, 8}));
    }
}

TEST_F(ThinningTest, OnlyTheFiltersWindowChannelsAndPairsOnThinnableControlsAfterTimeZero)
{
    struct Row {
        const char* name;
        std::function<void(CAutomationEventArray&)> setup;
        int strength;
        std::vector<long> pan;
    };
    const std::vector<long> all{1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Row rows[] = {
        {"empty channel list", [](CAutomationEventArray& a) { a.m_Filter.m_ChannelList.RemoveAll(); }, 1, all},
        {"channels outside the paths beside path 1",
         [](CAutomationEventArray& a) {
             a.m_Filter.m_ChannelList.RemoveAll();
             for (int c : {-1, 2000, 1}) a.m_Filter.m_ChannelList.Add(c);
         },
         1, {1, 2, 3, 5, 6, 7, 8, 9}},
        {"only channels outside the paths",
         [](CAutomationEventArray& a) {
             a.m_Filter.m_ChannelList.RemoveAll();
             for (int c : {-1, 2000}) a.m_Filter.m_ChannelList.Add(c);
         },
         1, all},
        {"another pair", [](CAutomationEventArray& a) { a.m_Filter.AddPair(2, 1); }, 1, all},
        {"its pair", [](CAutomationEventArray& a) { a.m_Filter.AddPair(1, 1); }, 1, {1, 2, 3, 5, 6, 7, 8, 9}},
        {"a control never thinned",
         [](CAutomationEventArray& a) {
             for (INT_PTR i = 0; i < a.GetSize(); ++i) a[i] = Ev(a[i].GetTime(), 1, 1, 2, a[i].GetValue());
         },
         1, all},
        {"window 3 to 6: its four events, the first at or after 6 included",
         [](CAutomationEventArray& a) {
             a.m_Filter.m_nStartTime = 3;
             a.m_Filter.m_nEndTime = 6;
         },
         6, {1, 2, 3, 5, 6, 7, 8, 9}},
        {"window from 3 to the last event",
         [](CAutomationEventArray& a) {
             a.m_Filter.m_nStartTime = 3;
             a.m_Filter.m_nEndTime = -1;
         },
         6, {1, 2, 3, 5, 6, 8, 9}},
        {"a window of no more events than the burst", [](CAutomationEventArray& a) { a.m_Filter.m_nEndTime = 8; }, 1, all},
        {"a window that ends before it starts",
         [](CAutomationEventArray& a) {
             a.m_Filter.m_nStartTime = 7;
             a.m_Filter.m_nEndTime = 3;
         },
         6, all},
        {"times at or below 0",
         [](CAutomationEventArray& a) {
             for (INT_PTR i = 0; i < a.GetSize(); ++i) a[i].SetTime(a[i].GetTime() - 8);
         },
         1, {-7, -6, -5, -4, -3, -2, -1, 0, 1}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CAutomationEventArray a;
        burst(a);
        onPath1(a);
        r.setup(a);
        a.ThinAutoData(kFirstRouteProcess, sections, r.strength, 0);
        std::vector<long> pan;
        for (INT_PTR i = 0; i < a.GetSize(); ++i) pan.push_back(a[i].GetTime());
        EXPECT_EQ(pan, r.pan);
    }
}

TEST_F(ThinningTest, SmallConsolesThinWhateverThePairs)
{
    useConsoleType(1);
    CAutomationEventArray a;
    burst(a);
    onPath1(a);
    a.m_Filter.AddPair(2, 1);
    EXPECT_EQ(a.ThinAutoData(kFirstRouteProcess, sections, 1, 0), 1);
    EXPECT_EQ(a.GetSize(), 8);
}

TEST_F(ThinningTest, NotificationsStartAndEndWithTheCountAndStayBounded)
{
    NotificationRecorder status;
    const UINT message = NotificationRecorder::Message();
    // A long fader run in which nearly every event goes, and a duplicate merged first.
    CAutomationEventArray a;
    a.Add(Ev(1, 1, 14, 0, 0));
    for (int k = 1; k <= 20000; ++k) a.Add(Ev(k, 1, 14, 0, static_cast<short>(k / 8)));
    onPath1(a);
    const int removed = a.ThinAutoData(kFirstRouteProcess, sections, 0, 1000);
    EXPECT_GT(removed, 19000);
    const auto posts = status.Posts();
    ASSERT_GE(posts.size(), 3u);
    EXPECT_EQ(posts[0], (NotificationRecorder::Post{message, 33, 0}));
    EXPECT_EQ(posts[1], (NotificationRecorder::Post{message, 34, 1}));
    EXPECT_EQ(posts.back(), (NotificationRecorder::Post{message, 34, removed}));
    int percent = 0, removedPosts = 0, sorts = 0;
    for (const auto& p : posts) {
        percent += p.code == 33;
        removedPosts += p.code == 34;
        sorts += p.code == 31;
    }
    EXPECT_LE(percent, 102);
    EXPECT_LE(removedPosts, 203);  // the first hundred removals, then each percent
    EXPECT_EQ(sorts, 0) << "sorting posts only while the status window is set";

    a.SetStatusWnd(status.Window());
    a.ThinAutoData(kFirstRouteProcess, sections, 0, 1000);
    int sortsNow = 0;
    for (const auto& p : status.Posts()) sortsNow += p.code == 31;
    EXPECT_EQ(sortsNow, 2);
}

TEST_F(ThinningTest, TheRulesParts)
{
    // IsMonotonicRun: event 1 is not checked for its control; equal values count as rising.
    struct Run {
        std::vector<CAutomationEvent> events;
        int count;
        int monotonic;
    };
    const Run runs[] = {
        {{Ev(1, 1, 1, 1, 5)}, 1, TRUE},
        {{Ev(1, 1, 1, 1, 5), Ev(2, 9, 9, 9, 1)}, 2, TRUE},
        {{Ev(1, 1, 1, 1, 1), Ev(2, 1, 1, 1, 2), Ev(3, 1, 1, 1, 2)}, 3, TRUE},
        {{Ev(1, 1, 1, 1, 3), Ev(2, 1, 1, 1, 2), Ev(3, 1, 1, 1, 1)}, 3, TRUE},
        {{Ev(1, 1, 1, 1, 1), Ev(2, 1, 1, 1, 2), Ev(3, 1, 1, 1, 1)}, 3, FALSE},
        {{Ev(1, 1, 1, 1, 1), Ev(2, 7, 1, 1, 2), Ev(3, 1, 1, 1, 3)}, 3, TRUE},
        {{Ev(1, 1, 1, 1, 1), Ev(2, 1, 1, 1, 2), Ev(3, 1, 1, 2, 3)}, 3, FALSE},
        {{Ev(1, 1, 1, 1, 1), Ev(2, 1, 1, 1, 2), Ev(3, 2, 1, 1, 3)}, 3, FALSE},
    };
    for (size_t i = 0; i < std::size(runs); ++i) {
        SCOPED_TRACE(testing::Message() << "run " << i);
        EXPECT_EQ(CAutomationEventArray::IsMonotonicRun(runs[i].events.data(), runs[i].count), runs[i].monotonic);
    }

    EXPECT_TRUE(CAutomationEventArray::IsClosePair(Ev(10, 1, 1, 1), Ev(13, 1, 1, 1), 4));
    EXPECT_FALSE(CAutomationEventArray::IsClosePair(Ev(10, 1, 1, 1), Ev(14, 1, 1, 1), 4));
    EXPECT_TRUE(CAutomationEventArray::IsClosePair(Ev(14, 1, 1, 1), Ev(10, 1, 1, 1), 5));
    EXPECT_FALSE(CAutomationEventArray::IsClosePair(Ev(10, 1, 1, 1), Ev(10, 1, 1, 2), 4));
    EXPECT_FALSE(CAutomationEventArray::IsClosePair(Ev(INT32_MIN, 1, 1, 1), Ev(INT32_MAX, 1, 1, 1), INT32_MAX));

    struct Control {
        int type, process, control, thinnable;
    };
    const Control controls[] = {
        {3, 0, 0, 1},  {3, 0, 1, 0},  {3, 14, 0, 1}, {3, 14, 2, 0}, {3, 23, 2, 1},  {3, 24, 0, 0},
        {3, 39, 1, 0}, {3, 40, 1, 1}, {3, 40, 3, 0}, {3, 14, 9, 0}, {1, 1, 1, 1},   {1, 0, 0, 1},
        {1, 5, 0, 0},  {6, 4, 2, 0},  {6, 2, 0, 1},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " process " << c.process << " control " << c.control);
        useConsoleType(c.type);
        EXPECT_EQ(CAutomationEventArray::Thinnable(Ev(1, 1, static_cast<BYTE>(c.process), static_cast<BYTE>(c.control)),
                                                   kFirstRouteProcess),
                  c.thinnable);
    }
}
