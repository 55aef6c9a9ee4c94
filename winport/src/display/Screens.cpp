#include "winport/Screens.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace winport {
namespace {

std::mutex g_serviceMutex;
std::shared_ptr<ScreenService> g_service;

std::vector<MonitorDesc> currentMonitors()
{
    auto service = GetScreenService();
    return service ? service->monitors() : std::vector<MonitorDesc>();
}

HMONITOR handleOf(size_t index) { return reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(index + 1)); }

int primaryIndex(const std::vector<MonitorDesc>& list)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].primary) return static_cast<int>(i);
    return list.empty() ? -1 : 0;
}

bool contains(const RECT& r, LONG x, LONG y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// Squared distance from the point to the rectangle (0 inside); 64-bit so that far-off
// coordinates cannot overflow.
int64_t distanceSquared(const RECT& r, int64_t x, int64_t y)
{
    int64_t dx = x < r.left ? r.left - x : (x >= r.right ? x - (int64_t(r.right) - 1) : 0);
    int64_t dy = y < r.top ? r.top - y : (y >= r.bottom ? y - (int64_t(r.bottom) - 1) : 0);
    return dx * dx + dy * dy;
}

// Squared distance between two rectangles (0 when they touch or overlap).
int64_t distanceSquared(const RECT& a, const RECT& b)
{
    auto gap = [](int64_t lo1, int64_t hi1, int64_t lo2, int64_t hi2) -> int64_t {
        if (hi1 <= lo2) return lo2 - hi1;
        if (hi2 <= lo1) return lo1 - hi2;
        return 0;
    };
    int64_t dx = gap(a.left, a.right, b.left, b.right);
    int64_t dy = gap(a.top, a.bottom, b.top, b.bottom);
    return dx * dx + dy * dy;
}

int64_t overlapArea(const RECT& a, const RECT& b)
{
    int64_t w = int64_t(std::min(a.right, b.right)) - std::max(a.left, b.left);
    int64_t h = int64_t(std::min(a.bottom, b.bottom)) - std::max(a.top, b.top);
    return (w > 0 && h > 0) ? w * h : 0;
}

HMONITOR fallback(const std::vector<MonitorDesc>& list, DWORD flags, int nearest)
{
    if (list.empty()) return nullptr;
    if (flags == MONITOR_DEFAULTTOPRIMARY) return handleOf(static_cast<size_t>(primaryIndex(list)));
    if (flags == MONITOR_DEFAULTTONEAREST && nearest >= 0) return handleOf(static_cast<size_t>(nearest));
    return nullptr;
}

}  // namespace

std::shared_ptr<ScreenService> SetScreenService(std::shared_ptr<ScreenService> service)
{
    std::lock_guard<std::mutex> lock(g_serviceMutex);
    std::swap(g_service, service);
    return service;
}

std::shared_ptr<ScreenService> GetScreenService()
{
    std::lock_guard<std::mutex> lock(g_serviceMutex);
    return g_service;
}

bool TaskbarFromMonitor(const MonitorDesc& m, UINT& edge, RECT& strip)
{
    const LONG strips[4] = {m.work.left - m.monitor.left, m.work.top - m.monitor.top,
                            m.monitor.right - m.work.right, m.monitor.bottom - m.work.bottom};
    int best = -1;
    for (int e = ABE_LEFT; e <= ABE_BOTTOM; ++e)
        if (strips[e] > 0 && (best < 0 || strips[e] > strips[best])) best = e;
    if (best < 0) return false;
    edge = static_cast<UINT>(best);
    strip = m.monitor;
    switch (best) {
    case ABE_LEFT: strip.right = m.work.left; break;
    case ABE_TOP: strip.bottom = m.work.top; break;
    case ABE_RIGHT: strip.left = m.work.right; break;
    default: strip.top = m.work.bottom; break;
    }
    return true;
}

}  // namespace winport

using winport::MonitorDesc;

int GetSystemMetrics(int nIndex)
{
    const std::vector<MonitorDesc> list = winport::currentMonitors();
    if (list.empty()) return 0;
    const MonitorDesc& primary = list[static_cast<size_t>(winport::primaryIndex(list))];
    RECT virt = list[0].monitor;
    for (const MonitorDesc& m : list) {
        virt.left = std::min(virt.left, m.monitor.left);
        virt.top = std::min(virt.top, m.monitor.top);
        virt.right = std::max(virt.right, m.monitor.right);
        virt.bottom = std::max(virt.bottom, m.monitor.bottom);
    }
    switch (nIndex) {
    case SM_CXSCREEN: return primary.monitor.right - primary.monitor.left;
    case SM_CYSCREEN: return primary.monitor.bottom - primary.monitor.top;
    case SM_CYCAPTION: return 19;
    case SM_CYFRAME: return 4;
    // A maximised window covers the work area exactly: windows here have no frame beyond it.
    case SM_CXMAXIMIZED: return primary.work.right - primary.work.left;
    case SM_CYMAXIMIZED: return primary.work.bottom - primary.work.top;
    case SM_CXFULLSCREEN: return primary.work.right - primary.work.left;
    case SM_CYFULLSCREEN: return std::max(0, int(primary.work.bottom - primary.work.top) - 19);
    case SM_XVIRTUALSCREEN: return virt.left;
    case SM_YVIRTUALSCREEN: return virt.top;
    case SM_CXVIRTUALSCREEN: return virt.right - virt.left;
    case SM_CYVIRTUALSCREEN: return virt.bottom - virt.top;
    case SM_CMONITORS: return static_cast<int>(list.size());
    default: return 0;
    }
}

HMONITOR MonitorFromPoint(POINT pt, DWORD dwFlags)
{
    const std::vector<MonitorDesc> list = winport::currentMonitors();
    int nearest = -1;
    int64_t best = INT64_MAX;
    for (size_t i = 0; i < list.size(); ++i) {
        if (winport::contains(list[i].monitor, pt.x, pt.y)) return winport::handleOf(i);
        int64_t d = winport::distanceSquared(list[i].monitor, pt.x, pt.y);
        if (d < best) { best = d; nearest = static_cast<int>(i); }
    }
    return winport::fallback(list, dwFlags, nearest);
}

HMONITOR MonitorFromRect(LPCRECT lprc, DWORD dwFlags)
{
    const std::vector<MonitorDesc> list = winport::currentMonitors();
    if (!lprc) return winport::fallback(list, dwFlags, -1);
    int most = -1, nearest = -1;
    int64_t mostArea = 0, best = INT64_MAX;
    for (size_t i = 0; i < list.size(); ++i) {
        int64_t area = winport::overlapArea(list[i].monitor, *lprc);
        if (area > mostArea) { mostArea = area; most = static_cast<int>(i); }
        int64_t d = winport::distanceSquared(list[i].monitor, *lprc);
        if (d < best) { best = d; nearest = static_cast<int>(i); }
    }
    if (most >= 0) return winport::handleOf(static_cast<size_t>(most));
    // A rectangle without area that lies on a monitor belongs to it.
    if (nearest >= 0 && best == 0 && (lprc->right <= lprc->left || lprc->bottom <= lprc->top))
        return winport::handleOf(static_cast<size_t>(nearest));
    return winport::fallback(list, dwFlags, nearest);
}

BOOL GetMonitorInfoA(HMONITOR hMonitor, LPMONITORINFO lpmi)
{
    if (!lpmi) return FALSE;
    const std::vector<MonitorDesc> list = winport::currentMonitors();
    uintptr_t index = reinterpret_cast<uintptr_t>(hMonitor);
    if (index == 0 || index > list.size()) return FALSE;
    const MonitorDesc& m = list[index - 1];
    lpmi->rcMonitor = m.monitor;
    lpmi->rcWork = m.work;
    lpmi->dwFlags = m.primary ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}

UINT_PTR SHAppBarMessage(DWORD dwMessage, PAPPBARDATA pData)
{
    const std::vector<MonitorDesc> list = winport::currentMonitors();
    if (list.empty()) return 0;
    UINT edge = 0;
    RECT strip{};
    bool found = winport::TaskbarFromMonitor(list[static_cast<size_t>(winport::primaryIndex(list))], edge, strip);
    switch (dwMessage) {
    case ABM_GETSTATE: return found ? ABS_ALWAYSONTOP : 0;
    case ABM_GETTASKBARPOS:
        if (!found || !pData) return FALSE;
        pData->uEdge = edge;
        pData->rc = strip;
        return TRUE;
    default: return 0;
    }
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    auto service = winport::GetScreenService();
    if (!service || !hWnd || !lpRect) return FALSE;
    return service->windowRect(hWnd, *lpRect) ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND hWnd, HWND /*hWndInsertAfter*/, int x, int y, int cx, int cy, UINT uFlags)
{
    auto service = winport::GetScreenService();
    if (!service || !hWnd) return FALSE;
    return service->placeWindow(hWnd, x, y, cx, cy, uFlags) ? TRUE : FALSE;
}

HWND GetWindow(HWND hWnd, UINT uCmd)
{
    auto service = winport::GetScreenService();
    if (!service || !hWnd) return nullptr;
    switch (uCmd) {
    case GW_CHILD: return service->firstChild(hWnd);
    case GW_HWNDNEXT: return service->nextSibling(hWnd);
    default: return nullptr;
    }
}

BOOL SystemParametersInfoA(UINT uiAction, UINT /*uiParam*/, LPVOID pvParam, UINT /*fWinIni*/)
{
    if (uiAction != SPI_GETWORKAREA || !pvParam) return FALSE;
    const std::vector<MonitorDesc> list = winport::currentMonitors();
    if (list.empty()) return FALSE;
    *static_cast<RECT*>(pvParam) = list[static_cast<size_t>(winport::primaryIndex(list))].work;
    return TRUE;
}

int GetDlgCtrlID(HWND hWnd)
{
    auto service = winport::GetScreenService();
    return (service && hWnd) ? service->controlId(hWnd) : 0;
}

LONG GetWindowLongA(HWND hWnd, int nIndex)
{
    auto service = winport::GetScreenService();
    if (!service || !hWnd || nIndex != GWL_STYLE) return 0;
    return service->isChild(hWnd) ? WS_CHILD : 0;
}

BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint)
{
    auto service = winport::GetScreenService();
    POINT origin{};
    if (!service || !hWnd || !lpPoint || !service->clientOrigin(hWnd, origin)) return FALSE;
    lpPoint->x -= origin.x;
    lpPoint->y -= origin.y;
    return TRUE;
}

BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint)
{
    auto service = winport::GetScreenService();
    POINT origin{};
    if (!service || !hWnd || !lpPoint || !service->clientOrigin(hWnd, origin)) return FALSE;
    lpPoint->x += origin.x;
    lpPoint->y += origin.y;
    return TRUE;
}

BOOL RedrawWindow(HWND hWnd, LPCRECT /*lprcUpdate*/, LPVOID /*hrgnUpdate*/, UINT flags)
{
    auto service = winport::GetScreenService();
    if (!service || !hWnd) return FALSE;
    service->redraw(hWnd, (flags & RDW_ALLCHILDREN) != 0);
    return TRUE;
}

namespace winport {

ControlKind ControlKindOf(HWND hWnd)
{
    auto service = GetScreenService();
    return (service && hWnd) ? service->controlKind(hWnd) : ControlKind::Other;
}

HWND TabControlOf(HWND hWnd)
{
    auto service = GetScreenService();
    return (service && hWnd) ? service->tabControl(hWnd) : nullptr;
}

BOOL GetTabRows(HWND hTab, int& rows, int& tabHeight)
{
    auto service = GetScreenService();
    return (service && hTab && service->tabRows(hTab, rows, tabHeight)) ? TRUE : FALSE;
}

BOOL SetItemHeight(HWND hWnd, int index, int height)
{
    auto service = GetScreenService();
    return (service && hWnd && service->setItemHeight(hWnd, index, height)) ? TRUE : FALSE;
}

int GetItemHeight(HWND hWnd, int index)
{
    auto service = GetScreenService();
    return (service && hWnd) ? service->itemHeight(hWnd, index) : -1;
}

BOOL GetWindowFont(HWND hWnd, LOGFONT& lf)
{
    auto service = GetScreenService();
    return (service && hWnd && service->font(hWnd, lf)) ? TRUE : FALSE;
}

BOOL SetWindowFont(HWND hWnd, const CFont& font, BOOL bRedraw)
{
    auto service = GetScreenService();
    LOGFONT lf{};
    if (!service || !hWnd || !font.GetLogFont(&lf) || !service->setFont(hWnd, lf)) return FALSE;
    if (bRedraw) service->redraw(hWnd, false);
    return TRUE;
}

}  // namespace winport
