#pragma once

#include "HalvexCore/HalvexHostKeyParser.h"
#include "Mantle/MTLModel.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// A host key the user accepted, for one host name and port, with the address
// the host had then. Its three questions (new host, changed address, changed
// key) go through HalvexAlertPresenter and store what was accepted in this
// object; the caller then writes it to the store (HalvexPreferences).
//
// Threads: the questions are asked on the SSH session's thread and block it
// while the alert runs on the main thread. Work on a copy obtained from
// HalvexPreferences (getKnownHost returns one), never on an object another
// thread reads.
class HalvexKnownHostModel : public MTLModel {
    MTL_MODEL_DECLARE(HalvexKnownHostModel)
public:
    HalvexKnownHostModel() = default;
    HalvexKnownHostModel(std::string hostName, std::uint16_t port, std::optional<std::string> ip);

    std::optional<std::string> host_name;
    std::optional<std::string> host_ip;
    std::optional<std::int64_t> host_port;

    // The key blob in base64 and the SSH library's key type. Setting either
    // rebuilds hostKeyParser, with a change notice for "hostKeyParser".
    const std::optional<std::string>& host_key() const { return host_key_; }
    void setHost_key(std::optional<std::string> key);
    const std::optional<std::int64_t>& host_key_type() const { return host_key_type_; }
    void setHost_key_type(std::optional<std::int64_t> type);
    // The stored key, null while the two values do not form a valid key.
    const std::shared_ptr<HalvexHostKeyParser>& hostKeyParser() const { return hostKeyParser_; }

    // The port read as an unsigned 16-bit value.
    std::uint16_t port() const { return static_cast<std::uint16_t>(host_port.value_or(0)); }

    // "name (ip) port N" when the address is known and differs from the
    // name, otherwise the name.
    std::string description() const;

    // The new-host question; "Trust" stores the key. Always asks.
    bool shouldAcceptHostKey(const HalvexHostKeyParser& parser);
    // The same address passes; a different one is stored silently without the
    // strict check, or after "I'm sure" with it.
    bool tryUpdateHostIP(const std::string& ip, bool strictCheck);
    // The same key passes; a different one is stored silently without the
    // strict check, or after "Accept" with it.
    bool tryUpdateHostKey(const HalvexHostKeyParser& parser, bool strictCheck);

private:
    void rebuildParser();

    std::optional<std::string> host_key_;
    std::optional<std::int64_t> host_key_type_;
    std::shared_ptr<HalvexHostKeyParser> hostKeyParser_;
};
