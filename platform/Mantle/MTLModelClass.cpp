#include "Mantle/MTLModelClass.h"

#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedClassRegistry.h"
#include "Mantle/MTLModel.h"

#include <map>
#include <mutex>

namespace {
std::mutex gMutex;
std::map<std::string, const MTLModelClass*>& classes() {
    static std::map<std::string, const MTLModelClass*> map;
    return map;
}
} // namespace

const MTLProperty* MTLModelClass::property(std::string_view key) const {
    for (const auto& p : properties)
        if (p.key == key) return &p;
    return nullptr;
}

std::vector<std::string> MTLModelClass::propertyKeys() const {
    std::vector<std::string> keys;
    keys.reserve(properties.size());
    for (const auto& p : properties)
        keys.push_back(p.key);
    return keys;
}

std::vector<std::pair<std::string, std::string>> MTLModelClass::JSONKeyPathsByPropertyKey() const {
    std::vector<std::pair<std::string, std::string>> map;
    for (const auto& p : properties)
        if (p.inJSON) map.emplace_back(p.key, p.JSONKey);
    return map;
}

bool MTLModelClass::isSubclassOf(const MTLModelClass& other) const {
    for (const MTLModelClass* c = this; c; c = c->superclass)
        if (c == &other) return true;
    return false;
}

void MTLModelClass::registerClass(const MTLModelClass& cls) {
    {
        std::lock_guard lock(gMutex);
        classes()[cls.name] = &cls;
    }
    KeyedClassRegistry::shared().registerClass(
        cls.name, [&cls](const nlohmann::json& encoded, Error* error) -> std::shared_ptr<KeyedCoding> {
            auto model = cls.factory();
            if (!model->initWithDictionary(encoded, error)) return nullptr;
            return model;
        });
}

void MTLModelClass::registerLegacyClassName(const std::string& legacyName, const MTLModelClass& cls) {
    registerClass(cls);
    KeyedClassRegistry::shared().registerClassName(legacyName, cls.name);
}

const MTLModelClass* MTLModelClass::classNamed(const std::string& name) {
    const std::string resolved = KeyedClassRegistry::shared().resolvedClassName(name);
    std::lock_guard lock(gMutex);
    auto it = classes().find(resolved);
    return it == classes().end() ? nullptr : it->second;
}
