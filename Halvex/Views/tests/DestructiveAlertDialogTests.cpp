// The destructive alerts on the real dialog path (no scripted runner): Escape
// and closing the window mean Cancel, so nothing is ever deleted unasked.
#include "Foundation/NotificationCenter.h"
#include "Halvex/Views/KvPrivateKeysTableView.h"
#include "Halvex/Views/PrivateKeysPreferencesViewController.h"
#include "Halvex/Views/VySSHServerViewController.h"
#include "ServerManagementTestSupport.h"
#include "Wendle/Views/WendleAlertDialog.h"
#include "Wendle/Views/tests/DialogTestSupport.h"

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

class DestructiveAlerts : public mgmt_test::ServerManagementTest {
protected:
    // The alert dialogs are really shown.
    WendleScopedAlertRunner realAlerts{nullptr};

    // Answers the next alert dialog as the user would; records its texts.
    void answerNextAlert(std::function<void(WendleAlertDialog*)> how) {
        dialog_test::whenModal<WendleAlertDialog>([this, how](WendleAlertDialog* dialog) {
            shown << dialog_test::labelText(dialog, "messageText");
            how(dialog);
        });
    }
    static void escape(WendleAlertDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }
    static void closeWindow(WendleAlertDialog* dialog) { dialog->close(); }
    static void clickFirst(WendleAlertDialog* dialog) { dialog->buttons().front()->click(); }

    QStringList shown;
};

TEST_F(DestructiveAlerts, EscapeOrClosingTheDeleteKeyAlertNeverDeletes) {
    const std::string id = importKey("precious");
    ASSERT_TRUE(HalvexAuthHelper::makeWithPrivateKey(*store().privateKeyWithId(id))->setToken("pp"));
    PrivateKeysPreferencesViewController pane;
    pane.view()->show();
    pane.keysTableView()->selectRow(0);
    int announced = 0;
    auto token = NotificationCenter::defaultCenter().addObserver(HalvexPrivateKeyDeletedNotification,
                                                                 [&](const Notification&) { ++announced; });

    for (auto how : {&DestructiveAlerts::escape, &DestructiveAlerts::closeWindow}) {
        answerNextAlert(how);
        pane.deletePrivateKeys();
        EXPECT_TRUE(fs::exists(store().pathForKeyName("precious")));
        EXPECT_EQ(keychain->items().size(), 1u);
        EXPECT_EQ(announced, 0);
    }
    answerNextAlert(&DestructiveAlerts::clickFirst);
    pane.deletePrivateKeys();
    EXPECT_FALSE(fs::exists(store().pathForKeyName("precious")));
    EXPECT_EQ(announced, 1);
    EXPECT_EQ(shown,
              QStringList(3, QStringLiteral("Are you sure you want to delete private key “precious”?")));
}

TEST_F(DestructiveAlerts, EscapeInTheForgetAlertKeepsThePassphrase) {
    const std::string id = importKey("kept", "kept pass");
    ASSERT_TRUE(HalvexAuthHelper::makeWithPrivateKey(*store().privateKeyWithId(id))->setToken("kept pass"));
    store().refreshCache();
    PrivateKeysPreferencesViewController pane;
    pane.view()->show();
    pane.keysTableView()->selectRow(0);
    answerNextAlert(&DestructiveAlerts::escape);
    pane.forgetFromKeychain();
    EXPECT_EQ(HalvexAuthHelper::makeWithPrivateKey(HalvexPrivateKeyModel(id, "kept"))->token(), "kept pass");
    EXPECT_TRUE(store().privateKeyWithId(id)->in_keychain());
}

TEST_F(DestructiveAlerts, EscapeInThePasswordAlertsKeepsThePasswordAndTheSheet) {
    ASSERT_TRUE(passwordItem("alpha", 22, "root")->setToken("stored"));
    ASSERT_TRUE(interactiveItem("alpha", 22, "root")->addAnswers({"otp"}, 0));
    auto p = profile("alpha", 22, "root");
    VySSHServerViewController editor(p);
    editor.show();

    // Cleared field: "Delete saved password", Escape.
    editor.passwordSecureTextField()->clear();
    answerNextAlert(&DestructiveAlerts::escape);
    EXPECT_FALSE(editor.savePassword());
    // Changed field: "Udpate saved password", window closed.
    editor.passwordSecureTextField()->setText("changed");
    answerNextAlert(&DestructiveAlerts::closeWindow);
    EXPECT_FALSE(editor.savePassword());
    EXPECT_EQ(passwordItem("alpha", 22, "root")->token(), "stored");

    // The interactive answers, Escape.
    editor.goToMultiFactorAuth();
    answerNextAlert(&DestructiveAlerts::escape);
    editor.deleteInteractiveInformation();
    EXPECT_FALSE(interactiveItem("alpha", 22, "root")->token().empty());
    EXPECT_EQ(shown, (QStringList{"Delete saved password", "Udpate saved password",
                                  "Delete saved interactive information"}));
}

} // namespace
