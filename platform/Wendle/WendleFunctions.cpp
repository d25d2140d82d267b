#include "Wendle/WendleFunctions.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

std::string WendleGetHostNotation(std::string_view host, std::uint16_t port) {
    std::string text;
    bool ipv6Literal = host.find(':') != std::string_view::npos && !host.starts_with('[');
    if (ipv6Literal) text += '[';
    text += host;
    if (ipv6Literal) text += ']';
    text += ':';
    text += std::to_string(port);
    return text;
}

std::string WendleGetUserRealHomePath() {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 4096);
    while (true) {
        passwd entry{};
        passwd* result = nullptr;
        int rc = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result);
        if (rc == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0 || !result || !result->pw_dir) return {};
        return result->pw_dir;
    }
}
