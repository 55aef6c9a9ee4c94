// Profile files: Windows semantics of the INI functions and the application profile.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "FileContents.h"
#include "TestEnvironment.h"
#include "winport/Paths.h"
#include "winport/Profile.h"

namespace {

class ProfileTest : public ::testing::Test {
protected:
    TestEnvironment env;
    std::string path = env.Path("data") + "/c/WINDOWS/micUlvo.ini";
};

TEST_F(ProfileTest, WritesIntoTheWindowsDirectoryKeepingOrderAndCase)
{
    ASSERT_TRUE(WritePrivateProfileStringA("Settings", "Communication Port", "2", "micUlvo.ini"));
    ASSERT_TRUE(WritePrivateProfileStringA("Settings", "Auto Load", "1", "micUlvo.ini"));
    ASSERT_TRUE(WritePrivateProfileStringA("Other", "A", "x y", "micUlvo.ini"));
    ASSERT_TRUE(WritePrivateProfileStringA("SETTINGS", "communication port", "3", "MICULVO.INI"));
    EXPECT_EQ("[Settings]\nCommunication Port=3\nAuto Load=1\n\n[Other]\nA=x y\n", FileText(path));

    char buf[64];
    EXPECT_EQ(3u, GetPrivateProfileStringA("other", "a", "d", buf, sizeof buf, "micUlvo.ini"));
    EXPECT_STREQ("x y", buf);
    EXPECT_EQ(1u, GetPrivateProfileStringA("other", "none", "d", buf, sizeof buf, "micUlvo.ini"));
    EXPECT_STREQ("d", buf);
    EXPECT_EQ(2u, GetPrivateProfileStringA("other", "a", "", buf, 3, "micUlvo.ini"));  // cut to the buffer
    EXPECT_STREQ("x ", buf);

    // Lists of sections and keys: zero-separated, ending in two zeros.
    DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buf, sizeof buf, "micUlvo.ini");
    EXPECT_EQ(std::string("Settings\0Other\0", 15), std::string(buf, n));
    n = GetPrivateProfileStringA("Settings", nullptr, "", buf, sizeof buf, "micUlvo.ini");
    EXPECT_EQ(std::string("Communication Port\0Auto Load\0", 29), std::string(buf, n));

    // A list cut to the buffer ends in two zeros and returns the size less two.
    for (DWORD size : {2u, 9u, 10u, 12u}) {
        SCOPED_TRACE(size);
        std::string small(size + 4, '#');
        EXPECT_EQ(size - 2, GetPrivateProfileStringA(nullptr, nullptr, "", small.data(), size, "micUlvo.ini"));
        EXPECT_EQ('\0', small[size - 1]);
        EXPECT_EQ('\0', small[size - 2]);
        EXPECT_EQ(std::string(4, '#'), small.substr(size));
    }

    ASSERT_TRUE(WritePrivateProfileStringA("Settings", "Auto Load", nullptr, "micUlvo.ini"));
    ASSERT_TRUE(WritePrivateProfileStringA("Other", nullptr, nullptr, "micUlvo.ini"));
    EXPECT_EQ("[Settings]\nCommunication Port=3\n\n", FileText(path));
}

TEST_F(ProfileTest, IntegersAsWindowsReadsThem)
{
    std::filesystem::create_directories(path.substr(0, path.rfind('/')));
    std::ofstream(path, std::ios::binary) << "; comment\r\n[S]\r\nneg = -1 \r\nhex=0x1F\r\ntext=abc\r\nlead=12ab\r\n";
    struct Row {
        const char* key;
        int expect;
    };
    for (Row r : {Row{"neg", -1}, Row{"hex", 31}, Row{"text", 0}, Row{"lead", 12}, Row{"missing", 77}}) {
        SCOPED_TRACE(r.key);
        EXPECT_EQ(r.expect, static_cast<int>(GetPrivateProfileIntA("s", r.key, 77, "micUlvo.ini")));
    }
    // A rewrite keeps the comment and the file's line ends.
    ASSERT_TRUE(WritePrivateProfileStringA("S", "new", "1", "micUlvo.ini"));
    EXPECT_EQ("; comment\r\n[S]\r\nneg = -1 \r\nhex=0x1F\r\ntext=abc\r\nlead=12ab\r\nnew=1\r\n", FileText(path));
}

TEST_F(ProfileTest, ApplicationProfileUsesItsNameAndFolder)
{
    ::setenv("WINPORT_PROFILE_DIR", env.Path("profiles").c_str(), 1);
    winport::SetProfileName("micUlvo.ini");
    EXPECT_TRUE(winport::WriteProfileInt("Settings", "Console Type", 1));
    EXPECT_EQ(1u, winport::GetProfileInt("Settings", "Console Type", 0));
    EXPECT_EQ(static_cast<UINT>(-1), winport::GetProfileInt("Settings", "Use With Cantle", -1));
    EXPECT_TRUE(winport::WriteProfileString("Settings", "FileName", "c:\\setups\\a.mic"));
    EXPECT_EQ("c:\\setups\\a.mic", winport::GetProfileString("Settings", "FileName"));
    EXPECT_EQ("none", winport::GetProfileString("Settings", "Other", "none"));
    EXPECT_EQ("[Settings]\nConsole Type=1\nFileName=c:\\setups\\a.mic\n", FileText(env.Path("profiles") + "/micUlvo.ini"));
    ::unsetenv("WINPORT_PROFILE_DIR");
}

TEST_F(ProfileTest, UnwritableFolderFailsAndKeepsNothingHalfWritten)
{
    ::setenv("WINPORT_PROFILE_DIR", "/proc/no-such-dir", 1);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", "x.ini"));
    char buf[8];
    EXPECT_EQ(1u, GetPrivateProfileStringA("S", "k", "d", buf, sizeof buf, "x.ini"));
    ::unsetenv("WINPORT_PROFILE_DIR");
}

TEST_F(ProfileTest, AFolderThatCannotBeWrittenSaysWhy)
{
    std::ofstream(env.Path("plain-file")) << "x";
    const struct {
        std::string folder, error;
    } cases[] = {
        {env.Path("data/new/folder"), ""},  // made
        {env.Path("plain-file/below"), "Not a directory"},
        {"/proc/no-such-dir", "No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(c.error, winport::FolderWriteError(c.folder));
    }
    EXPECT_TRUE(std::filesystem::is_directory(env.Path("data/new/folder")));
    EXPECT_TRUE(std::filesystem::is_empty(env.Path("data/new/folder"))) << "the test file is gone";
}

// A writer killed part-way leaves its temporary; the next write removes it, and leaves alone
// the temporary of a writer that still runs.
TEST_F(ProfileTest, TemporariesOfKilledWritersGoAtTheNextWrite)
{
    ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "v", path.c_str()));
    const pid_t pid = ::fork();
    if (pid == 0) {
        struct rlimit rl;
        rl.rlim_cur = rl.rlim_max = 4096;
        ::setrlimit(RLIMIT_FSIZE, &rl);
        WritePrivateProfileStringA("S", "big", std::string(100000, 'x').c_str(), path.c_str());
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer is killed by its file-size limit";
    // The temporary is ".<name>.<pid>-<n>.new" beside the file.
    const std::filesystem::path file(path);
    const std::string prefix = "." + file.filename().string() + "." + std::to_string(pid) + "-";
    std::vector<std::filesystem::path> killed;
    for (const auto& e : std::filesystem::directory_iterator(file.parent_path()))
        if (e.path().filename().string().rfind(prefix, 0) == 0) killed.push_back(e.path());
    ASSERT_EQ(1u, killed.size());
    const std::string running = (file.parent_path() / ("." + file.filename().string() + ".1-1.new")).string();
    std::ofstream(running) << "being written";

    ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "w", path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(killed[0]));
    EXPECT_TRUE(std::filesystem::exists(running));
    EXPECT_EQ("[S]\nk=w\n", FileText(path));
}

}  // namespace
