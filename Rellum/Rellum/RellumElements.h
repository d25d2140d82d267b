#pragma once

#include "Rellum/RellumElement.h"
#include "Rellum/RellumIndexSet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// An array of cells: plain 8-byte values in one vector, with the combining
// marks of the few combined cells in a side pool. Lines store their cells in
// one; the terminal hands runs of cells to a grid in one.
class RellumElements {
public:
    RellumElements() = default;

    // One cell per byte (7-bit values).
    static RellumElements elementsFromASCIIChars(const char* bytes, std::size_t length);
    // One cell per code point, each double-width character followed by its
    // right half. Surrogates and values past U+10FFFF become U+FFFD.
    static RellumElements elementsFromMBCSUTF32Chars(const char32_t* chars, std::size_t length);
    // The same, refilling this array so a caller can reuse its storage run after run.
    void assignFromASCIIChars(const char* bytes, std::size_t length);
    // Plain cells from the bytes, written from `at` on over the cells there
    // and past the end (at is at most size()).
    void writeASCIIChars(std::size_t at, const char* bytes, std::size_t length);
    // Void cells in the same way.
    void fillVoid(std::size_t at, std::size_t length);
    void assignFromMBCSUTF32Chars(const char32_t* chars, std::size_t length);
    // The same cells appended after the ones held. The code-point form
    // returns whether any of the new cells is a combining mark.
    void appendASCIIChars(const char* bytes, std::size_t length);
    bool appendMBCSUTF32Chars(const char32_t* chars, std::size_t length);
    // count copies of a cell.
    static RellumElements rellum_arrayOfElement(const RellumCombiningElement& element, std::size_t count);
    static RellumElements rellum_arrayOfElement(RellumElement element, std::size_t count);

    std::size_t size() const { return cells_.size(); }
    bool empty() const { return cells_.empty(); }
    const RellumElement& operator[](std::size_t i) const { return cells_[i]; }
    const RellumElement* data() const { return cells_.data(); }
    const RellumElement& back() const { return cells_.back(); }
    // The marks of cell i (empty for a plain cell).
    std::u32string_view componentsAt(std::size_t i) const;
    // A standalone copy of cell i with its marks.
    RellumCombiningElement elementAtIndex(std::size_t i) const;
    // UTF-16 length of cell i's own text: 0 when not printable, else its base
    // and marks, without looking at its neighbours (a right half counts 0).
    uint64_t charCountAt(std::size_t i) const;
    // Sum of charCountAt over [from, from + count).
    uint64_t charCountInRange(std::size_t from, std::size_t count) const;
    bool hasMarks() const { return !marks_.empty(); }

    void reserve(std::size_t n) { cells_.reserve(n); }
    void clear() {
        cells_.clear();
        marks_.clear();
    }
    void append(RellumElement plain) { cells_.push_back(RellumElement(plain.uchar)); }
    void append(const RellumCombiningElement& element);
    // Appends count cells of src from index from (marks copied).
    void appendElements(const RellumElements& src, std::size_t from, std::size_t count);
    void appendElements(const RellumElements& src) { appendElements(src, 0, src.size()); }
    // Adds a mark to cell i, making it a combining cell.
    void combineMarkAtIndex(std::size_t i, char32_t mark);
    void setElement(std::size_t i, RellumElement plain) { cells_[i] = RellumElement(plain.uchar); }
    void setElement(std::size_t i, const RellumCombiningElement& element);
    // Replaces cells [loc, loc + len) by count cells of src from index from.
    void replace(std::size_t loc, std::size_t len, const RellumElements& src, std::size_t from,
                 std::size_t count);
    void erase(std::size_t loc, std::size_t len);
    // Grows with void cells or shrinks to n cells.
    void resize(std::size_t n);

    // The cells [from, from + count) as text (see RellumElementsText.cpp for the
    // rules), appended to out. The positions in the index sets are relative to
    // the start of the appended text; each given set is cleared first.
    // When flags is given, it also tells what the cells are, found on the
    // same pass: whether every cell is one UTF-16 unit of text (no double-
    // width character, mark, surrogate pair or control value), and whether
    // some cell may not be stored as given (half of a double-width character
    // without its other half, marks on a control or reserved base, a value
    // that is no code point).
    struct TextFlags {
        bool unitCells = true;
        bool needsNormalizing = false;
    };
    void appendString(std::u16string& out, std::size_t from, std::size_t count, RellumIndexSet* wideIndexes,
                      RellumIndexSet* voidIndexes, RellumIndexSet* tabIndexes,
                      RellumIndexSet* combiningIndexes, bool forDebug, TextFlags* flags = nullptr) const;
    std::u16string stringWithWideIndexes(RellumIndexSet* wideIndexes, RellumIndexSet* voidIndexes,
                                         RellumIndexSet* tabIndexes, RellumIndexSet* combiningIndexes,
                                         bool forDebug = false) const;
    // The debug form (void as U+00B7, tab padding as U+2500) in UTF-8.
    std::string rellum_debugDescription() const;
    // Marks attached to the cells before them; see the algorithm in the .cpp.
    RellumElements rellum_arrayByMergingCombiningMarkElement() const;
    // The same merge in place over the cells from start on, the cells before
    // start standing for what is already merged: marks at start attach to
    // the cell before it.
    void mergeCombiningMarksFrom(std::size_t start);

    // Element-wise equal bases (marks not compared, as for single cells).
    friend bool operator==(const RellumElements& a, const RellumElements& b) { return a.cells_ == b.cells_; }

private:
    friend class RellumPackedElements;
    uint32_t internMarks(std::u32string marks);
    // combineMarkAtIndex without tidying the pool, for loops that hold stale
    // copies of cells.
    void addMarkAtIndex(std::size_t i, char32_t mark);
    void compactMarksIfNeeded();

    std::vector<RellumElement> cells_;
    std::vector<std::u32string> marks_; // cell.markIndex - 1 indexes this pool
};

// Byte buffers of UTF-32 little-endian code points.
void rellum_appendUTF32Char(std::string& data, char32_t c);
void rellum_appendCombiningElement(std::string& data, const RellumCombiningElement& element);

// UTF-16 to UTF-8, for debug forms and tests.
std::string RellumUTF8FromUTF16(std::u16string_view text);
