// Fuzz target for the exported pair reader: the input is the file, read raw and normalised.
// Pairs come whole (an even count, every destination with its event) or not at all.
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "trevanny/EDLReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzzfiles::InputFile("items.edl", data, size);
    for (bool raw : {true, false}) {
        CSourceDestItemArray items;
        GetSourceDestItems(path.c_str(), items, raw);
        if (items.GetSize() % 2 != 0) __builtin_trap();
        for (INT_PTR i = 1; i < items.GetSize(); i += 2) {
            if (!items[i].m_pEvent) __builtin_trap();
        }
    }
    return 0;
}
