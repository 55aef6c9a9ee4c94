// Windows and messages: window handles with a class name and a handler, posting and sending,
// registered message names, and the messages between programs.
//
// Handles are 32-bit numbers that are unique among the programs sharing one runtime folder,
// so that a handle published by one program (in the registry, say) names the same window in
// another. A top-level window is reachable from other programs: it has an endpoint (a Unix
// datagram socket) in the folder "windows" of the runtime folder, named by class, process id
// and handle. FindWindowA searches this program's windows, then that folder; PostMessageA to
// another program's window or to HWND_BROADCAST sends datagrams there. Sending never blocks:
// a receiver that is gone or whose queue is full makes the post fail, and the endpoint of a
// program that has died is removed. Registered messages travel by name, so the receiver sees
// its own number for the name.
#pragma once

#include <functional>

#include "winport/MessageLoop.h"
#include "winport/WinTypes.h"

/// Posting to HWND_BROADCAST reaches every reachable window of every program.
#define HWND_BROADCAST (reinterpret_cast<HWND>(static_cast<uintptr_t>(0xFFFF)))

/// The first and last number that RegisterWindowMessageA gives.
#define WINPORT_FIRST_REGISTERED_MESSAGE 0xC000u
#define WINPORT_LAST_REGISTERED_MESSAGE 0xFFFFu

/// Most messages a thread's queue holds; a post to a full queue fails (as on Windows).
#define WINPORT_QUEUE_LIMIT 10000u

namespace winport {

/// A window's handler: called on the window's own thread with every message dispatched or
/// sent to it. Its result is the result of SendMessageA / DispatchMessageA.
using WindowHandler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

struct WindowOptions {
    /// A child window belongs to its parent: other programs cannot reach or find it.
    HWND parent = nullptr;
    /// A top-level window that other programs shall not reach (no endpoint) sets this false.
    bool reachable = true;
};

/// Creates a window of `className` owned by the calling thread (whose loop receives its
/// messages) and sends it WM_CREATE; a handler answering -1 to WM_CREATE refuses the window.
/// Returns NULL (last error set) when the class name is empty or the window was refused.
HWND CreateMessageWindow(const char* className, WindowHandler handler, const WindowOptions& options = {});

/// The class name of one of this program's windows ("" when it is not one).
const char* WindowClassName(HWND hwnd);

}  // namespace winport

/// Sends WM_DESTROY to the window, kills its timers, withdraws its endpoint and forgets it.
/// Only the owning thread destroys a window; FALSE otherwise or when it does not exist.
BOOL DestroyWindow(HWND hwnd);
/// TRUE for a live window of this program or a reachable window of a running program.
BOOL IsWindow(HWND hwnd);
/// The default handling: WM_CLOSE destroys the window; everything else gives 0.
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

/// Queues a message for a window, any thread: this program's window (into its thread's
/// queue), another program's window (by its endpoint), HWND_BROADCAST (every reachable window
/// of every program; TRUE), or NULL (a thread message to the calling thread). Never blocks.
/// FALSE with ERROR_INVALID_WINDOW_HANDLE for an unknown or dead window, ERROR_NOT_ENOUGH_QUOTA
/// for a full queue.
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Calls the handler of a window of the calling thread directly and returns its result. There
/// is no waiting on another thread: for a window of another thread the call fails (result 0,
/// ERROR_ACCESS_DENIED); a window of another program and HWND_BROADCAST receive the message as
/// a post (result 0).
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

/// The number of a message name: the same name (compared without regard to case) gives the
/// same number from 0xC000 to 0xFFFF in every program that shares the runtime folder. 0 for an
/// empty or invalid name, or when the numbers are used up.
UINT RegisterWindowMessageA(LPCSTR name);
/// The window of a class (compared without regard to case): this program's newest first, then
/// the newest reachable window of another running program. A window name is not kept here:
/// with `windowName` non-NULL nothing is found. NULL when there is none.
HWND FindWindowA(LPCSTR className, LPCSTR windowName);

#define ERROR_NOT_ENOUGH_QUOTA 1816L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_INVALID_THREAD_ID 1444L
#define ERROR_MESSAGE_SYNC_ONLY 1159L
