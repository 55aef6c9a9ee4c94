// Monitors, the virtual screen, the taskbar and the placement of top-level windows.
//
// The Win32-named functions below answer from one process-wide screen service. The program
// installs the Qt one (winport_ui); tests install a table of monitors and windows; with none
// installed there is no screen at all (a headless start): every count and size is 0, no
// monitor is found and no window is known.
//
// Coordinates are virtual-screen pixels with the primary monitor's top-left corner at (0, 0).
// Use from the user-interface thread only.
#pragma once

#include <memory>
#include <vector>

#include "winport/WinTypes.h"

// GetSystemMetrics indices.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CYCAPTION 4
#define SM_CXFULLSCREEN 16
#define SM_CYFULLSCREEN 17
#define SM_XVIRTUALSCREEN 76
#define SM_YVIRTUALSCREEN 77
#define SM_CXVIRTUALSCREEN 78
#define SM_CYVIRTUALSCREEN 79
#define SM_CMONITORS 80

// MonitorFromPoint / MonitorFromRect fall-backs.
#define MONITOR_DEFAULTTONULL 0x0
#define MONITOR_DEFAULTTOPRIMARY 0x1
#define MONITOR_DEFAULTTONEAREST 0x2

#define MONITORINFOF_PRIMARY 0x1

struct MONITORINFO {
    DWORD cbSize;
    RECT rcMonitor;
    RECT rcWork;
    DWORD dwFlags;
};
typedef MONITORINFO* LPMONITORINFO;

// Application-bar (taskbar) queries.
#define ABM_GETSTATE 0x4
#define ABM_GETTASKBARPOS 0x5
#define ABS_AUTOHIDE 0x1
#define ABS_ALWAYSONTOP 0x2
#define ABE_LEFT 0
#define ABE_TOP 1
#define ABE_RIGHT 2
#define ABE_BOTTOM 3

struct APPBARDATA {
    DWORD cbSize;
    HWND hWnd;
    UINT uCallbackMessage;
    UINT uEdge;
    RECT rc;
    LPARAM lParam;
};
typedef APPBARDATA* PAPPBARDATA;

// SetWindowPos flags and GetWindow relations.
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define HWND_TOP (static_cast<HWND>(nullptr))
#define GW_HWNDNEXT 2
#define GW_CHILD 5

int GetSystemMetrics(int nIndex);
/// The monitor holding the point (left and top edges inside, right and bottom outside), or the
/// fall-back that dwFlags names.
HMONITOR MonitorFromPoint(POINT pt, DWORD dwFlags);
/// The monitor sharing the largest area with the rectangle; when it meets none, the nearest
/// one (MONITOR_DEFAULTTONEAREST) or the fall-back that dwFlags names.
HMONITOR MonitorFromRect(LPCRECT lprc, DWORD dwFlags);
/// FALSE for a handle that names no monitor (or a monitor that has gone).
BOOL GetMonitorInfoA(HMONITOR hMonitor, LPMONITORINFO lpmi);
/// ABM_GETSTATE: ABS_ALWAYSONTOP when the primary monitor has a strip reserved by a panel,
/// else 0. ABM_GETTASKBARPOS: fills uEdge and rc with that strip; FALSE when there is none.
UINT_PTR SHAppBarMessage(DWORD dwMessage, PAPPBARDATA pData);

/// The window's outer rectangle; FALSE for a window the screen service does not know.
BOOL GetWindowRect(HWND hWnd, LPRECT lpRect);
BOOL SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT uFlags);
/// GW_CHILD: the first child window (top of the z-order); GW_HWNDNEXT: the next sibling below.
HWND GetWindow(HWND hWnd, UINT uCmd);

namespace winport {

struct MonitorDesc {
    RECT monitor{};   // the monitor's rectangle
    RECT work{};      // the part that no panel reserves
    bool primary = false;
};

/// The seam behind the functions above.
class ScreenService {
public:
    virtual ~ScreenService() = default;
    /// Every monitor, in a stable order; exactly one carries the primary flag when any exist.
    virtual std::vector<MonitorDesc> monitors() const = 0;
    virtual bool windowRect(HWND window, RECT& out) const = 0;
    /// Moves and/or sizes the window as SetWindowPos does (SWP_NOSIZE, SWP_NOMOVE,
    /// SWP_SHOWWINDOW, SWP_HIDEWINDOW are honoured).
    virtual bool placeWindow(HWND window, int x, int y, int cx, int cy, UINT flags) = 0;
    virtual HWND firstChild(HWND window) const = 0;
    virtual HWND nextSibling(HWND window) const = 0;
};

/// Installs the process-wide service (null: no screen) and returns the previous one.
std::shared_ptr<ScreenService> SetScreenService(std::shared_ptr<ScreenService> service);
std::shared_ptr<ScreenService> GetScreenService();

/// The strip of the primary monitor that a panel reserves (monitor minus work area), if any:
/// the widest difference between an edge of the monitor and the same edge of its work area.
bool TaskbarFromMonitor(const MonitorDesc& primary, UINT& edge, RECT& strip);

}  // namespace winport
