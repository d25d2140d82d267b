#include "Rellum/RellumTextStorage.h"

#include <algorithm>
#include <unordered_map>

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

} // namespace

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
        out += line.text;
    return out;
}

std::u16string RellumTextStorage::substring(RellumRange range) const {
    std::u16string out;
    if (range.location >= length_) return out;
    range.length = std::min(range.length, length_ - range.location);
    std::size_t i = lineIndexAt(range.location);
    uint64_t at = range.location - startOf(lines_[i]);
    while (out.size() < range.length && i < lines_.size()) {
        const std::u16string& t = lines_[i].text;
        const uint64_t take = std::min<uint64_t>(t.size() - at, range.length - out.size());
        out.append(t, at, take);
        at = 0;
        ++i;
    }
    return out;
}

std::size_t RellumTextStorage::lineIndexAt(uint64_t offset) const {
    if (offset >= length_) return lines_.size() - 1;
    if (lineHint_ < lines_.size()) {
        const Line& h = lines_[lineHint_];
        if (startOf(h) <= offset && offset < startOf(h) + h.text.size()) return lineHint_;
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
    for (const Line& line : lines_)
        for (const Run& r : line.runs) {
            if (first || r.attributes.get() != last) ++count;
            first = false;
            last = r.attributes.get();
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
    out = interned(out);
    slot.in = attributes;
    slot.out = out;
    return out;
}

namespace {

template <typename T>
void mix(std::size_t& h, const T& value) {
    h ^= std::hash<T>()(value) + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
}

void mixColor(std::size_t& h, const std::optional<RellumColor>& c) {
    if (!c) {
        mix(h, 0);
        return;
    }
    mix(h, c->red);
    mix(h, c->green);
    mix(h, c->blue);
    mix(h, c->alpha);
}

} // namespace

std::size_t RellumTextStorage::RecordHash::operator()(const AttributesPtr& a) const {
    // Enough to tell records apart cheaply; equality compares every key.
    std::size_t h = 0;
    const uint64_t bits = uint64_t(a->isBold()) | uint64_t(a->isItalic()) << 1 |
                          uint64_t(a->isBoldItalic()) << 2 | uint64_t(a->isUnderline()) << 3 |
                          uint64_t(a->isInverse()) << 4 | uint64_t(a->isVoid()) << 5 |
                          uint64_t(a->isTab()) << 6 | a->span() << 8;
    mix(h, bits);
    mix(h, a->font().get());
    mixColor(h, a->foregroundColor());
    mixColor(h, a->backgroundColor());
    return h;
}

AttributesPtr RellumTextStorage::interned(const AttributesPtr& attributes) {
    if (!attributes) return attributes;
    auto it = records_.find(attributes);
    if (it != records_.end()) return *it;
    if (records_.size() >= recordsPurgeAt_) {
        // Forget the records no run uses any more.
        internCache_.fill({});
        for (auto r = records_.begin(); r != records_.end();)
            r = r->use_count() == 1 ? records_.erase(r) : std::next(r);
        recordsPurgeAt_ = std::max<std::size_t>(1024, records_.size() * 2);
    }
    records_.insert(attributes);
    return attributes;
}

void RellumTextStorage::replaceCharactersInRange(RellumRange range, std::u16string_view string) {
    AttributesPtr fallback;
    if (length_ > 0) {
        const uint64_t at = std::min<uint64_t>(range.location, length_);
        fallback = attributesAtIndex(range.length > 0 && at < length_ ? at : (at > 0 ? at - 1 : 0));
    }
    if (range.location > length_) range.location = length_;
    range.length = std::min(range.length, length_ - range.location);
    const std::size_t i = lineIndexAt(range.location);
    const Line& line = lines_[i];
    const uint64_t start = startOf(line);
    const bool hasNewline = !line.text.empty() && line.text.back() == u'\n';
    const uint64_t contentEnd = start + line.text.size() - (hasNewline ? 1 : 0);
    if (range.end() <= contentEnd && string.find(u'\n') == std::u16string_view::npos)
        replaceInLine(i, range.location - start, range.length, string, nullptr, fallback);
    else
        replaceAcrossLines(range, string, nullptr, fallback);
    noteEdit({range.location, string.size()}, int64_t(string.size()) - int64_t(range.length));
}

void RellumTextStorage::replaceCharactersInRange(RellumRange range, const RellumAttributedString& string) {
    if (range.location > length_) range.location = length_;
    range.length = std::min(range.length, length_ - range.location);
    const std::u16string_view text = string.string;
    // Dropping whole lines at the start (the oldest scrollback) costs O(1) a line.
    if (range.location == 0 && text.empty() && range.length > 0) {
        uint64_t dropped = 0;
        while (lines_.size() > 1 && dropped + lines_.front().text.size() <= range.length) {
            dropped += lines_.front().text.size();
            lines_.pop_front();
        }
        if (dropped > 0) {
            base_ += dropped;
            length_ -= dropped;
            lineHint_ = 0;
            range.length -= dropped;
            noteEdit({0, 0}, -int64_t(dropped));
            if (range.length == 0) return;
        }
    }
    const std::size_t i = lineIndexAt(range.location);
    const Line& line = lines_[i];
    const uint64_t start = startOf(line);
    const bool hasNewline = !line.text.empty() && line.text.back() == u'\n';
    const uint64_t contentEnd = start + line.text.size() - (hasNewline ? 1 : 0);
    if (range.end() <= contentEnd && text.find(u'\n') == std::u16string_view::npos)
        replaceInLine(i, range.location - start, range.length, text, &string.runs, nullptr);
    else
        replaceAcrossLines(range, text, &string.runs, nullptr);
    noteEdit({range.location, text.size()}, int64_t(text.size()) - int64_t(range.length));
}

namespace {

// Runs [at, at + length) of `runs` replaced by the runs of a new text.
template <typename Run, typename NewRuns>
void spliceRuns(std::vector<Run>& runs, uint64_t at, uint64_t length, const NewRuns& insert) {
    std::vector<Run> out;
    out.reserve(runs.size() + insert.size() + 2);
    uint64_t pos = 0;
    for (const Run& r : runs) {
        const uint64_t rs = pos, re = pos + r.length;
        pos = re;
        if (rs >= at) break;
        appendRun(out, std::min(re, at) - rs, r.attributes);
    }
    for (const auto& r : insert)
        appendRun(out, r.first, r.second);
    const uint64_t cut = at + length;
    pos = 0;
    for (const Run& r : runs) {
        const uint64_t rs = pos, re = pos + r.length;
        pos = re;
        if (re <= cut) continue;
        appendRun(out, re - std::max(rs, cut), r.attributes);
    }
    runs = std::move(out);
}

} // namespace

void RellumTextStorage::replaceInLine(std::size_t lineIndex, uint64_t at, uint64_t length,
                                      std::u16string_view text,
                                      const std::vector<RellumAttributedString::Run>* runs,
                                      const AttributesPtr& fallback) {
    Line& line = lines_[lineIndex];
    std::vector<std::pair<uint64_t, AttributesPtr>> insert;
    if (runs) {
        insert.reserve(runs->size());
        for (const auto& r : *runs)
            insert.emplace_back(r.range.length, widened(r.attributes));
    } else if (!text.empty()) {
        insert.emplace_back(text.size(), fallback);
    }
    // The common case, text appended at the end of a line.
    if (length == 0 && at == line.text.size() && (line.text.empty() || line.text.back() != u'\n')) {
        line.text.append(text);
        for (const auto& r : insert)
            appendRun(line.runs, r.first, r.second);
    } else {
        line.text.replace(at, length, text);
        spliceRuns(line.runs, at, length, insert);
    }
    const int64_t delta = int64_t(text.size()) - int64_t(length);
    length_ = uint64_t(int64_t(length_) + delta);
    ripple(lineIndex + 1, delta);
}

void RellumTextStorage::replaceAcrossLines(RellumRange range, std::u16string_view text,
                                           const std::vector<RellumAttributedString::Run>* runs,
                                           const AttributesPtr& fallback) {
    const std::size_t first = lineIndexAt(range.location);
    std::size_t last = range.end() >= length_ ? lines_.size() - 1 : lineIndexAt(range.end());
    // A range ending right after a "\n" ends in the line that follows.
    const uint64_t firstStart = startOf(lines_[first]);

    // The affected lines as one piece.
    Line joined;
    for (std::size_t i = first; i <= last; ++i) {
        joined.text += lines_[i].text;
        for (const Run& r : lines_[i].runs)
            appendRun(joined.runs, r.length, r.attributes);
    }
    std::vector<std::pair<uint64_t, AttributesPtr>> insert;
    if (runs) {
        for (const auto& r : *runs)
            insert.emplace_back(r.range.length, widened(r.attributes));
    } else if (!text.empty()) {
        insert.emplace_back(text.size(), fallback);
    }
    const uint64_t at = range.location - firstStart;
    joined.text.replace(at, range.length, text);
    spliceRuns(joined.runs, at, range.length, insert);

    // Split again after each "\n".
    std::vector<Line> pieces;
    std::size_t pos = 0, runIndex = 0;
    uint64_t runUsed = 0;
    uint64_t absolute = lines_[first].absoluteStart;
    while (true) {
        const std::size_t nl = joined.text.find(u'\n', pos);
        const std::size_t end = nl == std::u16string::npos ? joined.text.size() : nl + 1;
        Line piece;
        piece.absoluteStart = absolute;
        piece.text.assign(joined.text, pos, end - pos);
        uint64_t need = end - pos;
        while (need > 0 && runIndex < joined.runs.size()) {
            const Run& r = joined.runs[runIndex];
            const uint64_t take = std::min<uint64_t>(need, r.length - runUsed);
            appendRun(piece.runs, take, r.attributes);
            need -= take;
            runUsed += take;
            if (runUsed == r.length) {
                ++runIndex;
                runUsed = 0;
            }
        }
        absolute += piece.text.size();
        if (nl != std::u16string::npos) {
            // A finished line rarely changes again: keep no spare capacity.
            piece.text.shrink_to_fit();
            piece.runs.shrink_to_fit();
        }
        pieces.push_back(std::move(piece));
        if (nl == std::u16string::npos) break;
        pos = end;
        // Text after the last "\n" of the piece (possibly empty) forms the
        // next line only when the joined lines ran on past it: the last line
        // of the storage, or a piece not ending the joined text.
        if (pos == joined.text.size() && last + 1 < lines_.size()) break;
    }
    const int64_t delta = int64_t(text.size()) - int64_t(range.length);
    lines_.erase(lines_.begin() + int64_t(first), lines_.begin() + int64_t(last) + 1);
    lines_.insert(lines_.begin() + int64_t(first), std::make_move_iterator(pieces.begin()),
                  std::make_move_iterator(pieces.end()));
    length_ = uint64_t(int64_t(length_) + delta);
    ripple(first + pieces.size(), delta);
    lineHint_ = first;
    if (lines_.empty()) lines_.emplace_back();
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
        const uint64_t to = std::min<uint64_t>(line.text.size(), range.end() - start);
        bool changes = false;
        uint64_t pos = 0;
        for (const Run& r : line.runs) {
            if (pos < to && pos + r.length > from && map(r.attributes) != r.attributes) changes = true;
            pos += r.length;
        }
        if (!changes) continue;
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
    if (observer_) observer_(range, delta);
}

void RellumTextStorage::noteEdit(RellumRange editedRange, int64_t changeInLength) {
    if (editingDepth_ == 0) {
        if (observer_) observer_(editedRange, changeInLength);
        return;
    }
    if (!edited_) {
        edited_ = true;
        editedRange_ = editedRange;
    } else {
        // The union, in the newest text's offsets.
        const uint64_t start = std::min(editedRange_.location, editedRange.location);
        uint64_t end = std::max(int64_t(editedRange_.end()) +
                                    (editedRange.location <= editedRange_.location ? changeInLength : 0),
                                int64_t(editedRange.end()));
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
