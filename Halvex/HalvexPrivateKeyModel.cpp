#include "Halvex/HalvexPrivateKeyModel.h"

#include "Halvex/HalvexPrivateKeyContainer.h"

const MTLModelClass& HalvexPrivateKeyModel::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<HalvexPrivateKeyModel>(
        "HalvexPrivateKeyModel", nullptr,
        {
            MTLProperty::make("key_id", &HalvexPrivateKeyModel::key_id, &HalvexPrivateKeyModel::setKey_id),
            MTLProperty::make("key_name", &HalvexPrivateKeyModel::key_name,
                              &HalvexPrivateKeyModel::setKey_name),
            MTLProperty::make("encrypted", &HalvexPrivateKeyModel::encrypted,
                              &HalvexPrivateKeyModel::setEncrypted),
            MTLProperty::make("in_keychain", &HalvexPrivateKeyModel::in_keychain,
                              &HalvexPrivateKeyModel::setIn_keychain),
        },
        {.ignoresUnknownKeys = true});
    return c;
}

const MTLModelClass& KvSSHPrivateKey::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<KvSSHPrivateKey>(
        "KvSSHPrivateKey", &HalvexPrivateKeyModel::classDescription(), {}, {.ignoresUnknownKeys = true});
    return c;
}

void HalvexPrivateKeyModel::registerClasses() {
    MTLRegisterModelClass<HalvexPrivateKeyModel>();
    MTLRegisterModelClass<KvSSHPrivateKey>();
}

void HalvexPrivateKeyModel::setKey_id(std::string value) {
    willChangeValueForKey("key_id");
    key_id_ = std::move(value);
    didChangeValueForKey("key_id");
}

void HalvexPrivateKeyModel::setKey_name(std::string value) {
    willChangeValueForKey("key_name");
    key_name_ = std::move(value);
    didChangeValueForKey("key_name");
}

void HalvexPrivateKeyModel::setEncrypted(bool value) {
    willChangeValueForKey("encrypted");
    encrypted_ = value;
    didChangeValueForKey("encrypted");
}

void HalvexPrivateKeyModel::setIn_keychain(bool value) {
    willChangeValueForKey("in_keychain");
    in_keychain_ = value;
    didChangeValueForKey("in_keychain");
}

std::string HalvexPrivateKeyModel::absolutePath() const {
    return HalvexPrivateKeyContainer::sharedPrivateKeyContainer().pathForKeyName(key_name_);
}
