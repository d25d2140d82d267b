// The General pane's font sheet and the keyboard pane's storage, over
// scratch preferences; the sheet's font reaching an open page.

#include "MainWindowTestSupport.h"

#include "Foundation/NotificationCenter.h"
#include "Rellum/RellumKeyMapModel.h"
#include "app/GeneralPreferencesViewController.h"
#include "app/KeyboardPreferencesViewController.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

#include <cmath>
#include <limits>

using namespace app_test;

namespace {

// Every "OrvikFontDidChange" while it lives, with what the preferences held
// when it came.
struct FontNotices {
    struct Notice {
        std::shared_ptr<const RellumFont> font;
        std::string storedFamily;
        double storedSize = 0;
    };
    std::vector<Notice> notices;
    ObservationToken token;
    explicit FontNotices(OrvikPreferences& prefs) {
        token = NotificationCenter::defaultCenter().addObserver(
            OrvikFontDidChangeNotification, [this, &prefs](const Notification& n) {
                Notice notice;
                if (auto* font = std::any_cast<std::shared_ptr<const RellumFont>>(&n.object))
                    notice.font = *font;
                notice.storedFamily = prefs.defaultFontFamily();
                notice.storedSize = prefs.defaultFontSize();
                notices.push_back(notice);
            });
    }
};

struct PaneHarness {
    Scratch dir;
    std::shared_ptr<OrvikPreferences> prefs = scratchPreferences(dir);
    GeneralPreferencesViewController pane{prefs};
    QWidget* view = nullptr;
    PaneHarness() {
        view = pane.view();
        view->show();
        pumpEvents();
    }
    template <class T>
    T* panel(const char* name) {
        return pane.fontPanel()->findChild<T*>(QString::fromLatin1(name));
    }
    void click(const char* name) {
        auto* button = panel<QPushButton>(name);
        ASSERT_NE(button, nullptr) << name;
        button->click();
        pumpEvents();
    }
    void openSheet() {
        view->findChild<QPushButton*>(QStringLiteral("openFontPanel"))->click();
        pumpEvents();
        ASSERT_TRUE(pane.fontPanel()->isVisible());
    }
};

} // namespace

TEST(GeneralPane, IsTheGeneralPaneWithItsSheetAndFields) {
    PaneHarness h;
    EXPECT_EQ(h.pane.identifier(), "GeneralPreferences");
    EXPECT_EQ(h.pane.toolbarItemLabel(), "General");
    EXPECT_FALSE(h.pane.hasResizableWidth());
    EXPECT_FALSE(h.pane.hasResizableHeight());
    ASSERT_NE(h.pane.fontPanel(), nullptr);
    EXPECT_EQ(h.pane.fontPanel()->objectName(), "fontPanel");
    EXPECT_EQ(h.pane.fontPanel()->windowModality(), Qt::WindowModal);
    EXPECT_NE(h.panel<QComboBox>("fontFamily"), nullptr);
    EXPECT_NE(h.panel<QSpinBox>("fontSize"), nullptr);
    // A fresh store: the defaults.
    EXPECT_EQ(h.view->findChild<QLabel*>(QStringLiteral("fontDescription"))->text(), "Menlo, 16 pt");
}

TEST(GeneralPane, SizesLoseTheirFraction) {
    EXPECT_EQ(GeneralPreferencesViewController::wholePoints(16.0), 16u);
    EXPECT_EQ(GeneralPreferencesViewController::wholePoints(12.5), 12u);
    EXPECT_EQ(GeneralPreferencesViewController::wholePoints(13.7), 13u);
    EXPECT_EQ(GeneralPreferencesViewController::wholePoints(0.9), 0u);
    EXPECT_EQ(GeneralPreferencesViewController::wholePoints(-3), 0u);
    EXPECT_EQ(GeneralPreferencesViewController::wholePoints(std::nan("")), 0u);
    EXPECT_EQ(GeneralPreferencesViewController::wholePoints(1e300),
              std::numeric_limits<std::uint64_t>::max());
}

TEST(GeneralPane, ConfirmingStoresWholePointsThenPostsOnce) {
    PaneHarness h;
    h.prefs->setDefaultFontSize(13.7);
    h.prefs->setDefaultFontFamily("Menlo");
    FontNotices notices(*h.prefs);
    h.openSheet();
    EXPECT_EQ(h.pane.fontSize(), 13u);
    EXPECT_EQ(h.panel<QSpinBox>("fontSize")->value(), 13);
    EXPECT_EQ(h.panel<QComboBox>("fontFamily")->currentText(), "Menlo");
    EXPECT_TRUE(notices.notices.empty());

    h.click("fontPanelOK");
    EXPECT_FALSE(h.pane.fontPanel()->isVisible());
    EXPECT_EQ(h.prefs->defaultFontSize(), 13.0);
    EXPECT_EQ(h.prefs->defaultFontFamily(), "Menlo");
    ASSERT_EQ(notices.notices.size(), 1u);
    // Both values were stored before the notice went out.
    EXPECT_EQ(notices.notices[0].storedSize, 13.0);
    EXPECT_EQ(notices.notices[0].storedFamily, "Menlo");
    ASSERT_NE(notices.notices[0].font, nullptr);
    EXPECT_EQ(notices.notices[0].font->pointSize(), 13.0);
    EXPECT_EQ(h.view->findChild<QLabel*>(QStringLiteral("fontDescription"))->text(), "Menlo, 13 pt");
}

TEST(GeneralPane, EditsInTheSheetAreStoredOnOKAndForgottenOnCancel) {
    PaneHarness h;
    const auto& families = OrvikPreferences::builtinFontNames();
    ASSERT_FALSE(families.empty());
    const QString family = QString::fromStdString(families.back());
    FontNotices notices(*h.prefs);

    h.openSheet();
    h.panel<QComboBox>("fontFamily")->setCurrentText(family);
    h.panel<QSpinBox>("fontSize")->setValue(21);
    h.click("fontPanelCancel");
    EXPECT_FALSE(h.pane.fontPanel()->isVisible());
    EXPECT_TRUE(notices.notices.empty());
    EXPECT_EQ(h.prefs->defaultFontFamily(), "Menlo");
    EXPECT_EQ(h.prefs->defaultFontSize(), 16.0);

    // Escape is Cancel too; the next opening starts from what is stored.
    h.openSheet();
    EXPECT_EQ(h.pane.fontSize(), 16u);
    EXPECT_EQ(h.pane.fontFamily(), "Menlo");
    h.pane.fontPanel()->reject();
    pumpEvents();
    EXPECT_TRUE(notices.notices.empty());

    h.openSheet();
    h.panel<QComboBox>("fontFamily")->setCurrentText(family);
    h.panel<QSpinBox>("fontSize")->setValue(21);
    h.click("fontPanelOK");
    EXPECT_EQ(h.prefs->defaultFontFamily(), family.toStdString());
    EXPECT_EQ(h.prefs->defaultFontSize(), 21.0);
    ASSERT_EQ(notices.notices.size(), 1u);
    ASSERT_NE(notices.notices[0].font, nullptr);
    EXPECT_EQ(QString::fromStdString(notices.notices[0].font->familyName()), family);
}

TEST(GeneralPane, AFamilyThatIsNotInstalledIsStoredAndPostedWithoutAFont) {
    PaneHarness h;
    FontNotices notices(*h.prefs);
    h.openSheet();
    h.panel<QComboBox>("fontFamily")->setCurrentText(QStringLiteral("No Such Family Anywhere"));
    h.click("fontPanelOK");
    EXPECT_EQ(h.prefs->defaultFontFamily(), "No Such Family Anywhere");
    ASSERT_EQ(notices.notices.size(), 1u);
    EXPECT_EQ(notices.notices[0].font, nullptr);
}

TEST(GeneralPane, ASizeBelowOnePointOpensAsTheSmallestSize) {
    PaneHarness h;
    h.prefs->setDefaultFontSize(0.5);
    h.openSheet();
    EXPECT_EQ(h.pane.fontSize(), 1u);
    h.click("fontPanelOK");
    EXPECT_EQ(h.prefs->defaultFontSize(), 1.0);
}

TEST(GeneralPane, TheConfirmedFontReachesOpenPages) {
    WindowHarness w({storedServer("alpha")});
    w.connect(0);
    ASSERT_EQ(w.terminals().size(), 1u);
    GeneralPreferencesViewController pane(w.prefs);
    pane.openFontPanel();
    pane.setFontSize(19);
    pane.fontPanelOK();
    pumpEvents();
    EXPECT_EQ(w.terminals()[0]->pageFont()->pointSize(), 19.0);
    // Cancelled: the page keeps it.
    pane.openFontPanel();
    pane.setFontSize(11);
    pane.fontPanelCancel();
    pumpEvents();
    EXPECT_EQ(w.terminals()[0]->pageFont()->pointSize(), 19.0);
}

TEST(KeyboardPane, ShowsTheStoredMappingsAndWritesEveryChangeAtOnce) {
    Scratch dir;
    auto prefs = scratchPreferences(dir);
    auto stored = std::make_shared<RellumKeyMapModel>();
    stored->setKeycode(0xF705);
    stored->setModifier(0x20000);
    stored->setSendtext("\\e[A");
    prefs->setKeyMappings({stored});

    KeyboardPreferencesViewController pane(prefs);
    EXPECT_EQ(pane.identifier(), "KeyboardPreferences");
    EXPECT_FALSE(pane.toolbarItemImage().isNull());
    pane.view();
    ASSERT_EQ(pane.keyMappingsArrayController()->rowCount(), 1);

    pane.addKeyMap();
    pumpEvents();
    pane.ok();
    pumpEvents();
    // Written through at once: a second preferences object over the same
    // file reads both.
    auto reread = scratchPreferences(dir);
    ASSERT_EQ(reread->keyMappings().size(), 2u);
    EXPECT_TRUE(prefs->userDefaults()->objectForKey(OrvikPreferences::KeyMappingsKey).has_value());
    std::set<std::uint64_t> keycodes;
    for (const auto& mapping : reread->keyMappings())
        keycodes.insert(mapping->keycode());
    EXPECT_EQ(keycodes, (std::set<std::uint64_t>{0xF704, 0xF705}));
}
