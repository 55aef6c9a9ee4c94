// Data objects of a local server: IDataObject, IAdviseSink, IClassFactory, the format and medium
// structures, CoGetClassObject and registered clipboard formats.
//
// A local server is a program that listens on a Unix stream socket (the wire format is in
// ServerFrames.h). A class is made known to CoGetClassObject with RegisterLocalServerClass,
// which names the environment variable that holds the socket path and the socket's file name
// in the runtime folder used when that variable is unset or empty. Every server object that a
// class factory creates has its own connection; each IDataObject call is a request answered
// with an HRESULT. A broken connection, or a server that has not answered a call within
// kCallTimeoutMs, makes that call and every later one return 0x800706BA.
//
// Data changes pushed by the server reach the advise sink:
//  - on the message loop of the thread that called DAdvise, when that thread has one
//    (MessageLoop.h), as a single-threaded apartment delivers them: DispatchMessageA runs
//    the delivery;
//  - otherwise on one callback thread of the process, one change at a time, in arrival order.
// No change is delivered once DUnadvise has returned or the data object has been released for
// the last time; both wait for a delivery in progress on another thread to finish. The sink
// receives the medium's global memory block and frees it.
//
// When the connection breaks under a subscription (the server closes it, exits or is killed),
// the sink's OnClose runs on the message loop of the thread that called DAdvise, when that
// thread has one, at once; a thread without one learns it from its next call.
//
// IDataObject methods may be called from any thread; one call at a time travels on a
// connection (calls from several threads are queued).
#pragma once

#include <cstdint>
#include <string>

#include "winport/ComBase.h"
#include "winport/GlobalMemory.h"

typedef WORD CLIPFORMAT;
struct DVTARGETDEVICE;

struct FORMATETC {
    CLIPFORMAT cfFormat;
    DVTARGETDEVICE* ptd;
    DWORD dwAspect;
    LONG lindex;
    DWORD tymed;
};
typedef FORMATETC* LPFORMATETC;

#define TYMED_NULL 0
#define TYMED_HGLOBAL 1
#define TYMED_FILE 2
#define TYMED_ISTREAM 4
#define TYMED_ISTORAGE 8

#define DVASPECT_CONTENT 1

struct STGMEDIUM {
    DWORD tymed;
    union {
        HGLOBAL hGlobal;
        void* pUnk;
    };
    IUnknown* pUnkForRelease;
};
typedef STGMEDIUM* LPSTGMEDIUM;

/// Frees the medium's global memory block (when it has one) and clears it.
void ReleaseStgMedium(STGMEDIUM* medium);

#define ADVF_NODATA 1
#define ADVF_PRIMEFIRST 2
#define ADVF_ONLYONCE 4

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)

#define CO_E_APPNOTFOUND ((HRESULT)0x800401F5)
#define CO_E_APPSINGLEUSE ((HRESULT)0x800401F6)
#define CO_E_ERRORINAPP ((HRESULT)0x800401F7)
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9)
#define CO_E_WRONGOSFORAPP ((HRESULT)0x800401FA)
#define CO_E_APPDIDNTREG ((HRESULT)0x800401FE)
#define REGDB_E_READREGDB ((HRESULT)0x80040150)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110)
#define OLE_E_NOCONNECTION ((HRESULT)0x80040004)
#define DV_E_TYMED ((HRESULT)0x80040069)
#define DV_E_CLIPFORMAT ((HRESULT)0x8004006A)
#define DATA_E_FORMATETC DV_E_FORMATETC

struct IAdviseSink : IUnknown {
    virtual void OnDataChange(FORMATETC* format, STGMEDIUM* medium) = 0;
    virtual void OnViewChange(DWORD aspect, LONG index) = 0;
    virtual void OnRename(void* moniker) = 0;
    virtual void OnSave() = 0;
    virtual void OnClose() = 0;
};
typedef IAdviseSink* LPADVISESINK;

struct IDataObject : IUnknown {
    /// Fetches the object's current data into medium->hGlobal (a new block the caller frees).
    virtual HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) = 0;
    virtual HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) = 0;
    virtual HRESULT QueryGetData(FORMATETC* format) = 0;
    virtual HRESULT GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) = 0;
    /// Sends the medium's block (all GlobalSize bytes, at most 1 MiB). With release TRUE the
    /// block is freed after sending, as the callee owns it then.
    virtual HRESULT SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) = 0;
    virtual HRESULT EnumFormatEtc(DWORD direction, void** enumerator) = 0;
    /// Subscribes sink to the object's data changes; the object holds a reference to the sink
    /// until DUnadvise or its own end.
    virtual HRESULT DAdvise(FORMATETC* format, DWORD advf, IAdviseSink* sink, DWORD* connection) = 0;
    virtual HRESULT DUnadvise(DWORD connection) = 0;
    virtual HRESULT EnumDAdvise(void** enumerator) = 0;
};
typedef IDataObject* LPDATAOBJECT;

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;
};

extern const IID IID_IDataObject;
extern const IID IID_IAdviseSink;
extern const IID IID_IClassFactory;

/// The class factory of a local server class. Failures: REGDB_E_CLASSNOTREG when the class is
/// not registered in this process or no server socket exists at its path;
/// CO_E_SERVER_EXEC_FAILURE when the socket exists but nobody accepts on it (a server that has
/// gone away), or the server does not know the class; E_INVALIDARG for a null result pointer;
/// E_NOINTERFACE for an interface other than IID_IClassFactory or IID_IUnknown.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID riid, void** object);

/// A format number for a name: the number RegisterWindowMessageA gives the same name (one
/// table of names for both, shared by the programs of the runtime folder).
UINT RegisterClipboardFormatA(LPCSTR name);

namespace winport {

/// How long a data-object call waits for the server's answer before the connection is taken
/// as broken.
constexpr uint32_t kCallTimeoutMs = 60000;

/// Makes a class known as a local server: its socket path is the value of the environment
/// variable socketEnv, else RuntimeDir()/defaultSocketName.
void RegisterLocalServerClass(REFCLSID clsid, const char* socketEnv, const char* defaultSocketName);
/// The socket path of a registered class ("" when not registered).
std::string LocalServerSocketPath(REFCLSID clsid);

}  // namespace winport
