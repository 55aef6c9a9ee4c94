// Filing paths: the parts of a Windows path, the user's automation-pass area, the folder lists,
// and the folders that exist below the data root.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "TestEnvironment.h"  // testsupport
#include "quenby/FilingPath.h"

namespace {

TEST(FilingPath, PartsUserAndPassLevels)
{
    struct Row {
        const char* text;
        int valid;
        const char* drive;
        const char* directory;
        const char* file;
        const char* ext;
        const char* machine;
        const char* user;
        const char* levels[4];
    };
    const Row rows[] = {
        {"C:\\users\\user1\\automation passes\\film\\reel1\\", 1, "C:", "\\users\\user1\\automation passes\\film\\reel1\\", "", "", "",
         "user1", {"film", "reel1", "", ""}},
        {"C:\\Users\\User1\\Automation Passes\\x\\", 1, "C:", "\\Users\\User1\\Automation Passes\\x\\", "", "", "", "User1", {"x", "", "", ""}},
        {"C:\\users\\user1\\", 0, "C:", "\\users\\user1\\", "", "", "", "user1", {"", "", "", ""}},
        {"C:\\users\\u\\automation passes\\1\\2\\3\\4\\5\\mix.aut", 1, "C:", "\\users\\u\\automation passes\\1\\2\\3\\4\\5\\", "mix",
         ".aut", "", "u", {"1", "2", "3", "4"}},
        // A level whose folder has no backslash behind it is empty.
        {"C:\\users\\u\\automation passes\\film", 1, "C:", "\\users\\u\\automation passes\\", "film", "", "", "u", {"", "", "", ""}},
        // A "/" in a folder name stays in the folder.
        {"C:\\projects\\a/b\\take.2.txt", 0, "C:", "\\projects\\a/b\\", "take.2", ".txt", "", "", {"", "", "", ""}},
        {"\\\\server\\share\\users\\ann\\automation passes\\p\\", 1, "", "\\\\server\\share\\users\\ann\\automation passes\\p\\", "", "",
         "server", "ann", {"p", "", "", ""}},
        // The pass area before the users folder: no user between them.
        {"C:\\automation passes\\x\\users\\y\\", 0, "C:", "\\automation passes\\x\\users\\y\\", "", "", "", "y\\", {"", "", "", ""}},
        {"users\\a", 0, "", "users\\", "a", "", "", "a", {"", "", "", ""}},
        {"", 0, "", "", "", "", "", "", {"", "", "", ""}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        CFilingPath path{CString(r.text)};
        EXPECT_EQ(r.valid, path.IsValid());
        EXPECT_EQ(CString(r.text), path.GetFullPath());
        EXPECT_EQ(CString(r.drive), path.GetDrive());
        EXPECT_EQ(CString(r.directory), path.GetDirectory());
        EXPECT_EQ(CString(r.file), path.GetFileName());
        EXPECT_EQ(CString(r.ext), path.GetExtension());
        EXPECT_EQ(CString(r.machine), path.GetMachine());
        EXPECT_EQ(CString(r.user), path.GetUser());
        for (int level = 1; level <= 4; ++level) EXPECT_EQ(CString(r.levels[level - 1]), path.GetPassLevel(level)) << level;
    }
    CFilingPath empty;
    EXPECT_EQ(0, empty.IsValid());
    EXPECT_EQ(CString(), empty.GetPassLevel(1));
}

TEST(FilingPath, ExtensionFoldersAndLongParts)
{
    CFilingPath path{CString("C:\\a\\\\b\\c.txt")};
    // Each call answers its own string.
    CString first = path.GetExtensionWithoutDot();
    first += "changed";
    EXPECT_EQ(CString("txt"), path.GetExtensionWithoutDot());
    EXPECT_EQ(CString(), CFilingPath(CString("C:\\a\\b")).GetExtensionWithoutDot());
    EXPECT_EQ(CString("C:\\a\\\\b\\"), path.GetDriveAndDirectory());
    CStringArray folders;
    folders.Add("left over");
    EXPECT_EQ(2, path.SplitDirectory(folders));
    ASSERT_EQ(2, folders.GetSize());
    EXPECT_EQ(CString("a"), folders[0]);
    EXPECT_EQ(CString("b"), folders[1]);

    // Parts longer than 255 bytes are cut.
    std::string longName(300, 'n');
    CFilingPath longPath{CString(("C:\\" + longName + "\\" + longName + ".txt").c_str())};
    EXPECT_EQ(255, longPath.GetDirectory().GetLength());
    EXPECT_EQ(255, longPath.GetFileName().GetLength());
}

TEST(FilingPath, ExistingFoldersAreFoundWithoutMovingTheCurrentDirectory)
{
    TestEnvironment env;
    std::filesystem::create_directories(env.Path("data/c/Alpha/beta"));
    std::filesystem::create_directories(env.Path("data/c/other"));
    char before[4096];
    ASSERT_NE(nullptr, getcwd(before, sizeof before));
    struct Row {
        const char* text;
        std::vector<const char*> kept;
    };
    for (const Row& r : {Row{"C:\\alpha\\BETA\\gamma\\delta\\f.txt", {"alpha", "BETA"}}, Row{"\\Alpha\\", {"Alpha"}},
                         Row{"C:\\missing\\alpha\\", {}}, Row{"C:\\other\\beta\\", {"other"}}}) {
        SCOPED_TRACE(r.text);
        CStringArray out;
        out.Add("left over");
        EXPECT_EQ(static_cast<int>(r.kept.size()), CFilingPath(CString(r.text)).SplitExistingDirectory(out));
        ASSERT_EQ(static_cast<INT_PTR>(r.kept.size()), out.GetSize());
        for (size_t i = 0; i < r.kept.size(); ++i) EXPECT_EQ(CString(r.kept[i]), out[static_cast<INT_PTR>(i)]);
    }
    char after[4096];
    ASSERT_NE(nullptr, getcwd(after, sizeof after));
    EXPECT_STREQ(before, after);
}

}  // namespace
