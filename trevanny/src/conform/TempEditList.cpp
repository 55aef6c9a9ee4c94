#include "conform/TempEditList.h"

#include <atomic>
#include <climits>
#include <string>

#include "trevanny/CutListFile.h"
#include "trevanny/EDLReader.h"
#include "winport/Clock.h"
#include "winport/FileLock.h"
#include "winport/Paths.h"
#include "winport/ReplacementFile.h"

namespace {

std::atomic<int> g_lockWaitMs{30000};

std::string lockPath() { return winport::HostPath(CCutListFile::TempEDLPath()) + ".lock"; }

}  // namespace

void SetTempEditListLockWait(int ms) { g_lockWaitMs = ms; }

bool TempEditListLock::Acquire(int waitMs)
{
    std::string path = lockPath();
    winport::EnsureParentDir(path);
    winport::Clock& clock = winport::CurrentClock();
    uint64_t deadline = clock.nowMs() + static_cast<uint64_t>(waitMs > 0 ? waitMs : 0);
    for (;;) {
        const winport::FileLock::Result result = m_lock.TryLock(path, 0644);
        if (result == winport::FileLock::Result::Taken) return true;
        if (result == winport::FileLock::Result::Failed || clock.nowMs() >= deadline) return false;
        clock.sleepMs(5);
    }
}

void TempEditListLock::AcquireOrThrow()
{
    if (!Acquire(g_lockWaitMs)) {
        AfxThrowFileException(CFileException::sharingViolation, ERROR_SHARING_VIOLATION, CCutListFile::TempEDLPath());
    }
}

void AppendEditListPair(CSourceDestItemArray& pairs, int64_t sourceStart, int64_t destinationStart, int64_t length,
                        const CString& reel, int reference, int64_t sourceLength)
{
    for (int64_t v : {sourceStart, destinationStart, length, sourceLength}) {
        if (v < INT_MIN || v > INT_MAX) return;
    }
    CSourceDestItem source, destination;
    source.m_nStart = static_cast<int>(sourceStart);
    source.m_nLength = static_cast<int>(sourceLength);
    source.m_nIndex = reference;
    destination.m_nStart = static_cast<int>(destinationStart);
    destination.m_nLength = static_cast<int>(length);
    destination.SetEvent(new CEDLEvent);
    destination.m_pEvent->m_strReelName = reel;
    pairs.Add(std::move(source));
    pairs.Add(std::move(destination));
}

void WriteStoredEditList(const CString& path, const CTimecodeSettings& settings, const CEDLReelTable& reels,
                         const CSourceDestItemArray& pairs)
{
    const std::string host = winport::HostPath(path);
    winport::EnsureParentDir(host);
    winport::ReplacementFile replacement(host);
    if (!replacement.Made()) AfxThrowFileException(CFileException::accessDenied, errno ? errno : EACCES, path);
    {
        CEDLReader writer(replacement.TempPath().c_str(), CEDLReader::enGeneric);
        CFileException error;
        if (!writer.Open(CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone | CFile::typeBinary, &error)) {
            AfxThrowFileException(error.m_cause, error.m_lOsError, path);
        }
        try {
            writer.WriteHeader(settings, reels);
            for (INT_PTR i = 0; i + 1 < pairs.GetSize(); i += 2) writer.WriteStoredEvent(pairs[i], pairs[i + 1]);
        } catch (CFileException*) {
            writer.Close();
            throw;
        }
    }
    if (!replacement.Install()) AfxThrowFileException(CFileException::genericException, errno ? errno : EIO, path);
}
