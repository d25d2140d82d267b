#include "MantleTestModels.h"

#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedUnarchiver.h"
#include "Mantle/MTLJSONAdapter.h"

#include <gtest/gtest.h>

namespace {

class MTLModelTest : public ::testing::Test {
protected:
    void SetUp() override { registerTestModels(); }

    static std::shared_ptr<TestServer> sampleServer() {
        auto s = std::make_shared<TestServer>();
        s->name = "web";
        s->ssh_host = "example.org";
        s->ssh_port = 2222;
        s->compression = true;
        auto t = std::make_shared<TestTunnel>();
        t->setType(TestTunnelType::dynamic);
        t->port = 1080;
        auto live = std::make_shared<TestLiveTunnel>();
        live->bind_address = "127.0.0.1";
        live->port = 8080;
        live->enabled = false;
        s->forwardings = {t, live};
        s->setComment("hello");
        return s;
    }
};

TEST_F(MTLModelTest, DictionaryFormCopyAndEqualityFollowThePropertyKeys) {
    auto s = sampleServer();
    EXPECT_EQ(
        s->propertyKeys(),
        (std::vector<std::string>{"uid", "name", "ssh_host", "ssh_port", "compression", "auto_connect",
                                  "address_familly", "forwardings", "methods", "comment", "session_name"}));
    auto d = s->dictionaryValue();
    EXPECT_EQ(d["ssh_port"], 2222);
    EXPECT_TRUE(d["compression"].is_boolean());
    EXPECT_TRUE(d["auto_connect"].is_null()) << "nil is null in the dictionary form";
    EXPECT_EQ(d["forwardings"][1]["$class"], "TestLiveTunnel");

    auto copy = s->copyAs<TestServer>();
    ASSERT_TRUE(copy);
    EXPECT_TRUE(*copy == *s);
    EXPECT_EQ(copy->uid, s->uid);
    EXPECT_EQ(copy->hash(), s->hash());
    EXPECT_EQ(copy->commentLength(), 5u) << "setters run when built from a dictionary";
    // Nested models are copied with their class, not shared.
    ASSERT_EQ(copy->forwardings.size(), 2u);
    EXPECT_NE(copy->forwardings[0].get(), s->forwardings[0].get());
    EXPECT_TRUE(std::dynamic_pointer_cast<TestLiveTunnel>(copy->forwardings[1]));
    copy->forwardings[0]->port = 1;
    EXPECT_EQ(s->forwardings[0]->port, 1080);
    EXPECT_FALSE(*copy == *s);

    // A nil that has a non-nil default stays nil through a copy.
    s->ssh_port.reset();
    EXPECT_FALSE(s->copyAs<TestServer>()->ssh_port);

    // Same values but another class: not equal.
    TestTunnel plain;
    TestLiveTunnel live;
    EXPECT_EQ(plain.dictionaryValue(), live.dictionaryValue());
    EXPECT_FALSE(plain == live);

    // Merging takes the values of the keys both classes have.
    TestTunnel target;
    target.mergeValuesForKeysFromModel(*s->forwardings[1]);
    EXPECT_EQ(target.port, 8080);
    EXPECT_FALSE(target.enabled);
}

TEST_F(MTLModelTest, InitialisationFromADictionaryKeepsDefaultsAndNormalisesNumbersAndBooleans) {
    Error error;
    auto s = MTLModel::modelWithDictionary<TestServer>({{"ssh_host", "h"},
                                                        {"compression", 1},
                                                        {"auto_connect", 0},
                                                        {"ssh_port", 22.0},
                                                        {"extra", "ignored"}},
                                                       &error);
    ASSERT_TRUE(s) << error.localizedDescription;
    EXPECT_EQ(s->compression, true);
    EXPECT_EQ(s->auto_connect, false);
    EXPECT_EQ(s->ssh_port, 22);
    EXPECT_EQ(s->address_familly, 2) << "keys not given keep the defaults";
    EXPECT_EQ(s->methods, std::vector<std::string>{"PASSWORD"});
    // JSON's true is not 1: the same profile from a number and from a boolean compares equal.
    auto fromBool = MTLModel::modelWithDictionary<TestServer>(
        {{"ssh_host", "h"}, {"compression", true}, {"auto_connect", false}, {"uid", s->uid}});
    ASSERT_TRUE(fromBool);
    EXPECT_TRUE(*fromBool == *s);
    EXPECT_TRUE(s->dictionaryValue()["compression"].is_boolean());

    TestTunnel t;
    ASSERT_TRUE(t.setValueForKey("type", true));
    EXPECT_EQ(t.type(), TestTunnelType::remote);
    EXPECT_TRUE(t.valueForKey("type").is_number());

    struct Bad {
        nlohmann::json dict;
        const char* key;
    };
    for (const auto& bad :
         {Bad{{{"ssh_port", "22"}}, "ssh_port"}, Bad{{{"ssh_port", 22.5}}, "ssh_port"},
          Bad{{{"compression", "yes"}}, "compression"}, Bad{{{"forwardings", {1}}}, "forwardings"},
          Bad{{{"forwardings", {{{"$class", "TestServer"}}}}}, "forwardings"},
          Bad{{{"forwardings", {{{"$class", "Nope"}}}}}, "forwardings"},
          Bad{{{"methods", "password"}}, "methods"}}) {
        Error e;
        EXPECT_FALSE(MTLModel::modelWithDictionary<TestServer>(bad.dict, &e)) << bad.dict.dump();
        EXPECT_EQ(e.code, MTLModel::ErrorInvalidValue);
        EXPECT_NE(e.localizedDescription.find(bad.key), std::string::npos) << e.localizedDescription;
    }
    Error e;
    EXPECT_FALSE(MTLModel::modelWithDictionary<TestTunnel>({{"port", 70000}}, &e)) << "port is 16-bit";
    EXPECT_FALSE(MTLModel::modelWithDictionary<TestTunnel>({{"port", -1}}, &e));
    EXPECT_FALSE(MTLModel::modelWithDictionary<TestServer>(nlohmann::json::array(), &e));
}

TEST_F(MTLModelTest, UnknownKeysFailUnlessTheClassIgnoresThemAndValidationCanRefuse) {
    Error error;
    auto strict = MTLModel::modelWithDictionary<TestStrict>({{"method_name", "PublicKey"}}, &error);
    ASSERT_TRUE(strict);
    EXPECT_EQ(strict->method_name, "publickey");
    EXPECT_FALSE(MTLModel::modelWithDictionary<TestStrict>({{"method_name", "x"}}, &error));
    EXPECT_EQ(error.code, MTLModel::ErrorValidationFailed);
    EXPECT_FALSE(
        MTLModel::modelWithDictionary<TestStrict>({{"method_name", "password"}, {"other", 1}}, &error));
    EXPECT_EQ(error.code, MTLModel::ErrorUnknownKey);
    EXPECT_NE(error.localizedDescription.find("other"), std::string::npos);
    TestStrict s;
    EXPECT_FALSE(s.setValueForKey("nothing", 1));

    TestTunnel t;
    EXPECT_TRUE(t.setValueForKey("nothing", 1)) << "this class drops unknown keys";
    EXPECT_TRUE(t.valueForKey("nothing").is_null());
    EXPECT_TRUE(MTLModel::modelWithDictionary<TestTunnel>({{"port", 1}, {"unknown", {1, 2}}}));
}

TEST_F(MTLModelTest, LegacyKeysAreMigratedOnEveryPathThroughADictionary) {
    auto s = MTLModel::modelWithDictionary<TestServer>({{"session_name", "old name"}});
    ASSERT_TRUE(s);
    EXPECT_EQ(s->name, "old name");
    EXPECT_TRUE(s->session_name.is_null());
    auto json = MTLJSONAdapter().modelOfClass<TestServer>({{"session_name", "from json"}});
    ASSERT_TRUE(json);
    EXPECT_EQ(json->name, "from json");
    nlohmann::json archive = {
        {"$archiver", "OrvikKeyedArchive"},
        {"$version", 1},
        {"$root", {{"$class", "TestServer"}, {"$modelVersion", 1}, {"session_name", "archived"}}}};
    auto decoded = KeyedUnarchiver::unarchiveObjectOfClass<TestServer>(archive);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->name, "archived");
}

TEST_F(MTLModelTest, SettingAValueByKeySendsChangeNotices) {
    TestServer s;
    std::vector<std::string> heard;
    auto all = s.addObserver(
        "",
        [&](const std::string& key, bool prior) {
            heard.push_back(std::string(prior ? "will " : "did ").append(key));
        },
        true);
    ASSERT_TRUE(s.setValueForKey("comment", "abc"));
    EXPECT_EQ(s.commentLength(), 3u);
    EXPECT_EQ(heard, (std::vector<std::string>{"will comment", "will commentLength", "did commentLength",
                                               "did comment"}));
}

TEST_F(MTLModelTest, JSONUsesKeyMapsAndTransformersAndOmitsNil) {
    auto s = sampleServer();
    s->address_familly = 1;
    s->methods = {"PASSWORD", "PUBLICKEY"};
    MTLJSONAdapter adapter;
    Error error;
    auto json = adapter.JSONDictionaryFromModel(*s, &error);
    ASSERT_TRUE(json) << error.localizedDescription;
    const nlohmann::json expected = {
        {"name", "web"},
        {"ssh_host", "example.org"},
        {"ssh_port", 2222},
        {"compression", true},
        {"address_familly", "ipv6"},
        {"forwardings",
         {{{"type", "dynamic"}, {"listen_port", 1080}, {"enabled", true}},
          {{"type", "local"}, {"bind_address", "127.0.0.1"}, {"listen_port", 8080}, {"enabled", false}}}},
        {"methods", {"password", "publickey"}},
        {"comment", "hello"},
    };
    EXPECT_EQ(*json, expected) << json->dump(1);

    auto back = adapter.modelOfClass<TestServer>(nlohmann::json::parse(json->dump()), &error);
    ASSERT_TRUE(back) << error.localizedDescription;
    EXPECT_NE(back->uid, s->uid) << "the identity is not in JSON";
    back->uid = s->uid;
    // The live subclass comes back as the declared class, with the same values.
    ASSERT_EQ(back->forwardings.size(), 2u);
    EXPECT_EQ(back->forwardings[1]->dictionaryValue(), s->forwardings[1]->dictionaryValue());
    back->forwardings[1] = s->forwardings[1];
    EXPECT_TRUE(*back == *s);

    // Unknown enumeration strings give nil; unknown names are dropped by the
    // named transformer; unknown JSON keys are ignored.
    auto odd = adapter.modelOfClass<TestServer>(
        {{"address_familly", "ipx"}, {"methods", {"Password", "junk"}}, {"whatever", 1}}, &error);
    ASSERT_TRUE(odd);
    EXPECT_FALSE(odd->address_familly);
    EXPECT_EQ(odd->methods, std::vector<std::string>{"PASSWORD"});

    // Wrong types are errors, never crashes.
    for (const auto& bad : {nlohmann::json{{"ssh_port", "x"}}, nlohmann::json{{"forwardings", "x"}},
                            nlohmann::json{{"forwardings", {{{"listen_port", "x"}}}}}, nlohmann::json(42),
                            nlohmann::json{{"forwardings", {7}}}}) {
        Error e;
        EXPECT_FALSE(adapter.modelOfClass<TestServer>(bad, &e)) << bad.dump();
        EXPECT_FALSE(e.localizedDescription.empty());
    }

    // Arrays of models, null elements kept.
    auto array =
        adapter.JSONArrayFromModels(std::vector<std::shared_ptr<TestTunnel>>{s->forwardings[0], nullptr});
    ASSERT_TRUE(array);
    EXPECT_EQ((*array)[1], nullptr);
    auto models = adapter.modelsOfClass<TestTunnel>(*array);
    ASSERT_TRUE(models);
    EXPECT_TRUE(*(*models)[0] == *s->forwardings[0]);
    EXPECT_EQ((*models)[1], nullptr);
}

TEST_F(MTLModelTest, AdaptersCanNarrowTheWrittenKeys) {
    struct NoHost : MTLJSONAdapter {
        std::vector<std::string> serializablePropertyKeys(const std::vector<std::string>& keys,
                                                          const MTLModel& model) const override {
            auto base = MTLJSONAdapter::serializablePropertyKeys(keys, model);
            std::erase(base, "ssh_host");
            return base;
        }
    };
    auto json = NoHost().JSONDictionaryFromModel(*sampleServer());
    ASSERT_TRUE(json);
    EXPECT_FALSE(json->contains("ssh_host"));
    EXPECT_TRUE(json->contains("name"));

    // A transformer that cannot reverse makes writing fail clearly.
    MTLValueTransformer::setValueTransformer(
        "TestUpperCaseArray",
        MTLValueTransformer::transformerUsingForwardBlock([](const nlohmann::json& v) { return v; }));
    Error error;
    EXPECT_FALSE(MTLJSONAdapter().JSONDictionaryFromModel(*sampleServer(), &error));
    EXPECT_EQ(error.code, MTLJSONAdapter::ErrorNoReverseTransformer);
    registerTestModels();
    EXPECT_TRUE(MTLJSONAdapter().JSONDictionaryFromModel(*sampleServer()));
}

TEST_F(MTLModelTest, ArchivesRoundTripModelsWithTheirClassesAndLegacyNames) {
    std::vector<std::shared_ptr<TestServer>> servers{sampleServer(), std::make_shared<TestServer>()};
    auto data = nlohmann::json::parse(KeyedArchiver::archivedDataWithArray(servers).dump());
    EXPECT_EQ(data["$root"][0]["$modelVersion"], 150300);
    Error error;
    auto decoded = KeyedUnarchiver::unarchiveArrayOfClass<TestServer>(data, &error);
    ASSERT_TRUE(decoded) << error.localizedDescription;
    ASSERT_EQ(decoded->size(), 2u);
    EXPECT_TRUE(*(*decoded)[0] == *servers[0]);
    EXPECT_TRUE(*(*decoded)[1] == *servers[1]);
    EXPECT_TRUE(std::dynamic_pointer_cast<TestLiveTunnel>((*decoded)[0]->forwardings[1]));

    // A profile read from JSON and the same profile read from an archive compare equal.
    MTLJSONAdapter adapter;
    auto viaJSON = adapter.modelOfClass<TestServer>(*adapter.JSONDictionaryFromModel(*servers[1]));
    viaJSON->uid = servers[1]->uid;
    EXPECT_TRUE(*viaJSON == *(*decoded)[1]);

    // An archive written under an earlier class name.
    nlohmann::json legacy = {{"$archiver", "OrvikKeyedArchive"},
                             {"$version", 1},
                             {"$root", {{{"$class", "KvTestTunnel"}, {"port", 22}, {"type", 1}}}}};
    auto tunnels = KeyedUnarchiver::unarchiveArrayOfClass<TestTunnel>(legacy, &error);
    ASSERT_TRUE(tunnels) << error.localizedDescription;
    EXPECT_EQ((*tunnels)[0]->type(), TestTunnelType::remote);
    EXPECT_EQ((*tunnels)[0]->archiveClassName(), "TestTunnel");
    // Nested models may carry the legacy name too.
    auto withLegacy = MTLModel::modelWithDictionary<TestServer>(
        {{"forwardings", {{{"$class", "KvTestTunnel"}, {"port", 9}}}}}, &error);
    ASSERT_TRUE(withLegacy) << error.localizedDescription;
    EXPECT_EQ(withLegacy->forwardings[0]->port, 9);

    // One undecodable model makes the whole archive fail.
    data["$root"][1]["ssh_port"] = "not a port";
    EXPECT_FALSE(KeyedUnarchiver::unarchiveArrayOfClass<TestServer>(data, &error));
    EXPECT_EQ(error.domain, MTLModel::ErrorDomain);
    EXPECT_NE(error.localizedDescription.find("ssh_port"), std::string::npos);
    // A model that fails its own validation does too.
    nlohmann::json strict = {{"$archiver", "OrvikKeyedArchive"},
                             {"$version", 1},
                             {"$root", {{{"$class", "TestStrict"}, {"method_name", "bogus"}}}}};
    EXPECT_FALSE(KeyedUnarchiver::unarchiveArrayOfClass<TestStrict>(strict, &error));
}

TEST_F(MTLModelTest, ValueMappingTransformersGiveNilForValuesOutsideTheirTable) {
    auto t = MTLValueTransformer::valueMappingTransformer({{"socks5", 0}, {"socks4", 1}, {"https", 4}});
    EXPECT_EQ(t->transformedValue("https"), 4);
    EXPECT_EQ(t->transformedValue("ftp"), nullptr);
    EXPECT_EQ(t->transformedValue(nullptr), nullptr);
    EXPECT_EQ(t->reverseTransformedValue(1), "socks4");
    EXPECT_EQ(t->reverseTransformedValue(nlohmann::json::parse("1")), "socks4");
    EXPECT_EQ(t->reverseTransformedValue(true), nullptr) << "true is not 1";
    EXPECT_EQ(t->reverseTransformedValue(9), nullptr);
    EXPECT_TRUE(t->allowsReverseTransformation());

    MTLValueTransformer::setValueTransformer(
        "TestCount",
        MTLValueTransformer::transformerUsingForwardBlock([](const nlohmann::json& v) { return v.size(); }));
    auto named = MTLValueTransformer::valueTransformerForName("TestCount");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->transformedValue({1, 2, 3}), 3);
    EXPECT_FALSE(named->allowsReverseTransformation());
    EXPECT_FALSE(MTLValueTransformer::valueTransformerForName("NoSuchTransformer"));
}

} // namespace
