#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Keychain/KeychainBackend.h"
#include "Keychain/KeychainURL.h"

struct Error;

// A view of the keychain narrowed to one kind of item: internet passwords of
// one server URL and protocol, or generic passwords of one service. Copies
// made with attributes() and label() carry the description and label that
// every item written through them gets.
class Keychain {
public:
    enum class ProtocolType { SSH };

    // Internet passwords of the server named by `url` ("ssh://host:port");
    // nullopt when `url` is not a well-formed server URL.
    static std::optional<Keychain> forServer(std::string_view url, ProtocolType protocol,
                                             std::shared_ptr<KeychainBackend> backend = nullptr);
    // Generic passwords of `service`.
    static Keychain forService(std::string service, std::shared_ptr<KeychainBackend> backend = nullptr);

    Keychain attributes(std::string description) const;
    Keychain label(std::string label) const;

    // The secret stored under `account`; nullopt when there is none or it
    // cannot be read.
    std::optional<std::string> get(const std::string& account, Error* error = nullptr) const;
    // Adds or replaces the item of `account`. False, with `error`, when it was
    // not stored.
    bool set(std::string_view secret, const std::string& account, Error* error = nullptr) const;
    // The attributes of the item of `account`, nullopt when there is none.
    std::optional<KeychainItemAttributes> itemAttributes(const std::string& account,
                                                         Error* error = nullptr) const;
    // Removes the item of `account`; false, with `error`, on failure.
    bool remove(const std::string& account, Error* error = nullptr) const;

    // The server URL this keychain was made for (internet passwords only).
    const std::optional<KeychainURL>& server() const { return server_; }
    const std::string& service() const { return service_; }
    const std::string& itemLabel() const { return label_; }
    const std::string& itemDescription() const { return description_; }

private:
    Keychain() = default;
    KeychainItemKey keyFor(const std::string& account) const;

    std::shared_ptr<KeychainBackend> backend_;
    KeychainItemKey::ItemClass itemClass_ = KeychainItemKey::ItemClass::GenericPassword;
    std::optional<KeychainURL> server_;
    std::string protocol_;
    std::string service_;
    std::string label_;
    std::string description_;
};
