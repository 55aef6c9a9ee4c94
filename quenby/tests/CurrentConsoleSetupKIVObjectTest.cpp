// The console setup object: path numbering and default names by console type, dynamics links,
// and its command blocks as the server receives them.
#include <gtest/gtest.h>

#include "../testtools/KivTestClient.h"
#include "KivServerFixture.h"
#include "quenby/CurrentConsoleSetupKIVObject.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "winport/Registry.h"

namespace {

// Fills the tables as a program's derived class does from the server's replies.
class TestSetup : public CCurrentConsoleSetupKIVObject {
public:
    TestSetup() : CCurrentConsoleSetupKIVObject(1) {}
    ~TestSetup() { StopAdvise(); }
    void SetMap(std::initializer_list<int> counts)
    {
        m_anPathMap.RemoveAll();
        for (int c : counts) m_anPathMap.Add(c);
    }
    void SetNames(int count)
    {
        for (int i = 0; i < count; ++i) m_astrPathNames.Add(CString("name") + std::to_string(i).c_str());
    }
    void SetLinks(int path, std::vector<int32_t> words)
    {
        std::memcpy(LinkRecord(path), words.data(), words.size() * sizeof(int32_t));
    }
    void SetEngine(int kind, int usp) { m_nEngineKind = kind, m_nUSP = usp; }
    int OnLinkIn(_CommsStructure* block) override { return received = block->nSize, 1; }
    int received = 0;
};

void setConsoleValue(const char* name, DWORD value)
{
    CConsoleRegistryNames names;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, names.GetKey(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    CConsoleRegistryNames::ResetConsoleSettingsForTesting();
}

std::string fnvText(const std::vector<uint8_t>& block)
{
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(KivBlockHash(block.data(), block.size())));
    return buf;
}

// A block written by hand: header, then the given fields.
struct Block {
    explicit Block(int command, int size, uint32_t window = 0) : bytes(static_cast<size_t>(size), 0)
    {
        Int(0, command);
        Int(4, static_cast<int32_t>(window));
        Int(8, size);
    }
    void Int(size_t at, int32_t v) { std::memcpy(bytes.data() + at, &v, 4); }
    void Text(size_t at, const std::string& s) { std::memcpy(bytes.data() + at, s.data(), s.size()); }
    std::vector<uint8_t> bytes;
};

// The console settings are read once per process: each test starts from, and leaves, none read.
class ConsoleSetupTest : public KivServerTest {
protected:
    void SetUp() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }
    void TearDown() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }
};

TEST_F(ConsoleSetupTest, NumberingAndDefaultNamesByConsoleType)
{
    StartServer();
    TestSetup setup;
    // 24 channels, 8 tracks, 4 groups, 2 mains; the map stops after type 8.
    setup.SetMap({24, 4, 2, 0, 0, 1, 0, 8, 2});
    EXPECT_EQ(0, setup.GetOffset(0));
    EXPECT_EQ(24, setup.GetOffset(7));
    EXPECT_EQ(32, setup.GetOffset(1));
    EXPECT_EQ(36, setup.GetOffset(2));
    EXPECT_EQ(38, setup.GetOffset(8));  // cues follow auxiliaries (none)
    EXPECT_EQ(40, setup.GetOffset(4));
    EXPECT_EQ(40, setup.GetOffset(5));
    EXPECT_EQ(0, setup.GetOffset(14));
    EXPECT_EQ(41, setup.GetTotalPaths());
    struct Path { int path, type; };
    for (Path p : {Path{0, 0}, Path{23, 0}, Path{24, 7}, Path{31, 7}, Path{32, 1}, Path{37, 2}, Path{40, 5}, Path{41, -1}, Path{-1, -1}}) {
        SCOPED_TRACE(p.path);
        EXPECT_EQ(p.type, setup.GetPathType(p.path));
    }
    EXPECT_EQ(0, setup.GetNumPathType(-1));
    EXPECT_EQ(0, setup.GetNumPathType(12));  // beyond the map

    // Console type 3 (none stored).
    struct Name { int type, number; const char* name; };
    for (Name n : {Name{0, 9, "  9"}, Name{0, 10, "10"}, Name{1, 1, "GRP1"}, Name{1, 12, "GR12"}, Name{2, 1, "MAIN"},
                   Name{2, 2, "MAI2"}, Name{3, 4, "AU 4"}, Name{5, 3, "TBK "}, Name{7, 10, "TR10"}, Name{13, 1, "SC1"},
                   Name{14, 1, ""}, Name{-1, 1, ""}}) {
        SCOPED_TRACE(n.name);
        EXPECT_EQ(CString(n.name), setup.GetDefaultName(n.type, n.number));
    }
    CString name;
    setup.GetDefaultName(33, name);
    EXPECT_EQ(CString("GRP2"), name);
    setup.GetDefaultName(99, name);
    EXPECT_EQ(CString(""), name);

    // Console type 4: the first group is the mix-minus bus "MM", the others count from 1.
    setConsoleValue("CantleConsoleType", 4);
    EXPECT_EQ(CString("MM"), setup.GetDefaultName(1, 1));
    EXPECT_EQ(CString("GRP1"), setup.GetDefaultName(1, 2));
    EXPECT_EQ(CString("GR11"), setup.GetDefaultName(1, 12));
    EXPECT_EQ(CString("  9"), setup.GetDefaultName(0, 9));

    // Names and paths of a type.
    setup.SetNames(30);
    CStringArray names;
    CArray<int, int> paths;
    setup.GetNamesOfType(7, names, paths);
    ASSERT_EQ(8, names.GetSize());
    EXPECT_EQ(CString("name24"), names[0]);
    EXPECT_EQ(CString("????"), names[6]);  // path 30 has no name
    EXPECT_EQ(31, paths[7]);
    EXPECT_EQ(CString("????"), setup.GetPathName(-1));
}

TEST_F(ConsoleSetupTest, SmallConsolesNameChannelPathsAfterTheFaders)
{
    // 28 faders: channels 0 to 19, groups 20 to 23, outputs 24 to 27.
    setConsoleValue("NumberOfFaders", 28);
    setConsoleValue("GroupFadersStartAt", 20);
    setConsoleValue("NumGroupFaders", 4);
    setConsoleValue("OutputFadersStartAt", 24);
    setConsoleValue("NumOutputFaders", 4);
    setConsoleValue("CantleConsoleType", 1);
    StartServer();
    TestSetup setup;
    struct Name { int number; const char* name; };
    for (Name n : {Name{1, "Ch1"}, Name{20, "Ch20"}, Name{21, "Grp1"}, Name{25, "Out1"}, Name{29, "[29]"}}) {
        SCOPED_TRACE(n.number);
        EXPECT_EQ(CString(n.name), setup.GetDefaultName(0, n.number));
    }
    const CFaderLayout& layout = QuenbyFaderLayout();
    EXPECT_EQ(CString("C20"), GetFaderShortName(layout, 19));
    EXPECT_EQ(CString("G2"), GetFaderShortName(layout, 21));
    EXPECT_EQ(CString("O4"), GetFaderShortName(layout, 27));
    EXPECT_TRUE(IsEmptyFader(layout, 28));
    EXPECT_FALSE(IsEmptyFader(layout, 0));
}

TEST_F(ConsoleSetupTest, DynamicsLinksAreIndexesWithinTheType)
{
    StartServer();
    TestSetup setup;
    setup.SetMap({24, 0, 0, 0, 0, 0, 0, 8});
    CArray<int, int> links;
    EXPECT_EQ(0, setup.GetDynamicsLink(7, 5, links));  // no links
    setup.SetLinks(5, {3, 26, 27, 25});
    ASSERT_EQ(3, setup.GetDynamicsLink(7, 5, links));
    EXPECT_EQ(2, links[0]);
    EXPECT_EQ(1, links[2]);
    EXPECT_EQ(0, setup.GetDynamicsLink(0, 5, links));  // the first linked path is a track
    EXPECT_EQ(0, links.GetSize());
    // Counts beyond the record are clamped; paths without a record give nothing.
    std::vector<int32_t> full(2000, 3);
    full[0] = 5000;
    setup.SetLinks(99, full);
    EXPECT_EQ(1999, setup.GetDynamicsLink(0, 99, links));
    EXPECT_EQ(0, setup.GetDynamicsLink(0, 100, links));
    EXPECT_EQ(0, setup.GetDynamicsLink(0, -1, links));

    EXPECT_TRUE(setup.IsESPSystem());
    setup.SetEngine(2, 1);
    EXPECT_TRUE(setup.IsXSPSystem() && setup.IsUSPSystem());
    EXPECT_EQ(0, setup.GetNumXSPCards(4));
}

TEST_F(ConsoleSetupTest, CommandBlocksAreLaidOutAsTheServerReadsThem)
{
    KivServerSim& server = StartServer();
    TestSetup setup;
    auto lastHash = [&] {
        auto line = server.Records("block").back();
        return line.substr(line.find("fnv=") + 4, 16);
    };

    CStringArray names;
    for (int i = 0; i < 9; ++i) names.Add(CString("setup") + std::to_string(i).c_str());
    names[1] = std::string(230, 'x').c_str();  // cut to 200 bytes
    setup.LoadConsoleSetup(names, 7, 8, 9, UlongToHwnd(0x77));
    Block load(30, 460000, 0x77);
    load.Text(16, "setup0");
    load.Int(446488, 8);
    load.Int(446492, 1);
    load.Int(446496, 9);
    load.Text(446500, std::string(200, 'x'));
    for (int i = 2; i <= 7; ++i) load.Text(446500 + 201 * static_cast<size_t>(i - 1), "setup" + std::to_string(i));
    load.Int(447908, 7);  // "setup8" has no slot and is not sent
    EXPECT_EQ(fnvText(load.bytes), lastHash());

    setup.SetPathName(12, "Drums Overhead", UlongToHwnd(0x10));
    Block rename(23, 460000, 0x10);
    rename.Int(420, 12);
    rename.Text(8428, "Drum");
    rename.Text(420428, "Drums Overhe");
    EXPECT_EQ(fnvText(rename.bytes), lastHash());

    setup.ResetMultiplePathNameQueue();
    EXPECT_FALSE(setup.QueuePathName(-1, "bad"));
    EXPECT_FALSE(setup.QueuePathName(3044, "bad"));
    EXPECT_TRUE(setup.QueuePathName(0, "Kick"));
    EXPECT_TRUE(setup.QueuePathName(3043, "Last path"));
    setup.SetMultiplePathNames(nullptr);
    Block batch(23, 460000);
    batch.Int(420, -1);
    batch.Text(8428, "Kick");
    batch.Text(420428, "Kick");
    batch.Text(8428 + 5 * 3043, "Last");
    batch.Text(420428 + 13 * 3043, "Last path");
    EXPECT_EQ(fnvText(batch.bytes), lastHash());
    EXPECT_EQ(2, setup.GetQueuedPathCount());  // kept after sending

    setup.MakeDefault("Film Mix");
    Block makeDefault(60, 460000);
    makeDefault.Text(16, "Film Mix");
    EXPECT_EQ(fnvText(makeDefault.bytes), lastHash());

    // The attach reads the current setup at once.
    ASSERT_EQ("ok", server.Control("set 29 1000"));
    setup.CCSAttach();
    EXPECT_EQ(1000, setup.received);
}

}  // namespace
