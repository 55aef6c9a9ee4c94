// Structured storage: compound files (the published compound-file format, version 3 written,
// versions 3 and 4 read) behind IStorage, IStream and IEnumSTATSTG.
//
// Files and element names are wide strings. A file name is turned into Windows-1252 bytes and
// mapped like every Windows path of the system (winport::HostPath). Element names are at most
// 31 characters, compare without regard to case and may not hold '/', '\\', ':' or '!'.
//
// Opening: the share modes lock the file against other openers, in this process and in others
// (advisory locks that follow the file when a save replaces it). Changes are kept in the file
// without touching what the last commit wrote, and become the file's content when the root
// storage is committed or released; a failed commit leaves the previous content as it was.
//
// The objects of one open file may be used from any thread; calls are serialised.
#pragma once

#include "winport/ComBase.h"

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef LPOLESTR* SNB;

// Access, sharing and creation modes.
#define STGM_DIRECT 0x00000000L
#define STGM_TRANSACTED 0x00010000L
#define STGM_SIMPLE 0x08000000L
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L
#define STGM_SHARE_DENY_NONE 0x00000040L
#define STGM_SHARE_DENY_READ 0x00000030L
#define STGM_SHARE_DENY_WRITE 0x00000020L
#define STGM_SHARE_EXCLUSIVE 0x00000010L
#define STGM_PRIORITY 0x00040000L
#define STGM_DELETEONRELEASE 0x04000000L
#define STGM_NOSCRATCH 0x00100000L
#define STGM_CREATE 0x00001000L
#define STGM_CONVERT 0x00020000L
#define STGM_FAILIFTHERE 0x00000000L
#define STGM_NOSNAPSHOT 0x00200000L
#define STGM_DIRECT_SWMR 0x00400000L

// Result codes.
#define STG_E_INVALIDFUNCTION ((HRESULT)0x80030001L)
#define STG_E_FILENOTFOUND ((HRESULT)0x80030002L)
#define STG_E_PATHNOTFOUND ((HRESULT)0x80030003L)
#define STG_E_TOOMANYOPENFILES ((HRESULT)0x80030004L)
#define STG_E_ACCESSDENIED ((HRESULT)0x80030005L)
#define STG_E_INVALIDHANDLE ((HRESULT)0x80030006L)
#define STG_E_INSUFFICIENTMEMORY ((HRESULT)0x80030008L)
#define STG_E_INVALIDPOINTER ((HRESULT)0x80030009L)
#define STG_E_NOMOREFILES ((HRESULT)0x80030012L)
#define STG_E_DISKISWRITEPROTECTED ((HRESULT)0x80030013L)
#define STG_E_SEEKERROR ((HRESULT)0x80030019L)
#define STG_E_WRITEFAULT ((HRESULT)0x8003001DL)
#define STG_E_READFAULT ((HRESULT)0x8003001EL)
#define STG_E_SHAREVIOLATION ((HRESULT)0x80030020L)
#define STG_E_LOCKVIOLATION ((HRESULT)0x80030021L)
#define STG_E_FILEALREADYEXISTS ((HRESULT)0x80030050L)
#define STG_E_INVALIDPARAMETER ((HRESULT)0x80030057L)
#define STG_E_MEDIUMFULL ((HRESULT)0x80030070L)
#define STG_E_INVALIDHEADER ((HRESULT)0x800300FBL)
#define STG_E_INVALIDNAME ((HRESULT)0x800300FCL)
#define STG_E_UNKNOWN ((HRESULT)0x800300FDL)
#define STG_E_UNIMPLEMENTEDFUNCTION ((HRESULT)0x800300FEL)
#define STG_E_INVALIDFLAG ((HRESULT)0x800300FFL)
#define STG_E_INUSE ((HRESULT)0x80030100L)
#define STG_E_REVERTED ((HRESULT)0x80030102L)
#define STG_E_DOCFILECORRUPT ((HRESULT)0x80030109L)

// Element types, seek origins and Stat flags.
enum tagSTGTY { STGTY_STORAGE = 1, STGTY_STREAM = 2, STGTY_LOCKBYTES = 3, STGTY_PROPERTY = 4 };
enum tagSTREAM_SEEK { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum tagSTATFLAG { STATFLAG_DEFAULT = 0, STATFLAG_NONAME = 1 };
#define STGC_DEFAULT 0

/// What Stat and EnumElements tell of an element. pwcsName is allocated with CoTaskMemAlloc
/// and freed by the caller with CoTaskMemFree (null with STATFLAG_NONAME).
struct STATSTG {
    LPOLESTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};

extern const IID IID_ISequentialStream;
extern const IID IID_IStream;
extern const IID IID_IStorage;
extern const IID IID_IEnumSTATSTG;

struct ISequentialStream : public IUnknown {
    /// Reads up to cb bytes from the current position; fewer at the end of the stream (S_OK).
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    /// Writes cb bytes at the current position, growing the stream as needed.
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IStream : public ISequentialStream {
    virtual HRESULT Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER libNewSize) = 0;
    virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
};
typedef IStream* LPSTREAM;

struct IEnumSTATSTG : public IUnknown {
    /// Up to celt elements; S_FALSE when fewer than celt were left.
    virtual HRESULT Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumSTATSTG** ppenum) = 0;
};

struct IStorage : public IUnknown {
    /// Creates a stream (STGM_CREATE replaces an element of the same name). The stream is
    /// opened with STGM_SHARE_EXCLUSIVE and the access of grfMode.
    virtual HRESULT CreateStream(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1,
                                 DWORD reserved2, IStream** ppstm) = 0;
    virtual HRESULT OpenStream(const OLECHAR* pwcsName, void* reserved1, DWORD grfMode,
                               DWORD reserved2, IStream** ppstm) = 0;
    virtual HRESULT CreateStorage(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1,
                                  DWORD reserved2, IStorage** ppstg) = 0;
    virtual HRESULT OpenStorage(const OLECHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                                SNB snbExclude, DWORD reserved, IStorage** ppstg) = 0;
    /// Makes every change of the file its committed content (any storage of the file may ask).
    virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                                 IEnumSTATSTG** ppenum) = 0;
    /// Removes an element (a storage with everything below it); open objects of it are reverted.
    virtual HRESULT DestroyElement(const OLECHAR* pwcsName) = 0;
    virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
};
typedef IStorage* LPSTORAGE;

/// S_OK when the file is a compound file, S_FALSE when it is not, STG_E_FILENOTFOUND when it
/// does not exist.
HRESULT StgIsStorageFile(const WCHAR* pwcsName);
/// Creates a compound file (version 3). An existing file is replaced only with STGM_CREATE,
/// and only when the new storage is first committed (or released): until then it stays as it was.
HRESULT StgCreateDocfile(const WCHAR* pwcsName, DWORD grfMode, DWORD reserved, IStorage** ppstgOpen);
/// Opens a compound file. Malformed files fail with STG_E_DOCFILECORRUPT or STG_E_INVALIDHEADER,
/// files that are not compound files with STG_E_FILEALREADYEXISTS, files open elsewhere in a
/// conflicting share mode with STG_E_SHAREVIOLATION.
HRESULT StgOpenStorage(const WCHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                       SNB snbExclude, DWORD reserved, IStorage** ppstgOpen);
