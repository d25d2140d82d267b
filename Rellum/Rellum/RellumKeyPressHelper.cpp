#include "Rellum/RellumKeyPressHelper.h"

#include "Rellum/Categories/RellumUTF8.h"

#include <algorithm>
#include <cmath>

namespace {

const std::string ESC = "\x1b";
const std::string CSI = "\x1b[";
const std::string SS3 = "\x1bO";

// Fills the "%u" placeholder of a modified form with the modifier parameter.
std::string formatModified(const std::string& form, unsigned parameter) {
    std::string out = form;
    const auto at = out.find("%u");
    if (at != std::string::npos) out.replace(at, 2, std::to_string(parameter));
    return out;
}

bool isPrivateFunctionCharacter(char16_t c) {
    return c >= 0xF700 && c <= 0xF8FF;
}
bool isSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

} // namespace

const std::map<char16_t, RellumCursorKeyForms>& RellumGetCursorKeyTable() {
    static const std::map<char16_t, RellumCursorKeyForms> table = [] {
        std::map<char16_t, RellumCursorKeyForms> t;
        const std::pair<char16_t, char> keys[] = {
            {RellumUpArrowKey, 'A'},   {RellumDownArrowKey, 'B'}, {RellumRightArrowKey, 'C'},
            {RellumLeftArrowKey, 'D'}, {RellumHomeKey, 'H'},      {RellumEndKey, 'F'},
        };
        for (const auto& [code, final] : keys)
            t[code] = {CSI + final, SS3 + final, CSI + "1;%u" + final};
        return t;
    }();
    return table;
}

const std::map<char16_t, std::string>& RellumGetKeypadKeyTable() {
    static const std::map<char16_t, std::string> table = [] {
        std::map<char16_t, std::string> t;
        t[u' '] = SS3 + " ";
        t[u'\t'] = SS3 + "I";
        t[u'\n'] = SS3 + "M";
        t[u'\r'] = SS3 + "M";
        const char16_t operators[] = u"*+,-./";
        for (int i = 0; i < 6; ++i)
            t[operators[i]] = SS3 + static_cast<char>('j' + i);
        for (int i = 0; i < 10; ++i)
            t[static_cast<char16_t>(u'0' + i)] = SS3 + static_cast<char>('p' + i);
        t[u'='] = SS3 + "X";
        return t;
    }();
    return table;
}

const std::map<char16_t, RellumKeyForms>& RellumGetEditingKeyTable() {
    static const std::map<char16_t, RellumKeyForms> table = [] {
        std::map<char16_t, RellumKeyForms> t;
        const std::pair<char16_t, int> keys[] = {
            {RellumInsertKey, 2}, {RellumDeleteForwardKey, 3}, {RellumPageUpKey, 5}, {RellumPageDownKey, 6}};
        for (const auto& [code, n] : keys) {
            const std::string number = std::to_string(n);
            t[code] = {CSI + number + "~", CSI + number + ";%u~"};
        }
        return t;
    }();
    return table;
}

const std::map<char16_t, RellumKeyForms>& RellumGetFunctionKeyTable() {
    static const std::map<char16_t, RellumKeyForms> table = [] {
        std::map<char16_t, RellumKeyForms> t;
        const char finals[] = "PQRS";
        for (int i = 0; i < 4; ++i)
            t[static_cast<char16_t>(RellumF1Key + i)] = {SS3 + finals[i], CSI + "1;%u" + finals[i]};
        const int numbers[] = {15, 17, 18, 19, 20, 21, 23, 24, 25, 26, 28, 29, 31, 32, 33, 34};
        for (int i = 0; i < 16; ++i) {
            const std::string number = std::to_string(numbers[i]);
            t[static_cast<char16_t>(RellumF1Key + 4 + i)] = {CSI + number + "~", CSI + number + ";%u~"};
        }
        return t;
    }();
    return table;
}

std::optional<std::string> RellumGetControlCharacter(char16_t c) {
    if (c >= u'a' && c <= u'z') return std::string(1, static_cast<char>(c - u'a' + 1));
    switch (c) {
    case u' ':
    case u'2':
    case u'@':
        return std::string(1, '\0');
    case u'[':
        return std::string("\x1b");
    case u'\\':
        return std::string("\x1c");
    case u']':
        return std::string("\x1d");
    case u'6':
    case u'^':
        return std::string("\x1e");
    case u'-':
    case u'_':
        return std::string("\x1f");
    default:
        return std::nullopt;
    }
}

std::optional<std::string> RellumGetCursorKeySequence(char16_t keyCode, bool applicationMode) {
    const auto& table = RellumGetCursorKeyTable();
    const auto it = table.find(keyCode);
    if (it == table.end()) return std::nullopt;
    return applicationMode ? it->second.application : it->second.normal;
}

unsigned RellumKeyPressHelper::modifierCode(std::uint64_t flags) const {
    unsigned code = 0;
    if (flags & RellumShiftKeyMask) code |= ShiftBit;
    if (optionKeyMask_ != 0 && (flags & optionKeyMask_) == optionKeyMask_) code |= AltBit;
    if (flags & RellumControlKeyMask) code |= ControlBit;
    if (metaKeyMask_ != 0 && (flags & metaKeyMask_) == metaKeyMask_) code |= MetaBit;
    return code;
}

std::optional<std::string> RellumKeyPressHelper::ordinaryKey(unsigned code, char16_t rawChar,
                                                             std::string_view characters) const {
    if (code == ControlBit || code == (ControlBit | ShiftBit)) return RellumGetControlCharacter(rawChar);

    if ((code & MetaBit) && !(code & ControlBit)) {
        // ESC and the whole character: a non-ASCII character goes as UTF-8,
        // never cut down to its low eight bits.
        if (isPrivateFunctionCharacter(rawChar)) return std::nullopt;
        if (isSurrogate(rawChar)) {
            if (characters.empty()) return std::nullopt;
            return ESC + std::string(characters);
        }
        return ESC + rellum_detail::utf8(rawChar);
    }

    if ((code & AltBit) && !(code & MetaBit)) {
        // Alt as Linux terminals use it: ESC and then what the key types.
        std::string text(characters);
        if (text.empty()) {
            if (code & ControlBit) {
                text = RellumGetControlCharacter(rawChar).value_or(std::string());
            } else if (rawChar != 0 && !isPrivateFunctionCharacter(rawChar) && !isSurrogate(rawChar)) {
                text = rellum_detail::utf8(rawChar);
            }
        }
        if (text.empty()) return std::nullopt;
        return ESC + text;
    }
    return std::nullopt;
}

std::optional<std::string> RellumKeyPressHelper::sequenceForModifierFlags(std::uint64_t flags,
                                                                          char16_t rawChar,
                                                                          std::string_view characters) const {
    if (flags & RellumCommandKeyMask) return std::nullopt;
    const unsigned code = modifierCode(flags);

    if (!(flags & (RellumNumericPadKeyMask | RellumFunctionKeyMask)))
        return ordinaryKey(code, rawChar, characters);

    const auto& cursorKeys = RellumGetCursorKeyTable();
    if (const auto it = cursorKeys.find(rawChar); it != cursorKeys.end()) {
        if (code & MetaBit) return formatModified(it->second.modified, code + 1);
        // Linux Alt on Up and Down is the tables' Alt modifier, as on the
        // function keys; with Left and Right it stays the view's word moves.
        const bool upOrDown = rawChar == RellumUpArrowKey || rawChar == RellumDownArrowKey;
        if (upOrDown && (code & AltBit) && !(code & ControlBit))
            return formatModified(it->second.modified, code + 1);
        if (code != 0) return std::nullopt;
        return applicationCursorKeyMode_ ? it->second.application : it->second.normal;
    }

    const auto& editingKeys = RellumGetEditingKeyTable();
    if (const auto it = editingKeys.find(rawChar); it != editingKeys.end())
        return code == 0 ? it->second.plain : formatModified(it->second.modified, code + 1);

    if (rawChar >= RellumF1Key && rawChar <= RellumF35Key) {
        const auto& functionKeys = RellumGetFunctionKeyTable();
        const auto it = functionKeys.find(rawChar);
        if (it == functionKeys.end()) return std::nullopt;
        return code == 0 ? it->second.plain : formatModified(it->second.modified, code + 1);
    }

    const auto& keypadKeys = RellumGetKeypadKeyTable();
    if (const auto it = keypadKeys.find(rawChar); it != keypadKeys.end()) {
        if (code & MetaBit) return ESC + static_cast<char>(rawChar & 0xFF);
        if (!applicationKeypadMode_) return std::nullopt;
        return it->second;
    }

    return ordinaryKey(code, rawChar, characters);
}

std::optional<std::string> RellumKeyPressHelper::sequenceScrollWheelWithDeltaY(double deltaY,
                                                                               std::uint64_t flags) const {
    if (deltaY == 0 || std::isnan(deltaY)) return std::nullopt;
    const char16_t key = deltaY > 0 ? RellumUpArrowKey : RellumDownArrowKey;
    const auto sequence = sequenceForModifierFlags(flags | RellumFunctionKeyMask, key);
    // A wheel event carries a few steps at most; the cap keeps a bogus delta
    // from building a huge string.
    const double steps = std::min(std::floor(std::fabs(deltaY) + 0.5), 10000.0);
    std::string out;
    if (!sequence || sequence->empty()) return out;
    for (long i = 0; i < static_cast<long>(steps); ++i)
        out += *sequence;
    return out;
}

void RellumKeyPressHelper::setModes(const RellumInputModes& modes) {
    applicationCursorKeyMode_ = modes.applicationCursorKeyMode;
    applicationKeypadMode_ = modes.applicationKeypadMode;
}

void RellumKeyPressHelper::flagsChanged(std::uint64_t flags, bool leftOptionAsMeta, bool rightOptionAsMeta) {
    if (!(flags & RellumOptionKeyMask)) return;
    if (!leftOptionAsMeta && !rightOptionAsMeta) {
        optionKeyMask_ = RellumOptionKeyMask;
        metaKeyMask_ = 0;
    } else if (leftOptionAsMeta && !rightOptionAsMeta) {
        optionKeyMask_ = RellumOptionKeyMask | RellumRightOptionDeviceMask;
        metaKeyMask_ = RellumOptionKeyMask | RellumLeftOptionDeviceMask;
    } else if (!leftOptionAsMeta && rightOptionAsMeta) {
        optionKeyMask_ = RellumOptionKeyMask | RellumLeftOptionDeviceMask;
        metaKeyMask_ = RellumOptionKeyMask | RellumRightOptionDeviceMask;
    } else {
        optionKeyMask_ = 0;
        metaKeyMask_ = RellumOptionKeyMask;
    }
}

RellumKeyDownRoute RellumRouteKeyDown(char16_t rawChar, bool isRepeat, const RellumInputModes& modes) {
    if (isRepeat && !modes.autoRepeatMode) return RellumKeyDownRoute::Ignore;
    if (!modes.alternateScreenMode && (rawChar == RellumHomeKey || rawChar == RellumEndKey ||
                                       rawChar == RellumPageUpKey || rawChar == RellumPageDownKey))
        return RellumKeyDownRoute::Platform;
    return RellumKeyDownRoute::Encoder;
}
