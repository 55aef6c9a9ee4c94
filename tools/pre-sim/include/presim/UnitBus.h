// A model of up to 16 pre-amplifier units on one serial line, as the PC sees them.
//
// The PC's bytes go in with the time they arrived; the units parse them into frames, check
// them, keep each channel's settings, and schedule their replies byte by byte at the line's
// pace (0.52 ms a byte at 19200 baud). The caller takes the bytes that are due at a time. Every
// frame is logged, and a checker notes any frame that starts while a reply is on the line (the
// PC must keep one message in flight). Faults are scripted per unit.
//
// The model knows nothing of the PC's code: frames and replies are built here from the
// protocol's layout. Not thread-safe; one owner drives it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace presim {

/// Time on the line, in milliseconds.
using TimeMs = double;

/// One byte takes 10 bits at 19200 baud.
constexpr TimeMs kByteTimeMs = 10.0 / 19.2;
/// A unit starts its reply this long after the end of the frame.
constexpr TimeMs kTurnaroundMs = 1.0;

enum class Fault {
    None,
    Absent,       // no unit at this address
    Silent,       // takes frames, answers nothing
    Nack,         // answers everything with 0x05
    BadChecksum,  // version and data replies carry a wrong checksum
    Truncated,    // replies stop half way
    Late,         // replies come lateMs later than usual
    LeadingNoise, // a version reply starts with non-printable bytes
    Garbage,      // bytes of no meaning before every reply
};

/// Parses a fault name ("silent", "nack", "bad-checksum", ...); FALSE when unknown.
bool ParseFault(const std::string& name, Fault& fault);
const char* FaultName(Fault fault);

struct Unit {
    Fault fault = Fault::None;
    TimeMs lateMs = 0;
    std::string version = "PRE-4 V1.0";  // ten characters
    /// Switch bytes last received per channel: 0x11 (mic), 0x41 (line), 0x13 (path).
    uint8_t micSwitch[4] = {3, 3, 3, 3};
    uint8_t lineSwitch[4] = {3, 3, 3, 3};
    uint8_t pathByte[4] = {3, 3, 3, 3};
    uint8_t micLine[4] = {0x7F, 0x7F, 0x7F, 0x7F};
    /// Input levels of channels 0 to 3 sent after the ACK of a poll with levels.
    uint8_t levels[4] = {0, 0, 0, 0};
    /// Level bytes after such an ACK: 5 or 6 (only the first four carry levels).
    int levelBytes = 6;
    /// The operator changed the unit's panel: polls answer 0x46 until a data request.
    bool panelChanged = false;
};

struct FrameRecord {
    TimeMs at = 0;
    int unit = -1;  // -1 for an address that names no unit
    std::vector<uint8_t> bytes;
    bool checksumOk = true;
    /// The reply scheduled for it (empty: none).
    std::vector<uint8_t> reply;
};

class UnitBus {
public:
    /// Units 0 to count-1 are present; the others are absent.
    explicit UnitBus(int count = 16);

    Unit& unit(int index) { return m_units[index]; }
    const Unit& unit(int index) const { return m_units[index]; }
    /// Takes a unit off the line and puts it back (its settings are kept).
    void Drop(int index) { m_units[index].fault = Fault::Absent; }
    void Revive(int index) { m_units[index].fault = Fault::None; }

    /// The line echoes every frame the PC sends (a half-duplex adapter with its receiver on).
    void SetFrameEcho(bool on) { m_frameEcho = on; }
    /// The line echoes every byte at once (a loopback plug: not a unit link).
    void SetLoopback(bool on) { m_loopback = on; }

    /// Bytes from the PC that arrived at time at.
    void Receive(const uint8_t* bytes, size_t count, TimeMs at);
    /// Bytes whose time has come, in order.
    std::vector<uint8_t> TakeDue(TimeMs now);
    /// Time of the next byte to send (a negative value when nothing is scheduled).
    TimeMs NextDue() const;

    const std::vector<FrameRecord>& Frames() const { return m_frames; }
    void ClearFrames() { m_frames.clear(); }
    /// Frames that started while a reply was on the line.
    int Violations() const { return m_violations; }
    const std::vector<std::string>& ViolationTexts() const { return m_violationTexts; }

private:
    struct Scheduled {
        TimeMs at;
        uint8_t byte;
        bool reply;  // part of a unit's reply (not an echo)
    };

    static int frameLength(uint8_t command);
    void frameDone(TimeMs at);
    std::vector<uint8_t> replyTo(Unit& u, const std::vector<uint8_t>& frame, bool checksumOk);
    void schedule(const std::vector<uint8_t>& bytes, TimeMs start, bool reply);

    Unit m_units[16];
    bool m_frameEcho = false;
    bool m_loopback = false;
    std::vector<uint8_t> m_frame;
    TimeMs m_frameStart = 0;
    std::deque<Scheduled> m_out;
    std::vector<FrameRecord> m_frames;
    int m_violations = 0;
    int m_replyTaken = 0;
    std::vector<std::string> m_violationTexts;
};

/// Hex text of bytes ("81 11 02").
std::string Hex(const std::vector<uint8_t>& bytes);

}  // namespace presim
