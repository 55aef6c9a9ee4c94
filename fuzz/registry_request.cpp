// The registry service's request handler: any request payload gets one well-formed reply (a
// status first) and never reaches outside the serving store.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "winport/RegistryService.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A private folder for the run, removed at exit.
    static const struct TempDir {
        std::string path;
        TempDir()
        {
            char pattern[] = "/tmp/registry-fuzz-XXXXXX";
            const char* made = ::mkdtemp(pattern);
            path = made ? made : "/tmp";
            ::setenv("WINPORT_REGISTRY_DIR", path.c_str(), 1);
        }
        ~TempDir()
        {
            std::error_code ec;
            if (path != "/tmp") std::filesystem::remove_all(path, ec);
        }
    } temp;
    std::string reply = winport::HandleRegistryRequest(std::string(reinterpret_cast<const char*>(data), size));
    if (reply.size() < 4) std::abort();
    return 0;
}
