#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// String helpers of the terminal: double-width tests, the text a paste or a
// drop of files sends, shell escaping and small utilities. Text is UTF-8
// unless an operation works on text-storage offsets, which are UTF-16.

// A run of UTF-16 units.
struct RellumCharacterRange {
    std::size_t location = 0;
    std::size_t length = 0;

    friend bool operator==(const RellumCharacterRange&, const RellumCharacterRange&) = default;
};

// Whether the code point takes two cells: never below U+00A1 nor from U+0453 to
// U+10FF; always in the full-width set; in the ambiguous-width set when asked.
bool rellum_isDoubleWidthCharacter(char32_t c, bool ambiguousIsDoubleWidth);
// The test on the one UTF-16 unit at `index`; either half of a surrogate pair
// and an index past the end are not double width.
bool rellum_isDoubleWidthCharacterAtIndex(std::u16string_view s, std::size_t index,
                                          bool ambiguousIsDoubleWidth = false);
bool rellum_hasDoubleWidthCharacter(std::u16string_view s, bool ambiguousIsDoubleWidth = false);
// One range per maximal run of double-width units, in order.
std::vector<RellumCharacterRange> rellum_fetchWideCharacterRanges(std::u16string_view s);

// What a pasteboard offers, each kind only when present.
struct RellumPasteboard {
    std::optional<std::vector<std::string>> fileNames; // paths of copied or dragged files
    std::optional<std::string> string;                 // plain text
};

// The text to send for a pasteboard's contents: file names escaped for the
// shell and joined by spaces when it has any, else its plain text; nothing
// when that is empty or missing. The pasteboard must not be null.
std::optional<std::string> rellum_stringFromPasteboard(const RellumPasteboard* pasteboard);

// The 29 characters that shell escaping marks.
const std::u32string& rellum_shellEscapableCharacters();
// The text with a backslash before the first escapable character of every
// composed character sequence that has one.
std::string rellum_stringWithEscapedShellCharacters(std::string_view text);

std::string rellum_repeatWithCount(std::string_view text, std::size_t count);
std::string rellum_repeatNewlineWithCount(std::size_t count);

// Byte ranges (offset, length) of the composed character sequences of UTF-8 text.
std::vector<std::pair<std::size_t, std::size_t>> rellum_composedCharacterSequences(std::string_view text);
// Number of composed character sequences.
std::size_t rellum_commonSenseLength(std::string_view text);
