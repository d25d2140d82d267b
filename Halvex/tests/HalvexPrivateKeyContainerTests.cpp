#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <future>

#include "Foundation/Error.h"
#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedUnarchiver.h"
#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Keychain/MemoryKeychainBackend.h"
#include "PemvinTestSupport.h"
#include "TempHomeEnvironment.h"

namespace fs = std::filesystem;

namespace {

// Every test of this binary runs with HOME and XDG_DATA_HOME in a temporary
// folder, so that the shared store never touches the real ones.
TempHomeEnvironment* const tempHome = new TempHomeEnvironment;
[[maybe_unused]] auto* const registered = ::testing::AddGlobalTestEnvironment(tempHome);

mode_t modeOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

std::vector<std::string> listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Scripted answers to the store's questions, with a log of what was asked.
class ScriptedWindow : public HalvexPrivateKeyWindow {
public:
    long panelResponse = 1;
    std::vector<std::string> panelPaths;
    std::vector<std::pair<long, std::string>> passphraseAnswers; // response, text
    std::vector<std::string> log;
    std::vector<Error> errors;
    OpenPanel lastPanel;
    PassphraseSheet lastSheet;

    void chooseFiles(const OpenPanel& panel,
                     std::function<void(long, std::vector<std::string>)> done) override {
        lastPanel = panel;
        log.push_back("panel");
        done(panelResponse, panelPaths);
    }
    long askPassphrase(const PassphraseSheet& sheet, std::string& passphrase) override {
        lastSheet = sheet;
        log.push_back("sheet");
        if (passphraseAnswers.empty()) return 1001;
        auto [response, text] = passphraseAnswers.front();
        passphraseAnswers.erase(passphraseAnswers.begin());
        passphrase = text;
        return response;
    }
    void showError(const Error& error) override {
        log.push_back("error");
        errors.push_back(error);
    }
};

class PrivateKeyStore : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        keys = std::make_unique<PemvinTempDir>();
        generate("id_rsa", {"-t", "rsa", "-b", "2048"}, "");
        generate("id_ecdsa", {"-t", "ecdsa", "-b", "256"}, "");
        generate("id_locked", {"-t", "ecdsa", "-b", "384"}, "locked pass");
        pemvinWriteFile(keys->file("notes.txt"), "not a key at all\n");
    }
    static void TearDownTestSuite() { keys.reset(); }
    static void generate(const std::string& name, std::vector<std::string> type,
                         const std::string& passphrase) {
        std::vector<std::string> argv = {"ssh-keygen", "-q",       "-m", "PEM",
                                         "-N",         passphrase, "-f", keys->file(name)};
        argv.insert(argv.begin() + 1, type.begin(), type.end());
        int status = 0;
        pemvinTestRun(argv, &status);
        ASSERT_EQ(status, 0) << name;
    }
    static std::string key(const std::string& name) { return keys->file(name); }

    void SetUp() override {
        store = std::make_unique<HalvexPrivateKeyContainer>(dir.file("data/orvik/identities"),
                                                            dir.file("data/orvik/.ssh/identities"), backend);
    }
    std::string inStore(const std::string& name) const { return store->pathForKeyName(name); }
    std::string sha1(const std::string& path) {
        std::string out = pemvinTestRun({"sha1sum", path});
        return out.substr(0, out.find(' '));
    }

    static std::unique_ptr<PemvinTempDir> keys;
    PemvinTempDir dir;
    std::shared_ptr<MemoryKeychainBackend> backend = std::make_shared<MemoryKeychainBackend>();
    std::unique_ptr<HalvexPrivateKeyContainer> store;
};
std::unique_ptr<PemvinTempDir> PrivateKeyStore::keys;

TEST_F(PrivateKeyStore, FolderIsPrivateAndImportedFilesAre0600) {
    EXPECT_EQ(modeOf(store->containerURL()), 0700u);
    EXPECT_EQ(modeOf(dir.file("data/orvik")), 0700u) << "intermediate folders are made private too";

    // Even with a permissive umask and a world-readable source.
    chmod(key("id_rsa").c_str(), 0644);
    mode_t old = umask(0);
    Error error;
    auto id = store->importAtPath(key("id_rsa"), &error);
    umask(old);
    ASSERT_TRUE(id) << error.localizedDescription;
    EXPECT_EQ(*id, sha1(key("id_rsa")));
    EXPECT_EQ(modeOf(inStore("id_rsa")), 0600u);
    EXPECT_EQ(pemvinReadFile(inStore("id_rsa")), pemvinReadFile(key("id_rsa")));
    EXPECT_TRUE(fs::exists(key("id_rsa"))) << "imports copy, never move";

    // A folder made too open is tightened again.
    chmod(store->containerURL().c_str(), 0755);
    HalvexPrivateKeyContainer again(store->containerURL(), store->obsoletedContainerURL(), backend);
    EXPECT_EQ(modeOf(store->containerURL()), 0700u);
}

TEST_F(PrivateKeyStore, NameClashesCountUpAndTheCacheFollowsTheFile) {
    pemvinWriteFile(inStore("id_rsa"), "occupied");
    pemvinWriteFile(inStore("id_rsa (1)"), "occupied too");
    Error error;
    auto id = store->importAtPath(key("id_rsa"), &error);
    ASSERT_TRUE(id) << error.localizedDescription;
    EXPECT_EQ(pemvinReadFile(inStore("id_rsa")), "occupied");
    EXPECT_EQ(pemvinReadFile(inStore("id_rsa (1)")), "occupied too");
    EXPECT_TRUE(store->privateKeys().empty()) << "a new key enters the cache only at the next refresh";
    store->refreshCache();
    auto model = store->privateKeyWithId(*id);
    ASSERT_TRUE(model);
    EXPECT_EQ(model->key_name(), "id_rsa (2)");
    EXPECT_FALSE(model->encrypted());
    EXPECT_EQ(store->privateKeys().size(), 1u) << "text files are not keys";
}

TEST_F(PrivateKeyStore, FileURLsImportLikePaths) {
    std::string spaced = dir.file("my key");
    fs::copy_file(key("id_ecdsa"), spaced);
    Error error;
    auto id = store->importAtURL("file://" + dir.file("my%20key"), &error);
    ASSERT_TRUE(id) << error.localizedDescription;
    EXPECT_TRUE(fs::exists(inStore("my key")));
    for (const std::string& bad : {std::string("https://example.com/id_rsa"), std::string("file://relative"),
                                   std::string("/plain/path"), "file://" + dir.file("x%00y")}) {
        error = Error();
        EXPECT_FALSE(store->importAtURL(bad, &error)) << bad;
        EXPECT_EQ(error.code, EINVAL) << bad;
    }
}

TEST_F(PrivateKeyStore, IdenticalKeysAreRefusedOnceCached) {
    auto first = store->importAtPath(key("id_ecdsa"), nullptr);
    ASSERT_TRUE(first);
    // Not cached yet: the second copy is taken under a new name.
    auto second = store->importAtPath(key("id_ecdsa"), nullptr);
    ASSERT_TRUE(second);
    EXPECT_EQ(*first, *second);
    EXPECT_TRUE(fs::exists(inStore("id_ecdsa (1)")));
    ASSERT_TRUE(fs::remove(inStore("id_ecdsa (1)")));

    store->refreshCache();
    Error error;
    EXPECT_FALSE(store->importAtPath(key("id_ecdsa"), &error));
    EXPECT_EQ(error, Error("Halvex.PrivateKey.Importer", -1, "Failed to import private key",
                           "A identical private key \u201cid_ecdsa\u201d has been found during importing."));
    EXPECT_EQ(listing(store->containerURL()), std::vector<std::string>{"id_ecdsa"});
}

TEST_F(PrivateKeyStore, EncryptedKeysImportWithoutAPassphrase) {
    auto id = store->importAtPath(key("id_locked"), nullptr);
    ASSERT_TRUE(id);
    store->refreshCache();
    auto model = store->privateKeyWithId(*id);
    ASSERT_TRUE(model);
    EXPECT_TRUE(model->encrypted());
    EXPECT_FALSE(model->in_keychain());

    // With its passphrase in the keychain, validation says so.
    ASSERT_TRUE(HalvexAuthHelper::makeWithPrivateKey(*model, backend)->setToken("locked pass"));
    Error error("x", 1);
    EXPECT_TRUE(store->validatePrivateKey(*model, &error));
    EXPECT_EQ(error, Error()) << "a valid key clears the error";
    EXPECT_TRUE(model->encrypted());
    EXPECT_TRUE(model->in_keychain());
}

TEST_F(PrivateKeyStore, FilesThatAreNotKeysLeaveNothingBehind) {
    Error error;
    EXPECT_FALSE(store->importAtPath(key("notes.txt"), &error));
    // Refused by both readers: the transport's, the last one asked, says why.
    EXPECT_EQ(error.domain, "Halvex.Core");
    EXPECT_EQ(error.code, 1008);
    EXPECT_TRUE(error.localizedDescription.starts_with("Could not parse private key"))
        << error.localizedDescription;
    EXPECT_TRUE(listing(store->containerURL()).empty());

    HalvexPrivateKeyModel noId("", "whatever");
    EXPECT_FALSE(store->validatePrivateKey(noId, nullptr));
}

TEST_F(PrivateKeyStore, OnlyRegularFilesAreImportedAndNothingBlocks) {
    std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directories(dir.file("folder"));
    // Run on another thread so that a blocking open fails the test instead of
    // hanging it.
    auto result = std::async(std::launch::async, [&] {
        std::vector<std::optional<Error>> errors;
        for (const std::string& path :
             {fifo, dir.file("folder"), std::string("/dev/null"), dir.file("absent")}) {
            Error error;
            errors.push_back(store->importAtPath(path, &error) ? std::nullopt : std::optional<Error>(error));
        }
        return errors;
    });
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "an import blocked";
    auto errors = result.get();
    for (const auto& error : errors) {
        ASSERT_TRUE(error) << "a non-regular file was imported";
        EXPECT_FALSE(error->localizedDescription.empty());
    }
    EXPECT_EQ(errors[0]->code, EINVAL);
    EXPECT_EQ(errors[1]->code, EISDIR);
    EXPECT_EQ(errors[3]->code, ENOENT);
    EXPECT_TRUE(listing(store->containerURL()).empty());
    fs::remove(fifo);
}

TEST_F(PrivateKeyStore, RefreshLooksAtRegularFilesDirectlyInTheFolder) {
    fs::copy_file(key("id_rsa"), inStore(".hidden_rsa"));
    fs::create_directories(inStore("sub"));
    fs::copy_file(key("id_ecdsa"), inStore("sub/id_ecdsa"));
    fs::create_symlink(key("id_locked"), inStore("link"));
    ASSERT_EQ(mkfifo(inStore("fifo").c_str(), 0600), 0);
    pemvinWriteFile(inStore("junk"), "junk");

    std::vector<bool> told;
    {
        auto token = store->addObserver(
            "privateKeys", [&](const std::string&, bool prior) { told.push_back(prior); }, true);
        store->refreshCache();
    }
    store->refreshCache();
    EXPECT_EQ(told, (std::vector<bool>{true, false}));

    auto keys = store->privateKeys();
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys.begin()->second->key_name(), ".hidden_rsa");
    EXPECT_EQ(keys.begin()->first, sha1(key("id_rsa")));
}

TEST_F(PrivateKeyStore, RenamesNeverOverwriteOrEscapeTheFolder) {
    auto rsa = store->importAtPath(key("id_rsa"), nullptr);
    auto ec = store->importAtPath(key("id_ecdsa"), nullptr);
    ASSERT_TRUE(rsa && ec);
    std::string rsaBytes = pemvinReadFile(inStore("id_rsa"));
    std::string ecBytes = pemvinReadFile(inStore("id_ecdsa"));

    struct stat before {};
    ::stat(inStore("id_rsa").c_str(), &before);
    EXPECT_FALSE(store->renamePrivateKey("id_rsa", "id_rsa"));
    struct stat after {};
    ::stat(inStore("id_rsa").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);

    for (const char* bad : {"a/b", "..", "x..y", "../escape", "", ".", "/etc/passwd"}) {
        auto error = store->renamePrivateKey("id_rsa", bad);
        ASSERT_TRUE(error) << bad;
        EXPECT_EQ(error->code, EINVAL);
    }
    EXPECT_TRUE(store->renamePrivateKey("../id_rsa", "stolen"));

    auto clash = store->renamePrivateKey("id_rsa", "id_ecdsa");
    ASSERT_TRUE(clash);
    EXPECT_EQ(clash->code, EEXIST);
    EXPECT_EQ(clash->localizedDescription, "A private key named \u201cid_ecdsa\u201d already exists.");
    EXPECT_EQ(pemvinReadFile(inStore("id_ecdsa")), ecBytes);
    EXPECT_EQ(pemvinReadFile(inStore("id_rsa")), rsaBytes);

    EXPECT_FALSE(store->renamePrivateKey("id_rsa", "work key"));
    EXPECT_EQ(listing(store->containerURL()), (std::vector<std::string>{"id_ecdsa", "work key"}));
    EXPECT_EQ(pemvinReadFile(inStore("work key")), rsaBytes);
    EXPECT_EQ(modeOf(inStore("work key")), 0600u);
    EXPECT_TRUE(store->renamePrivateKey("missing", "other"));
}

TEST_F(PrivateKeyStore, DeletionRemovesOnlyTheCachedKeysFile) {
    auto rsa = store->importAtPath(key("id_rsa"), nullptr);
    auto ec = store->importAtPath(key("id_ecdsa"), nullptr);
    ASSERT_TRUE(rsa && ec);
    EXPECT_FALSE(store->deletePrivateKeyWithId(*rsa)) << "not cached yet: nothing to do";
    EXPECT_TRUE(fs::exists(inStore("id_rsa")));
    store->refreshCache();
    EXPECT_FALSE(store->deletePrivateKeyWithId(*rsa));
    EXPECT_FALSE(fs::exists(inStore("id_rsa")));
    EXPECT_TRUE(store->privateKeyWithId(*rsa)) << "the cache changes only at the next refresh";
    auto again = store->deletePrivateKeyWithId(*rsa);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->code, ENOENT);
    store->refreshCache();
    EXPECT_FALSE(store->privateKeyWithId(*rsa));
    EXPECT_TRUE(store->privateKeyWithId(*ec));
}

TEST_F(PrivateKeyStore, StoringPassphrases) {
    auto id = store->importAtPath(key("id_locked"), nullptr);
    ASSERT_TRUE(id);
    store->refreshCache();
    auto model = store->privateKeyWithId(*id);
    ASSERT_TRUE(model);
    auto helper = HalvexAuthHelper::makeWithPrivateKey(*model, backend);
    ScriptedWindow window;

    EXPECT_FALSE(store->storePassphraseToKeychainForPrivateKeyId("unknown", window));
    EXPECT_FALSE(store->removePassphraseFromKeychainForPrivateKeyId("unknown"));

    // Cancelled: nothing stored, still a success, asked once.
    window.passphraseAnswers = {{1001, ""}};
    EXPECT_TRUE(store->storePassphraseToKeychainForPrivateKeyId(*id, window));
    EXPECT_EQ(window.log, std::vector<std::string>{"sheet"});
    EXPECT_EQ(window.lastSheet.message, "Enter the passphrase for private key \u201cid_locked\u201d");
    EXPECT_EQ(window.lastSheet.placeholder, "Leave blank for runtime prompt");
    EXPECT_TRUE(model->encrypted());
    EXPECT_FALSE(model->in_keychain());
    EXPECT_TRUE(backend->items().empty());

    // Wrong: the parse error is shown, the keychain stays as it was.
    window.log.clear();
    window.passphraseAnswers = {{1000, "wrong pass"}};
    EXPECT_FALSE(store->storePassphraseToKeychainForPrivateKeyId(*id, window));
    EXPECT_EQ(window.log, (std::vector<std::string>{"sheet", "error"}));
    EXPECT_NE(window.errors.back().localizedDescription.find("wrong passphrase"), std::string::npos)
        << window.errors.back().localizedDescription;
    EXPECT_TRUE(backend->items().empty());

    // A keychain that refuses the write is a failure, not a success.
    window.log.clear();
    backend->setFailWrites(true);
    window.passphraseAnswers = {{1000, "locked pass"}};
    EXPECT_FALSE(store->storePassphraseToKeychainForPrivateKeyId(*id, window));
    EXPECT_EQ(window.log, (std::vector<std::string>{"sheet", "error"}));
    EXPECT_FALSE(model->in_keychain());
    backend->setFailWrites(false);

    // Right: stored; the next time the sheet is not shown.
    window.log.clear();
    window.passphraseAnswers = {{1000, "locked pass"}};
    EXPECT_TRUE(store->storePassphraseToKeychainForPrivateKeyId(*id, window));
    EXPECT_EQ(helper->token(), "locked pass");
    EXPECT_TRUE(model->encrypted());
    EXPECT_TRUE(model->in_keychain());
    window.log.clear();
    EXPECT_TRUE(store->storePassphraseToKeychainForPrivateKeyId(*id, window));
    EXPECT_TRUE(window.log.empty());

    EXPECT_TRUE(store->removePassphraseFromKeychainForPrivateKeyId(*id));
    EXPECT_EQ(helper->token(), "");
}

TEST_F(PrivateKeyStore, MigrationMovesKeysAndLeavesTheRest) {
    std::string old = store->obsoletedContainerURL();
    fs::create_directories(old);
    fs::copy_file(key("id_rsa"), old + "/id_rsa");
    fs::copy_file(key("notes.txt"), old + "/notes.txt");
    fs::create_directories(old + "/nested");
    fs::copy_file(key("id_ecdsa"), old + "/nested/id_ecdsa");
    // An identical key already in the store stays where it is.
    auto ec = store->importAtPath(key("id_ecdsa"), nullptr);
    ASSERT_TRUE(ec);
    store->refreshCache();
    fs::copy_file(key("id_ecdsa"), old + "/copy_of_ecdsa");

    store->migratePrivateKeyContainer();
    EXPECT_EQ(listing(old), (std::vector<std::string>{"copy_of_ecdsa", "nested", "notes.txt"}));
    EXPECT_EQ(listing(store->containerURL()), (std::vector<std::string>{"id_ecdsa", "id_rsa"}));
    EXPECT_TRUE(store->privateKeyWithId(sha1(key("id_rsa"))));
}

TEST_F(PrivateKeyStore, OpenPanelImportsInOrderAndShowsErrorsAfterwards) {
    ScriptedWindow window;
    window.panelResponse = 0;
    window.panelPaths = {key("id_rsa")};
    std::vector<long> responses;
    std::vector<std::string> names;
    auto completion = [&](long response, std::vector<std::shared_ptr<HalvexPrivateKeyModel>> models) {
        window.log.push_back("completion");
        responses.push_back(response);
        for (auto& m : models)
            names.push_back(m->key_name());
    };
    store->importPrivateKeys(window, completion);
    EXPECT_EQ(responses, std::vector<long>{0});
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(listing(store->containerURL()).empty());
    EXPECT_EQ(window.lastPanel.title, "Import Private Key files");
    EXPECT_EQ(window.lastPanel.prompt, "Import");
    EXPECT_EQ(window.lastPanel.message, "Please choose private key (aka identity) files:");
    EXPECT_TRUE(window.lastPanel.directory.ends_with("/.ssh"));

    window.log.clear();
    window.panelResponse = 1;
    window.panelPaths = {key("id_ecdsa"), key("notes.txt"), key("id_rsa")};
    store->importPrivateKeys(window, completion);
    EXPECT_EQ(responses.back(), 1);
    EXPECT_EQ(names, (std::vector<std::string>{"id_ecdsa", "id_rsa"}));
    EXPECT_EQ(window.log, (std::vector<std::string>{"panel", "completion", "error"}));
    EXPECT_EQ(store->privateKeys().size(), 2u);
}

TEST(PrivateKeySharedStore, LivesInTheApplicationsDataFolder) {
    auto& shared = HalvexPrivateKeyContainer::sharedPrivateKeyContainer();
    std::string data = tempHome->dir->file("data");
    EXPECT_EQ(shared.containerURL(), data + "/orvik/identities");
    EXPECT_EQ(shared.obsoletedContainerURL(), data + "/orvik/.ssh/identities");
    EXPECT_EQ(modeOf(shared.containerURL()), 0700u);
    EXPECT_FALSE(shared.obsoletedContainerURL().starts_with(tempHome->dir->file("home") + "/.ssh"));
    HalvexPrivateKeyModel model("id", "my key");
    EXPECT_EQ(model.absolutePath(), data + "/orvik/identities/my key");
    model.setKey_name("renamed");
    EXPECT_EQ(model.absolutePath(), data + "/orvik/identities/renamed");
}

TEST(PrivateKeyModel, DictionaryFormAndArchives) {
    HalvexPrivateKeyModel model("abc", "id_rsa");
    model.setEncrypted(true);
    EXPECT_EQ(model.propertyKeys(),
              (std::vector<std::string>{"key_id", "key_name", "encrypted", "in_keychain"}));
    EXPECT_EQ(model.dictionaryValue(),
              (nlohmann::json{
                  {"key_id", "abc"}, {"key_name", "id_rsa"}, {"encrypted", true}, {"in_keychain", false}}));
    auto loose = MTLModel::modelWithDictionary<HalvexPrivateKeyModel>(
        {{"key_id", "abc"}, {"key_name", "id_rsa"}, {"encrypted", 1}, {"in_keychain", 0}, {"unknown", "x"}});
    ASSERT_TRUE(loose) << "unknown keys are ignored, 0 and 1 are booleans";
    EXPECT_TRUE(*loose == model);
    auto copy = model.copyAs<HalvexPrivateKeyModel>();
    ASSERT_TRUE(copy);
    EXPECT_TRUE(*copy == model);
    copy->setIn_keychain(true);
    EXPECT_FALSE(*copy == model);

    // Flags change in place with notices, for views bound to them.
    std::vector<std::string> changed;
    auto token = model.addObserver("", [&](const std::string& key, bool) { changed.push_back(key); });
    model.setIn_keychain(true);
    model.setEncrypted(false);
    EXPECT_EQ(changed, (std::vector<std::string>{"in_keychain", "encrypted"}));

    // Archives under the earlier class name still decode.
    HalvexPrivateKeyModel::registerClasses();
    KvSSHPrivateKey legacy;
    legacy.setKey_id("def");
    legacy.setKey_name("old key");
    nlohmann::json archive = KeyedArchiver::archivedDataWithRootObject(legacy);
    Error error;
    auto decoded = KeyedUnarchiver::unarchiveObjectOfClass<HalvexPrivateKeyModel>(archive, &error);
    ASSERT_TRUE(decoded) << error.localizedDescription;
    EXPECT_EQ(decoded->key_id(), "def");
    EXPECT_EQ(decoded->key_name(), "old key");
}

} // namespace
