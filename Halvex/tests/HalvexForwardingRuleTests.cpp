#include "Foundation/KeyedUnarchiver.h"
#include "Halvex/HalvexForwardingModel.h"
#include "Halvex/HalvexJSONAdapter.h"
#include "Halvex/HalvexRuleModel.h"

#include <gtest/gtest.h>

using json = nlohmann::json;

namespace {
std::shared_ptr<HalvexForwardingModel> forwarding(std::int64_t type, std::int64_t port, const char* host,
                                                  std::int64_t hostport) {
    auto f = std::make_shared<HalvexForwardingModel>();
    f->setType(type);
    f->port = port;
    f->host = host;
    f->hostport = hostport;
    return f;
}
} // namespace

TEST(HalvexForwardingModel, OptionTextPerType) {
    auto f = forwarding(0, 8080, "intranet.example", 80);
    EXPECT_EQ(f->description(), "-L 8080:intranet.example:80");
    f->setType(1);
    EXPECT_EQ(f->description(), "-R 8080:intranet.example:80");
    f->setType(2);
    EXPECT_EQ(f->description(), "-D 8080");
    f->setType(7);
    EXPECT_EQ(f->description(), "8080");
    EXPECT_EQ(f->typeName(), "Unknown");

    auto bound = forwarding(0, 2222, "fe80::1", 22);
    bound->bind_address = "127.0.0.1";
    EXPECT_EQ(bound->description(), "-L 127.0.0.1:2222:[fe80::1]:22");
    bound->bind_address = "";
    EXPECT_EQ(bound->description(), "-L 2222:[fe80::1]:22");
}

TEST(HalvexForwardingModel, DisplayTextNamesKnownServicesAndSendsTypeNameNotices) {
    auto f = forwarding(0, 80, "db.internal", 5432);
    EXPECT_EQ(f->cmdString(), "L\t80 (http) → db.internal:5432 (postgresql)");
    f->port = 40000;
    f->hostport = 40001;
    EXPECT_EQ(f->cmdString(), "L\t40000 → db.internal:40001");
    f->setType(2);
    f->port = 1080;
    EXPECT_EQ(f->cmdString(), "D\t1080 (socks)");

    std::vector<std::string> heard;
    auto token = f->addObserver("typeName", [&](const std::string& key, bool) { heard.push_back(key); });
    f->setType(1);
    EXPECT_EQ(heard, std::vector<std::string>{"typeName"});
    EXPECT_EQ(f->typeName(), "Remote");
    EXPECT_EQ(f->types(), (std::vector<std::string>{"Local", "Remote", "Dynamic"}));
}

TEST(HalvexForwardingModel, JSONUsesTypeNamesAndUnknownNamesGiveNoType) {
    HalvexJSONAdapter adapter;
    auto f = forwarding(2, 1080, "unused", 0);
    f->host.reset();
    f->hostport.reset();
    auto j = adapter.JSONDictionaryFromModel(*f);
    ASSERT_TRUE(j);
    EXPECT_EQ(*j, json({{"type", "dynamic"}, {"port", 1080}, {"enabled", true}}));

    auto back = adapter.modelOfClass<HalvexForwardingModel>(*j);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(back->isEqual(*f));

    auto odd = adapter.modelOfClass<HalvexForwardingModel>(
        json({{"type", "sideways"}, {"port", 22}, {"hostport", 22}, {"colour", "red"}}));
    ASSERT_NE(odd, nullptr);
    EXPECT_FALSE(odd->type().has_value());
    EXPECT_EQ(odd->typeName(), "Unknown");
    EXPECT_EQ(odd->description(), "22");
}

// Older versions archived running forwardings under their own class names;
// they come back as the rule they ran.
TEST(HalvexForwardingModel, ArchivesNamingTheForwardingClassesDecodeAsRules) {
    for (const char* name : {"KvPortForwarding", "HalvexPortForwarding"}) {
        json archive = {{"$archiver", "OrvikKeyedArchive"},
                        {"$version", 1},
                        {"$root",
                         {{"$class", name},
                          {"type", 1},
                          {"bind_address", "*"},
                          {"port", 8022},
                          {"host", "db.internal"},
                          {"hostport", 5432}}}};
        Error error;
        auto decoded = KeyedUnarchiver::unarchiveObjectOfClass<HalvexForwardingModel>(archive, &error);
        ASSERT_NE(decoded, nullptr) << name << ": " << error.localizedDescription;
        EXPECT_EQ(&decoded->modelClass(), &HalvexForwardingModel::classDescription());
        EXPECT_EQ(decoded->description(), "-R *:8022:db.internal:5432") << name;
    }
}

TEST(HalvexRuleModel, AddressIsClassifiedAndURLsReduceToTheirHost) {
    HalvexRuleModel rule;
    EXPECT_EQ(rule.address(), "");
    EXPECT_EQ(rule.is_cidr(), false);

    rule.setAddress("https://build.example.org:8443/jobs?id=3");
    EXPECT_EQ(rule.address(), "build.example.org");
    EXPECT_EQ(rule.is_cidr(), false);

    rule.setAddress("10.20.0.0/16");
    EXPECT_EQ(rule.address(), "10.20.0.0/16");
    EXPECT_EQ(rule.is_cidr(), true);

    rule.setAddress("example.org");
    EXPECT_EQ(rule.address(), "example.org");
    EXPECT_EQ(rule.is_cidr(), false);

    rule.setAddress("ssh://admin@[2001:db8::5]:22/");
    EXPECT_EQ(rule.address(), "2001:db8::5");
    EXPECT_EQ(rule.is_cidr(), false) << "a host taken from a URL is a name";
    rule.setAddress("2001:db8::5");
    EXPECT_EQ(rule.is_cidr(), true) << "a bare address is a block of one";

    rule.setAddress("not a url://x");
    EXPECT_EQ(rule.address(), "not a url://x");
    EXPECT_EQ(rule.is_cidr(), false);
}

TEST(HalvexRuleModel, MatchingByNameSubdomainAndBlock) {
    HalvexRuleModel rule;
    rule.setAddress("Example.ORG");
    EXPECT_TRUE(rule.isMatch("example.org"));
    EXPECT_TRUE(rule.isMatch("www.EXAMPLE.org"));
    EXPECT_TRUE(rule.isMatch("example.org.example.org"));
    EXPECT_FALSE(rule.isMatch("badexample.org"));
    EXPECT_FALSE(rule.isMatch("example.org.evil.net"));
    rule.subdomains = false;
    EXPECT_TRUE(rule.isMatch("EXAMPLE.org"));
    EXPECT_FALSE(rule.isMatch("www.example.org"));

    HalvexRuleModel block;
    block.setAddress("192.168.8.0/22");
    EXPECT_TRUE(block.isMatch("192.168.9.200"));
    EXPECT_TRUE(block.isMatch("192.168.10.0/24"));
    EXPECT_FALSE(block.isMatch("192.168.12.1"));
    EXPECT_FALSE(block.isMatch("host.192.168.8.0/22"));
    EXPECT_FALSE(block.isMatch("::1"));

    block.enabled = false;
    EXPECT_FALSE(block.isMatch("192.168.9.200"));
    EXPECT_FALSE(block.isMatch("192.168.8.0/22"));
}

TEST(HalvexRuleModel, IdentityFingerprintDuplicateAndJSON) {
    HalvexRuleModel rule;
    rule.server_uid = "S1";
    rule.setAddress("10.0.0.0/8");
    EXPECT_EQ(rule.fingerprint(), "S1,10.0.0.0/8");
    rule.server_uid.reset();
    EXPECT_EQ(rule.fingerprint(), ",10.0.0.0/8");

    auto dup = rule.duplicate();
    EXPECT_NE(dup->uid, rule.uid);
    EXPECT_TRUE(dup->isIdentical(rule));
    dup->subdomains = false;
    EXPECT_TRUE(dup->isIdentical(rule)) << "only the address is compared";
    dup->setAddress("10.0.0.0/9");
    EXPECT_FALSE(dup->isIdentical(rule));

    HalvexJSONAdapter adapter;
    auto j = adapter.JSONDictionaryFromModel(rule);
    ASSERT_TRUE(j);
    EXPECT_EQ(*j, json({{"address", "10.0.0.0/8"}, {"enabled", true}, {"subdomains", true}}));
    // Rules read from JSON classify their address themselves.
    auto read =
        adapter.modelOfClass<HalvexRuleModel>(json({{"address", "http://example.org/x"}, {"is_cidr", true}}));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->address(), "example.org");
    EXPECT_EQ(read->is_cidr(), false);
    EXPECT_TRUE(read->isMatch("www.example.org"));
}
