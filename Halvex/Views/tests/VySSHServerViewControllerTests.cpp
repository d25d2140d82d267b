#include "Halvex/Views/VySSHServerViewController.h"

#include "ServerManagementTestSupport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

namespace {

using mgmt_test::spinUntil;

class ServerEditor : public mgmt_test::ServerManagementTest {
protected:
    void open(std::shared_ptr<HalvexSessionController> p) {
        profile_ = std::move(p);
        editor = std::make_unique<VySSHServerViewController>(profile_);
        editor->show();
    }
    template <class W>
    W* find(const char* name) {
        auto* w = editor->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    std::vector<std::string> methodNames() const {
        std::vector<std::string> names;
        for (const auto& m : profile_->auth_methods().value_or(HalvexSessionModel::AuthMethods{}))
            names.push_back(m->method_name().value_or("?"));
        return names;
    }
    // The views in the stack's layout, by name.
    QStringList stacked() {
        QStringList names;
        auto* layout = find<QWidget>("authStackView")->layout();
        for (int i = 0; i < layout->count(); ++i)
            if (auto* w = layout->itemAt(i)->widget()) names << w->objectName();
        return names;
    }
    QColor background(QLineEdit* field) { return field->palette().color(QPalette::Base); }
    // Types into a field as the user does (the field's edit signal runs).
    static void type(QLineEdit* field, const QString& text) {
        field->selectAll();
        field->del();
        QTest::keyClicks(field, text);
    }

    std::shared_ptr<HalvexSessionController> profile_;
    std::unique_ptr<VySSHServerViewController> editor;
};

const QString kPasswordHelp =
    QStringLiteral("• Password\n\nAttempt to connect to SSH host with password authentication method.\n\n"
                   "Passwords are remembered in keychain to guarantee the security, you can access them "
                   "through the desktop's "
                   "keyring manager.\n\nIf you leave the password field blank, password stored in keychain "
                   "will be deleted, and a "
                   "dialog will be brought up automatically prompts you to enter a password.");
const QString kMultiHelp = QStringLiteral("• Multi-factor\n\nOpenSSH (6.2 or later) has proper built-in "
                                          "support for multi-factor authentication.\n\n"
                                          "Brimble SSH support arbitrary permutations of password, "
                                          "keyboard-interactive and public-key authentication "
                                          "method combination.");
const QString kPublicKeyHelp = QStringLiteral(
    "• Public-key\n\nAttempt to connect to SSH host with public-key authentication method.\n\nYou can import "
    "private key (aka identity) by select “Import...” button, or manage private keys in “Preferences” "
    "window.");
const QString kInteractiveHelp = QStringLiteral("• Interactive\n\nAttempt to connect to SSH host with "
                                                "keyboard-interactive authentication method.\n\nA dialog "
                                                "will be brought up automatically prompts you enter "
                                                "information requested by server.\n\nYou can also choose "
                                                "to remember interactive information to keychain.");

TEST_F(ServerEditor, MethodsSwitchBetweenTheSingleAndMultiFactorViews) {
    open(profile("alpha", 22, "root")); // a new profile: the password method only
    EXPECT_EQ(stacked(), QStringList{"singleFactorView"});
    EXPECT_TRUE(find<QWidget>("singleFactorView")->isVisible());
    EXPECT_FALSE(find<QWidget>("multiFactorView")->isVisible());
    EXPECT_EQ(editor->passwordSecureTextField(), find<QLineEdit>("singlePasswordSecureTextField"));
    EXPECT_EQ(editor->authHelpButton(), find<QAbstractButton>("singleAuthHelpButton"));
    EXPECT_EQ(editor->deleteInformationButton(), find<QAbstractButton>("singleDeleteInformationButton"));
    EXPECT_EQ(editor->helpText(), kPasswordHelp);

    // All methods: the multi-factor view with its own controls.
    find<QPushButton>("goToMultiFactorButton")->click();
    EXPECT_EQ(methodNames(), (std::vector<std::string>{"keyboard-interactive", "publickey", "password"}));
    EXPECT_EQ(stacked(), QStringList{"multiFactorView"});
    EXPECT_FALSE(find<QWidget>("singleFactorView")->isVisible());
    EXPECT_EQ(editor->passwordSecureTextField(), find<QLineEdit>("multiPasswordSecureTextField"));
    EXPECT_EQ(editor->authHelpButton(), find<QAbstractButton>("multiAuthHelpButton"));
    EXPECT_EQ(editor->helpText(), kMultiHelp);
    auto* list = find<QListWidget>("multiAuthMethodsList");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "Interactive");

    // Back to one: the first method of the list stays.
    find<QPushButton>("backToSingleFactorButton")->click();
    EXPECT_EQ(methodNames(), std::vector<std::string>{"keyboard-interactive"});
    EXPECT_EQ(stacked(), QStringList{"singleFactorView"});
    EXPECT_EQ(editor->helpText(), kInteractiveHelp);
    EXPECT_FALSE(editor->passwordSecureTextField()->isVisibleTo(editor.get())) << "no password to type";
    EXPECT_TRUE(editor->deleteInformationButton()->isVisibleTo(editor.get()));

    // The method pop-up chooses the one method.
    auto* popUp = find<QComboBox>("singleAuthMethodPopUp");
    popUp->setCurrentIndex(popUp->findText("Public-key"));
    emit popUp->activated(popUp->currentIndex());
    EXPECT_EQ(methodNames(), std::vector<std::string>{"publickey"});
    EXPECT_EQ(editor->helpText(), kPublicKeyHelp);
    EXPECT_TRUE(find<QWidget>("singlePrivateKeyPopUp")->isVisibleTo(editor.get()));

    // No method at all: the views stay as they were.
    profile_->setValueForKey("auth_methods", nlohmann::json::array());
    EXPECT_TRUE(methodNames().empty());
    EXPECT_EQ(stacked(), QStringList{"singleFactorView"});
    EXPECT_EQ(editor->helpText(), kPublicKeyHelp);
    // ... and going back to one method from none gives keyboard-interactive.
    editor->backToSingleFactorAuth();
    EXPECT_EQ(methodNames(), std::vector<std::string>{"keyboard-interactive"});
}

TEST_F(ServerEditor, TheMultiFactorListSetsTheMethodsAndTheirOrder) {
    auto p = profile("alpha", 22, "root");
    p->setAuth_methods(HalvexSessionModel::AuthMethods{HalvexAuthMethodModel::sharedPasswordAutheMethod(),
                                                       HalvexAuthMethodModel::sharedPublickeyAutheMethod()});
    open(p);
    auto* list = find<QListWidget>("multiAuthMethodsList");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "Password");
    EXPECT_EQ(list->item(1)->text(), "Public-key");
    EXPECT_EQ(list->item(2)->checkState(), Qt::Unchecked);

    // Ticking the third adds it at its place in the list.
    list->item(2)->setCheckState(Qt::Checked);
    ASSERT_TRUE(spinUntil([&] { return methodNames().size() == 3; }));
    EXPECT_EQ(methodNames(), (std::vector<std::string>{"password", "publickey", "keyboard-interactive"}));

    // Moving a row reorders the methods.
    list = find<QListWidget>("multiAuthMethodsList");
    list->model()->moveRow(QModelIndex(), 2, QModelIndex(), 0);
    ASSERT_TRUE(spinUntil([&] { return methodNames().front() == "keyboard-interactive"; }));
    EXPECT_EQ(methodNames(), (std::vector<std::string>{"keyboard-interactive", "password", "publickey"}));

    // Unticking down to one method shows the single-factor view.
    list = find<QListWidget>("multiAuthMethodsList");
    list->item(0)->setCheckState(Qt::Unchecked);
    ASSERT_TRUE(spinUntil([&] { return methodNames().size() == 2; }));
    list = find<QListWidget>("multiAuthMethodsList");
    list->item(0)->setCheckState(Qt::Unchecked);
    ASSERT_TRUE(spinUntil([&] { return methodNames().size() == 1; }));
    EXPECT_EQ(methodNames(), std::vector<std::string>{"publickey"});
    EXPECT_EQ(stacked(), QStringList{"singleFactorView"});
}

TEST_F(ServerEditor, ThePasswordFieldIsYellowExactlyWhileItShowsTheStoredPassword) {
    ASSERT_TRUE(passwordItem("alpha", 22, "root")->setToken("stored pw"));
    open(profile("alpha", 22, "root"));
    auto* field = editor->passwordSecureTextField();
    EXPECT_EQ(field->text(), "stored pw") << "filled from the keychain at load";
    EXPECT_EQ(background(field), VySSHServerViewController::autoFillColor());
    EXPECT_EQ(VySSHServerViewController::autoFillColor(),
              QColor::fromRgbF(252 / 255.0, 252 / 255.0, 178 / 255.0));
    EXPECT_NE(editor->defaultColor(), VySSHServerViewController::autoFillColor());

    // Typing something else recolours without refilling.
    type(field, "other");
    EXPECT_EQ(field->text(), "other");
    EXPECT_EQ(background(field), editor->defaultColor());
    // Typing the stored password back makes it yellow again.
    type(field, "stored pw");
    EXPECT_EQ(background(field), VySSHServerViewController::autoFillColor());

    // A host without a stored password: the text stays, the colour goes.
    type(field, "typed");
    auto* host = find<QLineEdit>("sshHostTextField");
    type(host, "beta");
    EXPECT_EQ(profile_->ssh_host, "beta");
    EXPECT_EQ(field->text(), "typed");
    EXPECT_EQ(background(field), editor->defaultColor());
    // Back to the stored login: refilled.
    type(host, "alpha");
    EXPECT_EQ(field->text(), "stored pw");
    EXPECT_EQ(background(field), VySSHServerViewController::autoFillColor());
    // The user and port take part in the login too.
    type(find<QLineEdit>("userNameTextField"), "admin");
    EXPECT_EQ(profile_->ssh_user, "admin");
    EXPECT_EQ(background(field), editor->defaultColor());
}

TEST_F(ServerEditor, StoredInteractiveAnswersCanBeDeletedAfterAskingFirst) {
    open(profile("alpha", 2222, "root"));
    editor->goToMultiFactorAuth();
    auto* button = editor->deleteInformationButton();
    EXPECT_FALSE(button->isEnabled()) << "nothing stored";

    ASSERT_TRUE(interactiveItem("alpha", 2222, "root")->addAnswers({"123456"}, 0));
    editor->testIfFoundInKeychain(false);
    EXPECT_TRUE(button->isEnabled());

    alerts->answer(1001); // Cancel
    button->click();
    ASSERT_EQ(alerts->asked().size(), 1u);
    const WendleAlert& asked = alerts->asked()[0];
    EXPECT_EQ(asked.style, WendleAlert::Style::critical);
    EXPECT_EQ(asked.messageText, "Delete saved interactive information");
    EXPECT_EQ(asked.informativeText,
              "Warning! Interactive information for “root” on host “alpha:2222” will be "
              "permanently removed from your keychain.");
    EXPECT_EQ(asked.buttons, (QStringList{"Delete", "Cancel"}));
    EXPECT_FALSE(interactiveItem("alpha", 2222, "root")->token().empty());
    EXPECT_TRUE(button->isEnabled());

    alerts->answer(1000); // Delete
    button->click();
    EXPECT_TRUE(interactiveItem("alpha", 2222, "root")->token().empty());
    EXPECT_FALSE(button->isEnabled());
    EXPECT_EQ(passwordItem("alpha", 2222, "root")->token(), "") << "the password item is another item";

    // With nothing stored the button asks nothing.
    editor->deleteInteractiveInformation();
    EXPECT_EQ(alerts->asked().size(), 2u);
}

// savePassword for each combination of stored and typed passwords, with
// each answer of its alert.
TEST_F(ServerEditor, SavePasswordAsksBeforeChangingAStoredPassword) {
    struct Case {
        const char* stored;
        const char* typed;
        std::optional<long> answer; // nullopt: no alert expected
        bool result;
        const char* after;
    };
    const Case cases[] = {
        {"", "new", std::nullopt, true, "new"},       // nothing stored: stored at once
        {"", "", std::nullopt, true, ""},             // nothing to store
        {"same", "same", std::nullopt, true, "same"}, // unchanged
        {"old", "new", 1000, true, "new"},            // Update
        {"old", "new", 1001, false, "old"},           // Cancel: stay in the sheet
        {"old", "new", 1002, true, "old"},            // Not Update
        {"old", "", 1000, true, ""},                  // Delete
        {"old", "", 1001, false, "old"},              // Cancel
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + " / " + c.typed);
        keychain = std::make_shared<MemoryKeychainBackend>();
        KeychainBackend::setShared(keychain);
        if (*c.stored) {
            ASSERT_TRUE(passwordItem("alpha", 22, "root")->setToken(c.stored));
        }
        open(profile("alpha", 22, "root"));
        editor->passwordSecureTextField()->setText(QString::fromUtf8(c.typed));
        const std::size_t before = alerts->asked().size();
        if (c.answer) alerts->answer(*c.answer);
        EXPECT_EQ(editor->savePassword(), c.result);
        EXPECT_EQ(passwordItem("alpha", 22, "root")->token(), c.after);
        ASSERT_EQ(alerts->asked().size(), before + (c.answer ? 1 : 0));
        if (!c.answer) continue;
        const WendleAlert& asked = alerts->asked().back();
        if (*c.typed) {
            EXPECT_EQ(asked.style, WendleAlert::Style::warning);
            EXPECT_EQ(asked.messageText, "Udpate saved password");
            EXPECT_EQ(asked.informativeText, "Would you like to update the password saved in your keychain "
                                             "for “root” on host “alpha:22”?");
            EXPECT_EQ(asked.buttons, (QStringList{"Update", "Cancel", "Not Update"}));
        } else {
            EXPECT_EQ(asked.style, WendleAlert::Style::critical);
            EXPECT_EQ(asked.messageText, "Delete saved password");
            EXPECT_EQ(asked.informativeText,
                      "Warning! Since you leave the password field blank, password for “root” "
                      "on host “alpha:22” will be permanently removed from your keychain.");
            EXPECT_EQ(asked.buttons, (QStringList{"Delete", "Cancel"}));
        }
        EXPECT_EQ(alerts->pending(), 0u);
    }

    // Escape (the runner's cancel code) in either alert keeps the password.
    ASSERT_TRUE(passwordItem("alpha", 22, "root")->setToken("kept"));
    open(profile("alpha", 22, "root"));
    editor->passwordSecureTextField()->setText("changed");
    EXPECT_FALSE(editor->savePassword());
    EXPECT_EQ(alerts->asked().back().cancelCode(), 1001);
    editor->passwordSecureTextField()->clear();
    EXPECT_FALSE(editor->savePassword());
    EXPECT_EQ(passwordItem("alpha", 22, "root")->token(), "kept");
}

TEST_F(ServerEditor, SavePasswordHasNothingToDoWithoutAFieldOrALogin) {
    // A public-key login shows no password field.
    auto p = profile("alpha", 22, "root");
    p->setAuthMethod(HalvexAuthMethodModel::sharedPublickeyAutheMethod());
    ASSERT_TRUE(passwordItem("alpha", 22, "root")->setToken("stored"));
    open(p);
    editor->passwordSecureTextField()->clear();
    EXPECT_TRUE(editor->savePassword());
    EXPECT_EQ(passwordItem("alpha", 22, "root")->token(), "stored");

    // A host that makes no keychain item stores nothing.
    open(profile("bad host", 22, "root"));
    editor->passwordSecureTextField()->setText("pw");
    EXPECT_TRUE(editor->savePassword());
    EXPECT_TRUE(keychain->items().size() == 1);
    EXPECT_TRUE(alerts->asked().empty());

    // A keychain that refuses: the user is told, the sheet may still close.
    keychain->setFailWrites(true);
    open(profile("gamma", 22, "root"));
    editor->passwordSecureTextField()->setText("pw");
    EXPECT_TRUE(editor->savePassword());
    ASSERT_EQ(alerts->asked().size(), 1u);
    EXPECT_EQ(alerts->asked()[0].messageText, "The keychain refused the change.");
}

TEST_F(ServerEditor, ValidationMarksAndFocusesTheFirstEmptyOrInvalidField) {
    auto p = profile("", 22, "");
    p->ssh_host.reset();
    open(p);
    auto* host = find<QLineEdit>("sshHostTextField");
    auto* port = find<QLineEdit>("sshPortTextField");
    auto* user = find<QLineEdit>("userNameTextField");
    auto* hostMark = find<QLabel>("sshHostRequiredLabel");
    auto* portMark = find<QLabel>("sshPortRequiredLabel");
    auto* loginMark = find<QLabel>("sshLoginRequiredLabel");

    EXPECT_FALSE(editor->validateAllFields());
    EXPECT_TRUE(editor->sshHostRequiredAlert());
    EXPECT_FALSE(editor->sshLoginRequiredAlert()) << "only the first empty field is marked";
    EXPECT_TRUE(hostMark->isVisible());
    EXPECT_FALSE(loginMark->isVisible());
    EXPECT_EQ(editor->focusWidget(), host);

    // Typing anywhere clears every mark.
    type(user, "x");
    EXPECT_FALSE(editor->sshHostRequiredAlert());
    EXPECT_FALSE(hostMark->isVisible());
    type(user, "");

    type(host, "alpha");
    type(port, "");
    EXPECT_FALSE(editor->validateAllFields());
    EXPECT_TRUE(editor->sshPortRequiredAlert());
    EXPECT_EQ(portMark->text(), "Required");
    EXPECT_EQ(editor->focusWidget(), port);

    // Ports outside 1 to 65535 are refused with a clear message and never
    // reach the profile.
    for (const char* bad : {"0", "65536", "99999"}) {
        type(port, bad);
        EXPECT_TRUE(portMark->isVisible()) << bad;
        EXPECT_EQ(portMark->text(), "The port must be a number from 1 to 65535.");
        EXPECT_FALSE(editor->validateAllFields()) << bad;
        EXPECT_EQ(editor->focusWidget(), port);
        ASSERT_TRUE(profile_->ssh_port);
        EXPECT_TRUE(*profile_->ssh_port >= 1 && *profile_->ssh_port <= 65535) << bad;
        EXPECT_NE(*profile_->ssh_port, std::atoi(bad));
    }
    QTest::keyClicks(port, "abc");
    EXPECT_EQ(port->text(), "99999") << "only digits can be typed";
    type(port, "65535");
    EXPECT_FALSE(portMark->isVisible());
    EXPECT_EQ(profile_->ssh_port, 65535);

    EXPECT_FALSE(editor->validateAllFields());
    EXPECT_TRUE(editor->sshLoginRequiredAlert());
    EXPECT_EQ(editor->focusWidget(), user);
    type(user, "root");
    EXPECT_TRUE(editor->validateAllFields());
}

TEST_F(ServerEditor, TheKeyPopUpListsTheStoreAndSetsTheProfilesKey) {
    const std::string b = importKey("b_key");
    const std::string a = importKey("a_key");
    auto p = profile("alpha", 22, "root");
    p->setAuthMethod(HalvexAuthMethodModel::sharedPublickeyAutheMethod());
    p->private_key = b;
    open(p);
    auto* popUp = find<QComboBox>("singlePrivateKeyPopUp");
    ASSERT_EQ(popUp->count(), 3);
    EXPECT_EQ(popUp->itemText(0), "None");
    EXPECT_EQ(popUp->itemText(1), "a_key");
    EXPECT_EQ(popUp->currentText(), "b_key");

    popUp->setCurrentIndex(1);
    emit popUp->activated(1);
    EXPECT_EQ(profile_->private_key, a);
    // A change of the profile's key shows at once.
    profile_->setValueForKey("private_key", nullptr);
    EXPECT_EQ(popUp->currentText(), "None");

    bool asked = false;
    QObject::connect(editor.get(), &VySSHServerViewController::importPrivateKeyRequested,
                     [&] { asked = true; });
    find<QPushButton>("singleImportKeyButton")->click();
    EXPECT_TRUE(asked);
}

// Tab goes through each row from the left, as the controls stand.
TEST_F(ServerEditor, TabFollowsTheRowsFromTheLeft) {
    open(profile("alpha", 22, "root"));
    auto tabOrderFrom = [&](QWidget* start, int count) {
        QStringList names;
        for (QWidget* w = start->nextInFocusChain(); w && w != start && names.size() < count;
             w = w->nextInFocusChain())
            if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(editor.get()) && w->isEnabled())
                names << w->objectName();
        return names.join(QLatin1Char(' ')).toStdString();
    };
    EXPECT_EQ(
        tabOrderFrom(find<QWidget>("userNameTextField"), 4),
        "singleAuthMethodPopUp singleAuthHelpButton goToMultiFactorButton singlePasswordSecureTextField");
    find<QPushButton>("goToMultiFactorButton")->click();
    EXPECT_EQ(tabOrderFrom(find<QWidget>("userNameTextField"), 3),
              "multiAuthMethodsList multiAuthHelpButton backToSingleFactorButton");
}

} // namespace
