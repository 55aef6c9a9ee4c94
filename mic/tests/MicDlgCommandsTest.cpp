// The main dialog's controls in virtual time against the unit model: channel switches, Dir,
// rack selection, gain entry from the list and typed, mic lines and their automatic numbering.
#include <gtest/gtest.h>

#include <utility>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "UnitLineFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Commands : public UnitLineFixture {
protected:
    // Starts with units 0 to units-1 on the line and waits until unit `responding` answers.
    void Start(int units, int responding = -1, std::unique_ptr<MidiPorts> midi = nullptr)
    {
        UnitLineFixture::Start(units, false, std::move(midi));
        if (responding >= 0) {
            ASSERT_TRUE(RunUntilResponding(responding));
            Settle();
        }
    }

    // Frames other than polls that went to a unit.
    std::vector<Bytes> Sent(int unit) const
    {
        std::vector<Bytes> out;
        for (const auto& f : bus->Frames()) {
            if (f.unit == unit && f.bytes.size() > 2) out.push_back(f.bytes);
        }
        return out;
    }

    // Sends what waits; the unit got exactly the frame expected (none when it is empty).
    void ExpectSentOnly(int unit, const Bytes& expected)
    {
        Drain();
        std::vector<Bytes> sent = Sent(unit);
        if (expected.empty()) {
            EXPECT_TRUE(sent.empty());
        } else {
            ASSERT_EQ(1u, sent.size());
            EXPECT_EQ(expected, sent[0]);
        }
        bus->ClearFrames();
    }
};

// The message of a channel on the wire, checksum added.
Bytes frame(int unit, uint8_t command, int channel, uint8_t data, int micLine = -1)
{
    Bytes b{static_cast<uint8_t>(0x81 + unit), command, static_cast<uint8_t>(channel), data};
    if (micLine >= 0) b.push_back(static_cast<uint8_t>(micLine));
    unsigned sum = 0;
    for (size_t i = 2; i < b.size(); ++i) sum += b[i];
    b.push_back(static_cast<uint8_t>(sum & 0x7F));
    return b;
}

}  // namespace

// ---- Switches -----------------------------------------------------------------------------------

TEST_F(Commands, EachSwitchTogglesItsBitAndSendsItsInputsMessage)
{
    struct Case {
        const char* name;
        bool micInput;
        int code;
        int statusBit;  // bit of the channel status word that flips
        int lineBit;    // bit of the line status word that flips
        Bytes expected; // the one frame sent to unit 1 for channel 2 (empty: none)
    };
    // Channel 2 starts with gain steps 3 (status and line words 3) and no mic line (0x7F).
    const Case cases[] = {
        {"Phant, mic input", true, CMicDlg::kSwitchPhant, 0x40, 0, frame(1, 0x11, 2, 0x43, 0x7F)},
        {"Pad, mic input", true, CMicDlg::kSwitchPad, 0x10, 0, frame(1, 0x11, 2, 0x13, 0x7F)},
        {"Phase, mic input", true, CMicDlg::kSwitchPhase, 0, 0x10, frame(1, 0x11, 2, 0x23, 0x7F)},
        {"Ins, mic input", true, CMicDlg::kSwitchIns, 0, 0x80, frame(1, 0x13, 2, 0x63)},
        {"Lowz, mic input", true, CMicDlg::kSwitchLowz, 0, 0x40, frame(1, 0x13, 2, 0x2B)},
        {"Phase, line input", false, CMicDlg::kSwitchPhase, 0x20, 0, frame(1, 0x41, 2, 0x23, 0x7F)},
        {"Ins, line input", false, CMicDlg::kSwitchIns, 0, 0x20, frame(1, 0x41, 2, 0x43, 0x7F)},
        {"Phant, line input", false, CMicDlg::kSwitchPhant, 0, 0, {}},
        {"Pad, line input", false, CMicDlg::kSwitchPad, 0, 0, {}},
        {"Lowz, line input", false, CMicDlg::kSwitchLowz, 0, 0, {}},
    };
    Start(2, 1);
    dlg->SelectRack(1);
    Settle();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg->m_RackSetup.SetChannelStatus(1, 2, 3);
        dlg->m_RackSetup.SetLineStatus(1, 2, 3);
        dlg->m_RackSetup.SetChannelMode(1, 2, c.micInput ? 1 : 0);
        dlg->ToggleSwitchAndSend(2, c.code);
        EXPECT_EQ(3 | c.statusBit, dlg->m_RackSetup.GetChannelStatus(1, 2));
        EXPECT_EQ(3 | c.lineBit, dlg->m_RackSetup.GetLineStatus(1, 2));
        EXPECT_EQ(!c.expected.empty(), static_cast<bool>(dlg->IsSwitchShown(1, 2, c.code)));
        EXPECT_EQ(c.expected.empty() ? 0 : 1, dlg->RingCount());
        ExpectSentOnly(1, c.expected);
    }
    EXPECT_EQ(0, bus->Violations());
}

TEST_F(Commands, SwitchesAndGainTellMidiWhatChanged)
{
    auto midi = std::make_unique<StoppedMidiPorts>();
    StoppedMidiPorts* ports = midi.get();
    midi->SetRunning(true);
    Start(1, 0, std::move(midi));
    ports->Reset();
    dlg->m_RackSetup.SetChannelMode(0, 0, 1);
    dlg->m_RackSetup.SetChannelMapping(0, 1, 2);  // rack 0 tied to pair 0, part A
    dlg->m_RackSetup.ClearMidiSlot(0, 0, 0);
    using CC = std::array<int, 4>;  // rack, channel, control, value
    std::vector<CC> expected;
    for (int code : {CMicDlg::kSwitchPhant, CMicDlg::kSwitchPad, CMicDlg::kSwitchPhase, CMicDlg::kSwitchIns,
                     CMicDlg::kSwitchLowz, CMicDlg::kSwitchPhant}) {
        dlg->ToggleSwitchAndSend(0, code);
    }
    expected = {{0, 0, 4, 127}, {0, 0, 2, 127}, {0, 0, 5, 127}, {0, 0, 4, 0}};
    // The line input has no Phant: nothing changes, nothing goes to MIDI either.
    dlg->ToggleSwitchAndSend(1, CMicDlg::kSwitchPhant);
    dlg->ToggleSwitchAndSend(1, CMicDlg::kSwitchPhase);
    expected.push_back({0, 1, 5, 127});
    dlg->OnGainSelected(0, 9);
    dlg->OnGainSelected(0, 2);  // refused on the mic input
    expected.push_back({0, 0, 9, CMicDlg::GainToMidiValue(9)});
    std::vector<CC> sent;
    for (const auto& m : ports->ToPorts()) sent.push_back({0, (m.bytes[1] >> 4) & 3, m.bytes[1] & 0x0F, m.bytes[2]});
    EXPECT_EQ(expected, sent);
}

TEST_F(Commands, SwitchesOfAChannelOnAMicLineFollowTheServerButPhase)
{
    Start(1, 0);
    dlg->m_bUseWithCantle = 1;
    dlg->m_RackSetup.SetChannelMode(0, 1, 1);
    dlg->SetMicLine(1, 12, FALSE);
    Settle();
    for (int code : {CMicDlg::kSwitchPhant, CMicDlg::kSwitchPad, CMicDlg::kSwitchIns, CMicDlg::kSwitchLowz}) {
        EXPECT_FALSE(dlg->ToggleSwitch(0, 1, code)) << code;
    }
    EXPECT_TRUE(dlg->ToggleSwitch(0, 1, CMicDlg::kSwitchPhase));
    EXPECT_EQ(1, dlg->RingCount());
}

TEST_F(Commands, NothingIsQueuedWhileAReplyArrivesOrTheRingIsFull)
{
    Start(1, 0);
    dlg->m_RackSetup.SetChannelMode(0, 0, 1);
    // A version reply is being received.
    BYTE request[] = {0x81, 0x10, 0xFF};
    dlg->m_Link.Begin(request, 2, kLinkReceiving, kRxVersion, 0x10);
    dlg->ToggleSwitchAndSend(0, CMicDlg::kSwitchPhant);
    dlg->ToggleDir(0);
    dlg->SelectRack(3);
    dlg->OnGainSelected(0, 9);
    EXPECT_EQ(0, dlg->RingCount());
    EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(0, 0));
    EXPECT_EQ(1, dlg->m_RackSetup.GetChannelMode(0, 0));
    EXPECT_EQ(0, dlg->m_RackSetup.GetCurrentRack());
    EXPECT_EQ(3, dlg->m_RackSetup.GetLineStatus(0, 0));
    dlg->m_Link.End();

    // The ring is full.
    for (int i = 0; i < CMicDlg::kRingEntries; ++i) dlg->SendLineCommand(5, i % 4);
    ASSERT_TRUE(dlg->IsRingFull());
    dlg->ToggleSwitchAndSend(0, CMicDlg::kSwitchPhant);
    EXPECT_EQ(3, dlg->m_RackSetup.GetChannelStatus(0, 0));
    EXPECT_EQ(CMicDlg::kRingEntries - 1, dlg->RingCount());
}

TEST_F(Commands, DirChangesTheInputAndSendsAllThreeMessages)
{
    Start(1, 0);
    dlg->m_RackSetup.SetLineStatus(0, 3, 0x80 | 0x08);  // mic Ins, mic gain step 5
    dlg->ToggleDir(3);
    EXPECT_EQ(1, dlg->m_RackSetup.GetChannelMode(0, 3));
    EXPECT_TRUE(dlg->IsSwitchShown(0, 3, CMicDlg::kSwitchDir));
    EXPECT_TRUE(dlg->IsSwitchShown(0, 3, CMicDlg::kSwitchIns));
    Drain();
    EXPECT_EQ(std::vector<Bytes>({frame(0, 0x13, 3, 0x63), frame(0, 0x11, 3, 0x08, 0x7F), frame(0, 0x41, 3, 0x03, 0x7F)}),
              Sent(0));
    EXPECT_EQ(0x63, bus->unit(0).pathByte[3]);
}

TEST_F(Commands, SelectRackShowsTheRackButtonsAndQueuesTheRacksSettings)
{
    Start(4, 2);
    ASSERT_TRUE(RunUntilResponding(3));
    Settle();
    dlg->m_RackSetup.SetChannelMode(3, 1, 1);
    dlg->OnChannelButton(1112 + 3);  // "Rack4"
    EXPECT_EQ(3, dlg->m_RackSetup.GetCurrentRack());
    EXPECT_EQ(145, dlg->m_nRackBitmap[3]) << "selected and responding";
    EXPECT_EQ(147, dlg->m_nRackBitmap[2]) << "responding";
    EXPECT_EQ(149, dlg->m_nRackBitmap[9]) << "neither";
    EXPECT_EQ(LinkPicture::Linked, dlg->m_eLinkPicture);
    EXPECT_EQ(8, dlg->RingCount());
    Drain();
    std::vector<Bytes> sent = Sent(3);
    ASSERT_EQ(8u, sent.size());
    const uint8_t commands[] = {0x41, 0x13, 0x11, 0x13, 0x41, 0x13, 0x41, 0x13};
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(commands[i], sent[i][1]) << i;

    // A rack whose unit does not respond: no messages, its button and the link picture say so.
    bus->ClearFrames();
    dlg->OnChannelButton(1112 + 9);
    EXPECT_EQ(146, dlg->m_nRackBitmap[9]);
    EXPECT_EQ(147, dlg->m_nRackBitmap[3]);
    EXPECT_EQ(LinkPicture::NoUnit, dlg->m_eLinkPicture);
    EXPECT_EQ(0, dlg->RingCount());
    EXPECT_EQ(0, bus->Violations());
}

TEST_F(Commands, ChannelPictures)
{
    Start(1, 0);
    CRackSetup& s = dlg->m_RackSetup;
    s.SetChannelMode(0, 0, 1);
    s.SetLineStatus(0, 0, 0x0C);  // mic gain step 12
    s.SetChannelStatus(0, 1, 0x09);  // line gain step 9: shown as the highest line item
    BOOL micSet = FALSE;
    EXPECT_EQ(13, dlg->GainItem(0, 0));
    // The read-out follows the gain box up to "70": mic steps 9, 10 and 13 are 50, 55 and 70 dB.
    for (auto [step, shown] : {std::pair{9, 10}, std::pair{10, 11}, std::pair{13, 14}}) {
        s.SetLineStatus(0, 0, step);
        EXPECT_EQ(shown, dlg->GainReadout(0, 0)) << step;
    }
    s.SetLineStatus(0, 0, 0x0C);
    EXPECT_EQ(12, dlg->GainLabel(0, 0, micSet));
    EXPECT_TRUE(micSet);
    EXPECT_EQ(6, dlg->GainItem(0, 1));
    EXPECT_EQ(4, dlg->GainReadout(0, 1));
    EXPECT_EQ(7, dlg->GainLabel(0, 1, micSet));
    EXPECT_FALSE(micSet);
    s.SetLineStatus(0, 0, 0x01);  // below the lowest step: shown as step 3
    EXPECT_EQ(4, dlg->GainItem(0, 0));
    EXPECT_EQ(-1, dlg->GainReadout(5, 0)) << "a rack that does not respond shows no read-out";
    EXPECT_EQ(-1, dlg->GainLabel(5, 0, micSet));

    BOOL lineSet = TRUE;
    EXPECT_EQ(4, dlg->ChannelDigit(0, 3, lineSet));
    EXPECT_FALSE(lineSet);
    s.SetChannelMicLine(5, 3, 27);
    EXPECT_EQ(4, dlg->ChannelDigit(5, 3, lineSet)) << "a unit responds and the channel has no entry";
    s.SetChannelEntry(5, 3, 1);
    EXPECT_EQ(7, dlg->ChannelDigit(5, 3, lineSet));
    EXPECT_TRUE(lineSet);
}

// ---- Gain ---------------------------------------------------------------------------------------

TEST(TypedGain, TypedNumbersSelectTheItemThatReadsThem)
{
    struct Case {
        const char* keys;  // '.' leaves the box
        int item;          // the item selected, -1 none
    };
    const Case cases[] = {
        {"35", 7}, {"4.", 8}, {"20", 4}, {"05", 1}, {"00", 0}, {"0.", 0}, {"70", 14}, {"75", 14},
        {"33", 6}, {"37", 7}, {"79", 14}, {"7.", 14}, {"8", -1}, {"9.", -1}, {"x", -1}, {"3x", -1},
    };
    for (const Case& c : cases) {
        TypedGainEntry entry;
        int item = -1, selected = -1;
        for (const char* k = c.keys; *k; ++k) {
            if (*k == '.') {
                if (entry.Leave(item)) selected = item;
            } else if (entry.Typed(*k, item) == TypedGainEntry::kItem) {
                selected = item;
            }
        }
        EXPECT_EQ(c.item, selected) << c.keys;
    }
}

TEST_F(Commands, GainEntryChecksTheInputAndSendsTheGain)
{
    struct Case {
        const char* name;
        bool micInput;
        const char* typed;  // keys typed ('.' leaves the box); empty: the list's choice below
        int listItem;
        int item;           // the box's item after it
        Bytes expected;     // the frame sent to unit 0, channel 1 (empty: none)
    };
    const Case cases[] = {
        {"typed 3 5 on the mic input", true, "35", 0, 7, frame(0, 0x11, 1, 0x06, 0x7F)},
        {"typed 4 and left", true, "4.", 0, 8, frame(0, 0x11, 1, 0x07, 0x7F)},
        {"chosen 70 on the mic input", true, "", 14, 14, frame(0, 0x11, 1, 0x0D, 0x7F)},
        {"chosen 15 on the mic input", true, "", 3, 4, {}},
        {"typed 1 5 on the line input", false, "15", 0, 3, frame(0, 0x41, 1, 0x06, 0x7F)},
        {"chosen 20 on the line input", false, "", 4, 4, frame(0, 0x41, 1, 0x07, 0x7F)},
        {"chosen 25 on the line input", false, "", 5, 0, {}},
        {"typed 3 5 on the line input", false, "35", 0, 0, {}},
        {"nothing chosen", false, "", -1, 0, {}},
        {"typed 9", false, "9", 0, 0, {}},
    };
    Start(1, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg->m_RackSetup.SetChannelMode(0, 1, c.micInput ? 1 : 0);
        dlg->m_RackSetup.SetChannelStatus(0, 1, 3);
        dlg->m_RackSetup.SetLineStatus(0, 1, 3);
        std::string text;
        if (*c.typed == '\0') dlg->OnGainSelected(1, c.listItem);
        for (const char* k = c.typed; *k; ++k) {
            if (*k == '.') {
                dlg->OnGainEntryDone(1);
            } else {
                text += *k;
                dlg->OnGainDigit(1, text.c_str());
            }
        }
        dlg->OnGainEntryDone(1);  // nothing is held any more
        EXPECT_EQ(c.item, dlg->GainItem(0, 1));
        ExpectSentOnly(0, c.expected);
    }
}

// ---- Mic lines ----------------------------------------------------------------------------------

class MicLines : public Commands {
protected:
    void SetUp() override
    {
        Start(1, 0);
        dlg->m_bUseWithCantle = 1;
    }

    std::vector<int> lines() const
    {
        std::vector<int> out;
        for (int c = 0; c < 4; ++c) out.push_back(dlg->m_RackSetup.GetChannelMicLine(0, c));
        return out;
    }

    // The channels of rack 0 in a mic line's mapping list.
    std::vector<int> mapped(int line) const
    {
        std::vector<int> out;
        const auto& list = dlg->m_ChannelMaps[line - 1];
        for (INT_PTR i = 0; i < list.GetSize(); ++i) out.push_back(list[i].nChannel);
        return out;
    }
};

TEST_F(MicLines, AutomaticNumbering)
{
    struct Case {
        const char* name;
        std::vector<int> before;
        std::vector<int> after;
    };
    const Case cases[] = {
        {"nothing assigned", {0, 0, 0, 0}, {1, 2, 3, 4}},
        {"from the first channel's line", {5, 0, 9, 0}, {5, 6, 7, 8}},
        {"the first channel unassigned clears the others", {0, 0, 7, 3}, {0, 0, 0, 0}},
        {"no line above 99", {98, 0, 0, 0}, {98, 99, 99, 99}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dlg->m_bRackOptionTicked = FALSE;
        dlg->AutoNumberMicLines();
        for (int ch = 0; ch < 4; ++ch) dlg->SetMicLine(ch, c.before[static_cast<size_t>(ch)], FALSE);
        // A rack of the next racks with mic lines does not count.
        dlg->m_RackSetup.SetChannelMicLine(1, 0, 40);
        Settle();
        dlg->OnRackOptionClicked(TRUE);
        EXPECT_EQ(c.after, lines());
        EXPECT_TRUE(dlg->m_RackSetup.GetRackOption(0));
        for (int ch = 0; ch < 4; ++ch) {
            int line = c.after[static_cast<size_t>(ch)];
            if (line == 0) continue;
            std::vector<int> m = mapped(line);
            EXPECT_NE(m.end(), std::find(m.begin(), m.end(), ch)) << "channel " << ch << " in list " << line;
        }
        for (int line = 1; line <= 99; ++line) {
            for (int ch : mapped(line)) {
                EXPECT_EQ(line, dlg->m_RackSetup.GetChannelMicLine(0, ch)) << "stale mapping in list " << line;
            }
        }
        Drain();
        for (int ch = 0; ch < 4; ++ch) {
            int line = c.after[static_cast<size_t>(ch)];
            EXPECT_EQ(line ? line - 1 : 0x7F, bus->unit(0).micLine[ch]) << ch;
        }
        dlg->m_RackSetup.SetChannelMicLine(1, 0, 0);
    }
}

TEST_F(MicLines, NumberingMarkLastsTwoSecondsAndOnlyTheFirstChannelCanBeSet)
{
    dlg->OnRackOptionClicked(TRUE);
    EXPECT_TRUE(dlg->m_bMicLineNumbering);
    Run(1990);
    EXPECT_TRUE(dlg->m_bMicLineNumbering);
    Run(20);
    EXPECT_FALSE(dlg->m_bMicLineNumbering);
    dlg->SetMicLine(2, 50, FALSE);
    EXPECT_EQ(std::vector<int>({1, 2, 3, 4}), lines());
    dlg->SetMicLine(0, 20, FALSE);
    EXPECT_EQ(std::vector<int>({20, 21, 22, 23}), lines());
    EXPECT_TRUE(mapped(1).empty());
    EXPECT_EQ(std::vector<int>({3}), mapped(23));
}

TEST_F(MicLines, TypedLines)
{
    dlg->OnMicLineDigit(2, "1");
    EXPECT_EQ(1, dlg->m_RackSetup.GetChannelMicLine(0, 2));
    dlg->OnMicLineDigit(2, "12");
    EXPECT_EQ(12, dlg->m_RackSetup.GetChannelMicLine(0, 2));
    EXPECT_TRUE(mapped(1).empty());
    EXPECT_EQ(std::vector<int>({2}), mapped(12));
    dlg->OnMicLineDigit(2, "7");  // a new number
    EXPECT_EQ(7, dlg->m_RackSetup.GetChannelMicLine(0, 2));
    dlg->OnMicLineEntryDone();
    dlg->OnMicLineDigit(2, "0");
    EXPECT_EQ(0, dlg->m_RackSetup.GetChannelMicLine(0, 2)) << "\"0\" is Off";
    dlg->OnMicLineSelected(1, 100);
    EXPECT_EQ(0, dlg->m_RackSetup.GetChannelMicLine(0, 1)) << "no line above 99";

    // Outside server mode the boxes do not exist.
    dlg->m_bUseWithCantle = 0;
    dlg->OnMicLineSelected(1, 5);
    dlg->OnRackOptionClicked(TRUE);
    EXPECT_EQ(0, dlg->m_RackSetup.GetChannelMicLine(0, 1));
    EXPECT_FALSE(dlg->m_RackSetup.GetRackOption(0));
}

// ---- MIDI ---------------------------------------------------------------------------------------

// Rack 0 tied to pair 0, part B: outgoing on port 0, MIDI channel 3; incoming from port 2, MIDI
// channel 3. Controls from MIDI are applied to the rack and channel they address and not echoed.
TEST_F(Commands, MidiControlsReachTheirRackAndChannelBothWays)
{
    auto midi = std::make_unique<StoppedMidiPorts>();
    StoppedMidiPorts* ports = midi.get();
    midi->SetRunning(true);
    Start(1, 0, std::move(midi));
    dlg->m_RackSetup.SetChannelMapping(0, 0, 3);
    dlg->m_RackSetup.SetPreMapping(0, 2, 3);
    dlg->m_RackSetup.ClearMidiSlot(0, 0, 1);
    dlg->m_RackSetup.SetChannelMode(0, 0, 1);  // channel 1 on the mic input, the rest on the line input
    ports->Reset();

    // Out: channel 2 of group B goes out as B3 with data1 0x6x.
    dlg->SendMidiControlChange(0, 2, 5, 127);
    ASSERT_EQ(ports->ToPorts().size(), 1u);
    EXPECT_EQ(ports->ToPorts()[0].port, 0);
    EXPECT_EQ(ports->ToPorts()[0].type, 10);
    EXPECT_EQ(ports->ToPorts()[0].bytes, (std::vector<BYTE>{0xB3, 0x65, 0x7F}));
    // An untied rack, or a pair without its port, sends nothing.
    dlg->SendMidiControlChange(1, 0, 5, 127);
    dlg->m_RackSetup.SetChannelMapping(1, -1, 4);
    dlg->m_RackSetup.ClearMidiSlot(2, 0, 2);
    dlg->SendMidiControlChange(2, 0, 5, 127);
    EXPECT_EQ(ports->ToPorts().size(), 1u);
    ports->Reset();

    auto control = [&](int port, BYTE status, BYTE data1, BYTE value) {
        return dlg->OnMidiControlEvent(static_cast<WPARAM>(port | status << 16), static_cast<LPARAM>(data1 | value << 16));
    };
    // B3 49 40 from port 2: gain step 10 on rack 0, channel 1 (sub-channel 4: part B, channel 0).
    EXPECT_EQ(control(2, 0xB3, 0x49, 0x40), 0);
    EXPECT_EQ(dlg->GainItem(0, 0), 10);
    Drain();
    EXPECT_EQ(Count(0, 0x11), 1);  // the mic input's message
    bus->ClearFrames();
    // Pad by MIDI on the mic input: switched, sent to the unit, not back to MIDI.
    control(2, 0xB3, 0x42, 0x7F);
    EXPECT_TRUE(dlg->IsSwitchShown(0, 0, CMicDlg::kSwitchPad));
    control(2, 0xB3, 0x42, 0x7F);  // already on: nothing
    EXPECT_TRUE(dlg->IsSwitchShown(0, 0, CMicDlg::kSwitchPad));
    EXPECT_EQ(dlg->RingCount(), 1);
    Settle();
    // Phant by MIDI on the line input changes nothing and sends nothing.
    const int status = dlg->m_RackSetup.GetChannelStatus(0, 1);
    control(2, 0xB3, 0x54, 0x7F);
    EXPECT_EQ(dlg->m_RackSetup.GetChannelStatus(0, 1), status);
    EXPECT_EQ(dlg->RingCount(), 0);
    // A control of a pair nobody has is dropped.
    EXPECT_EQ(control(5, 0xB3, 0x49, 0x40), 1);
    EXPECT_EQ(control(2, 0xB4, 0x49, 0x40), 1);
    // Code 12 flips the unit colours.
    const BOOL colours = dlg->m_bUnitColour;
    control(0, 0xB0, 0x0C, 0x7F);
    EXPECT_NE(dlg->m_bUnitColour, colours);
    EXPECT_TRUE(ports->ToPorts().empty());

    // While the ring is full the controls wait, and are applied in order afterwards.
    while (!dlg->IsRingFull()) dlg->SendLineCommand(0, 1);
    control(2, 0xB3, 0x49, 0x10);  // 16: step 6
    control(2, 0xB3, 0x49, 0x7F);  // step 10
    control(2, 0xB3, 0x42, 0x00);  // Pad off
    EXPECT_TRUE(dlg->IsSwitchShown(0, 0, CMicDlg::kSwitchPad));
    Drain();
    EXPECT_EQ(dlg->GainItem(0, 0), 10);
    EXPECT_FALSE(dlg->IsSwitchShown(0, 0, CMicDlg::kSwitchPad));
    EXPECT_EQ(0, bus->Violations());
}

// Controls that come while the set-up dialog is open (test mode queues nothing for the units)
// wait for it to close. Then the rack on show is read back from its unit, and the controls reach
// both units after that: the racks show them, the one on show as well as the other.
TEST_F(Commands, MidiControlsWaitWhileTheSetupDialogIsOpen)
{
    auto midi = std::make_unique<StoppedMidiPorts>();
    midi->SetRunning(true);
    Start(2, 0, std::move(midi));
    ASSERT_TRUE(RunUntilResponding(1));
    // Pair 0 from port 2, MIDI channel 3: part A drives rack 1, part B rack 0 (the one on show).
    dlg->m_RackSetup.SetPreMapping(0, 2, 3);
    dlg->m_RackSetup.ClearMidiSlot(0, 0, 1);
    dlg->m_RackSetup.ClearMidiSlot(1, 0, 0);
    for (int rack : {0, 1}) {
        dlg->m_RackSetup.SetChannelMode(rack, 0, 1);
        dlg->SendCommand13(rack, 0);
    }
    Settle();
    ASSERT_EQ(dlg->m_RackSetup.GetCurrentRack(), 0);
    auto control = [&](BYTE data1, BYTE value) {
        dlg->OnMidiControlEvent(static_cast<WPARAM>(2 | 0xB3 << 16), static_cast<LPARAM>(data1 | value << 16));
    };

    dlg->RunSetupDialog();
    control(0x44, 0x7F);  // Phant of rack 0, channel 1
    control(0x04, 0x7F);  // Phant of rack 1, channel 1
    control(0x49, 0x7F);  // gain step 10 of rack 0, channel 1
    Run(1000);
    EXPECT_FALSE(dlg->IsSwitchShown(0, 0, CMicDlg::kSwitchPhant));
    EXPECT_FALSE(dlg->IsSwitchShown(1, 0, CMicDlg::kSwitchPhant));
    EXPECT_EQ(0, dlg->RingCount());

    shell.closeSetup();
    Drain();
    for (int rack : {0, 1}) {
        SCOPED_TRACE(rack);
        EXPECT_TRUE(dlg->IsSwitchShown(rack, 0, CMicDlg::kSwitchPhant));
        EXPECT_EQ(bus->unit(rack).micSwitch[0] & 0x40, 0x40);
    }
    EXPECT_EQ(dlg->GainItem(0, 0), 10);
    EXPECT_EQ(bus->unit(0).micSwitch[0] & 0x0F, dlg->m_RackSetup.GetLineStatus(0, 0) & 0x0F);
    EXPECT_EQ(Count(0, 0x14), 1);
    EXPECT_EQ(0, bus->Violations());
}

TEST(MicDlgMidi, GainStepsAndMidiValuesRoundTrip)
{
    for (int g = 0; g <= 10; ++g) EXPECT_EQ(CMicDlg::MidiValueToGain(CMicDlg::GainToMidiValue(g)), g) << g;
    EXPECT_EQ(CMicDlg::GainToMidiValue(-1), 7);
    EXPECT_EQ(CMicDlg::GainToMidiValue(12), 23);
    const int table[][2] = {{0, 0}, {7, 0}, {8, 1}, {10, 2}, {12, 3}, {15, 5}, {20, 8}, {22, 9}, {23, 10}, {127, 10}};
    for (const auto& row : table) EXPECT_EQ(CMicDlg::MidiValueToGain(row[0]), row[1]) << row[0];
}
