// The server's I/O routing: one routing state (the 390,068-byte block that routing objects read
// when they attach, command 67) for all clients. The test sets it ("set 67 390068 @FILE"); a
// routing block (68) replaces its path count and routing table, a route (69) changes one route
// and an FMDI mode block (158) its mode. After each change the state is the data of kind 67
// and goes to every advised routing object of every client.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Simulator.h"
#include "quenby/KIVCommands.h"

namespace kivsim {

namespace {

constexpr size_t kStateSize = 390068, kPathCountAt = 32, kTableAt = 40, kTableSize = 336000, kFMDIAt = 336040;
constexpr size_t kPathRecord = 168, kSlotRoutes = 3 * 8;
constexpr int32_t kPaths = 2000, kSlots = 7, kLegs = 3;

class RoutingFamily : public Family {
public:
    const char* Name() const override { return "routing"; }
    void OnBlock(Simulator& sim, ServerObject& object, int command, const uint8_t* block, size_t size) override
    {
        if (command != SetIORoutingCommand && command != SetIORouteCommand && command != SetFMDIModeCommand) return;
        std::vector<uint8_t> state = Current(sim);
        if (command == SetIORouteCommand) {
            int32_t path = -1, slot = -1;
            if (size < 30) return Refuse(sim, object, command, "short");
            std::memcpy(&path, block + 16, 4);
            std::memcpy(&slot, block + 20, 4);
            const uint8_t rack = block[24], card = block[25], io = block[26], assigned = block[27], leg = block[28], system = block[29];
            if (path < 0 || path >= kPaths || slot < 0 || slot >= kSlots || leg >= kLegs) return Refuse(sim, object, command, "place");
            uint8_t* route = state.data() + kTableAt + kPathRecord * static_cast<size_t>(path) + kSlotRoutes * static_cast<size_t>(slot) + 8u * leg;
            std::memset(route, 0, 8);
            route[0] = rack, route[1] = card, route[2] = io, route[3] = assigned, route[4] = system;
            sim.Record("routing route object=%d path=%d slot=%d leg=%d", object.id, path, slot, leg);
        } else if (size < kStateSize) {
            return Refuse(sim, object, command, "short");
        } else if (command == SetIORoutingCommand) {
            std::memcpy(state.data() + kPathCountAt, block + kPathCountAt, 4);
            std::memcpy(state.data() + kTableAt, block + kTableAt, kTableSize);
            sim.Record("routing table object=%d", object.id);
        } else {
            std::memcpy(state.data() + kFMDIAt, block + kFMDIAt, 4);
            sim.Record("routing fmdi object=%d", object.id);
        }
        sim.SetData(AttachToIORouting, state);
        sim.PushToKind(AttachToIORouting, state);
    }

private:
    static void Refuse(Simulator& sim, ServerObject& object, int command, const char* reason)
    {
        sim.Record("routing refused object=%d cmd=%d reason=%s", object.id, command, reason);
    }

    // The state as it stands, or an empty one, as a whole block of its command and size.
    static std::vector<uint8_t> Current(Simulator& sim)
    {
        std::vector<uint8_t> state(kStateSize, 0);
        if (const std::vector<uint8_t>* data = sim.Data(AttachToIORouting))
            std::copy_n(data->begin(), std::min(data->size(), kStateSize), state.begin());
        const int32_t header[3] = {AttachToIORouting, 0, static_cast<int32_t>(kStateSize)};
        std::memcpy(state.data(), header, sizeof header);
        return state;
    }
};

}  // namespace

Family& IORoutingFamily()
{
    static RoutingFamily family;
    return family;
}

}  // namespace kivsim
