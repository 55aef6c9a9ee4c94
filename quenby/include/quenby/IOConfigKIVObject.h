// The client object of the server's I/O configuration: the user's settings for every physical
// port of the console's I/O racks (names, user number, delay, relay, dither, stereo pairing,
// sample-rate converter settings, grouped ports), kept in a local cache keyed by port and sent
// to the server whole when the configuration is saved.
//
// The hardware description (sample rate, MADI flags, remote unit counts, quad MADI counts,
// frame-rate code, delay shift) is read here and filled by the program that owns the object,
// through a derived class; the constructor zeroes it. The cache changes only through the
// setters, Clear and the group operations: the class keeps no reply of the server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>

#include "quenby/GenericKIVObject.h"
#include "winport/Collections.h"

/// The address of one I/O port and its display name.
struct StructIOSearch {
    int32_t path;       // console path the port serves; negative when none is meant
    int32_t direction;  // 0 inputs, 1 outputs, 2 microphone lines
    int32_t rack;       // 0 to 11
    int32_t card;       // card slot, 0 to 4
    int32_t io;         // channel on the card: even = A leg, odd = B leg
    int32_t system;     // I/O system (engine), 0 to 3
    char name[29];      // display text
};
static_assert(offsetof(StructIOSearch, name) == 24);
static_assert(sizeof(StructIOSearch) == 56);

/// The cache key of a port: byte 0 rack, byte 1 card, byte 2 io, byte 3 system (each the low
/// byte of its field). Path, direction and name take no part in it.
using IOPortKey = uint32_t;
IOPortKey MakeIOPortKey(const StructIOSearch& port);
IOPortKey MakeIOPortKey(int rack, int card, int io, int system);
inline int IOKeyRack(IOPortKey key) { return static_cast<int>(key & 0xFF); }
inline int IOKeyCard(IOPortKey key) { return static_cast<int>((key >> 8) & 0xFF); }
inline int IOKeyIO(IOPortKey key) { return static_cast<int>((key >> 16) & 0xFF); }
inline int IOKeySystem(IOPortKey key) { return static_cast<int>(key >> 24); }

/// The settings kept per port. -1 marks a number, dither, delay or relay that is not set.
struct IOPortSettings {
    CString name, name2, scribble;
    int number = -1;
    int dither = -1;
    int delay = -1;  // samples at 48 kHz
    int relay = -1;
    int stereo = 0;
    bool operator==(const IOPortSettings&) const = default;
};

/// The sample-rate converter settings kept per port.
struct IOConverterSettings {
    int mode = 0;
    int state = 0;
    bool operator==(const IOConverterSettings&) const = default;
};

/// A port group: up to 5 member keys, stored under the master's key (the master is not a member).
struct _structGroupedPorts {
    IOPortKey members[5] = {};
    int32_t count = 0;
};

/// A relay and the port it serves, as the machine manager takes it (60 bytes, sent as it stands).
struct _StructRelayPort {
    StructIOSearch port;
    int32_t relay;
};
static_assert(sizeof(_StructRelayPort) == 60);

/// The user's delay units.
enum DelayUnits { enDelaySamples = 0, enDelayMilliseconds = 1, enDelayMetres = 2, enDelayTenthFrames = 3 };

using IOPortMap = std::map<IOPortKey, IOPortSettings>;
using IOConverterMap = std::map<IOPortKey, IOConverterSettings>;

// ---- the 52-byte record of the save block and of the configuration file ----

/// Record sizes of the configuration file by version (0, 1, 2); 0 for another version.
size_t IOConfigRecordSize(int version);
constexpr size_t kIOConfigRecordSize = 52;
/// Writes a port record: key fields widened to 32 bits, the settings, texts of at most 4
/// characters and their zero.
void EncodeIOPortRecord(uint8_t* record, IOPortKey key, const IOPortSettings& settings);
/// Writes a converter record: mode at 12, state at 20, the texts zero.
void EncodeIOConverterRecord(uint8_t* record, IOPortKey key, const IOConverterSettings& settings);
/// Reads a record of the given version's size (40, 48 or 52 bytes): a version-0 record has no
/// second name, scribble or system, a version-1 record no system (0). Texts are read within
/// their 5 bytes.
IOPortKey DecodeIOPortRecord(const uint8_t* record, int version, IOPortSettings& settings);
IOPortKey DecodeIOConverterRecord(const uint8_t* record, int version, IOConverterSettings& settings);

class CIOConfigKIVObject : public CGenericKIVObject {
public:
    static constexpr int kSystems = 4, kMADILinks = 3, kRemoteSlots = 4, kMaxGroupMembers = 5;
    /// The save block's header; records follow.
    static constexpr int kSaveHeaderSize = 492;
    /// Characters of a configuration name the save block holds.
    static constexpr int kMaxConfigNameLength = 155;
    /// Maximum delays of one MADI link, in samples at 48 kHz, before the delay shift.
    static constexpr int kLinkDelay = 130564, kMADILinkDelay = 523780;

    explicit CIOConfigKIVObject(int enabled = 1);
    CString GetName() override { return "IOConfigKIV"; }

    // ---- commands ----
    /// Attaches to a configuration by name (command 83), read at once.
    void IOConfigAttach(const CString& name);
    /// Sends the port settings and converters (command 85) and reads the reply at once.
    /// The name is cut to 155 characters.
    void Save(CString& name, int n);
    /// Sends the groups (command 85, grouped-ports block) and reads the reply at once.
    void SaveGroupedPorts();
    void SetDefault(const CString& name);
    void SetCurrent(const CString& name, int a, int b, int c, HWND window);
    /// SetCurrent(name, 0, 0, c) reported to window 65535.
    void LoadInMemory(const CString& name, int c);
    /// Sets the delay in the cache, then sends it (command 107). The block carries the input
    /// delay unit for inputs and outputs alike.
    void QuickSetDelay(const StructIOSearch& port, int value, int bInput);
    /// Sends the relays (command 238); nothing for an empty array.
    void SetRelays(const CArray<_StructRelayPort, _StructRelayPort>& relays);
    void SetTQConfig();

    // ---- names and units ----
    CString& GetDefault() { return m_strDefault; }
    CString& GetCurrent() { return m_strCurrent; }
    CString& GetCurrentOnDesk() { return m_strCurrentOnDesk; }
    DelayUnits GetInputDelayUnits() const { return m_eInputDelayUnits; }
    DelayUnits GetOutputDelayUnits() const { return m_eOutputDelayUnits; }
    void SetInputDelayUnits(DelayUnits units) { m_eInputDelayUnits = units; }
    void SetOutputDelayUnits(DelayUnits units) { m_eOutputDelayUnits = units; }

    // ---- hardware ----
    /// A system outside 0 to 3 answers 0.
    void GetQuadMADIs(int counts[4]) const;
    int GetThisQuadMADI(int system) const;
    /// 8 relays (optos) for every remote unit of the system.
    int GetRemoteRelays(int system) const;
    int GetRemoteOptos(int system) const { return GetRemoteRelays(system); }

    // ---- the cache ----
    void SetName(const StructIOSearch& port, const CString& name, int bInput);
    void SetName2(const StructIOSearch& port, const CString& name, int bInput);
    void SetScribble(const StructIOSearch& port, const CString& text, int bInput);
    void SetNumber(const StructIOSearch& port, int number, int bInput);
    void SetRelay(const StructIOSearch& port, int relay, int bInput);
    void SetDither(const StructIOSearch& port, int dither, int bInput);
    /// A negative value clears the delay; otherwise it is taken in the direction's unit.
    void SetDelay(const StructIOSearch& port, int value, int bInput);
    /// Stereo is kept on the A leg; setting it removes the B leg's record.
    void SetStereo(const StructIOSearch& port, int stereo, int bInput);
    void SetSRCMode(const StructIOSearch& port, int mode, int bInput);
    void SetSRCState(const StructIOSearch& port, int state, int bInput);

    int GetName(const StructIOSearch& port, CString& out, int bInput) const;
    int GetName2(const StructIOSearch& port, CString& out, int bInput) const;
    int GetScribble(const StructIOSearch& port, CString& out, int bInput) const;
    int GetNames(const StructIOSearch& port, CString& name, CString& name2, int bInput) const;
    int GetNumber(const StructIOSearch& port, int& out, int bInput) const;
    int GetRelay(const StructIOSearch& port, int& out, int bInput) const;
    int GetDither(const StructIOSearch& port, int& out, int bInput) const;
    /// The delay in the direction's unit; an unset delay reads as 0.
    int GetDelay(const StructIOSearch& port, int& out, int bInput) const;
    int GetStereo(const StructIOSearch& port, int& out, int bInput) const;
    int GetSRCMode(const StructIOSearch& port, int& out, int bInput) const;
    int GetSRCState(const StructIOSearch& port, int& out, int bInput) const;
    void GetAll(const StructIOSearch& port, CString& name, int& number, int& delay, int& dither, int& relay, int bInput) const;

    void Clear(const StructIOSearch& port, int bInput);
    void ClearSRC(const StructIOSearch& port, int bInput);
    void Clear();

    // ---- delays ----
    /// A delay kept in 48 kHz samples, in the direction's unit at the current sample rate
    /// (truncated). 0 when the sample rate is not above 0.
    int ConvertDelayFromSamples(int samples, int bInput) const;
    /// What one MADI link (0 to 2) of a system leaves for delays, in the direction's unit.
    int GetMaxDelay(int system, int madi, int bInput) const;
    /// What the port's link leaves for the port, the port itself not counted.
    int GetMaxDelay(StructIOSearch port, int bInput) const;
    /// The sum over the system's MADI links (at most 3).
    int GetMaxDelay(int system, int bInput) const;

    // ---- display names ----
    void GetSplitUserName(const StructIOSearch& port, CString& name, CString& name2, CString& number, int bPair, int bInput) const;
    void GetFullUserName(const StructIOSearch& port, CString& out, int bPair, int bInput) const;

    // ---- relays and groups ----
    /// The first port (inputs first) that uses the relay; a negative relay is no relay.
    int IsRelayInUse(int relay, StructIOSearch& port, int& bInput) const;
    int GetPortGroup(const StructIOSearch& port, _structGroupedPorts& out) const;
    int IsPortGrouped(const StructIOSearch& port) const;
    int IsGroupMaster(const StructIOSearch& port) const;
    /// Makes an ungrouped port the master of a new empty group.
    int AddPortToGroup(const StructIOSearch& port);
    /// Adds a member on the master's MADI link (same system, same block of four racks). The
    /// master itself, a port already grouped and a sixth member are refused.
    int AddPortToGroup(const StructIOSearch& master, const StructIOSearch& member);
    int RemovePortFromGroup(const StructIOSearch& port);
    void ClearGroup(const StructIOSearch& master);

    // ---- the cache as it stands (read only) ----
    const IOPortMap& GetPorts(int bInput) const { return bInput ? m_mapInputs : m_mapOutputs; }
    const IOConverterMap& GetConverters(int bInput) const { return bInput ? m_mapInputSRC : m_mapOutputSRC; }

protected:
    int ConvertDelayFromUnits(int value, int bInput) const;
    /// Sends a save block (command 85) of the header fields and records, and reads at once.
    void SendSaveBlock(const CString& name, const int32_t counts[5], int n, int kind, const uint8_t* records, size_t recordCount);

    // The hardware description, filled by the owner.
    int m_nSampleRate = 0;
    int m_nMADI[kSystems][kMADILinks] = {};
    int m_nRemoteUnits[kSystems][kMADILinks][kRemoteSlots] = {};
    int m_nQuadMADIs[kSystems] = {};
    int m_nFrameRateCode = 0;
    int m_nDelayShift = 0;

    CString m_strDefault, m_strCurrent, m_strCurrentOnDesk;
    DelayUnits m_eInputDelayUnits = enDelaySamples;
    DelayUnits m_eOutputDelayUnits = enDelaySamples;
    IOPortMap m_mapInputs, m_mapOutputs;
    IOConverterMap m_mapInputSRC, m_mapOutputSRC;
    std::map<IOPortKey, _structGroupedPorts> m_mapGroups;
    std::map<IOPortKey, IOPortKey> m_mapMembership;  // member -> master

private:
    IOPortMap& Ports(int bInput) { return bInput ? m_mapInputs : m_mapOutputs; }
    IOConverterMap& Converters(int bInput) { return bInput ? m_mapInputSRC : m_mapOutputSRC; }
    const IOPortSettings* Find(const StructIOSearch& port, int bInput) const;
    DelayUnits Units(int bInput) const { return bInput ? m_eInputDelayUnits : m_eOutputDelayUnits; }
    double FrameRate() const;
    /// The link's room in 48 kHz samples less the delays on it (the key `skip` not counted).
    int64_t LinkRemainder(int system, int madi, int bInput, const IOPortKey* skip) const;
};

/// The same object bound to the server's offline copy of the I/O configuration.
class COfflineIOConfigKIVObject : public CIOConfigKIVObject {
public:
    COfflineIOConfigKIVObject() : CIOConfigKIVObject(1) {}
    /// Attaches to the offline configuration (command 317, a bare block), read at once.
    void OfflineIOConfigAttach();
    /// Asks the server to read a stored configuration into its offline copy (command 318) and
    /// reads the reply at once.
    void InterrogateIOConfig(CString name);
};
