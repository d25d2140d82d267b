#pragma once

#include "Rellum/RellumGeometry.h"

#include <cstdint>

class RellumTextStorage;

// Where each line of a text storage starts, as the view reads it: the
// storage keeps its text by line, so every answer comes from it at once
// (nothing is read again after an edit). Main thread only.
class RellumStorageLineIndex {
public:
    // What an edit did.
    struct EditOutcome {
        // Characters of whole lines dropped from the front (the oldest
        // scrollback); 0 when none were.
        uint64_t droppedFromFront = 0;
        // With a drop: the text before this offset (new text) is the old
        // text after the dropped lines, unchanged.
        uint64_t unchangedEnd = 0;
    };

    // Follows this storage from now on.
    void rebuild(const RellumTextStorage& storage) { storage_ = &storage; }
    // One edit report of the storage, from its edit observer.
    EditOutcome applyEdit(const RellumTextStorage& storage, RellumRange editedRange, int64_t changeInLength);

    uint64_t lineCount() const;
    // The line's text, without its "\n".
    RellumRange lineRange(uint64_t line) const;
    // The line holding a storage offset (the last line past the end).
    uint64_t lineOfOffset(uint64_t offset) const;
    uint64_t length() const;

private:
    const RellumTextStorage* storage_ = nullptr;
};
