#pragma once

#include "Mantle/MTLModel.h"
#include "Mantle/MTLValueTransformer.h"

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

enum HalvexAuthMethodType : std::int64_t {
    HalvexAuthMethodTypePassword = 0,
    HalvexAuthMethodTypePublicKey = 1,
    HalvexAuthMethodTypeInteractive = 2,
};

// One SSH user-authentication method of a server profile. Only the name is
// stored; the display name and the type follow from it. Initialisation from a
// dictionary (archives and copies included) normalises the many spellings of
// older versions and backups to "password", "publickey" or
// "keyboard-interactive", and fails for any other name.
class HalvexAuthMethodModel : public MTLModel {
    MTL_MODEL_DECLARE(HalvexAuthMethodModel)
public:
    // The process-wide instances used by new profiles, the candidate list and
    // legacy migration. Treat them as constants.
    static std::shared_ptr<HalvexAuthMethodModel> sharedPasswordAutheMethod();
    static std::shared_ptr<HalvexAuthMethodModel> sharedPublickeyAutheMethod();
    static std::shared_ptr<HalvexAuthMethodModel> sharedInteractiveAutheMethod();

    // initWithDictionary with {"method_name": name}: null for an unknown name.
    static std::shared_ptr<HalvexAuthMethodModel> modelWithMethodName(const nlohmann::json& name,
                                                                      Error* error = nullptr);

    const std::optional<std::string>& method_name() const { return method_name_; }
    void setMethod_name(std::optional<std::string> name) { method_name_ = std::move(name); }
    const std::string& localizedMethodName() const { return localizedMethodName_; }
    HalvexAuthMethodType methodType() const { return methodType_; }

    // {"keyboard-interactive": 2, "publickey": 1, "password": 0}.
    static nlohmann::json mappingDictionary();
    // Between an array of method names (JSON side) and an array of encoded
    // models (model side); unknown names are dropped, nulls kept in place.
    static std::shared_ptr<MTLValueTransformer> authMethodArrayTransformer();

    // The canonical name for any accepted spelling, nullopt for the rest.
    static std::optional<std::string> canonicalMethodName(const std::string& name);

protected:
    bool didInitWithDictionary(const nlohmann::json& dictionary, Error* error) override;

private:
    std::optional<std::string> method_name_;
    std::string localizedMethodName_;
    HalvexAuthMethodType methodType_ = HalvexAuthMethodTypePassword;
};
