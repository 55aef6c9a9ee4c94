#include <gtest/gtest.h>

#include <vector>

#include "winport/MessageWire.h"

namespace {

using winport::DecodeWindowDatagram;
using winport::WindowDatagram;

// Written by hand from the layout: magic, target, message, pid, wParam, lParam, name length, name.
const std::vector<uint8_t> kRegisteredDatagram = {
    'W', 'P', 'M', '1',                              // magic
    0x78, 0x56, 0x34, 0x12,                          // target 0x12345678
    0x05, 0xC0, 0x00, 0x00,                          // message 0xC005
    0x39, 0x30, 0x00, 0x00,                          // pid 12345
    0x1B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // wParam 27
    0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // lParam -2
    0x03, 0x00,                                      // name length
    'A', 'b', 'c'};

TEST(MessageWire, DatagramBytesFollowTheLayout)
{
    WindowDatagram d;
    d.target = 0x12345678;
    d.message = 0xC005;
    d.senderPid = 12345;
    d.wParam = 27;
    d.lParam = -2;
    d.name = "Abc";
    EXPECT_EQ(winport::EncodeWindowDatagram(d), kRegisteredDatagram);
    WindowDatagram back;
    ASSERT_TRUE(DecodeWindowDatagram(kRegisteredDatagram.data(), kRegisteredDatagram.size(), &back));
    EXPECT_EQ(back.target, d.target);
    EXPECT_EQ(back.message, d.message);
    EXPECT_EQ(back.senderPid, d.senderPid);
    EXPECT_EQ(back.wParam, d.wParam);
    EXPECT_EQ(back.lParam, d.lParam);
    EXPECT_EQ(back.name, d.name);
}

TEST(MessageWire, MalformedDatagramsAreRefused)
{
    auto with = [](size_t at, uint8_t value) {
        auto b = kRegisteredDatagram;
        b[at] = value;
        return b;
    };
    auto shorter = std::vector<uint8_t>(kRegisteredDatagram.begin(), kRegisteredDatagram.end() - 1);
    auto longer = kRegisteredDatagram;
    longer.push_back('d');
    auto plain = kRegisteredDatagram;  // an ordinary message that carries a name
    plain[9] = 0x04;
    auto unnamed = std::vector<uint8_t>(kRegisteredDatagram.begin(), kRegisteredDatagram.begin() + 34);
    unnamed[32] = 0;  // a registered number without its name
    const std::vector<std::vector<uint8_t>> bad = {
        {}, with(0, 'X'), shorter, longer, plain, unnamed, with(34, '\n'), with(35, 0),
        with(32, 0xFF),  // name length beyond the data
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_FALSE(DecodeWindowDatagram(bad[i].data(), bad[i].size(), nullptr)) << "case " << i;
    }
    EXPECT_FALSE(DecodeWindowDatagram(nullptr, 40, nullptr));
}

TEST(MessageWire, TableKeepsValidLinesAndSkipsDamagedOnes)
{
    const char* text =
        "C000 Automation Event Notication\n"
        "C001 Automation Needs Status\n"
        "bad line\n"
        "0400 below the range\n"
        "C002 automation needs status\n"   // the same name again
        "C000 Another\n"                   // the same number again
        "c00a lower-case digits\n"
        "C003\n"                           // no name
        "C004 torn line without end";
    auto entries = winport::ParseMessageTable(text);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].id, 0xC000u);
    EXPECT_EQ(entries[0].name, "Automation Event Notication");
    EXPECT_EQ(entries[1].id, 0xC001u);
    EXPECT_EQ(entries[2].id, 0xC00Au);
    EXPECT_EQ(winport::FormatMessageTableLine({0xC00A, "x y"}), "C00A x y\n");
}

}  // namespace
