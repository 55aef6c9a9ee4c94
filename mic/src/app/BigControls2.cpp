#include "app/BigControls2.h"

#include "winport/Hooks.h"
#include "winport/MessageLoop.h"

CBigControls2::CBigControls2()
{
    LOGFONT lf{};
    lf.lfHeight = kFontHeight;
    lf.lfWidth = kFontWidth;
    lf.lfWeight = FW_BOLD;
    SetFaceName(lf, kFontFace);
    m_Font.CreateFontIndirect(&lf);
}

unsigned CBigControls2::ChangedFields(const ReadoutChannel& a, const ReadoutChannel& b)
{
    unsigned fields = 0;
    if (a.nMicLine != b.nMicLine) fields |= kFieldMicLine;
    if (a.nEntry != b.nEntry) fields |= kFieldEntry;
    if (a.nGain != b.nGain) fields |= kFieldGain;
    if (a.strLabel != b.strLabel) fields |= kFieldLabel;
    if (a.bPhant != b.bPhant) fields |= kFieldPhant;
    if (a.bPad != b.bPad) fields |= kFieldPad;
    if (a.bMicInput != b.bMicInput) fields |= kFieldMicInput;
    if (a.bPhase != b.bPhase) fields |= kFieldPhase;
    return fields;
}

int CBigControls2::GainStep(int gain)
{
    const int step = (gain - 5) / 5;
    return step < kLowestStep ? kLowestStep : step > kHighestStep ? kHighestStep : step;
}

void CBigControls2::ShowChannel(const ReadoutChannel& lower, const ReadoutChannel& changed,
                                const ReadoutChannel& higher, BOOL changedOnly)
{
    const std::array<ReadoutChannel, kRecords> records = {lower, changed, higher};
    for (int r = 0; r < kRecords; ++r) {
        ReadoutChannel& held = m_Channels[static_cast<size_t>(r)];
        const ReadoutChannel& next = records[static_cast<size_t>(r)];
        unsigned fields = changedOnly ? ChangedFields(held, next) : kAllFields;
        // A record that comes or goes is drawn whole: an empty one shows nothing at all.
        if ((fields & kFieldMicLine) && (held.nMicLine == 0 || next.nMicLine == 0)) fields = kAllFields;
        held = next;
        if (m_pView && fields) m_pView->DrawFields(r, fields);
    }
}

void CBigControls2::ClearChannels()
{
    m_Channels = {};
    if (m_pView) m_pView->EndDialog(IDOK);
}

BOOL CBigControls2::PreTranslateMessage(UINT message) const
{
    return message == WM_KEYDOWN || message == WM_LBUTTONDOWN ? TRUE : FALSE;
}
