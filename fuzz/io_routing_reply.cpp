// Fuzz target for the I/O routing mirror's reply. The reply is a zeroed block of the whole
// layout (390,068 bytes and a little more) whose size field is the input's first four bytes
// (limited to the block, as the connection delivers no more than it received); the rest of the
// input is patches: a 32-bit offset (taken modulo the block), a length byte and the bytes. The
// mirror then answers every kind of question; iteration must stay within the tables and end.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../testsupport/MinimalKivServer.h"
#include "quenby/IORoutingKIVObject.h"

namespace {

constexpr size_t kBlockSize = 390068 + 64;

// One object for the whole run, made against a server in this process.
CIORoutingKIVObject& mirror()
{
    static CIORoutingKIVObject* routing = [] {
        minimal_server::Start();
        return new CIORoutingKIVObject;
    }();
    return *routing;
}

void checkPort(const StructIOSearch& s)
{
    if (s.system < 0 || s.system > 3 || s.rack < 0 || s.rack > 11 || s.card < 0 || s.card > 4 || s.io < 0 || s.io >= 56) std::abort();
    if (!std::memchr(s.name, 0, sizeof s.name)) std::abort();
}

// Walks one direction of one system; every step must move on.
void walk(const CIORoutingKIVObject& routing, int system, int direction, int step)
{
    StructIOSearch s{};
    s.system = system, s.direction = direction, s.path = -1;
    if (!routing.GetFirstRack(s)) return;
    int count = 0;
    do {
        checkPort(s);
        if (++count > 12 * 5 * 56) std::abort();
    } while (routing.GetNextIO(s, step));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    std::vector<uint8_t> block(kBlockSize, 0);
    int32_t sizeField = 0;
    std::memcpy(&sizeField, data, 4);
    sizeField = static_cast<int32_t>(std::clamp<int64_t>(sizeField, 16, static_cast<int64_t>(kBlockSize)));
    data += 4, size -= 4;
    while (size >= 5) {
        uint32_t offset = 0;
        std::memcpy(&offset, data, 4);
        size_t length = std::min<size_t>(data[4], size - 5);
        offset %= kBlockSize;
        length = std::min(length, kBlockSize - offset);
        std::memcpy(block.data() + offset, data + 5, length);
        data += 5 + length, size -= 5 + length;
    }
    const int32_t header[3] = {67, 0, sizeField};
    std::memcpy(block.data(), header, sizeof header);

    CIORoutingKIVObject& routing = mirror();
    routing.OnLinkIn(reinterpret_cast<_CommsStructure*>(block.data()));
    if (routing.GetPathCount() < 0 || routing.GetPathCount() > 2000 || routing.GetFMDIMode() > 3) std::abort();
    for (int system = 0; system < 4; ++system)
        for (int direction = 0; direction < 3; ++direction) walk(routing, system, direction, 1 + direction % 2);

    for (int path : {-2, -1, 0, 1, 7, 255, 499, 1999, 2000}) {
        StructIOSearch s{};
        s.path = path;
        int count = 0;
        while (routing.GetNextIOForAllocation(s)) {
            checkPort(s);
            if (++count > 4 * 12 * 5 * 56) std::abort();
        }
        routing.GetInput(path, s, 0);
        routing.GetOutput(path, 1, s, 2);
        routing.GetInsertInput(path, 1, s, 1);
        routing.GetInsertOutput(path, 0, s, 0);
        if (routing.GetFilmType(path) < -1 || routing.GetFilmType(path) > 4) std::abort();
        for (int insert = 3; insert <= 5; ++insert) routing.IsFilmInsertRoutable(path, insert);
        routing.GetPathName(path);
        routing.GetPathType(path);
        if (routing.GetEnginePath(path) < 0 || routing.GetEnginePath(path) > 3) std::abort();
        routing.NeedsStereoPair(path);
        CArray<StructIOSearch, StructIOSearch&> names;
        routing.GetInputNames(names, path, -1);
        for (INT_PTR i = 0; i < names.GetSize(); ++i) checkPort(names[i]);
    }
    for (int io : {0, 1, 55}) {
        StructIOSearch s{};
        s.system = io % 4, s.rack = 11, s.card = 4, s.io = io;
        int where = 0, partner = 0, film = 0, leg = 0, type = 0;
        routing.IsOutputInUse(s, where, partner);
        routing.IsFilmOutputInUse(s, io % 3, io & 1, where, film, leg);
        CArray<int, int> places, legs;
        routing.IsInputInUse(s, places, partner, legs);
        CString card;
        routing.GetCard(s, type, card);
        if (type < 0 || type > 4) std::abort();
    }
    return 0;
}
