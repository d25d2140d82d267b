#include "Halvex/Views/VySSHSettingsPanelController.h"

#include "Foundation/NotificationCenter.h"
#include "Halvex/Views/VySSHServerViewController.h"
#include "ServerManagementTestSupport.h"
#include "Wendle/Views/DisclosureOptionViewController.h"
#include "Wendle/Views/WendlePopover.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// The smallest concrete sheet: it records which of its actions ran.
class TestSheet : public VySSHSettingsPanelController {
public:
    using VySSHSettingsPanelController::VySSHSettingsPanelController;
    std::vector<std::string> actions;
    void ok() override {
        actions.push_back("ok");
        endSheet(1);
    }
    void cancel() override {
        actions.push_back("cancel");
        endSheet(0);
    }
    void windowDidLoad() override {
        VySSHSettingsPanelController::windowDidLoad();
        actions.push_back("windowDidLoad");
    }
};

const char* const kDeleted = "com.brimble.halvex.extras.privatekey.deleted.notification";

class SettingsSheet : public mgmt_test::ServerManagementTest {
protected:
    static std::shared_ptr<HalvexSessionController> stored() {
        auto p = profile("alpha.example", 2200, "root");
        p->setName("Alpha");
        p->comment = "the first";
        return p;
    }
    template <class W>
    static W* find(QWidget* in, const char* name) {
        auto* w = in->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

TEST_F(SettingsSheet, EachModeEditsAFreshProfileAndTitlesItsDefaultButton) {
    auto original = stored();
    const nlohmann::json before = original->dictionaryValue();

    TestSheet add(VySSHSettingsPanelController::initInAddMode);
    add.loadWindow();
    EXPECT_FALSE(add.inEditMode());
    ASSERT_TRUE(add.sessionController());
    EXPECT_FALSE(add.sessionController()->ssh_host) << "a new profile";
    EXPECT_EQ(add.okButton()->text(), "Create");
    EXPECT_EQ(add.actions, std::vector<std::string>{"windowDidLoad"});

    TestSheet edit(VySSHSettingsPanelController::initInEditModeWithSessionController, original);
    edit.loadWindow();
    EXPECT_TRUE(edit.inEditMode());
    EXPECT_EQ(edit.okButton()->text(), "OK") << "edit mode keeps the interface's title";
    TestSheet duplicate(VySSHSettingsPanelController::initInDuplicateModeWithSessionController, original);
    duplicate.loadWindow();
    EXPECT_FALSE(duplicate.inEditMode());
    EXPECT_EQ(duplicate.okButton()->text(), "Create");

    for (TestSheet* sheet : {&edit, &duplicate}) {
        const auto& copy = sheet->sessionController();
        ASSERT_TRUE(copy);
        EXPECT_NE(copy.get(), original.get());
        EXPECT_NE(copy->uid, original->uid) << "a duplicate has its own uid";
        EXPECT_TRUE(copy->isIdentical(*original));
        // Editing in the sheet never reaches the stored profile.
        auto* name = find<QLineEdit>(sheet, "nameTextField");
        EXPECT_EQ(name->text(), "Alpha");
        name->selectAll();
        QTest::keyClicks(name, "Renamed");
        auto* proxyHost = find<QLineEdit>(sheet, "proxy_command_hostTextField");
        QTest::keyClicks(proxyHost, "proxy.example");
        find<QCheckBox>(sheet, "compressionCheckBox")->setChecked(true);
        EXPECT_EQ(copy->name(), "Renamed");
        EXPECT_EQ(copy->proxy_command_host, "proxy.example");
        EXPECT_EQ(copy->compression, true);
    }
    EXPECT_EQ(original->dictionaryValue(), before);

    // The duplicate of a plain controller is a controller with every value.
    auto copy = VySSHDuplicateSessionController(*original);
    EXPECT_EQ(copy->comment, "the first");
    EXPECT_EQ(copy->ssh_port, 2200);
}

TEST_F(SettingsSheet, OkCancelEscapeAndClosingGoToTheSubclass) {
    QWidget parent;
    parent.show();
    TestSheet sheet(VySSHSettingsPanelController::initInAddMode);
    std::vector<int> codes;
    sheet.beginSheet(&parent, [&](int code) { codes.push_back(code); });
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.windowModality(), Qt::WindowModal);
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_EQ(sheet.actions.back(), "cancel");
    EXPECT_EQ(codes, std::vector<int>{0});

    sheet.beginSheet(&parent, [&](int code) { codes.push_back(code); });
    sheet.okButton()->click();
    EXPECT_EQ(sheet.actions.back(), "ok");
    EXPECT_EQ(codes, (std::vector<int>{0, 1}));

    sheet.beginSheet(&parent, [&](int code) { codes.push_back(code); });
    sheet.close();
    EXPECT_EQ(sheet.actions.back(), "cancel");
    EXPECT_EQ(codes, (std::vector<int>{0, 1, 0}));
}

TEST_F(SettingsSheet, TheConnectionStackHoldsTheOptionsThenTheFoldingProxySection) {
    TestSheet sheet(VySSHSettingsPanelController::initInDuplicateModeWithSessionController, stored());
    sheet.loadWindow();
    auto* layout = sheet.connectionStackView()->layout();
    ASSERT_EQ(layout->count(), 2);
    EXPECT_EQ(layout->itemAt(0)->widget(), sheet.optionsView());
    EXPECT_EQ(layout->itemAt(1)->widget(), sheet.proxyViewController()->view());
    EXPECT_EQ(layout->spacing(), 0);

    sheet.show();
    auto* proxy = sheet.proxyViewController();
    EXPECT_FALSE(proxy->disclosedView()->isVisible()) << "folded at first";
    proxy->disclosureButton()->click();
    EXPECT_TRUE(proxy->isDisclosed());
    EXPECT_TRUE(proxy->disclosedView()->isVisible());
    EXPECT_TRUE(find<QLineEdit>(proxy->disclosedView(), "proxy_command_hostTextField")->isVisible());

    // The interface pop-up: automatic, then the machine's interfaces.
    auto* interfaces = find<QComboBox>(&sheet, "connect_interfacePopUp");
    ASSERT_EQ(interfaces->count(), static_cast<int>(sheet.interfaces().size()) + 1);
    EXPECT_EQ(interfaces->itemData(0).toString(), HalvexSessionModel::AutomaticNetworkInterface);
    for (std::size_t i = 0; i < sheet.interfaces().size(); ++i)
        EXPECT_EQ(interfaces->itemText(static_cast<int>(i) + 1).toStdString(),
                  sheet.interfaces()[i].BSDName());
    if (interfaces->count() > 1) {
        interfaces->setCurrentIndex(1);
        emit interfaces->activated(1);
        EXPECT_EQ(sheet.sessionController()->connect_interface, sheet.interfaces()[0].BSDName());
    }
}

TEST_F(SettingsSheet, HelpPopoversShowTheButtonsHelpTextBesideIt) {
    TestSheet sheet(VySSHSettingsPanelController::initInAddMode);
    sheet.loadWindow();
    sheet.show();
    QToolButton help;
    help.setProperty("alternateTitle", QStringLiteral("• Password\n\nsome help"));
    sheet.basicStackView()->setLayout(new QVBoxLayout);
    sheet.basicStackView()->layout()->addWidget(&help);
    sheet.showHelpPopover(&help);
    ASSERT_TRUE(sheet.helpPopover()->isVisible());
    auto* content = qobject_cast<VyPopoverHelperViewController*>(sheet.helpPopover()->contentWidget());
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->helpText(), "• Password\n\nsome help");
    sheet.helpPopover()->close();
    sheet.basicStackView()->layout()->removeWidget(&help);
    help.setParent(nullptr);
}

TEST_F(SettingsSheet, AMissingKeyIsClearedAtLoadAndADeletedOneWhileOpen) {
    const std::string kept = importKey("kept_key");
    const std::string other = importKey("other_key");

    auto gone = stored();
    gone->private_key = "0000000000000000000000000000000000000000";
    TestSheet missing(VySSHSettingsPanelController::initInEditModeWithSessionController, gone);
    missing.loadWindow();
    EXPECT_FALSE(missing.sessionController()->private_key) << "never shows a key that no longer exists";
    EXPECT_EQ(gone->private_key, "0000000000000000000000000000000000000000")
        << "the stored profile is untouched";

    // Two open sheets, each clearing only its own profile's key.
    auto a = stored();
    a->private_key = kept;
    auto b = stored();
    b->private_key = other;
    TestSheet sheetA(VySSHSettingsPanelController::initInEditModeWithSessionController, a);
    TestSheet sheetB(VySSHSettingsPanelController::initInEditModeWithSessionController, b);
    sheetA.loadWindow();
    sheetB.loadWindow();
    ASSERT_EQ(sheetA.sessionController()->private_key, kept);

    auto& center = NotificationCenter::defaultCenter();
    center.postNotification(kDeleted, {}, nlohmann::json{{"key_id", ""}});
    center.postNotification(kDeleted, {}, nlohmann::json::object());
    center.postNotification(kDeleted, {}, nlohmann::json{{"key_id", 7}});
    EXPECT_EQ(sheetA.sessionController()->private_key, kept) << "a notice without a key id changes nothing";
    center.postNotification(kDeleted, {}, nlohmann::json{{"key_id", kept}});
    EXPECT_FALSE(sheetA.sessionController()->private_key);
    EXPECT_EQ(sheetB.sessionController()->private_key, other);
    EXPECT_EQ(a->private_key, kept) << "only the sheet's copy changes";
}

TEST_F(SettingsSheet, AClosedSheetNoLongerHearsDeletions) {
    const std::string key = importKey("short_lived");
    auto p = stored();
    p->private_key = key;
    std::shared_ptr<HalvexSessionController> copy;
    {
        TestSheet sheet(VySSHSettingsPanelController::initInEditModeWithSessionController, p);
        sheet.loadWindow();
        copy = sheet.sessionController();
    }
    NotificationCenter::defaultCenter().postNotification(kDeleted, {}, nlohmann::json{{"key_id", key}});
    EXPECT_EQ(copy->private_key, key);
}

} // namespace
