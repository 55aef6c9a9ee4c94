// The "Setup / Test" dialog on Qt (template 202, 322 x 260 dialog units): the view of the
// CDiagnostics core, which it owns. It draws the core's state and hands every click to it.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <memory>

#include "app/Diagnostics.h"
#include "mic_ui/ColourButton.h"
#include "mic_ui/SmallDialogs.h"

class CDiagnosticsWindow : public SmallDialog, public CDiagnosticsView {
    Q_OBJECT
public:
    /// owner: the main dialog's window, which receives the settings commands.
    CDiagnosticsWindow(HWND owner, Shell* shell, const SetupDialogPreset& preset, QWidget* parent = nullptr);
    ~CDiagnosticsWindow() override;

    CDiagnostics& Core() { return *m_pCore; }

    void Changed() override;
    void EndDialog(int result) override { done(result); }

private:
    QCheckBox* AddCheck(int id, const char* text, int x, int y, int w);
    CColourButton* AddColourButton(int id, const char* text, int x, int y, COLORREF text_, COLORREF face);

    std::unique_ptr<CDiagnostics> m_pCore;
    QLabel* m_pVersion[16] = {};
    QPushButton* m_pTest[16] = {};
    QComboBox* m_pPorts = nullptr;
    CColourButton* m_pMidiPre = nullptr;
    CColourButton* m_pMidiRack = nullptr;
};
