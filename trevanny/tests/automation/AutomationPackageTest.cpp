#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "EventArrayFixture.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/FaderLayout.h"

namespace {

const char kMainKey[] = "Software\\Vok Dwen Cantle\\Main";
const char kTimecodeKey[] = "Software\\VOKDWEN\\Vok Dwen Cantle\\Timecode";

template <class T>
std::vector<T> Elements(const CArray<T, T>& a)
{
    return std::vector<T>(a.GetData(), a.GetData() + a.GetSize());
}

class AutomationPackageTest : public EventArrayFixture {
protected:
    static void setMain(const char* value, int v)
    {
        CLocalMachineRegistryObject registry{CString()};
        ASSERT_TRUE(registry.SetInt(kMainKey, value, v));
        CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    }
    static void setTimecode(const char* value, int v)
    {
        CCurrentUserRegistryObject user;
        ASSERT_TRUE(user.SetInt(kTimecodeKey, value, v));
    }
    static void clearTimecode(const char* value)
    {
        CCurrentUserRegistryObject user;
        user.DeleteValue(kTimecodeKey, value);
    }
    static std::vector<DWORD> layout()
    {
        const CFaderLayout l;
        std::vector<DWORD> v;
        for (int i = 0; i < l.m_nCount; ++i) v.push_back(static_cast<DWORD>(l.GetAt(i)));
        return v;
    }
    /// Every flag array of the package that exists, by group: control large, route large,
    /// control small, route small.
    static std::vector<std::string> flagNames(const CAutomationPackage& p)
    {
        std::vector<std::string> names;
        for (int k = 0; k < kChannelFlagCount; ++k) {
            if (p.m_pCtrlFlags[k]) names.push_back("C:" + std::string(p.m_pCtrlFlags[k]->m_strName) + "/" + std::to_string(p.m_pCtrlFlags[k]->GetRecordSize()));
            if (p.m_pRteFlags[k]) names.push_back("R:" + std::string(p.m_pRteFlags[k]->m_strName) + "/" + std::to_string(p.m_pRteFlags[k]->GetRecordSize()));
            if (p.m_pSmallCtrlFlags[k]) names.push_back("c:" + std::string(p.m_pSmallCtrlFlags[k]->m_strName) + "/" + std::to_string(p.m_pSmallCtrlFlags[k]->GetRecordSize()));
            if (p.m_pSmallRteFlags[k]) names.push_back("r:" + std::string(p.m_pSmallRteFlags[k]->m_strName) + "/" + std::to_string(p.m_pSmallRteFlags[k]->GetRecordSize()));
        }
        return names;
    }
    /// Fills the package with recognisable content of every kind.
    static void fillPass(CAutomationPackage& p, DWORD seed)
    {
        p.CAutomationEventArray::RemoveAll();
        p.Add(Ev(10, 1, 14, 0, static_cast<short>(seed)));
        p.Add(Ev(20, 2, 3, 4, 5));
        for (int k = 0; k < kChannelFlagCount; ++k) {
            if (auto* a = p.m_pCtrlFlags[k]) {
                CtrlFlagRecord r{};
                r.words[35] = seed + static_cast<DWORD>(k);
                a->RemoveAll();
                a->Add(r);
                a->Add(r);
            }
            if (auto* a = p.m_pRteFlags[k]) {
                RteFlagRecord r{};
                r.words[47] = seed * 2 + static_cast<DWORD>(k);
                a->RemoveAll();
                a->Add(r);
            }
            if (auto* a = p.m_pSmallCtrlFlags[k]) {
                a->RemoveAll();
                a->Add(SmallCtrlFlagRecord{{seed, 1, 2, 3, static_cast<DWORD>(k)}});
            }
            if (auto* a = p.m_pSmallRteFlags[k]) {
                a->RemoveAll();
                a->Add(seed + static_cast<DWORD>(k));
            }
        }
        p.m_CtrlParms.RemoveAll();
        p.m_CtrlParms.Add(static_cast<WORD>(seed));
        p.m_RteParms.RemoveAll();
        p.m_RteParms.Add(static_cast<WORD>(seed + 1));
        p.m_PathMap.RemoveAll();
        p.m_PathMap.Add(0);
        p.m_PathMap.Add(static_cast<int>(seed));
        p.m_LinkMap.RemoveAll();
        p.m_LinkMap.Add(static_cast<int>(seed) + 2);
        p.m_GangMap.RemoveAll();
        p.m_GangMap.Add(static_cast<WORD>(seed + 3));
        p.m_FirstAutoRte.RemoveAll();
        p.m_FirstAutoRte.Add(seed + 4);
        p.m_SnapshotVersion.RemoveAll();
        p.m_SnapshotVersion.Add(seed + 5);
        p.m_AutomationSize.RemoveAll();
        p.m_AutomationSize.Add(2);
        p.SetMixPassValues(seed + 6, seed + 7);
    }
};

TEST_F(AutomationPackageTest, ANewPackageDescribesItsConsole)
{
    setMain("NumberOfFaders", 48);
    setMain("NumberOfChannelStrips", 40);
    setMain("CutABPath", 9);
    setMain("MuteABPath", 5);
    setTimecode("CantleTimcodeRate", 2);
    const std::vector<std::string> large = {
        "C:Ends/144", "R:Ends/192", "C:Virgins/144", "R:Virgins/192", "C:Armed/144", "R:Armed/192",
        "C:Mode/144", "R:Mode/192", "C:TouchNotMode/144", "R:TouchNotMode/192", "C:Touch/144", "R:Touch/192",
        "C:Meta/144", "R:Meta/192", "C:LinkControls/144", "R:LinkRoutes/192"};
    const std::vector<std::string> small = {
        "c:Ends/20", "r:Ends/4", "c:Virgins/20", "r:Virgins/4", "c:Armed/20", "r:Armed/4", "c:Mode/20", "r:Mode/4",
        "c:TouchNotMode/20", "r:TouchNotMode/4", "c:Touch/20", "r:Touch/4", "c:Meta/20", "r:Meta/4",
        "c:LinkControls/20", "r:LinkRoutes/4"};
    struct Case {
        int type;
        int mode;
        int paths;
        int snapshot;
        const std::vector<std::string>* flags;
        std::vector<DWORD> abPath;
    } cases[] = {
        {1, 0, 256, 18, &small, {9}},   {1, 1, 500, 28, &small, {9}},  {1, 2, 2000, 35, &small, {9}},
        {6, 1, 500, 28, &small, {5}},   {3, 0, 2000, 35, &large, {}},  // type 3 is always in mode 2
        {5, 1, 500, 28, &large, {}},    {8, 0, 256, 18, nullptr, {}},  {8, 1, 500, 28, nullptr, {}},
        {8, 2, 2000, 35, nullptr, {}},  {2, 7, 256, 18, &large, {}},   // a stored mode outside 0 to 2
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " mode " << c.mode);
        usePathMode(c.type, c.mode);
        CAutomationPackage p;
        EXPECT_EQ(flagNames(p), c.flags ? *c.flags : std::vector<std::string>{});
        for (int k = 0; k < kChannelFlagCount; ++k) {
            if (p.m_pCtrlFlags[k]) {
                EXPECT_EQ(p.m_pCtrlFlags[k]->GetSize(), 0);
            }
            if (p.m_pSmallRteFlags[k]) {
                EXPECT_EQ(p.m_pSmallRteFlags[k]->GetSize(), 0);
            }
        }
        ASSERT_EQ(p.m_GangMap.GetSize(), INT_PTR{c.paths} * c.paths);
        EXPECT_TRUE(std::all_of(p.m_GangMap.GetData(), p.m_GangMap.GetData() + p.m_GangMap.GetSize(),
                                [](WORD w) { return w == 0xFFFF; }));
        EXPECT_EQ(p.GetMaxPaths(), c.paths);
        EXPECT_EQ(p.GetCurrentSnapshotVersion(), c.snapshot);
        EXPECT_EQ(Elements(p.m_ABPath), c.abPath);
        EXPECT_EQ(Elements(p.m_FrameRate), std::vector<DWORD>{25});
        EXPECT_EQ(Elements(p.m_ConsoleType), std::vector<DWORD>{static_cast<DWORD>(c.type)});
        EXPECT_EQ(Elements(p.m_AnalogueInfo), layout());
        EXPECT_EQ(p.m_AnalogueInfo[0], 48u);
        EXPECT_EQ(p.m_AnalogueInfo[1], 40u);
        EXPECT_EQ(p.GetSize(), 0);
        EXPECT_TRUE(p.m_bIdle);
        EXPECT_TRUE(p.m_bIndexedFile);
        EXPECT_TRUE(p.m_bNotifyOnClose);
        EXPECT_FALSE(p.m_bOldSnapshot);
        EXPECT_EQ(p.m_dwMixPass[0], 0xFFFFFFFFu);
        EXPECT_EQ(p.m_dwMixPass[1], 0xFFFFFFFFu);
        EXPECT_EQ(p.m_CtrlParms.m_strName, "ISS");
        EXPECT_EQ(p.m_RteParms.m_strName, "ISS");
        EXPECT_EQ(p.m_PathMap.m_strName, "PathMap");
        EXPECT_EQ(p.m_LinkMap.m_strName, "LinkMap");
        EXPECT_EQ(p.m_GangMap.m_strName, "GangMap");
        EXPECT_EQ(p.m_FirstAutoRte.m_strName, "FirstAutoRte");
        EXPECT_EQ(p.m_SnapshotVersion.m_strName, "SnapshotVersion");
        EXPECT_EQ(p.m_AnalogueInfo.m_strName, "AnalogueInfo");
        EXPECT_TRUE(p.m_SnapshotVersion.IsEmpty());
        EXPECT_TRUE(p.m_AutomationSize.IsEmpty());
    }
}

// The gang map of a new package reads no gang on every path; a write to it stays in it, a copy
// made before the write keeps no gang, one made after it holds it, and a write to a copy stays in
// the copy.
TEST_F(AutomationPackageTest, TheGangMapOfANewPackageTakesWritesAndCopiesKeepTheirOwn)
{
    usePathMode(3, 0);
    CAutomationPackage p;
    const CGangMap& gangs = p.m_GangMap;
    const INT_PTR n = gangs.GetSize();
    ASSERT_EQ(n, 2000 * 2000);
    auto noGang = [](const CGangMap& g) { return std::count(g.GetData(), g.GetData() + g.GetSize(), WORD{0xFFFF}); };
    EXPECT_EQ(noGang(gangs), n);
    CAutomationPackage before(&p);

    p.m_GangMap[1 * 2000 + 2] = 4;
    p.m_GangMap.SetAt(n - 1, 5);
    CAutomationPackage after(&p);
    EXPECT_EQ(noGang(before.m_GangMap), n);
    EXPECT_EQ(noGang(after.m_GangMap), n - 2);
    EXPECT_EQ(after.m_GangMap.GetAt(2002), 4);
    EXPECT_EQ(after.m_GangMap.GetAt(n - 1), 5);
    after.m_GangMap[0] = 6;
    EXPECT_EQ(gangs.GetAt(0), 0xFFFF);
    EXPECT_EQ(noGang(gangs), n - 2);
}

TEST_F(AutomationPackageTest, FrameRateOfEveryRateCode)
{
    struct Case {
        int rate;  // -1: no value
        int ff;    // -1: no value
        int fps;   // -1: no value
        int expected;
    } cases[] = {
        {-1, -1, -1, 24}, {0, -1, -1, 24}, {1, -1, -1, 24}, {2, -1, -1, 25}, {3, -1, -1, 30}, {4, -1, -1, 30},
        {5, -1, -1, 29},  {6, -1, 48, 48}, {6, -1, -1, 24}, {7, -1, -1, 23}, {8, -1, -1, 24}, {2, 0, 30, 25},
        {2, 1, 30, 30},   {-1, 1, -1, 24}, {7, 2, 50, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " " << c.ff << " " << c.fps);
        const std::pair<const char*, int> values[] = {
            {"CantleTimcodeRate", c.rate}, {"CantleTimecodeFF", c.ff}, {"CantleTimecodeCurrentFramesPerSec", c.fps}};
        for (const auto& [name, v] : values) {
            if (v < 0) clearTimecode(name);
            else setTimecode(name, v);
        }
        EXPECT_EQ(CAutomationPackage::GetFrameRate(), c.expected);
    }
}

TEST_F(AutomationPackageTest, ACopyKeepsTheSourcesPassButTakesThisConsolesDescription)
{
    struct Case {
        int sourceType, copyType;
    } cases[] = {{5, 2}, {6, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceType << " to " << c.copyType);
        usePathMode(c.sourceType, 0);
        setMain("NumberOfFaders", 24);
        setMain("MuteABPath", 5);
        setMain("CutABPath", 9);
        setTimecode("CantleTimcodeRate", 2);
        CAutomationPackage source;
        fillPass(source, 1000);
        source.m_bOldSnapshot = TRUE;
        source.m_bNotifyOnClose = FALSE;

        usePathMode(c.copyType, 0);
        setMain("NumberOfFaders", 32);
        setTimecode("CantleTimcodeRate", 7);
        CAutomationPackage copy(&source);
        // The pass is the source's.
        ASSERT_EQ(copy.GetSize(), 2);
        EXPECT_EQ(std::memcmp(copy.GetData(), source.GetData(), 2 * sizeof(CAutomationEvent)), 0);
        EXPECT_EQ(flagNames(copy), flagNames(source));
        for (int k = 0; k < kChannelFlagCount; ++k) {
            if (copy.m_pCtrlFlags[k]) {
                ASSERT_EQ(copy.m_pCtrlFlags[k]->GetSize(), 2);
                EXPECT_EQ((*copy.m_pCtrlFlags[k])[1].words[35], 1000u + k);
                EXPECT_EQ((*copy.m_pRteFlags[k])[0].words[47], 2000u + k);
            } else {
                ASSERT_EQ(copy.m_pSmallCtrlFlags[k]->GetSize(), 1);
                EXPECT_EQ((*copy.m_pSmallCtrlFlags[k])[0].words[4], static_cast<DWORD>(k));
                EXPECT_EQ(Elements(*copy.m_pSmallRteFlags[k]), std::vector<DWORD>{1000u + k});
            }
        }
        EXPECT_EQ(Elements(copy.m_CtrlParms), std::vector<WORD>{1000});
        EXPECT_EQ(Elements(copy.m_RteParms), std::vector<WORD>{1001});
        EXPECT_EQ(Elements(copy.m_PathMap), (std::vector<int>{0, 1000}));
        EXPECT_EQ(Elements(copy.m_LinkMap), std::vector<int>{1002});
        EXPECT_EQ(Elements(copy.m_GangMap), std::vector<WORD>{1003});
        EXPECT_EQ(Elements(copy.m_FirstAutoRte), std::vector<DWORD>{1004});
        EXPECT_EQ(Elements(copy.m_SnapshotVersion), std::vector<DWORD>{1005});
        EXPECT_TRUE(copy.m_bOldSnapshot);
        // Not copied: the mix pass values and the automation size.
        EXPECT_EQ(copy.m_dwMixPass[0], 0xFFFFFFFFu);
        EXPECT_TRUE(copy.m_AutomationSize.IsEmpty());
        // The description is this console's; a new package always notifies when it closes.
        EXPECT_EQ(Elements(copy.m_FrameRate), std::vector<DWORD>{23});
        EXPECT_EQ(Elements(copy.m_ConsoleType), std::vector<DWORD>{static_cast<DWORD>(c.copyType)});
        EXPECT_EQ(copy.m_AnalogueInfo[0], 32u);
        EXPECT_EQ(Elements(copy.m_ABPath), c.copyType == 1 ? std::vector<DWORD>{9} : std::vector<DWORD>{});
        EXPECT_TRUE(copy.m_bNotifyOnClose);

        // Copy on its own takes everything it copies, the description included.
        CAutomationPackage other;
        other.Copy(&source);
        other.Copy(nullptr);
        EXPECT_EQ(Elements(other.m_FrameRate), std::vector<DWORD>{25});
        EXPECT_EQ(Elements(other.m_ConsoleType), std::vector<DWORD>{static_cast<DWORD>(c.sourceType)});
        EXPECT_FALSE(other.m_bNotifyOnClose);
        if (c.copyType == 1) {
            EXPECT_EQ(Elements(other.m_ABPath), std::vector<DWORD>{5});
            EXPECT_EQ(other.m_AnalogueInfo[0], 24u);
        } else {
            EXPECT_EQ(other.m_AnalogueInfo[0], 32u);
        }
    }
}

TEST_F(AutomationPackageTest, RemoveAllEmptiesThePassButKeepsTheAutomationSize)
{
    for (int type : {3, 1}) {
        SCOPED_TRACE(type);
        usePathMode(type, 0);
        CAutomationPackage p;
        fillPass(p, 7);
        p.RemoveAll();
        EXPECT_EQ(p.GetSize(), 0);
        for (int k = 0; k < kChannelFlagCount; ++k) {
            if (p.m_pCtrlFlags[k]) {
                EXPECT_TRUE(p.m_pCtrlFlags[k]->IsEmpty());
                EXPECT_TRUE(p.m_pRteFlags[k]->IsEmpty());
            }
            if (p.m_pSmallCtrlFlags[k]) {
                EXPECT_TRUE(p.m_pSmallCtrlFlags[k]->IsEmpty());
                EXPECT_TRUE(p.m_pSmallRteFlags[k]->IsEmpty());
            }
        }
        const INT_PTR sizes[] = {p.m_CtrlParms.GetSize(),    p.m_RteParms.GetSize(),     p.m_GangMap.GetSize(),
                                 p.m_FirstAutoRte.GetSize(), p.m_SnapshotVersion.GetSize(), p.m_AnalogueInfo.GetSize(),
                                 p.m_ABPath.GetSize(),       p.m_FrameRate.GetSize(),    p.m_ConsoleType.GetSize()};
        for (INT_PTR size : sizes) EXPECT_EQ(size, 0);
        EXPECT_EQ(p.m_PathMap.GetSize(), 0);
        EXPECT_EQ(p.m_LinkMap.GetSize(), 0);
        EXPECT_EQ(p.m_dwMixPass[0], 0xFFFFFFFFu);
        EXPECT_EQ(p.m_dwMixPass[1], 0xFFFFFFFFu);
        EXPECT_EQ(Elements(p.m_AutomationSize), std::vector<DWORD>{2});
    }
}

TEST_F(AutomationPackageTest, PathTimeStampMixPassValuesAndOldValues)
{
    usePathMode(3, 2);
    CAutomationPackage p;
    p.SetPathName("c:\\mixes\\reel1.aut");
    EXPECT_EQ(p.m_strPathName, "c:\\mixes\\reel1.aut");
    p.SetMixPassValues(3, 4);
    EXPECT_EQ(p.m_dwMixPass[0], 3u);
    EXPECT_EQ(p.m_dwMixPass[1], 4u);

    // 100-ns intervals since 1601, UTC: the Unix time plus 11,644,473,600 seconds.
    p.m_TimeStamp = FILETIME{};
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    p.StampTime();
    const uint64_t ticks = (uint64_t{p.m_TimeStamp.dwHighDateTime} << 32) | p.m_TimeStamp.dwLowDateTime;
    const int64_t seconds = static_cast<int64_t>(ticks / 10000000) - 11644473600LL;
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, before + 5);

    // Old values are filled as the event array fills them, from the first automated route and
    // the path map; without a first automated route nothing changes.
    const std::vector<CAutomationEvent> events = {Ev(0, 1, 14, 0, 100, 0, 7), Ev(5, 1, 14, 0, 200, 0, 7),
                                                  Ev(6, 1, 40, 1, 300, 0, 7), Ev(8, 1, 40, 1, 400, 0, 7)};
    fill(p, events);
    p.m_PathMap.Add(0);
    p.m_PathMap.Add(2000);
    p.ApplyOldValues();
    for (INT_PTR i = 0; i < p.GetSize(); ++i) EXPECT_EQ(p[i].GetOldValue(), 7) << i;
    p.m_FirstAutoRte.Add(36);
    p.ApplyOldValues();
    CAutomationEventArray expected;
    fill(expected, events);
    expected.SetOldValues(36, p.m_PathMap);
    ASSERT_EQ(p.GetSize(), expected.GetSize());
    EXPECT_EQ(std::memcmp(p.GetData(), expected.GetData(), sizeof(CAutomationEvent) * 4), 0);
    EXPECT_NE(p[1].GetOldValue(), 7);
}

TEST_F(AutomationPackageTest, DefaultWordsAndParameters)
{
    EXPECT_EQ(std::vector<DWORD>(std::begin(kChannelFlagDefaultWords), std::end(kChannelFlagDefaultWords)),
              (std::vector<DWORD>{0, 0, 0, 0x15555, 0, 0, 0, 0xFFFF}));
    EXPECT_EQ(std::vector<WORD>(std::begin(CAutomationPackage::kDefaultRteParms), std::end(CAutomationPackage::kDefaultRteParms)),
              (std::vector<WORD>{0, 0, 0, 1}));

    int count = -1;
    const WORD* small = CAutomationPackage::GetDefaultCtrlParms(1, count);
    ASSERT_EQ(count, 45);
    EXPECT_EQ(std::vector<WORD>(small, small + 45),
              (std::vector<WORD>{0xE000, 0, 1, 0, 0, 0, 0, 0, 0, 0xE000, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x8000, 0, 0, 0, 0}));
    EXPECT_EQ(CAutomationPackage::GetDefaultCtrlParms(6, count), small);

    // Rows of the large consoles' tables (process, console type, controls 0 to 8).
    struct Row {
        int type;
        int process;
        std::vector<WORD> words;
    } rows[] = {
        {3, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {3, 1, {5329, 0, 0, 0, 0, 3, 0, 0, 0}},
        {5, 1, {5329, 0, 0, 0, 0, 3, 0, 0, 0}},
        {2, 1, {62674, 0, 0, 0, 0, 1, 0, 0, 0}},
        {4, 4, {5329, 0, 0, 0, 0, 3, 0, 0, 0}},
        {7, 4, {62674, 0, 0, 0, 0, 1, 0, 0, 0}},
        {3, 7, {65140, 0, 0, 0, 0, 2, 0, 0, 0}},
        {2, 7, {1233, 0, 0, 0, 0, 2, 0, 0, 0}},
        {3, 10, {5329, 0, 0, 1, 0, 0, 0, 0, 0}},
        {2, 13, {0, 63936, 0, 100, 100, 80, 2400, 0, 0}},
        {3, 14, {57344, 0, 1, 0, 0, 0, 0, 0, 0}},
        {5, 15, {0, 0, 0, 0, 32768, 32768, 1, 0, 0}},
        {3, 19, {0, 63936, 0, 100, 100, 1920, 2400, 0, 0}},
        {4, 20, {65140, 0, 0, 0, 0, 2, 0, 0, 0}},
        {3, 22, {0, 63936, 640, 100, 100, 0, 0, 0, 0}},
        {7, 23, {0, 0, 0, 1, 0, 0, 0, 0, 0}},
        {3, 35, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "type " << r.type << " process " << r.process);
        const WORD* words = CAutomationPackage::GetDefaultCtrlParms(r.type, count);
        ASSERT_EQ(count, 324);
        EXPECT_EQ(std::vector<WORD>(words + r.process * 9, words + r.process * 9 + 9), r.words);
    }
    EXPECT_EQ(CAutomationPackage::GetDefaultCtrlParms(8, count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_NE(g_nMixHasDifferentFrameRate, 0u);
    EXPECT_EQ(g_nMixHasDifferentFrameRate, RegisterWindowMessageA("MixHasDifferentFrameRate"));
}

class AutomationPackageThreads : public EventArrayFixture {};

TEST_F(AutomationPackageThreads, TheDestructorWaitsUntilThePackageIsIdleThenNotifies)
{
    NotificationRecorder status;
    // Busy as a run that clears the flag without the lock, and as one that holds the lock too.
    for (bool holdLock : {false, true}) {
        SCOPED_TRACE(holdLock);
        const size_t postsBefore = status.Posts().size();
        auto* p = new CAutomationPackage;
        CFastSingleLock run(&p->m_Lock, holdLock ? TRUE : FALSE);
        p->m_bIdle = FALSE;
        std::atomic<bool> destroyed{false};
        std::thread closer([&] {
            delete p;
            destroyed = true;
        });
        // Whatever the closer has reached meanwhile, it cannot have finished.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(destroyed.load());
        EXPECT_EQ(status.Posts().size(), postsBefore);
        run.Unlock();
        p->m_bIdle = TRUE;
        closer.join();
        EXPECT_TRUE(destroyed.load());
        ASSERT_EQ(status.Posts().size(), postsBefore + 1);
        EXPECT_EQ(status.Posts().back(), (NotificationRecorder::Post{NotificationRecorder::Message(), 17, 0}));
    }
    EXPECT_EQ(status.Posts().size(), 2u);

    // No notification when the flag is cleared.
    auto* quiet = new CAutomationPackage;
    quiet->m_bNotifyOnClose = FALSE;
    delete quiet;
    EXPECT_EQ(status.Posts().size(), 2u);
}

}  // namespace
