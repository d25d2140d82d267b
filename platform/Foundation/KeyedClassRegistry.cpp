#include "Foundation/KeyedClassRegistry.h"

#include "Foundation/KeyedArchiver.h"

KeyedClassRegistry& KeyedClassRegistry::shared() {
    static KeyedClassRegistry registry;
    return registry;
}

void KeyedClassRegistry::registerClass(const std::string& className, Factory factory) {
    std::lock_guard lock(mutex_);
    factories_[className] = std::move(factory);
}

void KeyedClassRegistry::registerClassName(const std::string& legacyName, const std::string& currentName) {
    std::lock_guard lock(mutex_);
    aliases_[legacyName] = currentName;
}

std::string KeyedClassRegistry::resolvedClassName(const std::string& className) const {
    std::lock_guard lock(mutex_);
    auto it = aliases_.find(className);
    return it == aliases_.end() ? className : it->second;
}

bool KeyedClassRegistry::hasClass(const std::string& className) const {
    auto name = resolvedClassName(className);
    std::lock_guard lock(mutex_);
    return factories_.count(name) != 0;
}

std::shared_ptr<KeyedCoding> KeyedClassRegistry::decodeObject(const nlohmann::json& encoded,
                                                              Error* error) const {
    auto cls = encoded.is_object() ? encoded.find("$class") : encoded.end();
    if (!encoded.is_object() || cls == encoded.end() || !cls->is_string()) {
        if (error)
            *error = Error(KeyedArchiver::ErrorDomain, KeyedArchiver::ErrorNotAnObject,
                           "The archive holds a value that is not an encoded object.");
        return nullptr;
    }
    const std::string name = resolvedClassName(cls->get<std::string>());
    Factory factory;
    {
        std::lock_guard lock(mutex_);
        auto it = factories_.find(name);
        if (it != factories_.end()) factory = it->second;
    }
    if (!factory) {
        if (error)
            *error = Error(KeyedArchiver::ErrorDomain, KeyedArchiver::ErrorUnknownClass,
                           "The archive names the unknown class \"" + cls->get<std::string>() + "\".");
        return nullptr;
    }
    return factory(encoded, error);
}
