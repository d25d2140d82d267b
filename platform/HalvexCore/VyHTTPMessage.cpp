#include "HalvexCore/VyHTTPMessage.h"

#include <algorithm>
#include <cctype>

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

uint16_t parsePort(std::string_view s) {
    if (s.empty() || s.size() > 5) return 0;
    unsigned long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + static_cast<unsigned long>(c - '0');
    }
    return v <= 65535 ? static_cast<uint16_t>(v) : 0;
}

} // namespace

VyURL VyURL::parse(std::string_view text) {
    VyURL url;
    url.text = std::string(text);
    std::string_view rest = text;
    // A scheme starts with a letter and runs over letters, digits, "+-." up to ':'.
    size_t colon = rest.find(':');
    if (colon != std::string_view::npos && colon > 0 && std::isalpha(static_cast<unsigned char>(rest[0]))) {
        bool ok = std::all_of(rest.begin(), rest.begin() + static_cast<long>(colon), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        });
        if (ok) {
            url.scheme = std::string(rest.substr(0, colon));
            rest.remove_prefix(colon + 1);
        }
    }
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        size_t end = rest.find_first_of("/?#");
        std::string_view authority = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
        if (size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
        std::string_view portText;
        if (!authority.empty() && authority.front() == '[') {
            size_t close = authority.find(']');
            if (close != std::string_view::npos) {
                url.host = std::string(authority.substr(1, close - 1));
                std::string_view after = authority.substr(close + 1);
                if (!after.empty() && after.front() == ':') portText = after.substr(1);
            }
        } else {
            size_t c = authority.rfind(':');
            url.host = std::string(authority.substr(0, c));
            if (c != std::string_view::npos) portText = authority.substr(c + 1);
        }
        url.portText = std::string(portText);
        url.port = parsePort(portText);
    }
    url.path = std::string(rest);
    return url;
}

std::optional<VyHTTPMessage> VyHTTPMessage::makeRequestWithData(std::string_view data) {
    size_t headEnd = data.find("\r\n\r\n");
    size_t sepLen = 4;
    if (headEnd == std::string_view::npos) {
        headEnd = data.find("\n\n");
        sepLen = 2;
        if (headEnd == std::string_view::npos) return std::nullopt;
    }
    VyHTTPMessage msg;
    msg.body_ = std::string(data.substr(headEnd + sepLen));
    std::string_view head = data.substr(0, headEnd);
    bool first = true;
    while (true) {
        size_t nl = head.find('\n');
        std::string_view line = head.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (first) {
            // METHOD SP TARGET SP VERSION
            size_t sp1 = line.find(' ');
            size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
            if (sp1 == 0 || sp2 == std::string_view::npos || sp2 == sp1 + 1) return std::nullopt;
            msg.method_ = std::string(line.substr(0, sp1));
            msg.target_ = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
            msg.version_ = std::string(trim(line.substr(sp2 + 1)));
            if (msg.version_.rfind("HTTP/", 0) != 0) return std::nullopt;
            first = false;
        } else if (!line.empty()) {
            size_t c = line.find(':');
            if (c == std::string_view::npos || c == 0) return std::nullopt;
            msg.fields_.emplace_back(std::string(trim(line.substr(0, c))),
                                     std::string(trim(line.substr(c + 1))));
        }
        if (nl == std::string_view::npos) break;
        head.remove_prefix(nl + 1);
    }
    if (first) return std::nullopt;
    return msg;
}

std::optional<std::string> VyHTTPMessage::headerField(std::string_view name) const {
    for (const auto& [k, v] : fields_)
        if (equalsNoCase(k, name)) return v;
    return std::nullopt;
}

void VyHTTPMessage::setHeaderField(const std::string& name, const std::string& value) {
    bool replaced = false;
    for (auto it = fields_.begin(); it != fields_.end();) {
        if (equalsNoCase(it->first, name)) {
            if (replaced) {
                it = fields_.erase(it);
                continue;
            }
            *it = {name, value};
            replaced = true;
        }
        ++it;
    }
    if (!replaced) fields_.emplace_back(name, value);
}

void VyHTTPMessage::removeHeaderField(std::string_view name) {
    std::erase_if(fields_, [&](const auto& field) { return equalsNoCase(field.first, name); });
}

std::string VyHTTPMessage::serializedData() const {
    std::string out = method_ + " " + target_ + " " + version_ + "\r\n";
    for (const auto& [k, v] : fields_)
        out += k + ": " + v + "\r\n";
    out += "\r\n";
    out += body_;
    return out;
}
