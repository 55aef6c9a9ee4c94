// The critical section and the two lock classes that guard data shared between threads.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

#include "winport/WinTypes.h"

/// A recursive lock that knows its owner thread, so that an unlock by a thread that does not
/// own it can be refused instead of releasing another thread's lock.
struct CRITICAL_SECTION {
    std::mutex mutex;
    std::atomic<std::thread::id> owner{};
    int recursion = 0;  // changed only by the owner
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
/// Leaves once; does nothing when the calling thread does not own the section.
void LeaveCriticalSection(LPCRITICAL_SECTION cs);
/// TRUE when the calling thread owns the section.
BOOL WinportOwnsCriticalSection(LPCRITICAL_SECTION cs);

/// Owner of one critical section. Not copyable.
class CFastCriticalSection {
public:
    CFastCriticalSection();
    virtual ~CFastCriticalSection();
    CFastCriticalSection(const CFastCriticalSection&) = delete;
    CFastCriticalSection& operator=(const CFastCriticalSection&) = delete;

    /// Blocks until the calling thread owns the section; an owner enters again.
    void Lock();
    /// Leaves once; an unlock by a thread that does not own the section does nothing.
    void Unlock();
    /// Enters when the section is free or already owned; FALSE when another thread owns it.
    BOOL TryLock();
    /// TRUE when the calling thread owns the section.
    BOOL IsHeldByCurrentThread();

private:
    CRITICAL_SECTION m_sect;
};

/// Scoped guard of a CFastCriticalSection. It records how often it has locked, and releases
/// on destruction only what it holds.
class CFastSingleLock {
public:
    explicit CFastSingleLock(CFastCriticalSection* section, BOOL lockNow = FALSE);
    virtual ~CFastSingleLock();
    CFastSingleLock(const CFastSingleLock&) = delete;
    CFastSingleLock& operator=(const CFastSingleLock&) = delete;

    void Lock();
    /// Releases the lock this guard holds (once); does nothing when it holds none.
    void Unlock();
    BOOL IsLocked() const { return m_nLocked > 0; }

private:
    CFastCriticalSection* m_pSection;
    int m_nLocked = 0;
};
