#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

#include "EventArrayFixture.h"
#include "trevanny/ChannelStateTable.h"

namespace {

constexpr int kRouteRegion = 648000;
constexpr int kSmallRegion = 1032000;
int controlSlot(int c, int p, int k) { return (c * 36 + p) * 9 + k; }
int routeSlot(int c, int r, int k) { return kRouteRegion + (c * 48 + r) * 4 + k; }
int smallSlot(int c, int p, int k) { return kSmallRegion + (c * 5 + p) * 9 + k; }

// (time, path, process, control, value, old value) of an event.
using Added = EventRow;
std::vector<Added> added(const CAutomationEventArray& a) { return Rows(a); }

class ChannelStateTableTest : public EventArrayFixture {
protected:
    static std::vector<short> block(const CChannelStateTable& t)
    {
        std::vector<short> v(CChannelStateTable::kValueCount);
        t.CopyTo(v.data());
        return v;
    }
};

// One table replays `played` to time 100; a second one, over an empty array and with the
// row's filter, plays to 100 and takes the first one's state: the events it appends are the
// differences it selects.
TEST_F(ChannelStateTableTest, ApplyValuesAddsTheSelectedDifferences)
{
    struct Row {
        const char* name;
        int type, mode, filterMode;
        std::vector<int> channels;
        std::vector<std::pair<BYTE, BYTE>> pairs;
        int timeBase;
        std::vector<CAutomationEvent> played;
        std::vector<Added> expected;
    };
    const std::vector<Row> rows = {
        {"path mode 0 handles paths below 256", 5, 0, 0, {}, {}, 0,
         {Ev(10, 10, 1, 0, 77), Ev(20, 300, 1, 0, 88), Ev(30, 255, 9, 3, 5)},
         {{102, 10, 1, 0, 77, 5329}, {100, 255, 9, 3, 5, 0}}},
        {"include {3}, pair (14, 0)", 3, 2, 1, {3}, {{14, 0}}, 0,
         {Ev(10, 3, 14, 0, 100), Ev(10, 3, 1, 0, 50), Ev(10, 4, 14, 0, 60)},
         {{103, 3, 14, 0, 100, -8192}}},
        {"exclude {3}, pair (14, 0)", 3, 2, 2, {3}, {{14, 0}}, 0,
         {Ev(10, 3, 14, 0, 100), Ev(10, 3, 1, 0, 50), Ev(10, 4, 14, 0, 60)},
         {{103, 3, 1, 0, 50, 5329}, {100, 4, 14, 0, 60, -8192}}},
        {"type 3, time base 1: continuous on the slot, a mute at the time", 3, 2, 0, {}, {}, 1,
         {Ev(50, 2, 14, 2, 0), Ev(60, 2, 14, 0, 7)},
         {{103, 2, 14, 0, 7, -8192}, {100, 2, 14, 2, 0, 1}}},
        {"type 1 takes the time as it is", 1, 0, 0, {}, {}, 1, {Ev(60, 2, 0, 0, 7), Ev(60, 2, 4, 4, 3)},
         {{100, 2, 0, 0, 7, -8192}, {100, 2, 4, 4, 3, -32768}}},
        {"routes from the first route process, last", 3, 2, 0, {}, {}, 0, {Ev(5, 1, 41, 3, 0), Ev(5, 1, 0, 0, 9)},
         {{101, 1, 0, 0, 9, 0}, {100, 1, 41, 3, 0, 1}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        usePathMode(row.type, row.mode);
        CAutomationEventArray played;
        fill(played, row.played);
        CAutomationEventArray out;
        CEventFilter filter;
        for (int c : row.channels) filter.m_ChannelList.Add(c);
        for (const auto& [p, k] : row.pairs) filter.AddPair(p, k);
        CChannelStateTable source(&played, 40, nullptr, row.timeBase, nullptr);
        CChannelStateTable target(&out, 40, nullptr, row.timeBase, &filter);
        target.SetFilterMode(row.filterMode);
        source.PlayTo(100, false);
        target.PlayTo(100, false);
        target.ApplyFrom(source);
        EXPECT_EQ(added(out), row.expected);
        // The target now holds the selected values: a second apply adds nothing more.
        const INT_PTR count = out.GetSize();
        if (row.filterMode == 0) {
            EXPECT_EQ(block(target), block(source));
            target.ApplyFrom(source);
            EXPECT_EQ(out.GetSize(), count);
        }
    }
}

TEST_F(ChannelStateTableTest, PlayToReplaysEachEventOnceAndOnlyForward)
{
    usePathMode(5, 0);
    CAutomationEventArray a;
    fill(a, {Ev(10, 1, 14, 0, 5), Ev(20, 1, 14, 0, 6), Ev(20, 300, 14, 0, 1), Ev(30, 1, 14, 0, 7)});
    CChannelStateTable t(&a, 40, nullptr, 0, nullptr);
    t.PlayTo(20, false);
    EXPECT_EQ(t.GetLastEvent(), 2);
    EXPECT_EQ(t.GetValues()[controlSlot(1, 14, 0)], 6);
    EXPECT_EQ(t.GetValues()[controlSlot(300, 14, 0)], 0) << "path 300 is beyond a mode-0 console";
    a[1].SetValue(99);  // already applied: not read again
    t.PlayTo(20, false);
    t.PlayTo(15, false);
    EXPECT_EQ(t.GetPlayToTime(), 20);
    EXPECT_EQ(t.GetValues()[controlSlot(1, 14, 0)], 6);
    t.PlayTo(30, false);
    EXPECT_EQ(t.GetValues()[controlSlot(1, 14, 0)], 7);
    EXPECT_EQ(t.GetLastEvent(), 3);
}

TEST_F(ChannelStateTableTest, DefaultsFollowFamilyAndSection)
{
    CPathMap sections("PathMap");
    for (int first : {0, 10, 20, 30}) {
        sections.Add(first);
        sections.Add(10);
    }
    struct Cell {
        int type, slot;
        short value;
    };
    const Cell cells[] = {
        // family 0 (type 3): section 0 bands, section 1 bands, section 3 fader
        {3, controlSlot(5, 1, 0), 5329}, {3, controlSlot(5, 1, 5), 3}, {3, controlSlot(5, 4, 0), -2862},
        {3, controlSlot(5, 14, 0), -8192}, {3, controlSlot(5, 14, 2), 1}, {3, controlSlot(5, 13, 6), 2400},
        {3, controlSlot(5, 15, 5), -32768}, {3, controlSlot(5, 19, 5), 1920}, {3, controlSlot(5, 22, 2), 640},
        {3, controlSlot(5, 23, 3), 1}, {3, controlSlot(5, 20, 0), -396}, {3, controlSlot(5, 30, 0), 0},
        {3, controlSlot(15, 1, 0), 6165}, {3, controlSlot(15, 3, 0), 3699}, {3, controlSlot(15, 8, 0), -2466},
        {3, controlSlot(15, 6, 3), 1849}, {3, controlSlot(15, 6, 5), 2}, {3, controlSlot(15, 14, 0), -8192},
        {3, controlSlot(35, 14, 0), 0}, {3, controlSlot(25, 14, 0), -8192}, {3, controlSlot(45, 14, 0), -8192},
        {3, routeSlot(5, 0, 0), 0}, {3, routeSlot(5, 47, 2), 0}, {3, routeSlot(5, 47, 3), 1},
        // family 1 (type 5) equals the base outside sections 1, 3, 9, 10, 11
        {5, controlSlot(5, 2, 0), 1233}, {5, controlSlot(15, 2, 0), 4932}, {5, controlSlot(35, 14, 0), 0},
        // family 2 (type 2): its own bands everywhere but section 1
        {2, controlSlot(5, 1, 0), -2862}, {2, controlSlot(5, 2, 0), -396}, {2, controlSlot(5, 4, 0), 5329},
        {2, controlSlot(5, 4, 5), 3}, {2, controlSlot(5, 5, 5), 1}, {2, controlSlot(35, 8, 0), 5329},
        {2, controlSlot(35, 14, 0), 0}, {2, controlSlot(15, 2, 0), 4932}, {2, controlSlot(15, 2, 5), 2},
        // the small consoles
        {1, smallSlot(7, 0, 0), -8192}, {1, smallSlot(7, 1, 2), 1}, {1, smallSlot(7, 4, 4), -32768},
        {6, smallSlot(7, 3, 0), 0}, {6, smallSlot(255, 0, 0), -8192}, {1, controlSlot(7, 14, 0), 0},
    };
    for (const Cell& cell : cells) {
        usePathMode(cell.type, 2);
        CAutomationEventArray a;
        CChannelStateTable t(&a, 40, &sections, 0, nullptr);
        EXPECT_EQ(t.GetValues()[cell.slot], cell.value) << "type " << cell.type << " slot " << cell.slot;
    }
}

// A thread keeps the blocks of the tables it freed for its next ones: a table made on a block
// that a table of a wider or other-family console wrote is the same as one on fresh memory.
TEST_F(ChannelStateTableTest, ATableOnAKeptBlockStartsAsOnAFreshOne)
{
    CPathMap sections("PathMap");
    sections.Add(0);
    sections.Add(10);
    CAutomationEventArray played;
    for (int path : {3, 300, 1999})
        for (int process : {0, 1, 14, 41}) played.Add(Ev(10, path, process, 0, 1234));
    for (auto [type, mode] : {std::pair{3, 2}, std::pair{1, 2}, std::pair{5, 0}, std::pair{6, 1}}) {
        usePathMode(type, mode);
        // More tables than the thread keeps blocks of, each writing its block, freed together.
        std::vector<std::unique_ptr<CChannelStateTable>> dirty;
        for (int k = 0; k < 6; ++k) {
            dirty.push_back(std::make_unique<CChannelStateTable>(&played, 40, &sections, 0, nullptr));
            dirty.back()->PlayTo(100, false);
        }
    }
    for (auto [type, mode] : {std::pair{5, 0}, std::pair{1, 0}}) {
        usePathMode(type, mode);
        CAutomationEventArray none;
        std::vector<short> fresh;
        std::thread([&] { fresh = block(CChannelStateTable(&none, 40, &sections, 0, nullptr)); }).join();
        std::vector<std::unique_ptr<CChannelStateTable>> kept;
        for (int k = 0; k < 6; ++k) kept.push_back(std::make_unique<CChannelStateTable>(&none, 40, &sections, 0, nullptr));
        for (int k = 0; k < 6; ++k) ASSERT_EQ(block(*kept[k]), fresh) << "type " << type << ", table " << k;
    }
}

TEST_F(ChannelStateTableTest, OutOfRangeSectionsRoutesAndFilterChannelsStayInside)
{
    usePathMode(3, 2);
    // Fifteen sections: channel 1400 lies in section 14, which takes section 0's defaults.
    CPathMap sections("PathMap");
    for (int k = 0; k < 15; ++k) {
        sections.Add(k * 100);
        sections.Add(100);
    }
    CEventFilter filter;
    for (int c : {2000, -1, 5, 1999}) filter.m_ChannelList.Add(c);
    CAutomationEventArray a;
    fill(a, {Ev(1, 7, 40, 1, 9), Ev(1, 2500, 14, 0, 3), Ev(2, 1999, 40, 0, 4)});
    CChannelStateTable routeless(&a, 2000, &sections, 0, &filter);
    EXPECT_EQ(routeless.GetValues()[controlSlot(1400, 14, 0)], -8192);
    EXPECT_EQ(routeless.GetValues()[controlSlot(300, 14, 0)], 0) << "section 3";
    const std::vector<short> before = block(routeless);
    routeless.PlayTo(10, false);
    EXPECT_EQ(block(routeless), before) << "no route with first route process 2000";

    // First route process 250: routes 6 and up would be processes above 255.
    CAutomationEventArray out;
    CChannelStateTable routes(&out, 250, &sections, 0, &filter);
    std::vector<short> other = block(routes);
    other[routeSlot(3, 2, 1)] = 11;
    other[routeSlot(3, 10, 1)] = 12;
    routes.ApplyValues(other.data());
    EXPECT_EQ(added(out), (std::vector<Added>{{-1, 3, 252, 1, 11, 0}}));

    routes.SetFilterMode(CChannelStateTable::IncludeFilter);
    other[controlSlot(5, 0, 0)] = 1;
    other[controlSlot(6, 0, 0)] = 1;
    routes.ApplyValues(other.data());
    ASSERT_EQ(out.GetSize(), 2);
    EXPECT_EQ(out[1].GetPath(), 5u);
    out.RemoveAll();
    routes.CopyEventRange(routeless, 0, 2, 10, false);
    EXPECT_EQ(added(out), (std::vector<Added>{{12, 1999, 40, 0, 4, 0}}));
}

TEST_F(ChannelStateTableTest, CopyEventRangeMovesTheSelectedEventsAndReports)
{
    usePathMode(3, 2);
    struct Recorder : CChannelStateTable {
        using CChannelStateTable::CChannelStateTable;
        void ReportProgress(int current, int total) override { reports.emplace_back(current, total); }
        std::vector<std::pair<int, int>> reports;
    };
    CAutomationEventArray source;
    fill(source, {Ev(10, 1, 14, 0, 1), Ev(20, 3, 14, 0, 2), Ev(30, 3, 1, 0, 3), Ev(40, 3, 14, 0, 4)});
    CAutomationEventArray out;
    CEventFilter filter;
    filter.m_ChannelList.Add(3);
    filter.AddPair(14, 0);
    CChannelStateTable from(&source, 40, nullptr, 0, nullptr);
    Recorder to(&out, 40, nullptr, 0, &filter);
    to.SetFilterMode(CChannelStateTable::IncludeFilter);
    to.CopyEventRange(from, 0, 2, 1000, false);
    EXPECT_EQ(added(out), (std::vector<Added>{{1020, 3, 14, 0, 2, 0}}));
    EXPECT_EQ(to.reports, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));

    // With progress, notification 27 goes out only while the source's status window is set.
    NotificationRecorder status;
    to.CopyEventRange(from, 0, 3, 0, true);
    EXPECT_TRUE(status.Posts().empty());
    source.SetStatusWnd(status.Window());
    to.CopyEventRange(from, 0, 3, 0, true);
    from.PlayTo(50, true);
    EXPECT_EQ(status.Posts(), (std::vector<NotificationRecorder::Post>{{NotificationRecorder::Message(), 27, 200},
                                                                        {NotificationRecorder::Message(), 27, 100}}));
    EXPECT_EQ(to.reports.size(), 4u);
}

TEST_F(ChannelStateTableTest, AlignTimeAndContinuousControls)
{
    usePathMode(3, 2);
    CAutomationEventArray a;
    CChannelStateTable t(&a, 40, nullptr, 1, nullptr);
    EXPECT_EQ(t.AlignTime(2, 100, false), 103);
    EXPECT_EQ(t.AlignTime(2, 103, false), 103);
    EXPECT_EQ(t.AlignTime(2, 102, true), 103);
    EXPECT_EQ(t.AlignTime(2, 0, false), 0);
    EXPECT_EQ(t.AlignTime(3, 101, true), 100);
    EXPECT_EQ(IsContinuousControl(14, 0, 40), 1);
    EXPECT_EQ(IsContinuousControl(14, 2, 40), 0);
    EXPECT_EQ(IsContinuousControl(0, 7, 40), 1);
    EXPECT_EQ(IsContinuousControl(41, 2, 40), 1);
    EXPECT_EQ(IsContinuousControl(41, 3, 40), 0);
    EXPECT_EQ(IsContinuousControl(30, 0, 40), 0);
    usePathMode(1, 0);
    EXPECT_EQ(t.AlignTime(2, 101, false), 101);
    EXPECT_EQ(IsContinuousControl(4, 4, 40), 1);
    EXPECT_EQ(IsContinuousControl(14, 0, 40), 0);
    useConsoleType(9);
    EXPECT_EQ(IsContinuousControl(14, 0, 40), 0);
}

}  // namespace
