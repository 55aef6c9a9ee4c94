// The client object of the server's link to an external audio router: the map from router
// streams to console streams, the communication mode and whether scribble-strip names may
// change. It mirrors the server's map from replies, posts "Rovell LinkIn" to its window after
// each, and sends the whole map back after every local change.
#pragma once

#include "quenby/GenericKIVObject.h"
#include "winport/Collections.h"

class CRovellRoutingKIVObject : public CGenericKIVObject {
public:
    /// The router stream that, when unmapping, stands for "the entry of this console stream".
    static constexpr WORD kAnyRouterStream = 65535;
    /// The stream-map block before its entries; each entry takes 4 bytes.
    static constexpr int kMapHeaderSize = 32;

    explicit CRovellRoutingKIVObject(int enabled = 1);
    /// Ends the subscription first, so that no reply reaches a half-destroyed map.
    ~CRovellRoutingKIVObject() override { StopAdvise(); }
    CString GetName() override { return "Rovell Routing"; }

    /// Attaches with the window to notify (command 215, 32 bytes, the window at 16), read at once.
    void NRAttach(HWND wnd);
    /// Asks the server to reload the router's names (command 217, 32 bytes).
    void ReloadNames();

    /// Store, then send the whole map (command 216).
    void SetCommMode(int mode);
    void SetAllowScribbleChange(int allow);
    int GetCommMode() const { return m_nCommMode; }
    int IsScribbleChangeAllowed() const { return m_nAllowScribbleChange; }

    /// Maps a router stream to a console stream (bMap nonzero) or removes a mapping: the
    /// router stream's, or with router 65535 the first entry of the console stream. The whole
    /// map is sent in every case.
    void MapStream(WORD router, WORD console, int bMap);
    BOOL IsRovellStreamMapped(WORD router) const;
    BOOL IsConsoleStreamMapped(WORD console) const;
    POSITION GetRoutingStartPosition() const { return m_StreamMap.GetStartPosition(); }
    void GetRoutingNextAssoc(POSITION& pos, WORD& router, WORD& console) const { m_StreamMap.GetNextAssoc(pos, router, console); }
    int GetMappedCount() const { return static_cast<int>(m_StreamMap.GetCount()); }

    /// Takes the server's map, mode and flag from a reply and posts "Rovell LinkIn" to the
    /// window. A reply whose entry count is negative or does not fit its size is ignored whole.
    int OnLinkIn(_CommsStructure* reply) override;

    /// The number of the registered message "Rovell LinkIn".
    static UINT LinkInMessage();

private:
    void SendUpdate();

    CMap<WORD, WORD, WORD, WORD> m_StreamMap;
    int m_nCommMode = -1;
    int m_nAllowScribbleChange = 0;
    HWND m_hNotifyWindow = nullptr;
};
