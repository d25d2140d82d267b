#include "TerminalHarness.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

using namespace terminal_test;
using namespace std::chrono_literals;

namespace {

const RellumColor kRed = RellumColor::colorWithRGB255(255, 0, 0);
const RellumColor kBlue = RellumColor::colorWithRGB255(0, 0, 255);

std::string hundredBytes(char c) {
    return std::string(100, c);
}

} // namespace

// ---- Coalesced updates on virtual time ----

TEST(RellumTerminalUpdates, TenShortChunksWithin20msGiveOneUpdateAfterTheFirstChunk) {
    TerminalHarness h({200, 24});
    for (int i = 0; i < 10; ++i) {
        h.terminal->renderData(hundredBytes(char('a' + i)));
        h.drain();
        h.clock->advance(2ms);
    }
    EXPECT_EQ(h.clock->pendingCount(), 1u) << "one update scheduled for all ten chunks";
    h.clock->advanceTo(RellumTerminal::kShortChunkDelay - 1ns);
    h.main->runUntilIdle();
    EXPECT_EQ(h.delegate->ended.load(), 0);
    EXPECT_EQ(h.primaryText(), "");

    h.clock->advanceTo(RellumTerminal::kShortChunkDelay);
    ASSERT_TRUE(h.waitForUpdates(1));
    EXPECT_EQ(h.delegate->began.load(), 1);
    EXPECT_EQ(h.controller->updates, 1);
    EXPECT_EQ(h.primaryText(), h.gridText());
    EXPECT_EQ(h.primaryText().substr(0, 200), hundredBytes('a') + hundredBytes('b'));
    h.clock->advance(1s);
    h.main->runUntilIdle();
    EXPECT_EQ(h.delegate->ended.load(), 1) << "no second update without new bytes";
}

TEST(RellumTerminalUpdates, ALargeFirstChunkDelaysTheUpdateLongerAndTheNextChunkDecidesAgain) {
    TerminalHarness h;
    h.terminal->renderData(std::string(4096, 'x'));
    h.drain();
    h.clock->advanceTo(RellumTerminal::kLongChunkDelay - 1ns);
    h.main->runUntilIdle();
    EXPECT_EQ(h.delegate->ended.load(), 0);
    h.clock->advanceTo(RellumTerminal::kLongChunkDelay);
    ASSERT_TRUE(h.waitForUpdates(1));

    // After an update, a short chunk comes first: the short delay again, even
    // though a large chunk follows it.
    const auto start = h.clock->now();
    h.terminal->renderData("short");
    h.terminal->renderData(std::string(4096, 'y'));
    h.drain();
    h.clock->advanceTo(start + RellumTerminal::kShortChunkDelay - 1ns);
    h.main->runUntilIdle();
    EXPECT_EQ(h.delegate->ended.load(), 1);
    h.clock->advanceTo(start + RellumTerminal::kShortChunkDelay);
    ASSERT_TRUE(h.waitForUpdates(2));
    EXPECT_EQ(h.primaryText(), h.gridText());
}

TEST(RellumTerminalUpdates, ATerminalReleasedWithAnUpdateScheduledRunsNoFlush) {
    TerminalHarness h;
    std::weak_ptr<RellumTerminal> weak = h.terminal;
    h.terminal->renderData("pending");
    h.drain();
    ASSERT_EQ(h.clock->pendingCount(), 1u);
    h.terminal.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(h.clock->pendingCount(), 0u) << "the scheduled update is cancelled";
    h.clock->advance(1s);
    h.main->runUntilIdle();
    EXPECT_EQ(h.delegate->began.load(), 0);
    EXPECT_EQ(h.delegate->ended.load(), 0);
}

TEST(RellumTerminalUpdates, AQueuedChunkKeepsItsTerminalAliveUntilScanned) {
    TerminalHarness h;
    std::weak_ptr<RellumTerminal> weak = h.terminal;
    std::atomic<bool> release{false};
    // Hold the render queue so the chunk stays queued.
    h.terminal->renderQueue().async([&] {
        while (!release.load())
            std::this_thread::sleep_for(1ms);
    });
    h.terminal->renderData("bytes");
    h.terminal.reset();
    EXPECT_FALSE(weak.expired());
    release = true;
    for (int i = 0; i < 2000 && !weak.expired(); ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(weak.expired());
}

// A writer may get four chunks ahead of the render queue, no more; once the
// queue moves, every chunk is scanned and the writer goes on to the end.
TEST(RellumTerminalUpdates, AWriterWaitsWhileFourChunksAreQueuedAndThenGoesOn) {
    TerminalHarness h;
    std::atomic<bool> release{false};
    h.terminal->renderQueue().async([&] {
        while (!release.load())
            std::this_thread::sleep_for(1ms);
    });
    constexpr int kChunks = 40;
    std::atomic<int> handed{0};
    std::thread writer([&] {
        for (int i = 0; i < kChunks; ++i) {
            h.terminal->renderData(std::string(1, char('a' + i % 26)));
            ++handed;
        }
    });
    for (int i = 0; i < 2000 && handed.load() < 4; ++i)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(handed.load(), 4);
    release = true;
    writer.join();
    EXPECT_EQ(handed.load(), kChunks);
    h.drain();
    std::string expected;
    for (int i = 0; i < kChunks; ++i)
        expected += char('a' + i % 26);
    EXPECT_EQ(h.gridText().substr(0, kChunks), expected);
}

TEST(RellumTerminalUpdates, ATerminalLastHeldByItsRenderQueueLeavesItsViewToTheMainThread) {
    TerminalHarness h;
    std::thread::id destroyedOn;
    h.controller->destroyedOn = &destroyedOn;
    std::weak_ptr<RellumTerminal> weak = h.terminal;
    std::atomic<bool> release{false};
    std::thread::id renderThread;
    h.terminal->renderQueue().async([&, keep = h.terminal]() mutable {
        while (!release.load())
            std::this_thread::sleep_for(1ms);
        renderThread = std::this_thread::get_id();
        keep.reset(); // the last owner lets go here, on the render queue
    });
    h.terminal.reset();
    release = true;
    ASSERT_TRUE(h.main->runUntil([&] { return destroyedOn != std::thread::id(); }, 20s));
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(destroyedOn, std::this_thread::get_id()) << (destroyedOn == renderThread ? "render" : "other");
}

// ---- The main thread never waits for the render queue ----

TEST(RellumTerminalUpdates, FeedingFromTheMainThreadWhileAnUpdateWaitsForItDoesNotDeadlock) {
    TerminalHarness h;
    h.terminal->renderData("first\r\n");
    h.drain();
    // The update starts on the render queue and waits for the main thread.
    h.clock->advance(RellumTerminal::kLongChunkDelay);
    for (int i = 0; i < 2000 && h.main->pendingCount() == 0; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(h.main->pendingCount(), 1u);

    // Far more chunks than the semaphore allows, from the main thread: each
    // call must return although the render queue cannot scan them yet.
    std::atomic<bool> returned{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 10000 && !returned.load(); ++i)
            std::this_thread::sleep_for(1ms);
        if (!returned.load()) {
            fprintf(stderr, "renderData blocked the main thread\n");
            std::abort();
        }
    });
    for (int i = 0; i < 12; ++i)
        h.terminal->renderData(std::string("line ").append(std::to_string(i)).append("\r\n"));
    returned = true;
    watchdog.join();

    ASSERT_TRUE(h.waitForUpdates(1));
    ASSERT_TRUE(h.update());
    const std::string text = h.primaryText();
    EXPECT_EQ(text, h.gridText());
    EXPECT_NE(text.find("first\nline 0\nline 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("line 11"), std::string::npos);
}

// ---- Bytes for the host and page sizes ----

TEST(RellumTerminalHost, EmptyDataIsDroppedAndMalformedTextIsReplaced) {
    TerminalHarness h;
    h.terminal->writeData("");
    h.terminal->writeString("");
    EXPECT_TRUE(h.delegate->written.empty());
    h.terminal->writeData(std::string("\x00\x1b", 2));
    h.terminal->writeString("a\xC3\xA9"
                            "b\xFF"
                            "c\xE2\x82");
    h.terminal->writeString("\xED\xA0\x80"); // an encoded surrogate
    ASSERT_EQ(h.delegate->written.size(), 3u);
    EXPECT_EQ(h.delegate->written[0], std::string("\x00\x1b", 2));
    EXPECT_EQ(h.delegate->written[1], "a\xC3\xA9"
                                      "b\xEF\xBF\xBD"
                                      "c\xEF\xBF\xBD");
    EXPECT_EQ(h.delegate->written[2], "\xEF\xBF\xBD");
}

TEST(RellumTerminalHost, PageSizesAreProposedThenAppliedWhenConfirmed) {
    TerminalHarness h({80, 24});
    h.terminal->willChangePageSize({80, 24});
    EXPECT_TRUE(h.delegate->proposals.empty()) << "the current size is not proposed";
    h.terminal->willChangePageSize({100, 30});
    ASSERT_EQ(h.delegate->proposals.size(), 1u);
    EXPECT_EQ(h.delegate->proposals[0], (RellumPageSize{100, 30}));
    EXPECT_EQ(h.terminal->pageSize(), (RellumPageSize{80, 24})) << "a proposal changes nothing";

    h.terminal->didChangePageSize({100, 30});
    EXPECT_EQ(h.terminal->pageSize(), (RellumPageSize{100, 30}));
    h.onRenderQueue([](RellumTerminal& t) {
        EXPECT_EQ(t.context()->pageSize(), (RellumPageSize{100, 30}));
        EXPECT_EQ(t.primaryGrid()->pageSize(), (RellumPageSize{100, 30}));
        EXPECT_EQ(t.alternateGrid()->pageSize(), (RellumPageSize{100, 30}));
    });

    h.terminal->willChangePageSize({3, 2});
    ASSERT_EQ(h.delegate->proposals.size(), 2u);
    EXPECT_EQ(h.delegate->proposals[1], (RellumPageSize{20, 5})) << "never less than 20 by 5";

    h.controller->maximal = {3, 2};
    EXPECT_EQ(h.terminal->maxAllowedPageSize(), (RellumPageSize{20, 5}));
    h.controller->maximal = {132, 4};
    EXPECT_EQ(h.terminal->maxAllowedPageSize(), (RellumPageSize{132, 5}));
}

TEST(RellumTerminalHost, ApplicationKeypadAndTokenNames) {
    TerminalHarness h;
    EXPECT_TRUE(h.terminal->allowsApplicationKeypad());
    h.onRenderQueue([](RellumTerminal& t) { t.context()->setApplicationCursorKeyMode(true); });
    h.terminal->setAllowsApplicationKeypad(true);
    h.onRenderQueue([](RellumTerminal& t) { EXPECT_TRUE(t.context()->applicationCursorKeyMode()); });
    h.terminal->setAllowsApplicationKeypad(false);
    EXPECT_FALSE(h.terminal->allowsApplicationKeypad());
    h.onRenderQueue([](RellumTerminal& t) { EXPECT_FALSE(t.context()->applicationCursorKeyMode()); });

    const auto& tags = RellumTerminal::tokenTags();
    EXPECT_EQ(tags.size(), 16u);
    EXPECT_EQ(tags.at(4000), "Data");
    EXPECT_EQ(tags.at(2002), "Unsupport");
    EXPECT_EQ(tags.at(2014), "SCS");
}

// ---- Edits and storages ----

TEST(RellumTerminalMirror, TextKeepsTheColourInForceWhenItWasWritten) {
    TerminalHarness h;
    h.onRenderQueue([](RellumTerminal& t) {
        t.context()->setCurrentTextColor(kRed);
        t.scanner()->scanData("red");
        t.context()->setCurrentTextColor(std::nullopt);
        t.scanner()->scanData("plain");
    });
    ASSERT_TRUE(h.update());
    auto* storage = h.terminal->primaryTextStorage();
    ASSERT_EQ(h.primaryText(), "redplain");
    ASSERT_TRUE(storage->attributesAtIndex(0)->foregroundColor());
    EXPECT_EQ(*storage->attributesAtIndex(2)->foregroundColor(), kRed);
    EXPECT_EQ(*storage->attributesAtIndex(3)->foregroundColor(), rellum_flatWhite());
}

TEST(RellumTerminalMirror, OutputQueuedBeforeASwitchLandsInItsOwnScreensStorage) {
    TerminalHarness h;
    h.onRenderQueue([](RellumTerminal& t) {
        t.scanner()->scanData("primary");
        t.setAlternateScreenShown(true);
        t.scanner()->scanData("alt");
    });
    EXPECT_EQ(h.controller->shown, h.terminal->primaryTextStorage()) << "the switch waits for the update";
    ASSERT_TRUE(h.update());
    EXPECT_EQ(h.primaryText(), "primary");
    EXPECT_EQ(h.alternateText(), "alt");
    EXPECT_EQ(h.controller->shown, h.terminal->alternateTextStorage());
    EXPECT_EQ(h.terminal->activeTextStorage(), h.terminal->alternateTextStorage());
    EXPECT_FALSE(h.terminal->validateMenuItem(RellumTerminal::ScreenAction::ShowAlternateScreen));
    EXPECT_TRUE(h.terminal->validateMenuItem(RellumTerminal::ScreenAction::HideAlternateScreen));

    h.terminal->hideAlternateScreen();
    ASSERT_TRUE(h.update());
    EXPECT_EQ(h.controller->shown, h.terminal->primaryTextStorage());
    EXPECT_TRUE(h.terminal->validateMenuItem(RellumTerminal::ScreenAction::ShowAlternateScreen));
    h.terminal->hideAlternateScreen();
    h.drain();
    EXPECT_EQ(h.clock->pendingCount(), 0u) << "hiding a hidden screen queues nothing";
}

TEST(RellumTerminalMirror, VoidCellsShowAsMiddleDotsInTheContentString) {
    TerminalHarness h;
    h.onRenderQueue([](RellumTerminal& t) {
        t.scanner()->scanData("a");
        t.activeGrid()->moveCursorRightWithCount(1);
        t.scanner()->scanData("b\r\nsecond");
    });
    ASSERT_TRUE(h.update());
    EXPECT_EQ(h.terminal->stringOfContent().substr(0, 8), "a\u00B7b\nsec");
    EXPECT_EQ(h.terminal->debugDescriptionOfLineAtY(0), "a\u00B7b");
    EXPECT_EQ(h.terminal->debugDescriptionOfLineAtY(1), "second");
    EXPECT_EQ(h.terminal->debugDescriptionOfLineAtY(7), std::nullopt);
}

TEST(RellumTerminalMirror, DefaultTextColourRewritesOnlyItsOwnRunsAndOnlyOnce) {
    TerminalHarness h;
    h.onRenderQueue([](RellumTerminal& t) {
        t.scanner()->scanData("plain");
        t.context()->setCurrentTextColor(kRed);
        t.scanner()->scanData("red");
    });
    ASSERT_TRUE(h.update());
    h.terminal->setDefaultTextColor(kBlue);
    ASSERT_TRUE(h.update());
    auto* storage = h.terminal->primaryTextStorage();
    EXPECT_EQ(*storage->attributesAtIndex(0)->foregroundColor(), kBlue);
    EXPECT_EQ(*storage->attributesAtIndex(5)->foregroundColor(), kRed);
    EXPECT_EQ(h.terminal->defaultTextColor(), kBlue);

    const auto before = storage->attributesAtIndex(0);
    h.terminal->setDefaultTextColor(kBlue);
    h.drain();
    EXPECT_EQ(h.clock->pendingCount(), 0u) << "the same colour again queues no edit";
    EXPECT_FALSE(h.update());
    EXPECT_EQ(storage->attributesAtIndex(0), before);

    h.terminal->setDefaultBackgroundColor(kRed);
    ASSERT_TRUE(h.update());
    ASSERT_EQ(h.controller->backgrounds.size(), 1u);
    EXPECT_EQ(h.controller->backgrounds[0], kRed);
    h.terminal->setDefaultBackgroundColor(kRed);
    EXPECT_FALSE(h.update());
}

TEST(RellumTerminalMirror, FontChangeReachesContextStoragesAndController) {
    TerminalHarness h;
    h.controller->maximal = {90, 30};
    h.onRenderQueue([](RellumTerminal& t) {
        t.scanner()->scanData("n");
        t.context()->setTextStyleMask(RellumTextStyleBold);
        t.scanner()->scanData("b");
        t.context()->setTextStyleMask(0);
        t.scanner()->scanData("\xE4\xB8\x80"); // a double-width character
    });
    ASSERT_TRUE(h.update());
    h.terminal->setFont(std::make_shared<TestFont>("Other", 9));
    EXPECT_EQ(h.controller->lineHeights.back(), (std::pair<double, double>{16, 9}));
    ASSERT_FALSE(h.delegate->proposals.empty());
    EXPECT_EQ(h.delegate->proposals.back(), (RellumPageSize{90, 30})) << "the size that now fits is proposed";
    ASSERT_TRUE(h.update());
    auto* storage = h.terminal->primaryTextStorage();
    EXPECT_EQ(storage->advance(), 9);
    EXPECT_EQ(h.terminal->cellSize(), (RellumCellSize{9, 16}));
    EXPECT_EQ(storage->attributesAtIndex(0)->font()->familyName(), "Other");
    EXPECT_EQ(storage->attributesAtIndex(1)->font()->familyName(), "Other-Bold");
    EXPECT_EQ(storage->attributesAtIndex(2)->font()->fixedAdvance(), 18) << "a double-width cell spans two";
    EXPECT_EQ(storage->attributesAtIndex(0)->paragraphStyle()->maximumLineHeight, 16);
    EXPECT_EQ(h.controller->lastContext->cellSize(), (RellumCellSize{9, 16}));
}

TEST(RellumTerminalMirror, FullResetLeavesNoGridOnTheDiscardedStateAndShowsThePrimaryScreen) {
    TerminalHarness h;
    h.onRenderQueue([](RellumTerminal& t) {
        t.scanner()->scanData("one\r\ntwo");
        t.setAlternateScreenShown(true);
        t.scanner()->scanData("alt\r\nscreen");
        t.context()->setCurrentTextColor(kRed);
    });
    ASSERT_TRUE(h.update());
    ASSERT_EQ(h.controller->shown, h.terminal->alternateTextStorage());
    h.onRenderQueue([](RellumTerminal& t) {
        t.scanner()->scanData("more");
        t.fullReset();
        EXPECT_EQ(t.primaryGrid()->context(), t.context());
        EXPECT_EQ(t.alternateGrid()->context(), t.context());
        EXPECT_FALSE(t.context()->alternateScreenMode());
        EXPECT_FALSE(t.context()->currentTextColor());
        EXPECT_EQ(t.context()->videoTextColor(), rellum_flatWhite());
        EXPECT_EQ(t.context()->pageSize(), (RellumPageSize{80, 24}));
        ASSERT_TRUE(t.context()->font());
        t.scanner()->scanData("after");
    });
    ASSERT_TRUE(h.update());
    EXPECT_EQ(h.primaryText(), "after");
    EXPECT_EQ(h.alternateText(), "");
    EXPECT_EQ(h.primaryText(), h.gridText());
    EXPECT_EQ(h.alternateText(), h.gridText(true));
    EXPECT_EQ(h.controller->shown, h.terminal->primaryTextStorage());
}

TEST(RellumTerminalMirror, UpdatesCarryTheCursorAndAMatchingContext) {
    TerminalHarness h;
    h.onRenderQueue([](RellumTerminal& t) { t.scanner()->scanData("ab\r\ncd"); });
    ASSERT_TRUE(h.update());
    EXPECT_EQ(h.controller->lastCursorCoord, (RellumCoord{2, 1}));
    EXPECT_EQ(h.controller->lastCursorLocation, 5u);
    EXPECT_EQ(h.controller->lastCursorRect, (RellumRect{14, 16, 7, 16}));
    EXPECT_EQ(h.terminal->tabStops().count(8), 1u);
}

// Random grid changes, many per update: whatever the edits were merged
// into, each storage equals its grid's lines joined by "\n", with the
// attributes the text was written with.
TEST(RellumTerminalMirror, RandomChangesKeepEveryStorageEqualToItsGrid) {
    TerminalHarness h({12, 5});
    h.terminal->setMaxScrollback(7);
    std::mt19937 rng(1234);
    const RellumColor colors[] = {kRed, kBlue, rellum_flatWhite()};
    for (int round = 0; round < 150; ++round) {
        h.onRenderQueue([&](RellumTerminal& t) {
            const int steps = 1 + int(rng() % 40);
            for (int s = 0; s < steps; ++s) {
                RellumGrid* g = t.activeGrid();
                switch (rng() % 14) {
                case 0:
                    t.scanner()->scanData("\r\n");
                    break;
                case 1:
                    t.scanner()->scanData("\r");
                    break;
                case 2:
                    g->setCursorX(rng() % 12, rng() % 5);
                    break;
                case 3:
                    g->eraseFromCursorToLineEnd();
                    break;
                case 4:
                    g->insertBlankAtCursorWithCount(1 + rng() % 3);
                    break;
                case 5:
                    g->deleteElementsAtCursorWithCount(1 + rng() % 3);
                    break;
                case 6:
                    g->panDownWithCount(1 + rng() % 2);
                    break;
                case 7:
                    g->eraseDisplayEntirely();
                    break;
                case 8:
                    t.scanner()->scanData("\xE4\xB8\x80x\xCC\x81");
                    break;
                case 9:
                    t.setAlternateScreenShown(rng() % 2 == 0);
                    break;
                case 10:
                    t.context()->setCurrentTextColor(colors[rng() % 3]);
                    break;
                case 11:
                    g->moveCursorRightWithCount(rng() % 4);
                    break;
                default: {
                    std::string text;
                    const int n = 1 + int(rng() % 15);
                    for (int i = 0; i < n; ++i)
                        text.push_back(char('a' + rng() % 26));
                    t.scanner()->scanData(text);
                }
                }
            }
        });
        h.update(); // none when the round changed no text
        ASSERT_EQ(h.primaryText(), h.gridText()) << "round " << round;
        ASSERT_EQ(h.alternateText(), h.gridText(true)) << "round " << round;
    }
}

TEST(RellumTerminalMirror, AttributesFollowTheTextThroughMergedEdits) {
    TerminalHarness h({10, 3});
    h.terminal->setMaxScrollback(2);
    h.onRenderQueue([](RellumTerminal& t) {
        for (int i = 0; i < 8; ++i) {
            t.context()->setCurrentTextColor(i % 2 ? kRed : kBlue);
            t.scanner()->scanData("line" + std::to_string(i) + "\r\n");
        }
        t.context()->setCurrentTextColor(kRed);
        t.activeGrid()->setCursorX(2, 0);
        t.scanner()->scanData("XY");
    });
    ASSERT_TRUE(h.update());
    EXPECT_EQ(h.primaryText(), h.gridText());
    EXPECT_EQ(h.primaryText().substr(0, 24), "line4\nline5\nliXY6\nline7\n");
    auto* storage = h.terminal->primaryTextStorage();
    EXPECT_EQ(*storage->attributesAtIndex(0)->foregroundColor(), kBlue);  // line4
    EXPECT_EQ(*storage->attributesAtIndex(6)->foregroundColor(), kRed);   // line5
    EXPECT_EQ(*storage->attributesAtIndex(12)->foregroundColor(), kBlue); // "li" of line6
    EXPECT_EQ(*storage->attributesAtIndex(14)->foregroundColor(), kRed);  // X
    EXPECT_EQ(*storage->attributesAtIndex(16)->foregroundColor(), kBlue); // "6"
    EXPECT_EQ(*storage->attributesAtIndex(18)->foregroundColor(), kRed);  // line7
}

TEST(RellumTerminalMirror, CellRolesReachTheStorage) {
    TerminalHarness h;
    ASSERT_TRUE(RellumIsWideCodePoint(0x20000));
    h.onRenderQueue([](RellumTerminal& t) {
        auto write = [&](std::u32string_view s) {
            t.activeGrid()->renderElementsFromCursor(
                RellumElements::elementsFromMBCSUTF32Chars(s.data(), s.size())
                    .rellum_arrayByMergingCombiningMarkElement());
        };
        write(U"\u4E00e\u0301x"); // wide, base with a mark, plain
        t.activeGrid()->moveCursorRightWithCount(2);
        write(U"\U00020000"); // wide, outside the basic plane
        t.activeGrid()->moveCursorToNextTabStop();
        write(U"z");
    });
    ASSERT_TRUE(h.update());
    ASSERT_EQ(h.primaryText(), h.gridText());
    const std::u16string text = h.terminal->primaryTextStorage()->string();
    ASSERT_EQ(text.substr(0, 4), u"\u4E00e\u0301x");
    auto at = [&](uint64_t i) { return h.terminal->primaryTextStorage()->attributesAtIndex(i); };
    EXPECT_EQ(at(0)->span(), 2u);
    EXPECT_EQ(at(1)->span(), 1u);
    EXPECT_EQ(at(2)->span(), 0u) << "a combining mark adds no cell";
    EXPECT_EQ(at(3)->span(), 1u);
    EXPECT_TRUE(at(4)->isVoid());
    EXPECT_TRUE(at(5)->isVoid());
    EXPECT_FALSE(at(3)->isVoid());
    EXPECT_EQ(at(6)->span(), 2u) << "both halves of a surrogate pair";
    EXPECT_EQ(at(7)->span(), 2u);
    EXPECT_TRUE(at(8)->isTab());
    EXPECT_EQ(text.back(), u'z');
    EXPECT_FALSE(at(text.size() - 1)->isTab());
    EXPECT_EQ(h.terminal->stringOfContent().find("\u00B7\u00B7"), 7u) << "after the 3-byte ideograph";
}
