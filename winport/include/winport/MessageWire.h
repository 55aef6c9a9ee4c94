// What programs exchange for the window messages between them: the datagram of one posted
// message, and the shared table of registered message names. Both come from other processes
// and are read as untrusted input.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "winport/WinTypes.h"

namespace winport {

/// One message posted to a window of another program. Layout (little-endian):
/// "WPM1", target handle (u32; 0xFFFF for a broadcast), message (u32), sender process id (u32),
/// wParam (u64), lParam (i64), name length (u16), name bytes. A registered message (0xC000 to
/// 0xFFFF) carries its name, which the receiver turns into its own number; other messages
/// carry none.
struct WindowDatagram {
    DWORD target = 0;
    UINT message = 0;
    DWORD senderPid = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
    std::string name;
};

constexpr size_t kWindowDatagramHeaderSize = 34;
constexpr size_t kMaxMessageNameLength = 255;

std::vector<uint8_t> EncodeWindowDatagram(const WindowDatagram& datagram);
/// FALSE for anything but one well-formed datagram: short, wrong magic, a name length beyond
/// the data or above 255, trailing bytes, a registered message without a name or a name on an
/// ordinary message, or a name with a zero, CR or LF byte.
bool DecodeWindowDatagram(const uint8_t* data, size_t size, WindowDatagram* out);

/// A message name is 1 to 255 bytes without a zero, CR or LF byte.
bool IsValidMessageName(std::string_view name);

/// One line of the registered-names table: four hex digits of the number, a blank, the name.
struct RegisteredName {
    UINT id;
    std::string name;
};
/// The valid lines of the table, in file order; lines that are malformed, out of range or
/// repeat a number or a name (ignoring case) already read are skipped.
std::vector<RegisteredName> ParseMessageTable(std::string_view text);
std::string FormatMessageTableLine(const RegisteredName& entry);

}  // namespace winport
