#include "trevanny/AutomationExtract.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "trevanny/AutomationPackage.h"
#include "trevanny/AutomationStreams.h"
#include "trevanny/ChannelFlagArrays.h"

namespace {

constexpr int kCtrlParmsItem = 17;
constexpr int kRteParmsItem = 18;
// The last snapshot version whose large-console control records hold 31 processes, and the
// first version that no reader takes.
constexpr int kLastOldLayoutVersion = 25;
constexpr int kUnreadableVersion = 35;
constexpr int kOldProcessCount = 31;
constexpr int kRouteWordsPerProcess = CAutomationPackage::kRteParmsPerRoute;
constexpr int kWordsPerProcess = CAutomationPackage::kCtrlParmsPerProcess;

bool isSmallConsole(int type) { return type == 1 || type == 6; }
bool isLargeConsole(int type) { return type == 2 || type == 3 || type == 4 || type == 5 || type == 7; }

// The control parameter defaults of one channel: the small table on types 1 and 6, the
// family's table on the large consoles, the first family's on any other type.
const WORD* channelDefaults(int type)
{
    int count = 0;
    return CAutomationPackage::GetDefaultCtrlParms(isSmallConsole(type) || isLargeConsole(type) ? type : 3, count);
}

// Reads a compound file's flag stream as records of WORDS words into raw bytes; `damaged` is set
// when the file cannot be opened or the stream is there but cannot be read whole.
template <int WORDS>
bool loadStreamRecords(const CString& path, const CString& stream, std::vector<BYTE>& out, bool& damaged)
{
    CArray<FlagRecord<WORDS>, FlagRecord<WORDS>> records;
    AutomationStorage storage;
    if (!storage.OpenForReading(path) || !LoadFlagRecords(storage, stream, records)) {
        if (!storage.Get() || storage.SawDamage()) damaged = true;
        return false;
    }
    const BYTE* p = reinterpret_cast<const BYTE*>(records.GetData());
    out.assign(p, p + records.GetSize() * sizeof(FlagRecord<WORDS>));
    return true;
}

}  // namespace

CAutomationExtract::CAutomationExtract(const CString& fileName) : m_strFileName(fileName)
{
    if (fileName.IsEmpty() || !IsAutxFile(fileName)) return;
    m_bIndexed = TRUE;
    m_pAutxFile = new CAutxFile;
    m_bOwnsAutxFile = 1;
    if (!m_pAutxFile->OpenForReading(fileName)) {
        m_pAutxFile->Close();
        m_pAutxFile->OpenForReading(fileName);
    }
}

CAutomationExtract::~CAutomationExtract()
{
    if (m_bOwnsAutxFile && m_pAutxFile) {
        m_pAutxFile->Close();
        delete m_pAutxFile;
    }
}

CString CAutomationExtract::GetItemName(int id)
{
    switch (id) {
    case 2:
    case 3: return "Ends";
    case 4:
    case 5: return "Virgins";
    case 6:
    case 7: return "Armed";
    case 9:
    case 10: return "Mode";
    // The ids under which the passes store each flag.
    case 11:
    case 12: return "Touch";
    case 13:
    case 14: return "Meta";
    case 15:
    case 16: return "TouchNotMode";
    case 17:
    case 18: return "ISS";
    case 21: return "LinkControls";
    case 22: return "LinkRoutes";
    case 0:
    case 1:
    case 8:
    case 19:
    case 20:
    case 23:
    case 24:
    case 25:
    case 26:
    case 27:
    case 100:
    case 101:
    case 102: return "ERROR";
    default: return "UNKNOWN";
    }
}

BOOL CAutomationExtract::GetControlFlags(int sv, DWORD* buffer, int bytes, int id, DWORD fill)
{
    if (!std::count(std::begin(kCtrlFlagItemIds), std::end(kCtrlFlagItemIds), id)) return FALSE;
    if (buffer && bytes > 0) std::fill(buffer, buffer + bytes / 4, fill);
    return readControlFlags(sv, buffer, bytes, id);
}

BOOL CAutomationExtract::GetRouteFlags(int sv, DWORD* buffer, int bytes, int id, DWORD fill)
{
    if (!std::count(std::begin(kRteFlagItemIds), std::end(kRteFlagItemIds), id)) return FALSE;
    if (buffer && bytes > 0) std::fill(buffer, buffer + bytes / 4, fill);
    return readRouteFlags(sv, buffer, bytes, id);
}

BOOL CAutomationExtract::readControlFlags(int sv, DWORD* buffer, int bytes, int id)
{
    CConsoleRegistryNames::LoadConsoleSettings();
    const int type = CConsoleRegistryNames::GetConsoleType();
    const int slot = GetCtrlProcessCount() * 4;
    BYTE* out = reinterpret_cast<BYTE*>(buffer);
    if (isLargeConsole(type) && sv <= kLastOldLayoutVersion)
        return readFlagRecords(sizeof(OldCtrlFlagRecord), id, CTRL_FLAG_STREAM_SUFFIX, out, bytes, slot);
    if (sv >= kUnreadableVersion) return FALSE;
    const int record = isSmallConsole(type) ? sizeof(SmallCtrlFlagRecord) : sizeof(CtrlFlagRecord);
    return readFlagRecords(record, id, CTRL_FLAG_STREAM_SUFFIX, out, bytes, slot);
}

BOOL CAutomationExtract::readRouteFlags(int sv, DWORD* buffer, int bytes, int id)
{
    if (sv >= kUnreadableVersion) return FALSE;
    CConsoleRegistryNames::LoadConsoleSettings();
    // The small consoles store no route flags.
    if (CConsoleRegistryNames::IsSmallConsole()) return TRUE;
    return readFlagRecords(sizeof(RteFlagRecord), id, RTE_FLAG_STREAM_SUFFIX, reinterpret_cast<BYTE*>(buffer), bytes,
                           GetRteProcessCount() * 4);
}

BOOL CAutomationExtract::readFlagRecords(int recordBytes, int id, const char* suffix, BYTE* buffer, int bytes,
                                         int slotBytes)
{
    std::vector<BYTE> stored;
    if (m_bIndexed) {
        CDWordArray words;
        if (!m_pAutxFile || !m_pAutxFile->ReadDwordArray(id, words)) {
            if (!m_pAutxFile || m_pAutxFile->HasEntry(id)) m_bDamaged = true;
            return FALSE;
        }
        const BYTE* p = reinterpret_cast<const BYTE*>(words.GetData());
        stored.assign(p, p + words.GetSize() * sizeof(DWORD));
    } else {
        const CString stream = GetItemName(id) + suffix;
        bool loaded = false;
        switch (recordBytes) {
        case sizeof(OldCtrlFlagRecord): loaded = loadStreamRecords<31>(m_strFileName, stream, stored, m_bDamaged); break;
        case sizeof(SmallCtrlFlagRecord): loaded = loadStreamRecords<5>(m_strFileName, stream, stored, m_bDamaged); break;
        case sizeof(CtrlFlagRecord): loaded = loadStreamRecords<36>(m_strFileName, stream, stored, m_bDamaged); break;
        case sizeof(RteFlagRecord): loaded = loadStreamRecords<48>(m_strFileName, stream, stored, m_bDamaged); break;
        default: break;
        }
        if (!loaded) return FALSE;
    }
    // Whole records only, each into its channel's slot when the slot lies in the buffer.
    const size_t records = std::min<size_t>(kStoredChannels, stored.size() / static_cast<size_t>(recordBytes));
    for (size_t i = 0; i < records && buffer; ++i) {
        const int64_t at = static_cast<int64_t>(i) * slotBytes;
        if (at + recordBytes > bytes) break;
        std::memcpy(buffer + at, stored.data() + i * static_cast<size_t>(recordBytes), static_cast<size_t>(recordBytes));
    }
    return TRUE;
}

BOOL CAutomationExtract::readParms(int id, const char* stream, int perChannel, WORD* buffer, int bytes, int slotWords)
{
    CWordArray stored;
    if (m_bIndexed) {
        if (!m_pAutxFile || !m_pAutxFile->ReadWordArray(id, stored)) {
            if (!m_pAutxFile || m_pAutxFile->HasEntry(id)) m_bDamaged = true;
            return FALSE;
        }
    } else {
        AutomationStorage storage;
        if (!storage.OpenForReading(m_strFileName) || !LoadArrayData(storage, stream, stored)) {
            if (!storage.Get() || storage.SawDamage()) m_bDamaged = true;
            return FALSE;
        }
    }
    const int64_t words = bytes > 0 && buffer ? bytes / 2 : 0;
    for (int64_t c = 0; c < kStoredChannels; ++c) {
        const int64_t from = c * perChannel;
        const int64_t to = c * slotWords;
        if (from >= stored.GetSize() || to >= words) break;
        const int64_t n = std::min({static_cast<int64_t>(perChannel), stored.GetSize() - from, words - to});
        std::memcpy(buffer + to, stored.GetData() + from, static_cast<size_t>(n) * sizeof(WORD));
    }
    return TRUE;
}

BOOL CAutomationExtract::GetControlParms(int sv, WORD* buffer, int bytes)
{
    if (sv >= kUnreadableVersion) return FALSE;
    CConsoleRegistryNames::LoadConsoleSettings();
    const int type = CConsoleRegistryNames::GetConsoleType();
    const int processes = GetCtrlProcessCount();
    const int perChannel = processes * kWordsPerProcess;
    const bool oldLayout = sv <= kLastOldLayoutVersion && !isSmallConsole(type);
    const int stored = (oldLayout ? kOldProcessCount : processes) * kWordsPerProcess;
    if (!readParms(kCtrlParmsItem, "ISSCCtrlParms", stored, buffer, bytes, perChannel)) return FALSE;

    const int64_t words = bytes > 0 && buffer ? bytes / 2 : 0;
    const int64_t channels = words / perChannel;
    const WORD* defaults = channelDefaults(type);
    // Only words inside the buffer are written.
    auto put = [&](int64_t at, int64_t count, const WORD* from) {
        if (at >= words) return;
        std::memcpy(buffer + at, from, static_cast<size_t>(std::min(count, words - at)) * sizeof(WORD));
    };
    if (oldLayout) {
        for (int64_t c = 0; c < kStoredChannels; ++c)
            put(c * perChannel + stored, perChannel - stored, defaults + stored);
    }
    for (int64_t c = kStoredChannels; c < channels; ++c) put(c * perChannel, perChannel, defaults);
    return TRUE;
}

BOOL CAutomationExtract::GetRouteParms(int sv, WORD* buffer, int bytes)
{
    if (sv >= kUnreadableVersion) return FALSE;
    CConsoleRegistryNames::LoadConsoleSettings();
    const int perChannel = GetRteProcessCount() * kRouteWordsPerProcess;
    if (!readParms(kRteParmsItem, "ISSCRteParms", perChannel, buffer, bytes, perChannel)) return FALSE;
    const int64_t words = bytes > 0 && buffer ? bytes / 2 : 0;
    const int64_t end = words / perChannel * perChannel;
    for (int64_t at = int64_t{kStoredChannels} * perChannel; at < end; at += kRouteWordsPerProcess)
        std::memcpy(buffer + at, CAutomationPackage::kDefaultRteParms, sizeof CAutomationPackage::kDefaultRteParms);
    return TRUE;
}
