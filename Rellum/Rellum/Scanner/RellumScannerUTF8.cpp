#include "Rellum/Scanner/RellumScannerUTF8.h"

namespace {

// The well-formed byte sequences of UTF-8: byte count, then low and high
// bound of each byte.
struct WellFormedRange {
    int count;
    unsigned char low[4];
    unsigned char high[4];
};

constexpr WellFormedRange RellumUTF8WellFormedRanges[9] = {
    {1, {0x00}, {0x7F}},
    {2, {0xC2, 0x80}, {0xDF, 0xBF}},
    {3, {0xE0, 0xA0, 0x80}, {0xE0, 0xBF, 0xBF}},
    {3, {0xE1, 0x80, 0x80}, {0xEC, 0xBF, 0xBF}},
    {3, {0xED, 0x80, 0x80}, {0xED, 0x9F, 0xBF}},
    {3, {0xEE, 0x80, 0x80}, {0xEF, 0xBF, 0xBF}},
    {4, {0xF0, 0x90, 0x80, 0x80}, {0xF0, 0xBF, 0xBF, 0xBF}},
    {4, {0xF1, 0x80, 0x80, 0x80}, {0xF3, 0xBF, 0xBF, 0xBF}},
    {4, {0xF4, 0x80, 0x80, 0x80}, {0xF4, 0x8F, 0xBF, 0xBF}},
};

size_t wellFormedPrefixLength(const unsigned char* s, size_t available) {
    size_t best = 1;
    for (const WellFormedRange& range : RellumUTF8WellFormedRanges) {
        size_t k = 0;
        while (k < static_cast<size_t>(range.count) && k < available && s[k] >= range.low[k] &&
               s[k] <= range.high[k])
            ++k;
        if (k > best) best = k;
    }
    return best < available ? best : available;
}

} // namespace

RellumUTF8Status RellumDecodeUTF8Character(const unsigned char* s, size_t available, size_t* length,
                                           char32_t* value) {
    const unsigned char lead = s[0];
    if (lead < 0x80) {
        *length = 1;
        *value = lead;
        return RellumUTF8Status::Accepted;
    }
    if (lead < 0xC0 || lead >= 0xFE) {
        *length = 1;
        return RellumUTF8Status::IllFormed;
    }
    const size_t count = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF8 ? 4 : lead < 0xFC ? 5 : 6;
    uint32_t v = lead & (0x7Fu >> count);
    for (size_t i = 1; i < count; ++i) {
        if (i >= available) return RellumUTF8Status::Incomplete;
        if ((s[i] & 0xC0) != 0x80) {
            *length = i;
            return RellumUTF8Status::IllFormed;
        }
        v = (v << 6) | (s[i] & 0x3Fu);
    }
    static constexpr uint32_t least[7] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
    if (v < least[count] || (v >= 0xD800 && v <= 0xDFFF) || v >= 0x110000) {
        *length = wellFormedPrefixLength(s, count);
        return RellumUTF8Status::IllFormed;
    }
    *length = count;
    *value = v;
    return RellumUTF8Status::Accepted;
}

bool RellumIsValidUTF8(std::string_view text) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
    size_t i = 0;
    while (i < text.size()) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        char32_t value = 0;
        if (RellumDecodeUTF8Character(s + i, text.size() - i, &length, &value) != RellumUTF8Status::Accepted)
            return false;
        i += length;
    }
    return true;
}
