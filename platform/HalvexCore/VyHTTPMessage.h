#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A URL split the way a request target needs: "http://host:8080/x" has a host;
// "host:443" reads as scheme "host" with no host, as URL parsers do.
struct VyURL {
    std::string text;
    std::string scheme;
    std::string host;     // without IPv6 brackets; "" when the URL has none
    uint16_t port = 0;    // 0 when absent or invalid
    std::string portText; // the port as written; "" when absent
    std::string path;     // path, query and fragment as written
    static VyURL parse(std::string_view text);
};

// An HTTP request head: request line and header fields; bytes after the blank
// line are the body and kept as they are.
class VyHTTPMessage {
public:
    // nullopt unless the data holds a request line and a complete head (ended
    // by an empty line).
    static std::optional<VyHTTPMessage> makeRequestWithData(std::string_view data);

    const std::string& method() const { return method_; }
    const std::string& version() const { return version_; }
    // The request target as a URL.
    VyURL url() const { return VyURL::parse(target_); }
    std::optional<std::string> headerField(std::string_view name) const;
    // Replaces every field of that name (compared without case), or appends it.
    void setHeaderField(const std::string& name, const std::string& value);
    // Removes every field of that name (compared without case).
    void removeHeaderField(std::string_view name);
    // Request line, fields and CR LF line ends, the empty line, then the body.
    std::string serializedData() const;

private:
    std::string method_, target_, version_;
    std::vector<std::pair<std::string, std::string>> fields_;
    std::string body_;
};
