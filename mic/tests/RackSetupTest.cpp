// The rack setup record and its ".mic" files: layout, versions, one-rack loads, the mapping
// and slot rules, and files that are short, long, read-only or out of range.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <vector>

#include "FileContents.h"
#include "TestEnvironment.h"
#include "base/RackSetup.h"

namespace {

void writeBytes(const std::string& path, const std::vector<BYTE>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void putInt(std::vector<BYTE>& bytes, size_t offset, int32_t v)
{
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<BYTE>(static_cast<uint32_t>(v) >> (8 * i));
}

int32_t getInt(const std::vector<BYTE>& bytes, size_t offset)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
    return static_cast<int32_t>(v);
}

// A record with recognisable values in every stored table.
CRackSetup filledSetup()
{
    CRackSetup s;
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 4; ++c) {
            s.SetChannelMicLine(r, c, (r * 4 + c) % 100);
            s.SetChannelStatus(r, c, 0x50 + c);
            s.SetLineStatus(r, c, 0xC0 + r % 10);
            s.SetChannelMode(r, c, (r + c) % 2);
            s.SetChannelFlag(r, c, static_cast<BYTE>(r * 4 + c));
            s.SetLabel(r, c, ("R" + std::to_string(r) + "C" + std::to_string(c)).c_str());
        }
        s.SetRackOption(r, r % 3 == 0);
    }
    return s;
}

// The extension of a 2340-byte file, written by hand.
std::vector<BYTE> extendedFile(const CRackSetup& tables)
{
    std::vector<BYTE> bytes(2340, 0);
    tables.WriteImage(bytes.data());
    for (int i = 0; i < 18; ++i) putInt(bytes, 1940 + 4 * i, -1);
    for (int i = 0; i < 18; ++i) putInt(bytes, 2012 + 4 * i, -1);
    for (int i = 0; i < 48; ++i) putInt(bytes, 2084 + 4 * i, -1);
    putInt(bytes, 1940 + 8 * 2, 5);  // input pair 2 = (5, 1)
    putInt(bytes, 1940 + 8 * 2 + 4, 1);
    putInt(bytes, 2012 + 8 * 4, 7);  // output pair 4 = (7, 9)
    putInt(bytes, 2012 + 8 * 4 + 4, 9);
    putInt(bytes, 2084 + 4 * (3 * 6 + 2), 13);  // rack 6, slot 2 = unit 6, half b
    putInt(bytes, 2276 + 4 * 11, 4242);
    return bytes;
}

class SetupFileTest : public ::testing::Test {
protected:
    TestEnvironment env;
    std::string path = env.Path("test.mic");
};

}  // namespace

TEST(RackSetup, DefaultsAndAccessors)
{
    CRackSetup s;
    EXPECT_EQ(3, s.GetChannelStatus(15, 3));
    EXPECT_EQ(3, s.GetLineStatus(0, 0));
    EXPECT_EQ(-1, s.GetMidiSlot(0, 0));
    EXPECT_EQ(-1, s.GetPreMapping(8, 1));
    EXPECT_EQ(0, s.CountMappings());
    int unit = 9, half = 9;
    s.GetMidiSlotParts(0, 0, unit, half);
    EXPECT_EQ(0, unit);
    EXPECT_EQ(-1, half);
    s.ClearMidiSlot(2, 1, 13);
    s.GetMidiSlotParts(2, 1, unit, half);
    EXPECT_EQ(6, unit);
    EXPECT_EQ(1, half);

    s.SetLabel(1, 2, "a label that is much too long");
    EXPECT_STREQ("a label that", s.GetLabel(1, 2));
    EXPECT_STREQ("", s.GetLabel(1, 3));  // the neighbour is untouched

    // The entry counts of a rack are its own: no index reads into the next rack.
    s.SetChannelEntry(4, 0, 1);
    EXPECT_EQ(0, s.GetChannelEntry(3, 4));
    EXPECT_FALSE(s.HasChannelEntries(3, 1));
    EXPECT_TRUE(s.HasChannelEntries(4, 0));

    s.SetChannelStatus(5, 1, 0x7C);
    s.SetChannelMicLine(5, 1, 42);
    s.SetChannelMode(5, 1, 1);
    s.SetRackOption(5, TRUE);
    s.ResetRack(5);
    EXPECT_EQ(3, s.GetChannelStatus(5, 1));
    EXPECT_EQ(0, s.GetChannelMicLine(5, 1));
    EXPECT_EQ(0, s.GetChannelMode(5, 1));
    EXPECT_FALSE(s.GetRackOption(5));
}

TEST(RackSetup, MappingPairsStandInOneSlot)
{
    CRackSetup s;
    s.SetPreMapping(7, 5, 1);
    s.SetPreMapping(2, 5, 1);
    EXPECT_EQ(-1, s.GetPreMapping(7, 0));
    EXPECT_EQ(-1, s.GetPreMapping(7, 1));
    EXPECT_EQ(5, s.GetPreMapping(2, 0));
    EXPECT_EQ(1, s.GetPreMapping(2, 1));

    // A half-set pair clears nothing.
    s.SetPreMapping(4, -1, 3);
    s.SetPreMapping(5, -1, 3);
    EXPECT_EQ(3, s.GetPreMapping(4, 1));
    EXPECT_EQ(3, s.GetPreMapping(5, 1));
    EXPECT_EQ(5, s.GetPreMapping(2, 0));

    // The output table follows the same rule on its own.
    s.SetChannelMapping(0, 5, 1);
    s.SetChannelMapping(1, 5, 1);
    EXPECT_EQ(-1, s.GetChannelMapping(0, 0));
    EXPECT_EQ(5, s.GetPreMapping(2, 0));
    s.SetChannelMapping(2, 6, 0);
    EXPECT_EQ(1, s.CountMappings());  // only pair 2 has both ports
    s.SetPreMapping(3, 8, -1);
    s.SetChannelMapping(3, 8, 1);
    EXPECT_EQ(1, s.CountMappings()) << "a pair whose input has no channel links nothing";
    EXPECT_FALSE(s.IsMappingSet(3));
    EXPECT_TRUE(s.IsMappingSet(2));
    s.ClearMappings();
    EXPECT_EQ(-1, s.GetPreMapping(2, 0));
    EXPECT_EQ(0, s.CountMappings());
}

TEST(RackSetup, MidiSlotValueStandsInOneSlot)
{
    CRackSetup s;
    s.ClearMidiSlot(9, 0, 6);
    s.ClearMidiSlot(4, 2, 7);
    s.ClearMidiSlot(4, 1, 6);
    EXPECT_EQ(-1, s.GetMidiSlot(9, 0));
    EXPECT_EQ(6, s.GetMidiSlot(4, 1));
    EXPECT_EQ(7, s.GetMidiSlot(4, 2));
}

TEST(RackSetup, CopyLeavesFileValuesBehind)
{
    CRackSetup source;
    ASSERT_TRUE(source.LoadImage(1, extendedFile(filledSetup()).data(), 2340, -1));
    ASSERT_EQ(4242, source.GetRackFileValue(11));
    CRackSetup copy(source);
    EXPECT_EQ(0, copy.GetRackFileValue(11));
    EXPECT_EQ(5, copy.GetPreMapping(2, 0));
    EXPECT_STREQ("R3C2", copy.GetLabel(3, 2));
}

TEST_F(SetupFileTest, SaveWritesTheDocumentedLayout)
{
    CRackSetup s = filledSetup();
    for (int i = 0; i < CRackSetup::kMappings; ++i) {
        s.SetPreMapping(i, -1, -1);
        s.SetChannelMapping(i, -1, -1);
    }
    for (int rack = 0; rack < CRackSetup::kRacks; ++rack) {
        for (int slot = 0; slot < CRackSetup::kSlots; ++slot) s.ClearMidiSlot(rack, slot, -1);
    }
    ASSERT_FALSE(s.HasMidiExtension());
    ASSERT_TRUE(s.SaveSetupFile(path.c_str()));
    std::vector<BYTE> bytes = FileBytes(path);
    ASSERT_EQ(1940u, bytes.size());
    std::vector<BYTE> image(1940);
    s.WriteImage(image.data());
    EXPECT_EQ(image, bytes);
    EXPECT_EQ(1, getInt(bytes, 1936));
    // Rack 2, channel 1 is entry 9 of each table.
    EXPECT_EQ(9, getInt(bytes, 36));
    EXPECT_EQ(0x51, getInt(bytes, 256 + 36));
    EXPECT_EQ(0xC2, getInt(bytes, 512 + 36));
    EXPECT_EQ(1, getInt(bytes, 768 + 36));
    EXPECT_EQ(1, bytes[1024 + 3]);
    EXPECT_EQ(0, bytes[1024 + 4]);
    EXPECT_EQ(0, std::memcmp("R2C1\0\0\0\0\0\0\0\0\0", &bytes[1040 + 13 * 9], 13));
    EXPECT_EQ(9, bytes[1872 + 9]);
    EXPECT_EQ(1, CRackSetup::GetSetupFileVersion(path.c_str()));
}

TEST_F(SetupFileTest, SavedFileReadsBackAndKeepsTheUnstoredTables)
{
    ASSERT_TRUE(filledSetup().SaveSetupFile(path.c_str()));
    CRackSetup s;
    ASSERT_TRUE(s.LoadImage(1, extendedFile(CRackSetup()).data(), 2340, -1));
    ASSERT_TRUE(s.LoadSetupFile(1, path.c_str(), -1));
    CRackSetup expected = filledSetup();
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(expected.GetChannelStatus(r, c), s.GetChannelStatus(r, c));
            EXPECT_EQ(expected.GetLineStatus(r, c), s.GetLineStatus(r, c));
            EXPECT_EQ(expected.GetChannelMicLine(r, c), s.GetChannelMicLine(r, c));
            EXPECT_EQ(expected.GetChannelMode(r, c), s.GetChannelMode(r, c));
            EXPECT_STREQ(expected.GetLabel(r, c), s.GetLabel(r, c));
            EXPECT_EQ(expected.GetChannelFlag(r, c), s.GetChannelFlag(r, c));
        }
        EXPECT_EQ(expected.GetRackOption(r), s.GetRackOption(r));
    }
    // No extension in the file: the tables stay as they were.
    EXPECT_EQ(5, s.GetPreMapping(2, 0));
    EXPECT_EQ(9, s.GetChannelMapping(4, 1));
    EXPECT_EQ(13, s.GetMidiSlot(6, 2));
    EXPECT_EQ(4242, s.GetRackFileValue(11));
}

TEST_F(SetupFileTest, VersionZeroFileClearsMappingsAndSlots)
{
    std::vector<BYTE> bytes(1940);
    filledSetup().WriteImage(bytes.data());
    bytes.resize(1936);
    writeBytes(path, bytes);
    ASSERT_EQ(0, CRackSetup::GetSetupFileVersion(path.c_str()));

    CRackSetup s;
    ASSERT_TRUE(s.LoadImage(1, extendedFile(CRackSetup()).data(), 2340, -1));
    ASSERT_TRUE(s.LoadSetupFile(0, path.c_str(), -1));
    EXPECT_EQ(0x52, s.GetChannelStatus(7, 2));
    EXPECT_EQ(-1, s.GetPreMapping(2, 0));
    EXPECT_EQ(-1, s.GetChannelMapping(4, 0));
    EXPECT_EQ(-1, s.GetMidiSlot(6, 2));
    EXPECT_EQ(0, s.GetRackFileValue(11));
}

TEST_F(SetupFileTest, ExtendedFileLoadsTheExtension)
{
    writeBytes(path, extendedFile(filledSetup()));
    ASSERT_EQ(1, CRackSetup::GetSetupFileVersion(path.c_str()));
    CRackSetup s;
    ASSERT_TRUE(s.LoadSetupFile(1, path.c_str(), -1));
    EXPECT_EQ(5, s.GetPreMapping(2, 0));
    EXPECT_EQ(1, s.GetPreMapping(2, 1));
    EXPECT_EQ(7, s.GetChannelMapping(4, 0));
    EXPECT_EQ(9, s.GetChannelMapping(4, 1));
    EXPECT_EQ(13, s.GetMidiSlot(6, 2));
    EXPECT_EQ(-1, s.GetMidiSlot(6, 1));
    EXPECT_EQ(4242, s.GetRackFileValue(11));
}

TEST_F(SetupFileTest, OneRackLoadChangesOnlyThatRack)
{
    writeBytes(path, extendedFile(filledSetup()));
    CRackSetup s;
    s.ClearMidiSlot(6, 2, 4);
    ASSERT_TRUE(s.LoadSetupFile(1, path.c_str(), 6));
    CRackSetup expected = filledSetup();
    CRackSetup untouched;
    for (int r = 0; r < 16; ++r) {
        const CRackSetup& want = r == 6 ? expected : untouched;
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(want.GetChannelStatus(r, c), s.GetChannelStatus(r, c)) << r;
            EXPECT_EQ(want.GetLineStatus(r, c), s.GetLineStatus(r, c)) << r;
            EXPECT_EQ(want.GetChannelMicLine(r, c), s.GetChannelMicLine(r, c)) << r;
            EXPECT_EQ(want.GetChannelMode(r, c), s.GetChannelMode(r, c)) << r;
            EXPECT_STREQ(want.GetLabel(r, c), s.GetLabel(r, c)) << r;
            EXPECT_EQ(want.GetChannelFlag(r, c), s.GetChannelFlag(r, c)) << r;
        }
        EXPECT_EQ(want.GetRackOption(r), s.GetRackOption(r)) << r;
    }
    // The extension is not read for one rack.
    EXPECT_EQ(-1, s.GetPreMapping(2, 0));
    EXPECT_EQ(4, s.GetMidiSlot(6, 2));
}

TEST_F(SetupFileTest, VersionsByLength)
{
    struct Case {
        size_t length;
        int versionWord;
        int expected;
    };
    const Case cases[] = {
        {0, 0, -1},       {100, 0, -1},     {1935, 0, -1},  {1936, 0, 0},    {1937, 0, -1},
        {1939, 0, -1},    {1940, 1, 1},     {1940, 2, 2},   {2000, 1, 1},    {2340, 1, 1},
        {3000, 7, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<BYTE> bytes(c.length, 0x41);
        if (c.length >= 1940) putInt(bytes, 1936, c.versionWord);
        writeBytes(path, bytes);
        EXPECT_EQ(c.expected, CRackSetup::GetSetupFileVersion(path.c_str()));
    }
    EXPECT_EQ(-1, CRackSetup::GetSetupFileVersion(env.Path("missing.mic").c_str()));
}

TEST_F(SetupFileTest, ReadOnlyFileLoads)
{
    ASSERT_TRUE(filledSetup().SaveSetupFile(path.c_str()));
    ASSERT_EQ(0, ::chmod(path.c_str(), 0444));
    CRackSetup s;
    EXPECT_EQ(1, CRackSetup::GetSetupFileVersion(path.c_str()));
    EXPECT_TRUE(s.LoadSetupFile(1, path.c_str(), -1));
    EXPECT_STREQ("R15C3", s.GetLabel(15, 3));
    // Saving over it is refused and leaves it whole.
    if (::geteuid() != 0) {
        EXPECT_FALSE(CRackSetup().SaveSetupFile(path.c_str()));
        EXPECT_EQ(FileBytes(path).size(), 1940u);
    }
}

TEST_F(SetupFileTest, OutOfRangeValuesAreCleared)
{
    std::vector<BYTE> bytes = extendedFile(filledSetup());
    putInt(bytes, 4 * 5, 100);             // mic line of rack 1 channel 1
    putInt(bytes, 4 * 6, -3);              // mic line of rack 1 channel 2
    putInt(bytes, 4 * 10, 99);             // the highest line, rack 2 channel 2
    std::memset(&bytes[1040 + 13 * 7], 'x', 13);  // an unterminated label
    putInt(bytes, 1940 + 8 * 3, 32);       // input port 32 does not exist
    putInt(bytes, 1940 + 8 * 3 + 4, 0);
    putInt(bytes, 1940 + 8 * 5, 5);        // the pair of slot 2 again
    putInt(bytes, 1940 + 8 * 5 + 4, 1);
    putInt(bytes, 2012 + 8 * 1 + 4, 16);   // MIDI channel 16 does not exist
    putInt(bytes, 2084 + 4 * 0, 18);       // slot value beyond unit 8 half b
    putInt(bytes, 2084 + 4 * 1, 13);       // the value of rack 6 slot 2, earlier in the table
    CRackSetup s;
    ASSERT_TRUE(s.LoadImage(1, bytes.data(), bytes.size(), -1));
    EXPECT_EQ(0, s.GetChannelMicLine(1, 1));
    EXPECT_EQ(0, s.GetChannelMicLine(1, 2));
    EXPECT_EQ(99, s.GetChannelMicLine(2, 2));
    EXPECT_STREQ("xxxxxxxxxxxx", s.GetLabel(1, 3));
    EXPECT_STREQ("R2C0", s.GetLabel(2, 0));
    EXPECT_EQ(-1, s.GetPreMapping(3, 0));
    EXPECT_EQ(0, s.GetPreMapping(3, 1));
    EXPECT_EQ(5, s.GetPreMapping(2, 0));
    EXPECT_EQ(-1, s.GetPreMapping(5, 0));
    EXPECT_EQ(-1, s.GetChannelMapping(1, 1));
    EXPECT_EQ(-1, s.GetMidiSlot(0, 0));
    EXPECT_EQ(13, s.GetMidiSlot(0, 1));
    EXPECT_EQ(-1, s.GetMidiSlot(6, 2));
}

TEST_F(SetupFileTest, MidiAssignmentIsSavedAndReadBackWhole)
{
    // A pair, a slot: the save carries the extension.
    for (int what = 0; what < 2; ++what) {
        SCOPED_TRACE(what);
        CRackSetup s;
        if (what == 0) s.SetChannelMapping(3, 7, 9);
        else s.ClearMidiSlot(5, 0, 4);
        ASSERT_TRUE(s.HasMidiExtension());
        ASSERT_TRUE(s.SaveSetupFile(path.c_str()));
        EXPECT_EQ(2340u, FileBytes(path).size());
        CRackSetup back;
        ASSERT_TRUE(back.LoadSetupFile(CRackSetup::GetSetupFileVersion(path.c_str()), path.c_str(), -1));
        EXPECT_EQ(back.GetChannelMapping(3, 0), what == 0 ? 7 : -1);
        EXPECT_EQ(back.GetChannelMapping(3, 1), what == 0 ? 9 : -1);
        EXPECT_EQ(back.GetMidiSlot(5, 0), what == 1 ? 4 : -1);
    }
    CRackSetup filled = filledSetup();
    ASSERT_TRUE(filled.SaveSetupFile(path.c_str()));
    CRackSetup back;
    ASSERT_TRUE(back.LoadSetupFile(1, path.c_str(), -1));
    for (int i = 0; i < CRackSetup::kMappings; ++i) {
        for (int part = 0; part < 2; ++part) {
            EXPECT_EQ(back.GetPreMapping(i, part), filled.GetPreMapping(i, part));
            EXPECT_EQ(back.GetChannelMapping(i, part), filled.GetChannelMapping(i, part));
        }
    }
    for (int rack = 0; rack < CRackSetup::kRacks; ++rack) {
        for (int slot = 0; slot < CRackSetup::kSlots; ++slot) EXPECT_EQ(back.GetMidiSlot(rack, slot), filled.GetMidiSlot(rack, slot));
    }
}

TEST_F(SetupFileTest, PartialExtensionTableIsNotRead)
{
    std::vector<BYTE> bytes = extendedFile(filledSetup());
    bytes.resize(1940 + 72 + 40);  // the input table whole, the output table cut
    CRackSetup s;
    s.SetChannelMapping(4, 2, 2);
    ASSERT_TRUE(s.LoadImage(1, bytes.data(), bytes.size(), -1));
    EXPECT_EQ(5, s.GetPreMapping(2, 0));
    EXPECT_EQ(2, s.GetChannelMapping(4, 0));
    EXPECT_EQ(-1, s.GetMidiSlot(6, 2));
}

TEST_F(SetupFileTest, FailedSaveKeepsThePreviousFile)
{
    ASSERT_TRUE(filledSetup().SaveSetupFile(path.c_str()));
    const std::vector<BYTE> before = FileBytes(path);
    std::string folder = env.Path("folder.mic");
    ASSERT_EQ(0, ::mkdir(folder.c_str(), 0755));
    EXPECT_FALSE(CRackSetup().SaveSetupFile(folder.c_str()));
    EXPECT_EQ(before, FileBytes(path));
}
