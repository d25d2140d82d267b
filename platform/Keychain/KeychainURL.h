#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A server address "scheme://host[:port]" as keychain items name it. An IPv6
// host is written in brackets ("ssh://[::1]:22"); host() answers it without
// them.
class KeychainURL {
public:
    // nullopt unless `text` is a well-formed "scheme://host[:port]" (no user,
    // path, query, spaces or control characters; port 0 to 65535).
    static std::optional<KeychainURL> parse(std::string_view text);

    const std::string& text() const { return text_; }
    const std::string& scheme() const { return scheme_; }
    const std::string& host() const { return host_; }
    std::optional<std::uint16_t> port() const { return port_; }

    // The host as written in a URL: an IPv6 literal in brackets, its zone's
    // "%" as "%25"; other hosts unchanged.
    static std::string hostForURL(std::string_view host);

private:
    std::string text_;
    std::string scheme_;
    std::string host_;
    std::optional<std::uint16_t> port_;
};
