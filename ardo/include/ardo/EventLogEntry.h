// Entries in the event log under an event source named after the calling program's
// executable. Callers construct an entry object on the stack, build the strings and call one
// report operation. Each string becomes one insertion string of the entry's message
// ("%1 %2 ... %10": the ten strings joined by blanks).
#pragma once

#include "winport/Collections.h"
#include "winport/CObject.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

class CEventLogEntry : public CObject {
public:
    /// Names the source after the executable and registers it on first use.
    CEventLogEntry();
    ~CEventLogEntry() override;

    /// Registers the source: the message file and the supported types are written when the
    /// source's key is new, or when `force` is nonzero.
    void CreateRegistryEntry(int force);

    // Nonzero when the entry was written (also for an empty array, which writes nothing).
    int ReportError(const CString& text);
    int ReportWarning(const CString& text);
    int ReportInformation(const CString& text);
    int ReportError(const CStringArray& strings);
    int ReportWarning(const CStringArray& strings);
    int ReportInformation(const CStringArray& strings);

protected:
    int Add(const CString& text, WORD type);
    /// One entry with exactly ten insertion strings: the array's first ten, padded with empty
    /// strings.
    int Add(const CStringArray& strings, WORD type);

    /// The source name for an executable's path: its file name without folder and extension.
    static CString SourceFromModulePath(const char* path);

    CString m_strSource;
};
