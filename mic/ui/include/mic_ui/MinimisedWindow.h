// The "Mini View" on Qt (template 574, 217 x 151 dialog units): the view of the CMinimised core,
// which it owns, made of the main window's kinds of control (bitmap switches, colour buttons,
// the gain entry box). It has no parent window: it stands in for the hidden main window.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <map>
#include <memory>

#include "app/Minimised.h"
#include "mic_ui/BmpButton.h"
#include "mic_ui/ColourButton.h"
#include "mic_ui/SmallDialogs.h"

class CMinimisedWindow : public SmallDialog, public CMinimisedView {
    Q_OBJECT
public:
    CMinimisedWindow(CMicDlg& owner, Shell* shell, QWidget* parent = nullptr);
    ~CMinimisedWindow() override;

    CMinimised& Core() { return *m_pCore; }
    /// The picture a control shows now (0 when none).
    UINT PictureOf(int id) const;

    void Changed() override;
    void EndDialog(int result) override;

    /// Escape and the close box: the core asks the operator and ends the program.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void setPicture(int id, UINT picture);
    void command(int id);

    std::unique_ptr<CMinimised> m_pCore;
    std::map<int, UINT> m_pictures;
    QComboBox* m_gain[4] = {};
    bool m_bEnding = false;
};
