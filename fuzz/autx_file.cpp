// Fuzz target for the indexed automation file reader: the input is a whole file. It is opened,
// every id is read in every form, and one block is added and read back, which must work exactly
// when the file was a valid or an empty one.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "trevanny/AutxFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The file lives in the run's folder, beside the registry the file class reads its setting from.
    const std::string path = fuzzfiles::InputFile("input.autx", data, size);
    (void)IsAutxFile(path.c_str());

    static std::vector<BYTE> buffer(1 << 20);
    CAutxFile file;
    if (!file.Open(path.c_str())) return 0;
    bool writable = file.IsHeaderValid() || size == 0;
    for (int id = -1; id <= CAutxFile::kMaxEntries + 1; ++id) {
        (void)file.FindEntry(id);
        (void)file.ReadEntry(id, buffer.data(), static_cast<unsigned>(buffer.size()));
        (void)file.ReadEntry(id, buffer.data(), 7);
        CWordArray words;
        (void)file.ReadWordArray(id, words);
        CDWordArray dwords;
        (void)file.ReadDwordArray(id, dwords);
    }
    const char block[] = "appended";
    bool expected = writable && file.FindEntry(0) >= 0;
    bool added = file.AddEntry(0, block, sizeof block);
    if (added != expected) std::abort();
    if (added) {
        char back[sizeof block] = {};
        if (!file.ReadEntry(0, back, sizeof back) || std::string(back) != block) std::abort();
    }
    file.Close();
    return 0;
}
