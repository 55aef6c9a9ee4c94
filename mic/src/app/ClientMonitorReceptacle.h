// The server's shutdown requests to mic: a client-monitor object that posts a close request to
// the main dialog's window.
#pragma once

#include "quenby/MicLineKIVObject.h"
#include "winport/MessageLoop.h"

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
