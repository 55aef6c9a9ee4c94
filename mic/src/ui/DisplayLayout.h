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
#include "winport/Fonts.h"
#include "winport/PixelBuffer.h"
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

    // ---- Rescaling a dialog laid out for a 640 x 480 screen to the screen that holds it ----
    //
    // The code says where the dialog goes: below 10 the older layout rules, 10 to 19 the current
    // rules on the home screen, 20 and above the same then carried to the other screen; -1 is 10
    // where two screens are supported. `fill` makes the dialog cover the usable screen.

    /// Bold and plain fonts: controls whose font has the plain face get the plain font, the
    /// others the bold one. With the normal-display flag the dialog keeps its size and is only placed.
    void ReScaleScreen(BOOL bFill, int nCode, CFont* pBoldFont, CFont* pPlainFont, const CString& strPlainFace);
    /// One control font; `bCentre` leaves the dialog where it is; `bSkipUnnamed` leaves controls
    /// without an identifier alone; `bStandard` and `bForce` choose whether to scale under the
    /// normal-display flag. Code 50 scales without placing.
    void ReScaleScreen(BOOL bFill, int nCode, CFont* pFont, BOOL bCentre, BOOL bSkipUnnamed, BOOL bStandard,
                       BOOL bForce);
    /// The older form without `bStandard` and `bForce`; nothing under the normal-display flag.
    void ReScaleScreen(BOOL bFill, int nCode, CFont* pFont, BOOL bCentre, BOOL bSkipUnnamed);

    /// The usable screen's width over 640 (height over 480, less `nReserve` pixels), capped with
    /// `bFit` so that the scaled controls keep their margin inside the window.
    double GetHorzScale(int nReserve, BOOL bFit);
    double GetVertScale(int nReserve, BOOL bFit);
    /// GetSystemMetrics, with the full-screen and maximised widths halved on a double-wide screen.
    int GetScreenMetric(int nIndex);
    /// SystemParametersInfoA, with the work area's right edge halved on a very wide screen.
    BOOL GetWorkArea(UINT uiAction, UINT uiParam, LPVOID pvParam, UINT fWinIni);

    CSize ScaleSize(CSize size);
    CPoint ScalePoint(CPoint point);
    CRect ScaleRect(CRect rect);
    /// Remakes the font with its height times the vertical factor.
    void ScaleFont(CFont* pFont);
    /// Draws `bitmap` at `pos` onto `target`: at its designed size under the normal-display flag,
    /// else stretched (nearest neighbour) to the scaled size.
    void DrawBitmap(winport::PixelBuffer& target, CPoint pos, CSize size, const winport::PixelBuffer& bitmap);

    /// Stores the window's position under a name as CScreenLayout::Save does.
    BOOL StorePosition(const CString& strName, BOOL bStandard);
    /// Moves the window wholly onto its nearest monitor, keeping its size.
    void FitToNearestMonitor();

    /// The font height and width of a colour button (see CColourButton::SetFontSize): a height
    /// above 0 is taken as it is; otherwise, with `bScale`, both follow the screen of the button,
    /// and without it both are 0.
    static void ColourButtonFontSize(HWND hButton, int nHeight, BOOL bScale, int& nFontHeight, int& nFontWidth);

    /// The dialog font of this screen: "Arial" on a wide screen, "MS Sans Serif" otherwise.
    void MakeDialogFont(CFont* pFont);

    /// Forgets the process-wide colours so that the next LoadColours reads the registry again,
    /// as a new start of the program would.
    static void ForgetLoadedColours();

private:
    enum class FontSet { Older, OlderLegacy, Newer };
    struct Factors {
        double h = 1.0;
        double v = 1.0;
    };

    double ScaleFactor(bool vertical, int nReserve, BOOL bFit);
    double CapFactor(double factor, bool vertical, int margin, bool scaleWindow) const;
    int NormaliseCode(int nCode, bool older, BOOL& bCentre);
    bool IsWide();
    void MakeFonts(FontSet set, double v, CFont* pFont);
    static int ItemHeight(CFont* pFont);
    void ChooseFont(HWND hChild, CFont* pBoldFont);
    void ScaleFrame(BOOL bFill, BOOL bFit);
    void ScaleControls(BOOL bFill, BOOL bSkipUnnamed, int nCode, BOOL bFit, CFont* pFont, bool newer);
    void ScaleLegacy(BOOL bFill, int nCode, CFont* pFont, BOOL bCentre, BOOL bSkipUnnamed, bool newer);
    void SetItemHeights(HWND hChild, CRect& r, double v, int itemHeight, double listFactor, double listAdd);
    void MoveToOtherScreen();
    Factors SmallFactors();

    CString m_strPlacement;  // window name for a stored position; nothing sets it
    CString m_strPlainFace;
    CFont* m_pPlainFont = nullptr;
    LOGFONT m_lfPlain{};

    bool m_bColoursChanged = false;
    CRect m_rcControls;
    CRect m_rcWindow;
    HWND m_hWnd = nullptr;
    bool m_bInvalid = false;
};
