// The client side of a local server: class factories and data objects as proxies of a server
// object reached over a Unix stream socket, one connection (and one reader thread) per object.
#include "winport/DataObject.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "messages/ThreadTasks.h"
#include "winport/CString.h"
#include "winport/Paths.h"
#include "winport/ServerFrames.h"
#include "winport/Trace.h"
#include "winport/Window.h"

const IID IID_IDataObject = {0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IAdviseSink = {0x0000010F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

using winport::frames::BodyReader;
using winport::frames::BodyWriter;
using winport::frames::Frame;
using winport::frames::FrameKind;
using winport::frames::WireFormat;

namespace winport {

namespace {

// ---- registered classes ----

struct ServerClass {
    CLSID clsid;
    std::string env;
    std::string defaultName;
};

std::mutex g_classesMutex;
std::vector<ServerClass>& classes()
{
    static auto* list = new std::vector<ServerClass>;  // lives for the whole process
    return *list;
}

// ---- delivery of data changes ----

// One subscription of a sink. A delivery runs only while the record is active; deactivating
// waits for a delivery running on another thread.
struct AdviseRecord {
    IAdviseSink* sink = nullptr;
    DWORD ownerThread = 0;
    std::mutex mutex;
    std::condition_variable idle;
    bool active = true;
    int running = 0;
    std::thread::id runningOn;

    void Deactivate()
    {
        std::unique_lock<std::mutex> lock(mutex);
        active = false;
        idle.wait(lock, [&] { return running == 0 || runningOn == std::this_thread::get_id(); });
    }
};

// The process's callback thread: runs the deliveries of subscriptions whose thread has no
// message loop, one at a time, in order.
class CallbackThread {
public:
    static CallbackThread& Instance()
    {
        static auto* t = new CallbackThread;  // lives for the whole process
        return *t;
    }
    void Post(std::function<void()> task)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.push_back(std::move(task));
        if (!m_started) {
            m_started = true;
            std::thread([this] { Run(); }).detach();
        }
        m_wake.notify_one();
    }

private:
    void Run()
    {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [&] { return !m_tasks.empty(); });
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            task();
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_started = false;
};

void deliver(const std::shared_ptr<AdviseRecord>& record, const WireFormat& wire, std::vector<uint8_t> block)
{
    auto task = [record, wire, block = std::move(block)]() {
        {
            std::lock_guard<std::mutex> lock(record->mutex);
            if (!record->active) return;
            ++record->running;
            record->runningOn = std::this_thread::get_id();
        }
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, block.size());
        if (h) {
            if (!block.empty()) {
                std::memcpy(GlobalLock(h), block.data(), block.size());
                GlobalUnlock(h);
            }
            FORMATETC format{static_cast<CLIPFORMAT>(wire.cfFormat), nullptr, wire.aspect, wire.lindex, wire.tymed};
            STGMEDIUM medium{};
            medium.tymed = TYMED_HGLOBAL;
            medium.hGlobal = h;
            // The sink owns the block from here on.
            record->sink->OnDataChange(&format, &medium);
        }
        {
            std::lock_guard<std::mutex> lock(record->mutex);
            --record->running;
            record->runningOn = {};
        }
        record->idle.notify_all();
    };
    if (detail::PostThreadTask(record->ownerThread, task)) return;
    CallbackThread::Instance().Post(std::move(task));
}

// Tells a subscribed sink that its server object has gone (its connection broke), on the
// sink's own thread. Only a thread that runs a message loop hears it there; without one, the
// next call reports the broken connection.
void deliverClose(const std::shared_ptr<AdviseRecord>& record)
{
    detail::PostThreadTask(record->ownerThread, [record]() {
        {
            std::lock_guard<std::mutex> lock(record->mutex);
            if (!record->active) return;
            ++record->running;
            record->runningOn = std::this_thread::get_id();
        }
        struct Done {
            AdviseRecord& r;
            ~Done()
            {
                {
                    std::lock_guard<std::mutex> lock(r.mutex);
                    --r.running;
                    r.runningOn = {};
                }
                r.idle.notify_all();
            }
        } done{*record};
        record->sink->OnClose();
    });
}

// ---- the connection of one server object ----

int connectSocket(const std::string& path, int& error)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof(addr.sun_path)) {
        error = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    // A server that stops reading must not hold a sender for ever.
    timeval tv{static_cast<time_t>(kCallTimeoutMs / 1000), 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
    return fd;
}

bool sendAll(int fd, const std::vector<uint8_t>& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

class Connection {
public:
    explicit Connection(int fd) : m_fd(fd) {}
    ~Connection() { Close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Start() { m_reader = std::thread([this] { ReadLoop(); }); }

    /// Sends a request and waits for its reply body. An empty result means the connection is
    /// broken (or broke while waiting). advise, when given, is installed under the connection
    /// number that a successful reply names, before any later frame is looked at.
    std::optional<std::vector<uint8_t>> Call(FrameKind kind, const std::vector<uint8_t>& body,
                                             std::shared_ptr<AdviseRecord> advise = nullptr)
    {
        std::lock_guard<std::mutex> callLock(m_callMutex);
        uint32_t id;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_broken) return std::nullopt;
            id = ++m_nextCallId;
            m_awaited = id;
            m_reply.reset();
            m_pendingAdvise = std::move(advise);
        }
        if (!sendAll(m_fd, frames::Encode(kind, id, body))) {
            Break("send failed");
            return std::nullopt;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        bool answered = m_cv.wait_for(lock, std::chrono::milliseconds(kCallTimeoutMs),
                                      [&] { return m_reply.has_value() || m_broken; });
        m_awaited = 0;
        m_pendingAdvise.reset();
        if (m_reply) {
            std::vector<uint8_t> out = std::move(*m_reply);
            m_reply.reset();
            return out;
        }
        lock.unlock();
        if (!answered) Break("no answer in time");
        return std::nullopt;
    }

    std::shared_ptr<AdviseRecord> TakeAdvise(uint32_t connection)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_advises.find(connection);
        if (it == m_advises.end()) return nullptr;
        auto record = it->second;
        m_advises.erase(it);
        return record;
    }

    /// Ends the connection: no further delivery, sinks released, reader joined.
    void Close()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closing = true;
        }
        Break("closed");
        if (m_reader.joinable()) m_reader.join();
        std::map<uint32_t, std::shared_ptr<AdviseRecord>> advises;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            advises.swap(m_advises);
        }
        for (auto& [id, record] : advises) {
            record->Deactivate();
            record->sink->Release();
        }
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    void Break(const char* why)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_broken) TRACE("local server connection ends: %s\n", why);
            m_broken = true;
        }
        if (m_fd >= 0) ::shutdown(m_fd, SHUT_RDWR);
        m_cv.notify_all();
    }

    void ReadLoop()
    {
        frames::FrameReader reader;
        std::vector<uint8_t> buffer(64 * 1024);
        for (;;) {
            ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                Break(n == 0 ? "server closed the connection" : "receive failed");
                NotifyGone();
                return;
            }
            reader.Feed(buffer.data(), static_cast<size_t>(n));
            while (auto frame = reader.Next()) Handle(*frame);
            if (reader.Failed()) {
                TRACE("local server sent a bad frame: %s\n", reader.Error().c_str());
                Break("bad frame");
                NotifyGone();
                return;
            }
        }
    }

    /// The connection broke under the object (not by its own Close): its subscribers hear it.
    void NotifyGone()
    {
        std::vector<std::shared_ptr<AdviseRecord>> records;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_closing) return;
            for (auto& [id, record] : m_advises) records.push_back(record);
        }
        for (auto& record : records) deliverClose(record);
    }

    void Handle(Frame& frame)
    {
        if (frame.kind == FrameKind::Reply) {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (frame.callId == 0 || frame.callId != m_awaited || m_reply) return;  // stale or stray
            if (m_pendingAdvise) {
                auto reply = frames::ParseReply(frame.body);
                uint32_t connection = 0;
                if (reply && SUCCEEDED(reply->hr)) {
                    BodyReader r(reply->rest, reply->restSize);
                    if (r.U32(connection) && connection != 0) m_advises[connection] = m_pendingAdvise;
                }
                m_pendingAdvise.reset();
            }
            m_reply = std::move(frame.body);
            m_cv.notify_all();
            return;
        }
        if (frame.kind == FrameKind::DataChange) {
            auto change = frames::ParseDataChange(frame.body);
            if (!change) return;
            std::shared_ptr<AdviseRecord> record;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                auto it = m_advises.find(change->connection);
                if (it != m_advises.end()) record = it->second;
            }
            if (record) deliver(record, change->format, std::vector<uint8_t>(change->block, change->block + change->blockSize));
        }
        // Requests are never sent to a client: ignored.
    }

    int m_fd;
    std::thread m_reader;
    std::mutex m_callMutex;  // one call at a time
    std::mutex m_mutex;      // everything below
    std::condition_variable m_cv;
    bool m_broken = false;
    bool m_closing = false;
    uint32_t m_nextCallId = 0;
    uint32_t m_awaited = 0;
    std::optional<std::vector<uint8_t>> m_reply;
    std::shared_ptr<AdviseRecord> m_pendingAdvise;
    std::map<uint32_t, std::shared_ptr<AdviseRecord>> m_advises;
};

constexpr HRESULT kServerGone = HRESULT_RPC_S_SERVER_UNAVAILABLE;

WireFormat toWire(const FORMATETC& f)
{
    return WireFormat{f.cfFormat, f.dwAspect, f.lindex, f.tymed};
}

std::optional<HRESULT> replyResult(const std::optional<std::vector<uint8_t>>& body)
{
    if (!body) return std::nullopt;
    auto reply = frames::ParseReply(*body);
    if (!reply) return std::nullopt;
    return reply->hr;
}

// ---- the proxies ----

class RemoteDataObject : public ComObject<IDataObject> {
public:
    explicit RemoteDataObject(std::unique_ptr<Connection> connection) : m_connection(std::move(connection)) {}

    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDataObject) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (!format || !medium) return E_INVALIDARG;
        auto body = m_connection->Call(FrameKind::GetData, BodyWriter().Format(toWire(*format)).Out());
        if (!body) return kServerGone;
        auto reply = frames::ParseReply(*body);
        if (!reply) return kServerGone;
        if (SUCCEEDED(reply->hr) && reply->restSize > 0) {
            HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, reply->restSize);
            if (!h) return E_OUTOFMEMORY;
            std::memcpy(GlobalLock(h), reply->rest, reply->restSize);
            GlobalUnlock(h);
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = h;
            medium->pUnkForRelease = nullptr;
        }
        return reply->hr;
    }

    HRESULT GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT EnumFormatEtc(DWORD, void**) override { return E_NOTIMPL; }
    HRESULT EnumDAdvise(void**) override { return OLE_E_ADVISENOTSUPPORTED; }

    HRESULT SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override
    {
        if (!format || !medium) return E_INVALIDARG;
        if (medium->tymed != TYMED_HGLOBAL) return DV_E_TYMED;
        size_t size = GlobalSize(medium->hGlobal);
        const void* data = GlobalLock(medium->hGlobal);
        if (!data) return E_INVALIDARG;
        if (size > frames::kMaxBlockBytes) {
            GlobalUnlock(medium->hGlobal);
            return E_INVALIDARG;
        }
        BodyWriter w;
        w.Format(toWire(*format)).U32(medium->tymed).Bytes(data, size);
        GlobalUnlock(medium->hGlobal);
        auto hr = replyResult(m_connection->Call(FrameKind::SetData, w.Out()));
        if (!hr) return kServerGone;
        if (release && SUCCEEDED(*hr)) ReleaseStgMedium(medium);
        return *hr;
    }

    HRESULT DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) override
    {
        if (!format || !sink || !connection) return E_INVALIDARG;
        *connection = 0;
        auto record = std::make_shared<AdviseRecord>();
        record->sink = sink;
        record->ownerThread = GetCurrentThreadId();
        sink->AddRef();
        auto body = m_connection->Call(FrameKind::DAdvise, BodyWriter().Format(toWire(*format)).U32(advf).Out(), record);
        HRESULT hr = kServerGone;
        if (body) {
            if (auto reply = frames::ParseReply(*body)) {
                hr = reply->hr;
                BodyReader r(reply->rest, reply->restSize);
                uint32_t id = 0;
                if (SUCCEEDED(hr) && r.U32(id) && id != 0) {
                    *connection = id;
                    return hr;
                }
                if (SUCCEEDED(hr)) hr = E_UNEXPECTED;  // a success without a connection number
            }
        }
        sink->Release();
        return hr;
    }

    HRESULT DUnadvise(DWORD connection) override
    {
        auto hr = replyResult(m_connection->Call(FrameKind::DUnadvise, BodyWriter().U32(connection).Out()));
        // A server that refuses (busy, say) keeps the subscription, and the caller may ask
        // again; success, and a lost server, end it here.
        if (hr && FAILED(*hr)) return *hr;
        if (auto record = m_connection->TakeAdvise(connection)) {
            record->Deactivate();
            record->sink->Release();
        }
        return hr ? *hr : kServerGone;
    }

private:
    ~RemoteDataObject() override { m_connection->Close(); }
    std::unique_ptr<Connection> m_connection;
};

// A connection handshake: names the class to the server. Returns the server's answer, or
// nothing when the connection broke.
std::optional<HRESULT> connectClass(Connection& connection, REFCLSID clsid)
{
    return replyResult(connection.Call(FrameKind::Connect, BodyWriter().Bytes(&clsid, sizeof(CLSID)).Out()));
}

class RemoteClassFactory : public ComObject<IClassFactory> {
public:
    RemoteClassFactory(const CLSID& clsid, std::string path) : m_clsid(clsid), m_path(std::move(path)) {}

    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (riid != IID_IUnknown && riid != IID_IDataObject) return E_NOINTERFACE;
        int error = 0;
        int fd = connectSocket(m_path, error);
        if (fd < 0) return kServerGone;
        auto connection = std::make_unique<Connection>(fd);
        connection->Start();
        auto hr = connectClass(*connection, m_clsid);
        if (!hr) return kServerGone;
        if (FAILED(*hr)) return *hr;
        auto* proxy = new RemoteDataObject(std::move(connection));
        *object = static_cast<IDataObject*>(proxy);
        return S_OK;
    }

    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    CLSID m_clsid;
    std::string m_path;
};

}  // namespace

void RegisterLocalServerClass(REFCLSID clsid, const char* socketEnv, const char* defaultSocketName)
{
    std::lock_guard<std::mutex> lock(g_classesMutex);
    for (auto& c : classes()) {
        if (c.clsid == clsid) {
            c.env = socketEnv ? socketEnv : "";
            c.defaultName = defaultSocketName ? defaultSocketName : "";
            return;
        }
    }
    classes().push_back({clsid, socketEnv ? socketEnv : "", defaultSocketName ? defaultSocketName : ""});
}

std::string LocalServerSocketPath(REFCLSID clsid)
{
    std::lock_guard<std::mutex> lock(g_classesMutex);
    for (const auto& c : classes()) {
        if (c.clsid != clsid) continue;
        if (!c.env.empty()) {
            const char* v = std::getenv(c.env.c_str());
            if (v && *v) return v;
        }
        return RuntimeDir() + "/" + c.defaultName;
    }
    return {};
}

}  // namespace winport

void ReleaseStgMedium(STGMEDIUM* medium)
{
    if (!medium) return;
    if (medium->tymed == TYMED_HGLOBAL && medium->hGlobal) GlobalFree(medium->hGlobal);
    medium->tymed = TYMED_NULL;
    medium->hGlobal = nullptr;
    medium->pUnkForRelease = nullptr;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID riid, void** object)
{
    if (!object) return E_INVALIDARG;
    *object = nullptr;
    if (!(context & CLSCTX_LOCAL_SERVER)) return REGDB_E_CLASSNOTREG;
    if (riid != IID_IClassFactory && riid != IID_IUnknown) return E_NOINTERFACE;
    std::string path = winport::LocalServerSocketPath(clsid);
    if (path.empty()) return REGDB_E_CLASSNOTREG;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return REGDB_E_CLASSNOTREG;
    // Ask the server whether it serves the class, as the system's service manager would.
    int error = 0;
    int fd = winport::connectSocket(path, error);
    if (fd < 0) {
        if (error == EACCES || error == EPERM) return E_ACCESSDENIED;
        if (error == ENAMETOOLONG) return REGDB_E_CLASSNOTREG;
        return CO_E_SERVER_EXEC_FAILURE;
    }
    winport::Connection probe(fd);
    probe.Start();
    auto hr = winport::connectClass(probe, clsid);
    probe.Close();
    if (!hr) return CO_E_SERVER_EXEC_FAILURE;
    if (FAILED(*hr)) return *hr;
    auto* factory = new winport::RemoteClassFactory(clsid, path);
    *object = static_cast<IClassFactory*>(factory);
    return S_OK;
}

// Clipboard formats and window messages share one table of registered names, as on Windows.
UINT RegisterClipboardFormatA(LPCSTR name) { return RegisterWindowMessageA(name); }
