#include "Halvex/HalvexPrivateKeyModel.h"

#include "Halvex/HalvexPrivateKeyContainer.h"

std::string HalvexPrivateKeyModel::absolutePath() const {
    return HalvexPrivateKeyContainer::sharedPrivateKeyContainer().pathForKeyName(key_name_);
}

const std::vector<std::string>& HalvexPrivateKeyModel::propertyKeys() {
    static const std::vector<std::string> keys = {"key_id", "key_name", "encrypted", "in_keychain"};
    return keys;
}

nlohmann::json HalvexPrivateKeyModel::dictionaryValue() const {
    nlohmann::json d = nlohmann::json::object();
    if (!key_id_.empty()) d["key_id"] = key_id_;
    if (!key_name_.empty()) d["key_name"] = key_name_;
    d["encrypted"] = encrypted_;
    d["in_keychain"] = in_keychain_;
    return d;
}

namespace {
bool flag(const nlohmann::json& d, const char* key) {
    auto it = d.find(key);
    if (it == d.end()) return false;
    if (it->is_boolean()) return it->get<bool>();
    if (it->is_number()) return it->get<double>() != 0;
    return false;
}
std::string text(const nlohmann::json& d, const char* key) {
    auto it = d.find(key);
    return it != d.end() && it->is_string() ? it->get<std::string>() : std::string();
}
} // namespace

HalvexPrivateKeyModel HalvexPrivateKeyModel::modelWithDictionary(const nlohmann::json& d) {
    HalvexPrivateKeyModel m;
    if (!d.is_object()) return m;
    m.key_id_ = text(d, "key_id");
    m.key_name_ = text(d, "key_name");
    m.encrypted_ = flag(d, "encrypted");
    m.in_keychain_ = flag(d, "in_keychain");
    return m;
}
