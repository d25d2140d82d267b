// The host-key checks as a session runs them: asked on the session's own
// thread, answered by an alert on the main thread, while the main thread also
// reads and removes known hosts.

#include "Dispatch/DrivableMainQueue.h"
#include "Halvex/HalvexAlertPresenter.h"
#include "Halvex/HalvexPreferences.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Answers alerts from a script, as the Qt layer will: on the main thread.
class ScriptedPresenter : public HalvexAlertPresenter {
public:
    explicit ScriptedPresenter(std::shared_ptr<DrivableMainQueue> main) : main_(std::move(main)) {}

    void script(std::string messagePrefix, long answer) {
        std::lock_guard lock(mutex_);
        answers_.emplace_back(std::move(messagePrefix), answer);
    }
    std::vector<HalvexAlert> seen() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    bool onMainThreadOnly() const {
        std::lock_guard lock(mutex_);
        return offMain_ == 0;
    }

    long runModalAlert(const HalvexAlert& alert) override {
        std::lock_guard lock(mutex_);
        if (!main_->isCurrent()) ++offMain_;
        seen_.push_back(alert);
        if (answers_.empty() || !alert.messageText.starts_with(answers_.front().first)) {
            ADD_FAILURE() << "unexpected alert: " << alert.messageText;
            return FirstButton;
        }
        long a = answers_.front().second;
        answers_.pop_front();
        return a;
    }

private:
    std::shared_ptr<DrivableMainQueue> main_;
    mutable std::mutex mutex_;
    std::deque<std::pair<std::string, long>> answers_;
    std::vector<HalvexAlert> seen_;
    int offMain_ = 0;
};

struct Connection {
    std::string host;
    std::uint16_t port = 22;
    std::string ip;
    std::shared_ptr<HalvexHostKeyParser> key;
    bool strict = true;
    bool checkIP = true;
};

// The check a session makes once the server's key is known.
bool checkHostKey(HalvexPreferences& prefs, const Connection& c) {
    auto known = prefs.getKnownHost(c.host, c.port);
    if (!known) {
        HalvexKnownHostModel fresh(c.host, c.port, c.ip);
        if (!fresh.shouldAcceptHostKey(*c.key)) return false;
        prefs.addKnownHost(fresh);
        return true;
    }
    if (!known->tryUpdateHostKey(*c.key, c.strict)) return false;
    if (c.checkIP && !known->tryUpdateHostIP(c.ip, c.strict)) return false;
    prefs.updateKnownHost(*known);
    return true;
}

// Two real public keys with the fingerprints OpenSSH's ssh-keygen -l gives.
const char* const keyAText = "AAAAC3NzaC1lZDI1NTE5AAAAIPdFsh5jmfJceEJeB+kDbelKTIzlsXnf4FOfN6DPV59H";
const char* const keyAFingerprint = "SHA256:f6jY46xCh3JZaJmEnJ+C7gd8Tijb2lhmm0u+hlERYyo";
const char* const keyBText =
    "AAAAE2VjZHNhLXNoYTItbmlzdHAyNTYAAAAIbmlzdHAyNTYAAABBBPVyh+0fjnv9zjJts1WK0eJOK0l0VLgWh82E"
    "h+2qsTXGtdd3gcimaPENfod9hr+s8jaayemqM/ycyzpRSGd6NMk=";
const char* const keyBFingerprint = "SHA256:sNLb0tjKyDz2g+FEZeRROVYKsW93aJYvwkuHrX5MzFc";

std::shared_ptr<HalvexHostKeyParser> parse(const char* text) {
    Error error;
    auto parser = HalvexHostKeyParser::parserFromBase64(text, 0, &error);
    EXPECT_NE(parser, nullptr) << error.localizedDescription;
    return parser;
}

class KnownHostFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        keyA = parse(keyAText);
        keyB = parse(keyBText);
        ASSERT_TRUE(keyA && keyB);
        char templ[] = "/tmp/halvex-known-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
        defaults_ = UserDefaults::userDefaultsWithPath((dir_ / "defaults.json").string());
        prefs_ = std::make_unique<HalvexPreferences>(defaults_);
        main_ = std::make_shared<DrivableMainQueue>();
        MainQueue::setMain(main_);
        presenter_ = std::make_shared<ScriptedPresenter>(main_);
        HalvexAlertPresenter::setSharedPresenter(presenter_);
    }
    void TearDown() override {
        HalvexAlertPresenter::setSharedPresenter(nullptr);
        MainQueue::setMain(nullptr);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Runs the check on a session thread while the main loop answers alerts
    // and reads the store.
    bool connect(const Connection& c) {
        std::atomic<bool> finished{false};
        bool result = false;
        std::thread session([&] {
            result = checkHostKey(*prefs_, c);
            finished = true;
        });
        int reads = 0;
        bool ok = main_->runUntil(
            [&] {
                // The main thread's own use of the store, meanwhile.
                (void)prefs_->knownHosts();
                (void)prefs_->getKnownHost(c.host, c.port);
                ++reads;
                return finished.load();
            },
            10s);
        session.join();
        EXPECT_TRUE(ok) << "the session thread did not finish";
        EXPECT_GT(reads, 0);
        return result;
    }

    std::shared_ptr<HalvexHostKeyParser> keyA, keyB;
    fs::path dir_;
    std::shared_ptr<UserDefaults> defaults_;
    std::unique_ptr<HalvexPreferences> prefs_;
    std::shared_ptr<DrivableMainQueue> main_;
    std::shared_ptr<ScriptedPresenter> presenter_;
};

} // namespace

TEST_F(KnownHostFlowTest, NewHostTrustedIsStoredOnceAndNotAskedAgain) {
    presenter_->script("Please verify the host key fingerprint for ", HalvexAlertPresenter::SecondButton);
    EXPECT_TRUE(connect({"srv.example", 22, "192.0.2.10", keyA}));
    auto alerts = presenter_->seen();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText,
              "Please verify the host key fingerprint for 'srv.example (192.0.2.10) port 22'");
    EXPECT_EQ(alerts[0].informativeText, std::string("The fingerprint of host key is\n") + keyAFingerprint +
                                             " [ssh-ed25519]\n\n"
                                             "Do you trust the host with this fingerprint?");
    EXPECT_EQ(alerts[0].buttons, (std::vector<std::string>{"No", "Trust"}));
    EXPECT_EQ(alerts[0].style, HalvexAlert::Style::warning);
    EXPECT_TRUE(presenter_->onMainThreadOnly());

    auto stored = defaults_->objectForKey("known_hosts");
    ASSERT_TRUE(stored);
    ASSERT_EQ((*stored)["$root"].size(), 1u);
    EXPECT_EQ((*stored)["$root"][0]["host_key"], keyAText);
    EXPECT_EQ((*stored)["$root"][0]["host_key_type"], keyA->keyType());

    // Second connection with the same key and address: no question.
    EXPECT_TRUE(connect({"srv.example", 22, "192.0.2.10", keyA}));
    EXPECT_EQ(presenter_->seen().size(), 1u);
    EXPECT_EQ(prefs_->knownHosts().size(), 1u);
}

TEST_F(KnownHostFlowTest, NewHostRefusedIsNotStored) {
    presenter_->script("Please verify", HalvexAlertPresenter::FirstButton);
    EXPECT_FALSE(connect({"srv.example", 22, "192.0.2.10", keyA}));
    EXPECT_TRUE(prefs_->knownHosts().empty());
    EXPECT_FALSE(defaults_->objectForKey("known_hosts"));
}

TEST_F(KnownHostFlowTest, ChangedKeyWithStrictCheckAsksAndNoKeepsTheStoredKey) {
    presenter_->script("Please verify", HalvexAlertPresenter::SecondButton);
    ASSERT_TRUE(connect({"srv.example", 22, "192.0.2.10", keyA}));

    presenter_->script("REMOTE HOST KEY HAS CHANGED!", HalvexAlertPresenter::FirstButton);
    EXPECT_FALSE(connect({"srv.example", 22, "192.0.2.10", keyB, true}));
    EXPECT_EQ(prefs_->getKnownHost("srv.example", 22)->host_key(), keyAText);
    auto alert = presenter_->seen().back();
    EXPECT_EQ(alert.style, HalvexAlert::Style::critical);
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"No", "Accept"}));
    EXPECT_NE(
        alert.informativeText.find("The fingerprint of the host key sent by the remote host is\n" +
                                   std::string(keyBFingerprint) +
                                   " [ecdsa-sha2-nistp256]\n\nAre you sure you want to accept this changed "
                                   "host key?"),
        std::string::npos);
    EXPECT_TRUE(alert.informativeText.starts_with(
        "WARNING: IT IS POSSIBLE THAT SOMEONE IS DOING SOMETHING NASTY!\n"));

    presenter_->script("REMOTE HOST KEY HAS CHANGED!", HalvexAlertPresenter::SecondButton);
    EXPECT_TRUE(connect({"srv.example", 22, "192.0.2.10", keyB, true}));
    auto stored = prefs_->getKnownHost("srv.example", 22);
    EXPECT_EQ(stored->host_key(), keyBText);
    EXPECT_EQ(stored->host_key_type(), keyB->keyType());
    ASSERT_NE(stored->hostKeyParser(), nullptr);
    EXPECT_EQ(stored->hostKeyParser()->fingerprint(), keyBFingerprint);
    EXPECT_EQ(prefs_->knownHosts().size(), 1u);
}

TEST_F(KnownHostFlowTest, ChangedKeyWithoutStrictCheckIsStoredSilently) {
    presenter_->script("Please verify", HalvexAlertPresenter::SecondButton);
    ASSERT_TRUE(connect({"srv.example", 22, "192.0.2.10", keyA}));
    EXPECT_TRUE(connect({"srv.example", 22, "192.0.2.10", keyB, false}));
    EXPECT_EQ(presenter_->seen().size(), 1u);
    EXPECT_EQ(prefs_->getKnownHost("srv.example", 22)->host_key(), keyBText);
}

TEST_F(KnownHostFlowTest, AddressChangeAsksUnderStrictCheckAndIsStoredOtherwise) {
    presenter_->script("Please verify", HalvexAlertPresenter::SecondButton);
    ASSERT_TRUE(connect({"srv.example", 22, "192.0.2.10", keyA}));

    presenter_->script("POSSIBLE DNS SPOOFING DETECTED!", HalvexAlertPresenter::FirstButton);
    EXPECT_FALSE(connect({"srv.example", 22, "192.0.2.99", keyA, true}));
    EXPECT_EQ(prefs_->getKnownHost("srv.example", 22)->host_ip, "192.0.2.10");
    auto alert = presenter_->seen().back();
    EXPECT_EQ(
        alert.informativeText,
        "The IP address for srv.example is resolved to 192.0.2.99, which differs from the last connected IP "
        "address (192.0.2.10).\n\nAre you sure you want to continue connecting?");
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"No", "I'm sure"}));

    presenter_->script("POSSIBLE DNS SPOOFING DETECTED!", HalvexAlertPresenter::SecondButton);
    EXPECT_TRUE(connect({"srv.example", 22, "192.0.2.99", keyA, true}));
    EXPECT_EQ(prefs_->getKnownHost("srv.example", 22)->host_ip, "192.0.2.99");

    EXPECT_TRUE(connect({"srv.example", 22, "192.0.2.42", keyA, false}));
    EXPECT_EQ(prefs_->getKnownHost("srv.example", 22)->host_ip, "192.0.2.42");
    // Through a proxy the address is not compared at all.
    EXPECT_TRUE(connect({"srv.example", 22, "203.0.113.1", keyA, true, false}));
    EXPECT_EQ(prefs_->getKnownHost("srv.example", 22)->host_ip, "192.0.2.42");
    EXPECT_EQ(presenter_->seen().size(), 3u);
}

TEST_F(KnownHostFlowTest, WithoutAPresenterNothingIsAccepted) {
    HalvexAlertPresenter::setSharedPresenter(nullptr);
    EXPECT_FALSE(connect({"srv.example", 22, "192.0.2.10", keyA}));
    EXPECT_TRUE(prefs_->knownHosts().empty());
}

TEST_F(KnownHostFlowTest, SessionsOnManyThreadsAndMainThreadRemovalsDoNotRace) {
    // Hosts trusted up front, without questions.
    for (int i = 0; i < 8; ++i) {
        HalvexKnownHostModel h(std::string("h").append(std::to_string(i)).append(".example"), 22,
                               "192.0.2.1");
        h.setHost_key(keyA->base64());
        h.setHost_key_type(keyA->keyType());
        prefs_->addKnownHost(h);
    }
    HalvexPreferences application(defaults_); // the application's own object
    std::atomic<int> done{0};
    std::vector<std::thread> sessions;
    for (int i = 0; i < 7; ++i) {
        sessions.emplace_back([&, i] {
            for (int round = 0; round < 20; ++round) {
                Connection c{std::string("h").append(std::to_string(i)).append(".example"), 22,
                             std::string("192.0.2.").append(std::to_string(round % 3 + 1)), keyA, false};
                EXPECT_TRUE(checkHostKey(*prefs_, c));
            }
            ++done;
        });
    }
    // Meanwhile the main thread lists hosts and removes one that no session uses.
    int rounds = 0;
    EXPECT_TRUE(main_->runUntil(
        [&] {
            if (rounds++ == 0) application.removeKnownHost(application.getKnownHost("h7.example", 22).get());
            (void)application.knownHosts();
            return done.load() == 7;
        },
        60s));
    for (auto& t : sessions)
        t.join();
    EXPECT_EQ(application.getKnownHost("h7.example", 22), nullptr);
    EXPECT_EQ(prefs_->knownHosts().size(), 7u);
    EXPECT_TRUE(presenter_->seen().empty());
}

TEST_F(KnownHostFlowTest, AnAlertAskedOnTheMainThreadRunsAtOnce) {
    // The login item's failure alert comes from the main thread itself; the
    // hop must not wait for the queue it is running on.
    prefs_->setHelperAppID("");
    prefs_->setHelperAppName("Helper");
    presenter_->script("An error ocurred", HalvexAlertPresenter::FirstButton);
    prefs_->setAutoLaunch(true);
    auto alerts = presenter_->seen();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].informativeText, "Couldn't add Helper to launch at login item list.");
    EXPECT_TRUE(presenter_->onMainThreadOnly());
    EXPECT_TRUE(prefs_->autoLaunch());
}
