#include "midi/MidiPortManager.h"

#include <chrono>
#include <cstring>

#include "base/MicMessages.h"
#include "base/Shell.h"
#include "midi/MidiPortConfig.h"
#include "winport/Clock.h"
#include "winport/Hooks.h"
#include "winport/Trace.h"
#include "winport/Window.h"

namespace {
constexpr const char* kCaption = "Remote Mic Control";

// The configuration of port n when it is to be started: active, "MicPreControl" set, devices
// present under the names they were linked with.
bool qualifies(int port, CMidiPortConfig& config)
{
    config.Load(port);
    return config.IsActive() && config.ReadPortValue("MicPreControl") != 0;
}

// Shows the wait cursor for a scope.
class WaitCursor {
public:
    explicit WaitCursor(Shell& shell) : m_shell(shell) { m_shell.WaitCursor(true); }
    ~WaitCursor() { m_shell.WaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    Shell& m_shell;
};
}  // namespace

CMidiPortManager::CMidiPortManager(Shell& shell, HWND notify) : m_shell(shell), m_hNotify(notify) {}

CMidiPortManager::~CMidiPortManager()
{
    m_pSystemWatch.reset();
    StopDetection();
    DeleteEngines();
}

void CMidiPortManager::Reset()
{
    // The engines are forgotten only when none runs: a running one is never leaked or lost.
    if (!m_bRunning) {
        for (auto& engine : m_pEngines) engine.reset();
        m_bStarted.fill(false);
    }
    CFastSingleLock lock(&m_csLock, TRUE);
    std::memset(m_nCounters, 0, sizeof m_nCounters);
    std::memset(m_nDetected, 0, sizeof m_nDetected);
    m_nDetectedCount = 0;
    m_nHeartbeatCount = 0;
    m_bDetectBusy = false;
}

BOOL CMidiPortManager::StartMidiPortsThread()
{
    if (m_bRunning || m_bStarting) {
        m_shell.MessageBox(m_hNotify, "MIDI control is already running!", kCaption, MB_OK, {});
        return FALSE;
    }
    CMidiPortConfig config;
    bool any = false;
    for (int n = 0; n < kPorts && !any; ++n) any = qualifies(n, config);
    if (!any) {
        m_shell.MessageBox(m_hNotify, "There are no MIDI Ports to start!", kCaption, MB_OK, {});
        return FALSE;
    }
    m_bStarting = true;
    m_bRunning = true;
    WaitCursor cursor(m_shell);
    // Watched from before the first open, so that a system that goes meanwhile is seen.
    m_pSystemWatch = winport::midi::WatchSystem([window = m_hNotify] { PostMessageA(window, WM_MIDI_SYSTEM_LOST, 0, 0); });
    for (int n = 0; n < kPorts; ++n) {
        if (!qualifies(n, config)) continue;
        if (config.GetMidiIn() >= kPorts) {
            // The input callbacks have one place per MIDI-in device index below 32.
            TRACE("MIDI port %d: MIDI-in device %d has no input callback, the port is not started\n", n, config.GetMidiIn());
            continue;
        }
        auto engine = std::make_unique<CMicMidiControl>();
        engine->SetNotifyWindow(m_hNotify);
        engine->SetMessageType(static_cast<int>(kMidiEventReceived));
        engine->SetPorts(config.GetPortNumber(), config.GetMidiIn(), config.GetMidiOut());
        engine->OpenPorts();
        // The mask is emptied before the servicing starts: a heartbeat answered from then on is
        // also counted.
        engine->ResetHeartbeatMask();
        if (engine->StartServicing()) m_bStarted[n] = true;
        m_pEngines[n] = std::move(engine);
    }
    m_bStarting = false;
    {
        std::lock_guard lock(m_detectMutex);
        m_bDetectStop = false;
    }
    const uint64_t due = winport::CurrentClock().nowMs() + kDetectPeriodMs;
    m_DetectThread = std::thread([this, due] { PreDetectThread(due); });
    return TRUE;
}

BOOL CMidiPortManager::StopMidiPorts()
{
    if (!m_bRunning) return FALSE;
    if (m_bStarting) {
        m_shell.MessageBox(m_hNotify, "Cannot stop now!\nMIDI currently in use.", kCaption, MB_OK, {});
        return FALSE;
    }
    WaitCursor cursor(m_shell);
    m_pSystemWatch.reset();
    StopDetection();
    DeleteEngines();
    m_bRunning = false;
    m_bStarting = false;
    return TRUE;
}

void CMidiPortManager::SendToPort(int port, int type, int device, int count, const BYTE* bytes)
{
    // The port can come from a setup file: anything outside the table is ignored.
    if (port < 0 || port >= kPorts || !m_bStarted[port] || !m_pEngines[port]) return;
    m_pEngines[port]->SendOut(type, device, count, bytes);
}

CMicMidiControl* CMidiPortManager::GetEngine(int port) const
{
    return port >= 0 && port < kPorts && m_bStarted[port] ? m_pEngines[port].get() : nullptr;
}

void CMidiPortManager::DeleteEngines()
{
    for (int n = 0; n < kPorts; ++n) {
        m_pEngines[n].reset();  // the engine's teardown joins its threads and closes its ports
        m_bStarted[n] = false;
    }
}

DWORD CMidiPortManager::TakeHeartbeatMask(int port, bool reset)
{
    CMicMidiControl* engine = GetEngine(port);
    if (!engine) return 0;
    const DWORD mask = engine->GetHeartbeatMask();
    if (reset) engine->ResetHeartbeatMask();
    return mask;
}

void CMidiPortManager::UpdateHeartbeatCounters()
{
    CFastSingleLock lock(&m_csLock, TRUE);
    const bool hold = m_bHold.load();
    int total = 0;
    for (int port = 0; port < kPorts; ++port) {
        if (!m_bStarted[port]) continue;
        const DWORD mask = TakeHeartbeatMask(port, !hold);
        for (int channel = 0; channel < kChannels; ++channel) {
            int& counter = m_nCounters[port][channel];
            if (mask & (1u << channel)) {
                ++counter;
                ++total;
            } else if (!hold) {
                --counter;
            }
            if (counter >= 4) counter = 3;
            if (counter < 1) counter = 0;
        }
    }
    m_nHeartbeatCount = total;
}

void CMidiPortManager::DetectPres()
{
    m_bDetectBusy = true;
    UpdateHeartbeatCounters();
    {
        CFastSingleLock lock(&m_csLock, TRUE);
        std::memset(m_nDetected, 0, sizeof m_nDetected);
        int taken = 0;
        for (int port = 0; port < kPorts && taken < kListed; ++port) {
            for (int channel = 0; channel < kChannels && taken < kListed; ++channel) {
                if (m_nCounters[port][channel] == 0) continue;
                m_nDetected[taken][0] = port;
                m_nDetected[taken][1] = channel;
                ++taken;
            }
        }
        m_nDetectedCount = taken;
    }
    m_bDetectBusy = false;
}

BOOL CMidiPortManager::GetDetectedPre(int i, int& port, int& channel)
{
    if (i < 0 || i >= kPorts) return FALSE;
    CFastSingleLock lock(&m_csLock, TRUE);
    port = m_nDetected[i][0];
    channel = m_nDetected[i][1];
    return TRUE;
}

int CMidiPortManager::GetDetectedCount()
{
    CFastSingleLock lock(&m_csLock, TRUE);
    return m_nDetectedCount;
}

void CMidiPortManager::ClearDetectedPres()
{
    CFastSingleLock lock(&m_csLock, TRUE);
    std::memset(m_nCounters, 0, sizeof m_nCounters);
    std::memset(m_nDetected, 0, sizeof m_nDetected);
    m_nDetectedCount = 0;
}

void CMidiPortManager::SetDetectHold(BOOL hold) { m_bHold = hold != FALSE; }

int CMidiPortManager::GetHeartbeatCounter(int port, int channel)
{
    if (port < 0 || port >= kPorts || channel < 0 || channel >= kChannels) return 0;
    CFastSingleLock lock(&m_csLock, TRUE);
    return m_nCounters[port][channel];
}

int CMidiPortManager::GetLastHeartbeatCount()
{
    CFastSingleLock lock(&m_csLock, TRUE);
    return m_nHeartbeatCount;
}

void CMidiPortManager::PreDetectThread(uint64_t due)
{
    // A pass every 15.1 s of the program's clock (virtual in tests), looked at every 100 ms.
    std::unique_lock lock(m_detectMutex);
    while (!m_bDetectStop) {
        m_detectWake.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_bDetectStop || m_bDetectNudged; });
        m_bDetectNudged = false;
        if (m_bDetectStop) break;
        ++m_nLooksStarted;
        const uint64_t now = winport::CurrentClock().nowMs();
        if (now >= due) {
            lock.unlock();
            DetectPres();
            m_nPasses.fetch_add(1);
            lock.lock();
            due = now + kDetectPeriodMs;
        }
        m_nLooks.fetch_add(1);
        m_detectWake.notify_all();
    }
}

uint64_t CMidiPortManager::NudgeDetection()
{
    std::lock_guard lock(m_detectMutex);
    m_bDetectNudged = true;
    m_detectWake.notify_all();
    return m_nLooksStarted;
}

bool CMidiPortManager::WaitForDetectionLook(uint64_t ticket, int timeoutMs)
{
    // Looks end in the order they start: the one numbered ticket + 1 read the clock after the
    // nudge that gave the ticket.
    std::unique_lock lock(m_detectMutex);
    return m_detectWake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_nLooks.load() > ticket; });
}

void CMidiPortManager::StopDetection()
{
    {
        std::lock_guard lock(m_detectMutex);
        m_bDetectStop = true;
        m_detectWake.notify_all();
    }
    if (m_DetectThread.joinable()) m_DetectThread.join();
}
