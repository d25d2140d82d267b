#pragma once

#include "Foundation/KeyedCoding.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <vector>

// Writes keyed archives: a versioned JSON object holding one encoded object or
// an array of them (null elements kept), each with its class name. The archive
// is what a user default stores.
class KeyedArchiver {
public:
    static constexpr const char* ErrorDomain = "OrvikKeyedArchiveErrorDomain";
    enum : long {
        ErrorNotAnArchive = 1,   // not an archive at all (junk, another format)
        ErrorUnsupportedVersion, // written by a newer format
        ErrorNotAnObject,        // an element is not an encoded object
        ErrorUnknownClass,       // names a class nobody registered
        ErrorWrongClass,         // decodes to a class the caller did not ask for
        ErrorInvalidValue,       // an object's values do not fit its class
    };
    static constexpr int ArchiveVersion = 1;

    static nlohmann::json archivedDataWithRootObject(const KeyedCoding& object);
    static nlohmann::json archivedDataWithRootArray(const std::vector<std::shared_ptr<KeyedCoding>>& objects);

    template <class T>
    static nlohmann::json archivedDataWithArray(const std::vector<std::shared_ptr<T>>& objects) {
        return archivedDataWithRootArray(
            std::vector<std::shared_ptr<KeyedCoding>>(objects.begin(), objects.end()));
    }
};
