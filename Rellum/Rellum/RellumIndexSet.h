#pragma once

#include "Rellum/RellumGeometry.h"

#include <cstdint>
#include <vector>

// A set of positions kept as sorted, merged ranges. Filled in ascending order
// by the cell-to-text conversion, so adding is an append or an extension of
// the last range.
class RellumIndexSet {
public:
    RellumIndexSet() = default;

    void addIndex(uint64_t index) { addRange({index, 1}); }
    void addRange(RellumRange range);
    void clear() { ranges_.clear(); }

    bool empty() const { return ranges_.empty(); }
    uint64_t count() const;
    bool containsIndex(uint64_t index) const;
    const std::vector<RellumRange>& ranges() const { return ranges_; }
    // The same set with every position moved by delta.
    RellumIndexSet shiftedBy(uint64_t delta) const;

    friend bool operator==(const RellumIndexSet&, const RellumIndexSet&) = default;

private:
    std::vector<RellumRange> ranges_;
};
