#include "Wendle/WendleStrings.h"

#include <limits>

namespace {
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
} // namespace

std::vector<std::string> componentsInShellCommand(std::string_view command) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    std::size_t i = 0;
    const std::size_t n = command.size();
    while (i < n) {
        char c = command[i];
        if (isBlank(c)) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
            ++i;
        } else if (c == '\\') {
            if (i + 1 >= n) { // a final lone backslash stays
                word += c;
                inWord = true;
                ++i;
            } else if (command[i + 1] == '\n') { // line continuation
                i += 2;
            } else {
                word += command[i + 1];
                inWord = true;
                i += 2;
            }
        } else if (c == '\'') {
            inWord = true;
            std::size_t end = command.find('\'', i + 1);
            if (end == std::string_view::npos) end = n;
            word.append(command.substr(i + 1, end - i - 1));
            i = end + 1;
        } else if (c == '"') {
            inWord = true;
            ++i;
            while (i < n && command[i] != '"') {
                if (command[i] == '\\' && i + 1 < n) {
                    char e = command[i + 1];
                    if (e == '\n') {
                        i += 2;
                        continue;
                    }
                    if (e == '$' || e == '`' || e == '"' || e == '\\') {
                        word += e;
                        i += 2;
                        continue;
                    }
                }
                word += command[i++];
            }
            ++i; // the closing quote, if any
        } else {
            word += c;
            inWord = true;
            ++i;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

std::vector<std::string> wendle_componentsSeparatedByString(std::string_view text,
                                                            std::string_view separator) {
    std::vector<std::string> pieces;
    if (separator.empty()) {
        if (!text.empty()) pieces.emplace_back(text);
        return pieces;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) pieces.emplace_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    return pieces;
}

std::optional<std::uint64_t> wendle_scanUInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i < text.size() && text[i] == '+') ++i;
    std::size_t digits = 0;
    std::uint64_t value = 0;
    constexpr auto max = std::numeric_limits<std::uint64_t>::max();
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        unsigned d = static_cast<unsigned>(text[i] - '0');
        value = value > (max - d) / 10 ? max : value * 10 + d;
    }
    if (digits == 0) return std::nullopt;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    if (i != text.size()) return std::nullopt;
    return value;
}
