#include "Halvex/HalvexSessionModel.h"

#include "Halvex/HalvexUUID.h"
#include "Mantle/MTLValueTransformer.h"
#include "Wendle/VyNetworkInterface.h"

namespace {
const bool gRegistered = (HalvexSessionModel::classDescription(), true);

using M = HalvexSessionModel;

// A legacy value as text: strings as they are, whole numbers in decimal.
std::optional<std::string> legacyText(const nlohmann::json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number_integer()) return value.dump();
    return std::nullopt;
}

std::optional<std::int64_t> legacyInteger(const nlohmann::json& value) {
    if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
    if (value.is_number_integer()) return value.get<std::int64_t>();
    if (value.is_number_float()) {
        double d = value.get<double>();
        if (d > -9.2e18 && d < 9.2e18) return static_cast<std::int64_t>(d);
    }
    return std::nullopt;
}

std::string text(const std::optional<std::string>& value) {
    return value.value_or("");
}

std::string number(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : std::string();
}
} // namespace

const MTLModelClass& HalvexSessionModel::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<HalvexSessionModel>(
        "HalvexSessionModel", nullptr,
        {
            MTLProperty::field("uid", &M::uid).notInJSON(),
            MTLProperty::make("name", &M::name, &M::setName),
            MTLProperty::field("forwardings", &M::forwardings),
            MTLProperty::field("ssh_host", &M::ssh_host),
            MTLProperty::field("ssh_user", &M::ssh_user),
            MTLProperty::field("ssh_port", &M::ssh_port),
            MTLProperty::make("auth_methods", &M::auth_methods, &M::setAuth_methods)
                .transformedBy(HalvexAuthMethodModel::authMethodArrayTransformer()),
            MTLProperty::field("private_key", &M::private_key),
            MTLProperty::field("auto_connect", &M::auto_connect),
            MTLProperty::field("comment", &M::comment),
            MTLProperty::field("proxy_command", &M::proxy_command),
            MTLProperty::field("proxy_command_type", &M::proxy_command_type)
                .transformedBy(MTLValueTransformer::valueMappingTransformer(
                    {{"socks5", 0}, {"socks4", 1}, {"http", 2}, {"socks4a", 3}, {"https", 4}})),
            MTLProperty::field("proxy_command_host", &M::proxy_command_host),
            MTLProperty::field("proxy_command_port", &M::proxy_command_port),
            MTLProperty::field("proxy_command_auth", &M::proxy_command_auth),
            MTLProperty::field("proxy_command_username", &M::proxy_command_username),
            MTLProperty::field("proxy_command_password", &M::proxy_command_password),
            MTLProperty::field("check_host_ip", &M::check_host_ip),
            MTLProperty::field("compression", &M::compression),
            MTLProperty::field("strict_hostkey_checking", &M::strict_hostkey_checking),
            MTLProperty::field("address_familly", &M::address_familly)
                .transformedBy(
                    MTLValueTransformer::valueMappingTransformer({{"ipv4", 0}, {"ipv6", 1}, {"any", 2}})),
            MTLProperty::field("connect_interface", &M::connect_interface),
            MTLProperty::field("connection_attempts", &M::connection_attempts),
            MTLProperty::field("connection_timeout", &M::connection_timeout),
            MTLProperty::field("server_alive_count_max", &M::server_alive_count_max),
            MTLProperty::field("ciphers", &M::ciphers),
            MTLProperty::field("hostkey_algorithms", &M::hostkey_algorithms),
            MTLProperty::field("key_exchange_algorithms", &M::key_exchange_algorithms),
            MTLProperty::field("session_id", &M::session_id),
            MTLProperty::field("session_name", &M::session_name),
            MTLProperty::field("auth_method", &M::auth_method).transformedBy([] {
                std::vector<std::pair<nlohmann::json, nlohmann::json>> table;
                const nlohmann::json mapping = HalvexAuthMethodModel::mappingDictionary();
                for (const auto& [name, type] : mapping.items())
                    table.emplace_back(name, type);
                return MTLValueTransformer::valueMappingTransformer(std::move(table));
            }()),
            MTLProperty::field("proxy_id", &M::proxy_id),
            MTLProperty::field("forward_port", &M::forward_port),
            MTLProperty::field("privatekey_path", &M::privatekey_path),
            MTLProperty::field("enable_compression", &M::enable_compression),
            MTLProperty::field("tunnel_id", &M::tunnel_id),
            MTLProperty::field("tunnel_name", &M::tunnel_name),
            MTLProperty::field("gateway_ports", &M::gateway_ports),
            MTLProperty::field("connect_timeout", &M::connect_timeout),
        },
        {.modelVersion = ModelVersion, .ignoresUnknownKeys = true});
    static const bool registered = (MTLModelClass::registerClass(c), true);
    (void)registered;
    return c;
}

HalvexSessionModel::HalvexSessionModel() : uid(HalvexNewUUIDString()) {
    auth_methods_ = AuthMethods{HalvexAuthMethodModel::sharedPasswordAutheMethod()};
    passwordAllowed_ = true;
}

std::optional<std::string> HalvexSessionModel::name() const {
    if (!name_ || name_->empty()) {
        name_ = text(ssh_user).append("@").append(text(ssh_host)).append(":").append(number(ssh_port));
    }
    return name_;
}

void HalvexSessionModel::setName(std::optional<std::string> name) {
    name_ = std::move(name);
}

void HalvexSessionModel::setAuth_methods(std::optional<AuthMethods> methods) {
    static const char* const derived[] = {"interactiveAllowed", "publicKeyAllowed", "passwordAllowed",
                                          "authMethod"};
    for (const char* key : derived)
        willChangeValueForKey(key);
    auth_methods_ = std::move(methods);
    interactiveAllowed_ = publicKeyAllowed_ = passwordAllowed_ = false;
    if (auth_methods_) {
        for (const auto& m : *auth_methods_) {
            if (!m) continue;
            switch (m->methodType()) {
            case HalvexAuthMethodTypeInteractive:
                interactiveAllowed_ = true;
                break;
            case HalvexAuthMethodTypePublicKey:
                publicKeyAllowed_ = true;
                break;
            case HalvexAuthMethodTypePassword:
                passwordAllowed_ = true;
                break;
            }
        }
    }
    for (int i = 3; i >= 0; --i)
        didChangeValueForKey(derived[i]);
}

std::shared_ptr<HalvexAuthMethodModel> HalvexSessionModel::authMethod() const {
    if (!auth_methods_ || auth_methods_->empty()) return nullptr;
    return auth_methods_->front();
}

void HalvexSessionModel::setAuthMethod(std::shared_ptr<HalvexAuthMethodModel> method) {
    setAuth_methods(method ? AuthMethods{std::move(method)} : AuthMethods{});
}

void HalvexSessionModel::setAllowed(bool& flag, bool allowed,
                                    const std::shared_ptr<HalvexAuthMethodModel>& method) {
    flag = allowed;
    AuthMethods filtered;
    if (auth_methods_) {
        for (const auto& m : *auth_methods_)
            if (!m || m->method_name() != method->method_name()) filtered.push_back(m);
    }
    if (allowed) filtered.push_back(method);
    willChangeValueForKey("auth_methods");
    willChangeValueForKey("authMethod");
    auth_methods_ = std::move(filtered);
    didChangeValueForKey("authMethod");
    didChangeValueForKey("auth_methods");
}

void HalvexSessionModel::setInteractiveAllowed(bool allowed) {
    setAllowed(interactiveAllowed_, allowed, HalvexAuthMethodModel::sharedInteractiveAutheMethod());
}

void HalvexSessionModel::setPublicKeyAllowed(bool allowed) {
    setAllowed(publicKeyAllowed_, allowed, HalvexAuthMethodModel::sharedPublickeyAutheMethod());
}

void HalvexSessionModel::setPasswordAllowed(bool allowed) {
    setAllowed(passwordAllowed_, allowed, HalvexAuthMethodModel::sharedPasswordAutheMethod());
}

HalvexSessionModel::AuthMethods HalvexSessionModel::authMethodCandidates() const {
    return {HalvexAuthMethodModel::sharedInteractiveAutheMethod(),
            HalvexAuthMethodModel::sharedPublickeyAutheMethod(),
            HalvexAuthMethodModel::sharedPasswordAutheMethod()};
}

bool HalvexSessionModel::shouldCheckHostIP() const {
    return check_host_ip.value_or(false) && !proxy_command.value_or(false);
}

bool HalvexSessionModel::shouldCheckHostKey() const {
    // Only an explicit "off" skips the question: a profile that lost the value
    // (a null in imported JSON) must not accept changed keys silently.
    return strict_hostkey_checking.value_or(true);
}

std::string HalvexSessionModel::description() const {
    std::string line("ssh -p ");
    line.append(number(ssh_port)).append(" ").append(text(ssh_user)).append("@").append(text(ssh_host));
    if (address_familly == 1)
        line += " -6";
    else if (address_familly == 0)
        line += " -4";
    if (connect_interface && !connect_interface->empty()) {
        for (const auto& interface : VyNetworkInterface::allAvailableInterfaces()) {
            if (interface.BSDName() != *connect_interface) continue;
            const std::string& address =
                address_familly == 1 ? interface.IPv6Address() : interface.IPv4Address();
            line.append(" -b ").append(address.empty() ? "0.0.0.0" : address);
        }
    }
    if (forwardings) {
        for (const auto& f : *forwardings)
            if (f && f->isEnabled()) line.append(" ").append(f->description());
    }
    return line;
}

std::shared_ptr<HalvexSessionModel> HalvexSessionModel::duplicate() const {
    auto copy = copyAs<HalvexSessionModel>();
    copy->uid = HalvexNewUUIDString();
    return copy;
}

bool HalvexSessionModel::isIdentical(const HalvexSessionModel& other) const {
    if (this == &other) return true;
    if (&modelClass() != &other.modelClass()) return false;
    for (const auto& [key, JSONKey] : modelClass().JSONKeyPathsByPropertyKey())
        if (valueForKey(key) != other.valueForKey(key)) return false;
    return true;
}

bool HalvexSessionModel::didInitWithDictionary(const nlohmann::json&, Error*) {
    if (!session_name.is_null()) {
        if (auto t = legacyText(session_name)) setName(*t);
        session_name = nullptr;
    }
    if (!session_id.is_null()) {
        if (auto t = legacyText(session_id)) uid = *t;
        session_id = nullptr;
    }
    if (!proxy_id.is_null()) {
        if (auto t = legacyText(proxy_id)) uid = *t;
        proxy_id = nullptr;
    }
    forward_port = nullptr;
    privatekey_path = nullptr;
    if (!enable_compression.is_null()) {
        if (auto v = legacyInteger(enable_compression)) compression = *v != 0;
        enable_compression = nullptr;
    }
    if (!tunnel_id.is_null()) {
        if (auto t = legacyText(tunnel_id)) uid = *t;
        tunnel_id = nullptr;
    }
    if (!tunnel_name.is_null()) {
        if (auto t = legacyText(tunnel_name)) setName(*t);
        tunnel_name = nullptr;
    }
    if (auto v = legacyInteger(gateway_ports); v && *v != 0) {
        if (forwardings) {
            for (auto& f : *forwardings)
                if (f) f->bind_address = "*";
        }
        gateway_ports = nullptr;
    }
    if (!connect_timeout.is_null()) {
        if (auto v = legacyInteger(connect_timeout)) connection_timeout = *v;
        connect_timeout = nullptr;
    }
    if (!auth_method.is_null()) {
        std::shared_ptr<HalvexAuthMethodModel> method = HalvexAuthMethodModel::sharedInteractiveAutheMethod();
        auto type = legacyInteger(auth_method);
        if (!type && auth_method.is_string()) {
            if (auto named = HalvexAuthMethodModel::modelWithMethodName(auth_method))
                type = named->methodType();
        }
        if (type == HalvexAuthMethodTypePassword)
            method = HalvexAuthMethodModel::sharedPasswordAutheMethod();
        else if (type == HalvexAuthMethodTypePublicKey)
            method = HalvexAuthMethodModel::sharedPublickeyAutheMethod();
        if (!auth_methods_ || auth_methods_->size() < 2) setAuth_methods(AuthMethods{method});
        auth_method = nullptr;
    }
    if (connect_interface == AutomaticNetworkInterface) connect_interface.reset();
    return true;
}
