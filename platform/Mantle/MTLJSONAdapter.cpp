#include "Mantle/MTLJSONAdapter.h"

#include "Mantle/MTLValueTransformer.h"

std::shared_ptr<MTLValueTransformer> MTLJSONAdapter::transformerForProperty(const MTLProperty& property) {
    if (property.transformer) return property.transformer;
    if (!property.transformerName.empty())
        return MTLValueTransformer::valueTransformerForName(property.transformerName);
    return nullptr;
}

std::vector<std::string> MTLJSONAdapter::serializablePropertyKeys(const std::vector<std::string>& keys,
                                                                  const MTLModel& model) const {
    std::vector<std::string> result;
    for (const auto& k : keys)
        if (!model.valueForKey(k).is_null()) result.push_back(k);
    return result;
}

std::optional<nlohmann::json> MTLJSONAdapter::JSONDictionaryFromModel(const MTLModel& model,
                                                                      Error* error) const {
    const MTLModelClass& cls = model.modelClass();
    std::vector<std::string> keys;
    for (const auto& [key, JSONKey] : cls.JSONKeyPathsByPropertyKey())
        keys.push_back(key);
    keys = serializablePropertyKeys(keys, model);

    std::optional<Error> nestedError;
    MTLNestedEncoder toJSON = [&](const MTLModel& nested) -> nlohmann::json {
        Error e;
        auto j = JSONDictionaryFromModel(nested, &e);
        if (!j) {
            if (!nestedError) nestedError = e;
            return nullptr;
        }
        return *j;
    };

    nlohmann::json out = nlohmann::json::object();
    for (const auto& key : keys) {
        const MTLProperty* p = cls.property(key);
        if (!p || !p->inJSON) continue;
        nlohmann::json value;
        if (auto t = transformerForProperty(*p)) {
            if (!t->allowsReverseTransformation()) {
                if (error)
                    *error = Error(ErrorDomain, ErrorNoReverseTransformer,
                                   "The transformer of \"" + key + "\" of " + cls.name + " can't reverse.");
                return std::nullopt;
            }
            value = t->reverseTransformedValue(p->get(model, nullptr));
        } else {
            value = p->get(model, p->modelClass() ? toJSON : MTLNestedEncoder());
            if (nestedError) {
                if (error) *error = *nestedError;
                return std::nullopt;
            }
        }
        out[p->JSONKey] = std::move(value);
    }
    return out;
}

std::shared_ptr<MTLModel> MTLJSONAdapter::modelOfClass(const MTLModelClass& cls,
                                                       const nlohmann::json& JSONDictionary,
                                                       Error* error) const {
    if (!JSONDictionary.is_object()) {
        if (error)
            *error =
                Error(ErrorDomain, ErrorInvalidJSONDictionary,
                      cls.name + " can't be read from JSON that is a " + JSONDictionary.type_name() + ".");
        return nullptr;
    }
    auto invalid = [&](const std::string& key, const std::string& why) -> std::shared_ptr<MTLModel> {
        if (error)
            *error = Error(ErrorDomain, ErrorInvalidJSONValue,
                           "Invalid JSON value for \"" + key + "\" of " + cls.name + ": " + why + ".");
        return nullptr;
    };

    nlohmann::json dict = nlohmann::json::object();
    for (const auto& p : cls.properties) {
        if (!p.inJSON) continue;
        auto it = JSONDictionary.find(p.JSONKey);
        if (it == JSONDictionary.end()) continue;
        const nlohmann::json& value = *it;
        if (auto t = transformerForProperty(p)) {
            dict[p.key] = t->transformedValue(value);
        } else if (const MTLModelClass* nestedClass = p.modelClass(); nestedClass && !value.is_null()) {
            // Nested models read through this adapter, then pass on in
            // dictionary form.
            auto one = [&](const nlohmann::json& j, nlohmann::json& encoded) -> bool {
                if (j.is_null()) return encoded = nullptr, true;
                Error e;
                auto m = modelOfClass(*nestedClass, j, &e);
                if (!m) {
                    if (error) *error = e;
                    return false;
                }
                encoded = m->encodeWithCoder();
                return true;
            };
            if (p.isArray) {
                if (!value.is_array()) return invalid(p.JSONKey, "expected an array");
                nlohmann::json array = nlohmann::json::array();
                for (const auto& e : value) {
                    nlohmann::json encoded;
                    if (!one(e, encoded)) return nullptr;
                    array.push_back(std::move(encoded));
                }
                dict[p.key] = std::move(array);
            } else {
                nlohmann::json encoded;
                if (!one(value, encoded)) return nullptr;
                dict[p.key] = std::move(encoded);
            }
        } else {
            dict[p.key] = value;
        }
    }
    auto model = cls.factory();
    if (!model->initWithDictionary(dict, error)) return nullptr;
    return model;
}
