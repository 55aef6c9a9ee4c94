#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "EventArrayFixture.h"
#include "StorageTestSupport.h"
#include "trevanny/ChannelFlagArrays.h"
#include "trevanny/MixPassArrays.h"

using namespace storagetest;

namespace {

std::vector<BYTE> Words(std::initializer_list<DWORD> words)
{
    std::vector<BYTE> bytes;
    for (DWORD w : words)
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<BYTE>(w >> (8 * i)));
    return bytes;
}

std::vector<BYTE> Version(BYTE major, BYTE minor)
{
    std::vector<BYTE> v(40, 0);
    v[0] = major;
    v[1] = minor;
    return v;
}

/// u32 length, then zlib's compress() of the bytes.
std::vector<BYTE> Compressed(const std::vector<BYTE>& raw, uint32_t statedLength)
{
    uLongf packedSize = compressBound(raw.size());
    std::vector<BYTE> out(4 + packedSize);
    std::memcpy(out.data(), &statedLength, 4);
    EXPECT_EQ(compress(out.data() + 4, &packedSize, raw.data(), raw.size()), Z_OK);
    out.resize(4 + packedSize);
    return out;
}

/// Runs `body` in a child process whose address space may grow by at most `room` bytes and
/// returns its exit status; -1 when the limit cannot be applied (sanitizer builds reserve vast
/// address ranges, so the check is left to the plain build).
int WithAddressSpaceRoom(size_t room, const std::function<int()>& body)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    (void)room;
    (void)body;
    return -1;
#else
    const pid_t child = ::fork();
    if (child == 0) {
        long pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
            std::fclose(statm);
        }
        const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + room;
        const struct rlimit rl = {limit, limit};
        if (pages == 0 || ::setrlimit(RLIMIT_AS, &rl) != 0) ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -2;
    return WEXITSTATUS(status);
#endif
}

class TypedArraysTest : public EventArrayFixture {
protected:
    std::string path() const { return m_env.Path("pass.aut"); }
    void writeStreams(const std::vector<std::pair<std::string, std::vector<BYTE>>>& streams) const
    {
        std::remove(path().c_str());
        IStorage* root = nullptr;
        ASSERT_EQ(StgCreateDocfile(Wide(path()).c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root), S_OK);
        for (const auto& [name, data] : streams) ASSERT_EQ(WriteStream(root, Wide(name).c_str(), data), S_OK);
        root->Release();
    }
    std::vector<BYTE> stream(const char* name) const
    {
        IStorage* root = nullptr;
        std::vector<uint8_t> data;
        if (StgOpenStorage(Wide(path()).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root) != S_OK)
            return data;
        ReadStream(root, Wide(name).c_str(), data);
        root->Release();
        return data;
    }
    /// A small control flag array of records {base + 0, ..., base + 4} for each base.
    static void fillSmall(CSmallCtrlFlagArray& a, std::initializer_list<DWORD> bases)
    {
        a.RemoveAll();
        for (DWORD b : bases) a.Add(SmallCtrlFlagRecord{{b, b + 1, b + 2, b + 3, b + 4}});
    }
};

TEST_F(TypedArraysTest, FlagArraysSaveRawRecordsAndLoadThemBack)
{
    CSmallCtrlFlagArray small("Mode", 20);
    fillSmall(small, {0x11223344, 7});
    ASSERT_TRUE(SaveSmallCtrlFlagStream(path().c_str(), "ModeCtlData", small));
    EXPECT_EQ(HexText(stream("ModeCtlData")), "44 33 22 11 45 33 22 11 46 33 22 11 47 33 22 11 48 33 22 11 "
                                            "07 00 00 00 08 00 00 00 09 00 00 00 0A 00 00 00 0B 00 00 00");
    EXPECT_EQ(HexText(stream("File Version").data(), 2), "01 04");

    CSmallRteFlagArray route("LinkRoutes", 4);
    route.Add(0xFFFF);
    route.Add(0x80000001);
    ASSERT_TRUE(SaveSmallRteFlagStream(path().c_str(), "LinkRoutesRteData", route));
    EXPECT_EQ(HexText(stream("LinkRoutesRteData")), "FF FF 00 00 01 00 00 80");

    CCtrlFlagArray large("Ends", 144);
    CRteFlagArray routes("Ends", 192);
    for (int path = 0; path < 3; ++path) {
        CtrlFlagRecord c{};
        RteFlagRecord r{};
        for (int w = 0; w < 36; ++w) c.words[w] = static_cast<DWORD>(path * 1000 + w);
        for (int w = 0; w < 48; ++w) r.words[w] = static_cast<DWORD>(path * 5000 + w) | 0x80000000u;
        large.Add(c);
        routes.Add(r);
    }
    ASSERT_TRUE(SaveCtrlFlagStream(path().c_str(), "EndsCtlData", large));
    ASSERT_TRUE(SaveRteFlagStream(path().c_str(), "EndsRteData", routes));
    EXPECT_EQ(stream("EndsCtlData").size(), 3u * 144);
    EXPECT_EQ(stream("EndsRteData").size(), 3u * 192);
    // Every earlier stream stays beside the new ones.
    EXPECT_EQ(stream("ModeCtlData").size(), 40u);

    CSmallCtrlFlagArray small2("Mode", 20);
    CSmallRteFlagArray route2("LinkRoutes", 4);
    CCtrlFlagArray large2("Ends", 144);
    CRteFlagArray routes2("Ends", 192);
    ASSERT_TRUE(LoadSmallCtrlFlagStream(path().c_str(), "ModeCtlData", small2));
    ASSERT_TRUE(LoadSmallRteFlagStream(path().c_str(), "LinkRoutesRteData", route2));
    ASSERT_TRUE(LoadCtrlFlagStream(path().c_str(), "EndsCtlData", large2));
    ASSERT_TRUE(LoadRteFlagStream(path().c_str(), "EndsRteData", routes2));
    ASSERT_EQ(small2.GetSize(), 2);
    EXPECT_EQ(std::memcmp(small2.GetData(), small.GetData(), 40), 0);
    ASSERT_EQ(route2.GetSize(), 2);
    EXPECT_EQ(route2[1], 0x80000001u);
    ASSERT_EQ(large2.GetSize(), 3);
    EXPECT_EQ(std::memcmp(large2.GetData(), large.GetData(), 3 * 144), 0);
    ASSERT_EQ(routes2.GetSize(), 3);
    EXPECT_EQ(std::memcmp(routes2.GetData(), routes.GetData(), 3 * 192), 0);
}

TEST_F(TypedArraysTest, RawStreamsOfEveryVersionButTheCompressedOnesReadWholeRecords)
{
    // Two records and three bytes of a third; "File Version" missing, 1.0, 1.3, 1.4 and 2.1.
    std::vector<BYTE> data = Words({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    data.insert(data.end(), {0xAA, 0xBB, 0xCC});
    struct Case {
        const char* what;
        std::vector<BYTE> version;
    } cases[] = {{"none", {}}, {"1.0", Version(1, 0)}, {"1.3", Version(1, 3)}, {"1.4", Version(1, 4)}, {"2.1", Version(2, 1)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.version.empty()) writeStreams({{"MetaCtlData", data}});
        else writeStreams({{"File Version", c.version}, {"MetaCtlData", data}});
        CSmallCtrlFlagArray a("Meta", 20);
        fillSmall(a, {100, 200, 300});
        ASSERT_TRUE(LoadSmallCtrlFlagStream(path().c_str(), "MetaCtlData", a));
        ASSERT_EQ(a.GetSize(), 2);
        EXPECT_EQ(a[1].words[4], 10u);
    }
}

TEST_F(TypedArraysTest, CompressedStreamsOfVersionsOnePointOneAndTwo)
{
    std::vector<BYTE> raw;
    for (DWORD i = 0; i < 31 * 40; ++i) {
        const auto w = Words({i * 3});
        raw.insert(raw.end(), w.begin(), w.end());
    }
    for (BYTE minor : {1, 2}) {
        SCOPED_TRACE(int{minor});
        // Forty old 124-byte records.
        writeStreams({{"File Version", Version(1, minor)}, {"TouchCtlData", Compressed(raw, static_cast<uint32_t>(raw.size()))}});
        COldCtrlFlagArray old;
        ASSERT_TRUE(LoadOldCtrlFlagStream(path().c_str(), "TouchCtlData", old));
        ASSERT_EQ(old.GetSize(), 40);
        EXPECT_EQ(old[39].words[30], (31u * 40 - 1) * 3);

        // A stated length that holds no whole record, with data after it, empties the array;
        // a stream of nothing changes nothing.
        CSmallRteFlagArray a("Touch", 4);
        a.Add(5);
        writeStreams({{"File Version", Version(1, minor)}, {"TouchRteData", Compressed({1, 2, 3}, 0)}});
        ASSERT_TRUE(LoadSmallRteFlagStream(path().c_str(), "TouchRteData", a));
        EXPECT_EQ(a.GetSize(), 0);
        a.Add(5);
        writeStreams({{"File Version", Version(1, minor)}, {"TouchRteData", Compressed({1, 2, 3}, 3)}});
        ASSERT_TRUE(LoadSmallRteFlagStream(path().c_str(), "TouchRteData", a));
        EXPECT_EQ(a.GetSize(), 0);
        a.Add(5);
        writeStreams({{"File Version", Version(1, minor)}, {"TouchRteData", {}}});
        ASSERT_TRUE(LoadSmallRteFlagStream(path().c_str(), "TouchRteData", a));
        EXPECT_EQ(a.GetSize(), 1);
    }
}

TEST_F(TypedArraysTest, FailedLoadsLeaveTheArrayAsItWas)
{
    const std::vector<BYTE> raw = Words({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    std::vector<BYTE> damaged = Compressed(raw, 40);
    damaged[damaged.size() / 2] ^= 0x55;
    damaged.back() ^= 0xFF;
    std::vector<BYTE> absurd = Compressed(raw, 0xFFFFFFF0u);  // far beyond what the data can hold
    std::vector<BYTE> longer = Compressed(raw, 80);           // inflates to less than it says
    std::vector<BYTE> shorter = Compressed(raw, 20);          // inflates to more than it says
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::vector<BYTE>>> streams;
        bool file;
    } cases[] = {
        {"no file", {}, false},
        {"no data stream", {{"File Version", Version(1, 4)}}, true},
        {"zlib error", {{"File Version", Version(1, 1)}, {"ArmedCtlData", damaged}}, true},
        {"absurd length", {{"File Version", Version(1, 2)}, {"ArmedCtlData", absurd}}, true},
        {"length above the data", {{"File Version", Version(1, 2)}, {"ArmedCtlData", longer}}, true},
        {"length below the data", {{"File Version", Version(1, 1)}, {"ArmedCtlData", shorter}}, true},
        {"cut before the length", {{"File Version", Version(1, 1)}, {"ArmedCtlData", {1, 2}}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(path().c_str());
        if (c.file) writeStreams(c.streams);
        CSmallCtrlFlagArray a("Armed", 20);
        fillSmall(a, {100});
        EXPECT_FALSE(LoadSmallCtrlFlagStream(path().c_str(), "ArmedCtlData", a));
        ASSERT_EQ(a.GetSize(), 1);
        EXPECT_EQ(a[0].words[0], 100u);
    }
}

TEST_F(TypedArraysTest, AnAbsurdStatedLengthIsRefusedWithoutAllocatingIt)
{
    // 4 GB stated for 40 bytes of data: refused inside 64 MB of further address space.
    writeStreams({{"File Version", Version(1, 1)}, {"ArmedCtlData", Compressed(Words({1, 2, 3, 4, 5}), 0xFFFFFFF0u)}});
    const std::string file = path();
    const int status = WithAddressSpaceRoom(size_t{64} << 20, [&] {
        CSmallCtrlFlagArray a("Armed", 20);
        return LoadSmallCtrlFlagStream(file.c_str(), "ArmedCtlData", a) ? 1 : 0;
    });
    if (status == -1) GTEST_SKIP() << "no address-space limit under a sanitizer";
    EXPECT_EQ(status, 0);
}

TEST_F(TypedArraysTest, BlockCountsAndRecordsOfEveryArray)
{
    usePathMode(2, 0);
    CVectorData v("SnapshotVersion");
    EXPECT_EQ(v.GetBlockCount(16), 0);
    for (DWORD i = 0; i < 10; ++i) v.Add(0x01020300 + i);
    struct Count {
        int block;
        int expected;
    } counts[] = {{16, 3}, {4, 10}, {7, 10}, {40, 1}, {3, 0}, {0, 0}, {-4, 0}};
    for (const Count& c : counts) EXPECT_EQ(v.GetBlockCount(c.block), c.expected) << c.block;

    BYTE out[64];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(v.FetchRecords(2, 8, out), 2);
    EXPECT_EQ(HexText(out, 9), "08 03 02 01 09 03 02 01 EE");
    // Only records that exist are copied.
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(v.FetchRecords(5, 9, out), 1);
    EXPECT_EQ(HexText(out, 5), "09 03 02 01 EE");
    EXPECT_EQ(v.FetchRecords(1, 10, out), 0);
    EXPECT_EQ(v.FetchRecords(1, -1, out), 0);
    EXPECT_EQ(v.FetchRecords(0, 0, out), 0);

    // Path mode 0: one byte of each path number of the link map; modes 1 and 2 and any other
    // stored mode: two.
    struct LinkCase {
        int mode;
        int recordSize;
        const char* bytes;
    } links[] = {{0, 1, "34 FF EE"}, {1, 2, "34 12 FF FF EE"}, {2, 2, "34 12 FF FF EE"}, {7, 2, "34 12 FF FF EE"}};
    for (const LinkCase& c : links) {
        SCOPED_TRACE(c.mode);
        usePathMode(2, c.mode);
        CLinkMap link("LinkMap");
        EXPECT_EQ(link.GetRecordSize(), c.recordSize);
        link.Add(0x1234);
        link.Add(-1);
        std::memset(out, 0xEE, sizeof out);
        EXPECT_EQ(link.FetchRecords(2, 0, out), 2);
        EXPECT_EQ(HexText(out, static_cast<size_t>(2 * c.recordSize + 1)), c.bytes);
        EXPECT_EQ(link.GetBlockCount(3), c.recordSize == 1 ? 1 : 2);
    }

    CGangMap gang("GangMap");
    gang.Add(0xFFFF);
    gang.Add(3);
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(gang.FetchRecords(2, 0, out), 2);
    EXPECT_EQ(HexText(out, 5), "FF FF 03 00 EE");
    EXPECT_EQ(gang.GetBlockCount(1), 0);

    // A flag array hands out the leading record-size bytes of each record.
    CSmallCtrlFlagArray flags("Virgins", 8);
    fillSmall(flags, {1, 11});
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(flags.FetchRecords(2, 0, out), 2);
    EXPECT_EQ(HexText(out, 17), "01 00 00 00 02 00 00 00 0B 00 00 00 0C 00 00 00 EE");
    EXPECT_EQ(flags.m_strName, "Virgins");
}

TEST_F(TypedArraysTest, ControlSixOfTheFirstTwoProcesses)
{
    CCtrlParms parms("ISS");
    EXPECT_EQ(parms.GetRecordSize(), 2);
    parms.SetSize(3 * 45);
    for (int c = 0; c < 3; ++c) {
        parms[c * 45 + 6] = static_cast<WORD>(100 + c);
        parms[c * 45 + 15] = static_cast<WORD>(200 + c);
    }
    WORD* out = nullptr;
    ASSERT_EQ(parms.ExtractControl6(&out, 3), 12);
    std::unique_ptr<WORD[]> owned(out);
    EXPECT_EQ(std::vector<WORD>(out, out + 6), (std::vector<WORD>{100, 101, 102, 200, 201, 202}));

    WORD* untouched = nullptr;
    EXPECT_EQ(parms.ExtractControl6(&untouched, 2), 0);
    EXPECT_EQ(parms.ExtractControl6(&untouched, 0), 0);
    EXPECT_EQ(parms.ExtractControl6(&untouched, -3), 0);
    EXPECT_EQ(untouched, nullptr);
}

}  // namespace
