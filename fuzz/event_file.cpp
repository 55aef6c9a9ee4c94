// Fuzz target for the automation event file reader. The first byte chooses the form of the
// input: even, the rest is a whole file (damaged compound files); odd, the rest describes the
// streams of a compound file made here: major and minor version, the length of "Path Mode"
// (5 or more: no such stream) and its bytes, then "AutomationData". A load that succeeds must
// survive a save and a second load unchanged; a load that fails must leave the array as it was.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "trevanny/AutomationEventArray.h"
#include "winport/Storage.h"

namespace {

using fuzzfiles::WriteStream;

void makeCompound(const std::string& path, const uint8_t* data, size_t size)
{
    std::remove(path.c_str());
    IStorage* root = nullptr;
    if (StgCreateDocfile(fuzzfiles::Wide(path).c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root) != S_OK) return;
    if (size >= 3) {
        uint8_t version[40] = {data[0], data[1]};
        WriteStream(root, L"File Version", version, sizeof version);
        size_t modeLength = data[2];
        data += 3;
        size -= 3;
        if (modeLength < 5) {
            modeLength = std::min(modeLength, size);
            WriteStream(root, L"Path Mode", data, modeLength);
            data += modeLength;
            size -= modeLength;
        }
        WriteStream(root, L"AutomationData", data, size);
    }
    root->Release();
}


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TestEnvironment& env = fuzzfiles::Environment();
    const std::string input = env.Path("input.aut");
    const std::string copy = env.Path("copy.aut");
    if (size == 0) return 0;
    if (data[0] & 1) makeCompound(input, data + 1, size - 1);
    else fuzzfiles::WriteFile(input, data + 1, size - 1);

    CAutomationEventArray events;
    events.Add(CAutomationEvent(1, 2, 3, 4, 5));
    int pathMode = -99;
    if (!events.Load(input.c_str(), pathMode)) {
        if (events.GetSize() != 1 || events[0].GetValue() != 5) std::abort();
        return 0;
    }
    for (INT_PTR i = 0; i < events.GetSize(); ++i) {
        if (events[i].GetReserved() != 0) std::abort();
    }
    std::remove(copy.c_str());
    if (!events.Save(copy.c_str())) std::abort();
    CAutomationEventArray again;
    if (!again.Load(copy.c_str()) || again.GetSize() != events.GetSize()) std::abort();
    if (events.GetSize() && std::memcmp(again.GetData(), events.GetData(), sizeof(CAutomationEvent) * events.GetSize()) != 0)
        std::abort();
    return 0;
}
