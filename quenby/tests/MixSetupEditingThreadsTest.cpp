// Editing the cached mix setup: labels, star commands, renumbering against a small model over
// random edit sequences, time slots, partitions and layouts, the film index, and edits that
// go to the server and come back in another object.
#include <algorithm>
#include <map>
#include <random>

#include "MixSetupTestKit.h"

namespace {

std::vector<int> Values(const CArray<int, int>& a) { return std::vector<int>(a.GetData(), a.GetData() + a.GetSize()); }

CArray<BYTE, BYTE>& List(CArray<BYTE, BYTE>& out, std::initializer_list<int> types)
{
    out.RemoveAll();
    for (int t : types) out.Add(static_cast<BYTE>(t));
    return out;
}

class MixSetupEditThreads : public MixSetupTest {};

TEST_F(MixSetupTest, DefaultLabelsAndStarCommandNames)
{
    CMixSetupExKIVObject msu;
    struct Row {
        int kind, number;
        const char* label;
    };
    const Row rows[] = {{0, 9, "  9"},  {0, 10, "10"},    {3, 3, "AU 3"},  {3, 12, "AU12"}, {2, 1, "MAIN"},
                        {2, 2, "MAI2"}, {1, 2, "GRP2"},   {1, 10, "GR10"}, {5, 3, "TBK "},  {7, 4, "TRK4"},
                        {10, 11, "FL11"}, {11, 1, "FLS1"}, {12, 1, "PD1"},  {12, 12, "PD12"}, {13, 2, "SC2"},
                        {14, 3, "S 3 "}};
    for (const Row& r : rows) EXPECT_EQ(CString(r.label), msu.GetDefaultName(r.kind, r.number)) << r.kind << "/" << r.number;

    msu.SetNumChannels(2);
    msu.SetNumStarCommand(1, 2);
    const int first = msu.GetOffset(13);
    EXPECT_EQ(1, msu.GetNumHUI());
    EXPECT_EQ(2, msu.GetNumOASIS());
    const std::pair<int, const char*> names[] = {{first - 1, "ERLO"}, {first, "MIDI"}, {first + 1, "OASIS"}, {first + 2, "OASIS"}, {first + 3, "ERHI"}};
    for (auto [path, name] : names) EXPECT_EQ(CString(name), msu.GetStarCommandName(path)) << path;
    CArray<BYTE, BYTE> list;
    msu.GetProcList(13, 0, list);
    EXPECT_EQ(44, list[0]);
    EXPECT_EQ(0, list[1]);
    EXPECT_EQ(21, list[2]);
    msu.SetNumStarCommand(0, 2);
    EXPECT_EQ(CString("OASIS"), msu.GetStarCommandName(msu.GetOffset(13)));
}

TEST_F(MixSetupTest, OutOfRangeEditsChangeNothing)
{
    CMixSetupExKIVObject msu;
    msu.SetNumChannels(4);
    msu.SetNumTracks(2);
    msu.SetChannelMapPath(0, 0, 159, 3);
    msu.SetChannelMapPath(0, 0, 160, 2);   // strip 160
    msu.SetChannelMapPath(6, 0, 0, 2);     // bank 6
    msu.SetChannelMapPath(0, 4, 0, 2);     // layer 4
    msu.SetChannelMapPath(0, 0, 1, 6);     // no path 6
    EXPECT_EQ(3, msu.GetChannelMapPath(0, 0, 159));
    EXPECT_EQ(-1, msu.GetChannelMapPath(0, 0, 160));
    EXPECT_EQ(-1, msu.GetChannelMapPath(0, 0, 1));
    int layer, strip;
    EXPECT_EQ(1, msu.FindPathInChannelMap(3, 0, layer, strip));
    EXPECT_EQ(159, strip);

    CString name;
    msu.GetName(0, 1, name);
    msu.RemoveType(4, 0);                  // index at the count
    msu.RemoveType(-1, 0);
    msu.RemoveType(0, 15);
    EXPECT_EQ(6, msu.GetTotalPaths());
    msu.SetNumType(-3, 7);                 // a negative count is 0
    EXPECT_EQ(0, msu.GetNumTracks());
    msu.SetNumType(1997, 3);               // the total would pass 2000
    EXPECT_EQ(0, msu.GetNumAuxes());
    msu.SetNumType(1996, 3);
    EXPECT_EQ(2000, msu.GetTotalPaths());

    msu.SetSoloInhibit(0, 4, 1);
    EXPECT_EQ(0, msu.GetSoloInhibit(0, 4));
    EXPECT_EQ(0, msu.GetSoloInhibit(-1, 0));
    msu.SetPriority(2000, 5);
    EXPECT_EQ(0, msu.GetPriority(2000));
    EXPECT_FALSE(msu.SetPathFromEngine(0, 0, 4));
    EXPECT_EQ(0, msu.GetPathFromEngine(0, 0));
    msu.AddToStem(12, 0, 0);
    msu.AddToStem(0, 8, 0);
    EXPECT_EQ(0, msu.IsInStem(0));
    msu.SetFoldDownGain(4, 0, 0, 5);
    msu.SetFoldDownGain(0, 9, 0, 5);
    EXPECT_EQ(CString("Bank 7"), msu.GetBankName(6));
    msu.SetBankName(6, "Seven");
    EXPECT_EQ(CString("Bank 7"), msu.GetBankName(6));
    CString s, l;
    msu.GetName(1, 0, s, l);
    EXPECT_TRUE(s.IsEmpty() && l.IsEmpty());
}

TEST_F(MixSetupTest, BankAndLayerNames)
{
    CMixSetupExKIVObject msu;
    EXPECT_EQ(CString("Bank 1") + CString(' ', 22), msu.GetBankName(0));
    // Nine bytes over the start of the padded name: what follows the zero stays.
    msu.SetBankName(1, "Brass");
    EXPECT_EQ(CString("Brass"), msu.GetBankName(1));
    msu.SetBankName(1, "");
    EXPECT_EQ(CString("Bank 2"), msu.GetBankName(1));
    EXPECT_EQ(96, msu.GetLayerNames().GetLength());
    EXPECT_EQ(CString(" A   B   s-A s-B"), msu.GetLayerNames().Left(16));
    msu.SetLayerNames("Up  Dn  ");
    EXPECT_EQ(CString("Up  Dn  "), msu.GetLayerNames());
    msu.SetLayerNames("");
    EXPECT_EQ(CString(" A   B   s-A s-B"), msu.GetLayerNames().Left(16));
}

// One path of the model: where it came from and what it must still carry.
struct ModelPath {
    int id;           // -1 for a path an edit added
    CString name;
};

TEST_F(MixSetupTest, RenumberingKeepsEveryTableWithItsPaths)
{
    const int initial[14] = {6, 3, 2, 2, 1, 1, 1, 4, 1, 1, 1, 1, 2, 2};
    for (unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        CMixSetupExKIVObject msu;
        MixSetupReply reply;
        std::vector<std::vector<ModelPath>> model(14);
        int next = 0;
        for (int k = 0; k < 14; ++k) reply.Count(k, initial[k]);
        msu.OnLinkIn(reply.Block());
        for (int k = 0; k < 14; ++k)
            for (int i = 0; i < initial[k]; ++i) {
                const int id = next++;
                CString name;
                name.Format("P%d", id);
                msu.SetName(k, i, name, name);
                msu.SetPriority(msu.GetOffset(k) + i, static_cast<BYTE>(id + 1));
                model[k].push_back({id, name});
            }
        // Path-valued tables, by id: channel map, a stem of tracks, a link of three channels.
        std::map<int, int> mapOf;  // strip -> id
        for (int strip = 0; strip < 20; ++strip) {
            const int id = strip % next;
            int kind = 0, index = id;
            while (index >= initial[kind]) index -= initial[kind++];
            msu.SetChannelMapPath(2, 1, strip, msu.GetOffset(kind) + index);
            mapOf[strip] = id;
        }
        std::vector<int> stemIds;
        for (int i = 0; i < 4; ++i) {
            msu.AddToStem(5, i, msu.GetOffset(7) + i);
            stemIds.push_back(model[7][static_cast<size_t>(i)].id);
        }
        CArray<BYTE, BYTE> mono;
        for (int i = 1; i < 4; ++i) msu.SetProcList(0, i, List(mono, {19, 8, 21}));
        std::vector<int> linkIds;
        for (int i = 1; i < 4; ++i) {
            ASSERT_EQ(1, msu.AddPathToDynamicsLink(0, 0, i));
            linkIds.push_back(model[0][static_cast<size_t>(i)].id);
        }

        std::mt19937 random(seed);
        for (int step = 0; step < 200; ++step) {
            const int kind = static_cast<int>(random() % 14);
            auto& paths = model[static_cast<size_t>(kind)];
            if (random() % 2) {
                const int index = static_cast<int>(random() % 6);
                msu.RemoveType(index, kind);
                if (index < static_cast<int>(paths.size())) paths.erase(paths.begin() + index);
            } else {
                const int count = static_cast<int>(random() % 9) - 1;
                msu.SetNumType(count, kind);
                const size_t wanted = static_cast<size_t>(std::max(count, 0));
                paths.resize(std::min(wanted, paths.size()));
                while (paths.size() < wanted) paths.push_back({-1, msu.GetDefaultName(kind, static_cast<int>(paths.size()) + 1)});
            }

            // Where each id is now.
            std::map<int, int> pathOf;
            int sum = 0;
            for (int k = 0; k < 14; ++k) {
                ASSERT_EQ(static_cast<int>(model[static_cast<size_t>(k)].size()), msu.GetNum(k));
                sum += msu.GetNum(k);
                for (size_t i = 0; i < model[static_cast<size_t>(k)].size(); ++i) {
                    const ModelPath& m = model[static_cast<size_t>(k)][i];
                    const int path = msu.GetOffset(k) + static_cast<int>(i);
                    CString name;
                    msu.GetName(path, name);
                    ASSERT_EQ(m.name, name) << "step " << step << " kind " << k << " index " << i;
                    EXPECT_EQ(m.id < 0 ? 0 : m.id + 1, msu.GetPriority(path));
                    if (m.id >= 0) pathOf[m.id] = path;
                }
            }
            ASSERT_EQ(sum, msu.GetTotalPaths());
            auto expectedPath = [&](int id) { return pathOf.count(id) ? pathOf[id] : -1; };
            for (auto [strip, id] : mapOf) ASSERT_EQ(expectedPath(id), msu.GetChannelMapPath(2, 1, strip)) << "strip " << strip;
            std::vector<int> stem;
            for (int id : stemIds)
                if (expectedPath(id) >= 0) stem.push_back(expectedPath(id));
            CArray<int, int> got;
            msu.GetStemContents(5, got);
            std::vector<int> gotStem = Values(got);
            std::sort(gotStem.begin(), gotStem.end());
            ASSERT_EQ(stem, gotStem);
            std::vector<int> link;
            for (int id : linkIds)
                if (expectedPath(id) >= 0) link.push_back(expectedPath(id));
            if (link.size() < 2) link.clear();
            msu.GetDynamicsLink(0, got);
            ASSERT_EQ(link, Values(got));
            for (int p : Values(got)) ASSERT_LT(p, msu.GetTotalPaths());
        }
    }
}

TEST_F(MixSetupTest, TimeSlotsPerProcessAndEngine)
{
    CMixSetupExKIVObject msu;
    msu.SetNumChannels(2);
    msu.SetNumFilms(1);
    CArray<BYTE, BYTE> list;
    struct Row {
        int process, a, b;
    };
    const Row rows[] = {{7, 1, 1},  {11, 1, 0}, {22, 1, 0}, {24, 1, 0}, {12, 2, 0}, {13, 2, 0}, {14, 2, 0}, {27, 2, 0},
                        {25, 4, 0}, {30, 1, 1}, {15, 0, 1}, {16, 0, 2}, {17, 0, 2}, {18, 0, 2}, {3, 0, 0}};
    for (const Row& r : rows) {
        msu.SetProcList(0, 0, List(list, {r.process}));
        int a = -1, b = -1;
        msu.GetTimeslotsUsed(0, a, b);
        EXPECT_EQ(std::make_pair(r.a, r.b), std::make_pair(a, b)) << r.process;
    }
    const int film = msu.GetOffset(10);
    msu.SetProcList(film, List(list, {7, 21, 25}));  // nothing after the end marker counts
    int a, b;
    msu.GetTimeslotsUsed(film, a, b);
    EXPECT_EQ(std::make_pair(2, 1), std::make_pair(a, b));

    msu.SetProcList(0, 0, List(list, {25, 16}));
    msu.SetProcList(0, 1, List(list, {12}));
    EXPECT_TRUE(msu.SetPathFromEngine(0, 1, 3));
    EXPECT_EQ(1, msu.GetEngineCount(3));
    int ea[4], eb[4];
    msu.GetTimeslotsUsed(ea, eb);
    EXPECT_EQ((std::vector<int>{4 + 2, 0, 0, 2}), std::vector<int>(ea, ea + 4));
    EXPECT_EQ((std::vector<int>{2 + 1, 0, 0, 0}), std::vector<int>(eb, eb + 4));
}

TEST_F(MixSetupTest, PartitionsAuxPartitionsAndExternalBreakdown)
{
    CMixSetupExKIVObject msu;
    {
        const int masters[3][2] = {{0, 2}, {0, 0}, {0, 3}};
        const int partitions[3][2] = {{0, 10}, {10, 8}, {18, 6}};
        msu.SetMastersAndPartition(masters, partitions);
        for (auto [path, partition] : {std::pair{0, 0}, {7, 0}, {8, 2}, {10, 2}, {11, 0}})
            EXPECT_EQ(partition, msu.GetPathPartition(path)) << path;
    }
    {
        const int masters[3][2] = {{8, 2}, {16, 2}, {0, 0}};
        const int partitions[3][2] = {{0, 10}, {10, 8}, {0, 0}};
        msu.SetMastersAndPartition(masters, partitions);
        for (auto [strip, partition] : {std::pair{3, 0}, {8, 1}, {9, 1}, {14, 0}})
            EXPECT_EQ(partition, msu.GetPartitionForStrip(strip)) << strip;
    }
    msu.SetAuxLayout(2, 0, 3, 1);
    EXPECT_EQ(6, msu.GetNumAuxes());
    for (auto [aux, partition] : {std::pair{0, -1}, {1, -1}, {2, 1}, {4, 1}, {5, 2}, {6, -2}})
        EXPECT_EQ(partition, msu.GetAuxPartition(aux)) << aux;

    const int breakdown[7] = {1, 2, 0, 0, 3, 0, 1};
    msu.SetExternalBreakdown(breakdown);
    EXPECT_EQ(7, msu.GetNumExterns());
    int back[7];
    msu.GetExternalBreakdown(back);
    EXPECT_TRUE(std::equal(breakdown, breakdown + 7, back));

    const int zones[3] = {10, 255, 40};
    msu.SetPreDubZones(zones);
    for (auto [strip, in] : {std::pair{9, false}, {10, true}, {13, true}, {14, false}, {41, true}})
        EXPECT_EQ(in, msu.IsInPreDubZone(strip, 4)) << strip;
}

TEST_F(MixSetupEditThreads, FilmIndexWithAndWithoutTheAlternativeFilmModes)
{
    KivServerSim& server = *sim;
    struct Row {
        int console, set, stored, panLaw, read;
    };
    const Row rows[] = {{7, 6, 5, 3, 6}, {7, 7, 5, 4, 7}, {7, 5, 5, 5, 5}, {3, 6, 6, 6, 6}, {3, 7, 7, 7, 7}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.console << "/" << r.set);
        UseConsoleType(r.console);
        CMixSetupExKIVObject msu;
        msu.SetFilmIndex(r.set);
        EXPECT_EQ(r.read, msu.GetFilmIndex());
        msu.Save("Film", nullptr);
        const std::vector<uint8_t> block = KivLastBlock(server);
        ASSERT_EQ(568260u, block.size());
        int32_t index, law;
        std::memcpy(&index, block.data() + 539288, 4);
        std::memcpy(&law, block.data() + 549476, 4);
        EXPECT_EQ(r.stored, index);
        EXPECT_EQ(r.panLaw, law);
    }
    // Pan law 3 brings the surround fold-down names.
    UseConsoleType(7);
    CMixSetupExKIVObject msu;
    msu.SetFilmIndex(6);
    msu.ClearFoldDowns();
    short gains[4][9][9];
    char names[4][9];
    msu.GetFoldDownData(gains, names);
    EXPECT_STREQ("Surround", names[0]);
    EXPECT_STREQ("Mono    ", names[3]);
    EXPECT_EQ(0, gains[2][4][4]);
    EXPECT_EQ(-32768, gains[2][4][5]);
}

TEST_F(MixSetupEditThreads, EditsSavedAndReadBackInAnotherObjectThroughBusyAnswers)
{
    KivServerSim& server = *sim;
    MixSetupReply base;
    base.Count(0, 3).Count(7, 2).Count(3, 1);
    StoreInServer(base, "Base");

    CMixSetupExKIVObject msu;
    msu.Get("Base", 0);
    ASSERT_EQ(6, msu.GetTotalPaths());
    msu.SetNumChannels(4);                      // tracks now 4 and 5, aux 6
    msu.SetName(0, 1, "Gtr", "Guitar");
    msu.SetChannelMapPath(1, 2, 3, 5);
    msu.SetSoloInhibit(0, 2, 1);
    msu.SetDisabled(6, 1);
    msu.SetPriority(4, 7);
    msu.SetSurroundDesignator(7, 0, 0x0102);
    EXPECT_TRUE(msu.SetPathFromEngine(7, 1, 2));
    msu.AddToStem(2, 0, 5);
    msu.SetFoldDownGain(1, 2, 3, -100);
    msu.SetFoldDownName(2, "Wide");
    msu.SetDeskSetupType(5);
    msu.SetNumMixMinusOutputs(3);
    msu.SetBankName(1, "Brass");
    msu.Save("Edited", nullptr);

    const std::vector<uint8_t> block = KivLastBlock(server);
    auto at32 = [&](size_t at) { int32_t v; std::memcpy(&v, block.data() + at, 4); return v; };
    EXPECT_EQ(4, at32(412424));
    EXPECT_EQ(0, std::memcmp(block.data() + 16 + 5, "Gtr\0", 4));
    EXPECT_EQ(0, std::memcmp(block.data() + 10016 + 201, "Guitar\0", 7));
    EXPECT_EQ(0, std::memcmp(block.data() + 16 + 5 * 3, "  4\0", 4));   // the new channel's label
    EXPECT_EQ(5, at32(412500 + 4 * (640 * 1 + 160 * 2 + 3)));
    EXPECT_EQ(1, block[533216 + 2]);
    EXPECT_EQ(1, block[535216 + 6]);
    EXPECT_EQ(1, block[537216 + 3]);                                      // a new path is automated
    EXPECT_EQ(7, block[547292 + 4]);
    EXPECT_EQ(0x02, block[515860 + 2 * 4]);
    EXPECT_EQ(2, block[566260 + 5]);
    EXPECT_EQ(1, at32(519860 + 36 * 2 + 4));                              // track 1
    int16_t gain;
    std::memcpy(&gain, block.data() + 565480 + 162 + 18 * 2 + 2 * 3, 2);
    EXPECT_EQ(-100, gain);
    EXPECT_EQ(0, std::memcmp(block.data() + 566128 + 18, "Wide\0", 5));
    EXPECT_EQ(5, at32(549468));
    EXPECT_EQ(3, at32(549472));
    EXPECT_EQ(0, std::memcmp(block.data() + 549292 + 29, "Brass\0\0\0\0", 9));

    // Another object reads it back, once by attaching and once by a process-list reload
    // while the server is busy.
    CMixSetupExKIVObject other;
    other.Get("Edited", 0);
    ASSERT_EQ("ok", server.Control("busy 2"));
    other.LoadProcessList();
    EXPECT_EQ(CString("Edited"), other.GetMSUName());
    EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(75, 460000, 0, {KivText(16, "Edited")}), KivLastBlock(server)));
    CString s, l;
    other.GetName(0, 1, s, l);
    EXPECT_EQ(CString("Guitar"), l);
    EXPECT_EQ(7, other.GetTotalPaths());
    EXPECT_EQ(5, other.GetChannelMapPath(1, 2, 3));
    EXPECT_EQ(1, other.GetSoloInhibit(0, 2));
    EXPECT_EQ(7, other.GetPriority(4));
    EXPECT_EQ(0x0102, other.GetSurroundDesignator(7, 0));
    EXPECT_EQ(2, other.GetPathFromEngine(7, 1));
    CArray<int, int> stem;
    other.GetStemContents(2, stem);
    EXPECT_EQ((std::vector<int>{5}), Values(stem));
    EXPECT_EQ(CString("Brass"), other.GetBankName(1));
    EXPECT_EQ(5, other.GetDeskSetupType());
    EXPECT_EQ(3, other.GetNumMixMinusOutputs());
}

}  // namespace
