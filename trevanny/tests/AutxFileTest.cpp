#include "FileContents.h"
#include "HexText.h"
#include "trevanny/AutxFile.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "TestEnvironment.h"
#include "winport/Clock.h"
#include "winport/RegistryObject.h"

namespace {

using Bytes = std::vector<BYTE>;

void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

uint32_t le32(const Bytes& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

void setLe32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
}

// Equal byte strings; otherwise where they first differ, in hex.
::testing::AssertionResult sameBytes(const Bytes& actual, const Bytes& expected)
{
    if (actual == expected) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    const size_t from = at < 8 ? 0 : at - 8;
    auto around = [from](const Bytes& b) { return HexText(b.data() + from, std::min<size_t>(24, b.size() - from)); };
    return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                         << ", first difference at " << at << "\n  actual   " << around(actual)
                                         << "\n  expected " << around(expected);
}

// Bytes that look like automation events: 16-byte records with a rising time and a few
// processes, controls and paths, so that zlib packs them about as it packs a real mix.
Bytes automationLike(size_t size, unsigned seed = 7)
{
    std::mt19937 random(seed);
    Bytes out(size);
    uint32_t time = 0;
    for (size_t i = 0; i < size; i += 16) {
        BYTE record[16] = {};
        record[0] = static_cast<BYTE>(random() % 36);
        record[1] = static_cast<BYTE>(random() % 9);
        uint16_t value = static_cast<uint16_t>(random() % 1024);
        std::memcpy(record + 2, &value, 2);
        uint32_t path = random() % 96;
        std::memcpy(record + 4, &path, 4);
        time += random() % 4;
        std::memcpy(record + 8, &time, 4);
        std::memcpy(out.data() + i, record, std::min<size_t>(16, size - i));
    }
    return out;
}

class AutxFileTest : public ::testing::Test {
protected:
    void SetCompressedAuto(int value)
    {
        CLocalMachineRegistryObject registry;
        ASSERT_TRUE(registry.SetInt("SOFTWARE\\VOKDWEN\\KIVSERVER", "CompressedAuto", value));
    }

    TestEnvironment env;
    winport::ManualClock clock;
    winport::ScopedClock scopedClock{clock};
    std::string path = env.Path("pass.autx");
};

TEST_F(AutxFileTest, HeaderBytesFollowTheLayout)
{
    {
        CAutxFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        file.m_dwHeaderValue1 = 0x11;
        file.m_dwHeaderValue2 = 0x22;
        file.m_dwHeaderValue3 = 0x33;
        file.m_dwHeaderValue4 = 0x44;
        file.m_dwHeaderValue5 = 0x12345;
        file.m_dwHeaderValue6 = 2;
        file.m_dwSpare = 0x99;
        const BYTE first[] = {0xDE, 0xAD, 0xBE, 0xEF};
        const BYTE second[] = {1, 2, 3};
        ASSERT_TRUE(file.AddEntry(7, first, sizeof first));
        ASSERT_TRUE(file.AddEntry(3, second, sizeof second));
        ASSERT_TRUE(file.Close());
    }
    const Bytes expectedHead = {
        'A', 'U', 'T', 'X', 'F', 'I', 'L', 'E',
        0x02, 0x00, 0x00, 0x00,  // version
        0x22, 0x00, 0x00, 0x00,  // header value 2
        0x11, 0x00, 0x00, 0x00,  // header value 1
        0x33, 0x00, 0x00, 0x00,  // header value 3
        0x44, 0x00, 0x00, 0x00,  // header value 4
        0x45, 0x23, 0x01, 0x00,  // header value 5
        0x02, 0x00, 0x00, 0x00,  // header value 6
        0x02, 0x00, 0x00, 0x00,  // two entries
        0x07, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x03, 0x00, 0x00, 0x00, 0x04, 0x04, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    Bytes expected = expectedHead;
    expected.resize(1024, 0xBB);
    for (BYTE b : {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03}) expected.push_back(b);
    EXPECT_TRUE(sameBytes(FileBytes(path), expected));

    // A file opened and closed with nothing added becomes an empty indexed file.
    std::string empty = env.Path("empty.autx");
    {
        CAutxFile file;
        ASSERT_TRUE(file.Open(empty.c_str()));
        EXPECT_FALSE(file.IsHeaderValid());
        ASSERT_TRUE(file.Close());
    }
    Bytes emptyExpected = {'A', 'U', 'T', 'X', 'F', 'I', 'L', 'E', 2, 0, 0, 0};
    emptyExpected.resize(32, 0x00);
    for (BYTE b : {1, 0, 0, 0, 0, 0, 0, 0}) emptyExpected.push_back(b);  // header value 6, no entries
    emptyExpected.resize(1024, 0xBB);
    EXPECT_TRUE(sameBytes(FileBytes(empty), emptyExpected));
}

struct BlockCase {
    uint32_t size;
    bool compress;
    std::vector<uint32_t> chunkLengths;  // empty: stored plain
};

class AutxBlockTest : public AutxFileTest, public ::testing::WithParamInterface<BlockCase> {};

TEST_P(AutxBlockTest, StoresPlainOrInChunksAndReadsBack)
{
    const BlockCase& c = GetParam();
    SetCompressedAuto(c.compress ? 1 : 0);
    Bytes data = automationLike(c.size);
    {
        CAutxFile file;
        EXPECT_EQ(file.IsCompressing(), c.compress);
        ASSERT_TRUE(file.Open(path.c_str()));
        ASSERT_TRUE(file.AddEntry(1, data.data(), c.size));
        ASSERT_TRUE(file.Close());
    }
    std::vector<uint32_t> pauses(c.chunkLengths.size(), 10);
    EXPECT_EQ(clock.Sleeps(), pauses);

    Bytes bytes = FileBytes(path);
    ASSERT_EQ(le32(bytes, 36), 1u);
    EXPECT_EQ(le32(bytes, 40), 1u);
    EXPECT_EQ(le32(bytes, 44), 1024u);
    EXPECT_EQ(le32(bytes, 48), c.size);
    EXPECT_EQ(le32(bytes, 52), c.chunkLengths.size());
    if (c.chunkLengths.empty()) {
        EXPECT_TRUE(sameBytes(Bytes(bytes.begin() + 1024, bytes.end()), data));
    } else {
        // Walk the chunks as a foreign reader would and unpack them with zlib alone.
        size_t at = 1024;
        Bytes unpacked;
        for (size_t i = 0; i < c.chunkLengths.size(); ++i) {
            ASSERT_LE(at + 12, bytes.size());
            EXPECT_EQ(le32(bytes, at), i + 1);
            uint32_t length = le32(bytes, at + 4);
            uint32_t packed = le32(bytes, at + 8);
            EXPECT_EQ(length, c.chunkLengths[i]);
            ASSERT_LE(at + 12 + packed, bytes.size());
            Bytes chunk(length);
            uLongf made = length;
            ASSERT_EQ(uncompress(chunk.data(), &made, bytes.data() + at + 12, packed), Z_OK);
            ASSERT_EQ(made, length);
            unpacked.insert(unpacked.end(), chunk.begin(), chunk.end());
            at += 12 + packed;
        }
        EXPECT_EQ(at, bytes.size());
        EXPECT_TRUE(sameBytes(unpacked, data));
    }

    CAutxFile reader;
    ASSERT_TRUE(reader.Open(path.c_str()));
    ASSERT_TRUE(reader.IsHeaderValid());
    EXPECT_EQ(reader.GetDirectoryEntry(0).chunks, c.chunkLengths.size());
    Bytes back(c.size);
    EXPECT_TRUE(reader.ReadEntry(1, back.data(), c.size));
    EXPECT_TRUE(sameBytes(back, data));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, AutxBlockTest,
    ::testing::Values(BlockCase{1000, true, {}}, BlockCase{1001, true, {1001}},
                      BlockCase{600000, true, {262144, 262144, 75712}}, BlockCase{600000, false, {}}),
    [](const ::testing::TestParamInfo<BlockCase>& info) {
        return std::to_string(info.param.size) + (info.param.compress ? "Compressed" : "Plain");
    });

TEST_F(AutxFileTest, CompressionIsOnWhenTheSettingIsMissing)
{
    CAutxFile file;
    EXPECT_TRUE(file.IsCompressing());
}

TEST_F(AutxFileTest, ReadsAVersionOneFileAndLeavesItAlone)
{
    Bytes v1 = {'A', 'U', 'T', 'X', 'F', 'I', 'L', 'E',
                0x01, 0x00, 0x00, 0x00,  // version 1
                0x22, 0x00, 0x00, 0x00,  // header value 2
                0x11, 0x00, 0x00, 0x00,  // header value 1
                0x33, 0x00, 0x00, 0x00,  // header value 3
                0x44, 0x00, 0x00, 0x00,  // header value 4
                0x55, 0x00, 0x00, 0x00,  // header value 5
                0x01, 0x00, 0x00, 0x00,  // one entry (no header value 6)
                0x05, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    v1.resize(1024, 0xBB);
    for (char ch : std::string("abcd")) v1.push_back(static_cast<BYTE>(ch));
    writeFile(path, v1);
    {
        CAutxFile file;
        file.m_dwHeaderValue6 = 9;
        ASSERT_TRUE(file.Open(path.c_str()));
        ASSERT_TRUE(file.IsHeaderValid());
        EXPECT_EQ(file.m_dwVersion, 1u);
        EXPECT_EQ(file.m_dwHeaderValue1, 0x11u);
        EXPECT_EQ(file.m_dwHeaderValue2, 0x22u);
        EXPECT_EQ(file.m_dwHeaderValue3, 0x33u);
        EXPECT_EQ(file.m_dwHeaderValue4, 0x44u);
        EXPECT_EQ(file.m_dwHeaderValue5, 0x55u);
        EXPECT_EQ(file.m_dwHeaderValue6, 1u);
        char text[4] = {};
        EXPECT_TRUE(file.ReadEntry(5, text, sizeof text));
        EXPECT_EQ(std::string(text, 4), "abcd");
        EXPECT_TRUE(file.Close());
    }
    EXPECT_TRUE(sameBytes(FileBytes(path), v1));
}

TEST_F(AutxFileTest, TypedArraysRoundTrip)
{
    Bytes big = automationLike(400000);
    CArray<WORD> words;
    for (WORD w : {0x0102, 0xFFFF, 0, 7, 0x8000}) words.Add(w);
    CDWordArray dwords;
    for (DWORD d : {0x01020304u, 0xFFFFFFFFu, 0u}) dwords.Add(d);
    CArray<DWORD> large;
    large.SetSize(static_cast<INT_PTR>(big.size() / 4));
    std::memcpy(large.GetData(), big.data(), big.size());
    CWordArray empty;
    const BYTE seven[] = {1, 2, 3, 4, 5, 6, 7};
    Bytes oddPacked = automationLike(1003, 3);
    {
        CAutxFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        EXPECT_TRUE(file.AddWordArray(1, words));
        EXPECT_TRUE(file.AddDwordArray(2, dwords));
        EXPECT_TRUE(file.AddDwordArray(3, large));
        EXPECT_TRUE(file.AddWordArray(4, empty));
        EXPECT_TRUE(file.AddEntry(5, seven, sizeof seven));
        EXPECT_TRUE(file.AddEntry(6, oddPacked.data(), 1003));
        EXPECT_EQ(file.GetDirectoryEntry(file.FindEntry(2)).size, 12u);
        EXPECT_GT(file.GetDirectoryEntry(file.FindEntry(3)).chunks, 0u);
        ASSERT_TRUE(file.Close());
    }
    CAutxFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    CWordArray w;
    ASSERT_TRUE(file.ReadWordArray(1, w));
    ASSERT_EQ(w.GetSize(), 5);
    for (INT_PTR i = 0; i < 5; ++i) EXPECT_EQ(w[i], words[i]);
    CArray<DWORD> d;
    ASSERT_TRUE(file.ReadDwordArray(2, d));
    ASSERT_EQ(d.GetSize(), 3);
    for (INT_PTR i = 0; i < 3; ++i) EXPECT_EQ(d[i], dwords[i]);
    CDWordArray l;
    ASSERT_TRUE(file.ReadDwordArray(3, l));
    ASSERT_EQ(l.GetSize(), large.GetSize());
    EXPECT_EQ(std::memcmp(l.GetData(), large.GetData(), big.size()), 0);
    w.Add(1);
    EXPECT_TRUE(file.ReadWordArray(4, w));
    EXPECT_EQ(w.GetSize(), 0);

    // Blocks of sizes that are not whole elements read as their whole elements.
    struct Odd { int id; size_t bytes; };
    for (Odd odd : {Odd{5, 7}, Odd{6, 1003}}) {
        SCOPED_TRACE(odd.id);
        const BYTE* source = odd.id == 5 ? seven : oddPacked.data();
        CArray<WORD> ow;
        ASSERT_TRUE(file.ReadWordArray(odd.id, ow));
        ASSERT_EQ(static_cast<size_t>(ow.GetSize()), odd.bytes / 2);
        EXPECT_EQ(std::memcmp(ow.GetData(), source, odd.bytes / 2 * 2), 0);
        CDWordArray od;
        ASSERT_TRUE(file.ReadDwordArray(odd.id, od));
        ASSERT_EQ(static_cast<size_t>(od.GetSize()), odd.bytes / 4);
        EXPECT_EQ(std::memcmp(od.GetData(), source, odd.bytes / 4 * 4), 0);
    }

    // An id that is not stored empties the array.
    CDWordArray missing;
    missing.Add(5);
    EXPECT_FALSE(file.ReadDwordArray(27, missing));
    EXPECT_EQ(missing.GetSize(), 0);
}

TEST_F(AutxFileTest, DirectoryOfTwentyEightIds)
{
    const DWORD first = 1, second = 2;
    {
        CAutxFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        ASSERT_TRUE(file.AddEntry(100, &first, 4));
        ASSERT_TRUE(file.Close());
    }
    CAutxFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    // The same id again, after reopening: one entry, pointing at the second copy.
    ASSERT_TRUE(file.AddEntry(100, &second, 4));
    EXPECT_EQ(file.FindEntry(100), 0);
    EXPECT_EQ(file.GetDirectoryEntry(0).offset, 1028u);
    EXPECT_EQ(file.GetDirectoryEntry(1).id, -1);
    for (int id = 1; id < 28; ++id) ASSERT_TRUE(file.AddEntry(id, &first, 4)) << id;
    EXPECT_EQ(file.FindEntry(29), -1);
    EXPECT_FALSE(file.AddEntry(29, &first, 4));
    EXPECT_FALSE(file.AddEntry(-1, &first, 4));
    ULONGLONG before = std::filesystem::file_size(path);
    EXPECT_TRUE(file.AddEntry(100, &first, 4));  // a stored id still has its slot
    EXPECT_EQ(std::filesystem::file_size(path), before + 4);
    ASSERT_TRUE(file.Close());

    ASSERT_TRUE(file.Open(path.c_str()));
    Bytes bytes = FileBytes(path);
    EXPECT_EQ(le32(bytes, 36), 28u);
    DWORD value = 0;
    EXPECT_TRUE(file.ReadEntry(100, &value, 4));
    EXPECT_EQ(value, first);
    EXPECT_TRUE(file.ReadEntry(27, &value, 4));
    EXPECT_FALSE(file.ReadEntry(29, &value, 4));
    EXPECT_FALSE(file.ReadEntry(-1, &value, 4));
}

TEST_F(AutxFileTest, CapacityOtherThanTheBlock)
{
    Bytes small = automationLike(600);
    Bytes packed = automationLike(300000);
    {
        CAutxFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        ASSERT_TRUE(file.AddEntry(1, small.data(), 600));
        ASSERT_TRUE(file.AddEntry(2, packed.data(), 300000));
        ASSERT_TRUE(file.Close());
    }
    CAutxFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    struct Case { int id; const Bytes* data; uint32_t capacity; bool result; };
    for (Case c : {Case{1, &small, 100, false}, Case{1, &small, 700, true}, Case{2, &packed, 1000, false},
                   Case{2, &packed, 270000, false}, Case{2, &packed, 400000, true}}) {
        SCOPED_TRACE(testing::Message() << "id " << c.id << " capacity " << c.capacity);
        Bytes buffer(c.capacity, 0xA5);
        EXPECT_EQ(file.ReadEntry(c.id, buffer.data(), c.capacity), c.result);
        size_t filled = std::min<size_t>(c.capacity, c.data->size());
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<long>(filled), c.data->begin()));
        // Nothing past the block is read into the buffer.
        for (size_t i = filled; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xA5) << i;
    }
}

TEST_F(AutxFileTest, FilesWithoutAValidHeaderAreNeverModified)
{
    Bytes lower = {'a', 'u', 't', 'x', 'f', 'i', 'l', 'e', 2, 0, 0, 0};
    lower.resize(1100, 0xBB);
    Bytes shortJunk = {'A', 'U', 'T', 'X', 'F', 'I', 'L', 'E', 2, 0};
    Bytes foreign(4096, 0x42);
    for (const Bytes* content : {&lower, &shortJunk, &foreign}) {
        SCOPED_TRACE(content->size());
        writeFile(path, *content);
        {
            CAutxFile file;
            ASSERT_TRUE(file.Open(path.c_str()));
            EXPECT_FALSE(file.IsHeaderValid());
            BYTE buffer[16];
            EXPECT_FALSE(file.ReadEntry(0, buffer, sizeof buffer));
            EXPECT_FALSE(file.AddEntry(1, buffer, sizeof buffer));
            EXPECT_TRUE(file.Close());
        }
        EXPECT_TRUE(sameBytes(FileBytes(path), *content));
    }
    // The lower-case magic is still recognised by the quick test.
    writeFile(path, lower);
    EXPECT_TRUE(IsAutxFile(path.c_str()));

    // A valid file that was only read keeps its bytes too.
    std::filesystem::remove(path);
    {
        CAutxFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        const DWORD value = 5;
        ASSERT_TRUE(file.AddEntry(3, &value, 4));
    }
    Bytes written = FileBytes(path);
    {
        CAutxFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        ASSERT_TRUE(file.IsHeaderValid());
        file.m_dwHeaderValue1 = 77;
    }
    EXPECT_TRUE(sameBytes(FileBytes(path), written));
}

TEST_F(AutxFileTest, IsAutxFileComparesTheMagicIgnoringCase)
{
    struct Case { const char* content; size_t length; bool expected; };
    for (Case c : {Case{"AUTXFILE", 8, true}, Case{"autxfileXYZ", 11, true}, Case{"AutXFilE\0\0", 10, true},
                   Case{"AUTXFIL", 7, false}, Case{"AUTXFILX", 8, false}, Case{"", 0, false}}) {
        SCOPED_TRACE(c.content);
        writeFile(path, Bytes(c.content, c.content + c.length));
        EXPECT_EQ(IsAutxFile(path.c_str()), c.expected);
    }
    EXPECT_FALSE(IsAutxFile(env.Path("missing.autx").c_str()));
    EXPECT_FALSE(IsAutxFile(nullptr));
}

TEST_F(AutxFileTest, AnOpenFileIsLockedAgainstASecondOpener)
{
    CAutxFile first;
    ASSERT_TRUE(first.Open(path.c_str()));
    const DWORD value = 1;
    ASSERT_TRUE(first.AddEntry(1, &value, 4));
    CAutxFile second;
    EXPECT_FALSE(second.Open(path.c_str()));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_FALSE(second.Close());
    EXPECT_FALSE(IsAutxFile(path.c_str()));
    ASSERT_TRUE(first.Close());
    EXPECT_TRUE(IsAutxFile(path.c_str()));
    EXPECT_TRUE(second.Open(path.c_str()));
}

// A file whose next block would start beyond what a 32-bit offset holds takes no more blocks.
// An entry of size 0 that still names a compressed chunk: the chunk does not fit the entry,
// so every read refuses it, whatever buffer (or none) the caller gives.
TEST_F(AutxFileTest, EmptyEntryWithAChunkIsRefused)
{
    writeFile(path, FileBytes(CONSOLE_TESTDATA_DIR "/faults/autx-empty-entry-with-chunk.bin"));
    const Bytes before = FileBytes(path);
    ASSERT_FALSE(before.empty());
    CAutxFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    ASSERT_TRUE(file.IsHeaderValid());
    ASSERT_GE(file.FindEntry(2), 0);
    EXPECT_FALSE(file.ReadEntry(2, nullptr, 0));
    Bytes buffer(64, 0xAA);
    EXPECT_FALSE(file.ReadEntry(2, buffer.data(), static_cast<unsigned>(buffer.size())));
    EXPECT_EQ(buffer, Bytes(64, 0xAA));
    CDWordArray array;
    array.Add(7);
    EXPECT_FALSE(file.ReadDwordArray(2, array));
    EXPECT_EQ(array.GetSize(), 0);
    ASSERT_TRUE(file.Close());
    EXPECT_TRUE(sameBytes(FileBytes(path), before));
}

TEST_F(AutxFileTest, OffsetsPastFourGigabytesAreRefused)
{
    {
        CAutxFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        ASSERT_TRUE(file.Close());
    }
    std::filesystem::resize_file(path, 0xFFFFFFFCull);  // sparse
    CAutxFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    const DWORD value = 0x01020304;
    ASSERT_TRUE(file.AddEntry(1, &value, 4));
    EXPECT_EQ(file.GetDirectoryEntry(0).offset, 0xFFFFFFFCu);
    EXPECT_FALSE(file.AddEntry(2, &value, 4));
    EXPECT_EQ(std::filesystem::file_size(path), 0x100000000ull);
    ASSERT_TRUE(file.Close());
    ASSERT_TRUE(file.Open(path.c_str()));
    DWORD back = 0;
    EXPECT_TRUE(file.ReadEntry(1, &back, 4));
    EXPECT_EQ(back, value);
    EXPECT_EQ(file.FindEntry(2), 1);
    EXPECT_EQ(file.GetDirectoryEntry(1).id, -1);
}

// Damaged files: each case changes a few bytes of a good file holding a three-chunk block (id
// 2, at 1024) and after it a plain block (id 1); reads of a damaged block fail cleanly and
// leave the file as it is.
struct Damage {
    const char* name;
    void (*apply)(Bytes& bytes);
    bool headerValid;
    int failing;  // bit 1: id 1 fails, bit 2: id 2 fails
};

class AutxDamageTest : public AutxFileTest, public ::testing::WithParamInterface<Damage> {};

constexpr size_t kPlainSize = 5000;
constexpr size_t kPackedSize = 600000;
constexpr size_t kPackedEntry = 40;       // directory entry of id 2
constexpr size_t kPlainEntry = 40 + 16;   // directory entry of id 1

// Where chunk n (from 0) of the compressed block starts.
size_t chunkAt(const Bytes& b, int n)
{
    size_t at = le32(b, kPackedEntry + 4);
    for (int i = 0; i < n; ++i) at += 12 + le32(b, at + 8);
    return at;
}

TEST_P(AutxDamageTest, FailsCleanly)
{
    SetCompressedAuto(1);
    Bytes plain = automationLike(kPlainSize, 1);
    Bytes packed = automationLike(kPackedSize, 2);
    {
        CAutxFile file;
        ASSERT_TRUE(file.Open(path.c_str()));
        ASSERT_TRUE(file.AddEntry(2, packed.data(), kPackedSize));
        ASSERT_TRUE(file.AddEntry(1, plain.data(), kPlainSize));
        ASSERT_TRUE(file.Close());
    }
    Bytes bytes = FileBytes(path);
    ASSERT_EQ(le32(bytes, kPackedEntry), 2u);
    ASSERT_EQ(le32(bytes, kPackedEntry + 12), 3u);
    ASSERT_EQ(le32(bytes, kPlainEntry), 1u);
    ASSERT_EQ(le32(bytes, kPlainEntry + 4), chunkAt(bytes, 3));
    GetParam().apply(bytes);
    writeFile(path, bytes);

    CAutxFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_EQ(file.IsHeaderValid(), GetParam().headerValid);
    for (int id = 1; id <= 2; ++id) {
        SCOPED_TRACE(id);
        bool good = GetParam().headerValid && !(GetParam().failing & id);
        const Bytes& expected = id == 1 ? plain : packed;
        Bytes buffer(expected.size());
        EXPECT_EQ(file.ReadEntry(id, buffer.data(), static_cast<unsigned>(buffer.size())), good);
        if (good) {
            EXPECT_TRUE(sameBytes(buffer, expected));
        }
        CDWordArray array;
        array.Add(1);
        EXPECT_EQ(file.ReadDwordArray(id, array), good);
        EXPECT_EQ(static_cast<size_t>(array.GetSize()), good ? expected.size() / 4 : 0u);
    }
    ASSERT_TRUE(file.Close());
    EXPECT_TRUE(sameBytes(FileBytes(path), bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutxDamageTest,
    ::testing::Values(
        Damage{"Undamaged", [](Bytes&) {}, true, 0},
        Damage{"Truncated", [](Bytes& b) { b.erase(b.end() - 10, b.end()); }, true, 1},
        Damage{"TruncatedInChunks", [](Bytes& b) { b.erase(b.begin() + static_cast<long>(chunkAt(b, 1)) + 100, b.end()); }, true, 1 | 2},
        Damage{"Count61", [](Bytes& b) { setLe32(b, 36, 61); }, false, 0},
        Damage{"CountMax", [](Bytes& b) { setLe32(b, 36, 0xFFFFFFFFu); }, false, 0},
        Damage{"ChunkLengthOverBuffer", [](Bytes& b) { setLe32(b, chunkAt(b, 0) + 4, 262145); }, true, 2},
        Damage{"PackedLengthOverBuffer", [](Bytes& b) { setLe32(b, chunkAt(b, 0) + 8, 288371); }, true, 2},
        Damage{"ChunkClaimsLessThanItsData", [](Bytes& b) { setLe32(b, chunkAt(b, 0) + 4, 262143); }, true, 2},
        // The last chunk and the block claim one byte more than the chunk unpacks to.
        Damage{"ChunkShorterThanClaimed",
               [](Bytes& b) {
                   setLe32(b, chunkAt(b, 2) + 4, 75713);
                   setLe32(b, kPackedEntry + 8, kPackedSize + 1);
               },
               true, 2},
        Damage{"BlockLongerThanItsChunks", [](Bytes& b) { setLe32(b, kPackedEntry + 8, kPackedSize + 1); }, true, 2},
        Damage{"CorruptZlib", [](Bytes& b) { b[chunkAt(b, 1) + 12 + 40] ^= 0xFF; }, true, 2},
        Damage{"MoreChunksThanStored", [](Bytes& b) { setLe32(b, kPackedEntry + 12, 4); }, true, 2},
        Damage{"ChunkCountMax", [](Bytes& b) { setLe32(b, kPackedEntry + 12, 0xFFFFFFFFu); }, true, 2},
        Damage{"SizeMaxPlain", [](Bytes& b) { setLe32(b, kPlainEntry + 8, 0xFFFFFFFFu); }, true, 1},
        Damage{"OffsetPastEnd", [](Bytes& b) { setLe32(b, kPlainEntry + 4, 0xFFFFFF00u); }, true, 1}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

}  // namespace
