#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "CommsTestSupport.h"
#include "LoopbackServer.h"
#include "TestEnvironment.h"
#include "comms/GenericSocketAdaptor.h"
#include "winport/Events.h"
#include "winport/RegistryObject.h"

namespace {

using Error = CGenericCommunicationsDeviceError;
using SteadyClock = std::chrono::steady_clock;

int OpenDescriptors()
{
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

bool DescriptorOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

std::vector<BYTE> Pattern(size_t n)
{
    std::vector<BYTE> bytes(n);
    for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<BYTE>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

void SetEchoServer(const char* text)
{
    CLocalMachineRegistryObject registry(CString{});
    ASSERT_TRUE(registry.SetString(CGenericSocketAdaptor::kTcpIpKey, CGenericSocketAdaptor::kEchoServerValue, text));
}

class GenericSocketAdaptorTest : public ::testing::Test {
protected:
    TestEnvironment m_env;
};

TEST_F(GenericSocketAdaptorTest, EmptyAdaptorIsClosedAndKeepsItsReadTimeout)
{
    const bool stdinOpen = DescriptorOpen(0);
    const int startsBefore = winport::SocketStartCount();
    const int handlesBefore = winport::OpenWaitHandleCount();
    {
        CGenericSocketAdaptor adaptor;
        EXPECT_FALSE(adaptor.IsOpen());
        EXPECT_EQ(INVALID_SOCKET, adaptor.GetSocket());
        // The base's time-out of 100 seconds is its own: the adaptor reads for 50 seconds.
        EXPECT_EQ(50000u, adaptor.GetReadTimeout());
        EXPECT_TRUE(adaptor.SetTimeout(3));
        EXPECT_EQ(3000u, adaptor.GetReadTimeout());
        adaptor.SetTimeout(0xFFFFFFFFu);
        EXPECT_EQ(0xFFFFFFFEu, adaptor.GetReadTimeout());

        BYTE buffer[4];
        DWORD read = 99;
        EXPECT_EQ(Error::SocketClosedError, ThrownCode([&] { adaptor.ReadBytes(buffer, 4, read); }));
        EXPECT_EQ(0u, read);
        EXPECT_EQ(Error::GenericLinkError, ThrownCode([&] { adaptor.WriteBytes(buffer, 4); }));
        EXPECT_EQ(Error::SocketClosedError, ThrownCode([&] { adaptor.BytesAvailable(); }));
        EXPECT_EQ(Error::LinkNotOpened, ThrownCode([&] { adaptor.ReadUntil(0xFF); }));

        CGenericSocketAdaptor second;
        EXPECT_EQ(startsBefore + 1, winport::SocketStartCount());  // one start for all adaptors
    }
    EXPECT_EQ(startsBefore, winport::SocketStartCount());
    EXPECT_EQ(handlesBefore, winport::OpenWaitHandleCount());  // the four events of each are gone
    EXPECT_EQ(stdinOpen, DescriptorOpen(0));  // an adaptor that never had a socket closes none
}

TEST_F(GenericSocketAdaptorTest, SocketHandedInIsClosedOnlyWhenOwned)
{
    for (BOOL owned : {FALSE, TRUE}) {
        SCOPED_TRACE(owned);
        int pair[2];
        ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair));
        {
            CGenericSocketAdaptor adaptor(pair[0], owned);
            EXPECT_TRUE(adaptor.IsOpen());
            EXPECT_EQ(-1, adaptor.GetLinkNumber());
            EXPECT_EQ(pair[0], adaptor.GetSocketHandle());
            const BYTE hello[] = {'h', 'i'};
            adaptor.WriteBytes(hello, 2);
            adaptor.WriteBytes(hello, 0);
            char got[4];
            EXPECT_EQ(2, ::recv(pair[1], got, sizeof(got), 0));
            adaptor.Disconnect();
            EXPECT_FALSE(adaptor.IsOpen());
            EXPECT_EQ(INVALID_SOCKET, adaptor.GetSocket());
        }
        EXPECT_EQ(!owned, DescriptorOpen(pair[0]));
        if (!owned) ::close(pair[0]);
        ::close(pair[1]);
    }
}

TEST_F(GenericSocketAdaptorTest, FailedConnectsLeaveTheAdaptorClosed)
{
    // A port that nobody listens on: bound once, then released.
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(a);
    ASSERT_EQ(0, ::bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof(a)));
    ASSERT_EQ(0, ::getsockname(probe, reinterpret_cast<sockaddr*>(&a), &length));
    ::close(probe);
    const UINT deadPort = ntohs(a.sin_port);

    CLocalMachineRegistryObject registry(CString{});
    const BYTE binary[] = {0x01, 0xFE, 0x20, 0x00};
    const struct {
        const char* what;
        std::function<void()> setUp;
        UINT port;
    } cases[] = {
        {"nobody listens", [] {}, deadPort},
        {"port out of range", [] {}, 70000},
        {"host that cannot be found", [] { SetEchoServer("no such host!"); }, deadPort},
        {"binary value",
         [&] { ASSERT_TRUE(registry.SetBinary(CGenericSocketAdaptor::kTcpIpKey, "Echo Server", binary, 4)); },
         deadPort},
    };
    CString warm;
    registry.GetString(CGenericSocketAdaptor::kTcpIpKey, "Echo Server", warm, "");  // the store opens once
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.setUp();
        CGenericSocketAdaptor adaptor;
        const int descriptors = OpenDescriptors();
        EXPECT_EQ(Error::GenericLinkError, ThrownCode([&] { adaptor.Connect(c.port); }));
        EXPECT_FALSE(adaptor.IsOpen());
        EXPECT_EQ(INVALID_SOCKET, adaptor.GetSocket());
        EXPECT_EQ(descriptors, OpenDescriptors());  // no socket left behind
    }
}

TEST_F(GenericSocketAdaptorTest, CopyTakesTheClosingOfTheSocketAlong)
{
    int pair[2];
    ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair));
    auto source = std::make_unique<CGenericSocketAdaptor>(pair[0], TRUE);
    const int withSource = OpenDescriptors();
    {
        CGenericSocketAdaptor copy(*source);
        EXPECT_TRUE(copy.IsOpen());
        EXPECT_EQ(pair[0], copy.GetSocket());
        EXPECT_EQ(withSource + EventCount, OpenDescriptors());
    }
    // The copy owned the socket and closed it. The number can now go to a new descriptor,
    // which the source must leave alone.
    EXPECT_FALSE(DescriptorOpen(pair[0]));
    EXPECT_EQ(withSource - 1, OpenDescriptors());
    const int reused = ::dup(pair[1]);
    EXPECT_EQ(pair[0], reused);
    source.reset();
    EXPECT_TRUE(DescriptorOpen(reused));
    ::close(reused);
    ::close(pair[1]);
}

// The tests below talk to a server on 127.0.0.1 that runs on its own thread.
class GenericSocketAdaptorThreads : public GenericSocketAdaptorTest {};

TEST_F(GenericSocketAdaptorThreads, RoundTripOfSixtyFourKilobytes)
{
    // No "Echo Server" in the registry: this machine.
    const std::vector<BYTE> sent = Pattern(64 * 1024);
    LoopbackServer server([&](int fd) {
        std::vector<BYTE> got(sent.size());
        if (LoopbackServer::ReadExactly(fd, got.data(), got.size())) LoopbackServer::WriteAll(fd, got.data(), got.size());
        return false;
    });
    CGenericSocketAdaptor adaptor;
    ASSERT_TRUE(adaptor.Connect(server.Port()));
    EXPECT_TRUE(adaptor.IsOpen());
    int noDelay = 0;
    socklen_t length = sizeof(noDelay);
    ASSERT_EQ(0, ::getsockopt(adaptor.GetSocket(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &length));
    EXPECT_NE(0, noDelay);
    EXPECT_TRUE(adaptor.WriteBytes(sent.data(), static_cast<DWORD>(sent.size())));
    std::vector<BYTE> back(sent.size());
    DWORD read = 0;
    EXPECT_TRUE(adaptor.ReadBytes(back.data(), static_cast<DWORD>(back.size()), read));
    EXPECT_EQ(sent.size(), read);
    EXPECT_TRUE(sent == back);
    EXPECT_EQ(0u, adaptor.BytesAvailable());
}

TEST_F(GenericSocketAdaptorThreads, EchoServerNamedInTheRegistry)
{
    for (const char* echoServer : {"127.0.0.1", "localhost", ""}) {
        SCOPED_TRACE(echoServer);
        SetEchoServer(echoServer);
        LoopbackServer server([](int fd) {
            LoopbackServer::WriteAll(fd, "xyz", 3);
            return false;
        });
        CGenericSocketAdaptor adaptor;
        ASSERT_TRUE(adaptor.Connect(server.Port()));
        EXPECT_EQ('x', adaptor.ReadByte());
        ASSERT_TRUE(server.WaitUntilDone());
        EXPECT_EQ(2u, adaptor.BytesAvailable());
        // Connecting again replaces the connection.
        LoopbackServer second([](int fd) {
            LoopbackServer::WriteAll(fd, "2", 1);
            return false;
        });
        ASSERT_TRUE(adaptor.Connect(second.Port()));
        EXPECT_EQ('2', adaptor.ReadByte());
    }
}

TEST_F(GenericSocketAdaptorThreads, HowAReadEnds)
{
    struct Case {
        const char* what;
        LoopbackServer::Script script;
        DWORD timeoutSeconds;
        bool abortFromAnotherThread;
        int expectedCode;
        DWORD expectedRead;
    };
    LoopbackServer* current = nullptr;
    // Set once the case's connect has returned: a peer that resets earlier fails the connect
    // itself, which is not the read this test is about.
    std::promise<void> connected;
    std::shared_future<void> whenConnected;
    const auto silent = [&](int) {
        current->WaitForFinish();
        return false;
    };
    const Case cases[] = {
        {"peer closes mid-read",
         [](int fd) { return LoopbackServer::WriteAll(fd, "0123456789", 10) && false; }, 50, false,
         Error::SocketClosedError, 10},
        {"peer resets",
         [&](int fd) {
             whenConnected.wait_for(std::chrono::seconds(60));
             LoopbackServer::Reset(fd);
             return true;
         },
         50, false, Error::SocketResetError, 0},
        {"aborted", silent, 50, true, Error::LinkReadAborted, 0},
        {"read time-out", silent, 1, false, Error::GenericLinkError, 0},
    };
    const int handlesBefore = winport::OpenWaitHandleCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        connected = std::promise<void>();
        whenConnected = connected.get_future().share();
        LoopbackServer server(c.script);
        current = &server;
        auto adaptor = std::make_unique<CGenericSocketAdaptor>();
        adaptor->SetTimeout(c.timeoutSeconds);
        ASSERT_EQ(-100, ThrownCode([&] { adaptor->Connect(server.Port()); }));
        connected.set_value();
        std::thread aborter;
        if (c.abortFromAnotherThread) aborter = std::thread([&] { adaptor->SetAbortEvent(); });
        BYTE buffer[100];
        DWORD read = 0;
        const auto start = SteadyClock::now();
        EXPECT_EQ(c.expectedCode, ThrownCode([&] { adaptor->ReadBytes(buffer, sizeof(buffer), read); }));
        const auto elapsed = SteadyClock::now() - start;
        EXPECT_EQ(c.expectedRead, read);
        if (c.timeoutSeconds == 1) {
            EXPECT_GE(elapsed, std::chrono::milliseconds(990));
            EXPECT_LT(elapsed, std::chrono::seconds(30));
        }
        if (aborter.joinable()) aborter.join();
        server.Finish();
        EXPECT_TRUE(server.WaitUntilDone());
        // Whichever way the read ended, the socket's wait handle is closed.
        EXPECT_EQ(handlesBefore + EventCount, winport::OpenWaitHandleCount());
        adaptor.reset();
        EXPECT_EQ(handlesBefore, winport::OpenWaitHandleCount());
    }
}

TEST_F(GenericSocketAdaptorThreads, WritingToAClosedPeerFails)
{
    LoopbackServer server([](int) { return false; });
    CGenericSocketAdaptor adaptor;
    ASSERT_TRUE(adaptor.Connect(server.Port()));
    ASSERT_TRUE(server.WaitUntilDone());
    // The peer's end is gone: its reset answers the first bytes, and the writes after it fail
    // (the process is not stopped by a broken-pipe signal).
    const std::vector<BYTE> block = Pattern(1024);
    int code = -100;
    const auto start = SteadyClock::now();
    while (code == -100 && SteadyClock::now() - start < std::chrono::seconds(30))
        code = ThrownCode([&] { adaptor.WriteBytes(block.data(), static_cast<DWORD>(block.size())); });
    EXPECT_EQ(Error::GenericLinkError, code);
}

}  // namespace
