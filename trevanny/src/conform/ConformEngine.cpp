#include "trevanny/ConformEngine.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <numeric>
#include <unordered_map>

#include "conform/ConformSourceStates.h"
#include "conform/ConformSteps.h"
#include "conform/TempEditList.h"
#include "trevanny/AutomationNotifications.h"
#include "trevanny/ChannelStateTable.h"
#include "trevanny/CutListFile.h"
#include "trevanny/EDLReader.h"
#include "trevanny/PellimaxConformClient.h"
#include "trevanny/TimecodeValue.h"
#include "winport/GlobalMemory.h"

namespace {

// After this many destinations the output reserves room for all of them at the rate so far.
constexpr int kDestinationsBeforeReserve = 16;

// Room for the events of `count` destinations at the rate of the first `laid`, and a quarter
// more: a large output then grows without moving, and the repair does not walk it through pages
// the system must map again; the room, which stays in place, is written through large pages.
// Only address space is taken until events are written; without it, the output grows as before.
void reserveForAll(CAutomationEventArray& output, int laid, int count)
{
    const double events = static_cast<double>(output.GetSize()) / laid * count * 1.25;
    if (events <= static_cast<double>(output.GetSize()) || events > static_cast<double>(INT_MAX)) return;
    try {
        output.Reserve(static_cast<INT_PTR>(events));
        AdviseLargePages(output.GetData(), static_cast<size_t>(output.GetAllocSize()) * sizeof(CAutomationEvent));
    } catch (CMemoryException* e) {
        e->Delete();
    }
}

int clampToInt(int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

}  // namespace

int ConformFirstRouteProcess(const CAutomationPackage* package)
{
    if (!package || package->m_FirstAutoRte.GetSize() == 0) return kDefaultFirstRouteProcess;
    return static_cast<int>(package->m_FirstAutoRte[0]);
}

void PostConformItem(int item, int done, int count)
{
    PostAutomationNotification(kConformItemNotification, item);
    PostProgress(kConformPercentNotification, done, count < 1 ? 1 : count);
}

int ConformLastFrame(int start, int length) { return clampToInt(int64_t{start} + length - 1); }

int ConformOffset(int to, int from) { return static_cast<int>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from)); }

void ReplaceConformedEvents(CAutomationPackage& target, CAutomationEventArray& output)
{
    // The output's events become the target's as they are; the target's go with the output.
    target.CArray<CAutomationEvent, const CAutomationEvent&>::Swap(output);
    target.MakeTimeStampsContinuous(0);
}

CConformEngine::CConformEngine() = default;

CConformEngine::~CConformEngine() { freeSources(); }

void CConformEngine::freeSources()
{
    for (auto& pass : m_SourcePackages) {
        if (!pass) continue;
        pass->m_bNotifyOnClose = FALSE;
        pass->RemoveAll();
    }
    m_SourcePackages.clear();
}

enConformStatus CConformEngine::ReadCutList(const CString& packagePath, const CString& listName, BOOL linkPairs)
{
    m_pCutList = std::make_unique<CCutListFile>();
    CCutListRecordArray records;
    struct Free {
        CCutListRecordArray& records;
        ~Free()
        {
            for (INT_PTR i = 0; i < records.GetSize(); ++i) delete records[i];
        }
    } freeRecords{records};
    if (!m_pCutList->Read(listName, records)) {
        const int status = m_pCutList->GetStatus();
        return static_cast<enConformStatus>(status == CCutListFile::enReadOk ? CCutListFile::enNotParsed : status);
    }
    if (linkPairs) {
        // An insert that names a move (by its 1-based record number) picks up what the move took:
        // the two share one number.
        int counter = 0;
        for (INT_PTR i = 0; i < records.GetSize(); ++i) {
            CCutListRecord& insert = *records[i];
            if (insert.m_nKind != CCutListRecord::enInsertFrom) continue;
            const int64_t moved = int64_t{insert.m_nReference} - 1;
            if (moved < 0 || moved >= records.GetSize() || records[moved]->m_nKind != CCutListRecord::enMove) continue;
            insert.m_nReference = counter;
            records[moved]->m_nReference = counter;
            ++counter;
        }
    }
    m_pCutList->WriteTempEDL(packagePath, records);
    return enConformDone;
}

void CConformEngine::AddSource(CSourceDestItem& source, BOOL framesInFile)
{
    if (!framesInFile) convertItem(source);
    // After every source that starts at or before it: equal starts keep their reading order.
    INT_PTR lo = 0, hi = m_Sources.GetSize();
    while (lo < hi) {
        const INT_PTR mid = lo + (hi - lo) / 2;
        if (m_Sources[mid].m_nStart > source.m_nStart) hi = mid;
        else lo = mid + 1;
    }
    if (lo == m_Sources.GetSize()) m_Sources.Add(source);
    else m_Sources.InsertAt(lo, source);
}

void CConformEngine::AddDestination(CSourceDestItem& destination, BOOL framesInFile)
{
    if (!framesInFile) convertItem(destination);
    m_Destinations.Add(destination);
}

void CConformEngine::convertItem(CSourceDestItem& item)
{
    if (!m_pConvert) m_pConvert = std::make_unique<CTimecodeValue>();
    m_pConvert->SetFrames(item.m_nStart);
    item.m_nStart = m_pConvert->GetRoundedFrames();
    m_pConvert->SetFrames(item.m_nLength);
    item.m_nLength = m_pConvert->GetRoundedFrames();
}

CAutomationPackage* CConformEngine::sourceOf(const CSourceDestItem& destination) const
{
    if (m_SourcePackages.empty()) return nullptr;
    const int reel = destination.m_pEvent ? destination.m_pEvent->m_nReelIndex : -1;
    if (reel < 0 || static_cast<size_t>(reel) >= m_SourcePackages.size() || !m_SourcePackages[reel]) return m_SourcePackages[0].get();
    return m_SourcePackages[reel].get();
}

void CConformEngine::postItemProgress(int item, int count) const
{
    if (GetStatusWnd() != NULL) PostConformItem(item, item, count);
}

bool CConformEngine::LoadSources(CAutomationPackage* target)
{
    if (!target) return false;
    freeSources();
    bool anyFile = false;
    for (int i = 0; i < m_Reels.GetSize(); ++i) anyFile = anyFile || !m_Reels.GetAt(i).m_strText2.IsEmpty();
    auto load = [target](CAutomationPackage& pass, const CString& path) {
        pass.SetPathName(path);
        if (!LoadConformSourcePass(pass)) return false;
        pass.m_bNotifyOnClose = target->m_bNotifyOnClose;
        pass.BuildControlIndex();
        return true;
    };
    if (!anyFile) {
        // Every pair takes its automation from the target's own file.
        m_SourcePackages.push_back(std::make_unique<CAutomationPackage>());
        if (!load(*m_SourcePackages[0], target->m_strPathName)) return false;
        m_Reels.RemoveAll();
        return true;
    }
    for (int i = 0; i < m_Reels.GetSize(); ++i) {
        m_SourcePackages.push_back(std::make_unique<CAutomationPackage>());
        const CString& file = m_Reels.GetAt(i).m_strText2;
        // A reel that names no file beside reels that do is an empty source.
        if (file.IsEmpty()) m_SourcePackages.back()->SetPathName(CString());
        else if (!load(*m_SourcePackages.back(), file + ".aut")) return false;
    }
    return true;
}

enConformStatus CConformEngine::ReadEditList(const CString& edlPath, BOOL framesInFile)
{
    m_nStatus = enConformEDLNotOpened;
    CEDLReader reader(edlPath, CEDLReader::enGeneric);
    CFileException error;
    if (!reader.Open(CFile::modeRead | CFile::shareDenyNone | CFile::typeBinary, &error)) return enConformEDLNotOpened;
    m_Reels.RemoveAll();
    CTimecodeSettings settings;
    // Only a stored edit list holds pairs: text is never read as stored events.
    if (reader.ReadHeader(settings, m_Reels) != CEDLReader::enHeaderBlock || reader.IsDamaged()) return enConformEDLNotOpened;
    m_Sources.RemoveAll();
    m_Destinations.RemoveAll();
    int timecodes[12] = {};
    for (int pair = 0;; ++pair) {
        CSourceDestItem source, destination;
        if (reader.ReadNextEvent(timecodes, source, destination) == 0) break;
        CEDLEvent* event = destination.m_pEvent;
        if (event) {
            if (reader.IsOldHeader()) event->m_nReelIndex = m_Reels.Find(event->m_strReelName);
            else event->m_strReelName = m_Reels.GetName(event->m_nReelIndex);
        }
        // The pair number is also the key that pairs a source with its destination.
        source.m_nIndex = destination.m_nIndex = pair;
        source.m_nPairingKey = destination.m_nPairingKey = pair;
        AddSource(source, framesInFile);
        AddDestination(destination, framesInFile);
    }
    return reader.IsDamaged() ? enConformEDLNotOpened : enConformDone;
}

int CConformEngine::FirstRouteProcess() const
{
    return ConformFirstRouteProcess(m_SourcePackages.empty() ? nullptr : m_SourcePackages[0].get());
}

enConformStatus CConformEngine::Run(CAutomationPackage* target, const CString& edlPath, BOOL framesInFile)
{
    m_nStatus = enConformEDLNotOpened;
    if (!target) return enConformEDLNotOpened;
    SetStatusWnd(target->GetStatusWnd());
    if (ReadEditList(edlPath, framesInFile) != enConformDone) return enConformEDLNotOpened;

    // Constructing the remote client hands the pairs to the outside conform system (when the
    // user's AutoConform switch is on); it is held to the end of Run so that its project client
    // is destroyed only after the local conform has run.
    CPellimaxConformClient remote(m_Sources, m_Destinations);
    m_nStatus = enConformNoSource;
    if (!LoadSources(target)) {
        freeSources();
        return enConformNoSource;
    }
    const int firstRouteProcess = FirstRouteProcess();
    const CPathMap* sections = &target->m_PathMap;
    CCapturedRangeArray captured;
    if (!CaptureSourceRanges(firstRouteProcess, 0, sections, captured)) {
        freeSources();
        return enConformNoSource;
    }
    m_nStatus = enConformBuildFailed;
    if (!BuildDestination(target, firstRouteProcess, 0, sections, captured, framesInFile)) {
        freeSources();
        return enConformBuildFailed;
    }
    m_Reels.RemoveAll();
    freeSources();
    m_nStatus = enConformDone;
    return enConformDone;
}

bool CConformEngine::CaptureSourceRanges(int firstRouteProcess, int timeBase, const CPathMap* sections, CCapturedRangeArray& captured)
{
    if (m_SourcePackages.empty()) return false;
    m_pStates.reset();
    if (m_nMethod == Fast) {
        m_pStates = std::make_unique<ConformSourceStates>(firstRouteProcess, sections, timeBase, static_cast<int>(m_Sources.GetSize()));
        for (auto& pass : m_SourcePackages) {
            if (pass) m_pStates->AddPass(pass.get());
        }
    }
    const std::vector<INT_PTR> destinationOf = destinationsOfPairs();
    const int n = static_cast<int>(m_Sources.GetSize());
    captured.clear();
    captured.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        postItemProgress(i + 1, n);
        const CSourceDestItem& source = m_Sources[i];
        CCapturedSourceRange range;
        range.m_nPair = source.m_nIndex;
        range.m_nLastFrame = ConformLastFrame(source.m_nStart, source.m_nLength);
        range.m_pSource = passOfSource(source, destinationOf);
        if (m_pStates) {
            // One forward replay per pass: the sources come in start order.
            m_pStates->Capture(range.m_pSource, source.m_nStart, range.m_nLastFrame, range);
        } else {
            // A replay from the pass's first event, and a whole block of the state at the start.
            CChannelStateTable table(range.m_pSource, firstRouteProcess, sections, timeBase, nullptr);
            table.PlayTo(source.m_nStart, false);
            range.m_nSourceStart = table.GetPlayToTime();
            range.m_pSnapshot = CChannelStateTable::NewBlock();
            table.CopyTo(range.m_pSnapshot.get());
            range.m_nFirstEvent = table.GetLastEvent() + 1;
            table.PlayTo(range.m_nLastFrame, false);
            range.m_nLastEvent = table.GetLastEvent();
        }
        captured.push_back(std::move(range));
    }
    return true;
}

bool CConformEngine::BuildDestination(CAutomationPackage* target, int firstRouteProcess, int timeBase, const CPathMap* sections,
                                      CCapturedRangeArray& captured, BOOL framesInFile)
{
    if (!target || m_SourcePackages.empty()) return false;
    CAutomationEventArray output;
    buildOutput(target, firstRouteProcess, timeBase, sections, captured, framesInFile, output);
    captured.clear();
    m_pStates.reset();
    ReplaceConformedEvents(*target, output);
    return true;
}

CAutomationPackage* CConformEngine::passOfSource(const CSourceDestItem& source, const std::vector<INT_PTR>& destinationOf) const
{
    const int pair = source.m_nIndex;
    const bool paired = pair >= 0 && static_cast<size_t>(pair) < destinationOf.size() && destinationOf[pair] >= 0;
    return paired ? sourceOf(m_Destinations[destinationOf[pair]]) : m_SourcePackages[0].get();
}

std::vector<INT_PTR> CConformEngine::destinationsOfPairs() const
{
    std::vector<INT_PTR> of;
    for (INT_PTR i = 0; i < m_Destinations.GetSize(); ++i) {
        const int pair = m_Destinations[i].m_nIndex;
        if (pair < 0) continue;
        if (static_cast<size_t>(pair) >= of.size()) of.resize(static_cast<size_t>(pair) + 1, -1);
        if (of[pair] < 0) of[pair] = i;
    }
    return of;
}

std::vector<INT_PTR> CConformEngine::destinationOrder() const
{
    std::vector<INT_PTR> order(static_cast<size_t>(m_Destinations.GetSize()));
    std::iota(order.begin(), order.end(), INT_PTR{0});
    std::stable_sort(order.begin(), order.end(),
                     [this](INT_PTR a, INT_PTR b) { return m_Destinations[a].m_nStart < m_Destinations[b].m_nStart; });
    return order;
}

void CConformEngine::buildOutput(CAutomationPackage* target, int firstRouteProcess, int timeBase, const CPathMap* sections,
                                 const CCapturedRangeArray& captured, BOOL framesInFile, CAutomationEventArray& output)
{
    CChannelStateTable out(&output, firstRouteProcess, sections, timeBase, &target->m_Filter);
    if (!framesInFile) {
        // The conformed automation starts from the target's state at time 0.
        CChannelStateTable own(target, firstRouteProcess, sections, timeBase, &target->m_Filter);
        own.PlayTo(0, false);
        out.PlayTo(0, false);
        out.ApplyFrom(own);
    }
    // Without whole blocks, only the channels that some source sets or that the output set so
    // far can differ from a source state: every other channel holds its defaults in both.
    std::vector<int> channels;
    if (m_pStates) {
        channels = m_pStates->SourceChannels();
        for (INT_PTR i = 0; i < output.GetSize(); ++i) channels.push_back(static_cast<int>(output[i].m_Path));
        std::sort(channels.begin(), channels.end());
        channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    }
    std::unordered_map<int, size_t> rangeOf;
    for (size_t r = 0; r < captured.size(); ++r) rangeOf.emplace(captured[r].m_nPair, r);
    // The tables whose events the ranges are copied from, one per source pass.
    std::unordered_map<CAutomationPackage*, std::unique_ptr<CChannelStateTable>> sourceTables;
    const std::vector<INT_PTR> order = destinationOrder();
    const int n = static_cast<int>(order.size());
    for (int k = 0; k < n; ++k) {
        postItemProgress(k + 1, n);
        if (k == kDestinationsBeforeReserve && n > 2 * k) reserveForAll(output, k, n);
        const CSourceDestItem& destination = m_Destinations[order[k]];
        CAutomationPackage* pass = sourceOf(destination);
        out.PlayTo(destination.m_nStart, false);
        auto found = rangeOf.find(destination.m_nIndex);
        if (found == rangeOf.end()) continue;
        const CCapturedSourceRange& range = captured[found->second];
        // The state at the source start comes first, even for a range without events.
        if (range.m_pSnapshot) {
            out.ApplyValues(range.m_pSnapshot.get());
        } else if (m_pStates) {
            const short* state = m_pStates->StateAfter(range.m_pSource, range.m_nFirstEvent);
            out.ApplyValuesOfChannels(state, channels.data(), channels.size());
        }
        if (range.m_nFirstEvent > range.m_nLastEvent) continue;
        auto& table = sourceTables[pass];
        if (!table) table = std::make_unique<CChannelStateTable>(pass, firstRouteProcess, sections, timeBase, nullptr);
        out.CopyEventRange(*table, range.m_nFirstEvent, range.m_nLastEvent, ConformOffset(out.GetPlayToTime(), range.m_nSourceStart),
                           false);
    }
}

enConformStatus DoConform(CAutomationPackage* package, const CString& fileName)
{
    if (!package) return enConformEDLNotOpened;
    CConformEngine engine;
    const CString last = fileName.Right(4);
    const bool cutList = last.CompareNoCase(".cut") == 0;
    const bool changeList = !cutList && (last.CompareNoCase(".txt") == 0 || last.IsEmpty() || last[0] != '.');
    CString edlPath = fileName;
    if (cutList || changeList) {
        const enConformStatus status = engine.ReadCutList(package->m_strPathName, fileName, changeList ? TRUE : FALSE);
        if (status != enConformDone) return status;
        edlPath = CCutListFile::TempEDLPath();
    }
    return engine.Run(package, edlPath, FALSE);
}

bool LoadConformSourcePass(CAutomationPackage& pass)
{
    pass.Load();
    return pass.HasLoadedEvents() != FALSE;
}
