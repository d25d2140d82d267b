#pragma once

#include <cstdint>

// Key values and modifier flags of key events as the terminal core sees them.
// The Qt adapter turns each key event into these, so that the key tables and
// stored key mappings apply unchanged.

// Modifier flags.
inline constexpr std::uint64_t RellumShiftKeyMask = 0x20000;
inline constexpr std::uint64_t RellumControlKeyMask = 0x40000;
inline constexpr std::uint64_t RellumOptionKeyMask = 0x80000; // Alt on Linux
inline constexpr std::uint64_t RellumCommandKeyMask = 0x100000;
inline constexpr std::uint64_t RellumNumericPadKeyMask = 0x200000;
inline constexpr std::uint64_t RellumFunctionKeyMask = 0x800000;
// Device bits that tell the left and the right Option key apart.
inline constexpr std::uint64_t RellumLeftOptionDeviceMask = 0x20;
inline constexpr std::uint64_t RellumRightOptionDeviceMask = 0x40;

// Function-key character values.
inline constexpr char16_t RellumUpArrowKey = 0xF700;
inline constexpr char16_t RellumDownArrowKey = 0xF701;
inline constexpr char16_t RellumLeftArrowKey = 0xF702;
inline constexpr char16_t RellumRightArrowKey = 0xF703;
inline constexpr char16_t RellumF1Key = 0xF704; // F1..F35 are 0xF704..0xF726
inline constexpr char16_t RellumF20Key = 0xF717;
inline constexpr char16_t RellumF35Key = 0xF726;
inline constexpr char16_t RellumInsertKey = 0xF727;
inline constexpr char16_t RellumDeleteForwardKey = 0xF728;
inline constexpr char16_t RellumHomeKey = 0xF729;
inline constexpr char16_t RellumEndKey = 0xF72B;
inline constexpr char16_t RellumPageUpKey = 0xF72C;
inline constexpr char16_t RellumPageDownKey = 0xF72D;

// Characters of a few plain keys.
inline constexpr char16_t RellumTabCharacter = 0x09;
inline constexpr char16_t RellumBackTabCharacter = 0x19;
inline constexpr char16_t RellumCarriageReturnCharacter = 0x0D;
inline constexpr char16_t RellumEnterCharacter = 0x03;
inline constexpr char16_t RellumEscapeCharacter = 0x1B;
inline constexpr char16_t RellumBackspaceCharacter = 0x7F; // the Backspace key's character
