// Runs remote conform clients as a conform would, so that a test can choose the library through
// the library path of this process. Arguments: [--threads N] then pairs as
// "src:KEY:START:LENGTH" and "dst:KEY:START:LENGTH". With N threads, each runs its own client
// over the same lists at the same time. With "--conform PASS LIST" it conforms a pass named PASS
// to the edit list LIST instead and prints "status N". With "--send-remote PASS KIND:LENGTH..."
// it hands the first edit of an item list of those kinds and lengths to the remote conform, as an
// event array's conform does, for the pass PASS. Prints "done" at the end.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "trevanny/ConformEngine.h"
#include "trevanny/EDLItemList.h"
#include "trevanny/PellimaxConformClient.h"

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--conform") == 0) {
        CAutomationPackage pass;
        pass.SetPathName(argv[2]);
        std::printf("\nstatus %d\ndone\n", static_cast<int>(DoConform(&pass, argv[3])));
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--send-remote") == 0) {
        CEDLItemList items;
        for (int i = 3; i < argc; ++i) {
            int kind = 0, length = 0;
            if (std::sscanf(argv[i], "%d:%d", &kind, &length) == 2) items.Add(CEDLItem(kind, -1, length, "", "", ""), 0);
        }
        CAutomationEventArray events;
        events.SendRemoteConform(items, argv[2]);
        std::printf("\ndone\n");
        return 0;
    }
    int threads = 1;
    CSourceDestItemArray sources, destinations;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            threads = std::atoi(argv[++i]);
            continue;
        }
        char side[4] = {};
        int key = 0, start = 0, length = 0;
        if (std::sscanf(argv[i], "%3[a-z]:%d:%d:%d", side, &key, &start, &length) != 4) {
            std::fprintf(stderr, "conform-client-run: bad pair %s\n", argv[i]);
            return 2;
        }
        CSourceDestItem item;
        item.m_nPairingKey = key;
        item.m_nStart = start;
        item.m_nLength = length;
        (std::strcmp(side, "src") == 0 ? sources : destinations).Add(item);
    }
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([&] { CPellimaxConformClient client(sources, destinations); });
    }
    for (std::thread& t : running) t.join();
    std::printf("\ndone\n");
    return 0;
}
