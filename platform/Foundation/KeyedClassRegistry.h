#pragma once

#include "Foundation/Error.h"
#include "Foundation/KeyedCoding.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

// Process-wide map from the class names found in archives to the classes that
// decode them. Earlier names of a class are registered as aliases so that
// archives written by older versions keep decoding.
class KeyedClassRegistry {
public:
    using Factory = std::function<std::shared_ptr<KeyedCoding>(const nlohmann::json& encoded, Error* error)>;

    static KeyedClassRegistry& shared();

    void registerClass(const std::string& className, Factory factory);
    // Archives naming legacyName decode as currentName.
    void registerClassName(const std::string& legacyName, const std::string& currentName);
    // The current name for a stored one (itself when it is no alias).
    std::string resolvedClassName(const std::string& className) const;
    bool hasClass(const std::string& className) const;
    // Decodes one encoded object; null with an error for an unknown class or a
    // value that is not an encoded object.
    std::shared_ptr<KeyedCoding> decodeObject(const nlohmann::json& encoded, Error* error) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, Factory> factories_;
    std::map<std::string, std::string> aliases_;
};
