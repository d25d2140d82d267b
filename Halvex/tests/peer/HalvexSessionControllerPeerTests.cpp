// The session controller end to end over the real transport: OpenSSH's sshd
// on loopback (with a throwaway login user) and the libssh server inside this
// binary. Each case compares the controller's session-log lines exactly, in
// order; the transport's own diagnostic lines (libssh's debug and warning
// text, the server's version and cipher) are left out of the comparison.

#include "../SessionControllerTestSupport.h"

#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "HalvexCore/HalvexCoreErrors.h"
#include "Keychain/MemoryKeychainBackend.h"
#include "ScriptedServer.h"
#include "TestPeers.h"

#include <gtest/gtest.h>

using namespace controller_test;
using namespace std::chrono_literals;

namespace {

// Folders of the process's private-key store, before anything uses it.
class PeerEnvironment : public testing::Environment {
public:
    void SetUp() override {
        setenv("XDG_DATA_HOME", (data_.path + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (data_.path + "/config").c_str(), 1);
    }

private:
    ScratchDir data_;
};
[[maybe_unused]] testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new PeerEnvironment);

std::unique_ptr<peers::SSHD> gSSHD;
std::unique_ptr<peers::TestUser> gTestUser;

// Started on first use, by the main thread.
peers::SSHD& sshd() {
    if (!gSSHD) {
        gSSHD = std::make_unique<peers::SSHD>();
        if (!gSSHD->start()) gSSHD->stop();
    }
    return *gSSHD;
}

peers::TestUser& testUser() {
    if (!gTestUser) gTestUser = std::make_unique<peers::TestUser>();
    return *gTestUser;
}

// Stops the shared peers that were started, when the tests are done.
class PeersCleanup : public testing::Environment {
public:
    void TearDown() override {
        gSSHD.reset();
        gTestUser.reset();
    }
};
[[maybe_unused]] testing::Environment* const cleanup = testing::AddGlobalTestEnvironment(new PeersCleanup);

std::string importKey(const std::string& path) {
    Error error;
    auto id = HalvexPrivateKeyContainer::sharedPrivateKeyContainer().importAtPath(path, &error);
    HalvexPrivateKeyContainer::sharedPrivateKeyContainer().refreshCache();
    if (!id) {
        // Imported by an earlier case: the same bytes have the same id.
        HalvexPrivateKeyContainer::sharedPrivateKeyContainer().refreshCache();
        for (auto& [keyId, model] : HalvexPrivateKeyContainer::sharedPrivateKeyContainer().privateKeys())
            if (model->key_name() == path.substr(path.rfind('/') + 1)) return keyId;
        ADD_FAILURE() << "import failed: " << error.localizedDescription;
        return {};
    }
    return *id;
}

class ControllerPeer : public ::testing::Test {
protected:
    void SetUp() override {
        main = std::make_shared<DrivableMainQueue>();
        MainQueue::setMain(main);
        keychain = std::make_shared<MemoryKeychainBackend>();
        KeychainBackend::setShared(keychain);
        presenter = std::make_shared<ScriptedAlertPresenter>();
        HalvexAlertPresenter::setSharedPresenter(presenter);
        prefs = scratchPreferences(dir, "defaults");
        prompter = std::make_shared<ScriptedPrompter>(main);
        controller = makeController();
    }
    void TearDown() override {
        if (controller) {
            controller->turnOff();
            main->runUntil([&] { return controller->statusCode() == HalvexSessionStatusIdle; }, 20s);
        }
        controller.reset();
        main->runUntilIdle();
        HalvexAlertPresenter::setSharedPresenter(nullptr);
        KeychainBackend::setShared(nullptr);
        MainQueue::setMain(nullptr);
    }

    std::shared_ptr<HalvexSessionController> makeController() {
        auto c = std::make_shared<HalvexSessionController>();
        c->setSsh_host("127.0.0.1");
        c->setPreferences(prefs);
        c->setSecretPrompter(prompter);
        c->connection_timeout = 10;
        return c;
    }
    void useServer(uint16_t port, const std::string& user,
                   std::vector<std::shared_ptr<HalvexAuthMethodModel>> methods) {
        controller->setSsh_port(port);
        controller->ssh_user = user;
        controller->setAuth_methods(std::move(methods));
    }
    bool waitStatus(std::int64_t status, std::chrono::seconds limit = 30s) {
        return main->runUntil([&] { return controller->statusCode() == status; }, limit);
    }
    // Connects and waits for the attempt to end in `status`.
    bool connectUntil(std::int64_t status) {
        if (!controller->turnOn()) return false;
        return waitStatus(status);
    }
    // The controller's lines, without the transport's diagnostics.
    std::vector<std::string> ownLines() {
        std::vector<std::string> out;
        for (auto& line : sessionLines(*controller)) {
            if (line.rfind("debug: ", 0) == 0) continue;
            if (line.rfind("info: Remote software version ", 0) == 0 || line.rfind("info: Cipher ", 0) == 0)
                continue;
            if (line.rfind("warn: ", 0) == 0 && line.rfind("warn: Permanently added ", 0) != 0 &&
                line.rfind("warn: Could not open connection", 0) != 0)
                continue;
            // The transport names the address it dials right after the command.
            if (!out.empty() && out.back().rfind("info: Command: ", 0) == 0 &&
                line.rfind("info: Connecting to ", 0) == 0)
                continue;
            out.push_back(line);
        }
        return out;
    }
    std::vector<std::string> opening(uint16_t port) {
        return {"info: Connecting to 127.0.0.1 port " + std::to_string(port),
                "info: Command: " + controller->description()};
    }
    std::string trusted(const std::string& fingerprint) {
        return "warn: Permanently added the ssh-ed25519 host key '" + fingerprint +
               "' for '127.0.0.1' to the list of known hosts";
    }
    std::string authenticated(uint16_t port) {
        return "info: Authenticated to 127.0.0.1 ([127.0.0.1]:" + std::to_string(port) + ")";
    }
    static std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> out;
        for (auto& p : parts)
            out.insert(out.end(), p.begin(), p.end());
        return out;
    }

    ScratchDir dir;
    std::shared_ptr<DrivableMainQueue> main;
    std::shared_ptr<MemoryKeychainBackend> keychain;
    std::shared_ptr<ScriptedAlertPresenter> presenter;
    std::shared_ptr<HalvexPreferences> prefs;
    std::shared_ptr<ScriptedPrompter> prompter;
    std::shared_ptr<HalvexSessionController> controller;
};

const auto password = HalvexAuthMethodModel::sharedPasswordAutheMethod;
const auto publickey = HalvexAuthMethodModel::sharedPublickeyAutheMethod;
const auto interactive = HalvexAuthMethodModel::sharedInteractiveAutheMethod;

TEST_F(ControllerPeer, NewHostIsTrustedAndStoredAndARememberedPasswordIsReused) {
    ASSERT_TRUE(sshd().pid > 0);
    ASSERT_TRUE(testUser().ok);
    const uint16_t port = sshd().port;
    useServer(port, testUser().name, {password()});
    presenter->answer({HalvexAlertPresenter::SecondButton});
    prompter->responses.push_back(ScriptedPrompter::ok({testUser().password}, true));
    ASSERT_TRUE(connectUntil(HalvexSessionStatusAuthenticated)) << sessionLines(*controller).back();

    const std::string fingerprint = sshd().hostKeyFingerprint();
    EXPECT_EQ(
        ownLines(),
        join({opening(port),
              {trusted(fingerprint), "info: Connection established",
               "info: Authentication that can continue: publickey, password, keyboard-interactive",
               "info: Authenticating with “password” method", "info: Could not find password in keychain",
               authenticated(port), "info: Password was remembered to keychain"}}));
    ASSERT_EQ(presenter->taken().size(), 1u);
    EXPECT_EQ(presenter->taken()[0].informativeText, "The fingerprint of host key is\n" + fingerprint +
                                                         " [ssh-ed25519]\n\nDo you trust the host with this "
                                                         "fingerprint?");
    ASSERT_EQ(prefs->knownHosts().size(), 1u);
    EXPECT_EQ(prefs->knownHosts()[0]->host_ip, "127.0.0.1");
    EXPECT_EQ(prefs->knownHosts()[0]->port(), port);
    EXPECT_EQ(HalvexAuthHelper::makeWithServer("127.0.0.1", port, testUser().name)->token(),
              testUser().password);

    const auto before = ownLines().size();
    ASSERT_TRUE(controller->turnOff());
    ASSERT_TRUE(waitStatus(HalvexSessionStatusIdle));
    auto lines = ownLines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
              (std::vector<std::string>{"info: Disconnecting…", "info: Disconnected from server"}));
    EXPECT_FALSE(controller->lastError());

    // Again: the known key passes unasked and the stored password is used.
    controller = makeController();
    useServer(port, testUser().name, {password()});
    ASSERT_TRUE(connectUntil(HalvexSessionStatusAuthenticated));
    EXPECT_EQ(ownLines(),
              join({opening(port),
                    {"info: Connection established",
                     "info: Authentication that can continue: publickey, password, keyboard-interactive",
                     "info: Authenticating with “password” method",
                     "info: Password for remote host is found in keychain", authenticated(port)}}));
    EXPECT_EQ(presenter->taken().size(), 1u);
    EXPECT_EQ(prompter->requests.size(), 1u);
}

TEST_F(ControllerPeer, AChangedHostKeyIsRefused) {
    ASSERT_TRUE(sshd().pid > 0);
    const uint16_t port = sshd().port;
    HalvexKnownHostModel stored("127.0.0.1", port, "127.0.0.1");
    // Another server's key.
    stored.setHost_key("AAAAC3NzaC1lZDI1NTE5AAAAIP3/WV2P2yHvE04ndtW4IUZT034vH7Gn3rIBWZ2QJZFU");
    stored.setHost_key_type(0);
    prefs->addKnownHost(stored);
    useServer(port, "root", {publickey()});
    ASSERT_TRUE(connectUntil(HalvexSessionStatusIdle) || controller->statusCode() == HalvexSessionStatusIdle);
    ASSERT_TRUE(controller->lastError());
    EXPECT_EQ(controller->lastError()->code, HalvexCoreErrorHostKeyRefused);
    const std::string fingerprint = sshd().hostKeyFingerprint();
    EXPECT_EQ(ownLines(),
              join({opening(port),
                    {"error: Failed to renew the ssh-ed25519 host key '" + fingerprint + "' for '127.0.0.1'",
                     "error: " + controller->lastError()->localizedDescription,
                     "info: Disconnected from server"}}));
    ASSERT_EQ(presenter->taken().size(), 1u);
    EXPECT_EQ(presenter->taken()[0].messageText, "REMOTE HOST KEY HAS CHANGED!");
    EXPECT_EQ(prefs->knownHosts()[0]->host_key(), stored.host_key());
    main->runUntil([] { return false; }, 100ms);
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle) << "a refused key is not retried";
}

TEST_F(ControllerPeer, PublicKeyWithPassphraseIsStoredOnlyWhenRight) {
    ASSERT_TRUE(sshd().pid > 0);
    const uint16_t port = sshd().port;
    const std::string keyId = importKey(sshd().dir.path + "/id_rsa_enc");
    ASSERT_FALSE(keyId.empty());
    prefs->addKnownHost([&] {
        HalvexKnownHostModel h("127.0.0.1", port, "127.0.0.1");
        std::string key = peers::readFile(sshd().dir.path + "/host_ed25519.pub").substr(12);
        h.setHost_key(key.substr(0, key.find(' ')));
        h.setHost_key_type(0);
        return h;
    }());

    // A wrong passphrase ends the attempt and is not kept.
    useServer(port, "root", {publickey()});
    controller->private_key = keyId;
    controller->connection_attempts = 0;
    prompter->responses.push_back(ScriptedPrompter::ok({"not the passphrase"}, true));
    ASSERT_TRUE(controller->turnOn());
    ASSERT_TRUE(main->runUntil([&] { return controller->lastError().has_value(); }, 30s));
    ASSERT_TRUE(waitStatus(HalvexSessionStatusIdle));
    EXPECT_TRUE(keychain->items().empty());
    EXPECT_EQ(ownLines(),
              join({opening(port),
                    {"info: Connection established",
                     "info: Authentication that can continue: publickey, password, keyboard-interactive",
                     "info: Authenticating with “publickey” method",
                     "info: Could not find passphrase for private key (id_rsa_enc) in keychain",
                     "error: " + controller->lastError()->localizedDescription,
                     "info: Disconnected from server"}}));
    EXPECT_EQ(prompter->requests.size(), 1u) << "asked once although two readers tried the key";

    controller = makeController();
    useServer(port, "root", {publickey()});
    controller->private_key = keyId;
    prompter->responses.push_back(ScriptedPrompter::ok({sshd().passphrase}, true));
    ASSERT_TRUE(connectUntil(HalvexSessionStatusAuthenticated)) << sessionLines(*controller).back();
    EXPECT_EQ(ownLines(),
              join({opening(port),
                    {"info: Connection established",
                     "info: Authentication that can continue: publickey, password, keyboard-interactive",
                     "info: Authenticating with “publickey” method",
                     "info: Could not find passphrase for private key (id_rsa_enc) in keychain",
                     authenticated(port),
                     "info: Passphrase for private key (id_rsa_enc) was remembered to keychain"}}));
    EXPECT_EQ(prompter->requests.back(), HalvexSecretPromptRequest::passphrase("id_rsa_enc"));
    auto model = HalvexPrivateKeyContainer::sharedPrivateKeyContainer().privateKeyWithId(keyId);
    ASSERT_TRUE(model);
    EXPECT_EQ(HalvexAuthHelper::makeWithPrivateKey(*model)->token(), sshd().passphrase);
}

TEST_F(ControllerPeer, TwoFactorPublicKeyThenKeyboardInteractiveInTheProfilesOrder) {
    ASSERT_TRUE(testUser().ok);
    peers::SSHD twoFactor;
    ASSERT_TRUE(twoFactor.start("AuthenticationMethods publickey,keyboard-interactive\n"));
    const uint16_t port = twoFactor.port;
    // The store holds keys by content, so a second sshd's key is a new file.
    const std::string keyId = importKey(twoFactor.dir.path + "/id_ed25519");
    ASSERT_FALSE(keyId.empty());
    useServer(port, testUser().name, {interactive(), publickey()});
    controller->private_key = keyId;
    // Keyboard-interactive first in the profile, but the server allows only
    // the public key at first.
    presenter->answer({HalvexAlertPresenter::SecondButton});
    prompter->responses.push_back(ScriptedPrompter::ok({testUser().password}, false));
    ASSERT_TRUE(connectUntil(HalvexSessionStatusAuthenticated)) << sessionLines(*controller).back();
    EXPECT_EQ(ownLines(),
              join({opening(port),
                    {trusted(twoFactor.hostKeyFingerprint()), "info: Connection established",
                     "info: Authentication that can continue: publickey",
                     "info: Authenticating with “publickey” method",
                     "info: Partial success. Authentication that can continue: keyboard-interactive",
                     "info: Authenticating with “keyboard-interactive” method",
                     "info: Remote host prompts following information:\nPassword: ",
                     "info: Could not find interactive information [0] in keychain", authenticated(port)}}));
    ASSERT_EQ(prompter->requests.size(), 1u) << "the round without prompts is not shown";
    ASSERT_EQ(prompter->requests[0].fields.size(), 1u);
    EXPECT_FALSE(prompter->requests[0].fields[0].echo);
    EXPECT_TRUE(keychain->items().empty()) << "not asked to remember";
    controller->turnOff();
    ASSERT_TRUE(waitStatus(HalvexSessionStatusIdle));
}

TEST_F(ControllerPeer, CancelInThePasswordPromptEndsTheLoginWithoutRetry) {
    ASSERT_TRUE(sshd().pid > 0);
    ASSERT_TRUE(testUser().ok);
    const uint16_t port = sshd().port;
    useServer(port, testUser().name, {password()});
    presenter->answer({HalvexAlertPresenter::SecondButton});
    prompter->responses.push_back({false, {"typed"}, true}); // Cancel, box ticked
    ASSERT_TRUE(controller->turnOn());
    ASSERT_TRUE(main->runUntil([&] { return controller->lastError().has_value(); }, 30s));
    ASSERT_TRUE(waitStatus(HalvexSessionStatusIdle));
    EXPECT_EQ(controller->lastError()->code, HalvexCoreErrorAuthentication);
    EXPECT_EQ(
        ownLines(),
        join(
            {opening(port),
             {trusted(sshd().hostKeyFingerprint()), "info: Connection established",
              "info: Authentication that can continue: publickey, password, keyboard-interactive",
              "info: Authenticating with “password” method", "info: Could not find password in keychain",
              "error: " + controller->lastError()->localizedDescription, "info: Disconnected from server"}}));
    EXPECT_TRUE(keychain->items().empty());
    main->runUntil([] { return false; }, 100ms);
    EXPECT_EQ(controller->statusCode(), HalvexSessionStatusIdle);
}

TEST_F(ControllerPeer, PasswordThenTwoPromptsAgainstTheScriptedServer) {
    ScriptedServer server(ScriptedServer::Script::PasswordThenInteractive);
    const uint16_t port = server.port;
    useServer(port, "tester", {password(), interactive()});
    presenter->answer({HalvexAlertPresenter::SecondButton});
    prompter->responses.push_back(ScriptedPrompter::ok({"first-factor"}, true));
    prompter->responses.push_back(ScriptedPrompter::ok({"424242", "blue"}, false));
    ASSERT_TRUE(connectUntil(HalvexSessionStatusAuthenticated)) << sessionLines(*controller).back();
    auto lines = ownLines();
    ASSERT_GE(lines.size(), 3u);
    const std::string hostKey = lines[2]; // a fresh key per server
    EXPECT_EQ(hostKey.rfind("warn: Permanently added the ssh-ed25519 host key 'SHA256:", 0), 0u) << hostKey;
    EXPECT_EQ(
        lines,
        join({opening(port),
              {hostKey, "info: Connection established",
               std::string("info: Issue banner:\n") + ScriptedServer::kBanner,
               "info: Authentication that can continue: password",
               "info: Authenticating with “password” method", "info: Could not find password in keychain",
               "info: Partial success. Authentication that can continue: keyboard-interactive",
               "info: Password was remembered to keychain",
               "info: Authenticating with “keyboard-interactive” method",
               "info: Remote host prompts following information:\nOne-time code: \nFavourite colour: ",
               "info: Could not find interactive information [0] in keychain", authenticated(port)}}));
    ASSERT_EQ(prompter->requests.size(), 2u);
    EXPECT_EQ(prompter->requests[1],
              HalvexSecretPromptRequest::interactive(
                  "127.0.0.1", port, "tester", "Second factor", "Answer both questions.",
                  {{"One-time code: ", false}, {"Favourite colour: ", true}}));
    EXPECT_EQ(HalvexAuthHelper::makeWithServer("127.0.0.1", port, "tester")->token(), "first-factor");
    EXPECT_TRUE(server.seen().authenticated);
}

TEST_F(ControllerPeer, ARetryReallyWaitsThreeSeconds) {
    ASSERT_TRUE(testUser().ok);
    // sshd drops a login that takes longer than two seconds (room for a
    // loaded machine's handshake); the retry logs in.
    peers::SSHD slow;
    ASSERT_TRUE(slow.start("LoginGraceTime 2\n"));
    const uint16_t port = slow.port;
    useServer(port, testUser().name, {password()});
    controller->connection_attempts = 1;
    controller->strict_hostkey_checking = false;
    presenter->answer({HalvexAlertPresenter::SecondButton});
    int asked = 0;
    prompter->answer = [&](const HalvexSecretPromptRequest&) -> HalvexSecretPromptResponse {
        if (++asked == 1) {
            // The user takes their time; the main thread stays responsive.
            main->runUntil([] { return false; }, 3500ms);
            return ScriptedPrompter::ok({"too late"}, true);
        }
        return ScriptedPrompter::ok({testUser().password}, false);
    };
    ASSERT_TRUE(controller->turnOn());
    ASSERT_TRUE(waitStatus(HalvexSessionStatusWaitingToRetry));
    const auto waitStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitStatus(HalvexSessionStatusConnecting, 30s));
    // Only the lower bound is the behaviour; a loaded machine may add any delay.
    EXPECT_GE(std::chrono::steady_clock::now() - waitStart, 2900ms);
    ASSERT_TRUE(waitStatus(HalvexSessionStatusAuthenticated)) << sessionLines(*controller).back();
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(keychain->items().empty()) << "the password of the dropped login is not kept";

    auto lines = ownLines();
    const auto retry =
        std::find(lines.begin(), lines.end(), "info: Connection failed, retry after 3 seconds…");
    ASSERT_NE(retry, lines.end());
    EXPECT_EQ(*(retry - 1), "info: Disconnected from server");
    EXPECT_EQ(std::vector<std::string>(retry + 1, lines.end()),
              join({opening(port),
                    {"info: Connection established",
                     "info: Authentication that can continue: publickey, password, keyboard-interactive",
                     "info: Authenticating with “password” method",
                     "info: Could not find password in keychain", authenticated(port)}}));
    controller->turnOff();
    ASSERT_TRUE(waitStatus(HalvexSessionStatusIdle));
}

} // namespace
