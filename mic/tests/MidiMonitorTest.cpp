// The MIDI message monitor's log: lines, colours and its bound.
#include <gtest/gtest.h>

#include "app/DebugDlg.h"
#include "base/MicMessages.h"

namespace {

TEST(MidiMonitor, LinesAndTheirColours)
{
    CRackSetup setup;
    struct Row {
        UINT message;
        WPARAM first;
        LPARAM second;
        const char* line;
    };
    const Row rows[] = {
        {WM_MIDI_IN_SHOWN, 0x00B30000, 0x00400049, "IN \t1\t179\t73\t64\n"},
        {WM_MIDI_OUT_SHOWN, 0x00B70004, 0x007F000A, "OUT \t5\t183\t10\t127\n"},
        {WM_MIDI_IN_SHOWN, 0xFFFF0001, 0, "Open\t2\n"},
        {WM_MIDI_OUT_SHOWN, 0xFFFF0002, 0, "Close\t3\n"},
    };
    for (const Row& row : rows) EXPECT_EQ(CDebugDlg::FormatLine(row.message, row.first, row.second), CString(row.line));

    // Without an input pair for port 0, MIDI channel 3: crimson; with one, the pair's colour.
    EXPECT_EQ(CDebugDlg::LineColour(setup, 0, 0xB3), RGB(220, 20, 60));
    setup.SetPreMapping(4, 0, 3);
    EXPECT_EQ(CDebugDlg::LineColour(setup, 0, 0xB3), RGB(180, 142, 76));
    EXPECT_EQ(CDebugDlg::LineColour(setup, 0, 0xB4), RGB(220, 20, 60));
    EXPECT_EQ(CDebugDlg::LineColour(setup, 1, 0xB3), RGB(220, 20, 60));
}

TEST(MidiMonitor, The16384thLineEmptiesTheLogFirst)
{
    CDebugDlg log;
    for (size_t i = 1; i < CDebugDlg::kMaxLines; ++i) log.AddMessage("IN \t1\t176\t10\t0\n", 0);
    EXPECT_EQ(log.Lines().size(), CDebugDlg::kMaxLines - 1);
    EXPECT_EQ(log.AddMessage("Close\t1\n", RGB(1, 2, 3)), 0);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].text, CString("Close\t1\n"));
    EXPECT_EQ(log.Lines()[0].colour, RGB(1, 2, 3));
    EXPECT_EQ(log.Added(), CDebugDlg::kMaxLines);
}

}  // namespace
