// The registry service: serves this machine's HKEY_LOCAL_MACHINE store to the programs of other
// machines (RegConnectRegistryA) over TCP. The program tools/regserver runs it.
#pragma once

#include <stop_token>
#include <string>

namespace winport {

/// Accepts connections on a listening TCP socket and answers their requests, one thread per
/// connection, until a stop is requested. The socket stays the caller's.
void RunRegistryService(int listenFd, std::stop_token stop);

/// Answers one request payload (the service's wire format) on this machine's local-machine
/// store. A malformed request gets ERROR_INVALID_PARAMETER.
std::string HandleRegistryRequest(const std::string& request);

/// The file that maps machine names to registry services: WINPORT_REGISTRY_MACHINES, else
/// ConfigDir()/registry-machines. One machine a line: "NAME HOST:PORT"; '#' starts a comment.
std::string RegistryMachinesFile();

/// The time one whole reply (or request, on the service's side) may take to arrive: 15 s, as
/// the service's own store waits up to 10 s for a lock. For tests.
void SetRegistryReplyTimeout(int ms);

}  // namespace winport
