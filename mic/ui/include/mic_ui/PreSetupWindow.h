// The "PRE MIDI Port Setup" dialog on Qt (template 567, 400 x 268 dialog units): the view of the
// CPRESetup core, which it owns with the detection it asks. Nine rows, each a label picture, the
// row's number and two cells (input and output link) painted from their frames, so that the
// core's hit test and the painted cells agree; every mouse event and button goes to the core.
#pragma once

#include <QImage>
#include <QLabel>
#include <QRect>
#include <memory>

#include "app/PreSetup.h"
#include "mic_ui/ColourButton.h"
#include "mic_ui/SmallDialogs.h"

class CPRESetupWindow : public SmallDialog, public CPRESetupView {
    Q_OBJECT
public:
    /// setup: the main dialog's record, edited directly; detection: the port manager's (kept
    /// while the dialog lives); owner: the message boxes' owner window. The core's window,
    /// timers and detect hold start at once.
    CPRESetupWindow(CRackSetup* setup, std::shared_ptr<PreDetection> detection, HWND owner, Shell* shell,
                    QWidget* parent = nullptr);
    ~CPRESetupWindow() override;

    CPRESetup& Core() { return *m_pCore; }
    /// A row's cell (CPRESetup::kInput, kOutput) or label (kLabel), in client co-ordinates.
    static QRect FrameRect(int row, int cell);
    /// The client area as painted now: background and cells, without the controls.
    QImage Paint() const;

    void Changed() override;
    void EndDialog(int result) override;

    /// Escape and the close box: refused while a run goes on.
    void reject() override;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void ShowCursor();

    // The detection outlives the core, which releases its hold when it goes.
    std::shared_ptr<PreDetection> m_pDetection;
    std::unique_ptr<CPRESetup> m_pCore;
    QLabel* m_pResult = nullptr;
    CColourButton* m_pExit = nullptr;
};
