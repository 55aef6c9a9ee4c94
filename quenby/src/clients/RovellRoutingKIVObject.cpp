#include "quenby/RovellRoutingKIVObject.h"

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"
#include "winport/Window.h"

namespace {
// The stream-map block: mode at 20, flag at 24, entry count at 28, entries (console stream,
// then router stream, 16 bits each) from 32.
constexpr size_t kModeOffset = 20, kFlagOffset = 24, kCountOffset = 28;
constexpr size_t kEntrySize = 4;
}  // namespace

CRovellRoutingKIVObject::CRovellRoutingKIVObject(int enabled) : CGenericKIVObject(enabled) { LinkInMessage(); }

UINT CRovellRoutingKIVObject::LinkInMessage()
{
    static const UINT message = RegisterWindowMessageA("Rovell LinkIn");
    return message;
}

void CRovellRoutingKIVObject::NRAttach(HWND wnd)
{
    m_hNotifyWindow = wnd;
    KivBlock block(AttachToRovell, kMapHeaderSize);
    block.Put32(16, static_cast<int32_t>(HandleToUlong(wnd)));
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CRovellRoutingKIVObject::ReloadNames() { SendCommandBlock(KivBlock(ReloadRovellNamesCommand, kMapHeaderSize).Take()); }

void CRovellRoutingKIVObject::SetCommMode(int mode)
{
    m_nCommMode = mode;
    SendUpdate();
}

void CRovellRoutingKIVObject::SetAllowScribbleChange(int allow)
{
    m_nAllowScribbleChange = allow;
    SendUpdate();
}

void CRovellRoutingKIVObject::MapStream(WORD router, WORD console, int bMap)
{
    if (bMap) {
        m_StreamMap[router] = console;
    } else if (router == kAnyRouterStream) {
        POSITION pos = m_StreamMap.GetStartPosition();
        while (pos) {
            WORD r = 0, c = 0;
            m_StreamMap.GetNextAssoc(pos, r, c);
            if (c == console) {
                m_StreamMap.RemoveKey(r);
                break;
            }
        }
    } else {
        m_StreamMap.RemoveKey(router);
    }
    SendUpdate();
}

BOOL CRovellRoutingKIVObject::IsRovellStreamMapped(WORD router) const
{
    WORD console = 0;
    return m_StreamMap.Lookup(router, console);
}

BOOL CRovellRoutingKIVObject::IsConsoleStreamMapped(WORD console) const
{
    POSITION pos = m_StreamMap.GetStartPosition();
    while (pos) {
        WORD r = 0, c = 0;
        m_StreamMap.GetNextAssoc(pos, r, c);
        if (c == console) return TRUE;
    }
    return FALSE;
}

void CRovellRoutingKIVObject::SendUpdate()
{
    const int64_t count = m_StreamMap.GetCount();
    KivBlock block(UpdateRovellCommand, kMapHeaderSize + static_cast<int64_t>(kEntrySize) * count);
    block.Put32(kModeOffset, m_nCommMode);
    block.Put32(kFlagOffset, m_nAllowScribbleChange);
    block.Put32(kCountOffset, static_cast<int32_t>(count));
    size_t at = kMapHeaderSize;
    POSITION pos = m_StreamMap.GetStartPosition();
    while (pos) {
        WORD router = 0, console = 0;
        m_StreamMap.GetNextAssoc(pos, router, console);
        block.Put16(at, console);
        block.Put16(at + 2, router);
        at += kEntrySize;
    }
    SendCommandBlock(block.Take());
}

int CRovellRoutingKIVObject::OnLinkIn(_CommsStructure* reply)
{
    KivReplyReader in(reply);
    const int32_t count = in.Get32(kCountOffset, -1);
    if (count < 0 || !in.Has(kMapHeaderSize, kEntrySize * static_cast<size_t>(count))) return 1;
    m_nCommMode = in.Get32(kModeOffset);
    m_nAllowScribbleChange = in.Get32(kFlagOffset);
    m_StreamMap.RemoveAll();
    for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
        const size_t at = kMapHeaderSize + kEntrySize * i;
        m_StreamMap[in.Get16(at + 2)] = in.Get16(at);
    }
    if (m_hNotifyWindow) PostMessageA(m_hNotifyWindow, LinkInMessage(), 0, 0);
    return 1;
}
