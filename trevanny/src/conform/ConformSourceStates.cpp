#include "conform/ConformSourceStates.h"
#include "trevanny/SharedConstants.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// All passes' checkpoints together stay under this: a conform of a few thousand pairs of one
// 4M-event pass then keeps a few hundred checkpoints of the channels it touches.
constexpr int64_t kCheckpointBudgetBytes = int64_t{128} << 20;
// Fewer events than this between checkpoints are replayed faster than a checkpoint is copied.
constexpr int64_t kMinSpacing = 4096;

}  // namespace

ConformSourceStates::ConformSourceStates(int firstRouteProcess, const CPathMap* sections, int timeBase, int starts)
    : m_nFirstRouteProcess(firstRouteProcess),
      m_pSections(sections),
      m_nTimeBase(timeBase),
      m_nStarts(std::max(starts, 1)),
      m_pState(CChannelStateTable::NewBlock())
{
}

ConformSourceStates::~ConformSourceStates() = default;

void ConformSourceStates::AddPass(CAutomationPackage* pass)
{
    Pass& p = m_Passes[pass];
    if (p.table) return;
    p.table = std::make_unique<CChannelStateTable>(pass, m_nFirstRouteProcess, m_pSections, m_nTimeBase, nullptr);
    const CAutomationEvent* e = pass->GetData();
    const INT_PTR n = pass->GetSize();
    p.inTimeOrder = std::is_sorted(e, e + n, [](const CAutomationEvent& a, const CAutomationEvent& b) { return a.m_Time < b.m_Time; });
    // Which channels the pass sets (the block is scratch until prepare()).
    p.table->ReplayOnto(m_pState.get(), 0, n, m_bTouched);
}

CChannelStateTable& ConformSourceStates::TableOf(CAutomationPackage* pass)
{
    AddPass(pass);
    return *m_Passes[pass].table;
}

void ConformSourceStates::prepare()
{
    m_Channels.clear();
    m_Runs.clear();
    m_nRunValues = 0;
    for (int c = 0; c < kConsolePaths; ++c) {
        if (!m_bTouched[c]) continue;
        m_Channels.push_back(c);
        CChannelStateTable::ValueRun runs[2];
        const int count = CChannelStateTable::ChannelValueRuns(c, runs);
        for (int r = 0; r < count; ++r) {
            m_Runs.push_back(runs[r]);
            m_nRunValues += static_cast<size_t>(runs[r].count);
        }
    }
    int64_t events = 0;
    for (auto& [pass, p] : m_Passes) events += pass->GetSize();
    const int64_t checkpointBytes = static_cast<int64_t>(m_nRunValues * sizeof(short));
    // A checkpoint (its values written to new memory) costs about as much as replaying one event
    // per value, and a start replays half the spacing on average: the spacing that costs least in
    // all is the root of 2 x events x values / starts.
    const auto balanced = static_cast<int64_t>(std::sqrt(2.0 * static_cast<double>(events) * static_cast<double>(m_nRunValues) / m_nStarts));
    m_nSpacing = std::max({kMinSpacing, events * checkpointBytes / kCheckpointBudgetBytes + 1, balanced});
    // The state before any event; a pass added late drops what was kept under other runs.
    const CChannelStateTable fresh(nullptr, m_nFirstRouteProcess, m_pSections, m_nTimeBase, nullptr);
    std::memcpy(m_pState.get(), fresh.GetValues(), CChannelStateTable::kBlockBytes);
    m_Defaults = keep(fresh.GetValues(), 0);
    for (auto& [pass, p] : m_Passes) p.checkpoints.clear();
    m_pStatePass = nullptr;
    m_nStatePrefix = 0;
}

ConformSourceStates::Checkpoint ConformSourceStates::keep(const short* values, int prefix) const
{
    Checkpoint checkpoint{prefix, std::unique_ptr<short[]>(new short[m_nRunValues])};
    short* to = checkpoint.values.get();
    for (const CChannelStateTable::ValueRun& run : m_Runs) {
        std::memcpy(to, values + run.offset, sizeof(short) * static_cast<size_t>(run.count));
        to += run.count;
    }
    return checkpoint;
}

void ConformSourceStates::restore(const Checkpoint& checkpoint)
{
    const short* from = checkpoint.values.get();
    for (const CChannelStateTable::ValueRun& run : m_Runs) {
        std::memcpy(m_pState.get() + run.offset, from, sizeof(short) * static_cast<size_t>(run.count));
        from += run.count;
    }
}

void ConformSourceStates::Capture(CAutomationPackage* pass, int start, int lastFrame, CCapturedSourceRange& range)
{
    if (m_nSpacing == 0) prepare();
    Pass& p = m_Passes[pass];
    if (!p.table) {
        AddPass(pass);  // not added before: its channels were not counted
        prepare();
    }
    CChannelStateTable& table = *p.table;
    table.PlayTo(start, false);
    range.m_nSourceStart = table.GetPlayToTime();
    range.m_nFirstEvent = table.GetLastEvent() + 1;
    range.m_nLastEvent = table.GetLastEvent();
    if (lastFrame > table.GetPlayToTime()) {
        // Where a replay on to the last frame would stop: at the first event after it.
        const CAutomationEvent* e = pass->GetData();
        const CAutomationEvent* end = e + pass->GetSize();
        const CAutomationEvent* from = e + range.m_nFirstEvent;
        const CAutomationEvent* stop =
            p.inTimeOrder ? std::upper_bound(from, end, lastFrame, [](int t, const CAutomationEvent& x) { return t < x.m_Time; })
                          : std::find_if(from, end, [lastFrame](const CAutomationEvent& x) { return x.m_Time > lastFrame; });
        range.m_nLastEvent = static_cast<int>(stop - e) - 1;
    }
    if (p.checkpoints.empty() || range.m_nFirstEvent - int64_t{p.checkpoints.back().prefix} >= m_nSpacing)
        p.checkpoints.push_back(keep(table.GetValues(), range.m_nFirstEvent));
}

const short* ConformSourceStates::StateAfter(CAutomationPackage* pass, int prefix)
{
    if (m_nSpacing == 0) prepare();
    Pass& p = m_Passes[pass];
    if (!p.table) {
        AddPass(pass);
        prepare();
    }
    // The last checkpoint at or below the prefix, or the defaults.
    auto after = std::upper_bound(p.checkpoints.begin(), p.checkpoints.end(), prefix,
                                  [](int k, const Checkpoint& c) { return k < c.prefix; });
    const Checkpoint& checkpoint = after == p.checkpoints.begin() ? m_Defaults : *(after - 1);
    // Going on from the state made last is cheaper when it lies between the checkpoint and here.
    if (m_pStatePass != pass || m_nStatePrefix > prefix || m_nStatePrefix < checkpoint.prefix) {
        restore(checkpoint);
        m_pStatePass = pass;
        m_nStatePrefix = checkpoint.prefix;
    }
    p.table->ReplayOnto(m_pState.get(), m_nStatePrefix, prefix);
    m_nStatePrefix = prefix;
    return m_pState.get();
}
