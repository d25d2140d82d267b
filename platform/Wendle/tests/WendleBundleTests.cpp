#include "Wendle/WendleBundle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(WendleBundle, FindsOnlyResourcesThatAreThereInsideItsFolder) {
    char pattern[] = "/tmp/orvik-bundle-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    std::ofstream(dir + "/Sheet.nib") << "x";
    std::ofstream(dir + "/plain") << "x";
    const WendleBundle bundle{dir};
    EXPECT_EQ(bundle.pathForResource("Sheet", "nib"), dir + "/Sheet.nib");
    EXPECT_EQ(bundle.pathForResource("plain", ""), dir + "/plain");
    EXPECT_EQ(bundle.pathForResource("Other", "nib"), std::nullopt);
    EXPECT_EQ(bundle.pathForResource("../" + fs::path(dir).filename().string() + "/Sheet", "nib"),
              std::nullopt);
    EXPECT_EQ(bundle.pathForResource("", "nib"), std::nullopt);
    fs::remove_all(dir);
}

TEST(WendleBundle, TheFrameworkFolderIsLookedUpOnceAndHoldsNoInterfaceFiles) {
    EXPECT_FALSE(WendleMainBundleResourcePath().empty());
    WendleLoadBundle();
    const WendleBundle* first = WendleGetBundle();
    EXPECT_EQ(first, WendleGetBundle());
    // Interfaces are built in code: no build ships the folder.
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(WendleGetNibPath("VySmartGroupEditingPanelController"), std::nullopt);
    EXPECT_EQ(WendleBundleNamed("../etc"), std::nullopt);
}

} // namespace
