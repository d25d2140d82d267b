#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Names of well-known TCP ports, for showing "22 (ssh)" beside a forwarding.
class KvServicePorts {
public:
    // The TCP service name of the port from the system's services database,
    // or nullopt when it has none. Safe from any thread.
    static std::optional<std::string> serviceNameWithPortNumber(std::uint16_t port);
};
