#pragma once

#include <memory>
#include <optional>
#include <string>

// A folder of resources: the application's own (its main bundle), or a
// library's bundle inside it.
struct Bundle {
    std::string path;

    // "<path>/<name>.<type>" (no dot when the type is empty) when that file
    // exists; nothing for a name that would leave the folder.
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type) const;

    // The application's resource folder, <program folder>/../share/orvik;
    // empty when the program's own path cannot be read.
    static std::string mainBundleResourcePath();
    // The folder "<name>.bundle" in that resource folder, or null when it is
    // not there.
    static std::unique_ptr<Bundle> bundleInMainResources(const std::string& name);
    // The application's name as the user sees it.
    static const std::string& mainBundleName();
};
