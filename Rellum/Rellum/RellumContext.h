#pragma once

#include "Rellum/RellumAttributes.h"
#include "Rellum/RellumColor.h"
#include "Rellum/RellumFont.h"
#include "Rellum/RellumGeometry.h"
#include "Rellum/RellumIndexSet.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>

// Text style bits of RellumContext::textStyleMask.
enum : uint64_t {
    RellumTextStyleBold = 1,
    RellumTextStyleFaint = 2,
    RellumTextStyleItalic = 4,
    RellumTextStyleUnderline = 8,
    RellumTextStyleBlink = 16,
    RellumTextStyleInverse = 32,
    RellumTextStyleInvisible = 64,
    RellumTextStyleStrikeout = 128,
};

// What a cell's attribute record is built from: the rendition in force...
struct RellumRendition {
    uint64_t mask = 0;
    std::optional<RellumColor> text, background, videoText, videoBackground;
    friend bool operator==(const RellumRendition&, const RellumRendition&) = default;
};
// ...the fonts in force (shared and never changed once made)...
struct RellumFontSet {
    std::shared_ptr<const RellumFont> font, bold, italic, boldItalic;
    RellumCellSize cellSize;
};

// ...and the role of the cells in the grid's text.
enum class RellumCellRole : uint8_t { Text, Wide, Void, Tab, Combining, Newline };
constexpr std::size_t kRellumCellRoles = 6;

// The record of a role: Text from the rendition and fonts; Wide, Void, Tab
// and Combining from the Text record `text` (built from the same two);
// Newline from the fonts alone.
std::shared_ptr<const RellumAttributes> RellumBuildAttributes(const RellumRendition& rendition,
                                                              const RellumFontSet& fonts, RellumCellRole role,
                                                              const RellumAttributes* text = nullptr);

std::size_t RellumHashRendition(const RellumRendition& rendition, const RellumFontSet* fonts);

// Records built for recent renditions, a record per role, so a host switching
// between a few colours hands the same shared records to the storages each
// time. A copy starts empty (records are not shared between owners' threads).
class RellumRenditionRecords {
public:
    static constexpr std::size_t kSlots = 64;
    RellumRenditionRecords() = default;
    RellumRenditionRecords(const RellumRenditionRecords&) {}
    RellumRenditionRecords& operator=(const RellumRenditionRecords&) {
        clear();
        return *this;
    }
    // The record of a role, built on first use (Newline records depend on
    // the fonts alone, so every rendition shares one).
    const std::shared_ptr<const RellumAttributes>& record(const RellumRendition& rendition,
                                                          const std::shared_ptr<const RellumFontSet>& fonts,
                                                          RellumCellRole role);
    void clear();

private:
    struct Slot {
        RellumRendition rendition;
        std::shared_ptr<const RellumFontSet> fonts;
        std::array<std::shared_ptr<const RellumAttributes>, kRellumCellRoles> records;
    };
    std::unique_ptr<std::array<Slot, kSlots>> slots_;
    std::shared_ptr<const RellumFontSet> newlineFonts_;
    std::shared_ptr<const RellumAttributes> newlineRecord_;
};

// The terminal state that is not stored in the cells: page size and margins,
// tab stops, modes, current colours and style, character sets, fonts and the
// attribute dictionaries new cells are written with. Changed only on the
// terminal's render queue; other threads work on copies (copy()). The font,
// its variants, the cell size and the saved cursor coordinate may be read
// from any thread.
class RellumContext {
public:
    RellumContext();
    // A copy of the state, taken the way a saved cursor or a display update
    // needs it: the saved cursor coordinate is not carried over.
    std::unique_ptr<RellumContext> copy() const;

    void softReset();

    // Page size and margins (0-based rows and columns).
    RellumPageSize pageSize() const { return pageSize_; }
    void setPageSize(RellumPageSize size);
    // The stored scroll region, clamped to the page; {0, 0} or a region that
    // starts past the page answer the whole page.
    RellumRange verticalPageMargin() const;
    // The stored left/right region clamped the same way; the whole width while
    // horizontal margins are not respected.
    RellumRange horizontalPageMargin() const;
    void setVerticalPageMargin(RellumRange margin) { verticalPageMargin_ = margin; }
    // Rejects (returns false, keeps the old one) a region of fewer than two
    // columns: a right margin at or before the left one.
    bool setHorizontalPageMargin(RellumRange margin);
    void resetPageMargins();
    uint64_t topPageMargin() const;
    uint64_t bottomPageMargin() const;
    uint64_t leftPageMargin() const;
    uint64_t rightPageMargin() const;
    bool hasVerticalPageMargin() const;
    bool hasHorizontalPageMargin() const;
    bool hasPageMargins() const { return hasVerticalPageMargin() || hasHorizontalPageMargin(); }
    bool isTopPageMarginAtEdge() const { return topPageMargin() == 0; }
    bool isBottomPageMarginAtEdge() const { return bottomPageMargin() == rows() - 1; }
    bool isLeftPageMarginAtEdge() const { return leftPageMargin() == 0; }
    bool isRightPageMarginAtEdge() const { return rightPageMargin() == columns() - 1; }
    bool isPageMarginsContainX(uint64_t x, uint64_t y) const;

    // Tab stops.
    std::set<uint64_t> tabStops() const;
    const std::set<uint64_t>& tabStopIndexes() const { return tabStopIndexes_; }
    void addTabStopAtX(uint64_t x) { tabStopIndexes_.insert(x); }
    void clearTabStopAtX(uint64_t x) { tabStopIndexes_.erase(x); }
    void clearAllTabStops() { tabStopIndexes_.clear(); }
    uint64_t nextTabStopAfterX(uint64_t x) const;
    uint64_t prevTabStopBeforeX(uint64_t x) const;

    // Character sets G0..G6.
    uint64_t charset() const { return charset_; }
    void setCharset(uint64_t charset) { charset_ = charset; }
    void setCharset(uint64_t set, bool toLineDrawingMode);
    bool lineDrawingMode() const { return charset_ < 7 && charsetUsesLineDrawingMode_[charset_]; }
    bool charsetUsesLineDrawingMode(uint64_t set) const {
        return set < 7 && charsetUsesLineDrawingMode_[set];
    }
    bool allCharacterSetHaveDefaultValues() const;

    // Modes.
    bool autoWrapMode() const { return autoWrapMode_; }
    void setAutoWrapMode(bool v) { autoWrapMode_ = v; }
    bool reverseWrapMode() const { return reverseWrapMode_; }
    void setReverseWrapMode(bool v) { reverseWrapMode_ = v; }
    bool autoRepeatMode() const { return autoRepeatMode_; }
    void setAutoRepeatMode(bool v) { autoRepeatMode_ = v; }
    bool insertMode() const { return insertMode_; }
    void setInsertMode(bool v) { insertMode_ = v; }
    bool originMode() const { return originMode_; }
    void setOriginMode(bool v) { originMode_ = v; }
    bool respectsHorizontalMargin() const { return respectsHorizontalMargin_; }
    void setRespectsHorizontalMargin(bool v) { respectsHorizontalMargin_ = v; }
    bool alternateScreenMode() const { return alternateScreenMode_; }
    void setAlternateScreenMode(bool v) { alternateScreenMode_ = v; }
    bool applicationKeypadMode() const { return applicationKeypadMode_; }
    void setApplicationKeypadMode(bool v) { applicationKeypadMode_ = v; }
    bool applicationCursorKeyMode() const { return applicationCursorKeyMode_; }
    void setApplicationCursorKeyMode(bool v) { applicationCursorKeyMode_ = v; }
    bool reverseVideoMode() const { return reverseVideoMode_; }
    void setReverseVideoMode(bool v) { reverseVideoMode_ = v; }
    bool focusReportMode() const { return focusReportMode_; }
    void setFocusReportMode(bool v) { focusReportMode_ = v; }
    bool bracketedPasteMode() const { return bracketedPasteMode_; }
    void setBracketedPasteMode(bool v) { bracketedPasteMode_ = v; }
    bool fixMoreProgram() const { return fixMoreProgram_; }
    void setFixMoreProgram(bool v) { fixMoreProgram_ = v; }
    bool isCursorVisible() const { return cursorVisible_; }
    void setCursorVisible(bool v) { cursorVisible_ = v; }
    uint64_t mouseReportType() const { return mouseReportType_; }
    void setMouseReportType(uint64_t v) { mouseReportType_ = v; }
    uint64_t mouseReportProtocol() const { return mouseReportProtocol_; }
    void setMouseReportProtocol(uint64_t v) { mouseReportProtocol_ = v; }

    // Colours and style; every setter drops the cached attribute dictionaries.
    uint64_t textStyleMask() const { return textStyleMask_; }
    void setTextStyleMask(uint64_t mask);
    const std::optional<RellumColor>& currentTextColor() const { return currentTextColor_; }
    void setCurrentTextColor(std::optional<RellumColor> color);
    const std::optional<RellumColor>& currentBackgroundColor() const { return currentBackgroundColor_; }
    void setCurrentBackgroundColor(std::optional<RellumColor> color);
    // No style, default colours (SGR 0), as one change.
    void resetRendition();
    // The style and the two current colours of `rendition` (not its video
    // colours), as one change.
    void setStyleAndColors(const RellumRendition& rendition);
    const std::optional<RellumColor>& videoBackgroundColor() const { return videoBackgroundColor_; }
    void setVideoBackgroundColor(std::optional<RellumColor> color);
    const std::optional<RellumColor>& videoTextColor() const { return videoTextColor_; }
    void setVideoTextColor(std::optional<RellumColor> color);

    // Fonts: setFont derives the cell size and the bold, italic and
    // bold-italic variants, all with the cell width as fixed advance.
    void setFont(std::shared_ptr<const RellumFont> font);
    std::shared_ptr<const RellumFont> font() const;
    std::shared_ptr<const RellumFont> boldFont() const;
    std::shared_ptr<const RellumFont> italicFont() const;
    std::shared_ptr<const RellumFont> boldItalicFont() const;
    RellumCellSize cellSize() const;

    RellumCoord savedCursorCoord() const;
    void setSavedCursorCoord(RellumCoord coord);

    // The rendition and fonts the records below are built from, and a number
    // that changes (to one no context had before) whenever either does.
    RellumRendition rendition() const {
        RellumRendition out;
        copyRenditionInto(out);
        return out;
    }
    // The same, written field by field into a rendition kept elsewhere.
    void copyRenditionInto(RellumRendition& out) const {
        out.mask = textStyleMask_;
        out.text = currentTextColor_;
        out.background = currentBackgroundColor_;
        out.videoText = videoTextColor_;
        out.videoBackground = videoBackgroundColor_;
    }
    const std::shared_ptr<const RellumFontSet>& fontSet() const { return fontSet_; }
    uint64_t renditionGeneration() const { return renditionGeneration_; }

    // The attribute records of the rendition in force, from the cache of
    // recent renditions (a reference holds until the rendition or the font
    // changes).
    const std::shared_ptr<const RellumAttributes>& activeAttributes() const;
    const std::shared_ptr<const RellumAttributes>& wideAttributes() const;
    const std::shared_ptr<const RellumAttributes>& combiningAttributes() const;
    const std::shared_ptr<const RellumAttributes>& voidAttributes() const;
    const std::shared_ptr<const RellumAttributes>& tabAttributes() const;
    const std::shared_ptr<const RellumAttributes>& newlineAttributes() const;
    // The text that mirrors grid cells: active attributes, then the wide,
    // void, tab and combining ranges replaced by their dictionaries (the first
    // three widened to whole composed character sequences). Sets may be null.
    RellumAttributedString attributedStringWithString(std::u16string_view string,
                                                      const RellumIndexSet* wideIndexes,
                                                      const RellumIndexSet* voidIndexes,
                                                      const RellumIndexSet* tabIndexes,
                                                      const RellumIndexSet* combiningIndexes) const;
    RellumAttributedString attributedNewline() const;

    // Takes back the cursor state of a saved context.
    void mergeFromCursorContext(const RellumContext& saved);

private:
    RellumContext(const RellumContext&) = default;
    RellumContext& operator=(const RellumContext&) = default;

    uint64_t rows() const { return uint64_t(std::max<int64_t>(1, pageSize_.height)); }
    uint64_t columns() const { return uint64_t(std::max<int64_t>(1, pageSize_.width)); }
    // A new rendition generation, after any change of rendition or font.
    void renditionChanged();

    struct FontState {
        std::shared_ptr<const RellumFontSet> fonts = std::make_shared<RellumFontSet>();
        RellumCoord savedCursorCoord;
    };
    // Shared with readers on other threads; copied under the lock.
    class GuardedFontState {
    public:
        GuardedFontState() = default;
        GuardedFontState(const GuardedFontState& o) : state_(o.get()) {}
        GuardedFontState& operator=(const GuardedFontState& o) {
            FontState s = o.get();
            std::lock_guard lock(mutex_);
            state_ = std::move(s);
            return *this;
        }
        FontState get() const {
            std::lock_guard lock(mutex_);
            return state_;
        }
        template <typename F>
        void update(F&& f) {
            std::lock_guard lock(mutex_);
            f(state_);
        }
        // Reads part of the state under the lock.
        template <typename F>
        void read(F&& f) const {
            std::lock_guard lock(mutex_);
            f(static_cast<const FontState&>(state_));
        }

    private:
        mutable std::mutex mutex_;
        FontState state_;
    };

    std::array<bool, 7> charsetUsesLineDrawingMode_{};
    std::set<uint64_t> tabStopIndexes_;
    bool autoWrapMode_ = false;
    bool reverseWrapMode_ = false;
    bool autoRepeatMode_ = false;
    bool insertMode_ = false;
    bool originMode_ = false;
    bool respectsHorizontalMargin_ = false;
    bool alternateScreenMode_ = false;
    bool applicationKeypadMode_ = false;
    bool applicationCursorKeyMode_ = false;
    bool reverseVideoMode_ = false;
    bool focusReportMode_ = false;
    bool bracketedPasteMode_ = false;
    bool fixMoreProgram_ = false;
    bool cursorVisible_ = false;
    uint64_t textStyleMask_ = 0;
    std::optional<RellumColor> currentTextColor_, currentBackgroundColor_;
    std::optional<RellumColor> videoBackgroundColor_, videoTextColor_;
    // The fonts of fontState_, for this context's own thread to read without the lock.
    std::shared_ptr<const RellumFontSet> fontSet_ = std::make_shared<RellumFontSet>();
    uint64_t renditionGeneration_ = 0;
    mutable RellumRenditionRecords renditionRecords_;
    uint64_t charset_ = 0;
    uint64_t mouseReportType_ = 0;
    uint64_t mouseReportProtocol_ = 0;
    RellumPageSize pageSize_;
    RellumRange verticalPageMargin_;
    RellumRange horizontalPageMargin_;
    GuardedFontState fontState_;
};

// Names a text style mask for debugging: "Reset", or the set bits' names joined by " | ".
std::string RellumStringFromTextStyleMask(uint64_t mask);
