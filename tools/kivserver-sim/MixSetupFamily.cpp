// The server's mix setups: a store of whole mix-setup blocks by name. A create (56) or save
// (57) keeps its block under the name it carries; an attach (22) or process-list reload (75)
// naming a stored setup is answered with it (an unknown name has no data); after a create the
// stored setup goes to the advised mix-setup objects of the client that sent it. A process-list
// attach (33) carries the client's process id at 20, which the server trusts: the record says
// whether it is the peer's own.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "Simulator.h"
#include "quenby/KIVCommands.h"
#include "quenby/MixSetupBlock.h"

namespace kivsim {

namespace {

std::string nameAt(const uint8_t* block, size_t size, size_t offset, size_t width)
{
    if (offset >= size) return {};
    width = std::min(width, size - offset);
    const char* text = reinterpret_cast<const char*>(block + offset);
    return std::string(text, strnlen(text, width));
}

class MixSetups : public Family {
public:
    const char* Name() const override { return "mix setup"; }
    void OnBlock(Simulator& sim, ServerObject& object, int command, const uint8_t* block, size_t size) override
    {
        using namespace MixSetupBlock;
        switch (command) {
        case CreateMSUCommand:
        case ModifyMSUCommand: {
            if (size < kSize) return;
            std::vector<uint8_t> stored(block, block + kSize);
            const int32_t reply = AttachToMSU, window = 0;
            std::memcpy(stored.data(), &reply, 4);
            std::memcpy(stored.data() + 4, &window, 4);
            const std::string name = nameAt(block, size, kName, kMSUNameWidth);
            sim.Record("msu stored name=\"%s\" cmd=%d", name.c_str(), command);
            m_store[name] = stored;
            if (command == CreateMSUCommand) sim.PushToKind(AttachToMSU, stored, object.pid);
            break;
        }
        case AttachToMSU:
        case ForceReadProcessListMSUCommand: {
            const std::string name = nameAt(block, size, kAttachName, kAttachNameBytes);
            auto it = m_store.find(name);
            object.ownData = true;
            object.data = it == m_store.end() ? std::vector<uint8_t>{} : it->second;
            sim.Record("msu read name=\"%s\" found=%d", name.c_str(), it != m_store.end() ? 1 : 0);
            break;
        }
        case AttachToProcessList: {
            int32_t pid = -1;
            if (size >= 24) std::memcpy(&pid, block + 20, 4);
            sim.Record("process-list pid sent=%d peer=%d %s", pid, static_cast<int>(object.pid),
                       pid == static_cast<int32_t>(object.pid) ? "match" : "mismatch");
            break;
        }
        default:
            break;
        }
    }

private:
    std::map<std::string, std::vector<uint8_t>> m_store;
};

}  // namespace

Family& MixSetupFamily()
{
    static MixSetups family;
    return family;
}

}  // namespace kivsim
