// midi-sim: a MIDI peer on a JACK server, standing for the workstation and up to nine
// MIDI-controlled pre-amplifier units, so that mic can be driven and tested by MIDI.
//
//   midi-sim [--name CLIENT] [--server NAME] [--heartbeat CH]... [--period MS] [--quiet] [--commands]
//
// It opens the JACK client CLIENT (default "midi-sim") with a MIDI input port "in" and a MIDI
// output port "out" (connect mic's output device to "in" and its input device to "out"), prints
// "ready CLIENT:in CLIENT:out period <frames> rate <hz>", then one line per message received:
// "in <ms> <hex bytes>" (ms since start, three decimals). With --heartbeat CH (a MIDI channel,
// 0 to 15; up to nine) it sends a unit's heartbeat 0xB0|CH 0x0A 0x00 on that channel every
// period (1 to 600000 ms, default 1000). It runs until SIGINT or SIGTERM, or until the server
// goes, whatever its standard input is: that is read only with --commands, one command a line,
// each answered with "ok <command>" once the message is handed to JACK ("error <command>" when
// it is not valid); its end ends the commands, not the program:
//   send HH HH ...          one message of hex bytes
//   cc CH DATA1 VALUE       a control change on MIDI channel CH (numbers decimal or 0x hex)
//   ping [N]                N pings 0x90 0x00 0x00 (default 1)
//   heartbeat CH [VALUE]    one heartbeat on channel CH (value default 0)
//   heartbeats on|off       the periodic heartbeats
//   quit
// Exit code 2 on a wrong command line, 1 when no JACK server answers.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "toolcli/CommandLine.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxMessage = 255;  // longest message carried (a system-exclusive block)

struct Sim {
    jack_client_t* client = nullptr;
    jack_port_t* in = nullptr;
    jack_port_t* out = nullptr;
    jack_ringbuffer_t* received = nullptr;  // [length byte][bytes] per message
    jack_ringbuffer_t* toSend = nullptr;
    int wake = -1;                          // eventfd: something was received
    std::atomic<uint32_t> lost{0};
};

Sim g_sim;

}  // namespace

// JACK's lock-free ring buffers live in libjack, which ThreadSanitizer does not see into.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:jack_ringbuffer_\nrace:libjack.so\n";
}

namespace {

volatile sig_atomic_t g_stop = 0;

void onSignal(int) { g_stop = 1; }

// The server went away: nothing more can pass, so the simulator ends.
void onShutdown(void*)
{
    g_stop = 1;
    uint64_t one = 1;
    ssize_t ignored = ::write(g_sim.wake, &one, sizeof one);
    (void)ignored;
}

int process(jack_nframes_t frames, void*)
{
    void* inBuf = jack_port_get_buffer(g_sim.in, frames);
    uint32_t count = jack_midi_get_event_count(inBuf);
    bool any = false;
    for (uint32_t i = 0; i < count; ++i) {
        jack_midi_event_t e;
        if (jack_midi_event_get(&e, inBuf, i) != 0) continue;
        size_t n = e.size > kMaxMessage ? kMaxMessage : e.size;
        if (jack_ringbuffer_write_space(g_sim.received) < n + 1) {
            g_sim.lost.fetch_add(1);
            continue;
        }
        unsigned char len = static_cast<unsigned char>(n);
        jack_ringbuffer_write(g_sim.received, reinterpret_cast<const char*>(&len), 1);
        jack_ringbuffer_write(g_sim.received, reinterpret_cast<const char*>(e.buffer), n);
        any = true;
    }
    if (any) {
        uint64_t one = 1;
        ssize_t ignored = ::write(g_sim.wake, &one, sizeof one);
        (void)ignored;
    }
    void* outBuf = jack_port_get_buffer(g_sim.out, frames);
    jack_midi_clear_buffer(outBuf);
    for (;;) {
        unsigned char len;
        if (jack_ringbuffer_peek(g_sim.toSend, reinterpret_cast<char*>(&len), 1) != 1) break;
        if (jack_ringbuffer_read_space(g_sim.toSend) < static_cast<size_t>(len) + 1) break;
        jack_midi_data_t* dst = jack_midi_event_reserve(outBuf, 0, len);
        if (!dst) break;  // the period is full: the rest goes out in the next one
        jack_ringbuffer_read_advance(g_sim.toSend, 1);
        jack_ringbuffer_read(g_sim.toSend, reinterpret_cast<char*>(dst), len);
    }
    return 0;
}

bool queueMessage(const std::vector<unsigned char>& bytes)
{
    if (bytes.empty() || bytes.size() > kMaxMessage) return false;
    if (jack_ringbuffer_write_space(g_sim.toSend) < bytes.size() + 1) return false;
    unsigned char len = static_cast<unsigned char>(bytes.size());
    // The message is written before its length becomes readable as a whole: write both in one go.
    std::vector<char> whole(bytes.size() + 1);
    whole[0] = static_cast<char>(len);
    std::memcpy(whole.data() + 1, bytes.data(), bytes.size());
    return jack_ringbuffer_write(g_sim.toSend, whole.data(), whole.size()) == whole.size();
}

bool parseNumber(const std::string& text, int low, int high, int& value)
{
    long long v = 0;
    if (!toolcli::ParseNumber(text, low, high, v)) return false;
    value = static_cast<int>(v);
    return true;
}

std::vector<unsigned char> heartbeat(int channel, int value)
{
    return {static_cast<unsigned char>(0xB0 | channel), 0x0A, static_cast<unsigned char>(value)};
}

// Runs one command line; false when it is not valid.
bool command(const std::string& line, bool& heartbeats, bool& quit)
{
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    std::vector<std::string> args;
    for (std::string w; words >> w;) args.push_back(w);
    int a = 0, b = 0, c = 0;
    if (verb == "send") {
        std::vector<unsigned char> bytes;
        for (const auto& w : args) {
            // Hex bytes, with or without 0x.
            int v = 0;
            if (!parseNumber(w.rfind("0x", 0) == 0 ? w : "0x" + w, 0, 255, v)) return false;
            bytes.push_back(static_cast<unsigned char>(v));
        }
        return queueMessage(bytes);
    }
    if (verb == "cc" && args.size() == 3 && parseNumber(args[0], 0, 15, a) && parseNumber(args[1], 0, 127, b) &&
        parseNumber(args[2], 0, 127, c)) {
        return queueMessage({static_cast<unsigned char>(0xB0 | a), static_cast<unsigned char>(b), static_cast<unsigned char>(c)});
    }
    if (verb == "ping") {
        int n = 1;
        if (!args.empty() && !parseNumber(args[0], 1, 1000, n)) return false;
        for (int i = 0; i < n; ++i) {
            if (!queueMessage({0x90, 0x00, 0x00})) return false;
        }
        return true;
    }
    if (verb == "heartbeat" && !args.empty() && parseNumber(args[0], 0, 15, a)) {
        if (args.size() > 1 && !parseNumber(args[1], 0, 127, b)) return false;
        return queueMessage(heartbeat(a, b));
    }
    if (verb == "heartbeats" && args.size() == 1 && (args[0] == "on" || args[0] == "off")) {
        heartbeats = args[0] == "on";
        return true;
    }
    if (verb == "quit") {
        quit = true;
        return true;
    }
    return false;
}

void printReceived(Clock::time_point start)
{
    for (;;) {
        unsigned char len;
        if (jack_ringbuffer_peek(g_sim.received, reinterpret_cast<char*>(&len), 1) != 1) return;
        if (jack_ringbuffer_read_space(g_sim.received) < static_cast<size_t>(len) + 1) return;
        jack_ringbuffer_read_advance(g_sim.received, 1);
        unsigned char bytes[kMaxMessage];
        jack_ringbuffer_read(g_sim.received, reinterpret_cast<char*>(bytes), len);
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::printf("in %.3f", ms);
        for (unsigned i = 0; i < len; ++i) std::printf(" %02X", bytes[i]);
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::string name = "midi-sim";
    std::string server;
    std::vector<int> channels;
    int periodMs = 1000;
    bool quiet = false, commands = false;
    CLI::App app("A MIDI peer on a JACK server, standing for the workstation and MIDI-controlled units.", "midi-sim");
    app.add_option("--name", name, "the JACK client's name")->capture_default_str()->check(CLI::Validator(
        [](std::string& text) -> std::string {
            const size_t most = static_cast<size_t>(jack_client_name_size()) - 1;
            if (text.empty() || text.size() > most) {
                return "\"" + text + "\" is not a client name of 1 to " + std::to_string(most) + " bytes";
            }
            return {};
        },
        "", "client"));
    app.add_option("--server", server, "the JACK server (default: JACK_DEFAULT_SERVER, else default)");
    app.add_option("--heartbeat", channels, "a unit's heartbeat on this MIDI channel every period (at most nine)")
        ->type_name("CH")
        ->allow_extra_args(false)
        ->transform(toolcli::Number(0, 15));
    app.add_option("--period", periodMs, "the heartbeats' period in ms")->capture_default_str()->transform(toolcli::Number(1, 600000));
    app.add_flag("--quiet", quiet, "no lines for the messages received");
    app.add_flag("--commands", commands, "take commands on standard input (without it, standard input is not read)");
    app.footer("Commands (with --commands), one a line, each answered \"ok <command>\" or \"error <command>\":\n"
               "  send HH HH ... | cc CH DATA1 VALUE | ping [N] | heartbeat CH [VALUE] | heartbeats on|off | quit\n"
               "It runs until SIGINT or SIGTERM, or until the server goes; the end of the commands does not end it.");
    app.callback([&] {
        if (channels.size() > 9) throw CLI::ValidationError("--heartbeat", "at most nine channels, not " + std::to_string(channels.size()));
    });
    if (std::optional<int> exit = toolcli::Parse(app, argc, argv)) return *exit;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    ::signal(SIGTERM, onSignal);
    ::signal(SIGINT, onSignal);
    ::signal(SIGPIPE, SIG_IGN);
    // A command read in the background fails instead of stopping the program.
    if (commands) ::signal(SIGTTIN, SIG_IGN);

    jack_status_t status;
    int options = JackNoStartServer | JackUseExactName | (server.empty() ? 0 : JackServerName);
    g_sim.client = server.empty() ? jack_client_open(name.c_str(), static_cast<jack_options_t>(options), &status)
                                  : jack_client_open(name.c_str(), static_cast<jack_options_t>(options), &status, server.c_str());
    if (!g_sim.client) {
        const char* chosen = server.empty() ? std::getenv("JACK_DEFAULT_SERVER") : server.c_str();
        std::fprintf(stderr, "midi-sim: no JACK server \"%s\" answers (status 0x%x)\n", chosen ? chosen : "default",
                     static_cast<unsigned>(status));
        return toolcli::kFailure;
    }
    g_sim.in = jack_port_register(g_sim.client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    g_sim.out = jack_port_register(g_sim.client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    g_sim.received = jack_ringbuffer_create(1 << 16);
    g_sim.toSend = jack_ringbuffer_create(1 << 16);
    g_sim.wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (!g_sim.in || !g_sim.out || !g_sim.received || !g_sim.toSend || g_sim.wake < 0) {
        std::fprintf(stderr, "midi-sim: cannot make the ports of the JACK client %s\n", jack_get_client_name(g_sim.client));
        jack_client_close(g_sim.client);
        return 1;
    }
    jack_set_process_callback(g_sim.client, process, nullptr);
    jack_on_shutdown(g_sim.client, onShutdown, nullptr);
    if (jack_activate(g_sim.client) != 0) {
        std::fprintf(stderr, "midi-sim: cannot activate the JACK client %s\n", jack_get_client_name(g_sim.client));
        jack_client_close(g_sim.client);
        return 1;
    }
    const std::string me = jack_get_client_name(g_sim.client);
    std::printf("ready %s:in %s:out period %u rate %u\n", me.c_str(), me.c_str(), jack_get_buffer_size(g_sim.client),
                jack_get_sample_rate(g_sim.client));

    const auto start = Clock::now();
    auto nextBeat = start;
    bool heartbeats = !channels.empty();
    bool quit = false;
    bool inputOpen = commands;
    std::string pending;
    while (!quit && !g_stop) {
        auto now = Clock::now();
        if (heartbeats && now >= nextBeat) {
            for (int ch : channels) queueMessage(heartbeat(ch, 0));
            nextBeat = now + std::chrono::milliseconds(periodMs);
        }
        int timeout = -1;
        if (heartbeats) {
            timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(nextBeat - Clock::now()).count());
            if (timeout < 0) timeout = 0;
        }
        pollfd fds[2] = {{g_sim.wake, POLLIN, 0}, {inputOpen ? 0 : -1, POLLIN, 0}};
        int r = ::poll(fds, 2, timeout);
        if (r < 0) continue;
        if (fds[0].revents & POLLIN) {
            uint64_t v;
            ssize_t ignored = ::read(g_sim.wake, &v, sizeof v);
            (void)ignored;
            if (!quiet) printReceived(start);
            else jack_ringbuffer_read_advance(g_sim.received, jack_ringbuffer_read_space(g_sim.received));
        }
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buf[512];
            ssize_t n = ::read(0, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // The end of the commands, or a terminal that this background job may not read:
                // run on until a signal.
                if (n < 0) std::fprintf(stderr, "midi-sim: no more commands: standard input: %s\n", std::strerror(errno));
                inputOpen = false;
                continue;
            }
            pending.append(buf, static_cast<size_t>(n));
            for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
                std::string line = pending.substr(0, nl);
                pending.erase(0, nl + 1);
                if (line.empty()) continue;
                bool ok = command(line, heartbeats, quit);
                if (heartbeats && channels.empty()) heartbeats = false;
                std::printf("%s %s\n", ok ? "ok" : "error", line.c_str());
            }
        }
    }
    if (g_sim.lost.load() > 0) std::printf("lost %u\n", g_sim.lost.load());
    jack_deactivate(g_sim.client);
    jack_client_close(g_sim.client);
    jack_ringbuffer_free(g_sim.received);
    jack_ringbuffer_free(g_sim.toSend);
    return 0;
}
