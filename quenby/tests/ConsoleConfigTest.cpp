#include <gtest/gtest.h>

#include "TestEnvironment.h"
#include "quenby/ConsoleConfig.h"
#include "trevanny/ConsoleConfig.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "winport/RegistryObject.h"

namespace {

const char kQuenbyMain[] = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Main";
const char kTrevannyMain[] = "Software\\Vok Dwen Cantle\\Main";
const char kCardType[] = "Software\\VokSettings\\KIVSERVER\\CardType";
const char kMarkerKey[] = "SOFTWARE\\VOKDWEN\\KIVSERVER\\Configuration";
const char kMultiEngineMarker[] = "12345678901234567890T";

class QuenbyConsoleConfigTest : public ::testing::Test {
protected:
    void SetUp() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }
    void TearDown() override { CConsoleRegistryNames::ResetConsoleSettingsForTesting(); }

    // A console of `type` with "Max Paths Mode" `mode` under the client library's key, card type
    // `card`, hardware marker `marker` and "USP" `usp`.
    static void UseConsole(int type, int mode, int card, const char* marker, int usp)
    {
        CLocalMachineRegistryObject machine(CString{});
        ASSERT_TRUE(machine.SetInt(kTrevannyMain, "CantleConsoleType", type));
        ASSERT_TRUE(machine.SetInt(kQuenbyMain, "Max Paths Mode", mode));
        ASSERT_TRUE(machine.SetString(kMarkerKey, "", marker));
        CCurrentUserRegistryObject user;
        ASSERT_TRUE(user.SetInt(kCardType, "Type", card));
        ASSERT_TRUE(user.SetInt(kCardType, "USP", usp));
        CConsoleRegistryNames::ResetConsoleSettingsForTesting();
    }

    TestEnvironment m_env;
};

TEST_F(QuenbyConsoleConfigTest, CapacitiesByConsoleModeAndHardware)
{
    struct Case { int type; int mode; int card; const char* marker; int usp; int paths; int channels; int engines; };
    const Case cases[] = {
        {3, 0, 2, kMultiEngineMarker, 3, 1500, 1800, 3},  // type 3 is mode 2 whatever is stored
        {3, 2, 2, "short", 3, 500, 448, 1},
        {3, 2, 1, "short", 3, 256, 192, 1},
        {3, 2, 1, kMultiEngineMarker, 3, 256, 192, 3},    // multi-engine hardware needs card type 2
        {3, 2, 2, kMultiEngineMarker, 9, 2000, 1800, 4},  // engines kept within the four slots
        {3, 2, 2, kMultiEngineMarker, 0, 500, 448, 1},
        {5, 0, 2, kMultiEngineMarker, 3, 256, 192, 1},
        {5, 1, 2, kMultiEngineMarker, 3, 500, 448, 1},
        {5, 1, 1, kMultiEngineMarker, 3, 256, 192, 1},
        {7, 2, 2, kMultiEngineMarker, 2, 1000, 1800, 2},
        {5, 6, 2, kMultiEngineMarker, 3, 256, 192, 1},    // a mode outside the table
        {0, 1, 2, "short", 1, 500, 128, 1},
        {1, 1, 2, "short", 1, 500, 96, 1},
        {6, 2, 2, kMultiEngineMarker, 2, 1000, 96, 2},
        {8, 0, 2, "short", 1, 256, 96, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " mode " << c.mode << " card " << c.card
                                        << " marker " << c.marker << " USP " << c.usp);
        UseConsole(c.type, c.mode, c.card, c.marker, c.usp);
        quenby::CConsoleConfig config;
        EXPECT_EQ(c.paths, config.GetMaxPaths());
        EXPECT_EQ(c.channels, config.GetChannelCapacity());
        EXPECT_EQ(c.engines, config.GetEngineCount());
    }
}

TEST_F(QuenbyConsoleConfigTest, DefaultsOfAnEmptyRegistry)
{
    quenby::CConsoleConfig config;
    EXPECT_EQ(2, config.GetMaxPathsMode());  // console type 3
    EXPECT_EQ(2, config.GetCardType());
    EXPECT_TRUE(config.IsCardType2());
    EXPECT_EQ(0, config.GetHardwareEngineCount());  // the marker defaults to "value"
    EXPECT_FALSE(config.IsMultiEngineHardware());
    EXPECT_EQ(1, config.GetEngineCount());
    EXPECT_EQ(500, config.GetMaxPaths());
    EXPECT_EQ(448, config.GetChannelCapacity());
    EXPECT_EQ(36, config.GetProcessCount());
    EXPECT_EQ(48, config.GetExtendedProcessCount());
    EXPECT_EQ(0, config.GetProcessSection(18));
    EXPECT_EQ(1, config.GetProcessSection(19));
    EXPECT_EQ(2, config.GetProcessSection(35));
}

TEST_F(QuenbyConsoleConfigTest, TypeThreeIsReadAsModeTwoAndWrittenAsModeOne)
{
    quenby::CConsoleConfig config;
    ASSERT_TRUE(config.WriteMaxPathsMode());
    CLocalMachineRegistryObject machine(CString{});
    int stored = -1;
    EXPECT_TRUE(machine.GetInt(kQuenbyMain, "Max Paths Mode", stored, -1));
    EXPECT_EQ(1, stored);
    EXPECT_EQ(2, quenby::CConsoleConfig().GetMaxPathsMode());
}

TEST_F(QuenbyConsoleConfigTest, EachBuildReadsTheModeFromItsOwnKey)
{
    CLocalMachineRegistryObject machine(CString{});
    ASSERT_TRUE(machine.SetInt(kTrevannyMain, "CantleConsoleType", 5));
    ASSERT_TRUE(machine.SetInt(kTrevannyMain, "Max Paths Mode", 1));
    ASSERT_TRUE(machine.SetInt(kQuenbyMain, "Max Paths Mode", 2));
    EXPECT_EQ(1, ::CConsoleConfig().GetMaxPathsMode());
    EXPECT_EQ(2, quenby::CConsoleConfig().GetMaxPathsMode());
}

TEST_F(QuenbyConsoleConfigTest, HardwareEngineCountIsWrittenAsUSP)
{
    UseConsole(3, 2, 2, kMultiEngineMarker, 1);
    quenby::CConsoleConfig config;
    ASSERT_TRUE(config.SetHardwareEngineCount(2));
    EXPECT_EQ(2, config.GetHardwareEngineCount());
    EXPECT_TRUE(config.IsMultiEngineHardware());
    EXPECT_EQ(1000, config.GetMaxPaths());
}

TEST_F(QuenbyConsoleConfigTest, XSPSlotsAreSummedPerEngine)
{
    CCurrentUserRegistryObject user;
    const char kMezzanine[] = "SOFTWARE\\VOKDWEN\\Hardware\\Mezzanine";
    ASSERT_TRUE(user.SetInt(kMezzanine, "XSP 0", 2));
    ASSERT_TRUE(user.SetInt(kMezzanine, "XSP 15", 3));
    ASSERT_TRUE(user.SetInt(kMezzanine, "Engine 1 XSP 4", 5));
    ASSERT_TRUE(user.SetInt(kMezzanine, "Engine 3 XSP 15", 7));
    ASSERT_TRUE(user.SetInt(kMezzanine, "Engine 0 XSP 1", 100));  // engine 0 has no "Engine" prefix

    quenby::CConsoleConfig config;
    EXPECT_FALSE(config.AreXSPSlotsRead());
    int counts[4][16];
    for (auto& row : counts)
        for (int& v : row) v = -1;
    EXPECT_EQ(17, config.ReadXSPSlots(counts));
    EXPECT_TRUE(config.AreXSPSlotsRead());
    EXPECT_EQ(2, counts[0][0]);
    EXPECT_EQ(0, counts[0][1]);
    EXPECT_EQ(3, counts[0][15]);
    EXPECT_EQ(5, counts[1][4]);
    EXPECT_EQ(7, counts[3][15]);
    const int sums[4] = {5, 5, 0, 7};
    for (int e = 0; e < 4; ++e) EXPECT_EQ(sums[e], config.GetXSPCards(e)) << "engine " << e;
    EXPECT_EQ(0, config.GetXSPCards(4));

    counts[2][9] = 11;
    ASSERT_TRUE(config.WriteXSPSlots(counts));
    int v = 0;
    EXPECT_TRUE(user.GetInt(kMezzanine, "Engine 2 XSP 9", v, 0));
    EXPECT_EQ(11, v);
    EXPECT_EQ(28, quenby::CConsoleConfig().ReadXSPSlots(counts));

    ASSERT_TRUE(user.SetInt(kMezzanine, "XSP 1", 0x7FFFFFFF));  // a total past int saturates
    EXPECT_EQ(0x7FFFFFFF, config.ReadXSPSlots(counts));
}

TEST_F(QuenbyConsoleConfigTest, PerEngineCountsLiveOnThisMachine)
{
    quenby::CConsoleConfig config;
    const int qm[4] = {1, 2, 3, 4};
    const int xsp[4] = {5, 6, 7, 8};
    ASSERT_TRUE(config.WriteQMCounts(qm));
    ASSERT_TRUE(config.WriteXSPCounts(xsp));
    CLocalMachineRegistryObject machine(CString{});
    int v = 0;
    EXPECT_TRUE(machine.GetInt(kCardType, "QMCount Engine 3", v, 0));
    EXPECT_EQ(4, v);
    EXPECT_TRUE(machine.GetInt(kCardType, "XSPCount Engine 0", v, 0));
    EXPECT_EQ(5, v);

    quenby::CConsoleConfig other;
    EXPECT_EQ(0, other.GetQMCount(1));
    other.ReadQMCounts();
    other.ReadXSPCounts();
    for (int e = 0; e < 4; ++e) {
        EXPECT_EQ(qm[e], other.GetQMCount(e));
        EXPECT_EQ(xsp[e], other.GetXSPCount(e));
    }
    EXPECT_EQ(0, other.GetQMCount(-1));
}

}  // namespace
