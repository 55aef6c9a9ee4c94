// Mix-setup replies as the server might send them: the input patches a whole block (a 32-bit
// size field, then records of a 32-bit offset, a length byte and that many bytes) and the
// mix-setup object reads it. Whatever it holds, the reply is taken whole or not at all, and
// every table that names paths names paths of the setup.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "MinimalKivServer.h"
#include "quenby/MixSetupExKIVObject.h"

namespace {

CMixSetupExKIVObject& object()
{
    static CMixSetupExKIVObject* made = [] {
        minimal_server::Start();
        return new CMixSetupExKIVObject(/*enabled=*/0);
    }();
    return *made;
}

int32_t word(const uint8_t* p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    CMixSetupExKIVObject& msu = object();
    msu.Clear();
    std::vector<uint8_t> block(568260 + 64, 0);
    const int32_t command = 22;
    int32_t claimed = word(data);
    std::memcpy(block.data(), &command, 4);
    for (size_t at = 4; at + 5 <= size;) {
        const uint32_t offset = static_cast<uint32_t>(word(data + at)) % static_cast<uint32_t>(block.size());
        size_t n = data[at + 4];
        at += 5;
        n = std::min({n, size - at, block.size() - offset});
        std::memcpy(block.data() + offset, data + at, n);
        at += n;
    }
    // The size field claims no more than the bytes there are, as the connection ensures.
    if (claimed < 16 || static_cast<size_t>(claimed) > block.size()) claimed = 568260;
    std::memcpy(block.data() + 8, &claimed, 4);
    const int before = msu.GetTotalPaths();
    msu.OnLinkIn(reinterpret_cast<_CommsStructure*>(block.data()));

    const int total = msu.GetTotalPaths();
    if (total < 0 || total > 2000) std::abort();
    if (claimed < 568260 && total != before) std::abort();
    for (int bank = 0; bank < 6; ++bank)
        for (int layer = 0; layer < 4; ++layer)
            for (int strip = 0; strip < 160; ++strip) {
                const int path = msu.GetChannelMapPath(bank, layer, strip);
                if (path < -1 || path >= total) std::abort();
            }
    for (int predub = 0; predub < 132; ++predub) {
        CArray<int, int> paths;
        msu.GetPreDubContents(predub, paths);
        for (INT_PTR i = 0; i < paths.GetSize(); ++i)
            if (paths[i] < 0 || paths[i] >= total) std::abort();
    }
    for (int group = 0; group < 100; ++group) {
        CArray<int, int> paths;
        msu.GetDynamicsLink(group, paths);
        for (INT_PTR i = 0; i < paths.GetSize(); ++i)
            if (paths[i] < 0 || paths[i] >= total || (i > 0 && paths[i] <= paths[i - 1])) std::abort();
    }
    for (int stem = 0; stem < 12; ++stem) {
        CArray<int, int> paths;
        msu.GetStemContents(stem, paths);
        for (INT_PTR i = 0; i < paths.GetSize(); ++i)
            if (msu.GetPathType(paths[i]) != 7) std::abort();
    }
    CString name = msu.GetMSUName();
    if (name.GetLength() > 200) std::abort();
    for (int p = 0; p < total; ++p) {
        CString shortName;
        msu.GetName(p, shortName);
        if (shortName.GetLength() > 4) std::abort();
    }
    return 0;
}
