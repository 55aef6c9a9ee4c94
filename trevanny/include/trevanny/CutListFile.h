// Cut lists and change lists: the changes of a picture edit (delete, insert, trim, lengthen,
// move) with positions and lengths in frames.
//
// Binary cut list (little-endian int32 throughout): "VOK_CUTLIST_FILE" (16 bytes), old duration
// feet, old duration frames, record count, then the records: kind, start, length, reference;
// a kind-10 record goes on with the clip's source start and its name (int32 n, n bytes).
//
// Text change list: a header with "Old Duration" followed by a feet+frames value, and "Clip
// Name"; then numbered changes ("1.", "2." ...) up to "(END OF CHANGE LIST)" or the end of the
// file. A feet+frames value is decimal feet, "+", and two digits of frames; frames count at the
// operator's frames per foot. Two column layouts exist: 0 (start, change text, length; an insert
// may have a line "<feet+frames> FROM #n" after it) and 1 (start, length, change text, which may
// hold "FROM n" itself). A ".txt" file is tried in layout 1 first, any other in layout 0 first.
//
// From the records, WriteTempEDL writes the system's temporary edit list (a stored list, see
// EDLReader.h) that the conform then reads like any other.
#pragma once

#include <memory>

#include "trevanny/EDLItemList.h"
#include "trevanny/SourceDestItem.h"
#include "trevanny/TimecodeSettings.h"
#include "winport/CFile.h"
#include "winport/CString.h"
#include "winport/Collections.h"

class CCutListRecord {
public:
    /// Record kinds.
    enum {
        enUnknown = 0, enDelete = 1, enInsert = 2, enTrimHead = 3, enTrimMiddle = 4, enTrimTail = 5,
        enLengthenHead = 6, enLengthenTail = 7, enMove = 8, enInsertFrom = 9, enInsertClip = 10, enNoChange = 11
    };

    CCutListRecord(int kind, int start, int length) : m_nKind(kind), m_nStart(start), m_nLength(length) {}
    virtual ~CCutListRecord() = default;

    CString GetName() const { return m_strClipName; }

    int m_nUnused = -1;
    int m_nKind;
    int m_nReference = -1;          ///< a move's pick-up number, or an insert's "FROM" number
    int m_nStart;                   ///< frames, in the new timeline
    int m_nLength;                  ///< frames
    int m_nClipSourceStart = 0;     ///< kind 10 only
    int m_nValue = 0;
    CString m_strClipName;          ///< kind 10 only
};

typedef CArray<CCutListRecord*, CCutListRecord*> CCutListRecordArray;

class TempEditListLock;

class CCutListFile {
public:
    /// Read statuses (GetStatus).
    enum { enReadOk = 0, enNotOpened = 1, enNotParsed = 2, enShort = 3 };

    CCutListFile();
    ~CCutListFile();
    CCutListFile(const CCutListFile&) = delete;
    CCutListFile& operator=(const CCutListFile&) = delete;

    /// Reads the binary cut list or change list at `path` into `records` (the caller deletes
    /// them). True when the file was read and, for a change list, held at least one change.
    BOOL Read(const CString& path, CCutListRecordArray& records);
    /// Why the last Read failed: 1 the file would not open; 2 a change list that did not parse
    /// in either layout, or a binary list too short for its leading numbers; 3 a binary list
    /// whose record count or a record does not fit the file. 0 after a good read.
    int GetStatus() const { return m_nStatus; }

    /// Builds the (source, destination) pairs of the records and writes them as the temporary
    /// edit list (TempEDLPath()), with the header, the reel table and the reel indexes. The
    /// list is written beside and renamed into place, under the lock file beside it, which this
    /// object holds until it is destroyed or ReleaseTempEDL is called, so that one conform
    /// never reads another's list. A second writer waits for the lock (WaitForLockMs at most).
    /// Throws CFileException when the lock is not had in time or the list cannot be written.
    void WriteTempEDL(const CString& sourcePath, CCutListRecordArray& records);
    /// Lets the next writer have the temporary edit list.
    void ReleaseTempEDL();

    /// "<Windows drive>:\cantle\edl files\VOK RESERVED TEMP.edl"
    static CString TempEDLPath();
    /// How long WriteTempEDL waits for another writer's lock.
    static void SetLockWaitMs(int ms);

    /// The pairs built by the last WriteTempEDL (source at 2k, destination at 2k+1).
    const CSourceDestItemArray& GetPairs() const { return m_Pairs; }
    const CTimecodeSettings& GetSettings() const { return m_Settings; }
    int GetLayout() const { return m_nLayout; }
    int GetOldDurationFrames() const { return m_nOldDurationFrames; }

    /// One change-list text -> its record kind (11 for "NO C...").
    static int KindFromText(const CString& text);
    /// "feet+ff" at `framesPerFoot` -> frames; false when the text is not such a value or the
    /// count does not fit an int.
    static bool ParseFeetFrames(const CString& text, int framesPerFoot, int& frames);

private:
    bool readBinary(CCutListRecordArray& records);
    bool readChangeList(const CString& path, int layout, CCutListRecordArray& records);

    CCutListRecordArray* m_pRecords = nullptr;
    CStdioFile m_file;
    CCutListRecord* m_pCurrent = nullptr;
    int m_nLayout = 0;
    int m_nOldDurationFeet = 0;
    int m_nOldDurationFrames = 0;
    int m_nChangeCounter = 0;
    CString m_strTypeText;
    CTimecodeSettings m_Settings;
    int m_nProgress = 0;
    BYTE m_bBinary = 0;
    CSourceDestItemArray m_Pairs;
    CSourceDestItemArray m_MovedPieces;
    int m_nStatus = enReadOk;
    std::unique_ptr<TempEditListLock> m_pLock;
};

/// Appends the items of the cut list or change list at `path` to `list`: a gap wherever a
/// change starts after the running position, then one item per change (kind 1 for removed
/// material, kind 2 for added), in the operator's time unit. Nothing when the file does not read.
void GetCutListItems(const CString& path, CEDLItemList& list);
