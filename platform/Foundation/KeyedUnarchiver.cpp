#include "Foundation/KeyedUnarchiver.h"

#include "Foundation/KeyedClassRegistry.h"

namespace {

const nlohmann::json* rootOf(const nlohmann::json& data, Error* error) {
    auto fail = [&](long code, const std::string& text) -> const nlohmann::json* {
        if (error) *error = Error(KeyedArchiver::ErrorDomain, code, text);
        return nullptr;
    };
    auto archiver = data.is_object() ? data.find("$archiver") : data.end();
    if (!data.is_object() || archiver == data.end() || *archiver != "OrvikKeyedArchive" ||
        !data.contains("$root"))
        return fail(KeyedArchiver::ErrorNotAnArchive, "The stored value is not a keyed archive.");
    auto version = data.find("$version");
    if (version == data.end() || !version->is_number_integer() || version->get<long long>() < 1)
        return fail(KeyedArchiver::ErrorNotAnArchive, "The keyed archive has no valid version.");
    if (version->get<long long>() > KeyedArchiver::ArchiveVersion)
        return fail(KeyedArchiver::ErrorUnsupportedVersion,
                    "The keyed archive was written by a newer version (format " +
                        std::to_string(version->get<long long>()) + ").");
    return &data["$root"];
}

const nlohmann::json* rootArrayOf(const nlohmann::json& data, Error* error) {
    const nlohmann::json* root = rootOf(data, error);
    if (root && !root->is_array()) {
        if (error)
            *error = Error(KeyedArchiver::ErrorDomain, KeyedArchiver::ErrorWrongClass,
                           "The keyed archive does not hold an array.");
        return nullptr;
    }
    return root;
}

} // namespace

std::shared_ptr<KeyedCoding> KeyedUnarchiver::unarchiveObjectWithData(const nlohmann::json& data,
                                                                      Error* error) {
    const nlohmann::json* root = rootOf(data, error);
    if (!root) return nullptr;
    return KeyedClassRegistry::shared().decodeObject(*root, error);
}

std::optional<std::vector<std::shared_ptr<KeyedCoding>>>
KeyedUnarchiver::unarchiveArrayWithData(const nlohmann::json& data, Error* error) {
    const nlohmann::json* root = rootArrayOf(data, error);
    if (!root) return std::nullopt;
    std::vector<std::shared_ptr<KeyedCoding>> result;
    result.reserve(root->size());
    for (const auto& element : *root) {
        if (element.is_null()) {
            result.push_back(nullptr);
            continue;
        }
        auto object = KeyedClassRegistry::shared().decodeObject(element, error);
        if (!object) return std::nullopt;
        result.push_back(std::move(object));
    }
    return result;
}

std::optional<std::vector<std::shared_ptr<KeyedCoding>>>
KeyedUnarchiver::unarchiveDecodableElements(const nlohmann::json& data, std::size_t* failures, Error* error) {
    const nlohmann::json* root = rootArrayOf(data, error);
    if (!root) return std::nullopt;
    std::vector<std::shared_ptr<KeyedCoding>> result;
    result.reserve(root->size());
    for (const auto& element : *root) {
        if (element.is_null()) continue;
        Error elementError;
        auto object = KeyedClassRegistry::shared().decodeObject(element, &elementError);
        if (object) {
            result.push_back(std::move(object));
        } else if ((*failures)++ == 0 && error) {
            *error = elementError;
        }
    }
    return result;
}

void KeyedUnarchiver::wrongClass(const std::string& className, Error* error) {
    if (error)
        *error = Error(KeyedArchiver::ErrorDomain, KeyedArchiver::ErrorWrongClass,
                       "The keyed archive holds an object of the unexpected class \"" + className + "\".");
}
