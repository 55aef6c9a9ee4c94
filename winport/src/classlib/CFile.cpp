#include "winport/CFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "winport/Paths.h"

namespace {

[[noreturn]] void throwErrno(int err, const CString& name)
{
    LONG os = CFileException::ErrnoToOsError(err);
    AfxThrowFileException(CFileException::OsErrorToException(os), os, name);
}

}  // namespace

CFile::CFile(const char* fileName, UINT openFlags)
{
    CFileException error;
    if (!Open(fileName, openFlags, &error)) {
        AfxThrowFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
    }
}

CFile::~CFile()
{
    if (m_fd >= 0) ::close(m_fd);
}

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    if (m_fd >= 0) Close();
    m_strFileName = fileName;
    m_hostPath = winport::HostPath(fileName);
    int flags = O_CLOEXEC;
    switch (openFlags & 3) {
    case modeRead: flags |= O_RDONLY; break;
    case modeWrite: flags |= O_WRONLY; break;
    default: flags |= O_RDWR; break;
    }
    if (openFlags & modeCreate) {
        flags |= O_CREAT;
        if (!(openFlags & modeNoTruncate)) flags |= O_TRUNC;
    }
    int fd = ::open(m_hostPath.c_str(), flags & ~O_TRUNC, 0644);
    int err = errno;
    if (fd >= 0) {
        // Share modes: the exclusive forms lock out other writers and readers that lock too.
        UINT share = openFlags & 0x70;
        int lockOp = -1;
        bool writing = (openFlags & 3) != modeRead;
        if (share == shareExclusive || share == shareCompat) lockOp = writing ? LOCK_EX : LOCK_SH;
        else if (share == shareDenyWrite) lockOp = LOCK_SH;
        else if (share == shareDenyRead) lockOp = LOCK_EX;
        if (lockOp >= 0 && ::flock(fd, lockOp | LOCK_NB) != 0) {
            ::close(fd);
            fd = -1;
            err = EWOULDBLOCK;
        } else if ((flags & O_CREAT) && !(openFlags & modeNoTruncate)) {
            if (::ftruncate(fd, 0) != 0) {
                err = errno;
                ::close(fd);
                fd = -1;
            }
        }
    }
    if (fd < 0) {
        if (error) {
            error->m_lOsError = CFileException::ErrnoToOsError(err);
            error->m_cause = CFileException::OsErrorToException(error->m_lOsError);
            error->m_strFileName = fileName;
        }
        return FALSE;
    }
    m_fd = fd;
    return TRUE;
}

void CFile::Close()
{
    if (m_fd >= 0) {
        int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) throwErrno(errno, m_strFileName);
    }
}

void CFile::Abort()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

UINT CFile::Read(void* buffer, UINT count)
{
    if (m_fd < 0) AfxThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
    BYTE* out = static_cast<BYTE*>(buffer);
    UINT done = 0;
    while (done < count) {
        ssize_t n = ::read(m_fd, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, m_strFileName);
        }
        if (n == 0) break;
        done += static_cast<UINT>(n);
    }
    return done;
}

void CFile::Write(const void* buffer, UINT count)
{
    if (m_fd < 0) AfxThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
    const BYTE* in = static_cast<const BYTE*>(buffer);
    UINT done = 0;
    while (done < count) {
        ssize_t n = ::write(m_fd, in + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throwErrno(errno, m_strFileName);
        }
        done += static_cast<UINT>(n);
    }
}

LONGLONG CFile::Seek(LONGLONG offset, UINT from)
{
    int whence = from == begin ? SEEK_SET : (from == current ? SEEK_CUR : SEEK_END);
    off_t r = ::lseek(m_fd, static_cast<off_t>(offset), whence);
    if (r < 0) AfxThrowFileException(CFileException::badSeek, ERROR_INVALID_PARAMETER, m_strFileName);
    return r;
}

ULONGLONG CFile::GetLength() const
{
    struct stat st;
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) AfxThrowFileException(CFileException::invalidFile, ERROR_INVALID_HANDLE, m_strFileName);
    return static_cast<ULONGLONG>(st.st_size);
}

void CFile::SetLength(ULONGLONG newLength)
{
    if (::ftruncate(m_fd, static_cast<off_t>(newLength)) != 0) throwErrno(errno, m_strFileName);
}

ULONGLONG CFile::GetPosition() const
{
    off_t r = ::lseek(m_fd, 0, SEEK_CUR);
    if (r < 0) AfxThrowFileException(CFileException::badSeek, ERROR_INVALID_PARAMETER, m_strFileName);
    return static_cast<ULONGLONG>(r);
}

void CFile::Flush()
{
    if (m_fd >= 0 && ::fsync(m_fd) != 0 && errno != EINVAL) throwErrno(errno, m_strFileName);
}

CString CFile::GetFileName() const
{
    int slash = std::max(m_strFileName.ReverseFind('\\'), m_strFileName.ReverseFind('/'));
    return m_strFileName.Mid(slash + 1);
}

void CFile::Remove(const char* fileName)
{
    if (::unlink(winport::HostPath(fileName).c_str()) != 0) throwErrno(errno, fileName);
}

void CFile::Rename(const char* oldName, const char* newName)
{
    if (::rename(winport::HostPath(oldName).c_str(), winport::HostPath(newName).c_str()) != 0) throwErrno(errno, oldName);
}

CMemFile::CMemFile(const BYTE* data, UINT size) : m_data(data, data + size) {}

UINT CMemFile::Read(void* buffer, UINT count)
{
    size_t n = std::min<size_t>(count, m_pos < m_data.size() ? m_data.size() - m_pos : 0);
    if (n) std::memcpy(buffer, m_data.data() + m_pos, n);
    m_pos += n;
    return static_cast<UINT>(n);
}

void CMemFile::Write(const void* buffer, UINT count)
{
    if (m_pos + count > m_data.size()) m_data.resize(m_pos + count);
    if (count) std::memcpy(m_data.data() + m_pos, buffer, count);
    m_pos += count;
}

LONGLONG CMemFile::Seek(LONGLONG offset, UINT from)
{
    LONGLONG base = from == begin ? 0 : (from == current ? static_cast<LONGLONG>(m_pos) : static_cast<LONGLONG>(m_data.size()));
    LONGLONG to = base + offset;
    if (to < 0) AfxThrowFileException(CFileException::badSeek, ERROR_INVALID_PARAMETER);
    m_pos = static_cast<size_t>(to);
    return to;
}

BOOL CStdioFile::Open(const char* fileName, UINT openFlags, CFileException* error)
{
    m_bText = !(openFlags & typeBinary);
    m_readBuffer.clear();
    m_readPos = 0;
    return CFile::Open(fileName, openFlags & ~(typeText | typeBinary), error);
}

bool CStdioFile::fillBuffer()
{
    if (m_readPos < m_readBuffer.size()) return true;
    m_bufferOrigin = CFile::GetPosition();
    m_readBuffer.resize(kBufferSize);
    UINT n = CFile::Read(m_readBuffer.data(), static_cast<UINT>(m_readBuffer.size()));
    m_readBuffer.resize(n);
    m_readPos = 0;
    return n > 0;
}

BOOL CStdioFile::ReadString(CString& line)
{
    std::string s;
    bool any = false;
    while (fillBuffer()) {
        any = true;
        const char* start = m_readBuffer.data() + m_readPos;
        size_t left = m_readBuffer.size() - m_readPos;
        const void* nl = std::memchr(start, '\n', left);
        size_t take = nl ? static_cast<size_t>(static_cast<const char*>(nl) - start) : left;
        s.append(start, take);
        m_readPos += take;
        if (nl) {
            ++m_readPos;
            break;
        }
    }
    if (m_bText && !s.empty() && s.back() == '\r') s.pop_back();
    line = CString(s);
    return any;
}

void CStdioFile::WriteString(const char* text)
{
    if (!text) return;
    if (!m_bText) {
        Write(text, static_cast<UINT>(std::strlen(text)));
        return;
    }
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n') out += '\r';
        out += *p;
    }
    Write(out.data(), static_cast<UINT>(out.size()));
}

void CStdioFile::Write(const void* buffer, UINT count)
{
    if (!m_readBuffer.empty()) {
        // The descriptor stands at the buffer's end: move it back to where the caller is.
        ULONGLONG at = m_bufferOrigin + m_readPos;
        m_readBuffer.clear();
        m_readPos = 0;
        CFile::Seek(static_cast<LONGLONG>(at), begin);
    }
    CFile::Write(buffer, count);
}

UINT CStdioFile::Read(void* buffer, UINT count)
{
    BYTE* out = static_cast<BYTE*>(buffer);
    UINT done = 0;
    while (done < count) {
        if (m_readPos >= m_readBuffer.size()) {
            // Large reads go straight to the file; small ones through the buffer.
            if (count - done >= kBufferSize) return done + CFile::Read(out + done, count - done);
            if (!fillBuffer()) break;
        }
        size_t n = std::min<size_t>(count - done, m_readBuffer.size() - m_readPos);
        std::memcpy(out + done, m_readBuffer.data() + m_readPos, n);
        m_readPos += n;
        done += static_cast<UINT>(n);
    }
    return done;
}

LONGLONG CStdioFile::Seek(LONGLONG offset, UINT from)
{
    if (!m_readBuffer.empty() && from != end) {
        // A target inside the buffer only moves the read point.
        LONGLONG origin = static_cast<LONGLONG>(m_bufferOrigin);
        LONGLONG target = from == begin ? offset : origin + static_cast<LONGLONG>(m_readPos) + offset;
        if (target >= origin && target <= origin + static_cast<LONGLONG>(m_readBuffer.size())) {
            m_readPos = static_cast<size_t>(target - origin);
            return target;
        }
    }
    if (from == current) offset -= static_cast<LONGLONG>(m_readBuffer.size() - m_readPos);
    m_readBuffer.clear();
    m_readPos = 0;
    return CFile::Seek(offset, from);
}

ULONGLONG CStdioFile::GetPosition() const
{
    if (!m_readBuffer.empty()) return m_bufferOrigin + m_readPos;
    return CFile::GetPosition();
}
