#include "app/MicApp.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/MicDlg.h"
#include "base/Shell.h"
#include "winport/Paths.h"
#include "winport/Profile.h"

namespace {

/// Says on standard error which folder the program keeps its state in cannot be written, and
/// what will not be saved there.
void reportUnwritableFolders()
{
    const std::string settings = winport::ProfileDir();
    const std::string windows = winport::HostPath("C:\\WINDOWS");
    const std::string settingsFile = std::string("its settings (") + kMicProfileName + ")";
    const std::string restoreFile = std::string("the setup kept between runs (") + (CMicDlg::kRestoreFileName + 1) + ")";
    struct Folder {
        std::string path, what;
    };
    std::vector<Folder> folders{{settings, settingsFile}};
    if (windows == settings) folders[0].what += " and " + restoreFile;
    else folders.push_back({windows, restoreFile});
    for (const Folder& f : folders) {
        const std::string error = winport::FolderWriteError(f.path);
        if (error.empty()) continue;
        std::fprintf(stderr, "mic: the folder %s cannot be written (%s): %s will not be saved\n", f.path.c_str(),
                     error.c_str(), f.what.c_str());
    }
    std::fflush(stderr);
}

}  // namespace

CMicApp::CMicApp(DialogRunner runner) : m_runner(std::move(runner))
{
    if (!m_runner) {
        m_runner = [](CMicApp& app) {
            HeadlessShell shell;
            CMicDlg dlg(&app, &shell);
            dlg.DoModal();
        };
    }
}

CMicApp::~CMicApp() = default;

CString CMicApp::CommandLineOf(int argc, char** argv)
{
    CString line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

BOOL CMicApp::InitInstance(const char* commandLine)
{
    m_pInstanceChecker = std::make_unique<CInstanceChecker>(m_strExeName.IsEmpty() ? nullptr : m_strExeName.c_str());
    if (!m_pInstanceChecker->IsFirstInstance()) {
        m_pInstanceChecker->ActivateFirstInstance(0, 0);
        m_pInstanceChecker.reset();
        return FALSE;
    }
    winport::SetProfileName(kMicProfileName);
    reportUnwritableFolders();
    // Exactly "KOBAL", case and blanks included, makes a small console.
    bool kobal = commandLine && CString(commandLine).Compare("KOBAL") == 0;
    winport::WriteProfileInt(kSettingsSection, "Console Type", kobal ? 1 : 0);

    m_runner(*this);

    m_pInstanceChecker.reset();
    return FALSE;
}
