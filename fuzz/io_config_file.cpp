// Fuzz target for the I/O configuration file reader. The first byte chooses the form of the
// input: even, the rest is a whole file; odd, the rest describes the streams of a compound file
// made here: a length byte and the "Version" stream's bytes (9 or more: no such stream), then
// for "Input", "Output", "SRC In", "SRC Out", "Input Delay Units" and "Output Delay Units" a
// 16-bit length (0xFFFF: no such stream) and the bytes. A load either fails with nothing loaded
// or succeeds; what it loaded survives a save and a second load (texts kept to 4 characters).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "quenby/IOConfigFile.h"
#include "winport/Storage.h"

namespace {

// Takes up to n bytes from the input.
std::vector<uint8_t> take(const uint8_t*& data, size_t& size, size_t n)
{
    n = std::min(n, size);
    std::vector<uint8_t> out(data, data + n);
    data += n;
    size -= n;
    return out;
}

void writeStream(IStorage* root, const wchar_t* name, const std::vector<uint8_t>& bytes)
{
    fuzzfiles::WriteStream(root, name, bytes.data(), bytes.size());
}

void makeCompound(const std::string& path, const uint8_t* data, size_t size)
{
    std::remove(path.c_str());
    IStorage* root = nullptr;
    if (StgCreateDocfile(fuzzfiles::Wide(path).c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root) != S_OK) return;
    if (size > 0) {
        const size_t versionLength = *data++;
        --size;
        if (versionLength < 9) writeStream(root, L"Version", take(data, size, versionLength));
        const wchar_t* names[] = {L"Input", L"Output", L"SRC In", L"SRC Out", L"Input Delay Units", L"Output Delay Units"};
        for (const wchar_t* name : names) {
            if (size < 2) break;
            const size_t length = data[0] | data[1] << 8;
            data += 2;
            size -= 2;
            if (length != 0xFFFF) writeStream(root, name, take(data, size, length));
        }
    }
    root->Release();
}


bool empty(const CIOConfigFile& file)
{
    return file.GetPorts(0).empty() && file.GetPorts(1).empty() && file.GetConverters(0).empty() && file.GetConverters(1).empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TestEnvironment& env = fuzzfiles::Environment();
    const std::string input = env.Path("input.cfg");
    const std::string copy = env.Path("copy.cfg");
    if (size == 0) return 0;
    if (data[0] & 1) makeCompound(input, data + 1, size - 1);
    else fuzzfiles::WriteFile(input, data + 1, size - 1);

    CIOConfigFile file;
    file.GetPorts(1)[MakeIOPortKey(1, 2, 3, 0)] = IOPortSettings{};
    int loaded = 0;
    try {
        loaded = file.Load(input.c_str());
    } catch (CFileException* e) {
        e->Delete();
        if (!empty(file)) std::abort();
        return 0;
    }
    if (loaded != 1) {
        if (loaded != 0 || !empty(file)) std::abort();
        return 0;
    }
    // What a save keeps: texts of at most 4 characters.
    for (int input : {0, 1}) {
        for (auto& [key, s] : file.GetPorts(input)) {
            s.name = s.name.Left(4);
            s.name2 = s.name2.Left(4);
            s.scribble = s.scribble.Left(4);
        }
    }
    std::remove(copy.c_str());
    file.Save(copy.c_str());
    CIOConfigFile again;
    if (again.Load(copy.c_str()) != 1 || again.GetVersion() != 2) std::abort();
    for (int input : {0, 1}) {
        if (again.GetPorts(input) != file.GetPorts(input) || again.GetConverters(input) != file.GetConverters(input)) std::abort();
    }
    if (again.GetInputDelayUnits() != file.GetInputDelayUnits() || again.GetOutputDelayUnits() != file.GetOutputDelayUnits()) std::abort();
    return 0;
}
