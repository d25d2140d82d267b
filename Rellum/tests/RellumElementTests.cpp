#include "Rellum/RellumElements.h"
#include "Rellum/RellumUnicodeTables.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<char32_t, char32_t>> rangesOf(const RellumCodePointRange* r, std::size_t n) {
    std::vector<std::pair<char32_t, char32_t>> out;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back({r[i].first, r[i].last});
    return out;
}

RellumElements cells(std::u32string_view s) {
    return RellumElements::elementsFromMBCSUTF32Chars(s.data(), s.size());
}

std::string debugOf(const RellumElements& e) {
    return e.rellum_debugDescription();
}

} // namespace

TEST(RellumUnicodeTables, FullWidthSetIsTheThirtyNineRanges) {
    const std::pair<char32_t, uint32_t> expected[] = {
        {0x1100, 96},   {0x11A3, 5},      {0x11FA, 6},     {0x2329, 2},  {0x2E80, 26},    {0x2E9B, 89},
        {0x2F00, 214},  {0x2FF0, 12},     {0x3000, 63},    {0x3041, 86}, {0x3099, 103},   {0x3105, 41},
        {0x3131, 94},   {0x3190, 43},     {0x31C0, 36},    {0x31F0, 47}, {0x3220, 40},    {0x3250, 175},
        {0x3300, 6848}, {0x4E00, 22157},  {0xA490, 55},    {0xA960, 29}, {0xAC00, 11172}, {0xD7B0, 23},
        {0xD7CB, 49},   {0xF900, 512},    {0xFE10, 10},    {0xFE30, 35}, {0xFE54, 19},    {0xFE68, 4},
        {0xFF01, 96},   {0xFFE0, 7},      {0x1B000, 2},    {0x1F200, 3}, {0x1F210, 43},   {0x1F240, 9},
        {0x1F250, 2},   {0x20000, 65534}, {0x30000, 65534}};
    std::vector<std::pair<char32_t, char32_t>> want;
    for (auto [first, count] : expected)
        want.push_back({first, char32_t(first + count - 1)});
    EXPECT_EQ(rangesOf(kRellumFullWidthRanges, kRellumFullWidthRangesCount), want);
}

TEST(RellumUnicodeTables, WidthTestAgreesWithTheTableEverywhere) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const bool inTable = RellumRangesContain(kRellumFullWidthRanges, kRellumFullWidthRangesCount, c);
        if (RellumIsWideCodePoint(c) != inTable) {
            ADD_FAILURE() << std::hex << uint32_t(c);
            break;
        }
    }
}

TEST(RellumUnicodeTables, MarkTestAgreesWithTheTableEverywhere) {
    // Through the bits (basic and emoji planes) and the search above them.
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const bool inTable = RellumRangesContain(kRellumMarkRanges, kRellumMarkRangesCount, c);
        if (RellumIsMarkCodePoint(c) != inTable) {
            ADD_FAILURE() << std::hex << uint32_t(c);
            break;
        }
    }
    EXPECT_FALSE(RellumIsWideCodePoint(0x110000));
    EXPECT_FALSE(RellumIsMarkCodePoint(0xFFFFFFFF));
}

TEST(RellumUnicodeTables, AmbiguousSetHasThePreEmojiRangesAndIsDisjointFromFullWidth) {
    const auto ambiguous = rangesOf(kRellumAmbiguousWidthRanges, kRellumAmbiguousWidthRangesCount);
    const std::set<std::pair<char32_t, char32_t>> have(ambiguous.begin(), ambiguous.end());
    const std::pair<char32_t, uint32_t> telling[] = {
        {0x0300, 112},  {0x0391, 17},     {0x03B1, 17},      {0x0410, 64},  {0x2160, 12},  {0x2170, 10},
        {0xE000, 6400}, {0xFE00, 16},     {0x1F100, 11},     {0x1F110, 30}, {0x1F130, 58}, {0x1F170, 43},
        {0xE0100, 240}, {0xF0000, 65534}, {0x100000, 65534}, {0xFFFD, 1}};
    for (auto [first, count] : telling)
        EXPECT_TRUE(have.count({first, char32_t(first + count - 1)})) << std::hex << uint32_t(first);
    for (char32_t c : {0x2614u, 0x2615u, 0x26BEu, 0x26C4u, 0x26C5u, 0x26D4u, 0x26EAu, 0x26F2u, 0x26F3u,
                       0x26F5u, 0x26FAu, 0x26FDu, 0x2757u, 0x2B55u, 0x1F18Eu, 0x1F191u, 0x1F19Au})
        EXPECT_TRUE(RellumIsAmbiguousWidthCodePoint(c)) << std::hex << uint32_t(c);
    for (char32_t c = 0x1F19B; c <= 0x1F1AC; ++c)
        EXPECT_FALSE(RellumIsAmbiguousWidthCodePoint(c)) << std::hex << uint32_t(c);
    EXPECT_FALSE(RellumIsAmbiguousWidthCodePoint(U'a'));
    for (std::size_t i = 0; i < kRellumAmbiguousWidthRangesCount; ++i) {
        EXPECT_FALSE(RellumIsWideCodePoint(kRellumAmbiguousWidthRanges[i].first));
        EXPECT_FALSE(RellumIsWideCodePoint(kRellumAmbiguousWidthRanges[i].last));
    }
    for (std::size_t i = 1; i < ambiguous.size(); ++i)
        EXPECT_GT(ambiguous[i].first, ambiguous[i - 1].second + 1);
}

TEST(RellumUnicodeTables, MarksAreTheNonSpacingSpacingAndEnclosingMarks) {
    for (char32_t c : {0x0300u, 0x036Fu, 0x0903u, 0x20DDu, 0x302Au, 0x3099u, 0xFE20u, 0xE0100u})
        EXPECT_TRUE(RellumIsMarkCodePoint(c)) << std::hex << uint32_t(c);
    for (char32_t c : {0x41u, 0x2FFu, 0x0370u, 0x4E00u, 0x200Bu, 0xFE0Fu + 1})
        EXPECT_FALSE(RellumIsMarkCodePoint(c)) << std::hex << uint32_t(c);
}

TEST(RellumElement, TestsOnValues) {
    EXPECT_TRUE(RellumElement::voidPaddingElement().isVoidPadding());
    EXPECT_TRUE(RellumElement::tabPaddingElement().isTabPadding());
    EXPECT_TRUE(RellumElement::wideRightElement().isWideRight());
    EXPECT_TRUE(RellumElement::oddWideElement().isOddWide());
    EXPECT_EQ(RellumElement::initWithASCIIChar('A').uchar, U'A');
    EXPECT_TRUE(RellumElement(U'\u4E2D').isWide());
    EXPECT_TRUE(RellumElement(U'\uFF21').isWide());
    EXPECT_FALSE(RellumElement(U'\u00A0').isWide());
    EXPECT_FALSE(RellumElement(U'\u0416').isWide());
    EXPECT_FALSE(RellumElement(U'\U0001F600').isWide()); // no emoji ranges
    EXPECT_TRUE(RellumElement(0).isPrintable());
    EXPECT_TRUE(RellumElement(1).isPrintable());
    EXPECT_FALSE(RellumElement(2).isPrintable());
    EXPECT_FALSE(RellumElement(31).isPrintable());
    EXPECT_TRUE(RellumElement(U'\u200C').isZeroWidthSpace());
    EXPECT_TRUE(RellumElement(U'\uFEFF').isZeroWidthSpace());
    EXPECT_TRUE(RellumElement(U'\u0301').inUnicodeMarkCategory());
}

TEST(RellumElement, CharCountsInUTF16Units) {
    RellumElements e = cells(U"a\U0001F600\u4E2D");
    e.append(RellumElement(7));
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e.charCountAt(0), 1u);
    EXPECT_EQ(e.charCountAt(1), 2u);
    EXPECT_EQ(e.charCountAt(2), 1u);
    EXPECT_EQ(e.charCountAt(3), 0u); // right half
    EXPECT_EQ(e.charCountAt(4), 0u); // control value
    e.combineMarkAtIndex(0, U'\u0301');
    e.combineMarkAtIndex(0, U'\U0001D165');
    EXPECT_EQ(e.charCountAt(0), 4u);
    EXPECT_EQ(e.charCountInRange(0, 5), 7u);

    RellumCombiningElement c(U'e');
    c.combiningWithMark(U'\u0301');
    EXPECT_EQ(c.charCount(), 2u);
    EXPECT_EQ(c.base(), RellumElement(U'e'));
    EXPECT_TRUE(c.isCombining());
}

TEST(RellumElement, SameBaseComparesEqualWhateverTheMarks) {
    RellumCombiningElement marked(U'e', U"\u0301");
    EXPECT_EQ(marked, RellumCombiningElement(U'e'));
    RellumElements e = cells(U"ee");
    e.combineMarkAtIndex(0, U'\u0301');
    EXPECT_EQ(e[0], e[1]);
    EXPECT_TRUE(e[0].isCombining());
    EXPECT_FALSE(e[1].isCombining());
}

TEST(RellumElement, WideCharactersGetTheirRightHalf) {
    RellumElements e = cells(U"a\u4E2Db");
    ASSERT_EQ(e.size(), 4u);
    EXPECT_TRUE(e[2].isWideRight());
    EXPECT_EQ(RellumElements::elementsFromASCIIChars("\x81z", 2)[0].uchar, 1u); // 7-bit values
    RellumElements bad = cells(std::u32string{char32_t(0xD800), char32_t(0x110000)});
    EXPECT_EQ(bad[0].uchar, RellumElement::kReplacement);
    EXPECT_EQ(bad[1].uchar, RellumElement::kReplacement);
}

TEST(RellumElementText, WideHalvesAndPaddingWithIndexSets) {
    RellumElements e = cells(U"\u4E2Da");
    e.append(RellumElement::voidPaddingElement());
    e.append(RellumElement::tabPaddingElement());
    e.append(RellumCombiningElement(U'e', U"\u0301\u0302"));
    RellumIndexSet wide, voids, tabs, combining;
    EXPECT_EQ(e.stringWithWideIndexes(&wide, &voids, &tabs, &combining), u"\u4E2Da  e\u0301\u0302");
    EXPECT_EQ(wide.ranges(), (std::vector<RellumRange>{{0, 1}}));
    EXPECT_EQ(voids.ranges(), (std::vector<RellumRange>{{2, 1}}));
    EXPECT_EQ(tabs.ranges(), (std::vector<RellumRange>{{3, 1}}));
    EXPECT_EQ(combining.ranges(), (std::vector<RellumRange>{{5, 2}}));
    EXPECT_EQ(debugOf(e), "\u4E2Da\u00B7\u2500e\u0301\u0302");
}

// Runs of double-width characters around a narrow one of two units (an
// emoji), one with a mark and one missing its right half: a unit each, the
// wide indexes as ranges joined where their positions touch.
TEST(RellumElementText, RunsOfWideCharactersBesideOtherCells) {
    RellumElements e = cells(U"\u4E2D\u6587\u5B57\U0001F600\u4E2Dab\u3042\u3044");
    e.append(RellumCombiningElement(U'\u4E2D', U"\u0301"));
    e.append(RellumElement::wideRightElement());
    e.append(RellumElement(U'\u6587'));
    e.append(RellumElement(U'x'));
    RellumIndexSet wide, combining;
    std::u16string out;
    RellumElements::TextFlags flags;
    e.appendString(out, 0, e.size(), &wide, nullptr, nullptr, &combining, false, &flags);
    EXPECT_EQ(out, u"\u4E2D\u6587\u5B57\U0001F600\u4E2Dab\u3042\u3044\u4E2D\u0301\u2592x");
    EXPECT_EQ(wide.ranges(), (std::vector<RellumRange>{{0, 3}, {5, 1}, {8, 3}}));
    EXPECT_EQ(combining.ranges(), (std::vector<RellumRange>{{11, 1}}));
    EXPECT_FALSE(flags.unitCells);
    EXPECT_TRUE(flags.needsNormalizing); // the missing right half
    // From the right half of the first character, ending on a whole one.
    out.clear();
    e.appendString(out, 1, 14, &wide, nullptr, nullptr, nullptr, false, &flags);
    EXPECT_EQ(out, u"\u2592\u6587\u5B57\U0001F600\u4E2Dab\u3042\u3044");
    EXPECT_EQ(wide.ranges(), (std::vector<RellumRange>{{1, 2}, {5, 1}, {8, 2}}));
    EXPECT_TRUE(flags.needsNormalizing);
    out.clear();
    e.appendString(out, 2, 13, &wide, nullptr, nullptr, nullptr, false, &flags);
    EXPECT_EQ(out, u"\u6587\u5B57\U0001F600\u4E2Dab\u3042\u3044");
    EXPECT_EQ(wide.ranges(), (std::vector<RellumRange>{{0, 2}, {4, 1}, {7, 2}}));
    EXPECT_FALSE(flags.needsNormalizing);
}

TEST(RellumElementText, MissingHalvesShowAsOddWideInOnePosition) {
    RellumElements lonelyLeft;
    lonelyLeft.append(RellumElement(U'\u4E2D'));
    lonelyLeft.append(RellumElement(U'x'));
    EXPECT_EQ(lonelyLeft.stringWithWideIndexes(nullptr, nullptr, nullptr, nullptr), u"\u2592x");
    RellumElements strayRight;
    strayRight.append(RellumElement(U'x'));
    strayRight.append(RellumElement::wideRightElement());
    EXPECT_EQ(strayRight.stringWithWideIndexes(nullptr, nullptr, nullptr, nullptr), u"x\u2592");
}

TEST(RellumElementText, ZeroWidthSpaceIsOneSpaceAndControlsAreNothing) {
    RellumElements e = cells(U"a\u200Bb");
    e.append(RellumElement(0x1B));
    EXPECT_EQ(e.stringWithWideIndexes(nullptr, nullptr, nullptr, nullptr), u"a b");
}

TEST(RellumElementMerge, MarksJoinTheCellBeforeThem) {
    // A double-width character followed by two marks keeps both.
    RellumElements e = cells(U"\u4E2D\u0301\u0308x").rellum_arrayByMergingCombiningMarkElement();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e.componentsAt(0), U"\u0301\u0308");
    EXPECT_TRUE(e[1].isWideRight());
    RellumIndexSet wide, combining;
    EXPECT_EQ(e.stringWithWideIndexes(&wide, nullptr, nullptr, &combining), u"\u4E2D\u0301\u0308x");
    EXPECT_EQ(combining.ranges(), (std::vector<RellumRange>{{1, 2}}));
}

TEST(RellumElementMerge, MarksWithoutAUsableBase) {
    // First in the array: stays as its own element.
    RellumElements first = cells(U"\u0301a").rellum_arrayByMergingCombiningMarkElement();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].uchar, U'\u0301');
    EXPECT_FALSE(first[0].isCombining());
    // After void or tab padding, or a control value: dropped.
    for (char32_t pad : {RellumElement::kVoidPadding, RellumElement::kTabPadding, char32_t(0x07)}) {
        RellumElements e;
        e.append(RellumElement(pad));
        e.appendElements(cells(U"\u0301"));
        RellumElements merged = e.rellum_arrayByMergingCombiningMarkElement();
        ASSERT_EQ(merged.size(), 1u);
        EXPECT_FALSE(merged[0].isCombining());
    }
    // A wide-right element with nothing before it: dropped.
    RellumElements right;
    right.append(RellumElement::wideRightElement());
    right.appendElements(cells(U"\u0301"));
    RellumElements merged = right.rellum_arrayByMergingCombiningMarkElement();
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_FALSE(merged[0].isCombining());
}

TEST(RellumElementMerge, DoubleWidthMarkLeavesNoStrayRightHalf) {
    for (char32_t mark : {U'\u302A', U'\u302F', U'\u3099', U'\u309A'}) {
        const std::u32string text{U'a', mark, U'b'};
        RellumElements e = cells(text);
        ASSERT_EQ(e.size(), 4u); // the mark arrives with its right half
        RellumElements merged = e.rellum_arrayByMergingCombiningMarkElement();
        ASSERT_EQ(merged.size(), 2u) << std::hex << uint32_t(mark);
        EXPECT_EQ(merged.componentsAt(0), std::u32string(1, mark));
        EXPECT_EQ(merged[1].uchar, U'b');
        EXPECT_EQ(merged.stringWithWideIndexes(nullptr, nullptr, nullptr, nullptr),
                  (std::u16string{u'a', char16_t(mark), u'b'}));
    }
    // Dropped on a void cell, the mark's right half goes with it.
    RellumElements e;
    e.append(RellumElement::voidPaddingElement());
    e.appendElements(cells(U"\u3099"));
    EXPECT_EQ(e.rellum_arrayByMergingCombiningMarkElement().size(), 1u);
}

TEST(RellumElements, MarkPoolStaysBoundedUnderOverwrites) {
    RellumElements e = cells(U"abc");
    for (int i = 0; i < 10000; ++i)
        e.setElement(1, RellumCombiningElement(U'x', U"\u0301"));
    EXPECT_EQ(e.componentsAt(1), U"\u0301");
    RellumElements other;
    other.appendElements(e, 1, 1);
    EXPECT_EQ(other.componentsAt(0), U"\u0301");
    std::string bytes;
    rellum_appendCombiningElement(bytes, RellumCombiningElement(U'e', U"\u0301"));
    EXPECT_EQ(bytes, std::string("e\0\0\0\x01\x03\0\0", 8));
}

TEST(RellumElements, RefillingAnArrayReplacesItsCellsAndMarks) {
    RellumElements e = cells(U"e\u0301").rellum_arrayByMergingCombiningMarkElement();
    ASSERT_TRUE(e[0].isCombining());
    e.assignFromASCIIChars("xy", 2);
    ASSERT_EQ(e.size(), 2u);
    EXPECT_FALSE(e.hasMarks());
    EXPECT_EQ(e.stringWithWideIndexes(nullptr, nullptr, nullptr, nullptr), u"xy");
    const std::u32string wide = U"\u4E2Dz";
    e.assignFromMBCSUTF32Chars(wide.data(), wide.size());
    ASSERT_EQ(e.size(), 3u);
    EXPECT_TRUE(e[1].isWideRight());
    EXPECT_EQ(e[2].uchar, U'z');
}

TEST(RellumElements, AppendingDecodedTextKeepsTheCellsBeforeAndReportsMarks) {
    RellumElements e = cells(U"e\u0301").rellum_arrayByMergingCombiningMarkElement();
    e.appendASCIIChars("a\xE9", 2); // 7-bit values
    const std::u32string plain = U"\u00E9\u4E2D\U0001F200\U00020000";
    EXPECT_FALSE(e.appendMBCSUTF32Chars(plain.data(), plain.size()));
    EXPECT_EQ(e.componentsAt(0), U"\u0301");
    ASSERT_EQ(e.size(), 10u);
    EXPECT_EQ(e[2].uchar, U'\x69');
    EXPECT_EQ(e[3].uchar, U'\u00E9');
    for (std::size_t wide : {4u, 6u, 8u}) {
        EXPECT_TRUE(e[wide].isWide()) << wide;
        EXPECT_TRUE(e[wide + 1].isWideRight()) << wide;
    }
    // Values that are no code point become U+FFFD, which is neither wide nor a mark.
    const std::u32string bad = {char32_t(0xD800), char32_t(0xDFFF), char32_t(0x110000), U'x'};
    RellumElements f;
    EXPECT_FALSE(f.appendMBCSUTF32Chars(bad.data(), bad.size()));
    ASSERT_EQ(f.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(f[i].uchar, RellumElement::kReplacement);
    // Marks anywhere, in both planes held as bits, above them, and a double-width one.
    for (char32_t mark : {U'\u0301', U'\u3099', U'\U0001D167', U'\U000E0100'}) {
        const std::u32string text{U'a', mark};
        RellumElements g;
        EXPECT_TRUE(g.appendMBCSUTF32Chars(text.data(), text.size())) << std::hex << uint32_t(mark);
        EXPECT_EQ(g.size(), mark == U'\u3099' ? 3u : 2u);
    }
}

TEST(RellumElementMerge, MergingFromAnOffsetJoinsTheCellsAlreadyThere) {
    // The same as merging the whole array when the part before is merged.
    const std::u32string texts[] = {U"\u4E2D\u0301x\u0308", U"\u0301\u0302y", U"\u3099z\u302A",
                                    U"a\U000E0100\u0301"};
    for (const std::u32string& tail : texts) {
        RellumElements whole = cells(U"e\u0301\u4E2D");
        whole.appendElements(cells(tail));
        const RellumElements expected = whole.rellum_arrayByMergingCombiningMarkElement();
        RellumElements inPlace = cells(U"e\u0301\u4E2D").rellum_arrayByMergingCombiningMarkElement();
        const std::size_t start = inPlace.size();
        inPlace.appendMBCSUTF32Chars(tail.data(), tail.size());
        inPlace.mergeCombiningMarksFrom(start);
        ASSERT_EQ(inPlace.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(inPlace[i].uchar, expected[i].uchar) << i;
            EXPECT_EQ(inPlace.componentsAt(i), expected.componentsAt(i)) << i;
        }
    }
    // Many combined cells, enough to tidy the mark pool on the way: each
    // keeps exactly its own marks.
    std::u32string text;
    for (int i = 0; i < 500; ++i) {
        text += char32_t(U'a' + i % 26);
        text += i % 3 ? U"\u0301" : U"\u0300\u0302";
    }
    RellumElements many = cells(text);
    many.mergeCombiningMarksFrom(0);
    ASSERT_EQ(many.size(), 500u);
    for (std::size_t i = 0; i < 500; ++i) {
        ASSERT_EQ(many[i].uchar, char32_t(U'a' + i % 26)) << i;
        ASSERT_EQ(many.componentsAt(i), i % 3 ? U"\u0301" : U"\u0300\u0302") << i;
    }
    // Appending marks again to cells that already carry some.
    const std::u32string more = U"\u0303";
    many.appendMBCSUTF32Chars(more.data(), more.size());
    many.mergeCombiningMarksFrom(500);
    EXPECT_EQ(many.componentsAt(499), U"\u0301\u0303");
    EXPECT_EQ(many.componentsAt(498), U"\u0300\u0302");
}

TEST(RellumElementText, FlagsTellWhichCellsAreOneUnitOrCannotBeStoredAsGiven) {
    auto flagsOf = [](const RellumElements& e) {
        std::u16string out;
        RellumElements::TextFlags flags;
        e.appendString(out, 0, e.size(), nullptr, nullptr, nullptr, nullptr, false, &flags);
        return std::pair{flags.unitCells, flags.needsNormalizing};
    };
    using Flags = std::pair<bool, bool>;
    EXPECT_EQ(flagsOf(cells(U"ab\u00E9\u1200")), Flags(true, false));
    RellumElements padded;
    padded.append(RellumElement::voidPaddingElement());
    padded.append(RellumElement::tabPaddingElement());
    EXPECT_EQ(flagsOf(padded), Flags(true, false));
    EXPECT_EQ(flagsOf(cells(U"a\u4E2D")), Flags(false, false));
    EXPECT_EQ(flagsOf(cells(U"\U00010000")), Flags(false, false)); // a surrogate pair in text
    EXPECT_EQ(flagsOf(cells(U"e\u0301").rellum_arrayByMergingCombiningMarkElement()), Flags(false, false));
    // A right half alone, a wide character without its right half, marks
    // on a control value, a value that is no code point.
    RellumElements right;
    right.append(RellumElement(U'a'));
    right.append(RellumElement::wideRightElement());
    EXPECT_EQ(flagsOf(right), Flags(false, true));
    RellumElements cut;
    cut.append(RellumElement(U'\u4E2D'));
    cut.append(RellumElement(U'a'));
    EXPECT_EQ(flagsOf(cut), Flags(false, true));
    RellumElements control;
    control.append(RellumCombiningElement(U'\x07', U"\u0301"));
    EXPECT_EQ(flagsOf(control), Flags(false, true));
    RellumElements invalid;
    invalid.append(RellumElement(char32_t(0xD800)));
    EXPECT_EQ(flagsOf(invalid), Flags(false, true));
    // Only the cells asked for count: the wide character's half lies outside.
    const RellumElements pair = cells(U"x\u4E2D");
    std::u16string out;
    RellumElements::TextFlags flags;
    pair.appendString(out, 0, 2, nullptr, nullptr, nullptr, nullptr, false, &flags);
    EXPECT_TRUE(flags.needsNormalizing);
}
