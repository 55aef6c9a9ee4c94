// The folder of window endpoints in the runtime folder, and the handle counter that keeps
// handles unique among the programs sharing it.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <unordered_map>

#include "messages/WindowInternal.h"
#include "winport/CString.h"
#include "winport/Paths.h"
#include "winport/Trace.h"

namespace winport::detail {

namespace {

constexpr DWORD kFirstHandle = 0x00010000;
constexpr DWORD kLastHandle = 0xFFFFFF00;
constexpr DWORD kHandleBlock = 16;

std::string endpointDir() { return RuntimeDir() + "/windows"; }

bool ensureDir(const std::string& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return false;
    ::chmod(dir.c_str(), 0700);
    return true;
}

bool plainChar(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == ' ';
}

std::string escapeClass(const std::string& cls)
{
    std::string out;
    for (unsigned char c : cls) {
        if (plainChar(c)) out += static_cast<char>(c);
        else out += WinportFormat("%%%02X", c);
    }
    return out;
}

bool unescapeClass(const std::string& text, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out->push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return false;
        unsigned v = 0;
        if (std::sscanf(text.substr(i + 1, 2).c_str(), "%2x", &v) != 1) return false;
        out->push_back(static_cast<char>(v));
        i += 2;
    }
    return true;
}

/// Parses "<class>.<pid>.<handle, 8 hex digits>".
bool parseEndpointName(const std::string& name, EndpointEntry* e)
{
    size_t dot2 = name.rfind('.');
    if (dot2 == std::string::npos || dot2 == 0 || name.size() - dot2 - 1 != 8) return false;
    size_t dot1 = name.rfind('.', dot2 - 1);
    if (dot1 == std::string::npos || dot1 == 0 || dot2 - dot1 < 2) return false;
    char* end = nullptr;
    std::string pidText = name.substr(dot1 + 1, dot2 - dot1 - 1);
    std::string handleText = name.substr(dot2 + 1);
    unsigned long pid = std::strtoul(pidText.c_str(), &end, 10);
    if (*end || pid == 0 || pid > 0x7FFFFFFF) return false;
    unsigned long handle = std::strtoul(handleText.c_str(), &end, 16);
    if (*end || handle == 0) return false;
    if (!unescapeClass(name.substr(0, dot1), &e->className)) return false;
    e->pid = static_cast<DWORD>(pid);
    e->handle = static_cast<DWORD>(handle);
    return true;
}

bool processAlive(DWORD pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

/// Fills a socket address for a path; a path too long for the address goes through the
/// folder's descriptor (dirFd, which the caller closes).
bool makeAddress(const std::string& path, sockaddr_un* addr, int* dirFd)
{
    *dirFd = -1;
    std::memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    std::string target = path;
    if (target.size() >= sizeof addr->sun_path) {
        size_t slash = path.rfind('/');
        if (slash == std::string::npos) return false;
        *dirFd = ::open(path.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (*dirFd < 0) return false;
        target = "/proc/self/fd/" + std::to_string(*dirFd) + path.substr(slash);
        if (target.size() >= sizeof addr->sun_path) return false;
    }
    std::memcpy(addr->sun_path, target.c_str(), target.size() + 1);
    return true;
}

std::mutex& cacheMutex()
{
    static auto* m = new std::mutex;
    return *m;
}
std::unordered_map<DWORD, std::string>& endpointCache()
{
    static auto* c = new std::unordered_map<DWORD, std::string>;
    return *c;
}

std::mutex& ownMutex()
{
    static auto* m = new std::mutex;
    return *m;
}
std::vector<std::string>& ownEndpoints()
{
    static auto* v = new std::vector<std::string>;
    return *v;
}

void forgetCached(const std::string& path)
{
    std::lock_guard<std::mutex> lock(cacheMutex());
    for (auto it = endpointCache().begin(); it != endpointCache().end();) {
        if (it->second == path) it = endpointCache().erase(it);
        else ++it;
    }
}

}  // namespace

int OpenEndpoint(const std::string& className, DWORD handle, std::string* path)
{
    std::string dir = endpointDir();
    if (!ensureDir(dir)) return -1;
    std::string name = escapeClass(className) + "." + std::to_string(::getpid()) + "." + WinportFormat("%08X", handle);
    if (name.size() > 250) return -1;
    *path = dir + "/" + name;
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un addr;
    int dirFd;
    bool ok = makeAddress(*path, &addr, &dirFd);
    ::unlink(path->c_str());
    if (!ok || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (dirFd >= 0) ::close(dirFd);
        ::close(fd);
        return -1;
    }
    if (dirFd >= 0) ::close(dirFd);
    std::lock_guard<std::mutex> lock(ownMutex());
    ownEndpoints().push_back(*path);
    return fd;
}

void CloseEndpoint(int fd, const std::string& path)
{
    ::unlink(path.c_str());
    ::close(fd);
    std::lock_guard<std::mutex> lock(ownMutex());
    auto& v = ownEndpoints();
    v.erase(std::remove(v.begin(), v.end(), path), v.end());
}

void RemoveOwnEndpoints()
{
    std::lock_guard<std::mutex> lock(ownMutex());
    for (const auto& p : ownEndpoints()) ::unlink(p.c_str());
    ownEndpoints().clear();
}

std::vector<EndpointEntry> ListForeignEndpoints()
{
    std::vector<EndpointEntry> out;
    std::string dir = endpointDir();
    DIR* d = ::opendir(dir.c_str());
    if (!d) return out;
    DWORD self = static_cast<DWORD>(::getpid());
    while (dirent* e = ::readdir(d)) {
        EndpointEntry entry;
        if (!parseEndpointName(e->d_name, &entry) || entry.pid == self) continue;
        entry.path = dir + "/" + e->d_name;
        if (!processAlive(entry.pid)) {
            ::unlink(entry.path.c_str());
            continue;
        }
        out.push_back(std::move(entry));
    }
    ::closedir(d);
    return out;
}

std::string FindForeignEndpoint(DWORD handle)
{
    {
        std::lock_guard<std::mutex> lock(cacheMutex());
        auto it = endpointCache().find(handle);
        if (it != endpointCache().end()) {
            if (::access(it->second.c_str(), F_OK) == 0) return it->second;
            endpointCache().erase(it);
        }
    }
    for (const auto& ep : ListForeignEndpoints()) {
        if (ep.handle == handle) {
            std::lock_guard<std::mutex> lock(cacheMutex());
            endpointCache()[handle] = ep.path;
            return ep.path;
        }
    }
    return {};
}

int SendToEndpoint(const std::string& path, const WindowDatagram& datagram)
{
    std::vector<uint8_t> bytes = EncodeWindowDatagram(datagram);
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return errno;
    sockaddr_un addr;
    int dirFd;
    int result = 0;
    if (!makeAddress(path, &addr, &dirFd)) {
        result = ENAMETOOLONG;
    } else if (::sendto(fd, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr),
                        sizeof addr) < 0) {
        result = errno;
    }
    if (dirFd >= 0) ::close(dirFd);
    ::close(fd);
    if (result == ECONNREFUSED || result == ENOENT) {
        // Nobody is bound there any more: the program has ended without withdrawing it.
        if (result == ECONNREFUSED) ::unlink(path.c_str());
        forgetCached(path);
    }
    if (result != 0) {
        WinportTrace("winport: message %04X to %s not delivered (%s)\n", datagram.message, path.c_str(),
                     std::strerror(result));
    }
    return result;
}

DWORD AllocateWindowHandle()
{
    static std::mutex mutex;
    static DWORD next = 0;
    static DWORD end = 0;
    static std::string blockDir;
    std::lock_guard<std::mutex> lock(mutex);
    std::string dir = RuntimeDir();
    for (;;) {
        if (next == end || dir != blockDir) {
            // Take a block of handles from the shared counter.
            blockDir = dir;
            bool shared = false;
            if (ensureDir(dir)) {
                int fd = ::open((dir + "/window-handles").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
                if (fd >= 0 && ::flock(fd, LOCK_EX) == 0) {
                    char text[32] = {};
                    ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
                    unsigned long value = n > 0 ? std::strtoul(text, nullptr, 16) : 0;
                    if (value < kFirstHandle || value >= kLastHandle - kHandleBlock) value = kFirstHandle;
                    next = static_cast<DWORD>(value);
                    end = next + kHandleBlock;
                    std::string out = WinportFormat("%08X\n", end);
                    shared = ::pwrite(fd, out.data(), out.size(), 0) == static_cast<ssize_t>(out.size());
                    ::ftruncate(fd, static_cast<off_t>(out.size()));
                }
                if (fd >= 0) ::close(fd);
            }
            if (!shared) {
                // No runtime folder: unique within this program only.
                static DWORD local = kFirstHandle;
                next = local;
                end = next + kHandleBlock;
                local = end >= kLastHandle ? kFirstHandle : end;
            }
        }
        DWORD h = next++;
        if (!FindLocalWindow(h)) return h;
    }
}

}  // namespace winport::detail
