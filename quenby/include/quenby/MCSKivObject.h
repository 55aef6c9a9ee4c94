// The client object of the server's machine-control system: transport commands for the tape and
// picture machines, machine groups, machine parameters, track readiness, record modes, offsets,
// timecode sources and chase modes, and answers about machines and groups from a cached state
// that a derived class fills. Also the timecode attach.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "quenby/GenericKIVObject.h"
#include "winport/CRect.h"
#include "winport/Collections.h"

class KivBlock;

/// Opaque chase-mode argument: it travels as one byte.
enum MCS_TC_Options : uint8_t {};

/// One machine as the server describes it (148 bytes).
struct MCSMachineInfoStruct {
    char szName[21];
    char szAlias[21];    // up to 20 characters and a zero
    BYTE byProtocol;     // index into the protocol names
    BYTE byID;
    signed char cPort;
    signed char cState;
    signed char cProcess;
    BYTE abyReserved1[13];
    BYTE byNumTracks;     // every track, the further ones included
    BYTE byOtherTracks;   // bits 0-3 further tracks, 4 timecode, 5 video, 7 numbered tracks present
    BYTE abyTrackReady[13];  // byte 62 (further, timecode and video tracks), then the numbered tracks
    BYTE abyReserved2[13];
    BYTE byRecordMode;
    BYTE abyGeneralParams[32];
    BYTE abyServoParams[16];
    BYTE abyReserved3[11];
};
static_assert(sizeof(MCSMachineInfoStruct) == 148);
static_assert(offsetof(MCSMachineInfoStruct, szAlias) == 21);
static_assert(offsetof(MCSMachineInfoStruct, byProtocol) == 42);
static_assert(offsetof(MCSMachineInfoStruct, byID) == 43);
static_assert(offsetof(MCSMachineInfoStruct, cPort) == 44);
static_assert(offsetof(MCSMachineInfoStruct, cState) == 45);
static_assert(offsetof(MCSMachineInfoStruct, cProcess) == 46);
static_assert(offsetof(MCSMachineInfoStruct, byNumTracks) == 60);
static_assert(offsetof(MCSMachineInfoStruct, byOtherTracks) == 61);
static_assert(offsetof(MCSMachineInfoStruct, abyTrackReady) == 62);
static_assert(offsetof(MCSMachineInfoStruct, byRecordMode) == 88);
static_assert(offsetof(MCSMachineInfoStruct, abyGeneralParams) == 89);
static_assert(offsetof(MCSMachineInfoStruct, abyServoParams) == 121);

/// Machine control. Commands are 716-byte blocks of command 162 (864 bytes where they carry a
/// machine's settings) with the sub-command at 20; no window.
class CMCSKivObject : public CGenericKIVObject {
public:
    static constexpr int kBlockSize = 716, kLongBlockSize = 864;
    static constexpr int kGroups = 9, kGroupSize = 8;
    static constexpr BYTE kNoMachine = 255;
    /// The track numbers of the timecode and video tracks.
    static constexpr BYTE kTimecodeTrack = 254, kVideoTrack = 255;
    /// Numbered tracks whose ready bits the record holds (bytes 63 to 74).
    static constexpr int kMaxNumberedTracks = 96;
    /// Where the record-to-timecode-and-video flag is kept, below HKEY_CURRENT_USER.
    static constexpr char MCSKey[] = "Software\\VOKDWEN\\Vok Dwen Cantle\\MCS";
    static constexpr char RecordToTCAndVideoValue[] = "Allow record to Video and timecode Tracks";

    explicit CMCSKivObject(int enabled = 1);
    ~CMCSKivObject() override = default;
    CString GetName() override { return "MCSKivObject"; }

    /// Attach (161), read at once.
    void MCSAttach();

    // ---- transport ----
    void FForwardMCS();
    void RewindMCS();
    void PlayMCS();
    void StopMCS();
    void RecordMCS();
    void LocateMCS(int position);
    void CycleMCS(int a, int b);
    void RollbackMCS();
    void OpenLocate();
    void ExitCycleOrLocate();
    void OpenCycle();

    // ---- machines and groups ----
    void SetCurrentMachine(BYTE machine);
    void ChangeGroupMember(BYTE group, BYTE machine, int add);
    void ClearGroup(BYTE group);
    void SetCurrentGroup(BYTE group);
    void SetMaster(BYTE group, BYTE machine);
    void ReloadGroups();
    void SetSynchroRef(BYTE reference);

    /// A timecode (hours, minutes, seconds, frames in packed BCD at 768 to 771; the negative
    /// flag adds bit 7 of 768). Fields outside 0 to 99 keep their last two decimal digits; a
    /// negative field counts as 0.
    void SetDeviceOffset(BYTE machine, int h, int m, int s, int f, bool negative);
    void SetSelectedTapeCode(BYTE machine, int h, int m, int s, int f);

    /// The machine's settings from its record; an unknown id sends nothing.
    void SetMachineParams(BYTE machineId);
    void SetTrackReadyModes(BYTE machineId);
    void SetRecordMode(BYTE machineId, BYTE mode);
    /// Keeps the alias (at most 20 characters) in the machine's record and sends it,
    /// re-attaching.
    void SetMachineAlias(BYTE machineId, const CString& alias);
    void SetChaseMode(BYTE machine, MCS_TC_Options mode);

    void SetMCSFeetAndFrames(BYTE b1, BYTE b2, BYTE b3, BYTE b4, BYTE b5, BYTE b6);
    void SetMCSLocalZero(BYTE b1, BYTE b2, BYTE b3, BYTE b4, BYTE b5);
    /// data[0] + 3 bytes of data at 461, at most the 255 bytes to the block's end; a null
    /// pointer sends nothing.
    void PelkMCSDebug_SetInternalData(BYTE* data);
    /// (297) sub-command 57.
    void PelkMCSDebug_Enable();

    // ---- lookups ----
    int GetNumMachines() const { return static_cast<int>(m_aMachines.GetSize()); }
    /// The list position of the first machine with the id, 255 when none.
    BYTE GetMachineIndexFromID(BYTE id) const;
    BYTE GetMachineIDFromIndex(BYTE index) const;
    /// An unknown id gives a record of zeros.
    void GetMachineInfo(BYTE id, MCSMachineInfoStruct& info) const;
    void GetMachineName(BYTE id, CString& name) const;
    void GetMachineAlias(BYTE id, CString& alias) const;
    /// The protocol's name: "Undefined" for 0, empty for an unknown id or a byte beyond the names.
    void GetMachineProtocol(BYTE id, CString& protocol) const;
    signed char GetMachinePort(BYTE id) const;
    signed char GetMachineState(BYTE id) const;
    signed char GetMachineProcess(BYTE id) const;
    BYTE GetRecordMode(BYTE id) const;

    /// 1 when stored and sent, 0 for an unknown id or an index beyond the parameters.
    int SetServoParam(BYTE id, BYTE index, BYTE value);
    int SetGeneralParam(BYTE id, BYTE index, BYTE value);
    void GetServoParamRange(BYTE index, CSize& range) const;
    void GetGeneralParamRange(BYTE index, CSize& range) const;

    /// Eight member bytes; eight 255 bytes for a group above 8.
    void GetGroupMembers(BYTE group, BYTE* members) const;
    BYTE GetCurrentGroup() const { return m_byCurrentGroup; }
    BYTE GetCurrentGroupState() const { return m_byCurrentGroupState; }
    BYTE GetCurrentGroupProcess() const { return m_byCurrentGroupProcess; }
    BYTE GetCurrentGroupCycleMode() const { return m_byCurrentGroupCycleMode; }
    BYTE GetGroupLockedReferenceInt() const { return m_byGroupLockedReference; }
    BOOL GetGroupLockedStatus() const { return m_byGroupLockedStatus == 0; }
    /// The first member of groups 0 to 8, else 0.
    BYTE GetGroupRefMaster(BYTE group) const;
    /// "LTC" ... "Internal", "Unknown" for any other reference.
    CString GetGroupLockedReference() const;

    /// Puts the machine in the first free place of the group and sends; nothing when it is
    /// there already, the group is full or above 8.
    void AssignMachineToGroup(BYTE machine, BYTE group);
    /// Removes the machine (the later members move up) and sends, member or not; nothing for a
    /// group above 8.
    void DeAssignMachineFromGroup(BYTE machine, BYTE group);

    // ---- track readiness: numbered track t's ready bit is bit t % 8 of byte 63 + t / 8 ----
    int IsTrackReady(BYTE id, BYTE track);
    int IsTrackRecording(BYTE id, BYTE track);
    void SetAllTracksReady(BYTE id);
    void SetAllTracksSafe(BYTE id);
    /// The timecode and video flags (where the machine has the tracks and recording to them is
    /// allowed), then one entry per track of the machine: the numbered tracks, then the further
    /// ones. A null list leaves the tracks as they are.
    void SetTracksReady(BYTE id, bool timecode, bool video, bool* tracks);
    void PutAllMachinesInRehearse(int on);
    bool CanRecordToTCAndVideoTracks();
    void EnableRecordToTCAndVideoTracks(bool enable);

protected:
    MCSMachineInfoStruct* FindMachine(BYTE id);
    const MCSMachineInfoStruct* FindMachine(BYTE id) const;

    BYTE m_byCurrentGroup = 0;
    BYTE m_byCurrentGroupState = 0;
    BYTE m_byCurrentGroupProcess = 0;
    BYTE m_byCurrentGroupCycleMode = 0;
    BYTE m_abyGroups[kGroups][kGroupSize];
    BYTE m_byGroupLockedReference = 0;
    BYTE m_byGroupLockedStatus = 0;
    CArray<MCSMachineInfoStruct, const MCSMachineInfoStruct&> m_aMachines;

private:
    /// A field of the machine with the id, or `unknown`.
    template <class T>
    T MachineField(BYTE id, T MCSMachineInfoStruct::*field, T unknown) const;
    void Send(int sub, int size, const std::function<void(KivBlock&)>& fill = {}, bool reattach = false);
    /// The ready bit of a track, or -1 when the track has none here (a numbered track beyond
    /// the record, the timecode or video track while recording to them is not allowed).
    int ReadyBit(const MCSMachineInfoStruct& machine, BYTE track, int& byte);
};

class CTimeCodeKIVObject : public CGenericKIVObject {
public:
    explicit CTimeCodeKIVObject(int enabled = 1) : CGenericKIVObject(enabled) {}
    CString GetName() override { return "TimecodeKIV"; }
    /// Sends the attach (3, 28 bytes: the window at 20, the value at 24) and nothing else.
    void TCAttach(HWND window, DWORD value = 10);
};
