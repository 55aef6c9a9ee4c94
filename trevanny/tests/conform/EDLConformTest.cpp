// The conform of an event array to an item list, on small arrays of one switch (path 1, process
// 2, control 3 of a small console: default 0, never moved onto a time slot), so that every
// event of the result, state events included, can be written down by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>

#include "ChildProcess.h"
#include "automation/EventArrayFixture.h"
#include "conform/EditListFiles.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/ConformEngine.h"
#include "trevanny/EDLItemList.h"
#include "trevanny/TimecodeSettings.h"
#include "winport/Clock.h"

namespace {

CAutomationEvent Switch(long time, short value, BYTE flags = 0) { return Ev(time, 1, 2, 3, value, flags); }

/// (time, value) of every event.
using Point = std::pair<long, short>;
std::vector<Point> Points(const CAutomationEventArray& a)
{
    std::vector<Point> out;
    for (INT_PTR i = 0; i < a.GetSize(); ++i) out.emplace_back(a[i].GetTime(), a[i].GetValue());
    return out;
}

struct Item {
    int kind;
    int length;
    int reference = -1;
    const char* folder = "";
    const char* name = "";
};

class EDLConformTest : public EventArrayFixture {
protected:
    void SetUp() override
    {
        EventArrayFixture::SetUp();
        useConsoleType(1);
        winport::SetClock(&m_clock);
        std::filesystem::create_directories(m_env.Path("data/c/Pieces"));
        m_package.m_bNotifyOnClose = FALSE;
        m_package.SetPathName("C:\\Mixes\\pass.aut");
    }
    void TearDown() override
    {
        winport::SetClock(nullptr);
        EventArrayFixture::TearDown();
    }
    /// A new list of the items.
    void list(const std::vector<Item>& items)
    {
        m_items = std::make_unique<CEDLItemList>();
        for (const Item& i : items) m_items->Add(CEDLItem(i.kind, i.reference, i.length, "", i.folder, i.name), 0);
    }
    int conform(CString& message) { return m_events.EDLConform(*m_items, "C:\\Pieces\\", "Conf", &m_package, message); }

    winport::ManualClock m_clock;
    CAutomationPackage m_package;
    CAutomationEventArray m_events;
    std::unique_ptr<CEDLItemList> m_items = std::make_unique<CEDLItemList>();
};

// The walks of every kind but the pieces: what stays, goes, moves and is pasted, and the state
// events (flags 0) that bring the switch to its value where each stretch came from.
TEST_F(EDLConformTest, ItemKindsOnASmallArray)
{
    struct Case {
        const char* what;
        std::vector<CAutomationEvent> events;
        std::vector<Item> items;
        std::vector<Point> expected;
    };
    const Case cases[] = {
        {"empty list: events after 0 stay, those at 0 become state", {Switch(0, 4, 0x80), Switch(30, 5)}, {},
         {{0, 4}, {30, 5}}},
        {"one copy: the stretch and the tail keep their times", {Switch(10, 1), Switch(50, 2)}, {{0, 30}},
         {{10, 1}, {50, 2}}},
        {"removed 40 between copies: later events 40 earlier, the state at the cut",
         {Switch(10, 1), Switch(50, 2), Switch(120, 3)}, {{0, 40}, {1, 40}, {0, 100}},
         {{10, 1}, {40, 2}, {80, 3}}},
        {"blank 30: later events 30 later, nothing in the blank", {Switch(10, 1), Switch(50, 2)}, {{0, 20}, {2, 30}, {0, 100}},
         {{10, 1}, {80, 2}}},
        {"cut by kind 3, pasted by kind 5 after the state of its start",
         {Switch(10, 1), Switch(25, 2), Switch(60, 3)}, {{0, 20}, {3, 20}, {0, 40}, {5, 20, 2}},
         {{10, 1}, {20, 2}, {40, 3}, {60, 1}, {65, 2}}},
        {"a paste naming no capture only moves the destination", {Switch(10, 1), Switch(30, 2)}, {{5, 50, 7}, {0, 100}},
         {{60, 1}, {80, 2}}},
        {"negative lengths count as 0", {Switch(10, 1), Switch(30, 2)}, {{1, -500}, {2, -9}, {0, 100}}, {{10, 1}, {30, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        list(c.items);
        fill(m_events, c.events);
        CString message = "untouched";
        ASSERT_TRUE(conform(message));
        EXPECT_EQ(message, CString("untouched"));
        EXPECT_EQ(Points(m_events), c.expected);
    }
}

// An event at the very start of a copied stretch reaches the output only through the state
// written there (flags 0), not as itself.
TEST_F(EDLConformTest, AnEventAtAStretchStartArrivesAsState)
{
    list({{0, 40}, {1, 10}, {0, 100}});
    fill(m_events, {Switch(50, 5, 0x80), Switch(70, 6, 0x80)});
    CString message;
    ASSERT_TRUE(conform(message));
    ASSERT_EQ(Points(m_events), (std::vector<Point>{{40, 5}, {60, 6}}));
    EXPECT_EQ(m_events[0].GetFlags(), 0);
    EXPECT_EQ(m_events[1].GetFlags(), 0x80);
}

// Two captures without references each paste their own stretch (not the first stretch twice).
TEST_F(EDLConformTest, EachKind4PastesItsOwnStretch)
{
    list({{4, 20}, {4, 20}});
    fill(m_events, {Switch(5, 1), Switch(25, 2)});
    CString message;
    ASSERT_TRUE(conform(message));
    EXPECT_EQ(Points(m_events), (std::vector<Point>{{5, 1}, {25, 2}}));
}

// A kind-7 stretch kept as a piece file is inserted again by a kind-8 item with its state, in
// both file forms; the piece lies in the conform's own folder.
TEST_F(EDLConformTest, PieceSavedAndInsertedElsewhere)
{
    for (int link : {0, 4}) {
        SCOPED_TRACE(link);
        // The server's card link, in its older and its per-link value.
        useCardLinkType(link);
        CLocalMachineRegistryObject registry{CString()};
        ASSERT_TRUE(registry.SetInt("SOFTWARE\\VOKDWEN\\KIVSERVER", "Link Type 1", link));
        list({{0, 20}, {7, 30, -1, "", "P1"}, {0, 50}, {8, 30, -1, "", "P1"}});
        fill(m_events, {Switch(10, 1), Switch(30, 2), Switch(60, 3)});
        CString message;
        ASSERT_TRUE(conform(message)) << message;
        const std::string piece = m_env.Path("data/c/Pieces/Conf/P1.aut");
        ASSERT_TRUE(std::filesystem::exists(piece));
        EXPECT_EQ(CAutomationPackage::IsIndexedFile(piece.c_str()), link == 4);
        EXPECT_EQ(Points(m_events), (std::vector<Point>{{10, 1}, {30, 2}, {60, 3}, {100, 1}, {110, 2}}));

        CAutomationPackage stored;
        stored.SetPathName(piece.c_str());
        stored.Load();
        EXPECT_EQ(Points(stored), (std::vector<Point>{{0, 1}, {10, 2}}));
        EXPECT_EQ(stored.m_dwMixPass[0], 0xFFFFFFFFu);
        std::filesystem::remove(piece);
    }
}

// The time base the conform's state tables take: from the last event's path and time (each
// remainder with the sign of its dividend), 0 for an empty array and on the small consoles.
TEST_F(EDLConformTest, TimeBaseOfTheLastEvent)
{
    struct Case {
        int type;
        std::vector<CAutomationEvent> events;
        int timeBase;
    };
    const Case cases[] = {{3, {}, 0}, {3, {Ev(1, 0, 0, 0), Ev(9, 6, 0, 0)}, 1}, {3, {Ev(-3, 2, 0, 0)}, 5}, {1, {Ev(9, 6, 0, 0)}, 0}};
    for (const Case& c : cases) {
        useConsoleType(c.type);
        CAutomationEventArray a;
        fill(a, c.events);
        EXPECT_EQ(a.ChannelTimeBase(), c.timeBase) << c.type << " " << c.events.size();
    }
}

// A missing piece fails the whole conform; the array keeps its events.
TEST_F(EDLConformTest, MissingPieceFailsWithTheArrayUnchanged)
{
    for (const char* folder : {"", "Other", "..\\Pieces\\Conf"}) {
        SCOPED_TRACE(folder);
        list({{0, 20}, {8, 30, -1, folder, "Absent"}});
        const std::vector<CAutomationEvent> events = {Switch(10, 1), Switch(30, 2)};
        fill(m_events, events);
        CString message = "before";
        EXPECT_FALSE(conform(message));
        EXPECT_EQ(message, CString("Conform failed to load the automation !\n "));
        EXPECT_EQ(Points(m_events), (std::vector<Point>{{10, 1}, {30, 2}}));
    }
}

// A piece that cannot be saved: the system's text of its error after the message's head; a
// second failure brings its own text. Names that would leave the piece folder are refused and
// nothing is written outside it.
TEST_F(EDLConformTest, SaveFailuresGiveTheSystemsText)
{
    list({{6, 10, -1, "", "P"}});
    fill(m_events, {Switch(5, 1)});
    CString message;
    EXPECT_FALSE(m_events.EDLConform(*m_items, "C:\\NoSuchRoot\\", "Conf", &m_package, message));
    EXPECT_EQ(message, CString("Conform could not save the automation :\n Access is denied.\r\n"));
    EXPECT_EQ(Points(m_events), (std::vector<Point>{{5, 1}}));

    for (const char* name : {"..\\Escaped", "../Escaped", "sub/Escaped", "C:Escaped", "A\x01"}) {
        SCOPED_TRACE(name);
        list({{7, 10, -1, "", name}});
        EXPECT_FALSE(conform(message));
        EXPECT_EQ(message,
                  CString("Conform could not save the automation :\n The filename, directory name, or volume label syntax is incorrect.\r\n"));
    }
    size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(m_env.Path("data"))) files += e.is_regular_file();
    EXPECT_EQ(files, 0u);
}

// The first edit goes to the remote conform library as pairs over 24 hours (a program of its
// own, whose library path holds the stand-in library).
class EDLConformRemote : public EventArrayFixture {};

TEST_F(EDLConformRemote, FirstEditReachesTheRemoteConform)
{
    useConsoleType(1);
    CCurrentUserRegistryObject user;
    ASSERT_TRUE(user.SetInt("Software\\VOKDWEN\\Pellimax", "AutoConform", 1));
    CTimecodeSettings settings;
    int fps = 0;
    settings.ReadTimecodeFramesPerSec(fps);
    const int day = FramesIn24Hours(fps);
    auto entry = [](int sourceIn, int sourceOut, int destinationIn, int destinationOut) {
        std::ostringstream s;
        // Quarter frames reach the library in frames.
        s << "fnAddConformEntry 1 -1 " << sourceIn / 4 << " " << sourceOut / 4 << " " << destinationIn / 4 << " "
          << destinationOut / 4;
        return s.str();
    };
    struct Case {
        std::vector<std::string> items;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {{"0:100", "1:50"}, {entry(0, 100, 0, 100), entry(150, day, 100, day - 50)}},
        {{"2:40"}, {entry(0, day - 40, 40, day)}},
        {{"0:100", "0:50"}, {}},
        {{}, {}},
    };
    int run = 0;
    for (const Case& c : cases) {
        const std::string log = m_env.Path("tyv-" + std::to_string(++run) + ".log");
        ::setenv("LD_LIBRARY_PATH", (std::string(CONSOLE_BINARY_DIR) + "/tools/tyv-remote/whole").c_str(), 1);
        ::setenv("TYV_REMOTE_LOG", log.c_str(), 1);
        std::vector<std::string> argv = {std::string(CONSOLE_BINARY_DIR) + "/tools/tyv-remote/conform-client-run", "--send-remote",
                                         "C:\\Mixes\\pass.aut"};
        argv.insert(argv.end(), c.items.begin(), c.items.end());
        ChildProcess child;
        ASSERT_TRUE(child.Start(argv));
        std::string line;
        while (child.ReadLine(line, 30000) && line != "done") {
        }
        EXPECT_EQ(line, "done");
        EXPECT_EQ(child.Wait(30000), 0);
        ::unsetenv("LD_LIBRARY_PATH");
        ::unsetenv("TYV_REMOTE_LOG");
        std::vector<std::string> entries;
        std::istringstream in(FileText(log));
        while (std::getline(in, line)) {
            const std::string call = line.substr(line.find(' ') + 1);
            if (call.rfind("fnAddConformEntry", 0) == 0) entries.push_back(call);
        }
        EXPECT_EQ(entries, c.entries);
    }
}

}  // namespace
