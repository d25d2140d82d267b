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

// ---- Scrolling inside a region of a page with scrollback ----

namespace {

// Every line of the primary grid, scrollback first, as plain text.
std::vector<std::string> allLines(ControlHarness& h) {
    std::vector<std::string> out;
    h.onRender([&](RellumTerminal& t) {
        const RellumGrid* grid = t.primaryGrid();
        for (uint64_t i = 0; i < grid->acutalLineCount(); ++i) {
            std::u16string text;
            const RellumLine& line = grid->lineAtIndex(i);
            line.elements().appendString(text, 0, line.elementCount(), nullptr, nullptr, nullptr, nullptr,
                                         false);
            std::string s = RellumUTF8FromUTF16(text);
            for (char& c : s)
                if (c == '\0') c = ' ';
            while (!s.empty() && s.back() == ' ')
                s.pop_back();
            out.push_back(s);
        }
    });
    return out;
}

std::vector<std::string> page(ControlHarness& h, int rows) {
    std::vector<std::string> out;
    for (int y = 0; y < rows; ++y)
        out.push_back(h.row(uint64_t(y)));
    return out;
}

// Rows "a".."f" written in place, each cut after its text.
std::string pageText() {
    std::string out;
    for (int y = 0; y < 6; ++y) {
        out.append("\x1b[").append(std::to_string(y + 1)).append(";1H");
        out.append(3, char('a' + y)).append("\x1b[K");
    }
    return out;
}

} // namespace

TEST(TerminalRegionsWithScrollback, ReverseIndexAtTheTopOfAFullPageInsertsABlankFirstRow) {
    ControlHarness h({20, 6});
    h.feed("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7");
    h.feed(esc("~[H~M"));
    EXPECT_EQ(page(h, 6), (std::vector<std::string>{"", "2", "3", "4", "5", "6"}));
    // The scrollback keeps its line; the last row went.
    EXPECT_EQ(allLines(h), (std::vector<std::string>{"1", "", "2", "3", "4", "5", "6"}));
    EXPECT_INVARIANT(h);
}

// Each scroll inside a region changes the page as it does on a page without
// scrollback, and leaves the scrollback as it was.
TEST(TerminalRegionsWithScrollback, RegionScrollsChangeOnlyThePage) {
    const char* const scrolls[] = {"~[2;5r~[3;1H~[L",
                                   "~[2;5r~[3;1H~[2L",
                                   "~[2;5r~[3;1H~[9L",
                                   "~[2;5r~[3;1H~[M",
                                   "~[2;5r~[2;1H~[3M",
                                   "~[2;5r~[S",
                                   "~[2;5r~[2S",
                                   "~[2;5r~[T",
                                   "~[2;5r~[3T",
                                   "~[2;5r~[2;1H~M",
                                   "~[2;5r~[2;1H~M~M",
                                   "~[2;5r~[5;1H\n",
                                   "~[2;5r~[5;1H\n\n",
                                   "~[3;1H~[2L",
                                   "~[4;1H~[M",
                                   "~[1;5r~[5;1H\n",
                                   "~[2;6r~[2;1H~M",
                                   "~[?69h~[2;4s~[2;5r~[3;2H~[2L",
                                   "~[?69h~[2;4s~[2;5r~[2M",
                                   "~[?69h~[2;4s~[2;5r~[5;2H\n"};
    const std::vector<std::string> history = {"h0", "h1", "h2", "h3"};
    for (const char* scroll : scrolls) {
        // One harness at a time: each binds the process's main queue.
        std::vector<std::string> expected;
        {
            ControlHarness without({10, 6});
            without.feed(pageText());
            without.feed(esc(scroll));
            expected = page(without, 6);
        }
        ControlHarness withHistory({10, 6});
        for (int i = 0; i < 9; ++i)
            withHistory.feed(std::string(1, 'h').append(std::to_string(i)).append("\r\n"));
        withHistory.feed(pageText());
        const std::vector<std::string> start = allLines(withHistory);
        ASSERT_EQ(std::vector<std::string>(start.begin(), start.begin() + 4), history);
        withHistory.feed(esc(scroll));
        EXPECT_EQ(page(withHistory, 6), expected) << scroll;
        const std::vector<std::string> lines = allLines(withHistory);
        ASSERT_EQ(lines.size(), 10u) << scroll;
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), history) << scroll;
        EXPECT_INVARIANT(withHistory);
    }
}

// Scrolling by n moves the lines as n scrolls by one do.
TEST(TerminalRegionsWithScrollback, ScrollingByNEqualsNScrollsByOne) {
    const char* const setups[] = {"~[2;5r", "~[?69h~[3;7s~[2;5r", "~[?69h~[1;10s~[1;6r", ""};
    const char* const finals[] = {"L", "M", "S", "T"};
    for (const char* setup : setups) {
        for (const char* final : finals) {
            for (int n = 2; n <= 5; ++n) {
                // By n at once, then n times by one (one harness at a time).
                std::vector<std::string> lines[2], screens[2];
                for (int stepwise = 0; stepwise < 2; ++stepwise) {
                    ControlHarness h({10, 6});
                    for (int i = 0; i < 8; ++i)
                        h.feed(std::string("history ").append(std::to_string(i)).append("\r\n"));
                    h.feed(pageText());
                    h.feed(esc(setup));
                    if (stepwise) {
                        for (int k = 0; k < n; ++k)
                            h.feed(esc("~[3;3H~[") + final);
                    } else {
                        h.feed(esc("~[3;3H~[") + std::to_string(n) + final);
                    }
                    lines[stepwise] = allLines(h);
                    screens[stepwise] = h.screen();
                    EXPECT_INVARIANT(h);
                }
                EXPECT_EQ(lines[0], lines[1]) << setup << " " << n << final;
                EXPECT_EQ(screens[0], screens[1]) << setup << " " << n << final;
            }
        }
    }
}

// A package manager keeps a status line under a region and writes its output
// above it: every output line stays on the page, none is blanked.
TEST(TerminalRegionsWithScrollback, OutputAboveAStatusLineKeepsEveryLine) {
    ControlHarness h({20, 6});
    for (int i = 0; i < 10; ++i)
        h.feed("old " + std::to_string(i) + "\r\n");
    h.feed(esc("\n~7~[0;5r~8~[1A"));
    for (int i = 0; i < 8; ++i) {
        h.feed("out " + std::to_string(i) + "\r\n");
        h.feed(esc("~7~[6;1H~[Kstatus ") + std::to_string(i) + esc("~8"));
    }
    const std::vector<std::string> rows = page(h, 6);
    EXPECT_EQ(rows[5], "status 7");
    // The last output lines, in order, above the blank line the cursor is on.
    EXPECT_EQ(rows[3], "out 7");
    EXPECT_EQ(rows[2], "out 6");
    EXPECT_EQ(rows[1], "out 5");
    EXPECT_EQ(rows[0], "out 4");
    EXPECT_EQ(rows[4], "");
    EXPECT_INVARIANT(h);
}

// A pager scrolling back writes each older line into the blank top row.
TEST(TerminalRegionsWithScrollback, PagerScrollingBackLeavesNoBlankLinesInTheHistory) {
    ControlHarness h({20, 6});
    for (int i = 0; i < 12; ++i)
        h.feed("line " + std::to_string(i) + "\r\n");
    const std::vector<std::string> before = allLines(h);
    for (int i = 0; i < 3; ++i)
        h.feed(esc("~[H~M") + "back " + std::to_string(i));
    const std::vector<std::string> after = allLines(h);
    ASSERT_EQ(after.size(), before.size());
    // The scrollback is untouched; the page shows the lines written back.
    const std::size_t history = before.size() - 6;
    EXPECT_EQ(std::vector<std::string>(after.begin(), after.begin() + long(history)),
              std::vector<std::string>(before.begin(), before.begin() + long(history)));
    EXPECT_EQ(page(h, 6),
              (std::vector<std::string>{"back 2", "back 1", "back 0", "line 7", "line 8", "line 9"}));
    EXPECT_INVARIANT(h);
}
