#include "winport/MessageLoop.h"

#include <algorithm>
#include <cerrno>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

#include "messages/WindowInternal.h"
#include "winport/Clock.h"
#include "winport/Paths.h"
#include "winport/Trace.h"

namespace winport {
namespace detail {

namespace {

// Loops by thread id, for PostThreadMessageA.
std::mutex& threadTableMutex()
{
    static auto* m = new std::mutex;
    return *m;
}
std::unordered_map<DWORD, std::weak_ptr<LoopState>>& threadTable()
{
    static auto* t = new std::unordered_map<DWORD, std::weak_ptr<LoopState>>;
    return *t;
}

bool passes(const MSG& m, HWND filter, UINT min, UINT max)
{
    if (filter && m.hwnd != filter) return false;
    if (min == 0 && max == 0) return true;
    return m.message >= min && m.message <= max;
}

uint32_t clampPeriod(UINT ms)
{
    if (ms < USER_TIMER_MINIMUM) return USER_TIMER_MINIMUM;
    if (ms > USER_TIMER_MAXIMUM) return USER_TIMER_MAXIMUM;
    return ms;
}

bool clockIsSystem() { return dynamic_cast<SystemClock*>(&CurrentClock()) != nullptr; }

/// The loop that keeps the timers of a window (its thread's), or of the calling thread.
std::shared_ptr<LoopState> timerLoop(HWND hwnd)
{
    if (!hwnd) return MessageLoop::Current().State();
    auto window = FindLocalWindow(HandleToUlong(hwnd));
    auto state = window ? window->loop.lock() : nullptr;
    if (!state) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return state;
}

}  // namespace

LoopState::LoopState()
{
    eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    if (eventFd >= 0 && epollFd >= 0) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = eventFd;
        ::epoll_ctl(epollFd, EPOLL_CTL_ADD, eventFd, &ev);
    }
    threadId = GetCurrentThreadId();
    owner = std::this_thread::get_id();
}

LoopState::~LoopState()
{
    if (eventFd >= 0) ::close(eventFd);
    if (epollFd >= 0) ::close(epollFd);
}

bool LoopState::Post(const MSG& msg, DWORD* error, const WindowRecord* window)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed) {
            if (error) *error = ERROR_INVALID_THREAD_ID;
            return false;
        }
        if (window && window->gone) {
            if (error) *error = ERROR_INVALID_WINDOW_HANDLE;
            return false;
        }
        if (posted.size() >= WINPORT_QUEUE_LIMIT) {
            if (error) *error = ERROR_NOT_ENOUGH_QUOTA;
            return false;
        }
        posted.push_back(msg);
        if (signalPending) return true;
        signalPending = true;
    }
    writeSignal();
    return true;
}

void LoopState::writeSignal()
{
    if (eventFd < 0) return;
    uint64_t one = 1;
    ssize_t n = ::write(eventFd, &one, sizeof one);
    (void)n;  // a full counter already signals
}

void LoopState::Signal()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (signalPending) return;
        signalPending = true;
    }
    writeSignal();
}

void LoopState::ResetSignal()
{
    if (eventFd < 0) return;
    uint64_t value;
    ssize_t n = ::read(eventFd, &value, sizeof value);
    (void)n;
    std::lock_guard<std::mutex> lock(mutex);
    signalPending = false;
}

namespace {

/// Moves datagrams from the loop's endpoints into its queue (owner thread only).
void collectDatagrams(LoopState& loop)
{
    std::vector<LoopState::Endpoint> endpoints;
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        endpoints = loop.endpoints;
    }
    uint8_t buffer[kWindowDatagramHeaderSize + kMaxMessageNameLength + 1];
    for (const auto& ep : endpoints) {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(loop.mutex);
                if (loop.posted.size() >= WINPORT_QUEUE_LIMIT) return;  // the rest waits in the socket
            }
            ssize_t n = ::recv(ep.fd, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
            if (n < 0) break;
            MSG msg;
            if (static_cast<size_t>(n) > sizeof buffer ||
                !DatagramToMessage(buffer, static_cast<size_t>(n), ep.hwnd, &msg)) {
                WinportTrace("winport: a malformed message for window %08X was dropped\n", ep.hwnd);
                continue;
            }
            std::lock_guard<std::mutex> lock(loop.mutex);
            loop.posted.push_back(msg);
        }
    }
}

/// The calling thread's loop, null when it runs none.
std::shared_ptr<LoopState> currentLoopIfAny()
{
    std::lock_guard<std::mutex> lock(threadTableMutex());
    auto it = threadTable().find(GetCurrentThreadId());
    return it == threadTable().end() ? nullptr : it->second.lock();
}

enum class QuitHandling { Take, Leave };

/// The next message by the order of retrieval: posted messages, then WM_QUIT, then due timers.
bool take(LoopState& loop, MSG* out, HWND filter, UINT min, UINT max, bool remove, QuitHandling quit)
{
    bool queueEmpty;
    bool hasEndpoints;
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        queueEmpty = loop.posted.empty();
        hasEndpoints = !loop.endpoints.empty();
    }
    // Messages from other programs are fetched when the queue runs dry, and now and then
    // between local messages so that a busy queue cannot starve them.
    if (hasEndpoints && (queueEmpty || ++loop.takesSinceCollect >= 64)) {
        loop.takesSinceCollect = 0;
        collectDatagrams(loop);
    }
    std::lock_guard<std::mutex> lock(loop.mutex);
    for (auto it = loop.posted.begin(); it != loop.posted.end(); ++it) {
        if (!passes(*it, filter, min, max)) continue;
        if (it->message == WM_QUIT && quit == QuitHandling::Leave) {
            // A posted WM_QUIT becomes the pending quit.
            loop.quitPosted = true;
            loop.quitCode = static_cast<int>(it->wParam);
            loop.posted.erase(it);
            return false;
        }
        *out = *it;
        if (remove) loop.posted.erase(it);
        return true;
    }
    if (loop.quitPosted) {
        if (quit == QuitHandling::Leave) return false;
        *out = MSG{};
        out->message = WM_QUIT;
        out->wParam = static_cast<WPARAM>(loop.quitCode);
        out->time = GetTickCount();
        if (remove) loop.quitPosted = false;
        return true;
    }
    uint64_t now = CurrentClock().nowMs();
    LoopState::Timer* best = nullptr;
    for (auto& t : loop.timers) {
        if (t.due > now) continue;
        MSG probe{};
        probe.hwnd = UlongToHwnd(t.hwnd);
        probe.message = WM_TIMER;
        if (!passes(probe, filter, min, max)) continue;
        if (!best || t.due < best->due) best = &t;
    }
    if (!best) return false;
    *out = MSG{};
    out->hwnd = UlongToHwnd(best->hwnd);
    out->message = WM_TIMER;
    out->wParam = best->id;
    out->lParam = reinterpret_cast<LPARAM>(best->proc);
    out->time = static_cast<DWORD>(now);
    if (remove) best->due = now + best->period;
    return true;
}

std::optional<uint64_t> nextDue(const LoopState& loop)
{
    std::lock_guard<std::mutex> lock(loop.mutex);
    std::optional<uint64_t> due;
    for (const auto& t : loop.timers) {
        if (!due || t.due < *due) due = t.due;
    }
    return due;
}

/// Waits until the loop is signalled, a datagram arrives or the next timer falls due.
void wait(LoopState& loop)
{
    int timeout = -1;
    if (auto due = nextDue(loop)) {
        uint64_t now = CurrentClock().nowMs();
        uint64_t left = *due > now ? *due - now : 0;
        timeout = static_cast<int>(std::min<uint64_t>(left, 1000000));
    }
    // Another clock may move without telling: look again often.
    if (!clockIsSystem() && (timeout < 0 || timeout > 10)) timeout = 10;
    if (timeout == 0) return;
    epoll_event events[8];
    int n = ::epoll_wait(loop.epollFd, events, 8, timeout);
    (void)n;
}

}  // namespace
int CurrentLoopDescriptor()
{
    const auto loop = currentLoopIfAny();
    return loop ? loop->epollFd : -1;
}

bool CloseMessageWaiting()
{
    const auto loop = currentLoopIfAny();
    if (!loop) return false;
    collectDatagrams(*loop);
    bool waiting = false, any = false;
    {
        std::lock_guard<std::mutex> lock(loop->mutex);
        any = !loop->posted.empty();
        for (const MSG& m : loop->posted) waiting = waiting || m.message == WM_CLOSE;
    }
    // What came from other programs is in the queue now: the loop is told, as for a post.
    if (any) loop->Signal();
    return waiting;
}

bool ClearStaleLoopWakeUp()
{
    const auto loop = currentLoopIfAny();
    if (!loop) return false;
    // Cleared before the look, so that a post racing with it signals again.
    loop->ResetSignal();
    collectDatagrams(*loop);
    bool any = false;
    {
        std::lock_guard<std::mutex> lock(loop->mutex);
        any = !loop->posted.empty() || loop->quitPosted;
    }
    if (any) loop->Signal();
    return !any;
}

}  // namespace detail

using detail::LoopState;

namespace {
thread_local bool t_loopRegistered = false;  // the calling thread's loop is in the thread table
}  // namespace

MessageLoop& MessageLoop::Current()
{
    thread_local MessageLoop loop(std::make_shared<LoopState>());
    if (!t_loopRegistered) {
        t_loopRegistered = true;
        std::lock_guard<std::mutex> lock(detail::threadTableMutex());
        detail::threadTable()[loop.m_state->threadId] = loop.m_state;
    }
    return loop;
}

void MessageLoop::EndCurrentForTesting()
{
    if (!t_loopRegistered) return;
    MessageLoop& loop = Current();
    loop.End();
    loop.m_state = std::make_shared<LoopState>();
    t_loopRegistered = false;
}

MessageLoop::~MessageLoop() { End(); }

void MessageLoop::End()
{
    {
        std::lock_guard<std::mutex> lock(detail::threadTableMutex());
        auto it = detail::threadTable().find(m_state->threadId);
        if (it != detail::threadTable().end() && it->second.lock() == m_state) detail::threadTable().erase(it);
    }
    detail::ForgetWindowsOfLoop(*m_state);
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->closed = true;
    m_state->posted.clear();
    m_state->timers.clear();
}

BOOL MessageLoop::Get(MSG* msg, HWND filter, UINT min, UINT max)
{
    MSG local;
    if (!msg) msg = &local;
    for (;;) {
        if (detail::take(*m_state, msg, filter, min, max, true, detail::QuitHandling::Take)) {
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        m_state->ResetSignal();
        if (detail::take(*m_state, msg, filter, min, max, true, detail::QuitHandling::Take)) {
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        detail::wait(*m_state);
    }
}

BOOL MessageLoop::Peek(MSG* msg, HWND filter, UINT min, UINT max, UINT removeFlags)
{
    MSG local;
    if (!msg) msg = &local;
    return detail::take(*m_state, msg, filter, min, max, (removeFlags & PM_REMOVE) != 0, detail::QuitHandling::Take)
               ? TRUE
               : FALSE;
}

int MessageLoop::Run()
{
    MSG msg;
    while (Get(&msg, nullptr, 0, 0)) DispatchMessageA(&msg);
    return static_cast<int>(msg.wParam);
}

size_t MessageLoop::RunUntilIdle(size_t limit)
{
    size_t count = 0;
    MSG msg;
    while (count < limit) {
        if (!detail::take(*m_state, &msg, nullptr, 0, 0, true, detail::QuitHandling::Leave)) {
            // Clear the wake-up before the last look, so that a post racing with it signals again.
            m_state->ResetSignal();
            if (!detail::take(*m_state, &msg, nullptr, 0, 0, true, detail::QuitHandling::Leave)) break;
        }
        DispatchMessageA(&msg);
        ++count;
    }
    return count;
}

bool MessageLoop::AdvanceTo(uint64_t targetMs)
{
    auto* clock = dynamic_cast<ManualClock*>(&CurrentClock());
    if (!clock || targetMs < clock->nowMs()) return false;
    RunUntilIdle();
    while (!QuitPending()) {
        auto due = NextTimerDue();
        if (!due || *due > targetMs) break;
        if (*due > clock->nowMs()) clock->SetNow(*due);
        RunUntilIdle();
    }
    if (clock->nowMs() < targetMs) clock->SetNow(targetMs);
    RunUntilIdle();
    return true;
}

bool MessageLoop::AdvanceBy(uint64_t ms)
{
    auto* clock = dynamic_cast<ManualClock*>(&CurrentClock());
    if (!clock) return false;
    return AdvanceTo(clock->nowMs() + ms);
}

bool MessageLoop::QuitPending() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (m_state->quitPosted) return true;
    return std::any_of(m_state->posted.begin(), m_state->posted.end(),
                       [](const MSG& m) { return m.message == WM_QUIT; });
}

size_t MessageLoop::PendingCount() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->posted.size();
}

int MessageLoop::WaitDescriptor() const { return m_state->epollFd; }

std::optional<uint64_t> MessageLoop::NextTimerDue() const { return detail::nextDue(*m_state); }

int64_t MessageLoop::MillisecondsToNextTimer() const
{
    auto due = NextTimerDue();
    if (!due) return -1;
    uint64_t now = CurrentClock().nowMs();
    return *due > now ? static_cast<int64_t>(*due - now) : 0;
}

void MessageLoop::Wake() { m_state->Signal(); }

DWORD MessageLoop::ThreadId() const { return m_state->threadId; }

}  // namespace winport

using winport::MessageLoop;

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    return MessageLoop::Current().Get(msg, hwnd, filterMin, filterMax);
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    return MessageLoop::Current().Peek(msg, hwnd, filterMin, filterMax, removeFlags);
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

void PostQuitMessage(int exitCode)
{
    auto state = MessageLoop::Current().State();
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->quitPosted = true;
        state->quitCode = exitCode;
    }
    state->Signal();
}

BOOL PostThreadMessageA(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<winport::detail::LoopState> state;
    {
        std::lock_guard<std::mutex> lock(winport::detail::threadTableMutex());
        auto it = winport::detail::threadTable().find(threadId);
        if (it != winport::detail::threadTable().end()) state = it->second.lock();
    }
    if (!state) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    MSG m{};
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    DWORD error = 0;
    if (!state->Post(m, &error)) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc)
{
    DWORD handle = HandleToUlong(hwnd);
    auto state = winport::detail::timerLoop(hwnd);
    if (!state) return 0;
    uint64_t due = winport::CurrentClock().nowMs() + winport::detail::clampPeriod(elapseMs);
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        if (!hwnd) {
            bool exists = id != 0 && std::any_of(state->timers.begin(), state->timers.end(), [&](const auto& t) {
                              return t.hwnd == 0 && t.id == id;
                          });
            if (!exists) {
                // A new thread timer gets an id of its own that no thread timer uses.
                do {
                    id = state->nextThreadTimerId++;
                    if (id == 0) id = state->nextThreadTimerId++;
                } while (std::any_of(state->timers.begin(), state->timers.end(),
                                     [&](const auto& t) { return t.hwnd == 0 && t.id == id; }));
            }
        }
        bool found = false;
        for (auto& t : state->timers) {
            if (t.hwnd == handle && t.id == id) {
                t.period = winport::detail::clampPeriod(elapseMs);
                t.due = due;
                t.proc = proc;
                found = true;
                break;
            }
        }
        if (!found) state->timers.push_back({handle, id, winport::detail::clampPeriod(elapseMs), due, proc});
    }
    state->Signal();
    // A window's timer 0 exists too; the result must still read as success.
    return hwnd && id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    DWORD handle = HandleToUlong(hwnd);
    auto state = winport::detail::timerLoop(hwnd);
    if (!state) return FALSE;
    std::lock_guard<std::mutex> lock(state->mutex);
    auto& t = state->timers;
    auto it = std::find_if(t.begin(), t.end(), [&](const auto& x) { return x.hwnd == handle && x.id == id; });
    if (it == t.end()) return FALSE;
    t.erase(it);
    return TRUE;
}
