#pragma once

#include "Foundation/Error.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A CIDR block: an IPv4 or IPv6 network address and a prefix length. The
// notation is "address/prefix"; a bare address is a block of one address (/32
// or /128). Host bits set in the address are cleared (10.1.2.3/8 is 10.0.0.0/8).
// Nothing else is accepted: no spaces, signs, empty parts, zone indices or
// prefixes beyond the family's width.
class Ferrow {
public:
    static constexpr const char* ErrorDomain = "FerrowErrorDomain";
    enum : long { ErrorInvalidNotation = 1, ErrorFamilyMismatch };
    enum class Family { IPv4, IPv6 };

    // nullopt with an error when the text is not a CIDR block.
    static std::optional<Ferrow> makeWithNotation(std::string_view notation, Error* error = nullptr);

    Family family() const { return family_; }
    unsigned prefixLength() const { return prefix_; }
    // The network address in its usual text form.
    std::string networkAddress() const;
    // "network/prefix".
    std::string notation() const;

    // Whether other lies wholly inside this block (a block contains itself).
    // Blocks of different families are not compared: false, with an error.
    bool contains(const Ferrow& other, Error* error = nullptr) const;
    // Whether the address (or block) in text lies inside this block; false with
    // an error when the text is not one.
    bool containsAddress(std::string_view address, Error* error = nullptr) const;

    friend bool operator==(const Ferrow&, const Ferrow&) = default;

private:
    Ferrow() = default;
    Family family_ = Family::IPv4;
    unsigned prefix_ = 0;
    std::array<std::uint8_t, 16> bytes_{}; // network address, IPv4 in the first 4
};
