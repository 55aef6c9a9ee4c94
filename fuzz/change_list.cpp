// Fuzz target for text change lists: bit 0 of the first byte names the file ".txt" (layout 1
// tried first) or ".chg" (layout 0 first); the rest is the file. Reading ends, and a change list
// that reads holds records (a binary list may hold none).
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "trevanny/CutListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* name = size > 0 && (data[0] & 1) ? "list.txt" : "list.chg";
    if (size > 0) {
        ++data;
        --size;
    }
    const std::string path = fuzzfiles::InputFile(name, data, size);
    CCutListFile file;
    CCutListRecordArray records;
    BOOL read = file.Read(path.c_str(), records);
    bool binary = size >= 16 && std::memcmp(data, "VOK_CUTLIST_FILE", 16) == 0;
    if (read && !binary && records.GetSize() == 0) __builtin_trap();
    for (INT_PTR i = 0; i < records.GetSize(); ++i) delete records[i];
    return 0;
}
