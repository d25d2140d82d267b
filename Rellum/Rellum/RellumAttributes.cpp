#include "Rellum/RellumAttributes.h"

#include <algorithm>

const char* const RellumBoldAttribute = "RellumBoldAttribute";
const char* const RellumFaintAttribute = "RellumFaintAttribute";
const char* const RellumItalicAttribute = "RellumItalicAttribute";
const char* const RellumBoldItalicAttribute = "RellumBoldItalicAttribute";
const char* const RellumUnderlineAttribute = "RellumUnderlineAttribute";
const char* const RellumBlinkAttribute = "RellumBlinkAttribute";
const char* const RellumInverseAttribute = "RellumInverseAttribute";
const char* const RellumInvisibleAttribute = "RellumInvisibleAttribute";
const char* const RellumSpanCharacterAttribute = "RellumSpanCharacterAttribute";
const char* const RellumVoidCharacterAttribute = "RellumVoidCharacterAttribute";
const char* const RellumTabCharacterAttribute = "RellumTabCharacterAttribute";
const char* const RellumWideCharacterAttribute = "RellumWideCharacterAttribute";

RellumParagraphStyle RellumGetParagraphStyle(RellumCellSize cellSize) {
    return {true, 8 * cellSize.width, cellSize.height, cellSize.height};
}

void RellumAttributes::setUnderline(bool v) {
    underline_ = v;
    if (v)
        underlineStyle_ = 1;
    else
        underlineStyle_.reset();
}

bool RellumAttributes::boolForKey(std::string_view key) const {
    if (key == RellumBoldAttribute) return isBold();
    if (key == RellumFaintAttribute) return isFaint();
    if (key == RellumItalicAttribute) return isItalic();
    if (key == RellumBoldItalicAttribute) return isBoldItalic();
    if (key == RellumUnderlineAttribute) return isUnderline();
    if (key == RellumBlinkAttribute) return isBlink();
    if (key == RellumInverseAttribute) return isInverse();
    if (key == RellumInvisibleAttribute) return isInvisible();
    if (key == RellumVoidCharacterAttribute) return isVoid();
    if (key == RellumTabCharacterAttribute) return isTab();
    return false;
}

bool RellumAttributes::hasKey(std::string_view key) const {
    if (key == RellumBoldAttribute) return bold_.has_value();
    if (key == RellumFaintAttribute) return faint_.has_value();
    if (key == RellumItalicAttribute) return italic_.has_value();
    if (key == RellumBoldItalicAttribute) return boldItalic_.has_value();
    if (key == RellumUnderlineAttribute) return underline_.has_value();
    if (key == RellumBlinkAttribute) return blink_.has_value();
    if (key == RellumInverseAttribute) return inverse_.has_value();
    if (key == RellumInvisibleAttribute) return invisible_.has_value();
    if (key == RellumSpanCharacterAttribute) return span_.has_value();
    if (key == RellumVoidCharacterAttribute) return void_.has_value();
    if (key == RellumTabCharacterAttribute) return tab_.has_value();
    return false;
}

const RellumAttributes* RellumAttributedString::attributesAtIndex(uint64_t index) const {
    auto it = std::upper_bound(runs.begin(), runs.end(), index,
                               [](uint64_t i, const Run& r) { return i < r.range.location; });
    if (it == runs.begin()) return nullptr;
    --it;
    return index < it->range.end() ? it->attributes.get() : nullptr;
}

void RellumAttributedString::setAttributes(std::shared_ptr<const RellumAttributes> attributes,
                                           RellumRange range) {
    range.length =
        std::min<uint64_t>(range.length, string.size() > range.location ? string.size() - range.location : 0);
    if (range.length == 0) return;
    std::vector<Run> out;
    out.reserve(runs.size() + 2);
    bool placed = false;
    for (const Run& r : runs) {
        if (r.range.end() <= range.location || r.range.location >= range.end()) {
            if (!placed && r.range.location >= range.end()) {
                out.push_back({range, attributes});
                placed = true;
            }
            out.push_back(r);
            continue;
        }
        if (r.range.location < range.location)
            out.push_back({{r.range.location, range.location - r.range.location}, r.attributes});
        if (!placed) {
            out.push_back({range, attributes});
            placed = true;
        }
        if (r.range.end() > range.end())
            out.push_back({{range.end(), r.range.end() - range.end()}, r.attributes});
    }
    if (!placed) out.push_back({range, attributes});
    runs = std::move(out);
}
