#pragma once

#include <string>

#include <nlohmann/json.hpp>

// One key file in the private-key store, known by `key_id`, the SHA-1 of the
// file's bytes in hex. `key_name` is the file's name inside the store folder.
class HalvexPrivateKeyModel {
public:
    HalvexPrivateKeyModel() = default;
    HalvexPrivateKeyModel(std::string keyId, std::string keyName)
        : key_id_(std::move(keyId)), key_name_(std::move(keyName)) {}
    virtual ~HalvexPrivateKeyModel() = default;

    const std::string& key_id() const { return key_id_; }
    void setKey_id(std::string value) { key_id_ = std::move(value); }
    const std::string& key_name() const { return key_name_; }
    void setKey_name(std::string value) { key_name_ = std::move(value); }
    // Whether the key asked for a passphrase when it was last parsed.
    bool encrypted() const { return encrypted_; }
    void setEncrypted(bool value) { encrypted_ = value; }
    // Whether a passphrase for the key is stored in the keychain.
    bool in_keychain() const { return in_keychain_; }
    void setIn_keychain(bool value) { in_keychain_ = value; }

    // The file's path in the shared store, computed on each call.
    std::string absolutePath() const;

    // The property keys, in the order archives write them.
    static const std::vector<std::string>& propertyKeys();
    // The model as a dictionary of its properties; unknown keys are ignored
    // when one is read back, booleans may be given as 0 or 1.
    nlohmann::json dictionaryValue() const;
    static HalvexPrivateKeyModel modelWithDictionary(const nlohmann::json& dictionary);

    friend bool operator==(const HalvexPrivateKeyModel& a, const HalvexPrivateKeyModel& b) {
        return a.key_id_ == b.key_id_ && a.key_name_ == b.key_name_ && a.encrypted_ == b.encrypted_ &&
               a.in_keychain_ == b.in_keychain_;
    }

private:
    std::string key_id_;
    std::string key_name_;
    bool encrypted_ = false;
    bool in_keychain_ = false;
};
