#include "Rellum/RellumLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A line's owner for tests: fixed width and write limit, the line's own text
// rebuilt from its reports, and a log of them.
class LineProbe : public RellumLineDelegate {
public:
    uint64_t capacity = 10;
    uint64_t rightMargin = 9;
    std::u16string text;
    std::vector<std::string> log;

    uint64_t lineCapacity(const RellumLine&) override { return capacity; }
    uint64_t lineRightMargin(const RellumLine&) override { return rightMargin; }
    void didReplaceCharactersInRange(RellumLine&, RellumRange range, std::u16string_view string,
                                     const RellumIndexSet*, const RellumIndexSet*, const RellumIndexSet*,
                                     const RellumIndexSet*) override {
        log.push_back("replace " + std::to_string(range.location) + "," + std::to_string(range.length) + " " +
                      RellumUTF8FromUTF16(string));
        text.replace(range.location, range.length, string);
    }
    void didInsertString(RellumLine&, std::u16string_view string, uint64_t index, const RellumIndexSet*,
                         const RellumIndexSet*, const RellumIndexSet*, const RellumIndexSet*) override {
        log.push_back("insert " + std::to_string(index) + " " + RellumUTF8FromUTF16(string));
        text.insert(index, string);
    }
    void didDeleteCharactersInRange(RellumLine&, RellumRange range) override {
        log.push_back("delete " + std::to_string(range.location) + "," + std::to_string(range.length));
        text.erase(range.location, range.length);
    }
};

RellumElements cells(std::u32string_view s) {
    return RellumElements::elementsFromMBCSUTF32Chars(s.data(), s.size());
}

struct LineFixture {
    LineProbe probe;
    RellumLine line{&probe};

    std::string debug() { return line.debugDescription(nullptr); }
    // The line's text as the reports built it matches its cells and count.
    void expectConsistent() {
        const RellumElements& e = line.elements();
        std::u16string t;
        e.appendString(t, 0, e.size(), nullptr, nullptr, nullptr, nullptr, false);
        EXPECT_EQ(probe.text, t);
        EXPECT_EQ(line.characterCount(), t.size());
    }
};

} // namespace

TEST(RellumLine, DoubleWidthCharacterThatDoesNotFitStaysWithTheCaller) {
    LineFixture f;
    EXPECT_EQ(f.line.writeElements(cells(U"abc\u4E2D"), 6), 3u); // four columns left
    EXPECT_EQ(f.debug(), "\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7abc\u00B7!");
    EXPECT_EQ(f.line.elementCount(), 9u);
    f.expectConsistent();

    LineFixture g;
    EXPECT_EQ(g.line.writeElements(cells(U"abc\u4E2D"), 5), 5u); // five left: both halves fit
    EXPECT_EQ(g.debug(), "\u00B7\u00B7\u00B7\u00B7\u00B7abc\u4E2D!");
    g.expectConsistent();
}

TEST(RellumLine, DroppedDoubleWidthCharacterKeepsCellsRightOfTheMarginInPlace) {
    LineFixture f;
    f.line.writeElements(cells(U"0123456789"), 0);
    f.probe.rightMargin = 5;
    EXPECT_EQ(f.line.writeElements(cells(U"ab\u4E2D"), 3), 2u);
    // Column 5, under the dropped left half, is cleared; 6 to 9 do not move.
    EXPECT_EQ(f.debug(), "012ab\u00B76789!");
    f.expectConsistent();
}

TEST(RellumLine, OverwritingARightHalfBreaksTheCharacter) {
    LineFixture f;
    f.line.writeElements(cells(U"a\u4E2Db"), 0);
    f.probe.log.clear();
    f.line.writeElements(cells(U"x"), 2);
    EXPECT_EQ(f.debug(), "a\u2592xb\u00B7\u00B7\u00B7\u00B7\u00B7\u00B7!");
    ASSERT_GE(f.probe.log.size(), 1u);
    EXPECT_EQ(f.probe.log[0], "replace 1,1 \u2592\u2592"); // the pair's one character becomes two
    f.expectConsistent();
}

TEST(RellumLine, RemovingOrInsertingInsideAPairBreaksItFirst) {
    LineFixture f;
    f.line.writeElements(cells(U"a\u4E2Db\u6587c"), 0);
    EXPECT_EQ(f.line.removeElementsInRange({2, 2}), 2u); // right half of 中 and b
    EXPECT_EQ(f.debug(), "a\u2592\u6587c\u00B7\u00B7\u00B7\u00B7\u00B7!");
    f.expectConsistent();
    f.line.insertElements(cells(U"z"), 3); // between the halves of 文
    EXPECT_EQ(f.debug(), "a\u2592\u2592z\u2592c\u00B7\u00B7\u00B7\u00B7!");
    f.expectConsistent();
}

TEST(RellumLine, TabPadsOnlyTheEmptyCells) {
    LineFixture f;
    f.line.writeElements(cells(U"ab"), 0);
    f.line.markNextTabStopAtIndex(8, 0);
    EXPECT_EQ(f.debug(), "ab\u2500\u2500\u2500\u2500\u2500\u2500\u00B7\u00B7!");
    f.expectConsistent();
}

TEST(RellumLine, ErasingPastTheStoredCellsIsAnInsertion) {
    LineFixture f;
    f.line.writeElements(cells(U"ab"), 0);
    f.probe.log.clear();
    f.line.eraseElementsInRange({4, 3});
    EXPECT_EQ(f.line.elementCount(), 7u);
    ASSERT_EQ(f.probe.log.size(), 2u);
    EXPECT_EQ(f.probe.log[0], "insert 2   "); // padding up to the start
    EXPECT_EQ(f.probe.log[1], "insert 4    ");
    f.expectConsistent();
}

TEST(RellumLine, InsertingWithARightMarginKeepsCellsBeyondIt) {
    LineFixture f;
    f.probe.capacity = 80;
    f.probe.rightMargin = 79;
    std::u32string row;
    for (int i = 0; i < 80; ++i)
        row.push_back(U'a' + i % 26);
    f.line.writeElements(cells(row), 0);
    f.probe.rightMargin = 40;
    EXPECT_EQ(f.line.insertElements(cells(U"XYZ"), 10), 3u);
    const RellumElements& e = f.line.elements();
    ASSERT_EQ(e.size(), 80u);
    EXPECT_EQ(e[10].uchar, U'X');
    EXPECT_EQ(e[13].uchar, char32_t(U'a' + 10));
    EXPECT_EQ(e[40].uchar, char32_t(U'a' + 37 % 26)); // 38..40 were pushed out
    for (int i = 41; i < 80; ++i)
        EXPECT_EQ(e[i].uchar, char32_t(U'a' + i % 26)) << i;
    f.expectConsistent();
}

TEST(RellumLine, CharacterRangesAndCopies) {
    LineFixture f;
    f.line.writeElements(cells(U"a\U0001F600\u4E2Db"), 0);
    EXPECT_EQ(f.line.characterRangeForElementRange({1, 1}), (RellumRange{1, 2}));
    EXPECT_EQ(f.line.characterRangeForElementRange({2, 2}), (RellumRange{3, 1}));
    EXPECT_EQ(f.line.characterRangeForElementRange({9, 1}), (RellumRange{5, 0}));
    EXPECT_EQ(f.line.insertionPositionAtElementIndex(4), 4u);
    EXPECT_TRUE(f.line.isElementAtMiddleOfWide(3));
    EXPECT_FALSE(f.line.isElementAtMiddleOfWide(2));
    EXPECT_FALSE(f.line.elementsAtIndex(10).has_value());
    EXPECT_TRUE(f.line.elementsAtIndex(7)->base().isVoidPadding());
    auto copy = f.line.elementsInRange({3, 20});
    ASSERT_TRUE(copy.has_value());
    EXPECT_EQ(copy->size(), 7u); // cut at the capacity, void cells supplied
    EXPECT_FALSE(f.line.elementsInRange({10, 1}).has_value());
    EXPECT_EQ(f.line.actualRangeForRange({3, 20}), (RellumRange{3, 2}));
}
