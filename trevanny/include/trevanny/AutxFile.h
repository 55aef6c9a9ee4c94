// The indexed automation file ("AUTXFILE"): a 1024-byte header with a directory of up to 28
// numbered blocks, followed by the blocks, appended one after another. A block is an opaque byte
// string (an event array, a parameter array, a map). Blocks longer than 1000 bytes are stored
// zlib-compressed in chunks of at most 256 KB when the machine's "CompressedAuto" setting is on.
//
// Layout (little-endian 32-bit integers):
//   0 "AUTXFILE", 8 version (2; version 1 files are read too), 12 header value 2, 16 header
//   value 1, 20 header value 3, 24 header value 4, 28 header value 5, 32 header value 6 (not in
//   version 1, where everything below starts 4 bytes earlier), 36 entry count n (0 to 28),
//   40 n entries of {i32 id, u32 offset, u32 size, u32 chunk count}, then 0xBB up to 1024.
//   A compressed block is `chunk count` chunks of {u32 number from 1, u32 length, u32 packed
//   length c, c bytes of zlib data}.
//
// One object serves one thread. The file is opened for reading and writing and locked against
// a second opener for as long as it is open.
#pragma once

#include <cstdint>
#include <memory>

#include "winport/CFile.h"
#include "winport/Collections.h"
#include "winport/WinTypes.h"

/// One directory slot. A negative id marks a free slot.
struct AutxDirectoryEntry {
    int32_t id;
    uint32_t offset;  ///< from the start of the file
    uint32_t size;    ///< the block's uncompressed length in bytes
    uint32_t chunks;  ///< 0: stored plain
};
static_assert(sizeof(AutxDirectoryEntry) == 16);

class CAutxFile {
public:
    static constexpr int kMaxEntries = 28;
    static constexpr uint32_t kHeaderSize = 1024;
    /// Blocks longer than this are compressed (when compression is on).
    static constexpr uint32_t kCompressAbove = 1000;
    /// Uncompressed bytes per chunk at most.
    static constexpr uint32_t kChunkSize = 0x40000;
    /// Room for one compressed chunk: the chunk length plus a tenth plus 12 bytes.
    static constexpr uint32_t kPackedChunkMax = kChunkSize * 110 / 100 + 12;
    /// Pause before each compressed chunk is written, so that a long save leaves the disk to
    /// the console's other programs.
    static constexpr DWORD kChunkPauseMs = 10;

    /// Reads "CompressedAuto" from the local machine's "SOFTWARE\VOKDWEN\KIVSERVER" (default on).
    CAutxFile();
    ~CAutxFile();
    CAutxFile(const CAutxFile&) = delete;
    CAutxFile& operator=(const CAutxFile&) = delete;

    /// Opens (creating when missing) the file for reading and writing and reads its header.
    /// False when the file cannot be opened; a file without a valid header still opens, with
    /// IsHeaderValid() false. An open file is closed first.
    bool Open(const char* path);
    /// Opens an existing file for reading only (others may read it too) and reads its header.
    /// Nothing is ever written to a file opened so: adding fails and closing writes nothing.
    /// False when the file cannot be opened.
    bool OpenForReading(const char* path);
    /// Writes the header when blocks were added or the file is still empty, then closes. False
    /// when nothing was open or the header could not be written.
    bool Close();

    /// Appends a block under `id` (0 or above). A block already stored under the id stays in
    /// the file, unreachable. False, with nothing changed, when no file is open for writing, the id is
    /// negative, the directory is full, the file is a non-empty file without a valid header
    /// (it is never overwritten), the file has reached 4 GB or the write fails.
    bool AddEntry(int id, const void* data, unsigned size);
    template <class ARG>
    bool AddWordArray(int id, const CArray<WORD, ARG>& a) { return addArray(id, a.GetData(), a.GetSize(), sizeof(WORD)); }
    template <class ARG>
    bool AddDwordArray(int id, const CArray<DWORD, ARG>& a) { return addArray(id, a.GetData(), a.GetSize(), sizeof(DWORD)); }

    /// Reads the block of `id` into `buffer`, at most `capacity` bytes. True when the whole
    /// block was read; a block larger than `capacity` fills the capacity and gives false, a
    /// missing id, a short file or damaged compressed data give false.
    bool ReadEntry(int id, void* buffer, unsigned capacity);
    /// Sizes the array to the block's whole elements and reads the block into it. False, with
    /// the array empty, when the block cannot be read.
    template <class ARG>
    bool ReadWordArray(int id, CArray<WORD, ARG>& a) { return readArray(id, a); }
    template <class ARG>
    bool ReadDwordArray(int id, CArray<DWORD, ARG>& a) { return readArray(id, a); }
    /// The same for elements of any fixed size (records of flags, events).
    template <class T, class ARG>
    bool ReadRecords(int id, CArray<T, ARG>& a) { return readArray(id, a); }

    /// True when the directory names `id` (whether or not its block can be read).
    bool HasEntry(int id) const
    {
        const int slot = id < 0 ? -1 : FindEntry(id);
        return slot >= 0 && m_directory[slot].id == id;
    }
    /// The slot holding `id`; else the first free slot; else -1.
    int FindEntry(int id) const;
    const AutxDirectoryEntry& GetDirectoryEntry(int slot) const { return m_directory[slot]; }

    bool IsOpen() const { return m_file != nullptr; }
    bool IsHeaderValid() const { return m_bHeaderValid; }
    bool IsCompressing() const { return m_bCompress; }

    // Header values: a reader takes them from the header, a writer sets them before the header
    // is written (at the first add, and again at Close).
    DWORD m_dwVersion = 0;
    DWORD m_dwHeaderValue1 = 0;  ///< stored at byte 16
    DWORD m_dwHeaderValue2 = 0;  ///< stored at byte 12
    DWORD m_dwHeaderValue3 = 0;  ///< stored at byte 20
    DWORD m_dwHeaderValue4 = 0;  ///< stored at byte 24
    DWORD m_dwHeaderValue5 = 0;  ///< stored at byte 28
    DWORD m_dwSpare = 0;         ///< the caller's own; never stored
    DWORD m_dwHeaderValue6 = 1;  ///< stored at byte 32; 1 for version 1 files

private:
    bool openWith(const char* path, UINT flags, bool readOnly);
    bool addArray(int id, const void* data, INT_PTR count, size_t elementSize);
    /// The size of the block of `id` when it exists and the file is large enough to hold it.
    bool plausibleBlockSize(int id, uint32_t& size);
    template <class T, class ARG>
    bool readArray(int id, CArray<T, ARG>& a)
    {
        a.RemoveAll();
        uint32_t size = 0;
        if (!plausibleBlockSize(id, size)) return false;
        // Room for the whole block; a trailing part element is dropped after the read.
        a.SetSize(static_cast<INT_PTR>((static_cast<uint64_t>(size) + sizeof(T) - 1) / sizeof(T)));
        if (!ReadEntry(id, a.GetData(), size)) {
            a.RemoveAll();
            return false;
        }
        a.SetSize(static_cast<INT_PTR>(size / sizeof(T)));
        return true;
    }
    void resetDirectory();
    void readHeader();
    void writeHeader();
    void writeBlock(const BYTE* data, uint32_t size, uint32_t& chunks);
    bool readChunks(const AutxDirectoryEntry& entry, BYTE* buffer, uint32_t capacity);

    std::unique_ptr<CFile> m_file;
    AutxDirectoryEntry m_directory[kMaxEntries];
    bool m_bHeaderValid = false;
    bool m_bDirty = false;
    bool m_bCompress = true;
    bool m_bReadOnly = false;
};

/// True when the file's first eight bytes are "AUTXFILE", in any case. False when it cannot
/// be opened (it is opened for reading without sharing).
bool IsAutxFile(const char* path);
