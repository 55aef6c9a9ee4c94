// The I/O configuration object: delay conversions and limits, stereo pairs, groups, display
// names, relays, its command blocks and save blocks as the server simulator receives them.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "../testtools/KivClientTestKit.h"
#include "quenby/IOConfigKIVObject.h"
#include "winport/Window.h"

namespace {

StructIOSearch port(int rack, int card, int io, int system = 0, const char* name = "")
{
    StructIOSearch p{};
    p.path = -1;
    p.rack = rack, p.card = card, p.io = io, p.system = system;
    std::snprintf(p.name, sizeof p.name, "%s", name);
    return p;
}

// The owner of the object fills the hardware description.
class OwnedIOConfig : public COfflineIOConfigKIVObject {
public:
    using CIOConfigKIVObject::ConvertDelayFromUnits;
    ~OwnedIOConfig() { StopAdvise(); }
    void Rate(int fs, int frameCode = 0) { m_nSampleRate = fs, m_nFrameRateCode = frameCode; }
    void Madi(int system, int link, int flag) { m_nMADI[system][link] = flag; }
    void Shift(int shift) { m_nDelayShift = shift; }
    void Quads(int system, int n) { m_nQuadMADIs[system] = n; }
    void Remote(int system, int link, int slot, int n) { m_nRemoteUnits[system][link][slot] = n; }
    int OnLinkIn(_CommsStructure* reply) override { return replies.push_back(reply->nSize), 1; }
    std::vector<int> replies;
};

class IOConfigThreads : public KivServerTest {};

struct DelayRow {
    int fs, unit, frameCode, samples, expected;
};

TEST_F(IOConfigThreads, DelayConversionsByUnitAndFrameRate)
{
    StartServer();
    OwnedIOConfig io;
    const DelayRow fromSamples[] = {
        {48000, enDelaySamples, 0, 480, 480},
        {48000, enDelayMilliseconds, 0, 480, 10},
        {48000, enDelayMetres, 0, 480, 3},        // 3.3 truncated
        {48000, enDelayTenthFrames, 0, 480, 2},   // 2.5 at 25 frames
        {48000, enDelayTenthFrames, 4, 480, 3},   // 30 frames: 3.0
        {48000, enDelayTenthFrames, 1, 4800, 29}, // 29.97 frames: 29.97
        {48000, enDelayTenthFrames, 3, 4800, 29},
        {48000, enDelayTenthFrames, 2, 4800, 24},
        {48000, enDelayTenthFrames, 5, 4800, 23}, // 23.976
        {48000, enDelayTenthFrames, 9, 4800, 25},
        {96000, enDelaySamples, 0, 480, 960},
        {96000, enDelayMilliseconds, 0, 480, 10},
        {44100, enDelaySamples, 0, 480, 441},
        // Kept in single precision: 20000001 is not a float.
        {48000, enDelaySamples, 0, 20000001, 20000000},
        {0, enDelayMilliseconds, 0, 480, 0},
        {-48000, enDelaySamples, 0, 480, 0},
    };
    for (const DelayRow& r : fromSamples) {
        SCOPED_TRACE(testing::Message() << r.fs << " Hz, unit " << r.unit << ", code " << r.frameCode << ", " << r.samples);
        io.Rate(r.fs, r.frameCode);
        io.SetInputDelayUnits(static_cast<DelayUnits>(r.unit));
        io.SetOutputDelayUnits(enDelaySamples);
        EXPECT_EQ(r.expected, io.ConvertDelayFromSamples(r.samples, 1));
    }
    const DelayRow fromUnits[] = {
        {96000, enDelayMilliseconds, 0, 10, 480},
        {48000, enDelayMetres, 0, 3, 436},       // 436.36
        {48000, enDelayTenthFrames, 0, 2, 384},
        {48000, enDelayTenthFrames, 1, 10, 1602}, // 1601.6 rounds up
        {96000, enDelaySamples, 0, 961, 481},    // 480.5 rounds up
        {0, enDelayMilliseconds, 0, 10, 0},
    };
    for (const DelayRow& r : fromUnits) {
        SCOPED_TRACE(testing::Message() << "from units: " << r.fs << " Hz, unit " << r.unit << ", " << r.samples);
        io.Rate(r.fs, r.frameCode);
        io.SetOutputDelayUnits(static_cast<DelayUnits>(r.unit));
        io.SetInputDelayUnits(enDelaySamples);
        EXPECT_EQ(r.expected, io.ConvertDelayFromUnits(r.samples, 0));
    }

    // The setter stores 48 kHz samples; the getter gives the unit back, and -1 clears.
    io.Rate(96000);
    io.SetInputDelayUnits(enDelayMilliseconds);
    io.SetDelay(port(0, 0, 0), 10, 1);
    EXPECT_EQ(480, io.GetPorts(1).at(MakeIOPortKey(port(0, 0, 0))).delay);
    int delay = -5;
    EXPECT_TRUE(io.GetDelay(port(0, 0, 0), delay, 1));
    EXPECT_EQ(10, delay);
    io.SetDelay(port(0, 0, 0), -3, 1);
    EXPECT_TRUE(io.GetDelay(port(0, 0, 0), delay, 1));
    EXPECT_EQ(0, delay);  // an unset delay reads as 0
    EXPECT_FALSE(io.GetDelay(port(0, 0, 2), delay, 1));
}

TEST_F(IOConfigThreads, MaximumDelayOfALink)
{
    StartServer();
    OwnedIOConfig io;
    io.Rate(48000);
    EXPECT_EQ(130564, io.GetMaxDelay(0, 0, 1));
    io.Madi(0, 1, 1);
    EXPECT_EQ(523780, io.GetMaxDelay(0, 1, 1));
    io.Shift(2);
    EXPECT_EQ(130564 >> 2, io.GetMaxDelay(0, 0, 1));
    io.Shift(40);  // clamped to 31
    EXPECT_EQ(0, io.GetMaxDelay(0, 1, 1));
    io.Shift(-1);
    EXPECT_EQ(130564, io.GetMaxDelay(0, 0, 1));
    io.Shift(0);

    // Link 0 holds racks 0 to 3 of system 0: a mono delay of 100 and a stereo one of 50.
    io.SetDelay(port(0, 0, 0), 100, 1);
    io.SetDelay(port(3, 1, 2), 50, 1);
    io.SetStereo(port(3, 1, 2), 1, 1);
    io.SetDelay(port(4, 0, 0), 1000, 1);   // link 1
    io.SetDelay(port(0, 0, 4, 1), 1000, 1); // system 1
    io.SetDelay(port(1, 0, 0), 1000, 0);   // an output
    io.SetNumber(port(2, 0, 0), 7, 1);     // delay not set: not counted
    EXPECT_EQ(130564 - 100 - 100, io.GetMaxDelay(0, 0, 1));
    EXPECT_EQ(130564 - 100, io.GetMaxDelay(port(0, 0, 0), 1));  // the port itself left out
    EXPECT_EQ(130564 - 200, io.GetMaxDelay(port(2, 0, 0), 1));
    EXPECT_EQ(523780 - 1000, io.GetMaxDelay(0, 1, 1));
    EXPECT_EQ(130564 - 1000, io.GetMaxDelay(0, 0, 0));

    // In the unit of the direction.
    io.SetInputDelayUnits(enDelayMilliseconds);
    EXPECT_EQ((130564 - 200) / 48, io.GetMaxDelay(0, 0, 1));
    io.SetInputDelayUnits(enDelaySamples);

    // The system's sum counts its quad MADI links, at most 3.
    EXPECT_EQ(0, io.GetMaxDelay(0, 1));
    io.Quads(0, 2);
    EXPECT_EQ(130564 - 200 + 523780 - 1000, io.GetMaxDelay(0, 1));
    io.Quads(0, 9);
    EXPECT_EQ(130564 - 200 + 523780 - 1000 + 130564, io.GetMaxDelay(0, 1));
    for (int system : {-1, 4}) {
        EXPECT_EQ(0, io.GetMaxDelay(system, 1));
        EXPECT_EQ(0, io.GetMaxDelay(system, 0, 1));
        EXPECT_EQ(0, io.GetThisQuadMADI(system));
        EXPECT_EQ(0, io.GetRemoteRelays(system));
    }
    EXPECT_EQ(0, io.GetMaxDelay(0, 3, 1));
    EXPECT_EQ(0, io.GetMaxDelay(port(12, 0, 0), 1));

    io.Remote(1, 0, 0, 2);
    io.Remote(1, 2, 3, 1);
    EXPECT_EQ(24, io.GetRemoteRelays(1));
    EXPECT_EQ(24, io.GetRemoteOptos(1));
    int quads[4] = {-1, -1, -1, -1};
    io.GetQuadMADIs(quads);
    EXPECT_EQ(9, quads[0]);
    EXPECT_EQ(0, quads[3]);
}

TEST_F(IOConfigThreads, CacheStereoPairsAndRelays)
{
    StartServer();
    OwnedIOConfig io;
    // A fresh object: nothing set, the hardware zeroed.
    EXPECT_EQ(0, io.ConvertDelayFromSamples(480, 1));
    EXPECT_EQ(0, io.GetMaxDelay(0, 0, 1));  // no rate: every conversion gives 0

    io.SetName(port(0, 1, 5), "Kick", 1);
    io.SetNumber(port(0, 1, 5), 12, 1);
    io.SetStereo(port(0, 1, 5), 1, 1);  // the odd leg: the even one gets it, the odd record goes
    int stereo = -1;
    EXPECT_EQ(1, io.GetStereo(port(0, 1, 4), stereo, 1));
    EXPECT_EQ(0, io.GetStereo(port(0, 1, 5), stereo, 1));
    CString name;
    EXPECT_FALSE(io.GetName(port(0, 1, 5), name, 1));
    EXPECT_EQ(1u, io.GetPorts(1).size());
    io.SetName(port(0, 1, 5), "Snr", 1);
    io.SetStereo(port(0, 1, 4), 0, 1);  // clearing touches only the port given
    EXPECT_EQ(2u, io.GetPorts(1).size());

    CString name2;
    io.SetName2(port(1, 0, 0), "two", 0);
    EXPECT_TRUE(io.GetNames(port(1, 0, 0), name, name2, 0));
    EXPECT_EQ(CString("two"), name2);
    EXPECT_FALSE(io.GetNames(port(1, 0, 0), name, name2, 1));  // inputs and outputs apart

    CString all = "x";
    int number = 0, delay = 0, dither = 0, relay = 0;
    io.GetAll(port(1, 0, 0), all, number, delay, dither, relay, 0);
    EXPECT_EQ(CString(), all);
    EXPECT_EQ(-1, number);
    EXPECT_EQ(0, delay);  // found: an unset delay reads 0
    EXPECT_EQ(-1, dither);
    EXPECT_EQ(-1, relay);

    int mode = -1;
    EXPECT_FALSE(io.GetSRCMode(port(0, 0, 0), mode, 1));
    EXPECT_EQ(0, mode);
    io.SetSRCMode(port(0, 0, 0), 3, 1);
    io.SetSRCState(port(0, 0, 0), 4, 1);
    EXPECT_TRUE(io.GetSRCMode(port(0, 0, 0), mode, 1));
    EXPECT_EQ(3, mode);
    EXPECT_TRUE(io.GetSRCState(port(0, 0, 0), mode, 1));
    EXPECT_EQ(4, mode);
    io.ClearSRC(port(0, 0, 0), 1);
    EXPECT_FALSE(io.GetSRCState(port(0, 0, 0), mode, 1));

    // Relays: inputs are searched first; an unset relay is no relay.
    io.SetRelay(port(2, 3, 1, 1), 9, 0);
    io.SetRelay(port(5, 4, 7, 2), 9, 1);
    StructIOSearch found = port(0, 0, 0);
    int bInput = -1;
    EXPECT_TRUE(io.IsRelayInUse(9, found, bInput));
    EXPECT_EQ(1, bInput);
    EXPECT_EQ(std::make_tuple(5, 4, 7, 2), std::make_tuple(found.rack, found.card, found.io, found.system));
    io.Clear(port(5, 4, 7, 2), 1);
    EXPECT_TRUE(io.IsRelayInUse(9, found, bInput));
    EXPECT_EQ(0, bInput);
    EXPECT_EQ(std::make_tuple(2, 3, 1, 1), std::make_tuple(found.rack, found.card, found.io, found.system));
    EXPECT_FALSE(io.IsRelayInUse(-1, found, bInput));
    EXPECT_FALSE(io.IsRelayInUse(8, found, bInput));

    io.Clear();
    EXPECT_TRUE(io.GetPorts(0).empty() && io.GetPorts(1).empty());
}

TEST_F(IOConfigThreads, GroupLimitsAndRefusals)
{
    StartServer();
    OwnedIOConfig io;
    const StructIOSearch master = port(4, 0, 0);
    // Five members on racks 4 to 7 of the same system; a sixth is refused.
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(io.AddPortToGroup(master, port(4 + i % 4, 1, i)));
    EXPECT_FALSE(io.AddPortToGroup(master, port(5, 2, 0)));
    _structGroupedPorts group;
    ASSERT_TRUE(io.GetPortGroup(master, group));
    EXPECT_EQ(5, group.count);
    EXPECT_TRUE(io.IsGroupMaster(master));
    EXPECT_TRUE(io.IsPortGrouped(port(5, 1, 1)));
    EXPECT_FALSE(io.IsGroupMaster(port(5, 1, 1)));

    const StructIOSearch other = port(8, 0, 0);
    EXPECT_FALSE(io.AddPortToGroup(other, port(7, 0, 0)));     // another block of four racks
    EXPECT_FALSE(io.AddPortToGroup(other, port(8, 0, 1, 1)));  // another system
    EXPECT_FALSE(io.AddPortToGroup(other, other));             // the master itself
    EXPECT_FALSE(io.AddPortToGroup(other, port(5, 1, 1)));     // a member of another group
    EXPECT_FALSE(io.AddPortToGroup(other, master));            // another group's master
    EXPECT_FALSE(io.AddPortToGroup(port(5, 1, 1), port(5, 3, 0)));  // a member cannot be a master
    EXPECT_FALSE(io.AddPortToGroup(master));
    EXPECT_TRUE(io.AddPortToGroup(other, port(11, 4, 9)));

    // A member goes, the later ones move down.
    EXPECT_TRUE(io.RemovePortFromGroup(port(5, 1, 1)));
    ASSERT_TRUE(io.GetPortGroup(master, group));
    EXPECT_EQ(4, group.count);
    EXPECT_EQ(MakeIOPortKey(port(6, 1, 2)), group.members[1]);
    EXPECT_FALSE(io.IsPortGrouped(port(5, 1, 1)));
    EXPECT_FALSE(io.RemovePortFromGroup(port(5, 1, 1)));

    // The last member removes the group; a master removes its group and memberships.
    EXPECT_TRUE(io.RemovePortFromGroup(port(11, 4, 9)));
    EXPECT_FALSE(io.IsGroupMaster(other));
    EXPECT_TRUE(io.RemovePortFromGroup(master));
    EXPECT_FALSE(io.IsPortGrouped(master));
    EXPECT_FALSE(io.IsPortGrouped(port(4, 1, 0)));
    EXPECT_TRUE(io.AddPortToGroup(port(4, 1, 0)));
}

struct NameRow {
    const char* what;
    std::function<void(OwnedIOConfig&)> setUp;
    StructIOSearch port;
    int bPair;
    const char *name, *name2, *number, *full;
};

TEST_F(IOConfigThreads, DisplayNames)
{
    StartServer();
    const NameRow rows[] = {
        {"no name: the port's own text", [](OwnedIOConfig&) {}, port(0, 1, 4, 0, "1 aes 3 AB"), 1, "1 aes", "", "3 AB", "1 aes 3 AB"},
        {"no name, short text", [](OwnedIOConfig&) {}, port(0, 1, 4, 0, "abc"), 0, "abc", "", "", "abc "},
        {"pair with one name and number",
         [](OwnedIOConfig& io) {
             io.SetName(port(0, 0, 2), "Vox", 1);
             io.SetNumber(port(0, 0, 2), 7, 1);
         },
         port(0, 0, 2, 0, "1 lin 2 A"), 1, "Vox", "", "7 AB", "Vox 7 AB"},
        {"the same, single", [](OwnedIOConfig& io) { io.SetName(port(0, 0, 2), "Vox", 1), io.SetNumber(port(0, 0, 2), 7, 1); },
         port(0, 0, 2, 0, "1 lin 2 A"), 0, "Vox", "", "7 A", "Vox 7 A"},
        {"odd leg agreeing",
         [](OwnedIOConfig& io) {
             io.SetName(port(0, 0, 3), "Vox", 1), io.SetNumber(port(0, 0, 3), 7, 1);
             io.SetName(port(0, 0, 2), "Vox", 1), io.SetNumber(port(0, 0, 2), 7, 1);
         },
         port(0, 0, 3, 0, "1 lin 2 B"), 1, "Vox", "", "7 BA", "Vox 7 BA"},
        {"legs that differ",
         [](OwnedIOConfig& io) {
             io.SetName(port(0, 0, 2), "Gtr", 1), io.SetNumber(port(0, 0, 2), 3, 1);
             io.SetName(port(0, 0, 3), "Gtr", 1), io.SetNumber(port(0, 0, 3), 4, 1);
         },
         port(0, 0, 2, 0, "1 lin 2 A"), 1, "Gtr", "", "3 4", "Gtr 3 4"},
        {"legs that differ, single",
         [](OwnedIOConfig& io) { io.SetName(port(0, 0, 2), "Gtr", 1), io.SetName(port(0, 0, 3), "Bass", 1), io.SetNumber(port(0, 0, 2), 3, 1); },
         port(0, 0, 2, 0, "1 lin 2 A"), 0, "Gtr", "", "3", "Gtr 3"},
        {"second name only: the text's first five without spaces, number from the sixth",
         [](OwnedIOConfig& io) { io.SetName2(port(0, 0, 0), "Two", 1); },
         port(0, 0, 0, 0, "1 lin 9 A"), 1, "1lin", "Two", "9 AB", "1linTwo"},
        {"odd leg of a named stereo pair",
         [](OwnedIOConfig& io) {
             io.SetName(port(0, 0, 4), "Keys", 1), io.SetNumber(port(0, 0, 4), 5, 1);
             io.SetStereo(port(0, 0, 4), 1, 1);
         },
         port(0, 0, 5, 0, "1 lin 3 B"), 1, "Keys", "", "5 BA", "Keys 5 BA"},
        {"odd leg of a named stereo pair, single",
         [](OwnedIOConfig& io) { io.SetName(port(0, 0, 4), "Keys", 1), io.SetNumber(port(0, 0, 4), 5, 1), io.SetStereo(port(0, 0, 4), 1, 1); },
         port(0, 0, 5, 0, "1 lin 3 B"), 0, "Keys", "", "5 B", "Keys 5 B"},
        {"odd leg of a mono pair: its own text",
         [](OwnedIOConfig& io) { io.SetName(port(0, 0, 4), "Keys", 1); },
         port(0, 0, 5, 0, "1 lin 3 B"), 0, "1 lin", "", "3 B", "1 lin 3 B"},
        {"an output name does not name the input", [](OwnedIOConfig& io) { io.SetName(port(0, 0, 0), "Out", 0); },
         port(0, 0, 0, 0, "1 LIN 1 A"), 0, "1 LIN", "", "1 A", "1 LIN 1 A"},
        {"no name and no text", [](OwnedIOConfig&) {}, port(0, 0, 0, 0, ""), 0, "NoPort", "", "", "NoPort "},
    };
    for (const NameRow& r : rows) {
        SCOPED_TRACE(r.what);
        OwnedIOConfig io;
        r.setUp(io);
        CString name, name2, number, full;
        io.GetSplitUserName(r.port, name, name2, number, r.bPair, 1);
        EXPECT_EQ(CString(r.name), name);
        EXPECT_EQ(CString(r.name2), name2);
        EXPECT_EQ(CString(r.number), number);
        io.GetFullUserName(r.port, full, r.bPair, 1);
        EXPECT_EQ(CString(r.full), full);
    }
}

// ---- blocks ----

using Record = std::vector<uint8_t>;

Record record(std::initializer_list<std::pair<size_t, int32_t>> ints, std::initializer_list<std::pair<size_t, const char*>> texts = {})
{
    Record r(52, 0);
    for (auto [at, v] : ints) std::memcpy(r.data() + at, &v, 4);
    for (auto [at, t] : texts) std::memcpy(r.data() + at, t, std::strlen(t));
    return r;
}

// The records of a save block as a set, and its header fields.
std::multiset<Record> records(const std::vector<uint8_t>& block, size_t count)
{
    std::multiset<Record> out;
    for (size_t i = 0; i < count && 492 + 52 * (i + 1) <= block.size(); ++i)
        out.insert(Record(block.begin() + 492 + 52 * i, block.begin() + 492 + 52 * (i + 1)));
    return out;
}

int32_t field(const std::vector<uint8_t>& block, size_t at)
{
    int32_t v = 0;
    if (at + 4 <= block.size()) std::memcpy(&v, block.data() + at, 4);
    return v;
}

TEST_F(IOConfigThreads, SaveBlocksHoldEveryRecord)
{
    KivServerSim& server = StartServer();
    OwnedIOConfig io;
    io.Rate(48000);
    io.SetInputDelayUnits(enDelayMilliseconds);
    io.SetOutputDelayUnits(enDelayMetres);
    const StructIOSearch in1 = port(2, 1, 6, 3), in2 = port(0, 0, 1), out1 = port(11, 4, 63, 1);
    io.SetName(in1, "Overheads", 1);  // cut to four characters
    io.SetName2(in1, "L", 1);
    io.SetScribble(in1, "abcd", 1);
    io.SetDelay(in1, 2, 1);  // 96 samples
    io.SetDither(in1, 1, 1);
    io.SetNumber(in1, 33, 1);
    io.SetRelay(in1, 4, 1);
    io.SetStereo(in1, 1, 1);
    io.SetNumber(in2, 1, 1);
    io.SetName(out1, "Mon", 0);
    io.SetSRCMode(in2, 2, 1);
    io.SetSRCState(out1, 5, 0);
    CString name(std::string(200, 'c').c_str());
    io.Save(name, 6);
    const auto saved = KivLastBlock(server);
    ASSERT_EQ(492u + 5 * 52, saved.size());
    const int32_t header[] = {85, 0, 492 + 5 * 52};
    EXPECT_EQ(0, std::memcmp(saved.data(), header, sizeof header));
    EXPECT_EQ(std::string(155, 'c'), std::string(reinterpret_cast<const char*>(saved.data() + 16)));
    const std::vector<std::pair<size_t, int32_t>> fields = {{172, 2}, {176, 1}, {180, 1}, {184, 1}, {188, 0}, {192, 1}, {196, 2}, {480, 6}, {488, 0}};
    for (auto [at, v] : fields) EXPECT_EQ(v, field(saved, at)) << "offset " << at;
    const std::multiset<Record> expected = {
        record({{0, 2}, {4, 1}, {8, 6}, {12, 96}, {16, 1}, {20, 33}, {24, 4}, {28, 1}, {48, 3}}, {{32, "Over"}, {37, "L"}, {42, "abcd"}}),
        record({{0, 0}, {4, 0}, {8, 1}, {12, -1}, {16, -1}, {20, 1}, {24, -1}, {28, 0}, {48, 0}}),
        record({{0, 11}, {4, 4}, {8, 63}, {12, -1}, {16, -1}, {20, -1}, {24, -1}, {28, 0}, {48, 1}}, {{32, "Mon"}}),
        record({{0, 0}, {4, 0}, {8, 1}, {12, 2}, {48, 0}}),
        record({{0, 11}, {4, 4}, {8, 63}, {20, 5}, {48, 1}}),
    };
    EXPECT_EQ(expected, records(saved, 5));
    // Inputs, outputs, input converters, output converters, in that order.
    EXPECT_EQ(63, field(saved, 492 + 2 * 52 + 8));
    EXPECT_EQ(2, field(saved, 492 + 3 * 52 + 12));

    // Groups: a master record with its member count, then its members with the master's system.
    const StructIOSearch m1 = port(0, 0, 0, 2), m2 = port(8, 1, 2, 0);
    io.AddPortToGroup(m1, port(1, 1, 1, 2));
    io.AddPortToGroup(m1, port(3, 4, 5, 2));
    io.AddPortToGroup(m2);
    io.SaveGroupedPorts();
    const auto groups = KivLastBlock(server);
    ASSERT_EQ(492u + 52 * 6 * 2, groups.size());
    EXPECT_EQ(85, field(groups, 0));
    EXPECT_EQ(0, groups[16]);
    const std::vector<std::pair<size_t, int32_t>> groupFields = {{172, 0}, {176, 0}, {180, 0}, {184, 0}, {188, 4}, {192, 1}, {196, 2}, {480, 0}, {488, 1}};
    for (auto [at, v] : groupFields) EXPECT_EQ(v, field(groups, at)) << "offset " << at;
    const std::multiset<Record> expectedGroups = {
        record({{0, 0}, {4, 0}, {8, 0}, {12, 2}, {48, 2}}), record({{0, 1}, {4, 1}, {8, 1}, {48, 2}}),
        record({{0, 3}, {4, 4}, {8, 5}, {48, 2}}), record({{0, 8}, {4, 1}, {8, 2}, {12, 0}, {48, 0}})};
    EXPECT_EQ(expectedGroups, records(groups, 4));
    EXPECT_TRUE(std::all_of(groups.begin() + 492 + 4 * 52, groups.end(), [](uint8_t b) { return b == 0; }));

    // The simulator found every count in agreement with its block and kept the configuration.
    EXPECT_TRUE(server.Records("ioconfig mismatch").empty());
    ASSERT_EQ(1u, server.Records("ioconfig saved").size());
    EXPECT_NE(std::string::npos, server.Records("ioconfig saved")[0].find("records=5"));
    EXPECT_EQ(1u, server.Records("ioconfig groups").size());
}

TEST_F(IOConfigThreads, EveryCommandRowSendsItsBlock)
{
    KivServerSim& server = StartServer();
    using O = OwnedIOConfig;
    constexpr auto A = KivCallKind::AttachRead, C = KivCallKind::Command;
    const std::vector<KivRow> rows = {
        {"attach", "IOConfigKIV", KivCall<O>([](O& o) { o.IOConfigAttach("Studio A"); }), KivExpectedBlock(83, 492, 0, {KivText(16, "Studio A")}), A},
        {"set current", "IOConfigKIV", KivCall<O>([](O& o) { o.SetCurrent("cur", 1, 2, 3, UlongToHwnd(0x2A)); }),
         KivExpectedBlock(84, 492, 0x2A, {KivText(16, "cur"), KivI32(216, 2), KivI32(480, 1), KivI32(484, 3)}), C},
        {"load in memory", "IOConfigKIV", KivCall<O>([](O& o) { o.LoadInMemory("mem", 4); }),
         KivExpectedBlock(84, 492, 65535, {KivText(16, "mem"), KivI32(484, 4)}), C},
        {"set default", "IOConfigKIV", KivCall<O>([](O& o) { o.SetDefault("dflt"); }), KivExpectedBlock(86, 492, 0, {KivText(16, "dflt")}), C},
        {"quick delay, output in its own unit but the input unit sent", "IOConfigKIV",
         KivCall<O>([](O& o) {
             o.Rate(96000);
             o.SetInputDelayUnits(enDelayMetres);
             o.SetOutputDelayUnits(enDelayMilliseconds);
             o.QuickSetDelay(port(3, 2, 9, 1), 10, 0);
         }),
         KivExpectedBlock(107, 44, 0, {KivI32(16, 3), KivI32(20, 2), KivI32(24, 9), KivI32(28, 1), KivI32(32, 2), KivI32(36, 480), KivI32(40, 0)}),
         C},
        {"relays", "IOConfigKIV",
         KivCall<O>([](O& o) {
             CArray<_StructRelayPort, _StructRelayPort> relays;
             _StructRelayPort r{};
             r.port = port(1, 2, 3, 0, "1 aft 4");
             r.relay = 17;
             relays.Add(r);
             r.port.rack = 5, r.relay = 18;
             relays.Add(r);
             o.SetRelays(relays);
         }),
         KivExpectedBlock(238, 140, 0,
                          {KivI32(16, 2), KivI32(20, -1), KivI32(28, 1), KivI32(32, 2), KivI32(36, 3), KivText(44, "1 aft 4"), KivI32(76, 17),
                           KivI32(80, -1), KivI32(88, 5), KivI32(92, 2), KivI32(96, 3), KivText(104, "1 aft 4"), KivI32(136, 18)}),
         C},
        {"TQ config", "IOConfigKIV", KivCall<O>([](O& o) { o.SetTQConfig(); }), KivExpectedBlock(299, 44, 0), C},
        {"offline attach", "IOConfigKIV", KivCall<O>([](O& o) { o.OfflineIOConfigAttach(); }), KivExpectedBlock(317, 16, 0), A},
        {"interrogate", "IOConfigKIV", KivCall<O>([](O& o) { o.InterrogateIOConfig("stored"); }),
         KivExpectedBlock(318, 30812, 0, {KivText(573, "stored")}), A},
    };
    KivCheckRows(server, rows);

    // An empty relay array sends nothing.
    const size_t mark = KivRecordMark(server);
    {
        O o;
        o.SetRelays(CArray<_StructRelayPort, _StructRelayPort>());
        EXPECT_EQ(CString("IOConfigKIV"), o.GetName());
        EXPECT_EQ(CString(), o.GetCurrent());
        o.SetCurrent("now", 0, 0, 0, nullptr);
        o.SetDefault("base");
        EXPECT_EQ(CString("now"), o.GetCurrent());
        EXPECT_EQ(CString("base"), o.GetDefault());
    }
    EXPECT_EQ((std::vector<std::string>{"block 84", "block 86"}), KivCallsSince(server, mark));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(IOConfigThreads, ReattachingSaveThroughBusyAndStoredReading)
{
    KivServerSim& server = StartServer();
    OwnedIOConfig io;
    io.OfflineIOConfigAttach();
    io.SetName(port(0, 0, 0), "In", 1);
    // The save re-attaches: its subscription is opened through two busy answers.
    ASSERT_EQ("ok", server.Control("busy 2 dadvise"));
    CString name = "kept";
    io.Save(name, 0);
    EXPECT_EQ(1u, server.Records("ioconfig saved").size());
    EXPECT_EQ(2u, server.Records("advise").size());

    // Reading the stored configuration back into the offline copy re-attaches and reads it.
    io.replies.clear();
    io.InterrogateIOConfig("kept");
    ASSERT_EQ(1u, io.replies.size());
    EXPECT_EQ(492 + 52, io.replies[0]);
    EXPECT_NE(std::string::npos, server.Records("ioconfig read").back().find("found=1"));

    // A name the server does not keep: the scripted answer is what is read.
    ASSERT_EQ("ok", server.Control("on 318 set 40"));
    io.replies.clear();
    io.InterrogateIOConfig("other");
    ASSERT_EQ(1u, io.replies.size());
    EXPECT_EQ(40, io.replies[0]);
    EXPECT_TRUE(server.Records("ioconfig mismatch").empty());
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
