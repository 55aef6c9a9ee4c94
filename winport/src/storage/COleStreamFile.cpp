#include "winport/COleStreamFile.h"

#include "winport/CodePage.h"

COleStreamFile::~COleStreamFile() { Abort(); }

int COleStreamFile::CauseFromResult(HRESULT hr)
{
    switch (hr) {
    case STG_E_FILENOTFOUND: return CFileException::fileNotFound;
    case STG_E_PATHNOTFOUND: return CFileException::badPath;
    case STG_E_TOOMANYOPENFILES: return CFileException::tooManyOpenFiles;
    case STG_E_ACCESSDENIED: case STG_E_DISKISWRITEPROTECTED: return CFileException::accessDenied;
    case STG_E_INVALIDHANDLE: case STG_E_REVERTED: return CFileException::invalidFile;
    case STG_E_SEEKERROR: case STG_E_INVALIDFUNCTION: return CFileException::badSeek;
    case STG_E_READFAULT: case STG_E_WRITEFAULT: case STG_E_DOCFILECORRUPT: return CFileException::hardIO;
    case STG_E_SHAREVIOLATION: return CFileException::sharingViolation;
    case STG_E_LOCKVIOLATION: return CFileException::lockViolation;
    case STG_E_MEDIUMFULL: return CFileException::diskFull;
    default: return CFileException::genericException;
    }
}

void COleStreamFile::fail(HRESULT hr) const
{
    AfxThrowFileException(CauseFromResult(hr), hr, m_strFileName);
}

namespace {

BOOL openResult(HRESULT hr, const char* name, CFileException* error)
{
    if (SUCCEEDED(hr)) return TRUE;
    if (error) {
        error->m_cause = COleStreamFile::CauseFromResult(hr);
        error->m_lOsError = hr;
        error->m_strFileName = name;
    }
    return FALSE;
}

}  // namespace

BOOL COleStreamFile::CreateStream(IStorage* storage, const char* streamName, DWORD openFlags, CFileException* error)
{
    Abort();
    m_strFileName = streamName;
    HRESULT hr = storage ? storage->CreateStream(winport::WideFromCp1252(streamName ? streamName : "").c_str(), openFlags, 0, 0, &m_lpStream)
                         : STG_E_INVALIDPOINTER;
    return openResult(hr, streamName, error);
}

BOOL COleStreamFile::OpenStream(IStorage* storage, const char* streamName, DWORD openFlags, CFileException* error)
{
    Abort();
    m_strFileName = streamName;
    HRESULT hr = storage ? storage->OpenStream(winport::WideFromCp1252(streamName ? streamName : "").c_str(), nullptr, openFlags, 0, &m_lpStream)
                         : STG_E_INVALIDPOINTER;
    return openResult(hr, streamName, error);
}

void COleStreamFile::Attach(IStream* stream)
{
    Abort();
    m_lpStream = stream;
}

IStream* COleStreamFile::Detach()
{
    IStream* s = m_lpStream;
    m_lpStream = nullptr;
    return s;
}

void COleStreamFile::Close()
{
    // Releasing a stream of this layer cannot fail: its data is in the file already.
    Abort();
}

void COleStreamFile::Abort()
{
    if (m_lpStream) m_lpStream->Release();
    m_lpStream = nullptr;
}

UINT COleStreamFile::Read(void* buffer, UINT count)
{
    ULONG got = 0;
    HRESULT hr = m_lpStream ? m_lpStream->Read(buffer, count, &got) : STG_E_INVALIDHANDLE;
    if (FAILED(hr)) fail(hr);
    return got;
}

void COleStreamFile::Write(const void* buffer, UINT count)
{
    ULONG written = 0;
    HRESULT hr = m_lpStream ? m_lpStream->Write(buffer, count, &written) : STG_E_INVALIDHANDLE;
    if (FAILED(hr)) fail(hr);
    if (written != count) fail(STG_E_MEDIUMFULL);
}

LONGLONG COleStreamFile::Seek(LONGLONG offset, UINT from)
{
    LARGE_INTEGER move;
    move.QuadPart = offset;
    ULARGE_INTEGER pos;
    pos.QuadPart = 0;
    HRESULT hr = m_lpStream ? m_lpStream->Seek(move, from, &pos) : STG_E_INVALIDHANDLE;
    if (FAILED(hr)) fail(hr);
    return static_cast<LONGLONG>(pos.QuadPart);
}

ULONGLONG COleStreamFile::GetLength() const
{
    STATSTG st{};
    HRESULT hr = m_lpStream ? m_lpStream->Stat(&st, STATFLAG_NONAME) : STG_E_INVALIDHANDLE;
    if (FAILED(hr)) fail(hr);
    return st.cbSize.QuadPart;
}

void COleStreamFile::SetLength(ULONGLONG newLength)
{
    ULARGE_INTEGER size;
    size.QuadPart = newLength;
    HRESULT hr = m_lpStream ? m_lpStream->SetSize(size) : STG_E_INVALIDHANDLE;
    if (FAILED(hr)) fail(hr);
}

ULONGLONG COleStreamFile::GetPosition() const
{
    LARGE_INTEGER move;
    move.QuadPart = 0;
    ULARGE_INTEGER pos;
    pos.QuadPart = 0;
    HRESULT hr = m_lpStream ? m_lpStream->Seek(move, STREAM_SEEK_CUR, &pos) : STG_E_INVALIDHANDLE;
    if (FAILED(hr)) fail(hr);
    return pos.QuadPart;
}

void COleStreamFile::Flush()
{
    HRESULT hr = m_lpStream ? m_lpStream->Commit(STGC_DEFAULT) : STG_E_INVALIDHANDLE;
    if (FAILED(hr)) fail(hr);
}
