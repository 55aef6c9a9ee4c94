#include "quenby/PathKIVObjects.h"

#include <algorithm>
#include <cstring>

#include "quenby/KIVCommands.h"
#include "quenby/KivClientKit.h"
#include "quenby/MixSetupExKIVObject.h"
#include "trevanny/SharedConstants.h"
#include "winport/Paths.h"

namespace {

constexpr int kBare = 16;
constexpr int kRouteBlock = 18032;
constexpr int kProcessListBlock = 216300;
const HWND kNoWindow = UlongToHwnd(65535);  // the server's "no window" in process-list rows

// The stored entries and variants of a displayed list of 11 types.
CProcessListConverter convert(const ProcTypes list[11])
{
    CArray<int, int> display;
    for (int i = 0; i < 11; ++i) display.Add(list[i]);
    return CProcessListConverter(display);
}

void putStoredList(KivBlock& block, size_t listAt, size_t variantsAt, const ProcTypes list[11])
{
    const CProcessListConverter converter = convert(list);
    for (int i = 0; i < 11; ++i) block.Put32(listAt + 4 * static_cast<size_t>(i), converter.GetStored(i));
    block.Put32(variantsAt, converter.GetVariant(0));
    block.Put32(variantsAt + 4, converter.GetVariant(1));
}

}  // namespace

// ---- partition settings ----

void CPartitionSettingsKIVObject::PSAttach() { SendAttachBlock(KivBlock(AttachToMasterPanels, kBare).Take(), /*readNow=*/1); }

void CPartitionSettingsKIVObject::SetPartitions()
{
    KivBlock block(SetPartitionsCommand, 104);
    block.PutBytes(40, m_nStrips, sizeof m_nStrips);
    for (int i = 0; i < 3; ++i) {
        int path = m_nSelectedStrips[i];
        StripToPath(path);
        block.Put32(64 + 4 * static_cast<size_t>(i), path);
    }
    SendCommandBlock(block.Take());
}

void CPartitionSettingsKIVObject::StripToPath(int& n) const
{
    for (int i = 0; i < 3; ++i) {
        const int first = m_nStrips[i][0], count = m_nStrips[i][1], firstPath = m_nPaths[i][0], gap = m_nPaths[i][1];
        if (count <= 0) continue;
        if (n >= first + count - gap) n += gap;
        else if (n >= firstPath) n += gap;
    }
}

void CPartitionSettingsKIVObject::PathToStrip(int& n) const
{
    int total = 0, found = -1;
    for (int i = 0; i < 3; ++i) {
        const int first = m_nStrips[i][0], count = m_nStrips[i][1], firstPath = m_nPaths[i][0], gap = m_nPaths[i][1];
        if (count <= 0) continue;
        if (n >= first + count || n >= firstPath + gap) {
            total += gap;
            continue;
        }
        if (n >= firstPath) {
            found = i;
            break;
        }
    }
    if (found >= 0) {
        const int first = m_nStrips[found][0], count = m_nStrips[found][1];
        const int firstPath = m_nPaths[found][0], gap = m_nPaths[found][1];
        if (firstPath <= first && firstPath + gap <= first + count) {
            n = firstPath + gap;
            total += gap;
        } else if (firstPath > first) {
            n = firstPath - 1;
        }
    }
    n = n - total < 1 ? 0 : n - total;
}

// ---- path controls, routes, partitions, verifier ----

void CPathControlsKIVObject::PCAttach(int n, HWND wnd)
{
    KivBlock block(AttachToPathControls, 32);
    block.Put32(16, n);
    block.Put32(24, static_cast<int32_t>(HandleToUlong(wnd)));
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CPathControlsKIVObject::SetValue(int a, int b, int c, int d)
{
    KivBlock block(SetControlValue, 32);
    block.Put32(16, a);
    block.Put32(20, b);
    block.Put32(24, c);
    block.Put32(28, d);
    SendCommandBlock(block.Take());
}

void CPathRouteKIVObject::PRAttach() { SendAttachBlock(KivBlock(AttachToPathRoute, kBare).Take(), /*readNow=*/1); }

void CPathRouteKIVObject::RegisterPath(int path)
{
    KivBlock block(PathRouteRegisterCommand, kRouteBlock);
    block.Put32(16, path);
    SendCommandBlock(block.Take());
}

void CPathRouteKIVObject::ResetRoutingScreen() { SendCommandBlock(KivBlock(ResetRoutingScreenCommand, kBare).Take()); }

void CPathRouteKIVObject::ResetRouting(long a, long b)
{
    KivBlock block(ResetRoutingCommand, kRouteBlock);
    block.Put32(18020, static_cast<int32_t>(a));
    block.Put32(18024, static_cast<int32_t>(b));
    SendCommandBlock(block.Take());
}

void CPathRouteKIVObject::SetMultiplePathRoutes(const CArray<PathRoute, const PathRoute&>& routes)
{
    const size_t room = (KivBlock::MaxSize() - kRouteBlock) / sizeof(PathRoute);
    const size_t n = std::min(static_cast<size_t>(routes.GetSize()), room);
    KivBlock block(SetPathRouteCommand, kRouteBlock + static_cast<int64_t>(sizeof(PathRoute) * n));
    block.Put32(18028, static_cast<int32_t>(n));
    if (n) block.PutBytes(kRouteBlock, routes.GetData(), sizeof(PathRoute) * n);
    SendCommandBlock(block.Take());
}

void CPathsInPartitionKIVObject::PIPAttach(HWND wnd)
{
    SendAttachBlock(KivBlock(AttachToPathsInPartition, kBare, wnd).Take(), /*readNow=*/1);
}

void CPathVerifierKIVObject::PVAttach() { SendAttachBlock(KivBlock(AttachToPathVerifier, kBare).Take(), /*readNow=*/1); }

// ---- process list ----

void CProcessListKIVObject::CPLAttach(const CString&)
{
    KivBlock block(AttachToProcessList, kProcessListBlock);
    block.Put32(20, static_cast<int32_t>(GetCurrentProcessId()));
    SendAttachBlock(block.Take(), /*readNow=*/1);
}

void CProcessListKIVObject::SetProcessList(int path, const ProcTypes list[11], HWND wnd)
{
    KivBlock block(SetProcessListCommand, kProcessListBlock, wnd);
    block.Put32(16, path);
    putStoredList(block, 228, 272, list);
    SendCommandBlock(block.Take());
}

void CProcessListKIVObject::SetMultipleProcessList(int n, const int* paths, const ProcTypes lists[][11])
{
    n = std::clamp(n, 0, kConsolePaths);
    if (!paths || !lists) n = 0;
    KivBlock block(SetMultipleProcessListCommand, kProcessListBlock, kNoWindow);
    block.Put32(288, n);
    for (int i = 0; i < n; ++i) {
        const size_t at = static_cast<size_t>(i);
        block.Put32(292 + 4 * at, paths[i]);
        putStoredList(block, 8292 + 44 * at, 96292 + 8 * at, lists[i]);
    }
    SendCommandBlock(block.Take());
}

void CProcessListKIVObject::SetPrePostFromProcessList(int path, bool post, short value)
{
    KivBlock block(SetPrePostInProcessListCommand, kProcessListBlock, kNoWindow);
    block.Put32(16, path);
    const size_t at = post ? 112296 : 112292;
    block.Put8(at, 1);
    block.Put16(at + 2, static_cast<uint16_t>(value));
    SendCommandBlock(block.Take());
}

void CProcessListKIVObject::AttachToPath(int path)
{
    KivBlock block(ProcessListAttachToPathCommand, kProcessListBlock, kNoWindow);
    block.Put32(16, path);
    SendCommandBlock(block.Take());
}

// ---- time-slot layout ----

CTimeSlotLayoutKIVObject::CTimeSlotLayoutKIVObject(int enabled) : CGenericKIVObject(enabled)
{
    std::memset(m_szLayout, '-', sizeof m_szLayout);
}

void CTimeSlotLayoutKIVObject::TSLAttach() { SendAttachBlock(KivBlock(AttachToTimeSlotLayout, kBare).Take(), /*readNow=*/1); }

void CTimeSlotLayoutKIVObject::GetLayout(int a, uint8_t b, const uint8_t c[5], const uint8_t d[5], uint8_t e)
{
    KivBlock block(GetTimeSlotLayoutCommand, 236);
    for (int i = 0; i < 5; ++i) {
        block.Put32(184 + 4 * static_cast<size_t>(i), c[i]);
        block.Put32(204 + 4 * static_cast<size_t>(i), d[i]);
    }
    block.Put32(224, e);
    block.Put32(228, a);
    block.Put32(232, b);
    SendCommandBlock(block.Take());
}
