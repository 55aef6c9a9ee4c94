// The mic program in a process of its own, started where things fail: what it tells the
// operator names what failed. Every message box comes on standard output ("box <caption>:
// <text>"); standard error names the serial device and the variable that chose it, the
// registry store that cannot be used, and the folder that cannot be written; the trace shows
// the port's failure.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ProgramProcess.h"
#include "TestEnvironment.h"

namespace {

bool Has(const std::vector<std::string>& lines, const std::string& text)
{
    for (const std::string& line : lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(MicProgramErrors, EachFailureAtStartIsNamedBesideItsBox)
{
    TestEnvironment env;
    PointSerialPortsNowhere(env.Root());
    ::setenv("WINPORT_COM1", "/dev/nonexistent", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("WINPORT_TRACE", "1", 1);
    // A settings folder below a plain file, a damaged registry store, a restore file that is
    // no setup.
    std::ofstream(env.Path("plain-file")) << "x";
    const std::string settings = env.Path("plain-file/settings");
    ::setenv("WINPORT_PROFILE_DIR", settings.c_str(), 1);
    const std::string store = env.Path("registry/HKEY_CURRENT_USER.db");
    std::ofstream(store) << std::string(4096, 'x');
    std::filesystem::create_directories(env.Path("data/c/WINDOWS"));
    std::ofstream(env.Path("data/c/WINDOWS/RestoreSnapshotUlvo.mic")) << "short";

    ChildProcess mic;
    ASSERT_TRUE(mic.Start({std::string(CONSOLE_BINARY_DIR) + "/mic/mic"}, false, /*withErrors=*/true));
    std::vector<std::string> lines;
    const std::string box = "box Remote Mic Control: Failed to load auto restore file. Please select a Setup file.";
    std::string line;
    while (!Has(lines, box) && mic.ReadLine(line, 30000)) lines.push_back(line);
    mic.Signal(SIGTERM);
    EXPECT_EQ(0, mic.Wait(20000));
    while (mic.ReadLine(line, 0)) lines.push_back(line);
    ::unsetenv("WINPORT_PROFILE_DIR");
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("WINPORT_TRACE");

    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    EXPECT_TRUE(Has(lines, box)) << all;
    EXPECT_TRUE(Has(lines, "mic: serial port COM1 (WINPORT_COM1=/dev/nonexistent) does not open: "
                           "/dev/nonexistent: open: No such file or directory"))
        << all;
    EXPECT_TRUE(Has(lines, "COM1 does not open: /dev/nonexistent: open: No such file or directory")) << "the trace shows it";
    EXPECT_TRUE(Has(lines, "the store " + store + " cannot be opened: file is not a database; the program runs on its defaults"))
        << all;
    EXPECT_TRUE(Has(lines, "mic: the folder " + settings + " cannot be written (Not a directory): its settings (micUlvo.ini) will not be saved"))
        << all;
}
