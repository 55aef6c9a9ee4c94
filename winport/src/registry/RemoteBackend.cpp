#include "registry/RegistryBackend.h"

namespace winport::reg {

LONG ConnectRemoteBackend(const std::string&, std::shared_ptr<Backend>&) { return ERROR_BAD_NETPATH; }

}  // namespace winport::reg
