#include "Rellum/Scanner/RellumScannerParameters.h"

bool RellumScanUInteger(std::string_view text, uint64_t* value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    uint64_t v = 0;
    for (size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + static_cast<uint64_t>(text[i] - '0');
        if (v > RellumScannerParameterMax) v = RellumScannerParameterMax; // clamped: never overflows
    }
    *value = v;
    return true;
}

uint64_t RellumScanNumericParameter(std::string_view text, uint64_t defaultValue, bool zeroIsDefault) {
    if (text.empty()) return defaultValue;
    uint64_t value = 0;
    if (!RellumScanUInteger(text, &value)) return RellumNotFound;
    return value == 0 && zeroIsDefault ? defaultValue : value;
}

bool RellumScanParameterListInto(std::string_view text, uint64_t defaultValue, bool zeroIsDefault,
                                 size_t count, RellumParameterList* list) {
    // One pass over the text: this runs for every control sequence.
    list->clear();
    const size_t n = text.size();
    size_t i = 0;
    for (;;) {
        uint64_t value = defaultValue;
        if (i < n && text[i] != ';') {
            unsigned digit = static_cast<unsigned char>(text[i]) - '0';
            if (digit > 9) return false;
            value = 0;
            while (i < n && (digit = static_cast<unsigned char>(text[i]) - '0') <= 9) {
                value = value * 10 + digit;
                if (value > RellumScannerParameterMax) value = RellumScannerParameterMax;
                ++i;
            }
            if (value == 0 && zeroIsDefault) value = defaultValue;
            while (i < n && text[i] != ';')
                ++i; // what follows the digits is not read
        }
        if (!list->push_back(value)) break; // parameters past the bound are ignored
        if (i >= n) break;
        ++i;
    }
    if (count > 0) {
        const size_t have = list->size();
        if (have > count) {
            RellumParameterList fitted;
            for (size_t k = 0; k < count; ++k)
                fitted.push_back((*list)[k]);
            *list = fitted;
        } else {
            for (size_t k = have; k < count; ++k)
                list->push_back(defaultValue);
        }
    }
    return true;
}

std::optional<RellumParameterList> RellumScanParameterList(std::string_view text, uint64_t defaultValue,
                                                           bool zeroIsDefault, size_t count) {
    RellumParameterList list;
    if (!RellumScanParameterListInto(text, defaultValue, zeroIsDefault, count, &list)) return std::nullopt;
    return list;
}
