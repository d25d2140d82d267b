#include "Rellum/RellumIndexSet.h"

#include <algorithm>

void RellumIndexSet::addRange(RellumRange range) {
    if (range.length == 0) return;
    if (ranges_.empty() || ranges_.back().end() < range.location) {
        if (ranges_.empty() || ranges_.back().location < range.location) {
            ranges_.push_back(range); // the common case: ascending, not touching
            return;
        }
    } else if (range.location >= ranges_.back().location) {
        RellumRange& last = ranges_.back();
        last.length = std::max(last.end(), range.end()) - last.location;
        return;
    }
    // Out of order: insert, then merge overlapping or touching ranges.
    ranges_.push_back(range);
    std::sort(ranges_.begin(), ranges_.end(),
              [](const RellumRange& a, const RellumRange& b) { return a.location < b.location; });
    std::vector<RellumRange> merged;
    for (const RellumRange& r : ranges_) {
        if (!merged.empty() && merged.back().end() >= r.location)
            merged.back().length = std::max(merged.back().end(), r.end()) - merged.back().location;
        else
            merged.push_back(r);
    }
    ranges_ = std::move(merged);
}

uint64_t RellumIndexSet::count() const {
    uint64_t n = 0;
    for (const RellumRange& r : ranges_)
        n += r.length;
    return n;
}

bool RellumIndexSet::containsIndex(uint64_t index) const {
    auto it = std::upper_bound(ranges_.begin(), ranges_.end(), index,
                               [](uint64_t i, const RellumRange& r) { return i < r.location; });
    if (it == ranges_.begin()) return false;
    --it;
    return index < it->end();
}

RellumIndexSet RellumIndexSet::shiftedBy(uint64_t delta) const {
    RellumIndexSet out = *this;
    for (RellumRange& r : out.ranges_)
        r.location += delta;
    return out;
}
