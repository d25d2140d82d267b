#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

// A value transformer between a JSON form and a model form. Both sides are JSON
// values; on the model side, a nested model is its encoded dictionary (see
// MTLModel::encodeWithCoder) and nil is null. Named transformers are registered
// process-wide (thread-safe) for whoever binds through them by name.
class MTLValueTransformer {
public:
    using Block = std::function<nlohmann::json(const nlohmann::json&)>;

    MTLValueTransformer(Block forward, Block reverse = nullptr)
        : forward_(std::move(forward)), reverse_(std::move(reverse)) {}
    virtual ~MTLValueTransformer() = default;

    static std::shared_ptr<MTLValueTransformer> transformerUsingForwardBlock(Block forward);
    static std::shared_ptr<MTLValueTransformer> transformerUsingForwardBlock(Block forward, Block reverse);
    // Maps each first value to its second, and back; a value in neither column
    // gives null, in both directions. The first matching pair wins.
    static std::shared_ptr<MTLValueTransformer>
    valueMappingTransformer(std::vector<std::pair<nlohmann::json, nlohmann::json>> mapping);

    virtual nlohmann::json transformedValue(const nlohmann::json& value) const;
    virtual nlohmann::json reverseTransformedValue(const nlohmann::json& value) const;
    virtual bool allowsReverseTransformation() const { return static_cast<bool>(reverse_); }

    // Registration by name (a later registration replaces an earlier one).
    static void setValueTransformer(const std::string& name,
                                    std::shared_ptr<MTLValueTransformer> transformer);
    static std::shared_ptr<MTLValueTransformer> valueTransformerForName(const std::string& name);
    static std::vector<std::string> valueTransformerNames();

private:
    Block forward_;
    Block reverse_;
};
