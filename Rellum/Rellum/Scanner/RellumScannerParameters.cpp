#include "Rellum/Scanner/RellumScannerParameters.h"

#include <algorithm>

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

bool RellumScanSGRParameterListInto(std::string_view text, RellumParameterList* list) {
    list->clear();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const end = p + text.size();
    // One piece up to ";" or ":": its value (0 when empty) and whether it
    // had digits; false when it starts with anything else.
    auto piece = [&](uint64_t* value, bool* has) {
        uint64_t v = 0;
        unsigned digit;
        *has = p < end && (digit = unsigned(*p) - '0') <= 9;
        if (*has) {
            do {
                v = std::min<uint64_t>(v * 10 + digit, RellumScannerParameterMax);
                ++p;
            } while (p < end && (digit = unsigned(*p) - '0') <= 9);
        } else if (p < end && *p != ';' && *p != ':') {
            return false;
        }
        while (p < end && *p != ';' && *p != ':')
            ++p; // what follows the digits is not read
        *value = v;
        return true;
    };
    constexpr size_t kPieces = 8;
    for (;;) {
        uint64_t first = 0;
        bool present = false;
        if (!piece(&first, &present)) return false;
        bool room = true;
        if (p >= end || *p != ':') {
            // The common field: one value.
            room = list->push_back(first);
        } else {
            // A value with ":" sub-parameters after it (an empty piece is absent).
            uint64_t values[kPieces] = {first};
            bool has[kPieces] = {present};
            size_t count = 1;
            while (p < end && *p == ':') {
                ++p;
                uint64_t value = 0;
                bool got = false;
                if (!piece(&value, &got)) return false;
                if (count < kPieces) {
                    values[count] = value;
                    has[count] = got;
                }
                ++count;
            }
            if (present && (first == 38 || first == 48)) {
                // Extended colours in the colon form become the semicolon form
                // they stand for: 38:5:N; 38:2:R:G:B and 38:2:CS:R:G:B (the
                // colour space may be empty). Any other form changes nothing.
                const uint64_t kind = has[1] ? values[1] : RellumNotFound;
                if (kind == 5 && count == 3 && has[2]) {
                    room = list->push_back(first) && list->push_back(5) && list->push_back(values[2]);
                } else if (kind == 2 && (count == 5 || count == 6)) {
                    const size_t r = count - 3;
                    room = list->push_back(first) && list->push_back(2) && list->push_back(values[r]) &&
                           list->push_back(values[r + 1]) && list->push_back(values[r + 2]);
                }
            } else if (present) {
                // Other sub-parameters (4:3, a curly underline) keep the main value.
                room = list->push_back(first);
            }
        }
        if (!room || p >= end) break;
        ++p;
    }
    return true;
}
