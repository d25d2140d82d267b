#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Splits a command line into words the way a POSIX shell would before
// expansions, without running any shell: blanks (space, tab, newline)
// separate words; 'single quotes' keep everything literally; "double quotes"
// keep everything but a backslash before $ ` " \ or a newline; outside quotes
// a backslash keeps the next character (and with a newline, joins lines).
// Quotes make a word even when empty (`""` is one empty word). An unfinished
// quote runs to the end of the text; a final lone backslash stays as it is.
std::vector<std::string> componentsInShellCommand(std::string_view command);

// The pieces of text between occurrences of separator, empty pieces left out
// (so a blank-only text split at " " has none). An empty separator gives the
// whole text as one piece, when it is not empty.
std::vector<std::string> wendle_componentsSeparatedByString(std::string_view text,
                                                            std::string_view separator);

// A decimal unsigned number: optional leading blanks, an optional '+', at
// least one digit, optional trailing blanks, nothing else. Values past the
// 64-bit range saturate at UINT64_MAX, so a hostile count stays a number.
std::optional<std::uint64_t> wendle_scanUInteger(std::string_view text);
