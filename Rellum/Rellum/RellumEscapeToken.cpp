#include "Rellum/RellumEscapeToken.h"

namespace {

bool isOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The byte of a one-character escape, or -1.
int simpleEscape(char c) {
    switch (c) {
    case '\\':
        return 0x5C;
    case 'a':
        return 0x07;
    case 'b':
        return 0x08;
    case 'e':
        return 0x1B;
    case 'f':
        return 0x0C;
    case 'n':
        return 0x0A;
    case 'r':
        return 0x0D;
    case 't':
        return 0x09;
    case 'v':
        return 0x0B;
    case '\'':
        return 0x27;
    case '"':
        return 0x22;
    case '?':
        return 0x3F;
    default:
        return -1;
    }
}

} // namespace

// The text is walked byte by byte: every escape is ASCII and no byte of a
// multi-byte UTF-8 character is ASCII, so literal text passes through whole.
std::vector<RellumEscapeToken::Element> RellumEscapeToken::tokensFromString(std::string_view text) {
    std::vector<Element> result;
    std::string buffer;
    const auto addToken = [&](std::size_t from, std::size_t length, unsigned value) {
        if (!buffer.empty()) {
            result.emplace_back(std::move(buffer));
            buffer.clear();
        }
        result.emplace_back(RellumEscapeToken(std::string(text.substr(from, length)),
                                              std::string(1, static_cast<char>(value & 0xFF))));
    };

    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '\\') {
            buffer.push_back(text[i++]);
            continue;
        }
        if (i + 1 == text.size()) {
            buffer.push_back('\\');
            break;
        }
        const char c = text[i + 1];
        if (const int byte = simpleEscape(c); byte >= 0) {
            addToken(i, 2, static_cast<unsigned>(byte));
            i += 2;
        } else if (isOctalDigit(c)) {
            std::size_t end = i + 1;
            unsigned value = 0;
            while (end < text.size() && end < i + 4 && isOctalDigit(text[end]))
                value = value * 8 + (text[end++] - '0');
            addToken(i, end - i, value);
            i = end;
        } else if (c == 'x' && i + 2 < text.size() && hexValue(text[i + 2]) >= 0) {
            std::size_t end = i + 2;
            unsigned value = 0;
            while (end < text.size() && end < i + 4 && hexValue(text[end]) >= 0)
                value = value * 16 + static_cast<unsigned>(hexValue(text[end++]));
            addToken(i, end - i, value);
            i = end;
        } else {
            buffer.push_back('\\');
            buffer.push_back(c);
            i += 2;
        }
    }
    if (!buffer.empty()) result.emplace_back(std::move(buffer));
    return result;
}

std::string RellumEscapeToken::convertToStringFromTokens(const std::vector<Element>& tokens) {
    std::string out;
    for (const auto& element : tokens) {
        if (const auto* token = std::get_if<RellumEscapeToken>(&element))
            out += token->string();
        else
            out += std::get<std::string>(element);
    }
    return out;
}
