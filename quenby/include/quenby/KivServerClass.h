// The automation server as a local server: its class id and the protocol's names.
#pragma once

#include "winport/DataObject.h"

/// The class id of the automation server's objects. The library registers it as a local
/// server whose socket is named by KIVSERVER_SOCKET (default: kivserver.sock in the runtime
/// folder).
extern const CLSID CLSID_KIVServer;

/// The environment variable naming the server's socket, and the socket's default file name.
constexpr const char* KIVServerSocketVariable = "KIVSERVER_SOCKET";
constexpr const char* KIVServerSocketName = "kivserver.sock";

/// The registered clipboard format of every exchange with the server.
constexpr const char* KIVClipboardFormatName = "KivObjectClipboardFormat";

/// The server's answers beside the standard codes.
#define KIV_E_NOTREADY ((HRESULT)0xF0000003)
#define KIV_E_NODATA ((HRESULT)0xF0000004)
#define KIV_E_BOOTING ((HRESULT)0xF0000005)
