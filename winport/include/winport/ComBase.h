// The base of the component object model as the system's code uses it: IUnknown, reference
// counting and the common result codes. The services built on it (structured storage, the
// automation server's data objects) have headers of their own.
#pragma once

#include <atomic>

#include "winport/WinTypes.h"

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT method
#define STDMETHOD_(type, method) virtual type method
#define STDMETHODIMP HRESULT
#define STDMETHODIMP_(type) type

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
protected:
    virtual ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

extern const IID IID_IUnknown;

/// Reference counting for the objects of this layer: starts at 1, deletes itself at 0.
template <class Interface>
class ComObject : public Interface {
public:
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        ULONG left = --m_refs;
        if (left == 0) delete this;
        return left;
    }
protected:
    ComObject() = default;
private:
    std::atomic<ULONG> m_refs{1};
};

#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154)
#define CO_E_SERVER_EXEC_FAILURE ((HRESULT)0x80080005)
#define RPC_E_DISCONNECTED ((HRESULT)0x80010108)
#define RPC_E_SERVER_DIED ((HRESULT)0x80010007)
#define HRESULT_RPC_S_SERVER_UNAVAILABLE ((HRESULT)0x800706BA)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0)
#define OLE_E_ADVISENOTSUPPORTED ((HRESULT)0x80040003)
#define DV_E_FORMATETC ((HRESULT)0x80040064)

/// The task allocator: blocks that one side allocates and the other frees (names of STATSTG).
void* CoTaskMemAlloc(size_t size);
void CoTaskMemFree(void* block);

HRESULT CoInitialize(void* reserved);
void CoUninitialize();
BOOL AfxOleInit();
