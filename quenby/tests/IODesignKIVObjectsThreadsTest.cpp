// The I/O definitions, GPI configuration, router stream map and meter designer objects: every
// command row as one table of golden blocks written from the block layouts by hand, and the
// rules of each local copy.
#include <gtest/gtest.h>

#include <functional>
#include <poll.h>
#include <set>
#include <utility>

#include "../testtools/KivClientTestKit.h"
#include "quenby/GPIConfigKIVObject.h"
#include "quenby/IODefinitionsKIVObject.h"
#include "quenby/MeterDesignerKIVObject.h"
#include "quenby/RovellRoutingKIVObject.h"
#include "winport/GlobalMemory.h"
#include "winport/MessageLoop.h"
#include "winport/Window.h"

namespace {

const HWND kWindow = UlongToHwnd(0x2A);

// The owner of a GPI configuration fills it through the protected setters.
class OwnedGPIConfig : public CGPIConfigKIVObject {
public:
    using CGPIConfigKIVObject::ClearAll;
    using CGPIConfigKIVObject::SetPathValue;
    using CGPIConfigKIVObject::SetStatusOpto;
    using CGPIConfigKIVObject::SetStatusRelay;
    void SetCurrent(const char* name) { m_strCurrent = name; }
};

// A reply block of the stream-map layout: mode, flag, count n, then `entries` (console, router)
// pairs; `size` may differ from 32 + 4 x entries to make it malformed.
std::vector<uint8_t> mapReply(int32_t mode, int32_t flag, int32_t n, std::vector<std::pair<uint16_t, uint16_t>> entries, int32_t size = -1)
{
    if (size < 0) size = 32 + 4 * static_cast<int32_t>(entries.size());
    std::vector<KivField> fields = {KivI32(20, mode), KivI32(24, flag), KivI32(28, n)};
    std::vector<uint8_t> block = KivExpectedBlock(216, size, 0);
    for (const KivField& f : fields)
        if (f.offset + 4 <= block.size()) std::memcpy(block.data() + f.offset, f.bytes.data(), 4);
    for (size_t i = 0; i < entries.size() && 32 + 4 * i + 4 <= block.size(); ++i) {
        std::memcpy(block.data() + 32 + 4 * i, &entries[i].first, 2);
        std::memcpy(block.data() + 34 + 4 * i, &entries[i].second, 2);
    }
    return block;
}

// The (router, console) pairs of an update block, as a set: the map's order is its own.
std::set<std::pair<uint16_t, uint16_t>> decodeUpdate(const std::vector<uint8_t>& block, int32_t& mode, int32_t& flag)
{
    std::set<std::pair<uint16_t, uint16_t>> pairs;
    if (block.size() < 32) return pairs;
    int32_t n = 0;
    std::memcpy(&mode, block.data() + 20, 4);
    std::memcpy(&flag, block.data() + 24, 4);
    std::memcpy(&n, block.data() + 28, 4);
    EXPECT_EQ(block.size(), 32 + 4 * static_cast<size_t>(n));
    for (size_t i = 0; i < static_cast<size_t>(n) && 36 + 4 * i <= block.size(); ++i) {
        uint16_t console = 0, router = 0;
        std::memcpy(&console, block.data() + 32 + 4 * i, 2);
        std::memcpy(&router, block.data() + 34 + 4 * i, 2);
        pairs.insert({router, console});
    }
    return pairs;
}

std::set<std::pair<uint16_t, uint16_t>> localMap(const CRovellRoutingKIVObject& routing)
{
    std::set<std::pair<uint16_t, uint16_t>> pairs;
    POSITION pos = routing.GetRoutingStartPosition();
    while (pos) {
        WORD router = 0, console = 0;
        routing.GetRoutingNextAssoc(pos, router, console);
        pairs.insert({router, console});
    }
    return pairs;
}

class IODesignThreads : public KivServerTest {};

struct Row {
    const char* what;
    std::function<void()> run;
    std::vector<uint8_t> block;
    std::vector<std::string> calls;
};

TEST_F(IODesignThreads, EveryCommandRowSendsItsBlock)
{
    const std::vector<std::string> attach = {"advise", "read", "unadvise"};
    const std::vector<std::string> command = {};
    const std::vector<std::string> silentAttach = {"advise", "unadvise"};

    // An I/O definition with two rack types set up; dates in local time.
    auto ioSave = [] {
        CIODefinitionsKIVObject io;
        io.SetInput(0, 0, 0, 8);
        io.SetOutput(0, 0, 1, 4);
        io.SetInput(3, 15, 4, 16);
        io.SetSRC(1, 2, 20);
        io.SetRackType(2, 3, 7);
        io.SetRackName(0, 1, "Stage Box");
        io.SetRackDate(1, 0, CTime(2024, 3, 9, 12, 0, 0));
        BYTE enables[48] = {};
        enables[0] = 1, enables[47] = 2;
        io.SetIOSTypeEnables(enables);
        enables[5] = 3;
        io.SetChannel55Enables(enables);
        io.SetTQIns(24);
        io.SetTQOuts(-1);
        io.GetRackTypes()[0] = 9;  // per-rack types are not in the block
        io.Save();
    };
    const auto ioBlock = KivExpectedBlock(109, 3752, 0,
                                          {KivU8(16, 8), KivU8(336 + 1, 4), KivU8(16 + 3 * 80 + 15 * 5 + 4, 16), KivU8(656 + 16 + 2, 14),
                                           KivU8(720 + 2 * 16 + 3, 7), KivText(784 + 32, "Stage Box"), KivI32(2832 + 16 * 12, 2024),
                                           KivI32(2832 + 16 * 12 + 4, 3), KivI32(2832 + 16 * 12 + 8, 9), KivU8(3648, 1), KivU8(3695, 2),
                                           KivU8(3696, 1), KivU8(3701, 3), KivU8(3743, 2), KivI32(3744, 24), KivI32(3748, -1)});

    auto gpiSave = [] {
        OwnedGPIConfig gpi;
        gpi.SetStatusRelay(0, 0x0102);
        gpi.SetStatusRelay(18, -2);
        gpi.SetStatusOpto(26, 7);
        gpi.SetPathValue(0, 1, 0x1FF);   // one byte: 0xFF kept
        gpi.SetPathValue(0, 2, 0x1234);
        gpi.SetPathValue(1, 6, 5);
        gpi.SetPathValue(1, 16, -1);
        gpi.SaveConfig("gpi.cfg", kWindow);
    };
    const auto gpiBlock = KivExpectedBlock(208, 604, 0x2A,
                                           {KivText(22, "gpi.cfg"), KivI16(424, 0x0102), KivI16(460, -2), KivI16(514, 7), KivI32(516, 2),
                                            KivU8(542, 0xFF), KivI16(544, 0x1234), KivU8(572 + 9, 5), KivI16(572 + 28, -1)});

    auto mdSave = [] {
        CMeterDesignerKIVObject md;
        md.SetStemWidth(2);
        md.SetLayout(0, 0, 2, 1003);
        md.SetFollow(7, 159, 5);
        md.Save("desk.md", 4);
    };
    // Page 0: meters 0 and 1 show stem 3 (layout 2, stem number 3), meter 0 carries the source;
    // every other record is clear (path number -1).
    std::vector<uint8_t> mdBlock = KivExpectedBlock(114, 41332, 0, {KivText(41184, "desk.md"), KivI32(41304, 2), KivI32(41324, 4)});
    for (size_t m = 0; m < 8 * 160; ++m) std::memcpy(mdBlock.data() + 224 + 32 * m + 24, "\xFF\xFF\xFF\xFF", 4);
    for (size_t m = 0; m < 2; ++m) {
        const int32_t stem = 3, layout = 2;
        std::memcpy(mdBlock.data() + 224 + 32 * m + 20, &stem, 4);
        std::memcpy(mdBlock.data() + 224 + 32 * m + 28, &layout, 4);
    }
    const int32_t source = 1003, follow = 5;
    std::memcpy(mdBlock.data() + 224 + 24, &source, 4);
    std::memcpy(mdBlock.data() + 224 + 32 * (160 * 7 + 159), &follow, 4);

    const Row rows[] = {
        {"IO attach", [] { CIODefinitionsKIVObject().IODefAttach(); }, KivExpectedBlock(108, 16, 0), attach},
        {"IO save", ioSave, ioBlock, attach},
        {"GPI attach", [] { CGPIConfigKIVObject().GPIConfigAttach(); }, KivExpectedBlock(206, 16, 0), attach},
        {"GPI save, empty", [] { CGPIConfigKIVObject().SaveConfig("none", kWindow); },
         KivExpectedBlock(208, 544, 0x2A, {KivText(22, "none")}), silentAttach},
        {"GPI save, two paths", gpiSave, gpiBlock, silentAttach},
        {"GPI load", [] { CGPIConfigKIVObject().LoadConfig("gpi.cfg", 1, 2, 3, kWindow); },
         KivExpectedBlock(207, 544, 0x2A, {KivText(22, "gpi.cfg"), KivI32(528, 2), KivI32(532, 1), KivI32(536, 3)}), command},
        {"GPI load in memory", [] { CGPIConfigKIVObject().LoadInMemory("gpi.cfg", 3, kWindow); },
         KivExpectedBlock(207, 544, 0x2A, {KivText(22, "gpi.cfg"), KivI32(536, 3)}), command},
        {"Rovell attach", [] { CRovellRoutingKIVObject().NRAttach(kWindow); }, KivExpectedBlock(215, 32, 0, {KivI32(16, 0x2A)}), attach},
        {"Rovell reload", [] { CRovellRoutingKIVObject().ReloadNames(); }, KivExpectedBlock(217, 32, 0), command},
        {"Rovell mode", [] { CRovellRoutingKIVObject().SetCommMode(3); }, KivExpectedBlock(216, 32, 0, {KivI32(20, 3)}), command},
        {"Rovell scribble", [] { CRovellRoutingKIVObject().SetAllowScribbleChange(1); },
         KivExpectedBlock(216, 32, 0, {KivI32(20, -1), KivI32(24, 1)}), command},
        {"Rovell map", [] { CRovellRoutingKIVObject().MapStream(0x0102, 0x0304, 1); },
         KivExpectedBlock(216, 36, 0, {KivI32(20, -1), KivI32(28, 1), KivI16(32, 0x0304), KivI16(34, 0x0102)}), command},
        {"MD attach", [] { CMeterDesignerKIVObject().MDAttach(); }, KivExpectedBlock(112, 16, 0), attach},
        {"MD load", [] { CMeterDesignerKIVObject().Load("desk.md", 1, 2, 3); },
         KivExpectedBlock(113, 41332, 0, {KivText(41184, "desk.md"), KivI32(41320, 2), KivI32(41324, 1), KivI32(41328, 3)}), command},
        {"MD load in memory", [] { CMeterDesignerKIVObject().LoadInMemory("desk.md", 3); },
         KivExpectedBlock(113, 41332, 0, {KivText(41184, "desk.md"), KivI32(41328, 3)}), command},
        {"MD save", mdSave, mdBlock, command},
        {"MD default", [] { CMeterDesignerKIVObject().SetDefault("desk.md"); }, KivExpectedBlock(115, 41332, 0, {KivText(41262, "desk.md")}),
         command},
        {"MD partitions",
         [] {
             const int partitions[3] = {4, -5, 6};
             CMeterDesignerKIVObject().SetMeterPartitions(partitions);
         },
         KivExpectedBlock(170, 41332, 0, {KivI32(41308, 4), KivI32(41312, -5), KivI32(41316, 6)}), command},
    };
    KivServerSim& server = StartServer();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        size_t mark = KivRecordMark(server);
        r.run();
        std::vector<std::string> expected = {"block " + std::to_string(r.block[0] | r.block[1] << 8)};
        expected.insert(expected.end(), r.calls.begin(), r.calls.end());
        EXPECT_EQ(expected, KivCallsSince(server, mark));
        EXPECT_TRUE(KivBlocksEqual(r.block, KivLastBlock(server)));
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(IODesignThreads, IODefinitionsLimitsAndKinds)
{
    StartServer();
    CIODefinitionsKIVObject io;
    EXPECT_EQ(CString("IODefinitionsKIV"), io.GetName());
    // Slots 2 and 3 step by 8, the others by 4.
    io.SetInput(0, 1, 2, 13);
    io.SetInput(0, 1, 0, 13);
    EXPECT_EQ(8, io.GetInput(0, 1, 2));
    EXPECT_EQ(12, io.GetInput(0, 1, 0));

    // 16, 16, 8, 8, 8: the rack type is full at 56.
    io.SetInput(0, 2, 0, 16);
    io.SetOutput(0, 2, 1, 16);
    io.SetInput(0, 2, 2, 8);
    io.SetOutput(0, 2, 3, 8);
    io.SetInput(0, 2, 4, 8);
    EXPECT_TRUE(boxes.empty());
    io.SetInput(0, 2, 0, 20);
    EXPECT_EQ(16, io.GetInput(0, 2, 0));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Too Many Inputs And Outputs !\n(Total Must Be Less Than 56) !", boxes[0].text);
    EXPECT_EQ("IO Designer", boxes[0].caption);
    EXPECT_EQ(MB_ICONSTOP, boxes[0].type);
    io.SetOutput(0, 2, 4, 4);  // outputs of slot 4 stay within its inputs: total still 56
    io.SetInput(0, 2, 4, 0);   // lowering is always accepted
    EXPECT_EQ(0, io.GetInput(0, 2, 4));
    io.SetInput(0, 2, 2, -8);  // negative: refused without a box
    EXPECT_EQ(8, io.GetInput(0, 2, 2));
    EXPECT_EQ(1u, boxes.size());
    io.SetInput(0, 2, 3, 2147483647);  // far above the limit: refused with the box
    EXPECT_EQ(0, io.GetInput(0, 2, 3));
    EXPECT_EQ(2u, boxes.size());

    // A new kind clears the slots and the converter; the same kind again clears nothing.
    io.SetSRC(0, 2, 9);
    io.SetRackType(0, 2, 5);
    EXPECT_EQ(5, io.GetRackType(0, 2));
    EXPECT_EQ(0, io.GetInput(0, 2, 0));
    EXPECT_EQ(0, io.GetOutput(0, 2, 1));
    EXPECT_EQ(0, io.GetSRC(0, 2));
    io.SetInput(0, 2, 0, 4);
    io.SetRackType(0, 2, 5);
    io.SetRackType(0, 2, -1);
    EXPECT_EQ(4, io.GetInput(0, 2, 0));

    io.SetRackName(1, 1, CString(std::string(40, 'n').c_str()));
    EXPECT_EQ(CString(std::string(30, 'n').c_str()), io.GetRackName(1, 1));

    // Indexes outside the tables: documented answers, nothing changed.
    struct Bad {
        int system, rackType, slot;
    };
    for (Bad b : {Bad{4, 0, 0}, Bad{-1, 0, 0}, Bad{0, 16, 0}, Bad{0, -1, 0}, Bad{0, 0, 5}, Bad{0, 0, -1}}) {
        SCOPED_TRACE(testing::Message() << b.system << "/" << b.rackType << "/" << b.slot);
        io.SetInput(b.system, b.rackType, b.slot, 4);
        io.SetRackType(b.system, b.rackType, 3);
        io.SetRackName(b.system, b.rackType, "x");
        EXPECT_EQ(0, io.GetInput(b.system, b.rackType, b.slot));
        EXPECT_EQ(0, io.GetOutput(b.system, b.rackType, b.slot));
        if (b.slot == 0) {
            EXPECT_EQ(nullptr, io.GetInputs(b.system, b.rackType));
            EXPECT_EQ(0, io.GetRackType(b.system, b.rackType));
            EXPECT_EQ(CString(""), io.GetRackName(b.system, b.rackType));
            EXPECT_EQ(0, io.GetRackDate(b.system, b.rackType).GetTime());
        }
    }
    EXPECT_EQ(-1, io.GetTypeOfRack(0, 12));
    EXPECT_EQ(-1, io.GetTypeOfRack(4, 0));
    EXPECT_EQ(0, io.GetTypeOfRack(3, 11));
}

TEST_F(IODesignThreads, GPIPathValuesAndStatus)
{
    StartServer();
    OwnedGPIConfig gpi;
    EXPECT_EQ(CString("GPIConfigKIVObject"), gpi.GetName());
    EXPECT_EQ(0, gpi.GetNumPaths());
    gpi.SetPathValue(3, 7, 300);  // grows the array to four zeroed records
    EXPECT_EQ(4, gpi.GetNumPaths());
    EXPECT_EQ(300, gpi.GetPathValue(3, 7));
    EXPECT_EQ(0, gpi.GetPathValue(2, 7));
    gpi.SetPathValue(0, 3, 0x1AB);  // a one-byte field keeps its low byte
    EXPECT_EQ(0xAB, gpi.GetPathValue(0, 3));
    EXPECT_EQ(0, gpi.GetPathValue(0, 2));  // the neighbouring fields are untouched
    EXPECT_EQ(0, gpi.GetPathValue(0, 4));
    gpi.SetPathValue(0, 0, 9);
    gpi.SetPathValue(0, 17, 9);
    gpi.SetPathValue(-1, 1, 9);
    gpi.SetPathValue(2000, 1, 9);
    EXPECT_EQ(4, gpi.GetNumPaths());
    EXPECT_EQ(0, gpi.GetPathValue(3, 17));
    EXPECT_EQ(0, gpi.GetPathValue(3, 0));
    EXPECT_EQ(0, gpi.GetPathValue(4, 1));
    EXPECT_EQ(0, gpi.GetPathValue(-1, 1));
    gpi.SetPathValue(1999, 16, 1);
    EXPECT_EQ(2000, gpi.GetNumPaths());

    gpi.SetStatusRelay(18, 5);
    gpi.SetStatusRelay(19, 6);
    gpi.SetStatusOpto(26, 7);
    gpi.SetStatusOpto(27, 8);
    EXPECT_EQ(5, gpi.GetStatusRelay(18));
    EXPECT_EQ(0, gpi.GetStatusRelay(19));
    EXPECT_EQ(0, gpi.GetStatusRelay(-1));
    EXPECT_EQ(7, gpi.GetStatusOpto(26));
    EXPECT_EQ(0, gpi.GetStatusOpto(27));

    gpi.SetCurrent("current");
    gpi.ClearAll();
    EXPECT_EQ(2000, gpi.GetNumPaths());
    EXPECT_EQ(0, gpi.GetPathValue(3, 7));
    EXPECT_EQ(0, gpi.GetStatusRelay(18));
    EXPECT_EQ(0, gpi.GetStatusOpto(26));
    EXPECT_EQ(CString(""), gpi.GetCurrent());
}

TEST_F(IODesignThreads, RouterStreamMapFollowsRepliesAndLocalChanges)
{
    KivServerSim& server = StartServer();
    int posts = 0;
    const UINT linkIn = RegisterWindowMessageA("Rovell LinkIn");
    EXPECT_EQ(linkIn, CRovellRoutingKIVObject::LinkInMessage());
    HWND window = winport::CreateMessageWindow("RovellTestWindow", [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == linkIn) ++posts;
        return 0;
    });
    auto deliver = [](CRovellRoutingKIVObject& routing, std::vector<uint8_t> block) {
        routing.OnLinkIn(reinterpret_cast<_CommsStructure*>(block.data()));
        winport::MessageLoop::Current().RunUntilIdle();
    };
    int32_t mode = 0, flag = 0;

    // Nothing is posted before a window is known.
    CRovellRoutingKIVObject routing;
    EXPECT_EQ(CString("Rovell Routing"), routing.GetName());
    EXPECT_EQ(-1, routing.GetCommMode());
    deliver(routing, mapReply(2, 1, 2, {{10, 1}, {11, 2}}));
    EXPECT_EQ(0, posts);
    EXPECT_EQ(2, routing.GetCommMode());
    EXPECT_EQ(1, routing.IsScribbleChangeAllowed());
    EXPECT_EQ((std::set<std::pair<uint16_t, uint16_t>>{{1, 10}, {2, 11}}), localMap(routing));

    routing.NRAttach(window);
    winport::MessageLoop::Current().RunUntilIdle();
    posts = 0;
    // Replies replace the map whole; an empty one empties it and still posts.
    deliver(routing, mapReply(4, 0, 3, {{20, 5}, {21, 6}, {22, 5}}));
    EXPECT_EQ(1, posts);
    EXPECT_EQ((std::set<std::pair<uint16_t, uint16_t>>{{5, 22}, {6, 21}}), localMap(routing));
    deliver(routing, mapReply(4, 0, 0, {}));
    EXPECT_EQ(2, posts);
    EXPECT_EQ(0, routing.GetMappedCount());
    // Malformed replies are ignored whole: a count that does not fit the size, a negative count,
    // a block shorter than the map header.
    deliver(routing, mapReply(1, 0, 1, {{30, 7}}));
    for (auto bad : {mapReply(9, 9, 2, {{31, 8}}), mapReply(9, 9, -1, {}), mapReply(9, 9, 0, {}, 28)}) {
        deliver(routing, bad);
        EXPECT_EQ(3, posts);
        EXPECT_EQ(1, routing.GetCommMode());
        EXPECT_EQ((std::set<std::pair<uint16_t, uint16_t>>{{7, 30}}), localMap(routing));
    }

    // Local changes: each sends the whole map.
    routing.MapStream(7, 31, 1);  // mapping a router stream again keeps the second console stream
    routing.MapStream(8, 40, 1);
    routing.MapStream(9, 41, 1);
    EXPECT_EQ((std::set<std::pair<uint16_t, uint16_t>>{{7, 31}, {8, 40}, {9, 41}}), decodeUpdate(KivLastBlock(server), mode, flag));
    EXPECT_EQ(1, mode);
    EXPECT_TRUE(routing.IsRovellStreamMapped(8));
    EXPECT_FALSE(routing.IsRovellStreamMapped(31));
    EXPECT_TRUE(routing.IsConsoleStreamMapped(40));
    EXPECT_FALSE(routing.IsConsoleStreamMapped(8));
    routing.MapStream(65535, 40, 0);  // the entry of console stream 40
    EXPECT_EQ((std::set<std::pair<uint16_t, uint16_t>>{{7, 31}, {9, 41}}), decodeUpdate(KivLastBlock(server), mode, flag));
    routing.MapStream(65535, 99, 0);  // not mapped: the map goes out unchanged
    EXPECT_EQ((std::set<std::pair<uint16_t, uint16_t>>{{7, 31}, {9, 41}}), decodeUpdate(KivLastBlock(server), mode, flag));
    routing.MapStream(9, 0, 0);
    routing.SetAllowScribbleChange(1);
    EXPECT_EQ((std::set<std::pair<uint16_t, uint16_t>>{{7, 31}}), decodeUpdate(KivLastBlock(server), mode, flag));
    EXPECT_EQ(1, flag);
    DestroyWindow(window);
}

TEST_F(IODesignThreads, AnotherClientsUpdateReachesTheRouterObject)
{
    KivServerSim& server = StartServer();
    int posts = 0;
    const UINT linkIn = CRovellRoutingKIVObject::LinkInMessage();
    HWND window = winport::CreateMessageWindow("RovellTestWindow", [&](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == linkIn) ++posts;
        return 0;
    });
    winport::MessageLoop& loop = winport::MessageLoop::Current();
    CRovellRoutingKIVObject routing;
    routing.NRAttach(window);  // the server has no map yet: nothing to read
    loop.RunUntilIdle();
    EXPECT_EQ(0, posts);

    const std::string probe = std::string(CONSOLE_BINARY_DIR) + "/quenby/kiv_client_probe";
    std::string line;
    EXPECT_EQ(0, RunProgram({probe, "rovell", "12", "34"}, &line));
    EXPECT_EQ("sent", line);
    // The server pushes the new map to this process's router object; wait (bounded) for its post.
    auto pumpUntilPosts = [&](int wanted) {
        for (int i = 0; i < 200 && posts < wanted; ++i) {
            pollfd p{loop.WaitDescriptor(), POLLIN, 0};
            ::poll(&p, 1, 50);
            loop.RunUntilIdle();
        }
    };
    pumpUntilPosts(1);
    EXPECT_EQ(1, posts);
    EXPECT_EQ((std::set<std::pair<uint16_t, uint16_t>>{{12, 34}}), localMap(routing));
    EXPECT_EQ(1u, server.Records("push").size());

    // A name reload sends the map again.
    routing.ReloadNames();
    pumpUntilPosts(2);
    EXPECT_EQ(2, posts);
    EXPECT_EQ((std::set<std::pair<uint16_t, uint16_t>>{{12, 34}}), localMap(routing));
    DestroyWindow(window);
}

TEST_F(IODesignThreads, MeterDesignerLayouts)
{
    StartServer();
    CMeterDesignerKIVObject md;
    EXPECT_EQ(CString("MeterDesignerKIV"), md.GetName());
    EXPECT_EQ(8, md.GetStemWidth());
    EXPECT_EQ(-1, md.GetPathNumber(0, 0));

    // Stem 3 on meter 10: meters 10 to 17, only meter 10 carries the source.
    md.SetLayout(1, 10, 2, 1003);
    for (int m = 10; m < 18; ++m) {
        SCOPED_TRACE(m);
        EXPECT_EQ(2, md.GetLayout(1, m));
        EXPECT_EQ(3, md.GetStemNumber(1, m));
        EXPECT_EQ(m == 10 ? 1003 : -1, md.GetPathNumber(1, m));
    }
    EXPECT_EQ(0, md.GetLayout(1, 18));
    EXPECT_EQ(10, md.IsPathAssigned(1, 1003));
    EXPECT_EQ(-1, md.IsPathAssigned(1, 1004));
    EXPECT_EQ(-1, md.IsPathAssigned(0, 1003));

    // The same stem elsewhere on the page: its old meter is cleared first.
    md.SetLayout(1, 40, 2, 1003);
    EXPECT_EQ(-1, md.GetPathNumber(1, 10));
    EXPECT_EQ(0, md.GetLayout(1, 10));
    EXPECT_EQ(40, md.IsPathAssigned(1, 1003));

    // A plain path on a meter; an eight-meter partition over it clears it.
    md.SetLayout(1, 100, 1, 57);
    EXPECT_EQ(1, md.GetLayout(1, 100));
    md.SetLayout(1, 96, 4, 3002);
    EXPECT_EQ(4, md.GetLayout(1, 100));
    EXPECT_EQ(2, md.GetWildPartition(1, 103));
    EXPECT_EQ(-1, md.GetPathNumber(1, 100));
    EXPECT_EQ(3002, md.GetPathNumber(1, 96));
    md.SetLayout(1, 120, 6, 58);
    EXPECT_EQ(6, md.GetLayout(1, 120));
    EXPECT_EQ(58, md.GetPathNumber(1, 120));

    // A stem near the page's end stops at meter 159.
    md.SetLayout(2, 155, 2, 1001);
    for (int m = 155; m < 160; ++m) EXPECT_EQ(2, md.GetLayout(2, m)) << m;
    EXPECT_EQ(0, md.GetLayout(3, 0));
    EXPECT_EQ(-1, md.GetPathNumber(3, 0));

    CArray<int> found;
    md.SetLayout(4, 7, 1, 57);
    md.SetLayout(5, 0, 1, 57);
    md.SetLayout(5, 1, 1, 57);
    EXPECT_TRUE(md.IsPathAssigned(57, found));
    ASSERT_EQ(3, found.GetSize());  // page 4 once, page 5 once per meter (page 1's went under the partition)
    EXPECT_EQ(4, found[0]);
    EXPECT_EQ(5, found[1]);
    EXPECT_EQ(5, found[2]);
    EXPECT_TRUE(md.IsPathAssigned(5, 57, found));
    ASSERT_EQ(2, found.GetSize());
    EXPECT_EQ(1, found[1]);
    md.Copy(5, 6);
    EXPECT_EQ(57, md.IsMeterAssigned(6, 1));
    md.Clear(5, 57);
    EXPECT_FALSE(md.IsPathAssigned(5, 57, found));
    md.ClearMeter(6, 0);
    EXPECT_EQ(-1, md.GetPathNumber(6, 0));
    EXPECT_EQ(57, md.GetPathNumber(6, 1));

    // Indexes outside the design: documented answers, nothing changed.
    md.SetLayout(8, 0, 2, 1001);
    md.SetLayout(0, 160, 2, 1001);
    md.SetFollow(-1, 0, 3);
    md.ClearMeter(0, 160);
    md.Copy(0, 8);
    EXPECT_EQ(-1, md.GetPathNumber(8, 0));
    EXPECT_EQ(0, md.GetLayout(0, 160));
    EXPECT_EQ(-1, md.IsPathAssigned(8, 1001));
    EXPECT_FALSE(md.IsPathAssigned(8, 1001, found));
    md.Clear();
    EXPECT_FALSE(md.IsPathAssigned(57, found));
}

}  // namespace
