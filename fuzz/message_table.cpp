// The shared table of registered message names, as other programs (or a torn write) left it:
// every entry read back must be valid and must read back the same when written out again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "winport/MessageWire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto entries = winport::ParseMessageTable(text);
    std::string written;
    for (const auto& e : entries) {
        if (e.id < 0xC000 || e.id > 0xFFFF || !winport::IsValidMessageName(e.name)) std::abort();
        written += winport::FormatMessageTableLine(e);
    }
    auto again = winport::ParseMessageTable(written);
    if (again.size() != entries.size()) std::abort();
    for (size_t i = 0; i < again.size(); ++i) {
        if (again[i].id != entries[i].id || again[i].name != entries[i].name) std::abort();
    }
    return 0;
}
