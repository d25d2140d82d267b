#pragma once

#include "Rellum/RellumElements.h"
#include "Rellum/RellumGeometry.h"
#include "Rellum/RellumIndexSet.h"
#include "Rellum/RellumPackedElements.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class RellumLine;

// The owner of a line (the grid): the line's width and write limit, and the
// receiver of every text change, in the line's own UTF-16 character
// coordinates. Index sets may be null.
class RellumLineDelegate {
public:
    virtual ~RellumLineDelegate() = default;
    virtual uint64_t lineCapacity(const RellumLine& line) = 0;
    virtual uint64_t lineRightMargin(const RellumLine& line) = 0;
    virtual void didReplaceCharactersInRange(RellumLine& line, RellumRange range, std::u16string_view string,
                                             const RellumIndexSet* wideIndexes,
                                             const RellumIndexSet* voidIndexes,
                                             const RellumIndexSet* tabIndexes,
                                             const RellumIndexSet* combiningIndexes) = 0;
    virtual void didInsertString(RellumLine& line, std::u16string_view string, uint64_t index,
                                 const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                                 const RellumIndexSet* tabIndexes,
                                 const RellumIndexSet* combiningIndexes) = 0;
    virtual void didDeleteCharactersInRange(RellumLine& line, RellumRange range) = 0;
};

enum : uint64_t {
    RellumLineBreakTypeHard = 0,
    RellumLineBreakTypeSoftWrap = 1,
    RellumLineBreakTypeWideWrap = 2,
};

// One row of cells. A line never holds half of a double-width character:
// every operation that would cut a pair turns both halves into U+2592 first,
// so characterCount always equals the length of the line's text.
class RellumLine {
public:
    explicit RellumLine(RellumLineDelegate* delegate = nullptr) : delegate_(delegate) {}
    RellumLine(const RellumLine&) = delete;
    RellumLine& operator=(const RellumLine&) = delete;

    RellumLineDelegate* delegate() const { return delegate_; }
    void setDelegate(RellumLineDelegate* delegate) { delegate_ = delegate; }

    uint64_t elementCount() const { return packed_ ? packed_.size() : elements_.size(); }
    // The cells (a packed scrollback line is unpacked for good first).
    const RellumElements& elements() const {
        unpack();
        return elements_;
    }
    // UTF-16 length of the line's text.
    uint64_t characterCount() const { return characterCount_; }
    // True when every cell is one UTF-16 unit of the text (cell and
    // character positions coincide); false may also mean "not known".
    bool hasUnitCells() const { return unitCells_; }
    // A number the owner's delegate may keep with the line while it stays
    // in its grid (0 when unused); the line and the grid never read it.
    uint32_t delegateMark() const { return delegateMark_; }
    void setDelegateMark(uint32_t mark) const { delegateMark_ = mark; }

    // Copies of the cells in range, cut at the capacity, void cells supplied
    // past the stored ones; nullopt when the start is at or past the capacity.
    std::optional<RellumElements> elementsInRange(RellumRange range) const;
    // A copy of one cell (void past the stored ones); nullopt at or past the capacity.
    std::optional<RellumCombiningElement> elementsAtIndex(uint64_t index) const;

    // Appends void cells until the line holds at least index cells.
    void ensureElementIntegrityAtIndex(uint64_t index);
    // Writes tab padding over the empty cells before stop, never over text.
    void markNextTabStopAtIndex(uint64_t stop, uint64_t from);
    bool isElementAtMiddleOfWide(uint64_t index) const;
    RellumRange actualRangeForRange(RellumRange range) const;
    // Breaks the double-width characters cut by the range's edges.
    void prepareToChangeElementsInRange(RellumRange range);
    // Removes stored cells; returns how many.
    uint64_t removeElementsInRange(RellumRange range);
    // The writing primitive: replaces the cells in range by the cells
    // [from, from + count) of elements; returns how many of them were placed.
    uint64_t replaceElementsInRange(RellumRange range, const RellumElements& elements, std::size_t from,
                                    std::size_t count, bool respectsRightMargin);
    uint64_t replaceElementsInRange(RellumRange range, const RellumElements& elements,
                                    bool respectsRightMargin) {
        return replaceElementsInRange(range, elements, 0, elements.size(), respectsRightMargin);
    }
    uint64_t writeElements(const RellumElements& elements, uint64_t index, std::size_t from = 0,
                           std::size_t count = SIZE_MAX);
    // writeElements for printable ASCII bytes, where every cell the write
    // may touch is one UTF-16 unit; false, with nothing changed, where the
    // general path must decide. *placed is how many bytes were written.
    bool writeASCII(const char* bytes, std::size_t count, uint64_t index, uint64_t* placed);
    uint64_t insertElements(const RellumElements& elements, uint64_t index, std::size_t from = 0,
                            std::size_t count = SIZE_MAX);
    // Overwrites the range with void cells, up to the last cell of the line.
    void eraseElementsInRange(RellumRange range);
    RellumRange characterRangeForElementRange(RellumRange range) const;
    uint64_t insertionPositionAtElementIndex(uint64_t index) const {
        return characterRangeForElementRange({index, 0}).location;
    }

    // Wrapping: the line this line's text runs on into. Kept as the target's
    // serial number, so a line removed or replaced in between ends the wrap.
    uint64_t serial() const { return serial_; }
    void setNextWrapLine(const RellumLine* line) { nextWrapSerial_ = line ? line->serial_ : 0; }
    bool hasNextWrapLine(const RellumLine* line) const {
        return line && nextWrapSerial_ != 0 && nextWrapSerial_ == line->serial_;
    }
    // next is the line after this one, or null. Clears the wrap when it reports 0.
    uint64_t breakType(const RellumLine* next);
    // The cells padded to the capacity in debug form, then "!", "+" or ">".
    std::string debugDescription(const RellumLine* next);

private:
    friend class RellumGrid;
    void breakWideAtIndex(uint64_t index);
    // Tells the delegate of cells written at index over `old` unit cells.
    void reportUnitWrite(uint64_t index, uint64_t old, const std::u16string& text,
                         const RellumIndexSet* voids);
    uint64_t capacity() const;
    // Scrollback lines are kept packed; anything that reads or writes their
    // cells as an array unpacks them first (a pure change of form).
    void unpack() const {
        if (packed_) unpackSlow();
    }
    void unpackSlow() const;
    // Packs the cells; returns the emptied array so its storage can serve a new line.
    RellumElements pack();
    char32_t ucharAt(uint64_t index) const {
        return packed_ ? packed_.ucharAt(index) : elements_[index].uchar;
    }

    mutable RellumElements elements_;
    mutable RellumPackedElements packed_;
    uint64_t characterCount_ = 0;
    uint64_t absoluteOrigin_ = 0; // kept by the grid, measured from its moving base
    uint64_t serial_ = 0;
    uint64_t nextWrapSerial_ = 0;
    mutable uint32_t delegateMark_ = 0;
    RellumLineDelegate* delegate_ = nullptr;
    // Every cell is one UTF-16 unit of text (no double-width characters,
    // marks, surrogate pairs or control values): cell and character
    // positions coincide.
    bool unitCells_ = true;
};
