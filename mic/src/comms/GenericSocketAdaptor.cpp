#include "comms/GenericSocketAdaptor.h"

// The one file of the programs above winport that includes system headers: Windows Sockets are
// the system's own POSIX sockets (winport/Sockets.h keeps only their start-up count), so the
// adaptor's socket calls are the platform's calls themselves, with nothing between to stand in.
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "winport/Events.h"
#include "winport/RegistryObject.h"

namespace {

using Error = CGenericCommunicationsDeviceError;

// The echo server when the registry names none: this machine.
const char kThisMachine[] = "127.0.0.1";

std::mutex g_liveMutex;
int g_liveAdaptors = 0;  // guarded by g_liveMutex

// Waits at most `ms` for one of `pollEvents` on the socket (or its end or an error); false
// when the time ran out or the wait failed.
bool WaitForSocket(int fd, short pollEvents, DWORD ms)
{
    const HANDLE handle = winport::CreateDescriptorHandle(fd, pollEvents);
    if (!handle) return false;
    const bool ready = WaitForSingleObject(handle, ms) == WAIT_OBJECT_0;
    CloseHandle(handle);
    return ready;
}

// The IPv4 address of a dotted address or a host name; false when there is none.
bool ResolveHost(const CString& host, in_addr& address)
{
    if (::inet_aton(host.c_str(), &address) != 0) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

// Connects a new stream socket within `timeoutMs`; the socket, or -1.
int ConnectWithin(const sockaddr_in& peer, DWORD timeoutMs)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) return -1;
    bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer)) == 0;
    if (!connected && errno == EINPROGRESS && WaitForSocket(fd, POLLOUT, timeoutMs)) {
        int error = 0;
        socklen_t length = sizeof(error);
        connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    const int one = 1;
    if (connected && ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one)) == 0) {
        // Reads and writes ask for no waiting call by call; the socket itself blocks, as one
        // handed in from outside may.
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) return fd;
    }
    ::close(fd);
    return -1;
}

}  // namespace

CGenericSocketAdaptor::CGenericSocketAdaptor()
{
    StartSockets();
    CreateEvents();
}

CGenericSocketAdaptor::CGenericSocketAdaptor(CGenericSocketAdaptor& other)
    : m_hSocket(other.m_hSocket), m_bOwnsSocket(other.m_bOwnsSocket)
{
    StartSockets();
    CreateEvents();
    // One socket is closed by one adaptor: the closing goes with the socket.
    other.m_bOwnsSocket = 0;
    m_bOpen = 1;
    m_nLinkNumber = -1;
}

CGenericSocketAdaptor::CGenericSocketAdaptor(SOCKET hSocket, BOOL bOwnsSocket)
    : m_hSocket(hSocket), m_bOwnsSocket(bOwnsSocket ? 1 : 0)
{
    StartSockets();
    CreateEvents();
    m_bOpen = 1;
    m_nLinkNumber = -1;
}

CGenericSocketAdaptor::~CGenericSocketAdaptor()
{
    Disconnect();
    StopSockets();
}

void CGenericSocketAdaptor::StartSockets()
{
    std::lock_guard<std::mutex> lock(g_liveMutex);
    if (g_liveAdaptors == 0) {
        WSADATA data{};
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
        if (data.wVersion != MAKEWORD(2, 2)) {
            WSACleanup();
            return;
        }
    }
    ++g_liveAdaptors;
    m_bSocketsStarted = 1;
}

void CGenericSocketAdaptor::StopSockets()
{
    if (!m_bSocketsStarted) return;
    std::lock_guard<std::mutex> lock(g_liveMutex);
    m_bSocketsStarted = 0;
    if (--g_liveAdaptors == 0) WSACleanup();
}

DWORD CGenericSocketAdaptor::BytesAvailable()
{
    int available = 0;
    if (m_hSocket == INVALID_SOCKET || ::ioctl(m_hSocket, FIONREAD, &available) != 0 || available < 0)
        ThrowError(Error::SocketClosedError);
    return static_cast<DWORD>(available);
}

BOOL CGenericSocketAdaptor::SetTimeout(DWORD nSeconds)
{
    const uint64_t ms = static_cast<uint64_t>(nSeconds) * 1000u;
    m_dwReadTimeoutMs = ms > 0xFFFFFFFEu ? 0xFFFFFFFEu : static_cast<DWORD>(ms);
    return TRUE;
}

BOOL CGenericSocketAdaptor::Connect(UINT nPort)
{
    if (m_bOpen || m_hSocket != INVALID_SOCKET) Disconnect();
    CString host;
    CLocalMachineRegistryObject registry(CString{});
    registry.GetString(kTcpIpKey, kEchoServerValue, host, kThisMachine);
    if (host.IsEmpty()) host = kThisMachine;  // an empty name is this machine, as a missing one
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    if (nPort > 0xFFFF || !ResolveHost(host, peer.sin_addr)) ThrowError(Error::GenericLinkError);
    peer.sin_port = htons(static_cast<uint16_t>(nPort));
    const int fd = ConnectWithin(peer, m_dwReadTimeoutMs);
    if (fd < 0) ThrowError(Error::GenericLinkError);
    m_hSocket = fd;
    m_bOwnsSocket = 1;
    m_bOpen = 1;
    return TRUE;
}

void CGenericSocketAdaptor::Disconnect()
{
    if (m_hSocket != INVALID_SOCKET && m_bOwnsSocket) {
        ::shutdown(m_hSocket, SHUT_RDWR);
        ::close(m_hSocket);
    }
    m_hSocket = INVALID_SOCKET;
    m_bOpen = 0;
}

BOOL CGenericSocketAdaptor::WriteBytes(const BYTE* pBuffer, DWORD nLength)
{
    DWORD sent = 0;
    int attempts = 0;
    while (sent < nLength) {
        if (m_hSocket == INVALID_SOCKET) ThrowError(Error::GenericLinkError);
        const ssize_t n = ::send(m_hSocket, pBuffer + sent, nLength - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) {
            sent += static_cast<DWORD>(n);
            attempts = 0;
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) ThrowError(Error::GenericLinkError);
        // No room: the peer does not read. Each try waits for room; a try that gets none
        // counts, and the write fails after kWriteAttempts of them in a row.
        if (!WaitForSocket(m_hSocket, POLLOUT, kWriteRetryMs) && ++attempts >= kWriteAttempts)
            ThrowError(Error::GenericLinkError);
    }
    return TRUE;
}

BOOL CGenericSocketAdaptor::ReadBytes(BYTE* pBuffer, DWORD nLength, DWORD& nRead)
{
    // The socket's wait handle, made at the first wait and closed however the read ends.
    struct ReceiveHandle {
        HANDLE handle = nullptr;
        ~ReceiveHandle()
        {
            if (handle) CloseHandle(handle);
        }
    } receive;
    nRead = 0;
    while (nRead < nLength) {
        if (m_hSocket == INVALID_SOCKET) ThrowError(Error::SocketClosedError);
        const ssize_t n = ::recv(m_hSocket, pBuffer + nRead, nLength - nRead, MSG_DONTWAIT);
        if (n > 0) {
            nRead += static_cast<DWORD>(n);
            continue;
        }
        if (n == 0) ThrowError(Error::SocketClosedError);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!receive.handle) receive.handle = winport::CreateDescriptorHandle(m_hSocket, POLLIN);
            if (!receive.handle) ThrowError(Error::GenericLinkError);
            WaitToRead(receive.handle);
            continue;
        }
        if (errno == ENOTSOCK || errno == EBADF) ThrowError(Error::SocketClosedError);
        if (errno == ECONNRESET) ThrowError(Error::SocketResetError);
        ThrowError(Error::GenericLinkError);
    }
    return TRUE;
}

void CGenericSocketAdaptor::WaitToRead(HANDLE hReceive)
{
    // The socket comes first: data that is there is read even when the abort event is set.
    // The abort event is auto-reset: the wait that takes it ends one read.
    const HANDLE waitFor[2] = {hReceive, m_hEvents[EventAbort]};
    const DWORD count = waitFor[1] ? 2 : 1;
    // The time-out is below INFINITE (SetTimeout keeps it there): every wait ends.
    const DWORD result = WaitForMultipleObjects(count, waitFor, /*bWaitAll=*/FALSE, m_dwReadTimeoutMs);
    if (result == WAIT_OBJECT_0) return;
    if (result == WAIT_OBJECT_0 + 1) ThrowError(Error::LinkReadAborted);
    // The read time-out, or a wait that failed.
    ThrowError(Error::GenericLinkError);
}
