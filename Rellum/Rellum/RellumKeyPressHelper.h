#pragma once

#include "Rellum/RellumInputModes.h"
#include "Rellum/RellumKeyCodes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

// The three forms of a cursor key: normal mode, application mode, and the
// modified form whose "%u" is replaced by the modifier parameter.
struct RellumCursorKeyForms {
    std::string normal;
    std::string application;
    std::string modified;
};

// The plain and the modified form ("%u" placeholder) of an editing or function key.
struct RellumKeyForms {
    std::string plain;
    std::string modified;
};

// Lookup tables, built once and kept for the life of the process.
const std::map<char16_t, RellumCursorKeyForms>& RellumGetCursorKeyTable();
const std::map<char16_t, std::string>& RellumGetKeypadKeyTable();
const std::map<char16_t, RellumKeyForms>& RellumGetEditingKeyTable();
const std::map<char16_t, RellumKeyForms>& RellumGetFunctionKeyTable();

// The byte a Control chord of `character` sends, or nothing.
std::optional<std::string> RellumGetControlCharacter(char16_t character);

// The cursor key's application form (flag set) or normal form; nothing for a
// key that is not a cursor key.
std::optional<std::string> RellumGetCursorKeySequence(char16_t keyCode, bool applicationMode);

// Where the view sends a key-down before anything else.
enum class RellumKeyDownRoute {
    Ignore,   // an automatic repeat while the host turned auto-repeat off
    Platform, // Home, End and the page keys in the primary screen: they scroll the view
    Encoder,  // ask the key encoder, then the view's own key handling
};
RellumKeyDownRoute RellumRouteKeyDown(char16_t rawChar, bool isRepeat, const RellumInputModes& modes);

// The key encoder: turns a key press into the bytes for the host, or answers
// nothing so that the view's own key handling (text, key-binding commands) runs.
class RellumKeyPressHelper {
public:
    // Modifier code bits; the modifier parameter of a modified sequence is code + 1.
    static constexpr unsigned ShiftBit = 1;
    static constexpr unsigned AltBit = 2;
    static constexpr unsigned ControlBit = 4;
    static constexpr unsigned MetaBit = 8;

    // Encodes one key press. `flags` are the event's modifier flags, `rawChar`
    // the key's character without modifiers (function-key values for special
    // keys), `characters` the text the key produces (UTF-8), used when Alt
    // prefixes an ordinary key with ESC; when empty, `rawChar` stands in.
    std::optional<std::string> sequenceForModifierFlags(std::uint64_t flags, char16_t rawChar,
                                                        std::string_view characters = {}) const;

    // The wheel in the alternate screen as cursor Up (delta above 0) or Down
    // keys, repeated by the rounded size of the delta. Nothing for a zero delta;
    // empty when the key encodes to nothing or rounds to no steps.
    std::optional<std::string> sequenceScrollWheelWithDeltaY(double deltaY, std::uint64_t flags) const;

    // The modifier code of an event's flags under the current Option masks.
    unsigned modifierCode(std::uint64_t flags) const;

    // Copies the two key modes from the view's context copy.
    void setModes(const RellumInputModes& modes);

    // A flags-changed event: when it carries Option, the masks follow whether
    // the left and the right Option key act as Meta.
    void flagsChanged(std::uint64_t flags, bool leftOptionAsMeta, bool rightOptionAsMeta);

    bool applicationKeypadMode() const { return applicationKeypadMode_; }
    void setApplicationKeypadMode(bool on) { applicationKeypadMode_ = on; }
    bool applicationCursorKeyMode() const { return applicationCursorKeyMode_; }
    void setApplicationCursorKeyMode(bool on) { applicationCursorKeyMode_ = on; }
    std::uint64_t optionKeyMask() const { return optionKeyMask_; }
    void setOptionKeyMask(std::uint64_t mask) { optionKeyMask_ = mask; }
    std::uint64_t metaKeyMask() const { return metaKeyMask_; }
    void setMetaKeyMask(std::uint64_t mask) { metaKeyMask_ = mask; }

private:
    std::optional<std::string> ordinaryKey(unsigned code, char16_t rawChar,
                                           std::string_view characters) const;

    bool applicationKeypadMode_ = false;
    bool applicationCursorKeyMode_ = false;
    std::uint64_t optionKeyMask_ = RellumOptionKeyMask;
    std::uint64_t metaKeyMask_ = 0;
};
