#pragma once

#include "Rellum/RellumFont.h"

#include <QFont>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The terminal's font over Qt: metrics from QFontMetricsF, the bold, italic and
// bold-italic variants, and a fixed advance that the view draws each cell at.
class RellumQtFont final : public RellumFont {
public:
    // The stored default family; no such family exists on Linux.
    static constexpr std::string_view DefaultFontName = "Menlo";
    // Used when a size is not a positive number.
    static constexpr double DefaultPointSize = 12;

    // The font of `name` at `pointSize`. "Menlo", and any family that is not
    // installed, resolve to an installed fixed-pitch family.
    static std::shared_ptr<const RellumQtFont> fontWithName(std::string_view name, double pointSize);

    // The installed family that `name` stands for: the family itself when it is
    // installed (and is not "Menlo"), else DejaVu Sans Mono, else the system's
    // fixed font.
    static QString resolvedFamilyName(std::string_view name);

    // A font as given (its point size made positive), with an optional forced advance.
    explicit RellumQtFont(QFont font, std::optional<double> fixedAdvance = std::nullopt);

    // The Qt font to draw with: with a fixed advance, its letter spacing makes
    // every glyph of a fixed-pitch family advance by exactly that much.
    const QFont& qFont() const { return font_; }

    std::string familyName() const override;
    double pointSize() const override;
    // A one-character name is that character; "space" is the space. Unknown
    // names have no advance (0). With a fixed advance, every glyph has it.
    double advanceOfGlyphNamed(std::string_view glyphName) const override;
    double ascender() const override;
    double descender() const override;
    std::optional<double> fixedAdvance() const override { return fixedAdvance_; }

    std::shared_ptr<const RellumFont> fontWithFixedAdvance(double advance) const override;
    std::shared_ptr<const RellumFont>
    boldVersionByAddingAttributes(const RellumFontDescriptorAttributes& attributes) const override;
    std::shared_ptr<const RellumFont>
    italicVersionByAddingAttributes(const RellumFontDescriptorAttributes& attributes) const override;
    std::shared_ptr<const RellumFont>
    boldItalicVersionByAddingAttributes(const RellumFontDescriptorAttributes& attributes) const override;

    bool isBold() const { return font_.bold(); }
    bool isItalic() const { return font_.italic(); }

private:
    std::shared_ptr<const RellumFont> variant(bool bold, bool italic,
                                              const RellumFontDescriptorAttributes& attributes) const;

    QFont font_;          // letter spacing applied when there is a fixed advance
    double naturalWidth_; // advance of "W" without letter spacing
    std::optional<double> fixedAdvance_;
};
