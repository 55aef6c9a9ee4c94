// The registry store shared between processes and threads: a second program on the same store,
// change waits, and another machine's root through the registry service.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "StorageTestSupport.h"
#include "TestEnvironment.h"
#include "winport/Registry.h"
#include "winport/RegistryObject.h"
#include "winport/RegistryService.h"

namespace {

const std::string kRegtool = std::string(CONSOLE_BINARY_DIR) + "/tools/regtool/regtool";
const std::string kRegserver = std::string(CONSOLE_BINARY_DIR) + "/tools/regserver/regserver";
const char kKey[] = "SOFTWARE\\VOKDWEN\\VUR OVIDAVI";

/// Repeats `write` every 20 ms until `done` holds or 5 s have passed; true when done.
template <class Write, class Done>
bool writeUntil(Write write, Done done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
        write(i);
        for (int k = 0; k < 4; ++k) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return done();
}

TEST(RegistryProcesses, ValuesWrittenByOneProcessAreReadByAnother)
{
    TestEnvironment env;
    ASSERT_EQ(0, RunProgram({kRegtool, "set", "HKCU", kKey, "Use With Cantle", "dword", "1"}));
    CRegCU reg;
    DWORD v = 0;
    EXPECT_TRUE(reg.GetDword("software\\vokdwen\\vur ovidavi", "use with cantle", v, 7));
    EXPECT_EQ(1u, v);

    ASSERT_TRUE(reg.SetString(kKey, "Last Setup", "c:\\setups\\one.mic"));
    std::string line;
    EXPECT_EQ(0, RunProgram({kRegtool, "get", "HKCU", "SOFTWARE\\VOKDWEN\\vur ovidavi", "LAST SETUP"}, &line));
    EXPECT_EQ("sz:c:\\setups\\one.mic", line);
    EXPECT_EQ(1, RunProgram({kRegtool, "get", "HKLM", kKey, "Last Setup"}));  // the other root
}

// A damaged store: the tool fails and says which file and what is wrong with it.
TEST(RegistryProcesses, ToolNamesADamagedStore)
{
    TestEnvironment env;
    const std::string db = winport::RegistryDir() + "/HKEY_CURRENT_USER.db";
    std::filesystem::create_directories(winport::RegistryDir());
    std::ofstream(db, std::ios::binary) << std::string(8192, 'x');
    for (const char* command : {" get HKCU KEY NAME", " set HKCU KEY NAME dword 1"}) {
        SCOPED_TRACE(command);
        int status = 0;
        const std::string out = storagetest::RunCommand(kRegtool + command + " 2>&1", &status);
        EXPECT_EQ(1, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        EXPECT_NE(out.find(db), std::string::npos) << out;
        EXPECT_NE(out.find("damaged"), std::string::npos) << out;
    }
}

TEST(RegistryProcesses, VolatileKeysEndWithTheBootTheyWereMadeIn)
{
    TestEnvironment env;
    CRegCU reg;
    ASSERT_TRUE(reg.SetDword("Instances", "Kept", 1));
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Instances\\mic", 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_WRITE, nullptr, &h, nullptr));
    DWORD window = 0x1234;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(h, "Window", 0, REG_DWORD, reinterpret_cast<BYTE*>(&window), 4));
    RegCloseKey(h);
    EXPECT_EQ(ERROR_CHILD_MUST_BE_VOLATILE, RegCreateKeyA(HKEY_CURRENT_USER, "Instances\\mic\\Lasting", &h));
    EXPECT_EQ(0, RunProgram({kRegtool, "get", "HKCU", "Instances\\mic", "Window"}));

    // The same store after a restart of the machine: the volatile key is gone, its parent stays.
    const std::string db = env.Path("registry") + "/HKEY_CURRENT_USER.db";
    ASSERT_EQ(0, RunProgram({"/usr/bin/sqlite3", db, "UPDATE keys SET volatile_boot = 'an earlier boot' "
                                                     "WHERE volatile_boot IS NOT NULL"}));
    EXPECT_EQ(1, RunProgram({kRegtool, "get", "HKCU", "Instances\\mic", "Window"}));
    std::string line;
    EXPECT_EQ(0, RunProgram({kRegtool, "get", "HKCU", "Instances", "Kept"}, &line));
    EXPECT_EQ("dword:1", line);
}

TEST(RegistryProcesses, WaitForValueChangeWakesOnAnotherProcessWrite)
{
    TestEnvironment env;
    CRegCU reg;
    ASSERT_TRUE(reg.SetDword(kKey, "Watched", 0));
    ChildProcess waiter;
    ASSERT_TRUE(waiter.Start({kRegtool, "wait", "HKCU", kKey, "Watched"}));
    std::string line;
    ASSERT_TRUE(waiter.ReadLine(line, 5000));
    EXPECT_EQ("waiting", line);

    // Writes to another value of the key, and below it, do not end the wait.
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(reg.SetDword(kKey, "Other", static_cast<DWORD>(i)));
        ASSERT_TRUE(reg.SetDword(CString(kKey) + "\\Below", "X", static_cast<DWORD>(i)));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(waiter.Running());

    EXPECT_TRUE(writeUntil([&](int i) { reg.SetDword(kKey, "Watched", static_cast<DWORD>(i + 1)); },
                           [&] { return !waiter.Running(); }));
    ASSERT_TRUE(waiter.ReadLine(line, 1000));
    EXPECT_EQ("changed", line);
    EXPECT_EQ(0, waiter.Wait(1000));
}

TEST(RegistryThreads, WaitForValueChangeWaitsThroughOtherValuesAndCanBeCancelled)
{
    TestEnvironment env;
    {
        CRegCU reg;
        ASSERT_TRUE(reg.SetString(kKey, "Watched", "a"));
    }
    std::atomic<int> result{-1};
    std::jthread waiter([&](std::stop_token stop) {
        CRegCU reg;
        result = reg.WaitForValueChange(kKey, "Watched", stop);
    });
    CRegCU reg;
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(reg.SetDword(kKey, "Other", static_cast<DWORD>(i)));
    ASSERT_TRUE(reg.SetString(kKey, "Watched", "a"));  // the same bytes again: no change
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(-1, result.load());
    EXPECT_TRUE(writeUntil([&](int i) { reg.SetString(kKey, "Watched", CString("b") + CString(std::to_string(i))); },
                           [&] { return result.load() != -1; }));
    EXPECT_EQ(TRUE, result.load());
    waiter.join();

    // A second wait that nothing wakes is stopped by its owner.
    result = -1;
    std::jthread idle([&](std::stop_token stop) {
        CRegCU r;
        result = r.WaitForValueChange(kKey, "Watched", stop);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto start = std::chrono::steady_clock::now();
    idle.request_stop();
    idle.join();
    EXPECT_EQ(FALSE, result.load());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    // A key that cannot be opened cannot be waited on.
    EXPECT_FALSE(reg.WaitForValueChange("SOFTWARE\\NONE", "X"));
}

/// What one user of a shared store does: `writes` times, writes and reads back a value of a key
/// of its own and creates the key that every user creates. The number of calls that failed.
int useSharedStore(const std::string& name, int writes)
{
    int failures = 0;
    CLocalMachineRegistryObject reg;
    const CString key = CString("SOFTWARE\\") + CString(name.c_str());
    for (int i = 0; i < writes; ++i) {
        DWORD v = 0;
        if (!reg.SetDword(key, "V", static_cast<DWORD>(i)) || !reg.GetDword(key, "V", v, 9999) ||
            v != static_cast<DWORD>(i))
            ++failures;
        HKEY h = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                            &disposition) != ERROR_SUCCESS)
            ++failures;
        else
            RegCloseKey(h);
    }
    return failures;
}

TEST(RegistryThreads, ThreadsShareOneStore)
{
    TestEnvironment env;
    constexpr int kThreads = 4;
    std::vector<std::jthread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &failures] { failures += useSharedStore("T" + std::to_string(t), 100); });
    threads.clear();
    EXPECT_EQ(0, failures.load());
    CStringArray keys;
    CLocalMachineRegistryObject reg;
    EXPECT_TRUE(reg.EnumKeys("SOFTWARE", keys));
    EXPECT_EQ(kThreads + 1, keys.GetSize());
}

// Programs that start together on a store that does not exist yet: each one opens it, sets it
// up and works on it while the others do, and no call fails for that. The programs are this
// test program again, started with REGISTRY_SHARING_PROGRAM set to their number: each waits
// for a line on its input, then works with two threads on the store of the test's folder.
TEST(RegistryThreads, ProcessesShareOneStore)
{
    constexpr int kPrograms = 4;
    constexpr int kThreads = 2;
    if (const char* program = std::getenv("REGISTRY_SHARING_PROGRAM")) {
        std::string go;
        ASSERT_TRUE(std::getline(std::cin, go));
        std::atomic<int> failures{0};
        {
            std::vector<std::jthread> threads;
            for (int t = 0; t < kThreads; ++t) {
                threads.emplace_back([&failures, name = std::string("P") + program + "T" + std::to_string(t)] {
                    failures += useSharedStore(name, 150);
                });
            }
        }
        EXPECT_EQ(0, failures.load());
        return;
    }

    TestEnvironment env;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::unique_ptr<ChildProcess>> programs;
    for (int p = 0; p < kPrograms; ++p) {
        ::setenv("REGISTRY_SHARING_PROGRAM", std::to_string(p).c_str(), 1);
        programs.push_back(std::make_unique<ChildProcess>());
        ASSERT_TRUE(programs.back()->Start({self, "--gtest_filter=RegistryThreads.ProcessesShareOneStore"}, true));
    }
    ::unsetenv("REGISTRY_SHARING_PROGRAM");
    for (auto& program : programs) program->Send("go");
    for (size_t p = 0; p < programs.size(); ++p) EXPECT_EQ(0, programs[p]->Wait(60000)) << "program " << p;
    CStringArray keys;
    CLocalMachineRegistryObject reg;
    EXPECT_TRUE(reg.EnumKeys("SOFTWARE", keys));
    EXPECT_EQ(kPrograms * kThreads + 1, keys.GetSize());
}

/// A TCP port on 127.0.0.1 where nothing listens.
int refusedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A service that answers one byte at a time holds the connection no longer than one reply's
// time: the object falls back to this machine's root, as for a machine that never answers.
TEST(RegistryThreads, TricklingReplyGivesUpAtTheDeadline)
{
    TestEnvironment env;
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(0, ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
    ASSERT_EQ(0, ::listen(listener, 1));
    ASSERT_EQ(0, ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len));
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread peer([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) return;
        // A frame of 100 bytes, sent a byte every 50 ms until the client hangs up.
        const unsigned char head[4] = {100, 0, 0, 0};
        for (int i = 0; !stop; ++i) {
            const unsigned char byte = i < 4 ? head[i] : 0;
            if (::send(fd, &byte, 1, MSG_NOSIGNAL) != 1) break;
            ++sent;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::close(fd);
    });
    {
        std::ofstream machines(env.Path("machines"));
        machines << "SLOW 127.0.0.1:" << ntohs(addr.sin_port) << "\n";
    }
    ::setenv("WINPORT_REGISTRY_MACHINES", env.Path("machines").c_str(), 1);
    winport::SetRegistryReplyTimeout(1000);

    const auto started = std::chrono::steady_clock::now();
    CLocalMachineRegistryObject slow("SLOW");
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(HKEY_LOCAL_MACHINE, slow.GetRootKey());
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_GE(sent.load(), 2) << "the peer was trickling";

    stop = true;
    peer.join();
    ::close(listener);
    winport::SetRegistryReplyTimeout(15000);
    ::unsetenv("WINPORT_REGISTRY_MACHINES");
}

TEST(RegistryRemote, AnotherMachinesRootThroughTheServiceAndFallBack)
{
    TestEnvironment env;
    ChildProcess server;
    ASSERT_TRUE(server.Start({kRegserver, "--listen", "127.0.0.1:0", "--registry-dir", env.Path("server")}));
    std::string line;
    ASSERT_TRUE(server.ReadLine(line, 5000));
    const std::string prefix = "regserver: listening on ";
    ASSERT_EQ(0u, line.find(prefix)) << line;
    std::string address = line.substr(prefix.size());
    {
        std::ofstream machines(env.Path("machines"));
        machines << "# studio machines\nSTUDIO " << address << "\nDEAD 127.0.0.1:" << refusedPort() << "\n";
    }
    ::setenv("WINPORT_REGISTRY_MACHINES", env.Path("machines").c_str(), 1);

    {
        CLocalMachineRegistryObject remote("\\\\studio");
        EXPECT_NE(HKEY_LOCAL_MACHINE, remote.GetRootKey());
        ASSERT_TRUE(remote.SetString("SOFTWARE\\VOKDWEN\\KIVSERVER", "ServerName", "Studio A"));
        ASSERT_TRUE(remote.SetRect("SOFTWARE\\VOKDWEN\\KIVSERVER", "Win", RECT{1, 2, 11, 22}));
    }
    CLocalMachineRegistryObject remote("STUDIO");
    CString s;
    EXPECT_TRUE(remote.GetString("software\\vokdwen\\kivserver", "servername", s, "none"));
    EXPECT_EQ("Studio A", s);
    RECT r{};
    EXPECT_TRUE(remote.GetRect("SOFTWARE\\VOKDWEN\\KIVSERVER", "Win", r, RECT{}));
    EXPECT_EQ(22, r.bottom);
    CStringArray values;
    EXPECT_TRUE(remote.EnumValues("SOFTWARE\\VOKDWEN\\KIVSERVER", values));
    EXPECT_EQ(5, values.GetSize());
    EXPECT_TRUE(remote.DeleteValue("SOFTWARE\\VOKDWEN\\KIVSERVER", "Win.X"));
    EXPECT_FALSE(remote.ValueExists("SOFTWARE\\VOKDWEN\\KIVSERVER", "Win.X"));

    // This machine's root does not have the server machine's values.
    CLocalMachineRegistryObject local;
    EXPECT_FALSE(local.KeyExists("SOFTWARE\\VOKDWEN\\KIVSERVER"));

    // A refused port and an unknown name both leave the object on this machine's root.
    for (const char* name : {"DEAD", "NOWHERE"}) {
        SCOPED_TRACE(name);
        CLocalMachineRegistryObject fallback(name);
        EXPECT_EQ(HKEY_LOCAL_MACHINE, fallback.GetRootKey());
        EXPECT_TRUE(fallback.SetString("SOFTWARE\\VOKDWEN", "Here", "local"));
        EXPECT_TRUE(local.GetString("SOFTWARE\\VOKDWEN", "Here", s, ""));
        EXPECT_EQ("local", s);
    }

    // A service that goes away makes later calls fail; nothing hangs.
    server.Signal(SIGTERM);
    EXPECT_EQ(0, server.Wait(5000));
    EXPECT_FALSE(remote.GetString("SOFTWARE\\VOKDWEN\\KIVSERVER", "ServerName", s, "gone"));
    EXPECT_EQ("gone", s);
    ::unsetenv("WINPORT_REGISTRY_MACHINES");
}

}  // namespace
