#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Small network helpers that the models' display texts and command lines use:
// host notation, the names of well-known service ports and the addresses of
// the machine's network interfaces.

// "host:port", with an IPv6 address in brackets ("[::1]:22").
std::string HalvexHostNotation(const std::string& host, std::uint16_t port);

// The service name of a well-known TCP port ("ssh" for 22), nullopt for a port
// the table does not know.
std::optional<std::string> HalvexServiceNameWithPortNumber(std::int64_t port);

// One network interface of the machine with its first IPv4 and IPv6 address
// (empty when it has none).
struct HalvexNetworkInterface {
    std::string name;
    std::string ipv4Address;
    std::string ipv6Address;
};
std::vector<HalvexNetworkInterface> HalvexAllAvailableInterfaces();
