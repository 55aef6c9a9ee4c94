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

#include "winport/Fonts.h"
#include "winport/WinTypes.h"

// GetSystemMetrics indices.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CYCAPTION 4
#define SM_CYFRAME 33
#define SM_CXFULLSCREEN 16
#define SM_CYFULLSCREEN 17
#define SM_XVIRTUALSCREEN 76
#define SM_YVIRTUALSCREEN 77
#define SM_CXVIRTUALSCREEN 78
#define SM_CYVIRTUALSCREEN 79
#define SM_CXMAXIMIZED 61
#define SM_CYMAXIMIZED 62
#define SM_CMONITORS 80

// SystemParametersInfoA actions.
#define SPI_GETWORKAREA 0x0030

// GetWindowLongA indexes and styles.
#define GWL_STYLE (-16)
#define WS_CHILD 0x40000000L

// RedrawWindow flags.
#define RDW_INVALIDATE 0x0001
#define RDW_ERASE 0x0004
#define RDW_ALLCHILDREN 0x0080

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

/// SPI_GETWORKAREA: the primary monitor's work area into the RECT at pvParam. Other actions
/// are not known here: FALSE.
BOOL SystemParametersInfoA(UINT uiAction, UINT uiParam, LPVOID pvParam, UINT fWinIni);
/// A control's identifier; 0 for a window without one.
int GetDlgCtrlID(HWND hWnd);
/// GWL_STYLE: WS_CHILD for a control; 0 otherwise.
LONG GetWindowLongA(HWND hWnd, int nIndex);
/// Screen coordinates to the window's client coordinates, and back.
BOOL ScreenToClient(HWND hWnd, LPPOINT lpPoint);
BOOL ClientToScreen(HWND hWnd, LPPOINT lpPoint);
/// Repaints the window (with RDW_ALLCHILDREN its controls too).
BOOL RedrawWindow(HWND hWnd, LPCRECT lprcUpdate, LPVOID hrgnUpdate, UINT flags);

namespace winport {

/// The kinds of control that the layout code treats apart.
enum class ControlKind { Other, ComboBox, ListBox, TabControl };

/// What the layout code asks of a control.
ControlKind ControlKindOf(HWND hWnd);
/// The tab control of a window (a property sheet), or NULL.
HWND TabControlOf(HWND hWnd);
/// A tab control's number of rows and the height of one tab; FALSE for another window.
BOOL GetTabRows(HWND hTab, int& rows, int& tabHeight);
/// Item heights of combo and list boxes: index -1 is a combo box's selection field, 0 its
/// list (or a list box's items). FALSE for a window that has no items.
BOOL SetItemHeight(HWND hWnd, int index, int height);
int GetItemHeight(HWND hWnd, int index);
/// A window's font as a description; FALSE when it has none of its own.
BOOL GetWindowFont(HWND hWnd, LOGFONT& lf);
BOOL SetWindowFont(HWND hWnd, const CFont& font, BOOL bRedraw);

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

    // Controls. A service without controls answers as for a plain window.
    virtual int controlId(HWND) const { return 0; }
    virtual bool isChild(HWND) const { return false; }
    /// The top-left corner of the window's client area, in screen coordinates.
    virtual bool clientOrigin(HWND window, POINT& out) const
    {
        RECT r;
        if (!windowRect(window, r)) return false;
        out = POINT{r.left, r.top};
        return true;
    }
    virtual ControlKind controlKind(HWND) const { return ControlKind::Other; }
    virtual HWND tabControl(HWND) const { return nullptr; }
    virtual bool tabRows(HWND, int& /*rows*/, int& /*tabHeight*/) const { return false; }
    virtual bool setItemHeight(HWND, int /*index*/, int /*height*/) { return false; }
    virtual int itemHeight(HWND, int /*index*/) const { return -1; }
    virtual bool font(HWND, LOGFONT&) const { return false; }
    virtual bool setFont(HWND, const LOGFONT&) { return false; }
    virtual void redraw(HWND, bool /*children*/) {}
};

/// Installs the process-wide service (null: no screen) and returns the previous one.
std::shared_ptr<ScreenService> SetScreenService(std::shared_ptr<ScreenService> service);
std::shared_ptr<ScreenService> GetScreenService();

/// The strip of the primary monitor that a panel reserves (monitor minus work area), if any:
/// the widest difference between an edge of the monitor and the same edge of its work area.
bool TaskbarFromMonitor(const MonitorDesc& primary, UINT& edge, RECT& strip);

}  // namespace winport
