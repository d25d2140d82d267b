#pragma once

#include "Rellum/RellumAttributes.h"
#include "Rellum/RellumFont.h"
#include "Rellum/RellumGeometry.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The attributed text a terminal view draws: UTF-16 text (offsets are the
// grid's storage offsets) with attribute runs that cover it without gaps.
//
// Kept by line: each line holds its text up to and including its "\n" and
// its runs; runs refer to shared attribute records, so a screen written in
// one rendition costs one record. Lines carry their start offset measured
// from a moving base, so removing the first line (the oldest scrollback
// line) costs O(1) and finding a line is a binary search.
//
// Main thread only.
class RellumTextStorage {
public:
    using AttributesPtr = std::shared_ptr<const RellumAttributes>;
    // What an edit changed: the range in the new text, and the change in length.
    using EditObserver = std::function<void(RellumRange editedRange, int64_t changeInLength)>;

    explicit RellumTextStorage(double advance = 0);
    RellumTextStorage(const RellumTextStorage&) = delete;
    RellumTextStorage& operator=(const RellumTextStorage&) = delete;

    // The width of one cell in points; a font stored with a span of n cells
    // is given a fixed advance of n times this (see setAttributes).
    double advance() const { return advance_; }
    void setAdvance(double advance);

    uint64_t length() const { return length_; }
    // The whole text (built on demand: O(length)).
    std::u16string string() const;
    std::u16string substring(RellumRange range) const;
    // Lines: the text split after each "\n" (the last line has none).
    uint64_t lineCount() const { return lines_.size(); }
    // The line's text, without its "\n".
    RellumRange lineRange(uint64_t line) const;
    // The line holding an offset (the last line past the end).
    uint64_t lineOfOffset(uint64_t offset) const { return lineIndexAt(offset); }

    // The attributes at index (null past the end) and the run around it.
    AttributesPtr attributesAtIndex(uint64_t index, RellumRange* effectiveRange = nullptr) const;
    // Number of attribute runs (adjacent runs sharing a record count once).
    uint64_t runCount() const;

    // Characters: the new text takes the attributes of the first replaced
    // character (of the one before the range when nothing is replaced).
    void replaceCharactersInRange(RellumRange range, std::u16string_view string);
    void replaceCharactersInRange(RellumRange range, const RellumAttributedString& string);
    // The same, taking the records of the string's runs where it can (its
    // text and the runs' ranges stay; their records may be left empty).
    void replaceCharactersInRange(RellumRange range, RellumAttributedString&& string);
    void insertAttributedString(const RellumAttributedString& string, uint64_t index) {
        replaceCharactersInRange({index, 0}, string);
    }
    void deleteCharactersInRange(RellumRange range) {
        replaceCharactersInRange(range, std::u16string_view());
    }
    // Stores the attributes over the range; a font with a span of 1 or more
    // is given the fixed advance of advance() x span first.
    void setAttributes(AttributesPtr attributes, RellumRange range);
    // Rewrites the records of every run in range through transform (called
    // once per distinct record; returning the same record leaves the run
    // untouched). The results are stored as setAttributes stores them.
    void transformAttributes(RellumRange range,
                             const std::function<AttributesPtr(const AttributesPtr&)>& transform);

    // Edits between these are reported once, at the outermost endEditing.
    void beginEditing();
    void endEditing();
    bool isEditing() const { return editingDepth_ > 0; }
    void setEditObserver(EditObserver observer) { observer_ = std::move(observer); }
    // While the observer is told of an edit: the characters of whole lines
    // dropped from the front (the oldest scrollback), and how far the text
    // after them is unchanged (new offsets).
    struct FrontDrop {
        uint64_t dropped = 0;
        uint64_t unchangedEnd = 0;
    };
    FrontDrop frontDrop() const { return reportedDrop_; }

private:
    struct Run {
        uint32_t length;
        AttributesPtr attributes;
    };
    // Releases the records a packed line holds, then its words.
    struct PackedDeleter {
        void operator()(uint64_t* words) const;
    };
    using PackedPtr = std::unique_ptr<uint64_t[], PackedDeleter>;
    struct Line {
        uint64_t absoluteStart = 0; // measured from base_
        std::u16string text;        // ends with "\n" except on the last line
        std::vector<Run> runs;
        // An old line is packed instead (text and runs then empty): one
        // allocation with its runs' records and lengths, then its text in
        // 8 bits when every unit fits, else in UTF-16.
        PackedPtr packed;
    };
    // Lines further than this from the end are packed: the page lines above
    // them change all the time, the scrollback rarely.
    static constexpr std::size_t kUnpackedTail = 256;
    // Buffers of lines just packed, for the lines written next (a line's
    // buffers keep their size until it is packed, then nothing is wasted).
    static constexpr std::size_t kSpareBuffers = 16;
    std::vector<std::u16string> spareTexts_;
    std::vector<std::vector<Run>> spareRuns_;
    // Gives a line's buffers (emptied) to the spares, when they have room.
    void recycle(Line& line);
    // Buffers of replaceAcrossLines, kept between calls.
    Line joinedScratch_;
    std::vector<Line> piecesScratch_;

    uint64_t startOf(const Line& line) const { return line.absoluteStart - base_; }
    static uint64_t textLength(const Line& line);
    static bool endsWithNewline(const Line& line);
    // Appends [from, from + count) of the line's text (cut at its end).
    static void appendText(const Line& line, std::u16string& out, uint64_t from, uint64_t count);
    void pack(Line& line);
    void unpack(Line& line) const;
    // Packs the lines that are now far enough from the end.
    void packOldLines();
    std::size_t lineIndexAt(uint64_t offset) const;
    void ripple(std::size_t fromLine, int64_t delta);
    AttributesPtr widened(const AttributesPtr& attributes);
    AttributesPtr widened(AttributesPtr&& attributes);
    // The runs of a new text as (length, stored record): its own runs, or
    // the record of the replaced text over all of a plain text. The
    // replacement takes the records.
    using NewRuns = std::vector<std::pair<uint64_t, AttributesPtr>>;
    // Clamps range to the text; a deletion at the start drops whole lines
    // first. False when that was all of it.
    bool clampAndDropFront(RellumRange& range, std::u16string_view text);
    void replaceWithRuns(RellumRange range, std::u16string_view text, NewRuns& insert);
    void replaceInLine(std::size_t lineIndex, uint64_t at, uint64_t length, std::u16string_view text,
                       NewRuns& insert);
    void replaceAcrossLines(RellumRange range, std::u16string_view text, NewRuns& insert);
    // A line taking one of the spare buffers.
    Line newLine(uint64_t absoluteStart);
    // Replaces the last line's text from `at` on (output at the bottom of
    // the screen), without first joining the lines as other edits do.
    void appendToLastLine(uint64_t at, std::u16string_view text, NewRuns& insert);
    void noteEdit(RellumRange editedRange, int64_t changeInLength, bool frontDrop = false);
    // Tells the observer, with the front drop of the bracket.
    void report(RellumRange editedRange, int64_t changeInLength);
    // Drops the whole lines at the front that range (at 0, nothing inserted)
    // covers; returns what is left of it.
    RellumRange dropFrontLines(RellumRange range);
    std::deque<Line> lines_;
    uint64_t base_ = 0;
    uint64_t length_ = 0;
    double advance_ = 0;
    mutable std::size_t lineHint_ = 0;
    std::size_t packedUpTo_ = 0; // every line before this index is packed
    // Recently widened records by address: a terminal reuses each record for a while.
    struct InternedPair {
        AttributesPtr in, out;
    };
    std::array<InternedPair, 64> internCache_;
    int editingDepth_ = 0;
    bool edited_ = false;
    RellumRange editedRange_;
    int64_t changeInLength_ = 0;
    // Within an editing bracket: characters dropped from the front, and the
    // first other edit, measured from base_'s origin (so later drops keep it).
    uint64_t droppedInBracket_ = 0;
    uint64_t firstOtherEdit_ = UINT64_MAX;
    FrontDrop reportedDrop_;
    EditObserver observer_;
};

// Every run whose foreground colour is `oldColor` takes `newColor`; other
// runs are not touched.
void rellum_replaceForegroundColor(RellumTextStorage& storage, const RellumColor& oldColor,
                                   const RellumColor& newColor);
// Every run whose flag `attributeKey` is set takes `font`.
void rellum_useFont(RellumTextStorage& storage, std::shared_ptr<const RellumFont> font,
                    std::string_view attributeKey);
