#pragma once

#include <string>
#include <string_view>

// The bracketed-paste markers the host asked for with mode 2004.
inline constexpr std::string_view RellumBracketedPasteStart = "\x1b[200~";
inline constexpr std::string_view RellumBracketedPasteEnd = "\x1b[201~";

// "\r\n" and then every remaining "\n" become "\r", as a typed Return would send.
std::string RellumNewlinesAsCarriageReturns(std::string_view text);

// The bytes a paste of `text` sends: nothing for empty text; with bracketing,
// the text between the start and end markers, with every end marker inside
// the text removed first so that pasted text can never leave the bracket and
// run as typed input.
std::string RellumPasteSequence(std::string_view text, bool bracketedPasteMode);
