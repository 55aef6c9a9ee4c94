#include "app/MidiPortSelection.h"

#include "midi/MidiPortConfig.h"
#include "ui/CheckListState.h"
#include "winport/Midi.h"
#include "winport/RegistryObject.h"
#include "winport/Window.h"

namespace {

std::vector<CMidiPortSelection::Device> DeviceList(bool input)
{
    std::vector<CMidiPortSelection::Device> devices;
    const UINT count = input ? midiInGetNumDevs() : midiOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        const CString name = MidiDeviceName(input, static_cast<int>(i));
        if (!name.IsEmpty()) devices.push_back({name, static_cast<int>(i)});
    }
    return devices;
}

}  // namespace

CMidiPortSelection::CMidiPortSelection(MidiPorts& ports, std::function<void(bool)> runningChanged)
    : m_ports(ports), m_runningChanged(std::move(runningChanged))
{
}

CMidiPortSelection::~CMidiPortSelection()
{
    if (m_hWnd) DestroyWindow(m_hWnd);
}

BOOL CMidiPortSelection::OnInitDialog()
{
    winport::WindowOptions options;
    options.reachable = false;
    m_hWnd = winport::CreateMessageWindow(
        "MidiPortSelection",
        [this](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
            if (msg == WM_TIMER) OnTimer();
            if (msg == WM_CHECKLIST_CHANGED) OnCheckChanged(static_cast<int>(w), static_cast<int>(l));
            return 0;
        },
        options);
    if (!m_hWnd) return FALSE;
    m_nMidiIn = m_nMidiOut = -1;
    m_in = DeviceList(true);
    m_out = DeviceList(false);
    UpdateStart();
    SetTimer(m_hWnd, kTimerId, kTimerMs, nullptr);
    for (int n = 0; n < CMidiPortConfig::kPorts; ++n) {
        CMidiPortConfig config;
        config.Load(n);
        if (config.IsComplete()) AddPortLine(n, config.IsActive() ? 1 : 0);
    }
    Changed();
    return TRUE;
}

void CMidiPortSelection::AddPortLine(int port, int check)
{
    CMidiPortConfig config;
    config.Load(port);
    CString text;
    text.Format("%d\t%s\t%s", port + 1, config.GetMidiInName().c_str(), config.GetMidiOutName().c_str());
    m_lines.push_back({port, text, check});
}

bool CMidiPortSelection::DeviceInUse(bool input, int index)
{
    CCurrentUserRegistryObject reg;
    for (int n = 0; n < CMidiPortConfig::kPorts; ++n) {
        int stored = -1;
        const CString key = CMidiPortConfig::KeyOf(n);
        if (reg.ValueExists(key, input ? "MidiIn" : "MidiOut") && reg.GetInt(key, input ? "MidiIn" : "MidiOut", stored, -1) &&
            stored == index)
            return true;
    }
    return false;
}

int CMidiPortSelection::FirstFreePort()
{
    CCurrentUserRegistryObject reg;
    for (int n = 0; n < CMidiPortConfig::kPorts; ++n)
        if (!reg.ValueExists(CMidiPortConfig::KeyOf(n), "MidiIn")) return n;
    return -1;
}

void CMidiPortSelection::OnSelChangeMidiIn(int line)
{
    SelectDevice(true, line);
}

void CMidiPortSelection::OnSelChangeMidiOut(int line)
{
    SelectDevice(false, line);
}

void CMidiPortSelection::SelectDevice(bool input, int line)
{
    const std::vector<Device>& devices = input ? m_in : m_out;
    if (line < 0 || line >= static_cast<int>(devices.size())) return;
    int& selected = input ? m_nMidiIn : m_nMidiOut;
    selected = devices[static_cast<size_t>(line)].index;
    const CString name = MidiDeviceName(input, selected);
    (input ? m_strIn : m_strOut) = name.GetLength() >= kLongName ? CString(input ? "in" : "out") : name;
    UpdateStart();
    Changed();
}

void CMidiPortSelection::OnCheckChanged(int line, int state)
{
    if (line >= 0 && line < static_cast<int>(m_lines.size())) m_lines[static_cast<size_t>(line)].check = state;
}

void CMidiPortSelection::SelectPortLine(int line)
{
    m_nSelectedLine = line >= 0 && line < static_cast<int>(m_lines.size()) ? line : -1;
}

void CMidiPortSelection::OnLinkPorts()
{
    if (m_nMidiIn < 0 || m_nMidiOut < 0) return;
    const int port = FirstFreePort();
    if (port < 0) return;  // every number is taken (Link is disabled then)
    const CString key = CMidiPortConfig::KeyOf(port);
    CCurrentUserRegistryObject reg;
    reg.SetDword(key, "MidiIn", static_cast<DWORD>(m_nMidiIn));
    reg.SetDword(key, "MidiOut", static_cast<DWORD>(m_nMidiOut));
    reg.SetString(key, "MidiInStr", MidiDeviceName(true, m_nMidiIn));
    reg.SetString(key, "MidiOutStr", MidiDeviceName(false, m_nMidiOut));
    reg.SetBool(key, "Active", 0);
    AddPortLine(port, 0);
    UpdateStart();
    Changed();
}

void CMidiPortSelection::OnRemove()
{
    if (!m_bRemoveEnabled || m_nSelectedLine < 0) return;
    const size_t line = static_cast<size_t>(m_nSelectedLine);
    CCurrentUserRegistryObject().DeleteKeyTree(CMidiPortConfig::KeyOf(m_lines[line].port));
    m_lines.erase(m_lines.begin() + m_nSelectedLine);
    if (m_nSelectedLine >= static_cast<int>(m_lines.size())) m_nSelectedLine = static_cast<int>(m_lines.size()) - 1;
    UpdateStart();
    Changed();
}

void CMidiPortSelection::OnStartMidi()
{
    if (!m_ports.IsRunning()) {
        CCurrentUserRegistryObject reg;
        for (const PortLine& line : m_lines) {
            const CString key = CMidiPortConfig::KeyOf(line.port);
            reg.SetBool(key, "Active", line.check ? 1 : 0);
            reg.SetDword(key, "MicPreControl", 1);
        }
        if (m_ports.StartMidiPortsThread() && m_runningChanged) m_runningChanged(true);
    } else if (m_ports.StopMidiPorts() && m_runningChanged) {
        m_runningChanged(false);
    }
    UpdateStart();
    Changed();
}

void CMidiPortSelection::OnOK()
{
    CCurrentUserRegistryObject reg;
    for (const PortLine& line : m_lines)
        reg.SetDword(CMidiPortConfig::KeyOf(line.port), "MicPreControl", line.check ? 2 : 1);
    if (m_hWnd) KillTimer(m_hWnd, kTimerId);
    if (m_pView) m_pView->EndDialog(kIdOk);
}

void CMidiPortSelection::OnTimer()
{
    KillTimer(m_hWnd, kTimerId);
    UpdateStart();
    Changed();
    SetTimer(m_hWnd, kTimerId, kTimerMs, nullptr);
}

void CMidiPortSelection::UpdateStart()
{
    const bool running = m_ports.IsRunning();
    m_bListsEnabled = !running;
    m_bRemoveEnabled = !running;
    m_bLinkEnabled = !running && FirstFreePort() >= 0 && !(m_nMidiIn >= 0 && DeviceInUse(true, m_nMidiIn)) &&
                     !(m_nMidiOut >= 0 && DeviceInUse(false, m_nMidiOut));
}

const char* CMidiPortSelection::GetStartText() const
{
    return m_ports.IsRunning() ? "&Stop MIDI" : "&Start MIDI";
}

int CMidiPortSelection::GetStartScheme() const
{
    return m_ports.IsRunning() ? 1 : 0;
}

void CMidiPortSelection::Changed()
{
    if (m_pView) m_pView->Changed();
}
