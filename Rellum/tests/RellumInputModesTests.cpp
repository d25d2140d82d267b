#include "Rellum/RellumContext.h"
#include "Rellum/RellumInputModes.h"
#include "Rellum/RellumKeyPressHelper.h"
#include "Rellum/RellumMouseHelper.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(RellumInputModes, TakenFieldByFieldFromTheContext) {
    RellumContext fresh;
    const RellumInputModes defaults = RellumInputModesFromContext(fresh);
    EXPECT_FALSE(defaults.applicationCursorKeyMode);
    EXPECT_FALSE(defaults.applicationKeypadMode);
    EXPECT_FALSE(defaults.alternateScreenMode);
    EXPECT_TRUE(defaults.autoRepeatMode);
    EXPECT_EQ(defaults.mouseReportType, 0u);
    EXPECT_EQ(defaults.mouseReportProtocol, 0u);
    EXPECT_FALSE(defaults.focusReportMode);
    EXPECT_FALSE(defaults.bracketedPasteMode);

    // Each context field reaches its own field and no other.
    struct Row {
        const char* name;
        std::function<void(RellumContext&)> change;
        std::function<void(RellumInputModes&)> expect;
    };
    const Row rows[] = {
        {"cursor keys", [](auto& c) { c.setApplicationCursorKeyMode(true); },
         [](auto& m) { m.applicationCursorKeyMode = true; }},
        {"keypad", [](auto& c) { c.setApplicationKeypadMode(true); },
         [](auto& m) { m.applicationKeypadMode = true; }},
        {"alternate screen", [](auto& c) { c.setAlternateScreenMode(true); },
         [](auto& m) { m.alternateScreenMode = true; }},
        {"auto-repeat", [](auto& c) { c.setAutoRepeatMode(false); },
         [](auto& m) { m.autoRepeatMode = false; }},
        {"mouse type", [](auto& c) { c.setMouseReportType(3); }, [](auto& m) { m.mouseReportType = 3; }},
        {"mouse protocol", [](auto& c) { c.setMouseReportProtocol(2); },
         [](auto& m) { m.mouseReportProtocol = 2; }},
        {"focus", [](auto& c) { c.setFocusReportMode(true); }, [](auto& m) { m.focusReportMode = true; }},
        {"bracketed paste", [](auto& c) { c.setBracketedPasteMode(true); },
         [](auto& m) { m.bracketedPasteMode = true; }},
    };
    for (const auto& row : rows) {
        RellumContext context;
        row.change(context);
        RellumInputModes expected = defaults;
        row.expect(expected);
        EXPECT_EQ(RellumInputModesFromContext(context), expected) << row.name;
    }
}

TEST(RellumInputModes, EncodersFollowTheHostsModes) {
    RellumContext context;
    context.setApplicationCursorKeyMode(true);
    context.setMouseReportType(1);
    context.setMouseReportProtocol(3);
    const auto modes = RellumInputModesFromContext(context);

    RellumKeyPressHelper keys;
    keys.setModes(modes);
    EXPECT_EQ(keys.sequenceForModifierFlags(RellumFunctionKeyMask, RellumUpArrowKey), "\x1bOA");
    RellumMouseHelper mouse;
    mouse.setModes(modes);
    EXPECT_EQ(mouse.sequenceForMouseDown(0, 0, {2, 3}), "\x1b[<0;3;4M");
    EXPECT_EQ(mouse.sequenceForMovingCursorFrom({1, 0}, {0, 0}), "\x1bOD");
}

} // namespace
