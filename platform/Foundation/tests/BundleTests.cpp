#include "Foundation/Bundle.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

TEST(Bundle, ResourcesAreFilesDirectlyInTheFolder) {
    const fs::path folder = fs::temp_directory_path() / ("bundle-test-" + std::to_string(::getpid()));
    fs::create_directories(folder / "sub");
    std::ofstream(folder / "Pane.nib") << "x";
    std::ofstream(folder / "README") << "x";
    std::ofstream(folder / "sub" / "Inner.nib") << "x";
    const Bundle bundle{folder.string()};

    EXPECT_EQ(bundle.pathForResource("Pane", "nib"), (folder / "Pane.nib").string());
    EXPECT_EQ(bundle.pathForResource("README", ""), (folder / "README").string());
    EXPECT_EQ(bundle.pathForResource("Pane", "xib"), std::nullopt);
    EXPECT_EQ(bundle.pathForResource("Missing", "nib"), std::nullopt);
    // Names never reach outside the folder or into sub-folders.
    EXPECT_EQ(bundle.pathForResource("sub/Inner", "nib"), std::nullopt);
    EXPECT_EQ(bundle.pathForResource("..", ""), std::nullopt);
    EXPECT_EQ(bundle.pathForResource("", "nib"), std::nullopt);
    fs::remove_all(folder);
}

TEST(Bundle, TheMainBundleSitsBesideTheProgram) {
    const std::string resources = Bundle::mainBundleResourcePath();
    ASSERT_FALSE(resources.empty());
    EXPECT_TRUE(resources.ends_with("/share/orvik")) << resources;
    EXPECT_EQ(Bundle::bundleInMainResources("NoSuchBundle"), nullptr);
    EXPECT_EQ(Bundle::bundleInMainResources("../orvik"), nullptr);
    EXPECT_EQ(Bundle::mainBundleName(), "Orvik");
}
