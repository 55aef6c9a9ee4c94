#include "quenby/IORoutingKIVObject.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"
#include "trevanny/ConsoleConfig.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "trevanny/SharedConstants.h"
#include "winport/Window.h"

namespace {

// The reply's layout.
constexpr size_t kRackCountsAt = 16, kPathCountAt = 32, kFMDIAt = 336040, kPresenceAt = 336044,
                 kCardTypesAt = 340076, kRackTypesAt = 341420, kConvertersAt = 341468, kSampleRateAt = 341660,
                 kRateCodeAt = 341664, kRackTypeCardsAt = 341668, kPathsAt = 348068, kEnginesAt = 388068;

constexpr int kFilmPathType = 10, kStereoOutputPathType = 5, kUncountedInputPathType = 6;
constexpr int kOutputSlots[] = {1, 2, 4, 6};
constexpr int kInputSlots[] = {0, 3, 5};

// Film type of the film paths by film totals code (8, 7, 6, 4 and 2 films).
constexpr int kFilmTypes[5][8] = {
    {0, 1, 2, 3, 3, 3, 3, 3}, {0, 1, 2, 3, 3, 3, 3, 4}, {0, 1, 2, 3, 3, 3, 4, 4}, {0, 1, 2, 3, 4, 4, 4, 4}, {0, 2, 4, 4, 4, 4, 4, 4},
};
constexpr int kFilmsByCode[] = {8, 7, 6, 4, 2};

// Whether an insert can be routed on a film path, by FMDI mode and film type: the insert 4
// column, then the column of inserts 3 and 5.
constexpr int kFilmInsertRoutable[4][4][2] = {
    {{0, 0}, {0, 0}, {0, 0}, {0, 0}},
    {{1, 1}, {1, 1}, {1, 1}, {1, 1}},
    {{0, 0}, {0, 0}, {0, 0}, {0, 0}},
    {{0, 0}, {0, 1}, {0, 0}, {0, 0}},
};

const char* const kCardNames[] = {"Unknown", "Card 1", "Card 2", "Card 3", "Card 4"};
// Card abbreviations by card slot and direction (input, output, microphone line).
const char* const kCardAbbreviations[5][3] = {
    {"lin", "LIN", "lin"}, {"aes", "AES", "aes"}, {"aft", "AFT", "aft"}, {"sdf", "SDF", "sdf"}, {"mad", "MAD", "mad"},
};

constexpr int where(int slot, int path) { return slot * 65536 + path; }

}  // namespace

CIORoutingKIVObject::CIORoutingKIVObject(int enabled)
    : CGenericKIVObject(enabled), m_hNotifyWindow(HWND_BROADCAST), m_Routing(kConsolePaths), m_Paths(kConsolePaths),
      m_uNotifyMessage(RoutingReadyMessage())
{
    m_bKLBConsole = CConsoleRegistryNames::GetConsoleType() == 3;
    m_nMaxPaths = std::min(::CConsoleConfig().GetMaxPathCount(), static_cast<int>(kConsolePaths));
}

UINT CIORoutingKIVObject::RoutingReadyMessage() { return RegisterWindowMessageA("Routing Information Ready"); }

void CIORoutingKIVObject::Post() const { PostMessageA(m_hNotifyWindow, m_uNotifyMessage, 0, 0); }

int CIORoutingKIVObject::OnLinkIn(_CommsStructure* reply)
{
    KivReplyReader in(reply);
    // Off line the local table is being edited; a reply that does not hold the whole state
    // changes nothing.
    if (!m_nOnLine || !in.Has(0, kStateSize)) return 1;
    for (int s = 0; s < kSystems; ++s) m_nRackCounts[s] = std::clamp(in.Get32(kRackCountsAt + 4 * static_cast<size_t>(s)), 0, static_cast<int>(kRacks));
    m_nPathCount = std::clamp(in.Get32(kPathCountAt), 0, static_cast<int>(kConsolePaths));
    in.GetBytes(kTableAt, m_Routing.data(), sizeof(IOPathRouting) * kConsolePaths);
    const int mode = in.Get32(kFMDIAt);
    m_eFMDIMode = mode >= 0 && mode <= 3 ? static_cast<FMDIModes>(mode) : enFMDIMode0;
    in.GetBytes(kPresenceAt, m_nPresence, sizeof m_nPresence);
    in.GetBytes(kCardTypesAt, m_nCardTypes, sizeof m_nCardTypes);
    in.GetBytes(kRackTypesAt, m_nRackTypes, sizeof m_nRackTypes);
    in.GetBytes(kConvertersAt, m_nConverterChannels, sizeof m_nConverterChannels);
    in.GetBytes(kRackTypeCardsAt, m_RackTypeCards, sizeof m_RackTypeCards);
    in.GetBytes(kPathsAt, m_Paths.data(), sizeof(IOPathRecord) * kConsolePaths);
    in.GetBytes(kEnginesAt, m_nEngines, sizeof m_nEngines);
    for (BYTE& engine : m_nEngines)
        if (engine >= kSystems) engine = 0;

    int films = 0;
    m_nFirstFilmPath = 0;
    for (int path = 0; path < PathLimit(); ++path) {
        if (m_Paths[path].type != kFilmPathType) continue;
        if (films++ == 0) m_nFirstFilmPath = path;
    }
    SetNumberOfFilms(films);
    m_nSampleRate = in.Get32(kSampleRateAt);
    m_nSampleRateCode = in.Get32(kRateCodeAt);
    if (m_nPathCount != 0) Post();
    return 1;
}

// ---- commands ----

void CIORoutingKIVObject::IOAttach(HWND window)
{
    m_hNotifyWindow = window;
    SendAttachBlock(KivBlock(AttachToIORouting, 16).Take(), /*readNow=*/1);
}

void COfflineIORoutingKIVObject::OfflineIOAttach(CString file, HWND window)
{
    constexpr int kSize = 30336, kNameAt = 573;
    m_hNotifyWindow = window;
    SendAttachBlock(KivNameBlock(AttachToOfflineIORouting, kSize, kNameAt, kSize - kNameAt, file), /*readNow=*/1);
}

void CIORoutingKIVObject::IOReAttach()
{
    HGLOBAL block = static_cast<HGLOBAL>(ReadData(-1));
    if (!block) return;
    if (auto* reply = static_cast<_CommsStructure*>(GlobalLock(block))) {
        // The size field is trusted only as far as the block goes.
        if (KIVReplySize(reply, GlobalSize(block)) != 0) OnLinkIn(reply);
        GlobalUnlock(block);
    }
    GlobalFree(block);
}

void CIORoutingKIVObject::SetIORouting()
{
    KivBlock block(SetIORoutingCommand, kStateSize, m_hNotifyWindow);
    block.Put32(kPathCountAt, m_nPathCount);
    block.PutBytes(kTableAt, m_Routing.data(), sizeof(IOPathRouting) * kConsolePaths);
    SendCommandBlock(block.Take());
}

void CIORoutingKIVObject::SetIORoute(BYTE system, BYTE rack, BYTE card, BYTE io, BYTE assigned, int slot, int path, BYTE leg)
{
    if (m_nOnLine) {
        KivBlock block(SetIORouteCommand, 32, m_hNotifyWindow);
        block.Put32(16, path);
        block.Put32(20, slot);
        const BYTE route[6] = {rack, card, io, assigned, leg, system};
        block.PutBytes(24, route, sizeof route);
        SendCommandBlock(block.Take());
        return;
    }
    if (path < 0 || path >= kConsolePaths || slot < 0 || slot >= kSlots || leg >= kLegs) return;
    IORoute& r = m_Routing[path].route[slot][leg];
    r.rack = rack, r.card = card, r.io = io, r.assigned = assigned, r.system = system;
    Post();
}

void CIORoutingKIVObject::SetFMDIMode(FMDIModes mode)
{
    if (mode == m_eFMDIMode || mode < enFMDIMode0 || mode > enFMDIMode3) return;
    KivBlock block(SetFMDIModeCommand, kStateSize, m_hNotifyWindow);
    block.Put32(kFMDIAt, mode);
    SendCommandBlock(block.Take());
    m_eFMDIMode = mode;
}

void CIORoutingKIVObject::FlushRouting() { SendCommandBlock(KivBlock(FlushIORoutingCommand, 16).Take()); }

// ---- racks, cards and ports ----

int CIORoutingKIVObject::RackCount(int system) const { return system >= 0 && system < kSystems ? m_nRackCounts[system] : 0; }

bool CIORoutingKIVObject::CardPairs(int system, int rack, int card, int direction, int& base, int& pairs) const
{
    base = pairs = 0;
    if (system < 0 || system >= kSystems || rack < 0 || rack >= kRacks || card < 0 || card >= kCards || direction < 0 || direction >= kDirections)
        return false;
    const int type = m_nRackTypes[system][rack];
    if (type >= kRackTypes) return false;
    const IORackTypeCard& c = m_RackTypeCards[system][type][card];
    if (c.base < 0 || c.base >= kRackPairs) return false;
    base = c.base;
    pairs = std::clamp(direction == 1 ? c.outputPairs : c.inputPairs, 0, kRackPairs - base);
    return pairs > 0;
}

bool CIORoutingKIVObject::Present(int system, int rack, int direction, int pair) const
{
    return pair >= 0 && pair < kRackPairs && m_nPresence[system][rack][direction][pair] != 0;
}

int CIORoutingKIVObject::GetFirstRack(StructIOSearch& s) const
{
    s.rack = -1;
    return GetNextRack(s);
}

int CIORoutingKIVObject::GetNextRack(StructIOSearch& s) const
{
    for (int rack = std::max(s.rack + 1, 0); rack < RackCount(s.system); ++rack) {
        for (int card = 0; card < kCards; ++card) {
            int base = 0, pairs = 0;
            if (!CardPairs(s.system, rack, card, s.direction, base, pairs)) continue;
            for (int i = 0; i < pairs; ++i) {
                if (!Present(s.system, rack, s.direction, base + i)) continue;
                s.rack = rack, s.card = card, s.io = 2 * i;
                GetName(s);
                return 1;
            }
        }
    }
    return 0;
}

int CIORoutingKIVObject::Step(StructIOSearch& s, int io, int step, bool allSystems) const
{
    step = std::max(step, 1);
    int rack = std::max(s.rack, 0), card = std::max(s.card, 0);
    io = std::max(io, 0);
    for (int system = s.system; system >= 0 && system < kSystems; ++system) {
        for (; rack < RackCount(system); ++rack, card = 0, io = 0) {
            for (; card < kCards; ++card, io = 0) {
                int base = 0, pairs = 0;
                if (!CardPairs(system, rack, card, s.direction, base, pairs)) continue;
                for (; io < 2 * pairs; io += step) {
                    if (!Present(system, rack, s.direction, base + io / 2)) continue;
                    s.system = system, s.rack = rack, s.card = card, s.io = io;
                    GetName(s);
                    return 1;
                }
            }
        }
        if (!allSystems) break;
        rack = card = io = 0;
    }
    return 0;
}

int CIORoutingKIVObject::GetNextIO(StructIOSearch& s, int step) const { return Step(s, s.io + std::max(step, 1), step, false); }

int CIORoutingKIVObject::GetNextIOForAllocation(StructIOSearch& s) const
{
    const bool stereo = IsPathStereo(s.path);
    const int step = stereo ? 2 : 1;
    int io = s.io;
    if ((io & 1) && stereo) --io;
    else if (!(io & 1) && !stereo && IsPathStereo(s.path + 1)) ++io;
    return Step(s, io + step, step, true);
}

bool CIORoutingKIVObject::PortStereo(const StructIOSearch& s) const
{
    if (s.path < 0) return s.path == -2;
    bool stereo = IsPathStereo(s.path);
    const int type = GetPathType(s.path);
    if (type == kStereoOutputPathType) {
        if (s.direction == 0) stereo = false;
        if (s.direction == 1) stereo = true;
    }
    if (type == kFilmPathType && !m_bKLBConsole && GetFilmType(s.path) == 1 && m_eFMDIMode == enFMDIMode3 && s.direction == 1) stereo = false;
    return stereo;
}

void CIORoutingKIVObject::GetName(StructIOSearch& s) const
{
    const bool stereo = PortStereo(s);
    const bool odd = s.io & 1;
    char channel[32];
    if (s.card == 0 || s.card == 1) {
        if (stereo) std::snprintf(channel, sizeof channel, "%d %s", s.io / 2 + 1, odd ? "BA" : "AB");
        else std::snprintf(channel, sizeof channel, "%d %c", s.io / 2 + 1, odd ? 'B' : 'A');
    } else if (stereo) {
        std::snprintf(channel, sizeof channel, "%d %d", s.io + 1, odd ? s.io : s.io + 2);
    } else {
        std::snprintf(channel, sizeof channel, "%d", s.io + 1);
    }
    const bool known = s.card >= 0 && s.card < kCards && s.direction >= 0 && s.direction < kDirections;
    char text[80];
    std::snprintf(text, sizeof text, "%d %s %s", s.system * kRacks + s.rack + 1, known ? kCardAbbreviations[s.card][s.direction] : "", channel);
    std::memset(s.name, 0, sizeof s.name);
    std::memcpy(s.name, text, strnlen(text, sizeof s.name - 1));
}

CString CIORoutingKIVObject::GetName(int system, int rack, int card, int io, int direction, int path, CString& out) const
{
    StructIOSearch s{};
    s.system = system, s.rack = rack, s.card = card, s.io = io, s.direction = direction, s.path = path;
    GetName(s);
    out = s.name;
    return out;
}

void CIORoutingKIVObject::GetCard(StructIOSearch s, int& type) const
{
    // The type of the port's channel pair, found from its card's first pair in the rack.
    type = 0;
    if (s.system < 0 || s.system >= kSystems || s.rack < 0 || s.rack >= kRacks || s.card < 0 || s.card >= kCards || s.io < 0) return;
    const int rackType = m_nRackTypes[s.system][s.rack];
    if (rackType >= kRackTypes) return;
    const int base = m_RackTypeCards[s.system][rackType][s.card].base;
    if (base < 0 || base >= kRackPairs || s.io / 2 >= kRackPairs - base) return;
    type = m_nCardTypes[s.system][s.rack][base + s.io / 2];
    if (type >= 5) type = 0;
}

void CIORoutingKIVObject::GetCard(StructIOSearch s, int& type, CString& name) const
{
    GetCard(s, type);
    name = kCardNames[type];
}

void CIORoutingKIVObject::GetSRCChannels(StructIOSearch s, int& channels) const
{
    channels = s.system >= 0 && s.system < kSystems && s.rack >= 0 && s.rack < kRacks ? m_nConverterChannels[s.system][s.rack] : 0;
}

int CIORoutingKIVObject::GetRoutedPort(int path, int slot, int direction, StructIOSearch& s, BYTE leg) const
{
    if (path < 0 || path >= kConsolePaths || slot < 0 || slot >= kSlots || leg >= kLegs) return 0;
    const IORoute& r = m_Routing[path].route[slot][leg];
    s.path = path, s.direction = direction;
    s.system = r.system, s.rack = r.rack, s.card = r.card, s.io = r.io;
    GetName(s);
    return r.assigned == 1;
}

int CIORoutingKIVObject::GetInput(int path, StructIOSearch& s, BYTE leg) const { return GetRoutedPort(path, 0, 0, s, leg); }
int CIORoutingKIVObject::GetOutput(int path, int output, StructIOSearch& s, BYTE leg) const
{
    return output >= 0 && output < 2 ? GetRoutedPort(path, output + 1, 1, s, leg) : 0;
}
int CIORoutingKIVObject::GetInsertInput(int path, int insert, StructIOSearch& s, BYTE leg) const
{
    return insert >= 0 && insert < 2 ? GetRoutedPort(path, 2 * insert + 3, 0, s, leg) : 0;
}
int CIORoutingKIVObject::GetInsertOutput(int path, int insert, StructIOSearch& s, BYTE leg) const
{
    return insert >= 0 && insert < 2 ? GetRoutedPort(path, 2 * insert + 4, 1, s, leg) : 0;
}

void CIORoutingKIVObject::GetNames(CArray<StructIOSearch, StructIOSearch&>& ports, int path, int engine, int direction) const
{
    ports.RemoveAll();
    StructIOSearch s{};
    s.path = path, s.direction = direction;
    s.system = engine >= 0 ? engine : GetEnginePath(path);
    if (!GetFirstRack(s)) return;
    do {
        ports.Add(s);
    } while (GetNextIO(s, 1));
}

void CIORoutingKIVObject::GetInputNames(CArray<StructIOSearch, StructIOSearch&>& ports, int path, int engine) const { GetNames(ports, path, engine, 0); }
void CIORoutingKIVObject::GetOutputNames(CArray<StructIOSearch, StructIOSearch&>& ports, int path, int engine) const { GetNames(ports, path, engine, 1); }
void CIORoutingKIVObject::GetMikeLineNames(CArray<StructIOSearch, StructIOSearch&>& ports, int path, int engine) const { GetNames(ports, path, engine, 2); }

// ---- in use ----

uint64_t CIORoutingKIVObject::RouteKey(BYTE system, BYTE rack, BYTE card, BYTE io)
{
    // The first five bytes of an assigned route of the port, read as one little-endian word.
    return uint64_t{rack} | uint64_t{card} << 8 | uint64_t{io} << 16 | uint64_t{1} << 24 | uint64_t{system} << 32;
}

bool CIORoutingKIVObject::Routed(int leg, int slot, int path, uint64_t key) const
{
    uint64_t route;
    std::memcpy(&route, &m_Routing[path].route[slot][leg], sizeof route);
    return (route & 0xFFFFFFFFFFull) == key;
}

int CIORoutingKIVObject::IsOutputInUse(BYTE system, BYTE rack, BYTE card, BYTE io, int& whereOut) const
{
    const uint64_t key = RouteKey(system, rack, card, io);
    for (int leg = 0; leg < LegCount(kLegs); ++leg) {
        for (int path = 0; path < PathLimit(); ++path) {
            for (int slot : kOutputSlots) {
                if (!Routed(leg, slot, path, key)) continue;
                whereOut = where(slot, path);
                return 1;
            }
        }
    }
    whereOut = -1;
    return 0;
}

int CIORoutingKIVObject::IsOutputInUse(StructIOSearch s, int& whereOut, int& bPartner) const
{
    bPartner = 0;
    if (IsOutputInUse(static_cast<BYTE>(s.system), static_cast<BYTE>(s.rack), static_cast<BYTE>(s.card), static_cast<BYTE>(s.io), whereOut)) return 1;
    const int other = (s.io & 1) ? s.io - 1 : s.io + 1;
    if (!IsOutputInUse(static_cast<BYTE>(s.system), static_cast<BYTE>(s.rack), static_cast<BYTE>(s.card), static_cast<BYTE>(other), whereOut)) return 0;
    bPartner = 1;
    return 1;
}

int CIORoutingKIVObject::IsInputInUse(BYTE system, BYTE rack, BYTE card, BYTE io, CArray<int, int>& whereOut, CArray<int, int>& legs) const
{
    whereOut.RemoveAll();
    legs.RemoveAll();
    const uint64_t key = RouteKey(system, rack, card, io);
    for (int leg = 0; leg < LegCount(2); ++leg) {
        for (int path = 0; path < PathLimit(); ++path) {
            if (m_Paths[path].type == kUncountedInputPathType) continue;
            for (int slot : kInputSlots) {
                if (!Routed(leg, slot, path, key)) continue;
                whereOut.Add(where(slot, path));
                legs.Add(leg);
            }
        }
    }
    return whereOut.GetSize() > 0;
}

int CIORoutingKIVObject::IsInputInUse(StructIOSearch& s, CArray<int, int>& whereOut, CArray<int, int>& legs) const
{
    return IsInputInUse(static_cast<BYTE>(s.system), static_cast<BYTE>(s.rack), static_cast<BYTE>(s.card), static_cast<BYTE>(s.io), whereOut, legs);
}

int CIORoutingKIVObject::IsInputInUse(StructIOSearch& s, CArray<int, int>& whereOut, int& bPartner, CArray<int, int>& legs) const
{
    bPartner = 0;
    if (IsInputInUse(s, whereOut, legs)) return 1;
    const int other = (s.io & 1) ? s.io - 1 : s.io + 1;
    if (!IsInputInUse(static_cast<BYTE>(s.system), static_cast<BYTE>(s.rack), static_cast<BYTE>(s.card), static_cast<BYTE>(other), whereOut, legs))
        return 0;
    bPartner = 1;
    return 1;
}

int CIORoutingKIVObject::IsFilmOutputInUse(StructIOSearch s, int leg, int bAllLegs, int& whereOut, int& bFilm, int& legOut) const
{
    if (m_bKLBConsole) {
        whereOut = -1;
        return 1;
    }
    bFilm = legOut = 0;
    const uint64_t key = RouteKey(static_cast<BYTE>(s.system), static_cast<BYTE>(s.rack), static_cast<BYTE>(s.card), static_cast<BYTE>(s.io));
    for (int path = 0; path < PathLimit(); ++path) {
        for (int slot : kOutputSlots) {
            if (slot == 1 && m_Paths[path].type == kFilmPathType) continue;
            if (!Routed(0, slot, path, key)) continue;
            whereOut = where(slot, path);
            return 1;
        }
    }
    const int last = std::min(m_nFirstFilmPath + GetIntFilmTotal(), static_cast<int>(kConsolePaths));
    for (int path = m_nFirstFilmPath; path < last; ++path) {
        for (int l = 0; l < kLegs; ++l) {
            if (!bAllLegs && l != leg) continue;
            if (!Routed(l, 1, path, key)) continue;
            whereOut = where(1, path);
            bFilm = 1;
            legOut = l;
            return 1;
        }
    }
    whereOut = -1;
    return 0;
}

// ---- paths and films ----

CString CIORoutingKIVObject::GetPathName(int path) const
{
    if (path < 0 || path >= m_nPathCount) return CString();
    const char* name = m_Paths[path].name;
    return CString(name, static_cast<int>(strnlen(name, sizeof m_Paths[path].name)));
}

int CIORoutingKIVObject::GetPathType(int path) const { return path >= 0 && path < m_nPathCount ? m_Paths[path].type : -1; }

int CIORoutingKIVObject::GetEnginePath(int path) const { return path >= 0 && path < kConsolePaths ? m_nEngines[path] : 0; }

int CIORoutingKIVObject::IsPathStereo(int path) const
{
    if (path < 0 || path >= kConsolePaths) return 0;
    if (m_Paths[path].type == kFilmPathType && !m_bKLBConsole && GetFilmType(path) == 1 && m_eFMDIMode == enFMDIMode3) return 1;
    return m_Paths[path].stereo != 0;
}

int CIORoutingKIVObject::NeedsStereoPair(int path) const
{
    if (path < 0 || path >= kConsolePaths || m_Paths[path].type != kFilmPathType || m_bKLBConsole) return 0;
    const int type = GetFilmType(path);
    return type == 0 || type == 2;
}

void CIORoutingKIVObject::SetNumberOfFilms(int films)
{
    switch (films) {
    case 0: m_eFilmTotals = enNoFilms; break;
    case 2: m_eFilmTotals = enFilms2; break;
    case 4: m_eFilmTotals = enFilms4; break;
    case 6: m_eFilmTotals = enFilms6; break;
    case 7: m_eFilmTotals = enFilms7; break;
    case 8: m_eFilmTotals = enFilms8; break;
    default: break;
    }
}

int CIORoutingKIVObject::GetIntFilmTotal() const { return m_eFilmTotals >= enFilms8 && m_eFilmTotals <= enFilms2 ? kFilmsByCode[m_eFilmTotals] : 0; }

int CIORoutingKIVObject::GetFilmType(int path) const
{
    const int column = path - m_nFirstFilmPath;
    if (m_eFilmTotals < enFilms8 || m_eFilmTotals > enFilms2 || column < 0 || column >= 8) return -1;
    return kFilmTypes[m_eFilmTotals][column];
}

int CIORoutingKIVObject::IsFilmInsertRoutable(int path, int insert) const
{
    if (!m_nOnLine) return 0;
    const int type = GetFilmType(path);
    if (type < 0 || type > 3) return 0;
    if (insert == 4) return kFilmInsertRoutable[m_eFMDIMode][type][0];
    if (insert == 5 && m_eFMDIMode == enFMDIMode3) return 0;
    if (insert == 3 || insert == 5) return kFilmInsertRoutable[m_eFMDIMode][type][1];
    return 0;
}
