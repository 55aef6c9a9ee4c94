// Copy, move and delete of one range of the timeline: the pairs such an edit means, written as
// the pair file (a stored edit list with one reel, the package's own file) and conformed.
#include <cstdint>

#include "conform/TempEditList.h"
#include "trevanny/ConformEngine.h"
#include "trevanny/CutListFile.h"
#include "trevanny/TimecodeValue.h"

int FramesIn24Hours(int framesPerSec)
{
    CTimecodeValue value;
    value.SetAddFilmEquivalence(TRUE);
    value.SetFrames(TimelineEndFrames(framesPerSec));
    return value.GetRoundedFrames();
}

void CConformEngine::SetupSorelReel(CAutomationPackage* package, CTimecodeSettings settings, CEDLReelTable& reels, int& frameRate,
                                    CString& stem)
{
    settings.ReadTimecodeFramesPerSec(frameRate);
    reels.RemoveAll();
    const int length = package->m_strPathName.GetLength();
    stem = length >= 4 ? package->m_strPathName.Left(length - 4) : CString();
    reels.Add(stem, 0, 0);
    for (int i = 0; i < reels.GetSize(); ++i) reels.GetAt(i).m_strText2 = reels.GetAt(i).m_strName;
}

enConformStatus CConformEngine::RunSorelPairs(CAutomationPackage* package, CTimecodeSettings settings, CEDLReelTable& reels,
                                              CSourceDestItemArray& items)
{
    const CString path = CCutListFile::TempEDLPath();
    CSourceDestItemArray written;
    for (INT_PTR k = 0; k + 1 < items.GetSize(); k += 2) {
        CSourceDestItem& destination = items[k + 1];
        if (destination.m_pEvent) destination.m_pEvent->m_nReelIndex = reels.Find(destination.m_pEvent->m_strReelName);
        // A pair of no length takes nothing; one of a negative length (an overlapping move)
        // would lay the moved range down in the wrong place.
        if (items[k].m_nLength <= 0 || destination.m_nLength <= 0) continue;
        written.Add(items[k]);
        written.Add(destination);
    }
    m_pPairLock = std::make_unique<TempEditListLock>();
    m_pPairLock->AcquireOrThrow();
    WriteStoredEditList(path, settings, reels, written);
    return Run(package, path, TRUE);
}

namespace {

// A pair of the range conform on its one reel.
void addPair(CSourceDestItemArray& items, const CString& reel, int64_t source, int64_t destination, int64_t length,
             int64_t sourceLength)
{
    AppendEditListPair(items, source, destination, length, reel, -1, sourceLength);
}
void addPair(CSourceDestItemArray& items, const CString& reel, int64_t source, int64_t destination, int64_t length)
{
    AppendEditListPair(items, source, destination, length, reel, -1, length);
}

// A range conform: one reel, the pairs of the edit, the pair file and its conform.
template <class Pairs>
enConformStatus conformRange(CAutomationPackage* package, Pairs pairs)
{
    if (!package) return enConformEDLNotOpened;
    CTimecodeSettings settings;
    CString stem;
    CConformEngine engine;
    CEDLReelTable reels;
    CSourceDestItemArray items;
    int frameRate = 0;
    CConformEngine::SetupSorelReel(package, settings, reels, frameRate, stem);
    pairs(items, stem, int64_t{FramesIn24Hours(frameRate)});
    return engine.RunSorelPairs(package, settings, reels, items);
}

// Starts are compared as unsigned 32-bit numbers.
bool laterThan(int y, int x) { return static_cast<uint32_t>(y) > static_cast<uint32_t>(x); }

}  // namespace

enConformStatus CopyConformSorelStyle(CAutomationPackage* package, CSourceDestItem* source, CSourceDestItem* destination)
{
    if (!source || !destination) return enConformEDLNotOpened;
    const int64_t x = source->m_nStart, lx = source->m_nLength, y = destination->m_nStart, ly = destination->m_nLength;
    const bool later = laterThan(destination->m_nStart, source->m_nStart);
    return conformRange(package, [&](CSourceDestItemArray& items, const CString& reel, int64_t end) {
        addPair(items, reel, 0, 0, y);
        // Over an earlier place the copy takes the destination's length.
        const int64_t copied = later ? lx : ly;
        addPair(items, reel, x, y, copied, lx);
        addPair(items, reel, y + copied, y + copied, end - (y + copied));
    });
}

enConformStatus MoveConformSorelStyle(CAutomationPackage* package, CSourceDestItem* source, CSourceDestItem* destination)
{
    if (!source || !destination) return enConformEDLNotOpened;
    const int64_t x = source->m_nStart, lx = source->m_nLength, y = destination->m_nStart;
    const bool later = laterThan(destination->m_nStart, source->m_nStart);
    return conformRange(package, [&](CSourceDestItemArray& items, const CString& reel, int64_t end) {
        if (later) {
            addPair(items, reel, 0, 0, x);
            addPair(items, reel, x + lx, x + lx, y - (x + lx));
            addPair(items, reel, x, y, lx);
        } else {
            addPair(items, reel, 0, 0, y);
            addPair(items, reel, x, y, lx);
            addPair(items, reel, y + lx, y + lx, x - (y + lx));
        }
        const int64_t tail = later ? y + lx : x + lx;
        addPair(items, reel, tail, tail, end - (y + lx));
    });
}

enConformStatus DeleteConformSorelStyle(CAutomationPackage* package, CSourceDestItem* range)
{
    if (!range) return enConformEDLNotOpened;
    const int64_t s = range->m_nStart, len = range->m_nLength;
    return conformRange(package, [&](CSourceDestItemArray& items, const CString& reel, int64_t end) {
        addPair(items, reel, 0, 0, s);
        addPair(items, reel, s + len, s + len, end - s);
    });
}
