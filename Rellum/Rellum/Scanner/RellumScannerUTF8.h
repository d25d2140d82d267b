#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

enum class RellumUTF8Status { Accepted, IllFormed, Incomplete };

// Decodes the character at `s` (`available` bytes, at least 1, first byte
// 0x80 or above or not). Accepted: `*length` bytes make `*value`. IllFormed:
// the first `*length` bytes are one ill-formed subpart, shown as one U+FFFD.
// Incomplete: the bytes end before the character does.
//
// A lead byte announces 2 to 6 bytes; a byte that is no continuation ends the
// subpart before it; a complete character whose value is overlong, a
// surrogate or above U+10FFFF is ill-formed for the longest prefix of it that
// could start a well-formed character.
RellumUTF8Status RellumDecodeUTF8Character(const unsigned char* s, size_t available, size_t* length,
                                           char32_t* value);

// Whether every character of `text` is well-formed UTF-8.
bool RellumIsValidUTF8(std::string_view text);
