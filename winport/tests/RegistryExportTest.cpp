// REGEDIT4 export of key branches and single values, against files written by hand.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "FileContents.h"
#include "HexText.h"
#include "TestEnvironment.h"
#include "winport/Paths.h"
#include "winport/RegistryObject.h"

namespace {

#define EXPECT_SAME_BYTES(expected, actual) \
    EXPECT_EQ(expected, actual) << "expected: " << HexText(expected) << "\nactual:   " << HexText(actual)

class RegistryExportTest : public ::testing::Test {
protected:
    TestEnvironment env;
    CCurrentUserRegistryObject reg;
    const CString key = "SOFTWARE\\VOKDWEN\\EXPORT";

    void setRaw(const CString& k, const char* value, DWORD type, const void* data, DWORD size)
    {
        HKEY h = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, k, &h));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, value, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(h);
    }
};

TEST_F(RegistryExportTest, BranchIsWrittenDepthFirstWithEscapesAndHexLines)
{
    ASSERT_TRUE(reg.SetString(key, "", "root value"));
    // Backslash and double quote escaped, tab and terminator dropped, 0xE9 kept.
    const char path[] = "C:\\cantle\\\"x\"\t\xE9";
    setRaw(key, "Path", REG_SZ, path, sizeof path);
    ASSERT_TRUE(reg.SetDword(key, "Count", 0x1234ABCD));
    BYTE blob[45];
    for (int i = 0; i < 45; ++i) blob[i] = static_cast<BYTE>(i);
    ASSERT_TRUE(reg.SetBinary(key, "Blob", blob, sizeof blob));
    const BYTE two[] = {1, 2};
    setRaw(key, "Short", REG_DWORD, two, 2);
    setRaw(key, "Multi", REG_MULTI_SZ, "a\0b\0", 5);
    const BYTE q[] = {0xFF, 0, 0, 0, 0, 0, 0, 0};
    setRaw(key, "Q\"uote\\", REG_QWORD, q, 8);
    setRaw(key, "Empty", REG_BINARY, nullptr, 0);
    ASSERT_TRUE(reg.SetDword(key + "\\Beta", "x", 1));
    ASSERT_TRUE(reg.SetDword(key + "\\Beta\\Inner", "y", 2));
    ASSERT_TRUE(reg.SetString(key + "\\alpha", "", ""));
    ASSERT_TRUE(reg.DeleteValue(key + "\\alpha", ""));

    const CString file = "C:\\exports\\all.reg";
    ASSERT_TRUE(winport::EnsureParentDir(winport::HostPath(file)));
    ASSERT_TRUE(reg.ExportCurrentUserKey(file, key, "w"));
    const std::string expected =
        "REGEDIT4\n"
        "\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\VOKDWEN\\EXPORT]\n"
        "@=\"root value\"\n"
        "\"Path\"=\"C:\\\\cantle\\\\\\\"x\\\"\xE9\"\n"
        "\"Count\"=dword:1234abcd\n"
        "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\n"
        "15,16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,\\\n"
        "29,2a,2b,2c\n"
        "\"Short\"=hex(4):01,02\n"
        "\"Multi\"=hex(7):61,00,62,00,00\n"
        "\"Q\\\"uote\\\\\"=hex(b):ff,00,00,00,00,00,00,00\n"
        "\"Empty\"=hex:\n"
        "\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\VOKDWEN\\EXPORT\\alpha]\n"
        "\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\VOKDWEN\\EXPORT\\Beta]\n"
        "\"x\"=dword:00000001\n"
        "\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\VOKDWEN\\EXPORT\\Beta\\Inner]\n"
        "\"y\"=dword:00000002\n"
        "\n";
    EXPECT_SAME_BYTES(expected, FileText(winport::HostPath(file)));

    // Appending a single value adds no second header; a missing value adds nothing.
    ASSERT_TRUE(reg.ExportCurrentUserValue(file, key + "\\Beta", "X", "a"));
    ASSERT_TRUE(reg.ExportCurrentUserValue(file, key + "\\Beta", "nothing", "a"));
    ASSERT_TRUE(reg.ExportCurrentUserKey(file, "SOFTWARE\\NONE", "a"));
    EXPECT_SAME_BYTES(expected + "[HKEY_CURRENT_USER\\SOFTWARE\\VOKDWEN\\EXPORT\\Beta]\n\"X\"=dword:00000001\n\n",
                      FileText(winport::HostPath(file)));
}

TEST_F(RegistryExportTest, LongValueNamesDoNotStopTheExportAndFailuresAreReported)
{
    const std::string longName(300, 'L');
    ASSERT_TRUE(reg.SetDword(key, longName.c_str(), 1));
    ASSERT_TRUE(reg.SetDword(key, "After", 2));
    CStringArray names;
    ASSERT_TRUE(reg.EnumValues(key, names));
    ASSERT_EQ(2, names.GetSize());
    EXPECT_EQ(300, names[0].GetLength());

    const std::string file = env.Path("long.reg");
    ASSERT_TRUE(reg.ExportLocalMachineValue(file.c_str(), key, "After", "w"));  // label only; nothing under HKLM
    ASSERT_TRUE(reg.ExportCurrentUserKey(file.c_str(), key, "a"));
    EXPECT_SAME_BYTES("REGEDIT4\n\n"
                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VOKDWEN\\EXPORT]\n\"After\"=dword:00000002\n\n"
                      "[HKEY_CURRENT_USER\\SOFTWARE\\VOKDWEN\\EXPORT]\n\"" + longName +
                          "\"=dword:00000001\n\"After\"=dword:00000002\n\n",
                      FileText(file));

    EXPECT_FALSE(reg.ExportCurrentUserKey(env.Path("no/such/folder/x.reg").c_str(), key, "w"));
    EXPECT_FALSE(reg.ExportCurrentUserKey("/dev/full", key, "w"));  // written nowhere: not a success
}

}  // namespace
