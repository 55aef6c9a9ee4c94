// The reels of one edit list, sorted by name (byte order), each with the tracks the list uses
// from it: entry 0 is video, entries 1 to 32 audio tracks 1 to 32. The table is the second
// half of the header block of the stored edit-list files (see EDLReader.h):
//
//   five int32 of the table, int32 reel count r, then r reels of
//   { int32 n, n bytes of name; int32 n, n bytes of second text; int32 first int;
//     int32 second int; u8 first flag; u8 second flag; int32 track-entry count t (at most 33);
//     t entries of { u8 used, u8 second flag, u8 the entry's byte, int32 the entry's int } }
//
// All numbers little-endian, texts without terminator.
#pragma once

#include <string>
#include <unordered_map>

#include "winport/CFile.h"
#include "winport/CString.h"
#include "winport/Collections.h"
#include "winport/WinTypes.h"

class CEDLTrackEntry {
public:
    int m_nValue = 0;
    BYTE m_byValue = 0;
    BYTE m_bUsed = 0;               ///< 1 once the track occurs in the list
    BYTE m_bFlag = 1;
};

class CEDLReelRecord {
public:
    static constexpr int kTrackEntries = 33;

    CEDLReelRecord() = default;
    explicit CEDLReelRecord(const CString& name) : m_strName(name) {}
    /// Copies name, texts, ints, flags (the current values also become the copy's previous
    /// values) and every track entry.
    CEDLReelRecord(const CEDLReelRecord& other);
    CEDLReelRecord& operator=(const CEDLReelRecord& other);
    virtual ~CEDLReelRecord() = default;

    /// Marks entry 0 when bit 0 of videoFlag is set and entry k+1 for each bit k of trackMask.
    void MarkTracks(DWORD trackMask, BYTE videoFlag);

    CString m_strName;
    CString m_strText2;             ///< empty until the temporary-list writer sets it
    int m_nValue1 = 0;
    int m_nValue2 = 0;
    BYTE m_bFlag1 = 1;
    BYTE m_bFlag2 = 1;
    int m_nPrevValue1 = 0;
    int m_nPrevValue2 = 0;
    BYTE m_bPrevFlag1 = 1;
    BYTE m_bPrevFlag2 = 1;
    CEDLTrackEntry m_Tracks[kTrackEntries];
};

class CEDLReelTable {
public:
    CEDLReelTable() = default;
    CEDLReelTable(const CEDLReelTable&) = delete;
    CEDLReelTable& operator=(const CEDLReelTable&) = delete;
    ~CEDLReelTable() = default;

    void RemoveAll();
    /// The index of the reel named `reelName` (inserted in name order when new); marks its tracks.
    int Add(const CString& reelName, DWORD trackMask, BYTE videoFlag);
    /// The index of the first reel whose name equals `reelName` (bytes up to the first zero), or -1.
    int Find(const CString& reelName) const;
    /// The reel's name; "" when `index` is out of range.
    CString GetName(int index) const;
    int GetSize() const { return static_cast<int>(m_Reels.GetSize()); }
    CEDLReelRecord& GetAt(int index) { return m_Reels[index]; }
    const CEDLReelRecord& GetAt(int index) const { return m_Reels[index]; }

    /// Writes the table's part of the header block.
    bool Write(CFile& file) const;
    /// Reads the table's part of the header block. Every count and length is checked against
    /// what the file still holds, and a track-entry count above 33 is refused: a table that
    /// does not fit is damaged, the result is false and the table is left as it was. Each
    /// reel's two ints and flags come back as 0, 0, 1, 1. File errors arrive as CFileException.
    bool Read(CFile& file);

    int m_nValues[5] = {0, 0, 1, 1, 1};

private:
    // Name (up to its first zero) -> index of its first record; rebuilt after any change.
    const std::unordered_map<std::string, int>& index() const;

    CArray<CEDLReelRecord> m_Reels;
    mutable std::unordered_map<std::string, int> m_Index;
    mutable bool m_bIndexValid = false;
};
