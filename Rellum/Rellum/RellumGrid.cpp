#include "Rellum/RellumGrid.h"

#include "Foundation/Assert.h"

#include <algorithm>

RellumGrid::RellumGrid(RellumPageSize pageSize, RellumContext* context, bool isAlternate,
                       RellumGridDelegate* delegate)
    : isAlternate_(isAlternate), delegate_(delegate), context_(context), pageSize_(pageSize) {
    ORVIK_ASSERT(context != nullptr);
    insertLineAtIndex(0);
}

RellumGrid::~RellumGrid() {
    delegate_ = nullptr;
}

// ---- Lines and storage offsets ----

uint64_t RellumGrid::indexOfLine(const RellumLine& line) {
    if (lineHint_ < lines_.size() && lines_[lineHint_].get() == &line) return lineHint_;
    // Origins grow strictly along the list (each line adds its text and a newline).
    auto it = std::lower_bound(lines_.begin(), lines_.end(), line.absoluteOrigin_ - base_,
                               [this](const std::unique_ptr<RellumLine>& l, uint64_t origin) {
                                   return l->absoluteOrigin_ - base_ < origin;
                               });
    ORVIK_ASSERT(it != lines_.end() && it->get() == &line);
    lineHint_ = uint64_t(it - lines_.begin());
    return lineHint_;
}

void RellumGrid::ripple(uint64_t fromIndex, int64_t delta) {
    if (delta == 0 || fromIndex >= lines_.size()) return;
    for (uint64_t i = fromIndex; i < lines_.size(); ++i)
        lines_[i]->absoluteOrigin_ += uint64_t(delta);
}

void RellumGrid::insertLineAtIndex(uint64_t index) {
    insertLinesAtIndex(index, 1);
}

std::unique_ptr<RellumLine> RellumGrid::makeLine() {
    std::unique_ptr<RellumLine> line;
    if (!spareLines_.empty()) {
        line = std::move(spareLines_.back());
        spareLines_.pop_back();
        if (line->packed_) {
            line->packed_.reset();
            if (!spareCells_.empty()) {
                line->elements_ = std::move(spareCells_.back());
                spareCells_.pop_back();
            }
        }
        line->elements_.clear();
        line->characterCount_ = 0;
        line->nextWrapSerial_ = 0;
        line->unitCells_ = true;
        line->delegateMark_ = 0;
    } else {
        line.reset(new RellumLine(static_cast<RellumLineDelegate*>(this)));
    }
    line->delegate_ = this;
    line->serial_ = nextSerial_++;
    return line;
}

void RellumGrid::insertLinesAtIndex(uint64_t index, uint64_t count) {
    ORVIK_ASSERT(index <= lines_.size());
    if (count == 0) return;
    if (delegate_) delegate_->gridWillChangeLines(*this);
    const bool wasEmpty = lines_.empty();
    uint64_t origin = base_;
    if (index > 0) {
        const RellumLine& prev = *lines_[index - 1];
        origin = prev.absoluteOrigin_ + prev.characterCount_ + 1;
    }
    // Empty lines, each one newline after the one before.
    lines_.insertEmpty(index, count);
    for (uint64_t k = 0; k < count; ++k) {
        lines_[index + k] = makeLine();
        lines_[index + k]->absoluteOrigin_ = origin + k;
    }
    // The first line of an empty list adds no newline.
    const uint64_t newlines = wasEmpty ? count - 1 : count;
    ripple(index + count, int64_t(newlines));
    if (delegate_ && newlines > 0) {
        // Each newline goes right after the text before it, so the reports
        // continue one another.
        const uint64_t first = origin - base_;
        for (uint64_t k = 0; k < newlines; ++k) {
            const uint64_t at = index == 0 ? k : first - 1 + k;
            delegate_->didInsertNewLineAtIndex(*this, at);
        }
    }
    trim();
    packLinesLeavingPage(count);
}

void RellumGrid::packLinesLeavingPage(uint64_t count) {
    const uint64_t pageFirst = lineIndexAtY(0);
    if (pageFirst > 0 && allowsScrollback()) packLines(pageFirst > count ? pageFirst - count : 0, pageFirst);
}

void RellumGrid::packLines(uint64_t from, uint64_t to) {
    for (uint64_t i = from; i < to && i < lines_.size(); ++i) {
        RellumElements released = lines_[i]->pack();
        if (spareCells_.size() < 8 && !released.empty()) {
            released.clear();
            spareCells_.push_back(std::move(released));
        }
    }
}

// Small and on the scrolling path: inlined into their callers.
inline RellumRange RellumGrid::removalRange(uint64_t index, uint64_t count) const {
    const uint64_t first = storageOriginOfLineAtIndex(index);
    const RellumLine& last = *lines_[index + count - 1];
    const uint64_t end = last.absoluteOrigin_ - base_ + last.characterCount_;
    if (index + count < lines_.size()) return {first, end - first + 1};
    if (index > 0) return {first - 1, end - first + 1};
    return {0, end - first};
}

inline void RellumGrid::retireLines(uint64_t index, uint64_t count) {
    for (uint64_t i = index; i < index + count; ++i) {
        if (spareLines_.size() < 8) {
            lines_[i]->delegate_ = nullptr;
            spareLines_.push_back(std::move(lines_[i]));
        } else {
            lines_[i].reset();
        }
    }
}

void RellumGrid::removeLinesInRange(uint64_t index, uint64_t count) {
    if (index >= lines_.size()) return;
    count = std::min<uint64_t>(count, lines_.size() - index);
    if (count == 0) return;
    if (delegate_) delegate_->gridWillChangeLines(*this);
    const bool follows = index + count < lines_.size();
    const RellumRange removed = removalRange(index, count);
    retireLines(index, count);
    lines_.erase(index, index + count);
    if (index == 0 && follows) {
        base_ = lines_[0]->absoluteOrigin_; // the rest keep their origins; only the base moves
        // Scrolling drops the oldest line again soon: fetch the lines that
        // will be dropped next while this one is being reused.
        if (lines_.size() > 16) __builtin_prefetch(lines_[16].get(), 1);
    } else
        ripple(index, -int64_t(removed.length));
    if (delegate_) delegate_->didDeleteCharactersInRange(*this, removed);
}

void RellumGrid::cycleLines(uint64_t top, uint64_t bottom, uint64_t count, bool up) {
    ORVIK_ASSERT(top > 0 && top + count <= bottom && bottom < lines_.size());
    if (delegate_) delegate_->gridWillChangeLines(*this);
    const uint64_t gone = up ? top : bottom + 1 - count;  // the first line to leave
    const uint64_t comes = up ? bottom + 1 - count : top; // where the new lines go
    const RellumRange removed = removalRange(gone, count);
    retireLines(gone, count);
    if (up)
        for (uint64_t i = gone; i + count <= bottom; ++i)
            lines_[i] = std::move(lines_[i + count]);
    else
        for (uint64_t i = bottom; i >= top + count; --i)
            lines_[i] = std::move(lines_[i - count]);
    // Lines that moved up lose the removed text; the new ones follow the line
    // above them, a newline each; lines that moved down gain the newlines;
    // those after the region lose the text and gain the newlines.
    uint64_t i = top;
    if (up)
        for (; i < comes; ++i)
            lines_[i]->absoluteOrigin_ -= removed.length;
    const RellumLine& above = *lines_[comes - 1];
    const uint64_t origin = above.absoluteOrigin_ + above.characterCount_ + 1;
    for (uint64_t k = 0; k < count; ++k, ++i) {
        lines_[i] = makeLine();
        lines_[i]->absoluteOrigin_ = origin + k;
    }
    if (!up)
        for (; i <= bottom; ++i)
            lines_[i]->absoluteOrigin_ += count;
    const uint64_t delta = count - removed.length; // modulo 2^64, as ripple adds it
    for (; i < lines_.size(); ++i)
        lines_[i]->absoluteOrigin_ += delta;
    if (delegate_) {
        delegate_->didDeleteCharactersInRange(*this, removed);
        delegate_->gridWillChangeLines(*this);
        for (uint64_t k = 0; k < count; ++k)
            delegate_->didInsertNewLineAtIndex(*this, origin - base_ - 1 + k);
    }
    packLinesLeavingPage(count);
}

void RellumGrid::trim() {
    const uint64_t keep = rows() + (allowsScrollback() ? maxScrollback_ : 0);
    if (lines_.size() > keep) removeLinesInRange(0, lines_.size() - keep);
}

void RellumGrid::ensureCursorLine() {
    while (lines_.size() < cursorY_ + 1)
        insertLineAtIndex(lines_.size());
}

std::u16string RellumGrid::string() const {
    std::u16string out;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (i) out.push_back(u'\n');
        const RellumLine& line = *lines_[i];
        if (line.packed_) {
            thread_local RellumElements cells;
            line.packed_.unpackInto(cells);
            cells.appendString(out, 0, cells.size(), nullptr, nullptr, nullptr, nullptr, false);
            continue;
        }
        const RellumElements& e = line.elements_;
        e.appendString(out, 0, e.size(), nullptr, nullptr, nullptr, nullptr, false);
    }
    return out;
}

// ---- Line delegate ----

uint64_t RellumGrid::lineCapacity(const RellumLine&) {
    return columns();
}

uint64_t RellumGrid::lineRightMargin(const RellumLine&) {
    if (hasHorizontalMargin() && cursorX_ <= rightMargin() + 1) return rightMargin();
    return columns() - 1;
}

void RellumGrid::didReplaceCharactersInRange(RellumLine& line, RellumRange range, std::u16string_view string,
                                             const RellumIndexSet* wideIndexes,
                                             const RellumIndexSet* voidIndexes,
                                             const RellumIndexSet* tabIndexes,
                                             const RellumIndexSet* combiningIndexes) {
    const uint64_t origin = line.absoluteOrigin_ - base_;
    if (delegate_) {
        const ChangingLine changing(*this, line, origin);
        delegate_->didReplaceCharactersInRange(*this, {origin + range.location, range.length}, string,
                                               wideIndexes, voidIndexes, tabIndexes, combiningIndexes);
    }
    // Text written over as much text moves no line.
    if (string.size() != range.length)
        ripple(indexOfLine(line) + 1, int64_t(string.size()) - int64_t(range.length));
}

void RellumGrid::didInsertString(RellumLine& line, std::u16string_view string, uint64_t at,
                                 const RellumIndexSet* wideIndexes, const RellumIndexSet* voidIndexes,
                                 const RellumIndexSet* tabIndexes, const RellumIndexSet* combiningIndexes) {
    const uint64_t index = indexOfLine(line);
    const uint64_t origin = line.absoluteOrigin_ - base_;
    if (delegate_) {
        const ChangingLine changing(*this, line, origin);
        delegate_->didInsertString(*this, string, origin + at, wideIndexes, voidIndexes, tabIndexes,
                                   combiningIndexes);
    }
    ripple(index + 1, int64_t(string.size()));
}

void RellumGrid::didDeleteCharactersInRange(RellumLine& line, RellumRange range) {
    const uint64_t index = indexOfLine(line);
    const uint64_t origin = line.absoluteOrigin_ - base_;
    if (delegate_) {
        const ChangingLine changing(*this, line, origin);
        delegate_->didDeleteCharactersInRange(*this, {origin + range.location, range.length});
    }
    ripple(index + 1, -int64_t(range.length));
}

// ---- Margins ----

uint64_t RellumGrid::topMargin() const {
    return std::min(context_->topPageMargin(), rows() - 1);
}
uint64_t RellumGrid::bottomMargin() const {
    return std::max(topMargin(), std::min(context_->bottomPageMargin(), rows() - 1));
}
uint64_t RellumGrid::leftMargin() const {
    return std::min(context_->leftPageMargin(), columns() - 1);
}
uint64_t RellumGrid::rightMargin() const {
    return std::max(leftMargin(), std::min(context_->rightPageMargin(), columns() - 1));
}
bool RellumGrid::hasHorizontalMargin() const {
    return context_->respectsHorizontalMargin() && (leftMargin() != 0 || rightMargin() != columns() - 1);
}
bool RellumGrid::hasVerticalMargin() const {
    return topMargin() != 0 || bottomMargin() != rows() - 1;
}

// ---- Size and scrollback ----

void RellumGrid::setPageSize(RellumPageSize size) {
    if (size == pageSize_) return;
    const uint64_t oldRows = rows();
    // The cursor stays on its line, full page or not (the shell's redraw
    // after a resize must land where its prompt is); only a line that the
    // smaller page no longer shows leaves it on the first row.
    const uint64_t cursorLine = cursorLineIndex();
    pageSize_ = size;
    const uint64_t newRows = rows();
    const uint64_t first = lines_.size() > newRows ? lines_.size() - newRows : 0;
    const uint64_t y = cursorLine > first ? cursorLine - first : 0;
    cursorX_ = std::min(cursorX_, columns());
    setCursorY(y);
    setCursorX(std::min(cursorX_, columns()));
    trim();
    if (allowsScrollback() && newRows < oldRows) {
        // The lines a smaller page left behind.
        const uint64_t first = lineIndexAtY(0);
        const uint64_t left = oldRows - newRows;
        packLines(first > left ? first - left : 0, first);
    }
}

void RellumGrid::setMaxScrollback(uint64_t maxScrollback) {
    maxScrollback_ = maxScrollback;
    trim();
}

// ---- Cursor ----

void RellumGrid::setCursorX(uint64_t x) {
    cursorX_ = std::min(x, columns());
    mutableCursorLine().ensureElementIntegrityAtIndex(cursorX_);
}

void RellumGrid::setCursorY(uint64_t y) {
    cursorY_ = std::min(y, rows() - 1);
    ensureCursorLine();
    mutableCursorLine().ensureElementIntegrityAtIndex(std::min(cursorX_, columns()));
}

uint64_t RellumGrid::cursorLocation() const {
    const RellumLine& line = cursorLine();
    return line.absoluteOrigin_ - base_ + line.insertionPositionAtElementIndex(cursorX_);
}

std::optional<RellumCombiningElement> RellumGrid::elementAtCursor() const {
    return cursorLine().elementsAtIndex(cursorX_);
}

uint64_t RellumGrid::breakTypeAtLineY(uint64_t y) {
    const uint64_t index = lineIndexAtY(std::min(y, rows() - 1));
    if (index >= lines_.size()) return RellumLineBreakTypeHard;
    return mutableLine(index).breakType(nextLine(index));
}

void RellumGrid::saveCursor() {
    savedContext_ = context_->copy();
    savedCursorCoord_ = {int64_t(cursorX_), int64_t(cursorY_)};
}

void RellumGrid::restoreCursor() {
    if (savedCursorCoord_.x >= 0 && savedCursorCoord_.y >= 0) {
        setCursorX(uint64_t(savedCursorCoord_.x));
        setCursorY(uint64_t(savedCursorCoord_.y));
    }
    if (savedContext_) context_->mergeFromCursorContext(*savedContext_);
}

// ---- Writing ----

void RellumGrid::renderElementsFromCursor(const RellumElements& elements) {
    const std::size_t total = elements.size();
    std::size_t done = 0;
    bool justWrapped = false;
    while (done < total) {
        RellumLine& line = mutableCursorLine();
        const uint64_t placed = context_->insertMode() ? line.insertElements(elements, cursorX_, done)
                                                       : line.writeElements(elements, cursorX_, done);
        done += placed;
        cursorX_ += placed;
        if (done == total) break;
        if (placed == 0 && (justWrapped || cursorX_ == leftMargin())) {
            // Nothing fits even at the start of a row (a double-width
            // character on a one-column page): drop it so printing goes on.
            done += (elements[done].isWide() && done + 1 < total && elements[done + 1].isWideRight()) ? 2 : 1;
            continue;
        }
        if (context_->autoWrapMode()) {
            wrapCursor();
            justWrapped = true;
            continue;
        }
        // No auto-wrap: every character that does not fit is written over
        // the last column in turn, so only the last one stays. A double-width
        // one among them, followed by narrow ones, has had its left half left
        // behind in the column before, cut off from its right half: write it
        // first so the result is the same however the text was split.
        if (isRightMarginAtEdge()) mutableCursorLine().setNextWrapLine(nullptr);
        const uint64_t margin = lineRightMargin(line);
        if (!elements[total - 1].isWideRight() && margin >= 1) {
            for (std::size_t i = total - 1; i > done; --i) {
                if (elements[i].isWideRight()) {
                    mutableCursorLine().replaceElementsInRange({margin - 1, 2}, elements, i - 1, 2, true);
                    break;
                }
            }
        }
        if (elements[total - 1].isWideRight() && total >= 2) {
            if (margin >= 1)
                mutableCursorLine().replaceElementsInRange({margin - 1, 2}, elements, total - 2, 2, true);
        } else {
            mutableCursorLine().replaceElementsInRange({margin, 1}, elements, total - 1, 1, true);
        }
        // The cursor ends past the last column, as after a write that just
        // fits, even when a double-width character stopped it one column short.
        cursorX_ = margin + 1;
        break;
    }
}

void RellumGrid::wrapCursor() {
    moveCursorToLeftMargin();
    moveCursorDownOrNewline();
    const uint64_t index = cursorLineIndex();
    if (!hasHorizontalMargin() && index > 0) mutableLine(index - 1).setNextWrapLine(lines_[index].get());
}

std::size_t RellumGrid::renderASCIIFromCursor(const char* bytes, std::size_t count) {
    if (context_->insertMode()) return 0;
    std::size_t done = 0;
    while (done < count) {
        uint64_t placed = 0;
        if (!mutableCursorLine().writeASCII(bytes + done, count - done, cursorX_, &placed)) break;
        done += placed;
        cursorX_ += placed;
        // Nothing placed even at the left margin, or no auto-wrap: the
        // general path knows what becomes of the rest.
        if (done == count || (placed == 0 && cursorX_ == leftMargin()) || !context_->autoWrapMode()) break;
        wrapCursor();
    }
    return done;
}

void RellumGrid::insertBlankAtCursorWithCount(uint64_t count) {
    if (count == 0) return;
    count = std::min(count, columns());
    RellumElements blanks = RellumElements::rellum_arrayOfElement(RellumElement::whitespaceElement(), count);
    mutableCursorLine().insertElements(blanks, cursorX_);
}

void RellumGrid::deleteElementsAtCursorWithCount(uint64_t count) {
    RellumLine& line = mutableCursorLine();
    const uint64_t margin = lineRightMargin(line);
    if (cursorX_ > margin) return;
    count = std::min(count, margin + 1 - cursorX_);
    if (count == 0) return;
    if (hasHorizontalMargin()) {
        const uint64_t from = cursorX_ + count;
        RellumElements cells;
        if (from <= margin) {
            if (auto moved = line.elementsInRange({from, margin - from + 1})) cells = std::move(*moved);
        }
        for (uint64_t i = 0; i < count; ++i)
            cells.append(RellumElement::voidPaddingElement());
        line.replaceElementsInRange({cursorX_, cells.size()}, cells, true);
    } else {
        if (line.removeElementsInRange({cursorX_, count}) > 0) line.setNextWrapLine(nullptr);
    }
}

void RellumGrid::eraseCharacterWithCount(uint64_t count) {
    if (cursorX_ >= columns()) return;
    count = std::min(count, columns() - cursorX_);
    if (count == 0) return;
    mutableCursorLine().eraseElementsInRange({cursorX_, count});
}

// ---- Moves ----

bool RellumGrid::reverseWrapApplies() {
    if (!context_->autoWrapMode()) return false;
    if (!(cursorX_ == leftMargin() || cursorX_ == 0)) return false;
    if (cursorY_ == topMargin() || cursorY_ == 0) return false;
    if (context_->reverseWrapMode()) return true;
    if (hasHorizontalMargin()) return false;
    const uint64_t type = breakTypeAtLineY(cursorY_ - 1);
    return type == RellumLineBreakTypeSoftWrap || type == RellumLineBreakTypeWideWrap;
}

void RellumGrid::moveCursorBackspace() {
    if (cursorX_ >= columns() && context_->reverseWrapMode() && context_->autoWrapMode()) {
        setCursorX(rightMargin());
        return;
    }
    if (reverseWrapApplies()) {
        setCursorY(cursorY_ - 1);
        setCursorX(rightMargin());
        return;
    }
    if (cursorX_ == leftMargin() || (cursorX_ == 0)) return;
    setCursorX(cursorX_ >= columns() ? cursorX_ - 2 : cursorX_ - 1);
}

void RellumGrid::moveCursorLeftWithCount(uint64_t count) {
    if (count == 0) return;
    if (!hasHorizontalMargin()) {
        uint64_t x = cursorX_, y = cursorY_, remaining = count;
        while (remaining > 0) {
            if (x == 0 && y == 0) break;
            if (x > 0) {
                const uint64_t step = std::min(x, remaining);
                x -= step;
                remaining -= step;
                continue;
            }
            const uint64_t type = breakTypeAtLineY(y - 1);
            if (type != RellumLineBreakTypeSoftWrap && type != RellumLineBreakTypeWideWrap) break;
            --y;
            x = rightMargin();
            --remaining;
        }
        setCursorY(y);
        setCursorX(x);
        return;
    }
    const uint64_t floor = cursorX_ < leftMargin() ? 0 : leftMargin();
    setCursorX(cursorX_ > floor + count ? cursorX_ - count : floor);
}

void RellumGrid::moveCursorRightWithCount(uint64_t count) {
    const uint64_t limit = cursorX_ > rightMargin() ? columns() - 1 : rightMargin();
    setCursorX(std::min(cursorX_ + std::min(count, columns()), limit));
}

void RellumGrid::moveCursorUpWithCount(uint64_t count) {
    const uint64_t floor = cursorY_ >= topMargin() ? topMargin() : 0;
    const uint64_t y = cursorY_ > floor + count ? cursorY_ - count : floor;
    if (cursorX_ >= columns()) setCursorX(columns() - 1);
    setCursorY(y);
}

void RellumGrid::moveCursorDownWithCount(uint64_t count) {
    const uint64_t ceiling = cursorY_ <= bottomMargin() ? bottomMargin() : rows() - 1;
    const uint64_t y = std::min(cursorY_ + std::min(count, rows()), ceiling);
    if (cursorX_ >= columns()) setCursorX(columns() - 1);
    setCursorY(y);
}

void RellumGrid::moveCursorToLeftMargin() {
    setCursorX(cursorX_ < leftMargin() ? 0 : leftMargin());
}

void RellumGrid::moveCursorToNextTabStop() {
    // Past the last column the next character wraps first: a tab there keeps
    // that state rather than stepping back over the last character.
    if (cursorX_ >= columns()) return;
    const uint64_t limit = hasHorizontalMargin() && cursorX_ <= rightMargin() ? rightMargin() : columns() - 1;
    const uint64_t target = std::min(context_->nextTabStopAfterX(cursorX_), limit);
    mutableCursorLine().markNextTabStopAtIndex(target, cursorX_);
    setCursorX(target);
}

void RellumGrid::moveCursorDownOrNewline() {
    // A line feed ends a pending wrap: the cursor stays on the last column.
    if (cursorX_ >= columns()) setCursorX(columns() - 1);
    if (cursorY_ == bottomMargin()) {
        panDownWithCount(1);
    } else if (cursorY_ + 1 < rows()) {
        setCursorY(cursorY_ + 1);
    }
}

void RellumGrid::moveCursorUpOrNewline() {
    if (cursorX_ >= columns()) setCursorX(columns() - 1);
    if (cursorY_ == topMargin()) {
        panUpWithCount(1);
    } else if (cursorY_ > 0) {
        setCursorY(cursorY_ - 1);
    }
}

// ---- Scrolling ----

void RellumGrid::panDownWithCount(uint64_t count) {
    if (count == 0) return;
    // The margin rows' lines, worked out once: removing or adding lines
    // moves the page's first index while a page with scrollback is panned.
    while (lines_.size() <= lineIndexAtY(bottomMargin()))
        insertLineAtIndex(lines_.size());
    const uint64_t top = lineIndexAtY(topMargin());
    const uint64_t bottom = lineIndexAtY(bottomMargin());
    const uint64_t n = std::min(count, bottom - top + 1);
    if (!hasHorizontalMargin()) {
        if (hasVerticalMargin()) {
            if (top > 0 && top + n <= bottom) {
                cycleLines(top, bottom, n, true);
            } else {
                removeLinesInRange(top, n);
                insertLinesAtIndex(bottom + 1 - n, n);
            }
        } else {
            // The page moves down: its old first lines become scrollback.
            insertLinesAtIndex(lines_.size(), n);
        }
    } else {
        const uint64_t left = leftMargin(), width = rightMargin() - left + 1;
        for (uint64_t i = top; i + n <= bottom; ++i) {
            RellumElements cells;
            if (auto moved = lines_[i + n]->elementsInRange({left, width})) cells = std::move(*moved);
            mutableLine(i).replaceElementsInRange({left, width}, cells, false);
        }
        for (uint64_t i = bottom + 1 - n; i <= bottom; ++i)
            mutableLine(i).eraseElementsInRange({left, width});
        for (uint64_t i = top; i <= bottom; ++i) {
            if (isRightMarginAtEdge()) mutableLine(i).setNextWrapLine(nullptr);
            if (isLeftMarginAtEdge() && i > 0 && i < bottom) mutableLine(i - 1).setNextWrapLine(nullptr);
        }
    }
    ensureCursorLine();
}

void RellumGrid::panUpWithCount(uint64_t count) {
    if (count == 0) return;
    while (lines_.size() <= lineIndexAtY(bottomMargin()))
        insertLineAtIndex(lines_.size());
    const uint64_t top = lineIndexAtY(topMargin());
    const uint64_t bottom = lineIndexAtY(bottomMargin());
    const uint64_t n = std::min(count, bottom - top + 1);
    if (!hasHorizontalMargin()) {
        if (top > 0 && top + n <= bottom) {
            cycleLines(top, bottom, n, false);
        } else {
            removeLinesInRange(bottom + 1 - n, n);
            insertLinesAtIndex(top, n);
        }
    } else {
        const uint64_t left = leftMargin(), width = rightMargin() - left + 1;
        if (top > 0 && isLeftMarginAtEdge()) mutableLine(top - 1).setNextWrapLine(nullptr);
        for (uint64_t i = bottom; i >= top + n; --i) {
            RellumElements cells;
            if (auto moved = lines_[i - n]->elementsInRange({left, width})) cells = std::move(*moved);
            mutableLine(i).replaceElementsInRange({left, width}, cells, false);
        }
        for (uint64_t i = top; i < top + n; ++i)
            mutableLine(i).eraseElementsInRange({left, width});
        if (isRightMarginAtEdge())
            for (uint64_t i = top; i <= bottom; ++i)
                mutableLine(i).setNextWrapLine(nullptr);
    }
    ensureCursorLine();
}

// ---- Erasing ----

void RellumGrid::tryTrimLine(RellumLine& line) {
    if (line.elementCount() > columns())
        line.removeElementsInRange({columns(), line.elementCount() - columns()});
}

void RellumGrid::eraseWholeLine(RellumLine& line) {
    line.eraseElementsInRange({0, columns()});
    tryTrimLine(line);
}

void RellumGrid::eraseFromCursorToLineEnd() {
    RellumLine& line = mutableCursorLine();
    if (cursorX_ < columns()) line.eraseElementsInRange({cursorX_, columns() - cursorX_});
    tryTrimLine(line);
}

void RellumGrid::eraseFromCursorToLineStart() {
    mutableCursorLine().eraseElementsInRange({0, std::min(cursorX_ + 1, columns())});
}

void RellumGrid::eraseCursorLineEntirely() {
    eraseWholeLine(mutableCursorLine());
}

void RellumGrid::eraseFromCursorToDisplayEnd() {
    eraseFromCursorToLineEnd();
    for (uint64_t i = cursorLineIndex() + 1; i < lines_.size(); ++i)
        eraseWholeLine(mutableLine(i));
}

void RellumGrid::eraseFromCursorToDisplayStart() {
    const uint64_t first = lineIndexAtY(0);
    const uint64_t cursorIndex = cursorLineIndex();
    for (uint64_t i = first; i < cursorIndex; ++i)
        eraseWholeLine(mutableLine(i));
    eraseFromCursorToLineStart();
}

void RellumGrid::eraseDisplayEntirely() {
    for (uint64_t i = lineIndexAtY(0); i < lines_.size(); ++i)
        eraseWholeLine(mutableLine(i));
}

void RellumGrid::eraseScrollbackBuffer() {
    const uint64_t first = lineIndexAtY(0);
    if (first > 0) removeLinesInRange(0, first);
}

void RellumGrid::deleteLinesInRange(RellumRange range) {
    removeLinesInRange(range.location, range.length);
    if (lines_.empty()) insertLineAtIndex(0);
    ensureCursorLine();
}

std::string RellumGrid::debugDescription() {
    std::string out;
    for (uint64_t i = 0; i < lines_.size(); ++i) {
        if (i) out += "\n";
        out += mutableLine(i).debugDescription(nextLine(i));
    }
    return out;
}
