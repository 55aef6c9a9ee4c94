// The server's router link: one stream map for all clients. An update (216) replaces it and a
// name reload (217) sends it again; either way the map goes, in the reply layout (the update
// block's own), to every advised router object of every client, and it is the data a router
// object reads when it attaches.
#include <cstring>

#include "Simulator.h"
#include "quenby/KIVCommands.h"

namespace kivsim {

namespace {

// The stream-map block: header, 0 at 16, mode at 20, flag at 24, entry count n at 28, then n
// entries of 4 bytes.
constexpr size_t kMapHeader = 32;

class RouterFamily : public Family {
public:
    const char* Name() const override { return "router"; }
    void OnBlock(Simulator& sim, ServerObject&, int command, const uint8_t* block, size_t size) override
    {
        if (command == UpdateRovellCommand) {
            int32_t n = -1;
            if (size >= kMapHeader) std::memcpy(&n, block + 28, 4);
            // A malformed update leaves the map as it was.
            if (n < 0 || size < kMapHeader + 4 * static_cast<size_t>(n)) return;
            m_map.assign(block, block + kMapHeader + 4 * static_cast<size_t>(n));
            const auto length = static_cast<uint32_t>(m_map.size());
            std::memcpy(m_map.data() + 8, &length, 4);
        } else if (command != ReloadRovellNamesCommand) {
            return;
        }
        if (m_map.empty()) m_map = EmptyMap();
        sim.SetData(AttachToRovell, m_map);
        sim.PushToKind(AttachToRovell, m_map);
    }

private:
    // The map before any update: no entries, comm mode -1.
    static std::vector<uint8_t> EmptyMap()
    {
        std::vector<uint8_t> block(kMapHeader, 0);
        const int32_t command = UpdateRovellCommand, size = kMapHeader, mode = -1;
        std::memcpy(block.data(), &command, 4);
        std::memcpy(block.data() + 8, &size, 4);
        std::memcpy(block.data() + 20, &mode, 4);
        return block;
    }

    std::vector<uint8_t> m_map;
};

}  // namespace

Family& RouterLinkFamily()
{
    static RouterFamily family;
    return family;
}

}  // namespace kivsim
