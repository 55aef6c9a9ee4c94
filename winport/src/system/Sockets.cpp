#include "winport/Sockets.h"

#include <cstring>
#include <mutex>

namespace {
std::mutex g_startMutex;
int g_starts = 0;  // guarded by g_startMutex
}  // namespace

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData)
{
    const BYTE major = LOBYTE(wVersionRequested);
    const BYTE minor = HIBYTE(wVersionRequested);
    if (major < 1) return WSAVERNOTSUPPORTED;
    const WORD highest = MAKEWORD(2, 2);
    const WORD granted = (major > 2 || (major == 2 && minor >= 2)) ? highest : wVersionRequested;
    if (lpWSAData) {
        std::memset(lpWSAData, 0, sizeof(*lpWSAData));
        lpWSAData->wVersion = granted;
        lpWSAData->wHighVersion = highest;
        std::strcpy(lpWSAData->szDescription, "POSIX sockets");
        std::strcpy(lpWSAData->szSystemStatus, "Running");
    }
    std::lock_guard<std::mutex> lock(g_startMutex);
    ++g_starts;
    return 0;
}

int WSACleanup()
{
    std::lock_guard<std::mutex> lock(g_startMutex);
    if (g_starts == 0) {
        SetLastError(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    --g_starts;
    return 0;
}

int winport::SocketStartCount()
{
    std::lock_guard<std::mutex> lock(g_startMutex);
    return g_starts;
}
