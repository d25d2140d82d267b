#include "Keychain/Keychain.h"

#include "Foundation/Error.h"

namespace {
// Port of the protocol, for a server URL that names none.
std::uint16_t defaultPort(Keychain::ProtocolType protocol) {
    return protocol == Keychain::ProtocolType::SSH ? 22 : 0;
}
} // namespace

std::optional<Keychain> Keychain::forServer(std::string_view url, ProtocolType protocol,
                                            std::shared_ptr<KeychainBackend> backend) {
    auto parsed = KeychainURL::parse(url);
    if (!parsed) return std::nullopt;
    Keychain k;
    k.backend_ = backend ? std::move(backend) : KeychainBackend::shared();
    k.itemClass_ = KeychainItemKey::ItemClass::InternetPassword;
    k.server_ = std::move(parsed);
    k.protocol_ = protocol == ProtocolType::SSH ? "ssh" : "";
    if (!k.server_->port()) {
        // Items are found by port; one left out of the URL is the protocol's.
        k.server_ = KeychainURL::parse(std::string(url) + ":" + std::to_string(defaultPort(protocol)));
        if (!k.server_) return std::nullopt;
    }
    return k;
}

Keychain Keychain::forService(std::string service, std::shared_ptr<KeychainBackend> backend) {
    Keychain k;
    k.backend_ = backend ? std::move(backend) : KeychainBackend::shared();
    k.itemClass_ = KeychainItemKey::ItemClass::GenericPassword;
    k.service_ = std::move(service);
    return k;
}

Keychain Keychain::attributes(std::string description) const {
    Keychain k = *this;
    k.description_ = std::move(description);
    return k;
}

Keychain Keychain::label(std::string label) const {
    Keychain k = *this;
    k.label_ = std::move(label);
    return k;
}

KeychainItemKey Keychain::keyFor(const std::string& account) const {
    KeychainItemKey key;
    key.itemClass = itemClass_;
    if (server_) {
        key.server = server_->host();
        key.port = server_->port().value_or(0);
        key.protocol = protocol_;
    }
    key.service = service_;
    key.account = account;
    return key;
}

std::optional<std::string> Keychain::get(const std::string& account, Error* error) const {
    return backend_->get(keyFor(account), error);
}

bool Keychain::set(std::string_view secret, const std::string& account, Error* error) const {
    return backend_->set(keyFor(account), secret, label_, description_, error);
}

std::optional<KeychainItemAttributes> Keychain::itemAttributes(const std::string& account,
                                                               Error* error) const {
    return backend_->attributes(keyFor(account), error);
}

bool Keychain::remove(const std::string& account, Error* error) const {
    return backend_->remove(keyFor(account), error);
}
