#include "Halvex/Views/HalvexQtBackupWindow.h"

#include "ServerManagementTestSupport.h"
#include "Wendle/WendleDates.h"

#include <fstream>

namespace {

using BackupWindow = mgmt_test::ServerManagementTest;

// The backup module's questions reach the process's panel and alert runners
// with every setting of the panels.
TEST_F(BackupWindow, PanelsAndSummariesGoThroughTheRunners) {
    QWidget window;
    HalvexQtBackupWindow backupWindow(&window);
    VySSHBackupModule module;
    const QString path = keys->path() + QStringLiteral("/servers.json");
    panels->answer({WendleFilePanelResult::OK, {path}});
    ASSERT_TRUE(module.exportEntries(VySSHBackupModule::Entries{profile("alpha", 22, "root")}, backupWindow,
                                     "Server-Entries"));
    ASSERT_EQ(panels->savePanels().size(), 1u);
    const WendleSavePanel save = panels->savePanels()[0];
    EXPECT_EQ(save.nameFieldLabel, "Export As:");
    EXPECT_EQ(save.nameFieldStringValue.toStdString(),
              "Server-Entries-" + stringFromDate(std::chrono::system_clock::now(), "yyyy-MM-dd"));
    EXPECT_EQ(save.allowedFileTypes, QStringList{"json"});
    EXPECT_TRUE(save.showsHiddenFiles);

    panels->answer({WendleFilePanelResult::OK, {path}});
    alerts->answer(1000);
    auto models = module.importWithClass(HalvexSessionModel::classDescription(), backupWindow,
                                         [](const std::shared_ptr<MTLModel>&) { return 1L; });
    EXPECT_EQ(models.size(), 1u);
    const WendleOpenPanel open = panels->openPanels().at(0);
    EXPECT_EQ(open.nameFieldLabel, "Import From:");
    EXPECT_EQ(open.allowedFileTypes, (QStringList{"json", "txt"}));
    EXPECT_TRUE(open.showsHiddenFiles);
    EXPECT_FALSE(open.allowsMultipleSelection);
    ASSERT_EQ(alerts->asked().size(), 1u);
    EXPECT_EQ(alerts->asked()[0].style, WendleAlert::Style::informational);
    EXPECT_EQ(alerts->asked()[0].messageText, "Failed to import!");
    EXPECT_EQ(alerts->asked()[0].informativeText, "0 entry is imported, 1 entry is already exist.");

    // A file that does not parse: the error alert, no summary.
    std::ofstream(path.toStdString()) << "[{";
    panels->answer({WendleFilePanelResult::OK, {path}});
    EXPECT_TRUE(module
                    .importWithClass(HalvexSessionModel::classDescription(), backupWindow,
                                     [](const std::shared_ptr<MTLModel>&) { return 0L; })
                    .empty());
    ASSERT_EQ(alerts->asked().size(), 2u);
    EXPECT_EQ(alerts->asked()[1].messageText,
              "The data couldn’t be read because it isn’t in the correct format.");
    EXPECT_EQ(alerts->asked()[1].buttonTitles(), QStringList{"OK"});
    // A cancelled panel answers nothing and asks nothing more.
    EXPECT_FALSE(module.exportEntries(VySSHBackupModule::Entries{}, backupWindow));
    EXPECT_EQ(alerts->asked().size(), 2u);
}

} // namespace
