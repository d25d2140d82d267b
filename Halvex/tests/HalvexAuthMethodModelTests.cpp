#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedUnarchiver.h"
#include "Halvex/HalvexAuthMethod.h"
#include "Halvex/HalvexAuthMethodModel.h"

#include <gtest/gtest.h>

using json = nlohmann::json;

TEST(HalvexAuthMethodModel, EverySpellingNormalisesToOneOfThreeMethodsInAnyCase) {
    struct Case {
        const char* given;
        const char* canonical;
        const char* display;
        HalvexAuthMethodType type;
    };
    const Case cases[] = {
        {"password", "password", "Password", HalvexAuthMethodTypePassword},
        {"PassWord", "password", "Password", HalvexAuthMethodTypePassword},
        {"interactive", "keyboard-interactive", "Interactive", HalvexAuthMethodTypeInteractive},
        {"KBD-INTERACTIVE", "keyboard-interactive", "Interactive", HalvexAuthMethodTypeInteractive},
        {"keyboardinteractive", "keyboard-interactive", "Interactive", HalvexAuthMethodTypeInteractive},
        {"Keyboard Interactive", "keyboard-interactive", "Interactive", HalvexAuthMethodTypeInteractive},
        {"kbd interactive", "keyboard-interactive", "Interactive", HalvexAuthMethodTypeInteractive},
        {"kbdinteractive", "keyboard-interactive", "Interactive", HalvexAuthMethodTypeInteractive},
        {"publickey", "publickey", "Public-key", HalvexAuthMethodTypePublicKey},
        {"Public Key", "publickey", "Public-key", HalvexAuthMethodTypePublicKey},
        {"PUBLIC-KEY", "publickey", "Public-key", HalvexAuthMethodTypePublicKey},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        auto m = HalvexAuthMethodModel::modelWithMethodName(c.given);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->method_name(), c.canonical);
        EXPECT_EQ(m->localizedMethodName(), c.display);
        EXPECT_EQ(m->methodType(), c.type);
        // Re-encoding writes the canonical name.
        EXPECT_EQ(m->dictionaryValue(), json({{"method_name", c.canonical}}));
    }
}

TEST(HalvexAuthMethodModel, UnknownMissingOrMistypedNamesFailTheInitialisation) {
    for (const json& name : {json("hostbased"), json(""), json("public_key"), json(nullptr), json(2)}) {
        SCOPED_TRACE(name.dump());
        Error error;
        EXPECT_EQ(HalvexAuthMethodModel::modelWithMethodName(name, &error), nullptr);
        EXPECT_FALSE(error.localizedDescription.empty());
    }
    EXPECT_EQ(MTLModel::modelWithDictionary<HalvexAuthMethodModel>(json::object()), nullptr);
}

TEST(HalvexAuthMethodModel, SharedInstancesAreSingleAndEqualToDecodedCopies) {
    auto password = HalvexAuthMethodModel::sharedPasswordAutheMethod();
    EXPECT_EQ(password, HalvexAuthMethodModel::sharedPasswordAutheMethod());
    EXPECT_EQ(HalvexAuthMethodModel::sharedPublickeyAutheMethod()->methodType(),
              HalvexAuthMethodTypePublicKey);
    EXPECT_EQ(HalvexAuthMethodModel::sharedInteractiveAutheMethod()->method_name(), "keyboard-interactive");

    auto decoded = HalvexAuthMethodModel::modelWithMethodName("PASSWORD");
    EXPECT_NE(decoded, password);
    EXPECT_TRUE(decoded->isEqual(*password));
    EXPECT_FALSE(decoded->isEqual(*HalvexAuthMethodModel::sharedPublickeyAutheMethod()));
    EXPECT_EQ(HalvexAuthMethodModel::classDescription().propertyKeys(),
              std::vector<std::string>{"method_name"});

    EXPECT_EQ(HalvexAuthMethodModel::mappingDictionary(),
              json({{"keyboard-interactive", 2}, {"publickey", 1}, {"password", 0}}));
}

TEST(HalvexAuthMethodModel, ArchivesNamingTheOldClassDecodeToTheCurrentOne) {
    json archive =
        KeyedArchiver::archivedDataWithRootObject(*HalvexAuthMethodModel::sharedPublickeyAutheMethod());
    archive["$root"]["$class"] = "HalvexAuthMethod";
    archive["$root"]["method_name"] = "Public Key";
    Error error;
    auto decoded = KeyedUnarchiver::unarchiveObjectOfClass<HalvexAuthMethodModel>(archive, &error);
    ASSERT_NE(decoded, nullptr) << error.localizedDescription;
    EXPECT_EQ(decoded->method_name(), "publickey");
    EXPECT_EQ(decoded->localizedMethodName(), "Public-key");
    EXPECT_TRUE(decoded->isEqual(*HalvexAuthMethodModel::sharedPublickeyAutheMethod()));
    // An archive with an unknown method fails instead of giving a half-made one.
    archive["$root"]["method_name"] = "telepathy";
    EXPECT_EQ(KeyedUnarchiver::unarchiveObjectWithData(archive, &error), nullptr);
}

TEST(HalvexAuthMethodModel, ArrayTransformerDropsUnknownNamesAndKeepsNullsInPlace) {
    auto t = HalvexAuthMethodModel::authMethodArrayTransformer();
    ASSERT_TRUE(t->allowsReverseTransformation());

    json models = t->transformedValue(json::array({"password", "ssh-agent-magic", nullptr, "PublicKey"}));
    ASSERT_TRUE(models.is_array());
    ASSERT_EQ(models.size(), 3u);
    EXPECT_EQ(models[0]["method_name"], "password");
    EXPECT_TRUE(models[1].is_null());
    EXPECT_EQ(models[2]["method_name"], "publickey");

    EXPECT_EQ(t->reverseTransformedValue(models), json::array({"password", nullptr, "publickey"}));
    EXPECT_TRUE(t->transformedValue(nullptr).is_null());
    EXPECT_TRUE(t->reverseTransformedValue(nullptr).is_null());
    // Junk instead of an array, and elements that are not names.
    EXPECT_TRUE(t->transformedValue("password").is_null());
    EXPECT_EQ(t->transformedValue(json::array({1, json::object(), "kbd-interactive"})).size(), 1u);
}
