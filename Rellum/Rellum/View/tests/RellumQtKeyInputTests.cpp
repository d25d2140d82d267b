#include "Rellum/RellumKeyCodes.h"
#include "Rellum/View/RellumQtKeyInput.h"

#include <QApplication>
#include <QKeyEvent>
#include <QShortcut>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using Kind = RellumKeyDownOutcome::Kind;

// X keysyms of a few keypad keys and of the two Alt keys.
constexpr quint32 kKeysymKP5 = 0xffb5;
constexpr quint32 kKeysymAltL = 0xffe9;
constexpr quint32 kKeysymAltR = 0xffea;

const char* kindName(Kind kind) {
    switch (kind) {
    case Kind::Ignored:
        return "Ignored";
    case Kind::Send:
        return "Send";
    case Kind::Scroll:
        return "Scroll";
    case Kind::Selection:
        return "Selection";
    case Kind::Unhandled:
        return "Unhandled";
    }
    return "?";
}

std::string visible(const std::string& bytes) {
    std::string out;
    for (const unsigned char c : bytes) {
        if (c == 0x1b)
            out += "ESC ";
        else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "<%02X>", c);
            out += buf;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

struct Modes {
    bool applicationCursor = false;
    bool applicationKeypad = false;
    bool alternateScreen = false;
    bool autoRepeat = true;
};

struct KeyCase {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    const char* text; // UTF-8
    Modes modes;
    Kind kind;
    std::string bytes;
    quint32 nativeVirtualKey = 0;
    bool autoRepeat = false;
};

std::ostream& operator<<(std::ostream& os, const KeyCase& c) {
    return os << c.name;
}

QKeyEvent keyPress(int key, Qt::KeyboardModifiers modifiers, const char* text, quint32 nativeVirtualKey = 0,
                   bool autoRepeat = false, quint32 nativeScanCode = 0) {
    return QKeyEvent(QEvent::KeyPress, key, modifiers, nativeScanCode, nativeVirtualKey, 0,
                     QString::fromUtf8(text), autoRepeat);
}

RellumKeyDownOutcome outcomeOf(const QKeyEvent& event, const Modes& m,
                               const RellumKeyPressHelper* encoder = nullptr, std::uint64_t heldAlt = 0) {
    RellumInputModes modes;
    modes.applicationCursorKeyMode = m.applicationCursor;
    modes.applicationKeypadMode = m.applicationKeypad;
    modes.alternateScreenMode = m.alternateScreen;
    modes.autoRepeatMode = m.autoRepeat;
    RellumKeyPressHelper own;
    own.setModes(modes);
    RellumKeyPressHelper configured = encoder ? *encoder : own;
    configured.setModes(modes);
    return RellumKeyDownOutcomeForInput(RellumKeyInputFromQKeyEvent(event, heldAlt), configured, modes);
}

class RellumQtKeyClass : public ::testing::TestWithParam<KeyCase> {};

TEST_P(RellumQtKeyClass, SendsTheBytesOfItsClass) {
    const KeyCase& c = GetParam();
    const QKeyEvent event = keyPress(c.key, c.modifiers, c.text, c.nativeVirtualKey, c.autoRepeat);
    const RellumKeyDownOutcome outcome = outcomeOf(event, c.modes);
    EXPECT_EQ(kindName(outcome.kind), std::string(kindName(c.kind)));
    EXPECT_EQ(visible(outcome.bytes), visible(c.bytes));
}

const Qt::KeyboardModifiers kNone = Qt::NoModifier;
const Qt::KeyboardModifiers kShift = Qt::ShiftModifier;
const Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
const Qt::KeyboardModifiers kAlt = Qt::AltModifier;
const Qt::KeyboardModifiers kKeypad = Qt::KeypadModifier;
const Modes kNormal{};
const Modes kAppCursor{true, false, false, true};
const Modes kAppKeypad{false, true, false, true};
const Modes kAlternate{false, false, true, true};
const Modes kAlternateAppCursor{true, false, true, true};
const Modes kNoRepeat{false, false, false, false};

INSTANTIATE_TEST_SUITE_P(
    Cursor, RellumQtKeyClass,
    ::testing::Values(
        KeyCase{"Up", Qt::Key_Up, kNone, "", kNormal, Kind::Send, "\x1b[A"},
        KeyCase{"UpApplication", Qt::Key_Up, kNone, "", kAppCursor, Kind::Send, "\x1bOA"},
        KeyCase{"Down", Qt::Key_Down, kNone, "", kNormal, Kind::Send, "\x1b[B"},
        KeyCase{"Right", Qt::Key_Right, kNone, "", kNormal, Kind::Send, "\x1b[C"},
        KeyCase{"LeftApplication", Qt::Key_Left, kNone, "", kAppCursor, Kind::Send, "\x1bOD"},
        KeyCase{"ShiftUpSelects", Qt::Key_Up, kShift, "", kNormal, Kind::Selection, ""},
        KeyCase{"AltLeftWordBack", Qt::Key_Left, kAlt, "", kNormal, Kind::Send,
                "\x1b"
                "b"},
        KeyCase{"AltRightWordForward", Qt::Key_Right, kAlt, "", kNormal, Kind::Send,
                "\x1b"
                "f"},
        KeyCase{"AltUpAltForm", Qt::Key_Up, kAlt, "", kAppCursor, Kind::Send, "\x1b[1;3A"},
        KeyCase{"AltDownAltForm", Qt::Key_Down, kAlt, "", kNormal, Kind::Send, "\x1b[1;3B"},
        KeyCase{"ShiftPageUpPrimaryPages", Qt::Key_PageUp, kShift, "", kNormal, Kind::Selection, ""},
        KeyCase{"ShiftPageDownPrimaryPages", Qt::Key_PageDown, kShift, "", kNormal, Kind::Selection, ""},
        KeyCase{"HomePrimaryScrolls", Qt::Key_Home, kNone, "", kNormal, Kind::Scroll, ""},
        KeyCase{"HomeAlternate", Qt::Key_Home, kNone, "", kAlternate, Kind::Send, "\x1b[H"},
        KeyCase{"EndAlternateApplication", Qt::Key_End, kNone, "", kAlternateAppCursor, Kind::Send, "\x1bOF"},
        KeyCase{"KeypadUpWithoutNumLock", Qt::Key_Up, kKeypad, "", kNormal, Kind::Send, "\x1b[A"}));

INSTANTIATE_TEST_SUITE_P(
    Keypad, RellumQtKeyClass,
    ::testing::Values(
        KeyCase{"FiveNormal", Qt::Key_5, kKeypad, "5", kNormal, Kind::Send, "5"},
        KeyCase{"FiveApplication", Qt::Key_5, kKeypad, "5", kAppKeypad, Kind::Send, "\x1bOu"},
        KeyCase{"FiveByKeysymOnly", Qt::Key_5, kNone, "5", kAppKeypad, Kind::Send, "\x1bOu", kKeysymKP5},
        KeyCase{"DigitRowFiveIsNotKeypad", Qt::Key_5, kNone, "5", kAppKeypad, Kind::Send, "5"},
        KeyCase{"PlusApplication", Qt::Key_Plus, kKeypad, "+", kAppKeypad, Kind::Send, "\x1bOk"},
        KeyCase{"SlashApplication", Qt::Key_Slash, kKeypad, "/", kAppKeypad, Kind::Send, "\x1bOo"},
        KeyCase{"EnterNormal", Qt::Key_Enter, kKeypad, "\r", kNormal, Kind::Send, "\r"},
        KeyCase{"EnterApplication", Qt::Key_Enter, kKeypad, "\r", kAppKeypad, Kind::Send, "\x1bOM"},
        KeyCase{"EnterWithoutKeypadModifier", Qt::Key_Enter, kNone, "\r", kAppKeypad, Kind::Send, "\x1bOM"},
        KeyCase{"ReturnIsNotKeypad", Qt::Key_Return, kNone, "\r", kAppKeypad, Kind::Send, "\r"},
        KeyCase{"ZeroApplication", Qt::Key_0, kKeypad, "0", kAppKeypad, Kind::Send, "\x1bOp"}));

INSTANTIATE_TEST_SUITE_P(
    Editing, RellumQtKeyClass,
    ::testing::Values(
        KeyCase{"Insert", Qt::Key_Insert, kNone, "", kNormal, Kind::Send, "\x1b[2~"},
        KeyCase{"Delete", Qt::Key_Delete, kNone, "\x7f", kNormal, Kind::Send, "\x1b[3~"},
        KeyCase{"ControlDelete", Qt::Key_Delete, kCtrl, "", kNormal, Kind::Send, "\x1b[3;5~"},
        KeyCase{"ShiftInsert", Qt::Key_Insert, kShift, "", kNormal, Kind::Send, "\x1b[2;2~"},
        KeyCase{"PageUpPrimaryScrolls", Qt::Key_PageUp, kNone, "", kNormal, Kind::Scroll, ""},
        KeyCase{"PageUpAlternate", Qt::Key_PageUp, kNone, "", kAlternate, Kind::Send, "\x1b[5~"},
        KeyCase{"PageDownAlternate", Qt::Key_PageDown, kNone, "", kAlternate, Kind::Send, "\x1b[6~"},
        KeyCase{"ShiftPageUpSelects", Qt::Key_PageUp, kShift, "", kNormal, Kind::Selection, ""},
        KeyCase{"Backspace", Qt::Key_Backspace, kNone, "\b", kNormal, Kind::Send, "\x7f"},
        KeyCase{"Return", Qt::Key_Return, kNone, "\r", kNormal, Kind::Send, "\r"},
        KeyCase{"Escape", Qt::Key_Escape, kNone, "\x1b", kNormal, Kind::Send, "\x1b"},
        KeyCase{"Tab", Qt::Key_Tab, kNone, "\t", kNormal, Kind::Send, "\t"},
        KeyCase{"ShiftTab", Qt::Key_Backtab, kShift, "", kNormal, Kind::Send, "\x1b[Z"}));

INSTANTIATE_TEST_SUITE_P(
    Function, RellumQtKeyClass,
    ::testing::Values(KeyCase{"F1", Qt::Key_F1, kNone, "", kNormal, Kind::Send, "\x1bOP"},
                      KeyCase{"F4", Qt::Key_F4, kNone, "", kNormal, Kind::Send, "\x1bOS"},
                      KeyCase{"F5", Qt::Key_F5, kNone, "", kNormal, Kind::Send, "\x1b[15~"},
                      KeyCase{"ShiftF5", Qt::Key_F5, kShift, "", kNormal, Kind::Send, "\x1b[15;2~"},
                      KeyCase{"AltF1", Qt::Key_F1, kAlt, "", kNormal, Kind::Send, "\x1b[1;3P"},
                      KeyCase{"ControlF12", Qt::Key_F12, kCtrl, "", kNormal, Kind::Send, "\x1b[24;5~"},
                      KeyCase{"F20", Qt::Key_F20, kNone, "", kNormal, Kind::Send, "\x1b[34~"},
                      KeyCase{"F21HasNoSequence", Qt::Key_F21, kNone, "", kNormal, Kind::Unhandled, ""}));

INSTANTIATE_TEST_SUITE_P(
    Control, RellumQtKeyClass,
    ::testing::Values(
        KeyCase{"ControlA", Qt::Key_A, kCtrl, "\x01", kNormal, Kind::Send, "\x01"},
        KeyCase{"ControlZ", Qt::Key_Z, kCtrl, "\x1a", kNormal, Kind::Send, "\x1a"},
        KeyCase{"ControlSpace", Qt::Key_Space, kCtrl, " ", kNormal, Kind::Send, std::string(1, '\0')},
        KeyCase{"ControlTwo", Qt::Key_2, kCtrl, "", kNormal, Kind::Send, std::string(1, '\0')},
        KeyCase{"ControlShiftTwoAt", Qt::Key_At, kCtrl | kShift, "", kNormal, Kind::Send,
                std::string(1, '\0')},
        KeyCase{"ControlShiftSixCaret", Qt::Key_AsciiCircum, kCtrl | kShift, "\x1e", kNormal, Kind::Send,
                "\x1e"},
        KeyCase{"ControlBracket", Qt::Key_BracketLeft, kCtrl, "\x1b", kNormal, Kind::Send, "\x1b"},
        KeyCase{"ControlBackslash", Qt::Key_Backslash, kCtrl, "\x1c", kNormal, Kind::Send, "\x1c"},
        KeyCase{"ControlShiftASendsNothing", Qt::Key_A, kCtrl | kShift, "\x01", kNormal, Kind::Unhandled,
                ""}));

INSTANTIATE_TEST_SUITE_P(
    Alt, RellumQtKeyClass,
    ::testing::Values(
        KeyCase{"AltA", Qt::Key_A, kAlt, "a", kNormal, Kind::Send,
                "\x1b"
                "a"},
        KeyCase{"AltAWithoutText", Qt::Key_A, kAlt, "", kNormal, Kind::Send,
                "\x1b"
                "a"},
        KeyCase{"AltShiftA", Qt::Key_A, kAlt | kShift, "A", kNormal, Kind::Send,
                "\x1b"
                "A"},
        KeyCase{"AltDot", Qt::Key_Period, kAlt, ".", kNormal, Kind::Send, "\x1b."},
        KeyCase{"AltControlA", Qt::Key_A, kAlt | kCtrl, "\x01", kNormal, Kind::Send, "\x1b\x01"},
        KeyCase{"AltBackspace", Qt::Key_Backspace, kAlt, "\b", kNormal, Kind::Send, "\x1b\x7f"},
        KeyCase{"AltNonAscii", Qt::Key_Eacute, kAlt, "\xc3\xa9", kNormal, Kind::Send, "\x1b\xc3\xa9"}));

INSTANTIATE_TEST_SUITE_P(
    Text, RellumQtKeyClass,
    ::testing::Values(
        KeyCase{"Letter", Qt::Key_A, kNone, "a", kNormal, Kind::Send, "a"},
        KeyCase{"ShiftLetter", Qt::Key_A, kShift, "A", kNormal, Kind::Send, "A"},
        KeyCase{"Accented", Qt::Key_Eacute, kNone, "\xc3\xa9", kNormal, Kind::Send, "\xc3\xa9"},
        KeyCase{"AltGrEuro", 0x20AC, Qt::GroupSwitchModifier, "\xe2\x82\xac", kNormal, Kind::Send,
                "\xe2\x82\xac"},
        KeyCase{"AltGrReportedWithAlt", 0x20AC, Qt::GroupSwitchModifier | kAlt, "\xe2\x82\xac", kNormal,
                Kind::Send, "\xe2\x82\xac"},
        KeyCase{"AltGrAtSign", Qt::Key_At, Qt::GroupSwitchModifier, "@", kNormal, Kind::Send, "@"},
        KeyCase{"SuperLetterIsNotTyped", Qt::Key_A, Qt::MetaModifier, "a", kNormal, Kind::Unhandled, ""},
        KeyCase{"RepeatWhileAutoRepeatOff", Qt::Key_A, kNone, "a", kNoRepeat, Kind::Ignored, "", 0, true},
        KeyCase{"RepeatWhileAutoRepeatOn", Qt::Key_A, kNone, "a", kNormal, Kind::Send, "a", 0, true}));

TEST(RellumQtKeyInput, KeyValuesAndFlags) {
    RellumQtKeyInput up = RellumKeyInputFromQKeyEvent(keyPress(Qt::Key_Up, kShift | kCtrl, ""));
    EXPECT_EQ(up.rawChar, RellumUpArrowKey);
    EXPECT_EQ(up.modifierFlags, RellumFunctionKeyMask | RellumShiftKeyMask | RellumControlKeyMask);

    RellumQtKeyInput f35 = RellumKeyInputFromQKeyEvent(keyPress(Qt::Key_F35, kNone, ""));
    EXPECT_EQ(f35.rawChar, RellumF35Key);

    RellumQtKeyInput kp = RellumKeyInputFromQKeyEvent(keyPress(Qt::Key_5, kKeypad | kAlt, "5"));
    EXPECT_EQ(kp.rawChar, u'5');
    EXPECT_EQ(kp.modifierFlags, RellumNumericPadKeyMask | RellumOptionKeyMask);
    EXPECT_EQ(kp.characters, "5");

    RellumQtKeyInput super = RellumKeyInputFromQKeyEvent(keyPress(Qt::Key_C, Qt::MetaModifier, "c"));
    EXPECT_EQ(super.modifierFlags, RellumCommandKeyMask);

    // Control characters are never text; the key gives the character.
    RellumQtKeyInput ctrl = RellumKeyInputFromQKeyEvent(keyPress(Qt::Key_A, kCtrl, "\x01"));
    EXPECT_EQ(ctrl.rawChar, u'a');
    EXPECT_EQ(ctrl.characters, "");

    // AltGr is never Alt.
    RellumQtKeyInput altGr =
        RellumKeyInputFromQKeyEvent(keyPress(Qt::Key_BraceLeft, Qt::GroupSwitchModifier | kAlt, "{"));
    EXPECT_EQ(altGr.modifierFlags & RellumOptionKeyMask, 0u);
    EXPECT_EQ(altGr.rawChar, u'{');

    // A bare modifier key has no key value.
    EXPECT_EQ(RellumKeyInputFromQKeyEvent(keyPress(Qt::Key_Shift, kShift, "")).rawChar, 0);
    EXPECT_TRUE(RellumKeyInputFromQKeyEvent(keyPress(Qt::Key_A, kNone, "a", 0, true)).isRepeat);
}

TEST(RellumQtKeyInput, KeyBindingCommandsFromTheLinuxKeyTable) {
    const auto command = [](int key, Qt::KeyboardModifiers m, const char* text = "") {
        return RellumKeyBindingCommandForKeyInput(RellumKeyInputFromQKeyEvent(keyPress(key, m, text)));
    };
    using C = RellumKeyBindingCommand;
    EXPECT_EQ(command(Qt::Key_Return, kNone, "\r"), C::insertNewline);
    EXPECT_EQ(command(Qt::Key_Enter, kKeypad, "\r"), C::insertNewline);
    EXPECT_EQ(command(Qt::Key_Backspace, kNone, "\b"), C::deleteBackward);
    EXPECT_EQ(command(Qt::Key_Backspace, kAlt), C::deleteWordBackward);
    EXPECT_EQ(command(Qt::Key_Escape, kNone), C::cancelOperation);
    EXPECT_EQ(command(Qt::Key_Tab, kNone, "\t"), C::insertTab);
    EXPECT_EQ(command(Qt::Key_Backtab, kShift), C::insertBacktab);
    EXPECT_EQ(command(Qt::Key_Left, kAlt), C::moveWordLeft);
    EXPECT_EQ(command(Qt::Key_Right, kAlt | kShift), C::moveWordRightAndModifySelection);
    EXPECT_EQ(command(Qt::Key_Down, kShift), C::moveDownAndModifySelection);
    EXPECT_EQ(command(Qt::Key_Home, kNone), C::scrollToBeginningOfDocument);
    EXPECT_EQ(command(Qt::Key_End, kShift), C::moveToEndOfDocumentAndModifySelection);
    EXPECT_EQ(command(Qt::Key_PageDown, kNone), C::scrollPageDown);
    EXPECT_EQ(command(Qt::Key_A, kNone, "a"), std::nullopt);
    EXPECT_EQ(command(Qt::Key_Shift, kShift), std::nullopt);
}

TEST(RellumQtKeyInput, AdapterTellsTheAltKeysApartForOptionAsMeta) {
    RellumQtKeyAdapter adapter;
    RellumKeyPressHelper encoder;

    // The left Alt goes down: the encoder hears Option with the left device bit.
    const QKeyEvent leftDown = keyPress(Qt::Key_Alt, kAlt, "", kKeysymAltL, false, 64);
    const auto flags = adapter.flagsChangedFlags(leftDown);
    ASSERT_TRUE(flags);
    EXPECT_EQ(*flags & (RellumOptionKeyMask | RellumLeftOptionDeviceMask | RellumRightOptionDeviceMask),
              RellumOptionKeyMask | RellumLeftOptionDeviceMask);
    encoder.flagsChanged(*flags, /*leftOptionAsMeta=*/true, /*rightOptionAsMeta=*/false);

    // With the left Alt as Meta: keypad 5 sends ESC 5 in either keypad mode,
    // and Up sends the Meta form.
    const RellumQtKeyInput kp5 = adapter.input(keyPress(Qt::Key_5, kKeypad | kAlt, "5"));
    EXPECT_EQ(kp5.modifierFlags & RellumLeftOptionDeviceMask, RellumLeftOptionDeviceMask);
    RellumInputModes modes;
    EXPECT_EQ(RellumKeyDownOutcomeForInput(kp5, encoder, modes).bytes, "\x1b"
                                                                       "5");
    modes.applicationKeypadMode = true;
    encoder.setModes(modes);
    EXPECT_EQ(RellumKeyDownOutcomeForInput(kp5, encoder, modes).bytes, "\x1b"
                                                                       "5");
    const RellumQtKeyInput metaUp = adapter.input(keyPress(Qt::Key_Up, kAlt, ""));
    EXPECT_EQ(RellumKeyDownOutcomeForInput(metaUp, encoder, modes).bytes, "\x1b[1;9A");

    // Releasing it and holding the right Alt instead: plain Alt again (F1 gives CSI 1;3P).
    QKeyEvent leftUp(QEvent::KeyRelease, Qt::Key_Alt, kNone, 64, kKeysymAltL, 0);
    const auto released = adapter.flagsChangedFlags(leftUp);
    ASSERT_TRUE(released);
    EXPECT_EQ(*released & RellumOptionKeyMask, 0u);
    const auto rightDown =
        adapter.flagsChangedFlags(keyPress(Qt::Key_Alt, kAlt, "", kKeysymAltR, false, 108));
    ASSERT_TRUE(rightDown);
    EXPECT_EQ(*rightDown & RellumRightOptionDeviceMask, RellumRightOptionDeviceMask);
    const RellumQtKeyInput f1 = adapter.input(keyPress(Qt::Key_F1, kAlt, ""));
    EXPECT_EQ(RellumKeyDownOutcomeForInput(f1, encoder, modes).bytes, "\x1b[1;3P");

    // Other keys are no flags change.
    EXPECT_FALSE(adapter.flagsChangedFlags(keyPress(Qt::Key_A, kNone, "a")));
    // A key press without Alt clears a stale held state.
    adapter.input(keyPress(Qt::Key_A, kNone, "a"));
    EXPECT_EQ(adapter.heldAltDeviceBits(), 0u);
}

TEST(RellumQtKeyInput, TerminalClaimsControlAndAltChordsButNotApplicationShortcuts) {
    const auto claims = [](int key, Qt::KeyboardModifiers m) {
        return RellumTerminalClaimsKeyEvent(QKeyEvent(QEvent::ShortcutOverride, key, m));
    };
    EXPECT_TRUE(claims(Qt::Key_C, kCtrl));
    EXPECT_TRUE(claims(Qt::Key_W, kCtrl));
    EXPECT_TRUE(claims(Qt::Key_F, kAlt));
    EXPECT_TRUE(claims(Qt::Key_F, kAlt | kShift));
    EXPECT_TRUE(claims(Qt::Key_Tab, kNone));
    EXPECT_TRUE(claims(Qt::Key_Backtab, kShift));
    EXPECT_FALSE(claims(Qt::Key_C, kCtrl | kShift));
    EXPECT_FALSE(claims(Qt::Key_N, kCtrl | kAlt | kShift));
    EXPECT_FALSE(claims(Qt::Key_Tab, kCtrl));
    EXPECT_FALSE(claims(Qt::Key_A, Qt::MetaModifier));
    EXPECT_FALSE(claims(Qt::Key_A, kNone));
}

// A stand-in for the terminal view: claims what the terminal claims, and
// records the bytes each key press it receives would send.
class RecordingKeyView : public QWidget {
public:
    RecordingKeyView() { setFocusPolicy(Qt::StrongFocus); }
    std::vector<std::string> sent;
    RellumKeyPressHelper encoder;
    RellumInputModes modes;

protected:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::ShortcutOverride &&
            RellumTerminalClaimsKeyEvent(*static_cast<QKeyEvent*>(e))) {
            e->accept();
            return true;
        }
        return QWidget::event(e);
    }
    void keyPressEvent(QKeyEvent* e) override {
        const auto outcome = RellumKeyDownOutcomeForInput(RellumKeyInputFromQKeyEvent(*e), encoder, modes);
        if (outcome.kind == RellumKeyDownOutcome::Kind::Send) sent.push_back(outcome.bytes);
    }
};

TEST(RellumQtKeyInput, DeliveredKeysReachTheViewBeforeShortcuts) {
    QWidget window;
    auto* view = new RecordingKeyView;
    view->setParent(&window);
    int copyShortcut = 0, controlAShortcut = 0;
    auto* copy = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), &window);
    QObject::connect(copy, &QShortcut::activated, [&] { ++copyShortcut; });
    auto* selectAll = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_A), &window);
    QObject::connect(selectAll, &QShortcut::activated, [&] { ++controlAShortcut; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    view->setFocus();

    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_Up);
    QTest::keyClick(view, Qt::Key_F5, Qt::ShiftModifier);
    QTest::keyClick(view, Qt::Key_X);

    EXPECT_EQ(controlAShortcut, 0);
    EXPECT_EQ(copyShortcut, 1);
    const std::vector<std::string> expected{"\x01", "\x1b[A", "\x1b[15;2~", "x"};
    EXPECT_EQ(view->sent, expected);
}

} // namespace
