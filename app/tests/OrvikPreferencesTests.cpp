// The application's preferences over user-defaults files of their own: the
// stored lists and what happens to a stored list that does not decode, the
// font defaults, the themes and the operations of the login shell.

#include "AppTestSupport.h"

#include "Foundation/KeyedArchiver.h"
#include "app/OrvikController.h"

#include <gtest/gtest.h>

#include <QString>

#include <pwd.h>
#include <unistd.h>

using namespace app_test;
using json = nlohmann::json;

namespace {

std::shared_ptr<OrvikController> server(const std::string& name, const std::string& host,
                                        const std::string& theme = "Grass") {
    auto c = std::make_shared<OrvikController>();
    c->setName(name);
    c->setSsh_host(host);
    c->ssh_user = "ann";
    c->profile()->setTheme_name(theme);
    return c;
}

std::vector<std::string> names(const std::vector<std::shared_ptr<OrvikController>>& list) {
    std::vector<std::string> out;
    for (auto& c : list)
        out.push_back(c->name().value_or(""));
    return out;
}

TEST(OrvikPreferences, StoredServersRoundTripAsACopyAndAreAnnounced) {
    Scratch dir;
    auto prefs = scratchPreferences(dir);
    EXPECT_TRUE(prefs->shellProfiles().empty());

    int notices = 0;
    auto token =
        prefs->addObserver("shellProfiles", [&](const std::string&, bool prior) { notices += !prior; });
    std::vector<std::shared_ptr<OrvikController>> list{server("alpha", "a.example", "Monitor"),
                                                       server("beta", "b.example")};
    prefs->setShellProfiles(list);
    EXPECT_EQ(notices, 1);
    // The caller's later changes of its own list do not reach the stored one.
    list.push_back(server("gamma", "c.example"));
    list.erase(list.begin());
    EXPECT_EQ(names(prefs->shellProfiles()), (std::vector<std::string>{"alpha", "beta"}));

    // What was written reads back in a fresh object over the same file.
    auto reread = std::make_shared<OrvikPreferences>(prefs->userDefaults());
    auto stored = reread->shellProfiles();
    ASSERT_EQ(names(stored), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(stored[0]->uid, prefs->shellProfiles()[0]->uid);
    EXPECT_EQ(stored[0]->ssh_host, "a.example");
    EXPECT_EQ(stored[0]->profile()->theme_name(), "Monitor");
    EXPECT_NE(stored[0]->profile(), prefs->shellProfiles()[0]->profile());
}

TEST(OrvikPreferences, ServerWithUIDAnswersTheLastMatch) {
    Scratch dir;
    auto prefs = scratchPreferences(dir);
    auto first = server("first", "h1");
    auto twin = server("twin", "h2");
    twin->uid = first->uid;
    auto other = server("other", "h3");
    prefs->setShellProfiles({first, other, twin});
    EXPECT_EQ(prefs->shellControllerWithUID(*first->uid), twin);
    EXPECT_EQ(prefs->shellControllerWithUID(*other->uid), other);
    EXPECT_EQ(prefs->shellControllerWithUID("no such uid"), nullptr);
}

TEST(OrvikPreferences, AStoredListThatDoesNotDecodeIsKeptAsideAndNeverWrittenOver) {
    for (const char* key : {OrvikPreferences::ShellProfilesKey, OrvikPreferences::KeyMappingsKey}) {
        SCOPED_TRACE(key);
        Scratch dir;
        auto defaults = UserDefaults::userDefaultsWithPath(dir.path + "/defaults.json");
        const json junk = {{"$archiver", "something else"}, {"data", "AAAA"}};
        defaults->setObject(key, junk);
        OrvikPreferences prefs(defaults);
        const std::string aside = std::string(key) + ".undecodable";
        if (std::string(key) == OrvikPreferences::ShellProfilesKey) {
            EXPECT_TRUE(prefs.shellProfiles().empty());
            prefs.setShellProfiles({server("new", "n.example")});
            EXPECT_EQ(names(OrvikPreferences(defaults).shellProfiles()), std::vector<std::string>{"new"});
        } else {
            EXPECT_TRUE(prefs.keyMappings().empty());
            auto mapping = std::make_shared<RellumKeyMapModel>();
            mapping->setKeycode(0xF704);
            prefs.setKeyMappings({mapping});
            ASSERT_EQ(OrvikPreferences(defaults).keyMappings().size(), 1u);
        }
        EXPECT_EQ(defaults->objectForKey(aside), junk);
        // A later save keeps what was put aside.
        if (std::string(key) == OrvikPreferences::ShellProfilesKey)
            prefs.setShellProfiles({});
        else
            prefs.setKeyMappings({});
        EXPECT_EQ(defaults->objectForKey(aside), junk);
    }
}

TEST(OrvikPreferences, OneBadServerIsKeptAsideAndTheGoodOnesAreUsed) {
    Scratch dir;
    auto defaults = UserDefaults::userDefaultsWithPath(dir.path + "/defaults.json");
    json archive = KeyedArchiver::archivedDataWithArray(
        std::vector<std::shared_ptr<OrvikController>>{server("good", "g1"), server("fine", "g2")});
    archive["$root"].insert(archive["$root"].begin() + 1, json{{"$class", "SomeFutureServer"}, {"x", 1}});
    defaults->setObject(OrvikPreferences::ShellProfilesKey, archive);

    OrvikPreferences prefs(defaults);
    EXPECT_EQ(names(prefs.shellProfiles()), (std::vector<std::string>{"good", "fine"}));
    EXPECT_EQ(defaults->objectForKey("orvik_profiles.undecodable"), archive);
    prefs.setShellProfiles(prefs.shellProfiles());
    EXPECT_EQ(defaults->objectForKey("orvik_profiles.undecodable"), archive);
    EXPECT_EQ(names(OrvikPreferences(defaults).shellProfiles()), (std::vector<std::string>{"good", "fine"}));
}

TEST(OrvikPreferences, FontDefaultsAreStoredOnFirstRead) {
    Scratch dir;
    auto prefs = scratchPreferences(dir);
    auto& defaults = *prefs->userDefaults();
    EXPECT_FALSE(defaults.objectForKey("default_text_size"));
    EXPECT_EQ(prefs->defaultFontSize(), 16.0);
    EXPECT_EQ(prefs->defaultFontFamily(), "Menlo");
    EXPECT_EQ(defaults.doubleForKey("default_text_size"), 16.0);
    EXPECT_EQ(defaults.stringForKey("default_font_name"), "Menlo");

    prefs->setDefaultFontSize(13.7);
    prefs->setDefaultFontFamily("DejaVu Sans Mono");
    // Read at single precision, as the value always was.
    EXPECT_EQ(prefs->defaultFontSize(), static_cast<double>(13.7f));
    EXPECT_EQ(prefs->defaultFontFamily(), "DejaVu Sans Mono");
}

TEST(OrvikPreferences, FixedPitchFamiliesAreListedOnceAndSorted) {
    const auto& fonts = OrvikPreferences::builtinFontNames();
    ASSERT_FALSE(fonts.empty());
    EXPECT_NE(std::find(fonts.begin(), fonts.end(), "DejaVu Sans Mono"), fonts.end());
    EXPECT_EQ(std::find(fonts.begin(), fonts.end(), "DejaVu Sans"), fonts.end());
    for (std::size_t i = 1; i < fonts.size(); ++i)
        EXPECT_LT(QString::fromStdString(fonts[i - 1])
                      .compare(QString::fromStdString(fonts[i]), Qt::CaseInsensitive),
                  0);
}

TEST(OrvikPreferences, ThemesAndTheServersMadeFromThem) {
    Scratch dir;
    auto prefs = scratchPreferences(dir);
    const auto& themes = prefs->preDefineThemesArray();
    ASSERT_EQ(themes.size(), VyTerminalThemeObject::defaultThemes().size());
    EXPECT_EQ(prefs->defaultTheme()->themeName(), themes.front()->themeName());
    EXPECT_EQ(prefs->themeWithName("Grass")->themeName(), "Grass");
    EXPECT_EQ(prefs->themeWithName("No Such Theme"), nullptr);

    auto items = OrvikPreferences::newThemeMenuItems();
    ASSERT_EQ(items.size(), themes.size());
    auto servers = prefs->preDefineShellProfiles();
    ASSERT_EQ(servers.size(), themes.size());
    for (std::size_t i = 0; i < themes.size(); ++i) {
        EXPECT_EQ(items[i]->themeName(), themes[i]->themeName());
        EXPECT_EQ(servers[i]->profile()->profile_name(), themes[i]->themeName());
        EXPECT_EQ(servers[i]->profile()->theme_name(), themes[i]->themeName());
    }
}

TEST(OrvikPreferences, FirstRunAndTheLoginShellOperations) {
    Scratch dir;
    auto prefs = scratchPreferences(dir);
    EXPECT_FALSE(prefs->isApplicationExecutedEver());
    EXPECT_TRUE(prefs->isApplicationExecutedEver());
    EXPECT_TRUE(scratchPreferences(dir)->isApplicationExecutedEver());

    const std::string user = getpwuid(getuid())->pw_name;
    EXPECT_EQ(prefs->loginProg(), "login");
    EXPECT_EQ(prefs->loginArgs(), (std::vector<std::string>{"-fp", user}));
    EXPECT_EQ(prefs->initialPWD(), getpwuid(getuid())->pw_dir);
    auto env = prefs->defaultEnv();
    EXPECT_EQ(env["TERM_PROGRAM"], "Orvik");
    EXPECT_EQ(env["TERM"], "xterm");
    EXPECT_EQ(env["PWD"], prefs->initialPWD());
    EXPECT_FALSE(prefs->startupCommand());
    EXPECT_FALSE(prefs->termName());
}

} // namespace
