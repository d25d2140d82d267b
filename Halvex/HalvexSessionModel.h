#pragma once

#include "Halvex/HalvexAuthMethodModel.h"
#include "Halvex/HalvexForwardingModel.h"
#include "Mantle/MTLModel.h"

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

// One server profile: where and how to connect. Every property below is a
// property key (copies, archives, equality, the dictionary form); every key
// but uid appears in the profile's JSON under its own name. Values for unknown
// keys are dropped. Keys that older versions wrote are migrated whenever a
// profile is made from a dictionary (archives and copies included) and are
// nil afterwards.
//
// A profile is not synchronised: one thread at a time, or a copy per thread.
class HalvexSessionModel : public MTLModel {
    MTL_MODEL_DECLARE(HalvexSessionModel)
public:
    using AuthMethods = std::vector<std::shared_ptr<HalvexAuthMethodModel>>;
    using Forwardings = std::vector<std::shared_ptr<HalvexForwardingModel>>;

    static constexpr std::int64_t ModelVersion = 150300;
    static constexpr const char* AutomaticNetworkInterface = "com.brimble.network_interface.automatic";

    // A new profile: a new uid, port 22, the shared password method, host IP
    // and strict host-key checks on, compression off, any address family, 999
    // connection attempts, 15 s time-out, 3 keep-alives, no forwardings.
    HalvexSessionModel();

    std::optional<std::string> uid;
    std::optional<Forwardings> forwardings = Forwardings{};
    std::optional<std::string> ssh_host;
    std::optional<std::string> ssh_user;
    std::optional<std::int64_t> ssh_port = 22;
    std::optional<std::string> private_key;
    std::optional<bool> auto_connect;
    std::optional<std::string> comment;
    std::optional<bool> proxy_command;
    std::optional<std::int64_t> proxy_command_type;
    std::optional<std::string> proxy_command_host;
    std::optional<std::int64_t> proxy_command_port;
    std::optional<bool> proxy_command_auth;
    std::optional<std::string> proxy_command_username;
    std::optional<std::string> proxy_command_password;
    std::optional<bool> check_host_ip = true;
    std::optional<bool> compression = false;
    std::optional<bool> strict_hostkey_checking = true;
    std::optional<std::int64_t> address_familly = 2; // 0 IPv4, 1 IPv6, 2 any
    std::optional<std::string> connect_interface;
    std::optional<std::int64_t> connection_attempts = 999;
    std::optional<std::int64_t> connection_timeout = 15;
    std::optional<std::int64_t> server_alive_count_max = 3;
    std::optional<std::string> ciphers;
    std::optional<std::string> hostkey_algorithms;
    std::optional<std::string> key_exchange_algorithms;

    // Keys of older versions, text or number as they were written; nil once a
    // profile has been made (gateway_ports keeps a false value).
    nlohmann::json session_id, session_name, auth_method, proxy_id, forward_port, privatekey_path,
        enable_compression, tunnel_id, tunnel_name, gateway_ports, connect_timeout;

    // The stored name; when it is nil or empty, "user@host:port" is made,
    // stored and returned.
    std::optional<std::string> name() const;
    void setName(std::optional<std::string> name);

    const std::optional<AuthMethods>& auth_methods() const { return auth_methods_; }
    // Stores the methods and recomputes the three allowed flags, with change
    // notices for them and for "authMethod".
    void setAuth_methods(std::optional<AuthMethods> methods);
    // The first method, null when there is none.
    std::shared_ptr<HalvexAuthMethodModel> authMethod() const;
    // One method only (none for null).
    void setAuthMethod(std::shared_ptr<HalvexAuthMethodModel> method);

    bool isInteractiveAllowed() const { return interactiveAllowed_; }
    bool isPublicKeyAllowed() const { return publicKeyAllowed_; }
    bool isPasswordAllowed() const { return passwordAllowed_; }
    // Adds the shared method at the end (once) or removes it.
    void setInteractiveAllowed(bool allowed);
    void setPublicKeyAllowed(bool allowed);
    void setPasswordAllowed(bool allowed);

    // Keyboard-interactive, public key, password: the shared instances.
    AuthMethods authMethodCandidates() const;
    // Display names of proxy types 0 to 3.
    std::vector<std::string> proxyCommandTypes() const { return {"SOCKS5", "SOCKS4", "HTTPS", "SOCKS4A"}; }

    // Host IP checking is on and no proxy is used.
    bool shouldCheckHostIP() const;
    // Strict host-key checking; a missing value counts as on.
    bool shouldCheckHostKey() const;

    // The equivalent OpenSSH command line.
    std::string description() const;

    // A copy with a new uid: what every edit works on.
    std::shared_ptr<HalvexSessionModel> duplicate() const;
    // The same object, or the same class with equal values for every JSON key
    // (so everything but uid): how import recognises a profile it has.
    bool isIdentical(const HalvexSessionModel& other) const;

protected:
    // Migrates the keys of older versions; subclasses call it first.
    bool didInitWithDictionary(const nlohmann::json& dictionary, Error* error) override;

private:
    void setAllowed(bool& flag, bool allowed, const std::shared_ptr<HalvexAuthMethodModel>& method);

    mutable std::optional<std::string> name_;
    std::optional<AuthMethods> auth_methods_;
    bool interactiveAllowed_ = false;
    bool publicKeyAllowed_ = false;
    bool passwordAllowed_ = false;
};
