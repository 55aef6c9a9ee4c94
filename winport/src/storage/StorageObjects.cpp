// IStorage, IStream and IEnumSTATSTG over the compound-file engine, the share-mode locks and
// the Stg* entry points.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "storage/CompoundFile.h"
#include "winport/CodePage.h"
#include "winport/Paths.h"
#include "winport/Storage.h"
#include "winport/Trace.h"

const IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
const IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IStorage = {0x0000000B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IEnumSTATSTG = {0x0000000D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

using winport::cfb::CompoundFile;
using winport::cfb::DirEntry;
namespace cfb = winport::cfb;

const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// ---- share-mode locks ----------------------------------------------------------------------
// Each opener holds a shared lock on one byte per access right it has and one per right it
// denies, far past any real data (open-file-description locks: they work between the opens of
// one process as between processes, and follow the file through a rename). An opener conflicts
// with the others when someone denies what it asks or has what it denies. Locks are taken first
// and checked after, so two openers racing each other both fail rather than both succeed.
constexpr off_t kLockBase = off_t(1) << 62;
enum : unsigned { kRightRead = 1, kRightWrite = 2 };

bool lockByte(int fd, off_t offset)
{
    struct flock fl {};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

bool heldByOthers(int fd, off_t offset)
{
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = 1;
    if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
}

bool takeShareLocks(int fd, unsigned access, unsigned deny)
{
    for (unsigned bit = 0; bit < 2; ++bit) {
        if ((access >> bit) & 1u && !lockByte(fd, kLockBase + bit)) return false;
        if ((deny >> bit) & 1u && !lockByte(fd, kLockBase + 2 + bit)) return false;
    }
    for (unsigned bit = 0; bit < 2; ++bit) {
        if ((access >> bit) & 1u && heldByOthers(fd, kLockBase + 2 + bit)) return false;
        if ((deny >> bit) & 1u && heldByOthers(fd, kLockBase + bit)) return false;
    }
    return true;
}

HRESULT errnoResult(int err)
{
    switch (err) {
    case ENOENT: return STG_E_FILENOTFOUND;
    case ENOTDIR: return STG_E_PATHNOTFOUND;
    case EACCES: case EPERM: case EISDIR: return STG_E_ACCESSDENIED;
    case EROFS: return STG_E_DISKISWRITEPROTECTED;
    case EMFILE: case ENFILE: return STG_E_TOOMANYOPENFILES;
    case ENOSPC: case EDQUOT: return STG_E_MEDIUMFULL;
    default: return STG_E_UNKNOWN;
    }
}

// Opens the file that is at path when the locks are taken (a save may replace it meanwhile).
HRESULT openLocked(const std::string& path, bool writable, unsigned access, unsigned deny, int& fd)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        int f = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
        if (f < 0) return errnoResult(errno);
        struct stat opened, current;
        if (::fstat(f, &opened) != 0 || S_ISDIR(opened.st_mode)) {
            ::close(f);
            return STG_E_ACCESSDENIED;
        }
        if (!takeShareLocks(f, access, deny)) {
            ::close(f);
            return STG_E_SHAREVIOLATION;
        }
        if (::stat(path.c_str(), &current) == 0 && current.st_dev == opened.st_dev && current.st_ino == opened.st_ino) {
            fd = f;
            return S_OK;
        }
        ::close(f);
    }
    return STG_E_SHAREVIOLATION;
}

void syncFolderOf(const std::string& path)
{
    std::string dir = path.substr(0, path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/'));
    int d = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d >= 0) {
        ::fsync(d);
        ::close(d);
    }
}

// ---- names ---------------------------------------------------------------------------------

HRESULT elementName(const OLECHAR* name, std::u16string& out)
{
    if (!name) return STG_E_INVALIDPOINTER;
    out.clear();
    for (const OLECHAR* p = name; *p; ++p) {
        const auto c = static_cast<uint32_t>(*p);
        if (c == '/' || c == '\\' || c == ':' || c == '!' || c > 0x10FFFF) return STG_E_INVALIDNAME;
        if (c >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(c));
        }
        if (out.size() > cfb::kMaxNameLength) return STG_E_INVALIDNAME;
    }
    return out.empty() ? STG_E_INVALIDNAME : S_OK;
}

std::wstring wideName(const std::u16string& name)
{
    std::wstring out;
    for (size_t i = 0; i < name.size(); ++i) {
        char32_t c = name[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (name[i + 1] - 0xDC00);
            ++i;
        }
        out.push_back(static_cast<wchar_t>(c));
    }
    return out;
}

LPOLESTR taskString(const std::wstring& text)
{
    auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (p) std::wmemcpy(p, text.c_str(), text.size() + 1);
    return p;
}

FILETIME fileTime(uint64_t t)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(t);
    ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
    return ft;
}

// Fills a STATSTG from an element; the name is left to the caller.
void describe(const DirEntry& e, DWORD mode, STATSTG& st)
{
    std::memset(&st, 0, sizeof st);
    st.type = e.type == cfb::kStream ? STGTY_STREAM : STGTY_STORAGE;
    st.cbSize.QuadPart = e.type == cfb::kStream ? e.size : 0;
    st.mtime = fileTime(e.modifiedTime);
    st.ctime = fileTime(e.createdTime);
    st.grfMode = mode;
    st.clsid = e.clsid;
    st.grfStateBits = e.stateBits;
}

// Streams and sub-storages are opened share-exclusive, direct, with a valid access.
HRESULT checkElementMode(DWORD mode)
{
    if ((mode & 3) == 3) return STG_E_INVALIDFLAG;
    if ((mode & 0x70) != STGM_SHARE_EXCLUSIVE) return STG_E_INVALIDFLAG;
    if (mode & (STGM_TRANSACTED | STGM_CONVERT | STGM_DELETEONRELEASE | STGM_PRIORITY | STGM_SIMPLE))
        return STG_E_INVALIDFLAG;
    return S_OK;
}

bool wantsWrite(DWORD mode) { return (mode & 3) != STGM_READ; }

// The process's file-creation mask, read without changing it (umask() would, for every thread).
mode_t processUmask()
{
    FILE* f = std::fopen("/proc/self/status", "re");
    unsigned mask = 022;
    if (f) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
        }
        std::fclose(f);
    }
    return static_cast<mode_t>(mask & 0777);
}

// ---- the open file -------------------------------------------------------------------------

struct OpenFile {
    std::mutex mutex;
    std::unique_ptr<CompoundFile> cf;
    int fd = -1;
    /// The file a create replaces: held (and locked) until the new content takes its place.
    int replacedFd = -1;
    std::string path;
    /// While not empty, the new content lives here and replaces path at the first commit.
    std::string tempPath;
    /// The name was free when the file was created without STGM_CREATE: it must still be.
    bool noReplace = false;
    std::wstring name;
    bool closed = false;

    ~OpenFile()
    {
        if (fd >= 0) ::close(fd);
        if (replacedFd >= 0) ::close(replacedFd);
    }

    // Caller holds mutex.
    HRESULT commit()
    {
        HRESULT hr = cf->Commit();
        if (FAILED(hr)) return hr;
        if (!tempPath.empty()) {
            if (noReplace) {
                // A link fails where another file took the name meanwhile.
                if (::link(tempPath.c_str(), path.c_str()) != 0)
                    return errno == EEXIST ? STG_E_FILEALREADYEXISTS : STG_E_WRITEFAULT;
                ::unlink(tempPath.c_str());
            } else if (::rename(tempPath.c_str(), path.c_str()) != 0) {
                return STG_E_WRITEFAULT;
            }
            syncFolderOf(path);
            tempPath.clear();
            if (replacedFd >= 0) ::close(replacedFd);
            replacedFd = -1;
        }
        return S_OK;
    }

    // Caller holds mutex. Commits what is pending; a failure leaves the previous content.
    void close()
    {
        if (closed) return;
        closed = true;
        if (cf->Writable()) {
            HRESULT hr = cf->Broken() ? STG_E_WRITEFAULT : commit();
            if (FAILED(hr)) {
                WinportTrace("storage: %s not saved (0x%08X); the file keeps its previous content\n",
                             path.c_str(), static_cast<unsigned>(hr));
                if (!tempPath.empty()) ::unlink(tempPath.c_str());
                else cf->DropUncommitted();
            }
        }
        ::close(fd);
        fd = -1;
        if (replacedFd >= 0) ::close(replacedFd);
        replacedFd = -1;
    }
};

// The part every object of an open file shares: the element it stands for and the check that
// it is still there.
class ElementRef {
protected:
    ElementRef(std::shared_ptr<OpenFile> file, uint32_t index, DWORD mode)
        : m_file(std::move(file)), m_index(index), m_mode(mode), m_generation(m_file->cf->Entry(index).generation)
    {
        ++m_file->cf->Entry(index).openCount;
    }
    // Caller holds the mutex.
    void releaseElement()
    {
        if (!m_file->closed && current()) --m_file->cf->Entry(m_index).openCount;
    }
    bool current() const
    {
        return m_index < m_file->cf->EntryCount() && m_file->cf->Entry(m_index).generation == m_generation &&
               m_file->cf->Entry(m_index).type != cfb::kUnused;
    }
    // Caller holds the mutex.
    HRESULT check() const { return (m_file->closed || !current()) ? STG_E_REVERTED : S_OK; }

    std::shared_ptr<OpenFile> m_file;
    uint32_t m_index;
    DWORD m_mode;
    uint32_t m_generation;
};

class StreamObject final : public ComObject<IStream>, private ElementRef {
public:
    StreamObject(std::shared_ptr<OpenFile> file, uint32_t index, DWORD mode) : ElementRef(std::move(file), index, mode) {}
    ~StreamObject() override
    {
        std::lock_guard<std::mutex> lock(m_file->mutex);
        releaseElement();
    }

    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_ISequentialStream && riid != IID_IStream) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IStream*>(this);
        return S_OK;
    }

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        std::lock_guard<std::mutex> lock(m_file->mutex);
        HRESULT hr = check();
        if (FAILED(hr)) return hr;
        if ((m_mode & 3) == STGM_WRITE) return STG_E_ACCESSDENIED;
        size_t done = 0;
        hr = m_file->cf->Read(m_index, m_position, pv, cb, done);
        m_position += done;
        if (pcbRead) *pcbRead = static_cast<ULONG>(done);
        return hr;
    }

    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        std::lock_guard<std::mutex> lock(m_file->mutex);
        HRESULT hr = check();
        if (FAILED(hr)) return hr;
        if (!wantsWrite(m_mode)) return STG_E_ACCESSDENIED;
        hr = m_file->cf->Write(m_index, m_position, pv, cb);
        if (FAILED(hr)) return hr;
        m_position += cb;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }

    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override
    {
        std::lock_guard<std::mutex> lock(m_file->mutex);
        HRESULT hr = check();
        if (FAILED(hr)) return hr;
        int64_t base = 0;
        switch (origin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<int64_t>(m_position); break;
        case STREAM_SEEK_END: base = static_cast<int64_t>(m_file->cf->Entry(m_index).size); break;
        default: return STG_E_INVALIDFUNCTION;
        }
        if ((move.QuadPart < 0 && base + move.QuadPart < 0) || (move.QuadPart > 0 && base > INT64_MAX - move.QuadPart))
            return STG_E_INVALIDFUNCTION;
        m_position = static_cast<uint64_t>(base + move.QuadPart);
        if (newPosition) newPosition->QuadPart = m_position;
        return S_OK;
    }

    HRESULT SetSize(ULARGE_INTEGER newSize) override
    {
        std::lock_guard<std::mutex> lock(m_file->mutex);
        HRESULT hr = check();
        if (FAILED(hr)) return hr;
        if (!wantsWrite(m_mode)) return STG_E_ACCESSDENIED;
        return m_file->cf->SetSize(m_index, newSize.QuadPart);
    }

    // The data is in the file already; it becomes the file's content with the root's commit.
    HRESULT Commit(DWORD) override
    {
        std::lock_guard<std::mutex> lock(m_file->mutex);
        return check();
    }

    HRESULT Stat(STATSTG* st, DWORD flag) override
    {
        if (!st) return STG_E_INVALIDPOINTER;
        std::lock_guard<std::mutex> lock(m_file->mutex);
        HRESULT hr = check();
        if (FAILED(hr)) return hr;
        const DirEntry& e = m_file->cf->Entry(m_index);
        describe(e, m_mode, *st);
        if (!(flag & STATFLAG_NONAME)) {
            st->pwcsName = taskString(wideName(e.name));
            if (!st->pwcsName) return STG_E_INSUFFICIENTMEMORY;
        }
        return S_OK;
    }

private:
    uint64_t m_position = 0;
};

struct EnumItem {
    std::wstring name;
    STATSTG stat;
};

class EnumObject final : public ComObject<IEnumSTATSTG> {
public:
    explicit EnumObject(std::shared_ptr<const std::vector<EnumItem>> items) : m_items(std::move(items)) {}

    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IEnumSTATSTG) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IEnumSTATSTG*>(this);
        return S_OK;
    }

    HRESULT Next(ULONG celt, STATSTG* out, ULONG* fetched) override
    {
        if (fetched) *fetched = 0;
        if (!out || (celt > 1 && !fetched)) return STG_E_INVALIDPOINTER;
        ULONG n = 0;
        while (n < celt && m_next < m_items->size()) {
            const EnumItem& item = (*m_items)[m_next];
            out[n] = item.stat;
            out[n].pwcsName = taskString(item.name);
            if (!out[n].pwcsName) break;
            ++n;
            ++m_next;
        }
        if (fetched) *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }

    HRESULT Skip(ULONG celt) override
    {
        size_t left = m_items->size() - m_next;
        m_next += std::min<size_t>(left, celt);
        return celt <= left ? S_OK : S_FALSE;
    }

    HRESULT Reset() override
    {
        m_next = 0;
        return S_OK;
    }

    HRESULT Clone(IEnumSTATSTG** copy) override
    {
        if (!copy) return STG_E_INVALIDPOINTER;
        auto* e = new EnumObject(m_items);
        e->m_next = m_next;
        *copy = e;
        return S_OK;
    }

private:
    std::shared_ptr<const std::vector<EnumItem>> m_items;
    size_t m_next = 0;
};

class StorageObject final : public ComObject<IStorage>, private ElementRef {
public:
    StorageObject(std::shared_ptr<OpenFile> file, uint32_t index, DWORD mode)
        : ElementRef(std::move(file), index, mode)
    {
    }
    ~StorageObject() override
    {
        std::lock_guard<std::mutex> lock(m_file->mutex);
        if (m_index == 0) m_file->close();
        else releaseElement();
    }

    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IStorage) return E_NOINTERFACE;
        AddRef();
        *object = static_cast<IStorage*>(this);
        return S_OK;
    }

    HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStream** stream) override
    {
        return element<StreamObject>(name, mode, cfb::kStream, true, stream);
    }

    HRESULT OpenStream(const OLECHAR* name, void*, DWORD mode, DWORD, IStream** stream) override
    {
        return element<StreamObject>(name, mode, cfb::kStream, false, stream);
    }

    HRESULT CreateStorage(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStorage** storage) override
    {
        return element<StorageObject>(name, mode, cfb::kStorage, true, storage);
    }

    HRESULT OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD,
                        IStorage** storage) override
    {
        if (priority || exclude) {
            if (storage) *storage = nullptr;
            return STG_E_INVALIDPARAMETER;
        }
        return element<StorageObject>(name, mode, cfb::kStorage, false, storage);
    }

    HRESULT Commit(DWORD) override
    {
        std::lock_guard<std::mutex> lock(m_file->mutex);
        HRESULT hr = check();
        if (FAILED(hr)) return hr;
        return m_file->commit();
    }

    HRESULT EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** out) override
    {
        if (!out) return STG_E_INVALIDPOINTER;
        *out = nullptr;
        std::lock_guard<std::mutex> lock(m_file->mutex);
        HRESULT hr = check();
        if (FAILED(hr)) return hr;
        auto items = std::make_shared<std::vector<EnumItem>>();
        for (uint32_t child : m_file->cf->Entry(m_index).children) {
            const DirEntry& e = m_file->cf->Entry(child);
            EnumItem item;
            item.name = wideName(e.name);
            describe(e, 0, item.stat);
            items->push_back(std::move(item));
        }
        *out = new EnumObject(std::move(items));
        return S_OK;
    }

    HRESULT DestroyElement(const OLECHAR* name) override
    {
        std::u16string n;
        HRESULT hr = elementName(name, n);
        if (FAILED(hr)) return hr;
        std::lock_guard<std::mutex> lock(m_file->mutex);
        hr = check();
        if (FAILED(hr)) return hr;
        if (!writable()) return STG_E_ACCESSDENIED;
        uint32_t index = m_file->cf->FindChild(m_index, n);
        if (index == cfb::kNoStream) return STG_E_FILENOTFOUND;
        return m_file->cf->Destroy(index);
    }

    HRESULT Stat(STATSTG* st, DWORD flag) override
    {
        if (!st) return STG_E_INVALIDPOINTER;
        std::lock_guard<std::mutex> lock(m_file->mutex);
        HRESULT hr = check();
        if (FAILED(hr)) return hr;
        const DirEntry& e = m_file->cf->Entry(m_index);
        describe(e, m_mode, *st);
        if (!(flag & STATFLAG_NONAME)) {
            st->pwcsName = taskString(m_index == 0 ? m_file->name : wideName(e.name));
            if (!st->pwcsName) return STG_E_INSUFFICIENTMEMORY;
        }
        return S_OK;
    }

private:
    bool writable() const { return wantsWrite(m_mode) && m_file->cf->Writable(); }

    template <class Object, class Interface>
    HRESULT element(const OLECHAR* name, DWORD mode, uint8_t type, bool create, Interface** out)
    {
        if (!out) return STG_E_INVALIDPOINTER;
        *out = nullptr;
        uint32_t index = 0;
        std::lock_guard<std::mutex> lock(m_file->mutex);
        HRESULT hr = create ? createElement(name, mode, type, index) : openElement(name, mode, type, index);
        if (FAILED(hr)) return hr;
        *out = new Object(m_file, index, mode);
        return S_OK;
    }

    // Caller holds the mutex.
    HRESULT createElement(const OLECHAR* name, DWORD mode, uint8_t type, uint32_t& index)
    {
        std::u16string n;
        HRESULT hr = elementName(name, n);
        if (FAILED(hr)) return hr;
        hr = checkElementMode(mode & ~static_cast<DWORD>(STGM_CREATE));
        if (FAILED(hr)) return hr;
        hr = check();
        if (FAILED(hr)) return hr;
        if (!writable()) return STG_E_ACCESSDENIED;
        uint32_t existing = m_file->cf->FindChild(m_index, n);
        if (existing != cfb::kNoStream) {
            if (!(mode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
            hr = m_file->cf->Destroy(existing);
            if (FAILED(hr)) return hr;
        }
        return m_file->cf->AddChild(m_index, n, type, index);
    }

    // Caller holds the mutex.
    HRESULT openElement(const OLECHAR* name, DWORD mode, uint8_t type, uint32_t& index)
    {
        std::u16string n;
        HRESULT hr = elementName(name, n);
        if (FAILED(hr)) return hr;
        hr = checkElementMode(mode);
        if (FAILED(hr)) return hr;
        hr = check();
        if (FAILED(hr)) return hr;
        if (wantsWrite(mode) && !writable()) return STG_E_ACCESSDENIED;
        index = m_file->cf->FindChild(m_index, n);
        if (index == cfb::kNoStream || m_file->cf->Entry(index).type != type) return STG_E_FILENOTFOUND;
        if (m_file->cf->Entry(index).openCount > 0) return STG_E_ACCESSDENIED;
        // A stream whose size its sectors do not back fails here, not in the middle of a read.
        return type == cfb::kStream ? m_file->cf->CheckStream(index) : S_OK;
    }
};

// The mode of a root storage: direct, share-exclusive for writing, exclusive or deny-write for
// reading (so that no reader ever sees a file that a writer changes).
HRESULT checkRootMode(DWORD mode, unsigned& access, unsigned& deny)
{
    if ((mode & 3) == 3) return STG_E_INVALIDFLAG;
    if (mode & (STGM_TRANSACTED | STGM_CONVERT | STGM_DELETEONRELEASE | STGM_PRIORITY | STGM_SIMPLE |
                STGM_NOSCRATCH | STGM_NOSNAPSHOT | STGM_DIRECT_SWMR))
        return STG_E_INVALIDFLAG;
    const DWORD share = mode & 0x70;
    switch (mode & 3) {
    case STGM_READ: access = kRightRead; break;
    case STGM_WRITE: access = kRightWrite; break;
    default: access = kRightRead | kRightWrite; break;
    }
    if (share == STGM_SHARE_EXCLUSIVE) deny = kRightRead | kRightWrite;
    else if (share == STGM_SHARE_DENY_WRITE && !wantsWrite(mode)) deny = kRightWrite;
    else return STG_E_INVALIDFLAG;
    return S_OK;
}

std::string hostPathOf(const WCHAR* name) { return winport::HostPath(winport::Cp1252FromWide(name).c_str()); }

IStorage* rootStorage(std::unique_ptr<CompoundFile> cf, int fd, const std::string& path, const WCHAR* name,
                      DWORD mode, int replacedFd = -1, std::string tempPath = {}, bool noReplace = false)
{
    auto file = std::make_shared<OpenFile>();
    file->cf = std::move(cf);
    file->fd = fd;
    file->path = path;
    file->name = name;
    file->replacedFd = replacedFd;
    file->tempPath = std::move(tempPath);
    file->noReplace = noReplace;
    return new StorageObject(file, 0, mode);
}

}  // namespace

HRESULT StgIsStorageFile(const WCHAR* name)
{
    if (!name) return STG_E_INVALIDNAME;
    const std::string path = hostPathOf(name);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errnoResult(errno);
    struct stat st;
    uint8_t head[sizeof kSignature] = {};
    HRESULT hr = S_FALSE;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) hr = STG_E_ACCESSDENIED;
    else if (::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) &&
             std::memcmp(head, kSignature, sizeof head) == 0)
        hr = S_OK;
    ::close(fd);
    return hr;
}

HRESULT StgOpenStorage(const WCHAR* name, IStorage* priority, DWORD mode, SNB exclude, DWORD, IStorage** out)
{
    if (!out) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (!name) return STG_E_INVALIDNAME;
    if (priority || exclude) return STG_E_INVALIDPARAMETER;
    unsigned access = 0, deny = 0;
    HRESULT hr = checkRootMode(mode, access, deny);
    if (FAILED(hr)) return hr;
    const bool writable = wantsWrite(mode);
    const std::string path = hostPathOf(name);
    int fd = -1;
    hr = openLocked(path, writable, access, deny, fd);
    if (FAILED(hr)) return hr;
    std::unique_ptr<CompoundFile> cf;
    hr = CompoundFile::Load(fd, writable, cf);
    if (FAILED(hr)) {
        ::close(fd);
        return hr;
    }
    *out = rootStorage(std::move(cf), fd, path, name, mode);
    return S_OK;
}

HRESULT StgCreateDocfile(const WCHAR* name, DWORD mode, DWORD, IStorage** out)
{
    if (!out) return STG_E_INVALIDPOINTER;
    *out = nullptr;
    if (!name) return STG_E_INVALIDNAME;
    unsigned access = 0, deny = 0;
    HRESULT hr = checkRootMode(mode & ~static_cast<DWORD>(STGM_CREATE), access, deny);
    if (FAILED(hr)) return hr;
    if (!wantsWrite(mode)) return STG_E_INVALIDFLAG;
    const std::string path = hostPathOf(name);

    // The new content is built beside the name and takes its place at the first commit, so that
    // a save that fails or is killed leaves the previous file, or no file where there was none.
    int replacedFd = -1;
    struct stat st;
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists) {
        if (!(mode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
        hr = openLocked(path, true, access, deny, replacedFd);
        if (FAILED(hr)) return hr;
    } else if (errno != ENOENT) {
        return errnoResult(errno);
    }
    const size_t slash = path.find_last_of('/');
    std::string tempPath = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." +
                           path.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
    int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0) {
        hr = errnoResult(errno);
        if (replacedFd >= 0) ::close(replacedFd);
        return hr;
    }
    // The mode of the file replaced, or of a file made by open(0666) under the umask.
    mode_t fileMode = 0;
    if (replacedFd >= 0 && ::fstat(replacedFd, &st) == 0) {
        fileMode = st.st_mode & 07777;
    } else {
        fileMode = 0666 & ~processUmask();
    }
    if (::fchmod(fd, fileMode) != 0) { /* keeps the temporary's mode */ }
    std::unique_ptr<CompoundFile> cf = CompoundFile::CreateEmpty(fd);
    hr = takeShareLocks(fd, access, deny) ? cf->Commit() : STG_E_SHAREVIOLATION;
    if (FAILED(hr)) {
        ::unlink(tempPath.c_str());
        ::close(fd);
        if (replacedFd >= 0) ::close(replacedFd);
        return hr;
    }
    *out = rootStorage(std::move(cf), fd, path, name, mode, replacedFd, std::move(tempPath), !exists && !(mode & STGM_CREATE));
    return S_OK;
}
