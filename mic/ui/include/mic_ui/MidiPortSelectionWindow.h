// The "MIDI Port Selection" dialog on Qt (template 569, 323 x 262 dialog units): the view of the
// CMidiPortSelection core, which it owns. Two device lists, the coloured check list of port
// lines, "&Link Ports", "&Remove", "&Start MIDI" / "&Stop MIDI" and "&OK"; the core's timer 96
// keeps the Start button and the enabled states in step with MIDI.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <functional>
#include <memory>

#include "app/MidiPortSelection.h"
#include "mic_ui/ColourButton.h"
#include "mic_ui/MyCheckListBox.h"
#include "mic_ui/SmallDialogs.h"

class CMidiPortSelectionWindow : public SmallDialog, public CMidiPortSelectionView {
    Q_OBJECT
public:
    /// runningChanged: the main dialog's MIDI-running flag (and its tray) follow Start and Stop.
    CMidiPortSelectionWindow(MidiPorts& ports, std::function<void(bool running)> runningChanged, QWidget* parent = nullptr);
    ~CMidiPortSelectionWindow() override;

    CMidiPortSelection& Core() { return *m_pCore; }
    QListWidget* InList() const { return m_pIn; }
    QListWidget* OutList() const { return m_pOut; }
    CMyCheckListBox* PortList() const { return m_pPorts; }
    CColourButton* Button(int id) const { return findChild<CColourButton*>(QString::number(id)); }

    void Changed() override;
    void EndDialog(int result) override { done(result); }

private:
    QListWidget* AddDeviceList(int id, int x, int y, bool input);
    CColourButton* AddColourButton(int id, const char* text, int x, int y, int w);
    /// The check list holds the core's lines: gone ones removed, new ones added at the end.
    void SyncPortLines();

    std::unique_ptr<CMidiPortSelection> m_pCore;
    QListWidget* m_pIn = nullptr;
    QListWidget* m_pOut = nullptr;
    CMyCheckListBox* m_pPorts = nullptr;
    QLabel* m_pInName = nullptr;
    QLabel* m_pOutName = nullptr;
    // The Start button's colours, text and face, for MIDI stopped (scheme 0) and running (1).
    COLORREF m_crStartText[2] = {};
    COLORREF m_crStartFace[2] = {};
};
