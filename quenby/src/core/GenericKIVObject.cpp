#include "quenby/GenericKIVObject.h"

#include "ardo/EventLogEntry.h"
#include "winport/Clock.h"
#include "winport/Hooks.h"
#include "winport/MessageLoop.h"
#include "winport/Paths.h"
#include "winport/Registry.h"
#include "winport/Trace.h"
#include "winport/Window.h"

namespace {

// The texts of the factory failures that the operator is told about; other codes are retried
// without a word.
struct FactoryFailure {
    HRESULT code;
    const char* text;
};
const FactoryFailure kFactoryFailures[] = {
    {REGDB_E_CLASSNOTREG, "Class Not Registered"},
    {E_NOINTERFACE, "No Interface"},
    {REGDB_E_READREGDB, "Error Reading Reg DB"},
    {CO_E_DLLNOTFOUND, "Dll Not Found"},
    {CO_E_APPNOTFOUND, "App Not Found"},
    {E_ACCESSDENIED, "Access Denied"},
    {CO_E_WRONGOSFORAPP, "Wrong OS For App"},
    {CO_E_ERRORINAPP, "Error In App"},
    {CO_E_APPSINGLEUSE, "App Single Use"},
    {CO_E_ERRORINDLL, "Error in Dll"},
    {CO_E_APPDIDNTREG, "Error: App didn't register"},
    {E_OUTOFMEMORY, "Error: Out of Memory"},
    {E_INVALIDARG, "Invalid Argument"},
    {E_UNEXPECTED, "Unexpected Error"},
};

constexpr int kFactoryTries = 20;
constexpr int kDefaultMaxRetries = 200;
constexpr int kMinMaxRetries = 600;
constexpr int kMaxMaxRetries = 100000;
constexpr DWORD kBootingWaitMs = 5000;  // the console takes seconds to boot: ask again after 5 s
constexpr DWORD kReadDataWaitMs = 50;
constexpr DWORD kUnadviseWaitMs = 1;
// A server that stays busy for a minute of 1 ms retries is not waited for any longer.
constexpr int kMaxUnadviseTries = 60000;

const char* const kServerKey = "SOFTWARE\\VOKDWEN\\KIVSERVER";
const char* const kMaxRetriesValue = "Client Max Retries";

UINT registerGoneMessage() { return RegisterWindowMessageA("ConsoleGoneTitsUp"); }
const UINT g_consoleGoneTitsUp = registerGoneMessage();
// The server-gone box is on the screen (objects live on one thread; its nested loop can
// deliver another object's broken connection meanwhile).
bool g_serverGoneBoxUp = false;

void reportError(const char* text, const CString& name)
{
    CStringArray strings;
    strings.Add(text);
    strings.Add(name);
    CEventLogEntry entry;
    entry.ReportError(strings);
}

}  // namespace

int CGenericKIVObject::s_nObjectCount = 0;
IClassFactory* CGenericKIVObject::s_pClassFactory = nullptr;
UINT CGenericKIVObject::s_cfFormat = 0;
CMap<void*, void*, void*, void*> CGenericKIVObject::s_mapLiveObjects(10);
int CGenericKIVObject::s_nMaxRetries = -1;

// ---- the sink ----

HRESULT CKivObjectAdviseSink::QueryInterface(REFIID riid, void** object)
{
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IAdviseSink) {
        *object = static_cast<IAdviseSink*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG CKivObjectAdviseSink::AddRef() { return static_cast<ULONG>(++m_lRefCount); }

ULONG CKivObjectAdviseSink::Release() { return static_cast<ULONG>(--m_lRefCount); }

void CKivObjectAdviseSink::OnDataChange(FORMATETC*, STGMEDIUM* medium)
{
    if (!medium || !medium->hGlobal) return;
    HGLOBAL h = medium->hGlobal;
    if (void* p = GlobalLock(h); p && KIVReplySize(p, GlobalSize(h))) OnLinkIn(static_cast<_CommsStructure*>(p));
    GlobalUnlock(h);
    GlobalFree(h);
}

// ---- the client object ----

CGenericKIVObject::CGenericKIVObject(int enabled) : m_nEnabled(enabled)
{
    // A failed acquisition is tried again by the next object, so that a server started later
    // is found without restarting the program.
    if (!s_pClassFactory) {
        for (int i = 0; i < kFactoryTries; ++i) {
            HRESULT hr = CoGetClassObject(CLSID_KIVServer, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                          reinterpret_cast<void**>(&s_pClassFactory));
            if (SUCCEEDED(hr) && s_pClassFactory) break;
            s_pClassFactory = nullptr;
            for (const auto& failure : kFactoryFailures) {
                if (failure.code == hr) {
                    AfxMessageBox(failure.text, MB_OK);
                    break;
                }
            }
        }
        s_cfFormat = RegisterClipboardFormatA(KIVClipboardFormatName);
    }
    ReadClientMaxRetries();
    if (!s_pClassFactory) throw -1;
    ++s_nObjectCount;

    if (SUCCEEDED(s_pClassFactory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&m_pUnknown))) &&
        m_pUnknown) {
        if (FAILED(m_pUnknown->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&m_pDataObject))))
            m_pDataObject = nullptr;
    } else {
        m_pUnknown = nullptr;
    }
}

CGenericKIVObject::~CGenericKIVObject()
{
    --s_nObjectCount;
    s_mapLiveObjects.RemoveKey(this);
    if (m_dwConnection != 0 && !m_nSuspended && m_pDataObject) UnadviseWhileBusy();
    if (m_pDataObject) m_pDataObject->Release();
    if (m_pUnknown) m_pUnknown->Release();
    Release();
    if (s_nObjectCount == 0 && s_pClassFactory) {
        s_pClassFactory->Release();
        s_pClassFactory = nullptr;
    }
}

UINT CGenericKIVObject::ConsoleGoneTitsUp() { return g_consoleGoneTitsUp; }

void CGenericKIVObject::ReadClientMaxRetries()
{
    if (s_nMaxRetries != -1) return;
    s_nMaxRetries = kDefaultMaxRetries;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kServerKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, &disposition) == ERROR_SUCCESS) {
        if (disposition == REG_OPENED_EXISTING_KEY) {
            DWORD value = 0, type = 0, size = sizeof value;
            if (RegQueryValueExA(key, kMaxRetriesValue, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
                    ERROR_SUCCESS &&
                size == sizeof value) {
                s_nMaxRetries = static_cast<int>(value);
            } else {
                DWORD written = static_cast<DWORD>(s_nMaxRetries);
                RegSetValueExA(key, kMaxRetriesValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&written), sizeof written);
            }
        }
        RegCloseKey(key);
    }
    if (s_nMaxRetries < kMinMaxRetries) s_nMaxRetries = kMinMaxRetries;
    if (s_nMaxRetries > kMaxMaxRetries) s_nMaxRetries = kMaxMaxRetries;
}

long CGenericKIVObject::SendData(void* block)
{
    if (!m_pDataObject) return CO_E_APPNOTFOUND;
    FORMATETC format{static_cast<CLIPFORMAT>(s_cfFormat), nullptr, GetCurrentProcessId(), -1, TYMED_NULL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    return m_pDataObject->SetData(&format, &medium, FALSE);
}

void CGenericKIVObject::StartAdvise(int readNow)
{
    if (!m_nEnabled) return;
    void* existing = nullptr;
    if (!s_mapLiveObjects.Lookup(this, existing)) s_mapLiveObjects.SetAt(this, this);
    m_nSuspended = 0;
    FORMATETC format{static_cast<CLIPFORMAT>(s_cfFormat), nullptr, GetCurrentProcessId(), -1, TYMED_NULL};
    AddRef();
    if (!m_pDataObject) winport::ImmediateExit(-1);

    HRESULT hr;
    int busy = 0;
    for (;;) {
        hr = m_pDataObject->DAdvise(&format, ADVF_NODATA, this, &m_dwConnection);
        if (hr == KIV_E_NOTREADY) {
            ++busy;
            DWORD wait = 100 + 10 * static_cast<DWORD>(busy / 10);
            if (busy > s_nMaxRetries) {
                hr = KIV_E_NODATA;
                break;
            }
            if (winport::SleepUnlessCloseRequested(wait)) break;
        } else if (hr == KIV_E_BOOTING) {
            if (winport::SleepUnlessCloseRequested(kBootingWaitMs)) break;
        } else if (hr == HRESULT_RPC_S_SERVER_UNAVAILABLE) {
            ServerGone("KIVSERVER stopped responding after attaching to ");
        } else {
            break;
        }
    }
    if (winport::ProgramCloseRequested() && (hr == KIV_E_NOTREADY || hr == KIV_E_BOOTING)) {
        // The program is closing: it goes on to close without the subscription.
        TRACE("%s: subscription given up, the program is closing\n", static_cast<const char*>(GetName()));
        return;
    }
    if (hr == KIV_E_NODATA) {
        TRACE("%s: the server did not take the subscription after %d busy answers\n", static_cast<const char*>(GetName()), busy);
        reportError("Quenby timed out connecting to", GetName());
        PostMessageA(HWND_BROADCAST, g_consoleGoneTitsUp, 0, 0);
        PostQuitMessage(0);
        return;
    }
    if (readNow) {
        m_nDataReceived = 1;
        if (HGLOBAL h = ReadData(-1)) {
            PassReply(h);
            GlobalFree(h);
        }
    }
}

void CGenericKIVObject::StopAdvise()
{
    m_nSuspended = 1;
    if (m_dwConnection != 0 && m_pDataObject) UnadviseWhileBusy();
    m_dwConnection = 0;
}

void CGenericKIVObject::UnadviseWhileBusy()
{
    for (int i = 0; i < kMaxUnadviseTries; ++i) {
        if (m_pDataObject->DUnadvise(m_dwConnection) != KIV_E_NOTREADY) return;
        if (winport::SleepUnlessCloseRequested(kUnadviseWaitMs)) break;
    }
    TRACE("%s: the server stayed busy; the subscription is given up\n", static_cast<const char*>(GetName()));
}

void* CGenericKIVObject::ReadData(long index)
{
    if (!m_pDataObject) return nullptr;
    FORMATETC format{static_cast<CLIPFORMAT>(s_cfFormat), nullptr, 0xFFFFFFFFu, static_cast<LONG>(index), TYMED_NULL};
    // Busy answers are asked again as often as the subscription would be (the retry limit).
    for (int tries = 0;; ++tries) {
        STGMEDIUM medium{};
        medium.tymed = TYMED_HGLOBAL;
        HRESULT hr = m_pDataObject->GetData(&format, &medium);
        if (hr == KIV_E_NODATA) return medium.hGlobal;
        if (hr == HRESULT_RPC_S_SERVER_UNAVAILABLE) ServerGone("KIVSERVER stopped responding after getdata for client :");
        if (medium.hGlobal) return medium.hGlobal;
        if (FAILED(hr) && hr != KIV_E_NOTREADY) {
            TRACE("%s: reading the server's data failed (0x%08X)\n", static_cast<const char*>(GetName()), static_cast<unsigned>(hr));
            return nullptr;
        }
        if (tries >= s_nMaxRetries) return nullptr;
        if (winport::SleepUnlessCloseRequested(kReadDataWaitMs)) return nullptr;
    }
}

void CGenericKIVObject::OnClose()
{
    // Every subscribed object hears the server go; while the operator reads the box of the
    // first, the others have nothing to add (the program ends when it is answered).
    if (m_dwConnection == 0 || m_nSuspended || g_serverGoneBoxUp) return;
    ServerGone("KIVSERVER stopped responding after attaching to ");
}

void CGenericKIVObject::ServerGone(const char* during)
{
    g_serverGoneBoxUp = true;
    MessageBoxA(nullptr, "KIVServer is no longer responding !", "Severe Error", MB_ICONHAND | MB_SYSTEMMODAL);
    g_serverGoneBoxUp = false;
    reportError(during, GetName());
    ExitProcess(static_cast<UINT>(-1));
}

void CGenericKIVObject::PassReply(HGLOBAL block)
{
    void* p = GlobalLock(block);
    // A reply whose size field claims more than arrived (or less than a header) is not read.
    if (p && KIVReplySize(p, GlobalSize(block))) OnLinkIn(static_cast<_CommsStructure*>(p));
    GlobalUnlock(block);
}

void CGenericKIVObject::OnDataChange(FORMATETC*, STGMEDIUM* medium)
{
    if (!medium) return;
    HGLOBAL h = medium->hGlobal;
    m_nDataReceived = 1;
    if (h && !m_nSuspended) PassReply(h);
    // The receiver always frees a reply, also one it did not pass on.
    if (h) GlobalFree(h);
}

void CGenericKIVObject::CancelKIVCommand()
{
    SendCommandBlock(KIVAllocCommandBlock(CancelCommand, kKIVBareCommandSize));
}

void CGenericKIVObject::Suspend()
{
    if (!m_nSuspended) StopAdvise();
}

void CGenericKIVObject::ReActivate()
{
    if (m_nSuspended) StartAdvise(1);
}

void CGenericKIVObject::SuspendAll()
{
    POSITION pos = s_mapLiveObjects.GetStartPosition();
    while (pos) {
        void* key = nullptr;
        void* value = nullptr;
        s_mapLiveObjects.GetNextAssoc(pos, key, value);
        static_cast<CGenericKIVObject*>(value)->Suspend();
    }
}

void CGenericKIVObject::ReActivateAll()
{
    POSITION pos = s_mapLiveObjects.GetStartPosition();
    while (pos) {
        void* key = nullptr;
        void* value = nullptr;
        s_mapLiveObjects.GetNextAssoc(pos, key, value);
        static_cast<CGenericKIVObject*>(value)->ReActivate();
    }
}

void CGenericKIVObject::SendAttachBlock(HGLOBAL block, int readNow)
{
    if (!block) return;
    StopAdvise();
    SendData(block);
    GlobalFree(block);
    StartAdvise(readNow);
}

void CGenericKIVObject::SendCommandBlock(HGLOBAL block)
{
    if (!block) return;
    SendData(block);
    GlobalFree(block);
}
