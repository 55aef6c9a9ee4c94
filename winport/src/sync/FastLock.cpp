#include "winport/FastLock.h"

void InitializeCriticalSection(LPCRITICAL_SECTION cs)
{
    cs->owner.store(std::thread::id());
    cs->recursion = 0;
}

void DeleteCriticalSection(LPCRITICAL_SECTION) {}

void EnterCriticalSection(LPCRITICAL_SECTION cs)
{
    const std::thread::id self = std::this_thread::get_id();
    if (cs->owner.load(std::memory_order_acquire) == self) {
        ++cs->recursion;
        return;
    }
    cs->mutex.lock();
    cs->owner.store(self, std::memory_order_release);
    cs->recursion = 1;
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs)
{
    const std::thread::id self = std::this_thread::get_id();
    if (cs->owner.load(std::memory_order_acquire) == self) {
        ++cs->recursion;
        return TRUE;
    }
    if (!cs->mutex.try_lock()) return FALSE;
    cs->owner.store(self, std::memory_order_release);
    cs->recursion = 1;
    return TRUE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs)
{
    // Only the owner may leave; a surplus unlock from anyone else changes nothing.
    if (cs->owner.load(std::memory_order_acquire) != std::this_thread::get_id()) return;
    if (--cs->recursion == 0) {
        cs->owner.store(std::thread::id(), std::memory_order_release);
        cs->mutex.unlock();
    }
}

BOOL WinportOwnsCriticalSection(LPCRITICAL_SECTION cs)
{
    return cs->owner.load(std::memory_order_acquire) == std::this_thread::get_id();
}

CFastCriticalSection::CFastCriticalSection() { InitializeCriticalSection(&m_sect); }
CFastCriticalSection::~CFastCriticalSection() { DeleteCriticalSection(&m_sect); }
void CFastCriticalSection::Lock() { EnterCriticalSection(&m_sect); }
void CFastCriticalSection::Unlock() { LeaveCriticalSection(&m_sect); }
BOOL CFastCriticalSection::TryLock() { return TryEnterCriticalSection(&m_sect); }
BOOL CFastCriticalSection::IsHeldByCurrentThread() { return WinportOwnsCriticalSection(&m_sect); }

CFastSingleLock::CFastSingleLock(CFastCriticalSection* section, BOOL lockNow) : m_pSection(section)
{
    if (lockNow) Lock();
}

CFastSingleLock::~CFastSingleLock()
{
    while (m_nLocked > 0) Unlock();
}

void CFastSingleLock::Lock()
{
    if (!m_pSection) return;
    m_pSection->Lock();
    ++m_nLocked;
}

void CFastSingleLock::Unlock()
{
    if (!m_pSection || m_nLocked == 0) return;
    --m_nLocked;
    m_pSection->Unlock();
}
