#include "Simulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "quenby/CommsStructure.h"
#include "quenby/KIVCommands.h"
#include "quenby/KivServerClass.h"
#include "winport/Paths.h"

using namespace winport::frames;

namespace kivsim {

namespace {

constexpr size_t kMaxQueuedOutput = 64u << 20;  // a client that stops reading is dropped
constexpr uint64_t kListenTag = 1, kControlListenTag = 2, kSignalTag = 3;
constexpr uint64_t kObjectBase = 1ull << 32, kControlBase = 2ull << 32;

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
    // An earlier run's socket is replaced; anything else at the path is left alone.
    struct stat there {};
    if (::lstat(path.c_str(), &there) == 0 && !S_ISSOCK(there.st_mode)) {
        std::fprintf(stderr, "kivserver-sim: cannot listen on %s: it is there and is not a socket\n", path.c_str());
        return -1;
    }
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

}  // namespace

uint64_t NowMs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

Simulator::Simulator(std::string socketPath, std::string controlPath, FILE* record, std::string blocksDir)
    : m_socketPath(std::move(socketPath)), m_controlPath(std::move(controlPath)), m_record(record),
      m_blocksDir(std::move(blocksDir))
{
}

int Simulator::Run()
{
    m_format = RegisterClipboardFormatA(KIVClipboardFormatName);
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_listen = listenAt(m_socketPath);
    m_controlListen = listenAt(m_controlPath);
    if (m_epoll < 0 || m_listen < 0 || m_controlListen < 0) return 1;
    if (!m_blocksDir.empty()) winport::EnsureParentDir(m_blocksDir + "/x");
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
        int n = ::epoll_wait(m_epoll, events, 64, MillisecondsToNextAction());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        for (int i = 0; i < n && !m_exit; ++i) Dispatch(events[i].events, events[i].data.u64);
        RunDueActions();
    }
    ::unlink(m_socketPath.c_str());
    ::unlink(m_controlPath.c_str());
    return 0;
}

void Simulator::Watch(int fd, uint64_t tag, uint32_t events, bool modify)
{
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = tag;
    ::epoll_ctl(m_epoll, modify ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev);
}

void Simulator::Dispatch(uint32_t events, uint64_t tag)
{
    if (tag == kSignalTag) {
        m_exit = true;
    } else if (tag == kListenTag) {
        AcceptObjects();
    } else if (tag == kControlListenTag) {
        AcceptControl();
    } else if (tag >= kControlBase) {
        auto it = m_controls.find(static_cast<int>(tag - kControlBase));
        if (it == m_controls.end()) return;
        if (events & EPOLLOUT) Flush(*it->second, tag);
        if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadControl(it->first);
    } else if (tag >= kObjectBase) {
        auto it = m_objects.find(static_cast<int>(tag - kObjectBase));
        if (it == m_objects.end()) return;
        if (events & EPOLLOUT) Flush(*it->second, tag);
        if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadObject(it->first);
    }
}

void Simulator::AcceptObjects()
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

void Simulator::AcceptControl()
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

void Simulator::Record(const char* format, ...)
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

void Simulator::CloseObject(int id)
{
    auto it = m_objects.find(id);
    if (it == m_objects.end()) return;
    if (it->second->connected) Record("close object=%d", id);
    ::close(it->second->fd);
    m_objects.erase(it);
}

int Simulator::DropAll()
{
    std::vector<int> ids;
    for (auto& [id, object] : m_objects) ids.push_back(id);
    for (int id : ids) CloseObject(id);
    return static_cast<int>(ids.size());
}

void Simulator::CountObjects(size_t& objects, size_t& advised) const
{
    objects = advised = 0;
    for (auto& [id, object] : m_objects) {
        if (!object->connected) continue;
        ++objects;
        advised += object->advises.size();
    }
}

void Simulator::BootFor(uint64_t ms) { m_bootingUntil = NowMs() + ms; }

void Simulator::ReadObject(int id)
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

bool Simulator::Scripted(Op op, int32_t& hr)
{
    if (op == Op::DAdvise && (NowMs() < m_bootingUntil || m_bootCount > 0)) {
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

// A block that arrived whole: recorded (and kept in the blocks folder), then given to the
// families and to the scripted answer of its command.
void Simulator::Received(ServerObject& object, uint32_t aspect, const uint8_t* block, size_t size)
{
    uint64_t seq = ++m_blockCount;
    if (!m_blocksDir.empty()) {
        std::string path = m_blocksDir + "/block-" + std::to_string(seq) + ".bin";
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(block, 1, size, f);
            std::fclose(f);
        }
    }
    _CommsStructure header{-1, 0, 0, 0};
    if (size >= sizeof header) std::memcpy(&header, block, sizeof header);
    const char* name = KIVCommandName(header.nCommand);
    Record("block object=%d pid=%d aspect=%u cmd=%d name=%s size=%zu sizefield=%d window=%u fnv=%016llx head=%s seq=%llu",
           object.id, static_cast<int>(object.pid), aspect, header.nCommand, name ? name : "?", size, header.nSize,
           header.hReplyWnd, static_cast<unsigned long long>(fnv1a(block, size)),
           hex(block, std::min<size_t>(size, 32)).c_str(), static_cast<unsigned long long>(seq));
    if (size < sizeof header || !name) return;
    for (Family* family : Families()) family->OnBlock(*this, object, header.nCommand, block, size);

    auto rule = m_reactions.find(header.nCommand);
    if (rule == m_reactions.end() || object.kind < 0) return;
    const Reaction& r = rule->second;
    PendingAction action;
    // At least the delay after the block came: the clock reads whole milliseconds, so a block
    // that came late in one would otherwise be answered up to a millisecond early.
    action.dueMs = NowMs() + r.delayMs + (r.delayMs > 0 ? 1 : 0);
    action.kind = object.kind;
    action.keep = r.what != Reaction::Kind::PushRaw;
    action.push = r.what != Reaction::Kind::Set;
    action.block = r.what == Reaction::Kind::Echo ? std::vector<uint8_t>(block, block + size) : r.block;
    if (r.delayMs == 0) Perform(action);
    else m_pending.push_back(std::move(action));
}

void Simulator::Perform(PendingAction& action)
{
    Record("scripted kind=%d size=%zu%s%s", action.kind, action.block.size(), action.keep ? " set" : "",
           action.push ? " push" : "");
    if (action.keep) SetData(action.kind, action.block);
    if (action.push) PushToKind(action.kind, action.block);
}

void Simulator::RunDueActions()
{
    uint64_t now = NowMs();
    // Actions run in the order they became due; one may add no others, so a copy is safe.
    std::vector<PendingAction> due;
    auto keep = std::stable_partition(m_pending.begin(), m_pending.end(), [&](const PendingAction& a) { return a.dueMs > now; });
    due.assign(std::make_move_iterator(keep), std::make_move_iterator(m_pending.end()));
    m_pending.erase(keep, m_pending.end());
    std::stable_sort(due.begin(), due.end(), [](const PendingAction& a, const PendingAction& b) { return a.dueMs < b.dueMs; });
    for (auto& action : due) Perform(action);
}

int Simulator::MillisecondsToNextAction() const
{
    if (m_pending.empty()) return -1;
    uint64_t next = m_pending.front().dueMs;
    for (const auto& a : m_pending) next = std::min(next, a.dueMs);
    uint64_t now = NowMs();
    return next <= now ? 0 : static_cast<int>(std::min<uint64_t>(next - now, 60000));
}

void Simulator::Handle(ServerObject& object, Frame& frame)
{
    BodyReader r(frame.body);
    BodyWriter reply;
    WireFormat format;
    int32_t scripted = S_OK;
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
        int32_t command = -1;
        if (size >= 4) std::memcpy(&command, block, 4);
        Received(object, format.aspect, block, size);
        if (!m_objects.count(object.id)) return;
        reply.I32(size >= sizeof(_CommsStructure) && KIVCommandName(command) ? S_OK : E_INVALIDARG);
        break;
    }
    case FrameKind::GetData: {
        r.Format(format);
        if (Scripted(Op::GetData, scripted)) {
            Record("read object=%d kind=%d result=0x%08x", object.id, object.kind, static_cast<unsigned>(scripted));
            reply.I32(scripted);
            break;
        }
        auto it = m_data.find(object.kind);
        if (object.ownData && !object.data.empty()) {
            Record("read object=%d kind=%d result=0x00000000 size=%zu", object.id, object.kind, object.data.size());
            reply.I32(S_OK).Bytes(object.data.data(), object.data.size());
        } else if (object.ownData || object.kind < 0 || it == m_data.end()) {
            Record("read object=%d kind=%d result=0x%08x", object.id, object.kind, static_cast<unsigned>(KIV_E_NODATA));
            reply.I32(KIV_E_NODATA);
        } else {
            Record("read object=%d kind=%d result=0x00000000 size=%zu", object.id, object.kind, it->second.size());
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

void Simulator::Send(ServerObject& object, FrameKind kind, uint32_t callId, const std::vector<uint8_t>& body)
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

void Simulator::Flush(Peer& peer, uint64_t tag)
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

int Simulator::PushToKind(int kind, const std::vector<uint8_t>& block, pid_t onlyPid)
{
    int reached = 0;
    std::vector<int> ids;
    for (auto& [id, object] : m_objects) ids.push_back(id);
    for (int id : ids) {
        auto it = m_objects.find(id);
        if (it == m_objects.end() || it->second->kind != kind || (onlyPid != 0 && it->second->pid != onlyPid)) continue;
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

// ---- control ----

void Simulator::ReadControl(int id)
{
    constexpr size_t kMaxControlLine = 4u << 20;  // a hex block of up to 1 MiB and its words
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

}  // namespace kivsim
