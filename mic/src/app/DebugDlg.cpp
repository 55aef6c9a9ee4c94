#include "app/DebugDlg.h"

#include "base/MicMessages.h"
#include "midi/MidiHandler.h"

CString CDebugDlg::FormatLine(UINT message, WPARAM first, LPARAM second)
{
    const MidiEvent event = UnpackMidiEvent(first, second);
    const bool in = message == WM_MIDI_IN_SHOWN;
    CString line;
    if (IsMidiPortLine(first)) line.Format("%s\t%d\n", in ? "Open" : "Close", event.port + 1);
    else line.Format("%s\t%d\t%u\t%d\t%d\n", in ? "IN " : "OUT ", event.port + 1, unsigned{event.status}, int{event.data1}, int{event.value});
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
