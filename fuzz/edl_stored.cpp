// Fuzz target for stored edit lists: bit 0 of the first byte picks the header ("VOK HDRNEW" or
// the older "VOK HEADER"); the rest of the input follows it as the file. Reading ends, and a
// list that reads whole writes back and reads again to the same events.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "trevanny/EDLReader.h"

namespace {
struct Stored {
    int header = 0;
    bool damaged = false;
    std::vector<CSourceDestItem> items;
};

Stored readStored(const std::string& path, CTimecodeSettings& settings, CEDLReelTable& reels)
{
    Stored s;
    CEDLReader reader(path.c_str(), CEDLReader::enCMX3400);
    if (!reader.Open(CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary, nullptr)) __builtin_trap();
    s.header = reader.ReadHeader(settings, reels);
    int timecodes[12];
    CSourceDestItem source, destination;
    for (;;) {
        delete destination.m_pEvent;  // the reader does not free the previous event
        if (reader.ReadNextEvent(timecodes, source, destination) != 1) break;
        s.items.push_back(source);
        s.items.push_back(destination);
    }
    s.damaged = reader.IsDamaged();
    return s;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const bool old = size > 0 && (data[0] & 1);
    const std::string path = fuzzfiles::InputFile("stored.edl", data + (size > 0), size - (size > 0), old ? "VOK HEADER" : "VOK HDRNEW");
    CTimecodeSettings settings;
    CEDLReelTable reels;
    Stored first = readStored(path, settings, reels);
    if (first.header != 1) __builtin_trap();
    if (first.damaged || old) return 0;
    std::string again = fuzzfiles::Environment().Path("again.edl");
    {
        CEDLReader writer(again.c_str(), CEDLReader::enGeneric);
        if (!writer.Open(CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone | CFile::typeBinary, nullptr)) __builtin_trap();
        writer.WriteHeader(settings, reels);
        for (size_t i = 0; i + 1 < first.items.size(); i += 2) writer.WriteStoredEvent(first.items[i], first.items[i + 1]);
    }
    CTimecodeSettings settings2;
    CEDLReelTable reels2;
    Stored second = readStored(again, settings2, reels2);
    if (second.damaged || second.items.size() != first.items.size() || reels2.GetSize() != reels.GetSize()) __builtin_trap();
    for (size_t i = 0; i < first.items.size(); ++i) {
        const CSourceDestItem& a = first.items[i];
        const CSourceDestItem& b = second.items[i];
        if (a.m_nStart != b.m_nStart || a.m_nLength != b.m_nLength) __builtin_trap();
        if (a.m_pEvent && (a.m_pEvent->m_strReelName != b.m_pEvent->m_strReelName ||
                           a.m_pEvent->m_dwTrackMask != b.m_pEvent->m_dwTrackMask ||
                           a.m_pEvent->m_nReelIndex != b.m_pEvent->m_nReelIndex)) {
            __builtin_trap();
        }
    }
    return 0;
}
