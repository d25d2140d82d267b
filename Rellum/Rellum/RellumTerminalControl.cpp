#include "Rellum/RellumTerminal.h"

#include "Dispatch/SerialQueue.h"

#include <algorithm>
#include <array>
#include <cstring>

// The control functions on the screen: text, C0 controls, cursor moves,
// erasing, insertion and deletion, tabulation, resets and the screen switch.
// All run on the render queue; every count the host sends is limited to the
// page before it drives a loop. Modes, reports and window operations are in
// RellumTerminalReports.cpp.

namespace {

// DEC Special Graphics for the bytes 0x5F..0x7E.
constexpr std::array<char32_t, 32> RellumLineDrawingCharacters = {
    0x00A0, 0x25C6, 0x2592, 0x2409, 0x240C, 0x240D, 0x240A, 0x00B0, 0x00B1, 0x2424, 0x240B,
    0x2518, 0x2510, 0x250C, 0x2514, 0x253C, 0x23BA, 0x23BB, 0x2500, 0x23BC, 0x23BD, 0x251C,
    0x2524, 0x2534, 0x252C, 0x2502, 0x2264, 0x2265, 0x03C0, 0x2260, 0x00A3, 0x00B7,
};

uint64_t pageColumns(const RellumContext& context) {
    return uint64_t(std::max<int64_t>(1, context.pageSize().width));
}

uint64_t pageRows(const RellumContext& context) {
    return uint64_t(std::max<int64_t>(1, context.pageSize().height));
}

// A 1-based position from the host as a 0-based index.
uint64_t indexFromPosition(uint64_t position) {
    return position == 0 ? 0 : position - 1;
}

} // namespace

void RellumTerminal::willScanData(RellumScanner&, std::string_view) {}

void RellumTerminal::didScanPartialData(RellumScanner&, std::string_view, uint64_t) {}

void RellumTerminal::scannerDidScanData(RellumScanner&) {}

// ---- Text ----

bool RellumTerminal::holdText(const char* chars, uint64_t length) {
    if (heldLength_ == 0) {
        // Only text that follows text written at the cursor, so a line of
        // plain output (text, then a new line) is written at once as before.
        if (!textJustWritten_ || context_->lineDrawingMode() || context_->insertMode()) return false;
        RellumGrid* grid = activeGrid();
        const RellumLine& line = grid->cursorLine();
        const uint64_t x = grid->cursorX();
        const uint64_t end = grid->cursorRightMargin() + 1;
        // The write must land whole in this line's unit cells, with no
        // padding before it (which would take the rendition in force then).
        if (!line.hasUnitCells() || x > line.elementCount() || x >= end) return false;
        heldRoom_ = end - x;
        if (heldText_.size() < heldRoom_) {
            heldText_.resize(heldRoom_);
            heldCodes_.resize(heldRoom_);
        }
    }
    if (length > heldRoom_ - heldLength_) return false;
    std::memcpy(heldText_.data() + heldLength_, chars, length);
    std::fill_n(heldCodes_.data() + heldLength_, length, renditionNumber(RellumCellRole::Text));
    heldLength_ += length;
    return true;
}

void RellumTerminal::releaseHeldText(RellumScanner&) {
    textJustWritten_ = false;
    if (heldLength_ == 0) return;
    heldCodesInUse_ = heldCodes_.data();
    const std::size_t written = activeGrid()->renderASCIIFromCursor(heldText_.data(), heldLength_);
    heldCodesInUse_ = nullptr;
    ORVIK_ASSERT(written == heldLength_);
    heldLength_ = 0;
}

void RellumTerminal::renderASCIIChars(RellumScanner& scanner, const char* chars, uint64_t length) {
    if (holdText(chars, length)) return;
    releaseHeldText(scanner);
    textJustWritten_ = true;
    if (!context_->lineDrawingMode()) {
        // Printable text (as the scanner hands it) over plain cells goes straight into the line.
        const std::size_t done = activeGrid()->renderASCIIFromCursor(chars, std::size_t(length));
        chars += done;
        length -= done;
        if (length == 0) return;
    }
    runElements_.assignFromASCIIChars(chars, std::size_t(length));
    if (runElements_.empty()) return;
    if (context_->lineDrawingMode()) {
        for (std::size_t i = 0; i < runElements_.size(); ++i) {
            const char32_t c = runElements_[i].uchar;
            if (c >= 0x5F && c <= 0x7E)
                runElements_.setElement(i, RellumElement(RellumLineDrawingCharacters[c - 0x5F]));
        }
    }
    activeGrid()->renderElementsFromCursor(runElements_);
}

void RellumTerminal::renderMBCSString(RellumScanner& scanner, std::u32string_view string) {
    releaseHeldText(scanner);
    runElements_.assignFromMBCSUTF32Chars(string.data(), string.size());
    if (runElements_.empty()) return;
    RellumGrid* grid = activeGrid();
    if (!runElements_[0].inUnicodeMarkCategory()) {
        // Most runs carry no mark: they go to the grid as decoded.
        bool hasMark = false;
        for (std::size_t i = 1; i < runElements_.size() && !hasMark; ++i)
            hasMark = runElements_[i].inUnicodeMarkCategory();
        if (hasMark) runElements_.mergeCombiningMarksFrom(0);
        grid->renderElementsFromCursor(runElements_);
        return;
    }

    // A mark first in the run belongs to the character before the cursor:
    // that cell (both halves of a double-width one) is written again with
    // the mark attached.
    RellumElements run;
    std::size_t baseCells = 1;
    if (grid->cursorX() == 0 && grid->breakTypeAtLineY(grid->cursorY()) == RellumLineBreakTypeHard) {
        run.append(RellumElement::whitespaceElement());
    } else {
        grid->moveCursorLeftWithCount(1);
        std::optional<RellumCombiningElement> base = grid->elementAtCursor();
        if (base && base->base().isWideRight() && grid->cursorX() > 0) {
            grid->moveCursorLeftWithCount(1);
            base = grid->elementAtCursor();
        }
        // A mark on an empty cell sits on a space, as at the start of a line.
        if (!base || base->uchar < 0x20) base = RellumCombiningElement(RellumElement::kWhitespace);
        run.append(*base);
        if (base->base().isWide()) {
            run.append(RellumElement::wideRightElement());
            baseCells = 2;
        }
    }
    run.appendElements(runElements_);
    RellumElements merged = run.rellum_arrayByMergingCombiningMarkElement();

    if (!context_->insertMode()) {
        grid->renderElementsFromCursor(merged);
        return;
    }
    // In insert mode only what follows the marks is inserted: the character
    // that takes them is rewritten in place, not inserted a second time.
    baseCells = std::min(baseCells, merged.size());
    RellumElements head, tail;
    head.appendElements(merged, 0, baseCells);
    tail.appendElements(merged, baseCells, merged.size() - baseCells);
    context_->setInsertMode(false);
    grid->renderElementsFromCursor(head);
    context_->setInsertMode(true);
    if (!tail.empty()) grid->renderElementsFromCursor(tail);
}

// Pieces of one text run become the cells each would write on its own and
// go to the grid at once: a grid write costs about the same for two cells as
// for twenty. Only pieces that stay inside the line are joined (at the
// margin, wrapping and wide characters depend on where a write ends); the
// rest are written one by one. A piece that starts with a mark joins the
// last cell waiting to be written, the cell the cursor would step back to.
bool RellumTerminal::acceptsTextSegments(RellumScanner&) {
    return !context_->insertMode();
}

void RellumTerminal::renderTextSegments(RellumScanner& scanner, const RellumTextSegment* segments,
                                        std::size_t count) {
    releaseHeldText(scanner);
    auto renderOne = [&](const RellumTextSegment& segment) {
        if (segment.ascii)
            renderASCIIChars(scanner, segment.ascii, segment.asciiLength);
        else
            renderMBCSString(scanner, segment.codePoints);
    };
    if (count == 1) {
        renderOne(segments[0]);
        return;
    }
    RellumGrid* grid = activeGrid();
    const uint64_t width = uint64_t(std::max<int64_t>(1, grid->pageSize().width));
    const bool margins = context_->hasHorizontalPageMargin();
    std::size_t first = 0; // first piece not written yet
    segmentElements_.clear();
    segmentEnds_.clear();
    // Writes the waiting pieces [first, upTo): the longest run of whole
    // pieces that ends inside the line at once, the others one by one.
    auto writeWaiting = [&](std::size_t upTo) {
        std::size_t joined = 0, cells = 0;
        if (!margins) {
            for (std::size_t i = segmentEnds_.size(); i-- > 0;) {
                if (segmentEnds_[i].cuttable && grid->cursorX() + segmentEnds_[i].cells < width) {
                    joined = i + 1;
                    cells = segmentEnds_[i].cells;
                    break;
                }
            }
        }
        if (cells == segmentElements_.size() && cells > 0) {
            grid->renderElementsFromCursor(segmentElements_);
        } else if (cells > 0) {
            segmentHead_.clear();
            segmentHead_.appendElements(segmentElements_, 0, cells);
            grid->renderElementsFromCursor(segmentHead_);
        }
        for (std::size_t k = first + joined; k < upTo; ++k)
            renderOne(segments[k]);
        first = upTo;
        segmentElements_.clear();
        segmentEnds_.clear();
    };
    // Each piece is decoded straight after the cells waiting before it.
    for (std::size_t k = 0; k < count; ++k) {
        const RellumTextSegment& segment = segments[k];
        const std::size_t start = segmentElements_.size();
        if (segment.ascii) {
            segmentElements_.appendASCIIChars(segment.ascii, std::size_t(segment.asciiLength));
            if (context_->lineDrawingMode()) {
                for (std::size_t i = start; i < segmentElements_.size(); ++i) {
                    const char32_t c = segmentElements_[i].uchar;
                    if (c >= 0x5F && c <= 0x7E)
                        segmentElements_.setElement(i, RellumElement(RellumLineDrawingCharacters[c - 0x5F]));
                }
            }
            segmentEnds_.push_back({segmentElements_.size(), true});
            continue;
        }
        const bool hasMark =
            segmentElements_.appendMBCSUTF32Chars(segment.codePoints.data(), segment.codePoints.size());
        if (segmentElements_.size() == start) {
            segmentEnds_.push_back({start, true});
            continue;
        }
        if (segmentElements_[start].inUnicodeMarkCategory()) {
            std::size_t baseAt = start, baseCells = 0;
            if (start > 0) {
                baseAt = start - 1;
                baseCells = 1;
                if (segmentElements_[baseAt].isWideRight() && baseAt > 0) {
                    --baseAt;
                    baseCells = 2;
                }
            }
            if (baseCells == 0 || segmentElements_[baseAt].uchar < 0x20) {
                segmentElements_.resize(start);
                writeWaiting(k);
                renderOne(segment);
                first = k + 1;
                continue;
            }
            // The leading marks join the last waiting cell, the one the
            // cursor would step back to.
            segmentElements_.mergeCombiningMarksFrom(start);
            // The piece before has changed: it can no longer end a joined write.
            segmentEnds_.back().cuttable = false;
            segmentEnds_.push_back({segmentElements_.size(), true});
            continue;
        }
        if (hasMark) segmentElements_.mergeCombiningMarksFrom(start);
        segmentEnds_.push_back({segmentElements_.size(), true});
    }
    writeWaiting(count);
}

// ---- C0 controls and escape sequences ----

void RellumTerminal::scannerRingBell(RellumScanner&) {
    const double now = std::chrono::duration<double>(renderQueue().clock()->now()).count();
    if (lastBellTimestamp_ && now - *lastBellTimestamp_ < kBellInterval) return;
    lastBellTimestamp_ = now;
    if (auto d = delegate()) d->terminalRingBell(*this);
}

void RellumTerminal::scannerBackspace(RellumScanner&) {
    activeGrid()->moveCursorBackspace();
}

void RellumTerminal::scannerNextTabStop(RellumScanner&) {
    activeGrid()->moveCursorToNextTabStop();
}

void RellumTerminal::scannerLineFeed(RellumScanner&) {
    activeGrid()->moveCursorDownOrNewline();
}

void RellumTerminal::scannerCarriageReturn(RellumScanner&) {
    activeGrid()->moveCursorToLeftMargin();
}

void RellumTerminal::setCharset(RellumScanner&, uint64_t charset) {
    context_->setCharset(charset);
}

void RellumTerminal::scannerReverseLineFeed(RellumScanner&) {
    activeGrid()->moveCursorUpOrNewline();
}

void RellumTerminal::scannerSetTabStopAtCursor(RellumScanner&) {
    context_->addTabStopAtX(std::min(activeGrid()->cursorX(), pageColumns(*context_) - 1));
}

void RellumTerminal::scannerScreenAlignmentPattern(RellumScanner&) {
    context_->resetPageMargins();
    RellumGrid* grid = activeGrid();
    const uint64_t columns = pageColumns(*context_), rows = pageRows(*context_);
    const RellumElements row = RellumElements::rellum_arrayOfElement(RellumElement(U'E'), columns);
    // The pattern fills the screen; it never pushes text aside.
    const bool insert = context_->insertMode();
    context_->setInsertMode(false);
    for (uint64_t y = 0; y < rows; ++y) {
        grid->setCursorX(0);
        grid->setCursorY(y);
        grid->renderElementsFromCursor(row);
    }
    context_->setInsertMode(insert);
    grid->setCursorX(0);
    grid->setCursorY(0);
}

void RellumTerminal::scannerSaveCursor(RellumScanner&) {
    activeGrid()->saveCursor();
}

void RellumTerminal::scannerRestoreCursor(RellumScanner&) {
    activeGrid()->restoreCursor();
}

void RellumTerminal::scannerFullReset(RellumScanner&) {
    const bool wasReverseVideo = context_->reverseVideoMode();
    fullReset();
    // The new state is in normal video: the view must leave the swapped
    // background too, or the default text would be drawn on its own colour.
    if (wasReverseVideo) {
        const std::optional<RellumColor> background = defaultBackgroundColor();
        appendEditBlock([this, background] {
            if (RellumScreenController* controller = screenController())
                controller->updateBackgroundColor(background);
        });
    }
}

void RellumTerminal::applicationKeypadMode(RellumScanner&, bool enabled) {
    context_->setApplicationKeypadMode(allowsApplicationKeypad() ? enabled : false);
}

void RellumTerminal::designateCharset(RellumScanner&, uint64_t charset, bool drawLine) {
    context_->setCharset(charset, drawLine);
}

// ---- Insertion, deletion and erasing ----

void RellumTerminal::insertSpaceWithCount(RellumScanner&, uint64_t count) {
    RellumGrid* grid = activeGrid();
    if (!context_->isPageMarginsContainX(grid->cursorX(), grid->cursorY())) return;
    grid->insertBlankAtCursorWithCount(std::min(count, pageColumns(*context_)));
}

void RellumTerminal::deleteCharacterWithCount(RellumScanner&, uint64_t count) {
    RellumGrid* grid = activeGrid();
    if (!context_->isPageMarginsContainX(grid->cursorX(), grid->cursorY())) return;
    grid->deleteElementsAtCursorWithCount(std::min(count, pageColumns(*context_)));
}

void RellumTerminal::eraseCharacterWithCount(RellumScanner&, uint64_t count) {
    activeGrid()->eraseCharacterWithCount(std::min(count, pageColumns(*context_)));
}

void RellumTerminal::eraseDisplayWithArea(RellumScanner&, uint64_t area) {
    RellumGrid* grid = activeGrid();
    switch (area) {
    case 0:
        grid->eraseFromCursorToDisplayEnd();
        break;
    case 1:
        grid->eraseFromCursorToDisplayStart();
        break;
    case 2:
        grid->eraseDisplayEntirely();
        break;
    case 3:
        grid->eraseScrollbackBuffer();
        break;
    default:
        break;
    }
}

void RellumTerminal::eraseLineWithArea(RellumScanner&, uint64_t area) {
    RellumGrid* grid = activeGrid();
    switch (area) {
    case 0:
        grid->eraseFromCursorToLineEnd();
        break;
    case 1:
        grid->eraseFromCursorToLineStart();
        break;
    case 2:
        grid->eraseCursorLineEntirely();
        break;
    default:
        break;
    }
}

void RellumTerminal::panLinesAtCursor(uint64_t count, bool insert) {
    RellumGrid* grid = activeGrid();
    if (count == 0 || !context_->isPageMarginsContainX(grid->cursorX(), grid->cursorY())) return;
    count = std::min(count, pageRows(*context_));
    const RellumRange saved = context_->verticalPageMargin();
    const uint64_t y = grid->cursorY();
    context_->setVerticalPageMargin({y, context_->bottomPageMargin() + 1 - y});
    if (insert)
        grid->panUpWithCount(count);
    else
        grid->panDownWithCount(count);
    context_->setVerticalPageMargin(saved);
    // Inserted or deleted lines start over at the left margin, where a host
    // writing the new lines expects the cursor.
    grid->moveCursorToLeftMargin();
}

void RellumTerminal::insertLineWithCount(RellumScanner&, uint64_t count) {
    panLinesAtCursor(count, true);
}

void RellumTerminal::deleteLineWithCount(RellumScanner&, uint64_t count) {
    panLinesAtCursor(count, false);
}

// ---- Cursor moves ----

void RellumTerminal::cursorUpwardWithCount(RellumScanner&, uint64_t count, bool moveToLeftMargin) {
    RellumGrid* grid = activeGrid();
    grid->moveCursorUpWithCount(std::min(count, pageRows(*context_)));
    if (moveToLeftMargin) grid->moveCursorToLeftMargin();
}

void RellumTerminal::cursorDownwardWithCount(RellumScanner&, uint64_t count, bool moveToLeftMargin) {
    RellumGrid* grid = activeGrid();
    grid->moveCursorDownWithCount(std::min(count, pageRows(*context_)));
    if (moveToLeftMargin) grid->moveCursorToLeftMargin();
}

void RellumTerminal::cursorForwardWithCount(RellumScanner&, uint64_t count) {
    activeGrid()->moveCursorRightWithCount(std::min(count, pageColumns(*context_)));
}

void RellumTerminal::cursorBackwardWithCount(RellumScanner&, uint64_t count) {
    // Backward moves may climb soft-wrapped lines: at most the whole page.
    const uint64_t limit = pageColumns(*context_) * pageRows(*context_);
    activeGrid()->moveCursorLeftWithCount(std::min(count, limit));
}

void RellumTerminal::moveCursorToColumn(uint64_t column) {
    // A column past the page is the last column, not the position past it
    // where the next character would wrap first.
    uint64_t x = std::min(indexFromPosition(column), pageColumns(*context_) - 1);
    if (context_->originMode()) {
        const uint64_t left = context_->leftPageMargin(), right = context_->rightPageMargin();
        x = std::max(left, std::min(right, left + x));
    }
    activeGrid()->setCursorX(x);
}

void RellumTerminal::moveCursorToRowIndex(uint64_t row) {
    uint64_t y = std::min(indexFromPosition(row), pageRows(*context_) - 1);
    if (context_->originMode()) {
        const uint64_t top = context_->topPageMargin(), bottom = context_->bottomPageMargin();
        y = std::max(top, std::min(bottom, top + y));
    }
    activeGrid()->setCursorY(y);
}

void RellumTerminal::cursorMoveToColumn(RellumScanner&, uint64_t column) {
    moveCursorToColumn(column);
}

void RellumTerminal::cursorMoveToRow(RellumScanner&, uint64_t row) {
    moveCursorToRowIndex(row);
}

void RellumTerminal::cursorMoveToRow(RellumScanner&, uint64_t row, uint64_t column) {
    moveCursorToColumn(column);
    moveCursorToRowIndex(row);
}

// ---- Tabulation ----

void RellumTerminal::cursorForwardTabulationWithCount(RellumScanner&, uint64_t count) {
    RellumGrid* grid = activeGrid();
    uint64_t x = grid->cursorX();
    // Past the last column there is no stop ahead; stepping back to the last
    // column would let the next character overwrite the one there.
    if (x >= pageColumns(*context_)) return;
    // Once at the last column further stops change nothing.
    count = std::min(count, pageColumns(*context_));
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t next = context_->nextTabStopAfterX(x);
        if (next == x) break;
        x = next;
    }
    if (context_->originMode()) x = std::min(x, context_->rightPageMargin());
    grid->setCursorX(x);
}

void RellumTerminal::cursorBackwardTabulationWithCount(RellumScanner&, uint64_t count) {
    RellumGrid* grid = activeGrid();
    uint64_t x = grid->cursorX();
    count = std::min(count, pageColumns(*context_));
    for (uint64_t i = 0; i < count && x > 0; ++i)
        x = context_->prevTabStopBeforeX(x);
    if (context_->originMode()) x = std::max(x, context_->leftPageMargin());
    grid->setCursorX(x);
}

void RellumTerminal::scannerClearAllTabStops(RellumScanner&) {
    context_->clearAllTabStops();
}

void RellumTerminal::scannerClearTabStopAtCursor(RellumScanner&) {
    context_->clearTabStopAtX(activeGrid()->cursorX());
}

// ---- Modes ----

void RellumTerminal::enableInsertMode(RellumScanner&, bool enabled) {
    context_->setInsertMode(enabled);
}

void RellumTerminal::scannerSoftReset(RellumScanner&) {
    context_->softReset();
}

void RellumTerminal::enableApplicationCursorKey(RellumScanner&, bool enabled) {
    context_->setApplicationCursorKeyMode(enabled);
}

void RellumTerminal::fixMoreProgram(RellumScanner&, bool enabled) {
    context_->setFixMoreProgram(enabled);
}

void RellumTerminal::enableOriginMode(RellumScanner&, bool enabled) {
    context_->setOriginMode(enabled);
}

void RellumTerminal::enableAutoWrap(RellumScanner&, bool enabled) {
    context_->setAutoWrapMode(enabled);
}

void RellumTerminal::enableAutoRepeat(RellumScanner&, bool enabled) {
    context_->setAutoRepeatMode(enabled);
}

void RellumTerminal::showCursor(RellumScanner&, bool visible) {
    context_->setCursorVisible(visible);
}

void RellumTerminal::enableReverseWrapMode(RellumScanner&, bool enabled) {
    context_->setReverseWrapMode(enabled);
}

// ---- Screens ----

void RellumTerminal::scannerShowAlternateScreen(RellumScanner&) {
    if (!context_->alternateScreenMode()) setAlternateScreenShown(true);
}

void RellumTerminal::scannerShowPrimaryScreen(RellumScanner&) {
    if (context_->alternateScreenMode()) setAlternateScreenShown(false);
}

void RellumTerminal::scannerClearScreen(RellumScanner&) {
    activeGrid()->eraseDisplayEntirely();
}

// ---- Queries ----

uint64_t RellumTerminal::scannerCursorColumn(RellumScanner&) {
    return std::min(activeGrid()->cursorX() + 1, pageColumns(*context_));
}

uint64_t RellumTerminal::scannerCursorRow(RellumScanner&) {
    return std::min(activeGrid()->cursorY() + 1, pageRows(*context_));
}

bool RellumTerminal::scannerRespectsHorizontalMargin(RellumScanner&) {
    return context_->respectsHorizontalMargin();
}
