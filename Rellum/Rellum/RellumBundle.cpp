#include "Rellum/RellumBundle.h"

#include <memory>

const Bundle* RellumGetBundle() {
    static const std::unique_ptr<Bundle> bundle = Bundle::bundleInMainResources("RellumBundle");
    return bundle.get();
}

std::optional<std::string> RellumGetNibPath(const std::string& name) {
    const Bundle* bundle = RellumGetBundle();
    if (!bundle) return std::nullopt;
    return bundle->pathForResource(name, "nib");
}

void RellumLoadBundle() {
    (void)RellumGetNibPath("RellumKeyboardPreferences");
}
