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
    // Reads the whole storage.
    void rebuild(const RellumTextStorage& storage);
    // One edit report: `editedRange` in the new text, `changeInLength` the
    // change of the storage's length. Reads the text from the edit's start on.
    void applyEdit(const RellumTextStorage& storage, RellumRange editedRange, int64_t changeInLength);

    uint64_t lineCount() const { return starts_.size(); }
    // The line's text, without its "\n".
    RellumRange lineRange(uint64_t line) const;
    // The line holding a storage offset (the last line past the end).
    uint64_t lineOfOffset(uint64_t offset) const;
    uint64_t length() const { return length_; }

private:
    std::vector<uint64_t> starts_{0};
    uint64_t length_ = 0;
};
