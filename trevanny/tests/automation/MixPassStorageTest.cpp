// Mix pass files of both forms: what the outside readers see in a saved compound pass, round
// trips on a small and a large console, the indexed magic, the "Mix Pass" values, older passes,
// and saves that fail part way (by a fault at each step, and by a real file-size limit).
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "EventArrayFixture.h"
#include "FileContents.h"
#include "StorageTestSupport.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/AutxFile.h"
#include "winport/Clock.h"

using namespace storagetest;

namespace {

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

template <class A>
std::vector<BYTE> Raw(const A& a)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(a.GetData());
    return std::vector<BYTE>(p, p + a.GetSize() * sizeof(a[0]));
}

class MixPassStorageTest : public EventArrayFixture {
protected:
    void SetUp() override
    {
        EventArrayFixture::SetUp();
        // Compressed items pause before each chunk: in virtual time here.
        winport::SetClock(&m_clock);
        std::filesystem::create_directories(folder());
    }
    void TearDown() override
    {
        CAutomationPackage::SetStorageStepHookForTesting({});
        winport::SetClock(nullptr);
        EventArrayFixture::TearDown();
    }
    std::string folder() const { return m_env.Path("passes"); }
    std::string path() const { return folder() + "/pass.aut"; }

    /// A pass whose every member holds something of its own (`seed` tells two apart); its
    /// snapshot version is the current one, so that loading converts nothing.
    static void fillPass(CAutomationPackage& p, int seed)
    {
        CAutomationPackage fresh;
        fresh.m_bNotifyOnClose = FALSE;
        p.Copy(&fresh);
        for (int i = 0; i < 5; ++i)
            p.Add(Ev(100 * i + seed, static_cast<DWORD>(3 + i), static_cast<BYTE>(i), static_cast<BYTE>(8 - i),
                     static_cast<short>(-50 * i + seed), static_cast<BYTE>(0x81 + i), static_cast<WORD>(7 * i + seed)));
        auto fillFlags = [seed](auto* a, int k) {
            if (!a) return;
            a->SetSize(3);
            BYTE* b = reinterpret_cast<BYTE*>(a->GetData());
            for (size_t i = 0; i < 3 * sizeof((*a)[0]); ++i) b[i] = static_cast<BYTE>(seed + 17 * k + i);
        };
        for (int k = 0; k < kChannelFlagCount; ++k) {
            fillFlags(p.m_pCtrlFlags[k], k);
            fillFlags(p.m_pRteFlags[k], k + 8);
            fillFlags(p.m_pSmallCtrlFlags[k], k + 16);
            fillFlags(p.m_pSmallRteFlags[k], k + 24);
        }
        for (int i = 0; i < 7; ++i) p.m_CtrlParms.Add(static_cast<WORD>(seed + 1000 + i));
        for (int i = 0; i < 5; ++i) p.m_RteParms.Add(static_cast<WORD>(seed + 2000 + i));
        for (int v : {0, 3, 3, 5}) p.m_PathMap.Add(v + seed);
        for (int v : {2, 1, 0}) p.m_LinkMap.Add(v + seed);
        p.m_GangMap.RemoveAll();
        p.m_GangMap.InsertAt(0, 0xFFFF, static_cast<INT_PTR>(p.GetMaxPaths()) * p.GetMaxPaths());
        p.m_GangMap[1] = static_cast<WORD>(seed);
        p.m_SnapshotVersion.Add(static_cast<DWORD>(p.GetCurrentSnapshotVersion()));
        p.m_FirstAutoRte.Add(static_cast<DWORD>(seed + 40));
        p.m_AnalogueInfo.SetAt(0, static_cast<DWORD>(seed + 50));
        if (p.m_ABPath.GetSize()) p.m_ABPath[0] = static_cast<DWORD>(seed + 7);
        p.m_FrameRate.RemoveAll();
        p.m_FrameRate.Add(25);
        p.SetMixPassValues(static_cast<DWORD>(seed + 11), static_cast<DWORD>(seed + 12));
    }

    /// Every member that both forms store, compared byte for byte.
    static void expectSameStoredMembers(const CAutomationPackage& a, const CAutomationPackage& b)
    {
        EXPECT_EQ(Rows(a), Rows(b));
        EXPECT_EQ(field(a, &CAutomationEvent::GetFlags), field(b, &CAutomationEvent::GetFlags));
        auto same = [](const auto* x, const auto* y) { return !x || (y && Raw(*x) == Raw(*y)); };
        for (int k = 0; k < kChannelFlagCount; ++k) {
            SCOPED_TRACE(k);
            EXPECT_TRUE(same(a.m_pCtrlFlags[k], b.m_pCtrlFlags[k]));
            EXPECT_TRUE(same(a.m_pRteFlags[k], b.m_pRteFlags[k]));
            EXPECT_TRUE(same(a.m_pSmallCtrlFlags[k], b.m_pSmallCtrlFlags[k]));
            EXPECT_TRUE(same(a.m_pSmallRteFlags[k], b.m_pSmallRteFlags[k]));
        }
        EXPECT_EQ(Raw(a.m_CtrlParms), Raw(b.m_CtrlParms));
        EXPECT_EQ(Raw(a.m_RteParms), Raw(b.m_RteParms));
        EXPECT_EQ(Raw(a.m_PathMap), Raw(b.m_PathMap));
        EXPECT_EQ(Raw(a.m_LinkMap), Raw(b.m_LinkMap));
        EXPECT_EQ(Raw(a.m_GangMap), Raw(b.m_GangMap));
        EXPECT_EQ(Raw(a.m_SnapshotVersion), Raw(b.m_SnapshotVersion));
        EXPECT_EQ(Raw(a.m_FirstAutoRte), Raw(b.m_FirstAutoRte));
        EXPECT_EQ(Raw(a.m_ABPath), Raw(b.m_ABPath));
        EXPECT_EQ(a.m_dwMixPass[0], b.m_dwMixPass[0]);
        EXPECT_EQ(a.m_dwMixPass[1], b.m_dwMixPass[1]);
    }

    static void saveOrFail(CAutomationPackage& p, const std::string& to, BOOL indexed)
    {
        p.SetPathName(to.c_str());
        ASSERT_TRUE(p.Save(indexed));
        ASSERT_EQ(p.m_nError, 0);
    }

    static void writeFile(const std::string& to, const std::vector<BYTE>& bytes)
    {
        std::ofstream(to, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    /// The package holds exactly what fillPass(seed) gave it (a load that failed left it so).
    static void expectFilledWith(const CAutomationPackage& p, int seed)
    {
        CAutomationPackage expected;
        expected.m_bNotifyOnClose = FALSE;
        fillPass(expected, seed);
        expectSameStoredMembers(expected, p);
        EXPECT_EQ(Raw(expected.m_AnalogueInfo), Raw(p.m_AnalogueInfo));
        EXPECT_EQ(Raw(expected.m_FrameRate), Raw(p.m_FrameRate));
        EXPECT_EQ(Raw(expected.m_ConsoleType), Raw(p.m_ConsoleType));
        EXPECT_EQ(expected.m_bOldSnapshot, p.m_bOldSnapshot);
    }

    winport::ManualClock m_clock;
};

std::map<std::string, long> OleSizes(const std::string& file)
{
    std::map<std::string, long> sizes;
    std::istringstream lines(OleListing(file));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream cols(line);
        std::string name, type;
        long size = -1;
        std::getline(cols, name, '\t');
        std::getline(cols, type, '\t');
        cols >> size;
        sizes[name] = size;
    }
    return sizes;
}

// The streams of a compound pass as olefile lists them, and the bytes of "Mix Pass" as gsf reads
// them. The flag streams of both families share their names; their records tell them apart.
TEST_F(MixPassStorageTest, CompoundPassStreamsAsOutsideReadersSeeThem)
{
    struct Case {
        int type;
        long ctlRecord, rteRecord, gangBytes, abBytes;
    };
    for (const Case& c : {Case{3, 144, 192, 2000L * 2000 * 2, 0}, Case{1, 20, 4, 256L * 256 * 2, 4}}) {
        SCOPED_TRACE(c.type);
        useConsoleType(c.type);
        CAutomationPackage pass;
        fillPass(pass, 1);
        saveOrFail(pass, path(), FALSE);

        std::map<std::string, long> expected = {
            {"AutomationData", 5 * 20}, {"Path Mode", 4}, {"File Version", 40}, {"Time And Date", 16},
            {"AutomationSize", 4}, {"ISSCCtrlParms", 14}, {"ISSCRteParms", 10}, {"PathMapPathMap", 16},
            {"SnapshotVersionVectorData", 4}, {"FirstAutoRteVectorData", 4}, {"LinkMapLinkMap", 12},
            {"GangMapGangMap", c.gangBytes}, {"CutAB", c.abBytes}, {"FrameRate", 4},
            {"AnalogueInfoVectorData", 25 * 4}, {"ConsoleType", 4}, {"Mix Pass", 8}};
        for (const char* name : {"Ends", "Virgins", "Armed", "Mode", "TouchNotMode", "Touch", "Meta"}) {
            expected[std::string(name) + "CtlData"] = 3 * c.ctlRecord;
            expected[std::string(name) + "RteData"] = 3 * c.rteRecord;
        }
        expected["LinkControlsCtlData"] = 3 * c.ctlRecord;
        expected["LinkRoutesRteData"] = 3 * c.rteRecord;
        EXPECT_EQ(OleSizes(path()), expected);
        EXPECT_EQ(HexText(GsfCat(path(), "Mix Pass")), "0C 00 00 00 0D 00 00 00");
        EXPECT_EQ(HexText(GsfCat(path(), "ConsoleType")), c.type == 1 ? "01 00 00 00" : "03 00 00 00");
        EXPECT_EQ(pass.m_AutomationSize.GetSize(), 1);
        EXPECT_EQ(pass.m_AutomationSize[0], 5u);
    }
}

// Both forms on a small and a large console: every member back as it was saved. The compound
// form keeps the pass's frame rate and console type; the indexed header holds the console's.
TEST_F(MixPassStorageTest, BothFormsRoundTripOnSmallAndLargeConsoles)
{
    for (int type : {1, 3}) {
        for (BOOL indexed : {FALSE, TRUE}) {
            SCOPED_TRACE(std::to_string(type) + (indexed ? " indexed" : " compound"));
            useConsoleType(type);
            std::filesystem::remove(path());
            CAutomationPackage saved;
            fillPass(saved, 3);
            // Another type of the same family, kept as stored by the compound form.
            const DWORD storedType = type == 1 ? 6 : 7;
            saved.m_ConsoleType.SetAt(0, storedType);
            saveOrFail(saved, path(), indexed);
            EXPECT_EQ(CAutomationPackage::IsIndexedFile(path().c_str()), indexed);

            CAutomationPackage loaded;
            loaded.SetPathName(path().c_str());
            loaded.Load();
            EXPECT_TRUE(loaded.HasLoadedEvents());
            EXPECT_EQ(loaded.m_bIndexedFile, indexed);
            EXPECT_FALSE(loaded.m_bOldSnapshot);
            expectSameStoredMembers(saved, loaded);
            if (type == 1) {
                EXPECT_EQ(Raw(saved.m_AnalogueInfo), Raw(loaded.m_AnalogueInfo));
            }
            ASSERT_EQ(loaded.m_FrameRate.GetSize(), 1);
            EXPECT_EQ(loaded.m_FrameRate[0], indexed ? 24u : 25u);
            ASSERT_EQ(loaded.m_ConsoleType.GetSize(), 1);
            EXPECT_EQ(loaded.m_ConsoleType[0], indexed ? static_cast<DWORD>(type) : storedType);
        }
    }
}

// A new pass saves in both forms the very bytes of one whose gang map was written element by
// element, and its gang map loads back reading no gang everywhere.
TEST_F(MixPassStorageTest, ANewPassSavesItsGangMapAsOneWrittenWhole)
{
    for (int type : {3, 1}) {
        for (BOOL indexed : {FALSE, TRUE}) {
            SCOPED_TRACE(std::to_string(type) + (indexed ? " indexed" : " compound"));
            useConsoleType(type);
            CAutomationPackage fresh;
            CAutomationPackage written;
            written.m_TimeStamp = fresh.m_TimeStamp;
            const INT_PTR n = fresh.m_GangMap.GetSize();
            written.m_GangMap.RemoveAll();
            written.m_GangMap.InsertAt(0, 0xFFFF, n);
            const std::string freshPath = folder() + "/fresh.aut", writtenPath = folder() + "/written.aut";
            // A save stamps the second it is made in its version stream: a pair saved across a
            // second's boundary is saved again.
            bool same = false;
            for (int attempt = 0; attempt < 5 && !same; ++attempt) {
                std::filesystem::remove(freshPath);
                std::filesystem::remove(writtenPath);
                saveOrFail(fresh, freshPath, indexed);
                saveOrFail(written, writtenPath, indexed);
                same = FileBytes(freshPath) == FileBytes(writtenPath);
            }
            EXPECT_TRUE(same);

            CAutomationPackage loaded;
            loaded.SetPathName(freshPath.c_str());
            ASSERT_TRUE(loaded.Load());
            EXPECT_EQ(Raw(loaded.m_GangMap), Raw(written.m_GangMap));
        }
    }
}

// The indexed header holds the pass's own A/B path: a console of type 1 keeps "CutABPath" there,
// and its save and load must not turn it into "MuteABPath".
TEST_F(MixPassStorageTest, IndexedHeaderKeepsThePassesOwnABPath)
{
    useConsoleType(1);
    CLocalMachineRegistryObject registry{CString()};
    ASSERT_TRUE(registry.SetInt("Software\\Vok Dwen Cantle\\Main", "CutABPath", 6));
    ASSERT_TRUE(registry.SetInt("Software\\Vok Dwen Cantle\\Main", "MuteABPath", 9));
    CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    CAutomationPackage pass;
    ASSERT_EQ(pass.m_ABPath.GetSize(), 1);
    EXPECT_EQ(pass.m_ABPath[0], 6u);
    saveOrFail(pass, path(), TRUE);
    CAutxFile file;
    ASSERT_TRUE(file.OpenForReading(path().c_str()));
    EXPECT_EQ(file.m_dwHeaderValue1, 6u);
    file.Close();
    CAutomationPackage loaded;
    loaded.m_ABPath[0] = 0;
    loaded.SetPathName(path().c_str());
    loaded.Load();
    EXPECT_EQ(loaded.m_ABPath[0], 6u);
}

// Any case of the magic makes the file an indexed one. The indexed reader itself takes only the
// exact magic: a file whose magic is in lower case has no header it can read, and its load fails
// with the package as it was.
TEST_F(MixPassStorageTest, MagicInAnyCaseLoadsAsIndexed)
{
    useConsoleType(3);
    CAutomationPackage pass;
    fillPass(pass, 2);
    saveOrFail(pass, path(), TRUE);
    std::vector<BYTE> bytes = FileBytes(path());
    std::memcpy(bytes.data(), "autxFILE", 8);
    writeFile(path(), bytes);

    CAutomationPackage loaded;
    fillPass(loaded, 5);
    loaded.m_bIndexedFile = FALSE;
    loaded.SetPathName(path().c_str());
    EXPECT_FALSE(loaded.Load());
    EXPECT_TRUE(loaded.m_bIndexedFile);
    EXPECT_FALSE(loaded.HasLoadedEvents());
    expectFilledWith(loaded, 5);
}

// A compound pass whose streams are there but cannot be read whole (a broken chain, a size
// beyond the file) fails to load, and the package keeps what it held; a stream that is not
// there at all leaves its member as it was and the rest loads.
TEST_F(MixPassStorageTest, DamagedCompoundPassFailsAndAbsentStreamsLoadAsMissing)
{
    useConsoleType(1);
    CAutomationPackage pass;
    fillPass(pass, 1);
    // 300 records of "Ends" (6,000 bytes) lie in the file's own sectors, not the small-stream area.
    pass.m_pSmallCtrlFlags[0]->SetSize(300);
    saveOrFail(pass, path(), FALSE);
    const std::vector<BYTE> whole = FileBytes(path());

    struct Damage {
        const char* what;
        std::function<void(CfbBytes&)> apply;
    };
    const Damage damages[] = {
        {"Ends chain loops", [](CfbBytes& f) { f.SetFat(f.StartOf("EndsCtlData"), f.StartOf("EndsCtlData")); }},
        {"Ends chain runs past the file", [](CfbBytes& f) { f.SetFat(f.StartOf("EndsCtlData"), 0x00FFFFF0u); }},
        {"Ends chain ends early", [](CfbBytes& f) { f.SetFat(f.StartOf("EndsCtlData"), 0xFFFFFFFEu); }},
        {"Mix Pass size beyond the file", [](CfbBytes& f) { f.Put32(f.EntryAt("Mix Pass") + 120, 0x7FFFFF00u); }},
        {"AutomationData size beyond the file", [](CfbBytes& f) { f.Put32(f.EntryAt("AutomationData") + 120, 0x00100000u); }},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        std::vector<BYTE> bytes = whole;
        CfbBytes file{bytes};
        damage.apply(file);
        writeFile(path(), bytes);
        CAutomationPackage loaded;
        fillPass(loaded, 5);
        loaded.m_nError = 0;
        loaded.SetPathName(path().c_str());
        EXPECT_FALSE(loaded.Load());
        EXPECT_EQ(loaded.m_nError, 5);
        EXPECT_FALSE(loaded.HasLoadedEvents());
        expectFilledWith(loaded, 5);
    }

    // Streams that are not there: the members stay, everything else is the file's.
    writeFile(path(), whole);
    IStorage* root = nullptr;
    ASSERT_EQ(StgOpenStorage(Wide(path()).c_str(), nullptr, STGM_SHARE_EXCLUSIVE | STGM_READWRITE, nullptr, 0, &root), S_OK);
    ASSERT_EQ(root->DestroyElement(L"EndsCtlData"), S_OK);
    ASSERT_EQ(root->DestroyElement(L"PathMapPathMap"), S_OK);
    root->Release();
    CAutomationPackage loaded;
    fillPass(loaded, 5);
    const std::vector<BYTE> ends = Raw(*loaded.m_pSmallCtrlFlags[0]), pathMap = Raw(loaded.m_PathMap);
    loaded.SetPathName(path().c_str());
    EXPECT_TRUE(loaded.Load());
    EXPECT_TRUE(loaded.HasLoadedEvents());
    EXPECT_EQ(Raw(*loaded.m_pSmallCtrlFlags[0]), ends);
    EXPECT_EQ(Raw(loaded.m_PathMap), pathMap);
    EXPECT_EQ(Rows(loaded), Rows(pass));
    EXPECT_EQ(Raw(*loaded.m_pSmallCtrlFlags[1]), Raw(*pass.m_pSmallCtrlFlags[1]));
    EXPECT_EQ(Raw(loaded.m_GangMap), Raw(pass.m_GangMap));
}

// An indexed pass cut short, whose directory names an item that cannot be read, or that is only
// the magic, fails to load with the package as it was; an item the directory does not name
// leaves its member empty and the rest loads.
TEST_F(MixPassStorageTest, DamagedIndexedPassFailsAndUnnamedItemsLoadEmpty)
{
    useConsoleType(1);
    CAutomationPackage pass;
    fillPass(pass, 1);
    for (int i = 0; i < 3000; ++i) pass.Add(Ev(1000 + i, 1, 1, 1, static_cast<short>(i)));
    saveOrFail(pass, path(), TRUE);
    const std::vector<BYTE> whole = FileBytes(path());
    ASSERT_GT(whole.size(), 2000u);
    CAutxFile directory;
    ASSERT_TRUE(directory.OpenForReading(path().c_str()));
    int events = -1, pathMap = -1, entries = 0;
    for (int slot = 0; slot < CAutxFile::kMaxEntries; ++slot) {
        const int id = directory.GetDirectoryEntry(slot).id;
        if (id >= 0) ++entries;
        if (id == 1) events = slot;
        if (id == 19) pathMap = slot;
    }
    directory.Close();
    ASSERT_GE(events, 0);
    ASSERT_GE(pathMap, 0);
    ASSERT_GT(entries, 17);

    struct Damage {
        std::string what;
        std::vector<BYTE> bytes;
    };
    auto edited = [&](size_t at, uint32_t value) {
        std::vector<BYTE> b = whole;
        std::memcpy(b.data() + at, &value, 4);
        return b;
    };
    std::vector<Damage> damages = {
        {"cut by 966 bytes", std::vector<BYTE>(whole.begin(), whole.end() - 966)},
        {"cut by one byte", std::vector<BYTE>(whole.begin(), whole.end() - 1)},
        {"cut after the header", std::vector<BYTE>(whole.begin(), whole.begin() + 1024)},
        {"cut in the header", std::vector<BYTE>(whole.begin(), whole.begin() + 1000)},
        {"only the magic", std::vector<BYTE>(whole.begin(), whole.begin() + 8)},
        {"entry 17 of FFFFFFFE chunks", edited(40 + 16 * 17 + 12, 0xFFFFFFFEu)},
        {"events of a size beyond the file", edited(40 + 16 * static_cast<size_t>(events) + 8, 0x7FFFFFF0u)},
        {"events past the end", edited(40 + 16 * static_cast<size_t>(events) + 4, static_cast<uint32_t>(whole.size()))},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        writeFile(path(), damage.bytes);
        CAutomationPackage loaded;
        fillPass(loaded, 5);
        loaded.SetPathName(path().c_str());
        EXPECT_FALSE(loaded.Load());
        EXPECT_TRUE(loaded.m_bIndexedFile);
        EXPECT_FALSE(loaded.HasLoadedEvents());
        expectFilledWith(loaded, 5);
        EXPECT_FALSE(loaded.LoadIndexed());
        expectFilledWith(loaded, 5);
    }

    // The path map's item renamed to an id no one reads: the path map is empty, the rest loads.
    writeFile(path(), edited(40 + 16 * static_cast<size_t>(pathMap), 99));
    CAutomationPackage loaded;
    fillPass(loaded, 5);
    loaded.SetPathName(path().c_str());
    EXPECT_TRUE(loaded.Load());
    EXPECT_TRUE(loaded.HasLoadedEvents());
    EXPECT_EQ(loaded.m_PathMap.GetSize(), 0);
    EXPECT_EQ(Rows(loaded), Rows(pass));
    EXPECT_EQ(Raw(*loaded.m_pSmallCtrlFlags[2]), Raw(*pass.m_pSmallCtrlFlags[2]));
}

// "Mix Pass" is taken only when it holds exactly two values.
TEST_F(MixPassStorageTest, MixPassStreamOfOtherThanTwoValuesLeavesTheValues)
{
    useConsoleType(3);
    CAutomationPackage pass;
    fillPass(pass, 1);
    saveOrFail(pass, path(), FALSE);
    for (size_t values : {0u, 1u, 3u}) {
        SCOPED_TRACE(values);
        IStorage* root = nullptr;
        ASSERT_EQ(StgOpenStorage(Wide(path()).c_str(), nullptr, STGM_SHARE_EXCLUSIVE | STGM_READWRITE, nullptr, 0, &root), S_OK);
        ASSERT_EQ(WriteStream(root, L"Mix Pass", std::vector<uint8_t>(values * 4, 0x22)), S_OK);
        root->Release();
        CAutomationPackage loaded;
        loaded.SetMixPassValues(7, 8);
        loaded.SetPathName(path().c_str());
        loaded.Load();
        EXPECT_TRUE(loaded.HasLoadedEvents());
        EXPECT_EQ(loaded.m_dwMixPass[0], 7u);
        EXPECT_EQ(loaded.m_dwMixPass[1], 8u);
    }
}

// A pass of an older snapshot version is converted as it loads: version 15's 20-word control
// records get the flag's default in words 5 to 8.
TEST_F(MixPassStorageTest, OlderPassConvertsOnLoad)
{
    usePathMode(2, 0);
    CAutomationPackage pass;
    fillPass(pass, 1);
    pass.m_SnapshotVersion.SetAt(0, 15);
    saveOrFail(pass, path(), FALSE);
    IStorage* root = nullptr;
    ASSERT_EQ(StgOpenStorage(Wide(path()).c_str(), nullptr, STGM_SHARE_EXCLUSIVE | STGM_READWRITE, nullptr, 0, &root), S_OK);
    std::vector<uint8_t> oldRecord(80, 0);
    oldRecord[5 * 4] = 0x77;  // old word 5 becomes word 9
    ASSERT_EQ(WriteStream(root, L"ModeCtlData", oldRecord), S_OK);
    root->Release();

    CAutomationPackage loaded;
    loaded.SetPathName(path().c_str());
    loaded.Load();
    EXPECT_TRUE(loaded.m_bOldSnapshot);
    ASSERT_EQ(loaded.m_pCtrlFlags[3]->GetSize(), 1);
    const DWORD* words = (*loaded.m_pCtrlFlags[3])[0].words;
    EXPECT_EQ(words[5], 0x15555u);
    EXPECT_EQ(words[8], 0x15555u);
    EXPECT_EQ(words[9], 0x77u);
    EXPECT_EQ(Rows(loaded), Rows(pass));
}

// A pass made on a large console, loaded on a small one: the small console's flags and
// parameters are not filled from the other family's records; everything else loads.
TEST_F(MixPassStorageTest, OtherFamilysFlagsAreNotRead)
{
    useConsoleType(3);
    CAutomationPackage large;
    fillPass(large, 1);
    saveOrFail(large, path(), FALSE);
    usePathMode(1, 2);
    CAutomationPackage small;
    small.SetPathName(path().c_str());
    small.Load();
    EXPECT_TRUE(small.HasLoadedEvents());
    EXPECT_EQ(Rows(small), Rows(large));
    for (int k = 0; k < kChannelFlagCount; ++k) {
        EXPECT_EQ(small.m_pSmallCtrlFlags[k]->GetSize(), 0);
        EXPECT_EQ(small.m_pSmallRteFlags[k]->GetSize(), 0);
    }
    EXPECT_EQ(small.m_CtrlParms.GetSize(), 0);
    EXPECT_EQ(Raw(small.m_PathMap), Raw(large.m_PathMap));
}

// A save that fails at any of its steps returns FALSE with error 5 and leaves the previous file
// exactly as it was (no new file where there was none, no temporary left behind); the next
// save succeeds.
TEST_F(MixPassStorageTest, SaveFailingAtAnyStepKeepsThePreviousFile)
{
    useConsoleType(1);
    for (BOOL indexed : {FALSE, TRUE}) {
        CAutomationPackage pass;
        fillPass(pass, 1);
        saveOrFail(pass, path(), indexed);
        const std::vector<BYTE> before = FileBytes(path());
        const std::vector<std::string> entries = FolderEntries(folder());
        fillPass(pass, 2);
        int steps = 0;
        CAutomationPackage::SetStorageStepHookForTesting([&steps](int step, bool saving) {
            if (saving) steps = std::max(steps, step);
            return true;
        });
        ASSERT_TRUE(pass.Save(indexed));
        ASSERT_EQ(steps, indexed ? 25 : 30);

        for (int failAt = 1; failAt <= steps; ++failAt) {
            SCOPED_TRACE(std::string(indexed ? "indexed" : "compound") + " step " + std::to_string(failAt));
            std::ofstream(path(), std::ios::binary).write(reinterpret_cast<const char*>(before.data()), static_cast<std::streamsize>(before.size()));
            CAutomationPackage::SetStorageStepHookForTesting([failAt](int step, bool saving) { return !saving || step != failAt; });
            pass.m_nError = 0;
            EXPECT_FALSE(pass.Save(indexed));
            EXPECT_EQ(pass.m_nError, 5);
            EXPECT_TRUE(pass.m_bIdle);
            EXPECT_TRUE(FileBytes(path()) == before);
            EXPECT_EQ(FolderEntries(folder()), entries);
        }
        CAutomationPackage::SetStorageStepHookForTesting([](int step, bool saving) { return !saving || step != 2; });
        pass.SetPathName((folder() + "/new.aut").c_str());
        EXPECT_FALSE(pass.Save(indexed));
        EXPECT_EQ(FolderEntries(folder()), entries);
        CAutomationPackage::SetStorageStepHookForTesting({});
        pass.SetPathName(path().c_str());
        EXPECT_TRUE(pass.Save(indexed));
        EXPECT_EQ(pass.m_nError, 0);
        std::filesystem::remove(path());
    }
}

// A real write failure: the file-size limit of the process stops the new file part way.
TEST_F(MixPassStorageTest, SaveStoppedByTheFileSizeLimitKeepsThePreviousFile)
{
    useConsoleType(1);
    CLocalMachineRegistryObject registry{CString()};
    ASSERT_TRUE(registry.SetInt("SOFTWARE\\VOKDWEN\\KIVSERVER", "CompressedAuto", 0));
    for (BOOL indexed : {FALSE, TRUE}) {
        SCOPED_TRACE(indexed ? "indexed" : "compound");
        CAutomationPackage pass;
        fillPass(pass, 1);
        saveOrFail(pass, path(), indexed);
        const std::vector<BYTE> before = FileBytes(path());
        for (int i = 0; i < 100000; ++i) pass.Add(Ev(1000 + i, 1, 1, 1, static_cast<short>(i)));

        struct rlimit old {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
        void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = old;
        limited.rlim_cur = 1 << 20;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const BOOL saved = pass.Save(indexed);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        EXPECT_FALSE(saved);
        EXPECT_EQ(pass.m_nError, 5);
        EXPECT_TRUE(FileBytes(path()) == before);
        EXPECT_EQ(FolderEntries(folder()), std::vector<std::string>{"pass.aut"});
        std::filesystem::remove(path());
    }
}

// A save killed part way, at a step chosen by the hook or by the file-size limit in the middle
// of a write, leaves the previous pass whole (or no pass where there was none) and its temporary
// beside it; the next save of the pass (killed or not) removes the temporaries of the killed
// writers, and the one that completes puts the new pass whole in its place.
TEST_F(MixPassStorageTest, KilledSavesLeaveThePreviousPassAndTheNextSaveTheirTemporaries)
{
    useConsoleType(1);
    CLocalMachineRegistryObject registry{CString()};
    ASSERT_TRUE(registry.SetInt("SOFTWARE\\VOKDWEN\\KIVSERVER", "CompressedAuto", 0));
    struct Kill {
        int step;      // killed as this step begins (0: not by step)
        rlim_t bytes;  // killed by a write past this file size (0: no limit)
    };
    // Saves the pass in a child process that is killed as `kill` says; its process id.
    auto killedSave = [](CAutomationPackage& pass, BOOL indexed, const Kill& kill) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            struct rlimit none {};
            ::setrlimit(RLIMIT_CORE, &none);
            if (kill.bytes) {
                struct rlimit size {};
                size.rlim_cur = size.rlim_max = kill.bytes;
                ::setrlimit(RLIMIT_FSIZE, &size);
            }
            const int at = kill.step;
            CAutomationPackage::SetStorageStepHookForTesting([at](int step, bool saving) {
                if (saving && step == at) ::raise(SIGKILL);
                return true;
            });
            pass.Save(indexed);
            ::_exit(0);
        }
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status));
        return pid;
    };
    // The entries a killed writer leaves begin with ".pass.aut.<pid>-" (and "..pass.aut.<pid>-"
    // for the compound file built beside its temporary).
    auto leftBy = [](const std::string& entry, pid_t pid) {
        const std::string temporary = ".pass.aut." + std::to_string(pid) + "-";
        return entry.rfind(temporary, 0) == 0 || entry.rfind("." + temporary, 0) == 0;
    };

    for (BOOL indexed : {FALSE, TRUE}) {
        SCOPED_TRACE(indexed ? "indexed" : "compound");
        CAutomationPackage previous;
        fillPass(previous, 1);
        previous.SetPathName(path().c_str());
        // The first save of a pass, killed: no pass, only what the writer left.
        const pid_t first = killedSave(previous, indexed, {2, 0});
        for (const std::string& entry : FolderEntries(folder())) EXPECT_TRUE(leftBy(entry, first)) << entry;
        saveOrFail(previous, path(), indexed);
        EXPECT_EQ(FolderEntries(folder()), std::vector<std::string>{"pass.aut"});
        const std::vector<BYTE> before = FileBytes(path());

        CAutomationPackage next;
        fillPass(next, 2);
        for (int i = 0; i < 50000; ++i) next.Add(Ev(1000 + i, 1, 1, 1, static_cast<short>(i)));
        next.SetPathName(path().c_str());
        const Kill kills[] = {{1, 0}, {2, 0}, {10, 0}, {indexed ? 25 : 30, 0}, {0, before.size() / 2}, {0, 200000}, {0, 900000}};
        for (const Kill& kill : kills) {
            SCOPED_TRACE(kill.step ? "step " + std::to_string(kill.step) : "at byte " + std::to_string(kill.bytes));
            const pid_t pid = killedSave(next, indexed, kill);
            EXPECT_TRUE(FileBytes(path()) == before);
            // Only this writer's temporary is left: it removed the one of the writer before.
            const std::vector<std::string> left = FolderEntries(folder());
            ASSERT_EQ(left.size(), 2u);
            EXPECT_TRUE(leftBy(left[0], pid)) << left[0];
            EXPECT_EQ(left[1], "pass.aut");
        }
        CAutomationPackage old;
        old.SetPathName(path().c_str());
        EXPECT_TRUE(old.Load());
        expectSameStoredMembers(previous, old);

        ASSERT_TRUE(next.Save(indexed));
        EXPECT_EQ(FolderEntries(folder()), std::vector<std::string>{"pass.aut"});
        CAutomationPackage loaded;
        loaded.SetPathName(path().c_str());
        EXPECT_TRUE(loaded.Load());
        expectSameStoredMembers(next, loaded);
        std::filesystem::remove(path());
    }
}

// A compound save over a file that is not a compound file fails and leaves it alone.
TEST_F(MixPassStorageTest, CompoundSaveOverAnIndexedFileLeavesIt)
{
    useConsoleType(3);
    CAutomationPackage pass;
    fillPass(pass, 1);
    saveOrFail(pass, path(), TRUE);
    const std::vector<BYTE> before = FileBytes(path());
    EXPECT_FALSE(pass.Save(FALSE));
    EXPECT_EQ(pass.m_nError, 5);
    EXPECT_TRUE(FileBytes(path()) == before);
}

}  // namespace
