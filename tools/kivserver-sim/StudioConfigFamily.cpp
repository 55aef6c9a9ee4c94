// The server's studio configuration: a save (213) or a reload (222) is answered by a push to
// the studio-configuration objects of the client that sent it, a bare block carrying the
// command it answers.
#include <cstring>

#include "Simulator.h"
#include "quenby/KIVCommands.h"

namespace kivsim {

namespace {

class StudioConfig : public Family {
public:
    const char* Name() const override { return "studio config"; }
    void OnBlock(Simulator& sim, ServerObject& object, int command, const uint8_t*, size_t) override
    {
        if (command != SaveRackConfigCommand && command != ReloadStudioConfigCommand) return;
        std::vector<uint8_t> answer(16, 0);
        const int32_t size = 16;
        std::memcpy(answer.data(), &command, 4);
        std::memcpy(answer.data() + 8, &size, 4);
        sim.PushToKind(AttachToStudioConfig, answer, object.pid);
    }
};

}  // namespace

Family& StudioConfigFamily()
{
    static StudioConfig family;
    return family;
}

}  // namespace kivsim
