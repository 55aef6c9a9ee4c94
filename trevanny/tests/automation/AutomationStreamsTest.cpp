#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <zlib.h>

#include "EventArrayFixture.h"
#include "StorageTestSupport.h"
#include "TestEnvironment.h"
#include "trevanny/AutomationStreams.h"

using namespace storagetest;

namespace {

class AutomationStreamsTest : public ::testing::Test {
protected:
    std::string path() const { return m_env.Path("pass.aut"); }
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
    void writeStreams(const std::vector<std::pair<std::string, std::vector<BYTE>>>& streams) const
    {
        IStorage* root = nullptr;
        ASSERT_EQ(StgCreateDocfile(Wide(path()).c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root), S_OK);
        for (const auto& [name, data] : streams) ASSERT_EQ(WriteStream(root, Wide(name).c_str(), data), S_OK);
        root->Release();
    }

    TestEnvironment m_env;
};

int32_t field(const std::vector<BYTE>& v, size_t at)
{
    int32_t x;
    std::memcpy(&x, v.data() + at, 4);
    return x;
}
WORD word(const std::vector<BYTE>& v, size_t at)
{
    WORD x;
    std::memcpy(&x, v.data() + at, 2);
    return x;
}

TEST_F(AutomationStreamsTest, ArraysRoundTripBesideTheVersionStreams)
{
    CDWordArray dwords;
    for (DWORD v : {0u, 1u, 0xDEADBEEFu, 0xFFFFFFFFu}) dwords.Add(v);
    CWordArray words;
    for (WORD v : {7, 0xFFFF, 0x1234}) words.Add(v);
    const std::time_t before = std::time(nullptr);
    ASSERT_TRUE(SaveDWordStream(path().c_str(), "LinkMapData", dwords));
    ASSERT_TRUE(SaveWordStream(path().c_str(), "GangMapData", words));
    EXPECT_EQ(HexText(stream("LinkMapData")), "00 00 00 00 01 00 00 00 EF BE AD DE FF FF FF FF");
    EXPECT_EQ(HexText(stream("GangMapData")), "07 00 FF FF 34 12");

    // "File Version": 1.4, two bytes 0, then the local time field by field; "Time And Date"
    // holds the same time.
    const std::vector<BYTE> version = stream("File Version");
    const std::vector<BYTE> when = stream("Time And Date");
    ASSERT_EQ(version.size(), 40u);
    ASSERT_EQ(when.size(), 16u);
    EXPECT_EQ(HexText(version.data(), 4), "01 04 00 00");
    std::tm t{};
    t.tm_sec = field(version, 4);
    t.tm_min = field(version, 8);
    t.tm_hour = field(version, 12);
    t.tm_mday = field(version, 16);
    t.tm_mon = field(version, 20);
    t.tm_year = field(version, 24);
    t.tm_isdst = field(version, 36);
    EXPECT_EQ(field(version, 28), word(when, 4));  // day of week
    const std::time_t saved = std::mktime(&t);
    EXPECT_LE(std::abs(static_cast<long>(saved - before)), 5);
    EXPECT_EQ(word(when, 0), t.tm_year + 1900);
    EXPECT_EQ(word(when, 2), t.tm_mon + 1);
    EXPECT_EQ(word(when, 6), t.tm_mday);
    EXPECT_EQ(word(when, 8), t.tm_hour);
    EXPECT_EQ(word(when, 10), t.tm_min);
    EXPECT_EQ(word(when, 12), t.tm_sec);
    EXPECT_EQ(field(version, 32), t.tm_yday);

    CDWordArray d;
    CWordArray w;
    ASSERT_TRUE(LoadDWordStream(path().c_str(), "LinkMapData", d));
    ASSERT_TRUE(LoadWordStream(path().c_str(), "GangMapData", w));
    ASSERT_EQ(d.GetSize(), 4);
    EXPECT_EQ(d[2], 0xDEADBEEFu);
    ASSERT_EQ(w.GetSize(), 3);
    EXPECT_EQ(w[2], 0x1234);
}

TEST_F(AutomationStreamsTest, CompressedAndPartialStreams)
{
    std::vector<BYTE> raw(4000);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<BYTE>(i * 7 / 5);
    uLongf packedSize = compressBound(raw.size());
    std::vector<BYTE> packed(4 + packedSize);
    const uint32_t length = static_cast<uint32_t>(raw.size());
    std::memcpy(packed.data(), &length, 4);
    ASSERT_EQ(compress(packed.data() + 4, &packedSize, raw.data(), raw.size()), Z_OK);
    packed.resize(4 + packedSize);

    for (BYTE minor : {1, 2}) {
        std::vector<BYTE> version(40, 0);
        version[0] = 1;
        version[1] = minor;
        writeStreams({{"File Version", version}, {"Data", packed}});
        CDWordArray d;
        ASSERT_TRUE(LoadDWordStream(path().c_str(), "Data", d)) << int{minor};
        ASSERT_EQ(d.GetSize(), 1000);
        EXPECT_EQ(std::memcmp(d.GetData(), raw.data(), raw.size()), 0);
    }

    // Version 1.4 (and 1.3, or any other) is plain; a part element at the end is left out.
    std::vector<BYTE> version(40, 0);
    version[0] = 1;
    version[1] = 4;
    writeStreams({{"File Version", version}, {"Data", {1, 0, 2, 0, 3}}});
    CWordArray w;
    ASSERT_TRUE(LoadWordStream(path().c_str(), "Data", w));
    ASSERT_EQ(w.GetSize(), 2);
    EXPECT_EQ(w[1], 2);

    // Missing streams and files leave the array as it was.
    EXPECT_FALSE(LoadWordStream(path().c_str(), "Other", w));
    EXPECT_FALSE(LoadWordStream(m_env.Path("none.aut").c_str(), "Data", w));
    EXPECT_EQ(w.GetSize(), 2);
}

}  // namespace
