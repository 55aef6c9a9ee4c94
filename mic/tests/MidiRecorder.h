// A window of the test's thread that records what MIDI engines post to it: controls and the
// monitor's lines.
#pragma once

#include <vector>

#include "RealTimeLoop.h"
#include "base/MicMessages.h"
#include "winport/Window.h"

class MidiRecorder {
public:
    struct Posted {
        UINT message;
        WPARAM w;
        LPARAM l;
    };

    MidiRecorder()
    {
        winport::WindowOptions options;
        options.reachable = false;
        m_window = winport::CreateMessageWindow("MidiRecorder", [this](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m >= WM_MIDI_IN_SHOWN && m <= WM_MIDI_CONTROL) posted.push_back({m, w, l});
            return 0;
        }, options);
    }
    ~MidiRecorder() { DestroyWindow(m_window); }
    MidiRecorder(const MidiRecorder&) = delete;
    MidiRecorder& operator=(const MidiRecorder&) = delete;

    HWND Window() const { return m_window; }
    /// Handles what was posted so far.
    void Drain() { RunLoopUntil([] { return false; }, 0); }
    std::vector<Posted> Of(UINT message) const
    {
        std::vector<Posted> out;
        for (const auto& p : posted) {
            if (p.message == message) out.push_back(p);
        }
        return out;
    }

    std::vector<Posted> posted;

private:
    HWND m_window = nullptr;
};
