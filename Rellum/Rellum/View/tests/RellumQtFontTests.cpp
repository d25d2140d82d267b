#include "Rellum/RellumContext.h"
#include "Rellum/View/RellumQtFont.h"
#include "Rellum/View/RellumQtMouseInput.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const QString kDejaVuMono = QStringLiteral("DejaVu Sans Mono");

std::shared_ptr<const RellumQtFont> qtFont(const std::shared_ptr<const RellumFont>& font) {
    auto qt = std::dynamic_pointer_cast<const RellumQtFont>(font);
    EXPECT_TRUE(qt) << "not a Qt font";
    return qt;
}

TEST(RellumQtFont, StoredDefaultAndMissingFamiliesResolveToAnInstalledFixedPitchFamily) {
    const QString menlo = RellumQtFont::resolvedFamilyName("Menlo");
    if (QFontDatabase::hasFamily(kDejaVuMono)) {
        EXPECT_EQ(menlo, kDejaVuMono);
    } else {
        EXPECT_TRUE(QFontDatabase::hasFamily(menlo)) << menlo.toStdString();
    }
    EXPECT_EQ(RellumQtFont::resolvedFamilyName("No Such Family 4711"), menlo);
    EXPECT_EQ(RellumQtFont::resolvedFamilyName(""), menlo);

    const auto font = RellumQtFont::fontWithName("Menlo", 13);
    EXPECT_EQ(font->familyName(), menlo.toStdString());
    EXPECT_DOUBLE_EQ(font->pointSize(), 13);
    EXPECT_TRUE(QFontInfo(font->qFont()).fixedPitch()) << QFontInfo(font->qFont()).family().toStdString();
}

TEST(RellumQtFont, InstalledFamilyIsKept) {
    const QString family = QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family();
    ASSERT_TRUE(QFontDatabase::hasFamily(family));
    if (family == kDejaVuMono) GTEST_SKIP() << "only the fixed family is installed";
    EXPECT_EQ(RellumQtFont::resolvedFamilyName(family.toStdString()), family);
}

TEST(RellumQtFont, MetricsAndCellSizeComeFromQtsMetrics) {
    const auto font = RellumQtFont::fontWithName("Menlo", 12);
    const QFontMetricsF metrics(font->qFont());
    EXPECT_DOUBLE_EQ(font->advanceOfGlyphNamed("W"), metrics.horizontalAdvance(QLatin1Char('W')));
    EXPECT_DOUBLE_EQ(font->advanceOfGlyphNamed("space"), metrics.horizontalAdvance(QLatin1Char(' ')));
    EXPECT_DOUBLE_EQ(font->advanceOfGlyphNamed("not a glyph name"), 0);
    EXPECT_DOUBLE_EQ(font->ascender(), metrics.ascent());
    EXPECT_DOUBLE_EQ(font->descender(), -metrics.descent());
    EXPECT_LT(font->descender(), 0);
    EXPECT_EQ(font->fixedAdvance(), std::nullopt);

    const RellumCellSize cell = font->fontSizeForDrawing();
    EXPECT_DOUBLE_EQ(cell.width, std::round(metrics.horizontalAdvance(QLatin1Char('W'))));
    EXPECT_DOUBLE_EQ(cell.height, std::round(metrics.ascent() + metrics.descent()) + 1);
    EXPECT_GT(cell.width, 4);
    EXPECT_GT(cell.height, cell.width);

    // A larger size gives larger cells.
    const RellumCellSize big = RellumQtFont::fontWithName("Menlo", 24)->fontSizeForDrawing();
    EXPECT_GT(big.width, cell.width);
    EXPECT_GT(big.height, cell.height);
}

TEST(RellumQtFont, FixedAdvanceMakesEveryGlyphAdvanceByIt) {
    const auto font = RellumQtFont::fontWithName("Menlo", 12);
    const auto wide = qtFont(font->fontWithFixedAdvance(14));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->fixedAdvance(), 14.0);
    EXPECT_DOUBLE_EQ(wide->advanceOfGlyphNamed("W"), 14);
    EXPECT_DOUBLE_EQ(wide->pointSize(), 12);
    // The Qt font draws at that advance: four glyphs take four cells.
    EXPECT_NEAR(QFontMetricsF(wide->qFont()).horizontalAdvance(QStringLiteral("iW.m")), 56, 0.05);
    // Re-deriving replaces the advance rather than adding to it.
    const auto narrow = qtFont(wide->fontWithFixedAdvance(7));
    EXPECT_NEAR(QFontMetricsF(narrow->qFont()).horizontalAdvance(QStringLiteral("iW.m")), 28, 0.05);
    // The cell height does not depend on the advance.
    EXPECT_DOUBLE_EQ(wide->fontSizeForDrawing().height, font->fontSizeForDrawing().height);
}

TEST(RellumQtFont, VariantsKeepSizeAndTakeTheGivenAdvance) {
    const auto font = RellumQtFont::fontWithName("Menlo", 11);
    const RellumFontDescriptorAttributes attributes{9.0};

    const auto bold = qtFont(font->boldVersionByAddingAttributes(attributes));
    const auto italic = qtFont(font->italicVersionByAddingAttributes(attributes));
    const auto boldItalic = qtFont(font->boldItalicVersionByAddingAttributes(attributes));
    ASSERT_TRUE(bold && italic && boldItalic);
    EXPECT_TRUE(bold->isBold());
    EXPECT_FALSE(bold->isItalic());
    EXPECT_FALSE(italic->isBold());
    EXPECT_TRUE(italic->isItalic());
    EXPECT_TRUE(boldItalic->isBold());
    EXPECT_TRUE(boldItalic->isItalic());
    for (const auto& v : {bold, italic, boldItalic}) {
        EXPECT_DOUBLE_EQ(v->pointSize(), 11);
        EXPECT_EQ(v->familyName(), font->familyName());
        EXPECT_EQ(v->fixedAdvance(), 9.0);
        EXPECT_NEAR(QFontMetricsF(v->qFont()).horizontalAdvance(QStringLiteral("mW")), 18, 0.05);
    }
    // Without an advance in the attributes, a variant keeps the receiver's.
    const auto fixed = font->fontWithFixedAdvance(8);
    EXPECT_EQ(fixed->boldVersionByAddingAttributes({})->fixedAdvance(), 8.0);
    EXPECT_EQ(font->boldVersionByAddingAttributes({})->fixedAdvance(), std::nullopt);
}

TEST(RellumQtFont, ContextDerivesCellSizeAndFixedAdvanceVariants) {
    const auto font = RellumQtFont::fontWithName("Menlo", 12);
    RellumContext context;
    context.setFont(font);
    const RellumCellSize cell = context.cellSize();
    EXPECT_EQ(cell, font->fontSizeForDrawing());
    for (const auto& f :
         {context.font(), context.boldFont(), context.italicFont(), context.boldItalicFont()}) {
        const auto qt = qtFont(f);
        ASSERT_TRUE(qt);
        EXPECT_EQ(qt->fixedAdvance(), cell.width);
        EXPECT_NEAR(QFontMetricsF(qt->qFont()).horizontalAdvance(QStringLiteral("ab")), 2 * cell.width, 0.05);
    }
    EXPECT_TRUE(qtFont(context.boldItalicFont())->isBold());
    EXPECT_TRUE(qtFont(context.boldItalicFont())->isItalic());
}

// Sizes that are not positive numbers would give cells of size zero, which the
// view divides positions by.
TEST(RellumQtFont, SizesThatAreNotPositiveGiveTheDefaultSizeAndNonZeroCells) {
    for (const double size :
         {0.0, -3.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        const auto font = RellumQtFont::fontWithName("Menlo", size);
        EXPECT_DOUBLE_EQ(font->pointSize(), RellumQtFont::DefaultPointSize) << size;
        const RellumCellSize cell = font->fontSizeForDrawing();
        EXPECT_GT(cell.width, 0) << size;
        EXPECT_GT(cell.height, 0) << size;
    }
    // A fixed advance that is not positive is no fixed advance.
    const auto font = RellumQtFont::fontWithName("Menlo", 12);
    EXPECT_EQ(font->fontWithFixedAdvance(0)->fixedAdvance(), std::nullopt);
    EXPECT_EQ(font->fontWithFixedAdvance(-5)->fixedAdvance(), std::nullopt);
}

TEST(RellumQtFont, PointsMapToNoCellBeforeAFontIsSet) {
    // A context without a font has cells of size zero.
    RellumContext context;
    ASSERT_EQ(context.cellSize(), RellumCellSize{});
    const RellumQtPageGeometry geometry{context.cellSize(), 400, 24};
    for (const QPointF p : {QPointF(0, 0), QPointF(123.5, 377), QPointF(-4, 9000)}) {
        const RellumMouseCoord coord = RellumMouseCoordFromPoint(p, geometry);
        EXPECT_EQ(coord, (RellumMouseCoord{0, 0}));
    }
    // Once a font is set, the same point finds its cell.
    context.setFont(RellumQtFont::fontWithName("Menlo", 12));
    const RellumCellSize cell = context.cellSize();
    const RellumQtPageGeometry set{cell, cell.height * 24, 24};
    EXPECT_EQ(RellumMouseCoordFromPoint(QPointF(cell.width * 3.5, cell.height * 2.5), set),
              (RellumMouseCoord{3, 2}));
}

} // namespace
