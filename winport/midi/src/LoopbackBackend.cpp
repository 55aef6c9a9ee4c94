// The in-process MIDI peer: a thread that delivers what tests inject, and a record of what the
// program sends.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "winport/MidiBackend.h"

namespace winport::midi {

struct LoopbackBackend::State {
    struct Device {
        bool input = false;
        bool open = false;
        InputSink* sink = nullptr;
        MMRESULT failNextOpen = MMSYSERR_NOERROR;
        int stillPlaying = 0;
        int failSends = 0;
        MMRESULT sendError = MMSYSERR_NOERROR;
        std::vector<std::vector<BYTE>> sent;
    };

    mutable std::mutex mutex;
    mutable std::condition_variable cv;
    std::map<std::string, Device> devices;
    std::deque<std::pair<std::string, std::vector<BYTE>>> queue;
    uint64_t injected = 0;
    uint64_t delivered = 0;
    bool stop = false;
    std::function<void(const std::string&, const std::vector<BYTE>&)> onSent;
    // Held while a message is handed to a sink, so that closing an input waits for it.
    std::mutex deliveryMutex;
    std::thread peer;

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            cv.wait(lock, [&] { return stop || !queue.empty(); });
            if (stop) return;
            auto [name, bytes] = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            {
                std::lock_guard delivery(deliveryMutex);
                InputSink* sink = nullptr;
                {
                    std::lock_guard l(mutex);
                    auto it = devices.find(name);
                    if (it != devices.end() && it->second.open) sink = it->second.sink;
                }
                if (sink) sink->Received(bytes.data(), bytes.size());
            }
            lock.lock();
            ++delivered;
            cv.notify_all();
        }
    }

    // Takes one scripted "still playing" of the device.
    MMRESULT busy(const std::string& name)
    {
        std::lock_guard lock(mutex);
        auto it = devices.find(name);
        if (it == devices.end() || it->second.stillPlaying <= 0) return MMSYSERR_NOERROR;
        --it->second.stillPlaying;
        return MIDIERR_STILLPLAYING;
    }

    void setClosed(const std::string& name)
    {
        std::lock_guard lock(mutex);
        auto it = devices.find(name);
        if (it != devices.end()) {
            it->second.open = false;
            it->second.sink = nullptr;
        }
    }
};

namespace {

class LoopbackInput : public InputConnection {
public:
    LoopbackInput(std::shared_ptr<LoopbackBackend::State> s, std::string name) : m_state(std::move(s)), m_name(std::move(name)) {}
    ~LoopbackInput() override
    {
        std::lock_guard delivery(m_state->deliveryMutex);  // waits for a message being handed over
        m_state->setClosed(m_name);
    }
    MMRESULT CloseResult() override { return m_state->busy(m_name); }

private:
    std::shared_ptr<LoopbackBackend::State> m_state;
    std::string m_name;
};

class LoopbackOutput : public OutputConnection {
public:
    LoopbackOutput(std::shared_ptr<LoopbackBackend::State> s, std::string name) : m_state(std::move(s)), m_name(std::move(name)) {}
    ~LoopbackOutput() override { m_state->setClosed(m_name); }

    MMRESULT Send(const BYTE* bytes, size_t count) override
    {
        std::vector<BYTE> message(bytes, bytes + count);
        std::function<void(const std::string&, const std::vector<BYTE>&)> hook;
        {
            std::lock_guard lock(m_state->mutex);
            auto& d = m_state->devices[m_name];
            if (d.failSends > 0) {
                --d.failSends;
                return d.sendError;
            }
            d.sent.push_back(message);
            hook = m_state->onSent;
            m_state->cv.notify_all();
        }
        if (hook) hook(m_name, message);
        return MMSYSERR_NOERROR;
    }
    MMRESULT BusyResult() override { return m_state->busy(m_name); }

private:
    std::shared_ptr<LoopbackBackend::State> m_state;
    std::string m_name;
};

}  // namespace

LoopbackBackend::LoopbackBackend() : m_state(std::make_shared<State>())
{
    m_state->peer = std::thread([s = m_state.get()] { s->run(); });
}

LoopbackBackend::~LoopbackBackend()
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stop = true;
        m_state->cv.notify_all();
    }
    m_state->peer.join();
}

std::string LoopbackBackend::AddInput(const std::string& name)
{
    std::lock_guard lock(m_state->mutex);
    m_state->devices[name].input = true;
    return name;
}

std::string LoopbackBackend::AddOutput(const std::string& name)
{
    std::lock_guard lock(m_state->mutex);
    m_state->devices[name].input = false;
    return name;
}

void LoopbackBackend::Inject(const std::string& input, std::vector<BYTE> bytes)
{
    std::lock_guard lock(m_state->mutex);
    m_state->queue.emplace_back(input, std::move(bytes));
    ++m_state->injected;
    m_state->cv.notify_all();
}

void LoopbackBackend::InjectShort(const std::string& input, BYTE status, BYTE data1, BYTE data2)
{
    Inject(input, {status, data1, data2});
}

bool LoopbackBackend::WaitDelivered(int timeoutMs)
{
    std::unique_lock lock(m_state->mutex);
    uint64_t target = m_state->injected;
    return m_state->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_state->delivered >= target; });
}

std::vector<std::vector<BYTE>> LoopbackBackend::Sent(const std::string& output) const
{
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->devices.find(output);
    return it == m_state->devices.end() ? std::vector<std::vector<BYTE>>{} : it->second.sent;
}

bool LoopbackBackend::WaitSent(const std::string& output, size_t count, int timeoutMs) const
{
    std::unique_lock lock(m_state->mutex);
    return m_state->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        auto it = m_state->devices.find(output);
        return it != m_state->devices.end() && it->second.sent.size() >= count;
    });
}

void LoopbackBackend::ClearSent(const std::string& output)
{
    std::lock_guard lock(m_state->mutex);
    m_state->devices[output].sent.clear();
}

void LoopbackBackend::SetOnSent(std::function<void(const std::string&, const std::vector<BYTE>&)> hook)
{
    std::lock_guard lock(m_state->mutex);
    m_state->onSent = std::move(hook);
}

void LoopbackBackend::FailNextOpen(const std::string& device, MMRESULT error)
{
    std::lock_guard lock(m_state->mutex);
    m_state->devices[device].failNextOpen = error;
}

void LoopbackBackend::ReportStillPlaying(const std::string& device, int count)
{
    std::lock_guard lock(m_state->mutex);
    m_state->devices[device].stillPlaying = count;
}

void LoopbackBackend::FailSends(const std::string& output, int count, MMRESULT error)
{
    std::lock_guard lock(m_state->mutex);
    auto& d = m_state->devices[output];
    d.failSends = count;
    d.sendError = error;
}

bool LoopbackBackend::IsOpen(const std::string& device) const
{
    std::lock_guard lock(m_state->mutex);
    auto it = m_state->devices.find(device);
    return it != m_state->devices.end() && it->second.open;
}

namespace {
std::vector<std::string> portsOf(const std::map<std::string, LoopbackBackend::State::Device>& devices, bool input)
{
    std::vector<std::string> names;
    for (const auto& [name, d] : devices) {
        if (d.input == input) names.push_back(name);
    }
    return names;
}
}  // namespace

std::vector<std::string> LoopbackBackend::InputPorts()
{
    std::lock_guard lock(m_state->mutex);
    return portsOf(m_state->devices, true);
}

std::vector<std::string> LoopbackBackend::OutputPorts()
{
    std::lock_guard lock(m_state->mutex);
    return portsOf(m_state->devices, false);
}

namespace {
// Opens a declared device of the right direction once at a time; the scripted failure first.
bool openDevice(std::map<std::string, LoopbackBackend::State::Device>& devices, const std::string& port, bool input,
                MMRESULT& error)
{
    auto it = devices.find(port);
    if (it == devices.end() || it->second.input != input) {
        error = MMSYSERR_BADDEVICEID;
        return false;
    }
    auto& d = it->second;
    if (d.failNextOpen != MMSYSERR_NOERROR) {
        error = d.failNextOpen;
        d.failNextOpen = MMSYSERR_NOERROR;
        return false;
    }
    if (d.open) {
        error = MMSYSERR_ALLOCATED;
        return false;
    }
    d.open = true;
    return true;
}
}  // namespace

std::unique_ptr<InputConnection> LoopbackBackend::OpenInput(const std::string& port, InputSink& sink, MMRESULT& error)
{
    std::lock_guard lock(m_state->mutex);
    if (!openDevice(m_state->devices, port, true, error)) return nullptr;
    m_state->devices[port].sink = &sink;
    return std::make_unique<LoopbackInput>(m_state, port);
}

std::unique_ptr<OutputConnection> LoopbackBackend::OpenOutput(const std::string& port, MMRESULT& error)
{
    std::lock_guard lock(m_state->mutex);
    if (!openDevice(m_state->devices, port, false, error)) return nullptr;
    return std::make_unique<LoopbackOutput>(m_state, port);
}

}  // namespace winport::midi
