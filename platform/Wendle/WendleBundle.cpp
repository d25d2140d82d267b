#include "Wendle/WendleBundle.h"

#include <memory>

const WendleBundle* WendleGetBundle() {
    static const std::unique_ptr<Bundle> bundle = Bundle::bundleInMainResources("WendleBundle");
    return bundle.get();
}

void WendleLoadBundle() {
    (void)WendleGetBundle();
}

std::optional<std::string> WendleGetNibPath(const std::string& name) {
    const WendleBundle* bundle = WendleGetBundle();
    if (!bundle) return std::nullopt;
    return bundle->pathForResource(name, "nib");
}
