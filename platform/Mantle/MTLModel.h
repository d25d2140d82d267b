#pragma once

#include "Foundation/Error.h"
#include "Foundation/KeyValueObservable.h"
#include "Foundation/KeyedCoding.h"
#include "Mantle/MTLModelClass.h"
#include "Mantle/MTLProperty.h"

#include <cstddef>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

// Declares a model class's description; put it at the top of the class body.
#define MTL_MODEL_DECLARE(ClassName)                                                                         \
public:                                                                                                      \
    static const MTLModelClass& classDescription();                                                          \
    const MTLModelClass& modelClass() const override {                                                       \
        return classDescription();                                                                           \
    }                                                                                                        \
                                                                                                             \
private:

// The model base. A subclass sets its defaults in its constructor, declares its
// properties once in classDescription(), and gets from them: the dictionary
// form, initialisation from a dictionary, copying, value equality and hashing,
// keyed archiving and (through MTLJSONAdapter) its JSON form.
//
// Dictionaries are JSON objects keyed by property key; null is nil; a nested
// model is its encoded dictionary ("$class", "$modelVersion" and its values).
// Keys starting with "$" are bookkeeping, never properties.
class MTLModel : public KeyedCoding, public KeyValueObservable {
public:
    static constexpr const char* ErrorDomain = "MTLModelErrorDomain";
    enum : long { ErrorUnknownKey = 1, ErrorInvalidValue, ErrorValidationFailed, ErrorWrongClass };

    MTLModel() = default;
    MTLModel(const MTLModel&) = default;
    MTLModel& operator=(const MTLModel&) = default;
    ~MTLModel() override = default;

    static const MTLModelClass& classDescription();
    virtual const MTLModelClass& modelClass() const;

    std::vector<std::string> propertyKeys() const { return modelClass().propertyKeys(); }

    // The value of a property key in dictionary form; null for nil or a key the
    // class does not have.
    nlohmann::json valueForKey(std::string_view key) const;
    // Sets one property through its setter, with change notices for the key. A
    // key the class does not have is ignored when the class says so, otherwise
    // fails; a value of the wrong kind fails with the key named in the error.
    bool setValueForKey(std::string_view key, const nlohmann::json& value, Error* error = nullptr);

    // Every property key with its value (null for nil).
    nlohmann::json dictionaryValue() const;
    // Sets each property key present in the dictionary (in declaration order),
    // then runs didInitWithDictionary. Meant for a fresh instance, so that keys
    // not given keep the constructor's defaults. False with an error on failure.
    bool initWithDictionary(const nlohmann::json& dictionary, Error* error = nullptr);
    // Takes every property value of model that this class also has.
    void mergeValuesForKeysFromModel(const MTLModel& model);

    // A new instance of the same class made from dictionaryValue(); nested
    // models are copied too.
    virtual std::shared_ptr<MTLModel> copy() const;
    // Same class and equal values for every property key.
    virtual bool isEqual(const MTLModel& other) const;
    std::size_t hash() const;
    friend bool operator==(const MTLModel& a, const MTLModel& b) { return a.isEqual(b); }

    template <class T>
    static std::shared_ptr<T> modelWithDictionary(const nlohmann::json& dictionary, Error* error = nullptr) {
        auto model = std::make_shared<T>();
        if (!model->initWithDictionary(dictionary, error)) return nullptr;
        return model;
    }
    template <class T>
    std::shared_ptr<T> copyAs() const {
        return std::dynamic_pointer_cast<T>(copy());
    }

    // KeyedCoding: {"$class": name, "$modelVersion": version, key: value...}.
    std::string archiveClassName() const override { return modelClass().name; }
    nlohmann::json encodeWithCoder() const override;

protected:
    // Runs after initWithDictionary set the given values: normalisation,
    // validation, migration of legacy keys. The dictionary is the one given
    // ("$modelVersion" in it tells which version wrote it, when it came from an
    // archive). Return false, filling error, to fail the initialisation.
    virtual bool didInitWithDictionary(const nlohmann::json& dictionary, Error* error);
};

// Makes T decodable from archives, also under earlier class names.
template <class T>
void MTLRegisterModelClass(std::initializer_list<const char*> legacyNames = {}) {
    MTLModelClass::registerClass(T::classDescription());
    for (const char* legacy : legacyNames)
        MTLModelClass::registerLegacyClassName(legacy, T::classDescription());
}
