// Fuzz target for the conform of an event array to an item list. The input's first byte gives
// the number of events (low 4 bits) of one small console's switches; each event takes 4 bytes
// (time from 2, path 0 to 3, value), then every 4 bytes make an item: a kind (0 to 5, or 8 for a
// piece that is never there), a signed 16-bit length and a reference (255: none). At most 24
// items. A conform with a kind-8 item must fail with the array as it was after duplicates
// merged; any other must succeed with its events in time order.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/EDLItemList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzfiles::UseConsole(1);
    if (size == 0) return 0;
    const size_t eventCount = data[0] & 15;
    size_t at = 1;
    CAutomationEventArray events;
    for (size_t i = 0; i < eventCount && at + 4 <= size; ++i, at += 4) {
        const long time = static_cast<long>(data[at] | data[at + 1] << 8);
        events.Add(CAutomationEvent(time, data[at + 2] & 3, 2, 3, static_cast<short>(data[at + 3])));
    }
    events.Sort(CAutomationEventArray::SortByTime);
    CEDLItemList items;
    bool piece = false;
    static const int kKinds[] = {0, 1, 2, 3, 4, 5, 8};
    for (int n = 0; at + 4 <= size && n < 24; at += 4, ++n) {
        const int kind = kKinds[data[at] % 7];
        const int length = static_cast<int16_t>(data[at + 1] | data[at + 2] << 8);
        const int reference = data[at + 3] == 255 ? -1 : data[at + 3];
        piece = piece || kind == 8;
        items.Add(CEDLItem(kind, reference, length, "", "", "Absent"), 0);
    }

    CAutomationPackage package;
    package.m_bNotifyOnClose = FALSE;
    CAutomationEventArray merged;
    merged.Copy(events);
    merged.BuildControlIndex();
    CString message = "before";
    const int done = events.EDLConform(items, "C:\\Pieces\\", "Fuzz", &package, message);
    if (piece) {
        if (done || message != "Conform failed to load the automation !\n ") std::abort();
        if (events.GetSize() != merged.GetSize() ||
            (events.GetSize() && std::memcmp(events.GetData(), merged.GetData(), sizeof(CAutomationEvent) * events.GetSize()) != 0))
            std::abort();
        return 0;
    }
    if (!done || message != "before") std::abort();
    for (INT_PTR i = 1; i < events.GetSize(); ++i)
        if (events[i - 1].GetTime() > events[i].GetTime()) std::abort();
    return 0;
}
