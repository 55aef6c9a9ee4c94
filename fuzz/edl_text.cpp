// Fuzz target for the text EDL reader: the input is one file, read in each of the eight
// dialects. Every read ends, and every event it gives has an event.
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "trevanny/EDLReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzzfiles::InputFile("input.edl", data, size);
    for (int type = 0; type < CEDLReader::kTypeCount; ++type) {
        CEDLReader reader(path.c_str(), type);
        if (!reader.Open(CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary, nullptr)) __builtin_trap();
        CTimecodeSettings settings;
        CEDLReelTable reels;
        reader.ReadHeader(settings, reels);
        int timecodes[12];
        CSourceDestItem source, destination;
        size_t events = 0;
        for (;;) {
            delete destination.m_pEvent;  // the reader does not free the previous event
            if (reader.ReadNextEvent(timecodes, source, destination) != 1) break;
            if (!destination.m_pEvent || ++events > size + 1) __builtin_trap();
        }
    }
    return 0;
}
