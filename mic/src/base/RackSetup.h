// CRackSetup: the in-memory picture of the 16 racks of pre-amplifier units (four channels
// each): switch, gain and line state, mic lines, labels, which racks answer, the rack on show,
// and how the racks are tied to the pre-amplifier units found on the MIDI ports. It also reads
// and writes the ".mic" setup file.
//
// Setup file layout (all integers 32-bit little-endian, tables rack-major):
//      0  256  mic lines            64 int32
//    256  256  channel status       64 int32
//    512  256  line status          64 int32
//    768  256  channel mode         64 int32
//   1024   16  rack options         16 bytes
//   1040  832  labels               64 x 13 bytes
//   1872   64  channel flags        64 bytes
//   1936    4  format version       int32 (absent in version 0 files, which are 1936 bytes)
//   1940   72  input mapping        18 int32   } the extension: optional in version 1 files,
//   2012   72  output mapping       18 int32   } written when one of its values is set
//   2084  192  MIDI slots           48 int32   }
//   2276   64  rack file values     16 int32   }
#pragma once

#include "winport/Afx.h"

class CRackSetup {
public:
    static constexpr int kRacks = 16;
    static constexpr int kChannels = 4;
    static constexpr int kSlots = 3;
    static constexpr int kMappings = 9;
    static constexpr int kLabelSize = 13;
    /// Highest mic line a channel can be given (the dialog's lists offer "Off" and 1 to 99).
    static constexpr int kMaxMicLine = 99;
    /// Highest MIDI slot value: 2 x (unit 8) + half 1.
    static constexpr int kMaxSlotValue = 17;
    static constexpr int kMaxMidiPort = 31;
    static constexpr int kMaxMidiChannel = 15;

    /// File sizes of the setup file.
    static constexpr int kTablesSize = 1936;
    static constexpr int kVersionOffset = 1936;
    static constexpr int kSavedSize = 1940;
    static constexpr int kExtendedSize = 2340;
    /// The version this program writes.
    static constexpr int kFileVersion = 1;

    CRackSetup();
    /// Copies every field but the per-rack file values.
    CRackSetup(const CRackSetup& other);
    CRackSetup& operator=(const CRackSetup& other);
    virtual ~CRackSetup() = default;

    // Accessors. Indices outside their ranges are ignored by the setters and read as the
    // default by the getters.
    void SetRackFlag(int rack, BOOL responding);
    BOOL GetRackFlag(int rack) const;
    void SetChannelStatus(int rack, int channel, int status);
    int GetChannelStatus(int rack, int channel) const;
    void SetLineStatus(int rack, int channel, int status);
    int GetLineStatus(int rack, int channel) const;
    void SetChannelMicLine(int rack, int channel, int micLine);
    int GetChannelMicLine(int rack, int channel) const;
    void SetChannelMode(int rack, int channel, int mode);
    int GetChannelMode(int rack, int channel) const;
    void SetChannelEntry(int rack, int channel, int entry);
    /// The entry count of one of the rack's own channels (0 for any other index).
    int GetChannelEntry(int rack, int index) const;
    /// TRUE when one of the entries 4 x group to 4 x group + 3 of the rack is above 0.
    BOOL HasChannelEntries(int rack, int group) const;
    /// Copies at most 12 characters of the text and terminates it.
    void SetLabel(int rack, int channel, const char* text);
    const char* GetLabel(int rack, int channel) const;
    void SetChannelFlag(int rack, int channel, BYTE flag);
    BYTE GetChannelFlag(int rack, int channel) const;
    void SetCurrentRack(int rack);
    int GetCurrentRack() const { return m_nCurrentRack; }
    void SetRackOption(int rack, BOOL option);
    BOOL GetRackOption(int rack) const;
    void SetPopupOnSel(BOOL on) { m_bPopupOnSel = on ? 1 : 0; }
    BOOL GetPopupOnSel() const { return m_bPopupOnSel; }
    void SetPopupControls(BOOL on) { m_bPopupControls = on ? 1 : 0; }
    BOOL GetPopupControls() const { return m_bPopupControls; }
    /// The rack's four channels back to status 3, line status 3, no mic line, line input; its
    /// option off.
    void ResetRack(int rack);

    /// Stores pair i of the input mapping; a pair with both parts set is first removed from
    /// every other slot, so that it stands in one slot at most.
    void SetPreMapping(int index, int port, int channel);
    int GetPreMapping(int index, int part) const;
    /// The same for the output mapping.
    void SetChannelMapping(int index, int port, int channel);
    int GetChannelMapping(int index, int part) const;
    /// TRUE when pair i is set in both tables, port and channel (a pair with one part set, as a
    /// hand-made file can hold, links nothing).
    BOOL IsMappingSet(int index) const;
    /// Number of pairs set in both tables.
    int CountMappings() const;
    void ClearMappings();

    /// Stores value in one slot after clearing every slot that holds it.
    void ClearMidiSlot(int rack, int slot, int value);
    int GetMidiSlot(int rack, int slot) const;
    /// unit = value / 2, half = value % 2 (unit 0, half -1 for an untied slot).
    void GetMidiSlotParts(int rack, int slot, int& unit, int& half) const;

    int GetRackFileValue(int rack) const;

    // Setup files. Paths are Windows paths or host paths (winport/Paths.h).

    /// -1 when the file cannot be opened or is too short to hold a version word, 0 for a
    /// 1936-byte file, else the version word at offset 1936.
    static int GetSetupFileVersion(const char* path);
    /// Loads the whole setup (rack -1) or one rack's share (rack 0 to 15) of a version 0 or 1
    /// file, opened for reading only. FALSE (and the record unchanged) when the file cannot be
    /// read or is shorter than its tables. Labels are terminated within their field; mic lines,
    /// mappings and slots outside their ranges are cleared; an extension table is taken only
    /// when the file holds it whole.
    BOOL LoadSetupFile(int version, const char* path, int rack);
    /// Writes the tables and the version word (1940 bytes), with the extension when one of its
    /// values is set (2340 bytes), through a temporary file, so that a
    /// failed save leaves the previous file whole. FALSE when the file cannot be written.
    BOOL SaveSetupFile(const char* path) const;
    /// The same image in memory (for tests and the fuzz target): the first 1940 bytes.
    void WriteImage(BYTE* image) const;
    /// Whether a save carries the 400-byte extension: a mapping pair, MIDI slot or file value set.
    BOOL HasMidiExtension() const;
    /// Bytes 1940 to 2339 of the image: the two mapping tables, the slots, the file values.
    void WriteExtension(BYTE* image) const;
    /// Loads from an image in memory, as LoadSetupFile does from a file of that content.
    BOOL LoadImage(int version, const BYTE* image, size_t size, int rack);
    /// The version GetSetupFileVersion gives for an image of that content.
    static int ImageVersion(const BYTE* image, size_t size);

private:
    static bool validRack(int rack) { return rack >= 0 && rack < kRacks; }
    static bool validChannel(int rack, int channel) { return validRack(rack) && channel >= 0 && channel < kChannels; }
    void copyFrom(const CRackSetup& other);
    void sanitiseMappings();
    void sanitiseSlots();

    int m_nMidiSlot[kRacks][kSlots];
    BYTE m_bRackResponding[kRacks];
    int m_nChannelEntry[kRacks][kChannels];
    int m_nChannelMode[kRacks][kChannels];
    int m_nChannelStatus[kRacks][kChannels];
    int m_nLineStatus[kRacks][kChannels];
    int m_nMicLine[kRacks][kChannels];
    char m_szLabel[kRacks][kChannels][kLabelSize];
    BYTE m_byChannelFlag[kRacks][kChannels];
    int m_nCurrentRack;
    BYTE m_byRackOption[kRacks];
    BYTE m_bPopupOnSel;
    BYTE m_bPopupControls;
    int m_PreMapping[kMappings][2];
    int m_ChannelMapping[kMappings][2];
    int m_nRackFileValue[kRacks];
};

/// The nine pairs' colours, shared by the monitor, the MIDI slot panels and the channel setup.
inline constexpr COLORREF kPairColours[CRackSetup::kMappings] = {
    RGB(117, 153, 187), RGB(255, 165, 0), RGB(136, 175, 1), RGB(0, 204, 204), RGB(180, 142, 76),
    RGB(0, 225, 0),     RGB(161, 161, 205), RGB(192, 188, 107), RGB(130, 131, 75),
};
