// The class library's collections: CArray with its growth rule, the typed arrays, CMap with
// its chained hash table, and the pointer lists. POSITION is an opaque iteration cursor.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "winport/CArchive.h"
#include "winport/CObject.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

struct __POSITION {};
typedef __POSITION* POSITION;
#define BEFORE_START_POSITION (reinterpret_cast<POSITION>(-1L))

/// Growth of an array that has run out of room, as the class library computes it: the caller's
/// grow-by when set, otherwise an eighth of the size, at least 4 and at most 1024 elements.
inline INT_PTR WinportArrayGrowBy(INT_PTR size, INT_PTR growBy)
{
    if (growBy > 0) return growBy;
    INT_PTR g = size / 8;
    if (g < 4) g = 4;
    if (g > 1024) g = 1024;
    return g;
}

namespace winport {
/// The largest filled view: 8 MiB, a square matrix of 16-bit elements for 2048 paths.
inline constexpr size_t kFilledViewMaxBytes = size_t{8} << 20;
/// The smallest array worth a view: from this size the allocator maps fresh pages anyway.
inline constexpr size_t kFilledViewMinBytes = size_t{128} << 10;
/// A private, writable, copy-on-write view of `bytes` bytes that all read 0xFF, or nullptr when
/// there is none to be had (too large, or the system refuses). Every view maps one block that is
/// written once per process; a view's page is copied only when the view writes it, so a view
/// costs no fill. Safe from any thread.
void* MapFilledView(size_t bytes);
/// Releases a view of `bytes` bytes that MapFilledView made.
void UnmapFilledView(void* view, size_t bytes);
}  // namespace winport

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray : public CObject {
    static constexpr bool kTrivial = std::is_trivially_copyable_v<TYPE>;

public:
    CArray() = default;
    CArray(const CArray&) = delete;
    CArray& operator=(const CArray&) = delete;
    ~CArray() override { RemoveAll(); }

    INT_PTR GetSize() const { return m_nSize; }
    INT_PTR GetCount() const { return m_nSize; }
    BOOL IsEmpty() const { return m_nSize == 0; }
    INT_PTR GetUpperBound() const { return m_nSize - 1; }
    INT_PTR GetAllocSize() const { return m_nMaxSize; }

    /// Sets the size; new elements are zero-filled and then default-constructed.
    void SetSize(INT_PTR newSize, INT_PTR growBy = -1)
    {
        if (growBy >= 0) m_nGrowBy = growBy;
        if (newSize < 0) newSize = 0;
        if (newSize == 0) {
            destroy(0, m_nSize);
            release();
            return;
        }
        if (newSize <= m_nMaxSize) {
            if (newSize > m_nSize) construct(m_nSize, newSize);
            else destroy(newSize, m_nSize);
            m_nSize = newSize;
            return;
        }
        INT_PTR grow = WinportArrayGrowBy(m_nSize, m_nGrowBy);
        INT_PTR newMax = std::max(newSize, m_nMaxSize + grow);
        reallocate(newMax);
        construct(m_nSize, newSize);
        m_nSize = newSize;
    }

    /// Sets the size; elements past the old size take `value`. A large empty array of trivially
    /// copyable elements whose bytes all read 0xFF becomes a filled view (see MapFilledView):
    /// it costs no fill, a page is copied when it is first written, and a copy of it that
    /// nothing has written since is a view of its own at the same cost. Any non-const accessor
    /// counts as a write: read through a const reference to keep copies free.
    void SetSizeFilled(INT_PTR newSize, ARG_TYPE value)
    {
        TYPE copy(value);
        if (m_nSize == 0 && mapFilled(newSize, copy)) return;
        const INT_PTR old = m_nSize;
        SetSize(newSize);
        if (m_nSize > old) std::fill(writable() + old, m_pData + m_nSize, copy);
    }

    /// Makes room for at least `count` elements without constructing any: SetSize up to it
    /// then does not reallocate.
    void Reserve(INT_PTR count)
    {
        if (count > m_nMaxSize) reallocate(count);
    }

    /// Exchanges the elements (and the room) of two arrays; each keeps its own grow-by.
    void Swap(CArray& other) noexcept
    {
        std::swap(m_pData, other.m_pData);
        std::swap(m_nSize, other.m_nSize);
        std::swap(m_nMaxSize, other.m_nMaxSize);
        std::swap(m_storage, other.m_storage);
    }

    void FreeExtra()
    {
        if (m_nSize != m_nMaxSize) {
            if (m_nSize == 0) release();
            else reallocate(m_nSize);
        }
    }

    void RemoveAll() { SetSize(0); }

    /// Sets the size of an array of trivially copyable elements without writing the new ones:
    /// the caller fills each of them before it reads any. Grows to exactly the size asked.
    void SetSizeUninitialised(INT_PTR newSize)
    {
        static_assert(kTrivial, "only elements that need no construction may be left unwritten");
        if (newSize <= 0) {
            release();
            return;
        }
        if (newSize > m_nMaxSize) reallocate(newSize);
        writable();
        m_nSize = newSize;
    }

    /// Exchanges the elements (and the room) of two arrays; neither is copied.
    void SwapElements(CArray& other) noexcept
    {
        std::swap(m_pData, other.m_pData);
        std::swap(m_nSize, other.m_nSize);
        std::swap(m_nMaxSize, other.m_nMaxSize);
        std::swap(m_storage, other.m_storage);
    }

    TYPE GetAt(INT_PTR i) const { return m_pData[i]; }
    // The accessors that can write go through writable(); the const ones read a filled view
    // where it stands.
    void SetAt(INT_PTR i, ARG_TYPE e) { writable()[i] = e; }
    TYPE& ElementAt(INT_PTR i) { return writable()[i]; }
    const TYPE& ElementAt(INT_PTR i) const { return m_pData[i]; }
    TYPE& operator[](INT_PTR i) { return writable()[i]; }
    const TYPE& operator[](INT_PTR i) const { return m_pData[i]; }
    TYPE* GetData() { return writable(); }
    const TYPE* GetData() const { return m_pData; }

    void SetAtGrow(INT_PTR i, ARG_TYPE e)
    {
        if (i < 0) return;
        if (i >= m_nSize) {
            TYPE copy(e);  // e may refer into this array
            SetSize(i + 1);
            writable()[i] = std::move(copy);
        } else {
            writable()[i] = e;
        }
    }

    INT_PTR Add(ARG_TYPE e)
    {
        INT_PTR i = m_nSize;
        SetAtGrow(i, e);
        return i;
    }

    INT_PTR Append(const CArray& src)
    {
        INT_PTR old = m_nSize;
        INT_PTR n = src.m_nSize;
        if (&src == this) {
            SetSize(old + n);
            TYPE* data = writable();
            for (INT_PTR i = 0; i < n; ++i) data[old + i] = data[i];
        } else {
            SetSize(old + n);
            TYPE* data = writable();
            for (INT_PTR i = 0; i < n; ++i) data[old + i] = src.m_pData[i];
        }
        return old;
    }

    /// Copies the elements; a copy of a filled view that nothing has written is a view too.
    void Copy(const CArray& src)
    {
        if (&src == this) return;
        if (src.m_storage == Storage::Filled) {
            SetSize(0);
            if (mapFilled(src.m_nSize, src.m_pData[0])) return;
        }
        SetSize(src.m_nSize);
        TYPE* data = writable();
        for (INT_PTR i = 0; i < m_nSize; ++i) data[i] = src.m_pData[i];
    }

    void InsertAt(INT_PTR index, ARG_TYPE e, INT_PTR count = 1)
    {
        if (index < 0 || count <= 0) return;
        TYPE copy(e);
        if (index >= m_nSize) {
            SetSize(index + count);
        } else {
            INT_PTR old = m_nSize;
            SetSize(m_nSize + count);
            TYPE* data = writable();
            std::move_backward(data + index, data + old, data + old + count);
        }
        TYPE* data = writable();
        for (INT_PTR i = 0; i < count; ++i) data[index + i] = copy;
    }

    void InsertAt(INT_PTR start, const CArray* src)
    {
        if (!src || src->GetSize() == 0) return;
        CArray tmp;
        tmp.Copy(*src);
        InsertAt(start, tmp.m_pData[0], tmp.GetSize());
        TYPE* data = writable();
        for (INT_PTR i = 0; i < tmp.GetSize(); ++i) data[start + i] = tmp.m_pData[i];
    }

    void RemoveAt(INT_PTR index, INT_PTR count = 1)
    {
        if (index < 0 || count <= 0 || index >= m_nSize) return;
        if (count > m_nSize - index) count = m_nSize - index;
        TYPE* data = writable();
        std::move(data + index + count, data + m_nSize, data + index);
        destroy(m_nSize - count, m_nSize);
        m_nSize -= count;
    }

    void Serialize(CArchive& ar) override;

private:
    // Where the elements live: on the heap, in a filled view that nothing has written since it
    // was made (every byte reads 0xFF), or in a view that may have been written.
    enum class Storage : unsigned char { Heap, Filled, Written };

    // The elements, for a caller that may write them.
    TYPE* writable()
    {
        if (m_storage == Storage::Filled) m_storage = Storage::Written;
        return m_pData;
    }

    // Makes this empty array a filled view of `size` elements when the value's bytes all read
    // 0xFF and the size suits a view; false (the array unchanged) otherwise.
    bool mapFilled([[maybe_unused]] INT_PTR size, [[maybe_unused]] const TYPE& value)
    {
        if constexpr (kTrivial) {
            const size_t bytes = sizeof(TYPE) * static_cast<size_t>(size > 0 ? size : 0);
            if (bytes < winport::kFilledViewMinBytes || bytes > winport::kFilledViewMaxBytes) return false;
            const unsigned char* v = reinterpret_cast<const unsigned char*>(&value);
            if (std::any_of(v, v + sizeof(TYPE), [](unsigned char b) { return b != 0xFF; })) return false;
            void* view = winport::MapFilledView(bytes);
            if (!view) return false;
            release();
            m_pData = static_cast<TYPE*>(view);
            m_nSize = m_nMaxSize = size;
            m_storage = Storage::Filled;
            return true;
        } else {
            return false;
        }
    }

    void construct(INT_PTR from, INT_PTR to)
    {
        if (to <= from) return;
        TYPE* data = writable();
        std::memset(static_cast<void*>(data + from), 0, sizeof(TYPE) * static_cast<size_t>(to - from));
        for (INT_PTR i = from; i < to; ++i) ::new (static_cast<void*>(data + i)) TYPE();
    }
    void destroy(INT_PTR from, INT_PTR to)
    {
        if constexpr (!std::is_trivially_destructible_v<TYPE>) {
            for (INT_PTR i = from; i < to; ++i) m_pData[i].~TYPE();
        }
    }
    void release()
    {
        if (m_storage != Storage::Heap) winport::UnmapFilledView(m_pData, sizeof(TYPE) * static_cast<size_t>(m_nMaxSize));
        else if constexpr (kTrivial) std::free(m_pData);
        else ::operator delete(static_cast<void*>(m_pData));
        m_pData = nullptr;
        m_nSize = 0;
        m_nMaxSize = 0;
        m_storage = Storage::Heap;
    }
    void reallocate(INT_PTR newMax)
    {
        if constexpr (kTrivial) {
            if (m_storage != Storage::Heap) {
                // A view does not grow: its elements move to the heap.
                void* p = std::malloc(sizeof(TYPE) * static_cast<size_t>(newMax));
                if (!p) AfxThrowMemoryException();
                std::memcpy(p, m_pData, sizeof(TYPE) * static_cast<size_t>(std::min(m_nSize, newMax)));
                winport::UnmapFilledView(m_pData, sizeof(TYPE) * static_cast<size_t>(m_nMaxSize));
                m_pData = static_cast<TYPE*>(p);
                m_storage = Storage::Heap;
            } else {
                // realloc lets large arrays grow in place (by remapping pages) where possible.
                void* p = std::realloc(m_pData, sizeof(TYPE) * static_cast<size_t>(newMax));
                if (!p) AfxThrowMemoryException();
                m_pData = static_cast<TYPE*>(p);
            }
        } else {
            TYPE* p = static_cast<TYPE*>(::operator new(sizeof(TYPE) * static_cast<size_t>(newMax)));
            for (INT_PTR i = 0; i < m_nSize; ++i) {
                ::new (static_cast<void*>(p + i)) TYPE(std::move(m_pData[i]));
                m_pData[i].~TYPE();
            }
            ::operator delete(static_cast<void*>(m_pData));
            m_pData = p;
        }
        m_nMaxSize = newMax;
    }

    TYPE* m_pData = nullptr;
    INT_PTR m_nSize = 0;
    INT_PTR m_nMaxSize = 0;
    INT_PTR m_nGrowBy = 0;
    Storage m_storage = Storage::Heap;
};

// Elements are serialised as their raw bytes, as the class library's template does.
template <class TYPE, class ARG_TYPE>
void CArray<TYPE, ARG_TYPE>::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD_PTR>(m_nSize));
        if constexpr (kTrivial) {
            const BYTE* p = reinterpret_cast<const BYTE*>(m_pData);
            size_t left = sizeof(TYPE) * static_cast<size_t>(m_nSize);
            while (left > 0) {
                UINT chunk = static_cast<UINT>(std::min<size_t>(left, 1u << 30));
                ar.Write(p, chunk);
                p += chunk;
                left -= chunk;
            }
        } else {
            AfxThrowNotSupportedException();
        }
    } else {
        DWORD_PTR n = ar.ReadCount();
        if constexpr (kTrivial) {
            // Grow as the bytes arrive, so that a damaged count cannot allocate without bound.
            RemoveAll();
            const INT_PTR step = 65536;
            for (INT_PTR done = 0; done < static_cast<INT_PTR>(n);) {
                INT_PTR chunk = std::min<INT_PTR>(step, static_cast<INT_PTR>(n) - done);
                SetSize(done + chunk, std::max<INT_PTR>(done, step));
                UINT bytes = static_cast<UINT>(sizeof(TYPE) * static_cast<size_t>(chunk));
                if (ar.Read(m_pData + done, bytes) != bytes) {
                    RemoveAll();
                    AfxThrowArchiveException(CArchiveException::endOfFile);
                }
                done += chunk;
            }
        } else {
            AfxThrowNotSupportedException();
        }
    }
}

class CStringArray : public CArray<CString, const char*> {
public:
    void Serialize(CArchive& ar) override;
};
class CByteArray : public CArray<BYTE, BYTE> {
public:
    void Serialize(CArchive& ar) override;
};
class CWordArray : public CArray<WORD, WORD> {
public:
    void Serialize(CArchive& ar) override;
};
class CDWordArray : public CArray<DWORD, DWORD> {
public:
    void Serialize(CArchive& ar) override;
};
class CUIntArray : public CArray<UINT, UINT> {};
class CPtrArray : public CArray<void*, void*> {};
class CObArray : public CArray<CObject*, CObject*> {};

/// The class library's default hash of a key.
template <class KEY>
inline UINT HashKey(const KEY& key)
{
    if constexpr (std::is_pointer_v<KEY>) return static_cast<UINT>(reinterpret_cast<uintptr_t>(key) >> 4);
    else return static_cast<UINT>(static_cast<uintptr_t>(key) >> 4);
}
template <>
inline UINT HashKey<CString>(const CString& key)
{
    UINT h = 0;
    for (const char* p = key; *p; ++p) h = (h << 5) + h + static_cast<unsigned char>(*p);
    return h;
}

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
class CMap : public CObject {
    struct CAssoc {
        CAssoc* pNext;
        UINT nHashValue;
        KEY key;
        VALUE value;
    };

public:
    explicit CMap(INT_PTR blockSize = 10) {}
    CMap(const CMap&) = delete;
    CMap& operator=(const CMap&) = delete;
    ~CMap() override { RemoveAll(); }

    INT_PTR GetCount() const { return m_nCount; }
    INT_PTR GetSize() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }
    UINT GetHashTableSize() const { return m_nHashTableSize; }

    void InitHashTable(UINT size, BOOL allocNow = TRUE)
    {
        if (m_nCount != 0 || size == 0) return;
        delete[] m_pHashTable;
        m_pHashTable = nullptr;
        m_nHashTableSize = size;
        if (allocNow) m_pHashTable = new CAssoc*[size]();
    }

    BOOL Lookup(ARG_KEY key, VALUE& value) const
    {
        UINT h;
        CAssoc* a = find(key, h);
        if (!a) return FALSE;
        value = a->value;
        return TRUE;
    }

    VALUE& operator[](ARG_KEY key)
    {
        UINT h;
        CAssoc* a = find(key, h);
        if (a) return a->value;
        if (!m_pHashTable) InitHashTable(m_nHashTableSize);
        a = new CAssoc{m_pHashTable[h], h, KEY(key), VALUE()};
        m_pHashTable[h] = a;
        ++m_nCount;
        return a->value;
    }

    void SetAt(ARG_KEY key, ARG_VALUE value) { (*this)[key] = value; }

    BOOL RemoveKey(ARG_KEY key)
    {
        if (!m_pHashTable) return FALSE;
        UINT h = HashKey<KEY>(KEY(key)) % m_nHashTableSize;
        for (CAssoc** pp = &m_pHashTable[h]; *pp; pp = &(*pp)->pNext) {
            if ((*pp)->key == key) {
                CAssoc* a = *pp;
                *pp = a->pNext;
                delete a;
                --m_nCount;
                return TRUE;
            }
        }
        return FALSE;
    }

    void RemoveAll()
    {
        if (m_pHashTable) {
            for (UINT i = 0; i < m_nHashTableSize; ++i) {
                for (CAssoc* a = m_pHashTable[i]; a;) {
                    CAssoc* next = a->pNext;
                    delete a;
                    a = next;
                }
            }
            delete[] m_pHashTable;
            m_pHashTable = nullptr;
        }
        m_nCount = 0;
    }

    POSITION GetStartPosition() const { return m_nCount == 0 ? nullptr : BEFORE_START_POSITION; }

    void GetNextAssoc(POSITION& pos, KEY& key, VALUE& value) const
    {
        CAssoc* a = reinterpret_cast<CAssoc*>(pos);
        if (pos == BEFORE_START_POSITION) {
            a = nullptr;
            for (UINT i = 0; i < m_nHashTableSize && !a; ++i) a = m_pHashTable[i];
        }
        if (!a) {
            pos = nullptr;
            return;
        }
        CAssoc* next = a->pNext;
        if (!next) {
            for (UINT i = a->nHashValue + 1; i < m_nHashTableSize && !next; ++i) next = m_pHashTable[i];
        }
        pos = reinterpret_cast<POSITION>(next);
        key = a->key;
        value = a->value;
    }

private:
    CAssoc* find(ARG_KEY key, UINT& hash) const
    {
        hash = HashKey<KEY>(KEY(key)) % m_nHashTableSize;
        if (!m_pHashTable) return nullptr;
        for (CAssoc* a = m_pHashTable[hash]; a; a = a->pNext) {
            if (a->key == key) return a;
        }
        return nullptr;
    }

    CAssoc** m_pHashTable = nullptr;
    UINT m_nHashTableSize = 17;
    INT_PTR m_nCount = 0;
};

/// A doubly linked list of pointers, as CPtrList and CObList.
template <class T>
class CTypedPointerListBase : public CObject {
    struct CNode {
        CNode* pNext;
        CNode* pPrev;
        T data;
    };

public:
    CTypedPointerListBase() = default;
    CTypedPointerListBase(const CTypedPointerListBase&) = delete;
    CTypedPointerListBase& operator=(const CTypedPointerListBase&) = delete;
    ~CTypedPointerListBase() override { RemoveAll(); }

    INT_PTR GetCount() const { return m_nCount; }
    INT_PTR GetSize() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }
    T& GetHead() { return m_pHead->data; }
    T& GetTail() { return m_pTail->data; }
    POSITION GetHeadPosition() const { return reinterpret_cast<POSITION>(m_pHead); }
    POSITION GetTailPosition() const { return reinterpret_cast<POSITION>(m_pTail); }

    POSITION AddHead(T p)
    {
        CNode* n = new CNode{m_pHead, nullptr, p};
        if (m_pHead) m_pHead->pPrev = n;
        else m_pTail = n;
        m_pHead = n;
        ++m_nCount;
        return reinterpret_cast<POSITION>(n);
    }
    POSITION AddTail(T p)
    {
        CNode* n = new CNode{nullptr, m_pTail, p};
        if (m_pTail) m_pTail->pNext = n;
        else m_pHead = n;
        m_pTail = n;
        ++m_nCount;
        return reinterpret_cast<POSITION>(n);
    }
    T RemoveHead()
    {
        CNode* n = m_pHead;
        T p = n->data;
        RemoveAt(reinterpret_cast<POSITION>(n));
        return p;
    }
    T RemoveTail()
    {
        CNode* n = m_pTail;
        T p = n->data;
        RemoveAt(reinterpret_cast<POSITION>(n));
        return p;
    }
    void RemoveAt(POSITION pos)
    {
        CNode* n = reinterpret_cast<CNode*>(pos);
        if (!n) return;
        if (n->pPrev) n->pPrev->pNext = n->pNext;
        else m_pHead = n->pNext;
        if (n->pNext) n->pNext->pPrev = n->pPrev;
        else m_pTail = n->pPrev;
        delete n;
        --m_nCount;
    }
    void RemoveAll()
    {
        while (m_pHead) {
            CNode* next = m_pHead->pNext;
            delete m_pHead;
            m_pHead = next;
        }
        m_pTail = nullptr;
        m_nCount = 0;
    }
    T& GetNext(POSITION& pos)
    {
        CNode* n = reinterpret_cast<CNode*>(pos);
        pos = reinterpret_cast<POSITION>(n->pNext);
        return n->data;
    }
    T& GetPrev(POSITION& pos)
    {
        CNode* n = reinterpret_cast<CNode*>(pos);
        pos = reinterpret_cast<POSITION>(n->pPrev);
        return n->data;
    }
    T& GetAt(POSITION pos) { return reinterpret_cast<CNode*>(pos)->data; }
    POSITION Find(T p, POSITION after = nullptr) const
    {
        CNode* n = after ? reinterpret_cast<CNode*>(after)->pNext : m_pHead;
        for (; n; n = n->pNext) {
            if (n->data == p) return reinterpret_cast<POSITION>(n);
        }
        return nullptr;
    }

private:
    CNode* m_pHead = nullptr;
    CNode* m_pTail = nullptr;
    INT_PTR m_nCount = 0;
};

class CPtrList : public CTypedPointerListBase<void*> {};
class CObList : public CTypedPointerListBase<CObject*> {};
class CStringList : public CTypedPointerListBase<CString> {};
