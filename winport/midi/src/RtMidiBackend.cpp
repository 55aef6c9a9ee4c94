// The ALSA sequencer through RtMidi. RtMidi throws from its constructors when the system is
// missing, so every construction is guarded; later errors come to an error callback.
#include <rtmidi/RtMidi.h>

#include <atomic>
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

}  // namespace

std::shared_ptr<Backend> CreateAlsaBackend()
{
    auto backend = std::make_shared<RtMidiBackend>(RtMidi::LINUX_ALSA, "alsa");
    return backend->start() ? backend : nullptr;
}

}  // namespace winport::midi
