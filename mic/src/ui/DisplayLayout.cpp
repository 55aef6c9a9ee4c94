#include "ui/DisplayLayout.h"

#include <algorithm>

#include "ui/ScreenLayout.h"
#include "winport/RegistryObject.h"
#include "winport/Screens.h"
#include "winport/Version.h"

namespace {

const char* const kDisplayKey = "Software\\Vok Dwen Cantle\\Display";
const char* const kInterfaceKey = "Software\\VOKDWEN\\Vok Dwen Cantle\\CantleInterface";
const char* const kMainKey = "Software\\Vok Dwen Cantle\\Main";

struct ButtonColourNames {
    const char* text;
    const char* back;
    COLORREF textDefault;
    COLORREF backDefault;
};

// Per button kind: OK, Cancel, Exit, Help.
const ButtonColourNames kButtonColours[4] = {
    {"ButtonFGOK", "ButtonBGOK", 0xffffff, 0x327e08},
    {"ButtonFGCancel", "ButtonBGCancel", 0xffffff, 0x0303bd},
    {"ButtonFGExit", "ButtonBGExit", 0xffffff, 0x502814},
    {"ButtonFGHelp", "ButtonBGHelp", 0xffffff, 0xff0000},
};

// The process-wide display colours; filled by the first LoadColours.
struct DisplayColours {
    bool loaded = false;
    COLORREF background = 0xc0c0c0;
    COLORREF foreground = 0x000000;
    COLORREF text[4] = {};
    COLORREF back[4] = {};
    BOOL classicStyle = TRUE;
    BOOL normalDisplay = FALSE;
};
DisplayColours g_colours;

// A COLORREF keeps red, green and blue in its low three bytes; a stored value with anything
// above them is taken for its colour alone.
COLORREF ReadColour(CGenericRegistryObject& reg, const char* key, const char* value, COLORREF def)
{
    DWORD v = def;
    reg.GetDword(key, value, v, def);
    return v & 0x00ffffff;
}

int KindIndex(int kind) { return (kind >= enButtonOK && kind <= enButtonHelp) ? kind : enButtonOK; }

}  // namespace

CDisplayLayout::CDisplayLayout(HWND hWnd)
{
    LoadColours();
    m_hWnd = hWnd;
    CRect window;
    if (!hWnd || !GetWindowRect(hWnd, window)) {
        m_bInvalid = true;
        return;
    }
    m_rcWindow = window;
    m_rcControls = GetControlsExtent(CSize(0, 0));
}

CDisplayLayout::~CDisplayLayout()
{
    if (m_bColoursChanged) SaveColours();
}

void CDisplayLayout::ForgetLoadedColours() { g_colours = DisplayColours(); }

void CDisplayLayout::LoadColours()
{
    m_bColoursChanged = false;

    CCurrentUserRegistryObject user;
    CLocalMachineRegistryObject machine;
    BOOL normal = FALSE;
    user.GetBool(kInterfaceKey, "NormalDisplay", normal, FALSE);
    BOOL plus = FALSE;
    machine.GetBool(kMainKey, "CantlePlus", plus, FALSE);
    if (!plus) normal = TRUE;
    g_colours.normalDisplay = normal;

    if (g_colours.loaded) return;
    g_colours.loaded = true;
    g_colours.background = ReadColour(machine, kDisplayKey, "BackGroundColour", 0xc0c0c0);
    g_colours.foreground = ReadColour(machine, kDisplayKey, "ForeGroundColour", 0x000000);
    for (int k = 0; k < 4; ++k) {
        g_colours.text[k] = ReadColour(user, kInterfaceKey, kButtonColours[k].text, kButtonColours[k].textDefault);
        g_colours.back[k] = ReadColour(user, kInterfaceKey, kButtonColours[k].back, kButtonColours[k].backDefault);
    }
    BOOL classic = TRUE;
    user.GetBool(kInterfaceKey, "ClassicStyleCantle", classic, TRUE);
    g_colours.classicStyle = classic;
}

void CDisplayLayout::SaveColours()
{
    CLocalMachineRegistryObject machine;
    machine.SetDword(kDisplayKey, "BackGroundColour", g_colours.background);
    machine.SetDword(kDisplayKey, "ForeGroundColour", g_colours.foreground);
    CCurrentUserRegistryObject user;
    for (int k = 0; k < 4; ++k) {
        user.SetDword(kInterfaceKey, kButtonColours[k].text, g_colours.text[k]);
        user.SetDword(kInterfaceKey, kButtonColours[k].back, g_colours.back[k]);
    }
    user.SetBool(kInterfaceKey, "ClassicStyleCantle", static_cast<BYTE>(g_colours.classicStyle ? 1 : 0));
    user.SetBool(kInterfaceKey, "NormalDisplay", static_cast<BYTE>(g_colours.normalDisplay ? 1 : 0));
}

COLORREF CDisplayLayout::GetButtonTextColour(int kind) const { return g_colours.text[KindIndex(kind)]; }

COLORREF CDisplayLayout::GetButtonBackColour(int kind) const { return g_colours.back[KindIndex(kind)]; }

BOOL CDisplayLayout::IsNormalDisplay() const { return g_colours.normalDisplay; }

BOOL CDisplayLayout::UseColourButtons() const
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version) || version.dwMajorVersion < 5) return FALSE;
    CCurrentUserRegistryObject user;
    BOOL off = FALSE;
    user.GetBool(kInterfaceKey, "ColourButtonOFF", off, FALSE);
    return !off;
}

CRect CDisplayLayout::GetControlsExtent(CSize offset)
{
    CScreenLayout layout(m_hWnd);
    CRect screen = layout.GetWindowScreenRect();
    layout.AvoidTaskbar(screen);

    CRect extent(screen.right, screen.bottom, screen.left, screen.top);
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        CRect rect;
        if (!GetWindowRect(child, rect)) continue;
        if (!screen.PtInRect(rect.CenterPoint())) continue;
        rect.OffsetRect(offset);
        extent.left = std::min(extent.left, rect.left);
        extent.top = std::min(extent.top, rect.top);
        extent.right = std::max(extent.right, rect.right);
        extent.bottom = std::max(extent.bottom, rect.bottom);
    }
    return extent;
}
