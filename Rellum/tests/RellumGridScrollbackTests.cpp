#include "GridMirror.h"

#include <gtest/gtest.h>

namespace {

// Rows of every kind of cell: tab padding, Latin-1, double-width, a
// character outside the BMP with a mark, soft and wide wraps, void gaps.
void writeRows(GridFixture& f, int copies) {
    for (int n = 0; n < copies; ++n) {
        f.writeASCII("ab");
        f.grid.moveCursorToNextTabStop();
        f.write(U"\u00E9");
        f.grid.moveCursorToLeftMargin();
        f.grid.moveCursorDownOrNewline();
        f.write(U"\u4E00\u4E8Cx");
        f.grid.moveCursorToLeftMargin();
        f.grid.moveCursorDownOrNewline();
        f.write(U"\U0001F600e\u0301\u0302z");
        f.grid.moveCursorToLeftMargin();
        f.grid.moveCursorDownOrNewline();
        f.writeASCII("abcdefghij"); // a soft wrap
        f.grid.moveCursorToLeftMargin();
        f.grid.moveCursorDownOrNewline();
        f.write(U"abcdefg\u4E09"); // a wide wrap
        f.grid.moveCursorToLeftMargin();
        f.grid.moveCursorDownOrNewline();
        f.grid.setCursorX(5);
        f.writeASCII("z"); // void cells before it
        f.grid.moveCursorToLeftMargin();
        f.grid.moveCursorDownOrNewline();
    }
}

// The cells of every line, marks included, equal in both grids.
std::string cellDifference(const RellumGrid& a, const RellumGrid& b) {
    if (a.acutalLineCount() != b.acutalLineCount()) return "line count";
    for (uint64_t i = 0; i < a.acutalLineCount(); ++i) {
        const RellumElements& x = a.lineAtIndex(i).elements();
        const RellumElements& y = b.lineAtIndex(i).elements();
        if (x.size() != y.size()) return "size of line " + std::to_string(i);
        for (std::size_t c = 0; c < x.size(); ++c)
            if (x[c].uchar != y[c].uchar || x.componentsAt(c) != y.componentsAt(c))
                return "cell " + std::to_string(c) + " of line " + std::to_string(i);
    }
    return {};
}

} // namespace

// A grid whose lines leave a page of two rows for the scrollback shows the
// same text, cells and wraps as one whose page holds them all.
TEST(RellumGridScrollback, LinesLeavingThePageKeepEveryCellAndWrap) {
    GridFixture small(8, 2), tall(8, 40);
    writeRows(small, 2);
    writeRows(tall, 2);
    ASSERT_EQ(small.grid.acutalLineCount(), tall.grid.acutalLineCount());
    EXPECT_EQ(small.grid.debugDescription(), tall.grid.debugDescription());
    EXPECT_EQ(small.grid.string(), tall.grid.string());
    EXPECT_EQ(small.mirror.text, small.grid.string());
    const std::string debug = small.grid.debugDescription();
    EXPECT_EQ(debug.substr(0, debug.find('\n', debug.find('\n') + 1)),
              "ab\u2500\u2500\u2500\u2500\u2500\u00E9!\n"
              "\u4E00\u4E8Cx\u00B7\u00B7\u00B7!");
    EXPECT_EQ(cellDifference(small.grid, tall.grid), "");
    EXPECT_EQ(small.consistencyFault(), "");
}

// Scrollback lines brought back onto a taller page take writes, erasures
// and deletions like any other line.
TEST(RellumGridScrollback, LinesBackOnThePageAreWrittenAsBefore) {
    GridFixture small(8, 2), tall(8, 40);
    writeRows(small, 1);
    writeRows(tall, 1);
    small.resize(8, 40);
    ASSERT_EQ(small.grid.lineIndexAtY(0), 0u);
    for (GridFixture* f : {&small, &tall}) {
        f->grid.setCursorY(1);
        f->grid.setCursorX(1); // the right half of the first double-width character
        f->writeASCII("Q");
        f->grid.setCursorY(2);
        f->grid.setCursorX(1); // between the emoji and the combined e
        f->grid.insertBlankAtCursorWithCount(2);
        f->grid.setCursorY(0);
        f->grid.setCursorX(3);
        f->grid.eraseFromCursorToLineEnd();
        f->grid.setCursorY(4);
        f->grid.setCursorX(2);
        f->grid.deleteElementsAtCursorWithCount(3);
        f->grid.deleteLinesInRange({3, 1});
    }
    EXPECT_EQ(small.grid.debugDescription(), tall.grid.debugDescription());
    EXPECT_EQ(small.grid.string(), tall.grid.string());
    EXPECT_EQ(small.mirror.text, tall.mirror.text);
    EXPECT_EQ(cellDifference(small.grid, tall.grid), "");
    EXPECT_EQ(small.consistencyFault(), "");
    EXPECT_EQ(tall.consistencyFault(), "");
}

// Lines dropped from a short scrollback are reused for new ones: nothing of
// their old cells shows through, and shrinking the page packs the lines it
// leaves behind without changing them.
TEST(RellumGridScrollback, ReusedAndShrunkLinesShowOnlyTheirOwnCells) {
    GridFixture f(8, 4);
    f.grid.setMaxScrollback(3);
    writeRows(f, 4);
    f.writeASCII("x");
    EXPECT_EQ(f.grid.acutalLineCount(), 7u);
    EXPECT_EQ(f.mirror.text, f.grid.string());
    const std::string before = f.grid.debugDescription();
    f.resize(8, 2);
    // Two rows fewer on the page: the two oldest lines go.
    EXPECT_EQ(f.grid.debugDescription(), before.substr(before.find('\n', before.find('\n') + 1) + 1));
    EXPECT_EQ(f.mirror.text, f.grid.string());
    EXPECT_EQ(f.consistencyFault(), "");
    f.grid.eraseScrollbackBuffer();
    EXPECT_EQ(f.grid.acutalLineCount(), 2u);
    EXPECT_EQ(f.consistencyFault(), "");
}
