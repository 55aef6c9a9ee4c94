#include "ardo/EventLogEntry.h"

#include <vector>

#include "winport/EventLog.h"
#include "winport/Paths.h"
#include "winport/Registry.h"
#include "winport/Trace.h"

namespace {

const char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
/// The library's own file name, as the event log finds its message table.
const char kMessageFile[] = "ardo.dll";
constexpr DWORD kMessageId = 100;
constexpr int kInsertionStrings = 10;

/// The library's message table, known to the event log as soon as the library is loaded.
const bool g_messagesRegistered = [] {
    winport::RegisterMessageTable(kMessageFile, {{kMessageId, "%1 %2 %3 %4 %5 %6 %7 %8 %9 %10\r\n"}});
    return true;
}();

}  // namespace

CString CEventLogEntry::SourceFromModulePath(const char* path)
{
    char fname[_MAX_FNAME] = {};
    _splitpath(path, nullptr, nullptr, fname, nullptr);
    return CString(fname);
}

CEventLogEntry::CEventLogEntry()
{
    (void)g_messagesRegistered;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    m_strSource = SourceFromModulePath(path);
    CreateRegistryEntry(0);
}

CEventLogEntry::~CEventLogEntry() = default;

void CEventLogEntry::CreateRegistryEntry(int force)
{
    // Without a name the key would be the Application log's own key: leave it alone.
    if (m_strSource.IsEmpty()) {
        TRACE0("Could not create registry entry for event logging\n");
        return;
    }
    CString path = CString(kSourcesKey) + m_strSource;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        &disposition) != ERROR_SUCCESS) {
        TRACE0("Could not create registry entry for event logging\n");
        return;
    }
    if (disposition == REG_CREATED_NEW_KEY || force) {
        RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(kMessageFile),
                       sizeof kMessageFile);
        DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
        RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
    }
    RegCloseKey(key);
}

int CEventLogEntry::ReportError(const CString& text) { return Add(text, EVENTLOG_ERROR_TYPE); }
int CEventLogEntry::ReportWarning(const CString& text) { return Add(text, EVENTLOG_WARNING_TYPE); }
int CEventLogEntry::ReportInformation(const CString& text) { return Add(text, EVENTLOG_INFORMATION_TYPE); }
int CEventLogEntry::ReportError(const CStringArray& strings) { return Add(strings, EVENTLOG_ERROR_TYPE); }
int CEventLogEntry::ReportWarning(const CStringArray& strings) { return Add(strings, EVENTLOG_WARNING_TYPE); }
int CEventLogEntry::ReportInformation(const CStringArray& strings) { return Add(strings, EVENTLOG_INFORMATION_TYPE); }

int CEventLogEntry::Add(const CString& text, WORD type)
{
    CStringArray strings;
    strings.Add(text);
    return Add(strings, type);
}

int CEventLogEntry::Add(const CStringArray& strings, WORD type)
{
    if (strings.GetSize() == 0) return TRUE;
    HANDLE source = RegisterEventSourceA(nullptr, m_strSource);
    if (!source) return 0;
    std::vector<CString> copies(kInsertionStrings);
    LPCSTR insertions[kInsertionStrings];
    for (int i = 0; i < kInsertionStrings; ++i) {
        if (i < strings.GetSize()) copies[static_cast<size_t>(i)] = strings[i];
        insertions[i] = copies[static_cast<size_t>(i)].c_str();
    }
    BOOL result = ReportEventA(source, type, 0, kMessageId, nullptr, kInsertionStrings, 0, insertions, nullptr);
    if (!result) TRACE("ReportEvent failed with error %u\n", static_cast<unsigned>(GetLastError()));
    DeregisterEventSource(source);
    return result;
}
