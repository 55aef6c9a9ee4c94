// A private folder per test, with the environment variables of the platform layer pointing
// into it, so that tests running at the same time never share a registry, a data root or a
// runtime folder.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>

class TestEnvironment {
public:
    /// Makes the folder below `parent`, which must exist.
    explicit TestEnvironment(const std::string& parent = "/tmp")
    {
        std::error_code ec;
        std::string pattern = parent + "/console-test-XXXXXX";
        const char* made = ::mkdtemp(pattern.data());
        // Without a folder of its own the test cannot run (and must never clear a shared one).
        if (!made) throw std::runtime_error("cannot make a test folder in " + parent);
        m_root = made;
        std::filesystem::create_directories(m_root + "/runtime");
        // A runtime folder is the user's alone (Qt and the XDG rules expect 0700).
        std::filesystem::permissions(m_root + "/runtime", std::filesystem::perms::owner_all, ec);
        std::filesystem::create_directories(m_root + "/data");
        std::filesystem::create_directories(m_root + "/config");
        std::filesystem::create_directories(m_root + "/registry");
        ::setenv("XDG_RUNTIME_DIR", (m_root + "/runtime").c_str(), 1);
        ::setenv("WINPORT_DATA_ROOT", (m_root + "/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_root + "/config").c_str(), 1);
        ::setenv("WINPORT_REGISTRY_DIR", (m_root + "/registry").c_str(), 1);
    }
    ~TestEnvironment()
    {
        std::error_code ec;
        if (!std::getenv("CONSOLE_KEEP_TEST_DIRS")) std::filesystem::remove_all(m_root, ec);
    }
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& name) const { return m_root + "/" + name; }

private:
    std::string m_root;
};
