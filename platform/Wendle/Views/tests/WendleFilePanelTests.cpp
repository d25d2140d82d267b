// File panels: the real (widget) QFileDialog set up from a panel, and the
// scripted runner tests install.
#include "Wendle/Views/WendleFilePanel.h"
#include "Wendle/Views/tests/DialogTestSupport.h"

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void whenPanel(std::function<void(QFileDialog*)> action) {
    dialog_test::whenModal<QFileDialog>(std::move(action));
}

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

class RealFilePanels : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    WendleScopedFilePanelRunner real{nullptr};
};

TEST_F(RealFilePanels, SavePanelProposesTheNameAndAddsTheAllowedSuffix) {
    WendleSavePanel panel;
    panel.title = QStringLiteral("Export");
    panel.nameFieldLabel = QStringLiteral("Export As:");
    panel.directory = dir.path();
    panel.showsHiddenFiles = true;
    panel.allowedFileTypes = {QStringLiteral("json")};
    panel.nameFieldStringValue = QStringLiteral("Server-Entries-2016-03-01");
    whenPanel([this](QFileDialog* dialog) {
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dialog->windowTitle(), "Export");
        EXPECT_EQ(dialog->labelText(QFileDialog::FileName), "Export As:");
        EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
        EXPECT_TRUE(dialog->filter() & QDir::Hidden);
        EXPECT_EQ(dialog->nameFilters(), QStringList{"*.json"});
        static_cast<QDialog*>(dialog)->accept(); // what the accept button does
    });
    const WendleFilePanelResult result = WendleRunSavePanel(panel);
    EXPECT_EQ(result.response, WendleFilePanelResult::OK);
    EXPECT_EQ(result.paths, QStringList{dir.filePath("Server-Entries-2016-03-01.json")});
}

TEST_F(RealFilePanels, OpenPanelChoosesExistingFilesAndCancelChoosesNothing) {
    touch(dir.filePath("id_ed25519"));
    WendleOpenPanel panel;
    panel.title = QStringLiteral("Import Private Key files");
    panel.prompt = QStringLiteral("Import");
    panel.message = QStringLiteral("Please choose private key (aka identity) files:");
    panel.directory = dir.path();
    panel.allowsMultipleSelection = true;
    whenPanel([](QFileDialog* dialog) {
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        EXPECT_EQ(dialog->labelText(QFileDialog::Accept), "Import");
        EXPECT_FALSE(dialog->filter() & QDir::Hidden);
        EXPECT_EQ(dialog_test::labelText(dialog, "messageText"),
                  "Please choose private key (aka identity) files:");
        dialog->selectFile(QStringLiteral("id_ed25519"));
        static_cast<QDialog*>(dialog)->accept(); // what the accept button does
    });
    WendleFilePanelResult result = WendleRunOpenPanel(panel);
    EXPECT_EQ(result.response, WendleFilePanelResult::OK);
    EXPECT_EQ(result.paths, QStringList{dir.filePath("id_ed25519")});

    whenPanel([](QFileDialog* dialog) { dialog->reject(); });
    result = WendleRunOpenPanel(panel);
    EXPECT_EQ(result.response, WendleFilePanelResult::Cancel);
    EXPECT_TRUE(result.paths.isEmpty());
}

TEST_F(RealFilePanels, PanelModesFollowWhatMayBeChosen) {
    WendleOpenPanel folders;
    folders.canChooseFiles = false;
    folders.canChooseDirectories = true;
    std::unique_ptr<QFileDialog> dialog(WendleDialogFilePanelRunner::makeOpenDialog(folders, nullptr));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);

    WendleOpenPanel one;
    one.showsHiddenFiles = true;
    one.allowedFileTypes = {QStringLiteral("json"), QStringLiteral("txt")};
    dialog.reset(WendleDialogFilePanelRunner::makeOpenDialog(one, nullptr));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_TRUE(dialog->filter() & QDir::Hidden);
    EXPECT_EQ(dialog->nameFilters(), QStringList{"*.json *.txt"});
}

TEST(WendleScriptedFilePanelRunner, AnswersInOrderRecordsThePanelsAndRunsOutAsCancel) {
    auto panels = std::make_shared<WendleScriptedFilePanelRunner>();
    WendleScopedFilePanelRunner installed(panels);
    panels->answer({WendleFilePanelResult::OK, {QStringLiteral("/tmp/a.json")}});
    panels->answer([](const WendleScriptedFilePanelRunner::Asked& asked) {
        const auto& save = std::get<WendleSavePanel>(asked);
        return WendleFilePanelResult{WendleFilePanelResult::OK, {"/tmp/" + save.nameFieldStringValue}};
    });
    WendleOpenPanel open;
    open.allowedFileTypes = {QStringLiteral("json"), QStringLiteral("txt")};
    EXPECT_EQ(WendleRunOpenPanel(open).paths, QStringList{"/tmp/a.json"});
    WendleSavePanel save;
    save.nameFieldStringValue = QStringLiteral("SSH-Passwords-2016-03-01.encrypted");
    EXPECT_EQ(WendleRunSavePanel(save).paths, QStringList{"/tmp/SSH-Passwords-2016-03-01.encrypted"});
    const WendleFilePanelResult none = WendleRunSavePanel(save);
    EXPECT_EQ(none.response, WendleFilePanelResult::Cancel);

    ASSERT_EQ(panels->asked().size(), 3u);
    ASSERT_EQ(panels->openPanels().size(), 1u);
    EXPECT_EQ(panels->openPanels()[0].allowedFileTypes, (QStringList{"json", "txt"}));
    EXPECT_EQ(panels->savePanels().size(), 2u);
}

} // namespace
