// The private-key store in a process that never makes a session controller
// (the preferences pane's case): keys in ssh-keygen's default format must
// import, validate and stay in the cache like PEM keys do.

#include <gtest/gtest.h>

#include <filesystem>

#include "../TempHomeEnvironment.h"
#include "Foundation/Error.h"
#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/HalvexPrivateKeyReader.h"
#include "Keychain/MemoryKeychainBackend.h"
#include "Pemvin/PemvinLibsshPrivateKeyParser.h"
#include "PemvinTestSupport.h"

namespace {

// Nothing here may reach the real shared store.
[[maybe_unused]] auto* const tempHome = ::testing::AddGlobalTestEnvironment(new TempHomeEnvironment);

class OpenSSHFormatKeys : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        keys = std::make_unique<PemvinTempDir>();
        generate("id_rsa", "rsa", "");
        generate("id_ed25519", "ed25519", "");
        generate("id_rsa_locked", "rsa", "rsa pass");
        generate("id_ed25519_locked", "ed25519", "ed pass");
    }
    static void TearDownTestSuite() { keys.reset(); }
    // ssh-keygen's own format: no "-m PEM".
    static void generate(const std::string& name, const std::string& type, const std::string& passphrase) {
        int status = 0;
        pemvinTestRun({"ssh-keygen", "-q", "-t", type, "-N", passphrase, "-f", keys->file(name)}, &status);
        ASSERT_EQ(status, 0) << name;
        ASSERT_NE(pemvinReadFile(keys->file(name)).find("BEGIN OPENSSH PRIVATE KEY"), std::string::npos);
    }
    static std::string key(const std::string& name) { return keys->file(name); }

    void SetUp() override {
        store = std::make_unique<HalvexPrivateKeyContainer>(dir.file("identities"), dir.file("old"), backend);
    }

    static std::unique_ptr<PemvinTempDir> keys;
    PemvinTempDir dir;
    std::shared_ptr<MemoryKeychainBackend> backend = std::make_shared<MemoryKeychainBackend>();
    std::unique_ptr<HalvexPrivateKeyContainer> store;
};
std::unique_ptr<PemvinTempDir> OpenSSHFormatKeys::keys;

TEST_F(OpenSSHFormatKeys, ImportValidateAndStayCachedWithoutAController) {
    // Nothing in this process has registered the transport's reader yet.
    ASSERT_FALSE(PemvinLibsshPrivateKeyParser::hasFallbackReader());

    struct Case {
        const char* name;
        bool encrypted;
    };
    const Case cases[] = {
        {"id_rsa", false}, {"id_ed25519", false}, {"id_rsa_locked", true}, {"id_ed25519_locked", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        const auto id = store->importAtPath(key(c.name), &error);
        ASSERT_TRUE(id) << error.localizedDescription;
        EXPECT_TRUE(std::filesystem::exists(store->pathForKeyName(c.name)));
    }
    store->refreshCache();
    ASSERT_EQ(store->privateKeys().size(), 4u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::shared_ptr<HalvexPrivateKeyModel> model;
        for (const auto& [id, cached] : store->privateKeys())
            if (cached->key_name() == c.name) model = cached;
        ASSERT_TRUE(model);
        EXPECT_EQ(model->encrypted(), c.encrypted);
        EXPECT_FALSE(model->in_keychain());
    }
}

TEST_F(OpenSSHFormatKeys, KeysAlreadyInTheStoreSurviveARefresh) {
    std::filesystem::copy_file(key("id_ed25519"), store->pathForKeyName("id_ed25519"));
    std::filesystem::copy_file(key("id_rsa_locked"), store->pathForKeyName("id_rsa_locked"));
    store->refreshCache();
    EXPECT_EQ(store->privateKeys().size(), 2u);
}

TEST_F(OpenSSHFormatKeys, PassphrasesOpenEncryptedKeysThroughTheTransportsReader) {
    for (const auto& [name, passphrase] : {std::pair<std::string, std::string>{"id_rsa_locked", "rsa pass"},
                                           {"id_ed25519_locked", "ed pass"}}) {
        SCOPED_TRACE(name);
        const auto id = store->importAtPath(key(name), nullptr);
        ASSERT_TRUE(id);
        store->refreshCache();
        const auto model = store->privateKeyWithId(*id);
        ASSERT_TRUE(model);
        ASSERT_TRUE(HalvexAuthHelper::makeWithPrivateKey(*model, backend)->setToken(passphrase));
        Error error("x", 1);
        EXPECT_TRUE(store->validatePrivateKey(*model, &error));
        EXPECT_EQ(error, Error());
        EXPECT_TRUE(model->encrypted());
        EXPECT_TRUE(model->in_keychain());

        // The right passphrase reads the key; a wrong one does not.
        const std::string path = store->pathForKeyName(model->key_name());
        const auto parser = HalvexReadPrivateKey(
            path, [&] { return passphrase; }, &error);
        ASSERT_TRUE(parser) << error.localizedDescription;
        EXPECT_TRUE(parser->libsshParser());
        EXPECT_TRUE(parser->base64().empty());
        EXPECT_FALSE(HalvexReadPrivateKey(
            path, [] { return std::string("wrong"); }, nullptr));
    }
}

} // namespace
