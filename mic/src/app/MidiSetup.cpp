#include "app/MidiSetup.h"

#include <cstdio>

#include "winport/Hooks.h"

namespace {

constexpr int kRacks = CRackSetup::kRacks;
constexpr int kSlots = CRackSetup::kSlots;
constexpr int kUnits = CRackSetup::kMappings;

}  // namespace

CMidiSetup::CMidiSetup(CRackSetup* setup, HWND owner, Shell* shell) : m_pSetup(setup), m_hOwner(owner), m_pShell(shell)
{
}

void CMidiSetup::SetRowFrame(int rack, const CRect& frame)
{
    if (rack >= 0 && rack < kRacks) m_rcRow[rack] = frame;
}

CMidiSetup::Hit CMidiSetup::HitTest(CPoint point) const
{
    for (int rack = 0; rack < kRacks; ++rack) {
        const CRect& row = m_rcRow[rack];
        if (!row.PtInRect(point)) continue;
        // x < left + (k + 1) x width x 19 / 70, in whole numbers so that the borders are exact.
        const long long offset = 70LL * (point.x - row.left);
        for (int slot = 0; slot < kSlots; ++slot) {
            if (offset < (slot + 1) * 19LL * row.Width()) return {rack, slot};
        }
        return {rack, -1};
    }
    return {};
}

bool CMidiSetup::Responds(int rack) const { return m_pSetup->GetRackFlag(rack) != FALSE; }

void CMidiSetup::OnLButtonDown(CPoint point)
{
    const Hit hit = HitTest(point);
    if (hit.slot < 0 || !Responds(hit.rack) || m_pSetup->GetMidiSlot(hit.rack, hit.slot) == -1) return;
    m_dragFrom = hit;
    m_bDragging = true;
    m_cursor = DialogCursor::Hand;
}

void CMidiSetup::OnMouseMove(CPoint)
{
    if (m_bDragging) m_cursor = DialogCursor::Hand;
}

void CMidiSetup::OnLButtonUp(CPoint point)
{
    const Hit to = HitTest(point);
    const Hit from = m_dragFrom;
    const bool drop = m_bDragging && to.slot >= 0 && Responds(to.rack) && !(to == from);
    EndDrag();
    if (!drop) return;
    const int target = m_pSetup->GetMidiSlot(to.rack, to.slot);
    const int source = m_pSetup->GetMidiSlot(from.rack, from.slot);
    m_pSetup->ClearMidiSlot(to.rack, to.slot, source);
    m_pSetup->ClearMidiSlot(from.rack, from.slot, target);
    Changed();
}

void CMidiSetup::EndDrag()
{
    m_bDragging = false;
    m_cursor = DialogCursor::Arrow;
    m_dragFrom = {};
}

void CMidiSetup::OnRButtonDown(CPoint point)
{
    const Hit hit = HitTest(point);
    if (hit.slot < 0 || !Responds(hit.rack)) return;
    if (!m_pShell) return;
    std::weak_ptr<int> life = m_life;
    m_pShell->TrackPopupMenu(m_hOwner, BuildSlotMenu(*m_pSetup), MenuCorner::TopLeft, [this, hit, life](UINT command) {
        if (!life.expired() && ApplySlotCommand(*m_pSetup, hit.rack, hit.slot, command)) Changed();
    });
}

void CMidiSetup::OnDefault()
{
    // The first slots of the responding racks, in rack order, take the halves of the linked
    // units, A before B; every other slot is emptied.
    std::vector<int> values;
    for (int unit = 0; unit < kUnits; ++unit) {
        if (!m_pSetup->IsMappingSet(unit)) continue;
        values.push_back(2 * unit);
        values.push_back(2 * unit + 1);
    }
    for (int rack = 0; rack < kRacks; ++rack) {
        for (int slot = 0; slot < kSlots; ++slot) m_pSetup->ClearMidiSlot(rack, slot, -1);
    }
    size_t next = 0;
    for (int rack = 0; rack < kRacks && next < values.size(); ++rack) {
        if (Responds(rack)) m_pSetup->ClearMidiSlot(rack, 0, values[next++]);
    }
    Changed();
}

void CMidiSetup::OnOK()
{
    EndDrag();
    if (m_pView) m_pView->EndDialog(IDOK);
}

CMidiSetup::Cell CMidiSetup::GetCell(int rack, int slot) const
{
    Cell cell;
    const int value = m_pSetup->GetMidiSlot(rack, slot);
    if (value < 0 || value / 2 >= kUnits) return cell;
    char number[16];
    std::snprintf(number, sizeof(number), "%d%c", value / 2 + 1, value % 2 ? 'b' : 'a');
    cell.empty = false;
    cell.fill = kPairColours[value / 2];
    cell.top = "PRE";
    cell.bottom = number;
    return cell;
}

UINT CMidiSetup::GetRackPicture(int rack) const
{
    return (rack >= 0 && rack < kRacks && Responds(rack)) ? kRackPictureFirst + static_cast<UINT>(rack) : 0;
}

std::vector<MenuItem> CMidiSetup::BuildSlotMenu(const CRackSetup& setup)
{
    std::vector<MenuItem> menu;
    for (int unit = 0; unit < kUnits; ++unit) {
        if (!setup.IsMappingSet(unit)) continue;
        char text[16];
        std::snprintf(text, sizeof(text), "PRE %d", unit + 1);
        const UINT a = kCmdFirstUnit + 2 * static_cast<UINT>(unit);
        menu.push_back({0, text, {{a, "A (1-4)"}, {a + 1, "B (5-8)"}}});
    }
    menu.push_back({kCmdClear, "Clear"});
    return menu;
}

BOOL CMidiSetup::ApplySlotCommand(CRackSetup& setup, int rack, int slot, UINT command)
{
    if (rack < 0 || rack >= kRacks || slot < 0 || slot >= kSlots) return FALSE;
    if (command == kCmdClear) {
        setup.ClearMidiSlot(rack, slot, -1);
        return TRUE;
    }
    if (command < kCmdFirstUnit) return FALSE;
    const int value = static_cast<int>(command - kCmdFirstUnit);
    if (value > CRackSetup::kMaxSlotValue || !setup.IsMappingSet(value / 2)) return FALSE;
    setup.ClearMidiSlot(rack, slot, value);
    return TRUE;
}

void CMidiSetup::Changed()
{
    if (m_pView) m_pView->Changed();
}
