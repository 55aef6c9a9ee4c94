// Choice of the backend, and the device list made from its port names.
#include "winport/MidiBackend.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <regex>
#include <strings.h>

namespace winport::midi {

namespace {

std::mutex g_backendMutex;
std::shared_ptr<Backend> g_backend;
bool g_chosen = false;

std::shared_ptr<Backend> chooseFromEnvironment()
{
    const char* wanted = std::getenv("WINPORT_MIDI_BACKEND");
    std::string w = wanted ? wanted : "";
    if (w.empty()) {
        if (auto alsa = CreateAlsaBackend()) return alsa;
        return CreateJackBackend();
    }
    if (strcasecmp(w.c_str(), "alsa") == 0) return CreateAlsaBackend();
    if (strcasecmp(w.c_str(), "jack") == 0) return CreateJackBackend();
    if (strcasecmp(w.c_str(), "loopback") == 0) return std::make_shared<LoopbackBackend>();
    return nullptr;  // "none", or a name we do not know: no devices
}

// ALSA adds " client:port" numbers that change from one run to the next.
std::string withoutAlsaNumbers(const std::string& port)
{
    static const std::regex numbers(R"( \d+:\d+$)");
    return std::regex_replace(port, numbers, "");
}

}  // namespace

std::shared_ptr<Backend> CurrentBackend()
{
    std::lock_guard lock(g_backendMutex);
    if (!g_chosen) {
        g_backend = chooseFromEnvironment();
        g_chosen = true;
    }
    return g_backend;
}

void SetBackend(std::shared_ptr<Backend> backend)
{
    std::lock_guard lock(g_backendMutex);
    g_backend = std::move(backend);
    g_chosen = g_backend != nullptr;
}

std::string OwnClientName()
{
    static const std::string name = [] {
        const char* configured = std::getenv("WINPORT_MIDI_CLIENT");
        if (configured && *configured) return std::string(configured);
        return "winport-" + std::to_string(::getpid());
    }();
    return name;
}

DeviceList MakeDeviceList(const std::vector<std::string>& ports, const std::string& ownClient)
{
    std::vector<std::pair<std::string, std::string>> entries;  // (clean name, port)
    for (const std::string& port : ports) {
        std::string name = withoutAlsaNumbers(port);
        if (!ownClient.empty() && name.compare(0, ownClient.size(), ownClient) == 0) continue;
        entries.emplace_back(name, port);
    }
    std::sort(entries.begin(), entries.end());
    DeviceList list;
    for (auto& [name, port] : entries) {
        std::string device = name.substr(0, MAXPNAMELEN - 1);
        // Names cut to the same text get " #2", " #3" ... in the place of their last characters.
        for (int n = 2; std::find(list.names.begin(), list.names.end(), device) != list.names.end(); ++n) {
            std::string suffix = " #" + std::to_string(n);
            device = name.substr(0, MAXPNAMELEN - 1 - suffix.size()) + suffix;
        }
        list.names.push_back(device);
        list.ports.push_back(port);
    }
    return list;
}

}  // namespace winport::midi
