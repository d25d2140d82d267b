#include "Keychain/KeychainURL.h"

#include <arpa/inet.h>

#include <cctype>

namespace {

bool isRegNameChar(unsigned char c) {
    return std::isalnum(c) ||
           std::string_view("-._~!$&'()*+,;=%").find(static_cast<char>(c)) != std::string_view::npos;
}

// "%" must start a two-digit escape.
bool escapesWellFormed(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == '%' && (i + 2 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i + 1])) ||
                            !std::isxdigit(static_cast<unsigned char>(s[i + 2]))))
            return false;
    return true;
}

bool isIPv6(std::string_view address) {
    std::string plain(address.substr(0, address.find('%')));
    unsigned char buf[16];
    return inet_pton(AF_INET6, plain.c_str(), buf) == 1;
}

} // namespace

std::string KeychainURL::hostForURL(std::string_view host) {
    if (host.find(':') == std::string_view::npos || (host.starts_with("[") && host.ends_with("]")))
        return std::string(host);
    std::string out = "[";
    for (char c : host) {
        if (c == '%')
            out += "%25";
        else
            out += c;
    }
    out += "]";
    return out;
}

std::optional<KeychainURL> KeychainURL::parse(std::string_view text) {
    std::size_t sep = text.find("://");
    if (sep == std::string_view::npos || sep == 0) return std::nullopt;
    KeychainURL url;
    url.text_ = std::string(text);
    std::string_view scheme = text.substr(0, sep);
    if (!std::isalpha(static_cast<unsigned char>(scheme[0]))) return std::nullopt;
    for (char c : scheme)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return std::nullopt;
    url.scheme_ = std::string(scheme);

    std::string_view rest = text.substr(sep + 3);
    std::string_view portText;
    if (rest.starts_with("[")) {
        std::size_t close = rest.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        std::string_view inner = rest.substr(1, close - 1);
        // The zone of a link-local address is escaped as "%25".
        std::string host;
        for (std::size_t i = 0; i < inner.size(); ++i) {
            if (inner.substr(i, 3) == "%25") {
                host += '%';
                i += 2;
            } else {
                host += inner[i];
            }
        }
        if (!isIPv6(host)) return std::nullopt;
        url.host_ = host;
        rest = rest.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return std::nullopt;
            portText = rest.substr(1);
            if (portText.empty()) return std::nullopt;
        }
    } else {
        std::size_t colon = rest.find(':');
        std::string_view host = rest.substr(0, colon);
        if (colon != std::string_view::npos) {
            portText = rest.substr(colon + 1);
            if (portText.empty()) return std::nullopt;
        }
        if (host.empty() || !escapesWellFormed(host)) return std::nullopt;
        for (char c : host)
            if (!isRegNameChar(static_cast<unsigned char>(c))) return std::nullopt;
        url.host_ = std::string(host);
    }
    if (!portText.empty()) {
        if (portText.size() > 5) return std::nullopt;
        unsigned long port = 0;
        for (char c : portText) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
            port = port * 10 + static_cast<unsigned long>(c - '0');
        }
        if (port > 65535) return std::nullopt;
        url.port_ = static_cast<std::uint16_t>(port);
    }
    return url;
}
