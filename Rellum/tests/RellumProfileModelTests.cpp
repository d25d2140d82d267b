#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedUnarchiver.h"
#include "Mantle/MTLJSONAdapter.h"
#include "Rellum/RellumProfileModel.h"
#include "Rellum/VyTerminalThemeObject.h"

#include <gtest/gtest.h>

#include <set>

namespace {

// Upper-case 8-4-4-4-12 hex digits, version 4, variant 10.
bool isUUID(const std::string& s) {
    if (s.size() != 36) return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = s[i];
        if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return s[14] == '4' && (s[19] == '8' || s[19] == '9' || s[19] == 'A' || s[19] == 'B');
}

// A profile with every value away from its default.
std::shared_ptr<RellumProfileModel> customProfile() {
    auto p = RellumProfileModel::profileWithName("Build box", "Monitor");
    p->setTerm_type("vt100");
    p->setRun_command("tmux attach || tmux");
    p->setRun_insideshell(true);
    p->setIs_default(true);
    p->setControl_h_del(true);
    p->setApplication_keypad(false);
    return p;
}

TEST(RellumProfileModel, NewProfileDefaults) {
    RellumProfileModel p;
    EXPECT_EQ(p.profile_id().size(), 36u);
    EXPECT_TRUE(isUUID(p.profile_id())) << p.profile_id();
    EXPECT_EQ(p.profile_name(), "Printing");
    EXPECT_EQ(p.theme_name(), "Printing");
    EXPECT_EQ(p.term_type(), "xterm-256color");
    EXPECT_EQ(p.run_command(), "");
    EXPECT_FALSE(p.run_insideshell());
    EXPECT_FALSE(p.is_default());
    EXPECT_FALSE(p.control_h_del());
    EXPECT_TRUE(p.application_keypad());
    const std::vector<std::string> keys{"profile_id", "profile_name",  "term_type",
                                        "theme_name", "run_command",   "run_insideshell",
                                        "is_default", "control_h_del", "application_keypad"};
    EXPECT_EQ(p.propertyKeys(), keys);

    std::set<std::string> ids;
    for (int i = 0; i < 100; ++i)
        ids.insert(RellumProfileModel().profile_id());
    EXPECT_EQ(ids.size(), 100u);
}

TEST(RellumProfileModel, ProfileWithNameIsAlwaysTheBaseClass) {
    auto p = VyTerminalProfile::profileWithName("New Server", "Grass");
    ASSERT_TRUE(p);
    EXPECT_EQ(&p->modelClass(), &RellumProfileModel::classDescription());
    EXPECT_EQ(p->profile_name(), "New Server");
    EXPECT_EQ(p->theme_name(), "Grass");
    EXPECT_EQ(p->term_type(), "xterm-256color");
}

TEST(RellumProfileModel, CopyKeepsTheIdAndDuplicateRenewsIt) {
    auto p = customProfile();
    auto copy = p->copyAs<RellumProfileModel>();
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, *p);
    EXPECT_EQ(copy->profile_id(), p->profile_id());

    auto dup = p->duplicate();
    ASSERT_TRUE(dup);
    EXPECT_FALSE(*dup == *p);
    EXPECT_NE(dup->profile_id(), p->profile_id());
    EXPECT_TRUE(isUUID(dup->profile_id()));
    dup->setProfile_id(p->profile_id());
    EXPECT_EQ(*dup, *p); // equal in the eight other values

    // Any one value apart makes two profiles differ.
    for (const auto& key : p->propertyKeys()) {
        auto other = p->copyAs<RellumProfileModel>();
        const auto value = p->valueForKey(key);
        other->setValueForKey(key,
                              value.is_boolean() ? nlohmann::json(!value.get<bool>()) : nlohmann::json("x"));
        EXPECT_FALSE(*other == *p) << key;
    }
}

TEST(RellumProfileModel, JSONFormLeavesOutTheId) {
    auto p = customProfile();
    MTLJSONAdapter adapter;
    auto json = adapter.JSONDictionaryFromModel(*p);
    ASSERT_TRUE(json);
    EXPECT_EQ(*json, (nlohmann::json{{"profile_name", "Build box"},
                                     {"term_type", "vt100"},
                                     {"theme_name", "Monitor"},
                                     {"run_command", "tmux attach || tmux"},
                                     {"run_insideshell", true},
                                     {"is_default", true},
                                     {"control_h_del", true},
                                     {"application_keypad", false}}));
    Error error;
    auto back = adapter.modelOfClass<RellumProfileModel>(*json, &error);
    ASSERT_TRUE(back) << error.localizedDescription;
    EXPECT_NE(back->profile_id(), p->profile_id());
    EXPECT_TRUE(isUUID(back->profile_id()));
    back->setProfile_id(p->profile_id());
    EXPECT_EQ(*back, *p);

    // A "profile_id" in JSON is not read.
    auto withId = *json;
    withId["profile_id"] = "FIXED";
    auto fromId = adapter.modelOfClass<RellumProfileModel>(withId);
    ASSERT_TRUE(fromId);
    EXPECT_NE(fromId->profile_id(), "FIXED");
}

TEST(RellumProfileModel, DictionaryWithUnknownAndMissingKeys) {
    Error error;
    auto p = MTLModel::modelWithDictionary<RellumProfileModel>(
        {{"profile_name", "Old"}, {"font_size", 12}, {"colour_scheme", {1, 2}}, {"application_keypad", 0}},
        &error);
    ASSERT_TRUE(p) << error.localizedDescription;
    EXPECT_EQ(p->profile_name(), "Old");
    EXPECT_EQ(p->theme_name(), "Printing"); // missing: the default
    EXPECT_FALSE(p->application_keypad());  // stored as a number by an older writer
    EXPECT_TRUE(p->setValueForKey("no_such_key", "x", &error));
    EXPECT_EQ(p->dictionaryValue().size(), 9u);
}

TEST(RellumProfileModel, NullTextReadsAsAbsentAndWrongTypesAreRefused) {
    MTLJSONAdapter adapter;
    Error error;
    auto p = adapter.modelOfClass<RellumProfileModel>(
        {{"profile_name", "Box"}, {"theme_name", nullptr}, {"term_type", nullptr}, {"run_command", nullptr}},
        &error);
    ASSERT_TRUE(p) << error.localizedDescription;
    EXPECT_EQ(p->profile_name(), "Box");
    EXPECT_EQ(p->theme_name(), "Printing");
    EXPECT_EQ(p->term_type(), "xterm-256color");
    EXPECT_EQ(p->run_command(), "");
    auto named = adapter.modelOfClass<RellumProfileModel>({{"profile_name", nullptr}}, &error);
    ASSERT_TRUE(named) << error.localizedDescription;
    EXPECT_EQ(named->profile_name(), "Printing");

    for (const nlohmann::json& wrong :
         {nlohmann::json{{"theme_name", 5}}, nlohmann::json{{"term_type", {"vt100"}}},
          nlohmann::json{{"application_keypad", "yes"}}}) {
        Error refused;
        EXPECT_FALSE(adapter.modelOfClass<RellumProfileModel>(wrong, &refused)) << wrong.dump();
        EXPECT_FALSE(refused.localizedDescription.empty()) << wrong.dump();
    }
}

TEST(RellumProfileModel, ArchiveRoundTripKeepsEveryValueAndTheTheme) {
    std::vector<std::shared_ptr<RellumProfileModel>> profiles{
        customProfile(), std::make_shared<RellumProfileModel>(),
        RellumProfileModel::profileWithName("New Server", "Grass")};
    const auto stored = nlohmann::json::parse(KeyedArchiver::archivedDataWithArray(profiles).dump());
    Error error;
    auto decoded = KeyedUnarchiver::unarchiveArrayOfClass<RellumProfileModel>(stored, &error);
    ASSERT_TRUE(decoded) << error.localizedDescription;
    ASSERT_EQ(decoded->size(), profiles.size());
    const auto themes = VyTerminalThemeObject::defaultThemes();
    for (std::size_t i = 0; i < profiles.size(); ++i) {
        EXPECT_EQ(*(*decoded)[i], *profiles[i]) << i;
        EXPECT_EQ((*decoded)[i]->profile_id(), profiles[i]->profile_id()) << i;
        // The theme it names is still found, with the same colours.
        auto theme = VyTerminalThemeObject::themeNamed(themes, (*decoded)[i]->theme_name());
        ASSERT_TRUE(theme) << i;
        EXPECT_EQ(*theme, *VyTerminalThemeObject::themeNamed(themes, profiles[i]->theme_name()));
    }

    // The earlier class name decodes as that class; an extra key is ignored.
    auto entry = profiles[0]->encodeWithCoder();
    entry["$class"] = "VyTerminalProfile";
    entry["window_frame"] = "{{0, 0}, {80, 24}}";
    nlohmann::json archive = KeyedArchiver::archivedDataWithRootObject(*profiles[0]);
    archive["$root"] = entry;
    auto legacy = KeyedUnarchiver::unarchiveObjectOfClass<RellumProfileModel>(archive, &error);
    ASSERT_TRUE(legacy) << error.localizedDescription;
    EXPECT_TRUE(std::dynamic_pointer_cast<VyTerminalProfile>(legacy));
    EXPECT_EQ(legacy->profile_id(), profiles[0]->profile_id());
    EXPECT_EQ(legacy->run_command(), "tmux attach || tmux");
}

TEST(RellumProfileModel, BuiltinTermTypes) {
    const std::vector<std::string> expected{"ansi",  "dtterm", "nsterm", "rxvt",          "vt52",
                                            "vt100", "vt102",  "xterm",  "xterm-16color", "xterm-256color"};
    RellumProfileModel a, b;
    EXPECT_EQ(a.builtinTermTypes(), expected);
    EXPECT_EQ(&a.builtinTermTypes(), &b.builtinTermTypes()); // one shared list
}

TEST(VyTerminalThemeObject, ColorFromHex) {
    const auto c = VyTerminalThemeObject::colorWithRGBHex(0x13773D, 1.0);
    EXPECT_DOUBLE_EQ(c.red, 19 / 255.0);
    EXPECT_DOUBLE_EQ(c.green, 119 / 255.0);
    EXPECT_DOUBLE_EQ(c.blue, 61 / 255.0);
    EXPECT_DOUBLE_EQ(c.alpha, 1.0);
    EXPECT_EQ(VyTerminalThemeObject::colorWithRGBHex(0xAB13773D, 0.5),
              VyTerminalThemeObject::colorWithRGBHex(0x13773D, 0.5));
    EXPECT_EQ(VyTerminalThemeObject::colorWithRGBHex(0xFFFFFFFF000000FFull, 1.0), (VyThemeColor{0, 0, 1, 1}));
}

TEST(VyTerminalThemeObject, PredefinedThemes) {
    struct Row {
        const char* name;
        int bg[3];
        int text[3];
    };
    const Row rows[] = {
        {"Printing", {255, 255, 255}, {26, 26, 26}},  {"Dictionary", {157, 74, 71}, {255, 251, 247}},
        {"Notes", {254, 244, 156}, {54, 28, 0}},      {"Grass", {19, 119, 61}, {255, 240, 165}},
        {"Moroccan", {49, 69, 104}, {244, 215, 153}}, {"Lavender", {198, 184, 215}, {45, 13, 51}},
        {"Monitor", {23, 27, 26}, {161, 251, 230}},   {"Clear", {255, 255, 255}, {188, 94, 26}},
    };
    const auto themes = VyTerminalThemeObject::defaultThemes();
    ASSERT_EQ(themes.size(), std::size(rows));
    for (std::size_t i = 0; i < themes.size(); ++i) {
        const auto& t = *themes[i];
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(t.themeName(), rows[i].name);
        EXPECT_DOUBLE_EQ(t.backgroundColor().red * 255, rows[i].bg[0]);
        EXPECT_DOUBLE_EQ(t.backgroundColor().green * 255, rows[i].bg[1]);
        EXPECT_DOUBLE_EQ(t.backgroundColor().blue * 255, rows[i].bg[2]);
        EXPECT_DOUBLE_EQ(t.textColor().red * 255, rows[i].text[0]);
        EXPECT_DOUBLE_EQ(t.textColor().green * 255, rows[i].text[1]);
        EXPECT_DOUBLE_EQ(t.textColor().blue * 255, rows[i].text[2]);
        EXPECT_DOUBLE_EQ(t.textColor().alpha, 1.0);
        EXPECT_EQ(t.previewColor(), t.backgroundColor());
    }
    EXPECT_DOUBLE_EQ(themes[0]->backgroundColor().alpha, 1.0);
    EXPECT_DOUBLE_EQ(themes[7]->backgroundColor().alpha, 1e-9); // nearly, not fully, transparent
    EXPECT_GT(themes[7]->backgroundColor().alpha, 0.0);

    // Every call makes new objects with equal values.
    const auto again = VyTerminalThemeObject::defaultThemes();
    for (std::size_t i = 0; i < themes.size(); ++i) {
        EXPECT_NE(themes[i].get(), again[i].get());
        EXPECT_EQ(*themes[i], *again[i]);
    }
    // Lookup is exact and case-sensitive.
    EXPECT_EQ(VyTerminalThemeObject::themeNamed(themes, "Grass"), themes[3]);
    EXPECT_EQ(VyTerminalThemeObject::themeNamed(themes, "grass"), nullptr);
    EXPECT_EQ(VyTerminalThemeObject::themeNamed(themes, ""), nullptr);
}

TEST(VyTerminalThemeObject, MenuItemAndCustomTheme) {
    auto item = VyTerminalThemeMenuItemObject::themeMenuItemObjectWithName("Notes");
    EXPECT_EQ(item->themeName(), "Notes");
    EXPECT_FALSE(item->isValid());
    item->setIsValid(true);
    EXPECT_TRUE(item->isValid());

    auto theme = VyTerminalThemeObject::themeObjectWithName("Mine", {0.1, 0.2, 0.3, 1}, {1, 1, 1, 1});
    EXPECT_EQ(theme->themeName(), "Mine");
    EXPECT_EQ(theme->previewColor(), (VyThemeColor{0.1, 0.2, 0.3, 1}));
}

} // namespace
