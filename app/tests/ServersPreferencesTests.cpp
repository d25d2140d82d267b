// The Servers pane and the application's server sheet, offscreen: add,
// duplicate, edit, cancel, rename, remove (with the known-host rule), import
// and export, and the sheet's own actions.
#include "MainWindowTestSupport.h"

#include "Halvex/HalvexAuthHelper.h"
#include "Halvex/HalvexKnownHostModel.h"
#include "Halvex/HalvexPrivateKeyContainer.h"
#include "Halvex/Views/VySSHServerViewController.h"
#include "Keychain/MemoryKeychainBackend.h"
#include "Rellum/RellumProfileModel.h"
#include "Wendle/Views/WendleAlert.h"
#include "Wendle/Views/WendleAlertDialog.h"
#include "Wendle/Views/WendleFilePanel.h"
#include "Wendle/Views/tests/DialogTestSupport.h"
#include "app/OrvikController.h"
#include "app/ServersPreferencesViewController.h"
#include "app/SettingsPanelController.h"
#include "app/TerminalSettingsViewController.h"

#include <QAbstractButton>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <fstream>

using namespace app_test;

namespace {

std::shared_ptr<OrvikController> server(const std::string& name, const std::string& host,
                                        std::int64_t port = 22, const std::string& user = "root") {
    auto s = std::make_shared<OrvikController>();
    s->setName(name);
    s->setSsh_host(host);
    s->setSsh_port(port);
    s->ssh_user = user;
    return s;
}

class ServersPane : public ::testing::Test {
protected:
    void SetUp() override {
        previousKeychain = KeychainBackend::shared();
        keychain = std::make_shared<MemoryKeychainBackend>();
        KeychainBackend::setShared(keychain);
    }
    void TearDown() override {
        pane.reset();
        pumpEvents();
        KeychainBackend::setShared(previousKeychain);
    }
    void open(std::vector<std::shared_ptr<OrvikController>> servers = {}) {
        prefs->setShellProfiles(std::move(servers));
        pane = std::make_unique<ServersPreferencesViewController>(prefs);
        pane->view()->show();
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& s : prefs->shellProfiles())
            out.push_back(s->name().value_or(""));
        return out;
    }
    void focus(int row) {
        auto* table = pane->serversTableView();
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    void clearFocus() { pane->serversTableView()->clearSelection(); }
    SettingsPanelController* sheet() { return pane->settingsPanelController(); }
    template <class W>
    W* inSheet(const char* name) {
        auto* w = sheet() ? sheet()->findChild<W*>(QString::fromLatin1(name)) : nullptr;
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void type(const char* field, const QString& text) {
        auto* f = inSheet<QLineEdit>(field);
        if (!f) return;
        f->selectAll();
        f->del();
        QTest::keyClicks(f, text);
    }
    // Ends the sheet and waits for its result to be applied.
    void end(bool ok) {
        ASSERT_TRUE(sheet());
        if (ok)
            sheet()->okButton()->click();
        else
            sheet()->cancel();
        ASSERT_TRUE(pumpUntil([&] { return !sheet(); }, 5000));
    }
    QToolButton* segment(const char* name) {
        return pane->addRemoveButton()->findChild<QToolButton*>(QString::fromLatin1(name));
    }

    Scratch dir;
    QtMain main;
    std::shared_ptr<OrvikPreferences> prefs = scratchPreferences(dir);
    std::shared_ptr<KeychainBackend> previousKeychain;
    std::shared_ptr<MemoryKeychainBackend> keychain;
    std::shared_ptr<WendleScriptedAlertRunner> alerts = std::make_shared<WendleScriptedAlertRunner>();
    WendleScopedAlertRunner installedAlerts{alerts};
    std::shared_ptr<WendleScriptedFilePanelRunner> panels = std::make_shared<WendleScriptedFilePanelRunner>();
    WendleScopedFilePanelRunner installedPanels{panels};
    std::unique_ptr<ServersPreferencesViewController> pane;
};

TEST_F(ServersPane, ThePaneAnswersAsThePreferencesWindowAsks) {
    open();
    EXPECT_EQ(pane->identifier(), "ServersPreferences");
    EXPECT_EQ(pane->toolbarItemLabel(), "Servers");
    EXPECT_FALSE(pane->toolbarItemImage().isNull());
    EXPECT_FALSE(pane->hasResizableWidth());
    EXPECT_FALSE(pane->hasResizableHeight());
}

TEST_F(ServersPane, AddingInsertsAtTheFocusedRowAndNamesTheServerByUserAndHost) {
    open({server("alpha", "a.example"), server("beta", "b.example")});
    clearFocus();
    segment("addSegment")->click();
    ASSERT_TRUE(sheet());
    EXPECT_EQ(sheet()->okButton()->text(), "Create");
    EXPECT_FALSE(sheet()->inEditMode());
    ASSERT_EQ(prefs->shellProfiles().size(), 3u) << "the new row is stored before the sheet opens";
    const auto added = prefs->shellProfiles()[0];
    EXPECT_NE(sheet()->sessionController().get(), added.get()) << "the sheet edits a duplicate";

    type("nameTextField", "typed name");
    type("sshHostTextField", "new.example");
    type("userNameTextField", "ann");
    end(true);
    ASSERT_EQ(prefs->shellProfiles().size(), 3u);
    EXPECT_EQ(prefs->shellProfiles()[0], added) << "the stored object keeps its identity";
    EXPECT_EQ(added->name(), "ann@new.example") << "whatever name was typed";
    EXPECT_EQ(added->ssh_host, "new.example");
    EXPECT_EQ(names(), (std::vector<std::string>{"ann@new.example", "alpha", "beta"}));

    // With a row focused the new one goes before it; Cancel takes it back.
    focus(2);
    pane->addProfile();
    EXPECT_EQ(names().size(), 4u);
    EXPECT_EQ(prefs->shellProfiles()[3]->name(), "beta");
    end(false);
    EXPECT_EQ(names(), (std::vector<std::string>{"ann@new.example", "alpha", "beta"}));
}

TEST_F(ServersPane, CancelRemovesTheInsertedRowByItsUidWhereverItIsNow) {
    open({server("alpha", "a.example")});
    clearFocus();
    pane->addProfile();
    const auto inserted = prefs->shellProfiles()[0];
    // While the sheet is up the main window stores a server at the front.
    auto other = server("from the window", "w.example");
    auto now = prefs->shellProfiles();
    now.insert(now.begin(), other);
    prefs->setShellProfiles(now);
    end(false);
    const auto stored = prefs->shellProfiles();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0], other) << "not the row at the index the sheet opened for";
    EXPECT_EQ(stored[1]->name(), "alpha");
    for (const auto& s : stored)
        EXPECT_NE(s->uid, inserted->uid);
}

TEST_F(ServersPane, DuplicatingInsertsANamedCopyBeforeTheOriginal) {
    auto alpha = server("alpha", "a.example", 2222, "me");
    open({alpha, server("beta", "b.example")});
    focus(0);
    pane->duplicateProfile();
    auto stored = prefs->shellProfiles();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0]->name(), "alpha copy");
    EXPECT_NE(stored[0]->uid, alpha->uid);
    EXPECT_EQ(stored[0]->ssh_port, 2222);
    EXPECT_EQ(stored[1], alpha);
    EXPECT_EQ(sheet()->okButton()->text(), "Create");
    end(true);
    EXPECT_EQ(names(), (std::vector<std::string>{"alpha copy", "alpha", "beta"})) << "a copy keeps its name";

    focus(1);
    pane->duplicateProfile();
    end(false);
    EXPECT_EQ(names(), (std::vector<std::string>{"alpha copy", "alpha", "beta"}));

    // Nothing focused: nothing to duplicate, edit, rename or remove.
    clearFocus();
    pane->duplicateProfile();
    pane->editProfile();
    pane->renameProfile();
    pane->removeProfile();
    EXPECT_FALSE(sheet());
    EXPECT_TRUE(alerts->asked().empty());
}

TEST_F(ServersPane, EditingChangesTheStoredServerOnlyOnOK) {
    auto alpha = server("alpha", "a.example");
    open({alpha});
    const auto uid = alpha->uid;
    focus(0);
    pane->editProfile();
    ASSERT_TRUE(sheet());
    EXPECT_TRUE(sheet()->inEditMode());
    EXPECT_EQ(sheet()->okButton()->text(), "OK");
    type("sshHostTextField", "changed.example");
    end(false);
    EXPECT_EQ(alpha->ssh_host, "a.example") << "cancelling an edit changes nothing";
    EXPECT_EQ(names(), std::vector<std::string>{"alpha"});

    focus(0);
    pane->editProfile();
    type("sshHostTextField", "changed.example");
    type("nameTextField", "renamed");
    // A theme swatch sets the copy's theme at once.
    auto* picker = sheet()->terminalSettingsViewController();
    ASSERT_GE(picker->themeMenuItemsArray().size(), 2u);
    const std::string theme = picker->themeMenuItemsArray()[1]->themeName();
    picker->swatch(1)->click();
    end(true);
    ASSERT_EQ(prefs->shellProfiles().size(), 1u);
    EXPECT_EQ(prefs->shellProfiles()[0], alpha);
    EXPECT_EQ(alpha->uid, uid);
    EXPECT_EQ(alpha->ssh_host, "changed.example");
    EXPECT_EQ(alpha->name(), "renamed") << "an edit keeps the typed name";
    EXPECT_EQ(alpha->profile()->theme_name(), theme);
    // And it was written: a fresh read of the store has it.
    auto reread = scratchPreferences(dir)->shellProfiles();
    ASSERT_EQ(reread.size(), 1u);
    EXPECT_EQ(reread[0]->ssh_host, "changed.example");
}

TEST_F(ServersPane, TheThemePickerShowsTheSelectionImageOnTheChosenSwatchOnly) {
    auto alpha = server("alpha", "a.example");
    open({alpha});
    focus(0);
    pane->editProfile();
    auto* picker = sheet()->terminalSettingsViewController();
    const auto& items = picker->themeMenuItemsArray();
    auto marked = [&] {
        std::vector<int> out;
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i]->isValid(), !picker->swatch(static_cast<int>(i))->icon().isNull());
            if (items[i]->isValid()) out.push_back(static_cast<int>(i));
        }
        return out;
    };
    int current = -1;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i]->themeName() == alpha->profile()->theme_name()) current = static_cast<int>(i);
    EXPECT_EQ(marked(), std::vector<int>{current});
    const int other = current == 0 ? 1 : 0;
    picker->swatch(other)->click();
    EXPECT_EQ(marked(), std::vector<int>{other});
    EXPECT_EQ(sheet()->sessionController()
                  ? std::dynamic_pointer_cast<OrvikController>(sheet()->sessionController())
                        ->profile()
                        ->theme_name()
                  : std::string(),
              items[static_cast<std::size_t>(other)]->themeName());
    EXPECT_NE(alpha->profile()->theme_name(), items[static_cast<std::size_t>(other)]->themeName())
        << "only the sheet's copy changes before OK";
    end(false);
}

TEST_F(ServersPane, RemovingTheLastServerOfAHostAndPortForgetsTheHostsKey) {
    auto one = server("one", "shared.example", 22);
    auto two = server("two", "shared.example", 22);
    auto elsewhere = server("three", "shared.example", 2222);
    HalvexKnownHostModel known("shared.example", 22, "192.0.2.7");
    prefs->addKnownHost(known);
    open({one, two, elsewhere});
    EXPECT_TRUE(segment("removeSegment")->isEnabled());

    focus(0);
    alerts->answer(1001); // Cancel
    segment("removeSegment")->click();
    ASSERT_EQ(alerts->asked().size(), 1u);
    const WendleAlert& asked = alerts->asked()[0];
    EXPECT_EQ(asked.style, WendleAlert::Style::warning);
    EXPECT_EQ(asked.messageText, "Are you sure you want to permanently delete server “one”?");
    EXPECT_EQ(asked.informativeText, "You can’t undo this action.");
    EXPECT_EQ(asked.buttons, (QStringList{"Delete", "Cancel"}));
    EXPECT_EQ(names().size(), 3u);

    alerts->answer(1000);
    pane->removeProfile();
    EXPECT_EQ(names(), (std::vector<std::string>{"two", "three"}));
    EXPECT_TRUE(prefs->getKnownHost("shared.example", 22)) << "another server still uses the host";

    focus(0);
    alerts->answer(1000);
    pane->removeProfile();
    EXPECT_EQ(names(), std::vector<std::string>{"three"});
    EXPECT_FALSE(prefs->getKnownHost("shared.example", 22)) << "the last one on host and port took the key";

    focus(0);
    alerts->answer(1000);
    pane->removeProfile();
    EXPECT_TRUE(names().empty());
    EXPECT_FALSE(segment("removeSegment")->isEnabled()) << "nothing left to remove";
    EXPECT_TRUE(segment("addSegment")->isEnabled());
}

TEST_F(ServersPane, RenamingInPlaceStoresTheNewName) {
    open({server("alpha", "a.example"), server("beta", "b.example")});
    focus(1);
    pane->renameProfile();
    auto* table = pane->serversTableView();
    auto* editor = qobject_cast<QLineEdit*>(table->indexWidget(table->model()->index(1, 0)));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "beta");
    EXPECT_EQ(editor->selectedText(), "beta") << "the name is selected for typing over";
    editor->setText("bravo");
    QTest::keyClick(editor, Qt::Key_Return);
    pumpEvents();
    EXPECT_EQ(names(), (std::vector<std::string>{"alpha", "bravo"}));
    EXPECT_EQ(scratchPreferences(dir)->shellProfiles()[1]->name(), "bravo");
}

TEST_F(ServersPane, ExportWritesEveryServerAndImportJudgesAgainstTheListBefore) {
    auto alpha = server("alpha", "a.example");
    open({alpha, server("beta", "b.example", 2200, "bee")});
    const std::string file = dir.path + "/servers.json";
    panels->answer({WendleFilePanelResult::OK, {QString::fromStdString(file)}});
    pane->exportAllServers();
    ASSERT_EQ(panels->savePanels().size(), 1u);
    EXPECT_TRUE(panels->savePanels()[0].nameFieldStringValue.startsWith("Server-Entries-"));
    auto json = nlohmann::json::parse(std::ifstream(file));
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[1]["ssh_port"], 2200);
    EXPECT_FALSE(json[0].contains("profile")) << "the terminal profile is no part of the JSON";

    // A file that cannot be written is reported, not passed over.
    const std::string unwritable = dir.path + "/no such folder/servers.json";
    panels->answer({WendleFilePanelResult::OK, {QString::fromStdString(unwritable)}});
    pane->exportAllServers();
    ASSERT_EQ(alerts->asked().size(), 1u) << "the failed export was not shown";
    EXPECT_FALSE(alerts->asked()[0].messageText.isEmpty());
    EXPECT_FALSE(std::filesystem::exists(unwritable));

    // alpha again (known), a new server twice (both new: judged against the
    // list before the import), one without a host.
    nlohmann::json in =
        nlohmann::json::array({json[0],
                               {{"name", "gamma"}, {"ssh_host", "g.example"}, {"ssh_user", "g"}},
                               {{"name", "gamma"}, {"ssh_host", "g.example"}, {"ssh_user", "g"}},
                               {{"name", "no host"}}});
    std::ofstream(file) << in.dump();
    panels->answer({WendleFilePanelResult::OK, {QString::fromStdString(file)}});
    alerts->answer(1000);
    pane->importServers();
    ASSERT_EQ(alerts->asked().size(), 2u);
    EXPECT_EQ(alerts->asked()[1].messageText, "Imported successfully.");
    EXPECT_EQ(alerts->asked()[1].informativeText,
              "2 entries are imported, 1 entry is already exist, 1 entry is malformed.");
    EXPECT_EQ(names(), (std::vector<std::string>{"alpha", "beta", "gamma", "gamma"}));
    EXPECT_NE(prefs->shellProfiles()[2]->uid, prefs->shellProfiles()[3]->uid);
}

TEST_F(ServersPane, TheSheetValidatesSavesThePasswordAndImportsAKey) {
    open({server("alpha", "a.example")});
    focus(0);
    pane->editProfile();
    type("sshHostTextField", "");
    sheet()->ok();
    EXPECT_TRUE(sheet()->isVisible()) << "an empty host keeps the sheet open";
    EXPECT_TRUE(sheet()->sshServerViewController()->sshHostRequiredAlert());

    type("sshHostTextField", "a.example");
    type("singlePasswordSecureTextField", "s3cret");
    end(true);
    EXPECT_EQ(HalvexAuthHelper::makeWithServer("a.example", 22, "root")->token(), "s3cret");

    // A key imported from the sheet becomes the server's key.
    focus(0);
    pane->editProfile();
    const std::string key = dir.path + "/id_sheet";
    ASSERT_EQ(QProcess::execute("ssh-keygen", {"-q", "-t", "ecdsa", "-m", "PEM", "-N", "", "-f",
                                               QString::fromStdString(key)}),
              0);
    panels->answer({WendleFilePanelResult::OK, {QString::fromStdString(key)}});
    sheet()->sshServerViewController()->findChild<QPushButton*>("singleImportKeyButton")->click();
    ASSERT_TRUE(pumpUntil([&] { return sheet()->sessionController()->private_key.has_value(); }, 5000));
    auto imported = HalvexPrivateKeyContainer::sharedPrivateKeyContainer().privateKeyWithId(
        *sheet()->sessionController()->private_key);
    ASSERT_TRUE(imported);
    EXPECT_EQ(imported->key_name(), "id_sheet");
    end(true);
    EXPECT_EQ(prefs->shellProfiles()[0]->private_key, imported->key_id());
}

TEST_F(ServersPane, AHostedViewGoesWithThePaneAndHearsNoMoreChanges) {
    open({server("alpha", "a.example")});
    QWidget host;
    QPointer<QWidget> view = pane->view();
    view->setParent(&host);
    pane.reset();
    EXPECT_TRUE(view.isNull()) << "the view would call into a pane that is gone";
    prefs->setShellProfiles({server("beta", "b.example")});
    EXPECT_EQ(names(), std::vector<std::string>{"beta"});
}

// On the real dialog path: Escape or closing the remove alert never deletes.
TEST_F(ServersPane, EscapeInTheRealRemoveAlertNeverDeletes) {
    WendleScopedAlertRunner real{nullptr};
    open({server("keep me", "k.example")});
    for (auto how : {+[](WendleAlertDialog* d) { QTest::keyClick(d, Qt::Key_Escape); },
                     +[](WendleAlertDialog* d) { d->close(); }}) {
        QString shown;
        dialog_test::whenModal<WendleAlertDialog>([&](WendleAlertDialog* d) {
            shown = dialog_test::labelText(d, "messageText");
            how(d);
        });
        focus(0);
        pane->removeProfile();
        EXPECT_EQ(shown, "Are you sure you want to permanently delete server “keep me”?");
        EXPECT_EQ(names(), std::vector<std::string>{"keep me"});
    }
    dialog_test::whenModal<WendleAlertDialog>([](WendleAlertDialog* d) { d->buttons().front()->click(); });
    focus(0);
    pane->removeProfile();
    EXPECT_TRUE(names().empty());
}

// What the pane stores reaches the pages that are open on that server.
TEST(ServersPaneAndPages, AThemeOrNameChangedInThePaneReachesOpenPages) {
    auto alerts = std::make_shared<WendleScriptedAlertRunner>();
    WendleScopedAlertRunner installedAlerts{alerts};
    WindowHarness h({storedServer("alpha", "Grass"), storedServer("beta", "Grass")});
    h.connect(0);
    h.connect(1);
    ServersPreferencesViewController pane(h.prefs);
    pane.view()->show();
    auto* table = pane.serversTableView();
    auto focus = [&](int row) {
        table->selectionModel()->select(table->model()->index(row, 0),
                                        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    auto backgroundOf = [&](const std::string& theme) {
        const auto& c = h.prefs->themeWithName(theme)->backgroundColor();
        return RellumColor::colorWithRGBA(float(c.red), float(c.green), float(c.blue)).rgba255();
    };
    const auto& items = OrvikPreferences::newThemeMenuItems();
    int other = -1;
    for (std::size_t i = 0; i < items.size() && other < 0; ++i)
        if (items[i]->themeName() != "Grass") other = static_cast<int>(i);
    ASSERT_GE(other, 0);
    const std::string otherTheme = items[static_cast<std::size_t>(other)]->themeName();
    ASSERT_NE(backgroundOf(otherTheme), backgroundOf("Grass"));

    focus(0);
    pane.editProfile();
    auto* sheet = pane.settingsPanelController();
    ASSERT_TRUE(sheet);
    auto* name = sheet->findChild<QLineEdit*>("nameTextField");
    name->selectAll();
    QTest::keyClicks(name, "alpha prime");
    sheet->terminalSettingsViewController()->swatch(other)->click();
    EXPECT_EQ(h.terminals()[0]->defaultBackgroundColor()->rgba255(), backgroundOf("Grass"))
        << "not before OK";
    sheet->okButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return !pane.settingsPanelController(); }, 5000));
    EXPECT_EQ(h.names(), (std::vector<std::string>{"alpha prime", "beta"}));
    EXPECT_EQ(h.terminals()[0]->defaultBackgroundColor()->rgba255(), backgroundOf(otherTheme));
    EXPECT_EQ(h.terminals()[1]->defaultBackgroundColor()->rgba255(), backgroundOf("Grass"));

    // An inline rename too.
    focus(1);
    pane.renameProfile();
    auto* editor = qobject_cast<QLineEdit*>(table->indexWidget(table->model()->index(1, 0)));
    ASSERT_NE(editor, nullptr);
    editor->setText("bravo");
    QTest::keyClick(editor, Qt::Key_Return);
    pumpEvents();
    EXPECT_EQ(h.names(), (std::vector<std::string>{"alpha prime", "bravo"}));
    EXPECT_EQ(h.sidebar().cellViewAtRow(1)->titleTextField()->text(), "bravo");
}

} // namespace
