// A descriptor that one thread makes readable to wake another out of a poll on it (an eventfd):
// Signal from any thread, Drain on the waiting thread once woken. Signals before a Drain
// fold into one wake-up; nothing ever blocks.
#pragma once

namespace winport {

class WakeDescriptor {
public:
    WakeDescriptor();
    ~WakeDescriptor();
    WakeDescriptor(const WakeDescriptor&) = delete;
    WakeDescriptor& operator=(const WakeDescriptor&) = delete;

    /// Makes the descriptor readable. Safe from any thread.
    void Signal();
    /// Takes every signal so far: the descriptor is not readable until the next Signal.
    void Drain();
    /// The descriptor to poll for reading (-1 when the system gave none).
    int Descriptor() const { return m_fd; }

private:
    int m_fd = -1;
};

}  // namespace winport
