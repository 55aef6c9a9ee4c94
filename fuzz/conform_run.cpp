// Fuzz target for the conform: a small target pass and two pass files (a reel "c:\mixes\reelA"
// and the target's own file "c:\mixes\pass.aut"), conformed to a fuzzed stored edit list by
// the reference method and by the fast one. The conform must end with a documented status;
// the target changes only when it returns 0, and then holds its events in time order; the two
// methods give the same status and the same events.
//
// Input: byte 0 picks the console (bit 0: the small type 1, else the large type 5, both with 256
// paths: the conform's work is the same for more) and whether the list's positions are taken as
// they are (bit 1); the rest follows the header magic "VOK HDRNEW" as the list.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/ConformEngine.h"
#include "winport/Paths.h"

namespace {

constexpr size_t kMaxInput = 4096;

CAutomationEvent event(int time, int path, int process, int control, int value)
{
    return CAutomationEvent(time, static_cast<DWORD>(path), static_cast<BYTE>(process), static_cast<BYTE>(control),
                            static_cast<short>(value));
}

// Writes the pass files once per console: events on a few paths, controls and routes.
void useConsole(int type)
{
    if (!fuzzfiles::UseConsole(type, 0)) return;
    for (const char* path : {"c:\\mixes\\reelA.aut", "c:\\mixes\\pass.aut"}) {
        CAutomationEventArray pass;
        for (int t = 0; t < 400; t += 3) pass.Add(event(t, t % 5, t % 7 == 0 ? 14 : 1, t % 3, t * (path[9] == 'r' ? 1 : -1)));
        pass.Add(event(200, 3, 40, 1, 9));  // a route on the large console
        winport::EnsureParentDir(winport::HostPath(path));
        pass.Save(path);
    }
}

void fillTarget(CAutomationPackage& target)
{
    target.SetPathName("c:\\mixes\\pass.aut");
    for (int t = 0; t < 100; t += 10) target.Add(event(t, 2, 0, 0, t));
}

std::string bytesOf(const CAutomationEventArray& a)
{
    return std::string(reinterpret_cast<const char*>(a.GetData()), sizeof(CAutomationEvent) * static_cast<size_t>(a.GetSize()));
}

bool inTimeOrder(const CAutomationEventArray& a)
{
    return std::is_sorted(a.GetData(), a.GetData() + a.GetSize(),
                          [](const CAutomationEvent& x, const CAutomationEvent& y) { return x.m_Time < y.m_Time; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > kMaxInput) return 0;
    useConsole(data[0] & 1 ? 1 : 5);
    const BOOL framesInFile = data[0] & 2 ? TRUE : FALSE;
    const std::string path = fuzzfiles::InputFile("data/conform.edl", data + 1, size - 1, "VOK HDRNEW");
    std::string after[2];
    enConformStatus status[2] = {};
    for (int method : {CConformEngine::Reference, CConformEngine::Fast}) {
        CAutomationPackage target;
        fillTarget(target);
        const std::string before = bytesOf(target);
        CConformEngine engine;
        engine.SetMethod(static_cast<CConformEngine::Method>(method));
        status[method] = engine.Run(&target, path.c_str(), framesInFile);
        after[method] = bytesOf(target);
        if (status[method] != enConformDone && status[method] != enConformEDLNotOpened && status[method] != enConformNoSource)
            __builtin_trap();
        if (status[method] == enConformDone) {
            if (!inTimeOrder(target)) __builtin_trap();
        } else if (before != after[method]) {
            __builtin_trap();
        }
    }
    if (status[0] != status[1] || after[0] != after[1]) __builtin_trap();
    return 0;
}
