// CTrayIcon: icons of a window in the desktop's notification area, with their tooltip, and an
// animation from a strip of 16 x 16 images. Clicks on an icon reach the window as its
// callback message ("MsgTaskIconNotify" in the program) with the icon's id in wParam and the
// mouse message in lParam.
//
// The notification area is reached through a backend: Qt's system tray icon in the program, a
// recorder in tests. Where there is no notification area (no tray host on the display, the
// offscreen platform) every operation does nothing and returns 0, and the program works on.
#pragma once

#include <QIcon>
#include <QImage>
#include <map>
#include <memory>
#include <vector>

#include "winport/Collections.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

// Shell notification messages and flags.
#define NIM_ADD 0x00000000
#define NIM_MODIFY 0x00000001
#define NIM_DELETE 0x00000002
#define NIF_MESSAGE 0x00000001
#define NIF_ICON 0x00000002
#define NIF_TIP 0x00000004

// Standard icons.
#define IDI_APPLICATION 32512
#define IDI_HAND 32513
#define IDI_QUESTION 32514
#define IDI_EXCLAMATION 32515
#define IDI_ASTERISK 32516
#define IDI_WINLOGO 32517

#ifndef WM_CONTEXTMENU
#define WM_CONTEXTMENU 0x007B
#endif
#ifndef WM_MBUTTONUP
#define WM_MBUTTONUP 0x0208
#endif

/// The shell's icon record.
struct NotifyIconData {
    HWND hWnd = nullptr;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[128] = {};
};

/// The desktop's notification area.
class TrayBackend {
public:
    virtual ~TrayBackend() = default;
    /// Whether there is a notification area to show icons in.
    virtual bool IsSupported() const = 0;
    /// NIM_ADD, NIM_MODIFY or NIM_DELETE for the record's window and id; non-zero on success.
    virtual BOOL Notify(DWORD message, const NotifyIconData& data) = 0;

protected:
    /// A click on an icon: posts the icon's callback message to its window.
    void Activated(HWND window, UINT id, UINT callbackMessage, UINT mouseMessage);
};

/// The notification area of the desktop through Qt. Clicks map to the mouse messages the
/// program expects: a click to WM_LBUTTONUP, a double click to WM_LBUTTONDBLCLK, the context
/// request (right button) to WM_RBUTTONUP, the middle button to WM_MBUTTONUP.
class QtTrayBackend : public TrayBackend {
public:
    QtTrayBackend();
    ~QtTrayBackend() override;
    bool IsSupported() const override;
    BOOL Notify(DWORD message, const NotifyIconData& data) override;
    /// The mouse message of a Qt activation reason (QSystemTrayIcon::ActivationReason).
    static UINT MouseMessageOf(int reason);

private:
    struct Icon;
    std::map<std::pair<HWND, UINT>, std::unique_ptr<Icon>> m_icons;
};

class CTrayIcon {
public:
    /// The backend is not owned; null uses Qt's notification area.
    explicit CTrayIcon(TrayBackend* backend = nullptr);
    ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    /// Adds the icon: the id joins the list, the tooltip is the given text or the program's
    /// name, the callback message is "MsgTaskIconNotify".
    BOOL Create(HWND wnd, const QIcon& icon, UINT id, const char* tip = nullptr);
    /// Removes every icon added (and forgets the current icon).
    BOOL RemoveIcon();
    /// Removes every entry of the id from the list, and its icon.
    BOOL RemoveIcon(UINT id);
    /// Shows another icon; the record's id changes when id >= 0.
    BOOL SetIcon(const QIcon& icon, int id);
    /// The program's icon resource (128).
    BOOL SetIcon(UINT resourceId, int id);
    BOOL SetStandardIcon(UINT standardId, int id);
    BOOL SetTooltip(const char* text);
    /// The animation strip from a bitmap resource, or from a bitmap: 16 x 16 images, mask
    /// colour red 0, green 128, blue 128. The frames are made once here.
    BOOL SetIconList(UINT bitmapResourceId);
    BOOL SetIconList(const QImage& bitmap);
    /// Shows an image of the strip; an index past the end shows the last.
    BOOL SetIconFromList(int index);
    int GetIconCount() const { return static_cast<int>(m_frames.size()); }

    const CString& GetTooltip() const { return m_strTooltip; }
    const CArray<UINT, UINT>& GetIds() const { return m_ids; }
    /// The strip image shown (-1: none of the strip).
    int GetShownFrame() const { return m_nShownFrame; }
    bool IsSupported() const { return m_bSupported; }

    /// Tooltips are cut to this many characters.
    static constexpr int kMaxTip = 127;
    static constexpr COLORREF kStripMask = 0x00808000;

private:
    BOOL notify(DWORD message);
    void copyTip();

    CArray<UINT, UINT> m_ids;
    QIcon m_icon;
    HWND m_hWnd = nullptr;
    QImage m_bitmap;
    CString m_strTooltip;
    NotifyIconData m_nid;
    bool m_bSupported = false;
    std::vector<QIcon> m_frames;
    int m_nShownFrame = -1;
    TrayBackend* m_pBackend;
};
