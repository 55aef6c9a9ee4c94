// CScreenLayout: what screens the program runs on and where its top-level windows go.
//
// The screens are classified as one screen (mode 0), several monitors (mode 1) or one very wide
// monitor treated as two screens side by side (mode 2). The first screen is the primary
// monitor (its left half in mode 2); the second screen is another monitor (the right half in
// mode 2). The home screen is the first screen unless "Left Corner" is set, when the second
// screen is. A window's top-left corner is stored per window name in the current user's
// registry, relative to the home screen, and restored on the same screen even when the screens
// have moved or changed resolution.
//
// A plain value object, built on the stack where it is needed; user-interface thread only.
#pragma once

#include "winport/CRect.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

class CScreenLayout {
public:
    explicit CScreenLayout(HWND hWnd = nullptr);

    void SetWindow(HWND hWnd);

    /// Classifies the screens and sets the mode; 1 when two screens are in use, else 0.
    int DetectMode();
    void SetMode(int mode) { m_nMode = mode; }
    int GetMode() const { return m_nMode; }

    BOOL IsDualScreenSupported();
    /// TRUE when a single screen is detected now (and remembered as such), or was remembered.
    BOOL IsSingleScreen();
    BOOL IsLeftCorner();
    void SetLeftCorner(BOOL on);
    int GetMonitorWidth();
    int GetSecondScreenLeft();

    CRect GetMonitorRect();
    CRect GetScreenRect();
    CRect GetWindowScreenRect();
    BOOL IsOnScreen(const CRect& rect);
    /// Flags: 1 centre on the monitor (else clip onto it); 2 use its work area.
    void FitToMonitor(CRect& rect, UINT flags);
    CRect ScaleToDisplay(const CRect& rect, BOOL keep);
    CRect ScaleFromDisplay(const CRect& rect, BOOL keep);
    void AvoidTaskbar(CRect& rect);

    BOOL IsNormalDisplay();
    BOOL IsSaveScreen();

    /// Places the window at its stored position (TRUE) or at its default place (FALSE).
    BOOL Restore(const CString& name, BOOL standard);
    void SelectLocation();
    /// Stores the window's position; TRUE when stored.
    BOOL Save(const CString& name, CRect rect, BOOL standard);

private:
    CString PositionKey(const CString& name, BOOL standard);
    void CentreOnMonitorOf(const CRect& screen);
    void CentreClamped(CRect half);

    int m_nMode = 0;
    HWND m_hWnd = nullptr;
};
