#include "winport/WakeDescriptor.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace winport {

WakeDescriptor::WakeDescriptor() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeDescriptor::~WakeDescriptor()
{
    if (m_fd >= 0) ::close(m_fd);
}

void WakeDescriptor::Signal()
{
    uint64_t one = 1;
    ssize_t n = ::write(m_fd, &one, sizeof one);
    (void)n;  // a full counter is still readable: the wake-up stands
}

void WakeDescriptor::Drain()
{
    uint64_t drain;
    while (::read(m_fd, &drain, sizeof drain) > 0) {
    }
}

}  // namespace winport
