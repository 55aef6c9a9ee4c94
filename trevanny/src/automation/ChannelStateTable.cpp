#include "trevanny/ChannelStateTable.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ChannelDefaults.h"
#include "EventConsole.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/ConsoleConfig.h"
#include "trevanny/SharedConstants.h"

using namespace channelstate;

namespace {

constexpr WPARAM kReplayNotification = 27;
// Notification 27 goes out at most once per this many events (a replay covers whole mixes).
constexpr int kReplayPostEvery = 1000;

// Continuous controls of the 36-process strip as masks (bit k = control k), by process.
constexpr uint16_t kContinuous[kProcesses] = {
    153, 11, 11, 11, 11, 11, 11, 11, 11,  // 0: 0 3 4 7; 1-8: 0 1 3
    5, 5,                                 // 9, 10: 0 2
    126, 126, 126,                        // 11-13: 1-6
    11,                                   // 14: 0 1 3
    60, 60,                               // 15, 16: 2-5
    103, 103,                             // 17, 18: 0 1 2 5 6
    122,                                  // 19: 1 3 4 5 6
    11,                                   // 20: 0 1 3
    31,                                   // 21: 0-4
    126,                                  // 22: 1-6
    4,                                    // 23: 2
};
constexpr uint16_t kRouteContinuous = 0x6;                              // controls 1 and 2
constexpr uint16_t kSmallContinuous[kSmallProcesses] = {3, 3, 0, 0, 31};  // 0, 1: 0 1; 4: 0-4

// The channels handled: the console's path count (read now), never more than the block holds.
int handledChannels() { return std::min(CConsoleConfig().GetMaxPathCount(), kConsolePaths); }

// The state slot PlayTo sets for an event, or -1 (a channel not handled, or no value kept).
inline int eventSlot(const CAutomationEvent& e, int type, int channels, int firstRouteProcess)
{
    if (e.m_Path >= static_cast<DWORD>(channels)) return -1;
    return StateSlot(type, firstRouteProcess, static_cast<int>(e.m_Path), e.GetProcessNumber(), e.GetControlNumber());
}

LPARAM replayArgument(int64_t index, int numerator)
{
    const int64_t rest = index % 100;
    return numerator / (rest == 0 ? 1 : rest);
}

// IsContinuousControl on a console of the given type.
int continuousControl(int type, int process, int control, int firstRouteProcess)
{
    if (control < 0 || control >= kControls || process < 0) return 0;
    if (IsSmallConsole(type)) return process < kSmallProcesses ? (kSmallContinuous[process] >> control & 1) : 0;
    if (!IsLargeConsole(type)) return 0;
    if (process < kProcesses) return kContinuous[process] >> control & 1;
    const int64_t route = int64_t{process} - firstRouteProcess;
    return route >= 0 && route < kRoutes ? (kRouteContinuous >> control & 1) : 0;
}

// AlignTime on a console of the given type.
int alignedTime(int type, int timeBase, int channel, int time, bool nearest)
{
    if (IsSmallConsole(type) || time < 1) return time;
    return AlignToSlot(int64_t{timeBase} + channel, time, nearest);
}

}  // namespace

int IsContinuousControl(int process, int control, int firstRouteProcess)
{
    return continuousControl(CurrentConsoleType(), process, control, firstRouteProcess);
}

CChannelStateTable::CChannelStateTable(CAutomationEventArray* events, int firstRouteProcess,
                                       const CArray<int, int>* sections, int timeBase, CEventFilter* filter)
    : m_pEvents(events),
      m_pSections(sections),
      m_nFirstRouteProcess(firstRouteProcess),
      m_nTimeBase(timeBase),
      m_pValues(NewBlock()),
      m_pFilter(filter)
{
    if (filter) {
        for (INT_PTR i = 0; i < filter->m_ChannelList.GetSize(); ++i) {
            const int c = filter->m_ChannelList[i];
            if (c >= 0 && c < kConsolePaths) m_nChannelFlags[c] = 1;
        }
    }
    ResetToDefaults();
}

CChannelStateTable::~CChannelStateTable() = default;

namespace {

// The blocks this thread freed, kept for its next ones (plain data: it stays usable while the
// thread's other objects are destroyed, and the closer frees what it holds at thread exit).
constexpr int kSpareBlocks = 4;
struct SpareBlocks {
    short* blocks[kSpareBlocks];
    int count;
    bool closed;
};
thread_local SpareBlocks t_spares;
struct SpareBlocksCloser {
    ~SpareBlocksCloser()
    {
        while (t_spares.count > 0) std::free(t_spares.blocks[--t_spares.count]);
        t_spares.closed = true;
    }
};
thread_local SpareBlocksCloser t_sparesCloser;

}  // namespace

CChannelStateTable::Block CChannelStateTable::NewBlock()
{
    if (t_spares.count > 0) {
        short* block = t_spares.blocks[--t_spares.count];
        std::memset(block, 0, kBlockBytes);
        return Block(block);
    }
    // A fresh large block comes as zero pages from calloc.
    short* block = static_cast<short*>(std::calloc(kValueCount, sizeof(short)));
    if (!block) throw std::bad_alloc();
    return Block(block);
}

void CChannelStateTable::FreeBlock::operator()(short* block) const
{
    if (!block) return;
    if (t_spares.closed || t_spares.count == kSpareBlocks) {
        std::free(block);
        return;
    }
    static_cast<void>(&t_sparesCloser);  // made on the thread's first kept block
    t_spares.blocks[t_spares.count++] = block;
}

void CChannelStateTable::ReportProgress(int, int) {}

void CChannelStateTable::CopyTo(void* buffer) const { std::memcpy(buffer, m_pValues.get(), kBlockBytes); }

void CChannelStateTable::ResetToDefaults()
{
    // A channel's defaults depend only on its section: each strip is worked out once and copied
    // to every channel that takes it (a table is reset for every edit and conform step).
    const int type = CurrentConsoleType();
    const int channels = handledChannels();
    short* v = m_pValues.get();
    if (IsSmallConsole(type)) {
        short strip[kSmallProcesses * kControls];
        for (int i = 0; i < kSmallProcesses * kControls; ++i) strip[i] = SmallControlDefault(i / kControls, i % kControls);
        for (int c = 0; c < channels; ++c) std::memcpy(v + kSmallRegion + c * kSmallProcesses * kControls, strip, sizeof strip);
        return;
    }
    if (!IsLargeConsole(type)) return;
    const int family = ConsoleFamily(type);
    // Only the first kSections pairs have defaults of their own: a channel of any later pair,
    // or of none, takes section 0's.
    int section[kConsolePaths] = {};
    if (m_pSections) {
        const int64_t pairs = std::min<int64_t>(m_pSections->GetSize() / 2, kSections);
        for (int64_t k = pairs - 1; k >= 0; --k) {
            const int64_t first = (*m_pSections)[2 * k];
            const int64_t end = first + (*m_pSections)[2 * k + 1];
            for (int64_t c = std::max<int64_t>(first, 0); c < std::min<int64_t>(end, channels); ++c) section[c] = static_cast<int>(k);
        }
    }
    constexpr int kStrip = kProcesses * kControls;
    short strips[kSections][kStrip];
    bool made[kSections] = {};
    short routes[kRoutes * kRouteControls];
    for (int i = 0; i < kRoutes * kRouteControls; ++i) routes[i] = RouteDefault(i % kRouteControls);
    for (int c = 0; c < channels; ++c) {
        const int k = section[c];
        if (!made[k]) {
            for (int i = 0; i < kStrip; ++i) strips[k][i] = ControlDefault(family, k, i / kControls, i % kControls);
            made[k] = true;
        }
        std::memcpy(v + c * kStrip, strips[k], sizeof strips[k]);
        std::memcpy(v + kRouteRegion + c * kRoutes * kRouteControls, routes, sizeof routes);
    }
}

void CChannelStateTable::PlayTo(int time, bool progress)
{
    if (time <= m_nPlayToTime) return;
    m_nPlayToTime = time;
    const int type = CurrentConsoleType();
    const int channels = handledChannels();
    const bool post = progress && m_pEvents->GetStatusWnd() != NULL;
    const CAutomationEvent* data = m_pEvents->GetData();
    const int64_t n = m_pEvents->GetSize();
    short* v = m_pValues.get();
    for (int64_t i = int64_t{m_nLastEvent} + 1; i < n && data[i].m_Time <= time; ++i) {
        m_nLastEvent = static_cast<int>(i);
        if (post && i % kReplayPostEvery == 0) PostAutomationNotification(kReplayNotification, replayArgument(i, 100));
        const int slot = eventSlot(data[i], type, channels, m_nFirstRouteProcess);
        if (slot >= 0) v[slot] = data[i].GetValue();
    }
}

void CChannelStateTable::ReplayOnto(short* values, int64_t first, int64_t end, bool* touched) const
{
    const int type = CurrentConsoleType();
    const int channels = handledChannels();
    const CAutomationEvent* data = m_pEvents->GetData();
    end = std::min<int64_t>(end, m_pEvents->GetSize());
    for (int64_t i = std::max<int64_t>(first, 0); i < end; ++i) {
        const int slot = eventSlot(data[i], type, channels, m_nFirstRouteProcess);
        if (slot < 0) continue;
        values[slot] = data[i].GetValue();
        if (touched) touched[data[i].m_Path] = true;
    }
}

bool CChannelStateTable::channelTaken(int64_t channel, bool& whole) const
{
    const bool flagged = channel >= 0 && channel < kConsolePaths && m_nChannelFlags[channel] != 0;
    switch (m_nFilterMode) {
    case IncludeFilter: whole = false; return flagged;
    case ExcludeFilter: whole = !flagged; return true;
    default: whole = true; return true;
    }
}

bool CChannelStateTable::pairTaken(int process, int control) const
{
    if (!m_pFilter) return true;
    const bool in = m_pFilter->IsProcControlInFilter(process, control) != FALSE;
    return m_nFilterMode == ExcludeFilter ? !in : in;
}

void CChannelStateTable::ApplyValues(const short* other)
{
    // Each channel's runs are compared before anything is applied: only the handled channels'
    // values are read, not the whole block.
    const int type = CurrentConsoleType();
    if (!IsSmallConsole(type) && !IsLargeConsole(type)) return;
    const int channels = handledChannels();
    for (int c = 0; c < channels; ++c) applyChannel(other, c, type);
}

void CChannelStateTable::ApplyValuesOfChannels(const short* other, const int* channels, size_t count)
{
    const int type = CurrentConsoleType();
    if (!IsSmallConsole(type) && !IsLargeConsole(type)) return;
    const int handled = handledChannels();
    for (size_t i = 0; i < count; ++i) {
        if (channels[i] >= 0 && channels[i] < handled) applyChannel(other, channels[i], type);
    }
}

void CChannelStateTable::applyChannel(const short* other, int c, int type)
{
    bool whole = true;
    if (!channelTaken(c, whole)) return;
    short* v = m_pValues.get();
    // The run of `count` values from `first`, `perProcess` controls to a process numbered from
    // firstProcess, in slot order; equal values are passed over four at a time.
    auto applyRun = [&](int first, int count, int perProcess, int64_t firstProcess) {
        const short* from = other + first;
        short* to = v + first;
        if (std::memcmp(to, from, sizeof(short) * static_cast<size_t>(count)) == 0) return;
        for (int i = 0; i < count; ++i) {
            if ((i & 3) == 0 && i + 4 <= count && std::memcmp(to + i, from + i, 4 * sizeof(short)) == 0) {
                i += 3;
                continue;
            }
            if (to[i] == from[i]) continue;
            // A route whose process number an event cannot carry has no events.
            const int64_t process = firstProcess + i / perProcess;
            if (process < 0 || process > 255) continue;
            const int control = i % perProcess;
            if (!whole && !pairTaken(static_cast<int>(process), control)) continue;
            const short before = to[i];
            to[i] = from[i];
            appendEvent(type, c, static_cast<int>(process), control, from[i], before);
        }
    };
    if (IsSmallConsole(type)) {
        applyRun(kSmallRegion + c * kSmallProcesses * kControls, kSmallProcesses * kControls, kControls, 0);
        return;
    }
    applyRun(c * kProcesses * kControls, kProcesses * kControls, kControls, 0);
    applyRun(kRouteRegion + c * kRoutes * kRouteControls, kRoutes * kRouteControls, kRouteControls, m_nFirstRouteProcess);
}

int CChannelStateTable::ChannelValueRuns(int channel, ValueRun (&runs)[2])
{
    const int type = CurrentConsoleType();
    if (channel < 0 || channel >= kConsolePaths) return 0;
    if (IsSmallConsole(type)) {
        runs[0] = {kSmallRegion + channel * kSmallProcesses * kControls, kSmallProcesses * kControls};
        return 1;
    }
    if (!IsLargeConsole(type)) return 0;
    runs[0] = {channel * kProcesses * kControls, kProcesses * kControls};
    runs[1] = {kRouteRegion + channel * kRoutes * kRouteControls, kRoutes * kRouteControls};
    return 2;
}

void CChannelStateTable::ApplyFrom(const CChannelStateTable& other) { ApplyValues(other.m_pValues.get()); }

void CChannelStateTable::CopyEventRange(const CChannelStateTable& source, int first, int last, int offset, bool progress)
{
    const CAutomationEventArray& from = *source.m_pEvents;
    const int64_t total = int64_t{last} - first + 1;
    const bool post = progress && from.GetStatusWnd() != NULL;
    for (int64_t i = first; i <= last; ++i) {
        if (!progress) ReportProgress(static_cast<int>(i), static_cast<int>(total));
        else if (post && i % kReplayPostEvery == 0) PostAutomationNotification(kReplayNotification, replayArgument(i, 200));
        if (i < 0 || i >= from.GetSize()) continue;
        CAutomationEvent e = from.GetData()[i];  // a copy: the two arrays may be one
        bool whole = true;
        if (!channelTaken(static_cast<int32_t>(e.m_Path), whole)) continue;
        if (!whole && !pairTaken(e.GetProcessNumber(), e.GetControlNumber())) continue;
        e.m_Time = AddTime(e.m_Time, offset);
        m_pEvents->Add(e);
    }
    if (!progress) ReportProgress(static_cast<int>(total), static_cast<int>(total));
}

void CChannelStateTable::AddEvent(int channel, int process, int control, short value)
{
    const int type = CurrentConsoleType();
    const int slot = StateSlot(type, m_nFirstRouteProcess, channel, process, control);
    appendEvent(type, channel, process, control, value, slot >= 0 ? m_pValues[slot] : value);
}

void CChannelStateTable::appendEvent(int type, int channel, int process, int control, short value, short oldValue)
{
    int time = m_nPlayToTime;
    if (continuousControl(type, process, control, m_nFirstRouteProcess)) time = alignedTime(type, m_nTimeBase, channel, time, false);
    m_pEvents->Add(CAutomationEvent(time, static_cast<DWORD>(channel), static_cast<BYTE>(process),
                                    static_cast<BYTE>(control), value, 0, static_cast<WORD>(oldValue)));
}

int CChannelStateTable::AlignTime(int channel, int time, bool nearest) const
{
    return alignedTime(CurrentConsoleType(), m_nTimeBase, channel, time, nearest);
}
