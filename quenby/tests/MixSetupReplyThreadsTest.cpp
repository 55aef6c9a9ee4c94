// The mix-setup object's cache, its blocks and its reply: path kinds, names from a reply,
// the create and save blocks against blocks written by hand, refused replies, and the store of
// the server simulator end to end.
#include <ctime>

#include "MixSetupTestKit.h"
#include "winport/Clock.h"

namespace {

// The block of a setup as constructed: the none values of MixSetupReply, 24 faders, the
// default bank, fold-down and layer names, fold-down gains -32768 with 0 on the diagonal.
MixSetupReply EmptySetup(int32_t command)
{
    MixSetupReply block(command);
    block.I32(528292, 24);
    for (int bank = 0; bank < 6; ++bank) {
        std::string name = "Bank " + std::to_string(bank + 1);
        name.resize(28, ' ');
        block.Text(549292 + 29 * static_cast<size_t>(bank), name);
        block.Text(566164 + 16 * static_cast<size_t>(bank), " A   B   s-A s-B");
    }
    for (int fold = 0; fold < 4; ++fold) {
        for (int in = 0; in < 9; ++in)
            for (int out = 0; out < 9; ++out)
                block.I16(565480 + 162 * static_cast<size_t>(fold) + 18 * static_cast<size_t>(in) + 2 * static_cast<size_t>(out),
                          in == out ? 0 : -32768);
        block.Text(566128 + 9 * static_cast<size_t>(fold), "Fold " + std::to_string(fold + 1) + "  ");
    }
    return block;
}

std::vector<int> Values(const CArray<int, int>& a) { return std::vector<int>(a.GetData(), a.GetData() + a.GetSize()); }

int64_t FixedNowMs() { return 1793869650000;  /* 2026-11-05 09:07:30 UTC */ }

class MixSetupThreads : public MixSetupTest {};

// The fader count of a reply is bounded as it arrives: none below 0, no more than there can be
// paths.
TEST_F(MixSetupTest, FaderCountOfAReplyIsBounded)
{
    CMixSetupExKIVObject msu;
    EXPECT_EQ(24, msu.GetNumFaders());
    const std::pair<int32_t, int> rows[] = {{40, 40}, {-7, 0}, {2147483647, 2000}, {-2147483647 - 1, 0}, {2000, 2000}, {0, 0}};
    for (const auto& [sent, kept] : rows) {
        SCOPED_TRACE(sent);
        MixSetupReply reply;
        reply.Count(0, 48).I32(528292, sent);
        msu.OnLinkIn(reply.Block());
        EXPECT_EQ(kept, msu.GetNumFaders());
    }
}

TEST_F(MixSetupTest, KindOffsetsAndTheKindOfEveryKindsEdges)
{
    CMixSetupExKIVObject msu;
    MixSetupReply small;
    small.Count(0, 48).Count(7, 24).Count(1, 8);
    msu.OnLinkIn(small.Block());
    EXPECT_EQ(0, msu.GetOffset(0));
    EXPECT_EQ(48, msu.GetOffset(7));
    EXPECT_EQ(72, msu.GetOffset(1));
    EXPECT_EQ(7, msu.GetPathType(50));
    EXPECT_EQ(-1, msu.GetPathType(80));

    // Kind k has k + 1 paths; paths are numbered channel, track, group, main, aux, cue,
    // listen, talkback, sel, extern, film, film listen, predub master, star command.
    MixSetupReply all;
    for (int k = 0; k < 14; ++k) all.Count(k, k + 1);
    msu.OnLinkIn(all.Block());
    struct Row {
        int kind, first, last;
    };
    const Row rows[] = {{0, 0, 0},    {7, 1, 8},    {1, 9, 10},   {2, 11, 13},  {3, 14, 17},
                        {8, 18, 26},  {4, 27, 31},  {5, 32, 37},  {6, 38, 44},  {9, 45, 54},
                        {10, 55, 65}, {11, 66, 77}, {12, 78, 90}, {13, 91, 104}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.kind);
        EXPECT_EQ(r.first, msu.GetOffset(r.kind));
        EXPECT_EQ(r.kind, msu.GetPathType(r.first));
        EXPECT_EQ(r.kind, msu.GetPathType(r.last));
        EXPECT_EQ(r.last - r.first + 1, msu.GetNum(r.kind));
    }
    EXPECT_EQ(105, msu.GetTotalPaths());
    EXPECT_EQ(-1, msu.GetPathType(105));
    EXPECT_EQ(0, msu.GetNum(14));
    EXPECT_EQ(0, msu.GetNumSubs());
}

TEST_F(MixSetupTest, ReplyNamesKeepDefaultAndStayInTheirFields)
{
    CMixSetupExKIVObject msu;
    MixSetupReply first;
    first.Count(0, 3).Count(1, 2);
    first.Names(0, "Kick", "Kick drum").Names(1, "Snr", "Snare").Names(2, "????", "whatever");
    first.Names(3, "????", "").Names(4, "????", "");
    msu.OnLinkIn(first.Block());
    CString s, l;
    msu.GetName(0, 2, s, l);
    EXPECT_EQ(CString("  3"), s);
    EXPECT_EQ(CString("  3"), l);
    msu.GetName(1, 0, s, l);
    EXPECT_EQ(CString("GRP1"), s);
    msu.GetName(1, 1, s, l);
    EXPECT_EQ(CString("GRP2"), s);

    // An empty short name keeps what the cache has; a short name of five characters is four.
    MixSetupReply second;
    second.Count(0, 3).Count(1, 2);
    second.Names(1, "ABCD", std::string(201, 'x')).Text(16 + 5 * 1 + 4, "E");
    msu.OnLinkIn(second.Block());
    msu.GetName(0, 0, s, l);
    EXPECT_EQ(CString("Kick"), s);
    EXPECT_EQ(CString("Kick drum"), l);
    msu.GetName(0, 1, s, l);
    EXPECT_EQ(CString("ABCD"), s);
    EXPECT_EQ(200, l.GetLength());

    // On console type 4 the first group is the mix-minus group.
    UseConsoleType(4);
    CMixSetupExKIVObject mm;
    mm.OnLinkIn(first.Block());
    mm.GetName(1, 0, s, l);
    EXPECT_EQ(CString("MM"), s);
    EXPECT_EQ(CString("MM"), l);
    mm.GetName(1, 1, s, l);
    EXPECT_EQ(CString("GRP1"), s);
}

TEST_F(MixSetupThreads, CreateNamesAnUnnamedSetupFromTheLocalTimeAndSendsFourteenValues)
{
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    winport::SetWallClockSource(&FixedNowMs);
    KivServerSim& server = *sim;
    CMixSetupExKIVObject msu;
    CArray<int, int> list;
    for (int i = 0; i < 20; ++i) list.Add(100 + i);
    msu.Create(7, list, nullptr);
    winport::SetWallClockSource(nullptr);
    if (oldTz) ::setenv("TZ", savedTz.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();

    EXPECT_EQ(CString("MSU - 05/11 9:07"), msu.GetMSUName());
    MixSetupReply expected = EmptySetup(56);
    expected.Text(412016, "MSU - 05/11 9:07").I32(412496, 7);
    for (int i = 0; i < 14; ++i) expected.I32(539228 + 4 * static_cast<size_t>(i), 100 + i);
    EXPECT_TRUE(KivBlocksEqual(expected.bytes, KivLastBlock(server)));

    // A save sends the same setup under its own name, without the create's fields.
    msu.Save("Other", UlongToHwnd(0x2A));
    MixSetupReply saved = EmptySetup(57);
    saved.I32(4, 0x2A).Text(412016, "Other");
    EXPECT_TRUE(KivBlocksEqual(saved.bytes, KivLastBlock(server)));
}

TEST_F(MixSetupThreads, HandWrittenSetupComesBackFieldForFieldThroughGetAndSave)
{
    KivServerSim& server = *sim;
    MixSetupReply hand;
    hand.Count(0, 4).Count(7, 3).Count(1, 2).Count(2, 1).Count(3, 2).Count(12, 1).Count(13, 1);  // 14 paths
    hand.Names(0, "Vox", "Lead vocal").Names(5, "Tr2", "Track two").Names(13, "SC1", "Star");
    hand.Text(412217, "Default setup");
    hand.I32(412480, 1).I32(412484, 1);                                 // aux layout
    hand.I32(412500, 0).I32(412500 + 4 * 161, 5).I32(427860 - 4, 13);  // channel map
    hand.ProcList(0, {19, 8, 9, 21}).ProcList(1, {19, 8, 9, 21}).ProcList(4, {7, 12, 21});
    hand.I16(515860 + 2 * 2, 0x1234);                                   // surround of path 2
    hand.I32(519860 + 36 * 3 + 4, 2);                                   // stem 3, slot 0: track 2
    hand.I32(520292, 1).I32(520292 + 4, 0);                             // paths 0 and 1 linked
    hand.I32(528296, 1);                                                // read-only
    hand.I32(528300, 2).I32(528304, 3);                                 // predub 0: paths 2, 3
    hand.I32(533188 + 4 * 6, 9);                                        // external breakdown
    hand.U8(533216 + 3, 1).U8(535216 + 4, 1).U8(537216 + 5, 1);         // solo, disabled, automated
    hand.I32(539288, 4);                                                // film index
    hand.I32(539292 + 4 * 13, 77);                                      // allocation of path 13
    hand.U8(547292 + 6, 9);                                             // priority
    hand.Text(549292 + 29 * 2, "Strings");                              // bank name
    hand.I32(549468, 3).I32(549472, 2).I32(549476, 4);                  // desk type, mix-minus, pan law
    hand.I32(549480 + 8 * 0, 2);                                        // variant of path 0
    hand.I16(565480 + 2 * 10, -6);                                      // a fold-down gain
    hand.Text(566128 + 9, "Wide");                                      // fold-down name 1
    hand.Text(566164, " A   B   s-A s-B" + std::string(" C   D   s-C s-D"));  // layer names
    hand.U8(566260 + 7, 2);                                             // engine of path 7
    StoreInServer(hand, "Hand");

    CMixSetupExKIVObject msu;
    msu.Get("Hand", 3);
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(22, 460000, 0, {KivText(16, "Hand"), KivI32(447916, 3)}), KivLastBlock(server)));
    ASSERT_EQ(14, msu.GetTotalPaths());
    EXPECT_EQ(CString("Hand"), msu.GetMSUName());
    EXPECT_EQ(1, msu.IsReadOnly());

    msu.Save("Copy", nullptr);
    MixSetupReply expected = hand;
    expected.I32(0, 57);
    expected.Text(412016, "Copy");
    EXPECT_TRUE(KivBlocksEqual(expected.bytes, KivLastBlock(server)));
    EXPECT_EQ(3u, server.Records("msu").size());  // stored Hand, read Hand, stored Copy
}

TEST_F(MixSetupThreads, RefusedRepliesLeaveTheCacheAndEveryReplyAfterANamedCreatePostsOnce)
{
    KivServerSim& server = *sim;
    CreatedWindow window;
    CMixSetupExKIVObject msu, other;
    msu.Get("Live", 0);
    other.Get("Live", 0);  // attached, never created: posts nothing
    EXPECT_EQ(0, msu.GetTotalPaths());

    CArray<int, int> none;
    msu.Create("Live", 0, none, window.Handle());  // the server pushes the setup back
    ASSERT_TRUE(window.PumpUntil(1));

    MixSetupReply good;
    good.Count(0, 2).Count(7, 1).Names(0, "One", "One").I32(528292, 40);
    auto push = [&](const MixSetupReply& reply, size_t size, const std::string& file) {
        std::vector<uint8_t> bytes(reply.bytes.begin(), reply.bytes.begin() + static_cast<std::ptrdiff_t>(size));
        std::memcpy(bytes.data() + 8, &size, 4);
        std::ofstream(env.Path(file), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        EXPECT_EQ("ok 2", server.Control("pushraw 22 @" + env.Path(file)));
    };
    push(good, 568260, "good.bin");
    ASSERT_TRUE(window.PumpUntil(2));
    EXPECT_EQ(3, msu.GetTotalPaths());
    EXPECT_EQ(40, msu.GetNumFaders());

    // Too short, a total of 2001: refused whole. The next good reply is the next post.
    MixSetupReply big = good;
    big.Count(0, 2000).Count(7, 1);
    push(good, 16, "short.bin");
    push(good, 568259, "almost.bin");
    push(big, 568260, "big.bin");
    MixSetupReply changed = good;
    changed.Count(0, 5).I32(528292, 41);
    push(changed, 568260, "changed.bin");
    ASSERT_TRUE(window.PumpUntil(3));
    EXPECT_EQ(6, msu.GetTotalPaths());
    EXPECT_EQ(41, msu.GetNumFaders());

    // A negative count is 0; path numbers that name no path are none; a link to no path is
    // no link.
    MixSetupReply odd = good;
    odd.Count(3, -5).Count(0, 4);
    odd.I32(412500, 5).I32(412504, 3).I32(412508, -7);         // channel map: 5 is past the end
    odd.I32(528300, 0).I32(528304, 9).I32(528308, 1);           // predub 0: 9 is taken out
    odd.I32(519860 + 4, 0).I32(519860 + 8, 1).I32(519860 + 12, 5);  // stem 0: one track only
    odd.I32(520292, 0x7FFFFFFF).I32(520292 + 4, 2).I32(520292 + 8, 1);
    push(odd, 568260, "odd.bin");
    ASSERT_TRUE(window.PumpUntil(4));
    EXPECT_EQ(0, msu.GetNumAuxes());
    EXPECT_EQ(5, msu.GetTotalPaths());
    EXPECT_EQ(-1, msu.GetChannelMapPath(0, 0, 0));
    EXPECT_EQ(3, msu.GetChannelMapPath(0, 0, 1));
    EXPECT_EQ(-1, msu.GetChannelMapPath(0, 0, 2));
    EXPECT_EQ(0, msu.IsDynamicsLinked(1));
    EXPECT_EQ(-1, msu.IsDynamicsLinked(0));
    CArray<int, int> paths;
    msu.GetStemContents(0, paths);
    EXPECT_EQ((std::vector<int>{4}), Values(paths));  // track 0 is path 4; tracks 1 and 5 are none
    msu.GetPreDubContents(0, paths);
    EXPECT_EQ((std::vector<int>{0, 1}), Values(paths));
    EXPECT_EQ(4, window.Posts());
}

TEST_F(MixSetupThreads, UnknownSetupLeavesTheCacheAsConstructedAndAllocationResultsAreShared)
{
    KivServerSim& server = *sim;
    MixSetupReply alloc;
    alloc.Count(0, 3).I32(539292, 5).I32(539296, 0).I32(539300, 7).I32(539304, 99);  // 99 lies past the paths
    StoreInServer(alloc, "Alloc");

    auto a = std::make_unique<CMixSetupExKIVObject>();
    a->Get("Nobody", 0);
    EXPECT_EQ(2u, server.Records("msu").size());  // stored Alloc, read Nobody
    a->Save("Same", nullptr);
    const std::vector<uint8_t> unknown = KivLastBlock(server);
    CMixSetupExKIVObject fresh;
    fresh.Save("Same", nullptr);
    EXPECT_TRUE(KivBlocksEqual(KivLastBlock(server), unknown));

    a->Get("Alloc", 0);
    CArray<int, int> out;
    fresh.GetAllocationResult(out, 0);
    EXPECT_EQ((std::vector<int>{5, 0, 7}), Values(out));
    fresh.GetAllocationResult(out, 1);
    EXPECT_EQ((std::vector<int>{0}), Values(out));
    EXPECT_EQ(0, fresh.GetAllocationDone());
    a.reset();
    fresh.GetAllocationResult(out, 0);
    EXPECT_EQ((std::vector<int>{5, 0, 7}), Values(out));
}

TEST_F(MixSetupThreads, LastObjectGoneEmptiesTheAllocationResults)
{
    MixSetupReply alloc;
    alloc.Count(0, 2).I32(539292, 5).I32(539296, 6);
    {
        CMixSetupExKIVObject msu;
        msu.OnLinkIn(alloc.Block());
        CArray<int, int> out;
        msu.GetAllocationResult(out, 0);
        EXPECT_EQ(2, out.GetSize());
    }
    CMixSetupExKIVObject later;
    CArray<int, int> out;
    later.GetAllocationResult(out, 0);
    EXPECT_EQ(0, out.GetSize());
}

}  // namespace
