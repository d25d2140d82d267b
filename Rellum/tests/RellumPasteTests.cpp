#include "Rellum/RellumPaste.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(RellumPaste, WithAndWithoutBracketing) {
    struct Row {
        const char* text;
        const char* plain;
        const char* bracketed;
    };
    const Row rows[] = {
        {"", "", ""}, // an empty paste sends nothing, bracketed or not
        {"ls", "ls", "\x1b[200~ls\x1b[201~"},
        {"a\nb\r\n", "a\nb\r\n", "\x1b[200~a\nb\r\n\x1b[201~"},
        {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9", "\x1b[200~\xc3\xa9t\xc3\xa9\x1b[201~"},
        // The start marker inside the text cannot end the bracket; it stays.
        {"x\x1b[200~y", "x\x1b[200~y", "\x1b[200~x\x1b[200~y\x1b[201~"},
        // Escapes other than the end marker are the user's text.
        {"\x1b[A", "\x1b[A", "\x1b[200~\x1b[A\x1b[201~"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RellumPasteSequence(row.text, false), row.plain) << row.text;
        EXPECT_EQ(RellumPasteSequence(row.text, true), row.bracketed) << row.text;
    }
}

TEST(RellumPaste, EndMarkerNeverEscapesTheBracket) {
    struct Row {
        const char* text;
        const char* inside; // what goes between the markers
    };
    const Row rows[] = {
        {"echo hi\x1b[201~rm -rf ~\r", "echo hirm -rf ~\r"},
        {"\x1b[201~", ""},
        {"\x1b[201~\x1b[201~a\x1b[201~", "a"},
        // Removing an inner marker must not leave a new one behind.
        {"\x1b[20\x1b[201~1~x", "x"},
        {"\x1b\x1b[201~[201~", ""},
        {"\x1b[\x1b[20\x1b[201~1~201~!", "!"},
        // Near misses are left alone.
        {"\x1b[201", "\x1b[201"},
        {"\x1b[202~", "\x1b[202~"},
    };
    for (const auto& row : rows) {
        const std::string sent = RellumPasteSequence(row.text, true);
        EXPECT_EQ(sent, std::string("\x1b[200~") + row.inside + "\x1b[201~") << row.text;
        // Exactly one end marker, at the very end.
        EXPECT_EQ(sent.find("\x1b[201~"), sent.size() - 6) << row.text;
    }
    // Without bracketing there is no bracket to escape and the text is sent as it is.
    EXPECT_EQ(RellumPasteSequence("a\x1b[201~b", false), "a\x1b[201~b");
}

TEST(RellumPaste, NewlinesAsCarriageReturns) {
    const std::pair<const char*, const char*> rows[] = {
        {"", ""},           {"a", "a"},       {"a\r\nb\nc", "a\rb\rc"}, {"\n\n", "\r\r"},
        {"\r\r\n", "\r\r"}, {"a\rb", "a\rb"}, {"\r\n\r\n", "\r\r"},     {"x\n\r", "x\r\r"},
    };
    for (const auto& [text, expected] : rows)
        EXPECT_EQ(RellumNewlinesAsCarriageReturns(text), expected) << text;
}

} // namespace

namespace {

// Random texts built from the pieces of the end marker: the bracketed form
// always carries exactly one end marker, at its end, and text without a marker
// passes unchanged.
TEST(RellumPaste, RandomTextsNeverCarryTheEndMarker) {
    const std::string pieces[] = {"\x1b", "[", "2", "0", "1", "~", "a", "\x1b[201~", "\x1b[20", "1~"};
    std::mt19937 random(4711);
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        const int count = 1 + static_cast<int>(random() % 10);
        for (int i = 0; i < count; ++i)
            text += pieces[random() % std::size(pieces)];
        const std::string sent = RellumPasteSequence(text, true);
        ASSERT_TRUE(sent.starts_with("\x1b[200~")) << text;
        ASSERT_EQ(sent.find("\x1b[201~"), sent.size() - 6) << text;
        const std::string inside = sent.substr(6, sent.size() - 12);
        ASSERT_LE(inside.size(), text.size());
        if (text.find("\x1b[201~") == std::string::npos) {
            ASSERT_EQ(inside, text);
        }
    }
}

} // namespace
