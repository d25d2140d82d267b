#pragma once

#include "Foundation/Bundle.h"

#include <memory>
#include <optional>
#include <string>

// The framework's exported functions.

// The framework's resource folder.
using HalvexBundle = Bundle;

extern const double HalvexVersionNumber;
extern const char* const HalvexVersionString;

// Registers the named value transformers that views bind through (once, at
// launch, before any view is made). Results that are booleans are 1 and 0;
// image results are image names the views resolve.
void HalvexInitRegisterValueTransformers();

// Looks up the two interface resources the framework needs at launch and
// discards the answers; no other effect.
void HalvexLoadBundle();

// The folder "HalvexBundle.bundle" in the application's resources
// (<program folder>/../share/orvik), looked up once; null when missing, the
// same object on every call.
const HalvexBundle* HalvexGetBundle();

// The path of resource `name` of type "nib" in that folder, or nullopt. The
// views are written in code, so this finds something only where an
// installation ships such a resource.
std::optional<std::string> HalvexGetNibPath(const std::string& name);

// The application's resource folder that HalvexGetBundle searches.
std::string HalvexMainBundleResourcePath();
