#include "Wendle/WendleBundle.h"

#include <gtest/gtest.h>

namespace {

TEST(WendleBundle, TheFrameworkFolderIsLookedUpOnceAndHoldsNoInterfaceFiles) {
    WendleLoadBundle();
    const WendleBundle* first = WendleGetBundle();
    EXPECT_EQ(first, WendleGetBundle());
    // Interfaces are built in code: no build ships the folder.
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(WendleGetNibPath("VySmartGroupEditingPanelController"), std::nullopt);
}

} // namespace
