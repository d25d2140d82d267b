#pragma once

#include "Foundation/Bundle.h"

#include <optional>
#include <string>

// The terminal library's resource bundle, "RellumBundle.bundle" in the
// application's resources (<program folder>/../share/orvik): looked up once,
// the same object on every call; null when it is missing.
const Bundle* RellumGetBundle();

// The path of resource `name` of type "nib" in that bundle, or nothing. The
// views are written in code, so this finds something only where an
// installation ships such a resource.
std::optional<std::string> RellumGetNibPath(const std::string& name);

// Makes sure the bundle has been looked up: asks for the keyboard pane's
// interface resource and drops the answer.
void RellumLoadBundle();
