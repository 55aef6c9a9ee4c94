// What the tests of the server connection share: the server simulator in its own process,
// a socket standing in for the system log, and hooks that record message boxes and turn the
// process's exit into an exception.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "ChildProcess.h"
#include "LogSocket.h"
#include "TestEnvironment.h"
#include "quenby/KivServerClass.h"
#include "winport/DataObject.h"
#include "winport/Hooks.h"
#include "winport/MessageLoop.h"

/// The simulator started on the test's socket, with its record in the test folder.
class KivServerSim {
public:
    /// blocksDir: where the server keeps every block it receives ("" keeps none).
    KivServerSim(const std::string& socketPath, const std::string& recordPath, const std::string& blocksDir = "")
        : m_socket(socketPath), m_record(recordPath), m_blocks(blocksDir)
    {
        // The simulator takes the number this process has for the objects' clipboard format
        // (the number frames carry), whichever runtime folder it was first registered in, as a
        // server started after its clients does.
        RegisterClipboardFormatA(KIVClipboardFormatName);
        std::string line;
        std::vector<std::string> args = {Program(), "--socket", socketPath, "--record", recordPath};
        if (!blocksDir.empty()) args.insert(args.end(), {"--blocks", blocksDir});
        m_running = m_child.Start(args) &&
                    m_child.ReadLine(line, 10000) && line.rfind("kivserver-sim: serving", 0) == 0;
    }
    ~KivServerSim()
    {
        if (m_running) Control("exit");
        m_child.Wait(5000);
    }
    bool Running() const { return m_running; }

    static std::string Program() { return std::string(CONSOLE_BINARY_DIR) + "/tools/kivserver-sim/kivserver-sim"; }

    /// Sends one control line and returns the answer ("" when the server does not answer).
    std::string Control(const std::string& line)
    {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s.ctl", m_socket.c_str());
        std::string answer;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            std::string out = line + "\n";
            if (::send(fd, out.data(), out.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(out.size())) {
                char c;
                pollfd p{fd, POLLIN, 0};
                while (::poll(&p, 1, 10000) == 1 && ::recv(fd, &c, 1, 0) == 1 && c != '\n') answer += c;
            }
        }
        ::close(fd);
        return answer;
    }

    /// Ends the server at once, as a crash would.
    void Kill()
    {
        m_child.Signal(SIGKILL);
        m_child.Wait(5000);
        m_running = false;
    }

    /// The record's lines that begin with the word given (all lines for "").
    std::vector<std::string> Records(const std::string& word)
    {
        std::vector<std::string> out;
        std::ifstream in(m_record);
        for (std::string line; std::getline(in, line);)
            if (word.empty() || line.rfind(word + " ", 0) == 0) out.push_back(line);
        return out;
    }

    /// The block a "block" line of the record names (seq=N), as the server received it.
    std::vector<uint8_t> Block(const std::string& recordLine)
    {
        size_t at = recordLine.find(" seq=");
        if (at == std::string::npos || m_blocks.empty()) return {};
        std::ifstream in(m_blocks + "/block-" + recordLine.substr(at + 5) + ".bin", std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string m_socket, m_record, m_blocks;
    ChildProcess m_child;
    bool m_running = false;
};

/// A bound datagram socket standing in for the system log.
struct RecordedBox {
    std::string text, caption;
    UINT type;
};

/// The test's private folder, the server's socket path in it, the log socket, and the hooks.
class KivServerTest : public ::testing::Test {
protected:
    KivServerTest()
    {
        socketPath = env.Path("runtime/kiv.sock");
        ::setenv("KIVSERVER_SOCKET", socketPath.c_str(), 1);
        ::setenv("ARDO_LOG_SOCKET", env.Path("log.sock").c_str(), 1);
        log = std::make_unique<LogSocket>(env.Path("log.sock"));
        winport::SetMessageBoxHook([this](HWND, const char* text, const char* caption, UINT type) {
            boxes.push_back({text ? text : "", caption ? caption : "", type});
            return IDOK;
        });
        winport::SetExitHook([](int code) { throw winport::ExitRequested(code); });
        // The objects' replies come on the callback thread, as to a thread without a message
        // loop, whatever an earlier test in this process did on this thread.
        winport::MessageLoop::EndCurrentForTesting();
    }
    ~KivServerTest() override
    {
        winport::MessageLoop::EndCurrentForTesting();  // what the test left in the queue goes
        winport::SetMessageBoxHook({});
        winport::SetExitHook({});
    }

    KivServerSim& StartServer()
    {
        sim = std::make_unique<KivServerSim>(socketPath, env.Path("record.txt"), env.Path("blocks"));
        EXPECT_TRUE(sim->Running());
        return *sim;
    }

    TestEnvironment env;
    std::string socketPath;
    std::unique_ptr<LogSocket> log;
    std::unique_ptr<KivServerSim> sim;
    std::vector<RecordedBox> boxes;
};
