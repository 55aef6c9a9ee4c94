#include "quenby/CurrentConsoleSetupKIVObject.h"

#include <cstring>

#include "quenby/KivClientKit.h"
#include "trevanny/ConsoleRegistryNames.h"

namespace {

const char* const kLongPatterns[CCurrentConsoleSetupKIVObject::kNumPathTypes] = {
    "  %d", "GRP%d", "MAI%d", "AU %d", "LS%d", "TBK ", "SEL%d", "TRK%d", "CUE%d", "EXT%d", "FLM%d", "FLS%d", "PD%d", "SC%d"};
const char* const kShortPatterns[CCurrentConsoleSetupKIVObject::kNumPathTypes] = {
    "%d", "GR%d", "MA%d", "AU%d", "LS%d", "TBK ", "SE%d", "TR%d", "CU%d", "EX%d", "FL%d", "FS%d", "PM%d", "SC%d"};

// Block layouts of the console-setup commands.
constexpr size_t kNameField = 201;             // a name of up to 200 bytes and its zero
constexpr size_t kLoadFirstName = 16;
constexpr size_t kLoadB = 446488;
constexpr size_t kLoadOne = 446492;
constexpr size_t kLoadC = 446496;
constexpr size_t kLoadFurtherNames = 446500;  // slots of 201 bytes
constexpr size_t kLoadA = 447908;
constexpr size_t kRenamePath = 420;
constexpr size_t kShortNames = 8428;   // 5 bytes per path
constexpr size_t kLongNames = 420428;  // 13 bytes per path
constexpr size_t kShortNameField = 5;
constexpr size_t kLongNameField = 13;

const char* const kEmptyFader = "Empty";

CString formatted(const char* pattern, int number)
{
    CString s;
    s.Format(pattern, number);
    return s;
}

bool isGroupFader(const CFaderLayout& l, int n) { return n >= l.GetAt(2) && n < l.GetAt(2) + l.GetAt(3); }
bool isOutputFader(const CFaderLayout& l, int n) { return n >= l.GetAt(4) && n < l.GetAt(4) + l.GetAt(5); }
int channelCount(const CFaderLayout& l) { return l.GetAt(0) - l.GetAt(3) - l.GetAt(5); }

}  // namespace

CString GetFaderShortName(const CFaderLayout& layout, int n)
{
    if (isGroupFader(layout, n)) return formatted("G%d", n - layout.GetAt(2) + 1);
    if (isOutputFader(layout, n)) return formatted("O%d", n - layout.GetAt(4) + 1);
    if (n < channelCount(layout)) return formatted("C%d", n + 1);
    return kEmptyFader;
}

CString GetFaderLongName(const CFaderLayout& layout, int n)
{
    if (isGroupFader(layout, n)) return formatted("Grp%d", n - layout.GetAt(2) + 1);
    if (isOutputFader(layout, n)) return formatted("Out%d", n - layout.GetAt(4) + 1);
    if (n < channelCount(layout)) return formatted(n + 1 < 100 ? "Ch%d" : "C%d", n + 1);
    return formatted("[%d]", n + 1);
}

BOOL IsEmptyFader(const CFaderLayout& layout, int n) { return GetFaderShortName(layout, n) == kEmptyFader; }

const CFaderLayout& QuenbyFaderLayout()
{
    static const CFaderLayout* layout = new CFaderLayout;  // lives for the whole process
    return *layout;
}

CCurrentConsoleSetupKIVObject::CCurrentConsoleSetupKIVObject(int enabled)
    : CGenericKIVObject(enabled), m_anDynamicsLinks(static_cast<size_t>(kNumLinkedPaths) * kLinkRecordWords, 0)
{
    for (int t = 0; t < kNumPathTypes; ++t) {
        std::strncpy(m_szShortPattern[t], kShortPatterns[t], sizeof m_szShortPattern[t]);
        std::strncpy(m_szLongPattern[t], kLongPatterns[t], sizeof m_szLongPattern[t]);
    }
}

CCurrentConsoleSetupKIVObject::~CCurrentConsoleSetupKIVObject() = default;

void CCurrentConsoleSetupKIVObject::CCSAttach()
{
    SendAttachBlock(KivBlock(AttachToCurrentConsoleSetup, kKIVBareCommandSize).Take(), /*readNow=*/1);
}

void CCurrentConsoleSetupKIVObject::LoadConsoleSetup(CStringArray& names, int a, int b, int c, HWND window)
{
    KivBlock block(LoadConsoleSetupCommand, kSetupBlockSize, window);
    if (names.GetSize() > 0) block.PlainName(kLoadFirstName, kNameField, names[0]);
    block.Put32(kLoadB, b);
    block.Put32(kLoadOne, 1);
    block.Put32(kLoadC, c);
    // The further names' slots end where a is kept: names past the seventh have no room.
    for (INT_PTR i = 1; i < names.GetSize() && i <= kMaxFurtherSetupNames; ++i)
        block.PlainName(kLoadFurtherNames + kNameField * static_cast<size_t>(i - 1), kNameField, names[i]);
    block.Put32(kLoadA, a);
    SendCommandBlock(block.Take());
}

void CCurrentConsoleSetupKIVObject::SetPathName(int path, const CString& name, HWND window)
{
    KivBlock block(SetPathNameCommand, kSetupBlockSize, window);
    block.Put32(kRenamePath, path);
    block.PlainName(kShortNames, kShortNameField, name);
    block.PlainName(kLongNames, kLongNameField, name);
    SendCommandBlock(block.Take());
}

void CCurrentConsoleSetupKIVObject::SetMultiplePathNames(HWND window)
{
    KivBlock block(SetPathNameCommand, kSetupBlockSize, window);
    block.Put32(kRenamePath, -1);
    for (INT_PTR i = 0; i < m_anQueuedPaths.GetSize(); ++i) {
        size_t path = static_cast<size_t>(m_anQueuedPaths[i]);  // 0 to 3043, checked when queued
        block.PlainName(kShortNames + kShortNameField * path, kShortNameField, m_astrQueuedNames[i]);
        block.PlainName(kLongNames + kLongNameField * path, kLongNameField, m_astrQueuedNames[i]);
    }
    SendCommandBlock(block.Take());
}

void CCurrentConsoleSetupKIVObject::MakeDefault(CString name)
{
    KivBlock block(MakeDefaultMSUCommand, kSetupBlockSize);
    block.PlainName(kLoadFirstName, kNameField, name);
    SendCommandBlock(block.Take());
}

void CCurrentConsoleSetupKIVObject::ResetMultiplePathNameQueue()
{
    m_anQueuedPaths.RemoveAll();
    m_astrQueuedNames.RemoveAll();
}

BOOL CCurrentConsoleSetupKIVObject::QueuePathName(int path, const CString& name)
{
    if (path < 0 || path > kMaxQueuedPath) return FALSE;
    m_anQueuedPaths.Add(path);
    m_astrQueuedNames.Add(name);
    return TRUE;
}

int CCurrentConsoleSetupKIVObject::GetOffset(int type)
{
    return KivKindOffset(m_anPathMap.GetData(), static_cast<int>(m_anPathMap.GetSize()), type);
}

int CCurrentConsoleSetupKIVObject::GetPathType(int path)
{
    return KivKindOfPath(m_anPathMap.GetData(), static_cast<int>(m_anPathMap.GetSize()), path);
}

int CCurrentConsoleSetupKIVObject::GetNumPathType(int type) { return type < 0 ? 0 : GetTypeTotal(type); }

int CCurrentConsoleSetupKIVObject::GetTypeTotal(int type)
{
    return type >= 0 && type < m_anPathMap.GetSize() ? m_anPathMap[type] : 0;
}

int CCurrentConsoleSetupKIVObject::GetTotalPaths()
{
    int total = 0;
    for (INT_PTR t = 0; t < m_anPathMap.GetSize(); ++t) total += m_anPathMap[t];
    return total;
}

void CCurrentConsoleSetupKIVObject::GetNamesOfType(int type, CStringArray& names, CArray<int, int>& paths)
{
    names.RemoveAll();
    paths.RemoveAll();
    if (type < 0 || type >= kNumPathTypes) return;
    int offset = GetOffset(type);
    for (int i = 0; i < GetTypeTotal(type); ++i) {
        names.Add(GetPathName(offset + i));
        paths.Add(offset + i);
    }
}

CString CCurrentConsoleSetupKIVObject::GetPathName(int path)
{
    if (path < 0 || path >= m_astrPathNames.GetSize()) return "????";
    return m_astrPathNames[path];
}

CString CCurrentConsoleSetupKIVObject::GetDefaultName(int type, int number)
{
    if (type < 0 || type >= kNumPathTypes) return CString();
    int consoleType = CConsoleRegistryNames::GetConsoleType();
    // The small consoles name their channel paths after the faders.
    if (type == 0 && (consoleType == 1 || consoleType == 6)) return GetFaderLongName(QuenbyFaderLayout(), number - 1);
    // On console type 4 the first group is the mix-minus group.
    return KivDefaultLabel(type, number, m_szLongPattern, m_szShortPattern, consoleType == 4 ? 1 : 0, consoleType);
}

void CCurrentConsoleSetupKIVObject::GetDefaultName(int path, CString& name)
{
    int type = GetPathType(path);
    name = GetDefaultName(type, path - GetOffset(type) + 1);
}

int CCurrentConsoleSetupKIVObject::GetDynamicsLink(int type, int path, CArray<int, int>& links)
{
    links.RemoveAll();
    if (path < 0 || path >= kNumLinkedPaths) return 0;
    const int32_t* record = LinkRecord(path);
    int count = record[0];
    if (count <= 0) return 0;
    if (count > kLinkRecordWords - 1) count = kLinkRecordWords - 1;
    if (GetPathType(record[1]) != type) return 0;
    int offset = GetOffset(type);
    for (int i = 1; i <= count; ++i) links.Add(record[i] - offset);
    return static_cast<int>(links.GetSize());
}
