// The seam behind winport's MIDI devices: a backend lists input and output ports and opens them.
// RtMidi serves the ALSA sequencer, libjack serves JACK; the loopback backend is an in-process
// peer for tests. WINPORT_MIDI_BACKEND chooses ("alsa", "jack", "loopback" or "none"); without
// it, ALSA when its sequencer opens, else JACK when a server answers, else none.
// WINPORT_MIDI_CLIENT names the program's own client (default "winport-<pid>").
//
// A MIDI system can go while the program runs (a JACK server that shuts down or dies): the
// backend then knows it (Gone), tells its watches once, and never calls into that system again;
// its open devices are dead. The next device count gives it up and looks for a server again,
// so that MIDI comes back with the server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "winport/Midi.h"

namespace winport::midi {

/// Receives what an open input port brings: one complete MIDI message (a short message, a
/// real-time byte, or a system-exclusive message or part of one) per call, from the backend's
/// own thread.
class InputSink {
public:
    virtual ~InputSink() = default;
    virtual void Received(const BYTE* bytes, size_t count) = 0;
};

class InputConnection {
public:
    virtual ~InputConnection() = default;  // after it returns, the sink is called no more
    /// What a close finds: MMSYSERR_NOERROR, or MIDIERR_STILLPLAYING while the device is busy.
    virtual MMRESULT CloseResult() { return MMSYSERR_NOERROR; }
};

class OutputConnection {
public:
    virtual ~OutputConnection() = default;
    /// Sends one complete message.
    virtual MMRESULT Send(const BYTE* bytes, size_t count) = 0;
    /// What unpreparing a header or closing finds: MIDIERR_STILLPLAYING while the device is busy.
    virtual MMRESULT BusyResult() { return MMSYSERR_NOERROR; }
};

class SystemWatch;
struct SystemWatchers;

class Backend {
public:
    Backend();
    virtual ~Backend();
    Backend(const Backend&) = delete;
    Backend& operator=(const Backend&) = delete;
    virtual std::string Name() const = 0;
    /// Port names as the backend gives them, in its own order.
    virtual std::vector<std::string> InputPorts() = 0;
    virtual std::vector<std::string> OutputPorts() = 0;
    /// Opens the port that InputPorts/OutputPorts named so; nullptr with an MMRESULT on failure.
    virtual std::unique_ptr<InputConnection> OpenInput(const std::string& port, InputSink& sink, MMRESULT& error) = 0;
    virtual std::unique_ptr<OutputConnection> OpenOutput(const std::string& port, MMRESULT& error) = 0;

    /// Whether the system behind the backend has gone: its devices are dead, and nothing of
    /// that system is called again.
    bool Gone() const;
    /// Runs `lost` once, on the system's own thread, when the system goes while the watch
    /// lives; at once, on this thread, when it has gone already. `lost` should only post. Once
    /// the watch is destroyed, `lost` is not running and never runs.
    std::unique_ptr<SystemWatch> Watch(std::function<void()> lost);

protected:
    /// The system has gone (from any thread; again is nothing).
    void SystemLost();

private:
    std::shared_ptr<SystemWatchers> m_watchers;
};

class SystemWatch {
public:
    SystemWatch(std::shared_ptr<SystemWatchers> watchers, uint64_t id) : m_watchers(std::move(watchers)), m_id(id) {}
    ~SystemWatch();
    SystemWatch(const SystemWatch&) = delete;
    SystemWatch& operator=(const SystemWatch&) = delete;

private:
    std::shared_ptr<SystemWatchers> m_watchers;
    uint64_t m_id;
};

/// The backend in use: the one installed, else the one chosen from the environment on first
/// use.
std::shared_ptr<Backend> CurrentBackend();
/// The backend for a new device list: a backend whose system has gone is given up (its clients
/// left to that system's library); while none is kept, a JACK server is looked for again
/// (unless WINPORT_MIDI_BACKEND names another system). nullptr while no system answers.
std::shared_ptr<Backend> RenewBackend();
/// Installs a backend (nullptr: choose from the environment again). Open devices keep theirs.
void SetBackend(std::shared_ptr<Backend> backend);
/// A watch (Backend::Watch) on the backend in use; one that never runs when there is none.
std::unique_ptr<SystemWatch> WatchSystem(std::function<void()> lost);

/// The MIDI of one run of a program: the backend chosen while it lives is given up with it,
/// before main returns, so that nothing that talks to a MIDI system lives in static storage.
class BackendScope {
public:
    BackendScope() = default;
    ~BackendScope() { SetBackend(nullptr); }
    BackendScope(const BackendScope&) = delete;
    BackendScope& operator=(const BackendScope&) = delete;
};

/// The ALSA sequencer or JACK through RtMidi; nullptr when that system cannot be reached.
std::shared_ptr<Backend> CreateAlsaBackend();
std::shared_ptr<Backend> CreateJackBackend();
/// The program's own client name; its ports are never listed as devices.
std::string OwnClientName();

/// Device names from port names: ALSA's client and port numbers dropped, cut to 31
/// characters, made distinct, sorted. Element i is device i; source[i] the port it stands for.
struct DeviceList {
    std::vector<std::string> names;
    std::vector<std::string> ports;
};
DeviceList MakeDeviceList(const std::vector<std::string>& ports, const std::string& ownClient);

/// An in-process MIDI peer. Devices are declared by the test; what arrives at an input device
/// comes from the peer's own thread, in order; what the program sends is recorded per output
/// device. Opens can be made to fail, closes to report "still playing", sends to fail.
class LoopbackBackend : public Backend {
public:
    LoopbackBackend();
    ~LoopbackBackend() override;

    /// Declares a device; returns its name.
    std::string AddInput(const std::string& name);
    std::string AddOutput(const std::string& name);

    /// Hands one message to an input device through the peer's thread (in order of calls).
    /// Nothing arrives while the device is closed.
    void Inject(const std::string& input, std::vector<BYTE> bytes);
    void InjectShort(const std::string& input, BYTE status, BYTE data1, BYTE data2);
    /// Waits until the peer's thread has delivered everything injected so far.
    bool WaitDelivered(int timeoutMs);
    /// Messages sent to an output device so far, oldest first.
    std::vector<std::vector<BYTE>> Sent(const std::string& output) const;
    /// Waits until at least count messages were sent to the device.
    bool WaitSent(const std::string& output, size_t count, int timeoutMs) const;
    void ClearSent(const std::string& output);
    /// Called for every message sent (on the sender's thread), after it is recorded.
    void SetOnSent(std::function<void(const std::string& output, const std::vector<BYTE>&)> hook);

    /// Scripts: the next open of the device fails with error; its next `count` closes (and
    /// header unprepares) report MIDIERR_STILLPLAYING; its next `count` sends fail with error.
    void FailNextOpen(const std::string& device, MMRESULT error);
    void ReportStillPlaying(const std::string& device, int count);
    void FailSends(const std::string& output, int count, MMRESULT error);
    bool IsOpen(const std::string& device) const;

    std::string Name() const override { return "loopback"; }
    std::vector<std::string> InputPorts() override;
    std::vector<std::string> OutputPorts() override;
    std::unique_ptr<InputConnection> OpenInput(const std::string& port, InputSink& sink, MMRESULT& error) override;
    std::unique_ptr<OutputConnection> OpenOutput(const std::string& port, MMRESULT& error) override;

    struct State;  // shared with the open connections

private:
    std::shared_ptr<State> m_state;
};

}  // namespace winport::midi
