// The value of every automated control of every channel at one point in time. A table starts
// at the console's defaults, is brought forward by replaying an event array (PlayTo), and is
// compared with another state to write the differences back as new events (ApplyValues). The
// channel edits and the conform use two of them to rebuild the mix at an edit point.
//
// The state is one block of 1,122,000 i16 values (2,244,000 bytes), for 2000 channels:
//   controls       from 0:          (c x 36 + p) x 9 + k        process p 0-35, control k 0-8
//   routes         from 648,000:    (c x 48 + r) x 4 + k        r = p - first route process, 0-47, k 0-3
//   small console  from 1,032,000:  (c x 5 + p) x 9 + k         process p 0-4, control k 0-8
// The console type and the number of channels handled ("Max Paths Mode": 256, 500 or 2000) are
// read at each operation.
//
// Channel selection (ApplyValues, CopyEventRange): with filter mode 0 every channel is taken
// whole; mode 1 (include) takes only the filter's channels, and of them only the filter's
// (process, control) pairs; mode 2 (exclude) takes every other channel whole and, of the
// filter's channels, the pairs that are not in the filter.
//
// One thread uses a table at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "trevanny/AutomationEventArray.h"
#include "trevanny/EventFilter.h"
#include "trevanny/SharedConstants.h"
#include "winport/Collections.h"

class CChannelStateTable {
public:
    static constexpr int kValueCount = 1122000;
    static constexpr size_t kBlockBytes = kValueCount * sizeof(short);

    enum FilterMode : int { NoFilter = 0, IncludeFilter = 1, ExcludeFilter = 2 };

    /// events: the array that PlayTo replays and that new events are appended to; sections: the
    /// channel sections, (first channel, count) pairs (pair k is section k). Neither is owned,
    /// and both (and the filter) must outlive the table. The channels of the filter's channel
    /// list are flagged for the filter modes; without a filter no channel is. The state starts
    /// at the defaults; play-to time and last event are -1, the filter mode 0.
    CChannelStateTable(CAutomationEventArray* events, int firstRouteProcess, const CArray<int, int>* sections,
                       int timeBase, CEventFilter* filter);
    virtual ~CChannelStateTable();
    CChannelStateTable(const CChannelStateTable&) = delete;
    CChannelStateTable& operator=(const CChannelStateTable&) = delete;

    /// Progress of CopyEventRange without notifications; nothing here.
    virtual void ReportProgress(int current, int total);

    /// A whole state block, kValueCount values. The blocks a thread frees are kept (a few) for
    /// its next ones: tables and snapshots are made for every edit and conform step, and the
    /// pages of a fresh block would each fault on first touch.
    struct FreeBlock {
        void operator()(short* block) const;
    };
    using Block = std::unique_ptr<short[], FreeBlock>;
    /// A block of zeros, one this thread freed or fresh; throws std::bad_alloc when there is none.
    static Block NewBlock();

    /// Copies the whole state block (kBlockBytes) into buffer.
    void CopyTo(void* buffer) const;
    const short* GetValues() const { return m_pValues.get(); }

    /// Replays the events after the last one applied, in array order, while their time is not
    /// later than `time`. Nothing happens when `time` is not later than the play-to time. With
    /// progress, while the event array's status window is set, notification 27 is posted at
    /// every 1000th event with 100 / (index mod 100, 1 for 0).
    void PlayTo(int time, bool progress);
    /// Makes the selected values equal to `other` (a whole state block), appending an event for
    /// each value changed: channel by channel, controls in process then control order, routes
    /// last. Nothing happens when the two blocks are equal.
    void ApplyValues(const short* other);
    void ApplyFrom(const CChannelStateTable& other);
    /// ApplyValues for the given channels (ascending) only: the caller knows that every other
    /// channel already holds other's values, so the events are those ApplyValues would append.
    void ApplyValuesOfChannels(const short* other, const int* channels, size_t count);
    /// Replays events [first, end) of the array onto `values` (a whole state block) as PlayTo
    /// applies them, whatever their times; when `touched` (kConsolePaths flags) is given, flags
    /// the channels whose values they set. The table itself does not change.
    void ReplayOnto(short* values, int64_t first, int64_t end, bool* touched = nullptr) const;

    /// A run of one channel's values in the state block.
    struct ValueRun {
        int offset;
        int count;
    };
    /// Where a channel's values lie in the state block on the current console type: the number
    /// of runs (0 on a console type that keeps no state).
    static int ChannelValueRuns(int channel, ValueRun (&runs)[2]);
    /// Appends events first to last of the source table's array that the channel selection
    /// takes, each with its time plus offset, to this table's array. Without progress,
    /// ReportProgress(i, total) for each index and (total, total) at the end; with progress,
    /// while the source array's status window is set, notification 27 at every 1000th index
    /// with 200 / (index mod 100, 1 for 0).
    void CopyEventRange(const CChannelStateTable& source, int first, int last, int offset, bool progress);
    /// Fills the handled channels with the defaults of their section and the console family.
    void ResetToDefaults();
    /// Appends an event at the play-to time (aligned to the channel's slot for a continuous
    /// control), with flags 0 and, as old value, the value the state holds for the control.
    void AddEvent(int channel, int process, int control, short value);
    /// On console types other than 1 and 6 and for times from 1 on: the time moved onto the
    /// channel's quarter-frame slot ((time base + channel) mod 4), forward or to the nearest
    /// slot at or below the time's frame.
    int AlignTime(int channel, int time, bool nearest) const;

    int GetPlayToTime() const { return m_nPlayToTime; }
    int GetLastEvent() const { return m_nLastEvent; }
    int GetFilterMode() const { return m_nFilterMode; }
    void SetFilterMode(int mode) { m_nFilterMode = mode; }
    CAutomationEventArray* GetEvents() const { return m_pEvents; }

private:
    // The old-value pass replays into a table's own block instead of a copy of it.
    friend class CAutomationEventArray;
    short* values() { return m_pValues.get(); }

    bool channelTaken(int64_t channel, bool& whole) const;
    bool pairTaken(int process, int control) const;
    // Brings one channel's selected values to other's. The console type is small or large.
    void applyChannel(const short* other, int channel, int type);
    void appendEvent(int type, int channel, int process, int control, short value, short oldValue);

    CAutomationEventArray* m_pEvents;
    const CArray<int, int>* m_pSections;
    int m_nFirstRouteProcess;
    int m_nTimeBase;
    Block m_pValues;
    int m_nPlayToTime = -1;
    int m_nLastEvent = -1;
    CEventFilter* m_pFilter;
    int m_nChannelFlags[kConsolePaths] = {};
    int m_nFilterMode = NoFilter;
};

/// 1 when the control's events sit on the channel's quarter-frame slot: a fixed table for the
/// 36-process strip and the routes (controls 1 and 2) on console types 2, 3, 4, 5 and 7, and for
/// the five processes of console types 1 and 6; 0 for anything else.
int IsContinuousControl(int process, int control, int firstRouteProcess);
