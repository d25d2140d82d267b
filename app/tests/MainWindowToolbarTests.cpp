// The main window's toolbar, menus and sidebar pane; the text-size actions;
// stored servers' changes reaching their open pages; the sidebar's rows.

#include "MainWindowTestSupport.h"

#include "Rellum/View/RellumQtFont.h"
#include "app/ConnectToServerControl.h"

#include <QEnterEvent>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QTest>
#include <QToolButton>

using namespace app_test;

namespace {

const char* const kLastConnected = "last_connected_shell_controller";

TEST(MainWindowToolbar, TheConnectControlStandsForTheLastConnectedServer) {
    {
        WindowHarness h;
        auto* control = h.w().connectToServerControl();
        ASSERT_TRUE(control);
        EXPECT_EQ(control->title(), "Add Server…");
        EXPECT_FALSE(control->isEnabledForSegment(1));
        EXPECT_EQ(h.w().lastConnectedShellController(), nullptr);
        EXPECT_FALSE(h.prefs->userDefaults()->objectForKey(kLastConnected));
        EXPECT_LE(h.w().findChild<QWidget*>("toolbarConnectToItem")->maximumWidth(), 242 + 8);
    }
    {
        // The remembered server, then whichever was connected last.
        auto a = storedServer("alpha"), b = storedServer("beta");
        WindowHarness h({a, b});
        EXPECT_EQ(h.w().connectToServerControl()->title(), "alpha");
        EXPECT_TRUE(h.w().connectToServerControl()->isEnabledForSegment(1));
        EXPECT_EQ(h.prefs->userDefaults()->stringForKey(kLastConnected), a->uid);
        h.connect(1);
        EXPECT_EQ(h.w().lastConnectedShellController()->uid, b->uid);
        EXPECT_EQ(h.w().connectToServerControl()->title(), "beta");
        EXPECT_EQ(h.prefs->userDefaults()->stringForKey(kLastConnected), b->uid);
        // Segment 0 connects to it.
        h.w().connectToServer(0);
        EXPECT_EQ(h.names(), (std::vector<std::string>{"beta", "beta"}));
        EXPECT_TRUE(h.w().connectToServerControl()->isEnabledForSegment(0));

        // A remembered server that was deleted falls back to the first.
        h.prefs->setShellProfiles({a});
        EXPECT_EQ(h.w().connectToServerControl()->title(), "alpha");
        EXPECT_EQ(h.prefs->userDefaults()->stringForKey(kLastConnected), a->uid);
        // None left: the default goes.
        h.prefs->setShellProfiles({});
        EXPECT_EQ(h.w().connectToServerControl()->title(), "Add Server…");
        EXPECT_FALSE(h.prefs->userDefaults()->objectForKey(kLastConnected));
    }
}

TEST(MainWindowToolbar, ADisabledConnectSegmentSurvivesARebuild) {
    WindowHarness h({storedServer("alpha")});
    h.w().enableConnectToServerButton(false);
    h.w().updateConnectToServerButton(nullptr);
    EXPECT_FALSE(h.w().connectToServerControl()->isEnabledForSegment(0));
    h.w().enableConnectToServerButton(true);
    EXPECT_TRUE(h.w().connectToServerControl()->isEnabledForSegment(0));
}

TEST(MainWindowToolbar, TheConnectMenuAndTheRightClickMenu) {
    WindowHarness h({storedServer("alpha"), storedServer("beta")});
    QMenu* menu = h.w().toolbarConnectToMenu();
    h.w().menuNeedsUpdate(menu);
    QStringList titles;
    for (auto* item : menu->actions())
        titles << (item->isSeparator() ? QStringLiteral("-") : item->text());
    EXPECT_EQ(titles, (QStringList{"alpha", "beta", "-", "New Shells for Above Servers", "-", "Add Server…",
                                   "Manage Servers"}));
    EXPECT_EQ(menu->actions()[1]->data().toString().toStdString(), h.stored(1)->uid);
    menu->actions()[1]->trigger();
    EXPECT_EQ(h.names(), std::vector<std::string>{"beta"});
    int requests = 0;
    QObject::connect(&h.w(), &MainWindowController::openServersWindowRequested, [&] { ++requests; });
    menu->actions().last()->trigger();
    EXPECT_EQ(requests, 1);
    // Rebuilt from scratch each time.
    h.w().menuNeedsUpdate(menu);
    EXPECT_EQ(menu->actions().size(), 7);

    QMenu* rightClick = h.w().sidebarRightClickMenu();
    QAction* first = rightClick->actions().first();
    h.w().menuNeedsUpdate(rightClick);
    EXPECT_TRUE(first->isEnabled());
    EXPECT_EQ(first->text(), "New Shell for Server - beta");
    first->trigger();
    EXPECT_EQ(h.names(), (std::vector<std::string>{"beta", "beta"}));
    // No focused row, or its server is gone: disabled.
    h.focusRow(-1);
    h.w().menuNeedsUpdate(rightClick);
    EXPECT_FALSE(first->isEnabled());
    EXPECT_EQ(first->text(), "New Shell for…");
    h.focusRow(0);
    h.prefs->setShellProfiles({h.stored(0)});
    h.w().menuNeedsUpdate(rightClick);
    EXPECT_FALSE(first->isEnabled());
    EXPECT_EQ(first->text(), "New Shell for…");

    // Connecting to all: one page per server in list order.
    h.prefs->setShellProfiles({storedServer("x"), storedServer("y"), storedServer("z")});
    h.focusRow(-1);
    h.w().connectToAllServers();
    pumpEvents();
    EXPECT_EQ(h.names(), (std::vector<std::string>{"x", "y", "z", "beta", "beta"}));
}

TEST(MainWindowToolbar, HidingAndShowingTheSidebarRestoresItsWidth) {
    WindowHarness h({storedServer("alpha")});
    QSplitter* split = h.w().sidebarSplitView();
    QAction* toggle = h.w().toolbarShowSidebarItem();
    EXPECT_EQ(split->sizes().first(), 172);
    EXPECT_EQ(toggle->text(), "Hide Sidebar");
    EXPECT_EQ(toggle->toolTip(), "Hide sidebar");
    split->setSizes({260, 1100 - 260});
    h.w().showSidebar();
    EXPECT_FALSE(h.w().isSidebarVisible());
    EXPECT_EQ(split->sizes().first(), 0);
    EXPECT_EQ(h.w().sidebarLastWidth(), 260);
    EXPECT_EQ(toggle->text(), "Show Sidebar");
    EXPECT_EQ(toggle->toolTip(), "Show sidebar");
    h.w().showSidebar();
    EXPECT_EQ(split->sizes().first(), 260);
    EXPECT_EQ(toggle->text(), "Hide Sidebar");

    // The sidebar keeps its width when the window changes size, between 172 and 800.
    h.w().resize(1300, 700);
    pumpEvents();
    EXPECT_EQ(split->sizes().first(), 260);
    // Dragged by the divider.
    QSplitterHandle* divider = split->handle(1);
    QTest::mousePress(divider, Qt::LeftButton, {}, QPoint(0, 10));
    QTest::mouseMove(divider, QPoint(900, 10));
    QTest::mouseRelease(divider, Qt::LeftButton, {}, QPoint(900, 10));
    EXPECT_EQ(split->sizes().first(), 800);
    QTest::mousePress(divider, Qt::LeftButton, {}, QPoint(0, 10));
    QTest::mouseMove(divider, QPoint(-700, 10));
    QTest::mouseRelease(divider, Qt::LeftButton, {}, QPoint(-700, 10));
    EXPECT_TRUE(split->sizes().first() == 0 || split->sizes().first() == 172) << split->sizes().first();
    auto* left = h.w().findChild<QWidget*>("sidebarSplitSubViewLeft");
    EXPECT_EQ(left->minimumWidth(), 172);
    EXPECT_EQ(left->maximumWidth(), 800);
}

TEST(MainWindowToolbar, TextSizeStaysBetween10And28) {
    WindowHarness h({storedServer("alpha")});
    EXPECT_FALSE(h.w().action("textSizeBigger")->isEnabled()); // no page
    h.w().textSizeBigger();                                    // does nothing
    h.connect(0);
    auto size = [&] { return h.w().fontOfSelectedTerminal()->pointSize(); };
    EXPECT_EQ(size(), 16);
    std::vector<double> seen;
    for (int i = 0; i < 10; ++i) {
        h.w().textSizeBigger();
        seen.push_back(size());
    }
    EXPECT_EQ(seen, (std::vector<double>{18, 20, 22, 24, 26, 28, 28, 28, 28, 28}));
    EXPECT_FALSE(h.w().validateUserInterfaceItem("textSizeBigger"));
    EXPECT_FALSE(h.w().action("textSizeBigger")->isEnabled());
    h.w().textSizeDefault();
    EXPECT_EQ(size(), 16);
    for (int i = 0; i < 5; ++i)
        h.w().textSizeSmaller();
    EXPECT_EQ(size(), 10);
    EXPECT_FALSE(h.w().validateUserInterfaceItem("textSizeSmaller"));
    h.w().textSizeSmaller();
    EXPECT_EQ(size(), 10);
    // An odd size grows past 28 once.
    h.w().fontNameSelected("DejaVu Sans Mono");
    h.w().terminals()[0]->setPageFont(RellumQtFont::fontWithName("DejaVu Sans Mono", 27));
    h.w().textSizeBigger();
    EXPECT_EQ(size(), 29);
    EXPECT_EQ(h.w().fontOfSelectedTerminal()->familyName(), "DejaVu Sans Mono");
}

TEST(MainWindowToolbar, ANewDefaultFontReachesEveryPage) {
    WindowHarness h({storedServer("alpha")});
    h.connect(0);
    h.connect(0);
    std::shared_ptr<const RellumFont> font = RellumQtFont::fontWithName("DejaVu Sans Mono", 20);
    NotificationCenter::defaultCenter().postNotification(OrvikFontDidChangeNotification, font);
    for (auto& t : h.terminals())
        EXPECT_EQ(t->pageFont(), font);
    // Anything but a font changes nothing.
    NotificationCenter::defaultCenter().postNotification(OrvikFontDidChangeNotification,
                                                         std::string("Menlo"));
    EXPECT_EQ(h.terminals()[0]->pageFont(), font);
    QFont qfont(QStringLiteral("DejaVu Sans Mono"));
    qfont.setPointSizeF(13);
    NotificationCenter::defaultCenter().postNotification(OrvikFontDidChangeNotification, qfont);
    EXPECT_EQ(h.terminals()[1]->pageFont()->pointSize(), 13);
    // The pages take it on their render queues.
    EXPECT_TRUE(
        pumpUntil([&] { return h.terminals()[1]->font() && h.terminals()[1]->font()->pointSize() == 13; }));
}

TEST(MainWindowToolbar, ActionsAreOfferedWhenTheyCanRun) {
    WindowHarness h;
    for (const char* name :
         {"closeTerminal", "closeOtherTerminals", "textSizeDefault", "connectToAllServers"})
        EXPECT_FALSE(h.w().validateUserInterfaceItem(name)) << name;
    EXPECT_TRUE(h.w().validateUserInterfaceItem("newTerminal"));
    EXPECT_TRUE(h.w().validateUserInterfaceItem("showSidebar"));
    h.prefs->setShellProfiles({storedServer("alpha")});
    EXPECT_TRUE(h.w().action("connectToAllServers")->isEnabled());
    // The window's own shortcuts.
    EXPECT_EQ(h.w().action("newTerminal")->shortcut(), QKeySequence("Ctrl+Shift+N"));
    EXPECT_EQ(h.w().action("closeTerminal")->shortcut(), QKeySequence("Ctrl+Shift+W"));
    h.w().newTerminal(); // the last connected server
    EXPECT_EQ(h.names(), std::vector<std::string>{"alpha"});
    // A page index outside the pages selects nothing and runs no completion.
    bool ran = false;
    h.w().selectPageAtIndex(1, [&] { ran = true; });
    EXPECT_FALSE(ran);
    h.w().selectPageAtIndex(0, [&] { ran = true; });
    EXPECT_TRUE(ran);
    // The page's whole log, written into its terminal on request.
    h.w().testAction();
    EXPECT_TRUE(pumpUntil(
        [&] { return h.terminals()[0]->stringOfContent().find("#Version:") != std::string::npos; }));
}

TEST(MainWindowToolbar, AStoredServersThemeAndNameReachItsOpenPages) {
    WindowHarness h({storedServer("alpha", "Grass"), storedServer("beta", "Grass")});
    h.connect(0);
    h.connect(0);
    h.connect(1);
    auto grass = h.prefs->themeWithName("Grass");
    auto monitor = h.prefs->themeWithName("Monitor");
    ASSERT_TRUE(grass && monitor);
    auto background = [](const OrvikTerminal& t) { return t.defaultBackgroundColor()->rgba255(); };
    const auto grassBackground =
        RellumColor::colorWithRGBA(float(grass->backgroundColor().red), float(grass->backgroundColor().green),
                                   float(grass->backgroundColor().blue))
            .rgba255();
    EXPECT_EQ(background(*h.terminals()[0]), grassBackground);

    auto changed = h.stored(0)->copyAs<OrvikController>();
    changed->setName(std::string("alpha renamed"));
    changed->profile()->setTheme_name("Monitor");
    h.prefs->setShellProfiles({changed, h.stored(1)});
    const auto monitorBackground = RellumColor::colorWithRGBA(float(monitor->backgroundColor().red),
                                                              float(monitor->backgroundColor().green),
                                                              float(monitor->backgroundColor().blue))
                                       .rgba255();
    EXPECT_EQ(h.names(), (std::vector<std::string>{"alpha renamed", "alpha renamed", "beta"}));
    EXPECT_EQ(background(*h.terminals()[0]), monitorBackground);
    EXPECT_EQ(background(*h.terminals()[1]), monitorBackground);
    EXPECT_EQ(background(*h.terminals()[2]), grassBackground);
    EXPECT_EQ(h.sidebar().cellViewAtRow(0)->titleTextField()->text(), "alpha renamed");
    // A page whose server is gone keeps its look and name.
    h.prefs->setShellProfiles({h.stored(1)});
    EXPECT_EQ(h.names()[0], "alpha renamed");
    EXPECT_EQ(background(*h.terminals()[0]), monitorBackground);
}

TEST(MainWindowToolbar, TheHostsTitleReachesThePageAndItsRow) {
    WindowHarness h({storedServer("alpha")});
    h.connect(0);
    auto terminal = h.terminals()[0];
    auto* cell = h.sidebar().cellViewAtRow(0);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->titleTextField()->text(), "alpha");
    EXPECT_EQ(cell->titleTextFieldCenterYConstant(), 0.0);
    terminal->renderData("\x1b]0;vim notes.txt\x07");
    ASSERT_TRUE(pumpUntil([&] { return terminal->displayTitle() == "vim notes.txt"; }));
    EXPECT_EQ(terminal->titleNotation(), "alpha - vim notes.txt");
    EXPECT_EQ(cell->descriptionTextField()->text(), "vim notes.txt");
    EXPECT_EQ(cell->titleTextFieldCenterYConstant(), -8.0);
    h.w().updateWindowTitle();
    EXPECT_EQ(h.w().windowTitle(), "alpha - vim notes.txt");
}

TEST(SessionsListSidebar, RowsShowTheirCloseButtonOnlyUnderThePointer) {
    WindowHarness h({storedServer("alpha"), storedServer("beta")});
    h.connect(0);
    h.connect(1);
    auto* cell = h.sidebar().cellViewAtRow(1);
    ASSERT_TRUE(cell);
    EXPECT_TRUE(cell->closeButton()->isHidden());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(cell, &enter);
    EXPECT_FALSE(cell->closeButton()->isHidden());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(cell, &leave);
    EXPECT_TRUE(cell->closeButton()->isHidden());

    // Its button closes its own row, later.
    cell->closeButton()->click();
    EXPECT_EQ(h.terminals().size(), 2u);
    pumpEvents();
    EXPECT_EQ(h.names(), std::vector<std::string>{"alpha"});
    // Out-of-range rows change nothing.
    h.sidebar().insertSidebarItem(h.terminals()[0], 5);
    h.sidebar().removeSidebarItemAtIndex(3);
    h.sidebar().removeSidebarItemsNotAtIndex(3);
    h.sidebar().selectSidebarItemAtIndex(3);
    h.expectInStep();
    // The table never takes the keyboard from the page.
    EXPECT_EQ(h.sidebar().tableView()->focusPolicy(), Qt::NoFocus);
}

} // namespace
