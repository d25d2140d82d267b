#include <gtest/gtest.h>

#include <sys/stat.h>

#include <deque>
#include <filesystem>

#include "Foundation/PropertyList.h"
#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexJSONAdapter.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/HalvexSessionController.h"
#include "Halvex/VySSHBackupModule.h"
#include "Keychain/MemoryKeychainBackend.h"
#include "PemvinTestSupport.h"

namespace fs = std::filesystem;

namespace {

// Answers panels from scripts and records the alerts and errors shown.
class ScriptedBackupWindow : public VySSHBackupWindow {
public:
    std::deque<std::optional<std::string>> savePaths, openPaths;
    std::vector<Panel> panels;
    std::vector<HalvexAlert> alerts;
    std::vector<Error> errors;

    std::optional<std::string> runSavePanel(const Panel& panel) override { return next(panel, savePaths); }
    std::optional<std::string> runOpenPanel(const Panel& panel) override { return next(panel, openPaths); }
    long runAlert(const HalvexAlert& alert) override {
        alerts.push_back(alert);
        return 1000;
    }
    void showError(const Error& error) override { errors.push_back(error); }

private:
    std::optional<std::string> next(const Panel& panel, std::deque<std::optional<std::string>>& paths) {
        panels.push_back(panel);
        if (paths.empty()) return std::nullopt;
        auto path = paths.front();
        paths.pop_front();
        return path;
    }
};

mode_t modeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

std::shared_ptr<HalvexSessionController> server(const std::string& name, const std::string& host,
                                                std::int64_t port, const std::string& user) {
    auto s = std::make_shared<HalvexSessionController>();
    s->setName(name);
    s->setSsh_host(host);
    s->setSsh_port(port);
    s->ssh_user = user;
    return s;
}

class BackupModule : public ::testing::Test {
protected:
    void SetUp() override {
        KeychainBackend::setShared(keychain);
        // 1 March 2016, midday UTC: the same date in every time zone but the
        // most extreme ones.
        module.setClock([] { return std::chrono::system_clock::from_time_t(1456833600); });
    }
    void TearDown() override { KeychainBackend::setShared(nullptr); }

    std::string write(const std::string& name, const std::string& text) {
        pemvinWriteFile(dir.file(name), text);
        return dir.file(name);
    }
    // Imports `json` with the verdicts given in order; the summary shown.
    HalvexAlert importWithVerdicts(const std::string& json, std::deque<long> verdicts,
                                   VySSHBackupModule::Entries* read = nullptr) {
        ScriptedBackupWindow w;
        w.openPaths = {write("in.json", json)};
        auto models = module.importWithClass(HalvexSessionModel::classDescription(), w,
                                             [&](const std::shared_ptr<MTLModel>&) {
                                                 long v = verdicts.front();
                                                 verdicts.pop_front();
                                                 return v;
                                             });
        if (read) *read = models;
        EXPECT_TRUE(verdicts.empty()) << "every model is judged";
        EXPECT_TRUE(w.errors.empty());
        if (w.alerts.size() != 1) {
            ADD_FAILURE() << "one summary expected, got " << w.alerts.size();
            return {};
        }
        return w.alerts[0];
    }

    PemvinTempDir dir;
    std::shared_ptr<MemoryKeychainBackend> keychain = std::make_shared<MemoryKeychainBackend>();
    VySSHBackupModule module;
    ScriptedBackupWindow window;
};

TEST_F(BackupModule, ServerEntriesAreWrittenAsPrettyJSONUnderTheProposedName) {
    auto a = server("alpha", "alpha.example", 22, "root");
    auto b = server("beta", "10.0.0.2", 2222, "me");
    b->comment = "second";
    window.savePaths = {dir.file("out.json")};
    ASSERT_TRUE(module.exportEntries(VySSHBackupModule::Entries{a, b}, window, "Server-Entries"));

    ASSERT_EQ(window.panels.size(), 1u);
    const auto& panel = window.panels[0];
    EXPECT_EQ(panel.nameFieldStringValue, "Server-Entries-2016-03-01");
    EXPECT_EQ(panel.nameFieldLabel, "Export As:");
    EXPECT_EQ(panel.allowedFileTypes, std::vector<std::string>{"json"});
    EXPECT_TRUE(panel.showsHiddenFiles);
    EXPECT_FALSE(panel.extensionHidden);
    EXPECT_TRUE(panel.canSelectHiddenExtension);

    std::string text = pemvinReadFile(dir.file("out.json"));
    EXPECT_NE(text.find("\n  {\n    \""), std::string::npos) << "pretty-printed: " << text;
    auto json = nlohmann::json::parse(text);
    EXPECT_EQ(json, *HalvexJSONAdapter().JSONArrayFromModels(
                        std::vector<std::shared_ptr<HalvexSessionController>>{a, b}));
    EXPECT_FALSE(json[0].contains("uid"));
    EXPECT_EQ(json[1]["comment"], "second");
    EXPECT_EQ(modeOf(dir.file("out.json")), 0600u) << "an entry may carry a proxy password";

    // What was written reads back as equal entries.
    VySSHBackupModule::Entries read;
    importWithVerdicts(text, {0, 0}, &read);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_TRUE(std::static_pointer_cast<HalvexSessionModel>(read[0])->isIdentical(*a));

    // The two-argument export proposes the tunnel stem.
    window.savePaths = {dir.file("tunnels.json")};
    EXPECT_TRUE(module.exportEntries(VySSHBackupModule::Entries{a}, window));
    EXPECT_EQ(window.panels.back().nameFieldStringValue, "Tunnel-Entries-2016-03-01");
}

TEST_F(BackupModule, ADictionaryOfEntriesIsWrittenAsAnObject) {
    window.savePaths = {dir.file("dict.json")};
    ASSERT_TRUE(module.exportEntries(
        std::map<std::string, std::shared_ptr<MTLModel>>{{"first", server("alpha", "a", 22, "u")},
                                                         {"second", server("beta", "b", 23, "v")}},
        window, "Server-Entries"));
    auto json = nlohmann::json::parse(pemvinReadFile(dir.file("dict.json")));
    ASSERT_TRUE(json.is_object());
    EXPECT_EQ(json["first"]["ssh_host"], "a");
    EXPECT_EQ(json["second"]["ssh_port"], 23);
    EXPECT_EQ(json["second"]["name"], "beta");
}

TEST_F(BackupModule, ExportsThatAreCancelledOrCannotBeWrittenAnswerNo) {
    // Cancel: nothing written, nothing shown.
    EXPECT_FALSE(module.exportEntries(VySSHBackupModule::Entries{server("a", "h", 22, "u")}, window,
                                      "Server-Entries"));
    EXPECT_TRUE(window.errors.empty());

    // A folder that is not there: the user is told, the answer is NO.
    window.savePaths = {dir.file("missing/out.json")};
    EXPECT_FALSE(module.exportEntries(VySSHBackupModule::Entries{server("a", "h", 22, "u")}, window,
                                      "Server-Entries"));
    ASSERT_EQ(window.errors.size(), 1u);
    EXPECT_EQ(window.errors[0].domain, VySSHBackupModule::FileErrorDomain);
    EXPECT_EQ(window.errors[0].code, ENOENT);
    EXPECT_EQ(window.errors[0].localizedDescription, "The file “out.json” couldn’t be saved.");
    EXPECT_FALSE(fs::exists(dir.file("missing")));
}

TEST_F(BackupModule, ImportSummariesCountEachVerdictInSingularAndPlural) {
    const std::string four = R"([{"name":"a","ssh_host":"a"},{"name":"b","ssh_host":"b"},
                                 {"name":"c","ssh_host":"c"},{"name":"d","ssh_host":"d"}])";
    auto alert = importWithVerdicts(four, {0, 1, 0, 1});
    EXPECT_EQ(alert.messageText, "Imported successfully.");
    EXPECT_EQ(alert.informativeText, "2 entries are imported, 2 entries are already exist.");
    EXPECT_EQ(alert.style, HalvexAlert::Style::informational);
    EXPECT_EQ(alert.buttons, std::vector<std::string>{"OK"});

    alert = importWithVerdicts(R"([{"ssh_host":"a"}])", {1});
    EXPECT_EQ(alert.messageText, "Failed to import!");
    EXPECT_EQ(alert.informativeText, "0 entry is imported, 1 entry is already exist.");

    alert = importWithVerdicts(R"([{"comment":"no host"}])", {2});
    EXPECT_EQ(alert.messageText, "Failed to import!");
    EXPECT_EQ(alert.informativeText, "0 entry is imported, 1 entry is malformed.");

    alert = importWithVerdicts(R"([{"ssh_host":"a"}])", {0});
    EXPECT_EQ(alert.messageText, "Imported successfully.");
    EXPECT_EQ(alert.informativeText, "1 entry is imported.");

    alert = importWithVerdicts(four, {2, 1, 0, 2});
    EXPECT_EQ(alert.informativeText,
              "1 entry is imported, 1 entry is already exist, 2 entries are malformed.");

    // Verdicts outside the three are not counted.
    alert = importWithVerdicts(R"([{"ssh_host":"a"},{"ssh_host":"b"}])", {7, 0});
    EXPECT_EQ(alert.informativeText, "1 entry is imported.");

    // No models: an empty array, or a file that is not an array.
    for (const char* none : {"[]", R"({"ssh_host":"a"})", "42"}) {
        VySSHBackupModule::Entries read;
        alert = importWithVerdicts(none, {}, &read);
        EXPECT_EQ(alert.messageText, "Failed to import!") << none;
        EXPECT_EQ(alert.informativeText, "0 entry is imported.") << none;
        EXPECT_TRUE(read.empty());
    }
}

TEST_F(BackupModule, ImportsThatCannotBeReadShowTheErrorAndNoSummary) {
    int judged = 0;
    auto verdict = [&](const std::shared_ptr<MTLModel>&) { return ++judged, 0L; };
    auto& cls = HalvexSessionModel::classDescription();

    // Cancelled: nothing at all.
    EXPECT_TRUE(module.importWithClass(cls, window, verdict).empty());
    EXPECT_EQ(window.panels.back().nameFieldLabel, "Import From:");
    EXPECT_EQ(window.panels.back().allowedFileTypes, (std::vector<std::string>{"json", "txt"}));

    window.openPaths = {write("broken.json", "[{\"ssh_host\": "), dir.file("absent.json"), dir.path(),
                        write("mixed.json", R"([{"ssh_host":"a"}, "not an entry"])")};
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(module.importWithClass(cls, window, verdict).empty());
    EXPECT_EQ(judged, 0) << "a conversion error stops before any verdict";
    EXPECT_TRUE(window.alerts.empty());
    ASSERT_EQ(window.errors.size(), 4u);
    EXPECT_EQ(window.errors[1].code, ENOENT);
    EXPECT_EQ(window.errors[1].localizedDescription, "The file “absent.json” couldn’t be opened.");
    EXPECT_EQ(window.errors[2].code, EISDIR);
    EXPECT_EQ(window.errors[3].domain, MTLJSONAdapter::ErrorDomain);
}

TEST_F(BackupModule, GenericImportHandsTheParsedValueToTheHandler) {
    window.openPaths = {write("any.txt", R"({"k": [1, 2]})")};
    auto result =
        module.import <int>(window, [](const nlohmann::json& j) { return static_cast<int>(j["k"].size()); });
    EXPECT_EQ(result, 2);
    EXPECT_FALSE(module.import <int>(window, [](const nlohmann::json&) { return 1; })) << "cancelled";
}

class KeychainBackup : public BackupModule {
protected:
    void SetUp() override {
        BackupModule::SetUp();
        // One key in the shared store, with a stored passphrase.
        int status = 0;
        pemvinTestRun({"ssh-keygen", "-q", "-t", "ecdsa", "-b", "256", "-m", "PEM", "-N", "", "-f",
                       dir.file("backup_key")},
                      &status);
        ASSERT_EQ(status, 0);
        auto& store = HalvexPrivateKeyContainer::sharedPrivateKeyContainer();
        Error error;
        auto id = store.importAtPath(dir.file("backup_key"), &error);
        store.refreshCache();
        ASSERT_TRUE(id) << error.localizedDescription;
        keyId = *id;
        ASSERT_TRUE(store.privateKeyWithId(keyId));
    }
    void TearDown() override {
        HalvexPrivateKeyContainer::sharedPrivateKeyContainer().deletePrivateKeyWithId(keyId);
        HalvexPrivateKeyContainer::sharedPrivateKeyContainer().refreshCache();
        BackupModule::TearDown();
    }
    static HalvexAuthHelper password(const std::string& host, std::uint16_t port, const std::string& user) {
        return *HalvexAuthHelper::makeWithServer(host, port, user);
    }
    static HalvexAuthHelper interactive(const std::string& host, std::uint16_t port,
                                        const std::string& user) {
        return *HalvexAuthHelper::makeWithServer(host, port, user, true);
    }
    std::string keyId;
};

TEST_F(KeychainBackup, RecordsAreWrittenReadablyAndRestoreIntoAnEmptyKeychain) {
    ASSERT_TRUE(password("alpha", 22, "root").setToken("pw-alpha"));
    ASSERT_TRUE(interactive("alpha", 22, "root").addAnswers({"otp 1"}, 0));
    ASSERT_TRUE(password("beta", 2222, "me").setToken("pw-beta"));
    auto a = server("a", "alpha", 22, "root");
    auto b = server("b", "beta", 2222, "me");
    b->private_key = keyId;
    auto none = server("c", "gamma", 22, "nobody");

    window.savePaths = {dir.file("secrets.encrypted")};
    ASSERT_TRUE(module.exportPasswordsAndInteractiveInfoForEntries({a, none, b}, window));
    EXPECT_EQ(window.panels[0].nameFieldStringValue, "SSH-Passwords-2016-03-01");
    EXPECT_EQ(window.panels[0].allowedFileTypes, std::vector<std::string>{"encrypted"});
    EXPECT_EQ(modeOf(dir.file("secrets.encrypted")), 0600u) << "the secrets are clear text";

    auto elements =
        PropertyListSerialization::dataArrayWithData(pemvinReadFile(dir.file("secrets.encrypted")));
    ASSERT_TRUE(elements);
    std::vector<nlohmann::json> records;
    for (const auto& e : *elements)
        records.push_back(nlohmann::json::parse(e.value()));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0], (nlohmann::json{{"type", "password"},
                                          {"server", "alpha"},
                                          {"port", 22},
                                          {"user", "root"},
                                          {"token", "pw-alpha"}}));
    EXPECT_EQ(records[1]["type"], "interactive");
    EXPECT_EQ(records[1]["token"], R"([["otp 1"]])");
    EXPECT_EQ(records[2]["token"], "pw-beta");
    EXPECT_EQ(records[3], (nlohmann::json{{"type", "publickey"},
                                          {"service", "com.brimble.ssh.identity"},
                                          {"account", keyId},
                                          {"token", ""}}))
        << "a key's record is written even without a stored passphrase";
    EXPECT_NE((*elements)[0]->find("\n  \""), std::string::npos) << "each record is pretty-printed JSON";

    // Into an empty keychain: passwords and answers come back, the key's
    // record is left alone.
    auto fresh = std::make_shared<MemoryKeychainBackend>();
    KeychainBackend::setShared(fresh);
    window.openPaths = {dir.file("secrets.encrypted")};
    EXPECT_TRUE(module.importPasswordsWithWindow(window));
    EXPECT_EQ(window.panels.back().nameFieldLabel, "Import Passwords from:");
    EXPECT_EQ(password("alpha", 22, "root").token(), "pw-alpha");
    EXPECT_EQ(interactive("alpha", 22, "root").answersAtIndex(0), std::vector<std::string>{"otp 1"});
    EXPECT_EQ(password("beta", 2222, "me").token(), "pw-beta");
    EXPECT_EQ(fresh->items().size(), 3u);
    ASSERT_EQ(window.alerts.size(), 1u);
    EXPECT_EQ(window.alerts[0].messageText, "Imported successfully.");
    EXPECT_EQ(window.alerts[0].informativeText, "3 keychain items restored.");
}

TEST_F(KeychainBackup, NothingStoredAndNoKeyGivesNoSavedKeychainDataAndNoFile) {
    window.savePaths = {dir.file("empty.encrypted")};
    EXPECT_FALSE(
        module.exportPasswordsAndInteractiveInfoForEntries({server("a", "alpha", 22, "root")}, window));
    ASSERT_EQ(window.errors.size(), 1u);
    EXPECT_EQ(window.errors[0], Error("Halvex.Extras", 0, "No saved keychain data"));
    EXPECT_FALSE(fs::exists(dir.file("empty.encrypted")));

    // Cancelled: nothing asked of the keychain, nothing shown.
    window.errors.clear();
    EXPECT_FALSE(
        module.exportPasswordsAndInteractiveInfoForEntries({server("a", "alpha", 22, "root")}, window));
    EXPECT_TRUE(window.errors.empty());
}

TEST_F(KeychainBackup, AFailedWriteIsReportedInTheExtrasDomain) {
    ASSERT_TRUE(password("alpha", 22, "root").setToken("pw"));
    window.savePaths = {dir.file("missing/secrets.encrypted")};
    EXPECT_FALSE(
        module.exportPasswordsAndInteractiveInfoForEntries({server("a", "alpha", 22, "root")}, window));
    ASSERT_EQ(window.errors.size(), 1u);
    EXPECT_EQ(window.errors[0].domain, "Halvex.Extras");
    EXPECT_EQ(window.errors[0].code, 0);
    EXPECT_EQ(window.errors[0].localizedDescription,
              "Failed to export saved passwords and keyboard interactive information");
}

TEST_F(KeychainBackup, ImportReportsUnreadableFilesAndCountsWhatItRestored) {
    // Cancel answers NO and shows nothing.
    EXPECT_FALSE(module.importPasswordsWithWindow(window));
    EXPECT_TRUE(window.errors.empty() && window.alerts.empty());

    // A file that is not there, and one that is no property list.
    window.openPaths = {dir.file("absent.encrypted"), write("plain.encrypted", "password=hunter2\n")};
    EXPECT_FALSE(module.importPasswordsWithWindow(window));
    EXPECT_FALSE(module.importPasswordsWithWindow(window));
    ASSERT_EQ(window.errors.size(), 2u);
    EXPECT_EQ(window.errors[0].localizedDescription, "The file “absent.encrypted” couldn’t be opened.");
    EXPECT_EQ(window.errors[1].domain, PropertyListSerialization::ErrorDomain);
    EXPECT_TRUE(window.alerts.empty());

    // One restorable record among records that are skipped: unparsable,
    // empty, a key passphrase, an empty token.
    auto record = [](nlohmann::json j) { return j.dump(2); };
    std::string file = PropertyListSerialization::dataWithDataArray(
        {"{not json", "", "{}",
         record({{"type", "publickey"},
                 {"service", "com.brimble.ssh.identity"},
                 {"account", keyId},
                 {"token", "pp"}}),
         record({{"type", "password"}, {"server", "h"}, {"port", 22}, {"user", "u"}, {"token", ""}}),
         record({{"type", "password"}, {"server", "h"}, {"port", 22}, {"user", "u"}, {"token", "pw"}})});
    window.openPaths = {write("one.encrypted", file)};
    EXPECT_TRUE(module.importPasswordsWithWindow(window));
    EXPECT_EQ(password("h", 22, "u").token(), "pw");
    EXPECT_EQ(keychain->items().size(), 1u) << "the key passphrase is never restored";
    ASSERT_EQ(window.alerts.size(), 1u);
    EXPECT_EQ(window.alerts[0].informativeText, "1 keychain item restored.");

    // Nothing restorable.
    window.openPaths = {write("none.encrypted", PropertyListSerialization::dataWithDataArray({}))};
    EXPECT_TRUE(module.importPasswordsWithWindow(window));
    EXPECT_EQ(window.alerts.back().messageText, "Failed to import!");
    EXPECT_EQ(window.alerts.back().informativeText, "0 keychain items restored.");
}

TEST_F(KeychainBackup, RecordsTheKeychainRefusesAreCountedAndTheAnswerIsNo) {
    std::string file = PropertyListSerialization::dataWithDataArray(
        {nlohmann::json{{"type", "password"}, {"server", "h"}, {"port", 22}, {"user", "u"}, {"token", "pw"}}
             .dump()});
    keychain->setFailWrites(true);
    window.openPaths = {write("locked.encrypted", file)};
    EXPECT_FALSE(module.importPasswordsWithWindow(window));
    ASSERT_EQ(window.alerts.size(), 1u);
    EXPECT_EQ(window.alerts[0].style, HalvexAlert::Style::warning);
    EXPECT_EQ(window.alerts[0].informativeText,
              "0 keychain items restored, 1 could not be stored (The keychain refused the change.).");
}

} // namespace
