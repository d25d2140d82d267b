#include "Mantle/MTLValueTransformer.h"

#include <map>
#include <mutex>

namespace {
std::mutex gMutex;
std::map<std::string, std::shared_ptr<MTLValueTransformer>>& registry() {
    static std::map<std::string, std::shared_ptr<MTLValueTransformer>> transformers;
    return transformers;
}
} // namespace

std::shared_ptr<MTLValueTransformer> MTLValueTransformer::transformerUsingForwardBlock(Block forward) {
    return std::make_shared<MTLValueTransformer>(std::move(forward));
}

std::shared_ptr<MTLValueTransformer> MTLValueTransformer::transformerUsingForwardBlock(Block forward,
                                                                                       Block reverse) {
    return std::make_shared<MTLValueTransformer>(std::move(forward), std::move(reverse));
}

std::shared_ptr<MTLValueTransformer>
MTLValueTransformer::valueMappingTransformer(std::vector<std::pair<nlohmann::json, nlohmann::json>> mapping) {
    auto table =
        std::make_shared<const std::vector<std::pair<nlohmann::json, nlohmann::json>>>(std::move(mapping));
    return std::make_shared<MTLValueTransformer>(
        [table](const nlohmann::json& v) -> nlohmann::json {
            for (const auto& [from, to] : *table)
                if (from == v) return to;
            return nullptr;
        },
        [table](const nlohmann::json& v) -> nlohmann::json {
            for (const auto& [from, to] : *table)
                if (to == v) return from;
            return nullptr;
        });
}

nlohmann::json MTLValueTransformer::transformedValue(const nlohmann::json& value) const {
    return forward_ ? forward_(value) : value;
}

nlohmann::json MTLValueTransformer::reverseTransformedValue(const nlohmann::json& value) const {
    return reverse_ ? reverse_(value) : nlohmann::json(nullptr);
}

void MTLValueTransformer::setValueTransformer(const std::string& name,
                                              std::shared_ptr<MTLValueTransformer> transformer) {
    std::lock_guard lock(gMutex);
    if (transformer)
        registry()[name] = std::move(transformer);
    else
        registry().erase(name);
}

std::shared_ptr<MTLValueTransformer> MTLValueTransformer::valueTransformerForName(const std::string& name) {
    std::lock_guard lock(gMutex);
    auto it = registry().find(name);
    return it == registry().end() ? nullptr : it->second;
}

std::vector<std::string> MTLValueTransformer::valueTransformerNames() {
    std::lock_guard lock(gMutex);
    std::vector<std::string> names;
    for (const auto& [n, t] : registry())
        names.push_back(n);
    return names;
}
