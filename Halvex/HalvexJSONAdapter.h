#pragma once

#include "Mantle/MTLJSONAdapter.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// The adapter of all profile JSON: absent values are left out rather than
// written as nulls.
class HalvexJSONAdapter : public MTLJSONAdapter {
public:
    std::vector<std::string> serializablePropertyKeys(const std::vector<std::string>& keys,
                                                      const MTLModel& model) const override;

    // A dictionary whose nested values are made JSON: encoded models (objects
    // with a "$class" that names a model class) become their JSON form, nested
    // dictionaries and arrays are converted the same way, anything else is
    // kept. A model that does not convert removes its key (or array element)
    // and fills error.
    static nlohmann::json JSONDictionaryFromDictionary(const nlohmann::json& dictionary,
                                                       Error* error = nullptr);
};
