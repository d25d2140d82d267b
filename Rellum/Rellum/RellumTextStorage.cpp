#include "Rellum/RellumTextStorage.h"

#include "Foundation/Assert.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <unordered_map>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using AttributesPtr = RellumTextStorage::AttributesPtr;

// Appends a run, joining it to the last one when they share a record.
template <typename Run>
void appendRun(std::vector<Run>& runs, uint64_t length, const AttributesPtr& attributes) {
    if (length == 0) return;
    if (!runs.empty() && runs.back().attributes == attributes) {
        runs.back().length += uint32_t(length);
        return;
    }
    runs.push_back({uint32_t(length), attributes});
}
// The same, taking the record (a copy is an atomic count change, and a
// colourful update brings hundreds of thousands of runs).
template <typename Run>
void appendRun(std::vector<Run>& runs, uint64_t length, AttributesPtr&& attributes) {
    if (length == 0) return;
    if (!runs.empty() && runs.back().attributes == attributes) {
        runs.back().length += uint32_t(length);
        return;
    }
    runs.push_back({uint32_t(length), std::move(attributes)});
}

// The first "\n" at or after pos, or npos; eight units a step, as every
// line of host output is searched for its end.
std::size_t findNewline(std::u16string_view text, std::size_t pos = 0) {
    const char16_t* p = text.data();
    const std::size_t n = text.size();
#if defined(__SSE2__)
    const __m128i newline = _mm_set1_epi16(u'\n');
    for (; pos + 8 <= n; pos += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
        const unsigned m = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(v, newline)));
        if (m != 0) return pos + std::size_t(std::countr_zero(m)) / 2;
    }
#endif
    for (; pos < n; ++pos)
        if (p[pos] == u'\n') return pos;
    return std::u16string_view::npos;
}

// A run's length and record, for stored runs and for the (length, record)
// pairs of a new text.
template <typename Run>
uint64_t lengthOf(const Run& r) {
    return r.length;
}
inline uint64_t lengthOf(const std::pair<uint64_t, AttributesPtr>& r) {
    return r.first;
}
template <typename Run>
const AttributesPtr& recordOf(const Run& r) {
    return r.attributes;
}
inline const AttributesPtr& recordOf(const std::pair<uint64_t, AttributesPtr>& r) {
    return r.second;
}
template <typename Run>
AttributesPtr& recordOf(Run& r) {
    return r.attributes;
}
inline AttributesPtr& recordOf(std::pair<uint64_t, AttributesPtr>& r) {
    return r.second;
}

// Deals runs out in text order to the lines a text is split into.
struct RunCursor {
    std::size_t index = 0;
    uint64_t used = 0; // of the run at index
    // Passes over the next `count` units.
    template <typename Runs>
    void skip(const Runs& runs, uint64_t count) {
        while (count > 0 && index < runs.size()) {
            const uint64_t length = lengthOf(runs[index]);
            const uint64_t n = std::min<uint64_t>(count, length - used);
            count -= n;
            used += n;
            if (used == length) {
                ++index;
                used = 0;
            }
        }
    }
    // Appends the runs of the next `count` units to `out`. From runs that are
    // not used again (`Moving`), a run's record moves to `out` with its last
    // part.
    template <bool Moving = false, typename Runs, typename Run>
    void take(Runs& runs, uint64_t count, std::vector<Run>& out) {
        while (count > 0 && index < runs.size()) {
            const uint64_t length = lengthOf(runs[index]);
            const uint64_t n = std::min<uint64_t>(count, length - used);
            if (Moving && used + n == length)
                appendRun(out, n, std::move(recordOf(runs[index])));
            else
                appendRun(out, n, recordOf(runs[index]));
            count -= n;
            used += n;
            if (used == length) {
                ++index;
                used = 0;
            }
        }
    }
};

// The parts of a packed line: a header word (text length, run count, a flag
// for UTF-16 text), the runs' records (owned, two words each), the run
// lengths, the text.
class PackedView {
public:
    explicit PackedView(const uint64_t* words) : words_(words) {}
    uint32_t textLength() const { return uint32_t(words_[0]); }
    uint32_t runCount() const { return uint32_t(words_[0] >> 32) & 0x7FFFFFFF; }
    bool wide() const { return words_[0] >> 63; }
    const AttributesPtr& record(uint32_t k) const {
        return *std::launder(reinterpret_cast<const AttributesPtr*>(words_ + 1 + kRecordWords * k));
    }
    uint32_t length(uint32_t k) const {
        uint32_t n;
        std::memcpy(&n, lengths() + 4 * std::size_t(k), 4);
        return n;
    }
    char16_t unit(std::size_t i) const {
        if (!wide()) return char16_t(text()[i]);
        char16_t c;
        std::memcpy(&c, text() + 2 * i, 2);
        return c;
    }
    const unsigned char* text() const { return lengths() + 4 * std::size_t(runCount()); }

    static constexpr std::size_t kRecordWords = sizeof(AttributesPtr) / sizeof(uint64_t);
    static_assert(sizeof(AttributesPtr) % sizeof(uint64_t) == 0 &&
                  alignof(AttributesPtr) <= alignof(uint64_t));
    static std::size_t words(std::size_t runs, std::size_t textLength, bool wide) {
        return 1 + kRecordWords * runs + (4 * runs + textLength * (wide ? 2 : 1) + 7) / 8;
    }

private:
    const unsigned char* lengths() const {
        return reinterpret_cast<const unsigned char*>(words_ + 1 + kRecordWords * runCount());
    }
    const uint64_t* words_;
};

} // namespace

void RellumTextStorage::PackedDeleter::operator()(uint64_t* words) const {
    const PackedView v(words);
    for (uint32_t k = 0; k < v.runCount(); ++k)
        v.record(k).~AttributesPtr();
    delete[] words;
}

uint64_t RellumTextStorage::textLength(const Line& line) {
    return line.packed ? PackedView(line.packed.get()).textLength() : line.text.size();
}

bool RellumTextStorage::endsWithNewline(const Line& line) {
    if (!line.packed) return !line.text.empty() && line.text.back() == u'\n';
    const PackedView v(line.packed.get());
    return v.textLength() > 0 && v.unit(v.textLength() - 1) == u'\n';
}

void RellumTextStorage::appendText(const Line& line, std::u16string& out, uint64_t from, uint64_t count) {
    const uint64_t length = textLength(line);
    if (from >= length) return;
    count = std::min(count, length - from);
    if (!line.packed) {
        out.append(line.text, from, count);
        return;
    }
    const PackedView v(line.packed.get());
    const std::size_t o = out.size();
    out.resize(o + count);
    char16_t* p = out.data() + o;
    if (v.wide()) {
        std::memcpy(p, v.text() + 2 * from, 2 * count);
    } else {
        const unsigned char* t = v.text() + from;
        for (uint64_t i = 0; i < count; ++i)
            p[i] = t[i];
    }
}

void RellumTextStorage::pack(Line& line) {
    if (line.packed) return;
    const std::size_t n = line.text.size(), runs = line.runs.size();
    char16_t bits = 0; // every unit's bits: above 0xFF when any unit is
    for (char16_t c : line.text)
        bits |= c;
    const bool wide = bits > 0xFF;
    const std::size_t words = PackedView::words(runs, n, wide);
    uint64_t* words64 = new uint64_t[words];
    words64[words - 1] = 0; // the padding after the text
    words64[0] = uint64_t(n) | uint64_t(runs) << 32 | uint64_t(wide) << 63;
    unsigned char* lengths = reinterpret_cast<unsigned char*>(words64 + 1 + PackedView::kRecordWords * runs);
    for (std::size_t k = 0; k < runs; ++k) {
        new (words64 + 1 + PackedView::kRecordWords * k) AttributesPtr(std::move(line.runs[k].attributes));
        std::memcpy(lengths + 4 * k, &line.runs[k].length, 4);
    }
    PackedPtr packed(words64);
    unsigned char* text = lengths + 4 * runs;
    if (wide) {
        std::memcpy(text, line.text.data(), 2 * n);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            text[i] = static_cast<unsigned char>(line.text[i]);
    }
    line.packed = std::move(packed);
    recycle(line);
}

void RellumTextStorage::recycle(Line& line) {
    // The buffers serve the next new lines (a packed line's empty text has
    // no buffer of its own to give).
    if (spareTexts_.size() < kSpareBuffers && line.text.capacity() > std::u16string().capacity()) {
        line.text.clear();
        spareTexts_.push_back(std::move(line.text));
    }
    std::u16string().swap(line.text);
    if (spareRuns_.size() < kSpareBuffers && line.runs.capacity() > 0) {
        line.runs.clear();
        spareRuns_.push_back(std::move(line.runs));
    }
    std::vector<Run>().swap(line.runs);
}

void RellumTextStorage::unpack(Line& line) const {
    if (!line.packed) return;
    const PackedView v(line.packed.get());
    line.text.clear();
    appendText(line, line.text, 0, v.textLength());
    line.runs.clear();
    line.runs.reserve(v.runCount());
    for (uint32_t k = 0; k < v.runCount(); ++k)
        line.runs.push_back({v.length(k), v.record(k)});
    line.packed.reset();
}

void RellumTextStorage::packOldLines() {
    const std::size_t limit = lines_.size() > kUnpackedTail ? lines_.size() - kUnpackedTail : 0;
    for (; packedUpTo_ < limit; ++packedUpTo_)
        pack(lines_[packedUpTo_]);
}

RellumTextStorage::RellumTextStorage(double advance) : advance_(advance) {
    lines_.emplace_back();
}

void RellumTextStorage::setAdvance(double advance) {
    if (advance == advance_) return;
    advance_ = advance;
    internCache_.fill({});
}

std::u16string RellumTextStorage::string() const {
    std::u16string out;
    out.reserve(length_);
    for (const Line& line : lines_)
        appendText(line, out, 0, UINT64_MAX);
    return out;
}

std::u16string RellumTextStorage::substring(RellumRange range) const {
    std::u16string out;
    if (range.location >= length_) return out;
    range.length = std::min(range.length, length_ - range.location);
    std::size_t i = lineIndexAt(range.location);
    uint64_t at = range.location - startOf(lines_[i]);
    while (out.size() < range.length && i < lines_.size()) {
        appendText(lines_[i], out, at, range.length - out.size());
        at = 0;
        ++i;
    }
    return out;
}

std::size_t RellumTextStorage::lineIndexAt(uint64_t offset) const {
    if (offset >= length_) return lines_.size() - 1;
    if (lineHint_ < lines_.size()) {
        const Line& h = lines_[lineHint_];
        if (startOf(h) <= offset && offset < startOf(h) + textLength(h)) return lineHint_;
    }
    auto it = std::upper_bound(lines_.begin(), lines_.end(), offset,
                               [this](uint64_t o, const Line& l) { return o < startOf(l); });
    lineHint_ = std::size_t(it - lines_.begin()) - 1;
    return lineHint_;
}

void RellumTextStorage::ripple(std::size_t fromLine, int64_t delta) {
    if (delta == 0) return;
    for (std::size_t i = fromLine; i < lines_.size(); ++i)
        lines_[i].absoluteStart += uint64_t(delta);
}

AttributesPtr RellumTextStorage::attributesAtIndex(uint64_t index, RellumRange* effectiveRange) const {
    if (index >= length_) return nullptr;
    const Line& line = lines_[lineIndexAt(index)];
    uint64_t pos = startOf(line);
    if (line.packed) {
        const PackedView v(line.packed.get());
        for (uint32_t k = 0; k < v.runCount(); ++k) {
            const uint32_t length = v.length(k);
            if (index < pos + length) {
                if (effectiveRange) *effectiveRange = {pos, length};
                return v.record(k);
            }
            pos += length;
        }
        return nullptr;
    }
    for (const Run& r : line.runs) {
        if (index < pos + r.length) {
            if (effectiveRange) *effectiveRange = {pos, r.length};
            return r.attributes;
        }
        pos += r.length;
    }
    return nullptr;
}

uint64_t RellumTextStorage::runCount() const {
    uint64_t count = 0;
    const RellumAttributes* last = nullptr;
    bool first = true;
    auto count1 = [&](const RellumAttributes* record) {
        if (first || record != last) ++count;
        first = false;
        last = record;
    };
    for (const Line& line : lines_) {
        if (line.packed) {
            const PackedView v(line.packed.get());
            for (uint32_t k = 0; k < v.runCount(); ++k)
                count1(v.record(k).get());
            continue;
        }
        for (const Run& r : line.runs)
            count1(r.attributes.get());
    }
    return count;
}

AttributesPtr RellumTextStorage::widened(const AttributesPtr& attributes) {
    if (!attributes) return attributes;
    // Recently stored records by address: a terminal reuses each record for a while.
    InternedPair& slot =
        internCache_[(reinterpret_cast<uintptr_t>(attributes.get()) >> 4) % internCache_.size()];
    if (slot.in == attributes) return slot.out;
    AttributesPtr out = attributes;
    if (attributes->font() && attributes->span() > 0) {
        const double wanted = advance_ * double(attributes->span());
        if (attributes->font()->fixedAdvance() != wanted) {
            auto copy = std::make_shared<RellumAttributes>(*attributes);
            copy->setFont(attributes->font()->fontWithFixedAdvance(wanted));
            out = std::move(copy);
        }
    }
    slot.in = attributes;
    slot.out = out;
    return out;
}

AttributesPtr RellumTextStorage::widened(AttributesPtr&& attributes) {
    if (attributes) {
        const InternedPair& slot =
            internCache_[(reinterpret_cast<uintptr_t>(attributes.get()) >> 4) % internCache_.size()];
        // The common case: a record stored as it is, taken without a count change.
        if (slot.in == attributes && slot.out == attributes) return std::move(attributes);
    }
    return widened(std::as_const(attributes));
}

RellumRange RellumTextStorage::dropFrontLines(RellumRange range) {
    // Dropping whole lines at the start (the oldest scrollback) costs O(1) a line.
    uint64_t dropped = 0;
    while (lines_.size() > 1 && dropped + textLength(lines_.front()) <= range.length) {
        dropped += textLength(lines_.front());
        lines_.pop_front();
        if (packedUpTo_ > 0) --packedUpTo_;
    }
    if (dropped == 0) return range;
    base_ += dropped;
    length_ -= dropped;
    lineHint_ = 0;
    range.length -= dropped;
    droppedInBracket_ += dropped;
    noteEdit({0, 0}, -int64_t(dropped), true);
    return range;
}

RellumRange RellumTextStorage::lineRange(uint64_t line) const {
    if (line >= lines_.size()) return {length_, 0};
    const Line& l = lines_[line];
    return {startOf(l), textLength(l) - (endsWithNewline(l) ? 1 : 0)};
}

void RellumTextStorage::replaceCharactersInRange(RellumRange range, std::u16string_view string) {
    if (range.location == 0 && string.empty() && range.length > 0) {
        range = dropFrontLines({0, std::min(range.length, length_)});
        if (range.length == 0) return;
    }
    AttributesPtr fallback;
    if (length_ > 0) {
        const uint64_t at = std::min<uint64_t>(range.location, length_);
        fallback = attributesAtIndex(range.length > 0 && at < length_ ? at : (at > 0 ? at - 1 : 0));
    }
    if (range.location > length_) range.location = length_;
    range.length = std::min(range.length, length_ - range.location);
    NewRuns insert;
    if (!string.empty()) insert.emplace_back(string.size(), fallback);
    replaceWithRuns(range, string, insert);
}

void RellumTextStorage::replaceCharactersInRange(RellumRange range, const RellumAttributedString& string) {
    if (!clampAndDropFront(range, string.string)) return;
    NewRuns insert;
    insert.reserve(string.runs.size());
    for (const auto& r : string.runs)
        insert.emplace_back(r.range.length, widened(r.attributes));
    replaceWithRuns(range, string.string, insert);
}

void RellumTextStorage::replaceCharactersInRange(RellumRange range, RellumAttributedString&& string) {
    if (!clampAndDropFront(range, string.string)) return;
    NewRuns insert;
    insert.reserve(string.runs.size());
    for (auto& r : string.runs)
        insert.emplace_back(r.range.length, widened(std::move(r.attributes)));
    replaceWithRuns(range, string.string, insert);
}

bool RellumTextStorage::clampAndDropFront(RellumRange& range, std::u16string_view text) {
    if (range.location > length_) range.location = length_;
    range.length = std::min(range.length, length_ - range.location);
    if (range.location == 0 && text.empty() && range.length > 0) {
        range = dropFrontLines(range);
        if (range.length == 0) return false;
    }
    return true;
}

void RellumTextStorage::replaceWithRuns(RellumRange range, std::u16string_view text, NewRuns& insert) {
    const std::size_t i = lineIndexAt(range.location);
    const Line& line = lines_[i];
    const uint64_t start = startOf(line);
    const uint64_t contentEnd = start + textLength(line) - (endsWithNewline(line) ? 1 : 0);
    if (range.end() <= contentEnd && findNewline(text) == std::u16string_view::npos)
        replaceInLine(i, range.location - start, range.length, text, insert);
    else
        replaceAcrossLines(range, text, insert);
    noteEdit({range.location, text.size()}, int64_t(text.size()) - int64_t(range.length));
}

namespace {

// Runs [at, at + length) of `runs` replaced by the runs of a new text, in
// place: only the runs around the change move, and records are moved, not
// copied (a copy is an atomic count change), so an edit of one cell in a
// line of many runs stays cheap.
template <typename Run, typename NewRuns>
void spliceRuns(std::vector<Run>& runs, uint64_t at, uint64_t length, NewRuns& insert) {
    std::size_t i = 0;
    uint64_t pos = 0;
    while (i < runs.size() && pos + runs[i].length <= at) {
        pos += runs[i].length;
        ++i;
    }
    std::size_t count = 0; // the new runs that hold text
    for (const auto& r : insert)
        count += r.first > 0 ? 1 : 0;
    // The change lies inside one run and brings its record only: lengths change.
    if (i < runs.size() && at + length <= pos + runs[i].length &&
        (count == 0 || (count == 1 && insert.size() == 1 && insert[0].second == runs[i].attributes))) {
        const uint64_t added = count == 0 ? 0 : insert[0].first;
        runs[i].length = uint32_t(runs[i].length - length + added);
        if (runs[i].length > 0) return;
        runs.erase(runs.begin() + int64_t(i));
        if (i > 0 && i < runs.size() && runs[i - 1].attributes == runs[i].attributes) {
            runs[i - 1].length += runs[i].length;
            runs.erase(runs.begin() + int64_t(i));
        }
        return;
    }
    // Split the run holding `at` so that a run starts there.
    if (i < runs.size() && pos < at) {
        Run right{uint32_t(pos + runs[i].length - at), runs[i].attributes};
        runs[i].length = uint32_t(at - pos);
        runs.insert(runs.begin() + int64_t(i) + 1, std::move(right));
        ++i;
    }
    // Runs [i, j) lie inside the replaced range; the one at j may start in it.
    std::size_t j = i;
    uint64_t q = at;
    const uint64_t cut = at + length;
    while (j < runs.size() && q + runs[j].length <= cut) {
        q += runs[j].length;
        ++j;
    }
    if (j < runs.size() && q < cut) runs[j].length = uint32_t(runs[j].length - (cut - q));
    // Put the new runs in place of [i, j).
    std::size_t k = i;
    auto next = insert.begin();
    for (; next != insert.end() && k < j; ++next) {
        if (next->first == 0) continue;
        runs[k].length = uint32_t(next->first);
        runs[k].attributes = std::move(next->second);
        ++k;
    }
    if (k < j) {
        runs.erase(runs.begin() + int64_t(k), runs.begin() + int64_t(j));
    } else {
        for (; next != insert.end(); ++next) {
            if (next->first == 0) continue;
            runs.insert(runs.begin() + int64_t(k), Run{uint32_t(next->first), std::move(next->second)});
            ++k;
        }
    }
    // Join equal neighbours where the new runs meet the old ones (and among
    // the new ones).
    std::size_t lo = i > 0 ? i - 1 : 0;
    const std::size_t hi = std::min(k + 1, runs.size());
    std::size_t out = lo;
    for (std::size_t r = lo + 1; r < hi; ++r) {
        if (runs[r].attributes == runs[out].attributes) {
            runs[out].length += runs[r].length;
        } else if (++out != r) {
            runs[out] = std::move(runs[r]);
        }
    }
    if (hi > lo && out + 1 < hi) runs.erase(runs.begin() + int64_t(out) + 1, runs.begin() + int64_t(hi));
}

} // namespace

void RellumTextStorage::replaceInLine(std::size_t lineIndex, uint64_t at, uint64_t length,
                                      std::u16string_view text, NewRuns& insert) {
    Line& line = lines_[lineIndex];
    unpack(line);
    // The common case, text appended at the end of a line.
    if (length == 0 && at == line.text.size() && (line.text.empty() || line.text.back() != u'\n')) {
        line.text.append(text);
        for (auto& r : insert)
            appendRun(line.runs, r.first, std::move(r.second));
    } else {
        line.text.replace(at, length, text);
        spliceRuns(line.runs, at, length, insert);
    }
    if (lineIndex < packedUpTo_) pack(line);
    const int64_t delta = int64_t(text.size()) - int64_t(length);
    length_ = uint64_t(int64_t(length_) + delta);
    ripple(lineIndex + 1, delta);
}

void RellumTextStorage::replaceAcrossLines(RellumRange range, std::u16string_view text, NewRuns& insert) {
    const std::size_t first = lineIndexAt(range.location);
    std::size_t last = range.end() >= length_ ? lines_.size() - 1 : lineIndexAt(range.end());
    // A range ending right after a "\n" ends in the line that follows.
    const uint64_t firstStart = startOf(lines_[first]);
    if (first == lines_.size() - 1 && range.end() == length_) {
        appendToLastLine(range.location - firstStart, text, insert);
        return;
    }

    // The affected lines as one piece: what the first line keeps before the
    // change, the new text, what the last line keeps after it. The lines in
    // between go whole, so they are never copied.
    Line& head = lines_[first];
    Line& tail = lines_[last];
    unpack(head);
    unpack(tail);
    const uint64_t at = range.location - firstStart;
    const uint64_t cut = range.end() - startOf(tail);
    Line& joined = joinedScratch_;
    joined.text.clear();
    joined.runs.clear();
    joined.text.reserve(at + text.size() + (tail.text.size() - cut));
    joined.text.append(head.text, 0, at);
    joined.text.append(text);
    joined.text.append(tail.text, cut, std::u16string::npos);
    RunCursor keep;
    keep.take(head.runs, at, joined.runs);
    for (auto& r : insert)
        appendRun(joined.runs, r.first, std::move(r.second));
    RunCursor rest;
    rest.skip(tail.runs, cut);
    rest.take(tail.runs, tail.text.size() - cut, joined.runs);

    // Split again after each "\n".
    std::vector<Line>& pieces = piecesScratch_;
    pieces.clear();
    std::size_t pos = 0;
    RunCursor cursor;
    uint64_t absolute = lines_[first].absoluteStart;
    while (true) {
        const std::size_t nl = findNewline(joined.text, pos);
        const std::size_t end = nl == std::u16string::npos ? joined.text.size() : nl + 1;
        Line piece = newLine(absolute);
        piece.text.assign(joined.text, pos, end - pos);
        cursor.take<true>(joined.runs, end - pos, piece.runs);
        absolute += piece.text.size();
        pieces.push_back(std::move(piece));
        if (nl == std::u16string::npos) break;
        pos = end;
        // Text after the last "\n" of the piece (possibly empty) forms the
        // next line only when the joined lines ran on past it: the last line
        // of the storage, or a piece not ending the joined text.
        if (pos == joined.text.size() && last + 1 < lines_.size()) break;
    }
    const int64_t delta = int64_t(text.size()) - int64_t(range.length);
    for (std::size_t i = first; i <= last; ++i)
        recycle(lines_[i]);
    lines_.erase(lines_.begin() + int64_t(first), lines_.begin() + int64_t(last) + 1);
    lines_.insert(lines_.begin() + int64_t(first), std::make_move_iterator(pieces.begin()),
                  std::make_move_iterator(pieces.end()));
    const std::size_t added = pieces.size();
    pieces.clear();
    // A huge replacement's buffer is not kept.
    if (joined.text.capacity() > 65536) joined = Line();
    length_ = uint64_t(int64_t(length_) + delta);
    ripple(first + added, delta);
    lineHint_ = first;
    if (lines_.empty()) lines_.emplace_back();
    packedUpTo_ = std::min(packedUpTo_, first);
    packOldLines();
}

RellumTextStorage::Line RellumTextStorage::newLine(uint64_t absoluteStart) {
    Line line;
    line.absoluteStart = absoluteStart;
    if (!spareTexts_.empty()) {
        line.text = std::move(spareTexts_.back());
        spareTexts_.pop_back();
    }
    if (!spareRuns_.empty()) {
        line.runs = std::move(spareRuns_.back());
        spareRuns_.pop_back();
    }
    return line;
}

void RellumTextStorage::appendToLastLine(uint64_t at, std::u16string_view text, NewRuns& insert) {
    Line* line = &lines_.back();
    unpack(*line);
    const int64_t delta = int64_t(text.size()) - int64_t(line->text.size() - at);
    // Cut the line at `at`.
    line->text.resize(at);
    uint64_t kept = 0;
    std::size_t r = 0;
    for (; r < line->runs.size() && kept < at; ++r) {
        if (kept + line->runs[r].length > at) line->runs[r].length = uint32_t(at - kept);
        kept += line->runs[r].length;
    }
    line->runs.erase(line->runs.begin() + int64_t(r), line->runs.end());
    // The new text, a line after each "\n"; the last line never ends with one.
    std::size_t pos = 0;
    std::size_t nl = findNewline(text);
    RunCursor cursor;
    while (true) {
        const std::size_t end = nl == std::u16string_view::npos ? text.size() : nl + 1;
        line->text.append(text.substr(pos, end - pos));
        cursor.take<true>(insert, end - pos, line->runs);
        if (nl == std::u16string_view::npos) break;
        pos = end;
        const uint64_t next = line->absoluteStart + line->text.size();
        // Lines far enough from the end are packed as the text goes on, so
        // their buffers serve the lines that follow.
        packOldLines();
        lines_.push_back(newLine(next));
        line = &lines_.back();
        nl = findNewline(text, pos);
        line->text.reserve((nl == std::u16string_view::npos ? text.size() : nl + 1) - pos);
    }
    length_ = uint64_t(int64_t(length_) + delta);
    packOldLines();
}

void RellumTextStorage::setAttributes(AttributesPtr attributes, RellumRange range) {
    transformAttributes(range, [&](const AttributesPtr&) { return attributes; });
}

void RellumTextStorage::transformAttributes(
    RellumRange range, const std::function<AttributesPtr(const AttributesPtr&)>& transform) {
    if (range.location >= length_ || range.length == 0) return;
    range.length = std::min(range.length, length_ - range.location);
    std::unordered_map<const RellumAttributes*, AttributesPtr> memo;
    auto map = [&](const AttributesPtr& in) -> AttributesPtr {
        auto it = memo.find(in.get());
        if (it != memo.end()) return it->second;
        AttributesPtr out = transform(in);
        if (out != in) out = widened(out);
        memo.emplace(in.get(), out);
        return out;
    };
    for (std::size_t i = lineIndexAt(range.location); i < lines_.size(); ++i) {
        Line& line = lines_[i];
        const uint64_t start = startOf(line);
        if (start >= range.end()) break;
        const uint64_t from = range.location > start ? range.location - start : 0;
        const uint64_t to = std::min<uint64_t>(textLength(line), range.end() - start);
        bool changes = false;
        uint64_t pos = 0;
        if (line.packed) {
            const PackedView v(line.packed.get());
            for (uint32_t k = 0; k < v.runCount() && !changes; ++k) {
                const uint32_t length = v.length(k);
                if (pos < to && pos + length > from) {
                    const AttributesPtr& record = v.record(k);
                    if (map(record) != record) changes = true;
                }
                pos += length;
            }
            if (!changes) continue;
            unpack(line);
        } else {
            for (const Run& r : line.runs) {
                if (pos < to && pos + r.length > from && map(r.attributes) != r.attributes) changes = true;
                pos += r.length;
            }
            if (!changes) continue;
        }
        std::vector<Run> out;
        out.reserve(line.runs.size() + 2);
        pos = 0;
        for (const Run& r : line.runs) {
            const uint64_t rs = pos, re = pos + r.length;
            pos = re;
            if (re <= from || rs >= to) {
                appendRun(out, r.length, r.attributes);
                continue;
            }
            if (rs < from) appendRun(out, from - rs, r.attributes);
            appendRun(out, std::min(re, to) - std::max(rs, from), map(r.attributes));
            if (re > to) appendRun(out, re - to, r.attributes);
        }
        line.runs = std::move(out);
        if (i < packedUpTo_) pack(line);
    }
    if (editingDepth_ > 0 || observer_) noteEdit(range, 0);
}

void RellumTextStorage::beginEditing() {
    ++editingDepth_;
}

void RellumTextStorage::endEditing() {
    if (editingDepth_ == 0) return;
    if (--editingDepth_ > 0 || !edited_) return;
    edited_ = false;
    const RellumRange range = editedRange_;
    const int64_t delta = changeInLength_;
    editedRange_ = {};
    changeInLength_ = 0;
    report(range, delta);
}

void RellumTextStorage::report(RellumRange editedRange, int64_t changeInLength) {
    reportedDrop_.dropped = droppedInBracket_;
    reportedDrop_.unchangedEnd = firstOtherEdit_ == UINT64_MAX ? length_
                                 : firstOtherEdit_ > base_     ? firstOtherEdit_ - base_
                                                               : 0;
    droppedInBracket_ = 0;
    firstOtherEdit_ = UINT64_MAX;
    if (observer_) observer_(editedRange, changeInLength);
    reportedDrop_ = {};
}

void RellumTextStorage::noteEdit(RellumRange editedRange, int64_t changeInLength, bool frontDrop) {
    if (!frontDrop) firstOtherEdit_ = std::min(firstOtherEdit_, editedRange.location + base_);
    if (editingDepth_ == 0) {
        report(editedRange, changeInLength);
        return;
    }
    if (!edited_) {
        edited_ = true;
        editedRange_ = editedRange;
    } else {
        // The union, in the newest text's offsets: the earlier range's ends
        // move with the text around this edit; an end inside the replaced
        // text moves to the edge of the new text.
        const uint64_t loc = editedRange.location, newEnd = editedRange.end();
        const uint64_t oldEnd = uint64_t(int64_t(newEnd) - changeInLength);
        auto moved = [&](uint64_t p, bool isEnd) -> uint64_t {
            if (p < loc || (p == loc && isEnd)) return p;
            if (p >= oldEnd) return uint64_t(int64_t(p) + changeInLength);
            return isEnd ? newEnd : loc;
        };
        const uint64_t start = std::min(moved(editedRange_.location, false), loc);
        uint64_t end = std::max(moved(editedRange_.end(), true), newEnd);
        end = std::min<uint64_t>(std::max(end, start), length_);
        editedRange_ = {start, end - start};
    }
    changeInLength_ += changeInLength;
}

void rellum_replaceForegroundColor(RellumTextStorage& storage, const RellumColor& oldColor,
                                   const RellumColor& newColor) {
    storage.transformAttributes({0, storage.length()}, [&](const AttributesPtr& a) -> AttributesPtr {
        if (!a || !a->foregroundColor() || !(*a->foregroundColor() == oldColor)) return a;
        auto copy = std::make_shared<RellumAttributes>(*a);
        copy->setForegroundColor(newColor);
        return copy;
    });
}

void rellum_useFont(RellumTextStorage& storage, std::shared_ptr<const RellumFont> font,
                    std::string_view attributeKey) {
    storage.transformAttributes({0, storage.length()}, [&](const AttributesPtr& a) -> AttributesPtr {
        if (!a || !a->boolForKey(attributeKey)) return a;
        auto copy = std::make_shared<RellumAttributes>(*a);
        copy->setFont(font);
        return copy;
    });
}
