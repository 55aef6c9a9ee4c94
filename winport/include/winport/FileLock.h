// An exclusive lock on a host file: advisory (flock), taken without waiting, and released by the
// kernel when its holder ends, however it ends. The file is created when missing and stays when
// the lock is released: removing it could let a third party lock a new file while a second still
// holds the old one.
#pragma once

#include <string>

namespace winport {

class FileLock {
public:
    enum class Result {
        Taken,
        HeldElsewhere,  // another holder has it
        Failed,         // the file cannot be opened or locked
    };

    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    /// Tries once to take the lock on the host file `path`, created with `mode` when missing.
    /// A lock this object already holds is released first.
    Result TryLock(const std::string& path, int mode = 0600);
    bool IsHeld() const { return m_fd >= 0; }
    void Release();

private:
    int m_fd = -1;
};

}  // namespace winport
