#include "Wendle/WendleBundle.h"

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

std::optional<std::string> WendleBundle::pathForResource(const std::string& name,
                                                         const std::string& type) const {
    if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
    std::string file = path;
    file.append("/").append(name);
    if (!type.empty()) file.append(".").append(type);
    std::error_code ec;
    if (!fs::exists(file, ec)) return std::nullopt;
    return file;
}

std::string WendleMainBundleResourcePath() {
    std::error_code ec;
    fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return (program.parent_path() / ".." / "share" / "orvik").lexically_normal().string();
}

std::optional<WendleBundle> WendleBundleNamed(const std::string& name) {
    std::string resources = WendleMainBundleResourcePath();
    if (resources.empty() || name.empty() || name.find('/') != std::string::npos) return std::nullopt;
    std::string path = resources + "/" + name;
    std::error_code ec;
    if (!fs::is_directory(path, ec)) return std::nullopt;
    return WendleBundle{path};
}

const WendleBundle* WendleGetBundle() {
    static const std::optional<WendleBundle> bundle = WendleBundleNamed("WendleBundle.bundle");
    return bundle ? &*bundle : nullptr;
}

void WendleLoadBundle() {
    (void)WendleGetBundle();
}

std::optional<std::string> WendleGetNibPath(const std::string& name) {
    const WendleBundle* bundle = WendleGetBundle();
    if (!bundle) return std::nullopt;
    return bundle->pathForResource(name, "nib");
}
