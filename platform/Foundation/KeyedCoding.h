#pragma once

#include <nlohmann/json.hpp>
#include <string>

// An object that a keyed archive can hold. Its encoded form is a JSON object
// carrying its class name under "$class"; decoding goes through the factory
// registered for that name in KeyedClassRegistry.
class KeyedCoding {
public:
    virtual ~KeyedCoding() = default;
    virtual std::string archiveClassName() const = 0;
    // The encoded object, "$class" included.
    virtual nlohmann::json encodeWithCoder() const = 0;
};
