#include "winport/InstanceLock.h"

#include <filesystem>

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
    m_heldElsewhere = m_lock.TryLock(m_path) == FileLock::Result::HeldElsewhere;
}

InstanceLock::~InstanceLock() { Release(); }

void InstanceLock::Release() { m_lock.Release(); }

}  // namespace winport
