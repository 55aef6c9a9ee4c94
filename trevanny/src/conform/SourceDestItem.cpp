#include "trevanny/SourceDestItem.h"

#include <utility>

CSourceDestItem::CSourceDestItem(const CSourceDestItem& other)
    : m_pEvent(other.m_pEvent ? new CEDLEvent(*other.m_pEvent) : nullptr),
      m_nEventNumber(other.m_nEventNumber),
      m_nStart(other.m_nStart),
      m_nLength(other.m_nLength),
      m_nPairingKey(other.m_nPairingKey),
      m_nIndex(other.m_nIndex),
      m_bFlag(other.m_bFlag)
{
}

CSourceDestItem::CSourceDestItem(CSourceDestItem&& other) noexcept
    : m_pEvent(std::exchange(other.m_pEvent, nullptr)),
      m_nEventNumber(other.m_nEventNumber),
      m_nStart(other.m_nStart),
      m_nLength(other.m_nLength),
      m_nPairingKey(other.m_nPairingKey),
      m_nIndex(other.m_nIndex),
      m_bFlag(other.m_bFlag)
{
}

CSourceDestItem& CSourceDestItem::operator=(const CSourceDestItem& other)
{
    if (this != &other) {
        SetEvent(other.m_pEvent ? new CEDLEvent(*other.m_pEvent) : nullptr);
        copyNumbers(other);
    }
    return *this;
}

CSourceDestItem& CSourceDestItem::operator=(CSourceDestItem&& other) noexcept
{
    if (this != &other) {
        SetEvent(std::exchange(other.m_pEvent, nullptr));
        copyNumbers(other);
    }
    return *this;
}

void CSourceDestItem::copyNumbers(const CSourceDestItem& other)
{
    m_nEventNumber = other.m_nEventNumber;
    m_nStart = other.m_nStart;
    m_nLength = other.m_nLength;
    m_nPairingKey = other.m_nPairingKey;
    m_nIndex = other.m_nIndex;
    m_bFlag = other.m_bFlag;
}

CSourceDestItem::~CSourceDestItem() { delete m_pEvent; }

void CSourceDestItem::SetEvent(CEDLEvent* event)
{
    if (event == m_pEvent) return;
    delete m_pEvent;
    m_pEvent = event;
}
