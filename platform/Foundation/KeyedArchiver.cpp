#include "Foundation/KeyedArchiver.h"

namespace {
nlohmann::json wrap(nlohmann::json root) {
    return {{"$archiver", "OrvikKeyedArchive"},
            {"$version", KeyedArchiver::ArchiveVersion},
            {"$root", std::move(root)}};
}
} // namespace

nlohmann::json KeyedArchiver::archivedDataWithRootObject(const KeyedCoding& object) {
    return wrap(object.encodeWithCoder());
}

nlohmann::json
KeyedArchiver::archivedDataWithRootArray(const std::vector<std::shared_ptr<KeyedCoding>>& objects) {
    nlohmann::json array = nlohmann::json::array();
    for (const auto& o : objects)
        array.push_back(o ? o->encodeWithCoder() : nlohmann::json(nullptr));
    return wrap(std::move(array));
}
