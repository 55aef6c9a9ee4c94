// The registry objects: typed reads with defaults, writes, rectangles, enumeration, deletion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "TestEnvironment.h"
#include "winport/RegistryObject.h"

namespace {

const char kKey[] = "SOFTWARE\\VOKDWEN\\TEST";

class RegistryObjectTest : public ::testing::Test {
protected:
    TestEnvironment env;
    CCurrentUserRegistryObject reg;

    void setRaw(const char* value, DWORD type, const void* data, DWORD size)
    {
        HKEY h = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, kKey, &h));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, value, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(h);
    }
};

TEST_F(RegistryObjectTest, ReadsGiveDefaultsAndResultsAsDesigned)
{
    setRaw("Twelve", REG_SZ, "12", 3);
    setRaw("Letters", REG_SZ, "abc", 4);
    const BYTE bin[] = {'h', 'i', 0, 'x'};
    setRaw("Bin", REG_BINARY, bin, sizeof bin);
    DWORD d256 = 256, d7 = 7;
    setRaw("D256", REG_DWORD, &d256, 4);
    setRaw("D7", REG_DWORD, &d7, 4);

    struct Row {
        const char* key;
        const char* value;
        DWORD def;
        DWORD expectDword;
        BOOL expectDwordResult;
    };
    const Row dwordRows[] = {
        {kKey, "Missing", 42, 42, TRUE},          // missing value: default, TRUE
        {"SOFTWARE\\NONE", "X", 42, 42, FALSE},   // missing key: default, FALSE
        {kKey, "Twelve", 42, 12, TRUE},           // text "12"
        {kKey, "Letters", 42, 0, TRUE},           // text that is no number
        {kKey, "Bin", 42, 42, TRUE},              // binary: default
        {kKey, "D7", 42, 7, TRUE},
    };
    for (const Row& r : dwordRows) {
        SCOPED_TRACE(r.value);
        DWORD out = 0;
        EXPECT_EQ(r.expectDwordResult, reg.GetDword(r.key, r.value, out, r.def));
        EXPECT_EQ(r.expectDword, out);
    }

    CString s;
    EXPECT_FALSE(reg.GetString(kKey, "D7", s, "dflt"));  // a DWORD: default and FALSE
    EXPECT_EQ("dflt", s);
    EXPECT_TRUE(reg.GetString(kKey, "Bin", s, "dflt"));  // binary: up to the first zero byte
    EXPECT_EQ("hi", s);
    EXPECT_TRUE(reg.GetString(kKey, "Missing", s, "dflt"));
    EXPECT_EQ("dflt", s);
    EXPECT_FALSE(reg.GetString("SOFTWARE\\NONE", "X", s, "dflt"));

    BYTE b = 9;
    EXPECT_TRUE(reg.GetBool(kKey, "Missing", b, TRUE));
    EXPECT_EQ(1, b);
    EXPECT_TRUE(reg.GetBool(kKey, "D256", b, FALSE));
    EXPECT_EQ(1, b);
    EXPECT_TRUE(reg.GetByte(kKey, "D256", b, 5));
    EXPECT_EQ(0, b);
    BOOL flag = FALSE;
    EXPECT_TRUE(reg.GetBool(kKey, "D7", flag, FALSE));
    EXPECT_EQ(TRUE, flag);

    int i = 0;
    EXPECT_TRUE(reg.GetInt(kKey, "Twelve", i, -1));
    EXPECT_EQ(12, i);
    long l = 0;
    EXPECT_TRUE(reg.GetLong(kKey, "Missing", l, -3));
    EXPECT_EQ(-3, l);

    CStringArray keys;
    EXPECT_FALSE(reg.EnumKeys(kKey, keys));  // a key without subkeys
    EXPECT_EQ(0, keys.GetSize());
    EXPECT_FALSE(reg.EnumKeys("SOFTWARE\\NONE", keys));
}

TEST_F(RegistryObjectTest, NegativeNumbersRoundTrip)
{
    ASSERT_TRUE(reg.SetInt(kKey, "Neg", -5));
    ASSERT_TRUE(reg.SetLong(kKey, "NegL", -7));
    int i = 0;
    long l = 0;
    reg.GetInt(kKey, "Neg", i, 0);
    reg.GetLong(kKey, "NegL", l, 0);
    EXPECT_EQ(-5, i);
    EXPECT_EQ(-7, l);
}

TEST_F(RegistryObjectTest, RectStoresWidthAndHeightAndStopsAtFirstMissingValue)
{
    ASSERT_TRUE(reg.SetRect(kKey, "Main", RECT{10, 20, 110, 70}));
    DWORD v = 0;
    reg.GetDword(kKey, "Main.X", v, 0);
    EXPECT_EQ(10u, v);
    reg.GetDword(kKey, "Main.Y", v, 0);
    EXPECT_EQ(20u, v);
    reg.GetDword(kKey, "Main.CX", v, 0);
    EXPECT_EQ(100u, v);
    reg.GetDword(kKey, "Main.CY", v, 0);
    EXPECT_EQ(50u, v);
    RECT r{};
    EXPECT_TRUE(reg.GetRect(kKey, "Main", r, RECT{1, 2, 3, 4}));
    EXPECT_EQ(110, r.right);
    EXPECT_EQ(70, r.bottom);

    ASSERT_TRUE(reg.DeleteValue(kKey, "Main.CX"));
    EXPECT_FALSE(reg.GetRect(kKey, "Main", r, RECT{1, 2, 3, 4}));
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(20, r.top);
    EXPECT_EQ(3, r.right);
    EXPECT_EQ(4, r.bottom);
}

TEST_F(RegistryObjectTest, MultiStringBinaryExistenceAndTreeDeletion)
{
    const char multi[] = "one\0two\0\0three\0";
    setRaw("Multi", REG_MULTI_SZ, multi, sizeof multi);
    CStringArray list;
    EXPECT_TRUE(reg.GetMultiString(kKey, "Multi", list));
    ASSERT_EQ(2, list.GetSize());
    EXPECT_EQ("two", list[1]);
    ASSERT_TRUE(reg.SetString(kKey, "Text", "x"));
    EXPECT_TRUE(reg.GetMultiString(kKey, "Text", list));
    EXPECT_EQ(0, list.GetSize());

    const BYTE data[] = {1, 2, 3};
    ASSERT_TRUE(reg.SetBinary(kKey, "Blob", data, 3));
    BYTE* got = nullptr;
    DWORD size = 0;
    EXPECT_TRUE(reg.GetBinary(kKey, "Blob", got, size));
    ASSERT_EQ(3u, size);
    EXPECT_EQ(0, std::memcmp(got, data, 3));
    delete[] got;

    EXPECT_TRUE(reg.ValueExists(kKey, "blob"));
    EXPECT_FALSE(reg.ValueExists(kKey, "nothing"));
    ASSERT_TRUE(reg.SetDword(CString(kKey) + "\\Sub\\Deeper", "V", 1));
    CStringArray keys;
    EXPECT_TRUE(reg.EnumKeys(kKey, keys));
    EXPECT_EQ(1, keys.GetSize());
    EXPECT_TRUE(reg.KeyExists("software\\vokdwen\\test\\SUB"));
    EXPECT_TRUE(reg.DeleteKeyTree(kKey));
    EXPECT_FALSE(reg.KeyExists(kKey));
    EXPECT_FALSE(reg.DeleteKeyTree(kKey));
}

TEST_F(RegistryObjectTest, RootsAreSeparateAndUnreachableMachineFallsBackToLocal)
{
    CRegCU cu;
    ASSERT_TRUE(cu.SetString(kKey, "Who", "user"));
    CLocalMachineRegistryObject lm("NOSUCHMACHINE");
    EXPECT_EQ(HKEY_LOCAL_MACHINE, lm.GetRootKey());
    CString s;
    lm.GetString(kKey, "Who", s, "none");
    EXPECT_EQ("none", s);
    ASSERT_TRUE(lm.SetString(kKey, "Who", "machine"));
    CLocalMachineRegistryObject local("");
    local.GetString(kKey, "Who", s, "none");
    EXPECT_EQ("machine", s);
    cu.GetString(kKey, "Who", s, "none");
    EXPECT_EQ("user", s);
}

}  // namespace
