#include "Mantle/MTLModel.h"

#include "Foundation/KeyedClassRegistry.h"

nlohmann::json MTLEncodeModelObject(const MTLModel& model) {
    return model.encodeWithCoder();
}

std::shared_ptr<MTLModel> MTLDecodeModelObject(const nlohmann::json& encoded, const MTLModelClass& expected,
                                               std::string& problem) {
    if (!encoded.is_object()) {
        problem = "expected an object, found " + std::string(encoded.type_name());
        return nullptr;
    }
    const MTLModelClass* cls = &expected;
    if (auto it = encoded.find("$class"); it != encoded.end()) {
        if (!it->is_string()) {
            problem = "\"$class\" is not a string";
            return nullptr;
        }
        cls = MTLModelClass::classNamed(it->get<std::string>());
        if (!cls) {
            problem = "unknown class \"" + it->get<std::string>() + "\"";
            return nullptr;
        }
        if (!cls->isSubclassOf(expected)) {
            problem = "class \"" + cls->name + "\" where \"" + expected.name + "\" was expected";
            return nullptr;
        }
    }
    auto model = cls->factory();
    Error error;
    if (!model->initWithDictionary(encoded, &error)) {
        problem = error.localizedDescription;
        return nullptr;
    }
    return model;
}

const MTLModelClass& MTLModel::classDescription() {
    static const MTLModelClass c = [] {
        MTLModelClass d;
        d.name = "MTLModel";
        d.factory = [] { return std::make_shared<MTLModel>(); };
        return d;
    }();
    return c;
}

const MTLModelClass& MTLModel::modelClass() const {
    return classDescription();
}

nlohmann::json MTLModel::valueForKey(std::string_view key) const {
    const MTLProperty* p = modelClass().property(key);
    return p ? p->get(*this, nullptr) : nlohmann::json(nullptr);
}

bool MTLModel::setValueForKey(std::string_view key, const nlohmann::json& value, Error* error) {
    const MTLModelClass& cls = modelClass();
    const MTLProperty* p = cls.property(key);
    if (!p) {
        if (cls.ignoresUnknownKeys || key.starts_with('$')) return true;
        if (error)
            *error = Error(ErrorDomain, ErrorUnknownKey,
                           cls.name + " has no property \"" + std::string(key) + "\".");
        return false;
    }
    std::string problem;
    willChangeValueForKey(p->key);
    bool ok = p->set(*this, value, problem);
    didChangeValueForKey(p->key);
    if (!ok && error)
        *error = Error(ErrorDomain, ErrorInvalidValue,
                       "Invalid value for \"" + p->key + "\" of " + cls.name + ": " + problem + ".");
    return ok;
}

nlohmann::json MTLModel::dictionaryValue() const {
    nlohmann::json dict = nlohmann::json::object();
    for (const auto& p : modelClass().properties)
        dict[p.key] = p.get(*this, nullptr);
    return dict;
}

bool MTLModel::initWithDictionary(const nlohmann::json& dictionary, Error* error) {
    const MTLModelClass& cls = modelClass();
    if (!dictionary.is_object()) {
        if (error)
            *error = Error(ErrorDomain, ErrorInvalidValue,
                           cls.name + " can't be made from a " + dictionary.type_name() + ".");
        return false;
    }
    for (const auto& p : cls.properties) {
        auto it = dictionary.find(p.key);
        if (it != dictionary.end() && !setValueForKey(p.key, *it, error)) return false;
    }
    if (!cls.ignoresUnknownKeys) {
        for (const auto& [key, value] : dictionary.items()) {
            if (!key.starts_with('$') && !cls.property(key)) return setValueForKey(key, value, error);
        }
    }
    return didInitWithDictionary(dictionary, error);
}

bool MTLModel::didInitWithDictionary(const nlohmann::json&, Error*) {
    return true;
}

void MTLModel::mergeValuesForKeysFromModel(const MTLModel& model) {
    const MTLModelClass& mine = modelClass();
    for (const auto& p : model.modelClass().properties)
        if (mine.property(p.key)) setValueForKey(p.key, p.get(model, nullptr), nullptr);
}

std::shared_ptr<MTLModel> MTLModel::copy() const {
    auto model = modelClass().factory();
    model->initWithDictionary(encodeWithCoder(), nullptr);
    return model;
}

bool MTLModel::isEqual(const MTLModel& other) const {
    if (this == &other) return true;
    if (&modelClass() != &other.modelClass()) return false;
    for (const auto& p : modelClass().properties)
        if (p.get(*this, nullptr) != p.get(other, nullptr)) return false;
    return true;
}

std::size_t MTLModel::hash() const {
    return std::hash<nlohmann::json>{}(dictionaryValue());
}

nlohmann::json MTLModel::encodeWithCoder() const {
    nlohmann::json encoded = dictionaryValue();
    encoded["$class"] = modelClass().name;
    encoded["$modelVersion"] = modelClass().modelVersion;
    return encoded;
}
