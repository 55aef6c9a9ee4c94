// A setup file of the program's layout written word by word, for the MIDI end-to-end tests:
// every channel at gain step 0 on its line input except rack 1's channel 1, which is on its mic
// input; the 400-byte MIDI extension ties MIDI unit 0 to port 1, MIDI channel 1 (pair 0, 0) both
// ways, and rack 1's first slot to that unit's channels 1 to 4.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

/// Writes the file; its size (2340 bytes when written whole).
inline size_t WriteMidiSetup(const std::string& path)
{
    std::vector<int32_t> words;
    auto put = [&](int count, int32_t value) { words.insert(words.end(), static_cast<size_t>(count), value); };
    put(64, 0);  // mic lines
    put(64, 3);  // channel status: line gain step 0
    put(64, 3);  // line status: mic gain step 0
    put(1, 1);   // channel mode of rack 1, channel 1: the mic input
    put(63, 0);
    std::string bytes(reinterpret_cast<const char*>(words.data()), words.size() * 4);
    bytes.append(16 + 832 + 64, '\0');  // rack options, labels, channel flags
    words.clear();
    put(1, 1);    // version
    put(2, 0);    // receiving pair 0: port 0, MIDI channel 0
    put(16, -1);
    put(2, 0);    // sending pair 0
    put(16, -1);
    put(1, 0);    // rack 1, slot 1: unit 0, channels 1 to 4
    put(47, -1);
    put(16, 0);   // the racks' file values
    bytes.append(reinterpret_cast<const char*>(words.data()), words.size() * 4);
    std::ofstream(path, std::ios::binary) << bytes;
    return bytes.size();
}
