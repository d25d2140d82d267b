#include "Halvex/HalvexJSONAdapter.h"

#include "Mantle/MTLModelClass.h"

std::vector<std::string> HalvexJSONAdapter::serializablePropertyKeys(const std::vector<std::string>& keys,
                                                                     const MTLModel& model) const {
    std::vector<std::string> result;
    for (const auto& key : keys)
        if (!model.valueForKey(key).is_null()) result.push_back(key);
    return result;
}

namespace {
// nullopt when the value is a model that does not convert.
std::optional<nlohmann::json> convert(const HalvexJSONAdapter& adapter, const nlohmann::json& value,
                                      Error* error) {
    if (value.is_object()) {
        auto cls = value.find("$class");
        if (cls != value.end() && cls->is_string()) {
            const MTLModelClass* modelClass = MTLModelClass::classNamed(cls->get<std::string>());
            if (!modelClass) {
                if (error)
                    *error = Error(MTLJSONAdapter::ErrorDomain, MTLJSONAdapter::ErrorInvalidJSONValue,
                                   "Unknown model class \"" + cls->get<std::string>() + "\".");
                return std::nullopt;
            }
            auto model = modelClass->factory();
            if (!model->initWithDictionary(value, error)) return std::nullopt;
            return adapter.JSONDictionaryFromModel(*model, error);
        }
        return HalvexJSONAdapter::JSONDictionaryFromDictionary(value, error);
    }
    if (value.is_array()) {
        nlohmann::json array = nlohmann::json::array();
        for (const auto& element : value)
            if (auto converted = convert(adapter, element, error)) array.push_back(std::move(*converted));
        return array;
    }
    return value;
}
} // namespace

nlohmann::json HalvexJSONAdapter::JSONDictionaryFromDictionary(const nlohmann::json& dictionary,
                                                               Error* error) {
    if (!dictionary.is_object()) return nlohmann::json::object();
    HalvexJSONAdapter adapter;
    nlohmann::json out = nlohmann::json::object();
    for (const auto& [key, value] : dictionary.items())
        if (auto converted = convert(adapter, value, error)) out[key] = std::move(*converted);
    return out;
}
