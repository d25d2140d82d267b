#include <gtest/gtest.h>

#include "Foundation/Error.h"
#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexPrivateKeyModel.h"
#include "Keychain/MemoryKeychainBackend.h"

namespace {

class AuthHelper : public ::testing::Test {
protected:
    std::shared_ptr<MemoryKeychainBackend> backend = std::make_shared<MemoryKeychainBackend>();

    HalvexAuthHelper server(const std::string& host, std::uint16_t port, const std::string& user,
                            bool interactive = false) {
        auto helper = HalvexAuthHelper::makeWithServer(host, port, user, interactive, backend);
        EXPECT_TRUE(helper) << host;
        return *helper;
    }
    MemoryKeychainBackend::Item onlyItem() {
        auto items = backend->items();
        EXPECT_EQ(items.size(), 1u);
        return items.empty() ? MemoryKeychainBackend::Item{} : items.begin()->second;
    }
};

TEST_F(AuthHelper, ItemShapes) {
    HalvexAuthHelper password = server("alpha", 22, "root");
    EXPECT_EQ(password.authMethod(), HalvexAuthHelper::Password);
    EXPECT_EQ(password.account(), "root");
    EXPECT_EQ(password.user(), "root");
    EXPECT_EQ(password.keychain().server()->text(), "ssh://alpha:22");
    ASSERT_TRUE(password.setToken("pw"));
    auto item = onlyItem();
    EXPECT_EQ(item.attributes.label, "alpha:22 (root)");
    EXPECT_EQ(item.attributes.description, "SSH password");
    auto key = backend->items().begin()->first;
    EXPECT_EQ(key.itemClass, KeychainItemKey::ItemClass::InternetPassword);
    EXPECT_EQ(key.server, "alpha");
    EXPECT_EQ(key.port, 22);
    EXPECT_EQ(key.protocol, "ssh");
    ASSERT_TRUE(password.deleteItem());

    HalvexAuthHelper interactive = server("alpha", 22, "root", true);
    EXPECT_EQ(interactive.authMethod(), HalvexAuthHelper::Interactive);
    EXPECT_EQ(interactive.account(), "[root](com.brimble.ssh.interactive)");
    ASSERT_TRUE(interactive.setToken("[]"));
    item = onlyItem();
    EXPECT_EQ(item.attributes.label, "alpha:22 [root](com.brimble.ssh.interactive)");
    EXPECT_EQ(item.attributes.description, "SSH interactive information");
    ASSERT_TRUE(interactive.deleteItem());

    HalvexPrivateKeyModel model("abc123", "id_rsa");
    auto passphrase = HalvexAuthHelper::makeWithPrivateKey(model, backend);
    ASSERT_TRUE(passphrase);
    EXPECT_EQ(passphrase->authMethod(), HalvexAuthHelper::PublicKey);
    EXPECT_EQ(passphrase->account(), "abc123");
    EXPECT_FALSE(passphrase->user());
    ASSERT_TRUE(passphrase->setToken("secret"));
    item = onlyItem();
    EXPECT_EQ(item.attributes.label, "id_rsa (abc123)");
    EXPECT_EQ(item.attributes.description, "SSH identity passhrase");
    key = backend->items().begin()->first;
    EXPECT_EQ(key.itemClass, KeychainItemKey::ItemClass::GenericPassword);
    EXPECT_EQ(key.service, "com.brimble.ssh.identity");
    EXPECT_EQ(key.account, "abc123");
}

TEST_F(AuthHelper, PortsAndHostsInAddresses) {
    HalvexAuthHelper high = server("host", 65535, "u");
    EXPECT_EQ(high.keychain().server()->text(), "ssh://host:65535");
    ASSERT_TRUE(high.setToken("x"));
    EXPECT_EQ(onlyItem().attributes.label, "host:65535 (u)");
    EXPECT_EQ(server("host", 0, "u").keychain().server()->text(), "ssh://host:0");

    HalvexAuthHelper v6 = server("2001:db8::1", 22, "root");
    EXPECT_EQ(v6.keychain().server()->text(), "ssh://[2001:db8::1]:22");
    EXPECT_EQ(v6.keychain().server()->host(), "2001:db8::1");
    EXPECT_EQ(server("fe80::1%eth0", 22, "root", true).keychain().server()->text(),
              "ssh://[fe80::1%25eth0]:22");

    for (const char* bad : {"al pha", "", "a/b", "user@host", "host:22", "[::1"})
        EXPECT_FALSE(HalvexAuthHelper::makeWithServer(bad, 22, "root", false, backend)) << bad;
    EXPECT_FALSE(HalvexAuthHelper::makeWithPrivateKey(HalvexPrivateKeyModel("", "id_rsa"), backend));
}

TEST_F(AuthHelper, TokensAreReplacedNeverClearedByEmptyWrites) {
    HalvexAuthHelper a = server("alpha", 22, "root");
    EXPECT_EQ(a.token(), "");
    EXPECT_FALSE(a.persistentRef());
    ASSERT_TRUE(a.setToken("one"));
    ASSERT_TRUE(a.setToken(""));
    EXPECT_EQ(server("alpha", 22, "root").token(), "one");
    ASSERT_TRUE(a.setToken("two"));
    EXPECT_EQ(a.token(), "two");
    EXPECT_TRUE(a.persistentRef());
    EXPECT_EQ(server("alpha", 22, "root", true).token(), "") << "the interactive item is a different one";
    EXPECT_TRUE(a.deleteItem());
    EXPECT_EQ(a.token(), "");
}

TEST_F(AuthHelper, FailedWritesAreReported) {
    HalvexAuthHelper a = server("alpha", 22, "root");
    ASSERT_TRUE(a.setToken("kept"));
    backend->setFailWrites(true);
    Error error;
    EXPECT_FALSE(a.setToken("new", &error));
    EXPECT_EQ(error.domain, "Orvik.Keychain");
    HalvexAuthHelper i = server("alpha", 22, "root", true);
    EXPECT_FALSE(i.addAnswers({"x"}, 0));
    EXPECT_FALSE(a.deleteItem());
    EXPECT_FALSE(HalvexAuthHelper::tryUpdateKeychainWithDictionary(
        {{"type", "password"}, {"server", "alpha"}, {"port", 22}, {"user", "root"}, {"token", "t"}}, nullptr,
        backend));
    EXPECT_EQ(a.token(), "kept");
}

TEST_F(AuthHelper, InteractiveRounds) {
    HalvexAuthHelper i = server("alpha", 22, "root", true);
    EXPECT_FALSE(i.answersAtIndex(0));
    ASSERT_TRUE(i.addAnswers({"c", "d"}, 2));
    EXPECT_EQ(i.token(), R"([[],[],["c","d"]])");
    EXPECT_EQ(i.answersAtIndex(0), std::vector<std::string>{});
    EXPECT_EQ(i.answersAtIndex(1), std::vector<std::string>{});
    EXPECT_EQ(i.answersAtIndex(2), (std::vector<std::string>{"c", "d"}));
    EXPECT_FALSE(i.answersAtIndex(3));

    HalvexAuthHelper j = server("beta", 22, "root", true);
    ASSERT_TRUE(j.addAnswers({"a"}, 0));
    ASSERT_TRUE(j.addAnswers({"b"}, 1));
    ASSERT_TRUE(j.addAnswers({"A", "é"}, 0));
    EXPECT_EQ(j.token(), R"([["A","é"],["b"]])");

    // Something other than an array of rounds reads as nothing, and is
    // replaced by the next answers.
    HalvexAuthHelper k = server("gamma", 22, "root", true);
    ASSERT_TRUE(k.setToken("plain password"));
    EXPECT_FALSE(k.answersAtIndex(0));
    ASSERT_TRUE(k.addAnswers({"z"}, 1));
    EXPECT_EQ(k.token(), R"([[],["z"]])");
    ASSERT_TRUE(k.setToken(R"([["ok"], 5, [1]])"));
    EXPECT_EQ(k.answersAtIndex(0), std::vector<std::string>{"ok"});
    EXPECT_FALSE(k.answersAtIndex(1));
    EXPECT_FALSE(k.answersAtIndex(2)) << "only text answers can be typed back";

    // Bytes that are not UTF-8 cannot become JSON: nothing is stored.
    Error error;
    EXPECT_FALSE(k.addAnswers({std::string("\xff\xfe")}, 0, &error));
    EXPECT_EQ(k.token(), R"([["ok"], 5, [1]])");
}

TEST_F(AuthHelper, BackupRecords) {
    HalvexAuthHelper p = server("alpha", 2022, "root");
    ASSERT_TRUE(p.setToken("pw"));
    EXPECT_EQ(
        p.dictionaryValue(),
        (nlohmann::json{
            {"type", "password"}, {"server", "alpha"}, {"port", 2022}, {"user", "root"}, {"token", "pw"}}));
    HalvexAuthHelper i = server("alpha", 2022, "root", true);
    EXPECT_EQ(
        i.dictionaryValue(),
        (nlohmann::json{
            {"type", "interactive"}, {"server", "alpha"}, {"port", 2022}, {"user", "root"}, {"token", ""}}));
    EXPECT_TRUE(i.dictionaryValue()["port"].is_number());

    nlohmann::json record = p.dictionaryValue();
    ASSERT_TRUE(p.deleteItem());
    ASSERT_TRUE(HalvexAuthHelper::tryUpdateKeychainWithDictionary(record, nullptr, backend));
    EXPECT_EQ(p.token(), "pw");

    ASSERT_TRUE(HalvexAuthHelper::tryUpdateKeychainWithDictionary({{"type", "interactive"},
                                                                   {"server", "alpha"},
                                                                   {"port", 2022},
                                                                   {"user", "root"},
                                                                   {"token", R"([["a"]])"}},
                                                                  nullptr, backend));
    EXPECT_EQ(i.answersAtIndex(0), std::vector<std::string>{"a"});

    // Records that change nothing.
    std::size_t before = backend->items().size();
    for (const nlohmann::json& ignored : std::vector<nlohmann::json>{
             {{"type", "publickey"},
              {"service", "com.brimble.ssh.identity"},
              {"account", "id"},
              {"token", "t"}},
             {{"type", "password"}, {"server", "alpha"}, {"port", 22}, {"user", "root"}, {"token", ""}},
             {{"type", "password"}, {"server", "alpha"}, {"port", "22"}, {"user", "root"}, {"token", "t"}},
             {{"type", "password"}, {"server", "alpha"}, {"port", 70000}, {"user", "root"}, {"token", "t"}},
             {{"type", "password"}, {"port", 22}, {"user", "root"}, {"token", "t"}},
             {{"type", "password"}, {"server", "al pha"}, {"port", 22}, {"user", "root"}, {"token", "t"}},
             {{"server", "alpha"}, {"port", 22}, {"user", "root"}, {"token", "t"}},
             nlohmann::json::array()}) {
        EXPECT_TRUE(HalvexAuthHelper::tryUpdateKeychainWithDictionary(ignored, nullptr, backend)) << ignored;
    }
    EXPECT_EQ(backend->items().size(), before);
    EXPECT_EQ(p.token(), "pw");
}

} // namespace
