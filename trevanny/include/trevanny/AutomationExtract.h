// Reads the flags and parameters of a mix pass stored by an older snapshot version, one stored
// item at a time, from either file kind the system writes (an indexed "AUTXFILE" file or a
// compound file), and lays them out per channel in the current layout in a buffer of the caller.
//
// Items, by id (the indexed file's entry id; in a compound file, the stream named by GetItemName
// followed by "CtlData" or "RteData", or "ISSCCtrlParms" / "ISSCRteParms"):
//   control flags 2 "Ends", 4 "Virgins", 6 "Armed", 9 "Mode", 11 "Touch", 13 "Meta",
//                 15 "TouchNotMode", 21 "LinkControls"
//   route flags   3, 5, 7, 10, 12, 14, 16 (as above), 22 "LinkRoutes"
//   parameters    17 control, 18 route ("ISS")
//
// Stored layouts (sv = the snapshot version the caller gives; 35 or more is never read):
//   control flags, large consoles, sv 25 or less   124-byte records (31 words), 500 channels
//   control flags, large consoles, sv 26 to 34     144-byte records (36 words), 500 channels
//   control flags, console types 1 and 6           20-byte records, 500 channels
//   route flags, large consoles                    192-byte records, 500 channels
//   route flags, console types 1 and 6             none: the fill stands
//   control parameters   P x 9 words per channel, P = 31 for sv 25 or less on large consoles,
//                        else the process count (36, or 5 on types 1 and 6); 500 channels
//   route parameters     R x 4 words per channel (R = 48, or 1 on types 1 and 6); 500 channels
// Channel i of the buffer starts at i x the current per-channel size. Only whole stored records
// and words are copied, never past the caller's `bytes` nor past what the item holds; a channel
// the item does not hold keeps what the buffer held (the fill, for the flags).
//
// One thread uses a reader; it is built for one conversion and holds no buffer between calls.
#pragma once

#include <memory>

#include "trevanny/AutxFile.h"
#include "trevanny/ConsoleConfig.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

class CAutomationExtract {
public:
    /// Channels that an older pass stores.
    static constexpr int kStoredChannels = 500;

    /// Keeps the name and, when the file starts with "AUTXFILE" in any case, opens it as an
    /// indexed file for reading. Any other file (or an empty name) is read as a compound file.
    explicit CAutomationExtract(const CString& fileName);
    ~CAutomationExtract();
    CAutomationExtract(const CAutomationExtract&) = delete;
    CAutomationExtract& operator=(const CAutomationExtract&) = delete;

    /// For a control flag id (2, 4, 6, 9, 11, 13, 15, 21): sets the bytes / 4 words of the
    /// buffer to `fill`, then reads the stored records over it. TRUE when the item was read. Any
    /// other id: FALSE, the buffer untouched.
    BOOL GetControlFlags(int sv, DWORD* buffer, int bytes, int id, DWORD fill);
    /// The same for a route flag id (3, 5, 7, 10, 12, 14, 16, 22). On console types 1 and 6
    /// nothing is stored: TRUE with the fill.
    BOOL GetRouteFlags(int sv, DWORD* buffer, int bytes, int id, DWORD fill);
    /// Reads the stored control parameters into a buffer of bytes / (process count x 18)
    /// channels, then gives processes an older pass lacks (31 to 35) and channels from 500 on
    /// their defaults. FALSE, with the buffer untouched, when nothing could be read.
    BOOL GetControlParms(int sv, WORD* buffer, int bytes);
    /// The same for the route parameters; channels from 500 on get 0, 0, 0, 1 per route.
    BOOL GetRouteParms(int sv, WORD* buffer, int bytes);
    /// The name of an item: its flag name, "ISS" for 17 and 18, "ERROR" for the ids of the other
    /// items of a pass (0, 1, 8, 19, 20, 23 to 27, 100 to 102), "UNKNOWN" for any other.
    static CString GetItemName(int id);

    /// True once a read met an item that is there but cannot be read whole (or a file that could
    /// not be opened): what was read is then not the pass's.
    bool SawDamage() const { return m_bDamaged; }

    BOOL m_bIndexed = FALSE;
    CString m_strFileName;

private:
    BOOL readControlFlags(int sv, DWORD* buffer, int bytes, int id);
    BOOL readRouteFlags(int sv, DWORD* buffer, int bytes, int id);
    /// Reads up to kStoredChannels records of recordBytes of item `id` into the channel slots of
    /// slotBytes each.
    BOOL readFlagRecords(int recordBytes, int id, const char* suffix, BYTE* buffer, int bytes, int slotBytes);
    /// Reads the stored words of a parameter item and copies channel c's perChannel words to
    /// word c x slotWords of the buffer.
    BOOL readParms(int id, const char* stream, int perChannel, WORD* buffer, int bytes, int slotWords);

    CConsoleRegistryNames m_Names;
    CAutxFile* m_pAutxFile = nullptr;
    BYTE m_bOwnsAutxFile = 0;
    bool m_bDamaged = false;
    CConsoleConfig m_Config;
};
