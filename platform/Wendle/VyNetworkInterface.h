#pragma once

#include <string>
#include <vector>

// One network interface of this machine, for binding a connection to it.
class VyNetworkInterface {
public:
    // The interfaces that are up, in the system's order, each once with its
    // first IPv4 and first IPv6 address (empty when it has none).
    static std::vector<VyNetworkInterface> allAvailableInterfaces();

    const std::string& BSDName() const { return name_; }
    const std::string& IPv4Address() const { return ipv4_; }
    const std::string& IPv6Address() const { return ipv6_; }

private:
    std::string name_;
    std::string ipv4_;
    std::string ipv6_;
};
