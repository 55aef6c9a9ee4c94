// The registry service's request handler: any request payload gets one well-formed reply (a
// status first) and never reaches outside the serving store.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzFiles.h"
#include "winport/RegistryService.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The store served is the run's own registry.
    fuzzfiles::Environment();
    std::string reply = winport::HandleRegistryRequest(std::string(reinterpret_cast<const char*>(data), size));
    if (reply.size() < 4) std::abort();
    return 0;
}
