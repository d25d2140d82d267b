#include "Ferrow/Ferrow.h"

#include <arpa/inet.h>
#include <cstring>

namespace {
bool fail(Error* error, long code, std::string text) {
    if (error) *error = Error(Ferrow::ErrorDomain, code, std::move(text));
    return false;
}
} // namespace

std::optional<Ferrow> Ferrow::makeWithNotation(std::string_view notation, Error* error) {
    auto invalid = [&](const char* why) -> std::optional<Ferrow> {
        std::string text = "\"";
        text.append(notation.substr(0, 80));
        text.append("\" is not a CIDR block: ");
        text.append(why);
        text.append(".");
        fail(error, ErrorInvalidNotation, std::move(text));
        return std::nullopt;
    };
    if (notation.empty()) return invalid("it is empty");
    if (notation.find('\0') != std::string_view::npos) return invalid("it holds a NUL character");

    std::string_view address = notation;
    std::optional<unsigned> prefix;
    if (auto slash = notation.find('/'); slash != std::string_view::npos) {
        address = notation.substr(0, slash);
        std::string_view digits = notation.substr(slash + 1);
        if (digits.empty() || digits.size() > 3) return invalid("the prefix length must be 1 to 3 digits");
        unsigned value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return invalid("the prefix length must be a decimal number");
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        prefix = value;
    }
    if (address.empty()) return invalid("the address is missing");

    Ferrow block;
    const std::string text(address);
    if (text.find(':') != std::string::npos) {
        in6_addr a6{};
        if (::inet_pton(AF_INET6, text.c_str(), &a6) != 1) return invalid("the IPv6 address is not valid");
        block.family_ = Family::IPv6;
        std::memcpy(block.bytes_.data(), &a6, 16);
    } else {
        in_addr a4{};
        if (::inet_pton(AF_INET, text.c_str(), &a4) != 1) return invalid("the IPv4 address is not valid");
        block.family_ = Family::IPv4;
        std::memcpy(block.bytes_.data(), &a4, 4);
    }
    const unsigned width = block.family_ == Family::IPv4 ? 32 : 128;
    if (prefix && *prefix > width)
        return invalid(width == 32 ? "the prefix length is above 32" : "the prefix length is above 128");
    block.prefix_ = prefix.value_or(width);

    // Clear the host bits.
    for (unsigned i = 0; i < width / 8; ++i) {
        unsigned bitsBefore = i * 8;
        if (bitsBefore >= block.prefix_) {
            block.bytes_[i] = 0;
        } else if (block.prefix_ - bitsBefore < 8) {
            block.bytes_[i] &= static_cast<std::uint8_t>(0xFF << (8 - (block.prefix_ - bitsBefore)));
        }
    }
    return block;
}

std::string Ferrow::networkAddress() const {
    char buffer[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(family_ == Family::IPv4 ? AF_INET : AF_INET6, bytes_.data(), buffer, sizeof buffer);
    return buffer;
}

std::string Ferrow::notation() const {
    return networkAddress() + "/" + std::to_string(prefix_);
}

bool Ferrow::contains(const Ferrow& other, Error* error) const {
    if (family_ != other.family_)
        return fail(error, ErrorFamilyMismatch, "An IPv4 block and an IPv6 block can't contain each other.");
    if (other.prefix_ < prefix_) return false;
    for (unsigned bit = 0; bit < prefix_; bit += 8) {
        unsigned n = prefix_ - bit;
        std::uint8_t mask = n >= 8 ? 0xFF : static_cast<std::uint8_t>(0xFF << (8 - n));
        if ((bytes_[bit / 8] & mask) != (other.bytes_[bit / 8] & mask)) return false;
    }
    return true;
}

bool Ferrow::containsAddress(std::string_view address, Error* error) const {
    auto other = makeWithNotation(address, error);
    return other && contains(*other, error);
}
