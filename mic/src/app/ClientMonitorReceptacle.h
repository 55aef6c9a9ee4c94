// The server's shutdown requests to mic: a client-monitor object that posts a close request to
// the main dialog's window.
#pragma once

#include "quenby/MicLineKIVObject.h"
#include "winport/MessageLoop.h"

/// Posted to the main window (wParam 0, lParam 0) when the server asks mic to shut down.
constexpr UINT WM_CLOSE_REQUEST = WM_APP + 1;

class CClientMonitorReceptacle : public CClientMonitorKIVObject {
public:
    /// Connects (enabled) and notifies window, if any, of shutdown requests.
    explicit CClientMonitorReceptacle(HWND window = nullptr);
    ~CClientMonitorReceptacle() override;

    /// Request codes 1 and 2 post WM_CLOSE_REQUEST to the window; other codes, and replies too
    /// short to hold a code, are ignored. Runs on whichever thread delivers the reply.
    int OnLinkIn(_CommsStructure* block) override;
    CString GetName() override { return "ClientMonitorKIV"; }

private:
    HWND m_pWndNotify;
};
