#pragma once

#include "Foundation/Error.h"
#include "Mantle/MTLModel.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

// Converts models to and from their JSON form through each class's JSON keys
// and value transformers. A property without a transformer passes as it is; a
// nested model (or an array of them) without a transformer is converted by
// this same adapter. Properties left out of JSON are neither written nor read;
// JSON keys the class does not know are ignored. Reading builds the model's
// dictionary and goes through initWithDictionary, so defaults, normalisation
// and migration apply as for any other dictionary.
class MTLJSONAdapter {
public:
    static constexpr const char* ErrorDomain = "MTLJSONAdapterErrorDomain";
    enum : long { ErrorInvalidJSONDictionary = 1, ErrorNoReverseTransformer, ErrorInvalidJSONValue };

    MTLJSONAdapter() = default;
    virtual ~MTLJSONAdapter() = default;

    std::optional<nlohmann::json> JSONDictionaryFromModel(const MTLModel& model,
                                                          Error* error = nullptr) const;
    // Null elements stay null.
    template <class T>
    std::optional<nlohmann::json> JSONArrayFromModels(const std::vector<std::shared_ptr<T>>& models,
                                                      Error* error = nullptr) const {
        nlohmann::json array = nlohmann::json::array();
        for (const auto& m : models) {
            if (!m) {
                array.push_back(nullptr);
                continue;
            }
            auto j = JSONDictionaryFromModel(*m, error);
            if (!j) return std::nullopt;
            array.push_back(std::move(*j));
        }
        return array;
    }

    std::shared_ptr<MTLModel> modelOfClass(const MTLModelClass& cls, const nlohmann::json& JSONDictionary,
                                           Error* error = nullptr) const;
    template <class T>
    std::shared_ptr<T> modelOfClass(const nlohmann::json& JSONDictionary, Error* error = nullptr) const {
        return std::dynamic_pointer_cast<T>(modelOfClass(T::classDescription(), JSONDictionary, error));
    }
    // Every element must convert; null elements stay null.
    template <class T>
    std::optional<std::vector<std::shared_ptr<T>>> modelsOfClass(const nlohmann::json& JSONArray,
                                                                 Error* error = nullptr) const {
        if (!JSONArray.is_array()) {
            if (error) *error = Error(ErrorDomain, ErrorInvalidJSONValue, "Expected a JSON array.");
            return std::nullopt;
        }
        std::vector<std::shared_ptr<T>> models;
        for (const auto& e : JSONArray) {
            if (e.is_null()) {
                models.push_back(nullptr);
                continue;
            }
            auto m = modelOfClass<T>(e, error);
            if (!m) return std::nullopt;
            models.push_back(std::move(m));
        }
        return models;
    }

    // Which of the JSON-mapped property keys are written: by default those
    // whose value is not nil, so JSON never carries nulls.
    virtual std::vector<std::string> serializablePropertyKeys(const std::vector<std::string>& keys,
                                                              const MTLModel& model) const;

    // The transformer of a property: its own, else the one registered under
    // its transformer name, else null.
    static std::shared_ptr<MTLValueTransformer> transformerForProperty(const MTLProperty& property);
};
