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
        if (!(flags & SWP_NOMOVE)) { r.left = x; r.top = y; }
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

private:
    std::vector<winport::MonitorDesc> m_monitors;
    std::map<HWND, Window> m_windows;
};
