// Bytes as hex text, for the tests: spaced upper-case pairs for expectations and failure
// messages ("81 11 02 55 0B 62"), or one unbroken lower-case run for the server simulator's
// control lines ("811102550b62").
#pragma once

#include <cstddef>
#include <cstdio>
#include <iterator>
#include <string>

/// "81 11 02": each byte as two upper-case digits, one space between bytes.
inline std::string HexText(const void* data, size_t n)
{
    std::string out;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, i ? " %02X" : "%02X", p[i]);
        out += pair;
    }
    return out;
}
/// HexText of a contiguous container of bytes (vector, array, string).
template <class Bytes>
std::string HexText(const Bytes& bytes)
{
    return HexText(std::data(bytes), std::size(bytes) * sizeof *std::data(bytes));
}

/// "811102": each byte as two lower-case digits, nothing between them.
inline std::string HexRun(const void* data, size_t n)
{
    std::string out;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", p[i]);
        out += pair;
    }
    return out;
}
template <class Bytes>
std::string HexRun(const Bytes& bytes)
{
    return HexRun(std::data(bytes), std::size(bytes) * sizeof *std::data(bytes));
}
