#include "base/ProgramConstants.h"

#include "winport/Window.h"

constinit CRegisteredMessage g_msgTaskIconNotify{"MsgTaskIconNotify"};
constinit CRegisteredMessage g_msgHereAreTheAssx{"HereAreTheAssxMessages"};
constinit CRegisteredMessage g_msgHUIMIDIMessage{"msgHUIMIDIMessage"};

UINT CRegisteredMessage::Get() const
{
    UINT id = m_nId.load(std::memory_order_acquire);
    return id != 0 ? id : Register();
}

UINT CRegisteredMessage::Register() const
{
    // Two threads may both register: the same name gives the same number.
    const UINT id = RegisterWindowMessageA(m_pszName);
    m_nId.store(id, std::memory_order_release);
    return id;
}

void RegisterProgramMessages()
{
    // Registered each time, not only the first: the names then stand in the table of the
    // runtime folder the program uses now, for programs started after it there.
    g_msgTaskIconNotify.Register();
    g_msgHereAreTheAssx.Register();
    g_msgHUIMIDIMessage.Register();
}
