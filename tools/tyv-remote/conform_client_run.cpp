// Runs remote conform clients as a conform would, so that a test can choose the library through
// the library path of this process. Arguments: [--threads N] then pairs as
// "src:KEY:START:LENGTH" and "dst:KEY:START:LENGTH". With N threads, each runs its own client
// over the same lists at the same time. With "--conform PASS LIST" it conforms a pass named PASS
// to the edit list LIST instead and prints "status N". With "--send-remote PASS KIND:LENGTH..."
// it hands the first edit of an item list of those kinds and lengths to the remote conform, as an
// event array's conform does, for the pass PASS. Prints "done" at the end.
#include <climits>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "toolcli/CommandLine.h"
#include "trevanny/ConformEngine.h"
#include "trevanny/EDLItemList.h"
#include "trevanny/PellimaxConformClient.h"

namespace {

// Splits "A:B:..." into exactly `count` whole numbers after `skip` words; false when it is not that.
bool numbersOf(const std::string& item, size_t skip, size_t count, std::vector<int>& numbers)
{
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t colon; (colon = item.find(':', from)) != std::string::npos; from = colon + 1) parts.push_back(item.substr(from, colon - from));
    parts.push_back(item.substr(from));
    if (parts.size() != skip + count) return false;
    numbers.clear();
    for (size_t i = skip; i < parts.size(); ++i) {
        long long v = 0;
        if (!toolcli::ParseNumber(parts[i], INT_MIN, INT_MAX, v)) return false;
        numbers.push_back(static_cast<int>(v));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int threads = 1;
    std::vector<std::string> conform, items;
    std::string sendRemote;
    CLI::App app("Runs remote conform clients as a conform would; the library comes from the library path.",
                 "conform-client-run");
    CLI::Option* threadsOption = app.add_option("--threads", threads, "clients at the same time, each over the same lists")
                                     ->transform(toolcli::Number(1, 64));
    CLI::Option* conformOption =
        app.add_option("--conform", conform, "conforms the pass PASS to the edit list LIST and prints \"status N\"")
            ->type_name("PASS LIST")
            ->expected(2);
    CLI::Option* sendOption =
        app.add_option("--send-remote", sendRemote, "hands the first edit of the ITEMS (KIND:LENGTH) to the remote conform for the pass PASS")
            ->type_name("PASS");
    app.add_option("ITEMS", items, "src:KEY:START:LENGTH and dst:KEY:START:LENGTH pairs, or KIND:LENGTH items (--send-remote)");
    conformOption->excludes(sendOption)->excludes(threadsOption);
    sendOption->excludes(threadsOption);

    CSourceDestItemArray sources, destinations;
    CEDLItemList edits;
    app.callback([&] {
        std::vector<int> n;
        for (const std::string& item : items) {
            if (!conform.empty()) throw CLI::ValidationError("ITEMS", "--conform takes no items");
            if (!sendRemote.empty()) {
                if (!numbersOf(item, 0, 2, n)) throw CLI::ValidationError("ITEMS", item + " is not KIND:LENGTH");
                edits.Add(CEDLItem(n[0], -1, n[1], "", "", ""), 0);
                continue;
            }
            const std::string side = item.substr(0, item.find(':'));
            if ((side != "src" && side != "dst") || !numbersOf(item, 1, 3, n)) {
                throw CLI::ValidationError("ITEMS", item + " is not src:KEY:START:LENGTH or dst:KEY:START:LENGTH");
            }
            CSourceDestItem pair;
            pair.m_nPairingKey = n[0];
            pair.m_nStart = n[1];
            pair.m_nLength = n[2];
            (side == "src" ? sources : destinations).Add(pair);
        }
    });
    if (std::optional<int> exit = toolcli::Parse(app, argc, argv)) return *exit;

    if (!conform.empty()) {
        CAutomationPackage pass;
        pass.SetPathName(conform[0].c_str());
        std::printf("\nstatus %d\ndone\n", static_cast<int>(DoConform(&pass, conform[1].c_str())));
        return 0;
    }
    if (!sendRemote.empty()) {
        CAutomationEventArray events;
        events.SendRemoteConform(edits, sendRemote.c_str());
        std::printf("\ndone\n");
        return 0;
    }
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([&] { CPellimaxConformClient client(sources, destinations); });
    }
    for (std::thread& t : running) t.join();
    std::printf("\ndone\n");
    return 0;
}
