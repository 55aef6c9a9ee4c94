// Another machine's HKEY_LOCAL_MACHINE through its registry service: the client backend, the
// frame transport, and the service that answers it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "registry/RegistryBackend.h"
#include "registry/RemoteProtocol.h"
#include "winport/CString.h"
#include "winport/Paths.h"
#include "winport/Registry.h"
#include "winport/RegistryService.h"
#include "winport/Trace.h"

namespace winport::reg {

namespace wire {

namespace {

using Deadline = std::chrono::steady_clock::time_point;

/// Waits for the descriptor until the deadline; false when it passes first.
bool waitFor(int fd, short events, Deadline deadline)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        int n = ::poll(&p, 1, static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX)));
        if (n > 0) return true;
        if (n == 0) continue;  // the clock decides
        if (errno != EINTR) return false;
    }
}

bool readExact(int fd, char* out, size_t size, Deadline deadline)
{
    size_t got = 0;
    while (got < size) {
        if (!waitFor(fd, POLLIN, deadline)) return false;
        ssize_t n = ::recv(fd, out + got, size - got, 0);
        if (n == 0) return false;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return false;
        }
        got += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

// The whole frame must arrive within the time: a peer that sends a byte now and then cannot
// hold the reader longer than that.
bool ReadFrame(int fd, std::string& payload, int timeoutMs)
{
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    unsigned char head[4];
    if (!readExact(fd, reinterpret_cast<char*>(head), 4, deadline)) return false;
    uint32_t size = head[0] | (head[1] << 8) | (head[2] << 16) | (static_cast<uint32_t>(head[3]) << 24);
    if (size > kMaxFrame) return false;
    payload.resize(size);
    return size == 0 || readExact(fd, payload.data(), size, deadline);
}

bool WriteFrame(int fd, const std::string& payload)
{
    if (payload.size() > kMaxFrame) return false;
    std::string frame = Writer().u32(static_cast<uint32_t>(payload.size())).payload() + payload;
    size_t sent = 0;
    while (sent < frame.size()) {
        ssize_t n = ::send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace wire

namespace {

constexpr int kConnectTimeoutMs = 2000;  // a machine on the studio network answers in milliseconds
// The service's own store waits up to 10 s for a lock. Tests shorten it.
std::atomic<int> g_replyTimeoutMs{15000};

std::string joinPath(const std::vector<std::string>& path)
{
    std::string s;
    for (const auto& c : path) {
        if (!s.empty()) s += '\\';
        s += c;
    }
    return s;
}

/// host:port of a configured machine, or false.
bool lookUpMachine(const std::string& machine, std::string& host, std::string& port)
{
    std::ifstream in(RegistryMachinesFile());
    std::string line;
    while (std::getline(in, line)) {
        if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        std::istringstream fields(line);
        std::string name, address;
        if (!(fields >> name >> address)) continue;
        if (WinportCompareNoCase(name.c_str(), machine.c_str()) != 0) continue;
        size_t colon = address.rfind(':');
        if (colon == std::string::npos || colon == 0) return false;
        host = address.substr(0, colon);
        port = address.substr(colon + 1);
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        return true;
    }
    return false;
}

int connectTo(const std::string& host, const std::string& port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0) return -1;
    int fd = -1;
    for (addrinfo* a = list; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int err = 0;
            socklen_t len = sizeof err;
            if (::poll(&p, 1, kConnectTimeoutMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 &&
                err == 0)
                rc = 0;
        }
        if (rc != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(list);
    if (fd >= 0) {
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

class RemoteBackend : public Backend {
public:
    explicit RemoteBackend(int fd) : m_fd(fd) {}
    ~RemoteBackend() override { ::close(m_fd); }

    int64_t rootRef() const override { return 1; }

    /// Sends a request and reads its reply; the status is the reply's or a transport failure.
    LONG call(const wire::Writer& request, std::string& reply)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_broken) return RPC_S_SERVER_UNAVAILABLE;
        if (!wire::WriteFrame(m_fd, request.payload()) || !wire::ReadFrame(m_fd, reply, g_replyTimeoutMs.load())) {
            m_broken = true;  // a half-read reply would put every later answer out of step
            return RPC_S_SERVER_UNAVAILABLE;
        }
        wire::Reader r(reply);
        LONG status = static_cast<LONG>(r.u32());
        if (!r.ok()) {
            m_broken = true;
            return RPC_S_SERVER_UNAVAILABLE;
        }
        reply.erase(0, 4);
        return status;
    }

    LONG openKey(int64_t parent, const std::vector<std::string>& path, int64_t& out) override
    {
        std::string reply;
        if (LONG e = call(wire::Writer().u8(wire::kOpen).i64(parent).str(joinPath(path)), reply)) return e;
        wire::Reader r(reply);
        out = r.i64();
        return r.ok() ? ERROR_SUCCESS : protocolError();
    }

    LONG createKey(int64_t parent, const std::vector<std::string>& path, bool isVolatile, int64_t& out,
                   bool& created) override
    {
        std::string reply;
        if (LONG e = call(wire::Writer().u8(wire::kCreate).i64(parent).str(joinPath(path)).u8(isVolatile ? 1 : 0),
                          reply))
            return e;
        wire::Reader r(reply);
        out = r.i64();
        created = r.u8() != 0;
        return r.ok() ? ERROR_SUCCESS : protocolError();
    }

    LONG queryValue(int64_t key, const std::string& name, ValueData& out) override
    {
        std::string reply;
        if (LONG e = call(wire::Writer().u8(wire::kQuery).i64(key).str(name), reply)) return e;
        wire::Reader r(reply);
        out.type = r.u32();
        out.bytes = r.str();
        return r.ok() ? ERROR_SUCCESS : protocolError();
    }

    LONG setValue(int64_t key, const std::string& name, const ValueData& value) override
    {
        std::string reply;
        return call(wire::Writer().u8(wire::kSet).i64(key).str(name).u32(value.type).str(value.bytes), reply);
    }

    LONG deleteValue(int64_t key, const std::string& name) override
    {
        std::string reply;
        return call(wire::Writer().u8(wire::kDeleteValue).i64(key).str(name), reply);
    }

    LONG deleteKey(int64_t parent, const std::vector<std::string>& path, bool tree) override
    {
        std::string reply;
        return call(wire::Writer().u8(wire::kDeleteKey).i64(parent).str(joinPath(path)).u8(tree ? 1 : 0), reply);
    }

    LONG enumKey(int64_t key, DWORD index, std::string& name) override
    {
        std::string reply;
        if (LONG e = call(wire::Writer().u8(wire::kEnumKey).i64(key).u32(index), reply)) return e;
        wire::Reader r(reply);
        name = r.str();
        return r.ok() ? ERROR_SUCCESS : protocolError();
    }

    LONG enumValue(int64_t key, DWORD index, std::string& name, ValueData& value) override
    {
        std::string reply;
        if (LONG e = call(wire::Writer().u8(wire::kEnumValue).i64(key).u32(index), reply)) return e;
        wire::Reader r(reply);
        name = r.str();
        value.type = r.u32();
        value.bytes = r.str();
        return r.ok() ? ERROR_SUCCESS : protocolError();
    }

    LONG queryInfo(int64_t key, KeyInfo& info) override
    {
        std::string reply;
        if (LONG e = call(wire::Writer().u8(wire::kInfo).i64(key), reply)) return e;
        wire::Reader r(reply);
        info.subKeys = r.u32();
        info.maxSubKeyLen = r.u32();
        info.values = r.u32();
        info.maxValueNameLen = r.u32();
        info.maxValueLen = r.u32();
        return r.ok() ? ERROR_SUCCESS : protocolError();
    }

    // Change waits are a local service: another machine's keys are not watched.
    LONG changeStamp(int64_t, bool, int64_t&) override { return ERROR_NOT_SUPPORTED; }
    LONG waitForChange(int64_t, bool, std::stop_token*, const int64_t*) override { return ERROR_NOT_SUPPORTED; }

private:
    LONG protocolError()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_broken = true;
        return RPC_S_SERVER_UNAVAILABLE;
    }

    int m_fd;
    std::mutex m_mutex;
    bool m_broken = false;
};

/// Answers one request on a backend.
std::string handle(Backend& store, const std::string& request)
{
    wire::Reader r(request);
    wire::Writer out;
    auto status = [&](LONG e) -> std::string { return wire::Writer().u32(static_cast<uint32_t>(e)).payload(); };
    auto invalid = [&] { return status(ERROR_INVALID_PARAMETER); };
    uint8_t op = r.u8();
    if (!r.ok()) return invalid();
    switch (op) {
    case wire::kHello: {
        std::string greeting = r.str();
        if (!r.ok() || !r.atEnd() || greeting != wire::kGreeting) return invalid();
        return status(ERROR_SUCCESS);
    }
    case wire::kOpen: {
        int64_t parent = r.i64();
        std::string path = r.str();
        if (!r.ok() || !r.atEnd()) return invalid();
        int64_t key = 0;
        if (LONG e = store.openKey(parent, SplitKeyPath(path.c_str()), key)) return status(e);
        return status(ERROR_SUCCESS) + out.i64(key).payload();
    }
    case wire::kCreate: {
        int64_t parent = r.i64();
        std::string path = r.str();
        bool isVolatile = r.u8() != 0;
        if (!r.ok() || !r.atEnd()) return invalid();
        int64_t key = 0;
        bool created = false;
        if (LONG e = store.createKey(parent, SplitKeyPath(path.c_str()), isVolatile, key, created)) return status(e);
        return status(ERROR_SUCCESS) + out.i64(key).u8(created ? 1 : 0).payload();
    }
    case wire::kQuery: {
        int64_t key = r.i64();
        std::string name = r.str();
        if (!r.ok() || !r.atEnd()) return invalid();
        ValueData v;
        if (LONG e = store.queryValue(key, name, v)) return status(e);
        return status(ERROR_SUCCESS) + out.u32(v.type).str(v.bytes).payload();
    }
    case wire::kSet: {
        int64_t key = r.i64();
        std::string name = r.str();
        ValueData v;
        v.type = r.u32();
        v.bytes = r.str();
        if (!r.ok() || !r.atEnd()) return invalid();
        return status(store.setValue(key, name, v));
    }
    case wire::kDeleteValue: {
        int64_t key = r.i64();
        std::string name = r.str();
        if (!r.ok() || !r.atEnd()) return invalid();
        return status(store.deleteValue(key, name));
    }
    case wire::kDeleteKey: {
        int64_t parent = r.i64();
        std::string path = r.str();
        bool tree = r.u8() != 0;
        if (!r.ok() || !r.atEnd()) return invalid();
        auto parts = SplitKeyPath(path.c_str());
        if (parts.empty()) return invalid();
        return status(store.deleteKey(parent, parts, tree));
    }
    case wire::kEnumKey: {
        int64_t key = r.i64();
        uint32_t index = r.u32();
        if (!r.ok() || !r.atEnd()) return invalid();
        std::string name;
        if (LONG e = store.enumKey(key, index, name)) return status(e);
        return status(ERROR_SUCCESS) + out.str(name).payload();
    }
    case wire::kEnumValue: {
        int64_t key = r.i64();
        uint32_t index = r.u32();
        if (!r.ok() || !r.atEnd()) return invalid();
        std::string name;
        ValueData v;
        if (LONG e = store.enumValue(key, index, name, v)) return status(e);
        return status(ERROR_SUCCESS) + out.str(name).u32(v.type).str(v.bytes).payload();
    }
    case wire::kInfo: {
        int64_t key = r.i64();
        if (!r.ok() || !r.atEnd()) return invalid();
        KeyInfo info;
        if (LONG e = store.queryInfo(key, info)) return status(e);
        return status(ERROR_SUCCESS) +
               out.u32(info.subKeys).u32(info.maxSubKeyLen).u32(info.values).u32(info.maxValueNameLen)
                   .u32(info.maxValueLen)
                   .payload();
    }
    default: return invalid();
    }
}

void serveConnection(int fd, std::stop_token stop)
{
    std::shared_ptr<Backend> store = LocalBackend("HKEY_LOCAL_MACHINE");
    std::string request;
    bool greeted = false;
    while (!stop.stop_requested()) {
        pollfd p{fd, POLLIN, 0};
        int n = ::poll(&p, 1, 200);  // re-check the stop request five times a second
        if (n == 0) continue;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || !wire::ReadFrame(fd, request, g_replyTimeoutMs.load())) break;
        std::string reply = handle(*store, request);
        if (!greeted) {
            // Only a peer that speaks this protocol is served.
            greeted = !request.empty() && static_cast<uint8_t>(request[0]) == wire::kHello &&
                      reply == wire::Writer().u32(ERROR_SUCCESS).payload();
            if (!greeted) {
                wire::WriteFrame(fd, wire::Writer().u32(ERROR_INVALID_PARAMETER).payload());
                break;
            }
        }
        if (!wire::WriteFrame(fd, reply)) break;
    }
    ::close(fd);
}

}  // namespace

LONG ConnectRemoteBackend(const std::string& machine, std::shared_ptr<Backend>& out)
{
    std::string host, port;
    if (!lookUpMachine(machine, host, port)) return ERROR_BAD_NETPATH;
    int fd = connectTo(host, port);
    if (fd < 0) {
        WinportTrace("registry: machine %s (%s:%s) cannot be reached\n", machine.c_str(), host.c_str(), port.c_str());
        return RPC_S_SERVER_UNAVAILABLE;
    }
    return RemoteBackendOn(fd, out);
}

LONG RemoteBackendOn(int fd, std::shared_ptr<Backend>& out)
{
    auto backend = std::make_shared<RemoteBackend>(fd);
    std::string reply;
    if (backend->call(wire::Writer().u8(wire::kHello).str(wire::kGreeting), reply) != ERROR_SUCCESS)
        return RPC_S_SERVER_UNAVAILABLE;
    out = backend;
    return ERROR_SUCCESS;
}

}  // namespace winport::reg

namespace winport {

void SetRegistryReplyTimeout(int ms) { reg::g_replyTimeoutMs = ms; }

std::string RegistryMachinesFile()
{
    if (const char* v = std::getenv("WINPORT_REGISTRY_MACHINES"); v && *v) return v;
    return ConfigDir() + "/registry-machines";
}

std::string HandleRegistryRequest(const std::string& request)
{
    return reg::handle(*reg::LocalBackend("HKEY_LOCAL_MACHINE"), request);
}

void RunRegistryService(int listenFd, std::stop_token stop)
{
    struct Connection {
        std::shared_ptr<std::atomic<bool>> done;
        std::jthread thread;
    };
    std::vector<Connection> connections;
    while (!stop.stop_requested()) {
        pollfd p{listenFd, POLLIN, 0};
        int n = ::poll(&p, 1, 200);  // re-check the stop request five times a second
        if (n <= 0) continue;
        int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        // Join the connections that have ended before adding one.
        std::erase_if(connections, [](const Connection& c) { return c.done->load(); });
        auto done = std::make_shared<std::atomic<bool>>(false);
        connections.push_back({done, std::jthread([fd, done](std::stop_token s) {
                                   reg::serveConnection(fd, s);
                                   done->store(true);
                               })});
    }
    for (auto& c : connections) c.thread.request_stop();
}

}  // namespace winport
