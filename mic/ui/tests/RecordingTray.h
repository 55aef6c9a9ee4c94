// A notification area for tests: it records what it is told and clicks on its icons.
#pragma once

#include <utility>
#include <vector>

#include "mic_ui/TrayIcon.h"

/// A notification area that records what it is told, and clicks on its icons.
class RecordingTray : public TrayBackend {
public:
    explicit RecordingTray(bool supported = true) : m_supported(supported) {}
    bool IsSupported() const override { return m_supported; }
    BOOL Notify(DWORD message, const NotifyIconData& data) override
    {
        calls.push_back({message, data});
        return TRUE;
    }
    void Click(UINT mouseMessage)
    {
        const NotifyIconData& added = calls.front().second;
        Activated(added.hWnd, added.uID, added.uCallbackMessage, mouseMessage);
    }
    std::vector<std::pair<DWORD, NotifyIconData>> calls;

private:
    bool m_supported;
};
