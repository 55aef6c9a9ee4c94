#include "mic_ui/TrayIcon.h"

#include <QApplication>
#include <QStyle>
#include <QSystemTrayIcon>
#include <cstring>

#include "base/ProgramConstants.h"
#include "mic_ui/EnBitmap.h"
#include "mic_ui/PictureStore.h"
#include "mic_ui/SmallDialogs.h"
#include "winport/Paths.h"
#include "winport/Window.h"
#include "winport_ui/Canvas.h"
#include "winport_ui/QtMessageBox.h"

namespace {

/// The running program's file name without folder and extension.
CString ProgramBaseName()
{
    char path[260] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    char name[_MAX_FNAME] = {};
    _splitpath(path, nullptr, nullptr, name, nullptr);
    return CString(name);
}


}  // namespace

// ---- backends ----

void TrayBackend::Activated(HWND window, UINT id, UINT callbackMessage, UINT mouseMessage)
{
    if (window && callbackMessage) PostMessageA(window, callbackMessage, id, mouseMessage);
}

struct QtTrayBackend::Icon {
    QSystemTrayIcon tray;
    NotifyIconData data;
};

QtTrayBackend::QtTrayBackend() = default;
QtTrayBackend::~QtTrayBackend() = default;

bool QtTrayBackend::IsSupported() const { return qApp && QSystemTrayIcon::isSystemTrayAvailable(); }

UINT QtTrayBackend::MouseMessageOf(int reason)
{
    switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
    case QSystemTrayIcon::Trigger: return WM_LBUTTONUP;
    case QSystemTrayIcon::DoubleClick: return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::Context: return WM_RBUTTONUP;
    case QSystemTrayIcon::MiddleClick: return WM_MBUTTONUP;
    default: return 0;
    }
}

BOOL QtTrayBackend::Notify(DWORD message, const NotifyIconData& data)
{
    if (!IsSupported()) return FALSE;
    const auto key = std::make_pair(data.hWnd, data.uID);
    auto it = m_icons.find(key);
    switch (message) {
    case NIM_ADD: {
        if (it != m_icons.end()) return FALSE;
        auto icon = std::make_unique<Icon>();
        Icon* raw = icon.get();
        raw->data = data;
        QObject::connect(&raw->tray, &QSystemTrayIcon::activated, &raw->tray, [this, raw](QSystemTrayIcon::ActivationReason reason) {
            if (UINT mouse = MouseMessageOf(reason))
                Activated(raw->data.hWnd, raw->data.uID, raw->data.uCallbackMessage, mouse);
        });
        if (data.uFlags & NIF_ICON) raw->tray.setIcon(data.hIcon);
        if (data.uFlags & NIF_TIP) raw->tray.setToolTip(winport::QStringFromAnsi(data.szTip));
        raw->tray.show();
        m_icons.emplace(key, std::move(icon));
        return TRUE;
    }
    case NIM_MODIFY:
        if (it == m_icons.end()) return FALSE;
        if (data.uFlags & NIF_MESSAGE) it->second->data.uCallbackMessage = data.uCallbackMessage;
        if (data.uFlags & NIF_ICON) it->second->tray.setIcon(data.hIcon);
        if (data.uFlags & NIF_TIP) it->second->tray.setToolTip(winport::QStringFromAnsi(data.szTip));
        return TRUE;
    case NIM_DELETE:
        if (it == m_icons.end()) return FALSE;
        m_icons.erase(it);
        return TRUE;
    default: return FALSE;
    }
}

// ---- CTrayIcon ----

CTrayIcon::CTrayIcon(TrayBackend* backend) : m_strTooltip(ProgramBaseName())
{
    if (!backend) {
        static QtTrayBackend qtBackend;
        backend = &qtBackend;
    }
    m_pBackend = backend;
    m_bSupported = m_pBackend->IsSupported();
}

CTrayIcon::~CTrayIcon() = default;

BOOL CTrayIcon::notify(DWORD message)
{
    if (!m_bSupported) return FALSE;
    return m_pBackend->Notify(message, m_nid);
}

void CTrayIcon::copyTip()
{
    // lstrcpyn: at most kMaxTip characters and the terminator.
    const size_t n = std::min<size_t>(m_strTooltip.GetLength(), kMaxTip);
    std::memcpy(m_nid.szTip, m_strTooltip.c_str(), n);
    m_nid.szTip[n] = '\0';
}

BOOL CTrayIcon::Create(HWND wnd, const QIcon& icon, UINT id, const char* tip)
{
    if (!m_bSupported) return FALSE;
    m_ids.Add(id);
    m_hWnd = wnd;
    m_icon = icon;
    if (tip) m_strTooltip = tip;
    m_nid = NotifyIconData{};
    m_nid.hWnd = wnd;
    m_nid.uID = id;
    m_nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_nid.uCallbackMessage = g_msgTaskIconNotify;
    m_nid.hIcon = icon;
    copyTip();
    m_nShownFrame = -1;
    return notify(NIM_ADD);
}

BOOL CTrayIcon::RemoveIcon()
{
    if (!m_bSupported) return FALSE;
    m_icon = QIcon();
    m_nShownFrame = -1;
    BOOL result = TRUE;
    for (INT_PTR i = 0; i < m_ids.GetSize(); ++i) {
        m_nid.uID = m_ids[i];
        result = notify(NIM_DELETE);
    }
    return result;
}

BOOL CTrayIcon::RemoveIcon(UINT id)
{
    if (!m_bSupported) return FALSE;
    for (INT_PTR i = m_ids.GetSize() - 1; i >= 0; --i)
        if (m_ids[i] == id) m_ids.RemoveAt(i);
    m_nid.uID = id;
    return notify(NIM_DELETE);
}

BOOL CTrayIcon::SetIcon(const QIcon& icon, int id)
{
    if (!m_bSupported) return FALSE;
    m_icon = icon;
    m_nShownFrame = -1;
    if (id >= 0) m_nid.uID = static_cast<UINT>(id);
    m_nid.uFlags = NIF_ICON;
    m_nid.hIcon = icon;
    return notify(NIM_MODIFY);
}

BOOL CTrayIcon::SetIcon(UINT resourceId, int id)
{
    if (!m_bSupported) return FALSE;
    if (resourceId != 128) return FALSE;  // the program has one icon
    return SetIcon(ProgramIcon(), id);
}

BOOL CTrayIcon::SetStandardIcon(UINT standardId, int id)
{
    if (!m_bSupported) return FALSE;
    QStyle::StandardPixmap pixmap;
    switch (standardId) {
    case IDI_APPLICATION:
    case IDI_WINLOGO: pixmap = QStyle::SP_DesktopIcon; break;
    case IDI_HAND: pixmap = QStyle::SP_MessageBoxCritical; break;
    case IDI_QUESTION: pixmap = QStyle::SP_MessageBoxQuestion; break;
    case IDI_EXCLAMATION: pixmap = QStyle::SP_MessageBoxWarning; break;
    case IDI_ASTERISK: pixmap = QStyle::SP_MessageBoxInformation; break;
    default: return FALSE;
    }
    return SetIcon(QApplication::style()->standardIcon(pixmap), id);
}

BOOL CTrayIcon::SetTooltip(const char* text)
{
    if (!m_bSupported) return FALSE;
    m_strTooltip = text ? text : "";
    copyTip();
    m_nid.uFlags = NIF_TIP;
    return notify(NIM_MODIFY);
}

BOOL CTrayIcon::SetIconList(UINT bitmapResourceId)
{
    if (!m_bSupported) return FALSE;
    const auto& bytes = PictureStore::Bytes(bitmapResourceId);
    if (bytes.empty()) return FALSE;
    return SetIconList(CEnBitmap::DecodePicture(bytes.data(), bytes.size(), CLR_INVALID));
}

BOOL CTrayIcon::SetIconList(const QImage& bitmap)
{
    if (!m_bSupported) return FALSE;
    m_frames.clear();
    m_nShownFrame = -1;
    m_bitmap = bitmap.convertToFormat(QImage::Format_RGB32);
    for (int x = 0; x + 16 <= m_bitmap.width() && m_bitmap.height() >= 16; x += 16) {
        QImage frame = m_bitmap.copy(x, 0, 16, 16).convertToFormat(QImage::Format_ARGB32);
        const QRgb mask = ToQColor(kStripMask).rgb();
        for (int y = 0; y < 16; ++y) {
            auto* line = reinterpret_cast<QRgb*>(frame.scanLine(y));
            for (int i = 0; i < 16; ++i)
                if ((line[i] | 0xFF000000u) == mask) line[i] = 0;
        }
        m_frames.emplace_back(QPixmap::fromImage(frame));
    }
    return m_frames.empty() ? FALSE : TRUE;
}

BOOL CTrayIcon::SetIconFromList(int index)
{
    if (!m_bSupported || m_frames.empty()) return FALSE;
    if (index < 0) index = 0;
    if (index >= GetIconCount()) index = GetIconCount() - 1;
    // A flash per MIDI message must not reach the desktop when the picture stays the same.
    if (index == m_nShownFrame) return TRUE;
    BOOL result = SetIcon(m_frames[static_cast<size_t>(index)], -1);
    m_nShownFrame = index;
    return result;
}
