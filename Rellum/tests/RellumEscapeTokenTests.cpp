#include "Rellum/RellumEscapeToken.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using E = RellumEscapeToken::Element;

E text(const char* s) {
    return E(std::string(s));
}
E token(const char* typed, unsigned char byte) {
    return E(RellumEscapeToken(typed, std::string(1, static_cast<char>(byte))));
}

struct Row {
    const char* input;
    std::vector<E> tokens;
};

TEST(RellumEscapeToken, EveryEscapeForm) {
    const Row rows[] = {
        {"\\\\", {token("\\\\", 0x5C)}},
        {"\\a", {token("\\a", 0x07)}},
        {"\\b", {token("\\b", 0x08)}},
        {"\\e", {token("\\e", 0x1B)}},
        {"\\f", {token("\\f", 0x0C)}},
        {"\\n", {token("\\n", 0x0A)}},
        {"\\r", {token("\\r", 0x0D)}},
        {"\\t", {token("\\t", 0x09)}},
        {"\\v", {token("\\v", 0x0B)}},
        {"\\'", {token("\\'", 0x27)}},
        {"\\\"", {token("\\\"", 0x22)}},
        {"\\?", {token("\\?", 0x3F)}},
        // Octal: one to three digits, value modulo 256.
        {"\\0", {token("\\0", 0x00)}},
        {"\\7", {token("\\7", 0x07)}},
        {"\\12", {token("\\12", 0x0A)}},
        {"\\033", {token("\\033", 0x1B)}},
        {"\\177", {token("\\177", 0x7F)}},
        {"\\400", {token("\\400", 0x00)}},
        {"\\777", {token("\\777", 0xFF)}},
        {"\\1234", {token("\\123", 0x53), text("4")}},
        {"\\08", {token("\\0", 0x00), text("8")}},
        // Hex: one or two digits, either case.
        {"\\x1b", {token("\\x1b", 0x1B)}},
        {"\\x1B", {token("\\x1B", 0x1B)}},
        {"\\xF", {token("\\xF", 0x0F)}},
        {"\\xff", {token("\\xff", 0xFF)}},
        {"\\x41G", {token("\\x41", 0x41), text("G")}},
        {"\\x414", {token("\\x41", 0x41), text("4")}},
        // Literal runs keep their places around tokens.
        {"ls\\r", {text("ls"), token("\\r", 0x0D)}},
        {"a\\tb", {text("a"), token("\\t", 0x09), text("b")}},
        {"\\e[A\\e[B", {token("\\e", 0x1B), text("[A"), token("\\e", 0x1B), text("[B")}},
        {"\\r\\n", {token("\\r", 0x0D), token("\\n", 0x0A)}},
        {"caf\xc3\xa9\\n", {text("caf\xc3\xa9"), token("\\n", 0x0A)}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RellumEscapeToken::tokensFromString(row.input), row.tokens) << row.input;
}

TEST(RellumEscapeToken, MalformedEscapesStayLiteral) {
    const Row rows[] = {
        {"", {}},
        {"plain", {text("plain")}},
        {"abc\\", {text("abc\\")}},
        {"\\", {text("\\")}},
        {"\\q", {text("\\q")}},
        {"\\x", {text("\\x")}},
        {"\\xg", {text("\\xg")}},
        {"\\8", {text("\\8")}},
        {"\\E", {text("\\E")}},
        {"a\\qb\\n", {text("a\\qb"), token("\\n", 0x0A)}},
        // An unknown escape consumes its character, which cannot start another escape.
        {"\\z\\", {text("\\z\\")}},
        {"\\\\\\", {token("\\\\", 0x5C), text("\\")}},
        {"\\\xc3\xa9", {text("\\\xc3\xa9")}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RellumEscapeToken::tokensFromString(row.input), row.tokens) << row.input;
}

TEST(RellumEscapeToken, ConvertingBackGivesTheTypedText) {
    const char* inputs[] = {"",      "ls\\r", "a\\tb",  "\\1234",    "\\x41G", "\\q\\e",
                            "abc\\", "\\777", "\\\\\\", "\\x\\xg\\", "\\08",   "\\?\\'\\\"\\a\\b\\f\\v"};
    for (const char* input : inputs)
        EXPECT_EQ(RellumEscapeToken::convertToStringFromTokens(RellumEscapeToken::tokensFromString(input)),
                  input);
    EXPECT_EQ(RellumEscapeToken::convertToStringFromTokens({text("a"), token("\\t", 0x09), text("b")}),
              "a\\tb");
}

} // namespace

namespace {

// Random texts over the characters that matter to the tokenizer: whatever the
// text, the tokens give it back, literal runs never hold a known escape, and
// every token's typed form yields its byte again when tokenized alone.
TEST(RellumEscapeToken, RandomTextsRoundTrip) {
    const std::string alphabet = "\\\\\\aenrtx0178Ffg?'\"q \xc3\xa9";
    std::mt19937 random(20261208);
    for (int round = 0; round < 2000; ++round) {
        std::string input;
        const int length = static_cast<int>(random() % 12);
        for (int i = 0; i < length; ++i)
            input.push_back(alphabet[random() % alphabet.size()]);
        const auto tokens = RellumEscapeToken::tokensFromString(input);
        ASSERT_EQ(RellumEscapeToken::convertToStringFromTokens(tokens), input);
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            if (const auto* token = std::get_if<RellumEscapeToken>(&tokens[i])) {
                ASSERT_EQ(token->escaped().size(), 1u) << input;
                const auto alone = RellumEscapeToken::tokensFromString(token->string());
                ASSERT_EQ(alone.size(), 1u) << input;
                ASSERT_EQ(std::get<RellumEscapeToken>(alone[0]), *token) << input;
            } else if (i + 1 < tokens.size()) {
                // Two literal runs never follow each other.
                ASSERT_TRUE(std::holds_alternative<RellumEscapeToken>(tokens[i + 1])) << input;
            }
        }
    }
}

} // namespace
