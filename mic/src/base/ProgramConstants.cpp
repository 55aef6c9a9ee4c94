#include "base/ProgramConstants.h"

#include "winport/Window.h"

constinit CRegisteredMessage g_msgTaskIconNotify{"MsgTaskIconNotify"};
constinit CRegisteredMessage g_msgHereAreTheAssx{"HereAreTheAssxMessages"};
constinit CRegisteredMessage g_msgHUIMIDIMessage{"msgHUIMIDIMessage"};

UINT CRegisteredMessage::Get() const
{
    UINT id = m_nId.load(std::memory_order_acquire);
    if (id == 0) {
        // Two threads may both register: the same name gives the same number.
        id = RegisterWindowMessageA(m_pszName);
        m_nId.store(id, std::memory_order_release);
    }
    return id;
}

void RegisterProgramMessages()
{
    g_msgTaskIconNotify.Get();
    g_msgHereAreTheAssx.Get();
    g_msgHUIMIDIMessage.Get();
}
