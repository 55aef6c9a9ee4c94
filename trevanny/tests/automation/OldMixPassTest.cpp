// Older mix passes: the extract reader and the conversions, on files whose containers are made
// here but whose old records are written word by word from their documented layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <zlib.h>

#include "EventArrayFixture.h"
#include "StorageTestSupport.h"
#include "trevanny/AutomationExtract.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/AutxFile.h"

using namespace storagetest;

namespace {

using Bytes = std::vector<BYTE>;

void Put(Bytes& b, std::initializer_list<DWORD> words)
{
    for (DWORD w : words)
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<BYTE>(w >> (8 * i)));
}
void PutWords(Bytes& b, std::initializer_list<WORD> words)
{
    for (WORD w : words) {
        b.push_back(static_cast<BYTE>(w));
        b.push_back(static_cast<BYTE>(w >> 8));
    }
}
/// `records` records of `words` 32-bit words, word j of record i holding base + i * 100 + j.
Bytes Records(int records, int words, DWORD base)
{
    Bytes b;
    for (int i = 0; i < records; ++i)
        for (int j = 0; j < words; ++j) Put(b, {base + static_cast<DWORD>(i * 100 + j)});
    return b;
}
Bytes Version(BYTE minor)
{
    Bytes v(40, 0);
    v[0] = 1;
    v[1] = minor;
    return v;
}

class OldMixPassTest : public EventArrayFixture {
protected:
    std::string path() const { return m_env.Path("old.aut"); }
    /// A compound pass file of the given streams ("File Version" 1.4 unless one is given).
    void compound(std::map<std::string, Bytes> streams) const
    {
        if (!streams.count("File Version")) streams["File Version"] = Version(4);
        std::remove(path().c_str());
        IStorage* root = nullptr;
        ASSERT_EQ(StgCreateDocfile(Wide(path()).c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root), S_OK);
        for (const auto& [name, data] : streams) ASSERT_EQ(WriteStream(root, Wide(name).c_str(), data), S_OK);
        root->Release();
    }
    /// An indexed pass file of the given items.
    void indexed(const std::map<int, Bytes>& items) const
    {
        std::remove(path().c_str());
        CAutxFile file;
        ASSERT_TRUE(file.Open(path().c_str()));
        for (const auto& [id, data] : items) ASSERT_TRUE(file.AddEntry(id, data.data(), static_cast<unsigned>(data.size())));
        ASSERT_TRUE(file.Close());
    }
    template <class ARRAY>
    static std::vector<DWORD> record(const ARRAY* a, INT_PTR i)
    {
        const auto& r = (*a)[i];
        return std::vector<DWORD>(std::begin(r.words), std::end(r.words));
    }
};

TEST_F(OldMixPassTest, ItemNamesFollowTheStoredIds)
{
    const std::pair<int, const char*> names[] = {
        {2, "Ends"},   {3, "Ends"},    {4, "Virgins"},      {7, "Armed"},        {9, "Mode"},          {10, "Mode"},
        {11, "Touch"}, {12, "Touch"},  {13, "Meta"},        {14, "Meta"},        {15, "TouchNotMode"}, {16, "TouchNotMode"},
        {17, "ISS"},   {18, "ISS"},    {21, "LinkControls"}, {22, "LinkRoutes"}, {0, "ERROR"},         {8, "ERROR"},
        {20, "ERROR"}, {27, "ERROR"},  {100, "ERROR"},      {102, "ERROR"},      {28, "UNKNOWN"},      {30, "UNKNOWN"},
        {-1, "UNKNOWN"}, {103, "UNKNOWN"}};
    for (const auto& [id, name] : names) EXPECT_EQ(CAutomationExtract::GetItemName(id), name) << id;
}

TEST_F(OldMixPassTest, OldControlRecordsOfBothFileKindsLeaveTheNewWordsAtTheFill)
{
    useConsoleType(3);
    // Three 124-byte records (processes 0 to 30) of "Ends", and a fourth one cut short.
    Bytes ends = Records(3, 31, 0x1000);
    Put(ends, {1, 2, 3});
    for (bool asIndexed : {false, true}) {
        SCOPED_TRACE(asIndexed ? "indexed" : "compound");
        if (asIndexed) indexed({{2, ends}});
        else compound({{"EndsCtlData", ends}});
        CAutomationExtract reader(path().c_str());
        EXPECT_EQ(reader.m_bIndexed, asIndexed ? TRUE : FALSE);
        // A 4-channel buffer: channel 3 and words 31 to 35 keep the fill.
        std::vector<DWORD> buffer(4 * 36, 0);
        ASSERT_TRUE(reader.GetControlFlags(20, buffer.data(), static_cast<int>(buffer.size() * 4), 2, 0xAB));
        EXPECT_EQ(buffer[0], 0x1000u);
        EXPECT_EQ(buffer[30], 0x1000u + 30);
        EXPECT_EQ(buffer[36 + 30], 0x1000u + 100 + 30);
        for (int c = 0; c < 3; ++c)
            for (int w = 31; w < 36; ++w) EXPECT_EQ(buffer[c * 36 + w], 0xABu);
        for (int w = 0; w < 36; ++w) EXPECT_EQ(buffer[3 * 36 + w], 0xABu);

        // An id of the other kind is refused without touching the buffer; a missing item fails
        // with the fill.
        std::vector<DWORD> untouched(36, 7);
        EXPECT_FALSE(reader.GetControlFlags(20, untouched.data(), 144, 3, 0));
        EXPECT_EQ(untouched, std::vector<DWORD>(36, 7));
        EXPECT_FALSE(reader.GetRouteFlags(20, untouched.data(), 144, 2, 0));
        EXPECT_FALSE(reader.GetControlFlags(20, untouched.data(), 144, 4, 9));
        EXPECT_EQ(untouched, std::vector<DWORD>(36, 9));
        EXPECT_FALSE(reader.GetControlFlags(35, untouched.data(), 144, 2, 9));
    }
}

TEST_F(OldMixPassTest, ReadsStopAtTheCallersBufferAndAtTheStoredItem)
{
    useConsoleType(3);
    // 500 stored channels of 144-byte flags and 192-byte routes, into 256-channel buffers
    // sized exactly (an overrun shows under the address sanitizer).
    const Bytes flags = Records(500, 36, 0x10000);
    const Bytes routes = Records(500, 48, 0x20000);
    Bytes parms;
    for (int i = 0; i < 500 * 324; ++i) PutWords(parms, {static_cast<WORD>(i)});
    Bytes routeParms;
    for (int i = 0; i < 500 * 192; ++i) PutWords(routeParms, {static_cast<WORD>(i + 7)});
    for (bool asIndexed : {false, true}) {
        SCOPED_TRACE(asIndexed ? "indexed" : "compound");
        if (asIndexed) indexed({{9, flags}, {10, routes}, {17, parms}, {18, routeParms}});
        else compound({{"ModeCtlData", flags}, {"ModeRteData", routes}, {"ISSCCtrlParms", parms}, {"ISSCRteParms", routeParms}});
        CAutomationExtract reader(path().c_str());
        auto f = std::make_unique<DWORD[]>(256 * 36);
        ASSERT_TRUE(reader.GetControlFlags(28, f.get(), 256 * 144, 9, 0));
        EXPECT_EQ(f[255 * 36 + 35], 0x10000u + 25500 + 35);
        auto r = std::make_unique<DWORD[]>(256 * 48);
        ASSERT_TRUE(reader.GetRouteFlags(28, r.get(), 256 * 192, 10, 0));
        EXPECT_EQ(r[255 * 48 + 47], 0x20000u + 25500 + 47);
        auto p = std::make_unique<WORD[]>(256 * 324);
        ASSERT_TRUE(reader.GetControlParms(28, p.get(), 256 * 648));
        EXPECT_EQ(p[256 * 324 - 1], static_cast<WORD>(256 * 324 - 1));
        auto q = std::make_unique<WORD[]>(256 * 192);
        ASSERT_TRUE(reader.GetRouteParms(28, q.get(), 256 * 384));
        EXPECT_EQ(q[256 * 192 - 1], static_cast<WORD>(256 * 192 - 1 + 7));
        // A buffer that ends inside a channel takes that channel's words up to its end only.
        auto odd = std::make_unique<WORD[]>(400);
        ASSERT_TRUE(reader.GetControlParms(28, odd.get(), 800));
        EXPECT_EQ(odd[399], 399);
    }

    // An item cut short inside its fourth record delivers three; the rest keeps the fill.
    Bytes cut = Records(3, 48, 5);
    Put(cut, {1, 2});
    indexed({{16, cut}});
    CAutomationExtract reader(path().c_str());
    std::vector<DWORD> buffer(10 * 48, 0);
    ASSERT_TRUE(reader.GetRouteFlags(30, buffer.data(), static_cast<int>(buffer.size() * 4), 16, 0xEE));
    EXPECT_EQ(buffer[2 * 48 + 47], 5u + 247);
    EXPECT_EQ(buffer[3 * 48], 0xEEu);
    EXPECT_EQ(buffer[9 * 48 + 47], 0xEEu);
}

TEST_F(OldMixPassTest, ChannelsAnOlderPassLacksTakeTheirDefaults)
{
    useConsoleType(2);
    // Version 20: 31 processes per channel, 500 channels stored, all 1.
    Bytes parms;
    for (int i = 0; i < 500 * 31 * 9; ++i) PutWords(parms, {1});
    Bytes routeParms;
    for (int i = 0; i < 500 * 192; ++i) PutWords(routeParms, {2});
    compound({{"ISSCCtrlParms", parms}, {"ISSCRteParms", routeParms}});
    CAutomationExtract reader(path().c_str());
    std::vector<WORD> p(2000 * 324, 0x5555);
    ASSERT_TRUE(reader.GetControlParms(20, p.data(), static_cast<int>(p.size() * 2)));
    // Channel 0: processes 0 to 30 as stored, 31 to 35 the family's defaults (all 0 there).
    EXPECT_EQ(p[30 * 9 + 8], 1);
    EXPECT_EQ(p[31 * 9], 0);
    EXPECT_EQ(p[499 * 324 + 35 * 9 + 8], 0);
    // Channels 500 on: console type 2's table (process 1: 62674 ... 1; process 14: 57344, 0, 1).
    for (int c : {500, 1999}) {
        SCOPED_TRACE(c);
        const WORD* ch = p.data() + c * 324;
        EXPECT_EQ(std::vector<WORD>(ch + 9, ch + 18), (std::vector<WORD>{62674, 0, 0, 0, 0, 1, 0, 0, 0}));
        EXPECT_EQ(std::vector<WORD>(ch + 14 * 9, ch + 15 * 9), (std::vector<WORD>{57344, 0, 1, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(std::vector<WORD>(ch + 19 * 9, ch + 20 * 9), (std::vector<WORD>{0, 63936, 0, 100, 100, 1920, 2400, 0, 0}));
    }
    std::vector<WORD> r(2000 * 192, 0x5555);
    ASSERT_TRUE(reader.GetRouteParms(20, r.data(), static_cast<int>(r.size() * 2)));
    EXPECT_EQ(r[499 * 192 + 191], 2);
    for (int c : {500, 1999})
        EXPECT_EQ(std::vector<WORD>(r.begin() + c * 192, r.begin() + c * 192 + 8), (std::vector<WORD>{0, 0, 0, 1, 0, 0, 0, 1}));

    // The small consoles: 20-byte flag records, no route flags (TRUE with the fill), their own
    // parameter table past channel 500.
    useConsoleType(1);
    Bytes small;
    for (int i = 0; i < 500 * 45; ++i) PutWords(small, {3});
    compound({{"LinkControlsCtlData", Records(2, 5, 40)}, {"ISSCCtrlParms", small}});
    CAutomationExtract smallReader(path().c_str());
    std::vector<DWORD> flags(3 * 5, 0);
    ASSERT_TRUE(smallReader.GetControlFlags(30, flags.data(), 60, 21, 0xFFFF));
    EXPECT_EQ(flags, (std::vector<DWORD>{40, 41, 42, 43, 44, 140, 141, 142, 143, 144, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}));
    ASSERT_TRUE(smallReader.GetRouteFlags(30, flags.data(), 60, 22, 0xFFFF));
    EXPECT_EQ(flags, std::vector<DWORD>(15, 0xFFFF));
    std::vector<WORD> sp(501 * 45, 0);
    ASSERT_TRUE(smallReader.GetControlParms(30, sp.data(), static_cast<int>(sp.size() * 2)));
    EXPECT_EQ(sp[499 * 45 + 44], 3);
    EXPECT_EQ(std::vector<WORD>(sp.begin() + 500 * 45, sp.begin() + 500 * 45 + 9), (std::vector<WORD>{0xE000, 0, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(sp[500 * 45 + 40], 0x8000);

    // A reader on no file reads nothing and owns nothing.
    CAutomationExtract none("");
    EXPECT_FALSE(none.m_bIndexed);
    EXPECT_FALSE(none.GetControlFlags(30, flags.data(), 60, 21, 0));
    EXPECT_FALSE(none.GetControlParms(30, sp.data(), 90));
    EXPECT_FALSE(none.GetRouteParms(30, sp.data(), 90));
}

TEST_F(OldMixPassTest, LargeControlRecordsOfVersionsFifteenToSeventeenAreRelaidOut)
{
    usePathMode(3, 2);
    // Two paths per flag: 20-word records for version 15 (stored compressed as 1.1 for "Mode"),
    // 27-word records for versions 16 and 17.
    struct Case {
        int version;
        int words;
    } cases[] = {{15, 20}, {16, 27}, {17, 27}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version);
        std::map<std::string, Bytes> streams;
        for (int k = 0; k < kChannelFlagCount; ++k)
            if (k != 2) streams[std::string(kCtrlFlagNames[k]) + "CtlData"] = Records(2, c.words, 0x100u * (k + 1));
        // Stored parameters of two paths, value = path * 1000 + process * 10 + control.
        const int stored = c.words;
        Bytes parms;
        for (int path = 0; path < 2; ++path)
            for (int p = 0; p < stored; ++p)
                for (int k = 0; k < 9; ++k) PutWords(parms, {static_cast<WORD>(path * 1000 + p * 10 + k)});
        streams["ISSCCtrlParms"] = parms;
        compound(streams);

        CAutomationPackage pass;
        pass.SetPathName(path().c_str());
        // "Armed" has no stream: it stays as it was.
        pass.m_pCtrlFlags[2]->SetSize(1);
        pass.m_pCtrlFlags[2]->ElementAt(0).words[0] = 77;
        ASSERT_TRUE(pass.ConvertControlData(c.version));
        EXPECT_EQ(pass.m_pCtrlFlags[2]->GetSize(), 1);
        EXPECT_EQ((*pass.m_pCtrlFlags[2])[0].words[0], 77u);
        for (int k = 0; k < kChannelFlagCount; ++k) {
            if (k == 2) continue;
            SCOPED_TRACE(kCtrlFlagNames[k]);
            const CPackageCtrlFlagArray* a = pass.m_pCtrlFlags[k];
            ASSERT_EQ(a->GetSize(), 2);
            const DWORD base = 0x100u * (k + 1) + 100;  // record 1
            const DWORD d = kChannelFlagDefaultWords[k];
            std::vector<DWORD> expected = {base, base + 1, base + 2, base + 3, base + 4, d, d, d, d};
            for (int j = 5; j < c.words; ++j) expected.push_back(base + static_cast<DWORD>(j));
            while (expected.size() < 36) expected.push_back(c.version == 15 ? d : 0);
            EXPECT_EQ(record(a, 1), expected);
        }
        // 256 paths; process p below 5 as stored, p + 4 from 5 on; 5 to 8 the defaults of type 3.
        ASSERT_EQ(pass.m_CtrlParms.GetSize(), 256 * 324);
        const WORD* path1 = pass.m_CtrlParms.GetData() + 324;
        EXPECT_EQ(std::vector<WORD>(path1 + 4 * 9, path1 + 5 * 9), (std::vector<WORD>{1040, 1041, 1042, 1043, 1044, 1045, 1046, 1047, 1048}));
        EXPECT_EQ(std::vector<WORD>(path1 + 5 * 9, path1 + 6 * 9), (std::vector<WORD>{5329, 0, 0, 0, 0, 3, 0, 0, 0}));
        EXPECT_EQ(std::vector<WORD>(path1 + 8 * 9, path1 + 9 * 9), (std::vector<WORD>{62674, 0, 0, 0, 0, 1, 0, 0, 0}));
        EXPECT_EQ(path1[9 * 9], 1050);
        EXPECT_EQ(path1[(stored + 3) * 9 + 8], static_cast<WORD>(1000 + (stored - 1) * 10 + 8));
        if (stored + 4 < 36) {
            EXPECT_EQ(path1[(stored + 4) * 9], 0);
        }
        // A path the table does not hold: defaults in 5 to 8, 0 elsewhere.
        const WORD* path2 = pass.m_CtrlParms.GetData() + 2 * 324;
        EXPECT_EQ(path2[0], 0);
        EXPECT_EQ(path2[5 * 9], 5329);
        EXPECT_EQ(path2[9 * 9], 0);
    }

    // The compressed form of version 1.1 converts the same way.
    Bytes raw = Records(1, 20, 0x300);
    uLongf packedSize = compressBound(raw.size());
    Bytes packed(4 + packedSize);
    const uint32_t length = static_cast<uint32_t>(raw.size());
    std::memcpy(packed.data(), &length, 4);
    ASSERT_EQ(compress(packed.data() + 4, &packedSize, raw.data(), raw.size()), Z_OK);
    packed.resize(4 + packedSize);
    compound({{"File Version", Version(1)}, {"ModeCtlData", packed}});
    CAutomationPackage pass;
    pass.SetPathName(path().c_str());
    ASSERT_TRUE(pass.ConvertControlData(15));
    ASSERT_EQ(pass.m_pCtrlFlags[3]->GetSize(), 1);
    EXPECT_EQ(record(pass.m_pCtrlFlags[3], 0)[9], 0x305u);
    EXPECT_EQ(record(pass.m_pCtrlFlags[3], 0)[35], 0x15555u);
    EXPECT_TRUE(pass.m_CtrlParms.IsEmpty());  // no parameter stream: left as it was
}

TEST_F(OldMixPassTest, SmallConsolesBelowVersionTwentyTwo)
{
    usePathMode(1, 1);
    Bytes parms;
    for (int path = 0; path < 2; ++path)
        for (int i = 0; i < 36; ++i) PutWords(parms, {static_cast<WORD>(path * 100 + i)});
    for (bool asIndexed : {false, true}) {
        SCOPED_TRACE(asIndexed ? "indexed" : "compound");
        if (asIndexed) indexed({{21, Records(3, 4, 10)}, {17, parms}});
        else compound({{"LinkControlsCtlData", Records(3, 4, 10)}, {"ISSCCtrlParms", parms}});
        CAutomationPackage pass;
        pass.SetPathName(path().c_str());
        ASSERT_TRUE(pass.ConvertControlData(21));
        ASSERT_EQ(pass.m_pSmallCtrlFlags[7]->GetSize(), 3);
        EXPECT_EQ(record(pass.m_pSmallCtrlFlags[7], 2), (std::vector<DWORD>{210, 211, 212, 213, 0xFFFF}));
        ASSERT_EQ(pass.m_CtrlParms.GetSize(), 500 * 45);
        const WORD* p = pass.m_CtrlParms.GetData();
        EXPECT_EQ(std::vector<WORD>(p + 45 + 27, p + 45 + 45),
                  (std::vector<WORD>{127, 128, 129, 130, 131, 132, 133, 134, 135, 0, 0, 0, 0, 0x8000, 0, 0, 0, 0}));
        EXPECT_EQ(p[2 * 45], 0);
        EXPECT_EQ(p[499 * 45 + 40], 0x8000);
        // At the current version nothing is converted.
        EXPECT_FALSE(pass.ConvertControlData(28));
        EXPECT_FALSE(pass.ConvertRouteData(28));
    }
}

TEST_F(OldMixPassTest, TouchAndTouchNotModeEachConvertIntoTheirOwnArray)
{
    usePathMode(3, 2);
    const Bytes touch = Records(2, 36, 0x7000);
    const Bytes notMode = Records(2, 36, 0x9000);
    const Bytes routeTouch = Records(1, 48, 0x7700);
    const Bytes routeNotMode = Records(1, 48, 0x9900);
    for (bool asIndexed : {false, true}) {
        SCOPED_TRACE(asIndexed ? "indexed" : "compound");
        if (asIndexed) indexed({{11, touch}, {15, notMode}, {12, routeTouch}, {16, routeNotMode}});
        else
            compound({{"TouchCtlData", touch}, {"TouchNotModeCtlData", notMode}, {"TouchRteData", routeTouch},
                      {"TouchNotModeRteData", routeNotMode}});
        CAutomationPackage pass;
        pass.SetPathName(path().c_str());
        ASSERT_TRUE(pass.ConvertControlData(28));
        ASSERT_TRUE(pass.ConvertRouteData(28));
        ASSERT_EQ(pass.m_pCtrlFlags[4]->GetSize(), 2000);  // "TouchNotMode"
        EXPECT_EQ(record(pass.m_pCtrlFlags[4], 1)[35], 0x9000u + 135);
        EXPECT_EQ(record(pass.m_pCtrlFlags[5], 1)[35], 0x7000u + 135);  // "Touch"
        EXPECT_EQ(record(pass.m_pCtrlFlags[5], 2)[0], 0u);              // not stored: the default
        EXPECT_EQ(record(pass.m_pCtrlFlags[3], 0)[0], 0x15555u);         // "Mode" not stored at all
        EXPECT_EQ(record(pass.m_pRteFlags[4], 0)[47], 0x9900u + 47);
        EXPECT_EQ(record(pass.m_pRteFlags[5], 0)[47], 0x7700u + 47);
        EXPECT_EQ(record(pass.m_pRteFlags[7], 1999)[0], 0xFFFFu);
    }
}

TEST_F(OldMixPassTest, WideningKeepsGangsAndLinksInTheirPlaces)
{
    usePathMode(3, 2);
    {
        // 500 paths on a 2000-path console.
        CAutomationPackage pass;
        pass.m_GangMap.RemoveAll();
        pass.m_GangMap.InsertAt(0, 0xFFFF, 500 * 500);
        pass.m_GangMap[0 * 500 + 1] = 3;
        pass.m_GangMap[499 * 500 + 499] = 9;
        for (int i = 0; i < 500; ++i) pass.m_LinkMap.Add(499 - i);
        pass.ConvertPathMode(28, 1);
        ASSERT_EQ(pass.m_GangMap.GetSize(), 2000 * 2000);
        EXPECT_EQ(pass.m_GangMap[1], 3);
        EXPECT_EQ(pass.m_GangMap[499 * 2000 + 499], 9);
        EXPECT_EQ(std::count(pass.m_GangMap.GetData(), pass.m_GangMap.GetData() + pass.m_GangMap.GetSize(), WORD{0xFFFF}),
                  2000 * 2000 - 2);
        ASSERT_EQ(pass.m_LinkMap.GetSize(), 2000);
        EXPECT_EQ(pass.m_LinkMap[0], 499);
        EXPECT_EQ(pass.m_LinkMap[500], 500);
        EXPECT_EQ(pass.m_LinkMap[1999], 1999);
    }
    {
        // 256 paths of version 15: flags grow with their default words, parameters with the
        // family's defaults, and the gang matrix from 256 x 256.
        NotificationRecorder status;
        CAutomationPackage pass;
        for (int k = 0; k < kChannelFlagCount; ++k) {
            pass.m_pCtrlFlags[k]->SetSize(256);
            pass.m_pRteFlags[k]->SetSize(256);
        }
        pass.m_CtrlParms.SetSize(256 * 324);
        pass.m_RteParms.SetSize(256 * 192);
        pass.m_GangMap.RemoveAll();
        pass.m_GangMap.InsertAt(0, 0xFFFF, 256 * 256);
        pass.m_GangMap[255 * 256 + 2] = 4;
        pass.ConvertPathMode(15, 0);
        ASSERT_EQ(pass.m_pCtrlFlags[3]->GetSize(), 2000);
        EXPECT_EQ(record(pass.m_pCtrlFlags[3], 255)[0], 0u);
        EXPECT_EQ(record(pass.m_pCtrlFlags[3], 256), std::vector<DWORD>(36, 0x15555));
        EXPECT_EQ(record(pass.m_pRteFlags[7], 1999), std::vector<DWORD>(48, 0xFFFF));
        ASSERT_EQ(pass.m_CtrlParms.GetSize(), 2000 * 324);
        EXPECT_EQ(pass.m_CtrlParms[255 * 324 + 9], 0);
        EXPECT_EQ(pass.m_CtrlParms[256 * 324 + 9], 5329);
        ASSERT_EQ(pass.m_RteParms.GetSize(), 2000 * 192);
        EXPECT_EQ(pass.m_RteParms[256 * 192 + 3], 1);
        EXPECT_EQ(pass.m_GangMap[255 * 2000 + 2], 4);
        EXPECT_EQ(pass.m_LinkMap.GetSize(), 2000);
        std::vector<LPARAM> widening;
        for (const auto& post : status.Posts())
            if (post.code == 26) widening.push_back(post.arg);
        EXPECT_EQ(widening, (std::vector<LPARAM>{0, 12, 25, 37, 50, 62, 75, 87}));
    }
}

}  // namespace
