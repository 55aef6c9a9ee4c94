// The family every server object belongs to: an object learns its kind from the first attach
// command it receives (a command whose name begins "AttachTo", e.g. 276 AttachToMicLine) and
// answers GetData with the data of its kind. Families that model more of a server object add
// a file of their own and a line to Families().
#include <cstring>

#include "Simulator.h"
#include "quenby/KIVCommands.h"

namespace kivsim {

namespace {

class AttachFamily : public Family {
public:
    const char* Name() const override { return "attach"; }
    void OnBlock(Simulator&, ServerObject& object, int command, const uint8_t*, size_t) override
    {
        const char* name = KIVCommandName(command);
        if (object.kind < 0 && name && std::strncmp(name, "AttachTo", 8) == 0) object.kind = command;
    }
};

}  // namespace

const std::vector<Family*>& Families()
{
    static AttachFamily attach;
    static const std::vector<Family*> families = {&attach, &RouterLinkFamily(), &StudioConfigFamily(), &MixSetupFamily(),
                                                   &IOConfigSaveFamily(), &IORoutingFamily()};
    return families;
}

}  // namespace kivsim
