// The main dialog's setup files and profile settings.
#include <cstring>

#include "app/MicApp.h"
#include "app/MicDlg.h"
#include "winport/Hooks.h"
#include "winport/Profile.h"

CString CMicDlg::GetRestoreFilePath()
{
    char dir[MAX_PATH + 1] = {};
    GetWindowsDirectoryA(dir, sizeof dir);
    return CString(dir) + kRestoreFileName;
}

CString CMicDlg::displayName(const char* path) const
{
    CString name(path);
    int slash = name.ReverseFind('/');
    int backslash = name.ReverseFind('\\');
    return name.Mid((slash > backslash ? slash : backslash) + 1);
}

BOOL CMicDlg::SaveSetupFile(const char* path, int setTitle)
{
    BOOL saved = m_RackSetup.SaveSetupFile(path);
    if (setTitle == 1) {
        CString title;
        title.Format("%s   (%s)", kTitle, displayName(path).c_str());
        SetWindowText(title);
    }
    return saved;
}

void CMicDlg::SaveRestoreSnapshot()
{
    if (m_bAutoRestore) SaveSetupFile(GetRestoreFilePath(), 0);
}

void CMicDlg::LoadSetup(const char* path, int setTitle, int rack)
{
    int version = CRackSetup::GetSetupFileVersion(path);
    if (version == -1) {
        const char* text = m_bAutoRestore ? "Failed to load auto restore file. Please select a Setup file."
                           : m_bAutoLoad  ? "Failed to load last Setup file. Please select a Setup file."
                                          : "Setup file is not readable!";
        m_pShell->MessageBox(m_hWnd, text, kTitle, MB_OK, [this](int) { OnLoadPreset(); });
        return;
    }
    if (version != 0 && version != 1) {
        m_pShell->MessageBox(m_hWnd, "A newer version of this software is available!!\nCheck for updates.", kTitle,
                             MB_OK, {});
        return;
    }
    if (!m_RackSetup.LoadSetupFile(version, path, rack)) {
        m_pShell->MessageBox(m_hWnd, "Setup file is not readable!", kTitle, MB_OK, {});
        return;
    }
    if (setTitle == 1) {
        CString title;
        title.Format("%s   (%s)", kTitle, displayName(path).c_str());
        SetWindowText(title);
    } else {
        SetWindowText(kTitle);
    }
    if (!m_bUseWithCantle) {
        for (int r = 0; r < CRackSetup::kRacks; ++r) {
            m_RackSetup.SetRackOption(r, FALSE);
            for (int c = 0; c < CRackSetup::kChannels; ++c) m_RackSetup.SetChannelMicLine(r, c, 0);
        }
        m_RackSetup.SetPopupOnSel(FALSE);
        m_RackSetup.SetPopupControls(FALSE);
    }
    for (auto& list : m_ChannelMaps) list.RemoveAll();
    for (int r = 0; r < CRackSetup::kRacks; ++r) {
        for (int c = 0; c < CRackSetup::kChannels; ++c) {
            int line = m_RackSetup.GetChannelMicLine(r, c);
            if (line > 0 && line <= kChannelMaps) m_ChannelMaps[line - 1].Add(ChannelMapping{r, c});
        }
    }
    for (int r = 0; r < CRackSetup::kRacks; ++r) {
        if ((rack != -1 && r != rack) || !m_RackSetup.GetRackFlag(r)) continue;
        // The busy picture until the link has sent what waits (an acknowledged poll clears it).
        if (!m_bBusy) {
            m_bBusy = TRUE;
            m_eLinkPicture = LinkPicture::Busy;
            m_pView->LinkChanged();
        }
        SendResetMessages(r);
    }
    // The server's mic lines win over the file's on the channels that follow them.
    ApplyMicLineData(kQuietApply, kQuietApply);
    if (rack != -1 && rack != m_RackSetup.GetCurrentRack()) return;
    m_pView->RackChanged(m_RackSetup.GetCurrentRack());
}

CString CMicDlg::startupSetupFile(int& setTitle)
{
    setTitle = 0;
    if (m_bAutoLoad && !m_strFileName.IsEmpty()) {
        setTitle = 1;
        return m_strFileName;
    }
    // Until the program first closes (or a unit changes) there is no restore file: nothing to
    // restore is not a failure to load, and the operator is not asked for a file.
    if (m_bAutoRestore && GetFileAttributesA(GetRestoreFilePath()) != INVALID_FILE_ATTRIBUTES) return GetRestoreFilePath();
    return CString();
}

void CMicDlg::LoadStartupSetup(int rack)
{
    int setTitle = 0;
    const CString file = startupSetupFile(setTitle);
    if (!file.IsEmpty()) LoadSetup(file, setTitle, rack);
}

void CMicDlg::OnLoadPreset()
{
    if (!IsRingEmpty() || m_bBusy) return;
    runLoadPreset();
}

void CMicDlg::runLoadPreset()
{
    FileDialogRequest request;
    request.open = true;
    request.defaultExtension = "MIC";
    request.fileName = m_strFileName.IsEmpty() ? CString(".mic") : m_strFileName;
    request.filter = kSetupFilter;
    request.flags = kOfnHideReadOnly | kOfnOverwritePrompt;
    m_pShell->FileDialog(m_hWnd, request, [this](bool ok, const CString& path) {
        if (!ok) {
            m_pView->RackChanged(m_RackSetup.GetCurrentRack());
            return;
        }
        m_strFileName = path;
        LoadSetup(path, 1, -1);
        for (int r = 0; r < CRackSetup::kRacks; ++r) {
            if (!m_RackSetup.GetRackFlag(r)) continue;
            for (int c = 0; c < CRackSetup::kChannels; ++c) {
                SendCommand13(r, c);
                SendLineCommand(r, c);
                SendChannelCommand(r, c);
            }
        }
        if (m_pMidiPortManager && m_pMidiPortManager->IsRunning()) BroadcastSetup(FALSE);
        m_pView->RackChanged(m_RackSetup.GetCurrentRack());
    });
}

void CMicDlg::OnStorePreset()
{
    if (!IsRingEmpty() || m_bBusy) return;
    FileDialogRequest request;
    request.open = false;
    request.defaultExtension = "MIC";
    request.fileName = m_strFileName.IsEmpty() ? CString(".mic") : m_strFileName;
    request.filter = kSetupFilter;
    request.flags = kOfnHideReadOnly | kOfnOverwritePrompt;
    m_pShell->FileDialog(m_hWnd, request, [this](bool ok, const CString& path) {
        if (!ok) return;
        m_strFileName = path;
        SaveSetupFile(path, 1);
    });
}

BOOL CMicDlg::ReadSettings()
{
    m_nConsoleType = static_cast<int>(winport::GetProfileInt(kSettingsSection, "Console Type", 0));
    int autoLoad = static_cast<int>(winport::GetProfileInt(kSettingsSection, "Auto Load", -1));
    m_bAutoLoad = (autoLoad != -1 && autoLoad != 0) ? 1 : 0;
    m_bAutoRestore = winport::GetProfileInt(kSettingsSection, "Auto Restore", 1) ? 1 : 0;
    m_bMiniAlwaysOnTop = winport::GetProfileInt(kSettingsSection, "Mini Always On Top", 1) ? 1 : 0;
    m_strFileName = winport::GetProfileString(kSettingsSection, "FileName", "");
    int port = static_cast<int>(winport::GetProfileInt(kSettingsSection, "Communication Port", -1));
    if (port == -1) return FALSE;
    m_nCommPort = port;
    return TRUE;
}

void CMicDlg::SaveSettings()
{
    winport::WriteProfileInt(kSettingsSection, "Auto Load", m_bAutoLoad);
    winport::WriteProfileInt(kSettingsSection, "Auto Restore", m_bAutoRestore);
    winport::WriteProfileInt(kSettingsSection, "Mini Always On Top", m_bMiniAlwaysOnTop);
    winport::WriteProfileString(kSettingsSection, "FileName", m_strFileName);
    winport::WriteProfileInt(kSettingsSection, "Communication Port", m_nCommPort);
}

void CMicDlg::ReadPopupSettings()
{
    m_RackSetup.SetPopupControls(winport::GetProfileInt(kSettingsSection, "PopupControls", 1) ? TRUE : FALSE);
    m_RackSetup.SetPopupOnSel(winport::GetProfileInt(kSettingsSection, "PopupOnSel", 1) ? TRUE : FALSE);
}
