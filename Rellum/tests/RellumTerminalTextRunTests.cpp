// Text that mixes ASCII, wide characters and combining marks gives the same
// screen, cursor and text storage whether it arrives in one chunk (long
// mixed runs written at once) or piece by piece, each a chunk of its own,
// also at the right margin, without autowrap, in line-drawing mode and with
// marks at the start of a line; each storage equals its grid.
#include "ControlHarness.h"

#include <gtest/gtest.h>

#include <random>

using namespace control_test;

namespace {

struct Outcome {
    std::vector<std::string> screen;
    uint64_t x = 0, y = 0;
    std::u16string storage;
    bool storageMatchesGrid = false;
};

// Fed as one chunk, or each piece as a chunk of its own.
Outcome run(const std::vector<std::string>& pieces, bool pieceByPiece) {
    ControlHarness h({12, 4});
    if (pieceByPiece) {
        for (const std::string& piece : pieces)
            h.feed(piece);
    } else {
        std::string whole;
        for (const std::string& piece : pieces)
            whole += piece;
        h.feed(whole);
    }
    h.update();
    Outcome o;
    o.screen = h.screen();
    h.onRender([&](RellumTerminal& t) {
        o.x = t.activeGrid()->cursorX();
        o.y = t.activeGrid()->cursorY();
        o.storage = t.primaryTextStorage()->string();
        o.storageMatchesGrid = o.storage == t.primaryGrid()->string();
    });
    return o;
}

std::vector<std::string> randomStream(std::mt19937& rng, int pieces) {
    static const char* const kPieces[] = {
        "ab",
        "x",
        "word ",
        "\xC3\xA9", // é
        "\xCC\x81",
        "\xCC\x80\xCC\x82", // marks
        "\xE4\xB8\x80",
        "\xE4\xBA\x8C\xE4\xB8\x89", // wide
        "\xF0\x9F\x98\x80",         // wide, outside the basic plane
        "\xCE\xB1",
        "e\xCC\x81",
        "\r",
        "\n",
        "\r\n",
        "\x1b[?7l", // autowrap off
        "\x1b[?7h",
        "\x1b[1;10H",
        "\x1b[2;12H",
        "\x1b[4;11H",
        "qx~",
        "\x1b[4h", // insert mode
        "\x1b[4l",
        "\x08",
        "\x1b[31m",
        "\x1b(0", // line drawing
        "\x1b(B",
        "\xE4\xB8", // ill-formed: cut short, stray continuation, invalid
        "\x80",
        "\xFF",
    };
    constexpr int kCount = int(sizeof kPieces / sizeof kPieces[0]);
    std::vector<std::string> out;
    for (int i = 0; i < pieces; ++i)
        out.push_back(kPieces[rng() % kCount]);
    return out;
}

void expectSame(const std::vector<std::string>& pieces) {
    const Outcome whole = run(pieces, false);
    const Outcome split = run(pieces, true);
    EXPECT_EQ(whole.screen, split.screen);
    EXPECT_EQ(whole.x, split.x);
    EXPECT_EQ(whole.y, split.y);
    EXPECT_TRUE(whole.storageMatchesGrid);
    EXPECT_TRUE(split.storageMatchesGrid);
}

TEST(TerminalTextRuns, MarksAfterASCIIJoinTheirCellAnywhereOnTheLine) {
    // A mark after a character in the middle, at the last column (wrapping
    // and not) and on a wide character.
    expectSame({"abc", "\xCC\x81 de"});
    expectSame({"0123456789a", "\xCC\x81z"});
    expectSame({"\x1b[?7l", "0123456789ab", "\xCC\x81z"});
    expectSame({"0123456789", "\xE4\xB8\x80", "\xCC\x81x"});
    expectSame({"\xCC\x81start\r\n", "\xCC\x80"});
    expectSame({"\x1b(0", "lqk", "\xCC\x81x\x1b(B", "ab", "\xCC\x81"});
    const Outcome o = run({"abc\xCC\x81"}, false);
    ASSERT_FALSE(o.screen.empty());
    EXPECT_EQ(o.x, 3u);
    EXPECT_EQ(o.storage.substr(0, 4), u"abc\u0301");
}

TEST(TerminalTextRuns, WideCharactersPastTheMarginWithoutAutowrapDoNotDependOnChunks) {
    // A wide character pushed onto the last column and then overwritten by a
    // narrow one leaves its left half cut off, whether or not the two arrive
    // in one write.
    const std::vector<std::string> cut = {"\x1b[?7l\x1b[4;11H", "word ", "\xE4\xB8\x80", "\xCE\xB1"};
    expectSame(cut);
    const Outcome o = run(cut, false);
    ASSERT_EQ(o.screen.size(), 4u);
    EXPECT_EQ(o.screen[3], "\xC2\xB7\xC2\xB7\xC2\xB7\xC2\xB7\xC2\xB7\xC2\xB7\xC2\xB7\xC2\xB7\xC2\xB7"
                           "\xC2\xB7\xE2\x96\x92\xCE\xB1!");
    EXPECT_EQ(o.x, 12u);
    // A wide character that stops one column short is moved onto the last
    // two columns; the cursor ends past them, so a mark after it joins it
    // the same way in one write or two.
    const std::vector<std::string> mark = {"\x1b[?7l\x1b[1;10H", "\xE4\xBA\x8C\xE4\xB8\x89", "\xCC\x80"};
    expectSame(mark);
    EXPECT_EQ(run(mark, false).x, 12u);
    expectSame({"\x1b[?7l\x1b[1;12H", "\xE4\xB8\x80", "x"});
    expectSame({"\x1b[?7l\x1b(0\x1b[1;10H", "q", "\xE4\xBA\x8C", "q", "\xE4\xB8\x89", "\x1b(B"});
}

TEST(TerminalTextRuns, SeededRandomMixedTextGivesTheSameScreenHoweverChunked) {
    for (unsigned seed = 1; seed <= 200; ++seed) {
        std::mt19937 rng(seed);
        SCOPED_TRACE(seed);
        expectSame(randomStream(rng, 120));
        if (HasFailure()) break;
    }
}

TEST(TerminalTextRuns, DoubleWidthAndAstralMarksJoinTheSameWayInOneRun) {
    // Marks that are double-width themselves, marks above the emoji plane,
    // emoji and wide characters beyond it, each after ASCII, after other
    // marks and at the margin: one long mixed run or piece by piece.
    static const char* const kPieces[] = {
        "a",
        "xy ",
        "\xE3\x82\x99",     // U+3099, double-width mark
        "\xE3\x80\xAA",     // U+302A, double-width mark
        "\xF3\xA0\x84\x80", // U+E0100, mark above the emoji plane
        "\xF0\x9D\x85\xA7", // U+1D167, mark in the emoji plane
        "\xF0\x9F\x98\x80", // emoji
        "\xF0\xA0\x80\x80", // U+20000, wide
        "\xE4\xB8\x80",     // wide
        "\xC3\xA9\xCC\x81", // é and a mark in one piece
        "\xCE\xB1",
        "\r\n",
    };
    constexpr int kCount = int(sizeof kPieces / sizeof kPieces[0]);
    for (unsigned seed = 1; seed <= 100; ++seed) {
        std::mt19937 rng(seed);
        SCOPED_TRACE(seed);
        std::vector<std::string> pieces;
        for (int i = 0; i < 60; ++i)
            pieces.push_back(kPieces[rng() % kCount]);
        expectSame(pieces);
        if (HasFailure()) break;
    }
    // A double-width mark after a wide character joins it: the character
    // keeps its two columns and the mark adds none.
    const Outcome o = run({"ab\xE4\xB8\x80\xE3\x82\x99"
                           "c"},
                          false);
    EXPECT_EQ(o.x, 5u);
    EXPECT_EQ(o.storage.substr(0, 5), u"ab\u4E00\u3099c");
}

} // namespace

TEST(TerminalTextRuns, ColouredWordsMeetTheControlsAfterThemWhereTheyWereWritten) {
    // Words of a line with colour changes between them may go to the screen
    // together; whatever follows (insert mode, a backspace, a mark, a wide
    // character, the margin with and without autowrap, line drawing) meets
    // them in place.
    expectSame({"ab", "\x1b[31mcd", "\x1b[32mef", "\x1b[4h", "XY", "\x1b[4l"});
    expectSame({"ab", "\x1b[31mcd\b\b", "\x1b[1mZ"});
    expectSame({"ab", "\x1b[31mcd", "\xCC\x81", "\x1b[32m\xE4\xB8\x80"});
    expectSame({"0123", "\x1b[31m4567", "\x1b[32m89ab", "\x1b[33mcd"});
    expectSame({"\x1b[?7l0123", "\x1b[31m4567", "\x1b[32m89ab", "\x1b[33mcd"});
    expectSame({"ab", "\x1b[31mcd", "\x1b(0", "lqk"});
    // A cursor report after them counts them.
    ControlHarness h({12, 4});
    h.feed("ab\x1b[31mcd\x1b[32mef\x1b[6n");
    h.update();
    EXPECT_EQ(h.takeReplies(), "\x1b[1;7R");
}
