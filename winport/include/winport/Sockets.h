// Windows Sockets start-up and clean-up. Sockets are the system's own POSIX sockets: a socket
// is a file descriptor and there is nothing to start, so WSAStartup and WSACleanup only keep a
// balanced, process-wide count of the starts that are still open. Safe from any thread.
#pragma once

#include "winport/WinTypes.h"

typedef int SOCKET;
#define INVALID_SOCKET (-1)
#define SOCKET_ERROR (-1)

#define WSADESCRIPTION_LEN 256
#define WSASYS_STATUS_LEN 128

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
};
typedef WSADATA* LPWSADATA;

// Error codes of Windows Sockets that the system's code tells apart.
#define WSAEINTR 10004
#define WSAEINVAL 10022
#define WSAEWOULDBLOCK 10035
#define WSAENOTSOCK 10038
#define WSAEOPNOTSUPP 10045
#define WSAENETDOWN 10050
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAENOTCONN 10057
#define WSAESHUTDOWN 10058
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAVERNOTSUPPORTED 10092
#define WSANOTINITIALISED 10093
#define WSAHOST_NOT_FOUND 11001

/// Grants version 2.2 (or the version asked for when it is lower, down to 1.0) and counts the
/// start. A version below 1.0 is refused with WSAVERNOTSUPPORTED and not counted. 0 on success.
int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
/// Ends one start. SOCKET_ERROR (last error WSANOTINITIALISED) when no start is open.
int WSACleanup();

namespace winport {
/// The starts of Windows Sockets that have not been cleaned up yet.
int SocketStartCount();
}  // namespace winport
