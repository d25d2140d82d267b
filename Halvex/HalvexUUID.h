#pragma once

#include <string>

// A new random (version 4) UUID in its usual upper-case text form, as the
// identities of profiles and rules are written.
std::string HalvexNewUUIDString();
