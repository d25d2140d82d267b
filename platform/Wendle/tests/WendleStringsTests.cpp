#include "Wendle/WendleFunctions.h"
#include "Wendle/WendleStrings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

using V = std::vector<std::string>;

TEST(ComponentsInShellCommand, BlanksSeparateWords) {
    EXPECT_EQ(componentsInShellCommand("ls  -la\t/tmp\n"), (V{"ls", "-la", "/tmp"}));
    EXPECT_EQ(componentsInShellCommand(""), V{});
    EXPECT_EQ(componentsInShellCommand("  \t "), V{});
}

TEST(ComponentsInShellCommand, QuotesKeepBlanksAndMakeEmptyWords) {
    EXPECT_EQ(componentsInShellCommand("-fp \"john smith\" top"), (V{"-fp", "john smith", "top"}));
    EXPECT_EQ(componentsInShellCommand("a '' \"\" b"), (V{"a", "", "", "b"}));
    EXPECT_EQ(componentsInShellCommand("pre'fix  'mid\"dle \"post"), (V{"prefix  middle post"}));
}

TEST(ComponentsInShellCommand, SingleQuotesAreLiteral) {
    EXPECT_EQ(componentsInShellCommand(R"('a\b "c" $d')"), (V{R"(a\b "c" $d)"}));
}

TEST(ComponentsInShellCommand, BackslashesInAndOutOfDoubleQuotes) {
    EXPECT_EQ(componentsInShellCommand(R"(a\ b c\"d \\)"), (V{"a b", "c\"d", "\\"}));
    EXPECT_EQ(componentsInShellCommand(R"("x\"y\\z\$w\n")"), (V{R"(x"y\z$w\n)"}));
    EXPECT_EQ(componentsInShellCommand("ab\\\ncd"), (V{"abcd"}));     // line continuation
    EXPECT_EQ(componentsInShellCommand("\"ab\\\ncd\""), (V{"abcd"})); // also inside double quotes
    EXPECT_EQ(componentsInShellCommand("'it'\\''s'"), (V{"it's"}));   // the usual quote escape
    EXPECT_EQ(componentsInShellCommand("end\\"), (V{"end\\"}));       // lone final backslash
}

TEST(ComponentsInShellCommand, UnfinishedQuotesRunToTheEnd) {
    EXPECT_EQ(componentsInShellCommand("a 'b c"), (V{"a", "b c"}));
    EXPECT_EQ(componentsInShellCommand("a \"b c\\"), (V{"a", "b c\\"}));
    EXPECT_EQ(componentsInShellCommand("\""), (V{""}));
}

TEST(ComponentsInShellCommand, ShellSyntaxIsJustText) {
    EXPECT_EQ(componentsInShellCommand("a;b $(rm -rf x) `id` | c > d"),
              (V{"a;b", "$(rm", "-rf", "x)", "`id`", "|", "c", ">", "d"}));
}

TEST(WendleComponentsSeparated, LeavesOutEmptyPieces) {
    EXPECT_EQ(wendle_componentsSeparatedByString("  a b   c ", " "), (V{"a", "b", "c"}));
    EXPECT_EQ(wendle_componentsSeparatedByString("   ", " "), V{});
    EXPECT_EQ(wendle_componentsSeparatedByString("", " "), V{});
    EXPECT_EQ(wendle_componentsSeparatedByString("a--b----c--", "--"), (V{"a", "b", "c"}));
    EXPECT_EQ(wendle_componentsSeparatedByString("a-b", ""), V{"a-b"});
    EXPECT_EQ(wendle_componentsSeparatedByString("abc", "abcd"), V{"abc"});
}

TEST(WendleScanUInteger, AcceptsPlainDecimalNumbers) {
    EXPECT_EQ(wendle_scanUInteger("0"), 0u);
    EXPECT_EQ(wendle_scanUInteger("42"), 42u);
    EXPECT_EQ(wendle_scanUInteger("  +7 "), 7u);
    EXPECT_EQ(wendle_scanUInteger("007"), 7u);
    EXPECT_EQ(wendle_scanUInteger("18446744073709551615"), UINT64_MAX);
}

TEST(WendleScanUInteger, SaturatesHugeNumbers) {
    EXPECT_EQ(wendle_scanUInteger("18446744073709551616"), UINT64_MAX);
    EXPECT_EQ(wendle_scanUInteger(std::string(5000, '9')), UINT64_MAX);
}

TEST(WendleScanUInteger, RejectsEverythingElse) {
    for (const char* text : {"", " ", "+", "-1", "1a", "a1", "1 2", "0x10", "1.5", "++1", "1:2"})
        EXPECT_FALSE(wendle_scanUInteger(text).has_value()) << text;
}

TEST(WendleGetHostNotation, BracketsIPv6Literals) {
    EXPECT_EQ(WendleGetHostNotation("example.org", 22), "example.org:22");
    EXPECT_EQ(WendleGetHostNotation("10.0.0.1", 2222), "10.0.0.1:2222");
    EXPECT_EQ(WendleGetHostNotation("::1", 22), "[::1]:22");
    EXPECT_EQ(WendleGetHostNotation("fe80::1%eth0", 65535), "[fe80::1%eth0]:65535");
    EXPECT_EQ(WendleGetHostNotation("[::1]", 22), "[::1]:22"); // not bracketed twice
}

TEST(WendleGetUserRealHomePath, ComesFromThePasswordDatabaseNotHome) {
    passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    std::string expected = entry->pw_dir;
    const char* old = std::getenv("HOME");
    std::string saved = old ? old : "";
    setenv("HOME", "/nonexistent/elsewhere", 1);
    std::string home = WendleGetUserRealHomePath();
    if (old)
        setenv("HOME", saved.c_str(), 1);
    else
        unsetenv("HOME");
    EXPECT_EQ(home, expected);
    EXPECT_NE(home, "/nonexistent/elsewhere");
}

} // namespace
