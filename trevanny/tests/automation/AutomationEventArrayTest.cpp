#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <new>
#include <cstring>
#include <vector>

#include "EventArrayFixture.h"
#include "trevanny/AutomationEventArray.h"
#include "winport/CArchive.h"
#include "winport/CFile.h"

// The library's switches for tests (0: the usual number): the most events a sort sorts digit by
// digit before it splits them by their top digit, and the most it takes at once before it merges.
void SetEventSortCachedEventsForTesting(size_t events);
void SetEventSortPieceEventsForTesting(size_t events);

namespace {

class AutomationEventArrayTest : public EventArrayFixture {
protected:
    static void expectSortsMatchAStableSort();
};

TEST_F(AutomationEventArrayTest, EventLayoutIsTheStoredRecord)
{
    CAutomationEvent e = Ev(0x01020304, 0x0A0B0C0D, 0x11, 0x05, -2, 0x77, 0xBEEF);
    EXPECT_EQ(HexText(&e, 16), "11 05 FE FF 0D 0C 0B 0A 04 03 02 01 77 00 EF BE");
    // A default event is all zero, also where the memory held something else.
    alignas(CAutomationEvent) unsigned char used[sizeof(CAutomationEvent)];
    std::memset(used, 0xA5, sizeof used);
    asm volatile("" : : "r"(used) : "memory");  // the filling is not left out as a dead store
    const CAutomationEvent* blank = new (used) CAutomationEvent;
    EXPECT_EQ(HexText(blank, 16), "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_TRUE(CTemplateSnapAutoEvent::NamesInitialised());
}

TEST_F(AutomationEventArrayTest, GetAtTimeFindsTheFirstIndexAtOrAfter)
{
    CAutomationEventArray a;
    EXPECT_EQ(a.GetAtTime(20, 0), -1);
    EXPECT_EQ(a.GetAtTime(-1, 0), 0);
    EXPECT_EQ(a.GetAtTime(-1, 1), 0);
    fill(a, {Ev(10, 1, 0, 0), Ev(20, 1, 0, 0), Ev(20, 2, 0, 0), Ev(30, 1, 0, 0)});
    struct Case {
        long time;
        int after;
        int index;
    };
    const Case cases[] = {
        {20, 0, 1}, {20, 1, 3}, {5, 0, 0}, {40, 0, 3}, {30, 1, 3}, {10, 1, 1}, {25, 0, 3}, {25, 1, 3},
        {40, 1, 3}, {-1, 1, 0}, {-7, 0, 0}, {LONG_MIN, 0, 0}, {LONG_MAX, 1, 3},
    };
    for (const Case& c : cases) EXPECT_EQ(a.GetAtTime(c.time, c.after), c.index) << c.time << " after " << c.after;
}

TEST_F(AutomationEventArrayTest, AddAtTimeKeepsTimeOrderAndArrivalOrder)
{
    CAutomationEventArray a;
    struct Step {
        long time;
        short tag;
        int index;
    };
    const Step steps[] = {{30, 1, 0}, {10, 2, 0}, {20, 3, 1}, {20, 4, 2}, {30, 5, 4}, {5, 6, 0}, {20, 7, 4}, {-3, 8, 0}};
    for (const Step& s : steps) EXPECT_EQ(a.AddAtTime(Ev(s.time, 1, 2, 3, s.tag)), s.index) << "tag " << s.tag;
    EXPECT_EQ(times(a), (std::vector<long>{-3, 5, 10, 20, 20, 20, 30, 30}));
    EXPECT_EQ(values(a), (std::vector<short>{8, 6, 2, 3, 4, 7, 1, 5}));
    expectReservedClear(a);
}

TEST_F(AutomationEventArrayTest, TimeZeroEventReplacesTheStateOfItsControl)
{
    CAutomationEventArray a;
    fill(a, {Ev(-5, 1, 2, 3, 50), Ev(0, 1, 2, 4, 60), Ev(0, 1, 2, 3, 70), Ev(100, 1, 2, 3, 80)});
    // Same path, process and control: replaced in place (value, flags and old value too).
    EXPECT_EQ(a.AddAtTime(Ev(0, 1, 2, 3, 9, 0x40, 0x1234)), 2);
    ASSERT_EQ(a.GetSize(), 4);
    EXPECT_EQ(a[2].GetValue(), 9);
    EXPECT_EQ(a[2].GetFlags(), 0x40);
    EXPECT_EQ(a[2].GetOldValue(), 0x1234);
    EXPECT_EQ(a[0].GetValue(), 50);  // a negative time is passed over
    // Another control: inserted after the time-0 events.
    EXPECT_EQ(a.AddAtTime(Ev(0, 1, 2, 5, 11)), 3);
    EXPECT_EQ(times(a), (std::vector<long>{-5, 0, 0, 0, 100}));
    // Another path: inserted as well.
    EXPECT_EQ(a.AddAtTime(Ev(0, 2, 2, 3, 12)), 4);
    EXPECT_EQ(a.GetSize(), 6);

    // While nothing is later than time 0, a time-0 event is appended like any other.
    CAutomationEventArray b;
    fill(b, {Ev(0, 1, 2, 3, 1)});
    EXPECT_EQ(b.AddAtTime(Ev(0, 1, 2, 3, 2)), 1);
    EXPECT_EQ(b.GetSize(), 2);
    expectReservedClear(a);
}

TEST_F(AutomationEventArrayTest, SortOrdersAreStableAndSafeAtTheIntLimits)
{
    // Values tag the events so that the order of equal keys shows.
    const std::vector<CAutomationEvent> events = {
        Ev(INT_MAX, 2, 1, 0, 1),  Ev(INT_MIN, 2, 1, 0, 2), Ev(5, 1, 3, 1, 3), Ev(5, 1, 3, 0, 4),
        Ev(5, 1, 2, 8, 5),        Ev(-5, 1, 3, 0, 6),      Ev(5, 1, 3, 0, 7), Ev(7, 0, 9, 0, 8),
        Ev(5, 1, 3, 0, 9),
    };
    struct Case {
        CAutomationEventArray::SortMode mode;
        std::vector<short> order;
    };
    const Case cases[] = {
        {CAutomationEventArray::SortByTime, {2, 6, 5, 4, 7, 9, 3, 8, 1}},
        {CAutomationEventArray::SortByPathControlTime, {8, 5, 6, 4, 7, 9, 3, 2, 1}},
        {CAutomationEventArray::SortByPathTime, {8, 6, 5, 4, 7, 9, 3, 2, 1}},
        {static_cast<CAutomationEventArray::SortMode>(5), {1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const Case& c : cases) {
        CAutomationEventArray a;
        fill(a, events);
        a.Sort(c.mode);
        EXPECT_EQ(values(a), c.order) << "mode " << c.mode;
        expectReservedClear(a);
    }
}

// Every order from every starting order gives exactly what a stable sort with the orders'
// comparisons gives (written here from their definitions: signed time and path, process and
// control bytes), on arrays of many shapes.
void AutomationEventArrayTest::expectSortsMatchAStableSort()
{
    auto time = [](const CAutomationEvent& a, const CAutomationEvent& b) {
        const int32_t ta = static_cast<int32_t>(a.GetTime()), tb = static_cast<int32_t>(b.GetTime());
        const int32_t pa = static_cast<int32_t>(a.GetPath()), pb = static_cast<int32_t>(b.GetPath());
        if (ta != tb) return ta < tb;
        if (pa != pb) return pa < pb;
        if (a.GetProcessNumber() != b.GetProcessNumber()) return a.GetProcessNumber() < b.GetProcessNumber();
        return a.GetControlNumber() < b.GetControlNumber();
    };
    auto pathControlTime = [](const CAutomationEvent& a, const CAutomationEvent& b) {
        const int32_t pa = static_cast<int32_t>(a.GetPath()), pb = static_cast<int32_t>(b.GetPath());
        if (pa != pb) return pa < pb;
        if (a.GetProcessNumber() != b.GetProcessNumber()) return a.GetProcessNumber() < b.GetProcessNumber();
        if (a.GetControlNumber() != b.GetControlNumber()) return a.GetControlNumber() < b.GetControlNumber();
        return static_cast<int32_t>(a.GetTime()) < static_cast<int32_t>(b.GetTime());
    };
    auto pathTime = [](const CAutomationEvent& a, const CAutomationEvent& b) {
        const int32_t pa = static_cast<int32_t>(a.GetPath()), pb = static_cast<int32_t>(b.GetPath());
        if (pa != pb) return pa < pb;
        const int32_t ta = static_cast<int32_t>(a.GetTime()), tb = static_cast<int32_t>(b.GetTime());
        if (ta != tb) return ta < tb;
        if (a.GetProcessNumber() != b.GetProcessNumber()) return a.GetProcessNumber() < b.GetProcessNumber();
        return a.GetControlNumber() < b.GetControlNumber();
    };
    using Less = std::function<bool(const CAutomationEvent&, const CAutomationEvent&)>;
    const Less orders[3] = {time, pathControlTime, pathTime};

    uint64_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(seed >> 32);
    };
    const long extremes[] = {LONG_MIN, INT_MIN, -1, 0, 1, INT_MAX};
    // Shapes: few distinct keys (many equal); wide values and the limits; small paths; two
    // times on two paths (runs of one path and time longer than a comparison sort takes); short
    // runs of one time with many equal keys.
    for (int shape = 0; shape < 5; ++shape) {
        // Small arrays take a comparison sort, large ones the radix sort.
        for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{17}, size_t{5000}, size_t{40000}, size_t{70000}}) {
            if (shape >= 3 && n != 70000) continue;
            std::vector<CAutomationEvent> events;
            for (size_t i = 0; i < n; ++i) {
                const uint32_t r = next();
                long t = 0;
                DWORD path = 0;
                BYTE process = 0, control = 0;
                switch (shape) {
                case 0: t = r % 4, path = r % 3, process = (r >> 8) % 2, control = (r >> 12) % 2; break;
                case 1:
                    t = r % 7 == 0 ? static_cast<int32_t>(extremes[r % 6]) : static_cast<int32_t>(next());
                    path = next(), process = static_cast<BYTE>(next()), control = static_cast<BYTE>(next());
                    break;
                case 2: t = static_cast<long>(r % 50000) - 100, path = r % 96, process = static_cast<BYTE>(next()), control = static_cast<BYTE>(next()); break;
                case 3: t = static_cast<long>(r % 2) - 1, path = (r >> 1) % 2, process = static_cast<BYTE>(next()), control = static_cast<BYTE>(next()); break;
                default: t = static_cast<long>(r % 10000) - 5000, path = (r >> 16) % 2, process = (r >> 17) % 2, control = (r >> 18) % 2; break;
                }
                // The value tells events with equal keys apart, so that stability shows.
                events.push_back(Ev(t, path, process, control, static_cast<short>(i), static_cast<BYTE>(i >> 16)));
            }
            for (int from = -4; from < 3; ++from) {
                std::vector<CAutomationEvent> start = events;
                if (from >= 0) std::stable_sort(start.begin(), start.end(), orders[from]);
                if (from == -4) {
                    // Times that only rise, events of one time in any order.
                    std::stable_sort(start.begin(), start.end(), [](const CAutomationEvent& a, const CAutomationEvent& b) {
                        return static_cast<int32_t>(a.GetTime()) < static_cast<int32_t>(b.GetTime());
                    });
                }
                if (from == -2) std::reverse(start.begin(), start.end());
                if (from == -1) {
                    // Nearly sorted: time order with a few events moved.
                    std::stable_sort(start.begin(), start.end(), orders[0]);
                    for (size_t k = 0; k + 1 < start.size(); k += 97) std::swap(start[k], start[k + 1]);
                }
                for (int mode = 0; mode < 3; ++mode) {
                    SCOPED_TRACE(testing::Message() << "shape " << shape << " n " << n << " from " << from << " mode " << mode);
                    std::vector<CAutomationEvent> expected = start;
                    std::stable_sort(expected.begin(), expected.end(), orders[mode]);
                    CAutomationEventArray a;
                    fill(a, start);
                    a.Sort(static_cast<CAutomationEventArray::SortMode>(mode));
                    ASSERT_EQ(a.GetSize(), static_cast<INT_PTR>(n));
                    ASSERT_TRUE(n == 0 || std::memcmp(a.GetData(), expected.data(), n * sizeof(CAutomationEvent)) == 0);
                }
            }
        }
    }
}

TEST_F(AutomationEventArrayTest, SortMatchesAStableSortFromEveryStartingOrder) { expectSortsMatchAStableSort(); }

// The same where arrays of more than 1,000 events are split by their most significant digit
// first (as arrays of more than 65,536 events are), the buckets of more than 1,000 events split
// again, the smallest put in order by insertion.
TEST_F(AutomationEventArrayTest, SortSplittingByTheTopDigitMatchesAStableSortFromEveryStartingOrder)
{
    SetEventSortCachedEventsForTesting(1000);
    expectSortsMatchAStableSort();
    SetEventSortCachedEventsForTesting(0);
}

// The same where the large arrays are sorted in pieces and merged (pieces of 20,000 events: two
// for 40,000 events, four for 70,000), as arrays of more than 4M events are, each piece split
// by its top digit.
TEST_F(AutomationEventArrayTest, SortInPiecesMatchesAStableSortFromEveryStartingOrder)
{
    SetEventSortPieceEventsForTesting(20000);
    SetEventSortCachedEventsForTesting(1000);
    expectSortsMatchAStableSort();
    SetEventSortCachedEventsForTesting(0);
    SetEventSortPieceEventsForTesting(0);
}

// Sort keeps its scratch space for the next sort up to 64 MB (arrays of up to 16M events need
// no more); larger scratch goes at once, and RemoveAll and FreeExtra give it back always.
TEST_F(AutomationEventArrayTest, SortKeepsItsScratchSpaceOnlyUpTo64MB)
{
    auto reversed = [](CAutomationEventArray& a, INT_PTR n) {
        a.SetSize(n);
        for (INT_PTR i = 0; i < n; ++i) a[i] = Ev(static_cast<long>(n - i), 1, 2, 3);
    };
    CAutomationEventArray a;
    reversed(a, 50000);
    a.Sort(CAutomationEventArray::SortByTime);
    EXPECT_EQ(a.GetAt(0).GetTime(), 1);
    EXPECT_EQ(a.SortScratchBytes(), 50000u * sizeof(CAutomationEvent));
    a.RemoveAll();
    EXPECT_EQ(a.SortScratchBytes(), 0u);

    reversed(a, 50000);
    a.Sort(CAutomationEventArray::SortByTime);
    a.FreeExtra();
    EXPECT_EQ(a.SortScratchBytes(), 0u);

    // 4.2 million events are sorted in two pieces: 34 MB of scratch, kept.
    reversed(a, 4200000);
    a.Sort(CAutomationEventArray::SortByTime);
    EXPECT_EQ(a.GetAt(0).GetTime(), 1);
    EXPECT_EQ(a.GetAt(4199999).GetTime(), 4200000);
    EXPECT_EQ(a.SortScratchBytes(), 2100000u * sizeof(CAutomationEvent));
    // Beyond four pieces, scratch of the array's size, given back after the sort when it is
    // more than 64 MB (here with pieces of 10,000 events: 50,000 events take 800 KB, kept).
    SetEventSortPieceEventsForTesting(10000);
    CAutomationEventArray b;
    reversed(b, 50000);
    b.Sort(CAutomationEventArray::SortByTime);
    SetEventSortPieceEventsForTesting(0);
    EXPECT_EQ(b.GetAt(0).GetTime(), 1);
    EXPECT_EQ(b.SortScratchBytes(), 50000u * sizeof(CAutomationEvent));
}

TEST_F(AutomationEventArrayTest, SortPostsOnlyWithAStatusWindow)
{
    NotificationRecorder status;
    CAutomationEventArray a;
    fill(a, {Ev(2, 0, 0, 0), Ev(1, 0, 0, 0)});
    a.Sort(CAutomationEventArray::SortByTime);
    EXPECT_TRUE(status.Posts().empty());

    a.SetStatusWnd(status.Window());
    EXPECT_EQ(a.GetStatusWnd(), status.Window());
    a.Sort(static_cast<CAutomationEventArray::SortMode>(5));
    a.IsolateProgress(50, 200);
    a.EraseProgress(3, 0);
    const UINT msg = NotificationRecorder::Message();
    EXPECT_EQ(status.Posts(), (std::vector<NotificationRecorder::Post>{{msg, 31, 0}, {msg, 19, 25}, {msg, 20, 300}}));
}

// Ten events 10 apart on paths 1 and 2 in turn: the filter on path 1 passes indices 0, 2, 4, 6, 8.
class FilteredQueries : public EventArrayFixture {
protected:
    void SetUp() override
    {
        EventArrayFixture::SetUp();
        for (int i = 0; i < 10; ++i) events.Add(Ev(i * 10, 1 + i % 2, 14, 0, static_cast<short>(i)));
        filter.m_ChannelList.Add(1);
    }
    struct Page {
        int count;
        int first;
        int next;
        std::vector<short> got;
        bool operator==(const Page& o) const { return count == o.count && first == o.first && next == o.next && got == o.got; }
    };
    Page page(int maxCount, int next, int forward)
    {
        Page p{0, -99, next, {}};
        CAutomationEventArray out;
        out.Add(Ev(1, 1, 1, 1));  // emptied by the query
        p.count = events.GetFilteredEvents(filter, maxCount, p.first, p.next, out, forward);
        p.got = values(out);
        expectReservedClear(out);
        return p;
    }

    CAutomationEventArray events;
    CEventFilter filter;
};

TEST_F(FilteredQueries, PagesForwardAndBackwardWithFirstAndNext)
{
    EXPECT_EQ(page(2, 0, 1), (Page{2, 0, 3, {0, 2}}));
    EXPECT_EQ(filter.m_nEndTime, 90);  // settled from -1 to the last event's time
    EXPECT_EQ(page(2, 3, 1), (Page{2, 4, 7, {4, 6}}));
    EXPECT_EQ(page(2, 7, 1), (Page{1, 8, 10, {8}}));
    EXPECT_EQ(page(2, 10, 1), (Page{0, -99, 10, {}}));
    EXPECT_EQ(page(2, 11, 0), (Page{0, -99, 11, {}}));
    // Backward: out in time order, next = the highest taken, first = where the walk stopped.
    EXPECT_EQ(page(3, 9, 0), (Page{3, 3, 8, {4, 6, 8}}));
    EXPECT_EQ(page(3, 3, 0), (Page{2, -1, 2, {0, 2}}));
    EXPECT_EQ(page(0, 3, 1), (Page{0, -99, 3, {}}));
}

TEST_F(FilteredQueries, TimeWindowBoundsThePagesForwardOnly)
{
    filter.m_nStartTime = 35;
    filter.m_nEndTime = 65;
    EXPECT_EQ(page(10, 0, 1), (Page{2, 4, 7, {4, 6}}));
    EXPECT_EQ(page(2, 9, 0), (Page{2, 5, 8, {6, 8}}));  // backward ignores the window
    filter.m_nStartTime = 91;
    filter.m_nEndTime = -1;
    EXPECT_EQ(page(10, 0, 1), (Page{0, -99, 0, {}}));
    EXPECT_EQ(filter.m_nEndTime, 90);

    CAutomationEventArray empty;
    CAutomationEventArray out;
    int next = 0;
    EXPECT_EQ(empty.GetFilteredEvents(filter, 5, next, out, 1), 0);
}

TEST_F(FilteredQueries, ABackwardPageFromAfterTheLastEventGivesTheLastOfTheFilter)
{
    for (int i = 10; i < 14; ++i) events.Add(Ev(i * 10, 1, 14, 0, static_cast<short>(i)));  // nine pass now
    filter.m_nStartTime = 500;
    EXPECT_EQ(page(3, 0, 0), (Page{3, 10, 13, {11, 12, 13}}));
    EXPECT_EQ(page(3, 0, 1), (Page{0, -99, 0, {}})) << "forward, every event is earlier: nothing";
}

TEST_F(FilteredQueries, TotalsAndCopiesOfTheWindow)
{
    CArray<int, int> indices;
    indices.Add(42);
    EXPECT_EQ(events.GetFilteredTotal(filter, &indices), 5u);
    ASSERT_EQ(indices.GetSize(), 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(indices[i], 2 * i);

    filter.m_nStartTime = 20;
    filter.m_nEndTime = 60;
    filter.AddPair(14, 0);
    EXPECT_EQ(events.GetFilteredTotal(filter, nullptr), 3u);
    CAutomationEventArray out;
    EXPECT_EQ(events.GetAllFilteredEvents(filter, out), 3);
    EXPECT_EQ(values(out), (std::vector<short>{2, 4, 6}));

    filter.RemoveAllPairs();
    filter.AddPair(14, 1);
    EXPECT_EQ(events.GetFilteredTotal(filter, &indices), 0u);
    EXPECT_EQ(indices.GetSize(), 0);
    EXPECT_EQ(events.GetAllFilteredEvents(filter, out), 0);
    EXPECT_TRUE(out.IsEmpty());

    CEventFilter late;
    late.m_nStartTime = 1000;
    EXPECT_EQ(events.GetFilteredTotal(late, &indices), 0u);
    EXPECT_EQ(late.m_nEndTime, 90);
}

TEST_F(AutomationEventArrayTest, ServerRecordsInEachPathMode)
{
    struct Case {
        int consoleType;
        int pathMode;
        int cardLinkType;
        int recordSize;
        const char* record;
    };
    const Case cases[] = {
        {2, 0, 0, 12, "04 03 02 01 00 2C 11 05 0B 0A FE FF"},
        {2, 0, 4, 12, "04 03 02 01 00 2C 11 05 0B 0A FE FF"},  // 12-byte records are never converted
        {2, 1, 0, 16, "04 03 02 01 45 23 00 11 05 00 0B 0A FE FF 00 00"},
        {3, 0, 0, 16, "04 03 02 01 45 23 00 11 05 00 0B 0A FE FF 00 00"},  // type 3 is always mode 2
        {2, 2, 4, 16, "11 05 FE FF 45 23 00 00 04 03 02 01 00 00 0B 0A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.consoleType << " mode " << c.pathMode << " link " << c.cardLinkType);
        usePathMode(c.consoleType, c.pathMode);
        useCardLinkType(c.cardLinkType);
        CAutomationEventArray a;
        EXPECT_EQ(a.GetRecordSize(), c.recordSize);
        const DWORD path = c.recordSize == 12 ? 300 : 0x12345;
        fill(a, {Ev(0x01020304, path, 0x11, 0x05, -2, 0x77, 0x0A0B), Ev(0x01020305, path, 0x11, 0x05, -2, 0x77, 0x0A0B)});
        std::vector<BYTE> out(64, 0xCC);
        EXPECT_EQ(a.FetchRecords(2, 0, out.data()), 2);
        EXPECT_EQ(HexText(out.data(), c.recordSize), c.record);
        const int timeAt = c.record[0] == '1' ? 8 : 0;  // converted records hold the time at byte 8
        EXPECT_EQ(out[c.recordSize + timeAt], 0x05);     // the second record's time
        EXPECT_EQ(out[2 * c.recordSize], 0xCC);
    }
}

TEST_F(AutomationEventArrayTest, FetchRecordsWritesOnlyEventsThatExist)
{
    usePathMode(2, 1);
    CAutomationEventArray a;
    for (int i = 0; i < 5; ++i) a.Add(Ev(i, 1, 2, 3));
    struct Case {
        int count;
        int first;
        int result;
    };
    const Case cases[] = {{3, 1, 3}, {10, 3, 2}, {1, 5, 0}, {1, -1, 0}, {0, 0, 0}, {-3, 0, -3}, {INT_MAX, 4, 1}};
    for (const Case& c : cases) {
        std::vector<BYTE> out(6 * 16, 0xCC);
        EXPECT_EQ(a.FetchRecords(c.count, c.first, out.data()), c.result) << c.count << " from " << c.first;
        const int written = std::max(c.result, 0);
        for (size_t i = written * 16; i < out.size(); ++i) ASSERT_EQ(out[i], 0xCC) << "byte " << i;
        if (written > 0) {
            EXPECT_EQ(out[0], c.first);
        }
    }
    EXPECT_EQ(a.FetchRecords(2, 0, nullptr), 0);
}

TEST_F(AutomationEventArrayTest, BlockCountRoundsUpAndNeverDividesByZero)
{
    usePathMode(2, 0);
    CAutomationEventArray a;
    struct Case {
        int events;
        int blockBytes;
        int blocks;
    };
    const Case cases[] = {{0, 120, 0}, {10, 120, 1}, {11, 120, 2}, {11, 131, 2}, {25, 12, 25}, {5, 11, 0}, {5, 0, 0}, {5, -24, 0}};
    for (const Case& c : cases) {
        a.SetSize(c.events);
        EXPECT_EQ(a.GetBlockCount(c.blockBytes), c.blocks) << c.events << " events, " << c.blockBytes << " bytes";
    }
}

TEST_F(AutomationEventArrayTest, SerializeUsesTheCountFormAndClearsTheReservedByte)
{
    struct Case {
        int count;
        const char* prefix;
    };
    const Case cases[] = {{0, "00 00"}, {3, "03 00"}, {0xFFFE, "FE FF"}, {0xFFFF, "FF FF FF FF 00 00"}, {0x12345, "FF FF 45 23 01 00"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        CAutomationEventArray a;
        for (int i = 0; i < c.count; ++i) a.Add(Ev(i, static_cast<DWORD>(i % 7), 1, 2, static_cast<short>(i)));
        CMemFile file;
        {
            CArchive ar(&file, CArchive::store);
            a.Serialize(ar);
            ar.Close();
        }
        const std::vector<BYTE>& bytes = file.Bytes();
        const size_t prefix = c.count < 0xFFFF ? 2 : 6;
        ASSERT_EQ(bytes.size(), prefix + 16u * c.count);
        EXPECT_EQ(HexText(bytes.data(), prefix), c.prefix);
        if (c.count > 1) {
            EXPECT_EQ(HexText(bytes.data() + prefix + 16, 16), "01 02 01 00 01 00 00 00 01 00 00 00 00 00 00 00");
        }

        // Raw bytes with the reserved byte set load with it cleared.
        std::vector<BYTE> raw = bytes;
        for (size_t i = prefix + 13; i < raw.size(); i += 16) raw[i] = 0xAA;
        CMemFile in(raw.data(), static_cast<UINT>(raw.size()));
        CAutomationEventArray b;
        CArchive ar(&in, CArchive::load);
        b.Serialize(ar);
        ASSERT_EQ(b.GetSize(), c.count);
        expectReservedClear(b);
        if (c.count > 0) {
            EXPECT_EQ(std::memcmp(a.GetData(), b.GetData(), 16u * c.count), 0);
        }
    }
}

}  // namespace
