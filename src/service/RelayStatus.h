#pragma once

#include <string>

class VelaRelayServer;
class VelaSystemClient;

// What the console reads: the relay's state as JSON, and the command table.
namespace RelayStatus {

// The version, uptime, port, address and clients of the relay, then the hubs,
// window, report modes and sessions as the adapter and its session owners
// hold them. On the main thread, where all of them live.
std::string status(const VelaRelayServer &server, const VelaSystemClient &adapter, long long uptimeMs);
// Every command the relay carries out, in the order of the command table:
// its two words, its least number of arguments, and its documentation.
std::string commands();

} // namespace RelayStatus
