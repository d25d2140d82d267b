#include "Rellum/RellumLine.h"

#include "Foundation/Assert.h"

#include <algorithm>

namespace {

// Reused buffers for the text of a write, so the hot path allocates nothing
// once warm.
struct WriteScratch {
    std::u16string text;
    RellumIndexSet wide, voids, tabs, combining;
    RellumElements normalized;
    RellumElements padding; // void or tab cells
};

WriteScratch& scratch() {
    thread_local WriteScratch s;
    return s;
}

const RellumElements& paddingCells(char32_t value, std::size_t count) {
    RellumElements& p = scratch().padding;
    p = RellumElements::rellum_arrayOfElement(RellumElement(value), count);
    return p;
}

void normalizeSliceInto(RellumElements& out, const RellumElements& e, std::size_t from, std::size_t end) {
    out.clear();
    for (std::size_t i = from; i < end; ++i) {
        const RellumElement c = e[i];
        if (c.uchar == RellumElement::kWideRight && (i == from || !e[i - 1].isWide())) {
            out.append(RellumElement::oddWideElement());
        } else if (c.isWide() && (i + 1 == end || !e[i + 1].isWideRight())) {
            out.append(RellumElement::oddWideElement());
        } else if (c.uchar > 0x10FFFF || (c.uchar >= 0xD800 && c.uchar <= 0xDFFF)) {
            out.append(RellumElement::replacementElement());
        } else if (c.markIndex && c.uchar < 32) {
            out.append(RellumElement(c.uchar));
        } else {
            out.appendElements(e, i, 1);
        }
    }
}

} // namespace

uint64_t RellumLine::capacity() const {
    // A line is at least one cell wide, whatever page it sits on.
    return delegate_ ? std::max<uint64_t>(1, delegate_->lineCapacity(*this)) : 1;
}

std::optional<RellumElements> RellumLine::elementsInRange(RellumRange range) const {
    unpack();
    const uint64_t cap = capacity();
    if (range.location >= cap) return std::nullopt;
    const uint64_t end = std::min(cap, range.end());
    RellumElements out;
    const uint64_t stored = elements_.size();
    if (range.location < stored)
        out.appendElements(elements_, range.location, std::min(end, stored) - range.location);
    while (out.size() < end - range.location)
        out.append(RellumElement::voidPaddingElement());
    return out;
}

std::optional<RellumCombiningElement> RellumLine::elementsAtIndex(uint64_t index) const {
    unpack();
    if (index >= capacity()) return std::nullopt;
    if (index >= elements_.size()) return RellumCombiningElement(RellumElement::kVoidPadding);
    return elements_.elementAtIndex(index);
}

void RellumLine::ensureElementIntegrityAtIndex(uint64_t index) {
    unpack();
    const uint64_t stored = elements_.size();
    if (index <= stored) return;
    const std::size_t add = index - stored;
    // Stored cells are never cut here, so the padding is a plain insertion at the end.
    const RellumElements& voids = paddingCells(RellumElement::kVoidPadding, add);
    const uint64_t position = characterCount_;
    elements_.appendElements(voids);
    std::u16string& text = scratch().text;
    text.clear();
    RellumIndexSet& voidSet = scratch().voids;
    voids.appendString(text, 0, add, nullptr, &voidSet, nullptr, nullptr, false);
    characterCount_ += text.size();
    if (delegate_) delegate_->didInsertString(*this, text, position, nullptr, &voidSet, nullptr, nullptr);
}

void RellumLine::markNextTabStopAtIndex(uint64_t stop, uint64_t from) {
    ensureElementIntegrityAtIndex(from);
    if (stop <= from) return;
    uint64_t start = from;
    for (uint64_t i = stop; i-- > from;) {
        if (i >= elements_.size()) continue;
        const RellumElement& e = elements_[i];
        if ((e.isVoidPadding() || e.isTabPadding()) && !e.isCombining()) continue;
        start = i + 1;
        break;
    }
    if (start >= stop) return;
    const std::size_t n = stop - start;
    RellumElements tabs = RellumElements::rellum_arrayOfElement(RellumElement::tabPaddingElement(), n);
    replaceElementsInRange({start, n}, tabs, false);
}

bool RellumLine::isElementAtMiddleOfWide(uint64_t index) const {
    unpack();
    return index > 0 && index < elements_.size() && elements_[index].isWideRight();
}

RellumRange RellumLine::actualRangeForRange(RellumRange range) const {
    unpack();
    const uint64_t stored = elements_.size();
    if (range.location >= stored) return {stored, 0};
    return {range.location, std::min(range.length, stored - range.location)};
}

void RellumLine::breakWideAtIndex(uint64_t index) {
    unpack();
    ORVIK_ASSERT(index + 1 < elements_.size());
    const RellumRange range = characterRangeForElementRange({index, 2});
    elements_.setElement(index, RellumElement::oddWideElement());
    elements_.setElement(index + 1, RellumElement::oddWideElement());
    characterCount_ = characterCount_ + 2 - range.length;
    static const std::u16string oddPair = u"\u2592\u2592";
    if (delegate_)
        delegate_->didReplaceCharactersInRange(*this, range, oddPair, nullptr, nullptr, nullptr, nullptr);
}

void RellumLine::prepareToChangeElementsInRange(RellumRange range) {
    if (isElementAtMiddleOfWide(range.location)) breakWideAtIndex(range.location - 1);
    if (range.length > 0 && isElementAtMiddleOfWide(range.end())) breakWideAtIndex(range.end() - 1);
}

uint64_t RellumLine::removeElementsInRange(RellumRange range) {
    prepareToChangeElementsInRange(range);
    const RellumRange actual = actualRangeForRange(range);
    if (actual.length == 0) return 0;
    const RellumRange chars = characterRangeForElementRange(actual);
    elements_.erase(actual.location, actual.length);
    characterCount_ -= chars.length;
    if (delegate_) delegate_->didDeleteCharactersInRange(*this, chars);
    return actual.length;
}

uint64_t RellumLine::replaceElementsInRange(RellumRange range, const RellumElements& elements,
                                            std::size_t from, std::size_t count, bool respectsRightMargin) {
    unpack();
    if (from > elements.size()) return 0;
    count = std::min(count, elements.size() - from);
    const uint64_t loc = range.location;
    const uint64_t cap = capacity();
    // 1. The write limit.
    uint64_t limit = respectsRightMargin && delegate_ ? delegate_->lineRightMargin(*this) : cap - 1;
    if (limit < loc || count == 0) return 0;
    // 2. Pad up to the start.
    ensureElementIntegrityAtIndex(loc);
    // 3. How many fit.
    uint64_t n = std::min<uint64_t>(limit - loc + 1, count);
    // 4. Old cells replaced.
    const uint64_t stored = elements_.size();
    const uint64_t old = range.length == 0 ? 0 : std::min<uint64_t>(n, stored - loc);
    // 5. A double-width character whose right half would fall past the limit
    //    stays with the caller. The old cell under it becomes void rather than
    //    vanishing, so cells right of the limit keep their columns.
    if (n < count && elements[from + n - 1].isWide() && from + n < elements.size() &&
        elements[from + n].isWideRight())
        --n;
    const uint64_t extraVoid = old > n ? old - n : 0;

    WriteScratch& s = scratch();
    const RellumElements* source = &elements;
    std::size_t sourceFrom = from;
    const std::size_t written = n + extraVoid;
    if (written == 0) return 0;

    // 6. Text of the new cells, which also tells whether they may be stored
    //    as given; if not (or cells must be added) the text is made again
    //    from the cells as they will be stored.
    RellumElements::TextFlags flags;
    s.text.clear();
    if (!extraVoid)
        elements.appendString(s.text, from, n, &s.wide, &s.voids, &s.tabs, &s.combining, false, &flags);
    if (extraVoid || flags.needsNormalizing) {
        normalizeSliceInto(s.normalized, elements, from, from + n);
        for (uint64_t i = 0; i < extraVoid; ++i)
            s.normalized.append(RellumElement::voidPaddingElement());
        source = &s.normalized;
        sourceFrom = 0;
        s.text.clear();
        source->appendString(s.text, 0, written, &s.wide, &s.voids, &s.tabs, &s.combining, false, &flags);
    }
    // 7. Break pairs cut by the edges of the change.
    prepareToChangeElementsInRange({loc, old});

    unitCells_ = unitCells_ && flags.unitCells;
    if (old > 0) {
        // 8. Replacement.
        const RellumRange chars = characterRangeForElementRange({loc, old});
        elements_.replace(loc, old, *source, sourceFrom, written);
        characterCount_ = characterCount_ + s.text.size() - chars.length;
        if (delegate_)
            delegate_->didReplaceCharactersInRange(*this, chars, s.text, &s.wide, &s.voids, &s.tabs,
                                                   &s.combining);
    } else {
        // 9. Insertion, then drop the cells pushed past the limit.
        const uint64_t position = insertionPositionAtElementIndex(loc);
        elements_.replace(loc, 0, *source, sourceFrom, written);
        characterCount_ += s.text.size();
        if (delegate_)
            delegate_->didInsertString(*this, s.text, position, &s.wide, &s.voids, &s.tabs, &s.combining);
        if (elements_.size() > limit + 1) removeElementsInRange({limit + 1, written});
    }
    // 10.
    return n;
}

void RellumLine::reportUnitWrite(uint64_t index, uint64_t old, const std::u16string& text,
                                 const RellumIndexSet* voids) {
    characterCount_ += text.size() - old;
    if (!delegate_) return;
    if (old > 0)
        delegate_->didReplaceCharactersInRange(*this, {index, old}, text, nullptr, voids, nullptr, nullptr);
    else
        delegate_->didInsertString(*this, text, index, nullptr, voids, nullptr, nullptr);
}

bool RellumLine::writeASCII(const char* bytes, std::size_t count, uint64_t index, uint64_t* placed) {
    unpack();
    // A line of unit cells holds no double-width pair a write could cut and
    // no marks: old and new cells are one unit each, at the same offsets.
    if (!unitCells_) return false;
    *placed = 0;
    const uint64_t limit = delegate_ ? delegate_->lineRightMargin(*this) : capacity() - 1;
    if (limit < index || count == 0) return true;
    ensureElementIntegrityAtIndex(index);
    const uint64_t n = std::min<uint64_t>(limit - index + 1, count);
    const uint64_t old = std::min<uint64_t>(n, elements_.size() - index);
    elements_.writeASCIIChars(index, bytes, n);
    std::u16string& text = scratch().text;
    text.resize(n);
    for (uint64_t i = 0; i < n; ++i)
        text[i] = char16_t(static_cast<unsigned char>(bytes[i]) & 0x7F);
    reportUnitWrite(index, old, text, nullptr);
    *placed = n;
    return true;
}

uint64_t RellumLine::writeElements(const RellumElements& elements, uint64_t index, std::size_t from,
                                   std::size_t count) {
    if (from > elements.size()) return 0;
    count = std::min(count, elements.size() - from);
    return replaceElementsInRange({index, count}, elements, from, count, true);
}

uint64_t RellumLine::insertElements(const RellumElements& elements, uint64_t index, std::size_t from,
                                    std::size_t count) {
    if (from > elements.size()) return 0;
    count = std::min(count, elements.size() - from);
    return replaceElementsInRange({index, 0}, elements, from, count, true);
}

void RellumLine::eraseElementsInRange(RellumRange range) {
    const uint64_t cap = capacity();
    if (range.location >= cap || range.length == 0) return;
    const uint64_t n = std::min(range.length, cap - range.location);
    unpack();
    if (unitCells_) {
        // Void cells are one unit each: no pair to break, offsets unchanged.
        ensureElementIntegrityAtIndex(range.location);
        const uint64_t old = std::min<uint64_t>(n, elements_.size() - range.location);
        elements_.fillVoid(range.location, n);
        WriteScratch& s = scratch();
        s.text.assign(n, u' ');
        s.voids.clear();
        s.voids.addRange({0, n});
        reportUnitWrite(range.location, old, s.text, &s.voids);
        return;
    }
    // One row of void cells serves every erase on this thread (a page erased
    // whole would otherwise build a row of them for each line).
    thread_local RellumElements voids;
    if (voids.size() < n)
        voids = RellumElements::rellum_arrayOfElement(RellumElement::voidPaddingElement(), n);
    replaceElementsInRange({range.location, n}, voids, 0, std::size_t(n), false);
}

RellumRange RellumLine::characterRangeForElementRange(RellumRange range) const {
    unpack();
    const uint64_t stored = elements_.size();
    if (range.location >= stored) return {characterCount_, 0};
    if (range.location == 0 && range.length == 0) return {0, 0};
    if (unitCells_) return {range.location, std::min(range.length, stored - range.location)};
    const uint64_t start = elements_.charCountInRange(0, range.location);
    const uint64_t length = elements_.charCountInRange(range.location, range.length);
    return {start, length};
}

uint64_t RellumLine::breakType(const RellumLine* next) {
    if (next && hasNextWrapLine(next)) {
        const uint64_t cap = capacity();
        const uint64_t count = elementCount();
        if (count >= cap && ucharAt(count - 1) != RellumElement::kVoidPadding)
            return RellumLineBreakTypeSoftWrap;
        if (next->elementCount() > 0) {
            const RellumElement first(next->ucharAt(0));
            if (first.isWide()) return RellumLineBreakTypeWideWrap;
            if (!first.isOddWide()) return RellumLineBreakTypeSoftWrap;
        } else {
            return RellumLineBreakTypeSoftWrap;
        }
    }
    nextWrapSerial_ = 0;
    return RellumLineBreakTypeHard;
}

std::string RellumLine::debugDescription(const RellumLine* next) {
    const uint64_t cap = capacity();
    RellumElements cells;
    if (packed_)
        packed_.unpackInto(cells);
    else
        cells.appendElements(elements_);
    while (cells.size() < cap)
        cells.append(RellumElement::voidPaddingElement());
    std::string out = cells.rellum_debugDescription();
    switch (breakType(next)) {
    case RellumLineBreakTypeSoftWrap:
        out += "+";
        break;
    case RellumLineBreakTypeWideWrap:
        out += ">";
        break;
    default:
        out += "!";
        break;
    }
    return out;
}

void RellumLine::unpackSlow() const {
    packed_.unpackInto(elements_);
    packed_.reset();
}

RellumElements RellumLine::pack() {
    if (packed_) return {};
    packed_ = RellumPackedElements(elements_);
    RellumElements released = std::move(elements_);
    elements_ = RellumElements();
    return released;
}
