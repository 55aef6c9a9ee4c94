// regserver: serves this machine's HKEY_LOCAL_MACHINE registry store to programs that connect
// to it by machine name (RegConnectRegistryA). See the README for the machine-name file.
//
//   regserver [--listen HOST:PORT] [--registry-dir DIR]
//
// The default address is 127.0.0.1:7341. With port 0 a free port is chosen. The program prints
// "regserver: listening on HOST:PORT" once it accepts connections, and stops on SIGINT/SIGTERM.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "winport/RegistryService.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: regserver [--listen HOST:PORT] [--registry-dir DIR]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string listen = "127.0.0.1:7341";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--listen" && i + 1 < argc) listen = argv[++i];
        else if (a == "--registry-dir" && i + 1 < argc) ::setenv("WINPORT_REGISTRY_DIR", argv[++i], 1);
        else return usage();
    }
    size_t colon = listen.rfind(':');
    if (colon == std::string::npos) return usage();
    std::string host = listen.substr(0, colon), port = listen.substr(colon + 1);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* list = nullptr;
    if (int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list); rc != 0) {
        std::fprintf(stderr, "regserver: %s: %s\n", listen.c_str(), ::gai_strerror(rc));
        return 1;
    }
    int fd = ::socket(list->ai_family, list->ai_socktype | SOCK_CLOEXEC, list->ai_protocol);
    int one = 1;
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (fd < 0 || ::bind(fd, list->ai_addr, list->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
        std::fprintf(stderr, "regserver: cannot listen on %s: %s\n", listen.c_str(), std::strerror(errno));
        return 1;
    }
    ::freeaddrinfo(list);

    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    char name[NI_MAXHOST] = {}, service[NI_MAXSERV] = {};
    ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), len, name, sizeof name, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV);
    std::printf("regserver: listening on %s:%s\n", name, service);
    std::fflush(stdout);

    // Signals are taken by this thread alone; the service runs until one arrives.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::jthread worker([fd](std::stop_token stop) { winport::RunRegistryService(fd, stop); });
    int sig = 0;
    sigwait(&signals, &sig);
    worker.request_stop();
    worker.join();
    ::close(fd);
    return 0;
}
