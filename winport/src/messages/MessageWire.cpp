#include "winport/MessageWire.h"

#include <cstring>
#include <unordered_set>

#include "winport/CString.h"
#include "winport/Window.h"

namespace winport {

namespace {

const uint8_t kMagic[4] = {'W', 'P', 'M', '1'};

void putLe(uint8_t* p, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t getLe(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
    return v;
}

bool isRegisteredNumber(UINT message)
{
    return message >= WINPORT_FIRST_REGISTERED_MESSAGE && message <= WINPORT_LAST_REGISTERED_MESSAGE;
}

std::string folded(std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool IsValidMessageName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxMessageNameLength) return false;
    for (char c : name) {
        if (c == '\0' || c == '\r' || c == '\n') return false;
    }
    return true;
}

std::vector<uint8_t> EncodeWindowDatagram(const WindowDatagram& d)
{
    std::vector<uint8_t> out(kWindowDatagramHeaderSize + d.name.size());
    uint8_t* p = out.data();
    std::memcpy(p, kMagic, 4);
    putLe(p + 4, d.target, 4);
    putLe(p + 8, d.message, 4);
    putLe(p + 12, d.senderPid, 4);
    putLe(p + 16, d.wParam, 8);
    putLe(p + 24, static_cast<uint64_t>(d.lParam), 8);
    putLe(p + 32, d.name.size(), 2);
    if (!d.name.empty()) std::memcpy(p + kWindowDatagramHeaderSize, d.name.data(), d.name.size());
    return out;
}

bool DecodeWindowDatagram(const uint8_t* data, size_t size, WindowDatagram* out)
{
    if (!data || size < kWindowDatagramHeaderSize || std::memcmp(data, kMagic, 4) != 0) return false;
    WindowDatagram d;
    d.target = static_cast<DWORD>(getLe(data + 4, 4));
    d.message = static_cast<UINT>(getLe(data + 8, 4));
    d.senderPid = static_cast<DWORD>(getLe(data + 12, 4));
    d.wParam = getLe(data + 16, 8);
    d.lParam = static_cast<int64_t>(getLe(data + 24, 8));
    size_t nameLength = static_cast<size_t>(getLe(data + 32, 2));
    if (nameLength > kMaxMessageNameLength || size != kWindowDatagramHeaderSize + nameLength) return false;
    d.name.assign(reinterpret_cast<const char*>(data + kWindowDatagramHeaderSize), nameLength);
    if (isRegisteredNumber(d.message) != (nameLength > 0)) return false;
    if (nameLength > 0 && !IsValidMessageName(d.name)) return false;
    if (out) *out = std::move(d);
    return true;
}

std::vector<RegisteredName> ParseMessageTable(std::string_view text)
{
    std::vector<RegisteredName> out;
    std::unordered_set<UINT> ids;
    std::unordered_set<std::string> names;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) break;  // a line without its end is still being written
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() < 6 || line[4] != ' ') continue;
        UINT id = 0;
        bool ok = true;
        for (int i = 0; i < 4; ++i) {
            int v = hexDigit(line[i]);
            if (v < 0) ok = false;
            id = id * 16 + static_cast<UINT>(v < 0 ? 0 : v);
        }
        std::string_view name = line.substr(5);
        if (!ok || !isRegisteredNumber(id) || !IsValidMessageName(name)) continue;
        std::string key = folded(name);
        if (ids.count(id) || names.count(key)) continue;
        ids.insert(id);
        names.insert(key);
        out.push_back({id, std::string(name)});
    }
    return out;
}

std::string FormatMessageTableLine(const RegisteredName& entry)
{
    return WinportFormat("%04X %s\n", entry.id & 0xFFFF, entry.name.c_str());
}

}  // namespace winport
