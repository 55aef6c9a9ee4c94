#include "ui/ScreenLayout.h"

#include <algorithm>

#include "winport/RegistryObject.h"
#include "winport/Screens.h"

namespace {

const char* const kInterfaceKey = "Software\\VOKDWEN\\Vok Dwen Cantle\\CantleInterface";
const char* const kOrientationKey = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Screen Orientation";
const char* const kStandardDisplayKey = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Screen location\\Standard Display\\";
const char* const kLargeDisplayKey = "SOFTWARE\\VOKDWEN\\Vok Dwen Cantle\\Screen location\\Large Display\\";

// Stored corners beyond this are nonsense (a damaged or hand-edited value); they are brought
// within it before any arithmetic, and the fit onto a monitor does the rest.
const int kCoordinateLimit = 1 << 24;

CRect MonitorRectOf(HMONITOR monitor)
{
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!monitor || !GetMonitorInfoA(monitor, &info)) return CRect();
    return CRect(info.rcMonitor);
}

BOOL IsPrimary(HMONITOR monitor)
{
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    return monitor && GetMonitorInfoA(monitor, &info) && (info.dwFlags & MONITORINFOF_PRIMARY);
}

// Both corners inside, with the left and top edges inside and the right and bottom edges out.
bool LiesInside(const CRect& rect, const CRect& screen)
{
    return screen.PtInRect(rect.TopLeft()) && screen.PtInRect(rect.BottomRight());
}

}  // namespace

CScreenLayout::CScreenLayout(HWND hWnd)
{
    SetWindow(nullptr);
    if (hWnd) SetWindow(hWnd);
    DetectMode();
}

void CScreenLayout::SetWindow(HWND hWnd)
{
    m_hWnd = hWnd;
    // The stored corner follows a change of resolution.
    if (IsLeftCorner() && GetMonitorWidth() != GetSecondScreenLeft()) SetLeftCorner(TRUE);
}

int CScreenLayout::DetectMode()
{
    if (GetSystemMetrics(SM_CMONITORS) > 1) {
        m_nMode = 1;
        return 1;
    }
    const int cx = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int cy = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (cy <= 0) {
        // No screen (a headless start): one screen, nothing to divide by.
        m_nMode = 0;
        return 0;
    }
    const double r = static_cast<double>(cx) / static_cast<double>(cy);
    if ((r > 1.33 && r < 1.34) || (r > 1.77 && r < 1.78) || r == 1.6 || r == 1.25) {
        m_nMode = 0;
        return 0;
    }
    m_nMode = 2;
    return 1;
}

BOOL CScreenLayout::IsDualScreenSupported()
{
    CCurrentUserRegistryObject reg;
    BOOL on = TRUE;
    reg.GetBool(kInterfaceKey, "DualScreenSupport", on, TRUE);
    return on;
}

BOOL CScreenLayout::IsSingleScreen()
{
    CLocalMachineRegistryObject reg;
    if (DetectMode() == 0) {
        reg.SetDword(kOrientationKey, "Single Screen", 1);
        return TRUE;
    }
    BOOL single = FALSE;
    reg.GetBool(kOrientationKey, "Single Screen", single, FALSE);
    return single;
}

BOOL CScreenLayout::IsLeftCorner()
{
    if (IsSingleScreen()) return FALSE;
    CLocalMachineRegistryObject reg;
    int corner = 0;
    reg.GetInt(kOrientationKey, "Left Corner", corner, 0);
    return corner != 0;
}

void CScreenLayout::SetLeftCorner(BOOL on)
{
    const int corner = (on && DetectMode() == 1) ? GetSystemMetrics(SM_CXVIRTUALSCREEN) / 2 : 0;
    CLocalMachineRegistryObject reg;
    reg.SetInt(kOrientationKey, "Left Corner", corner);
}

int CScreenLayout::GetMonitorWidth() { return GetMonitorRect().Width(); }

int CScreenLayout::GetSecondScreenLeft()
{
    if (IsSingleScreen()) return 0;
    CLocalMachineRegistryObject reg;
    int corner = 0;
    reg.GetInt(kOrientationKey, "Left Corner", corner, 0);
    if (corner == 0) return 0;
    return GetScreenRect().left;
}

CRect CScreenLayout::GetMonitorRect()
{
    CRect rect = MonitorRectOf(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
    if (m_nMode == 2) rect.right /= 2;
    return rect;
}

CRect CScreenLayout::GetScreenRect()
{
    if (m_nMode == 2) {
        CRect rect = GetMonitorRect();
        rect.OffsetRect(rect.Width(), 0);
        return rect;
    }
    if (m_nMode != 1) return GetMonitorRect();

    // Walk the border of a grid of points around the primary monitor; the first other
    // monitor met is the second screen.
    const CRect primary = MonitorRectOf(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
    const int nx = primary.Width() / 640 + 1;
    const int ny = primary.Height() / 480 + 1;
    for (int i = 0; i <= nx; ++i) {
        for (int j = 0; j <= ny; ++j) {
            if (i != 0 && i != nx && j != 0 && j != ny) continue;
            const POINT pt{-1 + 640 * i, -1 + 480 * j};
            HMONITOR monitor = MonitorFromPoint(pt, MONITOR_DEFAULTTOPRIMARY);
            MONITORINFO info{};
            info.cbSize = sizeof(info);
            if (!monitor || !GetMonitorInfoA(monitor, &info)) continue;
            if (info.dwFlags & MONITORINFOF_PRIMARY) continue;
            return CRect(info.rcMonitor);
        }
    }
    // No other monitor touches the walked points: the first screen stands in.
    return GetMonitorRect();
}

CRect CScreenLayout::GetWindowScreenRect()
{
    CRect window;
    if (!m_hWnd || !GetWindowRect(m_hWnd, window)) return GetMonitorRect();
    if (m_nMode == 2) return IsOnScreen(window) ? GetMonitorRect() : GetScreenRect();
    CRect rect = MonitorRectOf(MonitorFromRect(window, MONITOR_DEFAULTTONEAREST));
    return rect;
}

BOOL CScreenLayout::IsOnScreen(const CRect& rect)
{
    BOOL on;
    if (m_nMode == 2) {
        on = (rect.left + rect.right) / 2 < GetSystemMetrics(SM_CXVIRTUALSCREEN) / 2;
    } else {
        on = IsPrimary(MonitorFromRect(rect, MONITOR_DEFAULTTONEAREST));
    }
    if (IsLeftCorner()) on = !on;
    return on;
}

void CScreenLayout::FitToMonitor(CRect& rect, UINT flags)
{
    HMONITOR monitor = MonitorFromRect(rect, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!monitor || !GetMonitorInfoA(monitor, &info)) return;  // no screen at all
    const CRect area((flags & 2) ? info.rcWork : info.rcMonitor);
    const int w = rect.Width(), h = rect.Height();
    int left, top;
    if (flags & 1) {
        left = area.left + (area.Width() - w) / 2;
        top = area.top + (area.Height() - h) / 2;
    } else {
        left = std::max<int>(area.left, std::min<int>(area.right - w, rect.left));
        top = std::max<int>(area.top, std::min<int>(area.bottom - h, rect.top));
    }
    rect.SetRect(left, top, left + w, top + h);
}

CRect CScreenLayout::ScaleToDisplay(const CRect& rect, BOOL keep)
{
    const BOOL leftCorner = IsLeftCorner();
    CRect home = leftCorner ? GetScreenRect() : GetMonitorRect();
    CRect other = leftCorner ? GetMonitorRect() : GetScreenRect();
    home.InflateRect(2, 2);
    other.InflateRect(2, 2);
    if (LiesInside(rect, other)) return rect;
    if (leftCorner && !keep && LiesInside(rect, home)) return rect;
    CRect moved = rect;
    moved.OffsetRect(other.left - home.left, other.top - home.top);
    return moved;
}

CRect CScreenLayout::ScaleFromDisplay(const CRect& rect, BOOL keep)
{
    const BOOL leftCorner = IsLeftCorner();
    CRect home = leftCorner ? GetScreenRect() : GetMonitorRect();
    CRect other = leftCorner ? GetMonitorRect() : GetScreenRect();
    home.InflateRect(2, 2);
    other.InflateRect(2, 2);
    if (LiesInside(rect, home)) return rect;
    if (leftCorner && !keep && LiesInside(rect, other)) return rect;
    CRect moved = rect;
    moved.OffsetRect(home.left - other.left, home.top - other.top);
    return moved;
}

void CScreenLayout::AvoidTaskbar(CRect& rect)
{
    APPBARDATA bar{};
    bar.cbSize = sizeof(bar);
    if (SHAppBarMessage(ABM_GETSTATE, &bar) != ABS_ALWAYSONTOP) return;
    if (!SHAppBarMessage(ABM_GETTASKBARPOS, &bar)) return;
    const bool topOrBottom = bar.uEdge == ABE_TOP || bar.uEdge == ABE_BOTTOM;
    if (!(m_nMode == 0 || (m_nMode == 2 && topOrBottom) || !IsOnScreen(CRect(bar.rc)))) return;
    const CRect strip(bar.rc);
    switch (bar.uEdge) {
    case ABE_LEFT: rect.left += strip.Width(); break;
    case ABE_TOP: rect.top += strip.Height(); break;
    case ABE_RIGHT: rect.right -= strip.Width(); break;
    case ABE_BOTTOM: rect.bottom -= strip.Height(); break;
    default: break;
    }
}

BOOL CScreenLayout::IsNormalDisplay()
{
    CCurrentUserRegistryObject reg;
    BOOL on = FALSE;
    reg.GetBool(kInterfaceKey, "NormalDisplay", on, FALSE);
    return on;
}

BOOL CScreenLayout::IsSaveScreen()
{
    CCurrentUserRegistryObject reg;
    BOOL on = FALSE;
    reg.GetBool(kInterfaceKey, "SaveScreen", on, FALSE);
    return on;
}

CString CScreenLayout::PositionKey(const CString& name, BOOL standard)
{
    CString key = (IsNormalDisplay() || standard) ? kStandardDisplayKey : kLargeDisplayKey;
    key += name;
    return key;
}

BOOL CScreenLayout::Restore(const CString& name, BOOL standard)
{
    CRect window;
    if (!m_hWnd || !GetWindowRect(m_hWnd, window)) return FALSE;

    const CString key = PositionKey(name, standard);
    CCurrentUserRegistryObject reg;
    int monitor = 0, top = 0, left = 0;
    reg.GetInt(key, "Monitor", monitor, 0);
    reg.GetInt(key, "Top", top, 0);
    reg.GetInt(key, "Left", left, 0);
    if (monitor == 0) {
        SelectLocation();
        return FALSE;
    }
    // Only 1 (home screen) and 2 (other screen) are ever stored; anything else is taken as
    // the home screen, and a corner far off every monitor is pulled onto the nearest one.
    if (monitor != 2) monitor = 1;
    left = std::clamp(left, -kCoordinateLimit, kCoordinateLimit);
    top = std::clamp(top, -kCoordinateLimit, kCoordinateLimit);

    CRect rect(left, top, left + window.Width(), top + window.Height());
    FitToMonitor(rect, 0);
    if (DetectMode() == 1) {
        const BOOL leftCorner = IsLeftCorner();
        if ((monitor == 2 && !leftCorner) || (monitor == 1 && leftCorner)) {
            rect = ScaleToDisplay(rect, FALSE);
            // The other screen may have shrunk since the corner was stored.
            FitToMonitor(rect, 0);
        }
    }
    SetWindowPos(m_hWnd, nullptr, rect.left, rect.top, rect.Width(), rect.Height(), 0);
    return TRUE;
}

void CScreenLayout::CentreOnMonitorOf(const CRect& screen)
{
    CRect window;
    if (!GetWindowRect(m_hWnd, window)) return;
    HMONITOR monitor = MonitorFromRect(screen, MONITOR_DEFAULTTONEAREST);
    if (!monitor) return;  // no screen: the window stays where it is
    CRect m = MonitorRectOf(monitor);
    AvoidTaskbar(m);
    SetWindowPos(m_hWnd, HWND_TOP, m.left + (m.Width() - window.Width()) / 2,
                 m.top + (m.Height() - window.Height()) / 2, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void CScreenLayout::CentreClamped(CRect half)
{
    CRect window;
    if (!GetWindowRect(m_hWnd, window) || half.IsRectEmpty()) return;
    AvoidTaskbar(half);
    const int w = window.Width() >= half.Width() ? half.Width() : window.Width();
    const int h = window.Height() >= half.Height() ? half.Height() : window.Height();
    SetWindowPos(m_hWnd, HWND_TOP, half.left + (half.Width() - w) / 2, half.top + (half.Height() - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_SHOWWINDOW);
}

void CScreenLayout::SelectLocation()
{
    if (!m_hWnd) return;
    switch (m_nMode) {
    case 2:
        CentreClamped(IsLeftCorner() ? GetScreenRect() : GetMonitorRect());
        break;
    case 1:
        CentreOnMonitorOf(IsLeftCorner() ? GetScreenRect() : GetMonitorRect());
        break;
    default:
        CentreOnMonitorOf(GetMonitorRect());
        break;
    }
}

BOOL CScreenLayout::Save(const CString& name, CRect rect, BOOL standard)
{
    if (!IsSaveScreen()) return FALSE;
    if (rect.IsRectNull() || name.IsEmpty()) return FALSE;
    FitToMonitor(rect, 0);
    int monitor = 1;
    if (DetectMode() == 1 && !IsOnScreen(rect)) {
        monitor = 2;
        rect = ScaleFromDisplay(rect, FALSE);  // the corner is kept relative to the home screen
    }
    const CString key = PositionKey(name, standard);
    CCurrentUserRegistryObject reg;
    reg.SetInt(key, "Monitor", monitor);
    reg.SetInt(key, "Top", rect.top);
    reg.SetInt(key, "Left", rect.left);
    return TRUE;
}
