// The whole-mix channel isolate and erase on the array's own filter, rebuilt through two channel
// state tables: the results by hand (a console of type 3: the pan of a channel defaults to 0,
// its fader level to -8192; the time base is 1, so channel 1's continuous controls sit on
// slot 2 of each frame and channel 3's on slot 0), the filter kept, progress only with a
// status window, and the result in time order.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "EventArrayFixture.h"

namespace {

constexpr int kFirstRouteProcess = 40;
constexpr BYTE kPan = 1, kFader = 14;

class WholeMixEditsTest : public EventArrayFixture {
protected:
    void SetUp() override
    {
        EventArrayFixture::SetUp();
        usePathMode(3, 2);
    }
    static void window(CAutomationEventArray& a, long start, long end, long third, std::vector<int> channels)
    {
        a.m_Filter.Clear();
        a.m_Filter.m_nStartTime = start;
        a.m_Filter.m_nEndTime = end;
        a.m_Filter.m_nNewStartTime = third;
        for (int c : channels) a.m_Filter.m_ChannelList.Add(c);
    }
    // The filter as the edits must leave it.
    static std::vector<long> filterOf(const CAutomationEventArray& a)
    {
        std::vector<long> f{a.m_Filter.m_nStartTime, a.m_Filter.m_nEndTime, a.m_Filter.m_nNewStartTime};
        for (INT_PTR i = 0; i < a.m_Filter.m_ChannelList.GetSize(); ++i) f.push_back(a.m_Filter.m_ChannelList[i]);
        for (INT_PTR i = 0; i < a.m_Filter.GetPairList().GetSize(); ++i) f.push_back(a.m_Filter.GetPairList()[i]);
        return f;
    }
    // The pan of channel 1 moves from 0 to 100 inside [1000, 2000], channel 3's stays at 30,
    // and channel 1's comes to 50 at 3000.
    static void panMix(CAutomationEventArray& a)
    {
        fill(a, {Ev(500, 1, kPan, 1, 0), Ev(1500, 1, kPan, 1, 100), Ev(1600, 3, kPan, 1, 30), Ev(3000, 1, kPan, 1, 50)});
    }
    CPathMap sections{"PathMap"};
};

}  // namespace

TEST_F(WholeMixEditsTest, IsolateKeepsTheChosenWindowAtTheThirdTime)
{
    CAutomationEventArray a;
    fill(a, {Ev(500, 1, kFader, 0, 100), Ev(1200, 2, kFader, 0, 5), Ev(1500, 1, kPan, 1, 7), Ev(1700, 1, kPan, 1, 8),
             Ev(1700, 1, kPan, 1, 9), Ev(2500, 1, kFader, 0, 9)});
    window(a, 1000, 2000, 5000, {1});
    const auto filter = filterOf(a);
    a.IsolateChannelData(kFirstRouteProcess, sections);
    // The fader's value at 1000 differs from its default: an event at 5000, on its slot. Then
    // the pan's events moved by 4000, the two at 1700 merged first.
    EXPECT_EQ(Rows(a), (std::vector<EventRow>{{5002, 1, kFader, 0, 100, -8192}, {5500, 1, kPan, 1, 7, 0}, {5700, 1, kPan, 1, 9, 0}}));
    EXPECT_EQ(filterOf(a), filter);

    // Only the chosen pairs.
    fill(a, {Ev(500, 1, kFader, 0, 100), Ev(1500, 1, kPan, 1, 7)});
    window(a, 1000, 2000, 5000, {1});
    a.m_Filter.AddPair(kPan, 1);
    a.IsolateChannelData(kFirstRouteProcess, sections);
    EXPECT_EQ(Rows(a), (std::vector<EventRow>{{5500, 1, kPan, 1, 7, 0}}));
}

TEST_F(WholeMixEditsTest, EraseRemovesTheChosenWindowAndSetsEachControlBackAfterIt)
{
    CAutomationEventArray a;
    panMix(a);
    window(a, 1000, 2000, -1, {1});
    const auto filter = filterOf(a);
    a.EraseChannelData(kFirstRouteProcess, sections);
    // Channel 1's move is gone; at 2001 (its slot: 2002) its pan goes to 100, as it was there.
    EXPECT_EQ(Rows(a), (std::vector<EventRow>{{500, 1, kPan, 1, 0, 0},
                                              {1600, 3, kPan, 1, 30, 0},
                                              {2002, 1, kPan, 1, 100, 0},
                                              {3000, 1, kPan, 1, 50, 0}}));
    EXPECT_EQ(filterOf(a), filter);
}

TEST_F(WholeMixEditsTest, ResultsStayAsBuiltWhenInOrderAndAreSortedByTimeWhenNot)
{
    // Nothing chosen: the window keeps every event, equal times in the order they had (a sort
    // by time, path, process and control would swap the two at 1600).
    CAutomationEventArray a;
    fill(a, {Ev(500, 1, kPan, 1, 0), Ev(1600, 3, kPan, 1, 30), Ev(1600, 2, kPan, 1, 20), Ev(3000, 1, kPan, 1, 50)});
    const auto before = Rows(a);
    window(a, 1000, 2000, -1, {});
    a.EraseChannelData(kFirstRouteProcess, sections);
    EXPECT_EQ(Rows(a), before);

    // Channel 3's pan changes at 2001, just after the window: its value there comes as an event
    // on channel 3's slot, 2004, after the event at 2001 that follows it in the result.
    panMix(a);
    a.Add(Ev(2001, 3, kPan, 1, 31));
    a.Sort(CAutomationEventArray::SortByTime);
    window(a, 1000, 2000, -1, {1});
    a.EraseChannelData(kFirstRouteProcess, sections);
    EXPECT_EQ(Rows(a), (std::vector<EventRow>{{500, 1, kPan, 1, 0, 0},
                                              {1600, 3, kPan, 1, 30, 0},
                                              {2001, 3, kPan, 1, 31, 0},
                                              {2002, 1, kPan, 1, 100, 0},
                                              {2004, 3, kPan, 1, 31, 30},
                                              {3000, 1, kPan, 1, 50, 0}}));
}

TEST_F(WholeMixEditsTest, ProgressOnlyWithAStatusWindowAndEmptyArraysUntouched)
{
    NotificationRecorder status;
    auto codes = [&] {
        std::vector<WPARAM> seen;
        for (const auto& p : status.Posts())
            if (std::find(seen.begin(), seen.end(), p.code) == seen.end()) seen.push_back(p.code);
        return seen;
    };
    auto bigMix = [](CAutomationEventArray& a) {
        a.RemoveAll();
        for (int k = 0; k < 5000; ++k) a.Add(Ev(k + 1, static_cast<DWORD>(k % 7), kPan, 1, static_cast<short>(k)));
        window(a, 1000, 4000, 100, {1, 2});
    };
    CAutomationEventArray a;
    bigMix(a);
    a.IsolateChannelData(kFirstRouteProcess, sections);
    bigMix(a);
    a.EraseChannelData(kFirstRouteProcess, sections);
    EXPECT_TRUE(codes().empty());

    a.SetStatusWnd(status.Window());
    bigMix(a);
    a.IsolateChannelData(kFirstRouteProcess, sections);
    EXPECT_EQ(codes(), std::vector<WPARAM>{19});
    bigMix(a);
    a.EraseChannelData(kFirstRouteProcess, sections);
    EXPECT_EQ(codes(), (std::vector<WPARAM>{19, 20}));
    EXPECT_LE(status.Posts().size(), 400u) << "a post per percent of each range at most";

    CAutomationEventArray empty;
    window(empty, 1000, 2000, 5000, {1});
    empty.IsolateChannelData(kFirstRouteProcess, sections);
    empty.EraseChannelData(kFirstRouteProcess, sections);
    EXPECT_EQ(empty.GetSize(), 0);
}
