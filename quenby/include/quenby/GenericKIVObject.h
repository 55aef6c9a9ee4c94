// The base of every client object of the automation server: the advise sink that receives the
// server's replies, and the connection to one server object with its retries, its time-out
// and the loss of the server.
#pragma once

#include <atomic>

#include "quenby/CommsStructure.h"
#include "quenby/KivServerClass.h"
#include "winport/CString.h"
#include "winport/Collections.h"
#include "winport/DataObject.h"

/// The sink a client object hands to the server. Release never deletes: the object's owner
/// decides its lifetime.
class CKivObjectAdviseSink : public IAdviseSink {
public:
    CKivObjectAdviseSink() = default;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    void OnDataChange(FORMATETC* format, STGMEDIUM* medium) override;
    void OnViewChange(DWORD aspect, LONG index) override {}
    void OnRename(void* moniker) override {}
    void OnSave() override {}
    void OnClose() override {}
    /// Called with each reply block, valid only during the call. The default keeps nothing.
    virtual int OnLinkIn(_CommsStructure* block) { return 1; }

protected:
    std::atomic<LONG> m_lRefCount{0};
};

/// One client object: connected to its own server object from construction on.
///
/// Objects are created, attached and destroyed on one thread. Replies reach OnLinkIn on that
/// thread when it runs a message loop, else on the process's callback thread; a derived class
/// whose OnLinkIn shares data with other threads locks it itself, and one that runs without a
/// message loop calls StopAdvise in its own destructor so that no reply reaches a half-destroyed
/// object.
class CGenericKIVObject : public CKivObjectAdviseSink {
public:
    /// Connects to the server (the first object, or the first after a failed acquisition,
    /// obtains the server's class factory with up to 20 tries). Throws int -1 when no class
    /// factory could be obtained. enabled 0: the object can send, but StartAdvise does nothing.
    explicit CGenericKIVObject(int enabled);
    ~CGenericKIVObject() override;
    CGenericKIVObject(const CGenericKIVObject&) = delete;
    CGenericKIVObject& operator=(const CGenericKIVObject&) = delete;

    /// Hands a command block (global memory) to the server object; the caller keeps and frees
    /// it. The result of SetData, or CO_E_APPNOTFOUND when there is no server object.
    long SendData(void* block);
    /// Subscribes to the object's replies; readNow nonzero also reads the current data once
    /// and passes it to OnLinkIn.
    void StartAdvise(int readNow);
    /// Ends the subscription; the object is suspended.
    void StopAdvise();
    /// The object's current data as a global memory block the caller frees, or NULL.
    void* ReadData(long index);

    void OnDataChange(FORMATETC* format, STGMEDIUM* medium) override;
    /// The connection of a subscribed object broke: the server has gone, with the same
    /// reaction as a call that finds it gone (box, event-log error, exit -1).
    void OnClose() override;
    /// Sends CancelCommand, a bare block.
    virtual void CancelKIVCommand();
    /// A short tag of the class for the event log.
    virtual CString GetName() = 0;

    void Suspend();
    void ReActivate();
    static void SuspendAll();
    static void ReActivateAll();
    int IsReady() { return m_nDataReceived.load(); }

    /// The registered message "ConsoleGoneTitsUp", broadcast when the server stops answering.
    static UINT ConsoleGoneTitsUp();
    /// The retry limit in effect (read once per process).
    static int MaxRetries() { return s_nMaxRetries; }

protected:
    /// Sends an attach block between StopAdvise and StartAdvise(readNow), then frees it.
    void SendAttachBlock(HGLOBAL block, int readNow);
    /// Sends a command block and frees it; the result is not examined.
    void SendCommandBlock(HGLOBAL block);

    std::atomic<int> m_nDataReceived{0};
    std::atomic<int> m_nSuspended{0};
    int m_nEnabled;
    IDataObject* m_pDataObject = nullptr;
    IUnknown* m_pUnknown = nullptr;
    DWORD m_dwConnection = 0;

private:
    static void ReadClientMaxRetries();
    /// The server has gone: box, event-log error naming what was being done, exit -1.
    [[noreturn]] void ServerGone(const char* during);
    /// Passes a locked reply to OnLinkIn when its size field fits the bytes received.
    void PassReply(HGLOBAL block);
    void UnadviseWhileBusy();

    static int s_nObjectCount;
    static IClassFactory* s_pClassFactory;
    static UINT s_cfFormat;
    static CMap<void*, void*, void*, void*> s_mapLiveObjects;
    static int s_nMaxRetries;
};
