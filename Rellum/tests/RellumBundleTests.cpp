#include "Rellum/RellumBundle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The application's resources as an installation lays them out, beside this
// program; made for the test when not there, and removed again.
class InstalledResources {
public:
    InstalledResources() {
        const fs::path resources = Bundle::mainBundleResourcePath();
        bundle_ = resources / "RellumBundle.bundle";
        std::error_code ec;
        if (fs::exists(bundle_, ec)) return;
        made_ = !fs::exists(resources, ec) ? resources : bundle_;
        fs::create_directories(bundle_);
        std::ofstream(bundle_ / "RellumKeyboardPreferences.nib") << "interface";
    }
    ~InstalledResources() {
        std::error_code ec;
        if (!made_.empty()) fs::remove_all(made_, ec);
    }
    const fs::path& bundle() const { return bundle_; }

private:
    fs::path bundle_, made_;
};

TEST(RellumBundle, FoundOnceInTheApplicationsResources) {
    const InstalledResources resources;
    const Bundle* bundle = RellumGetBundle();
    ASSERT_NE(bundle, nullptr);
    EXPECT_EQ(fs::path(bundle->path), resources.bundle());
    EXPECT_EQ(RellumGetBundle(), bundle);
    EXPECT_EQ(RellumGetNibPath("RellumKeyboardPreferences"),
              (resources.bundle() / "RellumKeyboardPreferences.nib").string());
    EXPECT_EQ(RellumGetNibPath("NoSuchInterface"), std::nullopt);
    EXPECT_EQ(RellumGetNibPath("../RellumBundle.bundle/RellumKeyboardPreferences"), std::nullopt);
    RellumLoadBundle();
    EXPECT_EQ(RellumGetBundle(), bundle);
}

} // namespace
