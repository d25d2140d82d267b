#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

// One backslash escape of a key mapping's send text: the escape as typed
// (backslash included, such as "\e") and the one byte it stands for.
class RellumEscapeToken {
public:
    RellumEscapeToken() = default;
    RellumEscapeToken(std::string string, std::string escaped)
        : string_(std::move(string)), escaped_(std::move(escaped)) {}

    const std::string& string() const { return string_; }
    void setString(std::string string) { string_ = std::move(string); }
    const std::string& escaped() const { return escaped_; }
    void setEscaped(std::string escaped) { escaped_ = std::move(escaped); }

    friend bool operator==(const RellumEscapeToken&, const RellumEscapeToken&) = default;

    // A send text split, in text order, into runs of literal text and tokens.
    using Element = std::variant<std::string, RellumEscapeToken>;

    // Tokenizes send text written with C-style backslash escapes. An escape
    // it does not know stays literal text, backslash included.
    static std::vector<Element> tokensFromString(std::string_view text);

    // The typed text back: literal runs as they are, tokens as typed.
    static std::string convertToStringFromTokens(const std::vector<Element>& tokens);

private:
    std::string string_;
    std::string escaped_;
};
