#pragma once

#include "Mantle/MTLModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One port forwarding of a server profile: local (0), remote (1) or dynamic
// (2). A type that is none of these (an unknown name in imported JSON gives
// none at all) shows as "Unknown" and forwards nothing.
class HalvexForwardingModel : public MTLModel {
    MTL_MODEL_DECLARE(HalvexForwardingModel)
public:
    const std::optional<std::int64_t>& type() const { return type_; }
    void setType(std::optional<std::int64_t> type);
    std::optional<std::string> bind_address;
    std::optional<std::int64_t> port;
    std::optional<std::string> host;
    std::optional<std::int64_t> hostport;
    std::optional<bool> enabled = true;

    // "Local", "Remote", "Dynamic" or "Unknown".
    std::string typeName() const;
    // The names offered for types 0 to 2.
    std::vector<std::string> types() const { return {"Local", "Remote", "Dynamic"}; }
    // The OpenSSH option: "-L 8080:host:80", "-R ...", "-D 1080".
    std::string description() const;
    // The display text: "L\t8080 (http-alt) → host:80 (http)".
    std::string cmdString() const;

    bool isEnabled() const { return enabled.value_or(false); }

private:
    std::optional<std::int64_t> type_ = 0;
};
