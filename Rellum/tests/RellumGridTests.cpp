#include "GridMirror.h"

#include <gtest/gtest.h>

namespace {

std::string dots(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "\u00B7";
    return s;
}

} // namespace

TEST(RellumGrid, FullLineLeavesCursorPastTheLastColumnThenWraps) {
    GridFixture f(8, 3);
    f.write(U"abcdefgh");
    EXPECT_EQ(f.grid.cursorX(), 8u);
    EXPECT_EQ(f.grid.acutalLineCount(), 1u);
    f.write(U"i");
    EXPECT_EQ(f.grid.debugDescription(), "abcdefgh+\ni" + dots(7) + "!");
    EXPECT_EQ(f.grid.cursorX(), 1u);
    EXPECT_EQ(f.grid.cursorY(), 1u);
    EXPECT_EQ(f.consistencyFault(), "");
}

TEST(RellumGrid, DoubleWidthCharacterThatDoesNotFitWrapsWithBreakTypeTwo) {
    GridFixture f(4, 3);
    f.write(U"abc\u4E2D");
    EXPECT_EQ(f.grid.debugDescription(), "abc\u00B7>\n\u4E2D\u00B7\u00B7!");
    EXPECT_EQ(f.consistencyFault(), "");
    // On a line that already held cells there, the cell is cleared, not removed.
    GridFixture g(4, 3);
    g.write(U"wxyz");
    g.grid.setCursorX(0);
    g.write(U"abc\u4E2D");
    EXPECT_EQ(g.grid.lineAtIndex(0).elementCount(), 4u);
    EXPECT_EQ(g.grid.debugDescription(), "abc\u00B7>\n\u4E2D\u00B7\u00B7!");
    EXPECT_EQ(g.consistencyFault(), "");
}

TEST(RellumGrid, WithoutAutoWrapTheLastCharacterLandsInTheLastColumn) {
    GridFixture f(80, 3);
    f.context.setAutoWrapMode(false);
    std::string hundred;
    for (int i = 0; i < 100; ++i)
        hundred.push_back(char('0' + i % 10));
    f.writeASCII(hundred);
    const RellumElements& e = f.grid.lineAtIndex(0).elements();
    ASSERT_EQ(e.size(), 80u);
    for (int i = 0; i < 79; ++i)
        EXPECT_EQ(e[i].uchar, char32_t('0' + i % 10));
    EXPECT_EQ(e[79].uchar, U'9'); // the 100th
    EXPECT_EQ(f.grid.acutalLineCount(), 1u);
    EXPECT_EQ(f.consistencyFault(), "");
}

TEST(RellumGrid, AlternateGridDropsTheTopLinePrimaryKeepsScrollback) {
    GridFixture alt(3, 3, true);
    alt.writeASCII("a");
    alt.grid.setCursorX(0, 1);
    alt.writeASCII("b");
    alt.grid.setCursorX(0, 2);
    alt.writeASCII("c");
    alt.grid.moveCursorDownOrNewline();
    EXPECT_EQ(alt.grid.debugDescription(), "b\u00B7\u00B7!\nc\u00B7\u00B7!\n\u00B7\u00B7\u00B7!");
    EXPECT_EQ(alt.consistencyFault(), "");

    GridFixture primary(3, 3);
    primary.writeASCII("a");
    primary.grid.setCursorY(2);
    for (int i = 0; i < 65535 + 10; ++i)
        primary.grid.moveCursorDownOrNewline();
    EXPECT_EQ(primary.grid.acutalLineCount(), 65535u + 3u);
    EXPECT_EQ(primary.grid.storageOriginOfLineAtIndex(0), 0u);
    EXPECT_EQ(primary.consistencyFault(), "");
}

TEST(RellumGrid, BackspaceReturnsOverASoftWrapOnly) {
    GridFixture f(4, 3);
    f.write(U"abcde");
    f.grid.setCursorX(0);
    f.grid.moveCursorBackspace();
    EXPECT_EQ(f.grid.cursorY(), 0u);
    EXPECT_EQ(f.grid.cursorX(), 3u);

    GridFixture g(4, 3);
    g.write(U"ab");
    g.grid.moveCursorDownOrNewline();
    g.grid.setCursorX(0);
    g.grid.moveCursorBackspace();
    EXPECT_EQ(g.grid.cursorY(), 1u);
    EXPECT_EQ(g.grid.cursorX(), 0u);
}

TEST(RellumGrid, ReverseIndexAboveTheScrollRegionStaysOnRowZero) {
    GridFixture f(4, 5);
    f.grid.setCursorY(4);
    f.context.setVerticalPageMargin({2, 3});
    f.grid.setCursorX(0, 0);
    const std::string before = f.grid.debugDescription();
    f.grid.moveCursorUpOrNewline();
    EXPECT_EQ(f.grid.cursorY(), 0u);
    EXPECT_EQ(f.grid.debugDescription(), before);
}

TEST(RellumGrid, ShrinkingWithScrollbackKeepsTheCursorLine) {
    GridFixture f(10, 24);
    for (int i = 0; i < 30; ++i) {
        f.writeASCII("line" + std::to_string(i));
        f.grid.moveCursorToLeftMargin();
        f.grid.moveCursorDownOrNewline();
    }
    f.grid.setCursorY(10);
    const RellumLine* before = &f.grid.cursorLine();
    f.resize(10, 20);
    EXPECT_EQ(&f.grid.cursorLine(), before);
    EXPECT_EQ(f.grid.cursorY(), 6u);
    EXPECT_EQ(f.consistencyFault(), "");
}

// A page that is not full keeps the cursor on its line too, shrinking or
// growing, on either screen.
TEST(RellumGrid, ResizingAPageThatIsNotFullKeepsTheCursorLine) {
    struct Case {
        int lines, rows, cursorLine, newRows;
        bool alternate;
        uint64_t newY;
    };
    const Case cases[] = {{15, 24, 14, 10, false, 9},  {30, 24, 29, 50, false, 29},
                          {15, 24, 14, 10, true, 9},   {10, 24, 9, 40, false, 9},
                          {24, 24, 20, 30, false, 20}, {40, 24, 39, 30, false, 29}};
    for (const Case& c : cases) {
        GridFixture f(10, c.rows, c.alternate);
        for (int i = 0; i < c.lines; ++i) {
            if (i) {
                f.grid.moveCursorToLeftMargin();
                f.grid.moveCursorDownOrNewline();
            }
            f.writeASCII("line" + std::to_string(i));
        }
        f.grid.setCursorY(f.grid.yOfLineIndex(f.grid.acutalLineCount() - uint64_t(c.lines - c.cursorLine)));
        const RellumLine* before = &f.grid.cursorLine();
        f.resize(10, c.newRows);
        EXPECT_EQ(&f.grid.cursorLine(), before) << c.lines << " lines, " << c.rows << " to " << c.newRows;
        EXPECT_EQ(f.grid.cursorY(), c.newY) << c.lines << " lines, " << c.rows << " to " << c.newRows;
        EXPECT_EQ(f.consistencyFault(), "");
    }
}

TEST(RellumGrid, NarrowingKeepsCellsUntilErasedWideningDoesNotReflow) {
    GridFixture f(6, 3);
    f.write(U"abcdefgh");
    f.resize(4, 3);
    EXPECT_EQ(f.grid.lineAtIndex(0).elementCount(), 6u);
    f.resize(10, 3);
    EXPECT_EQ(f.grid.acutalLineCount(), 2u);
    EXPECT_EQ(f.grid.lineAtIndex(1).elements()[0].uchar, U'g');
    f.resize(4, 3);
    f.grid.setCursorX(2, 0);
    f.grid.eraseFromCursorToLineEnd();
    EXPECT_EQ(f.grid.lineAtIndex(0).elementCount(), 4u);
    EXPECT_EQ(f.consistencyFault(), "");
}

TEST(RellumGrid, RemovingSeveralLinesAtTheEnd) {
    GridFixture f(4, 6);
    for (int i = 0; i < 6; ++i) {
        f.grid.setCursorX(0, uint64_t(i));
        f.writeASCII(std::string(1, char('a' + i)));
    }
    f.mirror.logging = true;
    f.grid.deleteLinesInRange({3, 10});
    EXPECT_EQ(f.mirror.log.front(), "delete 5,6"); // "\nd\ne\nf"
    EXPECT_EQ(f.consistencyFault(), "");
    // Removing the only line leaves its text alone to delete.
    GridFixture g(4, 1);
    g.writeASCII("ab");
    g.mirror.logging = true;
    g.grid.deleteLinesInRange({0, 1});
    EXPECT_EQ(g.mirror.log.front(), "delete 0,2");
    EXPECT_EQ(g.consistencyFault(), "");
}

TEST(RellumGrid, NewLineReportsAndTrimmingMoveOnlyTheBase) {
    GridFixture f(4, 2);
    f.grid.setMaxScrollback(1);
    f.mirror.logging = true;
    f.writeASCII("ab");
    f.grid.moveCursorToLeftMargin();
    f.grid.moveCursorDownOrNewline();
    f.writeASCII("cd");
    f.grid.moveCursorToLeftMargin();
    f.grid.moveCursorDownOrNewline(); // third line: within the scrollback of one
    f.grid.moveCursorDownOrNewline(); // fourth: the oldest goes
    EXPECT_EQ(f.grid.acutalLineCount(), 3u);
    EXPECT_EQ(f.mirror.log.back(), "delete 0,3");
    EXPECT_EQ(f.grid.storageOriginOfLineAtIndex(0), 0u);
    EXPECT_EQ(f.grid.storageOriginOfLineAtIndex(1), 3u);
    EXPECT_EQ(f.consistencyFault(), "");
}

TEST(RellumGrid, TabsInsertAndDeleteCells) {
    GridFixture f(20, 2);
    f.writeASCII("ab");
    f.grid.moveCursorToNextTabStop();
    EXPECT_EQ(f.grid.cursorX(), 8u);
    f.writeASCII("c");
    EXPECT_EQ(f.grid.debugDescription(), "ab\u2500\u2500\u2500\u2500\u2500\u2500c" + dots(11) + "!");
    f.grid.setCursorX(1);
    f.grid.insertBlankAtCursorWithCount(2);
    f.grid.deleteElementsAtCursorWithCount(1);
    f.grid.eraseCharacterWithCount(1);
    EXPECT_EQ(f.grid.debugDescription(), "a\u00B7b\u2500\u2500\u2500\u2500\u2500\u2500c" + dots(10) + "!");
    EXPECT_EQ(f.consistencyFault(), "");
}

TEST(RellumGrid, DoubleWidthMarkInTheGridLeavesNoRightHalf) {
    GridFixture f(6, 2);
    f.write(U"a\u3099b");
    EXPECT_EQ(f.grid.debugDescription(), "a\u3099b" + dots(4) + "!");
    EXPECT_EQ(f.grid.cursorX(), 2u);
    EXPECT_EQ(f.consistencyFault(), "");
}

TEST(RellumGrid, PrintingAlwaysMakesProgress) {
    // One column: a double-width character can never fit and is dropped.
    GridFixture f(1, 3);
    f.write(U"\u4E2Da\u6587b");
    EXPECT_EQ(f.grid.debugDescription(), "a+\nb!");
    EXPECT_EQ(f.consistencyFault(), "");
    // A left/right region of one column is refused.
    GridFixture g(10, 3);
    g.context.setRespectsHorizontalMargin(true);
    EXPECT_FALSE(g.context.setHorizontalPageMargin({4, 1}));
    EXPECT_FALSE(g.context.setHorizontalPageMargin({4, 0}));
    EXPECT_TRUE(g.context.setHorizontalPageMargin({4, 2}));
    g.grid.setCursorX(4);
    g.write(U"\u4E2D\u6587\u4E2D");
    EXPECT_EQ(g.consistencyFault(), "");
}

TEST(RellumGrid, PageOfZeroIsOneByOneInside) {
    GridFixture f(0, 0);
    f.write(U"abc");
    EXPECT_EQ(f.grid.cursorY(), 0u);
    EXPECT_EQ(f.grid.cursorX(), 1u);
    EXPECT_EQ(f.grid.acutalLineCount(), 3u);
    f.grid.moveCursorToNextTabStop();
    f.grid.moveCursorBackspace();
    f.grid.eraseDisplayEntirely();
    EXPECT_EQ(f.consistencyFault(), "");
}

TEST(RellumGrid, MarginsFromAnEarlierLeftRightModeDoNotApplyOnceItIsOff) {
    GridFixture f(10, 3);
    f.context.setRespectsHorizontalMargin(true);
    ASSERT_TRUE(f.context.setHorizontalPageMargin({2, 3}));
    f.context.setRespectsHorizontalMargin(false);
    EXPECT_EQ(f.context.horizontalPageMargin(), (RellumRange{0, 10}));
    EXPECT_TRUE(f.context.isPageMarginsContainX(9, 0));
    f.write(U"0123456789");
    EXPECT_EQ(f.grid.acutalLineCount(), 1u);
    EXPECT_EQ(f.grid.cursorX(), 10u);
}

TEST(RellumGrid, HorizontalMarginsScrollOnlyTheirColumns) {
    GridFixture f(6, 3);
    for (int i = 0; i < 3; ++i) {
        f.grid.setCursorX(0, uint64_t(i));
        f.writeASCII(std::string(6, char('a' + i)));
    }
    f.context.setRespectsHorizontalMargin(true);
    ASSERT_TRUE(f.context.setHorizontalPageMargin({1, 3}));
    f.grid.panDownWithCount(1);
    EXPECT_EQ(f.grid.debugDescription(), "abbbaa!\nbcccbb!\nc\u00B7\u00B7\u00B7cc!");
    f.grid.panUpWithCount(1);
    EXPECT_EQ(f.grid.debugDescription(), "a\u00B7\u00B7\u00B7aa!\nbbbbbb!\ncccccc!");
    EXPECT_EQ(f.consistencyFault(), "");
}

TEST(RellumGrid, ScrollRegionEdgesComeFromTheClampedMargins) {
    GridFixture f(4, 10);
    f.context.setVerticalPageMargin({2, 5});
    f.resize(4, 5); // the context drops its margins to {0, 0}
    EXPECT_EQ(f.context.bottomPageMargin(), 4u);
    f.context.setRespectsHorizontalMargin(true);
    EXPECT_EQ(f.context.rightPageMargin(), 3u);
    // A newline on the last row scrolls the whole page, not a one-row region.
    f.grid.setCursorX(0, 0);
    f.writeASCII("top");
    f.grid.setCursorY(4);
    f.grid.moveCursorDownOrNewline();
    EXPECT_EQ(f.grid.acutalLineCount(), 6u);
    EXPECT_EQ(f.grid.lineAtIndex(0).elements()[0].uchar, U't');
    // A region left over from a taller page answers the whole page.
    f.context.setVerticalPageMargin({6, 3});
    EXPECT_EQ(f.context.verticalPageMargin(), (RellumRange{0, 5}));
    EXPECT_EQ(f.consistencyFault(), "");
}

TEST(RellumGrid, LoneHalvesAndBadValuesAreStoredAsTheyShow) {
    GridFixture f(8, 2);
    RellumElements e;
    e.append(RellumElement::wideRightElement());
    e.append(RellumElement(U'a'));
    e.append(RellumElement(U'\u4E2D')); // no right half follows
    e.append(RellumElement(U'b'));
    e.append(RellumElement(char32_t(0xDC00)));
    f.grid.renderElementsFromCursor(e);
    EXPECT_EQ(f.grid.debugDescription(), "\u2592a\u2592b\uFFFD" + dots(3) + "!");
    EXPECT_EQ(f.grid.lineAtIndex(0).characterCount(), 5u);
    EXPECT_EQ(f.consistencyFault(), "");
}

TEST(RellumGrid, HugeCountsFromTheHostStayBounded) {
    GridFixture f(10, 4);
    f.writeASCII("abc");
    f.grid.insertBlankAtCursorWithCount(uint64_t(1) << 40);
    f.grid.deleteElementsAtCursorWithCount(uint64_t(1) << 40);
    f.grid.eraseCharacterWithCount(uint64_t(1) << 40);
    f.grid.moveCursorRightWithCount(uint64_t(1) << 40);
    EXPECT_EQ(f.grid.cursorX(), 9u);
    f.grid.moveCursorDownWithCount(uint64_t(1) << 40);
    EXPECT_EQ(f.grid.cursorY(), 3u);
    f.grid.panDownWithCount(uint64_t(1) << 40);
    f.grid.panUpWithCount(uint64_t(1) << 40);
    f.grid.moveCursorLeftWithCount(uint64_t(1) << 40);
    EXPECT_LE(f.grid.acutalLineCount(), 8u);
    EXPECT_LE(f.grid.lineAtIndex(0).elementCount(), 10u);
    EXPECT_EQ(f.consistencyFault(), "");
}
