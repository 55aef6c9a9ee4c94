// COleStreamFile: a stream of a structured-storage file used as a CFile. The open flags are the
// CFile flags, which have the values of the storage modes (modeCreate | modeReadWrite |
// shareExclusive is 0x1012). Names are byte strings of the ANSI code page (Windows-1252).
// Open failures give FALSE and fill the exception object; read, write and seek failures throw
// CFileException with the storage result in m_lOsError.
#pragma once

#include "winport/CFile.h"
#include "winport/Storage.h"

class COleStreamFile : public CFile {
public:
    explicit COleStreamFile(IStream* stream = nullptr) : m_lpStream(stream) {}
    ~COleStreamFile() override;

    BOOL CreateStream(IStorage* storage, const char* streamName,
                      DWORD openFlags = modeReadWrite | shareExclusive | modeCreate, CFileException* error = nullptr);
    BOOL OpenStream(IStorage* storage, const char* streamName, DWORD openFlags = modeReadWrite | shareExclusive,
                    CFileException* error = nullptr);
    /// Takes over a reference the caller holds.
    void Attach(IStream* stream);
    /// Gives up the stream without releasing it.
    IStream* Detach();
    IStream* GetStream() const { return m_lpStream; }
    BOOL IsOpen() const { return m_lpStream != nullptr; }

    void Close() override;
    void Abort() override;
    UINT Read(void* buffer, UINT count) override;
    void Write(const void* buffer, UINT count) override;
    LONGLONG Seek(LONGLONG offset, UINT from) override;
    ULONGLONG GetLength() const override;
    void SetLength(ULONGLONG newLength) override;
    ULONGLONG GetPosition() const override;
    void Flush() override;

    /// The CFileException cause for a storage result.
    static int CauseFromResult(HRESULT hr);

private:
    [[noreturn]] void fail(HRESULT hr) const;
    IStream* m_lpStream;
};
