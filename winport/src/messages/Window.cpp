#include "winport/Window.h"

#include <algorithm>
#include <cerrno>
#include <sys/epoll.h>
#include <unistd.h>
#include <unordered_map>

#include "messages/ThreadTasks.h"
#include "messages/WindowInternal.h"
#include "winport/CString.h"
#include "winport/Clock.h"
#include "winport/Trace.h"

namespace winport {
namespace detail {

namespace {

struct WindowTable {
    std::mutex mutex;
    std::unordered_map<DWORD, std::shared_ptr<WindowRecord>> windows;
    uint64_t serial = 0;
    std::unordered_map<DWORD, uint64_t> created;  // creation order, for "newest first"
};

WindowTable& table()
{
    static auto* t = new WindowTable;  // outlives every thread's loop
    return *t;
}

void forget(const std::shared_ptr<WindowRecord>& window, LoopState* loop)
{
    {
        std::lock_guard<std::mutex> lock(table().mutex);
        table().windows.erase(window->handle);
        table().created.erase(window->handle);
    }
    if (loop) {
        std::lock_guard<std::mutex> lock(loop->mutex);
        // What was posted to the window and not yet taken goes with it: a window made later
        // may get the same handle, and must not receive any of it.
        window->gone = true;
        auto& posted = loop->posted;
        posted.erase(std::remove_if(posted.begin(), posted.end(),
                                    [&](const MSG& m) { return HandleToUlong(m.hwnd) == window->handle; }),
                     posted.end());
        auto& eps = loop->endpoints;
        eps.erase(std::remove_if(eps.begin(), eps.end(), [&](const auto& e) { return e.hwnd == window->handle; }),
                  eps.end());
        auto& ws = loop->windows;
        ws.erase(std::remove(ws.begin(), ws.end(), window->handle), ws.end());
        auto& t = loop->timers;
        t.erase(std::remove_if(t.begin(), t.end(), [&](const auto& x) { return x.hwnd == window->handle; }), t.end());
        if (window->endpointFd >= 0 && loop->epollFd >= 0) {
            ::epoll_ctl(loop->epollFd, EPOLL_CTL_DEL, window->endpointFd, nullptr);
        }
    }
    if (window->endpointFd >= 0) {
        CloseEndpoint(window->endpointFd, window->endpointPath);
        window->endpointFd = -1;
    }
}

MSG makeMsg(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    MSG m{};
    m.hwnd = hwnd;
    m.message = msg;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    return m;
}

bool isRegistered(UINT msg) { return msg >= WINPORT_FIRST_REGISTERED_MESSAGE && msg <= WINPORT_LAST_REGISTERED_MESSAGE; }

/// The datagram of a message for another program; FALSE for a registered number that this
/// program never registered (it has no name to travel by).
bool makeDatagram(DWORD target, UINT msg, WPARAM wParam, LPARAM lParam, WindowDatagram* d)
{
    d->target = target;
    d->message = msg;
    d->senderPid = static_cast<DWORD>(::getpid());
    d->wParam = static_cast<uint64_t>(wParam);
    d->lParam = static_cast<int64_t>(lParam);
    if (isRegistered(msg)) {
        d->name = RegisteredMessageName(msg);
        if (d->name.empty()) return false;
    } else if (msg > 0xFFFF) {
        return false;  // no such message number exists on the sending platform either
    }
    return true;
}

BOOL postLocal(const std::shared_ptr<WindowRecord>& window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto loop = window->loop.lock();
    if (!loop) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    DWORD error = 0;
    if (!loop->Post(makeMsg(UlongToHwnd(window->handle), msg, wParam, lParam), &error, window.get())) {
        SetLastError(error == ERROR_INVALID_THREAD_ID ? ERROR_INVALID_WINDOW_HANDLE : error);
        return FALSE;
    }
    return TRUE;
}

BOOL postForeign(DWORD handle, UINT msg, WPARAM wParam, LPARAM lParam)
{
    std::string path = FindForeignEndpoint(handle);
    if (path.empty()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    WindowDatagram d;
    if (!makeDatagram(handle, msg, wParam, lParam, &d)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int err = SendToEndpoint(path, d);
    if (err == 0) return TRUE;
    SetLastError(err == EAGAIN || err == EWOULDBLOCK || err == ENOBUFS ? ERROR_NOT_ENOUGH_QUOTA
                                                                        : ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}

BOOL broadcast(UINT msg, WPARAM wParam, LPARAM lParam, bool sendToOwnThread)
{
    std::vector<std::shared_ptr<WindowRecord>> locals;
    {
        std::lock_guard<std::mutex> lock(table().mutex);
        for (auto& [handle, w] : table().windows) {
            if (w->parent == 0) locals.push_back(w);
        }
    }
    std::sort(locals.begin(), locals.end(), [](const auto& a, const auto& b) { return a->handle < b->handle; });
    for (auto& w : locals) {
        if (!FindLocalWindow(w->handle)) continue;  // destroyed by a handler meanwhile
        if (sendToOwnThread && w->owner == std::this_thread::get_id()) w->handler(UlongToHwnd(w->handle), msg, wParam, lParam);
        else postLocal(w, msg, wParam, lParam);
    }
    WindowDatagram d;
    if (!makeDatagram(0xFFFF, msg, wParam, lParam, &d)) return TRUE;
    for (const auto& ep : ListForeignEndpoints()) SendToEndpoint(ep.path, d);
    return TRUE;
}

}  // namespace

std::shared_ptr<WindowRecord> FindLocalWindow(DWORD handle)
{
    std::lock_guard<std::mutex> lock(table().mutex);
    auto it = table().windows.find(handle);
    return it == table().windows.end() ? nullptr : it->second;
}

void ForgetWindowsOfLoop(LoopState& loop)
{
    std::vector<DWORD> handles;
    {
        std::lock_guard<std::mutex> lock(loop.mutex);
        handles = loop.windows;
    }
    for (DWORD h : handles) {
        if (auto w = FindLocalWindow(h)) forget(w, &loop);
    }
}

bool DatagramToMessage(const uint8_t* data, size_t size, DWORD receiver, MSG* msg)
{
    WindowDatagram d;
    if (!DecodeWindowDatagram(data, size, &d)) return false;
    if (d.target != receiver && d.target != 0xFFFF) return false;
    UINT number = d.message;
    if (!d.name.empty()) {
        number = RegisterWindowMessageA(d.name.c_str());
        if (number == 0) return false;
    }
    *msg = makeMsg(UlongToHwnd(receiver), number, static_cast<WPARAM>(d.wParam), static_cast<LPARAM>(d.lParam));
    return true;
}

}  // namespace detail

HWND CreateMessageWindow(const char* className, WindowHandler handler, const WindowOptions& options)
{
    if (!className || !*className) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return nullptr;
    }
    MessageLoop& loop = MessageLoop::Current();
    auto state = loop.State();
    auto w = std::make_shared<detail::WindowRecord>();
    w->handle = detail::AllocateWindowHandle();
    w->className = className;
    w->handler = handler ? std::move(handler) : WindowHandler(DefWindowProcA);
    w->loop = state;
    w->owner = std::this_thread::get_id();
    w->parent = HandleToUlong(options.parent);
    if (w->parent == 0 && options.reachable) {
        w->endpointFd = detail::OpenEndpoint(w->className, w->handle, &w->endpointPath);
        if (w->endpointFd < 0) {
            WinportTrace("winport: window %08X of class \"%s\" cannot be reached by other programs\n", w->handle,
                         className);
        }
    }
    {
        std::lock_guard<std::mutex> lock(detail::table().mutex);
        detail::table().windows[w->handle] = w;
        detail::table().created[w->handle] = ++detail::table().serial;
    }
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->windows.push_back(w->handle);
        if (w->endpointFd >= 0) {
            state->endpoints.push_back({w->endpointFd, w->handle});
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.fd = w->endpointFd;
            ::epoll_ctl(state->epollFd, EPOLL_CTL_ADD, w->endpointFd, &ev);
        }
    }
    HWND hwnd = UlongToHwnd(w->handle);
    if (w->handler(hwnd, WM_CREATE, 0, 0) == -1) {
        detail::forget(w, state.get());
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return hwnd;
}

const char* WindowClassName(HWND hwnd)
{
    auto w = detail::FindLocalWindow(HandleToUlong(hwnd));
    return w ? w->className.c_str() : "";
}

}  // namespace winport

using winport::detail::FindLocalWindow;

BOOL DestroyWindow(HWND hwnd)
{
    auto w = FindLocalWindow(HandleToUlong(hwnd));
    if (!w || w->owner != std::this_thread::get_id() || w->destroying) {
        SetLastError(w && !w->destroying ? ERROR_ACCESS_DENIED : ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    w->destroying = true;  // a handler that destroys its window again while it goes does nothing
    w->handler(hwnd, WM_DESTROY, 0, 0);
    auto loop = w->loop.lock();
    winport::detail::forget(w, loop.get());
    return TRUE;
}

BOOL IsWindow(HWND hwnd)
{
    DWORD handle = HandleToUlong(hwnd);
    if (handle == 0 || handle == 0xFFFF) return FALSE;
    if (FindLocalWindow(handle)) return TRUE;
    return winport::detail::FindForeignEndpoint(handle).empty() ? FALSE : TRUE;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_CLOSE) DestroyWindow(hwnd);
    return 0;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DWORD handle = HandleToUlong(hwnd);
    if (handle == 0) {
        // A thread message to the calling thread.
        DWORD error = 0;
        if (winport::MessageLoop::Current().State()->Post(winport::detail::makeMsg(nullptr, msg, wParam, lParam), &error))
            return TRUE;
        SetLastError(error);
        return FALSE;
    }
    if (hwnd == HWND_BROADCAST) return winport::detail::broadcast(msg, wParam, lParam, false);
    if (auto w = FindLocalWindow(handle)) return winport::detail::postLocal(w, msg, wParam, lParam);
    return winport::detail::postForeign(handle, msg, wParam, lParam);
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DWORD handle = HandleToUlong(hwnd);
    if (hwnd == HWND_BROADCAST) {
        winport::detail::broadcast(msg, wParam, lParam, true);
        return 0;
    }
    if (auto w = FindLocalWindow(handle)) {
        if (w->owner != std::this_thread::get_id()) {
            WinportTrace("winport: SendMessageA(%08X, %04X) from another thread refused\n", handle, msg);
            SetLastError(ERROR_ACCESS_DENIED);
            return 0;
        }
        return w->handler(hwnd, msg, wParam, lParam);
    }
    if (handle != 0) winport::detail::postForeign(handle, msg, wParam, lParam);
    else SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
}

LRESULT DispatchMessageA(const MSG* msg)
{
    if (!msg) return 0;
    if (winport::detail::RunThreadTask(*msg)) return 0;
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd) return 0;
    auto w = FindLocalWindow(HandleToUlong(msg->hwnd));
    if (!w || w->owner != std::this_thread::get_id()) return 0;
    return w->handler(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName)
{
    if (!className || !*className || windowName) return nullptr;
    {
        std::lock_guard<std::mutex> lock(winport::detail::table().mutex);
        DWORD best = 0;
        uint64_t bestSerial = 0;
        for (auto& [handle, w] : winport::detail::table().windows) {
            if (w->parent != 0 || WinportCompareNoCase(w->className.c_str(), className) != 0) continue;
            uint64_t serial = winport::detail::table().created[handle];
            if (serial > bestSerial) {
                best = handle;
                bestSerial = serial;
            }
        }
        if (best) return UlongToHwnd(best);
    }
    DWORD best = 0;
    for (const auto& ep : winport::detail::ListForeignEndpoints()) {
        if (WinportCompareNoCase(ep.className.c_str(), className) == 0 && ep.handle > best) best = ep.handle;
    }
    return best ? UlongToHwnd(best) : nullptr;
}
