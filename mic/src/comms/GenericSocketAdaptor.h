// The TCP client form of the communications device: it connects to the echo server named in
// the registry and reads and writes bytes over one stream socket. A read waits on the socket
// and on the device's abort event together, at most the read time-out.
#pragma once

#include "comms/GenericCommunicationsDevice.h"

class CGenericSocketAdaptor : public CGenericCommunicationsDevice {
public:
    /// Where the echo server's host name or dotted address is kept (local machine).
    static constexpr const char* kTcpIpKey = "SOFTWARE\\Vok Dwen\\TCP IP";
    static constexpr const char* kEchoServerValue = "Echo Server";
    /// The read time-out after construction, in milliseconds.
    static constexpr DWORD kDefaultReadTimeoutMs = 50000;
    /// A write that cannot go on is tried this often, each try waiting up to kWriteRetryMs for
    /// room in the socket.
    static constexpr int kWriteAttempts = 20;
    static constexpr DWORD kWriteRetryMs = 1000;

    /// Not open; a socket connected later belongs to the adaptor.
    CGenericSocketAdaptor();
    /// Takes over the other adaptor's socket, and with it the closing of the socket when the
    /// other owned it: the other adaptor still uses the socket but no longer closes it. Open,
    /// link number -1.
    CGenericSocketAdaptor(CGenericSocketAdaptor& other);
    /// Uses a connected socket; `bOwnsSocket` says whether disconnecting closes it. Open, link
    /// number -1.
    CGenericSocketAdaptor(SOCKET hSocket, BOOL bOwnsSocket);
    ~CGenericSocketAdaptor() override;
    CGenericSocketAdaptor& operator=(const CGenericSocketAdaptor&) = delete;

    DWORD BytesAvailable() override;
    SOCKET GetSocket() override { return m_hSocket; }
    SOCKET GetSocketHandle() const { return m_hSocket; }
    /// The read time-out becomes `nSeconds` seconds.
    BOOL SetTimeout(DWORD nSeconds) override;
    DWORD GetReadTimeout() const { return m_dwReadTimeoutMs; }
    /// Connects to the echo server (this machine when none is named) at `nPort`, with Nagle's
    /// delay off. A host that cannot be found or a connection that fails throws
    /// "GenericLinkError" and leaves the adaptor closed. An open adaptor is disconnected first.
    BOOL Connect(UINT nPort) override;
    /// Closes an owned socket (both directions shut down first) and forgets the socket.
    void Disconnect() override;
    /// "GenericLinkError" when the bytes cannot all be sent: the connection is broken, or no
    /// room came in the socket for kWriteAttempts tries. Never raises SIGPIPE.
    BOOL WriteBytes(const BYTE* pBuffer, DWORD nLength) override;
    /// Reads exactly `nLength` bytes: "SocketClosedError" when the peer closed the connection
    /// or there is no socket, "SocketResetError" when it was reset, "LinkReadAborted" when the
    /// abort event was set, "GenericLinkError" on the read time-out or another failure.
    /// `nRead` counts the bytes read, also when an error is thrown.
    BOOL ReadBytes(BYTE* pBuffer, DWORD nLength, DWORD& nRead) override;

private:
    /// Counts this adaptor among the live ones; the first starts Windows Sockets.
    void StartSockets();
    /// Leaves the count of live adaptors; the last calls the clean-up.
    void StopSockets();
    /// Waits until the socket's handle is signalled (data, an end or an error to read) or throws
    /// for the abort event ("LinkReadAborted"), the read time-out or a failed wait
    /// ("GenericLinkError").
    void WaitToRead(HANDLE hReceive);

    SOCKET m_hSocket = INVALID_SOCKET;
    DWORD m_dwReadTimeoutMs = kDefaultReadTimeoutMs;
    BYTE m_bOwnsSocket = 1;
    BYTE m_bSocketsStarted = 0;
};
