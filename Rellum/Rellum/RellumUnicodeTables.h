#pragma once

#include <cstddef>
#include <cstdint>

// Sorted, disjoint, merged ranges of code points (both ends included), written
// by tools/unicode-tables/generate.py.
struct RellumCodePointRange {
    char32_t first;
    char32_t last;
};

extern const RellumCodePointRange kRellumFullWidthRanges[];
extern const std::size_t kRellumFullWidthRangesCount;
extern const RellumCodePointRange kRellumAmbiguousWidthRanges[];
extern const std::size_t kRellumAmbiguousWidthRangesCount;
extern const RellumCodePointRange kRellumMarkRanges[];
extern const std::size_t kRellumMarkRangesCount;

// True when c lies in one of the count ranges.
bool RellumRangesContain(const RellumCodePointRange* ranges, std::size_t count, char32_t c);
