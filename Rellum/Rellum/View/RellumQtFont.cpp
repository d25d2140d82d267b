#include "Rellum/View/RellumQtFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>

#include <cmath>

namespace {

constexpr const char* kPreferredFixedFamily = "DejaVu Sans Mono";

double positiveSize(double pointSize) {
    // Qt rejects sizes that are not positive, and a font of size 0 would give
    // cells of size 0 that the view divides by.
    return std::isfinite(pointSize) && pointSize > 0 ? pointSize : RellumQtFont::DefaultPointSize;
}

QFont withoutSpacing(QFont font) {
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    return font;
}

} // namespace

QString RellumQtFont::resolvedFamilyName(std::string_view name) {
    const QString requested = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    if (!requested.isEmpty() && name != DefaultFontName && QFontDatabase::hasFamily(requested))
        return requested;
    if (QFontDatabase::hasFamily(QString::fromLatin1(kPreferredFixedFamily)))
        return QString::fromLatin1(kPreferredFixedFamily);
    // What the family resolves to, so that the name is one that is installed.
    return QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
}

std::shared_ptr<const RellumQtFont> RellumQtFont::fontWithName(std::string_view name, double pointSize) {
    QFont font(resolvedFamilyName(name));
    font.setPointSizeF(positiveSize(pointSize));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return std::make_shared<RellumQtFont>(font);
}

RellumQtFont::RellumQtFont(QFont font, std::optional<double> fixedAdvance)
    : font_(std::move(font)), naturalWidth_(0) {
    if (!(font_.pointSizeF() > 0)) font_.setPointSizeF(DefaultPointSize);
    // The natural width decides the spacing, so it is measured without any.
    naturalWidth_ = QFontMetricsF(withoutSpacing(font_)).horizontalAdvance(QLatin1Char('W'));
    if (fixedAdvance && std::isfinite(*fixedAdvance) && *fixedAdvance > 0) {
        fixedAdvance_ = *fixedAdvance;
        font_.setLetterSpacing(QFont::AbsoluteSpacing, *fixedAdvance - naturalWidth_);
    } else {
        font_ = withoutSpacing(font_);
    }
}

std::string RellumQtFont::familyName() const {
    return font_.family().toStdString();
}

double RellumQtFont::pointSize() const {
    return font_.pointSizeF();
}

double RellumQtFont::advanceOfGlyphNamed(std::string_view glyphName) const {
    QString text = QString::fromUtf8(glyphName.data(), static_cast<qsizetype>(glyphName.size()));
    if (text == QLatin1String("space")) text = QStringLiteral(" ");
    // One character: one code point, or a surrogate pair.
    const bool oneCharacter = text.size() == 1 || (text.size() == 2 && text.at(0).isHighSurrogate());
    if (!oneCharacter) return 0;
    if (fixedAdvance_) return *fixedAdvance_;
    return QFontMetricsF(font_).horizontalAdvance(text);
}

double RellumQtFont::ascender() const {
    return QFontMetricsF(font_).ascent();
}

double RellumQtFont::descender() const {
    // Qt measures the descent downwards as a positive number.
    return -QFontMetricsF(font_).descent();
}

std::shared_ptr<const RellumFont> RellumQtFont::fontWithFixedAdvance(double advance) const {
    return std::make_shared<RellumQtFont>(withoutSpacing(font_), advance);
}

std::shared_ptr<const RellumFont>
RellumQtFont::variant(bool bold, bool italic, const RellumFontDescriptorAttributes& attributes) const {
    QFont font = withoutSpacing(font_);
    if (bold) font.setWeight(QFont::Bold);
    if (italic) font.setItalic(true);
    return std::make_shared<RellumQtFont>(font,
                                          attributes.fixedAdvance ? attributes.fixedAdvance : fixedAdvance_);
}

std::shared_ptr<const RellumFont>
RellumQtFont::boldVersionByAddingAttributes(const RellumFontDescriptorAttributes& attributes) const {
    return variant(true, false, attributes);
}

std::shared_ptr<const RellumFont>
RellumQtFont::italicVersionByAddingAttributes(const RellumFontDescriptorAttributes& attributes) const {
    return variant(false, true, attributes);
}

std::shared_ptr<const RellumFont>
RellumQtFont::boldItalicVersionByAddingAttributes(const RellumFontDescriptorAttributes& attributes) const {
    return variant(true, true, attributes);
}
