#pragma once

#include <string>
#include <string_view>

// Debugging aid: UTF-8 bytes shown with their control characters and spaces as
// control pictures, so that escape sequences can be read in a log.
std::string rellum_readableString(std::string_view data);

// The control pictures of the bytes of `text`: a byte below 0x20 becomes
// U+2400 plus the byte, a space U+2423, DEL U+2421; other bytes are dropped.
std::string rellum_hexFromStr(std::string_view text);
