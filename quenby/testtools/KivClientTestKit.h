// What the tests of client classes share: expected blocks written as rows of fields, a
// whole-block comparison that prints the bytes that differ, and the calls an object made as
// the server simulator recorded them.
//
// A test of a client class:
//
//   TEST_F(KivServerTest, FooThreads...) {
//       KivServerSim& server = StartServer();
//       CFooKIVObject foo;
//       size_t mark = KivRecordMark(server);
//       foo.SetFoo("name", 7, UlongToHwnd(0x2A));
//       EXPECT_EQ((std::vector<std::string>{"block 123"}), KivCallsSince(server, mark));
//       EXPECT_TRUE(KivBlocksEqual(KivExpectedBlock(123, 60, 0x2A, {KivText(20, "name"), KivI32(56, 7)}),
//                                  KivLastBlock(server)));
//   }
//
// Expected blocks are written from the wire layout by hand (numbers, not the code's
// constants); every byte a row does not list is zero.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "KivServerFixture.h"  // testsupport
#include "winport/CString.h"

/// Bytes at an offset of an expected block.
struct KivField {
    size_t offset;
    std::vector<uint8_t> bytes;
};

inline KivField KivI32(size_t offset, int32_t value)
{
    std::vector<uint8_t> b(4);
    std::memcpy(b.data(), &value, 4);
    return {offset, b};
}
inline KivField KivI16(size_t offset, int16_t value)
{
    std::vector<uint8_t> b(2);
    std::memcpy(b.data(), &value, 2);
    return {offset, b};
}
inline KivField KivU8(size_t offset, uint8_t value) { return {offset, {value}}; }
/// The text's bytes without a terminator (the zeros around it are the block's).
inline KivField KivText(size_t offset, const std::string& text) { return {offset, {text.begin(), text.end()}}; }

/// A block of `size` bytes: command at 0, window at 4, size at 8, the fields, zeros elsewhere.
inline std::vector<uint8_t> KivExpectedBlock(int32_t command, int32_t size, uint32_t window,
                                             std::initializer_list<KivField> fields = {})
{
    std::vector<uint8_t> block(static_cast<size_t>(size), 0);
    std::memcpy(block.data(), &command, 4);
    std::memcpy(block.data() + 4, &window, 4);
    std::memcpy(block.data() + 8, &size, 4);
    for (const KivField& f : fields) {
        if (f.offset + f.bytes.size() > block.size()) {
            ADD_FAILURE() << "expected field at " << f.offset << " lies outside the block";
            continue;
        }
        std::memcpy(block.data() + f.offset, f.bytes.data(), f.bytes.size());
    }
    return block;
}

/// Equal blocks, or a failure that names the sizes and the first differing bytes in hex.
inline ::testing::AssertionResult KivBlocksEqual(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& actual)
{
    if (expected == actual) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    if (expected.size() != actual.size()) failure << "size " << actual.size() << ", expected " << expected.size() << "; ";
    size_t shown = 0, differing = 0;
    for (size_t i = 0; i < std::min(expected.size(), actual.size()); ++i) {
        if (expected[i] == actual[i]) continue;
        ++differing;
        if (shown < 24) {
            char text[64];
            std::snprintf(text, sizeof text, "\n  offset %zu: %02X, expected %02X", i, actual[i], expected[i]);
            failure << text;
            ++shown;
        }
    }
    if (differing > shown) failure << "\n  ... " << differing - shown << " more bytes differ";
    return failure;
}

/// The record's length now: calls after it are the ones KivCallsSince returns.
inline size_t KivRecordMark(KivServerSim& server) { return server.Records("").size(); }

/// The calls of the client since the mark, in order: "unadvise", "block N" (N the command),
/// "advise", "read".
inline std::vector<std::string> KivCallsSince(KivServerSim& server, size_t mark)
{
    std::vector<std::string> calls;
    auto lines = server.Records("");
    for (size_t i = mark; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::string word = line.substr(0, line.find(' '));
        if (word == "block") {
            size_t at = line.find(" cmd=") + 5;
            calls.push_back("block " + line.substr(at, line.find(' ', at) - at));
        } else if (word == "unadvise" || word == "advise" || word == "read") {
            calls.push_back(word);
        }
    }
    return calls;
}

/// The last block the server received, whole.
inline std::vector<uint8_t> KivLastBlock(KivServerSim& server)
{
    auto blocks = server.Records("block");
    return blocks.empty() ? std::vector<uint8_t>{} : server.Block(blocks.back());
}

// ---- tables of method calls ----

/// What a row's call does with the subscription: a command only sends its block; an attach or
/// re-attaching command sends it between the subscription's end and start and reads at once
/// (AttachRead) or not (AttachNoRead). Each row runs on a fresh object, whose destruction ends
/// the subscription it opened.
enum class KivCallKind { Command, AttachRead, AttachNoRead };

/// One method call on a fresh object of class T; returns the object's tag.
template <class T>
std::function<CString()> KivCall(void (*method)(T&))
{
    return [method] {
        T object;
        method(object);
        return object.GetName();
    };
}

struct KivRow {
    const char* what;
    const char* tag;
    std::function<CString()> run;
    std::vector<uint8_t> block;
    KivCallKind kind = KivCallKind::Command;
};

/// Runs every row against the server: the tag, the calls in order and the whole block.
inline void KivCheckRows(KivServerSim& server, const std::vector<KivRow>& rows)
{
    for (const KivRow& r : rows) {
        SCOPED_TRACE(r.what);
        size_t mark = KivRecordMark(server);
        EXPECT_EQ(CString(r.tag), r.run());
        std::string block = "block " + std::to_string(r.block.size() >= 4 ? r.block[0] | r.block[1] << 8 : -1);
        std::vector<std::string> expected = {block};
        if (r.kind == KivCallKind::AttachRead) expected.insert(expected.end(), {"advise", "read", "unadvise"});
        if (r.kind == KivCallKind::AttachNoRead) expected.insert(expected.end(), {"advise", "unadvise"});
        EXPECT_EQ(expected, KivCallsSince(server, mark));
        EXPECT_TRUE(KivBlocksEqual(r.block, KivLastBlock(server)));
    }
}
