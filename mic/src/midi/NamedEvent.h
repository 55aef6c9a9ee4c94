// Named events of the MIDI threads: auto-reset events whose name is a kind's name (the
// program's table of named-event kinds) followed by a port or device number, met by name
// within the program. Every wait on them has a bound.
#pragma once

#include <atomic>

#include "base/ProgramConstants.h"
#include "winport/Events.h"
#include "winport/WinTypes.h"

class CNamedEvent {
public:
    CNamedEvent() = default;

    /// A new handle to the event named kind name + port, created unsignalled when no handle to
    /// it is open. The caller closes it with CloseHandle. NULL for a kind without a name.
    static HANDLE Get(int port, int kind);
    /// Waits at most timeoutMs for one event: TRUE when it was signalled (and so reset).
    static BOOL WaitOne(HANDLE event, DWORD timeoutMs);
    /// Waits at most timeoutMs for either: 0 or 1 for the one signalled (the first wins when
    /// both are), -1 when the time ran out or a handle is bad.
    static int WaitEither(HANDLE first, HANDLE second, DWORD timeoutMs);

private:
    int m_nUnused1 = -1;
    int m_nUnused2 = -1;
};

/// Owns one handle of a named event for a scope (a thread's or a port's whole life), so that a
/// signal never meets an event that nobody holds. Set is safe from any thread, also while the
/// owner replaces the handle (a signal to a closed handle does nothing).
class NamedEventHandle {
public:
    NamedEventHandle() = default;
    NamedEventHandle(int port, int kind) : m_handle(CNamedEvent::Get(port, kind)) {}
    ~NamedEventHandle() { Reset(); }
    NamedEventHandle(const NamedEventHandle&) = delete;
    NamedEventHandle& operator=(const NamedEventHandle&) = delete;

    /// Takes the handle of kind name + port in place of the one held.
    void Take(int port, int kind)
    {
        HANDLE old = m_handle.exchange(CNamedEvent::Get(port, kind));
        if (old) CloseHandle(old);
    }
    HANDLE Get() const { return m_handle.load(); }
    void Set() const
    {
        if (HANDLE h = m_handle.load()) SetEvent(h);
    }
    void Reset()
    {
        if (HANDLE old = m_handle.exchange(nullptr)) CloseHandle(old);
    }

private:
    std::atomic<HANDLE> m_handle{nullptr};
};
