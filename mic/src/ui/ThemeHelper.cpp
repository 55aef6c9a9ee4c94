#include "ui/ThemeHelper.h"

#include "winport/Module.h"

namespace {
using IsThemeActiveProc = BOOL (*)();
using SetWindowThemeProc = long (*)(HWND, const wchar_t*, const wchar_t*);
}  // namespace

CThemeHelper::CThemeHelper()
{
    m_hThemeLib = LoadLibraryA("uxtheme.dll");
    if (!m_hThemeLib) return;
    if (auto isActive = reinterpret_cast<IsThemeActiveProc>(GetProcAddress(m_hThemeLib, "IsThemeActive")))
        m_bThemeActive = isActive() == 1 ? 1 : 0;
}

CThemeHelper::~CThemeHelper()
{
    if (m_hThemeLib) FreeLibrary(m_hThemeLib);
}

void CThemeHelper::RemoveWindowTheme(HWND hWnd)
{
    if (!IsActive() || !hWnd) return;
    if (auto setTheme = reinterpret_cast<SetWindowThemeProc>(GetProcAddress(m_hThemeLib, "SetWindowTheme")))
        setTheme(hWnd, L" ", L" ");
}
