#include "trevanny/MixPassArrays.h"

#include <cstdint>
#include <memory>

namespace {
// Words per path of the five-process parameter layout, and the two words taken from it.
constexpr int64_t kSmallParmsPerPath = 45;
constexpr int kProcess0Control6 = 6;
constexpr int kProcess1Control6 = 15;
}  // namespace

CCtrlParms::~CCtrlParms() = default;

int CCtrlParms::ExtractControl6(WORD** out, int channels) const
{
    if (!out || channels < 1 || channels > INT32_MAX / 4 || GetSize() != channels * kSmallParmsPerPath) return 0;
    auto words = std::make_unique<WORD[]>(static_cast<size_t>(channels) * 2);
    const WORD* parms = GetData();
    for (int i = 0; i < channels; ++i) {
        const WORD* path = parms + i * kSmallParmsPerPath;
        words[static_cast<size_t>(i)] = path[kProcess0Control6];
        words[static_cast<size_t>(channels + i)] = path[kProcess1Control6];
    }
    *out = words.release();
    return channels * 4;
}

CRteParms::~CRteParms() = default;

CLinkMap::CLinkMap(const CString& name) : CTypedAutomationArray(name, 2)
{
    // One byte per path number is enough for 256 paths.
    m_nRecordSize = GetMaxPathsMode() == 0 ? 1 : 2;
}

CLinkMap::~CLinkMap() = default;

CGangMap::~CGangMap() = default;

CVectorData::~CVectorData() = default;
