#pragma once

#include "Rellum/RellumGeometry.h"

#include <cstdint>
#include <vector>

class RellumTextStorage;

// Where each line of a text storage starts, kept up to date from the
// storage's edit reports so that the view finds its visible lines without
// reading the text before them. Main thread only.
class RellumStorageLineIndex {
public:
    // What an edit did, as far as the index could tell.
    struct EditOutcome {
        // Characters of whole lines dropped from the front (the oldest
        // scrollback), when that was recognised; 0 otherwise.
        uint64_t droppedFromFront = 0;
        // With a recognised drop: the text before this offset (new text)
        // is the old text after the dropped lines, unchanged (whole lines).
        uint64_t unchangedEnd = 0;
    };

    // Lines at the end that are always read again when lines were dropped
    // from the front (more than a page can hold).
    static constexpr uint64_t kTailLines = 1024;

    // Reads the whole storage.
    void rebuild(const RellumTextStorage& storage);
    // One edit report: `editedRange` in the new text, `changeInLength` the
    // change of the storage's length. Reads the text from the edit's line
    // on; when the report starts at 0 because the oldest lines were dropped
    // (which joins with edits at the end into one range), only the end.
    EditOutcome applyEdit(const RellumTextStorage& storage, RellumRange editedRange, int64_t changeInLength);

    uint64_t lineCount() const { return starts_.size(); }
    // The line's text, without its "\n".
    RellumRange lineRange(uint64_t line) const;
    // The line holding a storage offset (the last line past the end).
    uint64_t lineOfOffset(uint64_t offset) const;
    uint64_t length() const { return length_; }

private:
    // Keeps lines [0, line) and reads the rest of the storage from the start of `line`.
    void rescanFrom(const RellumTextStorage& storage, std::size_t line);
    EditOutcome tryFrontDrop(const RellumTextStorage& storage);
    uint64_t oldLineLength(std::size_t line) const;

    std::vector<uint64_t> starts_{0};
    std::vector<uint64_t> hashes_{kEmptyHash}; // of each line's text
    uint64_t length_ = 0;

    static constexpr uint64_t kEmptyHash = 0xcbf29ce484222325ull;
};
