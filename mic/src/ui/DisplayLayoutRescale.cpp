// CDisplayLayout: fitting a dialog laid out for a 640 x 480 screen to the screen that holds it.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "ui/DisplayLayout.h"
#include "ui/ScreenLayout.h"
#include "winport/Screens.h"

namespace {

// Controls that always take the bold font of the newer form.
const int kBoldControlIds[] = {3261, 3333, 3372, 3398};

int Trunc(double v) { return static_cast<int>(std::trunc(v)); }

CRect WindowRectOf(HWND hWnd)
{
    CRect r;
    if (!hWnd || !GetWindowRect(hWnd, r)) return CRect();
    return r;
}

CRect ScreenToClientRect(HWND hWnd, CRect r)
{
    POINT tl{r.left, r.top}, br{r.right, r.bottom};
    ScreenToClient(hWnd, &tl);
    ScreenToClient(hWnd, &br);
    return CRect(tl.x, tl.y, br.x, br.y);
}

void MakeFont(CFont* pFont, const char* face, int weight, int height)
{
    if (!pFont) return;
    if (pFont->IsHeld()) pFont->DeleteObject();
    LOGFONT lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    SetFaceName(lf, face);
    pFont->CreateFontIndirect(&lf);
}

void Repaint(HWND hWnd) { RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE); }

}  // namespace

// ---- Metrics and factors -------------------------------------------------------------------

int CDisplayLayout::GetScreenMetric(int nIndex)
{
    const int value = GetSystemMetrics(nIndex);
    if (nIndex != SM_CXFULLSCREEN && nIndex != SM_CXMAXIMIZED) return value;
    if (GetSystemMetrics(SM_CMONITORS) > 1) return value;
    const int cy = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (cy <= 0) return value;
    const double r = static_cast<double>(GetSystemMetrics(SM_CXVIRTUALSCREEN)) / cy;
    if ((r > 1.33 && r < 1.34) || (r > 1.77 && r < 1.78) || r == 1.6 || r == 1.25) return value;
    return value / 2;  // one double-wide monitor: each half is a screen
}

BOOL CDisplayLayout::GetWorkArea(UINT uiAction, UINT uiParam, LPVOID pvParam, UINT fWinIni)
{
    if (uiAction != SPI_GETWORKAREA) return SystemParametersInfoA(uiAction, uiParam, pvParam, fWinIni);
    const BOOL result = SystemParametersInfoA(uiAction, uiParam, pvParam, fWinIni);
    const int cx = GetSystemMetrics(SM_CXMAXIMIZED), cy = GetSystemMetrics(SM_CYMAXIMIZED);
    const double r = cy > 0 ? static_cast<double>(cx) / cy : 0.0;
    if (r > 2.0) {
        if (pvParam) static_cast<RECT*>(pvParam)->right = cx / 2;
        return result;
    }
    return SystemParametersInfoA(uiAction, uiParam, pvParam, fWinIni);
}

double CDisplayLayout::GetHorzScale(int nReserve, BOOL bFit) { return ScaleFactor(false, nReserve, bFit); }

double CDisplayLayout::GetVertScale(int nReserve, BOOL bFit) { return ScaleFactor(true, nReserve, bFit); }

double CDisplayLayout::ScaleFactor(bool vertical, int nReserve, BOOL bFit)
{
    double factor = 1.0;
    if (GetScreenMetric(SM_CXFULLSCREEN) >= 640) {
        CScreenLayout layout(m_hWnd);
        CRect usable;
        if (layout.IsDualScreenSupported()) {
            usable = layout.GetWindowScreenRect();
            layout.AvoidTaskbar(usable);
        } else {
            GetWorkArea(SPI_GETWORKAREA, 0, &usable, 0);
        }
        if (vertical) {
            usable.bottom -= nReserve;
            factor = usable.Height() / 480.0;
        } else {
            factor = usable.Width() / 640.0;
        }
    }
    if (bFit && m_hWnd && !m_bInvalid) {
        const int recorded = vertical ? m_rcWindow.Height() - m_rcControls.Height()
                                      : m_rcWindow.Width() - m_rcControls.Width();
        factor = CapFactor(factor, vertical, recorded > 14 ? recorded : 14, true);
    }
    return factor;
}

// The factor that keeps the scaled controls `margin` pixels inside the window (the window
// scaled by the same factor when `scaleWindow` is set). An extent without width or height (no controls on the screen) caps nothing.
double CDisplayLayout::CapFactor(double factor, bool vertical, int margin, bool scaleWindow) const
{
    const CRect window = WindowRectOf(m_hWnd);
    const CRect extent = const_cast<CDisplayLayout*>(this)->GetControlsExtent(CSize(0, 0));
    const int windowSize = vertical ? window.Height() : window.Width();
    const int extentSize = vertical ? extent.Height() : extent.Width();
    if (extentSize <= 0) return factor;
    const int windowOrigin = vertical ? window.top : window.left;
    const int extentOrigin = vertical ? extent.top : extent.left;
    const int scaledWindow = scaleWindow ? Trunc(windowOrigin + windowSize * factor) - windowOrigin : windowSize;
    const int scaledExtent = Trunc(extentOrigin + extentSize * factor) - extentOrigin;
    if (scaledExtent >= scaledWindow - margin) return static_cast<double>(scaledWindow - margin) / extentSize;
    return factor;
}

bool CDisplayLayout::IsWide() { return GetScreenMetric(SM_CXFULLSCREEN) > 800; }

CDisplayLayout::Factors CDisplayLayout::SmallFactors()
{
    CScreenLayout layout(m_hWnd);
    if (layout.IsDualScreenSupported()) return Factors{GetHorzScale(0, FALSE), GetVertScale(0, FALSE)};
    CRect work;
    GetWorkArea(SPI_GETWORKAREA, 0, &work, 0);
    return Factors{work.Width() / 640.0, work.Height() / 480.0};
}

// ---- Fonts ---------------------------------------------------------------------------------

void CDisplayLayout::MakeFonts(FontSet set, double v, CFont* pFont)
{
    const bool wide = IsWide();
    switch (set) {
    case FontSet::Older: MakeFont(pFont, "Arial", FW_MEDIUM, Trunc(8.0 * v * (wide ? 1.5 : 1.7))); break;
    case FontSet::OlderLegacy: MakeFont(pFont, "Arial", FW_MEDIUM, Trunc(8.0 * v * (wide ? 1.5 : 1.6))); break;
    case FontSet::Newer:
        if (m_pPlainFont) {
            MakeFont(m_pPlainFont, "Arial", FW_NORMAL, Trunc(v * 9.0 * (wide ? 1.5 : 1.6)));
            m_pPlainFont->GetLogFont(&m_lfPlain);
        }
        MakeFont(pFont, "", FW_BOLD, Trunc(v * 12.0 * (wide ? 1.5 : 1.6)));
        break;
    }
}

int CDisplayLayout::ItemHeight(CFont* pFont)
{
    LOGFONT lf{};
    return (pFont && pFont->GetLogFont(&lf)) ? lf.lfHeight : 0;
}

void CDisplayLayout::ChooseFont(HWND hChild, CFont* pBoldFont)
{
    LOGFONT current{};
    if (winport::GetWindowFont(hChild, current)) {
        const bool plain = m_strPlainFace.CompareNoCase(current.lfFaceName) == 0;
        if (plain && m_pPlainFont)
            winport::SetWindowFont(hChild, *m_pPlainFont, TRUE);
        else if (!plain && pBoldFont)
            winport::SetWindowFont(hChild, *pBoldFont, TRUE);
    }
    const int id = GetDlgCtrlID(hChild);
    if (pBoldFont && std::find(std::begin(kBoldControlIds), std::end(kBoldControlIds), id) != std::end(kBoldControlIds))
        winport::SetWindowFont(hChild, *pBoldFont, TRUE);
}

void CDisplayLayout::MakeDialogFont(CFont* pFont)
{
    if (!pFont) return;
    const Factors f = SmallFactors();
    const bool wide = IsWide();
    if (pFont->IsHeld()) pFont->DeleteObject();
    LOGFONT lf{};
    lf.lfHeight = Trunc(8.0 * f.v * (wide ? 1.5 : 1.7));
    lf.lfWidth = Trunc(5.0 * f.h);
    lf.lfWeight = FW_NORMAL;
    SetFaceName(lf, wide ? "Arial" : "MS Sans Serif");
    pFont->CreateFontIndirect(&lf);
}

// ---- The three call forms ------------------------------------------------------------------

int CDisplayLayout::NormaliseCode(int nCode, bool older, BOOL& bCentre)
{
    CScreenLayout layout(m_hWnd);
    if (older && layout.IsSingleScreen() && nCode >= 20) nCode -= 20;
    if (!layout.IsDualScreenSupported()) {
        if (nCode >= 20)
            nCode -= 20;
        else if (nCode >= 10)
            nCode -= 10;
    } else if (nCode < 10) {
        if (nCode == -1) {
            nCode = 10;
        } else {
            if (older ? nCode != 0 : nCode == 2) bCentre = TRUE;
            nCode += 10;
        }
    }
    return nCode;
}

void CDisplayLayout::ReScaleScreen(BOOL bFill, int nCode, CFont* pBoldFont, CFont* pPlainFont,
                                  const CString& strPlainFace)
{
    BOOL bCentre = FALSE;
    nCode = NormaliseCode(nCode, false, bCentre);
    m_strPlainFace = strPlainFace;
    m_pPlainFont = pPlainFont;
    const BOOL normal = IsNormalDisplay();
    if (nCode < 10) {
        if (!normal) ScaleLegacy(bFill, nCode, pBoldFont, bCentre, FALSE, true);
        return;
    }
    if (!normal) {
        ScaleFrame(bFill, bCentre);
        ScaleControls(bFill, FALSE, nCode, bCentre, pBoldFont, true);
    }
    CScreenLayout layout(m_hWnd);
    BOOL restored = FALSE;
    if (!m_strPlacement.IsEmpty() && !bFill)
        restored = layout.Restore(m_strPlacement, FALSE);
    else if (!bCentre)
        layout.SelectLocation();
    if (nCode >= 20 && !restored) MoveToOtherScreen();
}

void CDisplayLayout::ReScaleScreen(BOOL bFill, int nCode, CFont* pFont, BOOL bCentre, BOOL bSkipUnnamed,
                                  BOOL bStandard, BOOL bForce)
{
    nCode = NormaliseCode(nCode, true, bCentre);
    const BOOL normal = IsNormalDisplay();
    const bool scale = bForce || (!normal && !bStandard) || (bFill && bStandard);
    if (nCode < 10) {
        if (scale) ScaleLegacy(bFill, nCode, pFont, bCentre, bSkipUnnamed, false);
        return;
    }
    if (scale) {
        ScaleFrame(bFill, bCentre);
        ScaleControls(bFill, bSkipUnnamed, nCode, bCentre, pFont, false);
    }
    if (nCode == 50) return;
    CScreenLayout layout(m_hWnd);
    BOOL restored = FALSE;
    const bool placeable = (nCode >= 10 && nCode <= 13) || (nCode >= 20 && nCode <= 23);
    if (!m_strPlacement.IsEmpty() && !bFill)
        restored = layout.Restore(m_strPlacement, bStandard);
    else if (!bCentre && placeable)
        layout.SelectLocation();
    if (nCode >= 20 && !restored) MoveToOtherScreen();
}

void CDisplayLayout::ReScaleScreen(BOOL bFill, int nCode, CFont* pFont, BOOL bCentre, BOOL bSkipUnnamed)
{
    if (!IsNormalDisplay()) ReScaleScreen(bFill, nCode, pFont, bCentre, bSkipUnnamed, FALSE, FALSE);
}

// ---- Frame and controls --------------------------------------------------------------------

void CDisplayLayout::ScaleFrame(BOOL bFill, BOOL bFit)
{
    if (!m_hWnd) return;
    CScreenLayout layout(m_hWnd);
    CRect screen = layout.GetWindowScreenRect();
    if (bFill) {
        layout.AvoidTaskbar(screen);
        SetWindowPos(m_hWnd, nullptr, screen.left, screen.top, screen.Width() - 1, screen.Height() - 1, SWP_NOZORDER);
        Repaint(m_hWnd);
        return;
    }
    const CRect window = WindowRectOf(m_hWnd);
    const double h = GetHorzScale(0, bFit), v = GetVertScale(0, bFit);
    const int w = Trunc(window.Width() * h), ht = Trunc(window.Height() * v);
    CRect r = bFit ? CRect(0, 0, w, ht) : CRect(screen.left, screen.top, screen.left + w, screen.top + ht);
    if (r.Width() > screen.Width()) {
        r.left = screen.left;
        r.right = screen.right;
    }
    if (r.Height() > screen.Height()) {
        r.top = screen.top;
        r.bottom = screen.bottom;
    }
    if (!m_bInvalid && (GetWindowLongA(m_hWnd, GWL_STYLE) & WS_CHILD) && !layout.IsOnScreen(r))
        r = layout.ScaleFromDisplay(r, FALSE);
    SetWindowPos(m_hWnd, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER);
    Repaint(m_hWnd);
}

void CDisplayLayout::SetItemHeights(HWND hChild, CRect& r, double v, int itemHeight, double listFactor, double listAdd)
{
    switch (winport::ControlKindOf(hChild)) {
    case winport::ControlKind::ComboBox:
        winport::SetItemHeight(hChild, -1, itemHeight);
        winport::SetItemHeight(hChild, 0, itemHeight);
        r.bottom += Trunc(r.Height() * v);
        break;
    case winport::ControlKind::ListBox:
        winport::SetItemHeight(hChild, 0, Trunc(itemHeight * listFactor + listAdd));
        break;
    default: break;
    }
}

void CDisplayLayout::ScaleControls(BOOL /*bFill*/, BOOL bSkipUnnamed, int /*nCode*/, BOOL bFit, CFont* pFont,
                                   bool newer)
{
    if (!m_hWnd) return;
    double v = GetVertScale(0, bFit), h = GetHorzScale(0, bFit);
    const CRect window = WindowRectOf(m_hWnd);

    int rows = 0, tabHeight = 0;
    if (HWND tab = winport::TabControlOf(m_hWnd); tab && winport::GetTabRows(tab, rows, tabHeight)) {
        // A property sheet: the rows of tabs come off the height first.
        v = GetVertScale(rows * tabHeight - (2 * GetScreenMetric(SM_CYFRAME) + 14), bFit);
    } else if (!m_bInvalid) {
        const int base = bFit ? 14 : 0;
        const int mx = std::max(m_rcWindow.Width() - m_rcControls.Width(), base);
        const int my = std::max(m_rcWindow.Height() - m_rcControls.Height(), base);
        h = CapFactor(h, false, mx, false);
        v = CapFactor(v, true, my, false);
    }

    CSize offset(0, 0);
    if (!bFit) {
        CRect e = ScreenToClientRect(m_hWnd, GetControlsExtent(CSize(0, 0)));
        e.SetRect(Trunc(e.left * h), Trunc(e.top * v), Trunc(e.right * h), Trunc(e.bottom * v));
        POINT tl{e.left, e.top}, br{e.right, e.bottom};
        ClientToScreen(m_hWnd, &tl);
        ClientToScreen(m_hWnd, &br);
        const CRect scaled(tl.x, tl.y, br.x, br.y);
        offset.cx = std::max(0, (window.Width() - scaled.Width()) / 2 - (scaled.left - window.left));
        offset.cy = std::max(0, (window.Height() - scaled.Height()) / 2 - (scaled.top - window.top));
    }

    MakeFonts(newer ? FontSet::Newer : FontSet::Older, v, pFont);
    const int itemHeight = ItemHeight(pFont);
    const bool large = GetScreenMetric(SM_CXFULLSCREEN) > 640;

    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(child);
        if (newer) ChooseFont(child, pFont);  // in the newer form every control has its font chosen
        else if (id == 0 && bSkipUnnamed) continue;

        CRect r = ScreenToClientRect(m_hWnd, WindowRectOf(child));
        r.SetRect(Trunc(r.left * h), Trunc(r.top * v), Trunc(r.right * h), Trunc(r.bottom * v));
        if (!bFit) r.OffsetRect(offset);
        if (large) {
            SetItemHeights(child, r, v, itemHeight, 1.0, 2.0 * v);
            if (!newer && pFont) winport::SetWindowFont(child, *pFont, TRUE);
        }
        SetWindowPos(child, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER);
        Repaint(child);
    }
}

// The older rules (codes below 10): factors from the work area alone, the dialog at the screen's
// corner, and the controls laid out afresh from their own bounding rectangle. Controls that lie
// off the usable screen are scaled like the others; a dialog without controls is only moved.
void CDisplayLayout::ScaleLegacy(BOOL bFill, int nCode, CFont* pFont, BOOL bCentre, BOOL bSkipUnnamed, bool newer)
{
    if (!m_hWnd) return;
    CRect work;
    GetWorkArea(SPI_GETWORKAREA, 0, &work, 0);
    double v = work.Height() / 480.0, h = work.Width() / 640.0;
    if (GetScreenMetric(SM_CXFULLSCREEN) == 640) v = h = 1.0;

    const CRect before = WindowRectOf(m_hWnd);
    if (bFill)
        SetWindowPos(m_hWnd, nullptr, 0, 0, work.Width(), work.Height() - 1, SWP_NOZORDER);
    else
        SetWindowPos(m_hWnd, nullptr, 0, 0, Trunc(before.Width() * h), Trunc(before.Height() * v), SWP_NOZORDER);
    const CRect after = WindowRectOf(m_hWnd);

    int rows = 0, tabHeight = 0;
    if (HWND tab = winport::TabControlOf(m_hWnd); nCode == 1 && tab && winport::GetTabRows(tab, rows, tabHeight))
        v = (work.Height() - rows) / 480.0;
    MakeFonts(newer ? FontSet::Newer : FontSet::OlderLegacy, v, pFont);
    const int itemHeight = ItemHeight(pFont);

    // The client area's corner inside the window, taken as (3, 23) for codes 1 and 2.
    POINT origin{0, 0};
    if (nCode == 1 || nCode == 2) {
        origin = POINT{3, 23};
    } else if (ClientToScreen(m_hWnd, &origin)) {
        origin.x -= after.left;
        origin.y -= after.top;
    }

    // The controls' own bounding rectangle, relative to the window as it was.
    CRect extent(GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN), 0, 0);
    bool any = false;
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        CRect r = WindowRectOf(child);
        r.OffsetRect(-after.left, -after.top);
        extent.left = std::min(extent.left, r.left);
        extent.top = std::min(extent.top, r.top);
        extent.right = std::max(extent.right, r.right);
        extent.bottom = std::max(extent.bottom, r.bottom);
        any = true;
    }
    if (!any) return;
    const int scaledWidth = Trunc(extent.Width() * h), scaledHeight = Trunc(extent.Height() * v);
    int offX = (after.Width() - scaledWidth) / 2, offY;
    if (nCode == 1 || nCode == 2) {
        offY = extent.top;
    } else if (nCode == 3) {
        offX = Trunc(extent.left * h);
        offY = Trunc(extent.top * v);
    } else {
        offY = (after.Height() - scaledHeight + origin.y) / 2;
    }

    const bool large = GetScreenMetric(SM_CXFULLSCREEN) > 640;
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (newer) ChooseFont(child, pFont);
        else if (GetDlgCtrlID(child) == 0 && bSkipUnnamed) continue;
        CRect r = WindowRectOf(child);
        r.OffsetRect(-after.left - extent.left, -after.top - extent.top);
        r.SetRect(Trunc(r.left * h), Trunc(r.top * v), Trunc(r.right * h), Trunc(r.bottom * v));
        r.OffsetRect(offX, offY);
        if (!bCentre)
            r.OffsetRect(-origin.x, -origin.y);
        else if (nCode == 2)
            r.OffsetRect(0, -origin.y);
        SetItemHeights(child, r, v, itemHeight, 1.4, 0.0);
        if (!newer && large && pFont) winport::SetWindowFont(child, *pFont, TRUE);
        SetWindowPos(child, nullptr, r.left, r.top, r.Width(), r.Height(), SWP_NOZORDER);
        Repaint(child);
    }
    if (newer) RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CDisplayLayout::MoveToOtherScreen()
{
    if (!m_hWnd) return;
    CScreenLayout layout(m_hWnd);
    if (layout.DetectMode() != 1) return;
    CRect r = WindowRectOf(m_hWnd);
    r = layout.IsOnScreen(r) ? layout.ScaleToDisplay(r, TRUE) : layout.ScaleFromDisplay(r, TRUE);
    SetWindowPos(m_hWnd, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// ---- The small operations ------------------------------------------------------------------

CSize CDisplayLayout::ScaleSize(CSize size)
{
    if (IsNormalDisplay() || GetScreenMetric(SM_CXFULLSCREEN) <= 640) return size;
    const Factors f = SmallFactors();
    return CSize(Trunc(size.cx * f.h), Trunc(size.cy * f.v));
}

CPoint CDisplayLayout::ScalePoint(CPoint point)
{
    const CSize s = ScaleSize(CSize(point.x, point.y));
    return CPoint(s.cx, s.cy);
}

CRect CDisplayLayout::ScaleRect(CRect rect)
{
    const CPoint tl = ScalePoint(rect.TopLeft()), br = ScalePoint(rect.BottomRight());
    return CRect(tl.x, tl.y, br.x, br.y);
}

void CDisplayLayout::ScaleFont(CFont* pFont)
{
    LOGFONT lf{};
    if (IsNormalDisplay() || !pFont || !pFont->GetLogFont(&lf) || GetScreenMetric(SM_CXFULLSCREEN) <= 640) return;
    lf.lfHeight = Trunc(lf.lfHeight * SmallFactors().v);
    pFont->DeleteObject();
    pFont->CreateFontIndirect(&lf);
}

void CDisplayLayout::DrawBitmap(winport::PixelBuffer& target, CPoint pos, CSize size, const winport::PixelBuffer& bitmap)
{
    if (bitmap.Empty() || target.Empty() || size.cx <= 0 || size.cy <= 0) return;
    const CSize dest = IsNormalDisplay() ? size : ScaleSize(size);
    if (dest.cx <= 0 || dest.cy <= 0) return;
    // Nearest neighbour: destination pixel d takes source pixel d * size / dest, within the
    // designed size and the bitmap; what falls outside the target is clipped.
    for (int dy = 0; dy < dest.cy; ++dy) {
        const int ty = pos.y + dy;
        const int sy = static_cast<int>(int64_t(dy) * size.cy / dest.cy);
        if (ty < 0 || ty >= target.Height() || sy >= bitmap.Height()) continue;
        for (int dx = 0; dx < dest.cx; ++dx) {
            const int tx = pos.x + dx;
            const int sx = static_cast<int>(int64_t(dx) * size.cx / dest.cx);
            if (tx < 0 || tx >= target.Width() || sx >= bitmap.Width()) continue;
            target.At(tx, ty) = bitmap.At(sx, sy);
        }
    }
}

BOOL CDisplayLayout::StorePosition(const CString& strName, BOOL bStandard)
{
    CScreenLayout layout(m_hWnd);
    return layout.Save(strName, WindowRectOf(m_hWnd), bStandard);
}

void CDisplayLayout::FitToNearestMonitor()
{
    if (!m_hWnd) return;
    CRect r = WindowRectOf(m_hWnd);
    CScreenLayout layout(m_hWnd);
    layout.FitToMonitor(r, 0);
    SetWindowPos(m_hWnd, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CDisplayLayout::ColourButtonFontSize(HWND hButton, int nHeight, BOOL bScale, int& nFontHeight, int& nFontWidth)
{
    if (nHeight > 0) {
        nFontHeight = nHeight;
        return;
    }
    if (!bScale) {
        nFontHeight = nFontWidth = 0;
        return;
    }
    CDisplayLayout layout(hButton);
    CScreenLayout screens(hButton);
    if (screens.IsDualScreenSupported()) {
        nFontHeight = Trunc(8.0 * layout.GetVertScale(0, FALSE) * 1.5);
        nFontWidth = Trunc(5.0 * layout.GetHorzScale(0, FALSE));
    } else {
        CRect work;
        layout.GetWorkArea(SPI_GETWORKAREA, 0, &work, 0);
        nFontHeight = Trunc(8.0 * (work.bottom / 480.0) * 1.7);
        nFontWidth = Trunc(5.0 * (layout.GetScreenMetric(SM_CXMAXIMIZED) / 640.0));
    }
}
