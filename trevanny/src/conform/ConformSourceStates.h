// The states of the source passes at the source starts of a conform, without a replay from the
// first event for each start and without a whole state block per start.
//
// The state at a source start is the state after the first k events of its pass (k: the index
// of the first event of the range). One forward replay per pass, in source-start order, finds k
// for every start; every so many events it keeps the values of the channels that any source
// event touches. The spacing weighs the checkpoints' cost against the replays from them, and
// keeps all passes' checkpoints together under a fixed budget. The
// state at any k is then a checkpoint at or below k and at most that many events replayed on
// top. Channels no source event touches keep their defaults in every source state.
//
// One thread uses it, between the capture and the build of one conform.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "trevanny/AutomationPackage.h"
#include "trevanny/ChannelStateTable.h"
#include "trevanny/ConformEngine.h"
#include "trevanny/SharedConstants.h"

class ConformSourceStates {
public:
    /// The tables' arguments, as for every channel-state table of the conform, and the number of
    /// starts that will be captured.
    ConformSourceStates(int firstRouteProcess, const CPathMap* sections, int timeBase, int starts);
    ~ConformSourceStates();
    ConformSourceStates(const ConformSourceStates&) = delete;
    ConformSourceStates& operator=(const ConformSourceStates&) = delete;

    /// Adds a source pass (once each, all before the first Capture).
    void AddPass(CAutomationPackage* pass);

    /// Captures the range [start, lastFrame] of `pass` as a fresh table replayed from the first
    /// event would: its start (the table's position), and the indexes of its first and last
    /// events. Starts of one pass come in ascending order.
    void Capture(CAutomationPackage* pass, int start, int lastFrame, CCapturedSourceRange& range);

    /// The state of `pass` after its first `prefix` events (a whole block, valid until the next
    /// call). Channels outside SourceChannels() hold their defaults.
    const short* StateAfter(CAutomationPackage* pass, int prefix);

    /// The channels that some event of some source pass sets, ascending.
    const std::vector<int>& SourceChannels() const { return m_Channels; }
    /// A table over `pass` (for copying its events).
    CChannelStateTable& TableOf(CAutomationPackage* pass);

private:
    struct Checkpoint {
        int prefix = 0;
        std::unique_ptr<short[]> values;  // the source channels' runs, one after the other
    };
    struct Pass {
        std::unique_ptr<CChannelStateTable> table;  // the forward replay
        bool inTimeOrder = true;
        std::vector<Checkpoint> checkpoints;        // ascending prefix
    };

    void prepare();
    // The source channels' runs of a whole block.
    Checkpoint keep(const short* values, int prefix) const;
    void restore(const Checkpoint& checkpoint);

    int m_nFirstRouteProcess;
    const CPathMap* m_pSections;
    int m_nTimeBase;
    int m_nStarts;
    std::map<CAutomationPackage*, Pass> m_Passes;
    bool m_bTouched[kConsolePaths] = {};
    std::vector<int> m_Channels;
    std::vector<CChannelStateTable::ValueRun> m_Runs;  // of the source channels, in order
    size_t m_nRunValues = 0;                           // values of one checkpoint
    int64_t m_nSpacing = 0;                            // events between checkpoints; 0: not prepared
    Checkpoint m_Defaults;                             // the state before any event
    // The state StateAfter last made, of m_pStatePass after m_nStatePrefix events.
    CChannelStateTable::Block m_pState;
    CAutomationPackage* m_pStatePass = nullptr;
    int m_nStatePrefix = 0;
};
