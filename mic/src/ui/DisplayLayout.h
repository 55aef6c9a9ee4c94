// CDisplayLayout: the display object a dialog builds on its stack while it initialises. It
// hands out the button colours by kind and records the window's rectangle and the extent of
// its child controls.
//
// The colours are process-wide: the first CDisplayLayout of the process reads them from the
// registry and later ones reuse them; only the normal-display flag is read again by every
// construction. User-interface thread only.
#pragma once

#include "winport/CRect.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

/// Button kinds for the colour operations; any other value gives the OK colours.
enum enButtonKind {
    enButtonOK = 0,
    enButtonCancel = 1,
    enButtonExit = 2,
    enButtonHelp = 3,
};

class CDisplayLayout {
public:
    /// hWnd null or unknown: the layout is invalid and its rectangles stay empty.
    explicit CDisplayLayout(HWND hWnd);
    ~CDisplayLayout();
    CDisplayLayout(const CDisplayLayout&) = delete;
    CDisplayLayout& operator=(const CDisplayLayout&) = delete;

    void LoadColours();
    void SaveColours();
    COLORREF GetButtonTextColour(int kind) const;
    COLORREF GetButtonBackColour(int kind) const;
    BOOL UseColourButtons() const;
    BOOL IsNormalDisplay() const;

    /// Bounding rectangle (screen coordinates) of the child windows whose centre lies on the
    /// window's screen, each moved by the offset; the inverted screen rectangle when none does.
    CRect GetControlsExtent(CSize offset);

    BOOL IsInvalid() const { return m_bInvalid; }
    const CRect& GetWindowRectangle() const { return m_rcWindow; }
    const CRect& GetControlExtent() const { return m_rcControls; }

    /// Forgets the process-wide colours so that the next LoadColours reads the registry again,
    /// as a new start of the program would.
    static void ForgetLoadedColours();

private:
    bool m_bColoursChanged = false;
    CRect m_rcControls;
    CRect m_rcWindow;
    HWND m_hWnd = nullptr;
    bool m_bInvalid = false;
};
