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

struct SystemWatchers {
    std::mutex mutex;
    bool gone = false;
    uint64_t next = 0;
    std::map<uint64_t, std::function<void()>> lost;
};

Backend::Backend() : m_watchers(std::make_shared<SystemWatchers>()) {}

Backend::~Backend() = default;

bool Backend::Gone() const
{
    std::lock_guard lock(m_watchers->mutex);
    return m_watchers->gone;
}

std::unique_ptr<SystemWatch> Backend::Watch(std::function<void()> lost)
{
    std::unique_lock lock(m_watchers->mutex);
    const uint64_t id = ++m_watchers->next;
    if (m_watchers->gone) {
        lock.unlock();
        if (lost) lost();
    } else {
        m_watchers->lost.emplace(id, std::move(lost));
    }
    return std::make_unique<SystemWatch>(m_watchers, id);
}

void Backend::SystemLost()
{
    // Called under the lock, so that a watch that is destroyed has seen its call end.
    std::lock_guard lock(m_watchers->mutex);
    if (m_watchers->gone) return;
    m_watchers->gone = true;
    for (auto& [id, lost] : m_watchers->lost) {
        if (lost) lost();
    }
    m_watchers->lost.clear();
}

SystemWatch::~SystemWatch()
{
    std::lock_guard lock(m_watchers->mutex);
    m_watchers->lost.erase(m_id);
}

namespace {

// Not an object of static storage: what it holds goes when a program's BackendScope ends (or a
// test installs nothing), never at exit.
struct Choice {
    std::mutex mutex;
    std::shared_ptr<Backend> backend;
    bool chosen = false;  // chosen or installed
};

Choice& choice()
{
    static Choice* c = new Choice;
    return *c;
}

std::string wanted()
{
    const char* wanted = std::getenv("WINPORT_MIDI_BACKEND");
    return wanted ? wanted : "";
}

std::shared_ptr<Backend> chooseFromEnvironment()
{
    const std::string w = wanted();
    if (w.empty()) {
        if (auto alsa = CreateAlsaBackend()) return alsa;
        return CreateJackBackend();
    }
    if (strcasecmp(w.c_str(), "alsa") == 0) return CreateAlsaBackend();
    if (strcasecmp(w.c_str(), "jack") == 0) return CreateJackBackend();
    if (strcasecmp(w.c_str(), "loopback") == 0) return std::make_shared<LoopbackBackend>();
    return nullptr;  // "none", or a name we do not know: no devices
}

// Whether JACK is looked for again while no backend answers: a server can come (back) while
// the program runs. The ALSA sequencer is there from the start or not at all.
bool jackAwaited()
{
    const std::string w = wanted();
    return w.empty() || strcasecmp(w.c_str(), "jack") == 0;
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
    Choice& c = choice();
    std::lock_guard lock(c.mutex);
    if (!c.chosen) {
        c.backend = chooseFromEnvironment();
        c.chosen = true;
    }
    return c.backend;
}

std::shared_ptr<Backend> RenewBackend()
{
    Choice& c = choice();
    std::lock_guard lock(c.mutex);
    if (c.backend && c.backend->Gone()) c.backend.reset();  // only a JACK server goes
    if (!c.chosen) {
        c.backend = chooseFromEnvironment();
        c.chosen = true;
    } else if (!c.backend && jackAwaited()) {
        c.backend = CreateJackBackend();
    }
    return c.backend;
}

void SetBackend(std::shared_ptr<Backend> backend)
{
    Choice& c = choice();
    std::shared_ptr<Backend> old;
    std::lock_guard lock(c.mutex);
    old = std::move(c.backend);
    c.backend = std::move(backend);
    c.chosen = c.backend != nullptr;
}

std::unique_ptr<SystemWatch> WatchSystem(std::function<void()> lost)
{
    if (auto backend = CurrentBackend()) return backend->Watch(std::move(lost));
    return std::make_unique<SystemWatch>(std::make_shared<SystemWatchers>(), 0);
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
