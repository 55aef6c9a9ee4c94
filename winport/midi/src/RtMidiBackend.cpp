// The ALSA sequencer and JACK through RtMidi. RtMidi throws from its constructors when the
// system is missing, so every construction is guarded; later errors come to an error callback.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <rtmidi/RtMidi.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <cstring>
#include <mutex>

#include "winport/MidiBackend.h"
#include "winport/Trace.h"

namespace winport::midi {

namespace {

// RtMidi reports errors after construction here instead of printing or throwing.
void recordError(RtMidiError::Type type, const std::string& text, void* flag)
{
    if (type == RtMidiError::WARNING || type == RtMidiError::DEBUG_WARNING) return;
    static_cast<std::atomic<bool>*>(flag)->store(true);
    TRACE("midi: %s\n", text.c_str());
}

template <typename T>
std::unique_ptr<T> makeClient(RtMidi::Api api, std::atomic<bool>& failed)
{
    try {
        auto client = std::make_unique<T>(api, OwnClientName());
        if (client->getCurrentApi() != api) return nullptr;
        client->setErrorCallback(recordError, &failed);
        return client;
    } catch (const RtMidiError& e) {
        TRACE("midi: %s\n", e.what());
        return nullptr;
    }
}

template <typename T>
std::vector<std::string> portNames(T& client)
{
    std::vector<std::string> names;
    try {
        unsigned n = client.getPortCount();
        for (unsigned i = 0; i < n; ++i) names.push_back(client.getPortName(i));
    } catch (const RtMidiError&) {
        names.clear();
    }
    return names;
}

template <typename T>
bool openByName(T& client, const std::string& port, const char* ownPort, std::atomic<bool>& failed)
{
    std::vector<std::string> names = portNames(client);
    for (unsigned i = 0; i < names.size(); ++i) {
        if (names[i] != port) continue;
        try {
            client.openPort(i, ownPort);
        } catch (const RtMidiError&) {
            return false;
        }
        return !failed.load() && client.isPortOpen();
    }
    return false;
}

// Made before its client, so that the client's thread (which RtMidi hands the pointer to) starts
// after the connection exists.
class RtInput : public InputConnection {
public:
    RtInput(InputSink& sink, std::unique_ptr<std::atomic<bool>> failed) : m_sink(sink), m_failed(std::move(failed)) {}
    ~RtInput() override
    {
        if (!m_in) return;
        try {
            m_in->closePort();
        } catch (const RtMidiError&) {
        }
        m_in.reset();  // the backend's thread has ended: no more calls to the sink
    }
    std::atomic<bool>& Failed() { return *m_failed; }
    void Attach(std::unique_ptr<RtMidiIn> in) { m_in = std::move(in); }
    static void received(double, std::vector<unsigned char>* message, void* context)
    {
        if (message && !message->empty()) static_cast<RtInput*>(context)->m_sink.Received(message->data(), message->size());
    }

private:
    std::unique_ptr<RtMidiIn> m_in;
    InputSink& m_sink;
    std::unique_ptr<std::atomic<bool>> m_failed;  // the client's error callback writes it
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
    JackPortClient() = default;
    ~JackPortClient()
    {
        stop();
        if (m_client) jack_client_close(m_client);
    }
    /// Ends the process thread's calls; derived classes stop before their own members go.
    void stop()
    {
        if (m_client && m_active) jack_deactivate(m_client);  // the process thread has ended after this
        m_active = false;
    }

    /// Opens the client and its port "in" or "out", activates it and connects it; false (with
    /// error) when any step fails.
    bool open(bool input, const std::string& other, JackProcessCallback process, MMRESULT& error)
    {
        jack_status_t status;
        m_client = jack_client_open(OwnClientName().c_str(), JackNoStartServer, &status);
        if (!m_client) {
            error = MMSYSERR_NODRIVER;
            return false;
        }
        m_port = jack_port_register(m_client, input ? "in" : "out", JACK_DEFAULT_MIDI_TYPE, input ? JackPortIsInput : JackPortIsOutput, 0);
        jack_on_shutdown(m_client, &JackPortClient::serverGone, this);
        if (!m_port || jack_set_process_callback(m_client, process, this) != 0 || jack_activate(m_client) != 0) {
            error = MMSYSERR_ERROR;
            return false;
        }
        m_active = true;
        const std::string mine = jack_port_name(m_port);
        if (jack_connect(m_client, input ? other.c_str() : mine.c_str(), input ? mine.c_str() : other.c_str()) != 0) {
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
        return true;
    }
    /// Called at the end of every process period.
    void counted() { m_cycles.fetch_add(1, std::memory_order_release); }

    /// Waits until done() holds, the server has gone, or the deadline has passed; whether it holds.
    template <typename Done>
    bool waitUntil(Done done, std::chrono::steady_clock::time_point deadline) const
    {
        while (!done() && !m_serverGone.load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return done();
    }

    static constexpr int kLiveDeadlineSeconds = 30;
    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    bool m_active = false;
    std::atomic<uint64_t> m_cycles{0};

private:
    static void serverGone(void* context) { static_cast<JackPortClient*>(context)->m_serverGone.store(true); }

    std::atomic<bool> m_serverGone{false};
};

// JACK input straight on libjack: RtMidi's JACK input hands every message of a period over as
// the period's first one, so a burst would arrive as copies of its first message.
class JackInput : public InputConnection, private JackPortClient {
public:
    static std::unique_ptr<JackInput> Open(const std::string& source, InputSink& sink, MMRESULT& error)
    {
        std::unique_ptr<JackInput> c(new JackInput(sink));
        if (!c->open(true, source, &JackInput::process, error)) return nullptr;
        return c;
    }
    ~JackInput() override { stop(); }

private:
    explicit JackInput(InputSink& sink) : m_sink(sink) {}

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

// JACK output straight on libjack as well, through a ring that the process thread empties.
class JackOutput : public OutputConnection, private JackPortClient {
public:
    static std::unique_ptr<JackOutput> Open(const std::string& destination, MMRESULT& error)
    {
        std::unique_ptr<JackOutput> c(new JackOutput);
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
    JackOutput() = default;

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

class RtOutput : public OutputConnection {
public:
    RtOutput(std::unique_ptr<RtMidiOut> out, std::unique_ptr<std::atomic<bool>> failed)
        : m_out(std::move(out)), m_failed(std::move(failed))
    {
    }
    MMRESULT Send(const BYTE* bytes, size_t count) override
    {
        m_failed->store(false);
        try {
            m_out->sendMessage(bytes, count);
        } catch (const RtMidiError&) {
            return MIDIERR_NODEVICE;
        }
        return m_failed->load() ? MIDIERR_NODEVICE : MMSYSERR_NOERROR;
    }

private:
    std::unique_ptr<RtMidiOut> m_out;
    std::unique_ptr<std::atomic<bool>> m_failed;
};

class RtMidiBackend : public Backend {
public:
    RtMidiBackend(RtMidi::Api api, std::string name) : m_api(api), m_name(std::move(name)) {}

    bool start()
    {
        m_inLister = makeClient<RtMidiIn>(m_api, m_listFailed);
        m_outLister = makeClient<RtMidiOut>(m_api, m_listFailed);
        return m_inLister && m_outLister;
    }

    std::string Name() const override { return m_name; }
    std::vector<std::string> InputPorts() override
    {
        std::lock_guard lock(m_mutex);
        return portNames(*m_inLister);
    }
    std::vector<std::string> OutputPorts() override
    {
        std::lock_guard lock(m_mutex);
        return portNames(*m_outLister);
    }

    std::unique_ptr<InputConnection> OpenInput(const std::string& port, InputSink& sink, MMRESULT& error) override
    {
        if (m_api == RtMidi::UNIX_JACK) return JackInput::Open(port, sink, error);
        auto connection = std::make_unique<RtInput>(sink, std::make_unique<std::atomic<bool>>(false));
        auto in = makeClient<RtMidiIn>(m_api, connection->Failed());
        if (!in) {
            error = MMSYSERR_NODRIVER;
            return nullptr;
        }
        in->ignoreTypes(false, false, false);  // system exclusive, timing and sensing all arrive
        in->setCallback(&RtInput::received, connection.get());  // before the port opens
        RtMidiIn* client = in.get();
        connection->Attach(std::move(in));
        if (!openByName(*client, port, "in", connection->Failed())) {
            error = MMSYSERR_BADDEVICEID;
            return nullptr;
        }
        return connection;
    }

    std::unique_ptr<OutputConnection> OpenOutput(const std::string& port, MMRESULT& error) override
    {
        if (m_api == RtMidi::UNIX_JACK) return JackOutput::Open(port, error);
        auto failed = std::make_unique<std::atomic<bool>>(false);
        auto out = makeClient<RtMidiOut>(m_api, *failed);
        if (!out) {
            error = MMSYSERR_NODRIVER;
            return nullptr;
        }
        if (!openByName(*out, port, "out", *failed)) {
            error = MMSYSERR_BADDEVICEID;
            return nullptr;
        }
        return std::make_unique<RtOutput>(std::move(out), std::move(failed));
    }

private:
    const RtMidi::Api m_api;
    const std::string m_name;
    std::mutex m_mutex;
    std::atomic<bool> m_listFailed{false};
    std::unique_ptr<RtMidiIn> m_inLister;
    std::unique_ptr<RtMidiOut> m_outLister;
};

void quiet(const char*) {}

// Whether a JACK server answers, without starting one.
bool jackServerAnswers()
{
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status;
    jack_client_t* probe = jack_client_open((OwnClientName() + "-probe").c_str(), JackNoStartServer, &status);
    if (!probe) return false;
    jack_client_close(probe);
    return true;
}

}  // namespace

std::shared_ptr<Backend> CreateAlsaBackend()
{
    auto backend = std::make_shared<RtMidiBackend>(RtMidi::LINUX_ALSA, "alsa");
    return backend->start() ? backend : nullptr;
}

std::shared_ptr<Backend> CreateJackBackend()
{
    if (!jackServerAnswers()) return nullptr;
    auto backend = std::make_shared<RtMidiBackend>(RtMidi::UNIX_JACK, "jack");
    return backend->start() ? backend : nullptr;
}

}  // namespace winport::midi
