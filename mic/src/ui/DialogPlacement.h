// A top-level dialog's place on the screens: the stored place taken when the dialog starts and
// its place kept when it ends, under the window's name, only while "DualScreenSupport" (current
// user, on by default) asks for it.
#pragma once

#include "winport/CString.h"
#include "winport/WinTypes.h"

class DialogPlacement {
public:
    DialogPlacement(HWND window, const CString& name) : m_hWnd(window), m_strName(name) {}

    /// At start: the stored place, when "DualScreenSupport" is on; the place is then recorded.
    void Restore();
    /// At the end: the recorded place is stored (nothing when it was never recorded). The
    /// dialog's last place is its place now.
    void Save();

private:
    HWND m_hWnd;
    CString m_strName;
    bool m_bRecorded = false;
};
