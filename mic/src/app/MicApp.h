// CMicApp: starts the program. One copy runs per user (a second copy wakes the first and
// ends); the profile becomes "micUlvo.ini"; "Settings"/"Console Type" records whether the
// command line was exactly "KOBAL"; then the main dialog runs until it ends.
#pragma once

#include <functional>
#include <memory>

#include "app/InstanceChecker.h"
#include "winport/Afx.h"

/// The program's profile file and its section.
constexpr const char* kMicProfileName = "micUlvo.ini";
constexpr const char* kSettingsSection = "Settings";

class CMicApp {
public:
    /// Constructs and runs the main dialog, returning when it has ended.
    using DialogRunner = std::function<void(CMicApp&)>;

    explicit CMicApp(DialogRunner runner = {});
    virtual ~CMicApp();
    CMicApp(const CMicApp&) = delete;
    CMicApp& operator=(const CMicApp&) = delete;

    /// Runs the whole program for the command-line text (the arguments after the program's
    /// name). Always FALSE: the program ends when it returns.
    BOOL InitInstance(const char* commandLine);
    /// The checker of this run (null outside InitInstance).
    CInstanceChecker* GetInstanceChecker() const { return m_pInstanceChecker.get(); }
    /// The executable name the single-instance check goes by (default: the running file's).
    void SetExecutableName(const char* name) { m_strExeName = name; }

    /// The command-line text of main's arguments: the arguments after the program's name,
    /// separated by blanks.
    static CString CommandLineOf(int argc, char** argv);

private:
    std::unique_ptr<CInstanceChecker> m_pInstanceChecker;
    DialogRunner m_runner;
    CString m_strExeName;
};
