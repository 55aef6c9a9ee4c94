#include "base/ConsoleInfo.h"

namespace {
constinit CConsoleValueStore g_consoleInfo(kProgramConsoleValueReads);
}  // namespace

CConsoleInfo::CConsoleInfo()
{
    for (int i = 0; i < kNameCount; ++i) m_strNames[i] = kConsoleValueNames[i].name;
    g_consoleInfo.Load();
}

CConsoleInfo::~CConsoleInfo() = default;

const CString& CConsoleInfo::GetName(int position) const
{
    static const CString empty;
    return (position >= 0 && position < kNameCount) ? m_strNames[position] : empty;
}

int CConsoleInfo::GetValue(enConsoleValue which) { return g_consoleInfo.Get(which); }

BOOL CConsoleInfo::IsK7Series() { return GetValue(enConsoleType) == 6; }

BOOL CConsoleInfo::IsConsoleTypeNot8() { return GetValue(enConsoleType) != 8; }

BOOL CConsoleInfo::Save() { return g_consoleInfo.Save(); }

void CConsoleInfo::ResetForTesting() { g_consoleInfo.ResetForTesting(); }
