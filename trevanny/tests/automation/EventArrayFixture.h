// Event arrays in a private registry: the console type, the path mode and the server's card link
// type are set per test; events are written compactly; byte strings print as hex.
#pragma once

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "ConsoleTypeFixture.h"
#include "HexText.h"
#include "trevanny/AutomationEventArray.h"
#include "winport/MessageLoop.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

inline CAutomationEvent Ev(long time, DWORD path, BYTE process, BYTE control, short value = 0, BYTE flags = 0,
                           WORD oldValue = 0)
{
    return CAutomationEvent(time, path, process, control, value, flags, oldValue);
}

/// (time, path, process, control, value, old value as signed) of each event, in array order.
using EventRow = std::tuple<long, DWORD, int, int, short, short>;
inline std::vector<EventRow> Rows(const CAutomationEventArray& a)
{
    std::vector<EventRow> out;
    for (INT_PTR i = 0; i < a.GetSize(); ++i) {
        const CAutomationEvent& e = a[i];
        out.emplace_back(e.GetTime(), e.GetPath(), e.GetProcessNumber(), e.GetControlNumber(), e.GetValue(),
                         static_cast<short>(e.GetOldValue()));
    }
    return out;
}


class EventArrayFixture : public ConsoleTypeFixture {
protected:
    /// A console of the given type whose "Max Paths Mode" is `mode` (type 3 is always mode 2).
    static void usePathMode(int type, int mode)
    {
        useConsoleType(type);
        CLocalMachineRegistryObject registry{CString()};
        ASSERT_TRUE(registry.SetInt("SOFTWARE\\Vok Dwen Cantle\\Main", "Max Paths Mode", mode));
    }
    static void useCardLinkType(int type)
    {
        CLocalMachineRegistryObject registry{CString()};
        ASSERT_TRUE(registry.SetInt("SOFTWARE\\VOKDWEN\\KIVSERVER", "CardLinkType", type));
    }

    static void fill(CAutomationEventArray& a, const std::vector<CAutomationEvent>& events)
    {
        a.RemoveAll();
        for (const auto& e : events) a.Add(e);
    }
    static std::vector<long> times(const CAutomationEventArray& a)
    {
        std::vector<long> t;
        for (INT_PTR i = 0; i < a.GetSize(); ++i) t.push_back(a[i].GetTime());
        return t;
    }
    static std::vector<short> values(const CAutomationEventArray& a) { return field(a, &CAutomationEvent::GetValue); }
    static std::vector<WORD> oldValues(const CAutomationEventArray& a) { return field(a, &CAutomationEvent::GetOldValue); }
    static std::vector<DWORD> paths(const CAutomationEventArray& a) { return field(a, &CAutomationEvent::GetPath); }
    template <class T, class Event>
    static std::vector<T> field(const CAutomationEventArray& a, T (Event::*get)() const)
    {
        std::vector<T> v;
        for (INT_PTR i = 0; i < a.GetSize(); ++i) v.push_back((a[i].*get)());
        return v;
    }
    static void expectReservedClear(const CAutomationEventArray& a)
    {
        for (INT_PTR i = 0; i < a.GetSize(); ++i) ASSERT_EQ(a[i].GetReserved(), 0) << "event " << i;
    }
};

/// A window of the given class that records the (message, code, argument) it is posted.
class NotificationRecorder {
public:
    struct Post {
        UINT msg;
        WPARAM code;
        LPARAM arg;
        bool operator==(const Post& o) const { return msg == o.msg && code == o.code && arg == o.arg; }
    };

    explicit NotificationRecorder(const char* windowClass = "CantleStatusWindow")
    {
        m_hwnd = winport::CreateMessageWindow(windowClass, [this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg != WM_CREATE && msg != WM_DESTROY) m_posts.push_back({msg, w, l});
            return 0;
        });
    }
    ~NotificationRecorder() { DestroyWindow(m_hwnd); }
    HWND Window() const { return m_hwnd; }
    std::vector<Post> Posts()
    {
        winport::MessageLoop::Current().RunUntilIdle();
        return m_posts;
    }
    static UINT Message() { return RegisterWindowMessageA("Automation Event Notication"); }

private:
    HWND m_hwnd;
    std::vector<Post> m_posts;
};

inline void PrintTo(const NotificationRecorder::Post& p, std::ostream* os) { *os << p.msg << "/" << p.code << "/" << p.arg; }
