#include "winport/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace winport {

namespace {

std::string envOr(const char* name, const std::string& fallback)
{
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

std::string homeDir() { return envOr("HOME", "/tmp"); }

bool exists(const std::string& p)
{
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

// The entry of dir whose name equals name ignoring case, or name itself.
std::string matchComponent(const std::string& dir, const std::string& name)
{
    if (name.empty() || name == "." || name == "..") return name;
    std::string probe = dir.empty() ? name : (dir == "/" ? "/" + name : dir + "/" + name);
    if (exists(probe)) return name;
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) return name;
    std::string found = name;
    while (dirent* e = ::readdir(d)) {
        if (WinportCompareNoCase(e->d_name, name.c_str()) == 0) {
            found = e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

}  // namespace

std::string DataRoot()
{
    if (const char* v = std::getenv("WINPORT_DATA_ROOT"); v && *v) return v;
    return envOr("XDG_DATA_HOME", homeDir() + "/.local/share") + "/vokdwen";
}

std::string RuntimeDir()
{
    if (const char* v = std::getenv("XDG_RUNTIME_DIR"); v && *v) return std::string(v) + "/vokdwen";
    return "/tmp/vokdwen-" + std::to_string(::getuid());
}

std::string ConfigDir() { return envOr("XDG_CONFIG_HOME", homeDir() + "/.config") + "/vokdwen"; }

std::string HostPath(const char* windowsPath)
{
    if (!windowsPath) return {};
    std::string p(windowsPath);
    std::string base;
    std::string rest;
    if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':') {
        base = DataRoot() + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
        rest = p.substr(2);
    } else if (!p.empty() && p[0] == '/') {
        return p;  // already a host path
    } else if (!p.empty() && p[0] == '\\') {
        base = DataRoot() + "/c";
        rest = p;
    } else {
        rest = p;
    }
    for (char& c : rest) {
        if (c == '\\') c = '/';
    }
    // Walk the components, matching existing names without regard to case.
    std::string out = base;
    size_t i = 0;
    bool first = true;
    while (i <= rest.size()) {
        size_t j = rest.find('/', i);
        if (j == std::string::npos) j = rest.size();
        std::string comp = rest.substr(i, j - i);
        if (!comp.empty()) {
            comp = matchComponent(out, comp);
            if (out.empty()) out = comp;
            else out += "/" + comp;
        } else if (first && base.empty() && j == 0) {
            out = "";
        }
        first = false;
        i = j + 1;
    }
    if (out.empty()) out = base.empty() ? "." : base;
    return out;
}

bool EnsureParentDir(const std::string& hostPath)
{
    std::error_code ec;
    std::filesystem::path parent = std::filesystem::path(hostPath).parent_path();
    if (parent.empty()) return true;
    std::filesystem::create_directories(parent, ec);
    return !ec;
}

std::string FolderWriteError(const std::string& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return ec.message();
    std::string probe = folder + "/.write-test-XXXXXX";
    int fd = ::mkstemp(probe.data());
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

}  // namespace winport

UINT GetWindowsDirectoryA(char* buffer, UINT size)
{
    static const char kDir[] = "C:\\WINDOWS";
    UINT need = sizeof kDir - 1;
    if (!buffer || size <= need) return need + 1;
    std::memcpy(buffer, kDir, need + 1);
    return need;
}

UINT GetModuleFileNameA(HMODULE, char* buffer, DWORD size)
{
    if (!buffer || size == 0) return 0;
    ssize_t n = ::readlink("/proc/self/exe", buffer, size - 1);
    if (n < 0) n = 0;
    buffer[n] = 0;
    return static_cast<UINT>(n);
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }
DWORD GetCurrentThreadId() { return static_cast<DWORD>(::syscall(SYS_gettid)); }

BOOL DeleteFileA(const char* path)
{
    if (::unlink(winport::HostPath(path).c_str()) == 0) return TRUE;
    SetLastError(static_cast<DWORD>(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED));
    return FALSE;
}

BOOL CreateDirectoryA(const char* path, void*)
{
    if (!path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::mkdir(winport::HostPath(path).c_str(), 0777) == 0) return TRUE;
    SetLastError(static_cast<DWORD>(errno == EEXIST ? ERROR_ALREADY_EXISTS
                                    : errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                                          : ERROR_ACCESS_DENIED));
    return FALSE;
}

DWORD GetFileAttributesA(const char* path)
{
    struct stat st;
    if (::stat(winport::HostPath(path).c_str(), &st) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD a = 0;
    if (S_ISDIR(st.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
    if (::access(winport::HostPath(path).c_str(), W_OK) != 0) a |= FILE_ATTRIBUTE_READONLY;
    return a ? a : FILE_ATTRIBUTE_NORMAL;
}

namespace {

void copyPart(char* out, size_t room, const char* from, size_t length)
{
    if (!out) return;
    if (length > room - 1) length = room - 1;
    std::memcpy(out, from, length);
    out[length] = 0;
}

}  // namespace

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext)
{
    if (!path) path = "";
    const char* p = path;
    size_t driveLen = (p[0] && p[1] == ':') ? 2 : 0;
    copyPart(drive, _MAX_DRIVE, p, driveLen);
    p += driveLen;
    const char* lastSep = nullptr;
    for (const char* q = p; *q; ++q) {
        if (*q == '\\' || *q == '/') lastSep = q;
    }
    const char* name = lastSep ? lastSep + 1 : p;
    copyPart(dir, _MAX_DIR, p, static_cast<size_t>(name - p));
    const char* dot = std::strrchr(name, '.');
    const char* end = name + std::strlen(name);
    if (!dot) dot = end;
    copyPart(fname, _MAX_FNAME, name, static_cast<size_t>(dot - name));
    copyPart(ext, _MAX_EXT, dot, static_cast<size_t>(end - dot));
}
