// CDebugDlg: the MIDI message monitor's log ("MIDI Messages"): the lines the main dialog makes
// of the MIDI notifications, each in the colour of the input pair its port and MIDI channel
// belong to. A window that shows it reads the lines; the log holds at most 16383.
#pragma once

#include <deque>

#include "base/RackSetup.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

/// A line of no input pair.
inline constexpr COLORREF kNoPairColour = RGB(220, 20, 60);

class CDebugDlg {
public:
    static constexpr size_t kMaxLines = 16384;
    /// Where the window keeps its place on the screen.
    static constexpr const char* kPlacementName = "MicPreControl-DebugDlg";
    struct Line {
        CString text;
        COLORREF colour;
    };

    /// The line of a notification (WM_MIDI_IN_SHOWN or WM_MIDI_OUT_SHOWN): "IN \t1\t179\t73\t64\n",
    /// "Open\t1\n", "OUT \t...", "Close\t...".
    static CString FormatLine(UINT message, WPARAM first, LPARAM second);
    /// The colour of the first input pair holding (port, status & 0x0F); kNoPairColour when none.
    static COLORREF LineColour(const CRackSetup& setup, int port, int status);

    /// Appends a line; the kMaxLines-th line empties the log first. 0.
    int AddMessage(const char* text, COLORREF colour);
    const std::deque<Line>& Lines() const { return m_Lines; }
    /// Counts every line added, so that a view knows what it has shown.
    size_t Added() const { return m_nAdded; }
    void Clear() { m_Lines.clear(); }

private:
    std::deque<Line> m_Lines;
    size_t m_nAdded = 0;
};
