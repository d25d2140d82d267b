#include "Halvex/HalvexExports.h"

#include "Halvex/HalvexAuthMethodModel.h"
#include "Halvex/HalvexForwardingModel.h"
#include "Halvex/HalvexKnownHostModel.h"
#include "Halvex/HalvexRuleModel.h"
#include "Halvex/HalvexSessionModel.h"
#include "Mantle/MTLValueTransformer.h"
#include "Wendle/KvServicePorts.h"

#include <mutex>

const double HalvexVersionNumber = 1.0;
const char* const HalvexVersionString = "Halvex 1.0";

namespace {
std::int64_t integerValue(const nlohmann::json& value) {
    if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
    if (value.is_number_integer()) return value.get<std::int64_t>();
    if (value.is_number_float()) {
        double d = value.get<double>();
        return d > -9.2e18 && d < 9.2e18 ? static_cast<std::int64_t>(d) : 0;
    }
    return 0;
}

std::size_t countOf(const nlohmann::json& value) {
    return value.is_array() ? value.size() : 0;
}

void registerTransformer(const std::string& name, MTLValueTransformer::Block block) {
    MTLValueTransformer::setValueTransformer(
        name, MTLValueTransformer::transformerUsingForwardBlock(std::move(block)));
}
} // namespace

void HalvexInitRegisterValueTransformers() {
    // Archives and bindings name the model classes: make sure they are known.
    (void)HalvexAuthMethodModel::classDescription();
    (void)HalvexForwardingModel::classDescription();
    (void)HalvexRuleModel::classDescription();
    (void)HalvexSessionModel::classDescription();
    (void)HalvexKnownHostModel::classDescription();

    registerTransformer("HalvexPrivateKeyEncryptedStatusImage",
                        [](const nlohmann::json& v) -> nlohmann::json {
                            return integerValue(v) > 0 ? nlohmann::json("NSImageNameLockLockedTemplate")
                                                       : nlohmann::json(nullptr);
                        });
    registerTransformer("HalvexPrivateKeyKeychainStatusImage", [](const nlohmann::json& v) -> nlohmann::json {
        return integerValue(v) > 0 ? nlohmann::json("NSImageNameMenuOnStateTemplate")
                                   : nlohmann::json(nullptr);
    });
    registerTransformer("HalvexPortForwardingTypeIsDynamic", [](const nlohmann::json& v) -> nlohmann::json {
        return integerValue(v) == 2 ? 1 : 0;
    });
    registerTransformer("KvIsCountEQ1",
                        [](const nlohmann::json& v) -> nlohmann::json { return countOf(v) == 1 ? 1 : 0; });
    registerTransformer("KvIsCountGT1",
                        [](const nlohmann::json& v) -> nlohmann::json { return countOf(v) > 1 ? 1 : 0; });
    registerTransformer("KvIsCountGE1",
                        [](const nlohmann::json& v) -> nlohmann::json { return countOf(v) != 0 ? 1 : 0; });
    registerTransformer("HalvexDictionaryToValuesArray", [](const nlohmann::json& v) -> nlohmann::json {
        if (!v.is_object()) return nullptr;
        nlohmann::json values = nlohmann::json::array();
        for (const auto& [key, value] : v.items())
            values.push_back(value);
        return values;
    });
    registerTransformer("HalvexTurnOnTitleFromCanTurnOn", [](const nlohmann::json& v) -> nlohmann::json {
        return integerValue(v) != 0 ? "Turn On" : "Turn Off";
    });
    registerTransformer("HalvexServiceNameFromPortNumber", [](const nlohmann::json& v) -> nlohmann::json {
        if (!v.is_number() && !v.is_boolean()) return "";
        auto name = KvServicePorts::serviceNameWithPortNumber(static_cast<std::uint16_t>(integerValue(v)));
        return name ? std::string("(").append(*name).append(")") : std::string();
    });
    registerTransformer("ProfilePreviewImageName", [](const nlohmann::json& v) -> nlohmann::json {
        if (!v.is_string()) return nullptr;
        return std::string("preview_").append(v.get<std::string>());
    });
    registerTransformer("HalvexAuthMethods", [](const nlohmann::json& v) -> nlohmann::json {
        std::string text;
        if (!v.is_array()) return text;
        for (const auto& element : v) {
            nlohmann::json name = element;
            if (element.is_object()) name = element.value("method_name", nlohmann::json());
            if (!name.is_string()) continue;
            auto canonical = HalvexAuthMethodModel::canonicalMethodName(name.get<std::string>());
            if (!canonical) continue;
            if (!text.empty()) text += ", ";
            if (*canonical == "keyboard-interactive")
                text += "Interactive";
            else if (*canonical == "publickey")
                text += "Public-key";
            else
                text += "Password";
        }
        return text;
    });
}

std::string HalvexMainBundleResourcePath() {
    return Bundle::mainBundleResourcePath();
}

const HalvexBundle* HalvexGetBundle() {
    static const std::unique_ptr<HalvexBundle> bundle = Bundle::bundleInMainResources("HalvexBundle");
    return bundle.get();
}

std::optional<std::string> HalvexGetNibPath(const std::string& name) {
    const HalvexBundle* bundle = HalvexGetBundle();
    if (!bundle) return std::nullopt;
    return bundle->pathForResource(name, "nib");
}

void HalvexLoadBundle() {
    for (const char* name : {"PrivateKeysPreferencesViewController", "VySSHSettingsPanelController"}) {
        std::string resources = HalvexMainBundleResourcePath();
        if (!resources.empty()) (void)HalvexBundle{resources}.pathForResource(name, "nib");
    }
}
