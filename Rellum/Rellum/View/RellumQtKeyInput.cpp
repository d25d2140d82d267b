#include "Rellum/View/RellumQtKeyInput.h"

#include "Rellum/RellumKeyCodes.h"

#include <QChar>
#include <QString>

namespace {

// X keysyms, which Qt's xcb and Wayland back ends report as the native
// virtual key: they tell the two Alt keys and the keypad apart.
constexpr quint32 kKeysymAltL = 0xffe9;
constexpr quint32 kKeysymAltR = 0xffea;
constexpr quint32 kKeysymMetaL = 0xffe7;
constexpr quint32 kKeysymMetaR = 0xffe8;
constexpr quint32 kKeysymLevel3Shift = 0xfe03; // AltGr
constexpr quint32 kKeysymKeypadFirst = 0xff80; // KP_Space
constexpr quint32 kKeysymKeypadLast = 0xffbd;  // KP_Equal
// evdev scan codes as X numbers them, for when no keysym is given.
constexpr quint32 kScanCodeAltL = 64;
constexpr quint32 kScanCodeAltR = 108;

constexpr char16_t kClearLineKey = 0xF739;
constexpr char16_t kHelpKey = 0xF746;

bool isKeypadKeysym(quint32 keysym) {
    return keysym >= kKeysymKeypadFirst && keysym <= kKeysymKeypadLast;
}

// The function-key value of a special key, or 0.
char16_t functionKeyValue(int key) {
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return static_cast<char16_t>(RellumF1Key + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Up:
        return RellumUpArrowKey;
    case Qt::Key_Down:
        return RellumDownArrowKey;
    case Qt::Key_Left:
        return RellumLeftArrowKey;
    case Qt::Key_Right:
        return RellumRightArrowKey;
    case Qt::Key_Insert:
        return RellumInsertKey;
    case Qt::Key_Delete:
        return RellumDeleteForwardKey;
    case Qt::Key_Home:
        return RellumHomeKey;
    case Qt::Key_End:
        return RellumEndKey;
    case Qt::Key_PageUp:
        return RellumPageUpKey;
    case Qt::Key_PageDown:
        return RellumPageDownKey;
    case Qt::Key_Clear:
        return kClearLineKey;
    case Qt::Key_Help:
        return kHelpKey;
    default:
        return 0;
    }
}

// The character of a plain key that has no printable text of its own.
char16_t plainKeyValue(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return RellumCarriageReturnCharacter;
    case Qt::Key_Tab:
        return RellumTabCharacter;
    case Qt::Key_Backtab:
        return RellumBackTabCharacter;
    case Qt::Key_Backspace:
        return RellumBackspaceCharacter;
    case Qt::Key_Escape:
        return RellumEscapeCharacter;
    case Qt::Key_Space:
        return u' ';
    default:
        return 0;
    }
}

bool isControlCharacter(char16_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

bool isPrintable(const QString& text) {
    if (text.isEmpty()) return false;
    for (const QChar c : text)
        if (isControlCharacter(c.unicode())) return false;
    return true;
}

bool isAltKey(const QKeyEvent& event) {
    return event.key() == Qt::Key_Alt || event.nativeVirtualKey() == kKeysymAltL ||
           event.nativeVirtualKey() == kKeysymAltR;
}

// Device bit of an Alt key event: from its keysym, else its scan code; the
// left key when neither says.
std::uint64_t altDeviceBit(const QKeyEvent& event) {
    const quint32 keysym = event.nativeVirtualKey();
    if (keysym == kKeysymAltR || keysym == kKeysymMetaR) return RellumRightOptionDeviceMask;
    if (keysym == kKeysymAltL || keysym == kKeysymMetaL) return RellumLeftOptionDeviceMask;
    if (event.nativeScanCode() == kScanCodeAltR) return RellumRightOptionDeviceMask;
    if (event.nativeScanCode() == kScanCodeAltL) return RellumLeftOptionDeviceMask;
    return RellumLeftOptionDeviceMask;
}

} // namespace

std::uint64_t RellumModifierFlagsFromQt(Qt::KeyboardModifiers modifiers) {
    std::uint64_t flags = 0;
    if (modifiers & Qt::ShiftModifier) flags |= RellumShiftKeyMask;
    if (modifiers & Qt::ControlModifier) flags |= RellumControlKeyMask;
    // AltGr composes text; only a real Alt is the Option key.
    if ((modifiers & Qt::AltModifier) && !(modifiers & Qt::GroupSwitchModifier)) flags |= RellumOptionKeyMask;
    if (modifiers & Qt::MetaModifier) flags |= RellumCommandKeyMask;
    if (modifiers & Qt::KeypadModifier) flags |= RellumNumericPadKeyMask;
    return flags;
}

RellumQtKeyInput RellumKeyInputFromQKeyEvent(const QKeyEvent& event, std::uint64_t heldAltDeviceBits) {
    RellumQtKeyInput input;
    input.isRepeat = event.isAutoRepeat();
    input.modifierFlags = RellumModifierFlagsFromQt(event.modifiers());
    if (isKeypadKeysym(event.nativeVirtualKey())) input.modifierFlags |= RellumNumericPadKeyMask;
    if (input.modifierFlags & RellumOptionKeyMask)
        input.modifierFlags |= heldAltDeviceBits & (RellumLeftOptionDeviceMask | RellumRightOptionDeviceMask);

    const QString text = event.text();
    if (isPrintable(text)) input.characters = text.toStdString();

    const int key = event.key();
    if (const char16_t value = functionKeyValue(key)) {
        input.rawChar = value;
        input.modifierFlags |= RellumFunctionKeyMask;
        return input;
    }
    if (const char16_t value = plainKeyValue(key)) {
        input.rawChar = value;
        // Qt's Enter is the keypad's, whether or not the back end says so.
        if (key == Qt::Key_Enter) input.modifierFlags |= RellumNumericPadKeyMask;
        return input;
    }
    // The key's own character: its text when that is printable (it has Shift
    // and the layout applied), else the key code, which Qt gives in upper case.
    if (!input.characters.empty()) {
        input.rawChar = text.at(0).unicode();
        return input;
    }
    if (key > 0 && key <= 0xFFFF && !QChar::isSurrogate(static_cast<char32_t>(key))) {
        const QChar c(static_cast<char16_t>(key));
        input.rawChar =
            (input.modifierFlags & RellumShiftKeyMask) ? c.toUpper().unicode() : c.toLower().unicode();
    }
    return input;
}

void RellumQtKeyAdapter::track(const QKeyEvent& event) {
    if (!isAltKey(event)) return;
    const std::uint64_t bit = altDeviceBit(event);
    if (event.type() == QEvent::KeyPress)
        heldAlt_ |= bit;
    else if (event.type() == QEvent::KeyRelease && !event.isAutoRepeat())
        heldAlt_ &= ~bit;
}

RellumQtKeyInput RellumQtKeyAdapter::input(const QKeyEvent& event) {
    track(event);
    // Releasing Alt elsewhere (another window had focus) leaves no press here
    // to clear it; the event's own modifiers are the truth.
    if (!(event.modifiers() & Qt::AltModifier) && !isAltKey(event)) heldAlt_ = 0;
    return RellumKeyInputFromQKeyEvent(event, heldAlt_);
}

std::optional<std::uint64_t> RellumQtKeyAdapter::flagsChangedFlags(const QKeyEvent& event) {
    if (!isAltKey(event) || event.key() == Qt::Key_AltGr || event.nativeVirtualKey() == kKeysymLevel3Shift)
        return std::nullopt;
    track(event);
    std::uint64_t flags = RellumModifierFlagsFromQt(event.modifiers()) & ~RellumOptionKeyMask;
    if (heldAlt_) flags |= RellumOptionKeyMask | heldAlt_;
    return flags;
}

std::optional<RellumKeyBindingCommand> RellumKeyBindingCommandForKeyInput(const RellumQtKeyInput& input) {
    if (input.rawChar == 0) return std::nullopt;
    return RellumKeyBindingCommandForKey(input.modifierFlags, input.rawChar);
}

RellumKeyDownOutcome RellumKeyDownOutcomeForInput(const RellumQtKeyInput& input,
                                                  const RellumKeyPressHelper& encoder,
                                                  const RellumInputModes& modes) {
    using Kind = RellumKeyDownOutcome::Kind;
    RellumKeyDownOutcome outcome;
    const RellumKeyDownRoute route = RellumRouteKeyDown(input.rawChar, input.isRepeat, modes);
    if (route == RellumKeyDownRoute::Ignore) {
        outcome.kind = Kind::Ignored;
        return outcome;
    }
    if (route == RellumKeyDownRoute::Encoder && input.rawChar != 0) {
        auto bytes = encoder.sequenceForModifierFlags(input.modifierFlags, input.rawChar, input.characters);
        if (bytes && !bytes->empty()) {
            outcome.kind = Kind::Send;
            outcome.bytes = std::move(*bytes);
            return outcome;
        }
    }
    if (const auto command = RellumKeyBindingCommandForKeyInput(input)) {
        outcome.command = command;
        const RellumKeyBindingResult result = RellumKeyBindingCommandResult(*command, modes);
        switch (result.action) {
        case RellumKeyBindingAction::Send:
            // A command whose key sends nothing in this mode does nothing.
            outcome.kind = result.bytes.empty() ? Kind::Ignored : Kind::Send;
            outcome.bytes = result.bytes;
            break;
        case RellumKeyBindingAction::Ignore:
            outcome.kind = Kind::Ignored;
            break;
        case RellumKeyBindingAction::Scroll:
            outcome.kind = Kind::Scroll;
            break;
        case RellumKeyBindingAction::Selection:
            outcome.kind = Kind::Selection;
            break;
        }
        return outcome;
    }
    // Typed text; chords with Super are the desktop's or the application's.
    if (route == RellumKeyDownRoute::Encoder && !input.characters.empty() &&
        !(input.modifierFlags & RellumCommandKeyMask)) {
        outcome.kind = Kind::Send;
        outcome.bytes = input.characters;
    }
    return outcome;
}

bool RellumTerminalClaimsKeyEvent(const QKeyEvent& event) {
    const Qt::KeyboardModifiers m = event.modifiers();
    if (m & Qt::MetaModifier) return false;
    const bool control = m & Qt::ControlModifier;
    const bool shift = m & Qt::ShiftModifier;
    const bool alt = (m & Qt::AltModifier) && !(m & Qt::GroupSwitchModifier);
    if (event.key() == Qt::Key_Tab || event.key() == Qt::Key_Backtab) return !control;
    if (control && shift) return false;
    return control || alt;
}
