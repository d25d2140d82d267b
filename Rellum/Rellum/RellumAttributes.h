#pragma once

#include "Rellum/RellumColor.h"
#include "Rellum/RellumFont.h"
#include "Rellum/RellumGeometry.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The keys that mark a cell's rendition and layout role; each text equals its name.
extern const char* const RellumBoldAttribute;
extern const char* const RellumFaintAttribute;
extern const char* const RellumItalicAttribute;
extern const char* const RellumBoldItalicAttribute;
extern const char* const RellumUnderlineAttribute;
extern const char* const RellumBlinkAttribute;
extern const char* const RellumInverseAttribute;
extern const char* const RellumInvisibleAttribute;
extern const char* const RellumSpanCharacterAttribute;
extern const char* const RellumVoidCharacterAttribute;
extern const char* const RellumTabCharacterAttribute;
extern const char* const RellumWideCharacterAttribute; // declared with the others; no reader or writer

// How a cell's line is laid out: clipped, tab interval, fixed line height.
struct RellumParagraphStyle {
    bool clipsLines = true;
    double defaultTabInterval = 0;
    double minimumLineHeight = 0;
    double maximumLineHeight = 0;
    friend bool operator==(const RellumParagraphStyle&, const RellumParagraphStyle&) = default;
};

// Line breaking by clipping, a tab interval of 8 cells, the line height fixed
// to the cell height.
RellumParagraphStyle RellumGetParagraphStyle(RellumCellSize cellSize);

// One attribute dictionary. Each key is either absent or holds a value; a
// missing flag reads as false and a missing span as 0.
class RellumAttributes {
public:
    bool isBold() const { return bold_.value_or(false); }
    bool isFaint() const { return faint_.value_or(false); }
    bool isItalic() const { return italic_.value_or(false); }
    bool isBoldItalic() const { return boldItalic_.value_or(false); }
    bool isUnderline() const { return underline_.value_or(false); }
    bool isBlink() const { return blink_.value_or(false); }
    bool isInverse() const { return inverse_.value_or(false); }
    bool isInvisible() const { return invisible_.value_or(false); }
    uint64_t span() const { return span_.value_or(0); }
    bool isVoid() const { return void_.value_or(false); }
    bool isTab() const { return tab_.value_or(false); }
    float baselineOffset() const { return float(baselineOffset_.value_or(0)); }
    const std::shared_ptr<const RellumFont>& font() const { return font_; }
    const std::optional<RellumParagraphStyle>& paragraphStyle() const { return paragraphStyle_; }
    const std::optional<RellumColor>& backgroundColor() const { return backgroundColor_; }
    const std::optional<RellumColor>& foregroundColor() const { return foregroundColor_; }
    // The platform underline style: 1 (single) while underline is on, absent otherwise.
    std::optional<int> underlineStyle() const { return underlineStyle_; }

    void setBold(bool v) { bold_ = v; }
    void setFaint(bool v) { faint_ = v; }
    void setItalic(bool v) { italic_ = v; }
    void setBoldItalic(bool v) { boldItalic_ = v; }
    void setUnderline(bool v);
    void setBlink(bool v) { blink_ = v; }
    void setInverse(bool v) { inverse_ = v; }
    void setInvisible(bool v) { invisible_ = v; }
    void setSpan(uint64_t v) { span_ = v; }
    void setVoidc(bool v) { void_ = v; }
    void setTabc(bool v) { tab_ = v; }
    void setBaselineOffset(double v) { baselineOffset_ = v; }
    void setFont(std::shared_ptr<const RellumFont> font) { font_ = std::move(font); }
    void setParagraphStyle(std::optional<RellumParagraphStyle> style) { paragraphStyle_ = style; }
    // nullopt removes the key.
    void setBackgroundColor(std::optional<RellumColor> color) { backgroundColor_ = color; }
    void setForegroundColor(std::optional<RellumColor> color) { foregroundColor_ = color; }

    // The flag stored under one of the boolean keys above (false for others).
    bool boolForKey(std::string_view key) const;
    // True when the key is present (any of the twelve keys, or "span").
    bool hasKey(std::string_view key) const;

    friend bool operator==(const RellumAttributes&, const RellumAttributes&) = default;

private:
    std::optional<bool> bold_, faint_, italic_, boldItalic_, underline_, blink_, inverse_, invisible_, void_,
        tab_;
    std::optional<uint64_t> span_;
    std::optional<int> underlineStyle_;
    std::optional<double> baselineOffset_;
    std::shared_ptr<const RellumFont> font_;
    std::optional<RellumParagraphStyle> paragraphStyle_;
    std::optional<RellumColor> backgroundColor_, foregroundColor_;
};

// Text with attribute runs that cover it without gaps: what a grid change
// becomes before it reaches a text storage.
struct RellumAttributedString {
    struct Run {
        RellumRange range;
        std::shared_ptr<const RellumAttributes> attributes;
    };
    std::u16string string;
    std::vector<Run> runs;

    // The attributes at a UTF-16 index (null past the end).
    const RellumAttributes* attributesAtIndex(uint64_t index) const;
    // Replaces (not merges) the attributes of range.
    void setAttributes(std::shared_ptr<const RellumAttributes> attributes, RellumRange range);
};
