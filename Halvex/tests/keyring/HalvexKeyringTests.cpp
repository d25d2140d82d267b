// Runs only under with-keyring.sh, which gives it a private session bus and
// gnome-keyring; see CMakeLists.txt.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Foundation/Error.h"
#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/HalvexPrivateKeyModel.h"
#include "Keychain/SecretServiceKeychainBackend.h"
#include "PemvinTestSupport.h"

namespace {

// Skips the test unless the wrapper brought the daemon up in `mode`.
#define REQUIRE_KEYRING(mode)                                                                                \
    do {                                                                                                     \
        if (const char* why = std::getenv("ORVIK_KEYRING_UNAVAILABLE"))                                      \
            GTEST_SKIP() << "Secret Service unavailable: " << why;                                           \
        const char* ready = std::getenv("ORVIK_KEYRING_READY");                                              \
        if (!ready) GTEST_SKIP() << "not started through Halvex/tests/with-keyring.sh";                      \
        ASSERT_STREQ(ready, mode);                                                                           \
    } while (0)

class Keyring : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_KEYRING("unlocked"); }
    std::shared_ptr<KeychainBackend> backend = std::make_shared<SecretServiceKeychainBackend>();
};

TEST_F(Keyring, PasswordItemRoundTrip) {
    auto helper = HalvexAuthHelper::makeWithServer("alpha", 22, "root", false, backend);
    ASSERT_TRUE(helper);
    EXPECT_EQ(helper->token(), "");
    EXPECT_FALSE(helper->persistentRef());

    Error error;
    ASSERT_TRUE(helper->setToken("first secret", &error)) << error.recoverySuggestion;
    auto again = HalvexAuthHelper::makeWithServer("alpha", 22, "root", false, backend);
    EXPECT_EQ(again->token(), "first secret") << "a second helper addresses the same item";
    EXPECT_TRUE(again->setToken(""));
    EXPECT_EQ(helper->token(), "first secret") << "an empty token deletes nothing";
    ASSERT_TRUE(again->setToken("second secret"));
    EXPECT_EQ(helper->token(), "second secret");

    auto attributes = helper->keychain().itemAttributes(helper->account());
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->label, "alpha:22 (root)");
    EXPECT_EQ(attributes->description, "SSH password");
    auto ref = helper->persistentRef();
    ASSERT_TRUE(ref);
    EXPECT_FALSE(ref->empty());

    EXPECT_EQ(HalvexAuthHelper::makeWithServer("alpha", 2222, "root", false, backend)->token(), "");
    EXPECT_EQ(HalvexAuthHelper::makeWithServer("alpha", 22, "admin", false, backend)->token(), "");
    EXPECT_EQ(HalvexAuthHelper::makeWithServer("beta", 22, "root", false, backend)->token(), "");

    EXPECT_TRUE(helper->deleteItem());
    EXPECT_EQ(again->token(), "");
    EXPECT_FALSE(again->persistentRef());
    EXPECT_TRUE(again->deleteItem()) << "deleting a missing item is not a failure";
}

TEST_F(Keyring, InteractiveAnswersLiveBesideThePassword) {
    auto password = HalvexAuthHelper::makeWithServer("alpha", 22, "root", false, backend);
    auto interactive = HalvexAuthHelper::makeWithServer("alpha", 22, "root", true, backend);
    ASSERT_TRUE(password && interactive);
    ASSERT_TRUE(password->setToken("pw"));
    ASSERT_TRUE(interactive->addAnswers({"one", "two"}, 2));
    EXPECT_EQ(interactive->token(), R"([[],[],["one","two"]])");
    EXPECT_EQ(password->token(), "pw");
    EXPECT_EQ(interactive->answersAtIndex(2), (std::vector<std::string>{"one", "two"}));
    auto attributes = interactive->keychain().itemAttributes(interactive->account());
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->label, "alpha:22 [root](com.brimble.ssh.interactive)");
    EXPECT_EQ(attributes->description, "SSH interactive information");
    EXPECT_TRUE(password->deleteItem());
    EXPECT_EQ(interactive->answersAtIndex(2), (std::vector<std::string>{"one", "two"}));
    EXPECT_TRUE(interactive->deleteItem());
}

TEST_F(Keyring, IPv6HostsGetWellFormedItems) {
    auto loopback = HalvexAuthHelper::makeWithServer("::1", 2222, "root", false, backend);
    auto linkLocal = HalvexAuthHelper::makeWithServer("fe80::1%eth0", 22, "root", false, backend);
    ASSERT_TRUE(loopback && linkLocal);
    EXPECT_EQ(loopback->keychain().server()->text(), "ssh://[::1]:2222");
    EXPECT_EQ(linkLocal->keychain().server()->text(), "ssh://[fe80::1%25eth0]:22");
    ASSERT_TRUE(loopback->setToken("six"));
    ASSERT_TRUE(linkLocal->setToken("link"));
    EXPECT_EQ(HalvexAuthHelper::makeWithServer("::1", 2222, "root", false, backend)->token(), "six");
    EXPECT_EQ(HalvexAuthHelper::makeWithServer("::1", 22, "root", false, backend)->token(), "");
    EXPECT_EQ(HalvexAuthHelper::makeWithServer("fe80::1%eth0", 22, "root", false, backend)->token(), "link");

    // A backup record names the host without brackets and restores the item.
    nlohmann::json record = loopback->dictionaryValue();
    EXPECT_EQ(record["server"], "::1");
    EXPECT_EQ(record["port"], 2222);
    ASSERT_TRUE(loopback->deleteItem());
    ASSERT_TRUE(HalvexAuthHelper::tryUpdateKeychainWithDictionary(record, nullptr, backend));
    EXPECT_EQ(loopback->token(), "six");
    EXPECT_TRUE(loopback->deleteItem());
    EXPECT_TRUE(linkLocal->deleteItem());
}

TEST_F(Keyring, KeyPassphrasesAreGenericItemsNeverRestoredFromBackups) {
    HalvexPrivateKeyModel key("0123456789abcdef0123456789abcdef01234567", "id_ecdsa");
    auto helper = HalvexAuthHelper::makeWithPrivateKey(key, backend);
    ASSERT_TRUE(helper);
    ASSERT_TRUE(helper->setToken("pass phrase"));
    auto attributes = helper->keychain().itemAttributes(helper->account());
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->label, "id_ecdsa (0123456789abcdef0123456789abcdef01234567)");
    EXPECT_EQ(attributes->description, "SSH identity passhrase");
    nlohmann::json record = helper->dictionaryValue();
    EXPECT_EQ(record, (nlohmann::json{{"type", "publickey"},
                                      {"service", "com.brimble.ssh.identity"},
                                      {"account", key.key_id()},
                                      {"token", "pass phrase"}}));
    ASSERT_TRUE(helper->deleteItem());
    EXPECT_TRUE(HalvexAuthHelper::tryUpdateKeychainWithDictionary(record, nullptr, backend));
    EXPECT_EQ(helper->token(), "") << "a publickey record changes nothing";
}

// A window that answers the passphrase sheet with a fixed text.
class ScriptedWindow : public HalvexPrivateKeyWindow {
public:
    std::string answer;
    std::vector<Error> errors;
    void chooseFiles(const OpenPanel&,
                     std::function<void(long, std::vector<std::string>)> completion) override {
        completion(0, {});
    }
    long askPassphrase(const PassphraseSheet&, std::string& passphrase) override {
        passphrase = answer;
        return 1000;
    }
    void showError(const Error& error) override { errors.push_back(error); }
};

TEST_F(Keyring, StoreKeepsKeyPassphrasesInTheKeyring) {
    PemvinTempDir dir;
    std::string key = dir.file("id_rsa");
    int status = 0;
    pemvinTestRun(
        {"ssh-keygen", "-q", "-t", "rsa", "-b", "2048", "-m", "PEM", "-N", "keyring pass", "-f", key},
        &status);
    ASSERT_EQ(status, 0);
    HalvexPrivateKeyContainer store(dir.file("store"), dir.file("old"), backend);
    Error error;
    auto id = store.importAtPath(key, &error);
    ASSERT_TRUE(id) << error.localizedDescription;
    store.refreshCache();
    ASSERT_TRUE(store.privateKeyWithId(*id));
    EXPECT_FALSE(store.privateKeyWithId(*id)->in_keychain());

    ScriptedWindow window;
    window.answer = "keyring pass";
    ASSERT_TRUE(store.storePassphraseToKeychainForPrivateKeyId(*id, window));
    EXPECT_TRUE(window.errors.empty());
    store.refreshCache();
    auto model = store.privateKeyWithId(*id);
    ASSERT_TRUE(model);
    EXPECT_TRUE(model->encrypted());
    EXPECT_TRUE(model->in_keychain());
    EXPECT_EQ(HalvexAuthHelper::makeWithPrivateKey(*model, backend)->token(), "keyring pass");

    EXPECT_TRUE(store.removePassphraseFromKeychainForPrivateKeyId(*id));
    EXPECT_EQ(HalvexAuthHelper::makeWithPrivateKey(*model, backend)->token(), "");
}

// Under --locked there is no unlocked collection and no prompt can be shown.
TEST(KeyringLocked, FailedWritesAreReportedAsFailures) {
    REQUIRE_KEYRING("locked");
    auto backend = std::make_shared<SecretServiceKeychainBackend>();
    auto helper = HalvexAuthHelper::makeWithServer("alpha", 22, "root", false, backend);
    ASSERT_TRUE(helper);
    Error error;
    EXPECT_FALSE(helper->setToken("secret", &error));
    EXPECT_EQ(error.domain, "Orvik.Keychain");
    EXPECT_FALSE(error.localizedDescription.empty());
    EXPECT_EQ(helper->token(), "");

    auto interactive = HalvexAuthHelper::makeWithServer("alpha", 22, "root", true, backend);
    EXPECT_FALSE(interactive->addAnswers({"a"}, 0));
    nlohmann::json record = {
        {"type", "password"}, {"server", "alpha"}, {"port", 22}, {"user", "root"}, {"token", "secret"}};
    EXPECT_FALSE(HalvexAuthHelper::tryUpdateKeychainWithDictionary(record, nullptr, backend));
}

} // namespace
