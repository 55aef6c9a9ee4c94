// The message loop of a user-interface thread: its queue of posted messages, its timers and
// the retrieval calls (GetMessageA, PeekMessageA, DispatchMessageA). Every thread that owns a
// window has one loop, made on first use. Posting into a loop is safe from any thread; only
// the owning thread retrieves and dispatches. All timing reads winport::CurrentClock(), so
// tests run timers in virtual time with a ManualClock (RunUntilIdle, AdvanceBy, AdvanceTo).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "winport/Paths.h"
#include "winport/WinTypes.h"

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

typedef void (*TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

// Window messages used by the system (the values of the Windows platform).
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_CTLCOLOR 0x0019
#define WM_SETCURSOR 0x0020
#define WM_DRAWITEM 0x002B
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_QUERYDRAGICON 0x0037
#define WM_CONTEXTMENU 0x007B
#define WM_NCDESTROY 0x0082
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORLISTBOX 0x0134
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSCROLLBAR 0x0137
#define WM_CTLCOLORSTATIC 0x0138
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_RBUTTONDBLCLK 0x0206
#define WM_MOUSEHOVER 0x02A1
#define WM_MOUSELEAVE 0x02A3
#define WM_USER 0x0400
#define WM_APP 0x8000

// PeekMessageA removal flags.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

/// The shortest timer period; shorter periods (and 0) are raised to it, as on Windows.
#define USER_TIMER_MINIMUM 0x0000000A
#define USER_TIMER_MAXIMUM 0x7FFFFFFF

namespace winport {

namespace detail {
struct LoopState;
}

/// The message loop of one thread. Obtain it with Current(); it lives as long as its thread
/// and, when the thread ends, destroys the windows the thread still owns.
class MessageLoop {
public:
    /// The loop of the calling thread (made on first use).
    static MessageLoop& Current();
    /// Ends the calling thread's loop as the thread's end does (its windows are forgotten, its
    /// queue and timers dropped): the thread runs no loop until its next use makes a new one.
    /// For tests, which run one after another on one thread, so that a test starts on a thread
    /// that an earlier one left no loop, message or pending quit on.
    static void EndCurrentForTesting();

    /// Waits until a message passes the filter (hwnd NULL: any window or thread message;
    /// min = max = 0: any message) and removes it. FALSE when it is WM_QUIT.
    BOOL Get(MSG* msg, HWND filter, UINT min, UINT max);
    /// Takes a message without waiting; FALSE when none is ready.
    BOOL Peek(MSG* msg, HWND filter, UINT min, UINT max, UINT removeFlags);

    /// Retrieves and dispatches until WM_QUIT; returns the quit code (its wParam).
    int Run();
    /// Dispatches every message and due timer that is ready now, including those posted by the
    /// handlers, without waiting, and stops before WM_QUIT (which stays pending). Returns the
    /// number dispatched; stops after `limit` so that a handler that posts forever cannot hang.
    size_t RunUntilIdle(size_t limit = 1000000);
    /// Virtual time: moves the installed ManualClock forward to `targetMs`, stopping at each timer
    /// deadline on the way to dispatch what became due, then runs until idle. FALSE (and nothing
    /// moved) when the current clock is not a ManualClock or the target lies in the past.
    bool AdvanceTo(uint64_t targetMs);
    bool AdvanceBy(uint64_t ms);

    /// TRUE once WM_QUIT is pending (PostQuitMessage or a posted WM_QUIT reached the front).
    bool QuitPending() const;
    /// Messages waiting in the posted queue (timers not counted).
    size_t PendingCount() const;

    /// For an outside event loop (Qt's): a descriptor that becomes readable when messages may be
    /// ready (posts from any thread, messages from other programs). Call RunUntilIdle when it
    /// does, and when the next timer falls due.
    int WaitDescriptor() const;
    /// The clock time of the earliest timer deadline, if a timer runs.
    std::optional<uint64_t> NextTimerDue() const;
    /// Milliseconds from now until the earliest timer deadline (0 when due), -1 without timers.
    int64_t MillisecondsToNextTimer() const;
    /// Wakes a thread waiting in Get or an outside loop watching WaitDescriptor. Any thread.
    void Wake();

    /// The thread that owns the loop (GetCurrentThreadId of that thread).
    DWORD ThreadId() const;

    std::shared_ptr<detail::LoopState> State() const { return m_state; }

    explicit MessageLoop(std::shared_ptr<detail::LoopState> state) : m_state(std::move(state)) {}
    ~MessageLoop();
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

private:
    void End();

    std::shared_ptr<detail::LoopState> m_state;
};

}  // namespace winport

/// The calling thread's loop: as MessageLoop::Get / Peek.
BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
/// Calls the window's handler (on the window's own thread) or the timer's TIMERPROC; returns
/// the handler's result, 0 for a message without a live window.
LRESULT DispatchMessageA(const MSG* msg);
/// Keyboard translation does not exist here: FALSE.
BOOL TranslateMessage(const MSG* msg);
/// Makes the calling thread's loop end: WM_QUIT comes after the messages already posted.
void PostQuitMessage(int exitCode);
/// Posts a message with no window to the loop of a thread (by GetCurrentThreadId). FALSE when
/// that thread has no loop, or its queue is full.
BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam);

/// Starts or restarts (same window and id: the new period counts from now) a timer that posts
/// WM_TIMER until killed. With a window: returns the id (nonzero) or 0 when the window does not
/// exist. Without a window: a new id is chosen unless `id` names an existing thread timer of
/// the calling thread. A TIMERPROC is called by DispatchMessageA instead of the window.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
