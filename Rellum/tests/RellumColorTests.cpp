#include "Rellum/RellumAttributes.h"
#include "Rellum/RellumColor.h"

#include <gtest/gtest.h>

namespace {

std::array<int, 4> rgb(int r, int g, int b, int a = 255) {
    return {r, g, b, a};
}

} // namespace

TEST(RellumPalette, FixedCubeAndGreys) {
    const auto& p = rellum_arrayOfANSIColors();
    EXPECT_EQ(p.size(), 256u);
    EXPECT_EQ(p[1].rgba255(), rgb(135, 24, 24));
    EXPECT_EQ(p[8].rgba255(), rgb(83, 83, 83));
    EXPECT_EQ(p[15].rgba255(), rgb(224, 223, 224));
    EXPECT_EQ(p[16].rgba255(), rgb(0, 0, 0));
    EXPECT_EQ(p[21].rgba255(), rgb(0, 0, 255));
    EXPECT_EQ(p[196].rgba255(), rgb(255, 0, 0));
    EXPECT_EQ(p[67].rgba255(), rgb(95, 135, 175));
    EXPECT_EQ(p[231].rgba255(), rgb(255, 255, 255));
    EXPECT_EQ(p[232].rgba255(), rgb(8, 8, 8));
    EXPECT_EQ(p[255].rgba255(), rgb(238, 238, 238));
    EXPECT_EQ(rellum_colorForColorIndex(196), p[196]);
    EXPECT_EQ(&rellum_arrayOfANSIColors(), &p); // built once
}

TEST(RellumPalette, FlatColours) {
    EXPECT_EQ(rellum_flatBlack().rgba255(), rgb(43, 43, 43));
    const RellumColor white = rellum_flatWhite();
    EXPECT_NEAR(white.red, 0.931f, 0.001f);
    EXPECT_NEAR(white.blue, 0.95f, 0.001f);
    EXPECT_GT(white.blue, white.red);
    EXPECT_EQ(rellum_secondarySelectedControlColor().rgba255(), rgb(93, 93, 93, 217));
}

TEST(RellumPalette, ContrastingColour) {
    EXPECT_EQ(rellum_colorWithContrastingBlackOrWhiteColorOn(rellum_flatBlack(), false).rgba255(),
              rgb(255, 255, 255));
    EXPECT_EQ(rellum_colorWithContrastingBlackOrWhiteColorOn(rellum_colorForColorIndex(15), false).rgba255(),
              rgb(0, 0, 0));
    EXPECT_EQ(rellum_colorWithContrastingBlackOrWhiteColorOn(RellumColor::clearColor(), false),
              RellumColor::clearColor());
    const RellumColor halfYellow = RellumColor::colorWithRGBA(1, 1, 0, 0.5f);
    EXPECT_EQ(rellum_colorWithContrastingBlackOrWhiteColorOn(halfYellow, false).rgba255(), rgb(0, 0, 0, 128));
    EXPECT_EQ(rellum_colorWithContrastingBlackOrWhiteColorOn(halfYellow, true).rgba255(),
              rgb(38, 38, 38, 128));
    EXPECT_EQ(rellum_colorWithContrastingBlackOrWhiteColorOn(rellum_flatBlack(), true), rellum_flatWhite());
    // Pure red has luma 0.2126: dark.
    EXPECT_EQ(rellum_colorWithContrastingBlackOrWhiteColorOn(rellum_colorForColorIndex(196), false).rgba255(),
              rgb(255, 255, 255));
}

TEST(RellumAttributes, ReadersWritersAndMissingKeys) {
    RellumAttributes a;
    EXPECT_FALSE(a.isBold());
    EXPECT_EQ(a.span(), 0u);
    EXPECT_FALSE(a.hasKey(RellumBoldAttribute));
    a.setUnderline(true);
    EXPECT_EQ(a.underlineStyle(), 1);
    a.setUnderline(false);
    EXPECT_FALSE(a.underlineStyle().has_value());
    EXPECT_TRUE(a.hasKey(RellumUnderlineAttribute));
    EXPECT_FALSE(a.isUnderline());
    a.setForegroundColor(RellumColor::colorWithRGBA(1, 0, 0));
    a.setForegroundColor(std::nullopt);
    EXPECT_FALSE(a.foregroundColor().has_value());
    a.setBaselineOffset(1.5);
    EXPECT_EQ(a.baselineOffset(), 1.5f);
    a.setItalic(true);
    a.setTabc(true);
    EXPECT_TRUE(a.boolForKey(RellumItalicAttribute));
    EXPECT_TRUE(a.boolForKey(RellumTabCharacterAttribute));
    EXPECT_FALSE(a.boolForKey(RellumWideCharacterAttribute));
    EXPECT_EQ(std::string(RellumSpanCharacterAttribute), "RellumSpanCharacterAttribute");
    EXPECT_EQ(std::string(RellumWideCharacterAttribute), "RellumWideCharacterAttribute");
}
