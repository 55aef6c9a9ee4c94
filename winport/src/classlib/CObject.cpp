#include "winport/CObject.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

BOOL CException::GetErrorMessage(char* buffer, UINT maxLength, UINT* helpContext) const
{
    if (helpContext) *helpContext = 0;
    if (!buffer || maxLength == 0) return FALSE;
    CString text = What();
    std::snprintf(buffer, maxLength, "%s", text.c_str());
    return TRUE;
}

int CFileException::OsErrorToException(LONG osError)
{
    switch (osError) {
    case NO_ERROR: return none;
    case ERROR_FILE_NOT_FOUND: return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH: return badPath;
    case ERROR_TOO_MANY_OPEN_FILES: return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED: return accessDenied;
    case ERROR_INVALID_HANDLE: return invalidFile;
    case ERROR_SHARING_VIOLATION: return sharingViolation;
    case ERROR_LOCK_VIOLATION: return lockViolation;
    case ERROR_DISK_FULL: return diskFull;
    case ERROR_HANDLE_EOF: return endOfFile;
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT: return hardIO;
    default: return genericException;
    }
}

LONG CFileException::ErrnoToOsError(int err)
{
    switch (err) {
    case 0: return NO_ERROR;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EWOULDBLOCK: return ERROR_SHARING_VIOLATION;
    case ENOSPC: return ERROR_DISK_FULL;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EIO: return ERROR_WRITE_FAULT;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_INVALID_FUNCTION;
    }
}

CString CFileException::What() const
{
    CString s;
    s.Format("file error %d (Windows error %d) on '%s'", m_cause, static_cast<int>(m_lOsError), m_strFileName.c_str());
    return s;
}

CString CArchiveException::What() const
{
    CString s;
    s.Format("archive error %d on '%s'", m_cause, m_strFileName.c_str());
    return s;
}

void AfxThrowMemoryException() { throw new CMemoryException; }
void AfxThrowNotSupportedException() { throw new CNotSupportedException; }
void AfxThrowUserException() { throw new CUserException; }
void AfxThrowFileException(int cause, LONG osError, const char* fileName)
{
    throw new CFileException(cause, osError, fileName);
}
void AfxThrowArchiveException(int cause, const char* fileName) { throw new CArchiveException(cause, fileName); }
