// The I/O routing mirror: replies written from the reply layout by hand, port names, iteration,
// the in-use searches, films, off-line editing, its command blocks, and routing changes of
// another client that reach this one through the server simulator.
#include <gtest/gtest.h>

#include <fstream>
#include <poll.h>

#include "../testtools/KivClientTestKit.h"
#include "quenby/IORoutingKIVObject.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "winport/MessageLoop.h"
#include "winport/Registry.h"
#include "winport/Window.h"

namespace {

// A routing reply of 390,068 bytes, field by field.
struct RoutingReply {
    std::vector<uint8_t> b = std::vector<uint8_t>(390068, 0);
    RoutingReply()
    {
        Put(0, 67);
        Put(8, 390068);
    }
    RoutingReply& Put(size_t at, int32_t v)
    {
        std::memcpy(b.data() + at, &v, 4);
        return *this;
    }
    RoutingReply& Racks(int system, int n) { return Put(16 + 4 * system, n); }
    RoutingReply& Paths(int n) { return Put(32, n); }
    RoutingReply& Route(int path, int slot, int leg, int system, int rack, int card, int io, int assigned = 1)
    {
        uint8_t* r = b.data() + 40 + 168 * path + 24 * slot + 8 * leg;
        r[0] = rack, r[1] = card, r[2] = io, r[3] = assigned, r[4] = system;
        return *this;
    }
    RoutingReply& Fmdi(int mode) { return Put(336040, mode); }
    RoutingReply& Present(int system, int rack, int direction, int pair)
    {
        b[336044 + ((system * 12 + rack) * 3 + direction) * 28 + pair] = 1;
        return *this;
    }
    RoutingReply& CardType(int system, int rack, int pair, int type)
    {
        b[340076 + (system * 12 + rack) * 28 + pair] = type;
        return *this;
    }
    RoutingReply& RackType(int system, int rack, int type)
    {
        b[341420 + system * 12 + rack] = type;
        return *this;
    }
    RoutingReply& Converters(int system, int rack, int n) { return Put(341468 + 4 * (system * 12 + rack), n); }
    RoutingReply& Rate(int fs, int code) { return Put(341660, fs).Put(341664, code); }
    RoutingReply& Card(int system, int type, int card, int base, int inputs, int outputs)
    {
        const size_t at = 341668 + ((system * 16 + type) * 5 + card) * 20;
        return Put(at, base).Put(at + 4, inputs).Put(at + 8, outputs);
    }
    RoutingReply& Path(int path, int stereo, int type, const char* name = "")
    {
        const size_t at = 348068 + 20 * path;
        b[at] = stereo;
        Put(at + 8, type);
        std::memcpy(b.data() + at + 12, name, std::min<size_t>(std::strlen(name), 8));
        return *this;
    }
    RoutingReply& Engine(int path, int engine)
    {
        b[388068 + path] = engine;
        return *this;
    }
    _CommsStructure* Block() { return reinterpret_cast<_CommsStructure*>(b.data()); }
    // The body (from byte 16) as the simulator's "set" takes it from a file.
    std::string BodyFile(const std::string& path) const
    {
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data() + 16), static_cast<std::streamsize>(b.size() - 16));
        return path;
    }
};

// System 0: rack 0 of type 0 (card 0: pairs 0 and 1 in, pair 0 out; card 1: pair 2 in, pairs 2
// and 3 out), rack 1 of type 1 (card 3: pairs 4 and 5, only 5 present). System 1: one rack of
// type 0 with card 0's first pair.
RoutingReply smallSystem()
{
    RoutingReply r;
    r.Racks(0, 2).Racks(1, 1).Paths(40).Rate(96000, 2);
    r.Card(0, 0, 0, 0, 2, 1).Card(0, 0, 1, 2, 1, 2).Card(0, 1, 3, 4, 2, 2).RackType(0, 1, 1);
    for (int pair : {0, 1, 2}) r.Present(0, 0, 0, pair);
    for (int pair : {0, 2, 3}) r.Present(0, 0, 1, pair);
    r.Present(0, 1, 0, 5).Present(0, 1, 1, 5);
    r.Card(1, 0, 0, 0, 2, 0).Present(1, 0, 0, 0);
    r.CardType(0, 0, 0, 2).CardType(0, 0, 2, 4).CardType(0, 1, 5, 9).Converters(0, 1, 16);
    r.Path(0, 1, 0, "Ch 1").Path(1, 0, 0, "Ch 2").Path(2, 1, 0).Path(5, 0, 5, "Aux").Engine(3, 1).Engine(4, 7);
    return r;
}

void setConsoleValue(const char* name, DWORD value)
{
    CConsoleRegistryNames names;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, names.GetKey(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    CConsoleRegistryNames::ResetConsoleSettingsForTesting();
}

StructIOSearch port(int system, int rack, int card, int io, int direction = 0, int path = -1)
{
    StructIOSearch s{};
    s.system = system, s.rack = rack, s.card = card, s.io = io, s.direction = direction, s.path = path;
    return s;
}

// The routing object of a test: replies are taken on this thread.
class Routing : public COfflineIORoutingKIVObject {
public:
    ~Routing() { StopAdvise(); }
};

class IORoutingThreads : public KivServerTest {
protected:
    IORoutingThreads()
    {
        CConsoleRegistryNames::ResetConsoleSettingsForTesting();
        window = winport::CreateMessageWindow("RoutingTestWindow", [this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == CIORoutingKIVObject::RoutingReadyMessage() && w == 0 && l == 0) ++posts;
            return 0;
        });
    }
    ~IORoutingThreads() override
    {
        DestroyWindow(window);
        CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    }
    int Posts()
    {
        winport::MessageLoop::Current().RunUntilIdle();
        return posts;
    }
    // Pumps this thread's messages until the condition holds (bounded).
    template <class Condition>
    bool PumpUntil(Condition done)
    {
        winport::MessageLoop& loop = winport::MessageLoop::Current();
        for (int i = 0; i < 400 && !done(); ++i) {
            pollfd p{loop.WaitDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 25);
            loop.RunUntilIdle();
        }
        return done();
    }

    HWND window = nullptr;
    int posts = 0;
};

std::vector<std::tuple<int, int, int, int>> walk(const CIORoutingKIVObject& routing, StructIOSearch s, int step)
{
    std::vector<std::tuple<int, int, int, int>> seen;
    if (!routing.GetFirstRack(s)) return seen;
    do seen.emplace_back(s.system, s.rack, s.card, s.io);
    while (routing.GetNextIO(s, step) && seen.size() < 1000);
    return seen;
}

TEST_F(IORoutingThreads, PortNamesOnEveryCardSlot)
{
    StartServer();
    Routing routing;
    EXPECT_EQ(CString("IORoutingKIV"), routing.GetName());
    struct Row {
        int system, rack, card, io, direction, path;
        const char* name;
    };
    const Row rows[] = {
        {0, 0, 1, 4, 0, -2, "1 aes 3 AB"}, {0, 0, 1, 4, 1, -2, "1 AES 3 AB"}, {0, 0, 1, 5, 0, -2, "1 aes 3 BA"},
        {0, 0, 1, 4, 2, -1, "1 aes 3 A"},  {0, 0, 1, 5, 1, -1, "1 AES 3 B"},  {0, 0, 0, 0, 0, -2, "1 lin 1 AB"},
        {0, 0, 0, 1, 1, -1, "1 LIN 1 B"},  {0, 0, 0, 7, 2, -2, "1 lin 4 BA"}, {0, 0, 2, 4, 0, -2, "1 aft 5 6"},
        {0, 0, 2, 5, 1, -2, "1 AFT 6 5"},  {0, 0, 2, 4, 1, -1, "1 AFT 5"},    {0, 0, 3, 0, 0, -1, "1 sdf 1"},
        {0, 0, 3, 1, 1, -2, "1 SDF 2 1"},  {0, 0, 4, 62, 2, -2, "1 mad 63 64"}, {0, 0, 4, 63, 1, -1, "1 MAD 64"},
        {1, 2, 1, 0, 0, -1, "15 aes 1 A"}, {3, 11, 0, 0, 1, -1, "48 LIN 1 A"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StructIOSearch s = port(r.system, r.rack, r.card, r.io, r.direction, r.path);
        std::memset(s.name, 'x', sizeof s.name);
        routing.GetName(s);
        EXPECT_STREQ(r.name, s.name);
        CString text;
        EXPECT_EQ(CString(r.name), routing.GetName(r.system, r.rack, r.card, r.io, r.direction, r.path, text));
        EXPECT_EQ(CString(r.name), text);
    }

    // A path decides: its stereo byte, a type-5 path (mono inputs, stereo outputs).
    routing.OnLinkIn(smallSystem().Block());
    CString text;
    EXPECT_EQ(CString("1 aes 1 AB"), routing.GetName(0, 0, 1, 0, 0, 0, text));
    EXPECT_EQ(CString("1 aes 1 A"), routing.GetName(0, 0, 1, 0, 0, 1, text));
    EXPECT_EQ(CString("1 aes 1 A"), routing.GetName(0, 0, 1, 0, 0, 5, text));
    EXPECT_EQ(CString("1 AES 1 AB"), routing.GetName(0, 0, 1, 0, 1, 5, text));
}

TEST_F(IORoutingThreads, RepliesFillTheMirrorAndPost)
{
    StartServer();
    Routing routing;
    routing.IOAttach(window);  // the server has no routing yet: nothing read
    EXPECT_EQ(0, Posts());
    RoutingReply reply = smallSystem();
    reply.Route(3, 0, 0, 0, 0, 1, 1).Route(3, 2, 1, 1, 0, 0, 0, 0).Fmdi(2);
    EXPECT_EQ(1, routing.OnLinkIn(reply.Block()));
    EXPECT_EQ(1, Posts());
    EXPECT_EQ(40, routing.GetPathCount());
    EXPECT_EQ(CString("Ch 1"), routing.GetPathName(0));
    EXPECT_EQ(CString(), routing.GetPathName(40));
    EXPECT_EQ(5, routing.GetPathType(5));
    EXPECT_EQ(-1, routing.GetPathType(40));
    EXPECT_EQ(-1, routing.GetPathType(-1));
    EXPECT_EQ(1, routing.GetEnginePath(3));
    EXPECT_EQ(0, routing.GetEnginePath(4));  // engine 7 reads as 0
    EXPECT_EQ(0, routing.GetEnginePath(2000));
    EXPECT_TRUE(routing.IsPathStereo(0));
    EXPECT_FALSE(routing.IsPathStereo(1));
    EXPECT_EQ(enFMDIMode2, routing.GetFMDIMode());
    EXPECT_EQ(96000, routing.GetSampleRate());
    EXPECT_EQ(2, routing.GetFsRate());
    EXPECT_EQ(enNoFilms, routing.GetFilmTotals());

    StructIOSearch s{};
    EXPECT_TRUE(routing.GetInput(3, s, 0));
    EXPECT_EQ(std::make_tuple(3, 0, 0, 0, 1, 1), std::make_tuple(s.path, s.direction, s.system, s.rack, s.card, s.io));
    EXPECT_STREQ("1 aes 1 B", s.name);
    EXPECT_FALSE(routing.GetOutput(3, 1, s, 1));  // routed but not assigned
    EXPECT_EQ(std::make_tuple(1, 1), std::make_tuple(s.direction, s.system));
    EXPECT_FALSE(routing.GetOutput(3, 2, s, 0));
    EXPECT_FALSE(routing.GetInsertInput(2000, 0, s, 0));
    EXPECT_FALSE(routing.GetInsertOutput(3, 0, s, 3));

    int type = -1, channels = -1;
    CString card;
    routing.GetCard(port(0, 0, 0, 1), type, card);
    EXPECT_EQ(2, type);
    EXPECT_EQ(CString("Card 2"), card);
    routing.GetCard(port(0, 0, 1, 1), type, card);  // card 1 starts at pair 2
    EXPECT_EQ(CString("Card 4"), card);
    routing.GetCard(port(0, 1, 3, 2), type, card);  // type 9: unknown
    EXPECT_EQ(0, type);
    EXPECT_EQ(CString("Unknown"), card);
    routing.GetCard(port(4, 0, 0, 0), type);
    EXPECT_EQ(0, type);
    routing.GetSRCChannels(port(0, 1, 0, 0), channels);
    EXPECT_EQ(16, channels);
    routing.GetSRCChannels(port(0, 12, 0, 0), channels);
    EXPECT_EQ(0, channels);

    // A path count of 0 updates the tables and posts nothing.
    RoutingReply empty = smallSystem();
    empty.Paths(0).Path(0, 0, 0, "New");
    routing.OnLinkIn(empty.Block());
    EXPECT_EQ(1, Posts());
    EXPECT_EQ(0, routing.GetPathCount());
    EXPECT_FALSE(routing.IsPathStereo(0));

    // A reply shorter than the layout changes nothing.
    RoutingReply shorter = smallSystem();
    shorter.Put(8, 390067);
    routing.OnLinkIn(shorter.Block());
    EXPECT_EQ(0, routing.GetPathCount());
    EXPECT_EQ(1, Posts());

    // Off line, replies are ignored.
    routing.SetOnLineMode(0);
    routing.OnLinkIn(smallSystem().Block());
    EXPECT_EQ(0, routing.GetPathCount());
    EXPECT_EQ(1, Posts());
}

TEST_F(IORoutingThreads, OutOfRangeRepliesAreLimited)
{
    StartServer();
    Routing routing;
    RoutingReply reply;
    reply.Racks(0, 200).Racks(1, -5).Paths(99999).Fmdi(9);
    for (int rack = 0; rack < 12; ++rack) reply.RackType(0, rack, rack < 6 ? 200 : 1);
    reply.Card(0, 1, 0, 40, 2, 2).Card(0, 1, 1, 20, 20, 20).Card(0, 1, 2, -3, 1, 1).Card(0, 1, 3, 27, 5, -9);
    for (int rack = 0; rack < 12; ++rack)
        for (int pair = 0; pair < 28; ++pair) reply.Present(0, rack, 0, pair).Present(0, rack, 1, pair).CardType(0, rack, pair, 200);
    for (int path = 0; path < 2000; ++path) reply.Engine(path, 255).Path(path, 1, 10);
    routing.OnLinkIn(reply.Block());
    EXPECT_EQ(2000, routing.GetPathCount());
    EXPECT_EQ(enFMDIMode0, routing.GetFMDIMode());
    EXPECT_EQ(0, routing.GetEnginePath(1999));
    // 2000 film paths: no film count of the table, the films stay as they were.
    EXPECT_EQ(enNoFilms, routing.GetFilmTotals());

    // Racks 0 to 5 have an unknown type and no ports; racks 6 to 11 have card 1 with the 8
    // pairs left from its base (20) and card 3 with the one pair left from 27.
    auto seen = walk(routing, port(0, 0, 0, 0), 1);
    ASSERT_EQ(6u * (16 + 2), seen.size());
    EXPECT_EQ(std::make_tuple(0, 6, 1, 0), seen.front());
    EXPECT_EQ(std::make_tuple(0, 11, 3, 1), seen.back());
    StructIOSearch s = port(1, 0, 0, 0);
    EXPECT_FALSE(routing.GetFirstRack(s));
    int type = -1;
    CString card;
    routing.GetCard(port(0, 6, 1, 15), type, card);
    EXPECT_EQ(CString("Unknown"), card);
    routing.GetCard(port(0, 6, 3, 2), type);  // beyond the rack's 28 pairs
    EXPECT_EQ(0, type);
    int where = 0, partner = 0;
    EXPECT_FALSE(routing.IsOutputInUse(port(0, 6, 1, 0), where, partner));
    EXPECT_EQ(-1, where);
}

TEST_F(IORoutingThreads, IterationOverRacksCardsAndSystems)
{
    StartServer();
    Routing routing;
    routing.OnLinkIn(smallSystem().Block());
    using P = std::tuple<int, int, int, int>;
    EXPECT_EQ((std::vector<P>{{0, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 0, 2}, {0, 0, 0, 3}, {0, 0, 1, 0}, {0, 0, 1, 1}, {0, 1, 3, 2}, {0, 1, 3, 3}}),
              walk(routing, port(0, 0, 0, 0), 1));
    EXPECT_EQ((std::vector<P>{{0, 0, 0, 0}, {0, 0, 0, 2}, {0, 0, 1, 0}, {0, 1, 3, 2}}), walk(routing, port(0, 0, 0, 0), 2));
    // Outputs: card 0 has one pair, card 1 two; rack 1 its pair 5.
    EXPECT_EQ((std::vector<P>{{0, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 1, 2}, {0, 1, 3, 2}}), walk(routing, port(0, 0, 0, 0, 1), 2));
    EXPECT_EQ((std::vector<P>{{1, 0, 0, 0}, {1, 0, 0, 1}}), walk(routing, port(1, 0, 0, 0), 1));
    EXPECT_TRUE(walk(routing, port(0, 0, 0, 0, 2), 1).empty());  // no microphone lines

    StructIOSearch s = port(0, 0, 0, 0);
    ASSERT_TRUE(routing.GetFirstRack(s));
    EXPECT_STREQ("1 lin 1 A", s.name);
    ASSERT_TRUE(routing.GetNextRack(s));
    EXPECT_EQ(P(0, 1, 3, 2), P(s.system, s.rack, s.card, s.io));
    EXPECT_STREQ("2 sdf 3", s.name);
    EXPECT_FALSE(routing.GetNextRack(s));

    struct Row {
        const char* what;
        StructIOSearch from;
        P to;
    };
    // Paths 0 and 2 are stereo, 1, 3 and 4 mono.
    const Row rows[] = {
        {"stereo: a pair on", port(0, 0, 0, 0, 0, 0), {0, 0, 0, 2}},
        {"stereo from a B leg: back to its A leg first", port(0, 0, 0, 3, 0, 0), {0, 0, 1, 0}},
        {"stereo across racks", port(0, 0, 1, 0, 0, 0), {0, 1, 3, 2}},
        {"stereo across systems", port(0, 1, 3, 2, 0, 0), {1, 0, 0, 0}},
        {"mono before a stereo path: the B leg is skipped", port(0, 0, 0, 0, 0, 1), {0, 0, 0, 2}},
        {"mono before mono", port(0, 0, 0, 0, 0, 3), {0, 0, 0, 1}},
        {"mono from a B leg", port(0, 0, 0, 1, 0, 3), {0, 0, 0, 2}},
        {"the last path is mono", port(0, 0, 0, 0, 0, 1999), {0, 0, 0, 1}},
        {"path 2000 is mono", port(0, 0, 0, 0, 0, 2000), {0, 0, 0, 1}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        StructIOSearch next = r.from;
        ASSERT_TRUE(routing.GetNextIOForAllocation(next));
        EXPECT_EQ(r.to, P(next.system, next.rack, next.card, next.io));
    }
    s = port(1, 0, 0, 1, 0, 0);
    EXPECT_FALSE(routing.GetNextIOForAllocation(s));

    CArray<StructIOSearch, StructIOSearch&> names;
    routing.GetInputNames(names, 0, -1);
    ASSERT_EQ(8, names.GetSize());
    EXPECT_STREQ("1 lin 1 AB", names[0].name);  // path 0 is stereo
    EXPECT_STREQ("2 sdf 4 3", names[7].name);
    routing.GetOutputNames(names, 3, -1);  // path 3 is served by system 1: it has no outputs
    EXPECT_EQ(0, names.GetSize());
    routing.GetInputNames(names, 3, -1);
    EXPECT_EQ(2, names.GetSize());
    routing.GetOutputNames(names, 1, 0);
    EXPECT_EQ(8, names.GetSize());
    routing.GetMikeLineNames(names, 1, 0);
    EXPECT_EQ(0, names.GetSize());
}

TEST_F(IORoutingThreads, PortsInUse)
{
    StartServer();
    Routing routing;  // console type 3: legs 1 and 2 count
    RoutingReply reply = smallSystem();
    reply.Route(5, 1, 0, 0, 0, 1, 0).Route(7, 4, 2, 0, 0, 1, 2).Route(8, 6, 0, 0, 0, 1, 3, 0);
    reply.Route(8, 0, 0, 0, 0, 0, 0).Route(9, 3, 0, 0, 0, 0, 0).Path(9, 0, 6).Route(10, 5, 1, 0, 0, 0, 0).Route(11, 1, 0, 0, 0, 0, 0);
    routing.OnLinkIn(reply.Block());

    int where = 0, partner = -1;
    EXPECT_TRUE(routing.IsOutputInUse(port(0, 0, 1, 1), where, partner));  // its A leg is routed
    EXPECT_EQ(65536 + 5, where);
    EXPECT_EQ(1, partner);
    EXPECT_TRUE(routing.IsOutputInUse(port(0, 0, 1, 0), where, partner));
    EXPECT_EQ(0, partner);
    EXPECT_TRUE(routing.IsOutputInUse(0, 0, 1, 2, where));
    EXPECT_EQ(4 * 65536 + 7, where);
    EXPECT_FALSE(routing.IsOutputInUse(0, 0, 1, 3, where));  // routed, not assigned
    EXPECT_EQ(-1, where);
    EXPECT_FALSE(routing.IsOutputInUse(port(1, 0, 1, 0), where, partner));
    EXPECT_TRUE(routing.IsOutputInUse(0, 0, 0, 0, where));  // an output slot of path 11
    EXPECT_EQ(65536 + 11, where);

    CArray<int, int> places, legs;
    StructIOSearch in = port(0, 0, 0, 0);
    EXPECT_TRUE(routing.IsInputInUse(in, places, legs));
    ASSERT_EQ(2, places.GetSize());  // path 9 is of type 6: not counted
    EXPECT_EQ(8, places[0]);
    EXPECT_EQ(5 * 65536 + 10, places[1]);
    EXPECT_EQ(0, legs[0]);
    EXPECT_EQ(1, legs[1]);
    StructIOSearch b = port(0, 0, 0, 1);
    EXPECT_FALSE(routing.IsInputInUse(b, places, legs));
    EXPECT_EQ(0, places.GetSize());
    EXPECT_TRUE(routing.IsInputInUse(b, places, partner, legs));
    EXPECT_EQ(1, partner);
    EXPECT_EQ(2, places.GetSize());

    // On another console type only leg 0 counts.
    setConsoleValue("CantleConsoleType", 5);
    Routing other;
    other.OnLinkIn(reply.Block());
    EXPECT_FALSE(other.IsOutputInUse(0, 0, 1, 2, where));
    EXPECT_TRUE(other.IsInputInUse(in, places, legs));
    EXPECT_EQ(1, places.GetSize());
}

TEST_F(IORoutingThreads, FilmPathsAndTheirRules)
{
    StartServer();
    setConsoleValue("CantleConsoleType", 5);
    setConsoleValue("Max Paths Mode", 1);  // 500 paths
    Routing routing;
    RoutingReply reply = smallSystem();
    for (int path = 20; path < 26; ++path) reply.Path(path, 0, 10);
    reply.Path(600, 0, 10).Fmdi(3);  // beyond the console's 500 paths: not a film path
    // Y on film path 20's slot 1, leg 0; X on film path 21's slot 1, leg 1; Z on path 3's slot 2.
    reply.Route(20, 1, 0, 0, 0, 1, 0).Route(21, 1, 1, 0, 0, 1, 2).Route(3, 2, 0, 0, 0, 1, 3);
    routing.OnLinkIn(reply.Block());
    EXPECT_EQ(enFilms6, routing.GetFilmTotals());
    EXPECT_EQ(6, routing.GetIntFilmTotal());
    std::vector<int> types;
    for (int path = 19; path < 29; ++path) types.push_back(routing.GetFilmType(path));
    EXPECT_EQ((std::vector<int>{-1, 0, 1, 2, 3, 3, 3, 4, 4, -1}), types);

    // Film type 1 in FMDI mode 3 is a stereo path whose outputs are mono.
    EXPECT_TRUE(routing.IsPathStereo(21));
    EXPECT_FALSE(routing.IsPathStereo(22));
    EXPECT_TRUE(routing.NeedsStereoPair(20));
    EXPECT_FALSE(routing.NeedsStereoPair(21));
    EXPECT_TRUE(routing.NeedsStereoPair(22));
    EXPECT_FALSE(routing.NeedsStereoPair(23));
    CString text;
    EXPECT_EQ(CString("1 aes 1 AB"), routing.GetName(0, 0, 1, 0, 0, 21, text));
    EXPECT_EQ(CString("1 AES 1 A"), routing.GetName(0, 0, 1, 0, 1, 21, text));

    // Inserts: in mode 3 only insert 3 of film type 1.
    EXPECT_TRUE(routing.IsFilmInsertRoutable(21, 3));
    EXPECT_FALSE(routing.IsFilmInsertRoutable(21, 5));
    EXPECT_FALSE(routing.IsFilmInsertRoutable(21, 4));
    EXPECT_FALSE(routing.IsFilmInsertRoutable(20, 3));
    routing.OnLinkIn(reply.Fmdi(1).Block());
    for (int path : {20, 21, 22, 23})
        for (int insert : {3, 4, 5}) EXPECT_TRUE(routing.IsFilmInsertRoutable(path, insert)) << path << " " << insert;
    EXPECT_FALSE(routing.IsFilmInsertRoutable(21, 2));
    EXPECT_FALSE(routing.IsFilmInsertRoutable(26, 4));  // film type 4
    EXPECT_FALSE(routing.IsFilmInsertRoutable(30, 4));
    routing.OnLinkIn(reply.Fmdi(2).Block());
    EXPECT_FALSE(routing.IsFilmInsertRoutable(20, 4));

    int where = 0, film = -1, leg = -1;
    EXPECT_TRUE(routing.IsFilmOutputInUse(port(0, 0, 1, 3), 0, 0, where, film, leg));  // Z: an ordinary output
    EXPECT_EQ(std::make_tuple(2 * 65536 + 3, 0, 0), std::make_tuple(where, film, leg));
    EXPECT_TRUE(routing.IsFilmOutputInUse(port(0, 0, 1, 0), 0, 0, where, film, leg));  // Y: slot 1 of a film path
    EXPECT_EQ(std::make_tuple(65536 + 20, 1, 0), std::make_tuple(where, film, leg));
    EXPECT_FALSE(routing.IsFilmOutputInUse(port(0, 0, 1, 2), 0, 0, where, film, leg));  // X is on leg 1
    EXPECT_EQ(-1, where);
    EXPECT_TRUE(routing.IsFilmOutputInUse(port(0, 0, 1, 2), 1, 0, where, film, leg));
    EXPECT_TRUE(routing.IsFilmOutputInUse(port(0, 0, 1, 2), 0, 1, where, film, leg));
    EXPECT_EQ(std::make_tuple(65536 + 21, 1, 1), std::make_tuple(where, film, leg));
    EXPECT_FALSE(routing.IsFilmOutputInUse(port(0, 0, 1, 2), 7, 0, where, film, leg));

    SCOPED_TRACE("console type 3");
    setConsoleValue("CantleConsoleType", 3);
    Routing klb;
    klb.OnLinkIn(reply.Block());
    where = 0;
    EXPECT_TRUE(klb.IsFilmOutputInUse(port(3, 3, 3, 3), 0, 0, where, film, leg));
    EXPECT_EQ(-1, where);
    EXPECT_FALSE(klb.NeedsStereoPair(20));

    routing.SetNumberOfFilms(3);  // no such count: unchanged
    EXPECT_EQ(enFilms6, routing.GetFilmTotals());
    for (auto [films, code] : std::vector<std::pair<int, FilmTotals>>{{0, enNoFilms}, {2, enFilms2}, {4, enFilms4}, {7, enFilms7}, {8, enFilms8}}) {
        routing.SetNumberOfFilms(films);
        EXPECT_EQ(code, routing.GetFilmTotals());
        EXPECT_EQ(films, routing.GetIntFilmTotal());
    }
}

TEST_F(IORoutingThreads, OffLineEditingAndCommandBlocks)
{
    KivServerSim& server = StartServer();
    const std::vector<KivRow> rows = {
        {"attach", "IORoutingKIV", KivCall<Routing>([](Routing& o) { o.IOAttach(UlongToHwnd(0x2A)); }), KivExpectedBlock(67, 16, 0), KivCallKind::AttachRead},
        {"route", "IORoutingKIV", KivCall<Routing>([](Routing& o) { o.SetIORoute(3, 11, 4, 63, 1, 6, 1999, 2); }),
         KivExpectedBlock(69, 32, 0xFFFF, {KivI32(16, 1999), KivI32(20, 6), KivU8(24, 11), KivU8(25, 4), KivU8(26, 63), KivU8(27, 1), KivU8(28, 2), KivU8(29, 3)})},
        {"FMDI mode", "IORoutingKIV", KivCall<Routing>([](Routing& o) { o.SetFMDIMode(enFMDIMode2); }), KivExpectedBlock(158, 390068, 0xFFFF, {KivI32(336040, 2)})},
        {"flush", "IORoutingKIV", KivCall<Routing>([](Routing& o) { o.FlushRouting(); }), KivExpectedBlock(165, 16, 0)},
        {"offline attach", "IORoutingKIV", KivCall<Routing>([](Routing& o) { o.OfflineIOAttach("routes.iof", UlongToHwnd(0x2A)); }),
         KivExpectedBlock(316, 30336, 0, {KivText(573, "routes.iof")}), KivCallKind::AttachRead},
    };
    KivCheckRows(server, rows);

    Routing routing;
    routing.IOAttach(window);
    routing.OnLinkIn(smallSystem().Block());
    ASSERT_EQ(1, Posts());
    size_t mark = KivRecordMark(server);
    routing.SetFMDIMode(enFMDIMode0);  // the current mode: nothing sent
    routing.SetFMDIMode(static_cast<FMDIModes>(4));
    EXPECT_TRUE(KivCallsSince(server, mark).empty());

    routing.SetOnLineMode(0);
    routing.SetIORoute(1, 0, 0, 1, 1, 2, 39, 1);
    EXPECT_EQ(2, Posts());
    StructIOSearch s{};
    EXPECT_TRUE(routing.GetOutput(39, 1, s, 1));
    EXPECT_EQ(std::make_tuple(1, 0, 0, 1), std::make_tuple(s.system, s.rack, s.card, s.io));
    for (auto [slot, path, leg] : {std::tuple{7, 0, 0}, {-1, 0, 0}, {0, 2000, 0}, {0, -1, 0}, {0, 0, 3}})
        routing.SetIORoute(1, 1, 1, 1, 1, slot, path, static_cast<BYTE>(leg));
    EXPECT_EQ(2, Posts());
    EXPECT_TRUE(KivCallsSince(server, mark).empty());

    // The whole table goes out, to the notify window, with the path count of the last reply.
    routing.SetIORouting();
    std::vector<uint8_t> expected = KivExpectedBlock(68, 390068, static_cast<uint32_t>(HandleToUlong(window)), {KivI32(32, 40)});
    const size_t at = 40 + 168 * 39 + 24 * 2 + 8 * 1;
    expected[at] = 0, expected[at + 1] = 0, expected[at + 2] = 1, expected[at + 3] = 1, expected[at + 4] = 1;
    EXPECT_TRUE(KivBlocksEqual(expected, KivLastBlock(server)));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(IORoutingThreads, AnotherClientsRouteReachesThisOne)
{
    KivServerSim& server = StartServer();
    RoutingReply state = smallSystem();
    ASSERT_EQ("ok", server.Control("set 67 390068 @" + state.BodyFile(env.Path("state.bin"))));
    Routing routing;
    routing.IOAttach(window);  // reads the server's routing at once
    EXPECT_EQ(1, Posts());
    EXPECT_EQ(40, routing.GetPathCount());
    int where = 0, partner = 0;
    EXPECT_FALSE(routing.IsOutputInUse(port(0, 0, 1, 2), where, partner));

    const std::string probe = std::string(CONSOLE_BINARY_DIR) + "/quenby/kiv_client_probe";
    std::string line;
    EXPECT_EQ(0, RunProgram({probe, "route", "0", "0", "1", "2", "1", "2", "7", "0"}, &line));
    EXPECT_EQ("sent", line);
    EXPECT_TRUE(PumpUntil([&] { return posts >= 2; }));
    EXPECT_EQ(2, Posts());
    EXPECT_TRUE(routing.IsOutputInUse(port(0, 0, 1, 2), where, partner));
    EXPECT_EQ(2 * 65536 + 7, where);

    // A state without paths updates the mirror and posts nothing.
    state.Paths(0);
    ASSERT_EQ("ok 1", server.Control("push 67 390068 @" + state.BodyFile(env.Path("empty.bin"))));
    EXPECT_TRUE(PumpUntil([&] { return routing.GetPathCount() == 0; }));
    EXPECT_EQ(2, Posts());

    // A short reply and one of wild values are taken safely; the next good one posts once.
    ASSERT_EQ("ok 1", server.Control("push 67 1000 ffffffff"));
    RoutingReply wild;
    wild.Racks(0, 99).Paths(4000).Fmdi(-7).RackType(0, 0, 77).Card(0, 0, 0, 100, 100, 100);
    ASSERT_EQ("ok 1", server.Control("push 67 390068 @" + wild.BodyFile(env.Path("wild.bin"))));
    ASSERT_EQ("ok 1", server.Control("push 67 390068 @" + smallSystem().BodyFile(env.Path("good.bin"))));
    EXPECT_TRUE(PumpUntil([&] { return posts >= 4; }));
    EXPECT_EQ(4, Posts());
    EXPECT_EQ(40, routing.GetPathCount());
    EXPECT_TRUE(server.Records("routing refused").empty());
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
