// regserver: serves this machine's HKEY_LOCAL_MACHINE registry store to programs that connect
// to it by machine name (RegConnectRegistryA). See the README for the machine-name file.
//
//   regserver [--listen HOST:PORT] [--registry-dir DIR]
//
// The default address is 127.0.0.1:7341 (the port 0 to 65535; with 0 a free port is chosen).
// The program prints "regserver: listening on HOST:PORT" once it accepts connections, and stops
// on SIGINT/SIGTERM. Exit code 2 on a wrong command line, 1 when its store cannot be used or it
// cannot listen.
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

#include "toolcli/CommandLine.h"
#include "winport/Registry.h"
#include "winport/RegistryService.h"

namespace {

// Splits HOST:PORT (an IPv6 host may stand in brackets); the reason when it is not one.
std::string splitAddress(const std::string& text, std::string& host, std::string& port)
{
    const size_t colon = text.rfind(':');
    long long number = 0;
    if (colon == std::string::npos || colon == 0) return text + " is not HOST:PORT";
    if (!toolcli::ParseNumber(text.substr(colon + 1), 0, 65535, number)) {
        return "port " + text.substr(colon + 1) + " is not a whole number from 0 to 65535";
    }
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    port = std::to_string(number);
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    std::string listen = "127.0.0.1:7341";
    std::string registryDir;
    CLI::App app("Serves this machine's HKEY_LOCAL_MACHINE registry store to other machines' registry objects, until "
                 "SIGINT or SIGTERM.",
                 "regserver");
    app.add_option("--listen", listen, "the address to serve on (port 0: a free port)")
        ->type_name("HOST:PORT")
        ->capture_default_str()
        ->check(CLI::Validator(
            [](std::string& text) {
                std::string host, port;
                return splitAddress(text, host, port);
            },
            "", "address"));
    app.add_option("--registry-dir", registryDir, "the store's folder (default: WINPORT_REGISTRY_DIR)")->type_name("DIR");
    if (std::optional<int> exit = toolcli::Parse(app, argc, argv)) return *exit;
    std::string host, port;
    splitAddress(listen, host, port);
    if (!registryDir.empty()) ::setenv("WINPORT_REGISTRY_DIR", registryDir.c_str(), 1);
    // The store is opened before anything is served: one that cannot be used (a folder that
    // cannot be made, a file that is no registry database) ends the program here instead of
    // failing every request.
    HKEY root = nullptr;
    if (LONG r = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &root); r != ERROR_SUCCESS) {
        std::fprintf(stderr, "regserver: cannot serve %s/HKEY_LOCAL_MACHINE.db (error %ld)\n", winport::RegistryDir().c_str(),
                     static_cast<long>(r));
        return toolcli::kFailure;
    }
    RegCloseKey(root);

    // Signals are taken by this thread alone, from before the address is announced; the service
    // runs until one arrives.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* list = nullptr;
    if (int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &list); rc != 0) {
        std::fprintf(stderr, "regserver: %s: %s\n", listen.c_str(), ::gai_strerror(rc));
        return toolcli::kFailure;
    }
    int fd = ::socket(list->ai_family, list->ai_socktype | SOCK_CLOEXEC, list->ai_protocol);
    int one = 1;
    if (fd >= 0) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (fd < 0 || ::bind(fd, list->ai_addr, list->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
        std::fprintf(stderr, "regserver: cannot listen on %s: %s\n", listen.c_str(), std::strerror(errno));
        return toolcli::kFailure;
    }
    ::freeaddrinfo(list);

    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    char name[NI_MAXHOST] = {}, service[NI_MAXSERV] = {};
    ::getnameinfo(reinterpret_cast<sockaddr*>(&bound), len, name, sizeof name, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV);
    // An IPv6 host in brackets, as --listen and the machines file take it.
    const bool v6 = std::strchr(name, ':') != nullptr;
    std::printf("regserver: listening on %s%s%s:%s\n", v6 ? "[" : "", name, v6 ? "]" : "", service);
    std::fflush(stdout);

    std::jthread worker([fd](std::stop_token stop) { winport::RunRegistryService(fd, stop); });
    int sig = 0;
    sigwait(&signals, &sig);
    worker.request_stop();
    worker.join();
    ::close(fd);
    return 0;
}
