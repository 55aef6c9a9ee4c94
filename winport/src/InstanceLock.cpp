#include "winport/InstanceLock.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

#include "winport/Paths.h"

namespace winport {

namespace {

std::string lockPath(const char* name) { return RuntimeDir() + "/" + (name ? name : ""); }

bool validName(const char* name)
{
    if (!name || !*name) return false;
    std::string n(name);
    return n != "." && n != ".." && n.find('/') == std::string::npos && n.size() < 200;
}

}  // namespace

InstanceLock::InstanceLock(const char* name)
{
    if (!validName(name)) return;
    m_path = lockPath(name);
    std::error_code ec;
    std::filesystem::create_directories(RuntimeDir(), ec);
    int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_fd = fd;
        return;
    }
    m_heldElsewhere = errno == EWOULDBLOCK;
    ::close(fd);
}

InstanceLock::~InstanceLock() { Release(); }

void InstanceLock::Release()
{
    if (m_fd < 0) return;
    // The file stays: removing it could let a third copy lock a new file while a second
    // still holds the old one.
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace winport
