#include "Rellum/View/RellumStorageLineIndex.h"

#include "Rellum/RellumTextStorage.h"

#include <algorithm>
#include <string>

namespace {

uint64_t mix(uint64_t hash, char16_t c) {
    return (hash ^ uint64_t(c)) * 0x100000001b3ull;
}

} // namespace

void RellumStorageLineIndex::rebuild(const RellumTextStorage& storage) {
    starts_.assign(1, 0);
    hashes_.assign(1, kEmptyHash);
    length_ = storage.length();
    rescanFrom(storage, 0);
}

void RellumStorageLineIndex::rescanFrom(const RellumTextStorage& storage, std::size_t line) {
    line = std::min(line, starts_.size() - 1);
    const uint64_t from = starts_[line];
    starts_.resize(line + 1);
    hashes_.resize(line);
    const uint64_t length = storage.length();
    uint64_t hash = kEmptyHash;
    if (from < length) {
        const std::u16string text = storage.substring({from, length - from});
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == u'\n') {
                hashes_.push_back(hash);
                starts_.push_back(from + i + 1);
                hash = kEmptyHash;
            } else {
                hash = mix(hash, text[i]);
            }
        }
    }
    hashes_.push_back(hash);
    length_ = length;
}

uint64_t RellumStorageLineIndex::oldLineLength(std::size_t line) const {
    const uint64_t end = line + 1 < starts_.size() ? starts_[line + 1] - 1 : length_;
    return end - starts_[line];
}

RellumStorageLineIndex::EditOutcome RellumStorageLineIndex::applyEdit(const RellumTextStorage& storage,
                                                                      RellumRange editedRange,
                                                                      int64_t changeInLength) {
    const uint64_t newLength = storage.length();
    // A report that does not fit what the index knows (it missed an edit)
    // is answered by reading everything again.
    if (editedRange.location > newLength || int64_t(length_) + changeInLength != int64_t(newLength)) {
        rebuild(storage);
        return {};
    }
    if (editedRange.location == 0 && starts_.size() > 2 * kTailLines) {
        const EditOutcome dropped = tryFrontDrop(storage);
        if (dropped.droppedFromFront > 0) return dropped;
    }
    // Only the start of a report is relied on: the end of a range joined
    // from several edits can fall short of the text they moved, so
    // everything from the edit's line on is read again. Edits come near the
    // end of the text (the page is its last lines), so that is little.
    const std::size_t line = std::size_t(lineOfOffset(editedRange.location));
    length_ = newLength;
    rescanFrom(storage, line);
    return {};
}

RellumStorageLineIndex::EditOutcome RellumStorageLineIndex::tryFrontDrop(const RellumTextStorage& storage) {
    const uint64_t newLength = storage.length();
    // The new first line, read up to its end.
    std::u16string first;
    for (uint64_t at = 0; at < newLength && first.find(u'\n') == std::u16string::npos && first.size() < 65536;
         at += 512)
        first += storage.substring({at, 512});
    const std::size_t end = first.find(u'\n');
    if (end == std::u16string::npos) return {};
    uint64_t hash = kEmptyHash;
    for (std::size_t i = 0; i < end; ++i)
        hash = mix(hash, first[i]);

    // The old line that is now the first one: the oldest lines were dropped.
    const std::size_t oldCount = starts_.size();
    const std::size_t keepEnd = oldCount - kTailLines;
    std::size_t k = 1;
    while (k < keepEnd && !(oldLineLength(k) == end && hashes_[k] == hash))
        ++k;
    if (k >= keepEnd) return {};
    const uint64_t dropped = starts_[k];

    // Old lines [k, keepEnd) must be in the new text unchanged, moved by the
    // drop: checked on a sample of them, line ends and contents.
    auto lineIntact = [&](std::size_t j) {
        const uint64_t start = starts_[j] - dropped;
        const uint64_t length = oldLineLength(j);
        if (start + length >= newLength) return false;
        const std::u16string text = storage.substring({start, length + 1});
        if (text.size() != length + 1 || text.back() != u'\n') return false;
        if (start > 0 && storage.substring({start - 1, 1}) != u"\n") return false;
        uint64_t h = kEmptyHash;
        for (std::size_t i = 0; i < length; ++i)
            h = mix(h, text[i]);
        return h == hashes_[j];
    };
    const std::size_t span = keepEnd - k;
    for (std::size_t s = 0; s <= 16; ++s) {
        const std::size_t j = k + (span - 1) * s / 16;
        if (!lineIntact(j)) return {};
    }
    for (std::size_t j = k + 1; j < std::min(k + 4, keepEnd); ++j)
        if (!lineIntact(j)) return {};

    starts_.erase(starts_.begin(), starts_.begin() + std::ptrdiff_t(k));
    hashes_.erase(hashes_.begin(), hashes_.begin() + std::ptrdiff_t(k));
    for (uint64_t& start : starts_)
        start -= dropped;
    const std::size_t tail = keepEnd - k;
    const std::vector<uint64_t> oldStarts(starts_.begin() + std::ptrdiff_t(tail), starts_.end());
    const std::vector<uint64_t> oldHashes(hashes_.begin() + std::ptrdiff_t(tail), hashes_.end());
    length_ = newLength;
    rescanFrom(storage, tail);
    // The lines of the end read again that kept their place, text and line end.
    std::size_t same = 0;
    while (same + 1 < oldStarts.size() && tail + same + 1 < starts_.size() &&
           starts_[tail + same + 1] == oldStarts[same + 1] && hashes_[tail + same] == oldHashes[same])
        ++same;
    const uint64_t unchangedEnd = starts_[tail + same];
    // The storage knows its number of lines: anything else was a wrong guess.
    if (starts_.size() != storage.lineCount()) {
        rebuild(storage);
        return {};
    }
    return {dropped, unchangedEnd};
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
