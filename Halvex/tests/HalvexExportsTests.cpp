#include "Halvex/HalvexAuthMethodModel.h"
#include "Halvex/HalvexExports.h"
#include "Halvex/HalvexSessionModel.h"
#include "Mantle/MTLValueTransformer.h"

#include <gtest/gtest.h>

using json = nlohmann::json;

namespace {
json transform(const std::string& name, const json& value) {
    auto t = MTLValueTransformer::valueTransformerForName(name);
    EXPECT_NE(t, nullptr) << name;
    return t ? t->transformedValue(value) : json("missing");
}
} // namespace

TEST(HalvexExports, ValueTransformersAreRegisteredByName) {
    HalvexInitRegisterValueTransformers();
    EXPECT_EQ(transform("HalvexPrivateKeyEncryptedStatusImage", 1), "NSImageNameLockLockedTemplate");
    EXPECT_TRUE(transform("HalvexPrivateKeyEncryptedStatusImage", 0).is_null());
    EXPECT_TRUE(transform("HalvexPrivateKeyEncryptedStatusImage", nullptr).is_null());
    EXPECT_EQ(transform("HalvexPrivateKeyKeychainStatusImage", true), "NSImageNameMenuOnStateTemplate");
    EXPECT_TRUE(transform("HalvexPrivateKeyKeychainStatusImage", -3).is_null());
    EXPECT_EQ(transform("HalvexPortForwardingTypeIsDynamic", 2), 1);
    EXPECT_EQ(transform("HalvexPortForwardingTypeIsDynamic", 0), 0);

    for (const auto& [count, eq1, gt1, ge1] : {std::tuple{0, 0, 0, 0}, {1, 1, 0, 1}, {3, 0, 1, 1}}) {
        json array = json::array();
        for (int i = 0; i < count; ++i)
            array.push_back(i);
        EXPECT_EQ(transform("KvIsCountEQ1", array), eq1) << count;
        EXPECT_EQ(transform("KvIsCountGT1", array), gt1) << count;
        EXPECT_EQ(transform("KvIsCountGE1", array), ge1) << count;
    }
    EXPECT_EQ(transform("KvIsCountGE1", nullptr), 0);

    json values = transform("HalvexDictionaryToValuesArray", {{"a", 1}, {"b", "two"}});
    ASSERT_TRUE(values.is_array());
    EXPECT_EQ(values.size(), 2u);
    EXPECT_EQ(transform("HalvexTurnOnTitleFromCanTurnOn", true), "Turn On");
    EXPECT_EQ(transform("HalvexTurnOnTitleFromCanTurnOn", false), "Turn Off");
    EXPECT_EQ(transform("HalvexServiceNameFromPortNumber", 22), "(ssh)");
    EXPECT_EQ(transform("HalvexServiceNameFromPortNumber", 47123), "");
    EXPECT_EQ(transform("HalvexServiceNameFromPortNumber", "22"), "");
    EXPECT_EQ(transform("ProfilePreviewImageName", "Solarized"), "preview_Solarized");
    EXPECT_TRUE(transform("ProfilePreviewImageName", 4).is_null());
}

TEST(HalvexExports, AuthMethodsTransformerJoinsDisplayNames) {
    HalvexInitRegisterValueTransformers();
    // As a binding passes a profile's methods: in their dictionary form.
    HalvexSessionModel p;
    p.setAuth_methods(HalvexSessionModel::AuthMethods{HalvexAuthMethodModel::sharedPublickeyAutheMethod(),
                                                      HalvexAuthMethodModel::sharedPasswordAutheMethod()});
    EXPECT_EQ(transform("HalvexAuthMethods", p.valueForKey("auth_methods")), "Public-key, Password");
    EXPECT_EQ(transform("HalvexAuthMethods", json::array()), "");
    EXPECT_EQ(transform("HalvexAuthMethods", json::array({"kbd-interactive", "carrier", nullptr})),
              "Interactive");
}

TEST(HalvexExports, BundleLookupsAreStableAndFindNothingThatIsNotThere) {
    const HalvexBundle* first = HalvexGetBundle();
    EXPECT_EQ(first, HalvexGetBundle());
    EXPECT_EQ(HalvexGetNibPath("NoSuchInterface"), std::nullopt);
    HalvexLoadBundle();
    EXPECT_FALSE(HalvexMainBundleResourcePath().empty());
    EXPECT_GT(HalvexVersionNumber, 0.0);
    EXPECT_NE(std::string(HalvexVersionString).find("Halvex"), std::string::npos);
}
