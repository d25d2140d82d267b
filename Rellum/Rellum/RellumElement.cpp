#include "Rellum/RellumElement.h"

#include "Rellum/RellumUnicodeTables.h"

#include <algorithm>
#include <array>

bool RellumRangesContain(const RellumCodePointRange* ranges, std::size_t count, char32_t c) {
    const RellumCodePointRange* end = ranges + count;
    const RellumCodePointRange* it = std::upper_bound(
        ranges, end, c, [](char32_t v, const RellumCodePointRange& r) { return v < r.first; });
    if (it == ranges) return false;
    --it;
    return c <= it->last;
}

bool RellumSearchWideCodePoint(char32_t c) {
    if (c < 0x1100) return false;
    // The ideographs and Hangul syllables, most of wide text, without a search.
    if ((c >= 0x4E00 && c <= 0xA48C) || (c >= 0xAC00 && c <= 0xD7A3)) return true;
    if (c >= 0x1200 && c < 0x2329) return false;
    return RellumRangesContain(kRellumFullWidthRanges, kRellumFullWidthRangesCount, c);
}

bool RellumSearchMarkCodePoint(char32_t c) {
    if (c < 0x300) return false;
    return RellumRangesContain(kRellumMarkRanges, kRellumMarkRangesCount, c);
}

namespace {

// The bits of the code points of the ranges from `from` up to the limit: range
// by range, not a search for each code point (the first wide or combining
// character a terminal meets builds the table while the host waits).
void setRangeBits(uint64_t* bits, const RellumCodePointRange* ranges, std::size_t count, char32_t from) {
    for (std::size_t i = 0; i < count; ++i) {
        const char32_t last = std::min<char32_t>(ranges[i].last, RellumCodePointClasses::kLimit - 1);
        for (char32_t c = std::max(ranges[i].first, from); c <= last; ++c)
            bits[c >> 6] |= uint64_t(1) << (c & 63);
    }
}

} // namespace

RellumCodePointClasses::RellumCodePointClasses() : wide_{}, mark_{} {
    setRangeBits(wide_, kRellumFullWidthRanges, kRellumFullWidthRangesCount, 0x1100);
    setRangeBits(mark_, kRellumMarkRanges, kRellumMarkRangesCount, 0x300);
}

bool RellumIsAmbiguousWidthCodePoint(char32_t c) {
    if (c < 0xA1) return false;
    return RellumRangesContain(kRellumAmbiguousWidthRanges, kRellumAmbiguousWidthRangesCount, c);
}

uint64_t RellumCombiningElement::charCount() const {
    uint64_t n = RellumElement(uchar).baseCharCount();
    if (components.empty()) return n;
    if (uchar >= 2 && uchar <= 31) n = 1; // a combining cell is printable whatever its base
    for (char32_t m : components)
        n += m >= 0x10000 ? 2 : 1;
    return n;
}
