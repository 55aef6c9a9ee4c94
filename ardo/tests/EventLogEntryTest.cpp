// Event-log entries as syslog datagrams on a socket the test binds, and the source's registry
// entry.
#include <gtest/gtest.h>


#include <cstdlib>
#include <string>

#include "LogSocket.h"
#include "TestEnvironment.h"
#include "ardo/EventLogEntry.h"
#include "winport/EventLog.h"
#include "winport/RegistryObject.h"

namespace {

const char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

/// Access to the protected members for the tests.
class TestEntry : public CEventLogEntry {
public:
    using CEventLogEntry::Add;
    using CEventLogEntry::m_strSource;
    using CEventLogEntry::SourceFromModulePath;
};

class EventLogEntryTest : public ::testing::Test {
protected:
    TestEnvironment env;
    LogSocket log{env.Path("runtime/log.sock")};

    void SetUp() override
    {
        ASSERT_TRUE(log.bound());
        ::setenv("ARDO_LOG_SOCKET", env.Path("runtime/log.sock").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("ARDO_LOG_SOCKET"); }

    /// The parts of a datagram "<PRI>Mmm dd hh:mm:ss TAG[PID]: TEXT".
    struct Parsed {
        int priority = -1;
        std::string tag;
        int pid = -1;
        std::string text;
    };
    static Parsed parse(const std::string& d)
    {
        // "<", digits, ">", a 15-character time stamp and a blank, then "TAG[PID]: ".
        Parsed p;
        size_t close = d.find('>');
        if (d.empty() || d[0] != '<' || close == std::string::npos || d.size() < close + 17) return p;
        const std::string stamp = d.substr(close + 1, 16);
        if (stamp[3] != ' ' || stamp[6] != ' ' || stamp[9] != ':' || stamp[12] != ':' || stamp[15] != ' ') return p;
        size_t open = d.find('[', close + 17);
        size_t end = d.find("]: ", close + 17);
        if (open == std::string::npos || end == std::string::npos || end < open) return p;
        p.priority = std::stoi(d.substr(1, close - 1));
        p.tag = d.substr(close + 17, open - close - 17);
        p.pid = std::stoi(d.substr(open + 1, end - open - 1));
        p.text = d.substr(end + 3);
        return p;
    }
};

TEST_F(EventLogEntryTest, EachTypeIsOneDatagramWithPriorityTagPidAndText)
{
    TestEntry entry;
    EXPECT_EQ("ardo_tests", entry.m_strSource);
    struct Row {
        int (CEventLogEntry::*report)(const CString&);
        int priority;  // facility user (8) + severity
    };
    const Row rows[] = {
        {&CEventLogEntry::ReportError, 11},
        {&CEventLogEntry::ReportWarning, 12},
        {&CEventLogEntry::ReportInformation, 14},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.priority);
        EXPECT_NE(0, (entry.*r.report)("Lost the KIVServer"));
        Parsed p = parse(log.receive());
        EXPECT_EQ(r.priority, p.priority);
        EXPECT_EQ("ardo_tests", p.tag);
        EXPECT_EQ(static_cast<int>(::getpid()), p.pid);
        EXPECT_EQ("Lost the KIVServer" + std::string(9, ' '), p.text);  // one string and nine empty ones
    }
}

TEST_F(EventLogEntryTest, TenInsertionStringsTakenLiterally)
{
    TestEntry entry;
    CStringArray twelve;
    for (int i = 1; i <= 12; ++i) twelve.Add(CString(std::to_string(i)));
    twelve[1] = "%1 100%";  // marks inside a string are not expanded
    EXPECT_NE(0, entry.ReportWarning(twelve));
    EXPECT_EQ("1 %1 100% 3 4 5 6 7 8 9 10", parse(log.receive()).text);

    CStringArray three;
    three.Add("a");
    three.Add("b");
    three.Add("\xE9t\xE9");  // Windows-1252 text arrives as UTF-8
    EXPECT_NE(0, entry.ReportInformation(three));
    EXPECT_EQ("a b \xC3\xA9t\xC3\xA9" + std::string(7, ' '), parse(log.receive()).text);

    CStringArray none;
    EXPECT_EQ(TRUE, entry.ReportError(none));
    EXPECT_EQ("", log.receive(100));
}

TEST_F(EventLogEntryTest, LongTextIsCutAtTheDatagramBound)
{
    TestEntry entry;
    EXPECT_NE(0, entry.ReportInformation(CString(std::string(20000, 'x'))));
    std::string d = log.receive();
    EXPECT_EQ(winport::kEventLogMaxDatagram, d.size());
    EXPECT_EQ(std::string::npos, parse(d).text.find_first_not_of('x'));
}

TEST_F(EventLogEntryTest, NoLogSocketMeansFailure)
{
    TestEntry entry;
    ::setenv("ARDO_LOG_SOCKET", env.Path("runtime/nobody-listens").c_str(), 1);
    EXPECT_EQ(0, entry.ReportError("lost"));
    EXPECT_EQ(FALSE, ReportEventA(nullptr, EVENTLOG_ERROR_TYPE, 0, 100, nullptr, 0, 0, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(EventLogEntryTest, RegistryValuesAreWrittenOnANewKeyOnlyUnlessForced)
{
    const CString key = CString(kSourcesKey) + "ardo_tests";
    CLocalMachineRegistryObject reg;
    {
        TestEntry first;
    }
    DWORD types = 0;
    EXPECT_TRUE(reg.GetDword(key, "TypesSupported", types, 0));
    EXPECT_EQ(7u, types);
    HKEY h = nullptr;
    DWORD type = 0;
    char file[32] = {};
    DWORD size = sizeof file;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h));
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(h, "EventMessageFile", nullptr, &type, reinterpret_cast<BYTE*>(file), &size));
    RegCloseKey(h);
    EXPECT_EQ(static_cast<DWORD>(REG_EXPAND_SZ), type);
    EXPECT_EQ(std::string("ardo.dll", 9), std::string(file, size));  // with its terminating zero

    // A second construction leaves changed values alone; a forced registration rewrites them.
    ASSERT_TRUE(reg.SetDword(key, "TypesSupported", 1));
    TestEntry second;
    reg.GetDword(key, "TypesSupported", types, 0);
    EXPECT_EQ(1u, types);
    second.CreateRegistryEntry(1);
    reg.GetDword(key, "TypesSupported", types, 0);
    EXPECT_EQ(7u, types);
}

TEST_F(EventLogEntryTest, SourceNameIsTheExecutableNameWithoutFolderAndExtension)
{
    struct Row {
        const char* path;
        const char* source;
    };
    for (Row r : {Row{"C:\\Program Files\\Vokdwen\\my.tool.exe", "my.tool"}, Row{"/usr/local/bin/mic", "mic"},
                  Row{"mic.exe", "mic"}, Row{"", ""}, Row{"C:\\dir.d\\", ""}}) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(r.source, TestEntry::SourceFromModulePath(r.path));
    }

    // An entry without a source name registers nothing and reports nothing.
    TestEntry entry;
    entry.m_strSource = "";
    entry.CreateRegistryEntry(1);
    CLocalMachineRegistryObject reg;
    EXPECT_FALSE(reg.ValueExists("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application", "EventMessageFile"));
    EXPECT_EQ(0, entry.ReportError("x"));
    EXPECT_EQ("", log.receive(100));
}

}  // namespace
