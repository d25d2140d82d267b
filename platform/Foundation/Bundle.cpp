#include "Foundation/Bundle.h"

#include <filesystem>

namespace fs = std::filesystem;

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& type) const {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        type.find('/') != std::string::npos)
        return std::nullopt;
    std::string file = path;
    file.append("/").append(name);
    if (!type.empty()) file.append(".").append(type);
    std::error_code ec;
    if (!fs::exists(file, ec)) return std::nullopt;
    return file;
}

std::string Bundle::mainBundleResourcePath() {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return (program.parent_path() / ".." / "share" / "orvik").lexically_normal().string();
}

std::unique_ptr<Bundle> Bundle::bundleInMainResources(const std::string& name) {
    const std::string resources = mainBundleResourcePath();
    if (resources.empty() || name.empty() || name.find('/') != std::string::npos) return nullptr;
    std::string folder = resources + "/" + name + ".bundle";
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return nullptr;
    return std::make_unique<Bundle>(Bundle{std::move(folder)});
}

const std::string& Bundle::mainBundleName() {
    static const std::string name = "Orvik";
    return name;
}
