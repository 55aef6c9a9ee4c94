// The "MIDI controls" dialog on Qt (template 552, 286 x 258 dialog units): the view of the
// CMidiSetup core, which it owns. It paints the sixteen rack rows with their three slots from
// the rows' geometry, so that the core's hit test and the painted cells agree, and hands every
// mouse event and button click to the core.
#pragma once

#include <QImage>
#include <QLabel>
#include <QRect>

#include "app/MidiSetup.h"
#include "mic_ui/SmallDialogs.h"

class CMidiSetupWindow : public SmallDialog, public CMidiSetupView {
    Q_OBJECT
public:
    /// setup: the main dialog's record, edited directly; owner: the menu's owner window.
    CMidiSetupWindow(CRackSetup* setup, HWND owner, Shell* shell, QWidget* parent = nullptr);
    ~CMidiSetupWindow() override;

    CMidiSetup& Core() { return m_core; }
    /// A rack's row frame, in client co-ordinates.
    static QRect RowRect(int rack);
    /// A slot's cell inside its row (right and bottom included, as Qt counts).
    static QRect CellRect(int rack, int slot);
    /// The client area as painted now: background, rows and cells, without the controls.
    QImage Paint() const;

    void Changed() override;
    void EndDialog(int result) override { done(result); }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void ShowCursor();

    CMidiSetup m_core;
    QLabel* m_pPicture[CRackSetup::kRacks] = {};
};
