// The server simulator as a child process for programs that are not tests (fuzz targets,
// benchmarks): started on a socket in the given folder, with KIVSERVER_SOCKET pointing at it,
// and ended with its process.
#pragma once

#include <cstdlib>
#include <string>

#include "ChildProcess.h"

class KivServerProcess {
public:
    /// Starts CONSOLE_BINARY_DIR's kivserver-sim on folder/kiv.sock; Running() says whether it
    /// came up.
    explicit KivServerProcess(const std::string& folder)
    {
        const std::string socket = folder + "/kiv.sock";
        ::setenv("KIVSERVER_SOCKET", socket.c_str(), 1);
        std::string line;
        m_running = m_child.Start({std::string(CONSOLE_BINARY_DIR) + "/tools/kivserver-sim/kivserver-sim", "--socket", socket}) &&
                    m_child.ReadLine(line, 10000) && line.rfind("kivserver-sim: serving", 0) == 0;
    }
    bool Running() const { return m_running; }

private:
    ChildProcess m_child;
    bool m_running = false;
};
