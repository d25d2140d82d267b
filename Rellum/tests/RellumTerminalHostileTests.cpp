#include "ControlHarness.h"

#include <gtest/gtest.h>

// Hostile host output: counts and sizes far beyond the page, unreadable
// parameters, floods of them. Every count is limited before it drives a loop
// or an allocation, so each case ends promptly (a loop of the host's count
// would run for hours and fail by the test time-out) and leaves the screen
// within bounds: no line wider than the page limit, no more lines than the
// page and its scrollback, the title stack bounded, the storages equal to
// the grids.

using control_test::ControlHarness;

namespace {

std::string esc(std::string_view s) {
    std::string out;
    for (char c : s)
        out += c == '~' ? '\x1b' : c;
    return out;
}

std::string repeat(const std::string& s, int n) {
    std::string out;
    out.reserve(s.size() * std::size_t(n));
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// The screen stays within what the page allows.
void expectBounded(ControlHarness& h) {
    h.onRender([](RellumTerminal& t) {
        for (RellumGrid* grid : {t.primaryGrid(), t.alternateGrid()}) {
            const RellumPageSize page = grid->pageSize();
            EXPECT_LE(page.width, RellumTerminal::kHostPageColumnsLimit);
            EXPECT_LE(page.height, RellumTerminal::kHostPageRowsLimit);
            const uint64_t rows = uint64_t(page.height);
            const uint64_t most = grid->allowsScrollback() ? rows + grid->maxScrollback() : rows;
            EXPECT_LE(grid->acutalLineCount(), most);
            for (uint64_t i = 0; i < grid->acutalLineCount(); ++i)
                ASSERT_LE(grid->lineAtIndex(i).elementCount(),
                          uint64_t(RellumTerminal::kHostPageColumnsLimit));
            EXPECT_LE(grid->cursorX(), uint64_t(page.width));
            EXPECT_LT(grid->cursorY(), rows);
        }
        EXPECT_LE(t.terminalTitleStack().size(), RellumTerminal::kTitleStackLimit);
    });
    std::string why;
    EXPECT_TRUE(h.storagesMatchGrids(&why)) << why;
}

// Parameters: the largest the scanner passes, beyond it (clamped by the
// scanner), and text it cannot read (reaching the terminal as RellumNotFound).
const char* const kHugeCounts[] = {"2147483647", "99999999999999999999", "1:2", ":1", "=9", "<"};

} // namespace

TEST(TerminalHostile, HugeCountsOfEveryCountedFunction) {
    const std::string finals = "@ABCDEFGIJKLMPSTXZdefa`";
    for (const char* count : kHugeCounts) {
        for (char final : finals) {
            SCOPED_TRACE(std::string("CSI ") + count + " " + final);
            ControlHarness h({80, 24});
            h.feed("line one\r\nline two\r\n");
            h.feed(esc("~[5;10H") + esc("~[") + count + final + "x");
            expectBounded(h);
        }
    }
}

TEST(TerminalHostile, HugeCountsInsideMarginsAndOriginMode) {
    ControlHarness h({80, 24});
    h.feed(esc("~[?69h~[5;60s~[3;20r~[?6h~[4h"));
    for (const char* count : kHugeCounts)
        for (char final : std::string("@ILMPSTXZ"))
            h.feed(esc("~[3;3H~[") + count + final + "ab");
    expectBounded(h);
    RellumRange vertical, horizontal;
    h.onRender([&](RellumTerminal& t) {
        vertical = t.context()->verticalPageMargin();
        horizontal = t.context()->horizontalPageMargin();
    });
    EXPECT_EQ(vertical, (RellumRange{2, 18}));
    EXPECT_EQ(horizontal, (RellumRange{4, 56}));
}

TEST(TerminalHostile, HugeAndMissingPageSizes) {
    ControlHarness h({80, 24});
    for (const char* seq :
         {"~[8;2147483647;2147483647t", "~[8;99999999999999999999;5t", "~[8;;t", "~[8t", "~[8;1:2;3>4t",
          "~[8;0;0t", "~[?3h", "~[?3l", "~[4;2147483647;2147483647t", "~[3;2147483647;2147483647t"}) {
        SCOPED_TRACE(seq);
        h.feed(esc(seq) + "text\r\n");
        expectBounded(h);
    }
    // Missing sizes keep the page.
    h.feed(esc("~[8;30;100t~[8;;t~[8t"));
    RellumPageSize size;
    h.onRender([&](RellumTerminal& t) { size = t.activeGrid()->pageSize(); });
    EXPECT_EQ(size, (RellumPageSize{100, 30}));
}

TEST(TerminalHostile, FloodsOfLargeOperationsOnTheLargestPage) {
    ControlHarness h({80, 24});
    h.feed(esc("~[8;99999;99999t"));
    const std::string flood = esc("~[99999L~[99999M~[99999S~[99999T~[99999@~[99999P~[99999I~[99999Z"
                                  "~[99999X~[99999;99999H~[99999A~[99999D~#8");
    h.feed(repeat(flood, 50));
    expectBounded(h);
}

TEST(TerminalHostile, FloodsOfPageChangesAndScreenSwitches) {
    ControlHarness h({80, 24});
    const std::string flood = esc("~[8;500;1000t~[?1049hx~[?3h~[8;5;20ty~[?1049l~[?47h~[?3l~[?1047l~c");
    // In one chunk and in many small ones.
    h.feed(repeat(flood, 100));
    expectBounded(h);
    const std::string all = repeat(flood, 30);
    for (std::size_t i = 0; i < all.size(); i += 7)
        h.feed(std::string_view(all).substr(i, 7));
    expectBounded(h);
}

TEST(TerminalHostile, TitleStackIsBounded) {
    ControlHarness h({20, 5});
    for (int i = 0; i < 10000; ++i)
        h.feed(esc("~]0;t") + std::to_string(i) + esc("\a~[22;0t"));
    std::vector<std::string> stack;
    h.onRender([&](RellumTerminal& t) { stack = t.terminalTitleStack(); });
    ASSERT_EQ(stack.size(), RellumTerminal::kTitleStackLimit);
    // The newest pushes are kept, the oldest dropped.
    EXPECT_EQ(stack.back(), "t9999");
    EXPECT_EQ(stack.front(), "t9990");
    for (int i = 0; i < 20; ++i)
        h.feed(esc("~[23;0t"));
    EXPECT_EQ(h.terminal->terminalTitle(), "t9990");
    expectBounded(h);
}

TEST(TerminalHostile, TitleReportFloodSendsOnlyPlainTitles) {
    ControlHarness h({20, 5});
    h.feed(esc("~]2;\x1b[6n\x07")); // the ESC ends the command: unsupported, no title
    h.feed(esc("~]2;a\x01\x1f\x7f\xc2\x80\xc2\x9f\x9b\x18")); // CAN cancels
    h.feed(esc("~]2;\r\n\t\x05id\r\a"));
    EXPECT_EQ(h.terminal->terminalTitle(), "\r\n\t\x05id\r");
    h.feed(repeat(esc("~[21t~[20t"), 1000));
    const std::string replies = h.takeReplies();
    EXPECT_EQ(replies, repeat(esc("~]lid~\\~]Lid~\\"), 1000));
}

TEST(TerminalHostile, MarginsThatDoNotFitAreRefused) {
    ControlHarness h({80, 24});
    h.feed(esc("~[?69h"));
    for (const char* seq : {"~[2147483647;2147483647s", "~[50;2147483647s", "~[0;1s", "~[1;1s", "~[81;81s",
                            "~[5;3s", "~[2147483647;2147483647r", "~[24;24r", "~[1;25r"}) {
        SCOPED_TRACE(seq);
        h.feed(esc(seq) + "text");
        RellumRange vertical, horizontal;
        h.onRender([&](RellumTerminal& t) {
            vertical = t.context()->verticalPageMargin();
            horizontal = t.context()->horizontalPageMargin();
        });
        EXPECT_EQ(vertical, (RellumRange{0, 24}));
        EXPECT_EQ(horizontal, (RellumRange{0, 80}));
    }
    expectBounded(h);
}
