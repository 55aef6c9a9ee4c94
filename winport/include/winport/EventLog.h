// The event log: entries of a named event source, written as syslog datagrams.
//
// Each ReportEventA sends one datagram in the local form of RFC 3164, as the C library's
// syslog writes it: "<PRI>Mmm dd hh:mm:ss SOURCE[PID]: TEXT", with facility user (1) and the
// severity from the entry's type (error 3, warning and audit failure 4, others 6). The text is
// the source's message (found through the "EventMessageFile" value of the source's key below
// "SYSTEM\CurrentControlSet\Services\EventLog\Application" and a message table registered by
// that module) with its insertion strings put in literally, or the strings joined by blanks
// when there is no message. Text bytes are Windows-1252 and are sent as UTF-8. A datagram is
// at most 8192 bytes: a longer text is cut there. The datagram goes to the Unix socket named by
// ARDO_LOG_SOCKET, else /dev/log; when it cannot be sent the report fails (FALSE).
#pragma once

#include <map>
#include <string>

#include "winport/WinTypes.h"

#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010

typedef void* PSID;

/// A handle for reporting entries of `lpSourceName` (null on an empty name). lpUNCServerName
/// must be null or empty: entries of this machine only.
HANDLE RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName);
BOOL DeregisterEventSource(HANDLE hEventLog);
/// Writes one entry. FALSE (with GetLastError) when the handle is not valid, the arguments do
/// not hold together, or the datagram could not be sent.
BOOL ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid, WORD wNumStrings,
                  DWORD dwDataSize, LPCSTR* lpStrings, LPVOID lpRawData);

namespace winport {

/// Largest datagram the event log sends.
constexpr size_t kEventLogMaxDatagram = 8192;

/// Makes a module's message table known by the module's file name (compared without regard
/// to case): message id -> text with insertion marks %1 to %99 ("%%" is a percent sign).
void RegisterMessageTable(const char* moduleName, const std::map<DWORD, std::string>& messages);

/// The text of message `id` of the source with the insertion strings put in (trailing line
/// ends removed); the strings joined by blanks when the source has no such message.
std::string FormatEventText(const char* source, DWORD id, WORD numStrings, LPCSTR* strings);

/// The socket path the event log writes to: ARDO_LOG_SOCKET, else /dev/log.
std::string EventLogSocketPath();

}  // namespace winport
