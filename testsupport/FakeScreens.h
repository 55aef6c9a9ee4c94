// A screen service from a table: monitors (rectangle, work area, primary flag) and windows
// (rectangle, children in z-order). Installed for the life of the object.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "winport/Screens.h"

class FakeScreens : public winport::ScreenService {
public:
    struct Window {
        RECT rect{};
        HWND parent = nullptr;
        std::vector<HWND> children;  // top of the z-order first
        UINT lastFlags = 0;
        int moves = 0;
        // As a control:
        int id = 0;
        winport::ControlKind kind = winport::ControlKind::Other;
        POINT clientOffset{0, 0};  // client area's corner inside the outer rectangle
        int tabRows = 0, tabHeight = 0;
        std::map<int, int> itemHeights;  // by index: -1 selection field, 0 items
        bool hasFont = false;
        LOGFONT font{};
        int redraws = 0;
    };

    /// Creates the service and installs it; the destructor of the guard uninstalls it.
    static std::shared_ptr<FakeScreens> Install()
    {
        auto s = std::make_shared<FakeScreens>();
        winport::SetScreenService(s);
        return s;
    }
    struct Guard {
        ~Guard() { winport::SetScreenService(nullptr); }
    };

    /// A monitor with its work area equal to its rectangle unless given.
    void AddMonitor(RECT monitor, bool primary = false, RECT work = RECT{0, 0, 0, 0})
    {
        winport::MonitorDesc m;
        m.monitor = monitor;
        m.work = (work.right > work.left) ? work : monitor;
        m.primary = primary;
        m_monitors.push_back(m);
    }
    void ClearMonitors() { m_monitors.clear(); }
    std::vector<winport::MonitorDesc>& Monitors() { return m_monitors; }

    HWND AddWindow(RECT rect, HWND parent = nullptr)
    {
        HWND h = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000 + m_windows.size() + 1));
        m_windows[h].rect = rect;
        m_windows[h].parent = parent;
        if (parent) m_windows[parent].children.push_back(h);
        return h;
    }
    Window& WindowOf(HWND h) { return m_windows.at(h); }

    std::vector<winport::MonitorDesc> monitors() const override { return m_monitors; }
    bool windowRect(HWND w, RECT& out) const override
    {
        auto it = m_windows.find(w);
        if (it == m_windows.end()) return false;
        out = it->second.rect;
        return true;
    }
    bool placeWindow(HWND w, int x, int y, int cx, int cy, UINT flags) override
    {
        auto it = m_windows.find(w);
        if (it == m_windows.end()) return false;
        RECT& r = it->second.rect;
        int width = r.right - r.left, height = r.bottom - r.top;
        if (!(flags & SWP_NOSIZE)) { width = cx; height = cy; }
        if (!(flags & SWP_NOMOVE)) {
            // A control is placed in its parent's client coordinates.
            POINT origin{0, 0};
            if (it->second.parent) clientOrigin(it->second.parent, origin);
            // Its controls move with it.
            MoveChildren(it->second, x + origin.x - r.left, y + origin.y - r.top);
            r.left = x + origin.x;
            r.top = y + origin.y;
        }
        r.right = r.left + width;
        r.bottom = r.top + height;
        it->second.lastFlags = flags;
        ++it->second.moves;
        return true;
    }
    HWND firstChild(HWND w) const override
    {
        auto it = m_windows.find(w);
        return (it == m_windows.end() || it->second.children.empty()) ? nullptr : it->second.children.front();
    }
    HWND nextSibling(HWND w) const override
    {
        auto it = m_windows.find(w);
        if (it == m_windows.end() || !it->second.parent) return nullptr;
        const auto& sib = m_windows.at(it->second.parent).children;
        for (size_t i = 0; i + 1 < sib.size(); ++i)
            if (sib[i] == w) return sib[i + 1];
        return nullptr;
    }

    int controlId(HWND w) const override { return Find(w) ? Find(w)->id : 0; }
    bool isChild(HWND w) const override { return Find(w) && Find(w)->parent; }
    bool clientOrigin(HWND w, POINT& out) const override
    {
        const Window* win = Find(w);
        if (!win) return false;
        out = POINT{win->rect.left + win->clientOffset.x, win->rect.top + win->clientOffset.y};
        return true;
    }
    winport::ControlKind controlKind(HWND w) const override
    {
        return Find(w) ? Find(w)->kind : winport::ControlKind::Other;
    }
    HWND tabControl(HWND w) const override
    {
        const Window* win = Find(w);
        if (!win) return nullptr;
        for (HWND c : win->children)
            if (m_windows.at(c).kind == winport::ControlKind::TabControl) return c;
        return nullptr;
    }
    bool tabRows(HWND w, int& rows, int& height) const override
    {
        const Window* win = Find(w);
        if (!win || win->kind != winport::ControlKind::TabControl) return false;
        rows = win->tabRows;
        height = win->tabHeight;
        return true;
    }
    bool setItemHeight(HWND w, int index, int height) override
    {
        auto it = m_windows.find(w);
        if (it == m_windows.end()) return false;
        const winport::ControlKind k = it->second.kind;
        if (k != winport::ControlKind::ComboBox && k != winport::ControlKind::ListBox) return false;
        it->second.itemHeights[index] = height;
        return true;
    }
    int itemHeight(HWND w, int index) const override
    {
        const Window* win = Find(w);
        if (!win) return -1;
        auto it = win->itemHeights.find(index);
        return it == win->itemHeights.end() ? -1 : it->second;
    }
    bool font(HWND w, LOGFONT& out) const override
    {
        const Window* win = Find(w);
        if (!win || !win->hasFont) return false;
        out = win->font;
        return true;
    }
    bool setFont(HWND w, const LOGFONT& lf) override
    {
        auto it = m_windows.find(w);
        if (it == m_windows.end()) return false;
        it->second.font = lf;
        it->second.hasFont = true;
        return true;
    }
    void redraw(HWND w, bool) override
    {
        auto it = m_windows.find(w);
        if (it != m_windows.end()) ++it->second.redraws;
    }

private:
    void MoveChildren(const Window& w, LONG dx, LONG dy)
    {
        for (HWND c : w.children) {
            Window& child = m_windows.at(c);
            child.rect.left += dx;
            child.rect.right += dx;
            child.rect.top += dy;
            child.rect.bottom += dy;
            MoveChildren(child, dx, dy);
        }
    }

    const Window* Find(HWND w) const
    {
        auto it = m_windows.find(w);
        return it == m_windows.end() ? nullptr : &it->second;
    }

    std::vector<winport::MonitorDesc> m_monitors;
    std::map<HWND, Window> m_windows;
};
