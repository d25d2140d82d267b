#include "Rellum/Categories/NSString+Rellum.h"

#include "Foundation/Assert.h"
#include "Rellum/Categories/RellumUTF8.h"
#include "Rellum/RellumElement.h"

namespace {

// Characters that extend the one before them: combining marks, the
// non-joiner, halfwidth sound marks, emoji skin tones and tag characters.
bool isExtend(char32_t c) {
    return RellumIsMarkCodePoint(c) || c == 0x200C || c == 0xFF9E || c == 0xFF9F ||
           (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F);
}

constexpr char32_t ZWJ = 0x200D;

bool isControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

bool isRegionalIndicator(char32_t c) {
    return c >= 0x1F1E6 && c <= 0x1F1FF;
}

// Pictographs that a joiner binds into one emoji sequence.
bool isPictographic(char32_t c) {
    return (c >= 0x2300 && c <= 0x23FF) || (c >= 0x2600 && c <= 0x27BF) || (c >= 0x2B00 && c <= 0x2BFF) ||
           (c >= 0x1F000 && c <= 0x1FAFF) || (c >= 0x1FC00 && c <= 0x1FFFD) || c == 0x00A9 || c == 0x00AE ||
           c == 0x203C || c == 0x2049 || c == 0x2122 || c == 0x2139;
}

enum class Hangul { None, L, V, T, LV, LVT };

Hangul hangulType(char32_t c) {
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0xA960 && c <= 0xA97C)) return Hangul::L;
    if ((c >= 0x1160 && c <= 0x11A7) || (c >= 0xD7B0 && c <= 0xD7C6)) return Hangul::V;
    if ((c >= 0x11A8 && c <= 0x11FF) || (c >= 0xD7CB && c <= 0xD7FB)) return Hangul::T;
    if (c >= 0xAC00 && c <= 0xD7A3) return (c - 0xAC00) % 28 == 0 ? Hangul::LV : Hangul::LVT;
    return Hangul::None;
}

// Whether a sequence ending in `prev` goes on with `next`. `pictographicBeforeJoiner`:
// the sequence holds a pictograph; `riCount`: regional indicators in a row at its end.
bool joins(char32_t prev, char32_t next, bool pictographicBeforeJoiner, std::size_t riCount) {
    if (prev == '\r' && next == '\n') return true;
    if (isControl(prev) || isControl(next)) return false;
    const Hangul hp = hangulType(prev), hn = hangulType(next);
    if (hp == Hangul::L && (hn == Hangul::L || hn == Hangul::V || hn == Hangul::LV || hn == Hangul::LVT))
        return true;
    if ((hp == Hangul::LV || hp == Hangul::V) && (hn == Hangul::V || hn == Hangul::T)) return true;
    if ((hp == Hangul::LVT || hp == Hangul::T) && hn == Hangul::T) return true;
    if (isExtend(next) || next == ZWJ) return true;
    if (prev == ZWJ && pictographicBeforeJoiner && isPictographic(next)) return true;
    if (isRegionalIndicator(prev) && isRegionalIndicator(next)) return riCount % 2 == 1;
    return false;
}

} // namespace

bool rellum_isDoubleWidthCharacter(char32_t c, bool ambiguousIsDoubleWidth) {
    if (c <= 0xA0 || (c >= 0x0453 && c <= 0x10FF)) return false;
    if (RellumIsWideCodePoint(c)) return true;
    return ambiguousIsDoubleWidth && RellumIsAmbiguousWidthCodePoint(c);
}

bool rellum_isDoubleWidthCharacterAtIndex(std::u16string_view s, std::size_t index,
                                          bool ambiguousIsDoubleWidth) {
    if (index >= s.size()) return false;
    const char16_t unit = s[index];
    if (unit >= 0xD800 && unit <= 0xDFFF) return false;
    return rellum_isDoubleWidthCharacter(unit, ambiguousIsDoubleWidth);
}

bool rellum_hasDoubleWidthCharacter(std::u16string_view s, bool ambiguousIsDoubleWidth) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (rellum_isDoubleWidthCharacterAtIndex(s, i, ambiguousIsDoubleWidth)) return true;
    return false;
}

std::vector<RellumCharacterRange> rellum_fetchWideCharacterRanges(std::u16string_view s) {
    std::vector<RellumCharacterRange> ranges;
    for (std::size_t i = 0; i < s.size();) {
        if (!rellum_isDoubleWidthCharacterAtIndex(s, i)) {
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        while (end < s.size() && rellum_isDoubleWidthCharacterAtIndex(s, end))
            ++end;
        ranges.push_back({i, end - i});
        i = end;
    }
    return ranges;
}

std::optional<std::string> rellum_stringFromPasteboard(const RellumPasteboard* pasteboard) {
    ORVIK_ASSERT(pasteboard != nullptr);
    if (pasteboard->fileNames) {
        std::string joined;
        for (const auto& path : *pasteboard->fileNames) {
            if (!joined.empty()) joined += ' ';
            joined += rellum_stringWithEscapedShellCharacters(path);
        }
        if (joined.empty()) return std::nullopt;
        return joined;
    }
    return pasteboard->string;
}

const std::u32string& rellum_shellEscapableCharacters() {
    static const std::u32string set = U"\r\n`~!#$%&*()=[]\\;',{}|:\"<>? \t";
    return set;
}

std::string rellum_stringWithEscapedShellCharacters(std::string_view text) {
    const auto& escapable = rellum_shellEscapableCharacters();
    // Sequences are visited from the end so that insertions never move a
    // position still to be visited.
    std::string out(text);
    const auto sequences = rellum_composedCharacterSequences(text);
    for (auto it = sequences.rbegin(); it != sequences.rend(); ++it) {
        const auto [offset, length] = *it;
        for (std::size_t pos = offset; pos < offset + length;) {
            const std::size_t at = pos;
            const char32_t c = rellum_detail::decodeUTF8(text, pos);
            if (escapable.find(c) != std::u32string::npos) {
                out.insert(at, 1, '\\');
                break;
            }
        }
    }
    return out;
}

std::string rellum_repeatWithCount(std::string_view text, std::size_t count) {
    std::string out;
    out.reserve(text.size() * count);
    for (std::size_t i = 0; i < count; ++i)
        out += text;
    return out;
}

std::string rellum_repeatNewlineWithCount(std::size_t count) {
    return std::string(count, '\n');
}

std::vector<std::pair<std::size_t, std::size_t>> rellum_composedCharacterSequences(std::string_view text) {
    std::vector<std::pair<std::size_t, std::size_t>> sequences;
    std::size_t start = 0;
    char32_t prev = 0;
    bool pictographic = false; // the sequence so far is a pictograph with extenders
    std::size_t riCount = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t at = pos;
        const char32_t c = rellum_detail::decodeUTF8(text, pos);
        if (at == 0 || !joins(prev, c, pictographic, riCount)) {
            if (at != 0) sequences.emplace_back(start, at - start);
            start = at;
            pictographic = isPictographic(c);
            riCount = 0;
        } else if (isPictographic(c)) {
            pictographic = true;
        }
        riCount = isRegionalIndicator(c) ? riCount + 1 : 0;
        prev = c;
    }
    if (!text.empty()) sequences.emplace_back(start, text.size() - start);
    return sequences;
}

std::size_t rellum_commonSenseLength(std::string_view text) {
    return rellum_composedCharacterSequences(text).size();
}
