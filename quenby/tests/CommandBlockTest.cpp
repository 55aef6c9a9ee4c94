// The command numbering and the command block's layout.
#include <gtest/gtest.h>

#include <cstring>

#include "quenby/CommsStructure.h"
#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"
#include "winport/GlobalMemory.h"
#include "winport/MbString.h"

namespace {

TEST(KIVCommands, TableHasEveryCommandByNumber)
{
    EXPECT_EQ(334, kKIVCommandCount);
    struct Row { int number; const char* name; };
    for (Row r : {Row{0, "AttachToControl"}, Row{28, "AttachToConsoleSetupList"}, Row{49, "AttachToOperatingStyles"},
                  Row{50, "SetOperatingStylesCommand"}, Row{180, "CancelCommand"}, Row{192, "AttachToClientMonitor"},
                  Row{204, "RequestCompleteShutdownCommand"}, Row{276, "AttachToMicLine"},
                  Row{299, "SetTessaractConfig"}, Row{333, "NULLCommand"}}) {
        SCOPED_TRACE(r.number);
        EXPECT_STREQ(r.name, KIVCommandNames[r.number]);
        EXPECT_STREQ(r.name, KIVCommandName(r.number));
    }
    EXPECT_EQ(180, CancelCommand);
    EXPECT_EQ(276, AttachToMicLine);
    EXPECT_EQ(192, AttachToClientMonitor);
    EXPECT_EQ(nullptr, KIVCommandName(-1));
    EXPECT_EQ(nullptr, KIVCommandName(334));
    for (int i = 0; i < kKIVCommandCount; ++i) {
        for (int j = i + 1; j < kKIVCommandCount; ++j) ASSERT_STRNE(KIVCommandNames[i], KIVCommandNames[j]);
    }
}

TEST(CommandBlock, HeaderAndBodyAreLaidOutAsSent)
{
    // A bare command: 16 bytes, window 0, reserved 0.
    HGLOBAL bare = KIVAllocCommandBlock(CancelCommand, kKIVBareCommandSize);
    ASSERT_NE(nullptr, bare);
    ASSERT_EQ(16u, GlobalSize(bare));
    const uint8_t expected[16] = {180, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(expected, GlobalLock(bare), 16));
    GlobalUnlock(bare);
    GlobalFree(bare);

    HGLOBAL block = KIVAllocCommandBlock(AttachToMicLine, 496, UlongToHwnd(0x1234));
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    const uint8_t header[16] = {0x14, 1, 0, 0, 0x34, 0x12, 0, 0, 0xF0, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(header, bytes, 16));
    for (int i = 16; i < 496; ++i) ASSERT_EQ(0, bytes[i]) << i;
    GlobalUnlock(block);
    GlobalFree(block);

    // Numbers outside the table and sizes below a header are never built.
    EXPECT_EQ(nullptr, KIVAllocCommandBlock(-1, 16));
    EXPECT_EQ(nullptr, KIVAllocCommandBlock(334, 16));
    EXPECT_EQ(nullptr, KIVAllocCommandBlock(CancelCommand, 15));
}

TEST(CommandBlock, ReplySizeIsTrustedOnlyWithinTheBytesReceived)
{
    uint8_t block[64] = {};
    struct Row { int32_t sizeField; size_t received; size_t usable; };
    for (Row r : {Row{16, 16, 16}, Row{64, 64, 64}, Row{40, 64, 40}, Row{65, 64, 0}, Row{15, 64, 0},
                  Row{-1, 64, 0}, Row{16, 12, 0}}) {
        SCOPED_TRACE(r.sizeField);
        std::memcpy(block + 8, &r.sizeField, 4);
        EXPECT_EQ(r.usable, KIVReplySize(block, r.received));
    }
    EXPECT_EQ(0u, KIVReplySize(nullptr, 64));
}

TEST(CommandBlock, TextCopyStopsAtTheLimit)
{
    unsigned char field[8];
    std::memset(field, 0xAA, sizeof field);
    _mbsnbcpy(field, reinterpret_cast<const unsigned char*>("mic"), 6);
    EXPECT_EQ(0, std::memcmp("mic\0\0\0\xAA\xAA", field, 8));
    std::memset(field, 0xAA, sizeof field);
    _mbsnbcpy(field, reinterpret_cast<const unsigned char*>("client"), 6);  // fills it exactly: no terminator
    EXPECT_EQ(0, std::memcmp("client\xAA\xAA", field, 8));
    _mbsnbcpy(field, reinterpret_cast<const unsigned char*>("toolongname"), 6);
    EXPECT_EQ(0, std::memcmp("toolon\xAA\xAA", field, 8));

    // Names into a block's fields: cut to the field less one, always ended, nothing beyond.
    KivBlock block(CancelCommand, 32);
    block.PutBytes(16, "\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA\xAA", 16);
    EXPECT_TRUE(block.PlainName(16, 6, "client"));
    EXPECT_TRUE(block.PlainName(24, 8, "mic"));
    HGLOBAL h = block.Take();
    auto* bytes = static_cast<uint8_t*>(GlobalLock(h));
    EXPECT_EQ(0, std::memcmp("clien\0\xAA", bytes + 16, 7));
    EXPECT_EQ(0, std::memcmp("mic\0\0\0\0\0", bytes + 24, 8));
    GlobalUnlock(h);
    GlobalFree(h);
    KivBlock beyond(CancelCommand, 32);
    EXPECT_FALSE(beyond.PlainName(28, 8, "beyond"));  // the field would end past the block
    EXPECT_EQ(nullptr, beyond.Take());
}

}  // namespace
