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
// control socket to the socket's path followed by ".ctl".
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "Simulator.h"
#include "quenby/KivServerClass.h"
#include "winport/Paths.h"

namespace {

// Sends one line to a running server's control socket and prints its answer.
int sendControl(const std::string& path, const std::string& line)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) return 2;
    std::strcpy(addr.sun_path, path.c_str());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        std::fprintf(stderr, "kivserver-sim: no server at %s\n", path.c_str());
        return 2;
    }
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string out = line + "\n";
    if (::send(fd, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size())) return 2;
    std::string answer;
    char c;
    while (::recv(fd, &c, 1, 0) == 1 && c != '\n') answer += c;
    ::close(fd);
    std::printf("%s\n", answer.c_str());
    return answer.rfind("ok", 0) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string socketPath = winport::LocalServerSocketPath(CLSID_KIVServer);
    std::string controlPath, recordPath, blocksDir, sendLine;
    bool send = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 < argc && a == "--socket") socketPath = argv[++i];
        else if (i + 1 < argc && a == "--control") controlPath = argv[++i];
        else if (i + 1 < argc && a == "--record") recordPath = argv[++i];
        else if (i + 1 < argc && a == "--blocks") blocksDir = argv[++i];
        else if (i + 1 < argc && a == "--send") {
            send = true;
            sendLine = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: kivserver-sim [--socket PATH] [--control PATH] [--record FILE] [--blocks DIR]\n"
                         "       kivserver-sim --send LINE [--socket PATH] [--control PATH]\n");
            return 2;
        }
    }
    if (controlPath.empty()) controlPath = socketPath + ".ctl";
    if (send) return sendControl(controlPath, sendLine);
    FILE* record = nullptr;
    if (!recordPath.empty()) {
        record = std::fopen(recordPath.c_str(), "a");
        if (!record) {
            std::fprintf(stderr, "kivserver-sim: cannot write %s\n", recordPath.c_str());
            return 2;
        }
    }
    kivsim::Simulator sim(socketPath, controlPath, record, blocksDir);
    int status = sim.Run();
    if (record) std::fclose(record);
    return status;
}
