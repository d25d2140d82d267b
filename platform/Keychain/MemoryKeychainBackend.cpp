#include "Keychain/MemoryKeychainBackend.h"

#include "Foundation/Error.h"

namespace {
void refuse(Error* error) {
    if (error) *error = Error("Orvik.Keychain", 1, "The keychain refused the change.");
}
} // namespace

std::optional<std::string> MemoryKeychainBackend::get(const KeychainItemKey& key, Error*) {
    std::lock_guard lock(mutex_);
    auto it = items_.find(key);
    if (it == items_.end()) return std::nullopt;
    return it->second.secret;
}

bool MemoryKeychainBackend::set(const KeychainItemKey& key, std::string_view secret, const std::string& label,
                                const std::string& description, Error* error) {
    std::lock_guard lock(mutex_);
    if (failWrites_) {
        refuse(error);
        return false;
    }
    Item& item = items_[key];
    item.secret = std::string(secret);
    item.attributes.label = label;
    item.attributes.description = description;
    if (item.attributes.persistentRef.empty())
        item.attributes.persistentRef = "memory/" + std::to_string(nextRef_++);
    return true;
}

std::optional<KeychainItemAttributes> MemoryKeychainBackend::attributes(const KeychainItemKey& key, Error*) {
    std::lock_guard lock(mutex_);
    auto it = items_.find(key);
    if (it == items_.end()) return std::nullopt;
    return it->second.attributes;
}

bool MemoryKeychainBackend::remove(const KeychainItemKey& key, Error* error) {
    std::lock_guard lock(mutex_);
    if (failWrites_) {
        refuse(error);
        return false;
    }
    items_.erase(key);
    return true;
}

void MemoryKeychainBackend::setFailWrites(bool fail) {
    std::lock_guard lock(mutex_);
    failWrites_ = fail;
}

std::map<KeychainItemKey, MemoryKeychainBackend::Item> MemoryKeychainBackend::items() const {
    std::lock_guard lock(mutex_);
    return items_;
}
