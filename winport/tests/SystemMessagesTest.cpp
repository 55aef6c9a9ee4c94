#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestEnvironment.h"
#include "winport/Paths.h"
#include "winport/SystemMessages.h"

namespace {

constexpr DWORD kSystemText = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// The texts, as the system gives them, of codes that file operations return.
TEST(SystemMessages, TextsOfFileErrorsInANewBlock)
{
    const struct {
        DWORD code;
        const char* text;
    } rows[] = {{2, "The system cannot find the file specified.\r\n"},
                {5, "Access is denied.\r\n"},
                {32, "The process cannot access the file because it is being used by another process.\r\n"},
                {112, "There is not enough space on the disk.\r\n"},
                {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        char* text = nullptr;
        const DWORD length = FormatMessageA(kSystemText, NULL, row.code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                            reinterpret_cast<LPSTR>(&text), 0, NULL);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text), row.text);
        EXPECT_EQ(length, std::string(row.text).size());
        EXPECT_EQ(LocalFree(text), nullptr);
    }
}

TEST(SystemMessages, FailuresLeaveNothingToFree)
{
    char* text = nullptr;
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(kSystemText, NULL, 987654, 0, reinterpret_cast<LPSTR>(&text), 0, NULL), 0u);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));

    char small[8];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, 5, 0, small, sizeof small, NULL), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    char room[64];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, NULL, 5, 0, room, sizeof room, NULL), 19u);
    EXPECT_STREQ(room, "Access is denied.\r\n");
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING, "x", 5, 0, room, sizeof room, NULL), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Only the last folder of a path is made, below the data root.
TEST(SystemMessages, CreateDirectoryMakesTheLastFolderOnly)
{
    TestEnvironment env;
    std::filesystem::create_directories(env.Path("data/c"));
    EXPECT_TRUE(CreateDirectoryA("C:\\Pieces\\", NULL));
    EXPECT_TRUE(std::filesystem::is_directory(env.Path("data/c/Pieces")));
    EXPECT_FALSE(CreateDirectoryA("C:\\Pieces", NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA("C:\\Missing\\Pieces", NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
