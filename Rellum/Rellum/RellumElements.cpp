#include "Rellum/RellumElements.h"
#include "Rellum/Categories/RellumUTF8.h"

#include "Foundation/Assert.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

static_assert(offsetof(RellumElement, uchar) == 0 && offsetof(RellumElement, markIndex) == 4 &&
                  std::endian::native == std::endian::little,
              "appendString reads a cell's base and mark index as one little-endian word");

namespace {

char32_t sanitizedCodePoint(char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return RellumElement::kReplacement;
    return c;
}

} // namespace

RellumElements RellumElements::elementsFromASCIIChars(const char* bytes, std::size_t length) {
    RellumElements out;
    out.assignFromASCIIChars(bytes, length);
    return out;
}

RellumElements RellumElements::elementsFromMBCSUTF32Chars(const char32_t* chars, std::size_t length) {
    RellumElements out;
    out.assignFromMBCSUTF32Chars(chars, length);
    return out;
}

void RellumElements::assignFromASCIIChars(const char* bytes, std::size_t length) {
    marks_.clear();
    cells_.resize(length); // every cell is written below
    writeASCIIChars(0, bytes, length);
}

void RellumElements::writeASCIIChars(std::size_t at, const char* bytes, std::size_t length) {
    ORVIK_ASSERT(at <= cells_.size());
    if (cells_.size() < at + length) cells_.resize(at + length);
    RellumElement* c = cells_.data() + at;
    for (std::size_t i = 0; i < length; ++i)
        c[i] = RellumElement(char32_t(static_cast<unsigned char>(bytes[i]) & 0x7F));
}

void RellumElements::fillVoid(std::size_t at, std::size_t length) {
    ORVIK_ASSERT(at <= cells_.size());
    if (cells_.size() < at + length) cells_.resize(at + length);
    std::fill_n(cells_.begin() + at, length, RellumElement(RellumElement::kVoidPadding));
}

void RellumElements::assignFromMBCSUTF32Chars(const char32_t* chars, std::size_t length) {
    clear();
    appendMBCSUTF32Chars(chars, length);
}

void RellumElements::appendASCIIChars(const char* bytes, std::size_t length) {
    writeASCIIChars(cells_.size(), bytes, length);
}

bool RellumElements::appendMBCSUTF32Chars(const char32_t* chars, std::size_t length) {
    const std::size_t at = cells_.size();
    // At most two cells a code point; cut to what was written at the end.
    cells_.resize(at + 2 * length);
    RellumElement* const begin = cells_.data();
    RellumElement* out = begin + at;
    const RellumCodePointClasses& classes = RellumCodePointClasses::shared();
    bool marks = false;
    // Without a branch on the kind of character (text mixes them at random):
    // the right half is always written and kept only after a wide one.
    for (std::size_t i = 0; i < length; ++i) {
        char32_t c = chars[i];
        bool wide, mark;
        if (c < RellumCodePointClasses::kLimit) {
            wide = classes.isWide(c);
            mark = classes.isMark(c);
        } else {
            c = sanitizedCodePoint(c);
            wide = RellumIsWideCodePoint(c);
            mark = RellumIsMarkCodePoint(c);
        }
        if (c >= 0xD800 && c <= 0xDFFF) c = RellumElement::kReplacement; // neither wide nor a mark
        out[0] = RellumElement(c);
        out[1] = RellumElement::wideRightElement();
        out += 1 + int(wide); // a few marks are double-width too: both tests apply
        marks |= mark;
    }
    cells_.resize(std::size_t(out - begin));
    return marks;
}

RellumElements RellumElements::rellum_arrayOfElement(RellumElement element, std::size_t count) {
    RellumElements out;
    out.cells_.assign(count, RellumElement(element.uchar));
    return out;
}

RellumElements RellumElements::rellum_arrayOfElement(const RellumCombiningElement& element,
                                                     std::size_t count) {
    RellumElements out;
    out.cells_.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.append(element);
    return out;
}

std::u32string_view RellumElements::componentsAt(std::size_t i) const {
    uint32_t m = cells_[i].markIndex;
    if (m == 0) return {};
    return marks_[m - 1];
}

RellumCombiningElement RellumElements::elementAtIndex(std::size_t i) const {
    return RellumCombiningElement(cells_[i].uchar, std::u32string(componentsAt(i)));
}

uint64_t RellumElements::charCountAt(std::size_t i) const {
    const RellumElement& e = cells_[i];
    if (e.markIndex == 0) return e.baseCharCount();
    uint64_t n = e.uchar >= 0x10000 ? 2 : 1;
    for (char32_t m : marks_[e.markIndex - 1])
        n += m >= 0x10000 ? 2 : 1;
    return n;
}

uint64_t RellumElements::charCountInRange(std::size_t from, std::size_t count) const {
    std::size_t end = std::min(cells_.size(), from + count);
    uint64_t n = 0;
    if (marks_.empty()) {
        for (std::size_t i = from; i < end; ++i) {
            char32_t c = cells_[i].uchar;
            n += (c >= 2 && c <= 31) ? 0 : (c >= 0x10000 ? 2 : 1);
        }
        return n;
    }
    for (std::size_t i = from; i < end; ++i)
        n += charCountAt(i);
    return n;
}

uint32_t RellumElements::internMarks(std::u32string marks) {
    marks_.push_back(std::move(marks));
    return uint32_t(marks_.size());
}

void RellumElements::compactMarksIfNeeded() {
    // Dead entries come from overwritten or removed combined cells; the pool
    // never holds more than about twice the cells.
    if (marks_.size() <= 2 * cells_.size() + 32) return;
    std::vector<std::u32string> live;
    for (RellumElement& e : cells_) {
        if (e.markIndex == 0) continue;
        live.push_back(std::move(marks_[e.markIndex - 1]));
        e.markIndex = uint32_t(live.size());
    }
    marks_ = std::move(live);
}

void RellumElements::append(const RellumCombiningElement& element) {
    RellumElement e(sanitizedCodePoint(element.uchar));
    if (!element.components.empty()) e.markIndex = internMarks(element.components);
    cells_.push_back(e);
    compactMarksIfNeeded();
}

void RellumElements::appendElements(const RellumElements& src, std::size_t from, std::size_t count) {
    replace(cells_.size(), 0, src, from, count);
}

void RellumElements::combineMarkAtIndex(std::size_t i, char32_t mark) {
    RellumElement& e = cells_[i];
    if (e.markIndex == 0) {
        e.markIndex = internMarks(std::u32string(1, mark));
        compactMarksIfNeeded();
    } else {
        marks_[e.markIndex - 1].push_back(mark);
    }
}

void RellumElements::addMarkAtIndex(std::size_t i, char32_t mark) {
    RellumElement& e = cells_[i];
    if (e.markIndex == 0) {
        marks_.push_back(std::u32string(1, mark));
        e.markIndex = uint32_t(marks_.size());
    } else {
        marks_[e.markIndex - 1].push_back(mark);
    }
}

void RellumElements::setElement(std::size_t i, const RellumCombiningElement& element) {
    RellumElement e(sanitizedCodePoint(element.uchar));
    if (!element.components.empty()) e.markIndex = internMarks(element.components);
    cells_[i] = e;
    compactMarksIfNeeded();
}

void RellumElements::replace(std::size_t loc, std::size_t len, const RellumElements& src, std::size_t from,
                             std::size_t count) {
    ORVIK_ASSERT(loc <= cells_.size() && len <= cells_.size() - loc);
    ORVIK_ASSERT(from <= src.cells_.size() && count <= src.cells_.size() - from);
    ORVIK_ASSERT(&src != this);
    const RellumElement* s = src.cells_.data() + from;
    if (count == len) {
        std::copy(s, s + count, cells_.begin() + loc);
    } else if (count < len) {
        std::copy(s, s + count, cells_.begin() + loc);
        cells_.erase(cells_.begin() + loc + count, cells_.begin() + loc + len);
    } else {
        std::copy(s, s + len, cells_.begin() + loc);
        cells_.insert(cells_.begin() + loc + len, s + len, s + count);
    }
    if (src.marks_.empty()) {
        // Plain source cells: clear any mark references copied along (none).
        return;
    }
    // The combined cells are listed first, without a branch per cell (they
    // sit at random among the others), then given marks of their own.
    thread_local std::vector<uint32_t> combined;
    if (combined.size() < count) combined.resize(count);
    uint32_t* list = combined.data();
    std::size_t combinedCount = 0;
    RellumElement* cells = cells_.data() + loc;
    for (std::size_t i = 0; i < count; ++i) {
        list[combinedCount] = uint32_t(i);
        combinedCount += cells[i].markIndex != 0;
    }
    for (std::size_t k = 0; k < combinedCount; ++k) {
        RellumElement& e = cells_[loc + list[k]];
        e.markIndex = internMarks(src.marks_[e.markIndex - 1]);
    }
    compactMarksIfNeeded();
}

void RellumElements::erase(std::size_t loc, std::size_t len) {
    ORVIK_ASSERT(loc <= cells_.size() && len <= cells_.size() - loc);
    cells_.erase(cells_.begin() + loc, cells_.begin() + loc + len);
    if (cells_.empty()) marks_.clear();
}

void RellumElements::resize(std::size_t n) {
    cells_.resize(n);
    if (cells_.empty()) marks_.clear();
}

RellumElements RellumElements::rellum_arrayByMergingCombiningMarkElement() const {
    RellumElements out = *this;
    out.mergeCombiningMarksFrom(0);
    return out;
}

// Each mark joins the cell before it (both halves of a double-width one count
// as that cell) and leaves no cell of its own. The cells move down in place:
// everything below w is merged, everything from r on still to be read.
void RellumElements::mergeCombiningMarksFrom(std::size_t start) {
    const std::size_t n = cells_.size();
    std::size_t w = start;
    for (std::size_t r = start; r < n; ++r) {
        const RellumElement e = cells_[r];
        if (!e.inUnicodeMarkCategory() || w == 0) {
            cells_[w++] = e;
            continue;
        }
        // A double-width mark brings its own right half; once the mark joins
        // (or is dropped on) an earlier cell, that half has nothing to stand for.
        if (r + 1 < n && cells_[r + 1].isWideRight()) ++r;
        std::size_t target = w - 1;
        if (cells_[target].isCombining()) {
            addMarkAtIndex(target, e.uchar);
            continue;
        }
        if (cells_[target].isWideRight() && w >= 2) {
            --target;
            if (cells_[target].isCombining()) {
                addMarkAtIndex(target, e.uchar);
                continue;
            }
        }
        if (cells_[target].uchar < 32) continue; // void, tab padding, right half or control: dropped
        addMarkAtIndex(target, e.uchar);
    }
    cells_.resize(w);
    if (cells_.empty()) marks_.clear();
    compactMarksIfNeeded();
}

void rellum_appendUTF32Char(std::string& data, char32_t c) {
    uint32_t v = c;
    for (int i = 0; i < 4; ++i)
        data.push_back(char((v >> (8 * i)) & 0xFF));
}

void rellum_appendCombiningElement(std::string& data, const RellumCombiningElement& element) {
    rellum_appendUTF32Char(data, element.uchar);
    for (char32_t m : element.components)
        rellum_appendUTF32Char(data, m);
}

std::string RellumUTF8FromUTF16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        rellum_detail::appendUTF8(out, c); // a lone surrogate becomes U+FFFD
    }
    return out;
}

namespace {

inline void appendCodePoint(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(char16_t(c));
    } else {
        c -= 0x10000;
        out.push_back(char16_t(0xD800 + (c >> 10)));
        out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
    }
}

} // namespace

// Cells to text. Each cell appends:
// - a right half: nothing after its wide left half, else U+2592;
// - a wide cell followed by its right half: its character (and marks), recorded
//   in the wide set; a wide cell without its right half: U+2592;
// - void padding: a space (U+00B7 in debug form), recorded in the void set;
// - tab padding: a space (U+2500 in debug form), recorded in the tab set;
// - a combined cell: base and marks, the marks' range in the combining set;
// - a zero-width space: a space; any other printable value: itself;
// - control values: nothing.
void RellumElements::appendString(std::u16string& out, std::size_t from, std::size_t count,
                                  RellumIndexSet* wideIndexes, RellumIndexSet* voidIndexes,
                                  RellumIndexSet* tabIndexes, RellumIndexSet* combiningIndexes, bool forDebug,
                                  TextFlags* flags) const {
    if (wideIndexes) wideIndexes->clear();
    if (voidIndexes) voidIndexes->clear();
    if (tabIndexes) tabIndexes->clear();
    if (combiningIndexes) combiningIndexes->clear();
    const std::size_t start = out.size();
    const std::size_t end = std::min(cells_.size(), from + count);
    const RellumElement* cells = cells_.data();
    auto simple = [](const RellumElement& e) {
        return e.uchar >= 0x20 && e.uchar < 0x1100 && e.markIndex == 0;
    };
    // The same test on both halves of the cell read as one word: the base
    // from 0x20 up to 0x1100 and no marks.
    auto simpleWord = [](const RellumElement& e) {
        uint64_t v;
        std::memcpy(&v, &e, sizeof v);
        return v - 0x20 < 0x1100 - 0x20;
    };
    out.reserve(out.size() + (end > from ? end - from : 0));
    bool afterWide = false; // the cell before is a double-width character
    bool unitCells = true, needsNormalizing = false;
    for (std::size_t i = from; i < end; ++i) {
        if (simple(cells[i])) { // the common case: a run of narrow characters, copied in one go
            std::size_t j = i + 1;
            while (j < end && simpleWord(cells[j]))
                ++j;
            const std::size_t o = out.size();
            out.resize(o + (j - i));
            char16_t* p = out.data() + o;
            for (std::size_t k = i; k < j; ++k)
                *p++ = char16_t(cells[k].uchar);
            i = j - 1;
            afterWide = false;
            continue;
        }
        // A run of double-width characters of the basic plane without marks
        // (most wide text): a unit each, and one range of wide indexes.
        auto widePair = [&](std::size_t k) {
            return k + 1 < end && cells[k].markIndex == 0 && cells[k].uchar < 0xD800 &&
                   cells[k + 1].uchar == RellumElement::kWideRight && cells[k + 1].markIndex == 0 &&
                   RellumIsWideCodePoint(cells[k].uchar);
        };
        if (widePair(i)) {
            const uint64_t pos = out.size() - start;
            std::size_t j = i;
            do {
                out.push_back(char16_t(cells[j].uchar));
                j += 2;
            } while (widePair(j));
            if (wideIndexes) wideIndexes->addRange({pos, (j - i) / 2});
            unitCells = false;
            afterWide = false;
            i = j - 1;
            continue;
        }
        if (cells[i].uchar == RellumElement::kVoidPadding && cells[i].markIndex == 0) {
            // A run of void cells (an erase), one range and one fill.
            std::size_t j = i + 1;
            while (j < end && cells[j].uchar == RellumElement::kVoidPadding && cells[j].markIndex == 0)
                ++j;
            if (voidIndexes) voidIndexes->addRange({out.size() - start, j - i});
            out.append(j - i, forDebug ? u'\u00B7' : u' ');
            i = j - 1;
            afterWide = false;
            continue;
        }
        const RellumElement e = cells[i];
        const char32_t c = e.uchar;
        const bool wide = RellumIsWideCodePoint(c);
        const bool leftIsWide = afterWide;
        afterWide = wide;
        // Void and tab padding and narrow characters up to the surrogates
        // are one unit each; anything else may need a look.
        if (e.markIndex != 0 || (c > 1 && (c < 0x1100 || c >= 0xD800 || wide))) {
            unitCells = false;
            if (c == RellumElement::kWideRight && !leftIsWide) needsNormalizing = true;
            if (wide && (i + 1 == end || !cells[i + 1].isWideRight())) needsNormalizing = true;
            if (e.markIndex && c < 32) needsNormalizing = true;
            if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) needsNormalizing = true;
        }
        const uint64_t pos = out.size() - start;
        auto appendCombined = [&] {
            appendCodePoint(out, c);
            const uint64_t baseEnd = out.size() - start;
            for (char32_t m : marks_[e.markIndex - 1])
                appendCodePoint(out, m);
            if (combiningIndexes) combiningIndexes->addRange({baseEnd, out.size() - start - baseEnd});
        };
        if (c == RellumElement::kWideRight) {
            if (leftIsWide) continue;
            out.push_back(char16_t(RellumElement::kOddWide));
        } else if (wide) {
            if (i + 1 < end && cells[i + 1].isWideRight()) {
                if (wideIndexes) wideIndexes->addIndex(pos);
                if (e.markIndex)
                    appendCombined();
                else
                    appendCodePoint(out, c);
            } else {
                out.push_back(char16_t(RellumElement::kOddWide));
            }
        } else if (c == RellumElement::kVoidPadding) {
            if (voidIndexes) voidIndexes->addIndex(pos);
            out.push_back(forDebug ? u'\u00B7' : u' ');
        } else if (c == RellumElement::kTabPadding) {
            if (tabIndexes) tabIndexes->addIndex(pos);
            out.push_back(forDebug ? u'\u2500' : u' ');
        } else if (e.markIndex) {
            appendCombined();
        } else if (e.isZeroWidthSpace()) {
            out.push_back(u' ');
        } else if (e.isPrintable()) {
            appendCodePoint(out, c);
        }
    }
    if (flags) *flags = {unitCells, needsNormalizing};
}

std::u16string RellumElements::stringWithWideIndexes(RellumIndexSet* wideIndexes, RellumIndexSet* voidIndexes,
                                                     RellumIndexSet* tabIndexes,
                                                     RellumIndexSet* combiningIndexes, bool forDebug) const {
    std::u16string out;
    out.reserve(cells_.size());
    appendString(out, 0, cells_.size(), wideIndexes, voidIndexes, tabIndexes, combiningIndexes, forDebug);
    return out;
}

std::string RellumElements::rellum_debugDescription() const {
    return RellumUTF8FromUTF16(stringWithWideIndexes(nullptr, nullptr, nullptr, nullptr, true));
}
