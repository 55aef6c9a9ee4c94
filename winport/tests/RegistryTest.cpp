// The registry functions on the SQLite store.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TestEnvironment.h"
#include "winport/Registry.h"

namespace {

class RegistryTest : public ::testing::Test {
protected:
    TestEnvironment env;

    static std::string queryString(HKEY root, const char* key, const char* value)
    {
        HKEY h = nullptr;
        if (RegOpenKeyExA(root, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return "<no key>";
        char buf[256] = {};
        DWORD size = sizeof buf, type = 0;
        LONG r = RegQueryValueExA(h, value, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
        RegCloseKey(h);
        return r == ERROR_SUCCESS ? std::string(buf) : "<no value>";
    }
};

TEST_F(RegistryTest, CreateReportsNewThenExistingAndNamesIgnoreCase)
{
    HKEY h = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VOKDWEN\\KIVSERVER", 0, nullptr,
                                             REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &h, &disposition));
    EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
    const char text[] = "Studio";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, "ServerName", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text));
    RegCloseKey(h);

    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\vokdwen\\KivServer", 0, nullptr,
                                             REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &h, &disposition));
    EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
    RegCloseKey(h);

    EXPECT_EQ("Studio", queryString(HKEY_LOCAL_MACHINE, "software\\VOKDWEN\\kivserver", "SERVERNAME"));
    // The current user's root is another store.
    EXPECT_EQ("<no key>", queryString(HKEY_CURRENT_USER, "SOFTWARE\\VOKDWEN\\KIVSERVER", "ServerName"));

    // Names keep the case they were created with.
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &h));
    char name[64];
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyA(h, 0, name, sizeof name));
    EXPECT_STREQ("VOKDWEN", name);
    RegCloseKey(h);
}

TEST_F(RegistryTest, ValuesKeepTypeAndBytesAndSizeRules)
{
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "T", &h));
    const BYTE bytes[] = {0x00, 0xFF, 0x80, 0x00, 0x41};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, "Bin", 0, REG_BINARY, bytes, sizeof bytes));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, "Empty", 0, REG_NONE, nullptr, 0));

    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(h, "bin", nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
    EXPECT_EQ(5u, size);
    BYTE small[2];
    size = sizeof small;
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(h, "Bin", nullptr, nullptr, small, &size));
    EXPECT_EQ(5u, size);
    BYTE buf[8] = {};
    size = sizeof buf;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(h, "Bin", nullptr, &type, buf, &size));
    EXPECT_EQ(0, std::memcmp(buf, bytes, 5));

    size = 99;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(h, "Empty", nullptr, &type, buf, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), type);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(h, "Missing", nullptr, &type, nullptr, &size));

    // Rewriting keeps the value's place in the creation order; deleting and adding moves it last.
    DWORD one = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, "BIN", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, "Last", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4));
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[32];
        DWORD cch = sizeof name;
        if (RegEnumValueA(h, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    EXPECT_EQ((std::vector<std::string>{"Bin", "Empty", "Last"}), names);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(h, "empty"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(h, "empty"));
    RegCloseKey(h);
}

TEST_F(RegistryTest, SubkeysEnumerateByNameIgnoringCase)
{
    for (const char* k : {"R\\beta", "R\\Alpha", "R\\gamma", "R\\Delta"}) {
        HKEY h = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, k, &h));
        RegCloseKey(h);
    }
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "R", 0, KEY_READ, &h));
    std::vector<std::string> names;
    char name[16];
    for (DWORD i = 0; RegEnumKeyA(h, i, name, sizeof name) == ERROR_SUCCESS; ++i) names.push_back(name);
    EXPECT_EQ((std::vector<std::string>{"Alpha", "beta", "Delta", "gamma"}), names);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyA(h, 4, name, sizeof name));
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyA(h, 0, name, 5));  // "Alpha" needs 6 with its terminator
    RegCloseKey(h);
}

TEST_F(RegistryTest, DeleteKeyNeedsNoSubkeysTreeDeleteTakesAll)
{
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "A\\B\\C", &h));
    RegCloseKey(h);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, "A\\B"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, "a\\b\\c"));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "A\\B\\C2", &h));
    RegCloseKey(h);
    EXPECT_EQ(ERROR_SUCCESS, SHDeleteKeyA(HKEY_CURRENT_USER, "A"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_CURRENT_USER, "A", 0, KEY_READ, &h));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, SHDeleteKeyA(HKEY_CURRENT_USER, "A"));
}

TEST_F(RegistryTest, AccessMaskIsEnforcedAndDeletedKeysReportSo)
{
    HKEY h = nullptr, reader = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "K", &h));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "K", 0, KEY_READ, &reader));
    DWORD v = 5;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegSetValueExA(reader, "V", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    HKEY sub = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegCreateKeyA(reader, "New", &sub));  // no KEY_CREATE_SUB_KEY
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(h, "Old", &sub));
    RegCloseKey(sub);
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(reader, "old", &sub));  // an existing key still opens
    RegCloseKey(sub);
    ASSERT_EQ(ERROR_SUCCESS, SHDeleteKeyA(HKEY_CURRENT_USER, "K"));
    EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExA(h, "V", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    RegCloseKey(h);
    RegCloseKey(reader);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reader));
}

TEST_F(RegistryTest, StoreThatIsNoDatabaseFailsCleanly)
{
    // Garbage where the database should be, and a truncated database header.
    const std::string path = env.Path("registry") + "/HKEY_LOCAL_MACHINE.db";
    testing::internal::CaptureStderr();
    for (const std::string& content : {std::string(4096, 'x'), std::string("SQLite format 3\0\x10\x00garbage", 24)}) {
        SCOPED_TRACE(content.substr(0, 8));
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << content;
        }
        HKEY h = nullptr;
        LONG r = RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE", &h);
        EXPECT_NE(ERROR_SUCCESS, r);
        EXPECT_EQ(nullptr, h);
        EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &h));
    }
    // Standard error names the store and SQLite's reason, once.
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, said.find(path + " cannot be opened: file is not a database; the program runs on its defaults"))
        << said;
    EXPECT_EQ(said.find(path), said.rfind(path)) << said;
    // The other root is untouched.
    HKEY h = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "SOFTWARE", &h));
    RegCloseKey(h);
}

TEST_F(RegistryTest, LongValueNamesAreKeptWhole)
{
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "L", &h));
    std::string longName(300, 'n');
    DWORD v = 1;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, longName.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4));
    DWORD maxName = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                              &maxName, nullptr, nullptr, nullptr));
    EXPECT_EQ(300u, maxName);
    std::vector<char> name(301);
    DWORD cch = 300;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueA(h, 0, name.data(), &cch, nullptr, nullptr, nullptr, nullptr));
    cch = 301;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueA(h, 0, name.data(), &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(300u, cch);
    EXPECT_EQ(longName, std::string(name.data()));
    // A key name is limited to 255 characters.
    HKEY k = nullptr;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyA(h, std::string(256, 'k').c_str(), &k));
    RegCloseKey(h);
}

}  // namespace
