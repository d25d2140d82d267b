#include "Wendle/VyNetworkInterface.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

std::vector<VyNetworkInterface> VyNetworkInterface::allAvailableInterfaces() {
    std::vector<VyNetworkInterface> interfaces;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return interfaces;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_name || !(it->ifa_flags & IFF_UP)) continue;
        auto found = std::find_if(interfaces.begin(), interfaces.end(),
                                  [&](const VyNetworkInterface& i) { return i.name_ == it->ifa_name; });
        if (found == interfaces.end()) {
            interfaces.emplace_back();
            interfaces.back().name_ = it->ifa_name;
            found = interfaces.end() - 1;
        }
        if (!it->ifa_addr) continue;
        char text[INET6_ADDRSTRLEN] = {};
        if (it->ifa_addr->sa_family == AF_INET && found->ipv4_.empty()) {
            auto* address = reinterpret_cast<sockaddr_in*>(it->ifa_addr);
            if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) found->ipv4_ = text;
        } else if (it->ifa_addr->sa_family == AF_INET6 && found->ipv6_.empty()) {
            auto* address = reinterpret_cast<sockaddr_in6*>(it->ifa_addr);
            if (inet_ntop(AF_INET6, &address->sin6_addr, text, sizeof text)) found->ipv6_ = text;
        }
    }
    freeifaddrs(list);
    return interfaces;
}
