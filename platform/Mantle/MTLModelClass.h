#pragma once

#include "Mantle/MTLProperty.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class MTLModel;

struct MTLModelClassOptions {
    std::int64_t modelVersion = 0;
    // Values given for keys the class does not have are dropped instead of
    // failing the initialisation.
    bool ignoresUnknownKeys = false;
};

// The description of one model class: its name (the name archives carry), its
// superclass, its properties (the superclass's first, in declaration order),
// how to make a new instance with the class's defaults, and its options.
struct MTLModelClass {
    std::string name;
    const MTLModelClass* superclass = nullptr;
    std::vector<MTLProperty> properties;
    std::function<std::shared_ptr<MTLModel>()> factory;
    std::int64_t modelVersion = 0;
    bool ignoresUnknownKeys = false;

    const MTLProperty* property(std::string_view key) const;
    std::vector<std::string> propertyKeys() const;
    // The identity map of the properties that appear in JSON, by JSON key.
    std::vector<std::pair<std::string, std::string>> JSONKeyPathsByPropertyKey() const;
    bool isSubclassOf(const MTLModelClass& other) const;

    // Describes T and registers it, so that archives naming it decode.
    template <class T>
    static MTLModelClass make(std::string name, const MTLModelClass* superclass,
                              std::vector<MTLProperty> properties, MTLModelClassOptions options = {}) {
        MTLModelClass c;
        c.name = std::move(name);
        c.superclass = superclass;
        if (superclass) c.properties = superclass->properties;
        for (auto& p : properties)
            c.properties.push_back(std::move(p));
        c.factory = [] { return std::static_pointer_cast<MTLModel>(std::make_shared<T>()); };
        c.modelVersion = options.modelVersion;
        c.ignoresUnknownKeys = options.ignoresUnknownKeys;
        return c;
    }

    // Makes the class decodable from archives (by its name).
    static void registerClass(const MTLModelClass& cls);
    // Archives naming legacyName decode as cls.
    static void registerLegacyClassName(const std::string& legacyName, const MTLModelClass& cls);
    // The class registered under a name (a legacy name resolved), or null.
    static const MTLModelClass* classNamed(const std::string& name);
};
