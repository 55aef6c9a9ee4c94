// The system's temporary edit list ("VOK RESERVED TEMP.edl" on the Windows drive): the cut-list
// conversion and the range conforms write their pairs there and the conform reads them back.
// One conform at a time owns it, through a lock file beside it that is held from before the
// list is written until its conform has read it.
#pragma once

#include <cstdint>

#include "trevanny/EDLReelTable.h"
#include "trevanny/SourceDestItem.h"
#include "trevanny/TimecodeSettings.h"
#include "winport/CString.h"
#include "winport/FileLock.h"

/// The end of the timeline, in frames: 24 hours at 24, 25 or (any other rate) 30 frames a second.
inline int TimelineEndFrames(int framesPerSec) { return framesPerSec == 24 ? 2073600 : framesPerSec == 25 ? 2160000 : 2592000; }

class TempEditListLock {
public:

    /// Waits up to waitMs for the lock; false when another conform keeps it.
    bool Acquire(int waitMs);
    /// Acquire for the configured wait (CCutListFile::SetLockWaitMs); throws CFileException
    /// (sharing violation) when another conform keeps the lock that long.
    void AcquireOrThrow();

private:
    winport::FileLock m_lock;
};

/// How long AcquireOrThrow waits (30 s unless set).
void SetTempEditListLockWait(int ms);

/// Appends the pair source (start, sourceLength, reference) -> destination (start, length) on
/// `reel` (the destination owns an event naming it). A pair whose numbers leave the int range is
/// not made.
void AppendEditListPair(CSourceDestItemArray& pairs, int64_t sourceStart, int64_t destinationStart, int64_t length,
                        const CString& reel, int reference, int64_t sourceLength);
inline void AppendEditListPair(CSourceDestItemArray& pairs, int64_t sourceStart, int64_t destinationStart, int64_t length,
                               const CString& reel, int reference)
{
    AppendEditListPair(pairs, sourceStart, destinationStart, length, reel, reference, length);
}

/// Writes the header (settings, reels) and every pair (source at 2k, destination at 2k+1) as a
/// stored edit list at `path`: beside it first, then renamed into place, so that a failed write
/// leaves no half list. Throws CFileException when the list cannot be created or written.
void WriteStoredEditList(const CString& path, const CTimecodeSettings& settings, const CEDLReelTable& reels,
                         const CSourceDestItemArray& pairs);
