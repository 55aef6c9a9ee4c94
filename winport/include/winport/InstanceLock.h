// The single-instance lock: a named lock that one process at a time holds, taken atomically and
// released by the kernel when its holder ends, however it ends. It stands for a named mutex
// used to find out whether another copy of a program runs: the first copy holds it, a second
// copy finds it held (and then wakes the first through a message to its published window).
#pragma once

#include <string>

#include "winport/FileLock.h"
#include "winport/WinTypes.h"

namespace winport {

class InstanceLock {
public:
    /// Tries to take the lock named `name` (a file of that name in the runtime folder, locked
    /// with flock). Never waits.
    explicit InstanceLock(const char* name);
    /// Releases the lock when this object holds it.
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    /// TRUE when this object took the lock, that is when no other holder existed.
    bool IsHeld() const { return m_lock.IsHeld(); }
    /// TRUE when the lock could not be taken because another holder has it (FALSE also when
    /// the runtime folder cannot be used: then every copy believes itself the first).
    bool HeldElsewhere() const { return m_heldElsewhere; }
    const std::string& Path() const { return m_path; }
    /// Releases the lock early.
    void Release();

private:
    std::string m_path;
    FileLock m_lock;
    bool m_heldElsewhere = false;
};

}  // namespace winport
