#include "Halvex/Views/PrivateKeysPreferencesViewController.h"

#include "Foundation/NotificationCenter.h"
#include "Halvex/Views/HalvexQtPrivateKeyWindow.h"
#include "Halvex/Views/KvPrivateKeysTableView.h"
#include "Halvex/Views/VySSHSettingsPanelController.h"
#include "ServerManagementTestSupport.h"

#include <QDesktopServices>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using mgmt_test::spinUntil;

// Records the help page the pane opens instead of starting a browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class KeysPane : public mgmt_test::ServerManagementTest {
protected:
    void SetUp() override {
        ServerManagementTest::SetUp();
        pane = std::make_unique<PrivateKeysPreferencesViewController>();
        pane->view()->show();
        deletions = std::make_unique<ObservationToken>(NotificationCenter::defaultCenter().addObserver(
            HalvexPrivateKeyDeletedNotification, [this](const Notification& n) {
                EXPECT_TRUE(std::any_cast<PrivateKeysPreferencesViewController*>(n.object) == pane.get());
                deleted.push_back(n.userInfo.value("key_id", std::string()));
            }));
    }
    void TearDown() override {
        deletions.reset();
        pane.reset();
        ServerManagementTest::TearDown();
    }
    // Selects the keys named, in one selection.
    void select(std::initializer_list<const char*> names) {
        auto* table = pane->keysTableView();
        QItemSelection selection;
        for (const char* name : names) {
            int row = -1;
            const auto& keys = pane->keysArrayController()->arrangedObjects();
            for (std::size_t r = 0; r < keys.size(); ++r)
                if (keys[r]->key_name() == name) row = static_cast<int>(r);
            ASSERT_GE(row, 0) << name;
            selection.select(table->model()->index(row, 0), table->model()->index(row, 2));
        }
        table->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& key : pane->keysArrayController()->arrangedObjects())
            out.push_back(key->key_name());
        return out;
    }
    QPushButton* button(const char* name) {
        return pane->view()->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static std::string passphraseOf(const std::string& id) {
        return HalvexAuthHelper::makeWithPrivateKey(HalvexPrivateKeyModel(id, "any"))->token();
    }

    std::unique_ptr<PrivateKeysPreferencesViewController> pane;
    std::unique_ptr<ObservationToken> deletions;
    std::vector<std::string> deleted;
};

TEST_F(KeysPane, ThePaneAnswersAsThePreferencesWindowAsksAndRefreshesWhenShown) {
    EXPECT_EQ(pane->identifier(), "PrivateKeysPreferences");
    EXPECT_EQ(pane->toolbarItemLabel(), "Private Keys");
    EXPECT_FALSE(pane->toolbarItemImage().isNull());
    EXPECT_FALSE(pane->hasResizableWidth());
    EXPECT_FALSE(pane->hasResizableHeight());
    EXPECT_TRUE(names().empty());

    // A key that appeared in the folder shows when the pane is about to be shown.
    fs::copy_file(mgmt_test::makeKey(keysDir(), "dropped"), store().pathForKeyName("dropped"));
    EXPECT_TRUE(names().empty());
    pane->viewWillAppear();
    EXPECT_EQ(names(), std::vector<std::string>{"dropped"});
    auto* model = pane->keysArrayController();
    EXPECT_TRUE(model->data(model->index(0, 1), Qt::DecorationRole).value<QIcon>().isNull()) << "a plain key";

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QUrl(PrivateKeysPreferencesViewController::helpURL()).scheme(), &catcher,
                                    "open");
    button("helpButton")->click();
    QDesktopServices::unsetUrlHandler(QUrl(PrivateKeysPreferencesViewController::helpURL()).scheme());
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0], QUrl(PrivateKeysPreferencesViewController::helpURL()));
}

TEST_F(KeysPane, DeletingOneKeyAsksWithTheSingularTextsThenRemovesFileAndPassphrase) {
    const std::string id = importKey("id_work", "secret");
    importKey("id_home");
    ASSERT_TRUE(HalvexAuthHelper::makeWithPrivateKey(*store().privateKeyWithId(id))->setToken("secret"));
    select({"id_work"});
    EXPECT_TRUE(button("deleteButton")->isEnabled());

    alerts->answer(1001); // Cancel
    button("deleteButton")->click();
    ASSERT_EQ(alerts->asked().size(), 1u);
    const WendleAlert& asked = alerts->asked()[0];
    EXPECT_EQ(asked.messageText, "Are you sure you want to delete private key “id_work”?");
    EXPECT_EQ(
        asked.informativeText,
        "Warning! Both private key file and passphrase remembered in keychain will be permanently deleted.");
    EXPECT_EQ(asked.buttons, (QStringList{"Delete", "Cancel"}));
    EXPECT_TRUE(fs::exists(store().pathForKeyName("id_work")));
    EXPECT_TRUE(deleted.empty());

    alerts->answer(1000); // Delete
    button("deleteButton")->click();
    EXPECT_FALSE(fs::exists(store().pathForKeyName("id_work")));
    EXPECT_EQ(deleted, std::vector<std::string>{id});
    EXPECT_EQ(names(), std::vector<std::string>{"id_home"});
    EXPECT_EQ(keychain->items().size(), 0u) << "the passphrase went with the key";
}

TEST_F(KeysPane, DeletingSeveralKeysNamesThemAllAndAnnouncesEach) {
    const std::string a = importKey("alpha");
    const std::string b = importKey("beta");
    importKey("gamma");
    select({"alpha", "beta"});
    alerts->answer(1000);
    button("deleteButton")->click();
    ASSERT_EQ(alerts->asked().size(), 1u);
    const WendleAlert& asked = alerts->asked()[0];
    EXPECT_EQ(asked.messageText, "Are you sure you want to delete private keys “alpha”, “beta”?");
    EXPECT_EQ(asked.buttons, (QStringList{"Delete (2)", "Cancel"}));
    EXPECT_EQ(asked.informativeText, "Warning! Both private key files and passphrases remembered in keychain "
                                     "will be permanently deleted.");
    EXPECT_EQ(deleted, (std::vector<std::string>{a, b}));
    EXPECT_EQ(names(), std::vector<std::string>{"gamma"});
}

TEST_F(KeysPane, AKeyWhoseFileCannotBeDeletedKeepsItsPassphraseAndIsNotAnnounced) {
    const std::string stuck = importKey("a_stuck");
    const std::string fine = importKey("b_fine");
    for (const auto& id : {stuck, fine})
        ASSERT_TRUE(
            HalvexAuthHelper::makeWithPrivateKey(*store().privateKeyWithId(id))->setToken("pp-" + id));
    // A folder where the file was: removing it fails even for root.
    fs::remove(store().pathForKeyName("a_stuck"));
    fs::create_directories(store().pathForKeyName("a_stuck") + "/inside");
    select({"a_stuck", "b_fine"});

    alerts->answer(1000); // Delete
    alerts->answer(1000); // OK on the error
    button("deleteButton")->click();
    ASSERT_EQ(alerts->asked().size(), 2u);
    EXPECT_EQ(alerts->asked()[1].messageText, "“a_stuck” couldn't be removed.");
    EXPECT_EQ(deleted, std::vector<std::string>{fine}) << "nothing is announced for the key that stayed";
    EXPECT_EQ(passphraseOf(stuck), "pp-" + stuck) << "its passphrase is kept";
    EXPECT_EQ(keychain->items().size(), 1u);
    fs::remove_all(store().pathForKeyName("a_stuck"));
}

TEST_F(KeysPane, AKeyDeletedWhileTwoSheetsAreOpenClearsOnlyTheSheetThatUsesIt) {
    class Sheet : public VySSHSettingsPanelController {
    public:
        using VySSHSettingsPanelController::VySSHSettingsPanelController;
        void ok() override {}
        void cancel() override {}
    };
    const std::string used = importKey("used");
    const std::string unused = importKey("unused");
    auto a = profile("a", 22, "u");
    a->private_key = used;
    auto b = profile("b", 22, "u");
    b->private_key = unused;
    Sheet sheetA(VySSHSettingsPanelController::initInEditModeWithSessionController, a);
    Sheet sheetB(VySSHSettingsPanelController::initInEditModeWithSessionController, b);
    sheetA.loadWindow();
    sheetB.loadWindow();

    select({"used"});
    alerts->answer(1000);
    button("deleteButton")->click();
    EXPECT_FALSE(sheetA.sessionController()->private_key);
    EXPECT_EQ(sheetB.sessionController()->private_key, unused);
}

TEST_F(KeysPane, ForgettingAPassphraseActsOnTheFirstSelectedKeyOnly) {
    const std::string first = importKey("first", "pass one");
    const std::string second = importKey("second", "pass two");
    ASSERT_TRUE(HalvexAuthHelper::makeWithPrivateKey(*store().privateKeyWithId(first))->setToken("pass one"));
    ASSERT_TRUE(
        HalvexAuthHelper::makeWithPrivateKey(*store().privateKeyWithId(second))->setToken("pass two"));
    store().refreshCache();
    ASSERT_TRUE(store().privateKeyWithId(first)->in_keychain());
    select({"first", "second"});
    EXPECT_TRUE(button("forgetButton")->isEnabled());
    EXPECT_FALSE(button("rememberButton")->isEnabled()) << "one key at a time";

    alerts->answer(1001);
    button("forgetButton")->click();
    ASSERT_EQ(alerts->asked().size(), 1u);
    EXPECT_EQ(alerts->asked()[0].messageText,
              "Are you sure you want to forget passphrase for private key “first” from keychain?");
    EXPECT_EQ(alerts->asked()[0].informativeText,
              "Warning! Passphrases remembered in keychain will be permanently deleted.");
    EXPECT_EQ(alerts->asked()[0].buttons, (QStringList{"Forget", "Cancel"}));
    EXPECT_EQ(passphraseOf(first), "pass one");

    // The lock and check mark columns.
    auto* model = pane->keysArrayController();
    auto icon = [&](int row, int column) {
        return model->data(model->index(row, column), Qt::DecorationRole).value<QIcon>();
    };
    EXPECT_FALSE(icon(0, 1).isNull());
    EXPECT_FALSE(icon(0, 2).isNull());

    alerts->answer(1000);
    button("forgetButton")->click();
    EXPECT_FALSE(icon(0, 1).isNull()) << "still encrypted";
    EXPECT_TRUE(icon(0, 2).isNull()) << "no longer in the keychain";
    EXPECT_EQ(passphraseOf(first), "");
    EXPECT_EQ(passphraseOf(second), "pass two");
    auto key = store().privateKeyWithId(first);
    EXPECT_FALSE(key->in_keychain());
    EXPECT_TRUE(key->encrypted()) << "the key is still encrypted";
    EXPECT_FALSE(button("forgetButton")->isEnabled()) << "the table follows the key's flags";
}

TEST_F(KeysPane, RememberingAPassphraseAsksInThePassphraseSheet) {
    const std::string id = importKey("locked", "right");
    select({"locked"});
    ASSERT_TRUE(button("rememberButton")->isEnabled());
    alerts->answer([](WendleAlert& alert, QWidget*) {
        auto* field = qobject_cast<QLineEdit*>(alert.accessoryView.data());
        EXPECT_NE(field, nullptr);
        if (field) field->setText("right");
        return 1000L;
    });
    button("rememberButton")->click();
    ASSERT_EQ(alerts->asked().size(), 1u);
    const WendleAlert& sheet = alerts->asked()[0];
    EXPECT_EQ(sheet.messageText, "Enter the passphrase for private key “locked”");
    EXPECT_EQ(sheet.informativeText,
              "The passhrase will be remembered to keychain, Brimble SSH keeps your passphrase secure.");
    EXPECT_EQ(sheet.buttons, (QStringList{"OK", "Cancel"}));
    EXPECT_EQ(passphraseOf(id), "right");
    EXPECT_TRUE(store().privateKeyWithId(id)->in_keychain());
    EXPECT_FALSE(button("rememberButton")->isEnabled());
}

TEST_F(KeysPane, ThePassphraseSheetHandsBackWhatWasTypedOnlyOnOK) {
    HalvexPrivateKeyWindow::PassphraseSheet sheet{"Enter the passphrase for private key “k”", "informative",
                                                  "Leave blank for runtime prompt"};
    std::unique_ptr<QLineEdit> field(HalvexQtPrivateKeyWindow::makePassphraseField(sheet));
    EXPECT_EQ(field->placeholderText(), "Leave blank for runtime prompt");
    EXPECT_EQ(field->echoMode(), QLineEdit::Password);
    EXPECT_GE(field->minimumWidth(), 200);

    HalvexQtPrivateKeyWindow window(nullptr);
    auto typing = [](const char* text, long code) {
        return [text, code](WendleAlert& alert, QWidget*) {
            qobject_cast<QLineEdit*>(alert.accessoryView.data())->setText(text);
            return code;
        };
    };
    std::string passphrase = "before";
    alerts->answer(typing("typed", 1001));
    EXPECT_EQ(window.askPassphrase(sheet, passphrase), 1001);
    EXPECT_EQ(passphrase, "before");
    alerts->answer(typing("typed", 1000));
    EXPECT_EQ(window.askPassphrase(sheet, passphrase), 1000);
    EXPECT_EQ(passphrase, "typed");
    alerts->answer(typing("", 1000));
    window.askPassphrase(sheet, passphrase);
    EXPECT_EQ(passphrase, "") << "an empty passphrase is an answer";
}

TEST_F(KeysPane, RenamingInPlaceMovesTheFileOrKeepsTheEditorOpenWithTheError) {
    const std::string id = importKey("old_name");
    importKey("taken");
    auto* table = pane->keysTableView();
    auto& arranged = pane->keysArrayController()->arrangedObjects();
    ASSERT_EQ(names(), (std::vector<std::string>{"old_name", "taken"}));
    const QModelIndex cell = table->model()->index(0, 0);

    auto edit = [&](const QString& text) -> QLineEdit* {
        table->setCurrentIndex(cell);
        table->edit(cell);
        auto* editor = qobject_cast<QLineEdit*>(table->indexWidget(cell));
        EXPECT_NE(editor, nullptr);
        if (!editor) return nullptr;
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents(); // the delegate commits in a later turn
        return editor;
    };

    // Unchanged: nothing renamed.
    edit("old_name");
    EXPECT_EQ(table->cachedValue(), "old_name");
    EXPECT_TRUE(fs::exists(store().pathForKeyName("old_name")));

    // A name in use: the error, the editor stays open, nothing moved.
    alerts->answer(1000);
    QPointer<QLineEdit> editor = edit("taken");
    ASSERT_EQ(alerts->asked().size(), 1u);
    EXPECT_EQ(alerts->asked()[0].messageText, "A private key named “taken” already exists.");
    EXPECT_TRUE(editor && editor->isVisible()) << "the edit stays open";
    EXPECT_TRUE(table->isEditing());
    EXPECT_EQ(arranged[0]->key_name(), "old_name");
    EXPECT_TRUE(fs::exists(store().pathForKeyName("old_name")));

    // Another try in the same editor succeeds.
    editor->setText("new_name");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_FALSE(table->isEditing());
    EXPECT_FALSE(fs::exists(store().pathForKeyName("old_name")));
    EXPECT_TRUE(fs::exists(store().pathForKeyName("new_name")));
    EXPECT_EQ(arranged[0]->key_name(), "new_name");
    EXPECT_EQ(arranged[0]->key_id(), id) << "the contents, and so the id, are unchanged";
    EXPECT_EQ(alerts->asked().size(), 1u);
}

TEST_F(KeysPane, ImportingSelectsTheFirstImportedKeyAndACancelledPanelChangesNothing) {
    importKey("existing");
    select({"existing"});
    // Cancelled: the selection stays.
    pane->importPrivateKey();
    ASSERT_EQ(panels->openPanels().size(), 1u);
    const WendleOpenPanel panel = panels->openPanels()[0];
    EXPECT_EQ(panel.title, "Import Private Key files");
    EXPECT_EQ(panel.prompt, "Import");
    EXPECT_EQ(panel.message, "Please choose private key (aka identity) files:");
    EXPECT_TRUE(panel.directory.endsWith("/.ssh"));
    EXPECT_TRUE(panel.showsHiddenFiles);
    EXPECT_TRUE(panel.allowsMultipleSelection);
    EXPECT_TRUE(panel.canChooseFiles);
    EXPECT_FALSE(panel.canChooseDirectories);
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->selectedObjects().at(0)->key_name(), "existing");

    // Two keys and a file that is no key: the error is shown, the first
    // imported key (in table order) is selected.
    const std::string zed = mgmt_test::makeKey(keysDir(), "zed");
    const std::string bee = mgmt_test::makeKey(keysDir(), "bee");
    std::ofstream(keysDir() + "/notes.txt") << "not a key\n";
    panels->answer({WendleFilePanelResult::OK,
                    {QString::fromStdString(zed), QString::fromStdString(keysDir() + "/notes.txt"),
                     QString::fromStdString(bee)}});
    alerts->answer(1000);
    pane->importPrivateKey();
    EXPECT_EQ(names(), (std::vector<std::string>{"bee", "existing", "zed"}));
    ASSERT_TRUE(spinUntil([&] {
        auto s = pane->selectedObjects();
        return s.size() == 1 && s[0]->key_name() == "bee";
    }));
    EXPECT_EQ(alerts->asked().size(), 1u) << "the refused file is reported";
}

} // namespace

#include "PrivateKeysPreferencesViewControllerTests.moc"
