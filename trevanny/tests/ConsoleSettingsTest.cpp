#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "TestEnvironment.h"
#include "trevanny/ConsoleConfig.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "trevanny/FaderLayout.h"
#include "trevanny/WideFromAnsi.h"
#include "winport/RegistryObject.h"

namespace {

const char kMain[] = "Software\\Vok Dwen Cantle\\Main";

class ConsoleSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }
    void TearDown() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }

    static void SetMain(const char* value, int v)
    {
        CLocalMachineRegistryObject registry(CString{});
        ASSERT_TRUE(registry.SetInt(kMain, value, v));
    }
    // A console of the given type whose automation key holds a "Max Paths Mode".
    static void UseConsole(int type, int maxPathsMode)
    {
        SetMain("CantleConsoleType", type);
        SetMain("Max Paths Mode", maxPathsMode);
        CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    }

    TestEnvironment m_env;
};

TEST_F(ConsoleSettingsTest, EmptyRegistryGivesTheDocumentedDefaults)
{
    CConsoleRegistryNames names;
    EXPECT_EQ(CString("Software\\Vok Dwen Cantle\\Main"), names.GetKey());
    EXPECT_EQ(CString("12Stems"), names.GetName(21));
    EXPECT_EQ(CString(""), names.GetName(22));
    for (int v = enConsoleType; v <= en12Stems; ++v) {
        SCOPED_TRACE(names.GetName(v).c_str());
        int expected = 0;
        if (v == enConsoleType) expected = 3;
        if (v == enCutABPath) expected = 128;
        if (v == enLiveDetectTQ || v == enCantlePlus) expected = 1;
        EXPECT_EQ(expected, CConsoleRegistryNames::GetSetting(static_cast<enConsoleValue>(v)));
    }
    EXPECT_TRUE(CConsoleRegistryNames::IsKLBConsole());
    EXPECT_EQ(0, CConsoleRegistryNames::GetNumMixMinusGroups());
    // "JTB" belongs to the mic program's reading, not to the library's.
    EXPECT_EQ(0, CConsoleRegistryNames::GetSetting(enJTB));
}

TEST_F(ConsoleSettingsTest, TypeThreeIsModeTwoWithoutReadingTheMode)
{
    SetMain("Max Paths Mode", 1);  // present, but a KLB console never reads it
    CConsoleConfig config;
    EXPECT_EQ(2, config.GetMaxPathsMode());
    EXPECT_EQ(2000, config.GetMaxPathCount());
    struct Case { int process; int section; };
    for (const Case& c : {Case{0, 0}, Case{18, 0}, Case{19, 1}, Case{34, 1}, Case{35, 2}, Case{83, 2}}) {
        SCOPED_TRACE(c.process);
        EXPECT_EQ(c.section, config.GetProcessSection(c.process));
    }
}

TEST_F(ConsoleSettingsTest, ConsoleTypesOneToSeven)
{
    struct Case { int type; int ctrl; int rte; bool small; bool klb; int mode; };
    const Case cases[] = {
        {1, 5, 1, true, false, 1},   {2, 36, 48, false, false, 1}, {3, 36, 48, false, true, 2},
        {4, 36, 48, false, false, 1}, {5, 36, 48, false, false, 1}, {6, 5, 1, true, false, 1},
        {7, 36, 48, false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        UseConsole(c.type, 1);
        EXPECT_EQ(c.type, CConsoleRegistryNames::GetConsoleType());
        EXPECT_EQ(c.ctrl, GetCtrlProcessCount());
        EXPECT_EQ(c.rte, GetRteProcessCount());
        EXPECT_EQ(c.small, static_cast<bool>(CConsoleRegistryNames::IsSmallConsole()));
        EXPECT_EQ(c.klb, static_cast<bool>(CConsoleRegistryNames::IsKLBConsole()));
        EXPECT_EQ(c.mode, CConsoleConfig().GetMaxPathsMode());
    }
}

TEST_F(ConsoleSettingsTest, SettingsAreReadOncePerProcess)
{
    SetMain("CantleConsoleType", 5);
    SetMain("NumberOfFaders", 48);
    SetMain("KLBSabrel", 1);
    { CConsoleRegistryNames first; }
    SetMain("CantleConsoleType", 7);
    SetMain("NumberOfFaders", 64);
    CConsoleRegistryNames second;
    EXPECT_EQ(5, CConsoleRegistryNames::GetConsoleType());
    EXPECT_EQ(48, CConsoleRegistryNames::GetSetting(enNumberOfFaders));
    EXPECT_EQ(1, CConsoleRegistryNames::GetSetting(enKLBSabrel));
    CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    EXPECT_EQ(7, CConsoleRegistryNames::GetConsoleType());
}

TEST_F(ConsoleSettingsTest, TextValuesAreNumbersAndBinaryValuesKeepTheDefault)
{
    CLocalMachineRegistryObject registry(CString{});
    ASSERT_TRUE(registry.SetString(kMain, "NumberOfFaders", "24"));
    ASSERT_TRUE(registry.SetString(kMain, "SideCarSize", "abc"));
    const BYTE bytes[4] = {9, 0, 0, 0};
    ASSERT_TRUE(registry.SetBinary(kMain, "CutABPath", bytes, 4));
    EXPECT_EQ(24, CConsoleRegistryNames::GetSetting(enNumberOfFaders));
    EXPECT_EQ(0, CConsoleRegistryNames::GetSetting(enSideCarSize));
    EXPECT_EQ(128, CConsoleRegistryNames::GetSetting(enCutABPath));
}

TEST_F(ConsoleSettingsTest, ConsoleTypeNames)
{
    struct Case { int type; const char* name; };
    for (const Case& c : {Case{0, "Sorel Series"}, Case{1, "Hesk Series"}, Case{2, "Quarn Music"},
                          Case{3, "KLB Series"}, Case{4, "Quarn Live"}, Case{5, "Quarn Post"}, Case{6, "K7X"},
                          Case{7, "QVR"}, Case{8, "New Console"}, Case{-1, "New Console"}}) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(CString(c.name), CConsoleRegistryNames::GetConsoleTypeName(c.type));
    }
    SetMain("KLBSabrel", 1);
    SetMain("K7D", 1);
    CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    EXPECT_EQ(CString("KLB Sabrel"), CConsoleRegistryNames::GetConsoleTypeName(3));
    EXPECT_EQ(CString("K7D"), CConsoleRegistryNames::GetConsoleTypeName(7));
    SetMain("KLB2", 1);
    CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    EXPECT_EQ(CString("KLB2"), CConsoleRegistryNames::GetConsoleTypeName(3));
}

TEST_F(ConsoleSettingsTest, SaveWritesBackEveryValueThatIsRead)
{
    SetMain("NumberOfFaders", 32);
    ASSERT_TRUE(CConsoleRegistryNames::SaveConsoleSettings());
    CLocalMachineRegistryObject registry(CString{});
    CStringArray names;
    ASSERT_TRUE(registry.EnumValues(kMain, names));
    EXPECT_EQ(20, names.GetSize());  // "NewMCS" is neither read nor written
    int v = 0;
    EXPECT_TRUE(registry.GetInt(kMain, "CantleConsoleType", v, -1));
    EXPECT_EQ(3, v);
    EXPECT_TRUE(registry.GetInt(kMain, "CutABPath", v, -1));
    EXPECT_EQ(128, v);
    EXPECT_TRUE(registry.GetInt(kMain, "NumberOfFaders", v, -1));
    EXPECT_EQ(32, v);
    EXPECT_FALSE(registry.ValueExists(kMain, "NewMCS"));
}

TEST_F(ConsoleSettingsTest, FaderLayoutFromTheSettings)
{
    struct Case { int sideCar; int slot0; };
    for (const Case& c : {Case{8, 56}, Case{1, 49}, Case{0, 48}, Case{-4, 48}}) {
        SCOPED_TRACE(c.sideCar);
        SetMain("NumberOfFaders", 48);
        SetMain("SideCarSize", c.sideCar);
        SetMain("NumberOfChannelStrips", 40);
        SetMain("GroupFadersStartAt", 41);
        SetMain("NumGroupFaders", 4);
        SetMain("OutputFadersStartAt", 45);
        SetMain("NumOutputFaders", 3);
        CConsoleRegistryNames::ResetConsoleSettingsForTesting();
        CFaderLayout layout;
        ASSERT_EQ(25, layout.m_nCount);
        const int expected[6] = {c.slot0, 40, 41, 4, 45, 3};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(expected[i], layout.GetAt(i)) << "slot " << i;
        for (int i = 6; i < 25; ++i) EXPECT_EQ(0, layout.GetAt(i)) << "slot " << i;
        EXPECT_EQ(0, layout.GetAt(25));
        EXPECT_EQ(0, layout.GetAt(-1));
    }
}

TEST_F(ConsoleSettingsTest, FaderCountWithSideCarSaturates)
{
    SetMain("NumberOfFaders", 0x7FFFFFF0);
    SetMain("SideCarSize", 0x100);
    CFaderLayout layout;
    EXPECT_EQ(0x7FFFFFFF, layout.GetAt(0));
}

TEST_F(ConsoleSettingsTest, EngineCountOfAMultiEngineConsole)
{
    const CString marker20T = "12345678901234567890T";  // 'T' at index 20
    struct Case { const char* marker; int usp; int mode; int engines; int hardware; };
    const Case cases[] = {
        {marker20T, 3, 2, 3, 3},
        {marker20T, 9, 2, 4, 9},     // kept within the four per-engine slots
        {marker20T, 0, 2, 1, 0},     // a stored 0 still leaves the one engine
        {marker20T, -2, 2, 1, -2},
        {marker20T, 3, 1, 1, 0},     // single-engine mode
        {"1234567890123456789T", 3, 2, 1, 0},  // marker too short
        {"12345678901234567890X", 3, 2, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.marker << " USP " << c.usp << " mode " << c.mode);
        CLocalMachineRegistryObject machine(CString{});
        ASSERT_TRUE(machine.SetString("SOFTWARE\\VOKDWEN\\KIVSERVER\\Configuration", "", c.marker));
        CCurrentUserRegistryObject user;
        ASSERT_TRUE(user.SetInt("Software\\VokSettings\\KIVSERVER\\CardType", "USP", c.usp));
        UseConsole(5, c.mode);
        CConsoleConfig config;
        EXPECT_EQ(c.engines, config.GetEngineCount());
        EXPECT_EQ(c.hardware, CConsoleConfig::ReadHardwareEngineCount(c.mode));
    }
}

TEST_F(ConsoleSettingsTest, ModeOutsideTheTableIsSingleEngine)
{
    UseConsole(5, 7);
    CConsoleConfig config;
    EXPECT_EQ(7, config.GetMaxPathsMode());
    EXPECT_EQ(7, config.GetProcessSection(40));
    EXPECT_EQ(256, config.GetMaxPathCount());
    EXPECT_EQ(1, config.GetEngineCount());
    EXPECT_FALSE(CConsoleConfig::IsMultiEngineMode(-1));
}

TEST(WideFromAnsiTest, ConvertsTheCodePageAndEndsWithZero)
{
    wchar_t* out = nullptr;
    WideFromAnsi("", &out);
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(L'\0', out[0]);
    delete[] out;

    WideFromAnsi("Caf\xE9 \x80 Mix.aut", &out);
    EXPECT_STREQ(L"Caf\u00E9 \u20AC Mix.aut", out);
    delete[] out;

    WideFromAnsi(nullptr, &out);
    EXPECT_EQ(L'\0', out[0]);
    delete[] out;
}

TEST(ConsoleSettingsThreads, ConcurrentFirstLoadsSeeTheLoadedValues)
{
    TestEnvironment env;
    CLocalMachineRegistryObject registry(CString{});
    ASSERT_TRUE(registry.SetInt(kMain, "CantleConsoleType", 6));
    ASSERT_TRUE(registry.SetInt(kMain, "NumberOfFaders", 48));
    for (int round = 0; round < 5; ++round) {
        CConsoleRegistryNames::ResetConsoleSettingsForTesting();
        constexpr int kThreads = 8;
        std::latch start(kThreads);
        std::atomic<int> wrong{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                if (t % 2) {
                    CConsoleRegistryNames names;
                    if (CConsoleRegistryNames::GetSetting(enNumberOfFaders) != 48) ++wrong;
                } else if (GetCtrlProcessCount() != 5 || CConsoleRegistryNames::GetConsoleType() != 6) {
                    ++wrong;
                }
            });
        }
        for (auto& th : threads) th.join();
        EXPECT_EQ(0, wrong.load()) << "round " << round;
    }
    CConsoleRegistryNames::ResetConsoleSettingsForTesting();
}

}  // namespace
