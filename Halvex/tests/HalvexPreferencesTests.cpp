#include "Foundation/KeyedArchiver.h"
#include "Foundation/Log.h"
#include "Halvex/HalvexAlertPresenter.h"
#include "Halvex/HalvexLoginItem.h"
#include "Halvex/HalvexPreferences.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spdlog/sinks/ostream_sink.h>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

class RecordingPresenter : public HalvexAlertPresenter {
public:
    long answer = FirstButton;
    std::vector<HalvexAlert> alerts;
    long runModalAlert(const HalvexAlert& alert) override {
        alerts.push_back(alert);
        return answer;
    }
};

// What the application's preferences add: nothing here but a second object
// over the same store.
class ApplicationPreferences : public HalvexPreferences {
public:
    using HalvexPreferences::HalvexPreferences;
    int migrations = 0;

protected:
    void migratePrivateKeyContainer() override { ++migrations; }
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class HalvexPreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/halvex-prefs-XXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
            const char* v = std::getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        presenter_ = std::make_shared<RecordingPresenter>();
        HalvexAlertPresenter::setSharedPresenter(presenter_);
        sink_ = std::make_shared<spdlog::sinks::ostream_sink_mt>(log_);
        Log::setLogger(std::make_shared<spdlog::logger>("test", sink_));
    }
    void TearDown() override {
        Log::setLogger(nullptr);
        HalvexAlertPresenter::setSharedPresenter(nullptr);
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    std::shared_ptr<UserDefaults> defaults(const std::string& name = "defaults.json") {
        return UserDefaults::userDefaultsWithPath((dir_ / "orvik" / name).string());
    }
    static HalvexKnownHostModel host(const std::string& name, std::uint16_t port, const std::string& ip,
                                     const std::string& key) {
        HalvexKnownHostModel h(name, port, ip);
        h.setHost_key(key);
        h.setHost_key_type(5);
        return h;
    }

    fs::path dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
    std::shared_ptr<RecordingPresenter> presenter_;
    std::ostringstream log_;
    std::shared_ptr<spdlog::sinks::ostream_sink_mt> sink_;
};

} // namespace

TEST_F(HalvexPreferencesTest, DefaultsFileIsPrivateAndHoldsEveryWrite) {
    HalvexPreferences prefs(defaults());
    prefs.setShowUpgradeNotes(false);
    prefs.addKnownHost(host("a.example", 22, "192.0.2.1", "AAAA"));
    const fs::path file = dir_ / "orvik" / "defaults.json";
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    json stored = json::parse(readFile(file));
    EXPECT_EQ(stored["upgrade_notes"], 150300);
    EXPECT_EQ(stored["known_hosts"]["$root"][0]["host_name"], "a.example");
    // Only the file itself: no temporary files left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "orvik"), fs::directory_iterator()), 1);
}

TEST_F(HalvexPreferencesTest, UpgradeNotesAndModelVersion) {
    auto store = defaults();
    ApplicationPreferences prefs(store);
    EXPECT_TRUE(prefs.showUpgradeNotes());
    prefs.setShowUpgradeNotes(false);
    EXPECT_FALSE(prefs.showUpgradeNotes());
    prefs.setShowUpgradeNotes(true);
    EXPECT_TRUE(prefs.showUpgradeNotes());
    EXPECT_EQ(store->integerForKey("upgrade_notes"), 0);
    store->setInteger("upgrade_notes", 1501);
    EXPECT_TRUE(prefs.showUpgradeNotes());
    store->setInteger("upgrade_notes", 150200);
    EXPECT_FALSE(prefs.showUpgradeNotes());

    EXPECT_EQ(prefs.modelVersionNumber(), 0);
    prefs.upgrade();
    EXPECT_EQ(prefs.migrations, 1);
    EXPECT_EQ(prefs.modelVersionNumber(), 150300);
    prefs.upgrade();
    EXPECT_EQ(prefs.migrations, 1) << "a current version is left alone";
    store->setInteger("model_version", 150200);
    prefs.upgrade();
    EXPECT_EQ(prefs.migrations, 2);
    EXPECT_EQ(store->integerForKey("model_version"), 150300);
}

TEST_F(HalvexPreferencesTest, KnownHostsByNameAndPort) {
    auto store = defaults();
    {
        HalvexPreferences prefs(store);
        EXPECT_TRUE(prefs.knownHosts().empty());
        EXPECT_EQ(prefs.getKnownHost("a.example", 22), nullptr);
        prefs.addKnownHost(host("a.example", 22, "192.0.2.1", "KEY22"));
        prefs.addKnownHost(host("a.example", 2222, "192.0.2.1", "KEY2222"));
        EXPECT_EQ(prefs.getKnownHost("a.example", 22)->host_key(), "KEY22");
        EXPECT_EQ(prefs.getKnownHost("a.example", 2222)->host_key(), "KEY2222");
        EXPECT_EQ(prefs.getKnownHost("a.example", 23), nullptr);
        EXPECT_EQ(prefs.getKnownHost("A.EXAMPLE", 22), nullptr);

        // Lookups hand out copies: changing one changes nothing stored.
        auto copy = prefs.getKnownHost("a.example", 22);
        copy->setHost_key("CHANGED");
        EXPECT_EQ(prefs.getKnownHost("a.example", 22)->host_key(), "KEY22");

        // Two entries under one key: the later one is found; updates reach both.
        prefs.addKnownHost(host("a.example", 22, "192.0.2.9", "LATER"));
        EXPECT_EQ(prefs.getKnownHost("a.example", 22)->host_key(), "LATER");
        prefs.updateKnownHost(host("a.example", 22, "192.0.2.7", "NEW"));
        auto all = prefs.knownHosts();
        ASSERT_EQ(all.size(), 3u);
        EXPECT_EQ(all[0]->host_key(), "NEW");
        EXPECT_EQ(all[0]->host_ip, "192.0.2.7");
        EXPECT_EQ(all[2]->host_key(), "NEW");
        EXPECT_EQ(all[1]->host_key(), "KEY2222");

        prefs.removeKnownHost(nullptr);
        EXPECT_EQ(prefs.knownHosts().size(), 3u);
        prefs.removeKnownHost(all[0].get());
        ASSERT_EQ(prefs.knownHosts().size(), 1u);
        EXPECT_EQ(prefs.knownHosts()[0]->host_port, 2222);
    }
    // Read back from the stored archive by a fresh store of another process:
    // simulated by decoding the stored value directly.
    auto stored = store->objectForKey("known_hosts");
    ASSERT_TRUE(stored);
    EXPECT_EQ((*stored)["$root"].size(), 1u);
    EXPECT_EQ((*stored)["$root"][0]["host_key"], "KEY2222");
}

TEST_F(HalvexPreferencesTest, ArchivesOfOlderVersionsDecode) {
    auto store = defaults();
    json archive = {{"$archiver", "OrvikKeyedArchive"},
                    {"$version", 1},
                    {"$root",
                     {{{"$class", "KvKnownHost"},
                       {"host_name", "old.example"},
                       {"host_ip", "198.51.100.4"},
                       {"host_port", 22},
                       {"host_key", "OLD"},
                       {"host_key_type", 1}}}}};
    store->setObject("known_hosts", archive);
    HalvexPreferences prefs(store);
    auto h = prefs.getKnownHost("old.example", 22);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->host_key(), "OLD");
    EXPECT_EQ(h->description(), "old.example (198.51.100.4) port 22");
    EXPECT_EQ(&h->modelClass(), &HalvexKnownHostModel::classDescription());
}

TEST_F(HalvexPreferencesTest, UndecodableKnownHostsAreKeptAsideNotOverwritten) {
    auto store = defaults();
    const json junk = {{"$archiver", "OrvikKeyedArchive"},
                       {"$version", 1},
                       {"$root", {{{"$class", "SomethingFromTheFuture"}, {"x", 1}}}}};
    store->setObject("known_hosts", junk);
    {
        HalvexPreferences prefs(store);
        EXPECT_TRUE(prefs.knownHosts().empty());
        sink_->flush();
        EXPECT_NE(log_.str().find("known_hosts.undecodable"), std::string::npos) << log_.str();
        prefs.addKnownHost(host("a.example", 22, "192.0.2.1", "K"));
    }
    EXPECT_EQ(store->objectForKey("known_hosts.undecodable"), junk);
    EXPECT_EQ((*store->objectForKey("known_hosts"))["$root"].size(), 1u);

    // The same bytes again are not kept twice; other bytes get a key of their own.
    auto again = defaults("again.json");
    again->setObject("known_hosts.undecodable", junk);
    again->setObject("known_hosts", junk);
    HalvexPreferences(again).knownHosts();
    EXPECT_FALSE(again->objectForKey("known_hosts.undecodable.2"));
    auto other = defaults("other.json");
    other->setObject("known_hosts.undecodable", junk);
    other->setObject("known_hosts", "not an archive at all");
    HalvexPreferences(other).knownHosts();
    EXPECT_EQ(other->objectForKey("known_hosts.undecodable.2"), json("not an archive at all"));
    EXPECT_EQ(other->objectForKey("known_hosts.undecodable"), junk);
}

TEST_F(HalvexPreferencesTest, TwoPreferenceObjectsSeeEachOthersWrites) {
    const std::string path = (dir_ / "orvik" / "shared.json").string();
    HalvexPreferences framework(UserDefaults::userDefaultsWithPath(path));
    ApplicationPreferences application(UserDefaults::userDefaultsWithPath(path));

    framework.addKnownHost(host("one.example", 22, "192.0.2.1", "ONE"));
    ASSERT_NE(application.getKnownHost("one.example", 22), nullptr);
    application.removeKnownHost(application.getKnownHost("one.example", 22).get());
    EXPECT_EQ(framework.getKnownHost("one.example", 22), nullptr);
    // The framework's next write must not bring the removed host back.
    framework.addKnownHost(host("two.example", 22, "192.0.2.2", "TWO"));
    auto hosts = application.knownHosts();
    ASSERT_EQ(hosts.size(), 1u);
    EXPECT_EQ(hosts[0]->host_name, "two.example");

    application.setShowUpgradeNotes(false);
    EXPECT_FALSE(framework.showUpgradeNotes());
    framework.setAutoLaunch(false);
    EXPECT_FALSE(application.autoLaunch());
}

TEST_F(HalvexPreferencesTest, LoginItemIsAnAutostartEntryWrittenAndRemoved) {
    HalvexPreferences prefs(defaults());
    prefs.setHelperAppID("org.example.OrvikHelper");
    prefs.setHelperAppName("Orvik Helper");
    prefs.setHelperAppExecutable("/opt/Orvik Apps/bin/orvik");
    const fs::path entry = dir_ / "config" / "autostart" / "org.example.OrvikHelper.desktop";

    EXPECT_FALSE(prefs.autoLaunch());
    prefs.setAutoLaunch(true);
    EXPECT_TRUE(prefs.autoLaunch());
    ASSERT_TRUE(fs::exists(entry));
    EXPECT_TRUE(HalvexLoginItem::isEnabled("org.example.OrvikHelper"));
    const std::string text = readFile(entry);
    EXPECT_TRUE(text.starts_with("[Desktop Entry]\n")) << text;
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nName=Orvik Helper\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nExec=\"/opt/Orvik Apps/bin/orvik\"\n"), std::string::npos) << text;
    EXPECT_TRUE(presenter_->alerts.empty());

    prefs.setAutoLaunch(false);
    EXPECT_FALSE(prefs.autoLaunch());
    EXPECT_FALSE(fs::exists(entry));
    prefs.setAutoLaunch(false);
    EXPECT_TRUE(presenter_->alerts.empty()) << "removing an absent entry is no failure";

    // Without XDG_CONFIG_HOME (or with a relative one) the entry goes under $HOME/.config.
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    ::setenv("HOME", (dir_ / "home").c_str(), 1);
    prefs.setAutoLaunch(true);
    EXPECT_TRUE(fs::exists(dir_ / "home" / ".config" / "autostart" / "org.example.OrvikHelper.desktop"));
    EXPECT_TRUE(presenter_->alerts.empty());
}

TEST_F(HalvexPreferencesTest, LoginItemFailuresAreShownAndTheSwitchStoredAnyway) {
    HalvexPreferences prefs(defaults());
    prefs.setHelperAppName("Orvik Helper");
    prefs.setHelperAppID("../escape");
    prefs.setAutoLaunch(true);
    ASSERT_EQ(presenter_->alerts.size(), 1u);
    const HalvexAlert& add = presenter_->alerts[0];
    EXPECT_EQ(add.messageText, "An error ocurred");
    EXPECT_EQ(add.informativeText, "Couldn't add Orvik Helper to launch at login item list.");
    EXPECT_EQ(add.buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(prefs.autoLaunch());
    EXPECT_FALSE(fs::exists(dir_ / "escape.desktop"));

    // A folder where the entry should be cannot be removed as an entry.
    prefs.setHelperAppID("org.example.Blocked");
    fs::create_directories(dir_ / "config" / "autostart" / "org.example.Blocked.desktop" / "inner");
    prefs.setAutoLaunch(false);
    ASSERT_EQ(presenter_->alerts.size(), 2u);
    EXPECT_EQ(presenter_->alerts[1].informativeText,
              "Couldn't remove Orvik Helper from launch at login item list.");
    EXPECT_FALSE(prefs.autoLaunch());
}

TEST(HalvexLoginItem, ExecValuesAreQuotedAndEscaped) {
    EXPECT_EQ(HalvexLoginItem::execValue("/usr/bin/orvik"), "/usr/bin/orvik");
    EXPECT_EQ(HalvexLoginItem::execValue("/opt/a b/orvik"), "\"/opt/a b/orvik\"");
    // Inside quotes: \" \$ \` \\ ; then the string escape doubles each backslash.
    EXPECT_EQ(HalvexLoginItem::execValue("/opt/$x\"y/or`v\\ik"), "\"/opt/\\\\$x\\\\\"y/or\\\\`v\\\\\\\\ik\"");
    EXPECT_EQ(HalvexLoginItem::execValue("/opt/100%/orvik"), "/opt/100%%/orvik");
    Error error;
    EXPECT_FALSE(HalvexLoginItem::setEnabled("org.example.X", "X", "relative/orvik", true, &error));
    EXPECT_EQ(error.code, HalvexLoginItem::ErrorInvalidExecutable);
    EXPECT_FALSE(HalvexLoginItem::setEnabled("a/b", "X", "/bin/true", true, &error));
    EXPECT_EQ(error.code, HalvexLoginItem::ErrorInvalidIdentifier);
    EXPECT_FALSE(HalvexLoginItem::setEnabled("", "X", "/bin/true", false, &error));
    EXPECT_FALSE(HalvexLoginItem::setEnabled("x\ny", "X", "/bin/true", true, &error));
}

TEST(HalvexKnownHostModel, StoredKeyIsParsedWheneverItChanges) {
    // Fingerprint as OpenSSH's ssh-keygen -l prints it for this key.
    const std::string ed25519 = "AAAAC3NzaC1lZDI1NTE5AAAAIPdFsh5jmfJceEJeB+kDbelKTIzlsXnf4FOfN6DPV59H";
    HalvexKnownHostModel h("k.example", 22, std::nullopt);
    int notices = 0;
    auto token = h.addObserver("hostKeyParser", [&](const std::string&, bool) { ++notices; });
    h.setHost_key(ed25519);
    EXPECT_EQ(h.hostKeyParser(), nullptr) << "no key type yet";
    h.setHost_key_type(5);
    ASSERT_NE(h.hostKeyParser(), nullptr);
    EXPECT_EQ(h.hostKeyParser()->fingerprint(), "SHA256:f6jY46xCh3JZaJmEnJ+C7gd8Tijb2lhmm0u+hlERYyo");
    EXPECT_EQ(h.hostKeyParser()->typeName(), "ssh-ed25519");
    EXPECT_EQ(notices, 2);

    // Copies and archives rebuild it from the stored values.
    auto copy = h.copyAs<HalvexKnownHostModel>();
    ASSERT_NE(copy->hostKeyParser(), nullptr);
    EXPECT_EQ(copy->hostKeyParser()->base64(), ed25519);

    for (const char* bad : {"", "AAAA", "not base64!", "AAAAC3NzaC1lZDI1NTE5AAAAIPdFsh5jmfJceEJeB"}) {
        h.setHost_key(std::string(bad));
        EXPECT_EQ(h.hostKeyParser(), nullptr) << bad;
    }
    h.setHost_key(ed25519);
    h.setHost_key_type(8); // recorded as another kind of key
    EXPECT_EQ(h.hostKeyParser(), nullptr);

    EXPECT_EQ(h.description(), "k.example");
    h.host_ip = "k.example";
    EXPECT_EQ(h.description(), "k.example");
}
