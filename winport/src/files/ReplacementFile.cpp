#include "winport/ReplacementFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace winport {
namespace {

std::atomic<unsigned> g_tempNumber{0};

struct SplitPath {
    std::string folder;  ///< "." for a bare name
    std::string head;    ///< the folder with its '/', or empty
    std::string name;
};

SplitPath split(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", "", path};
    return {slash == 0 ? std::string("/") : path.substr(0, slash), path.substr(0, slash + 1), path.substr(slash + 1)};
}

bool allDigits(const std::string& s, size_t from, size_t to)
{
    if (to <= from || to - from > 9) return false;
    for (size_t i = from; i < to; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

/// The writer's process id of a temporary ".<name>.<pid>-<n>.new", or 0 when `entry` is not one.
pid_t replacementWriter(const std::string& entry, const std::string& name)
{
    static const char kSuffix[] = ".new";
    const std::string prefix = "." + name + ".";
    const size_t suffix = sizeof kSuffix - 1;
    if (entry.size() <= prefix.size() + suffix || entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.compare(entry.size() - suffix, suffix, kSuffix) != 0)
        return 0;
    const size_t end = entry.size() - suffix;
    const size_t dash = entry.find('-', prefix.size());
    if (dash == std::string::npos || dash > end || !allDigits(entry, prefix.size(), dash) || !allDigits(entry, dash + 1, end))
        return 0;
    return static_cast<pid_t>(std::stol(entry.substr(prefix.size(), dash - prefix.size())));
}

/// The writer of a temporary of `name`: a replacement's own, or the one that the compound-file
/// layer builds beside a temporary it creates a file at (".<temporary>.XXXXXX").
pid_t writerOf(const std::string& entry, const std::string& name)
{
    if (const pid_t pid = replacementWriter(entry, name)) return pid;
    const size_t dot = entry.find_last_of('.');
    if (entry.size() < 2 || entry[0] != '.' || dot == std::string::npos || entry.size() - dot != 7) return 0;
    return replacementWriter(entry.substr(1, dot - 1), name);
}

bool syncPath(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool writeAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void RemoveStaleReplacements(const std::string& path)
{
    const SplitPath parts = split(path);
    DIR* d = ::opendir(parts.folder.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const pid_t pid = writerOf(e->d_name, parts.name);
        if (pid <= 0 || pid == ::getpid()) continue;
        // A process that has ended (and been reaped) no longer finishes its save.
        if (::kill(pid, 0) != 0 && errno == ESRCH) ::unlink((parts.head + e->d_name).c_str());
    }
    ::closedir(d);
}

ReplacementFile::ReplacementFile(const std::string& path) : m_path(path)
{
    RemoveStaleReplacements(m_path);
    struct stat old;
    m_replaces = ::stat(m_path.c_str(), &old) == 0;
    if (m_replaces && !S_ISREG(old.st_mode)) return;
    const SplitPath parts = split(m_path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = parts.head + "." + parts.name + "." + std::to_string(::getpid()) + "-" +
                           std::to_string(++g_tempNumber) + ".new";
        // 0666 under the umask, as a new file would be made.
        const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return;
        }
        if (m_replaces && ::fchmod(fd, old.st_mode & 07777) != 0) { /* the temporary keeps the new file's mode */ }
        ::close(fd);
        m_temp = std::move(temp);
        return;
    }
}

ReplacementFile::~ReplacementFile()
{
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
}

bool ReplacementFile::Write(const void* data, size_t size)
{
    if (m_temp.empty()) return false;
    const int fd = ::open(m_temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = writeAll(fd, data, size);
    return ::close(fd) == 0 && ok;
}

bool ReplacementFile::CopyExisting()
{
    if (m_temp.empty() || !m_replaces) return false;
    const int from = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0) return false;
    const int to = ::open(m_temp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool ok = to >= 0;
    struct stat st;
    if (ok) ok = ::fstat(from, &st) == 0;
    off_t left = ok ? st.st_size : 0;
    while (ok && left > 0) {
        // In the kernel where it can; by reading and writing where it cannot.
        const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(left), 0);
        if (n > 0) {
            left -= n;
            continue;
        }
        if (n == 0) break;
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
            ok = false;
            break;
        }
        char buffer[1 << 16];
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = writeAll(to, buffer, static_cast<size_t>(got));
        left -= got;
    }
    ok = ok && left == 0;
    if (to >= 0 && ::close(to) != 0) ok = false;
    ::close(from);
    return ok;
}

bool ReplacementFile::Install()
{
    if (m_temp.empty()) return false;
    if (!syncPath(m_temp, O_RDONLY)) return false;
    if (::rename(m_temp.c_str(), m_path.c_str()) != 0) return false;
    m_temp.clear();
    syncPath(split(m_path).folder, O_RDONLY | O_DIRECTORY);
    return true;
}

bool ReplaceFileWith(const std::string& path, const void* data, size_t size)
{
    ReplacementFile file(path);
    return file.Write(data, size) && file.Install();
}

}  // namespace winport
