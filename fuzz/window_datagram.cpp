// Datagrams of window messages from other programs: decoding must refuse anything malformed
// and give back exactly the bytes it accepted.
#include <cstdint>
#include <algorithm>
#include <cstdlib>

#include "winport/MessageWire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    winport::WindowDatagram d;
    if (winport::DecodeWindowDatagram(data, size, &d)) {
        auto again = winport::EncodeWindowDatagram(d);
        if (again.size() != size || !std::equal(again.begin(), again.end(), data)) std::abort();
    }
    return 0;
}
