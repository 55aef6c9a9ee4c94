// The event log's message rendering from a source's registered message table.
#include <gtest/gtest.h>

#include "TestEnvironment.h"
#include "winport/EventLog.h"
#include "winport/Registry.h"

namespace {

TEST(EventLog, MessageOfTheSourcesMessageFileWithLiteralInsertions)
{
    TestEnvironment env;
    winport::RegisterMessageTable("Units.DLL", {{7, "Unit %2 failed: %1 at 100%%\r\n"}, {8, "%10|%1|%11"}});
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE,
                                           "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\units", &key));
    const char file[] = "C:\\WINDOWS\\other.dll;c:\\bin\\units.dll";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                                            reinterpret_cast<const BYTE*>(file), sizeof file));
    RegCloseKey(key);

    LPCSTR strings[] = {"timeout %2", "3", "c", "d", "e", "f", "g", "h", "i", "j"};
    EXPECT_EQ("Unit 3 failed: timeout %2 at 100%", winport::FormatEventText("units", 7, 2, strings));
    EXPECT_EQ("j|timeout %2|", winport::FormatEventText("units", 8, 10, strings));
    // No message: the strings joined by blanks; a null string is empty.
    LPCSTR withNull[] = {"a", nullptr, "c"};
    EXPECT_EQ("a  c", winport::FormatEventText("units", 9, 3, withNull));
    EXPECT_EQ("a  c", winport::FormatEventText("unregistered", 7, 3, withNull));
}

}  // namespace
