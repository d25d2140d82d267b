#pragma once

#include "Keychain/KeychainBackend.h"

// Keychain items in the desktop's Secret Service (gnome-keyring, KWallet),
// in the default collection, under two schemas of our own:
// "org.orvik.InternetPassword" (server, port, protocol, account) and
// "org.orvik.GenericPassword" (service, account). Each item also carries a
// "description" attribute naming its kind.
//
// Calls block until the service answers; they are safe from any thread.
class SecretServiceKeychainBackend : public KeychainBackend {
public:
    std::optional<std::string> get(const KeychainItemKey& key, Error* error) override;
    bool set(const KeychainItemKey& key, std::string_view secret, const std::string& label,
             const std::string& description, Error* error) override;
    std::optional<KeychainItemAttributes> attributes(const KeychainItemKey& key, Error* error) override;
    bool remove(const KeychainItemKey& key, Error* error) override;
};
