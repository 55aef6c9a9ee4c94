#include "app/ClientMonitorReceptacle.h"

#include <cstring>

#include "base/MicMessages.h"
#include "winport/Window.h"

CClientMonitorReceptacle::CClientMonitorReceptacle(HWND window) : CClientMonitorKIVObject(TRUE), m_pWndNotify(window) {}

// No reply may reach a half-destroyed receptacle.
CClientMonitorReceptacle::~CClientMonitorReceptacle() { StopAdvise(); }

int CClientMonitorReceptacle::OnLinkIn(_CommsStructure* block)
{
    if (!block || block->nSize < kReplySize) return 1;
    int32_t code;
    std::memcpy(&code, reinterpret_cast<const uint8_t*>(block) + 16, sizeof code);
    if ((code == 1 || code == 2) && m_pWndNotify) PostMessageA(m_pWndNotify, WM_CLOSE_REQUEST, 0, 0);
    return 1;
}
