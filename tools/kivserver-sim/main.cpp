// kivserver-sim: a stand-in automation server on the local-server socket protocol.
//
// Every connection is one server object. An object learns its kind from the first attach
// command it receives (a command whose name begins "AttachTo", e.g. 276 AttachToMicLine) and
// answers GetData with the data set for its kind, or "no data" (0xF0000004) until some is set.
// SetData and DAdvise answer S_OK unless a script says otherwise. Every block received is
// written to the record file, one line each.
//
// The control socket takes one command per line and answers one line ("ok ..." or "error ..."):
//   busy N [dadvise|dunadvise|getdata|setdata]  the next N such calls answer busy (0xF0000003)
//   fail N OP CODE      the next N calls of OP (as for busy) answer CODE (e.g. 0x80004005)
//   booting MS          DAdvise answers "booting" (0xF0000005) for the next MS milliseconds
//   bootcount N         the next N DAdvise calls answer "booting"
//   nodata N            the next N DAdvise calls answer "no data" (0xF0000004)
//   set KIND SIZE [HEX] the data of objects of KIND: a block of SIZE bytes with the header
//                       (command KIND, window 0, size SIZE) and HEX as its body from byte 16
//   clear KIND          no data for KIND
//   push KIND SIZE [HEX] as set, and the block is pushed to every advised object of KIND;
//                       answers "ok N" with the number of subscriptions reached
//   pushraw KIND HEX    pushes exactly these bytes (no header is built, nothing is kept)
//   drop                closes every object's connection ("ok N")
//   status              "ok objects=N advised=M"
//   exit                ends the server
//
// Usage: kivserver-sim [--socket PATH] [--control PATH] [--record FILE]
//        kivserver-sim --send "LINE" [--socket PATH] [--control PATH]
// The socket defaults to $KIVSERVER_SOCKET, else kivserver.sock in the runtime folder; the
// control socket to the socket's path followed by ".ctl".
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "quenby/CommsStructure.h"
#include "quenby/KIVCommands.h"
#include "quenby/KivServerClass.h"
#include "winport/Paths.h"
#include "winport/ServerFrames.h"

using namespace winport::frames;

namespace {

constexpr size_t kMaxQueuedOutput = 64u << 20;  // a client that stops reading is dropped
constexpr size_t kMaxControlLine = 4u << 20;    // a hex block of up to 1 MiB and its words

uint64_t nowMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

uint64_t fnv1a(const uint8_t* p, size_t n)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

std::string hex(const uint8_t* p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

bool unhex(const std::string& s, std::vector<uint8_t>& out)
{
    if (s.size() % 2) return false;
    auto val = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < s.size(); i += 2) {
        int hi = val(s[i]), lo = val(s[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t start = line.find_first_not_of(" \t\r", pos);
        if (start == std::string::npos) break;
        size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string::npos) end = line.size();
        out.push_back(line.substr(start, end - start));
        pos = end;
    }
    return out;
}

bool toLong(const std::string& s, long& v)
{
    char* end = nullptr;
    errno = 0;
    v = std::strtol(s.c_str(), &end, 0);
    return !s.empty() && *end == 0 && errno == 0;
}

// Binds and listens on a socket and only then moves it to its path, so that a client never
// finds the path before the server accepts on it.
int listenAt(const std::string& path)
{
    std::string temp = path + ".new";
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (temp.size() >= sizeof(addr.sun_path)) {
        std::fprintf(stderr, "kivserver-sim: socket path too long: %s\n", path.c_str());
        return -1;
    }
    std::strcpy(addr.sun_path, temp.c_str());
    winport::EnsureParentDir(path);
    ::unlink(temp.c_str());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || ::listen(fd, 64) != 0 ||
        ::rename(temp.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "kivserver-sim: cannot listen on %s: %s\n", path.c_str(), std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

struct Peer {
    int fd = -1;
    std::string out;  // bytes waiting to be written
    bool wantWrite = false;
};

struct ServerObject : Peer {
    int id = 0;
    pid_t pid = 0;
    bool connected = false;
    int kind = -1;
    FrameReader reader;
    std::map<uint32_t, uint32_t> advises;  // connection -> aspect
};

struct ControlPeer : Peer {
    std::string in;
};

enum class Op { DAdvise, DUnadvise, GetData, SetData, Count };

class Simulator {
public:
    Simulator(std::string socketPath, std::string controlPath, FILE* record)
        : m_socketPath(std::move(socketPath)), m_controlPath(std::move(controlPath)), m_record(record)
    {
    }

    int Run()
    {
        m_format = RegisterClipboardFormatA(KIVClipboardFormatName);
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        m_listen = listenAt(m_socketPath);
        m_controlListen = listenAt(m_controlPath);
        if (m_epoll < 0 || m_listen < 0 || m_controlListen < 0) return 1;
        sigset_t signals;
        sigemptyset(&signals);
        sigaddset(&signals, SIGTERM);
        sigaddset(&signals, SIGINT);
        sigprocmask(SIG_BLOCK, &signals, nullptr);
        m_signals = ::signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
        Watch(m_listen, kListenTag, EPOLLIN);
        Watch(m_controlListen, kControlListenTag, EPOLLIN);
        Watch(m_signals, kSignalTag, EPOLLIN);
        std::printf("kivserver-sim: serving on %s (control %s)\n", m_socketPath.c_str(), m_controlPath.c_str());
        std::fflush(stdout);

        epoll_event events[64];
        while (!m_exit) {
            int n = ::epoll_wait(m_epoll, events, 64, -1);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            for (int i = 0; i < n && !m_exit; ++i) Dispatch(events[i]);
        }
        ::unlink(m_socketPath.c_str());
        ::unlink(m_controlPath.c_str());
        return 0;
    }

private:
    static constexpr uint64_t kListenTag = 1, kControlListenTag = 2, kSignalTag = 3;
    static constexpr uint64_t kObjectBase = 1ull << 32, kControlBase = 2ull << 32;

    void Watch(int fd, uint64_t tag, uint32_t events, bool modify = false)
    {
        epoll_event ev{};
        ev.events = events;
        ev.data.u64 = tag;
        ::epoll_ctl(m_epoll, modify ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev);
    }

    void Dispatch(const epoll_event& ev)
    {
        uint64_t tag = ev.data.u64;
        if (tag == kSignalTag) {
            m_exit = true;
        } else if (tag == kListenTag) {
            AcceptObjects();
        } else if (tag == kControlListenTag) {
            AcceptControl();
        } else if (tag >= kControlBase) {
            auto it = m_controls.find(static_cast<int>(tag - kControlBase));
            if (it == m_controls.end()) return;
            if (ev.events & EPOLLOUT) Flush(*it->second, tag);
            if (ev.events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadControl(it->first);
        } else if (tag >= kObjectBase) {
            auto it = m_objects.find(static_cast<int>(tag - kObjectBase));
            if (it == m_objects.end()) return;
            if (ev.events & EPOLLOUT) Flush(*it->second, tag);
            if (ev.events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadObject(it->first);
        }
    }

    void AcceptObjects()
    {
        for (;;) {
            int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            auto object = std::make_unique<ServerObject>();
            object->fd = fd;
            object->id = ++m_nextObject;
            ucred cred{};
            socklen_t len = sizeof cred;
            if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0) object->pid = cred.pid;
            Watch(fd, kObjectBase + static_cast<uint64_t>(object->id), EPOLLIN);
            m_objects[object->id] = std::move(object);
        }
    }

    void AcceptControl()
    {
        for (;;) {
            int fd = ::accept4(m_controlListen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) return;
            int id = ++m_nextControl;
            auto peer = std::make_unique<ControlPeer>();
            peer->fd = fd;
            Watch(fd, kControlBase + static_cast<uint64_t>(id), EPOLLIN);
            m_controls[id] = std::move(peer);
        }
    }

    void Record(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        if (!m_record) return;
        va_list args;
        va_start(args, format);
        std::vfprintf(m_record, format, args);
        va_end(args);
        std::fputc('\n', m_record);
        std::fflush(m_record);
    }

    // ---- server objects ----

    void CloseObject(int id)
    {
        auto it = m_objects.find(id);
        if (it == m_objects.end()) return;
        if (it->second->connected) Record("close object=%d", id);
        ::close(it->second->fd);
        m_objects.erase(it);
    }

    void ReadObject(int id)
    {
        ServerObject& object = *m_objects.at(id);
        uint8_t buf[65536];
        for (;;) {
            ssize_t n = ::recv(object.fd, buf, sizeof buf, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n <= 0) {
                CloseObject(id);
                return;
            }
            object.reader.Feed(buf, static_cast<size_t>(n));
            while (auto frame = object.reader.Next()) {
                Handle(object, *frame);
                if (!m_objects.count(id)) return;
            }
            if (object.reader.Failed()) {
                Record("refused object=%d reason=\"%s\"", id, object.reader.Error().c_str());
                CloseObject(id);
                return;
            }
        }
    }

    bool Scripted(Op op, HRESULT& hr)
    {
        if (op == Op::DAdvise && (nowMs() < m_bootingUntil || m_bootCount > 0)) {
            if (m_bootCount > 0) --m_bootCount;
            hr = KIV_E_BOOTING;
            return true;
        }
        auto& script = m_scripted[static_cast<int>(op)];
        if (script.count > 0) {
            --script.count;
            hr = script.code;
            return true;
        }
        if (op == Op::DAdvise && m_noData > 0) {
            --m_noData;
            hr = KIV_E_NODATA;
            return true;
        }
        return false;
    }

    void Handle(ServerObject& object, Frame& frame)
    {
        BodyReader r(frame.body);
        BodyWriter reply;
        WireFormat format;
        HRESULT scripted = S_OK;
        if (frame.kind != FrameKind::Connect && !object.connected) {
            reply.I32(E_UNEXPECTED);
            Send(object, FrameKind::Reply, frame.callId, reply.Out());
            return;
        }
        switch (frame.kind) {
        case FrameKind::Connect: {
            bool ours = r.RestSize() == sizeof(CLSID) && std::memcmp(r.Rest(), &CLSID_KIVServer, sizeof(CLSID)) == 0;
            object.connected = ours;
            if (ours) Record("connect object=%d pid=%d", object.id, static_cast<int>(object.pid));
            reply.I32(ours ? S_OK : REGDB_E_CLASSNOTREG);
            break;
        }
        case FrameKind::SetData: {
            uint32_t tymed = 0;
            if (!r.Format(format) || !r.U32(tymed)) {
                reply.I32(E_INVALIDARG);
                break;
            }
            const uint8_t* block = r.Rest();
            size_t size = r.RestSize();
            if (format.cfFormat != m_format) {
                reply.I32(DV_E_FORMATETC);
                break;
            }
            if (Scripted(Op::SetData, scripted)) {
                reply.I32(scripted);
                break;
            }
            _CommsStructure header{-1, 0, 0, 0};
            if (size >= sizeof header) std::memcpy(&header, block, sizeof header);
            const char* name = KIVCommandName(header.nCommand);
            Record("block object=%d pid=%d aspect=%u cmd=%d name=%s size=%zu sizefield=%d window=%u fnv=%016llx head=%s",
                   object.id, static_cast<int>(object.pid), format.aspect, header.nCommand, name ? name : "?", size,
                   header.nSize, header.hReplyWnd, static_cast<unsigned long long>(fnv1a(block, size)),
                   hex(block, std::min<size_t>(size, 32)).c_str());
            if (size < sizeof header || !name) {
                reply.I32(E_INVALIDARG);
                break;
            }
            if (object.kind < 0 && std::strncmp(name, "AttachTo", 8) == 0) object.kind = header.nCommand;
            reply.I32(S_OK);
            break;
        }
        case FrameKind::GetData: {
            r.Format(format);
            if (Scripted(Op::GetData, scripted)) {
                reply.I32(scripted);
                break;
            }
            auto it = m_data.find(object.kind);
            if (object.kind < 0 || it == m_data.end()) {
                reply.I32(KIV_E_NODATA);
            } else {
                reply.I32(S_OK).Bytes(it->second.data(), it->second.size());
            }
            break;
        }
        case FrameKind::DAdvise: {
            uint32_t advf = 0;
            r.Format(format);
            r.U32(advf);
            if (Scripted(Op::DAdvise, scripted)) {
                reply.I32(scripted);
                break;
            }
            uint32_t connection = ++m_nextConnection;
            object.advises[connection] = format.aspect;
            Record("advise object=%d connection=%u kind=%d", object.id, connection, object.kind);
            reply.I32(S_OK).U32(connection);
            break;
        }
        case FrameKind::DUnadvise: {
            uint32_t connection = 0;
            r.U32(connection);
            if (Scripted(Op::DUnadvise, scripted)) {
                reply.I32(scripted);
                break;
            }
            if (object.advises.erase(connection)) {
                Record("unadvise object=%d connection=%u", object.id, connection);
                reply.I32(S_OK);
            } else {
                reply.I32(OLE_E_NOCONNECTION);
            }
            break;
        }
        default:
            return;  // a client sends no replies or pushes
        }
        Send(object, FrameKind::Reply, frame.callId, reply.Out());
    }

    void Send(ServerObject& object, FrameKind kind, uint32_t callId, const std::vector<uint8_t>& body)
    {
        auto bytes = Encode(kind, callId, body);
        object.out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (object.out.size() > kMaxQueuedOutput) {
            Record("dropped object=%d reason=\"not reading\"", object.id);
            CloseObject(object.id);
            return;
        }
        Flush(object, kObjectBase + static_cast<uint64_t>(object.id));
    }

    void Flush(Peer& peer, uint64_t tag)
    {
        while (!peer.out.empty()) {
            ssize_t n = ::send(peer.fd, peer.out.data(), peer.out.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            peer.out.erase(0, static_cast<size_t>(n));
        }
        bool want = !peer.out.empty();
        if (want != peer.wantWrite) {
            peer.wantWrite = want;
            Watch(peer.fd, tag, EPOLLIN | (want ? EPOLLOUT : 0u), true);
        }
    }

    // ---- control ----

    void ReadControl(int id)
    {
        ControlPeer& peer = *m_controls.at(id);
        char buf[65536];
        for (;;) {
            ssize_t n = ::recv(peer.fd, buf, sizeof buf, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            if (n <= 0 || peer.in.size() + static_cast<size_t>(n) > kMaxControlLine) {
                ::close(peer.fd);
                m_controls.erase(id);
                return;
            }
            peer.in.append(buf, static_cast<size_t>(n));
            size_t eol;
            while ((eol = peer.in.find('\n')) != std::string::npos) {
                std::string line = peer.in.substr(0, eol);
                peer.in.erase(0, eol + 1);
                std::string answer = Control(line) + "\n";
                peer.out += answer;
                Flush(peer, kControlBase + static_cast<uint64_t>(id));
                if (m_exit) return;
            }
        }
    }

    bool BuildBlock(const std::vector<std::string>& w, std::vector<uint8_t>& block, std::string& error)
    {
        long kind = 0, size = 0;
        if (w.size() < 3 || w.size() > 4 || !toLong(w[1], kind) || !toLong(w[2], size)) {
            error = "usage: " + w[0] + " KIND SIZE [HEX]";
            return false;
        }
        std::vector<uint8_t> body;
        if (w.size() == 4 && !unhex(w[3], body)) {
            error = "bad hex";
            return false;
        }
        if (size < 16 || static_cast<size_t>(size) > kMaxBlockBytes || body.size() > static_cast<size_t>(size - 16)) {
            error = "size must be 16 to " + std::to_string(kMaxBlockBytes) + " and hold the body";
            return false;
        }
        block.assign(static_cast<size_t>(size), 0);
        _CommsStructure header{static_cast<int32_t>(kind), 0, static_cast<int32_t>(size), 0};
        std::memcpy(block.data(), &header, sizeof header);
        if (!body.empty()) std::memcpy(block.data() + 16, body.data(), body.size());
        return true;
    }

    int PushToKind(int kind, const std::vector<uint8_t>& block)
    {
        int reached = 0;
        std::vector<int> ids;
        for (auto& [id, object] : m_objects) ids.push_back(id);
        for (int id : ids) {
            auto it = m_objects.find(id);
            if (it == m_objects.end() || it->second->kind != kind) continue;
            ServerObject& object = *it->second;
            std::vector<std::pair<uint32_t, uint32_t>> advises(object.advises.begin(), object.advises.end());
            for (auto [connection, aspect] : advises) {
                Record("push object=%d connection=%u size=%zu", id, connection, block.size());
                Send(object, FrameKind::DataChange, 0,
                     BodyWriter().U32(connection).Format({m_format, aspect, -1, 1}).Bytes(block.data(), block.size()).Out());
                ++reached;
                if (!m_objects.count(id)) break;
            }
        }
        return reached;
    }

    std::string Control(const std::string& line)
    {
        auto w = words(line);
        if (w.empty()) return "error empty command";
        const std::string& cmd = w[0];
        long n = 0;
        std::string error;
        bool busy = cmd == "busy" && (w.size() == 2 || w.size() == 3);
        bool fail = cmd == "fail" && w.size() == 4;
        if ((busy || fail) && toLong(w[1], n) && n >= 0) {
            std::string op = w.size() >= 3 ? w[2] : "dadvise";
            static const std::map<std::string, Op> ops = {
                {"dadvise", Op::DAdvise}, {"dunadvise", Op::DUnadvise}, {"getdata", Op::GetData}, {"setdata", Op::SetData}};
            auto it = ops.find(op);
            if (it == ops.end()) return "error unknown call " + op;
            long code = KIV_E_NOTREADY;
            if (fail) {
                unsigned long parsed = std::strtoul(w[3].c_str(), nullptr, 0);
                code = static_cast<long>(static_cast<int32_t>(parsed));
            }
            m_scripted[static_cast<int>(it->second)] = {static_cast<int>(n), static_cast<HRESULT>(code)};
            return "ok";
        }
        if (cmd == "booting" && w.size() == 2 && toLong(w[1], n) && n >= 0) {
            m_bootingUntil = nowMs() + static_cast<uint64_t>(n);
            return "ok";
        }
        if (cmd == "bootcount" && w.size() == 2 && toLong(w[1], n) && n >= 0) {
            m_bootCount = static_cast<int>(n);
            return "ok";
        }
        if (cmd == "nodata" && w.size() == 2 && toLong(w[1], n) && n >= 0) {
            m_noData = static_cast<int>(n);
            return "ok";
        }
        if (cmd == "set" || cmd == "push") {
            std::vector<uint8_t> block;
            if (!BuildBlock(w, block, error)) return "error " + error;
            int kind = static_cast<int>(std::strtol(w[1].c_str(), nullptr, 0));
            m_data[kind] = block;
            if (cmd == "set") return "ok";
            return "ok " + std::to_string(PushToKind(kind, block));
        }
        if (cmd == "clear" && w.size() == 2 && toLong(w[1], n)) {
            m_data.erase(static_cast<int>(n));
            return "ok";
        }
        if (cmd == "pushraw" && w.size() == 3 && toLong(w[1], n)) {
            std::vector<uint8_t> block;
            if (!unhex(w[2], block) || block.size() > kMaxBlockBytes) return "error bad hex";
            return "ok " + std::to_string(PushToKind(static_cast<int>(n), block));
        }
        if (cmd == "drop" && w.size() == 1) {
            std::vector<int> ids;
            for (auto& [id, object] : m_objects) ids.push_back(id);
            for (int id : ids) CloseObject(id);
            return "ok " + std::to_string(ids.size());
        }
        if (cmd == "status" && w.size() == 1) {
            size_t objects = 0, advised = 0;
            for (auto& [id, object] : m_objects) {
                if (!object->connected) continue;
                ++objects;
                advised += object->advises.size();
            }
            return "ok objects=" + std::to_string(objects) + " advised=" + std::to_string(advised);
        }
        if (cmd == "exit" && w.size() == 1) {
            m_exit = true;
            return "ok";
        }
        return "error unknown or malformed command: " + cmd;
    }

    std::string m_socketPath, m_controlPath;
    FILE* m_record;
    UINT m_format = 0;
    int m_epoll = -1, m_listen = -1, m_controlListen = -1, m_signals = -1;
    bool m_exit = false;
    int m_nextObject = 0, m_nextControl = 0;
    uint32_t m_nextConnection = 0;
    std::map<int, std::unique_ptr<ServerObject>> m_objects;
    std::map<int, std::unique_ptr<ControlPeer>> m_controls;
    std::map<int, std::vector<uint8_t>> m_data;  // kind -> block
    struct ScriptedAnswer {
        int count = 0;
        HRESULT code = 0;
    };
    ScriptedAnswer m_scripted[static_cast<int>(Op::Count)];
    int m_noData = 0;
    int m_bootCount = 0;
    uint64_t m_bootingUntil = 0;
};

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
    std::string controlPath, recordPath, sendLine;
    bool send = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 < argc && a == "--socket") socketPath = argv[++i];
        else if (i + 1 < argc && a == "--control") controlPath = argv[++i];
        else if (i + 1 < argc && a == "--record") recordPath = argv[++i];
        else if (i + 1 < argc && a == "--send") {
            send = true;
            sendLine = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: kivserver-sim [--socket PATH] [--control PATH] [--record FILE]\n"
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
    Simulator sim(socketPath, controlPath, record);
    int status = sim.Run();
    if (record) std::fclose(record);
    return status;
}
