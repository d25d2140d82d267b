#pragma once

#include "Rellum/RellumGeometry.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// Attributes added to a font's descriptor when deriving a font.
struct RellumFontDescriptorAttributes {
    std::optional<double> fixedAdvance; // every glyph advances by exactly this many points
    friend bool operator==(const RellumFontDescriptorAttributes&,
                           const RellumFontDescriptorAttributes&) = default;
};

// A font as the terminal core sees it: metrics and derived variants. The view
// layer implements it over its toolkit's fonts; the core never draws.
class RellumFont {
public:
    virtual ~RellumFont() = default;

    virtual std::string familyName() const = 0;
    virtual double pointSize() const = 0;
    // Advance of the glyph with this name ("W" for the cell width).
    virtual double advanceOfGlyphNamed(std::string_view glyphName) const = 0;
    virtual double ascender() const = 0;
    // Below the baseline, so usually negative.
    virtual double descender() const = 0;
    // The forced advance, when this font has one.
    virtual std::optional<double> fixedAdvance() const = 0;

    // The same font at the same size, every glyph advancing by advance.
    virtual std::shared_ptr<const RellumFont> fontWithFixedAdvance(double advance) const = 0;
    virtual std::shared_ptr<const RellumFont>
    boldVersionByAddingAttributes(const RellumFontDescriptorAttributes& attributes) const = 0;
    virtual std::shared_ptr<const RellumFont>
    italicVersionByAddingAttributes(const RellumFontDescriptorAttributes& attributes) const = 0;
    virtual std::shared_ptr<const RellumFont>
    boldItalicVersionByAddingAttributes(const RellumFontDescriptorAttributes& attributes) const = 0;

    // The cell size for this font: the width of "W" and the line height
    // (ascender minus descender) plus 1, each rounded to whole points.
    RellumCellSize fontSizeForDrawing() const;
};
