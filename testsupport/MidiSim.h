// midi-sim on a test's own JACK server, under a client name of that server's (see
// JackServer::ClientName), started and ready before use; MidiSimOnJack puts up the server,
// midi-sim and the program's JACK backend together.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "JackServer.h"
#include "PeerProcess.h"
#include "winport/MidiBackend.h"

// The JACK backend for one test, given up (with its JACK clients) before the server stops.
struct JackBackendScope {
    JackBackendScope() : backend(winport::midi::CreateJackBackend()) { winport::midi::SetBackend(backend); }
    ~JackBackendScope() { winport::midi::SetBackend(nullptr); }
    JackBackendScope(const JackBackendScope&) = delete;
    JackBackendScope& operator=(const JackBackendScope&) = delete;
    std::shared_ptr<winport::midi::Backend> backend;
};

class MidiSim {
public:
    /// Starts midi-sim with the extra arguments (--heartbeat, --quiet ...) and waits (bounded)
    /// for its "ready" line. It takes commands (Process().Send).
    MidiSim(const JackServer& server, std::vector<std::string> args = {})
        : m_name(server.ClientName("midi-sim")), m_process(CONSOLE_BINARY_DIR "/tools/midi-sim/midi-sim", withServer(server, m_name, std::move(args)))
    {
        auto line = m_process.Line(15000);
        m_ready = line && line->rfind("ready " + In() + " " + Out(), 0) == 0;
        m_readyLine = line ? *line : "no answer";
    }
    ~MidiSim()
    {
        m_process.Send("quit");
        m_process.Wait(10000);
    }
    MidiSim(const MidiSim&) = delete;
    MidiSim& operator=(const MidiSim&) = delete;

    bool Ready() const { return m_ready; }
    const std::string& ReadyLine() const { return m_readyLine; }
    /// Its ports: the input that gets what mic sends, the output mic receives from.
    std::string In() const { return m_name + ":in"; }
    std::string Out() const { return m_name + ":out"; }
    PeerProcess& Process() { return m_process; }

    /// The bytes (hex, as midi-sim prints them) of the next message it reports received; ""
    /// when none comes within the time.
    std::string NextReceived(int timeoutMs = 10000)
    {
        for (int i = 0; i < 50; ++i) {
            auto line = m_process.Line(timeoutMs);
            if (!line) return "";
            if (line->rfind("in ", 0) == 0) return line->substr(line->find(' ', 3) + 1);
        }
        return "";
    }
    /// Whether it reports receiving `bytes` within the time, other messages passed over.
    bool Receives(const std::string& bytes, int timeoutMs = 10000)
    {
        for (int i = 0; i < 200; ++i) {
            const std::string got = NextReceived(timeoutMs);
            if (got.empty()) return false;
            if (got == bytes) return true;
        }
        return false;
    }

private:
    static std::vector<std::string> withServer(const JackServer& server, const std::string& name, std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--server", server.Name(), "--name", name, "--commands"});
        return args;
    }

    std::string m_name;
    PeerProcess m_process;
    bool m_ready = false;
    std::string m_readyLine;
};

/// A test's own JACK server (dummy driver), midi-sim on it with the arguments given, and the
/// program's JACK backend; Failure() tells what did not come up. They go in the reverse order.
class MidiSimOnJack {
public:
    explicit MidiSimOnJack(std::vector<std::string> simArgs = {}, int periodFrames = 128)
    {
        if (!m_server.Start(15000, periodFrames)) {
            m_failure = "jackd with the dummy driver did not come up";
            return;
        }
        m_sim.emplace(m_server, std::move(simArgs));
        if (!m_sim->Ready()) {
            m_failure = "midi-sim is not ready: " + m_sim->ReadyLine();
            return;
        }
        m_jack.emplace();
        if (!m_jack->backend) {
            m_failure = "no JACK backend";
            return;
        }
        m_inDevice = FindMidiDevice(true, m_sim->Out().c_str());
        m_outDevice = FindMidiDevice(false, m_sim->In().c_str());
        if (m_inDevice < 0 || m_outDevice < 0) m_failure = "midi-sim's ports are not among the MIDI devices";
    }

    /// Empty when everything is up.
    const std::string& Failure() const { return m_failure; }
    MidiSim& Sim() { return *m_sim; }
    const JackServer& Server() const { return m_server; }
    /// The program's MIDI input device that hears midi-sim, and the output device it hears.
    int InDevice() const { return m_inDevice; }
    int OutDevice() const { return m_outDevice; }

private:
    JackServer m_server;
    std::optional<MidiSim> m_sim;
    std::optional<JackBackendScope> m_jack;
    int m_inDevice = -1;
    int m_outDevice = -1;
    std::string m_failure;
};
