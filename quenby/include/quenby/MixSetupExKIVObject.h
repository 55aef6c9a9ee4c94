// The mix-setup object: a complete copy of one mix setup of the server (the cache), read from
// the attach reply, edited through its getters and setters, and written back whole by Create
// or Save. Path kinds and numbering: 0 channel, 1 group, 2 main, 3 aux, 4 listen, 5 talkback,
// 6 sel, 7 track, 8 cue, 9 extern, 10 film, 11 film listen, 12 predub dummy master, 13 star
// command; kind 14 (subs) is channel index + number of faders where a method takes it.
//
// Every index is checked: a getter outside its table answers 0, -1 or an empty text as its
// kind does, and a setter outside it changes nothing.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "quenby/GenericKIVObject.h"
#include "quenby/KivClientKit.h"
#include "trevanny/SharedConstants.h"
#include "winport/CString.h"
#include "winport/Collections.h"

struct MixSetupCache;

/// One predub of GetListOfPredubs: its label ("PD%-2d", from 1), the master path's name and
/// the master's path number.
class CPredubObject {
public:
    CPredubObject() = default;
    CPredubObject(const CString& label, const CString& name, int path) : m_strLabel(label), m_strName(name), m_nPath(path) {}
    CString m_strLabel;
    CString m_strName;
    int m_nPath = -1;
};

/// Converts between a displayed process list (type-8 variants shown as 8, 47, 48, 49) and the
/// stored list (every one of them 8) with the variants of its first two type-8 processes.
/// Both lists are 11 types, filled with 21 (the end marker) before use.
class CProcessListConverter {
public:
    static constexpr int kSlots = 11;
    static constexpr BYTE kEnd = 21;

    /// From a display list: entries beyond 11 are ignored, missing ones are 21.
    explicit CProcessListConverter(const CArray<BYTE, BYTE>& display);
    explicit CProcessListConverter(const CArray<int, int>& display);
    explicit CProcessListConverter(const BYTE display[kSlots]);
    /// From a stored list and its two variants (-1 for none).
    CProcessListConverter(const BYTE stored[kSlots], int variant0, int variant1);

    BYTE GetDisplay(int i) const { return i >= 0 && i < kSlots ? m_byDisplay[i] : kEnd; }
    BYTE GetStored(int i) const { return i >= 0 && i < kSlots ? m_byStored[i] : kEnd; }
    int GetVariant(int i) const { return i >= 0 && i < 2 ? m_nVariant[i] : -1; }

private:
    void FromDisplay(const int* display, int count);

    BYTE m_byDisplay[kSlots];
    BYTE m_byStored[kSlots];
    int m_nVariant[2] = {-1, -1};
};

class CMixSetupExKIVObject : public CGenericKIVObject {
public:
    explicit CMixSetupExKIVObject(int enabled = 1);
    ~CMixSetupExKIVObject() override;

    CString GetName() override { return "MixSetupExtendedKIV"; }

    // ---- server ----

    /// Attaches to the named mix setup; the reply fills the cache.
    void Get(CString name, int mode);
    /// Asks the server to read the process lists again (re-attaching under the cached name).
    void LoadProcessList();
    /// Sends the cache as a new mix setup; the window hears "MSU Created" at every later reply.
    void Create(const CString& name, int value, const CArray<int, int>& list, HWND window);
    void Create(int value, const CArray<int, int>& list, HWND window);
    void Save(const CString& name, HWND window);
    void Save(HWND window);
    void SaveAs(const CString& name, HWND window);
    /// Takes a mix-setup block whose size field is at least the block's size and whose counts
    /// total at most 2000; any other reply is ignored whole. Returns 1.
    int OnLinkIn(_CommsStructure* reply) override;

    /// The allocation-result list, shared by every mix-setup object of the program; with
    /// zerosOnly not 0 only its zeros.
    void GetAllocationResult(CArray<int, int>& out, int zerosOnly);
    int GetAllocationDone() { return 0; }
    /// The registered message "MSU Created".
    static UINT MSUCreatedMessage();

    // ---- kinds and counts ----

    int GetNum(int kind) const;
    int GetNumChannels() const { return GetNum(0); }
    int GetNumGroups() const { return GetNum(1); }
    int GetNumMains() const { return GetNum(2); }
    int GetNumAuxes() const { return GetNum(3); }
    int GetNumListens() const { return GetNum(4); }
    int GetNumTalkbacks() const { return GetNum(5); }
    int GetNumSels() const { return GetNum(6); }
    int GetNumTracks() const { return GetNum(7); }
    int GetNumCues() const { return GetNum(8); }
    int GetNumExterns() const { return GetNum(9); }
    int GetNumFilms() const { return GetNum(10); }
    int GetNumFilmListens() const { return GetNum(11); }
    int GetNumPredubDummyMaster() const { return GetNum(12); }
    int GetNumStarCommand() const { return GetNum(13); }
    int GetNumSubs() const { return 0; }
    int GetNumMixMinusGroups() const { return m_nNumMixMinusGroups; }
    int GetNumMixMinusOutputs() const;
    int GetNumFaders() const;
    int GetTotalPaths() const;
    int GetOffset(int kind) const;
    /// The kind of a path, -1 when no kind holds it.
    int GetPathType(int path) const;

    /// Sets a kind's count (0 for a negative count; nothing when the total would pass 2000)
    /// and renumbers every table that follows the paths.
    void SetNumType(int count, int kind);
    void SetNumChannels(int count) { SetNumType(count, 0); }
    /// Also gives the mix-minus groups the list 19, 15, 21.
    void SetNumGroups(int count);
    void SetNumMains(int count) { SetNumType(count, 2); }
    void SetNumAuxes(int count) { SetNumType(count, 3); }
    void SetNumListens(int count) { SetNumType(count, 4); }
    void SetNumTalkbacks(int count) { SetNumType(count, 5); }
    void SetNumSels(int count) { SetNumType(count, 6); }
    void SetNumTracks(int count) { SetNumType(count, 7); }
    void SetNumCues(int count) { SetNumType(count, 8); }
    void SetNumExterns(int count) { SetNumType(count, 9); }
    void SetNumFilms(int count) { SetNumType(count, 10); }
    void SetNumFilmListens(int count) { SetNumType(count, 11); }
    void SetNumPredubDummyMaster(int count) { SetNumType(count, 12); }
    /// midi + oasis star-command paths: the first midi get 44, 0, 21, the others 45, 0, 21.
    void SetNumStarCommand(int midi, int oasis);
    void SetNumMixMinusOutputs(int count);

    /// Removes one path of a kind from every table; nothing for an index outside the kind.
    void RemoveType(int index, int kind);
    void RemoveChannel(int index) { RemoveType(index, 0); }
    void RemoveGroup(int index) { RemoveType(index, 1); }
    void RemoveMain(int index) { RemoveType(index, 2); }
    void RemoveAux(int index) { RemoveType(index, 3); }
    void RemoveListen(int index) { RemoveType(index, 4); }
    void RemoveTalkback(int index) { RemoveType(index, 5); }
    void RemoveSel(int index) { RemoveType(index, 6); }
    void RemoveTrack(int index) { RemoveType(index, 7); }
    void RemoveCue(int index) { RemoveType(index, 8); }
    void RemoveExtern(int index) { RemoveType(index, 9); }
    void RemoveFilm(int index) { RemoveType(index, 10); }
    void RemoveFilmListen(int index) { RemoveType(index, 11); }
    void RemovePredubDummyMaster(int index) { RemoveType(index, 12); }
    void RemoveStarCommand(int index) { RemoveType(index, 13); }

    /// The whole cache as constructed.
    void Clear();
    void Clear(int kind);
    /// One path: the kind's default list, surround 65535, solo inhibit 0, disabled 0,
    /// automated 1, priority 0.
    void Clear(int kind, int index);

    // ---- names ----

    void GetName(int kind, int index, CString& shortName, CString& longName) const;
    void GetName(int kind, int index, CString& shortName) const;
    void GetName(int path, CString& shortName) const;
    void SetName(int kind, int index, const CString& shortName, const CString& longName);
    void SetName(int kind, int index, const CString& shortName);
    void SetName(int path, const CString& shortName);
    void GetNamesOfType(int kind, CStringArray& names, CArray<int, int>& paths) const;
    CString GetDefaultName(int path) const;
    /// The label of the number-th path (from 1) of a kind.
    CString GetDefaultName(int kind, int number) const;
    const CString& GetMSUName() const { return m_strMSUName; }
    const CString& GetDefaultMSUName() const { return m_strDefaultMSUName; }
    void GetDefaultMSUName(CString& name) const { name = m_strDefaultMSUName; }
    void SetMSUName(CString name);
    int IsReadOnly() const;
    int GetDeskSetupType() const;
    void SetDeskSetupType(int type);
    /// "ERLO", "MIDI", "OASIS" or "ERHI".
    CString GetStarCommandName(int path) const;
    int GetNumStarTypes(BYTE process) const;
    int GetNumHUI() const { return GetNumStarTypes(44); }
    int GetNumOASIS() const { return GetNumStarTypes(45); }
    CString GetBankName(int bank) const;
    void SetBankName(int bank, const CString& name);
    /// The 96 characters of layer names (4 per layer, 4 layers per bank).
    CString GetLayerNames() const;
    void SetLayerNames(const CString& names);

    // ---- channel map ----

    int GetChannelMapPath(int bank, int layer, int strip) const;
    void SetChannelMapPath(int bank, int layer, int strip, int path);
    void ClearChannelMapPath(int bank, int layer, int strip) { SetChannelMapPath(bank, layer, strip, -1); }
    void ClearChannelMap(int bank);
    /// The bank's 640 entries (layer by layer).
    void GetChannelMapBankPaths(int bank, int* out) const;
    void SetChannelMapBankPaths(int bank, const int* in);
    CString GetChannelMapPathName(int bank, int layer, int strip) const;
    int FindPathInChannelMap(int path, int bank, int& layer, int& strip) const;
    int FindPathInDifferentBankPart(int path, int bank, int strip) const;
    int IsDeskDesignValid() const;

    // ---- per-path flags and values ----

    WORD GetSurroundDesignator(int kind, int index) const;
    void SetSurroundDesignator(int kind, int index, WORD designator);
    BYTE GetSoloInhibit(int kind, int index) const;
    void SetSoloInhibit(int kind, int index, BYTE value);
    void SetSoloInhibit(int path, BYTE value);
    BYTE GetDisabled(int kind, int index) const;
    void SetDisabled(int kind, int index, BYTE value);
    void SetDisabled(int path, BYTE value);
    BYTE GetAutomated(int kind, int index) const;
    void SetAutomated(int kind, int index, BYTE value);
    void SetAutomated(int path, BYTE value);
    BYTE GetPriority(int path) const;
    void SetPriority(int path, BYTE priority);
    BYTE GetPathFromEngine(int kind, int index) const;
    /// true unless the engine is then full.
    bool SetPathFromEngine(int kind, int index, BYTE engine);
    const BYTE* GetPathFromEngine() const;
    int GetEngineCount(int engine) const;
    bool GetEngineFull(int engine) const;
    void GetTimeslotsUsed(int path, int& a, int& b) const;
    /// Four totals each, one per engine 0 to 3.
    void GetTimeslotsUsed(int* a, int* b) const;

    // ---- stems ----

    int IsInStem(int path) const;
    int IsInStem(int path, int& stem, int& slot) const;
    void AddToStem(int stem, int slot, int path);
    void ClearStem(int stem);
    void ClearAllStems();
    void GetStemContents(int stem, CArray<int, int>& paths) const;

    // ---- fold-downs ----

    void GetFoldDownData(short gains[][9][9], char names[][9]) const;
    void SetFoldDownData(const short gains[][9][9], const char names[][9]);
    void SetFoldDownGain(int fold, int input, int output, short gain);
    void SetFoldDownName(int fold, const char* name);
    /// The default gains and names for the film pan law.
    void ClearFoldDowns();

    // ---- partitions, zones, layouts ----

    void SetMastersAndPartition(const int masters[3][2], const int partitions[3][2]);
    int GetPathPartition(int path) const;
    int GetPartitionForStrip(int strip) const;
    void SetPreDubZones(const int zones[3]);
    int GetPreDubZone(int zone) const;
    bool IsInPreDubZone(int strip, int width) const;
    void SetAuxLayout(int a, int b, int c, int d);
    void GetAuxLayout(int& a, int& b, int& c, int& d) const;
    int GetAuxPartition(int aux) const;
    void SetExternalBreakdown(const int counts[7]);
    void GetExternalBreakdown(int counts[7]) const;
    void SetFilmIndex(int index);
    int GetFilmIndex() const;
    int IsMixMinusGroup(int path) const;
    int IsMixMinusGroup(int kind, int index) const;
    int IsMixMinusTrack(int path) const;
    int IsMixMinusTrack(int kind, int index) const;

    // ---- process lists ----

    void GetProcList(int kind, int index, CArray<BYTE, BYTE>& list) const;
    void GetProcList(int path, CArray<BYTE, BYTE>& list) const;
    void GetDisplayProcList(int kind, int index, CArray<BYTE, BYTE>& list) const;
    /// 47 counters, one per process type 0 to 46.
    void GetProcListCount(int kind, CArray<int, int>& counts) const;
    void SetProcList(int kind, int index, const CArray<BYTE, BYTE>& displayList);
    void SetProcList(int path, const CArray<BYTE, BYTE>& displayList);
    void SetDefaultProcList(int kind, const CArray<BYTE, BYTE>& list);

    // ---- predubs ----

    void AddPathToPreDub(int predub, int slot, int path);
    void RemovePathFromPreDub(int path);
    int IsPathInPreDub(int path, int& predub, int& slot) const;
    void GetPreDubContents(int predub, CArray<int, int>& paths) const;
    int GetNumberOfPathsInPreDub(int predub) const;
    void SetPreDubName(int predub, const CString& name);
    void GetPreDubName(int predub, CString& shortName, CString& longName) const;
    /// After the last `count` paths of a kind were removed: entries behind them move down,
    /// entries naming them are taken out, predubs of one path are emptied.
    void PackPreDubs(int count, int kind);
    void GetListOfPredubs(CArray<CPredubObject, CPredubObject>& list) const;
    int IsPreDubable(int kind, int index) const;
    int VerifyPredubDynamics(int predub, int path) const;
    int VerifyPredubDynamics(int path) const { return 1; }
    void CreatePredubMasterProcesses(int predub);

    // ---- dynamics links ----

    int IsDynamicsLinked(int path) const;
    int IsDynamicsLinked(int kind, int index) const;
    int GetLinkedDynamicsIcon(int path) const;
    int GetLinkedDynamicsIcon(int kind, int index) const;
    int AddPathToDynamicsLink(int group, int kind, int index);
    int VerifyDynamicsLink(int group, int unused);
    int VerifyDynamicsLinks(int clearBad);
    int GetNextDynamicsLinkNumber() const;
    void ClearDynamicsLink(int group);
    void GetDynamicsLink(int group, CArray<int, int>& paths) const;
    void GetDynamicsLink(int kind, int index, CArray<int, int>& paths) const;
    CString GetLastDynamicsLinkError() const;

private:
    // Path of (kind, index), -1 when the index is outside the kind; kind 14 is the channel
    // index + number of faders.
    int PathOf(int kind, int index) const;
    bool ValidPath(int path) const { return path >= 0 && path < GetTotalPaths(); }
    void InitialCache();
    void SendWholeBlock(int command, const CString& name, HWND window, const int* createValue,
                        const CArray<int, int>* createList);
    void DefaultNamesForQueries();
    void ClearPath(int path, int kind);
    /// The kind gets newCount paths: `removed` paths from firstRemoved go, or new ones come at
    /// its end; every table follows its paths.
    void Renumber(int kind, int newCount, int firstRemoved, int removed);
    void RebuildLinkGroups(const int* links);
    /// map[old path] is the path's new number or -1; a path that goes is taken out of its
    /// predub and the later members move up; after a removal a predub of one path is emptied.
    void RenumberPreDubs(const std::vector<int>& map, bool removal);
    /// Predub d belongs to master d: the predubs follow a change of the masters' count.
    void RenumberPreDubsForMasters(int oldCount, int newCount, int removedIndex);
    int ProcessListHas(int path, std::initializer_list<int> types) const;

    std::unique_ptr<MixSetupCache> m_pCache;
    CString m_strMSUName;
    CString m_strDefaultMSUName;
    int m_nConsoleType = 3;
    int m_nNumMixMinusGroups = 0;
    int m_nMaxPaths = kConsolePaths;  // of the console configuration
    bool m_bAltFilmModes = false;
    int m_nLastLinkError = 0;
    HWND m_hCreatedWindow = nullptr;
    KivLabelFormats m_szBelow10;
    KivLabelFormats m_szFrom10;
};
