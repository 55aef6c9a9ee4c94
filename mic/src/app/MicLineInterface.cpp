#include "app/MicLineInterface.h"

#include <cstring>

#include "winport/Window.h"

constinit CRegisteredMessage g_msgButtonFromCantle{"ButtonFromCantle"};

CMicLineInterface::CMicLineInterface(HWND owner) : CMicLineKIVObject(TRUE), m_hOwner(owner) {}

// No reply may reach a half-destroyed object.
CMicLineInterface::~CMicLineInterface() { StopAdvise(); }

int CMicLineInterface::OnLinkIn(_CommsStructure* block)
{
    if (!block || block->nSize < kReplySize) return 1;
    bool announce = false;
    {
        CFastSingleLock lock(&m_lock, TRUE);
        std::memcpy(m_record.bytes, reinterpret_cast<const BYTE*>(block) + sizeof(_CommsStructure), MicLineRecord::kSize);
        m_bReceived = true;
        announce = !m_bAnnounced && m_hOwner;
        if (announce) m_bAnnounced = true;
    }
    // One message stands for every record that comes before the dialog takes it.
    if (announce && !PostMessageA(m_hOwner, g_msgButtonFromCantle, 0, 0)) {
        CFastSingleLock lock(&m_lock, TRUE);
        m_bAnnounced = false;
    }
    return 1;
}

BOOL CMicLineInterface::TakeRecord(MicLineRecord& record)
{
    CFastSingleLock lock(&m_lock, TRUE);
    m_bAnnounced = false;
    if (!m_bReceived) return FALSE;
    record = m_record;
    return TRUE;
}
