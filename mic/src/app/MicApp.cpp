#include "app/MicApp.h"

#include "app/MicDlg.h"
#include "app/Shell.h"
#include "winport/Profile.h"

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
    // Exactly "KOBAL", case and blanks included, makes a small console.
    bool kobal = commandLine && CString(commandLine).Compare("KOBAL") == 0;
    winport::WriteProfileInt(kSettingsSection, "Console Type", kobal ? 1 : 0);

    m_runner(*this);

    m_pInstanceChecker.reset();
    return FALSE;
}
