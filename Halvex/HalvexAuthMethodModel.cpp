#include "Halvex/HalvexAuthMethodModel.h"

#include "Foundation/Assert.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace {
const bool gRegistered = (HalvexAuthMethodModel::classDescription(), true);

std::shared_ptr<HalvexAuthMethodModel> makeShared(const char* name) {
    auto model = HalvexAuthMethodModel::modelWithMethodName(name);
    ORVIK_ASSERT(model != nullptr);
    return model;
}
} // namespace

const MTLModelClass& HalvexAuthMethodModel::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<HalvexAuthMethodModel>(
        "HalvexAuthMethodModel", nullptr,
        {MTLProperty::make("method_name", &HalvexAuthMethodModel::method_name,
                           &HalvexAuthMethodModel::setMethod_name)});
    static const bool registered = [] {
        MTLModelClass::registerClass(c);
        MTLModelClass::registerLegacyClassName("HalvexAuthMethod", c);
        return true;
    }();
    (void)registered;
    return c;
}

std::shared_ptr<HalvexAuthMethodModel> HalvexAuthMethodModel::sharedPasswordAutheMethod() {
    static const auto shared = makeShared("password");
    return shared;
}

std::shared_ptr<HalvexAuthMethodModel> HalvexAuthMethodModel::sharedPublickeyAutheMethod() {
    static const auto shared = makeShared("publickey");
    return shared;
}

std::shared_ptr<HalvexAuthMethodModel> HalvexAuthMethodModel::sharedInteractiveAutheMethod() {
    static const auto shared = makeShared("keyboard-interactive");
    return shared;
}

std::shared_ptr<HalvexAuthMethodModel> HalvexAuthMethodModel::modelWithMethodName(const nlohmann::json& name,
                                                                                  Error* error) {
    return MTLModel::modelWithDictionary<HalvexAuthMethodModel>({{"method_name", name}}, error);
}

std::optional<std::string> HalvexAuthMethodModel::canonicalMethodName(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    if (lower == "password") return "password";
    static constexpr std::array<std::string_view, 7> interactive = {
        "interactive",     "keyboard-interactive", "keyboardinteractive", "keyboard interactive",
        "kbd interactive", "kbd-interactive",      "kbdinteractive"};
    if (std::find(interactive.begin(), interactive.end(), lower) != interactive.end())
        return "keyboard-interactive";
    if (lower == "publickey" || lower == "public-key" || lower == "public key") return "publickey";
    return std::nullopt;
}

bool HalvexAuthMethodModel::didInitWithDictionary(const nlohmann::json&, Error* error) {
    std::optional<std::string> canonical = method_name_ ? canonicalMethodName(*method_name_) : std::nullopt;
    if (!canonical) {
        if (error)
            *error = Error(MTLModel::ErrorDomain, MTLModel::ErrorValidationFailed,
                           "Unknown authentication method \"" + method_name_.value_or("") + "\".");
        return false;
    }
    method_name_ = *canonical;
    if (*canonical == "password") {
        localizedMethodName_ = "Password";
        methodType_ = HalvexAuthMethodTypePassword;
    } else if (*canonical == "keyboard-interactive") {
        localizedMethodName_ = "Interactive";
        methodType_ = HalvexAuthMethodTypeInteractive;
    } else {
        localizedMethodName_ = "Public-key";
        methodType_ = HalvexAuthMethodTypePublicKey;
    }
    return true;
}

nlohmann::json HalvexAuthMethodModel::mappingDictionary() {
    nlohmann::json map = nlohmann::json::object();
    for (const auto& m :
         {sharedInteractiveAutheMethod(), sharedPublickeyAutheMethod(), sharedPasswordAutheMethod()})
        map[*m->method_name()] = static_cast<std::int64_t>(m->methodType());
    return map;
}

std::shared_ptr<MTLValueTransformer> HalvexAuthMethodModel::authMethodArrayTransformer() {
    static const auto transformer = MTLValueTransformer::transformerUsingForwardBlock(
        [](const nlohmann::json& names) -> nlohmann::json {
            if (!names.is_array()) return nullptr;
            nlohmann::json models = nlohmann::json::array();
            for (const auto& name : names) {
                if (name.is_null()) {
                    models.push_back(nullptr);
                } else if (auto model = modelWithMethodName(name)) {
                    models.push_back(model->encodeWithCoder());
                }
            }
            return models;
        },
        [](const nlohmann::json& models) -> nlohmann::json {
            if (!models.is_array()) return nullptr;
            nlohmann::json names = nlohmann::json::array();
            for (const auto& model : models) {
                if (model.is_null()) {
                    names.push_back(nullptr);
                } else if (model.is_object()) {
                    auto name = model.find("method_name");
                    if (name != model.end() && name->is_string()) names.push_back(*name);
                }
            }
            return names;
        });
    return transformer;
}
