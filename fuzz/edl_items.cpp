// Fuzz target for the exported pair reader: the input is the file, read raw and normalised.
// Pairs come whole (an even count, every destination with its event) or not at all.
#include <cstdint>
#include <fstream>
#include <string>

#include "../testsupport/TestEnvironment.h"
#include "trevanny/EDLReader.h"

namespace {
const TestEnvironment& environment()
{
    static TestEnvironment env;
    return env;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = environment().Path("items.edl");
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
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
