// CInstanceChecker: one copy of the program per user. The first copy holds a lock named after
// the executable ("<name>Mutex") and publishes its main window's handle in the registry
// (volatile key "Software\VOKDWEN\Instance Checker", value "<name> Handle"); a second copy
// finds the lock held, posts "InstanceCheckerWakeUpMessage" to that window and ends.
#pragma once

#include <memory>

#include "winport/Afx.h"
#include "winport/InstanceLock.h"

/// The registered message a second copy posts to the first (wParam 0, lParam 0).
UINT InstanceCheckerWakeUpMessage();

class CInstanceChecker {
public:
    /// Works out the names from the executable's file name (or from exeName when given) and
    /// takes the lock when no other copy holds it.
    explicit CInstanceChecker(const char* exeName = nullptr);
    /// Releases the lock and, in the first copy, withdraws the published handle.
    virtual ~CInstanceChecker();
    CInstanceChecker(const CInstanceChecker&) = delete;
    CInstanceChecker& operator=(const CInstanceChecker&) = delete;

    BOOL IsFirstInstance() const { return m_bFirstInstance; }
    /// Publishes the main window (nothing for a null or dead window; failures are silent).
    void TrackFirstInstanceWindow(HWND hwnd);
    /// The published window of the first copy, or null.
    HWND FindFirstInstanceWindow() const;
    /// Posts the wake-up message to the first copy's window, if there is one.
    void ActivateFirstInstance(WPARAM wParam, LPARAM lParam);

    const CString& GetMutexName() const { return m_strMutexName; }
    const CString& GetValueName() const { return m_strValueName; }

private:
    std::unique_ptr<winport::InstanceLock> m_hMutex;
    BOOL m_bFirstInstance = FALSE;
    CString m_strMutexName;
    CString m_strBaseKey;
    CString m_strKey;
    CString m_strValueName;
};

/// The file name of the running program without folder and extension.
CString ExecutableName();
