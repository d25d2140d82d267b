#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How an address is shown to the user: "host:port", with an IPv6 literal in
// brackets ("[::1]:22") so that its colons cannot be mistaken for the port's.
std::string WendleGetHostNotation(std::string_view host, std::uint16_t port);

// The user's home folder from the password database, not $HOME, which a
// launcher or a sandbox may have changed. Empty when the user has no entry.
std::string WendleGetUserRealHomePath();
