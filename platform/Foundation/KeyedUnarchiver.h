#pragma once

#include "Foundation/Error.h"
#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedCoding.h"

#include <cstddef>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

// Reads keyed archives. Anything that does not decode completely (junk, a newer
// format, an unknown class, one bad element) fails as a whole with an error, so
// that the caller can keep the stored value aside instead of replacing it.
class KeyedUnarchiver {
public:
    static std::shared_ptr<KeyedCoding> unarchiveObjectWithData(const nlohmann::json& data,
                                                                Error* error = nullptr);
    static std::optional<std::vector<std::shared_ptr<KeyedCoding>>>
    unarchiveArrayWithData(const nlohmann::json& data, Error* error = nullptr);

    // The root object as T; null with ErrorWrongClass when it is another class.
    template <class T>
    static std::shared_ptr<T> unarchiveObjectOfClass(const nlohmann::json& data, Error* error = nullptr) {
        auto object = unarchiveObjectWithData(data, error);
        if (!object) return nullptr;
        auto typed = std::dynamic_pointer_cast<T>(object);
        if (!typed) wrongClass(object->archiveClassName(), error);
        return typed;
    }

    // The root array with every element a T (or null).
    template <class T>
    static std::optional<std::vector<std::shared_ptr<T>>> unarchiveArrayOfClass(const nlohmann::json& data,
                                                                                Error* error = nullptr) {
        auto objects = unarchiveArrayWithData(data, error);
        if (!objects) return std::nullopt;
        std::vector<std::shared_ptr<T>> result;
        result.reserve(objects->size());
        for (auto& o : *objects) {
            if (!o) {
                result.push_back(nullptr);
                continue;
            }
            auto typed = std::dynamic_pointer_cast<T>(o);
            if (!typed) {
                wrongClass(o->archiveClassName(), error);
                return std::nullopt;
            }
            result.push_back(std::move(typed));
        }
        return result;
    }

    // The root array's elements that decode as T, in order; an element that
    // does not (junk, an unknown class, another class) is left out and
    // counted in *failures, with the first such error in *error. nullopt
    // when the value is no archive of an array at all.
    template <class T>
    static std::optional<std::vector<std::shared_ptr<T>>>
    unarchiveDecodableElementsOfClass(const nlohmann::json& data, std::size_t* failures,
                                      Error* error = nullptr) {
        std::size_t failed = 0;
        auto objects = unarchiveDecodableElements(data, &failed, error);
        if (!objects) return std::nullopt;
        std::vector<std::shared_ptr<T>> result;
        result.reserve(objects->size());
        for (auto& o : *objects) {
            if (auto typed = std::dynamic_pointer_cast<T>(o)) {
                result.push_back(std::move(typed));
            } else if (o) {
                if (failed++ == 0) wrongClass(o->archiveClassName(), error);
            }
        }
        if (failures) *failures = failed;
        return result;
    }

private:
    static std::optional<std::vector<std::shared_ptr<KeyedCoding>>>
    unarchiveDecodableElements(const nlohmann::json& data, std::size_t* failures, Error* error);
    static void wrongClass(const std::string& className, Error* error);
};
