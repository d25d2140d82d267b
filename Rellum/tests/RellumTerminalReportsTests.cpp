#include "ControlHarness.h"

#include <gtest/gtest.h>

// Replies, margins, reverse video, window operations and titles, as host
// bytes in and replies, delegate calls and window calls out.

using control_test::ControlHarness;

namespace {

std::string esc(std::string_view s) {
    std::string out;
    for (char c : s)
        out += c == '~' ? '\x1b' : c;
    return out;
}

} // namespace

// ---- Device attributes and status ----

TEST(TerminalReports, DeviceAttributesAndStatus) {
    ControlHarness h({80, 24});
    h.feed(esc("~[c"));
    EXPECT_EQ(h.takeReplies(), esc("~[?1;2c"));
    h.feed(esc("~[0c"));
    EXPECT_EQ(h.takeReplies(), esc("~[?1;2c"));
    h.feed(esc("~[>c"));
    EXPECT_EQ(h.takeReplies(), esc("~[>0;95;0c"));
    h.feed(esc("~[5n"));
    EXPECT_EQ(h.takeReplies(), esc("~[0n"));
    // Every reply is one write, never split.
    EXPECT_EQ(h.host->writes.size(), 4u);
}

TEST(TerminalReports, CursorPosition) {
    ControlHarness h({80, 24});
    h.feed(esc("~[3;10H~[6n"));
    EXPECT_EQ(h.takeReplies(), esc("~[3;10R"));
    h.feed(esc("~[?6n"));
    EXPECT_EQ(h.takeReplies(), esc("~[?3;10R"));
    // Origin mode: relative to the scroll region.
    h.feed(esc("~[2;20r~[?6h~[2;10H~[6n"));
    EXPECT_EQ(h.takeReplies(), esc("~[2;10R"));
}

TEST(TerminalReports, CursorPositionRelativeToLeftMargin) {
    ControlHarness h({80, 24});
    h.feed(esc("~[?69h~[11;40s~[?6h~[1;5H~[6n"));
    EXPECT_EQ(h.takeReplies(), esc("~[1;5R"));
    EXPECT_EQ(h.cursor(), (RellumCoord{14, 0}));
    // Origin mode off again: the cursor left of the margin answers absolute.
    h.feed(esc("~[?6l~[1;3H~[6n"));
    EXPECT_EQ(h.takeReplies(), esc("~[1;3R"));
}

TEST(TerminalReports, PendingWrapPositionReportsPastTheLastColumn) {
    ControlHarness h({80, 24});
    h.feed(std::string(80, 'x'));
    h.feed(esc("~[6n"));
    EXPECT_EQ(h.takeReplies(), esc("~[1;81R"));
    uint64_t column = 0, row = 0;
    h.onRender([&](RellumTerminal& t) {
        column = t.scannerCursorColumn(*t.scanner());
        row = t.scannerCursorRow(*t.scanner());
    });
    EXPECT_EQ(column, 80u);
    EXPECT_EQ(row, 1u);
}

// ---- Margins ----

TEST(TerminalMargins, TopAndBottom) {
    ControlHarness h({80, 24});
    auto region = [&] {
        RellumRange r;
        h.onRender([&](RellumTerminal& t) { r = t.context()->verticalPageMargin(); });
        return r;
    };
    h.feed(esc("~[3;10r"));
    EXPECT_EQ(region(), (RellumRange{2, 8}));
    h.feed(esc("~[5;5r"));
    EXPECT_EQ(region(), (RellumRange{2, 8}));
    h.feed(esc("~[1;200r"));
    EXPECT_EQ(region(), (RellumRange{2, 8}));
    h.feed(esc("~[10;3r"));
    EXPECT_EQ(region(), (RellumRange{2, 8}));
    h.feed(esc("~[0;0r"));
    EXPECT_EQ(region(), (RellumRange{0, 24}));
    h.feed(esc("~[20r")); // bottom left out: the last row
    EXPECT_EQ(region(), (RellumRange{19, 5}));
    // Setting a region homes the cursor.
    h.feed(esc("~[5;5H~[r"));
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 0}));
}

TEST(TerminalMargins, LeftAndRightAreValidatedWhenSet) {
    ControlHarness h({80, 24});
    auto margins = [&] {
        RellumRange r;
        h.onRender([&](RellumTerminal& t) { r = t.context()->horizontalPageMargin(); });
        return r;
    };
    // Without mode 69, CSI s saves the cursor and no margin is set.
    h.feed(esc("~[5;20H~[s~[1;1H~[u"));
    EXPECT_EQ(h.cursor(), (RellumCoord{19, 4}));
    h.feed(esc("~[10;20s"));
    EXPECT_EQ(margins(), (RellumRange{0, 80}));

    h.feed(esc("~[?69h~[10;20s"));
    EXPECT_EQ(margins(), (RellumRange{9, 11}));
    h.feed(esc("~[20;10s")); // right before left
    EXPECT_EQ(margins(), (RellumRange{9, 11}));
    h.feed(esc("~[15;15s")); // right equal to left
    EXPECT_EQ(margins(), (RellumRange{9, 11}));
    h.feed(esc("~[5;81s")); // right past the page
    EXPECT_EQ(margins(), (RellumRange{9, 11}));
    h.feed(esc("~[70s")); // right left out: the last column
    EXPECT_EQ(margins(), (RellumRange{69, 11}));
    h.feed(esc("~[s"));
    EXPECT_EQ(margins(), (RellumRange{0, 80}));
    // Text wraps at the right margin and returns to the left one.
    h.feed(esc("~[3;6s~[1;3H") + "abcdefg");
    EXPECT_EQ(h.row(0), "  abcd");
    EXPECT_EQ(h.row(1), "  efg");
}

// ---- Reverse video ----

TEST(TerminalReverseVideo, SwapsTheDefaultColoursOnce) {
    ControlHarness h({20, 5});
    h.feed("text");
    h.update();
    h.feed(esc("~[?5h~[?5h"));
    h.update();
    ASSERT_EQ(h.window->backgrounds.size(), 1u);
    EXPECT_EQ(h.window->backgrounds[0], rellum_flatWhite());
    h.onRender([](RellumTerminal& t) {
        EXPECT_TRUE(t.context()->reverseVideoMode());
        EXPECT_EQ(t.context()->videoTextColor(), rellum_flatBlack());
        EXPECT_EQ(t.context()->videoBackgroundColor(), rellum_flatWhite());
    });
    // Text already shown takes the new text colour.
    auto shownForeground = [&] {
        auto attributes = h.terminal->primaryTextStorage()->attributesAtIndex(0);
        return attributes ? attributes->foregroundColor() : std::optional<RellumColor>();
    };
    EXPECT_EQ(shownForeground(), rellum_flatBlack());
    h.feed(esc("~[?5l"));
    h.update();
    ASSERT_EQ(h.window->backgrounds.size(), 2u);
    EXPECT_EQ(h.window->backgrounds[1], rellum_flatBlack());
    EXPECT_EQ(shownForeground(), rellum_flatWhite());
    h.feed(esc("~[?5l"));
    h.update();
    EXPECT_EQ(h.window->backgrounds.size(), 2u);
}

TEST(TerminalReverseVideo, FullResetReturnsTheViewToNormalVideo) {
    ControlHarness h({20, 5});
    h.feed(esc("~[?5h"));
    h.update();
    h.feed(esc("~c") + "new");
    h.update();
    ASSERT_EQ(h.window->backgrounds.size(), 2u);
    EXPECT_EQ(h.window->backgrounds.back(), rellum_flatBlack());
    auto attributes = h.terminal->primaryTextStorage()->attributesAtIndex(0);
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->foregroundColor(), rellum_flatWhite());
    // Without reverse video a reset leaves the background alone.
    h.feed(esc("~c"));
    h.update();
    EXPECT_EQ(h.window->backgrounds.size(), 2u);
}

// ---- Window operations ----

TEST(TerminalWindow, OperationsReachTheWindowWithTheNextUpdate) {
    ControlHarness h({20, 5});
    h.feed(esc("~[2t~[1t~[3;100;200t~[5t~[6t~[4;300;400t"));
    EXPECT_TRUE(h.window->calls.empty()); // not from the render queue
    h.update();
    EXPECT_EQ(h.window->calls,
              (std::vector<std::string>{"iconify", "deiconify", "move 100,200", "raise", "lower"}));
    // A position the host left out is no position at all.
    h.feed(esc("~[3t~[3;5t"));
    h.update();
    EXPECT_EQ(h.window->calls.size(), 5u);
}

TEST(TerminalWindow, ReportsReadThePublishedSnapshot) {
    ControlHarness h({80, 24});
    h.feed(esc("~[11t~[13t~[14t~[18t~[19t"));
    // Without a view: a normal window at 0,0 with no frame; the largest page is the one in use.
    EXPECT_EQ(h.takeReplies(), esc("~[1t~[3;0;0t~[4;0;0t~[8;24;80t~[9;24;80t"));

    RellumWindowSnapshot::State state;
    state.miniaturized = true;
    state.windowTopLeftPoint = {120.7, 45.2};
    state.viewFrameSize = RellumSize{560.9, 384.1};
    state.maximalPageSize = RellumPageSize{132, 50};
    h.terminal->windowSnapshot()->setState(state);
    h.feed(esc("~[11t~[13t~[14t~[19t"));
    EXPECT_EQ(h.takeReplies(), esc("~[2t~[3;120;45t~[4;384;560t~[9;50;132t"));
}

TEST(TerminalWindow, HostPageSizeIsLimited) {
    ControlHarness h({80, 24});
    auto size = [&] {
        RellumPageSize s;
        h.onRender([&](RellumTerminal& t) { s = t.activeGrid()->pageSize(); });
        return s;
    };
    h.feed(esc("~[8;30;100t"));
    EXPECT_EQ(size(), (RellumPageSize{100, 30}));
    EXPECT_EQ(h.terminal->pageSize(), (RellumPageSize{100, 30}));
    h.feed(esc("~[8;0;90t")); // 0 keeps the rows
    EXPECT_EQ(size(), (RellumPageSize{90, 30}));
    h.feed(esc("~[8;2;3t")); // never below 20 by 5
    EXPECT_EQ(size(), (RellumPageSize{20, 5}));
    h.feed(esc("~[8;99999;99999t"));
    EXPECT_EQ(size(),
              (RellumPageSize{RellumTerminal::kHostPageColumnsLimit, RellumTerminal::kHostPageRowsLimit}));
    // With a view, what it can show.
    h.terminal->windowSnapshot()->setMaximalPageSize(RellumPageSize{120, 40});
    h.feed(esc("~[8;9999;9999t"));
    EXPECT_EQ(size(), (RellumPageSize{120, 40}));
    h.feed(esc("~[18t"));
    EXPECT_EQ(h.takeReplies(), esc("~[8;40;120t"));
    h.onRender([](RellumTerminal& t) {
        EXPECT_EQ(t.primaryGrid()->pageSize(), (RellumPageSize{120, 40}));
        EXPECT_EQ(t.alternateGrid()->pageSize(), (RellumPageSize{120, 40}));
        EXPECT_EQ(t.context()->pageSize(), (RellumPageSize{120, 40}));
    });
}

TEST(TerminalWindow, ColumnModeChangesThePageClearsAndHomes) {
    ControlHarness h({80, 24});
    h.feed(esc("text~[5;5H~[?3h"));
    RellumPageSize size;
    h.onRender([&](RellumTerminal& t) { size = t.activeGrid()->pageSize(); });
    EXPECT_EQ(size, (RellumPageSize{132, 24}));
    EXPECT_EQ(h.row(0), "");
    EXPECT_EQ(h.cursor(), (RellumCoord{0, 0}));
    h.feed(esc("~[?3l"));
    h.onRender([&](RellumTerminal& t) { size = t.activeGrid()->pageSize(); });
    EXPECT_EQ(size, (RellumPageSize{80, 24}));
    std::string why;
    EXPECT_TRUE(h.storagesMatchGrids(&why)) << why;
}

// ---- Titles ----

TEST(TerminalTitles, SetReportPushAndPop) {
    ControlHarness h({20, 5});
    h.feed(esc("~]0;first\a~[21t"));
    EXPECT_EQ(h.terminal->terminalTitle(), "first");
    EXPECT_EQ(h.takeReplies(), esc("~]lfirst~\\"));
    h.feed(esc("~[20t"));
    EXPECT_EQ(h.takeReplies(), esc("~]Lfirst~\\"));
    h.feed(esc("~[22;0t~]2;second~\\~[23;0t"));
    EXPECT_EQ(h.terminal->terminalTitle(), "first");
    EXPECT_EQ(h.host->titles, (std::vector<std::string>{"first", "second", "first"}));
}

TEST(TerminalTitles, PushWithoutTitleAndPopOfEmptyStack) {
    ControlHarness h({20, 5});
    h.feed(esc("~[23;0t"));
    EXPECT_TRUE(h.host->titles.empty());
    EXPECT_FALSE(h.terminal->terminalTitle());
    h.feed(esc("~[22;0t~]0;x\a~[23;0t"));
    EXPECT_EQ(h.terminal->terminalTitle(), "");
    EXPECT_EQ(h.host->titles, (std::vector<std::string>{"x", ""}));
    h.feed(esc("~[21t"));
    EXPECT_EQ(h.takeReplies(), esc("~]l~\\"));
}

TEST(TerminalTitles, ReportedTitleCarriesNoControlCharacters) {
    ControlHarness h({20, 5});
    // A title that would type a command and end the reply early.
    h.feed(esc("~]0;ab\rrm -rf x\x08\x7f\xc2\x9b"
               "2J\ncd~\\"));
    EXPECT_EQ(h.terminal->terminalTitle(), "ab\rrm -rf x\x08\x7f\xc2\x9b"
                                           "2J\ncd");
    h.feed(esc("~[21t"));
    EXPECT_EQ(h.takeReplies(), esc("~]labrm -rf x2Jcd~\\"));
    // Text outside the controls, wide and combining included, is kept.
    h.terminal->setTerminalTitle(std::string("\xe4\xb8\xad"
                                             "e\xcc\x81\xff!"));
    h.feed(esc("~[21t"));
    EXPECT_EQ(h.takeReplies(), esc("~]l\xe4\xb8\xad"
                                   "e\xcc\x81!~\\"));
}

TEST(TerminalTitles, CurrentDirectory) {
    ControlHarness h({20, 5});
    h.feed(esc("~]7;file:///tmp\a"));
    EXPECT_EQ(h.terminal->representedURL(), "file:///tmp");
    EXPECT_EQ(h.host->directories, (std::vector<std::string>{"file:///tmp"}));
}

// ---- Rendition reaching the shown text ----

TEST(TerminalRendition, PromptAndListingColoursReachTheStorage) {
    ControlHarness h({40, 5});
    h.feed(esc("~[01;32mana@build~[00m:~[01;34m") + "~" + esc("~[00m$ ~[44;97mbg~[m~[7mrev~[m"));
    h.update();
    const RellumTextStorage& storage = *h.terminal->primaryTextStorage();
    EXPECT_EQ(RellumUTF8FromUTF16(storage.string()), "ana@build:~$ bgrev");
    auto at = [&](uint64_t i) { return storage.attributesAtIndex(i); };
    ASSERT_TRUE(at(0) && at(9) && at(10) && at(13) && at(15));
    EXPECT_EQ(at(0)->foregroundColor(), rellum_colorForColorIndex(2));
    EXPECT_TRUE(at(0)->isBold());
    EXPECT_EQ(at(9)->foregroundColor(), rellum_flatWhite()); // ":" after the reset
    EXPECT_FALSE(at(9)->isBold());
    EXPECT_EQ(at(10)->foregroundColor(), rellum_colorForColorIndex(4));
    EXPECT_EQ(at(13)->backgroundColor(), rellum_colorForColorIndex(4));
    EXPECT_EQ(at(13)->foregroundColor(), rellum_colorForColorIndex(15));
    // Inverse with default colours: the video colours swapped.
    EXPECT_TRUE(at(15)->isInverse());
    EXPECT_EQ(at(15)->foregroundColor(), rellum_flatBlack());
    EXPECT_EQ(at(15)->backgroundColor(), rellum_flatWhite());
}
