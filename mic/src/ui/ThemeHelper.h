// CThemeHelper: switches the visual theme off for single controls so that their owner's
// colours show, through the theme library loaded by name. Where that library is missing (as on
// this platform) or lacks its entry points, it is inactive and the controls keep their look.
#pragma once

#include "winport/WinTypes.h"

class CThemeHelper {
public:
    CThemeHelper();
    ~CThemeHelper();
    CThemeHelper(const CThemeHelper&) = delete;
    CThemeHelper& operator=(const CThemeHelper&) = delete;

    /// The library is loaded and a theme is active.
    bool IsActive() const { return m_bThemeActive != 0; }
    void RemoveWindowTheme(HWND hWnd);

private:
    HMODULE m_hThemeLib = nullptr;
    BYTE m_bThemeActive = 0;
};
