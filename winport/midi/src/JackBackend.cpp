// JACK on libjack. The backend keeps one client of its own, without ports, that lists the ports
// of the server and watches it; every open device is one more client with one port, connected
// to a port of another client.
//
// A server that shuts down or dies is seen by JACK's shutdown callback on the backend's client.
// From then on no client of that server is called again: libjack frees the clients of a server
// that has gone itself, at the next open of a client in the process, and a close after that
// would free them twice (a close before it only finds the server gone). So a client of a lost
// server is left as it is; its process thread, which only that server could wake, never runs
// again.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "winport/MidiBackend.h"
#include "winport/Trace.h"

namespace winport::midi {

namespace {

void quiet(const char*) {}

// What the clients of one backend share: whether their server has gone. The backend's own
// client hears of it, from JACK's shutdown callback; the others have no callback of ours, so
// that none can run on a client that is no longer there.
struct Server {
    std::atomic<bool> lost{false};
};

// One client of ours: closed when it goes, unless its server has gone.
class Client {
public:
    /// With onLost, the client watches the server: JACK's shutdown callback marks it lost and
    /// calls onLost (on the client's notification thread).
    explicit Client(std::shared_ptr<Server> server, std::function<void(const char* reason)> onLost = {})
        : m_server(std::move(server)), m_onLost(std::move(onLost))
    {
    }
    ~Client()
    {
        // A close lets no callback run after it; a callback that marked the server lost has ended.
        if (m_client && !gone()) jack_client_close(m_client);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Open()
    {
        jack_set_error_function(quiet);
        jack_set_info_function(quiet);
        jack_status_t status;
        m_client = jack_client_open(OwnClientName().c_str(), JackNoStartServer, &status);
        if (m_client && m_onLost) jack_on_info_shutdown(m_client, &Client::lost, this);
        return m_client != nullptr;
    }
    jack_client_t* Get() const { return m_client; }
    /// Whether the server has gone: nothing is called on the client then.
    bool gone() const
    {
        std::lock_guard lock(m_mutex);
        return m_server->lost.load();
    }

private:
    static void lost(jack_status_t, const char* reason, void* context)
    {
        auto* self = static_cast<Client*>(context);
        std::lock_guard lock(self->m_mutex);
        self->m_server->lost.store(true);
        self->m_onLost(reason);
    }

    const std::shared_ptr<Server> m_server;
    const std::function<void(const char*)> m_onLost;
    mutable std::mutex m_mutex;
    jack_client_t* m_client = nullptr;
};

// One JACK client with one MIDI port of ours, connected to a port of another client. Opening
// returns only once the connection carries messages: the server shows it, and two periods have
// run with it, so that neither the first message sent (a port's announcement) nor the first one
// received (a host's ping right after the open) is lost on a connection that is not live yet.
class JackPortClient {
public:
    JackPortClient(const JackPortClient&) = delete;
    JackPortClient& operator=(const JackPortClient&) = delete;

protected:
    explicit JackPortClient(std::shared_ptr<Server> server) : m_jack(std::move(server)) {}
    ~JackPortClient() { stop(); }
    /// Ends the process thread's calls; derived classes stop before their own members go.
    void stop()
    {
        if (!m_active) return;
        m_active = false;
        m_gate->stopped.store(true);
        // A live server's process thread has ended after this; a lost server's client is never
        // called again, but the client's own thread may still be in a period, or start one.
        if (!m_jack.gone()) jack_deactivate(m_jack.Get());
        while (m_gate->inside.load() != 0) std::this_thread::yield();
        // The gate stays for a thread of a lost server that may still come: it finds it shut.
        if (m_jack.gone()) (void)m_gate.release();
    }
    bool serverGone() const { return m_jack.gone(); }

    /// Opens the client and its port "in" or "out", activates it and connects it; false (with
    /// error) when any step fails.
    bool open(bool input, const std::string& other, JackProcessCallback process, MMRESULT& error)
    {
        if (!m_jack.Open()) {
            error = MMSYSERR_NODRIVER;
            return false;
        }
        jack_client_t* client = m_jack.Get();
        m_port = jack_port_register(client, input ? "in" : "out", JACK_DEFAULT_MIDI_TYPE, input ? JackPortIsInput : JackPortIsOutput, 0);
        m_gate = std::make_unique<ProcessGate>();
        m_gate->process = process;
        m_gate->self = this;
        if (!m_port || jack_set_process_callback(client, &ProcessGate::Run, m_gate.get()) != 0 || jack_activate(client) != 0) {
            error = MMSYSERR_ERROR;
            return false;
        }
        m_active = true;
        const std::string mine = jack_port_name(m_port);
        if (jack_connect(client, input ? other.c_str() : mine.c_str(), input ? mine.c_str() : other.c_str()) != 0) {
            error = MMSYSERR_BADDEVICEID;
            return false;
        }
        // The server runs the graph in its own time; on a loaded machine a period can take long,
        // so this waits for the periods themselves, with a deadline only against a dead server.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kLiveDeadlineSeconds);
        waitUntil([&] { return jack_port_connected_to(m_port, other.c_str()) != 0; }, deadline);
        const uint64_t seen = m_cycles.load();
        if (!waitUntil([&] { return m_cycles.load() >= seen + 2; }, deadline))
            TRACE("midi: the connection to %s did not run within %d s\n", other.c_str(), kLiveDeadlineSeconds);
        if (serverGone()) {
            error = MMSYSERR_NODRIVER;
            return false;
        }
        return true;
    }
    /// Called at the end of every process period.
    void counted() { m_cycles.fetch_add(1, std::memory_order_release); }

    /// Waits until done() holds, the server has gone, or the deadline has passed; whether it holds.
    template <typename Done>
    bool waitUntil(Done done, std::chrono::steady_clock::time_point deadline) const
    {
        while (!done() && !serverGone() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return !serverGone() && done();
    }

    static constexpr int kLiveDeadlineSeconds = 30;
    jack_port_t* m_port = nullptr;
    bool m_active = false;
    // What the process thread calls through: once stopped, a period returns at once, and stop()
    // waits for a period under way to end before the members a period uses go.
    struct ProcessGate {
        std::atomic<bool> stopped{false};
        std::atomic<int> inside{0};
        JackProcessCallback process = nullptr;
        JackPortClient* self = nullptr;
        static int Run(jack_nframes_t frames, void* context)
        {
            auto* gate = static_cast<ProcessGate*>(context);
            gate->inside.fetch_add(1);
            const int rc = gate->stopped.load() ? 0 : gate->process(frames, gate->self);
            gate->inside.fetch_sub(1);
            return rc;
        }
    };
    std::unique_ptr<ProcessGate> m_gate;
    std::atomic<uint64_t> m_cycles{0};

private:
    Client m_jack;
};

// JACK input: every message of a period is handed over on its own, in order.
class JackInput : public InputConnection, private JackPortClient {
public:
    static std::unique_ptr<JackInput> Open(std::shared_ptr<Server> server, const std::string& source, InputSink& sink, MMRESULT& error)
    {
        std::unique_ptr<JackInput> c(new JackInput(std::move(server), sink));
        if (!c->open(true, source, &JackInput::process, error)) return nullptr;
        return c;
    }
    ~JackInput() override { stop(); }

private:
    JackInput(std::shared_ptr<Server> server, InputSink& sink) : JackPortClient(std::move(server)), m_sink(sink) {}

    static int process(jack_nframes_t frames, void* context)
    {
        auto* self = static_cast<JackInput*>(static_cast<JackPortClient*>(context));
        void* buffer = jack_port_get_buffer(self->m_port, frames);
        const uint32_t count = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) == 0 && event.size > 0) self->m_sink.Received(event.buffer, event.size);
        }
        self->counted();
        return 0;
    }

    InputSink& m_sink;
};

// JACK output, through a ring that the process thread empties.
class JackOutput : public OutputConnection, private JackPortClient {
public:
    static std::unique_ptr<JackOutput> Open(std::shared_ptr<Server> server, const std::string& destination, MMRESULT& error)
    {
        std::unique_ptr<JackOutput> c(new JackOutput(std::move(server)));
        c->m_ring = jack_ringbuffer_create(kRingBytes);
        if (!c->m_ring) {
            error = MMSYSERR_NOMEM;
            return nullptr;
        }
        if (!c->open(false, destination, &JackOutput::process, error)) return nullptr;
        return c;
    }
    ~JackOutput() override
    {
        drain();
        stop();  // before the ring goes
        if (m_ring) jack_ringbuffer_free(m_ring);
    }
    MMRESULT Send(const BYTE* bytes, size_t count) override
    {
        if (count == 0 || count > 255) return MMSYSERR_INVALPARAM;
        if (serverGone()) return MIDIERR_NODEVICE;
        std::lock_guard lock(m_writer);  // one writer at a time for the single-writer ring
        if (jack_ringbuffer_write_space(m_ring) < count + 1) return MIDIERR_NOTREADY;
        char whole[256];
        whole[0] = static_cast<char>(count);
        std::memcpy(whole + 1, bytes, count);
        jack_ringbuffer_write(m_ring, whole, count + 1);
        return MMSYSERR_NOERROR;
    }

private:
    static constexpr size_t kRingBytes = 1 << 14;
    explicit JackOutput(std::shared_ptr<Server> server) : JackPortClient(std::move(server)) {}

    // What was sent before a close reaches the other port (a reset's note-offs come right before
    // it): the ring empties, and a whole period runs after the one that took its last message,
    // so the receiving client has read it before this client leaves the graph.
    void drain()
    {
        if (!m_active) return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kLiveDeadlineSeconds);
        waitUntil([&] { return jack_ringbuffer_read_space(m_ring) == 0; }, deadline);
        waitUntil([&] { return m_cycles.load() > m_lastTakenCycle.load(); }, deadline);
    }

    static int process(jack_nframes_t frames, void* context)
    {
        auto* self = static_cast<JackOutput*>(static_cast<JackPortClient*>(context));
        void* buffer = jack_port_get_buffer(self->m_port, frames);
        jack_midi_clear_buffer(buffer);
        bool took = false;
        for (;;) {
            unsigned char length;
            if (jack_ringbuffer_peek(self->m_ring, reinterpret_cast<char*>(&length), 1) != 1) break;
            if (jack_ringbuffer_read_space(self->m_ring) < static_cast<size_t>(length) + 1) break;
            jack_midi_data_t* slot = jack_midi_event_reserve(buffer, 0, length);
            if (!slot) break;  // the period is full: the rest goes in the next one
            jack_ringbuffer_read_advance(self->m_ring, 1);
            jack_ringbuffer_read(self->m_ring, reinterpret_cast<char*>(slot), length);
            took = true;
        }
        // Numbered as counted() is about to number this period.
        if (took) self->m_lastTakenCycle.store(self->m_cycles.load() + 1, std::memory_order_release);
        self->counted();
        return 0;
    }

    jack_ringbuffer_t* m_ring = nullptr;
    std::atomic<uint64_t> m_lastTakenCycle{0};
    std::mutex m_writer;
};

// The server named for this process's clients, and what named it.
std::string serverName()
{
    const char* name = std::getenv("JACK_DEFAULT_SERVER");
    return name && *name ? "\"" + std::string(name) + "\" (JACK_DEFAULT_SERVER)" : "\"default\"";
}

class JackBackend : public Backend {
public:
    /// nullptr when no server answers.
    static std::shared_ptr<JackBackend> Open()
    {
        auto backend = std::shared_ptr<JackBackend>(new JackBackend);
        if (!backend->m_jack.Open()) return nullptr;
        return backend;
    }

    std::string Name() const override { return "jack"; }
    // The other clients' ports that send (inputs for us) or receive (outputs for us).
    std::vector<std::string> InputPorts() override { return ports(JackPortIsOutput); }
    std::vector<std::string> OutputPorts() override { return ports(JackPortIsInput); }

    std::unique_ptr<InputConnection> OpenInput(const std::string& port, InputSink& sink, MMRESULT& error) override
    {
        if (m_jack.gone()) {
            error = MMSYSERR_NODRIVER;
            return nullptr;
        }
        return JackInput::Open(m_server, port, sink, error);
    }
    std::unique_ptr<OutputConnection> OpenOutput(const std::string& port, MMRESULT& error) override
    {
        if (m_jack.gone()) {
            error = MMSYSERR_NODRIVER;
            return nullptr;
        }
        return JackOutput::Open(m_server, port, error);
    }

private:
    JackBackend() : m_server(std::make_shared<Server>()), m_jack(m_server, [this](const char* reason) { lost(reason); }) {}

    std::vector<std::string> ports(unsigned long flags)
    {
        std::vector<std::string> names;
        if (m_jack.gone()) return names;
        if (const char** found = jack_get_ports(m_jack.Get(), nullptr, JACK_DEFAULT_MIDI_TYPE, flags)) {
            for (const char** p = found; *p; ++p) names.emplace_back(*p);
            jack_free(found);
        }
        return names;
    }

    // On the client's notification thread.
    void lost(const char* reason)
    {
        std::fprintf(stderr, "midi: the JACK server %s has gone (%s); its MIDI devices are closed until a server answers again\n",
                     serverName().c_str(), reason && *reason ? reason : "no reason given");
        SystemLost();
    }

    const std::shared_ptr<Server> m_server;
    Client m_jack;  // last: it goes first, and with it any call of lost()
};

}  // namespace

std::shared_ptr<Backend> CreateJackBackend() { return JackBackend::Open(); }

}  // namespace winport::midi
