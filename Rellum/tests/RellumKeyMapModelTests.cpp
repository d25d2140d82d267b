#include "Foundation/KeyedArchiver.h"
#include "Foundation/KeyedUnarchiver.h"
#include "Mantle/MTLJSONAdapter.h"
#include "Rellum/RellumKeyMapModel.h"

#include <gtest/gtest.h>

namespace {

using E = RellumEscapeToken::Element;

TEST(RellumKeyMapModel, NewMappingIsControlDownWithoutText) {
    RellumKeyMapModel model;
    EXPECT_EQ(model.keycode(), 63233u);
    EXPECT_EQ(model.modifier(), 0x40000u);
    EXPECT_EQ(model.keyCodeSymbol(), "\u2193");
    EXPECT_EQ(model.keyCodeDesc(), "\u2193 Cursor Down");
    EXPECT_EQ(model.modifierSymbol(), "\u2303");
    EXPECT_EQ(model.modifierDesc(), "\u2303 Control");
    EXPECT_EQ(model.sendtext(), std::nullopt);
    EXPECT_EQ(model.sendTokens(), std::nullopt);
    const std::vector<std::string> keys{"keycode", "modifier", "sendtext"};
    EXPECT_EQ(model.propertyKeys(), keys);
}

TEST(RellumKeyMapModel, Catalogues) {
    const auto& keys = RellumKeyMapModel::allKeyCodes();
    ASSERT_EQ(keys.size(), 30u);
    EXPECT_EQ(keys[0].keycode, 63236u);
    EXPECT_EQ(keys[0].symbol, "F1");
    EXPECT_EQ(keys[19].keycode, 63255u);
    EXPECT_EQ(keys[19].desc, "F20");
    const std::vector<std::uint64_t> rest{63234, 63232, 63235, 63233, 63273, 63275, 63276, 63277, 63272, 127};
    for (std::size_t i = 0; i < rest.size(); ++i)
        EXPECT_EQ(keys[20 + i].keycode, rest[i]) << i;
    EXPECT_EQ(keys[24].symbol, "\u2196\uFE0E");
    EXPECT_EQ(keys[25].desc, "\u2198\uFE0E End");
    EXPECT_EQ(keys[28].desc, "\u2326 Forward Delete");
    EXPECT_EQ(keys[29].desc, "\u232B Delete");

    const auto& modifiers = RellumKeyMapModel::allModifiers();
    ASSERT_EQ(modifiers.size(), 8u);
    const std::vector<std::uint64_t> masks{0, 0x20000, 0x80000, 0x40000, 0xA0000, 0x60000, 0xC0000, 0xE0000};
    for (std::size_t i = 0; i < masks.size(); ++i)
        EXPECT_EQ(modifiers[i].modifier, masks[i]) << i;
    EXPECT_EQ(modifiers[4].symbol, "\u2325\u21E7");
    EXPECT_EQ(modifiers[4].desc, "\u2325 Option-Shift");
    EXPECT_EQ(modifiers[7].desc, "\u2303\u2325\u21E7 Control-Option-Shift");
}

TEST(RellumKeyMapModel, DerivedSymbolsFollowKeyAndModifier) {
    RellumKeyMapModel model;
    model.setKeycode(0xF704 + 11);
    EXPECT_EQ(model.keyCodeSymbol(), "F12");
    model.setKeycode(0x61); // not in the catalogue
    EXPECT_EQ(model.keyCodeSymbol(), "");
    EXPECT_EQ(model.keyCodeDesc(), "");
    model.setKeycode(0x7F);
    EXPECT_EQ(model.keyCodeSymbol(), "\u232B");
    model.setModifier(0x100000);
    EXPECT_EQ(model.modifierSymbol(), "");
    EXPECT_EQ(model.modifierDesc(), "");
    model.setModifier(0);
    EXPECT_EQ(model.modifierSymbol(), "");
    EXPECT_EQ(model.modifierDesc(), "None");
    model.setModifier(0x60000);
    EXPECT_EQ(model.modifierSymbol(), "\u2303\u21E7");
}

TEST(RellumKeyMapModel, SendTextIsTokenizedOnChangeOnly) {
    RellumKeyMapModel model;
    model.setSendtext("ls\\r");
    ASSERT_TRUE(model.sendTokens());
    const std::vector<E> expected{E(std::string("ls")), E(RellumEscapeToken("\\r", "\r"))};
    EXPECT_EQ(*model.sendTokens(), expected);

    // Changes are announced on the derived key, and only for a different text.
    int notices = 0;
    auto token = model.addObserver("sendTokens", [&](const std::string&, bool) { ++notices; });
    model.setSendtext("ls\\r");
    EXPECT_EQ(notices, 0);
    model.setSendtext("\\e[A");
    EXPECT_EQ(notices, 1);
    const std::vector<E> arrow{E(RellumEscapeToken("\\e", "\x1b")), E(std::string("[A"))};
    EXPECT_EQ(*model.sendTokens(), arrow);

    // Clearing the text leaves an empty token list.
    model.setSendtext(std::nullopt);
    EXPECT_EQ(model.sendTokens(), std::vector<E>{});

    RellumKeyMapModel fresh;
    fresh.setSendtext(std::nullopt); // the first assignment counts, even of nothing
    EXPECT_EQ(fresh.sendTokens(), std::vector<E>{});
}

TEST(RellumKeyMapModel, DictionaryIgnoresUnknownKeysAndKeepsDefaults) {
    Error error;
    auto model = MTLModel::modelWithDictionary<RellumKeyMapModel>(
        {{"keycode", 0xF704}, {"sendtext", "\\x1b"}, {"colour", "red"}, {"keyCodeSymbol", "X"}}, &error);
    ASSERT_TRUE(model) << error.localizedDescription;
    EXPECT_EQ(model->keycode(), 0xF704u);
    EXPECT_EQ(model->keyCodeSymbol(), "F1"); // derived, never taken from outside
    EXPECT_EQ(model->modifier(), 0x40000u);  // not given: the default
    EXPECT_EQ(model->sendtext(), "\\x1b");
    EXPECT_TRUE(model->setValueForKey("nonsense", 5, &error));
    EXPECT_EQ(model->dictionaryValue().size(), 3u);
}

TEST(RellumKeyMapModel, EqualityUsesThePersistedKeysOnly) {
    RellumKeyMapModel a, b;
    EXPECT_EQ(a, b);
    a.setSendtext("x");
    EXPECT_FALSE(a == b);
    b.setSendtext("x");
    EXPECT_EQ(a, b);
    b.setModifier(0);
    EXPECT_FALSE(a == b);
    auto copy = a.copyAs<RellumKeyMapModel>();
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, a);
    EXPECT_EQ(copy->sendTokens(), a.sendTokens());
    EXPECT_EQ(copy->sendtext(), "x");
    EXPECT_EQ(copy->keyCodeDesc(), a.keyCodeDesc());
}

TEST(RellumKeyMapModel, ArchiveRoundTrip) {
    std::vector<std::shared_ptr<RellumKeyMapModel>> mappings;
    for (const auto& [key, modifier, text] :
         std::vector<std::tuple<std::uint64_t, std::uint64_t, const char*>>{
             {0xF700, 0x20000, "\\e[1;2A"}, {0x7F, 0x80000, "\\027"}, {0xF717, 0xE0000, "caf\xc3\xa9\\n"}}) {
        auto m = std::make_shared<RellumKeyMapModel>();
        m->setKeycode(key);
        m->setModifier(modifier);
        m->setSendtext(text);
        mappings.push_back(m);
    }
    mappings.push_back(std::make_shared<RellumKeyMapModel>()); // no text at all

    const auto stored = nlohmann::json::parse(KeyedArchiver::archivedDataWithArray(mappings).dump());
    Error error;
    auto decoded = KeyedUnarchiver::unarchiveArrayOfClass<RellumKeyMapModel>(stored, &error);
    ASSERT_TRUE(decoded) << error.localizedDescription;
    ASSERT_EQ(decoded->size(), mappings.size());
    for (std::size_t i = 0; i < mappings.size(); ++i) {
        EXPECT_EQ(*(*decoded)[i], *mappings[i]) << i;
        // A mapping without text has no tokens, whether as nothing or as an empty list.
        EXPECT_EQ((*decoded)[i]->sendTokens().value_or(std::vector<E>{}),
                  mappings[i]->sendTokens().value_or(std::vector<E>{}))
            << i;
        EXPECT_EQ((*decoded)[i]->modifierDesc(), mappings[i]->modifierDesc()) << i;
    }
    EXPECT_EQ((*decoded)[3]->sendtext(), std::nullopt);

    // An archive entry carrying keys of a later version still decodes.
    auto entry = mappings[0]->encodeWithCoder();
    entry["repeat"] = true;
    nlohmann::json archive = KeyedArchiver::archivedDataWithRootObject(*mappings[0]);
    archive["$root"] = entry;
    auto withExtra = KeyedUnarchiver::unarchiveObjectOfClass<RellumKeyMapModel>(archive, &error);
    ASSERT_TRUE(withExtra) << error.localizedDescription;
    EXPECT_EQ(*withExtra, *mappings[0]);
}

TEST(RellumKeyMapModel, JSONFormHasTheThreeKeys) {
    RellumKeyMapModel model;
    model.setSendtext("\\t");
    MTLJSONAdapter adapter;
    auto json = adapter.JSONDictionaryFromModel(model);
    ASSERT_TRUE(json);
    EXPECT_EQ(*json, (nlohmann::json{{"keycode", 63233}, {"modifier", 0x40000}, {"sendtext", "\\t"}}));
    auto back = adapter.modelOfClass<RellumKeyMapModel>(*json);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, model);
}

} // namespace
