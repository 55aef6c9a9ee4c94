#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "EventArrayFixture.h"
#include "FileContents.h"
#include "StorageTestSupport.h"
#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutxFile.h"

using namespace storagetest;

namespace {

class EventFileTest : public EventArrayFixture {
protected:
    std::string file(const char* name = "mix.aut") const { return m_env.Path(name); }

    // Events that show every field: a path beyond one byte, a negative time and value, flags
    // and old values.
    static void mix(CAutomationEventArray& a)
    {
        fill(a, {Ev(-40, 300, 14, 0, -800, 0x81, 0x1234), Ev(0, 7, 0, 8, 3, 0, 0), Ev(1000, 1999, 35, 2, 32767, 2, 0xFFFF),
                 Ev(0x7FFFFFFF, 0x12345, 11, 1, -32768, 0xFF, 1)});
    }

    // The streams of a compound file, written with the storage functions directly.
    static void writeCompound(const std::string& path, const std::vector<std::pair<std::string, std::vector<BYTE>>>& streams)
    {
        IStorage* root = nullptr;
        ASSERT_EQ(StgCreateDocfile(Wide(path).c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root), S_OK);
        for (const auto& [name, data] : streams) ASSERT_EQ(WriteStream(root, Wide(name).c_str(), data), S_OK) << name;
        root->Release();
    }
    static std::vector<BYTE> stream(const std::string& path, const char* name)
    {
        IStorage* root = nullptr;
        std::vector<uint8_t> data;
        if (StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root) != S_OK) return data;
        ReadStream(root, Wide(name).c_str(), data);
        root->Release();
        return data;
    }
    static std::vector<BYTE> le32(int32_t v)
    {
        std::vector<BYTE> b(4);
        std::memcpy(b.data(), &v, 4);
        return b;
    }
    // Narrow records of two events: (time 5, path 3, process 14, control 0, value 100) and
    // (time 9, path 4, process 2, control 1, value -1, old value 7, flags 1).
    static std::vector<BYTE> twoNarrowRecords()
    {
        const BYTE r[40] = {0x00, 0x00, 0x01, 0x00, 5, 0, 0, 0, 0, 0, 0, 0, 3, 14, 0, 0, 0, 0, 100, 0,
                            0x00, 0x00, 0x01, 0x00, 9, 0, 0, 0, 1, 0, 0, 0, 4, 2, 1, 0, 7, 0, 0xFF, 0xFF};
        return std::vector<BYTE>(r, r + 40);
    }
    static std::vector<BYTE> compressedStream(const std::vector<BYTE>& raw, uint32_t declared)
    {
        uLongf packedSize = compressBound(raw.size());
        std::vector<BYTE> out(4 + packedSize);
        std::memcpy(out.data(), &declared, 4);
        EXPECT_EQ(compress(out.data() + 4, &packedSize, raw.data(), raw.size()), Z_OK);
        out.resize(4 + packedSize);
        return out;
    }
    static const std::vector<BYTE>& version12()
    {
        static const std::vector<BYTE> v = [] {
            std::vector<BYTE> b(40, 0);
            b[0] = 1;
            b[1] = 2;
            return b;
        }();
        return v;
    }
};

TEST_F(EventFileTest, RoundTripInEachPathMode)
{
    struct Case {
        int type;
        int mode;
        const char* firstRecord;
        DWORD pathMask;
    };
    const Case cases[] = {
        {2, 0, "00 00 01 00 D8 FF FF FF 81 00 00 00 2C 0E 00 00 34 12 E0 FC", 0xFF},
        {2, 1, "00 00 01 00 D8 FF FF FF 81 00 00 00 2C 01 0E 00 34 12 E0 FC", 0xFFFF},
        {5, 2, "00 00 01 00 D8 FF FF FF 81 00 00 00 2C 01 0E 00 34 12 E0 FC", 0xFFFF},
        {3, 0, "00 00 01 00 D8 FF FF FF 81 00 00 00 2C 01 0E 00 34 12 E0 FC", 0xFFFF},  // type 3: mode 2
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " mode " << c.mode);
        usePathMode(c.type, c.mode);
        const std::string path = file();
        std::filesystem::remove(path);
        CAutomationEventArray a;
        mix(a);
        ASSERT_TRUE(a.Save(path.c_str()));
        const std::vector<BYTE> data = stream(path, "AutomationData");
        ASSERT_EQ(data.size(), 80u);
        EXPECT_EQ(HexText(data.data(), 20), c.firstRecord);
        const int stored = c.type == 3 ? 2 : c.mode;
        EXPECT_EQ(HexText(stream(path, "Path Mode")), HexText(le32(stored)));

        CAutomationEventArray b;
        b.Add(Ev(1, 1, 1, 1));
        int pathMode = -5;
        ASSERT_TRUE(b.Load(path.c_str(), pathMode));
        EXPECT_EQ(pathMode, stored);
        ASSERT_EQ(b.GetSize(), a.GetSize());
        for (INT_PTR i = 0; i < a.GetSize(); ++i) {
            CAutomationEvent expected = a[i];
            expected.SetPath(expected.GetPath() & c.pathMask);
            EXPECT_EQ(HexText(&b[i], 16), HexText(&expected, 16)) << "event " << i;
        }
        EXPECT_EQ(b[0].GetPath(), c.pathMask == 0xFF ? 44u : 300u);
        expectReservedClear(b);
    }
}

TEST_F(EventFileTest, StoredAndCurrentPathModes)
{
    // A console takes files of its own mode, narrow files always, and mode-1 files in mode 2.
    const bool loads[3][3] = {{true, false, false}, {true, true, false}, {true, true, true}};  // [console][file]
    for (int stored = 0; stored < 3; ++stored) {
        usePathMode(2, stored);
        const std::string path = file();
        std::filesystem::remove(path);
        CAutomationEventArray a;
        mix(a);
        ASSERT_TRUE(a.Save(path.c_str()));
        const std::vector<BYTE> before = FileBytes(path);
        for (int current = 0; current < 3; ++current) {
            SCOPED_TRACE(testing::Message() << "file " << stored << " console " << current);
            usePathMode(2, current);
            CAutomationEventArray b;
            b.Add(Ev(1, 1, 1, 1, 77));
            int pathMode = -5;
            EXPECT_EQ(b.Load(path.c_str(), pathMode) != 0, loads[current][stored]);
            EXPECT_EQ(pathMode, stored);
            EXPECT_EQ(b.GetSize(), loads[current][stored] ? 4 : 1);
            EXPECT_EQ(FileBytes(path), before);  // a load never writes
        }
    }
}

TEST_F(EventFileTest, SaveKeepsForeignStreamsAndReplacesItsOwn)
{
    usePathMode(2, 1);
    const std::string path = file();
    writeCompound(path, {{"Mix Pass", Pattern(5000, 1)}, {"AutomationData", Pattern(33, 2)}, {"Path Mode", le32(0)}});
    CAutomationEventArray a;
    mix(a);
    ASSERT_TRUE(a.Save(path.c_str()));
    IStorage* root = nullptr;
    ASSERT_EQ(StgOpenStorage(Wide(path).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root), S_OK);
    std::vector<std::string> rows;
    ASSERT_EQ(OurListing(root, "", rows), S_OK);
    root->Release();
    std::sort(rows.begin(), rows.end());
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].substr(0, rows[0].rfind('\t')), "AutomationData\tstream\t80");
    EXPECT_EQ(rows[1].substr(0, rows[1].rfind('\t')), "File Version\tstream\t40");
    EXPECT_EQ(rows[2], "Mix Pass\tstream\t5000\t" + [] {
        char b[16];
        std::snprintf(b, sizeof b, "%08x", Crc32(Pattern(5000, 1)));
        return std::string(b);
    }());
    EXPECT_EQ(rows[3].substr(0, rows[3].rfind('\t')), "Path Mode\tstream\t4");
    EXPECT_EQ(rows[4].substr(0, rows[4].rfind('\t')), "Time And Date\tstream\t16");
    EXPECT_EQ(HexText(stream(path, "Path Mode")), "01 00 00 00");
}

TEST_F(EventFileTest, FilesWeWriteReadInGsfAndOlefile)
{
    usePathMode(3, 2);
    const std::string path = file();
    CAutomationEventArray a;
    for (int i = 0; i < 3000; ++i) a.Add(Ev(i, static_cast<DWORD>(i % 2000), 14, 0, static_cast<short>(i)));
    ASSERT_TRUE(a.Save(path.c_str()));
    const std::vector<BYTE> data = stream(path, "AutomationData");
    ASSERT_EQ(data.size(), 60000u);
    const std::vector<BYTE> version = stream(path, "File Version");
    const std::vector<BYTE> when = stream(path, "Time And Date");

    const std::string listing = OleListing(path);
    auto row = [](const char* name, const std::vector<BYTE>& bytes) {
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", Crc32(bytes));
        return std::string(name) + "\tstream\t" + std::to_string(bytes.size()) + "\t" + crc + "\n";
    };
    EXPECT_EQ(listing, row("AutomationData", data) + row("File Version", version) + row("Path Mode", le32(2)) +
                           row("Time And Date", when));
    EXPECT_EQ(GsfCat(path, "AutomationData"), data);
    EXPECT_EQ(GsfCat(path, "Path Mode"), le32(2));
    const std::string list = RunCommand("gsf list " + Quote(path));
    EXPECT_NE(list.find("60000 AutomationData"), std::string::npos) << list;
    EXPECT_NE(list.find("40 File Version"), std::string::npos) << list;
    EXPECT_NE(list.find("16 Time And Date"), std::string::npos) << list;
    EXPECT_NE(list.find("4 Path Mode"), std::string::npos) << list;
}

TEST_F(EventFileTest, CompressedVersionsLoadIntoATemporaryFirst)
{
    useConsoleType(2);
    const std::string path = file();
    struct Case {
        const char* name;
        std::vector<BYTE> data;
        bool loads;
        int events;
    };
    std::vector<BYTE> damaged = compressedStream(twoNarrowRecords(), 40);
    damaged[10] ^= 0x55;
    std::vector<BYTE> cut = compressedStream(twoNarrowRecords(), 40);
    cut.resize(cut.size() - 6);
    std::vector<BYTE> claim = compressedStream(twoNarrowRecords(), 40);
    const uint32_t huge = 0x7FFFFFFF;
    std::memcpy(claim.data(), &huge, 4);
    const Case cases[] = {
        {"length 40", compressedStream(twoNarrowRecords(), 40), true, 2},
        {"length 39: the data holds more", compressedStream(twoNarrowRecords(), 39), false, 0},
        {"length 60: the data holds less", compressedStream(twoNarrowRecords(), 60), false, 0},
        {"length beyond zlib's ratio", claim, false, 0},
        {"damaged zlib data", damaged, false, 0},
        {"cut zlib data", cut, false, 0},
        {"three bytes", {1, 2, 3}, false, 0},
        {"length 19: no whole record", compressedStream(std::vector<BYTE>(19, 0), 19), true, 0},
        {"empty stream", {}, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        writeCompound(path, {{"File Version", version12()}, {"AutomationData", c.data}});
        CAutomationEventArray a;
        a.Add(Ev(1, 1, 1, 1, 77));
        int pathMode = -5;
        EXPECT_EQ(a.Load(path.c_str(), pathMode) != 0, c.loads);
        EXPECT_EQ(pathMode, 0);
        if (!c.loads) {
            ASSERT_EQ(a.GetSize(), 1);
            EXPECT_EQ(a[0].GetValue(), 77);  // unchanged
            continue;
        }
        ASSERT_EQ(a.GetSize(), c.events);
        if (c.events == 2) {
            EXPECT_EQ(HexText(&a[0], 16), "0E 00 64 00 03 00 00 00 05 00 00 00 00 00 00 00");
            EXPECT_EQ(HexText(&a[1], 16), "02 01 FF FF 04 00 00 00 09 00 00 00 01 00 07 00");
        }
    }
}

TEST_F(EventFileTest, WideCompressedFileAndPlainFilesOfOtherVersions)
{
    usePathMode(2, 2);
    const std::string path = file();
    // Two wide records in a version 1.1 file of path mode 1.
    std::vector<BYTE> wide = twoNarrowRecords();
    for (int r = 0; r < 2; ++r) {
        BYTE* p = wide.data() + 20 * r;
        p[15] = p[14];
        p[14] = p[13];
        p[13] = 0x01;  // path high byte
    }
    std::vector<BYTE> v11 = version12();
    v11[1] = 1;
    writeCompound(path, {{"File Version", v11}, {"Path Mode", le32(1)}, {"AutomationData", compressedStream(wide, 40)}});
    CAutomationEventArray a;
    int pathMode = -5;
    ASSERT_TRUE(a.Load(path.c_str(), pathMode));
    EXPECT_EQ(pathMode, 1);
    ASSERT_EQ(a.GetSize(), 2);
    EXPECT_EQ(a[0].GetPath(), 0x103u);
    EXPECT_EQ(a[1].GetProcessNumber(), 2);

    // No "File Version" (1.0) and version 1.4: plain records; a partial record is left out.
    for (bool withVersion : {false, true}) {
        std::filesystem::remove(path);
        std::vector<BYTE> plain = twoNarrowRecords();
        plain.resize(50, 0xEE);
        std::vector<std::pair<std::string, std::vector<BYTE>>> streams = {{"AutomationData", plain}};
        if (withVersion) {
            std::vector<BYTE> v14 = version12();
            v14[1] = 4;
            streams.push_back({"File Version", v14});
        }
        writeCompound(path, streams);
        CAutomationEventArray b;
        ASSERT_TRUE(b.Load(path.c_str(), pathMode)) << withVersion;
        EXPECT_EQ(pathMode, 0);
        ASSERT_EQ(b.GetSize(), 2);
        EXPECT_EQ(b[1].GetTime(), 9);
    }
}

TEST_F(EventFileTest, RefusedFilesLeaveTheArrayAsItWas)
{
    usePathMode(2, 2);
    const std::string path = file();
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::vector<BYTE>>> streams;
        int pathMode;
    };
    const Case cases[] = {
        {"no AutomationData", {{"Path Mode", le32(2)}}, 2},
        {"empty Path Mode", {{"Path Mode", {}}, {"AutomationData", twoNarrowRecords()}}, -1},
        {"short Path Mode", {{"Path Mode", {1, 0}}, {"AutomationData", twoNarrowRecords()}}, -1},
        {"Path Mode 3", {{"Path Mode", le32(3)}, {"AutomationData", twoNarrowRecords()}}, 3},
        {"Path Mode -1", {{"Path Mode", le32(-1)}, {"AutomationData", twoNarrowRecords()}}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path);
        writeCompound(path, c.streams);
        CAutomationEventArray a;
        a.Add(Ev(1, 1, 1, 1, 77));
        int pathMode = -5;
        EXPECT_FALSE(a.Load(path.c_str(), pathMode));
        EXPECT_EQ(pathMode, c.pathMode);
        EXPECT_EQ(a.GetSize(), 1);
    }

    CAutomationEventArray a;
    int pathMode = -5;
    EXPECT_FALSE(a.Load(file("missing.aut").c_str(), pathMode));
    EXPECT_EQ(pathMode, 0);
    EXPECT_FALSE(std::filesystem::exists(file("missing.aut")));
    std::ofstream(file("text.aut")) << "not a compound file";
    EXPECT_FALSE(a.Load(file("text.aut").c_str(), pathMode));
    EXPECT_EQ(pathMode, 0);
}

TEST_F(EventFileTest, EmptyAutomationDataLoadsAsAnEmptyArray)
{
    usePathMode(2, 1);
    const std::string path = file();
    CAutomationEventArray empty;
    ASSERT_TRUE(empty.Save(path.c_str()));
    EXPECT_TRUE(stream(path, "AutomationData").empty());
    CAutomationEventArray a;
    mix(a);
    int pathMode = -5;
    EXPECT_TRUE(a.Load(path.c_str(), pathMode));
    EXPECT_EQ(pathMode, 1);
    EXPECT_EQ(a.GetSize(), 0);
}

TEST_F(EventFileTest, IndexedFilesAreNeitherWrittenNorReadHere)
{
    usePathMode(2, 1);
    const std::string path = file("mix.autx");
    {
        CAutxFile autx;
        ASSERT_TRUE(autx.Open(path.c_str()));
        autx.m_dwHeaderValue6 = 1;
        const BYTE block[16] = {};
        ASSERT_TRUE(autx.AddEntry(0, block, sizeof block));
        autx.Close();
    }
    const std::vector<BYTE> before = FileBytes(path);
    CAutomationEventArray a;
    mix(a);
    int pathMode = -5;
    EXPECT_FALSE(a.Load(path.c_str(), pathMode));
    EXPECT_EQ(pathMode, 1);
    EXPECT_EQ(a.GetSize(), 4);
    EXPECT_FALSE(a.Save(path.c_str()));
    EXPECT_EQ(FileBytes(path), before);

    // An indexed file's header is read without opening the file for writing.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    CAutxFile reader;
    ASSERT_TRUE(reader.OpenForReading(path.c_str()));
    EXPECT_TRUE(reader.IsHeaderValid());
    EXPECT_EQ(reader.m_dwHeaderValue6, 1u);
    EXPECT_FALSE(reader.AddEntry(1, "x", 1));
    EXPECT_TRUE(reader.Close());
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_FALSE(reader.OpenForReading(file("none.autx").c_str()));
    EXPECT_FALSE(std::filesystem::exists(file("none.autx")));
}

TEST_F(EventFileTest, SaveIntoAFileThatIsNotACompoundFileWritesNothing)
{
    useConsoleType(2);
    const std::string path = file("notes.txt");
    std::ofstream(path) << "someone else's file";
    const std::vector<BYTE> before = FileBytes(path);
    CAutomationEventArray a;
    mix(a);
    EXPECT_FALSE(a.Save(path.c_str()));
    EXPECT_EQ(FileBytes(path), before);
}

// A damaged file loads nothing, whichever chain is damaged: the records' own (a table entry
// that points back into the chain, inside the stream's size), the directory's, the mini-stream
// container's or that of the stream telling the records' width.
TEST_F(EventFileTest, DamagedChainsAreRefused)
{
    useConsoleType(2);
    struct Case {
        const char* name;
        int events;  // 0: the outside sample
        void (*damage)(CfbBytes& f);
    };
    const Case cases[] = {
        {"sample with a loop in AutomationData", 0, nullptr},
        {"directory loop", 100, [](CfbBytes& f) { f.SetFat(f.FirstDirectorySector(), f.FirstDirectorySector()); }},
        {"mini-stream loop", 100, [](CfbBytes& f) {
             const uint32_t start = f.StartOf("Root Entry");
             f.SetFat(f.Fat(f.Fat(start)), f.Fat(start));
         }},
        // Not a missing "Path Mode" (which would read the records as narrow ones): a damaged one.
        {"Path Mode of a size beyond the file", 100, [](CfbBytes& f) { f.Put32(f.EntryAt("Path Mode") + 120, 0x10000); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = file();
        std::filesystem::remove(path);
        std::vector<BYTE> bytes;
        if (c.events == 0) {
            bytes = FileBytes(CONSOLE_TESTDATA_DIR "/faults/event-file-fat-loop.aut");
        } else {
            CAutomationEventArray saved;
            for (int i = 0; i < c.events; ++i) saved.Add(Ev(i, 1, 14, 0, i));
            ASSERT_TRUE(saved.Save(path.c_str()));
            bytes = FileBytes(path);
            CfbBytes f{bytes};
            c.damage(f);
        }
        ASSERT_FALSE(bytes.empty());
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()),
                                                                      static_cast<std::streamsize>(bytes.size()));
        CAutomationEventArray a;
        a.Add(Ev(1, 1, 1, 1, 77));
        EXPECT_FALSE(a.Load(path.c_str()));
        ASSERT_EQ(a.GetSize(), 1);
        EXPECT_EQ(a[0].GetValue(), 77);
        EXPECT_EQ(FileBytes(path), bytes);
    }
}

// The first save of a new file, killed at several points (its file size limited, so that the
// kernel kills it at that write), leaves no file at the name or the whole new one.
TEST_F(EventFileTest, KilledFirstSaveLeavesNoFileOrTheWholeOne)
{
    useConsoleType(2);
    CAutomationEventArray a;
    for (int i = 0; i < 50000; ++i) a.Add(Ev(i, i % 96, 14, i % 3, i % 1000));
    const size_t full = 50000 * 20;  // the records in the file
    bool sawNone = false, sawWhole = false;
    for (size_t limit : {size_t{0}, size_t{1000}, size_t{4096}, full / 2, full, full + 40000, size_t{64} << 20}) {
        SCOPED_TRACE(limit);
        const std::string path = file();
        std::filesystem::remove(path);
        const pid_t pid = ::fork();
        if (pid == 0) {
            struct rlimit rl;
            rl.rlim_cur = rl.rlim_max = limit;
            ::setrlimit(RLIMIT_FSIZE, &rl);
            ::_exit(a.Save(path.c_str()) ? 0 : 3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (!std::filesystem::exists(path)) {
            sawNone = true;
            EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            continue;
        }
        sawWhole = true;
        CAutomationEventArray b;
        ASSERT_TRUE(b.Load(path.c_str()));
        ASSERT_EQ(b.GetSize(), a.GetSize());
        EXPECT_EQ(std::memcmp(b.GetData(), a.GetData(), a.GetSize() * sizeof(CAutomationEvent)), 0);
    }
    EXPECT_TRUE(sawNone);
    EXPECT_TRUE(sawWhole);
}

TEST_F(EventFileTest, LoadPostsItsProgress)
{
    useConsoleType(2);
    const std::string path = file();
    CAutomationEventArray a;
    for (int i = 0; i < 95; ++i) a.Add(Ev(i, 1, 14, 0));
    ASSERT_TRUE(a.Save(path.c_str()));
    NotificationRecorder status;
    CAutomationEventArray b;
    ASSERT_TRUE(b.Load(path.c_str()));
    const UINT msg = NotificationRecorder::Message();
    std::vector<NotificationRecorder::Post> expected = {{msg, 15, 0}, {msg, 15, 50}};
    for (int i = 0; i < 95; i += 3) expected.push_back({msg, 15, i * 100 / 95});
    EXPECT_EQ(status.Posts(), expected);
}

}  // namespace
