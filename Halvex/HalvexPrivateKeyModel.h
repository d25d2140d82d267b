#pragma once

#include <string>

#include "Mantle/MTLModel.h"

// One key file in the private-key store, known by `key_id`, the SHA-1 of the
// file's bytes in hex. `key_name` is the file's name inside the store folder.
// Values given for keys it does not have are ignored.
class HalvexPrivateKeyModel : public MTLModel {
    MTL_MODEL_DECLARE(HalvexPrivateKeyModel)
public:
    HalvexPrivateKeyModel() = default;
    HalvexPrivateKeyModel(std::string keyId, std::string keyName)
        : key_id_(std::move(keyId)), key_name_(std::move(keyName)) {}

    // Empty when the model has none.
    const std::string& key_id() const { return key_id_; }
    void setKey_id(std::string value);
    const std::string& key_name() const { return key_name_; }
    void setKey_name(std::string value);
    // Whether the key asked for a passphrase when it was last parsed.
    bool encrypted() const { return encrypted_; }
    void setEncrypted(bool value);
    // Whether a passphrase for the key is stored in the keychain.
    bool in_keychain() const { return in_keychain_; }
    void setIn_keychain(bool value);

    // The file's path in the shared store, computed on each call, so a
    // renamed model points to its new file.
    std::string absolutePath() const;

    // Makes archives naming this class, or its earlier name, decode.
    static void registerClasses();

private:
    std::string key_id_;
    std::string key_name_;
    bool encrypted_ = false;
    bool in_keychain_ = false;
};

// The class name earlier versions archived keys under.
class KvSSHPrivateKey : public HalvexPrivateKeyModel {
    MTL_MODEL_DECLARE(KvSSHPrivateKey)
};
