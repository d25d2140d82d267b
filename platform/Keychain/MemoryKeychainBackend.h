#pragma once

#include <map>
#include <mutex>

#include "Keychain/KeychainBackend.h"

// Keychain items held in memory, for unit tests of the code that stores
// secrets. Writes can be made to fail to exercise the callers' error paths.
class MemoryKeychainBackend : public KeychainBackend {
public:
    struct Item {
        std::string secret;
        KeychainItemAttributes attributes;
    };

    std::optional<std::string> get(const KeychainItemKey& key, Error* error) override;
    bool set(const KeychainItemKey& key, std::string_view secret, const std::string& label,
             const std::string& description, Error* error) override;
    std::optional<KeychainItemAttributes> attributes(const KeychainItemKey& key, Error* error) override;
    bool remove(const KeychainItemKey& key, Error* error) override;

    // While set, every set() and remove() fails with an error.
    void setFailWrites(bool fail);
    std::map<KeychainItemKey, Item> items() const;

private:
    mutable std::mutex mutex_;
    std::map<KeychainItemKey, Item> items_;
    bool failWrites_ = false;
    unsigned long nextRef_ = 1;
};
