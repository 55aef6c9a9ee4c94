#include "presim/UnitBus.h"

#include <algorithm>
#include <cstdio>

namespace presim {

namespace {

uint8_t checksum(const uint8_t* from, const uint8_t* to)
{
    unsigned sum = 0;
    for (const uint8_t* p = from; p < to; ++p) sum += *p;
    return static_cast<uint8_t>(sum & 0x7F);
}

constexpr uint8_t kAck = 0x44;
constexpr uint8_t kAckWithData = 0x46;
constexpr uint8_t kNack = 0x05;
constexpr uint8_t kClosing = 0x0D;

struct FaultEntry {
    Fault fault;
    const char* name;
};
constexpr FaultEntry kFaultNames[] = {
    {Fault::None, "none"},          {Fault::Absent, "absent"},       {Fault::Silent, "silent"},
    {Fault::Nack, "nack"},          {Fault::BadChecksum, "bad-checksum"}, {Fault::Truncated, "truncated"},
    {Fault::Late, "late"},          {Fault::LeadingNoise, "noise"},  {Fault::Garbage, "garbage"},
};

}  // namespace

bool ParseFault(const std::string& name, Fault& fault)
{
    for (const FaultEntry& f : kFaultNames) {
        if (name == f.name) {
            fault = f.fault;
            return true;
        }
    }
    return false;
}

const char* FaultName(Fault fault)
{
    for (const FaultEntry& f : kFaultNames) {
        if (f.fault == fault) return f.name;
    }
    return "?";
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i) s += ' ';
        s += buf;
    }
    return s;
}

UnitBus::UnitBus(int count)
{
    for (int i = 0; i < 16; ++i) {
        if (i >= count) m_units[i].fault = Fault::Absent;
        char text[24];
        std::snprintf(text, sizeof text, "PRE%02d V1.2", i);
        m_units[i].version = text;
    }
}

int UnitBus::frameLength(uint8_t command)
{
    switch (command) {
    case 0x11:
    case 0x41: return 6;
    case 0x13: return 5;
    default: return 2;
    }
}

void UnitBus::Receive(const uint8_t* bytes, size_t count, TimeMs at)
{
    for (size_t i = 0; i < count; ++i) {
        uint8_t b = bytes[i];
        if (m_loopback) schedule({b}, at, false);
        if (b & 0x80) {
            if (!m_frame.empty()) {
                // A frame cut short by the next one.
                FrameRecord cut;
                cut.at = m_frameStart;
                cut.unit = (m_frame[0] & 0x7F) >= 1 && (m_frame[0] & 0x7F) <= 16 ? (m_frame[0] & 0x7F) - 1 : -1;
                cut.bytes = m_frame;
                cut.checksumOk = false;
                m_frames.push_back(cut);
            }
            // One message in flight: a frame must not start while a reply is on the line.
            bool started = m_replyTaken > 0;
            bool remaining = false;
            for (const Scheduled& s : m_out) {
                if (!s.reply) continue;
                if (s.at <= at) started = true;
                else remaining = true;
            }
            if (started && remaining) {
                ++m_violations;
                char text[96];
                std::snprintf(text, sizeof text, "frame %02X at %.2f ms while a reply is on the line", b, at);
                m_violationTexts.push_back(text);
            }
            // The units give up replies that have not gone out yet.
            m_out.erase(std::remove_if(m_out.begin(), m_out.end(), [](const Scheduled& s) { return s.reply; }),
                        m_out.end());
            m_frame.assign(1, b);
            m_frameStart = at;
            continue;
        }
        if (m_frame.empty()) continue;  // a stray byte between frames
        m_frame.push_back(b);
        if (static_cast<int>(m_frame.size()) >= frameLength(m_frame[1])) frameDone(at);
    }
}

void UnitBus::frameDone(TimeMs at)
{
    FrameRecord record;
    record.at = m_frameStart;
    int address = m_frame[0] & 0x7F;
    record.unit = address >= 1 && address <= 16 ? address - 1 : -1;
    record.bytes = m_frame;
    if (m_frame.size() > 2) {
        record.checksumOk = checksum(m_frame.data() + 2, m_frame.data() + m_frame.size() - 1) == m_frame.back();
    }
    // The echo came back while the PC was sending: all of it is there when the frame ends.
    if (m_frameEcho) {
        for (uint8_t b : m_frame) schedule({b}, at, false);
    }
    if (record.unit >= 0) {
        Unit& u = m_units[record.unit];
        record.reply = replyTo(u, m_frame, record.checksumOk);
        TimeMs start = at + kTurnaroundMs + (u.fault == Fault::Late ? u.lateMs : 0);
        m_replyTaken = 0;
        schedule(record.reply, start, true);
    }
    m_frames.push_back(record);
    m_frame.clear();
}

std::vector<uint8_t> UnitBus::replyTo(Unit& u, const std::vector<uint8_t>& frame, bool checksumOk)
{
    if (u.fault == Fault::Absent) return {};
    uint8_t command = frame[1];
    int channel = frame.size() > 2 ? frame[2] & 0x03 : 0;
    if (checksumOk) {
        // A unit takes the settings it was sent, whether or not it answers.
        if (command == 0x11) {
            u.micSwitch[channel] = frame[3];
            u.micLine[channel] = frame[4];
        } else if (command == 0x41) {
            u.lineSwitch[channel] = frame[3];
            u.micLine[channel] = frame[4];
        } else if (command == 0x13) {
            u.pathByte[channel] = frame[3];
        }
    }
    if (u.fault == Fault::Silent) return {};
    if (!checksumOk || u.fault == Fault::Nack) return {kNack};

    std::vector<uint8_t> reply;
    bool text = false;
    switch (command) {
    case 0x01: reply = {u.panelChanged ? kAckWithData : kAck}; break;
    case 0x02:
        if (u.panelChanged) {
            reply = {kAckWithData};
            break;
        }
        reply = {kAck};
        for (int i = 0; i < u.levelBytes; ++i) reply.push_back(i < 4 ? static_cast<uint8_t>(u.levels[i] & 0x7F) : 0);
        break;
    case 0x10: {
        text = true;
        if (u.fault == Fault::LeadingNoise) reply = {0x00, 0x0A, 0x0D, 0x7F};
        std::string v = u.version;
        v.resize(10, ' ');
        size_t first = reply.size();
        for (char c : v) reply.push_back(static_cast<uint8_t>(c));
        uint8_t sum = checksum(reply.data() + first, reply.data() + reply.size());
        reply.push_back(u.fault == Fault::BadChecksum ? static_cast<uint8_t>((sum + 1) & 0x7F) : sum);
        reply.push_back(kClosing);
        break;
    }
    case 0x11:
    case 0x41:
    case 0x13: reply = {kAck}; break;
    case 0x14: {
        text = true;
        reply.assign(18, 0);
        for (int c = 0; c < 4; ++c) {
            reply[3 * c] = u.micSwitch[c];
            reply[3 * c + 2] = u.lineSwitch[c];
            reply[12 + c] = u.pathByte[c];
        }
        uint8_t sum = checksum(reply.data(), reply.data() + 18);
        reply.push_back(u.fault == Fault::BadChecksum ? static_cast<uint8_t>((sum + 1) & 0x7F) : sum);
        reply.push_back(kClosing);
        u.panelChanged = false;
        break;
    }
    default: reply = {kNack}; break;
    }
    if (u.fault == Fault::Truncated && reply.size() > 1) reply.resize(reply.size() / 2);
    if (u.fault == Fault::Garbage) {
        // Bytes no reply grammar takes for an answer (and no address).
        static const uint8_t kGarbage[] = {0x00, 0x3F, 0x12, 0x7E};
        reply.insert(reply.begin(), kGarbage, kGarbage + (text ? 2 : 4));
    }
    return reply;
}

void UnitBus::schedule(const std::vector<uint8_t>& bytes, TimeMs start, bool reply)
{
    for (size_t i = 0; i < bytes.size(); ++i) {
        Scheduled s{start + kByteTimeMs * static_cast<double>(i), bytes[i], reply};
        auto pos = std::upper_bound(m_out.begin(), m_out.end(), s.at,
                                    [](TimeMs t, const Scheduled& x) { return t < x.at; });
        m_out.insert(pos, s);
    }
}

std::vector<uint8_t> UnitBus::TakeDue(TimeMs now)
{
    std::vector<uint8_t> due;
    while (!m_out.empty() && m_out.front().at <= now) {
        if (m_out.front().reply) ++m_replyTaken;
        due.push_back(m_out.front().byte);
        m_out.pop_front();
    }
    return due;
}

TimeMs UnitBus::NextDue() const { return m_out.empty() ? -1 : m_out.front().at; }

}  // namespace presim
