#pragma once

#include "Rellum/RellumInputModes.h"
#include "Rellum/RellumKeyBindingCommand.h"
#include "Rellum/RellumKeyPressHelper.h"

#include <QKeyEvent>

#include <cstdint>
#include <optional>
#include <string>

// A Qt key press as the terminal core takes it.
struct RellumQtKeyInput {
    // The key's character without Control or Alt (Shift included), or its
    // function-key value (0xF700...) for cursor, editing and function keys;
    // 0 when the key has neither (a bare modifier key, a media key).
    char16_t rawChar = 0;
    // Shift, Control, Option (Alt), Command (Super), numeric pad and function
    // key flags, plus the device bit of the Alt key that is held when known.
    std::uint64_t modifierFlags = 0;
    // The printable text the key types (UTF-8); never a control character.
    std::string characters;
    bool isRepeat = false;
};

// Qt's modifier state as the core's modifier flags. AltGr (group switch) is not
// Alt: text composed with it is plain text.
std::uint64_t RellumModifierFlagsFromQt(Qt::KeyboardModifiers modifiers);

// Turns a key event into the core's key value, modifier flags and text.
// `heldAltDeviceBits` are the device bits (left 0x20, right 0x40) of the Alt
// keys known to be held; they join the flags when Alt is held.
RellumQtKeyInput RellumKeyInputFromQKeyEvent(const QKeyEvent& event, std::uint64_t heldAltDeviceBits = 0);

// Keeps track of which Alt keys are down, from the key events of the modifier
// keys themselves, so that key presses carry the left and right device bits
// the key encoder's Option-as-Meta masks look at.
class RellumQtKeyAdapter {
public:
    // Call for every key press and release the view receives.
    RellumQtKeyInput input(const QKeyEvent& event);

    // When the event is an Alt key going down or up: the flags the view hands
    // to the key encoder's flagsChanged (Option with the held keys' device
    // bits while one is down, no Option once both are up).
    std::optional<std::uint64_t> flagsChangedFlags(const QKeyEvent& event);

    std::uint64_t heldAltDeviceBits() const { return heldAlt_; }

private:
    void track(const QKeyEvent& event);
    std::uint64_t heldAlt_ = 0;
};

// The view's key-binding command for a key press the encoder produced nothing for.
std::optional<RellumKeyBindingCommand> RellumKeyBindingCommandForKeyInput(const RellumQtKeyInput& input);

// What the view does with one key press, after the encoder, its key-binding
// commands and typed text have had their say, in that order.
struct RellumKeyDownOutcome {
    enum class Kind {
        Ignored,   // a repeat while the host has turned auto-repeat off, or a command that does nothing
        Send,      // write `bytes` to the terminal
        Scroll,    // scroll the view by `command`
        Selection, // extend the selection by `command`
        Unhandled, // nothing for the terminal: leave the event to Qt
    };
    Kind kind = Kind::Unhandled;
    std::string bytes;
    std::optional<RellumKeyBindingCommand> command;
};

RellumKeyDownOutcome RellumKeyDownOutcomeForInput(const RellumQtKeyInput& input,
                                                  const RellumKeyPressHelper& encoder,
                                                  const RellumInputModes& modes);

// Whether the terminal view claims a key before Qt's shortcuts and focus
// chain see it: Tab and Shift+Tab, Control and Alt chords; not the Ctrl+Shift
// and Ctrl+Alt+Shift chords the application uses for its own shortcuts, nor
// chords with Super.
bool RellumTerminalClaimsKeyEvent(const QKeyEvent& event);
