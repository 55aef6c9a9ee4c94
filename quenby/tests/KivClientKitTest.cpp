// The client-object kit on its own: building blocks field by field, the three name forms at
// their field's edges, refused writes and blocks, bounded reading of replies, the path
// numbering and the default labels.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../testtools/KivClientTestKit.h"
#include "quenby/KivClientKit.h"

namespace {

std::vector<uint8_t> taken(KivBlock& block)
{
    HGLOBAL h = block.Take();
    if (!h) return {};
    auto* p = static_cast<uint8_t*>(GlobalLock(h));
    std::vector<uint8_t> bytes(p, p + GlobalSize(h));
    GlobalUnlock(h);
    GlobalFree(h);
    return bytes;
}

TEST(KivBlock, WritesLandLittleEndianAtTheirOffsets)
{
    KivBlock block(5, 40, UlongToHwnd(0x1234));
    ASSERT_TRUE(block.Made());
    EXPECT_EQ(40u, block.Size());
    EXPECT_TRUE(block.Put8(16, 0xA5));
    EXPECT_TRUE(block.Put16(18, 0xBEEF));
    EXPECT_TRUE(block.Put32(20, -2));
    EXPECT_TRUE(block.PutBytes(24, "abc", 3));
    EXPECT_TRUE(block.Put32(36, 0x01020304));  // the last four bytes
    const uint8_t expected[40] = {5,    0,    0, 0, 0x34, 0x12, 0, 0, 40,  0,    0,    0,    0, 0, 0, 0,
                                  0xA5, 0,    0xEF, 0xBE, 0xFE, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c', 0,
                                  0,    0,    0, 0, 0, 0, 0, 0, 4, 3, 2, 1};
    EXPECT_TRUE(KivBlocksEqual(std::vector<uint8_t>(expected, expected + 40), taken(block)));
}

TEST(KivBlock, NameFormsAtTheirFieldsEdges)
{
    // A field of 8 bytes at 16, the next field (a marker) at 24.
    enum Form { Plain, Bounded, Length };
    struct Row {
        Form form;
        const char* name;
        const char* field;  // the 8 bytes expected
    };
    const Row rows[] = {
        {Plain, "", "\0\0\0\0\0\0\0\0"},          {Plain, "abcdefg", "abcdefg\0"},
        {Plain, "abcdefgh", "abcdefg\0"},         {Plain, "abcdefghi", "abcdefg\0"},
        {Bounded, "", "\0\0\0\0\0\0\0\0"},        {Bounded, "abcdefg", "abcdefg\0"},
        {Bounded, "abcdefgh", "abcdefgh"},        {Bounded, "abcdefghi", "abcdefgh"},
        {Length, "", "\0\0\0\0\0\0\0\0"},         {Length, "abcdefg", "abcdefg\0"},
        {Length, "abcdefgh", "abcdefg\0"},        {Length, "abcdefghi", "abcdefg\0"},
        {Bounded, "ab\xE9", "ab\xE9\0\0\0\0\0"},  // one byte per Windows-1252 character
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string("form ") + std::to_string(r.form) + " name \"" + r.name + "\"");
        KivBlock block(5, 32);
        ASSERT_TRUE(block.Put8(15, 0x5A));
        ASSERT_TRUE(block.Put8(24, 0x5A));
        bool ok = r.form == Plain ? block.PlainName(16, 8, r.name)
                  : r.form == Bounded ? block.BoundedName(16, 8, r.name)
                                      : block.LengthName(16, 8, r.name);
        EXPECT_TRUE(ok);
        auto expected = KivExpectedBlock(5, 32, 0, {KivU8(15, 0x5A), KivU8(24, 0x5A)});
        std::memcpy(expected.data() + 16, r.field, 8);
        EXPECT_TRUE(KivBlocksEqual(expected, taken(block)));
    }
}

TEST(KivBlock, WritesOutsideTheBlockAreRefusedAndTheBlockIsNotSent)
{
    struct Row {
        const char* what;
        bool (*write)(KivBlock&);
    };
    const Row rows[] = {
        {"32 bits over the end", [](KivBlock& b) { return b.Put32(30, 1); }},
        {"16 bits past the end", [](KivBlock& b) { return b.Put16(32, 1); }},
        {"bytes at a huge offset", [](KivBlock& b) { return b.PutBytes(SIZE_MAX - 1, "ab", 2); }},
        {"a name field over the end", [](KivBlock& b) { return b.PlainName(28, 8, "x"); }},
        {"a bounded name over the end", [](KivBlock& b) { return b.BoundedName(30, 8, ""); }},
        {"a length name of no width", [](KivBlock& b) { return b.LengthName(16, 0, "x"); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        KivBlock block(5, 32);
        ASSERT_TRUE(block.Put32(16, 7));
        EXPECT_FALSE(r.write(block));
        EXPECT_TRUE(block.Refused());
        EXPECT_TRUE(block.Put32(20, 8));  // later writes still land, but the block stays refused
        EXPECT_EQ(nullptr, block.Take());
    }
}

TEST(KivBlock, BlocksThatCannotBeMadeAreNeverHandedOver)
{
    const int64_t bound = static_cast<int64_t>(KivBlock::MaxSize());
    EXPECT_EQ(1 << 20, bound);  // the transport's bound
    struct Row {
        int command;
        int64_t size;
        bool made;
    };
    for (Row r : {Row{5, 15, false}, Row{5, -1, false}, Row{5, bound + 1, false}, Row{5, 460000 + 39LL * 100000000, false},
                  Row{334, 16, false}, Row{-1, 16, false}, Row{5, 16, true}, Row{5, bound, true}}) {
        SCOPED_TRACE(std::to_string(r.command) + " " + std::to_string(r.size));
        KivBlock block(r.command, r.size);
        EXPECT_EQ(r.made, block.Made());
        EXPECT_EQ(r.made, block.Put32(12, 0));
        HGLOBAL h = block.Take();
        EXPECT_EQ(r.made, h != nullptr);
        if (h) GlobalFree(h);
    }
}

TEST(KivReplyReader, ReadsStopAtTheBlocksSizeField)
{
    // 64 bytes arrived, the size field says 28: bytes 28 on are not the block's.
    uint8_t bytes[64];
    std::memset(bytes, 'z', sizeof bytes);
    const int32_t header[4] = {22, 0, 28, 0};
    std::memcpy(bytes, header, 16);
    const int32_t value = -5;
    std::memcpy(bytes + 16, &value, 4);
    std::memcpy(bytes + 20, "name\0\0\0\0", 8);
    KivReplyReader in(reinterpret_cast<_CommsStructure*>(bytes));
    EXPECT_EQ(28u, in.Size());
    EXPECT_EQ(22, in.Command());
    EXPECT_EQ(-5, in.Get32(16));
    EXPECT_EQ(-1, in.Get32(26, -1));  // half outside
    EXPECT_EQ(0x616E, in.Get16(20));
    EXPECT_EQ(0, in.Get8(28));
    EXPECT_EQ(CString("name"), in.GetString(20, 8));
    EXPECT_EQ(CString("na"), in.GetString(20, 2));       // the field's width
    EXPECT_EQ(CString(), in.GetString(24, 100));
    EXPECT_EQ(CString(), in.GetString(28, 8));
    uint8_t out[8] = {};
    EXPECT_FALSE(in.GetBytes(24, out, 8));
    EXPECT_EQ(0, out[0]);

    // A text that runs to the block's end has no zero in the block: it ends there.
    std::memcpy(bytes + 20, "abcdefgh", 8);
    EXPECT_EQ(CString("abcdefgh"), in.GetString(20, 100));
}

TEST(KivPaths, OffsetsAndKindsFollowTheNumberingOrder)
{
    // Counts by kind: channel 48, group 8, track 24, the rest 0.
    int counts[14] = {};
    counts[0] = 48;
    counts[1] = 8;
    counts[7] = 24;
    EXPECT_EQ(0, KivKindOffset(counts, 14, 0));
    EXPECT_EQ(48, KivKindOffset(counts, 14, 7));
    EXPECT_EQ(72, KivKindOffset(counts, 14, 1));
    EXPECT_EQ(80, KivKindOffset(counts, 14, 13));
    EXPECT_EQ(0, KivKindOffset(counts, 14, 14));
    EXPECT_EQ(0, KivKindOffset(counts, 14, -1));
    struct Row {
        int path, kind;
    };
    for (Row r : {Row{0, 0}, Row{47, 0}, Row{48, 7}, Row{50, 7}, Row{72, 1}, Row{79, 1}, Row{80, -1}, Row{-1, -1}}) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(r.kind, KivKindOfPath(counts, 14, r.path));
    }
    // Aux 4, cue 2: cues follow the auxes; with only the first eight counts given, kinds 8 on
    // count 0.
    counts[3] = 4;
    counts[8] = 2;
    EXPECT_EQ(84, KivKindOffset(counts, 14, 8));
    EXPECT_EQ(84, KivKindOffset(counts, 8, 4));
    EXPECT_EQ(-1, KivKindOfPath(counts, 8, 85));
}

TEST(KivPaths, DefaultLabels)
{
    const KivLabelFormats below10 = {"  %d", "GRP%d", "MAI%d", "AU %d", "LS%d", "TBK ", "SEL%d",
                                     "TRK%d", "CUE%d", "EXT%d", "FLM%d", "FLS%d", "PD%d", "SC%d"};
    const KivLabelFormats from10 = {"%d", "GR%d", "MA%d", "AU%d", "LS%d", "TBK ", "SE%d",
                                    "TR%d", "CU%d", "EX%d", "FL%d", "FS%d", "PD%d", "SC%d"};
    struct Row {
        int kind, number, mixMinus, consoleType;
        const char* label;
    };
    const Row rows[] = {
        {0, 9, 0, 3, "  9"},   {0, 10, 0, 3, "10"},   {3, 3, 0, 3, "AU 3"},  {3, 12, 0, 3, "AU12"},
        {2, 1, 0, 3, "MAIN"},  {2, 2, 0, 3, "MAI2"},  {5, 4, 0, 3, "TBK "},  {7, 10, 0, 3, "TR10"},
        {13, 2, 0, 3, "SC2"},  {14, 3, 0, 3, "S 3 "}, {14, 12, 0, 3, "S 12"}, {15, 1, 0, 3, ""},
        {-1, 1, 0, 3, ""},
        // Groups with two mix-minus groups: "MM", then numbered on from 1 on console type 4 only;
        // the table is chosen by the group's own number.
        {1, 1, 2, 4, "MM"},    {1, 2, 2, 4, "MM"},    {1, 3, 2, 4, "GRP1"},  {1, 12, 2, 4, "GR10"},
        {1, 3, 2, 3, "GRP3"},  {1, 1, 0, 4, "GRP1"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.kind) + " " + std::to_string(r.number));
        EXPECT_EQ(CString(r.label), KivDefaultLabel(r.kind, r.number, below10, from10, r.mixMinus, r.consoleType));
    }
}

}  // namespace
