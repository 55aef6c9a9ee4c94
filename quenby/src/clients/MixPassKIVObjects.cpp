#include "quenby/MixPassKIVObjects.h"

#include <algorithm>
#include <utility>
#include <vector>
#include <cstring>

#include "quenby/KIVCommands.h"
#include "trevanny/ConsoleRegistryNames.h"
#include "trevanny/SharedConstants.h"
#include "winport/RegistryObject.h"

namespace {
constexpr int kBare = kKIVBareCommandSize;
constexpr size_t kNameField = 201;  // the bounded copy of the mix-edit and tree names
constexpr size_t kFilterOffset = 8036, kModeOffset = 8040, kLastIntOffset = 8048;
constexpr size_t kFirstNameOffset = 8080, kSecondNameOffset = 8281;
// The window of the offline interrogator's commands.
const HWND kOfflineWindow = UlongToHwnd(65535);

void PutFilter(KivBlock& block, AutomationEventFilterStructure filter)
{
    block.Put32(kFilterOffset, static_cast<int32_t>(filter.m_dwCategories));
}

// Plain copies of names at the given offsets, in order: each field runs to the next offset, the
// last to `end`.
void PutNames(KivBlock& block, std::initializer_list<std::pair<size_t, const CString*>> names, size_t end)
{
    std::vector<std::pair<size_t, const CString*>> sorted(names);
    std::sort(sorted.begin(), sorted.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    for (size_t i = 0; i < sorted.size(); ++i) {
        const size_t next = i + 1 < sorted.size() ? sorted[i + 1].first : end;
        block.PlainName(sorted[i].first, next - sorted[i].first, sorted[i].second->c_str());
    }
}
}  // namespace

// ---- mix edits ----

void CMixEditKIVObject::MEAttach() { SendAttachBlock(KivBlock(AttachToMixEdit, kBare).Take(), /*readNow=*/0); }

void CMixEditKIVObject::PutPaths(KivBlock& block, int n, const int* paths)
{
    const int sent = paths && n > 0 ? std::min(n, kConsolePaths) : 0;
    block.Put32(32, sent);
    if (sent > 0) block.PutBytes(36, paths, sizeof(int32_t) * static_cast<size_t>(sent));
}

void CMixEditKIVObject::AutoThin(DWORD from, DWORD to, int n, const int* paths, AutomationEventFilterStructure filter, int a,
                                 int b, HWND window)
{
    KivBlock block(AutoThinCommand, kBlockSize, window);
    block.Put32(16, static_cast<int32_t>(from));
    block.Put32(20, static_cast<int32_t>(to));
    PutPaths(block, n, paths);
    PutFilter(block, filter);
    block.Put16(8482, static_cast<uint16_t>(a));
    block.Put16(8496, static_cast<uint16_t>(b));
    SendCommandBlock(block.Take());
}

void CMixEditKIVObject::EraseMix(DWORD from, DWORD to, int n, const int* paths, AutomationEventFilterStructure filter,
                                 EraseMode mode, int a, HWND window)
{
    KivBlock block(EraseMixCommand, kBlockSize, window);
    block.Put32(16, static_cast<int32_t>(from));
    block.Put32(20, static_cast<int32_t>(to));
    PutPaths(block, n, paths);
    PutFilter(block, filter);
    block.Put32(kModeOffset, mode);
    block.Put32(kLastIntOffset, a);
    SendCommandBlock(block.Take());
}

void CMixEditKIVObject::CopyMix(DWORD t1, DWORD t2, DWORD t3, int a, int n, const int* paths,
                                AutomationEventFilterStructure filter, EraseMode mode, int b, HWND window)
{
    KivBlock block(CopyMixCommand, kBlockSize, window);
    block.Put32(16, static_cast<int32_t>(t1));
    block.Put32(20, static_cast<int32_t>(t2));
    block.Put32(24, static_cast<int32_t>(t3));
    block.Put32(28, a);
    PutPaths(block, n, paths);
    PutFilter(block, filter);
    block.Put32(kModeOffset, mode);
    block.Put32(kLastIntOffset, b);
    SendCommandBlock(block.Take());
}

void CMixEditKIVObject::ConformMix(MixConformMode mode, DWORD t1, DWORD t2, DWORD t3, int a, const int* paths, int n, int b,
                                   HWND window)
{
    KivBlock block(ConformMixCommand, kBlockSize, window);
    block.Put32(8044, mode);
    block.Put32(16, static_cast<int32_t>(t1));
    block.Put32(20, static_cast<int32_t>(t2));
    block.Put32(24, static_cast<int32_t>(t3));
    block.Put32(kLastIntOffset, a);
    PutPaths(block, n, paths);
    block.Put32(8492, b);
    SendCommandBlock(block.Take());
}

void CMixEditKIVObject::SetMergeWithoutSave(HWND window) { SendCommandBlock(KivBlock(SetMergeWithoutSaveCommand, kBlockSize, window).Take()); }

void CMixEditKIVObject::SendChannelData(int command, const CString& a, const CString& b, AutomationEventFilterStructure filter,
                                        EraseMode mode, std::initializer_list<DWORD> times, int n, const int* paths, int c,
                                        HWND window)
{
    KivBlock block(command, kBlockSize, window);
    block.BoundedName(kFirstNameOffset, kNameField, a.c_str());
    block.BoundedName(kSecondNameOffset, kNameField, b.c_str());
    PutFilter(block, filter);
    block.Put32(kModeOffset, mode);
    size_t at = 16;
    for (DWORD t : times) block.Put32(at, static_cast<int32_t>(t)), at += 4;
    PutPaths(block, n, paths);
    block.Put32(kLastIntOffset, c);
    SendCommandBlock(block.Take());
}

void CMixEditKIVObject::MergeChannelData(const CString& a, const CString& b, AutomationEventFilterStructure filter,
                                         EraseMode mode, DWORD t1, DWORD t2, int n, const int* paths, int c, HWND window)
{
    SendChannelData(MergeChannelDataCommand, a, b, filter, mode, {t1, t2}, n, paths, c, window);
}

void CMixEditKIVObject::ImportChannelData(const CString& a, const CString& b, AutomationEventFilterStructure filter,
                                          EraseMode mode, DWORD t1, DWORD t2, DWORD t3, int n, const int* paths, int c,
                                          HWND window)
{
    SendChannelData(ImportChannelDataCommand, a, b, filter, mode, {t1, t2, t3}, n, paths, c, window);
}

void CMixEditKIVObject::IsolateMix(DWORD t1, DWORD t2, const int* paths, int n, AutomationEventFilterStructure filter, HWND window)
{
    KivBlock block(IsolateSceneCommand, kBlockSize, window);
    block.Put32(16, static_cast<int32_t>(t1));
    block.Put32(20, static_cast<int32_t>(t2));
    PutPaths(block, n, paths);
    PutFilter(block, filter);
    SendCommandBlock(block.Take());
}

void CMixEditKIVObject::DeleteMix(const CString& a, const CString& b, const CString& c, const CString& d, const CString& e,
                                  HWND window)
{
    KivBlock block(DeleteCommand, kNamedBlockSize, window);
    PutNames(block, {{20, &a}, {59, &b}, {98, &c}, {137, &d}, {176, &e}}, kNamedBlockSize);
    SendCommandBlock(block.Take());
}

void CMixEditKIVObject::RenameMix(const CString& a, const CString& b, const CString& c, const CString& d, const CString& e,
                                  const CString& f, HWND window)
{
    KivBlock block(RenameMixCommand, kNamedBlockSize, window);
    PutNames(block, {{20, &a}, {59, &b}, {98, &c}, {137, &d}, {176, &e}, {215, &f}}, kNamedBlockSize);
    SendCommandBlock(block.Take());
}

void CMixEditKIVObject::EDLConformMix(const CString& edl, AutomationEventFilterStructure filter, bool flag, const CString& name,
                                      int a, HWND window)
{
    KivBlock block(EDLConformCommand, kBlockSize, window);
    block.Put32(8492, flag ? 1 : 0);
    PutFilter(block, filter);
    block.Put32(32, a);
    block.BoundedName(kFirstNameOffset, kNameField, edl.c_str());
    block.BoundedName(kSecondNameOffset, kNameField, name.c_str());
    SendCommandBlock(block.Take());
}

// ---- mix-pass file ----

void CMixPassAutomationFileKIVObject::MPAFAttach(const CString& a, const CString& b, const CString& c, const CString& d)
{
    KivBlock block(AttachToMixPassAutomationFile, kBlockSize);
    PutNames(block, {{20, &a}, {59, &b}, {98, &c}, {137, &d}}, kBlockSize);
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

// ---- mix-pass tree ----

void CNewMixPassTreeKIVObject::NewMPTAttach() { SendAttachBlock(KivBlock(AttachToMixPassTree, kBare).Take(), /*readNow=*/1); }

void CNewMixPassTreeKIVObject::Activate(int a0, int a1, int a2, int a3, int a4, int a5, int a6, int a7, HWND window)
{
    int loadMode = 2;  // missing: not 0
    CCurrentUserRegistryObject registry;
    registry.GetInt(MainKey, "Load Mode (Auto)", loadMode, 2);
    const int32_t first[7] = {a0, a1, a2, a3, a4, a5, a6};
    KivBlock block(ActivateTreeCommand, 52, window);
    block.PutBytes(16, first, sizeof first);
    block.Put32(44, loadMode == 0 ? 1 : 0);
    block.Put32(48, a7);
    SendCommandBlock(block.Take());
}

void CNewMixPassTreeKIVObject::LoadRevision(const CString& name, int a, int b, int c, int d, int e, LabelCommandType label,
                                            HWND window)
{
    const int32_t ints[5] = {a, b, c, d, e};
    KivBlock block(LoadRevisionCommand, kTreeBlockSize, window);
    block.BoundedName(824, kNameField, name.c_str());
    block.PutBytes(1088, ints, sizeof ints);
    block.Put32(1108, label);
    SendCommandBlock(block.Take());
}

void CNewMixPassTreeKIVObject::NewTree(const CString& a, const CString& b, const CString& c, const CString& d, int e,
                                       const CString& f, LabelCommandType g, HWND window)
{
    KivBlock block(NewTreeCommand, kTreeBlockSize, window);
    PutNames(block, {{16, &a}, {217, &b}, {418, &c}, {619, &d}}, 820);
    block.Put32(820, e);
    block.PlainName(824, 1108 - 824, f.c_str());
    block.Put32(1108, g);
    SendCommandBlock(block.Take());
}

void CNewMixPassTreeKIVObject::LoadTree(const CString& n1, const CString& n2, const CString& n3, const CString& n4,
                                        const CString& n5, int i1, int i2, int i3, int i4, int i5, int i6, LabelCommandType label,
                                        DWORD value, const CString& f1, const CString& f2, const CString& f3, const CString& f4,
                                        const CString& f5, const CString& f6, const CString& f7, const CString& f8, HWND window)
{
    const int32_t ints[5] = {i2, i3, i4, i5, i6};
    KivBlock block(LoadTreeCommand, kTreeBlockSize, window);
    PutNames(block, {{16, &n1}, {217, &n2}, {418, &n3}, {619, &n4}}, 820);
    block.Put32(820, i1);
    block.PlainName(824, 1088 - 824, n5.c_str());
    block.PutBytes(1088, ints, sizeof ints);
    block.Put32(1108, label);
    block.Put32(1112, static_cast<int32_t>(value));
    PutNames(block, {{1116, &f1}, {1317, &f2}, {2322, &f3}, {2121, &f4}, {1518, &f5}, {1719, &f6}, {1920, &f7}, {2523, &f8}},
             kTreeBlockSize);
    SendCommandBlock(block.Take());
}

void CNewMixPassTreeKIVObject::GetAutoFromDesk(HWND window, int value)
{
    KivBlock block(GetAutoFromDeskCommand, 52, window);
    block.Put32(28, value);
    SendCommandBlock(block.Take());
}

void CNewMixPassTreeKIVObject::SaveChanges(const CArray<TreeChangesStructure, TreeChangesStructure>& changes,
                                           const CString& name, int value, HWND window)
{
    const size_t n = static_cast<size_t>(changes.GetSize());
    KivBlock block(SaveTreeNotes, 288 + 368 * static_cast<int64_t>(n), window);
    block.Put32(16, value);
    block.Put32(20, static_cast<int32_t>(n));
    block.BoundedName(24, 260, name.c_str());
    for (size_t i = 0; i < n && block.Made(); ++i) {
        const TreeChangesStructure& change = changes[static_cast<INT_PTR>(i)];
        const size_t at = 288 + 368 * i;
        // The texts need no zero inside their fields: the copies stop at their width.
        char text[sizeof change.szText + 1] = {};
        char note[sizeof change.szNote + 1] = {};
        std::memcpy(text, change.szText, sizeof change.szText);
        std::memcpy(note, change.szNote, sizeof change.szNote);
        block.Put32(at, change.nChange);
        block.BoundedName(at + 4, 260, text);
        block.BoundedName(at + 265, 100, note);
    }
    SendCommandBlock(block.Take());
}

void CMixStatisticsKIVObject::MSAttach() { SendAttachBlock(KivBlock(AttachToMixStatisticsControl, kBare).Take(), /*readNow=*/1); }

void CMSUVersionKIVObject::MSUVAttach()
{
    constexpr int size = 228;
    SendAttachBlock(KivNameBlock(AttachToMSUVersion, size, 24, size - 24, m_strVersion.c_str(), kOfflineWindow), /*readNow=*/1);
}

// ---- offline interrogator ----

COfflineMSUInterrogatorKIVObject::COfflineMSUInterrogatorKIVObject(int enabled)
    : CGenericKIVObject(enabled),
      m_szLongFormats{"  %d", "GRP%d", "MAI%d", "AU %d", "LS%d", "TBK ", "SEL%d", "TRK%d", "CUE%d", "EXT%d", "FLM%d", "FLS%d", "PD%d", "SC%d"},
      m_szShortFormats{"%d", "GR%d", "MA%d", "AU%d", "LS%d", "TBK ", "SE%d", "TR%d", "CU%d", "EX%d", "FL%d", "FS%d", "PM%d", "SC%d"}
{
}

void COfflineMSUInterrogatorKIVObject::OMIOAttach() { SendAttachBlock(KivBlock(AttachToOfflineMSUData, kBare).Take(), /*readNow=*/1); }

void COfflineMSUInterrogatorKIVObject::SetPath(CString path)
{
    m_strPath = path;
    SendAttachBlock(KivNameBlock(SetOfflineMSUPath, kPathBlockSize, 20, kPathBlockSize - 20, path.c_str(), kOfflineWindow),
                    /*readNow=*/0);
}

void COfflineMSUInterrogatorKIVObject::RequestData()
{
    SendAttachBlock(KivBlock(RequestOfflineMSUData, kDataBlockSize, kOfflineWindow).Take(), /*readNow=*/0);
}

int COfflineMSUInterrogatorKIVObject::GetOffset(int type) const
{
    return KivKindOffset(m_anTypeCounts.GetData(), static_cast<int>(m_anTypeCounts.GetSize()), type);
}

int COfflineMSUInterrogatorKIVObject::GetPathType(int channel) const
{
    return KivKindOfPath(m_anTypeCounts.GetData(), static_cast<int>(m_anTypeCounts.GetSize()), channel);
}

void COfflineMSUInterrogatorKIVObject::GetDefaultName(int channel, CString& name) const
{
    const int type = GetPathType(channel);
    name = type < 0 ? CString() : GetDefaultName(type, channel - GetOffset(type) + 1);
}

CString COfflineMSUInterrogatorKIVObject::GetDefaultName(int type, int number) const
{
    const int consoleType = CConsoleRegistryNames::GetConsoleType();
    // On console type 4 the first group is the mix-minus group.
    return KivDefaultLabel(type, number, m_szLongFormats, m_szShortFormats, consoleType == 4 ? 1 : 0, consoleType);
}
