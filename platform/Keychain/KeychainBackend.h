#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Keychain/KeychainItemKey.h"

struct Error;

// A store of keychain items. The application uses the Secret Service one;
// unit tests of callers use the in-memory one.
class KeychainBackend {
public:
    virtual ~KeychainBackend() = default;

    // The secret of an item; nullopt when there is none or it cannot be read
    // (then `error` says why; it is left alone when the item is just missing).
    virtual std::optional<std::string> get(const KeychainItemKey& key, Error* error) = 0;
    // Adds or replaces an item. False, with `error`, when it was not stored.
    virtual bool set(const KeychainItemKey& key, std::string_view secret, const std::string& label,
                     const std::string& description, Error* error) = 0;
    // The item's attributes, nullopt when there is no such item.
    virtual std::optional<KeychainItemAttributes> attributes(const KeychainItemKey& key, Error* error) = 0;
    // Removes the item; true also when there was none. False, with `error`,
    // when the store refused.
    virtual bool remove(const KeychainItemKey& key, Error* error) = 0;

    // The process's backend: the Secret Service one unless replaced.
    static std::shared_ptr<KeychainBackend> shared();
    static void setShared(std::shared_ptr<KeychainBackend> backend);
};
