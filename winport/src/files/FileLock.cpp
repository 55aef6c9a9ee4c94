#include "winport/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace winport {

FileLock::Result FileLock::TryLock(const std::string& path, int mode)
{
    Release();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) return Result::Failed;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        m_fd = fd;
        return Result::Taken;
    }
    const Result result = errno == EWOULDBLOCK ? Result::HeldElsewhere : Result::Failed;
    ::close(fd);
    return result;
}

void FileLock::Release()
{
    if (m_fd < 0) return;
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace winport
