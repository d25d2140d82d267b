// Changes that one display update gathers (merged into few edits before they
// reach the text storage) leave the same attributed text as the same changes
// applied one small chunk at a time: same characters, and at every character
// the same colours, styles and cell span.
#include "ControlHarness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

using namespace control_test;

namespace {

std::string colorText(const std::optional<RellumColor>& c) {
    if (!c) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.3f,%.3f,%.3f,%.3f", double(c->red), double(c->green), double(c->blue),
                  double(c->alpha));
    return text;
}

// What a view draws from one character's attributes (the font by name: each
// terminal has font objects of its own).
std::string describe(const RellumAttributes* a) {
    if (!a) return "none";
    return colorText(a->foregroundColor()) + "/" + colorText(a->backgroundColor()) + " b" +
           std::to_string(a->isBold()) + "i" + std::to_string(a->isItalic()) + "u" +
           std::to_string(a->isUnderline()) + "r" + std::to_string(a->isInverse()) + "v" +
           std::to_string(a->isVoid()) + "t" + std::to_string(a->isTab()) + " span" +
           std::to_string(a->span()) + " " + (a->font() ? a->font()->familyName() : "no font");
}

struct Storages {
    std::u16string primary, alternate;
    std::vector<std::string> primaryAttributes, alternateAttributes;
    bool matchGrids = false;
};

std::vector<std::string> attributesOf(RellumTextStorage& storage) {
    std::vector<std::string> out;
    for (uint64_t i = 0; i < storage.length(); ++i)
        out.push_back(describe(storage.attributesAtIndex(i).get()));
    return out;
}

// Feeds the chunks, with a display update after each when
// `updateEachChunk`, else one at the end.
Storages run(const std::vector<std::string>& chunks, bool updateEachChunk) {
    ControlHarness h({16, 5});
    h.onRender([](RellumTerminal& t) { t.setMaxScrollback(6); });
    for (const std::string& chunk : chunks) {
        h.feed(chunk);
        if (updateEachChunk) h.update();
    }
    Storages s;
    s.matchGrids = h.storagesMatchGrids();
    s.primary = h.terminal->primaryTextStorage()->string();
    s.alternate = h.terminal->alternateTextStorage()->string();
    s.primaryAttributes = attributesOf(*h.terminal->primaryTextStorage());
    s.alternateAttributes = attributesOf(*h.terminal->alternateTextStorage());
    return s;
}

// The stream in chunks of at most `chunk` bytes.
Storages run(const std::string& stream, std::size_t chunk, bool updateEachChunk) {
    std::vector<std::string> chunks;
    for (std::size_t at = 0; at < stream.size(); at += chunk)
        chunks.push_back(stream.substr(at, chunk));
    return run(chunks, updateEachChunk);
}

// The same attributed text on both screens, the first equal to its grids.
void expectSame(const Storages& merged, const Storages& reference) {
    EXPECT_TRUE(merged.matchGrids);
    EXPECT_TRUE(merged.primary == reference.primary);
    EXPECT_TRUE(merged.alternate == reference.alternate);
    EXPECT_EQ(merged.primaryAttributes, reference.primaryAttributes);
    EXPECT_EQ(merged.alternateAttributes, reference.alternateAttributes);
}

// Short coloured runs written over, into and past each other: relative and
// absolute moves, erases, insertions and deletions of cells and lines, wide
// characters and marks, scrolling, both screens.
std::string randomStream(std::mt19937& rng, int pieces) {
    static const char* const kPieces[] = {
        "\x1b[31m",
        "\x1b[42m",
        "\x1b[1;4m",
        "\x1b[0m",
        "\x1b[7m",
        "\x1b[38;5;208m",
        "\x1b[48;2;1;2;3m",
        "ab",
        "xyz ",
        "q",
        "long run of text",
        "\xE4\xB8\x80",
        "e\xCC\x81",
        "\t",
        "\r",
        "\n",
        "\r\n",
        "\x1b[H",
        "\x1b[3;5H",
        "\x1b[2A",
        "\x1b[3C",
        "\x1b[D",
        "\x1b[B",
        "\x1b[K",
        "\x1b[1K",
        "\x1b[2K",
        "\x1b[3X",
        "\x1b[2@",
        "\x1b[4P",
        "\x1b[J",
        "\x1b[1J",
        "\x1b[L",
        "\x1b[2M",
        "\x1b[S",
        "\x1b[T",
        "\x1b[2;4r",
        "\x1b[r",
        "\x1b"
        "D",
        "\x1b"
        "M",
        "\x1b[4h",
        "\x1b[4l",
        "\x1b[?1049h",
        "\x1b[?1049l",
    };
    constexpr int kCount = int(sizeof kPieces / sizeof kPieces[0]);
    std::string out;
    for (int i = 0; i < pieces; ++i)
        out += kPieces[rng() % kCount];
    return out;
}

} // namespace

TEST(TerminalUpdates, MergedEditsLeaveTheSameAttributedTextAsEditsAppliedOneByOne) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        const std::string stream = randomStream(rng, 160);
        const Storages merged = run(stream, 1 << 20, false);
        const Storages stepwise = run(stream, 1 + rng() % 12, true);
        EXPECT_TRUE(stepwise.matchGrids);
        expectSame(merged, stepwise);
        if (HasFailure()) break;
    }
}

// Thousands of colours of their own in one update, fed in many small chunks
// (the renditions still named are renumbered between chunks): the same
// attributed text as when the stream comes in one chunk.
TEST(TerminalUpdates, ThousandsOfColoursInOneUpdateLeaveTheSameAttributedText) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        // Odd seeds: writes all over the page (lines changed in place, in
        // shadows); even seeds: anything, scrolling included (pending edits).
        static const char* const kInPlace[] = {"ab",     "xyz ",    "q",       "\xE4\xB8\x80", "e\xCC\x81",
                                               "\x1b[K", "\x1b[2@", "\x1b[4P", "\x1b[3X"};
        // A chunk ends after each colour, so text is first in a chunk.
        std::vector<std::string> chunks;
        for (int i = 0; i < 4000; ++i) {
            char colour[64];
            std::snprintf(colour, sizeof colour, "\x1b[%d;2;%d;%d;%dm\x1b[%u;%uH", i % 2 ? 38 : 48, i % 251,
                          i / 251, 7, 1 + unsigned(rng() % 5), 1 + unsigned(rng() % 16));
            if (chunks.empty() || rng() % 4 == 0) chunks.emplace_back();
            chunks.back() += colour;
            const std::string text =
                seed % 2 ? std::string(kInPlace[rng() % std::size(kInPlace)]) : randomStream(rng, 2);
            // Text cut in two: its second half is written in the rendition
            // named in the chunk before.
            const std::size_t cut = rng() % 2 ? text.size() / 2 : 0;
            if (cut > 0) chunks.push_back(text.substr(0, cut));
            chunks.push_back(text.substr(cut));
        }
        std::string whole;
        for (const std::string& chunk : chunks)
            whole += chunk;
        // Against the stream in one chunk (nothing renumbered).
        const Storages merged = run(chunks, false);
        const Storages once = run(whole, whole.size(), false);
        expectSame(merged, once);
        if (HasFailure()) break;
    }
}

// A few colour changes repeated among text (what an editor's redraw sends),
// then a run of colours never seen again (enough to have the renditions of
// the update renumbered between chunks), then the few again; with saved and
// restored cursors, with and without updates in between: the same
// attributed text as when every change is written with seven ignored codes
// before it (lists that long are always applied code by code).
TEST(TerminalUpdates, RepeatedColourChangesLeaveTheSameAttributedTextAsChangesAppliedCodeByCode) {
    static const char* const kChanges[] = {"1",   "38;5;81", "48;5;17",      "7",
                                           "3;4", "1;31",    "0;1;38;5;208", "39;49"};
    for (unsigned seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::vector<std::string> repeated, spelled;
        for (int i = 0; i < 4000; ++i) {
            if (repeated.empty() || rng() % 8 == 0) {
                repeated.emplace_back();
                spelled.emplace_back();
            }
            const bool unseen = i >= 300 && i < 1450;
            // A reset, then a change: few pairs of rendition and change, each
            // seen again and again.
            std::vector<std::string> changes;
            if (rng() % 4) changes.push_back(rng() % 2 ? "0" : "");
            changes.push_back(unseen ? "38;2;" + std::to_string(i % 256) + ";" + std::to_string(i / 256) +
                                           ";" + std::to_string(seed)
                                     : kChanges[rng() % std::size(kChanges)]);
            for (const std::string& change : changes) {
                repeated.back() += "\x1b[" + change + "m";
                spelled.back() += "\x1b[50;50;50;50;50;50;50;" + change + "m";
            }
            std::string text = std::string(1 + rng() % 5, char('a' + rng() % 26));
            switch (rng() % 8) {
            case 0:
                text += "\x1b"
                        "7";
                break; // saves the rendition with the cursor
            case 1:
                text += "\x1b"
                        "8x";
                break; // and brings it back
            case 2:
                text += "\x1b[K\r\n";
                break; // an erase takes the background in force
            default:
                break;
            }
            repeated.back() += text;
            spelled.back() += text;
        }
        for (const bool updateEachChunk : {false, true}) {
            const Storages looked = run(repeated, updateEachChunk);
            const Storages applied = run(spelled, updateEachChunk);
            EXPECT_TRUE(looked.matchGrids);
            expectSame(looked, applied);
        }
        if (HasFailure()) break;
    }
}

// Text, erases, insertions, deletions and colour changes anywhere on a page,
// shown in updates now and then: a character of the storage is void (drawn
// as an erased cell) exactly where its cell in the grid is erased.
TEST(TerminalUpdates, ErasedCellsAndOnlyThoseAreVoidInTheStorage) {
    static const char* const kPieces[] = {"abc",
                                          "q",
                                          "xyz ",
                                          "\x1b[K",
                                          "\x1b[1K",
                                          "\x1b[2K",
                                          "\x1b[3X",
                                          "\x1b[2@",
                                          "\x1b[2P",
                                          "\r\n",
                                          "\x1b[31m",
                                          "\x1b[0m",
                                          "\x1b[44m",
                                          "\r",
                                          "\x1b[J",
                                          "\x1b[4C",
                                          "\x1b[12G",
                                          "\x1b[2L",
                                          "\x1b[M",
                                          "\x1b[1J",
                                          "\x1b"
                                          "D",
                                          "\x1b"
                                          "M",
                                          "\x1b[5D"};
    for (unsigned seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        ControlHarness h({16, 5});
        h.onRender([](RellumTerminal& t) { t.setMaxScrollback(0); });
        for (int i = 0; i < 300; ++i) {
            std::string piece = kPieces[rng() % std::size(kPieces)];
            if (rng() % 6 == 0)
                piece = "\x1b[" + std::to_string(1 + rng() % 5) + ";" + std::to_string(1 + rng() % 16) + "H";
            h.feed(piece);
            if (rng() % 40 == 0) h.update();
        }
        h.update();
        ASSERT_TRUE(h.storagesMatchGrids());
        // ASCII alone: a cell is a character, a line ends with one more.
        std::vector<bool> erased;
        h.onRender([&](RellumTerminal& t) {
            const RellumGrid& grid = *t.primaryGrid();
            for (uint64_t i = 0; i < grid.acutalLineCount(); ++i) {
                const RellumElements& cells = grid.lineAtIndex(i).elements();
                for (std::size_t x = 0; x < cells.size(); ++x)
                    erased.push_back(cells[x].uchar == RellumElement::kVoidPadding);
                if (i + 1 < grid.acutalLineCount()) erased.push_back(false);
            }
        });
        RellumTextStorage& storage = *h.terminal->primaryTextStorage();
        ASSERT_EQ(storage.length(), erased.size());
        for (uint64_t i = 0; i < storage.length(); ++i) {
            const auto attributes = storage.attributesAtIndex(i);
            ASSERT_EQ(attributes && attributes->isVoid(), bool(erased[i])) << "at " << i;
        }
    }
}

// Long output at the bottom in update after update: each update's long edit
// moves into the buffers an earlier one left, and keeps all it wrote.
TEST(TerminalUpdates, LongOutputKeepsItsTextWhenItMovesIntoTheBuffersOfEarlierUpdates) {
    ControlHarness h({80, 24});
    h.onRender([](RellumTerminal& t) { t.setMaxScrollback(20000); });
    std::string all;
    for (int update = 0; update < 4; ++update) {
        std::string lines;
        // Each update longer than the last, so every long edit outgrows its
        // own buffer and takes a spare one.
        for (int i = 0; i < 1000 * (update + 1); ++i)
            lines += "update " + std::to_string(update) + " line " + std::to_string(i) + " of the output\r\n";
        h.feed(lines);
        h.update();
        all += lines;
        ASSERT_TRUE(h.storagesMatchGrids()) << "update " << update;
    }
    const std::u16string text = h.terminal->primaryTextStorage()->string();
    EXPECT_NE(text.find(u"update 3 line 3999 of the output"), std::u16string::npos);
    EXPECT_NE(text.find(u"update 0 line 0 of the output"), std::u16string::npos);
}

// Coloured output five times the scrollback in one update: the oldest lines
// leaving it are ones this update wrote, far more text ago than a merge may
// move. The same attributed text as when every chunk is shown on its own.
TEST(TerminalUpdates, OutputPushingOutItsOwnLinesLeavesTheSameAttributedText) {
    std::mt19937 rng(7);
    std::string stream;
    for (int i = 0; i < 5000; ++i) {
        stream += "\x1b[3" + std::to_string(i % 8) + "mline " + std::to_string(i);
        for (unsigned run = rng() % 4; run > 0; --run)
            stream += "\x1b[4" + std::to_string(rng() % 8) + "m" +
                      std::string(1 + rng() % 15, char('a' + rng() % 26));
        stream += "\x1b[m\r\n";
    }
    const auto feed = [&](std::size_t chunk, bool updateEachChunk) {
        ControlHarness h({80, 24});
        h.onRender([](RellumTerminal& t) { t.setMaxScrollback(1000); });
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            h.feed(stream.substr(at, chunk));
            if (updateEachChunk) h.update();
        }
        h.update();
        Storages s;
        s.matchGrids = h.storagesMatchGrids();
        s.primary = h.terminal->primaryTextStorage()->string();
        s.primaryAttributes = attributesOf(*h.terminal->primaryTextStorage());
        return s;
    };
    const Storages once = feed(stream.size(), false);
    const Storages inChunks = feed(997, false);
    const Storages stepwise = feed(4096, true);
    EXPECT_TRUE(stepwise.matchGrids);
    expectSame(once, stepwise);
    expectSame(inChunks, stepwise);
    EXPECT_NE(once.primary.find(u"line 4999"), std::u16string::npos);
    EXPECT_EQ(once.primary.find(u"line 3000"), std::u16string::npos);
}

// A page shown once, then lines changed in places within one update: cells
// inserted and deleted before kept ones, a double-width character cut in
// two, a mark on a kept character, a line that changed length followed by
// changes further down, then a scroll. The cells not written keep their
// colours, as when every byte is shown on its own.
TEST(TerminalUpdates, CellsNotWrittenKeepTheirAttributesWhenTheirLineChangesInPlaces) {
    const std::string page = "\x1b[31mAAAA\x1b[32m\xE4\xB8\x80"
                             "BB\x1b[1;34mCCCC\x1b[0m\r\n"
                             "\x1b[33;44mDDDDDDDDDD\x1b[0m\r\n\x1b[7mEEEE\x1b[27m FFF";
    const std::string changes = "\x1b[1;3H\x1b[2@\x1b[1;1H\x1b[35mX\x1b[2;4H\x1b[36mYY\x1b[1;10H\x1b[P"
                                "\x1b[1;7HZ\x1b[3;2He\xCC\x81\x1b[3;8H\x1b[2X\x1b[2;1H\x1b[1K"
                                "\x1b[1;14H\x1b[0mq\x1b[5;1H\n\n";
    ControlHarness h({16, 5});
    h.feed(page);
    h.update();
    h.feed(changes);
    h.update();
    EXPECT_TRUE(h.storagesMatchGrids());
    const Storages stepwise = run(page + changes, 1, true);
    EXPECT_TRUE(h.terminal->primaryTextStorage()->string() == stepwise.primary);
    EXPECT_EQ(attributesOf(*h.terminal->primaryTextStorage()), stepwise.primaryAttributes);
}

// One update holding many more renditions than are remembered at a time,
// each run a colour of its own, and a change of font half way: every
// character keeps its colour and style, and all take the new font (the
// text written before the change is given it too).
TEST(TerminalUpdates, EveryRunKeepsItsColourAndFontWithinOneUpdate) {
    ControlHarness h({100, 20});
    constexpr int kRuns = 1500; // 100 x 20 cells: nothing scrolls away
    auto sgr = [](int i) {
        char text[48];
        std::snprintf(text, sizeof text, "\x1b[%d;38;2;%d;%d;%dm", i % 3 == 0 ? 1 : 22, i % 256, i / 256, 17);
        return std::string(text);
    };
    std::string first, second;
    for (int i = 0; i < kRuns; ++i)
        (i < kRuns / 2 ? first : second) += sgr(i) + char('a' + i % 26);
    h.feed(first);
    h.terminal->setFont(std::make_shared<FixedFont>("Other"));
    h.feed(second);
    h.update();

    RellumTextStorage& storage = *h.terminal->primaryTextStorage();
    int checked = 0;
    for (int i = 0; i < kRuns; ++i) {
        const uint64_t at = uint64_t(i / 100 * 101 + i % 100); // 100 cells and a newline a row
        const RellumTextStorage::AttributesPtr a = storage.attributesAtIndex(at);
        ASSERT_TRUE(a) << i;
        ASSERT_TRUE(a->foregroundColor()) << i;
        EXPECT_EQ(*a->foregroundColor(), RellumColor::colorWithRGB255(i % 256, i / 256, 17)) << i;
        EXPECT_EQ(a->isBold(), i % 3 == 0) << i;
        const std::string family = i % 3 == 0 ? "Other-Bold" : "Other";
        EXPECT_EQ(a->font() ? a->font()->familyName() : "", family) << i;
        if (HasFailure()) break;
        ++checked;
    }
    EXPECT_EQ(checked, kRuns);
    EXPECT_TRUE(h.storagesMatchGrids());
}

// An update whose output forms one long edit (thousands of coloured lines
// at the bottom of the screen, many times the runs the main thread hands to
// a storage at once): the storage gets every line with its colours.
TEST(TerminalUpdates, ALongEditReachesTheStorageWhole) {
    ControlHarness h({40, 10});
    h.onRender([](RellumTerminal& t) { t.setMaxScrollback(5000); });
    constexpr int kLines = 3000;
    std::string stream;
    for (int l = 0; l < kLines; ++l) {
        char line[96];
        std::snprintf(line, sizeof line, "\x1b[38;2;%d;%d;0m%04d\x1b[48;5;%dm ab\x1b[0m\r\n", l % 256,
                      l / 256, l, l % 200);
        stream += line;
    }
    h.feed(stream);
    h.update();

    EXPECT_TRUE(h.storagesMatchGrids());
    RellumTextStorage& storage = *h.terminal->primaryTextStorage();
    const std::u16string text = storage.string();
    for (int l = 0; l < kLines; l += 7) {
        SCOPED_TRACE(l);
        const uint64_t start = storage.lineRange(uint64_t(l)).location;
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04d", l);
        ASSERT_EQ(text.substr(start, 4), std::u16string(digits, digits + 4));
        const RellumTextStorage::AttributesPtr number = storage.attributesAtIndex(start);
        const RellumTextStorage::AttributesPtr rest = storage.attributesAtIndex(start + 5);
        ASSERT_TRUE(number && number->foregroundColor() && rest && rest->backgroundColor());
        EXPECT_EQ(*number->foregroundColor(), RellumColor::colorWithRGB255(l % 256, l / 256, 0));
        EXPECT_EQ(*rest->backgroundColor(), rellum_colorForColorIndex(uint8_t(l % 200)));
    }
}
