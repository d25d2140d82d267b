#include "Keychain/KeychainBackend.h"

#include <mutex>

#include "Keychain/SecretServiceKeychainBackend.h"

namespace {
std::mutex sharedMutex;
std::shared_ptr<KeychainBackend>& sharedSlot() {
    static std::shared_ptr<KeychainBackend> backend;
    return backend;
}
} // namespace

std::shared_ptr<KeychainBackend> KeychainBackend::shared() {
    std::lock_guard lock(sharedMutex);
    if (!sharedSlot()) sharedSlot() = std::make_shared<SecretServiceKeychainBackend>();
    return sharedSlot();
}

void KeychainBackend::setShared(std::shared_ptr<KeychainBackend> backend) {
    std::lock_guard lock(sharedMutex);
    sharedSlot() = std::move(backend);
}
