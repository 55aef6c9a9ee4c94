// The remote registry client's reading of replies: the input is everything the service sends
// on one connection. The client greets it and makes one call of every kind; whatever comes
// back, each call ends with a status and the connection is dropped at the first bad reply.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "registry/RegistryBackend.h"

using namespace winport::reg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // What fits a socket's buffer at once: the peer has sent it all before the client reads.
    if (size > 65536) return 0;
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return 0;
    int buffer = 1 << 20;
    ::setsockopt(sv[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    ::setsockopt(sv[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    for (size_t sent = 0; sent < size;) {
        const ssize_t n = ::send(sv[1], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    ::shutdown(sv[1], SHUT_WR);

    std::shared_ptr<Backend> remote;
    if (RemoteBackendOn(sv[0], remote) == ERROR_SUCCESS) {
        const std::vector<std::string> path{"SOFTWARE", "VOKDWEN"};
        int64_t key = 0;
        bool created = false;
        ValueData value;
        std::string name;
        KeyInfo info;
        (void)remote->openKey(remote->rootRef(), path, key);
        (void)remote->createKey(remote->rootRef(), path, false, key, created);
        (void)remote->queryValue(key, "ServerName", value);
        (void)remote->setValue(key, "ServerName", ValueData{1, "Studio"});
        (void)remote->enumKey(key, 0, name);
        (void)remote->enumValue(key, 0, name, value);
        (void)remote->queryInfo(key, info);
        (void)remote->deleteValue(key, "ServerName");
        (void)remote->deleteKey(remote->rootRef(), path, true);
    }
    ::close(sv[1]);
    return 0;
}
