#pragma once

#include "Mantle/MTLModel.h"
#include "Rellum/RellumEscapeToken.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One row of the key catalogue.
struct RellumKeyCodeEntry {
    std::uint64_t keycode;
    std::string symbol;
    std::string desc;
};

// One row of the modifier catalogue.
struct RellumModifierEntry {
    std::uint64_t modifier;
    std::string symbol;
    std::string desc;
};

// One key mapping: a key with one combination of modifiers, and the text to
// send for it, written with backslash escapes. Persisted keys: "keycode",
// "modifier", "sendtext"; the symbols, descriptions and tokens are derived.
// Values given for keys the model does not have are ignored.
class RellumKeyMapModel : public MTLModel {
    MTL_MODEL_DECLARE(RellumKeyMapModel)

public:
    // Down arrow with Control, no text.
    RellumKeyMapModel();

    // The fixed catalogues, in display order: F1-F20, the cursor, page and
    // delete keys; and the eight modifier combinations of Shift, Option, Control.
    static const std::vector<RellumKeyCodeEntry>& allKeyCodes();
    static const std::vector<RellumModifierEntry>& allModifiers();

    std::uint64_t keycode() const { return keycode_; }
    // Also looks the key up in the catalogue ("" symbols when it is not there).
    void setKeycode(std::uint64_t keycode);
    std::uint64_t modifier() const { return modifier_; }
    void setModifier(std::uint64_t modifier);
    const std::optional<std::string>& sendtext() const { return sendtext_; }
    // Tokenizes the text anew unless it equals the current one.
    void setSendtext(std::optional<std::string> sendtext);

    const std::string& keyCodeSymbol() const { return keyCodeSymbol_; }
    const std::string& keyCodeDesc() const { return keyCodeDesc_; }
    const std::string& modifierSymbol() const { return modifierSymbol_; }
    const std::string& modifierDesc() const { return modifierDesc_; }
    // The send text as literal runs and escape tokens; nothing until a text is set.
    const std::optional<std::vector<RellumEscapeToken::Element>>& sendTokens() const { return sendTokens_; }

private:
    std::uint64_t keycode_ = 0;
    std::uint64_t modifier_ = 0;
    std::optional<std::string> sendtext_;
    std::string keyCodeSymbol_;
    std::string keyCodeDesc_;
    std::string modifierSymbol_;
    std::string modifierDesc_;
    std::optional<std::vector<RellumEscapeToken::Element>> sendTokens_;
};

// An earlier name of the key mapping; no code creates one.
class RellumKeyModel : public RellumKeyMapModel {
    MTL_MODEL_DECLARE(RellumKeyModel)
};
