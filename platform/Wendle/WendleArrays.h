#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <vector>

// Moves for reordering lists by drag and drop. The target is an index of the
// array before the move, from 0 to the count: the moved objects end, in
// their order, as one block just before the object that stood at the target
// (or, when that object moves too, before the first object after it that
// stays), and at the end when the target is the count. So moving row 1 to 3
// in [a b c d] gives [a c b d]. Indexes out of range change nothing and
// return false.

template <class T>
bool moveObjectAtIndex(std::vector<T>& array, std::size_t from, std::size_t to) {
    if (from >= array.size() || to > array.size()) return false;
    auto first = array.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to);
    else if (from > to)
        std::rotate(first + to, first + from, first + from + 1);
    return true;
}

template <class T>
bool moveObjectsAtIndexes(std::vector<T>& array, std::vector<std::size_t> indexes, std::size_t to) {
    if (to > array.size()) return false;
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    if (!indexes.empty() && indexes.back() >= array.size()) return false;
    std::vector<T> moved, kept;
    moved.reserve(indexes.size());
    kept.reserve(array.size() - indexes.size());
    std::size_t insertAt = 0; // position in `kept` of the first kept object at or after the target
    for (std::size_t i = 0, k = 0; i < array.size(); ++i) {
        if (k < indexes.size() && indexes[k] == i) {
            moved.push_back(std::move(array[i]));
            ++k;
        } else {
            if (i < to) ++insertAt;
            kept.push_back(std::move(array[i]));
        }
    }
    kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(insertAt), std::make_move_iterator(moved.begin()),
                std::make_move_iterator(moved.end()));
    array = std::move(kept);
    return true;
}

// Inserts `objects`, in their order, as one block before the object at
// `index` (at the end when it is the count). An index past the count changes
// nothing and returns false.
template <class T>
bool wendle_insertObjects(std::vector<T>& array, const std::vector<T>& objects, std::size_t index) {
    if (index > array.size()) return false;
    array.insert(array.begin() + static_cast<std::ptrdiff_t>(index), objects.begin(), objects.end());
    return true;
}
