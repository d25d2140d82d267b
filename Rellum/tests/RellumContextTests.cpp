#include "Rellum/RellumContext.h"
#include "Rellum/RellumDebugNames.h"

#include <gtest/gtest.h>

namespace {

// A font with given metrics that remembers how it was derived.
class FakeFont : public RellumFont {
public:
    FakeFont(std::string name, double advanceW, std::optional<double> fixed = std::nullopt)
        : name_(std::move(name)), advanceW_(advanceW), fixed_(fixed) {}
    std::string familyName() const override { return name_; }
    double pointSize() const override { return 12; }
    double advanceOfGlyphNamed(std::string_view) const override { return advanceW_; }
    double ascender() const override { return 11.3; }
    double descender() const override { return -3.4; }
    std::optional<double> fixedAdvance() const override { return fixed_; }
    std::shared_ptr<const RellumFont> fontWithFixedAdvance(double advance) const override {
        return std::make_shared<FakeFont>(name_, advanceW_, advance);
    }
    std::shared_ptr<const RellumFont>
    boldVersionByAddingAttributes(const RellumFontDescriptorAttributes& a) const override {
        return std::make_shared<FakeFont>(name_ + "-Bold", advanceW_, a.fixedAdvance);
    }
    std::shared_ptr<const RellumFont>
    italicVersionByAddingAttributes(const RellumFontDescriptorAttributes& a) const override {
        return std::make_shared<FakeFont>(name_ + "-Italic", advanceW_, a.fixedAdvance);
    }
    std::shared_ptr<const RellumFont>
    boldItalicVersionByAddingAttributes(const RellumFontDescriptorAttributes& a) const override {
        return std::make_shared<FakeFont>(name_ + "-BoldItalic", advanceW_, a.fixedAdvance);
    }

private:
    std::string name_;
    double advanceW_;
    std::optional<double> fixed_;
};

RellumContext& sized(RellumContext& c, int64_t columns, int64_t rows) {
    c.setPageSize({columns, rows});
    return c;
}

const RellumColor kRed = RellumColor::colorWithRGB255(255, 0, 0);
const RellumColor kBlue = RellumColor::colorWithRGB255(0, 0, 255);
const RellumColor kGrey = RellumColor::colorWithRGB255(50, 50, 50);
const RellumColor kWhite = RellumColor::colorWithRGB255(240, 240, 240);

} // namespace

TEST(RellumContext, TabStops) {
    RellumContext c;
    sized(c, 1200, 24);
    EXPECT_EQ(c.tabStopIndexes().size(), 125u);
    EXPECT_TRUE(c.tabStopIndexes().count(992));
    EXPECT_FALSE(c.tabStopIndexes().count(1000));
    EXPECT_EQ(c.nextTabStopAfterX(992), 1199u);
    sized(c, 80, 24);
    EXPECT_EQ(c.nextTabStopAfterX(5), 8u);
    EXPECT_EQ(c.nextTabStopAfterX(72), 79u);
    EXPECT_EQ(c.prevTabStopBeforeX(0), 0u);
    EXPECT_EQ(c.prevTabStopBeforeX(1), 0u);
    EXPECT_EQ(c.prevTabStopBeforeX(17), 16u);
    EXPECT_EQ(c.prevTabStopBeforeX(8), 0u);
    c.clearTabStopAtX(16);
    c.addTabStopAtX(3);
    EXPECT_EQ(c.nextTabStopAfterX(8), 24u);
    EXPECT_EQ(c.prevTabStopBeforeX(8), 3u);
    const auto stops = c.tabStops();
    EXPECT_TRUE(stops.count(0) && stops.count(79));
    c.clearAllTabStops();
    EXPECT_EQ(c.nextTabStopAfterX(0), 79u);
}

TEST(RellumContext, MarginsClampToThePage) {
    RellumContext c;
    sized(c, 80, 24);
    EXPECT_EQ(c.verticalPageMargin(), (RellumRange{0, 24}));
    c.setVerticalPageMargin({20, 10});
    EXPECT_EQ(c.verticalPageMargin(), (RellumRange{20, 4}));
    EXPECT_EQ(c.topPageMargin(), 20u);
    EXPECT_EQ(c.bottomPageMargin(), 23u);
    EXPECT_TRUE(c.hasVerticalPageMargin());
    EXPECT_TRUE(c.isBottomPageMarginAtEdge());
    EXPECT_FALSE(c.isTopPageMarginAtEdge());
    c.setHorizontalPageMargin({10, 20});
    EXPECT_EQ(c.rightPageMargin(), 79u); // not respected
    EXPECT_EQ(c.leftPageMargin(), 0u);
    EXPECT_FALSE(c.hasHorizontalPageMargin());
    c.setRespectsHorizontalMargin(true);
    EXPECT_EQ(c.leftPageMargin(), 10u);
    EXPECT_EQ(c.rightPageMargin(), 29u);
    EXPECT_TRUE(c.hasPageMargins());
    EXPECT_TRUE(c.isPageMarginsContainX(29, 21));
    EXPECT_FALSE(c.isPageMarginsContainX(30, 21));
    EXPECT_FALSE(c.isPageMarginsContainX(15, 19));
    c.setHorizontalPageMargin({70, 20});
    EXPECT_EQ(c.horizontalPageMargin(), (RellumRange{70, 10}));
    EXPECT_TRUE(c.isPageMarginsContainX(80, 22)); // the pending-wrap column counts as the last
    c.setPageSize({100, 30});
    EXPECT_EQ(c.verticalPageMargin(), (RellumRange{0, 30}));
    EXPECT_EQ(c.horizontalPageMargin(), (RellumRange{0, 100}));
}

TEST(RellumContext, SoftResetAndCursorMerge) {
    RellumContext c;
    sized(c, 80, 24);
    c.setInsertMode(true);
    c.setOriginMode(true);
    c.setAutoWrapMode(false);
    c.setTextStyleMask(RellumTextStyleBold);
    c.setCurrentTextColor(kRed);
    c.setCharset(1, true);
    c.setCharset(1);
    c.setBracketedPasteMode(true);
    c.setCursorVisible(false);
    EXPECT_TRUE(c.lineDrawingMode());
    EXPECT_FALSE(c.allCharacterSetHaveDefaultValues());
    std::unique_ptr<RellumContext> saved = c.copy();
    c.softReset();
    EXPECT_FALSE(c.insertMode());
    EXPECT_FALSE(c.originMode());
    EXPECT_TRUE(c.autoWrapMode());
    EXPECT_TRUE(c.isCursorVisible());
    EXPECT_EQ(c.textStyleMask(), 0u);
    EXPECT_FALSE(c.currentTextColor().has_value());
    EXPECT_FALSE(c.lineDrawingMode());
    EXPECT_EQ(c.charset(), 1u);          // kept
    EXPECT_TRUE(c.bracketedPasteMode()); // kept
    c.mergeFromCursorContext(*saved);
    EXPECT_TRUE(c.originMode());
    EXPECT_FALSE(c.autoWrapMode());
    EXPECT_EQ(c.textStyleMask(), RellumTextStyleBold);
    EXPECT_EQ(c.currentTextColor(), kRed);
    EXPECT_TRUE(c.lineDrawingMode());
    EXPECT_FALSE(c.insertMode()); // not cursor state
    EXPECT_TRUE(c.activeAttributes()->isBold());
}

TEST(RellumContext, CopyKeepsStateButNotTheSavedCursor) {
    RellumContext c;
    sized(c, 80, 24);
    c.setVerticalPageMargin({2, 10});
    c.setRespectsHorizontalMargin(true);
    c.setHorizontalPageMargin({5, 10});
    c.setReverseVideoMode(true);
    c.setMouseReportType(3);
    c.setTextStyleMask(RellumTextStyleUnderline);
    c.setSavedCursorCoord({4, 5});
    auto copy = c.copy();
    EXPECT_EQ(copy->verticalPageMargin(), (RellumRange{2, 10}));
    EXPECT_EQ(copy->horizontalPageMargin(), (RellumRange{5, 10}));
    EXPECT_TRUE(copy->reverseVideoMode());
    EXPECT_EQ(copy->mouseReportType(), 3u);
    EXPECT_EQ(copy->textStyleMask(), RellumTextStyleUnderline);
    EXPECT_EQ(copy->savedCursorCoord(), (RellumCoord{0, 0}));
    EXPECT_EQ(c.savedCursorCoord(), (RellumCoord{4, 5}));
}

TEST(RellumContext, ActiveAttributesFollowStyleAndColours) {
    RellumContext c;
    c.setVideoTextColor(kWhite);
    c.setVideoBackgroundColor(kGrey);
    auto plain = c.activeAttributes();
    EXPECT_EQ(plain->foregroundColor(), kWhite);
    EXPECT_FALSE(plain->backgroundColor().has_value());
    EXPECT_EQ(plain->span(), 1u);
    EXPECT_TRUE(plain->hasKey(RellumBoldItalicAttribute));
    EXPECT_FALSE(plain->isBoldItalic());

    c.setTextStyleMask(RellumTextStyleInverse);
    auto inverse = c.activeAttributes();
    EXPECT_TRUE(inverse->isInverse());
    EXPECT_EQ(inverse->foregroundColor(), kGrey);
    EXPECT_EQ(inverse->backgroundColor(), kWhite);

    c.setTextStyleMask(RellumTextStyleInverse | RellumTextStyleFaint);
    EXPECT_EQ(c.activeAttributes()->foregroundColor(), kGrey.colorWithAlphaComponent(0.5f));

    c.setTextStyleMask(RellumTextStyleInvisible | RellumTextStyleUnderline | RellumTextStyleBlink);
    auto hidden = c.activeAttributes();
    EXPECT_EQ(hidden->foregroundColor(), RellumColor::clearColor());
    EXPECT_TRUE(hidden->isUnderline());
    EXPECT_EQ(hidden->underlineStyle(), 1);
    EXPECT_TRUE(hidden->isBlink());

    c.setTextStyleMask(0);
    c.setCurrentBackgroundColor(kBlue);
    auto voids = c.voidAttributes();
    EXPECT_TRUE(voids->isVoid());
    EXPECT_FALSE(voids->foregroundColor().has_value());
    EXPECT_EQ(voids->backgroundColor(), kBlue);
    EXPECT_TRUE(c.tabAttributes()->isTab());
    EXPECT_EQ(c.wideAttributes()->span(), 2u);
}

TEST(RellumContext, ColourChangeRebuildsEveryCachedDictionary) {
    RellumContext c;
    c.setCurrentTextColor(kRed);
    auto combining = c.combiningAttributes();
    EXPECT_EQ(combining->span(), 0u);
    EXPECT_EQ(combining->foregroundColor(), kRed);
    c.setCurrentTextColor(kBlue);
    EXPECT_EQ(c.combiningAttributes()->foregroundColor(), kBlue);
    EXPECT_EQ(c.wideAttributes()->foregroundColor(), kBlue);
    EXPECT_EQ(combining->foregroundColor(), kRed); // text already built keeps its colour
}

TEST(RellumContext, AttributedTextMarksCellSpans) {
    RellumContext c;
    RellumIndexSet wide, voids, combining;
    wide.addIndex(1);
    voids.addIndex(4);
    combining.addRange({2, 1});
    // "a" + wide 中 + its mark + "b" + void
    const std::u16string text = u"a\u4E2D\u0301b ";
    RellumAttributedString s = c.attributedStringWithString(text, &wide, &voids, nullptr, &combining);
    EXPECT_EQ(s.string, text);
    EXPECT_EQ(s.attributesAtIndex(0)->span(), 1u);
    EXPECT_EQ(s.attributesAtIndex(1)->span(), 2u);
    EXPECT_EQ(s.attributesAtIndex(2)->span(), 0u); // the mark: widened into the wide run, then replaced
    EXPECT_EQ(s.attributesAtIndex(3)->span(), 1u);
    EXPECT_TRUE(s.attributesAtIndex(4)->isVoid());
    EXPECT_EQ(s.attributesAtIndex(5), nullptr);
    uint64_t covered = 0;
    for (const auto& run : s.runs) {
        EXPECT_EQ(run.range.location, covered);
        covered = run.range.end();
    }
    EXPECT_EQ(covered, text.size());
    // The wide range reaches over the mark when nothing else claims it.
    RellumAttributedString w = c.attributedStringWithString(text, &wide, nullptr, nullptr, nullptr);
    EXPECT_EQ(w.attributesAtIndex(2)->span(), 2u);
    EXPECT_EQ(c.attributedNewline().string, u"\n");
}

TEST(RellumContext, FontGivesCellSizeAndFixedAdvanceVariants) {
    RellumContext c;
    c.setFont(std::make_shared<FakeFont>("Mono", 7.2));
    EXPECT_EQ(c.cellSize(), (RellumCellSize{7, 16})); // round(7.2); round(11.3 + 3.4) + 1
    EXPECT_EQ(c.font()->fixedAdvance(), 7.0);
    EXPECT_EQ(c.boldFont()->familyName(), "Mono-Bold");
    EXPECT_EQ(c.boldFont()->fixedAdvance(), 7.0);
    EXPECT_EQ(c.italicFont()->familyName(), "Mono-Italic");
    EXPECT_EQ(c.boldItalicFont()->fixedAdvance(), 7.0);
    c.setTextStyleMask(RellumTextStyleBold | RellumTextStyleItalic);
    EXPECT_EQ(c.activeAttributes()->font()->familyName(), "Mono-BoldItalic");
    EXPECT_TRUE(c.activeAttributes()->isBoldItalic());
    EXPECT_EQ(c.activeAttributes()->paragraphStyle(), RellumGetParagraphStyle({7, 16}));
    EXPECT_EQ(RellumGetParagraphStyle({7, 16}).defaultTabInterval, 56.0);
    EXPECT_EQ(c.tabAttributes()->font()->familyName(), "Mono");
    auto copy = c.copy();
    EXPECT_EQ(copy->cellSize(), (RellumCellSize{7, 16}));
}

TEST(RellumContext, DebugNames) {
    EXPECT_EQ(RellumStringFromTextStyleMask(0), "Reset");
    EXPECT_EQ(RellumStringFromTextStyleMask(1 | 4 | 128), "Bold | Itablic | Strikeout");
    EXPECT_EQ(RellumStringFromColorIndex(0), "Black");
    EXPECT_EQ(RellumStringFromColorIndex(7), "White");
    EXPECT_EQ(RellumStringFromColorIndex(9), "Light Red");
    EXPECT_EQ(RellumStringFromColorIndex(15), "Light White");
    EXPECT_EQ(RellumStringFromColorIndex(16), "ANSI 16");
    EXPECT_EQ(RellumStringFromCharsetDesignation(0, false), "(B");
    EXPECT_EQ(RellumStringFromCharsetDesignation(1, true), ")0");
    EXPECT_EQ(RellumStringFromCharsetDesignation(6, false), "/B");
    EXPECT_EQ(RellumStringFromCharsetDesignation(9, true), "(0");
}
