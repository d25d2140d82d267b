#pragma once

#include "Mantle/MTLModel.h"

#include <optional>
#include <string>

// A host-match rule of a server: a host name matches the rule's address
// exactly (ignoring case), as a subdomain of it, or inside it when it is a
// CIDR block.
class HalvexRuleModel : public MTLModel {
    MTL_MODEL_DECLARE(HalvexRuleModel)
public:
    HalvexRuleModel();

    std::optional<std::string> uid;
    std::optional<std::string> server_uid;
    std::optional<bool> enabled = true;
    std::optional<bool> subdomains = true;

    const std::optional<std::string>& address() const { return address_; }
    // Keeps a CIDR block as given, reduces a URL to its host, and sets is_cidr.
    void setAddress(std::optional<std::string> address);
    const std::optional<bool>& is_cidr() const { return is_cidr_; }
    void setIs_cidr(std::optional<bool> value) { is_cidr_ = value; }

    bool isMatch(const std::string& host) const;
    // Same class and equal addresses; nothing else is compared.
    bool isIdentical(const HalvexRuleModel& other) const;
    // "server_uid,address".
    std::string fingerprint() const;
    // A copy with a new uid.
    std::shared_ptr<HalvexRuleModel> duplicate() const;

private:
    std::optional<std::string> address_ = std::string();
    std::optional<bool> is_cidr_ = false;
};
