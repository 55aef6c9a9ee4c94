#include "ReplacementFile.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "winport/Paths.h"

namespace {

std::atomic<unsigned> g_tempNumber{0};

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool syncPath(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

ReplacementFile::ReplacementFile(const CString& path) : m_path(winport::HostPath(path))
{
    struct stat old;
    m_replaces = ::stat(m_path.c_str(), &old) == 0;
    if (m_replaces && !S_ISREG(old.st_mode)) return;
    const size_t slash = m_path.find_last_of('/');
    const std::string head = slash == std::string::npos ? std::string() : m_path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = head + "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(++g_tempNumber) + ".new";
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
        ok = ::write(to, buffer, static_cast<size_t>(got)) == got;
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
    syncPath(folderOf(m_path), O_RDONLY | O_DIRECTORY);
    return true;
}
