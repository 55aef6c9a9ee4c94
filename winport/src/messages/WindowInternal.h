// Shared between the message loop, the window table and the endpoint folder.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "winport/MessageWire.h"
#include "winport/Window.h"

namespace winport::detail {

struct WindowRecord;

/// The queue, timers and wake-up descriptors of one thread's loop.
struct LoopState {
    LoopState();
    ~LoopState();

    struct Timer {
        DWORD hwnd;
        UINT_PTR id;
        uint32_t period;
        uint64_t due;
        TIMERPROC proc;
    };
    struct Endpoint {
        int fd;
        DWORD hwnd;
    };

    mutable std::mutex mutex;
    std::deque<MSG> posted;
    bool quitPosted = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    UINT_PTR nextThreadTimerId = 1;
    std::vector<Endpoint> endpoints;
    std::vector<DWORD> windows;  // owned windows, in creation order
    bool closed = false;
    bool signalPending = false;  // the wake-up descriptor is set and not yet cleared
    int eventFd = -1;
    int epollFd = -1;
    DWORD threadId = 0;
    std::thread::id owner;
    unsigned takesSinceCollect = 0;

    /// Queues a message (any thread). FALSE when the loop has ended or its queue is full, or
    /// when `window` (the message's, when given) has been destroyed.
    bool Post(const MSG& msg, DWORD* error, const WindowRecord* window = nullptr);
    /// Sets the wake-up descriptor unless it is set already.
    void Signal();
    /// Clears it; the caller looks at the queue again afterwards, so nothing posted meanwhile
    /// is missed.
    void ResetSignal();

private:
    void writeSignal();
};

struct WindowRecord {
    DWORD handle = 0;
    std::string className;
    WindowHandler handler;
    std::weak_ptr<LoopState> loop;
    std::thread::id owner;
    DWORD parent = 0;
    bool destroying = false;  // owner thread only
    bool gone = false;        // under the loop's mutex: destroyed, so that nothing more is queued for it
    int endpointFd = -1;
    std::string endpointPath;
};

/// This program's window of that handle, or null.
std::shared_ptr<WindowRecord> FindLocalWindow(DWORD handle);
/// Forgets every window of a loop that is ending (no WM_DESTROY: its objects may be gone).
void ForgetWindowsOfLoop(LoopState& loop);

/// A new handle, unique among the programs sharing the runtime folder.
DWORD AllocateWindowHandle();

// The endpoint folder.
struct EndpointEntry {
    std::string path;
    std::string className;
    DWORD pid;
    DWORD handle;
};
/// Binds a datagram socket for a window (non-blocking); -1 when that cannot be done.
int OpenEndpoint(const std::string& className, DWORD handle, std::string* path);
void CloseEndpoint(int fd, const std::string& path);
/// The endpoints of other running programs (endpoints of programs that have died are removed).
std::vector<EndpointEntry> ListForeignEndpoints();
/// Sends one datagram without waiting. 0 on success, else the errno; a dead endpoint (nobody
/// bound) is removed.
int SendToEndpoint(const std::string& path, const WindowDatagram& datagram);
/// The endpoint of another program's window by handle ("" when there is none).
std::string FindForeignEndpoint(DWORD handle);
/// Removes the endpoints of this process (before an immediate exit).
void RemoveOwnEndpoints();

/// The name of a registered message known to this program ("" when not registered here).
std::string RegisteredMessageName(UINT id);

/// The window messages a datagram becomes at the receiving window.
bool DatagramToMessage(const uint8_t* data, size_t size, DWORD receiver, MSG* msg);

/// The wait descriptor of the calling thread's loop, -1 when the thread runs none (none is made).
int CurrentLoopDescriptor();
/// Whether the calling thread runs a loop in which a WM_CLOSE waits (from this program or
/// another); nothing is taken from the queue.
bool CloseMessageWaiting();
/// Clears the wake-up of the calling thread's loop when nothing waits behind it (a loop that took
/// its last message leaves its wake-up set) and says so; when a message waits, the wake-up is
/// given again for the loop and false comes back.
bool ClearStaleLoopWakeUp();

}  // namespace winport::detail
