#include "ControlHarness.h"

#include <gtest/gtest.h>

// Round trips between the primary and the alternate screen through modes 47,
// 1047 and 1049, and scroll regions combined with left and right margins;
// after every step each text storage must equal its grid's lines.

using control_test::ControlHarness;

namespace {

std::string esc(std::string_view s) {
    std::string out;
    for (char c : s)
        out += c == '~' ? '\x1b' : c;
    return out;
}

#define EXPECT_INVARIANT(h)                                                                                  \
    do {                                                                                                     \
        std::string why_;                                                                                    \
        EXPECT_TRUE((h).storagesMatchGrids(&why_)) << why_;                                                  \
    } while (0)

bool alternateShown(ControlHarness& h) {
    bool shown = false;
    h.onRender([&](RellumTerminal& t) { shown = t.context()->alternateScreenMode(); });
    return shown;
}

} // namespace

TEST(TerminalAlternateScreen, Mode1049SavesClearsAndRestores) {
    ControlHarness h({20, 5});
    h.feed(esc("~[32mme$~[m ls\r\nfile\r\nme$ vi"));
    EXPECT_INVARIANT(h);
    h.feed(esc("~[?1049h"));
    EXPECT_TRUE(alternateShown(h));
    EXPECT_EQ(h.row(0), "");
    // The alternate screen has a cursor of its own.
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 0}));
    h.feed(esc("~[H~[2Jeditor line 1\r\n~~\r\n~~"));
    EXPECT_INVARIANT(h);
    EXPECT_EQ(h.window->shown, h.terminal->alternateTextStorage());
    h.feed(esc("~[?1049l"));
    EXPECT_FALSE(alternateShown(h));
    EXPECT_EQ(h.row(0), "me$ ls");
    EXPECT_EQ(h.row(2), "me$ vi");
    EXPECT_EQ(h.cursor(), (RellumCoord{6, 2}));
    EXPECT_INVARIANT(h);
    EXPECT_EQ(h.window->shown, h.terminal->primaryTextStorage());

    // A second visit finds the alternate screen cleared again.
    h.feed(esc("\r\n~[?1049h"));
    EXPECT_EQ(h.row(0), "");
    EXPECT_EQ(h.row(1), "");
    h.feed(esc("~[?1049l"));
    EXPECT_INVARIANT(h);
}

TEST(TerminalAlternateScreen, Leaving1049RestoresWhatEntering1049Saved) {
    ControlHarness h({20, 5});
    // Line drawing in G0 and the cursor at row 2, column 4 are saved on entry.
    h.feed(esc("~(0~[2;4H~[?1049h"));
    // The full-screen program changes the set and saves a cursor of its own.
    h.feed(esc("~(B~[4;8H~7~[H~[?1049l"));
    EXPECT_FALSE(alternateShown(h));
    EXPECT_EQ(h.cursor(), (RellumCoord{3, 1}));
    h.feed("q");
    EXPECT_EQ(h.row(1), "   ─");
    EXPECT_INVARIANT(h);
}

TEST(TerminalAlternateScreen, Modes47And1047KeepTheCursorColumnAndRow) {
    for (const char* mode : {"47", "1047"}) {
        SCOPED_TRACE(mode);
        ControlHarness h({20, 5});
        h.feed("one\r\ntwo");
        h.feed(esc("~[?") + mode + "h");
        EXPECT_TRUE(alternateShown(h));
        EXPECT_EQ(h.cursor(), (RellumCoord{3, 1}));
        h.feed("ALT");
        EXPECT_EQ(h.row(1), "   ALT");
        EXPECT_INVARIANT(h);
        h.feed(esc("~[?") + mode + "l");
        EXPECT_FALSE(alternateShown(h));
        // Back on the primary screen, at the column and row the alternate one had.
        EXPECT_EQ(h.cursor(), (RellumCoord{6, 1}));
        EXPECT_EQ(h.row(1), "two");
        EXPECT_INVARIANT(h);
        // Neither mode clears: the alternate text is still there next time.
        h.feed(esc("~[?") + mode + "h");
        EXPECT_EQ(h.row(1), "   ALT");
        h.feed(esc("~[?") + mode + "l");
        EXPECT_INVARIANT(h);
    }
}

TEST(TerminalAlternateScreen, AlternateScreenKeepsNoScrollback) {
    ControlHarness h({20, 5});
    h.feed(esc("~[?1049h"));
    for (int i = 0; i < 50; ++i)
        h.feed("line " + std::to_string(i) + "\r\n");
    uint64_t alternateLines = 0, primaryLines = 0;
    h.onRender([&](RellumTerminal& t) {
        alternateLines = t.alternateGrid()->acutalLineCount();
        primaryLines = t.primaryGrid()->acutalLineCount();
    });
    EXPECT_EQ(alternateLines, 5u);
    EXPECT_EQ(primaryLines, 1u);
    EXPECT_EQ(h.row(3), "line 49");
    EXPECT_INVARIANT(h);
    h.feed(esc("~[?1049l"));
    for (int i = 0; i < 50; ++i)
        h.feed("line " + std::to_string(i) + "\r\n");
    h.onRender([&](RellumTerminal& t) { primaryLines = t.primaryGrid()->acutalLineCount(); });
    EXPECT_EQ(primaryLines, 51u);
    EXPECT_INVARIANT(h);
}

TEST(TerminalAlternateScreen, SwitchesInterleavedWithTextInOneUpdate) {
    ControlHarness h({20, 5});
    // Everything between two updates: each storage gets exactly its grid's text.
    h.feed(esc("a~[?1049hb~[?1049lc~[?47hd~[?47le~[?1047hf~[?1047lg"));
    // 47 and 1047 carry the cursor across: d and f leave gaps on the primary line.
    EXPECT_EQ(h.row(0), "ac e g");
    EXPECT_INVARIANT(h);
    EXPECT_EQ(h.window->shown, h.terminal->primaryTextStorage());
}

TEST(TerminalMarginsAndRegions, LineFeedScrollsOnlyTheRectangle) {
    ControlHarness h({10, 6});
    for (int y = 0; y < 6; ++y)
        h.feed(std::string(10, char('0' + y)) + (y < 5 ? "\r\n" : ""));
    // Rows 2..4, columns 3..6 (1-based).
    h.feed(esc("~[?69h~[3;6s~[2;4r~[4;3H\nX\n"));
    EXPECT_EQ(h.row(0), "0000000000");
    EXPECT_EQ(h.row(1), "1133331111");
    EXPECT_EQ(h.row(2), "22X   2222");
    EXPECT_EQ(h.row(3), "33    3333");
    EXPECT_EQ(h.row(4), "4444444444");
    EXPECT_EQ(h.row(5), "5555555555");
    EXPECT_INVARIANT(h);
}

TEST(TerminalMarginsAndRegions, InsertAndDeleteLinesInsideTheRectangle) {
    ControlHarness h({10, 6});
    for (int y = 0; y < 6; ++y)
        h.feed(std::string(10, char('a' + y)) + (y < 5 ? "\r\n" : ""));
    h.feed(esc("~[?69h~[3;6s~[2;5r~[3;4H~[L"));
    EXPECT_EQ(h.row(1), "bbbbbbbbbb");
    EXPECT_EQ(h.row(2), "cc    cccc");
    EXPECT_EQ(h.row(3), "ddccccdddd");
    EXPECT_EQ(h.row(4), "eeddddeeee");
    EXPECT_EQ(h.row(5), "ffffffffff");
    EXPECT_INVARIANT(h);
    h.feed(esc("~[2M"));
    EXPECT_EQ(h.row(2), "ccddddcccc");
    EXPECT_EQ(h.row(3), "dd    dddd");
    EXPECT_EQ(h.row(4), "ee    eeee");
    EXPECT_INVARIANT(h);
    // Outside the rectangle (left of it): nothing.
    h.feed(esc("~[3;1H~[L"));
    EXPECT_EQ(h.row(2), "ccddddcccc");
}

TEST(TerminalMarginsAndRegions, ScrollUpAndDownWithBothMarginsOnTheAlternateScreen) {
    ControlHarness h({12, 6});
    h.feed(esc("~[?1049h"));
    for (int y = 0; y < 6; ++y)
        h.feed(esc("~[") + std::to_string(y + 1) + ";1H" + std::string(12, char('A' + y)));
    h.feed(esc("~[?69h~[2;11s~[2;5r~[2S"));
    EXPECT_EQ(h.row(0), "AAAAAAAAAAAA");
    EXPECT_EQ(h.row(1), "BDDDDDDDDDDB");
    EXPECT_EQ(h.row(2), "CEEEEEEEEEEC");
    EXPECT_EQ(h.row(3), "D          D");
    EXPECT_EQ(h.row(4), "E          E");
    EXPECT_EQ(h.row(5), "FFFFFFFFFFFF");
    EXPECT_INVARIANT(h);
    h.feed(esc("~[1T"));
    EXPECT_EQ(h.row(1), "B          B");
    EXPECT_EQ(h.row(2), "CDDDDDDDDDDC");
    EXPECT_INVARIANT(h);
    h.feed(esc("~[?69l~[r~[?1049l"));
    EXPECT_INVARIANT(h);
}

TEST(TerminalMarginsAndRegions, WrappingInsideMarginsThenLeavingThem) {
    ControlHarness h({10, 4});
    h.feed(esc("~[?69h~[4;7s~[2;3r~[2;4H") + "abcdefghijkl");
    EXPECT_EQ(h.row(1), "   efgh");
    EXPECT_EQ(h.row(2), "   ijkl");
    EXPECT_INVARIANT(h);
    h.feed(esc("~[?69l~[r~[4;1H") + "0123456789tail");
    EXPECT_EQ(h.row(2), "0123456789");
    EXPECT_EQ(h.row(3), "tail");
    EXPECT_INVARIANT(h);
}
