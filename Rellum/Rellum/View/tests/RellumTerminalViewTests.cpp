// The terminal view's layout, drawing, cursor, selection, find and scrolling.

#include "ViewHarness.h"

#include "Rellum/View/RellumStorageLineIndex.h"

#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <random>

using namespace view_test;

namespace {

// ---- Layout ----

TEST(RellumClipViewLayout, PageSizeAndCentringFromTheViewSize) {
    RellumClipView clip;
    clip.setLineHeight(16);
    clip.setCharWidth(8);
    EXPECT_EQ(clip.maximumPageSizeForSize(810 - 8, 410 - 4), (RellumPageSize{100, 25}));
    const QRectF frame = clip.insetFrame(QRectF(0, 0, 810, 410));
    EXPECT_EQ(frame, QRectF(5, 5, 800, 400));
    // Exactly the page plus the insets: insets of exactly 4 and 2.
    EXPECT_EQ(clip.insetFrame(QRectF(0, 0, 808, 404)), QRectF(4, 2, 800, 400));
    // A little more than whole cells: the rest is shared on both sides.
    EXPECT_EQ(clip.insetFrame(QRectF(0, 0, 815, 420)), QRectF(7.5, 2, 800, 416));
    EXPECT_EQ(clip.insetFrame(QRectF(0, 0, 815, 430)), QRectF(7.5, 7, 800, 416));
    EXPECT_EQ(clip.minimumSizeForPageSize({80, 24}), (RellumSize{640, 384}));
}

TEST(RellumClipViewLayout, NoFontMeansNoPageAndNoDivisionByZero) {
    RellumClipView clip;
    EXPECT_EQ(clip.maximumPageSizeForSize(800, 600), (RellumPageSize{0, 0}));
    const QRectF frame = clip.insetFrame(QRectF(0, 0, 100, 50));
    EXPECT_EQ(frame, QRectF(4, 2, 92, 46));
    clip.setCharWidth(8);
    EXPECT_EQ(clip.maximumPageSizeForSize(800, 600), (RellumPageSize{0, 0}));
}

TEST(RellumScreenControllerLayout, TerminalWithoutAFontAsksForTheSmallestPage) {
    ViewHarness h({80, 24}, /*withFont=*/false);
    h.controller->view()->resize(800, 600);
    EXPECT_EQ(h.controller->maximalPageSize(), (RellumPageSize{0, 0}));
    EXPECT_EQ(h.terminal->maxAllowedPageSize(), (RellumPageSize{20, 5}));
}

TEST(RellumScreenControllerLayout, ViewSizeToPageSize) {
    ViewHarness h;
    h.controller->setLineHeight(16, 8);
    h.window->resize(810, 410);
    pumpEvents();
    EXPECT_EQ(h.controller->maximalPageSize(), (RellumPageSize{100, 25}));
    EXPECT_EQ(h.controller->clipView()->geometry(), QRect(5, 5, 800, 400));
    EXPECT_EQ(h.view()->geometry(), QRect(0, 0, 800, 400));
    EXPECT_EQ(h.controller->pageSizeForViewSize(808, 404), (RellumPageSize{100, 25}));
    EXPECT_EQ(h.controller->pageSizeForViewSize(807, 404), (RellumPageSize{99, 25}));
    EXPECT_EQ(h.controller->pageSizeForViewSize(808, 403), (RellumPageSize{100, 24}));
    // Too small for 20 x 5: the terminal still asks for 20 x 5.
    h.window->resize(60, 30);
    pumpEvents();
    EXPECT_EQ(h.terminal->maxAllowedPageSize(), (RellumPageSize{20, 5}));
    const RellumWindowSnapshot::State state = h.terminal->windowSnapshot()->state();
    ASSERT_TRUE(state.viewFrameSize.has_value());
    EXPECT_EQ(state.viewFrameSize->width, 60);
}

TEST(RellumScreenControllerLayout, OneProposalPerBurstOfResizes) {
    ViewHarness h;
    h.controller->setLineHeight(16, 8);
    h.controller->setResizeSettleInterval(200);
    h.delegate->takeProposals();
    for (int i = 0; i < 6; ++i) {
        h.window->resize(400 + 40 * i, 300 + 10 * i);
        pumpEvents(5);
    }
    EXPECT_TRUE(h.delegate->takeProposals().empty());
    pumpEvents(500);
    const std::vector<RellumPageSize> proposals = h.delegate->takeProposals();
    ASSERT_EQ(proposals.size(), 1u);
    EXPECT_EQ(proposals[0], (RellumPageSize{(600 - 8) / 8, (350 - 4) / 16}));
    // The same size again proposes nothing once it was accepted.
    h.terminal->didChangePageSize(proposals[0]);
    h.window->resize(601, 350);
    pumpEvents(500);
    EXPECT_TRUE(h.delegate->takeProposals().empty());
}

// ---- Drawing ----

QImage render(ViewHarness& h) {
    QWidget* page = h.controller->view();
    QImage image(page->size(), QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    page->render(&image);
    return image;
}

// Pixels of a cell (in page coordinates) that have exactly this colour.
int countColour(const QImage& image, QRect cell, QColor colour) {
    int count = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb()) ++count;
    return count;
}

QRect cellRect(ViewHarness& h, int x, int y, int columns = 1) {
    const QPoint origin = h.controller->clipView()->pos();
    return QRect(origin.x() + int(x * h.cw()), origin.y() + int(y * h.lh()), int(columns * h.cw()),
                 int(h.lh()));
}

QColor paletteColour(int index) {
    const RellumColor c = rellum_colorForColorIndex(uint8_t(index));
    return QColor::fromRgbF(c.red, c.green, c.blue);
}

TEST(RellumTextViewDrawing, BackgroundsForegroundsAndConcealedText) {
    ViewHarness h;
    h.feed("\x1b[42m  \x1b[0m \x1b[38;5;196mXX\x1b[0m \x1b[8mHH\x1b[0m \x1b[48;2;10;20;30m \x1b[0m\r\n\r\n");
    const QImage image = render(h);
    const QRect green = cellRect(h, 0, 0, 2);
    EXPECT_EQ(countColour(image, green, paletteColour(2)), green.width() * green.height());
    EXPECT_GT(countColour(image, cellRect(h, 3, 0, 2), paletteColour(196)), 4);
    // Concealed text draws nothing but the background.
    const QColor background =
        QColor::fromRgbF(rellum_flatBlack().red, rellum_flatBlack().green, rellum_flatBlack().blue);
    const QRect concealed = cellRect(h, 6, 0, 2);
    EXPECT_EQ(countColour(image, concealed, background), concealed.width() * concealed.height());
    EXPECT_EQ(countColour(image, cellRect(h, 9, 0), QColor(10, 20, 30)), int(h.cw()) * int(h.lh()));
}

TEST(RellumTextViewDrawing, DoubleWidthCellsTakeTwoColumns) {
    ViewHarness h;
    h.feed("\x1b[41m\xe4\xb8\xad\x1b[42mA\x1b[0m");
    const QImage image = render(h);
    const QRect wide = cellRect(h, 0, 0, 2);
    EXPECT_EQ(countColour(image, QRect(wide.left(), wide.top(), wide.width(), 1), paletteColour(1)),
              wide.width());
    const QRect next = cellRect(h, 2, 0);
    EXPECT_GT(countColour(image, QRect(next.left(), next.top(), next.width(), 1), paletteColour(2)), 0);
    EXPECT_EQ(countColour(image, QRect(next.left(), next.top(), next.width(), 1), paletteColour(1)), 0);
}

TEST(RellumTextViewDrawing, UnderlineAndSelectionCoverExactlyTheirCells) {
    ViewHarness h;
    h.feed("  \x1b[4m  \x1b[0m  ");
    const QColor foreground =
        QColor::fromRgbF(rellum_flatWhite().red, rellum_flatWhite().green, rellum_flatWhite().blue);
    QImage image = render(h);
    // Underlined blanks: a line under cells 2 and 3 only.
    EXPECT_EQ(countColour(image, cellRect(h, 0, 0, 2), foreground), 0);
    EXPECT_GE(countColour(image, cellRect(h, 2, 0, 2), foreground), int(2 * h.cw()));
    EXPECT_EQ(countColour(image, cellRect(h, 4, 0, 2), foreground), 0);

    h.feed("\r\nselect me");
    const std::u16string text = h.terminal->primaryTextStorage()->string();
    const std::size_t at = text.find(u"me");
    h.view()->setSelectedRange({at, 2});
    image = render(h);
    const QColor selection = RellumTextView::selectedTextBackgroundColor();
    QImage expected(1, 1, QImage::Format_ARGB32);
    expected.fill(
        QColor::fromRgbF(rellum_flatBlack().red, rellum_flatBlack().green, rellum_flatBlack().blue));
    {
        QPainter p(&expected);
        p.fillRect(0, 0, 1, 1, selection);
    }
    const QColor blended = expected.pixelColor(0, 0);
    const QRect selected = cellRect(h, 7, 1, 2);
    // The top row of the selected cells is above any glyph.
    EXPECT_EQ(countColour(image, QRect(selected.left(), selected.top(), selected.width(), 1), blended),
              selected.width());
    const QRect before = cellRect(h, 5, 1, 2);
    EXPECT_EQ(countColour(image, QRect(before.left(), before.top(), before.width(), 1), blended), 0);
}

// ---- Cursor ----

TEST(RellumTextViewCursor, ContrastingColoursOnDarkAndLightCells) {
    ViewHarness h;
    h.feed("ab\x1b[47mcd\x1b[0m\x1b[1G");
    RellumTextView* view = h.view();
    view->refreshCursorAndOverlapColors();
    EXPECT_FALSE(view->frameCursor());
    EXPECT_EQ(view->cursorColor(), QColor(Qt::white)); // on the flat black background
    ASSERT_TRUE(view->overlapColor().has_value());
    EXPECT_EQ(*view->overlapColor(), QColor(Qt::black));
    h.feed("\x1b[3G"); // onto the light grey cell
    view->refreshCursorAndOverlapColors();
    EXPECT_EQ(view->cursorColor(), QColor(Qt::black));
    // Without the focus: an outline, and the glyph keeps its colour.
    auto* other = new QLineEdit(h.window.get());
    h.window->layout()->addWidget(other);
    other->show();
    other->setFocus();
    pumpEvents();
    view->refreshCursorAndOverlapColors();
    EXPECT_TRUE(view->frameCursor());
    EXPECT_FALSE(view->overlapColor().has_value());
}

TEST(RellumTextViewCursor, StaysVisibleOnATransparentTheme) {
    ViewHarness h;
    h.terminal->setDefaultBackgroundColor(RellumColor::clearColor());
    h.feed("x\x1b[1G");
    h.view()->refreshCursorAndOverlapColors();
    EXPECT_EQ(h.view()->cursorColor().alpha(), 255);
    const QImage image = render(h);
    const QRect cell = cellRect(h, 0, 0);
    // The block is drawn opaque: its corner pixel is the cursor colour, not the window behind.
    EXPECT_EQ(image.pixelColor(cell.left(), cell.top()).rgba(), h.view()->cursorColor().rgba());
}

TEST(RellumTextViewCursor, IsAsWideAsTheDoubleWidthCellUnderIt) {
    ViewHarness h;
    // A fullwidth Latin letter and a Hangul syllable.
    h.feed("\xef\xbc\xa1\xed\x95\x9cx\x1b[1G");
    h.view()->refreshCursorAndOverlapColors();
    EXPECT_TRUE(h.view()->wideCursor());
    EXPECT_DOUBLE_EQ(h.view()->cursorDrawRect().width(), 2 * h.cw());
    h.feed("\x1b[3G");
    h.view()->refreshCursorAndOverlapColors();
    EXPECT_TRUE(h.view()->wideCursor());
    EXPECT_DOUBLE_EQ(h.view()->cursorDrawRect().width(), 2 * h.cw());
    h.feed("\x1b[5G");
    h.view()->refreshCursorAndOverlapColors();
    EXPECT_FALSE(h.view()->wideCursor());
    EXPECT_DOUBLE_EQ(h.view()->cursorDrawRect().width(), h.cw());
}

TEST(RellumTextViewCursor, AnyCellMarkedTwoColumnsWideGetsAWideCursor) {
    // The cell's own span decides, not a table of code points.
    RellumTextStorage storage(8);
    RellumAttributedString text;
    text.string = u"ab";
    auto wide = std::make_shared<RellumAttributes>();
    wide->setSpan(2);
    text.runs.push_back({{0, 1}, wide});
    text.runs.push_back({{1, 1}, std::make_shared<RellumAttributes>()});
    storage.replaceCharactersInRange({0, 0}, text);
    RellumStorageLineIndex lines;
    lines.rebuild(storage);
    RellumTextView view(nullptr);
    view.setTextStorage(&storage, &lines);
    view.setCharWidth(8);
    view.setLineHeight(16);
    view.setCursorRect({0, 0, 8, 16});
    view.setCursorLocation(0);
    view.refreshCursorAndOverlapColors();
    EXPECT_TRUE(view.wideCursor());
    EXPECT_DOUBLE_EQ(view.cursorDrawRect().width(), 16);
    view.setCursorLocation(1);
    view.refreshCursorAndOverlapColors();
    EXPECT_FALSE(view.wideCursor());
}

// ---- Selection, copy, find ----

TEST(RellumTextViewSelection, StaysOnItsTextWhileOutputArrives) {
    ViewHarness h;
    h.feed("first line\r\nhello world\r\n");
    const std::u16string text = h.terminal->primaryTextStorage()->string();
    const std::size_t at = text.find(u"world");
    ASSERT_NE(at, std::u16string::npos);
    h.view()->setSelectedRange({at, 5});
    ASSERT_EQ(h.view()->selectedText(), "world");
    h.feed("more output\r\n");
    EXPECT_EQ(h.view()->selectedText(), "world");
    // Enough output to push the selected line into the scrollback.
    std::string lines;
    for (int i = 0; i < 50; ++i)
        lines += "output " + std::to_string(i) + "\r\n";
    h.feed(lines);
    EXPECT_EQ(h.view()->selectedText(), "world");
    // Rewriting the selected text itself drops the selection.
    h.feed("\x1b[H\x1b[2J\x1b[3J");
    EXPECT_NE(h.view()->selectedText(), "world");
}

TEST(RellumTextViewSelection, StaysOnItsTextWhenTheOldestScrollbackGoes) {
    ViewHarness h;
    h.terminal->setMaxScrollback(2200);
    std::string lines;
    for (int i = 0; i < 2300; ++i)
        lines += "row " + std::to_string(i) + "\r\n";
    h.feed(lines);
    const std::u16string text = h.terminal->primaryTextStorage()->string();
    const std::size_t at = text.find(u"row 1500\n");
    ASSERT_NE(at, std::u16string::npos);
    h.view()->setSelectedRange({at, 8});
    ASSERT_EQ(h.view()->selectedText(), "row 1500");
    for (int round = 0; round < 3; ++round) {
        std::string more;
        for (int i = 0; i < 30; ++i)
            more += "more " + std::to_string(round) + " " + std::to_string(i) + "\r\n";
        h.feed(more);
        EXPECT_EQ(h.view()->selectedText(), "row 1500") << "round " << round;
    }
    EXPECT_LT(h.view()->selectedRange().location, at);
}

TEST(RellumTextViewSelection, CopyTakesTheTextWithoutTrailingBlankCells) {
    ViewHarness h;
    h.feed("one  \r\ntwo\r\n");
    const std::u16string text = h.terminal->primaryTextStorage()->string();
    const std::size_t two = text.find(u"two");
    h.view()->setSelectedRange({0, two + 3});
    QTest::keyClick(h.view(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("one\ntwo"));
    EXPECT_EQ(h.delegate->take(), "");
    // Typing drops the selection.
    QTest::keyClick(h.view(), 'q');
    EXPECT_EQ(h.view()->selectedRange().length, 0u);
}

TEST(RellumTextViewSelection, ShiftWithCursorKeysExtendsTheSelection) {
    ViewHarness h;
    h.feed("abcdef\x1b[3G");
    QTest::keyClick(h.view(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(h.view(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(h.view()->selectedText(), "cd");
    EXPECT_EQ(h.delegate->take(), "");
}

TEST(RellumTextViewFind, FindsForwardBackwardAndWrapsAround) {
    ViewHarness h;
    h.feed("needle one\r\nhay\r\nNeedle two\r\n");
    RellumTextView* view = h.view();
    ASSERT_TRUE(view->findString(QStringLiteral("needle")));
    const uint64_t first = view->selectedRange().location;
    EXPECT_EQ(view->selectedText(), "needle");
    ASSERT_TRUE(view->findString(QStringLiteral("needle")));
    EXPECT_EQ(view->selectedText(), "Needle");
    EXPECT_GT(view->selectedRange().location, first);
    ASSERT_TRUE(view->findString(QStringLiteral("needle"))); // wraps to the first
    EXPECT_EQ(view->selectedRange().location, first);
    ASSERT_TRUE(view->findString(QStringLiteral("needle"), /*backwards=*/true)); // wraps to the last
    EXPECT_EQ(view->selectedText(), "Needle");
    EXPECT_TRUE(view->findString(QStringLiteral("Needle"), false, /*caseSensitive=*/true));
    EXPECT_EQ(view->selectedText(), "Needle");
    EXPECT_FALSE(view->findString(QStringLiteral("absent")));
    EXPECT_EQ(view->selectedText(), "Needle");
}

TEST(RellumTextViewFind, TheFindFieldSearchesAsYouTypeAndScrollsToTheMatch) {
    ViewHarness h;
    std::string lines = "target early\r\n";
    for (int i = 0; i < 80; ++i)
        lines += "filler " + std::to_string(i) + "\r\n";
    h.feed(lines);
    RellumTextView* view = h.view();
    ASSERT_GT(view->topLine(), 0u);
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    pumpEvents();
    QLineEdit* field = view->findField();
    ASSERT_TRUE(field->isVisible());
    QTest::keyClicks(field, QStringLiteral("target"));
    EXPECT_EQ(view->selectedText(), "target");
    EXPECT_EQ(view->topLine(), 0u);
    EXPECT_EQ(h.delegate->take(), "");
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_FALSE(field->isVisible());
}

// ---- Scrolling ----

TEST(RellumTextViewScrolling, ScrollbackScrollsAndOutputBringsTheBottomBack) {
    ViewHarness h({80, 24});
    std::string lines;
    for (int i = 0; i < 100; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    h.feed(lines);
    RellumTextView* view = h.view();
    const uint64_t bottom = view->topLine();
    EXPECT_EQ(bottom, view->documentLineCount() - view->visibleRows());
    EXPECT_EQ(view->visibleRows(), 24u);
    view->scrollLineUp();
    EXPECT_EQ(view->topLine(), bottom - 1);
    QScrollBar* bar = h.controller->scrollView()->verticalScrollBar();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(), int(bottom));
    EXPECT_EQ(bar->value(), int(bottom - 1));
    bar->setValue(3);
    EXPECT_EQ(view->topLine(), 3u);
    view->scrollToBeginningOfDocument();
    view->scrollLineUp(); // at the top it stays at the top
    EXPECT_EQ(view->topLine(), 0u);
    h.feed("new\r\n");
    EXPECT_EQ(view->topLine(), view->maximumTopLine());
    // At the bottom the overlay scroller keeps out of the way of the output.
    EXPECT_FALSE(bar->isVisible());
}

TEST(RellumTextViewScrolling, MouseReportsCountRowsOfThePageWhenScrolledBack) {
    ViewHarness h({80, 24});
    std::string lines;
    for (int i = 0; i < 40; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    h.feed(lines + "\x1b[?1000h\x1b[?1006h");
    EXPECT_EQ(h.view()->mouseCoordOfPoint(h.cell(3, 5)), (RellumMouseCoord{3, 5}));
    h.view()->scrollToLine(int64_t(h.view()->topLine()) - 2);
    // Two lines of scrollback above the page are in sight now.
    EXPECT_EQ(h.view()->mouseCoordOfPoint(h.cell(3, 5)), (RellumMouseCoord{3, 3}));
    EXPECT_EQ(h.view()->mouseCoordOfPoint(h.cell(3, 0)), (RellumMouseCoord{3, 0}));
}

TEST(RellumTextViewScreens, AlternateScreenIsShownAndLeft) {
    ViewHarness h;
    h.feed("primary text");
    h.feed("\x1b[?1049h\x1b[Halternate");
    EXPECT_EQ(h.controller->contentAttributedString(), h.terminal->alternateTextStorage());
    EXPECT_EQ(h.view()->textStorage(), h.terminal->alternateTextStorage());
    h.view()->setSelectedRange({0, 9});
    EXPECT_EQ(h.view()->selectedText(), "alternate");
    h.feed("\x1b[?1049l");
    EXPECT_EQ(h.view()->textStorage(), h.terminal->primaryTextStorage());
    h.view()->setSelectedRange({0, 12});
    EXPECT_EQ(h.view()->selectedText(), "primary text");
}

// ---- Window operations ----

TEST(RellumScreenControllerWindow, HostMovesTheWindowAndReadsItsPlaceAndLargestPage) {
    ViewHarness h;
    h.controller->setLineHeight(16, 8);
    h.window->resize(810, 410);
    pumpEvents();
    h.controller->moveWindowToOrigin({30, 40});
    pumpEvents();
    EXPECT_EQ(h.controller->windowTopLeftPoint(), (RellumPoint{30, 40}));
    // The host asks for the largest page the view can show.
    h.feed("\x1b[19t");
    EXPECT_EQ(h.delegate->take(), "\x1b[9;25;100t");
    h.feed("\x1b[3;50;60t");
    EXPECT_EQ(h.controller->windowTopLeftPoint(), (RellumPoint{50, 60}));
    // Reports answer with the state the view published at the last update.
    h.feed("\x1b[13t");
    EXPECT_EQ(h.delegate->take(), "\x1b[3;50;60t");
    h.feed("\x1b[14t");
    EXPECT_EQ(h.delegate->take(), "\x1b[4;410;810t");
}

// ---- Line index ----

// The index's lines are the text split at each "\n".
void expectLinesOfText(const RellumStorageLineIndex& index, const std::u16string& text, int edit) {
    std::vector<RellumRange> lines;
    uint64_t start = 0;
    for (uint64_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'\n') {
            lines.push_back({start, i - start});
            start = i + 1;
        }
    }
    ASSERT_EQ(index.lineCount(), lines.size()) << "edit " << edit;
    for (uint64_t l = 0; l < lines.size(); ++l)
        ASSERT_EQ(index.lineRange(l), lines[l]) << "edit " << edit << " line " << l;
}

TEST(RellumStorageLineIndex, FollowsRandomEditsLikeTheText) {
    RellumTextStorage storage(7);
    RellumStorageLineIndex index;
    index.rebuild(storage);
    storage.setEditObserver(
        [&](RellumRange range, int64_t change) { index.applyEdit(storage, range, change); });
    std::mt19937 random(7);
    const std::u16string pieces[] = {u"a", u"\n", u"bc\nd", u"\n\n", u"xyz", u""};
    for (int i = 0; i < 400; ++i) {
        const uint64_t length = storage.length();
        const uint64_t at = length ? random() % (length + 1) : 0;
        const uint64_t remove = at < length ? random() % std::min<uint64_t>(length - at + 1, 6) : 0;
        const bool bracket = i % 3 == 0;
        if (bracket) storage.beginEditing();
        storage.replaceCharactersInRange({at, remove}, pieces[random() % 6]);
        if (bracket) {
            const uint64_t l2 = storage.length();
            storage.replaceCharactersInRange({l2 ? random() % l2 : 0, 0}, pieces[random() % 6]);
            storage.endEditing();
        }
        expectLinesOfText(index, storage.string(), i);
    }
    const std::u16string text = storage.string();
    for (uint64_t offset = 0; offset < text.size(); ++offset) {
        const RellumRange line = index.lineRange(index.lineOfOffset(offset));
        ASSERT_LE(line.location, offset);
        ASSERT_LE(offset, line.end());
    }
}

// A storage of `count` numbered lines of different lengths.
void fillLines(RellumTextStorage& storage, int count) {
    std::u16string text;
    for (int i = 0; i < count; ++i) {
        const std::string line = "line " + std::to_string(i) + std::string(std::size_t(i % 13), '.') + "\n";
        text.append(line.begin(), line.end());
    }
    storage.replaceCharactersInRange({0, 0}, text);
}

TEST(RellumStorageLineIndex, OldestLinesDroppedWithEditsAtTheEndAreFollowed) {
    RellumTextStorage storage(7);
    fillLines(storage, 3000);
    RellumStorageLineIndex index;
    index.rebuild(storage);
    RellumStorageLineIndex::EditOutcome outcome;
    storage.setEditObserver(
        [&](RellumRange range, int64_t change) { outcome = index.applyEdit(storage, range, change); });

    for (int round = 0; round < 5; ++round) {
        const uint64_t dropped = index.lineRange(3 + round).location; // the first 3 + round lines
        const uint64_t lastLine = index.lineRange(index.lineCount() - 2).location;
        storage.beginEditing();
        storage.deleteCharactersInRange({0, dropped});
        // The page at the end changes and grows, as output does.
        const uint64_t at = lastLine - dropped;
        storage.replaceCharactersInRange({at, 4}, std::u16string(u"LINE\nnew ") + char16_t(u'a' + round));
        storage.replaceCharactersInRange({storage.length(), 0}, std::u16string(u"more\nand more\n"));
        storage.endEditing();
        EXPECT_EQ(outcome.droppedFromFront, dropped) << "round " << round;
        // Everything up to the changed line of the end is known to be unchanged.
        EXPECT_EQ(outcome.unchangedEnd, at) << "round " << round;
        expectLinesOfText(index, storage.string(), round);
    }

    // A drop together with a change among the kept lines: the text is
    // unchanged only up to that change.
    const uint64_t dropped = index.lineRange(2).location;
    storage.beginEditing();
    storage.deleteCharactersInRange({0, dropped});
    const uint64_t middle = index.lineRange(1500).location - dropped;
    storage.replaceCharactersInRange({middle, 3}, std::u16string(u"x\ny\nz"));
    storage.endEditing();
    EXPECT_EQ(outcome.droppedFromFront, dropped);
    EXPECT_EQ(outcome.unchangedEnd, middle);
    expectLinesOfText(index, storage.string(), -1);
}

} // namespace
