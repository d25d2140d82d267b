#pragma once

#include <cstdint>
#include <string>

// The searches behind the width and mark tests, for any code point.
bool RellumSearchWideCodePoint(char32_t c);
bool RellumSearchMarkCodePoint(char32_t c);

// The same answers as bits for the basic and the first supplementary plane
// (where the emoji are), filled once from the searches: text tests every
// character, so it must neither search nor call out each time.
class RellumCodePointClasses {
public:
    static constexpr char32_t kLimit = 0x20000; // the values held; search above
    RellumCodePointClasses();
    static const RellumCodePointClasses& shared() {
        static const RellumCodePointClasses classes;
        return classes;
    }
    bool isWide(char32_t c) const { return (wide_[c >> 6] >> (c & 63)) & 1; } // c < kLimit
    bool isMark(char32_t c) const { return (mark_[c >> 6] >> (c & 63)) & 1; } // c < kLimit

private:
    uint64_t wide_[kLimit / 64];
    uint64_t mark_[kLimit / 64];
};

// Width and mark tests on a code point, shared by the cell types.
inline bool RellumIsWideCodePoint(char32_t c) {
    if (c < 0x1100) return false; // Latin, Greek, Cyrillic and the rest below are narrow
    return c < RellumCodePointClasses::kLimit ? RellumCodePointClasses::shared().isWide(c)
                                              : RellumSearchWideCodePoint(c);
}
bool RellumIsAmbiguousWidthCodePoint(char32_t c);
inline bool RellumIsMarkCodePoint(char32_t c) {
    if (c < 0x300) return false;
    return c < RellumCodePointClasses::kLimit ? RellumCodePointClasses::shared().isMark(c)
                                              : RellumSearchMarkCodePoint(c);
}

// One screen cell, stored by value (8 bytes, trivially copyable): a UTF-32 code
// point or a reserved value (0 void, 1 tab padding, 2 right half of a
// double-width character). A cell whose base carries combining marks has a
// non-zero markIndex: the marks live out of line in the RellumElements array
// that holds the cell, so the common cell stays small.
struct RellumElement {
    char32_t uchar = 0;
    uint32_t markIndex = 0;

    static constexpr char32_t kVoidPadding = 0;
    static constexpr char32_t kTabPadding = 1;
    static constexpr char32_t kWideRight = 2;
    static constexpr char32_t kWhitespace = 0x20;
    static constexpr char32_t kOddWide = 0x2592;
    static constexpr char32_t kReplacement = 0xFFFD;
    static constexpr char32_t kLightShade = 0x2591;
    static constexpr char32_t kDarkShade = 0x2593;

    constexpr RellumElement() = default;
    constexpr explicit RellumElement(char32_t c) : uchar(c) {}
    static constexpr RellumElement initWithASCIIChar(unsigned char c) {
        return RellumElement(char32_t(c & 0x7F));
    }
    static constexpr RellumElement voidPaddingElement() { return RellumElement(kVoidPadding); }
    static constexpr RellumElement tabPaddingElement() { return RellumElement(kTabPadding); }
    static constexpr RellumElement wideRightElement() { return RellumElement(kWideRight); }
    static constexpr RellumElement whitespaceElement() { return RellumElement(kWhitespace); }
    static constexpr RellumElement oddWideElement() { return RellumElement(kOddWide); }
    static constexpr RellumElement replacementElement() { return RellumElement(kReplacement); }
    static constexpr RellumElement lightShadeElement() { return RellumElement(kLightShade); }
    static constexpr RellumElement darkShadeElement() { return RellumElement(kDarkShade); }

    bool isVoidPadding() const { return uchar == kVoidPadding; }
    bool isTabPadding() const { return uchar == kTabPadding; }
    bool isWideRight() const { return uchar == kWideRight; }
    bool isOddWide() const { return uchar == kOddWide; }
    bool isWide() const { return RellumIsWideCodePoint(uchar); }
    bool isCombining() const { return markIndex != 0; }
    bool isPrintable() const { return uchar < 2 || uchar > 31 || isCombining(); }
    bool isZeroWidthSpace() const {
        return uchar == 0x200B || uchar == 0x200C || uchar == 0x200D || uchar == 0xFEFF;
    }
    bool inUnicodeMarkCategory() const { return RellumIsMarkCodePoint(uchar); }
    // UTF-16 length of the base alone (the marks are counted by the array).
    uint64_t baseCharCount() const { return isPrintable() ? (uchar >= 0x10000 ? 2 : 1) : 0; }

    // Equal when the base is equal; marks are not compared.
    friend bool operator==(const RellumElement& a, const RellumElement& b) { return a.uchar == b.uchar; }
};

static_assert(sizeof(RellumElement) == 8);

// One cell with its marks, standing alone (not inside an array): what single-
// cell queries return and what callers build a combined cell from.
struct RellumCombiningElement {
    char32_t uchar = 0;
    std::u32string components; // the marks in the order received; empty for a plain cell

    RellumCombiningElement() = default;
    explicit RellumCombiningElement(char32_t base, std::u32string marks = {})
        : uchar(base), components(std::move(marks)) {}

    bool isCombining() const { return !components.empty(); }
    void combiningWithMark(char32_t mark) { components.push_back(mark); }
    RellumElement base() const { return RellumElement(uchar); }
    uint64_t charCount() const;

    friend bool operator==(const RellumCombiningElement& a, const RellumCombiningElement& b) {
        return a.uchar == b.uchar;
    }
};
