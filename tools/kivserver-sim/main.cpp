// kivserver-sim: a stand-in automation server on the local-server socket protocol.
//
// Every connection is one server object; what the objects do is modelled by families
// (AttachFamily.cpp), what they answer can be scripted through the control socket (the
// language is described in ControlLanguage.cpp). Every call is written to the record file, one
// line each: connect, block (every block received, with seq=N; with --blocks DIR the block is
// also kept whole as DIR/block-N.bin), read (every GetData and its result), advise, unadvise,
// push, scripted, close.
//
// Usage: kivserver-sim [--socket PATH] [--control PATH] [--record FILE] [--blocks DIR]
//        kivserver-sim --send "LINE" [--socket PATH] [--control PATH]
// The socket defaults to $KIVSERVER_SOCKET, else kivserver.sock in the runtime folder; the
// control socket to the socket's path followed by ".ctl". Exit code 2 on a wrong command line,
// 1 when it cannot serve (or, with --send, when no server answers "ok").
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "Simulator.h"
#include "quenby/KivServerClass.h"
#include "toolcli/CommandLine.h"
#include "winport/Paths.h"

namespace {

// The longest socket path: it is bound first under the path followed by ".new".
constexpr size_t kMaxSocketPath = sizeof(sockaddr_un::sun_path) - 1 - 4;

CLI::Validator socketPath()
{
    return CLI::Validator(
        [](std::string& path) -> std::string {
            if (path.empty()) return "a socket path is needed";
            if (path.size() > kMaxSocketPath) {
                return "the socket path " + path + " is longer than " + std::to_string(kMaxSocketPath) + " bytes";
            }
            return {};
        },
        "", "socket");
}

// Sends one line to a running server's control socket and prints its answer.
int sendControl(const std::string& path, const std::string& line)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        std::fprintf(stderr, "kivserver-sim: no server at %s: %s\n", path.c_str(), std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return toolcli::kFailure;
    }
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string out = line + "\n";
    if (::send(fd, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) {
        std::fprintf(stderr, "kivserver-sim: the server at %s took no command: %s\n", path.c_str(), std::strerror(errno));
        ::close(fd);
        return toolcli::kFailure;
    }
    std::string answer;
    char c;
    while (::recv(fd, &c, 1, 0) == 1 && c != '\n') answer += c;
    ::close(fd);
    std::printf("%s\n", answer.c_str());
    return answer.rfind("ok", 0) == 0 ? 0 : toolcli::kFailure;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string socket = winport::LocalServerSocketPath(CLSID_KIVServer);
    std::string control, recordPath, blocksDir, sendLine;
    CLI::App app("A stand-in automation server on the local-server socket protocol; serves until exit, SIGINT or "
                 "SIGTERM.",
                 "kivserver-sim");
    app.add_option("--socket", socket, "the server's socket (default: KIVSERVER_SOCKET)")->type_name("PATH")->check(socketPath());
    app.add_option("--control", control, "the control socket (default: the socket's path followed by .ctl)")
        ->type_name("PATH")
        ->check(socketPath());
    CLI::Option* recordOption = app.add_option("--record", recordPath, "the file every call is appended to")->type_name("FILE");
    CLI::Option* blocksOption = app.add_option("--blocks", blocksDir, "a folder that keeps every block received whole")->type_name("DIR");
    app.add_option("--send", sendLine, "sends one line to the running server's control socket and prints its answer")
        ->type_name("LINE")
        ->excludes(recordOption)
        ->excludes(blocksOption);
    if (std::optional<int> exit = toolcli::Parse(app, argc, argv)) return *exit;
    if (control.empty()) control = socket + ".ctl";
    if (control.size() > kMaxSocketPath) {
        std::fprintf(stderr, "kivserver-sim: the control socket path %s is longer than %zu bytes\n", control.c_str(),
                     kMaxSocketPath);
        return toolcli::kFailure;
    }
    if (app.count("--send")) return sendControl(control, sendLine);

    FILE* record = nullptr;
    if (!recordPath.empty()) {
        record = std::fopen(recordPath.c_str(), "a");
        if (!record) {
            std::fprintf(stderr, "kivserver-sim: cannot write %s: %s\n", recordPath.c_str(), std::strerror(errno));
            return toolcli::kFailure;
        }
    }
    std::error_code error;
    if (!blocksDir.empty() && !std::filesystem::create_directories(blocksDir, error) && error) {
        std::fprintf(stderr, "kivserver-sim: cannot make the folder %s: %s\n", blocksDir.c_str(), error.message().c_str());
        if (record) std::fclose(record);
        return toolcli::kFailure;
    }
    kivsim::Simulator sim(socket, control, record, blocksDir);
    int status = sim.Run();
    if (record) std::fclose(record);
    return status;
}
