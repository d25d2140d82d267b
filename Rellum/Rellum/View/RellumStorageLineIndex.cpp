#include "Rellum/View/RellumStorageLineIndex.h"

#include "Rellum/RellumTextStorage.h"

#include <algorithm>

void RellumStorageLineIndex::rebuild(const RellumTextStorage& storage) {
    starts_.assign(1, 0);
    length_ = storage.length();
    const std::u16string text = storage.string();
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == u'\n') starts_.push_back(i + 1);
}

void RellumStorageLineIndex::applyEdit(const RellumTextStorage& storage, RellumRange editedRange,
                                       int64_t changeInLength) {
    const uint64_t newLength = storage.length();
    // A report that does not fit what the index knows (it missed an edit)
    // is answered by reading everything again.
    const int64_t oldEndSigned = int64_t(editedRange.end()) - changeInLength;
    if (editedRange.end() > newLength || oldEndSigned < int64_t(editedRange.location) ||
        uint64_t(oldEndSigned) > length_ || int64_t(length_) + changeInLength != int64_t(newLength)) {
        rebuild(storage);
        return;
    }
    const uint64_t from = editedRange.location;
    const uint64_t oldEnd = uint64_t(oldEndSigned);
    // Starts up to `from` stay; starts in (from, oldEnd] came from newlines
    // inside the replaced text; later ones move by the change.
    auto keepEnd = std::upper_bound(starts_.begin(), starts_.end(), from);
    auto tailBegin = std::upper_bound(keepEnd, starts_.end(), oldEnd);
    std::vector<uint64_t> added;
    const std::u16string text = storage.substring(editedRange);
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == u'\n') added.push_back(from + i + 1);
    const std::size_t keep = std::size_t(keepEnd - starts_.begin());
    const std::size_t tailFrom = std::size_t(tailBegin - starts_.begin());
    const std::size_t tailCount = starts_.size() - tailFrom;
    std::vector<uint64_t> tail(starts_.begin() + std::ptrdiff_t(tailFrom), starts_.end());
    starts_.resize(keep);
    starts_.insert(starts_.end(), added.begin(), added.end());
    starts_.reserve(starts_.size() + tailCount);
    for (uint64_t s : tail)
        starts_.push_back(uint64_t(int64_t(s) + changeInLength));
    length_ = newLength;
}

RellumRange RellumStorageLineIndex::lineRange(uint64_t line) const {
    if (line >= starts_.size()) return {length_, 0};
    const uint64_t start = starts_[line];
    const uint64_t end = line + 1 < starts_.size() ? starts_[line + 1] - 1 : length_;
    return {start, end > start ? end - start : 0};
}

uint64_t RellumStorageLineIndex::lineOfOffset(uint64_t offset) const {
    auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
    return uint64_t(it - starts_.begin()) - 1;
}
