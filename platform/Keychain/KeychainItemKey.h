#pragma once

#include <cstdint>
#include <string>
#include <tuple>

// Where one keychain item lives: an internet password is found by server,
// port, protocol and account; a generic password by service and account.
struct KeychainItemKey {
    enum class ItemClass { InternetPassword, GenericPassword };

    ItemClass itemClass = ItemClass::GenericPassword;
    std::string server; // host, without IPv6 brackets
    std::uint16_t port = 0;
    std::string protocol; // "ssh"
    std::string service;
    std::string account;

    friend bool operator<(const KeychainItemKey& a, const KeychainItemKey& b) {
        return std::tie(a.itemClass, a.server, a.port, a.protocol, a.service, a.account) <
               std::tie(b.itemClass, b.server, b.port, b.protocol, b.service, b.account);
    }
    friend bool operator==(const KeychainItemKey&, const KeychainItemKey&) = default;
};

// What is stored with an item besides its secret.
struct KeychainItemAttributes {
    std::string label;
    std::string description;
    // Names the item for as long as it exists (the Secret Service object
    // path); raw bytes.
    std::string persistentRef;
};
