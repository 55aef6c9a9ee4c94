// The main dialog's window: the controls of the dialog template laid out in dialog units, drawn
// from the state of the dialog's core (CMicDlg) and forwarding every input to it. The window
// itself keeps no state of the racks: each notification of the core redraws what changed from
// the core's state.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QWidget>
#include <array>
#include <functional>
#include <map>

#include "app/MicDlg.h"
#include "mic_ui/BmpButton.h"
#include "mic_ui/ColourButton.h"

/// The pictures the window shows for the core's states.
namespace MainDialogPictures {
constexpr UINT kSwitchOn = 584;
constexpr UINT kSwitchOff = 585;
constexpr UINT kDirMic = 653;
constexpr UINT kDirLine = 654;
constexpr UINT kLinkBusy = 215;
constexpr UINT kLinkLinked = 216;
constexpr UINT kLinkNoUnit = 217;
constexpr UINT kBlankReadout = 214;
/// Rack buttons before the link has marked them: the selected rack, and the others.
constexpr UINT kRackOnShow = 146;
constexpr UINT kRackOther = 149;
/// Gain read-out of gain value g (0 to 14: 0 to 70 dB).
constexpr UINT Readout(int g) { return 626 + static_cast<UINT>(g); }
/// Gain label of a step (3 and up): the mic-input set, or the line-input set (steps 3 to 7).
constexpr UINT GainLabel(int step, bool micSet) { return micSet ? 461 + static_cast<UINT>(step - 3) : 588 + static_cast<UINT>(step - 3); }
/// Channel-number digits: the channel's number, or the last digit of its mic line.
constexpr UINT Digit(int digit, bool micLineSet) { return (micLineSet ? 428 : 407) + static_cast<UINT>(digit); }
/// Rack number r (0 to 15).
constexpr UINT RackNumber(int rack) { return 247 + static_cast<UINT>(rack); }
}  // namespace MainDialogPictures

/// The MIDI slot panels' colours: the tied fill without unit colours (with them, a unit's pair
/// colour, kPairColours).
constexpr COLORREF kPanelTied = 0x006BA800;  // red 0, green 168, blue 107

class MicDlgWindow : public QWidget, public CMicDlgView {
    Q_OBJECT
public:
    /// Control ids of the template.
    enum : int {
        kIdExit = 2,
        kIdMiniView = 3,
        kIdPhant = 1000,
        kIdPhase = 1012,
        kIdPad = 1024,
        kIdLowz = 1028,
        kIdIns = 1032,
        kIdRackOption = 1037,
        kIdGain = 1038,
        kIdPopupOnSel = 1050,
        kIdPopupControls = 1051,
        kIdMicLine = 1076,
        kIdRack = 1112,
        kIdLoadPreset = 1129,
        kIdStorePreset = 1130,
        kIdDir = 1131,
        kIdSetup = 1143,
        kIdDigit = 1178,
        kIdLinkPicture = 1190,
        kIdRackNumber = 1211,
        kIdEmblem = 1238,
        kIdGainLabel = 1265,
        kIdReadout = 1285,
        kIdSlot0 = 1349,
        kIdSlot1 = 1351,
        kIdSlot2 = 1352,
        kIdMeters = 1447,
    };
    /// The level bars: width 10, top 34, left 144, 330, 515 and 700 pixels.
    static constexpr int kLevelTop = 34;
    static constexpr int kLevelWidth = 10;
    static constexpr int kLevelLeft[4] = {144, 330, 515, 700};

    /// Draws the core's state; the core is told of the window with SetView by the caller.
    explicit MicDlgWindow(CMicDlg& dlg, QWidget* parent = nullptr);
    ~MicDlgWindow() override;

    // What the core tells the view.
    void TitleChanged(const char* title) override;
    void RackChanged(int rack) override;
    void RestoreAndRaise() override;
    void BringToFront() override;
    void LinkChanged() override;
    void Closed() override;
    void ShowWindow(bool visible) override;

    /// Reads the core's state and shows it.
    void Refresh();

    /// A control by its id (null when the window has none such, e.g. server-mode controls
    /// outside server mode).
    QWidget* Control(int id) const;
    template <typename T>
    T* ControlAs(int id) const { return qobject_cast<T*>(Control(id)); }
    /// The picture id a picture control or bitmap button shows now (0: none).
    UINT PictureOf(int id) const;
    /// The client area as painted now (background and MIDI slot panels), without the controls.
    QImage PaintBackground() const;
    /// Where a MIDI slot panel lies.
    QRect SlotPanelRect(int slot) const;
    /// The level bar of a channel as shown.
    QRect LevelBarRect(int channel) const;

protected:
    void paintEvent(QPaintEvent*) override;
    void closeEvent(QCloseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;

private:
    void build();
    QLabel* addPicture(int id, int xDu, int yDu, int wDu, int hDu);
    QLabel* addText(int id, const char* text, int xDu, int yDu, int wDu, int hDu);
    CBlackBmpButton* addBitmapButton(int id, int xDu, int yDu, int wDu, int hDu);
    CColourButton* addColourButton(int id, const char* text, int xDu, int yDu, int wDu, int hDu);
    /// An editable list box: a choice from the list, each character typed and the end of an
    /// entry go to the core.
    QComboBox* addEntryBox(int id, const QStringList& items, const QRect& rect, std::function<void(int)> selected,
                           std::function<void(const char*)> typed, std::function<void()> left);
    QCheckBox* addCheckBox(int id, const char* text, int xDu, int yDu, int wDu, int hDu);
    void setPicture(int id, UINT picture);
    void setButtonPicture(int id, UINT picture);
    void showGainBox(int channel, int item);
    void command(int id);
    void applyButtonColours();

    CMicDlg& m_dlg;
    std::map<int, QWidget*> m_controls;
    std::map<int, UINT> m_pictures;
    /// The colour buttons' text and face colours of their kinds.
    std::map<int, std::pair<COLORREF, COLORREF>> m_buttonColours;
    std::array<QComboBox*, 4> m_gain{};
    std::array<QComboBox*, 4> m_micLine{};
    std::array<QLabel*, 4> m_label{};
    std::array<QWidget*, 4> m_levelBar{};
    bool m_bRefreshing = false;
};

/// The six switch rows of a channel strip, top to bottom, as the main window and the mini view
/// both lay them out (the two templates give the buttons the same ids): the caption, the id of
/// channel 1's button (channel c's is that + c) and the switch the row stands for.
struct SwitchRow {
    const char* caption;
    int firstId;
    int code;  ///< CMicDlg::kSwitchPhant ... kSwitchDir
    /// Whether the row's switch shows on for the channel.
    bool IsOn(const ChannelSnapshot& ch) const;
    /// The button's channel (0 to 3) when id is one of the row's, else -1.
    int ChannelOf(int id) const { return id >= firstId && id < firstId + 4 ? id - firstId : -1; }
};
inline constexpr SwitchRow kSwitchRows[] = {
    {"Phant", MicDlgWindow::kIdPhant, CMicDlg::kSwitchPhant}, {"Pad", MicDlgWindow::kIdPad, CMicDlg::kSwitchPad},
    {"Lowz", MicDlgWindow::kIdLowz, CMicDlg::kSwitchLowz},    {"Phase", MicDlgWindow::kIdPhase, CMicDlg::kSwitchPhase},
    {"Ins", MicDlgWindow::kIdIns, CMicDlg::kSwitchIns},       {"Dir", MicDlgWindow::kIdDir, CMicDlg::kSwitchDir},
};
