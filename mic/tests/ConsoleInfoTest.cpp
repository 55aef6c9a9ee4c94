#include <gtest/gtest.h>

#include "TestEnvironment.h"
#include "base/ConsoleInfo.h"
#include "winport/RegistryObject.h"

namespace {

const char kMain[] = "Software\\Vok Dwen Cantle\\Main";

class ConsoleInfoTest : public ::testing::Test {
protected:
    void SetUp() override { CConsoleInfo::ResetForTesting(); }
    void TearDown() override { CConsoleInfo::ResetForTesting(); }

    TestEnvironment m_env;
};

TEST_F(ConsoleInfoTest, NoKeyGivesTheDefaults)
{
    CConsoleInfo info;
    EXPECT_EQ(CString(kMain), info.GetName(0));
    EXPECT_EQ(CString("JTB"), info.GetName(22));
    EXPECT_EQ(CString("TamberlFaderPanelBits"), info.GetName(23));
    EXPECT_EQ(CString(""), info.GetName(24));
    for (int v = enConsoleType; v < enConsoleValueCount; ++v) {
        SCOPED_TRACE(info.GetName(v).c_str());
        int expected = 0;
        if (v == enConsoleType) expected = 3;
        if (v == enCutABPath) expected = 128;
        if (v == enLiveDetectTQ || v == enCantlePlus) expected = 1;
        EXPECT_EQ(expected, CConsoleInfo::GetValue(static_cast<enConsoleValue>(v)));
    }
    EXPECT_FALSE(CConsoleInfo::IsK7Series());
    EXPECT_TRUE(CConsoleInfo::IsConsoleTypeNot8());
}

TEST_F(ConsoleInfoTest, StoredValuesAndTheirTypes)
{
    CLocalMachineRegistryObject registry(CString{});
    ASSERT_TRUE(registry.SetInt(kMain, "CantleConsoleType", 6));
    ASSERT_TRUE(registry.SetString(kMain, "NumberOfFaders", "abc"));  // text that is no number: 0
    ASSERT_TRUE(registry.SetString(kMain, "NumberOfChannelStrips", "12"));
    const BYTE bytes[4] = {1, 0, 0, 0};
    ASSERT_TRUE(registry.SetBinary(kMain, "CutABPath", bytes, 4));     // binary: the default stays
    ASSERT_TRUE(registry.SetBinary(kMain, "LiveDetectTQ", bytes, 4));
    ASSERT_TRUE(registry.SetInt(kMain, "JTB", 1));
    ASSERT_TRUE(registry.SetInt(kMain, "TamberlFaderPanelBits", 0x35));
    ASSERT_TRUE(registry.SetInt(kMain, "NewMCS", 9));  // named but never read

    CConsoleInfo info;
    EXPECT_TRUE(CConsoleInfo::IsK7Series());
    EXPECT_EQ(0, CConsoleInfo::GetValue(enNumberOfFaders));
    EXPECT_EQ(12, CConsoleInfo::GetValue(enNumberOfChannelStrips));
    EXPECT_EQ(128, CConsoleInfo::GetValue(enCutABPath));
    EXPECT_EQ(1, CConsoleInfo::GetValue(enLiveDetectTQ));
    EXPECT_EQ(1, CConsoleInfo::GetValue(enJTB));
    EXPECT_EQ(0x35, CConsoleInfo::GetValue(enTamberlFaderPanelBits));
    EXPECT_EQ(0, CConsoleInfo::GetValue(enNewMCS));
}

TEST_F(ConsoleInfoTest, ASecondObjectReadsNothing)
{
    CLocalMachineRegistryObject registry(CString{});
    ASSERT_TRUE(registry.SetInt(kMain, "CantleConsoleType", 8));
    { CConsoleInfo first; }
    ASSERT_TRUE(registry.SetInt(kMain, "CantleConsoleType", 6));
    CConsoleInfo second;
    EXPECT_EQ(8, CConsoleInfo::GetValue(enConsoleType));
    EXPECT_FALSE(CConsoleInfo::IsK7Series());
    EXPECT_FALSE(CConsoleInfo::IsConsoleTypeNot8());
}

TEST_F(ConsoleInfoTest, SaveWritesTheValuesThatAreRead)
{
    CConsoleInfo info;
    ASSERT_TRUE(CConsoleInfo::Save());
    CLocalMachineRegistryObject registry(CString{});
    CStringArray names;
    ASSERT_TRUE(registry.EnumValues(kMain, names));
    ASSERT_EQ(22, names.GetSize());
    // Written in reading order (values keep the order of their creation).
    EXPECT_EQ(CString("CantleConsoleType"), names[0]);
    EXPECT_EQ(CString("CutABPath"), names[4]);
    EXPECT_EQ(CString("KLBSabrel"), names[17]);
    EXPECT_EQ(CString("TamberlFaderPanelBits"), names[21]);
    int v = 0;
    EXPECT_TRUE(registry.GetInt(kMain, "CutABPath", v, 0));
    EXPECT_EQ(128, v);
}

}  // namespace
