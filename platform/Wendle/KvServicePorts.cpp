#include "Wendle/KvServicePorts.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>

#include <vector>

std::optional<std::string> KvServicePorts::serviceNameWithPortNumber(std::uint16_t port) {
    // getservbyport_r: the plain call shares one static result between threads.
    std::vector<char> buffer(4096);
    while (true) {
        servent entry{};
        servent* result = nullptr;
        int rc = getservbyport_r(htons(port), "tcp", &entry, buffer.data(), buffer.size(), &result);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0 || !result || !result->s_name) return std::nullopt;
        return std::string(result->s_name);
    }
}
