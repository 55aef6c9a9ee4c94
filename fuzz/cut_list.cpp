// Fuzz target for binary cut lists: the input follows the "VOK_CUTLIST_FILE" marker. A list
// that reads becomes the temporary edit list, which must read back whole.
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "trevanny/CutListFile.h"
#include "trevanny/EDLReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = fuzzfiles::InputFile("list.cut", data, size, "VOK_CUTLIST_FILE");
    CCutListFile file;
    CCutListRecordArray records;
    BOOL read = file.Read(path.c_str(), records);
    if (read && file.GetStatus() != 0) __builtin_trap();
    if (read) {
        file.WriteTempEDL(path.c_str(), records);
        CSourceDestItemArray items;
        GetSourceDestItems(CCutListFile::TempEDLPath(), items, true);
        if (items.GetSize() != file.GetPairs().GetSize()) __builtin_trap();
    }
    for (INT_PTR i = 0; i < records.GetSize(); ++i) delete records[i];
    CEDLItemList list;
    GetCutListItems(path.c_str(), list);
    return 0;
}
