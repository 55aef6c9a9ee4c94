// Conform tests: small passes written as files below a private data root, stored edit lists laid
// out through the writer, and the events of an array as comparable rows.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "ConsoleTypeFixture.h"
#include "conform/EditListFiles.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/ChannelStateTable.h"
#include "trevanny/ConformEngine.h"
#include "trevanny/CutListFile.h"
#include "trevanny/EDLReader.h"
#include "winport/Paths.h"

namespace conformtest {

/// An event as a row: time, path, process, control, value, flags, old value.
typedef std::tuple<int, int, int, int, int, int, int> EventRow;

inline CAutomationEvent Ev(int time, int path, int process, int control, int value, int oldValue = 0)
{
    return CAutomationEvent(time, static_cast<DWORD>(path), static_cast<BYTE>(process), static_cast<BYTE>(control),
                            static_cast<short>(value), 0, static_cast<WORD>(oldValue));
}

inline std::vector<EventRow> Rows(const CAutomationEventArray& a)
{
    std::vector<EventRow> rows;
    for (INT_PTR i = 0; i < a.GetSize(); ++i) {
        const CAutomationEvent& e = a[i];
        rows.emplace_back(e.m_Time, static_cast<int>(e.m_Path), e.GetProcessNumber(), e.GetControlNumber(), e.GetValue(), e.GetFlags(),
                          static_cast<short>(e.GetOldValue()));
    }
    return rows;
}

inline std::string Bytes(const CAutomationEventArray& a)
{
    return std::string(reinterpret_cast<const char*>(a.GetData()), sizeof(CAutomationEvent) * static_cast<size_t>(a.GetSize()));
}

inline void Fill(CAutomationEventArray& a, const std::vector<CAutomationEvent>& events)
{
    a.RemoveAll();
    for (const CAutomationEvent& e : events) a.Add(e);
}

/// One pair of a stored edit list: source start, destination start, length (frames) and the
/// reel index of the destination (-1: none).
struct StoredPair {
    int source;
    int destination;
    int length;
    int reel = 0;
};

/// A reel of a stored edit list: its name and the file (without ".aut") it names.
struct StoredReel {
    std::string name;
    std::string file;
};

/// Writes a pass file holding `events` at a Windows path.
inline void WritePass(const CString& path, const std::vector<CAutomationEvent>& events)
{
    CAutomationEventArray a;
    Fill(a, events);
    winport::EnsureParentDir(winport::HostPath(path));
    ASSERT_TRUE(a.Save(path));
}

/// Writes a stored edit list. The reel table sorts its reels by name: give them in name
/// order so that the pairs' reel indexes stay as given.
inline void WriteEditList(const CString& path, const std::vector<StoredReel>& reels, const std::vector<StoredPair>& pairs)
{
    CEDLReelTable table;
    for (const StoredReel& r : reels) table.GetAt(table.Add(r.name.c_str(), 0, 0)).m_strText2 = r.file.c_str();
    winport::EnsureParentDir(winport::HostPath(path));
    CEDLReader writer(path, CEDLReader::enGeneric);
    ASSERT_TRUE(writer.Open(CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone | CFile::typeBinary, nullptr));
    writer.WriteHeader(CTimecodeSettings(), table);
    for (const StoredPair& p : pairs) {
        CSourceDestItem source, destination;
        source.m_nStart = p.source;
        destination.m_nStart = p.destination;
        destination.m_nLength = p.length;
        destination.SetEvent(new CEDLEvent);
        destination.m_pEvent->m_nReelIndex = p.reel;
        writer.WriteStoredEvent(source, destination);
    }
}

/// The state of every control after replaying `a` up to time t.
inline std::vector<short> StateAt(CAutomationEventArray& a, int t)
{
    CPathMap sections("PathMap");
    CChannelStateTable table(&a, 2000, &sections, 0, nullptr);
    table.PlayTo(t, false);
    return std::vector<short>(table.GetValues(), table.GetValues() + CChannelStateTable::kValueCount);
}

/// Events of `a` with lo < time < hi, moved by `shift`, as rows without the old value.
inline std::vector<EventRow> Between(const CAutomationEventArray& a, int lo, int hi, int shift = 0)
{
    std::vector<EventRow> rows;
    for (EventRow r : Rows(a)) {
        if (std::get<0>(r) <= lo || std::get<0>(r) >= hi) continue;
        std::get<0>(r) += shift;
        std::get<6>(r) = 0;
        rows.push_back(r);
    }
    return rows;
}

class ConformFixture : public ConsoleTypeFixture {
protected:
    void SetUp() override
    {
        ConsoleTypeFixture::SetUp();
        useConsoleType(1);  // quarter frames: a frame of an edit list is 4 time units
    }
};

}  // namespace conformtest
