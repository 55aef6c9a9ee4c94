#include "trevanny/EDLReelTable.h"

#include <cstring>
#include <utility>
#include <vector>

#include "conform/EditListBytes.h"

namespace {

// Bytes of one reel entry with empty texts and no track entries: the least a stored reel takes.
constexpr ULONGLONG kLeastReelBytes = 4 + 4 + 4 + 4 + 1 + 1 + 4;
constexpr ULONGLONG kTrackEntryBytes = 7;

// Names compare as the runtime's byte-string compare does: up to the first zero byte.
std::string nameKey(const CString& name) { return std::string(name.c_str()); }

}  // namespace

CEDLReelRecord::CEDLReelRecord(const CEDLReelRecord& other)
    : m_strName(other.m_strName),
      m_strText2(other.m_strText2),
      m_nValue1(other.m_nValue1),
      m_nValue2(other.m_nValue2),
      m_bFlag1(other.m_bFlag1),
      m_bFlag2(other.m_bFlag2),
      m_nPrevValue1(other.m_nValue1),
      m_nPrevValue2(other.m_nValue2),
      m_bPrevFlag1(other.m_bFlag1),
      m_bPrevFlag2(other.m_bFlag2)
{
    std::memcpy(m_Tracks, other.m_Tracks, sizeof m_Tracks);
}

CEDLReelRecord& CEDLReelRecord::operator=(const CEDLReelRecord& other)
{
    if (this != &other) {
        m_strName = other.m_strName;
        m_strText2 = other.m_strText2;
        m_nValue1 = m_nPrevValue1 = other.m_nValue1;
        m_nValue2 = m_nPrevValue2 = other.m_nValue2;
        m_bFlag1 = m_bPrevFlag1 = other.m_bFlag1;
        m_bFlag2 = m_bPrevFlag2 = other.m_bFlag2;
        std::memcpy(m_Tracks, other.m_Tracks, sizeof m_Tracks);
    }
    return *this;
}

void CEDLReelRecord::MarkTracks(DWORD trackMask, BYTE videoFlag)
{
    if (videoFlag & 1) m_Tracks[0].m_bUsed = 1;
    for (int k = 0; k < 32; ++k) {
        if (trackMask & (DWORD(1) << k)) m_Tracks[k + 1].m_bUsed = 1;
    }
}

void CEDLReelTable::RemoveAll()
{
    m_Reels.RemoveAll();
    m_bIndexValid = false;
}

const std::unordered_map<std::string, int>& CEDLReelTable::index() const
{
    if (!m_bIndexValid) {
        m_Index.clear();
        for (int i = 0; i < GetSize(); ++i) m_Index.emplace(nameKey(m_Reels[i].m_strName), i);
        m_bIndexValid = true;
    }
    return m_Index;
}

int CEDLReelTable::Find(const CString& reelName) const
{
    const auto& names = index();
    auto found = names.find(nameKey(reelName));
    return found == names.end() ? -1 : found->second;
}

int CEDLReelTable::Add(const CString& reelName, DWORD trackMask, BYTE videoFlag)
{
    int at = Find(reelName);
    if (at < 0) {
        // After the last record whose name sorts below the new one.
        at = GetSize();
        while (at > 0 && std::strcmp(m_Reels[at - 1].m_strName.c_str(), reelName.c_str()) >= 0) --at;
        m_Reels.InsertAt(at, CEDLReelRecord(reelName));
        m_bIndexValid = false;
    }
    m_Reels[at].MarkTracks(trackMask, videoFlag);
    return at;
}

CString CEDLReelTable::GetName(int index) const
{
    if (index < 0 || index >= GetSize()) return CString();
    return m_Reels[index].m_strName;
}

bool CEDLReelTable::Write(CFile& file) const
{
    EditListFieldWriter out;
    for (int v : m_nValues) out.Int32(v);
    out.Int32(GetSize());
    for (int i = 0; i < GetSize(); ++i) {
        const CEDLReelRecord& reel = m_Reels[i];
        out.Text(reel.m_strName);
        out.Text(reel.m_strText2);
        out.Int32(reel.m_nValue1);
        out.Int32(reel.m_nValue2);
        out.Byte(reel.m_bFlag1);
        out.Byte(reel.m_bFlag2);
        out.Int32(CEDLReelRecord::kTrackEntries);
        for (const CEDLTrackEntry& track : reel.m_Tracks) {
            out.Byte(track.m_bUsed);
            out.Byte(track.m_bFlag);
            out.Byte(track.m_byValue);
            out.Int32(track.m_nValue);
        }
    }
    out.WriteTo(file);
    return true;
}

bool CEDLReelTable::Read(CFile& file)
{
    EditListFieldReader in(file, file.GetLength());
    int values[5];
    for (int& v : values) {
        if (!in.Int32(v)) return false;
    }
    int count = 0;
    if (!in.Int32(count) || count < 0 || static_cast<ULONGLONG>(count) > in.Remaining() / kLeastReelBytes) return false;
    std::vector<CEDLReelRecord> reels(static_cast<size_t>(count));
    for (CEDLReelRecord& reel : reels) {
        int tracks = 0;
        int ignored = 0;
        BYTE flag = 0;
        if (!in.Text(reel.m_strName) || !in.Text(reel.m_strText2) || !in.Int32(ignored) || !in.Int32(ignored) ||
            !in.Byte(flag) || !in.Byte(flag) || !in.Int32(tracks)) {
            return false;
        }
        if (tracks < 0 || tracks > CEDLReelRecord::kTrackEntries ||
            static_cast<ULONGLONG>(tracks) > in.Remaining() / kTrackEntryBytes) {
            return false;
        }
        for (int t = 0; t < tracks; ++t) {
            CEDLTrackEntry& track = reel.m_Tracks[t];
            if (!in.Byte(track.m_bUsed) || !in.Byte(track.m_bFlag) || !in.Byte(track.m_byValue) || !in.Int32(track.m_nValue)) {
                return false;
            }
        }
        // The stored ints and flags are not kept: a read reel starts as a new one.
    }
    std::memcpy(m_nValues, values, sizeof m_nValues);
    m_Reels.RemoveAll();
    m_Reels.SetSize(count);
    for (int i = 0; i < count; ++i) m_Reels[i] = reels[static_cast<size_t>(i)];
    m_bIndexValid = false;
    return true;
}
