#include "Halvex/HalvexNetworkServices.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <map>
#include <netinet/in.h>

std::string HalvexHostNotation(const std::string& host, std::uint16_t port) {
    std::string text;
    if (host.find(':') != std::string::npos && !(host.starts_with('[') && host.ends_with(']')))
        text.append("[").append(host).append("]");
    else
        text = host;
    return text.append(":").append(std::to_string(port));
}

std::optional<std::string> HalvexServiceNameWithPortNumber(std::int64_t port) {
    // A fixed table rather than the system's services database: the texts must
    // not change with the machine the profile is shown on.
    static const std::map<std::int64_t, const char*> table = {
        {20, "ftp-data"},     {21, "ftp"},
        {22, "ssh"},          {23, "telnet"},
        {25, "smtp"},         {53, "domain"},
        {70, "gopher"},       {79, "finger"},
        {80, "http"},         {88, "kerberos"},
        {110, "pop3"},        {119, "nntp"},
        {123, "ntp"},         {137, "netbios-ns"},
        {139, "netbios-ssn"}, {143, "imap"},
        {161, "snmp"},        {389, "ldap"},
        {443, "https"},       {445, "microsoft-ds"},
        {465, "submissions"}, {514, "shell"},
        {515, "printer"},     {548, "afpovertcp"},
        {587, "submission"},  {631, "ipp"},
        {636, "ldaps"},       {873, "rsync"},
        {993, "imaps"},       {995, "pop3s"},
        {1080, "socks"},      {1433, "ms-sql-s"},
        {1521, "ncube-lm"},   {1723, "pptp"},
        {2049, "nfs"},        {3128, "squid-http"},
        {3306, "mysql"},      {3389, "ms-wbt-server"},
        {5432, "postgresql"}, {5900, "rfb"},
        {5984, "couchdb"},    {6379, "redis"},
        {6667, "ircd"},       {8080, "http-alt"},
        {8443, "https-alt"},  {9418, "git"},
        {11211, "memcache"},  {27017, "mongodb"},
    };
    auto it = table.find(port);
    if (it == table.end()) return std::nullopt;
    return it->second;
}

std::vector<HalvexNetworkInterface> HalvexAllAvailableInterfaces() {
    std::vector<HalvexNetworkInterface> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return result;
    auto entryFor = [&](const std::string& name) -> HalvexNetworkInterface& {
        for (auto& i : result)
            if (i.name == name) return i;
        result.push_back({name, {}, {}});
        return result.back();
    };
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_name) continue;
        HalvexNetworkInterface& entry = entryFor(a->ifa_name);
        if (!a->ifa_addr) continue;
        char text[INET6_ADDRSTRLEN] = {};
        if (a->ifa_addr->sa_family == AF_INET && entry.ipv4Address.empty()) {
            auto* in = reinterpret_cast<sockaddr_in*>(a->ifa_addr);
            if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) entry.ipv4Address = text;
        } else if (a->ifa_addr->sa_family == AF_INET6 && entry.ipv6Address.empty()) {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(a->ifa_addr);
            if (::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text)) entry.ipv6Address = text;
        }
    }
    ::freeifaddrs(list);
    return result;
}
