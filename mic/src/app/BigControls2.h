// CBigControls2: the enlarged read-out of the channels that the server changed. It holds three
// channel records (the nearest lower mic line in use, the changed channel, the nearest higher
// one), the large font its texts are drawn in and the background colour; a view draws the
// records and is told which of their fields to draw again. The main dialog brings the read-out up
// and ends it through the shell; nothing the operator types or clicks on it does anything.
//
// User-interface thread only.
#pragma once

#include <array>

#include "base/Shell.h"
#include "winport/Fonts.h"
#include "winport/WinTypes.h"

class CBigControls2View {
public:
    virtual ~CBigControls2View() = default;
    /// Fields (CBigControls2::kField... bits) of record `record` (0 to 2) to draw again.
    virtual void DrawFields(int record, unsigned fields) = 0;
    /// The read-out ends with `result`.
    virtual void EndDialog(int result) = 0;
};

class CBigControls2 {
public:
    static constexpr int kTemplateId = 439;
    static constexpr int kRecords = 3;
    /// The record of the changed channel; 0 and 2 are its neighbours below and above.
    static constexpr int kChangedRecord = 1;
    /// The background (red 0x28, green 0x5F, blue 0x95).
    static constexpr COLORREF kBackground = 0x00955F28;
    /// The font of the texts: height 30, width 12, bold, "ArialBold".
    static constexpr LONG kFontHeight = 30;
    static constexpr LONG kFontWidth = 12;
    static constexpr const char* kFontFace = "ArialBold";
    /// The gain steps a record's gain (step x 5 + 5) stands for.
    static constexpr int kLowestStep = 3;
    static constexpr int kHighestStep = 13;

    /// The fields of a record, each drawn by controls of its own.
    enum : unsigned {
        kFieldMicLine = 1u << 0,
        kFieldEntry = 1u << 1,
        kFieldGain = 1u << 2,
        kFieldLabel = 1u << 3,
        kFieldPhant = 1u << 4,
        kFieldPad = 1u << 5,
        kFieldMicInput = 1u << 6,
        kFieldPhase = 1u << 7,
        kAllFields = (1u << 8) - 1,
    };

    CBigControls2();
    CBigControls2(const CBigControls2&) = delete;
    CBigControls2& operator=(const CBigControls2&) = delete;

    /// The view that draws the records (null: none); it draws every record when it is set.
    void SetView(CBigControls2View* view) { m_pView = view; }
    CBigControls2View* GetView() const { return m_pView; }

    /// Takes the three records. changedOnly: only the fields that differ from the records held
    /// are drawn again; otherwise all three records are.
    void ShowChannel(const ReadoutChannel& lower, const ReadoutChannel& changed, const ReadoutChannel& higher,
                     BOOL changedOnly);
    /// Empties the records and ends the read-out with IDOK.
    void ClearChannels();
    /// TRUE for the messages the read-out swallows: a key or the left mouse button pressed.
    BOOL PreTranslateMessage(UINT message) const;

    const ReadoutChannel& GetChannel(int record) const { return m_Channels[static_cast<size_t>(record)]; }
    const CFont& GetFont() const { return m_Font; }
    /// The fields in which two records differ.
    static unsigned ChangedFields(const ReadoutChannel& a, const ReadoutChannel& b);
    /// The gain step of a record's gain, kLowestStep to kHighestStep.
    static int GainStep(int gain);

private:
    std::array<ReadoutChannel, kRecords> m_Channels{};
    CFont m_Font;
    CBigControls2View* m_pView = nullptr;
};
