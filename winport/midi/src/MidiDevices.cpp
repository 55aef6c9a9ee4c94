// midiIn* and midiOut* over the current backend. Each open input device has a delivery thread
// that parses what the backend brings and calls the program's callback without holding any
// lock, so that the callback may call back into these functions.
#include <algorithm>
#include <bitset>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "MidiInputAssembler.h"
#include "winport/Midi.h"
#include "winport/MidiBackend.h"

using namespace winport::midi;

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long a reset from another thread waits for the callback to take the buffers back.
constexpr auto kResetWait = std::chrono::seconds(5);

// The device lists, taken anew at each count and used by caps and open until the next count.
// A count also gives up a backend whose system has gone, for one that answers.
class DeviceLists {
public:
    UINT count(bool input)
    {
        std::lock_guard lock(m_mutex);
        refreshLocked();
        return static_cast<UINT>((input ? m_inputs : m_outputs).names.size());
    }
    // The device's name and port; false for an index past the list.
    bool device(bool input, UINT_PTR index, std::string& name, std::string& port, std::shared_ptr<Backend>& backend)
    {
        std::lock_guard lock(m_mutex);
        backend = m_backend.lock();
        if (!backend || backend != CurrentBackend()) backend = refreshLocked();
        const DeviceList& list = input ? m_inputs : m_outputs;
        if (index >= list.names.size()) return false;
        name = list.names[index];
        port = list.ports[index];
        return backend != nullptr;
    }

private:
    std::shared_ptr<Backend> refreshLocked()
    {
        auto backend = RenewBackend();  // a system that has gone gives way to one that answers
        m_backend = backend;
        m_inputs = backend ? MakeDeviceList(backend->InputPorts(), OwnClientName()) : DeviceList{};
        m_outputs = backend ? MakeDeviceList(backend->OutputPorts(), OwnClientName()) : DeviceList{};
        return backend;
    }

    std::mutex m_mutex;
    // Not an owner: a backend that is replaced (and its clients of the MIDI system) goes at once.
    std::weak_ptr<Backend> m_backend;
    DeviceList m_inputs, m_outputs;
};

DeviceLists& deviceLists()
{
    static DeviceLists* lists = new DeviceLists;
    return *lists;
}

// Handles of open devices: 32-bit values, looked up to shared objects so that a close on one
// thread never frees what another thread is using.
template <typename T, typename H>
class DeviceTable {
public:
    H add(std::shared_ptr<T> object)
    {
        std::lock_guard lock(m_mutex);
        m_next = (m_next >= 0x7FFFFF00u) ? 0x20000u : m_next + 4;
        m_objects[m_next] = std::move(object);
        return reinterpret_cast<H>(static_cast<uintptr_t>(m_next));
    }
    std::shared_ptr<T> find(H h)
    {
        std::lock_guard lock(m_mutex);
        auto it = m_objects.find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)));
        if (it == m_objects.end() || reinterpret_cast<uintptr_t>(h) != it->first) return nullptr;
        return it->second;
    }
    void remove(H h)
    {
        std::shared_ptr<T> gone;
        std::lock_guard lock(m_mutex);
        auto it = m_objects.find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)));
        if (it != m_objects.end()) {
            gone = std::move(it->second);
            m_objects.erase(it);
        }
    }

private:
    std::mutex m_mutex;
    uint32_t m_next = 0x20000u;
    std::unordered_map<uint32_t, std::shared_ptr<T>> m_objects;
};

// ---- input ---------------------------------------------------------------------------------

class MidiIn : public InputSink, public MidiInputAssembler::Sink {
public:
    struct Item {
        bool raw;               // bytes to parse, else a ready notification
        UINT message;
        DWORD_PTR param1;
        DWORD_PTR param2;
        std::vector<BYTE> bytes;
        uint64_t seq;
    };

    MidiIn(MIDIINPROC proc, DWORD_PTR instance) : m_proc(proc), m_instance(instance) {}

    void start(HMIDIIN self)
    {
        // The thread waits for this lock, so that it sees its handle and its own id.
        std::lock_guard lock(m_mutex);
        m_self = self;
        queueLocked(MIM_OPEN, 0, 0);
        m_thread = std::thread([this] { run(); });
        m_threadId = m_thread.get_id();
    }

    void Received(const BYTE* bytes, size_t count) override
    {
        if (count == 0) return;
        std::lock_guard lock(m_mutex);
        if (!m_started || m_closing) return;
        Item item{true, 0, 0, timeLocked(), std::vector<BYTE>(bytes, bytes + count), ++m_queuedSeq};
        m_items.push_back(std::move(item));
        m_cv.notify_all();
    }

    // Notifications made while parsing (caller holds m_mutex).
    void Emit(UINT message, DWORD_PTR param1) override { m_ready.push_back({false, message, param1, m_itemTime, {}, 0}); }

    bool onDeliveryThread() const { return std::this_thread::get_id() == m_threadId; }

    MMRESULT addBuffer(MIDIHDR* h)
    {
        std::lock_guard lock(m_mutex);
        if (m_closing) return MMSYSERR_INVALHANDLE;
        if (std::find(m_buffers.begin(), m_buffers.end(), h) != m_buffers.end()) return MIDIERR_STILLPLAYING;
        h->dwFlags = (h->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
        h->dwBytesRecorded = 0;
        m_buffers.push_back(h);
        return MMSYSERR_NOERROR;
    }

    void setStarted(bool started)
    {
        std::lock_guard lock(m_mutex);
        if (started && !m_started) m_startTime = SteadyClock::now();
        if (!started && m_started) {
            // A stop gives back the buffer being filled.
            if (!m_buffers.empty() && m_buffers.front()->dwBytesRecorded > 0) returnFrontLocked();
            m_assembler.Clear();
        }
        m_started = started;
    }

    void reset()
    {
        std::unique_lock lock(m_mutex);
        m_started = false;
        m_assembler.Clear();
        std::erase_if(m_items, [](const Item& i) { return i.raw; });
        while (!m_buffers.empty()) returnFrontLocked();
        uint64_t target = m_queuedSeq;
        m_cv.notify_all();
        // From the callback, the buffers arrive after it returns; elsewhere before reset returns.
        if (onDeliveryThread()) return;
        m_cv.wait_for(lock, kResetWait, [&] { return m_doneSeq >= target || m_exited; });
    }

    MMRESULT close(std::unique_ptr<InputConnection>& connection)
    {
        {
            std::lock_guard lock(m_mutex);
            if (!m_buffers.empty()) return MIDIERR_STILLPLAYING;
        }
        if (MMRESULT busy = connection->CloseResult(); busy != MMSYSERR_NOERROR) return busy;
        connection.reset();  // nothing arrives from the backend after this
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
            m_started = false;
            std::erase_if(m_items, [](const Item& i) { return i.raw; });
            queueLocked(MIM_CLOSE, 0, 0);
        }
        m_thread.join();
        return MMSYSERR_NOERROR;
    }

    bool hasBuffer(const MIDIHDR* h)
    {
        std::lock_guard lock(m_mutex);
        return std::find(m_buffers.begin(), m_buffers.end(), h) != m_buffers.end();
    }

    std::unique_ptr<InputConnection> connection;

private:
    // caller holds m_mutex
    DWORD timeLocked() const
    {
        if (!m_started) return 0;
        return static_cast<DWORD>(
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - m_startTime).count());
    }
    // caller holds m_mutex
    void queueLocked(UINT message, DWORD_PTR param1, DWORD_PTR param2)
    {
        m_items.push_back({false, message, param1, param2, {}, ++m_queuedSeq});
        m_cv.notify_all();
    }
    // caller holds m_mutex
    void returnFrontLocked()
    {
        m_ready.clear();
        MidiInputAssembler::GiveBack(m_buffers, MIM_LONGDATA, *this);
        for (Item& r : m_ready) queueLocked(r.message, r.param1, timeLocked());
        m_ready.clear();
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [&] { return !m_items.empty(); });
            Item item = std::move(m_items.front());
            m_items.pop_front();
            std::vector<Item> calls;
            if (item.raw) {
                m_ready.clear();
                m_itemTime = item.param2;
                m_assembler.Feed(item.bytes.data(), item.bytes.size(), m_buffers, *this);
                calls.swap(m_ready);
            } else {
                calls.push_back(std::move(item));
            }
            lock.unlock();
            bool closed = false;
            for (const Item& c : calls) {
                if (m_proc) m_proc(m_self, c.message, m_instance, c.param1, c.param2);
                closed = closed || c.message == MIM_CLOSE;
            }
            lock.lock();
            m_doneSeq = std::max(m_doneSeq, item.seq);
            m_cv.notify_all();
            if (closed) break;
        }
        m_exited = true;
        m_cv.notify_all();
    }

    const MIDIINPROC m_proc;
    const DWORD_PTR m_instance;
    HMIDIIN m_self = nullptr;
    std::thread m_thread;
    std::thread::id m_threadId;

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Item> m_items;
    std::vector<Item> m_ready;
    DWORD_PTR m_itemTime = 0;
    std::deque<MIDIHDR*> m_buffers;
    MidiInputAssembler m_assembler;
    bool m_started = false;
    bool m_closing = false;
    bool m_exited = false;
    SteadyClock::time_point m_startTime;
    uint64_t m_queuedSeq = 0;
    uint64_t m_doneSeq = 0;
};

DeviceTable<MidiIn, HMIDIIN>& inputs()
{
    static auto* table = new DeviceTable<MidiIn, HMIDIIN>;
    return *table;
}

// ---- output --------------------------------------------------------------------------------

class MidiOut {
public:
    explicit MidiOut(std::unique_ptr<OutputConnection> c) : m_connection(std::move(c)) {}

    MMRESULT shortMsg(DWORD msg)
    {
        std::lock_guard lock(m_mutex);
        BYTE bytes[3] = {static_cast<BYTE>(msg), static_cast<BYTE>(msg >> 8), static_cast<BYTE>(msg >> 16)};
        size_t first = 0;
        BYTE status = bytes[0];
        if (status < 0x80) {  // running status: the message holds only data bytes
            if (m_runningStatus == 0) return MMSYSERR_INVALPARAM;
            status = m_runningStatus;
            first = 1;
        }
        int need = MidiDataBytes(status);
        if (need < 0) return MMSYSERR_INVALPARAM;
        BYTE out[3] = {status, 0, 0};
        for (int k = 0; k < need; ++k) out[1 + k] = bytes[1 - first + k] & 0x7F;
        if (status < 0xF0) m_runningStatus = status;
        else if (status < 0xF8) m_runningStatus = 0;
        MMRESULT r = m_connection->Send(out, 1 + need);
        if (r == MMSYSERR_NOERROR) noteLocked(out);
        return r;
    }

    MMRESULT reset()
    {
        std::lock_guard lock(m_mutex);
        for (int channel = 0; channel < 16; ++channel) {
            for (int note = 0; note < 128; ++note) {
                if (!m_sounding.test(channel * 128 + note)) continue;
                BYTE off[3] = {static_cast<BYTE>(0x80 | channel), static_cast<BYTE>(note), 0};
                m_connection->Send(off, 3);
            }
        }
        m_sounding.reset();
        m_runningStatus = 0;
        return MMSYSERR_NOERROR;
    }

    MMRESULT busy()
    {
        std::lock_guard lock(m_mutex);
        return m_connection->BusyResult();
    }

private:
    // caller holds m_mutex
    void noteLocked(const BYTE* m)
    {
        BYTE kind = m[0] & 0xF0;
        if (kind != 0x80 && kind != 0x90) return;
        m_sounding.set((m[0] & 0x0F) * 128 + m[1], kind == 0x90 && m[2] != 0);
    }

    std::mutex m_mutex;
    std::unique_ptr<OutputConnection> m_connection;
    BYTE m_runningStatus = 0;
    std::bitset<16 * 128> m_sounding;
};

DeviceTable<MidiOut, HMIDIOUT>& outputs()
{
    static auto* table = new DeviceTable<MidiOut, HMIDIOUT>;
    return *table;
}

MMRESULT getCaps(bool input, UINT_PTR id, char* name)
{
    std::string device, port;
    std::shared_ptr<Backend> backend;
    if (!deviceLists().device(input, id, device, port, backend)) return MMSYSERR_BADDEVICEID;
    std::snprintf(name, MAXPNAMELEN, "%s", device.c_str());
    return MMSYSERR_NOERROR;
}

bool headerValid(const MIDIHDR* h, UINT size)
{
    return h != nullptr && size >= sizeof(MIDIHDR) && h->lpData != nullptr && h->dwBufferLength > 0 &&
           h->dwBufferLength <= 0x10000;
}

MMRESULT errorText(MMRESULT error, LPSTR text, UINT size)
{
    static const struct {
        MMRESULT code;
        const char* text;
    } kTexts[] = {
        {MMSYSERR_NOERROR, "The specified command was carried out."},
        {MMSYSERR_ERROR, "Undefined external error."},
        {MMSYSERR_BADDEVICEID, "A device ID has been used that is out of range for your system."},
        {MMSYSERR_NOTENABLED, "The driver was not enabled."},
        {MMSYSERR_ALLOCATED, "The specified device is already in use. Wait until it is free, and then try again."},
        {MMSYSERR_INVALHANDLE, "The specified device handle is invalid."},
        {MMSYSERR_NODRIVER, "There is no driver installed on your system."},
        {MMSYSERR_NOMEM, "There is not enough memory available for this task."},
        {MMSYSERR_NOTSUPPORTED, "This function is not supported."},
        {MMSYSERR_BADERRNUM, "An error number was specified that is not defined in the system."},
        {MMSYSERR_INVALFLAG, "An invalid flag was passed to a system function."},
        {MMSYSERR_INVALPARAM, "An invalid parameter was passed to a system function."},
        {MIDIERR_UNPREPARED, "The header was not prepared."},
        {MIDIERR_STILLPLAYING, "This operation cannot be performed while the device is still in use."},
        {MIDIERR_NOMAP, "There is no MIDI map."},
        {MIDIERR_NOTREADY, "The MIDI device is busy. Wait until it is free, and then try again."},
        {MIDIERR_NODEVICE, "The MIDI device is no longer available."},
        {MIDIERR_INVALIDSETUP, "The current MIDI setup is damaged."},
        {MIDIERR_BADOPENMODE, "The device cannot be opened in this mode."},
        {MIDIERR_DONT_CONTINUE, "The MIDI input was stopped by the program."},
    };
    if (text == nullptr || size == 0) return MMSYSERR_INVALPARAM;
    for (const auto& t : kTexts) {
        if (t.code == error) {
            std::snprintf(text, size, "%s", t.text);
            return MMSYSERR_NOERROR;
        }
    }
    text[0] = '\0';
    return MMSYSERR_BADERRNUM;
}

}  // namespace

// ---- the Windows names -----------------------------------------------------------------------

UINT midiInGetNumDevs() { return deviceLists().count(true); }
UINT midiOutGetNumDevs() { return deviceLists().count(false); }

MMRESULT midiInGetDevCapsA(UINT_PTR uDeviceID, LPMIDIINCAPSA pmic, UINT cbmic)
{
    if (pmic == nullptr || cbmic < sizeof(MIDIINCAPSA)) return MMSYSERR_INVALPARAM;
    std::memset(pmic, 0, sizeof *pmic);
    pmic->wMid = 0xFFFF;
    pmic->vDriverVersion = 0x0100;
    return getCaps(true, uDeviceID, pmic->szPname);
}

MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, LPMIDIOUTCAPSA pmoc, UINT cbmoc)
{
    if (pmoc == nullptr || cbmoc < sizeof(MIDIOUTCAPSA)) return MMSYSERR_INVALPARAM;
    std::memset(pmoc, 0, sizeof *pmoc);
    pmoc->wMid = 0xFFFF;
    pmoc->vDriverVersion = 0x0100;
    pmoc->wTechnology = MOD_MIDIPORT;
    pmoc->wChannelMask = 0xFFFF;
    return getCaps(false, uDeviceID, pmoc->szPname);
}

MMRESULT midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen)
{
    if (phmi == nullptr) return MMSYSERR_INVALPARAM;
    *phmi = nullptr;
    DWORD kind = fdwOpen & 0x00070000u;
    if (kind != CALLBACK_FUNCTION && kind != CALLBACK_NULL) return MMSYSERR_INVALFLAG;
    std::string name, port;
    std::shared_ptr<Backend> backend;
    if (!deviceLists().device(true, uDeviceID, name, port, backend)) return MMSYSERR_BADDEVICEID;
    auto device = std::make_shared<MidiIn>(kind == CALLBACK_FUNCTION ? reinterpret_cast<MIDIINPROC>(dwCallback) : nullptr,
                                           dwInstance);
    MMRESULT error = MMSYSERR_NOERROR;
    device->connection = backend->OpenInput(port, *device, error);
    if (!device->connection) return error != MMSYSERR_NOERROR ? error : MMSYSERR_ERROR;
    HMIDIIN h = inputs().add(device);
    device->start(h);
    *phmi = h;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN hmi)
{
    auto d = inputs().find(hmi);
    if (!d) return MMSYSERR_INVALHANDLE;
    if (d->onDeliveryThread()) return MMSYSERR_ERROR;
    MMRESULT r = d->close(d->connection);
    if (r == MMSYSERR_NOERROR) inputs().remove(hmi);
    return r;
}

MMRESULT midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh)
{
    if (!inputs().find(hmi)) return MMSYSERR_INVALHANDLE;
    if (!headerValid(pmh, cbmh)) return MMSYSERR_INVALPARAM;
    pmh->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh)
{
    auto d = inputs().find(hmi);
    if (!d) return MMSYSERR_INVALHANDLE;
    if (pmh == nullptr || cbmh < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
    if (d->hasBuffer(pmh)) return MIDIERR_STILLPLAYING;
    pmh->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh)
{
    auto d = inputs().find(hmi);
    if (!d) return MMSYSERR_INVALHANDLE;
    if (!headerValid(pmh, cbmh)) return MMSYSERR_INVALPARAM;
    if (!(pmh->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    return d->addBuffer(pmh);
}

MMRESULT midiInStart(HMIDIIN hmi)
{
    auto d = inputs().find(hmi);
    if (!d) return MMSYSERR_INVALHANDLE;
    d->setStarted(true);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStop(HMIDIIN hmi)
{
    auto d = inputs().find(hmi);
    if (!d) return MMSYSERR_INVALHANDLE;
    d->setStarted(false);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInReset(HMIDIIN hmi)
{
    auto d = inputs().find(hmi);
    if (!d) return MMSYSERR_INVALHANDLE;
    d->reset();
    return MMSYSERR_NOERROR;
}

MMRESULT midiInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText)
{
    return errorText(mmrError, pszText, cchText);
}

MMRESULT midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR, DWORD_PTR, DWORD fdwOpen)
{
    if (phmo == nullptr) return MMSYSERR_INVALPARAM;
    *phmo = nullptr;
    if ((fdwOpen & 0x00070000u) != CALLBACK_NULL) return MMSYSERR_INVALFLAG;
    std::string name, port;
    std::shared_ptr<Backend> backend;
    if (!deviceLists().device(false, uDeviceID, name, port, backend)) return MMSYSERR_BADDEVICEID;
    MMRESULT error = MMSYSERR_NOERROR;
    auto connection = backend->OpenOutput(port, error);
    if (!connection) return error != MMSYSERR_NOERROR ? error : MMSYSERR_ERROR;
    *phmo = outputs().add(std::make_shared<MidiOut>(std::move(connection)));
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT hmo)
{
    auto d = outputs().find(hmo);
    if (!d) return MMSYSERR_INVALHANDLE;
    if (MMRESULT busy = d->busy(); busy != MMSYSERR_NOERROR) return busy;
    outputs().remove(hmo);
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg)
{
    auto d = outputs().find(hmo);
    return d ? d->shortMsg(dwMsg) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutReset(HMIDIOUT hmo)
{
    auto d = outputs().find(hmo);
    return d ? d->reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh)
{
    if (!outputs().find(hmo)) return MMSYSERR_INVALHANDLE;
    if (!headerValid(pmh, cbmh)) return MMSYSERR_INVALPARAM;
    pmh->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh)
{
    auto d = outputs().find(hmo);
    if (!d) return MMSYSERR_INVALHANDLE;
    if (pmh == nullptr || cbmh < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
    if (MMRESULT busy = d->busy(); busy != MMSYSERR_NOERROR) return busy;
    pmh->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText)
{
    return errorText(mmrError, pszText, cchText);
}
