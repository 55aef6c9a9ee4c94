// The events of one control of one channel, in time order, with that control's identity, its
// default value and the pass's end time; and the ramp requests that say where a value change
// is faded in or out. The channel copy, merge and erase split a pass into such tracks, cut and
// copy time ranges of them, write value ramps into them and put their events back.
//
// Times are in the automation time unit; on every console type but 1 and 6 a channel's events
// sit on its quarter-frame slot: time mod 4 = (time base + channel) mod 4.
#pragma once

#include <cstdint>

#include "trevanny/AutomationEventArray.h"
#include "winport/Collections.h"

/// One ramp request. Kind 2 starts at the time and runs for the length after it; kind 3 ends at
/// the time and starts the length before it. The length is in time units, the step in frames
/// (4 time units each).
class CRampRecord {
public:
    virtual ~CRampRecord() = default;
    int m_nKind = 2;
    int m_nTime = 0;
    short m_nLength = 0;
    short m_nStep = 1;
};

/// Ramp requests, in the order added (12-byte entries).
class CRampList {
public:
    struct Entry {
        int32_t kind;
        int32_t time;
        int16_t length;
        int16_t step;
    };
    static_assert(sizeof(Entry) == 12);

    virtual ~CRampList() = default;
    /// Appends a request. For kind 3 the length is limited to the time (a ramp cannot start
    /// before 0). Lengths and steps are held in 16 bits: values beyond that are clamped.
    void Add(int time, int kind, int length, int step);
    /// False, with the record unchanged, for an index outside the list.
    bool GetAt(int index, CRampRecord& record) const;
    /// The ramp in at start and the ramp out at start + length for a pair of kinds (list cleared
    /// first unless append): (3, 2): (start, 3, ramp), (end, 2, ramp); (3, 3): (start, 3, ramp),
    /// (end, 3, min(ramp, length)); (2, 2): (start, 2, min(ramp, length)), (end, 2, ramp);
    /// (2, 3): (start, 2, ramp), (end, 3, min(ramp, length / 2)); every entry with step. Other
    /// pairs add nothing.
    void SetRamps(int start, int length, int kindIn, int kindOut, int ramp, int step, bool append);
    int GetCount() const { return static_cast<int>(m_Entries.GetSize()); }
    void RemoveAll() { m_Entries.RemoveAll(); }

private:
    CArray<Entry, const Entry&> m_Entries;
};

class CControlTrack : public CAutomationEventArray {
public:
    /// Path, process, control and first route process -1; default value, end time and time
    /// base 0.
    CControlTrack() = default;
    /// A copy of the events and of the seven members (not of the filter).
    CControlTrack(const CControlTrack& other);
    CControlTrack& operator=(const CControlTrack&) = delete;
    ~CControlTrack() override = default;

    /// Stores the identity and looks up the control's default: the family's table of the
    /// section for a control of the strip (the small console's table on types 1 and 6), the
    /// route default for a route on the other types; otherwise the default stays as it was.
    void Setup(int section, int path, int process, int control, int firstRouteProcess, int endTime, int timeBase);
    /// -1 for an empty track, 0 for time -1. Without after: the last event earlier than time (0
    /// when there is none); with after: the first event at or after time (the count when none).
    int FindTime(int time, bool after) const;
    /// The time moved onto the track's slot ((time base + path) mod 4), forward or to the
    /// nearest slot of the time's frame; unchanged on console types 1 and 6.
    int AlignTime(int time, bool nearest) const;
    /// Removes the events of [start, end) (end -1: the last event's time). With copy they go to
    /// target first; a range without events gives target one event at start carrying the value
    /// in force. A cut that reaches the end of the track, when the aligned end lies before the
    /// pass's end time, keeps the range's last event, moved to the aligned end + 4. Returns the
    /// index where the range was (the kept event's index in that case); -1 for an empty track.
    /// The range leaves the track in one block move.
    int CutRange(CAutomationEventArray& target, int start, int end, bool copy);
    /// Copies the events of [start, end) to target (cleared first unless append), or, when there
    /// are none, one event at start carrying the value in force before it (of the first event
    /// when none is before). While the status window is set, notification 2 goes out at every
    /// 200th index with index x 100 / count.
    void CopyRange(CAutomationEventArray& target, int start, int end, bool append);
    /// Adds source's events with their times moved by to - from (time 0 stays 0) and aligned, on
    /// the track's path; the first event's old value becomes the default; sorts by time. Does
    /// nothing for an empty source, or for one event that changes nothing (old value = value =
    /// default) on an empty track.
    void InsertEvents(const CAutomationEventArray& source, int fromTime, int toTime);
    /// index: the first event at or after time; before: the value in force before it (the
    /// default for the first event); after: the event's value when it is at or before time,
    /// else its old value. 1 when the event changes the value (its old value is not before), or
    /// when its value is not before and the next event has the same time. An event that sets
    /// the value in force is redundant and removed (0). 0 for fewer than 2 events or a time
    /// after the last event.
    int ValueAt(int time, int& index, short& before, short& after);
    /// Writes a value change into the track: one step at the aligned time for a length of 0 or a
    /// control that is not continuous, else a ramp of the record's kind.
    void ApplyRamp(const CRampRecord& record);
    /// Writes a ramp from `from` to `to` (kind 2 from time, kind 3 up to time; a kind-3 ramp that
    /// would start before 0 starts at 0): an event at each step (at least one frame) whose value
    /// differs from the one before, over the cut range [start, start + length). When the track's
    /// first event is later than 0 and does not start from the default, the track is sorted and
    /// an event at time 0 setting the first event's old value is appended after it. Returns the
    /// last ramp value, `from` for a length of 0, -1 for an empty track or an unknown kind.
    short BuildRamp(int time, int kind, short from, short to, short step, short length);
    /// Cuts the marked range (the filter's start and end times, aligned) and applies the list's
    /// first ramp request (a default record when the list is empty).
    void EraseWithRamp(const CRampList& list);

    int m_nPath = -1;
    int m_nProcess = -1;
    int m_nControl = -1;
    int m_nFirstRouteProcess = -1;
    short m_nDefaultValue = 0;
    int m_nEndTime = 0;
    int m_nTimeBase = 0;

private:
    CAutomationEvent trackEvent(int time, short value, short oldValue) const;
    /// The range [first, last) of events of [start, end) (end -1: the last event's time).
    void rangeOf(int start, int end, int& first, int& last) const;
    /// CutRange, copying into target when it is given (target already cleared).
    int cutRange(CAutomationEventArray* target, int start, int end);
    /// The event in force before start, at start, as a change to its own value.
    CAutomationEvent heldAt(int start) const;
};
