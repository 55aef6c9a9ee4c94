// The Win32 registry functions over the store backends: a table of open key handles, access
// checks, and the buffer rules of the calls (sizes, ERROR_MORE_DATA).
#include <atomic>
#include <cstring>
#include <mutex>
#include <unistd.h>
#include <unordered_map>

#include "registry/RegistryBackend.h"
#include "winport/CString.h"
#include "winport/Registry.h"

using winport::reg::Backend;
using winport::reg::KeyInfo;
using winport::reg::ValueData;

namespace {

constexpr uintptr_t kFirstPredefined = 0x80000000u;

struct KeyHandle {
    std::shared_ptr<Backend> backend;
    int64_t ref = 0;
    REGSAM access = 0;
    bool ownsRef = true;  // the backend's reference is released on close
};

class HandleTable {
public:
    HKEY add(KeyHandle h)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Handles are small multiples of 4 below the predefined roots, never reused soon.
        for (;;) {
            m_next += 4;
            if (m_next >= 0x7FFFFFF0u) m_next = 0x100;
            if (!m_handles.count(m_next)) break;
        }
        m_handles.emplace(m_next, std::move(h));
        return reinterpret_cast<HKEY>(static_cast<uintptr_t>(m_next));
    }

    bool find(HKEY key, KeyHandle& out)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_handles.find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)));
        if (it == m_handles.end()) return false;
        out = it->second;
        return true;
    }

    bool remove(HKEY key, KeyHandle& out)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_handles.find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key)));
        if (it == m_handles.end()) return false;
        out = std::move(it->second);
        m_handles.erase(it);
        return true;
    }

private:
    std::mutex m_mutex;
    uint32_t m_next = 0x100;
    std::unordered_map<uint32_t, KeyHandle> m_handles;
};

HandleTable& handles()
{
    static auto* table = new HandleTable;  // never freed: usable from static destructors
    return *table;
}

/// The handle behind an HKEY: a predefined root or an open key.
LONG resolve(HKEY key, KeyHandle& out)
{
    uintptr_t v = reinterpret_cast<uintptr_t>(key);
    if (v == reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE) || v == reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER)) {
        out.backend = winport::reg::LocalBackend(v == reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE)
                                                     ? "HKEY_LOCAL_MACHINE"
                                                     : "HKEY_CURRENT_USER");
        out.ref = out.backend->rootRef();
        out.access = KEY_ALL_ACCESS;
        out.ownsRef = false;
        return ERROR_SUCCESS;
    }
    if (v >= kFirstPredefined) return ERROR_INVALID_HANDLE;
    return handles().find(key, out) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::string valueName(LPCSTR name) { return name ? std::string(name) : std::string(); }

LONG checkAccess(const KeyHandle& h, REGSAM needed) { return (h.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED; }

/// Copies bytes into a caller's buffer with the registry's size rules.
LONG copyData(const std::string& bytes, LPBYTE data, LPDWORD cbData)
{
    DWORD size = static_cast<DWORD>(bytes.size());
    if (!data) {
        if (cbData) *cbData = size;
        return ERROR_SUCCESS;
    }
    if (!cbData) return ERROR_INVALID_PARAMETER;
    if (*cbData < size) {
        *cbData = size;
        return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(data, bytes.data(), size);
    *cbData = size;
    return ERROR_SUCCESS;
}

/// Copies a name into a buffer of `room` characters (terminator included).
LONG copyName(const std::string& name, LPSTR buffer, DWORD room)
{
    if (!buffer) return ERROR_INVALID_PARAMETER;
    if (name.size() + 1 > room) return ERROR_MORE_DATA;
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return ERROR_SUCCESS;
}

LONG openOrCreate(HKEY hKey, LPCSTR subKey, REGSAM access, bool create, DWORD options, PHKEY result,
                  LPDWORD disposition)
{
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyHandle parent;
    if (LONG e = resolve(hKey, parent)) return e;
    auto path = winport::reg::SplitKeyPath(subKey);
    KeyHandle h;
    h.backend = parent.backend;
    h.access = access;
    if (create && checkAccess(parent, KEY_CREATE_SUB_KEY) != ERROR_SUCCESS) {
        // A parent opened without the right to make subkeys may still open an existing one.
        LONG e = parent.backend->openKey(parent.ref, path, h.ref);
        if (e == ERROR_FILE_NOT_FOUND) return ERROR_ACCESS_DENIED;
        if (e) return e;
        if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
    } else if (create) {
        bool created = false;
        LONG e = parent.backend->createKey(parent.ref, path, (options & REG_OPTION_VOLATILE) != 0, h.ref, created);
        if (e) return e;
        if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    } else {
        if (LONG e = parent.backend->openKey(parent.ref, path, h.ref)) return e;
    }
    *result = handles().add(std::move(h));
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    return openOrCreate(hKey, lpSubKey, samDesired, false, 0, phkResult, nullptr);
}

LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    return openOrCreate(hKey, lpSubKey, KEY_ALL_ACCESS, false, 0, phkResult, nullptr);
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD dwOptions, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    return openOrCreate(hKey, lpSubKey, samDesired, true, dwOptions, phkResult, lpdwDisposition);
}

LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    return openOrCreate(hKey, lpSubKey, KEY_ALL_ACCESS, true, 0, phkResult, nullptr);
}

LONG RegCloseKey(HKEY hKey)
{
    uintptr_t v = reinterpret_cast<uintptr_t>(hKey);
    if (v >= kFirstPredefined) return ERROR_SUCCESS;  // closing a predefined root does nothing
    KeyHandle h;
    if (!handles().remove(hKey, h)) return ERROR_INVALID_HANDLE;
    if (h.ownsRef) h.backend->closeKey(h.ref);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    if (LONG e = checkAccess(h, KEY_QUERY_VALUE)) return e;
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    ValueData v;
    if (LONG e = h.backend->queryValue(h.ref, valueName(lpValueName), v)) return e;
    if (lpType) *lpType = v.type;
    return copyData(v.bytes, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData)
{
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    if (LONG e = checkAccess(h, KEY_SET_VALUE)) return e;
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    ValueData v;
    v.type = dwType;
    if (cbData) v.bytes.assign(reinterpret_cast<const char*>(lpData), cbData);
    return h.backend->setValue(h.ref, valueName(lpValueName), v);
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    if (LONG e = checkAccess(h, KEY_SET_VALUE)) return e;
    return h.backend->deleteValue(h.ref, valueName(lpValueName));
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    auto path = winport::reg::SplitKeyPath(lpSubKey);
    if (path.empty()) return ERROR_INVALID_PARAMETER;  // a key cannot delete itself through its handle
    return h.backend->deleteKey(h.ref, path, false);
}

LONG SHDeleteKeyA(HKEY hKey, LPCSTR pszSubKey)
{
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    auto path = winport::reg::SplitKeyPath(pszSubKey);
    if (path.empty()) return ERROR_INVALID_PARAMETER;
    return h.backend->deleteKey(h.ref, path, true);
}

LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) { return SHDeleteKeyA(hKey, lpSubKey); }

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR lpClass,
                   LPDWORD lpcchClass, FILETIME* lpftLastWriteTime)
{
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    if (LONG e = checkAccess(h, KEY_ENUMERATE_SUB_KEYS)) return e;
    if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
    std::string name;
    if (LONG e = h.backend->enumKey(h.ref, dwIndex, name)) return e;
    if (LONG e = copyName(name, lpName, *lpcchName)) return e;
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = 0;
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName)
{
    DWORD cch = cchName;
    return RegEnumKeyExA(hKey, dwIndex, lpName, &cch, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                   LPBYTE lpData, LPDWORD lpcbData)
{
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    if (LONG e = checkAccess(h, KEY_QUERY_VALUE)) return e;
    if (!lpValueName || !lpcchValueName) return ERROR_INVALID_PARAMETER;
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    std::string name;
    ValueData v;
    if (LONG e = h.backend->enumValue(h.ref, dwIndex, name, v)) return e;
    if (LONG e = copyName(name, lpValueName, *lpcchValueName)) return e;
    *lpcchValueName = static_cast<DWORD>(name.size());
    if (lpType) *lpType = v.type;
    return copyData(v.bytes, lpData, lpcbData);
}

LONG RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                      FILETIME* lpftLastWriteTime)
{
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    if (LONG e = checkAccess(h, KEY_QUERY_VALUE)) return e;
    KeyInfo info;
    if (LONG e = h.backend->queryInfo(h.ref, info)) return e;
    if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = 0;
    if (lpcchClass) *lpcchClass = 0;
    if (lpcSubKeys) *lpcSubKeys = info.subKeys;
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = info.maxSubKeyLen;
    if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
    if (lpcValues) *lpcValues = info.values;
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = info.maxValueNameLen;
    if (lpcbMaxValueLen) *lpcbMaxValueLen = info.maxValueLen;
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LONG RegNotifyChangeKeyValue(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, HANDLE hEvent, BOOL fAsynchronous)
{
    if (hEvent || fAsynchronous) return ERROR_INVALID_PARAMETER;
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    if (LONG e = checkAccess(h, KEY_NOTIFY)) return e;
    (void)dwNotifyFilter;
    return h.backend->waitForChange(h.ref, bWatchSubtree != FALSE, nullptr, nullptr);
}

LONG RegFlushKey(HKEY hKey)
{
    KeyHandle h;
    return resolve(hKey, h);  // every write is committed when its call returns
}

namespace {

/// This machine's own names: its host name (short and full) and "localhost".
bool isThisMachine(const std::string& name)
{
    if (WinportCompareNoCase(name.c_str(), "localhost") == 0 || name == "." || name == "127.0.0.1") return true;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return false;
    if (WinportCompareNoCase(name.c_str(), host) == 0) return true;
    std::string shortHost(host);
    shortHost = shortHost.substr(0, shortHost.find('.'));
    return WinportCompareNoCase(name.c_str(), shortHost.c_str()) == 0;
}

}  // namespace

LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult)
{
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::string machine = lpMachineName ? lpMachineName : "";
    while (!machine.empty() && machine[0] == '\\') machine.erase(0, 1);
    if (machine.empty() || isThisMachine(machine)) {
        if (hKey != HKEY_LOCAL_MACHINE && hKey != HKEY_USERS && hKey != HKEY_CURRENT_USER)
            return ERROR_INVALID_HANDLE;
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    if (hKey != HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;  // only the machine root is served
    std::shared_ptr<Backend> remote;
    if (LONG e = winport::reg::ConnectRemoteBackend(machine, remote)) return e;
    KeyHandle h;
    h.backend = remote;
    h.ref = remote->rootRef();
    h.access = KEY_ALL_ACCESS;
    h.ownsRef = false;
    *phkResult = handles().add(std::move(h));
    return ERROR_SUCCESS;
}

namespace winport {

LONG RegChangeStamp(HKEY hKey, BOOL bWatchSubtree, int64_t& stamp)
{
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    if (LONG e = checkAccess(h, KEY_NOTIFY)) return e;
    return h.backend->changeStamp(h.ref, bWatchSubtree != FALSE, stamp);
}

LONG RegWaitForChange(HKEY hKey, BOOL bWatchSubtree, DWORD dwNotifyFilter, std::stop_token stop, const int64_t* since)
{
    KeyHandle h;
    if (LONG e = resolve(hKey, h)) return e;
    if (LONG e = checkAccess(h, KEY_NOTIFY)) return e;
    (void)dwNotifyFilter;
    return h.backend->waitForChange(h.ref, bWatchSubtree != FALSE, &stop, since);
}

}  // namespace winport
