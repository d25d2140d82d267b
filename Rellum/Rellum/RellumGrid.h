#pragma once

#include "Rellum/RellumContext.h"
#include "Rellum/RellumElements.h"
#include "Rellum/RellumGeometry.h"
#include "Rellum/RellumIndexSet.h"
#include "Rellum/RellumLine.h"
#include "Rellum/RellumRing.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class RellumGrid;

// Receives every text change of a grid at once, in offsets of the grid's text
// storage: the lines' texts in order, each pair separated by one "\n". Index
// sets are positions in the given string and may be null.
class RellumGridDelegate {
public:
    virtual ~RellumGridDelegate() = default;
    virtual void didReplaceCharactersInRange(RellumGrid& grid, RellumRange range, std::u16string_view string,
                                             const RellumIndexSet* wideIndexes,
                                             const RellumIndexSet* voidIndexes,
                                             const RellumIndexSet* tabIndexes,
                                             const RellumIndexSet* combiningIndexes) = 0;
    virtual void didInsertString(RellumGrid& grid, std::u16string_view string, uint64_t index,
                                 const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                                 const RellumIndexSet* tabIndexes,
                                 const RellumIndexSet* combiningIndexes) = 0;
    virtual void didInsertNewLineAtIndex(RellumGrid& grid, uint64_t index) = 0;
    virtual void didDeleteCharactersInRange(RellumGrid& grid, RellumRange range) = 0;
    // Told before lines are added to or removed from the list (before the
    // reports of that change), while every line still stands where it was.
    virtual void gridWillChangeLines(RellumGrid& grid) { (void)grid; }
};

// One screen: the page of lines (the last rows lines of the list), the
// scrollback above it (primary screen only), the cursor and the operations of
// the control functions. Margins, modes and tab stops come from the context
// on every operation. Inside the grid a page is at least one column by one row.
//
// Lines live in a ring (RellumRing), so finding one by index and dropping the
// oldest are O(1); storage origins are measured from a moving base, so
// dropping the oldest line touches no other line.
class RellumGrid : private RellumLineDelegate {
public:
    static constexpr uint64_t kDefaultMaxScrollback = 65535;

    RellumGrid(RellumPageSize pageSize, RellumContext* context, bool isAlternate,
               RellumGridDelegate* delegate);
    RellumGrid(RellumPageSize pageSize, RellumContext* context, RellumGridDelegate* delegate)
        : RellumGrid(pageSize, context, false, delegate) {}
    ~RellumGrid() override;
    RellumGrid(const RellumGrid&) = delete;
    RellumGrid& operator=(const RellumGrid&) = delete;

    RellumGridDelegate* delegate() const { return delegate_; }
    void setDelegate(RellumGridDelegate* delegate) { delegate_ = delegate; }
    RellumContext* context() const { return context_; }
    void setContext(RellumContext* context) { context_ = context; }

    // Size and scrollback.
    RellumPageSize pageSize() const { return pageSize_; }
    void setPageSize(RellumPageSize size);
    uint64_t acutalLineCount() const { return lines_.size(); }
    uint64_t maxScrollback() const { return maxScrollback_; }
    void setMaxScrollback(uint64_t maxScrollback);
    bool hasScrollback() const { return lines_.size() > rows(); }
    bool allowsScrollback() const { return allowsScrollback_ && !isAlternate_; }
    void setAllowsScrollback(bool allows) { allowsScrollback_ = allows; }
    bool isAlternate() const { return isAlternate_; }

    // Lines.
    const RellumLine& lineAtIndex(uint64_t index) const { return *lines_[index]; }
    uint64_t storageOriginOfLineAtIndex(uint64_t index) const {
        return lines_[index]->absoluteOrigin_ - base_;
    }
    uint64_t storageOriginOfLine(const RellumLine& line) const { return line.absoluteOrigin_ - base_; }
    // The storage text the delegate reports build: the lines joined by "\n".
    std::u16string string() const;
    // While the delegate hears of a change within one line: that line and its
    // storage origin (null during other reports).
    const RellumLine* changingLine() const { return changingLine_; }
    uint64_t changingLineOrigin() const { return changingLineOrigin_; }

    // Cursor.
    uint64_t cursorX() const { return cursorX_; }
    uint64_t cursorY() const { return cursorY_; }
    void setCursorX(uint64_t x);
    void setCursorY(uint64_t y);
    void setCursorX(uint64_t x, uint64_t y) {
        setCursorX(x);
        setCursorY(y);
    }
    uint64_t lineIndexAtY(uint64_t y) const {
        return y + (lines_.size() > rows() ? lines_.size() - rows() : 0);
    }
    int64_t yOfLineIndex(uint64_t index) const {
        return int64_t(index) - int64_t(lines_.size() > rows() ? lines_.size() - rows() : 0);
    }
    uint64_t cursorLineIndex() const { return lineIndexAtY(cursorY_); }
    const RellumLine& cursorLine() const { return *lines_[cursorLineIndex()]; }
    uint64_t cursorLocation() const;
    // The cell under the cursor (void past the line's cells); nullopt at the
    // past-the-last-column position.
    std::optional<RellumCombiningElement> elementAtCursor() const;
    uint64_t breakTypeAtLineY(uint64_t y);
    void saveCursor();
    void restoreCursor();
    RellumCoord savedCursorCoord() const { return savedCursorCoord_; }

    // Writing.
    void renderElementsFromCursor(const RellumElements& elements);
    // The same for printable ASCII bytes, as far as it goes without the
    // general path (insert mode, lines with other than unit cells, a write
    // that does not fit without auto-wrap); returns how many bytes it wrote.
    std::size_t renderASCIIFromCursor(const char* bytes, std::size_t count);
    // The last column a write at the cursor may fill.
    uint64_t cursorRightMargin() { return lineRightMargin(cursorLine()); }
    void insertBlankAtCursorWithCount(uint64_t count);
    void deleteElementsAtCursorWithCount(uint64_t count);
    void eraseCharacterWithCount(uint64_t count);

    // Moves.
    void moveCursorBackspace();
    void moveCursorLeftWithCount(uint64_t count);
    void moveCursorRightWithCount(uint64_t count);
    void moveCursorUpWithCount(uint64_t count);
    void moveCursorDownWithCount(uint64_t count);
    void moveCursorToLeftMargin();
    void moveCursorToNextTabStop();
    void moveCursorDownOrNewline();
    void moveCursorUpOrNewline();

    // Scrolling inside the scroll region: content up (new blank lines at the
    // bottom) or down (new blank lines at the top).
    void panDownWithCount(uint64_t count);
    void panUpWithCount(uint64_t count);

    // Erasing.
    void eraseFromCursorToLineEnd();
    void eraseFromCursorToLineStart();
    void eraseCursorLineEntirely();
    void eraseFromCursorToDisplayEnd();
    void eraseFromCursorToDisplayStart();
    void eraseDisplayEntirely();
    void eraseScrollbackBuffer();
    // Removes up to range.length lines from list index range.location.
    void deleteLinesInRange(RellumRange range);

    // The lines' debug descriptions joined by "\n".
    std::string debugDescription();

private:
    // RellumLineDelegate
    uint64_t lineCapacity(const RellumLine& line) override;
    uint64_t lineRightMargin(const RellumLine& line) override;
    void didReplaceCharactersInRange(RellumLine& line, RellumRange range, std::u16string_view string,
                                     const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                                     const RellumIndexSet* tabIndexes,
                                     const RellumIndexSet* combiningIndexes) override;
    void didInsertString(RellumLine& line, std::u16string_view string, uint64_t index,
                         const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                         const RellumIndexSet* tabIndexes, const RellumIndexSet* combiningIndexes) override;
    void didDeleteCharactersInRange(RellumLine& line, RellumRange range) override;

    uint64_t rows() const { return uint64_t(std::max<int64_t>(1, pageSize_.height)); }
    uint64_t columns() const { return uint64_t(std::max<int64_t>(1, pageSize_.width)); }
    // Margins of the context, kept inside this grid's page.
    uint64_t topMargin() const;
    uint64_t bottomMargin() const;
    uint64_t leftMargin() const;
    uint64_t rightMargin() const;
    bool hasHorizontalMargin() const;
    bool hasVerticalMargin() const;
    bool isRightMarginAtEdge() const { return rightMargin() == columns() - 1; }
    bool isLeftMarginAtEdge() const { return leftMargin() == 0; }

    RellumLine& mutableLine(uint64_t index) { return *lines_[index]; }
    // The cursor line, also remembered as the line the next report names.
    RellumLine& mutableCursorLine() {
        lineHint_ = cursorLineIndex();
        return *lines_[lineHint_];
    }
    // Auto-wrap: on to the left margin of the next row, the row left marked as wrapping.
    void wrapCursor();
    RellumLine* nextLine(uint64_t index) {
        return index + 1 < lines_.size() ? lines_[index + 1].get() : nullptr;
    }
    uint64_t indexOfLine(const RellumLine& line);
    void ripple(uint64_t fromIndex, int64_t delta);
    void insertLineAtIndex(uint64_t index);
    // Empty lines at a list index, in one move of the lines after it.
    void insertLinesAtIndex(uint64_t index, uint64_t count);
    std::unique_ptr<RellumLine> makeLine();
    void removeLinesInRange(uint64_t index, uint64_t count);
    // The storage text that removing lines [index, index + count) deletes:
    // each line with the newline after it, or the newline before the first
    // when no line follows.
    RellumRange removalRange(uint64_t index, uint64_t count) const;
    // Takes lines [index, index + count) out of the list, keeping up to eight
    // for the next new lines.
    void retireLines(uint64_t index, uint64_t count);
    // Scrolls lines [top, bottom] by `count` (top > 0, top + count <= bottom):
    // up, the first `count` lines leave and as many empty ones come in at the
    // bottom; down, the last leave and empty ones come in at the top. It does
    // and reports what removing and then inserting those lines would, in one
    // pass over the lines.
    void cycleLines(uint64_t top, uint64_t bottom, uint64_t count, bool up);
    void trim();
    // Packs the scrollback lines of list indexes [from, to) (those that left the page).
    void packLines(uint64_t from, uint64_t to);
    // Packs the `count` lines just above the page, the ones new lines pushed off it.
    void packLinesLeavingPage(uint64_t count);
    void ensureCursorLine();
    void tryTrimLine(RellumLine& line);
    void eraseWholeLine(RellumLine& line);
    bool reverseWrapApplies();

    RellumRing<std::unique_ptr<RellumLine>> lines_;
    std::vector<std::unique_ptr<RellumLine>> spareLines_;
    std::vector<RellumElements> spareCells_; // storage released by packed lines, for new ones
    uint64_t base_ = 0;
    uint64_t nextSerial_ = 1;
    uint64_t lineHint_ = 0;
    const RellumLine* changingLine_ = nullptr;
    uint64_t changingLineOrigin_ = 0;
    // Names the changing line for the length of one report.
    struct ChangingLine {
        ChangingLine(RellumGrid& grid, const RellumLine& line, uint64_t origin) : grid(grid) {
            grid.changingLine_ = &line;
            grid.changingLineOrigin_ = origin;
        }
        ~ChangingLine() { grid.changingLine_ = nullptr; }
        ChangingLine(const ChangingLine&) = delete;
        ChangingLine& operator=(const ChangingLine&) = delete;
        RellumGrid& grid;
    };

    std::unique_ptr<RellumContext> savedContext_;
    RellumCoord savedCursorCoord_{-1, -1};
    bool allowsScrollback_ = true;
    bool isAlternate_ = false;
    uint64_t cursorX_ = 0;
    uint64_t cursorY_ = 0;
    uint64_t maxScrollback_ = kDefaultMaxScrollback;
    RellumGridDelegate* delegate_ = nullptr;
    RellumContext* context_ = nullptr;
    RellumPageSize pageSize_;
};
