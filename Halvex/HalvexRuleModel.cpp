#include "Halvex/HalvexRuleModel.h"

#include "Ferrow/Ferrow.h"
#include "Halvex/HalvexUUID.h"

#include <algorithm>
#include <cctype>

namespace {
const bool gRegistered = (HalvexRuleModel::classDescription(), true);

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return text;
}

// The host of an absolute URL ("scheme://[user@]host[:port][/path]") or of a
// network-path reference ("//host/path"); nullopt for anything else, text with
// spaces or other characters no URL holds included. IPv6 hosts lose their
// brackets.
std::optional<std::string> URLHost(const std::string& text) {
    for (unsigned char ch : text)
        if (ch <= 0x20 || ch >= 0x7F || ch == '"' || ch == '<' || ch == '>' || ch == '\\' || ch == '^' ||
            ch == '`' || ch == '{' || ch == '|' || ch == '}')
            return std::nullopt;
    std::size_t start = 0;
    if (!text.starts_with("//")) {
        std::size_t colon = text.find(':');
        if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(text[0])))
            return std::nullopt;
        for (std::size_t i = 1; i < colon; ++i) {
            unsigned char ch = static_cast<unsigned char>(text[i]);
            if (!std::isalnum(ch) && ch != '+' && ch != '-' && ch != '.') return std::nullopt;
        }
        if (text.compare(colon + 1, 2, "//") != 0) return std::nullopt;
        start = colon + 3;
    } else {
        start = 2;
    }
    std::size_t end = text.find_first_of("/?#", start);
    std::string authority = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (auto at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    std::string host;
    if (authority.starts_with('[')) {
        std::size_t close = authority.find(']');
        if (close == std::string::npos) return std::nullopt;
        host = authority.substr(1, close - 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    if (host.empty()) return std::nullopt;
    return host;
}
} // namespace

const MTLModelClass& HalvexRuleModel::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<HalvexRuleModel>(
        "HalvexRuleModel", nullptr,
        {
            MTLProperty::field("uid", &HalvexRuleModel::uid).notInJSON(),
            MTLProperty::field("server_uid", &HalvexRuleModel::server_uid).notInJSON(),
            MTLProperty::make("address", &HalvexRuleModel::address, &HalvexRuleModel::setAddress),
            MTLProperty::field("enabled", &HalvexRuleModel::enabled),
            MTLProperty::field("subdomains", &HalvexRuleModel::subdomains),
            MTLProperty::make("is_cidr", &HalvexRuleModel::is_cidr, &HalvexRuleModel::setIs_cidr).notInJSON(),
        },
        {.ignoresUnknownKeys = true});
    static const bool registered = (MTLModelClass::registerClass(c), true);
    (void)registered;
    return c;
}

HalvexRuleModel::HalvexRuleModel() : uid(HalvexNewUUIDString()) {}

void HalvexRuleModel::setAddress(std::optional<std::string> address) {
    willChangeValueForKey("is_cidr");
    is_cidr_ = false;
    if (address && Ferrow::makeWithNotation(*address)) {
        is_cidr_ = true;
    } else if (address && !address->empty()) {
        if (auto host = URLHost(*address)) address = std::move(host);
    }
    address_ = std::move(address);
    didChangeValueForKey("is_cidr");
}

bool HalvexRuleModel::isMatch(const std::string& host) const {
    if (!enabled.value_or(false)) return false;
    const std::string address = address_.value_or("");
    if (lowered(host) == lowered(address)) return true;
    if (is_cidr_.value_or(false)) {
        auto block = Ferrow::makeWithNotation(address);
        auto hostBlock = Ferrow::makeWithNotation(host);
        return block && hostBlock && block->contains(*hostBlock);
    }
    if (subdomains.value_or(false)) return lowered(host).ends_with(lowered(std::string(".").append(address)));
    return false;
}

bool HalvexRuleModel::isIdentical(const HalvexRuleModel& other) const {
    if (this == &other) return true;
    if (&modelClass() != &other.modelClass()) return false;
    return address_ == other.address_;
}

std::string HalvexRuleModel::fingerprint() const {
    return server_uid.value_or("") + "," + address_.value_or("");
}

std::shared_ptr<HalvexRuleModel> HalvexRuleModel::duplicate() const {
    auto copy = copyAs<HalvexRuleModel>();
    copy->uid = HalvexNewUUIDString();
    return copy;
}
