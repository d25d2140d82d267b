#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <openssl/types.h>

// SSH wire encodings on byte buffers.

// Largest number written as an mpint, in bits.
inline constexpr int PemvinMaxBigNumBits = 16384;

// Appends an SSH string: 32-bit big-endian length, then the bytes.
void appendBlockData(std::string& data, std::string_view block);
// Appends an mpint. Answers false, leaving `data` unchanged, for a number of
// more than PemvinMaxBigNumBits bits or a negative one.
bool appendBigNum(std::string& data, const BIGNUM* number);
// Reads one SSH string at `cursor` and moves the cursor past it; nullopt with
// the cursor unchanged when the length runs past the data.
std::optional<std::string_view> readBlockData(std::string_view data, std::size_t& cursor);

// Base64 without line breaks.
std::string pemvin_base64Encode(std::string_view bytes);
// Decodes base64, ignoring characters outside its alphabet and stopping at "=".
std::string pemvin_base64Decode(std::string_view text);
