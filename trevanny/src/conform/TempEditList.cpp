#include "conform/TempEditList.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

#include "trevanny/CutListFile.h"
#include "trevanny/EDLReader.h"
#include "winport/Clock.h"
#include "winport/Paths.h"
#include "winport/ReplacementFile.h"

namespace {

std::atomic<int> g_lockWaitMs{30000};

std::string lockPath() { return winport::HostPath(CCutListFile::TempEDLPath()) + ".lock"; }

}  // namespace

void SetTempEditListLockWait(int ms) { g_lockWaitMs = ms; }

TempEditListLock::~TempEditListLock()
{
    if (m_fd >= 0) ::close(m_fd);
}

bool TempEditListLock::Acquire(int waitMs)
{
    std::string path = lockPath();
    winport::EnsureParentDir(path);
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_fd < 0) return false;
    winport::Clock& clock = winport::CurrentClock();
    uint64_t deadline = clock.nowMs() + static_cast<uint64_t>(waitMs > 0 ? waitMs : 0);
    for (;;) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        if (clock.nowMs() >= deadline) break;
        clock.sleepMs(5);
    }
    ::close(m_fd);
    m_fd = -1;
    return false;
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
