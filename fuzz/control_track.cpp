// Fuzz target for the control track: a small track and a sequence of ramps, cuts, copies,
// inserts and ramp builds from the bytes. Every operation must end and stay in bounds; cuts,
// copies and inserts keep a time-ordered track in time order. A ramp leaves its events behind
// the later ones (and a time-0 state event last) for the caller to sort, so the track is sorted
// after each ramp, as the channel edits do.
//
// Input: byte 0 console (even: type 3, odd: type 1), 1 path, 2 process, 3 control, 4 event
// count (up to 24); 4 bytes per event: time step, value (i16), old-value offset; then 8-byte
// operations: kind, time (i16), length (i16), step, and two bytes of values.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FuzzFiles.h"
#include "trevanny/ControlTrack.h"

namespace {

bool inTimeOrder(const CAutomationEventArray& a)
{
    return std::is_sorted(a.GetData(), a.GetData() + a.GetSize(),
                          [](const CAutomationEvent& x, const CAutomationEvent& y) { return x.m_Time < y.m_Time; });
}

int16_t read16(const uint8_t* p)
{
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) return 0;
    fuzzfiles::UseConsole(data[0] & 1 ? 1 : 3);
    CControlTrack track;
    track.Setup(data[3] % 3, data[1], data[2] % 60, data[3] % 10, 40, 5000, data[0] >> 4);
    size_t at = 5;
    int time = 0;
    short value = track.m_nDefaultValue;
    for (int i = 0; i < std::min<int>(data[4], 24) && at + 4 <= size; ++i, at += 4) {
        time += data[at];
        const short v = read16(data + at + 1);
        track.Add(CAutomationEvent(time, data[1], static_cast<BYTE>(data[2] % 60), static_cast<BYTE>(data[3] % 10), v, 0,
                                   static_cast<WORD>(value + static_cast<int8_t>(data[at + 3]))));
        value = v;
    }
    CControlTrack other;
    // Copies and inserts can double the track: the sequence stops once the tracks are large.
    constexpr INT_PTR kLargeTrack = 4096;
    for (; at + 8 <= size && track.GetSize() <= kLargeTrack && other.GetSize() <= kLargeTrack; at += 8) {
        const uint8_t* op = data + at;
        const int t = read16(op + 1);
        const short length = read16(op + 3);
        const short step = static_cast<int8_t>(op[5]);
        const bool ordered = inTimeOrder(track);
        switch (op[0] % 5) {
        case 0: {
            CRampRecord record;
            record.m_nKind = 1 + op[6] % 4;
            record.m_nTime = t;
            record.m_nLength = length;
            record.m_nStep = step;
            track.ApplyRamp(record);
            track.Sort(CAutomationEventArray::SortByTime);
            break;
        }
        case 1: track.CutRange(other, t, op[6] & 1 ? -1 : t + length, op[7] & 1); break;
        case 2: track.CopyRange(other, t, t + length, op[7] & 1); break;
        case 3: track.InsertEvents(other, t, t + length); break;
        default:
            track.BuildRamp(t, 1 + op[6] % 4, static_cast<short>(op[6] * 97), static_cast<short>(op[7] * -131), step, length);
            track.Sort(CAutomationEventArray::SortByTime);
            break;
        }
        if (ordered && !inTimeOrder(track)) std::abort();
        if (track.GetSize() > 3 * kLargeTrack + 8192) std::abort();  // a ramp adds at most length / 4 events
    }
    return 0;
}
