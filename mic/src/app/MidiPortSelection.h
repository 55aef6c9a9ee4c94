// CMidiPortSelection: the "MIDI Port Selection" dialog's core. The operator pairs a MIDI-in
// device with a MIDI-out device as a numbered MIDI port ("&Link Ports"), removes ports
// ("&Remove"), ticks the ports that are to be active and starts or stops MIDI. Ports live in
// the current user's registry, one key per port number; start and stop go through the MIDI
// port manager.
//
// The view draws the state below and forwards the operator's input to the On... handlers; the
// port list's changes arrive at the dialog's window as WM_CHECKLIST_CHANGED.
// User-interface thread only.
#pragma once

#include <functional>
#include <vector>

#include "base/MidiPorts.h"
#include "winport/CString.h"
#include "winport/WinTypes.h"

class CMidiPortSelectionView {
public:
    virtual ~CMidiPortSelectionView() = default;
    virtual void Changed() = 0;
    virtual void EndDialog(int result) = 0;
};

class CMidiPortSelection {
public:
    static constexpr int kIdOk = 1;
    static constexpr int kIdPortList = 1383;
    static constexpr int kIdRemove = 1387;
    static constexpr int kIdStart = 1388;
    static constexpr int kIdInList = 1390;
    static constexpr int kIdOutList = 1391;
    static constexpr int kIdInName = 1397;
    static constexpr int kIdOutName = 1398;
    static constexpr int kIdLink = 1399;
    static constexpr UINT_PTR kTimerId = 96;
    static constexpr UINT kTimerMs = 500;
    /// Names this long or longer show as the placeholders.
    static constexpr int kLongName = 39;

    struct Device {
        CString name;
        int index;
    };
    struct PortLine {
        int port;
        CString text;  // "%d\t%s\t%s": port number + 1, MIDI-in name, MIDI-out name
        int check;
    };

    /// runningChanged: the main dialog's MIDI-running flag (and its tray) follow a start or stop.
    CMidiPortSelection(MidiPorts& ports, std::function<void(bool running)> runningChanged);
    ~CMidiPortSelection();
    CMidiPortSelection(const CMidiPortSelection&) = delete;
    CMidiPortSelection& operator=(const CMidiPortSelection&) = delete;

    void SetView(CMidiPortSelectionView* view) { m_pView = view; }
    /// Makes the dialog's window, fills the device lists and the port lines, starts timer 96.
    BOOL OnInitDialog();
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The operator's input.
    void OnSelChangeMidiIn(int line);
    void OnSelChangeMidiOut(int line);
    void OnCheckChanged(int line, int state);
    void SelectPortLine(int line);
    void OnLinkPorts();
    void OnRemove();
    void OnStartMidi();
    void OnOK();
    void OnTimer();

    // What the view shows.
    const std::vector<Device>& InDevices() const { return m_in; }
    const std::vector<Device>& OutDevices() const { return m_out; }
    const std::vector<PortLine>& PortLines() const { return m_lines; }
    int GetSelectedPortLine() const { return m_nSelectedLine; }
    const CString& GetInText() const { return m_strIn; }
    const CString& GetOutText() const { return m_strOut; }
    bool IsLinkEnabled() const { return m_bLinkEnabled; }
    bool IsRemoveEnabled() const { return m_bRemoveEnabled; }
    bool AreListsEnabled() const { return m_bListsEnabled; }
    const char* GetStartText() const;
    /// The Start button's colour scheme: 1 while MIDI runs, else 0.
    int GetStartScheme() const;

private:
    void AddPortLine(int port, int check);
    /// The device of a list's line becomes the selected one, its name shown.
    void SelectDevice(bool input, int line);
    void UpdateStart();
    /// Whether a device is the MIDI-in (or MIDI-out) of any port key.
    static bool DeviceInUse(bool input, int index);
    static int FirstFreePort();
    void Changed();

    MidiPorts& m_ports;
    std::function<void(bool)> m_runningChanged;
    CMidiPortSelectionView* m_pView = nullptr;
    HWND m_hWnd = nullptr;
    int m_nMidiIn = -1;
    int m_nMidiOut = -1;
    int m_nSelectedLine = -1;
    std::vector<Device> m_in;
    std::vector<Device> m_out;
    std::vector<PortLine> m_lines;
    CString m_strIn = "in";
    CString m_strOut = "out";
    bool m_bLinkEnabled = false;
    bool m_bRemoveEnabled = true;
    bool m_bListsEnabled = true;
};
