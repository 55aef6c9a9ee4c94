// The client object that mirrors the server's I/O routing: which port (system, rack, card,
// channel) feeds or is fed by each route slot of each console path, which racks and cards
// exist, their card types and converter channels, the path table and the film settings. The
// whole routing state arrives in one reply of 390,068 bytes and is kept; every question is
// answered from the copy.
//
// Replies are taken only when their size field holds the whole layout; values that index a
// table are limited on receipt (path count 0 to 2000, rack counts 0 to 12, engines below 4, FMDI
// modes 0 to 3) or where they are read (rack types below 16, card pairs within the rack's 28,
// card types below 5). Each reply with paths posts "Routing Information Ready" to the notify
// window (65535, every window, until an attach names one).
//
// In off-line mode (SetOnLineMode(0)) replies are ignored and SetIORoute edits the local table;
// SetIORouting then sends the whole table.
#pragma once

#include <cstdint>
#include <vector>

#include "quenby/GenericKIVObject.h"
#include "quenby/IOConfigKIVObject.h"
#include "trevanny/SharedConstants.h"
#include "winport/Collections.h"

/// One route of a path's route slot: the port and whether it is assigned.
struct IORoute {
    BYTE rack, card, io, assigned, system;
    BYTE unused[3];
};
static_assert(sizeof(IORoute) == 8);

/// The routes of one path: 7 route slots of 3 legs. Slot 0 is the path's input, 1 and 2 its
/// outputs, 3 and 5 its insert inputs, 4 and 6 its insert outputs.
struct IOPathRouting {
    IORoute route[7][3];
};
static_assert(sizeof(IOPathRouting) == 168);

/// A path of the path table.
struct IOPathRecord {
    BYTE stereo;
    BYTE reserved[7];
    int32_t type;  // 5: stereo outputs only; 6: inputs not counted in use; 10: film path
    char name[8];
};
static_assert(sizeof(IOPathRecord) == 20);

/// A card slot of a rack type: where its channel pairs start in the rack's presence row and
/// how many there are.
struct IORackTypeCard {
    int32_t base, inputPairs, outputPairs;
    int32_t spare[2];
};
static_assert(sizeof(IORackTypeCard) == 20);

enum FMDIModes { enFMDIMode0 = 0, enFMDIMode1 = 1, enFMDIMode2 = 2, enFMDIMode3 = 3 };
/// Film totals codes: 8, 7, 6, 4, 2 and no film paths.
enum FilmTotals { enFilms8 = 0, enFilms7 = 1, enFilms6 = 2, enFilms4 = 3, enFilms2 = 4, enNoFilms = 5 };

class CIORoutingKIVObject : public CGenericKIVObject {
public:
    static constexpr int kSystems = 4, kRacks = 12, kRackTypes = 16, kCards = 5, kSlots = 7, kLegs = 3;
    static constexpr int kDirections = 3, kRackPairs = 28;
    /// The size of a reply and of the SetIORouting and SetFMDIMode blocks.
    static constexpr int kStateSize = 390068;
    /// The routing table's place in them.
    static constexpr int kTableAt = 40;

    explicit CIORoutingKIVObject(int enabled = 1);
    CString GetName() override { return "IORoutingKIV"; }
    int OnLinkIn(_CommsStructure* reply) override;

    /// The registered message "Routing Information Ready".
    static UINT RoutingReadyMessage();

    // ---- commands ----
    /// Attaches (command 67), read at once; the window hears of every reply with paths.
    void IOAttach(HWND window);
    /// Reads the server's current state once.
    void IOReAttach();
    /// Sends the path count and the routing table (command 68).
    void SetIORouting();
    /// On line: sends the route (command 69). Off line: writes it into the table at the path,
    /// slot and leg and posts the notify message; a place outside the table changes nothing.
    void SetIORoute(BYTE system, BYTE rack, BYTE card, BYTE io, BYTE assigned, int slot, int path, BYTE leg);
    /// Sends a new mode (command 158) and keeps it; the current mode, or one outside 0 to 3,
    /// sends nothing.
    void SetFMDIMode(FMDIModes mode);
    void FlushRouting();
    void SetOnLineMode(int online) { m_nOnLine = online; }

    // ---- ports ----
    int GetFirstRack(StructIOSearch& s) const;
    int GetNextRack(StructIOSearch& s) const;
    int GetNextIO(StructIOSearch& s, int step) const;
    int GetNextIOForAllocation(StructIOSearch& s) const;
    /// Fills the port's display name ("1 aes 3 AB").
    void GetName(StructIOSearch& s) const;
    CString GetName(int system, int rack, int card, int io, int direction, int path, CString& out) const;
    void GetCard(StructIOSearch s, int& type, CString& name) const;
    void GetCard(StructIOSearch s, int& type) const;
    void GetSRCChannels(StructIOSearch s, int& channels) const;
    /// The port routed to a path's route slot, with its name; whether it is assigned.
    int GetInput(int path, StructIOSearch& s, BYTE leg) const;
    int GetOutput(int path, int output, StructIOSearch& s, BYTE leg) const;
    int GetInsertInput(int path, int insert, StructIOSearch& s, BYTE leg) const;
    int GetInsertOutput(int path, int insert, StructIOSearch& s, BYTE leg) const;
    void GetInputNames(CArray<StructIOSearch, StructIOSearch&>& ports, int path, int engine) const;
    void GetOutputNames(CArray<StructIOSearch, StructIOSearch&>& ports, int path, int engine) const;
    void GetMikeLineNames(CArray<StructIOSearch, StructIOSearch&>& ports, int path, int engine) const;

    // ---- in use: where = slot x 65536 + path ----
    int IsOutputInUse(StructIOSearch s, int& where, int& bPartner) const;
    int IsOutputInUse(BYTE system, BYTE rack, BYTE card, BYTE io, int& where) const;
    int IsFilmOutputInUse(StructIOSearch s, int leg, int bAllLegs, int& where, int& bFilm, int& legOut) const;
    int IsInputInUse(StructIOSearch& s, CArray<int, int>& where, CArray<int, int>& legs) const;
    int IsInputInUse(StructIOSearch& s, CArray<int, int>& where, int& bPartner, CArray<int, int>& legs) const;
    int IsInputInUse(BYTE system, BYTE rack, BYTE card, BYTE io, CArray<int, int>& where, CArray<int, int>& legs) const;

    // ---- paths ----
    CString GetPathName(int path) const;
    int GetPathType(int path) const;
    int GetEnginePath(int path) const;
    int IsPathStereo(int path) const;
    int NeedsStereoPair(int path) const;
    int GetPathCount() const { return m_nPathCount; }

    // ---- films ----
    void SetNumberOfFilms(int films);
    FilmTotals GetFilmTotals() const { return m_eFilmTotals; }
    int GetIntFilmTotal() const;
    /// The film type of a film path (0 to 4), -1 for a path outside the film columns.
    int GetFilmType(int path) const;
    int IsFilmInsertRoutable(int path, int insert) const;
    FMDIModes GetFMDIMode() const { return m_eFMDIMode; }

    int GetSampleRate() const { return m_nSampleRate; }
    int GetFsRate() const { return m_nSampleRateCode; }
    int CheckPortingIsValid() const { return 1; }

protected:
    HWND m_hNotifyWindow;

private:
    /// The card's channel pairs in a direction and where they start in the presence row;
    /// false when the rack or card does not exist.
    bool CardPairs(int system, int rack, int card, int direction, int& base, int& pairs) const;
    bool Present(int system, int rack, int direction, int pair) const;
    int RackCount(int system) const;
    bool PortStereo(const StructIOSearch& s) const;
    int GetRoutedPort(int path, int slot, int direction, StructIOSearch& s, BYTE leg) const;
    /// Steps through the channels from s (rack, card, io + step) to the next present one;
    /// across systems up to 3 when allSystems is set.
    int Step(StructIOSearch& s, int io, int step, bool allSystems) const;
    void GetNames(CArray<StructIOSearch, StructIOSearch&>& ports, int path, int engine, int direction) const;
    int LegCount(int legs) const { return m_bKLBConsole ? legs : 1; }
    int PathLimit() const { return m_nMaxPaths; }
    static uint64_t RouteKey(BYTE system, BYTE rack, BYTE card, BYTE io);
    /// Whether the route at leg, slot and path is the port of `key`, assigned.
    bool Routed(int leg, int slot, int path, uint64_t key) const;
    void Post() const;

    int32_t m_nRackCounts[kSystems] = {};
    int32_t m_nPathCount = 0;
    std::vector<IOPathRouting> m_Routing;  // kConsolePaths
    BYTE m_nPresence[kSystems][kRacks][kDirections][kRackPairs] = {};
    BYTE m_nCardTypes[kSystems][kRacks][kRackPairs] = {};
    BYTE m_nRackTypes[kSystems][kRacks] = {};
    int32_t m_nConverterChannels[kSystems][kRacks] = {};
    IORackTypeCard m_RackTypeCards[kSystems][kRackTypes][kCards] = {};
    std::vector<IOPathRecord> m_Paths;  // kConsolePaths
    BYTE m_nEngines[kConsolePaths] = {};
    UINT m_uNotifyMessage;
    int m_nOnLine = 1;
    FMDIModes m_eFMDIMode = enFMDIMode0;
    FilmTotals m_eFilmTotals = enNoFilms;
    int m_nFirstFilmPath = 0;
    int m_bKLBConsole = 0;
    int m_nSampleRate = 48000;
    int m_nSampleRateCode = 0;
    int m_nMaxPaths = 256;
};

/// The same object attached to an offline routing read from a file.
class COfflineIORoutingKIVObject : public CIORoutingKIVObject {
public:
    COfflineIORoutingKIVObject() : CIORoutingKIVObject(1) {}
    /// Attaches to the routing of a file (command 316), read at once.
    void OfflineIOAttach(CString file, HWND window);
};
