#include <gtest/gtest.h>

#include "TestEnvironment.h"
#include "trevanny/ServerLinkConfig.h"
#include "winport/RegistryObject.h"

namespace {

const char kServer[] = "SOFTWARE\\VOKDWEN\\KIVSERVER";

class ServerLinkConfigTest : public ::testing::Test {
protected:
    static void Set(const char* value, int v)
    {
        CLocalMachineRegistryObject registry(CString{});
        ASSERT_TRUE(registry.SetInt(kServer, value, v));
    }
    static int Stored(const char* value)
    {
        CLocalMachineRegistryObject registry(CString{});
        int v = -1;
        registry.GetInt(kServer, value, v, -1);
        return v;
    }

    TestEnvironment m_env;
};

TEST_F(ServerLinkConfigTest, MissingKeyGivesTheDefaultsAndMarksTheNewForm)
{
    const CServerLinkConfig config = CServerLinkConfig().Read();
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(i < 2 ? 0 : 1, config.m_nLinkType[i]);
        EXPECT_EQ(i < 2 ? 0 : 1, config.m_bLinkLoopback[i]);
        EXPECT_EQ(i, config.m_nLinkNumber[i]);  // link 2 is not read in the old form: its defaults stand
    }
    EXPECT_EQ(0, config.m_nQuillomLinkType);
    EXPECT_EQ(213, config.m_nTimeout);
    EXPECT_EQ(20, config.m_nTransputerDelay);
    EXPECT_EQ(1, config.m_bSharedMemComms);
    EXPECT_EQ(0, config.m_bQuillomReboot + config.m_bQuillomEnable + config.m_bMerrowinEnable +
                     config.m_bPontrelEnable + config.m_bPontrelLoopback + config.m_bUnused);
    EXPECT_EQ(0, config.GetCardLinkType());
    EXPECT_EQ(1, Stored("Version"));
}

TEST_F(ServerLinkConfigTest, OldFormIsReadFromItsOwnNamesAndKeptAcrossTheMigration)
{
    Set("CardLinkType", 4);
    Set("AutoLoopbackMode", 1);
    Set("AutoLinkNo", 7);
    Set("CardFSSLinkType", 2);
    Set("FSSLinkNo", 3);
    Set("Link Type 2", 9);   // the old form has no link 2
    Set("Link Type 5", 6);
    Set("Link Number 11", 40);
    const CServerLinkConfig first = CServerLinkConfig().Read();
    EXPECT_EQ(4, first.GetCardLinkType());
    EXPECT_EQ(1, first.m_bLinkLoopback[1]);
    EXPECT_EQ(7, first.m_nLinkNumber[1]);
    EXPECT_EQ(2, first.m_nLinkType[0]);
    EXPECT_EQ(0, first.m_bLinkLoopback[0]);
    EXPECT_EQ(3, first.m_nLinkNumber[0]);
    EXPECT_EQ(1, first.m_nLinkType[2]);
    EXPECT_EQ(6, first.m_nLinkType[5]);
    EXPECT_EQ(40, first.m_nLinkNumber[11]);
    EXPECT_EQ(1, Stored("Version"));

    // The next reading takes the per-link values of all links and still finds the card link.
    const CServerLinkConfig second = CServerLinkConfig().Read();
    EXPECT_EQ(4, second.GetCardLinkType());
    EXPECT_EQ(7, second.m_nLinkNumber[1]);
    EXPECT_EQ(1, second.m_bLinkLoopback[1]);
    EXPECT_EQ(2, second.m_nLinkType[0]);
    EXPECT_EQ(3, second.m_nLinkNumber[0]);
    EXPECT_EQ(9, second.m_nLinkType[2]);  // now read
    EXPECT_EQ(6, second.m_nLinkType[5]);
}

TEST_F(ServerLinkConfigTest, NewFormReadsEveryLinkAndTheServerSettings)
{
    Set("Version", 1);
    Set("CardLinkType", 4);  // the old name is not read in the new form
    CLocalMachineRegistryObject registry(CString{});
    for (int i = 0; i < 12; ++i) {
        CString type, loopback, number;
        type.Format("Link Type %d", i);
        loopback.Format("Link Loopback %d", i);
        number.Format("Link Number %d", i);
        ASSERT_TRUE(registry.SetInt(kServer, type, 100 + i));
        ASSERT_TRUE(registry.SetInt(kServer, loopback, i % 2));
        ASSERT_TRUE(registry.SetInt(kServer, number, 200 + i));
    }
    Set("QuillomLinkType", 5);
    Set("Timeout", 500);
    Set("SharedMemComms", 0);
    Set("QuillomEnable", 256);  // a flag is any non-zero value
    ASSERT_TRUE(registry.SetInt("SOFTWARE\\Vok Dwen\\TransputerDelay", "Value", 35));

    const CServerLinkConfig config = CServerLinkConfig().Read();
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(100 + i, config.m_nLinkType[i]);
        EXPECT_EQ(i % 2, config.m_bLinkLoopback[i]);
        EXPECT_EQ(200 + i, config.m_nLinkNumber[i]);
    }
    EXPECT_EQ(101, config.GetCardLinkType());
    EXPECT_EQ(5, config.m_nQuillomLinkType);
    EXPECT_EQ(500, config.m_nTimeout);
    EXPECT_EQ(0, config.m_bSharedMemComms);
    EXPECT_EQ(1, config.m_bQuillomEnable);
    EXPECT_EQ(35, config.m_nTransputerDelay);
}

TEST_F(ServerLinkConfigTest, AssignmentLoopbackOnlyOnADebugMachine)
{
    Set("PontrelLoopback", 1);
    EXPECT_EQ(0, CServerLinkConfig().Read().m_bPontrelLoopback);
    Set("DebugMachine", 1);
    EXPECT_EQ(1, CServerLinkConfig().Read().m_bPontrelLoopback);
}

}  // namespace
