#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "EventArrayFixture.h"
#include "trevanny/ControlTrack.h"

namespace {

using TD = CAutomationEventArray::TimeDirection;
using Row = EventRow;
std::vector<Row> rows(const CAutomationEventArray& a) { return Rows(a); }
CAutomationEvent E(long time, DWORD path, BYTE process, BYTE control, short value, short old)
{
    return CAutomationEvent(time, path, process, control, value, 0, static_cast<WORD>(old));
}

// The merge step and the ranged erase as the steps read, each run removed where it stands
// (the tail of the array moved down at once), to hold the one-pass removal against.
void literalMergeWindow(CAutomationEventArray& a, CAutomationEventArray& window, short rampStep, short rampLength, TD rampIn,
                        TD rampOut, int firstRouteProcess, const CPathMap& pathMap, int timeBase, int mergeMode)
{
    const int start = static_cast<int>(a.m_Filter.m_nStartTime);
    const int end = static_cast<int>(a.m_Filter.m_nEndTime);
    const int third = static_cast<int>(a.m_Filter.m_nNewStartTime);
    const int length = static_cast<int>(int64_t{end} - start);
    CRampList ramps;
    ramps.SetRamps(third, length, rampIn, rampOut, rampLength, rampStep, false);
    int lo = 0;
    int hi = static_cast<int>(a.GetSize()) - 1;
    for (INT_PTR i = 0; i < a.m_Filter.m_DestChannelList.GetSize(); ++i) {
        const int d = a.m_Filter.m_DestChannelList[i];
        if (d < 0 || d >= a.GetMaxPathCount()) continue;
        const int s = mergeMode != 0 && window.m_Filter.m_ChannelList.GetSize() > 0 ? window.m_Filter.m_ChannelList[0] : d;
        int lastTime = 0;
        int last = a.FindPathStart(s, lo, lastTime, lo, hi);
        int pos = lo;
        for (INT_PTR r0 = 0, r1 = 0; r0 < window.GetSize(); r0 = r1) {
            const BYTE p = window[r0].GetProcessNumber();
            const BYTE k = window[r0].GetControlNumber();
            CAutomationEventArray run;
            for (r1 = r0; r1 < window.GetSize() && window[r1].GetProcessNumber() == p && window[r1].GetControlNumber() == k; ++r1)
                run.Add(window[r1]);
            CControlTrack dest, scratch;
            dest.Setup(pathMap.GetSection(d), d, p, k, firstRouteProcess, lastTime, timeBase);
            int n = 0;
            if (last >= 0 && a.ExtractRun(dest, d, p, k, pos, last)) {
                n = static_cast<int>(dest.GetSize());
                if (mergeMode == 0) dest.CutRange(scratch, third, static_cast<int>(int64_t{third} + length), false);
                else dest.CutRange(scratch, 0, length, false);
            }
            dest.InsertEvents(run, start, third);
            if (mergeMode == 0) {
                CRampRecord ramp;
                ramps.GetAt(0, ramp);
                dest.ApplyRamp(ramp);
                dest.Sort(CAutomationEventArray::SortByTime);
                ramps.GetAt(1, ramp);
                dest.ApplyRamp(ramp);
            }
            for (INT_PTR j = 0; j < dest.GetSize(); ++j) a.Add(dest[j]);
            if (n > 0) {
                a.RemoveAt(pos, n);
                last -= n;
                hi -= n;
            }
        }
        if (last >= 0) lo = last + 1;
    }
}

void literalCopy(CAutomationEventArray& a, short step, short length, TD in, TD out, int frp, const CPathMap& map)
{
    if (a.GetSize() == 0) return;
    const int timeBase = a.ChannelTimeBase();
    a.BuildControlIndex();
    a.Sort(CAutomationEventArray::SortByPathControlTime);
    CAutomationEventArray window;
    a.ExtractChannelWindow(window, frp, map, timeBase);
    if (window.GetSize() > 0) literalMergeWindow(a, window, step, length, in, out, frp, map, timeBase, 0);
    a.Sort(CAutomationEventArray::SortByTime);
}

void literalMerge(CAutomationEventArray& a, CAutomationEventArray& source, short step, short length, TD in, TD out, int frp,
                  const CPathMap& map, int timeBase, int item, int items, int mergeMode)
{
    if (a.GetSize() == 0) return;
    a.BuildControlIndex();
    a.Sort(CAutomationEventArray::SortByPathControlTime);
    source.Sort(CAutomationEventArray::SortByPathControlTime);
    CAutomationEventArray window;
    source.ExtractChannelWindow(window, frp, map, timeBase);
    if (window.GetSize() > 0) {
        window.m_Filter.m_ChannelList.Copy(source.m_Filter.m_ChannelList);
        literalMergeWindow(a, window, step, length, in, out, frp, map, timeBase, mergeMode);
    }
    if (item == items) a.Sort(CAutomationEventArray::SortByTime);
}

void literalErase(CAutomationEventArray& a, short step, short length, TD direction, int frp, const CPathMap& map)
{
    if (a.GetSize() == 0) return;
    a.BuildControlIndex();
    const int timeBase = a.ChannelTimeBase();
    a.Sort(CAutomationEventArray::SortByPathControlTime);
    CRampList ramps;
    const int end = static_cast<int>(a.m_Filter.m_nEndTime);
    ramps.Add(end, direction, length, step);
    const int eraseStart = a.m_Filter.m_nStartTime < 2 ? 1 : static_cast<int>(a.m_Filter.m_nStartTime);
    int lo = 0;
    int hi = static_cast<int>(a.GetSize()) - 1;
    for (INT_PTR i = 0; i < a.m_Filter.m_ChannelList.GetSize(); ++i) {
        const int c = a.m_Filter.m_ChannelList[i];
        if (c < 0 || c >= a.GetMaxPathCount()) continue;
        int lastTime = 0;
        int last = a.FindPathStart(c, lo, lastTime, lo, hi);
        if (last < 0) continue;
        int pos = lo;
        CControlTrack track;
        while (pos <= last) {
            const CAutomationEvent e = a[pos];
            if (a.m_Filter.IsProcControlInFilter(e.GetProcessNumber(), e.GetControlNumber())) {
                track.Setup(map.GetSection(c), c, e.GetProcessNumber(), e.GetControlNumber(), frp, lastTime, timeBase);
                if (!a.ExtractRun(track, c, e.GetProcessNumber(), e.GetControlNumber(), pos, last)) break;
                const int n = static_cast<int>(track.GetSize());
                track.m_Filter.m_nStartTime = eraseStart;
                track.m_Filter.m_nEndTime = end;
                track.EraseWithRamp(ramps);
                for (INT_PTR j = 0; j < track.GetSize(); ++j) a.Add(track[j]);
                a.RemoveAt(pos, n);
                last -= n;
                hi -= n;
            } else {
                pos = a.FindControl(c, e.GetProcessNumber(), e.GetControlNumber(), pos, last) + 1;
                if (pos == 0) break;
            }
        }
        lo = last + 1;
    }
    a.Sort(CAutomationEventArray::SortByTime);
}

class ChannelEditsTest : public EventArrayFixture {
protected:
    void SetUp() override
    {
        EventArrayFixture::SetUp();
        usePathMode(3, 2);
    }
    static void window(CAutomationEventArray& a, long start, long end, long third, std::vector<int> channels, std::vector<int> dests,
                       std::vector<std::pair<BYTE, BYTE>> pairs)
    {
        a.m_Filter.m_nStartTime = start;
        a.m_Filter.m_nEndTime = end;
        a.m_Filter.m_nNewStartTime = third;
        a.m_Filter.m_ChannelList.RemoveAll();
        for (int c : channels) a.m_Filter.m_ChannelList.Add(c);
        a.m_Filter.m_DestChannelList.RemoveAll();
        for (int d : dests) a.m_Filter.m_DestChannelList.Add(d);
        a.m_Filter.RemoveAllPairs();
        for (const auto& [p, k] : pairs) a.m_Filter.AddPair(p, k);
    }
    static void copyFilter(const CAutomationEventArray& from, CAutomationEventArray& to)
    {
        to.m_Filter.m_nStartTime = from.m_Filter.m_nStartTime;
        to.m_Filter.m_nEndTime = from.m_Filter.m_nEndTime;
        to.m_Filter.m_nNewStartTime = from.m_Filter.m_nNewStartTime;
        to.m_Filter.m_ChannelList.Copy(from.m_Filter.m_ChannelList);
        to.m_Filter.m_DestChannelList.Copy(from.m_Filter.m_DestChannelList);
        to.m_Filter.RemoveAllPairs();
        for (INT_PTR i = 0; i < from.m_Filter.GetPairList().GetSize(); ++i) {
            const WORD pair = from.m_Filter.GetPairList()[i];
            to.m_Filter.AddPair(static_cast<BYTE>(pair & 0xFF), static_cast<BYTE>(pair >> 8));
        }
    }
    CPathMap m_map{"PathMap"};
};

// The progress posts below leave out the sorts' (31) and the run extraction's (1, at every
// index that is a multiple of 500, index 0 among them).

// Channel 3 copied onto 5 and 6: window [1000, 2000) to 5000, ramp request 0 (kind 3, 40) at
// 5000 and request 1 (kind 2, 40) at 6000. Channel slots with time base 0: 3 on 3, 5 on 1, 6 on 2.
TEST_F(ChannelEditsTest, CopyLaysTheWindowOntoEachDestination)
{
    CAutomationEventArray a;
    fill(a, {E(1, 5, 14, 0, 50, -8192), E(2, 6, 14, 1, 30, 0), E(3, 3, 14, 0, 0, -8192), E(1103, 3, 14, 2, 0, 1),
             E(1203, 3, 14, 0, 100, 0), E(1503, 3, 14, 0, 200, 100), E(2000, 3, 14, 0, 300, 200), E(5201, 5, 14, 0, 60, 50),
             E(5300, 9, 14, 0, 1, -8192), E(7001, 5, 14, 0, 70, 60)});
    window(a, 1000, 2000, 5000, {3}, {5, 6}, {{14, 0}, {14, 1}, {14, 2}});
    NotificationRecorder status;
    a.SetStatusWnd(status.Window());
    a.CopyChannelData(1, 40, TD::RampBackward, TD::RampForward, 40, m_map);
    const std::vector<Row> expected = {
        {1, 5, 14, 0, 50, -8192},
        {2, 6, 14, 1, 30, 0},
        {3, 3, 14, 0, 0, -8192},
        {1103, 3, 14, 2, 0, 1},
        {1203, 3, 14, 0, 100, 0},
        {1503, 3, 14, 0, 200, 100},
        {2000, 3, 14, 0, 300, 200},  // at the end time: not copied
        // channel 5's level ramps from 50 to the window's first old value (0) up to 5001
        {4965, 5, 14, 0, 45, 50}, {4966, 6, 14, 1, 27, 30}, {4969, 5, 14, 0, 40, 45}, {4970, 6, 14, 1, 24, 27},
        {4973, 5, 14, 0, 35, 40}, {4974, 6, 14, 1, 21, 24}, {4977, 5, 14, 0, 30, 35}, {4978, 6, 14, 1, 18, 21},
        {4981, 5, 14, 0, 25, 30}, {4982, 6, 14, 1, 15, 18}, {4985, 5, 14, 0, 20, 25}, {4986, 6, 14, 1, 12, 15},
        {4989, 5, 14, 0, 15, 20}, {4990, 6, 14, 1, 9, 12}, {4993, 5, 14, 0, 10, 15}, {4994, 6, 14, 1, 6, 9},
        // channel 6's trim (no events on channel 3: its default 0 at the window start) ramps to 0
        {5002, 6, 14, 1, 0, 6},
        {5105, 5, 14, 2, 0, 1},
        {5106, 6, 14, 2, 0, 1},
        {5205, 5, 14, 0, 100, 10},
        {5206, 6, 14, 0, 100, -8192},
        {5300, 9, 14, 0, 1, -8192},
        {5505, 5, 14, 0, 200, 100},
        {5506, 6, 14, 0, 200, 100},
        {7001, 5, 14, 0, 70, 200},  // 5201 was cut; the ramp out finds nothing to ramp
    };
    EXPECT_EQ(rows(a), expected);
    const UINT m = NotificationRecorder::Message();
    std::vector<NotificationRecorder::Post> posts = status.Posts();
    std::erase_if(posts, [](const NotificationRecorder::Post& p) { return p.code == 31 || p.code == 1; });
    EXPECT_EQ(posts, (std::vector<NotificationRecorder::Post>{{m, 21, 4}, {m, 22, 6}, {m, 23, 0}, {m, 22, 7}, {m, 23, 50}}));
}

TEST_F(ChannelEditsTest, MergeRunsAsOneItemOfABatch)
{
    CAutomationEventArray source;
    fill(source, {E(1203, 3, 14, 0, 100, 0), E(1, 3, 14, 0, 0, -8192)});
    window(source, 1000, 2000, -1, {3}, {}, {});
    CAutomationEventArray dest;
    dest.m_Filter.m_nNewStartTime = 5;
    dest.MergeChannelData(source, 1, 40, TD::RampBackward, TD::RampForward, 40, m_map, 0, 1, 1, 0);
    EXPECT_EQ(times(source), (std::vector<long>{1203, 1}));
    EXPECT_EQ(dest.GetSize(), 0) << "merging into an empty array changes nothing";

    fill(dest, {E(9, 1, 14, 0, 5, -8192), E(1, 6, 14, 0, 7, -8192), E(1, 1, 14, 0, 4, -8192)});
    window(dest, 1000, 2000, 5000, {}, {6}, {});
    NotificationRecorder status;
    dest.SetStatusWnd(status.Window());
    dest.MergeChannelData(source, 1, 0, TD::RampForward, TD::RampForward, 40, m_map, 0, 2, 3, 1);
    EXPECT_EQ(times(source), (std::vector<long>{1, 1203})) << "the source is left in path order";
    // Item 2 of 3: path order, with channel 6's rebuilt runs behind the rest.
    EXPECT_EQ(rows(dest), (std::vector<Row>{{1, 1, 14, 0, 4, -8192}, {9, 1, 14, 0, 5, -8192}, {1, 6, 14, 0, 7, -8192},
                                            {5206, 6, 14, 0, 100, -8192}}));
    const UINT m = NotificationRecorder::Message();
    std::vector<NotificationRecorder::Post> posts = status.Posts();
    std::erase_if(posts, [](const NotificationRecorder::Post& p) { return p.code == 31 || p.code == 1; });
    EXPECT_EQ(posts, (std::vector<NotificationRecorder::Post>{{m, 22, 4}, {m, 23, 66}}));
    dest.MergeChannelData(source, 1, 0, TD::RampForward, TD::RampForward, 40, m_map, 0, 3, 3, 1);
    // Merge mode looks channel 3 up on the destination, so nothing of channel 6 is cut: the
    // window lands a second time.
    EXPECT_EQ(times(dest), (std::vector<long>{1, 1, 9, 5206, 5206})) << "the last item sorts by time";
    status.Posts();
}

TEST_F(ChannelEditsTest, RangedEraseRemovesTheChosenRunsAndRamps)
{
    CAutomationEventArray a;
    fill(a, {E(0, 0, 14, 0, -100, -8192), E(0, 1, 14, 0, -200, -8192), E(101, 1, 14, 0, 0, -200), E(201, 1, 14, 2, 0, 1),
             E(301, 1, 14, 0, 500, 0), E(401, 1, 1, 0, 3, 5329), E(501, 1, 14, 0, 900, 500), E(602, 2, 14, 0, 7, -8192)});
    window(a, 0, 400, -1, {0, 1}, {}, {{14, 0}});
    NotificationRecorder status;
    a.SetStatusWnd(status.Window());
    a.EraseChannelData(1, 0, TD::RampForward, 40, m_map);
    // Channel 1's level loses [1, 401): at 401 it steps back to the value its next event
    // expects. The time-0 events, the mute, the EQ band and channel 2 stay.
    EXPECT_EQ(rows(a), (std::vector<Row>{{0, 0, 14, 0, -100, -8192}, {0, 1, 14, 0, -200, -8192}, {201, 1, 14, 2, 0, 1},
                                         {401, 1, 1, 0, 3, 5329}, {401, 1, 14, 0, 500, -200}, {501, 1, 14, 0, 900, 500},
                                         {602, 2, 14, 0, 7, -8192}}));
    const UINT m = NotificationRecorder::Message();
    std::vector<NotificationRecorder::Post> posts = status.Posts();
    std::erase_if(posts, [](const NotificationRecorder::Post& p) { return p.code == 31 || p.code == 1; });
    EXPECT_EQ(posts, (std::vector<NotificationRecorder::Post>{{m, 20, 1}, {m, 23, 0}, {m, 20, 2}, {m, 23, 50}}));
}

TEST_F(ChannelEditsTest, ChannelsTheConsoleDoesNotHaveArePassedOver)
{
    usePathMode(5, 0);
    CAutomationEventArray a;
    fill(a, {E(1, 2, 14, 0, 5, -8192), E(3, 300, 14, 0, 6, -8192)});
    window(a, 0, 10, 100, {2}, {300, 7000, -4}, {});
    a.CopyChannelData(1, 0, TD::RampForward, TD::RampForward, 40, m_map);
    EXPECT_EQ(paths(a), (std::vector<DWORD>{2, 300}));
    window(a, 0, 10, 100, {300}, {5}, {});
    a.CopyChannelData(1, 0, TD::RampForward, TD::RampForward, 40, m_map);
    EXPECT_EQ(paths(a), (std::vector<DWORD>{2, 300}));
}

// The edits against the step-by-step removal on seeded random mixes, filters and batches.
TEST_F(ChannelEditsTest, OnePassRemovalLeavesWhatTheStepByStepRemovalLeaves)
{
    std::mt19937 random(20261210);
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const BYTE processes[] = {0, 1, 14, 14, 14, 20, 41, 50};
    auto mix = [&](CAutomationEventArray& a, int size) {
        a.RemoveAll();
        long time = 0;
        for (int i = 0; i < size; ++i) {
            time += pick(3) == 0 ? 0 : pick(60);
            const DWORD path = static_cast<DWORD>(pick(9));
            const long t = pick(4) == 0 ? time : time - time % 4 + static_cast<long>(path % 4);
            a.Add(E(t, path, processes[pick(8)], static_cast<BYTE>(pick(4)), static_cast<short>(pick(400) - 200),
                    static_cast<short>(pick(400) - 200)));
        }
        a.Sort(CAutomationEventArray::SortByTime);
    };
    auto list = [&](int count) {
        std::vector<int> out;
        for (int i = 0; i < count; ++i) out.push_back(pick(10));
        if (pick(4) != 0) std::sort(out.begin(), out.end());
        return out;
    };
    auto filter = [&](CAutomationEventArray& a) {
        const long start = pick(5) == 0 ? 0 : pick(3000);
        std::vector<std::pair<BYTE, BYTE>> pairs;
        for (int i = pick(4); i > 0; --i) pairs.emplace_back(processes[pick(8)], static_cast<BYTE>(pick(4)));
        window(a, start, start + 1 + pick(3000), pick(6000), list(1 + pick(4)), list(pick(5)), pairs);
    };
    const TD kinds[] = {TD::RampForward, TD::RampBackward, static_cast<TD>(5)};
    auto same = [](const CAutomationEventArray& a, const CAutomationEventArray& b) {
        return a.GetSize() == b.GetSize() && std::memcmp(a.GetData(), b.GetData(), sizeof(CAutomationEvent) * a.GetSize()) == 0;
    };
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        CAutomationEventArray edited, literal;
        mix(edited, 50 + pick(400));
        literal.Copy(edited);
        filter(edited);
        const short step = static_cast<short>(pick(3));
        const short length = static_cast<short>(pick(3) == 0 ? 0 : pick(80));
        const TD in = kinds[pick(3)];
        const TD out = kinds[pick(3)];
        copyFilter(edited, literal);
        switch (round % 3) {
        case 0:
            edited.CopyChannelData(step, length, in, out, 40, m_map);
            literalCopy(literal, step, length, in, out, 40, m_map);
            ASSERT_TRUE(same(edited, literal));
            break;
        case 1:
            edited.EraseChannelData(step, length, in, 40, m_map);
            literalErase(literal, step, length, in, 40, m_map);
            ASSERT_TRUE(same(edited, literal));
            break;
        default:
            // A batch of three items from three sources onto the same destination.
            for (int item = 1; item <= 3; ++item) {
                CAutomationEventArray source, sourceCopy;
                mix(source, 30 + pick(200));
                filter(source);
                sourceCopy.Copy(source);
                copyFilter(source, sourceCopy);
                const int mergeMode = pick(2);
                const int timeBase = pick(4);
                edited.MergeChannelData(source, step, length, in, out, 40, m_map, timeBase, item, 3, mergeMode);
                literalMerge(literal, sourceCopy, step, length, in, out, 40, m_map, timeBase, item, 3, mergeMode);
                ASSERT_TRUE(same(edited, literal)) << "item " << item;
                ASSERT_TRUE(same(source, sourceCopy));
            }
        }
    }
}

}  // namespace
