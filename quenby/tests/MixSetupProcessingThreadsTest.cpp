// Process lists, predubs and dynamics links of the mix setup, and the path, partition,
// process-list and time-slot objects.
#include <algorithm>
#include <array>

#include "MixSetupTestKit.h"
#include "ardo/EventLogEntry.h"
#include "quenby/PathKIVObjects.h"
#include "winport/Clock.h"
#include "winport/Paths.h"

namespace {

using Ints = std::vector<int>;

Ints Values(const CArray<int, int>& a) { return Ints(a.GetData(), a.GetData() + a.GetSize()); }
Ints Values(const CArray<BYTE, BYTE>& a) { return Ints(a.GetData(), a.GetData() + a.GetSize()); }

CArray<BYTE, BYTE>& List(CArray<BYTE, BYTE>& out, const Ints& types)
{
    out.RemoveAll();
    for (int t : types) out.Add(static_cast<BYTE>(t));
    return out;
}

// An 11-entry stored list: the types, then 21.
Ints Stored(Ints types)
{
    types.resize(11, 21);
    return types;
}

class MixSetupProcessingThreads : public MixSetupTest {};

TEST_F(MixSetupTest, ConverterRoundTripsAndItsLimits)
{
    struct Row {
        Ints display, stored;
        int v0, v1;
        Ints back;
    };
    const Row rows[] = {
        {{8, 48, 21}, {8, 8}, 0, 2, {8, 48}},
        {{47}, {8}, 1, -1, {47}},
        {{49, 5, 47}, {8, 5, 8}, 3, 1, {49, 5, 47}},
        {{5, 6}, {5, 6}, -1, -1, {5, 6}},
        {{47, 48, 49}, {8, 8, 8}, 1, 2, {47, 48, 8}},  // the path keeps two variants
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::PrintToString(r.display));
        CArray<int, int> display;
        for (int t : r.display) display.Add(t);
        CProcessListConverter forward(display);
        Ints stored, back;
        for (int i = 0; i < 11; ++i) stored.push_back(forward.GetStored(i));
        EXPECT_EQ(Stored(r.stored), stored);
        EXPECT_EQ(r.v0, forward.GetVariant(0));
        EXPECT_EQ(r.v1, forward.GetVariant(1));
        BYTE bytes[11];
        for (int i = 0; i < 11; ++i) bytes[i] = static_cast<BYTE>(stored[static_cast<size_t>(i)]);
        CProcessListConverter backward(bytes, forward.GetVariant(0), forward.GetVariant(1));
        for (int i = 0; i < 11; ++i) back.push_back(backward.GetDisplay(i));
        EXPECT_EQ(Stored(r.back), back);
    }

    CMixSetupExKIVObject msu;
    msu.SetNumChannels(2);
    CArray<BYTE, BYTE> list;
    msu.SetProcList(0, 0, List(list, {8, 50, 5, 48}));
    msu.GetDisplayProcList(0, 0, list);
    EXPECT_EQ(Stored({8, 50, 5, 48}), Values(list));
    CArray<int, int> counts;
    msu.GetProcListCount(0, counts);
    ASSERT_EQ(47, counts.GetSize());
    EXPECT_EQ(2, counts[8]);
    EXPECT_EQ(1, counts[5]);
    EXPECT_EQ(7 + 11, counts[21]);  // type 50 is counted nowhere
}

// The master list that a predub of members with these stored lists gets.
Ints Derive(CMixSetupExKIVObject& msu, const std::vector<Ints>& members)
{
    CArray<BYTE, BYTE> list;
    for (int p = 0; p < 4; ++p) msu.RemovePathFromPreDub(p);
    for (size_t i = 0; i < members.size(); ++i) msu.SetProcList(static_cast<int>(i), List(list, members[i]));
    for (size_t i = 0; i < members.size(); ++i) msu.AddPathToPreDub(0, static_cast<int>(i), static_cast<int>(i));
    msu.GetProcList(12, 0, list);
    return Values(list);
}

TEST_F(MixSetupTest, PredubMasterProcessesFollowEachRule)
{
    CMixSetupExKIVObject msu;
    msu.SetNumChannels(4);
    msu.SetNumPredubDummyMaster(1);
    struct Row {
        const char* rule;
        std::vector<Ints> members;
        Ints master;
    };
    const std::vector<Row> rows = {
        {"DRC with 8: 26 out, 9 in", {{7, 8, 26}}, {7, 8, 9}},
        {"a 7 of another path is not taken", {{7, 12}, {7, 12}}, {7, 12}},
        {"a second 7 of the same path is", {{7, 7, 12}, {7}}, {7, 7, 12}},
        {"mono member", {{19}}, {19}},
        {"empty member", {{}}, {19}},
        {"DRC without 8: 8 appended", {{26, 9}}, {9, 8}},
        {"27 and 23 before the first 8", {{8, 23, 27}}, {27, 23, 8}},
        {"23 before 10", {{10, 5, 23}}, {23, 10, 5}},
        {"30 and 11: 11 out, 30 to position 1", {{11, 30, 5}}, {5, 30}},
        {"one of 3 to 6 and 32 to 43 kept", {{3, 36, 40}}, {40}},
        {"the last of 3 to 6 kept", {{5, 4}}, {5}},
        {"1 and 2: 2 kept", {{1, 2}}, {2}},
        {"1 and 2 in the other order", {{2, 1}}, {2}},
        {"11 to position 1", {{12, 13, 11}}, {12, 11, 13}},
        {"0 before the last of 15 to 18", {{0, 15, 12, 16}}, {15, 12, 0, 16}},
        {"0 to the end", {{0, 12}}, {12, 0}},
        {"eleven at most", {{12, 13, 14, 22, 24, 25, 28, 29, 31, 44, 45}, {46, 42}}, {12, 13, 14, 22, 24, 25, 28, 29, 31, 44, 45}},
    };
    for (const Row& r : rows) EXPECT_EQ(Stored(r.master), Derive(msu, r.members)) << r.rule;
}

TEST_F(MixSetupTest, DrcMixtureWarnsOnceInTheEventLog)
{
    ASSERT_TRUE(log->bound());
    CMixSetupExKIVObject msu;
    msu.SetNumChannels(2);
    msu.SetNumPredubDummyMaster(1);
    CArray<BYTE, BYTE> list;
    msu.SetProcList(0, 0, List(list, {7, 8, 26}));
    msu.AddPathToPreDub(0, 0, 0);
    const std::string entry = log->receive();
    EXPECT_NE(std::string::npos, entry.find("The PDM has a mixture of DRC and other dynamics. This may cause the desk to crash !")) << entry;
    CEventLogEntry().ReportInformation("after the predub");
    EXPECT_NE(std::string::npos, log->receive().find("after the predub"));
}

TEST_F(MixSetupTest, PredubMembersFollowRemovalsAndPacking)
{
    CMixSetupExKIVObject msu;
    msu.SetNumChannels(6);
    msu.SetNumPredubDummyMaster(3);
    for (int p : {1, 3, 5}) msu.AddPathToPreDub(0, msu.GetNumberOfPathsInPreDub(0), p);
    for (int p : {0, 4}) msu.AddPathToPreDub(1, msu.GetNumberOfPathsInPreDub(1), p);
    for (int p : {2, 5}) msu.AddPathToPreDub(2, msu.GetNumberOfPathsInPreDub(2), p);
    msu.SetPreDubName(1, "Bed");
    CArray<int, int> paths;

    msu.RemoveType(3, 0);  // channel 3 from the middle: 4 and 5 move down
    msu.GetPreDubContents(0, paths);
    EXPECT_EQ((Ints{1, 4}), Values(paths));
    msu.GetPreDubContents(1, paths);
    EXPECT_EQ((Ints{0, 3}), Values(paths));
    int predub, slot;
    EXPECT_EQ(1, msu.IsPathInPreDub(4, predub, slot));
    EXPECT_EQ(std::make_pair(0, 1), std::make_pair(predub, slot));

    // The masters' own predubs move with them.
    msu.RemoveType(0, 12);
    msu.GetPreDubContents(0, paths);
    EXPECT_EQ((Ints{0, 3}), Values(paths));
    CString s, l;
    msu.GetPreDubName(0, s, l);
    EXPECT_EQ(CString("Bed"), l);
    CArray<CPredubObject, CPredubObject> list;
    msu.GetListOfPredubs(list);
    ASSERT_EQ(2, list.GetSize());
    EXPECT_EQ(CString("PD1 "), list[0].m_strLabel);
    EXPECT_EQ(msu.GetOffset(12), list[0].m_nPath);

    // The last channels go: what is left of a predub of one path is none.
    msu.SetNumChannels(3);
    msu.GetPreDubContents(0, paths);
    EXPECT_TRUE(paths.IsEmpty());
    msu.GetPreDubContents(1, paths);
    EXPECT_TRUE(paths.IsEmpty());  // it held 2 and 4
}

TEST_F(MixSetupTest, PackPreDubsAfterTheLastPathsOfAKindWent)
{
    CMixSetupExKIVObject msu;
    msu.SetNumChannels(4);
    msu.SetNumTracks(3);   // tracks are paths 4 to 6
    msu.SetNumPredubDummyMaster(2);
    for (int p : {0, 5, 6}) msu.AddPathToPreDub(0, msu.GetNumberOfPathsInPreDub(0), p);
    for (int p : {1, 3}) msu.AddPathToPreDub(1, msu.GetNumberOfPathsInPreDub(1), p);
    // As after the kind's last path went: path 4 is taken out, the paths behind move down.
    msu.PackPreDubs(1, 0);
    CArray<int, int> paths;
    msu.GetPreDubContents(0, paths);
    EXPECT_EQ((Ints{0, 4, 5}), Values(paths));
    msu.GetPreDubContents(1, paths);
    EXPECT_EQ((Ints{1, 3}), Values(paths));
    msu.PackPreDubs(3, 0);  // 4 to 6: predub 0 keeps one path, which is none
    msu.GetPreDubContents(0, paths);
    EXPECT_TRUE(paths.IsEmpty());
    msu.GetPreDubContents(1, paths);
    EXPECT_EQ((Ints{1, 3}), Values(paths));
    msu.AddPathToPreDub(132, 0, 1);
    msu.AddPathToPreDub(0, 8, 1);
    msu.AddPathToPreDub(0, 0, 2000);
    msu.GetPreDubContents(0, paths);
    EXPECT_TRUE(paths.IsEmpty());
    EXPECT_EQ(0, msu.GetNumberOfPathsInPreDub(-1));
}

TEST_F(MixSetupTest, PredubabilityAndDynamicsMixture)
{
    CMixSetupExKIVObject msu;
    msu.SetNumChannels(6);
    msu.SetNumPredubDummyMaster(1);
    CArray<BYTE, BYTE> list;
    const std::pair<Ints, int> rows[] = {{{}, 0}, {{5, 30}, 1}, {{19, 11}, 1}, {{19, 5}, 0}, {{11, 11}, 1}};
    for (const auto& [types, predubable] : rows) {
        msu.SetProcList(0, 0, List(list, types));
        EXPECT_EQ(predubable, msu.IsPreDubable(0, 0)) << testing::PrintToString(types);
    }
    EXPECT_EQ(0, msu.IsPreDubable(12, 0));
    msu.SetProcList(0, 1, List(list, {19, 26}));
    msu.AddPathToPreDub(0, 0, 1);
    msu.SetProcList(0, 2, List(list, {19, 8}));
    msu.SetProcList(0, 3, List(list, {19, 26}));
    EXPECT_EQ(0, msu.VerifyPredubDynamics(0, 2));
    EXPECT_EQ(1, msu.VerifyPredubDynamics(0, 3));
    EXPECT_EQ(0, msu.VerifyPredubDynamics(0, 2000));
    EXPECT_EQ(1, msu.VerifyPredubDynamics(2));
}

TEST_F(MixSetupTest, DynamicsLinkErrorsGroupsAndIcons)
{
    CMixSetupExKIVObject msu;
    CArray<BYTE, BYTE> list;
    msu.SetDefaultProcList(0, List(list, {19, 8}));
    msu.SetNumChannels(8);
    msu.SetProcList(0, 5, List(list, {19, 5}));
    msu.SetProcList(0, 6, List(list, {7, 8}));
    struct Row {
        int group, index, result;
        const char* text;
    };
    const Row rows[] = {
        {0, 2, 1, "No Error"},
        {0, 1, 1, "No Error"},
        {0, 3, 1, "No Error"},
        {0, 5, 0, "The selected path has no dynamics."},
        {1, 2, 0, "The selected path is in another link."},
        {1, 6, 0, "The selected path is stereo.\nYou can only link mono paths."},
        {0, 7, 0, "The paths in a link must be contiguous."},
        {100, 0, 0, "Unknown Error"},
        {0, 8, 0, "Unknown Error"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.group << "/" << r.index);
        EXPECT_EQ(r.result, msu.AddPathToDynamicsLink(r.group, 0, r.index));
        EXPECT_EQ(CString(r.text), msu.GetLastDynamicsLinkError());
    }
    CArray<int, int> paths;
    msu.GetDynamicsLink(0, paths);
    EXPECT_EQ((Ints{1, 2, 3}), Values(paths));
    EXPECT_EQ((Ints{0, 1, 2, -1}), (Ints{msu.GetLinkedDynamicsIcon(1), msu.GetLinkedDynamicsIcon(0, 2), msu.GetLinkedDynamicsIcon(3),
                                          msu.GetLinkedDynamicsIcon(4)}));
    EXPECT_EQ(1, msu.GetNextDynamicsLinkNumber());

    // Verifying: the same linkable dynamics in every path, none that cannot be linked.
    msu.SetProcList(0, 3, List(list, {19, 9}));
    EXPECT_EQ(0, msu.VerifyDynamicsLink(0, 0));
    EXPECT_EQ(CString("The selected path has different dynamics.\nThe dynamics must be the same in all the linked paths."),
              msu.GetLastDynamicsLinkError());
    msu.SetProcList(0, 3, List(list, {19, 8, 23}));
    EXPECT_EQ(0, msu.VerifyDynamicsLink(0, 0));
    EXPECT_EQ(CString("The selected path contains dynamics that can not be linked."), msu.GetLastDynamicsLinkError());
    msu.SetProcList(0, 3, List(list, {19, 8, 20}));
    EXPECT_EQ(0, msu.VerifyDynamicsLink(0, 0));
    EXPECT_EQ(CString("The selected path is stereo.\nYou can only link mono paths."), msu.GetLastDynamicsLinkError());
    msu.SetProcList(0, 3, List(list, {19, 8}));
    EXPECT_EQ(1, msu.VerifyDynamicsLink(0, 0));

    // Taking out keeps the rest in order; one path left is no link.
    EXPECT_EQ(1, msu.AddPathToDynamicsLink(0, 0, 1));
    msu.GetDynamicsLink(0, 2, paths);
    EXPECT_EQ((Ints{2, 3}), Values(paths));
    EXPECT_EQ(1, msu.AddPathToDynamicsLink(0, 0, 3));
    EXPECT_EQ(-1, msu.IsDynamicsLinked(2));
    EXPECT_EQ(0, msu.GetNextDynamicsLinkNumber());
}

TEST_F(MixSetupTest, EveryLinkGroupInUseAndGroupsOfOneFromAReply)
{
    CMixSetupExKIVObject msu;
    CArray<BYTE, BYTE> list;
    msu.SetDefaultProcList(0, List(list, {19, 8}));
    msu.SetNumChannels(200);
    for (int g = 0; g < 100; ++g) {
        ASSERT_EQ(1, msu.AddPathToDynamicsLink(g, 0, 2 * g));
        ASSERT_EQ(1, msu.AddPathToDynamicsLink(g, 0, 2 * g + 1));
    }
    EXPECT_EQ(-1, msu.GetNextDynamicsLinkNumber());
    EXPECT_EQ(1, msu.VerifyDynamicsLinks(0));

    // Path 3 names path 0: a link of path 3 alone. Paths 5 and 6 are a link.
    MixSetupReply reply;
    reply.Count(0, 8).I32(520292 + 4 * 3, 0).I32(520292 + 4 * 5, 6).I32(520292 + 4 * 6, 5);
    reply.ProcList(5, {19, 8, 21}).ProcList(6, {19, 8, 21});
    msu.OnLinkIn(reply.Block());
    EXPECT_EQ(0, msu.IsDynamicsLinked(3));
    EXPECT_EQ(1, msu.IsDynamicsLinked(6));
    EXPECT_EQ(0, msu.VerifyDynamicsLinks(0));
    EXPECT_EQ(-1, msu.IsDynamicsLinked(3));
    EXPECT_EQ(1, msu.IsDynamicsLinked(5));
    msu.ClearDynamicsLink(-1);
    msu.ClearDynamicsLink(1);
    EXPECT_EQ(-1, msu.IsDynamicsLinked(5));

    // 101 links in a reply: the first 100 are kept.
    MixSetupReply many;
    many.Count(0, 202);
    for (int g = 0; g < 101; ++g) many.I32(520292 + 8 * static_cast<size_t>(g), 2 * g + 1).I32(520296 + 8 * static_cast<size_t>(g), 2 * g);
    msu.OnLinkIn(many.Block());
    EXPECT_EQ(99, msu.IsDynamicsLinked(199));
    EXPECT_EQ(-1, msu.IsDynamicsLinked(200));
    EXPECT_EQ(-1, msu.GetNextDynamicsLinkNumber());
}

TEST_F(MixSetupProcessingThreads, SaveSendsTheLinksOfValidGroupsOnly)
{
    KivServerSim& server = *sim;
    CMixSetupExKIVObject msu;
    CArray<BYTE, BYTE> list;
    msu.SetDefaultProcList(0, List(list, {19, 8}));
    msu.SetNumChannels(6);
    for (int p : {0, 1}) ASSERT_EQ(1, msu.AddPathToDynamicsLink(0, 0, p));
    for (int p : {3, 4, 5}) ASSERT_EQ(1, msu.AddPathToDynamicsLink(1, 0, p));
    msu.SetProcList(0, 4, List(list, {19, 9}));  // the second link no longer agrees
    msu.Save("Links", nullptr);
    const std::vector<uint8_t> block = KivLastBlock(server);
    ASSERT_EQ(568260u, block.size());
    Ints links;
    for (int p = 0; p < 7; ++p) {
        int32_t v;
        std::memcpy(&v, block.data() + 520292 + 4 * p, 4);
        links.push_back(v);
    }
    EXPECT_EQ((Ints{1, 0, 2, 3, 4, 5, 6}), links);
    EXPECT_EQ(-1, msu.IsDynamicsLinked(4));
}

// ---- paths, partitions, process lists and time slots ----

std::vector<KivField> Ints32(size_t at, const Ints& values)
{
    std::vector<KivField> fields;
    for (int v : values) fields.push_back(KivI32(at, v)), at += 4;
    return fields;
}

std::vector<uint8_t> Block(int32_t command, int32_t size, uint32_t window, const std::vector<KivField>& fields)
{
    std::vector<uint8_t> block = KivExpectedBlock(command, size, window);
    for (const KivField& f : fields) std::memcpy(block.data() + f.offset, f.bytes.data(), f.bytes.size());
    return block;
}

template <class... Lists>
std::vector<KivField> Join(const Lists&... lists)
{
    std::vector<KivField> all;
    (all.insert(all.end(), lists.begin(), lists.end()), ...);
    return all;
}

const ProcTypes kList[11] = {19, 8, 48, 21, 21, 21, 21, 21, 21, 21, 21};

TEST_F(MixSetupProcessingThreads, PathObjectsSendTheirBlocks)
{
    using K = KivCallKind;
    KivServerSim& server = *sim;
    const int pid = static_cast<int>(GetCurrentProcessId());
    const std::vector<KivRow> rows = {
        {"partition attach", "PartitionSettingsKIV", KivCall<CPartitionSettingsKIVObject>([](auto& o) { o.PSAttach(); }),
         KivExpectedBlock(124, 16, 0), K::AttachRead},
        {"partitions", "PartitionSettingsKIV", KivCall<CPartitionSettingsKIVObject>([](auto& o) {
             const int strips[3][2] = {{0, 10}, {10, 8}, {0, 0}}, paths[3][2] = {{2, 3}, {20, 2}, {0, 0}}, selected[3] = {1, 5, 8};
             std::memcpy(o.m_nStrips, strips, sizeof strips);
             std::memcpy(o.m_nPaths, paths, sizeof paths);
             std::memcpy(o.m_nSelectedStrips, selected, sizeof selected);
             o.SetPartitions();
             EXPECT_EQ(5, o.m_nSelectedStrips[1]);  // the object's fields stay
             EXPECT_EQ(160, o.m_nStripsPerBank);
         }),
         Block(125, 104, 0, Join(Ints32(40, {0, 10, 10, 8, 0, 0}), Ints32(64, {1, 8, 11})))},
        {"path controls attach", "PathControlsKIV", KivCall<CPathControlsKIVObject>([](auto& o) { o.PCAttach(4, UlongToHwnd(0x2A)); }),
         Block(51, 32, 0, {KivI32(16, 4), KivI32(24, 0x2A)}), K::AttachRead},
        {"path control value", "PathControlsKIV", KivCall<CPathControlsKIVObject>([](auto& o) { o.SetValue(1, 2, 3, 4); }),
         Block(1, 32, 0, Ints32(16, {1, 2, 3, 4}))},
        {"route attach", "PathRouteKIV", KivCall<CPathRouteKIVObject>([](auto& o) { o.PRAttach(); }), KivExpectedBlock(36, 16, 0), K::AttachRead},
        {"route register", "PathRouteKIV", KivCall<CPathRouteKIVObject>([](auto& o) { o.RegisterPath(9); }),
         Block(74, 18032, 0, {KivI32(16, 9)})},
        {"route screen", "PathRouteKIV", KivCall<CPathRouteKIVObject>([](auto& o) { o.ResetRoutingScreen(); }), KivExpectedBlock(159, 16, 0)},
        {"route reset", "PathRouteKIV", KivCall<CPathRouteKIVObject>([](auto& o) { o.ResetRouting(5, 6); }),
         Block(160, 18032, 0, {KivI32(18020, 5), KivI32(18024, 6)})},
        {"routes", "PathRouteKIV", KivCall<CPathRouteKIVObject>([](auto& o) {
             CArray<PathRoute, const PathRoute&> routes;
             routes.Add(PathRoute{{1, 2, 3}});
             routes.Add(PathRoute{{4, 5, 6}});
             o.SetMultiplePathRoutes(routes);
         }),
         Block(223, 18056, 0, Join(Ints32(18028, {2, 1, 2, 3, 4, 5, 6})))},
        {"paths in partition", "PathsInPartitionKIV", KivCall<CPathsInPartitionKIVObject>([](auto& o) { o.PIPAttach(UlongToHwnd(0x2A)); }),
         KivExpectedBlock(147, 16, 0x2A), K::AttachRead},
        {"verifier", "PathVerifierKIV", KivCall<CPathVerifierKIVObject>([](auto& o) { o.PVAttach(); }), KivExpectedBlock(119, 16, 0),
         K::AttachRead},
        {"process list attach", "ProcessListKIV", KivCall<CProcessListKIVObject>([](auto& o) { o.CPLAttach("not sent"); }),
         Block(33, 216300, 0, {KivI32(20, pid)}), K::AttachRead},
        {"process list", "ProcessListKIV", KivCall<CProcessListKIVObject>([](auto& o) { o.SetProcessList(7, kList, UlongToHwnd(0x2A)); }),
         Block(34, 216300, 0x2A, Join(Ints32(16, {7}), Ints32(228, Stored({19, 8, 8})), Ints32(272, {0, 2})))},
        {"process lists", "ProcessListKIV", KivCall<CProcessListKIVObject>([](auto& o) {
             const int paths[2] = {3, 9};
             const ProcTypes lists[2][11] = {{47, 21, 21, 21, 21, 21, 21, 21, 21, 21, 21}, {5, 6, 21, 21, 21, 21, 21, 21, 21, 21, 21}};
             o.SetMultipleProcessList(2, paths, lists);
         }),
         Block(166, 216300, 65535,
               Join(Ints32(288, {2, 3, 9}), Ints32(8292, Stored({8})), Ints32(8336, Stored({5, 6})), Ints32(96292, {1, -1, -1, -1})))},
        {"pre", "ProcessListKIV", KivCall<CProcessListKIVObject>([](auto& o) { o.SetPrePostFromProcessList(7, false, -5); }),
         Block(185, 216300, 65535, {KivI32(16, 7), KivU8(112292, 1), KivI16(112294, -5)})},
        {"post", "ProcessListKIV", KivCall<CProcessListKIVObject>([](auto& o) { o.SetPrePostFromProcessList(7, true, -5); }),
         Block(185, 216300, 65535, {KivI32(16, 7), KivU8(112296, 1), KivI16(112298, -5)})},
        {"process list of a path", "ProcessListKIV", KivCall<CProcessListKIVObject>([](auto& o) { o.AttachToPath(7); }),
         Block(65, 216300, 65535, {KivI32(16, 7)})},
        {"time slots attach", "TimeSlotLayoutKIV", KivCall<CTimeSlotLayoutKIVObject>([](auto& o) { o.TSLAttach(); }),
         KivExpectedBlock(110, 16, 0), K::AttachRead},
        {"time slot layout", "TimeSlotLayoutKIV", KivCall<CTimeSlotLayoutKIVObject>([](auto& o) {
             const uint8_t c[5] = {1, 2, 3, 4, 5}, d[5] = {6, 7, 8, 9, 10};
             EXPECT_EQ('-', o.m_szLayout[159]);
             o.GetLayout(9, 2, c, d, 3);
         }),
         Block(111, 236, 0, Join(Ints32(184, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 3, 9, 2})))},
    };
    KivCheckRows(server, rows);
    const auto checks = server.Records("process-list");
    ASSERT_EQ(1u, checks.size());
    EXPECT_NE(std::string::npos, checks[0].find(" match")) << checks[0];
}

TEST_F(MixSetupProcessingThreads, MultipleProcessListsStopAtTwoThousandPaths)
{
    KivServerSim& server = *sim;
    std::vector<int> paths(2001);
    std::vector<std::array<ProcTypes, 11>> lists(2001);
    for (int i = 0; i < 2001; ++i) {
        paths[static_cast<size_t>(i)] = i;
        lists[static_cast<size_t>(i)].fill(21);
        lists[static_cast<size_t>(i)][0] = 5;
    }
    CProcessListKIVObject pl;
    pl.SetMultipleProcessList(2001, paths.data(), reinterpret_cast<const ProcTypes(*)[11]>(lists.data()));
    std::vector<KivField> fields = {KivI32(288, 2000)};
    for (int i = 0; i < 2000; ++i) {
        const size_t at = static_cast<size_t>(i);
        fields.push_back(KivI32(292 + 4 * at, i));
        for (KivField& f : Ints32(8292 + 44 * at, Stored({5}))) fields.push_back(f);
        for (KivField& f : Ints32(96292 + 8 * at, {-1, -1})) fields.push_back(f);
    }
    EXPECT_TRUE(KivBlocksEqual(Block(166, 216300, 65535, fields), KivLastBlock(server)));
}

TEST_F(MixSetupProcessingThreads, ProcessListAttachThroughBusyAndBootingAnswers)
{
    KivServerSim& server = *sim;
    winport::ManualClock clock;  // the booting server's waits pass at once
    winport::ScopedClock scoped(clock);
    ASSERT_EQ("ok", server.Control("busy 2"));
    ASSERT_EQ("ok", server.Control("bootcount 1"));
    CProcessListKIVObject pl;
    pl.CPLAttach("x");
    EXPECT_EQ("ok objects=1 advised=1", server.Control("status"));
    const auto checks = server.Records("process-list");
    ASSERT_EQ(1u, checks.size());
    EXPECT_NE(std::string::npos, checks[0].find(" match"));
}

TEST_F(MixSetupTest, PartitionConversionsBothWays)
{
    struct Row {
        int strips[3][2], paths[3][2];
        int n, toPath, toStrip;
    };
    const Row rows[] = {
        {{{0, 0}, {0, 0}, {0, 0}}, {{2, 3}, {0, 0}, {0, 0}}, 7, 7, 7},
        {{{0, 0}, {0, 0}, {0, 0}}, {{0, 0}, {0, 0}, {0, 0}}, 0, 0, 0},
        {{{0, 0}, {0, 0}, {0, 0}}, {{0, 0}, {0, 0}, {0, 0}}, -3, -3, 0},
        {{{0, 10}, {10, 8}, {0, 0}}, {{2, 3}, {20, 2}, {0, 0}}, 1, 1, 1},
        {{{0, 10}, {10, 8}, {0, 0}}, {{2, 3}, {20, 2}, {0, 0}}, 3, 6, 1},
        {{{0, 10}, {10, 8}, {0, 0}}, {{2, 3}, {20, 2}, {0, 0}}, 5, 8, 2},
        {{{0, 10}, {10, 8}, {0, 0}}, {{2, 3}, {20, 2}, {0, 0}}, 8, 11, 5},
        {{{0, 10}, {10, 8}, {0, 0}}, {{2, 3}, {20, 2}, {0, 0}}, 16, 21, 13},
        {{{0, 10}, {10, 8}, {0, 0}}, {{2, 3}, {20, 2}, {0, 0}}, 21, 26, 16},
        {{{4, 10}, {0, 0}, {0, 0}}, {{2, 3}, {0, 0}, {0, 0}}, 3, 6, 2},
    };
    CPartitionSettingsKIVObject ps;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.n);
        std::memcpy(ps.m_nStrips, r.strips, sizeof r.strips);
        std::memcpy(ps.m_nPaths, r.paths, sizeof r.paths);
        int n = r.n;
        ps.StripToPath(n);
        EXPECT_EQ(r.toPath, n);
        n = r.n;
        ps.PathToStrip(n);
        EXPECT_EQ(r.toStrip, n);
    }
}

}  // namespace
