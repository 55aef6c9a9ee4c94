// The MIDI input path over any bytes: the device's byte stream (cut into pieces of the length
// the first byte gives) through the input assembler into an open input port's callback, with
// its receive buffer, then raw callback messages with any parameters.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "MidiInputAssembler.h"
#include "midi/MidiInPort.h"
#include "winport/MidiBackend.h"

namespace {

CMidiInPort& openPort()
{
    static CMidiInPort* port = [] {
        auto loop = std::make_shared<winport::midi::LoopbackBackend>();
        loop->AddInput("fuzz");
        winport::midi::SetBackend(loop);
        auto* p = new CMidiInPort(nullptr, 0);
        if (p->Open(0) != MMSYSERR_NOERROR) __builtin_trap();
        return p;
    }();
    return *port;
}

struct ToPort : winport::midi::MidiInputAssembler::Sink {
    CMidiInPort& port;
    std::deque<MIDIHDR*>& buffers;
    ToPort(CMidiInPort& p, std::deque<MIDIHDR*>& b) : port(p), buffers(b) {}
    void Emit(UINT message, DWORD_PTR param1) override
    {
        port.ProcessMidiInput(nullptr, message, param1, 0);
        if (message == MIM_LONGDATA || message == MIM_LONGERROR) {
            // The port hands its buffer back to the device; here the device is this loop.
            auto* h = reinterpret_cast<MIDIHDR*>(param1);
            h->dwBytesRecorded = 0;
            buffers.push_back(h);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    CMidiInPort& port = openPort();
    MIDIHDR* header = port.GetReceiveHeader();
    std::deque<MIDIHDR*> buffers{header};
    header->dwBytesRecorded = 0;
    winport::midi::MidiInputAssembler assembler;
    ToPort sink(port, buffers);
    const size_t piece = 1 + data[0] % 64;
    for (size_t i = 1; i < size; i += piece) {
        size_t n = (size - i < piece) ? size - i : piece;
        assembler.Feed(data + i, n, buffers, sink);
    }
    // Raw callback messages: a recorded length past the buffer, a header that is not the port's.
    if (size >= 5) {
        header->dwBytesRecorded = static_cast<DWORD>(data[1]) << 8 | data[2];
        port.ProcessMidiInput(nullptr, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), 0);
        MIDIHDR stranger{};
        stranger.dwBytesRecorded = 0xFFFFFFFF;
        port.ProcessMidiInput(nullptr, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(&stranger), 0);
        port.ProcessMidiInput(nullptr, MIM_OPEN + data[3] % 16, static_cast<DWORD_PTR>(data[4]) * 0x010101u, 0);
    }
    MidiShortMessage m;
    unsigned read = 0;
    while (port.ReadShortMessage(m)) ++read;
    if (read > CMidiInPort::kRingSize) __builtin_trap();
    for (int i = 0; i < CMidiInPort::kSysexRecords; ++i) {
        if (port.GetSysexRecord(i).length > CMidiInPort::kSysexRecordBytes) __builtin_trap();
    }
    return 0;
}
