#include "winport/Collections.h"

void CStringArray::Serialize(CArchive& ar)
{
    if (ar.IsStoring()) {
        ar.WriteCount(static_cast<DWORD_PTR>(GetSize()));
        for (INT_PTR i = 0; i < GetSize(); ++i) ar << ElementAt(i);
    } else {
        DWORD_PTR n = ar.ReadCount();
        RemoveAll();
        for (DWORD_PTR i = 0; i < n; ++i) {
            CString s;
            ar >> s;
            Add(s);
        }
    }
}

void CByteArray::Serialize(CArchive& ar) { CArray<BYTE, BYTE>::Serialize(ar); }
void CWordArray::Serialize(CArchive& ar) { CArray<WORD, WORD>::Serialize(ar); }
void CDWordArray::Serialize(CArchive& ar) { CArray<DWORD, DWORD>::Serialize(ar); }
