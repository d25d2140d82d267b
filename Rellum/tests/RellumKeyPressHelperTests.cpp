#include "Rellum/RellumKeyPressHelper.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

constexpr std::uint64_t kFn = RellumFunctionKeyMask;
constexpr std::uint64_t kPad = RellumNumericPadKeyMask;
constexpr std::uint64_t kShift = RellumShiftKeyMask;
constexpr std::uint64_t kControl = RellumControlKeyMask;
constexpr std::uint64_t kCommand = RellumCommandKeyMask;
// With the left Option key as Meta, the right one is Alt.
constexpr std::uint64_t kLeftOption = RellumOptionKeyMask | RellumLeftOptionDeviceMask;
constexpr std::uint64_t kRightOption = RellumOptionKeyMask | RellumRightOptionDeviceMask;

const std::optional<std::string> kNothing = std::nullopt;

// An encoder whose left Option key is Meta and right Option key is Alt, so
// that every combination of the four modifiers can be pressed.
RellumKeyPressHelper encoderWithMeta() {
    RellumKeyPressHelper helper;
    helper.flagsChanged(RellumOptionKeyMask, true, false);
    return helper;
}

// One combination of Shift (1), Alt (2), Control (4) and Meta (8) as flags.
std::uint64_t flagsFor(unsigned combination) {
    std::uint64_t flags = 0;
    if (combination & 1) flags |= kShift;
    if (combination & 2) flags |= kRightOption;
    if (combination & 4) flags |= kControl;
    if (combination & 8) flags |= kLeftOption;
    return flags;
}

std::string combinationName(unsigned combination) {
    std::string name;
    if (combination & 1) name += "Shift+";
    if (combination & 2) name += "Alt+";
    if (combination & 4) name += "Control+";
    if (combination & 8) name += "Meta+";
    return name.empty() ? "plain" : name;
}

TEST(RellumKeyPressHelper, ModifierCodeFollowsTheMasks) {
    RellumKeyPressHelper helper;
    EXPECT_EQ(helper.modifierCode(0), 0u);
    EXPECT_EQ(helper.modifierCode(kShift), 1u);
    EXPECT_EQ(helper.modifierCode(RellumOptionKeyMask), 2u);
    EXPECT_EQ(helper.modifierCode(kControl), 4u);
    EXPECT_EQ(helper.modifierCode(kShift | RellumOptionKeyMask | kControl), 7u);
    // Meta is never set while its mask is 0.
    EXPECT_EQ(helper.modifierCode(~std::uint64_t(0)), 7u);

    const auto meta = encoderWithMeta();
    EXPECT_EQ(meta.modifierCode(kLeftOption), 8u);
    EXPECT_EQ(meta.modifierCode(kRightOption), 2u);
    // Every bit of a mask must be held: Option without a device bit is neither.
    EXPECT_EQ(meta.modifierCode(RellumOptionKeyMask), 0u);
}

// prefix ";" m suffix
std::string modified(std::string prefix, unsigned m, const std::string& suffix) {
    prefix.append(";").append(std::to_string(m)).append(suffix);
    return prefix;
}

struct CursorRow {
    char16_t key;
    const char* name;
    char final;
};
const CursorRow kCursorRows[] = {
    {RellumUpArrowKey, "Up", 'A'},     {RellumDownArrowKey, "Down", 'B'}, {RellumRightArrowKey, "Right", 'C'},
    {RellumLeftArrowKey, "Left", 'D'}, {RellumHomeKey, "Home", 'H'},      {RellumEndKey, "End", 'F'},
};

TEST(RellumKeyPressHelper, CursorKeysWithEveryModifierCombination) {
    for (bool applicationMode : {false, true}) {
        auto helper = encoderWithMeta();
        helper.setApplicationCursorKeyMode(applicationMode);
        for (const auto& row : kCursorRows) {
            for (unsigned combination = 0; combination < 16; ++combination) {
                SCOPED_TRACE(std::string(row.name) + " " + combinationName(combination) +
                             (applicationMode ? " application" : " normal"));
                std::optional<std::string> expected;
                if (combination == 0)
                    expected = std::string(applicationMode ? "\x1bO" : "\x1b[") + row.final;
                else if (combination & 8)
                    expected = modified("\x1b[1", combination + 1, std::string(1, row.final));
                else if ((row.final == 'A' || row.final == 'B') && (combination & 2) && !(combination & 4))
                    expected = modified("\x1b[1", combination + 1, std::string(1, row.final));
                // Otherwise Shift, Alt or Control leave the key to the view (selection, word moves).
                EXPECT_EQ(helper.sequenceForModifierFlags(flagsFor(combination) | kFn, row.key), expected);
            }
        }
    }
}

TEST(RellumKeyPressHelper, CursorKeyEdgeCases) {
    auto helper = encoderWithMeta();
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn, RellumUpArrowKey), "\x1b[A");
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn | kShift, RellumUpArrowKey), kNothing);
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn | kLeftOption, RellumUpArrowKey), "\x1b[1;9A");
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn | kLeftOption | kShift, RellumUpArrowKey), "\x1b[1;10A");
    // Linux Alt on Up and Down: the Alt form; not with Control, and never on Left or Right.
    RellumKeyPressHelper alt;
    EXPECT_EQ(alt.sequenceForModifierFlags(kFn | RellumOptionKeyMask, RellumUpArrowKey), "\x1b[1;3A");
    EXPECT_EQ(alt.sequenceForModifierFlags(kFn | RellumOptionKeyMask | kShift, RellumDownArrowKey),
              "\x1b[1;4B");
    EXPECT_EQ(alt.sequenceForModifierFlags(kFn | RellumOptionKeyMask | kControl, RellumUpArrowKey), kNothing);
    EXPECT_EQ(alt.sequenceForModifierFlags(kFn | RellumOptionKeyMask, RellumLeftArrowKey), kNothing);
    helper.setApplicationCursorKeyMode(true);
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn, RellumUpArrowKey), "\x1bOA");
    // The modified form does not depend on the cursor mode.
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn | kLeftOption, RellumEndKey), "\x1b[1;9F");
}

struct NumberedRow {
    char16_t key;
    const char* name;
    const char* plain;
    const char* modifiedPrefix; // before ";m"
    const char* modifiedSuffix; // after ";m"
};

const NumberedRow kEditingRows[] = {
    {RellumInsertKey, "Insert", "\x1b[2~", "\x1b[2", "~"},
    {RellumDeleteForwardKey, "Delete", "\x1b[3~", "\x1b[3", "~"},
    {RellumPageUpKey, "PageUp", "\x1b[5~", "\x1b[5", "~"},
    {RellumPageDownKey, "PageDown", "\x1b[6~", "\x1b[6", "~"},
};

const NumberedRow kFunctionRows[] = {
    {0xF704, "F1", "\x1bOP", "\x1b[1", "P"},     {0xF705, "F2", "\x1bOQ", "\x1b[1", "Q"},
    {0xF706, "F3", "\x1bOR", "\x1b[1", "R"},     {0xF707, "F4", "\x1bOS", "\x1b[1", "S"},
    {0xF708, "F5", "\x1b[15~", "\x1b[15", "~"},  {0xF709, "F6", "\x1b[17~", "\x1b[17", "~"},
    {0xF70A, "F7", "\x1b[18~", "\x1b[18", "~"},  {0xF70B, "F8", "\x1b[19~", "\x1b[19", "~"},
    {0xF70C, "F9", "\x1b[20~", "\x1b[20", "~"},  {0xF70D, "F10", "\x1b[21~", "\x1b[21", "~"},
    {0xF70E, "F11", "\x1b[23~", "\x1b[23", "~"}, {0xF70F, "F12", "\x1b[24~", "\x1b[24", "~"},
    {0xF710, "F13", "\x1b[25~", "\x1b[25", "~"}, {0xF711, "F14", "\x1b[26~", "\x1b[26", "~"},
    {0xF712, "F15", "\x1b[28~", "\x1b[28", "~"}, {0xF713, "F16", "\x1b[29~", "\x1b[29", "~"},
    {0xF714, "F17", "\x1b[31~", "\x1b[31", "~"}, {0xF715, "F18", "\x1b[32~", "\x1b[32", "~"},
    {0xF716, "F19", "\x1b[33~", "\x1b[33", "~"}, {0xF717, "F20", "\x1b[34~", "\x1b[34", "~"},
};

void checkNumberedRows(const NumberedRow* begin, const NumberedRow* end) {
    auto helper = encoderWithMeta();
    for (auto row = begin; row != end; ++row) {
        for (unsigned combination = 0; combination < 16; ++combination) {
            SCOPED_TRACE(std::string(row->name) + " " + combinationName(combination));
            const std::string expected =
                combination == 0 ? std::string(row->plain)
                                 : modified(row->modifiedPrefix, combination + 1, row->modifiedSuffix);
            EXPECT_EQ(helper.sequenceForModifierFlags(flagsFor(combination) | kFn, row->key), expected);
        }
    }
}

TEST(RellumKeyPressHelper, EditingKeysWithEveryModifierCombination) {
    checkNumberedRows(std::begin(kEditingRows), std::end(kEditingRows));
}

TEST(RellumKeyPressHelper, FunctionKeysWithEveryModifierCombination) {
    checkNumberedRows(std::begin(kFunctionRows), std::end(kFunctionRows));
}

TEST(RellumKeyPressHelper, FunctionAndEditingKeyEdgeCases) {
    RellumKeyPressHelper helper;
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn, 0xF708), "\x1b[15~");
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn | kShift, 0xF708), "\x1b[15;2~");
    // Linux Alt is the tables' Alt modifier on function and editing keys.
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn | RellumOptionKeyMask, 0xF704), "\x1b[1;3P");
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn | RellumOptionKeyMask | kShift, 0xF70E), "\x1b[23;4~");
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn | kControl, RellumDeleteForwardKey), "\x1b[3;5~");
    // F21 to F35 have no sequence, with or without modifiers.
    for (char16_t key = 0xF718; key <= RellumF35Key; ++key) {
        EXPECT_EQ(helper.sequenceForModifierFlags(kFn, key), kNothing) << std::hex << int(key);
        EXPECT_EQ(helper.sequenceForModifierFlags(kFn | kShift, key), kNothing) << std::hex << int(key);
    }
    // Function keys without the function flag are ordinary keys.
    EXPECT_EQ(helper.sequenceForModifierFlags(0, 0xF704), kNothing);
}

struct KeypadRow {
    char16_t character;
    const char* application;
};
const KeypadRow kKeypadRows[] = {
    {u' ', "\x1bO "}, {u'\t', "\x1bOI"}, {u'\n', "\x1bOM"}, {u'\r', "\x1bOM"}, {u'*', "\x1bOj"},
    {u'+', "\x1bOk"}, {u',', "\x1bOl"},  {u'-', "\x1bOm"},  {u'.', "\x1bOn"},  {u'/', "\x1bOo"},
    {u'0', "\x1bOp"}, {u'1', "\x1bOq"},  {u'2', "\x1bOr"},  {u'3', "\x1bOs"},  {u'4', "\x1bOt"},
    {u'5', "\x1bOu"}, {u'6', "\x1bOv"},  {u'7', "\x1bOw"},  {u'8', "\x1bOx"},  {u'9', "\x1bOy"},
    {u'=', "\x1bOX"},
};

TEST(RellumKeyPressHelper, KeypadKeysInBothModesAndWithMeta) {
    ASSERT_EQ(std::size(kKeypadRows), 21u);
    for (bool applicationMode : {false, true}) {
        auto helper = encoderWithMeta();
        helper.setApplicationKeypadMode(applicationMode);
        for (const auto& row : kKeypadRows) {
            SCOPED_TRACE(std::string("keypad ") + static_cast<char>(row.character) +
                         (applicationMode ? " application" : " normal"));
            const auto plain = helper.sequenceForModifierFlags(kPad, row.character);
            if (applicationMode)
                EXPECT_EQ(plain, row.application);
            else
                EXPECT_EQ(plain, kNothing); // typed as text by the view
            const std::string metaForm = std::string("\x1b") + static_cast<char>(row.character);
            EXPECT_EQ(helper.sequenceForModifierFlags(kPad | kLeftOption, row.character), metaForm);
            EXPECT_EQ(helper.sequenceForModifierFlags(kPad | kLeftOption | kShift | kControl, row.character),
                      metaForm);
        }
    }
    // A keypad character the table lacks is an ordinary key.
    RellumKeyPressHelper helper;
    helper.setApplicationKeypadMode(true);
    EXPECT_EQ(helper.sequenceForModifierFlags(kPad, u'a'), kNothing);
    EXPECT_EQ(helper.sequenceForModifierFlags(kPad | kControl, u'a'), "\x01");
}

TEST(RellumKeyPressHelper, ControlCharacterMap) {
    for (char16_t c = u'a'; c <= u'z'; ++c)
        EXPECT_EQ(RellumGetControlCharacter(c), std::string(1, static_cast<char>(c - u'a' + 1)));
    const std::pair<char16_t, const char*> specials[] = {
        {u'[', "\x1b"}, {u'\\', "\x1c"}, {u']', "\x1d"}, {u'6', "\x1e"},
        {u'^', "\x1e"}, {u'-', "\x1f"},  {u'_', "\x1f"},
    };
    for (const auto& [c, byte] : specials)
        EXPECT_EQ(RellumGetControlCharacter(c), byte) << char(c);
    for (char16_t c : {u' ', u'2', u'@'})
        EXPECT_EQ(RellumGetControlCharacter(c), std::string(1, '\0')) << char(c);
    for (char16_t c : {u'A', u'Z', u'1', u'3', u'7', u'!', u'~', u'{', u'\r', char16_t(0xE9)})
        EXPECT_EQ(RellumGetControlCharacter(c), kNothing) << int(c);
}

TEST(RellumKeyPressHelper, ControlChordsOfOrdinaryKeys) {
    RellumKeyPressHelper helper;
    EXPECT_EQ(helper.sequenceForModifierFlags(kControl, u'a'), "\x01");
    EXPECT_EQ(helper.sequenceForModifierFlags(kControl, u' '), std::string(1, '\0'));
    EXPECT_EQ(helper.sequenceForModifierFlags(kControl, u'2'), std::string(1, '\0'));
    EXPECT_EQ(helper.sequenceForModifierFlags(kControl | kShift, u'@'), std::string(1, '\0'));
    EXPECT_EQ(helper.sequenceForModifierFlags(kControl | kShift, u'^'), "\x1e");
    EXPECT_EQ(helper.sequenceForModifierFlags(kControl | kShift, u'A'), kNothing);
    EXPECT_EQ(helper.sequenceForModifierFlags(kControl, u'1'), kNothing);
    // Plain and Shifted keys are text for the view.
    EXPECT_EQ(helper.sequenceForModifierFlags(0, u'a', "a"), kNothing);
    EXPECT_EQ(helper.sequenceForModifierFlags(kShift, u'A', "A"), kNothing);
}

TEST(RellumKeyPressHelper, CommandSendsNothing) {
    auto helper = encoderWithMeta();
    helper.setApplicationKeypadMode(true);
    for (char16_t key : {char16_t(u'a'), RellumUpArrowKey, RellumF1Key, RellumPageUpKey}) {
        for (std::uint64_t flags : {kCommand, kCommand | kFn, kCommand | kControl, kCommand | kLeftOption,
                                    kCommand | RellumOptionKeyMask | kFn})
            EXPECT_EQ(helper.sequenceForModifierFlags(flags, key, "a"), kNothing) << int(key) << " " << flags;
    }
    EXPECT_EQ(helper.sequenceForModifierFlags(kCommand | kPad, u'5'), kNothing);
}

TEST(RellumKeyPressHelper, AltWithOrdinaryKeySendsEscapeAndText) {
    RellumKeyPressHelper helper; // Option is Alt
    EXPECT_EQ(helper.sequenceForModifierFlags(RellumOptionKeyMask, u'a', "a"), "\x1b"
                                                                               "a");
    EXPECT_EQ(helper.sequenceForModifierFlags(RellumOptionKeyMask | kShift, u'a', "A"), "\x1b"
                                                                                        "A");
    // Without the event's text the key's own character stands in.
    EXPECT_EQ(helper.sequenceForModifierFlags(RellumOptionKeyMask, u'.'), "\x1b.");
    // Non-ASCII text goes whole, as UTF-8.
    EXPECT_EQ(helper.sequenceForModifierFlags(RellumOptionKeyMask, u'\u00e9', "\xc3\xa9"), "\x1b\xc3\xa9");
    EXPECT_EQ(helper.sequenceForModifierFlags(RellumOptionKeyMask, u'\u00e9'), "\x1b\xc3\xa9");
    // Control with Alt: ESC and the control byte.
    EXPECT_EQ(helper.sequenceForModifierFlags(RellumOptionKeyMask | kControl, u'a'), "\x1b\x01");
    EXPECT_EQ(helper.sequenceForModifierFlags(RellumOptionKeyMask | kControl, u'1'), kNothing);
    // A surrogate half with no text has nothing to send.
    EXPECT_EQ(helper.sequenceForModifierFlags(RellumOptionKeyMask, char16_t(0xD83D)), kNothing);
}

TEST(RellumKeyPressHelper, MetaWithOrdinaryKeySendsEscapeAndUTF8) {
    const auto helper = encoderWithMeta();
    EXPECT_EQ(helper.sequenceForModifierFlags(kLeftOption, u'x'), "\x1bx");
    EXPECT_EQ(helper.sequenceForModifierFlags(kLeftOption | kShift, u'X'), "\x1bX");
    EXPECT_EQ(helper.sequenceForModifierFlags(kLeftOption | kRightOption, u'x'), "\x1bx");
    // Not the low eight bits: U+00E9 is two bytes, U+20AC three, U+0141 is not 'A'.
    EXPECT_EQ(helper.sequenceForModifierFlags(kLeftOption, u'\u00e9'), "\x1b\xc3\xa9");
    EXPECT_EQ(helper.sequenceForModifierFlags(kLeftOption, u'\u20ac'), "\x1b\xe2\x82\xac");
    EXPECT_EQ(helper.sequenceForModifierFlags(kLeftOption, u'\u0141'), "\x1b\xc5\x81");
    // A character outside the BMP arrives as a surrogate; its text carries it.
    EXPECT_EQ(helper.sequenceForModifierFlags(kLeftOption, char16_t(0xD83D), "\xf0\x9f\x98\x80"),
              "\x1b\xf0\x9f\x98\x80");
    // Meta with Control sends nothing.
    EXPECT_EQ(helper.sequenceForModifierFlags(kLeftOption | kControl, u'x'), kNothing);
}

TEST(RellumKeyPressHelper, OptionMasksFollowTheOptionAsMetaSettings) {
    struct Row {
        bool left, right;
        std::uint64_t option, meta;
    };
    const Row rows[] = {
        {false, false, 0x80000, 0},
        {true, false, 0x80040, 0x80020},
        {false, true, 0x80020, 0x80040},
        {true, true, 0, 0x80000},
    };
    for (const auto& row : rows) {
        RellumKeyPressHelper helper;
        helper.flagsChanged(RellumOptionKeyMask, row.left, row.right);
        EXPECT_EQ(helper.optionKeyMask(), row.option) << row.left << row.right;
        EXPECT_EQ(helper.metaKeyMask(), row.meta) << row.left << row.right;
        // An event without Option leaves them alone.
        helper.flagsChanged(kShift, !row.left, !row.right);
        EXPECT_EQ(helper.optionKeyMask(), row.option);
        EXPECT_EQ(helper.metaKeyMask(), row.meta);
    }
    RellumKeyPressHelper both;
    both.flagsChanged(RellumOptionKeyMask, true, true);
    EXPECT_EQ(both.sequenceForModifierFlags(RellumOptionKeyMask, u'b'), "\x1b"
                                                                        "b");
    EXPECT_EQ(both.sequenceForModifierFlags(RellumOptionKeyMask | kFn, RellumUpArrowKey), "\x1b[1;9A");
}

TEST(RellumKeyPressHelper, ModesFollowTheContextCopy) {
    RellumKeyPressHelper helper;
    RellumInputModes modes;
    modes.applicationCursorKeyMode = true;
    modes.applicationKeypadMode = true;
    helper.setModes(modes);
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn, RellumLeftArrowKey), "\x1bOD");
    EXPECT_EQ(helper.sequenceForModifierFlags(kPad, u'5'), "\x1bOu");
    helper.setModes(RellumInputModes{});
    EXPECT_EQ(helper.sequenceForModifierFlags(kFn, RellumLeftArrowKey), "\x1b[D");
    EXPECT_EQ(helper.sequenceForModifierFlags(kPad, u'5'), kNothing);
}

TEST(RellumKeyPressHelper, ScrollWheelAsCursorKeys) {
    auto helper = encoderWithMeta();
    EXPECT_EQ(helper.sequenceScrollWheelWithDeltaY(0, 0), kNothing);
    EXPECT_EQ(helper.sequenceScrollWheelWithDeltaY(2.6, 0), "\x1b[A\x1b[A\x1b[A");
    EXPECT_EQ(helper.sequenceScrollWheelWithDeltaY(2.4, 0), "\x1b[A\x1b[A");
    EXPECT_EQ(helper.sequenceScrollWheelWithDeltaY(-1, 0), "\x1b[B");
    EXPECT_EQ(helper.sequenceScrollWheelWithDeltaY(-0.5, 0), "\x1b[B");
    EXPECT_EQ(helper.sequenceScrollWheelWithDeltaY(0.3, 0), "");
    EXPECT_EQ(helper.sequenceScrollWheelWithDeltaY(1, kShift), ""); // Shift+Up encodes to nothing
    EXPECT_EQ(helper.sequenceScrollWheelWithDeltaY(2, kLeftOption), "\x1b[1;9A\x1b[1;9A");
    helper.setApplicationCursorKeyMode(true);
    EXPECT_EQ(helper.sequenceScrollWheelWithDeltaY(-1.2, 0), "\x1bOB");
}

TEST(RellumKeyPressHelper, CursorKeySequenceLookup) {
    for (const auto& row : kCursorRows) {
        EXPECT_EQ(RellumGetCursorKeySequence(row.key, false), std::string("\x1b[") + row.final);
        EXPECT_EQ(RellumGetCursorKeySequence(row.key, true), std::string("\x1bO") + row.final);
    }
    EXPECT_EQ(RellumGetCursorKeySequence(RellumPageUpKey, false), kNothing);
    EXPECT_EQ(RellumGetCursorKeySequence(u'A', true), kNothing);
}

} // namespace

namespace {

TEST(RellumKeyPressHelper, KeyDownRouting) {
    using R = RellumKeyDownRoute;
    RellumInputModes primary, alternate, noRepeat;
    alternate.alternateScreenMode = true;
    noRepeat.autoRepeatMode = false;
    noRepeat.alternateScreenMode = true;
    for (char16_t key : {RellumHomeKey, RellumEndKey, RellumPageUpKey, RellumPageDownKey}) {
        EXPECT_EQ(RellumRouteKeyDown(key, false, primary), R::Platform) << int(key);
        EXPECT_EQ(RellumRouteKeyDown(key, true, primary), R::Platform) << int(key);
        EXPECT_EQ(RellumRouteKeyDown(key, false, alternate), R::Encoder) << int(key);
    }
    for (char16_t key : {char16_t(u'a'), RellumUpArrowKey, RellumInsertKey, RellumF1Key}) {
        EXPECT_EQ(RellumRouteKeyDown(key, false, primary), R::Encoder) << int(key);
        EXPECT_EQ(RellumRouteKeyDown(key, true, primary), R::Encoder) << int(key);
        EXPECT_EQ(RellumRouteKeyDown(key, true, noRepeat), R::Ignore) << int(key);
        EXPECT_EQ(RellumRouteKeyDown(key, false, noRepeat), R::Encoder) << int(key);
    }
    // In the alternate screen Page Up reaches the encoder, which sends CSI 5~.
    RellumKeyPressHelper helper;
    EXPECT_EQ(helper.sequenceForModifierFlags(RellumFunctionKeyMask, RellumPageUpKey), "\x1b[5~");
}

} // namespace
