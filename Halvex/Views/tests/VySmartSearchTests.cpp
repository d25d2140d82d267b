// The search side: the results toolbar, the search field's actions (Return
// with empty text, the cancel order), the smart-group sheet, and the search
// menu's rebuild and recent searches.
#include "Wendle/Views/tests/DialogTestSupport.h"
#include "Halvex/Views/VyLayoutConstraint.h"
#include "Halvex/Views/VySSHSidebarViewController.h"
#include "Halvex/Views/VySmartGroupEditingPanelController.h"
#include "Halvex/Views/VySmartGroupItemView.h"
#include "Halvex/Views/VySmartSearchField.h"
#include "Halvex/Views/VySmartSearchFieldController.h"
#include "SidebarTestSupport.h"
#include "Wendle/Views/WendlePopover.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWidgetAction>
#include <gtest/gtest.h>

#include <memory>

using namespace sidebar_test;

namespace {

class SmartSearch : public testing::Test {
protected:
    void SetUp() override {
        host.content = entries({"web-1 prod", "db-1 prod", "web-2 test", "cache test"});
        sidebar = std::make_unique<VySSHSidebarViewController>(&host);
        window.resize(320, 500);
        sidebar->view()->setParent(&window);
        sidebar->view()->resize(320, 500);
        window.show();
    }
    void TearDown() override {
        if (auto* panel = sidebar->smartGroupEditingPanel(); panel && panel->window()->isVisible())
            panel->cancel();
    }
    // Types into the field as a user would.
    void type(const QString& text) {
        VySmartSearchField* field = sidebar->searchField();
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    QString resultLine() const { return sidebar->searchingResultTextField()->text(); }
    QString buttonTitle() const { return sidebar->saveNEditButton()->text(); }
    bool toolbarShown() const { return sidebar->topSpaceOfSmartGroupToolbar()->targetConstant() == 0; }
    bool iconShown() const {
        return sidebar->leadingSpaceOfSmartGroupIcon()->targetConstant() == 11.0 &&
               sidebar->leadingSpaceOfSearchingResult()->targetConstant() == 10.0;
    }
    bool iconHidden() const {
        return sidebar->leadingSpaceOfSmartGroupIcon()->targetConstant() == -27.0 &&
               sidebar->leadingSpaceOfSearchingResult()->targetConstant() == 25.0;
    }
    void finishAnimations() {
        sidebar->topSpaceOfSmartGroupToolbar()->finishAnimation();
        sidebar->leadingSpaceOfSmartGroupIcon()->finishAnimation();
        sidebar->leadingSpaceOfSearchingResult()->finishAnimation();
    }

    QWidget window;
    RecordingDelegate host;
    std::unique_ptr<VySSHSidebarViewController> sidebar;
};

// The results toolbar ---------------------------------------------------------

TEST_F(SmartSearch, TheToolbarStartsHiddenAboveTheTable) {
    EXPECT_EQ(sidebar->topSpaceOfSmartGroupToolbar()->constant(),
              -sidebar->smartGroupToolbarView()->height());
    EXPECT_TRUE(iconHidden());
    EXPECT_EQ(sidebar->smartGroupToolbarView()->objectName(), "smartGroupToolbarView");
}

TEST_F(SmartSearch, TypingCountsTheMatchesOrNamesTheSmartGroup) {
    type("db");
    EXPECT_EQ(names(sidebar->displayingItems()), QStringList({"db-1 prod"}));
    EXPECT_EQ(resultLine(), "1 tunnel found");
    EXPECT_EQ(buttonTitle(), "Save");
    EXPECT_TRUE(toolbarShown());
    EXPECT_TRUE(iconHidden());

    type("prod");
    EXPECT_EQ(resultLine(), "2 tunnels found");
    type("nothing");
    EXPECT_EQ(resultLine(), "Sorry, no tunnel matched.");
    EXPECT_EQ(sidebar->displayingItemsCount(), 0);

    // A group whose search text is the same but for case.
    sidebar->addSmartGroup(group("Databases", "DB"));
    type("db");
    EXPECT_EQ(resultLine(), "Databases");
    EXPECT_EQ(buttonTitle(), "Edit");
    EXPECT_TRUE(iconShown());
    EXPECT_FALSE(host.filterTexts.empty());
    EXPECT_EQ(host.filterTexts.back(), "db");
}

TEST_F(SmartSearch, AShownToolbarAnimatesTheIconAHiddenOneSetsItAtOnce) {
    sidebar->addSmartGroup(group("Databases", "db"));
    type("db"); // hidden before: the icon is placed at once, the toolbar slides in
    EXPECT_FALSE(sidebar->leadingSpaceOfSmartGroupIcon()->isAnimating());
    EXPECT_EQ(sidebar->leadingSpaceOfSmartGroupIcon()->constant(), 11.0);
    EXPECT_TRUE(sidebar->topSpaceOfSmartGroupToolbar()->isAnimating());
    finishAnimations();
    EXPECT_EQ(sidebar->topSpaceOfSmartGroupToolbar()->constant(), 0);

    type("web"); // shown: the icon slides out
    EXPECT_TRUE(sidebar->leadingSpaceOfSmartGroupIcon()->isAnimating());
    EXPECT_TRUE(iconHidden());
    EXPECT_EQ(buttonTitle(), "Save");
    finishAnimations();
    // The result text sits right of where the icon is.
    EXPECT_GE(sidebar->searchingResultTextField()->x(),
              sidebar->smartGroupIconImageView()->x() + sidebar->smartGroupIconImageView()->width());
}

TEST_F(SmartSearch, TextWithoutWordsHidesTheToolbar) {
    type("web");
    finishAnimations();
    ASSERT_TRUE(toolbarShown());
    type("   ");
    EXPECT_EQ(sidebar->topSpaceOfSmartGroupToolbar()->targetConstant(),
              -sidebar->smartGroupToolbarView()->height());
    // The blanks were still searched: the host decides what they match.
    EXPECT_EQ(host.filterTexts.back(), "   ");
}

TEST_F(SmartSearch, TheCancelButtonShowsEveryEntryAndHidesTheToolbar) {
    type("web");
    finishAnimations();
    ASSERT_EQ(sidebar->displayingItemsCount(), 2);
    ASSERT_TRUE(sidebar->searchField()->cancelButton()->isVisible());
    sidebar->searchField()->cancelButton()->trigger();
    EXPECT_TRUE(sidebar->searchField()->text().isEmpty());
    EXPECT_EQ(tableRows(*sidebar), names(host.content));
    EXPECT_FALSE(toolbarShown());
    EXPECT_FALSE(sidebar->searchField()->cancelButton()->isVisible());
}

// The search field's actions ---------------------------------------------------

class RecordingFieldDelegate : public VySmartSearchFieldControllerDelegate {
public:
    QStringList calls;
    VySmartSearchField* field = nullptr;
    VySmartGroupList groups;
    void actionSearch(const QString& text) override { calls.append("search:" + text); }
    void actionSearchFieldDidChange(const QString& text) override { calls.append("change:" + text); }
    void actionCancelButtonClicked(QObject*) override {
        calls.append("cancel, field '" + field->text() + "'");
    }
    VySmartGroupList actionUpdateSmartGroups() override { return groups; }
    void actionNewSmartGroups() override { calls.append("new"); }
    void actionImportSmartGroups() override { calls.append("import"); }
    void actionExportSmartGroups() override { calls.append("export"); }
};

TEST(SmartSearchField, ReturnWithEmptyTextSearchesNothingButTypingReportsEveryChange) {
    VySmartSearchField field;
    VySmartSearchFieldController controller(&field);
    RecordingFieldDelegate delegate;
    delegate.field = &field;
    controller.setDelegate(&delegate);

    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_TRUE(delegate.calls.isEmpty());
    QTest::keyClick(&field, Qt::Key_A);
    QTest::keyClick(&field, Qt::Key_Backspace);
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(delegate.calls, QStringList({"change:a", "change:"}));
    EXPECT_TRUE(field.cell()->recentSearches().isEmpty());

    QTest::keyClicks(&field, "db");
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(delegate.calls.last(), "search:db");
    // A programmatic change is no typing.
    field.setText("web");
    EXPECT_EQ(delegate.calls.last(), "search:db");
}

TEST(SmartSearchField, TheCancelButtonEmptiesTheFieldBeforeTheDelegateHears) {
    VySmartSearchField field;
    VySmartSearchFieldController controller(&field);
    RecordingFieldDelegate delegate;
    delegate.field = &field;
    controller.setDelegate(&delegate);
    QTest::keyClicks(&field, "web");
    delegate.calls.clear();
    field.cancelButton()->trigger();
    EXPECT_EQ(delegate.calls, QStringList({"cancel, field ''"}));
}

TEST(SmartSearchField, WithoutADelegateNothingHappensAndTheMenuHasNoGroups) {
    VySmartSearchField field;
    VySmartSearchFieldController controller(&field);
    QTest::keyClicks(&field, "web");
    QTest::keyClick(&field, Qt::Key_Return);
    controller.updateSearchFieldNTrigerSearch("db");
    EXPECT_EQ(field.text(), "db");
    EXPECT_TRUE(controller.actionUpdateSmartGroups().isEmpty());
}

// The smart-group sheet ----------------------------------------------------------

class KeywordsRecorder : public VySmartGroupEditingPanelControllerDelegate {
public:
    QStringList keywords;
    void actionKeywordsDidChange(const QString& text) override { keywords.append(text); }
};

TEST(SmartGroupSheet, SaveIsEnabledOnlyWhileNameAndKeywordsHaveWords) {
    VySmartGroupEditingPanelController panel("New Smart Group", "", false);
    KeywordsRecorder recorder;
    panel.setDelegate(&recorder);
    panel.window();
    EXPECT_EQ(recorder.keywords, QStringList({""})); // once when the window loads
    EXPECT_FALSE(panel.saveButton()->isEnabled());
    EXPECT_FALSE(panel.deleteButton()->isVisibleTo(panel.window()));

    QTest::keyClicks(panel.keywordsTextField(), "prod web");
    EXPECT_TRUE(panel.saveButton()->isEnabled());
    EXPECT_EQ(panel.keywords(), "prod web");
    EXPECT_EQ(recorder.keywords.last(), "prod web");

    panel.nameTextField()->setText("   ");
    EXPECT_FALSE(panel.saveButton()->isEnabled());
    EXPECT_EQ(panel.smartGroupName(), "   ");
    panel.setSmartGroupName("Prod");
    EXPECT_EQ(panel.nameTextField()->text(), "Prod");
    EXPECT_TRUE(panel.saveButton()->isEnabled());
    panel.setKeywords(" ");
    EXPECT_FALSE(panel.saveButton()->isEnabled());
    EXPECT_EQ(recorder.keywords.last(), " ");
}

TEST(SmartGroupSheet, EndsWithZeroForSaveOneForCancelAndEscapeTwoForDelete) {
    QWidget parent;
    parent.show();
    auto run = [&](std::function<void(VySmartGroupEditingPanelController&)> end) {
        VySmartGroupEditingPanelController panel("Prod", "prod", true);
        int code = -1;
        panel.beginSheet(&parent, [&](int c) { code = c; });
        EXPECT_TRUE(panel.window()->isVisible());
        EXPECT_TRUE(panel.deleteButton()->isVisible());
        end(panel);
        EXPECT_FALSE(panel.window()->isVisible());
        return code;
    };
    EXPECT_EQ(run([](auto& p) { p.saveButton()->click(); }), 0);
    EXPECT_EQ(run([](VySmartGroupEditingPanelController& p) {
                  p.window()->findChild<QPushButton*>("cancelButton")->click();
              }),
              1);
    EXPECT_EQ(run([](auto& p) { QTest::keyClick(p.window(), Qt::Key_Escape); }), 1);
    EXPECT_EQ(run([](auto& p) { p.window()->close(); }), 1);
    EXPECT_EQ(run([](auto& p) { p.deleteButton()->click(); }), 2);
}

TEST(SmartGroupSheet, TheHelpButtonShowsItsTextBesideIt) {
    VySmartGroupEditingPanelController panel("Prod", "prod", false);
    auto* help = panel.window()->findChild<QPushButton*>("helpButton");
    ASSERT_NE(help, nullptr);
    // At the screen's left edge, so the popover has room on the right.
    panel.window()->move(0, 0);
    panel.window()->show();
    panel.showHelpPopover(help);
    ASSERT_TRUE(panel.helpPopover()->isVisible());
    EXPECT_EQ(panel.helpPopover()->shownEdge(), WendlePopover::Edge::right);
    auto* content = qobject_cast<VyPopoverHelperViewController*>(panel.helpPopover()->contentWidget());
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->helpText(), help->property("alternateTitle").toString());
    EXPECT_FALSE(content->helpText().isEmpty());
    panel.helpPopover()->hide();
}

TEST_F(SmartSearch, SavingTheAddingSheetAppendsAGroupWithoutACount) {
    type("prod web");
    sidebar->saveNEditButtonClicked();
    VySmartGroupEditingPanelController* panel = sidebar->smartGroupEditingPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->isEditingMode());
    EXPECT_EQ(panel->smartGroupName(), "prod web");
    EXPECT_EQ(panel->keywords(), "prod web");
    panel->setSmartGroupName("Prod");
    panel->save();
    ASSERT_EQ(host.savedGroups.size(), 1u);
    ASSERT_EQ(host.groups.size(), 1);
    EXPECT_EQ(host.groups[0], group("Prod", "prod web"));
    EXPECT_FALSE(host.groups[0].contains(kSmartGroupHitCount));
    EXPECT_EQ(resultLine(), "Prod");
    EXPECT_EQ(buttonTitle(), "Edit");
    EXPECT_EQ(sidebar->smartGroupEditingPanel(), nullptr);
}

TEST_F(SmartSearch, AnAddingSheetWithoutSearchWordsStartsNamedNewSmartGroup) {
    sidebar->actionNewSmartGroups();
    VySmartGroupEditingPanelController* panel = sidebar->smartGroupEditingPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->smartGroupName(), "New Smart Group");
    EXPECT_EQ(panel->keywords(), "");
    EXPECT_FALSE(panel->saveButton()->isEnabled());
    // One sheet at a time.
    sidebar->actionNewSmartGroups();
    EXPECT_EQ(sidebar->smartGroupEditingPanel(), panel);
    // Typing keywords searches live.
    QTest::keyClicks(panel->keywordsTextField(), "test");
    EXPECT_EQ(sidebar->searchField()->text(), "test");
    EXPECT_EQ(names(sidebar->displayingItems()), QStringList({"web-2 test", "cache test"}));
    panel->cancel();
    EXPECT_TRUE(host.savedGroups.empty());
    EXPECT_EQ(sidebar->smartGroupEditingPanel(), nullptr);
}

TEST_F(SmartSearch, TheEditingSheetReplacesOrDeletesTheGroupOfTheSearch) {
    host.groups = {group("Web", "web"), group("Databases", "db")};
    sidebar->reloadSmartGroups();
    type("DB");
    ASSERT_EQ(buttonTitle(), "Edit");
    sidebar->saveNEditButtonClicked();
    VySmartGroupEditingPanelController* panel = sidebar->smartGroupEditingPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isEditingMode());
    EXPECT_EQ(panel->smartGroupName(), "Databases");
    EXPECT_EQ(panel->keywords(), "DB");
    panel->setSmartGroupName("All databases");
    panel->save();
    EXPECT_EQ(host.groups, VySmartGroupList({group("Web", "web"), group("All databases", "DB")}));
    EXPECT_EQ(resultLine(), "All databases");

    sidebar->saveNEditButtonClicked();
    sidebar->smartGroupEditingPanel()->deleteSmartGroup();
    EXPECT_EQ(host.groups, VySmartGroupList({group("Web", "web")}));
    // The same search, now without a group: the line falls back to the count.
    EXPECT_EQ(sidebar->searchField()->text(), "DB");
    EXPECT_EQ(resultLine(), "1 tunnel found");
    EXPECT_EQ(buttonTitle(), "Save");

    // Cancel changes nothing.
    type("web");
    sidebar->saveNEditButtonClicked();
    sidebar->smartGroupEditingPanel()->cancel();
    EXPECT_EQ(host.groups, VySmartGroupList({group("Web", "web")}));
    EXPECT_EQ(host.savedGroups.size(), 2u);
}

TEST_F(SmartSearch, EditingWithoutAMatchingGroupDoesNothing) {
    type("web");
    sidebar->popupSmartGroupEditingPanel();
    EXPECT_EQ(sidebar->smartGroupEditingPanel(), nullptr);
    type("   ");
    sidebar->popupSmartGroupEditingPanel();
    EXPECT_EQ(sidebar->smartGroupEditingPanel(), nullptr);
}

// The search menu -----------------------------------------------------------

QList<QAction*> volatileItems(VyMenu* menu) {
    return menu->itemsWithTag(kSmartGroupItemVolatileTag);
}

VySmartGroupItemView* itemView(QAction* item) {
    auto* widgetItem = qobject_cast<QWidgetAction*>(item);
    return widgetItem ? qobject_cast<VySmartGroupItemView*>(widgetItem->defaultWidget()) : nullptr;
}

QAction* namedItem(VyMenu* menu, const char* name) {
    for (QAction* a : menu->actions())
        if (a->objectName() == QLatin1String(name)) return a;
    return nullptr;
}

TEST_F(SmartSearch, OpeningTheMenuBuildsOneSetOfSmartGroupItems) {
    host.groups = {group("Web", "web"),
                   {{kSmartGroupName, "Prod"}, {kSmartGroupSearchText, "prod"}, {kSmartGroupHitCount, 2}}};
    VySmartSearchFieldController* controller = sidebar->searchFieldController();
    EXPECT_EQ(controller->searchMenu(), nullptr);
    VySmartSearchField* field = sidebar->searchField();
    field->popUpSearchMenu();
    VyMenu* menu = controller->searchMenu();
    ASSERT_NE(menu, nullptr); // adopted on its first validation
    EXPECT_EQ(menu->delegate(), controller);
    EXPECT_EQ(menu->title(), "Smart Group Menu");
    menu->hide();
    field->popUpSearchMenu();
    menu->hide();

    const QList<QAction*> items = volatileItems(menu);
    // Two groups, a separator and the three commands.
    ASSERT_EQ(items.size(), 6);
    ASSERT_TRUE(itemView(items[0]) && itemView(items[1]));
    EXPECT_EQ(itemView(items[0])->smartGroupName()->text(), "Web");
    EXPECT_EQ(itemView(items[0])->searchText()->text(), "web");
    EXPECT_EQ(itemView(items[0])->hitCountIndicator()->text(), "0"); // no count given
    EXPECT_EQ(itemView(items[1])->hitCountIndicator()->text(), "2");
    EXPECT_TRUE(items[2]->isSeparator());
    EXPECT_EQ(items[3]->text(), "New Smart Group…");
    EXPECT_EQ(items[4]->text(), "Import Smart Groups…");
    EXPECT_EQ(items[5]->text(), "Export All Smart Groups…");
    EXPECT_TRUE(items[5]->isEnabled());
    EXPECT_EQ(controller->numberOfItemsInMenu(*menu), 10);

    // The delegate's current groups on every opening.
    host.groups.removeFirst();
    field->popUpSearchMenu();
    menu->hide();
    EXPECT_EQ(volatileItems(menu).size(), 5);
    EXPECT_EQ(itemView(volatileItems(menu)[0])->smartGroupName()->text(), "Prod");
}

TEST_F(SmartSearch, ExportIsDisabledWithoutGroupsNewAndImportStayEnabled) {
    sidebar->searchField()->popUpSearchMenu();
    VyMenu* menu = sidebar->searchFieldController()->searchMenu();
    ASSERT_NE(menu, nullptr);
    menu->hide();
    EXPECT_FALSE(namedItem(menu, "exportSmartGroupsItem")->isEnabled());
    EXPECT_TRUE(namedItem(menu, "newSmartGroupItem")->isEnabled());
    EXPECT_TRUE(namedItem(menu, "importSmartGroupsItem")->isEnabled());

    namedItem(menu, "importSmartGroupsItem")->trigger();
    namedItem(menu, "exportSmartGroupsItem")->trigger(); // a disabled item does not fire
    EXPECT_EQ(host.importCount, 1);
    EXPECT_EQ(host.exportCount, 0);
    host.groups = {group("Web", "web")};
    sidebar->searchField()->popUpSearchMenu();
    menu->hide();
    namedItem(menu, "exportSmartGroupsItem")->trigger();
    EXPECT_EQ(host.exportCount, 1);
    namedItem(menu, "newSmartGroupItem")->trigger();
    EXPECT_NE(sidebar->smartGroupEditingPanel(), nullptr);
}

TEST_F(SmartSearch, ChoosingASmartGroupRunsItsSearchAndClosesTheMenu) {
    host.groups = {group("Tests", "test")};
    VySmartSearchField* field = sidebar->searchField();
    field->popUpSearchMenu();
    VyMenu* menu = sidebar->searchFieldController()->searchMenu();
    ASSERT_TRUE(menu && menu->isVisible());
    VySmartGroupItemView* view = itemView(volatileItems(menu)[0]);
    ASSERT_NE(view, nullptr);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, view->rect().center());
    EXPECT_FALSE(menu->isVisible());
    EXPECT_EQ(field->text(), "test");
    EXPECT_EQ(names(sidebar->displayingItems()), QStringList({"web-2 test", "cache test"}));
    EXPECT_EQ(resultLine(), "Tests");
    EXPECT_EQ(host.filterTexts.size(), 1u); // once, not again as the menu closes
}

TEST_F(SmartSearch, ClosingTheMenuOnAHighlightedGroupRunsItsSearchEscapeDoesNot) {
    host.groups = {group("Tests", "test")};
    VySmartSearchField* field = sidebar->searchField();
    field->popUpSearchMenu();
    VyMenu* menu = sidebar->searchFieldController()->searchMenu();
    ASSERT_NE(menu, nullptr);
    QAction* item = volatileItems(menu)[0];
    menu->setActiveAction(item);
    EXPECT_TRUE(itemView(item)->isHighlighted());
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_TRUE(host.filterTexts.empty());
    EXPECT_FALSE(itemView(item)->isHighlighted());

    field->popUpSearchMenu();
    menu->setActiveAction(volatileItems(menu)[0]);
    menu->hide();
    EXPECT_EQ(field->text(), "test");
    EXPECT_EQ(host.filterTexts, std::vector<QString>({"test"}));
}

TEST_F(SmartSearch, RecentSearchesFillTheirSectionOfTheMenu) {
    VySmartSearchField* field = sidebar->searchField();
    auto shown = [](VyMenu* menu, int tag) {
        QList<QAction*> items = menu->itemsWithTag(tag);
        return !items.isEmpty() && items.first()->isVisible();
    };
    auto recentTitles = [](VyMenu* menu) {
        QStringList titles;
        for (QAction* a : menu->actions())
            if (VyMenu::tag(a) == 0 && !a->isSeparator() && a->isVisible() &&
                !qobject_cast<QWidgetAction*>(a))
                titles.append(a->text());
        return titles;
    };
    field->popUpSearchMenu();
    VyMenu* menu = sidebar->searchFieldController()->searchMenu();
    menu->hide();
    EXPECT_FALSE(shown(menu, VySmartSearchFieldCell::RecentsTitleMenuItemTag));
    EXPECT_TRUE(shown(menu, VySmartSearchFieldCell::NoRecentsMenuItemTag));
    EXPECT_FALSE(shown(menu, VySmartSearchFieldCell::ClearRecentsMenuItemTag));
    EXPECT_TRUE(recentTitles(menu).isEmpty());

    for (int i = 1; i <= 9; ++i) {
        type(QString("web-%1").arg(i));
        QTest::keyClick(field, Qt::Key_Return);
    }
    type("web-3");
    QTest::keyClick(field, Qt::Key_Return);
    // At most seven, the latest first, each once.
    EXPECT_EQ(field->cell()->recentSearches(),
              QStringList({"web-3", "web-9", "web-8", "web-7", "web-6", "web-5", "web-4"}));
    field->popUpSearchMenu();
    menu->hide();
    EXPECT_TRUE(shown(menu, VySmartSearchFieldCell::RecentsTitleMenuItemTag));
    EXPECT_FALSE(shown(menu, VySmartSearchFieldCell::NoRecentsMenuItemTag));
    EXPECT_TRUE(shown(menu, VySmartSearchFieldCell::ClearRecentsMenuItemTag));
    EXPECT_EQ(recentTitles(menu), field->cell()->recentSearches());
    field->popUpSearchMenu();
    menu->hide();
    EXPECT_EQ(recentTitles(menu).size(), 7); // rebuilt, not added again

    // Choosing a recent search runs it.
    for (QAction* a : menu->actions())
        if (a->text() == "web-8") a->trigger();
    EXPECT_EQ(field->text(), "web-8");
    EXPECT_EQ(host.filterTexts.back(), "web-8");

    for (QAction* a : menu->itemsWithTag(VySmartSearchFieldCell::ClearRecentsMenuItemTag))
        if (!a->isSeparator()) a->trigger();
    EXPECT_TRUE(field->cell()->recentSearches().isEmpty());
    field->popUpSearchMenu();
    menu->hide();
    EXPECT_TRUE(recentTitles(menu).isEmpty());
    EXPECT_TRUE(shown(menu, VySmartSearchFieldCell::NoRecentsMenuItemTag));
}

} // namespace
