#include "app/DebugDlg.h"

#include "app/MicMessages.h"

CString CDebugDlg::FormatLine(UINT message, WPARAM first, LPARAM second)
{
    const int port = static_cast<int>(first & 0xFFFF);
    const unsigned status = static_cast<unsigned>((first >> 16) & 0xFFFF);
    const int data1 = static_cast<int>(second & 0xFFFF);
    const int value = static_cast<int>((second >> 16) & 0xFFFF);
    const bool in = message == WM_MIDI_IN_SHOWN;
    CString line;
    if (status == 0xFFFF) line.Format("%s\t%d\n", in ? "Open" : "Close", port + 1);
    else line.Format("%s\t%d\t%u\t%d\t%d\n", in ? "IN " : "OUT ", port + 1, status, data1, value);
    return line;
}

COLORREF CDebugDlg::LineColour(const CRackSetup& setup, int port, int status)
{
    for (int pair = 0; pair < CRackSetup::kMappings; ++pair) {
        if (setup.GetPreMapping(pair, 0) == port && setup.GetPreMapping(pair, 1) == status % 16) return kPairColours[pair];
    }
    return kNoPairColour;
}

int CDebugDlg::AddMessage(const char* text, COLORREF colour)
{
    // The log counts its lines as the text control does, the empty one after the last line
    // break included: the 16384th line finds 16384 and empties it.
    if (m_Lines.size() + 1 >= kMaxLines) m_Lines.clear();
    m_Lines.push_back({CString(text ? text : ""), colour});
    ++m_nAdded;
    return 0;
}
