#include "quenby/MCSKivObject.h"

#include <algorithm>
#include <cstring>

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"
#include "winport/RegistryObject.h"

namespace {

// Sub-commands of the machine-control block.
enum : int {
    kFastForward = 2, kRewind = 3, kPlay = 5, kStop = 6, kRecord = 16, kLocate = 20, kCycle = 21, kRollback = 22,
    kOpenLocate = 27, kOpenCycle = 28, kCurrentMachine = 36, kGroupMember = 39, kClearGroup = 40, kCurrentGroup = 41,
    kDeviceOffset = 42, kTapeCode = 43, kMachineParams = 44, kTrackReady = 45, kRecordMode = 46, kAlias = 47, kMaster = 50,
    kReloadGroups = 51, kSynchroRef = 53, kFeetAndFrames = 54, kLocalZero = 55, kDebugData = 56, kDebugEnable = 57,
    kChaseMode = 58,
};

// Fields of the block.
constexpr size_t kOpenFlag = 16, kSubCommand = 20, kPosition = 24, kCycleFirst = 28, kMembership = 36, kMachine = 44,
                 kGroup = 45, kSynchro = 140, kDebug = 461, kAlias737 = 737, kTimecode = 768, kTrackModes = 778,
                 kRecordModeByte = 804, kGeneral = 805, kServo = 837, kChase = 860;

constexpr int kServoParams = 16, kGeneralParams = 32;

const char* const kProtocolNames[] = {
    "Undefined",          " Sony 9 Pin Master",    "Sony 9 Pin Slave",      "AudioKinetics ESbus M",
    "AudioKinetics ESbus S", "Timeline ESbus Master", "Timeline ESbus Slave", "Pioneer 232 Master",
    "Pioneer 232 Slave",  "Vok Dwen Master",       "Vok Dwen Slave",        "Ampex Master",
    "Ampex Slave",        "Vok Dwen Synchro",      "Vok Dwen Diag",         "Adams Smith",
};
const char* const kReferenceNames[] = {"LTC", "VITC", "Video", "TTL", "BIP", "TL 1", "TL 2", "ESBus", "Internal"};

// Two decimal digits in one byte: tens in the high nibble, units in the low.
BYTE PackedBcd(int value)
{
    const int v = value < 0 ? 0 : value % 100;
    return static_cast<BYTE>((v / 10) << 4 | (v % 10));
}

// The text of a fixed field: up to its first zero or its end.
CString FieldText(const char* field, size_t width) { return CString(field, static_cast<int>(strnlen(field, width))); }

// The further tracks of a machine (bits 0-3 of byte 61) and its numbered tracks before them.
int FurtherTracks(const MCSMachineInfoStruct& m) { return __builtin_popcount(m.byOtherTracks & 0x0F); }
int NumberedTracks(const MCSMachineInfoStruct& m) { return std::max(0, m.byNumTracks - FurtherTracks(m)); }

constexpr BYTE kTimecodeBit = 0x10, kVideoBit = 0x20, kNumberedPresent = 0x80;

void SetBit(BYTE& byte, int bit, bool on)
{
    if (on) byte = static_cast<BYTE>(byte | 1 << bit);
    else byte = static_cast<BYTE>(byte & ~(1 << bit));
}

}  // namespace

CMCSKivObject::CMCSKivObject(int enabled) : CGenericKIVObject(enabled) { std::memset(m_abyGroups, kNoMachine, sizeof m_abyGroups); }

void CMCSKivObject::MCSAttach() { SendAttachBlock(KivBlock(AttachToMCS, kKIVBareCommandSize).Take(), /*readNow=*/1); }

void CMCSKivObject::Send(int sub, int size, const std::function<void(KivBlock&)>& fill, bool reattach)
{
    KivBlock block(sub == kDebugEnable ? PelkMCSDebugCommand : MCSCommand, size);
    block.Put32(kSubCommand, sub);
    if (fill) fill(block);
    if (reattach) SendAttachBlock(block.Take(), /*readNow=*/1);
    else SendCommandBlock(block.Take());
}

// ---- transport ----

void CMCSKivObject::FForwardMCS() { Send(kFastForward, kBlockSize); }
void CMCSKivObject::RewindMCS() { Send(kRewind, kBlockSize); }
void CMCSKivObject::PlayMCS() { Send(kPlay, kBlockSize); }
void CMCSKivObject::StopMCS() { Send(kStop, kBlockSize); }
void CMCSKivObject::RecordMCS() { Send(kRecord, kBlockSize); }
void CMCSKivObject::LocateMCS(int position) { Send(kLocate, kBlockSize, [&](KivBlock& b) { b.Put32(kPosition, position); }); }

void CMCSKivObject::CycleMCS(int a, int b)
{
    Send(kCycle, kBlockSize, [&](KivBlock& block) {
        block.Put32(kCycleFirst, a);
        block.Put32(kPosition, b);
    });
}

void CMCSKivObject::RollbackMCS() { Send(kRollback, kBlockSize); }
void CMCSKivObject::OpenLocate() { Send(kOpenLocate, kBlockSize, [](KivBlock& b) { b.Put32(kOpenFlag, 1); }); }
void CMCSKivObject::ExitCycleOrLocate() { Send(kOpenLocate, kBlockSize, [](KivBlock& b) { b.Put32(kOpenFlag, 0); }); }
void CMCSKivObject::OpenCycle() { Send(kOpenCycle, kBlockSize, [](KivBlock& b) { b.Put32(kOpenFlag, 1); }); }

// ---- machines and groups ----

void CMCSKivObject::SetCurrentMachine(BYTE machine) { Send(kCurrentMachine, kBlockSize, [&](KivBlock& b) { b.Put8(kMachine, machine); }); }

void CMCSKivObject::ChangeGroupMember(BYTE group, BYTE machine, int add)
{
    Send(kGroupMember, kBlockSize, [&](KivBlock& b) {
        b.Put8(kGroup, group);
        b.Put8(kMachine, machine);
        b.Put32(kMembership, add);
    });
}

void CMCSKivObject::ClearGroup(BYTE group) { Send(kClearGroup, kBlockSize, [&](KivBlock& b) { b.Put8(kGroup, group); }); }
void CMCSKivObject::SetCurrentGroup(BYTE group) { Send(kCurrentGroup, kBlockSize, [&](KivBlock& b) { b.Put8(kGroup, group); }); }

void CMCSKivObject::SetMaster(BYTE group, BYTE machine)
{
    Send(kMaster, kBlockSize, [&](KivBlock& b) {
        b.Put8(kGroup, group);
        b.Put8(kMachine, machine);
    });
}

void CMCSKivObject::ReloadGroups() { Send(kReloadGroups, kBlockSize); }
void CMCSKivObject::SetSynchroRef(BYTE reference) { Send(kSynchroRef, kBlockSize, [&](KivBlock& b) { b.Put8(kSynchro, reference); }); }

void CMCSKivObject::SetDeviceOffset(BYTE machine, int h, int m, int s, int f, bool negative)
{
    Send(kDeviceOffset, kLongBlockSize, [&](KivBlock& b) {
        b.Put8(kMachine, machine);
        const BYTE code[4] = {static_cast<BYTE>(PackedBcd(h) | (negative ? 0x80 : 0)), PackedBcd(m), PackedBcd(s), PackedBcd(f)};
        b.PutBytes(kTimecode, code, sizeof code);
    });
}

void CMCSKivObject::SetSelectedTapeCode(BYTE machine, int h, int m, int s, int f)
{
    Send(kTapeCode, kLongBlockSize, [&](KivBlock& b) {
        b.Put8(kMachine, machine);
        const BYTE code[4] = {PackedBcd(h), PackedBcd(m), PackedBcd(s), PackedBcd(f)};
        b.PutBytes(kTimecode, code, sizeof code);
    });
}

void CMCSKivObject::SetMachineParams(BYTE machineId)
{
    const MCSMachineInfoStruct* m = FindMachine(machineId);
    if (!m) return;
    Send(kMachineParams, kLongBlockSize, [&](KivBlock& b) {
        b.Put8(kMachine, machineId);
        b.PutBytes(kGeneral, m->abyGeneralParams, sizeof m->abyGeneralParams);
        b.PutBytes(kServo, m->abyServoParams, sizeof m->abyServoParams);
    });
}

void CMCSKivObject::SetTrackReadyModes(BYTE machineId)
{
    const MCSMachineInfoStruct* m = FindMachine(machineId);
    if (!m) return;
    Send(kTrackReady, kLongBlockSize, [&](KivBlock& b) {
        b.Put8(kMachine, machineId);
        b.PutBytes(kTrackModes, m->abyTrackReady, sizeof m->abyTrackReady);
    });
}

void CMCSKivObject::SetRecordMode(BYTE machineId, BYTE mode)
{
    MCSMachineInfoStruct* m = FindMachine(machineId);
    if (!m) return;
    m->byRecordMode = mode;
    Send(kRecordMode, kLongBlockSize, [&](KivBlock& b) {
        b.Put8(kMachine, machineId);
        b.Put8(kRecordModeByte, mode);
    });
}

void CMCSKivObject::SetMachineAlias(BYTE machineId, const CString& alias)
{
    MCSMachineInfoStruct* m = FindMachine(machineId);
    if (!m) return;
    // The alias field ends where the protocol, id and port begin: 20 characters and a zero.
    const size_t length = strnlen(alias.c_str(), sizeof m->szAlias - 1);
    std::memset(m->szAlias, 0, sizeof m->szAlias);
    std::memcpy(m->szAlias, alias.c_str(), length);
    Send(kAlias, kLongBlockSize, [&](KivBlock& b) {
        b.Put8(kMachine, machineId);
        b.PlainName(kAlias737, sizeof m->szAlias, m->szAlias);
    }, /*reattach=*/true);
}

void CMCSKivObject::SetChaseMode(BYTE machine, MCS_TC_Options mode)
{
    Send(kChaseMode, kLongBlockSize, [&](KivBlock& b) {
        b.Put8(kMachine, machine);
        b.Put8(kChase, mode);
    });
}

void CMCSKivObject::SetMCSFeetAndFrames(BYTE b1, BYTE b2, BYTE b3, BYTE b4, BYTE b5, BYTE b6)
{
    Send(kFeetAndFrames, kBlockSize, [&](KivBlock& b) {
        const BYTE first[2] = {b1, b2}, rest[4] = {b3, b4, b5, b6};
        b.PutBytes(199, first, sizeof first);
        b.PutBytes(195, rest, sizeof rest);
    });
}

void CMCSKivObject::SetMCSLocalZero(BYTE b1, BYTE b2, BYTE b3, BYTE b4, BYTE b5)
{
    Send(kLocalZero, kBlockSize, [&](KivBlock& b) {
        const BYTE zero[5] = {b1, b2, b3, b4, b5};
        b.PutBytes(201, zero, sizeof zero);
    });
}

void CMCSKivObject::PelkMCSDebug_SetInternalData(BYTE* data)
{
    if (!data) return;
    // data[0] + 3 bytes, cut to the room from 461 to the block's end.
    const size_t count = std::min<size_t>(static_cast<size_t>(data[0]) + 3, kBlockSize - kDebug);
    Send(kDebugData, kBlockSize, [&](KivBlock& b) { b.PutBytes(kDebug, data, count); });
}

void CMCSKivObject::PelkMCSDebug_Enable() { Send(kDebugEnable, kBlockSize); }

// ---- lookups ----

BYTE CMCSKivObject::GetMachineIndexFromID(BYTE id) const
{
    const INT_PTR count = std::min<INT_PTR>(m_aMachines.GetSize(), kNoMachine);
    for (INT_PTR i = 0; i < count; ++i)
        if (m_aMachines[i].byID == id) return static_cast<BYTE>(i);
    return kNoMachine;
}

const MCSMachineInfoStruct* CMCSKivObject::FindMachine(BYTE id) const
{
    for (INT_PTR i = 0; i < m_aMachines.GetSize(); ++i)
        if (m_aMachines[i].byID == id) return &m_aMachines.GetData()[i];
    return nullptr;
}

MCSMachineInfoStruct* CMCSKivObject::FindMachine(BYTE id)
{
    return const_cast<MCSMachineInfoStruct*>(static_cast<const CMCSKivObject*>(this)->FindMachine(id));
}

BYTE CMCSKivObject::GetMachineIDFromIndex(BYTE index) const { return index < m_aMachines.GetSize() ? m_aMachines[index].byID : kNoMachine; }

void CMCSKivObject::GetMachineInfo(BYTE id, MCSMachineInfoStruct& info) const
{
    const MCSMachineInfoStruct* m = FindMachine(id);
    if (m) info = *m;
    else std::memset(&info, 0, sizeof info);
}

void CMCSKivObject::GetMachineName(BYTE id, CString& name) const
{
    const MCSMachineInfoStruct* m = FindMachine(id);
    name = m ? FieldText(m->szName, sizeof m->szName) : CString();
}

void CMCSKivObject::GetMachineAlias(BYTE id, CString& alias) const
{
    const MCSMachineInfoStruct* m = FindMachine(id);
    alias = m ? FieldText(m->szAlias, sizeof m->szAlias) : CString();
}

void CMCSKivObject::GetMachineProtocol(BYTE id, CString& protocol) const
{
    const MCSMachineInfoStruct* m = FindMachine(id);
    protocol = m && m->byProtocol < std::size(kProtocolNames) ? kProtocolNames[m->byProtocol] : "";
}

template <class T>
T CMCSKivObject::MachineField(BYTE id, T MCSMachineInfoStruct::*field, T unknown) const
{
    const MCSMachineInfoStruct* m = FindMachine(id);
    return m ? m->*field : unknown;
}

signed char CMCSKivObject::GetMachinePort(BYTE id) const { return MachineField(id, &MCSMachineInfoStruct::cPort, static_cast<signed char>(-1)); }
signed char CMCSKivObject::GetMachineState(BYTE id) const { return MachineField(id, &MCSMachineInfoStruct::cState, static_cast<signed char>(-1)); }
signed char CMCSKivObject::GetMachineProcess(BYTE id) const
{
    return MachineField(id, &MCSMachineInfoStruct::cProcess, static_cast<signed char>(-1));
}
BYTE CMCSKivObject::GetRecordMode(BYTE id) const { return MachineField(id, &MCSMachineInfoStruct::byRecordMode, BYTE{0}); }

int CMCSKivObject::SetServoParam(BYTE id, BYTE index, BYTE value)
{
    MCSMachineInfoStruct* m = FindMachine(id);
    if (!m || index >= kServoParams) return 0;
    m->abyServoParams[index] = value;
    SetMachineParams(id);
    return 1;
}

int CMCSKivObject::SetGeneralParam(BYTE id, BYTE index, BYTE value)
{
    MCSMachineInfoStruct* m = FindMachine(id);
    if (!m || index >= kGeneralParams) return 0;
    m->abyGeneralParams[index] = value;
    SetMachineParams(id);
    return 1;
}

void CMCSKivObject::GetServoParamRange(BYTE index, CSize& range) const { range = CSize(0, index == 5 ? 2 : 255); }

void CMCSKivObject::GetGeneralParamRange(BYTE index, CSize& range) const
{
    range = CSize(0, index >= 4 && index <= 6 ? 1 : 255);
}

void CMCSKivObject::GetGroupMembers(BYTE group, BYTE* members) const
{
    if (!members) return;
    if (group < kGroups) std::memcpy(members, m_abyGroups[group], kGroupSize);
    else std::memset(members, kNoMachine, kGroupSize);
}

BYTE CMCSKivObject::GetGroupRefMaster(BYTE group) const { return group < kGroups ? m_abyGroups[group][0] : 0; }

CString CMCSKivObject::GetGroupLockedReference() const
{
    return m_byGroupLockedReference < std::size(kReferenceNames) ? kReferenceNames[m_byGroupLockedReference] : "Unknown";
}

void CMCSKivObject::AssignMachineToGroup(BYTE machine, BYTE group)
{
    if (group >= kGroups) return;
    for (BYTE& member : m_abyGroups[group]) {
        if (member == machine) return;
        if (member == kNoMachine) {
            member = machine;
            ChangeGroupMember(group, machine, 1);
            return;
        }
    }
}

void CMCSKivObject::DeAssignMachineFromGroup(BYTE machine, BYTE group)
{
    if (group >= kGroups) return;
    BYTE* members = m_abyGroups[group];
    BYTE* end = std::remove(members, members + kGroupSize, machine);
    std::fill(end, members + kGroupSize, kNoMachine);
    ChangeGroupMember(group, machine, 0);
}

// ---- track readiness ----

int CMCSKivObject::ReadyBit(const MCSMachineInfoStruct& m, BYTE track, int& byte)
{
    byte = 0;
    if (track == kTimecodeTrack || track == kVideoTrack)
        return CanRecordToTCAndVideoTracks() ? (track == kTimecodeTrack ? 4 : 5) : -1;
    // Further track j (bit j of byte 61) is track number tracks - further + j.
    const int firstFurther = m.byNumTracks - FurtherTracks(m);
    for (int j = 0; j < 4; ++j)
        if ((m.byOtherTracks & 1 << j) && track == firstFurther + j) return j;
    if (track >= kMaxNumberedTracks) return -1;
    byte = 1 + track / 8;
    return track % 8;
}

int CMCSKivObject::IsTrackRecording(BYTE id, BYTE track)
{
    const MCSMachineInfoStruct* m = FindMachine(id);
    int byte = 0;
    const int bit = m ? ReadyBit(*m, track, byte) : -1;
    return bit < 0 ? 0 : (m->abyTrackReady[byte] >> bit) & 1;
}

int CMCSKivObject::IsTrackReady(BYTE id, BYTE track)
{
    const MCSMachineInfoStruct* m = FindMachine(id);
    if (!m) return 0;
    int byte = 0;
    const int bit = ReadyBit(*m, track, byte);
    // A numbered track reads as ready only on a machine that marks its numbered tracks.
    if (bit < 0 || (byte > 0 && !(m->byOtherTracks & kNumberedPresent))) return 0;
    return (m->abyTrackReady[byte] >> bit) & 1;
}

void CMCSKivObject::SetAllTracksReady(BYTE id)
{
    MCSMachineInfoStruct* m = FindMachine(id);
    if (!m) return;
    if (CanRecordToTCAndVideoTracks()) m->abyTrackReady[0] |= m->byOtherTracks & (kTimecodeBit | kVideoBit);
    const int numbered = std::min(NumberedTracks(*m), kMaxNumberedTracks);
    for (int t = 0; t < numbered; ++t) SetBit(m->abyTrackReady[1 + t / 8], t % 8, true);
    SetTrackReadyModes(id);
}

void CMCSKivObject::SetAllTracksSafe(BYTE id)
{
    MCSMachineInfoStruct* m = FindMachine(id);
    if (!m) return;
    std::memset(m->abyTrackReady + 1, 0, sizeof m->abyTrackReady - 1);
    m->abyTrackReady[0] &= 0x40;
    SetTrackReadyModes(id);
}

void CMCSKivObject::SetTracksReady(BYTE id, bool timecode, bool video, bool* tracks)
{
    MCSMachineInfoStruct* m = FindMachine(id);
    if (!m) return;
    const bool allowed = CanRecordToTCAndVideoTracks();
    SetBit(m->abyTrackReady[0], 4, timecode && allowed && (m->byOtherTracks & kTimecodeBit));
    SetBit(m->abyTrackReady[0], 5, video && allowed && (m->byOtherTracks & kVideoBit));
    if (tracks) {
        for (int t = 0; t < std::min<int>(m->byNumTracks, kTimecodeTrack); ++t) {
            int byte = 0;
            const int bit = ReadyBit(*m, static_cast<BYTE>(t), byte);
            if (bit >= 0) SetBit(m->abyTrackReady[byte], bit, tracks[t]);
        }
    }
    SetTrackReadyModes(id);
}

void CMCSKivObject::PutAllMachinesInRehearse(int on)
{
    for (INT_PTR i = 0; i < m_aMachines.GetSize(); ++i) SetRecordMode(m_aMachines[i].byID, on ? 4 : 1);
}

bool CMCSKivObject::CanRecordToTCAndVideoTracks()
{
    CCurrentUserRegistryObject registry;
    DWORD allowed = 0;
    return registry.GetDword(MCSKey, RecordToTCAndVideoValue, allowed, 0) && allowed != 0;
}

void CMCSKivObject::EnableRecordToTCAndVideoTracks(bool enable)
{
    CCurrentUserRegistryObject registry;
    registry.SetDword(MCSKey, RecordToTCAndVideoValue, enable ? 1 : 0);
}

// ---- timecode ----

void CTimeCodeKIVObject::TCAttach(HWND window, DWORD value)
{
    KivBlock block(AttachToTimeCode, 28);
    block.Put32(20, static_cast<int32_t>(HandleToUlong(window)));
    block.Put32(24, static_cast<int32_t>(value));
    SendCommandBlock(block.Take());
}
