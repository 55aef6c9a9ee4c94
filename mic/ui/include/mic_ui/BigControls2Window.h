// The enlarged read-out on Qt (template 439): the view of a CBigControls2 core. Three rows, one
// for each record (the changed channel's in the middle): the mic line in large digits, the
// channel's label in the read-out's font, the gain step, and Phant, Pad, the input and Phase.
// Each field is drawn by controls of its own, and only the fields the core names are drawn
// again. A key or a left mouse button pressed anywhere in it is swallowed before any of its
// controls sees it.
#pragma once

#include <QLabel>
#include <array>
#include <map>

#include "app/BigControls2.h"
#include "mic_ui/SmallDialogs.h"

/// The pictures of the read-out.
namespace ReadoutPictures {
/// Large digits: of a neighbouring line, of the changed channel's line, of an active channel
/// (entry count above 0).
constexpr UINT Digit(int digit, int record, int entry)
{
    return (entry > 0 ? 487u : record == CBigControls2::kChangedRecord ? 477u : 440u) + static_cast<UINT>(digit);
}
/// Gain step 3 to 13.
constexpr UINT GainStep(int step) { return 450 + static_cast<UINT>(step - CBigControls2::kLowestStep); }
constexpr UINT kPhantOn = 363, kPhantOff = 364;
constexpr UINT kPadOn = 365, kPadOff = 366;
constexpr UINT kMicInput = 367, kLineInput = 368;
constexpr UINT kPhaseOn = 373, kPhaseOff = 374;
}  // namespace ReadoutPictures

class CBigControls2Window : public SmallDialog, public CBigControls2View {
    Q_OBJECT
public:
    /// Digits of a mic line (lines go up to 256).
    static constexpr int kDigits = 3;

    /// Draws the core's records; the core is told of the window until it goes.
    explicit CBigControls2Window(CBigControls2& core, QWidget* parent = nullptr);
    ~CBigControls2Window() override;

    void DrawFields(int record, unsigned fields) override;
    void EndDialog(int result) override;
    /// Ends the window; from then on the core no longer draws in it.
    void done(int result) override;
    /// The core ended the read-out (not the operator).
    bool EndedByCore() const { return m_bEndedByCore; }

    /// Where a field of a record is drawn (one of the CBigControls2::kField... bits; the mic
    /// line and the entry share the digits).
    QRect FieldRect(int record, unsigned field) const;
    /// Where one control of a field is (slot picks a digit).
    QRect ControlRect(int record, unsigned field, int slot = 0) const;
    /// The picture a control of a field shows (0: none); slot picks a digit.
    UINT PictureOf(int record, unsigned field, int slot = 0) const;
    /// The label as shown.
    QString LabelText(int record) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        std::array<QLabel*, kDigits> digits{};
        QLabel* label = nullptr;
        QLabel* gain = nullptr;
        QLabel* phant = nullptr;
        QLabel* pad = nullptr;
        QLabel* input = nullptr;
        QLabel* phase = nullptr;
    };
    QLabel* addPicture(int id, const QRect& rect);
    QLabel* control(int record, unsigned field, int slot) const;
    void setPicture(QLabel* label, UINT picture);
    void detach();

    CBigControls2& m_core;
    std::array<Row, CBigControls2::kRecords> m_rows{};
    std::map<const QLabel*, UINT> m_pictures;
    bool m_bEndedByCore = false;
};
