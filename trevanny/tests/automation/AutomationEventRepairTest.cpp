#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "EventArrayFixture.h"
#include "trevanny/AutomationEventArray.h"
#include "winport/Paths.h"

namespace {

class AutomationEventRepairTest : public EventArrayFixture {
protected:
    static std::string logPath() { return winport::HostPath("C:\\Cantle\\tcerr.txt"); }
    static std::string readLog()
    {
        std::ifstream in(logPath());
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(AutomationEventRepairTest, OldValuesChainFromTheSectionDefaults)
{
    CPathMap sections("PathMap");
    for (int v : {0, 10, 10, 10}) sections.Add(v);
    struct Row {
        int type;
        std::vector<CAutomationEvent> events;
        std::vector<WORD> old;
    };
    const Row rows[] = {
        {3,
         {Ev(0, 5, 14, 0, -100), Ev(5, 15, 1, 0, 10), Ev(10, 5, 14, 0, 200), Ev(12, 5, 41, 3, 0), Ev(15, 2500, 14, 0, 3, 0, 0x1234),
          Ev(20, 5, 14, 0, 300), Ev(25, 5, 14, 9, 7, 0, 0x4321), Ev(30, 5, 41, 3, 1), Ev(35, 5, 30, 0, 2)},
         {0xE000, 6165, static_cast<WORD>(-100), 1, 0x1234, 200, 0x4321, 0, 0}},
        {2, {Ev(0, 5, 2, 0, 1), Ev(1, 5, 2, 0, 2), Ev(1, 15, 2, 0, 2)}, {static_cast<WORD>(-396), 1, 4932}},
        {1, {Ev(0, 5, 4, 4, 1), Ev(1, 5, 14, 0, 2, 0, 7), Ev(2, 5, 4, 4, 3)}, {0x8000, 7, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        usePathMode(row.type, 2);
        CAutomationEventArray a;
        fill(a, row.events);
        a.SetOldValues(40, sections);
        EXPECT_EQ(oldValues(a), row.old);
    }
}

TEST_F(AutomationEventRepairTest, TranslatePathsMovesEachEventOnce)
{
    CAutomationEventArray a;
    CTranslationPairArray pairs;
    a.DoTranslatePaths(pairs);
    for (auto [from, to] : {std::pair{1u, 2u}, {2u, 3u}, {1u, 7u}, {70000u, 4u}}) pairs.Add({from, to});
    a.m_Filter.m_nEndTime = 5;
    a.DoTranslatePaths(pairs);
    EXPECT_EQ(a.m_Filter.m_nEndTime, 5) << "an empty array is left alone";
    fill(a, {Ev(1, 1, 0, 0), Ev(2, 2, 0, 0), Ev(3, 3, 0, 0), Ev(4, 1, 0, 0), Ev(5, 70000, 0, 0), Ev(6, 0, 0, 0)});
    a.DoTranslatePaths(pairs);
    EXPECT_EQ(paths(a), (std::vector<DWORD>{2, 3, 3, 2, 4, 0}));
    EXPECT_EQ(a.m_Filter.m_nStartTime, 1);
    EXPECT_EQ(a.m_Filter.m_nEndTime, 5);
    pairs.RemoveAll();
    pairs.Add({3, 1});
    a.DoTranslatePaths(pairs);
    EXPECT_EQ(paths(a), (std::vector<DWORD>{2, 1, 1, 2, 4, 0}));
}

TEST_F(AutomationEventRepairTest, TimeStampRepairLogsAndSorts)
{
    CCurrentUserRegistryObject user;
    ASSERT_TRUE(user.SetString("SOFTWARE\\VokSettings\\KIVSERVER\\Mix Pass Tree", "Last Revision Path", "C:\\Mixes\\Reel 2\\Pass 7"));
    CAutomationEventArray a;
    EXPECT_FALSE(a.MakeTimeStampsContinuous(0));
    fill(a, {Ev(0, 1, 2, 3), Ev(10, 1, 2, 3), Ev(10, 4, 5, 6), Ev(20, 1, 2, 3)});
    EXPECT_FALSE(a.MakeTimeStampsContinuous(0));
    EXPECT_FALSE(std::ifstream(logPath()).good()) << "no log for an array in order";

    fill(a, {Ev(10, 7, 14, 0, 1), Ev(5, 8, 1, 2, 2), Ev(20, 9, 3, 4, 3)});
    EXPECT_TRUE(a.MakeTimeStampsContinuous(0));
    EXPECT_EQ(readLog(), "C:\\Mixes\\Reel 2\\Pass 7\nNumber of Events:3\n"
                         "Error on Event:1 * Last TC:10 * Current TC:5 * PPC: 7 14 0\n");
    EXPECT_EQ(times(a), (std::vector<long>{5, 10, 20}));

    // Every later event below the last time in order is logged.
    fill(a, {Ev(10, 1, 14, 0, 1), Ev(5, 1, 14, 0, 2), Ev(7, 2, 0, 0, 3), Ev(20, 1, 14, 0, 4), Ev(3, 3, 0, 0, 5),
             Ev(5, 1, 14, 0, 6)});
    EXPECT_TRUE(a.MakeTimeStampsContinuous(1));
    EXPECT_EQ(readLog(), "C:\\Mixes\\Reel 2\\Pass 7\nNumber of Events:6\n"
                         "Error on Event:1 * Last TC:10 * Current TC:5 * PPC: 1 14 0\n"
                         "Error on Event:2 * Last TC:10 * Current TC:7 * PPC: 1 14 0\n"
                         "Error on Event:4 * Last TC:20 * Current TC:3 * PPC: 1 14 0\n"
                         "Error on Event:5 * Last TC:20 * Current TC:5 * PPC: 3 0 0\n");
    EXPECT_EQ(times(a), (std::vector<long>{3, 5, 5, 7, 10, 20}));
    EXPECT_EQ(values(a), (std::vector<short>{5, 2, 6, 3, 1, 4}));
}

TEST_F(AutomationEventRepairTest, TimeStampLogKeepsItsFirstLines)
{
    CAutomationEventArray a;
    for (int i = 0; i < 12000; ++i) a.Add(Ev(20000 - i, 1, 14, 0, static_cast<short>(i)));
    EXPECT_TRUE(a.MakeTimeStampsContinuous(0));
    std::ifstream in(logPath());
    std::string line;
    int lines = 0;
    std::string last;
    while (std::getline(in, line)) {
        ++lines;
        last = line;
    }
    EXPECT_EQ(lines, 2 + 10000);
    EXPECT_EQ(last, "Error on Event:10000 * Last TC:20000 * Current TC:10000 * PPC: 1 14 0");
    EXPECT_EQ(a.GetSize(), 12000);
    EXPECT_EQ(a[0].GetTime(), 8001);
}

// The repair sorts only the stretches out of order when the disorder is local, and must give
// what a merge of duplicates and one stable sort of the whole array give: the same 16 bytes of
// every event in the same order.
TEST_F(AutomationEventRepairTest, TimeStampRepairGivesTheWholeSortsOrder)
{
    struct Shape {
        const char* name;
        size_t events;
        int jitter;        // state events up to this many units after the time in order
        int outlierEvery;  // an event far ahead of its place every this many (0: none)
    };
    const Shape shapes[] = {
        {"state events beside the copied ones", 30000, 3, 0},
        {"wide local disorder", 30000, 200, 0},
        {"a far event makes one long piece", 30000, 3, 29000},
        {"pieces longer than the piece sort takes", (size_t{1} << 20) + 5000, 3, 600000},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        std::mt19937 random(static_cast<unsigned>(shape.events));
        std::vector<CAutomationEvent> events;
        long time = -500;  // negative times sort below the rest
        for (size_t i = 0; i < shape.events; ++i) {
            time += static_cast<long>(random() % 3);
            long at = time + static_cast<long>(random() % static_cast<unsigned>(shape.jitter + 1));
            if (shape.outlierEvery && i % static_cast<size_t>(shape.outlierEvery) == 7) at += 100000;
            // Equal keys that never merge (path 2000 and up, control 9 and up) test stability;
            // a path with its top bit set sorts below path 0.
            static const DWORD kPaths[] = {1, 2, 3, 2000, 2001, 0x80000005u};
            const DWORD path = kPaths[random() % 6];
            const BYTE control = static_cast<BYTE>(random() % 2 ? 9 : random() % 3);
            events.push_back(Ev(at, path, static_cast<BYTE>(random() % 3), control, static_cast<short>(i), static_cast<BYTE>(i),
                                static_cast<WORD>(i >> 16)));
        }
        CAutomationEventArray repaired, sorted;
        fill(repaired, events);
        fill(sorted, events);
        EXPECT_TRUE(repaired.MakeTimeStampsContinuous(0));
        sorted.BuildControlIndex();
        sorted.Sort(CAutomationEventArray::SortByTime);
        ASSERT_EQ(repaired.GetSize(), sorted.GetSize());
        EXPECT_EQ(std::memcmp(repaired.GetData(), sorted.GetData(), static_cast<size_t>(sorted.GetSize()) * sizeof(CAutomationEvent)), 0);
    }
}

TEST_F(AutomationEventRepairTest, DuplicatesMergeIntoTheKeptEvent)
{
    CAutomationEventArray a;
    EXPECT_EQ(a.BuildControlIndex(), 0);
    fill(a, {
                Ev(10, 1, 14, 0, 1, 5, 9),  // kept: takes the last value of its burst
                Ev(10, 1, 14, 1, 2),
                Ev(10, 1, 14, 0, 3, 6, 8),
                Ev(10, 1, 14, 0, 4),
                Ev(11, 1, 14, 0, 5),
                Ev(10, 1, 14, 0, 6),        // the control's last kept event is at 11: kept
                Ev(10, 2000, 14, 0, 7),     // paths of 2000 and more never merge
                Ev(10, 2000, 14, 0, 8),
                Ev(10, 1, 14, 9, 1),        // nor controls of 9 and more
                Ev(10, 1, 14, 9, 2),
                Ev(10, 1, 14, 0, 9),        // merges into the event at 10 kept after the one at 11
                Ev(10, 1, 255, 8, 1),
                Ev(10, 1, 255, 8, 2),
            });
    EXPECT_EQ(a.BuildControlIndex(), 4);
    EXPECT_EQ(values(a), (std::vector<short>{4, 2, 5, 9, 7, 8, 1, 2, 2}));
    EXPECT_EQ(a[0].GetFlags(), 5);
    EXPECT_EQ(a[0].GetOldValue(), 9);
    EXPECT_EQ(a[3].GetTime(), 10);
    EXPECT_EQ(paths(a), (std::vector<DWORD>{1, 1, 1, 1, 2000, 2000, 1, 1, 1}));
}

}  // namespace
