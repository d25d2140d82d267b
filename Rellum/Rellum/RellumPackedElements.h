#pragma once

#include "Rellum/RellumElements.h"

#include <cstddef>
#include <cstdint>
#include <memory>

// A finished row of cells in one small allocation: each cell as 1, 2 or 4
// bytes (the narrowest that holds every value of the row), the marks of
// combined cells after them. Scrollback rows rarely change again, so they
// keep this form until something writes to them.
class RellumPackedElements {
public:
    RellumPackedElements() = default;
    explicit RellumPackedElements(const RellumElements& cells);

    // False when nothing is packed (not even an empty row).
    explicit operator bool() const { return bool(words_); }
    std::size_t size() const { return words_ ? words_[0] : 0; }
    // The value of cell i (marks not included).
    char32_t ucharAt(std::size_t i) const;
    // Replaces the contents of out by the packed cells, marks included.
    void unpackInto(RellumElements& out) const;
    void reset() { words_.reset(); }

private:
    // words_[0]: cell count; words_[1]: bytes per cell in the low byte, the
    // number of mark words above it; then the cells; then, for each combined
    // cell, its index, its mark count and its marks.
    std::unique_ptr<uint32_t[]> words_;
};
