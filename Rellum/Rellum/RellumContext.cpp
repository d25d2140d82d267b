#include "Rellum/RellumContext.h"

#include "Rellum/RellumElement.h"

#include <algorithm>
#include <atomic>
#include <bit>

RellumContext::RellumContext() {
    mouseReportType_ = 0;
    for (uint64_t x = 0; x < 1000; x += 8)
        tabStopIndexes_.insert(x);
    autoRepeatMode_ = true;
    softReset();
}

std::unique_ptr<RellumContext> RellumContext::copy() const {
    std::unique_ptr<RellumContext> c(new RellumContext(*this));
    c->renditionGeneration_ = 0; // numbered apart from this one
    c->renditionChanged();
    c->verticalPageMargin_ = verticalPageMargin();
    c->horizontalPageMargin_ = horizontalPageMargin();
    c->setSavedCursorCoord({0, 0});
    return c;
}

void RellumContext::softReset() {
    cursorVisible_ = true;
    verticalPageMargin_ = {0, rows()};
    if (respectsHorizontalMargin_) horizontalPageMargin_ = {0, columns()};
    originMode_ = false;
    currentTextColor_.reset();
    currentBackgroundColor_.reset();
    charsetUsesLineDrawingMode_.fill(false);
    applicationCursorKeyMode_ = false;
    applicationKeypadMode_ = false;
    autoWrapMode_ = true;
    reverseWrapMode_ = false;
    insertMode_ = false;
    textStyleMask_ = 0;
    setSavedCursorCoord({0, 0});
    renditionChanged();
}

void RellumContext::setPageSize(RellumPageSize size) {
    if (size == pageSize_) return;
    pageSize_ = size;
    resetPageMargins();
}

namespace {

// A stored region clamped to count rows or columns. An unset region ({0, 0})
// and one that starts past the page (left over from a larger page) stand for
// the whole page, so that scrolling and wrapping keep working after a resize.
RellumRange clampedMargin(RellumRange stored, uint64_t count) {
    if ((stored.location == 0 && stored.length == 0) || stored.location >= count) return {0, count};
    if (stored.length > count - stored.location) stored.length = count - stored.location;
    return stored;
}

uint64_t lastOf(RellumRange r) {
    if (r.length == 0) return r.location == 0 ? 0 : r.location - 1;
    return r.location + r.length - 1;
}

} // namespace

RellumRange RellumContext::verticalPageMargin() const {
    return clampedMargin(verticalPageMargin_, rows());
}

RellumRange RellumContext::horizontalPageMargin() const {
    // Margins left over from an earlier left/right-margin mode do not apply.
    if (!respectsHorizontalMargin_) return {0, columns()};
    return clampedMargin(horizontalPageMargin_, columns());
}

bool RellumContext::setHorizontalPageMargin(RellumRange margin) {
    if (margin.length < 2 && !(margin.location == 0 && margin.length == 0)) return false;
    horizontalPageMargin_ = margin;
    return true;
}

void RellumContext::resetPageMargins() {
    verticalPageMargin_ = {0, 0};
    horizontalPageMargin_ = {0, 0};
}

uint64_t RellumContext::topPageMargin() const {
    return verticalPageMargin().location;
}
uint64_t RellumContext::bottomPageMargin() const {
    return lastOf(verticalPageMargin());
}
uint64_t RellumContext::leftPageMargin() const {
    return respectsHorizontalMargin_ ? horizontalPageMargin().location : 0;
}
uint64_t RellumContext::rightPageMargin() const {
    return respectsHorizontalMargin_ ? lastOf(horizontalPageMargin()) : columns() - 1;
}
bool RellumContext::hasVerticalPageMargin() const {
    return topPageMargin() != 0 || bottomPageMargin() != rows() - 1;
}
bool RellumContext::hasHorizontalPageMargin() const {
    return respectsHorizontalMargin_ && (leftPageMargin() != 0 || rightPageMargin() != columns() - 1);
}

bool RellumContext::isPageMarginsContainX(uint64_t x, uint64_t y) const {
    if (x == columns()) x = columns() - 1;
    const RellumRange h = horizontalPageMargin();
    const RellumRange v = verticalPageMargin();
    return x >= h.location && x < h.end() && y >= v.location && y < v.end();
}

std::set<uint64_t> RellumContext::tabStops() const {
    std::set<uint64_t> stops = tabStopIndexes_;
    stops.insert(0);
    stops.insert(columns() - 1);
    return stops;
}

uint64_t RellumContext::nextTabStopAfterX(uint64_t x) const {
    const uint64_t last = columns() - 1;
    auto it = tabStopIndexes_.upper_bound(x);
    if (it != tabStopIndexes_.end() && last >= 1 && *it <= last - 1) return *it;
    return last;
}

uint64_t RellumContext::prevTabStopBeforeX(uint64_t x) const {
    if (x < 2) return 0;
    auto it = tabStopIndexes_.lower_bound(x); // first stop >= x
    while (it != tabStopIndexes_.begin()) {
        --it;
        if (*it >= 1) return *it;
        break;
    }
    return 0;
}

void RellumContext::setCharset(uint64_t set, bool toLineDrawingMode) {
    if (set < 7) charsetUsesLineDrawingMode_[set] = toLineDrawingMode;
}

bool RellumContext::allCharacterSetHaveDefaultValues() const {
    return charset_ == 0 && std::none_of(charsetUsesLineDrawingMode_.begin(),
                                         charsetUsesLineDrawingMode_.end(), [](bool b) { return b; });
}

// A rendition set to what it already is keeps its number (hosts repeat
// their colour changes, SGR 0 most of all).
void RellumContext::setTextStyleMask(uint64_t mask) {
    if (mask == textStyleMask_) return;
    textStyleMask_ = mask;
    renditionChanged();
}
void RellumContext::resetRendition() {
    if (textStyleMask_ == 0 && !currentTextColor_ && !currentBackgroundColor_) return;
    textStyleMask_ = 0;
    currentTextColor_.reset();
    currentBackgroundColor_.reset();
    renditionChanged();
}
void RellumContext::setStyleAndColors(const RellumRendition& rendition) {
    if (rendition.mask == textStyleMask_ && rendition.text == currentTextColor_ &&
        rendition.background == currentBackgroundColor_)
        return;
    textStyleMask_ = rendition.mask;
    currentTextColor_ = rendition.text;
    currentBackgroundColor_ = rendition.background;
    renditionChanged();
}
void RellumContext::setCurrentTextColor(std::optional<RellumColor> color) {
    if (color == currentTextColor_) return;
    currentTextColor_ = color;
    renditionChanged();
}
void RellumContext::setCurrentBackgroundColor(std::optional<RellumColor> color) {
    if (color == currentBackgroundColor_) return;
    currentBackgroundColor_ = color;
    renditionChanged();
}
void RellumContext::setVideoBackgroundColor(std::optional<RellumColor> color) {
    videoBackgroundColor_ = color;
    renditionChanged();
}
void RellumContext::setVideoTextColor(std::optional<RellumColor> color) {
    videoTextColor_ = color;
    renditionChanged();
}

namespace {
// Each context numbers its renditions from a base of its own, so numbers of
// different contexts never meet (2^32 changes each before they could).
std::atomic<uint64_t> nextGenerationBase{1};
} // namespace

void RellumContext::renditionChanged() {
    if (renditionGeneration_ == 0)
        renditionGeneration_ = nextGenerationBase.fetch_add(1, std::memory_order_relaxed) << 32;
    ++renditionGeneration_;
}

void RellumContext::setFont(std::shared_ptr<const RellumFont> font) {
    RellumFontSet set;
    if (font) {
        set.cellSize = font->fontSizeForDrawing();
        const RellumFontDescriptorAttributes attributes{set.cellSize.width};
        set.font = font->fontWithFixedAdvance(set.cellSize.width);
        set.bold = set.font->boldVersionByAddingAttributes(attributes);
        set.italic = set.font->italicVersionByAddingAttributes(attributes);
        set.boldItalic = set.font->boldItalicVersionByAddingAttributes(attributes);
    }
    fontSet_ = std::make_shared<const RellumFontSet>(std::move(set));
    fontState_.update([&](FontState& state) { state.fonts = fontSet_; });
    renditionRecords_.clear();
    renditionChanged();
}

std::shared_ptr<const RellumFont> RellumContext::font() const {
    std::shared_ptr<const RellumFont> font;
    fontState_.read([&](const FontState& s) { font = s.fonts->font; });
    return font;
}
std::shared_ptr<const RellumFont> RellumContext::boldFont() const {
    std::shared_ptr<const RellumFont> font;
    fontState_.read([&](const FontState& s) { font = s.fonts->bold; });
    return font;
}
std::shared_ptr<const RellumFont> RellumContext::italicFont() const {
    std::shared_ptr<const RellumFont> font;
    fontState_.read([&](const FontState& s) { font = s.fonts->italic; });
    return font;
}
std::shared_ptr<const RellumFont> RellumContext::boldItalicFont() const {
    std::shared_ptr<const RellumFont> font;
    fontState_.read([&](const FontState& s) { font = s.fonts->boldItalic; });
    return font;
}
RellumCellSize RellumContext::cellSize() const {
    RellumCellSize size;
    fontState_.read([&](const FontState& s) { size = s.fonts->cellSize; });
    return size;
}
RellumCoord RellumContext::savedCursorCoord() const {
    return fontState_.get().savedCursorCoord;
}
void RellumContext::setSavedCursorCoord(RellumCoord coord) {
    fontState_.update([&](FontState& s) { s.savedCursorCoord = coord; });
}

// The records of the rendition in force come from the records cache, which
// keeps them while the rendition stays in use.
const std::shared_ptr<const RellumAttributes>& RellumContext::activeAttributes() const {
    return renditionRecords_.record(rendition(), fontSet_, RellumCellRole::Text);
}

std::shared_ptr<const RellumAttributes> RellumBuildAttributes(const RellumRendition& rendition,
                                                              const RellumFontSet& fonts, RellumCellRole role,
                                                              const RellumAttributes* text) {
    auto a = std::make_shared<RellumAttributes>();
    if (role == RellumCellRole::Newline) {
        a->setParagraphStyle(RellumGetParagraphStyle(fonts.cellSize));
        a->setFont(fonts.font);
        return a;
    }
    if (role != RellumCellRole::Text) {
        std::shared_ptr<const RellumAttributes> built;
        if (!text) {
            built = RellumBuildAttributes(rendition, fonts, RellumCellRole::Text);
            text = built.get();
        }
        *a = *text;
        switch (role) {
        case RellumCellRole::Wide:
            a->setSpan(2);
            break;
        case RellumCellRole::Combining:
            a->setSpan(0);
            break;
        case RellumCellRole::Void:
            a->setVoidc(true);
            a->setFont(fonts.font);
            a->setBackgroundColor(rendition.background);
            a->setForegroundColor(std::nullopt);
            break;
        default: // Tab
            a->setTabc(true);
            a->setFont(fonts.font);
            break;
        }
        return a;
    }
    const uint64_t m = rendition.mask;
    std::shared_ptr<const RellumFont> font;
    if ((m & RellumTextStyleBold) && (m & RellumTextStyleItalic)) {
        a->setBoldItalic(true);
        font = fonts.boldItalic;
    } else if (m & RellumTextStyleBold) {
        a->setBold(true);
        font = fonts.bold;
    } else if (m & RellumTextStyleItalic) {
        a->setItalic(true);
        font = fonts.italic;
    } else {
        a->setBoldItalic(false);
        font = fonts.font;
    }
    std::optional<RellumColor> fg = rendition.text ? rendition.text : rendition.videoText;
    std::optional<RellumColor> bg = rendition.background;
    if (m & RellumTextStyleUnderline) a->setUnderline(true);
    if (m & RellumTextStyleBlink) a->setBlink(true);
    if (m & RellumTextStyleInverse) {
        a->setInverse(true);
        std::optional<RellumColor> newFg = bg ? bg : rendition.videoBackground;
        bg = fg;
        fg = newFg;
    }
    if (m & RellumTextStyleFaint) {
        a->setFaint(true);
        if (fg) fg = fg->colorWithAlphaComponent(0.5f);
    }
    if (m & RellumTextStyleInvisible) {
        a->setInvisible(true);
        fg = RellumColor::clearColor();
    }
    if (bg) a->setBackgroundColor(bg);
    a->setForegroundColor(fg);
    a->setParagraphStyle(RellumGetParagraphStyle(fonts.cellSize));
    a->setFont(std::move(font));
    a->setSpan(1);
    return a;
}

namespace {

// Adding zero turns -0 into +0, so equal components give equal bits.
uint32_t componentBits(float v) {
    return std::bit_cast<uint32_t>(v + 0.0f);
}

// A colour as one word: each component's bits folded in at its own rotation.
uint64_t colorWord(const std::optional<RellumColor>& c) {
    if (!c) return 1;
    const uint64_t rg = uint64_t(componentBits(c->red)) << 32 | componentBits(c->green);
    const uint64_t ba = uint64_t(componentBits(c->blue)) << 32 | componentBits(c->alpha);
    return rg ^ std::rotl(ba, 17);
}

} // namespace

std::size_t RellumHashRendition(const RellumRendition& key, const RellumFontSet* fonts) {
    // Few instructions, no long chain: this runs for every change of colour.
    constexpr uint64_t k1 = 0x9e3779b97f4a7c15ull, k2 = 0xc2b2ae3d27d4eb4full;
    // The video (default) colours seldom change: keys that differ only
    // there share a slot, and equality tells them apart.
    const uint64_t a = (colorWord(key.text) ^ k1) * (colorWord(key.background) ^ k2);
    uint64_t h = a ^ (key.mask * k1) ^ reinterpret_cast<uintptr_t>(fonts);
    h *= k2;
    return std::size_t(h ^ (h >> 32));
}

const std::shared_ptr<const RellumAttributes>&
RellumRenditionRecords::record(const RellumRendition& rendition,
                               const std::shared_ptr<const RellumFontSet>& fonts, RellumCellRole role) {
    if (role == RellumCellRole::Newline) {
        if (!newlineRecord_ || newlineFonts_ != fonts) {
            newlineFonts_ = fonts;
            newlineRecord_ = RellumBuildAttributes(rendition, *fonts, role);
        }
        return newlineRecord_;
    }
    if (!slots_) slots_ = std::make_unique<std::array<Slot, kSlots>>();
    Slot& slot = (*slots_)[RellumHashRendition(rendition, fonts.get()) % kSlots];
    if (slot.fonts != fonts || !(slot.rendition == rendition)) {
        slot.rendition = rendition;
        slot.fonts = fonts;
        slot.records = {};
    }
    std::shared_ptr<const RellumAttributes>& text = slot.records[std::size_t(RellumCellRole::Text)];
    if (!text) text = RellumBuildAttributes(rendition, *fonts, RellumCellRole::Text);
    if (role == RellumCellRole::Text) return text;
    std::shared_ptr<const RellumAttributes>& record = slot.records[std::size_t(role)];
    if (!record) record = RellumBuildAttributes(rendition, *fonts, role, text.get());
    return record;
}

void RellumRenditionRecords::clear() {
    slots_.reset();
    newlineFonts_.reset();
    newlineRecord_.reset();
}

const std::shared_ptr<const RellumAttributes>& RellumContext::wideAttributes() const {
    return renditionRecords_.record(rendition(), fontSet_, RellumCellRole::Wide);
}

const std::shared_ptr<const RellumAttributes>& RellumContext::combiningAttributes() const {
    return renditionRecords_.record(rendition(), fontSet_, RellumCellRole::Combining);
}

const std::shared_ptr<const RellumAttributes>& RellumContext::voidAttributes() const {
    return renditionRecords_.record(rendition(), fontSet_, RellumCellRole::Void);
}

const std::shared_ptr<const RellumAttributes>& RellumContext::tabAttributes() const {
    return renditionRecords_.record(rendition(), fontSet_, RellumCellRole::Tab);
}

const std::shared_ptr<const RellumAttributes>& RellumContext::newlineAttributes() const {
    return renditionRecords_.record(rendition(), fontSet_, RellumCellRole::Newline);
}

namespace {

char32_t codePointAt(std::u16string_view s, std::size_t i, std::size_t* length) {
    char32_t c = s[i];
    *length = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        *length = 2;
        return 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
    }
    return c;
}

// Widens a range to whole composed character sequences: a base with the
// marks after it, surrogate pairs kept together.
RellumRange composedRange(std::u16string_view s, RellumRange r) {
    uint64_t start = std::min<uint64_t>(r.location, s.size());
    uint64_t end = std::min<uint64_t>(r.end(), s.size());
    while (start > 0) {
        char16_t c = s[start];
        if (start < s.size() && c >= 0xDC00 && c <= 0xDFFF) {
            --start;
            continue;
        }
        std::size_t len = 0;
        if (start < s.size() && RellumIsMarkCodePoint(codePointAt(s, start, &len))) {
            --start;
            continue;
        }
        break;
    }
    while (end < s.size()) {
        std::size_t len = 0;
        char16_t c = s[end];
        if (c >= 0xDC00 && c <= 0xDFFF) {
            ++end;
            continue;
        }
        if (RellumIsMarkCodePoint(codePointAt(s, end, &len))) {
            end += len;
            continue;
        }
        break;
    }
    return {start, end - start};
}

} // namespace

RellumAttributedString
RellumContext::attributedStringWithString(std::u16string_view string, const RellumIndexSet* wideIndexes,
                                          const RellumIndexSet* voidIndexes, const RellumIndexSet* tabIndexes,
                                          const RellumIndexSet* combiningIndexes) const {
    RellumAttributedString out;
    out.string.assign(string);
    if (string.empty()) return out;
    out.runs.push_back({{0, string.size()}, activeAttributes()});
    auto apply = [&](const RellumIndexSet* set, const std::shared_ptr<const RellumAttributes>& attributes,
                     bool widen) {
        if (!set) return;
        for (const RellumRange& r : set->ranges())
            out.setAttributes(attributes, widen ? composedRange(string, r) : r);
    };
    if (wideIndexes && !wideIndexes->empty()) apply(wideIndexes, wideAttributes(), true);
    if (voidIndexes && !voidIndexes->empty()) apply(voidIndexes, voidAttributes(), true);
    if (tabIndexes && !tabIndexes->empty()) apply(tabIndexes, tabAttributes(), true);
    if (combiningIndexes && !combiningIndexes->empty()) apply(combiningIndexes, combiningAttributes(), false);
    return out;
}

RellumAttributedString RellumContext::attributedNewline() const {
    RellumAttributedString out;
    out.string.assign(1, u'\n');
    out.runs.push_back({{0, 1}, newlineAttributes()});
    return out;
}

void RellumContext::mergeFromCursorContext(const RellumContext& saved) {
    charsetUsesLineDrawingMode_ = saved.charsetUsesLineDrawingMode_;
    charset_ = saved.charset_;
    autoWrapMode_ = saved.autoWrapMode_;
    originMode_ = saved.originMode_;
    setTextStyleMask(saved.textStyleMask_);
    setCurrentTextColor(saved.currentTextColor_);
    setCurrentBackgroundColor(saved.currentBackgroundColor_);
}

std::string RellumStringFromTextStyleMask(uint64_t mask) {
    if (mask == 0) return "Reset";
    static const char* const names[] = {"Bold",  "Faint",   "Itablic",   "Underline",
                                        "Blink", "Inverse", "Invisible", "Strikeout"};
    std::string out;
    for (int i = 0; i < 8; ++i) {
        if (!(mask & (uint64_t(1) << i))) continue;
        if (!out.empty()) out += " | ";
        out += names[i];
    }
    return out;
}
