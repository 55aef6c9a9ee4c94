#include "app/InstanceChecker.h"

#include "winport/Registry.h"
#include "winport/Window.h"

UINT InstanceCheckerWakeUpMessage()
{
    static const UINT message = RegisterWindowMessageA("InstanceCheckerWakeUpMessage");
    return message;
}

CString ExecutableName()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    CString name(path);
    int slash = name.ReverseFind('/');
    int backslash = name.ReverseFind('\\');
    int start = (slash > backslash ? slash : backslash) + 1;
    name = name.Mid(start);
    int dot = name.ReverseFind('.');
    if (dot > 0) name = name.Left(dot);
    return name;
}

CInstanceChecker::CInstanceChecker(const char* exeName)
{
    CString name = exeName ? CString(exeName) : ExecutableName();
    m_strMutexName.Format("%sMutex", name.c_str());
    m_strValueName.Format("%s Handle", name.c_str());
    m_strBaseKey = "Software\\VOKDWEN";
    m_strKey = m_strBaseKey + "\\Instance Checker";
    // Taking the lock is the test: there is no gap between looking and taking.
    auto lock = std::make_unique<winport::InstanceLock>(m_strMutexName.c_str());
    m_bFirstInstance = !lock->HeldElsewhere();
    if (m_bFirstInstance) m_hMutex = std::move(lock);
}

CInstanceChecker::~CInstanceChecker()
{
    m_hMutex.reset();
    if (!m_bFirstInstance) return;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, m_strKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, m_strValueName);
        RegCloseKey(key);
    }
}

void CInstanceChecker::TrackFirstInstanceWindow(HWND hwnd)
{
    if (!hwnd || !IsWindow(hwnd)) return;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, m_strBaseKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        RegCloseKey(key);
    }
    if (RegCreateKeyExA(HKEY_CURRENT_USER, m_strKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    DWORD value = HandleToUlong(hwnd);
    RegSetValueExA(key, m_strValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

HWND CInstanceChecker::FindFirstInstanceWindow() const
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, m_strKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    LONG result = RegQueryValueExA(key, m_strValueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || size != sizeof value) return nullptr;
    HWND hwnd = UlongToHwnd(value);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

void CInstanceChecker::ActivateFirstInstance(WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = FindFirstInstanceWindow();
    if (hwnd) PostMessageA(hwnd, InstanceCheckerWakeUpMessage(), wParam, lParam);
}
