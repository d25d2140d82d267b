#pragma once

#include <cstdint>
#include <string>

// Debugging names: "Black" .. "Light White" for 0 to 15, "ANSI <n>" above.
std::string RellumStringFromColorIndex(uint64_t index);
// The designation of G-set number set: its designator character then "0" for
// the line-drawing set or "B" for ASCII ("(B", ")0", ...).
std::string RellumStringFromCharsetDesignation(uint64_t set, bool lineDrawing);
