// CMidiPortManager: MIDI control as a whole. Up to 32 MIDI ports, each driven by one engine
// (CMicMidiControl) while MIDI runs; their start and stop; the detection thread, which every
// 15.1 s turns the engines' heartbeat masks into counters and a list of detected units; and
// SendToPort, by which the main dialog sends a control change out of a port.
//
// Start, stop, SendToPort and the detection calls run on the main dialog's thread; the
// detection pass runs on the detection thread. The counters and the list are guarded by the
// manager's lock; engines are made and deleted only while the detection thread is not running.
//
// While MIDI runs, the manager watches the MIDI system behind its ports: when it goes (a JACK
// server that shuts down or dies), WM_MIDI_SYSTEM_LOST is posted to the notify window, whose
// thread stops MIDI as "&Stop MIDI" would.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "base/MidiPorts.h"
#include "midi/MicMidiControl.h"
#include "winport/FastLock.h"
#include "winport/MidiBackend.h"

class Shell;

class CMidiPortManager : public MidiPorts {
public:
    static constexpr int kPorts = 32;
    static constexpr int kChannels = 16;
    /// At most this many units are listed by a detection pass.
    static constexpr int kListed = 9;
    /// A detection pass runs this long after the start, and after each pass.
    static constexpr uint64_t kDetectPeriodMs = 15100;

    /// Messages and the wait cursor go through shell; notifications of the engines go to
    /// notify (the main dialog's window).
    CMidiPortManager(Shell& shell, HWND notify);
    ~CMidiPortManager() override;
    CMidiPortManager(const CMidiPortManager&) = delete;
    CMidiPortManager& operator=(const CMidiPortManager&) = delete;

    void Reset() override;
    BOOL IsRunning() const override { return m_bRunning ? TRUE : FALSE; }
    /// Starts every active port whose "MicPreControl" is set, then the detection thread. FALSE
    /// with "MIDI control is already running!" when it runs, with "There are no MIDI Ports to
    /// start!" when no port qualifies.
    BOOL StartMidiPortsThread() override;
    /// Stops the detection thread, then every engine in port order. FALSE without a message when
    /// not running; FALSE with "Cannot stop now!\nMIDI currently in use." while starting.
    BOOL StopMidiPorts() override;
    /// Hands the bytes to the engine of a started port (SendOut); nothing for a port outside 0 to
    /// 31 or one that is not started.
    void SendToPort(int port, int type, int device, int count, const BYTE* bytes) override;

    // Detection.
    /// One pass: the counters from the engines' heartbeat masks, then the list.
    void DetectPres();
    void UpdateHeartbeatCounters();
    /// Entry i of the list (0, 0 when unused); FALSE for i outside 0 to 31.
    BOOL GetDetectedPre(int i, int& port, int& channel) override;
    /// How many entries of the list are filled.
    int GetDetectedCount() override;
    void ClearDetectedPres() override;
    /// While set, counters only rise and the engines' masks accumulate.
    void SetDetectHold(BOOL hold) override;
    int GetHeartbeatCounter(int port, int channel);
    /// The heartbeats seen by the last pass.
    int GetLastHeartbeatCount();
    BOOL IsDetectionPassBusy() const { return m_bDetectBusy ? TRUE : FALSE; }

    /// Passes run by the detection thread since the manager was built. The thread looks at the
    /// clock every 100 ms of real time, and at once when nudged (after a test moved its virtual
    /// clock).
    uint64_t DetectionPasses() const { return m_nPasses.load(); }
    /// Wakes the detection thread; the ticket names the looks begun so far.
    uint64_t NudgeDetection();
    /// Waits (at most timeoutMs of real time) until a look begun after the ticket's nudge has
    /// ended, with its pass if one was due; true when it has.
    bool WaitForDetectionLook(uint64_t ticket, int timeoutMs);

    /// The engine of a started port; null otherwise.
    CMicMidiControl* GetEngine(int port) const;

protected:
    /// The heartbeat mask of a started port's engine; reset reads it and clears it.
    virtual DWORD TakeHeartbeatMask(int port, bool reset);

private:
    /// The first pass is due at `due` (the clock's time).
    void PreDetectThread(uint64_t due);
    void StopDetection();
    void DeleteEngines();

    Shell& m_shell;
    HWND m_hNotify;
    // While MIDI runs: posts WM_MIDI_SYSTEM_LOST when the MIDI system goes.
    std::unique_ptr<winport::midi::SystemWatch> m_pSystemWatch;
    std::array<std::unique_ptr<CMicMidiControl>, kPorts> m_pEngines;
    std::array<bool, kPorts> m_bStarted{};
    // Counters and list, under m_csLock.
    CFastCriticalSection m_csLock;
    int m_nCounters[kPorts][kChannels] = {};
    int m_nDetected[kPorts][2] = {};
    int m_nDetectedCount = 0;
    int m_nHeartbeatCount = 0;
    std::atomic<bool> m_bHold{false};
    std::atomic<bool> m_bDetectBusy{false};
    bool m_bRunning = false;
    bool m_bStarting = false;
    // The detection thread.
    std::thread m_DetectThread;
    std::mutex m_detectMutex;
    std::condition_variable m_detectWake;
    bool m_bDetectStop = false;
    bool m_bDetectNudged = false;
    std::atomic<uint64_t> m_nPasses{0};
    uint64_t m_nLooksStarted = 0;       // under m_detectMutex
    std::atomic<uint64_t> m_nLooks{0};  // looks ended
};
