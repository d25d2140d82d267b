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

std::optional<RellumParameterList> RellumScanParameterList(std::string_view text, uint64_t defaultValue,
                                                           bool zeroIsDefault, size_t count) {
    RellumParameterList list;
    size_t start = 0;
    for (;;) {
        const size_t separator = text.find(';', start);
        const std::string_view piece =
            text.substr(start, separator == std::string_view::npos ? std::string_view::npos : separator - start);
        uint64_t value = defaultValue;
        if (!piece.empty()) {
            if (!RellumScanUInteger(piece, &value)) return std::nullopt;
            if (value == 0 && zeroIsDefault) value = defaultValue;
        }
        if (!list.push_back(value)) break; // parameters past the bound are ignored
        if (separator == std::string_view::npos) break;
        start = separator + 1;
    }
    if (count > 0) {
        RellumParameterList fitted;
        for (size_t i = 0; i < count && i < RellumScannerMaxParameters; ++i)
            fitted.push_back(i < list.size() ? list[i] : defaultValue);
        return fitted;
    }
    return list;
}
