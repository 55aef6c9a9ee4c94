// Fuzz target for loading a mix pass of either form. The first byte chooses the console (bit 0:
// the small type 1, else the large type 5; bits 2 and 3 both set: 500 paths, so that a pass
// stored for fewer paths is widened and older layouts go through the extract reader, else 256;
// type 3's 2000 paths would make each run some hundred times longer, and the layouts only they
// convert are searched by the automation_extract target) and the file form the rest becomes
// (bit 1: the rest is the whole file, compound or indexed by its own first bytes; else an
// indexed file whose items are cut from the rest: each item one id byte, two length bytes and
// that many bytes).
// A load must never fail loudly, and one that fails leaves the package holding what it held; a
// pass whose events were read must save in both forms and load back with the same events.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/AutxFile.h"
#include "winport/Clock.h"

namespace {

// Compressed items pause before each chunk: no real pauses here.
void useManualClock()
{
    static winport::ManualClock clock;
    static bool once = (winport::SetClock(&clock), true);
    (void)once;
}

void makeIndexed(const std::string& path, const uint8_t* data, size_t size)
{
    std::remove(path.c_str());
    CAutxFile file;
    if (!file.Open(path.c_str())) return;
    while (size >= 3) {
        const int id = data[0] % 30;
        size_t length = static_cast<size_t>(data[1]) | static_cast<size_t>(data[2]) << 8;
        data += 3;
        size -= 3;
        if (length > size) length = size;
        file.AddEntry(id, data, static_cast<unsigned>(length));
        data += length;
        size -= length;
    }
    file.Close();
}

bool sameEvents(const CAutomationEventArray& a, const CAutomationEventArray& b)
{
    if (a.GetSize() != b.GetSize()) return false;
    for (INT_PTR i = 0; i < a.GetSize(); ++i) {
        const CAutomationEvent& x = a[i];
        const CAutomationEvent& y = b[i];
        if (x.GetTime() != y.GetTime() || x.GetPath() != y.GetPath() || x.GetProcessNumber() != y.GetProcessNumber() ||
            x.GetControlNumber() != y.GetControlNumber() || x.GetValue() != y.GetValue() || x.GetFlags() != y.GetFlags() ||
            x.GetOldValue() != y.GetOldValue())
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const TestEnvironment& env = fuzzfiles::Environment();
    useManualClock();
    if (size == 0) return 0;
    fuzzfiles::UseConsole(data[0] & 1 ? 1 : 5, (data[0] & 12) == 12 ? 1 : 0);
    const std::string input = env.Path("input.aut");
    if (data[0] & 2) fuzzfiles::WriteFile(input, data + 1, size - 1);
    else makeIndexed(input, data + 1, size - 1);

    // The package holds a pass before the load: a load that fails leaves it as it was.
    CAutomationPackage pass;
    pass.m_bNotifyOnClose = FALSE;
    for (int t = 0; t < 3; ++t) pass.Add(CAutomationEvent(t * 10, 1, 0, 0, static_cast<short>(t)));
    CAutomationEventArray held;
    held.Copy(pass);
    pass.SetPathName(input.c_str());
    if (!pass.Load()) {
        if (!sameEvents(pass, held)) std::abort();
        return 0;
    }
    if (!pass.HasLoadedEvents()) return 0;
    // Paths beyond this console's width do not survive its narrow records.
    for (INT_PTR i = 0; i < pass.GetSize(); ++i) pass[i].m_Path &= 0xFF;
    for (BOOL indexed : {FALSE, TRUE}) {
        const std::string copy = env.Path(indexed ? "copy.autx" : "copy.aut");
        std::remove(copy.c_str());
        pass.SetPathName(copy.c_str());
        if (!pass.Save(indexed)) std::abort();
        CAutomationPackage again;
        again.m_bNotifyOnClose = FALSE;
        again.SetPathName(copy.c_str());
        if (!again.Load() || !again.HasLoadedEvents() || !sameEvents(pass, again)) std::abort();
    }
    return 0;
}
