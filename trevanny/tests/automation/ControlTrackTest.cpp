#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "EventArrayFixture.h"
#include "trevanny/ControlTrack.h"

namespace {

// (time, value, old value) of a track's events, in track order.
using Point = std::tuple<long, short, short>;
std::vector<Point> points(const CAutomationEventArray& a)
{
    std::vector<Point> out;
    for (INT_PTR i = 0; i < a.GetSize(); ++i) out.emplace_back(a[i].GetTime(), a[i].GetValue(), static_cast<short>(a[i].GetOldValue()));
    return out;
}

class ControlTrackTest : public EventArrayFixture {
protected:
    void SetUp() override
    {
        EventArrayFixture::SetUp();
        usePathMode(3, 2);
    }
    // A track of path 5 (slot 1 with time base 0) for the fader level (default -8192) or
    // another control, holding the given (time, value, old value) events.
    static void make(CControlTrack& t, const std::vector<Point>& events, int process = 14, int control = 0, int endTime = 10000)
    {
        t.RemoveAll();
        t.Setup(0, 5, process, control, 40, endTime, 0);
        for (const auto& [time, value, old] : events)
            t.Add(CAutomationEvent(time, 5, static_cast<BYTE>(process), static_cast<BYTE>(control), value, 0, static_cast<WORD>(old)));
    }
};

TEST_F(ControlTrackTest, FindTimeAlignTimeAndSetup)
{
    CControlTrack t;
    EXPECT_EQ(t.m_nPath, -1);
    EXPECT_EQ(t.FindTime(20, false), -1);
    make(t, {{10, 0, 0}, {20, 0, 0}, {30, 0, 0}});
    struct Case {
        int time;
        bool after;
        int index;
    };
    for (const Case& c : {Case{20, false, 0}, {20, true, 1}, {35, false, 2}, {35, true, 3}, {5, false, 0}, {5, true, 0},
                          {-1, true, 0}, {30, false, 1}, {31, true, 3}}) {
        EXPECT_EQ(t.FindTime(c.time, c.after), c.index) << c.time << " after " << c.after;
    }
    EXPECT_EQ(t.AlignTime(100, false), 101);
    EXPECT_EQ(t.AlignTime(102, false), 105);
    EXPECT_EQ(t.AlignTime(102, true), 101);
    EXPECT_EQ(t.AlignTime(0, false), 1) << "a time below 1 is aligned too";
    EXPECT_EQ(t.m_nDefaultValue, -8192);

    t.Setup(1, 5, 3, 0, 40, 0, 0);
    EXPECT_EQ(t.m_nDefaultValue, 3699) << "section 1, band 3";
    t.Setup(0, 5, 43, 3, 40, 0, 0);
    EXPECT_EQ(t.m_nDefaultValue, 1) << "a route";
    t.Setup(0, 5, 200, 3, 40, 0, 0);
    EXPECT_EQ(t.m_nDefaultValue, 1) << "neither: the default stays";
    usePathMode(1, 0);
    t.Setup(0, 5, 4, 4, 40, 0, 0);
    EXPECT_EQ(t.m_nDefaultValue, -32768);
    EXPECT_EQ(t.AlignTime(102, false), 102);

    CControlTrack copy(t);
    EXPECT_EQ(std::tie(copy.m_nPath, copy.m_nProcess, copy.m_nControl, copy.m_nDefaultValue), std::make_tuple(5, 4, 4, short{-32768}));
    EXPECT_EQ(points(copy), points(t));
}

TEST_F(ControlTrackTest, CutAndCopyRanges)
{
    CControlTrack t, target;
    EXPECT_EQ(t.CutRange(target, 0, 10, true), -1);
    const std::vector<Point> three = {{1, 10, -8192}, {101, 20, 10}, {201, 30, 20}};

    make(t, three);
    EXPECT_EQ(t.CutRange(target, 120, 180, true), 2) << "no event in range";
    EXPECT_EQ(points(target), (std::vector<Point>{{120, 20, 20}}));
    EXPECT_EQ(points(t), three);

    EXPECT_EQ(t.CutRange(target, 50, 250, true), 1) << "reaches the end: the last event stays at the aligned end + 4";
    EXPECT_EQ(points(target), (std::vector<Point>{{101, 20, 10}, {201, 30, 20}}));
    EXPECT_EQ(points(t), (std::vector<Point>{{1, 10, -8192}, {257, 30, 20}}));

    make(t, three, 14, 0, 200);
    EXPECT_EQ(t.CutRange(target, 50, 250, false), 1) << "the aligned end is past the pass's end";
    EXPECT_TRUE(target.GetSize() == 0);
    EXPECT_EQ(points(t), (std::vector<Point>{{1, 10, -8192}}));

    make(t, three);
    EXPECT_EQ(t.CutRange(target, 0, -1, false), 0) << "end -1: up to the last event";
    EXPECT_EQ(points(t), (std::vector<Point>{{201, 30, 20}}));

    make(t, three);
    t.CopyRange(target, 50, 201, false);
    EXPECT_EQ(points(target), (std::vector<Point>{{101, 20, 10}}));
    t.CopyRange(target, 0, 50, true);
    t.CopyRange(target, 150, 160, true);
    EXPECT_EQ(points(target), (std::vector<Point>{{101, 20, 10}, {1, 10, -8192}, {150, 20, 20}}));
    t.CopyRange(target, -5, 0, false);
    EXPECT_EQ(points(target), (std::vector<Point>{{-5, 10, 10}})) << "nothing before: the first event's value";
    EXPECT_EQ(points(t), three);
}

TEST_F(ControlTrackTest, CopyRangePostsWhileTheStatusWindowIsSet)
{
    NotificationRecorder status;
    CControlTrack t, target;
    make(t, {});
    for (int i = 0; i < 450; ++i) t.Add(CAutomationEvent(1 + 4 * i, 5, 14, 0, static_cast<short>(i)));
    t.CopyRange(target, 0, 100000, false);
    EXPECT_TRUE(status.Posts().empty());
    t.SetStatusWnd(status.Window());
    t.CopyRange(target, 0, 100000, false);
    const UINT m = NotificationRecorder::Message();
    EXPECT_EQ(status.Posts(), (std::vector<NotificationRecorder::Post>{{m, 2, 0}, {m, 2, 44}, {m, 2, 88}}));
    EXPECT_EQ(target.GetSize(), 450);
}

TEST_F(ControlTrackTest, InsertEventsMovesAlignsAndSorts)
{
    CControlTrack t;
    make(t, {});
    t.m_nPath = 6;  // slot 2
    CAutomationEventArray source;
    source.Add(CAutomationEvent(1000, 3, 14, 0, -8192, 1, static_cast<WORD>(-8192)));
    t.InsertEvents(source, 1000, 5000);
    EXPECT_EQ(t.GetSize(), 0) << "one event that changes nothing";
    source.RemoveAll();
    source.Add(CAutomationEvent(0, 3, 14, 0, 7, 1, 3));
    source.Add(CAutomationEvent(1001, 3, 14, 0, 5, 1, 7));
    source.Add(CAutomationEvent(1400, 3, 14, 0, 6, 1, 5));
    t.Add(CAutomationEvent(4000, 6, 14, 0, 1, 0, 2));
    t.InsertEvents(source, 1000, 5000);
    EXPECT_EQ(points(t), (std::vector<Point>{{0, 7, 3}, {4000, 1, -8192}, {5002, 5, 7}, {5402, 6, 5}}));
    EXPECT_EQ(paths(t), (std::vector<DWORD>{6, 6, 6, 6}));
}

TEST_F(ControlTrackTest, ValueAtFindsTheChangeAndDropsRedundantEvents)
{
    CControlTrack t;
    short before = 0, after = 0;
    int index = -1;
    make(t, {{1, 0, -8192}});
    EXPECT_EQ(t.ValueAt(1, index, before, after), 0) << "fewer than 2 events";
    make(t, {{1, 0, -8192}, {201, 1000, 500}, {201, 7, 1000}, {301, 9, 7}});
    EXPECT_EQ(t.ValueAt(101, index, before, after), 1);
    EXPECT_EQ(std::tie(index, before, after), std::make_tuple(1, short{0}, short{500}));
    EXPECT_EQ(t.ValueAt(201, index, before, after), 1);
    EXPECT_EQ(after, 1000);
    EXPECT_EQ(t.ValueAt(401, index, before, after), 0) << "after the last event";
    make(t, {{1, 0, -8192}, {201, 1000, 0}, {201, 7, 1000}});
    EXPECT_EQ(t.ValueAt(101, index, before, after), 1) << "a change followed by one at its own time";
    make(t, {{1, 0, -8192}, {201, 1000, 0}, {301, 7, 1000}});
    EXPECT_EQ(t.ValueAt(101, index, before, after), 0);
    make(t, {{1, 0, -8192}, {201, 1000, 0}});
    EXPECT_EQ(t.ValueAt(101, index, before, after), 0) << "the last event: nothing after it is read";
    make(t, {{1, 0, -8192}, {201, 0, 0}, {301, 5, 0}});
    EXPECT_EQ(t.ValueAt(101, index, before, after), 0);
    EXPECT_EQ(points(t), (std::vector<Point>{{1, 0, -8192}, {301, 5, 0}})) << "the redundant event is gone";
}

// Ramps worked out by hand from the rules: a ramp of kind 2 runs from the value in force to the
// value reached at its end, one event per step whose value changes; kind 3 runs from the value
// before its start to the value set at the edit point.
TEST_F(ControlTrackTest, RampsWorkedOutByHand)
{
    struct Row {
        const char* name;
        int type;
        int control;
        std::vector<Point> track;
        CRampRecord record;
        std::vector<Point> expected;
    };
    auto record = [](int kind, int time, short length, short step) {
        CRampRecord r;
        r.m_nKind = kind;
        r.m_nTime = time;
        r.m_nLength = length;
        r.m_nStep = step;
        return r;
    };
    const std::vector<Row> rows = {
        {"kind 2 up to the value at its end", 3, 0, {{1, 0, -8192}, {121, 1000, 500}, {201, 2000, 1000}}, record(2, 101, 40, 1),
         {{1, 0, -8192}, {201, 2000, 800}, {105, 100, 0}, {109, 200, 100}, {113, 300, 200}, {117, 400, 300}, {121, 500, 400},
          {125, 600, 500}, {129, 700, 600}, {133, 800, 700}}},
        {"kind 2 at a time off the slot (aligned)", 3, 0, {{1, 0, -8192}, {121, 1000, 500}, {201, 2000, 1000}}, record(2, 99, 40, 1),
         {{1, 0, -8192}, {201, 2000, 800}, {105, 100, 0}, {109, 200, 100}, {113, 300, 200}, {117, 400, 300}, {121, 500, 400},
          {125, 600, 500}, {129, 700, 600}, {133, 800, 700}}},
        {"kind 2 on a small console (not aligned)", 1, 0, {{1, 0, -8192}, {121, 1000, 500}, {201, 2000, 1000}}, record(2, 99, 40, 1),
         {{1, 0, -8192}, {201, 2000, 800}, {103, 100, 0}, {107, 200, 100}, {111, 300, 200}, {115, 400, 300}, {119, 500, 400},
          {123, 600, 500}, {127, 700, 600}, {131, 800, 700}}},
        {"kind 3 from the value before it", 3, 0, {{1, 0, -8192}, {201, 1000, 500}}, record(3, 201, 40, 2),
         {{1, 0, -8192}, {201, 1000, 800}, {169, 200, 0}, {177, 400, 200}, {185, 600, 400}, {193, 800, 600}}},
        {"kind 3 running into time 0", 3, 0, {{1, 0, -8192}, {21, 400, 100}}, record(3, 21, 40, 1),
         {{5, 76, 0}, {9, 152, 76}, {13, 228, 152}, {17, 304, 228}, {21, 400, 304}, {0, 0, -8192}}},
        {"a step of 0 counts as 1", 3, 0, {{1, 0, -8192}, {201, 1000, 500}}, record(3, 201, 24, 0),
         {{1, 0, -8192}, {201, 1000, 666}, {181, 166, 0}, {185, 333, 166}, {189, 500, 333}, {193, 666, 500}}},
        {"a control that is not continuous changes in one step", 3, 2, {{1, 0, 1}, {201, 1, 1}}, record(2, 100, 40, 1),
         {{1, 0, 1}, {201, 1, 1}, {101, 1, 0}}},
        {"length 0: one step at the event's own time", 3, 0, {{1, 0, -8192}, {101, 5, 3}}, record(2, 101, 0, 1),
         {{1, 0, -8192}, {101, 5, 0}}},
        {"length 0 on an event that sets the value in force", 3, 0, {{1, 0, -8192}, {101, 0, 3}, {201, 4, 0}}, record(2, 101, 0, 1),
         {{1, 0, -8192}, {201, 4, 0}}},
        {"nothing to change", 3, 0, {{1, 0, -8192}, {201, 1000, 0}}, record(2, 101, 40, 1), {{1, 0, -8192}, {201, 1000, 0}}},
        {"one event: nothing to change", 3, 0, {{1, 0, 3}}, record(2, 101, 40, 1), {{1, 0, 3}}},
        {"two events left: a second one that changes nothing goes", 3, 2, {{1, 0, 1}, {101, 0, 7}, {301, 5, 5}},
         record(2, 101, 40, 1), {{1, 0, 1}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        usePathMode(row.type, row.type == 3 ? 2 : 0);
        CControlTrack t;
        make(t, row.track, row.type == 1 ? 0 : 14, row.control);
        t.ApplyRamp(row.record);
        EXPECT_EQ(points(t), row.expected);
    }
}

TEST_F(ControlTrackTest, BuildRampOnItsOwn)
{
    CControlTrack t;
    EXPECT_EQ(t.BuildRamp(101, 2, 0, 400, 1, 20), -1) << "an empty track";
    make(t, {{1, 0, -8192}});
    EXPECT_EQ(t.BuildRamp(101, 4, 0, 400, 1, 20), -1) << "an unknown kind";
    EXPECT_EQ(t.BuildRamp(101, 2, 7, 400, 1, 0), 7) << "length 0";
    EXPECT_EQ(t.BuildRamp(0, 3, 9, 400, 1, 20), 9) << "kind 3 at time 0";
    EXPECT_EQ(t.BuildRamp(101, 2, 0, 400, 1, 20), 240);
    EXPECT_EQ(points(t), (std::vector<Point>{{1, 0, -8192}, {105, 80, 0}, {109, 160, 80}, {113, 240, 160}}));
    make(t, {{1, 0, -8192}});
    EXPECT_EQ(t.BuildRamp(101, 2, 400, 0, 1, 20), 160) << "downwards";
    EXPECT_EQ(points(t), (std::vector<Point>{{1, 0, -8192}, {105, 320, 400}, {109, 240, 320}, {113, 160, 240}}));
}

TEST_F(ControlTrackTest, EraseWithRampCutsTheMarkedRange)
{
    CControlTrack t;
    make(t, {{1, 0, -8192}, {101, 100, 0}, {201, 200, 100}, {301, 300, 200}});
    t.m_Filter.m_nStartTime = 99;
    t.m_Filter.m_nEndTime = 250;
    CRampList list;
    list.Add(250, 2, 0, 1);
    t.EraseWithRamp(list);
    // [101, 253) goes; at 253 the value in force (0) meets the event at 301 that expects 200:
    // one step back to 200 at 253.
    EXPECT_EQ(points(t), (std::vector<Point>{{1, 0, -8192}, {301, 300, 200}, {253, 200, 0}}));
}

TEST_F(ControlTrackTest, RampListRequests)
{
    struct Row {
        int kindIn, kindOut, start, ramp;
        std::vector<std::tuple<int, int, int>> entries;  // (time, kind, length)
    };
    const Row rows[] = {
        {3, 2, 100, 60, {{100, 3, 60}, {150, 2, 60}}},
        {3, 3, 100, 60, {{100, 3, 60}, {150, 3, 50}}},
        {2, 2, 100, 60, {{100, 2, 50}, {150, 2, 60}}},
        {2, 3, 100, 40, {{100, 2, 40}, {150, 3, 25}}},
        {3, 2, 30, 60, {{30, 3, 30}, {80, 2, 60}}},
        {2, 4, 100, 60, {}},
        {1, 1, 100, 60, {}},
    };
    for (const Row& row : rows) {
        CRampList list;
        list.Add(1, 2, 3, 4);
        list.SetRamps(row.start, 50, row.kindIn, row.kindOut, row.ramp, 1, false);
        std::vector<std::tuple<int, int, int>> got;
        CRampRecord r;
        for (int i = 0; list.GetAt(i, r); ++i) {
            EXPECT_EQ(r.m_nStep, 1);
            got.emplace_back(r.m_nTime, r.m_nKind, r.m_nLength);
        }
        EXPECT_EQ(got, row.entries) << row.kindIn << " " << row.kindOut;
    }
    CRampList list;
    list.Add(10, 3, 40, 1);
    list.Add(10, 2, 100000, -100000);
    list.SetRamps(0, 10, 3, 2, 5, 1, true);
    EXPECT_EQ(list.GetCount(), 4);
    CRampRecord r;
    ASSERT_TRUE(list.GetAt(0, r));
    EXPECT_EQ(r.m_nLength, 10) << "a kind-3 ramp cannot start before 0";
    ASSERT_TRUE(list.GetAt(1, r));
    EXPECT_EQ(std::tie(r.m_nLength, r.m_nStep), std::make_tuple(short{32767}, short{-32768})) << "held in 16 bits";
    r.m_nTime = 77;
    EXPECT_FALSE(list.GetAt(4, r));
    EXPECT_FALSE(list.GetAt(-1, r));
    EXPECT_EQ(r.m_nTime, 77);
    CRampRecord fresh;
    EXPECT_EQ(std::tie(fresh.m_nKind, fresh.m_nTime, fresh.m_nLength, fresh.m_nStep),
              std::make_tuple(2, 0, short{0}, short{1}));
}

TEST_F(ControlTrackTest, PathOrderLookups)
{
    CAutomationEventArray a;
    fill(a, {Ev(1, 0xFFFFFFFF, 0, 0), Ev(10, 1, 14, 0), Ev(20, 1, 14, 0), Ev(5, 1, 14, 1), Ev(30, 3, 0, 0), Ev(40, 3, 0, 0),
             Ev(7, 3, 14, 0), Ev(50, 3, 14, 0), Ev(60, 3, 14, 0), Ev(9, 5, 1, 2)});
    a.Sort(CAutomationEventArray::SortByPathControlTime);
    EXPECT_EQ(times(a), (std::vector<long>{1, 10, 20, 5, 30, 40, 7, 50, 60, 9}));
    struct Path {
        int path, lo, hi, index;
    };
    for (const Path& c : {Path{1, 0, -1, 3}, {3, 0, -1, 8}, {2, 0, -1, -1}, {3, 0, 6, 6}, {5, 0, -1, 9}, {1, 4, -1, -1}, {-1, 0, -1, 0},
                          {3, 5, 100, 8}, {3, 9, 2, -1}}) {
        EXPECT_EQ(a.FindPath(c.path, c.lo, c.hi), c.index) << c.path << " in " << c.lo << ".." << c.hi;
    }
    int first = -5, lastTime = -5;
    EXPECT_EQ(a.FindPathStart(3, first, lastTime, 0, -1), 8);
    EXPECT_EQ(std::tie(first, lastTime), std::make_tuple(4, 60));
    EXPECT_EQ(a.FindPathStart(3, first, lastTime, 5, 7), 7);
    EXPECT_EQ(std::tie(first, lastTime), std::make_tuple(5, 50));
    EXPECT_EQ(a.FindPathStart(4, first, lastTime, 0, -1), -1);
    EXPECT_EQ(std::tie(first, lastTime), std::make_tuple(0, 0));

    struct Control {
        int path, process, control, lo, hi, index;
    };
    for (const Control& c : {Control{3, 14, 0, 0, -1, 8}, {3, 14, 0, 0, 7, 7}, {3, 0, 0, 0, -1, 5}, {3, 1, 0, 0, -1, -1},
                             {1, 14, 1, 0, -1, 3}, {3, 14, 0, 9, -1, -1}, {3, 270, 0, 0, -1, -1}}) {
        EXPECT_EQ(a.FindControl(c.path, c.process, c.control, c.lo, c.hi), c.index) << c.path << " " << c.process << " " << c.control;
    }

    CAutomationEventArray run;
    int pos = 0;
    EXPECT_TRUE(a.ExtractRun(run, 3, 14, 0, pos, -1));
    EXPECT_EQ(pos, 6);
    EXPECT_EQ(times(run), (std::vector<long>{7, 50, 60}));
    pos = 0;
    EXPECT_TRUE(a.ExtractRun(run, 3, 14, 0, pos, 7));
    EXPECT_EQ(times(run), (std::vector<long>{7, 50}));
    pos = 2;
    EXPECT_FALSE(a.ExtractRun(run, 3, 1, 0, pos, -1));
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(run.GetSize(), 0);
    pos = 2;
    EXPECT_TRUE(a.ExtractRun(run, 1, 14, 0, pos, -1));
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(times(run), (std::vector<long>{20}));
    pos = 7;
    EXPECT_FALSE(a.ExtractRun(run, 1, 14, 0, pos, -1)) << "the run lies before pos";
}

TEST_F(ControlTrackTest, ExtractRunPostsEveryFiveHundredthIndex)
{
    NotificationRecorder status;
    CAutomationEventArray a, run;
    a.Add(Ev(0, 1, 0, 0));
    for (int i = 0; i < 1200; ++i) a.Add(Ev(i, 2, 0, 0));
    int pos = 0;
    EXPECT_TRUE(a.ExtractRun(run, 2, 0, 0, pos, -1));
    EXPECT_EQ(run.GetSize(), 1200);
    const UINT m = NotificationRecorder::Message();
    EXPECT_EQ(status.Posts(), (std::vector<NotificationRecorder::Post>{{m, 1, 500}, {m, 1, 1000}}));
}

}  // namespace
