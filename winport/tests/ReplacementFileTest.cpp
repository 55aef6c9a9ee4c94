// Replacing a file whole: the new content takes the old one's place only when installed, with
// the old one's permissions; what is not installed leaves nothing behind; temporaries of
// writers that ended are removed by the next replacement, and nothing else is.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "FileContents.h"
#include "TestEnvironment.h"
#include "winport/ReplacementFile.h"

namespace {

std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The id of a process that has ended and been reaped.
pid_t endedProcess()
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

class ReplacementFileTest : public ::testing::Test {
protected:
    TestEnvironment env;
    std::string folder = env.Path("files");
    std::string path = folder + "/setup.mic";
    void SetUp() override { std::filesystem::create_directories(folder); }
};

TEST_F(ReplacementFileTest, InstalledContentReplacesTheFileWithItsPermissions)
{
    ASSERT_TRUE(winport::ReplaceFileWith(path, "old", 3));
    ASSERT_EQ(0, ::chmod(path.c_str(), 0640));
    {
        winport::ReplacementFile file(path);
        ASSERT_TRUE(file.Made());
        EXPECT_TRUE(file.ReplacesExisting());
        EXPECT_EQ(folder, std::filesystem::path(file.TempPath()).parent_path());
        ASSERT_TRUE(file.Write("new content", 11));
        EXPECT_EQ("old", FileText(path));  // nothing changes before the install
        ASSERT_TRUE(file.Install());
    }
    EXPECT_EQ("new content", FileText(path));
    struct stat st {};
    ASSERT_EQ(0, ::stat(path.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
    EXPECT_EQ(std::vector<std::string>{"setup.mic"}, entries(folder));

    // Copying the old bytes first serves a save that rewrites part of the file.
    winport::ReplacementFile partial(path);
    ASSERT_TRUE(partial.CopyExisting());
    EXPECT_EQ("new content", FileText(partial.TempPath()));
}

TEST_F(ReplacementFileTest, WhatIsNotInstalledLeavesThePreviousFileAndNoTemporary)
{
    ASSERT_TRUE(winport::ReplaceFileWith(path, "old", 3));
    {
        winport::ReplacementFile file(path);
        ASSERT_TRUE(file.Write("half", 4));
    }
    EXPECT_EQ("old", FileText(path));
    EXPECT_EQ(std::vector<std::string>{"setup.mic"}, entries(folder));

    // A folder of the name, or a folder that does not exist: no replacement, nothing made.
    std::filesystem::create_directories(folder + "/dir.mic");
    EXPECT_FALSE(winport::ReplaceFileWith(folder + "/dir.mic", "x", 1));
    EXPECT_FALSE(winport::ReplaceFileWith(folder + "/none/x.mic", "x", 1));
    EXPECT_EQ((std::vector<std::string>{"dir.mic", "setup.mic"}), entries(folder));
}

// Only temporaries of this file whose writer has ended go; those of running writers, of other
// files and names that merely look alike stay.
TEST_F(ReplacementFileTest, TemporariesOfEndedWritersGoAtTheNextReplacement)
{
    const std::string ended = std::to_string(endedProcess());
    const std::string running = std::to_string(::getppid());
    const std::vector<std::string> kept = {".setup.mic." + running + "-3.new", ".other.mic." + ended + "-1.new",
                                           ".setup.mic." + ended + "-1.new.keep", ".setup.mic.x" + ended + "-1.new",
                                           ".setup.mic." + ended + ".new", "..setup.mic." + running + "-3.new.Ab12Cd",
                                           "..setup.mic." + ended + "-1.new.Ab12C"};
    const std::vector<std::string> gone = {".setup.mic." + ended + "-1.new", ".setup.mic." + ended + "-27.new",
                                           "..setup.mic." + ended + "-27.new.Ab12Cd"};
    for (const auto& name : kept) std::ofstream(folder + "/" + name) << "x";
    for (const auto& name : gone) std::ofstream(folder + "/" + name) << "x";

    ASSERT_TRUE(winport::ReplaceFileWith(path, "new", 3));
    std::vector<std::string> expected = kept;
    expected.push_back("setup.mic");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, entries(folder));
}

}  // namespace
