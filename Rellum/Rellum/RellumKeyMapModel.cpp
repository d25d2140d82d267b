#include "Rellum/RellumKeyMapModel.h"

const MTLModelClass& RellumKeyMapModel::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<RellumKeyMapModel>(
        "RellumKeyMapModel", &MTLModel::classDescription(),
        {
            MTLProperty::make("keycode", &RellumKeyMapModel::keycode, &RellumKeyMapModel::setKeycode),
            MTLProperty::make("modifier", &RellumKeyMapModel::modifier, &RellumKeyMapModel::setModifier),
            MTLProperty::make("sendtext", &RellumKeyMapModel::sendtext, &RellumKeyMapModel::setSendtext),
        },
        {.ignoresUnknownKeys = true});
    return c;
}

const MTLModelClass& RellumKeyModel::classDescription() {
    static const MTLModelClass c = MTLModelClass::make<RellumKeyModel>(
        "RellumKeyModel", &RellumKeyMapModel::classDescription(), {}, {.ignoresUnknownKeys = true});
    return c;
}

namespace {
// Stored mappings decode by class name.
const bool registered = [] {
    MTLRegisterModelClass<RellumKeyMapModel>();
    MTLRegisterModelClass<RellumKeyModel>();
    return true;
}();
} // namespace

RellumKeyMapModel::RellumKeyMapModel() {
    (void)registered;
    setKeycode(0xF701);
    setModifier(0x40000);
}

const std::vector<RellumKeyCodeEntry>& RellumKeyMapModel::allKeyCodes() {
    static const std::vector<RellumKeyCodeEntry> keys = [] {
        std::vector<RellumKeyCodeEntry> k;
        for (std::uint64_t n = 1; n <= 20; ++n) {
            std::string name("F");
            name += std::to_string(n);
            k.push_back({0xF704 + n - 1, name, name});
        }
        k.push_back({0xF702, "\u2190", "\u2190 Cursor Left"});
        k.push_back({0xF700, "\u2191", "\u2191 Cursor Up"});
        k.push_back({0xF703, "\u2192", "\u2192 Cursor Right"});
        k.push_back({0xF701, "\u2193", "\u2193 Cursor Down"});
        k.push_back({0xF729, "\u2196\uFE0E", "\u2196\uFE0E Home"});
        k.push_back({0xF72B, "\u2198\uFE0E", "\u2198\uFE0E End"});
        k.push_back({0xF72C, "\u21DE", "\u21DE Page Up"});
        k.push_back({0xF72D, "\u21DF", "\u21DF Page Down"});
        k.push_back({0xF728, "\u2326", "\u2326 Forward Delete"});
        k.push_back({0x7F, "\u232B", "\u232B Delete"});
        return k;
    }();
    return keys;
}

const std::vector<RellumModifierEntry>& RellumKeyMapModel::allModifiers() {
    static const std::vector<RellumModifierEntry> modifiers = {
        {0, "", "None"},
        {0x20000, "\u21E7", "\u21E7 Shift"},
        {0x80000, "\u2325", "\u2325 Option"},
        {0x40000, "\u2303", "\u2303 Control"},
        {0xA0000, "\u2325\u21E7", "\u2325 Option-Shift"},
        {0x60000, "\u2303\u21E7", "\u2303\u21E7 Control-Shift"},
        {0xC0000, "\u2303\u2325", "\u2303\u2325 Control-Option"},
        {0xE0000, "\u2303\u2325\u21E7", "\u2303\u2325\u21E7 Control-Option-Shift"},
    };
    return modifiers;
}

void RellumKeyMapModel::setKeycode(std::uint64_t keycode) {
    if (keycode == keycode_) return;
    keycode_ = keycode;
    std::string symbol, desc;
    for (const auto& entry : allKeyCodes()) {
        if (entry.keycode == keycode) {
            symbol = entry.symbol;
            desc = entry.desc;
            break;
        }
    }
    // The derived texts are what the key list shows.
    willChangeValueForKey("keyCodeSymbol");
    willChangeValueForKey("keyCodeDesc");
    keyCodeSymbol_ = std::move(symbol);
    keyCodeDesc_ = std::move(desc);
    didChangeValueForKey("keyCodeDesc");
    didChangeValueForKey("keyCodeSymbol");
}

void RellumKeyMapModel::setModifier(std::uint64_t modifier) {
    if (modifier == modifier_) return;
    modifier_ = modifier;
    std::string symbol, desc;
    for (const auto& entry : allModifiers()) {
        if (entry.modifier == modifier) {
            symbol = entry.symbol;
            desc = entry.desc;
            break;
        }
    }
    willChangeValueForKey("modifierSymbol");
    willChangeValueForKey("modifierDesc");
    modifierSymbol_ = std::move(symbol);
    modifierDesc_ = std::move(desc);
    didChangeValueForKey("modifierDesc");
    didChangeValueForKey("modifierSymbol");
}

void RellumKeyMapModel::setSendtext(std::optional<std::string> sendtext) {
    // Only two equal texts are no change; nil never equals anything, so the
    // first assignment always tokenizes.
    if (sendtext_ && sendtext && *sendtext_ == *sendtext) return;
    auto tokens = RellumEscapeToken::tokensFromString(sendtext ? *sendtext : std::string());
    sendtext_ = std::move(sendtext);
    willChangeValueForKey("sendTokens");
    sendTokens_ = std::move(tokens);
    didChangeValueForKey("sendTokens");
}
