// CObject and the class library's exception objects. Exceptions are thrown as pointers, as the
// system's design does (throw new ...; catch (CException* e) { ...; e->Delete(); }).
#pragma once

#include "winport/CString.h"
#include "winport/WinTypes.h"

class CArchive;

class CObject {
public:
    virtual ~CObject() = default;
    virtual void Serialize(CArchive& ar) {}
    virtual BOOL IsSerializable() const { return FALSE; }
protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// Run-time class information is not used by this system's code paths; the declarations are
// kept so that class declarations read as they were designed.
#define DECLARE_DYNAMIC(class_name)
#define IMPLEMENT_DYNAMIC(class_name, base_class_name)
#define DECLARE_DYNCREATE(class_name)
#define IMPLEMENT_DYNCREATE(class_name, base_class_name)
#define DECLARE_SERIAL(class_name)
#define IMPLEMENT_SERIAL(class_name, base_class_name, schema)

class CException : public CObject {
public:
    /// Frees an exception caught by pointer.
    void Delete() { delete this; }
    virtual BOOL GetErrorMessage(char* buffer, UINT maxLength, UINT* helpContext = nullptr) const;
    virtual CString What() const { return "exception"; }
};

class CMemoryException : public CException {
public:
    CString What() const override { return "out of memory"; }
};

class CNotSupportedException : public CException {
public:
    CString What() const override { return "not supported"; }
};

class CUserException : public CException {
public:
    CString What() const override { return "user exception"; }
};

class CFileException : public CException {
public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };
    explicit CFileException(int cause = none, LONG osError = -1, const char* fileName = nullptr)
        : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}
    /// Maps a Windows error code to a cause, as the class library does.
    static int OsErrorToException(LONG osError);
    /// Maps errno to the Windows error code that the same failure gives on Windows.
    static LONG ErrnoToOsError(int err);
    CString What() const override;

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

class CArchiveException : public CException {
public:
    enum { none, generic, readOnly, endOfFile, writeOnly, badIndex, badClass, badSchema };
    explicit CArchiveException(int cause = none, const char* fileName = nullptr)
        : m_cause(cause), m_strFileName(fileName) {}
    CString What() const override;
    int m_cause;
    CString m_strFileName;
};

[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowNotSupportedException();
[[noreturn]] void AfxThrowUserException();
[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1, const char* fileName = nullptr);
[[noreturn]] void AfxThrowArchiveException(int cause, const char* fileName = nullptr);
