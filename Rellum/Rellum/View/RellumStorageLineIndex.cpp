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
    if (editedRange.location > newLength || int64_t(length_) + changeInLength != int64_t(newLength)) {
        rebuild(storage);
        return;
    }
    // Only the start of a report is relied on: the end of a range joined
    // from several edits can fall short of the text they moved, so
    // everything after the start is read again. Edits come near the end of
    // the text (the page is its last lines), so that is little.
    const uint64_t from = editedRange.location;
    starts_.erase(std::upper_bound(starts_.begin(), starts_.end(), from), starts_.end());
    const std::u16string text = storage.substring({from, newLength - from});
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == u'\n') starts_.push_back(from + i + 1);
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
