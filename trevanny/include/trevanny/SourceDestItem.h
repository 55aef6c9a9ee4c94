// One event of an edit list (CEDLEvent) and the (source, destination) items that carry it
// (CSourceDestItem). Pair arrays hold the source of pair k at index 2k and its destination at
// index 2k+1; the destination owns the event.
#pragma once

#include "winport/CString.h"
#include "winport/Collections.h"
#include "winport/WinTypes.h"

class CEDLEvent {
public:
    /// Transition flags (low byte of m_nTransition).
    enum { enCut = 1, enDissolve = 2, enKey = 4 };

    CEDLEvent() = default;
    CEDLEvent(const CEDLEvent&) = default;
    CEDLEvent& operator=(const CEDLEvent&) = default;
    virtual ~CEDLEvent() = default;

    int m_nValue1 = 0;
    int m_nValue2 = 0;
    int m_nTransition = 0;          ///< C 1, D 2, K 4
    DWORD m_dwTrackMask = 0;        ///< bit n = audio track n+1
    BYTE m_bVideo = 0;
    CString m_strReelName;
    int m_nReelIndex = -1;          ///< into the list's reel table; -1 = none
    CString m_strNote1;
    CString m_strNote2;
    bool m_bFlag = true;
};

class CSourceDestItem {
public:
    CSourceDestItem() = default;
    /// Copies every number and gives the copy its own copy of the event.
    CSourceDestItem(const CSourceDestItem& other);
    CSourceDestItem(CSourceDestItem&& other) noexcept;
    CSourceDestItem& operator=(const CSourceDestItem& other);
    CSourceDestItem& operator=(CSourceDestItem&& other) noexcept;
    virtual ~CSourceDestItem();

    /// Replaces the event: the one held is deleted and the item owns `event` (may be null).
    void SetEvent(CEDLEvent* event);

    CEDLEvent* m_pEvent = nullptr;  ///< owned
    int m_nEventNumber = 0;
    int m_nStart = 0;               ///< a position in the producer's unit
    int m_nLength = 0;              ///< same unit as the start
    int m_nPairingKey = 0;          ///< a source matches the destination with the same key
    int m_nIndex = -1;
    bool m_bFlag = true;

private:
    void copyNumbers(const CSourceDestItem& other);
};

typedef CArray<CSourceDestItem, CSourceDestItem> CSourceDestItemArray;
