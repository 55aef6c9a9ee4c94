#include "quenby/KivServerClass.h"

const CLSID CLSID_KIVServer = {0x6B1D3E52, 0x94C7, 0x4F0A, {0x8E, 0x21, 0x5D, 0xC4, 0x37, 0xA9, 0x10, 0x6F}};

namespace {
// The library's start-up makes the server's class known to the local-server service.
const bool g_registered = [] {
    winport::RegisterLocalServerClass(CLSID_KIVServer, KIVServerSocketVariable, KIVServerSocketName);
    return true;
}();
}  // namespace
