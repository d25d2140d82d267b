#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedUnarchiver.h"
#include "Halvex/HalvexJSONAdapter.h"
#include "Halvex/HalvexSessionModel.h"
#include "Wendle/VyNetworkInterface.h"

#include <gtest/gtest.h>

using json = nlohmann::json;

namespace {
std::vector<std::string> methodNames(const HalvexSessionModel& p) {
    std::vector<std::string> names;
    for (const auto& m : p.auth_methods().value_or(HalvexSessionModel::AuthMethods{}))
        names.push_back(m ? m->method_name().value_or("?") : "null");
    return names;
}

std::shared_ptr<HalvexSessionModel> fullProfile() {
    auto p = std::make_shared<HalvexSessionModel>();
    p->setName("Build box");
    p->ssh_host = "build.example.org";
    p->ssh_user = "ci";
    p->ssh_port = 2222;
    p->setAuth_methods(
        HalvexSessionModel::AuthMethods{HalvexAuthMethodModel::sharedPublickeyAutheMethod(),
                                        HalvexAuthMethodModel::sharedInteractiveAutheMethod()});
    p->private_key = "KEY-1";
    p->auto_connect = true;
    p->comment = "ünïcode comment";
    p->proxy_command = true;
    p->proxy_command_type = 3;
    p->proxy_command_host = "proxy.example.org";
    p->proxy_command_port = 1080;
    p->proxy_command_auth = true;
    p->proxy_command_username = "u";
    p->proxy_command_password = "p";
    p->compression = true;
    p->address_familly = 1;
    p->connect_interface = "eth0";
    p->connection_attempts = 5;
    p->ciphers = "aes256-ctr";
    p->hostkey_algorithms = "ssh-ed25519";
    p->key_exchange_algorithms = "curve25519-sha256";
    auto f = std::make_shared<HalvexForwardingModel>();
    f->port = 8080;
    f->host = "intranet";
    f->hostport = 80;
    p->forwardings = HalvexSessionModel::Forwardings{f};
    return p;
}
} // namespace

TEST(HalvexSessionModel, NewProfileDefaultsAndItsJSON) {
    HalvexSessionModel p;
    ASSERT_TRUE(p.uid);
    EXPECT_EQ(p.uid->size(), 36u);
    EXPECT_NE(p.uid, HalvexSessionModel().uid);
    EXPECT_EQ(p.propertyKeys().size(), 39u);
    EXPECT_EQ(p.authMethod(), HalvexAuthMethodModel::sharedPasswordAutheMethod());
    EXPECT_TRUE(p.isPasswordAllowed());
    EXPECT_FALSE(p.isPublicKeyAllowed());
    p.ssh_user = "me";
    p.ssh_host = "example.org";

    auto j = HalvexJSONAdapter().JSONDictionaryFromModel(p);
    ASSERT_TRUE(j);
    EXPECT_EQ(*j, json({{"name", "me@example.org:22"},
                        {"forwardings", json::array()},
                        {"ssh_host", "example.org"},
                        {"ssh_user", "me"},
                        {"ssh_port", 22},
                        {"auth_methods", {"password"}},
                        {"check_host_ip", true},
                        {"compression", false},
                        {"strict_hostkey_checking", true},
                        {"address_familly", "any"},
                        {"connection_attempts", 999},
                        {"connection_timeout", 15},
                        {"server_alive_count_max", 3}}));
    // The generated name is kept from then on.
    p.ssh_host = "other.example.org";
    EXPECT_EQ(p.name(), "me@example.org:22");
}

TEST(HalvexSessionModel, ProfilesSurviveJSONAndArchivesAndBothReadsCompareEqual) {
    auto original = fullProfile();
    original->gateway_ports = false; // a legacy value that migration keeps
    HalvexJSONAdapter adapter;
    Error error;
    auto j = adapter.JSONDictionaryFromModel(*original, &error);
    ASSERT_TRUE(j) << error.localizedDescription;
    EXPECT_FALSE(j->contains("uid"));
    EXPECT_EQ((*j)["proxy_command_type"], "socks4a");
    EXPECT_EQ((*j)["address_familly"], "ipv6");
    EXPECT_EQ((*j)["auth_methods"], json({"publickey", "keyboard-interactive"}));
    EXPECT_EQ((*j)["forwardings"][0]["type"], "local");
    EXPECT_EQ((*j)["gateway_ports"], false);

    // Through text, as a backup file carries it.
    auto fromJSON = adapter.modelOfClass<HalvexSessionModel>(json::parse(j->dump()), &error);
    ASSERT_NE(fromJSON, nullptr) << error.localizedDescription;
    auto archive = KeyedArchiver::archivedDataWithRootObject(*original);
    auto fromArchive =
        KeyedUnarchiver::unarchiveObjectOfClass<HalvexSessionModel>(json::parse(archive.dump()), &error);
    ASSERT_NE(fromArchive, nullptr) << error.localizedDescription;

    EXPECT_TRUE(fromArchive->isEqual(*original)) << "archives keep every key, uid included";
    EXPECT_TRUE(fromJSON->isIdentical(*original));
    EXPECT_TRUE(fromJSON->isIdentical(*fromArchive));
    EXPECT_NE(fromJSON->uid, original->uid);
    fromJSON->uid = original->uid;
    EXPECT_TRUE(fromJSON->isEqual(*fromArchive));
    EXPECT_EQ(methodNames(*fromJSON), (std::vector<std::string>{"publickey", "keyboard-interactive"}));
    EXPECT_EQ(fromJSON->gateway_ports, false);
    EXPECT_EQ(fromArchive->gateway_ports, false);
    EXPECT_TRUE(fromJSON->isInteractiveAllowed());
    EXPECT_FALSE(fromJSON->isPasswordAllowed());
    ASSERT_EQ(fromJSON->forwardings->size(), 1u);
    EXPECT_EQ(fromJSON->forwardings->front()->description(), "-L 8080:intranet:80");
}

TEST(HalvexSessionModel, LegacyKeysMigrateWhereverAProfileIsMadeFromADictionary) {
    const json legacy = {{"session_name", "Old name"},
                         {"session_id", "S-1"},
                         {"proxy_id", "P-1"},
                         {"forward_port", 9000},
                         {"privatekey_path", "/x"},
                         {"enable_compression", 1},
                         {"tunnel_id", "T-1"},
                         {"gateway_ports", true},
                         {"connect_timeout", 40},
                         {"auth_method", 1},
                         {"ssh_host", "legacy.host"},
                         {"connect_interface", "com.brimble.network_interface.automatic"},
                         {"forwardings", {{{"type", 0}, {"port", 80}, {"host", "h"}, {"hostport", 80}}}},
                         {"long_gone_key", "ignored"}};
    auto check = [](const HalvexSessionModel& p) {
        EXPECT_EQ(p.uid, "T-1") << "later steps win";
        EXPECT_EQ(p.name(), "Old name");
        EXPECT_EQ(p.compression, true);
        EXPECT_EQ(p.connection_timeout, 40);
        EXPECT_EQ(methodNames(p), std::vector<std::string>{"publickey"});
        EXPECT_TRUE(p.isPublicKeyAllowed());
        EXPECT_FALSE(p.isPasswordAllowed());
        EXPECT_FALSE(p.connect_interface);
        ASSERT_TRUE(p.forwardings && p.forwardings->size() == 1);
        EXPECT_EQ(p.forwardings->front()->bind_address, "*");
        for (const char* key : {"session_name", "session_id", "proxy_id", "forward_port", "privatekey_path",
                                "enable_compression", "tunnel_id", "tunnel_name", "gateway_ports",
                                "connect_timeout", "auth_method"})
            EXPECT_TRUE(p.valueForKey(key).is_null()) << key;
    };
    Error error;
    auto fromDictionary = MTLModel::modelWithDictionary<HalvexSessionModel>(legacy, &error);
    ASSERT_NE(fromDictionary, nullptr) << error.localizedDescription;
    check(*fromDictionary);

    // An archive written by an older version, under its old nested class names.
    json encoded = legacy;
    encoded["$class"] = "HalvexSessionModel";
    encoded["auth_methods"] = {{{"$class", "HalvexAuthMethod"}, {"method_name", "password"}}};
    json archive = {{"$archiver", "OrvikKeyedArchive"}, {"$version", 1}, {"$root", encoded}};
    auto fromArchive = KeyedUnarchiver::unarchiveObjectOfClass<HalvexSessionModel>(archive, &error);
    ASSERT_NE(fromArchive, nullptr) << error.localizedDescription;
    check(*fromArchive);
    // The copy of a migrated profile is the same profile.
    EXPECT_TRUE(fromArchive->copyAs<HalvexSessionModel>()->isEqual(*fromArchive));

    // Legacy names in JSON: the method arrives by name.
    auto fromJSON = HalvexJSONAdapter().modelOfClass<HalvexSessionModel>(
        {{"auth_method", "keyboard-interactive"}, {"tunnel_name", "Tunnel"}, {"session_id", 77}}, &error);
    ASSERT_NE(fromJSON, nullptr) << error.localizedDescription;
    EXPECT_EQ(methodNames(*fromJSON), std::vector<std::string>{"keyboard-interactive"});
    EXPECT_EQ(fromJSON->name(), "Tunnel");
    EXPECT_EQ(fromJSON->uid, "77");
}

TEST(HalvexSessionModel, LegacyMethodKeepsTwoOrMoreMethodsAndFalseGatewayPortsStays) {
    auto p = MTLModel::modelWithDictionary<HalvexSessionModel>(
        {{"auth_method", 0},
         {"auth_methods", {{{"method_name", "publickey"}}, {{"method_name", "kbd-interactive"}}}},
         {"gateway_ports", false},
         {"forwardings", {{{"port", 1}}}}});
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(methodNames(*p), (std::vector<std::string>{"publickey", "keyboard-interactive"}));
    EXPECT_EQ(p->gateway_ports, false);
    EXPECT_FALSE(p->forwardings->front()->bind_address);

    // Any other number means keyboard-interactive.
    auto q = MTLModel::modelWithDictionary<HalvexSessionModel>({{"auth_method", 9}});
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(methodNames(*q), std::vector<std::string>{"keyboard-interactive"});
}

TEST(HalvexSessionModel, ImportedJSONWithBadValuesIsHandledWithoutCrashing) {
    HalvexJSONAdapter adapter;
    Error error;
    // Unknown enumeration strings read as nil; missing keys keep the defaults.
    auto p = adapter.modelOfClass<HalvexSessionModel>(
        {{"ssh_host", "h"}, {"proxy_command_type", "carrier-pigeon"}, {"address_familly", "ipv5"}}, &error);
    ASSERT_NE(p, nullptr) << error.localizedDescription;
    EXPECT_FALSE(p->proxy_command_type);
    EXPECT_FALSE(p->address_familly);
    EXPECT_EQ(p->ssh_port, 22);
    EXPECT_EQ(methodNames(*p), std::vector<std::string>{"password"});
    EXPECT_EQ(p->description(), "ssh -p 22 @h");

    auto https = adapter.modelOfClass<HalvexSessionModel>({{"proxy_command_type", "https"}});
    ASSERT_NE(https, nullptr);
    EXPECT_EQ(https->proxy_command_type, 4);
    EXPECT_EQ(https->proxyCommandTypes().size(), 4u) << "type 4 has no display name";

    // Method lists with junk keep what can be read.
    auto methods =
        adapter.modelOfClass<HalvexSessionModel>({{"auth_methods", {"password", 12, "x", "publickey"}}});
    ASSERT_NE(methods, nullptr);
    EXPECT_EQ(methodNames(*methods), (std::vector<std::string>{"password", "publickey"}));
    auto noMethods = adapter.modelOfClass<HalvexSessionModel>({{"auth_methods", "password"}});
    ASSERT_NE(noMethods, nullptr);
    EXPECT_EQ(noMethods->authMethod(), nullptr);

    // Values of the wrong kind and junk documents fail with an error naming
    // the problem.
    const json bad[] = {json({{"ssh_port", "22"}}),
                        json({{"check_host_ip", "yes"}}),
                        json({{"forwardings", "none"}}),
                        json({{"forwardings", {42}}}),
                        json({{"ssh_port", 1e300}}),
                        json::array({1, 2}),
                        json("junk"),
                        json(nullptr)};
    for (const auto& j : bad) {
        SCOPED_TRACE(j.dump());
        Error e;
        EXPECT_EQ(adapter.modelOfClass<HalvexSessionModel>(j, &e), nullptr);
        EXPECT_FALSE(e.localizedDescription.empty());
    }
    // A null host-key setting never turns the question off.
    auto nulls = adapter.modelOfClass<HalvexSessionModel>({{"strict_hostkey_checking", nullptr}});
    ASSERT_NE(nulls, nullptr);
    EXPECT_TRUE(nulls->shouldCheckHostKey());
}

TEST(HalvexSessionModel, DuplicateGetsANewIdentityAndIsIdenticalUntilAKeyChanges) {
    auto p = fullProfile();
    auto copy = p->copyAs<HalvexSessionModel>();
    EXPECT_EQ(copy->uid, p->uid);
    EXPECT_TRUE(copy->isEqual(*p));
    EXPECT_NE(copy->forwardings->front(), p->forwardings->front()) << "forwardings are copied, not shared";

    auto dup = p->duplicate();
    EXPECT_NE(dup->uid, p->uid);
    EXPECT_FALSE(dup->isEqual(*p));
    EXPECT_TRUE(dup->isIdentical(*p));
    EXPECT_TRUE(p->isIdentical(*p));

    for (const char* key :
         {"ssh_port", "comment", "auth_methods", "forwardings", "compression", "proxy_command_type"}) {
        SCOPED_TRACE(key);
        auto changed = p->duplicate();
        json value = changed->valueForKey(key);
        if (value.is_number())
            value = value.get<std::int64_t>() + 1;
        else if (value.is_boolean())
            value = !value.get<bool>();
        else if (value.is_string())
            value = value.get<std::string>() + "!";
        else
            value = json::array();
        ASSERT_TRUE(changed->setValueForKey(key, value));
        EXPECT_FALSE(changed->isIdentical(*p));
    }
    // A forwarding edited in the duplicate leaves the original alone.
    dup->forwardings->front()->port = 1;
    EXPECT_EQ(p->forwardings->front()->port, 8080);
}

TEST(HalvexSessionModel, AllowingMethodsKeepsOneEntryAtTheEndAndSendsNotices) {
    HalvexSessionModel p;
    std::vector<std::pair<std::string, bool>> heard;
    auto token = p.addObserver(
        "", [&](const std::string& key, bool prior) { heard.emplace_back(key, prior); }, true);
    p.setPublicKeyAllowed(true);
    p.setPasswordAllowed(true);
    EXPECT_EQ(methodNames(p), (std::vector<std::string>{"publickey", "password"}));
    EXPECT_TRUE(p.isPublicKeyAllowed());
    heard.clear();
    p.setInteractiveAllowed(false);
    EXPECT_EQ(methodNames(p), (std::vector<std::string>{"publickey", "password"}));
    EXPECT_EQ(
        heard,
        (std::vector<std::pair<std::string, bool>>{
            {"auth_methods", true}, {"authMethod", true}, {"authMethod", false}, {"auth_methods", false}}));

    heard.clear();
    p.setAuth_methods(HalvexSessionModel::AuthMethods{HalvexAuthMethodModel::sharedInteractiveAutheMethod()});
    EXPECT_EQ(heard, (std::vector<std::pair<std::string, bool>>{{"interactiveAllowed", true},
                                                                {"publicKeyAllowed", true},
                                                                {"passwordAllowed", true},
                                                                {"authMethod", true},
                                                                {"authMethod", false},
                                                                {"passwordAllowed", false},
                                                                {"publicKeyAllowed", false},
                                                                {"interactiveAllowed", false}}));
    EXPECT_TRUE(p.isInteractiveAllowed());
    EXPECT_FALSE(p.isPublicKeyAllowed());
    p.setAuthMethod(nullptr);
    EXPECT_EQ(p.authMethod(), nullptr);
    EXPECT_FALSE(p.isInteractiveAllowed());
    EXPECT_EQ(p.authMethodCandidates(),
              (HalvexSessionModel::AuthMethods{HalvexAuthMethodModel::sharedInteractiveAutheMethod(),
                                               HalvexAuthMethodModel::sharedPublickeyAutheMethod(),
                                               HalvexAuthMethodModel::sharedPasswordAutheMethod()}));
}

TEST(HalvexSessionModel, CommandLineAndHostChecks) {
    auto p = fullProfile();
    p->connect_interface = "lo";
    std::string v6, v4;
    for (const auto& i : VyNetworkInterface::allAvailableInterfaces())
        if (i.BSDName() == "lo") v6 = i.IPv6Address(), v4 = i.IPv4Address();
    if (v6.empty()) v6 = "0.0.0.0";
    EXPECT_EQ(p->description(),
              std::string("ssh -p 2222 ci@build.example.org -6 -b ") + v6 + " -L 8080:intranet:80");
    p->address_familly = 0;
    p->forwardings->front()->enabled = false;
    EXPECT_EQ(p->description(),
              std::string("ssh -p 2222 ci@build.example.org -4 -b ") + (v4.empty() ? "0.0.0.0" : v4));
    p->connect_interface = "no-such-interface0";
    p->address_familly = 2;
    EXPECT_EQ(p->description(), "ssh -p 2222 ci@build.example.org");

    EXPECT_FALSE(p->shouldCheckHostIP()) << "not through a proxy";
    p->proxy_command = false;
    EXPECT_TRUE(p->shouldCheckHostIP());
    p->check_host_ip = false;
    EXPECT_FALSE(p->shouldCheckHostIP());
    p->strict_hostkey_checking = false;
    EXPECT_FALSE(p->shouldCheckHostKey());
}

TEST(HalvexJSONAdapter, DictionariesOfModelsBecomeJSON) {
    HalvexSessionModel p;
    p.ssh_host = "h";
    json dict = {{"profile", p.encodeWithCoder()},
                 {"list", json::array({p.encodeWithCoder(), 5})},
                 {"nested", {{"inner", p.encodeWithCoder()}}},
                 {"plain", "text"},
                 {"broken", {{"$class", "NoSuchModel"}}}};
    Error error;
    json out = HalvexJSONAdapter::JSONDictionaryFromDictionary(dict, &error);
    EXPECT_EQ(out["profile"]["ssh_host"], "h");
    EXPECT_FALSE(out["profile"].contains("uid"));
    EXPECT_FALSE(out["profile"].contains("$class"));
    EXPECT_EQ(out["list"][1], 5);
    EXPECT_EQ(out["nested"]["inner"]["auth_methods"], json({"password"}));
    EXPECT_EQ(out["plain"], "text");
    EXPECT_FALSE(out.contains("broken"));
    EXPECT_FALSE(error.localizedDescription.empty());
}
