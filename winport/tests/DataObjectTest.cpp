// The local-server client: class factory codes, calls over the socket, pushed data changes and
// their delivery rules, broken connections. A small server on a thread of the test speaks the
// frame protocol.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "TestEnvironment.h"
#include "winport/DataObject.h"
#include "winport/MessageLoop.h"
#include "winport/Paths.h"
#include "winport/ServerFrames.h"
#include "winport/Window.h"

using namespace winport::frames;

namespace {

const CLSID kTestClass = {0x1234ABCD, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};
const CLSID kOtherClass = {0x1234ABCE, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

int listenOn(const std::string& path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    ::unlink(path.c_str());
    EXPECT_EQ(0, ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
    EXPECT_EQ(0, ::listen(fd, 8));
    return fd;
}

// Serves one class on a socket: every connection gets its own thread; SetData blocks are kept,
// GetData returns the last one, DAdvise hands out numbers from 1. The test pushes blocks and
// closes connections through it.
class TestServer {
public:
    explicit TestServer(const std::string& path) : m_listen(listenOn(path))
    {
        m_acceptor = std::thread([this] { Accept(); });
    }
    ~TestServer()
    {
        ::shutdown(m_listen, SHUT_RDWR);
        m_acceptor.join();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (int fd : m_clients) ::shutdown(fd, SHUT_RDWR);
        }
        for (auto& t : m_threads) t.join();
        for (int fd : m_clients) ::close(fd);
        ::close(m_listen);
    }

    void Push(uint32_t connection, const std::vector<uint8_t>& block, int client = -1)
    {
        SendRaw(Encode(FrameKind::DataChange, 0, BodyWriter().U32(connection).Format({0xC000, 0, -1, 1}).Bytes(block.data(), block.size()).Out()), client);
    }
    void SendRaw(const std::vector<uint8_t>& bytes, int client = -1)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int fd = m_clients.at(client < 0 ? m_clients.size() - 1 : static_cast<size_t>(client));
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL));
    }
    void CloseClients()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_clients) ::shutdown(fd, SHUT_RDWR);
    }
    std::vector<std::vector<uint8_t>> Blocks()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_blocks;
    }
    std::vector<WireFormat> Formats()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_formats;
    }
    /// Answers every later DUnadvise with this code.
    void SetUnadviseResult(HRESULT hr) { m_unadviseResult = hr; }

private:
    void Accept()
    {
        for (;;) {
            int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_clients.push_back(fd);
            m_threads.emplace_back([this, fd] { Serve(fd); });
        }
    }
    void Serve(int fd)
    {
        FrameReader reader;
        uint8_t buf[65536];
        for (;;) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return;
            reader.Feed(buf, static_cast<size_t>(n));
            while (auto f = reader.Next()) {
                BodyWriter reply;
                BodyReader r(f->body);
                WireFormat format;
                switch (f->kind) {
                case FrameKind::Connect: {
                    CLSID clsid{};
                    bool ok = r.RestSize() == sizeof(CLSID) && std::memcmp(r.Rest(), &kTestClass, sizeof(CLSID)) == 0;
                    (void)clsid;
                    reply.I32(ok ? S_OK : REGDB_E_CLASSNOTREG);
                    break;
                }
                case FrameKind::SetData: {
                    uint32_t tymed = 0;
                    r.Format(format);
                    r.U32(tymed);
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_formats.push_back(format);
                    m_blocks.emplace_back(r.Rest(), r.Rest() + r.RestSize());
                    reply.I32(S_OK);
                    break;
                }
                case FrameKind::GetData: {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    if (m_blocks.empty()) {
                        reply.I32(static_cast<HRESULT>(0xF0000004));
                    } else {
                        reply.I32(S_OK).Bytes(m_blocks.back().data(), m_blocks.back().size());
                    }
                    break;
                }
                case FrameKind::DAdvise:
                    reply.I32(S_OK).U32(++m_nextAdvise);
                    break;
                case FrameKind::DUnadvise:
                    reply.I32(m_unadviseResult.load());
                    break;
                default:
                    continue;
                }
                auto bytes = Encode(FrameKind::Reply, f->callId, reply.Out());
                std::lock_guard<std::mutex> lock(m_mutex);
                ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            }
        }
    }

    int m_listen;
    std::thread m_acceptor;
    std::mutex m_mutex;
    std::vector<int> m_clients;
    std::vector<std::thread> m_threads;
    std::vector<std::vector<uint8_t>> m_blocks;
    std::vector<WireFormat> m_formats;
    std::atomic<uint32_t> m_nextAdvise{0};
    std::atomic<HRESULT> m_unadviseResult{S_OK};
};

// Records the blocks it receives and the thread they arrive on.
class RecordingSink : public IAdviseSink {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    void OnDataChange(FORMATETC*, STGMEDIUM* medium) override
    {
        if (onChange) onChange();
        std::vector<uint8_t> bytes(GlobalSize(medium->hGlobal));
        std::memcpy(bytes.data(), GlobalLock(medium->hGlobal), bytes.size());
        GlobalUnlock(medium->hGlobal);
        GlobalFree(medium->hGlobal);
        std::lock_guard<std::mutex> lock(mutex);
        blocks.push_back(std::move(bytes));
        thread = std::this_thread::get_id();
        cv.notify_all();
    }
    void OnViewChange(DWORD, LONG) override {}
    void OnRename(void*) override {}
    void OnSave() override {}
    void OnClose() override {}

    bool WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return blocks.size() >= count; });
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return blocks.size();
    }

    std::atomic<int> refs{0};
    std::function<void()> onChange;
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::vector<uint8_t>> blocks;
    std::thread::id thread;
};

HGLOBAL blockOf(const std::vector<uint8_t>& bytes)
{
    HGLOBAL h = GlobalAlloc(0x2042, bytes.size());
    std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
    return h;
}

std::vector<uint8_t> pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
    return v;
}

/// Runs `body` on a new thread, which has no message loop: its subscriptions are delivered on
/// the callback thread. (The test's own thread may have a loop from an earlier test.)
void onThreadWithoutLoop(const std::function<void()>& body) { std::thread(body).join(); }

class DataObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        socketPath = env.Path("runtime/test-server.sock");
        ::setenv("TEST_SERVER_SOCKET", socketPath.c_str(), 1);
        winport::RegisterLocalServerClass(kTestClass, "TEST_SERVER_SOCKET", "unused.sock");
        winport::RegisterLocalServerClass(kOtherClass, "TEST_SERVER_SOCKET", "unused.sock");
    }

    IDataObject* Create()
    {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(S_OK, CoGetClassObject(kTestClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
        if (!factory) return nullptr;
        IUnknown* unknown = nullptr;
        EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)));
        factory->Release();
        IDataObject* data = nullptr;
        if (unknown) {
            EXPECT_EQ(S_OK, unknown->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&data)));
            unknown->Release();
        }
        return data;
    }

    TestEnvironment env;
    std::string socketPath;
    FORMATETC format{0xC000, nullptr, 4242, -1, 0};
};

TEST_F(DataObjectTest, ClassFactoryFailureCodes)
{
    void* object = nullptr;
    const CLSID unknownClass = {0x99, 0, 0, {0}};
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoGetClassObject(unknownClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, &object));
    // Registered, but no server has made its socket.
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoGetClassObject(kTestClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, &object));
    EXPECT_EQ(E_INVALIDARG, CoGetClassObject(kTestClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, nullptr));
    {
        // A socket left behind by a server that has gone: nobody accepts.
        int fd = listenOn(socketPath);
        ::close(fd);
        EXPECT_EQ(CO_E_SERVER_EXEC_FAILURE, CoGetClassObject(kTestClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, &object));
    }
    TestServer server(socketPath);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoGetClassObject(kOtherClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, &object));
    EXPECT_EQ(E_NOINTERFACE, CoGetClassObject(kTestClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IDataObject, &object));
    EXPECT_EQ(nullptr, object);
    ASSERT_EQ(S_OK, CoGetClassObject(kTestClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, &object));
    static_cast<IClassFactory*>(object)->Release();
}

TEST_F(DataObjectTest, BlocksTravelIntactBothWays)
{
    TestServer server(socketPath);
    IDataObject* data = Create();
    ASSERT_NE(nullptr, data);
    STGMEDIUM medium{};
    EXPECT_EQ(static_cast<HRESULT>(0xF0000004), data->GetData(&format, &medium));
    EXPECT_EQ(nullptr, medium.hGlobal);

    for (size_t size : {size_t(16), size_t(460000)}) {
        SCOPED_TRACE(size);
        auto bytes = pattern(size, static_cast<uint8_t>(size));
        STGMEDIUM send{};
        send.tymed = TYMED_HGLOBAL;
        send.hGlobal = blockOf(bytes);
        EXPECT_EQ(S_OK, data->SetData(&format, &send, FALSE));
        EXPECT_NE(0u, GlobalSize(send.hGlobal));  // the caller keeps its block
        GlobalFree(send.hGlobal);
        EXPECT_EQ(bytes, server.Blocks().back());
        EXPECT_EQ(4242u, server.Formats().back().aspect);
        EXPECT_EQ(-1, server.Formats().back().lindex);

        STGMEDIUM got{};
        ASSERT_EQ(S_OK, data->GetData(&format, &got));
        ASSERT_EQ(size, GlobalSize(got.hGlobal));
        EXPECT_EQ(0, std::memcmp(bytes.data(), GlobalLock(got.hGlobal), size));
        GlobalUnlock(got.hGlobal);
        ReleaseStgMedium(&got);
    }
    // A block beyond the frame bound is refused here and never sent.
    STGMEDIUM big{};
    big.tymed = TYMED_HGLOBAL;
    big.hGlobal = GlobalAlloc(0x2042, kMaxBlockBytes + 1);
    EXPECT_EQ(E_INVALIDARG, data->SetData(&format, &big, FALSE));
    GlobalFree(big.hGlobal);
    EXPECT_EQ(2u, server.Blocks().size());
    data->Release();
}

TEST_F(DataObjectTest, PushesReachTheSinkUntilUnadvise)
{
    TestServer server(socketPath);
    onThreadWithoutLoop([&] {
        IDataObject* data = Create();
        ASSERT_NE(nullptr, data);
        RecordingSink first, second;
        DWORD c1 = 0, c2 = 0;
        ASSERT_EQ(S_OK, data->DAdvise(&format, ADVF_NODATA, &first, &c1));
        EXPECT_EQ(1, first.refs.load());  // held by the subscription
        server.Push(c1, pattern(16, 1));
        server.Push(c1, pattern(300000, 2));
        ASSERT_TRUE(first.WaitFor(2));
        EXPECT_EQ(pattern(16, 1), first.blocks[0]);
        EXPECT_EQ(pattern(300000, 2), first.blocks[1]);
        // The callback thread delivers.
        EXPECT_NE(std::this_thread::get_id(), first.thread);

        // A refused unadvise keeps the subscription.
        server.SetUnadviseResult(static_cast<HRESULT>(0xF0000003));
        EXPECT_EQ(static_cast<HRESULT>(0xF0000003), data->DUnadvise(c1));
        server.SetUnadviseResult(S_OK);
        EXPECT_EQ(S_OK, data->DUnadvise(c1));
        EXPECT_EQ(0, first.refs.load());

        // Deliveries are in order on one thread: once the second sink has its block, a push to
        // the first subscription sent before it would have arrived.
        ASSERT_EQ(S_OK, data->DAdvise(&format, ADVF_NODATA, &second, &c2));
        server.Push(c1, pattern(16, 3));
        server.Push(c2, pattern(16, 4));
        ASSERT_TRUE(second.WaitFor(1));
        EXPECT_EQ(2u, first.Count());
        data->Release();
        EXPECT_EQ(0, second.refs.load());  // the object's end releases its subscriptions
    });
}

TEST_F(DataObjectTest, DeliveriesGoToTheOwningThreadsLoop)
{
    TestServer server(socketPath);
    IDataObject* data = Create();
    ASSERT_NE(nullptr, data);
    RecordingSink sink;
    // A thread of its own with a message loop subscribes: the changes wait in its queue and
    // are delivered when it dispatches them.
    std::thread owner([&] {
        winport::MessageLoop& loop = winport::MessageLoop::Current();
        DWORD c = 0;
        ASSERT_EQ(S_OK, data->DAdvise(&format, ADVF_NODATA, &sink, &c));
        server.Push(c, pattern(20, 9));
        server.Push(c, pattern(20, 10));
        for (int i = 0; i < 2000 && loop.PendingCount() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(2u, loop.PendingCount());
        EXPECT_EQ(0u, sink.Count());
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        DispatchMessageA(&msg);
        ASSERT_EQ(1u, sink.Count());
        EXPECT_EQ(std::this_thread::get_id(), sink.thread);
        ASSERT_EQ(S_OK, data->DUnadvise(c));
        // Queued before the unadvise, dispatched after it: not delivered.
        EXPECT_EQ(1u, loop.RunUntilIdle());
        EXPECT_EQ(1u, sink.Count());
    });
    owner.join();
    // A forged task message is not run.
    MSG forged{};
    forged.message = 0x03F7;
    forged.lParam = reinterpret_cast<LPARAM>(&sink);
    EXPECT_EQ(0, DispatchMessageA(&forged));
    data->Release();
}

TEST_F(DataObjectTest, BrokenConnectionAndBadFramesAreServerGone)
{
    TestServer server(socketPath);
    IDataObject* a = Create();
    IDataObject* b = Create();
    ASSERT_TRUE(a && b);
    STGMEDIUM medium{};
    // A frame announcing more than the bound: that connection ends.
    server.SendRaw({0xFF, 0xFF, 0xFF, 0x7F, 0x80, 0, 0, 0}, 3);  // b (after two probes and a)
    EXPECT_EQ(HRESULT_RPC_S_SERVER_UNAVAILABLE, b->GetData(&format, &medium));
    EXPECT_EQ(static_cast<HRESULT>(0xF0000004), a->GetData(&format, &medium));
    server.CloseClients();
    EXPECT_EQ(HRESULT_RPC_S_SERVER_UNAVAILABLE, a->GetData(&format, &medium));
    DWORD c = 0;
    RecordingSink sink;
    EXPECT_EQ(HRESULT_RPC_S_SERVER_UNAVAILABLE, a->DAdvise(&format, ADVF_NODATA, &sink, &c));
    EXPECT_EQ(0, sink.refs.load());
    a->Release();
    b->Release();
}

TEST(DataObjectThreads, UnadviseWaitsForADeliveryInProgress)
{
    TestEnvironment env;
    std::string path = env.Path("runtime/t.sock");
    ::setenv("TEST_SERVER_SOCKET", path.c_str(), 1);
    winport::RegisterLocalServerClass(kTestClass, "TEST_SERVER_SOCKET", "unused.sock");
    TestServer server(path);
    onThreadWithoutLoop([&] {
        IClassFactory* factory = nullptr;
        ASSERT_EQ(S_OK, CoGetClassObject(kTestClass, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
        IDataObject* data = nullptr;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDataObject, reinterpret_cast<void**>(&data)));
        factory->Release();

        std::mutex gate;
        std::condition_variable cv;
        bool inside = false, release = false;
        std::atomic<bool> finished{false};
        RecordingSink sink;
        sink.onChange = [&] {
            std::unique_lock<std::mutex> lock(gate);
            inside = true;
            cv.notify_all();
            cv.wait(lock, [&] { return release; });
            finished = true;
        };
        FORMATETC format{0xC000, nullptr, 1, -1, 0};
        DWORD c = 0;
        ASSERT_EQ(S_OK, data->DAdvise(&format, ADVF_NODATA, &sink, &c));
        server.Push(c, pattern(16, 5));
        {
            std::unique_lock<std::mutex> lock(gate);
            ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return inside; }));
        }
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            std::lock_guard<std::mutex> lock(gate);
            release = true;
            cv.notify_all();
        });
        EXPECT_EQ(S_OK, data->DUnadvise(c));
        EXPECT_TRUE(finished.load());  // it returned only after the delivery ended
        releaser.join();
        data->Release();
    });
}

TEST(ClipboardFormat, SharesTheRegisteredNamesOfWindowMessages)
{
    TestEnvironment env;
    UINT a = RegisterClipboardFormatA("KivObjectClipboardFormat");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(a, RegisterClipboardFormatA("kivobjectclipboardformat"));
    EXPECT_EQ(a, RegisterWindowMessageA("KIVOBJECTCLIPBOARDFORMAT"));
    EXPECT_NE(a, RegisterClipboardFormatA("Another Format"));
}

}  // namespace

namespace {

TEST(ServerFrames, DecodesAcrossAnySplitAndRefusesBadLengths)
{
    std::vector<uint8_t> stream;
    std::vector<std::vector<uint8_t>> bodies = {{}, {1, 2, 3}, pattern(70000, 3)};
    for (size_t i = 0; i < bodies.size(); ++i) {
        auto f = Encode(i == 1 ? FrameKind::DataChange : FrameKind::Reply, static_cast<uint32_t>(i + 1), bodies[i]);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    // Golden header: length 8 + 3, kind 0x81, call 2.
    auto second = Encode(FrameKind::DataChange, 2, {1, 2, 3});
    EXPECT_EQ((std::vector<uint8_t>{11, 0, 0, 0, 0x81, 0, 0, 0, 2, 0, 0, 0, 1, 2, 3}), second);
    for (size_t chunk : {size_t(1), size_t(5), stream.size()}) {
        SCOPED_TRACE(chunk);
        FrameReader reader;
        std::vector<Frame> got;
        for (size_t pos = 0; pos < stream.size(); pos += chunk) {
            reader.Feed(stream.data() + pos, std::min(chunk, stream.size() - pos));
            while (auto f = reader.Next()) got.push_back(*f);
        }
        ASSERT_EQ(3u, got.size());
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_EQ(i + 1, got[i].callId);
            EXPECT_EQ(bodies[i], got[i].body);
        }
        EXPECT_EQ(0u, reader.Pending());
    }
    struct Case { uint32_t length; uint32_t kind; bool fails; };
    for (Case c : {Case{7, 0x80, true}, Case{uint32_t(kMaxFrameLength + 1), 0x80, true}, Case{8, 0x42, true},
                   Case{uint32_t(kMaxFrameLength), 0x80, false}}) {
        SCOPED_TRACE(c.length);
        FrameReader reader;
        auto bytes = BodyWriter().U32(c.length).U32(c.kind).U32(0).Out();
        reader.Feed(bytes.data(), bytes.size());
        EXPECT_FALSE(reader.Next().has_value());
        EXPECT_EQ(c.fails, reader.Failed());
    }
    // A push too short for its fields is refused, not read past its end.
    EXPECT_FALSE(ParseDataChange({5, 0, 0, 0, 0}).has_value());
    EXPECT_FALSE(ParseReply({1, 2}).has_value());
}

}  // namespace
