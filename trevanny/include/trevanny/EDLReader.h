// Reader (and writer) of edit decision lists, one event at a time.
//
// Two flavours of file:
// - text EDLs of eight dialects (the EDL type, 0 to 7: "UNKNOWN", "GENERIC", "VOK", "CMX340",
//   "CMX3400", "SONY_BVE9000", "GVG", "AVID"): lines with an event number, a reel, a track
//   code, a transition and four timecodes. An event line is one that holds more than four
//   ":". Type 6 reads lines up to a carriage return (CR LF counts as one line end); the others
//   up to a line feed. Bytes above 0x7F pass unchanged.
// - the stored flavour, written by the system: a header block at offset 0
//
//     "VOK HDRNEW" (older files "VOK HEADER"), eight int32 timecode settings (rate, sample
//     rate, frames per second, frames per foot, film equivalence, feet-and-frames flag, code
//     convert, feet-and-frames convert), then the reel table (EDLReelTable.h)
//
//   followed by stored events, one after another to the end of the file:
//
//     int32 source start, int32 destination start, int32 length, int32 transition (low byte:
//     C 1, D 2, K 4), u8 video flag, int32 audio track mask, [after "VOK HEADER" only: int32 n
//     + n bytes of the first note], int32 n + n bytes of reel name, int32 n + n bytes of a
//     note (read and dropped), [after "VOK HDRNEW" only: int32 reel index, -1 = none]
//
// All numbers little-endian. Every stored count and length is checked against what the file
// still holds: a file that does not hold what it declares is damaged (IsDamaged), and reading
// ends there.
#pragma once

#include <string>
#include <vector>

#include "trevanny/EDLReelTable.h"
#include "trevanny/SourceDestItem.h"
#include "trevanny/TimecodeSettings.h"
#include "winport/CFile.h"
#include "winport/CString.h"
#include "winport/Collections.h"

class CEDLReader {
public:
    enum { enUnknown = 0, enGeneric = 1, enVok = 2, enCMX340 = 3, enCMX3400 = 4, enSonyBVE9000 = 5, enGVG = 6, enAvid = 7 };
    /// Line codes of the line reader.
    enum { enEmptyLine = 0, enHeaderBlock = 1, enEventLine = 5, enEndOfFile = 15, enOtherLine = 16 };
    static constexpr int kTypeCount = 8;
    /// The names of the EDL types, by type.
    static const char* const s_szTypeNames[kTypeCount];

    CEDLReader(const CString& path, int edlType);
    ~CEDLReader();
    CEDLReader(const CEDLReader&) = delete;
    CEDLReader& operator=(const CEDLReader&) = delete;

    /// Opens the stored path with the given CFile flags (readers: read, share-deny-none,
    /// binary; writers: create, write, share-deny-none, binary).
    bool Open(UINT openFlags, CFileException* error);
    void Close();

    /// 1: the header block was read (settings and reels filled, the type is now 1; see
    /// IsDamaged); 5: the file stands at its first event line; 16: the file holds no event line.
    int ReadHeader(CTimecodeSettings& settings, CEDLReelTable& reels);
    /// Reads the next event: 1 when one was read, 0 at the end of the file or of what a damaged
    /// file holds. The destination item gets a new event, the
    /// source item the event number (text lines) and both items their positions (stored
    /// events). For text lines `timecodes` receives source in, record in and record out as
    /// hours, minutes, seconds, frames; fields a line does not give are hours -1, the rest 0.
    /// The destination's event pointer is first set to a new, empty event without freeing the one
    /// it held: the caller deletes the previous event before each call (or keeps it elsewhere),
    /// and the item deletes the last one when it goes.
    int ReadNextEvent(int timecodes[12], CSourceDestItem& source, CSourceDestItem& destination);

    /// Writes the header block ("VOK HDRNEW") at the current position.
    void WriteHeader(const CTimecodeSettings& settings, const CEDLReelTable& reels);
    /// Writes one stored event in the new layout (one write). A destination without an event
    /// is written as an empty one.
    void WriteStoredEvent(const CSourceDestItem& source, const CSourceDestItem& destination);

    /// True once the reader found a stored header, reel table or event that the file cannot
    /// hold (a length below 0 or past the end, a count too large, an event cut short).
    bool IsDamaged() const { return m_bDamaged; }
    bool IsOldHeader() const { return m_bOldHeader != 0; }
    int GetEDLType() const { return m_nEDLType; }
    const CString& GetLine() const { return m_strLine; }

    /// Track code text -> the event's track mask and video flag by the rules of `edlType`;
    /// true when the code was recognised.
    static bool ParseTrackCode(const CString& code, int edlType, CEDLEvent* event);
    /// One timecode token -> hours, minutes, seconds, frames (out[0..3]). A token shorter than
    /// four characters sets only hours, to -1.
    static void ParseTimecode(const CString& token, int out[4]);

private:
    int readLine();
    bool readCarriageReturnLine();
    bool tryHeaderMagic();
    bool readHeaderBlock(CTimecodeSettings& settings, CEDLReelTable& reels);
    int readStoredEvent(CSourceDestItem& source, CSourceDestItem& destination);
    void parseEventLine(int timecodes[12], CSourceDestItem& source, CSourceDestItem& destination);

    CStdioFile m_file;
    BYTE m_bOldHeader = 0;
    int m_nEDLType;
    CString m_strPath;
    CString m_strLine;
    ULONGLONG m_nLineStart = 0;
    BYTE m_bCarriageReturn = 0;
    bool m_bDamaged = false;
    ULONGLONG m_nFileLength = 0;    // taken when the file is opened for reading
    std::vector<std::string> m_tokens;  // the current event line's tokens (kept for their room)
    std::string m_scratch;
};

/// Appends the (source, destination) pairs of the stored edit list at `path` to `items`. With
/// `raw` false the source start, destination start and length are normalised through the
/// operator's timecode settings (SetFrames, then GetRoundedFrames) and both lengths of a pair
/// are the destination's. A file that cannot be opened, a text EDL (no header block) and a
/// damaged file leave `items` unchanged.
void GetSourceDestItems(const CString& path, CSourceDestItemArray& items, bool raw);
