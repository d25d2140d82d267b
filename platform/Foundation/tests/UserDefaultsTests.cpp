#include "Foundation/UserDefaults.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/orvik-defaults-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string fileContents(const std::string& path) {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    nlohmann::json fileJSON(const std::string& path) { return nlohmann::json::parse(fileContents(path)); }

    std::string dir_;
};

TEST_F(UserDefaultsTest, ValuesRoundTripThroughTheFileWithOwnerOnlyMode) {
    const std::string path = dir_ + "/app/defaults.json";
    auto d = UserDefaults::userDefaultsWithPath(path);
    EXPECT_FALSE(d->objectForKey("auto_launch"));
    EXPECT_FALSE(d->boolForKey("auto_launch"));
    EXPECT_EQ(d->integerForKey("model_version"), 0);

    Error error;
    ASSERT_TRUE(d->setBool("auto_launch", true, &error)) << error.localizedDescription;
    ASSERT_TRUE(d->setInteger("model_version", 150300));
    ASSERT_TRUE(d->setString("name", "h\xC3\xA9llo"));
    ASSERT_TRUE(d->setObject("known_hosts", nlohmann::json{{"a", {1, 2, nullptr}}}));

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    auto onDisk = fileJSON(path);
    EXPECT_EQ(onDisk["auto_launch"], true);
    EXPECT_TRUE(onDisk["auto_launch"].is_boolean());
    EXPECT_EQ(onDisk["model_version"], 150300);
    EXPECT_EQ(onDisk["name"], "h\xC3\xA9llo");
    EXPECT_EQ(onDisk["known_hosts"], (nlohmann::json{{"a", {1, 2, nullptr}}}));

    // Numbers and booleans read as each other; a removed key is gone on disk.
    EXPECT_EQ(d->integerForKey("auto_launch"), 1);
    EXPECT_TRUE(d->boolForKey("model_version"));
    EXPECT_FALSE(d->stringForKey("model_version"));
    ASSERT_TRUE(d->removeObjectForKey("name"));
    EXPECT_FALSE(fileJSON(path).contains("name"));
    // No temporary files are left beside the store.
    int entries = 0;
    for (auto& e : fs::directory_iterator(dir_ + "/app"))
        (void)e, ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(UserDefaultsTest, AnExistingFileIsReadAndItsLooseModeTightenedOnWrite) {
    const std::string path = dir_ + "/defaults.json";
    {
        std::ofstream out(path);
        out << R"({"upgrade_notes": 150300, "auto_launch": false})";
    }
    ::chmod(path.c_str(), 0644);
    auto d = UserDefaults::userDefaultsWithPath(path);
    EXPECT_EQ(d->integerForKey("upgrade_notes"), 150300);
    ASSERT_TRUE(d->setBool("auto_launch", true));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(fileJSON(path)["upgrade_notes"], 150300);
}

TEST_F(UserDefaultsTest, EveryUserOfOneFileSharesOneStore) {
    auto a = UserDefaults::userDefaultsWithPath(dir_ + "/defaults.json");
    auto b = UserDefaults::userDefaultsWithPath(dir_ + "/./sub/../defaults.json");
    EXPECT_EQ(a.get(), b.get());
    ASSERT_TRUE(a->setInteger("x", 1));
    EXPECT_EQ(b->integerForKey("x"), 1);
    ASSERT_TRUE(b->setInteger("y", 2));
    EXPECT_EQ(a->integerForKey("y"), 2);
    EXPECT_EQ(fileJSON(dir_ + "/defaults.json"), (nlohmann::json{{"x", 1}, {"y", 2}}));

    UserDefaults::setStandardUserDefaultsPath(dir_ + "/defaults.json");
    EXPECT_EQ(UserDefaults::standardUserDefaults().get(), a.get());
    UserDefaults::setStandardUserDefaultsPath("");
    EXPECT_NE(UserDefaults::standardUserDefaults().get(), a.get());
}

TEST_F(UserDefaultsTest, StandardPathFollowsXDGConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    EXPECT_EQ(UserDefaults::defaultPathForApplication("orvik"), dir_ + "/orvik/defaults.json");
    ::setenv("XDG_CONFIG_HOME", "relative/path", 1); // not absolute: ignored
    EXPECT_NE(UserDefaults::defaultPathForApplication("orvik").rfind("relative/", 0), 0u);
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

TEST_F(UserDefaultsTest, AFailingWriteLeavesThePreviousFileWholeAndIsReported) {
    const std::string path = dir_ + "/defaults.json";
    auto d = UserDefaults::userDefaultsWithPath(path);
    ASSERT_TRUE(d->setString("keep", "old value"));
    const std::string before = fileContents(path);

    // Cap the size of any file this process writes, so the temporary file
    // cannot be written (this works even for root, unlike folder modes).
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Error error;
    bool ok = d->setString("big", std::string(64 * 1024, 'x'), &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(error.domain, UserDefaults::ErrorDomain);
    EXPECT_NE(error.code, 0);
    EXPECT_FALSE(error.localizedDescription.empty());
    EXPECT_EQ(fileContents(path), before);
    int entries = 0;
    for (auto& e : fs::directory_iterator(dir_))
        (void)e, ++entries;
    EXPECT_EQ(entries, 1) << "the temporary file must be removed";

    // The value stays in memory and the next good write stores everything.
    EXPECT_EQ(d->stringForKey("big")->size(), 64u * 1024);
    ASSERT_TRUE(d->setString("after", "yes"));
    auto onDisk = fileJSON(path);
    EXPECT_EQ(onDisk["keep"], "old value");
    EXPECT_EQ(onDisk["after"], "yes");
    EXPECT_EQ(onDisk["big"].get<std::string>().size(), 64u * 1024);
}

TEST_F(UserDefaultsTest, ADamagedFileIsKeptAsideNotOverwritten) {
    const std::string path = dir_ + "/defaults.json";
    {
        std::ofstream out(path);
        out << "{\"known_hosts\": [1, 2"; // cut short
    }
    auto d = UserDefaults::userDefaultsWithPath(path);
    EXPECT_FALSE(d->objectForKey("known_hosts"));
    ASSERT_TRUE(d->setBool("auto_launch", true));
    bool found = false;
    for (auto& e : fs::directory_iterator(dir_)) {
        if (e.path().filename().string().rfind("defaults.json.damaged-", 0) == 0) {
            found = true;
            EXPECT_EQ(fileContents(e.path().string()), "{\"known_hosts\": [1, 2");
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(UserDefaultsTest, ConcurrentWritersThroughTwoHandlesLoseNothing) {
    const std::string path = dir_ + "/defaults.json";
    auto a = UserDefaults::userDefaultsWithPath(path);
    auto b = UserDefaults::userDefaultsWithPath(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            auto& d = t % 2 ? a : b;
            for (int i = 0; i < 25; ++i) {
                d->setInteger(std::to_string(t * 100 + i), i);
                (void)d->integerForKey("0");
            }
        });
    }
    for (auto& th : threads)
        th.join();
    auto onDisk = fileJSON(path);
    EXPECT_EQ(onDisk.size(), 100u);
    EXPECT_EQ(a->dictionaryRepresentation(), onDisk);
}

} // namespace
