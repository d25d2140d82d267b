#include "Rellum/Categories/NSData+Rellum.h"
#include "Rellum/Categories/NSString+Rellum.h"

#include <gtest/gtest.h>

namespace {

TEST(NSStringRellum, DoubleWidthCodePoints) {
    struct Row {
        char32_t c;
        bool wide;
    };
    const Row rows[] = {
        {U'a', false},    {0xA0, false},   {0x10FF, false}, {0x1100, true},   {0x115F, true},
        {0x1160, false},  {0x2329, true},  {0x232A, true},  {0x232B, false},  {0x3000, true},
        {0x4E00, true},   {0xAC00, true},  {0xD7A3, true},  {0xD7A4, false},  {0xFF01, true},
        {0xFF21, true},   {0xFF60, true},  {0xFF61, false}, {0xFFE6, true},   {0xFFE7, false},
        {0x1F600, false}, // emoji are not in the set
        {0x1F200, true},  {0x20000, true}, {0x2FFFD, true}, {0x2FFFE, false}, {0x3FFFD, true},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(rellum_isDoubleWidthCharacter(row.c, false), row.wide) << std::hex << unsigned(row.c);
        EXPECT_EQ(rellum_isDoubleWidthCharacter(row.c, true), row.wide) << std::hex << unsigned(row.c);
    }
}

TEST(NSStringRellum, AmbiguousCharactersAreWideOnlyWhenAsked) {
    struct Row {
        char32_t c;
        bool wideWhenAmbiguousIsWide;
    };
    const Row rows[] = {
        {0x00A1, true},  {0x00A7, true},  {0x00E9, true},  {0x0410, true},  {0x0451, true},
        {0x2010, true},  {0x2160, true},  {0xE000, true},  {0xFFFD, true},  {0x0300, true},
        {0x00A0, false}, {0x00A2, false}, {0x0041, false}, {0x0452, false}, // not ambiguous
        {0x0500, false},                                                    // never wide: U+0453 to U+10FF
    };
    for (const auto& row : rows) {
        EXPECT_EQ(rellum_isDoubleWidthCharacter(row.c, true), row.wideWhenAmbiguousIsWide)
            << std::hex << unsigned(row.c);
        EXPECT_FALSE(rellum_isDoubleWidthCharacter(row.c, false)) << std::hex << unsigned(row.c);
    }
    EXPECT_TRUE(rellum_isDoubleWidthCharacterAtIndex(u"x\u2160", 1, true));
    EXPECT_FALSE(rellum_isDoubleWidthCharacterAtIndex(u"x\u2160", 1));
    EXPECT_TRUE(rellum_hasDoubleWidthCharacter(u"caf\u00e9", true));
    EXPECT_FALSE(rellum_hasDoubleWidthCharacter(u"caf\u00e9"));
}

TEST(NSStringRellum, IndexTestsWorkOnUTF16Units) {
    const std::u16string text = u"a\u4E00\U0001F600\U00020000b";
    // a, U+4E00, surrogate pair, surrogate pair, b
    ASSERT_EQ(text.size(), 7u);
    const bool expected[] = {false, true, false, false, false, false, false};
    for (std::size_t i = 0; i < text.size(); ++i)
        EXPECT_EQ(rellum_isDoubleWidthCharacterAtIndex(text, i), expected[i]) << i;
    EXPECT_FALSE(rellum_isDoubleWidthCharacterAtIndex(text, 7));
    EXPECT_FALSE(rellum_isDoubleWidthCharacterAtIndex(text, 1000));
    EXPECT_TRUE(rellum_hasDoubleWidthCharacter(text));
    EXPECT_FALSE(rellum_hasDoubleWidthCharacter(u"plain \U0001F600 text"));
    EXPECT_FALSE(rellum_hasDoubleWidthCharacter(u""));
}

TEST(NSStringRellum, WideCharacterRanges) {
    using R = RellumCharacterRange;
    const std::pair<std::u16string, std::vector<R>> rows[] = {
        {u"", {}},
        {u"abc", {}},
        {u"\uFF21\uFF22", {{0, 2}}},
        {u"x\uFF21\uFF22y", {{1, 2}}},
        {u"\u4E00a\u4E01\u4E02b\u4E03", {{0, 1}, {2, 2}, {5, 1}}},
        {u"\u4E00\U00020000\u4E01", {{0, 1}, {3, 1}}},
    };
    for (const auto& [text, ranges] : rows)
        EXPECT_EQ(rellum_fetchWideCharacterRanges(text), ranges);
}

TEST(NSStringRellum, ShellEscaping) {
    EXPECT_EQ(rellum_shellEscapableCharacters().size(), 29u);
    const std::pair<const char*, const char*> rows[] = {
        {"", ""},
        {"/tmp/plain-file_1.txt", "/tmp/plain-file_1.txt"},
        {"/tmp/my file", "/tmp/my\\ file"},
        {"a\tb", "a\\\tb"},
        {"$HOME", "\\$HOME"},
        {"`~!#$%&*()=[]\\;',{}|:\"<>? ",
         "\\`\\~\\!\\#\\$\\%\\&\\*\\(\\)\\=\\[\\]\\\\\\;\\'\\,\\{\\}\\|\\:\\\"\\<\\>\\?\\ "},
        {"a\nb", "a\\\nb"},
        // CR LF is one composed sequence and gets one backslash.
        {"a\r\nb", "a\\\r\nb"},
        // A mark on an escapable character belongs to its sequence.
        {"\xc3\xa9 \xcc\x81x", "\xc3\xa9\\ \xcc\x81x"},
        {"caf\xc3\xa9 (1)", "caf\xc3\xa9\\ \\(1\\)"},
        {"\xe4\xb8\x80&", "\xe4\xb8\x80\\&"},
        {"@+-_./^", "@+-_./^"},
    };
    for (const auto& [text, escaped] : rows)
        EXPECT_EQ(rellum_stringWithEscapedShellCharacters(text), escaped) << text;
}

TEST(NSStringRellum, PasteboardText) {
    using P = RellumPasteboard;
    const std::pair<P, std::optional<std::string>> rows[] = {
        {P{{{"/tmp/my file"}}, std::nullopt}, "/tmp/my\\ file"},
        {P{{{"/a b", "/c"}}, "ignored"}, "/a\\ b /c"},
        {P{{std::vector<std::string>{}}, "text"}, std::nullopt}, // file names win even when empty
        {P{std::nullopt, "plain text"}, "plain text"},
        {P{std::nullopt, ""}, ""},
        {P{std::nullopt, std::nullopt}, std::nullopt},
    };
    for (const auto& [pasteboard, expected] : rows)
        EXPECT_EQ(rellum_stringFromPasteboard(&pasteboard), expected);
}

TEST(NSStringRellumDeathTest, NullPasteboardIsAnAssertion) {
    EXPECT_DEATH(rellum_stringFromPasteboard(nullptr), "pasteboard != nullptr");
}

TEST(NSStringRellum, RepeatAndComposedLength) {
    EXPECT_EQ(rellum_repeatWithCount("ab", 0), "");
    EXPECT_EQ(rellum_repeatWithCount("ab", 3), "ababab");
    EXPECT_EQ(rellum_repeatWithCount("", 5), "");
    EXPECT_EQ(rellum_repeatNewlineWithCount(0), "");
    EXPECT_EQ(rellum_repeatNewlineWithCount(3), "\n\n\n");

    const std::pair<const char*, std::size_t> rows[] = {
        {"", 0},
        {"abc", 3},
        {"e\xcc\x81", 1},        // e + combining acute
        {"\xf0\x9f\x98\x80", 1}, // one emoji, four bytes
        {"\r\n", 1},             // CR LF
        {"\n\r", 2},
        {"\xf0\x9f\x87\xa9\xf0\x9f\x87\xaa\xf0\x9f\x87\xab",
         2},                                                 // three regional indicators: a flag and one more
        {"\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9", 1}, // man ZWJ woman
        {"\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd", 1},             // thumbs up with a skin tone
        {"\xe1\x84\x80\xe1\x85\xa1\xe1\x86\xa8", 1},
        {"\xf0\x9f\x8f\xb4\xf3\xa0\x81\xa7\xf3\xa0\x81\xa2\xf3\xa0\x81\xa5\xf3\xa0\x81\xae\xf3\xa0\x81\xa7"
         "\xf3\xa0\x81\xbf",
         1},                             // a flag of tag characters
        {"\xef\xbd\xb6\xef\xbe\x9e", 1}, // halfwidth KA with its voicing mark         // Hangul L V T
        {"\xea\xb0\x80\xe1\x86\xa8", 1}, // Hangul LV T
        {"a\x01\xcc\x81", 3},            // marks never join a control
        {"\xe0\xa4\x95\xe0\xa4\xbf", 1}, // Devanagari KA + vowel sign I (spacing mark)
    };
    for (const auto& [text, length] : rows)
        EXPECT_EQ(rellum_commonSenseLength(text), length) << text;
}

TEST(NSDataRellum, ReadableString) {
    EXPECT_EQ(rellum_readableString("a\n \x7f"), "a\xe2\x90\x8a\xe2\x90\xa3\xe2\x90\xa1");
    EXPECT_EQ(rellum_readableString("\x1b[1m"), "\xe2\x90\x9b[1m");
    EXPECT_EQ(rellum_readableString("\xc3\xa9"), "\xc3\xa9");
    EXPECT_EQ(rellum_readableString(""), "");
    EXPECT_EQ(rellum_hexFromStr(std::string("\x00 \x7f\x41", 4)), "\xe2\x90\x80\xe2\x90\xa3\xe2\x90\xa1");
}

} // namespace
