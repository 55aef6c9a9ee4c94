// The conform: re-times the automation of a mix pass to follow a picture edit. The edit is a
// list of (source range, destination range) pairs, read from a stored edit list, from a cut list
// or change list turned into the temporary edit list first, or built by the range conforms
// (copy, move or delete one range of the timeline). For every pair the engine takes the
// automation of the source range of a source pass (one pass per reel, "<reel file>.aut"; the
// target's own file when no reel names one) and lays it down at the destination, preceded by
// the events that bring every control to the value it had at the source start. The target
// package then holds the conformed automation; the caller saves it.
//
// Statuses (enConformStatus):
//   0 the conform ran to the end
//   1 the cut list or change list would not open
//   2 the cut list or change list did not parse before its records
//   3 a binary cut list's record count or records do not fit the file
//   4 the edit list would not open, is not a stored edit list (no header block), or is damaged
//   5 a source pass could not be loaded (a reel's file, or the target's own file)
//   6 the destination could not be built (not returned: the build always succeeds)
// The target's events change only when the conform returns 0. Exceptions (memory, a temporary
// list or pair file that cannot be written) pass to the caller, with the target untouched.
//
// Positions: frames in the edit-list files (converted through the operator's timecode settings
// into the automation time unit), the automation time unit everywhere inside.
//
// One thread uses an engine; the temporary edit list is owned by one conform at a time.
#pragma once

#include <memory>
#include <vector>

#include "trevanny/AutomationEventArray.h"
#include "trevanny/AutomationPackage.h"
#include "trevanny/ChannelStateTable.h"
#include "trevanny/EDLReelTable.h"
#include "trevanny/SourceDestItem.h"
#include "trevanny/TimecodeSettings.h"
#include "winport/CString.h"

enum enConformStatus : int {
    enConformDone = 0,
    enConformListNotOpened = 1,
    enConformListNotParsed = 2,
    enConformListShort = 3,
    enConformEDLNotOpened = 4,
    enConformNoSource = 5,
    enConformBuildFailed = 6,
};

/// One captured source range: the source start (the replay's position there), the last frame,
/// the state of every control at the start (a whole channel-state block; the fast method keeps
/// none, the state being that after the pass's events before the first index) and the indexes
/// of the first and last source events inside the range (last below first: no events), and the
/// pass it was captured from.
struct CCapturedSourceRange {
    int m_nPair = 0;
    int m_nSourceStart = 0;
    int m_nLastFrame = 0;
    CChannelStateTable::Block m_pSnapshot;
    int m_nFirstEvent = 0;
    int m_nLastEvent = -1;
    CAutomationPackage* m_pSource = nullptr;
};
typedef std::vector<CCapturedSourceRange> CCapturedRangeArray;

class CCutListFile;
class CTimecodeValue;
class ConformSourceStates;
class TempEditListLock;

class CConformEngine : public CAutomationEventArray {
public:
    /// How the source ranges are captured and laid down. Both give the same result, event for
    /// event. The reference replays each source from its first event, keeps a whole state
    /// block per pair and compares whole blocks; the fast method (the default) replays each
    /// source pass once, keeps a bounded number of states of the channels the sources touch,
    /// and compares only those channels.
    enum Method { Reference = 0, Fast = 1 };

    CConformEngine();
    ~CConformEngine() override;
    CConformEngine(const CConformEngine&) = delete;
    CConformEngine& operator=(const CConformEngine&) = delete;

    void SetMethod(Method method) { m_nMethod = method; }

    /// Reads the cut list or change list `listName` and writes its pairs as the temporary edit
    /// list, reels named after packagePath without its extension. With linkPairs, each insert
    /// that names a move by its record number (1-based) and that move are given one shared
    /// number. 0, or the reader's status (1, 2, 3). The temporary list stays this engine's
    /// until it is destroyed.
    enConformStatus ReadCutList(const CString& packagePath, const CString& listName, BOOL linkPairs);
    /// Conforms `target` to the stored edit list at edlPath. framesInFile: the list's positions
    /// are already in the automation time unit (pair files of the range conforms), and the
    /// output does not start from the target's state at time 0.
    enConformStatus Run(CAutomationPackage* target, const CString& edlPath, BOOL framesInFile);

    // The steps of Run, for callers that time them apart.

    /// Reads the reels and pairs of the stored edit list at edlPath (statuses 0 and 4).
    enConformStatus ReadEditList(const CString& edlPath, BOOL framesInFile);
    /// Loads one source pass per reel (or the target's own file); false when one cannot be, or
    /// for no target.
    bool LoadSources(CAutomationPackage* target);
    /// The route process of the first source pass (2000 when it names none).
    int FirstRouteProcess() const;

    /// Converts a source item's start and length (unless framesInFile) and inserts it after
    /// every source that starts at or before it.
    void AddSource(CSourceDestItem& source, BOOL framesInFile);
    /// Converts a destination item's start and length (unless framesInFile) and appends it.
    void AddDestination(CSourceDestItem& destination, BOOL framesInFile);

    /// Captures every source range from its source pass (sources in start order). False when
    /// a pass is missing.
    bool CaptureSourceRanges(int firstRouteProcess, int timeBase, const CPathMap* sections, CCapturedRangeArray& captured);
    /// Lays every captured range down at its destination, destinations in start order (equal
    /// starts in edit order), and replaces the target's events with the result.
    bool BuildDestination(CAutomationPackage* target, int firstRouteProcess, int timeBase, const CPathMap* sections,
                          CCapturedRangeArray& captured, BOOL framesInFile);

    // The range conforms' pair file.

    /// Reads the frame rate, and makes `reels` one reel named (and filed) after the package's
    /// path without its last four characters (`stem`).
    static void SetupSorelReel(CAutomationPackage* package, CTimecodeSettings settings, CEDLReelTable& reels, int& frameRate,
                               CString& stem);
    /// Writes the pairs (source at 2k, destination at 2k+1, in the automation time unit) as the
    /// pair file, leaving out pairs whose length is 0 or below, and runs the conform on it.
    /// Throws CFileException when the pair file cannot be written.
    enConformStatus RunSorelPairs(CAutomationPackage* package, CTimecodeSettings settings, CEDLReelTable& reels,
                                  CSourceDestItemArray& items);

    int GetStatus() const { return m_nStatus; }
    const CSourceDestItemArray& GetSources() const { return m_Sources; }
    const CSourceDestItemArray& GetDestinations() const { return m_Destinations; }

private:
    // The source pass of a destination: its reel's, or pass 0 for a reel outside the table.
    CAutomationPackage* sourceOf(const CSourceDestItem& destination) const;
    void freeSources();
    void postItemProgress(int item, int count) const;
    void convertItem(CSourceDestItem& item);
    // The first destination of each pair number (-1: none), and the destinations in start order.
    std::vector<INT_PTR> destinationsOfPairs() const;
    std::vector<INT_PTR> destinationOrder() const;
    // The captured ranges laid down over the target's state at 0 (unless framesInFile).
    void buildOutput(CAutomationPackage* target, int firstRouteProcess, int timeBase, const CPathMap* sections,
                     const CCapturedRangeArray& captured, BOOL framesInFile, CAutomationEventArray& output);
    // The source pass of the pair of a source: the first destination's with its number.
    CAutomationPackage* passOfSource(const CSourceDestItem& source, const std::vector<INT_PTR>& destinationOf) const;

    CEDLReelTable m_Reels;
    std::vector<std::unique_ptr<CAutomationPackage>> m_SourcePackages;
    CSourceDestItemArray m_Sources;        ///< sorted by start
    CSourceDestItemArray m_Destinations;   ///< in edit order
    int m_nStatus = -1;
    Method m_nMethod = Fast;
    std::unique_ptr<CCutListFile> m_pCutList;       ///< keeps the temporary list's lock
    std::unique_ptr<TempEditListLock> m_pPairLock;  ///< the pair file's lock
    std::unique_ptr<CTimecodeValue> m_pConvert;     ///< frames -> time unit
    std::unique_ptr<ConformSourceStates> m_pStates; ///< the fast method's, from capture to build
};

/// Conforms `package` to the edit in `fileName`: a cut list (".cut", any case), a change list
/// (".txt", or a name whose last four characters do not start with '.'), else a stored edit
/// list.
enConformStatus DoConform(CAutomationPackage* package, const CString& fileName);

/// Copies [source start, + source length) to begin at the destination start; the timeline
/// keeps its length and the copy overwrites what was there.
enConformStatus CopyConformSorelStyle(CAutomationPackage* package, CSourceDestItem* source, CSourceDestItem* destination);
/// Moves [source start, + source length) to begin at the destination start, leaving its old
/// place without automation.
enConformStatus MoveConformSorelStyle(CAutomationPackage* package, CSourceDestItem* source, CSourceDestItem* destination);
/// Removes the automation of [range start, + range length); everything else keeps its time.
enConformStatus DeleteConformSorelStyle(CAutomationPackage* package, CSourceDestItem* range);

/// 24 hours in the automation time unit at a frame rate (2,073,600 frames at 24, 2,160,000 at
/// 25, 2,592,000 at any other rate, converted through the operator's timecode settings with the
/// film-equivalence offset).
int FramesIn24Hours(int framesPerSec);
