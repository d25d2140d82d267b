#pragma once

#include "Foundation/Bundle.h"

#include <optional>
#include <string>

// The utility framework's resource folder. Interfaces are built in code, so
// these find something only where an installation ships such a resource.
using WendleBundle = Bundle;

// The framework's folder "WendleBundle.bundle", looked up once; null when
// missing, the same object on every call.
const WendleBundle* WendleGetBundle();

// Looks the framework's folder up at launch; no other effect.
void WendleLoadBundle();

// The path of resource `name` of type "nib" in that folder, or nullopt.
std::optional<std::string> WendleGetNibPath(const std::string& name);
