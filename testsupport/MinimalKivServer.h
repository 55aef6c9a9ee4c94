// The least automation server a client object needs to be made and to send: every call
// succeeds and reads have no data. For fuzz targets and benchmarks, in the same process.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "quenby/KivServerClass.h"
#include "winport/ServerFrames.h"

namespace minimal_server {

inline void serve(int listener)
{
    using namespace winport::frames;
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) return;
        std::thread([fd] {
            FrameReader reader;
            static thread_local uint8_t buf[65536];
            for (;;) {
                const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0) break;
                reader.Feed(buf, static_cast<size_t>(n));
                while (auto frame = reader.Next()) {
                    BodyWriter reply;
                    reply.I32(frame->kind == FrameKind::GetData ? KIV_E_NODATA : S_OK);
                    if (frame->kind == FrameKind::DAdvise) reply.U32(1);
                    const auto bytes = Encode(FrameKind::Reply, frame->callId, reply.Out());
                    if (::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) break;
                }
            }
            ::close(fd);
        }).detach();
    }
}

/// Starts the server in a new private folder, which also holds the registry and the runtime
/// folder of the process from then on. Aborts when the socket cannot be made.
inline void Start()
{
    char folder[] = "/tmp/kiv-minimal-XXXXXX";
    const std::string root = ::mkdtemp(folder) ? folder : "/tmp";
    const std::string path = root + "/kiv.sock";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener, 4) != 0) std::abort();
    ::setenv(KIVServerSocketVariable, path.c_str(), 1);
    ::setenv("WINPORT_REGISTRY_DIR", root.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
    std::thread(serve, listener).detach();
}

}  // namespace minimal_server
