// The automation of a mix: a contiguous, time-ordered array of events with its queries (insert
// in time order, find by time, sort, filtered pages), its own filter for the channel edits, and
// the fixed-size record view through which a program transfers the events in blocks.
//
// Server records, by the console's path mode (little-endian):
//   12 bytes (mode 0):      0 u32 time, 4 u8 0, 5 u8 path (low 8 bits), 6 u8 process,
//                           7 u8 control, 8 u16 old value, 10 u16 value
//   16 bytes (modes 1, 2):  0 u32 time, 4 u16 path (low 16 bits), 6 u8 0, 7 u8 process,
//                           8 u8 control, 9 u8 0, 10 u16 old value, 12 u16 value, 14 u16 0
// When the server's "CardLinkType" is 4, each 16-byte record is rewritten into the event
// record's own layout (ConvertRecordLayout from layout 1 to 101).
//
// One thread uses an array at a time; no operation takes a lock.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "trevanny/AutomationEvent.h"
#include "trevanny/AutomationRecordSource.h"
#include "trevanny/ConsoleConfig.h"
#include "trevanny/EventFilter.h"
#include "trevanny/TypedAutomationArrays.h"
#include "winport/CString.h"
#include "winport/Collections.h"
#include "winport/Window.h"

class CAutomationPackage;
class CEDLItemList;
/// A stretch of source automation captured for a later paste (the conform engine's record).
struct CCapturedSourceRange;
typedef std::vector<CCapturedSourceRange> CCapturedRangeArray;

/// A path translation: events of path m_dwFrom move to path m_dwTo (8 bytes).
struct CTranslationPair {
    DWORD m_dwFrom;
    DWORD m_dwTo;
};
static_assert(sizeof(CTranslationPair) == 8);
class CTranslationPairArray : public CArray<CTranslationPair, const CTranslationPair&> {};

/// Scratch memory of the event sort: whole pages from the system, large blocks in huge pages
/// (a sort of millions of events writes every byte of it in scattered order, and on 4 KB pages
/// the first touches and the address translations cost more than the sort itself).
class CEventSortScratch {
public:
    CEventSortScratch() = default;
    CEventSortScratch(const CEventSortScratch&) = delete;
    CEventSortScratch& operator=(const CEventSortScratch&) = delete;
    ~CEventSortScratch() { Release(); }
    /// At least `bytes` bytes, keeping the present block when it is large enough; throws
    /// std::bad_alloc when the system has no memory.
    std::byte* Reserve(size_t bytes);
    void Release();
    /// The bytes asked for by the largest Reserve since the last Release.
    size_t Bytes() const { return m_bytes; }

private:
    void* m_block = nullptr;
    size_t m_mapped = 0;
    size_t m_bytes = 0;
};

class CAutomationEventArray : public CArray<CAutomationEvent, const CAutomationEvent&>,
                              public CConsoleConfig,
                              public CAutomationRecordSource {
public:
    /// The orders of Sort, by their keys (times and paths compared as signed 32-bit numbers,
    /// processes and controls as bytes). Equal keys keep their order.
    enum SortMode : int {
        SortByTime = 0,             ///< time, path, process, control
        SortByPathControlTime = 1,  ///< path, process, control, time
        SortByPathTime = 2,         ///< path, time, process, control
    };

    /// The kind of a ramp request of the channel edits: the ramp runs forward from the edit point
    /// (2: it starts there and lasts the ramp length) or backward to it (3: it ends there).
    enum TimeDirection : int {
        RampForward = 2,
        RampBackward = 3,
    };

    /// A progress callback of the channel edits: (index, count).
    typedef void (CAutomationEventArray::*ProgressCallback)(int index, int count);

    /// Reads the console's path mode (which fixes the record size) and the server's
    /// "CardLinkType" of "SOFTWARE\VOKDWEN\KIVSERVER"; the status window is NULL.
    CAutomationEventArray();
    ~CAutomationEventArray() override;

    /// Inserts in time order and returns the index the event now stands at. An event at or
    /// after the last event's time is appended (equal times keep their order of arrival). An
    /// event at time 0, when later events exist, replaces the first time-0 event of the same
    /// path, process and control instead (the size stays). Any other event goes after every
    /// event of an equal or earlier time.
    int AddAtTime(const CAutomationEvent& ev);
    /// The first index whose time is at or after `time`, or the last index when every event is
    /// earlier; with after non-zero, the first index whose time is later than `time` (again the
    /// last index when there is none). -1 for an empty array; 0 for time -1, always.
    int GetAtTime(long time, int after) const;
    /// Sorts in place, stably. Posts notification 31 first when the status window is set,
    /// whatever the mode; a mode other than 0, 1, 2 sorts nothing.
    void Sort(SortMode mode);
    /// As the class library's, and both give back the scratch space that Sort keeps (up to
    /// 64 MB) for the next sort.
    void FreeExtra();
    void RemoveAll();
    /// The bytes of scratch space Sort keeps for the next sort.
    size_t SortScratchBytes() const { return m_sortScratch.Bytes(); }

    // The filtered queries walk the filter's time window from GetAtTime(start time, 0) on; an
    // end time of -1 is replaced in the caller's filter by the last event's time. A start time
    // after the last event gives nothing.

    /// The number of events that pass; indices (when given) receives their indices in array
    /// order, sized to exactly that number.
    unsigned int GetFilteredTotal(CEventFilter& filter, CArray<int, int>* indices) const;
    /// out receives copies of every event that passes, in array order; returns their number.
    int GetAllFilteredEvents(CEventFilter& filter, CAutomationEventArray& out) const;
    /// A page of at most maxCount passing events, walking forward (forward non-zero) or
    /// backward from index `next` when it is 1 or more, else from the filter's start time.
    /// Forward: first = the index of the first event taken, next = where the walk stopped; the
    /// walk stops at the end time. Backward: the walk goes down to index 0 without time tests;
    /// next = the index of the highest event taken, first = where the walk stopped, and out is
    /// put in time order. Returns the number taken; out is emptied first.
    int GetFilteredEvents(CEventFilter& filter, int maxCount, int& first, int& next, CAutomationEventArray& out,
                          int forward) const;
    int GetFilteredEvents(CEventFilter& filter, int maxCount, int& next, CAutomationEventArray& out, int forward) const;

    /// The status window is a switch: sorting and the channel edits post their notifications
    /// only while it is set. The notifications never go to this window itself.
    void SetStatusWnd(HWND hwnd) { m_hStatusWnd = hwnd; }
    HWND GetStatusWnd() const { return m_hStatusWnd; }

    /// Progress of the channel isolate (code 19) and the whole-mix erase (code 20): posts
    /// index x 100 / count when the status window is set.
    void IsolateProgress(int index, int count);
    void EraseProgress(int index, int count);

    /// Reads each element; no effect.
    void DebugMe() const;

    /// Appends at the end, whatever the time, growing by half the size when full.
    INT_PTR Add(const CAutomationEvent& ev)
    {
        const CAutomationEvent copy = ev;  // ev may be an element of this array
        const INT_PTR i = GetSize();
        if (i >= GetAllocSize()) reserveOneMore();
        // The new element is written whole: nothing to clear or construct first.
        SetSizeUninitialised(i + 1);
        GetData()[i] = copy;
        return i;
    }

    // Repair after an edit.

    /// Writes into every event the value its control held before it: the console family's
    /// default for the channel's section (pathMap: (first channel, count) pairs) for the first
    /// event of a control, else the value of the control's event before it in array order.
    /// Events of paths beyond the console's path count, or of controls the state does not keep
    /// (routes are processes firstRouteProcess to firstRouteProcess + 47 from 36 up), are left.
    void SetOldValues(int firstRouteProcess, const CPathMap& pathMap);
    /// Moves every event whose path is the from path of a pair to that pair's to path; the
    /// first pair of a from path counts, and an event moves once (pairs do not chain). With
    /// events and pairs, the filter's start and end times below 2 become 1.
    void DoTranslatePaths(const CTranslationPairArray& pairs);
    /// Finds events earlier than the last event in order before them; when there are any, logs
    /// them to "\Cantle\tcerr.txt" on the Windows directory's drive (created anew: the
    /// revision path of the mix pass tree, the event count, then at most 10,000 lines
    /// "Error on Event:%d * Last TC:%d * Current TC:%d * PPC: %d %d %d" with the index, the last
    /// time in order, the event's time and the path, process and control of the event before
    /// it), merges duplicates and sorts by time. True when events were out of order. The
    /// argument changes nothing.
    bool MakeTimeStampsContinuous(int unused);
    /// Merges duplicates: an event of the same path, process and control as the last event kept
    /// for that control, at the same time, is dropped and its value written into the kept one
    /// (which keeps its place, flags and old value). Only paths below 2000 and controls below 9
    /// are merged; other events stay as they are. Returns the number merged (0, with nothing
    /// merged, when the working memory cannot be had). Linear in the number of events.
    int BuildControlIndex();

    // Lookups on an array in path order (SortByPathControlTime), over the indexes lo to hi (hi
    // -1: to the end), by bisection. Paths compare as the signed numbers the order uses.

    /// The last index of the path in the range, or -1.
    int FindPath(int path, int lo, int hi) const;
    /// FindPath's index, with first = the lowest index of the path in the range and lastTime =
    /// the greatest time of its events; -1 with both 0 when the path has none.
    int FindPathStart(int path, int& first, int& lastTime, int lo, int hi) const;
    /// The last index of the (path, process, control) run in the range, or -1.
    int FindControl(int path, int process, int control, int lo, int hi) const;
    /// out receives the run of (path, process, control) that starts at or after pos (up to
    /// last; -1: the last index), and pos its first index; on a miss pos stays as it was.
    /// Notification 1 goes out with the index at every copied index that is a multiple of 500.
    /// TRUE when out is not empty.
    int ExtractRun(CAutomationEventArray& out, int path, int process, int control, int& pos, int last) const;

    // Channel copy, merge and ranged erase. Each works control by control: the array is put in
    // path order, each (channel, process, control) run is taken out, rebuilt in a control track
    // (cut, moved, ramped) and put back, and the array is put in time order at the end. The
    // choices come from the filters, which the caller sets first:
    //   start and end time   the window [start, end) of the source automation
    //   the third time        where the window goes on the destination channels
    //   channel list          its first entry is the source channel of a copy or merge; all
    //                          its entries are the channels of a ranged erase
    //   destination list      the channels a copy or merge lays the window onto
    //   pairs                 the controls the window and the erase take
    // Channels beyond the console's path count are passed over. Lists are walked in order, and
    // after a channel that was found the next is looked for only behind its events: callers
    // give increasing lists. Runs are removed in one pass per call, so an edit stays linear in
    // the number of events however many channels it touches.

    /// Lays the window of the source channel onto each destination channel at the third time,
    /// replacing what each chosen control had there, with ramp requests of the kinds rampIn
    /// and rampOut at the start and end of the replaced stretch. The time base is taken from the
    /// last event before duplicates are merged.
    void CopyChannelData(short rampStep, short rampLength, TimeDirection rampIn, TimeDirection rampOut, int firstRouteProcess,
                         const CPathMap& pathMap);
    /// The same with the window taken from source (by its filter) and laid onto this array (by
    /// this array's third time and destination list); mergeMode 0 behaves as the copy, any other
    /// value lays the window without ramps over [0, end - start) of each destination control.
    /// source is left in path order. An empty array changes nothing, not even source. Only the
    /// last item of a batch (itemNumber = itemCount) puts this array back in time order; before
    /// it, the array is left in path order with the rebuilt runs at its end, for the next call.
    void MergeChannelData(CAutomationEventArray& source, short rampStep, short rampLength, TimeDirection rampIn,
                          TimeDirection rampOut, int firstRouteProcess, const CPathMap& pathMap, int timeBase, int itemNumber,
                          int itemCount, int mergeMode);
    /// Removes the chosen automation of [start (at least 1), end) from each listed channel and
    /// ramps each chosen control at the end time (one request of kind `direction`). The time
    /// base is taken after duplicates are merged.
    void EraseChannelData(short rampStep, short rampLength, TimeDirection direction, int firstRouteProcess,
                          const CPathMap& pathMap);

    /// On an array in path order: the window receives, control by control, the source channel's
    /// chosen automation of [start, end), with at least one event for every chosen control (its
    /// value in force, or its default at the start time). Posts 21 with the channel + 1 while
    /// the status window is set.
    void ExtractChannelWindow(CAutomationEventArray& window, int firstRouteProcess, const CPathMap& pathMap, int timeBase);
    /// On the destination in path order: lays each run of the window onto each destination
    /// channel (the merge step of the copy and merge). Posts 22 and 23 per destination channel
    /// while the status window is set.
    void MergeChannelWindow(CAutomationEventArray& window, short rampStep, short rampLength, TimeDirection rampIn,
                            TimeDirection rampOut, int firstRouteProcess, const CPathMap& pathMap, int timeBase, int itemNumber,
                            int itemCount, int mergeMode);
    /// |(last event's path mod 4) - (last event's time mod 4)|; 0 on console types 1 and 6 and for
    /// an empty array.
    int ChannelTimeBase() const;

    // Thinning and the whole-mix edits, on the window, channels and pairs of the array's own
    // filter. Each merges duplicates first (BuildControlIndex).

    /// Thins the window [first event at or after the start time, first event at or after the
    /// end time] (an end time of -1: to the last event) on the filter's channels (an empty list:
    /// none; channels outside 0 to 1999 are passed over) and pairs (every pair on console types
    /// 1 and 6), of thinnable controls, at times above 0. Strength 0 to 6 picks the burst window
    /// (none, 8, 7 ... 3 events): of a burst of that many events on one control, each less than
    /// 4 x k units from the first, the smallest step inside a monotonic stretch goes. With a
    /// faderThreshold, a fader's events that continue a monotonic run within the threshold of the
    /// event kept go. Then the array is put in time order and its old values rebuilt. Returns the
    /// number of events removed, duplicates included; 0 for a strength outside 0 to 6 (only the
    /// duplicates are merged). Posts 33 (0, then percent at most about 100 times) and 34 (events
    /// removed: at the start, for the first hundred removals, at each further percent of the
    /// window and at the end) whether or not the status window is set.
    int ThinAutoData(int firstRouteProcess, const CPathMap& pathMap, int strength, int faderThreshold);
    /// TRUE when count is below 2, or when events 2 to count - 1 are of event 0's path, process
    /// and control and each step goes the way of the one before (an equal value counts as rising).
    static int IsMonotonicRun(const CAutomationEvent* first, int count);
    /// TRUE when a and b are of one path, process and control and less than limit apart in time.
    static int IsClosePair(const CAutomationEvent& a, const CAutomationEvent& b, int limit);
    /// 1 when the event's control may be thinned (a fixed table of processes 0 to 35, or 0 to 4
    /// on console types 1 and 6; controls 1 and 2 of the routes, from firstRouteProcess up).
    static int Thinnable(const CAutomationEvent& event, int firstRouteProcess);

    /// Keeps only the chosen automation of the window and moves it to the third time: for each
    /// chosen control whose value at the start time differs from its default, an event at the
    /// third time, then the chosen events after the start time up to the end time, moved by as
    /// much. Progress 19 while the status window is set. The result is in time order.
    void IsolateChannelData(int firstRouteProcess, const CPathMap& pathMap);
    /// Removes the chosen automation of [start (at least 1), end] and, when events follow, sets
    /// every control at end + 1 back to its value in the mix as it was; everything else stays.
    /// Progress 20 while the status window is set. The result is in time order.
    void EraseChannelData(int firstRouteProcess, const CPathMap& pathMap);

    // The automation event file: a compound file whose "AutomationData" stream holds the events
    // as 20-byte records, beside "Path Mode", "File Version" and "Time And Date" (the other
    // streams of the file stay). The records are wide (2-byte paths) when the console's path
    // mode is 1 or 2, narrow (1-byte paths) in mode 0.

    /// Writes the four streams in one go: the file changes only when everything was written.
    /// TRUE when the file could be opened or created and "AutomationData" was written. An
    /// existing file that is not a compound file (an indexed "AUTXFILE" file, say) is left alone.
    int Save(const CString& path);
    /// Replaces the events by the file's. pathMode receives the file's path mode (0 when it has
    /// none; for an indexed file, the mode in its header). FALSE, with the events unchanged,
    /// when the file cannot be read, holds no "AutomationData", has damaged data, has an empty
    /// or unknown "Path Mode" (pathMode then -1 or the mode found), or was made for more paths
    /// than this console has (a mode-1 file loads on a mode-2 console). A file whose data
    /// holds no event loads as an empty array. Nothing is ever written.
    int Load(const CString& path, int& pathMode);
    int Load(const CString& path);

    // The conform of the array to a picture edit given as an item list, walked over two
    // timelines at once (the array as it stands, and the conformed array) from the list's
    // start. By item kind, of length len (a negative length counts as 0):
    //   0 copy the stretch                1 leave it out           2 blank destination stretch
    //   3 capture it for a paste, leave it out                     4 capture it and paste it
    //   5 paste the capture that the item's reference names (the 1-based item that captured it)
    //   6 save it as a piece file, leave it out                    7 save it as a piece, copy it
    //   8 insert a piece file             any other kind: nothing
    // Every moved stretch is preceded by the events that bring each control to the value it had
    // where the stretch came from. A piece file is a mix pass of the package's members holding
    // the stretch's events from time 0: root + folder + "\" + third text + ".aut" (kind 8: the
    // second text in place of folder when it is not empty), an indexed file when the server's
    // "CardLinkType" is 4. A piece name with a path separator, or a folder or name with a ".."
    // part, a drive colon or a control character, is refused (a save fails with error 123, an
    // insert counts as a missing piece). Before each item, while the status window is set,
    // notifications 28 (item number from 1) and 27 (percent of the items) are posted.

    /// Conforms the array to `items`: TRUE with the conformed events in time order (message
    /// untouched); FALSE with the array as it was (but for duplicates merged) and `message` set
    /// to "Conform could not save the automation :\n " and the system's text of the error of
    /// the piece that could not be saved ("error N" for a code without one), or to "Conform
    /// failed to load the automation !\n " when a piece to insert is missing. The text of the
    /// last save error is kept for the process. The first two items also go to the remote
    /// conform library (when its switch is on). Safe to run on several threads at once, each
    /// on its own array.
    int EDLConform(const CEDLItemList& items, const CString& root, const CString& folder, const CAutomationPackage* package,
                   CString& message);
    /// Does nothing.
    void EDLConform(const CEDLItemList& items, int unused, const CPathMap& pathMap);
    /// Hands the edit of the first two items (a removal or an addition at the start or after a
    /// first stretch) to the remote conform library as pairs over 24 hours, each destination's
    /// reel being the package's path.
    void SendRemoteConform(const CEDLItemList& items, const CString& packagePath);
    /// Captures the stretches of kinds 3 and 4 (appended to `captured`) and saves the pieces of
    /// kinds 6 and 7. 0, or the error code of the first piece that could not be saved (the
    /// walk stops there).
    DWORD CaptureAndSavePieces(const CEDLItemList& items, const CString& root, const CString& folder, int firstRouteProcess,
                               int timeBase, const CPathMap* sections, const CAutomationPackage* package,
                               CCapturedRangeArray& captured);
    /// Builds the conformed events and puts them in the place of the array's, sorted by time;
    /// false, with the array unchanged, when a piece to insert is missing. The captured
    /// ranges are emptied in either case.
    bool RebuildFromItems(const CEDLItemList& items, const CString& root, const CString& folder, int firstRouteProcess,
                          int timeBase, const CPathMap* sections, CCapturedRangeArray& captured);

    // Records for the server (layouts above). Both are safe for any arguments: FetchRecords
    // writes only the records of events that exist (from firstIndex, at most count of them)
    // and returns how many it wrote; GetBlockCount gives 0 for a block smaller than a record.
    int FetchRecords(int count, int firstIndex, void* out) const override;
    int GetBlockCount(int blockBytes) const override;
    BOOL IsCardLinkType4() const { return m_bCardLinkType4; }

    /// The element count in the class library's count form, then the raw 16-byte elements. A
    /// loaded event's reserved byte is cleared.
    void Serialize(CArchive& ar) override;

    /// The array's own filter: the caller sets its time window, channel list and pairs before a
    /// channel edit or a thinning.
    CEventFilter m_Filter;

private:
    /// Makes room for one more element, growing by half the size when full.
    void reserveOneMore();

    BOOL m_bCardLinkType4 = FALSE;
    HWND m_hStatusWnd = NULL;
    // Sort's scratch space, kept between sorts while it is at most 64 MB.
    CEventSortScratch m_sortScratch;
};
