// Start-up: the console type from the command line, the profile file, and the single-instance
// check between real processes of the mic program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ProgramProcess.h"
#include "TestEnvironment.h"
#include "app/MicApp.h"
#include "app/MicDlg.h"
#include "winport/Profile.h"
#include "winport/Registry.h"
#include "winport/Window.h"

namespace {

// The program as these tests start it: on Qt's offscreen platform, whatever display the caller
// has or lacks (the tests look at no pixels; children take this process's environment).
std::string micProgram()
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return std::string(CONSOLE_BINARY_DIR) + "/mic/mic";
}

// The published handle of a program, or 0.
DWORD publishedHandle(const char* exeName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\VOKDWEN\\Instance Checker", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD value = 0, size = sizeof value, type = 0;
    std::string name = std::string(exeName) + " Handle";
    LONG r = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS ? value : 0;
}

// Waits until a program has published its window.
bool waitPublished(const char* exeName)
{
    for (int i = 0; i < 500; ++i) {
        if (publishedHandle(exeName)) return true;
        ::usleep(10000);
    }
    return false;
}

}  // namespace

TEST(MicApp, ConsoleTypeFromTheCommandLine)
{
    TestEnvironment env;
    struct Row {
        const char* line;
        int type;
    };
    const Row rows[] = {{"KOBAL", 1}, {"kobal", 0}, {"KOBAL ", 0}, {"KOBAL x", 0}, {"", 0}, {" KOBAL", 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string("'") + r.line + "'");
        int dialogs = 0;
        CMicApp app([&](CMicApp&) { ++dialogs; });
        app.SetExecutableName("kobaltest");
        EXPECT_FALSE(app.InitInstance(r.line));
        EXPECT_EQ(1, dialogs);
        std::string profile = winport::ProfilePath("micUlvo.ini");
        EXPECT_EQ(static_cast<UINT>(r.type), GetPrivateProfileIntA("Settings", "Console Type", -5, profile.c_str()));
    }
    // The words of main's arguments make the line.
    char a0[] = "mic", a1[] = "KOBAL", a2[] = "x";
    char* one[] = {a0, a1};
    char* two[] = {a0, a1, a2};
    EXPECT_EQ(CString("KOBAL"), CMicApp::CommandLineOf(2, one));
    EXPECT_EQ(CString("KOBAL x"), CMicApp::CommandLineOf(3, two));
}

TEST(MicApp, SecondCopyInTheSameProcessRunsNoDialog)
{
    TestEnvironment env;
    int inner = 0;
    CMicApp first([&](CMicApp&) {
        CMicApp second([&](CMicApp&) { ++inner; });
        second.SetExecutableName("sametest");
        second.InitInstance("");
        CMicApp other([&](CMicApp&) { ++inner; });
        other.SetExecutableName("othertest");
        other.InitInstance("");
    });
    first.SetExecutableName("sametest");
    first.InitInstance("");
    EXPECT_EQ(1, inner) << "only the program of another name runs its dialog";
}

TEST(MicAppThreads, SecondProcessWakesTheFirstOnceAndEnds)
{
    TestEnvironment env;
    PointSerialPortsNowhere(env.Root());
    ProgramProcess first(micProgram(), {});
    ASSERT_FALSE(first.WaitFor("running", 15000).empty());
    ASSERT_TRUE(waitPublished("mic"));

    ProgramProcess second(micProgram(), {"KOBAL"});
    EXPECT_EQ(0, second.Wait(5000));
    EXPECT_TRUE(second.WaitFor("running", 200).empty()) << "the second copy runs no dialog";
    EXPECT_FALSE(first.WaitFor("wake-up", 5000).empty());
    EXPECT_TRUE(first.WaitFor("wake-up", 300).empty()) << "woken once";
    // The second copy did not touch the profile.
    EXPECT_EQ(0u, GetPrivateProfileIntA("Settings", "Console Type", -5, winport::ProfilePath("micUlvo.ini").c_str()));

    HWND window = FindWindowA(CMicDlg::kWindowClass, nullptr);
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(0, first.Wait(5000));
    EXPECT_EQ(0u, publishedHandle("mic")) << "the handle is withdrawn at the end";
    // Closing saved the settings.
    EXPECT_EQ(1u, GetPrivateProfileIntA("Settings", "Auto Restore", -5, winport::ProfilePath("micUlvo.ini").c_str()));
}

TEST(MicAppThreads, ProgramsOfOtherNamesDoNotSeeEachOther)
{
    TestEnvironment env;
    PointSerialPortsNowhere(env.Root());
    std::string copy = env.Path("othermic");
    std::filesystem::copy_file(micProgram(), copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    ProgramProcess first(micProgram(), {});
    ASSERT_FALSE(first.WaitFor("running", 15000).empty());
    ProgramProcess other(copy, {});
    EXPECT_FALSE(other.WaitFor("running", 15000).empty());
    ASSERT_TRUE(waitPublished("mic"));
    ASSERT_TRUE(waitPublished("othermic"));
    EXPECT_TRUE(first.WaitFor("wake-up", 300).empty());
    for (DWORD h : {publishedHandle("mic"), publishedHandle("othermic")}) {
        EXPECT_TRUE(PostMessageA(UlongToHwnd(h), WM_CLOSE, 0, 0));
    }
    EXPECT_EQ(0, first.Wait(5000));
    EXPECT_EQ(0, other.Wait(5000));
}
