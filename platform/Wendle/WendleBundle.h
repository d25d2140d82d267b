#pragma once

#include <optional>
#include <string>

// Resource folders ("bundles") in the application's shared data folder.
// Interfaces are built in code, so these find something only where an
// installation ships such a resource.
struct WendleBundle {
    std::string path;
    // "<path>/<name>.<type>" when that file exists; a name with a slash never
    // leaves the folder.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type) const;
};

// The application's resource folder: <program folder>/../share/orvik.
std::string WendleMainBundleResourcePath();

// The folder `name` in the application's resource folder, or nullopt when it
// is missing.
std::optional<WendleBundle> WendleBundleNamed(const std::string& name);

// The utility framework's folder "WendleBundle.bundle", looked up once; null
// when missing, the same object on every call.
const WendleBundle* WendleGetBundle();

// Looks the framework's folder up at launch; no other effect.
void WendleLoadBundle();

// The path of resource `name` of type "nib" in that folder, or nullopt.
std::optional<std::string> WendleGetNibPath(const std::string& name);
