// Fuzz target for the channel flag stream readers. The first byte chooses the file's "File
// Version" (0: no such stream, 1 to 5: 1.0 to 1.4, any other: the next two bytes as major and
// minor); the rest is the data stream, which every flag reader loads in turn. A load that fails
// must leave its array as it was; one that succeeds must survive a save and a second load.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#include "FuzzFiles.h"
#include "trevanny/ChannelFlagArrays.h"
#include "winport/Storage.h"

namespace {

using fuzzfiles::WriteStream;

void makeFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::remove(path.c_str());
    IStorage* root = nullptr;
    if (StgCreateDocfile(fuzzfiles::Wide(path).c_str(), STGM_CREATE | STGM_SHARE_EXCLUSIVE | STGM_READWRITE, 0, &root) != S_OK) return;
    uint8_t version[40] = {};
    const uint8_t choice = data[0];
    ++data;
    --size;
    if (choice >= 1 && choice <= 5) {
        version[0] = 1;
        version[1] = static_cast<uint8_t>(choice - 1);
        WriteStream(root, L"File Version", version, sizeof version);
    } else if (choice > 5 && size >= 2) {
        version[0] = data[0];
        version[1] = data[1];
        data += 2;
        size -= 2;
        WriteStream(root, L"File Version", version, sizeof version);
    }
    WriteStream(root, L"MetaCtlData", data, size);
    root->Release();
}

template <class Array, class Load, class Save>
void check(const std::string& input, const std::string& copy, Array& a, Load load, Save save)
{
    using T = std::remove_reference_t<decltype(a[0])>;
    T mark;
    std::memset(&mark, 0x5A, sizeof mark);
    a.Add(mark);
    if (!load(input.c_str(), "MetaCtlData", a)) {
        if (a.GetSize() != 1 || std::memcmp(&a[0], &mark, sizeof mark) != 0) std::abort();
        return;
    }
    std::remove(copy.c_str());
    if (!save(copy.c_str(), "MetaCtlData", a)) std::abort();
    Array again(a.m_strName, a.GetRecordSize());
    if (!load(copy.c_str(), "MetaCtlData", again)) std::abort();
    // A saved empty array is an empty stream, which leaves the reader's array as it was.
    if (a.GetSize() == 0) return;
    if (again.GetSize() != a.GetSize() || std::memcmp(again.GetData(), a.GetData(), sizeof(T) * a.GetSize()) != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const TestEnvironment& env = fuzzfiles::Environment();
    const std::string input = env.Path("flags.aut");
    const std::string copy = env.Path("copy.aut");
    makeFile(input, data, size);

    CCtrlFlagArray large("Meta", 144);
    check(input, copy, large, LoadCtrlFlagStream, SaveCtrlFlagStream);
    CSmallCtrlFlagArray small("Meta", 20);
    check(input, copy, small, LoadSmallCtrlFlagStream, SaveSmallCtrlFlagStream);
    CRteFlagArray routes("Meta", 192);
    check(input, copy, routes, LoadRteFlagStream, SaveRteFlagStream);
    CSmallRteFlagArray route("Meta", 4);
    check(input, copy, route, LoadSmallRteFlagStream, SaveSmallRteFlagStream);

    COldCtrlFlagArray old;
    OldCtrlFlagRecord mark;
    std::memset(&mark, 0x5A, sizeof mark);
    old.Add(mark);
    if (!LoadOldCtrlFlagStream(input.c_str(), "MetaCtlData", old) &&
        (old.GetSize() != 1 || std::memcmp(&old[0], &mark, sizeof mark) != 0))
        std::abort();
    return 0;
}
