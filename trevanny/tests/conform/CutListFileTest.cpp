#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ConsoleTypeFixture.h"
#include "conform/EditListFiles.h"
#include "trevanny/CutListFile.h"
#include "trevanny/EDLReader.h"
#include "winport/Paths.h"
#include "winport/RegistryObject.h"

namespace {

const char kTimecodeKey[] = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Timecode";

class CutListTest : public ConsoleTypeFixture {
protected:
    void SetUp() override
    {
        ConsoleTypeFixture::SetUp();
        useConsoleType(3);
    }
    void TearDown() override
    {
        for (CCutListRecord* r : m_records) delete r;
        ConsoleTypeFixture::TearDown();
    }
    static void framesPerSecond(int fps)
    {
        CCurrentUserRegistryObject registry;
        ASSERT_TRUE(registry.SetString(kTimecodeKey, "CantleTimecodeCurrentFramesPerSec", std::to_string(fps).c_str()));
    }
    std::string file(const std::string& name, const std::string& bytes)
    {
        std::string path = m_env.Path(name);
        WriteFileBytes(path, bytes);
        return path;
    }
    BOOL read(const std::string& path, CCutListFile& reader)
    {
        CCutListRecordArray records;
        BOOL ok = reader.Read(path.c_str(), records);
        for (CCutListRecord* r : m_records) delete r;
        m_records.clear();
        for (INT_PTR i = 0; i < records.GetSize(); ++i) m_records.push_back(records[i]);
        return ok;
    }
    std::vector<CCutListRecord*> m_records;
};

TEST(CutListTextTest, KindsAndFeetFrames)
{
    struct Kind {
        const char* text;
        int kind;
    };
    const Kind kinds[] = {{"DELETE", 1},         {"INSERT", 2},        {"TRIM HEAD", 3},      {"TRIM MIDDLE", 4},
                          {"TRIM TAIL", 5},      {"LENGTHEN HEAD", 6}, {"LENGTHEN TAIL", 7},  {"MOVE", 8},
                          {"INSERT FROM", 2},    {"INSERT FROM #3", 9}, {"NO CHANGE", 11},    {"TRIM", 0},
                          {"LENGTHEN MIDDLE", 0}, {"SPLICE", 0},       {"", 0}};
    for (const Kind& k : kinds) EXPECT_EQ(k.kind, CCutListFile::KindFromText(k.text)) << k.text;

    struct Value {
        const char* text;
        int framesPerFoot;
        bool ok;
        int frames;
    };
    const Value values[] = {
        {"12+08", 16, true, 200},      {"  0012+08 x", 16, true, 200}, {"12-08", 16, false, 0},
        {"12+a8", 16, false, 0},       {"12+8", 16, false, 0},          {"123456+03", 16, true, 1975299},
        {"0+15", 40, true, 15},        {"2147483648+00", 1, false, 0},  {"200000000+00", 16, false, 0},
        {"none", 16, false, 0},
    };
    for (const Value& v : values) {
        SCOPED_TRACE(v.text);
        int frames = -1;
        EXPECT_EQ(v.ok, CCutListFile::ParseFeetFrames(v.text, v.framesPerFoot, frames));
        if (v.ok) {
            EXPECT_EQ(v.frames, frames);
        }
    }
}

// Layout 0: start, change text, length, tab-separated; an insert's second line names its source.
const char kLayout0[] =
    "CHANGE LIST\r\n"
    "Old Duration: 00100+00\r\n"
    "No.\tStart\tChange\tLength\tClip Name\r\n"
    "1.\t00010+00\tDELETE\t00002+00\tA\r\n"
    "2.\t00020+00\tINSERT\t00001+04\tB\r\n"
    "\t00000+00 FROM #3    \r\n"
    "3.\t00030+00\tNO CHANGE\t00000+00\r\n"
    "4.\t00040+00\tTRIM TAIL\t00000+08\tC\r\n"
    "(END OF CHANGE LIST)\r\n"
    "5.\t00050+00\tDELETE\t00001+00\r\n";

// Layout 1: start, length, then the change text and further columns after three blanks.
const char kLayout1[] =
    "Old Duration 00100+00\n"
    "   Start     Length    Change           Clip Name\n"
    "1.  00010+00  00002+00  DELETE           reel A\n"
    "2.  00020+00  00001+04  INSERT FROM #3   reel B\n"
    "3.  00030+00  00000+08  MOVE\n";

TEST_F(CutListTest, ChangeListsInBothLayouts)
{
    struct Case {
        const char* name;
        const char* text;
        int layout;
        std::vector<std::vector<int>> records;  // kind, start, length, reference
    };
    const Case cases[] = {
        {"list.chg", kLayout0, 0, {{1, 160, 32, -1}, {9, 320, 20, 3}, {5, 640, 8, -1}}},
        {"list.txt", kLayout1, 1, {{1, 160, 32, -1}, {9, 320, 20, -1}, {8, 480, 8, -1}}},
        // The other layout is tried when the first fails.
        {"list0.txt", kLayout0, 0, {{1, 160, 32, -1}, {9, 320, 20, 3}, {5, 640, 8, -1}}},
        {"list1.chg", kLayout1, 1, {{1, 160, 32, -1}, {9, 320, 20, -1}, {8, 480, 8, -1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CCutListFile reader;
        ASSERT_TRUE(read(file(c.name, c.text), reader));
        EXPECT_EQ(0, reader.GetStatus());
        EXPECT_EQ(c.layout, reader.GetLayout());
        EXPECT_EQ(1600, reader.GetOldDurationFrames());
        ASSERT_EQ(c.records.size(), m_records.size());
        for (size_t i = 0; i < m_records.size(); ++i) {
            EXPECT_EQ(c.records[i], (std::vector<int>{m_records[i]->m_nKind, m_records[i]->m_nStart, m_records[i]->m_nLength,
                                                      m_records[i]->m_nReference}))
                << "record " << i;
        }
    }
}

TEST_F(CutListTest, Statuses)
{
    CCutListFile reader;
    EXPECT_FALSE(read(m_env.Path("missing.cut"), reader));
    EXPECT_EQ(1, reader.GetStatus());
    EXPECT_FALSE(read(file("nohead.txt", "1.  00010+00  00002+00  DELETE\n"), reader));
    EXPECT_EQ(2, reader.GetStatus());
    EXPECT_FALSE(read(file("nochange.txt", "Old Duration 00100+00\nClip Name\n(END OF CHANGE LIST)\n"), reader));
    EXPECT_EQ(2, reader.GetStatus());

    std::string head = StoredBytes().raw("VOK_CUTLIST_FILE").i32(10).i32(5).str();
    EXPECT_TRUE(read(file("empty.cut", head + StoredBytes().i32(0).str()), reader));
    EXPECT_TRUE(m_records.empty());
    EXPECT_FALSE(read(file("leading.cut", head), reader));
    EXPECT_EQ(2, reader.GetStatus());
    EXPECT_FALSE(read(file("absurd.cut", head + StoredBytes().i32(0x7FFFFFFF).i32(1).i32(2).i32(3).i32(4).str()), reader));
    EXPECT_EQ(3, reader.GetStatus());
    EXPECT_TRUE(m_records.empty());
    // Cut inside the second record: the count does not fit what is left.
    std::string two = head + StoredBytes().i32(2).i32(1).i32(100).i32(50).i32(-1).i32(2).i32(7).str();
    EXPECT_FALSE(read(file("short.cut", two), reader));
    EXPECT_EQ(3, reader.GetStatus());
    // A clip name longer than the rest of the file: the records before it stay read.
    std::string clip = head + StoredBytes().i32(2).i32(1).i32(100).i32(50).i32(-1).i32(10).i32(0).i32(5).i32(-1).i32(7).i32(100).raw("x").str();
    EXPECT_FALSE(read(file("clipname.cut", clip), reader));
    EXPECT_EQ(3, reader.GetStatus());
    EXPECT_EQ(1u, m_records.size());
}

struct Pair {
    int sourceStart, sourceLength, destinationStart, destinationLength;
    std::string reel;
    bool operator==(const Pair&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Pair& p)
{
    return out << "(" << p.sourceStart << "," << p.sourceLength << ")->(" << p.destinationStart << "," << p.destinationLength << ") " << p.reel;
}

// The temporary list as the conform reads it back.
std::vector<Pair> readTempEDL(CEDLReelTable& reels, CTimecodeSettings& settings)
{
    std::vector<Pair> pairs;
    CEDLReader reader(CCutListFile::TempEDLPath(), CEDLReader::enCMX3400);
    EXPECT_TRUE(reader.Open(CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary, nullptr));
    EXPECT_EQ(1, reader.ReadHeader(settings, reels));
    int timecodes[12];
    CSourceDestItem source, destination;
    for (;;) {
        delete destination.m_pEvent;  // the reader does not free the previous event
        if (!reader.ReadNextEvent(timecodes, source, destination)) break;
        EXPECT_EQ(reels.Find(destination.m_pEvent->m_strReelName), destination.m_pEvent->m_nReelIndex);
        pairs.push_back({source.m_nStart, source.m_nLength, destination.m_nStart, destination.m_nLength,
                         destination.m_pEvent->m_strReelName.str()});
    }
    EXPECT_FALSE(reader.IsDamaged());
    return pairs;
}

// Reads a cut list, writes its temporary list and reads that back, as the conform does.
std::vector<Pair> conformList(const std::string& path, CEDLReelTable& reels, CTimecodeSettings& settings)
{
    CCutListFile reader;
    CCutListRecordArray records;
    EXPECT_TRUE(reader.Read(path.c_str(), records));
    reader.WriteTempEDL(path.c_str(), records);
    for (INT_PTR i = 0; i < records.GetSize(); ++i) delete records[i];
    return readTempEDL(reels, settings);
}

std::string binaryList(const std::vector<std::vector<int>>& records, const std::string& clip = "")
{
    StoredBytes b;
    b.raw("VOK_CUTLIST_FILE").i32(0).i32(0).i32(static_cast<int>(records.size()));
    for (const auto& r : records) {
        b.i32(r[0]).i32(r[1]).i32(r[2]).i32(r[3]);
        if (r[0] == 10) b.i32(r[4]).text(clip);
    }
    return b.str();
}

TEST_F(CutListTest, TemporaryListPairs)
{
    framesPerSecond(25);
    struct Case {
        const char* what;
        std::vector<std::vector<int>> records;
        std::vector<Pair> pairs;
    };
    const std::vector<Case> cases = {
        {"delete", {{1, 100, 50, -1}}, {{0, 100, 0, 100, "cuts"}, {150, 2159850, 100, 2159850, "cuts"}}},
        {"insert", {{2, 100, 50, -1}}, {{0, 100, 0, 100, "cuts"}, {100, 2159900, 150, 2159900, "cuts"}}},
        // The moved piece (source 100 to 150) is picked up by the insert with its number.
        {"move and pick-up",
         {{8, 100, 50, 4}, {9, 200, 50, 4}},
         {{0, 100, 0, 100, "cuts"}, {150, 100, 100, 100, "cuts"}, {100, 50, 200, 50, "cuts"}, {250, 2159750, 250, 2159750, "cuts"}}},
        {"named clip",
         {{10, 100, 30, -1, 500}},
         {{0, 100, 0, 100, "cuts"}, {500, 30, 100, 30, "clip"}, {100, 2159900, 130, 2159900, "cuts"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = file("cuts.cut", binaryList(c.records, "clip"));
        CEDLReelTable reels;
        CTimecodeSettings settings;
        std::vector<Pair> pairs = conformList(path, reels, settings);
        // Reel names are the list's path without its extension.
        for (Pair& p : pairs) {
            if (p.reel == path.substr(0, path.size() - 4)) p.reel = "cuts";
        }
        EXPECT_EQ(c.pairs, pairs);
        EXPECT_EQ(c.records[0][0] == 10 ? 2 : 1, reels.GetSize());
        for (int r = 0; r < reels.GetSize(); ++r) EXPECT_EQ(reels.GetAt(r).m_strName, reels.GetAt(r).m_strText2);
    }
}

TEST_F(CutListTest, TemporaryListCarriesTheChangeListSettings)
{
    framesPerSecond(24);
    CCurrentUserRegistryObject registry;
    ASSERT_TRUE(registry.SetString(kTimecodeKey, "CantleTimecodeCurrentFeetPerFrame", "20"));
    std::string path = file("list.txt", kLayout1);
    CEDLReelTable reels;
    CTimecodeSettings settings;
    std::vector<Pair> pairs = conformList(path, reels, settings);
    EXPECT_EQ(24, settings.m_nFramesPerSec);
    EXPECT_EQ(20, settings.m_nFramesPerFoot);
    ASSERT_FALSE(pairs.empty());
    EXPECT_EQ(2073600 - pairs.back().sourceStart, pairs.back().sourceLength);  // 24 hours at 24 fps
    EXPECT_EQ(200, pairs[0].sourceLength);  // 10 feet at 20 frames a foot
}

TEST_F(CutListTest, OneWriterOfTheTemporaryListAtATime)
{
    std::string path = file("one.cut", binaryList({{1, 100, 50, -1}}));
    CCutListRecordArray records;
    CCutListFile first, second;
    ASSERT_TRUE(first.Read(path.c_str(), records));
    first.WriteTempEDL(path.c_str(), records);
    CCutListFile::SetLockWaitMs(20);
    bool refused = false;
    try {
        second.WriteTempEDL(path.c_str(), records);
    } catch (CFileException* e) {
        refused = e->m_cause == CFileException::sharingViolation;
        e->Delete();
    }
    EXPECT_TRUE(refused);
    first.ReleaseTempEDL();
    second.WriteTempEDL(path.c_str(), records);
    CCutListFile::SetLockWaitMs(30000);
    for (INT_PTR i = 0; i < records.GetSize(); ++i) delete records[i];
    // No temporary file is left beside the list.
    const std::filesystem::path list(winport::HostPath(CCutListFile::TempEDLPath()));
    for (const auto& entry : std::filesystem::directory_iterator(list.parent_path()))
        EXPECT_NE(".new", entry.path().extension()) << entry.path();
}

TEST_F(CutListTest, ItemsWithGapsAndOverlaps)
{
    framesPerSecond(24);  // 24 frames are 100 time units on this console
    std::string path = file("items.cut", binaryList({{1, 24, 48, -1}, {2, 72, 24, -1}, {8, 48, 24, 2}, {0, 200, 24, -1}}));
    CEDLItemList list;
    list.Add(CEDLItem(2, -1, 1, "", "", ""), 0);
    GetCutListItems(path.c_str(), list);
    std::vector<std::vector<int>> items;
    for (int i = 0; i < list.GetSize(); ++i) items.push_back({list.GetAt(i).m_nKind, list.GetAt(i).m_nLength});
    // Gap to 100; delete of 200 (to 300); the insert starts at 300: no gap; the move starts
    // before the position: no gap, and the position does not move back; kind 0 adds no item
    // but its gap and length.
    std::vector<std::vector<int>> expected = {{2, 1}, {0, 100}, {1, 200}, {2, 100}, {1, 100}, {0, 333}};
    EXPECT_EQ(expected, items);
    CEDLItemList none;
    GetCutListItems(m_env.Path("missing.cut").c_str(), none);
    EXPECT_EQ(0, none.GetSize());
}

}  // namespace
