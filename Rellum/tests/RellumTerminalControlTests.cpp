#include "ControlHarness.h"

#include <gtest/gtest.h>

// Byte-stream tests of the control functions: host bytes go through a whole
// terminal (scanner, control functions, grids, storages); the page, the
// replies and the calls to the delegate and the window come out.

using control_test::ControlHarness;

namespace {

std::string esc(std::string_view s) {
    std::string out;
    for (char c : s)
        out += c == '~' ? '\x1b' : c;
    return out;
}

void expectInvariant(ControlHarness& h) {
    std::string why;
    EXPECT_TRUE(h.storagesMatchGrids(&why)) << why;
}

} // namespace

// ---- Text ----

TEST(TerminalText, LineDrawingFollowsTheDesignatedSet) {
    ControlHarness h({20, 5});
    h.feed(esc("~(0lqqk\r\nx~(Blqqk"));
    EXPECT_EQ(h.row(0), "┌──┐");
    EXPECT_EQ(h.row(1), "│lqqk");
    // G1 as line drawing: SO selects it, SI goes back to the letters of G0.
    h.feed(esc("\r\n~)0\x0emqj\x0fmqj"));
    EXPECT_EQ(h.row(2), "└─┘mqj");
    // Bytes outside 0x5F..0x7E stay themselves.
    h.feed(esc("\r\n~(0AZ_`") + "~" + esc("~(B"));
    EXPECT_EQ(h.row(3), "AZ\u00a0◆·");
    expectInvariant(h);
}

TEST(TerminalText, MarkAtTheStartOfALineSitsOnASpace) {
    ControlHarness h({20, 5});
    h.feed("\xcc\x81x");
    EXPECT_EQ(h.row(0), " \xcc\x81x");
    EXPECT_EQ(h.cursor(), (RellumCoord{2, 0}));
    expectInvariant(h);
}

TEST(TerminalText, MarkAfterAWideCharacterJoinsItNotItsRightHalf) {
    ControlHarness h({20, 5});
    h.feed("a\xe4\xb8\xad"); // a, then U+4E2D over two cells
    h.feed("\xcc\x81"
           "b"); // a mark in a run of its own, then b
    EXPECT_EQ(h.row(0), "a\xe4\xb8\xad\xcc\x81"
                        "b");
    EXPECT_EQ(h.cursor(), (RellumCoord{4, 0}));
    expectInvariant(h);
}

TEST(TerminalText, MarkAfterTheLastColumnJoinsTheLastCharacter) {
    ControlHarness h({20, 5});
    h.feed(std::string(20, 'x'));
    h.feed("\xcc\x88");
    EXPECT_EQ(h.row(0), std::string(19, 'x') + "x\xcc\x88");
    EXPECT_EQ(h.row(1), "");
    EXPECT_EQ(h.cursor(), (RellumCoord{20, 0}));
    expectInvariant(h);
}

TEST(TerminalText, MarkAfterAnEmptyCellSitsOnASpace) {
    ControlHarness h({20, 5});
    h.feed(esc("ab~[6G") + "\xcc\x81");
    EXPECT_EQ(h.row(0), "ab   \xcc\x81"); // two empty cells, then a space with the mark
    EXPECT_EQ(h.cursor(), (RellumCoord{5, 0}));
    expectInvariant(h);
}

TEST(TerminalText, MarkInInsertModeDoesNotDuplicateItsBase) {
    ControlHarness h({20, 5});
    h.feed(esc("abcd\r~[2C~[4h"));
    h.feed("\xcc\x81"
           "XY");
    // The mark joins the b (it stays one cell); only X and Y are inserted.
    EXPECT_EQ(h.row(0), "ab\xcc\x81XYcd");
    EXPECT_EQ(h.cursor(), (RellumCoord{4, 0}));
    expectInvariant(h);
}

TEST(TerminalText, InsertModePushesTextRight) {
    ControlHarness h({20, 5});
    h.feed(esc("hello\r~[4hab~[4lZ"));
    EXPECT_EQ(h.row(0), "abZello");
}

// ---- Bell ----

TEST(TerminalBell, BellsCloserThanTheIntervalRingOnce) {
    using namespace std::chrono_literals;
    ControlHarness h({20, 5});
    // Each step runs the display update first (kLongChunkDelay) and then
    // moves the clock to the wanted time.
    constexpr auto step = RellumTerminal::kLongChunkDelay;
    h.feed("\a");
    EXPECT_EQ(h.host->bells.load(), 1);
    h.advance(100ms - step); // 0.1 s after the first
    h.feed("\a");
    EXPECT_EQ(h.host->bells.load(), 1);
    h.advance(100ms - step); // 0.2 s after the first
    h.feed("\a");
    EXPECT_EQ(h.host->bells.load(), 2);
    h.feed("\a\a\a");
    EXPECT_EQ(h.host->bells.load(), 2);
}

// ---- Cursor addressing ----

TEST(TerminalCursor, AddressingIsOneBasedAndLimitedToThePage) {
    ControlHarness h({80, 24});
    h.feed(esc("~[5;10H"));
    EXPECT_EQ(h.cursor(), (RellumCoord{9, 4}));
    h.feed(esc("~[7;3f"));
    EXPECT_EQ(h.cursor(), (RellumCoord{2, 6}));
    h.feed(esc("~[0;0H"));
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 0}));
    // Past the page: the last column and row, not the wrap position.
    h.feed(esc("~[999;999H"));
    EXPECT_EQ(h.cursor(), (RellumCoord{79, 23}));
    h.feed(esc("~[6n"));
    EXPECT_EQ(h.takeReplies(), esc("~[24;80R"));
    h.feed("Z");
    EXPECT_EQ(h.row(23), std::string(79, ' ') + "Z");
    h.feed(esc("~[12d~[40G"));
    EXPECT_EQ(h.cursor(), (RellumCoord{39, 11}));
}

TEST(TerminalCursor, OriginModeAddressesInsideTheScrollRegion) {
    ControlHarness h({80, 24});
    h.feed(esc("~[10;20r~[?6h"));
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 9})); // homed to the region
    h.feed(esc("~[5;1H"));
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 13}));
    h.feed(esc("~[50;1H"));
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 19}));
    h.feed(esc("~[?6l~[5;1H"));
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 4}));
}

TEST(TerminalCursor, RelativeMovesStopAtTheMargins) {
    ControlHarness h({80, 24});
    h.feed(esc("~[5;10r~[7;5H~[10A"));
    EXPECT_EQ(h.cursor(), (RellumCoord{4, 4}));
    h.feed(esc("~[10B"));
    EXPECT_EQ(h.cursor(), (RellumCoord{4, 9}));
    h.feed(esc("~[2F"));
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 7}));
    h.feed(esc("~[100C"));
    EXPECT_EQ(h.cursor(), (RellumCoord{79, 7}));
    h.feed(esc("~[3D"));
    EXPECT_EQ(h.cursor(), (RellumCoord{76, 7}));
    h.feed(esc("~[0e"));
    EXPECT_EQ(h.cursor(), (RellumCoord{76, 7}));
    h.feed(esc("~[0B"));
    EXPECT_EQ(h.cursor(), (RellumCoord{76, 8}));
}

TEST(TerminalCursor, SaveAndRestoreKeepPositionAndRendition) {
    ControlHarness h({20, 5});
    h.feed(esc("~[3;4H~[1m~7~[m~[1;1Hx~8"));
    EXPECT_EQ(h.cursor(), (RellumCoord{3, 2}));
    uint64_t style = 0;
    h.onRender([&](RellumTerminal& t) { style = t.context()->textStyleMask(); });
    EXPECT_EQ(style, uint64_t(RellumTextStyleBold));
}

TEST(TerminalCursor, BackspaceAndReverseIndex) {
    ControlHarness h({20, 5});
    h.feed("abc\b\bX");
    EXPECT_EQ(h.row(0), "aXc");
    h.feed(esc("~[1;1H~M"));
    // Reverse index on the top row scrolls the page down.
    EXPECT_EQ(h.row(0), "");
    EXPECT_EQ(h.row(1), "aXc");
    expectInvariant(h);
}

// ---- Tabulation ----

TEST(TerminalTabs, ForwardAndBackwardTabulation) {
    ControlHarness h({80, 24});
    h.feed(esc("~[3I"));
    EXPECT_EQ(h.cursor().x, 24);
    h.feed(esc("~[99I"));
    EXPECT_EQ(h.cursor().x, 79);
    h.feed(esc("~[2Z"));
    EXPECT_EQ(h.cursor().x, 64);
    h.feed(esc("~[99Z"));
    EXPECT_EQ(h.cursor().x, 0);
}

TEST(TerminalTabs, SetAndClearStops) {
    ControlHarness h({80, 24});
    h.feed(esc("~[3g~[5G~H~[30G~H\r\tA\tB\tC"));
    EXPECT_EQ(h.row(0), std::string(4, ' ') + "A" + std::string(24, ' ') + "B" + std::string(49, ' ') + "C");
    h.feed(esc("~[1;30H~[g\r\n\t\tX"));
    EXPECT_EQ(h.cursor().x, 80);
    EXPECT_EQ(h.row(1).back(), 'X');
}

TEST(TerminalTabs, OriginModeKeepsTabulationInsideTheMargins) {
    ControlHarness h({80, 24});
    h.feed(esc("~[?69h~[10;30s~[?6h~[9I"));
    EXPECT_EQ(h.cursor().x, 29);
    h.feed(esc("~[9Z"));
    EXPECT_EQ(h.cursor().x, 9);
}

// ---- The pending wrap after the last column ----

TEST(TerminalPendingWrap, LineFeedsEndItOnTheLastColumn) {
    const std::string full = "abcdefghijklmnopqrst"; // exactly one row
    ControlHarness h({20, 5});
    h.feed(full + "\nX");
    EXPECT_EQ(h.row(0), full);
    EXPECT_EQ(h.row(1), std::string(19, ' ') + "X");
    EXPECT_EQ(h.row(2), "");
    EXPECT_EQ(h.cursor(), (RellumCoord{20, 1}));
    h.feed(esc("~DY")); // index, likewise
    EXPECT_EQ(h.row(2), std::string(19, ' ') + "Y");
    h.feed(esc("~EZ")); // next line still starts at the left margin
    EXPECT_EQ(h.row(3), "Z");
    // On the bottom row the page scrolls and the cursor keeps its column.
    h.feed(esc("~[5;1H") + full + "\nW");
    EXPECT_EQ(h.row(3), full);
    EXPECT_EQ(h.row(4), std::string(19, ' ') + "W");
    expectInvariant(h);
}

TEST(TerminalPendingWrap, ReverseIndexDoesNotWrapOverTheRowBelow) {
    const std::string full = "abcdefghijklmnopqrst";
    ControlHarness h({20, 5});
    h.feed("\r\n" + full + esc("~MX"));
    EXPECT_EQ(h.row(0), std::string(19, ' ') + "X");
    EXPECT_EQ(h.row(1), full);
    // At the top of the page the page scrolls down instead.
    h.feed(esc("~[H") + full + esc("~MY"));
    EXPECT_EQ(h.row(0), std::string(19, ' ') + "Y");
    EXPECT_EQ(h.row(1), full);
    EXPECT_EQ(h.row(2), full);
    expectInvariant(h);
}

TEST(TerminalPendingWrap, TabulationKeepsItSoNoCharacterIsOverwritten) {
    const std::string full = "abcdefghijklmnopqrst";
    for (const char* tab : {"\t", "\x1b[I", "\x1b[3I"}) {
        SCOPED_TRACE(testing::PrintToString(tab));
        ControlHarness h({20, 5});
        h.feed(full + tab);
        EXPECT_EQ(h.cursor(), (RellumCoord{20, 0}));
        h.feed("X");
        EXPECT_EQ(h.row(0), full);
        EXPECT_EQ(h.row(1), "X");
        expectInvariant(h);
    }
    // Short of the last column a tab still stops on it.
    ControlHarness h({20, 5});
    h.feed(full.substr(0, 17) + "\tX");
    EXPECT_EQ(h.row(0), full.substr(0, 17) + "  X");
}

// ---- Erasing, insertion and deletion ----

TEST(TerminalEdit, EraseInLineAndDisplay) {
    ControlHarness h({10, 3});
    h.feed("0123456789abcdefghijABCDEFGHI");
    h.feed(esc("~[2;5H~[K"));
    EXPECT_EQ(h.row(1), "abcd");
    h.feed(esc("~[1K"));
    EXPECT_EQ(h.row(1), "");
    h.feed(esc("~[1;3H~[1J"));
    EXPECT_EQ(h.row(0), "   3456789");
    h.feed(esc("~[3;2H~[0J"));
    EXPECT_EQ(h.row(2), "A");
    h.feed(esc("~[3;1H~[2K"));
    EXPECT_EQ(h.row(2), "");
    h.feed(esc("~[9J~[9K")); // unknown areas: nothing
    EXPECT_EQ(h.row(0), "   3456789");
    h.feed(esc("~[2J"));
    EXPECT_EQ(h.row(0), "");
    expectInvariant(h);
}

TEST(TerminalEdit, InsertDeleteAndEraseCharacters) {
    ControlHarness h({10, 3});
    h.feed(esc("abcdef~[1;3H~[2@"));
    EXPECT_EQ(h.row(0), "ab  cdef");
    h.feed(esc("~[3P"));
    EXPECT_EQ(h.row(0), "abdef");
    h.feed(esc("~[2X"));
    EXPECT_EQ(h.row(0), "ab  f");
    h.feed(esc("~[0@")); // 0 inserts nothing
    EXPECT_EQ(h.row(0), "ab  f");
    expectInvariant(h);
}

TEST(TerminalEdit, CharactersOutsideTheLeftRightMarginsAreNotShifted) {
    ControlHarness h({10, 3});
    h.feed(esc("0123456789~[?69h~[3;6s~[1;2H~[2@"));
    EXPECT_EQ(h.row(0), "0123456789");
    h.feed(esc("~[1;4H~[2@"));
    EXPECT_EQ(h.row(0), "012  36789"); // cells pushed past the margin are lost
    h.feed(esc("~[1;4H~[1P"));
    EXPECT_EQ(h.row(0), "012 3 6789");
    expectInvariant(h);
}

TEST(TerminalEdit, InsertAndDeleteLinesInsideTheScrollRegion) {
    ControlHarness h({10, 6});
    h.feed("L0\r\nL1\r\nL2\r\nL3\r\nL4\r\nL5");
    h.feed(esc("~[2;5r~[3;1H~[L"));
    EXPECT_EQ(h.row(1), "L1");
    EXPECT_EQ(h.row(2), "");
    EXPECT_EQ(h.row(3), "L2");
    EXPECT_EQ(h.row(4), "L3"); // L4 left the region
    EXPECT_EQ(h.row(5), "L5");
    h.feed(esc("~[2M"));
    EXPECT_EQ(h.row(2), "L3");
    EXPECT_EQ(h.row(3), "");
    EXPECT_EQ(h.row(4), "");
    EXPECT_EQ(h.row(5), "L5");
    // Outside the region, and with a count of 0, nothing happens.
    h.feed(esc("~[6;1H~[L~[1;1H~[3M~[2;1H~[0L"));
    EXPECT_EQ(h.row(0), "L0");
    EXPECT_EQ(h.row(1), "L1");
    EXPECT_EQ(h.row(5), "L5");
    // The region itself is unchanged.
    RellumRange region;
    h.onRender([&](RellumTerminal& t) { region = t.context()->verticalPageMargin(); });
    EXPECT_EQ(region, (RellumRange{1, 4}));
    expectInvariant(h);
}

TEST(TerminalEdit, InsertAndDeleteLinesReturnToTheLeftMargin) {
    ControlHarness h({10, 6});
    h.feed("L0\r\nL1\r\nL2\r\nL3\r\nL4\r\nL5");
    h.feed(esc("~[3;3H~[LX"));
    EXPECT_EQ(h.row(2), "X");
    EXPECT_EQ(h.row(3), "L2");
    h.feed(esc("~[4;2H~[MY"));
    EXPECT_EQ(h.row(3), "Y3");
    EXPECT_EQ(h.cursor(), (RellumCoord{1, 3}));
    // With left and right margins, to the left margin.
    h.feed(esc("~[?69h~[4;8s~[2;6H~[L"));
    EXPECT_EQ(h.cursor(), (RellumCoord{3, 1}));
    // Outside the scroll region nothing happens, the cursor included.
    h.feed(esc("~[?69l~[2;4r~[6;1Hlast~[6;5H~[L"));
    EXPECT_EQ(h.cursor(), (RellumCoord{4, 5}));
    EXPECT_EQ(h.row(5), "last");
    expectInvariant(h);
}

TEST(TerminalEdit, ScrollUpAndDownMoveTheRegion) {
    ControlHarness h({10, 5});
    h.feed("A\r\nB\r\nC\r\nD\r\nE");
    h.feed(esc("~[2;4r~[S"));
    EXPECT_EQ(h.row(0), "A");
    EXPECT_EQ(h.row(1), "C");
    EXPECT_EQ(h.row(2), "D");
    EXPECT_EQ(h.row(3), "");
    EXPECT_EQ(h.row(4), "E");
    h.feed(esc("~[2T"));
    EXPECT_EQ(h.row(1), "");
    EXPECT_EQ(h.row(2), "");
    EXPECT_EQ(h.row(3), "C");
    expectInvariant(h);
}

TEST(TerminalEdit, ScreenAlignmentFillsThePageAndResetsMargins) {
    ControlHarness h({10, 4});
    h.feed(esc("~[2;3r~[4h~#8"));
    for (uint64_t y = 0; y < 4; ++y)
        EXPECT_EQ(h.row(y), "EEEEEEEEEE");
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 0}));
    bool insert = false;
    RellumRange region;
    h.onRender([&](RellumTerminal& t) {
        insert = t.context()->insertMode();
        region = t.context()->verticalPageMargin();
    });
    EXPECT_TRUE(insert);
    EXPECT_EQ(region, (RellumRange{0, 4}));
    expectInvariant(h);
}

// ---- Modes ----

TEST(TerminalModes, AutoWrapOffKeepsWritingInTheLastColumn) {
    ControlHarness h({10, 3});
    h.feed(esc("~[?7l0123456789abc"));
    EXPECT_EQ(h.row(0), "012345678c");
    EXPECT_EQ(h.row(1), "");
    h.feed(esc("~[?7h\rxxxxxxxxxxy"));
    EXPECT_EQ(h.row(1), "y");
}

TEST(TerminalModes, ModeFlagsReachTheContext) {
    ControlHarness h({20, 5});
    h.feed(esc("~[?1h~[?25l~[?1002h~[?1006h~[?1004h~[?2004h~[?45h~[?41h~[?8l~="));
    h.onRender([](RellumTerminal& t) {
        RellumContext& c = *t.context();
        EXPECT_TRUE(c.applicationCursorKeyMode());
        EXPECT_FALSE(c.isCursorVisible());
        EXPECT_EQ(c.mouseReportType(), 3u);
        EXPECT_EQ(c.mouseReportProtocol(), 3u);
        EXPECT_TRUE(c.focusReportMode());
        EXPECT_TRUE(c.bracketedPasteMode());
        EXPECT_TRUE(c.reverseWrapMode());
        EXPECT_TRUE(c.fixMoreProgram());
        EXPECT_FALSE(c.autoRepeatMode());
        EXPECT_TRUE(c.applicationKeypadMode());
    });
    h.feed(esc("~[?1l~[?25h~[?1002l~[?1006l~[?1004l~[?2004l~>"));
    h.onRender([](RellumTerminal& t) {
        RellumContext& c = *t.context();
        EXPECT_FALSE(c.applicationCursorKeyMode());
        EXPECT_TRUE(c.isCursorVisible());
        EXPECT_EQ(c.mouseReportType(), 0u);
        EXPECT_EQ(c.mouseReportProtocol(), 0u);
        EXPECT_FALSE(c.focusReportMode());
        EXPECT_FALSE(c.bracketedPasteMode());
        EXPECT_FALSE(c.applicationKeypadMode());
    });
}

TEST(TerminalModes, KeypadModeStaysOffWhenNotAllowed) {
    ControlHarness h({20, 5});
    h.terminal->setAllowsApplicationKeypad(false);
    h.feed(esc("~="));
    bool keypad = true;
    h.onRender([&](RellumTerminal& t) { keypad = t.context()->applicationKeypadMode(); });
    EXPECT_FALSE(keypad);
}

TEST(TerminalModes, GraphicRenditionSetsStyleAndColours) {
    ControlHarness h({20, 5});
    h.feed(esc("~[1;4;38;5;196;48;2;0;0;255m"));
    h.onRender([](RellumTerminal& t) {
        RellumContext& c = *t.context();
        EXPECT_EQ(c.textStyleMask(), uint64_t(RellumTextStyleBold | RellumTextStyleUnderline));
        EXPECT_EQ(c.currentTextColor(), rellum_colorForColorIndex(196));
        EXPECT_EQ(c.currentBackgroundColor(), RellumColor::colorWithRGB255(0, 0, 255));
    });
    h.feed(esc("~[22;39m"));
    h.onRender([](RellumTerminal& t) {
        EXPECT_EQ(t.context()->textStyleMask(), uint64_t(RellumTextStyleUnderline));
        EXPECT_FALSE(t.context()->currentTextColor());
        EXPECT_TRUE(t.context()->currentBackgroundColor());
    });
    h.feed(esc("~[m"));
    h.onRender([](RellumTerminal& t) {
        EXPECT_EQ(t.context()->textStyleMask(), 0u);
        EXPECT_FALSE(t.context()->currentBackgroundColor());
    });
}

TEST(TerminalModes, SoftResetKeepsTextAndTabStops) {
    ControlHarness h({20, 5});
    h.feed(esc("abc~[3g~[2;4r~[?6h~[4h~[1m~[!p"));
    EXPECT_EQ(h.row(0), "abc");
    h.onRender([](RellumTerminal& t) {
        RellumContext& c = *t.context();
        EXPECT_FALSE(c.originMode());
        EXPECT_FALSE(c.insertMode());
        EXPECT_EQ(c.textStyleMask(), 0u);
        EXPECT_EQ(c.verticalPageMargin(), (RellumRange{0, 5}));
        EXPECT_TRUE(c.tabStopIndexes().empty());
    });
}

TEST(TerminalModes, FullResetClearsBothScreensAndShowsThePrimary) {
    ControlHarness h({20, 5});
    h.feed(esc("primary~[?1049halternate~[2;3r~]0;t\a"));
    h.update();
    h.feed(esc("~c"));
    h.update();
    EXPECT_EQ(h.row(0), "");
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 0}));
    EXPECT_EQ(h.window->shown, h.terminal->primaryTextStorage());
    h.onRender([](RellumTerminal& t) {
        EXPECT_FALSE(t.context()->alternateScreenMode());
        EXPECT_EQ(t.context()->verticalPageMargin(), (RellumRange{0, 5}));
    });
    h.feed("after");
    EXPECT_EQ(h.row(0), "after");
    expectInvariant(h);
}

// ---- Screen switch ----

TEST(TerminalScreens, SwitchingTwiceQueuesOneStorageSwap) {
    ControlHarness h({20, 5});
    h.feed(esc("~[?47h~[?47h~[?1047h"));
    h.update();
    EXPECT_EQ(h.window->calls, (std::vector<std::string>{"show alternate"}));
    h.feed(esc("~[?47l~[?1047l"));
    h.update();
    EXPECT_EQ(h.window->calls, (std::vector<std::string>{"show alternate", "show primary"}));
}

TEST(TerminalScreens, OutputBeforeASwitchLandsOnThePrimaryScreen) {
    ControlHarness h({20, 5});
    h.feed(esc("shell$ ~[?1049h~[Heditor"));
    h.update();
    EXPECT_EQ(RellumUTF8FromUTF16(h.terminal->primaryTextStorage()->string()), "shell$ ");
    EXPECT_EQ(h.window->shown, h.terminal->alternateTextStorage());
    EXPECT_EQ(h.row(0), "editor");
    expectInvariant(h);
}

// ---- The page in debug form (void cells, tab padding, line ends) ----

TEST(TerminalDebugForm, WrapTabAndEraseShowInTheDebugForm) {
    ControlHarness h({10, 4});
    h.feed(esc("0123456789ab\r\n\tx~[2;2H~[X"));
    // "+": the line wraps into the next; "!": a hard end; "·" void cells
    // (the erased b among them); "─" the tab's padding up to the stop at 8.
    EXPECT_EQ(h.screen(), (std::vector<std::string>{"0123456789+", "a·········!", "────────x·!"}));
    expectInvariant(h);
}
